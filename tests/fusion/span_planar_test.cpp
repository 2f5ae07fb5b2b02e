// What the planar and semi-planar kernels and fetches do apart from the packed ones.
#include <gtest/gtest.h>

#include <random>

#include "fusion/fetch_planar.h"
#include "fusion/span_normal_packed422.h"
#include "fusion/span_planar.h"
#include "span_kernel_support.h"

namespace {

using fusion_test::KernelBench;
using fusion_test::kRowLength;

struct Rows {
    std::vector<uint8_t> packed = std::vector<uint8_t>(2 * kRowLength);
    std::vector<uint8_t> y = std::vector<uint8_t>(kRowLength);
    std::vector<uint8_t> uv = std::vector<uint8_t>(kRowLength);  // interleaved
    std::vector<uint8_t> warp = std::vector<uint8_t>(4 * kRowLength);
    explicit Rows(uint32_t seed) {
        std::mt19937 random(seed);
        for (auto *v : {&packed, &warp})
            for (uint8_t &b : *v) b = uint8_t(random());
        for (int x = 0; x < kRowLength; ++x) {
            y[x] = packed[2 * x];
            uv[x] = packed[2 * x + 1];
        }
    }
};

// Semi-planar 4:2:2 in normal mode: the bright chroma enters pulled a quarter of the way to 128
// and the first byte of each pair is looked up in the second chroma table.
TEST(SpanPlanar, SemiPlanar422NormalPullsBrightChromaAndUsesTheSecondTable) {
    KernelBench k;
    k.mask.assign(kRowLength, 200);
    std::array<uint8_t, 4096> second{};
    for (int i = 0; i < 4096; ++i) second[i] = uint8_t(i >> 5);
    const Rows in(3);
    std::vector<uint8_t> pulled = in.warp;
    for (size_t i = 1; i < pulled.size(); i += 2) pulled[i] = uint8_t((((pulled[i] - 128) * 6) >> 3) + 128);
    for (bool both : {true, false}) {
        std::vector<uint8_t> y(kRowLength), uv(kRowLength), wantV(2 * kRowLength),
            wantU(2 * kRowLength);
        std::vector<uint8_t> warp = in.warp, packedWarp = in.warp;
        // The bright quad sits at +8 in the three-exposure layout and first for the bright kernel.
        for (int g = 0; g < kRowLength / 4; ++g)
            for (int i = 0; i < 8; ++i)
                packedWarp[16 * g + (both ? 8 : 0) + i] = pulled[16 * g + (both ? 8 : 0) + i];
        RunningWeights w = {{0, 0, kFusionWeightOne}}, wu = w, wv = w;
        SpanTables tables = k.Tables(false);
        const PlanarRowIn ref = {in.y.data(), in.uv.data(), nullptr};
        const PlanarRowOut out = {y.data(), uv.data(), nullptr};
        if (both)
            FuseSpanBothSemiPlanar422(0, kRowLength, ref, warp.data(), tables, second.data(),
                                      k.Rows(), &w, out);
        else
            FuseSpanBrightSemiPlanar422(0, kRowLength, ref, warp.data(), tables, second.data(),
                                        k.Rows(), 256, &w, out);
        SpanTables withSecond = tables;
        withSecond.chroma = second.data();
        for (auto [t, dest, weights] : {std::tuple{&tables, &wantV, &wv},
                                        std::tuple{&withSecond, &wantU, &wu}}) {
            if (both)
                FuseSpanBothPacked422(0, kRowLength, in.packed.data(), packedWarp.data(), *t,
                                      k.Rows(), weights, dest->data());
            else
                FuseSpanBrightPacked422(0, kRowLength, in.packed.data(), packedWarp.data(), *t,
                                        k.Rows(), 256, weights, dest->data());
        }
        for (int x = 0; x < kRowLength; ++x) {
            ASSERT_EQ(y[x], wantV[2 * x]) << x;
            ASSERT_EQ(uv[x], (x % 2 == 0 ? wantU : wantV)[2 * x + 1]) << both << " at " << x;
        }
    }
}

// Semi-planar 4:2:0 moves each pixel's luma by its own offset; planar 4:2:0 by the group
// start's. On odd rows both leave the chroma untouched.
TEST(SpanPlanar, LocalCurveOffsetsPerPixelAndChromaOnEvenRows) {
    KernelBench k;
    for (int x = 0; x < kRowLength; ++x) k.lines[0][x] = int16_t(236 + 13 * (x % 4) + x / 4);
    const Rows in(5);
    const SpanTables tables = k.Tables(true);
    for (int r : {6, 7}) {
        std::vector<uint8_t> y420(kRowLength), u(kRowLength / 2, 9), v(kRowLength / 2, 9);
        std::vector<uint8_t> ySemi(kRowLength), uv(kRowLength, 9);
        std::vector<uint8_t> planarU(kRowLength / 2), planarV(kRowLength / 2);
        for (int c = 0; c < kRowLength / 2; ++c) {
            planarU[c] = in.uv[2 * c];
            planarV[c] = in.uv[2 * c + 1];
        }
        FuseSpanLocalCurveRefOnlyPlanar420(0, kRowLength, r, {in.y.data(), planarU.data(), planarV.data()},
                                           tables, k.Rows(), {y420.data(), u.data(), v.data()});
        FuseSpanLocalCurveRefOnlySemiPlanar420(0, kRowLength, r, {in.y.data(), in.uv.data(), nullptr},
                                               tables, k.Rows(), {ySemi.data(), uv.data(), nullptr});
        for (int x = 0; x < kRowLength; ++x) {
            // Reference alone at unity gain: the tone table of the moved code's light.
            const auto expect = [&](int offset) {
                const int code = std::clamp(in.y[x] + offset - 256, 0, 255);
                return k.tone[k.localCurve[256 + code] * 1024 >> 12];
            };
            ASSERT_EQ(y420[x], expect(k.lines[0][x & ~3])) << x;
            ASSERT_EQ(ySemi[x], expect(k.lines[0][x])) << x;
            if (r & 1) ASSERT_EQ(uv[x], 9) << "odd rows keep their chroma";
            else ASSERT_EQ(uv[x], k.chroma[16 * in.uv[x]]) << x;
        }
        EXPECT_EQ(u == std::vector<uint8_t>(kRowLength / 2, 9), (r & 1) == 1);
    }
}

// The planar 4:2:0 border estimate takes the chroma at the source column for both pairs; the
// semi-planar one the two pairs from it.
TEST(FetchPlanar, BorderEstimateChroma) {
    constexpr int w = 32, h = 8;
    std::vector<uint8_t> luma(w * h, 100), u(w / 2 * h / 2), v(w / 2 * h / 2), uv(w * h / 2);
    for (int i = 0; i < int(u.size()); ++i) {
        u[i] = uint8_t(10 + i);
        v[i] = uint8_t(150 + i);
    }
    for (int i = 0; i < int(uv.size()); ++i) uv[i] = uint8_t(i);
    const ReferenceLuma ref = {luma.data(), 1, w};
    uint8_t quad[16] = {};
    // dx = 3: the group at x = 0 reads source column -3, clamped to 0.
    const YuvPlanes planar = {{luma.data(), u.data(), v.data()}, {w, w / 2, w / 2}};
    FetchShiftedPlanar420(nullptr, w, h, 3 << 16, 0, 0, 0, 0, 2, 4, planar, &ref, quad);
    EXPECT_EQ((std::vector<int>{quad[1], quad[3], quad[5], quad[7]}),
              (std::vector<int>{u[16], v[16], u[16], v[16]}));
    const YuvPlanes semi = {{luma.data(), uv.data(), nullptr}, {w, w, 0}};
    FetchShiftedSemiPlanar420(nullptr, w, h, 3 << 16, 0, 0, 0, 0, 2, 4, semi, &ref, quad);
    EXPECT_EQ((std::vector<int>{quad[1], quad[3], quad[5], quad[7]}),
              (std::vector<int>{uv[32], uv[33], uv[34], uv[35]}));
    EXPECT_EQ(quad[0], 100);  // flat luma: no difference to carry
}

// A line in the source's outermost column on either side stays out of the luma the clamped
// groups estimate, in every layout: the differences are taken one column in.
TEST(FetchPlanar, BorderEstimatesLeaveTheOutermostColumnOut) {
    constexpr int w = 32, h = 8;
    std::vector<uint8_t> ramp(w * h), lined(w * h), refLuma(w * h), u(w / 2 * h / 2, 128),
        v(w / 2 * h / 2, 128), uv(w * h / 2, 128);
    for (int i = 0; i < w * h; ++i) {
        ramp[i] = lined[i] = uint8_t(60 + 3 * (i % w) + (i / w));
        refLuma[i] = uint8_t(90 + 2 * (i % w));
    }
    for (int y = 0; y < h; ++y) lined[y * w] = lined[y * w + w - 1] = 0;
    const ReferenceLuma ref = {refLuma.data(), 1, w};
    using Fetch = decltype(&FetchShiftedPlanar420);
    for (Fetch fetch : {FetchShiftedPlanar420, FetchShiftedSemiPlanar420, FetchShiftedSemiPlanar422,
                        FetchShiftedPlanar422}) {
        const bool semi = fetch == FetchShiftedSemiPlanar420 || fetch == FetchShiftedSemiPlanar422;
        const int chromaPitch = semi ? w : w / 2;
        for (int dx : {5, -5}) {
            SCOPED_TRACE(dx);
            std::vector<uint8_t> clean(4 * w), withLine(4 * w);
            const YuvPlanes a = {
                {ramp.data(), semi ? uv.data() : u.data(), semi ? nullptr : v.data()},
                {w, chromaPitch, semi ? 0 : chromaPitch}};
            YuvPlanes b = a;
            b.plane[0] = lined.data();
            fetch(nullptr, w, h, dx << 16, 0, 0, 0, 0, 3, w, a, &ref, clean.data());
            fetch(nullptr, w, h, dx << 16, 0, 0, 0, 0, 3, w, b, &ref, withLine.data());
            const int first = dx > 0 ? 0 : w - 8;  // the two groups the move uncovers
            for (int x = first; x < first + 8; x += 4)
                for (int i = 0; i < 8; i += 2)
                    EXPECT_EQ(withLine[4 * x + i], clean[4 * x + i]) << x;
        }
    }
}

}  // namespace
