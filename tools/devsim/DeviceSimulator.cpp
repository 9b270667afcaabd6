#include "tools/devsim/DeviceSimulator.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <optional>
#include <string_view>
#include <utility>

#include "tools/devsim/Pty.h"

namespace devsim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxLineBytes = 1024;
constexpr std::size_t kMaxPendingLines = 256;
constexpr std::size_t kMaxOutputBytes = std::size_t{256} * 1024;
constexpr std::size_t kMaxLogRecords = 1 << 20;
constexpr std::chrono::seconds kLongestWait{1};
constexpr char kCr = '\r';

// Time one byte takes on the wire: start bit, 8 data bits, stop bit.
Clock::duration ByteTime(int baud) {
    return baud > 0 ? std::chrono::duration_cast<Clock::duration>(
                          std::chrono::nanoseconds(10'000'000'000LL / baud))
                    : Clock::duration::zero();
}

std::int64_t Nanoseconds(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

std::string WithoutCr(const std::string& bytes) {
    return !bytes.empty() && bytes.back() == kCr ? bytes.substr(0, bytes.size() - 1) : bytes;
}

}  // namespace

// The serving thread's side: the pty, the byte streams in both directions and the
// timing of both. Only the serving thread touches it; what others may read or
// change lives in DeviceSimulator under its mutex.
class DeviceSimulator::Line {
  public:
    Line(DeviceSimulator& sim, Pty pty, OpenWatch watch, UniqueFd wake)
        : sim_(sim), pty_(std::move(pty)), watch_(std::move(watch)), wake_(std::move(wake)) {}

    // Serves until RequestStop() or a hang-up.
    void Run();
    void RequestStop();
    // Has the serving thread look at the board at once.
    void Wake();

  private:
    struct PendingLine {
        std::string text;
        Clock::time_point due;       // when the device acts on it
        Clock::time_point received;  // when its CR was read
        int baud;
    };
    struct Segment {
        Clock::time_point due;
        std::string bytes;
        std::size_t written = 0;
        int baudAfter = 0;
        std::optional<std::uint64_t> endsReplyTo;  // the log record whose reply it ends
    };

    void WaitForEvents();
    void FollowBoard();
    std::optional<Clock::time_point> NextDeadline() const;
    void FollowConnections();
    void StartConnection();
    void EndConnection();
    void FollowTool();
    void TakeBytes(std::string_view bytes, Clock::time_point now, int toolBaud);
    void LogNoise(std::string_view bytes, Clock::time_point now, int toolBaud);
    void LineComplete(Clock::time_point now, int toolBaud);
    void ActOnDueLines();
    void Schedule(const Response& response, Clock::time_point start, std::uint64_t record);
    void WriteDue();
    void SetBaud(int baud);
    void ForgetTraffic();
    Pacing CurrentPacing() const;

    DeviceSimulator& sim_;
    Pty pty_;
    OpenWatch watch_;
    UniqueFd wake_;
    std::atomic<bool> stopping_{false};
    bool hungUp_ = false;
    int openers_ = 0;
    int baud_ = Device::kInitialBaud;

    std::string partial_;
    bool overlong_ = false;
    Clock::time_point wireIn_{};  // when the last byte read would have finished arriving
    std::deque<PendingLine> pending_;

    std::deque<Segment> output_;
    std::size_t outputBytes_ = 0;
    Clock::time_point wireOut_{};  // when the last scheduled byte leaves
    bool writeBlocked_ = false;
};

void DeviceSimulator::Line::Run() {
    while (!stopping_ && !hungUp_) {
        WaitForEvents();
        FollowBoard();
        FollowTool();
        ActOnDueLines();
        if (!hungUp_) {
            WriteDue();
        }
    }
    if (hungUp_) {
        sim_.MarkHungUp();
        // Closing both sides removes the pty: the tool's port vanishes.
        pty_.master.Reset();
        pty_.slave.Reset();
    }
}

void DeviceSimulator::Line::RequestStop() {
    stopping_ = true;
    Wake();
}

void DeviceSimulator::Line::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_.Get(), &one, sizeof one);
}

