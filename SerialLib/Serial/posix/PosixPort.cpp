// The POSIX port layer.
//
// Open:        OpenExclusive (open, then flock(LOCK_EX|LOCK_NB) and TIOCEXCL), so
//              a port held elsewhere (or by this process) fails with EBUSY; the
//              previous termios is saved and the line put in raw mode.
//              Drivers that have it are asked for low-latency mode (received bytes
//              handed on at once, not held for a USB adapter's latency timer).
// Close:       aborts pending operations, restores the saved termios (and the
//              latency mode, if Open changed it), closes the fd (which also drops
//              the lock).
// Control:     the control block maps onto termios (TermiosMap.h) and is read back
//              with tcgetattr on every get; DTR and RTS are driven as their modes say.
// Time-outs:   kept by the layer; a read interval of MAXDWORD with zero totals means
//              "return at once with what is queued", anything else "complete when
//              the requested count has arrived".
// Events:      received bytes move from the tty into a bounded receive queue, which
//              records EV_RXCHAR (and EV_RXFLAG when the event character came in).
//              A thread that waits for its own event wait (StartOwnWait, then
//              AwaitCompletion: the listener) polls the fd together with its own
//              eventfd and completes the wait itself, so a reply wakes one thread,
//              not two. All other pending work (writes that could not complete at
//              once, reads and waits whose record is merely waited on) is done by
//              one port thread, which polls the fd only while it has such work.
//              Bytes nobody asked for yet stay in the tty's own input queue.
//              Setting the mask completes a pending wait at once with no bits.
//              Nothing ever spins: with a full queue or a vanished device the fd is
//              left out of the poll set.
// Vanished:    a hangup, EOF or I/O error marks the device gone; pending and later
//              reads (once the queue is empty), writes and waits fail with EIO.
// Errors:      CE_ bits are the deltas of the TIOCGICOUNT counters where the driver
//              has them, else 0.
#include "SerialLib/Serial/posix/PosixPort.h"

#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "SerialLib/Serial/posix/Clock.h"
#include "SerialLib/Serial/posix/ExclusiveOpen.h"
#include "SerialLib/Serial/posix/TermiosMap.h"
#include "SerialLib/Serial/posix/UniqueFd.h"

namespace {

constexpr size_t kRxCapacity = size_t{64} * 1024;
constexpr size_t kPullChunk = 4096;

UniqueFd MakeEventFd() {
    return UniqueFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
}

void Signal(const UniqueFd& eventFd) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(eventFd.Get(), &one, sizeof(one));
}

void Drain(const UniqueFd& eventFd) {
    uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(eventFd.Get(), &value, sizeof(value));
}

// Asks the driver to hand received bytes on at once instead of holding them for a
// latency timer (USB-serial adapters). Drivers without the setting refuse; the
// port then works as it is. True when this switched the mode on.
bool RequestLowLatency(int fd) {
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0 || (info.flags & ASYNC_LOW_LATENCY) != 0) {
        return false;
    }
    info.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(fd, TIOCSSERIAL, &info) == 0;
}

// Drivers without modem lines (ptys) refuse; there is nothing to drive then.
void DriveControlLines(int fd, const DriverExtras& extras) {
    ControlLines lines = ControlLinesFor(extras);
    if (lines.raise != 0) {
        ::ioctl(fd, TIOCMBIS, &lines.raise);
    }
    if (lines.drop != 0) {
        ::ioctl(fd, TIOCMBIC, &lines.drop);
    }
}

// Puts the driver back into the mode it had before RequestLowLatency.
void DropLowLatency(int fd) {
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) == 0) {
        info.flags &= ~ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &info);
    }
}

// What opening changed on the device, restored when the port is closed.
struct SavedLine {
    termios tio{};
    bool lowLatencySet = false;

    void Restore(int fd) const {
        ::tcsetattr(fd, TCSANOW, &tio);  // fails harmlessly on a vanished device
        if (lowLatencySet) {
            DropLowLatency(fd);
        }
    }
};

