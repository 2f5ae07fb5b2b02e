#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include <jpeglib.h>

#include "merge/photo_support.h"
#include "photo_io.h"
#include "yuv_planes.h"

using namespace photo_support;
using tonefold::DecodePhoto;
using tonefold::YuyvImage;

namespace {

struct Difference {
    double mean = 0;
    int max = 0;
};

// Compares a decoded picture with the scene: luma per pixel, chroma per pair against the
// scene's chroma at the pair's first pixel.
void CompareWithScene(const YuyvImage &image, Difference *luma, Difference *chroma) {
    double lumaSum = 0, chromaSum = 0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const int dy = std::abs(LumaAt(image, x, y) - SceneLuma(x, y));
            const int du = std::abs(UAt(image, x, y) - SceneU(x & ~1, y));
            const int dv = std::abs(VAt(image, x, y) - SceneV(x & ~1, y));
            lumaSum += dy;
            chromaSum += du + dv;
            luma->max = std::max(luma->max, dy);
            chroma->max = std::max({chroma->max, du, dv});
        }
    }
    const double pixels = static_cast<double>(image.width) * image.height;
    luma->mean = lumaSum / pixels;
    chroma->mean = chromaSum / (2 * pixels);
}

// The padding columns repeat the last column's luma and the last pair's chroma.
void ExpectPaddingRepeatsLastColumn(const YuyvImage &image) {
    ASSERT_EQ(image.paddedWidth, (image.width + 3) / 4 * 4);
    const int last = image.width - 1;
    for (int y = 0; y < image.height; ++y) {
        for (int x = image.width; x < image.paddedWidth; ++x) {
            ASSERT_EQ(LumaAt(image, x, y), LumaAt(image, last, y)) << x << "," << y;
            ASSERT_EQ(UAt(image, x, y), UAt(image, last, y)) << x << "," << y;
            ASSERT_EQ(VAt(image, x, y), VAt(image, last, y)) << x << "," << y;
        }
    }
}

struct RoundTripCase {
    const char *name;
    int subsampling;
    int width, height;
};

TEST(JpegDecode, EverySubsamplingAndOddSizesGiveTheSceneWithinJpegTolerance) {
    const RoundTripCase cases[] = {
        {"4:4:4", TJSAMP_444, 64, 48},      {"4:2:2 odd", TJSAMP_422, 101, 67},
        {"4:2:0 odd", TJSAMP_420, 101, 67}, {"4:2:0 tall", TJSAMP_420, 3, 97},
        {"4:4:0", TJSAMP_440, 50, 33},      {"4:1:1", TJSAMP_411, 37, 21},
        {"grey", TJSAMP_GRAY, 45, 31},      {"4:2:0 one pixel", TJSAMP_420, 1, 1},
    };
    for (const RoundTripCase &c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> jpeg =
            EncodePlanesAsJpeg(MakeScenePlanes(c.width, c.height, c.subsampling));
        ASSERT_FALSE(jpeg.empty());
        YuyvImage image;
        std::string reason;
        ASSERT_TRUE(DecodePhoto(jpeg.data(), jpeg.size(), &image, &reason)) << reason;
        ASSERT_EQ(image.width, c.width);
        ASSERT_EQ(image.height, c.height);
        ExpectPaddingRepeatsLastColumn(image);
        Difference luma, chroma;
        CompareWithScene(image, &luma, &chroma);
        EXPECT_LT(luma.mean, 2.0);
        EXPECT_LE(luma.max, 24);
        if (c.subsampling == TJSAMP_GRAY) {
            EXPECT_EQ(UAt(image, 0, 0), 128);
            EXPECT_EQ(VAt(image, c.width - 1, c.height - 1), 128);
        } else {
            EXPECT_LT(chroma.mean, 2.0);
            EXPECT_LE(chroma.max, 12);
        }
    }
}

// Where the upright photo's top-left and top-right corners lie in the stored picture, for
// each EXIF orientation, from the tag's definition (which stored side is row 0 and which is
// column 0). Corners: 0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left.
struct OrientationCase {
    int orientation;
    int topLeftStoredAt;
    int topRightStoredAt;
};

const OrientationCase kOrientations[] = {
    {1, 0, 1}, {2, 1, 0}, {3, 2, 3}, {4, 3, 2}, {5, 0, 3}, {6, 3, 0}, {7, 2, 1}, {8, 1, 2},
};

constexpr int kMarker = 16;

bool InCorner(int corner, int x, int y, int width, int height) {
    const int x0 = corner == 1 || corner == 2 ? width - kMarker : 0;
    const int y0 = corner >= 2 ? height - kMarker : 0;
    return x >= x0 && x < x0 + kMarker && y >= y0 && y < y0 + kMarker;
}

