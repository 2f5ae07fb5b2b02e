#include "align/registration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "align/block_refinement.h"
#include "align/block_residual_check.h"
#include "align/quantile_curve.h"
#include "align/registration_session_support.h"

namespace {

using synthetic::Frame;
using synthetic::Homography;
using synthetic::MakeFrame;
using synthetic::Motion;
using synthetic::RegistrationSession;
using synthetic::Scene;
using synthetic::Still;

constexpr int32_t kWidth = 1536;
constexpr int32_t kHeight = 1152;

// A bracket at the tests' frame size unless given another.
struct Bracket : synthetic::Bracket {
    Bracket(const synthetic::SceneFunction &scene, const Motion &motion, int32_t width = kWidth,
            int32_t height = kHeight, int32_t referencePadding = 0)
        : synthetic::Bracket(scene, motion, width, height, referencePadding) {}
};

// Node value the motion calls for: the exposure pixel showing reference point p is at
// p - v, so v = p - M^-1(p) with M the exposure-to-scene motion (inverted by iteration).
void ExpectedNode(const Motion &motion, double px, double py, double *vx, double *vy) {
    double qx = px, qy = py;
    for (int k = 0; k < 60; ++k) {
        double mx, my;
        motion(qx, qy, &mx, &my);
        qx -= mx - px;
        qy -= my - py;
    }
    *vx = px - qx;
    *vy = py - qy;
}

enum class Expect { kAligned, kMisaligned, kPending, kLocalBlock };

struct RegistrationCase {
    const char *name;
    Motion motion;
    bool flat;
    Expect expect;
    double tolerance;  // interior nodes, full-resolution pixels
};

// The local block: the 256-pixel block at column 2, row 2 moved by (4, 4).
constexpr int32_t kLocalX = 512, kLocalY = 512;

Motion LocalBlockMotion() {
    return [](double x, double y, double *sx, double *sy) {
        const bool inside = x >= kLocalX && x < kLocalX + 256 && y >= kLocalY && y < kLocalY + 256;
        *sx = inside ? x + 4 : x;
        *sy = inside ? y + 4 : y;
    };
}

void CheckGrids(const HdrSession *s, const RegistrationSession &rs, const RegistrationCase &c) {
    const int32_t cols = rs.GridColumns(), rows = rs.GridRows();
    for (int k = 0; k < 2; ++k) {
        const int32_t i = k == 0 ? s->darkIndex : s->brightIndex;
        SCOPED_TRACE(k == 0 ? "darkest" : "brightest");
        ASSERT_NE(s->offsetGridX[k], nullptr);
        for (int32_t r = 0; r < rows; ++r)
            for (int32_t col = 0; col < cols; ++col) {
                const int32_t gx = s->offsetGridX[k][r * cols + col];
                const int32_t gy = s->offsetGridY[k][r * cols + col];
                if (c.expect == Expect::kPending) {
                    EXPECT_EQ(gx, 0);
                    EXPECT_EQ(gy, 0);
                    continue;
                }
                double vx = 0, vy = 0;
                ExpectedNode(c.motion, 256.0 * col - 128, 256.0 * r - 128, &vx, &vy);
                if (c.expect == Expect::kMisaligned) {
                    // Zero grids, except nodes the block refinement matched, which move by the
                    // residual the aligner finds: at most 3 pixels.
                    EXPECT_LE(std::abs(gx), 3) << "node " << r << "," << col;
                    EXPECT_LE(std::abs(gy), 3) << "node " << r << "," << col;
                    continue;
                }
                const bool interior = r >= 1 && r <= rows - 2 && col >= 1 && col <= cols - 2;
                // The ring half a block outside the frame is an extrapolation.
                const double tolerance = interior ? c.tolerance : 3.0;
                EXPECT_LE(std::abs(gx - vx), tolerance) << "node " << r << "," << col;
                EXPECT_LE(std::abs(gy - vy), tolerance) << "node " << r << "," << col;
            }
        if (c.expect == Expect::kAligned || c.expect == Expect::kLocalBlock) {
            EXPECT_EQ(s->misaligned[i], 0);
            EXPECT_TRUE(CoversNineteenTwentieths(s->overlapBounds[i], s->smallImages[i]->i32Width,
                                                 s->smallImages[i]->i32Height));
        }
        if (c.expect == Expect::kMisaligned) {
            EXPECT_EQ(s->misaligned[i], 1);
        }
    }
    EXPECT_EQ(s->pendingStatus,
              c.expect == Expect::kPending ? uint64_t{RESULT_ALIGNMENT_FAILED} : 0u);
}

TEST(Registration, SyntheticBracketsRegisterAsExpected) {
    const double cx = kWidth / 2.0, cy = kHeight / 2.0;
    const Homography perspective{{1, 0, 0, 0, 1, 0, 1e-5, 5e-6, 1}};
    const RegistrationCase cases[] = {
        {"identity", Still(), false, Expect::kAligned, 0},
        {"translation by whole blocks of 8", Homography::Translation(24, -16).AsMotion(), false,
         Expect::kAligned, 1},
        {"translation below 8", Homography::Translation(13, 7).AsMotion(), false, Expect::kAligned,
         1},
        {"rotation 1 degree, scale 1.02", Homography::RotationScale(1, 1.02, cx, cy).AsMotion(),
         false, Expect::kAligned, 2},
        {"mild perspective", perspective.AsMotion(), false, Expect::kAligned, 2},
        {"locally moved block", LocalBlockMotion(), false, Expect::kLocalBlock, 1},
        {"shift of 7 % of the width", Homography::Translation(0.07 * kWidth, 0).AsMotion(), false,
         Expect::kMisaligned, 0},
        // Tracked well but beyond the plausible rotations: the failed fit keeps zero grids.
        {"rotation 5 degrees", Homography::RotationScale(5, 1, cx, cy).AsMotion(), false,
         Expect::kMisaligned, 0},
        {"featureless scene", Still(), true, Expect::kPending, 0},
    };
    for (const RegistrationCase &c : cases) {
        SCOPED_TRACE(c.name);
        Bracket bracket(Scene(c.expect == Expect::kLocalBlock ? 2 : 1, c.flat), c.motion);
        RegistrationSession rs({&bracket.dark, &bracket.reference, &bracket.bright});
        ASSERT_TRUE(rs.ok());
        const HdrSession *s = rs.session();
        ASSERT_EQ(s->darkIndex, 0);
        ASSERT_EQ(s->referenceIndex, 1);
        ASSERT_EQ(s->brightIndex, 2);
        ASSERT_EQ(rs.RegisterBoth(), RESULT_OK);
        CheckGrids(s, rs, c);
        EXPECT_EQ(s->alignGradientMode, 1);
        EXPECT_EQ(s->globalShift[0] | s->globalShift[1] | s->globalShift[4] | s->globalShift[5], 0);
        if (c.expect == Expect::kLocalBlock) {
            // The moved block's node was marked and refined from the transform's 0 towards 4.
            const int32_t node = 3 * rs.GridColumns() + 3;
            for (int k = 0; k < 2; ++k) {
                EXPECT_GE(s->offsetGridX[k][node], 3);
                EXPECT_GE(s->offsetGridY[k][node], 3);
            }
        }
    }
}

TEST(Registration, FeaturelessReferenceLeavesTheLevelMappedThumbnailUnwarped) {
    Bracket bracket(Scene(1, true), Still());
    RegistrationSession rs({&bracket.dark, &bracket.reference, &bracket.bright});
    ASSERT_TRUE(rs.ok());
    HdrSession *s = rs.session();
    ASSERT_LT(s->featureCount, 3);
    std::vector<uint8_t> before(s->smallImages[0]->ppu8Plane[0],
                                s->smallImages[0]->ppu8Plane[0] +
                                    s->smallImages[0]->pi32Pitch[0] * s->smallImages[0]->i32Height);
    s->overlapBounds[0] = PixelRect{1, 2, 3, 4};
    ASSERT_EQ(rs.Register(0), RESULT_OK);
    EXPECT_EQ(s->pendingStatus, uint64_t{RESULT_ALIGNMENT_FAILED});
    EXPECT_EQ(s->misaligned[0], 0);
    EXPECT_EQ(s->overlapBounds[0].x1, 3);  // untouched
    const ImageDesc *aligned = s->alignedSmall[0];
    for (int32_t y = 0; y < aligned->i32Height; ++y)
        for (int32_t x = 0; x < aligned->i32Width; ++x) {
            const uint8_t own = before[y * s->smallImages[0]->pi32Pitch[0] + x];
            ASSERT_EQ(s->smallImages[0]->ppu8Plane[0][y * s->smallImages[0]->pi32Pitch[0] + x],
                      own);
            ASSERT_EQ(aligned->ppu8Plane[0][y * aligned->pi32Pitch[0] + x], s->curveTables[0][own]);
        }
}

TEST(Registration, IdenticalExposuresKeepEveryMatchAndGiveZeroGrids) {
    const Scene scene(3);
    Frame a = MakeFrame(scene, kWidth, kHeight, 1.0, Still());
    Frame b = MakeFrame(scene, kWidth, kHeight, 1.0, Still());
    Frame c = MakeFrame(scene, kWidth, kHeight, 1.0, Still());
    RegistrationSession rs({&a, &b, &c});
    ASSERT_TRUE(rs.ok());
    HdrSession *s = rs.session();
    ASSERT_GE(s->featureCount, 20);
    ASSERT_EQ(rs.RegisterBoth(), RESULT_OK);
    for (int32_t i : {s->darkIndex, s->brightIndex}) {
        EXPECT_EQ(s->misaligned[i], 0);
        EXPECT_EQ(s->overlapBounds[i].x1, s->smallImages[i]->i32Width);
        EXPECT_EQ(s->overlapBounds[i].y1, s->smallImages[i]->i32Height);
        for (int32_t f = 0; f < s->featureCount; ++f) EXPECT_EQ(s->matchedExtra[i][f], 1);
    }
    for (int32_t f = 0; f < s->featureCount; ++f) EXPECT_EQ(s->tracker->trackedStatus[f], 0);
    for (int k = 0; k < 2; ++k)
        for (int32_t n = 0; n < rs.GridColumns() * rs.GridRows(); ++n) {
            EXPECT_EQ(s->offsetGridX[k][n], 0);
            EXPECT_EQ(s->offsetGridY[k][n], 0);
        }
    // The level tables of equal histograms are the identity up to the top knot.
    for (int v = 0; v < 200; ++v) EXPECT_NEAR(s->curveTables[1][v], v, 1) << v;
}

// A tripod bracket whose subject moves: a textured still background, and in one exposure a
// patch covering a third of the frame moved as a whole (a head turned between two shots). The
// patch's features are outliers, not the camera's motion: the transform stays the identity
// within half a full-resolution pixel at every kept feature and at every node it alone sets.
struct MovingPatch {
    int32_t x0, y0, x1, y1;  // the patch in the reference, ends exclusive
    double dx, dy;           // its move in the moved exposure
    bool dark;               // which exposure moves it
};

Motion PatchMotion(const MovingPatch &p) {
    return [p](double x, double y, double *sx, double *sy) {
        // Inside the moved patch the exposure shows the patch's own content.
        const double ux = x - p.dx, uy = y - p.dy;
        const bool inside = ux >= p.x0 && ux < p.x1 && uy >= p.y0 && uy < p.y1;
        *sx = inside ? ux : x;
        *sy = inside ? uy : y;
    };
}

TEST(Registration, TripodBracketWithAMovingPatchKeepsTheIdentity) {
    const MovingPatch patches[] = {
        {512, 384, 1280, 1152, 20, -12, false},  // lower middle, bright exposure
        {0, 0, 768, 768, -14, 10, false},         // upper left
        {768, 0, 1536, 768, 12, 18, true},        // upper right, dark exposure
        {256, 192, 1024, 960, 9, 0, true},        // centre, a small move
    };
    const Scene background(4), subject(11);
    for (const MovingPatch &p : patches) {
        SCOPED_TRACE(::testing::Message() << "patch " << p.x0 << "," << p.y0 << " moved " << p.dx
                                          << "," << p.dy << (p.dark ? " dark" : " bright"));
        const auto scene = [&](double x, double y) {
            const bool onSubject = x >= p.x0 && x < p.x1 && y >= p.y0 && y < p.y1;
            return onSubject ? subject(x, y) : background(x, y);
        };
        Frame dark = MakeFrame(scene, kWidth, kHeight, 0.25, p.dark ? PatchMotion(p) : Still());
        Frame reference = MakeFrame(scene, kWidth, kHeight, 1.0, Still());
        Frame bright = MakeFrame(scene, kWidth, kHeight, 4.0, p.dark ? Still() : PatchMotion(p));
        RegistrationSession rs({&dark, &reference, &bright});
        ASSERT_TRUE(rs.ok());
        HdrSession *s = rs.session();
        ASSERT_EQ(s->referenceIndex, 1);
        for (int32_t i : {s->darkIndex, s->brightIndex}) {
            SCOPED_TRACE(i == s->darkIndex ? "darkest" : "brightest");
            ASSERT_EQ(rs.Register(i), RESULT_OK);
            EXPECT_EQ(s->misaligned[i], 0);
            // The transform at every kept feature: its tracked position less its residual.
            int32_t kept = 0;
            for (int32_t f = 0; f < std::min(s->featureCount, 128); ++f) {
                if (!s->matchedExtra[i][f]) continue;
                const double hx = s->featureArrays[0][kept] - s->matchedMotionX[i][f];
                const double hy = s->featureArrays[1][kept] - s->matchedMotionY[i][f];
                ++kept;
                EXPECT_LT(8 * std::abs(hx - s->matchedMotionX[1][f]), 0.5) << "feature " << f;
                EXPECT_LT(8 * std::abs(hy - s->matchedMotionY[1][f]), 0.5) << "feature " << f;
            }
            const int32_t k = i == s->darkIndex ? 0 : 1;
            // Nodes the block refinement leaves alone carry the transform alone, the outer ring
            // half a block outside the frame included; the refinement matches the others at
            // full resolution.
            const int32_t cols = rs.GridColumns(), rows = rs.GridRows();
            std::vector<uint8_t> marks(size_t(cols) * rows, 0);
            MarkResidualNodes(s, i, cols - 2, rows - 2, marks.data());
            for (int32_t n = 0; n < cols * rows; ++n) {
                if (marks[n]) continue;
                EXPECT_EQ(s->offsetGridX[k][n], 0) << "node " << n / cols << "," << n % cols;
                EXPECT_EQ(s->offsetGridY[k][n], 0) << "node " << n / cols << "," << n % cols;
            }
        }
    }
}

// Few corners: four small squares on a flat field give at most four matches, too few to fit.
TEST(Registration, TooFewMatchesForAFitMarkTheExposureMisaligned) {
    const auto squares = [](double x, double y) {
        const double corners[4][2] = {{300, 300}, {1100, 320}, {320, 800}, {1150, 820}};
        for (const auto &c : corners)
            if (x >= c[0] && x < c[0] + 48 && y >= c[1] && y < c[1] + 48) return 0.5;
        return 0.05;
    };
    Bracket bracket(squares, Homography::Translation(8, 8).AsMotion());
    RegistrationSession rs({&bracket.dark, &bracket.reference, &bracket.bright});
    ASSERT_TRUE(rs.ok());
    HdrSession *s = rs.session();
    ASSERT_GE(s->featureCount, 3);
    ASSERT_LE(s->featureCount, 4);
    ASSERT_EQ(rs.RegisterBoth(), RESULT_OK);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(s->misaligned[k == 0 ? s->darkIndex : s->brightIndex], 1);
        for (int32_t n = 0; n < rs.GridColumns() * rs.GridRows(); ++n)
            EXPECT_EQ(s->offsetGridX[k][n] | s->offsetGridY[k][n], 0);
    }
    EXPECT_EQ(s->pendingStatus, 0u);
}

