// The engine bridge: image records, the merge through the real engine on copies of the inputs, the effect
// re-run, read-back conversions and every failure on the way.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstring>
#include <vector>

#include "CBImageSource.h"
#include "CBYUVRGB.h"
#include "IHDREngineController.h"
#include "bracket_photos.h"

namespace {

// ---- Seams: an allocator that fails a chosen call, and engine calls that can be made to fail.

int gAllocations = 0;
int gFailAllocation = -1;  // the 1-based call that fails, -1 none

void *CountingAllocate(size_t size) {
    return ++gAllocations == gFailAllocation ? nullptr : std::malloc(size);
}

void *PatternAllocate(size_t size) {
    void *block = std::malloc(size);
    if (block) std::memset(block, 0xA5, size);
    return block;
}

int gCreateResult = RESULT_OK;
bool gCreateGivesNoSession = false;
int gRunResult = RESULT_OK;  // returned after the real run has written its outputs
int gRuns = 0;
int gDestroys = 0;
MergeParams gLastParams{};
int32_t gLastGhost = -1;

int CreateSession(MemoryContext memory, int32_t option, HdrSession **session) {
    if (gCreateResult != RESULT_OK) return gCreateResult;
    const int result = CreateHdrSession(memory, option, session);
    if (gCreateGivesNoSession) {
        DestroyHdrSession(memory, *session);
        *session = nullptr;
    }
    return result;
}

int SetGhost(int64_t ignored, HdrSession *session, int32_t level) {
    gLastGhost = level;
    return SetGhostSuppressionLevel(ignored, session, level);
}

int Run(MemoryContext memory, HdrSession *session, __tag_QELV_OFFSCREEN *inputs, int32_t count,
        __tag_QELV_OFFSCREEN *outputs, int32_t index, const MergeParams *params, int64_t ignored,
        ProgressCallback progress, void *user) {
    ++gRuns;
    gLastParams = *params;
    const int result = RunHdrMerge(memory, session, inputs, count, outputs, index, params,
                                   ignored, progress, user);
    return result != RESULT_OK ? result : gRunResult;
}

int Destroy(MemoryContext memory, HdrSession *session) {
    ++gDestroys;
    return DestroyHdrSession(memory, session);
}

constexpr HdrEngineApi kWatchedEngine{CreateSession, SetGhost, Run, Destroy};

struct Picture {
    int calls = 0;
    std::vector<uint8_t> bytes;
    int64_t width = -1, height = -1, reserved = -1;
    bool null = false;
    IHDREngineController::PictureHandler handler() {
        return [this](FreeBuffer buffer, int64_t w, int64_t h, int64_t r) {
            ++calls;
            width = w;
            height = h;
            reserved = r;
            null = !buffer;
            if (buffer) bytes.assign(buffer.get(), buffer.get() + CBYUVRGB::bgrLineBytes(w) * h);
        };
    }
};

std::vector<std::vector<uint8_t>> RecordBytes(const HdrInputRecords &records) {
    std::vector<std::vector<uint8_t>> bytes;
    for (const __tag_QELV_OFFSCREEN &r : records) {
        const uint8_t *p = r.ppu8Plane[0];
        bytes.emplace_back(p, p ? p + size_t(2) * r.i32Width * r.i32Height : p);
    }
    return bytes;
}

class EngineBridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        gAllocations = 0;
        gFailAllocation = -1;
        gCreateResult = RESULT_OK;
        gCreateGivesNoSession = false;
        gRunResult = RESULT_OK;
        gRuns = gDestroys = 0;
    }

    // A bracket of the scene, loaded; kept by the fixture.
    QList<const CBImageSource *> Photos(int width, int height) {
        const QStringList paths = fixtures::WriteBracket(
            dir.filePath(QString::number(photos.size())), width, height);
        auto opened = fixtures::OpenPhotos(paths);
        EXPECT_EQ(opened.size(), 3u);
        QList<const CBImageSource *> list;
        for (auto &photo : opened) {
            list << photo.get();
            photos.push_back(std::move(photo));
        }
        return list;
    }

    QTemporaryDir dir;
    std::vector<std::unique_ptr<CBImageSource>> photos;
};

constexpr int kW = 320, kH = 240;

// ---- Records

