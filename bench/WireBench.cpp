// Wire efficiency: a full MCU update through the new loader of a 2,000-block image,
// against the simulator pacing the line at 9600 baud (a command is taken once its
// wire time has passed, a reply leaves byte by byte at line rate). The ideal
// programming phase is the wire time of every block and its reply; the actual one
// runs from the first block reaching the device to the last reply leaving it.
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

bool IsBlock(const devsim::CommandRecord& record) {
    return !record.noise && record.text.rfind("SD_", 0) == 0;
}

struct Phase {
    std::size_t blocks = 0;
    double idealSeconds = 0;
    double actualSeconds = 0;
};

Phase ProgrammingPhase(const std::vector<devsim::CommandRecord>& log) {
    Phase phase;
    const devsim::CommandRecord* first = nullptr;
    const devsim::CommandRecord* last = nullptr;
    for (const devsim::CommandRecord& record : log) {
        if (IsBlock(record)) {
            first = first ? first : &record;
            last = &record;
            ++phase.blocks;
            phase.idealSeconds += WireSeconds(record.text) + WireSeconds(record.reply);
        }
    }
    if (first != nullptr) {
        // A command's bytes reach the pty at once; the device takes it after its wire time.
        const double end = static_cast<double>(last->timeNs) * 1e-9 + WireSeconds(last->text) +
                           WireSeconds(last->reply);
        phase.actualSeconds = end - static_cast<double>(first->timeNs) * 1e-9;
    }
    return phase;
}

}  // namespace

bool BenchWire() {
    devsim::Options options;
    options.device.dsp = devsim::Generation::None;
    options.device.mcu = devsim::Generation::New;
    options.pacing.wireTime = true;
    devsim::DeviceSimulator device(options);
    if (!device.Start()) {
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
    std::snprintf(value, sizeof value, "%.4f: %zu blocks, ideal %.2f s, actual %.2f s%s",
                  efficiency, phase.blocks, phase.idealSeconds, phase.actualSeconds,
                  finished ? "" : " (NOT FINISHED)");
    const bool met = finished && phase.blocks >= kBlocks && efficiency >= kGoal;
    PrintRow("wire efficiency", value, ">= 0.98", met);
    return met;
}