// Registration is deterministic, and the full-resolution refinement reads each input with its
// own pitch: a reference frame with padded rows gives the same result.
TEST(Registration, DeterministicAndIndependentOfTheReferencePitch) {
    const Scene scene(2);
    Bracket plain(scene, LocalBlockMotion());
    Bracket again(scene, LocalBlockMotion());
    Bracket padded(scene, LocalBlockMotion(), kWidth, kHeight, 96);
    RegistrationSession a({&plain.dark, &plain.reference, &plain.bright});
    RegistrationSession b({&again.dark, &again.reference, &again.bright});
    RegistrationSession c({&padded.dark, &padded.reference, &padded.bright});
    ASSERT_TRUE(a.ok() && b.ok() && c.ok());
    ASSERT_EQ(a.RegisterBoth(), RESULT_OK);
    ASSERT_EQ(b.RegisterBoth(), RESULT_OK);
    ASSERT_EQ(c.RegisterBoth(), RESULT_OK);
    const int32_t nodes = a.GridColumns() * a.GridRows();
    for (const RegistrationSession *other : {&b, &c}) {
        const HdrSession *x = a.session(), *y = other->session();
        for (int k = 0; k < 2; ++k) {
            EXPECT_EQ(std::memcmp(x->offsetGridX[k], y->offsetGridX[k], nodes * 4), 0);
            EXPECT_EQ(std::memcmp(x->offsetGridY[k], y->offsetGridY[k], nodes * 4), 0);
        }
        for (int t = 0; t < 4; ++t)
            EXPECT_EQ(std::memcmp(x->curveTables[t], y->curveTables[t], 256), 0);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(std::memcmp(x->matchedMotionX[i], y->matchedMotionX[i], 512), 0);
            const ImageDesc *p = x->alignedSmall[i], *q = y->alignedSmall[i];
            for (int plane = 0; plane < 3; ++plane)
                EXPECT_EQ(std::memcmp(p->ppu8Plane[plane], q->ppu8Plane[plane],
                                      p->pi32Pitch[plane] * p->i32Height),
                          0);
        }
    }
    // The refinement changed the moved block's node, so the padded reference was read there.
    EXPECT_GE(c.session()->offsetGridX[0][3 * c.GridColumns() + 3], 3);
}

