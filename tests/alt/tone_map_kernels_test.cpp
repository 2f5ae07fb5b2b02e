#include <gtest/gtest.h>

#include <vector>

#include "alt/tone_map_kernels.h"

namespace {

// Tables that tell apart which one a sample went through: tone and chroma map an index to its
// top 8 bits, chroma2 to their complement.
struct Tables {
    uint8_t tone[4096], chroma[4096], chroma2[4096];
    std::vector<uint16_t> gain = std::vector<uint16_t>(8, 1024);
    Tables() {
        for (int i = 0; i < 4096; ++i) {
            tone[i] = uint8_t(i >> 4);
            chroma[i] = uint8_t(i >> 4);
            chroma2[i] = uint8_t(255 - (i >> 4));
        }
    }
    ToneRowTables Row() const { return {tone, chroma, chroma2, gain.data()}; }
};

TEST(ToneMapRowKernels, LumaThroughGainAndToneTableHeldAt4095) {
    Tables t;
    t.gain = {1024, 2048, 1024, 4096, 1024, 1024, 1024, 1024};
    // 4 x 884 at unity reads entry 884; 8000 at gain 2 reads 4000; 16383 at unity reads 4095;
    // 16383 at gain 4 (65532 >> 10 in 32 bits) is held at 4095.
    const uint16_t luma[8] = {3536, 8000, 16383, 16383, 0, 0, 0, 0};
    uint16_t uv[8] = {8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192};
    uint8_t outY[8] = {}, outUv[8] = {};
    ToneMapRowSemiPlanar420(0, 4, luma, uv, outY, outUv, t.Row());
    EXPECT_EQ(outY[0], 884 >> 4);
    EXPECT_EQ(outY[1], 4000 >> 4);
    EXPECT_EQ(outY[2], 255);
    EXPECT_EQ(outY[3], 255);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(outUv[i], 128) << "8192 reads entry 2048";
}

TEST(ToneMapRowKernels, ChromaIndexHeldToTheTable) {
    Tables t;
    const uint16_t in[8] = {0, 0xFFFF, 0, 16383, 0, 16320, 0, 8192};
    uint8_t out[8] = {};
    ToneMapRowPacked422(0, 4, in, out, t.Row());
    EXPECT_EQ(out[1], 255);  // index clamped to 4095
    EXPECT_EQ(out[3], 255);
    EXPECT_EQ(out[5], 255);  // 16320 >> 2 = 4080
    EXPECT_EQ(out[7], 128);
    EXPECT_EQ(out[0], 0);
}

// Which table each chroma output of a group used: 'c' chroma, '2' chroma2.
TEST(ToneMapRowKernels, TwoTableAssignmentPerFormat) {
    Tables t;
    const uint16_t c16 = 4 * 1000;  // entry 1000: chroma 62, chroma2 193
    auto which = [](uint8_t v) { return v == 62 ? 'c' : (v == 193 ? '2' : '?'); };
    const uint16_t luma[4] = {0, 0, 0, 0};
    const uint16_t chroma[4] = {c16, c16, c16, c16};

    uint16_t packed[8];
    for (int i = 0; i < 8; ++i) packed[i] = c16;
    uint8_t out[8];
    ToneMapRowTwoTablesPacked422(0, 4, packed, out, t.Row());
    EXPECT_EQ(std::string({which(out[1]), which(out[3]), which(out[5]), which(out[7])}), "2c2c");
    ToneMapRowPacked422(0, 4, packed, out, t.Row());
    EXPECT_EQ(std::string({which(out[1]), which(out[3]), which(out[5]), which(out[7])}), "cccc");

    uint8_t y[4], uv[4];
    ToneMapRowTwoTablesSemiPlanar420(0, 4, luma, chroma, y, uv, t.Row());
    EXPECT_EQ(std::string({which(uv[0]), which(uv[1]), which(uv[2]), which(uv[3])}), "2c2c");
    ToneMapRowTwoTablesSemiPlanar422(0, 4, luma, chroma, y, uv, t.Row());
    EXPECT_EQ(std::string({which(uv[0]), which(uv[1]), which(uv[2]), which(uv[3])}), "2c2c");

    uint8_t u[2], v[2];
    ToneMapRowTwoTablesPlanar420(0, 4, luma, chroma, chroma, y, u, v, t.Row());
    EXPECT_EQ(std::string({which(u[0]), which(u[1]), which(v[0]), which(v[1])}), "cc22");
    ToneMapRowTwoTablesPlanar422(0, 4, luma, chroma, chroma, y, u, v, t.Row());
    EXPECT_EQ(std::string({which(u[0]), which(u[1]), which(v[0]), which(v[1])}), "22cc");
    ToneMapRowPlanar420(0, 4, luma, chroma, chroma, y, u, v, t.Row());
    EXPECT_EQ(std::string({which(u[0]), which(u[1]), which(v[0]), which(v[1])}), "cccc");
}

TEST(ToneMapRowKernels, PlanarChromaFollowsHalfColumns) {
    Tables t;
    t.gain.assign(8, 1024);
    const uint16_t luma[8] = {};
    const uint16_t u[4] = {100 * 4, 200 * 4, 300 * 4, 400 * 4};
    const uint16_t v[4] = {500 * 4, 600 * 4, 700 * 4, 800 * 4};
    uint8_t y[8], ou[4], ov[4];
    ToneMapRowPlanar422(0, 8, luma, u, v, y, ou, ov, t.Row());
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ou[i], ((i + 1) * 100) >> 4);
        EXPECT_EQ(ov[i], ((i + 5) * 100) >> 4);
    }
}