// Mean of one channel over the middle of a marker-sized block at a corner of the picture.
double CornerMean(const YuyvImage &image, int corner, uint8_t (*at)(const YuyvImage &, int, int)) {
    const int x0 = corner == 1 || corner == 2 ? image.width - kMarker : 0;
    const int y0 = corner >= 2 ? image.height - kMarker : 0;
    double sum = 0;
    for (int y = y0 + 4; y < y0 + kMarker - 4; ++y) {
        for (int x = x0 + 4; x < x0 + kMarker - 4; x += 2) sum += at(image, x, y);
    }
    return sum / ((kMarker - 8) * (kMarker - 8) / 2);
}

// A grey picture with a bright red-ish marker at one corner and a dark blue-ish one at another.
Planes MarkedPlanes(int width, int height, int subsampling, int brightAt, int darkAt) {
    auto value = [=](int x, int y, uint8_t bright, uint8_t dark) -> uint8_t {
        if (InCorner(brightAt, x, y, width, height)) return bright;
        if (InCorner(darkAt, x, y, width, height)) return dark;
        return 128;
    };
    return MakePlanes(
        width, height, subsampling, [&](int x, int y) { return value(x, y, 230, 30); },
        [&](int x, int y) { return value(x, y, 128, 220); },
        [&](int x, int y) { return value(x, y, 220, 128); });
}

TEST(JpegDecode, EachExifOrientationPutsTheMarkersWhereTheUprightPhotoHasThem) {
    const int uprightWidth = 64, uprightHeight = 48;
    for (const int subsampling : {TJSAMP_420, TJSAMP_422, TJSAMP_444, TJSAMP_GRAY}) {
        for (const OrientationCase &c : kOrientations) {
            for (const bool bigEndian : {false, true}) {
                SCOPED_TRACE("orientation " + std::to_string(c.orientation) + " subsampling " +
                             std::to_string(subsampling) + (bigEndian ? " MM" : " II"));
                const bool swap = c.orientation >= 5;
                const int width = swap ? uprightHeight : uprightWidth;
                const int height = swap ? uprightWidth : uprightHeight;
                const std::vector<uint8_t> jpeg = WithOrientation(
                    EncodePlanesAsJpeg(MarkedPlanes(width, height, subsampling, c.topLeftStoredAt,
                                                    c.topRightStoredAt)),
                    c.orientation, bigEndian);
                YuyvImage image;
                std::string reason;
                ASSERT_TRUE(DecodePhoto(jpeg.data(), jpeg.size(), &image, &reason)) << reason;
                ASSERT_EQ(image.width, uprightWidth);
                ASSERT_EQ(image.height, uprightHeight);
                EXPECT_NEAR(CornerMean(image, 0, LumaAt), 230, 6);
                EXPECT_NEAR(CornerMean(image, 1, LumaAt), 30, 6);
                EXPECT_NEAR(CornerMean(image, 2, LumaAt), 128, 6);
                EXPECT_NEAR(CornerMean(image, 3, LumaAt), 128, 6);
                if (subsampling == TJSAMP_GRAY) continue;
                EXPECT_NEAR(CornerMean(image, 0, VAt), 220, 8);
                EXPECT_NEAR(CornerMean(image, 0, UAt), 128, 8);
                EXPECT_NEAR(CornerMean(image, 1, UAt), 220, 8);
                EXPECT_NEAR(CornerMean(image, 1, VAt), 128, 8);
            }
        }
    }
}

TEST(JpegDecode, OrientationSixTurnsA400By300PhotoInto300By400) {
    const std::vector<uint8_t> jpeg =
        WithOrientation(EncodePlanesAsJpeg(MarkedPlanes(400, 300, TJSAMP_420, 3, 0)), 6);
    YuyvImage image;
    std::string reason;
    ASSERT_TRUE(DecodePhoto(jpeg.data(), jpeg.size(), &image, &reason)) << reason;
    EXPECT_EQ(image.width, 300);
    EXPECT_EQ(image.height, 400);
    EXPECT_EQ(image.paddedWidth, 300);
    EXPECT_NEAR(CornerMean(image, 0, LumaAt), 230, 6);
    EXPECT_NEAR(CornerMean(image, 1, LumaAt), 30, 6);
}

// The whole-picture way: the stored planes turned upright, then packed.
YuyvImage TurnedThenPacked(const std::vector<uint8_t> &jpeg) {
    tonefold::YuvPlanes planes;
    YuyvImage image;
    int orientation = 1;
    std::string reason;
    double packMs = 0;
    if (!tonefold::DecodeJpeg(jpeg.data(), jpeg.size(), &planes, &image, &orientation, &reason,
                              &packMs, false)) {
        return image;
    }
    tonefold::YuvPlanes upright;
    tonefold::OrientPlanes(planes, orientation, &upright);
    tonefold::PackYuyv(upright, &image);
    return image;
}