// Small and odd frame sizes run clean (this earns its keep under the sanitizers); from
// 2176 pixels both ways the thumbnails are large enough for the block check, which must not
// flag a well-registered exposure (threshold bitmaps for the darkest, gradient codes after).
TEST(Registration, FrameSizesFromTheSmallestUp) {
    const int32_t sizes[][2] = {{96, 96}, {100, 100}, {250, 130}, {778, 555}, {2304, 2176}};
    const Motion motion = Homography::Translation(13, -5).AsMotion();
    for (const auto &size : sizes) {
        SCOPED_TRACE(size[0]);
        Bracket bracket(Scene(4), motion, size[0], size[1]);
        RegistrationSession rs({&bracket.dark, &bracket.reference, &bracket.bright});
        ASSERT_TRUE(rs.ok());
        ASSERT_EQ(rs.RegisterBoth(), RESULT_OK);
        const HdrSession *s = rs.session();
        if (size[0] < 2176) continue;
        ASSERT_GE(s->smallImages[0]->i32Width, 272);
        for (int32_t i : {s->darkIndex, s->brightIndex}) EXPECT_EQ(s->misaligned[i], 0);
        const int32_t cols = rs.GridColumns();
        for (int k = 0; k < 2; ++k)
            for (int32_t r = 1; r < rs.GridRows() - 1; ++r)
                for (int32_t c = 1; c < cols - 1; ++c) {
                    EXPECT_LE(std::abs(s->offsetGridX[k][r * cols + c] - 13), 1);
                    EXPECT_LE(std::abs(s->offsetGridY[k][r * cols + c] + 5), 1);
                }
    }
}

