// The real brackets kept beside the project (skipped when the folder is absent), shrunk to a
// sweep of sizes from 300 to 1000 pixels wide: on small frames the feature tracker's window
// spans much of the thumbnail, and a still bracket must still register as still. No merge may
// be cropped and scaled back to the frame, and the tripod sets' motion grids stay within the
// tracker's precision.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/session.h"
#include "merge/photo_support.h"
#include "photo_io.h"
#include "run/run_driver.h"
#include "run/session_lifecycle.h"

namespace {

namespace fs = std::filesystem;

struct Set {
    const char *name;
    bool tripod;
};

const Set kSets[] = {{"Flowers", true},     {"OldHouse", true},    {"Rovinia", true},
                     {"SeaRock", true},     {"SecretBeach", true}, {"phone-12mp", false}};

// Output widths; the heights keep each photo's proportions, so few sides are multiples of 8.
const int32_t kWidths[] = {300, 354, 418, 494, 582, 688, 812, 958};

std::vector<tonefold::YuyvImage> LoadPhotos(const std::string &name) {
    std::string failed;
    std::vector<tonefold::YuyvImage> photos =
        photo_support::ReadPhotoFolder(fs::path(TONEFOLD_BRACKETS_DIR) / name, &failed);
    EXPECT_EQ(failed, "");
    return photos;
}

// Source columns (or rows) [first, end) that output column i of n covers out of size.
void Footprint(int32_t i, int32_t n, int32_t size, int32_t *first, int32_t *end) {
    *first = static_cast<int32_t>(int64_t{i} * size / n);
    *end = std::max(*first + 1, static_cast<int32_t>(int64_t{i + 1} * size / n));
}

// The photo shrunk to w x h by averaging the source pixels each output pixel covers: luma per
// pixel, chroma per output pair; the padding columns repeat the last column as the readers do.
tonefold::YuyvImage Shrink(const tonefold::YuyvImage &in, int32_t w, int32_t h) {
    tonefold::YuyvImage out;
    out.width = w;
    out.height = h;
    out.paddedWidth = (w + 3) / 4 * 4;
    out.pixels = tonefold::AllocatePixels(size_t(out.Pitch()) * h);
    for (int32_t y = 0; y < h; ++y) {
        int32_t y0, y1;
        Footprint(y, h, in.height, &y0, &y1);
        uint8_t *row = out.pixels.get() + size_t(out.Pitch()) * y;
        for (int32_t x = 0; x < w; ++x) {
            int32_t x0, x1;
            Footprint(x, w, in.width, &x0, &x1);
            int64_t sum = 0;
            for (int32_t sy = y0; sy < y1; ++sy)
                for (int32_t sx = x0; sx < x1; ++sx)
                    sum += in.pixels[size_t(in.Pitch()) * sy + 2 * sx];
            const int64_t n = int64_t{y1 - y0} * (x1 - x0);
            row[2 * x] = static_cast<uint8_t>((sum + n / 2) / n);
        }
        for (int32_t pair = 0; pair < (w + 1) / 2; ++pair) {
            int32_t x0, x1;
            Footprint(2 * pair, w, in.width, &x0, &x1);
            x1 = std::max(x1, static_cast<int32_t>(int64_t{2 * pair + 2} * in.width / w));
            x1 = std::min(x1, in.width);
            int64_t u = 0, v = 0;
            for (int32_t sy = y0; sy < y1; ++sy)
                for (int32_t sx = x0; sx < x1; ++sx) {
                    const uint8_t *p = &in.pixels[size_t(in.Pitch()) * sy + 4 * (sx / 2)];
                    u += p[1];
                    v += p[3];
                }
            const int64_t n = int64_t{y1 - y0} * (x1 - x0);
            row[4 * pair + 1] = static_cast<uint8_t>((u + n / 2) / n);
            row[4 * pair + 3] = static_cast<uint8_t>((v + n / 2) / n);
        }
        for (int32_t x = w; x < out.paddedWidth; ++x) row[2 * x] = row[2 * (w - 1)];
        const int32_t lastPair = (w - 1) / 2;
        for (int32_t pair = lastPair + 1; pair < out.paddedWidth / 2; ++pair) {
            row[4 * pair + 1] = row[4 * lastPair + 1];
            row[4 * pair + 3] = row[4 * lastPair + 3];
        }
    }
    return out;
}

ImageDesc Describe(tonefold::YuyvImage &photo) {
    ImageDesc d{};
    d.u32PixelArrayFormat = PIXEL_FORMAT_YUYV;
    d.i32Width = photo.paddedWidth;
    d.i32Height = photo.height;
    d.ppu8Plane[0] = photo.pixels.get();
    d.pi32Pitch[0] = photo.Pitch();
    return d;
}

// The largest motion of either exposure's grid after the preparation's registration.
int LargestGridMotion(std::vector<ImageDesc> images) {
    HdrSession *s = nullptr;
    EXPECT_EQ(CreateHdrSession(nullptr, 0, &s), RESULT_OK);
    s->preparedByRun = 1;
    int worst = -1;
    if (PrepareExposures(nullptr, s, images.data(), 3, nullptr, nullptr) == RESULT_OK) {
        // One node per 256-pixel block and a border node on every side.
        const int32_t nodes =
            ((images[0].i32Width + 255) / 256 + 2) * ((images[0].i32Height + 255) / 256 + 2);
        worst = 0;
        for (int k = 0; k < 2; ++k)
            for (int32_t i = 0; i < nodes && s->offsetGridX[k]; ++i)
                worst = std::max({worst, std::abs(s->offsetGridX[k][i]),
                                  std::abs(s->offsetGridY[k][i])});
    }
    ReleasePipelineBuffers(nullptr, s);
    DestroyHdrSession(nullptr, s);
    return worst;
}

TEST(BracketSizes, NoBracketIsCroppedOrRescaledAtAnySize) {
    int sets = 0;
    for (const Set &set : kSets) {
        const std::vector<tonefold::YuyvImage> photos = LoadPhotos(set.name);
        if (photos.size() != 3) continue;
        ++sets;
        for (int32_t w : kWidths) {
            const int32_t h = static_cast<int32_t>(
                (int64_t{w} * photos[0].height + photos[0].width / 2) / photos[0].width);
            SCOPED_TRACE(::testing::Message() << set.name << " " << w << " x " << h);
            std::vector<tonefold::YuyvImage> small;
            std::vector<ImageDesc> images;
            for (const tonefold::YuyvImage &photo : photos) small.push_back(Shrink(photo, w, h));
            for (tonefold::YuyvImage &photo : small) images.push_back(Describe(photo));
            const int motion = LargestGridMotion(images);
            // Whole pixels: a sixteenth of a thumbnail pixel is half a pixel, so a still
            // exposure may round to 2 at most.
            if (set.tripod) {
                EXPECT_LE(motion, 2);
            }
            EXPECT_GE(motion, 0);

            HdrSession *s = nullptr;
            ASSERT_EQ(CreateHdrSession(nullptr, 0, &s), RESULT_OK);
            SetGhostSuppressionLevel(0, s, 6);
            const MergeParams params{45, 10, 40};
            EXPECT_EQ(RunHdrMerge(nullptr, s, images.data(), 3, images.data(), 2, &params, 0,
                                  nullptr, nullptr),
                      RESULT_OK);
            // The run scales its crop back to the frame unless every exposure covers the frame
            // up to the crop's 16-pixel alignment.
            const RegionRect &o = s->overlapRect;
            const int32_t frameW = images[0].i32Width;
            EXPECT_LT(o.x, 16u);
            EXPECT_LT(o.y, 16);
            EXPECT_LT(frameW - int64_t{o.x} - o.width, 16);
            EXPECT_LT(h - int64_t{o.y} - o.height, 16);
            DestroyHdrSession(nullptr, s);
        }
    }
    if (sets == 0) GTEST_SKIP() << "no brackets in " << TONEFOLD_BRACKETS_DIR;
}

// The handheld bracket's camera shake is about five pixels at full size: its registration
// still moves the exposures (the block refinement alone moves a node by 3 pixels at most).
TEST(BracketSizes, HandheldBracketStillRegisters) {
    std::vector<tonefold::YuyvImage> photos = LoadPhotos("phone-12mp");
    if (photos.size() != 3) GTEST_SKIP() << "no phone-12mp bracket in " << TONEFOLD_BRACKETS_DIR;
    std::vector<ImageDesc> images;
    for (tonefold::YuyvImage &photo : photos) images.push_back(Describe(photo));
    const int motion = LargestGridMotion(images);
    EXPECT_GE(motion, 4);
}

}  // namespace
