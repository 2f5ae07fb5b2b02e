// The plain 16-bit kernels of the planar and semi-planar layouts: the packed plain blend
// group for group, in every phase and at the row's end, and the recovering kernels wherever
// nothing is recovered.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "span_layout_support.h"

namespace {

using namespace alt_test;
using fusion_test::KernelBench;

// Spans starting in odd and even groups, of odd and even group counts, one ending at the row.
struct Span {
    int32_t x0, x1;
};
constexpr Span kSpans[] = {{0, 64}, {4, 16}, {12, 36}, {20, 24}, {52, 64}};

struct LayoutCase {
    const char *name;
    Layout layout;
};

std::string Name(const testing::TestParamInfo<LayoutCase> &i) { return i.param.name; }

void ExpectSame(const SpanOutput &a, const SpanOutput &b, const std::string &where) {
    EXPECT_EQ(a.y, b.y) << where;
    EXPECT_EQ(a.u, b.u) << where;
    EXPECT_EQ(a.v, b.v) << where;
}

RunningWeights RandomStart(std::mt19937 &random) {
    const int32_t d = int32_t(random() % 16385), b = int32_t(random() % 16385);
    return {{d, b, kFusionWeightOne - d - b}};
}

class PlainPlanarKernels : public testing::TestWithParam<LayoutCase> {};

TEST_P(PlainPlanarKernels, EqualThePackedPlainKernels) {
    const Layout layout = GetParam().layout;
    std::mt19937 random(23);
    KernelBench k;
    SpanScene scene;
    std::vector<uint8_t> warp;
    const SpanTables t = k.Tables(false);
    for (int trial = 0; trial < 25; ++trial) {
        RandomSpanInputs(random, {}, scene, warp, k);
        // No offset or mask row is read: leave them out.
        SpanRows rows = k.Rows();
        rows.mask = rows.shadow = rows.highlightLuma = rows.highlightU = rows.highlightV = nullptr;
        for (const Span &span : kSpans)
            for (Kernel kernel : {Kernel::kPlainBoth, Kernel::kPlainDark, Kernel::kPlainBright,
                                  Kernel::kPlainRefOnly}) {
                RunningWeights packed = RandomStart(random), planar = packed;
                const SpanOutput a = RunSpan(Layout::kPacked, kernel, span.x0, span.x1, scene,
                                             warp, t, rows, &packed);
                const SpanOutput b =
                    RunSpan(layout, kernel, span.x0, span.x1, scene, warp, t, rows, &planar);
                const std::string where = "trial " + std::to_string(trial) + " kernel " +
                                          std::to_string(int(kernel)) + " span " +
                                          std::to_string(span.x0) + ".." + std::to_string(span.x1);
                ExpectSame(a, b, where);
                for (int i = 0; i < 3; ++i) EXPECT_EQ(packed.w[i], planar.w[i]) << where;
                if (HasFailure()) return;
            }
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, PlainPlanarKernels,
                         testing::Values(LayoutCase{"Planar420", Layout::kPlanar420},
                                         LayoutCase{"Planar422", Layout::kPlanar422},
                                         LayoutCase{"SemiPlanar420", Layout::kSemiPlanar420},
                                         LayoutCase{"SemiPlanar422", Layout::kSemiPlanar422}),
                         Name);

// With the mask at 0, no dark code below 33 and no reference code above 191, the recovering
// kernels recover nothing and must give the plain kernels' samples and weights.
class PlainAgainstRecovering : public testing::TestWithParam<LayoutCase> {};

TEST_P(PlainAgainstRecovering, EqualWhereNothingIsRecovered) {
    const Layout layout = GetParam().layout;
    std::mt19937 random(31);
    KernelBench k;
    SpanScene scene;
    std::vector<uint8_t> warp;
    const SpanTables t = k.Tables(false);
    const std::pair<Kernel, Kernel> kPairs[] = {{Kernel::kBoth, Kernel::kPlainBoth},
                                                {Kernel::kDark, Kernel::kPlainDark},
                                                {Kernel::kBright, Kernel::kPlainBright},
                                                {Kernel::kRefOnly, Kernel::kPlainRefOnly}};
    for (int trial = 0; trial < 25; ++trial) {
        RandomSpanInputs(random, {191, 33, 0}, scene, warp, k);
        const SpanRows rows = k.Rows();
        for (const Span &span : kSpans)
            for (const auto &[recovering, plain] : kPairs) {
                RunningWeights a = RandomStart(random), b = a;
                const std::string where = "trial " + std::to_string(trial) + " kernel " +
                                          std::to_string(int(plain)) + " span " +
                                          std::to_string(span.x0) + ".." + std::to_string(span.x1);
                ExpectSame(RunSpan(layout, recovering, span.x0, span.x1, scene, warp, t, rows, &a),
                           RunSpan(layout, plain, span.x0, span.x1, scene, warp, t, rows, &b),
                           where);
                for (int i = 0; i < 2; ++i) EXPECT_EQ(a.w[i], b.w[i]) << where;
                if (HasFailure()) return;
            }
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, PlainAgainstRecovering,
                         testing::Values(LayoutCase{"Packed", Layout::kPacked},
                                         LayoutCase{"Planar420", Layout::kPlanar420},
                                         LayoutCase{"Planar422", Layout::kPlanar422},
                                         LayoutCase{"SemiPlanar420", Layout::kSemiPlanar420},
                                         LayoutCase{"SemiPlanar422", Layout::kSemiPlanar422}),
                         Name);

}  // namespace