TEST(JpegDecode, StripsTurnedWhileDecodingGiveTheBytesOfTheWholePictureTurned) {
    struct Sampling {
        int subsampling;
        bool stripsFor[9];  // by orientation: packs without resampling once upright
    };
    const Sampling samplings[] = {
        {TJSAMP_420, {false, true, true, true, true, true, true, true, true}},
        {TJSAMP_422, {false, true, true, true, true, false, false, false, false}},
        {TJSAMP_440, {false, false, false, false, false, true, true, true, true}},
        {TJSAMP_444, {}},
        {TJSAMP_GRAY, {}},
    };
    // Odd and even sides, one strip or several, a last strip of one row.
    const int sizes[][2] = {{64, 48}, {67, 45}, {37, 129}, {98, 33}, {100, 146}, {131, 200}};
    for (const Sampling &sampling : samplings) {
        for (const auto &size : sizes) {
            // Every sample unlike its neighbours, so a sample in a wrong place shows.
            const std::vector<uint8_t> plain = EncodePlanesAsJpeg(
                MakePlanes(
                    size[0], size[1], sampling.subsampling,
                    [](int x, int y) { return static_cast<uint8_t>(x * 37 + y * 91 + x * y); },
                    [](int x, int y) { return static_cast<uint8_t>(x * 53 + y * 17 + 40); },
                    [](int x, int y) { return static_cast<uint8_t>(x * 11 + y * 71 + x * y); }),
                95);
            for (int orientation = 1; orientation <= 8; ++orientation) {
                SCOPED_TRACE("subsampling " + std::to_string(sampling.subsampling) + " size " +
                             std::to_string(size[0]) + "x" + std::to_string(size[1]) +
                             " orientation " + std::to_string(orientation));
                const std::vector<uint8_t> jpeg = WithOrientation(plain, orientation);
                tonefold::YuvPlanes planes;
                YuyvImage strips;
                int stored = 0;
                std::string reason;
                double packMs = 0;
                ASSERT_TRUE(tonefold::DecodeJpeg(jpeg.data(), jpeg.size(), &planes, &strips,
                                                 &stored, &reason, &packMs))
                    << reason;
                EXPECT_EQ(strips.pixels != nullptr, sampling.stripsFor[orientation]);
                YuyvImage decoded;
                ASSERT_TRUE(DecodePhoto(jpeg.data(), jpeg.size(), &decoded, &reason)) << reason;
                const YuyvImage reference = TurnedThenPacked(jpeg);
                ASSERT_NE(reference.pixels, nullptr);
                ASSERT_EQ(decoded.width, reference.width);
                ASSERT_EQ(decoded.height, reference.height);
                ASSERT_EQ(decoded.paddedWidth, reference.paddedWidth);
                const size_t bytes = static_cast<size_t>(reference.Pitch()) * reference.height;
                EXPECT_EQ(std::memcmp(decoded.pixels.get(), reference.pixels.get(), bytes), 0);
            }
        }
    }
}

TEST(JpegDecode, OfTwoExifBlocksTheFirstOnesOrientationCounts) {
    const std::vector<uint8_t> plain = EncodePlanesAsJpeg(MakeScenePlanes(64, 48, TJSAMP_420));
    struct Case {
        int first, second;  // orientations in file order
        int width, height;  // upright
    };
    for (const Case &c : {Case{6, 1, 48, 64}, Case{1, 6, 64, 48}, Case{8, 3, 48, 64}}) {
        SCOPED_TRACE(std::to_string(c.first) + " then " + std::to_string(c.second));
        // Each splice goes right after the start-of-image marker, ahead of the one before.
        const std::vector<uint8_t> jpeg =
            WithOrientation(WithOrientation(plain, c.second), c.first, true);
        YuyvImage image;
        std::string reason;
        ASSERT_TRUE(DecodePhoto(jpeg.data(), jpeg.size(), &image, &reason)) << reason;
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
    }
}

