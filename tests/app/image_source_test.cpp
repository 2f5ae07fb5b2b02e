// Photo loading: orientation, resolution, EXIF fields, camera raw, refusals and the upright
// drawing into image records.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <vector>

#include "CBImageSource.h"
#include "photo_metadata.h"
#include "photo_orientation.h"
#include "support/photo_fixtures.h"
#include "support/progressive_jpeg.h"

namespace {

using fixtures::ExifFields;

// A packed 4:2:2 record with its own storage.
struct Record {
    std::vector<uint8_t> plane;
    __tag_QELV_OFFSCREEN desc{};
    Record(int width, int height, uint8_t fill = 0) {
        plane.assign(static_cast<size_t>(2) * width * height, fill);
        desc.u32PixelArrayFormat = PIXEL_FORMAT_YUYV;
        desc.i32Width = width;
        desc.i32Height = height;
        desc.ppu8Plane[0] = plane.data();
        desc.pi32Pitch[0] = 2 * width;
    }
    int u(int x, int y) const { return plane[y * 2 * desc.i32Width + 4 * (x / 2) + 1]; }
    int v(int x, int y) const { return plane[y * 2 * desc.i32Width + 4 * (x / 2) + 3]; }
};

class ImageSourceTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString Write(const QString &name, const QByteArray &bytes) {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(fixtures::WriteFile(path, bytes));
        return path;
    }
};

double SrgbByte(double linear) {
    const double v = linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
    return 255 * v;
}

// Where the red and blue squares of the upright pattern are, and two plain grey places.
void ExpectUprightMarkers(const Record &record) {
    const int w = record.desc.i32Width, h = record.desc.i32Height;
    EXPECT_GT(record.v(24, 24), 200) << "red square at the top left";
    EXPECT_GT(record.u(w - 24, 24), 200) << "blue square at the top right";
    for (const QPoint p : {QPoint(24, h - 12), QPoint(w - 24, h - 12)}) {
        EXPECT_NEAR(record.u(p.x(), p.y()), 128, 12) << p.x() << "," << p.y();
        EXPECT_NEAR(record.v(p.x(), p.y()), 128, 12) << p.x() << "," << p.y();
    }
}

TEST_F(ImageSourceTest, EveryOrientationIsDrawnUpright) {
    const QImage upright = fixtures::UprightPattern(96, 64);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const QByteArray jpeg = fixtures::WithSegments(
            fixtures::EncodeJpeg(fixtures::StoredForOrientation(upright, orientation)), 0, 1, 1,
            ExifFields{orientation, {}, {}, {}});
        CBImageSource source;
        ASSERT_TRUE(source.initWithPhoto(Write(QString("o%1.jpg").arg(orientation), jpeg)));
        ASSERT_TRUE(source.open());
        EXPECT_EQ(source.orientation(), orientation);
        EXPECT_EQ(source.imageSize(orientation), QSizeF(96, 64));
        Record record(96, 64);
        ASSERT_TRUE(source.image(orientation, &record.desc));
        ExpectUprightMarkers(record);
        const QImage painted = source.image(orientation);
        ASSERT_EQ(painted.size(), QSize(96, 64));
        EXPECT_GT(qRed(painted.pixel(24, 24)), 200);
        EXPECT_GT(qBlue(painted.pixel(72, 24)), 200);
    }
}

TEST_F(ImageSourceTest, PortraitSizeResolutionAndOutOfRangeOrientations) {
    struct Case {
        int orientationTag;
        int expected;
    };
    for (const Case c : {Case{6, 6}, Case{0, 1}, Case{9, 1}}) {
        SCOPED_TRACE(c.orientationTag);
        QImage stored(400, 300, QImage::Format_RGB32);
        stored.fill(Qt::gray);
        const QString path =
            Write("p.jpg", fixtures::WithSegments(fixtures::EncodeJpeg(stored), 0, 1, 1,
                                                  ExifFields{c.orientationTag, {}, {}, {}}));
        CBImageSource source;
        ASSERT_TRUE(source.initWithPhoto(path));
        ASSERT_TRUE(source.open());
        EXPECT_EQ(source.orientation(), c.expected);
        const QSizeF size = source.imageSize(source.orientation());
        EXPECT_EQ(size, c.expected == 6 ? QSizeF(300, 400) : QSizeF(400, 300));
        // No resolution in the file: 72 both ways, and a drawing of unchanged size.
        EXPECT_EQ(source.dpiWidth(), 72.0f);
        EXPECT_EQ(source.dpiHeight(), 72.0f);
        Record record(static_cast<int>(size.width()), static_cast<int>(size.height()));
        EXPECT_TRUE(source.image(source.orientation(), &record.desc));
    }
}

