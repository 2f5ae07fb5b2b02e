#include <gtest/gtest.h>

#include <cstring>

#include "merge/photo_support.h"
#include "merge_program.h"

using namespace photo_support;

namespace {

TEST(ReadPhotosInParallel, EachPhotoDecodesAsItDoesAloneAndFailsAlone) {
    ScratchDir dir;
    const std::vector<std::string> paths = {dir.File("a.jpg"), dir.File("b.png"),
                                            dir.File("gone.jpg")};
    WriteFile(paths[0],
              WithOrientation(EncodePlanesAsJpeg(MakeScenePlanes(150, 97, TJSAMP_420)), 6));
    std::vector<uint8_t> png;
    std::string reason;
    ASSERT_TRUE(tonefold::EncodePng(ViewOf(MakeSceneYuyv(131, 96)), &png, &reason));
    WriteFile(paths[1], png);

    for (int round = 0; round < 4; ++round) {
        const std::array<tonefold::LoadedPhoto, 3> photos = tonefold::ReadPhotosInParallel(paths);
        for (int i = 0; i < 2; ++i) {
            SCOPED_TRACE(paths[i]);
            tonefold::YuyvImage alone;
            ASSERT_TRUE(tonefold::ReadPhotoFile(paths[i], &alone, &reason)) << reason;
            ASSERT_TRUE(photos[i].ok) << photos[i].reason;
            ASSERT_EQ(photos[i].image.width, alone.width);
            ASSERT_EQ(photos[i].image.height, alone.height);
            const size_t bytes = static_cast<size_t>(alone.Pitch()) * alone.height;
            EXPECT_EQ(std::memcmp(photos[i].image.pixels.get(), alone.pixels.get(), bytes), 0);
        }
        EXPECT_EQ(photos[0].image.width, 97);
        EXPECT_FALSE(photos[2].ok);
        EXPECT_EQ(photos[2].reason, "No such file or directory");
    }
}

}  // namespace
