// The device's protocol without the pty: the conversations the tool holds with
// each loader, and the faults.

#include <gtest/gtest.h>

#include <string>

#include "tools/devsim/Device.h"

namespace devsim {
namespace {

constexpr const char* kSilence = "<silence>";
// Data records and their sums (worked examples of the image format).
constexpr const char* kDspData = ":0400100012345678E2";     // 0x68AC
constexpr const char* kDspData2 = ":02002000ABCD86";        // 0xABCD
constexpr const char* kDspCheckpoint = ":023FFE00111100";   // 0x1111, the checkpoint
constexpr const char* kDspEnd = ":00000001FF";              // not a data record
constexpr const char* kMcuData = "S2080000000102FFAA4B";    // 0x1AC
constexpr const char* kMcuData2 = "S2060000100A0B00";       // 0x15
constexpr const char* kMcuCheckpoint = "S206023FFE0F0F00";  // 0x1E, the checkpoint

// The reply text without its CR, or kSilence.
std::string Ask(Device& device, const std::string& command) {
    const Response r = device.Handle(command);
    if (r.kind == Response::Kind::HangUp) {
        return "<hang-up>";
    }
    if (r.kind == Response::Kind::Silence) {
        return kSilence;
    }
    return !r.bytes.empty() && r.bytes.back() == '\r' ? r.bytes.substr(0, r.bytes.size() - 1)
                                                      : r.bytes;
}

Device Make(Generation dsp, Generation mcu) {
    DeviceConfig config;
    config.dsp = dsp;
    config.mcu = mcu;
    return Device(config);
}

TEST(Device, BaudSwitchAndVersion) {
    Device device = Make(Generation::New, Generation::New);
    const Response ack = device.Handle("BDR96");
    EXPECT_EQ(ack.bytes, "(ACK)\r");
    EXPECT_EQ(ack.baudAfter, 9600);
    EXPECT_EQ(Ask(device, "I"), "TOVRANE-SIM V1.00");
    EXPECT_GE(Ask(device, "I").size(), 9U);
    EXPECT_EQ(Ask(device, "i"), kSilence);
}

TEST(Device, OldDspFullConversation) {
    Device device = Make(Generation::Old, Generation::None);
    for (int i = 0; i < 7; ++i) {  // the tool's detection sends it up to seven times
        EXPECT_EQ(Ask(device, ":dsp001"), ":dsp");
    }
    EXPECT_EQ(Ask(device, ":dsp"), ":efh");
    EXPECT_EQ(Ask(device, kDspData), ":r") << "records are refused before the erase and start";
    const Response erase = device.Handle(":efh");
    EXPECT_EQ(erase.bytes, ":st\r");
    EXPECT_TRUE(erase.afterErase);
    EXPECT_EQ(Ask(device, ":st"), ":R");
    EXPECT_EQ(Ask(device, kDspData), ":O");
    EXPECT_EQ(Ask(device, kDspData2), ":O");
    EXPECT_EQ(Ask(device, "SUM"), "SUM1479");  // 0x68AC + 0xABCD, wrapped
    EXPECT_EQ(Ask(device, kDspCheckpoint), ":O");
    EXPECT_EQ(Ask(device, kDspEnd), ":O");
    EXPECT_EQ(Ask(device, ""), ":O") << "an empty line of the image is a block too";
    EXPECT_EQ(Ask(device, "SUM"), "SUM258A") << "old loaders sum the checkpoint record";
    EXPECT_EQ(Ask(device, ":04001000123456"), ":r") << "a data record shorter than its count";
    EXPECT_EQ(Ask(device, std::string("SD_0006") + kDspData), ":r") << "not an Intel HEX line";
    EXPECT_EQ(Ask(device, "SV"), "SV");
    EXPECT_EQ(device.State(Processor::Dsp), (LoaderState{1, 5, 0x258A}));
    EXPECT_EQ(Ask(device, kDspData), ":r") << "programming ended";
}

TEST(Device, OldMcuFullConversation) {
    Device device = Make(Generation::None, Generation::Old);
    EXPECT_EQ(Ask(device, "MCU001"), kSilence);
    EXPECT_EQ(Ask(device, "mcu001"), "mcu");
    EXPECT_EQ(Ask(device, "mcu"), "se");
    EXPECT_EQ(Ask(device, "sp"), "Sr") << "start before the erase";
    EXPECT_EQ(Ask(device, "se"), "sp");
    EXPECT_EQ(Ask(device, "sp"), "SR");
    EXPECT_EQ(Ask(device, kMcuData), "SO");
    EXPECT_EQ(Ask(device, kMcuData2), "SO");
    EXPECT_EQ(Ask(device, "SUM"), "SUM01C1");
    EXPECT_EQ(Ask(device, kMcuCheckpoint), "SO");
    EXPECT_EQ(Ask(device, "S1060000100A0B00"), "SO") << "stored, not summed";
    EXPECT_EQ(Ask(device, "SUM"), "SUM01DF");
    EXPECT_EQ(Ask(device, "RES"), kSilence);
    EXPECT_EQ(Ask(device, std::string("SD_0005") + kMcuData), "Sr") << "not an S-record";
    EXPECT_EQ(Ask(device, "SV"), "SV");
}

// The new loaders differ only in their command names.
struct NewLoaderCase {
    Processor processor;
    const char* status;
    const char* erase;
    const char* start;
    const char* close;
    const char* closeReply;
    const char* data;        // summed
    const char* checkpoint;  // never summed
    const char* other;       // DSP: not a data record; MCU: a second data record
    const char* sumAfterAll;
};

class NewLoader : public testing::TestWithParam<NewLoaderCase> {
  protected:
    Device MakeDevice() const {
        return GetParam().processor == Processor::Dsp ? Make(Generation::New, Generation::None)
                                                      : Make(Generation::None, Generation::New);
    }
    static std::string Block(int n, const char* record) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "SD_%04d", n);
        return prefix + std::string(record);
    }
    // Status query, erase and start.
    static void Prepare(Device& device, const NewLoaderCase& c) {
        ASSERT_EQ(Ask(device, c.status), "ST1_0000");
        ASSERT_EQ(Ask(device, c.erase), "ST2");
        ASSERT_EQ(Ask(device, c.start), "ST3");
    }
};

