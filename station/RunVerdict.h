#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include "station/ChildRun.h"

// A reason in the station's words: stored in English in the results file and
// shown translated in the window.
struct ReasonText {
    const char* source = nullptr;  // marked for translation, with %1, %2 for the arguments
    QStringList arguments;

    QString English() const;
    QString Translated() const;
    bool IsEmpty() const { return source == nullptr; }
};

// How a slot's run went, judged from the child's ending alone.
struct RunVerdict {
    bool passed = false;
    QString outcome;    // the CLI's outcome, or tool_error
    ReasonText reason;  // why the run is a tool error; empty otherwise
    // The result object to store: the CLI's own, or for a tool error one with the
    // same fields as far as they are known, plus detail.
    QJsonObject record;
};

// Whether an outcome is a pass: finished or version_read.
bool IsPassingOutcome(const QString& outcome);

// A run passes only when the child exited 0 and its last line was a result object
// with outcome finished (or version_read, except for a bundle, whose version step
// only reads the version), verified when verification is required.
// Every other ending is tool_error with a reason, unless the CLI itself reported a
// failure consistently (a failing outcome with a failing exit status).
RunVerdict JudgeRun(const ChildEnding& ending, const ChildLaunch& launch);

// An outcome in the operator's words ("write failed"); one it does not know as it stands.
QString WordsOfOutcome(const QString& outcome);

// The verdict in the operator's words: "passed", "write failed", "tool error: ...".
QString ResultWords(const RunVerdict& verdict);