TEST(JpegEncode, KeepsSizeAndTheFourTwoTwoPlanesAndDropsThePadding) {
    const YuyvImage source = MakeSceneYuyv(77, 35);  // padded to 80
    std::vector<uint8_t> jpeg;
    std::string reason;
    ASSERT_TRUE(tonefold::EncodeJpeg(ViewOf(source), 95, &jpeg, &reason)) << reason;
    tjhandle handle = tjInitDecompress();
    int width = 0, height = 0, subsampling = -1, colorspace = -1;
    ASSERT_EQ(tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &width, &height, &subsampling,
                                  &colorspace),
              0);
    tjDestroy(handle);
    EXPECT_EQ(width, 77);
    EXPECT_EQ(height, 35);
    EXPECT_EQ(subsampling, TJSAMP_422);

    YuyvImage decoded;
    ASSERT_TRUE(DecodePhoto(jpeg.data(), jpeg.size(), &decoded, &reason)) << reason;
    Difference luma, chroma;
    CompareWithScene(decoded, &luma, &chroma);
    EXPECT_LT(luma.mean, 2.0);
    EXPECT_LE(luma.max, 24);
    EXPECT_LT(chroma.mean, 2.0);
    EXPECT_LE(chroma.max, 12);
}

TEST(PngCodec, RoundTripThroughRgbKeepsThePicture) {
    for (const int width : {75, 76, 1}) {
        SCOPED_TRACE(width);
        const YuyvImage source = MakeSceneYuyv(width, 41);
        std::vector<uint8_t> png;
        std::string reason;
        ASSERT_TRUE(tonefold::EncodePng(ViewOf(source), &png, &reason)) << reason;
        YuyvImage decoded;
        ASSERT_TRUE(DecodePhoto(png.data(), png.size(), &decoded, &reason)) << reason;
        ASSERT_EQ(decoded.width, width);
        ASSERT_EQ(decoded.height, 41);
        ExpectPaddingRepeatsLastColumn(decoded);
        Difference luma, chroma;
        CompareWithScene(decoded, &luma, &chroma);
        EXPECT_LE(luma.max, 2);
        EXPECT_LE(chroma.max, 3);
    }
}

TEST(PngDecode, EveryColourTypeGivesItsGreyLevelsAsLuma) {
    const int width = 23, height = 9;
    auto level = [](int x, int y) { return static_cast<uint8_t>((x * 11 + y * 29) % 256); };
    std::vector<uint8_t> colormap(256 * 3);
    for (int i = 0; i < 256; ++i) colormap[3 * i] = colormap[3 * i + 1] = colormap[3 * i + 2] = i;
    struct Case {
        const char *name;
        uint32_t format;
        int channels;
        bool indexed;
    };
    const Case cases[] = {
        {"grey", PNG_FORMAT_GRAY, 1, false},
        {"grey+alpha", PNG_FORMAT_GA, 2, false},
        {"rgb", PNG_FORMAT_RGB, 3, false},
        {"rgba", PNG_FORMAT_RGBA, 4, false},
        {"palette", PNG_FORMAT_RGB_COLORMAP, 1, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * c.channels);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                for (int k = 0; k < c.channels; ++k) {
                    // Alpha (the last of 2 or 4 channels) varies and must be ignored.
                    const bool alpha = (c.channels == 2 || c.channels == 4) && k == c.channels - 1;
                    pixels[(static_cast<size_t>(y) * width + x) * c.channels + k] =
                        alpha ? static_cast<uint8_t>(x * 10) : level(x, y);
                }
            }
        }
        const std::vector<uint8_t> png =
            EncodePng(pixels, width, height, c.format, c.indexed ? colormap.data() : nullptr,
                      c.indexed ? 256 : 0);
        ASSERT_FALSE(png.empty());
        YuyvImage image;
        std::string reason;
        ASSERT_TRUE(DecodePhoto(png.data(), png.size(), &image, &reason)) << reason;
        ASSERT_EQ(image.width, width);
        ASSERT_EQ(image.height, height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                ASSERT_NEAR(LumaAt(image, x, y), level(x, y), 1) << x << "," << y;
                ASSERT_NEAR(UAt(image, x, y), 128, 1) << x << "," << y;
                ASSERT_NEAR(VAt(image, x, y), 128, 1) << x << "," << y;
            }
        }
    }
}

TEST(PngDecode, ExifChunkOrientationTurnsThePhoto) {
    // Stored 40x30; orientation 6 keeps the upright top-left corner at the stored bottom-left.
    const int width = 40, height = 30;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height, 128);
    for (int y = height - kMarker; y < height; ++y) {
        for (int x = 0; x < kMarker; ++x) pixels[static_cast<size_t>(y) * width + x] = 230;
    }
    const std::vector<uint8_t> png = SpliceChunk(EncodePng(pixels, width, height, PNG_FORMAT_GRAY),
                                                 "eXIf", TiffWithOrientation(6, true));
    YuyvImage image;
    std::string reason;
    ASSERT_TRUE(DecodePhoto(png.data(), png.size(), &image, &reason)) << reason;
    EXPECT_EQ(image.width, 30);
    EXPECT_EQ(image.height, 40);
    EXPECT_EQ(CornerMean(image, 0, LumaAt), 230);
    EXPECT_EQ(CornerMean(image, 1, LumaAt), 128);
}