TEST(CBYUVRGB, AllocatesOneBlockPerRecordWithThePlanesInsideIt) {
    struct Case {
        uint32_t format;
        int w, h;
        int32_t pitch0, pitch1, pitch2;
        int64_t plane1, plane2;  // offsets from plane 0, -1 for none
    };
    const Case cases[] = {
        {PIXEL_FORMAT_YUYV, 8, 4, 16, 0, 0, -1, -1},
        {PIXEL_FORMAT_I420, 8, 4, 8, 4, 4, 32, 40},
        {PIXEL_FORMAT_NV21, 8, 4, 8, 8, 0, 32, -1},
    };
    for (const Case &c : cases) {
        __tag_QELV_OFFSCREEN record{};
        record.u32PixelArrayFormat = c.format;
        record.i32Width = c.w;
        record.i32Height = c.h;
        ASSERT_TRUE(CBYUVRGB::allocOffscreen(&record)) << c.format;
        uint8_t *block = record.ppu8Plane[0];
        EXPECT_EQ(record.pi32Pitch[0], c.pitch0);
        EXPECT_EQ(record.pi32Pitch[1], c.pitch1);
        EXPECT_EQ(record.pi32Pitch[2], c.pitch2);
        EXPECT_EQ(record.ppu8Plane[1], c.plane1 < 0 ? nullptr : block + c.plane1);
        EXPECT_EQ(record.ppu8Plane[2], c.plane2 < 0 ? nullptr : block + c.plane2);
        CBYUVRGB::releaseOffscreen(&record);
    }
}

TEST(CBYUVRGB, RefusesRecordsThatCannotHaveABlock) {
    struct Case {
        uint32_t format;
        int w, h;
        int failAt;
    };
    const Case cases[] = {
        {PIXEL_FORMAT_GRAY8, 8, 4, -1},     // no block for this format
        {PIXEL_FORMAT_YUYV, 7, 4, -1},      // half a pixel pair
        {PIXEL_FORMAT_I420, 8, 3, -1},      // half a chroma row
        {PIXEL_FORMAT_YUYV, 0, 4, -1},
        {PIXEL_FORMAT_YUYV, 32768, 32768, -1},  // 2^31 bytes: beyond 32-bit sizes
        {PIXEL_FORMAT_YUYV, 8, 4, 1},       // the allocation fails
    };
    for (const Case &c : cases) {
        gAllocations = 0;
        gFailAllocation = c.failAt;
        __tag_QELV_OFFSCREEN record{};
        record.u32PixelArrayFormat = c.format;
        record.i32Width = c.w;
        record.i32Height = c.h;
        record.ppu8Plane[0] = reinterpret_cast<uint8_t *>(&record);  // must be cleared
        EXPECT_FALSE(CBYUVRGB::allocOffscreen(&record, CountingAllocate)) << c.w << "x" << c.h;
        EXPECT_EQ(record.ppu8Plane[0], nullptr);
        CBYUVRGB::releaseOffscreen(&record);  // harmless on a record without a block
    }
    CBYUVRGB::releaseOffscreen(nullptr);
}

TEST(CBYUVRGB, CopiesPackedAndSemiPlanarRecordsOnly) {
    for (uint32_t format : {uint32_t(PIXEL_FORMAT_YUYV), uint32_t(PIXEL_FORMAT_NV21),
                            uint32_t(PIXEL_FORMAT_I420)}) {
        __tag_QELV_OFFSCREEN a{format, 6, 4, {}, {}}, b{format, 6, 4, {}, {}};
        ASSERT_TRUE(CBYUVRGB::allocOffscreen(&a) && CBYUVRGB::allocOffscreen(&b));
        const size_t bytes = format == PIXEL_FORMAT_YUYV ? 48 : 36;
        for (size_t i = 0; i < bytes; ++i) a.ppu8Plane[0][i] = static_cast<uint8_t>(i * 7);
        std::memset(b.ppu8Plane[0], 0, bytes);
        b.ppu8Plane[1] = nullptr;
        const bool copied = CBYUVRGB::copyOffscreen(&a, &b);
        EXPECT_EQ(copied, format != PIXEL_FORMAT_I420) << format;
        EXPECT_EQ(std::memcmp(a.ppu8Plane[0], b.ppu8Plane[0], bytes) == 0, copied);
        if (format == PIXEL_FORMAT_NV21) {
            EXPECT_EQ(b.ppu8Plane[1], b.ppu8Plane[0] + 24);
        }
        CBYUVRGB::releaseOffscreen(&a);
        CBYUVRGB::releaseOffscreen(&b);
    }
}

