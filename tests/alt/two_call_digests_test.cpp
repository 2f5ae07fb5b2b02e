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
    {"two-call/still/nv16", "a65b9024bc5e8aa3"},
    {"two-call/still/i420", "a0fa39c69c8a1b0b"},
    {"two-call/still/0x605", "a0fa39c69c8a1b0b"},
    {"two-call/still/yuv422p", "b7a831536bc55981"},
    {"two-call/dark-moved-16/yuyv", "fbd1e3189d8186a3"},
    {"two-call/dark-moved-16/nv12", "d61f9a40cc7e3b19"},
    {"two-call/dark-moved-16/nv21", "60a07c59384887e7"},
    {"two-call/dark-moved-16/nv16", "8ae49053b70053e9"},
    {"two-call/dark-moved-16/i420", "852475f1b29740d6"},
    {"two-call/dark-moved-16/0x605", "852475f1b29740d6"},
    {"two-call/dark-moved-16/yuv422p", "82429c532b9be272"},
    {"two-call/dark-zoomed/yuyv", "eed956910fb7c731"},
    {"two-call/dark-zoomed/nv12", "dadbfaefa3b92c62"},
    {"two-call/dark-zoomed/nv21", "c04b4ee60abe34d4"},
    {"two-call/dark-zoomed/nv16", "45e4abefb39a4947"},
    {"two-call/dark-zoomed/i420", "b979467db72b6a75"},
    {"two-call/dark-zoomed/0x605", "b979467db72b6a75"},
    {"two-call/dark-zoomed/yuv422p", "020e4f6ff9eb1028"},
    {"two-call/moving-object/yuyv", "ca8dd15a78b0eaa1"},
    {"two-call/moving-object/nv12", "d2a1e54c02ef76b1"},
    {"two-call/moving-object/nv21", "d3c60639f36a30fd"},
    {"two-call/moving-object/nv16", "47d6656afa0c3b14"},
    {"two-call/moving-object/i420", "75368354ec0d3ca1"},
    {"two-call/moving-object/0x605", "75368354ec0d3ca1"},
    {"two-call/moving-object/yuv422p", "ef823bb6d0e6f414"},
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