TEST_F(ImageSourceTest, UnequalResolutionsAreReadAndDoNotCropTheDrawing) {
    const QImage upright = fixtures::UprightPattern(96, 64);
    const QString path = Write("dpi.jpg", fixtures::WithSegments(fixtures::EncodeJpeg(upright),
                                                                 1, 72, 144, std::nullopt));
    CBImageSource source;
    ASSERT_TRUE(source.initWithPhoto(path));
    ASSERT_TRUE(source.open());
    EXPECT_EQ(source.dpiWidth(), 72.0f);
    EXPECT_EQ(source.dpiHeight(), 144.0f);
    EXPECT_TRUE(source.imageTransform().isIdentity());
    Record record(96, 64);
    ASSERT_TRUE(source.image(1, &record.desc));
    ExpectUprightMarkers(record);
}

TEST_F(ImageSourceTest, ExifFieldsAndTheirAbsence) {
    QImage stored(128, 96, QImage::Format_RGB32);
    stored.fill(Qt::gray);
    const QByteArray jpeg = fixtures::EncodeJpeg(stored);
    CBImageSource tagged, plain;
    ASSERT_TRUE(tagged.initWithPhoto(
        Write("exif.jpg", fixtures::WithSegments(jpeg, 0, 1, 1, ExifFields{1, -1.5, 400, 35.5}))));
    EXPECT_FLOAT_EQ(tagged.imageExposure(), -1.5f);
    EXPECT_EQ(tagged.imageISO(), 400);
    EXPECT_DOUBLE_EQ(tagged.imageFocusLength(), 35.5);
    ASSERT_TRUE(plain.initWithPhoto(Write("plain.jpg", fixtures::WithSegments(jpeg, 0, 1, 1, {}))));
    EXPECT_EQ(plain.imageExposure(), 0.0f);
    EXPECT_EQ(plain.imageISO(), 0);
    EXPECT_EQ(plain.imageFocusLength(), 0.0);
}

TEST_F(ImageSourceTest, LinearDngLoadsUprightWithoutBrightening) {
    // Upright: a dark left half, a brighter right half and a red square at the top left.
    QImage classes(96, 64, QImage::Format_RGB32);
    classes.fill(QColor(0, 0, 0));
    QPainter(&classes).fillRect(48, 0, 48, 64, QColor(1, 1, 1));
    QPainter(&classes).fillRect(16, 16, 16, 16, QColor(2, 2, 2));
    const QImage stored = fixtures::StoredForOrientation(classes, 6);
    const double linear[3][3] = {{0.05, 0.05, 0.05}, {0.2, 0.2, 0.2}, {0.6, 0.02, 0.02}};
    std::vector<uint16_t> rgb;
    for (int y = 0; y < stored.height(); ++y)
        for (int x = 0; x < stored.width(); ++x)
            for (double value : linear[qRed(stored.pixel(x, y))])
                rgb.push_back(static_cast<uint16_t>(std::lround(value * 65535)));
    const QString path = dir.filePath("bracket.dng");
    ASSERT_TRUE(fixtures::WriteLinearDng(path, stored.width(), stored.height(), rgb, 6));

    CBImageSource source;
    ASSERT_TRUE(source.initWithPhoto(path));
    ASSERT_TRUE(source.open());
    EXPECT_EQ(source.orientation(), 6);
    ASSERT_EQ(source.imageSize(6), QSizeF(96, 64));
    const QImage upright = source.image(6);
    ASSERT_EQ(upright.size(), QSize(96, 64));
    // Each half keeps its own level (no automatic brightening) and stays neutral.
    for (const auto &[x, level] : {std::pair{8, 0.05}, std::pair{80, 0.2}}) {
        const QRgb pixel = upright.pixel(x, 48);
        EXPECT_NEAR(qGreen(pixel), SrgbByte(level), 12) << x;
        EXPECT_NEAR(qRed(pixel), qGreen(pixel), 6) << x;
        EXPECT_NEAR(qBlue(pixel), qGreen(pixel), 6) << x;
    }
    const QRgb marker = upright.pixel(24, 24);
    EXPECT_GT(qRed(marker), qGreen(marker) + 80);
    Record record(96, 64);
    EXPECT_TRUE(source.image(6, &record.desc));
    EXPECT_GT(record.v(24, 24), 160);
}

