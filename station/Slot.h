#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <deque>
#include <optional>

#include "SerialLib/PortInfo/PortInfo.h"
#include "station/ChildRun.h"
#include "station/StoredRecord.h"

// Where a slot's run is.
enum class RunPhase { Idle, Running, Saving };

// What the last run of a slot came to.
enum class SlotResult { None, Passed, Failed };

// In fixture mode, what an idle slot waits for: a board to answer (then its run
// starts), or the board that was run to go; or it probes no more after a stop.
enum class BoardWait { None, ForBoard, ForRemoval, Stopped };

// One time-stamped line of a slot's run log.
struct LogEntry {
    QDateTime time;
    QString text;
};

// One row of the station: a physical place where a device is flashed. A USB
// slot is the adapter's USB port (location), so a re-plugged adapter comes back
// to it; a slot given with --port is that path.
struct Slot {
    QString id;          // the location, or the path given with --port
    bool given = false;  // given with --port, not found in the port list
    QString path;        // the device node in use; the last one while the device is gone
    QString description;
    QString serialNumber;
    std::optional<PortState> portState;  // none while no device is there
    // A device arrived and has not been run since; auto-start may start it.
    bool armed = false;
    int runsSinceArrival = 0;  // runs started since the device last arrived
    BoardWait boardWait = BoardWait::None;

    // The current or last run.
    RunPhase phase = RunPhase::Idle;
    ProgressFigures progress;
    QString loader;
    QString step;      // a bundle's step the run is at, in words ("MCU 2/3")
    QString activity;  // the run's latest log line, while it runs
    SlotResult result = SlotResult::None;
    QString resultText;
    RecordContext context;  // who ran it, for what, and which attempt
    qint64 startedMs = 0;   // wall clock when the run started
    std::optional<qint64> durationMs;
    std::deque<LogEntry> log;  // the last run's lines, bounded
    size_t logDropped = 0;     // older lines that gave way

    bool DevicePresent() const { return portState.has_value(); }
    bool Usable() const { return portState == PortState::Usable; }
    bool Busy() const { return phase != RunPhase::Idle; }
};
