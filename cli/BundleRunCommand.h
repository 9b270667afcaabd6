#pragma once

#include <QString>

#include "cli/CliOptions.h"

class QCoreApplication;
class CCliWindow;
class CSignalPipe;

// --bundle: checks the bundle in a private copy, then runs its steps in order on one
// link and engine, each exactly as its button runs it, from that copy, stopping at
// the first step that fails; the version step's text must match the release's
// pattern. Ends with one result object (--json) or a line naming the bundle's
// outcome. Returns the exit status: 0 only when the bundle finished.
int RunBundle(QCoreApplication& app, const CliOptions& options, CCliWindow& window,
              CSignalPipe& signalPipe, const QString& runId);
