#include "update/UpdateSteps.h"

#include <climits>
#include <cstring>

#include "SerialLib/Serial/posix/Clock.h"
#include "link/SharedState.h"
#include "link/Timeouts.h"
#include "update/FailureDetail.h"
#include "update/ImageFiles.h"
#include "update/ImageRecords.h"

namespace {

constexpr int kExchangeAttempts = 2;
constexpr int kVerifyAttempts = 8;
constexpr int kClosingCommandTries = 3;
constexpr std::size_t kSumReplyLength = 7;  // "SUM" and four hex digits

// A decimal number from `pos` as the C library's atoi reads it, without overflow:
// leading blanks, an optional sign, digits; the value is clamped to the int range.
int DecimalAt(std::string_view text, std::size_t pos) {
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
        negative = text[pos] == '-';
        ++pos;
    }
    long long value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10 + (text[pos] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) {
            value = static_cast<long long>(INT_MAX) + 1;
        }
    }
    value = negative ? -value : value;
    return static_cast<int>(value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : value);
}

// The device's sum from "SUMhhhh", most significant digit first.
uint16_t DeviceSum(std::string_view reply) {
    uint32_t sum = 0;
    for (std::size_t i = 3; i < kSumReplyLength; ++i) {
        sum = sum * 16 + HexDigitValue(reply[i]);
    }
    return static_cast<uint16_t>(sum & 0xFFFF);
}

int ClampToInt(uint32_t value) {
    return value > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

}  // namespace

LoaderStatus ParseLoaderStatus(std::string_view reply) {
    return {DecimalAt(reply, 2), DecimalAt(reply, 4)};
}

CUpdateSteps::CUpdateSteps(CDeviceLink& link, MainWindow& window)
    : m_link(link), m_window(window, [&link] { return link.StopRequested(); }) {}

void CUpdateSteps::SetReplyTimeout(uint32_t ms) {
    Shared().ReplyTimeout = ms;
}

bool CUpdateSteps::CountImage() {
    if (CountImageBlocks(m_window, m_requireCheckpoint)) {
        return true;
    }
    Conclude(RunResult::ImageRefused);
    return false;
}

void CUpdateSteps::Conclude(RunResult result) {
    m_report.result = result;
    if (result != RunResult::Finished) {
        m_report.detail = ReplyEndText(m_lastReplyEnd);
    }
    if (m_programming && !m_report.programMs) {
        m_report.programMs = TimeGetTime() - Shared().ProgramStartTime;
    }
}

void CUpdateSteps::FailProgramming(RunResult result, const std::string& line) {
    Shared().UpdatePhase = PhaseFailed;
    Conclude(result);
    Log(line);
}

void CUpdateSteps::FailRecord(uint32_t block) {
    const std::string_view reply(m_reply, m_replyLength);
    FailProgramming(RunResult::WriteFail, "Write fail!");
    m_report.detail = RecordFailureDetail(block, Shared().TotalBlocks, reply, m_lastReplyEnd);
}

void CUpdateSteps::FailVerification() {
    FailProgramming(RunResult::VerifyFail, "Verify flash data fail!");
    if (m_sumMismatch) {
        m_report.detail = SumMismatchDetail(m_sumMismatch->first, m_sumMismatch->second);
    }
}

std::string_view CUpdateSteps::Send(const std::string& command) {
    std::memset(m_reply, 0, sizeof m_reply);
    m_replyLength = 0;
    // Once stopped, the port is left alone and every exchange fails at once.
    if (Stopped()) {
        m_lastReplyEnd = ReplyEnd::Stopped;
        return {};
    }
    const int length = m_link.SendCommand(command.c_str(), m_reply);
    m_lastReplyEnd = m_link.LastReplyEnd();
    m_replyLength = length > 0 ? static_cast<std::size_t>(length) : 0;
    return {m_reply, m_replyLength};
}

bool CUpdateSteps::ExchangeExpectAnyOf(const std::string& command,
                                       std::span<const std::string_view> prefixes) {
    for (int attempt = 0; attempt < kExchangeAttempts; ++attempt) {
        const std::string_view reply = Send(command);
        if (!reply.empty() && StartsWithAny(reply, prefixes)) {
            return true;
        }
    }
    return false;
}

