// Pins the merged pictures of RunHdrMerge: small synthetic brackets (still, one exposure moved
// by whole thumbnail pixels, one zoomed, a moving object) in every format the run takes, each
// compared with its stored digest. The plain-kernels run of this program must give the same
// digests.
#include <gtest/gtest.h>

#include "core/picture_digest_support.h"

namespace {

using picture_digest::StoredDigest;

constexpr int32_t kW = 512, kH = 384;

// Digests of the merged pictures, one line per case ("run/<scene>/<format>"). A change of any
// picture fails its case until its line is updated on purpose: with TONEFOLD_PRINT_DIGESTS=1
// each case prints its line in this form, so
//   TONEFOLD_PRINT_DIGESTS=1 build/tests/tonefold_run_tests --gtest_filter='RunMergeDigests.*' |
//       grep '^    {'
// gives the whole table to paste here; say in the commit why the pictures changed.
const StoredDigest kDigests[] = {
    {"run/still/yuyv", "40063c252f8d3ac1"},
    {"run/still/i420", "f37969a7648dbb0d"},
    {"run/still/nv12", "8609b3b893878429"},
    {"run/still/nv21", "fe8cd028dff467c1"},
    {"run/still/nv16", "a8eb89a4a81731a5"},
    {"run/dark-moved-16/yuyv", "365ed74c533d2c69"},
    {"run/dark-moved-16/i420", "92b37bd62e238e53"},
    {"run/dark-moved-16/nv12", "92000c6c45f4935b"},
    {"run/dark-moved-16/nv21", "37a0d37f0649ecff"},
    {"run/dark-moved-16/nv16", "5407f39cba41de5d"},
    {"run/dark-zoomed/yuyv", "a799d1626d8c91fa"},
    {"run/dark-zoomed/i420", "9b53404730185e8f"},
    {"run/dark-zoomed/nv12", "45afc4727ad7db53"},
    {"run/dark-zoomed/nv21", "fadeab015550b4f7"},
    {"run/dark-zoomed/nv16", "ad8ccd0c6b7e3552"},
    {"run/moving-object/yuyv", "f35e02eb7b23258e"},
    {"run/moving-object/i420", "2e97847441433f0d"},
    {"run/moving-object/nv12", "1d8dc73e50535742"},
    {"run/moving-object/nv21", "0449be6c88af5576"},
    {"run/moving-object/nv16", "bd0f9f4ca0e7a98f"},
    // The still scene at 202 x 101 (RunMergeDigests.AWidthOfTwoModFourIsFusedToItsRightEdge).
    {"run/still-202x101/yuyv", "13c0df2ad00cf305"},
    {"run/still-202x101/i420", "f661cf94dfae763b"},
    {"run/still-202x101/nv12", "5356cb99ffd55121"},
    {"run/still-202x101/nv21", "bde46b2e09fe7561"},
    {"run/still-202x101/nv16", "c9cab8dfbcf87c1e"},
};

TEST(RunMergeDigests, EveryPictureMatchesItsStoredDigest) {
    for (const picture_digest::RenderedCase &c : picture_digest::RenderSceneCases(kW, kH))
        for (uint32_t format : picture_digest::kRunFormats) {
            const std::string name = "run/" + c.name + "/" + picture_digest::FormatName(format);
            picture_digest::Bracket b = picture_digest::MakeBracket(format, c);
            ASSERT_EQ(picture_digest::MergeWithRun(b), RESULT_OK) << name;
            EXPECT_TRUE(picture_digest::MatchesStoredDigest(
                kDigests, name, picture_digest::DigestOfPicture(b.inputs[2])));
        }
}

// A width of 2 mod 4 leaves two columns past the bands' last four-pixel group: their luma
// moves with the last fused pixel of the row and their chroma copies the last fused pair; the
// odd height's last row is fused too. The still scene with chroma textured across the frame
// gives every row and every pair its own change, so the picture pins both.
TEST(RunMergeDigests, AWidthOfTwoModFourIsFusedToItsRightEdge) {
    for (const picture_digest::RenderedCase &c : picture_digest::RenderSceneCases(202, 101)) {
        if (c.name != "still") continue;
        for (uint32_t format : picture_digest::kRunFormats) {
            const std::string name = "run/still-202x101/" + picture_digest::FormatName(format);
            picture_digest::Bracket b;
            for (int i = 0; i < 3; ++i) {
                const picture_digest::PixelFn shot = c.shots[size_t(i)].Pixels();
                b.pictures[i] = picture_digest::MakePicture(
                    format, 202, 101, 8, [&shot](int32_t x, int32_t y, uint8_t yuv[3]) {
                        shot(x, y, yuv);
                        yuv[1] = uint8_t(yuv[1] - 24 + (7 * x + 3 * y) % 48);
                        yuv[2] = uint8_t(yuv[2] - 24 + (5 * x + 11 * y) % 48);
                    });
                b.inputs[i] = b.pictures[i].desc;
            }
            ASSERT_EQ(picture_digest::MergeWithRun(b), RESULT_OK) << name;
            EXPECT_TRUE(picture_digest::MatchesStoredDigest(
                kDigests, name, picture_digest::DigestOfPicture(b.inputs[2])));
        }
    }
}

}  // namespace