// A board taken out leaves nothing on its way; a new one listens at 2400 baud.
void DeviceSimulator::Line::FollowBoard() {
    if (sim_.TakeBoardChange()) {
        ForgetTraffic();
        SetBaud(Device::kInitialBaud);
    }
}

void DeviceSimulator::Line::WaitForEvents() {
    const Clock::time_point now = Clock::now();
    Clock::duration wait = kLongestWait;
    if (auto deadline = NextDeadline()) {
        wait = std::clamp<Clock::duration>(*deadline - now, Clock::duration::zero(), wait);
    }
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    const timespec timeout{static_cast<time_t>(ns / 1'000'000'000),
                           static_cast<long>(ns % 1'000'000'000)};
    std::array<pollfd, 3> fds{
        {{wake_.Get(), POLLIN, 0},
         {watch_.Fd(), POLLIN, 0},
         {pty_.master.Get(), static_cast<short>(POLLIN | (writeBlocked_ ? POLLOUT : 0)), 0}}};
    if (::ppoll(fds.data(), fds.size(), &timeout, nullptr) > 0 && (fds[0].revents & POLLIN)) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(wake_.Get(), &count, sizeof count);
    }
    if (fds[2].revents & POLLOUT) {
        writeBlocked_ = false;
    }
}

std::optional<Clock::time_point> DeviceSimulator::Line::NextDeadline() const {
    std::optional<Clock::time_point> next;
    if (!pending_.empty()) {
        next = pending_.front().due;
    }
    if (!output_.empty() && !writeBlocked_) {
        next = next ? std::min(*next, output_.front().due) : output_.front().due;
    }
    return next;
}

// Counts the tool's opens and closes. A close that seems to leave the slave
// unused is checked, since merged open events make the count run short. A slave
// still open after such a close may also have been opened again at once (a bundle's
// next step): an open's event is queued before its descriptor shows, so reading
// the queue again tells the two apart, and the old connection ends first.
void DeviceSimulator::Line::FollowConnections() {
    std::vector<int> changes = watch_.Drain();
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const int before = openers_;
        openers_ = std::max(0, openers_ + changes[i]);
        if (before == 0 && openers_ > 0) {
            StartConnection();
        } else if (before > 0 && openers_ == 0) {
            if (!pty_.OpenedByOthers()) {
                EndConnection();
                continue;
            }
            const std::vector<int> later = watch_.Drain();
            changes.insert(changes.end(), later.begin(), later.end());
            if (i + 1 < changes.size() && changes[i + 1] > 0) {
                EndConnection();
            } else {
                openers_ = 1;
            }
        }
    }
}

// Nothing is reset here: the line was reset when the previous connection ended.
void DeviceSimulator::Line::StartConnection() {
    std::lock_guard lock(sim_.mutex_);
    sim_.connected_ = true;
    sim_.changed_.notify_all();
}

void DeviceSimulator::Line::EndConnection() {
    ForgetTraffic();
    pty_.ResetAfterConnection();
    SetBaud(Device::kInitialBaud);
    std::lock_guard lock(sim_.mutex_);
    sim_.device_.EndSession();
    sim_.connected_ = false;
    ++sim_.connectionsEnded_;
    sim_.changed_.notify_all();
}

void DeviceSimulator::Line::ForgetTraffic() {
    partial_.clear();
    overlong_ = false;
    pending_.clear();
    output_.clear();
    outputBytes_ = 0;
    writeBlocked_ = false;
    wireIn_ = {};
    wireOut_ = {};
}

// Reads what the tool sent and follows its opens and closes, in that order: an open
// is queued before its bytes can be written, and a close after its last bytes could
// be read. So bytes go to the connection that sent them, at its speed, even when the
// tool closed and opened again since the last look; and the last bytes of a tool that
// closed without waiting are not answered to the next one.
void DeviceSimulator::Line::FollowTool() {
    std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t n = ::read(pty_.master.Get(), buffer.data(), buffer.size());
        FollowConnections();
        if (n <= 0) {
            return;
        }
        if (openers_ == 0) {
            continue;  // its sender has closed the port: nobody is left to answer
        }
        TakeBytes(std::string_view(buffer.data(), static_cast<std::size_t>(n)), Clock::now(),
                  pty_.LineSpeed());
    }
}