TEST_P(NewLoader, FullConversation) {
    const NewLoaderCase& c = GetParam();
    Device device = MakeDevice();
    EXPECT_EQ(Ask(device, c.status), "ST1_0000");
    EXPECT_EQ(Ask(device, c.start), "ST1_0000") << "start is refused before the erase";
    const Response erase = device.Handle(c.erase);
    EXPECT_EQ(erase.bytes, "ST2\r");
    EXPECT_TRUE(erase.afterErase);
    EXPECT_EQ(Ask(device, c.status), "ST2_0000");
    EXPECT_EQ(Ask(device, c.start), "ST3");
    EXPECT_EQ(Ask(device, Block(1, c.data)), "ST4_0001");
    EXPECT_EQ(Ask(device, "SUM"), c.processor == Processor::Dsp ? "SUM68AC" : "SUM01AC");
    EXPECT_EQ(Ask(device, Block(2, c.checkpoint)), "ST4_0002");
    EXPECT_EQ(Ask(device, Block(3, c.other)), "ST4_0003");
    EXPECT_EQ(Ask(device, "SUM"), c.sumAfterAll);
    EXPECT_EQ(Ask(device, c.status), "ST3_0003");
    EXPECT_EQ(Ask(device, c.close), c.closeReply);
    EXPECT_EQ(device.State(c.processor), LoaderState{}) << "the update is over";
}

