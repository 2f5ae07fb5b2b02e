// Pins the merged pictures of the bundled sample bracket: through the merge program (JPEG
// photos to the PNG it writes, read back to RGB), and the decoded photos through RunHdrMerge
// and through the two-call merge in every format each takes. The plain-kernels run of these
// tests must give the same digests.
#include <gtest/gtest.h>
#include <png.h>

#include <sstream>

#include "core/picture_digest_support.h"
#include "merge/photo_support.h"
#include "merge_program.h"

namespace {

using picture_digest::StoredDigest;

// Digests of the sample bracket's merged pictures, one line per case ("<road>/flowers/<format>";
// the program's case digests the RGB rows of its PNG). A change of any picture fails its case
// until its line is updated on purpose: with TONEFOLD_PRINT_DIGESTS=1 each case prints its
// line in this form, so
//   TONEFOLD_PRINT_DIGESTS=1 build/tests/tonefold_merge_tests --gtest_filter='SampleBracketDigests.*' |
//       grep '^    {'
// gives the whole table to paste here; say in the commit why the pictures changed.
const StoredDigest kDigests[] = {
    {"program/flowers/png", "caa462d884aec285"},
    {"run/flowers/yuyv", "c68bbc6c4d63ccb6"},
    {"run/flowers/i420", "958a8befc4dd052d"},
    {"run/flowers/nv12", "a1dca4853cf03608"},
    {"run/flowers/nv21", "54c400f0320224f2"},
    {"run/flowers/nv16", "060ceb9491e9cbae"},
    {"two-call/flowers/yuyv", "3993ac3d667db20c"},
    {"two-call/flowers/nv12", "a9149086db3bc6da"},
    {"two-call/flowers/nv21", "38fe09ee0555bb16"},
    {"two-call/flowers/nv16", "ed616db8361c581e"},
    {"two-call/flowers/i420", "cfbe6cfb83ef2b59"},
    {"two-call/flowers/0x605", "cfbe6cfb83ef2b59"},
    {"two-call/flowers/yuv422p", "075064754f62b405"},
};

const char *const kPhotos[] = {TONEFOLD_SAMPLES_DIR "/flowers/Flowers1.jpg",
                               TONEFOLD_SAMPLES_DIR "/flowers/Flowers2.jpg",
                               TONEFOLD_SAMPLES_DIR "/flowers/Flowers3.jpg"};

// The three photos decoded to packed 4:2:2, read once for every test.
class SampleBracketDigests : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        photos_ = new tonefold::YuyvImage[3];
        for (int i = 0; i < 3; ++i) {
            std::string reason;
            ASSERT_TRUE(tonefold::ReadPhotoFile(kPhotos[i], &photos_[i], &reason)) << reason;
        }
    }
    static void TearDownTestSuite() {
        delete[] photos_;
        photos_ = nullptr;
    }
    // The photos in another format (8 bytes of padding after each row).
    static picture_digest::Bracket Bracket(uint32_t format) {
        picture_digest::Bracket b;
        for (int i = 0; i < 3; ++i) {
            const tonefold::YuyvImage &p = photos_[i];
            b.pictures[i] = picture_digest::MakePicture(
                format, p.width, p.height, 8,
                picture_digest::PackedPixels(p.pixels.get(), p.Pitch()));
            b.inputs[i] = b.pictures[i].desc;
        }
        return b;
    }
    static tonefold::YuyvImage *photos_;
};

tonefold::YuyvImage *SampleBracketDigests::photos_ = nullptr;

// The PNG's pixels as 8-bit RGB rows.
std::vector<uint8_t> PngRgb(const std::vector<uint8_t> &png, int *width, int *height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
    *width = int(image.width);
    *height = int(image.height);
    return rgb;
}

TEST_F(SampleBracketDigests, TheMergeProgramsPngMatchesItsStoredDigest) {
    photo_support::ScratchDir dir;
    const std::string output = dir.File("flowers.png");
    std::ostringstream out, err;
    ASSERT_EQ(tonefold::RunMergeProgram({"-o", output, kPhotos[0], kPhotos[1], kPhotos[2]}, out,
                                        err),
              tonefold::kExitOk)
        << err.str();
    int width = 0, height = 0;
    const std::vector<uint8_t> rgb = PngRgb(photo_support::ReadFile(output), &width, &height);
    ASSERT_FALSE(rgb.empty());
    EXPECT_EQ(width, 1080);
    EXPECT_EQ(height, 720);
    EXPECT_TRUE(picture_digest::MatchesStoredDigest(
        kDigests, "program/flowers/png",
        picture_digest::Fnv1a(picture_digest::kFnvOffset, rgb.data(), rgb.size())));
}

TEST_F(SampleBracketDigests, RunHdrMergePicturesMatchTheirStoredDigests) {
    for (uint32_t format : picture_digest::kRunFormats) {
        const std::string name = "run/flowers/" + picture_digest::FormatName(format);
        picture_digest::Bracket b = Bracket(format);
        ASSERT_EQ(picture_digest::MergeWithRun(b), RESULT_OK) << name;
        EXPECT_TRUE(picture_digest::MatchesStoredDigest(
            kDigests, name, picture_digest::DigestOfPicture(b.inputs[2])));
    }
}

TEST_F(SampleBracketDigests, TwoCallPicturesMatchTheirStoredDigests) {
    for (uint32_t format : picture_digest::kTwoCallFormats) {
        const std::string name = "two-call/flowers/" + picture_digest::FormatName(format);
        picture_digest::Bracket b = Bracket(format);
        picture_digest::OwnedPicture picture;
        ASSERT_EQ(picture_digest::MergeWithTwoCalls(b, &picture), RESULT_OK) << name;
        EXPECT_TRUE(picture_digest::MatchesStoredDigest(
            kDigests, name, picture_digest::DigestOfPicture(picture.desc)));
    }
}

}  // namespace
