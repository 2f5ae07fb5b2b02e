// Block chroma means and chroma histograms at full resolution.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/chroma_stats.h"
#include "exposure_support.h"

namespace {

using exposure_test::TestSession;

// A full-resolution image of one format with setters for the luma and the chroma of a pixel
// whose x is even ("first" and "second" are the chroma bytes in storage order).
struct FullImage {
    std::vector<uint8_t> planes[3];
    ImageDesc desc{};

    FullImage(uint32_t format, int32_t w, int32_t h) {
        desc.u32PixelArrayFormat = format;
        desc.i32Width = w;
        desc.i32Height = h;
        int32_t pitch[3] = {w, 0, 0}, rows[3] = {h, 0, 0};
        switch (format) {
        case PIXEL_FORMAT_YUYV: pitch[0] = 2 * w; break;
        case PIXEL_FORMAT_I420:
        case 0x605: pitch[1] = pitch[2] = w / 2, rows[1] = rows[2] = h / 2; break;
        case PIXEL_FORMAT_YUV422P: pitch[1] = pitch[2] = w / 2, rows[1] = rows[2] = h; break;
        case PIXEL_FORMAT_NV12:
        case PIXEL_FORMAT_NV21: pitch[1] = w, rows[1] = h / 2; break;
        default: pitch[1] = w, rows[1] = h; break;  // NV16 and the unsampled formats
        }
        for (int p = 0; p < 3; ++p) {
            if (!pitch[p]) continue;
            planes[p].assign(static_cast<size_t>(pitch[p]) * rows[p], 0);
            desc.ppu8Plane[p] = planes[p].data();
            desc.pi32Pitch[p] = pitch[p];
        }
    }
    uint8_t *At(int p, int32_t column, int32_t row) {
        return &planes[p][static_cast<size_t>(row) * desc.pi32Pitch[p] + column];
    }
    void SetLuma(int x, int y, uint8_t v) {
        *At(0, desc.u32PixelArrayFormat == PIXEL_FORMAT_YUYV ? 2 * x : x, y) = v;
    }
    void SetChroma(int x, int y, uint8_t first, uint8_t second) {
        switch (desc.u32PixelArrayFormat) {
        case PIXEL_FORMAT_YUYV: *At(0, 2 * x + 1, y) = first, *At(0, 2 * x + 3, y) = second; break;
        case PIXEL_FORMAT_I420:
        case 0x605: *At(1, x / 2, y / 2) = first, *At(2, x / 2, y / 2) = second; break;
        case PIXEL_FORMAT_YUV422P: *At(1, x / 2, y) = first, *At(2, x / 2, y) = second; break;
        case PIXEL_FORMAT_NV12:
        case PIXEL_FORMAT_NV21: *At(1, x, y / 2) = first, *At(1, x + 1, y / 2) = second; break;
        default: *At(1, x, y) = first, *At(1, x + 1, y) = second; break;
        }
    }
};

uint8_t PatternU(int x, int y) { return static_cast<uint8_t>(10 + 20 * (x / 32) + y / 32); }
uint8_t PatternV(int x, int y) { return static_cast<uint8_t>(200 - 20 * (x / 32) - y / 32); }

void FillPattern(FullImage &img) {
    for (int y = 0; y < img.desc.i32Height; y += 8)
        for (int x = 0; x < img.desc.i32Width; x += 8)
            img.SetChroma(x, y, PatternU(x, y), PatternV(x, y));
}

// A 100 x 72 frame: three whole block columns of four and two whole rows of three. The
// partial last column and row copy their neighbours, for every sampled format.
TEST(BlockChromaTest, MeansWithPartialColumnAndRowInEveryFormat) {
    for (uint32_t format : {uint32_t{PIXEL_FORMAT_YUYV}, uint32_t{PIXEL_FORMAT_I420}, 0x605u,
                            uint32_t{PIXEL_FORMAT_YUV422P}, uint32_t{PIXEL_FORMAT_NV12},
                            uint32_t{PIXEL_FORMAT_NV21}, uint32_t{PIXEL_FORMAT_NV16}}) {
        TestSession ts(100, 72);
        FullImage img(format, 100, 72);
        FillPattern(img);
        ImageDesc inputs[3] = {img.desc, img.desc, img.desc};
        std::vector<int16_t> u(4 * 3, -1), v(4 * 3, -1);
        ComputeBlockChromaMeans(ts.get(), inputs, 1, u.data(), v.data());
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c) {
                const int sc = std::min(c, 2), sr = std::min(r, 1);  // copied from the neighbour
                EXPECT_EQ(u[r * 4 + c], PatternU(32 * sc, 32 * sr)) << format << " " << c << r;
                EXPECT_EQ(v[r * 4 + c], PatternV(32 * sc, 32 * sr)) << format << " " << c << r;
            }
    }
}