// ---- Conversions

// Records of width x height with every luma sample given (row by row) and neutral chroma.
__tag_QELV_OFFSCREEN GreyRecord(uint32_t format, int width, int height, const uint8_t *luma) {
    __tag_QELV_OFFSCREEN record{format, width, height, {}, {}};
    if (!CBYUVRGB::allocOffscreen(&record)) return record;
    const int pixels = width * height;
    if (format == PIXEL_FORMAT_YUYV) {
        for (int i = 0; i < pixels; ++i) {
            record.ppu8Plane[0][2 * i] = luma[i];
            record.ppu8Plane[0][2 * i + 1] = 128;
        }
    } else {
        std::memcpy(record.ppu8Plane[0], luma, size_t(pixels));
        std::memset(record.ppu8Plane[0] + pixels, 128, size_t(pixels) / 2);
    }
    return record;
}

TEST(CBYUVRGB, ReadsRecordsBackFullRange) {
    // The engine's samples are full range: luma 0 is black, 255 white, and 235 a light grey
    // (a limited-range read would make 235 white and 16 black).
    const uint8_t luma[] = {0, 0, 255, 255, 235, 235, 16, 16};
    for (const uint32_t format : {PIXEL_FORMAT_YUYV, PIXEL_FORMAT_I420, PIXEL_FORMAT_NV21}) {
        SCOPED_TRACE(format);
        __tag_QELV_OFFSCREEN record = GreyRecord(format, 4, 2, luma);
        ASSERT_TRUE(record.ppu8Plane[0]);
        const FreeBuffer bgra = CBYUVRGB::bgraData(&record);
        ASSERT_TRUE(bgra);
        for (int p = 0; p < 8; ++p)
            for (int c = 0; c < 3; ++c) EXPECT_EQ(bgra.get()[4 * p + c], luma[p]) << p;
        gAllocations = 0;
        gFailAllocation = 1;
        EXPECT_FALSE(CBYUVRGB::bgraData(&record, CountingAllocate));
        CBYUVRGB::releaseOffscreen(&record);
    }
}

TEST(CBYUVRGB, APhotoGoesIntoRecordsAndBackFullRange) {
    // Pairs of black, white, light grey (235), mid grey and an orange, through the photo's
    // conversion into each record format the photo fills and back.
    const QRgb colours[] = {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(235, 235, 235),
                            qRgb(128, 128, 128), qRgb(240, 140, 20)};
    constexpr int kPairs = 5, w = 2 * kPairs, h = 2;
    QImage stored(w, h, QImage::Format_RGB32);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) stored.setPixel(x, y, colours[x / 2]);
    QTemporaryDir dir;
    const QString path = dir.filePath("pairs.png");
    ASSERT_TRUE(stored.save(path));
    CBImageSource photo;
    ASSERT_TRUE(photo.initWithPhoto(path) && photo.open());

    std::vector<uint8_t> i420Back;
    for (const uint32_t format : {PIXEL_FORMAT_YUYV, PIXEL_FORMAT_I420}) {
        SCOPED_TRACE(format);
        __tag_QELV_OFFSCREEN record{format, w + 2, h, {}, {}};
        ASSERT_TRUE(CBYUVRGB::allocOffscreen(&record));
        ASSERT_TRUE(photo.image(1, &record));
        const int lumaStep = format == PIXEL_FORMAT_YUYV ? 2 : 1;
        EXPECT_EQ(record.ppu8Plane[0][0], 0) << "black is luma 0";
        EXPECT_EQ(record.ppu8Plane[0][2 * lumaStep], 255) << "white is luma 255";
        const FreeBuffer bgra = CBYUVRGB::bgraData(&record);
        ASSERT_TRUE(bgra);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t *px = bgra.get() + 4 * ((w + 2) * y + x);
                const QRgb c = colours[x / 2];
                EXPECT_NEAR(px[0], qBlue(c), x / 2 == 4 ? 3 : 0) << x;
                EXPECT_NEAR(px[1], qGreen(c), x / 2 == 4 ? 3 : 0) << x;
                EXPECT_NEAR(px[2], qRed(c), x / 2 == 4 ? 3 : 0) << x;
            }
        if (format == PIXEL_FORMAT_I420) {
            i420Back.assign(bgra.get(), bgra.get() + 4 * (w + 2) * h);
            // The same samples as semi-planar V,U read back alike.
            __tag_QELV_OFFSCREEN nv21{PIXEL_FORMAT_NV21, w + 2, h, {}, {}};
            ASSERT_TRUE(CBYUVRGB::allocOffscreen(&nv21));
            std::memcpy(nv21.ppu8Plane[0], record.ppu8Plane[0], size_t(w + 2) * h);
            for (int i = 0; i < (w + 2) / 2; ++i) {
                nv21.ppu8Plane[1][2 * i] = record.ppu8Plane[2][i];
                nv21.ppu8Plane[1][2 * i + 1] = record.ppu8Plane[1][i];
            }
            const FreeBuffer nv21Back = CBYUVRGB::bgraData(&nv21);
            ASSERT_TRUE(nv21Back);
            EXPECT_EQ(std::vector<uint8_t>(nv21Back.get(), nv21Back.get() + i420Back.size()),
                      i420Back);
            CBYUVRGB::releaseOffscreen(&nv21);
        }
        CBYUVRGB::releaseOffscreen(&record);
    }
}