struct PendingOp {
    enum class Kind { Wait, Read, Write };
    explicit PendingOp(Kind k) : kind(k) {}

    Kind kind;
    COverlapped* ovl = nullptr;
    uint32_t* events = nullptr;
    uint32_t bits = 0;
    uint8_t* buffer = nullptr;      // reads: the caller's buffer
    std::vector<uint8_t> outgoing;  // writes: a copy of the caller's data
    size_t len = 0;
    size_t done = 0;
    bool owned = false;  // completed by the thread that started it (AwaitCompletion)
};

class PosixPort final : public IPort {
  public:
    PosixPort(UniqueFd fd, UniqueFd wake, UniqueFd ownerWake, const SavedLine& saved);
    ~PosixPort() override { Close(); }

    void Close() override;
    int32_t SetupQueues(uint32_t, uint32_t) override {
        return Guarded([] { return 0; });
    }
    int32_t SetConfig(const COMMCONFIG& config, uint32_t) override { return SetState(config.dcb); }
    int32_t GetState(DCB& dcb) override;
    int32_t SetState(const DCB& dcb) override;
    int32_t GetTimeouts(COMMTIMEOUTS& timeouts) override;
    int32_t SetTimeouts(const COMMTIMEOUTS& timeouts) override;
    int32_t SetMask(uint32_t mask) override;
    int32_t WaitEvent(uint32_t* events, COverlapped* ovl) override;
    int32_t Read(void* buffer, size_t len, uint32_t* count, COverlapped* ovl) override;
    int32_t Write(const void* data, size_t len, uint32_t* count, COverlapped* ovl) override;
    int32_t Cancel(COverlapped* ovl) override;
    int32_t ClearError(uint32_t* errors) override;
    int32_t StartOwnWait(uint32_t* events, COverlapped* ovl) override;
    uint32_t AwaitCompletion(COverlapped* ovl, uint32_t timeoutMs) override;

  private:
    enum class Progress { Done, NotYet };

    template <typename F>
    int32_t Guarded(F&& body) {
        std::lock_guard lock(m_mutex);
        return m_closed ? ERROR_INVALID_HANDLE : body();
    }

    int32_t Submit(PendingOp op, uint32_t* count, COverlapped* ovl);
    Progress TryProgress(PendingOp& op, bool firstWrite, int32_t& status);
    Progress TryRead(PendingOp& op, int32_t& status);
    Progress TryWrite(PendingOp& op, int32_t& status);
    Progress TryWait(PendingOp& op, int32_t& status);
    void TakeQueued(PendingOp& op);
    void PullFromDevice();
    void OnDeviceReady(short revents);
    std::list<PendingOp>::iterator FindPending(const COverlapped* ovl);
    bool PollOnce(std::unique_lock<std::mutex>& lock, const UniqueFd& wake, short interest,
                  int timeoutMs);
    uint32_t DriveOwnWait(std::unique_lock<std::mutex>& lock, COverlapped* ovl, uint32_t timeoutMs);
    void MarkGone();
    void ServicePending();
    void Finish(PendingOp& op, int32_t status);
    void AbortAll();
    bool HasPending(PendingOp::Kind kind) const;
    bool ReadsAtOnce() const;
    void WakeIoThread();
    void WakeOwner();
    void IoThreadMain();
    short PollInterest() const;
    short OwnerPollInterest() const;

    UniqueFd m_fd;
    UniqueFd m_wake;       // wakes the port thread
    UniqueFd m_ownerWake;  // wakes the thread completing its own wait
    const SavedLine m_saved;