// Width 128: every block column is whole and measured (no copy); NV21's first grid holds the
// first byte of each pair, which is V.
TEST(BlockChromaTest, WholeColumnsAndTheNv21Order) {
    TestSession ts(128, 64);
    FullImage img(PIXEL_FORMAT_NV21, 128, 64);
    FillPattern(img);
    std::vector<int16_t> first(4 * 2), second(4 * 2);
    ComputeBlockChromaMeans(ts.get(), &img.desc, 0, first.data(), second.data());
    EXPECT_EQ(first[3], PatternU(96, 0));
    EXPECT_NE(first[3], first[2]);
    EXPECT_EQ(second[7], PatternV(96, 32));
}

// Means round half up: block c has kAbove[c] of its 16 samples one above the rest (U at 101
// over 100, V at 51 over 50), so only 8 or more lift the mean.
TEST(BlockChromaTest, MeansRoundToNearest) {
    const int kAbove[4] = {0, 7, 8, 15};
    TestSession ts(128, 32);
    FullImage img(PIXEL_FORMAT_I420, 128, 32);
    for (int y = 0; y < 32; y += 8)
        for (int x = 0; x < 128; x += 8) {
            const int above = (4 * (y / 8) + (x % 32) / 8) < kAbove[x / 32];
            img.SetChroma(x, y, static_cast<uint8_t>(100 + above), static_cast<uint8_t>(50 + above));
        }
    std::vector<int16_t> u(4), v(4);
    ComputeBlockChromaMeans(ts.get(), &img.desc, 0, u.data(), v.data());
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(u[c], 100 + (kAbove[c] >= 8)) << c;
        EXPECT_EQ(v[c], 50 + (kAbove[c] >= 8)) << c;
    }
}

// An input larger than the session's block grid writes only the grid.
TEST(BlockChromaTest, GridsStayInsideTheSessionGrid) {
    TestSession ts(64, 64);
    FullImage img(PIXEL_FORMAT_I420, 160, 96);
    FillPattern(img);
    std::vector<int16_t> u(2 * 2 + 3, 555), v(2 * 2 + 3, 555);
    ComputeBlockChromaMeans(ts.get(), &img.desc, 0, u.data(), v.data());
    EXPECT_EQ(u[3], PatternU(32, 32));
    EXPECT_EQ(u[4], 555);
    EXPECT_EQ(v[4], 555);
}

TEST(BlockChromaTest, CallerPlanesAndUnsampledFormats) {
    FullImage img(PIXEL_FORMAT_YUV422P, 64, 64);
    FillPattern(img);
    uint8_t *const p0[3] = {nullptr, img.desc.ppu8Plane[0], nullptr};
    uint8_t *const p1[3] = {nullptr, img.desc.ppu8Plane[1], nullptr};
    uint8_t *const p2[3] = {nullptr, img.desc.ppu8Plane[2], nullptr};
    std::vector<int16_t> u(4, -1), v(4, -1);
    ComputeBlockChromaSums(0, p0, p1, p2, 64, 64, 64, 32, 32, PIXEL_FORMAT_YUV422P, u.data(),
                           v.data(), 2, 2, 1);
    EXPECT_EQ(u[3], PatternU(32, 32));
    EXPECT_EQ(v[1], PatternV(32, 0));
    ComputeBlockChromaSums(0, p0, p1, p2, 64, 64, 64, 32, 32, PIXEL_FORMAT_UYVY, u.data(), v.data(),
                           2, 2, 1);
    EXPECT_EQ(u, std::vector<int16_t>(4, 0));
}

struct HistogramSet {
    int32_t u[3][256] = {};
    int32_t v[3][256] = {};
    int32_t *const uPtr[3] = {u[0], u[1], u[2]};
    int32_t *const vPtr[3] = {v[0], v[1], v[2]};
};