TEST(CBYUVRGB, ReadsARecordBackAsBgrRowsWithTheBgraBytes) {
    // Tall records are read back in bands of rows; odd band seams fall inside 4:2:0 row pairs
    // unless the bands keep them together.
    for (const uint32_t format : {PIXEL_FORMAT_YUYV, PIXEL_FORMAT_I420, PIXEL_FORMAT_NV21}) {
        for (const QSize size : {QSize(6, 4), QSize(38, 2050)}) {
            SCOPED_TRACE(testing::Message() << format << " " << size.height());
            __tag_QELV_OFFSCREEN record{format, size.width(), size.height(), {}, {}};
            ASSERT_TRUE(CBYUVRGB::allocOffscreen(&record));
            const size_t pixels = size_t(size.width()) * size.height();
            const size_t bytes = format == PIXEL_FORMAT_YUYV ? 2 * pixels : pixels * 3 / 2;
            uint32_t seed = format;
            for (size_t i = 0; i < bytes; ++i) {
                seed = seed * 1103515245 + 12345;
                record.ppu8Plane[0][i] = static_cast<uint8_t>(seed >> 24);
            }
            const FreeBuffer bgra = CBYUVRGB::bgraData(&record);
            const FreeBuffer bgr = CBYUVRGB::bgrData(&record, PatternAllocate);
            ASSERT_TRUE(bgra);
            ASSERT_TRUE(bgr);
            const int64_t w = size.width(), line = CBYUVRGB::bgrLineBytes(w);
            for (int64_t y = 0; y < size.height(); ++y)
                for (int64_t x = 0; x < w; ++x)
                    for (int c = 0; c < 3; ++c)
                        ASSERT_EQ(bgr.get()[y * line + 3 * x + c],
                                  bgra.get()[(y * w + x) * 4 + c])
                            << x << "," << y;
            CBYUVRGB::releaseOffscreen(&record);
        }
    }
    __tag_QELV_OFFSCREEN record{PIXEL_FORMAT_YUYV, 4, 2, {}, {}};
    EXPECT_FALSE(CBYUVRGB::bgrData(&record));  // no block
    ASSERT_TRUE(CBYUVRGB::allocOffscreen(&record));
    gAllocations = 0;
    gFailAllocation = 1;
    EXPECT_FALSE(CBYUVRGB::bgrData(&record, CountingAllocate));
    CBYUVRGB::releaseOffscreen(&record);
}

