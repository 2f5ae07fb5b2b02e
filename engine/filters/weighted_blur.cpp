#include "weighted_blur.h"

#include <algorithm>

#include "filters/integral_row_cache.h"
#include "filters/row_windows.h"

using namespace row_windows;

namespace {

struct BlurCaches {
    MemoryContext memory;
    IntegralRowCache *weights = nullptr;   // sums of w'
    IntegralRowCache *products = nullptr;  // sums of I w'
    int32_t built = 0;                     // integral rows 0..built are present
    explicit BlurCaches(MemoryContext m) : memory(m) {}
    ~BlurCaches() {
        FreeIntegralRowCache(memory, &weights);
        FreeIntegralRowCache(memory, &products);
    }
    // Appends integral rows up to `last` (image rows below it).
    void BuildTo(const RowImage *image, const RowImage *w, int32_t last) {
        for (; built < last; ++built) {
            AppendIntegralRow8(weights, w, built, INTEGRAL_SUM);
            AppendIntegralRowProduct8(products, image, w, built);
        }
    }
    void ReleaseBelow(int32_t row) {
        ReleaseIntegralRowsBelow(weights, row);
        ReleaseIntegralRowsBelow(products, row);
    }
};

bool Check(const RowImage *image, const RowImage *weights, const RowImage *output, int32_t radius) {
    if (!IsPlane(image, 8) || !IsPlane(weights, 8) || !IsPlane(output, 8) ||
        !SameSize(image, weights) || !SameSize(image, output))
        return false;
    if (radius < 0 || radius > WEIGHTED_BLUR_MAX_RADIUS) return false;
    if (image->height > 0 && (output->rows[0] == weights->rows[0] || output->rows[0] == image->rows[0] ||
                              weights->rows[0] == image->rows[0]))
        return false;
    return true;
}

// The box of half-width gx and half-height gy around (x, y).
uint8_t BoxStep(const BlurCaches &c, const RowImage *image, int32_t x, int32_t y, int32_t gx,
                int32_t gy) {
    const int32_t x0 = std::max(0, x - gx), x1 = std::min(x + gx + 1, image->width);
    const RowSpan rows{std::max(0, y - gy), std::min(y + gy + 1, image->height)};
    const int32_t sw = Low32(WindowSum(c.weights, rows, x0, x1));
    if (sw == 0) return image->rows[y][x];
    return static_cast<uint8_t>(Low32(WindowSum(c.products, rows, x0, x1)) / sw);
}

void Invert(RowImage *weights) {
    for (int32_t y = 0; y < weights->height; ++y)
        for (int32_t x = 0; x < weights->width; ++x) weights->rows[y][x] = static_cast<uint8_t>(255 - weights->rows[y][x]);
}

// Creates the caches; the weights are inverted only once everything is in place.
bool Prepare(BlurCaches *c, const RowImage *image, RowImage *weights, int32_t slots) {
    slots = std::min(slots, image->height + 1);
    c->weights = CreateIntegralRowCache(c->memory, weights, slots);
    c->products = CreateIntegralRowCache(c->memory, image, slots);
    if (!c->weights || !c->products) return false;
    Invert(weights);
    return true;
}

}  // namespace

int32_t WeightedBlurEvenRows(MemoryContext memory, const RowImage *image, RowImage *weights,
                             int32_t radius, RowImage *output) {
    if (!Check(image, weights, output, radius)) return RESULT_INVALID_ARGUMENT;
    const int32_t width = image->width, height = image->height;
    if (width == 0 || height == 0) return RESULT_OK;
    BlurCaches c(memory);
    if (!Prepare(&c, image, weights, 2 * radius + 12)) return RESULT_OUT_OF_MEMORY;
    for (int32_t y = 0; y < height; y += 2) {
        if (y - radius - 2 > 0) c.ReleaseBelow(y - radius - 2);
        for (int32_t x = 0; x < width; ++x) {
            const int32_t g = weights->rows[y][x] * radius / 255;
            c.BuildTo(image, weights, std::min(y + g + 1, height));
            output->rows[y][x] = BoxStep(c, image, x, y, g, g);
        }
    }
    for (int32_t y = 1; y < height - 1; y += 2)
        for (int32_t x = 0; x < width; ++x)
            output->rows[y][x] = static_cast<uint8_t>((output->rows[y - 1][x] + output->rows[y + 1][x]) >> 1);
    // An even height leaves a last row with no row below it: it repeats the row above.
    if (height % 2 == 0)
        for (int32_t x = 0; x < width; ++x) output->rows[height - 1][x] = output->rows[height - 2][x];
    return RESULT_OK;
}

int32_t WeightedBlurWide(MemoryContext memory, const RowImage *image, RowImage *weights,
                         int32_t radius, RowImage *output) {
    if (!Check(image, weights, output, radius)) return RESULT_INVALID_ARGUMENT;
    const int32_t width = image->width, height = image->height;
    if (width == 0 || height == 0) return RESULT_OK;
    BlurCaches c(memory);
    if (!Prepare(&c, image, weights, 2 * radius + 5)) return RESULT_OUT_OF_MEMORY;
    int32_t halfWidth[256];
    for (int32_t i = 0; i < 256; ++i) halfWidth[i] = i * radius / 255;
    for (int32_t y = 0; y < height; ++y) {
        if (y - radius - 2 > 0) c.ReleaseBelow(y - radius - 2);
        c.BuildTo(image, weights, std::min(y + radius + 1, height));
        for (int32_t x = 0; x < width; ++x) {
            const int32_t g = halfWidth[weights->rows[y][x]];
            output->rows[y][x] = BoxStep(c, image, x, y, g, g / 2);
        }
    }
    return RESULT_OK;
}
