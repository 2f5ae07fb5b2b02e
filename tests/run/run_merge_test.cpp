// The merge entry point and its run driver, on synthetic brackets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "core/bracket_support.h"
#include "core/image_support.h"
#include "core/memory.h"
#include "run/band_pass.h"
#include "run/run_driver.h"
#include "run/session_lifecycle.h"
#include "core/session.h"

namespace {

using bracket_support::Bracket;
using bracket_support::MakeBracket;
using bracket_support::TexturedScene;
using image_support::PoolBuffer;

constexpr int kW = 384;
constexpr int kH = 256;

struct SessionHolder {
    explicit SessionHolder(MemoryContext memory = nullptr) : memory(memory) {
        EXPECT_EQ(CreateHdrSession(memory, 0, &session), RESULT_OK);
    }
    ~SessionHolder() { DestroyHdrSession(memory, session); }
    MemoryContext memory;
    HdrSession *session = nullptr;
};

struct Reports {
    std::vector<int64_t> values;
    int64_t cancelAt = -1;         // index of the report that answers with a cancel
    int64_t cancelPercent = -1;    // or the percent that does
};

int64_t Record(int64_t percent, int64_t, void *user) {
    auto *reports = static_cast<Reports *>(user);
    reports->values.push_back(percent);
    const bool cancel = int64_t(reports->values.size()) - 1 == reports->cancelAt ||
                        percent == reports->cancelPercent;
    return cancel ? PROGRESS_CANCEL : 0;
}

int Merge(HdrSession *s, Bracket &b, const MergeParams *params = nullptr,
          ProgressCallback progress = nullptr, void *user = nullptr, int outputIndex = 2,
          MemoryContext memory = nullptr) {
    const int count = static_cast<int>(b.descriptors.size());
    return RunHdrMerge(memory, s, b.descriptors.data(), count, b.descriptors.data(), outputIndex,
                       params, 0, progress, user);
}

// Runs the jobs one after another on the calling thread.
int RunInOrder(int count, int (*job)(void *), void *records, size_t recordBytes) {
    int result = RESULT_OK;
    for (int i = 0; i < count; ++i) {
        const int r = job(static_cast<char *>(records) + i * recordBytes);
        if (r == RESULT_CANCELLED) result = r;
        if (result == RESULT_OK) result = r;
    }
    return result;
}

// Nothing of the run is left in the session.
void ExpectRunBuffersReleased(const HdrSession *s) {
    EXPECT_EQ(s->blockStats, nullptr);
    EXPECT_EQ(s->tracker, nullptr);
    EXPECT_EQ(s->featureX, nullptr);
    for (int i = 0; i < kMaxExposures; ++i) {
        EXPECT_EQ(s->smallImages[i], nullptr);
        EXPECT_EQ(s->alignedSmall[i], nullptr);
        EXPECT_EQ(s->histograms[i], nullptr);
        EXPECT_EQ(s->exposureLuts[i], nullptr);
        EXPECT_EQ(s->offsetGridX[i], nullptr);
        EXPECT_EQ(s->fusionWeightGrids[i], nullptr);
    }
    EXPECT_EQ(s->previewImage, nullptr);
    for (const int16_t *map : s->fineGrids) EXPECT_EQ(map, nullptr);
    for (int t = 0; t < kWorkerCount; ++t) {
        EXPECT_EQ(s->workerRows16[t], nullptr);
        EXPECT_EQ(s->mapLineBuffers[t], nullptr);
        EXPECT_EQ(s->offsetRows[t], nullptr);
    }
    EXPECT_EQ(s->gainGrid, nullptr);
    EXPECT_EQ(s->blockWeights[kWeightReference], nullptr);
}

TEST(RunDriver, BandsStartOnMultiplesOfEightRows) {
    struct Case {
        int32_t height;
        int32_t bounds[5];
    };
    for (const Case &c : {Case{600, {0, 144, 296, 448, 600}}, Case{40, {0, 8, 16, 24, 40}},
                          Case{2, {0, 0, 0, 0, 2}}}) {
        RowBand bands[kWorkerCount];
        SplitFusionBands(RegionRect{0, 10, 100, c.height}, bands);
        for (int i = 0; i < kWorkerCount; ++i) {
            EXPECT_EQ(bands[i].workerIndex, i);
            EXPECT_EQ(bands[i].firstRow, 10 + c.bounds[i]) << c.height << " band " << i;
            EXPECT_EQ(bands[i].endRow, 10 + c.bounds[i + 1]) << c.height << " band " << i;
            EXPECT_EQ(bands[i].rowOffset, c.bounds[i]);
        }
    }
}

// The band worker hands its band to the format's renderer: a format without one is refused,
// and so is a record without a band.
TEST(FusionBandWorker, DispatchesItsBandByTheFirstInputsFormat) {
    SessionHolder h;
    ImageDesc inputs[kMaxExposures] = {};
    for (ImageDesc &d : inputs) d.u32PixelArrayFormat = PIXEL_FORMAT_YUV444P;
    const RowBand band = {0, 0, 8, 0};
    FusionBandWorkerArgs args = {nullptr, h.session, inputs, nullptr, 3, nullptr, 0, nullptr,
                                 nullptr, nullptr, 0, &band};
    EXPECT_EQ(FusionBandWorker(&args), RESULT_UNSUPPORTED_FORMAT);
    args.band = nullptr;
    EXPECT_EQ(FusionBandWorker(&args), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(FusionBandWorker(nullptr), RESULT_INVALID_ARGUMENT);
}

TEST(RunHdrMerge, RefusesBadArgumentsBeforeTouchingAnything) {
    Bracket b = MakeBracket(TexturedScene(kW, kH), kW, kH);
    const std::vector<uint8_t> before = b.images[2].bytes;
    SessionHolder h;
    auto run = [&](std::vector<__tag_QELV_OFFSCREEN> images, int count, int index,
                   bool sameOutputs = true, HdrSession *s = nullptr) {
        std::vector<__tag_QELV_OFFSCREEN> other = images;
        return RunHdrMerge(nullptr, s ? s : h.session, images.data(), count,
                           sameOutputs ? images.data() : other.data(), index, nullptr, 0, nullptr,
                           nullptr);
    };
    auto with = [&](int i, auto change) {
        std::vector<__tag_QELV_OFFSCREEN> d = b.descriptors;
        change(d[i]);
        return d;
    };
    EXPECT_EQ(RunHdrMerge(nullptr, nullptr, b.descriptors.data(), 3, b.descriptors.data(), 2,
                          nullptr, 0, nullptr, nullptr),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(RunHdrMerge(nullptr, h.session, nullptr, 3, nullptr, 2, nullptr, 0, nullptr,
                          nullptr),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(run(b.descriptors, 3, 2, false), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(run(b.descriptors, 0, 0), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(run(b.descriptors, 4, 2), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(run(b.descriptors, 3, 3), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(run(b.descriptors, 3, -1), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(run(with(1, [](auto &d) { d.i32Width -= 2; }), 3, 2), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(run(with(2, [](auto &d) { d.i32Height -= 1; }), 3, 2), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(run(with(0, [](auto &d) { d.pi32Pitch[0] = 2 * kW - 2; }), 3, 2),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(run(with(1, [](auto &d) { d.pi32Pitch[0] = 2 * kW + 16; }), 3, 2),
              RESULT_INVALID_ARGUMENT);  // the renderers read every exposure with one pitch
    EXPECT_EQ(run(with(1, [](auto &d) { d.ppu8Plane[0] = nullptr; }), 3, 2),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(run(with(1, [](auto &d) { d.u32PixelArrayFormat = PIXEL_FORMAT_NV12; }), 3, 2),
              RESULT_INVALID_ARGUMENT);
    auto allFormat = [&](uint32_t format) {
        std::vector<__tag_QELV_OFFSCREEN> d = b.descriptors;
        for (auto &image : d) image.u32PixelArrayFormat = format;
        return d;
    };
    EXPECT_EQ(run(allFormat(PIXEL_FORMAT_GRAY8), 3, 2), RESULT_UNSUPPORTED_FORMAT);
    EXPECT_EQ(run(allFormat(PIXEL_FORMAT_YUV422P), 3, 2), RESULT_UNSUPPORTED_FORMAT);
    std::vector<__tag_QELV_OFFSCREEN> oddWidth = b.descriptors;
    for (auto &image : oddWidth) image.i32Width -= 1;
    EXPECT_EQ(run(oddWidth, 3, 2), RESULT_INVALID_ARGUMENT);  // chroma comes in pixel pairs
    Bracket tiny = MakeBracket(TexturedScene(96, 94), 96, 94);
    EXPECT_EQ(run(tiny.descriptors, 3, 2), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(b.images[2].bytes, before);
}

TEST(RunHdrMerge, ClampsTheToneParameters) {
    struct Case {
        int64_t tone, bright, saturation;
        int32_t wantTone, wantBright, wantSaturation;
    };
    const Case cases[] = {
        {-1, -101, -1, 25, 0, 0},         {101, 101, 101, 25, 0, 0},
        {0, -100, 0, 0, -100, 0},         {100, 100, 100, 100, 100, 100},
        {0x100000032LL, 7, 3, 50, 7, 3},  {45, 10, 40, 45, 10, 40},
    };
    Bracket b = MakeBracket(TexturedScene(kW, kH), kW, kH);
    for (const Case &c : cases) {
        SessionHolder h;
        const MergeParams params{c.tone, c.bright, c.saturation};
        Reports reports;
        reports.cancelPercent = 5;
        ASSERT_EQ(Merge(h.session, b, &params, Record, &reports), RESULT_CANCELLED);
        EXPECT_EQ(h.session->toneLength, c.wantTone);
        EXPECT_EQ(h.session->brightness, c.wantBright);
        EXPECT_EQ(h.session->toneSaturation, c.wantSaturation);
    }
    SessionHolder h;
    Reports reports;
    reports.cancelPercent = 5;
    ASSERT_EQ(Merge(h.session, b, nullptr, Record, &reports), RESULT_CANCELLED);
    EXPECT_EQ(h.session->toneLength, 25);
    EXPECT_EQ(h.session->brightness, 0);
    EXPECT_EQ(h.session->toneSaturation, 0);
}

TEST(RunHdrMerge, ReportsFiveStagesThenTheBands) {
    Bracket b = MakeBracket(TexturedScene(kW, kH), kW, kH);
    SessionHolder h;
    Reports reports;
    ASSERT_EQ(Merge(h.session, b, nullptr, Record, &reports), RESULT_OK);
    ASSERT_GT(reports.values.size(), 5u);
    // The registration reports at the progress base of a fresh run, 0.
    std::vector<int64_t> pipeline;
    for (int64_t v : reports.values)
        if (v != 0) pipeline.push_back(v);
    ASSERT_GE(pipeline.size(), 6u);
    EXPECT_EQ(std::vector<int64_t>(pipeline.begin(), pipeline.begin() + 5),
              (std::vector<int64_t>{5, 10, 15, 20, 25}));
    for (size_t i = 5; i < pipeline.size(); ++i) {
        EXPECT_GE(pipeline[i], 25);
        EXPECT_LT(pipeline[i], 100);
        EXPECT_GE(pipeline[i], pipeline[i - 1]);
    }
    ExpectRunBuffersReleased(h.session);
}

TEST(RunHdrMerge, ACancelAtAnyReportStopsTheRunAndReleasesItsBuffers) {
    Bracket b = MakeBracket(TexturedScene(kW, kH), kW, kH);
    Reports all;
    {
        SessionHolder h;
        ASSERT_EQ(Merge(h.session, b, nullptr, Record, &all), RESULT_OK);
    }
    for (size_t k = 0; k < all.values.size(); ++k) {
        if (all.values[k] == 0) continue;  // the registration's reports do not stop a run
        PoolBuffer buffer(64 << 20);
        MemoryContext pool = buffer.Init();
        SessionHolder h(pool);
        const int64_t freeBefore = LargestFreeBlock(pool);
        Reports reports;
        reports.cancelAt = static_cast<int64_t>(k);
        Bracket copy = b;
        copy.Describe();
        EXPECT_EQ(Merge(h.session, copy, nullptr, Record, &reports, 2, pool), RESULT_CANCELLED)
            << "cancel at report " << k << " (" << all.values[k] << "%)";
        EXPECT_EQ(reports.values.size(), k + 1);
        ExpectRunBuffersReleased(h.session);
        EXPECT_EQ(LargestFreeBlock(pool), freeBefore);
        if (all.values[k] > 25) break;  // one band report is enough
    }
}

// Registration never moves a whole exposure; the stage check reads the shifts it is given.
TEST(RunDriver, ShiftsOfSixtyFourPassAndSixtyFiveArePending) {
    Bracket b = MakeBracket(TexturedScene(kW, kH), kW, kH);
    for (int32_t shift : {64, -64, 65, -65}) {
        for (int axis = 0; axis < 2; ++axis) {
            SessionHolder h;
            HdrSession *s = h.session;
            s->preparedByRun = 1;
            ASSERT_EQ(PrepareExposures(nullptr, s, b.descriptors.data(), 3, nullptr, nullptr),
                      RESULT_OK);
            s->exposureCount = 3;
            s->pendingStatus = 0;
            s->globalShift[2 * s->brightIndex + axis] = shift;
            ASSERT_EQ(CheckExposureSetAndShifts(nullptr, s, b.descriptors.data()), RESULT_OK);
            const uint64_t want = (shift == 65 || shift == -65) ? RESULT_EXCESSIVE_MOTION : 0;
            EXPECT_EQ(s->pendingStatus, want) << shift << " axis " << axis;
            EXPECT_EQ(s->globalShift[2 + axis], shift);
            ReleasePipelineBuffers(nullptr, s);
        }
    }
}

TEST(RunHdrMerge, CallerPreparedSetMustEndWithTheBrightest) {
    Bracket b = MakeBracket(TexturedScene(kW, kH), kW, kH, {4, 1, 0.25});
    SessionHolder h;
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(PrepareExposureByIndex(nullptr, h.session, b.descriptors.data(), i, nullptr,
                                         nullptr),
                  RESULT_OK);
    EXPECT_EQ(Merge(h.session, b), RESULT_EXPOSURE_ORDER);
    ExpectRunBuffersReleased(h.session);
}

TEST(RunHdrMerge, CallerPreparedSetInOrderMergesLikeTheRun) {
    Bracket b = MakeBracket(TexturedScene(kW, kH), kW, kH, {0.25, 1, 4});
    Bracket c = b;
    c.Describe();
    {
        SessionHolder h;
        ASSERT_EQ(Merge(h.session, b), RESULT_OK);
    }
    SessionHolder h;
    // Preparing image 1 before image 0 is refused.
    EXPECT_EQ(PrepareExposureByIndex(nullptr, h.session, c.descriptors.data(), 1, nullptr, nullptr),
              RESULT_INVALID_ARGUMENT);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(PrepareExposureByIndex(nullptr, h.session, c.descriptors.data(), i, nullptr,
                                         nullptr),
                  RESULT_OK);
    ASSERT_EQ(Merge(h.session, c), RESULT_OK);
    EXPECT_EQ(c.images[2].bytes, b.images[2].bytes);
}

TEST(RunHdrMerge, OneAndTwoExposuresMerge) {
    for (int count : {1, 2}) {
        Bracket b = MakeBracket(TexturedScene(kW, kH), kW, kH,
                                count == 1 ? std::vector<double>{1} : std::vector<double>{1, 4});
        const std::vector<uint8_t> reference = b.images[0].bytes;
        SessionHolder h;
        ASSERT_EQ(Merge(h.session, b, nullptr, nullptr, nullptr, count - 1), RESULT_OK) << count;
        EXPECT_NE(b.images[count - 1].bytes, reference) << count;
        ExpectRunBuffersReleased(h.session);
    }
}

// A run of one or two exposures leaves the thumbnail slots of the missing ones unwritten. Run
// from a pool whose bytes start as zeros, then as noise, the picture must not change: nothing
// of the run reads memory that no one wrote.
TEST(RunHdrMerge, OneAndTwoExposuresReadNothingUnwritten) {
    for (int count : {1, 2}) {
        std::vector<uint8_t> first;
        for (bool noise : {false, true}) {
            Bracket b = MakeBracket(TexturedScene(kW, kH), kW, kH,
                                    count == 1 ? std::vector<double>{1} : std::vector<double>{1, 4});
            PoolBuffer buffer(24 << 20);
            uint64_t x = 0x9E3779B97F4A7C15ull;
            for (uint64_t &word : buffer.storage) {
                x = x * 6364136223846793005ull + 1442695040888963407ull;
                word = noise ? x : 0;
            }
            MemoryContext pool = buffer.Init();
            SessionHolder holder(pool);
            ASSERT_EQ(Merge(holder.session, b, nullptr, nullptr, nullptr, count - 1, pool), RESULT_OK)
                << count;
            if (first.empty()) {
                first = b.images[count - 1].bytes;
                continue;
            }
            EXPECT_TRUE(b.images[count - 1].bytes == first) << count << " exposures";
        }
    }
}

// The fusion's Q10 gains are the measured gains rounded to nearest, not truncated.
TEST(RunHdrMerge, Q10GainsAreTheMeasuredGainsRounded) {
    int roundedUp = 0;
    for (const std::vector<double> &gains :
         {std::vector<double>{0.25, 1, 4}, std::vector<double>{0.3, 1.1, 3.3},
          std::vector<double>{0.2, 0.9, 2.7}}) {
        Bracket b = MakeBracket(TexturedScene(kW, kH), kW, kH, gains);
        SessionHolder h;
        ASSERT_EQ(Merge(h.session, b), RESULT_OK);
        for (int i = 0; i < 3; ++i) {
            const double q10 = h.session->exposureGain[i] * 1024;
            EXPECT_EQ(h.session->exposureGainQ10[i], std::lround(q10)) << gains[1] << " " << i;
            roundedUp += q10 - std::floor(q10) >= 0.5;
        }
    }
    EXPECT_GT(roundedUp, 0);  // else truncating would pass too
}

TEST(RunHdrMerge, FeaturelessSceneFallsBackToAFlatPicture) {
    Bracket b = MakeBracket(bracket_support::FlatScene(1.0), kW, kH);
    SessionHolder h;
    ASSERT_EQ(Merge(h.session, b), RESULT_OK);
    // Luma keeps one level across the picture; chroma stays within the scene's small tint.
    const auto &out = b.images[2];
    for (int k = 0; k < 4; ++k) {
        int lo = 255, hi = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = k; x < 2 * kW; x += 4) {
                lo = std::min<int>(lo, out.bytes[size_t(y) * out.pitch + x]);
                hi = std::max<int>(hi, out.bytes[size_t(y) * out.pitch + x]);
            }
        if (k % 2 == 0) {
            EXPECT_LE(hi - lo, 1) << "luma";
        } else {
            EXPECT_GE(lo, 118) << "chroma";
            EXPECT_LE(hi, 138) << "chroma";
        }
    }
    EXPECT_EQ(h.session->pendingStatus, 0u);
}

// Highlights clipped in the middle exposure come from the dark one, shadows crushed in it from
// the bright one: the merged picture keeps texture in both. The middle band, seen by all three
// exposures, holds the features that register them.
TEST(RunHdrMerge, RecoversClippedHighlightsAndCrushedShadows) {
    const auto base = TexturedScene(kW, kH);
    auto scene = [base](int x, int y) {
        const double b = base(x, y);
        return x < kW / 4 ? 0.015 * b : x >= 3 * kW / 4 ? 10.0 * b : 0.1 + 0.3 * b;
    };
    Bracket b = MakeBracket(scene, kW, kH);
    // Distinct luma levels inside a column range, away from the frame's border.
    auto levels = [](const bracket_support::PackedImage &im, int x0, int x1) {
        bool seen[256] = {};
        for (int y = 16; y < kH - 16; ++y)
            for (int x = x0; x < x1; ++x) seen[im.Luma(x, y)] = true;
        return static_cast<int>(std::count(seen, seen + 256, true));
    };
    const int shadow0 = 16, shadow1 = kW / 4 - 16, light0 = 3 * kW / 4 + 16, light1 = kW - 16;
    const int midShadow = levels(b.images[1], shadow0, shadow1);
    const int midLight = levels(b.images[1], light0, light1);
    ASSERT_LE(midShadow, 4);
    ASSERT_LE(midLight, 4);
    SessionHolder h;
    ASSERT_EQ(Merge(h.session, b), RESULT_OK);
    EXPECT_GE(levels(b.images[2], shadow0, shadow1), midShadow + 8);
    EXPECT_GE(levels(b.images[2], light0, light1), midLight + 8);
}

// A still bracket whose width is not a multiple of 16: every exposure covers the frame, so the
// picture is not scaled to the crop's 16-pixel grid and its edges stay where the photos have them.
TEST(RunHdrMerge, AStillBracketIsNotRescaled) {
    const int w = 392, h = 264;
    const auto base = TexturedScene(w, h);
    auto scene = [base](int x, int y) {
        return x >= 300 ? 3.0 : x >= 260 ? 0.4 : 0.3 * base(x, y) + 0.1;
    };
    Bracket b = MakeBracket(scene, w, h);
    SessionHolder holder;
    ASSERT_EQ(Merge(holder.session, b), RESULT_OK);
    for (int y = 40; y < h - 40; y += 16) {
        int edge = -1;
        for (int x = 280; x < 320 && edge < 0; ++x)
            if (b.images[2].Luma(x, y) >= b.images[2].Luma(x - 1, y) + 24) edge = x;
        EXPECT_EQ(edge, 300) << "row " << y;
    }
}

TEST(RunHdrMerge, OrderOfInputsAndThreadsDoNotChangeThePicture) {
    Bracket base = MakeBracket(TexturedScene(kW, kH), kW, kH);
    std::vector<uint8_t> first;
    const int orders[][3] = {{0, 1, 2}, {2, 0, 1}, {1, 2, 0}, {2, 1, 0}};
    for (const auto &order : orders) {
        Bracket b;
        for (int i : order) b.images.push_back(base.images[i]);
        b.Describe();
        SessionHolder h;
        ASSERT_EQ(Merge(h.session, b), RESULT_OK);
        const auto &out = b.images[2].bytes;
        if (first.empty()) first = out;
        EXPECT_EQ(out, first) << "order " << order[0] << order[1] << order[2];
    }
    Bracket b = base;
    b.Describe();
    SessionHolder h;
    h.session->jobRunner = RunInOrder;
    ASSERT_EQ(Merge(h.session, b), RESULT_OK);
    EXPECT_EQ(b.images[2].bytes, first);
}

TEST(RunHdrMerge, ASessionUsedTwiceGivesTheSamePicture) {
    Bracket a = MakeBracket(TexturedScene(kW, kH), kW, kH);
    Bracket b = a;
    b.Describe();
    const MergeParams params{45, 10, 40};
    SessionHolder h;
    ASSERT_EQ(Merge(h.session, a, &params), RESULT_OK);
    ASSERT_EQ(Merge(h.session, b, &params), RESULT_OK);
    EXPECT_EQ(a.images[2].bytes, b.images[2].bytes);
}

// Pools that run out at successive points of a run: each failed run returns 4 and gives every
// byte back; the largest pool merges.
TEST(RunHdrMerge, ExhaustedPoolsFailCleanly) {
    const int w = 192, h = 128;
    Bracket base = MakeBracket(TexturedScene(w, h), w, h);
    PoolBuffer buffer(24 << 20);
    MemoryContext pool = buffer.Init();
    SessionHolder holder(pool);
    const int64_t freeAll = LargestFreeBlock(pool);
    int failures = 0;
    bool merged = false;
    for (int64_t room = 256; room < freeAll && !merged; room += room / 24 + 64) {
        // Ballast leaves `room` bytes free at the end of the pool.
        void *ballast = AllocateMemory(pool, uint64_t(freeAll - room - 16));
        ASSERT_NE(ballast, nullptr);
        const int64_t freeBefore = LargestFreeBlock(pool);
        Bracket b = base;
        b.Describe();
        const int r = Merge(holder.session, b, nullptr, nullptr, nullptr, 2, pool);
        if (r == RESULT_OK) {
            merged = true;
        } else {
            ++failures;
            EXPECT_EQ(r, RESULT_OUT_OF_MEMORY) << "room " << room;
        }
        ExpectRunBuffersReleased(holder.session);
        EXPECT_EQ(LargestFreeBlock(pool), freeBefore) << "room " << room;
        FreeMemory(pool, ballast);
    }
    EXPECT_TRUE(merged);
    EXPECT_GT(failures, 50);
}

}  // namespace
