// Wire efficiency: a full MCU update through the new loader of a 2,000-block image,
// against the simulator pacing the line at 9600 baud (a command is taken once its
// wire time has passed, a reply leaves byte by byte at line rate). The ideal
// programming phase is the wire time of every block and its reply; the actual one
// runs from the first block reaching the device to the last reply leaving it.
#include <sys/prctl.h>

#include <cstdio>
#include <vector>

#include "BenchStats.h"
#include "Benches.h"
#include "SRecordImage.h"
#include "UpdateRig.h"
#include "tools/devsim/DeviceSimulator.h"
#include "update/ImageFiles.h"

namespace {

constexpr std::size_t kBlocks = 2000;
constexpr int kDataBytes = 8;  // per record: about 47 ms of wire time per exchange
constexpr double kGoal = 0.98;

// Seconds the text plus its CR takes on the line: 10 bits per byte at 9600 baud.
double WireSeconds(const std::string& text) {
    return static_cast<double>(text.size() + 1) * 10.0 / devsim::Device::kSwitchedBaud;
}

// Starts the simulator's thread with the finest timer slack: it stands in for the
// device's UART, which keeps time exactly, so its paced bytes should not be late by
// the kernel's default slack on every sleep. Threads started later (the tool's)
// get the default again.
bool StartWithExactTimers(devsim::DeviceSimulator& device) {
    const int defaultSlack = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    prctl(PR_SET_TIMERSLACK, 1, 0, 0, 0);
    const bool started = device.Start();
    prctl(PR_SET_TIMERSLACK, defaultSlack, 0, 0, 0);
    return started;
}

bool IsBlock(const devsim::CommandRecord& record) {
    return !record.noise && record.text.rfind("SD_", 0) == 0;
}

struct Phase {
    std::size_t blocks = 0;
    double idealSeconds = 0;
    double actualSeconds = 0;
    Distribution gaps;  // line idle between one block's reply and the next block, in us
};

double ExchangeSeconds(const devsim::CommandRecord& record) {
    return WireSeconds(record.text) + WireSeconds(record.reply);
}

Phase ProgrammingPhase(const std::vector<devsim::CommandRecord>& log) {
    Phase phase;
    const devsim::CommandRecord* first = nullptr;
    const devsim::CommandRecord* last = nullptr;
    std::vector<double> gaps;
    for (const devsim::CommandRecord& record : log) {
        if (IsBlock(record)) {
            if (last != nullptr) {
                gaps.push_back(static_cast<double>(record.timeNs - last->timeNs) * 1e-3 -
                               ExchangeSeconds(*last) * 1e6);
            }
            first = first ? first : &record;
            last = &record;
            ++phase.blocks;
            phase.idealSeconds += ExchangeSeconds(record);
        }
    }
    if (first != nullptr) {
        // A command's bytes reach the pty at once; the device takes it after its wire time.
        const double end = static_cast<double>(last->timeNs) * 1e-9 + ExchangeSeconds(*last);
        phase.actualSeconds = end - static_cast<double>(first->timeNs) * 1e-9;
    }
    phase.gaps = Summarise(std::move(gaps));
    return phase;
}

}  // namespace

bool BenchWire() {
    devsim::Options options;
    options.device.dsp = devsim::Generation::None;
    options.device.mcu = devsim::Generation::New;
    options.pacing.wireTime = true;
    devsim::DeviceSimulator device(options);
    if (!StartWithExactTimers(device)) {
        std::fprintf(stderr, "wire: %s\n", device.LastError().c_str());
        return false;
    }
    UpdateRig rig(100);  // every time-out and pause as shipped
    WriteSRecordImage(rig.Images().File(kMcuNewImageName), kDataBytes, kBlocks, SIZE_MAX);
    rig.Press(ModeMcu, device.SlavePath(), std::chrono::minutes(10));
    const bool finished = rig.Engine().LastOutcome() == OperationOutcome::Finished;

    const Phase phase = ProgrammingPhase(device.Commands());
    const double efficiency =
        phase.actualSeconds > 0 ? phase.idealSeconds / phase.actualSeconds : 0;
    char value[200];
    std::snprintf(value, sizeof value, "%.4f: %zu blocks, %.2f s for %.2f s; gap %.0f/%.0f us%s",
                  efficiency, phase.blocks, phase.actualSeconds, phase.idealSeconds,
                  phase.gaps.median, phase.gaps.p99, finished ? "" : " (NOT FINISHED)");
    const bool met = finished && phase.blocks >= kBlocks && efficiency >= kGoal;
    PrintRow("wire efficiency", value, ">= 0.98", met);
    return met;
}
