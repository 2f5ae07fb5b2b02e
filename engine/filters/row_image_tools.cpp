#include "row_image_tools.h"

#include <algorithm>
#include <cstdlib>

#include "filters/lab_tables.h"

namespace {

// An 8-bit image of at least the reference's size with at least `channels` channels
// (exactly one when one is asked for).
bool Fits(const RowImage *image, const RowImage *reference, int32_t channels) {
    if (!image || !image->rows || image->bitsPerChannel != 8) return false;
    if (channels == 1 ? image->channels != 1 : image->channels < channels) return false;
    return image->width >= reference->width && image->height >= reference->height;
}

bool IsReference(const RowImage *image, int32_t channels) {
    return image && image->width >= 0 && image->height >= 0 && (image->height == 0 || image->rows) &&
           image->bitsPerChannel == 8 &&
           (channels == 1 ? image->channels == 1 : image->channels >= channels);
}

// Applies value(x, y) -> byte to every sample of the output over the reference's size.
template <typename Value>
void ForEachSample(const RowImage *reference, RowImage *output, Value value) {
    for (int32_t y = 0; y < reference->height; ++y) {
        uint8_t *out = output->rows[y];
        for (int32_t x = 0; x < reference->width; ++x) out[x] = value(x, y);
    }
}

inline uint8_t AbsDiff(uint8_t a, uint8_t b) { return static_cast<uint8_t>(a > b ? a - b : b - a); }

}  // namespace

int32_t BgrToGrey(const RowImage *colour, RowImage *grey) {
    if (!IsReference(colour, 3) || !Fits(grey, colour, 1)) return RESULT_INVALID_ARGUMENT;
    const int32_t step = colour->channels;
    ForEachSample(colour, grey, [colour, step](int32_t x, int32_t y) {
        const uint8_t *p = colour->rows[y] + int64_t{x} * step;
        return static_cast<uint8_t>((11 * p[0] + 59 * p[1] + 30 * p[2]) / 100);
    });
    return RESULT_OK;
}

int32_t MaxOfChannels(const RowImage *colour, RowImage *output) {
    if (!IsReference(colour, 3) || !Fits(output, colour, 1)) return RESULT_INVALID_ARGUMENT;
    const int32_t step = colour->channels;
    ForEachSample(colour, output, [colour, step](int32_t x, int32_t y) {
        const uint8_t *p = colour->rows[y] + int64_t{x} * step;
        return std::max(p[0], std::max(p[1], p[2]));
    });
    return RESULT_OK;
}

int32_t AbsDiff8(const RowImage *a, const RowImage *b, RowImage *output) {
    if (!IsReference(a, 1) || !Fits(b, a, 1) || !Fits(output, a, 1)) return RESULT_INVALID_ARGUMENT;
    ForEachSample(a, output, [a, b](int32_t x, int32_t y) { return AbsDiff(a->rows[y][x], b->rows[y][x]); });
    return RESULT_OK;
}

int32_t MaxAbsDiff2(const RowImage *a, const RowImage *b, const RowImage *c, RowImage *output) {
    if (!IsReference(a, 1) || !Fits(b, a, 1) || !Fits(c, a, 1) || !Fits(output, a, 1))
        return RESULT_INVALID_ARGUMENT;
    ForEachSample(a, output, [a, b, c](int32_t x, int32_t y) {
        const uint8_t v = a->rows[y][x];
        return std::max(AbsDiff(v, b->rows[y][x]), AbsDiff(v, c->rows[y][x]));
    });
    return RESULT_OK;
}

int32_t MaxAbsDiff4(const RowImage *a, const RowImage *b, const RowImage *c, const RowImage *d,
                    const RowImage *e, RowImage *output) {
    if (!IsReference(a, 1) || !Fits(b, a, 1) || !Fits(c, a, 1) || !Fits(d, a, 1) ||
        !Fits(e, a, 1) || !Fits(output, a, 1))
        return RESULT_INVALID_ARGUMENT;
    ForEachSample(a, output, [a, b, c, d, e](int32_t x, int32_t y) {
        const uint8_t v = a->rows[y][x];
        return std::max(std::max(AbsDiff(v, b->rows[y][x]), AbsDiff(v, c->rows[y][x])),
                        std::max(AbsDiff(v, d->rows[y][x]), AbsDiff(v, e->rows[y][x])));
    });
    return RESULT_OK;
}

int32_t MaskOr(const RowImage *a, const RowImage *b, RowImage *output) {
    if (!IsReference(a, 1) || !Fits(b, a, 1) || !Fits(output, a, 1)) return RESULT_INVALID_ARGUMENT;
    ForEachSample(a, output, [a, b](int32_t x, int32_t y) {
        return static_cast<uint8_t>(a->rows[y][x] || b->rows[y][x] ? 255 : 0);
    });
    return RESULT_OK;
}

int32_t ExtractFirstByte(const RowImage *image, uint8_t *packed) {
    if (!image || !packed || image->bitsPerChannel != 8 || image->channels < 1 ||
        image->width < 0 || image->height < 0 || (image->height > 0 && !image->rows))
        return RESULT_INVALID_ARGUMENT;
    const int32_t step = image->channels;
    for (int32_t y = 0; y < image->height; ++y) {
        const uint8_t *row = image->rows[y];
        uint8_t *out = packed + int64_t{y} * image->width;
        for (int32_t x = 0; x < image->width; ++x) out[x] = row[int64_t{x} * step];
    }
    return RESULT_OK;
}

int32_t WidenBytesToInt32(const uint8_t *packed, const void *, RowImage *output) {
    if (!packed || !output || output->bitsPerChannel != 32 || output->channels != 1 ||
        output->width < 0 || output->height < 0 || (output->height > 0 && !output->rows))
        return RESULT_INVALID_ARGUMENT;
    for (int32_t y = 0; y < output->height; ++y) {
        auto *out = reinterpret_cast<int32_t *>(output->rows[y]);
        const uint8_t *in = packed + int64_t{y} * output->width;
        for (int32_t x = 0; x < output->width; ++x) out[x] = in[x];
    }
    return RESULT_OK;
}

int32_t BgrToLab(const RowImage *colour, RowImage *output) {
    if (!IsReference(colour, 3) || !Fits(output, colour, 3)) return RESULT_INVALID_ARGUMENT;
    const int32_t inStep = colour->channels, outStep = output->channels;
    for (int32_t y = 0; y < colour->height; ++y) {
        const uint8_t *in = colour->rows[y];
        uint8_t *out = output->rows[y];
        for (int32_t x = 0; x < colour->width; ++x, in += inStep, out += outStep) {
            const int32_t b = in[0], g = in[1], r = in[2];
            // X, Y and Z of the bytes for a D65 white, normalised to 0..255.
            const int32_t iy = (37 * b + 366 * g + 109 * r + 256) >> 9;
            const int32_t ix = (194 * b + 385 * g + 445 * r + 512) >> 10;
            const int32_t iz = (447 * b + 56 * g + 9 * r + 256) >> 9;
            const int32_t fy = LabCubeRootTable[iy];
            const int32_t fx = LabCubeRootTable[ix];
            const int32_t fz = LabCubeRootTable[iz];
            out[0] = static_cast<uint8_t>(LabLightnessTable[fy]);
            // 125 / 256 and 25 / 128 are the CIELAB factors 500 and 200 on f scaled by 1024.
            out[1] = static_cast<uint8_t>(((fx - fy) * 125 >> 8) + 128);
            out[2] = static_cast<uint8_t>(((fy - fz) * 25 >> 7) + 128);
        }
    }
    return RESULT_OK;
}
