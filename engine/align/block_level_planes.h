// Level differences on the padded 32-pixel block grid, which tell the band renderers how far
// an exposure's level sits from the reference's at each block, and the highlight-recovery
// mask. Level tables are the fusion table's layout: dark levels at 0, bright at 256,
// reference at 512 (12-bit linear per 8-bit code); cmp is the 12-bit to 8-bit compression.
// Block values used as table indices are held to 0..255 and table values to 0..4095.
#pragma once

#include <cstdint>

#include "core/hdr_engine.h"

// With a (at least -256) the largest and b (at most 0) the smallest of
// cmp[T[704 + i]] - (192 + i) over i = 0..31, every reference cell r becomes
// max(b, e) with e = max(cmp[T[d]], cmp[T[512 + r]]) - r, held at a where r < 192.
int LimitHighlightExcess(HdrSession *session, const int16_t *dark, int16_t *reference,
                         int32_t width, int32_t rows, const uint16_t *levels,
                         const uint8_t *compress);
// The same rule from the bright levels (read at 1/2^valueShift of their scale) with limits
// from T[528..543]; held at a where r > 32.
int LimitHighlightExcess16(HdrSession *session, const int16_t *bright, int16_t *reference,
                           int32_t width, int32_t rows, const uint16_t *levels,
                           const uint8_t *compress);
// Copies source to destination, then every interior cell above 20 with at least two of its
// four neighbours below 10 takes the smallest of -10 and those neighbours.
int DespeckleBlockPlane(const int16_t *source, int16_t *destination, int32_t width, int32_t rows);
// Mode 0: d = max(K, cmp[T[512 + r]] - d), K the smallest cmp[T[k]] - k over k = 1..32.
// Mode 2: d = a below 32, else max(a, cmp[T[d]] - d), with a = cmp[T[32]] - 32.
// Mode 1: d = min(M, max(K, cmp[T[d]] - d)), M the largest of 0 and cmp[T[k]] - k, k = 1..31.
// Other modes: RESULT_INVALID_ARGUMENT.
int ComputeBlockLevelDifference(int16_t *plane, const int16_t *reference, int32_t width,
                                int32_t rows, const uint16_t *levels, const uint8_t *compress,
                                int32_t mode);
// recoveryMaskGrid := 255 on the 3 x 3 neighbourhoods of the cells where the reference block
// luma exceeds sceneThresholds[1], except cells with a dark weight whose highlight excess
// (paddedBlockPlanes[2]) is above 15; 0 elsewhere. The chroma planes are not read.
int BuildRecoveryMask(MemoryContext memory, HdrSession *session, const int16_t *referenceU,
                      const int16_t *referenceV, const int16_t *darkU, const int16_t *darkV,
                      const int16_t *referenceLuma, int32_t width, int32_t rows);
