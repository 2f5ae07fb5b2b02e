// Registration and the whole merge on the real brackets kept beside the project (skipped when
// the folder is absent): five tripod sets, whose exposures did not move, and a handheld phone
// bracket with camera shake and a moving subject.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "align/feature_tracker.h"
#include "run/run_driver.h"
#include "run/session_lifecycle.h"
#include "core/session.h"
#include "merge/photo_support.h"
#include "photo_io.h"

namespace {

namespace fs = std::filesystem;

const char *const kTripodSets[] = {"Flowers", "OldHouse", "Rovinia", "SeaRock", "SecretBeach"};

struct Bracket {
    std::vector<tonefold::YuyvImage> photos;
    std::vector<__tag_QELV_OFFSCREEN> images;
};

// The three photos of a set in name order, or an empty bracket when the set is absent.
Bracket LoadSet(const std::string &name) {
    Bracket b;
    std::string failed;
    b.photos = photo_support::ReadPhotoFolder(fs::path(TONEFOLD_BRACKETS_DIR) / name, &failed);
    EXPECT_EQ(failed, "");
    for (tonefold::YuyvImage &photo : b.photos) {
        __tag_QELV_OFFSCREEN d{};
        d.u32PixelArrayFormat = PIXEL_FORMAT_YUYV;
        d.i32Width = photo.paddedWidth;
        d.i32Height = photo.height;
        d.ppu8Plane[0] = photo.pixels.get();
        d.pi32Pitch[0] = photo.Pitch();
        b.images.push_back(d);
    }
    return b;
}

struct Prepared {
    explicit Prepared(Bracket &b) {
        CreateHdrSession(nullptr, 0, &s);
        s->preparedByRun = 1;
        result = PrepareExposures(nullptr, s, b.images.data(), 3, nullptr, nullptr);
        // One node per 256-pixel block and a border node on every side.
        cols = (b.images[0].i32Width + 255) / 256 + 2;
        rows = (b.images[0].i32Height + 255) / 256 + 2;
    }
    ~Prepared() {
        ReleasePipelineBuffers(nullptr, s);
        DestroyHdrSession(nullptr, s);
    }
    HdrSession *s = nullptr;
    int result = -1;
    int cols = 0, rows = 0;
};

TEST(RealBrackets, TripodSetsRegisterWithStillGrids) {
    int sets = 0;
    for (const char *name : kTripodSets) {
        Bracket b = LoadSet(name);
        if (b.images.size() != 3) continue;
        ++sets;
        Prepared p(b);
        ASSERT_EQ(p.result, RESULT_OK) << name;
        for (int k = 0; k < 2; ++k) {
            ASSERT_NE(p.s->offsetGridX[k], nullptr) << name;
            // Whole pixels: the tracking's 1/16 of a thumbnail pixel is half a pixel here, so a
            // still exposure may round to 2 at most.
            int worst = 0;
            for (int i = 0; i < p.cols * p.rows; ++i)
                worst = std::max({worst, std::abs(p.s->offsetGridX[k][i]),
                                  std::abs(p.s->offsetGridY[k][i])});
            EXPECT_LE(worst, 2) << name << (k == 0 ? " dark" : " bright");
        }
    }
    if (sets == 0) GTEST_SKIP() << "no tripod brackets in " << TONEFOLD_BRACKETS_DIR;
}

TEST(RealBrackets, EveryBracketMerges) {
    std::vector<std::string> names(std::begin(kTripodSets), std::end(kTripodSets));
    names.push_back("phone-12mp");
    int sets = 0;
    for (const std::string &name : names) {
        Bracket b = LoadSet(name);
        if (b.images.size() != 3) continue;
        ++sets;
        HdrSession *s = nullptr;
        ASSERT_EQ(CreateHdrSession(nullptr, 0, &s), RESULT_OK);
        SetGhostSuppressionLevel(0, s, 6);
        const MergeParams params{45, 10, 40};
        EXPECT_EQ(RunHdrMerge(nullptr, s, b.images.data(), 3, b.images.data(), 2, &params, 0,
                              nullptr, nullptr),
                  RESULT_OK)
            << name;
        DestroyHdrSession(nullptr, s);
    }
    if (sets == 0) GTEST_SKIP() << "no brackets in " << TONEFOLD_BRACKETS_DIR;
}

}  // namespace