    mutable std::mutex m_mutex;
    std::condition_variable m_ownerLeft;
    bool m_closed = false;
    bool m_ownerPolling = false;  // a thread is in AwaitCompletion driving its wait
    std::thread::id m_ownerThread;
    bool m_gone = false;
    std::deque<uint8_t> m_rx;
    uint32_t m_mask = 0;
    uint32_t m_occurred = 0;  // events seen since the last completed wait
    uint8_t m_evtChar = 0;
    DriverExtras m_extras;
    COMMTIMEOUTS m_timeouts{MAXDWORD, 0, 0, 0, 0};  // reads return at once until set
    serial_icounter_struct m_counts{};
    std::list<PendingOp> m_pending;
    std::thread m_ioThread;
};

PosixPort::PosixPort(UniqueFd fd, UniqueFd wake, UniqueFd ownerWake, const SavedLine& saved)
    : m_fd(std::move(fd)),
      m_wake(std::move(wake)),
      m_ownerWake(std::move(ownerWake)),
      m_saved(saved) {
    ::ioctl(m_fd.Get(), TIOCGICOUNT, &m_counts);  // ENOTTY on ptys: counters stay 0
    m_ioThread = std::thread([this] { IoThreadMain(); });
}

void PosixPort::Close() {
    {
        std::unique_lock lock(m_mutex);
        if (m_closed) {
            return;
        }
        m_closed = true;
        AbortAll();
        // The fd must not be closed under a thread that still polls it.
        m_ownerLeft.wait(lock, [this] { return !m_ownerPolling; });
    }
    WakeIoThread();
    m_ioThread.join();
    // The device is released now; the wake-up descriptor lives as long as the object,
    // since an operation that raced with Close may still signal it.
    std::lock_guard lock(m_mutex);
    m_saved.Restore(m_fd.Get());
    m_fd.Reset();
}

int32_t PosixPort::GetState(DCB& dcb) {
    return Guarded([&]() -> int32_t {
        termios tio{};
        if (::tcgetattr(m_fd.Get(), &tio) != 0) {
            return errno;
        }
        dcb = ReadDcb(tio, m_extras);
        return 0;
    });
}

int32_t PosixPort::SetState(const DCB& dcb) {
    return Guarded([&]() -> int32_t {
        termios tio{};
        if (::tcgetattr(m_fd.Get(), &tio) != 0) {
            return errno;
        }
        DriverExtras extras = m_extras;
        if (const int32_t status = ApplyDcb(dcb, tio, extras); status != 0) {
            return status;
        }
        if (::tcsetattr(m_fd.Get(), TCSANOW, &tio) != 0) {
            return errno;
        }
        m_extras = extras;
        m_evtChar = dcb.EvtChar;
        DriveControlLines(m_fd.Get(), extras);
        return 0;
    });
}

int32_t PosixPort::GetTimeouts(COMMTIMEOUTS& timeouts) {
    return Guarded([&] {
        timeouts = m_timeouts;
        return 0;
    });
}

int32_t PosixPort::SetTimeouts(const COMMTIMEOUTS& timeouts) {
    return Guarded([&] {
        m_timeouts = timeouts;
        ServicePending();  // a pending read may now be complete
        return 0;
    });
}

int32_t PosixPort::SetMask(uint32_t mask) {
    return Guarded([&] {
        m_mask = mask;
        auto wait = std::find_if(m_pending.begin(), m_pending.end(), [](const PendingOp& op) {
            return op.kind == PendingOp::Kind::Wait;
        });
        if (wait != m_pending.end()) {
            wait->bits = 0;
            Finish(*wait, 0);
            m_pending.erase(wait);
        }
        return 0;
    });
}

int32_t PosixPort::WaitEvent(uint32_t* events, COverlapped* ovl) {
    PendingOp op(PendingOp::Kind::Wait);
    op.events = events;
    return Submit(std::move(op), nullptr, ovl);
}

int32_t PosixPort::StartOwnWait(uint32_t* events, COverlapped* ovl) {
    PendingOp op(PendingOp::Kind::Wait);
    op.events = events;
    op.owned = ovl != nullptr;
    return Submit(std::move(op), nullptr, ovl);
}

