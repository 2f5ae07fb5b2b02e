// Row kernel of the aligner's gradient codes: out[k] = (above - below > 4 ? 1 : 0) |
// (left - right > 4 ? 2 : 0) around sample k of a level row, for k < count, samples step bytes
// apart and rows rowStep bytes apart. The plain reference and an SSE2 version that gives the
// same codes and reads no sample the plain one does not.
#pragma once

#include <cstdint>

void GradientCodeRow_C(const uint8_t *centre, int64_t rowStep, int32_t step, int32_t count,
                       uint8_t *out);
// Vector steps for samples 1, 2 or 4 bytes apart, gathered runs for samples further
// apart, the plain kernel for the rest and where SSE2 is not built in.
void GradientCodeRow_SSE2(const uint8_t *centre, int64_t rowStep, int32_t step, int32_t count,
                          uint8_t *out);
// The one FastKernelsEnabled() picks.
void GradientCodeRowKernel(const uint8_t *centre, int64_t rowStep, int32_t step, int32_t count,
                           uint8_t *out);
