// Which thumbnail samples the preview's statistics count: its clip points (which set the
// stretch of the preview onto the reference's range, and so the picture's tone) and the dark
// share. They are taken where every exposure holds the scene, less that area's outer ring.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "planning_session_support.h"

namespace {

using planning::PlanningSession;

constexpr int32_t kThumbWidth = 128, kThumbHeight = 96;  // of the 1024 x 768 frame

// Samples in the middle half of the thumbnail, where the statistics are compared.
constexpr int64_t kMiddleSamples = int64_t{kThumbWidth / 2} * (kThumbHeight / 2);

enum class Line { kNone, kWhite, kBlack };

// A mid-grey texture in 70..130, the same in every exposure, with one column or row of other
// samples: near-white in the reference and light grey in the other two exposures (so that the
// fused preview there is well below the reference's level, and counting the line moves the two
// high clip points apart), or near-black in all three.
planning::Thumbnail TextureWithLine(Line line, int32_t column, int32_t row) {
    return [=](int e, int32_t x, int32_t y) {
        if (line != Line::kNone && (x == column || y == row)) {
            if (line == Line::kBlack) return uint8_t{12};
            return static_cast<uint8_t>(e == 1 ? 250 : 200);
        }
        return static_cast<uint8_t>(100 + 30 * std::sin(x / 5.0) * std::cos(y / 7.0));
    };
}

struct Statistics {
    int64_t middleSum;  // the stretched preview's luma over the thumbnail's middle half
    int32_t darkShare;
};

Statistics Preview(Line line, int32_t column, int32_t row) {
    PlanningSession ps(1024, 768, TextureWithLine(line, column, row));
    EXPECT_TRUE(ps.ok());
    if (!ps.ok()) return {};
    HdrSession *s = ps.session();
    s->ghostLevel = 6;
    EXPECT_EQ(ps.RunThroughPreview(nullptr), RESULT_OK);
    const ImageDesc *p = s->previewImage;
    int64_t sum = 0;
    for (int32_t y = kThumbHeight / 4; y < 3 * kThumbHeight / 4; ++y)
        for (int32_t x = kThumbWidth / 4; x < 3 * kThumbWidth / 4; ++x)
            sum += p->ppu8Plane[0][static_cast<size_t>(y) * p->pi32Pitch[0] + x];
    return {sum, s->darkShareQ10};
}

// With every exposure covering the thumbnail, the window is columns 1 .. w - 2 and rows
// 1 .. h - 2. A column or row of near-white samples on the window's edge is the only one of its
// kind, so it sets the high clip points and stretches the whole preview (by more than a level
// in the middle); a near-black one makes the dark share. The same line one sample further out,
// in the ring, counts for neither: the preview is the one without the line.
TEST(PreviewStatistics, TheWindowsEdgeSamplesCountAndTheRingDoesNot) {
    const Statistics plain = Preview(Line::kNone, -1, -1);
    ASSERT_EQ(plain.darkShare, 0);
    const struct {
        const char *where;
        int32_t column, row;
        bool counted;
    } lines[] = {{"first column", 1, -1, true},
                 {"last column", kThumbWidth - 2, -1, true},
                 {"first row", -1, 1, true},
                 {"last row", -1, kThumbHeight - 2, true},
                 {"left ring", 0, -1, false},
                 {"right ring", kThumbWidth - 1, -1, false},
                 {"top ring", -1, 0, false},
                 {"bottom ring", -1, kThumbHeight - 1, false}};
    for (const auto &l : lines) {
        const Statistics white = Preview(Line::kWhite, l.column, l.row);
        const Statistics black = Preview(Line::kBlack, l.column, l.row);
        if (l.counted) {
            EXPECT_GT(std::abs(white.middleSum - plain.middleSum), kMiddleSamples) << l.where;
            EXPECT_GT(black.darkShare, 0) << l.where;
        } else {
            EXPECT_EQ(white.middleSum, plain.middleSum) << l.where;
            EXPECT_EQ(black.darkShare, 0) << l.where;
        }
    }
}

}  // namespace
