#include "update/LoaderSkeletons.h"

#include <array>
#include <cstdio>

#include "link/SharedState.h"
#include "link/Timeouts.h"

namespace {

constexpr int kStageWalkPasses = 6;
constexpr int kStateErase = 1;
constexpr int kStateStart = 2;
constexpr int kStateProgramming = 3;

// The programming pass over the image. It sends nothing the count did not see:
// a line the count would have refused, a block beyond the counted total, or a
// total that differs at the end means the file changed in between, and the update
// stops before that block with a log line (no closing command, like a write
// failure).
class ProgrammingPass {
  public:
    ProgrammingPass(CUpdateSteps& steps, ImageKind kind) : m_steps(steps), m_pass(kind) {}

    // Opens the image counted before. A failure is reported and fails the update.
    bool Open() {
        if (m_pass.Open(Shared().ImagePath.Get())) {
            return true;
        }
        Fail("Can not open image file!");
        return false;
    }

    // The next line; false at the end of the file and when the pass has ended
    // early (see Ended).
    bool NextLine(std::string& line) {
        if (m_steps.Stopped()) {
            m_ended = true;
            return false;
        }
        switch (m_pass.NextLine(line)) {
            case ImagePass::Next::Line:
                return true;
            case ImagePass::Next::End:
                return false;
            case ImagePass::Next::Fault:
                Fail(kImageChanged);
                return false;
        }
        return false;
    }

    // Counts a block about to be sent; false (update failed) past the counted total.
    bool CountBlock() {
        if (++m_blocks > Shared().TotalBlocks) {
            Fail(kImageChanged);
            return false;
        }
        return true;
    }

    // At the end of the file: closes it; false (update failed) unless the pass
    // found exactly the blocks counted.
    bool Complete() {
        m_pass.Close();
        if (m_ended) {
            return false;
        }
        if (m_blocks != Shared().TotalBlocks) {
            Fail(kImageChanged);
            return false;
        }
        return true;
    }

    uint32_t Blocks() const { return m_blocks; }
    void Close() { m_pass.Close(); }

  private:
    static constexpr const char* kImageChanged = "Image file changed since it was counted!";

    void Fail(const char* text) {
        m_pass.Close();
        m_ended = true;
        m_steps.FailProgramming(RunResult::WriteFail, text);
    }

    CUpdateSteps& m_steps;
    ImagePass m_pass;
    uint32_t m_blocks = 0;
    bool m_ended = false;
};

bool Handshake(CUpdateSteps& steps, const HandshakeStep& step) {
    return steps.ExchangeExpectAnyOf(step.command, step.prefixes);
}

uint16_t AddToSum(uint16_t sum, const ImageRules& rules, std::string_view line) {
    return static_cast<uint16_t>((sum + rules.recordSum(line)) & 0xFFFF);
}

bool VerifyAtCheckpoint(CUpdateSteps& steps, uint16_t sum) {
    steps.Log("Verify flash data...............");
    if (!steps.VerifyChecksum(sum)) {
        return false;
    }
    steps.Log("Verify flash data ok!");
    return true;
}

void VerifyFailEnding(CUpdateSteps& steps, ProgrammingPass& pass,
                      std::optional<uint32_t> replyTimeoutMs, const std::string& closeCommand,
                      const std::string& closePrefix) {
    pass.Close();
    if (!steps.Pause(timing::kVerifyFailPauseMs)) {
        return;
    }
    steps.FailVerification();
    if (replyTimeoutMs) {
        steps.SetReplyTimeout(*replyTimeoutMs);
    }
    steps.SendClosingCommand(closeCommand, closePrefix);
}

void WriteFailEnding(CUpdateSteps& steps, ProgrammingPass& pass) {
    pass.Close();
    steps.FailRecord(pass.Blocks());
}

std::string Numbered(const char* prefix, uint32_t number) {
    std::array<char, 24> text{};
    std::snprintf(text.data(), text.size(), "%s%04u", prefix, static_cast<unsigned>(number));
    return text.data();
}

// State 0 of the walk: the status query, repeated with the fallback command when
// it gives state 0.
void QueryStatus(CUpdateSteps& steps, const NewLoaderPlan& plan, std::string& statusCommand,
                 LoaderStatus& status) {
    if (plan.statusReplyTimeoutMs) {
        steps.SetReplyTimeout(*plan.statusReplyTimeoutMs);
    }
    status = steps.QueryLoaderState(statusCommand);
    if (plan.statusFallback && status.state == 0) {
        statusCommand = *plan.statusFallback;
        status = steps.QueryLoaderState(statusCommand);
    }
    if (plan.afterStepReplyTimeoutMs) {
        steps.SetReplyTimeout(*plan.afterStepReplyTimeoutMs);
    }
}

void EraseStep(CUpdateSteps& steps, const NewLoaderPlan& plan, LoaderStatus& status) {
    if (plan.eraseReplyTimeoutMs) {
        steps.SetReplyTimeout(*plan.eraseReplyTimeoutMs);
    }
    if (steps.ExchangeExpect(plan.eraseCommand, "ST2")) {
        status.state = kStateStart;
        steps.BeginErase(plan.eraseTimerMs);
    }
    if (plan.afterStepReplyTimeoutMs) {
        steps.SetReplyTimeout(*plan.afterStepReplyTimeoutMs);
    }
}

// Walks the loader to the programming stage; the state reached and the loader's
// resume block.
LoaderStatus StageWalk(CUpdateSteps& steps, const NewLoaderPlan& plan) {
    LoaderStatus status;
    std::string statusCommand = plan.statusCommand;
    for (int pass = 0; pass < kStageWalkPasses && !steps.Stopped(); ++pass) {
        switch (status.state) {
            case 0:
                QueryStatus(steps, plan, statusCommand, status);
                break;
            case kStateErase:
                EraseStep(steps, plan, status);
                break;
            case kStateStart:
                if (steps.ExchangeExpect(plan.startCommand, "ST3")) {
                    status.state = kStateProgramming;
                }
                break;
            default:
                break;
        }
        if (status.state >= kStateProgramming) {
            break;
        }
    }
    return status;
}

}  // namespace

