#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/constant_tables.h"
#include "core/memory.h"
#include "run/session_lifecycle.h"
#include "core/session.h"

extern "C" int CreateAndDestroySessionFromC(void);
extern "C" int RefuseMergeToIntermediateFromC(void);

namespace {

double SrgbDecode(double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); }
double SrgbEncode(double l) {
    return l <= 0.0031308 ? 12.92 * l : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
}
int Nearest(double x) { return static_cast<int>(std::floor(x + 0.5)); }

TEST(ConstantTables, EveryEntryFollowsItsFormula) {
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(kGammaExpandTable[i], Nearest(4095 * SrgbDecode(i / 255.0))) << i;
        EXPECT_EQ(kBitCountTable[i], __builtin_popcount(i)) << i;
        const int weight = i <= 128 ? 256 : Nearest(256 * std::exp(-(i - 128) / 64.0));
        EXPECT_EQ(kWeightTable[i], weight) << i;
    }
    for (int j = 0; j < 4096; ++j)
        EXPECT_EQ(kGammaCompressTable[j], Nearest(255 * SrgbEncode(j / 4095.0))) << j;
}

TEST(ConstantTables, KnownEntriesAndRoundTrip) {
    const int expand[][2] = {{0, 0}, {1, 1}, {128, 884}, {255, 4095}};
    for (const auto &e : expand) EXPECT_EQ(kGammaExpandTable[e[0]], e[1]);
    const int compress[][2] = {{0, 0}, {880, 128}, {884, 128}, {4095, 255}};
    for (const auto &e : compress) EXPECT_EQ(kGammaCompressTable[e[0]], e[1]);
    const int weight[][2] = {{128, 256}, {129, 252}, {255, 35}};
    for (const auto &e : weight) EXPECT_EQ(kWeightTable[e[0]], e[1]);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(kGammaCompressTable[kGammaExpandTable[i]], i);
        if (i > 0) { EXPECT_GT(kGammaExpandTable[i], kGammaExpandTable[i - 1]); }
    }
}

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CreateHdrSession(nullptr, 7, &session), RESULT_OK); }
    void TearDown() override { EXPECT_EQ(DestroyHdrSession(nullptr, session), RESULT_OK); }
    HdrSession *session = nullptr;
};

TEST_F(SessionTest, NewSessionHoldsItsDefaults) {
    const HdrSession &s = *session;
    EXPECT_EQ(s.gammaExpandTable, kGammaExpandTable);
    EXPECT_EQ(s.gammaCompressTable, kGammaCompressTable);
    EXPECT_EQ(s.bitCountTable, kBitCountTable);
    EXPECT_EQ(s.weightTable, kWeightTable);
    EXPECT_EQ(s.createOption, 7);
    EXPECT_EQ(s.alignPyramidDepth, 3);
    EXPECT_EQ(s.pixelsPerSample, 64);
    EXPECT_EQ(s.offsetFadeEnabled, 1);
    EXPECT_EQ(s.toneLength, 25);
    EXPECT_EQ(s.brightness, 0);
    EXPECT_EQ(s.ghostLevel, 0);
    EXPECT_EQ(s.contrastLevel, 30);
    EXPECT_EQ(s.saturationLevel, 30);
    EXPECT_EQ(s.pendingStatus, 0u);
    EXPECT_EQ(s.lowResMapsReady, 0);
    EXPECT_EQ(s.preparedByRun, 0);
    EXPECT_EQ(s.chromaTable2, s.chromaTable + 4096);
    for (int i = 0; i < 65536; ++i) ASSERT_EQ(s.gainTable[i], 0);
    for (const uint8_t *table : s.curveTables)
        for (int i = 0; i < 256; ++i) ASSERT_EQ(table[i], 0);
}

TEST_F(SessionTest, ReciprocalTable) {
    const int32_t *r = session->reciprocalTable;
    EXPECT_EQ(r[0], 0);
    EXPECT_EQ(r[1], 32768);
    EXPECT_EQ(r[3], 10922);
    EXPECT_EQ(r[24575], 1);
    for (int i = 1; i < kReciprocalTableSize; ++i) ASSERT_EQ(r[i], 32768 / i);
}

TEST_F(SessionTest, NewSessionHoldsTheLevel30ToneTables) {
    const HdrSession &s = *session;
    EXPECT_EQ(s.contrastCurve[368], 313);
    EXPECT_EQ(s.contrastCurve[2416], 2667);
    const int tone[][2] = {{0, 0}, {368, 78}, {2416, 211}, {4095, 255}};
    for (const auto &e : tone) EXPECT_EQ(s.toneTable[e[0]], e[1]) << e[0];
    for (int i = 0; i < 4096; ++i)
        ASSERT_EQ(s.toneTable[i], kGammaCompressTable[s.contrastCurve[i]]);
    const int chroma[][2] = {{1, 0},     {1023, 44},  {1024, 44},  {2047, 127},
                             {2048, 128}, {2049, 128}, {3072, 211}, {4095, 255}};
    for (const auto &e : chroma) {
        EXPECT_EQ(s.chromaTable[e[0]], e[1]) << e[0];
        EXPECT_EQ(s.chromaTable2[e[0]], e[1]) << e[0];
    }
}

TEST_F(SessionTest, GhostLevelIsClampedToZeroToTen) {
    const int cases[][2] = {{-5, 0}, {0, 0}, {6, 6}, {10, 10}, {11, 10}};
    for (const auto &c : cases) {
        EXPECT_EQ(SetGhostSuppressionLevel(0, session, c[0]), RESULT_OK);
        EXPECT_EQ(session->ghostLevel, c[1]) << c[0];
    }
    EXPECT_EQ(SetAuxMode(0, session, 3), RESULT_OK);
    EXPECT_EQ(session->auxMode, 3);
}

