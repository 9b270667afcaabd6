#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "SerialLib/Serial/SerialWnd.h"
#include "SerialLib/Serial/posix/Event.h"
#include "SerialLib/Serial/posix/Overlapped.h"
#include "SerialLib/Serial/posix/PortLayer.h"
#include "link/MainWindow.h"
#include "link/RxBuffer.h"
#include "link/SharedState.h"

// How a reply ended: a line with text, or why it gave none (length 0).
enum class ReplyEnd { Line, EmptyLine, Silence, TooLong, BytesLost, Stopped };

// The reason in words ("no reply", "reply too long", "stopped", ...); empty for a line.
const char* ReplyEndText(ReplyEnd end);

// The device link: the port object, the receive queue and the request/reply
// transactions every exchange uses, plus opening and closing the connection and
// detecting the loader. It lives on the window thread, which receives the port's
// notifications; the transactions run on the worker thread.
class CDeviceLink : public QObject {
  public:
    static constexpr int kReplySize = 512;

    // `layer` is the platform under the port object (tests substitute their own).
    explicit CDeviceLink(MainWindow& window, IPortLayer& layer = DefaultPortLayer(),
                         QObject* parent = nullptr);
    ~CDeviceLink() override;

    // Worker thread: one request and its reply line. The reply's length is 0 when
    // there is none; LastReplyEnd says why (an empty reply is also traced).
    bool SendAndWait(const uint8_t* data, int len, uint32_t waitMs);
    int ReadReply(char* reply, uint32_t timeoutMs);
    int SendCommand(const char* command, char* reply);
    ReplyEnd LastReplyEnd() const { return m_lastReplyEnd; }

    // Worker thread: the connection. OpenPort opens the port at 2400 baud and, with
    // `switchBaud`, has the device and the line switch to 9600.
    enum class Opening { Opened, OpenFailed, SetupFailed };
    Opening OpenPort(const std::string& portName, bool switchBaud);
    void ClosePort();
    LoaderGeneration DetectLoader();

    // Window thread: a port notification (event bits low, error bits high).
    long OnSerialMsg(uintptr_t wParam, intptr_t lParam);

    // Cuts every wait of the worker short; afterwards no exchange touches the port
    // and Pause returns at once. ClearStop re-arms the link for the next run.
    void RequestStop();
    void ClearStop();
    bool StopRequested() const;
    // Sleeps `ms` (scaled like every wait); false when a stop cut it short.
    bool Pause(uint32_t ms);

  protected:
    bool event(QEvent* e) override;

  private:
    // Log lines go to the window unless a stop was requested.
    void Log(const std::string& text);
    bool WaitForRxData(uint32_t waitMs);
    // A retry that was answered after an attempt went unanswered leaves the earlier
    // attempt's reply possibly still on its way; it must not pass for the reply to
    // the next command.
    void NoteReplyOutcome(const char* command, bool timedOut);
    void DiscardLateReplies();
    bool SetupLine(uint32_t baud);
    // With the port mutex held: closes the port object; false if it was not open.
    bool CloseIfOpen();
    // Closes the port without a word; true if it was open.
    bool ClosePortQuietly();
    void RunDetectSeries(const char* command, int series, int tries, LoaderGeneration& result);

    CSerialWndObj m_serial;
    RxBuffer m_rxBuffer;
    CEvent m_hevtTxDone;  // the current request has been written
    CEvent m_hevtRxData;  // wakes the worker for received bytes
    MainWindow& m_window;
    // Serialises opening and closing against the window thread's reads.
    std::mutex m_portMutex;
    COverlapped m_txOverlapped;  // outlives every write it starts
    std::atomic<bool> m_stop{false};
    ReplyEnd m_lastReplyEnd = ReplyEnd::Line;  // worker only
    // Worker only: the command whose last attempt went unanswered, and whether the
    // line must fall quiet (for m_lateReplyQuietMs) before the next command.
    std::string m_unansweredCommand;
    bool m_lateReplyPossible = false;
    uint32_t m_lateReplyQuietMs = 0;
    CEvent m_hevtStop;
};
