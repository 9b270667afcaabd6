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
};

inline Distribution Summarise(std::vector<double> samples) {
    if (samples.empty()) {
        return {};
    }
    std::sort(samples.begin(), samples.end());
    auto at = [&](double q) {
        return samples[std::min(samples.size() - 1, static_cast<size_t>(q * samples.size()))];
    };
    return {at(0.5), at(0.99)};
}

// One row of the benchmark table: figure, measured value, goal, verdict.
inline void PrintRow(const std::string& figure, const std::string& value, const std::string& goal,
                     bool met) {
    std::printf("| %-22s | %-58s | %-22s | %-4s |\n", figure.c_str(), value.c_str(), goal.c_str(),
                met ? "met" : "MISS");
    std::fflush(stdout);
}
