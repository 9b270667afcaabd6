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

// Operations, as the result object names them.
inline constexpr char kOperationDsp[] = "dsp";
inline constexpr char kOperationMcu[] = "mcu";
inline constexpr char kOperationVersion[] = "version";

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
// The outcome the station gives a run whose child did not end with a sound result.
inline constexpr char kToolErrorOutcome[] = "tool_error";

}  // namespace jsonl