TEST(ToneMapRowKernels, AdaptiveChromaPushesDarkPixelsFurther) {
    Tables t;
    // Output luma 0 (f = 4096): packed factors 2624 (U) and 2776 (V), planar 4360 and 4968.
    const uint16_t packed[8] = {0, 8192 + 512, 0, 8192 - 512, 0, 8192, 0, 0xFFFF};
    uint8_t out[8];
    ToneMapRowAdaptiveChromaPacked422(0, 4, packed, out, t.Row());
    EXPECT_EQ(out[1], (8192 + ((512 * 2624) >> 10)) >> 6);
    EXPECT_EQ(out[3], (8192 + ((-512 * 2776) >> 10)) >> 6);
    EXPECT_EQ(out[5], 128);  // neutral stays neutral
    EXPECT_EQ(out[7], 255);  // held at 16383
    const uint16_t luma[4] = {};
    const uint16_t u[2] = {8192 + 512, 1};
    const uint16_t v[2] = {8192 - 512, 1};
    uint8_t y[4], ou[2], ov[2];
    ToneMapRowAdaptiveChromaPlanar420(0, 4, luma, u, v, y, ou, ov, t.Row());
    EXPECT_EQ(ou[0], (8192 + ((512 * 4360) >> 10)) >> 6);
    EXPECT_EQ(ou[1], ou[0]) << "the group's first sample serves both bytes";
    EXPECT_EQ(ov[0], (8192 + ((-512 * 4968) >> 10)) >> 6);
    EXPECT_EQ(ov[1], ov[0]);
    // A bright group (output luma 255, f = 2056) spreads less.
    const uint16_t bright[4] = {16383, 16383, 16383, 16383};
    ToneMapRowAdaptiveChromaPlanar420(0, 4, bright, u, v, y, ou, ov, t.Row());
    EXPECT_EQ(ou[0], (8192 + ((512 * (((2056 * 578) >> 10) + 2048)) >> 10)) >> 6);
}

// Whole rows from a start past 0 to an end inside a group, every format kernel against the
// per-sample rule: the groups from x0 while x < x1 are written, nothing before x0 or past them.
TEST(ToneMapRowKernels, RowsFromAStartThroughTheLastGroupFollowTheSampleRule) {
    Tables t;
    const int32_t x0 = 4, x1 = 62, end = 64, n = 72;  // groups 4..63
    std::vector<uint16_t> luma(n), c1(n), c2(n), packed(2 * n);
    t.gain.resize(n);
    for (int32_t x = 0; x < n; ++x) {
        luma[x] = uint16_t((x * 977) % 20000);
        t.gain[x] = uint16_t(600 + (x * 331) % 3000);
        c1[x] = uint16_t((x * 613) % 17000);
        c2[x] = uint16_t(16383 - (x * 419) % 16000);
    }
    for (int32_t x = 0; x < n; ++x) {
        packed[2 * x] = luma[x];
        packed[2 * x + 1] = (x & 1) ? c2[x] : c1[x];
    }
    const uint8_t *c = t.chroma, *c2t = t.chroma2;
    auto lumaAt = [&](int32_t x) { return ToneLuma(luma[x], t.gain[x], t.tone); };
    for (int kernel = 0; kernel < 10; ++kernel) {
        std::vector<uint8_t> y(n, 7), o1(2 * n, 7), o2(n, 7), want1(2 * n, 7), want2(n, 7);
        std::vector<uint8_t> wantY(n, 7);
        const bool two = kernel & 1;
        if (kernel < 2) {
            (two ? ToneMapRowTwoTablesPacked422 : ToneMapRowPacked422)(x0, x1, packed.data(),
                                                                       o1.data(), t.Row());
            for (int32_t x = x0; x < end; ++x) {
                want1[2 * x] = lumaAt(x);
                want1[2 * x + 1] = ToneChroma(packed[2 * x + 1], (x & 1) ? c : (two ? c2t : c));
            }
        } else if (kernel < 6) {
            const auto fn = kernel < 4 ? (two ? ToneMapRowTwoTablesSemiPlanar420 : ToneMapRowSemiPlanar420)
                                       : (two ? ToneMapRowTwoTablesSemiPlanar422 : ToneMapRowSemiPlanar422);
            fn(x0, x1, luma.data(), c1.data(), y.data(), o1.data(), t.Row());
            for (int32_t x = x0; x < end; ++x) {
                wantY[x] = lumaAt(x);
                want1[x] = ToneChroma(c1[x], (x & 1) ? c : (two ? c2t : c));
            }
        } else {
            const bool is422 = kernel >= 8;
            const auto fn = is422 ? (two ? ToneMapRowTwoTablesPlanar422 : ToneMapRowPlanar422)
                                  : (two ? ToneMapRowTwoTablesPlanar420 : ToneMapRowPlanar420);
            fn(x0, x1, luma.data(), c1.data(), c2.data(), y.data(), o1.data(), o2.data(),
               t.Row());
            const uint8_t *uTable = two && is422 ? c2t : c, *vTable = two && !is422 ? c2t : c;
            for (int32_t x = x0; x < end; ++x) wantY[x] = lumaAt(x);
            for (int32_t k = x0 / 2; k < end / 2; ++k) {
                want1[k] = ToneChroma(c1[k], uTable);
                want2[k] = ToneChroma(c2[k], vTable);
            }
        }
        EXPECT_EQ(y, wantY) << "kernel " << kernel;
        EXPECT_EQ(o1, want1) << "kernel " << kernel;
        EXPECT_EQ(o2, want2) << "kernel " << kernel;
    }
}

}  // namespace
