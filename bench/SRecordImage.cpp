#include "SRecordImage.h"

#include <cstdint>
#include <cstdio>
#include <fstream>

namespace {

// One S2 record with a correct checksum, CR LF ended; returns its length.
int FormatRecord(char* out, std::size_t size, uint32_t address, int dataBytes) {
    const int count = dataBytes + 4;  // address (3), data, checksum (1)
    unsigned sum = static_cast<unsigned>(count) + (address >> 16 & 0xFF) + (address >> 8 & 0xFF) +
                   (address & 0xFF);
    int n = std::snprintf(out, size, "S2%02X%06X", count, address);
    for (int i = 0; i < dataBytes; ++i) {
        const unsigned byte = (address + static_cast<unsigned>(i)) & 0xFF;
        sum += byte;
        n += std::snprintf(out + n, size - static_cast<std::size_t>(n), "%02X", byte);
    }
    n += std::snprintf(out + n, size - static_cast<std::size_t>(n), "%02X\r\n", ~sum & 0xFF);
    return n;
}

}  // namespace

std::size_t WriteSRecordImage(const std::string& path, int dataBytes, std::size_t records,
                              std::size_t bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    char record[600];
    std::size_t written = 0;
    std::size_t count = 0;
    uint32_t address = 0;
    while (count < records && written < bytes && out) {
        const int n = FormatRecord(record, sizeof record, address, dataBytes);
        out.write(record, n);
        written += static_cast<std::size_t>(n);
        ++count;
        address = (address + static_cast<uint32_t>(dataBytes)) & 0xFFFFFF;
    }
    return count;
}
