// The columns past the band pass's last whole four-pixel group (a width of 2 mod 4): each
// tail pixel's luma moves by what the fusion did to the last fused pixel of its own row, and
// each tail chroma sample copies the last fused one of its row, in every format with a band
// renderer.
#include "fusion/tail_columns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/hdr_engine.h"

namespace {

constexpr int32_t kW = 202, kH = 6, kFused = 200;

// A frame whose every byte differs from its neighbours, as the bands left it, and the luma the
// reference had before the pass.
struct Frame {
    uint32_t format;
    std::vector<uint8_t> planes[3];
    ImageDesc desc{};
    std::vector<uint8_t> original;  // kW x kH luma

    bool Packed() const { return format == PIXEL_FORMAT_YUYV; }
    bool Planar() const { return format == PIXEL_FORMAT_I420; }
    int32_t ChromaRows() const { return format == PIXEL_FORMAT_NV16 || Packed() ? kH : kH / 2; }

    explicit Frame(uint32_t f) : format(f) {
        desc.u32PixelArrayFormat = f;
        desc.i32Width = kW;
        desc.i32Height = kH;
        const int32_t pitch[3] = {Packed() ? 2 * kW + 6 : kW + 6, Planar() ? kW / 2 + 3 : kW + 4,
                                  Planar() ? kW / 2 + 3 : 0};
        for (int p = 0; p < 3; ++p) {
            if (pitch[p] == 0 || (p > 0 && Packed())) continue;
            planes[p].resize(size_t(pitch[p]) * (p == 0 ? kH : ChromaRows()));
            for (size_t i = 0; i < planes[p].size(); ++i)
                planes[p][i] = uint8_t(40 + (i * 7 + p * 29 + i / 13) % 180);
            desc.ppu8Plane[p] = planes[p].data();
            desc.pi32Pitch[p] = pitch[p];
        }
        // Luma moved by the fusion by a different amount in every pixel; the last fused pixel
        // of rows 4 and 5 moved so far that the tail clips at 255 and at 0.
        original.resize(size_t(kW) * kH);
        for (int32_t y = 0; y < kH; ++y)
            for (int32_t x = 0; x < kW; ++x)
                original[size_t(y) * kW + x] = uint8_t(std::clamp(Luma(x, y) + 9 * x % 31 - 3 * y - 12, 0, 255));
        Luma(kFused - 1, 4) = 250;
        original[size_t(4) * kW + kFused - 1] = 90;
        Luma(kFused - 1, 5) = 10;
        original[size_t(5) * kW + kFused - 1] = 200;
        for (int32_t x = kFused; x < kW; ++x) Luma(x, 4) = 120, Luma(x, 5) = 100;
    }
    uint8_t &Luma(int32_t x, int32_t y) {
        return planes[0][size_t(y) * desc.pi32Pitch[0] + (Packed() ? 2 * x : x)];
    }
    // Chroma sample c (0: U, 1: V) of pixel pair `pair` on chroma row cy.
    uint8_t &Chroma(int32_t pair, int32_t cy, int c) {
        if (Packed()) return planes[0][size_t(cy) * desc.pi32Pitch[0] + 4 * pair + 1 + 2 * c];
        if (Planar()) return planes[1 + c][size_t(cy) * desc.pi32Pitch[1 + c] + pair];
        const int order = format == PIXEL_FORMAT_NV21 ? 1 - c : c;
        return planes[1][size_t(cy) * desc.pi32Pitch[1] + 2 * pair + order];
    }
};

TEST(TailColumns, LumaMovesWithItsRowsLastFusedPixelAndChromaCopiesTheLastFusedPair) {
    for (uint32_t format : {PIXEL_FORMAT_YUYV, PIXEL_FORMAT_I420, PIXEL_FORMAT_NV12,
                            PIXEL_FORMAT_NV21, PIXEL_FORMAT_NV16}) {
        SCOPED_TRACE(::testing::Message() << std::hex << format);
        Frame f(format);
        Frame before(format);
        FuseTailColumns(f.desc, kFused, f.original.data(), kW);
        for (int32_t y = 0; y < kH; ++y) {
            const int32_t moved = before.Luma(kFused - 1, y) - f.original[size_t(y) * kW + kFused - 1];
            for (int32_t x = 0; x < kW; ++x) {
                const int32_t expected =
                    x < kFused ? before.Luma(x, y) : std::clamp(before.Luma(x, y) + moved, 0, 255);
                EXPECT_EQ(f.Luma(x, y), expected) << "pixel " << x << ", row " << y;
            }
        }
        EXPECT_EQ(f.Luma(kW - 1, 4), 255);
        EXPECT_EQ(f.Luma(kW - 1, 5), 0);
        for (int32_t cy = 0; cy < f.ChromaRows(); ++cy)
            for (int c = 0; c < 2; ++c)
                for (int32_t pair = 0; pair < kW / 2; ++pair) {
                    const int32_t from = pair < kFused / 2 ? pair : kFused / 2 - 1;
                    EXPECT_EQ(f.Chroma(pair, cy, c), before.Chroma(from, cy, c))
                        << "pair " << pair << ", chroma row " << cy << ", sample " << c;
                }
        // Nothing past the rows' pixels is written.
        for (int32_t y = 0; y < kH; ++y)
            for (int32_t b = f.Packed() ? 2 * kW : kW; b < f.desc.pi32Pitch[0]; ++b)
                EXPECT_EQ(f.planes[0][size_t(y) * f.desc.pi32Pitch[0] + b],
                          before.planes[0][size_t(y) * f.desc.pi32Pitch[0] + b]);
    }
}

}  // namespace
