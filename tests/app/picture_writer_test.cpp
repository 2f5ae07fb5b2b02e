// The PNG and TIFF writers at sizes that stress their bands and strips: the PNG's chunks, its
// joined zlib stream and its filtered rows taken apart byte by byte, pixels read back through
// Qt and libtiff, and every compressed TIFF compared with the file libtiff writes by itself.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>
#include <algorithm>
#include <random>
#include <tiffio.h>
#include <vector>
#include <zlib.h>

#include "IISaveViewController.h"
#include "picture_writer.h"
#include "png_writer.h"

namespace {

// Pixels from a seeded generator: no codec can guess them, and every alpha value occurs.
// Premultiplied pictures keep each colour at or under its alpha, as the format requires.
QImage Noise(int width, int height, QImage::Format format, unsigned seed = 7) {
    QImage image(width, height, format);
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const uint32_t bits = random();
            QRgb pixel = bits | (format == QImage::Format_RGB32 ? 0xff000000u : 0u);
            if (format == QImage::Format_ARGB32_Premultiplied) pixel = qPremultiply(pixel);
            row[x] = pixel;
        }
    }
    image.setDotsPerMeterX(kSavedPictureDotsPerMeter);
    image.setDotsPerMeterY(kSavedPictureDotsPerMeter);
    return image;
}

QByteArray Encode(const QImage &picture) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return WritePNG(picture, buffer, kPNGCompressionLevel) ? bytes : QByteArray();
}

struct PngParts {
    QByteArray header, physical, zlib;
    std::vector<qsizetype> idatSizes;
    bool wellFormed = false;
};

// The file's chunks in order, each CRC checked; the IDAT data joined into one zlib stream.
PngParts Parse(const QByteArray &png) {
    PngParts parts;
    if (!png.startsWith("\x89PNG\r\n\x1a\n")) return parts;
    qsizetype at = 8;
    QByteArray last;
    while (at + 12 <= png.size()) {
        const qsizetype size = qFromBigEndian<quint32>(png.constData() + at);
        const QByteArray type = png.mid(at + 4, 4), data = png.mid(at + 8, size);
        if (data.size() != size || at + 12 + size > png.size()) return parts;
        const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(png.constData() + at + 4),
                                static_cast<uInt>(size + 4));
        if (qFromBigEndian<quint32>(png.constData() + at + 8 + size) != crc) return parts;
        if (type == "IHDR") parts.header = data;
        if (type == "pHYs") parts.physical = data;
        if (type == "IDAT") {
            parts.zlib += data;
            parts.idatSizes.push_back(size);
        }
        last = type;
        at += 12 + size;
    }
    parts.wellFormed = at == png.size() && last == "IEND";
    return parts;
}

// Undoes the Up filter of every row; empty unless every row carries it.
QByteArray Unfilter(const QByteArray &filtered, int rowBytes, int rows) {
    if (filtered.size() != static_cast<qsizetype>(rows) * (rowBytes + 1)) return {};
    QByteArray pixels(static_cast<qsizetype>(rows) * rowBytes, '\0');
    for (int y = 0; y < rows; ++y) {
        const char *in = filtered.constData() + static_cast<qsizetype>(y) * (rowBytes + 1);
        if (in[0] != 2) return {};
        char *out = pixels.data() + static_cast<qsizetype>(y) * rowBytes;
        for (int i = 0; i < rowBytes; ++i)
            out[i] = static_cast<char>(in[1 + i] + (y > 0 ? out[i - rowBytes] : 0));
    }
    return pixels;
}

// The picture's rows in the byte order the PNG holds (R,G,B or R,G,B,A unpremultiplied).
QByteArray ExpectedRows(const QImage &picture, bool alpha) {
    // Unpremultiplied by the conversion Qt's own writer makes.
    const QImage plain = picture.convertToFormat(alpha ? QImage::Format_ARGB32 : picture.format())
                             .convertToFormat(alpha ? QImage::Format_RGBA8888
                                                    : QImage::Format_RGB888);
    QByteArray rows;
    const int rowBytes = picture.width() * (alpha ? 4 : 3);
    for (int y = 0; y < plain.height(); ++y)
        rows += QByteArray(reinterpret_cast<const char *>(plain.constScanLine(y)), rowBytes);
    return rows;
}

QImage ReadBack(const QByteArray &bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer, "png").read();
}