int64_t CancelEverything(int64_t, int64_t, void *user) {
    ++*static_cast<int *>(user);
    return PROGRESS_CANCEL;
}

TEST(Registration, ProgressIsReportedAndACancelDoesNotStopIt) {
    Bracket bracket(Scene(1), Homography::Translation(13, 7).AsMotion());
    RegistrationSession rs({&bracket.dark, &bracket.reference, &bracket.bright});
    ASSERT_TRUE(rs.ok());
    int calls = 0;
    ASSERT_EQ(rs.RegisterBoth(CancelEverything, &calls), RESULT_OK);
    EXPECT_EQ(calls, 2);  // once per registered exposure
    EXPECT_NE(rs.session()->offsetGridX[1], nullptr);
}

TEST(Registration, OutOfMemoryIsReturnedAndNothingLeaks) {
    Bracket bracket(Scene(1), Homography::Translation(13, 7).AsMotion(), 768, 576);
    std::vector<uint64_t> poolBuffer(4 << 20);
    MemoryContext pool = InitMemoryPool(poolBuffer.data(), poolBuffer.size() * 8);
    ASSERT_NE(pool, nullptr);
    RegistrationSession rs({&bracket.dark, &bracket.reference, &bracket.bright}, pool);
    ASSERT_TRUE(rs.ok());
    // Leave only a few bytes: the darkest exposure's curve buffer cannot be had.
    const int64_t free = LargestFreeBlock(pool);
    void *filler = AllocateMemory(pool, static_cast<uint64_t>(free - 64));
    ASSERT_NE(filler, nullptr);
    EXPECT_EQ(rs.Register(rs.session()->darkIndex), RESULT_OUT_OF_MEMORY);
    FreeMemory(pool, filler);
    EXPECT_EQ(LargestFreeBlock(pool), free);
    // Without room for the block windows the block check and the refinement are skipped and
    // registration still succeeds, with the grids from the transform.
    filler = AllocateMemory(pool, static_cast<uint64_t>(free - 180 * 1024));
    ASSERT_NE(filler, nullptr);
    EXPECT_EQ(rs.Register(rs.session()->darkIndex), RESULT_OK);
    EXPECT_NE(rs.session()->offsetGridX[0], nullptr);
    FreeMemory(pool, filler);
}

