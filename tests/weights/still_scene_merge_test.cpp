// Whole merges of still scenes through the public entry point: a thin line along one edge of
// one exposure, or an exposure merely moved, must leave the merge plan of the clean bracket.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/bracket_support.h"
#include "core/session.h"

namespace {

using bracket_support::Bracket;
using bracket_support::Scene;

constexpr double kGains[3] = {0.25, 1, 4};

// What the planning decided: an exposure dropped, a moving region handed to one exposure, or
// the single-image fallback (which lengthens the tone curve by 20).
struct Plan {
    int32_t droppedExposure;
    int32_t movingRegionMode;
    int64_t toneLength;
};

bool operator==(const Plan &a, const Plan &b) {
    return a.droppedExposure == b.droppedExposure && a.movingRegionMode == b.movingRegionMode &&
           a.toneLength == b.toneLength;
}

std::ostream &operator<<(std::ostream &out, const Plan &p) {
    return out << "dropped " << p.droppedExposure << ", moving " << p.movingRegionMode
               << ", tone " << p.toneLength;
}

// A merge at the application's ghost level into the last image, with the crop it made (top,
// left, bottom, right).
Plan MergeBracket(Bracket &b, int32_t crop[4]) {
    HdrSession *s = nullptr;
    EXPECT_EQ(CreateHdrSession(nullptr, 0, &s), RESULT_OK);
    EXPECT_EQ(SetGhostSuppressionLevel(0, s, 6), RESULT_OK);
    const MergeParams params{45, 10, 40};
    EXPECT_EQ(RunHdrMerge(nullptr, s, b.descriptors.data(), 3, b.descriptors.data(), 2, &params, 0,
                          nullptr, nullptr),
              RESULT_OK);
    const Plan plan{s->droppedExposure, s->movingRegionMode, s->toneLength};
    for (int k = 0; k < 4; ++k) crop[k] = s->cropRect[k];
    DestroyHdrSession(nullptr, s);
    return plan;
}

// The same, when the crop does not matter.
Plan MergeBracket(Bracket &b) {
    int32_t crop[4];
    return MergeBracket(b, crop);
}

enum Side { kTop, kBottom, kLeft, kRight };

// Pixels from (x, y) to the given side of a w x h frame.
int DistanceToSide(Side side, int x, int y, int w, int h) {
    switch (side) {
    case kTop: return y;
    case kBottom: return h - 1 - y;
    case kLeft: return x;
    default: return w - 1 - x;
    }
}

// Camera and editor JPEGs often carry a black line of a pixel or two along one edge. Away from
// the line's own blocks the merge stays the clean one: no ghost band along the edge, no dropped
// exposure, no fallback. (A second pixel of line is read into the thumbnails, and the 1/8-scale
// smoothing of the tone and difference maps spreads it over a hundred pixels or so, by a few
// levels.)
TEST(StillSceneMerge, ALineAlongOneEdgeOfOneExposureStaysAtThatEdge) {
    const int w = 768, h = 512;
    const Scene scene = bracket_support::TexturedScene(w, h);
    Bracket clean = bracket_support::MakeBracket(scene, w, h);
    const Plan cleanPlan = MergeBracket(clean);
    ASSERT_EQ(cleanPlan, (Plan{0, 0, 45}));
    for (int lineWidth : {1, 2})
        for (int exposure = 0; exposure < 3; ++exposure)
            for (Side side : {kTop, kBottom, kLeft, kRight}) {
                Bracket b = bracket_support::MakeBracket(scene, w, h);
                bracket_support::PackedImage &image = b.images[exposure];
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        if (DistanceToSide(side, x, y, w, h) < lineWidth)
                            image.bytes[size_t(y) * image.pitch + 2 * x] = 0;
                EXPECT_EQ(MergeBracket(b), cleanPlan)
                    << "exposure " << exposure << " side " << side << " width " << lineWidth;
                int largest = 0;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        if (DistanceToSide(side, x, y, w, h) >= 32)
                            largest = std::max(largest, std::abs(b.images[2].Luma(x, y) -
                                                                 clean.images[2].Luma(x, y)));
                EXPECT_LE(largest, 8)
                    << "exposure " << exposure << " side " << side << " width " << lineWidth;
            }
}

// A line of one black pixel along one edge of one exposure stays in the picture's outermost
// row or column: the thumbnails that the statistics, tone maps and gains come from never read
// it, so nothing spreads it inwards. Two pixels in from the line the picture is the clean one
// within 2 levels.
TEST(StillSceneMerge, AOnePixelLineAtAnEdgeDarkensOnlyTheOutermostPixels) {
    const int w = 768, h = 512;
    const Scene scene = bracket_support::TexturedScene(w, h);
    Bracket clean = bracket_support::MakeBracket(scene, w, h);
    const Plan cleanPlan = MergeBracket(clean);
    const struct {
        int exposure;
        Side side;
    } lines[] = {{0, kTop}, {0, kBottom}, {0, kLeft}, {0, kRight}, {1, kTop}, {1, kBottom},
                 {1, kLeft}, {1, kRight}, {2, kTop}, {2, kBottom}, {2, kLeft}, {2, kRight}};
    for (const auto &line : lines) {
        Bracket b = bracket_support::MakeBracket(scene, w, h);
        bracket_support::PackedImage &image = b.images[line.exposure];
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (DistanceToSide(line.side, x, y, w, h) == 0)
                    image.bytes[size_t(y) * image.pitch + 2 * x] = 0;
        EXPECT_EQ(MergeBracket(b), cleanPlan)
            << "exposure " << line.exposure << " side " << line.side;
        int largest = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (DistanceToSide(line.side, x, y, w, h) >= 2)
                    largest = std::max(largest, std::abs(b.images[2].Luma(x, y) -
                                                         clean.images[2].Luma(x, y)));
        EXPECT_LE(largest, 2) << "exposure " << line.exposure << " side " << line.side;
    }
}

// Heavy grain of its own in each exposure (up to 40 % of the radiance either way): the
// exposures no longer agree pixel by pixel, so the fused picture follows the weights closely.
Bracket GrainyBracket(const Scene &scene, int w, int h) {
    Bracket b;
    for (int e = 0; e < 3; ++e) {
        const Scene grainy = [&scene, e](int x, int y) {
            uint32_t v = static_cast<uint32_t>(x) * 2654435761u ^
                         static_cast<uint32_t>(y) * 40503u ^ static_cast<uint32_t>(e + 1) * 97u;
            v ^= v >> 15;
            v *= 0x2c1b3c6du;
            v ^= v >> 12;
            return scene(x, y) * (0.6 + 0.8 * ((v & 0xffff) / 65535.0));
        };
        b.images.push_back(bracket_support::Expose(grainy, w, h, kGains[e]));
    }
    b.Describe();
    return b;
}

// The group of four pixels that ends at the right edge takes its weights from its fourth pixel,
// the photo's outermost; a line there must not steer the pixels inside it. Against the same
// bracket with that column copied from its neighbour, every pixel beyond the outermost two
// columns stays within 2 levels, whichever exposure holds the line. (With the weights read at the
// outermost pixel, the reference's line moved columns w - 4 and w - 3 by up to 6 levels.)
TEST(StillSceneMerge, ALineAtTheRightEdgeLeavesEveryPixelInsideTheOutermostTwoColumns) {
    const int w = 768, h = 512;
    // The textured scene from a tenth to over three times its light, top to bottom, so that the
    // dark and the bright exposure weigh along the edge too.
    const Scene textured = bracket_support::TexturedScene(w, h);
    const Scene scene = [&textured, h](int x, int y) {
        return textured(x, y) * std::pow(10.0, double(y) / h - 0.5);
    };
    for (int exposure = 0; exposure < 3; ++exposure) {
        Bracket merged[2] = {GrainyBracket(scene, w, h), GrainyBracket(scene, w, h)};
        for (int k = 0; k < 2; ++k) {
            bracket_support::PackedImage &image = merged[k].images[exposure];
            for (int y = 0; y < h; ++y) {
                uint8_t *row = image.bytes.data() + size_t(y) * image.pitch;
                row[2 * (w - 1)] = k == 0 ? 0 : row[2 * (w - 2)];
            }
            EXPECT_EQ(MergeBracket(merged[k]), (Plan{0, 0, 45})) << "exposure " << exposure;
        }
        int largest = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w - 2; ++x)
                largest = std::max(largest, std::abs(merged[0].images[2].Luma(x, y) -
                                                     merged[1].images[2].Luma(x, y)));
        EXPECT_LE(largest, 2) << "exposure " << exposure;
    }
}

