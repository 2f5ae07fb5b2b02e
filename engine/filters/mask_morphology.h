// Erosion and dilation of 0/255 masks by one pixel per pass in the 4-neighbourhood, in place.
#pragma once

#include <cstdint>

// Neighbours are the pixels left, right, above and below that lie inside the mask: the
// outside never counts, so an all-255 mask survives erosion and an all-0 mask dilation.
// Masks of any size from 1 x 1 are handled. passes <= 0 leaves the mask unchanged.
// Results: RESULT_OK, or RESULT_INVALID_ARGUMENT (null mask, negative size, pitch below the
// width) with the mask untouched.
int32_t ErodeMask(uint8_t *mask, int32_t pitch, int32_t width, int32_t height, int32_t passes);
int32_t DilateMask(uint8_t *mask, int32_t pitch, int32_t width, int32_t height, int32_t passes);