// The linear levels of the dark half, the bright half and the red marker of LinearDngPattern.
constexpr double kDngLevels[3][3] = {{0.05, 0.05, 0.05}, {0.2, 0.2, 0.2}, {0.6, 0.02, 0.02}};

// Writes a DNG of a 96 x 64 upright picture (a dark left half, a brighter right half and a red
// square at the top left) stored for the orientation and tagged with it.
bool WriteDngPattern(const QString &path, int orientation) {
    QImage classes(96, 64, QImage::Format_RGB32);
    classes.fill(QColor(0, 0, 0));
    QPainter(&classes).fillRect(48, 0, 48, 64, QColor(1, 1, 1));
    QPainter(&classes).fillRect(16, 16, 16, 16, QColor(2, 2, 2));
    const QImage stored = fixtures::StoredForOrientation(classes, orientation);
    std::vector<uint16_t> rgb;
    for (int y = 0; y < stored.height(); ++y)
        for (int x = 0; x < stored.width(); ++x)
            for (double value : kDngLevels[qRed(stored.pixel(x, y))])
                rgb.push_back(static_cast<uint16_t>(std::lround(value * 65535)));
    return fixtures::WriteLinearDng(path, stored.width(), stored.height(), rgb, orientation);
}

TEST_F(ImageSourceTest, DngOfEveryOrientationLoadsUpright) {
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const QString path = dir.filePath(QString("o%1.dng").arg(orientation));
        ASSERT_TRUE(WriteDngPattern(path, orientation));
        CBImageSource source;
        ASSERT_TRUE(source.initWithPhoto(path));
        ASSERT_TRUE(source.open());
        EXPECT_EQ(source.orientation(), orientation);
        ASSERT_EQ(source.imageSize(source.orientation()), QSizeF(96, 64));
        const QImage upright = source.image(source.orientation());
        ASSERT_EQ(upright.size(), QSize(96, 64));
        EXPECT_LT(qGreen(upright.pixel(8, 48)) + 30, qGreen(upright.pixel(80, 48)));
        const QRgb marker = upright.pixel(24, 24);
        EXPECT_GT(qRed(marker), qGreen(marker) + 80);
    }
}

// Sets the value of a tag with one value (the strip offset of a one-strip DNG, its compression)
// in the file's first directory.
bool PatchTag(const QString &path, int tag, uint32_t value) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) return false;
    QByteArray bytes = file.readAll();
    const auto u16 = [&](qsizetype at) {
        return static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8;
    };
    const auto u32 = [&](qsizetype at) {
        return static_cast<uint32_t>(u16(at)) | static_cast<uint32_t>(u16(at + 2)) << 16;
    };
    if (bytes.size() < 8 || bytes.left(2) != "II") return false;
    const qsizetype ifd = u32(4);
    for (int i = 0; i < u16(ifd); ++i) {
        const qsizetype entry = ifd + 2 + 12 * i;
        if (u16(entry) != tag || u32(entry + 4) != 1) continue;
        for (int k = 0; k < 4; ++k) bytes[entry + 8 + k] = static_cast<char>(value >> (8 * k));
        return file.seek(0) && file.write(bytes) == bytes.size();
    }
    return false;
}

