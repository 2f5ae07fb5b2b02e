// Pins the merged pictures of RunHdrMerge: small synthetic brackets (still, one exposure moved
// by whole thumbnail pixels, one zoomed, a moving object) in every format the run takes, each
// compared with its stored digest. The plain-kernels run of this program must give the same
// digests.
#include <gtest/gtest.h>

#include "picture_digest_support.h"

namespace {

using picture_digest::StoredDigest;

constexpr int32_t kW = 512, kH = 384;

// Digests of the merged pictures, one line per case ("run/<scene>/<format>"). A change of any
// picture fails its case until its line is updated on purpose: with TONEFOLD_PRINT_DIGESTS=1
// each case prints its line in this form, so
//   TONEFOLD_PRINT_DIGESTS=1 build/tests/tonefold_core_tests --gtest_filter='RunMergeDigests.*' |
//       grep '^    {'
// gives the whole table to paste here; say in the commit why the pictures changed.
const StoredDigest kDigests[] = {
    {"run/still/yuyv", "73cb8cf865ddf0df"},
    {"run/still/i420", "e7d9dc7c90424a05"},
    {"run/still/nv12", "ba63a89072ed8714"},
    {"run/still/nv21", "6a63d3a4fe8f4dec"},
    {"run/still/nv16", "5173f8df2c2e9b0d"},
    {"run/dark-moved-16/yuyv", "61e15c2346e42936"},
    {"run/dark-moved-16/i420", "d0d02c658a07d10d"},
    {"run/dark-moved-16/nv12", "b05ce19127847da1"},
    {"run/dark-moved-16/nv21", "acd0ceb118f5fd95"},
    {"run/dark-moved-16/nv16", "b0acb3db389b1e47"},
    {"run/dark-zoomed/yuyv", "344a7b5ef636d76b"},
    {"run/dark-zoomed/i420", "458c80d7789c0747"},
    {"run/dark-zoomed/nv12", "f7f00d279ddaedef"},
    {"run/dark-zoomed/nv21", "388fb160f5043af3"},
    {"run/dark-zoomed/nv16", "a8a5eea512580fb2"},
    {"run/moving-object/yuyv", "739610f9e6f04830"},
    {"run/moving-object/i420", "1e6bcd83d6bafa80"},
    {"run/moving-object/nv12", "d05d68aeb8826de2"},
    {"run/moving-object/nv21", "2d2bfdcaa45e1642"},
    {"run/moving-object/nv16", "20bbc04b8b8a09c3"},
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
