#include "tools/devsim/Device.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <utility>

#include "tools/devsim/Records.h"

namespace devsim {
namespace {

constexpr std::size_t kMaxGarbageBytes = 65536;

// Commands and replies of an old loader.
struct OldVocabulary {
    std::string_view connect, connectReply;  // device number command
    std::string_view name, nameReply;        // bare name command
    std::string_view erase, eraseReply;
    std::string_view start, startReply;
    std::string_view accept, reject;  // a record stored or refused
    std::array<std::string_view, 2> ignored;
};

constexpr OldVocabulary kOldDsp{.connect = ":dsp001",
                                .connectReply = ":dsp",
                                .name = ":dsp",
                                .nameReply = ":efh",
                                .erase = ":efh",
                                .eraseReply = ":st",
                                .start = ":st",
                                .startReply = ":R",
                                .accept = ":O",
                                .reject = ":r",
                                .ignored = {}};
constexpr OldVocabulary kOldMcu{.connect = "mcu001",
                                .connectReply = "mcu",
                                .name = "mcu",
                                .nameReply = "se",
                                .erase = "se",
                                .eraseReply = "sp",
                                .start = "sp",
                                .startReply = "SR",
                                .accept = "SO",
                                .reject = "Sr",
                                .ignored = {"MCU001", "RES"}};

// Commands and replies of a new loader.
struct NewVocabulary {
    std::array<std::string_view, 2> status;
    std::string_view erase, start, close, closeReply;
};

constexpr NewVocabulary kNewDsp{.status = {":dsp001", ":dsp"},
                                .erase = ":efh",
                                .start = ":st",
                                .close = "SV",
                                .closeReply = "ST6"};
constexpr NewVocabulary kNewMcu{
    .status = {"MCU001", ""}, .erase = "SE", .start = "SP", .close = "RES", .closeReply = "ST5"};

// Commands that address one processor's loader; later shared commands ("SUM",
// "SV", records, blocks) go to the loader addressed last.
constexpr std::array<std::string_view, 4> kDspCommands{":dsp001", ":dsp", ":efh", ":st"};
constexpr std::array<std::string_view, 8> kMcuCommands{"MCU001", "mcu001", "mcu", "se",
                                                       "sp",     "SE",     "SP",  "RES"};

template <std::size_t N>
bool Contains(const std::array<std::string_view, N>& list, std::string_view line) {
    return !line.empty() && std::find(list.begin(), list.end(), line) != list.end();
}

std::optional<Processor> AddressedBy(std::string_view line) {
    if (Contains(kDspCommands, line)) {
        return Processor::Dsp;
    }
    if (Contains(kMcuCommands, line)) {
        return Processor::Mcu;
    }
    return std::nullopt;
}

Response Line(std::string_view text, bool afterErase = false, int baudAfter = 0) {
    Response r;
    r.kind = Response::Kind::Reply;
    r.bytes.assign(text);
    r.bytes += '\r';
    r.afterErase = afterErase;
    r.baudAfter = baudAfter;
    return r;
}

Response Silent() {
    return Response{};
}

Response StatusReply(const LoaderState& state) {
    char text[32];
    std::snprintf(text, sizeof text, "ST%d_%04d", state.stage, state.lastBlock);
    return Line(text);
}

// A record the loader can take: an Intel HEX line (":...", or the empty line an
// image may hold) for the DSP, an S-record ("S" and a type digit) for the MCU.
bool IsRecordOf(Processor processor, std::string_view record) {
    if (processor == Processor::Dsp) {
        return record.empty() || record.front() == ':';
    }
    return record.size() >= 2 && record[0] == 'S' &&
           std::isdigit(static_cast<unsigned char>(record[1]));
}

// What storing the record adds to the loader's sum: 0 for records it stores
// without summing; empty when it cannot store the record at all (not a record of
// its kind, or a summed record shorter than its count).
std::optional<std::uint16_t> StoredSum(Processor processor, std::string_view record,
                                       bool skipCheckpoint) {
    if (!IsRecordOf(processor, record)) {
        return std::nullopt;
    }
    if (processor == Processor::Dsp) {
        if (!records::IsDspDataRecord(record) ||
            (skipCheckpoint && records::IsDspCheckpoint(record))) {
            return 0;
        }
        return records::DspRecordSum(record);
    }
    if (!records::IsMcuS2Record(record) || (skipCheckpoint && records::IsMcuCheckpoint(record))) {
        return 0;
    }
    return records::McuRecordSum(record);
}

void Erase(LoaderState& state) {
    state = LoaderState{2, 0, 0};
}

// Block number at the start of text: at most 9 decimal digits.
std::optional<int> LeadingNumber(std::string_view text, std::size_t& digits) {
    constexpr std::size_t kMaxDigits = 9;
    digits = 0;
    int value = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) {
        if (digits == kMaxDigits) {
            return std::nullopt;
        }
        value = value * 10 + (text[digits] - '0');
        ++digits;
    }
    return digits == 0 ? std::nullopt : std::optional<int>(value);
}

}  // namespace

