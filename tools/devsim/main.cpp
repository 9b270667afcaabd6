// tovrane-devsim: the device simulator as a program. Prints the port path to open
// and serves until SIGINT or SIGTERM; SIGUSR1 and SIGUSR2 take the board out and
// put a new one in.

#include <getopt.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "tools/devsim/DeviceSimulator.h"

namespace {

constexpr const char* kUsage = R"usage(Usage: tovrane-devsim [options]

Plays the Tovrane device (DSP and MCU with their resident loaders) on a
pseudo-terminal. Prints the path of the port to open (one line on stdout) and
serves until SIGINT or SIGTERM. Exit status 0, or 2 for a usage error.

The line: the device listens at 2400 baud. "BDR96" is answered "(ACK)", after
which it listens at 9600. Bytes sent at another speed than the device's are
noise: never answered (shown as noise by --log). When the tool closes the port
the device is back at 2400. "I" is answered with the version text.

The board, as in a fixture whose adapter stays: SIGUSR1 takes the board out
(the device answers nothing, the port stays), SIGUSR2 puts a new board in (at
2400 baud, its loaders as the options below set them; the faults stay):
  kill -USR1 PID    the board is taken out
  kill -USR2 PID    a new board is put in

Loaders (commands and replies end in CR):
  DSP old  :dsp001 -> :dsp   :dsp -> :efh   :efh -> :st (after the erase)
           :st -> :R   record -> :O stored / :r refused   SUM -> SUM%04X   SV -> SV
  MCU old  mcu001 -> mcu   mcu -> se   se -> sp (after the erase)   sp -> SR
           record -> SO / Sr   SUM -> SUM%04X   SV -> SV   (MCU001, RES ignored)
  DSP new  :dsp001 or :dsp -> ST<stage>_<last block %04d>   :efh -> ST2 (after the
           erase)   :st -> ST3   SD_<n><record> -> ST4_<n %04d>   SUM   SV -> ST6
  MCU new  MCU001 -> ST<stage>_<block>   SE -> ST2   SP -> ST3   SD_<n><record>
           -> ST4_<n>   SUM   RES -> ST5
  Stages: 1 needs erase, 2 erased, 3 programming. Old loaders start idle on every
  connection and refuse records before the erase and start. New loaders keep
  stage, last block and sum across connections while this program runs, so an
  interrupted update resumes. A block must be the next one: a repeat of a
  stored block is acknowledged again, a gap is refused with ST3_<last>. The
  closing command ends the update (stage 1, block 0, sum 0).
  Sums (16-bit): DSP records whose character 8 is '0' (words of four digits from
  character 9), MCU S2 records (bytes from character 10). New loaders never sum
  the checkpoint record (DSP address 3FFE, MCU 23FFE at characters 5-9). A
  summed record shorter than its count is refused, and so is a line that is not
  a record of the loader's kind (DSP: ":..." or an empty line; MCU: "S" and a
  digit). Erase clears sum and block.

Options:
  --dsp=old|new|none        DSP loader generation (default new)
  --mcu=old|new|none        MCU loader generation (default new)
  --version-text=TEXT       reply to "I" (default "TOVRANE-SIM V1.00")
  --dsp-state=STAGE,BLOCK   initial stage and last block of a new DSP loader
  --mcu-state=STAGE,BLOCK   the same for a new MCU loader (default 1,0)
  --erase-ms=N              erase time in ms (default 3000)
  --pace                    act on a command only after its wire time (10 bits
                            per byte at the current speed) and send replies at
                            the wire rate
  --latency-ms=N            extra delay on every reply (an adapter's latency timer)
  --silence=PREFIX[,K]      no reply to commands beginning with PREFIX (only the
                            first K of them when K is given); repeatable
  --garbage=PREFIX[,K]      send garbage without CR instead of the reply
  --garbage-bytes=N         length of that garbage (default 2000)
  --late=PREFIX[,K]         act on commands beginning with PREFIX as usual but
                            answer them --late-ms later (later replies wait
                            behind them)
  --late-ms=N               how much later (default 0)
  --reject-block=N          refuse block N (old loaders: the N-th record)
  --wrong-sum               report the sum plus one
  --chunk=BYTES,PAUSE_MS    send replies in chunks with pauses between them
  --drop-after=N            after N blocks in a connection, go silent until the
                            port is closed
  --hangup-after=N          after N blocks in a connection, close the pty (the
                            port vanishes) and exit
  --board-out               start with the board out (SIGUSR2 puts it in)
  --log                     print every command received to stderr, and the
                            board going out and coming in
  --help                    show this text
  --version                 show the program's version
)usage";

