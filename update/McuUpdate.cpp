// Writing mcu_old.mot and mcu_new.mot through the MCU's old and new loaders.
#include "link/Timeouts.h"
#include "update/LoaderSkeletons.h"
#include "update/UpdateProcedures.h"

namespace {

bool EveryBlock(std::string_view) {
    return true;
}

// The blocks are S2 records outside 0xC000-0x13FFF, each summed.
constexpr ImageRules kMcuImage{ImageKind::Mcu, IsMcuCheckpoint, IsMcuBlock, EveryBlock,
                               McuRecordSum};

}  // namespace

void UpdateMcuOldLoader(CUpdateSteps& steps) {
    const OldLoaderPlan plan{
        .image = kMcuImage,
        .handshakeReplyTimeoutMs = timing::kMcuOldHandshakeReplyTimeoutMs,
        .deviceNumber = {DeviceCommand("mcu"), {"mcu", "se", "sp"}},
        .bareName = {CrCommand("mcu"), {"se", "sp"}},
        .erase = {CrCommand("se"), {"sp"}},
        .start = {CrCommand("sp"), {"SR"}},
        .eraseTimerMs = timing::kEraseTimerMcuMs,
        .programReplyTimeoutMs = timing::kMcuOldProgramReplyTimeoutMs,
        .closePauseMs = timing::kMcuOldClosePauseMs,
        .closeReplyTimeoutMs = timing::kMcuOldProgramReplyTimeoutMs,
        .verifyFailReplyTimeoutMs = timing::kVerifyFailReplyTimeoutMs,
        .closeCommand = CrCommand("SV"),
        .closePrefix = "SV",
    };
    RunOldLoaderUpdate(steps, plan);
}

void UpdateMcuNewLoader(CUpdateSteps& steps) {
    const NewLoaderPlan plan{
        .image = kMcuImage,
        .statusCommand = DeviceCommand("MCU"),
        .statusFallback = std::nullopt,
        .eraseCommand = CrCommand("SE"),
        .startCommand = CrCommand("SP"),
        .eraseTimerMs = timing::kEraseTimerMcuMs,
        .walkReplyTimeoutMs = timing::kMcuNewWalkReplyTimeoutMs,
        .statusReplyTimeoutMs = std::nullopt,
        .eraseReplyTimeoutMs = std::nullopt,
        .afterStepReplyTimeoutMs = std::nullopt,
        .programTimeoutAfterWalk = false,
        .verifyCheckpointAtResume = true,
        .closeCommand = CrCommand("RES"),
        .closePrefix = "ST5",
    };
    RunNewLoaderUpdate(steps, plan);
}
