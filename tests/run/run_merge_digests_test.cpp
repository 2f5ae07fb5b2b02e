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

}  // namespace
