// Suggested tone settings from an image's luma histogram: how much of the picture lies in the
// shadows (levels 0..31) and in the highlights (192..255), and whether the darkest 1/4096 of
// the pixels reaches level 5.
#pragma once

#include <cstdint>

#include "engine_types.h"

// Three suggested values; the count says how many are valid (3, or 2 when s2 is not).
struct ParameterSuggestion {
    int32_t s0;
    int32_t s1;
    int32_t s2;
};

// Fixed-range suggestions. RESULT_OK; RESULT_INVALID_ARGUMENT for null pointers;
// RESULT_OUT_OF_MEMORY when a histogram cannot be allocated (nothing written).
int SuggestParameters(MemoryContext memory, const ImageDesc *image, ParameterSuggestion *suggestion,
                      int32_t *count);

// Suggestions scaled to the maximum c. RESULT_INVALID_ARGUMENT (nothing written) when a >= 0,
// b <= 0 or c <= 0, or for null pointers; a and b serve only in that test. RESULT_OUT_OF_MEMORY
// as above.
int SuggestParametersScaled(MemoryContext memory, const ImageDesc *image, int32_t a, int32_t b,
                            int32_t c, ParameterSuggestion *suggestion, int32_t *count);
