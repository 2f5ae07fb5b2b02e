#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <tuple>
#include <vector>

#include "core/session.h"
#include "core/tone_tables.h"

namespace {

class ToneTablesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CreateHdrSession(nullptr, 0, &session), RESULT_OK); }
    void TearDown() override { DestroyHdrSession(nullptr, session); }
    HdrSession *session = nullptr;
};

TEST_F(ToneTablesTest, ContrastCurveEndpointsAndTheStrongestLevel) {
    ASSERT_EQ(BuildContrastCurve(session, 0, 195), RESULT_OK);
    const uint16_t *curve = session->contrastCurve;
    EXPECT_EQ(curve[0], 0);
    EXPECT_EQ(curve[736], 736);
    EXPECT_EQ(curve[737], 737);
    EXPECT_EQ(curve[4095], 4095);
    EXPECT_EQ(curve[2416], 4053);
    for (int i = 0; i < 4096; ++i) ASSERT_LE(curve[i], 4095);
    EXPECT_EQ(session->contrastLevel, 195);
}

TEST_F(ToneTablesTest, ContrastCurveIsCachedByLevel) {
    session->contrastCurve[100] = 7;  // a rebuild would overwrite this
    EXPECT_EQ(BuildContrastCurve(session, 0, 30), RESULT_OK);
    EXPECT_EQ(session->contrastCurve[100], 7);
}

TEST_F(ToneTablesTest, ContrastLevelsThatLeaveTheTwelveBitRangeAreRefused) {
    for (int level : {-201, 201, 100000}) {
        EXPECT_EQ(BuildContrastCurve(session, 0, level), RESULT_INVALID_ARGUMENT) << level;
        EXPECT_EQ(session->contrastLevel, 30);
    }
    for (int level : {-200, 200}) {
        ASSERT_EQ(BuildContrastCurve(session, 0, level), RESULT_OK);
        for (int i = 0; i < 4096; ++i) ASSERT_LE(session->contrastCurve[i], 4095) << level;
    }
}

TEST_F(ToneTablesTest, SaturationLevelZeroIsNotAPlainShift) {
    ASSERT_EQ(BuildSaturationTable(session, 0, 0), RESULT_OK);
    const uint8_t *t = session->chromaTable;
    EXPECT_EQ(t[3072], 191);
    for (int k = 3073; k < 4096; ++k) EXPECT_EQ(t[k], (k - 1) >> 4) << k;
    EXPECT_EQ(std::memcmp(t, session->chromaTable2, 4096), 0);
}

TEST_F(ToneTablesTest, SaturationLevel100AndTheSteepForm) {
    ASSERT_EQ(BuildSaturationTable(session, 0, 100), RESULT_OK);
    const uint8_t *t = session->chromaTable;
    for (int k = 1; k <= 1023; ++k) EXPECT_EQ(t[k], 0) << k;
    EXPECT_EQ(t[1536], 64);
    for (int k = 3072; k < 4096; ++k) EXPECT_EQ(t[k], 255) << k;

    ASSERT_EQ(BuildSaturationTable(session, 0, 101), RESULT_OK);
    EXPECT_EQ(session->saturationLevel, 100);
    EXPECT_EQ(t[1024], 0);
    EXPECT_EQ(t[2048], 128);
    EXPECT_EQ(t[3072], 255);
    std::vector<uint8_t> steep(t, t + 4096);
    ASSERT_EQ(BuildSaturationTable(session, 0, 100), RESULT_OK);  // level 100 is cached now
    EXPECT_EQ(std::memcmp(steep.data(), t, 4096), 0);
    EXPECT_EQ(std::memcmp(t, session->chromaTable2, 4096), 0);
}

