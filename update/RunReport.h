#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/SharedState.h"

// How one run ended, in the detail a line controller needs.
enum class RunResult {
    None,  // no run yet, or one still under way
    Finished,
    VersionRead,
    WriteFail,
    VerifyFail,
    ConnectFail,
    NoLoader,
    ImageMissing,
    ImageRefused,
    PortOpenFail,
    SetupFail,
    Interrupted,
};

// The stable name of a result: "finished", "write_fail", ...
const char* RunResultName(RunResult result);

// What one run did. Filled by the worker; the front ends read it once the run ended.
struct RunReport {
    RunResult result = RunResult::None;
    LoaderGeneration loader = LoaderNone;  // the generation that answered
    std::string image;                     // the image looked up; empty for a version read
    uint32_t blocksWritten = 0;
    uint32_t blocksTotal = 0;
    bool verified = false;  // a checkpoint sum matched
    std::optional<uint32_t> eraseMs;
    std::optional<uint32_t> programMs;
    std::string version;  // the device's version text, when read
    // Why the run ended as it did, when an empty reply or a stop decided it.
    std::string detail;
};
