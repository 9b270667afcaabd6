// A reply that comes just after the tool gave up on it, against the old loaders,
// whose bare acknowledgement does not say which record it answers.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "Sequences.h"
#include "SimulatedRun.h"
#include "UpdateRig.h"
#include "app/demo/DemoImages.h"
#include "tools/devsim/DeviceSimulator.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// At the rig's 10 % scale an unanswered record costs 100 ms (first bytes) + 200 ms
// (reply); this reply leaves well after that, and the repeat's reply 30 ms after it.
constexpr int kLateReplyMs = 400;
constexpr auto kReplyDelay = 30ms;
constexpr auto kQuietPeriod = 200ms;  // the old loaders' record time-out, scaled

struct OldLoader {
    const char* name;
    OperationModeValue mode;
    devsim::Generation dsp;
    devsim::Generation mcu;
    const char* image;
};

// Two records, the checkpoint, then three more: the late one is the second after
// the checkpoint, so no verification can notice what happens to it.
Lines ImageLines(OperationModeValue mode) {
    Lines lines;
    const auto data = [](int n) { return std::vector<uint8_t>{uint8_t(n), 0x5A, uint8_t(n * 3)}; };
    if (mode == ModeDsp) {
        for (int n = 0; n < 2; ++n)
            lines.push_back(IntelHexRecord(uint16_t(n * 16), 0, data(n)));
        lines.push_back(IntelHexRecord(0x3FFE, 0, data(7)));
        for (int n = 3; n < 5; ++n)
            lines.push_back(IntelHexRecord(uint16_t(n * 16), 0, data(n)));
        lines.push_back(":00000001FF");  // the end record is a block of its own
        return lines;
    }
    for (int n = 0; n < 2; ++n)
        lines.push_back(S2Record(0x20000u + n * 16, data(n)));
    lines.push_back(S2Record(0x23FFE, data(7)));
    for (int n = 3; n < 6; ++n)
        lines.push_back(S2Record(0x24000u + n * 16, data(n)));
    return lines;
}

class LateReply : public ::testing::TestWithParam<OldLoader> {
  protected:
    void SetUp() override {
        const OldLoader& loader = GetParam();
        m_lines = ImageLines(loader.mode);
        std::string text;
        for (const std::string& line : m_lines)
            text += line + "\r\n";
        m_rig.WriteImage(loader.image, text);

        devsim::Options options = DeviceOptions(loader.dsp, loader.mcu, "TOVRANE-SIM V1.00");
        options.pacing = {.wireTime = true, .replyDelay = kReplyDelay, .eraseTime = 0ms};
        options.onCommand = [this](const devsim::CommandRecord& record) {
            if (record.text == "SV") {
                const devsim::LoaderState state =
                    GetParam().mode == ModeDsp ? m_sim->DspState() : m_sim->McuState();
                m_storedAtClose = state.lastBlock;
            }
        };
        m_sim = std::make_unique<devsim::DeviceSimulator>(std::move(options));
        ASSERT_TRUE(m_sim->Start()) << m_sim->LastError();
    }

    // One update with the second record after the checkpoint answered late, and
    // the last record refused when `refuseLast`; returns how long it took.
    Clock::duration Update(bool lateReply, bool refuseLast) {
        devsim::Faults faults;
        if (lateReply) {
            faults.commands.push_back({m_lines[4], devsim::FaultAction::Late, 1});
            faults.lateReplyMs = kLateReplyMs;
        }
        faults.rejectBlock = refuseLast ? static_cast<int>(m_lines.size()) : 0;
        m_sim->SetFaults(faults);
        m_rig.Window().Clear();
        const Clock::time_point start = Clock::now();
        EXPECT_TRUE(PressAndAwaitClose(m_rig, *m_sim, GetParam().mode));
        return Clock::now() - start;
    }

    bool Logged(const std::string& line) const {
        const Lines log = m_rig.Window().Log();
        return std::any_of(log.begin(), log.end(),
                           [&](const std::string& l) { return l.rfind(line, 0) == 0; });
    }

    UpdateRig m_rig;
    Lines m_lines;
    std::unique_ptr<devsim::DeviceSimulator> m_sim;
    std::atomic<int> m_storedAtClose{-1};
};

TEST_P(LateReply, ThenARefusedLastRecordIsAWriteFailure) {
    Update(true, true);
    EXPECT_TRUE(Logged("Write fail!"));
    EXPECT_FALSE(Logged("Reflash  case time:"));
    EXPECT_EQ(m_rig.Engine().LastOutcome(), OperationOutcome::Failed);
}

TEST_P(LateReply, WithEveryRecordAcceptedCostsAtMostOneQuietPeriod) {
    const Clock::duration clean = Update(false, false);
    ASSERT_EQ(m_rig.Engine().LastOutcome(), OperationOutcome::Finished);

    const Clock::duration late = Update(true, false);
    EXPECT_EQ(m_rig.Engine().LastOutcome(), OperationOutcome::Finished);
    EXPECT_EQ(m_storedAtClose, static_cast<int>(m_lines.size())) << "every record stored once";
    // What the late reply itself costs, one quiet period, and room for a busy machine.
    const auto bound = std::chrono::milliseconds(kLateReplyMs) + kReplyDelay + kQuietPeriod + 250ms;
    EXPECT_LE(late - clean, bound)
        << std::chrono::duration_cast<std::chrono::milliseconds>(late - clean).count() << " ms";
}

INSTANTIATE_TEST_SUITE_P(OldLoaders, LateReply,
                         ::testing::Values(OldLoader{"Mcu", ModeMcu, devsim::Generation::None,
                                                     devsim::Generation::Old, "mcu_old.mot"},
                                           OldLoader{"Dsp", ModeDsp, devsim::Generation::Old,
                                                     devsim::Generation::None, "dsp.hex"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
