#pragma once

// The device's side of the line protocol, without any I/O: one command line in,
// one response out. DeviceSimulator feeds it the lines it reads from the pty and
// puts its responses on the wire.
//
// What the device answers (every command and reply is text ended by CR):
//   "BDR96"   -> "(ACK)", then the line runs at 9600 baud (see DeviceSimulator)
//   "I"       -> the version text
// DSP loader, old generation (stage 1 idle, 2 erased, 3 programming):
//   ":dsp001" -> ":dsp"    ":dsp" -> ":efh"    ":efh" -> ":st" after the erase
//   ":st"     -> ":R" once erased, else ":r"
//   any other line -> a record: ":O" stored, ":r" refused (not programming, not
//                     an Intel HEX line, or a data record shorter than its count;
//                     an empty line is stored like a record without data)
//   "SUM" -> "SUM%04X"     "SV" -> "SV" (programming ends, stage 1)
// MCU loader, old generation: the same with "mcu001" -> "mcu", "mcu" -> "se",
//   "se" -> "sp" after the erase, "sp" -> "SR", records "SO" / "Sr" (an S-record
//   is "S" and a type digit); it ignores "MCU001" and "RES". An old loader that
//   gets the record it stored last once more acknowledges it without storing it
//   twice (the tool repeats a record whose reply it missed).
// New loaders (status "ST<stage>_<last block %04d>", stage 1 needs erase, 2 erased,
//   3 programming): DSP ":dsp001" or ":dsp", MCU "MCU001" -> status;
//   erase (":efh" / "SE") -> "ST2" after the erase; start (":st" / "SP") -> "ST3"
//   once erased, else the status; "SD_<n><record>" -> "ST4_<n %04d>";
//   "SUM" -> "SUM%04X"; closing ("SV" -> "ST6" / "RES" -> "ST5") ends the update:
//   stage 1, block 0, sum 0. A block is stored when n is the next block; a block at
//   or below the last one is acknowledged again without being stored twice (the
//   tool repeats a block whose reply it missed); a gap, a block outside stage 3, a
//   record not of the loader's kind or a short record is refused with the status
//   "ST3_<last>" (or the current stage).
// "SUM", "SV", records and blocks go to the loader addressed last (by one of the
// commands above). A loader that is absent (Generation::None) stays silent.
//
// Sums are 16-bit and wrap. An old loader sums every record it stores: DSP records
// whose character 8 is '0', MCU S2 records. A new loader sums the same kinds but
// never the checkpoint record. Erase clears the sum and the last block. New
// loaders keep stage, last block and sum across connections; old loaders start
// every connection idle.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace devsim {

enum class Generation { None, Old, New };

enum class Processor { Dsp, Mcu };

// A loader's progress: stage as above, the last block stored (new loaders: the
// tool's block number; old loaders: records stored since the erase) and the sum
// of what it stored.
struct LoaderState {
    int stage = 1;
    int lastBlock = 0;
    std::uint16_t sum = 0;
    bool operator==(const LoaderState&) const = default;
};

enum class FaultAction {
    Silence,  // no reply at all
    Garbage,  // Faults::garbageBytes bytes of text without any CR instead of the reply
    Late,     // the command is acted on as usual; its reply leaves Faults::lateReplyMs late
};

// Applies to commands that begin with prefix; times 0 means every time, otherwise
// only the first `times` matching commands after the faults were set.
struct CommandFault {
    std::string prefix;
    FaultAction action = FaultAction::Silence;
    int times = 0;
};

struct Faults {
    std::vector<CommandFault> commands;
    std::size_t garbageBytes = 2000;
    // How much later than usual a reply leaves under FaultAction::Late; the replies
    // after it wait behind it, as on a device busy for that long.
    int lateReplyMs = 0;
    // Refuse this block: the new loaders' block number, or the old loaders' n-th
    // record since the erase. 0: none.
    int rejectBlock = 0;
    // Report the sum plus one.
    bool wrongSum = false;
    // After this many blocks stored in one connection, the next block and
    // everything after it goes unanswered until the tool closes the port.
    std::optional<int> dropAfterBlocks;
    // After this many blocks stored in one connection, the next block makes the
    // device close the pty (the port vanishes).
    std::optional<int> hangUpAfterBlocks;
    // Replies leave in chunks of this many bytes with a pause between them. 0: whole.
    std::size_t chunkBytes = 0;
    int chunkPauseMs = 0;
};

struct Response {
    enum class Kind { Silence, Reply, HangUp };
    Kind kind = Kind::Silence;
    std::string bytes;        // what goes on the wire, CR included for a reply line
    bool afterErase = false;  // sent once the erase time has passed
    int lateMs = 0;           // extra delay before it leaves
    int baudAfter = 0;        // the device's line speed after sending it; 0 unchanged
};

struct DeviceConfig {
    Generation dsp = Generation::New;
    Generation mcu = Generation::New;
    std::string versionText = "TOVRANE-SIM V1.00";
    LoaderState dspState;  // initial state of a new loader
    LoaderState mcuState;
};

class Device {
  public:
    static constexpr int kInitialBaud = 2400;
    static constexpr int kSwitchedBaud = 9600;

    explicit Device(DeviceConfig config);

    Response Handle(std::string_view line);
    // The tool closed the port: the loaders' sessions end.
    void EndSession();

    void SetFaults(Faults faults);
    Faults CurrentFaults() const { return faults_; }
    LoaderState State(Processor processor) const;
    void SetState(Processor processor, LoaderState state);

  private:
    struct Loader {
        Processor processor;
        Generation generation;
        LoaderState state;
        std::string lastRecord;  // old loaders: the record stored last
    };

    std::optional<FaultAction> CommandFaultFor(std::string_view line);
    Response Answer(std::string_view line);
    Response HandleOld(Loader& loader, std::string_view line);
    Response HandleNew(Loader& loader, std::string_view line);
    Response StoreOldRecord(Loader& loader, std::string_view record);
    Response StoreNewBlock(Loader& loader, std::string_view command);
    std::optional<Response> InterruptBlock();
    Response SumReply(const Loader& loader) const;
    Response Garbage() const;
    Loader& LoaderFor(Processor processor);

    DeviceConfig config_;
    Loader dsp_;
    Loader mcu_;
    Faults faults_;
    std::vector<int> faultUses_;
    std::optional<Processor> addressed_;
    int sessionBlocks_ = 0;
    bool dropped_ = false;
};

}  // namespace devsim