TEST_P(NewLoader, BlocksMustFollowEachOther) {
    const NewLoaderCase& c = GetParam();
    Device device = MakeDevice();
    ASSERT_EQ(Ask(device, c.status), "ST1_0000");
    EXPECT_EQ(Ask(device, Block(1, c.data)), "ST1_0000") << "no block before the start";
    Prepare(device, c);
    EXPECT_EQ(Ask(device, Block(2, c.data)), "ST3_0000") << "a gap";
    EXPECT_EQ(Ask(device, Block(0, c.data)), "ST3_0000");
    EXPECT_EQ(Ask(device, "SD_" + std::string(c.data)), "ST3_0000") << "no number";
    EXPECT_EQ(Ask(device, Block(1, c.data)), "ST4_0001");
    EXPECT_EQ(Ask(device, Block(1, c.data)), "ST4_0001") << "a repeat is acknowledged again";
    EXPECT_EQ(Ask(device, "SUM"), c.processor == Processor::Dsp ? "SUM68AC" : "SUM01AC")
        << "but not summed twice";
    const std::string shortRecord = std::string(c.data).substr(0, 14);
    EXPECT_EQ(Ask(device, Block(2, shortRecord.c_str())), "ST3_0001");
    EXPECT_EQ(Ask(device, "SD_12345" + std::string(c.data)), "ST3_0001");
    const char* foreign = c.processor == Processor::Dsp ? kMcuData : kDspData;
    EXPECT_EQ(Ask(device, Block(2, foreign)), "ST3_0001") << "the other processor's record";
}

TEST_P(NewLoader, KeepsItsStateAcrossConnectionsUntilErased) {
    const NewLoaderCase& c = GetParam();
    Device device = MakeDevice();
    Prepare(device, c);
    ASSERT_EQ(Ask(device, Block(1, c.data)), "ST4_0001");
    device.EndSession();
    EXPECT_EQ(Ask(device, "SUM"), kSilence) << "no loader addressed in the new connection";
    EXPECT_EQ(Ask(device, c.status), "ST3_0001");
    EXPECT_EQ(Ask(device, Block(2, c.checkpoint)), "ST4_0002");
    EXPECT_EQ(Ask(device, c.erase), "ST2");
    EXPECT_EQ(device.State(c.processor), (LoaderState{2, 0, 0}));
}

INSTANTIATE_TEST_SUITE_P(
    Processors, NewLoader,
    testing::Values(NewLoaderCase{Processor::Dsp, ":dsp001", ":efh", ":st", "SV", "ST6", kDspData,
                                  kDspCheckpoint, kDspEnd, "SUM68AC"},
                    NewLoaderCase{Processor::Mcu, "MCU001", "SE", "SP", "RES", "ST5", kMcuData,
                                  kMcuCheckpoint, kMcuData2, "SUM01C1"}),
    [](const testing::TestParamInfo<NewLoaderCase>& info) {
        return info.param.processor == Processor::Dsp ? "Dsp" : "Mcu";
    });

TEST(Device, NewDspAlsoAnswersTheBareNameAndIgnoresLowerCaseMcu) {
    Device device = Make(Generation::New, Generation::New);
    EXPECT_EQ(Ask(device, ":dsp"), "ST1_0000");
    EXPECT_EQ(Ask(device, "mcu001"), kSilence);
}

TEST(Device, OldLoadersStartEveryConnectionIdle) {
    Device device = Make(Generation::Old, Generation::Old);
    for (const char* command : {":dsp001", ":dsp", ":efh", ":st"}) {
        Ask(device, command);
    }
    ASSERT_EQ(Ask(device, kDspData), ":O");
    device.EndSession();
    EXPECT_EQ(device.State(Processor::Dsp), LoaderState{});
    EXPECT_EQ(Ask(device, ":dsp001"), ":dsp");
    EXPECT_EQ(Ask(device, kDspData), ":r");
}

TEST(Device, SharedCommandsGoToTheLoaderAddressedLast) {
    Device device = Make(Generation::New, Generation::Old);
    EXPECT_EQ(Ask(device, "SUM"), kSilence);
    EXPECT_EQ(Ask(device, ":dsp001"), "ST1_0000");
    EXPECT_EQ(Ask(device, "SV"), "ST6");
    EXPECT_EQ(Ask(device, "mcu001"), "mcu");
    EXPECT_EQ(Ask(device, "SV"), "SV");
}

TEST(Device, AbsentLoadersStaySilent) {
    Device device = Make(Generation::None, Generation::None);
    for (const char* command : {":dsp001", ":dsp", "MCU001", "mcu001", "SUM", "SV", "RES"}) {
        EXPECT_EQ(Ask(device, command), kSilence) << command;
    }
    EXPECT_EQ(Ask(device, "BDR96"), "(ACK)");
}