void RunOldLoaderUpdate(CUpdateSteps& steps, const OldLoaderPlan& plan) {
    if (!steps.CountImage()) {
        return;
    }
    steps.SetReplyTimeout(plan.handshakeReplyTimeoutMs);
    if (!Handshake(steps, plan.deviceNumber) || !Handshake(steps, plan.bareName)) {
        steps.ReportConnectFail();
        return;
    }
    steps.BeginErase(plan.eraseTimerMs);
    if (!Handshake(steps, plan.erase)) {
        steps.ReportConnectFail();
        return;
    }
    steps.BeginProgramming();
    if (!Handshake(steps, plan.start)) {
        steps.ReportConnectFail();
        return;
    }
    ProgrammingPass pass(steps, plan.image.kind);
    if (!pass.Open()) {
        return;
    }
    uint16_t sum = 0;
    steps.SetReplyTimeout(plan.programReplyTimeoutMs);
    std::string line;
    while (pass.NextLine(line)) {
        if (plan.image.isCheckpoint(line) && !VerifyAtCheckpoint(steps, sum)) {
            VerifyFailEnding(steps, pass, plan.verifyFailReplyTimeoutMs, plan.closeCommand,
                             plan.closePrefix);
            return;
        }
        if (!plan.image.isSent(line)) {
            continue;
        }
        if (!pass.CountBlock()) {
            return;
        }
        if (plan.image.isSummed(line)) {
            sum = AddToSum(sum, plan.image, line);
        }
        if (!steps.SendRecordLine(line + kCr)) {
            WriteFailEnding(steps, pass);
            return;
        }
    }
    if (!pass.Complete() || !steps.Pause(plan.closePauseMs)) {
        return;
    }
    if (plan.closeReplyTimeoutMs) {
        steps.SetReplyTimeout(*plan.closeReplyTimeoutMs);
    }
    steps.SendClosingCommand(plan.closeCommand, plan.closePrefix);
    steps.FinishProgramming();
}

void RunNewLoaderUpdate(CUpdateSteps& steps, const NewLoaderPlan& plan) {
    if (!steps.CountImage()) {
        return;
    }
    if (plan.walkReplyTimeoutMs) {
        steps.SetReplyTimeout(*plan.walkReplyTimeoutMs);
    }
    const LoaderStatus status = StageWalk(steps, plan);
    if (plan.programTimeoutAfterWalk) {
        steps.SetReplyTimeout(timing::kNewProgramReplyTimeoutMs);
    }
    if (status.state < kStateProgramming) {
        steps.ReportConnectFail();
        return;
    }
    steps.BeginProgramming();
    ProgrammingPass pass(steps, plan.image.kind);
    if (!pass.Open()) {
        return;
    }
    steps.SetReplyTimeout(timing::kNewProgramReplyTimeoutMs);
    const int64_t resume = status.block;
    uint16_t sum = 0;
    std::string line;
    while (pass.NextLine(line)) {
        if (!plan.image.isSent(line)) {
            continue;
        }
        if (!pass.CountBlock()) {
            return;
        }
        const uint32_t block = pass.Blocks();
        const bool checkpoint = plan.image.isCheckpoint(line);
        if (!checkpoint && plan.image.isSummed(line)) {
            sum = AddToSum(sum, plan.image, line);
        }
        // Blocks the loader already holds are summed but not sent again.
        const bool send = block > resume;
        const bool verify =
            checkpoint && (send || (plan.verifyCheckpointAtResume && block == resume));
        if (verify && !VerifyAtCheckpoint(steps, sum)) {
            VerifyFailEnding(steps, pass, timing::kVerifyFailReplyTimeoutMs, plan.closeCommand,
                             plan.closePrefix);
            return;
        }
        if (!send) {
            continue;
        }
        if (!steps.ExchangeExpect(Numbered("SD_", block) + line + kCr, Numbered("ST4_", block))) {
            WriteFailEnding(steps, pass);
            return;
        }
        Shared().WrittenBlocks = block;
        steps.ProgressUpdate();
    }
    if (!pass.Complete()) {
        return;
    }
    steps.SetReplyTimeout(timing::kNewCloseReplyTimeoutMs);
    steps.SendClosingCommand(plan.closeCommand, plan.closePrefix);
    steps.FinishProgramming();
}
