// Whole merges of the planar and semi-planar formats, against the packed 4:2:2 merge of the
// same scene.
#include <gtest/gtest.h>

#include <vector>

#include "core/bracket_support.h"
#include "core/session.h"

namespace {

using bracket_support::Bracket;
using bracket_support::PackedImage;

constexpr int kW = 384;
constexpr int kH = 256;

// An image of one of the planar or semi-planar formats whose planes the test owns; each plane has
// a few bytes of padding at the end of its rows.
struct PlanarImage {
    uint32_t format = 0;
    int width = 0, height = 0;
    int pitch[3] = {};
    std::vector<uint8_t> planes[3];

    bool Subsampled() const { return format != PIXEL_FORMAT_NV16; }
    int ChromaRows() const { return Subsampled() ? height / 2 : height; }
    int Luma(int x, int y) const { return planes[0][size_t(y) * pitch[0] + x]; }
    // U (c = 0) or V (c = 1) of the pair holding pixel x on chroma row cy.
    int Chroma(int x, int cy, int c) const {
        if (format == PIXEL_FORMAT_I420) return planes[1 + c][size_t(cy) * pitch[1 + c] + x / 2];
        const bool swapped = format == PIXEL_FORMAT_NV21;
        return planes[1][size_t(cy) * pitch[1] + (x & ~1) + (c ^ int(swapped))];
    }
    __tag_QELV_OFFSCREEN Descriptor() {
        __tag_QELV_OFFSCREEN d{};
        d.u32PixelArrayFormat = format;
        d.i32Width = width;
        d.i32Height = height;
        for (int p = 0; p < 3; ++p) {
            d.ppu8Plane[p] = planes[p].empty() ? nullptr : planes[p].data();
            d.pi32Pitch[p] = planes[p].empty() ? 0 : pitch[p];
        }
        return d;
    }
};

// The packed image in another layout; 4:2:0 takes the chroma of the even rows.
PlanarImage Convert(const PackedImage &in, uint32_t format) {
    PlanarImage out;
    out.format = format;
    out.width = in.width;
    out.height = in.height;
    const bool planar = format == PIXEL_FORMAT_I420;
    out.pitch[0] = in.width + 8;
    out.pitch[1] = planar ? in.width / 2 + 4 : in.width + 12;
    out.pitch[2] = planar ? in.width / 2 + 4 : 0;
    out.planes[0].assign(size_t(out.pitch[0]) * in.height, 0);
    for (int p = 1; p < (planar ? 3 : 2); ++p)
        out.planes[p].assign(size_t(out.pitch[p]) * out.ChromaRows(), 0);
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) out.planes[0][size_t(y) * out.pitch[0] + x] = in.Luma(x, y);
    for (int cy = 0; cy < out.ChromaRows(); ++cy) {
        const uint8_t *row = in.bytes.data() + size_t(out.Subsampled() ? 2 * cy : cy) * in.pitch;
        for (int x = 0; x < in.width; x += 2) {
            const uint8_t u = row[2 * x + 1], v = row[2 * x + 3];
            if (planar) {
                out.planes[1][size_t(cy) * out.pitch[1] + x / 2] = u;
                out.planes[2][size_t(cy) * out.pitch[2] + x / 2] = v;
            } else {
                uint8_t *pair = &out.planes[1][size_t(cy) * out.pitch[1] + x];
                const bool swapped = format == PIXEL_FORMAT_NV21;
                pair[0] = swapped ? v : u;
                pair[1] = swapped ? u : v;
            }
        }
    }
    return out;
}

// Packed rows 2k + 1 take the chroma of row 2k, so that the 4:2:0 layouts lose nothing.
void PairChromaRows(Bracket &b) {
    for (PackedImage &im : b.images)
        for (int y = 1; y < im.height; y += 2)
            for (int x = 1; x < 2 * im.width; x += 2)
                im.bytes[size_t(y) * im.pitch + x] = im.bytes[size_t(y - 1) * im.pitch + x];
}

int RunInOrder(int count, int (*job)(void *), void *records, size_t recordBytes) {
    int result = RESULT_OK;
    for (int i = 0; i < count; ++i) {
        const int r = job(static_cast<char *>(records) + i * recordBytes);
        if (r == RESULT_CANCELLED) result = r;
        if (result == RESULT_OK) result = r;
    }
    return result;
}

int MergeImages(std::vector<__tag_QELV_OFFSCREEN> &images, JobRunner runner = nullptr,
                const MergeParams *params = nullptr) {
    HdrSession *s = nullptr;
    EXPECT_EQ(CreateHdrSession(nullptr, 0, &s), RESULT_OK);
    s->jobRunner = runner;
    const int r = RunHdrMerge(nullptr, s, images.data(), int(images.size()), images.data(), 2,
                              params, 0, nullptr, nullptr);
    DestroyHdrSession(nullptr, s);
    return r;
}

struct FormatMerge {
    std::vector<PlanarImage> images;
    std::vector<__tag_QELV_OFFSCREEN> descriptors;
};

