// Local-curve span kernels of packed 4:2:2: weights, ramps, curves, clamps and the tone tail.
#include <gtest/gtest.h>

#include "fusion/span_kernel_support.h"
#include "fusion/span_local_curve_group_packed422.h"
#include "fusion/span_local_curve_packed422.h"

namespace {

using fusion_test::Group;
using fusion_test::KernelBench;
using fusion_test::MakeGroup;
using fusion_test::Warp;

int Lin(int code) { return 4 * kGammaExpandTable[std::clamp(code, 0, 255)]; }

TEST(SpanLocalCurvePacked422, RampsFromTheCarriedWeightsAndUsesPixelOnesForPairZero) {
    KernelBench k;
    k.weightBright.assign(fusion_test::kRowLength, 0);
    const Group ref = MakeGroup(100, 110, 120, 130, 90, 160, 70, 180);
    const Group dark = MakeGroup(40, 50, 60, 70, 140, 100, 150, 110);
    const auto warp = Warp(dark, ref);
    RunningWeights w = {{0, 0, kFusionWeightOne}};
    const FusedGroup g = BlendGroupLocalCurveBothPacked422(0, ref.data(), warp.data(), warp.data() + 8,
                                                           k.Tables(true), k.Rows(), &w);
    // n_d from the weight curve at pixel 3 and the reciprocal of the raw sum.
    const int rawD = (kWeightTable[70] * 256 + 255) >> 8, rawR = (kWeightTable[130] * 256 + 255) >> 8;
    const int nD = rawD * (32768 / (rawD + rawR));
    const int wD[4] = {(nD + 2) >> 2, nD >> 1, (3 * nD + 2) >> 2, nD};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(g.light[i], (wD[i] * Lin(dark[2 * i]) + (32768 - wD[i]) * Lin(ref[2 * i])) >> 15) << i;
    EXPECT_EQ(g.chroma[0], (wD[1] * 140 + (32768 - wD[1]) * 90) >> 11);
    EXPECT_EQ(g.chroma[3], (nD * 110 + (32768 - nD) * 180) >> 11);
    EXPECT_EQ(w.w[0], nD);
    EXPECT_EQ(w.w[1], 0);
    EXPECT_EQ(w.w[2], 32768 - nD);
}

TEST(SpanLocalCurvePacked422, ZeroRawWeightsLeaveTheReferenceAfterTheRamp) {
    KernelBench k;
    k.weightDark.assign(fusion_test::kRowLength, 0);
    k.weightBright.assign(fusion_test::kRowLength, 0);
    k.weightReference.assign(fusion_test::kRowLength, 0);
    const Group ref = MakeGroup(200, 200, 200, 200, 128, 128, 128, 128);
    const Group dark = MakeGroup(20, 20, 20, 20, 128, 128, 128, 128);
    const auto warp = Warp(dark, dark);
    RunningWeights w = {{8192, 8192, 16384}};
    const FusedGroup g = BlendGroupLocalCurveBothPacked422(0, ref.data(), warp.data(), warp.data() + 8,
                                                           k.Tables(true), k.Rows(), &w);
    const int wS[4] = {(3 * 8192 + 2) >> 2, 4096, (8192 + 2) >> 2, 0};  // each secondary
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(g.light[i], (2 * wS[i] * Lin(20) + (32768 - 2 * wS[i]) * Lin(200)) >> 15) << i;
    EXPECT_EQ(g.light[3], Lin(200));
    EXPECT_EQ(w.w[0], 0);
    EXPECT_EQ(w.w[1], 0);
    EXPECT_EQ(w.w[2], 32768);
}

TEST(SpanLocalCurvePacked422, ThreeFullRawWeightsUseTheLastReciprocal) {
    KernelBench k;
    k.localCurve[1024 + 768] = 9999;  // beyond what the table builder writes
    const Group g128 = MakeGroup(128, 128, 128, 128, 128, 128, 128, 128);
    const auto warp = Warp(g128, g128);
    RunningWeights w = {{0, 0, kFusionWeightOne}};
    BlendGroupLocalCurveBothPacked422(0, g128.data(), warp.data(), warp.data() + 8, k.Tables(true),
                                      k.Rows(), &w);
    EXPECT_EQ(w.w[0], 256 * 42);
    EXPECT_EQ(w.w[1], 256 * 42);
}

TEST(SpanLocalCurvePacked422, ReferenceOnlyMovesCodesByTheirOffsetsWithinTheCurve) {
    KernelBench k;
    const Group ref = MakeGroup(0, 50, 128, 255, 10, 240, 128, 60);
    struct Case {
        int luma, u, v;           // offset row values at x (luma: offset + 256)
        std::array<int, 4> codes;  // the codes linearised
        std::array<int, 4> chroma; // U0 V0 U1 V1 after their offsets
    };
    for (const Case &c : {Case{256, 0, 0, {0, 50, 128, 255}, {10, 240, 128, 60}},
                          Case{0, -20, 20, {0, 0, 0, 0}, {0, 255, 108, 80}},
                          Case{600, 200, -200, {255, 255, 255, 255}, {210, 40, 255, 0}}}) {
        std::fill(k.lines[0].begin(), k.lines[0].end(), c.luma);
        std::fill(k.lines[3].begin(), k.lines[3].end(), c.u);
        std::fill(k.lines[6].begin(), k.lines[6].end(), c.v);
        std::array<uint8_t, 8> out{};
        FuseSpanLocalCurveRefOnlyPacked422(0, 4, ref.data(), k.Tables(true), k.Rows(), out.data());
        for (int i = 0; i < 4; ++i) EXPECT_EQ(out[2 * i], k.tone[kGammaExpandTable[c.codes[i]]]) << i;
        for (int j = 0; j < 4; ++j) EXPECT_EQ(out[2 * j + 1], k.chroma[16 * c.chroma[j]]) << j;
    }
}

TEST(SpanLocalCurvePacked422, OneSecondaryKernelsCarryTwoWeights) {
    KernelBench k;
    const Group ref = MakeGroup(150, 160, 170, 180, 100, 150, 110, 140);
    const Group quad = MakeGroup(90, 95, 100, 105, 120, 130, 125, 135);
    for (bool dark : {true, false}) {
        RunningWeights w = {{0, kFusionWeightOne, 777}};
        std::array<uint8_t, 8> out{};
        (dark ? FuseSpanLocalCurveDarkPacked422 : FuseSpanLocalCurveBrightPacked422)(
            0, 4, ref.data(), quad.data(), k.Tables(true), k.Rows(), &w, out.data());
        const int rawC = (kWeightTable[105] * 256 + 255) >> 8, rawR = (kWeightTable[180] * 256 + 255) >> 8;
        const int nC = rawC * (32768 / (rawC + rawR));
        EXPECT_EQ(w.w[0], nC);
        EXPECT_EQ(w.w[1], 32768 - nC);
        EXPECT_EQ(w.w[2], 777);
        EXPECT_EQ(out[6], k.tone[((nC * Lin(105) + (32768 - nC) * Lin(180)) >> 15) >> 2]);  // unity gain
        EXPECT_EQ(out[7], k.chroma[(nC * 135 + (32768 - nC) * 140) >> 11]);
    }
}

// The tone tail holds every table index inside its table.
TEST(ToneGroupPacked422, ClampsLightAndChromaIndices) {
    KernelBench k;
    const uint16_t gains[4] = {1024, 65535, 1024, 2048};
    const FusedGroup g = {{-5, 16380, 4095, 100}, {-1, 4096, 2048, 4080}};
    std::array<uint8_t, 8> out{};
    ToneGroupPacked422(g, gains, k.tone.data(), k.chroma.data(), out.data());
    EXPECT_EQ(out[0], k.tone[0]);
    EXPECT_EQ(out[2], k.tone[4095]);
    EXPECT_EQ(out[4], k.tone[(4095 * 1024) >> 12]);
    EXPECT_EQ(out[6], k.tone[(100 * 2048) >> 12]);
    EXPECT_EQ(out[1], k.chroma[0]);
    EXPECT_EQ(out[3], k.chroma[4095]);
    EXPECT_EQ(out[5], k.chroma[2048]);
    // A negative carried weight makes the blend negative: toneTable[0].
    const Group ref = MakeGroup(0, 0, 0, 0, 128, 128, 128, 128);
    const Group bright = MakeGroup(255, 255, 255, 255, 128, 128, 128, 128);
    RunningWeights w = {{0, -32768, 65536}};
    std::array<uint8_t, 16> warp = Warp(ref, bright);
    std::array<uint8_t, 8> fused{};
    FuseSpanLocalCurveBothPacked422(0, 4, ref.data(), warp.data(), k.Tables(true), k.Rows(), &w,
                                    fused.data());
    EXPECT_EQ(fused[0], k.tone[0]);
}

}  // namespace
