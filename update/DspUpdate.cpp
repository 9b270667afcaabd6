// Writing dsp.hex through the DSP's old and new loaders.
#include "link/Timeouts.h"
#include "update/LoaderSkeletons.h"
#include "update/UpdateProcedures.h"

namespace {

bool EveryLine(std::string_view) {
    return true;
}

// Every line of dsp.hex is a block; data records are summed.
constexpr ImageRules kDspImage{ImageKind::Dsp, IsDspCheckpoint, EveryLine, IsDspSummed,
                               DspRecordSum};

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