TEST_F(ImageSourceTest, DngWhoseDataLiesPastTheEndIsRefused) {
    constexpr int kStripOffsets = 273, kCompression = 259, kLosslessJpeg = 7;
    const qint64 stripBytes = 96 * 64 * 6;
    // Plain samples missing in part stop the decoder; compressed ones past the end do not, and
    // would develop into a black picture.
    struct Case {
        const char *name;
        int compression;
        qint64 fromEnd;  // where the strip starts, counted back from the end of the file
    };
    for (const Case c : {Case{"plain, half missing", 1, stripBytes / 2},
                         Case{"compressed, all missing", kLosslessJpeg, 0},
                         Case{"compressed, starting 2 bytes before the end", kLosslessJpeg, 2}}) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath("cut.dng");
        QFile::remove(path);
        ASSERT_TRUE(WriteDngPattern(path, 1));
        const qint64 size = QFileInfo(path).size();
        ASSERT_TRUE(PatchTag(path, kStripOffsets, static_cast<uint32_t>(size - c.fromEnd)));
        ASSERT_TRUE(PatchTag(path, kCompression, static_cast<uint32_t>(c.compression)));
        CBImageSource source;
        EXPECT_FALSE(source.initWithPhoto(path) && source.open());
        EXPECT_FALSE(source.failureReason().isEmpty());
    }
}

// A JPEG whose frame header claims another size than its data holds.
QByteArray WithClaimedSize(QByteArray jpeg, int width, int height) {
    const qsizetype sof = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    jpeg[sof + 5] = static_cast<char>(height >> 8);
    jpeg[sof + 6] = static_cast<char>(height & 0xFF);
    jpeg[sof + 7] = static_cast<char>(width >> 8);
    jpeg[sof + 8] = static_cast<char>(width & 0xFF);
    return jpeg;
}

QByteArray Png(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::gray);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(image);
    return buffer.data();
}

long PeakResidentKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST_F(ImageSourceTest, UnreadablePhotosAreRefusedWithoutDecoding) {
    QImage small(16, 16, QImage::Format_RGB32);
    small.fill(Qt::gray);
    const QByteArray tiny = fixtures::EncodeJpeg(small, 50);
    QByteArray noise(4096, '\0');
    QRandomGenerator random(7);
    for (char &byte : noise) byte = static_cast<char>(random.bounded(256));
    struct Case {
        const char *name;
        QString path;
        bool removeAfterInit;
    };
    std::vector<Case> cases = {
        {"random bytes", Write("noise.jpg", noise), false},
        {"empty file", Write("empty.jpg", {}), false},
        {"folder", dir.filePath("folder.jpg"), false},
        {"deleted after selection", Write("gone.jpg", tiny), true},
        {"claims 20000 x 20000", Write("huge.jpg", WithClaimedSize(tiny, 20000, 20000)), false},
        {"claims 101 megapixels", Write("big.jpg", WithClaimedSize(tiny, 10100, 10000)), false},
        {"65536 pixels wide", Write("wide.png", Png(QSize(65536, 1))), false},
        {"65536 pixels tall", Write("tall.png", Png(QSize(1, 65536))), false},
        {"random bytes named as raw", Write("noise.dng", noise), false},
    };
    QDir(dir.path()).mkdir("folder.jpg");
    if (geteuid() != 0) {  // permissions do not stop the superuser
        const QString locked = Write("locked.jpg", tiny);
        QFile::setPermissions(locked, QFileDevice::Permissions());
        cases.push_back({"unreadable", locked, false});
    }
    EXPECT_LT(QFileInfo(dir.filePath("huge.jpg")).size(), 1000);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const long before = PeakResidentKilobytes();
        CBImageSource source;
        const bool initialised = source.initWithPhoto(c.path);
        if (c.removeAfterInit) {
            ASSERT_TRUE(initialised);
            QFile::remove(c.path);
        }
        EXPECT_FALSE(initialised && source.open());
        EXPECT_LT(PeakResidentKilobytes() - before, 64 * 1024) << "decoded a refused photo";
        Record record(16, 16);
        EXPECT_FALSE(source.image(1, &record.desc));
    }
}

TEST_F(ImageSourceTest, TruncatedJpegLoadsFullyWrittenOrIsRefused) {
    QImage stored(256, 192, QImage::Format_RGB32);
    QRandomGenerator random(3);
    for (int y = 0; y < stored.height(); ++y)
        for (int x = 0; x < stored.width(); ++x) stored.setPixel(x, y, random.generate() | 0xFF000000u);
    const QByteArray jpeg = fixtures::EncodeJpeg(stored);
    CBImageSource source;
    ASSERT_TRUE(source.initWithPhoto(Write("cut.jpg", jpeg.left(jpeg.size() * 6 / 10))));
    if (!source.open()) return;
    // Every byte of the record is written: two records filled differently end up equal.
    Record zeros(256, 192, 0x00), ones(256, 192, 0xFF);
    ASSERT_TRUE(source.image(1, &zeros.desc));
    ASSERT_TRUE(source.image(1, &ones.desc));
    EXPECT_EQ(zeros.plane, ones.plane);
}