// "A,B" -> (A, B); "A" -> (A, none).
std::pair<std::string_view, std::optional<std::string_view>> SplitPair(std::string_view text) {
    const std::size_t comma = text.rfind(',');
    if (comma == std::string_view::npos) {
        return {text, std::nullopt};
    }
    return {text.substr(0, comma), text.substr(comma + 1)};
}

// Collects the first usage error; parsing goes on harmlessly after it.
struct Parser {
    std::string error;

    void Fail(std::string message) {
        if (error.empty()) {
            error = std::move(message);
        }
    }

    int Count(std::string_view text, const char* option) {
        const std::string s(text);
        char* end = nullptr;
        errno = 0;
        const long value = std::strtol(s.c_str(), &end, 10);
        if (s.empty() || *end != '\0' || errno != 0 || value < 0 || value > 1'000'000'000) {
            Fail(std::string("invalid number for ") + option + ": " + s);
            return 0;
        }
        return static_cast<int>(value);
    }

    devsim::Generation Generation(std::string_view text, const char* option) {
        if (text == "old") {
            return devsim::Generation::Old;
        }
        if (text == "none") {
            return devsim::Generation::None;
        }
        if (text != "new") {
            Fail(std::string(option) + " takes old, new or none");
        }
        return devsim::Generation::New;
    }

    devsim::LoaderState State(std::string_view text, const char* option) {
        const auto [stage, block] = SplitPair(text);
        if (!block) {
            Fail(std::string(option) + " takes STAGE,BLOCK");
            return {};
        }
        return {Count(stage, option), Count(*block, option), 0};
    }

    devsim::CommandFault CommandFault(std::string_view text, devsim::FaultAction action,
                                      const char* option) {
        const auto [prefix, times] = SplitPair(text);
        return {std::string(prefix), action, times ? Count(*times, option) : 0};
    }
};

void PrintRecord(const devsim::CommandRecord& r, std::int64_t startNs) {
    const double ms = static_cast<double>(r.timeNs - startNs) / 1e6;
    if (r.noise) {
        std::fprintf(stderr, "%10.3f ms %6d  noise \"%s\"\n", ms, r.baud, r.text.c_str());
    } else {
        std::fprintf(stderr, "%10.3f ms %6d  \"%s\" -> \"%s\"\n", ms, r.baud, r.text.c_str(),
                     r.reply.c_str());
    }
}

enum Option {
    kDsp = 1000,
    kMcu,
    kVersionText,
    kDspState,
    kMcuState,
    kEraseMs,
    kPace,
    kLatencyMs,
    kSilence,
    kGarbage,
    kGarbageBytes,
    kLate,
    kLateMs,
    kRejectBlock,
    kWrongSum,
    kChunk,
    kDropAfter,
    kHangUpAfter,
    kBoardOut,
    kLog,
    kHelp,
    kVersion,
};

struct Settings {
    Parser parser;
    devsim::Options options;
    bool log = false;
    bool help = false;
    bool version = false;
};

void Apply(Settings& s, int option, std::string_view arg) {
    devsim::Options& o = s.options;
    Parser& p = s.parser;
    switch (option) {
        case kDsp:
            o.device.dsp = p.Generation(arg, "--dsp");
            break;
        case kMcu:
            o.device.mcu = p.Generation(arg, "--mcu");
            break;
        case kVersionText:
            o.device.versionText = arg;
            break;
        case kDspState:
            o.device.dspState = p.State(arg, "--dsp-state");
            break;
        case kMcuState:
            o.device.mcuState = p.State(arg, "--mcu-state");
            break;
        case kEraseMs:
            o.pacing.eraseTime = std::chrono::milliseconds(p.Count(arg, "--erase-ms"));
            break;
        case kPace:
            o.pacing.wireTime = true;
            break;
        case kLatencyMs:
            o.pacing.replyDelay = std::chrono::milliseconds(p.Count(arg, "--latency-ms"));
            break;
        case kSilence:
            o.faults.commands.push_back(
                p.CommandFault(arg, devsim::FaultAction::Silence, "--silence"));
            break;
        case kGarbage:
            o.faults.commands.push_back(
                p.CommandFault(arg, devsim::FaultAction::Garbage, "--garbage"));
            break;
        case kLate:
            o.faults.commands.push_back(p.CommandFault(arg, devsim::FaultAction::Late, "--late"));
            break;
        case kLateMs:
            o.faults.lateReplyMs = p.Count(arg, "--late-ms");
            break;
        case kGarbageBytes:
            o.faults.garbageBytes = static_cast<std::size_t>(p.Count(arg, "--garbage-bytes"));
            break;
        case kRejectBlock:
            o.faults.rejectBlock = p.Count(arg, "--reject-block");
            break;
        case kWrongSum:
            o.faults.wrongSum = true;
            break;
        case kChunk: {
            const auto [bytes, pause] = SplitPair(arg);
            o.faults.chunkBytes = static_cast<std::size_t>(p.Count(bytes, "--chunk"));
            o.faults.chunkPauseMs = pause ? p.Count(*pause, "--chunk") : 0;
            break;
        }
        case kDropAfter:
            o.faults.dropAfterBlocks = p.Count(arg, "--drop-after");
            break;
        case kHangUpAfter:
            o.faults.hangUpAfterBlocks = p.Count(arg, "--hangup-after");
            break;
        case kBoardOut:
            o.boardOut = true;
            break;
        case kLog:
            s.log = true;
            break;
        case kHelp:
            s.help = true;
            break;
        case kVersion:
            s.version = true;
            break;
        default:
            p.Fail("unknown option (see --help)");
            break;
    }
}