TEST(EngineBridgeEffect, ATallPictureGetsTheWholePicturesEffect) {
    // Tall enough for the effect to run in bands of rows side by side.
    const int32_t w = 37, h = 1100, line = static_cast<int32_t>(CBYUVRGB::bgrLineBytes(w));
    std::vector<uint8_t> source(size_t(line) * h);
    uint32_t seed = 11;
    for (uint8_t &byte : source)
        byte = static_cast<uint8_t>((seed = seed * 1664525 + 1013904223) >> 24);
    IHDREngineController bridge;
    bridge.lomoEngine().startLomo(source.data(), w, h, line);
    std::vector<uint8_t> shown;
    ASSERT_TRUE(bridge.run(LomoStyleColorLook, {255, 200, 255}, 60, 50, 50,
                           [&](FreeBuffer bgr, int64_t, int64_t height, int64_t) {
                               ASSERT_TRUE(bgr);
                               shown.assign(bgr.get(), bgr.get() + size_t(line) * height);
                           }));
    IILomoEngine whole;
    whole.startLomo(source.data(), w, h, line);
    whole.lomoStyle = LomoStyleColorLook;
    whole.lomoLensColor = {255, 200, 255};
    whole.lomoLensOpacity = 60;
    whole.isKeepLomoLensLumonisity = true;
    whole.lomoContrast = 50;
    whole.lomoSaturation = 50;
    std::vector<uint8_t> expected = source;
    whole.runLomo(expected.data(), w, h, line);
    // Only the pixels count: the row tails of a new buffer are whatever it held.
    for (int32_t y = 0; y < h; ++y)
        ASSERT_EQ(std::memcmp(&shown[size_t(y) * line], &expected[size_t(y) * line], 3 * w), 0)
            << y;
}

TEST(CBYUVRGB, BgrRowsAreThreeBytesAPixelRoundedUpToFour) {
    const int64_t expected[][2] = {{1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}, {1921, 5764}};
    for (const auto &[width, bytes] : expected) EXPECT_EQ(CBYUVRGB::bgrLineBytes(width), bytes);
}

TEST(CBYUVRGB, Bgra2BgrDropsTheFourthByteAndLeavesRowTailsAlone) {
    const int w = 5, h = 3, srcLine = 4 * w + 8;  // source rows may carry their own padding
    std::vector<uint8_t> bgrx(size_t(srcLine) * h);
    for (size_t i = 0; i < bgrx.size(); ++i) bgrx[i] = static_cast<uint8_t>(i);
    const FreeBuffer bgr =
        IHDREngineController::bgra2bgr(bgrx.data(), w, h, srcLine, PatternAllocate);
    ASSERT_TRUE(bgr);
    const int line = 16;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(bgr.get()[y * line + 3 * x + c], bgrx[y * srcLine + 4 * x + c]);
        EXPECT_EQ(bgr.get()[y * line + 15], 0xA5) << "row tail " << y;
    }
    EXPECT_FALSE(IHDREngineController::bgra2bgr(bgrx.data(), w, h, 4 * w - 1));
    EXPECT_FALSE(IHDREngineController::bgra2bgr(nullptr, w, h, srcLine));
}

TEST(CBYUVRGB, Bgr2ImageSwapsToRgbAndCountsTheHistogram) {
    // Odd widths give rows with tails; a tall picture is built in several bands of rows.
    for (const QSize size : {QSize(7, 5), QSize(5, 1500)}) {
        const int w = size.width(), h = size.height();
        const int64_t line = CBYUVRGB::bgrLineBytes(w);
        std::vector<uint8_t> bgr(size_t(line) * h, 0xEE);
        uint32_t seed = 3;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < 3 * w; ++x)
                bgr[y * line + x] = (seed = seed * 1103515245 + 12345) >> 24;
        for (int y = 0; y < h; y += 2) bgr[y * line] = 9;  // a bin that holds the most counts
        IIHistogramData histogram;
        const QImage picture = CBYUVRGB::bgr2image(bgr.data(), w, h, line, &histogram);
        ASSERT_EQ(picture.size(), size);
        IIHistogramData direct;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t *p = &bgr[y * line + 3 * x];
                ASSERT_EQ(picture.pixel(x, y), qRgb(p[2], p[1], p[0])) << x << "," << y;
                ++direct.bData[p[0]], ++direct.gData[p[1]], ++direct.rData[p[2]];
            }
        EXPECT_EQ(histogram.rData, direct.rData);
        EXPECT_EQ(histogram.gData, direct.gData);
        EXPECT_EQ(histogram.bData, direct.bData);
        EXPECT_EQ(histogram.max, direct.bData[9]);
        EXPECT_GE(histogram.max, (h + 1) / 2);
    }
    std::vector<uint8_t> bgr(64);
    IIHistogramData histogram;
    EXPECT_TRUE(CBYUVRGB::bgr2image(nullptr, 2, 2, 8, &histogram).isNull());
    EXPECT_TRUE(CBYUVRGB::bgr2image(bgr.data(), 3, 2, 8, nullptr).isNull());  // rows too short
    EXPECT_FALSE(CBYUVRGB::bgr2image(bgr.data(), 2, 2, 8, nullptr).isNull());
}