// A JPEG of noise, so that its entropy-coded data is long and dense.
QByteArray NoiseJpeg(int width, int height, bool progressive = false) {
    QImage stored(width, height, QImage::Format_RGB32);
    QRandomGenerator random(5);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) stored.setPixel(x, y, random.generate() | 0xFF000000u);
    if (!progressive) return fixtures::EncodeJpeg(stored);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    EXPECT_TRUE(writer.write(stored));
    return buffer.data();
}

// The bytes from the middle of the entropy-coded data on, each turned over, as a damaged
// card or transfer leaves them.
QByteArray Scrambled(QByteArray jpeg) {
    const qsizetype scan = jpeg.indexOf(QByteArray("\xFF\xDA", 2));
    for (qsizetype i = (scan + jpeg.size()) / 2; i < jpeg.size() - 2; ++i)
        if (static_cast<uint8_t>(jpeg[i]) != 0xFF && static_cast<uint8_t>(jpeg[i - 1]) != 0xFF)
            jpeg[i] = static_cast<char>(~jpeg[i] & 0x7F);
    return jpeg;
}

TEST_F(ImageSourceTest, DamagedJpegsAreRefusedWithTheDecodersReason) {
    const QByteArray jpeg = NoiseJpeg(1024, 1536);
    const QByteArray progressive = NoiseJpeg(256, 192, true);
    const QByteArray end("\xFF\xD9", 2);
    QImage small(16, 16, QImage::Format_RGB32);
    small.fill(Qt::gray);
    const QByteArray claims = WithClaimedSize(fixtures::EncodeJpeg(small, 50), 10000, 10000);
    struct Case {
        const char *name;
        QByteArray file;
        const char *reason;  // the start of the reason, or null for any reason
    };
    const Case cases[] = {
        {"cut at 10 %", jpeg.left(jpeg.size() / 10), "Premature end of JPEG file"},
        {"cut at 50 %", jpeg.left(jpeg.size() / 2), "Premature end of JPEG file"},
        {"cut at 99 %", jpeg.left(jpeg.size() * 99 / 100), "Premature end of JPEG file"},
        {"cut before its end marker", jpeg.left(jpeg.size() - 2), "Premature end of JPEG file"},
        {"half and an end marker", jpeg.left(jpeg.size() / 2) + end, "Corrupt JPEG data"},
        {"scrambled codes", Scrambled(jpeg), "Corrupt JPEG data"},
        {"progressive, cut at 90 %", progressive.left(progressive.size() * 9 / 10), nullptr},
        {"689 bytes claiming 10000 x 10000", claims, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const long before = PeakResidentKilobytes();
        CBImageSource source;
        ASSERT_TRUE(source.initWithPhoto(Write("damaged.jpg", c.file)));
        EXPECT_FALSE(source.open());
        EXPECT_TRUE(source.image().isNull());
        const QString reason = source.failureReason();
        EXPECT_FALSE(reason.isEmpty());
        if (c.reason) {
            EXPECT_TRUE(reason.startsWith(c.reason)) << reason.toStdString();
        }
        EXPECT_LT(PeakResidentKilobytes() - before, 64 * 1024) << "decoded a refused photo";
    }
    EXPECT_LT(claims.size(), 1000);
    CBImageSource whole;
    ASSERT_TRUE(whole.initWithPhoto(Write("whole.jpg", jpeg)));
    EXPECT_TRUE(whole.open());
    EXPECT_EQ(whole.failureReason(), QString());
}

// Photos whose header is all there is, or that end long before their file does, followed by a
// hole up to 3 GiB: their markers tell all, without reading the hole or holding the file.
TEST_F(ImageSourceTest, HugeSparseJpegsAreJudgedByTheirMarkers) {
    QImage small(64, 48, QImage::Format_RGB32);
    small.fill(Qt::gray);
    const QByteArray jpeg = fixtures::EncodeJpeg(small, 80);
    const qsizetype scan = jpeg.indexOf(QByteArray("\xFF\xDA", 2));
    const QByteArray header = jpeg.left(scan + 2 + (static_cast<uint8_t>(jpeg[scan + 2]) << 8 |
                                                    static_cast<uint8_t>(jpeg[scan + 3])));
    struct Case {
        const char *name;
        QByteArray start;
        bool opens;
    };
    const Case cases[] = {
        {"a header", header, false},
        {"a header claiming 10000 x 10000", WithClaimedSize(header, 10000, 10000), false},
        {"a whole photo", jpeg, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Write("sparse.jpg", c.start);
        ASSERT_TRUE(QFile::resize(path, qint64{3} << 30));
        const long before = PeakResidentKilobytes();
        CBImageSource source;
        const bool opened = source.initWithPhoto(path) && source.open();
        EXPECT_EQ(opened, c.opens) << source.failureReason().toStdString();
        if (!c.opens) {
            EXPECT_EQ(source.failureReason(), QString::fromLatin1(kReasonCutShort));
        }
        EXPECT_LT(PeakResidentKilobytes() - before, 64 * 1024) << "read the hole";
        QFile::remove(path);
    }
}

// The merge program's limit on progressive scans, each a pass over the picture: a file over it is
// refused from its markers, before any scan is decoded (a cut after the limit is never reached).
TEST_F(ImageSourceTest, ProgressiveScansAreLimited) {
    const QImage picture = fixtures::UprightPattern(64, 48);
    const QByteArray many = fixtures::ProgressiveJpegWithScans(picture, 600);
    struct Case {
        const char *name;
        QByteArray file;
        bool opens;
    };
    const Case cases[] = {
        {"500 scans", fixtures::ProgressiveJpegWithScans(picture, 500), true},
        {"501 scans", fixtures::ProgressiveJpegWithScans(picture, 501), false},
        {"600 scans, cut short", many.left(many.size() * 9 / 10), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CBImageSource source;
        ASSERT_TRUE(source.initWithPhoto(Write("scans.jpg", c.file)));
        EXPECT_EQ(source.open(), c.opens);
        if (!c.opens) {
            EXPECT_EQ(source.failureReason(), QString::fromLatin1(kReasonTooManyScans));
        }
    }
}

// A progressive file cut at a scan boundary and closed with an end marker decodes without a
// warning into a coarse copy of the photo: refused as the merge program refuses it.
TEST_F(ImageSourceTest, ProgressiveJpegsCutAtAScanBoundaryAreRefused) {
    const QByteArray colour = NoiseJpeg(256, 192, true);
    const QByteArray grey = fixtures::ProgressiveJpegWithScans(fixtures::UprightPattern(64, 48), 128);
    for (const QByteArray &jpeg : {colour, grey}) {
        const int scans = static_cast<int>(jpeg.count(QByteArray("\xFF\xDA", 2)));
        ASSERT_GT(scans, 2);
        for (const int kept : {1, scans - 1, scans}) {
            SCOPED_TRACE(QStringLiteral("%1 of %2 scans").arg(kept).arg(scans).toStdString());
            CBImageSource source;
            ASSERT_TRUE(source.initWithPhoto(Write("cut.jpg", fixtures::CutAfterScans(jpeg, kept))));
            EXPECT_EQ(source.open(), kept == scans);
            EXPECT_EQ(source.failureReason(),
                      kept == scans ? QString() : QString::fromLatin1(kReasonTruncated));
        }
    }
}

// An EXIF block of one orientation entry of the given count, little-endian.
QByteArray TiffOrientation(int value, uint32_t count) {
    QByteArray tiff("II\x2A\x00\x08\x00\x00\x00\x01\x00\x12\x01\x03\x00", 14);
    for (int i = 0; i < 4; ++i) tiff.append(static_cast<char>(count >> (8 * i)));
    tiff.append(static_cast<char>(value)).append(7, '\0');
    return tiff;
}

QByteArray WithExifBlock(const QByteArray &jpeg, const QByteArray &tiff) {
    QByteArray segment = QByteArray("\xFF\xE1\0\0Exif\0\0", 10) + tiff;
    segment[2] = static_cast<char>((segment.size() - 2) >> 8);
    segment[3] = static_cast<char>((segment.size() - 2) & 0xFF);
    return jpeg.left(2) + segment + jpeg.mid(2);
}

uint32_t Crc32(const QByteArray &bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= static_cast<uint8_t>(byte);
        for (int k = 0; k < 8; ++k) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

// The PNG with an eXIf chunk holding tiff right after its header chunk, or before its end.
QByteArray WithExifChunk(const QByteArray &png, const QByteArray &tiff, bool atEnd) {
    QByteArray chunk;
    for (int shift = 24; shift >= 0; shift -= 8)
        chunk.append(static_cast<char>(tiff.size() >> shift));
    const QByteArray typed = "eXIf" + tiff;
    const uint32_t crc = Crc32(typed);
    chunk += typed;
    for (int shift = 24; shift >= 0; shift -= 8) chunk.append(static_cast<char>(crc >> shift));
    const qsizetype at = atEnd ? png.size() - 12 : 33;
    return png.left(at) + chunk + png.mid(at);
}

TEST_F(ImageSourceTest, OrientationIsReadAsTheMergeProgramReadsIt) {
    QImage stored(40, 30, QImage::Format_RGB32);
    stored.fill(Qt::gray);
    const QByteArray jpeg = fixtures::EncodeJpeg(stored);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(stored.save(&buffer, "PNG"));
    const QByteArray png = buffer.data();
    struct Case {
        const char *name;
        QByteArray file;
        int orientation;
    };
    const Case cases[] = {
        {"JPEG tagged 6", WithExifBlock(jpeg, TiffOrientation(6, 1)), 6},
        {"JPEG, count 0x40000000", WithExifBlock(jpeg, TiffOrientation(6, 0x40000000)), 1},
        {"JPEG, count 2", WithExifBlock(jpeg, TiffOrientation(6, 2)), 1},
        {"PNG tagged 6", WithExifChunk(png, TiffOrientation(6, 1), false), 6},
        {"PNG tagged 8 after its pixels", WithExifChunk(png, TiffOrientation(8, 1), true), 8},
        {"PNG, count 0x40000000", WithExifChunk(png, TiffOrientation(6, 0x40000000), false), 1},
        {"PNG without EXIF", png, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CBImageSource source;
        ASSERT_TRUE(source.initWithPhoto(Write(c.file.startsWith("\x89PNG") ? "o.png" : "o.jpg",
                                               c.file)));
        ASSERT_TRUE(source.open()) << source.failureReason().toStdString();
        EXPECT_EQ(source.orientation(), c.orientation);
        EXPECT_EQ(source.image(source.orientation()).width(), c.orientation >= 5 ? 30 : 40);
    }
}

TEST_F(ImageSourceTest, PngWhoseChunksDoNotFitTheFileIsRefusedBeforeDecoding) {
    QImage stored(40, 30, QImage::Format_RGB32);
    stored.fill(Qt::gray);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(stored.save(&buffer, "PNG"));
    const QByteArray png = buffer.data();
    // A text chunk after the pixels that announces a gigabyte, then the end chunk.
    const QByteArray claims = png.left(png.size() - 12) +
                              QByteArray("\x40\x00\x00\x00tEXtdate\0", 13) + png.right(12);
    // An empty chunk without a name, as a hole of zeros reads, before the end chunk.
    const QByteArray unnamed =
        png.left(png.size() - 12) + QByteArray(12, '\0') + png.right(12);
    for (const QByteArray &file : {claims, png.left(png.size() - 12), unnamed}) {
        const long before = PeakResidentKilobytes();
        CBImageSource source;
        EXPECT_FALSE(source.initWithPhoto(Write("claims.png", file)) && source.open());
        EXPECT_EQ(source.failureReason(), QString("its PNG data is cut short or damaged"));
        EXPECT_LT(PeakResidentKilobytes() - before, 64 * 1024) << "decoded a refused photo";
    }
}

TEST_F(ImageSourceTest, RecordsThatDoNotFitAreRefused) {
    QImage stored(101, 100, QImage::Format_RGB32);
    stored.fill(Qt::gray);
    CBImageSource source;
    ASSERT_TRUE(source.initWithPhoto(Write("fit.jpg", fixtures::EncodeJpeg(stored))));
    ASSERT_TRUE(source.open());
    Record narrow(100, 100), short_(104, 99), fits(104, 100);
    EXPECT_FALSE(source.image(1, &narrow.desc));
    EXPECT_FALSE(source.image(1, &short_.desc));
    EXPECT_FALSE(source.image(1, nullptr));
    __tag_QELV_OFFSCREEN unknown = fits.desc;
    unknown.u32PixelArrayFormat = PIXEL_FORMAT_NV16;
    EXPECT_FALSE(source.image(1, &unknown));
    EXPECT_TRUE(source.image(1, &fits.desc));

    // An odd width has (w + 1) / 2 chroma samples a row; a shorter chroma pitch would have
    // the conversion write past each chroma row.
    constexpr int w = 101, h = 100, cw = (w + 1) / 2;
    std::vector<uint8_t> luma(size_t(w) * h), u(size_t(cw) * h / 2), v(u.size());
    for (const auto &pitches : {std::pair{cw - 1, cw}, std::pair{cw, cw - 1}, std::pair{cw, cw}}) {
        __tag_QELV_OFFSCREEN i420{PIXEL_FORMAT_I420, w, h, {}, {}};
        i420.ppu8Plane[0] = luma.data();
        i420.ppu8Plane[1] = u.data();
        i420.ppu8Plane[2] = v.data();
        i420.pi32Pitch[0] = w;
        i420.pi32Pitch[1] = pitches.first;
        i420.pi32Pitch[2] = pitches.second;
        EXPECT_EQ(source.image(1, &i420), pitches.first == cw && pitches.second == cw)
            << pitches.first << " " << pitches.second;
    }
}

// The library's upright copy agrees pixel for pixel with painting through the transform, and
// the columns beyond the photo repeat its last column.
TEST(DrawUpright, MatchesThePaintedTransformAndRepeatsTheLastColumn) {
    QImage stored(7, 5, QImage::Format_RGB32);
    QRandomGenerator random(11);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) stored.setPixel(x, y, random.generate() | 0xFF000000u);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const bool swaps = OrientationSwapsSides(orientation);
        const int w = swaps ? 5 : 7, h = swaps ? 7 : 5, width = (w + 3) & ~3;
        QImage painted(w, h, QImage::Format_RGB32);
        painted.fill(Qt::black);
        {
            QPainter painter(&painted);
            painter.setTransform(UprightTransform(orientation, 7, 5));
            painter.drawImage(0, 0, stored);
        }
        std::vector<uint32_t> whole(static_cast<size_t>(width) * h, 0), banded = whole;
        ASSERT_TRUE(DrawUpright(stored, orientation, reinterpret_cast<uint8_t *>(whole.data()),
                                4 * width, width, h));
        // Bands of 2 rows, the last one shorter when the height is odd.
        for (int y = 0; y < h; y += 2)
            ASSERT_TRUE(DrawUprightRows(stored, orientation, y, std::min(2, h - y),
                                        reinterpret_cast<uint8_t *>(&banded[y * width]),
                                        4 * width, width));
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < width; ++x) {
                const QRgb expected = painted.pixel(std::min(x, w - 1), y);
                EXPECT_EQ(whole[y * width + x] & 0xFFFFFF, expected & 0xFFFFFF) << x << "," << y;
                EXPECT_EQ(banded[y * width + x], whole[y * width + x]) << x << "," << y;
            }
        }
    }
}

TEST(Orientation, CodesFromTheReaderAndFromRawFlips) {
    using T = QImageIOHandler;
    const std::pair<T::Transformations, int> reader[] = {
        {T::TransformationNone, 1},          {T::TransformationMirror, 2},
        {T::TransformationRotate180, 3},     {T::TransformationFlip, 4},
        {T::TransformationFlipAndRotate90, 5}, {T::TransformationRotate90, 6},
        {T::TransformationMirrorAndRotate90, 7}, {T::TransformationRotate270, 8}};
    for (const auto &[transformation, code] : reader)
        EXPECT_EQ(OrientationFromTransformation(transformation), code);
    const std::pair<int, int> flips[] = {{0, 1}, {1, 2}, {2, 4}, {3, 3}, {4, 5},
                                         {5, 8}, {6, 6}, {7, 7}, {8, 1}, {-1, 1}};
    for (const auto &[flip, code] : flips) EXPECT_EQ(OrientationFromRawFlip(flip), code) << flip;
}

}  // namespace