Settings ParseArguments(int argc, char** argv) {
    static const option kOptions[] = {
        {"dsp", required_argument, nullptr, kDsp},
        {"mcu", required_argument, nullptr, kMcu},
        {"version-text", required_argument, nullptr, kVersionText},
        {"dsp-state", required_argument, nullptr, kDspState},
        {"mcu-state", required_argument, nullptr, kMcuState},
        {"erase-ms", required_argument, nullptr, kEraseMs},
        {"pace", no_argument, nullptr, kPace},
        {"latency-ms", required_argument, nullptr, kLatencyMs},
        {"silence", required_argument, nullptr, kSilence},
        {"garbage", required_argument, nullptr, kGarbage},
        {"garbage-bytes", required_argument, nullptr, kGarbageBytes},
        {"late", required_argument, nullptr, kLate},
        {"late-ms", required_argument, nullptr, kLateMs},
        {"reject-block", required_argument, nullptr, kRejectBlock},
        {"wrong-sum", no_argument, nullptr, kWrongSum},
        {"chunk", required_argument, nullptr, kChunk},
        {"drop-after", required_argument, nullptr, kDropAfter},
        {"hangup-after", required_argument, nullptr, kHangUpAfter},
        {"board-out", no_argument, nullptr, kBoardOut},
        {"log", no_argument, nullptr, kLog},
        {"help", no_argument, nullptr, kHelp},
        {"version", no_argument, nullptr, kVersion},
        {nullptr, 0, nullptr, 0},
    };
    Settings settings;
    settings.options.pacing.eraseTime = std::chrono::milliseconds(3000);
    opterr = 0;
    int option = 0;
    while ((option = getopt_long(argc, argv, "", kOptions, nullptr)) != -1) {
        Apply(settings, option, optarg ? optarg : "");
    }
    if (optind < argc) {
        settings.parser.Fail(std::string("unexpected argument: ") + argv[optind]);
    }
    return settings;
}

// Waits for SIGINT or SIGTERM while the simulator serves; SIGUSR1 and SIGUSR2 take
// the board out and put one in meanwhile.
void ServeUntilSignal(devsim::DeviceSimulator& sim, const sigset_t& signals, bool log) {
    const timespec tick{0, 500'000'000};
    while (sim.Running()) {
        const int signal = sigtimedwait(&signals, nullptr, &tick);
        if (signal == SIGINT || signal == SIGTERM) {
            return;
        }
        if (signal == SIGUSR1 || signal == SIGUSR2) {
            sim.SetBoardPresent(signal == SIGUSR2);
            if (log) {
                std::fprintf(stderr, signal == SIGUSR2 ? "board in\n" : "board out\n");
            }
        }
    }
    std::fprintf(stderr, "tovrane-devsim: the device hung up\n");
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings = ParseArguments(argc, argv);
    if (!settings.parser.error.empty()) {
        std::fprintf(stderr, "tovrane-devsim: %s\n", settings.parser.error.c_str());
        return 2;
    }
    if (settings.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (settings.version) {
        std::printf("tovrane-devsim %s\n", TOVRANE_VERSION);
        return 0;
    }
    if (settings.log) {
        const std::int64_t startNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count();
        settings.options.onCommand = [startNs](const devsim::CommandRecord& r) {
            PrintRecord(r, startNs);
        };
    }
    // Blocked before the serving thread starts, so only sigtimedwait sees them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    sigaddset(&signals, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    devsim::DeviceSimulator sim(std::move(settings.options));
    if (!sim.Start()) {
        std::fprintf(stderr, "tovrane-devsim: %s\n", sim.LastError().c_str());
        return 1;
    }
    std::printf("%s\n", sim.SlavePath().c_str());
    std::fflush(stdout);
    ServeUntilSignal(sim, signals, settings.log);
    sim.Stop();
    return 0;
}
