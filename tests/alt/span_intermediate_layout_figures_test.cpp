// The figures of the 16-bit span kernels, format by format: each format runs the kernels of
// its layout (packed, planar or semi-planar) on the same scene, and every layout must store
// the same blend.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/constant_tables.h"
#include "span_layout_support.h"

namespace {

using namespace alt_test;
using fusion_test::KernelBench;
using fusion_test::kRowLength;

constexpr Kernel kAllKernels[] = {Kernel::kBoth,      Kernel::kDark,        Kernel::kBright,
                                  Kernel::kRefOnly,   Kernel::kPlainBoth,   Kernel::kPlainDark,
                                  Kernel::kPlainBright, Kernel::kPlainRefOnly};

// The kernels that repair the reference's highlights under the mask, luma and chroma.
bool RecoversUnderMask(Kernel k) {
    return k == Kernel::kBoth || k == Kernel::kDark || k == Kernel::kRefOnly;
}

std::string KernelName(Kernel k) { return "kernel " + std::to_string(int(k)); }

// A scene of constant codes with every weight row at 0, so each group weighs the reference
// alone once the running weights start at {0, 0, 32768} (one-secondary kernels {0, 32768}).
struct ReferenceOnlyScene {
    KernelBench k;
    SpanScene scene{std::vector<uint8_t>(kRowLength, 128),
                    std::vector<uint8_t>(kRowLength / 2, 128),
                    std::vector<uint8_t>(kRowLength / 2, 128)};
    std::vector<uint8_t> warp = std::vector<uint8_t>(4 * kRowLength, 77);

    ReferenceOnlyScene() {
        for (auto *row : {&k.weightReference, &k.weightDark, &k.weightBright})
            std::fill(row->begin(), row->end(), int16_t{0});
    }

