// A session holding a hand-filled 16-bit intermediate, as a merge would leave it, for the tone
// mapping tests and benchmark: the geometry is recorded through the intermediate's own record,
// the samples come from functions of the position.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "alt/intermediate_image.h"
#include "core/engine_types.h"
#include "core/hdr_engine.h"
#include "core/pixel_format.h"
#include "core/session.h"

namespace tone_support {

inline const uint32_t kFormats[] = {PIXEL_FORMAT_YUYV, PIXEL_FORMAT_NV12, PIXEL_FORMAT_NV21,
                                    PIXEL_FORMAT_NV16, PIXEL_FORMAT_I420, 0x605,
                                    PIXEL_FORMAT_YUV422P};

// An image with its own storage; pitchFactor scales the plane pitches (2 for a full-layout
// intermediate), pad adds bytes after each row.
struct OwnedImage {
    std::vector<uint8_t> planes[3];
    ImageDesc desc{};

    void Make(uint32_t format, int32_t w, int32_t h, int32_t pitchFactor = 1, int32_t pad = 0,
              uint8_t fill = 0) {
        const PixelFormatInfo *info = FindPixelFormat(format);
        desc = ImageDesc{};
        desc.u32PixelArrayFormat = format;
        desc.i32Width = w;
        desc.i32Height = h;
        for (int p = 0; p < info->planes; ++p) {
            const int32_t rows = p == 0 ? h : h >> info->chromaRowShift;
            desc.pi32Pitch[p] = int32_t(MinimumRowBytes(*info, p, w) + pad) * pitchFactor;
            planes[p].assign(size_t(desc.pi32Pitch[p]) * rows, fill);
            desc.ppu8Plane[p] = planes[p].data();
        }
    }
    // Same format, size and pitches as another image, with its own storage.
    void Like(const ImageDesc &d, uint8_t fill) {
        const PixelFormatInfo *info = FindPixelFormat(d.u32PixelArrayFormat);
        desc = d;
        for (int p = 0; p < info->planes; ++p) {
            const int32_t rows = p == 0 ? d.i32Height : d.i32Height >> info->chromaRowShift;
            planes[p].assign(size_t(d.pi32Pitch[p]) * rows, fill);
            desc.ppu8Plane[p] = planes[p].data();
        }
    }
};

using SampleFn = std::function<uint16_t(int32_t plane, int32_t x, int32_t row)>;

// Flat content: luma `luma`, chroma `chroma`.
inline SampleFn Flat(uint16_t luma, uint16_t chroma) {
    return [=](int32_t plane, int32_t, int32_t) { return plane == 0 ? luma : chroma; };
}

struct HandIntermediate {
    HdrSession *s = nullptr;
    OwnedImage inputs[3];
    OwnedImage outputs[2];
    uint32_t format = 0;
    int32_t width = 0, height = 0;

    // Records an intermediate of the given layout and process rectangle and fills it. For the
    // packed format, plane 0 samples at odd positions are chroma (x is the sample index).
    bool Create(uint32_t f, int32_t w, int32_t h, int32_t layout, RegionRect rect,
                const SampleFn &sample, int32_t pad = 0) {
        format = f;
        width = w;
        height = h;
        if (CreateHdrSession(nullptr, 0, &s) != RESULT_OK) return false;
        for (auto &in : inputs) in.Make(f, w, h, 1, pad, 128);
        const bool split = layout == INTERMEDIATE_LAYOUT_PARITY_SPLIT;
        outputs[0].Make(f, w, h, split ? 1 : 2, pad);
        outputs[1].Make(f, w, h, 1, pad);
        ImageDesc in[3] = {inputs[0].desc, inputs[1].desc, inputs[2].desc};
        ImageDesc out[2] = {outputs[0].desc, outputs[1].desc};
        if (RecordIntermediateImage(s, in, 3, out, layout, rect) != RESULT_OK) return false;
        s->processRect = rect;
        s->splitRow = 128 * (rect.height / 256);
        s->intermediateReady = 1;
        Fill(sample);
        return true;
    }

    void Fill(const SampleFn &sample) {
        const PixelFormatInfo *info = FindPixelFormat(format);
        const int32_t rows = s->intermediate.processRect.height;
        for (int32_t r = 0; r < rows; ++r) {
            for (int32_t p = 0; p < info->planes; ++p) {
                int16_t *row = IntermediatePlaneRow(s, p, r);
                if (!row) continue;
                const int32_t samples = int32_t(MinimumRowBytes(*info, p, width));
                const int32_t chromaRow = p == 0 ? r : r >> info->chromaRowShift;
                for (int32_t x = 0; x < samples; ++x) {
                    const bool packedChroma = format == PIXEL_FORMAT_YUYV && (x & 1);
                    row[x] = int16_t(packedChroma ? sample(1 + ((x >> 1) & 1), x, r)
                                                  : sample(p, x, p == 0 ? r : chromaRow));
                }
            }
        }
    }

    ImageDesc Descriptors(int32_t i) const { return outputs[i].desc; }

    ~HandIntermediate() {
        if (s) DestroyHdrSession(nullptr, s);
    }
};

}  // namespace tone_support
