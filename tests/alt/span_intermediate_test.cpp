// The 16-bit span kernels of packed 4:2:2: the figures of their cases, and byte-for-byte
// agreement with the 8-bit kernels once a tone tail is put behind them.
#include <gtest/gtest.h>

#include <random>

#include "alt/recovery_intermediate.h"
#include "alt/span_intermediate_packed422.h"
#include "core/session.h"
#include "fusion/span_kernel_support.h"
#include "fusion/span_normal_packed422.h"

namespace {

using fusion_test::Group;
using fusion_test::KernelBench;
using fusion_test::kRowLength;
using fusion_test::MakeGroup;
using fusion_test::Warp;

int G4(int code) { return 4 * kGammaExpandTable[std::clamp(code, 0, 255)]; }

using Out16 = std::array<int16_t, 8>;

Out16 RefOnly(const KernelBench &k, const Group &ref) {
    Out16 out{};
    FuseIntermediateSpanRefOnlyPacked422(0, 4, ref.data(), k.Tables(false), k.Rows(), out.data());
    return out;
}

TEST(SpanIntermediatePacked422, ReferenceOnlyCode128GivesItsTableValueAndNeutralChroma) {
    KernelBench k;
    const Out16 out = RefOnly(k, MakeGroup(128, 128, 128, 128, 128, 128, 128, 128));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(out[2 * i], 3536);  // 4 x 884
    for (int c = 0; c < 4; ++c) EXPECT_EQ(out[2 * c + 1], 8192);
    Out16 plain{};
    const Group g = MakeGroup(128, 128, 128, 128, 128, 128, 128, 128);
    FuseIntermediateSpanPlainRefOnlyPacked422(0, 4, g.data(), k.Tables(false), plain.data());
    EXPECT_EQ(plain, out);
}

// All raw weights 0 after a group of dark and bright weights 0: the reference alone, with its
// recovery, in the two- and one-secondary kernels alike.
TEST(SpanIntermediatePacked422, ZeroWeightsGiveTheReferenceWithItsRecovery) {
    KernelBench k;
    k.weightReference.assign(kRowLength, 0);
    k.weightDark.assign(kRowLength, 0);
    k.weightBright.assign(kRowLength, 0);
    k.mask.assign(kRowLength, 200);
    std::fill(k.offsets[1].begin(), k.offsets[1].end(), -30);
    std::fill(k.offsets[2].begin(), k.offsets[2].end(), 20);
    const Group ref = MakeGroup(100, 230, 250, 60, 90, 160, 140, 120);
    const auto warp = Warp(MakeGroup(10, 20, 30, 40, 50, 60, 70, 80),
                           MakeGroup(200, 210, 220, 230, 50, 60, 70, 80));
    const Out16 expected = RefOnly(k, ref);
    Out16 both{}, dark{};
    RunningWeights w = {{0, 0, kFusionWeightOne}};
    FuseIntermediateSpanBothPacked422(0, 4, ref.data(), warp.data(), k.Tables(false), k.Rows(), &w,
                                      both.data());
    RunningWeights w1 = {{0, kFusionWeightOne, kFusionWeightOne}};
    FuseIntermediateSpanDarkPacked422(0, 4, ref.data(), warp.data(), k.Tables(false), k.Rows(), &w1,
                                      dark.data());
    EXPECT_EQ(both, expected);
    EXPECT_EQ(dark, expected);
    // Pixel 2 reads its own code.
    const Out16 own = RefOnly(k, MakeGroup(100, 110, 120, 130, 128, 128, 128, 128));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(own[2 * i], G4(100 + 10 * i)) << i;
}

TEST(SpanIntermediatePacked422, HighlightVRecoveryReachesZero) {
    KernelBench k;
    k.mask.assign(kRowLength, 200);
    k.weightDark.assign(kRowLength, 0);
    k.weightBright.assign(kRowLength, 0);
    std::fill(k.offsets[3].begin(), k.offsets[3].end(), -50);
    const Group ref = MakeGroup(250, 128, 128, 128, 128, 10, 128, 128);
    const auto warp = Warp(MakeGroup(90, 90, 90, 90, 128, 128, 128, 128),
                           MakeGroup(90, 90, 90, 90, 128, 128, 128, 128));
    EXPECT_EQ(RefOnly(k, ref)[3], 0);
    Out16 both{}, dark{};
    RunningWeights w = {{0, 0, kFusionWeightOne}};
    FuseIntermediateSpanBothPacked422(0, 4, ref.data(), warp.data(), k.Tables(false), k.Rows(), &w,
                                      both.data());
    RunningWeights w1 = {{0, kFusionWeightOne, kFusionWeightOne}};
    FuseIntermediateSpanDarkPacked422(0, 4, ref.data(), warp.data(), k.Tables(false), k.Rows(), &w1,
                                      dark.data());
    EXPECT_EQ(both[3], 0);
    EXPECT_EQ(dark[3], 0);
}

// Pixel 3 of the dark kernel, reference code 230 with mask 128: half corrected, half plain,
// as pixels 0 to 2.
TEST(SpanIntermediatePacked422, DarkKernelPixel3MixesTheRecoveryByTheMask) {
    KernelBench k;
    k.mask.assign(kRowLength, 128);
    k.weightDark.assign(kRowLength, 0);
    std::fill(k.offsets[1].begin(), k.offsets[1].end(), -30);
    const Group ref = MakeGroup(230, 230, 230, 230, 128, 128, 128, 128);
    const auto warp = Warp(MakeGroup(90, 90, 90, 90, 128, 128, 128, 128), Group{});
    Out16 out{};
    RunningWeights w = {{0, kFusionWeightOne, kFusionWeightOne}};
    FuseIntermediateSpanDarkPacked422(0, 4, ref.data(), warp.data(), k.Tables(false), k.Rows(), &w,
                                      out.data());
    const int mixed = (128 * G4(200) + 128 * G4(230)) >> 8;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(out[2 * i], mixed) << i;
}

// Both secondaries at full weight leave the reference -1: the samples stay at 0.
TEST(SpanIntermediatePacked422, SamplesAreHeldToTheirRanges) {
    KernelBench k;
    k.weightReference.assign(kRowLength, 0);
    const Group ref = MakeGroup(255, 255, 255, 255, 255, 255, 255, 255);
    const auto warp = Warp(MakeGroup(0, 0, 0, 0, 0, 0, 0, 0), MakeGroup(0, 0, 0, 0, 0, 0, 0, 0));
    Out16 out{};
    RunningWeights w = {{16384, 16385, -1}};
    FuseIntermediateSpanPlainBothPacked422(0, 4, ref.data(), warp.data(), k.Tables(false), k.Rows(),
                                           &w, out.data());
    for (int16_t v : out) {
        EXPECT_GE(v, 0);
        EXPECT_LE(v, kIntermediateChromaMax);
    }
}

// The plain kernels blend the bare segment values: in mid-tones without offsets they agree
// with the recovering kernels.
TEST(SpanIntermediatePacked422, PlainKernelsMatchTheRecoveringOnesInMidTones) {
    KernelBench k;
    std::mt19937 random(3);
    for (auto *row : {&k.weightReference, &k.weightDark, &k.weightBright})
        for (int16_t &v : *row) v = int16_t(random() % 257);
    std::vector<uint8_t> ref(2 * kRowLength), warp(4 * kRowLength);
    for (size_t i = 0; i < ref.size(); ++i) ref[i] = uint8_t(40 + random() % 150);
    for (uint8_t &v : warp) v = uint8_t(40 + random() % 150);
    std::vector<int16_t> plain(2 * kRowLength), full(2 * kRowLength);
    RunningWeights a = {{0, 0, kFusionWeightOne}}, b = a;
    FuseIntermediateSpanPlainBothPacked422(0, kRowLength, ref.data(), warp.data(), k.Tables(false),
                                           k.Rows(), &a, plain.data());
    FuseIntermediateSpanBothPacked422(0, kRowLength, ref.data(), warp.data(), k.Tables(false),
                                      k.Rows(), &b, full.data());
    EXPECT_EQ(plain, full);
    RunningWeights c = {{0, kFusionWeightOne, 0}}, d = c;
    FuseIntermediateSpanPlainOneSecondaryPacked422(0, kRowLength, ref.data(), warp.data(),
                                                   k.Tables(false), k.Rows(), k.weightBright.data(),
                                                   kFusionBrightSegment, &c, plain.data());
    FuseIntermediateSpanBrightPacked422(0, kRowLength, ref.data(), warp.data(), k.Tables(false),
                                        k.Rows(), kFusionBrightSegment, &d, full.data());
    EXPECT_EQ(plain, full);
}

// The test-local tone tail: (Y G) >> 12 held to 4095 through the tone table; chroma through
// the chroma table at C >> 2.
void ToneTail(const std::vector<int16_t> &samples, const uint16_t *gain, const uint8_t *tone,
              const uint8_t *chroma, std::vector<uint8_t> &out) {
    for (size_t i = 0; i < samples.size(); i += 2) {
        const uint32_t y = static_cast<uint32_t>(samples[i]) * gain[i / 2];
        out[i] = tone[std::min<uint32_t>(y >> 12, 4095)];
        out[i + 1] = chroma[samples[i + 1] >> 2];
    }
}

// For random rows and quads, every span type: 16-bit kernel plus tone tail = 8-bit kernel.
TEST(SpanIntermediatePacked422, ToneTailOverTheSixteenBitKernelsGivesTheEightBitBytes) {
    KernelBench k;
    std::mt19937 random(11);
    const auto pick = [&](int lo, int hi) { return lo + int(random() % uint32_t(hi - lo + 1)); };
    for (int trial = 0; trial < 200; ++trial) {
        for (auto &t : k.tone) t = uint8_t(random());
        for (auto &t : k.chroma) t = uint8_t(random());
        for (auto *row : {&k.weightReference, &k.weightDark, &k.weightBright})
            for (int16_t &v : *row) v = int16_t(pick(0, 8) == 0 ? 0 : pick(0, 256));
        for (int16_t &v : k.mask) v = int16_t(pick(0, 3) == 0 ? 0 : pick(0, 256));
        for (auto &row : k.offsets)
            for (int16_t &v : row) v = int16_t(pick(-80, 80));
        for (uint16_t &g : k.gain) g = uint16_t(pick(256, 6000));
        std::vector<uint8_t> ref(2 * kRowLength), warp(4 * kRowLength);
        // Codes spread over shadows, mid-tones and highlights.
        for (uint8_t &v : ref) v = uint8_t(pick(0, 3) == 0 ? pick(0, 40) : pick(0, 255));
        for (uint8_t &v : warp) v = uint8_t(pick(0, 255));
        const int32_t d = pick(0, kFusionWeightOne), b = pick(0, kFusionWeightOne - d);
        for (int type : {SPAN_BOTH, SPAN_DARK, SPAN_BRIGHT, SPAN_REFERENCE_ONLY}) {
            SCOPED_TRACE(testing::Message() << "trial " << trial << " type " << type);
            RunningWeights w8 = type == SPAN_BOTH ? RunningWeights{{d, b, kFusionWeightOne - d - b}}
                                                  : RunningWeights{{d, kFusionWeightOne - d, 0}};
            RunningWeights w16 = w8;
            std::vector<uint8_t> eight(2 * kRowLength), toned(2 * kRowLength);
            std::vector<int16_t> sixteen(2 * kRowLength);
            const SpanTables t = k.Tables(false);
            const SpanRows rows = k.Rows();
            switch (type) {
                case SPAN_BOTH:
                    FuseSpanBothPacked422(0, kRowLength, ref.data(), warp.data(), t, rows, &w8,
                                          eight.data());
                    FuseIntermediateSpanBothPacked422(0, kRowLength, ref.data(), warp.data(), t,
                                                      rows, &w16, sixteen.data());
                    break;
                case SPAN_DARK:
                    FuseSpanDarkPacked422(0, kRowLength, ref.data(), warp.data(), t, rows, &w8,
                                          eight.data());
                    FuseIntermediateSpanDarkPacked422(0, kRowLength, ref.data(), warp.data(), t,
                                                      rows, &w16, sixteen.data());
                    break;
                case SPAN_BRIGHT:
                    FuseSpanBrightPacked422(0, kRowLength, ref.data(), warp.data(), t, rows,
                                            kFusionBrightSegment, &w8, eight.data());
                    FuseIntermediateSpanBrightPacked422(0, kRowLength, ref.data(), warp.data(), t,
                                                        rows, kFusionBrightSegment, &w16,
                                                        sixteen.data());
                    break;
                default:
                    FuseSpanRefOnlyPacked422(0, kRowLength, ref.data(), t, rows, eight.data());
                    FuseIntermediateSpanRefOnlyPacked422(0, kRowLength, ref.data(), t, rows,
                                                         sixteen.data());
            }
            ToneTail(sixteen, k.gain.data(), k.tone.data(), k.chroma.data(), toned);
            ASSERT_EQ(toned, eight);
            EXPECT_EQ(w16.w[0], w8.w[0]);
            EXPECT_EQ(w16.w[1], w8.w[1]);
        }
    }
}

// --- Refinement of the packed intermediate and the chroma adjustment ------------------------

struct RefineFixture {
    HdrSession s{};
    std::vector<uint8_t> dark, reference;
    std::vector<int16_t> mask = std::vector<int16_t>(kRowLength, 256);
    std::vector<int16_t> luma = std::vector<int16_t>(kRowLength, 40);
    std::vector<int16_t> u = std::vector<int16_t>(kRowLength, 64);
    std::vector<int16_t> v = std::vector<int16_t>(kRowLength, -64);
    static constexpr int32_t kRows = 16, kPitch = 2 * kRowLength;

