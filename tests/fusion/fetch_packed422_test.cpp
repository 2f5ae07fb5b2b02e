// Motion-shifted fetches of packed 4:2:2: re-pairing of odd shifts, the border estimate, the
// 1/16-pixel interpolation and its clamps.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "fusion/fetch_packed422.h"

namespace {

constexpr int kWidth = 64, kHeight = 16, kPitch = 2 * kWidth + 8;

struct Plane {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kPitch * kHeight);
    explicit Plane(int seed) {
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                bytes[y * kPitch + 2 * x] = uint8_t((x * 7 + y * 13 + seed) * 3);
                bytes[y * kPitch + 2 * x + 1] = uint8_t(x * 5 + y * 11 + seed + (x & 1) * 100);
            }
    }
    int Y(int x, int y) const { return bytes[y * kPitch + 2 * x]; }
    int U(int pair, int y) const { return bytes[y * kPitch + 2 * pair + 1]; }
    int V(int pair, int y) const { return bytes[y * kPitch + 2 * pair + 3]; }
    ReferenceLuma Luma() const { return {bytes.data(), 2, kPitch}; }
};

using Quad = std::array<int, 8>;

Quad Shifted(const Plane &source, const Plane &reference, int dx, int dy, int x, int r) {
    std::vector<uint8_t> warp(16, 0);
    const ReferenceLuma luma = reference.Luma();
    FetchShiftedPacked422(nullptr, kWidth, kHeight, dx * 65536, dy * 65536, 0, 0, x, r, x + 4,
                          kPitch, source.bytes.data(), &luma, warp.data());
    return {warp[0], warp[1], warp[2], warp[3], warp[4], warp[5], warp[6], warp[7]};
}

Quad Subpel(const Plane &source, int dispX, int dispY, int x, int r) {
    std::vector<uint8_t> warp(16, 0);
    FetchSubpelPacked422(nullptr, kWidth, kHeight, dispX, dispY, 0, 0, x, r, x + 4, kPitch,
                         source.bytes.data(), warp.data());
    return {warp[0], warp[1], warp[2], warp[3], warp[4], warp[5], warp[6], warp[7]};
}

TEST(FetchShiftedPacked422, OddShiftRePairsTheChroma) {
    const Plane s(1), ref(2);
    // dx = 1 at x = 8: pixels 7 to 10, chroma of the pairs 6-7 and 8-9.
    EXPECT_EQ(Shifted(s, ref, 1, 0, 8, 3),
              (Quad{s.Y(7, 3), s.U(6, 3), s.Y(8, 3), s.V(6, 3), s.Y(9, 3), s.U(8, 3), s.Y(10, 3), s.V(8, 3)}));
    // An even shift copies the bytes as they stand, from row r - dy.
    EXPECT_EQ(Shifted(s, ref, -2, 2, 8, 5),
              (Quad{s.Y(10, 3), s.U(10, 3), s.Y(11, 3), s.V(10, 3), s.Y(12, 3), s.U(12, 3), s.Y(13, 3), s.V(12, 3)}));
}

TEST(FetchShiftedPacked422, ClampedGroupsEstimateFromTheReference) {
    const Plane s(1), ref(2);
    struct Case {
        int dx, dy, x, r;
        int sx, sy;  // the clamped source position
    };
    for (const Case &c : {Case{6, 0, 0, 4, 0, 4},              // column left of the image
                          Case{-3, 0, 60, 2, 60, 2},           // column right of the image (odd dx)
                          Case{0, 5, 8, 2, 8, 0},              // row above the image
                          Case{2, -6, 12, 13, 10, 15},         // row below the image
                          Case{5000, -9000, 0, 0, 0, 15}}) {   // far outside: the spot is clamped
        SCOPED_TRACE(testing::Message() << c.dx << "," << c.dy);
        const int e = c.sx & ~1;
        // The four source columns the difference is taken over stay off the outermost ones,
        // the reference's four moving with them.
        const int in = e == 0 ? 1 : e + 4 >= kWidth ? -1 : 0;
        const int spotX = std::clamp(c.sx + c.dx + in, 0, kWidth - 4);
        const int spotY = std::clamp(c.sy + c.dy, 0, kHeight - 1);
        int delta = 0;
        for (int i = 0; i < 4; ++i) delta += s.Y(e + in + i, c.sy) - ref.Y(spotX + i, spotY);
        delta >>= 2;
        Quad want;
        for (int i = 0; i < 4; ++i) want[2 * i] = std::clamp(ref.Y(c.x + i, c.r) + delta, 0, 255);
        want[1] = s.U(e, c.sy);
        want[3] = s.V(e, c.sy);
        want[5] = s.U(e + 2, c.sy);
        want[7] = s.V(e + 2, c.sy);
        EXPECT_EQ(Shifted(s, ref, c.dx, c.dy, c.x, c.r), want);
    }
}