FormatMerge Merge(const Bracket &packed, uint32_t format, JobRunner runner = nullptr,
                  const MergeParams *params = nullptr) {
    FormatMerge m;
    for (const PackedImage &im : packed.images) m.images.push_back(Convert(im, format));
    for (PlanarImage &im : m.images) m.descriptors.push_back(im.Descriptor());
    EXPECT_EQ(MergeImages(m.descriptors, runner, params), RESULT_OK) << std::hex << format;
    return m;
}

class MergeFormats : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        packed_ = new Bracket(bracket_support::MakeBracket(
            bracket_support::TexturedScene(kW, kH, 11), kW, kH));
        PairChromaRows(*packed_);
        packed_->Describe();
        source_ = new Bracket(*packed_);
        source_->Describe();
        ASSERT_EQ(MergeImages(packed_->descriptors), RESULT_OK);
    }
    static void TearDownTestSuite() {
        delete packed_;
        delete source_;
    }
    static Bracket *packed_;  // merged
    static Bracket *source_;  // as exposed
};

Bracket *MergeFormats::packed_ = nullptr;
Bracket *MergeFormats::source_ = nullptr;

// Each format measures its exposures on thumbnails of its own layout, so a merge cannot give
// the packed merge's bytes; its luma follows it closely. (The scene's seed is one whose
// registration finds no motion in either layout, so that both crop alike.)
TEST_F(MergeFormats, LumaFollowsThePackedMerge) {
    for (uint32_t format :
         {PIXEL_FORMAT_I420, PIXEL_FORMAT_NV12, PIXEL_FORMAT_NV21, PIXEL_FORMAT_NV16}) {
        const FormatMerge m = Merge(*source_, format);
        const PlanarImage &out = m.images[2];
        const PackedImage &want = packed_->images[2];
        int64_t sum = 0;
        int largest = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const int d = std::abs(out.Luma(x, y) - want.Luma(x, y));
                sum += d;
                largest = std::max(largest, d);
            }
        EXPECT_LT(sum, kW * kH) << std::hex << format;  // below one level on average
        EXPECT_LE(largest, 8) << std::hex << format;
        EXPECT_NE(out.planes[0], Convert(source_->images[2], format).planes[0]);
    }
}

// Planar 4:2:0 and semi-planar 4:2:2 fuse luma with the same per-group offsets and give the same
// luma; the two 4:2:0 layouts share every chroma step and give the same chroma (semi-planar
// 4:2:0 moves each pixel by its own luma offset, so its luma differs).
TEST_F(MergeFormats, FormatsSharingKernelsGiveTheSameBytes) {
    const FormatMerge i420 = Merge(*source_, PIXEL_FORMAT_I420);
    const FormatMerge nv16 = Merge(*source_, PIXEL_FORMAT_NV16);
    const FormatMerge nv12 = Merge(*source_, PIXEL_FORMAT_NV12);
    int lumaDiffs = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            ASSERT_EQ(i420.images[2].Luma(x, y), nv16.images[2].Luma(x, y)) << x << "," << y;
            lumaDiffs += i420.images[2].Luma(x, y) != nv12.images[2].Luma(x, y);
        }
    EXPECT_GT(lumaDiffs, 0);
    for (int cy = 0; cy < kH / 2; ++cy)
        for (int x = 0; x < kW; x += 2)
            for (int k = 0; k < 2; ++k)
                ASSERT_EQ(i420.images[2].Chroma(x, cy, k), nv12.images[2].Chroma(x, cy, k))
                    << x << "," << cy;
}

// NV21 keeps V before U; the engine fuses each byte of a pair in its place, so the two
// semi-planar 4:2:0 orders give the same picture.
TEST_F(MergeFormats, SemiPlanarChromaOrdersGiveOnePicture) {
    const FormatMerge nv12 = Merge(*source_, PIXEL_FORMAT_NV12);
    const FormatMerge nv21 = Merge(*source_, PIXEL_FORMAT_NV21);
    EXPECT_EQ(nv12.images[2].planes[0], nv21.images[2].planes[0]);
    for (int cy = 0; cy < kH / 2; ++cy)
        for (int x = 0; x < kW; x += 2)
            for (int k = 0; k < 2; ++k)
                ASSERT_EQ(nv12.images[2].Chroma(x, cy, k), nv21.images[2].Chroma(x, cy, k))
                    << x << "," << cy;
}

TEST_F(MergeFormats, OneThreadAndFourGiveTheSameBytes) {
    for (uint32_t format : {PIXEL_FORMAT_I420, PIXEL_FORMAT_NV12, PIXEL_FORMAT_NV16}) {
        const FormatMerge threads = Merge(*source_, format);
        const FormatMerge inOrder = Merge(*source_, format, RunInOrder);
        for (int p = 0; p < 3; ++p)
            EXPECT_EQ(threads.images[2].planes[p], inOrder.images[2].planes[p])
                << std::hex << format << " plane " << p;
    }
}