// Smooth value noise on a lattice of `cell` pixels, from lo to hi radiance (even steps in stops):
// fine texture at every scale a thumbnail sees, and clipped highlights in the middle exposure.
Scene FineTexture(int cell, double lo, double hi) {
    return [=](int x, int y) {
        auto lattice = [](int i, int j) {
            uint32_t v = static_cast<uint32_t>(i) * 73856093u ^ static_cast<uint32_t>(j) * 19349663u;
            v ^= v >> 13;
            v *= 0x5bd1e995u;
            v ^= v >> 15;
            return (v & 0xffff) / 65535.0;
        };
        const int i = x / cell, j = y / cell;
        const double fx = double(x % cell) / cell, fy = double(y % cell) / cell;
        const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
        const double top = lattice(i, j) + (lattice(i + 1, j) - lattice(i, j)) * sx;
        const double bottom = lattice(i, j + 1) + (lattice(i + 1, j + 1) - lattice(i, j + 1)) * sx;
        return lo * std::pow(hi / lo, top + (bottom - top) * sy);
    };
}

// Handheld exposures always move by fractions of a thumbnail pixel (8 frame pixels). A still
// scene moved so is not a ghost: the darkest exposure is kept and no region or fallback comes of
// it. Moves by whole thumbnail pixels were never a problem; they stay in the table.
TEST(StillSceneMerge, AStillSceneMovedByAFractionKeepsAllThreeExposures) {
    const int w = 1024, h = 768;
    const Scene scene = FineTexture(16, 0.05, 4.0);
    const struct {
        int exposure, dx, dy;
    } moves[] = {{0, 6, -4}, {0, 12, 0}, {0, 20, -14}, {2, 6, -4}, {2, 12, 0}, {2, -8, 6}, {0, 16, 8}};
    for (const auto &m : moves) {
        Bracket b;
        for (int e = 0; e < 3; ++e) {
            const int dx = e == m.exposure ? m.dx : 0, dy = e == m.exposure ? m.dy : 0;
            // The frame looks at the scene from (64, 64) on, so a move brings no new border in.
            const Scene moved = [&scene, dx, dy](int x, int y) { return scene(x + 64 - dx, y + 64 - dy); };
            b.images.push_back(bracket_support::Expose(moved, w, h, kGains[e]));
        }
        b.Describe();
        EXPECT_EQ(MergeBracket(b), (Plan{0, 0, 45}))
            << "exposure " << m.exposure << " moved (" << m.dx << ", " << m.dy << ")";
    }
}