TEST_F(SessionTest, ReleaseOnAFreshSessionFreesNothingAndCanRepeat) {
    EXPECT_EQ(ReleasePipelineBuffers(nullptr, session), RESULT_OK);
    EXPECT_EQ(ReleasePipelineBuffers(nullptr, session), RESULT_OK);
    EXPECT_NE(session->toneTable, nullptr);
}

TEST_F(SessionTest, ReleaseFreesRunBuffersAndClearsEveryPointer) {
    HdrSession &s = *session;
    s.blockStats = AllocateZeroed<int16_t>(nullptr, 64);
    s.paddedBlockPlanes[3] = s.blockStats + 8;
    s.histograms[1] = AllocateZeroed<ExposureHistograms>(nullptr, 1);
    s.exposureLuts[2] = AllocateZeroed<uint16_t>(nullptr, 4096);
    s.blockWeights[kWeightReference] = AllocateZeroed<int16_t>(nullptr, 64);
    s.blockWeights[kWeightBright] = s.blockWeights[kWeightReference] + 32;
    s.mapLineBuffers[1] = AllocateZeroed<int16_t>(nullptr, 90);
    s.mapLineBuffers[1 + 4 * 8] = s.mapLineBuffers[1] + 80;
    s.fineGrids[3] = AllocateZeroed<int16_t>(nullptr, 30);
    s.fineGrids[5] = s.fineGrids[3] + 20;
    s.featureX = AllocateZeroed<float>(nullptr, 512);
    s.featureArrays[1] = s.featureX + 384;
    EXPECT_EQ(ReleasePipelineBuffers(nullptr, session), RESULT_OK);
    EXPECT_EQ(s.blockStats, nullptr);
    EXPECT_EQ(s.paddedBlockPlanes[3], nullptr);
    EXPECT_EQ(s.histograms[1], nullptr);
    EXPECT_EQ(s.exposureLuts[2], nullptr);
    EXPECT_EQ(s.blockWeights[kWeightBright], nullptr);
    EXPECT_EQ(s.mapLineBuffers[1 + 4 * 8], nullptr);
    EXPECT_EQ(s.fineGrids[5], nullptr);
    EXPECT_EQ(s.featureArrays[1], nullptr);
}

TEST(Session, NullArguments) {
    EXPECT_EQ(DestroyHdrSession(nullptr, nullptr), RESULT_OUT_OF_MEMORY);
    EXPECT_EQ(ReleasePipelineBuffers(nullptr, nullptr), RESULT_OUT_OF_MEMORY);
    EXPECT_EQ(SetGhostSuppressionLevel(0, nullptr, 3), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(SetAuxMode(0, nullptr, 3), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(CreateHdrSession(nullptr, 0, nullptr), RESULT_INVALID_ARGUMENT);
}

TEST(Session, PublicHeaderWorksFromC) {
    EXPECT_EQ(CreateAndDestroySessionFromC(), RESULT_OK);
    EXPECT_EQ(RefuseMergeToIntermediateFromC(), RESULT_INVALID_ARGUMENT);
}

// Payload bytes of each allocation CreateHdrSession makes, in order.
std::vector<int64_t> SessionAllocationSizes() {
    auto round8 = [](int64_t n) { return (n + 7) & ~int64_t{7}; };
    return {round8(sizeof(HdrSession)), kToneTableBlockBytes, 4 * kReciprocalTableSize,
            2 * 4096, 8192, 2 * kGainTableSize, 256, 256, 256, 256};
}

// A pool that runs out at allocation k: every block before it fits exactly, the k-th does not.
TEST(Session, CreationFailsCleanlyWhereverThePoolRunsOut) {
    const std::vector<int64_t> sizes = SessionAllocationSizes();
    for (size_t k = 0; k < sizes.size(); ++k) {
        int64_t payload = sizes[k] - 8;
        for (size_t j = 0; j < k; ++j) payload += sizes[j] + 16;
        std::vector<uint64_t> buffer(static_cast<size_t>(payload + 32) / 8);
        MemoryContext pool = InitMemoryPool(buffer.data(), buffer.size() * 8);
        ASSERT_NE(pool, nullptr);
        const int64_t before = LargestFreeBlock(pool);
        ASSERT_EQ(before, payload);
        HdrSession *session = nullptr;
        EXPECT_EQ(CreateHdrSession(pool, 0, &session), RESULT_OUT_OF_MEMORY) << "allocation " << k;
        if (k == 0) {
            EXPECT_EQ(session, nullptr);
        } else {
            ASSERT_NE(session, nullptr);
            EXPECT_EQ(DestroyHdrSession(pool, session), RESULT_OK);
        }
        EXPECT_EQ(LargestFreeBlock(pool), before) << "allocation " << k;
    }
}

TEST(Session, CreationInAPoolThatFitsSucceedsAndLeavesNothingBehind) {
    int64_t payload = 0;
    for (int64_t size : SessionAllocationSizes()) payload += size + 16;
    std::vector<uint64_t> buffer(static_cast<size_t>(payload + 32) / 8);
    MemoryContext pool = InitMemoryPool(buffer.data(), buffer.size() * 8);
    HdrSession *session = nullptr;
    ASSERT_EQ(CreateHdrSession(pool, 0, &session), RESULT_OK);
    EXPECT_EQ(session->toneTable[2416], 211);
    EXPECT_EQ(DestroyHdrSession(pool, session), RESULT_OK);
    EXPECT_EQ(LargestFreeBlock(pool), payload);
}

}  // namespace
