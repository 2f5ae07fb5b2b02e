// Normal-mode span kernels of packed 4:2:2: shadow and highlight recovery and their gates.
#include <gtest/gtest.h>

#include "fusion/span_kernel_support.h"
#include "fusion/span_normal_packed422.h"

namespace {

using fusion_test::Group;
using fusion_test::KernelBench;
using fusion_test::MakeGroup;
using fusion_test::Warp;

int G4(int code) { return 4 * kGammaExpandTable[std::clamp(code, 0, 255)]; }

TEST(SpanNormalPacked422, HighlightRecoveryFollowsTheMaskAndTheCode) {
    KernelBench k;
    std::fill(k.offsets[1].begin(), k.offsets[1].end(), -30);  // highlight luma
    struct Case {
        int mask, code;
        int light;  // the reference's linear light
    };
    for (const Case &c : {Case{0, 240, G4(240)}, Case{-3, 240, G4(240)},
                          Case{256, 224, G4(194)}, Case{256, 250, G4(220)},
                          Case{256, 192, G4(192)},
                          Case{256, 208, (G4(178) * 16 + 16 * G4(208)) >> 5},
                          Case{128, 250, (128 * G4(220) + 128 * G4(250)) >> 8},
                          Case{256, 191, G4(191)}}) {
        SCOPED_TRACE(testing::Message() << "mask " << c.mask << " code " << c.code);
        std::fill(k.mask.begin(), k.mask.end(), c.mask);
        const Group ref = MakeGroup(c.code, c.code, c.code, c.code, 128, 128, 128, 128);
        const FusedGroup g = BlendGroupRefOnlyPacked422(0, ref.data(), k.Tables(false), k.Rows());
        for (int i = 0; i < 4; ++i) EXPECT_EQ(g.light[i], c.light);
    }
}

TEST(SpanNormalPacked422, ReferenceChromaRecoveryStartsAbove192AndClamps) {
    KernelBench k;
    std::fill(k.offsets[2].begin(), k.offsets[2].end(), 64);   // U
    std::fill(k.offsets[3].begin(), k.offsets[3].end(), -64);  // V
    struct Case {
        int mask, y0, y2;
        std::array<int, 4> chroma;  // U0 V0 U1 V1 after recovery, from 100 150 240 10
    };
    for (const Case &c : {Case{256, 192, 193, {100, 150, 242, 8}},
                          Case{256, 224, 230, {164, 86, 255, 0}},
                          Case{0, 250, 250, {100, 150, 240, 10}},
                          Case{256, 208, 100, {132, 118, 240, 10}}}) {
        std::fill(k.mask.begin(), k.mask.end(), c.mask);
        const Group ref = MakeGroup(c.y0, 0, c.y2, 0, 100, 150, 240, 10);
        const FusedGroup g = BlendGroupRefOnlyPacked422(0, ref.data(), k.Tables(false), k.Rows());
        for (int j = 0; j < 4; ++j) EXPECT_EQ(g.chroma[j], 16 * c.chroma[j]) << c.y0 << " " << j;
    }
}

TEST(SpanNormalPacked422, ShadowRecoveryRampsInBelowCode33) {
    KernelBench k;
    k.weightReference.assign(fusion_test::kRowLength, 0);  // the dark exposure alone at pixel 3
    std::fill(k.offsets[0].begin(), k.offsets[0].end(), 40);
    struct Case {
        int code, light;
    };
    for (const Case &c : {Case{32, 4 * kGammaExpandTable[32]}, Case{15, G4(55)},
                          Case{24, (G4(64) * 8 + 8 * 4 * kGammaExpandTable[24]) >> 4},
                          Case{33, 4 * kGammaExpandTable[33]}}) {
        const Group dark = MakeGroup(c.code, c.code, c.code, c.code, 128, 128, 128, 128);
        const Group ref = MakeGroup(100, 100, 100, 100, 128, 128, 128, 128);
        RunningWeights w = {{kFusionWeightOne, kFusionWeightOne, kFusionWeightOne}};
        const FusedGroup g = BlendGroupDarkPacked422(0, ref.data(), dark.data(), k.Tables(false), k.Rows(), &w);
        EXPECT_EQ(g.light[3], c.light) << c.code;
    }
    // Codes of 33 and above never read the shadow row.
    const Group dark = MakeGroup(33, 90, 200, 255, 128, 128, 128, 128);
    const Group ref = MakeGroup(100, 100, 100, 100, 128, 128, 128, 128);
    RunningWeights w1 = {{16384, 16384, 0}}, w2 = w1;
    const FusedGroup a = BlendGroupDarkPacked422(0, ref.data(), dark.data(), k.Tables(false), k.Rows(), &w1);
    std::fill(k.offsets[0].begin(), k.offsets[0].end(), -300);
    const FusedGroup b = BlendGroupDarkPacked422(0, ref.data(), dark.data(), k.Tables(false), k.Rows(), &w2);
    EXPECT_EQ(0, std::memcmp(&a, &b, sizeof a));
}

TEST(SpanNormalPacked422, BrightKernelRecoversHighlightsWithoutTheMaskAndKeepsChroma) {
    KernelBench k;
    k.weightBright.assign(fusion_test::kRowLength, 0);  // the reference alone at pixel 3
    std::fill(k.offsets[1].begin(), k.offsets[1].end(), -40);
    std::fill(k.offsets[2].begin(), k.offsets[2].end(), 50);
    std::fill(k.mask.begin(), k.mask.end(), 0);
    const Group ref = MakeGroup(230, 0, 230, 210, 90, 160, 70, 180);
    const Group bright = MakeGroup(255, 255, 255, 255, 128, 128, 128, 128);
    RunningWeights w = {{0, kFusionWeightOne, 0}};
    const FusedGroup g = BlendGroupBrightPacked422(0, ref.data(), bright.data(), k.Tables(false),
                                                   k.Rows(), 256, &w);
    EXPECT_EQ(g.light[3], (G4(170) * 18 + 14 * G4(210)) >> 5);
    EXPECT_EQ(g.light[2], G4(190));
    EXPECT_EQ(g.chroma[0], 16 * 90);
    EXPECT_EQ(g.chroma[3], 16 * 180);
}

TEST(SpanNormalPacked422, ThreeExposuresBlendTheirOwnSegments) {
    KernelBench k;
    const Group ref = MakeGroup(120, 120, 120, 120, 100, 100, 100, 100);
    const Group dark = MakeGroup(60, 60, 60, 60, 140, 140, 140, 140);
    const Group bright = MakeGroup(200, 200, 200, 200, 160, 160, 160, 160);
    const auto warp = Warp(dark, bright);
    RunningWeights w = {{0, 0, kFusionWeightOne}};
    std::array<uint8_t, 8> out{};
    FuseSpanBothPacked422(0, 4, ref.data(), warp.data(), k.Tables(false), k.Rows(), &w, out.data());
    const int rawD = (kWeightTable[60] * 256 + 255) >> 8, rawB = (kWeightTable[200] * 256 + 255) >> 8,
              rawR = (kWeightTable[120] * 256 + 255) >> 8;
    const int r = 32768 / (rawD + rawB + rawR), nD = rawD * r, nB = rawB * r, nR = 32768 - nD - nB;
    const int64_t s = (int64_t{nD} * G4(60) + int64_t{nB} * kGammaExpandTable[200] + int64_t{nR} * G4(120)) >> 15;
    EXPECT_EQ(out[6], k.tone[s >> 2]);
    EXPECT_EQ(out[7], k.chroma[(nD * 140 + nB * 160 + nR * 100) >> 11]);
}

}  // namespace
