#pragma once

// Small images the simulated device takes, for tests that run whole updates.

// A DSP image of six lines with the checkpoint record in the middle.
inline const char* const kDspImage =
    ":020000040000FA\n"
    ":0400100012345678D8\n"
    ":04200000AABBCCDDCE\n"
    ":043FFE0001020304B5\n"
    ":044000001111222256\n"
    ":00000001FF\n";

// An MCU image of five blocks with the checkpoint record as the third.
inline const char* const kMcuImage =
    "S00600004844521B\n"
    "S2080000000102FFAA4B\n"
    "S2060000100A0BD4\n"
    "S206023FFE0F0F9C\n"
    "S2060140000102B5\n"
    "S2060140100304A1\n"
    "S804000000FB\n";
