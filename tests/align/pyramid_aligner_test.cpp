#include "align/pyramid_aligner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "align/luma_window.h"
#include "align/signature_maps.h"
#include "align/signature_thresholds.h"
#include "align/synthetic_scene_support.h"
#include "core/memory.h"
#include "core/session.h"

namespace {

constexpr int kSide = 256;
constexpr int kWindowBytes = 3 * kSide * kSide;

struct SessionHolder {
    SessionHolder() { EXPECT_EQ(CreateHdrSession(nullptr, 0, &session), RESULT_OK); }
    ~SessionHolder() { DestroyHdrSession(nullptr, session); }
    HdrSession *session = nullptr;
};

// A halving-mode window buffer: the window followed by room for its reductions.
std::vector<uint8_t> Window(const synthetic::Scene &scene, double gain, double ox, double oy) {
    std::vector<uint8_t> buffer(kWindowBytes, 0);
    const std::vector<uint8_t> plane = synthetic::LumaPlane(scene, kSide, kSide, gain, ox, oy);
    std::memcpy(buffer.data(), plane.data(), plane.size());
    return buffer;
}

struct Result {
    int code;
    int32_t dx, dy, dx2, dy2;
};

Result AlignWindows(HdrSession *s, std::vector<uint8_t> &ref, std::vector<uint8_t> &a,
                    std::vector<uint8_t> *b, int32_t levels, int state = 0, int32_t side = kSide,
                    int32_t height = kSide) {
    Result r{0, 99, 99, 99, 99};
    r.code = AlignTriplePyramid(nullptr, s, ref.data(), a.data(), b ? b->data() : nullptr,
                                PIXEL_FORMAT_I420, 0, side, height, side, side, height, side, &r.dx,
                                &r.dy, &r.dx2, &r.dy2, &state, levels, 0, nullptr, nullptr);
    return r;
}

TEST(PyramidAligner, FindsTheShiftOfATexturedWindow) {
    // exposure(x, y) = reference(x + 5, y - 3), halving mode, two halvings, gradient codes.
    SessionHolder h;
    h.session->alignGradientMode = 1;
    h.session->alignPyramidDepth = 2;
    const synthetic::Scene scene(11);
    auto ref = Window(scene, 1.0, 20, 20);
    auto exposure = Window(scene, 1.0, 25, 17);
    const Result r = AlignWindows(h.session, ref, exposure, nullptr, 2);
    EXPECT_EQ(r.code, RESULT_OK);
    EXPECT_EQ(r.dx, 5);
    EXPECT_EQ(r.dy, -3);
    EXPECT_EQ(r.dx2, 0);
    EXPECT_EQ(r.dy2, 0);
}

// Shifts within reach of two halvings, in both signature modes, across an exposure change.
// Bitmaps split every image at its median and take two-stop changes with clipping; gradient
// codes mark only one polarity of each edge, so clipping moves their marks and they are held
// to one-stop changes here.
TEST(PyramidAligner, FindsShiftsAcrossExposuresInBothModes) {
    const int shifts[][2] = {{0, 0}, {1, -1}, {-7, 7}, {7, -7}, {3, 6}, {-5, -2}, {6, 0}};
    for (int gradient = 0; gradient <= 1; ++gradient) {
        for (const auto &shift : shifts) {
            SessionHolder h;
            h.session->alignGradientMode = gradient;
            h.session->alignPyramidDepth = 2;
            const synthetic::Scene scene(5);
            auto ref = Window(scene, 1.0, 30, 30);
            const double stops = gradient ? 2.0 : 4.0;
            auto dark = Window(scene, 1 / stops, 30 + shift[0], 30 + shift[1]);
            auto bright = Window(scene, stops, 30 - shift[1], 30 + shift[0]);
            const Result r = AlignWindows(h.session, ref, dark, &bright, 2);
            ASSERT_EQ(r.code, RESULT_OK);
            EXPECT_EQ(r.dx, shift[0]) << "gradient " << gradient;
            EXPECT_EQ(r.dy, shift[1]) << "gradient " << gradient;
            EXPECT_EQ(r.dx2, -shift[1]) << "gradient " << gradient;
            EXPECT_EQ(r.dy2, shift[0]) << "gradient " << gradient;
        }
    }
}

TEST(PyramidAligner, UniformWindowFailsTheCountCheckAndGivesZero) {
    for (int gradient = 0; gradient <= 1; ++gradient) {
        SessionHolder h;
        h.session->alignGradientMode = gradient;
        h.session->alignPyramidDepth = 2;
        const synthetic::Scene scene(3);
        auto ref = Window(scene, 1.0, 0, 0);
        std::vector<uint8_t> flat(kWindowBytes, 90);
        const Result r = AlignWindows(h.session, ref, flat, nullptr, 2);
        EXPECT_EQ(r.code, RESULT_OK);
        EXPECT_EQ(r.dx, 0);
        EXPECT_EQ(r.dy, 0);
    }
}

TEST(PyramidAligner, SmallLevelHasNoCoarserLevelAndTiesKeepTheFirstShift) {
    // A 32 x 24 level is solved alone. Above two levels a failed count check still searches;
    // on uniform planes all nine counts tie and the first shift, (-1, -1), is kept.
    SessionHolder h;
    h.session->alignGradientMode = 1;
    h.session->alignPyramidDepth = 3;
    std::vector<uint8_t> a(3 * 32 * 24, 50);
    std::vector<uint8_t> b(3 * 32 * 24, 50);
    Result r = AlignWindows(h.session, a, b, nullptr, 3, 0, 32, 24);
    EXPECT_EQ(r.code, RESULT_OK);
    EXPECT_EQ(r.dx, -1);
    EXPECT_EQ(r.dy, -1);
    // At two levels or fewer the same planes end with (0, 0).
    r = AlignWindows(h.session, a, b, nullptr, 2, 0, 32, 24);
    EXPECT_EQ(r.dx, 0);
    EXPECT_EQ(r.dy, 0);
}

TEST(PyramidAligner, DerivedThresholdsAreCachedAndReused) {
    SessionHolder h;
    h.session->alignGradientMode = 0;
    h.session->alignPyramidDepth = 2;
    const synthetic::Scene scene(8);
    auto ref = Window(scene, 1.0, 0, 0);
    auto dark = Window(scene, 0.25, 2, 1);
    int state = 0;
    int32_t dx = 0, dy = 0, dx2 = 0, dy2 = 0;
    ASSERT_EQ(AlignTriplePyramid(nullptr, h.session, ref.data(), dark.data(), nullptr,
                                 PIXEL_FORMAT_I420, 0, kSide, kSide, kSide, kSide, kSide, kSide,
                                 &dx, &dy, &dx2, &dy2, &state, 2, 0, nullptr, nullptr),
              RESULT_OK);
    EXPECT_EQ(state, kThresholdsCached);
    EXPECT_EQ(dx, 2);
    EXPECT_EQ(dy, 1);
    // The cached thresholds split both windows near their medians at the coarsest level.
    const int32_t tRef = h.session->alignThresholds[0];
    const int32_t tDark = h.session->alignThresholds[1];
    EXPECT_LT(tDark, tRef);  // the darker exposure splits at a lower level
    // With the cache corrupted to a useless threshold the bitmaps fail the count check.
    h.session->alignThresholds[0] = h.session->alignThresholds[1] = 254;
    ASSERT_EQ(AlignTriplePyramid(nullptr, h.session, ref.data(), dark.data(), nullptr,
                                 PIXEL_FORMAT_I420, 0, kSide, kSide, kSide, kSide, kSide, kSide,
                                 &dx, &dy, &dx2, &dy2, &state, 2, 0, nullptr, nullptr),
              RESULT_OK);
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(dy, 0);
}

TEST(PyramidAligner, ThresholdsFromSessionHistogramsMatchCumulativeCounts) {
    // The reference's level is nearest the median count, the exposure's nearest the count the
    // reference reached there.
    int32_t ref[256] = {};
    int32_t dark[256] = {};
    ref[100] = 40;
    ref[120] = 60;  // median 50 -> level 100 reaches 40, level 120 reaches 100: 100 is nearer
    dark[30] = 45;
    dark[31] = 55;  // the count reaching 50 is at 31; 45 is nearer to 40 than 100 is
    int64_t reached = 0;
    EXPECT_EQ(MatchedThresholdLevel(ref, 50, 50, &reached), 119);
    EXPECT_EQ(reached, 40);
    int64_t unused = 0;
    EXPECT_EQ(MatchedThresholdLevel(dark, 50, reached, &unused), 30);
}

TEST(PyramidAligner, OutOfMemoryIsReported) {
    SessionHolder h;
    h.session->alignGradientMode = 1;
    h.session->alignPyramidDepth = 2;
    const synthetic::Scene scene(2);
    auto ref = Window(scene, 1.0, 0, 0);
    auto a = Window(scene, 1.0, 1, 1);
    std::vector<uint8_t> poolBuffer(2048);
    MemoryContext pool = InitMemoryPool(poolBuffer.data(), poolBuffer.size());
    ASSERT_NE(pool, nullptr);
    int state = 0;
    int32_t dx = 0, dy = 0, dx2 = 0, dy2 = 0;
    EXPECT_EQ(AlignTriplePyramid(pool, h.session, ref.data(), a.data(), nullptr, PIXEL_FORMAT_I420,
                                 0, kSide, kSide, kSide, kSide, kSide, kSide, &dx, &dy, &dx2, &dy2,
                                 &state, 2, 0, nullptr, nullptr),
              RESULT_OUT_OF_MEMORY);
    EXPECT_EQ(LargestFreeBlock(pool), 2048 - 2 * 16);  // everything was given back
}

// Strided mode over a packed 4:2:2 frame: the top level (full width) only passes on its
// coarser answer, the level above 512 samples compares a mosaic and reports progress.
struct ProgressLog {
    int calls = 0;
    int cancelAt = -1;
};

int64_t CountingCallback(int64_t, int64_t, void *user) {
    auto *log = static_cast<ProgressLog *>(user);
    return log->calls++ == log->cancelAt ? PROGRESS_CANCEL : 0;
}

std::vector<uint8_t> PackedFrame(const synthetic::Scene &scene, int w, int h, double gain,
                                 double ox, double oy, bool uyvy) {
    const std::vector<uint8_t> luma = synthetic::LumaPlane(scene, w, h, gain, ox, oy);
    std::vector<uint8_t> frame(static_cast<size_t>(2 * w) * h);
    for (size_t i = 0; i < luma.size(); ++i) {
        frame[2 * i + (uyvy ? 1 : 0)] = luma[i];
        frame[2 * i + (uyvy ? 0 : 1)] = (i & 1) ? 140 : 110;  // chroma that must not be read
    }
    return frame;
}

TEST(PyramidAligner, StridedModeReadsPackedLumaAndReportsProgress) {
    constexpr int w = 1200, ht = 800;
    const synthetic::Scene scene(21);
    for (int uyvy = 0; uyvy <= 1; ++uyvy) {
        SessionHolder h;
        h.session->alignGradientMode = 1;
        h.session->alignStridedPyramid = 1;
        auto ref = PackedFrame(scene, w, ht, 1.0, 0, 0, uyvy);
        auto dark = PackedFrame(scene, w, ht, 0.25, 20, -12, uyvy);
        const uint32_t format = uyvy ? PIXEL_FORMAT_UYVY : PIXEL_FORMAT_YUYV;
        ProgressLog log;
        int state = 0;
        int32_t dx = 0, dy = 0, dx2 = 0, dy2 = 0;
        ASSERT_EQ(AlignTriplePyramid(nullptr, h.session, ref.data(), dark.data(), nullptr, format,
                                     0, w, ht, 2 * w, w, ht, 2 * w, &dx, &dy, &dx2, &dy2, &state, 5,
                                     0, CountingCallback, &log),
                  RESULT_OK);
        EXPECT_EQ(dx, 20);
        EXPECT_EQ(dy, -12);
        EXPECT_EQ(log.calls, 1);
        EXPECT_EQ(h.session->progressBase, 1);
        log = ProgressLog{0, 0};
        EXPECT_EQ(AlignTriplePyramid(nullptr, h.session, ref.data(), dark.data(), nullptr, format,
                                     0, w, ht, 2 * w, w, ht, 2 * w, &dx, &dy, &dx2, &dy2, &state, 5,
                                     0, CountingCallback, &log),
                  RESULT_CANCELLED);
    }
}

TEST(PyramidAligner, PairFormPassesOnTheDoubledCoarseAnswerAtTheTop) {
    SessionHolder h;
    h.session->alignGradientMode = 1;
    h.session->alignPyramidDepth = 2;
    const synthetic::Scene scene(4);
    auto ref = Window(scene, 1.0, 40, 40);
    const int shifts[][2] = {{6, -4}, {5, -3}};
    for (const auto &shift : shifts) {
        auto exposure = Window(scene, 1.0, 40 + shift[0], 40 + shift[1]);
        int state = 0;
        int32_t dx = 99, dy = 99;
        ASSERT_EQ(AlignPairPyramid(nullptr, h.session, ref.data(), exposure.data(),
                                   PIXEL_FORMAT_I420, 0, kSide, kSide, kSide, kSide, kSide, kSide,
                                   &dx, &dy, &state, 2, 0, nullptr, nullptr),
                  RESULT_OK);
        EXPECT_EQ(dx % 2, 0);
        EXPECT_EQ(dy % 2, 0);
        EXPECT_LE(std::abs(dx - shift[0]), 1);
        EXPECT_LE(std::abs(dy - shift[1]), 1);
    }
}

TEST(PyramidAligner, ScratchFormMatchesBitmapsInTheCallersArea) {
    SessionHolder h;
    h.session->meshConstants[0] = 256;
    h.session->alignPyramidDepth = 2;
    h.session->alignGradientMode = 1;  // ignored: the scratch form always uses bitmaps
    const synthetic::Scene scene(9);
    auto ref = Window(scene, 1.0, 10, 10);
    auto dark = Window(scene, 0.25, 13, 8);
    std::vector<uint8_t> area(64 * 1024);
    AlignerScratch scratch{area.data(), static_cast<int64_t>(area.size()), 0};
    int state = 0;
    int32_t dx = 0, dy = 0, dx2 = 0, dy2 = 0;
    ASSERT_EQ(AlignTriplePyramidScratch(h.session, &scratch, ref.data(), dark.data(), nullptr,
                                        PIXEL_FORMAT_I420, 0, kSide, kSide, kSide, kSide, kSide,
                                        kSide, &dx, &dy, &dx2, &dy2, &state, 1, 2),
              RESULT_OK);
    EXPECT_EQ(dx, 3);
    EXPECT_EQ(dy, -2);
    EXPECT_EQ(state, 1);
    EXPECT_GT(scratch.offset, 0);
    EXPECT_EQ(h.session->alignThresholds[0], 0);  // set 1 caches in [3..5]
    EXPECT_GT(h.session->alignThresholds[3], 0);
    AlignerScratch tiny{area.data(), 512, 0};
    state = 0;
    EXPECT_EQ(AlignTriplePyramidScratch(h.session, &tiny, ref.data(), dark.data(), nullptr,
                                        PIXEL_FORMAT_I420, 0, kSide, kSide, kSide, kSide, kSide,
                                        kSide, &dx, &dy, &dx2, &dy2, &state, 0, 2),
              RESULT_OUT_OF_MEMORY);
}

TEST(LumaWindow, ZeroFillsOutsideAndReadsPackedLuma) {
    // A 6 x 3 YUYV image whose luma is 10 * row + column + 1.
    constexpr int w = 6, ht = 3, pitch = 16;
    std::vector<uint8_t> yuyv(pitch * ht, 0xEE), uyvy(pitch * ht, 0xEE), planar(pitch * ht, 0xEE);
    for (int y = 0; y < ht; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t v = static_cast<uint8_t>(10 * y + x + 1);
            yuyv[y * pitch + 2 * x] = v;
            yuyv[y * pitch + 2 * x + 1] = 0xCC;
            uyvy[y * pitch + 2 * x + 1] = v;
            uyvy[y * pitch + 2 * x] = 0xCC;
            planar[y * pitch + x] = v;
        }
    const struct {
        const std::vector<uint8_t> *image;
        uint32_t format;
    } cases[] = {{&yuyv, PIXEL_FORMAT_YUYV},
                 {&uyvy, PIXEL_FORMAT_UYVY},
                 {&planar, PIXEL_FORMAT_NV12},
                 {&planar, PIXEL_FORMAT_I420}};
    for (const auto &c : cases) {
        std::vector<uint8_t> window(5 * 4, 0x77);
        ASSERT_EQ(ExtractLumaWindow(c.image->data(), w, ht, pitch, window.data(), 4, 4, 5, -1, 1,
                                    c.format),
                  RESULT_OK);
        const uint8_t expected[4][5] = {{0, 11, 12, 13, 0x77},
                                        {0, 21, 22, 23, 0x77},
                                        {0, 0, 0, 0, 0},  // row 3 lies outside: whole pitch
                                        {0, 0, 0, 0, 0}};
        for (int r = 0; r < 4; ++r)
            for (int col = 0; col < 5; ++col)
                EXPECT_EQ(window[r * 5 + col], expected[r][col]) << c.format << " " << r << col;
    }
    std::vector<uint8_t> window(16, 0x55);
    EXPECT_EQ(ExtractLumaWindow(planar.data(), w, ht, pitch, window.data(), 4, 4, 4, 0, 0,
                                PIXEL_FORMAT_YUV444P),
              RESULT_UNSUPPORTED_FORMAT);
    EXPECT_EQ(window[0], 0x55);
}

TEST(LumaWindow, HalvingOddSizesStepsTwoSourceRowsPerOutputRow) {
    // 5 x 5 plane at pitch 7; output 2 x 2, row y from source rows 2y and 2y + 1.
    std::vector<uint8_t> plane(7 * 5, 0);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) plane[y * 7 + x] = static_cast<uint8_t>(10 * y + x);
    uint8_t out[4] = {};
    HalvePlane(plane.data(), 5, 5, 7, out);
    // (0 + 1 + 10 + 11 + 2) >> 2 = 6; (2 + 3 + 12 + 13 + 2) >> 2 = 8; rows 2, 3: +20.
    EXPECT_EQ(out[0], 6);
    EXPECT_EQ(out[1], 8);
    EXPECT_EQ(out[2], 26);
    EXPECT_EQ(out[3], 28);
    EXPECT_EQ(CountPyramidLevels(600, 400, 512), 1);
    EXPECT_EQ(CountPyramidLevels(512, 100, 512), 0);
    EXPECT_EQ(CountPyramidLevels(4000, 3000, 512), 3);
}

