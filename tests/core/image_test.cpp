#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "core/image.h"
#include "core/memory.h"
#include "image_support.h"

using namespace image_support;

namespace {

// ---------------------------------------------------------------------------------------------
// Layout

struct LayoutCase {
    std::vector<uint32_t> codes;
    int32_t width, height;
    int32_t pitches[3];
    int32_t rows[3];
    int64_t blockBytes;
};

// Worked by hand from the format table: w4 = (w + 3) & ~3, c4 = (w / 2 + 3) & ~3.
const LayoutCase kLayoutCases[] = {
    {{0x501}, 3, 1, {8, 0, 0}, {1, 0, 0}, 8},
    {{0x501}, 4, 1, {8, 0, 0}, {1, 0, 0}, 8},
    {{0x601, 0x605}, 5, 5, {8, 4, 4}, {5, 2, 2}, 56},
    {{0x301, 0x303, 0x401, 0x402, 0x403, 0x404}, 5, 5, {16, 0, 0}, {5, 0, 0}, 80},
    {{0x302, 0x304}, 5, 5, {20, 0, 0}, {5, 0, 0}, 100},
    {{0x501, 0x502, 0x503, 0x504, 0x505, 0x506, 0x507, 0x508}, 5, 5, {12, 0, 0}, {5, 0, 0}, 60},
    {{0x602, 0x606}, 5, 5, {8, 8, 8}, {5, 2, 2}, 72},
    {{0x603, 0x607}, 5, 5, {8, 4, 4}, {5, 5, 5}, 80},
    {{0x604, 0x608}, 5, 5, {8, 8, 8}, {5, 5, 5}, 120},
    {{0x701}, 5, 5, {8, 0, 0}, {5, 0, 0}, 40},
    {{0x801, 0x802}, 5, 5, {8, 8, 0}, {5, 2, 0}, 56},
    {{0x803}, 5, 5, {8, 8, 0}, {5, 5, 0}, 80},
    {{0x301, 0x303, 0x401, 0x402, 0x403, 0x404}, 10, 3, {32, 0, 0}, {3, 0, 0}, 96},
    {{0x302, 0x304}, 10, 3, {40, 0, 0}, {3, 0, 0}, 120},
    {{0x501, 0x502, 0x503, 0x504, 0x505, 0x506, 0x507, 0x508}, 10, 3, {20, 0, 0}, {3, 0, 0}, 60},
    {{0x601, 0x605}, 10, 3, {12, 8, 8}, {3, 1, 1}, 52},
    {{0x602, 0x606}, 10, 3, {12, 12, 12}, {3, 1, 1}, 60},
    {{0x603, 0x607}, 10, 3, {12, 8, 8}, {3, 3, 3}, 84},
    {{0x604, 0x608}, 10, 3, {12, 12, 12}, {3, 3, 3}, 108},
    {{0x701}, 10, 3, {12, 0, 0}, {3, 0, 0}, 36},
    {{0x801, 0x802}, 10, 3, {12, 12, 0}, {3, 1, 0}, 48},
    {{0x803}, 10, 3, {12, 12, 0}, {3, 3, 0}, 72},
};

TEST(ImageLayout, EveryFormatCodeHasTheTablesPitchesRowsAndBlock) {
    for (const LayoutCase &c : kLayoutCases) {
        for (uint32_t code : c.codes) {
            SCOPED_TRACE(testing::Message() << std::hex << "code 0x" << code << std::dec << " "
                                            << c.width << "x" << c.height);
            ImageDesc layout;
            int32_t rows[3] = {-1, -1, -1};
            ASSERT_EQ(LayoutImagePlanes(&layout, c.width, c.height, code, rows), RESULT_OK);
            EXPECT_EQ(layout.u32PixelArrayFormat, code);
            for (int p = 0; p < 3; ++p) {
                EXPECT_EQ(layout.pi32Pitch[p], c.pitches[p]) << "plane " << p;
                EXPECT_EQ(rows[p], c.rows[p]) << "plane " << p;
            }

            ImageDesc *image = nullptr;
            ASSERT_EQ(CreateImage(&image, c.width, c.height, code, nullptr), RESULT_OK);
            // Planes follow one another in one block; absent planes are null with pitch 0.
            uint8_t *expected = image->ppu8Plane[0];
            for (int p = 0; p < 3; ++p) {
                EXPECT_EQ(image->pi32Pitch[p], c.pitches[p]);
                if (c.pitches[p] == 0) {
                    EXPECT_EQ(image->ppu8Plane[p], nullptr);
                    continue;
                }
                EXPECT_EQ(image->ppu8Plane[p], expected) << "plane " << p;
                expected += static_cast<int64_t>(c.rows[p]) * c.pitches[p];
            }
            EXPECT_EQ(expected - image->ppu8Plane[0], c.blockBytes);
            EXPECT_EQ(image->ppu8Plane[3], nullptr);
            EXPECT_EQ(image->pi32Pitch[3], 0);
            DestroyImage(&image, nullptr);
            EXPECT_EQ(image, nullptr);
        }
    }
}

TEST(ImageLayout, UnsupportedCodesAreRefusedAndLeakNothing) {
    const uint32_t codes[] = {0x000, 0x300, 0x305, 0x400, 0x405, 0x500, 0x509, 0x600,
                              0x609, 0x700, 0x702, 0x800, 0x804, 0x901, 0xffffffffu};
    PoolBuffer buffer(4096);
    MemoryContext pool = buffer.Init();
    const int64_t freeBefore = LargestFreeBlock(pool);
    for (uint32_t code : codes) {
        SCOPED_TRACE(code);
        ImageDesc *image = reinterpret_cast<ImageDesc *>(&buffer);  // must be cleared
        EXPECT_EQ(CreateImage(&image, 5, 5, code, pool), RESULT_UNSUPPORTED_FORMAT);
        EXPECT_EQ(image, nullptr);
        EXPECT_EQ(LargestFreeBlock(pool), freeBefore);
        ImageDesc layout;
        EXPECT_EQ(LayoutImagePlanes(&layout, 5, 5, code, nullptr), RESULT_UNSUPPORTED_FORMAT);
    }
    EXPECT_EQ(LayoutImagePlanes(nullptr, 5, 5, 0x501, nullptr), RESULT_INVALID_ARGUMENT);
}

TEST(ImageLayout, CreateAndDestroyGiveThePoolBackWhole) {
    PoolBuffer buffer(8192);
    MemoryContext pool = buffer.Init();
    const int64_t freeBefore = LargestFreeBlock(pool);
    for (uint32_t code : SupportedFormats()) {
        ImageDesc *image = nullptr;
        ASSERT_EQ(CreateImage(&image, 13, 7, code, pool), RESULT_OK) << code;
        EXPECT_LT(LargestFreeBlock(pool), freeBefore);
        DestroyImage(&image, pool);
        EXPECT_EQ(LargestFreeBlock(pool), freeBefore) << code;
    }
    // Out of memory for the plane block frees the descriptor again.
    ImageDesc *image = nullptr;
    EXPECT_EQ(CreateImage(&image, 200, 200, PIXEL_FORMAT_YUV444P, pool), RESULT_OUT_OF_MEMORY);
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(LargestFreeBlock(pool), freeBefore);
}

TEST(ImageLayout, CreateRefusesEmptyAndNegativeSizes) {
    const int32_t sizes[][2] = {{0, 5}, {5, 0}, {-1, 5}, {5, -1}, {0, 0}, {INT32_MIN, 1}};
    for (const auto &size : sizes) {
        ImageDesc *image = nullptr;
        EXPECT_EQ(CreateImage(&image, size[0], size[1], PIXEL_FORMAT_YUYV, nullptr),
                  RESULT_INVALID_ARGUMENT);
        EXPECT_EQ(image, nullptr);
    }
    EXPECT_EQ(CreateImage(nullptr, 4, 4, PIXEL_FORMAT_YUYV, nullptr), RESULT_INVALID_ARGUMENT);
}

TEST(ImageLayout, SizesAreComputedIn64Bits) {
    // 65536 x 65537 grey is 2^32 + 65536 bytes: a 32-bit sum would ask for 65536 bytes and
    // hand out an undersized block. The pool cannot serve the true size.
    PoolBuffer buffer(1 << 20);
    MemoryContext pool = buffer.Init();
    ImageDesc *image = nullptr;
    EXPECT_EQ(CreateImage(&image, 65536, 65537, PIXEL_FORMAT_GRAY8, pool), RESULT_OUT_OF_MEMORY);
    EXPECT_EQ(image, nullptr);

    // Pitches that do not fit the descriptor's 32 bits are refused, not wrapped.
    ImageDesc layout;
    EXPECT_EQ(LayoutImagePlanes(&layout, 0x20000000, 1, 0x302, nullptr), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(LayoutImagePlanes(&layout, INT32_MAX, 1, PIXEL_FORMAT_YUYV, nullptr),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(CreateImage(&image, INT32_MAX, 1, PIXEL_FORMAT_GRAY8, nullptr),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(LayoutImagePlanes(&layout, 0x1fffffff, 1, 0x302, nullptr), RESULT_OK);
    EXPECT_EQ(layout.pi32Pitch[0], 0x7ffffffc);
}

TEST(ImageLayout, SetImagePlanesTakesThePlanesTheFormatHas) {
    const struct {
        uint32_t code;
        int planes;
    } cases[] = {{0x601, 3}, {0x602, 3}, {0x603, 3}, {0x604, 3}, {0x605, 3}, {0x607, 3},
                 {0x608, 3}, {0x801, 2}, {0x802, 2}, {0x803, 2}, {0x501, 1}, {0x701, 1},
                 {0x302, 1}, {0x600, 1}};
    uint8_t bytes[4];
    uint8_t *planes[4] = {bytes, bytes + 1, bytes + 2, bytes + 3};
    const int32_t pitches[4] = {11, 12, 13, 14};
    for (const auto &c : cases) {
        ImageDesc image;
        image.ppu8Plane[3] = bytes;
        ASSERT_EQ(SetImagePlanes(&image, 6, 4, c.code, planes, pitches), RESULT_OK);
        EXPECT_EQ(image.u32PixelArrayFormat, c.code);
        EXPECT_EQ(image.i32Width, 6);
        EXPECT_EQ(image.i32Height, 4);
        for (int p = 0; p < 4; ++p) {
            EXPECT_EQ(image.ppu8Plane[p], p < c.planes ? planes[p] : nullptr) << c.code;
            EXPECT_EQ(image.pi32Pitch[p], p < c.planes ? pitches[p] : 0) << c.code;
        }
    }
    EXPECT_EQ(SetImagePlanes(nullptr, 6, 4, 0x501, planes, pitches), RESULT_INVALID_ARGUMENT);
}

TEST(ImageLayout, ReleasePlanesKeepsTheDescriptorAndShapeCompares) {
    OwnedImage a = MakeImage(6, 4, PIXEL_FORMAT_I420);
    OwnedImage b = MakeImage(6, 4, PIXEL_FORMAT_I420);
    OwnedImage wider = MakeImage(8, 4, PIXEL_FORMAT_I420);
    OwnedImage nv12 = MakeImage(6, 4, PIXEL_FORMAT_NV12);
    EXPECT_EQ(SameImageShape(a.get(), b.get()), 1);
    EXPECT_EQ(SameImageShape(a.get(), wider.get()), 0);
    EXPECT_EQ(SameImageShape(a.get(), nv12.get()), 0);
    EXPECT_EQ(SameImageShape(a.get(), nullptr), 0);
    EXPECT_EQ(SameImageShape(nullptr, nullptr), 0);

    ReleaseImagePlanes(a.get(), nullptr);
    for (int p = 0; p < 4; ++p) EXPECT_EQ(a->ppu8Plane[p], nullptr);
    EXPECT_EQ(a->pi32Pitch[0], 8);
    EXPECT_EQ(SameImageShape(a.get(), b.get()), 1);
    // A released image cannot be copied into: its planes are gone.
    EXPECT_EQ(CopyImage(a.get(), b.get()), RESULT_INVALID_ARGUMENT);
    ReleaseImagePlanes(a.get(), nullptr);  // twice is harmless
    ReleaseImagePlanes(nullptr, nullptr);
}

// ---------------------------------------------------------------------------------------------
// A brute-force model of the copies, byte by byte from the format table.

enum class Pairing { kNone, kPackedLumaEven, kPackedLumaOdd, kTwoBytes, kPlanarHalf, kSemi };

struct FormatModel {
    int planes;
    int lumaBytes;
    int colShift;  // chroma planes
    int rowShift;
    Pairing pairing;
};

FormatModel ModelOf(uint32_t code) {
    switch (code) {
        case 0x301: case 0x303: case 0x401: case 0x402: case 0x403: case 0x404:
            return {1, 3, 0, 0, Pairing::kNone};
        case 0x302: case 0x304: return {1, 4, 0, 0, Pairing::kNone};
        case 0x501: case 0x502: return {1, 2, 0, 0, Pairing::kPackedLumaEven};
        case 0x503: case 0x504: return {1, 2, 0, 0, Pairing::kPackedLumaOdd};
        case 0x505: case 0x506: case 0x507: case 0x508: return {1, 2, 0, 0, Pairing::kTwoBytes};
        case 0x601: case 0x605: return {3, 1, 1, 1, Pairing::kPlanarHalf};
        case 0x602: case 0x606: return {3, 1, 0, 1, Pairing::kNone};
        case 0x603: case 0x607: return {3, 1, 1, 0, Pairing::kPlanarHalf};
        case 0x604: case 0x608: return {3, 1, 0, 0, Pairing::kNone};
        case 0x701: return {1, 1, 0, 0, Pairing::kNone};
        case 0x801: case 0x802: return {2, 1, 0, 1, Pairing::kSemi};
        case 0x803: return {2, 1, 0, 0, Pairing::kSemi};
        default: return {0, 0, 0, 0, Pairing::kNone};
    }
}

uint8_t &At(Planes &planes, const ImageDesc &image, int p, int64_t row, int64_t byte) {
    return planes[p][row * image.pi32Pitch[p] + byte];
}
uint8_t At(const ImageDesc &image, int p, int64_t row, int64_t byte) {
    return image.ppu8Plane[p][row * image.pi32Pitch[p] + byte];
}

// Luma (or the only plane): every pixel's bytes.
void ModelPlaneZero(Planes &out, const ImageDesc &dst, const PixelRect &d, const ImageDesc &src,
                    const PixelRect &s, const FormatModel &m) {
    for (int32_t y = 0; y < d.y1 - d.y0; ++y)
        for (int32_t x = 0; x < d.x1 - d.x0; ++x)
            for (int k = 0; k < m.lumaBytes; ++k)
                At(out, dst, 0, d.y0 + y, (d.x0 + x) * m.lumaBytes + k) =
                    At(src, 0, s.y0 + y, (s.x0 + x) * m.lumaBytes + k);
}

// The plain copy: chroma bytes from the halved origin for the halved size.
void ModelPlainChroma(Planes &out, const ImageDesc &dst, const PixelRect &d,
                      const ImageDesc &src, const PixelRect &s, const FormatModel &m) {
    const int32_t w = d.x1 - d.x0;
    const int32_t h = d.y1 - d.y0;
    for (int p = 1; p < m.planes; ++p)
        for (int32_t y = 0; y < (h >> m.rowShift); ++y)
            for (int32_t x = 0; x < (w >> m.colShift); ++x)
                At(out, dst, p, (d.y0 >> m.rowShift) + y, (d.x0 >> m.colShift) + x) =
                    At(src, p, (s.y0 >> m.rowShift) + y, (s.x0 >> m.colShift) + x);
}

// An odd-width rectangle from an even origin to the right edge of both images also takes the
// rest of its last pixel pair: the packed pair's last two bytes, or the interleaved V byte.
void ModelLastHalfPair(Planes &out, const ImageDesc &dst, const PixelRect &d,
                       const ImageDesc &src, const PixelRect &s, const FormatModel &m) {
    const bool packed = m.pairing == Pairing::kPackedLumaEven || m.pairing == Pairing::kPackedLumaOdd;
    if (!packed && m.pairing != Pairing::kSemi) return;
    if (d.x1 != dst.i32Width || s.x1 != src.i32Width || ((d.x1 - d.x0) & 1) == 0 ||
        (d.x0 & 1) != 0 || (s.x0 & 1) != 0)
        return;
    const int32_t h = d.y1 - d.y0;
    if (packed) {
        for (int32_t y = 0; y < h; ++y)
            for (int k = 0; k < 2; ++k)
                At(out, dst, 0, d.y0 + y, 2 * d.x1 + k) = At(src, 0, s.y0 + y, 2 * s.x1 + k);
        return;
    }
    for (int32_t y = 0; y < (h >> m.rowShift); ++y)
        At(out, dst, 1, (d.y0 >> m.rowShift) + y, d.x1) = At(src, 1, (s.y0 >> m.rowShift) + y, s.x1);
}

Planes ModelCopy(const ImageDesc &dst, const PixelRect &d, const ImageDesc &src,
                 const PixelRect &s) {
    Planes out = Snapshot(dst);
    const FormatModel m = ModelOf(src.u32PixelArrayFormat);
    ModelPlaneZero(out, dst, d, src, s, m);
    ModelPlainChroma(out, dst, d, src, s, m);
    ModelLastHalfPair(out, dst, d, src, s, m);
    return out;
}

// The chroma-preserving copy across parities, pixel by pixel: every destination pixel keeps
// its own source pixel's luma, and its chroma slot (U for even, V for odd positions) is filled
// from the source pair holding the first source pixel of its two-pixel group.
Planes ModelKeepChroma(const ImageDesc &dst, const PixelRect &d, const ImageDesc &src,
                       const PixelRect &s) {
    const FormatModel m = ModelOf(src.u32PixelArrayFormat);
    if (((d.x0 ^ s.x0) & 1) == 0 || m.pairing == Pairing::kNone) return ModelCopy(dst, d, src, s);
    Planes out = Snapshot(dst);
    const int32_t w = d.x1 - d.x0;
    const int32_t h = d.y1 - d.y0;
    auto groupPair = [&](int32_t i) { return (s.x0 + (i & ~1)) / 2; };  // source pair index
    if (m.pairing == Pairing::kPackedLumaEven || m.pairing == Pairing::kPackedLumaOdd) {
        const int lo = m.pairing == Pairing::kPackedLumaEven ? 0 : 1;
        const int co = 1 - lo;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t i = 0; i < w; ++i) {
                const int64_t dx = d.x0 + i;
                At(out, dst, 0, d.y0 + y, 2 * dx + lo) = At(src, 0, s.y0 + y, 2 * (s.x0 + i) + lo);
                At(out, dst, 0, d.y0 + y, 2 * dx + co) =
                    At(src, 0, s.y0 + y, 4 * groupPair(i) + 2 * (dx & 1) + co);
            }
        return out;
    }
    ModelPlaneZero(out, dst, d, src, s, m);
    for (int p = 1; p < m.planes; ++p)
        for (int32_t y = 0; y < (h >> m.rowShift); ++y) {
            const int32_t dy = (d.y0 >> m.rowShift) + y;
            const int32_t sy = (s.y0 >> m.rowShift) + y;
            if (m.pairing == Pairing::kSemi) {
                for (int32_t i = 0; i < w; ++i) {
                    const int64_t dx = d.x0 + i;
                    At(out, dst, p, dy, dx) = At(src, p, sy, 2 * groupPair(i) + (dx & 1));
                }
                continue;
            }
            // Planar: each destination chroma column whose two pixels lie in the rectangle.
            for (int32_t c = (d.x0 + 1) / 2; 2 * c + 1 < d.x1; ++c)
                At(out, dst, p, dy, c) = At(src, p, sy, (s.x0 + 2 * c - d.x0) / 2);
        }
    return out;
}

PixelRect RandomRect(std::mt19937 &rng, int32_t width, int32_t height, int32_t w, int32_t h) {
    const int32_t x0 = std::uniform_int_distribution<int32_t>(0, width - w)(rng);
    const int32_t y0 = std::uniform_int_distribution<int32_t>(0, height - h)(rng);
    return {x0, y0, x0 + w, y0 + h};
}

using CopyFunction = int (*)(ImageDesc *, const PixelRect *, const ImageDesc *, const PixelRect *);
using ModelFunction = Planes (*)(const ImageDesc &, const PixelRect &, const ImageDesc &,
                                 const PixelRect &);

// Random sizes (odd ones included), random rectangles with odd and even origins, and
// destinations with pitches wider than the layout's, against the model over every byte.
void CheckAgainstModel(uint32_t code, CopyFunction copy, ModelFunction model, uint32_t seed) {
    std::mt19937 rng(seed);
    auto dim = std::uniform_int_distribution<int32_t>(1, 11);
    for (int trial = 0; trial < 150; ++trial) {
        const int32_t sw = dim(rng), sh = dim(rng), dw = dim(rng), dh = dim(rng);
        OwnedImage source = MakeImage(sw, sh, code);
        CallerImage destination(dw, dh, code, trial % 4 == 0 ? 0 : trial % 7);
        FillRandom(*source, rng);
        FillRandom(destination.desc, rng);
        const int32_t w = std::uniform_int_distribution<int32_t>(0, std::min(sw, dw))(rng);
        const int32_t h = std::uniform_int_distribution<int32_t>(0, std::min(sh, dh))(rng);
        const PixelRect s = RandomRect(rng, sw, sh, w, h);
        const PixelRect d = RandomRect(rng, dw, dh, w, h);
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << code << std::dec << " src "
                                        << sw << "x" << sh << " [" << s.x0 << "," << s.y0 << ","
                                        << s.x1 << "," << s.y1 << ") dst " << dw << "x" << dh
                                        << " [" << d.x0 << "," << d.y0 << ")");
        const Planes expected = model(destination.desc, d, *source, s);
        ASSERT_EQ(copy(&destination.desc, &d, source.get(), &s), RESULT_OK);
        ASSERT_EQ(Snapshot(destination.desc), expected);
    }
}

TEST(ImageCopy, EveryFormatMatchesTheByteModel) {
    for (uint32_t code : SupportedFormats()) CheckAgainstModel(code, CopyImageRect, ModelCopy, code);
}

TEST(ImageCopy, KeepChromaOrderMatchesThePixelModel) {
    for (uint32_t code : SupportedFormats()) {
        if (ModelOf(code).pairing == Pairing::kTwoBytes) continue;
        CheckAgainstModel(code, CopyImageRectKeepChromaOrder, ModelKeepChroma, code + 7);
    }
}

TEST(ImageCopy, WholeImageCopyAndCloneGiveEqualPlanes) {
    std::mt19937 rng(5);
    for (uint32_t code : SupportedFormats()) {
        OwnedImage source = MakeImage(9, 7, code);
        FillRandom(*source, rng);
        CallerImage destination(9, 7, code, 3);
        ASSERT_EQ(CopyImage(&destination.desc, source.get()), RESULT_OK);
        const PixelRect whole{0, 0, 9, 7};
        EXPECT_EQ(Snapshot(destination.desc), ModelCopy(destination.desc, whole, *source, whole));

        ImageDesc *clone = nullptr;
        ASSERT_EQ(CloneImage(&clone, source.get(), nullptr), RESULT_OK);
        OwnedImage owned(clone);
        EXPECT_TRUE(SameImageShape(clone, source.get()));
        EXPECT_EQ(Snapshot(*clone), ModelCopy(*clone, whole, *source, whole)) << code;
    }
}

// An odd width ends on half a pixel pair; a whole-image copy must still carry that pair's V.
TEST(ImageCopy, OddWidthWholeCopyKeepsTheLastPairsSecondChromaByte) {
    const struct {
        uint32_t format;
        int plane;
        int32_t byte;  // the V byte of the last pair in row 0
    } cases[] = {{PIXEL_FORMAT_YUYV, 0, 2 * 97 + 1}, {PIXEL_FORMAT_NV12, 1, 97},
                 {PIXEL_FORMAT_NV21, 1, 97}, {PIXEL_FORMAT_NV16, 1, 97}};
    for (const auto &c : cases) {
        OwnedImage source = MakeImage(97, 65, c.format);
        OwnedImage destination = MakeImage(97, 65, c.format);
        std::mt19937 rng(c.format);
        FillRandom(*source, rng);
        source->ppu8Plane[c.plane][c.byte] = 0xa5;
        destination->ppu8Plane[c.plane][c.byte] = 0;
        ASSERT_EQ(CopyImage(destination.get(), source.get()), RESULT_OK);
        EXPECT_EQ(destination->ppu8Plane[c.plane][c.byte], 0xa5) << std::hex << c.format;
    }
}

// A source whose every YUYV pair carries its pair index in U and V, to read the pairing back.
TEST(ImageCopy, KeepChromaOrderYuyvFromOddIntoEvenTakesTheFirstSourcePair) {
    CallerImage source(8, 1, PIXEL_FORMAT_YUYV, 0);
    for (int pair = 0; pair < 4; ++pair) {
        uint8_t *bytes = source.desc.ppu8Plane[0] + 4 * pair;
        bytes[0] = static_cast<uint8_t>(2 * pair);       // Y of pixel 2k
        bytes[1] = static_cast<uint8_t>(100 + pair);     // U
        bytes[2] = static_cast<uint8_t>(2 * pair + 1);   // Y of pixel 2k + 1
        bytes[3] = static_cast<uint8_t>(200 + pair);     // V
    }
    CallerImage destination(8, 1, PIXEL_FORMAT_YUYV, 0);
    const PixelRect from{1, 0, 7, 1};
    const PixelRect to{0, 0, 6, 1};
    ASSERT_EQ(CopyImageRectKeepChromaOrder(&destination.desc, &to, &source.desc, &from),
              RESULT_OK);
    const uint8_t *out = destination.desc.ppu8Plane[0];
    // Destination pair k holds source pixels 2k + 1 and 2k + 2, and the chroma of pair k.
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(out[4 * k + 0], 2 * k + 1);
        EXPECT_EQ(out[4 * k + 1], 100 + k);
        EXPECT_EQ(out[4 * k + 2], 2 * k + 2);
        EXPECT_EQ(out[4 * k + 3], 200 + k);
    }
    // The plain copy would have put V into the U slot.
    CallerImage plain(8, 1, PIXEL_FORMAT_YUYV, 0);
    ASSERT_EQ(CopyImageRect(&plain.desc, &to, &source.desc, &from), RESULT_OK);
    EXPECT_EQ(plain.desc.ppu8Plane[0][1], 200);
}

TEST(ImageCopy, I420RectangleFromRowThreeReadsChromaRowOne) {
    OwnedImage source = MakeImage(8, 8, PIXEL_FORMAT_I420);
    for (int p = 1; p < 3; ++p)
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                source->ppu8Plane[p][r * source->pi32Pitch[p] + c] =
                    static_cast<uint8_t>(p * 100 + r * 10 + c);
    const PixelRect from{0, 3, 4, 7};
    ImageDesc *crop = nullptr;
    ASSERT_EQ(CropToNewImage(&crop, source.get(), &from, nullptr), RESULT_OK);
    OwnedImage owned(crop);
    for (int p = 1; p < 3; ++p) {
        EXPECT_EQ(crop->ppu8Plane[p][0], p * 100 + 10);
        EXPECT_EQ(crop->ppu8Plane[p][1], p * 100 + 11);
        EXPECT_EQ(crop->ppu8Plane[p][crop->pi32Pitch[p]], p * 100 + 20);
    }
}

TEST(ImageCopy, FourByteFormatMovesFourBytesPerPixel) {
    OwnedImage source = MakeImage(3, 1, 0x302);
    for (int i = 0; i < 12; ++i) source->ppu8Plane[0][i] = static_cast<uint8_t>(i + 1);
    OwnedImage destination = MakeImage(3, 1, 0x302);
    for (int i = 0; i < 12; ++i) destination->ppu8Plane[0][i] = 0;
    const PixelRect from{1, 0, 2, 1};
    const PixelRect to{2, 0, 3, 1};
    ASSERT_EQ(CopyImageRect(destination.get(), &to, source.get(), &from), RESULT_OK);
    const uint8_t expected[12] = {0, 0, 0, 0, 0, 0, 0, 0, 5, 6, 7, 8};
    EXPECT_EQ(std::vector<uint8_t>(destination->ppu8Plane[0], destination->ppu8Plane[0] + 12),
              std::vector<uint8_t>(expected, expected + 12));
}

// ---------------------------------------------------------------------------------------------
// Refusals: nothing is written when a copy fails.

TEST(ImageCopy, BadArgumentsAreRefusedBeforeAnyByteIsWritten) {
    std::mt19937 rng(11);
    OwnedImage source = MakeImage(8, 6, PIXEL_FORMAT_NV12);
    OwnedImage destination = MakeImage(8, 6, PIXEL_FORMAT_NV12);
    OwnedImage other = MakeImage(8, 6, PIXEL_FORMAT_NV21);
    FillRandom(*source, rng);
    FillRandom(*destination, rng);
    const Planes before = Snapshot(*destination);
    const struct {
        const char *what;
        PixelRect to, from;
    } rects[] = {
        {"x1 beyond the width", {0, 0, 9, 6}, {0, 0, 9, 6}},
        {"y1 beyond the height", {0, 0, 8, 7}, {0, 0, 8, 7}},
        {"negative origin", {-1, 0, 3, 2}, {0, 0, 4, 2}},
        {"x0 after x1", {4, 0, 3, 2}, {4, 0, 3, 2}},
        {"y0 after y1", {0, 3, 2, 2}, {0, 3, 2, 2}},
        {"different sizes", {0, 0, 4, 2}, {0, 0, 4, 3}},
    };
    for (const auto &r : rects) {
        EXPECT_EQ(CopyImageRect(destination.get(), &r.to, source.get(), &r.from),
                  RESULT_INVALID_ARGUMENT) << r.what;
        EXPECT_EQ(CopyImageRectKeepChromaOrder(destination.get(), &r.to, source.get(), &r.from),
                  RESULT_INVALID_ARGUMENT) << r.what;
    }
    EXPECT_EQ(CopyImage(destination.get(), other.get()), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(CopyImage(nullptr, source.get()), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(CopyImage(destination.get(), nullptr), RESULT_INVALID_ARGUMENT);
    OwnedImage smaller = MakeImage(7, 6, PIXEL_FORMAT_NV12);
    EXPECT_EQ(CopyImage(destination.get(), smaller.get()), RESULT_INVALID_ARGUMENT);

    // An empty rectangle copies nothing and succeeds.
    const PixelRect empty{3, 2, 3, 5};
    EXPECT_EQ(CopyImageRect(destination.get(), &empty, source.get(), &empty), RESULT_OK);
    EXPECT_EQ(CopyImageRectKeepChromaOrder(destination.get(), &empty, source.get(), &empty),
              RESULT_OK);
    EXPECT_EQ(Snapshot(*destination), before);
}

TEST(ImageCopy, UnknownMultiPlaneCodesCopyNothing) {
    // Codes in the planar and semi-planar ranges that the table does not know: the luma plane
    // must not be copied before the code is refused.
    for (uint32_t code : {0x600u, 0x609u, 0x800u, 0x804u, 0x999u}) {
        std::vector<uint8_t> sourceBytes(64, 7), destinationBytes(64, 0);
        uint8_t *sourcePlanes[3] = {sourceBytes.data(), sourceBytes.data() + 32,
                                    sourceBytes.data() + 48};
        uint8_t *destinationPlanes[3] = {destinationBytes.data(), destinationBytes.data() + 32,
                                         destinationBytes.data() + 48};
        const int32_t pitches[3] = {8, 4, 4};
        ImageDesc source, destination;
        SetImagePlanes(&source, 8, 4, code, sourcePlanes, pitches);
        SetImagePlanes(&destination, 8, 4, code, destinationPlanes, pitches);
        EXPECT_EQ(CopyImage(&destination, &source), RESULT_UNSUPPORTED_FORMAT) << code;
        EXPECT_EQ(CopyImageRectKeepChromaOrder(&destination, nullptr, &source, nullptr),
                  RESULT_UNSUPPORTED_FORMAT);
        EXPECT_EQ(destinationBytes, std::vector<uint8_t>(64, 0)) << code;
    }
}

TEST(ImageCopy, KeepChromaOrderRefusesTwoByteCodesWithoutPairing) {
    for (uint32_t code = 0x505; code <= 0x508; ++code) {
        OwnedImage source = MakeImage(4, 2, code);
        OwnedImage destination = MakeImage(4, 2, code);
        EXPECT_EQ(CopyImageRectKeepChromaOrder(destination.get(), nullptr, source.get(), nullptr),
                  RESULT_UNSUPPORTED_FORMAT);
        EXPECT_EQ(CopyImage(destination.get(), source.get()), RESULT_OK);
    }
}

TEST(ImageCopy, MissingPlanesAndShortPitchesAreRefused) {
    std::vector<uint8_t> bytes(256, 0);
    uint8_t *planes[3] = {bytes.data(), bytes.data() + 100, bytes.data() + 200};
    const struct {
        uint32_t code;
        int32_t width;
        int32_t pitches[3];
    } cases[] = {
        {PIXEL_FORMAT_YUYV, 4, {7, 0, 0}},   // a row is 8 bytes
        {PIXEL_FORMAT_YUYV, 3, {6, 0, 0}},   // odd width: the last pair is whole, 8 bytes
        {PIXEL_FORMAT_I420, 6, {6, 2, 3}},   // chroma rows are 3 bytes
        {PIXEL_FORMAT_NV12, 5, {5, 5, 0}},   // interleaved chroma ends on a whole pair: 6
        {0x302, 3, {11, 0, 0}},
    };
    for (const auto &c : cases) {
        ImageDesc narrow, fine;
        SetImagePlanes(&narrow, c.width, 2, c.code, planes, c.pitches);
        const int32_t wide[3] = {16, 16, 16};
        SetImagePlanes(&fine, c.width, 2, c.code, planes, wide);
        EXPECT_EQ(CopyImage(&narrow, &fine), RESULT_INVALID_ARGUMENT) << c.code;
        EXPECT_EQ(CopyImage(&fine, &narrow), RESULT_INVALID_ARGUMENT) << c.code;
    }
    OwnedImage source = MakeImage(4, 4, PIXEL_FORMAT_NV12);
    ImageDesc missing = *source;
    missing.ppu8Plane[1] = nullptr;
    EXPECT_EQ(CopyImage(&missing, source.get()), RESULT_INVALID_ARGUMENT);
}

// ---------------------------------------------------------------------------------------------
// Clones and crops

TEST(ImageCrop, CropToNewImageHoldsTheRectangle) {
    std::mt19937 rng(21);
    for (uint32_t code : SupportedFormats()) {
        OwnedImage source = MakeImage(11, 9, code);
        FillRandom(*source, rng);
        for (int trial = 0; trial < 20; ++trial) {
            const int32_t w = std::uniform_int_distribution<int32_t>(1, 11)(rng);
            const int32_t h = std::uniform_int_distribution<int32_t>(1, 9)(rng);
            const PixelRect rect = RandomRect(rng, 11, 9, w, h);
            ImageDesc *crop = nullptr;
            ASSERT_EQ(CropToNewImage(&crop, source.get(), &rect, nullptr), RESULT_OK);
            OwnedImage owned(crop);
            EXPECT_EQ(crop->i32Width, w);
            EXPECT_EQ(crop->i32Height, h);
            const PixelRect whole{0, 0, w, h};
            EXPECT_EQ(Snapshot(*crop), ModelCopy(*crop, whole, *source, rect)) << code;
        }
    }
}

TEST(ImageCrop, CloneAndCropRefuseBadArgumentsAndLeaveNull) {
    OwnedImage source = MakeImage(8, 8, PIXEL_FORMAT_YUYV);
    PoolBuffer buffer(4096);
    MemoryContext pool = buffer.Init();
    const int64_t freeBefore = LargestFreeBlock(pool);
    ImageDesc *out = source.get();
    EXPECT_EQ(CloneImage(&out, nullptr, pool), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(CloneImage(nullptr, source.get(), pool), RESULT_INVALID_ARGUMENT);
    const PixelRect outside{4, 4, 9, 8};
    const PixelRect empty{2, 2, 2, 4};
    EXPECT_EQ(CropToNewImage(&out, source.get(), nullptr, pool), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(CropToNewImage(&out, nullptr, &outside, pool), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(CropToNewImage(&out, source.get(), &outside, pool), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(CropToNewImage(&out, source.get(), &empty, pool), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(out, nullptr);
    // A copy that fails after the image was created gives the image back.
    ImageDesc released = *source;
    ReleaseImagePlanes(&released, nullptr);
    *source = released;  // the descriptor now has no planes
    EXPECT_EQ(CloneImage(&out, source.get(), pool), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(LargestFreeBlock(pool), freeBefore);
    // Small pool: the clone itself runs out of memory.
    OwnedImage big = MakeImage(64, 64, PIXEL_FORMAT_YUYV);
    EXPECT_EQ(CloneImage(&out, big.get(), pool), RESULT_OUT_OF_MEMORY);
    EXPECT_EQ(LargestFreeBlock(pool), freeBefore);
}

// The bytes a w x h image of the format defines (no padding), plane by plane.
Planes DefinedBytes(const ImageDesc &image) {
    const FormatModel m = ModelOf(image.u32PixelArrayFormat);
    Planes planes(3);
    for (int32_t y = 0; y < image.i32Height; ++y)
        for (int64_t b = 0; b < int64_t{image.i32Width} * m.lumaBytes; ++b)
            planes[0].push_back(At(image, 0, y, b));
    for (int p = 1; p < m.planes; ++p)
        for (int32_t y = 0; y < (image.i32Height >> m.rowShift); ++y)
            for (int32_t x = 0; x < (image.i32Width >> m.colShift); ++x)
                planes[p].push_back(At(image, p, y, x));
    return planes;
}

// The least pitch that holds a row of each plane.
int32_t TightPitch(const FormatModel &m, int p, int32_t width) {
    if (p == 0) {
        const bool pairs = m.pairing == Pairing::kPackedLumaEven || m.pairing == Pairing::kPackedLumaOdd;
        return m.lumaBytes * (pairs ? (width + 1) & ~1 : width);
    }
    return m.pairing == Pairing::kSemi ? (width + 1) & ~1 : width >> m.colShift;
}

// A caller image with tight pitches over buffers of exactly rows x pitch bytes, so a move
// past a plane's end is caught by the address checks.
struct TightImage {
    TightImage(int32_t width, int32_t height, uint32_t code) {
        const FormatModel m = ModelOf(code);
        ImageDesc layout;
        int32_t rows[3];
        LayoutImagePlanes(&layout, width, height, code, rows);
        uint8_t *planes[3] = {nullptr, nullptr, nullptr};
        int32_t pitches[3] = {0, 0, 0};
        for (int p = 0; p < m.planes; ++p) {
            pitches[p] = std::max(TightPitch(m, p, width), 1);
            storage[p].resize(std::max<size_t>(static_cast<size_t>(rows[p]) * pitches[p], 1));
            planes[p] = storage[p].data();
        }
        SetImagePlanes(&desc, width, height, code, planes, pitches);
    }
    ImageDesc desc{};
    std::vector<uint8_t> storage[3];
};

// Whether the cropped layout fits each plane's old rows x pitch.
bool CropFits(const ImageDesc &image, int32_t w, int32_t h) {
    ImageDesc layout;
    int32_t rows[3];
    LayoutImagePlanes(&layout, w, h, image.u32PixelArrayFormat, rows);
    const std::vector<int32_t> oldRows = PlaneRows(image);
    for (int p = 0; p < 3; ++p)
        if (int64_t{rows[p]} * layout.pi32Pitch[p] > int64_t{oldRows[p]} * image.pi32Pitch[p])
            return false;
    return true;
}

// Crops in place and checks the result against the byte model applied to a saved copy.
void CheckInPlaceCrop(ImageDesc &image, const PixelRect &rect) {
    OwnedImage saved = MakeImage(image.i32Width, image.i32Height, image.u32PixelArrayFormat);
    CallerImage expected(rect.x1 - rect.x0, rect.y1 - rect.y0, image.u32PixelArrayFormat, 0);
    ASSERT_EQ(CopyImage(saved.get(), &image), RESULT_OK);
    if (rect.x1 > rect.x0 && rect.y1 > rect.y0) {
        ASSERT_EQ(CopyImageRect(&expected.desc, nullptr, saved.get(), &rect), RESULT_OK);
    }
    const ImageDesc before = image;
    const bool fits = CropFits(image, rect.x1 - rect.x0, rect.y1 - rect.y0);
    const int result = CropImageInPlace(&image, &rect);
    if (!fits) {
        EXPECT_EQ(result, RESULT_INVALID_ARGUMENT);
        EXPECT_EQ(std::memcmp(&image, &before, sizeof image), 0);
        return;
    }
    ASSERT_EQ(result, RESULT_OK);
    EXPECT_TRUE(SameImageShape(&image, &expected.desc));
    for (int p = 0; p < 4; ++p) {
        EXPECT_EQ(image.pi32Pitch[p], expected.desc.pi32Pitch[p]);
        EXPECT_EQ(image.ppu8Plane[p], before.ppu8Plane[p]);  // the planes stay where they were
    }
    EXPECT_EQ(DefinedBytes(image), DefinedBytes(expected.desc));
}

// Created images (the pitch shrinks or stays) and tight caller images (the cropped layout's
// pitch is wider than the old one, so rows move forward).
TEST(ImageCrop, InPlaceCropMovesTheRectangleForAnyPitch) {
    std::mt19937 rng(31);
    for (uint32_t code : SupportedFormats()) {
        for (int trial = 0; trial < 40; ++trial) {
            const int32_t width = std::uniform_int_distribution<int32_t>(1, 12)(rng);
            const int32_t height = std::uniform_int_distribution<int32_t>(1, 9)(rng);
            const int32_t w = std::uniform_int_distribution<int32_t>(0, width)(rng);
            const int32_t h = std::uniform_int_distribution<int32_t>(0, height)(rng);
            const PixelRect rect = RandomRect(rng, width, height, w, h);
            SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << code << std::dec << " "
                                            << width << "x" << height << " rect [" << rect.x0
                                            << "," << rect.y0 << "," << rect.x1 << "," << rect.y1
                                            << ") tight " << (trial & 1));
            if (trial & 1) {
                TightImage tight(width, height, code);
                FillRandom(tight.desc, rng);
                CheckInPlaceCrop(tight.desc, rect);
            } else {
                OwnedImage created = MakeImage(width, height, code);
                FillRandom(*created, rng);
                CheckInPlaceCrop(*created, rect);
            }
        }
    }
}

TEST(ImageCrop, InPlaceCropWithAGrowingPitchKeepsEveryRow) {
    // Grey 6 x 4 at pitch 6; the top three rows at the layout pitch 8 take all 24 bytes, and
    // row 1's new place overlaps row 2's old one.
    std::vector<uint8_t> bytes(24);
    for (int i = 0; i < 24; ++i) bytes[i] = static_cast<uint8_t>(i);
    uint8_t *planes[1] = {bytes.data()};
    const int32_t pitch[1] = {6};
    ImageDesc image;
    SetImagePlanes(&image, 6, 4, PIXEL_FORMAT_GRAY8, planes, pitch);
    const PixelRect top{0, 0, 6, 3};
    ASSERT_EQ(CropImageInPlace(&image, &top), RESULT_OK);
    EXPECT_EQ(image.pi32Pitch[0], 8);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 6; ++c) EXPECT_EQ(bytes[r * 8 + c], r * 6 + c) << r << "," << c;
    // All four rows at pitch 8 would need 32 bytes: refused, descriptor unchanged.
    SetImagePlanes(&image, 6, 4, PIXEL_FORMAT_GRAY8, planes, pitch);
    const PixelRect whole{0, 0, 6, 4};
    EXPECT_EQ(CropImageInPlace(&image, &whole), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(image.pi32Pitch[0], 6);
}

TEST(ImageCrop, InPlaceCropRefusesBadArguments) {
    OwnedImage image = MakeImage(8, 8, PIXEL_FORMAT_I420);
    const PixelRect inside{0, 0, 4, 4};
    const PixelRect outside{2, 2, 9, 4};
    const PixelRect reversed{4, 0, 2, 4};
    EXPECT_EQ(CropImageInPlace(nullptr, &inside), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(CropImageInPlace(image.get(), nullptr), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(CropImageInPlace(image.get(), &outside), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(CropImageInPlace(image.get(), &reversed), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(image->i32Width, 8);
    ImageDesc unknown = *image;
    unknown.u32PixelArrayFormat = 0x609;
    EXPECT_EQ(CropImageInPlace(&unknown, &inside), RESULT_UNSUPPORTED_FORMAT);
}

}  // namespace