TEST(FetchShiftedPacked422, ALineInTheSourcesOutermostColumnStaysOutOfTheEstimates) {
    const Plane s(1), ref(2);
    Plane lined(1);
    for (int y = 0; y < kHeight; ++y) {
        lined.bytes[y * kPitch] = 0;
        lined.bytes[y * kPitch + 2 * (kWidth - 1)] = 0;
    }
    // Moves that clamp the groups at the left edge (dx 6) and at the right edge (dx -6): every
    // group the move uncovers is estimated, none may carry the line.
    for (int dx : {6, -6}) {
        SCOPED_TRACE(dx);
        std::vector<uint8_t> clean(16 * kWidth / 4), withLine(16 * kWidth / 4);
        const ReferenceLuma luma = ref.Luma();
        FetchShiftedPacked422(nullptr, kWidth, kHeight, dx * 65536, 0, 0, 0, 0, 5, kWidth, kPitch,
                              s.bytes.data(), &luma, clean.data());
        FetchShiftedPacked422(nullptr, kWidth, kHeight, dx * 65536, 0, 0, 0, 0, 5, kWidth, kPitch,
                              lined.bytes.data(), &luma, withLine.data());
        const int clamped = dx > 0 ? 0 : kWidth - 8;  // the first of the two clamped groups
        for (int x = clamped; x < clamped + 8; x += 4)
            for (int i = 0; i < 8; i += 2) EXPECT_EQ(withLine[4 * x + i], clean[4 * x + i]) << x;
    }
}

TEST(FetchShiftedPacked422, ReadsTheReferenceThroughALumaCopy) {
    const Plane s(1), ref(2);
    std::vector<uint8_t> luma(kWidth * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) luma[y * kWidth + x] = uint8_t(ref.Y(x, y));
    const ReferenceLuma copy = {luma.data(), 1, kWidth};
    std::vector<uint8_t> a(16 * kWidth), b(16 * kWidth);
    const ReferenceLuma packed = ref.Luma();
    FetchShiftedPacked422(nullptr, kWidth, kHeight, 7 << 16, -3 << 16, 0, 0, 0, 1, kWidth, kPitch,
                          s.bytes.data(), &packed, a.data());
    FetchShiftedPacked422(nullptr, kWidth, kHeight, 7 << 16, -3 << 16, 0, 0, 0, 1, kWidth, kPitch,
                          s.bytes.data(), &copy, b.data());
    EXPECT_EQ(a, b);
}

TEST(FetchSubpelPacked422, InterpolatesLumaAtSixteenthsAndClamps) {
    const Plane s(1), ref(2);
    // Zero fractions: the whole-pixel copy's luma, chroma of the pair containing col.
    EXPECT_EQ(Subpel(s, 3 << 16, 1 << 16, 12, 6), Shifted(s, ref, 3, 1, 12, 6));
    // dispY = -1: 1/16 pixel below row r.
    Quad q = Subpel(s, 0, -1, 8, 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(q[2 * i], (16 * 16 * s.Y(8 + i, 4) + (16 * s.Y(8 + i, 5) - 16 * s.Y(8 + i, 4))) >> 8);
    // The last group: col is held at right - 5, the half-pixel fraction kept, so pixel 3 reads
    // column right - 1.
    q = Subpel(s, -8 << 12, 0, 60, 2);
    for (int i = 0; i < 4; ++i) {
        const int top = 16 * s.Y(59 + i, 2) + 8 * (s.Y(60 + i, 2) - s.Y(59 + i, 2));
        EXPECT_EQ(q[2 * i], (16 * top) >> 8);
    }
    EXPECT_EQ(q[1], s.U(58, 2));
    EXPECT_EQ(q[7], s.V(60, 2));
    // Left of the image with sx16 = -3: col 0, fx 13 from the unclamped position.
    q = Subpel(s, 3 << 12, 0, 0, 0);
    EXPECT_EQ(q[0], (16 * (16 * s.Y(0, 0) + 13 * (s.Y(1, 0) - s.Y(0, 0)))) >> 8);
}

TEST(FetchSubpelPacked422, DisplacementAdvancesByTheStepPerGroup) {
    const Plane s(1);
    std::vector<uint8_t> warp(16 * 4);
    // One pixel further left per group: groups at 8, 12, 16 read from 8, 11, 14.
    FetchSubpelPacked422(nullptr, kWidth, kHeight, 0, 0, 1 << 16, 0, 8, 3, 20, kPitch,
                         s.bytes.data(), warp.data());
    for (int g = 0; g < 3; ++g) EXPECT_EQ(warp[16 * g], s.Y(8 + 3 * g, 3)) << g;
}

}  // namespace
