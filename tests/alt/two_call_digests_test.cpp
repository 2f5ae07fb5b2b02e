// Pins the pictures of the two-call merge (MergeToIntermediate, then ToneMapIntermediate):
// small synthetic brackets (still, one exposure moved by whole thumbnail pixels, one zoomed, a
// moving object) in every format the merge takes, each compared with its stored digest. The
// plain-kernels run of this program must give the same digests.
#include <gtest/gtest.h>

#include "core/picture_digest_support.h"

namespace {

using picture_digest::StoredDigest;

constexpr int32_t kW = 512, kH = 384;

// Digests of the tone-mapped pictures, one line per case ("two-call/<scene>/<format>"). A
// change of any picture fails its case until its line is updated on purpose: with
// TONEFOLD_PRINT_DIGESTS=1 each case prints its line in this form, so
//   TONEFOLD_PRINT_DIGESTS=1 build/tests/tonefold_alt_tests --gtest_filter='TwoCallMergeDigests.*' |
//       grep '^    {'
// gives the whole table to paste here; say in the commit why the pictures changed.
const StoredDigest kDigests[] = {
    {"two-call/still/yuyv", "5ac1a99a6e4dd6f5"},
    {"two-call/still/nv12", "44ae6677bec0e981"},
    {"two-call/still/nv21", "0de7e35ac913e981"},
    {"two-call/still/nv16", "47c064e07c1c3b4c"},
    {"two-call/still/i420", "a0fa39c69c8a1b0b"},
    {"two-call/still/0x605", "a0fa39c69c8a1b0b"},
    {"two-call/still/yuv422p", "b7a831536bc55981"},
    {"two-call/dark-moved-16/yuyv", "3f335ee47b2448a4"},
    {"two-call/dark-moved-16/nv12", "2f8aefbc9977a0f6"},
    {"two-call/dark-moved-16/nv21", "6130204971fb0cf8"},
    {"two-call/dark-moved-16/nv16", "7625620cf23e3883"},
    {"two-call/dark-moved-16/i420", "68be2457d84c33d9"},
    {"two-call/dark-moved-16/0x605", "68be2457d84c33d9"},
    {"two-call/dark-moved-16/yuv422p", "23917246c41e403d"},
    {"two-call/dark-zoomed/yuyv", "b79b721f7ec5a232"},
    {"two-call/dark-zoomed/nv12", "d3fa4425d8bd0954"},
    {"two-call/dark-zoomed/nv21", "2b5384121952e30e"},
    {"two-call/dark-zoomed/nv16", "6d7824a9a70df831"},
    {"two-call/dark-zoomed/i420", "099806c4a56a56af"},
    {"two-call/dark-zoomed/0x605", "099806c4a56a56af"},
    {"two-call/dark-zoomed/yuv422p", "cdd20ec2275e036e"},
    {"two-call/moving-object/yuyv", "3157bd36103b8f51"},
    {"two-call/moving-object/nv12", "0d7e1fa9cfa2b706"},
    {"two-call/moving-object/nv21", "df4380c22924805e"},
    {"two-call/moving-object/nv16", "73242ad27e012156"},
    {"two-call/moving-object/i420", "6a22150f0fd211b2"},
    {"two-call/moving-object/0x605", "6a22150f0fd211b2"},
    {"two-call/moving-object/yuv422p", "3d78d684fb2a6bdb"},
};

TEST(TwoCallMergeDigests, EveryPictureMatchesItsStoredDigest) {
    for (const picture_digest::RenderedCase &c : picture_digest::RenderSceneCases(kW, kH))
        for (uint32_t format : picture_digest::kTwoCallFormats) {
            const std::string name =
                "two-call/" + c.name + "/" + picture_digest::FormatName(format);
            picture_digest::Bracket b = picture_digest::MakeBracket(format, c);
            picture_digest::OwnedPicture picture;
            ASSERT_EQ(picture_digest::MergeWithTwoCalls(b, &picture), RESULT_OK) << name;
            EXPECT_TRUE(picture_digest::MatchesStoredDigest(
                kDigests, name, picture_digest::DigestOfPicture(picture.desc)));
        }
}

}  // namespace