TEST_F(ToneTablesTest, SaturationLevelsOutsideTheTableRangeAreRefused) {
    EXPECT_EQ(BuildSaturationTable(session, 0, -1), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(BuildSaturationTable(session, 0, 1001), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(session->saturationLevel, 30);
}

TEST_F(ToneTablesTest, VariantSaturationStoresFourTimesTheLevelAndStaysMonotone) {
    ASSERT_EQ(BuildSaturationTableVariant(session, 0, 10), RESULT_OK);
    EXPECT_EQ(session->saturationLevel, 40);
    for (const uint8_t *t : {session->chromaTable, session->chromaTable2}) {
        EXPECT_EQ(t[0], 0);
        EXPECT_EQ(t[2048], 128);
        EXPECT_EQ(t[1024], (1024 - 409) >> 4);
        EXPECT_EQ(t[3072], (409 + 3071) >> 4);
    }
    HdrSession broken = *session;
    broken.chromaTable2 = nullptr;
    EXPECT_EQ(BuildSaturationTableVariant(&broken, 0, 10), RESULT_OUT_OF_MEMORY);
}

// Both variant tables, every entry, against their definition: the first table shifts its
// lower half by c and its upper half by g, the second the other way round.
TEST_F(ToneTablesTest, VariantSaturationTablesMatchTheirFormulas) {
    const auto lower = [](int v) { return v <= 0 ? 0 : v >> 4; };
    const auto upper = [](int v) { return v > 4094 ? 255 : v >> 4; };
    for (int level : {0, 1, 10, 37, 100, 250, 1000}) {
        const int k4 = 4 * level, d = level * 4096 / 100;
        std::vector<int> first(4096, -1), second(4096, -1);
        for (int j = 0; j <= 1022; ++j) {
            const int i = 4095 - j;
            const int c = k4 * (j + 1) / 100;
            const int g = static_cast<int>(
                std::trunc((i - 3072) * ((j + 1) * k4 / 115.0 - 1.0) * (1.0 / 1024) + 1.0));
            for (auto [t, low, high] : {std::tuple{&first, c, g}, std::tuple{&second, g, c}}) {
                (*t)[j + 1] = lower(j + 1 - low);
                (*t)[i - 2048] = lower(i - low - 2048);
                (*t)[j + 2049] = upper(j + high + 2049);
                (*t)[i] = upper(i + high - 1);
            }
        }
        for (std::vector<int> *t : {&first, &second}) {
            (*t)[0] = 0;
            (*t)[1024] = lower(1024 - d);
            (*t)[2048] = 128;
            (*t)[3072] = d + 3071 > 4094 ? 255 : (d + 3071) >> 4;
        }
        ASSERT_EQ(BuildSaturationTableVariant(session, 0, level), RESULT_OK);
        EXPECT_EQ(std::vector<int>(session->chromaTable, session->chromaTable + 4096), first)
            << level;
        EXPECT_EQ(std::vector<int>(session->chromaTable2, session->chromaTable2 + 4096), second)
            << level;
    }
}

struct BrightnessCase {
    int brightness;
    double factor;
    int index;
    int value;
};

TEST_F(ToneTablesTest, BrightnessCurveFigures) {
    const BrightnessCase cases[] = {
        {0, 1.2, 0, 1},     {0, 1.2, 100, 121},  {0, 1.2, 880, 1033}, {0, 1.2, 2048, 2314},
        {0, 1.2, 4095, 4095}, {5, 1.0, 100, 108}, {5, 1.0, 880, 935},  {5, 1.0, 2048, 2145},
        {-20, 1.0, 880, 706},
    };
    for (const BrightnessCase &c : cases) {
        ASSERT_EQ(ApplyBrightnessCurve(session, 0, c.brightness, 0, 4096, c.factor), RESULT_OK);
        EXPECT_EQ(session->contrastCurve[c.index], c.value)
            << "brightness " << c.brightness << " factor " << c.factor << " at " << c.index;
    }
}

TEST_F(ToneTablesTest, NeutralBrightnessKeepsTheToneTableAndRefreshesTheSavedCopy) {
    std::vector<uint8_t> before(session->toneTable, session->toneTable + 4096);
    ASSERT_EQ(ApplyBrightnessLevel(nullptr, session, 0, 0, 0), RESULT_OK);
    for (int k = 0; k < 4096; ++k) ASSERT_EQ(session->contrastCurve[k], k);
    EXPECT_EQ(std::memcmp(before.data(), session->toneTable, 4096), 0);
    EXPECT_EQ(std::memcmp(before.data(), session->toneTable + kSavedToneTableOffset, 4096), 0);
}

TEST_F(ToneTablesTest, BrightnessComposesIntoTheToneTable) {
    std::vector<uint8_t> before(session->toneTable, session->toneTable + 4096);
    session->deepShadowFlag = 1;  // factor 1.2
    ASSERT_EQ(ApplyBrightnessLevel(nullptr, session, 0, 0, 0), RESULT_OK);
    EXPECT_EQ(session->contrastCurve[880], 1033);
    for (int k = 0; k < 4096; ++k)
        ASSERT_EQ(session->toneTable[k], before[session->contrastCurve[k]]) << k;
}

TEST_F(ToneTablesTest, BrightnessRangeMustLieInTheTable) {
    const int ranges[][2] = {{-1, 4096}, {0, 4097}, {100, 50}};
    for (const auto &r : ranges)
        EXPECT_EQ(ApplyBrightnessCurve(session, 0, 10, r[0], r[1], 1.0), RESULT_INVALID_ARGUMENT);
    ASSERT_EQ(ApplyBrightnessCurve(session, 0, 10, 100, 2000, 1.0), RESULT_OK);
    EXPECT_EQ(session->contrastCurve[99], 0);
    EXPECT_EQ(session->contrastCurve[1999], 4095);
    EXPECT_EQ(session->contrastCurve[2000], 4095);
}

}  // namespace