// Patches the size in the first start-of-frame segment.
std::vector<uint8_t> WithJpegSize(std::vector<uint8_t> jpeg, int width, int height) {
    for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = static_cast<uint8_t>(height >> 8);
            jpeg[i + 6] = static_cast<uint8_t>(height);
            jpeg[i + 7] = static_cast<uint8_t>(width >> 8);
            jpeg[i + 8] = static_cast<uint8_t>(width);
            break;
        }
    }
    return jpeg;
}

// Rewrites the header chunk's size, with a valid checksum when asked.
std::vector<uint8_t> WithPngSize(const std::vector<uint8_t> &png, uint32_t width, uint32_t height,
                                 bool fixChecksum) {
    std::vector<uint8_t> header(png.begin() + 16, png.begin() + 29);
    for (int k = 0; k < 4; ++k) {
        header[k] = static_cast<uint8_t>(width >> (24 - 8 * k));
        header[4 + k] = static_cast<uint8_t>(height >> (24 - 8 * k));
    }
    std::vector<uint8_t> out(png.begin(), png.begin() + 8);
    AppendChunk(out, "IHDR", header);
    if (!fixChecksum) out[29] ^= 0xFF;
    out.insert(out.end(), png.begin() + 33, png.end());
    return out;
}

std::vector<uint8_t> CmykJpeg() {
    std::vector<uint8_t> cmyk(32 * 32 * 4, 100);
    tjhandle handle = tjInitCompress();
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, cmyk.data(), 32, 0, 32, TJPF_CMYK, &jpeg, &size, TJSAMP_444, 90, 0);
    std::vector<uint8_t> bytes(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(handle);
    return bytes;
}