double MeanLuma(const bracket_support::PackedImage &image, int top, int left, int bottom,
                int right) {
    double sum = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) sum += image.Luma(x, y);
    return sum / (double(bottom - top) * (right - left));
}

// A still scene with one exposure moved by whole thumbnail pixels merges like the unmoved one:
// the picture is the still merge's crop (rescaled to the frame), within 4 levels on average,
// whichever side the exposure moved to. Neither the strip the move leaves uncovered nor the
// photos' edges may set the tone and gains, and neither the uncovered strip nor a line of one
// black pixel along the moved photo's edge is a ghost.
TEST(StillSceneMerge, AWholeThumbnailPixelMoveGivesTheCropOfTheStillMerge) {
    const int w = 1024, h = 768;
    const Scene scene = FineTexture(32, 0.05, 4.0);
    auto shoot = [&](int exposure, int dx, int dy) {
        Bracket b;
        for (int e = 0; e < 3; ++e) {
            const int mx = e == exposure ? dx : 0, my = e == exposure ? dy : 0;
            const Scene moved = [&scene, mx, my](int x, int y) {
                return scene(x + 64 - mx, y + 64 - my);
            };
            b.images.push_back(bracket_support::Expose(moved, w, h, kGains[e]));
        }
        b.Describe();
        return b;
    };
    Bracket still = shoot(0, 0, 0);
    int32_t whole[4];
    const Plan stillPlan = MergeBracket(still, whole);
    const struct {
        int exposure, dx, dy;
        bool line;  // along the photo's edge that ends inside the frame, beside the uncovered strip
    } moves[] = {{0, 16, 0, false}, {0, -16, 0, false}, {0, 0, 16, false}, {0, 0, -16, false},
                 {2, 16, 0, false}, {2, -16, 0, false}, {2, 0, 16, false}, {2, 0, -16, false},
                 {0, 16, 0, true},  {2, 0, -16, true}};
    for (const auto &m : moves) {
        Bracket b = shoot(m.exposure, m.dx, m.dy);
        const Side inside = m.dx > 0 ? kRight : m.dx < 0 ? kLeft : m.dy > 0 ? kBottom : kTop;
        bracket_support::PackedImage &image = b.images[m.exposure];
        for (int y = 0; y < h && m.line; ++y)
            for (int x = 0; x < w; ++x)
                if (DistanceToSide(inside, x, y, w, h) == 0)
                    image.bytes[size_t(y) * image.pitch + 2 * x] = 0;
        int32_t crop[4];
        EXPECT_EQ(MergeBracket(b, crop), stillPlan)
            << "exposure " << m.exposure << " moved (" << m.dx << ", " << m.dy << ")";
        const double moved = MeanLuma(b.images[2], 0, 0, h, w);
        const double cropped = MeanLuma(still.images[2], crop[0], crop[1], crop[2], crop[3]);
        EXPECT_NEAR(moved, cropped, 4.0)
            << "exposure " << m.exposure << " moved (" << m.dx << ", " << m.dy << ")";
    }
}

