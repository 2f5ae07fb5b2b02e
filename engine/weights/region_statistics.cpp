// Windowed byte histograms and the choice of an image by histogram entropy.
#include <cmath>

#include "auxiliary_tools.h"
#include "core/memory.h"

int32_t RegionHistogram(const uint8_t *plane, int32_t height, int32_t width, int32_t pitch,
                        int32_t *histogram, const PixelRect *rect) {
    if (histogram) FillBytes(histogram, 0, 256 * sizeof(int32_t));
    if (!plane || !histogram || width < 0 || height < 0 || pitch < width) return RESULT_INVALID_ARGUMENT;
    PixelRect r = rect ? *rect : PixelRect{0, 0, width, height};
    // A rectangle reaching past the plane counts only the part inside it.
    if (r.x0 < 0) r.x0 = 0;
    if (r.y0 < 0) r.y0 = 0;
    if (r.x1 > width) r.x1 = width;
    if (r.y1 > height) r.y1 = height;
    for (int32_t y = r.y0; y < r.y1; ++y) {
        const uint8_t *row = plane + static_cast<size_t>(y) * pitch;
        for (int32_t x = r.x0; x < r.x1; ++x) ++histogram[row[x]];
    }
    return RESULT_OK;
}

namespace {

double HistogramEntropy(const int32_t *histogram, int64_t pixels) {
    double h = 0.0;
    for (int v = 0; v < 256; ++v) {
        const double p = static_cast<double>(histogram[v]) / static_cast<double>(pixels);
        h -= p * std::log(p + 0.00001);
    }
    return h;
}

}  // namespace

int32_t PickHighestEntropyImage(MemoryContext, ImageDesc *const *images, int32_t count,
                                int32_t *index, float *entropy) {
    if (!images || count < 1 || !index || !entropy) return RESULT_INVALID_ARGUMENT;
    for (int32_t i = 0; i < count; ++i) {
        const ImageDesc *image = images[i];
        if (!image || !image->ppu8Plane[0] || image->i32Width < 1 || image->i32Height < 1 ||
            image->pi32Pitch[0] < image->i32Width)
            return RESULT_INVALID_ARGUMENT;
    }
    int32_t histogram[256];
    int32_t best = 0;
    double bestEntropy = 0.0;
    for (int32_t i = 0; i < count; ++i) {
        const ImageDesc &image = *images[i];
        RegionHistogram(image.ppu8Plane[0], image.i32Height, image.i32Width, image.pi32Pitch[0], histogram, nullptr);
        const double h = HistogramEntropy(histogram, int64_t{image.i32Width} * image.i32Height);
        if (h > bestEntropy) {
            bestEntropy = h;
            best = i;
        }
    }
    *index = best;
    *entropy = static_cast<float>(bestEntropy);
    return RESULT_OK;
}
