// The planar and semi-planar 16-bit span kernels, through the tone row kernel of their format,
// give the bytes of their 8-bit twins: one table row per format and span type.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

#include "alt/span_intermediate_planar.h"
#include "alt/tone_map_kernels.h"
#include "fusion/span_kernel_support.h"
#include "fusion/span_planar.h"
#include "fusion/span_planar422.h"

namespace {

using fusion_test::KernelBench;
using fusion_test::kRowLength;

enum Kind { kPlanar420, kPlanar422, kSemiPlanar420, kSemiPlanar422 };

struct Rows8 {
    std::vector<uint8_t> y, u, v;
};

void Fuse8(Kind kind, int32_t type, const PlanarRowIn &ref, const uint8_t *warp,
           const SpanTables &t, const uint8_t *chroma2, const SpanRows &rows, RunningWeights *w,
           const PlanarRowOut &out) {
    const int32_t n = kRowLength;
    switch (kind) {
        case kPlanar420:
            if (type == SPAN_BOTH) return FuseSpanBothPlanar420(0, n, ref, warp, t, rows, w, out);
            if (type == SPAN_DARK) return FuseSpanDarkPlanar420(0, n, ref, warp, t, rows, w, out);
            if (type == SPAN_BRIGHT)
                return FuseSpanBrightPlanar420(0, n, ref, warp, t, rows, 256, w, out);
            return FuseSpanRefOnlyPlanar420(0, n, ref, t, rows, out);
        case kPlanar422:
            if (type == SPAN_BOTH) return FuseSpanBothPlanar422(0, n, ref, warp, t, rows, w, out);
            if (type == SPAN_DARK) return FuseSpanDarkPlanar422(0, n, ref, warp, t, rows, w, out);
            if (type == SPAN_BRIGHT)
                return FuseSpanBrightPlanar422(0, n, ref, warp, t, rows, 256, w, out);
            return FuseSpanRefOnlyPlanar422(0, n, ref, t, rows, out);
        case kSemiPlanar420:
            if (type == SPAN_BOTH) return FuseSpanBothSemiPlanar420(0, n, ref, warp, t, rows, w, out);
            if (type == SPAN_DARK) return FuseSpanDarkSemiPlanar420(0, n, ref, warp, t, rows, w, out);
            if (type == SPAN_BRIGHT)
                return FuseSpanBrightSemiPlanar420(0, n, ref, warp, t, rows, 256, w, out);
            return FuseSpanRefOnlySemiPlanar420(0, n, ref, t, rows, out);
        case kSemiPlanar422:
            if (type == SPAN_BOTH)
                return FuseSpanBothSemiPlanar422(0, n, ref, warp, t, chroma2, rows, w, out);
            if (type == SPAN_DARK) return FuseSpanDarkSemiPlanar422(0, n, ref, warp, t, rows, w, out);
            if (type == SPAN_BRIGHT)
                return FuseSpanBrightSemiPlanar422(0, n, ref, warp, t, chroma2, rows, 256, w, out);
            return FuseSpanRefOnlySemiPlanar422(0, n, ref, t, rows, out);
    }
}

using Kernel16 = void (*)(int32_t, int32_t, const PlanarRowIn &, const uint8_t *,
                          const SpanTables &, const SpanRows &, RunningWeights *,
                          const IntermediateRowOut &);

// The named kernel of each format and span type (rows: formats; columns: both, dark, bright,
// reference only).
constexpr Kernel16 kNamedKernels[4][4] = {
    {FuseIntermediateSpanBothPlanar420, FuseIntermediateSpanDarkPlanar420,
     FuseIntermediateSpanBrightPlanar420, FuseIntermediateSpanRefOnlyPlanar420},
    {FuseIntermediateSpanBothPlanar422, FuseIntermediateSpanDarkPlanar422,
     FuseIntermediateSpanBrightPlanar422, FuseIntermediateSpanRefOnlyPlanar422},
    {FuseIntermediateSpanBothSemiPlanar420, FuseIntermediateSpanDarkSemiPlanar420,
     FuseIntermediateSpanBrightSemiPlanar420, FuseIntermediateSpanRefOnlySemiPlanar420},
    {FuseIntermediateSpanBothSemiPlanar422, FuseIntermediateSpanDarkSemiPlanar422,
     FuseIntermediateSpanBrightSemiPlanar422, FuseIntermediateSpanRefOnlySemiPlanar422},
};

int TypeColumn(int32_t type) {
    return type == SPAN_BOTH ? 0 : type == SPAN_DARK ? 1 : type == SPAN_BRIGHT ? 2 : 3;
}

// named: the kernel of the format and type, else the format's type-dispatched entry.
void Fuse16(Kind kind, int32_t type, const PlanarRowIn &ref, const uint8_t *warp,
            const SpanTables &t, const SpanRows &rows, RunningWeights *w,
            const IntermediateRowOut &out, bool named) {
    if (named) return kNamedKernels[kind][TypeColumn(type)](0, kRowLength, ref, warp, t, rows, w, out);
    const auto kernel = kind == kPlanar420       ? FuseIntermediateSpanPlanar420
                        : kind == kPlanar422     ? FuseIntermediateSpanPlanar422
                        : kind == kSemiPlanar420 ? FuseIntermediateSpanSemiPlanar420
                                                 : FuseIntermediateSpanSemiPlanar422;
    kernel(type, 0, kRowLength, ref, warp, t, rows, w, out);
}

struct Case {
    const char *name;
    Kind kind;
};

class PlanarSpanKernels : public testing::TestWithParam<Case> {};

TEST_P(PlanarSpanKernels, ToneKernelOverSixteenBitsEqualsTheEightBitTwin) {
    const Kind kind = GetParam().kind;
    const bool separate = kind == kPlanar420 || kind == kPlanar422;
    const int32_t chromaBytes = separate ? kRowLength / 2 : kRowLength;
    KernelBench k;
    std::mt19937 random(11);
    const auto pick = [&](int lo, int hi) { return lo + int(random() % uint32_t(hi - lo + 1)); };
    std::vector<uint8_t> chroma2(4096);
    for (int trial = 0; trial < 40; ++trial) {
        for (auto &t : k.tone) t = uint8_t(random());
        for (auto &t : k.chroma) t = uint8_t(random());
        for (auto &t : chroma2) t = uint8_t(random());
        for (auto *row : {&k.weightReference, &k.weightDark, &k.weightBright})
            for (int16_t &v : *row) v = int16_t(pick(0, 256));
        for (int16_t &v : k.mask) v = int16_t(pick(0, 256));
        for (auto &row : k.offsets)
            for (int16_t &v : row) v = int16_t(pick(-80, 80));
        for (uint16_t &g : k.gain) g = uint16_t(pick(256, 6000));
        Rows8 in;
        in.y.resize(kRowLength);
        in.u.resize(size_t(chromaBytes));
        in.v.resize(size_t(chromaBytes));
        for (auto *p : {&in.y, &in.u, &in.v})
            for (uint8_t &v : *p) v = uint8_t(pick(0, 255));
        std::vector<uint8_t> warp(4 * kRowLength);
        for (uint8_t &v : warp) v = uint8_t(pick(0, 255));
        const PlanarRowIn ref = {in.y.data(), in.u.data(), separate ? in.v.data() : nullptr};
        const SpanTables t = k.Tables(false);
        const SpanRows rows = k.Rows();
        for (int32_t type : {SPAN_BOTH, SPAN_DARK, SPAN_BRIGHT, SPAN_REFERENCE_ONLY}) {
            const uint8_t *quad = type == SPAN_BRIGHT ? warp.data() + kWarpedQuadBytes : warp.data();
            RunningWeights w8{{8000, 9000, kFusionWeightOne - 17000}}, w16 = w8;
            Rows8 eight = {std::vector<uint8_t>(kRowLength), std::vector<uint8_t>(size_t(chromaBytes)),
                           std::vector<uint8_t>(size_t(chromaBytes))};
            // Semi-planar 4:2:2 takes the bright exposure's chroma unchanged, where its 8-bit
            // twin pulls it towards 128 and looks U up in a second table: its blends with the
            // bright exposure are those of the semi-planar 4:2:0 twin, which does neither.
            const bool twinPulls =
                kind == kSemiPlanar422 && (type == SPAN_BOTH || type == SPAN_BRIGHT);
            Fuse8(twinPulls ? kSemiPlanar420 : kind, type, ref, quad, t, chroma2.data(), rows, &w8,
                  {eight.y.data(), eight.u.data(), separate ? eight.v.data() : nullptr});
            std::vector<int16_t> y16(kRowLength), u16(static_cast<size_t>(chromaBytes)),
                v16(static_cast<size_t>(chromaBytes));
            // Odd trials go through the named kernels, even ones through the dispatched entry.
            Fuse16(kind, type, ref, quad, t, rows, &w16,
                   {y16.data(), u16.data(), separate ? v16.data() : nullptr}, trial % 2 == 1);
            EXPECT_EQ(w8.w[0], w16.w[0]);
            EXPECT_EQ(w8.w[1], w16.w[1]);
            const ToneRowTables tables{k.tone.data(), k.chroma.data(), chroma2.data(), k.gain.data()};
            const auto *ly = reinterpret_cast<const uint16_t *>(y16.data());
            const auto *lu = reinterpret_cast<const uint16_t *>(u16.data());
            const auto *lv = reinterpret_cast<const uint16_t *>(v16.data());
            Rows8 toned = {std::vector<uint8_t>(kRowLength), std::vector<uint8_t>(size_t(chromaBytes)),
                           std::vector<uint8_t>(size_t(chromaBytes))};
            switch (kind) {
                case kPlanar420:
                    ToneMapRowPlanar420(0, kRowLength, ly, lu, lv, toned.y.data(), toned.u.data(),
                                        toned.v.data(), tables);
                    break;
                case kPlanar422:
                    ToneMapRowPlanar422(0, kRowLength, ly, lu, lv, toned.y.data(), toned.u.data(),
                                        toned.v.data(), tables);
                    break;
                case kSemiPlanar420:
                    ToneMapRowSemiPlanar420(0, kRowLength, ly, lu, toned.y.data(), toned.u.data(),
                                            tables);
                    break;
                case kSemiPlanar422:
                    ToneMapRowSemiPlanar422(0, kRowLength, ly, lu, toned.y.data(),
                                            toned.u.data(), tables);
                    break;
            }
            ASSERT_EQ(toned.y, eight.y) << "trial " << trial << " type " << type;
            ASSERT_EQ(toned.u, eight.u) << "trial " << trial << " type " << type;
            if (separate) {
                ASSERT_EQ(toned.v, eight.v) << "trial " << trial << " type " << type;
            }
        }
    }
}

// A reference-only span with s = 2, mask 0 and reference code 128 gives luma T[640] and
// neutral chroma 8192; pixel 2 of a group reads the linear light of its own code.
TEST_P(PlanarSpanKernels, ReferenceOnlyFigures) {
    const Kind kind = GetParam().kind;
    const bool separate = kind == kPlanar420 || kind == kPlanar422;
    const int32_t chromaBytes = separate ? kRowLength / 2 : kRowLength;
    KernelBench k;
    std::vector<uint8_t> y(kRowLength, 128), u(static_cast<size_t>(chromaBytes), 128),
        v(static_cast<size_t>(chromaBytes), 128);
    for (int32_t x = 2; x < kRowLength; x += 4) y[size_t(x)] = 200;
    const SpanTables t = k.Tables(false);
    ASSERT_EQ(t.valueShift, 2);
    std::vector<int16_t> y16(kRowLength), u16(static_cast<size_t>(chromaBytes)),
        v16(static_cast<size_t>(chromaBytes));
    Fuse16(kind, SPAN_REFERENCE_ONLY, {y.data(), u.data(), separate ? v.data() : nullptr},
           nullptr, t, k.Rows(), nullptr, {y16.data(), u16.data(), separate ? v16.data() : nullptr},
           true);
    for (int32_t x = 0; x < kRowLength; ++x)
        ASSERT_EQ(y16[size_t(x)], int16_t(t.fusion[(x & 3) == 2 ? 712 : 640])) << x;
    for (int16_t c : u16) ASSERT_EQ(c, 8192);
    if (separate) {
        for (int16_t c : v16) ASSERT_EQ(c, 8192);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, PlanarSpanKernels,
                         testing::Values(Case{"Planar420", kPlanar420},
                                         Case{"Planar422", kPlanar422},
                                         Case{"SemiPlanar420", kSemiPlanar420},
                                         Case{"SemiPlanar422", kSemiPlanar422}),
                         [](const testing::TestParamInfo<Case> &i) { return i.param.name; });

}  // namespace