// Packed bitmaps must shift and count exactly like one byte per sample.
TEST(SignatureMaps, BitmapShiftAndCountAgreeWithABytePerSampleModel) {
    std::mt19937 rng(7);
    const uint8_t *table = nullptr;
    static uint8_t bits[256];
    for (int i = 0; i < 256; ++i) bits[i] = static_cast<uint8_t>(__builtin_popcount(i));
    table = bits;
    for (int trial = 0; trial < 40; ++trial) {
        const int w = 9 + static_cast<int>(rng() % 40);
        const int ht = 9 + static_cast<int>(rng() % 20);
        const int rowBytes = (w + 7) / 8;
        const int dx = static_cast<int>(rng() % 17) - 8;
        const int dy = static_cast<int>(rng() % 9) - 4;
        std::vector<uint8_t> samples(w * ht);
        std::vector<uint8_t> packed(rowBytes * ht, 0);
        for (int i = 0; i < w * ht; ++i) {
            samples[i] = rng() & 1;
            if (samples[i]) packed[(i / w) * rowBytes + (i % w) / 8] |= 1 << ((i % w) % 8);
        }
        std::vector<uint8_t> shifted(rowBytes * ht, 0);
        ASSERT_EQ(ShiftBitmap(nullptr, packed.data(), shifted.data(), w, ht, rowBytes, dx, dy),
                  RESULT_OK);
        std::vector<uint8_t> inPlace = packed;
        ASSERT_EQ(ShiftBitmap(nullptr, inPlace.data(), inPlace.data(), w, ht, rowBytes, dx, dy),
                  RESULT_OK);
        std::vector<uint8_t> model(w * ht, 1);
        std::vector<uint8_t> modelInPlace = samples;
        for (int y = 0; y < ht; ++y)
            for (int x = 0; x < w; ++x) {
                const int sx = x - dx, sy = y - dy;
                if (sx < 0 || sx >= w || sy < 0 || sy >= ht) continue;
                model[y * w + x] = modelInPlace[y * w + x] = samples[sy * w + sx];
            }
        for (int y = 0; y < ht; ++y)
            for (int x = 0; x < w; ++x) {
                ASSERT_EQ((shifted[y * rowBytes + x / 8] >> (x % 8)) & 1, model[y * w + x]);
                ASSERT_EQ((inPlace[y * rowBytes + x / 8] >> (x % 8)) & 1, modelInPlace[y * w + x]);
            }
        // Counting the region left by an estimate, whole map and 4 x 4 mosaic alike.
        const SignatureMapGeometry g = MakeSignatureMapGeometry(w, ht, 0);
        int64_t expected = 0;
        for (int y = std::max(dy, 0) + 1; y < ht + std::min(dy, 0) - 1; ++y)
            for (int x = std::max(dx, 0) + 1; x < w + std::min(dx, 0) - 1; ++x)
                expected += samples[y * w + x];
        EXPECT_EQ(CountBitmapBits(packed.data(), g, dx, dy, table), expected);
        EXPECT_EQ(CountMapBits(samples.data(), SignatureMapGeometry{g}, dx, dy, table), expected);
    }
}

