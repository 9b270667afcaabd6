#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "link/Commands.h"
#include "link/DeviceLink.h"
#include "update/GuardedWindow.h"
#include "update/RunReport.h"

// The stage a new loader reports, and the last block it holds.
struct LoaderStatus {
    int state = 0;
    int block = 0;
};

// "ST3_0123" gives state 3 and block 123: decimal numbers read from characters 2
// and 4 (leading blanks, a sign, digits; no digit gives 0).
LoaderStatus ParseLoaderStatus(std::string_view reply);

// The steps every update procedure is built from: command exchanges that accept a
// reply by its first characters, the record transmission, the checksum exchange,
// and the steps that drive the progress display and log the phases. All run on the
// worker; a stop requested by the window ends every exchange at once, and nothing
// reaches the window afterwards.
class CUpdateSteps {
  public:
    CUpdateSteps(CDeviceLink& link, MainWindow& window);

    GuardedWindow& Window() { return m_window; }
    bool Stopped() const { return m_link.StopRequested(); }
    void Log(const std::string& text) { m_window.Log(text); }
    // False when a stop cut the pause short.
    bool Pause(uint32_t ms) { return m_link.Pause(ms); }
    void SetReplyTimeout(uint32_t ms);
    // An image without a checkpoint record is refused at the count.
    void SetRequireCheckpoint(bool require) { m_requireCheckpoint = require; }

    // The count every procedure starts with; false (image refused) ends the update.
    bool CountImage();

    // Up to 2 attempts; true at the first reply that begins with one of the prefixes.
    bool ExchangeExpectAnyOf(const std::string& command,
                             std::span<const std::string_view> prefixes);
    template <typename... Prefix>
    bool ExchangeExpectAny(const std::string& command, const Prefix&... prefixes) {
        const std::string_view list[] = {prefixes...};
        return ExchangeExpectAnyOf(command, list);
    }
    bool ExchangeExpect(const std::string& command, const std::string& prefix) {
        return ExchangeExpectAny(command, prefix);
    }
    // An image record with its CR: accepted ("SO", ":O") advances WrittenBlocks and
    // the display; a rejection ("Sr", ":r") fails at once; otherwise 2 attempts.
    bool SendRecordLine(const std::string& record);
    // Up to 2 attempts; state 0 and block 0 when no reply begins with "ST".
    LoaderStatus QueryLoaderState(const std::string& command);
    // Up to 8 "SUM" exchanges. True when the device's sum matches, or when the device
    // answered but never with a sum; false for a different sum or silence.
    bool VerifyChecksum(uint16_t runningSum);
    // Sends a command whose reply is not examined.
    void SendIgnoringReply(const std::string& command) { Send(command); }
    // The closing command: ExchangeExpect up to 3 times, the outcome not used.
    void SendClosingCommand(const std::string& command, const std::string& prefix);

    void BeginErase(uint32_t timerPeriodMs);
    void BeginProgramming();
    void FinishProgramming();
    void ReportConnectFail();
    // After an accepted block: bar position, written count and percentage.
    void ProgressUpdate();
    // The update ended in `result` (a failure the procedure reports); the programming
    // time is taken here, and for a failure why the last exchange had no reply.
    void Conclude(RunResult result);
    // The failed phase, the failure `result`, and the log line that says so.
    void FailProgramming(RunResult result, const std::string& line);
    // The record of `block` was not taken ("Write fail!"); the detail names the block,
    // the total and the loader's last reply.
    void FailRecord(uint32_t block);
    // The checkpoint did not verify ("Verify flash data fail!"); the detail gives both
    // sums where the device sent one.
    void FailVerification();

    // What the procedure found: its result, whether the flash was verified, the
    // erase and programming times.
    const RunReport& Report() const { return m_report; }

  private:
    // One SendCommand with a zeroed reply buffer; the reply text (empty: no reply).
    std::string_view Send(const std::string& command);
    uint32_t LogElapsedSinceErase(const char* label);

    CDeviceLink& m_link;
    GuardedWindow m_window;
    char m_reply[CDeviceLink::kReplySize] = {};
    std::size_t m_replyLength = 0;  // of the last exchange's reply in m_reply
    bool m_requireCheckpoint = false;
    bool m_programming = false;
    ReplyEnd m_lastReplyEnd = ReplyEnd::Line;  // of this procedure's last exchange
    // The image's and the device's sum of the last verification the device answered
    // with another sum.
    std::optional<std::pair<uint16_t, uint16_t>> m_sumMismatch;
    RunReport m_report;
};