void DeviceSimulator::Line::TakeBytes(std::string_view bytes, Clock::time_point now, int toolBaud) {
    if (toolBaud != baud_) {
        LogNoise(bytes, now, toolBaud);
        return;
    }
    const bool paced = CurrentPacing().wireTime;
    const Clock::duration byteTime = ByteTime(baud_);
    for (char c : bytes) {
        if (paced) {
            wireIn_ = std::max(wireIn_, now) + byteTime;
        }
        if (c == kCr) {
            LineComplete(now, toolBaud);
        } else if (partial_.size() < kMaxLineBytes) {
            partial_ += c;
        } else {
            overlong_ = true;
        }
    }
}

void DeviceSimulator::Line::LineComplete(Clock::time_point now, int toolBaud) {
    std::string text = std::exchange(partial_, {});
    if (std::exchange(overlong_, false) || pending_.size() >= kMaxPendingLines) {
        sim_.Log({std::move(text), Nanoseconds(now), toolBaud, true, {}});
        return;
    }
    const Clock::time_point due = CurrentPacing().wireTime ? std::max(wireIn_, now) : now;
    pending_.push_back({std::move(text), due, now, toolBaud});
}

// Bytes at the wrong speed arrive as garbage: whatever line was being received is
// lost with them, and nothing is answered.
void DeviceSimulator::Line::LogNoise(std::string_view bytes, Clock::time_point now, int toolBaud) {
    partial_.clear();
    overlong_ = false;
    while (!bytes.empty()) {
        const std::size_t cr = bytes.find(kCr);
        const std::string_view piece = bytes.substr(0, std::min(cr, kMaxLineBytes));
        sim_.Log({std::string(piece), Nanoseconds(now), toolBaud, true, {}});
        bytes.remove_prefix(cr == std::string_view::npos ? bytes.size() : cr + 1);
    }
}

void DeviceSimulator::Line::ActOnDueLines() {
    while (!pending_.empty() && pending_.front().due <= Clock::now()) {
        PendingLine line = std::move(pending_.front());
        pending_.pop_front();
        Response response;
        {
            std::lock_guard lock(sim_.mutex_);
            if (sim_.boardPresent_) {
                response = sim_.device_.Handle(line.text);
            }
        }
        const std::uint64_t record = sim_.Log({std::move(line.text), Nanoseconds(line.received),
                                               line.baud, false, WithoutCr(response.bytes)});
        if (response.kind == Response::Kind::HangUp) {
            hungUp_ = true;
            return;
        }
        // A device answers from the moment the line ended, however late this
        // thread got round to it.
        if (response.kind == Response::Kind::Reply) {
            Schedule(response, line.due, record);
        }
    }
}

// Lays the reply out in time: after the replies before it, the fixed delay, a late
// reply's own delay and (for an erase) the erase time; then byte by byte at the wire rate when
// paced, with a pause between chunks when replies are split.
void DeviceSimulator::Line::Schedule(const Response& response, Clock::time_point start,
                                     std::uint64_t record) {
    if (response.bytes.empty() || outputBytes_ + response.bytes.size() > kMaxOutputBytes) {
        return;
    }
    const Pacing pacing = CurrentPacing();
    const Faults faults = sim_.CurrentFaults();
    Clock::time_point t =
        std::max(start, wireOut_) + pacing.replyDelay + std::chrono::milliseconds(response.lateMs);
    if (response.afterErase) {
        t += pacing.eraseTime;
    }
    const Clock::duration byteTime = pacing.wireTime ? ByteTime(baud_) : Clock::duration::zero();
    const std::chrono::milliseconds chunkPause(faults.chunkPauseMs);
    for (std::size_t i = 0; i < response.bytes.size(); ++i) {
        if (faults.chunkBytes > 0 && i > 0 && i % faults.chunkBytes == 0) {
            t += chunkPause;
        }
        t += byteTime;
        if (output_.empty() || output_.back().due != t || output_.back().written > 0 ||
            output_.back().baudAfter != 0 || output_.back().endsReplyTo) {
            output_.push_back({t, {}, 0, 0, std::nullopt});
        }
        output_.back().bytes += response.bytes[i];
    }
    output_.back().baudAfter = response.baudAfter;
    output_.back().endsReplyTo = record;
    outputBytes_ += response.bytes.size();
    wireOut_ = t;
}