uint32_t PosixPort::AwaitCompletion(COverlapped* ovl, uint32_t timeoutMs) {
    std::unique_lock lock(m_mutex);
    const auto op = FindPending(ovl);
    if (op != m_pending.end() && op->owned && !m_ownerPolling) {
        return DriveOwnWait(lock, ovl, timeoutMs);
    }
    lock.unlock();
    return ovl->hEvent->Wait(timeoutMs);
}

// Polls the device on the calling thread until the wait on `ovl` completed: the
// bytes that complete it are pulled here, without waking any other thread.
uint32_t PosixPort::DriveOwnWait(std::unique_lock<std::mutex>& lock, COverlapped* ovl,
                                 uint32_t timeoutMs) {
    m_ownerPolling = true;
    m_ownerThread = std::this_thread::get_id();
    const uint64_t deadline = timeoutMs == INFINITE ? 0 : MonotonicMs() + timeoutMs;
    uint32_t result = WAIT_OBJECT_0;
    bool expired = false;  // the last poll ran to the deadline
    while (!m_closed && FindPending(ovl) != m_pending.end()) {
        if (expired) {
            result = WAIT_TIMEOUT;
            break;
        }
        int pollMs = -1;
        if (timeoutMs != INFINITE) {
            const uint64_t now = MonotonicMs();
            pollMs = now >= deadline ? 0 : static_cast<int>(deadline - now);
            expired = pollMs == 0;
        }
        if (!PollOnce(lock, m_ownerWake, OwnerPollInterest(), pollMs)) {
            break;
        }
    }
    m_ownerPolling = false;
    m_ownerLeft.notify_all();
    return result;
}

std::list<PendingOp>::iterator PosixPort::FindPending(const COverlapped* ovl) {
    return std::find_if(m_pending.begin(), m_pending.end(),
                        [ovl](const PendingOp& p) { return p.ovl == ovl; });
}

// Polls the device for `interest` (not at all when 0) and the wake-up descriptor,
// with the lock let go meanwhile, then acts on what the device reported. False once
// the port was closed.
bool PosixPort::PollOnce(std::unique_lock<std::mutex>& lock, const UniqueFd& wake, short interest,
                         int timeoutMs) {
    pollfd fds[2] = {{wake.Get(), POLLIN, 0}, {interest != 0 ? m_fd.Get() : -1, interest, 0}};
    lock.unlock();
    const bool failed = ::poll(fds, 2, timeoutMs) < 0 && errno != EINTR;
    if (fds[0].revents & POLLIN) {
        Drain(wake);
    }
    lock.lock();
    if (m_closed) {
        return false;
    }
    OnDeviceReady(failed ? POLLNVAL : fds[1].revents);
    return true;
}

int32_t PosixPort::Read(void* buffer, size_t len, uint32_t* count, COverlapped* ovl) {
    PendingOp op(PendingOp::Kind::Read);
    op.buffer = static_cast<uint8_t*>(buffer);
    op.len = len;
    return Submit(std::move(op), count, ovl);
}

int32_t PosixPort::Write(const void* data, size_t len, uint32_t* count, COverlapped* ovl) {
    PendingOp op(PendingOp::Kind::Write);
    const auto* bytes = static_cast<const uint8_t*>(data);
    op.outgoing.assign(bytes, bytes + len);
    op.len = len;
    return Submit(std::move(op), count, ovl);
}

int32_t PosixPort::Cancel(COverlapped* ovl) {
    return Guarded([&] {
        if (const auto op = FindPending(ovl); op != m_pending.end()) {
            Finish(*op, ERROR_OPERATION_ABORTED);
            m_pending.erase(op);
        }
        return 0;
    });
}