// Each input counts its own U and V at the sampled pixels where the brightest input's luma
// is 239 or less.
TEST(ChromaHistogramTest, CountsWhereTheBrightestIsNotNearWhite) {
    TestSession ts(64, 32);
    std::vector<FullImage> images;
    for (int e = 0; e < 3; ++e) {
        images.emplace_back(PIXEL_FORMAT_I420, 64, 32);
        for (int y = 0; y < 32; y += 8)
            for (int x = 0; x < 64; x += 8)
                images[e].SetChroma(x, y, uint8_t(10 * (e + 1)), uint8_t(100 + e));
    }
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) images[2].SetLuma(x, y, x < 32 ? 250 : 239);  // brightest: 2
    uint8_t *const p0[3] = {images[0].desc.ppu8Plane[0], images[1].desc.ppu8Plane[0],
                            images[2].desc.ppu8Plane[0]};
    uint8_t *const p1[3] = {images[0].desc.ppu8Plane[1], images[1].desc.ppu8Plane[1],
                            images[2].desc.ppu8Plane[1]};
    uint8_t *const p2[3] = {images[0].desc.ppu8Plane[2], images[1].desc.ppu8Plane[2],
                            images[2].desc.ppu8Plane[2]};
    HistogramSet h;
    ComputeChromaHistograms(0, ts.get(), h.uPtr, h.vPtr, p0, p1, p2, 64, 32, 64, 32, 32,
                            PIXEL_FORMAT_I420);
    for (int e = 0; e < 3; ++e) {
        EXPECT_EQ(h.u[e][10 * (e + 1)], 4 * 4) << e;  // the right half: 4 columns x 4 rows
        EXPECT_EQ(h.v[e][100 + e], 4 * 4) << e;
    }
    // A brightest input that is white everywhere: all six histograms stay zero.
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) images[2].SetLuma(x, y, 240);
    ComputeChromaHistograms(0, ts.get(), h.uPtr, h.vPtr, p0, p1, p2, 64, 32, 64, 32, 32,
                            PIXEL_FORMAT_I420);
    for (int e = 0; e < 3; ++e)
        for (int level = 0; level < 256; ++level) {
            ASSERT_EQ(h.u[e][level], 0);
            ASSERT_EQ(h.v[e][level], 0);
        }
}

// Frames of odd sizes in every sampled format, planes sized exactly as the layout keeps them
// (width >> 1 chroma pairs, height >> 1 chroma rows for 4:2:0). Every chroma row starts with
// 200 and holds 100 elsewhere: a sample past the last chroma pair would read the next row's
// 200 (or past the plane); clamped, only the samples at x = 0 count 200.
TEST(ChromaHistogramTest, OddSizesSampleInsideTheChromaPlanes) {
    const struct {
        int32_t w, h;
    } sizes[] = {{65, 65}, {65, 64}, {64, 65}, {9, 17}, {3, 3}, {129, 9}};
    for (uint32_t format : {uint32_t{PIXEL_FORMAT_YUYV}, uint32_t{PIXEL_FORMAT_I420}, 0x605u,
                            uint32_t{PIXEL_FORMAT_YUV422P}, uint32_t{PIXEL_FORMAT_NV12},
                            uint32_t{PIXEL_FORMAT_NV21}})
        for (const auto &size : sizes) {
            TestSession ts(size.w, size.h);
            std::vector<FullImage> images;
            for (int e = 0; e < 3; ++e) {
                images.emplace_back(format, size.w, size.h);
                FullImage &img = images.back();
                for (int p = 1; p < 3; ++p)
                    std::fill(img.planes[p].begin(), img.planes[p].end(), uint8_t{100});
                // Rows that own chroma: all of them, or the even pairs of a 4:2:0 frame.
                const bool halfRows = format != PIXEL_FORMAT_YUYV && format != PIXEL_FORMAT_YUV422P;
                const int32_t chromaRows = halfRows ? size.h / 2 * 2 : size.h;
                for (int y = 0; y < chromaRows; ++y) {
                    for (int x = 0; x + 1 < size.w; x += 2) img.SetChroma(x, y, 100, 100);
                    img.SetChroma(0, y, 200, 200);
                }
            }
            uint8_t *const p0[3] = {images[0].desc.ppu8Plane[0], images[1].desc.ppu8Plane[0],
                                    images[2].desc.ppu8Plane[0]};
            uint8_t *const p1[3] = {images[0].desc.ppu8Plane[1], images[1].desc.ppu8Plane[1],
                                    images[2].desc.ppu8Plane[1]};
            uint8_t *const p2[3] = {images[0].desc.ppu8Plane[2], images[1].desc.ppu8Plane[2],
                                    images[2].desc.ppu8Plane[2]};
            const ImageDesc &d = images[0].desc;
            HistogramSet h;
            ComputeChromaHistograms(0, ts.get(), h.uPtr, h.vPtr, p0, p1, p2, size.w, size.h,
                                    d.pi32Pitch[0], d.pi32Pitch[1], d.pi32Pitch[2], format);
            const int32_t rows = (size.h + 7) / 8, columns = (size.w + 7) / 8;
            for (int e = 0; e < 3; ++e)
                for (const int32_t *hist : {h.u[e], h.v[e]}) {
                    EXPECT_EQ(hist[200], rows)
                        << format << " " << size.w << "x" << size.h;
                    EXPECT_EQ(hist[100], rows * (columns - 1))
                        << format << " " << size.w << "x" << size.h;
                }
            // The block means read whole blocks only; they too stay inside the planes.
            std::vector<int16_t> u(((size.w + 31) / 32) * ((size.h + 31) / 32), -1), v(u);
            ComputeBlockChromaMeans(ts.get(), &d, 0, u.data(), v.data());
            if (size.w >= 64 && size.h >= 32) {
                EXPECT_EQ(u[1], 100) << format << " " << size.w << "x" << size.h;
            }
        }
}

}  // namespace