void DeviceSimulator::Line::WriteDue() {
    while (!output_.empty() && !writeBlocked_ && output_.front().due <= Clock::now()) {
        Segment& segment = output_.front();
        // The speed changes with the reply's last byte: whatever the tool sends
        // once it has the reply is heard at the new speed.
        if (segment.baudAfter != 0) {
            SetBaud(std::exchange(segment.baudAfter, 0));
        }
        const ssize_t n = ::write(pty_.master.Get(), segment.bytes.data() + segment.written,
                                  segment.bytes.size() - segment.written);
        if (n < 0 && errno == EAGAIN) {
            writeBlocked_ = true;
            return;
        }
        segment.written = n < 0 ? segment.bytes.size() : segment.written + static_cast<size_t>(n);
        if (segment.written == segment.bytes.size()) {
            if (segment.endsReplyTo) {
                sim_.MarkReplySent(*segment.endsReplyTo, Nanoseconds(Clock::now()));
            }
            outputBytes_ -= segment.bytes.size();
            output_.pop_front();
        }
    }
}

void DeviceSimulator::Line::SetBaud(int baud) {
    baud_ = baud;
    std::lock_guard lock(sim_.mutex_);
    sim_.deviceBaud_ = baud;
}

Pacing DeviceSimulator::Line::CurrentPacing() const {
    std::lock_guard lock(sim_.mutex_);
    return sim_.options_.pacing;
}

DeviceSimulator::DeviceSimulator(Options options)
    : options_(std::move(options)), device_(options_.device), boardPresent_(!options_.boardOut) {
    device_.SetFaults(options_.faults);
}

DeviceSimulator::~DeviceSimulator() {
    Stop();
}

bool DeviceSimulator::Start() {
    Stop();
    std::string error;
    auto pty = Pty::Open(Device::kInitialBaud, error);
    auto watch = pty ? OpenWatch::Create(pty->slavePath, error) : std::nullopt;
    UniqueFd wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    std::lock_guard lock(mutex_);
    if (!watch || !wake.Valid()) {
        lastError_ = error.empty() ? "cannot create the wake-up descriptor" : error;
        return false;
    }
    slavePath_ = pty->slavePath;
    running_ = true;
    hungUp_ = false;
    connected_ = false;
    connectionsEnded_ = 0;
    deviceBaud_ = Device::kInitialBaud;
    line_ = std::make_unique<Line>(*this, std::move(*pty), std::move(*watch), std::move(wake));
    thread_ = std::thread(&DeviceSimulator::Serve, this);
    return true;
}

void DeviceSimulator::Stop() {
    if (!thread_.joinable()) {
        return;
    }
    line_->RequestStop();
    thread_.join();
    std::lock_guard lock(mutex_);
    line_.reset();
    device_.EndSession();
    running_ = false;
    connected_ = false;
    changed_.notify_all();
}

void DeviceSimulator::Serve() {
    line_->Run();
}

void DeviceSimulator::MarkHungUp() {
    std::lock_guard lock(mutex_);
    device_.EndSession();
    running_ = false;
    hungUp_ = true;
    connected_ = false;
    changed_.notify_all();
}

