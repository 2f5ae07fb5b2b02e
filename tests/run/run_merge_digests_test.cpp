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
    {"run/still/yuyv", "6ea4b481903e8fcc"},
    {"run/still/i420", "5d3f780d28b1e411"},
    {"run/still/nv12", "52bcf41e5f2e5a21"},
    {"run/still/nv21", "6598fe608b8ad359"},
    {"run/still/nv16", "2b709d19df744269"},
    {"run/dark-moved-16/yuyv", "4c1ae6da8625b332"},
    {"run/dark-moved-16/i420", "4058b0251a3390f8"},
    {"run/dark-moved-16/nv12", "d6bba02ab03078d0"},
    {"run/dark-moved-16/nv21", "4b1b5e53d3dbb3ec"},
    {"run/dark-moved-16/nv16", "c7c1a2010d66abce"},
    {"run/dark-zoomed/yuyv", "7b177f503c91767e"},
    {"run/dark-zoomed/i420", "b822955c9f3e1ccf"},
    {"run/dark-zoomed/nv12", "13dc422ce90d53fb"},
    {"run/dark-zoomed/nv21", "65631131352b22df"},
    {"run/dark-zoomed/nv16", "fbececee0635e612"},
    {"run/moving-object/yuyv", "3ee6c0dc3b61a7ce"},
    {"run/moving-object/i420", "b50a95a09db08c5e"},
    {"run/moving-object/nv12", "8637a741d486c919"},
    {"run/moving-object/nv21", "686c724a50a2d51b"},
    {"run/moving-object/nv16", "612ab8d1b7ead25b"},
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
