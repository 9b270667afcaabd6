#pragma once

#include <cstddef>
#include <string>

// Writes an MCU image of S2 records carrying `dataBytes` bytes each, at rising
// addresses from 0 (wrapping at 24 bits), until `records` records or `bytes` bytes
// of text were written, whichever comes first; returns the number of records.
// Records are generated one at a time, so the writer holds no more than a line.
std::size_t WriteSRecordImage(const std::string& path, int dataBytes, std::size_t records,
                              std::size_t bytes);
