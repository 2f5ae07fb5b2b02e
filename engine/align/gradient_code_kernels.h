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

// The codes of `rows` consecutive level rows: row r's samples start at centre + r rowStep and
// its codes at out + r outPitch. One call per tile keeps the short rows of the finer levels'
// tiles in one loop.
void GradientCodeBlock_C(const uint8_t *centre, int64_t rowStep, int32_t step, int32_t count,
                         int32_t rows, uint8_t *out, int64_t outPitch);
void GradientCodeBlock_SSE2(const uint8_t *centre, int64_t rowStep, int32_t step, int32_t count,
                            int32_t rows, uint8_t *out, int64_t outPitch);
// The one Sse2KernelsEnabled() picks.
void GradientCodeBlockKernel(const uint8_t *centre, int64_t rowStep, int32_t step, int32_t count,
                             int32_t rows, uint8_t *out, int64_t outPitch);
