#pragma once

// The names in tovrane-cli's JSON Lines, which tovrane-station reads and extends
// in its results file. They are documented in the README and stay stable; new
// names may be added.
namespace jsonl {

// Every object.
inline constexpr char kEvent[] = "event";
inline constexpr char kTimeMs[] = "t_ms";

// Event kinds.
inline constexpr char kLogEvent[] = "log";
inline constexpr char kMessageEvent[] = "message";
inline constexpr char kProgressEvent[] = "progress";
inline constexpr char kResultEvent[] = "result";
inline constexpr char kImageEvent[] = "image";
// The loader generation that answered, as soon as it is known (field kLoader).
inline constexpr char kLoaderEvent[] = "loader";
// A bundle's step begins (fields kStep, kStepIndex, kStepCount).
inline constexpr char kStepEvent[] = "step";
// What --check-bundle says of the bundle as a whole.
inline constexpr char kBundleEvent[] = "bundle";

// Log and message objects.
inline constexpr char kText[] = "text";
inline constexpr char kCaption[] = "caption";

// Progress objects.
inline constexpr char kPercent[] = "percent";
inline constexpr char kWritten[] = "written";
inline constexpr char kTotal[] = "total";
inline constexpr char kSpeed[] = "speed";
inline constexpr char kRemaining[] = "remaining";

// The result object.
inline constexpr char kRunId[] = "run_id";  // a random UUID made at the start of the run
inline constexpr char kExit[] = "exit";
inline constexpr char kOutcome[] = "outcome";
inline constexpr char kPort[] = "port";
inline constexpr char kOperation[] = "operation";
inline constexpr char kLoader[] = "loader";
inline constexpr char kImage[] = "image";
inline constexpr char kSha256[] = "sha256";
inline constexpr char kBlocksWritten[] = "blocks_written";
inline constexpr char kBlocksTotal[] = "blocks_total";
inline constexpr char kVerified[] = "verified";
inline constexpr char kEraseMs[] = "erase_ms";
inline constexpr char kProgramMs[] = "program_ms";
inline constexpr char kVersion[] = "version";
inline constexpr char kDurationMs[] = "duration_ms";
inline constexpr char kToolVersion[] = "tool_version";
// Why the run ended as it did, in words (message objects use it for their detail too).
inline constexpr char kDetail[] = "detail";

// Operations, as the result object names them (a bundle's steps use the first three).
inline constexpr char kOperationDsp[] = "dsp";
inline constexpr char kOperationMcu[] = "mcu";
inline constexpr char kOperationVersion[] = "version";
inline constexpr char kOperationBundle[] = "bundle";

// A bundle run's result and --check-bundle's bundle object.
inline constexpr char kBundle[] = "bundle";  // {name, release, manifest_sha256, signer}
inline constexpr char kRelease[] = "release";
inline constexpr char kManifestSha256[] = "manifest_sha256";
inline constexpr char kSigner[] = "signer";  // the principal, or null when not checked
inline constexpr char kSteps[] = "steps";    // one result-like object per step that ran
inline constexpr char kVersionPattern[] = "version_pattern";
inline constexpr char kRequireVerify[] = "require_verify";
// Step events.
inline constexpr char kStep[] = "step";
inline constexpr char kStepIndex[] = "index";  // 1-based
inline constexpr char kStepCount[] = "count";
// Outcomes of a bundle run beside the engine's own.
inline constexpr char kVersionMismatchOutcome[] = "version_mismatch";
inline constexpr char kBundleRefusedOutcome[] = "bundle_refused";

// Loader generations, as the result object names them.
inline constexpr char kLoaderOld[] = "old";
inline constexpr char kLoaderNew[] = "new";

// Image objects of --check-images.
inline constexpr char kName[] = "name";
inline constexpr char kPath[] = "path";
inline constexpr char kBlocks[] = "blocks";
inline constexpr char kCheckpoint[] = "checkpoint";
inline constexpr char kAccepted[] = "accepted";
inline constexpr char kReason[] = "reason";

// What the station adds to a result when it stores it.
inline constexpr char kSlot[] = "slot";
inline constexpr char kStationTime[] = "station_time";
inline constexpr char kHost[] = "host";
inline constexpr char kStationId[] = "station_id";  // /etc/machine-id, else the host name
inline constexpr char kOperator[] = "operator";     // null when empty
inline constexpr char kWorkOrder[] = "work_order";  // null when empty
// The number of this run among the slot's runs since its device last arrived (1, 2, ...).
inline constexpr char kAttempt[] = "attempt";
// What started the run: kStartedByOperator, kStartedByPlug or kStartedByAnswer.
inline constexpr char kStartedBy[] = "started_by";
inline constexpr char kStartedByOperator[] = "operator";
inline constexpr char kStartedByPlug[] = "plug";
inline constexpr char kStartedByAnswer[] = "answer";
// The outcome the station gives a run whose child did not end with a sound result.
inline constexpr char kToolErrorOutcome[] = "tool_error";

}  // namespace jsonl
