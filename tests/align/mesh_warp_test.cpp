#include "align/mesh_warp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "align/image_fill_support.h"
#include "align/nv12_pixel_warp.h"
#include "align/rect_copy.h"
#include "align/transform_warp.h"

namespace {

using align_test::Pattern;
using align_test::TestImage;

// A mesh of (ceil(W / 2^s) + 1) x (ceil(H / 2^s) + 1) nodes from a per-node function.
struct MeshArrays {
    std::vector<float> x, y;
    MeshArrays(int32_t w, int32_t h, int32_t s, float (*fx)(float, float),
               float (*fy)(float, float)) {
        const int32_t cols = (w + (1 << s) - 1) >> s, rows = (h + (1 << s) - 1) >> s;
        for (int32_t j = 0; j <= rows; ++j)
            for (int32_t k = 0; k <= cols; ++k) {
                x.push_back(fx(float(k << s), float(j << s)));
                y.push_back(fy(float(k << s), float(j << s)));
            }
    }
};

float Zero(float, float) { return 0.0f; }

void FillAll(const TestImage &image, int planes, int32_t bytes[3], int32_t rows[3]) {
    for (int p = 0; p < planes; ++p)
        image.Fill(p, bytes[p], rows[p], [p](int32_t x, int32_t y) { return Pattern(p, x, y); });
}

TEST(MeshWarp, ZeroMeshCopiesAllButTheLastColumnAndRow) {
    TestImage source(96, 64, PIXEL_FORMAT_YUV444P), destination(96, 64, PIXEL_FORMAT_YUV444P);
    int32_t bytes[3] = {96, 96, 96}, rows[3] = {64, 64, 64};
    FillAll(source, 3, bytes, rows);
    for (int p = 0; p < 3; ++p) destination.Fill(p, 96, 64, [](int32_t, int32_t) { return 7; });
    const MeshArrays mesh(96, 64, 3, Zero, Zero);
    PixelRect crop{};
    ASSERT_EQ(WarpImageByMesh(source.get(), destination.get(), mesh.x.data(), mesh.y.data(), 3,
                              nullptr, &crop),
              RESULT_OK);
    EXPECT_EQ(crop.x0, 0);
    EXPECT_EQ(crop.y0, 0);
    EXPECT_EQ(crop.x1, 95);
    EXPECT_EQ(crop.y1, 63);
    for (int p = 0; p < 3; ++p)
        for (int32_t y = 0; y < 64; ++y)
            for (int32_t x = 0; x < 96; ++x) {
                const uint8_t expected = (x == 95 || y == 63) ? 7 : Pattern(p, x, y);
                ASSERT_EQ(destination.At(p, x, y), expected) << p << " " << x << " " << y;
            }
}

TEST(MeshWarp, CropOfAUniformShiftLosesTheAlignedRightBorderPixel) {
    // The destination samples 3 pixels to the right: the valid span of the last cell column
    // ends at 92, a multiple of 4 at the right border, and loses one more pixel.
    const MeshArrays mesh(
        96, 64, 3, [](float, float) { return -3.0f; }, Zero);
    PixelRect out{};
    const PixelRect crop = ComputeMeshCropRect(96, 64, mesh.x.data(), mesh.y.data(), 3, &out);
    EXPECT_EQ(crop.x0, 0);
    EXPECT_EQ(crop.y0, 0);
    EXPECT_EQ(crop.x1, 91);
    EXPECT_EQ(crop.y1, 63);
    EXPECT_EQ(out.x1, 91);
    EXPECT_EQ(ComputeMeshCropRect(96, 64, nullptr, mesh.y.data(), 3, nullptr).x1, 0);
}

// A mesh taken from a projective transform at the cell corners warps exactly like the
// transform itself (both use 8-pixel cells on 96 x 64). The transform is a slight scale plus a
// shift whose corner displacements are whole sixteenths, so both truncate alike.
TEST(MeshWarp, MeshOfATransformMatchesTheTransformWarpBitForBit) {
    for (uint32_t format : {uint32_t{PIXEL_FORMAT_YUV444P}, uint32_t{PIXEL_FORMAT_NV12}}) {
        TestImage source(96, 64, format), byMesh(96, 64, format), byTransform(96, 64, format);
        const bool semi = format == PIXEL_FORMAT_NV12;
        int32_t bytes[3] = {96, 96, 96}, rows[3] = {64, semi ? 32 : 64, 64};
        FillAll(source, semi ? 2 : 3, bytes, rows);
        FillAll(byMesh, semi ? 2 : 3, bytes, rows);
        FillAll(byTransform, semi ? 2 : 3, bytes, rows);
        const MeshArrays mesh(
            96, 64, 3, [](float x, float) { return -(x / 64 + 2.5f); },
            [](float, float y) { return -(y / 64 + 1.5f); });
        const double matrix[4] = {65.0 / 64, 0, 0, 65.0 / 64}, translation[2] = {2.5, 1.5},
                     perspective[2] = {0, 0};
        PixelRect meshCrop{}, transformCrop{};
        ASSERT_EQ(WarpImageByMesh(source.get(), byMesh.get(), mesh.x.data(), mesh.y.data(), 3,
                                  nullptr, &meshCrop),
                  RESULT_OK);
        WarpImageByTransform(source.get(), byTransform.get(), matrix, translation, perspective,
                             nullptr, &transformCrop);
        EXPECT_EQ(meshCrop.x1, transformCrop.x1);
        EXPECT_EQ(meshCrop.y1, transformCrop.y1);
        for (int p = 0; p < (semi ? 2 : 3); ++p)
            for (int32_t y = 0; y < rows[p]; ++y)
                for (int32_t x = 0; x < 96; ++x)
                    ASSERT_EQ(byMesh.At(p, x, y), byTransform.At(p, x, y)) << format << " " << p;
    }
}

TEST(MeshWarp, PlanarAndPackedLayoutsTakeNearestChroma) {
    // The destination samples 4 pixels to the right and 2 down: whole pixels, so luma is an
    // exact copy and chroma moves by whole chroma samples.
    const MeshArrays mesh(
        64, 32, 3, [](float, float) { return -4.0f; }, [](float, float) { return -2.0f; });
    {
        TestImage source(64, 32, PIXEL_FORMAT_I420), destination(64, 32, PIXEL_FORMAT_I420);
        int32_t bytes[3] = {64, 32, 32}, rows[3] = {32, 16, 16};
        FillAll(source, 3, bytes, rows);
        ASSERT_EQ(WarpImageByMesh(source.get(), destination.get(), mesh.x.data(), mesh.y.data(), 3,
                                  nullptr, nullptr),
                  RESULT_OK);
        for (int32_t y = 0; y < 29; ++y)
            for (int32_t x = 0; x < 59; ++x)
                ASSERT_EQ(destination.At(0, x, y), source.At(0, x + 4, y + 2));
        // Chroma of odd row y and pixel x comes from half column (x + 4 + 1) >> 1, row
        // (y + 2) >> 1. Inside whole groups of four the even pixels write it; in the pixel-by-
        // pixel tail of the last valid cell (from x = 56) the odd pixel's write comes last.
        for (int32_t cy = 0; cy < 14; ++cy)
            for (int32_t cx = 0; cx < 28; ++cx)
                for (int p = 1; p <= 2; ++p)
                    ASSERT_EQ(destination.At(p, cx, cy), source.At(p, cx + 2, cy + 1));
    }
    {
        TestImage source(64, 32, 0x503), destination(64, 32, 0x503);
        source.Fill(0, 128, 32, [](int32_t x, int32_t y) { return Pattern(0, x, y); });
        ASSERT_EQ(WarpImageByMesh(source.get(), destination.get(), mesh.x.data(), mesh.y.data(), 3,
                                  nullptr, nullptr),
                  RESULT_OK);
        // Pixel x of row y shows source pixel (x + 4, y + 2): luma byte 2x + 1 and the chroma
        // bytes of the group two groups further right.
        for (int32_t y = 0; y < 29; ++y)
            for (int32_t x = 0; x < 59; ++x) {
                ASSERT_EQ(destination.At(0, 2 * x + 1, y), source.At(0, 2 * x + 9, y + 2));
                ASSERT_EQ(destination.At(0, 2 * (x & ~1), y),
                          source.At(0, 2 * (x & ~1) + 8, y + 2));
            }
    }
}

// The packed layout's chroma is not blended: a pixel takes the chroma of the nearest source
// row, the lower one from a vertical weight of one half. Moves of every sixteenth, down and up.
TEST(MeshWarp, PackedChromaTakesTheNearestRowFromAVerticalWeightOfOneHalf) {
    static int sixteenths;
    for (int sign : {1, -1})
        for (int k = 0; k < 16; ++k) {
            sixteenths = sign * k;
            // Destination row y samples source row y + sixteenths / 16.
            const MeshArrays mesh(64, 32, 3, Zero, [](float, float) { return -sixteenths / 16.0f; });
            TestImage source(64, 32, 0x503), destination(64, 32, 0x503);
            source.Fill(0, 128, 32, [](int32_t x, int32_t y) { return Pattern(0, x, y); });
            ASSERT_EQ(WarpImageByMesh(source.get(), destination.get(), mesh.x.data(),
                                      mesh.y.data(), 3, nullptr, nullptr),
                      RESULT_OK);
            // Rows y and y - 1 with weights 16 - k and k (moving up); y and y + 1 (down).
            const int32_t nearest = sign > 0 ? (k >= 8 ? 1 : 0) : (k > 8 ? -1 : 0);
            for (int32_t y = 1; y < 30; ++y)
                for (int32_t byte = 0; byte < 120; byte += 2)
                    ASSERT_EQ(destination.At(0, byte, y), source.At(0, byte, y + nearest))
                        << "move " << sixteenths << "/16, row " << y << ", byte " << byte;
        }
}

TEST(MeshWarp, RejectsBadArgumentsBeforeWriting) {
    TestImage a(64, 32, PIXEL_FORMAT_YUYV), b(64, 32, PIXEL_FORMAT_YUYV);
    TestImage c(64, 32, PIXEL_FORMAT_I420), d(64, 34, PIXEL_FORMAT_I420);
    const MeshArrays mesh(64, 32, 3, Zero, Zero);
    EXPECT_EQ(WarpImageByMesh(nullptr, b.get(), mesh.x.data(), mesh.y.data(), 3, nullptr, nullptr),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(WarpImageByMesh(a.get(), b.get(), nullptr, mesh.y.data(), 3, nullptr, nullptr),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(WarpImageByMesh(a.get(), c.get(), mesh.x.data(), mesh.y.data(), 3, nullptr, nullptr),
              RESULT_UNSUPPORTED_FORMAT);
    EXPECT_EQ(WarpImageByMesh(c.get(), d.get(), mesh.x.data(), mesh.y.data(), 3, nullptr, nullptr),
              RESULT_INVALID_ARGUMENT);
    b.Fill(0, 128, 32, [](int32_t, int32_t) { return 9; });
    a.Fill(0, 128, 32, [](int32_t, int32_t) { return 1; });
    EXPECT_EQ(WarpImageByMesh(a.get(), b.get(), mesh.x.data(), mesh.y.data(), 3, nullptr, nullptr),
              RESULT_UNSUPPORTED_FORMAT);
    EXPECT_EQ(b.At(0, 0, 0), 9);
    // I420 chroma rows are addressed with one pitch: unequal pitches are refused, not ignored.
    TestImage e(64, 32, PIXEL_FORMAT_I420);
    ImageDesc odd = *c.get();
    odd.pi32Pitch[2] += 4;
    EXPECT_EQ(WarpImageByMesh(&odd, e.get(), mesh.x.data(), mesh.y.data(), 3, nullptr, nullptr),
              RESULT_INVALID_ARGUMENT);
}

// Meshes of rotations, scales and perspectives on odd-sized images: every format's rows stay
// inside the planes (this test earns its keep under AddressSanitizer).
TEST(MeshWarp, ProjectiveMeshesOnOddSizesStayInsideThePlanes) {
    const uint32_t formats[] = {PIXEL_FORMAT_YUV444P, PIXEL_FORMAT_NV12, PIXEL_FORMAT_I420, 0x503};
    const int32_t sizes[][2] = {{97, 65}, {95, 63}, {96, 64}};
    for (uint32_t format : formats)
        for (const auto &size : sizes) {
            const int32_t w = format == 0x503 ? size[0] & ~1 : size[0], h = size[1];
            TestImage source(w, h, format), destination(w, h, format);
            for (int p = 0; p < 3 && source->ppu8Plane[p]; ++p) {
                const int32_t rows = p == 0 || format == PIXEL_FORMAT_YUV444P ? h : h / 2;
                source.Fill(p, source->pi32Pitch[p], rows,
                            [p](int32_t x, int32_t y) { return Pattern(p, x, y); });
                destination.Fill(p, destination->pi32Pitch[p], rows,
                                 [](int32_t, int32_t) { return 0; });
            }
            for (double degrees = -4; degrees <= 4; degrees += 2)
                for (double scale : {0.95, 1.0, 1.05})
                    for (double g : {-4e-4, 0.0, 4e-4}) {
                        const double a = degrees * 3.14159265358979 / 180;
                        std::vector<float> mx, my;
                        for (int32_t j = 0; j <= (h + 7) / 8; ++j)
                            for (int32_t k = 0; k <= (w + 7) / 8; ++k) {
                                const double x = 8.0 * k, y = 8.0 * j, wd = 1 - g * x;
                                const double sx =
                                    (scale * (std::cos(a) * x - std::sin(a) * y)) / wd;
                                const double sy =
                                    (scale * (std::sin(a) * x + std::cos(a) * y)) / wd;
                                mx.push_back(static_cast<float>(x - sx));
                                my.push_back(static_cast<float>(y - sy));
                            }
                        EXPECT_EQ(WarpImageByMesh(source.get(), destination.get(), mx.data(),
                                                  my.data(), 3, nullptr, nullptr),
                                  RESULT_OK);
                    }
        }
}

TEST(MeshWarpCompact, RowAlignmentSetsThePitchAndTheCropMovesToTheStart) {
    const MeshArrays mesh(96, 64, 3, Zero, Zero);
    const PixelRect crop{10, 4, 60, 40};
    const struct { int32_t alignment, pitch; } cases[] = {{16, 64}, {5, 52}, {0, 52}, {256, 52}};
    for (const auto &c : cases) {
        TestImage source(96, 64, PIXEL_FORMAT_NV12), destination(96, 64, PIXEL_FORMAT_NV12);
        int32_t bytes[3] = {96, 96, 0}, rows[3] = {64, 32, 0};
        FillAll(source, 2, bytes, rows);
        ASSERT_EQ(WarpImageByMeshAndCompact(source.get(), destination.get(), mesh.x.data(),
                                            mesh.y.data(), 3, &crop, c.alignment),
                  RESULT_OK);
        EXPECT_EQ(destination->i32Width, 50);
        EXPECT_EQ(destination->i32Height, 36);
        EXPECT_EQ(destination->pi32Pitch[0], c.pitch);
        EXPECT_EQ(destination->pi32Pitch[1], c.pitch);
        EXPECT_EQ(destination->ppu8Plane[1], destination->ppu8Plane[0] + c.pitch * 36);
        for (int32_t y = 0; y < 36; ++y)
            for (int32_t x = 0; x < 50; ++x)
                ASSERT_EQ(destination.At(0, x, y), Pattern(0, x + 10, y + 4));
        for (int32_t y = 0; y < 18; ++y)
            for (int32_t x = 0; x < 50; ++x)
                ASSERT_EQ(destination.At(1, x, y), Pattern(1, x + 10, y + 2));
        // The test image's destructor frees the block through plane 0, which did not move.
    }
}

TEST(MeshWarpCompact, ChecksEverythingBeforeChangingTheDestination) {
    const MeshArrays mesh(96, 64, 3, Zero, Zero);
    TestImage source(95, 64, PIXEL_FORMAT_NV12), destination(95, 64, PIXEL_FORMAT_NV12);
    const ImageDesc before = *destination.get();
    EXPECT_EQ(WarpImageByMeshAndCompact(source.get(), destination.get(), mesh.x.data(),
                                        mesh.y.data(), 3, nullptr, 4),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(destination->i32Width, before.i32Width);
    TestImage small(96, 64, PIXEL_FORMAT_NV12), smaller(96, 60, PIXEL_FORMAT_NV12);
    EXPECT_EQ(WarpImageByMeshAndCompact(small.get(), smaller.get(), mesh.x.data(), mesh.y.data(), 3,
                                        nullptr, 4),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(smaller->i32Height, 60);
    TestImage yuyv(96, 64, PIXEL_FORMAT_YUYV), yuyv2(96, 64, PIXEL_FORMAT_YUYV);
    EXPECT_EQ(WarpImageByMeshAndCompact(yuyv.get(), yuyv2.get(), mesh.x.data(), mesh.y.data(), 3,
                                        nullptr, 4),
              RESULT_UNSUPPORTED_FORMAT);
    // Alignment 128 on a 96-wide frame would need 128-byte rows for the whole 64-row crop.
    TestImage full(96, 64, PIXEL_FORMAT_NV12), full2(96, 64, PIXEL_FORMAT_NV12);
    const PixelRect tall{0, 0, 90, 64};
    EXPECT_EQ(WarpImageByMeshAndCompact(full.get(), full2.get(), mesh.x.data(), mesh.y.data(), 3,
                                        &tall, 128),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(full2->pi32Pitch[0], 96);
}

TEST(RectCopy, CopiesEverythingOutsideTheRectangle) {
    TestImage source(8, 8, PIXEL_FORMAT_NV12), destination(8, 8, PIXEL_FORMAT_NV12);
    source.Fill(0, 8, 8, [](int32_t, int32_t) { return 1; });
    source.Fill(1, 8, 4, [](int32_t, int32_t) { return 2; });
    destination.Fill(0, 8, 8, [](int32_t, int32_t) { return 0; });
    destination.Fill(1, 8, 4, [](int32_t, int32_t) { return 0; });
    ASSERT_EQ(CopyImageOutsideRect(source.get(), destination.get(), PixelRect{1, 1, 5, 5}),
              RESULT_OK);
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 8; ++x)
            EXPECT_EQ(destination.At(0, x, y), (x >= 1 && x < 5 && y >= 1 && y < 5) ? 0 : 1);
    // Only chroma sample (1, 1) lies wholly inside; (0, 0) and (2, 2) are partly outside.
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t pair = 0; pair < 4; ++pair)
            for (int b = 0; b < 2; ++b)
                EXPECT_EQ(destination.At(1, 2 * pair + b, y), (pair == 1 && y == 1) ? 0 : 2);

    TestImage i420(8, 8, PIXEL_FORMAT_I420), i420b(8, 8, PIXEL_FORMAT_I420);
    for (int p = 0; p < 3; ++p) {
        i420.Fill(p, p ? 4 : 8, p ? 4 : 8, [](int32_t, int32_t) { return 5; });
        i420b.Fill(p, p ? 4 : 8, p ? 4 : 8, [](int32_t, int32_t) { return 0; });
    }
    ASSERT_EQ(CopyImageOutsideRect(i420.get(), i420b.get(), PixelRect{2, 2, 7, 6}), RESULT_OK);
    for (int p = 1; p <= 2; ++p)  // chroma rectangle (1, 1, 3, 3)
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 4; ++x)
                EXPECT_EQ(i420b.At(p, x, y), (x >= 1 && x < 3 && y >= 1 && y < 3) ? 0 : 5);

    const struct {
        PixelRect rect;
        int result;
    } bad[] = {{{3, 1, 3, 5}, RESULT_INVALID_ARGUMENT},
               {{1, 5, 4, 4}, RESULT_INVALID_ARGUMENT},
               {{-1, 0, 4, 4}, RESULT_INVALID_ARGUMENT},
               {{0, 0, 9, 4}, RESULT_INVALID_ARGUMENT},
               {{0, 0, 4, 9}, RESULT_INVALID_ARGUMENT}};
    for (const auto &b : bad)
        EXPECT_EQ(CopyImageOutsideRect(source.get(), destination.get(), b.rect), b.result);
    EXPECT_EQ(CopyImageOutsideRect(source.get(), i420.get(), PixelRect{1, 1, 2, 2}),
              RESULT_INVALID_ARGUMENT);
    TestImage yuyv(8, 8, PIXEL_FORMAT_YUYV), yuyv2(8, 8, PIXEL_FORMAT_YUYV);
    EXPECT_EQ(CopyImageOutsideRect(yuyv.get(), yuyv2.get(), PixelRect{1, 1, 2, 2}),
              RESULT_UNSUPPORTED_FORMAT);
}

TEST(Nv12PixelWarp, BilinearLumaNearestChromaAndRowBounds) {
    TestImage source(15, 8, PIXEL_FORMAT_NV12), destination(15, 8, PIXEL_FORMAT_NV12);
    source.Fill(0, 15, 8, [](int32_t x, int32_t y) { return uint8_t(16 * x + y); });
    source.Fill(1, source->pi32Pitch[1], 4,
                [](int32_t x, int32_t y) { return uint8_t(100 + 10 * y + x); });
    destination.Fill(0, 15, 8, [](int32_t, int32_t) { return 3; });
    destination.Fill(1, destination->pi32Pitch[1], 4, [](int32_t, int32_t) { return 3; });
    // Destination (x, y) samples the source at (x + 0.5, y + 1).
    const double matrix[4] = {1, 0, 0, 1}, translation[2] = {0.5, 1}, perspective[2] = {0, 0};
    PixelRect out{};
    EXPECT_EQ(WarpNv12PerPixel(source.get(), destination.get(), matrix, translation, perspective,
                               nullptr, &out),
              1);
    EXPECT_EQ(out.x1, 15);
    EXPECT_EQ(out.y1, 8);
    // wx = 8: the mean of two horizontal neighbours rounded down; rows beyond H - 2 keep theirs.
    EXPECT_EQ(destination.At(0, 2, 3), (16 * 2 + 4 + 16 * 3 + 4) / 2);
    EXPECT_EQ(destination.At(0, 13, 3), (16 * 13 + 4 + 16 * 14 + 4) / 2);
    EXPECT_EQ(destination.At(0, 14, 3), 3);  // source x 14.5 is not below W - 1
    EXPECT_EQ(destination.At(0, 2, 7), 3);
    // Chroma of even pixel x, even row y: source pixel (int)(x + 1), (int)(y + 1.5).
    EXPECT_EQ(destination.At(1, 4, 1), source.At(1, 4, 1));
    EXPECT_EQ(destination.At(1, 5, 1), source.At(1, 5, 1));
    EXPECT_EQ(WarpNv12PerPixel(nullptr, destination.get(), matrix, translation, perspective,
                               nullptr, nullptr),
              RESULT_INVALID_ARGUMENT);
}

}  // namespace