// A bright disc on a texture, which the ghost detection takes for a moving region in the still
// bracket as well; its patch synthesises the preview's samples there. With the brightest
// exposure moved by 16 pixels, the few brightest of those samples outdid the texture's and set
// the preview's stretch: the whole picture came out 12 levels lighter (disc on the left) or 14
// darker (disc on the right) than the still merge. The stretch is taken before the patches, so
// the moved picture is the still merge's crop within 4 levels on average.
TEST(StillSceneMerge, AGhostPatchDoesNotSetTheToneOfAMovedBracket) {
    const int w = 1024, h = 768;
    const Scene texture = FineTexture(32, 0.05, 2.0);
    const struct {
        int discX;
        double level;
    } discs[] = {{24, 4.5}, {1008, 6.0}};
    for (const auto &d : discs) {
        const Scene scene = [&texture, d](int x, int y) {
            const double dx = x - d.discX, dy = y - 384;
            return dx * dx + dy * dy < 96 * 96 ? d.level : texture(x + 64, y + 64);
        };
        auto shoot = [&scene](int dx) {
            Bracket b;
            for (int e = 0; e < 3; ++e) {
                const int mx = e == 2 ? dx : 0;
                const Scene moved = [&scene, mx](int x, int y) { return scene(x - mx, y); };
                b.images.push_back(bracket_support::Expose(moved, w, h, kGains[e]));
            }
            b.Describe();
            return b;
        };
        Bracket still = shoot(0);
        const Plan stillPlan = MergeBracket(still);
        ASSERT_EQ(stillPlan.movingRegionMode, 1) << "disc at " << d.discX;
        Bracket b = shoot(16);
        int32_t crop[4];
        EXPECT_EQ(MergeBracket(b, crop), stillPlan) << "disc at " << d.discX;
        const double moved = MeanLuma(b.images[2], 0, 0, h, w);
        const double cropped = MeanLuma(still.images[2], crop[0], crop[1], crop[2], crop[3]);
        EXPECT_NEAR(moved, cropped, 4.0) << "disc at " << d.discX;
    }
}

// The allowance for resampling leaves a real ghost to the ghost handling: a flat patch in the brightest
// exposure alone, with that exposure moved by a fraction, still becomes a moving region.
TEST(StillSceneMerge, AnObjectInOneMovedExposureIsStillAGhost) {
    const int w = 1024, h = 768;
    const Scene scene = FineTexture(32, 0.05, 4.0);
    Bracket b;
    for (int e = 0; e < 3; ++e) {
        const int dx = e == 2 ? 6 : 0, dy = e == 2 ? -4 : 0;
        const bool object = e == 2;
        const Scene shot = [&scene, dx, dy, object](int x, int y) {
            if (object && x >= 400 && x < 600 && y >= 300 && y < 500) return 0.6;
            return scene(x + 64 - dx, y + 64 - dy);
        };
        b.images.push_back(bracket_support::Expose(shot, w, h, kGains[e]));
    }
    b.Describe();
    EXPECT_EQ(MergeBracket(b), (Plan{0, 1, 45}));
}

}  // namespace
