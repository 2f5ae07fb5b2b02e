// Thumbnail decimation of small frames in every format by every factor, through each entry
// (allocating, into an image, into a window, the large factors), with caller rectangles; the
// two small reductions beside it as well. Source planes are sized exactly as the layout keeps
// them, so a read past a plane shows; whenever a call succeeds, every output sample is
// compared with the tap model of the decimation tests, and bytes outside the output area must
// keep their fill.
#include <cstdint>
#include <vector>

#include "../tests/align/decimate_support.h"
#include "align/chroma_resample.h"
#include "align/decimate.h"
#include "core/hdr_engine.h"
#include "core/memory.h"
#include "fuzz_input.h"

namespace {

using decimate_test::MakeImage;
using decimate_test::ModelPixel;
using decimate_test::Output444;
using decimate_test::TestImage;

constexpr uint8_t kFill = 0xA5;

// Which (format, factor) pairs have a kernel.
bool HasKernel(uint32_t format, int factor) {
    if (factor < 1) return false;
    switch (format) {
    case PIXEL_FORMAT_YUYV:
    case PIXEL_FORMAT_I420: return factor <= 14;
    case PIXEL_FORMAT_NV21: return factor <= 10;
    case PIXEL_FORMAT_NV12:
    case PIXEL_FORMAT_YUV422P:
    case PIXEL_FORMAT_NV16: return factor <= 8;
    default: return false;
    }
}

// Compares the ow x oh samples at (wx, wy) of output with the model of the rectangle starting
// at (x0, y0), and checks that nothing outside them was written.
void CheckOutput(TestImage &img, const ImageDesc &out, int factor, int32_t x0, int32_t y0,
                 int32_t wx, int32_t wy, int32_t ow, int32_t oh) {
    for (int32_t y = 0; y < out.i32Height; ++y)
        for (int32_t x = 0; x < out.pi32Pitch[0]; ++x) {
            const bool inside = x >= wx && x < wx + ow && y >= wy && y < wy + oh;
            const size_t at = static_cast<size_t>(y) * out.pi32Pitch[0] + x;
            if (!inside) {
                for (int p = 0; p < 3; ++p)
                    if (out.ppu8Plane[p][at] != kFill) __builtin_trap();
                continue;
            }
            const auto want = ModelPixel(img, factor, x0, y0, x - wx, y - wy);
            if (out.ppu8Plane[0][at] != want.y || out.ppu8Plane[1][at] != want.u ||
                out.ppu8Plane[2][at] != want.v)
                __builtin_trap();
        }
}

void FuzzDecimation(FuzzInput &in) {
    static const uint32_t kFormats[] = {
        PIXEL_FORMAT_YUYV, PIXEL_FORMAT_I420, PIXEL_FORMAT_YUV422P, PIXEL_FORMAT_NV12,
        PIXEL_FORMAT_NV21, PIXEL_FORMAT_NV16, PIXEL_FORMAT_YUV444P, PIXEL_FORMAT_GRAY8,
        PIXEL_FORMAT_UYVY};
    const int entry = in.InRange(0, 3);
    const uint32_t format = kFormats[in.InRange(0, 8)];
    const int32_t w = in.InRange(1, 160), h = in.InRange(1, 120);
    const int factor = in.InRange(-1, 15);
    const int rectMode = in.InRange(0, 2);
    InclusiveRect rect{0, 0, w - 1, h - 1};
    if (rectMode == 1) {  // inside the frame, starting on an even pixel and row
        rect.x0 = 2 * in.InRange(0, (w - 1) / 2);
        rect.y0 = 2 * in.InRange(0, (h - 1) / 2);
        rect.x1 = rect.x0 + in.InRange(0, w - 1 - rect.x0);
        rect.y1 = rect.y0 + in.InRange(0, h - 1 - rect.y0);
    } else if (rectMode == 2) {  // anything
        rect = {in.Take<int16_t>(), in.Take<int16_t>(), in.Take<int16_t>(), in.Take<int16_t>()};
    }
    const int32_t extra = in.InRange(0, 3);
    const int32_t grow = in.InRange(-1, 2);  // output smaller, exact or larger than needed
    TestImage img = MakeImage(format, w, h, [&](int, size_t) { return in.NextByte(); });
    const InclusiveRect *rectArg = rectMode == 0 ? nullptr : &rect;

    const bool valid = rect.x0 >= 0 && rect.y0 >= 0 && rect.x1 < w && rect.y1 < h &&
                       rect.x0 <= rect.x1 && rect.y0 <= rect.y1;
    const int safeFactor = factor > 0 ? factor : 1;
    const int32_t ow = valid ? ((rect.x1 - rect.x0 + 1) / (2 * safeFactor)) * 2 : 0;
    const int32_t oh = valid ? ((rect.y1 - rect.y0 + 1) / (2 * safeFactor)) * 2 : 0;
    const bool modelled = valid && HasKernel(format, factor) && !(rect.x0 & 1) && !(rect.y0 & 1);

    if (entry == 0) {  // allocating
        ImageDesc out{};
        const int r = DecimateToYuv444(nullptr, &img.desc, &out, rectArg, factor, 1);
        if (r == RESULT_OK && out.ppu8Plane[0]) {
            if (factor > 8 || !modelled || out.i32Width != ow || out.i32Height != oh)
                __builtin_trap();
            for (int32_t y = 0; y < oh; ++y)
                for (int32_t x = 0; x < ow; ++x) {
                    const auto want = ModelPixel(img, factor, rect.x0, rect.y0, x, y);
                    const size_t at = static_cast<size_t>(y) * out.pi32Pitch[0] + x;
                    if (out.ppu8Plane[0][at] != want.y || out.ppu8Plane[1][at] != want.u ||
                        out.ppu8Plane[2][at] != want.v)
                        __builtin_trap();
                }
            FreeMemory(nullptr, out.ppu8Plane[0]);
        }
        return;
    }
    if (entry == 1 || entry == 3) {  // into an image
        const int32_t width = ow + grow > 0 ? ow + grow : 0;
        const int32_t height = oh + grow > 0 ? oh + grow : 0;
        Output444 out(width, height, extra, kFill);
        const int r = entry == 1 ? DecimateIntoImage(&img.desc, &out.desc, rectArg, factor)
                                 : DecimateByLargeFactor(&img.desc, &out.desc, rectArg, factor);
        if (r != RESULT_OK) return;
        if (!valid || (entry == 3 && (factor < 9 || !modelled))) __builtin_trap();
        if (factor > 8 && entry == 1) {  // no kernel selected: nothing written
            CheckOutput(img, out.desc, factor, rect.x0, rect.y0, 0, 0, 0, 0);
            return;
        }
        // An output too small for a result with pixels must be refused.
        if (!modelled || (ow > 0 && oh > 0 && (width < ow || height < oh))) __builtin_trap();
        CheckOutput(img, out.desc, factor, rect.x0, rect.y0, 0, 0, ow, oh);
        return;
    }
    // Into a window of a larger output.
    const int32_t width = ow + in.InRange(0, 5), height = oh + in.InRange(0, 5);
    Output444 out(width, height, extra, kFill);
    int32_t window[4];
    window[0] = in.InRange(-1, width - ow + 1);
    window[1] = in.InRange(-1, height - oh + 1);
    window[2] = window[0] + ow + (grow == -1 ? 1 : 0);
    window[3] = window[1] + oh;
    const InclusiveRect *sourceRect = rectArg ? rectArg : &rect;
    const int r = DecimateIntoWindow(&img.desc, &out.desc, sourceRect, window, factor);
    if (r != RESULT_OK) return;
    if (!valid || rect.x0 == rect.x1 || rect.y0 == rect.y1) return;  // nothing to model
    if (factor > 8) {  // as into an image: no kernel selected, nothing written
        CheckOutput(img, out.desc, factor, rect.x0, rect.y0, 0, 0, 0, 0);
        return;
    }
    if (!modelled) __builtin_trap();
    CheckOutput(img, out.desc, factor, rect.x0, rect.y0, window[0], window[1], ow, oh);
}

// The three-quarter reduction of I420 (and refusals of other formats).
void FuzzThreeQuarters(FuzzInput &in) {
    const uint32_t format = in.InRange(0, 3) ? PIXEL_FORMAT_I420 : PIXEL_FORMAT_NV12;
    const int32_t w = in.InRange(1, 96), h = in.InRange(1, 96);
    InclusiveRect rect{in.InRange(-2, w), in.InRange(-2, h), 0, 0};
    rect.x1 = rect.x0 + 4 * in.InRange(-1, 24) - in.InRange(0, 1);
    rect.y1 = rect.y0 + 4 * in.InRange(-1, 24) - in.InRange(0, 1);
    const int32_t rw = rect.x1 - rect.x0 + 1, rh = rect.y1 - rect.y0 + 1;
    const int32_t ow = rw > 0 ? 3 * rw / 4 : 0, oh = rh > 0 ? 3 * rh / 4 : 0;
    const int32_t grow = in.InRange(-1, 1);
    Output444 out(ow + grow > 0 ? ow + grow : 0, oh + grow > 0 ? oh + grow : 0, in.InRange(0, 3),
                  kFill);
    TestImage img = MakeImage(format, w, h, [&](int, size_t) { return in.NextByte(); });
    const InclusiveRect *rectArg = in.InRange(0, 3) ? &rect : nullptr;
    ResampleThreeQuarters420(&img.desc, &out.desc, rectArg);
}

// One displaced chroma row from a plane of exactly heightBound rows of stride bytes.
void FuzzDisplacedRow(FuzzInput &in) {
    const int32_t widthBound = in.InRange(0, 64), heightBound = in.InRange(0, 32);
    const int32_t stride = widthBound / 2 + in.InRange(0, 3);
    const int32_t dx = in.Take<int32_t>(), dy = in.Take<int32_t>();
    const int32_t dxStep = in.Take<int16_t>(), dyStep = in.Take<int16_t>();
    const int32_t xStart = in.InRange(-8, 72), xEnd = in.InRange(-8, 72), row = in.InRange(-4, 36);
    const uint32_t shift = in.Take<uint32_t>();
    std::vector<uint8_t> chroma(static_cast<size_t>(heightBound > 0 ? heightBound : 0) * stride + 1);
    for (uint8_t &b : chroma) b = in.NextByte();
    std::vector<uint8_t> out(80, kFill);
    const int32_t begin = xStart > 0 ? xStart : 0;
    FetchDisplacedChromaRow(widthBound, heightBound, dx, dy, dxStep, dyStep, begin, row, xEnd,
                            stride, chroma.data(), out.data(), shift);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput in(data, size);
    switch (in.InRange(0, 7)) {
    case 6: FuzzThreeQuarters(in); break;
    case 7: FuzzDisplacedRow(in); break;
    default: FuzzDecimation(in); break;
    }
    return 0;
}