TEST(PngWriter, ChunksStreamAndRowsAreWhatReadersExpect) {
    struct Case {
        int width, height;
        QImage::Format format;
    };
    // One pixel; fewer rows than bands; odd widths; and a noise picture past 1 MiB compressed.
    const Case cases[] = {
        {1, 1, QImage::Format_RGB32},   {1, 1, QImage::Format_ARGB32_Premultiplied},
        {5, 3, QImage::Format_RGB32},   {7, 2, QImage::Format_ARGB32},
        {33, 9, QImage::Format_RGB32},  {61, 17, QImage::Format_ARGB32_Premultiplied},
        {701, 530, QImage::Format_RGB32},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " format " << c.format);
        const QImage picture = Noise(c.width, c.height, c.format);
        const bool alpha = c.format != QImage::Format_RGB32;
        const QByteArray png = Encode(picture);
        const PngParts parts = Parse(png);
        ASSERT_TRUE(parts.wellFormed);
        ASSERT_EQ(parts.header.size(), 13);
        EXPECT_EQ(qFromBigEndian<quint32>(parts.header.constData()), quint32(c.width));
        EXPECT_EQ(qFromBigEndian<quint32>(parts.header.constData() + 4), quint32(c.height));
        EXPECT_EQ(parts.header.mid(8), QByteArray(alpha ? "\x08\x06\0\0\0" : "\x08\x02\0\0\0", 5));
        EXPECT_EQ(parts.physical, QByteArray("\0\0\x0b\x13\0\0\x0b\x13\x01", 9));
        for (size_t i = 0; i < parts.idatSizes.size(); ++i)
            EXPECT_EQ(parts.idatSizes[i] == 1024 * 1024, i + 1 < parts.idatSizes.size());
        // qUncompress checks the stream's adler32: the bands' sums must combine into it.
        const int rowBytes = c.width * (alpha ? 4 : 3);
        QByteArray sized(4, '\0');
        qToBigEndian<quint32>(quint32((rowBytes + 1) * c.height), sized.data());
        const QByteArray filtered = qUncompress(sized + parts.zlib);
        EXPECT_EQ(Unfilter(filtered, rowBytes, c.height), ExpectedRows(picture, alpha));
        if (c.width == 701) {
            EXPECT_GE(parts.idatSizes.size(), 2u);
        }

        // Read back as Qt reads its own file of the same picture.
        const QImage back = ReadBack(png);
        ASSERT_FALSE(back.isNull());
        QByteArray qtFile;
        QBuffer qtBuffer(&qtFile);
        qtBuffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(QImageWriter(&qtBuffer, "png").write(picture));
        const QImage qtBack = ReadBack(qtFile);
        EXPECT_EQ(back.format(), qtBack.format());
        EXPECT_EQ(back, qtBack);
        EXPECT_EQ(back.dotsPerMeterX(), kSavedPictureDotsPerMeter);
        if (!alpha) {
            EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), picture);
        }
    }
}

TEST(PngWriter, NothingOrAFailingDeviceAnswersNo) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_FALSE(WritePNG(QImage(), buffer, 1));
    EXPECT_TRUE(bytes.isEmpty());
    QBuffer closed;
    EXPECT_FALSE(WritePNG(Noise(9, 9, QImage::Format_RGB32), closed, 1));
}

struct TiffImage {
    uint16_t compression = 0;
    uint32_t strips = 0;
    QImage pixels;
};

std::vector<TiffImage> ReadTiff(const QString &path) {
    std::vector<TiffImage> images;
    TIFF *tiff = TIFFOpen(path.toLocal8Bit().constData(), "r");
    if (!tiff) return images;
    do {
        TiffImage image;
        uint32_t width = 0, height = 0;
        TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
        TIFFGetField(tiff, TIFFTAG_COMPRESSION, &image.compression);
        image.strips = TIFFNumberOfStrips(tiff);
        image.pixels = QImage(int(width), int(height), QImage::Format_RGB888);
        for (uint32_t row = 0; row < height; ++row)
            if (TIFFReadScanline(tiff, image.pixels.scanLine(int(row)), row, 0) < 0) return {};
        images.push_back(image);
    } while (TIFFReadDirectory(tiff));
    TIFFClose(tiff);
    return images;
}