TEST(PhotoDecode, TruncatedDamagedAndUnsupportedFilesAreRefused) {
    const std::vector<uint8_t> jpeg = EncodePlanesAsJpeg(MakeScenePlanes(64, 48, TJSAMP_420));
    const YuyvImage scene = MakeSceneYuyv(64, 48);
    std::vector<uint8_t> png;
    std::string reason;
    ASSERT_TRUE(tonefold::EncodePng(ViewOf(scene), &png, &reason));
    const std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o', '\n'};
    struct Case {
        const char *name;
        std::vector<uint8_t> bytes;
        const char *reason;
    };
    const Case cases[] = {
        {"empty", {}, "not a JPEG or PNG"},
        {"text", text, "not a JPEG or PNG"},
        {"JPEG signature only", Prefix(jpeg, 3), "truncated"},
        {"JPEG header only", Prefix(jpeg, 200), "truncated"},
        {"JPEG cut in half", Prefix(jpeg, jpeg.size() / 2), "truncated"},
        {"JPEG without its end marker", Prefix(jpeg, jpeg.size() - 2), "truncated"},
        {"JPEG of 65000x65000", WithJpegSize(jpeg, 65000, 65000), "at most 100 megapixels"},
        {"JPEG of width 0", WithJpegSize(jpeg, 0, 48), "not a valid JPEG"},
        {"CMYK JPEG", CmykJpeg(), "CMYK"},
        {"PNG signature only", Prefix(png, 8), "not a valid PNG"},
        {"PNG header only", Prefix(png, 33), "truncated"},
        {"PNG cut in half", Prefix(png, png.size() / 2), "truncated"},
        {"PNG without its end chunk", Prefix(png, png.size() - 12), "cannot be decoded"},
        {"PNG of 60000x60000", WithPngSize(png, 60000, 60000, true), "at most 100 megapixels"},
        {"PNG of 1x100000", WithPngSize(png, 1, 100000, true), "at most 65535 pixels a side"},
        {"PNG with a damaged header", WithPngSize(png, 64, 48, false), "not a valid PNG"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        YuyvImage image;
        std::string why;
        EXPECT_FALSE(DecodePhoto(c.bytes.data(), c.bytes.size(), &image, &why));
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        EXPECT_EQ(image.pixels, nullptr);
    }
}

std::vector<uint8_t> Joined(std::vector<uint8_t> bytes, const std::vector<uint8_t> &tail) {
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

// Flips bits in the middle fifth of the entropy-coded data, leaving every 0xFF byte and the
// byte after it alone, so the markers stay where they were.
std::vector<uint8_t> WithScrambledData(std::vector<uint8_t> jpeg) {
    const size_t from = jpeg.size() * 2 / 5, to = jpeg.size() * 3 / 5;
    for (size_t i = from; i < to; i += 3) {
        if (jpeg[i] == 0xFF || jpeg[i - 1] == 0xFF || (jpeg[i] ^ 0x5A) == 0xFF) continue;
        jpeg[i] ^= 0x5A;
    }
    return jpeg;
}

TEST(PhotoDecode, JpegsWithMissingOrCorruptDataAreRefusedWithoutTheDecodersOwnOutput) {
    const std::vector<uint8_t> jpeg = EncodePlanesAsJpeg(MakeScenePlanes(256, 192, TJSAMP_420));
    const std::vector<uint8_t> end = {0xFF, 0xD9};
    struct Case {
        const char *name;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"cut at 10% and closed", Joined(Prefix(jpeg, jpeg.size() / 10), end)},
        {"cut at 50% and closed", Joined(Prefix(jpeg, jpeg.size() / 2), end)},
        {"cut at 99% and closed", Joined(Prefix(jpeg, jpeg.size() * 99 / 100), end)},
        {"scrambled entropy-coded data", WithScrambledData(jpeg)},
        // A few hundred bytes whose header announces a picture of 0.3 GB.
        {"10000x10000 announced",
         WithJpegSize(EncodePlanesAsJpeg(MakeScenePlanes(16, 16, TJSAMP_420)), 10000, 10000)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        YuyvImage image;
        std::string why;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(DecodePhoto(c.bytes.data(), c.bytes.size(), &image, &why));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_TRUE(why.find("is truncated") == 0 || why.find("is damaged (") == 0) << why;
        EXPECT_EQ(image.pixels, nullptr);
    }
}

// A JPEG written by libjpeg with the given sampling factors (horizontal, vertical) per
// component, of a smooth colour picture.
std::vector<uint8_t> JpegWithSampling(int width, int height, const int factors[3][2]) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    for (int c = 0; c < 3; ++c) {
        info.comp_info[c].h_samp_factor = factors[c][0];
        info.comp_info[c].v_samp_factor = factors[c][1];
    }
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<uint8_t>(60 + x * 120 / width);
            row[3 * x + 1] = static_cast<uint8_t>(70 + y * 100 / height);
            row[3 * x + 2] = static_cast<uint8_t>(150 - x * 60 / width);
        }
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

TEST(JpegDecode, UnusualSamplingFactorsDecodeToThePicture) {
    const int kPlain[3][2] = {{1, 1}, {1, 1}, {1, 1}};
    const std::vector<uint8_t> plain = JpegWithSampling(120, 90, kPlain);
    YuyvImage reference;
    std::string reason;
    ASSERT_TRUE(DecodePhoto(plain.data(), plain.size(), &reference, &reason)) << reason;
    struct Case {
        const char *name;
        int factors[3][2];
    };
    const Case cases[] = {
        {"chroma 2x2, luma 1x1", {{1, 1}, {2, 2}, {2, 2}}},
        {"luma 3x1", {{3, 1}, {1, 1}, {1, 1}}},
        {"chroma planes unlike", {{2, 2}, {1, 1}, {2, 1}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> jpeg = JpegWithSampling(120, 90, c.factors);
        YuyvImage image;
        ASSERT_TRUE(DecodePhoto(jpeg.data(), jpeg.size(), &image, &reason)) << reason;
        ASSERT_EQ(image.width, 120);
        ASSERT_EQ(image.height, 90);
        int worst = 0;
        for (int y = 0; y < 90; ++y) {
            for (int x = 0; x < 120; ++x) {
                worst = std::max({worst, std::abs(LumaAt(image, x, y) - LumaAt(reference, x, y)),
                                  std::abs(UAt(image, x, y) - UAt(reference, x, y)),
                                  std::abs(VAt(image, x, y) - VAt(reference, x, y))});
            }
        }
        EXPECT_LE(worst, 8);
    }
}

// A progressive JPEG written by libjpeg, of a smooth picture with some texture: colour by the
// library's standard scan script, or grey by the given script when there is one.
std::vector<uint8_t> ProgressiveJpeg(int width, int height, bool grey,
                                     const std::vector<jpeg_scan_info> &script = {}) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = grey ? 1 : 3;
    info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_simple_progression(&info);
    if (!script.empty()) {
        info.scan_info = script.data();
        info.num_scans = static_cast<int>(script.size());
    }
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(width) * info.input_components);
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < width; ++x) {
            const int texture = (x * 7 + y * 13) % 23;
            uint8_t *pixel = &row[static_cast<size_t>(x) * info.input_components];
            pixel[0] = static_cast<uint8_t>(60 + x * 120 / width + texture);
            if (grey) continue;
            pixel[1] = static_cast<uint8_t>(70 + y * 100 / height + texture);
            pixel[2] = static_cast<uint8_t>(150 - x * 60 / width);
        }
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

// Where each scan's entropy-coded data ends: the offset of the marker after it.
std::vector<size_t> ScanEnds(const std::vector<uint8_t> &jpeg) {
    std::vector<size_t> ends;
    bool inScan = false;
    for (size_t i = 2; i + 1 < jpeg.size();) {
        const uint8_t next = jpeg[i + 1];
        const bool marker = jpeg[i] == 0xFF && next != 0x00 && !(next >= 0xD0 && next <= 0xD7);
        if (!marker) {
            if (!inScan) return ends;  // not a segment: the walk went wrong
            ++i;
            continue;
        }
        if (inScan) ends.push_back(i);
        inScan = jpeg[i + 1] == 0xDA;
        if (jpeg[i + 1] == 0xD9 || i + 3 >= jpeg.size()) break;
        i += 2 + static_cast<size_t>(jpeg[i + 2] << 8 | jpeg[i + 3]);
    }
    return ends;
}

TEST(JpegDecode, AProgressiveFileCutAtAScanBoundaryAndClosedIsRefusedAsTruncated) {
    for (const bool grey : {false, true}) {
        SCOPED_TRACE(grey ? "grey" : "colour");
        const std::vector<uint8_t> jpeg = ProgressiveJpeg(120, 96, grey);
        YuyvImage whole;
        std::string reason;
        ASSERT_TRUE(DecodePhoto(jpeg.data(), jpeg.size(), &whole, &reason)) << reason;
        const std::vector<size_t> ends = ScanEnds(jpeg);
        ASSERT_GT(ends.size(), 4u);
        // Every scan but the last one: some coefficient still lacks its last bits.
        for (size_t scans = 1; scans < ends.size(); ++scans) {
            SCOPED_TRACE(scans);
            const std::vector<uint8_t> cut = Joined(Prefix(jpeg, ends[scans - 1]), {0xFF, 0xD9});
            YuyvImage image;
            EXPECT_FALSE(DecodePhoto(cut.data(), cut.size(), &image, &reason));
            EXPECT_EQ(reason, "is truncated (its image data ends early)");
            EXPECT_EQ(image.pixels, nullptr);
        }
    }
}

// A grey progressive script of exactly count scans (2..694): the DC in one scan, then each AC
// coefficient on its own, sent at a low bit and refined to bit 0 one bit a scan.
std::vector<jpeg_scan_info> ScriptOfScans(int count) {
    std::vector<jpeg_scan_info> script;
    script.push_back({1, {0}, 0, 0, 0, 0});
    const int acScans = count - 1;
    for (int k = 1; k < 64; ++k) {
        const int scans = acScans / 63 + (k <= acScans % 63 ? 1 : 0);
        const int low = scans - 1;
        script.push_back({1, {0}, k, k, 0, low});
        for (int bit = low; bit > 0; --bit) script.push_back({1, {0}, k, k, bit, bit - 1});
    }
    return script;
}

TEST(JpegDecode, ScansAreCountedBeforeAnyIsDecoded) {
    const std::vector<uint8_t> limit = ProgressiveJpeg(64, 48, true, ScriptOfScans(500));
    const std::vector<uint8_t> over = ProgressiveJpeg(64, 48, true, ScriptOfScans(501));
    ASSERT_EQ(ScanEnds(limit).size(), 500u);
    ASSERT_EQ(ScanEnds(over).size(), 501u);
    YuyvImage image;
    std::string reason;
    EXPECT_TRUE(DecodePhoto(limit.data(), limit.size(), &image, &reason)) << reason;
    // A 64x48 picture's scans announced as 10000x10000: decoding the first scan would find
    // its data cut short, so only a count made before decoding gives this reason.
    for (const std::vector<uint8_t> &bytes : {over, WithJpegSize(over, 10000, 10000)}) {
        EXPECT_FALSE(DecodePhoto(bytes.data(), bytes.size(), &image, &reason));
        EXPECT_EQ(reason, "cannot be decoded (it has more than 500 progressive scans)");
        EXPECT_FALSE(tonefold::CheckPhotoHeader(bytes.data(), bytes.size(), &reason));
        EXPECT_EQ(reason, "cannot be decoded (it has more than 500 progressive scans)");
    }
}

// Reads a file in a child process: whether it was decoded, the reason if not, and the child's
// peak resident memory in megabytes.
struct ChildRead {
    bool decoded = false;
    std::string reason;
    double peakMegabytes = 0;
};

ChildRead ReadInChild(const std::string &path) {
    ChildRead result;
    int channel[2];
    if (pipe(channel) != 0) return result;
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        YuyvImage image;
        std::string reason;
        const bool decoded = tonefold::ReadPhotoFile(path, &image, &reason);
        const ssize_t ignored = write(channel[1], reason.data(), reason.size());
        (void)ignored;
        _exit(decoded ? 0 : 1);
    }
    close(channel[1]);
    char buffer[256];
    for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;) {
        result.reason.append(buffer, static_cast<size_t>(got));
    }
    close(channel[0]);
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    result.decoded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    result.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return result;
}

