// Constant lookup tables shared by every session.
#pragma once

#include <cstdint>

extern const uint16_t kGammaExpandTable[256];    // 8-bit sRGB code -> 12-bit linear
extern const uint8_t kGammaCompressTable[4096];  // 12-bit linear -> 8-bit sRGB code
extern const uint8_t kBitCountTable[256];
extern const uint16_t kWeightTable[256];
extern const double log2Table[256];              // log2(1 + i / 255), six decimals
