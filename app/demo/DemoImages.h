#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Single records with correct checksums: ':' LL AAAA TT data CC and 'S2' NN AAAAAA data CC.
std::string IntelHexRecord(uint16_t address, uint8_t type, const std::vector<uint8_t>& data);
std::string S2Record(uint32_t address, const std::vector<uint8_t>& data);

// Sample images for trying the tool against the simulated device: `dataRecords`
// records of 16 bytes each, then the checkpoint record the verification runs at
// (DSP address 3FFE, MCU address 023FFE), in valid Intel HEX and S-record text.
std::string MakeDemoDspImage(int dataRecords);
std::string MakeDemoMcuImage(int dataRecords);

// Writes dsp.hex, mcu_old.mot and mcu_new.mot into `directory`; false when a file
// could not be written whole.
bool WriteDemoImages(const std::string& directory, int dataRecords);