TEST(RegistrationParts, NineteenTwentiethsRule) {
    EXPECT_TRUE(CoversNineteenTwentieths(PixelRect{25, 0, 500, 374}, 500, 374));
    EXPECT_FALSE(CoversNineteenTwentieths(PixelRect{26, 0, 500, 374}, 500, 374));
    EXPECT_FALSE(CoversNineteenTwentieths(PixelRect{0, 0, 500, 355}, 500, 374));
    EXPECT_FALSE(CoversNineteenTwentieths(PixelRect{0, 0, 0, 0}, 500, 374));
}

TEST(RegistrationParts, DarkestTableBlendsTheMatchingTableIntoTheQuantileCurve) {
    uint8_t table[256], curve[256];
    for (int j = 0; j < 256; ++j) {
        table[j] = static_cast<uint8_t>(j);
        curve[j] = static_cast<uint8_t>(255 - j);
    }
    uint8_t blended[256];
    std::memcpy(blended, table, 256);
    BlendWithQuantileCurve(blended, curve);
    for (int j = 0; j < 64; ++j) EXPECT_EQ(blended[j], table[j]);
    for (int j = 192; j < 256; ++j) EXPECT_EQ(blended[j], curve[j]);
    EXPECT_EQ(blended[128], (64 * table[128] + 64 * curve[128] + 64) >> 7);
    EXPECT_EQ(blended[100], ((192 - 100) * 100 + (100 - 64) * 155 + 64) >> 7);
    // A singular quantile fit (all-zero curve) leaves the matching table whole.
    const uint8_t zeros[256] = {};
    std::memcpy(blended, table, 256);
    BlendWithQuantileCurve(blended, zeros);
    EXPECT_EQ(std::memcmp(blended, table, 256), 0);
}

