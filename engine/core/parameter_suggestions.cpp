// Parameter suggestions from the shadow and highlight shares of the luma histogram.
#include "parameter_suggestions.h"

#include <algorithm>

#include "exposure_gain.h"
#include "memory.h"

namespace {

// The histogram figures the suggestions rest on.
struct LumaShares {
    int32_t low;         // first level where the running count exceeds pixels / 4096, else 0
    int64_t shadows;     // percent of pixels at levels 0..31
    int64_t highlights;  // percent of pixels at levels 192..255
};

LumaShares SharesOf(const int32_t *histogram, const ImageDesc &image) {
    const int64_t pixels = static_cast<int64_t>(image.i32Width) * image.i32Height;
    const int64_t divisor = pixels == 0 ? 1 : pixels;
    LumaShares shares = {0, 0, 0};
    int64_t running = 0;
    for (int v = 0; v < 256; ++v) {
        running += histogram[v];
        if (running > pixels / 4096) {
            shares.low = v;
            break;
        }
    }
    int64_t dark = 0;
    int64_t bright = 0;
    for (int v = 0; v < 32; ++v) dark += histogram[v];
    for (int v = 192; v < 256; ++v) bright += histogram[v];
    shares.shadows = 100 * dark / divisor;
    shares.highlights = 100 * bright / divisor;
    return shares;
}

// The image's luma histogram in an allocated scratch block, reduced to its shares.
int MeasureShares(MemoryContext memory, const ImageDesc &image, LumaShares *shares) {
    int32_t *histogram = AllocateZeroed<int32_t>(memory, 256);
    if (!histogram) return RESULT_OUT_OF_MEMORY;
    const int result = ComputeLumaHistogram(memory, &image, histogram);
    if (result == RESULT_OK) *shares = SharesOf(histogram, image);
    FreeMemory(memory, histogram);
    return result;
}

int32_t Clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

int SuggestParameters(MemoryContext memory, const ImageDesc *image, ParameterSuggestion *suggestion,
                      int32_t *count) {
    if (!image || !suggestion || !count) return RESULT_INVALID_ARGUMENT;
    LumaShares m;
    const int result = MeasureShares(memory, *image, &m);
    if (result != RESULT_OK) return result;
    const int64_t deep = m.shadows >= 30 ? 1 : 0;
    *suggestion = {0, 0, 0};
    suggestion->s0 = static_cast<int32_t>(2 + deep);
    suggestion->s1 =
        Clamp32(-std::max<int64_t>(std::min<int64_t>(m.highlights / 4 - 2, 6), -1 - deep));
    *count = 2;
    if (m.low < 5) {
        suggestion->s2 =
            Clamp32(std::max<int64_t>(std::min<int64_t>(m.shadows / 10 + 2, 6), 3 + deep));
        *count = 3;
    }
    return RESULT_OK;
}

int SuggestParametersScaled(MemoryContext memory, const ImageDesc *image, int32_t a, int32_t b,
                            int32_t c, ParameterSuggestion *suggestion, int32_t *count) {
    if (!image || !suggestion || !count || a >= 0 || b <= 0 || c <= 0)
        return RESULT_INVALID_ARGUMENT;
    LumaShares m;
    const int result = MeasureShares(memory, *image, &m);
    if (result != RESULT_OK) return result;
    const int64_t scale = c;
    *suggestion = {0, 0, 0};
    const int64_t s0 = m.shadows >= 40 ? scale : scale * m.shadows / 40;
    suggestion->s0 = Clamp32(s0);
    suggestion->s1 =
        Clamp32(-std::max<int64_t>(std::min<int64_t>(scale * m.highlights / 8, 5), 1 - s0));
    *count = 2;
    if (m.low < 5) {
        suggestion->s2 = Clamp32(
            std::max<int64_t>(std::min<int64_t>(scale / 3 + scale * m.shadows / 40, 5), s0 + 1));
        *count = 3;
    }
    return RESULT_OK;
}
