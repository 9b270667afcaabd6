#pragma once

#include <cstdint>
#include <string>

// Control ids the engine touches: the three operation buttons.
enum ControlId : int {
    IdUpdateDsp = 1,      // "Update DSP", the window's OK command
    IdExit = 2,           // "Exit", the window's Cancel command
    IdUpdateMcu = 3,      // "Update MCU"
    IdReadVersion = 1035  // "Read Version"
};

// Window timers driven by the update steps.
enum TimerId : int {
    EraseTimer = 1,    // erase animation
    ProgramTimer = 2,  // programming statistics, once a second
};

// What a message box shows. `detail` is an optional second paragraph in plain words.
struct MessageBoxText {
    std::string text;
    std::string caption;  // empty: the platform's default caption
    std::string detail;
};

// The window services that the device link and the update engine use. The Qt
// dialog, the headless front end and the tests implement it. The worker thread
// calls these; each returns once the window has done what was asked (a message
// box returns when the operator has dismissed it).
class MainWindow {
  public:
    virtual ~MainWindow() = default;

    // Inserts one line at the top of the log list; lines are never removed.
    virtual void LogLine(const std::string& text) = 0;
    virtual void EnableControl(int id, bool enable) = 0;
    // A modal box with an OK button only.
    virtual void ShowMessage(const MessageBoxText& message) = 0;
    virtual void SetProgressRange(int lower, int upper) = 0;
    virtual void SetProgressPos(int pos) = 0;
    // Starting a running timer restarts it with the new period.
    virtual void StartTimer(int id, uint32_t periodMs) = 0;
    virtual void StopTimer(int id) = 0;
};