TEST(RegistrationParts, QuantileLevelsAndCurve) {
    int32_t spike[256] = {};
    spike[100] = 1000;
    int32_t levels[21];
    FindQuantileLevels(spike, 1000, levels);
    EXPECT_EQ(levels[0], 0);
    for (int j = 1; j <= 20; ++j) EXPECT_EQ(levels[j], 99 + j);
    spike[100] = 0;
    spike[250] = 1000;  // the scan passes 255: every later level is 255
    FindQuantileLevels(spike, 1000, levels);
    EXPECT_EQ(levels[5], 254);
    EXPECT_EQ(levels[6], 255);
    EXPECT_EQ(levels[20], 255);

    // Equal histograms fit the identity; a histogram stuck at 255 is singular: all zeros.
    int32_t ramp[256];
    for (int v = 0; v < 256; ++v) ramp[v] = 10;
    uint8_t curve[256];
    FitQuantileCurveLut(curve, ramp, ramp, 2560);
    for (int m = 0; m < 256; ++m) EXPECT_NEAR(curve[m], m, 2) << m;
    int32_t saturated[256] = {};
    saturated[255] = 2560;
    EXPECT_EQ(FitQuantileCurveLut(curve, saturated, ramp, 2560), 0);
    for (int m = 0; m < 256; ++m) EXPECT_EQ(curve[m], 0);
    EXPECT_EQ(FitQuantileCurveLut(curve, nullptr, ramp, 2560), RESULT_INVALID_ARGUMENT);
}

