// Image streaming: counts and programs a 1 MB and a 50 MB MCU S-record image
// through the new loader, against the simulator answering at once, and shows that
// peak memory does not grow with the image. The count's throughput is compared
// with `wc -l` on the same file. The simulator runs as a child process
// (tovrane-devsim), so this process's peak memory is the tool's alone; the peak
// is reset before each image, so whatever ran earlier in the process (other
// benchmarks) does not hide growth.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "BenchStats.h"
#include "Benches.h"
#include "ProcessUsage.h"
#include "SRecordImage.h"
#include "SimulatorProcess.h"
#include "UpdateRig.h"
#include "update/ImageFiles.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kMegabyte = std::size_t{1024} * 1024;
constexpr int kDataBytes = 64;  // per record: 140 characters a line
// Peak memory may grow less than this from the 1 MB run to the 50 MB run.
constexpr long kAllowedGrowthKb = 1024;
constexpr double kCountGoal = 0.5;  // of wc -l's throughput

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double CountOnce(UpdateRig& rig) {
    Shared().OperationMode = ModeMcu;
    ImageFileExists(kMcuNewImageName);
    GuardedWindow window(rig.Window(), [] { return false; });
    const auto start = Clock::now();
    CountImageBlocks(window);
    return SecondsSince(start);
}

// Seconds `wc -l` takes on the file (read from the page cache); 0 when it fails.
double WcOnce(const std::string& command) {
    const auto start = Clock::now();
    return std::system(command.c_str()) == 0 ? SecondsSince(start) : 0;
}

struct CountTimes {
    double wcSeconds = 0;
    double countSeconds = 0;
};

// The best of five rounds each of `wc -l` and of counting the image as an update
// does, alternating so a noisy spell of the machine hits both alike.
CountTimes CountAgainstWc(UpdateRig& rig, const std::string& path) {
    constexpr int kRounds = 5;
    const std::string command = "wc -l '" + path + "' > /dev/null";
    CountTimes best;
    for (int i = 0; i < kRounds; ++i) {
        const double wc = WcOnce(command);
        if (wc == 0) {
            return {};
        }
        const double count = CountOnce(rig);
        best.wcSeconds = i == 0 ? wc : std::min(best.wcSeconds, wc);
        best.countSeconds = i == 0 ? count : std::min(best.countSeconds, count);
    }
    return best;
}

struct Run {
    std::size_t lines = 0;
    double countSeconds = 0;
    double wcSeconds = 0;
    double programSeconds = 0;
    bool finished = false;
    long peakKb = 0;
};

Run MeasureImage(std::size_t megabytes) {
    Run run;
    UpdateRig rig(10);  // the simulator answers at once; only the pauses shrink
    const std::string path = rig.Images().File(kMcuNewImageName);
    run.lines = WriteSRecordImage(path, kDataBytes, SIZE_MAX, megabytes * kMegabyte);
    ResetPeakRss();
    const CountTimes times = CountAgainstWc(rig, path);
    run.wcSeconds = times.wcSeconds;
    run.countSeconds = times.countSeconds;

    const SimulatorProcess device({"--dsp=none", "--mcu=new", "--erase-ms=0"});
    if (!device.Path().empty()) {
        const auto start = Clock::now();
        rig.Press(ModeMcu, device.Path(), std::chrono::minutes(20));
        run.programSeconds = SecondsSince(start);
        run.finished = rig.Engine().LastOutcome() == OperationOutcome::Finished;
    }
    run.peakKb = PeakRssKb();
    return run;
}

void PrintUpdate(std::size_t megabytes, const Run& run) {
    char figure[64];
    char value[200];
    std::snprintf(figure, sizeof figure, "update %zu MB image", megabytes);
    std::snprintf(value, sizeof value, "%zu blocks in %.1f s (%.0f blocks/s)%s", run.lines,
                  run.programSeconds, static_cast<double>(run.lines) / run.programSeconds,
                  run.finished ? "" : " (NOT FINISHED)");
    PrintRow(figure, value, "finished", run.finished);
}

bool PrintMemory(const Run& small, const Run& large) {
    const long growth = large.peakKb - small.peakKb;
    char value[200];
    std::snprintf(value, sizeof value, "peak RSS %ld kB (1 MB), %ld kB (50 MB): %+ld kB",
                  small.peakKb, large.peakKb, growth);
    const bool met = growth < kAllowedGrowthKb && small.finished && large.finished;
    PrintRow("memory", value, "growth < 1 MB", met);
    return met;
}

bool PrintCountSpeed(std::size_t megabytes, const Run& run) {
    const double mb = static_cast<double>(megabytes);
    const double ratio = run.countSeconds > 0 ? run.wcSeconds / run.countSeconds : 0;
    char value[200];
    std::snprintf(value, sizeof value, "%.2f of wc -l: %.0f MB/s (wc -l %.0f MB/s), %zu lines",
                  ratio, mb / run.countSeconds, run.wcSeconds > 0 ? mb / run.wcSeconds : 0.0,
                  run.lines);
    const bool met = run.wcSeconds > 0 && ratio >= kCountGoal;
    PrintRow("count speed", value, ">= 0.5 of wc -l", met);
    return met;
}

}  // namespace

bool BenchImages() {
    constexpr std::size_t kSmall = 1;
    constexpr std::size_t kLarge = 50;
    const Run small = MeasureImage(kSmall);
    PrintUpdate(kSmall, small);
    const Run large = MeasureImage(kLarge);
    PrintUpdate(kLarge, large);
    const bool memoryMet = PrintMemory(small, large);
    const bool countMet = PrintCountSpeed(kLarge, large);
    return memoryMet && countMet && small.finished && large.finished;
}
