#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Medians and tails of a set of timings, in microseconds.
struct Distribution {
    double median = 0;
    double p99 = 0;
    double max = 0;
};

inline Distribution Summarise(std::vector<double> samples) {
    if (samples.empty()) {
        return {};
    }
    std::sort(samples.begin(), samples.end());
    auto at = [&](double q) {
        return samples[std::min(samples.size() - 1, static_cast<size_t>(q * samples.size()))];
    };
    return {at(0.5), at(0.99), samples.back()};
}

// The benchmark table: figure, measured value, goal, verdict.
constexpr int kFigureWidth = 22;
constexpr int kValueWidth = 72;
constexpr int kGoalWidth = 28;

inline void PrintLine(const char* figure, const char* value, const char* goal,
                      const char* verdict) {
    std::printf("| %-*s | %-*s | %-*s | %-4s |\n", kFigureWidth, figure, kValueWidth, value,
                kGoalWidth, goal, verdict);
    std::fflush(stdout);
}

inline void PrintHeader() {
    PrintLine("figure", "measured", "goal", "");
    std::printf("|%s|%s|%s|%s|\n", std::string(kFigureWidth + 2, '-').c_str(),
                std::string(kValueWidth + 2, '-').c_str(), std::string(kGoalWidth + 2, '-').c_str(),
                std::string(6, '-').c_str());
}

inline void PrintRow(const std::string& figure, const std::string& value, const std::string& goal,
                     bool met) {
    PrintLine(figure.c_str(), value.c_str(), goal.c_str(), met ? "met" : "MISS");
}