// The callback runs first, so that whoever waits for the record finds it done.
std::uint64_t DeviceSimulator::Log(CommandRecord record) {
    if (options_.onCommand) {
        options_.onCommand(record);
    }
    std::lock_guard lock(mutex_);
    if (log_.size() == kMaxLogRecords) {
        log_.pop_front();
    }
    log_.push_back(std::move(record));
    changed_.notify_all();
    return recordsLogged_++;
}

void DeviceSimulator::MarkReplySent(std::uint64_t sequence, std::int64_t timeNs) {
    std::lock_guard lock(mutex_);
    const std::uint64_t oldest = recordsLogged_ - log_.size();
    if (sequence >= oldest && sequence < recordsLogged_) {
        log_[sequence - oldest].replyEndNs = timeNs;
        changed_.notify_all();
    }
}

template <typename Predicate>
bool DeviceSimulator::WaitUntil(std::chrono::milliseconds timeout, Predicate done) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, done);
}

bool DeviceSimulator::Running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

bool DeviceSimulator::HungUp() const {
    std::lock_guard lock(mutex_);
    return hungUp_;
}

std::string DeviceSimulator::SlavePath() const {
    std::lock_guard lock(mutex_);
    return slavePath_;
}

std::string DeviceSimulator::LastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

std::vector<CommandRecord> DeviceSimulator::Commands() const {
    std::lock_guard lock(mutex_);
    return {log_.begin(), log_.end()};
}

void DeviceSimulator::ClearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
}

bool DeviceSimulator::WaitForCommands(std::size_t count, std::chrono::milliseconds timeout) const {
    return WaitUntil(timeout, [&] { return log_.size() >= count; });
}

bool DeviceSimulator::Connected() const {
    std::lock_guard lock(mutex_);
    return connected_;
}

int DeviceSimulator::ConnectionsEnded() const {
    std::lock_guard lock(mutex_);
    return connectionsEnded_;
}

bool DeviceSimulator::WaitForConnectionsEnded(int count, std::chrono::milliseconds timeout) const {
    return WaitUntil(timeout, [&] { return connectionsEnded_ >= count; });
}

int DeviceSimulator::DeviceBaud() const {
    std::lock_guard lock(mutex_);
    return deviceBaud_;
}

void DeviceSimulator::SetBoardPresent(bool present) {
    std::lock_guard lock(mutex_);
    if (present == boardPresent_) {
        return;
    }
    boardPresent_ = present;
    boardChanged_ = true;
    if (present) {
        Faults faults = device_.CurrentFaults();
        device_ = Device(options_.device);
        device_.SetFaults(std::move(faults));
    }
    if (line_) {
        line_->Wake();
    }
}

bool DeviceSimulator::BoardPresent() const {
    std::lock_guard lock(mutex_);
    return boardPresent_;
}

bool DeviceSimulator::TakeBoardChange() {
    std::lock_guard lock(mutex_);
    return std::exchange(boardChanged_, false);
}

void DeviceSimulator::SetFaults(Faults faults) {
    std::lock_guard lock(mutex_);
    device_.SetFaults(std::move(faults));
}

Faults DeviceSimulator::CurrentFaults() const {
    std::lock_guard lock(mutex_);
    return device_.CurrentFaults();
}

void DeviceSimulator::SetPacing(Pacing pacing) {
    std::lock_guard lock(mutex_);
    options_.pacing = pacing;
}

LoaderState DeviceSimulator::DspState() const {
    std::lock_guard lock(mutex_);
    return device_.State(Processor::Dsp);
}

LoaderState DeviceSimulator::McuState() const {
    std::lock_guard lock(mutex_);
    return device_.State(Processor::Mcu);
}

void DeviceSimulator::SetDspState(LoaderState state) {
    std::lock_guard lock(mutex_);
    device_.SetState(Processor::Dsp, state);
}

void DeviceSimulator::SetMcuState(LoaderState state) {
    std::lock_guard lock(mutex_);
    device_.SetState(Processor::Mcu, state);
}

}  // namespace devsim