// The file libtiff writes by itself for the same directories: every tag of the given file
// copied, and the pixels of each strip handed to libtiff's encoder one strip after another.
bool WriteLibtiffReference(const QString &from, const QString &to) {
    // Read without strip chopping: a large uncompressed strip would otherwise be shown as
    // several small ones.
    TIFF *in = TIFFOpen(from.toLocal8Bit().constData(), "rc");
    TIFF *out = TIFFOpen(to.toLocal8Bit().constData(), "w");
    bool ok = in && out;
    while (ok) {
        uint32_t width = 0, height = 0, rowsPerStrip = 0;
        uint16_t bits = 0, samples = 0, photometric = 0, planar = 0, compression = 0,
                 orientation = 0, unit = 0;
        float xres = 0, yres = 0;
        ok = TIFFGetField(in, TIFFTAG_IMAGEWIDTH, &width) &&
             TIFFGetField(in, TIFFTAG_IMAGELENGTH, &height) &&
             TIFFGetField(in, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip) &&
             TIFFGetField(in, TIFFTAG_BITSPERSAMPLE, &bits) &&
             TIFFGetField(in, TIFFTAG_SAMPLESPERPIXEL, &samples) &&
             TIFFGetField(in, TIFFTAG_PHOTOMETRIC, &photometric) &&
             TIFFGetField(in, TIFFTAG_PLANARCONFIG, &planar) &&
             TIFFGetField(in, TIFFTAG_COMPRESSION, &compression) &&
             TIFFGetField(in, TIFFTAG_ORIENTATION, &orientation) &&
             TIFFGetField(in, TIFFTAG_RESOLUTIONUNIT, &unit) &&
             TIFFGetField(in, TIFFTAG_XRESOLUTION, &xres) &&
             TIFFGetField(in, TIFFTAG_YRESOLUTION, &yres);
        ok = ok && TIFFSetField(out, TIFFTAG_IMAGEWIDTH, width) &&
             TIFFSetField(out, TIFFTAG_IMAGELENGTH, height) &&
             TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, rowsPerStrip) &&
             TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, bits) &&
             TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, samples) &&
             TIFFSetField(out, TIFFTAG_PHOTOMETRIC, photometric) &&
             TIFFSetField(out, TIFFTAG_PLANARCONFIG, planar) &&
             TIFFSetField(out, TIFFTAG_COMPRESSION, compression) &&
             TIFFSetField(out, TIFFTAG_ORIENTATION, orientation) &&
             TIFFSetField(out, TIFFTAG_RESOLUTIONUNIT, unit) &&
             TIFFSetField(out, TIFFTAG_XRESOLUTION, xres) &&
             TIFFSetField(out, TIFFTAG_YRESOLUTION, yres);
        std::vector<uint8_t> strip(static_cast<size_t>(TIFFStripSize(in)));
        for (uint32_t s = 0; ok && s < TIFFNumberOfStrips(in); ++s) {
            const tmsize_t size = TIFFReadEncodedStrip(in, s, strip.data(), -1);
            ok = size > 0 && TIFFWriteEncodedStrip(out, s, strip.data(), size) == size;
        }
        ok = ok && TIFFWriteDirectory(out);
        if (!TIFFReadDirectory(in)) break;
    }
    if (in) TIFFClose(in);
    if (out) TIFFClose(out);
    return ok;
}

QByteArray ReadAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(TiffWriter, EachCompressionReadsBackAndIsTheFileLibtiffWrites) {
    struct Case {
        int width, height;
        bool pair;
    };
    // One pixel; fewer strips than threads; an odd width; many strips shared by four threads,
    // and a second directory of another size after them.
    const Case cases[] = {{1, 1, false}, {5, 3, false}, {203, 61, false}, {1001, 700, true}};
    QTemporaryDir dir;
    for (const int compression : {IISaveViewController::kCompressionNone,
                                  IISaveViewController::kCompressionLZW,
                                  IISaveViewController::kCompressionPackBits}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " compression "
                                            << compression);
            const QImage first = Noise(c.width, c.height, QImage::Format_RGB32, 3);
            // Smooth rows as well as noise: runs for PackBits, repeated strings for LZW.
            QImage second = Noise(c.width / 2 + 1, c.height + 5, QImage::Format_RGB32, 5);
            for (int y = 0; y < second.height(); y += 2)
                std::fill_n(reinterpret_cast<QRgb *>(second.scanLine(y)), second.width(),
                            qRgb(y & 255, 40, 200));
            const QString path = dir.filePath("picture.tif");
            ASSERT_TRUE(WriteTIFF(first, c.pair ? &second : nullptr, path,
                                  IISaveOptions{std::nullopt, compression}, kSavedPictureDPI));
            const std::vector<TiffImage> images = ReadTiff(path);
            ASSERT_EQ(images.size(), c.pair ? 2u : 1u);
            EXPECT_EQ(images[0].compression, compression);
            EXPECT_EQ(images[0].pixels.convertToFormat(QImage::Format_RGB32), first);
            if (c.pair) {
                EXPECT_EQ(images[1].pixels.convertToFormat(QImage::Format_RGB32), second);
            }
            if (c.width == 1001) {
                EXPECT_GE(images[0].strips, 8u);
            }
            const QString reference = dir.filePath("reference.tif");
            ASSERT_TRUE(WriteLibtiffReference(path, reference));
            EXPECT_EQ(ReadAll(path), ReadAll(reference));
        }
    }
}

}  // namespace