TEST(CBYUVRGB, ImageTakesOverABgrxBuffer) {
    FreeBuffer buffer(static_cast<uint8_t *>(std::malloc(4 * 3 * 2)));
    for (int i = 0; i < 24; ++i) buffer.get()[i] = static_cast<uint8_t>(10 * i);
    QImage picture = CBYUVRGB::image(std::move(buffer), 3, 2);
    ASSERT_EQ(picture.size(), QSize(3, 2));
    EXPECT_EQ(picture.pixel(1, 1), qRgb(180, 170, 160));  // bytes 16..18 are B, G, R
    picture = QImage();  // frees the buffer; a leak or second free shows under the sanitizer
    EXPECT_TRUE(CBYUVRGB::image(nullptr, 3, 2).isNull());
    EXPECT_TRUE(
        CBYUVRGB::image(FreeBuffer(static_cast<uint8_t *>(std::malloc(8))), 0, 2).isNull());
}

// ---- Merges through the real engine

TEST_F(EngineBridgeTest, MergesABracketAndKeepsTheInputsSoASecondMergeIsIdentical) {
    IHDREngineController bridge(kWatchedEngine);
    EXPECT_EQ(bridge.toneLength(), 45);
    EXPECT_EQ(bridge.brightness(), 10);
    EXPECT_EQ(bridge.toneSaturation(), 40);
    EXPECT_EQ(bridge.ghostSuppressionLevel(), 6);
    ASSERT_TRUE(bridge.convertImages(Photos(kW, kH)));
    Picture first, second;
    ASSERT_EQ(bridge.run(46, 11, 41, 7, first.handler()), RESULT_OK);
    EXPECT_EQ(gLastParams.toneLength, 46);
    EXPECT_EQ(gLastParams.brightness, 11);
    EXPECT_EQ(gLastParams.toneSaturation, 41);
    EXPECT_EQ(gLastGhost, 7);
    ASSERT_EQ(first.calls, 1);
    EXPECT_EQ(first.width, kW);
    EXPECT_EQ(first.height, kH);
    EXPECT_EQ(first.reserved, 0);
    const auto inputs = RecordBytes(bridge.inputOffscreen());
    // The merged picture is a picture of the scene: not flat, not one of the exposures.
    const auto [lo, hi] = std::minmax_element(first.bytes.begin(), first.bytes.end());
    EXPECT_GT(*hi - *lo, 100);

    ASSERT_EQ(bridge.run(46, 11, 41, 7, second.handler()), RESULT_OK);
    EXPECT_EQ(second.bytes, first.bytes);
    EXPECT_EQ(RecordBytes(bridge.inputOffscreen()), inputs);
    EXPECT_EQ(gRuns, 2);
    EXPECT_EQ(gDestroys, 2);
    EXPECT_EQ(bridge.toneLength(), 46);
    EXPECT_EQ(bridge.brightness(), 11);
}

TEST_F(EngineBridgeTest, AWidthOf4001GivesRecordsAndAPicture4004Wide) {
    IHDREngineController bridge;
    ASSERT_TRUE(bridge.convertImages(Photos(4001, 160)));
    Picture picture;
    ASSERT_EQ(bridge.run(45, 10, 40, 6, picture.handler()), RESULT_OK);
    for (const __tag_QELV_OFFSCREEN &record : bridge.inputOffscreen()) {
        EXPECT_EQ(record.i32Width, 4004);
        EXPECT_EQ(record.pi32Pitch[0], 2 * 4004);
    }
    EXPECT_EQ(picture.width, 4004);
    EXPECT_EQ(picture.bytes.size(), size_t(12012) * 160);
}