// A dark exposure whose levels end near 190 against a reference that reaches 255: the quartic
// turns back past the last quantile, and the curve holds its peak there instead of mapping the
// brightest levels dark.
TEST(RegistrationParts, QuantileCurveNeverFalls) {
    int32_t dark[256] = {}, reference[256] = {};
    for (int v = 0; v < 256; ++v) {
        dark[v * 190 / 255] += 10;
        const int r = v < 200 ? v * 255 / 200 : 255;
        reference[r] += 10;
    }
    uint8_t curve[256];
    ASSERT_EQ(FitQuantileCurveLut(curve, dark, reference, 2560), 0);
    for (int m = 1; m < 256; ++m) EXPECT_GE(curve[m], curve[m - 1]) << m;
    EXPECT_GE(curve[255], 250);
}

// A session with just what the residual marks read.
struct MarkSession {
    HdrSession s{};
    float refX[128], refY[128], resX[128], resY[128];
    int32_t kept[128];
    MarkSession(int count, float residual) {
        s.referenceIndex = 1;
        s.featureCount = count;
        s.meshConstants[0] = 256;
        s.matchedMotionX[1] = refX;
        s.matchedMotionY[1] = refY;
        s.matchedMotionX[0] = resX;
        s.matchedMotionY[0] = resY;
        s.matchedExtra[0] = kept;
        for (int f = 0; f < 128; ++f) {
            refX[f] = static_cast<float>((f * 37) % 625);  // spread over a 625 x 375 thumbnail
            refY[f] = static_cast<float>((f * 53) % 375);
            resX[f] = residual;
            resY[f] = 0;
            kept[f] = 1;
        }
    }
};