// Awkward sizes: widths that are not multiples of 8 and odd heights merge cleanly in every
// layout (4:2:0 keeps height / 2 chroma rows: the last luma row of an odd frame has none).
TEST(MergeFormatSizes, AwkwardFramesMerge) {
    struct Case {
        uint32_t format;
        int w, h;
    };
    for (const Case &c : {Case{PIXEL_FORMAT_I420, 102, 98}, Case{PIXEL_FORMAT_NV12, 118, 96},
                          Case{PIXEL_FORMAT_NV21, 134, 100}, Case{PIXEL_FORMAT_NV16, 110, 105},
                          Case{PIXEL_FORMAT_I420, 102, 99}, Case{PIXEL_FORMAT_NV12, 118, 97},
                          Case{PIXEL_FORMAT_NV21, 134, 101}}) {
        const Bracket b =
            bracket_support::MakeBracket(bracket_support::TexturedScene(c.w, c.h), c.w, c.h);
        const FormatMerge m = Merge(b, c.format);
        EXPECT_NE(m.images[2].planes[0], Convert(b.images[2], c.format).planes[0])
            << std::hex << c.format;
    }
}

}  // namespace

namespace {

// The merged luma of a bracket in one format, read as one picture whatever the layout.
struct MergedLuma {
    int width = 0, height = 0;
    std::vector<uint8_t> luma;
    int At(int x, int y) const { return luma[size_t(y) * width + x]; }
};

// A strong brightness, so that the fusion moves every level well away from the photo's.
const MergeParams kBrightened = {45, 60, 40};

MergedLuma MergeInFormat(const Bracket &packed, uint32_t format) {
    MergedLuma m;
    m.width = packed.images[2].width;
    m.height = packed.images[2].height;
    if (format == PIXEL_FORMAT_YUYV) {
        Bracket b = packed;
        b.Describe();
        EXPECT_EQ(MergeImages(b.descriptors, nullptr, &kBrightened), RESULT_OK);
        for (int y = 0; y < m.height; ++y)
            for (int x = 0; x < m.width; ++x) m.luma.push_back(b.images[2].Luma(x, y));
        return m;
    }
    const FormatMerge merged = Merge(packed, format, nullptr, &kBrightened);
    for (int y = 0; y < m.height; ++y)
        for (int x = 0; x < m.width; ++x) m.luma.push_back(merged.images[2].Luma(x, y));
    return m;
}

}  // namespace

// A still bracket whose sides are not multiples of 8 (at 202 x 101 not even of 4 across and 2
// down) is fused to its edges and never scaled: the sharp edges of bright strips along the right
// side and the bottom stay on the photos' column and row in every format, and the last columns
// and the last row are fused like their neighbours rather than left as the reference had them.
// The strips are bright because the fusion moves near-clipped levels far whatever the tone
// set-up's gain strength (which leaves the frame's outer ring out of its statistics).
TEST(MergeAnySize, AStillBracketIsFusedToItsEdgesUnscaled) {
    struct Size {
        int w, h;
    };
    for (const Size size : {Size{540, 360}, Size{202, 101}, Size{394, 267}}) {
        const int edgeX = size.w - 20, edgeY = size.h - 14;
        const auto base = bracket_support::TexturedScene(size.w, size.h);
        // Flat strips on the near side of each edge keep the texture out of the search.
        auto scene = [=](int x, int y) {
            if (x >= edgeX) return 0.75;
            if (x >= edgeX - 16) return 0.4;
            if (y >= edgeY) return 0.75;
            return y >= edgeY - 12 ? 0.4 : 0.3 * base(x, y) + 0.1;
        };
        Bracket packed = bracket_support::MakeBracket(scene, size.w, size.h);
        PairChromaRows(packed);
        const PackedImage &photo = packed.images[1];
        for (uint32_t format : {PIXEL_FORMAT_YUYV, PIXEL_FORMAT_I420, PIXEL_FORMAT_NV12,
                                PIXEL_FORMAT_NV21, PIXEL_FORMAT_NV16}) {
            SCOPED_TRACE(::testing::Message() << std::hex << format << std::dec << " " << size.w
                                              << "x" << size.h);
            const MergedLuma out = MergeInFormat(packed, format);
            for (int y = 8; y < edgeY - 8; y += 8) {
                int edge = -1;
                for (int x = edgeX - 12; x < edgeX + 12 && edge < 0; ++x)
                    if (std::abs(out.At(x, y) - out.At(x - 1, y)) >= 12) edge = x;
                EXPECT_EQ(edge, edgeX) << "row " << y;
                const int last = out.At(size.w - 1, y);
                EXPECT_NEAR(last, out.At(size.w - 5, y), 2) << "row " << y;
                EXPECT_GT(std::abs(last - photo.Luma(size.w - 1, y)), 8) << "row " << y;
            }
            for (int x = 8; x < edgeX - 24; x += 8) {
                int edge = -1;
                for (int y = edgeY - 8; y < edgeY + 8 && edge < 0; ++y)
                    if (std::abs(out.At(x, y) - out.At(x, y - 1)) >= 12) edge = y;
                EXPECT_EQ(edge, edgeY) << "column " << x;
                const int last = out.At(x, size.h - 1);
                EXPECT_NEAR(last, out.At(x, size.h - 5), 2) << "column " << x;
                EXPECT_GT(std::abs(last - photo.Luma(x, size.h - 1)), 8) << "column " << x;
            }
        }
    }
}
