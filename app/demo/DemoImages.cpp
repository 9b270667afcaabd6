#include "app/demo/DemoImages.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

constexpr int kRecordBytes = 16;
constexpr uint32_t kMcuFirstAddress = 0x020000;  // clear of the range the tool never sends
constexpr uint32_t kDspCheckpointAddress = 0x3FFE;
constexpr uint32_t kMcuCheckpointAddress = 0x023FFE;

using Bytes = std::vector<uint8_t>;

std::string Hex(const Bytes& bytes) {
    std::string text;
    char digits[3];
    for (const uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += digits;
    }
    return text;
}

uint8_t ByteSum(const Bytes& bytes) {
    uint8_t sum = 0;
    for (const uint8_t byte : bytes) {
        sum = static_cast<uint8_t>(sum + byte);
    }
    return sum;
}

// Some varied data, the same on every run.
Bytes SampleData(int record, int count) {
    Bytes data;
    for (int i = 0; i < count; ++i) {
        data.push_back(static_cast<uint8_t>(record * 31 + i * 7 + 0x15));
    }
    return data;
}

bool WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    return !out.fail();
}

}  // namespace

// ':' LL AAAA TT data CC, where CC makes all bytes sum to 0.
std::string IntelHexRecord(uint16_t address, uint8_t type, const Bytes& data) {
    Bytes fields = {static_cast<uint8_t>(data.size()), static_cast<uint8_t>(address >> 8),
                    static_cast<uint8_t>(address), type};
    fields.insert(fields.end(), data.begin(), data.end());
    fields.push_back(static_cast<uint8_t>(-ByteSum(fields)));
    return ":" + Hex(fields);
}

// 'S2' NN AAAAAA data CC, where CC is the ones' complement of the sum of the rest.
std::string S2Record(uint32_t address, const Bytes& data) {
    Bytes fields = {static_cast<uint8_t>(data.size() + 4), static_cast<uint8_t>(address >> 16),
                    static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
    fields.insert(fields.end(), data.begin(), data.end());
    fields.push_back(static_cast<uint8_t>(~ByteSum(fields)));
    return "S2" + Hex(fields);
}

std::string MakeDemoDspImage(int dataRecords) {
    std::string image = ":020000040000FA\r\n";
    for (int n = 0; n < dataRecords; ++n) {
        const auto address = static_cast<uint16_t>(n * kRecordBytes);
        image += IntelHexRecord(address, 0, SampleData(n, kRecordBytes)) + "\r\n";
    }
    image += IntelHexRecord(kDspCheckpointAddress, 0, SampleData(dataRecords, 2)) + "\r\n";
    image += ":00000001FF\r\n";
    return image;
}

std::string MakeDemoMcuImage(int dataRecords) {
    std::string image = "S00600004844521B\r\n";
    for (int n = 0; n < dataRecords; ++n) {
        const uint32_t address = kMcuFirstAddress + static_cast<uint32_t>(n * kRecordBytes);
        image += S2Record(address, SampleData(n, kRecordBytes)) + "\r\n";
    }
    image += S2Record(kMcuCheckpointAddress, SampleData(dataRecords, 2)) + "\r\n";
    image += "S804000000FB\r\n";
    return image;
}

bool WriteDemoImages(const std::string& directory, int dataRecords) {
    const std::string mcu = MakeDemoMcuImage(dataRecords);
    return WriteFile(directory + "/dsp.hex", MakeDemoDspImage(dataRecords)) &&
           WriteFile(directory + "/mcu_old.mot", mcu) && WriteFile(directory + "/mcu_new.mot", mcu);
}