Device::Device(DeviceConfig config)
    : config_(std::move(config)),
      dsp_{Processor::Dsp, config_.dsp, config_.dspState, {}},
      mcu_{Processor::Mcu, config_.mcu, config_.mcuState, {}} {}

Response Device::Handle(std::string_view line) {
    if (dropped_) {
        return Silent();
    }
    const std::optional<FaultAction> fault = CommandFaultFor(line);
    if (fault == FaultAction::Silence) {
        return Silent();
    }
    if (fault == FaultAction::Garbage) {
        return Garbage();
    }
    Response response = Answer(line);
    if (fault == FaultAction::Late) {
        response.lateMs = faults_.lateReplyMs;
    }
    return response;
}

Response Device::Answer(std::string_view line) {
    if (line == "BDR96") {
        return Line("(ACK)", false, kSwitchedBaud);
    }
    if (line == "I") {
        return Line(config_.versionText);
    }
    if (auto processor = AddressedBy(line)) {
        addressed_ = processor;
    }
    if (!addressed_) {
        return Silent();
    }
    Loader& loader = LoaderFor(*addressed_);
    switch (loader.generation) {
        case Generation::Old:
            return HandleOld(loader, line);
        case Generation::New:
            return HandleNew(loader, line);
        case Generation::None:
            break;
    }
    return Silent();
}

void Device::EndSession() {
    addressed_.reset();
    sessionBlocks_ = 0;
    dropped_ = false;
    for (Loader* loader : {&dsp_, &mcu_}) {
        if (loader->generation == Generation::Old) {
            loader->state = LoaderState{};
        }
    }
}

void Device::SetFaults(Faults faults) {
    faults.garbageBytes = std::min(faults.garbageBytes, kMaxGarbageBytes);
    faults_ = std::move(faults);
    faultUses_.assign(faults_.commands.size(), 0);
}

LoaderState Device::State(Processor processor) const {
    return processor == Processor::Dsp ? dsp_.state : mcu_.state;
}

void Device::SetState(Processor processor, LoaderState state) {
    LoaderFor(processor).state = state;
}

Device::Loader& Device::LoaderFor(Processor processor) {
    return processor == Processor::Dsp ? dsp_ : mcu_;
}

std::optional<FaultAction> Device::CommandFaultFor(std::string_view line) {
    for (std::size_t i = 0; i < faults_.commands.size(); ++i) {
        const CommandFault& fault = faults_.commands[i];
        if (!line.starts_with(fault.prefix) || (fault.times > 0 && faultUses_[i] >= fault.times)) {
            continue;
        }
        ++faultUses_[i];
        return fault.action;
    }
    return std::nullopt;
}

Response Device::HandleOld(Loader& loader, std::string_view line) {
    const OldVocabulary& v = loader.processor == Processor::Dsp ? kOldDsp : kOldMcu;
    LoaderState& state = loader.state;
    if (Contains(v.ignored, line)) {
        return Silent();
    }
    if (line == v.connect) {
        return Line(v.connectReply);
    }
    if (line == v.name) {
        return Line(v.nameReply);
    }
    if (line == v.erase) {
        Erase(state);
        return Line(v.eraseReply, true);
    }
    if (line == v.start) {
        if (state.stage < 2) {
            return Line(v.reject);
        }
        state.stage = 3;
        return Line(v.startReply);
    }
    if (line == "SUM") {
        return SumReply(loader);
    }
    if (line == "SV") {
        state.stage = 1;
        return Line("SV");
    }
    return StoreOldRecord(loader, line);
}

