#pragma once

#include "update/UpdateSteps.h"

// The four update procedures. Each runs a whole update from ImagePath on the open
// link, doing its own logging, progress display and failure reporting; the outcome
// shows in the log, in UpdatePhase and in steps.Report().
void UpdateDspOldLoader(CUpdateSteps& steps);
void UpdateDspNewLoader(CUpdateSteps& steps);
void UpdateMcuOldLoader(CUpdateSteps& steps);
void UpdateMcuNewLoader(CUpdateSteps& steps);