int32_t PosixPort::ClearError(uint32_t* errors) {
    return Guarded([&] {
        *errors = 0;
        serial_icounter_struct now{};
        if (::ioctl(m_fd.Get(), TIOCGICOUNT, &now) != 0) {
            return 0;  // no counters on this driver (ptys): no errors to report
        }
        if (now.buf_overrun != m_counts.buf_overrun)
            *errors |= CE_RXOVER;
        if (now.overrun != m_counts.overrun)
            *errors |= CE_OVERRUN;
        if (now.parity != m_counts.parity)
            *errors |= CE_RXPARITY;
        if (now.frame != m_counts.frame)
            *errors |= CE_FRAME;
        if (now.brk != m_counts.brk)
            *errors |= CE_BREAK;
        m_counts = now;
        return 0;
    });
}

// Tries the operation at once; if it cannot complete, it either blocks (no record)
// or is left to the port thread (overlapped).
int32_t PosixPort::Submit(PendingOp op, uint32_t* count, COverlapped* ovl) {
    COverlapped local{};
    CEvent localDone;
    std::unique_lock lock(m_mutex);
    if (m_closed) {
        return ERROR_INVALID_HANDLE;
    }
    if (op.kind == PendingOp::Kind::Wait && HasPending(PendingOp::Kind::Wait)) {
        return EINVAL;  // one event wait at a time
    }
    if (ovl && ovl->hEvent) {
        ovl->hEvent->Reset();
    }
    int32_t status = 0;
    if (TryProgress(op, !HasPending(PendingOp::Kind::Write), status) == Progress::Done) {
        if (count) {
            *count = static_cast<uint32_t>(op.done);
        }
        if (ovl) {
            ovl->InternalHigh.store(static_cast<uint32_t>(op.done));
            ovl->Internal.store(static_cast<uint32_t>(status), std::memory_order_release);
        }
        return status;
    }
    COverlapped* record = ovl ? ovl : &local;
    if (!ovl) {
        local.hEvent = &localDone;
    }
    record->Internal.store(STATUS_PENDING);
    op.ovl = record;
    const bool forPortThread = !op.owned;
    m_pending.push_back(std::move(op));
    lock.unlock();
    if (forPortThread) {
        WakeIoThread();
    }
    if (ovl) {
        return ERROR_IO_PENDING;
    }
    localDone.Wait(INFINITE);
    if (count) {
        *count = local.InternalHigh.load();
    }
    return static_cast<int32_t>(local.Internal.load());
}

PosixPort::Progress PosixPort::TryProgress(PendingOp& op, bool firstWrite, int32_t& status) {
    switch (op.kind) {
        case PendingOp::Kind::Read:
            return TryRead(op, status);
        case PendingOp::Kind::Write:
            return firstWrite ? TryWrite(op, status) : Progress::NotYet;
        case PendingOp::Kind::Wait:
            return TryWait(op, status);
    }
    return Progress::NotYet;
}

PosixPort::Progress PosixPort::TryRead(PendingOp& op, int32_t& status) {
    TakeQueued(op);
    // A read that returns at once is content with what the queue held; the rest of
    // a burst raises the next receive event.
    const bool satisfied = op.done == op.len || (ReadsAtOnce() && op.done > 0);
    if (!satisfied && !m_gone) {
        PullFromDevice();
        TakeQueued(op);
    }
    status = 0;
    if (op.done == op.len || (ReadsAtOnce() && (op.done > 0 || !m_gone))) {
        return Progress::Done;
    }
    if (m_gone) {
        status = EIO;
        return Progress::Done;
    }
    return Progress::NotYet;
}

PosixPort::Progress PosixPort::TryWrite(PendingOp& op, int32_t& status) {
    status = 0;
    while (op.done < op.len && !m_gone) {
        const ssize_t n = ::write(m_fd.Get(), op.outgoing.data() + op.done, op.len - op.done);
        if (n > 0) {
            op.done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            return Progress::NotYet;
        } else {
            MarkGone();
        }
    }
    if (op.done < op.len) {
        status = EIO;
    }
    return Progress::Done;
}

