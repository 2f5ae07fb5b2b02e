// Thumbnail decimation over odd and even frame sizes, small to twelve megapixels, in every
// source format, flat and noisy: the factor-8 thumbnail at every size, every factor up to the
// megapixel sizes. Each plane is its own exactly sized block, so that under AddressSanitizer a
// read past any plane fails the run; output samples spread over the whole thumbnail, its last
// row and column included, are compared with the tap model.
#include <gtest/gtest.h>

#include <cstdint>

#include "align/decimate.h"
#include "align/decimate_support.h"
#include "core/memory.h"

namespace {

using decimate_test::MakeImage;
using decimate_test::ModelPixel;
using decimate_test::TestImage;

struct Size {
    int32_t w, h;
};

const Size kSizes[] = {{96, 96},   {97, 97},    {96, 97},    {97, 96},     {162, 113},
                       {161, 114}, {1000, 751}, {1001, 750}, {4000, 3001}, {4001, 3001}};

using decimate_test::FormatFactors;
using decimate_test::kFormats;

TestImage Frame(uint32_t format, const Size &size, bool noisy) {
    uint32_t state = 2024;
    return MakeImage(format, size.w, size.h, [&](int plane, size_t) {
        if (!noisy) return uint8_t(plane == 0 ? 90 : 128);
        state = state * 1664525u + 1013904223u;
        return uint8_t(state >> 24);
    });
}

// Decimates the whole frame and checks a spread of output samples; false on a mismatch.
bool DecimateAndCheck(TestImage &img, int factor) {
    const int32_t ow = (img.width / (2 * factor)) * 2, oh = (img.height / (2 * factor)) * 2;
    ImageDesc out{};
    int result;
    if (factor <= 8) {
        result = DecimateToYuv444(nullptr, &img.desc, &out, nullptr, factor, 1);
    } else {
        // The large factors write into a caller's image.
        out.u32PixelArrayFormat = PIXEL_FORMAT_YUV444P;
        out.i32Width = ow;
        out.i32Height = oh;
        uint8_t *block = static_cast<uint8_t *>(AllocateMemory(nullptr, 3 * int64_t{ow} * oh + 1));
        for (int p = 0; p < 3; ++p) {
            out.ppu8Plane[p] = block + int64_t{p} * ow * oh;
            out.pi32Pitch[p] = ow;
        }
        result = DecimateByLargeFactor(&img.desc, &out, nullptr, factor);
    }
    bool same = result == RESULT_OK && out.i32Width == ow && out.i32Height == oh;
    // A 13 x 13 lattice of samples from the first to the last row and column.
    for (int i = 0; same && i <= 12; ++i)
        for (int j = 0; same && j <= 12; ++j) {
            const int32_t x = static_cast<int32_t>(int64_t{j} * (ow - 1) / 12);
            const int32_t y = static_cast<int32_t>(int64_t{i} * (oh - 1) / 12);
            const auto want = ModelPixel(img, factor, 0, 0, x, y);
            const int64_t at = int64_t{y} * out.pi32Pitch[0] + x;
            same = out.ppu8Plane[0][at] == want.y && out.ppu8Plane[1][at] == want.u &&
                   out.ppu8Plane[2][at] == want.v;
        }
    FreeMemory(nullptr, out.ppu8Plane[0]);
    return same;
}

TEST(DecimateSweep, EveryFormatAndFactorStaysInsideItsPlanes) {
    for (const Size &size : kSizes)
        for (const FormatFactors &f : kFormats)
            for (bool noisy : {false, true}) {
                TestImage img = Frame(f.format, size, noisy);
                const bool large = int64_t{size.w} * size.h > 1000000;
                for (int factor = 1; factor <= f.maxFactor; ++factor) {
                    if (large && factor != 8) continue;
                    EXPECT_TRUE(DecimateAndCheck(img, factor))
                        << std::hex << f.format << std::dec << " " << size.w << "x" << size.h
                        << " factor " << factor << (noisy ? " noisy" : " flat");
                }
            }
}

}  // namespace
