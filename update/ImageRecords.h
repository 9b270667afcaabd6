#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Reading the fields of one image line (Intel HEX for the DSP, Motorola S-records
// for the MCU) and the per-record sums the flash verification rests on.
//
// Every function takes the line as read, without its line end, and reads only
// characters inside it: a character position past the end of the line reads as the
// digit 0. None of them validates hex digits; CheckDspLine / CheckMcuLine say
// whether an image line is one the tool will send.

// The longest line either image format can express: an Intel HEX record with 255
// data bytes (1 + 2 + 4 + 2 + 510 + 2 characters). An S-record is at most 514.
inline constexpr std::size_t kMaxImageLineLength = 521;

// The largest records the sums are defined for (the loaders buffer no more).
inline constexpr unsigned kMaxDspSummedDataBytes = 126;
inline constexpr unsigned kMaxMcuSummedCount = 131;

// S2 addresses from here to kMcuSkippedLast inclusive are never sent.
inline constexpr uint32_t kMcuSkippedFirst = 0xC000;
inline constexpr uint32_t kMcuSkippedLast = 0x13FFF;

// "0"-"9", "A"-"F", "a"-"f" give 0-15; every other character gives 35.
uint8_t HexDigitValue(char c);

// Six characters of hex text, most significant first. A non-hex character adds its
// character code instead of a digit value (the conversion does not validate).
uint32_t ParseHex24(std::string_view text);

// Sum of the 16-bit data words of an Intel HEX line (data from character 9, four
// digits per word, LL / 2 words rounded up), AND 0xFFFF.
uint16_t DspRecordSum(std::string_view line);

// Sum of the data bytes of an S2 line (N - 4 pairs from character 10), AND 0xFFFF.
uint16_t McuRecordSum(std::string_view line);

// dsp.hex: characters 3-6 read 3FFE (upper case only).
bool IsDspCheckpoint(std::string_view line);
// dsp.hex: character 8 is "0" (a data record, whose data is summed).
bool IsDspSummed(std::string_view line);

// MCU images: characters 5-9 read 23FFE (character 4 is not compared).
bool IsMcuCheckpoint(std::string_view line);
// MCU images: character 1 is "2".
bool IsMcuS2(std::string_view line);
// MCU images: an S2 line whose address (characters 4-9) lies outside
// kMcuSkippedFirst..kMcuSkippedLast. Only these lines are counted and sent.
bool IsMcuBlock(std::string_view line);

// Why an image line cannot be used. Lines with a fault are never sent: the count
// refuses the whole image before any command reaches the device.
enum class LineFault {
    None,
    TooLong,           // more than kMaxImageLineLength characters
    NotText,           // a byte outside printable ASCII (binary data, NUL, a stray CR)
    RecordTooLong,     // a summed record larger than the sums are defined for
    RecordTruncated,   // a record shorter than its count field says
    AddressTruncated,  // an S2 line too short to hold its address
    RecordNotHex,      // a record whose count, address, data or checksum is not hex digits
    ChecksumWrong      // a record whose own checksum does not match its bytes
};

// A dsp.hex line. Every line is sent as it is; a line that begins with ":" is an
// Intel HEX record and must be whole with a matching checksum. Other lines (an
// empty one, say) are sent unchecked beyond being text.
LineFault CheckDspLine(std::string_view line);
// A line of an MCU image. A line that begins with "S" and a digit is an S-record
// and must be whole with a matching checksum; S2 lines are checked further.
LineFault CheckMcuLine(std::string_view line);