PosixPort::Progress PosixPort::TryWait(PendingOp& op, int32_t& status) {
    status = 0;
    // An owned wait is polled for by its own thread next, which sees queued bytes at
    // once; other waits look at the device now, unless an event is already there.
    if ((m_occurred & m_mask) == 0 && !op.owned && !m_gone) {
        PullFromDevice();
    }
    op.bits = m_occurred & m_mask;
    if (op.bits != 0) {
        m_occurred = 0;
        *op.events = op.bits;
        return Progress::Done;
    }
    if (m_gone) {
        status = EIO;
        *op.events = 0;
        return Progress::Done;
    }
    return Progress::NotYet;
}

void PosixPort::TakeQueued(PendingOp& op) {
    const size_t n = std::min(op.len - op.done, m_rx.size());
    std::copy_n(m_rx.begin(), n, op.buffer + op.done);
    const bool wasFull = m_rx.size() >= kRxCapacity;
    m_rx.erase(m_rx.begin(), m_rx.begin() + static_cast<std::ptrdiff_t>(n));
    op.done += n;
    if (wasFull && n > 0) {
        // Whoever polls left the fd out of its poll set.
        WakeIoThread();
        WakeOwner();
    }
}

// Moves what the tty holds into the receive queue and records the receive events.
void PosixPort::PullFromDevice() {
    uint8_t chunk[kPullChunk];
    uint32_t seen = 0;
    while (m_rx.size() < kRxCapacity) {
        const size_t want = std::min(sizeof(chunk), kRxCapacity - m_rx.size());
        const ssize_t n = ::read(m_fd.Get(), chunk, want);
        if (n > 0) {
            m_rx.insert(m_rx.end(), chunk, chunk + n);
            seen |= EV_RXCHAR;
            if (std::find(chunk, chunk + n, m_evtChar) != chunk + n) {
                seen |= EV_RXFLAG;
            }
            if (static_cast<size_t>(n) < want) {
                break;  // the tty had no more; saves a read that would only say so
            }
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (!(n < 0 && errno == EAGAIN)) {
                MarkGone();  // EOF or I/O error: the far end hung up or the device went away
            }
            break;
        }
    }
    m_occurred |= seen;
}

// Acts on what poll reported for the device, then completes what became possible.
void PosixPort::OnDeviceReady(short revents) {
    if (revents & (POLLIN | POLLHUP | POLLERR)) {
        const size_t before = m_rx.size();
        PullFromDevice();
        if ((revents & (POLLHUP | POLLERR)) && m_rx.size() == before) {
            MarkGone();
        }
    }
    if (revents & POLLNVAL) {
        MarkGone();
    }
    ServicePending();
}

void PosixPort::MarkGone() {
    m_gone = true;
}

void PosixPort::ServicePending() {
    bool firstWrite = true;
    for (auto op = m_pending.begin(); op != m_pending.end();) {
        int32_t status = 0;
        const bool isWrite = op->kind == PendingOp::Kind::Write;
        const Progress progress = TryProgress(*op, firstWrite, status);
        if (isWrite && progress == Progress::NotYet) {
            firstWrite = false;
        }
        if (progress == Progress::Done) {
            Finish(*op, status);
            op = m_pending.erase(op);
        } else {
            ++op;
        }
    }
}

void PosixPort::Finish(PendingOp& op, int32_t status) {
    if (op.kind == PendingOp::Kind::Wait) {
        *op.events = status == 0 ? op.bits : 0;
    }
    // The record may be released as soon as it reads completed: take the event first.
    CEvent* done = op.ovl->hEvent;
    op.ovl->InternalHigh.store(static_cast<uint32_t>(op.done));
    op.ovl->Internal.store(static_cast<uint32_t>(status), std::memory_order_release);
    if (done) {
        done->Set();
    }
    if (op.owned) {
        WakeOwner();
    }
}

void PosixPort::AbortAll() {
    for (PendingOp& op : m_pending) {
        Finish(op, ERROR_OPERATION_ABORTED);
    }
    m_pending.clear();
}