    SpanOutput Run(Layout layout, Kernel kernel, int32_t x0, int32_t x1) {
        const bool one = kernel == Kernel::kDark || kernel == Kernel::kBright ||
                         kernel == Kernel::kPlainDark || kernel == Kernel::kPlainBright;
        RunningWeights w = one ? RunningWeights{{0, kFusionWeightOne, 0}}
                               : RunningWeights{{0, 0, kFusionWeightOne}};
        return RunSpan(layout, kernel, x0, x1, scene, warp, k.Tables(false), k.Rows(), &w);
    }
};

class LayoutFigures : public testing::TestWithParam<FormatCase> {};

// Reference code 128 with the mask at 0 and s = 2: luma T[640] = 4 x 884, neutral chroma 8192.
TEST_P(LayoutFigures, ReferenceOnlyMidGrey) {
    ReferenceOnlyScene f;
    ASSERT_EQ(f.k.Tables(false).fusion[640], 4 * 884);
    for (Kernel kernel : {Kernel::kRefOnly, Kernel::kPlainRefOnly}) {
        const SpanOutput out = f.Run(GetParam().layout, kernel, 4, 28);
        for (int16_t v : out.y) ASSERT_EQ(v, 3536) << KernelName(kernel);
        for (const auto *c : {&out.u, &out.v})
            for (int16_t v : *c) ASSERT_EQ(v, 8192) << KernelName(kernel);
    }
}

// Every pixel of a group, pixel 2 included, takes the reference light of its own code.
TEST_P(LayoutFigures, EachPixelReadsItsOwnReferenceCode) {
    ReferenceOnlyScene f;
    for (int32_t x = 0; x < kRowLength; ++x) f.scene.y[size_t(x)] = uint8_t(40 + 2 * x);
    const uint16_t *t = f.k.Tables(false).fusion;
    for (Kernel kernel : kAllKernels) {
        const SpanOutput out = f.Run(GetParam().layout, kernel, 8, 32);
        for (int32_t i = 0; i < 24; ++i)
            ASSERT_EQ(out.y[size_t(i)], t[512 + 40 + 2 * (8 + i)])
                << KernelName(kernel) << " pixel " << 8 + i;
    }
}

// All raw weights 0 after a group with no secondary weight: the output is the reference's
// light with its repair and 64 x its repaired chroma, which is what the reference-only kernel
// of the same family writes.
TEST_P(LayoutFigures, ZeroWeightsGiveTheReferenceWithItsRepair) {
    ReferenceOnlyScene f;
    std::mt19937 random(5);
    for (uint8_t &c : f.scene.y) c = uint8_t(160 + random() % 96);
    for (auto *c : {&f.scene.u, &f.scene.v})
        for (uint8_t &v : *c) v = uint8_t(random());
    for (uint8_t &v : f.warp) v = uint8_t(random());
    for (int16_t &m : f.k.mask) m = int16_t(random() % 257);
    for (auto &row : f.k.offsets)
        for (int16_t &v : row) v = int16_t(int(random() % 161) - 80);
    const Layout layout = GetParam().layout;
    const SpanOutput ref = f.Run(layout, Kernel::kRefOnly, 4, 60);
    const SpanOutput plainRef = f.Run(layout, Kernel::kPlainRefOnly, 4, 60);
    ASSERT_NE(ref.y, plainRef.y);  // the repair is at work in this scene
    for (Kernel kernel : {Kernel::kBoth, Kernel::kDark}) {
        const SpanOutput out = f.Run(layout, kernel, 4, 60);
        EXPECT_EQ(out.y, ref.y) << KernelName(kernel);
        EXPECT_EQ(out.u, ref.u) << KernelName(kernel);
        EXPECT_EQ(out.v, ref.v) << KernelName(kernel);
    }
    for (Kernel kernel : {Kernel::kPlainBoth, Kernel::kPlainDark, Kernel::kPlainBright}) {
        const SpanOutput out = f.Run(layout, kernel, 4, 60);
        EXPECT_EQ(out.y, plainRef.y) << KernelName(kernel);
        EXPECT_EQ(out.u, plainRef.u) << KernelName(kernel);
        EXPECT_EQ(out.v, plainRef.v) << KernelName(kernel);
    }
}

// Reference luma 250, V 10 and a highlight V offset of -50 in the first pair of a group with
// mask 200: the repaired V is 0 in every kernel that repairs chroma; the bright and the plain
// kernels keep V 10.
TEST_P(LayoutFigures, HighlightChromaRepairStopsAtZero) {
    ReferenceOnlyScene f;
    constexpr int32_t x = 8;  // a group start; the pair of pixels 8 and 9
    f.scene.y[x] = 250;
    f.scene.u[x / 2] = 100;
    f.scene.v[x / 2] = 10;
    f.k.mask[x] = 200;
    f.k.offsets[3][x] = -50;  // highlight V
    f.k.offsets[3][x + 2] = -50;  // the group's second pair, whose luma 128 is not repaired
    for (Kernel kernel : kAllKernels) {
        const SpanOutput out = f.Run(GetParam().layout, kernel, 4, 16);
        const int32_t pair = (x - 4) / 2;
        EXPECT_EQ(out.v[size_t(pair)], RecoversUnderMask(kernel) ? 0 : 640) << KernelName(kernel);
        EXPECT_EQ(out.u[size_t(pair)], 6400) << KernelName(kernel);
        EXPECT_EQ(out.v[size_t(pair + 1)], 8192) << KernelName(kernel);
    }
}

// Reference codes 224 and above under mask 128: each pixel of the group, pixel 3 included,
// is half the repaired light 4 x gammaExpand[c + offset] and half the table's.
TEST_P(LayoutFigures, MaskedHighlightRepairMixesEveryPixelHalfAndHalf) {
    ReferenceOnlyScene f;
    constexpr int32_t x = 12;
    const int codes[4] = {230, 240, 250, 224};
    for (int i = 0; i < 4; ++i) {
        f.scene.y[size_t(x + i)] = uint8_t(codes[i]);
        f.k.offsets[1][size_t(x + i)] = -20;  // highlight luma
    }
    f.k.mask[x] = 128;
    const uint16_t *t = f.k.Tables(false).fusion;
    for (Kernel kernel : {Kernel::kDark, Kernel::kBoth, Kernel::kRefOnly}) {
        const SpanOutput out = f.Run(GetParam().layout, kernel, 8, 20);
        for (int i = 0; i < 4; ++i) {
            const int32_t repaired = 4 * kGammaExpandTable[codes[i] - 20];
            EXPECT_EQ(out.y[size_t(x - 8 + i)], (128 * repaired + 128 * t[512 + codes[i]]) >> 8)
                << KernelName(kernel) << " pixel " << i;
        }
    }
}

// Over random rows with every repair at work, each format's kernels store what the packed
// kernels store for the same pixels: the bright exposure's chroma enters unchanged in every
// layout.
TEST_P(LayoutFigures, SameBlendAsThePackedKernels) {
    const Layout layout = GetParam().layout;
    std::mt19937 random(41);
    KernelBench k;
    SpanScene scene;
    std::vector<uint8_t> warp;
    for (int trial = 0; trial < 20; ++trial) {
        RandomSpanInputs(random, {}, scene, warp, k);
        const SpanTables t = k.Tables(false);
        const SpanRows rows = k.Rows();
        for (Kernel kernel : kAllKernels) {
            RunningWeights a{{9000, 7000, kFusionWeightOne - 16000}}, b = a;
            const SpanOutput packed =
                RunSpan(Layout::kPacked, kernel, 12, 60, scene, warp, t, rows, &a);
            const SpanOutput own = RunSpan(layout, kernel, 12, 60, scene, warp, t, rows, &b);
            const std::string where = "trial " + std::to_string(trial) + " " + KernelName(kernel);
            ASSERT_EQ(own.y, packed.y) << where;
            ASSERT_EQ(own.u, packed.u) << where;
            ASSERT_EQ(own.v, packed.v) << where;
            for (int i = 0; i < 3; ++i) ASSERT_EQ(a.w[i], b.w[i]) << where;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, LayoutFigures, testing::ValuesIn(kFormats),
                         [](const testing::TestParamInfo<FormatCase> &i) { return i.param.name; });

}  // namespace
