#pragma once

// Image records as the device's loaders read them. This is the device's own
// reading of the record text, written independently of the tool: the simulator
// must be able to catch the tool's mistakes, not repeat them.
//
// Positions count from 0 in the record text without its CR.
//   Intel HEX (DSP):  ':' LL AAAA TT data... CC   summed when character 8 is '0'
//   S-record (MCU):   'S' T NN AAAAAA data... CC  summed when it is an S2 record

#include <cstdint>
#include <optional>
#include <string_view>

namespace devsim::records {

// Value of one hexadecimal digit, either case. Any other character counts 35,
// which is how the images are summed on both sides of the line.
int HexDigit(char c);

// Sum of the 16-bit words of an Intel HEX record's data field (four digits per
// word, most significant first, an odd last byte taking the two checksum digits
// as its low half), wrapped to 16 bits. Empty when the record is shorter than its
// byte count says: the loader cannot store such a record.
std::optional<std::uint16_t> DspRecordSum(std::string_view record);

// Sum of the data bytes of an S-record (count N, N-4 data bytes from character
// 10), wrapped to 16 bits. Empty when the record is shorter than its count says.
std::optional<std::uint16_t> McuRecordSum(std::string_view record);

// A DSP record whose type digit (character 8) is '0' carries data the loader sums.
bool IsDspDataRecord(std::string_view record);
// The DSP checkpoint record: address (characters 3-6) reads "3FFE".
bool IsDspCheckpoint(std::string_view record);
// An S2 record (type digit '2' at character 1).
bool IsMcuS2Record(std::string_view record);
// The MCU checkpoint record: characters 5-9 read "23FFE".
bool IsMcuCheckpoint(std::string_view record);

}  // namespace devsim::records