TEST(RegistrationParts, ResidualMarksSkipTheLastBlockColumnAndRow) {
    // 5000 x 3000: C = 20, D = 12, 22 x 14 nodes.
    MarkSession m(100, 0.5f);
    std::vector<uint8_t> marks(22 * 14, 0);
    MarkResidualNodes(&m.s, 0, 20, 12, marks.data());
    for (int r = 0; r < 14; ++r)
        for (int c = 0; c < 22; ++c)
            EXPECT_EQ(marks[r * 22 + c], (r >= 1 && r <= 11 && c >= 1 && c <= 19) ? 1 : 0)
                << r << "," << c;
    // Residuals of exactly one full-resolution pixel, or fewer than four kept features, mark
    // nothing.
    MarkSession exact(100, 0.125f);
    MarkSession few(3, 0.5f);
    for (MarkSession *session : {&exact, &few}) {
        std::fill(marks.begin(), marks.end(), 0);
        MarkResidualNodes(&session->s, 0, 20, 12, marks.data());
        for (uint8_t mark : marks) EXPECT_EQ(mark, 0);
    }
}

// Thumbnail sessions for the block check: the reference thumbnail has a wider pitch than the
// exposure's, so a check that read both with one pitch would compare the wrong rows.
struct ThumbnailPair {
    HdrSession *s = nullptr;
    std::vector<uint8_t> ref, exp;
    ImageDesc refImage{}, expImage{};
    ThumbnailPair(int32_t size, double shiftX, double shiftY) {
        EXPECT_EQ(CreateHdrSession(nullptr, 0, &s), RESULT_OK);
        s->meshConstants[0] = 256;
        s->referenceIndex = 1;
        const Scene scene(6);
        const int32_t refPitch = size + 40;
        ref.assign(static_cast<size_t>(refPitch) * size, 0);
        exp.resize(static_cast<size_t>(size) * size);
        for (int32_t y = 0; y < size; ++y)
            for (int32_t x = 0; x < size; ++x) {
                ref[y * refPitch + x] = synthetic::EncodeSrgb(scene(4.0 * x, 4.0 * y));
                exp[y * size + x] =
                    synthetic::EncodeSrgb(0.25 * scene(4.0 * (x + shiftX), 4.0 * (y + shiftY)));
            }
        refImage = ImageDesc{PIXEL_FORMAT_YUV444P, size, size, {ref.data()}, {refPitch}};
        expImage = ImageDesc{PIXEL_FORMAT_YUV444P, size, size, {exp.data()}, {size}};
        s->smallImages[1] = &refImage;
        s->smallImages[0] = &expImage;
    }
    ~ThumbnailPair() {
        s->smallImages[0] = s->smallImages[1] = nullptr;
        DestroyHdrSession(nullptr, s);
    }
};

TEST(RegistrationParts, BlockCheckFlagsAShiftAboveOnePixel) {
    const struct {
        int32_t size;
        double shift;
        int32_t misaligned;
    } cases[] = {{272, 3, 1}, {272, 1, 0}, {272, 0, 0}, {271, 3, 0}};
    for (const auto &c : cases) {
        ThumbnailPair pair(c.size, c.shift, -c.shift);
        EXPECT_EQ(MeasureBlockResidualShift(nullptr, pair.s, 0, nullptr, nullptr, nullptr),
                  RESULT_OK);
        EXPECT_EQ(pair.s->misaligned[0], c.misaligned) << c.size << " " << c.shift;
        EXPECT_EQ(pair.s->alignPyramidDepth, 2);
    }
    // Around a rectangle the block is half as large.
    ThumbnailPair pair(300, 3, 0);
    const PixelRect around{100, 100, 180, 160};
    EXPECT_EQ(MeasureBlockResidualShift(nullptr, pair.s, 0, &around, nullptr, nullptr), RESULT_OK);
    EXPECT_EQ(pair.s->misaligned[0], 1);
}

}  // namespace