bool PosixPort::HasPending(PendingOp::Kind kind) const {
    return std::any_of(m_pending.begin(), m_pending.end(),
                       [kind](const PendingOp& p) { return p.kind == kind; });
}

bool PosixPort::ReadsAtOnce() const {
    return m_timeouts.ReadIntervalTimeout == MAXDWORD &&
           m_timeouts.ReadTotalTimeoutMultiplier == 0 && m_timeouts.ReadTotalTimeoutConstant == 0;
}

void PosixPort::WakeIoThread() {
    Signal(m_wake);
}

// Wakes the thread polling for its own wait, unless that is the calling thread.
void PosixPort::WakeOwner() {
    if (m_ownerPolling && std::this_thread::get_id() != m_ownerThread) {
        Signal(m_ownerWake);
    }
}

// The port thread watches for input only while a read or wait that no thread
// completes itself is pending.
short PosixPort::PollInterest() const {
    if (m_gone) {
        return 0;
    }
    short events = 0;
    const bool wantsInput = std::any_of(m_pending.begin(), m_pending.end(), [](const PendingOp& p) {
        return !p.owned && p.kind != PendingOp::Kind::Write;
    });
    if (wantsInput && m_rx.size() < kRxCapacity) {
        events |= POLLIN;
    }
    if (HasPending(PendingOp::Kind::Write)) {
        events |= POLLOUT;
    }
    return events;
}

short PosixPort::OwnerPollInterest() const {
    return !m_gone && m_rx.size() < kRxCapacity ? POLLIN : 0;
}

// Blocks in poll until the tty or the wake-up descriptor has something; never spins,
// because a hung-up fd is left out of the set once the device is marked gone.
void PosixPort::IoThreadMain() {
    std::unique_lock lock(m_mutex);
    while (!m_closed && PollOnce(lock, m_wake, PollInterest(), -1)) {
    }
}

}  // namespace

int32_t PosixPortLayer::Open(const char* device, bool, std::unique_ptr<IPort>& port) {
    UniqueFd fd;
    if (const int32_t error = OpenExclusive(device, fd); error != 0) {
        return error;
    }
    SavedLine saved;
    if (::tcgetattr(fd.Get(), &saved.tio) != 0) {
        return errno;
    }
    termios raw = saved.tio;
    MakeRaw(raw);
    if (::tcsetattr(fd.Get(), TCSANOW, &raw) != 0) {
        return errno;
    }
    UniqueFd wake = MakeEventFd();
    UniqueFd ownerWake = MakeEventFd();
    if (wake.Get() < 0 || ownerWake.Get() < 0) {
        const int32_t error = errno;
        saved.Restore(fd.Get());
        return error;
    }
    saved.lowLatencySet = RequestLowLatency(fd.Get());
    try {
        port = std::make_unique<PosixPort>(std::move(fd), std::move(wake), std::move(ownerWake),
                                           saved);
    } catch (const std::system_error& e) {
        return e.code().value();
    }
    return 0;
}

// The default configuration of every tty: 9600 baud, 8 data bits, no parity, one
// stop bit, no flow control, DTR and RTS on, no event character. Applied right
// after the raw mode of Open, so the line starts in a known state.
int32_t PosixPortLayer::GetDefaultConfig(const char* device, COMMCONFIG& config, uint32_t& size) {
    struct stat info {};
    if (::stat(device, &info) != 0) {
        return errno;
    }
    if (size < kCommConfigSize || config.dwSize < kCommConfigSize) {
        return EINVAL;
    }
    config.dcb =
        DCB{kDcbLength, 9600, 0,        0,          0, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, 0,
            0,          8,    NOPARITY, ONESTOPBIT, 0};
    size = kCommConfigSize;
    return 0;
}

IPortLayer& DefaultPortLayer() {
    static PosixPortLayer layer;
    return layer;
}
