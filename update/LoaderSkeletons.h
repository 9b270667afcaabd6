#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "update/ImageFiles.h"
#include "update/UpdateSteps.h"

// How a procedure reads its image: which lines are checkpoint records, which are
// sent, which are summed and with what sum.
struct ImageRules {
    ImageKind kind;
    bool (*isCheckpoint)(std::string_view line);
    bool (*isSent)(std::string_view line);
    bool (*isSummed)(std::string_view line);
    uint16_t (*recordSum)(std::string_view line);
};

// One handshake step: a command and the prefixes that accept its reply.
struct HandshakeStep {
    std::string command;
    std::vector<std::string_view> prefixes;
};

// The values an old-loader procedure plugs into its skeleton.
struct OldLoaderPlan {
    ImageRules image;
    uint32_t handshakeReplyTimeoutMs;
    HandshakeStep deviceNumber;
    HandshakeStep bareName;
    HandshakeStep erase;  // preceded by BeginErase
    HandshakeStep start;  // preceded by BeginProgramming
    uint32_t eraseTimerMs;
    uint32_t programReplyTimeoutMs;
    uint32_t closePauseMs;
    std::optional<uint32_t> closeReplyTimeoutMs;
    std::optional<uint32_t> verifyFailReplyTimeoutMs;
    std::string closeCommand;
    std::string closePrefix;
};

// The values a new-loader procedure plugs into its skeleton.
struct NewLoaderPlan {
    ImageRules image;
    std::string statusCommand;
    // Sent instead, for this and every later pass, when a status query gives state 0.
    std::optional<std::string> statusFallback;
    std::string eraseCommand;  // accepted by "ST2"
    std::string startCommand;  // accepted by "ST3"
    uint32_t eraseTimerMs;
    std::optional<uint32_t> walkReplyTimeoutMs;       // set once before the walk
    std::optional<uint32_t> statusReplyTimeoutMs;     // set before each status query
    std::optional<uint32_t> eraseReplyTimeoutMs;      // set before the erase command
    std::optional<uint32_t> afterStepReplyTimeoutMs;  // set after a status or erase step
    // The programming time-out is set right after the walk (else once the image is open).
    bool programTimeoutAfterWalk;
    // A checkpoint record whose block number equals the resume number is verified.
    bool verifyCheckpointAtResume;
    std::string closeCommand;
    std::string closePrefix;
};

void RunOldLoaderUpdate(CUpdateSteps& steps, const OldLoaderPlan& plan);
void RunNewLoaderUpdate(CUpdateSteps& steps, const NewLoaderPlan& plan);
