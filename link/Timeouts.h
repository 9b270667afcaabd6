#pragma once

#include <cstdint>

// Every time-out and pause of the tool, in one table. Reply time-outs are the
// values stored in ReplyTimeout before an exchange; pauses are slept on the worker.
namespace timing {

// Link: one transaction.
inline constexpr uint32_t kReplyTimeoutStartMs = 8000;   // ReplyTimeout at program start
inline constexpr uint32_t kFirstReplyDataWaitMs = 1000;  // SendCommand's wait for first bytes

// Connection opening and loader detection.
inline constexpr uint32_t kDetectDspReplyTimeoutMs = 8000;
inline constexpr uint32_t kDetectMcuReplyTimeoutMs = 4000;

// Update engine.
inline constexpr uint32_t kRunEndPauseMs = 1000;  // before the port is closed

// Shared update steps.
inline constexpr uint32_t kVerifyFailPauseMs = 50;
inline constexpr uint32_t kFinishPauseMs = 1000;  // each of the two pauses of the finish
inline constexpr uint32_t kEraseTimerDspMs = 50;
inline constexpr uint32_t kEraseTimerMcuMs = 32;
inline constexpr uint32_t kProgramTimerMs = 1000;

// DSP, old loader.
inline constexpr uint32_t kDspOldHandshakeReplyTimeoutMs = 10000;
inline constexpr uint32_t kDspOldProgramReplyTimeoutMs = 2000;
inline constexpr uint32_t kDspOldClosePauseMs = 1000;

// DSP, new loader.
inline constexpr uint32_t kDspNewStatusReplyTimeoutMs = 12000;
inline constexpr uint32_t kDspNewEraseReplyTimeoutMs = 10000;
inline constexpr uint32_t kDspNewWalkReplyTimeoutMs = 8000;

// MCU, old loader.
inline constexpr uint32_t kMcuOldHandshakeReplyTimeoutMs = 8000;
inline constexpr uint32_t kMcuOldProgramReplyTimeoutMs = 2000;
inline constexpr uint32_t kMcuOldClosePauseMs = 2000;

// MCU, new loader.
inline constexpr uint32_t kMcuNewWalkReplyTimeoutMs = 10000;

// Both new loaders.
inline constexpr uint32_t kNewProgramReplyTimeoutMs = 4000;
inline constexpr uint32_t kNewCloseReplyTimeoutMs = 2000;

// After a failed verification (new loaders and the old MCU loader).
inline constexpr uint32_t kVerifyFailReplyTimeoutMs = 1000;

// The many-device station's own waits (each tovrane-cli child keeps the ones above).
// A child that writes no line for this long is taken for hung. It is longer than the
// longest stretch the engine can spend without output: the new DSP loader's stage
// walk, 24 unanswered status queries of 1 s + 12 s each (312 s).
inline constexpr uint32_t kChildSilenceLimitMs = 330000;
inline constexpr uint32_t kChildStopGraceMs = 5000;    // after SIGTERM, before SIGKILL
inline constexpr uint32_t kStationCloseWaitMs = 8000;  // closing: the children's last results
inline constexpr uint32_t kPortRescanDelayMs = 200;    // a plugged device's nodes settle
inline constexpr uint32_t kAutoStartRetryMs = 500;     // an armed slot whose port is not usable yet
inline constexpr uint32_t kImageCheckDelayMs = 300;    // the images folder settles after a change
inline constexpr uint32_t kImageCheckLimitMs = 60000;  // one --check-images child
inline constexpr uint32_t kYieldRecountDelayMs = 500;  // the results file settles after a change
inline constexpr uint32_t kBundleCheckDelayMs = 300;   // the bundle file settles after a change
// One --check-bundle child: it copies, hashes and checks every image of the bundle.
inline constexpr uint32_t kBundleCheckLimitMs = 120000;

// Release bundles: one ssh-keygen child checking a bundle's signature.
inline constexpr uint32_t kSignatureCheckLimitMs = 10000;
// How often a wait for that child looks whether Ctrl-C or SIGTERM asked to stop.
inline constexpr uint32_t kStopPollMs = 100;

// Fixture mode: an idle slot holds its port open and asks for the version this often,
// waits this long for the reply, and tries again this often to open a port that would
// not open. A board that was run has gone once this many probes in a row went
// unanswered.
inline constexpr uint32_t kFixtureProbeIntervalMs = 1000;
inline constexpr uint32_t kFixtureReplyTimeoutMs = 300;
inline constexpr uint32_t kFixtureOpenRetryMs = 3000;
inline constexpr int kFixtureSilentProbesToRearm = 3;

// Tests of slow paths shrink every wait and pause by this factor, in percent
// (100 = as designed). The shipped tool never calls it.
void SetScalePercentForTests(uint32_t percent);

// `ms` scaled for the current run; at least 1 ms when `ms` is non-zero.
uint32_t Scaled(uint32_t ms);

}  // namespace timing
