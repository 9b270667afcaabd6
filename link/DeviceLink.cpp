#include "link/DeviceLink.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

#include "SerialLib/Serial/Diagnostics.h"
#include "SerialLib/Serial/posix/Clock.h"
#include "link/Commands.h"
#include "link/SharedState.h"
#include "link/Timeouts.h"

namespace {

constexpr int kReadChunk = 128;
constexpr const char* kTraceSource = "link/DeviceLink";

// Index of the last CR among reply[from, to), or -1.
int LastCrIndex(const char* reply, int from, int to) {
    for (int i = to - 1; i >= from; --i) {
        if (reply[i] == '\r') {
            return i;
        }
    }
    return -1;
}

// For a developer reading the trace: which command got no reply, and why.
void TraceEmptyReply(std::string_view command, ReplyEnd end) {
    if (!command.empty() && command.back() == kCr) {
        command.remove_suffix(1);
    }
    SERIAL_TRACE("CDeviceLink::SendCommand - " + std::string(command) + ": " + ReplyEndText(end) +
                 "\n");
}

}  // namespace

const char* ReplyEndText(ReplyEnd end) {
    // In the order of ReplyEnd.
    constexpr const char* kTexts[] = {
        "",       "empty reply", "no reply", "reply too long", "reply lost bytes to a full queue",
        "stopped"};
    return kTexts[static_cast<int>(end)];
}

CDeviceLink::CDeviceLink(MainWindow& window, IPortLayer& layer, QObject* parent)
    : QObject(parent), m_serial(layer), m_window(window) {
    m_txOverlapped.hEvent = &m_hevtTxDone;
}

CDeviceLink::~CDeviceLink() {
    RequestStop();
    std::lock_guard lock(m_portMutex);
    CloseIfOpen();
}

bool CDeviceLink::event(QEvent* e) {
    if (e->type() == CSerialMsgEvent::DefaultType()) {
        const auto* message = static_cast<const CSerialMsgEvent*>(e);
        OnSerialMsg(message->wParam(), message->lParam());
        return true;
    }
    return QObject::event(e);
}

long CDeviceLink::OnSerialMsg(uintptr_t wParam, intptr_t /*lParam*/) {
    const uint32_t events = static_cast<uint32_t>(wParam) & 0xFFFF;
    if ((events & EV_RXCHAR) == 0) {
        return 0;
    }
    // Until the current request has been written, a new chunk replaces what was queued.
    if (!m_hevtTxDone.IsSet()) {
        m_rxBuffer.Clear();
    }
    std::lock_guard lock(m_portMutex);
    uint8_t chunk[kReadChunk];
    uint32_t got = 0;
    do {
        got = 0;
        m_serial.Read(chunk, sizeof chunk, &got, nullptr, INFINITE);
        if (m_rxBuffer.Deliver(chunk, static_cast<int>(got))) {
            m_hevtRxData.Set();
        }
    } while (got == kReadChunk);
    return 0;
}

bool CDeviceLink::SendAndWait(const uint8_t* data, int len, uint32_t waitMs) {
    if (StopRequested()) {
        return false;
    }
    // The record of the previous write is reused only once that write has finished.
    if (!HasOverlappedIoCompleted(&m_txOverlapped)) {
        return false;
    }
    m_hevtTxDone.Reset();
    m_hevtRxData.Reset();
    m_txOverlapped = COverlapped{};
    m_txOverlapped.hEvent = &m_hevtTxDone;
    m_rxBuffer.Clear();
    m_rxBuffer.WakeOnFirstData(true);

    uint32_t written = 0;
    if (m_serial.Write(data, static_cast<size_t>(len), &written, &m_txOverlapped, INFINITE) != 0) {
        return false;
    }
    return WaitForRxData(waitMs);
}

bool CDeviceLink::WaitForRxData(uint32_t waitMs) {
    return m_hevtRxData.Wait(timing::Scaled(waitMs)) == 0 && !StopRequested();
}

