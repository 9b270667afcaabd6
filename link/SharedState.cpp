#include "link/SharedState.h"

#include "link/Timeouts.h"

void ProcessValues::Reset() {
    OperationMode = 0;
    DeviceIndex = 0;
    ReplyTimeout = timing::kReplyTimeoutStartMs;
    TotalBlocks = 0;
    WrittenBlocks = 0;
    UpdatePhase = PhaseIdle;
    EraseStartTime = 0;
    ProgramStartTime = 0;
    EraseTicks = 0;
    TotalBlocksText.Set({});
    WrittenBlocksText.Set({});
    PercentText.Set({});
    ImagePath.Set({});
}

ProcessValues& Shared() {
    static ProcessValues values;
    return values;
}