Response Device::StoreOldRecord(Loader& loader, std::string_view record) {
    if (auto interrupted = InterruptBlock()) {
        return *interrupted;
    }
    const OldVocabulary& v = loader.processor == Processor::Dsp ? kOldDsp : kOldMcu;
    LoaderState& state = loader.state;
    const int number = state.lastBlock + 1;
    const auto add = StoredSum(loader.processor, record, false);
    if (state.stage == 3 && state.lastBlock > 0 && record == loader.lastRecord) {
        return Line(v.accept);
    }
    if (state.stage != 3 || number == faults_.rejectBlock || !add) {
        return Line(v.reject);
    }
    loader.lastRecord = record;
    state.lastBlock = number;
    state.sum = static_cast<std::uint16_t>(state.sum + *add);
    ++sessionBlocks_;
    return Line(v.accept);
}

Response Device::HandleNew(Loader& loader, std::string_view line) {
    const NewVocabulary& v = loader.processor == Processor::Dsp ? kNewDsp : kNewMcu;
    LoaderState& state = loader.state;
    if (Contains(v.status, line)) {
        return StatusReply(state);
    }
    if (line == v.erase) {
        Erase(state);
        return Line("ST2", true);
    }
    if (line == v.start) {
        if (state.stage < 2) {
            return StatusReply(state);
        }
        state.stage = 3;
        return Line("ST3");
    }
    if (line.starts_with("SD_")) {
        return StoreNewBlock(loader, line);
    }
    if (line == "SUM") {
        return SumReply(loader);
    }
    if (line == v.close) {
        state = LoaderState{};
        return Line(v.closeReply);
    }
    return Silent();
}

Response Device::StoreNewBlock(Loader& loader, std::string_view command) {
    if (auto interrupted = InterruptBlock()) {
        return *interrupted;
    }
    LoaderState& state = loader.state;
    std::size_t digits = 0;
    const std::string_view rest = command.substr(3);
    const std::optional<int> number = LeadingNumber(rest, digits);
    if (state.stage != 3 || !number || *number < 1 || *number == faults_.rejectBlock) {
        return StatusReply(state);
    }
    if (*number > state.lastBlock) {
        const auto add = StoredSum(loader.processor, rest.substr(digits), true);
        if (*number != state.lastBlock + 1 || !add) {
            return StatusReply(state);
        }
        state.lastBlock = *number;
        state.sum = static_cast<std::uint16_t>(state.sum + *add);
    }
    ++sessionBlocks_;
    char reply[32];
    std::snprintf(reply, sizeof reply, "ST4_%04d", *number);
    return Line(reply);
}

std::optional<Response> Device::InterruptBlock() {
    if (faults_.hangUpAfterBlocks && sessionBlocks_ >= *faults_.hangUpAfterBlocks) {
        Response r;
        r.kind = Response::Kind::HangUp;
        return r;
    }
    if (faults_.dropAfterBlocks && sessionBlocks_ >= *faults_.dropAfterBlocks) {
        dropped_ = true;
        return Silent();
    }
    return std::nullopt;
}

Response Device::SumReply(const Loader& loader) const {
    const auto sum = static_cast<std::uint16_t>(loader.state.sum + (faults_.wrongSum ? 1 : 0));
    char text[16];
    std::snprintf(text, sizeof text, "SUM%04X", static_cast<unsigned>(sum));
    return Line(text);
}

Response Device::Garbage() const {
    constexpr std::string_view kPattern = "#GARBAGE-";
    Response r;
    r.kind = Response::Kind::Reply;
    r.bytes.reserve(faults_.garbageBytes);
    for (std::size_t i = 0; i < faults_.garbageBytes; ++i) {
        r.bytes += kPattern[i % kPattern.size()];
    }
    return r;
}

}  // namespace devsim