int CDeviceLink::ReadReply(char* reply, uint32_t timeoutMs) {
    // One byte stays free so the reply is always NUL-terminated.
    constexpr int kCapacity = kReplySize - 1;
    auto* bytes = reinterpret_cast<uint8_t*>(reply);
    int pos = 0;
    // A line that outgrows the reply buffer is read on to its CR and then dropped,
    // so its tail cannot pass for the next reply.
    bool tooLong = false;

    // Takes what is queued; the reply length once a CR came, else -1.
    auto takeQueued = [&] {
        if (pos >= kCapacity) {
            tooLong = true;
            pos = 0;
        }
        const int n = m_rxBuffer.TakeAll(bytes + pos, kCapacity - pos);
        const int cr = LastCrIndex(reply, pos, pos + n);
        pos += n;
        if (cr < 0) {
            return -1;
        }
        // Bytes lost to a full queue make the line untrustworthy too.
        if (tooLong || m_rxBuffer.Dropped() > 0) {
            m_lastReplyEnd = tooLong ? ReplyEnd::TooLong : ReplyEnd::BytesLost;
            reply[0] = '\0';
            return 0;
        }
        m_lastReplyEnd = cr > 0 ? ReplyEnd::Line : ReplyEnd::EmptyLine;
        reply[cr] = '\0';
        return cr;
    };

    if (const int length = takeQueued(); length >= 0) {
        return length;
    }
    const uint64_t deadline = MonotonicMs() + timing::Scaled(timeoutMs);
    for (uint64_t now = MonotonicMs(); now < deadline && !StopRequested(); now = MonotonicMs()) {
        m_hevtRxData.Wait(static_cast<uint32_t>(deadline - now));
        m_hevtRxData.Reset();
        if (StopRequested()) {
            break;
        }
        if (const int length = takeQueued(); length >= 0) {
            return length;
        }
    }
    m_lastReplyEnd = StopRequested() ? ReplyEnd::Stopped : ReplyEnd::Silence;
    return 0;
}

int CDeviceLink::SendCommand(const char* command, char* reply) {
    int length = 0;
    // Once stopped, every exchange fails at once and the port is left alone.
    if (StopRequested()) {
        m_lastReplyEnd = ReplyEnd::Stopped;
    } else {
        DiscardLateReplies();
        SendAndWait(reinterpret_cast<const uint8_t*>(command),
                    static_cast<int>(std::strlen(command)), timing::kFirstReplyDataWaitMs);
        length = ReadReply(reply, Shared().ReplyTimeout);
        NoteReplyOutcome(command, m_lastReplyEnd == ReplyEnd::Silence);
    }
    if (length == 0) {
        TraceEmptyReply(command, m_lastReplyEnd);
    }
    return length;
}

// A command sent again right after it went unanswered is a retry. Once a retry is
// answered, the reply taken may be the earlier attempt's, late, with the retry's own
// reply still to come; an old loader's bare acknowledgement cannot tell them apart.
void CDeviceLink::NoteReplyOutcome(const char* command, bool timedOut) {
    if (timedOut) {
        m_unansweredCommand = command;
        return;
    }
    if (!m_unansweredCommand.empty() && m_unansweredCommand == command) {
        m_lateReplyPossible = true;
        m_lateReplyQuietMs = Shared().ReplyTimeout;
    }
    m_unansweredCommand.clear();
}

// Before the next command: drops whatever arrives until the line has stayed quiet
// for the reply time-out of the retried exchange, and waits no longer than twice
// that in all.
void CDeviceLink::DiscardLateReplies() {
    if (!std::exchange(m_lateReplyPossible, false)) {
        return;
    }
    const uint32_t quietMs = timing::Scaled(m_lateReplyQuietMs);
    const uint64_t end = MonotonicMs() + 2 * static_cast<uint64_t>(quietMs);
    for (uint64_t now = MonotonicMs(); now < end && !StopRequested(); now = MonotonicMs()) {
        m_hevtRxData.Reset();
        m_rxBuffer.WakeOnFirstData(true);
        const bool arrived =
            m_rxBuffer.Queued() > 0 ||
            m_hevtRxData.Wait(static_cast<uint32_t>(std::min<uint64_t>(quietMs, end - now))) == 0;
        m_rxBuffer.Clear();
        if (!arrived) {
            break;
        }
    }
    m_rxBuffer.WakeOnFirstData(false);
}

void CDeviceLink::RequestStop() {
    m_stop = true;
    m_hevtStop.Set();
    m_hevtRxData.Set();
}

void CDeviceLink::ClearStop() {
    m_stop = false;
    m_hevtStop.Reset();
}

bool CDeviceLink::StopRequested() const {
    return m_stop.load();
}

bool CDeviceLink::Pause(uint32_t ms) {
    return m_hevtStop.Wait(timing::Scaled(ms)) != 0 && !StopRequested();
}

void CDeviceLink::Log(const std::string& text) {
    if (!StopRequested()) {
        m_window.LogLine(text);
    }
}