    // Reference chroma at distance t from neutral (U = 128 + t), dark chroma at distance 40.
    explicit RefineFixture(int t) {
        s.frameWidth = kRowLength;
        s.frameHeight = kRows;
        s.overlapRect = {0, 4, kRowLength, 8};
        dark.assign(size_t(kPitch) * kRows, 0);
        reference.assign(size_t(kPitch) * kRows, 0);
        for (int32_t i = 0; i < kPitch * kRows; i += 2) {
            dark[i] = 100;
            dark[i + 1] = (i / 2) & 1 ? 128 : 168;
            reference[i] = 230;
            reference[i + 1] = (i / 2) & 1 ? 128 : uint8_t(128 + t);
        }
    }
    void Refine(int32_t y) {
        RefineRecoveryOffsetsRowIntermediatePacked422(&s, mask.data(), y, dark.data(),
                                                      reference.data(), kPitch, luma.data(),
                                                      u.data(), v.data());
    }
};

TEST(RefineIntermediatePacked422, ChromaCorrectionsKeptUpTo32HalvedAt48) {
    struct Case {
        int t, u, v;
    };
    for (const Case &c : {Case{20, 64, -64}, Case{48, 32, -32}, Case{70, 0, 0}}) {
        RefineFixture f(c.t);
        f.Refine(4);
        EXPECT_EQ(f.u[0], c.u) << c.t;
        EXPECT_EQ(f.v[2], c.v) << c.t;
        EXPECT_EQ(f.u[1], 64) << c.t;  // only x and x + 2 of a group
    }
}

TEST(RefineIntermediatePacked422, RefinesRowsOyUpToButNotOyPlusH) {
    for (int32_t y : {3, 4, 11, 12}) {
        RefineFixture f(48);
        f.Refine(y);
        const bool refined = y >= 4 && y < 12;
        EXPECT_EQ(f.u[0], refined ? 32 : 64) << y;
    }
}

// With a shift that moves the dark row and columns outside the frame the reads are held to it.
TEST(RefineIntermediatePacked422, ShiftedDarkReadsStayInsideTheFrame) {
    RefineFixture f(48);
    f.s.overlapRect = {0, 0, kRowLength, RefineFixture::kRows};
    f.s.globalShift[0] = 90;
    f.s.globalShift[1] = -40;
    for (int32_t y = 0; y < RefineFixture::kRows; ++y) f.Refine(y);  // clean under ASan
    EXPECT_EQ(f.u[0], 64 >> RefineFixture::kRows);
}

// The luma fade on a plane of one byte a pixel: rows dy + 4 .. dy + H - 4, dark luma above 240.
TEST(FadeRecoveryLumaOffsetRowLumaPlane, FadesWhereTheDarkLumaNearsClipping) {
    HdrSession s{};
    s.overlapRect = {0, 0, 8, 20};
    std::vector<int16_t> mask(8, 256);
    const uint8_t darkY[8] = {250, 240, 241, 100, 255, 0, 0, 0};
    for (int32_t y : {3, 4, 16, 17}) {
        std::vector<int16_t> luma(8, 32);
        FadeRecoveryLumaOffsetRowLumaPlane(&s, mask.data(), y, darkY, luma.data());
        const bool inside = y >= 4 && y <= 16;
        EXPECT_EQ(luma[0], inside ? (32 * 6) >> 4 : 32) << y;
        EXPECT_EQ(luma[1], 32) << y;
        EXPECT_EQ(luma[2], inside ? (32 * 15) >> 4 : 32) << y;
        EXPECT_EQ(luma[4], inside ? (32 * 1) >> 4 : 32) << y;
    }
}

TEST(AdjustChromaByLuma, Shift4AndZeroLevelGivesFactor3579) {
    std::vector<int32_t> table(256, 0);
    uint8_t luma[4] = {50, 50, 50, 50};
    uint8_t u[2] = {129, 120}, v[2] = {129, 128};
    // Held to 0..255 when the factor throws the chroma further.
    uint8_t far[2] = {100, 100}, farV[2] = {200, 200};
    AdjustChromaByLumaPlanar422(0, 4, luma, far, farV, 4, table.data());
    EXPECT_EQ(far[0], 0);
    EXPECT_EQ(farV[1], 255);
    AdjustChromaByLumaPlanar420(0, 4, luma, u, v, 4, table.data());
    EXPECT_EQ(u[0], 128 + (3579 >> 8));
    EXPECT_EQ(u[1], 128 + ((-8 * 3579) >> 8));  // 16: almost fourteen times as far out
    EXPECT_EQ(v[0], 128 + ((((5888 * 730) >> 10) + 256) >> 8));
    EXPECT_EQ(v[1], 128);
}

}  // namespace
