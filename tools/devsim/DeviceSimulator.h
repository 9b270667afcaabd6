#pragma once

// The device on the far end of a serial line, played on a pseudo-terminal: the
// tool opens SlavePath() as its port. See Device.h for the commands and replies.
//
// The line: the device listens at 2400 baud; after answering "BDR96" it listens at
// 9600. It reads the speed the tool set on its side of the pty, and bytes sent at
// another speed are noise: logged as such, never answered. When the tool closes the
// port the device is back at 2400 and the loaders' sessions end (new loaders keep
// their stage, last block and sum for the next connection, for as long as this
// object lives, also across Stop() and Start()).
//
// The board can be taken out and put back at any time from any thread, as in a
// fixture whose adapter stays: taken out, the device answers nothing while the pty
// stays; put back, it is a new board, listening at 2400 baud with the loaders as
// configured (the faults set stay).
//
// Faults and pacing can be changed at any time from any thread. Pacing: a command
// is acted on once its wire time (10 bits per byte at the device's speed) has
// passed since its first byte arrived, and a reply leaves at the same rate. The
// reply delay is added to every reply, as a USB adapter's latency timer does; the
// erase time delays the reply to an erase command.
//
// One thread serves the line. It blocks in ppoll() on the pty, a watch on the
// slave path (inotify: the tool's open and close) and a wake-up descriptor. The
// line is reset when the tool's last descriptor closes, not when one opens: the
// open can be reported after the tool's first bytes have arrived. A test that
// reconnects waits for WaitForConnectionsEnded() first, as the tool's next run
// comes long after its close.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/devsim/Device.h"

namespace devsim {

struct CommandRecord {
    std::string text;             // the line without its CR
    std::int64_t timeNs;          // steady_clock time the line's last byte was read
    int baud;                     // the tool's line speed when it arrived
    bool noise;                   // not acted on: wrong speed, or longer than a line can be
    std::string reply;            // what the device sent back, without CR; empty when silent
    std::int64_t replyEndNs = 0;  // steady_clock time the reply's last byte was written;
                                  // 0 while it is still on its way, or when silent
};

struct Pacing {
    bool wireTime = false;
    std::chrono::microseconds replyDelay{0};
    std::chrono::milliseconds eraseTime{0};
};

struct Options {
    DeviceConfig device;
    Faults faults;
    Pacing pacing;
    // Start with the board out of the fixture.
    bool boardOut = false;
    // Called on the simulator's thread for every record logged.
    std::function<void(const CommandRecord&)> onCommand;
};

class DeviceSimulator {
  public:
    explicit DeviceSimulator(Options options = {});
    ~DeviceSimulator();
    DeviceSimulator(const DeviceSimulator&) = delete;
    DeviceSimulator& operator=(const DeviceSimulator&) = delete;

    // Creates the pty and starts serving; false (see LastError) when that fails.
    bool Start();
    // Stops serving and removes the pty. Loader states are kept.
    void Stop();
    // Serving: started, not stopped, not hung up.
    bool Running() const;
    // The device closed the pty on a hang-up fault.
    bool HungUp() const;
    std::string SlavePath() const;
    std::string LastError() const;

    std::vector<CommandRecord> Commands() const;
    void ClearLog();
    // Waits until the log holds at least count records.
    bool WaitForCommands(std::size_t count, std::chrono::milliseconds timeout) const;

    bool Connected() const;
    // Connections the tool has closed since Start().
    int ConnectionsEnded() const;
    bool WaitForConnectionsEnded(int count, std::chrono::milliseconds timeout) const;
    // The speed the device listens at.
    int DeviceBaud() const;

    // Takes the board out (silent) or puts a new one in.
    void SetBoardPresent(bool present);
    bool BoardPresent() const;

    void SetFaults(Faults faults);
    Faults CurrentFaults() const;
    void SetPacing(Pacing pacing);
    LoaderState DspState() const;
    LoaderState McuState() const;
    void SetDspState(LoaderState state);
    void SetMcuState(LoaderState state);

  private:
    class Line;

    void Serve();
    void MarkHungUp();
    // Whether the board went or came since the serving thread last asked.
    bool TakeBoardChange();
    // Adds a record; returns its sequence number (records ever logged before it).
    std::uint64_t Log(CommandRecord record);
    void MarkReplySent(std::uint64_t sequence, std::int64_t timeNs);
    template <typename Predicate>
    bool WaitUntil(std::chrono::milliseconds timeout, Predicate done) const;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Options options_;
    Device device_;
    std::deque<CommandRecord> log_;
    std::uint64_t recordsLogged_ = 0;
    std::string lastError_;
    std::string slavePath_;
    bool running_ = false;
    bool hungUp_ = false;
    bool connected_ = false;
    int connectionsEnded_ = 0;
    int deviceBaud_ = Device::kInitialBaud;
    bool boardPresent_ = true;
    bool boardChanged_ = false;

    std::unique_ptr<Line> line_;
    std::thread thread_;
};

}  // namespace devsim