TEST(PhotoFile, AHugeSparseFileCostsOnlyWhatItsPictureNeeds) {
    ScratchDir dir;
    const off_t kSize = off_t{3} << 30;
    const std::vector<uint8_t> photo = EncodePlanesAsJpeg(MakeScenePlanes(64, 48, TJSAMP_420));
    struct Case {
        const char *name;
        std::vector<uint8_t> head;  // the rest up to 3 GB is a hole
        bool decodes;
        const char *reason;
    };
    const Case cases[] = {
        {"nothing but a hole", {}, false, "is not a JPEG or PNG file"},
        {"a JPEG signature, then a hole", {0xFF, 0xD8, 0xFF, 0xE0}, false, "truncated"},
        {"a whole photo, then a hole", photo, true, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("huge.jpg");
        WriteFile(path, c.head);
        ASSERT_EQ(truncate(path.c_str(), kSize), 0);
        const ChildRead read = ReadInChild(path);
        EXPECT_EQ(read.decoded, c.decodes) << read.reason;
        EXPECT_NE(read.reason.find(c.reason), std::string::npos) << read.reason;
        EXPECT_LT(read.peakMegabytes, 512.0);
    }
}

TEST(PhotoFile, SpecialFilesAreRefusedWithoutWaitingForThem) {
    ScratchDir dir;
    const std::string fifo = dir.File("pipe.jpg");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = dir.File("folder.jpg");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    for (const std::string &path : {fifo, folder, std::string("/dev/zero")}) {
        SCOPED_TRACE(path);
        // In a child, so a read that waits fails the test instead of hanging it.
        const pid_t child = fork();
        if (child == 0) {
            alarm(20);
            YuyvImage image;
            std::string reason;
            const bool refused = !tonefold::ReadPhotoFile(path, &image, &reason) &&
                                 reason == "is not a regular file";
            _exit(refused ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
}

TEST(PhotoDecode, RandomDamageIsDecodedOrRefusedCleanly) {
    const std::vector<uint8_t> jpeg =
        WithOrientation(EncodePlanesAsJpeg(MakeScenePlanes(64, 48, TJSAMP_422)), 5);
    const YuyvImage scene = MakeSceneYuyv(48, 64);
    std::vector<uint8_t> png;
    std::string reason;
    ASSERT_TRUE(tonefold::EncodePng(ViewOf(scene), &png, &reason));
    std::mt19937 random(11);
    for (const std::vector<uint8_t> *original :
         {&jpeg, static_cast<const std::vector<uint8_t> *>(&png)}) {
        for (int trial = 0; trial < 150; ++trial) {
            std::vector<uint8_t> damaged = *original;
            for (int k = 0; k < 4; ++k) {
                damaged[3 + random() % (damaged.size() - 3)] = static_cast<uint8_t>(random());
            }
            YuyvImage image;
            std::string why;
            if (DecodePhoto(damaged.data(), damaged.size(), &image, &why)) {
                // A damaged size field may change the size; the picture is whole anyway.
                ASSERT_GT(image.width, 0);
                ASSERT_GT(image.height, 0);
                uint64_t sum = 0;
                const size_t bytes = static_cast<size_t>(image.Pitch()) * image.height;
                for (size_t i = 0; i < bytes; ++i) sum += image.pixels[i];
                EXPECT_GT(sum, 0u);
            } else {
                EXPECT_FALSE(why.empty());
            }
        }
    }
}

TEST(PhotoFormat, ChosenByTheExtensionIgnoringCase) {
    using tonefold::PhotoFormat;
    using tonefold::PhotoFormatOfPath;
    EXPECT_EQ(PhotoFormatOfPath("out.jpg"), PhotoFormat::kJpeg);
    EXPECT_EQ(PhotoFormatOfPath("dir/out.JPEG"), PhotoFormat::kJpeg);
    EXPECT_EQ(PhotoFormatOfPath("out.Png"), PhotoFormat::kPng);
    EXPECT_EQ(PhotoFormatOfPath("out.tif"), PhotoFormat::kUnknown);
    EXPECT_EQ(PhotoFormatOfPath("out"), PhotoFormat::kUnknown);
    EXPECT_EQ(PhotoFormatOfPath("my.png/out"), PhotoFormat::kUnknown);
}

}  // namespace
