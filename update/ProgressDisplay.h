#pragma once

#include <cstdint>
#include <string>

// The progress display's arithmetic, free of widgets so the window and the
// headless front end show the same values. It reads and advances the shared
// progress state; the caller pushes the texts into its controls.
class CProgressDisplay {
  public:
    // The window's own statistics texts; they keep their last value between runs.
    std::string ElapsedText = "00:00";
    std::string RemainingText = "00:00";
    std::string SpeedText = "0 Blocks/Sec";
    // The same figures as numbers: blocks per second, and seconds to go.
    uint32_t Speed = 0;
    uint32_t RemainingSeconds = 0;

    // One erase animation tick: advances EraseTicks (stopping at 100), sets
    // PercentText, and returns the bar position.
    int OnEraseTick();

    // One statistics tick at clock value `nowMs`. Recomputes the texts while
    // programming, and returns the phase to idle once an update finished or
    // failed. Returns true when the completion sound is due (exactly once per
    // finished update).
    bool OnProgramTick(uint32_t nowMs);

  private:
    void ComputeStatistics(uint32_t nowMs);
};

// Whole minutes and seconds as mm:ss; minutes of 100 or more are written in full.
std::string FormatMinutesSeconds(uint32_t seconds);