TEST_F(EngineBridgeTest, ANewSetResetsTheEffectAndKeepsTheEngineParameters) {
    IHDREngineController bridge;
    ASSERT_TRUE(bridge.convertImages(Photos(kW, kH)));
    Picture merged;
    ASSERT_EQ(bridge.run(60, -20, 70, 3, merged.handler()), RESULT_OK);
    Picture effect;
    ASSERT_TRUE(bridge.run(LomoStyleColorLook, {255, 255, 255}, 50, 30, -40, effect.handler()));
    EXPECT_NE(effect.bytes, merged.bytes);

    ASSERT_TRUE(bridge.convertImages(Photos(kW, kH)));
    // Until the new set has merged, the effect keeps its settings and its picture.
    EXPECT_EQ(bridge.lomoEngine().lomoContrast, 30);
    Picture again;
    ASSERT_EQ(bridge.run(bridge.toneLength(), bridge.brightness(), bridge.toneSaturation(),
                         bridge.ghostSuppressionLevel(), again.handler()),
              RESULT_OK);
    const IILomoEngine &lomo = bridge.lomoEngine();
    EXPECT_EQ(lomo.lomoStyle, LomoStyleNone);
    EXPECT_EQ(lomo.lomoContrast, 0);
    EXPECT_EQ(lomo.lomoSaturation, 0);
    EXPECT_EQ(bridge.toneLength(), 60);
    EXPECT_EQ(bridge.brightness(), -20);
    EXPECT_EQ(bridge.toneSaturation(), 70);
    EXPECT_EQ(bridge.ghostSuppressionLevel(), 3);
    // The same scene with the same parameters and the default effect: the first picture again.
    EXPECT_EQ(again.bytes, merged.bytes);
}

TEST_F(EngineBridgeTest, AFailingEngineGivesNoPictureAndLeavesTheInputsIntact) {
    for (int failure : {RESULT_OUT_OF_MEMORY, RESULT_CANCELLED}) {
        IHDREngineController bridge(kWatchedEngine);
        ASSERT_TRUE(bridge.convertImages(Photos(kW, kH)));
        Picture merged;
        ASSERT_EQ(bridge.run(45, 10, 40, 6, merged.handler()), RESULT_OK);
        const auto inputs = RecordBytes(bridge.inputOffscreen());
        gRunResult = failure;  // the real run writes its outputs, then the run reports failure
        Picture none;
        EXPECT_EQ(bridge.run(45, 10, 40, 6, none.handler()), failure);
        EXPECT_EQ(none.calls, 0);
        EXPECT_EQ(RecordBytes(bridge.inputOffscreen()), inputs);

        // A new set whose first merge fails leaves the editor with the previous set and picture.
        ASSERT_TRUE(bridge.convertImages(Photos(kW + 16, kH)));
        EXPECT_EQ(bridge.run(45, 10, 40, 6, none.handler()), failure);
        EXPECT_EQ(none.calls, 0);
        EXPECT_FALSE(bridge.hasPendingImages());
        EXPECT_EQ(RecordBytes(bridge.inputOffscreen()), inputs);
        gRunResult = RESULT_OK;
        Picture effect;
        ASSERT_TRUE(bridge.run(0, {255, 255, 255}, 50, 0, 0, effect.handler()));
        EXPECT_EQ(effect.bytes, merged.bytes);
        EXPECT_EQ(gDestroys, 3);
        SetUp();
    }
}

TEST_F(EngineBridgeTest, InjectedFailuresNeverCrashAndKeepTheInputs) {
    struct Case {
        const char *what;
        int createResult;
        bool noSession;
        int failAllocation;  // after the set is made: 1-3 working copies, 4 read-back into B,G,R
        int result;
        bool engineRuns;
    };
    const Case cases[] = {
        {"session creation", RESULT_OUT_OF_MEMORY, false, -1, RESULT_OUT_OF_MEMORY, false},
        {"no session", RESULT_OK, true, -1, RESULT_OUT_OF_MEMORY, false},
        {"first copy", RESULT_OK, false, 1, RESULT_OUT_OF_MEMORY, false},
        {"second copy", RESULT_OK, false, 2, RESULT_OUT_OF_MEMORY, false},
        {"third copy", RESULT_OK, false, 3, RESULT_OUT_OF_MEMORY, false},
        {"read-back into B,G,R rows", RESULT_OK, false, 4, RESULT_OUT_OF_MEMORY, true},
    };
    const auto set = Photos(kW, kH);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        IHDREngineController bridge(kWatchedEngine, CountingAllocate);
        ASSERT_TRUE(bridge.convertImages(set));
        Picture merged;
        ASSERT_EQ(bridge.run(45, 10, 40, 6, merged.handler()), RESULT_OK);
        const auto inputs = RecordBytes(bridge.inputOffscreen());
        gCreateResult = c.createResult;
        gCreateGivesNoSession = c.noSession;
        gRuns = 0;
        gAllocations = 0;
        gFailAllocation = c.failAllocation;
        Picture none;
        EXPECT_EQ(bridge.run(50, 10, 40, 6, none.handler()), c.result);
        EXPECT_EQ(none.calls, 0);
        EXPECT_EQ(gRuns, c.engineRuns ? 1 : 0);
        EXPECT_EQ(RecordBytes(bridge.inputOffscreen()), inputs);
        // The picture of the last good merge stays the effect's source.
        gFailAllocation = -1;
        Picture effect;
        ASSERT_TRUE(bridge.run(0, {255, 255, 255}, 50, 0, 0, effect.handler()));
        EXPECT_EQ(effect.bytes, merged.bytes);
    }
}