bool CUpdateSteps::SendRecordLine(const std::string& record) {
    for (int attempt = 0; attempt < kExchangeAttempts; ++attempt) {
        const std::string_view reply = Send(record);
        if (reply.starts_with("SO") || reply.starts_with(":O")) {
            ++Shared().WrittenBlocks;
            ProgressUpdate();
            return true;
        }
        if (reply.starts_with("Sr") || reply.starts_with(":r")) {
            return false;
        }
    }
    return false;
}

LoaderStatus CUpdateSteps::QueryLoaderState(const std::string& command) {
    for (int attempt = 0; attempt < kExchangeAttempts; ++attempt) {
        const std::string_view reply = Send(command);
        if (reply.starts_with("ST")) {
            return ParseLoaderStatus(reply);
        }
    }
    return {};
}

bool CUpdateSteps::VerifyChecksum(uint16_t runningSum) {
    const std::string command = CrCommand("SUM");
    bool replied = false;
    bool sumReplied = false;
    m_sumMismatch.reset();
    for (int attempt = 0; attempt < kVerifyAttempts; ++attempt) {
        const std::string_view reply = Send(command);
        if (reply.empty()) {
            continue;
        }
        replied = true;
        if (reply.size() >= kSumReplyLength && reply.starts_with("SUM")) {
            sumReplied = true;
            if (DeviceSum(reply) == runningSum) {
                m_report.verified = true;
                return true;
            }
            m_sumMismatch = {runningSum, DeviceSum(reply)};
        }
    }
    return replied && !sumReplied;
}

void CUpdateSteps::SendClosingCommand(const std::string& command, const std::string& prefix) {
    for (int i = 0; i < kClosingCommandTries; ++i) {
        if (ExchangeExpect(command, prefix)) {
            return;
        }
    }
}

void CUpdateSteps::BeginErase(uint32_t timerPeriodMs) {
    Log("Ereasing flash.............");
    m_window.SetProgressRange(0, 100);
    m_window.SetProgressPos(0);
    Shared().EraseTicks = 0;
    Shared().EraseStartTime = TimeGetTime();
    m_window.StartTimer(EraseTimer, timerPeriodMs);
}

uint32_t CUpdateSteps::LogElapsedSinceErase(const char* label) {
    const uint32_t elapsed = TimeGetTime() - Shared().EraseStartTime;
    Log(label + std::to_string(elapsed) + "ms");
    return elapsed;
}

void CUpdateSteps::BeginProgramming() {
    ProcessValues& shared = Shared();
    m_window.SetProgressPos(100);
    m_window.StopTimer(EraseTimer);
    // The whole block count is the range: a large image is not cut to 16 bits.
    m_window.SetProgressRange(0, ClampToInt(shared.TotalBlocks));
    m_window.SetProgressPos(0);
    Log("Ereased flash ok!");
    m_report.eraseMs = LogElapsedSinceErase("Erase case time:");
    Log("Program flash..........");
    shared.PercentText.Set("0%");
    shared.ProgramStartTime = TimeGetTime();
    m_programming = true;
    m_window.StartTimer(ProgramTimer, timing::kProgramTimerMs);
    shared.UpdatePhase = PhaseProgramming;
    shared.WrittenBlocks = 0;
}

void CUpdateSteps::FinishProgramming() {
    const uint32_t programMs = TimeGetTime() - Shared().ProgramStartTime;
    if (!Pause(timing::kFinishPauseMs)) {
        return;
    }
    Shared().UpdatePhase = PhaseFinished;
    m_report.programMs = programMs;
    Conclude(RunResult::Finished);
    LogElapsedSinceErase("Reflash  case time:");
    if (!Pause(timing::kFinishPauseMs)) {
        return;
    }
    m_window.StopTimer(ProgramTimer);
}

void CUpdateSteps::ReportConnectFail() {
    Conclude(RunResult::ConnectFail);
    Log("connect fail");
}

void CUpdateSteps::ProgressUpdate() {
    ProcessValues& shared = Shared();
    const uint32_t written = shared.WrittenBlocks;
    const uint32_t total = shared.TotalBlocks;
    m_window.SetProgressPos(ClampToInt(written));
    shared.WrittenBlocksText.Set(std::to_string(written));
    // No blocks counted: 0% rather than a division by zero.
    const uint64_t percent = total == 0 ? 0 : static_cast<uint64_t>(written) * 100 / total;
    shared.PercentText.Set(std::to_string(percent) + "%");
}