// The fused shift-XOR-count of byte maps against the plain three steps, whole and tiled.
TEST(SignatureMaps, FusedDifferenceCountEqualsShiftXorAndCount) {
    std::mt19937 rng(3);
    static uint8_t bits[256];
    for (int i = 0; i < 256; ++i) bits[i] = static_cast<uint8_t>(__builtin_popcount(i));
    for (int trial = 0; trial < 60; ++trial) {
        const int32_t w = 40 + static_cast<int32_t>(rng() % 300);
        const int32_t h = 30 + static_cast<int32_t>(rng() % 200);
        const SignatureMapGeometry g =
            MakeSignatureMapGeometry(w, h, static_cast<int32_t>(rng() % 4));
        const int32_t n = g.mapWidth * g.mapHeight;
        std::vector<uint8_t> exposure(n), reference(n), shifted(n, 0), difference(n);
        for (int32_t k = 0; k < n; ++k) {
            exposure[k] = static_cast<uint8_t>(rng());
            reference[k] = static_cast<uint8_t>(rng());
        }
        const int32_t ex = static_cast<int32_t>(rng() % 9) - 4;
        const int32_t ey = static_cast<int32_t>(rng() % 9) - 4;
        for (int32_t j = -1; j <= 1; ++j)
            for (int32_t i = -1; i <= 1; ++i) {
                ShiftPlane8(nullptr, exposure.data(), shifted.data(), g.mapWidth, g.mapHeight,
                            g.mapWidth, ex + i, ey + j);
                XorMaps(shifted.data(), reference.data(), difference.data(), g.mapWidth,
                        g.mapHeight);
                ASSERT_EQ(CountShiftedMapDifference(exposure.data(), reference.data(), g, ex + i,
                                                    ey + j, ex, ey),
                          CountMapBits(difference.data(), g, ex, ey, bits))
                    << w << "x" << h << " type " << g.tileType;
            }
    }
}

TEST(SignatureMaps, GradientCodesAndMosaicGeometry) {
    // A vertical edge (left bright) sets bit 1 on the edge, a horizontal one (top bright) bit 0.
    std::vector<uint8_t> plane(8 * 8, 20);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 4; ++x) plane[y * 8 + x] = 100;
    const LevelView view{plane.data(), 8, 1, 8, 8};
    std::vector<uint8_t> map(64, 0xFF);
    ComputeGradientCodes(view, map.data());
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(map[y * 8 + x], (x == 3 || x == 4) ? 2 : 0);
    // Tile type 2 on a 256 level: 16-sample tiles cropped at 24 inside 64-sample cells.
    const SignatureMapGeometry g = MakeSignatureMapGeometry(256, 256, 2);
    EXPECT_EQ(g.tileType, 2);
    EXPECT_EQ(g.mapWidth, 64);
    EXPECT_EQ(g.levelX[1], 64 + 24);
    EXPECT_EQ(g.tileWidth[3], 16);
    // Mosaic crops that cannot fit a tiny level fall back to the whole level.
    EXPECT_EQ(MakeSignatureMapGeometry(16, 16, 3).tileType, 0);
}

}  // namespace