TEST(Device, InitialStateComesFromTheConfiguration) {
    DeviceConfig config;
    config.dspState = LoaderState{3, 100, 0x1234};
    config.mcuState = LoaderState{0, 0, 0};
    Device device(config);
    EXPECT_EQ(Ask(device, ":dsp001"), "ST3_0100");
    EXPECT_EQ(Ask(device, "SUM"), "SUM1234");
    EXPECT_EQ(Ask(device, "MCU001"), "ST0_0000");
}

TEST(DeviceFaults, SilenceAndGarbageByPrefixForTheFirstTimes) {
    Device device = Make(Generation::New, Generation::New);
    Faults faults;
    faults.commands = {{"BDR", FaultAction::Silence, 2}, {"I", FaultAction::Garbage, 0}};
    faults.garbageBytes = 2000;
    device.SetFaults(faults);
    EXPECT_EQ(Ask(device, "BDR96"), kSilence);
    EXPECT_EQ(Ask(device, "BDR96"), kSilence);
    EXPECT_EQ(Ask(device, "BDR96"), "(ACK)");
    const std::string garbage = Ask(device, "I");
    EXPECT_EQ(garbage.size(), 2000U);
    EXPECT_EQ(garbage.find('\r'), std::string::npos);
    EXPECT_EQ(Ask(device, "I").size(), 2000U) << "times 0: every time";
    device.SetFaults(faults);
    EXPECT_EQ(Ask(device, "BDR96"), kSilence) << "setting faults again restarts the counts";
}

TEST(DeviceFaults, RejectedBlockAndWrongSum) {
    Device device = Make(Generation::Old, Generation::New);
    Faults faults;
    faults.rejectBlock = 2;
    faults.wrongSum = true;
    device.SetFaults(faults);
    for (const char* command : {":dsp001", ":dsp", ":efh", ":st"}) {
        Ask(device, command);
    }
    EXPECT_EQ(Ask(device, kDspData), ":O");
    EXPECT_EQ(Ask(device, kDspData2), ":r") << "the second record";
    EXPECT_EQ(Ask(device, "SUM"), "SUM68AD");
    for (const char* command : {"MCU001", "SE", "SP"}) {
        Ask(device, command);
    }
    EXPECT_EQ(Ask(device, std::string("SD_0001") + kMcuData), "ST4_0001");
    EXPECT_EQ(Ask(device, std::string("SD_0002") + kMcuData2), "ST3_0001");
}

TEST(DeviceFaults, DropAfterBlocksLastsUntilTheConnectionEnds) {
    Device device = Make(Generation::New, Generation::New);
    Faults faults;
    faults.dropAfterBlocks = 1;
    device.SetFaults(faults);
    for (const char* command : {":dsp001", ":efh", ":st"}) {
        Ask(device, command);
    }
    EXPECT_EQ(Ask(device, std::string("SD_0001") + kDspData), "ST4_0001");
    EXPECT_EQ(Ask(device, std::string("SD_0002") + kDspData2), kSilence);
    EXPECT_EQ(Ask(device, "I"), kSilence);
    device.EndSession();
    EXPECT_EQ(Ask(device, ":dsp001"), "ST3_0001");
    EXPECT_EQ(Ask(device, std::string("SD_0002") + kDspData2), "ST4_0002")
        << "the count starts again with the connection";
}

TEST(DeviceFaults, HangUpAfterBlocks) {
    Device device = Make(Generation::None, Generation::Old);
    Faults faults;
    faults.hangUpAfterBlocks = 2;
    device.SetFaults(faults);
    for (const char* command : {"mcu001", "mcu", "se", "sp"}) {
        Ask(device, command);
    }
    EXPECT_EQ(Ask(device, kMcuData), "SO");
    EXPECT_EQ(Ask(device, kMcuData2), "SO");
    EXPECT_EQ(Ask(device, kMcuCheckpoint), "<hang-up>");
}

}  // namespace
}  // namespace devsim