TEST_F(EngineBridgeTest, AFailedEffectCopyHandsOnANullPicture) {
    IHDREngineController bridge(kWatchedEngine, CountingAllocate);
    ASSERT_TRUE(bridge.convertImages(Photos(kW, kH)));
    gAllocations = 0;
    gFailAllocation = 5;  // three working copies, read-back, then the effect's copy
    Picture merged;
    EXPECT_EQ(bridge.run(45, 10, 40, 6, merged.handler()), RESULT_OK);
    EXPECT_EQ(merged.calls, 1);
    EXPECT_TRUE(merged.null);
    EXPECT_EQ(merged.width, 0);
    EXPECT_EQ(merged.height, 0);
    EXPECT_FALSE(bridge.hasPendingImages());
    gAllocations = 0;
    gFailAllocation = 1;
    Picture effect;
    EXPECT_FALSE(bridge.run(0, {255, 255, 255}, 50, 10, 0, effect.handler()));
    EXPECT_EQ(effect.calls, 1);
    EXPECT_TRUE(effect.null);
}

TEST_F(EngineBridgeTest, TheEffectReRunStartsFromTheMergedPictureAndNeverMerges) {
    IHDREngineController bridge(kWatchedEngine);
    Picture empty;
    // Neither a merge nor an effect has anything to work on before a set is converted.
    EXPECT_EQ(bridge.run(45, 10, 40, 6, empty.handler()), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(empty.calls, 0);
    EXPECT_FALSE(bridge.run(0, {255, 255, 255}, 50, 20, 0, empty.handler()));
    EXPECT_EQ(empty.calls, 1);
    EXPECT_TRUE(empty.null);
    EXPECT_EQ(gRuns + gDestroys, 0);

    ASSERT_TRUE(bridge.convertImages(Photos(kW, kH)));
    Picture merged;
    ASSERT_EQ(bridge.run(45, 10, 40, 6, merged.handler()), RESULT_OK);
    Picture strong, plain;
    ASSERT_TRUE(bridge.run(LomoStyleColorLook, {255, 255, 255}, 50, 40, 30, strong.handler()));
    ASSERT_TRUE(bridge.run(LomoStyleNone, {255, 255, 255}, 50, 0, 0, plain.handler()));
    EXPECT_NE(strong.bytes, merged.bytes);
    EXPECT_EQ(plain.bytes, merged.bytes);  // the source was not touched by the first effect
    EXPECT_EQ(gRuns, 1);
    EXPECT_TRUE(bridge.lomoEngine().isKeepLomoLensLumonisity);
}

TEST_F(EngineBridgeTest, ASetThatCannotBeMadeLeavesTheCurrentOne) {
    IHDREngineController bridge(kWatchedEngine, CountingAllocate);
    const auto set = Photos(kW, kH);
    ASSERT_TRUE(bridge.convertImages(set));
    Picture merged;
    ASSERT_EQ(bridge.run(45, 10, 40, 6, merged.handler()), RESULT_OK);
    const auto inputs = RecordBytes(bridge.inputOffscreen());
    EXPECT_FALSE(bridge.convertImages(set.mid(0, 2)));
    EXPECT_FALSE(bridge.convertImages({set[0], nullptr, set[2]}));
    gAllocations = 0;
    gFailAllocation = 2;  // the second record's block
    EXPECT_FALSE(bridge.convertImages(Photos(kW + 32, kH)));
    EXPECT_FALSE(bridge.hasPendingImages());
    EXPECT_EQ(RecordBytes(bridge.inputOffscreen()), inputs);
}

}  // namespace
