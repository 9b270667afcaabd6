#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "link/Timeouts.h"

// A text written by one thread and read by another; every hand-over is under a lock.
class SharedText {
  public:
    void Set(std::string text) {
        std::lock_guard lock(m_mutex);
        m_text = std::move(text);
    }
    std::string Get() const {
        std::lock_guard lock(m_mutex);
        return m_text;
    }

  private:
    mutable std::mutex m_mutex;
    std::string m_text;
};

// The operation the next worker carries out.
enum OperationModeValue : int32_t {
    ModeNone = -1,
    ModeMcu = 1,
    ModeDsp = 2,
    ModeReadVersion = 6,
};

// Result of loader detection.
enum LoaderGeneration : int {
    LoaderNone = -1,
    LoaderOld = 0,
    LoaderNew = 1,
};

// Values of UpdatePhase.
enum UpdatePhaseValue : uint8_t {
    PhaseIdle = 0,
    PhaseProgramming = 1,
    PhaseFinished = 2,
    PhaseFailed = 4,
};

// The process-wide values shared by the window thread and the worker. Each is
// written whole; numbers are atomics and texts are handed over under a lock.
struct ProcessValues {
    std::atomic<int32_t> OperationMode{0};
    std::atomic<int32_t> DeviceIndex{0};
    // Milliseconds a transaction waits for a reply line; set by detection and by
    // each update stage, never restored.
    std::atomic<uint32_t> ReplyTimeout{timing::kReplyTimeoutStartMs};

    // Progress state, written by the worker and read by the display.
    std::atomic<uint32_t> TotalBlocks{0};
    std::atomic<uint32_t> WrittenBlocks{0};
    std::atomic<uint8_t> UpdatePhase{PhaseIdle};
    std::atomic<uint32_t> EraseStartTime{0};
    std::atomic<uint32_t> ProgramStartTime{0};
    std::atomic<uint8_t> EraseTicks{0};
    SharedText TotalBlocksText;
    SharedText WrittenBlocksText;
    SharedText PercentText;

    // Full path of the image file last looked up.
    SharedText ImagePath;

    // Back to the values at program start (tests reset between cases).
    void Reset();
};

// The one instance of the process.
ProcessValues& Shared();
