// Wire efficiency: a full MCU update through the new loader of a 2,000-block image,
// against the simulator pacing the line at 9600 baud (a command is taken once its
// wire time has passed, a reply leaves byte by byte at line rate). The ideal
// programming phase is the wire time of every block and its reply; the actual one
// runs from the first block reaching the device to the last reply leaving it.
// The tool's share leaves out the simulator's own lateness (its reply ending after
// the wire time), which a real device does not have. A lean client then replays the
// same exchanges over the same pty as the floor: what this machine allows, shown
// next to the tool's figure.
#include <sys/prctl.h>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "BenchStats.h"
#include "Benches.h"
#include "SRecordImage.h"
#include "SlavePort.h"
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
    double simulatorLateSeconds = 0;  // the simulator's replies ending after their wire time
    Distribution gaps;                // line idle between a block's reply and the next block, us
    Distribution toolGaps;            // from a reply's last byte leaving to the next block, us
    Distribution simulatorLate;       // a reply's last byte leaving after its due time, us
};

double ExchangeSeconds(const devsim::CommandRecord& record) {
    return WireSeconds(record.text) + WireSeconds(record.reply);
}

double Micros(std::int64_t ns) {
    return static_cast<double>(ns) * 1e-3;
}

// The gap after each block splits into the simulator's lateness (its reply ending
// after the wire time) and the tool's share (from that reply's end to the next block).
Phase ProgrammingPhase(const std::vector<devsim::CommandRecord>& log) {
    Phase phase;
    const devsim::CommandRecord* first = nullptr;
    const devsim::CommandRecord* last = nullptr;
    std::vector<double> gaps;
    std::vector<double> toolGaps;
    std::vector<double> late;
    for (const devsim::CommandRecord& record : log) {
        if (!IsBlock(record)) {
            continue;
        }
        if (last != nullptr) {
            const double dueUs = Micros(last->timeNs) + ExchangeSeconds(*last) * 1e6;
            gaps.push_back(Micros(record.timeNs) - dueUs);
            late.push_back(std::max(0.0, Micros(last->replyEndNs) - dueUs));
            toolGaps.push_back(Micros(record.timeNs - last->replyEndNs));
            phase.simulatorLateSeconds += late.back() * 1e-6;
        }
        first = first ? first : &record;
        last = &record;
        ++phase.blocks;
        phase.idealSeconds += ExchangeSeconds(record);
    }
    if (first != nullptr) {
        // A command's bytes reach the pty at once; the device takes it after its wire time.
        const double end = static_cast<double>(last->timeNs) * 1e-9 + ExchangeSeconds(*last);
        phase.actualSeconds = end - static_cast<double>(first->timeNs) * 1e-9;
    }
    phase.gaps = Summarise(std::move(gaps));
    phase.toolGaps = Summarise(std::move(toolGaps));
    phase.simulatorLate = Summarise(std::move(late));
    return phase;
}

double Efficiency(const Phase& phase) {
    return phase.actualSeconds > 0 ? phase.idealSeconds / phase.actualSeconds : 0;
}

// The tool's answered commands up to its last block: what the floor replays.
std::vector<devsim::CommandRecord> AnsweredUpToLastBlock(std::vector<devsim::CommandRecord> log) {
    const auto lastBlock = std::find_if(log.rbegin(), log.rend(), IsBlock);
    log.erase(lastBlock.base(), log.end());
    std::erase_if(log, [](const devsim::CommandRecord& r) { return r.noise || r.reply.empty(); });
    return log;
}

// Replays the exchanges with one thread that writes a line and reads to its CR,
// at the speed the tool used for each.
Phase FloorPhase(devsim::DeviceSimulator& device,
                 const std::vector<devsim::CommandRecord>& replay) {
    if (!device.WaitForConnectionsEnded(1, std::chrono::seconds(5))) {
        return {};
    }
    device.ClearLog();
    int baud = devsim::Device::kInitialBaud;
    devsim::test::SlavePort port(device.SlavePath(), baud);
    for (const devsim::CommandRecord& record : replay) {
        if (record.baud != std::exchange(baud, record.baud)) {
            port.SetBaud(baud);
        }
        if (!port.Ask(record.text, std::chrono::seconds(5))) {
            return {};
        }
    }
    port.Close();
    return ProgrammingPhase(device.Commands());
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

    const std::vector<devsim::CommandRecord> log = device.Commands();
    const Phase phase = ProgrammingPhase(log);
    const Phase floor = FloorPhase(device, AnsweredUpToLastBlock(log));

    const double efficiency = Efficiency(phase);
    char value[200];
    std::snprintf(value, sizeof value, "%.4f: %zu blocks, %.2f s for %.2f s; gap %.0f/%.0f us%s",
                  efficiency, phase.blocks, phase.actualSeconds, phase.idealSeconds,
                  phase.gaps.median, phase.gaps.p99, finished ? "" : " (NOT FINISHED)");
    const bool complete = finished && phase.blocks >= kBlocks;
    const bool met = complete && efficiency >= kGoal;
    PrintRow("wire efficiency", value, ">= 0.98", met);

    // A device's UART is never late with its reply; the simulator's thread can be.
    const double toolShare =
        phase.actualSeconds > 0
            ? phase.idealSeconds / (phase.actualSeconds - phase.simulatorLateSeconds)
            : 0;
    std::snprintf(value, sizeof value,
                  "%.4f: tool %.0f/%.0f us; simulator late %.0f/%.0f us, %.2f s in all", toolShare,
                  phase.toolGaps.median, phase.toolGaps.p99, phase.simulatorLate.median,
                  phase.simulatorLate.p99, phase.simulatorLateSeconds);
    const bool shareMet = complete && toolShare >= kGoal;
    PrintRow("  tool's share", value, ">= 0.98 (no sim lateness)", shareMet);

    std::snprintf(value, sizeof value, "%.4f: %zu blocks, gap %.0f/%.0f us; tool/floor %.4f",
                  Efficiency(floor), floor.blocks, floor.gaps.median, floor.gaps.p99,
                  Efficiency(floor) > 0 ? efficiency / Efficiency(floor) : 0);
    PrintLine("  floor: lean client", value, "(same pty, right after)", "");
    return met && shareMet;
}
