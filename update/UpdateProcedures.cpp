// The four update procedures: dsp.hex through the DSP's old and new loaders,
// mcu_old.mot and mcu_new.mot through the MCU's.
#include "update/UpdateProcedures.h"

#include "link/Timeouts.h"
#include "update/LoaderSkeletons.h"

namespace {

bool EveryLine(std::string_view) {
    return true;
}

// Every line of dsp.hex is a block; data records are summed.
constexpr ImageRules kDspImage{ImageKind::Dsp, IsDspCheckpoint, EveryLine, IsDspSummed,
                               DspRecordSum};
// The MCU's blocks are S2 records outside 0xC000-0x13FFF, each summed.
constexpr ImageRules kMcuImage{ImageKind::Mcu, IsMcuCheckpoint, IsMcuBlock, EveryLine,
                               McuRecordSum};

}  // namespace

void UpdateDspOldLoader(CUpdateSteps& steps) {
    const OldLoaderPlan plan{
        .image = kDspImage,
        .handshakeReplyTimeoutMs = timing::kDspOldHandshakeReplyTimeoutMs,
        .deviceNumber = {DeviceCommand(":dsp"), {":dsp", ":efh", ":st"}},
        .bareName = {CrCommand(":dsp"), {":efh", ":st"}},
        .erase = {CrCommand(":efh"), {":st"}},
        .start = {CrCommand(":st"), {":R"}},
        .eraseTimerMs = timing::kEraseTimerDspMs,
        .programReplyTimeoutMs = timing::kDspOldProgramReplyTimeoutMs,
        .closePauseMs = timing::kDspOldClosePauseMs,
        .closeReplyTimeoutMs = std::nullopt,
        .verifyFailReplyTimeoutMs = std::nullopt,  // stays at the programming value
        .closeCommand = CrCommand("SV"),
        .closePrefix = "SV",
    };
    RunOldLoaderUpdate(steps, plan);
}

void UpdateDspNewLoader(CUpdateSteps& steps) {
    const NewLoaderPlan plan{
        .image = kDspImage,
        .statusCommand = DeviceCommand(":dsp"),
        .statusFallback = CrCommand(":dsp"),
        .eraseCommand = CrCommand(":efh"),
        .startCommand = CrCommand(":st"),
        .eraseTimerMs = timing::kEraseTimerDspMs,
        .walkReplyTimeoutMs = std::nullopt,
        .statusReplyTimeoutMs = timing::kDspNewStatusReplyTimeoutMs,
        .eraseReplyTimeoutMs = timing::kDspNewEraseReplyTimeoutMs,
        .afterStepReplyTimeoutMs = timing::kDspNewWalkReplyTimeoutMs,
        .programTimeoutAfterWalk = true,
        .verifyCheckpointAtResume = false,
        .closeCommand = CrCommand("SV"),
        .closePrefix = "ST6",
    };
    RunNewLoaderUpdate(steps, plan);
}

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
