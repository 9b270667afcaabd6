#include "update/ProgressDisplay.h"

#include "link/SharedState.h"

namespace {
constexpr uint8_t kEraseTicksFull = 100;
}

std::string FormatMinutesSeconds(uint32_t seconds) {
    const uint32_t minutes = seconds / 60;
    const uint32_t rest = seconds % 60;
    std::string text = minutes < 10 ? "0" + std::to_string(minutes) : std::to_string(minutes);
    text += ':';
    text += static_cast<char>('0' + rest / 10);
    text += static_cast<char>('0' + rest % 10);
    return text;
}

int CProgressDisplay::OnEraseTick() {
    uint8_t ticks = Shared().EraseTicks;
    if (ticks < kEraseTicksFull) {
        Shared().EraseTicks = ++ticks;
    }
    Shared().PercentText.Set(std::to_string(ticks) + "%");
    return ticks;
}

bool CProgressDisplay::OnProgramTick(uint32_t nowMs) {
    if (Shared().UpdatePhase == PhaseProgramming) {
        ComputeStatistics(nowMs);
    }
    // Only the tick that moves the phase back to idle plays the sound, so it plays once.
    uint8_t finished = PhaseFinished;
    if (Shared().UpdatePhase.compare_exchange_strong(finished, PhaseIdle)) {
        return true;
    }
    uint8_t failed = PhaseFailed;
    Shared().UpdatePhase.compare_exchange_strong(failed, PhaseIdle);
    return false;
}

void CProgressDisplay::ComputeStatistics(uint32_t nowMs) {
    // Unsigned subtraction stays right across the wrap of the millisecond clock.
    const uint32_t elapsed = (nowMs - Shared().ProgramStartTime) / 1000;
    ElapsedText = FormatMinutesSeconds(elapsed);

    const uint32_t written = Shared().WrittenBlocks;
    const uint32_t total = Shared().TotalBlocks;
    // In the first two seconds there is no meaningful rate yet.
    const uint32_t speed = elapsed > 1 ? written / elapsed : 0;
    Speed = speed;
    SpeedText = std::to_string(speed) + " Blocks/Sec";

    // At one block a second or less the estimate is too coarse: the last one stays.
    if (total >= written && speed > 1) {
        RemainingSeconds = (total - written) / speed;
        RemainingText = FormatMinutesSeconds(RemainingSeconds % 3600);
    }
}
