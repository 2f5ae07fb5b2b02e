#include "photo_fixtures.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <tiffio.h>

namespace fixtures {

namespace {

void Put16(QByteArray *out, int value) {
    out->append(static_cast<char>(value & 0xFF));
    out->append(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(QByteArray *out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

struct IfdEntry {
    int tag, type;
    uint32_t count;
    QByteArray value;  // little-endian bytes
};

// Writes one IFD at offset base of the TIFF block: entries, next IFD 0, then the values that do
// not fit in four bytes.
QByteArray Ifd(const std::vector<IfdEntry> &entries, uint32_t base) {
    QByteArray head, data;
    Put16(&head, static_cast<int>(entries.size()));
    const uint32_t dataStart = base + 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
    for (const IfdEntry &e : entries) {
        Put16(&head, e.tag);
        Put16(&head, e.type);
        Put32(&head, e.count);
        if (e.value.size() <= 4) {
            head.append(e.value.leftJustified(4, '\0'));
        } else {
            Put32(&head, dataStart + static_cast<uint32_t>(data.size()));
            data.append(e.value);
        }
    }
    Put32(&head, 0);
    return head + data;
}

QByteArray Rational(int64_t numerator, int64_t denominator) {
    QByteArray out;
    Put32(&out, static_cast<uint32_t>(numerator));
    Put32(&out, static_cast<uint32_t>(denominator));
    return out;
}

QByteArray Short(int value) {
    QByteArray out;
    Put16(&out, value);
    return out;
}

QByteArray ExifSegment(const ExifFields &fields) {
    std::vector<IfdEntry> exif;
    if (fields.iso) exif.push_back({0x8827, 3, 1, Short(*fields.iso)});
    if (fields.exposureBias)
        exif.push_back({0x9204, 10, 1, Rational(std::lround(*fields.exposureBias * 100), 100)});
    if (fields.focalLength)
        exif.push_back({0x920A, 5, 1, Rational(std::lround(*fields.focalLength * 10), 10)});
    std::vector<IfdEntry> main;
    if (fields.orientation) main.push_back({0x0112, 3, 1, Short(*fields.orientation)});
    QByteArray pointer;
    Put32(&pointer, 0);
    if (!exif.empty()) main.push_back({0x8769, 4, 1, pointer});
    QByteArray mainIfd = Ifd(main, 8);
    if (!exif.empty()) {
        const uint32_t exifOffset = 8 + static_cast<uint32_t>(mainIfd.size());
        QByteArray offset;
        Put32(&offset, exifOffset);
        main.back().value = offset;
        mainIfd = Ifd(main, 8) + Ifd(exif, exifOffset);
    }
    QByteArray tiff("II*\0", 4);
    Put32(&tiff, 8);
    tiff += mainIfd;
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xFF\xE1", 2);
    segment.append(static_cast<char>((payload.size() + 2) >> 8));
    segment.append(static_cast<char>((payload.size() + 2) & 0xFF));
    return segment + payload;
}

QByteArray JfifSegment(int unit, int x, int y) {
    QByteArray s("\xFF\xE0\x00\x10JFIF\x00\x01\x01", 11);
    s.append(static_cast<char>(unit));
    s.append(static_cast<char>(x >> 8)).append(static_cast<char>(x & 0xFF));
    s.append(static_cast<char>(y >> 8)).append(static_cast<char>(y & 0xFF));
    s.append('\0').append('\0');
    return s;
}

}  // namespace

QByteArray EncodeJpeg(const QImage &image, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.write(image);
    return bytes;
}

QByteArray WithSegments(const QByteArray &jpeg, int jfifUnit, int xDensity, int yDensity,
                        const std::optional<ExifFields> &exif) {
    // Skips SOI and the application segments that follow it.
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && static_cast<uchar>(jpeg[at]) == 0xFF &&
           (static_cast<uchar>(jpeg[at + 1]) & 0xF0) == 0xE0) {
        const int length = (static_cast<uchar>(jpeg[at + 2]) << 8) | static_cast<uchar>(jpeg[at + 3]);
        at += 2 + length;
    }
    QByteArray out = jpeg.left(2) + JfifSegment(jfifUnit, xDensity, yDensity);
    if (exif) out += ExifSegment(*exif);
    return out + jpeg.mid(at);
}

bool WriteFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QImage UprightPattern(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(128, 128, 128));
    QPainter painter(&image);
    painter.fillRect(16, 16, 16, 16, QColor(255, 0, 0));
    painter.fillRect(width - 32, 16, 16, 16, QColor(0, 0, 255));
    return image;
}

QImage StoredForOrientation(const QImage &upright, int orientation) {
    const int W = upright.width(), H = upright.height();
    const bool swaps = orientation >= 5 && orientation <= 8;
    const int w = swaps ? H : W, h = swaps ? W : H;
    QImage stored(w, h, QImage::Format_RGB32);
    // For each stored pixel, the upright pixel it shows, by the orientation codes' meaning: which
    // side of the picture the stored row 0 and column 0 are.
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int ux = x, uy = y;
            switch (orientation) {
            case 2: ux = W - 1 - x; break;                   // row 0 top, column 0 right
            case 3: ux = W - 1 - x, uy = H - 1 - y; break;   // row 0 bottom, column 0 right
            case 4: uy = H - 1 - y; break;                   // row 0 bottom, column 0 left
            case 5: ux = y, uy = x; break;                   // row 0 left, column 0 top
            case 6: ux = W - 1 - y, uy = x; break;           // row 0 right, column 0 top
            case 7: ux = W - 1 - y, uy = H - 1 - x; break;   // row 0 right, column 0 bottom
            case 8: ux = y, uy = H - 1 - x; break;           // row 0 left, column 0 bottom
            default: break;
            }
            stored.setPixel(x, y, upright.pixel(ux, uy));
        }
    }
    return stored;
}

bool WriteLinearDng(const QString &path, int width, int height, const std::vector<uint16_t> &rgb,
                    int orientation) {
    TIFF *tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tiff) return false;
    static const uint8_t version[4] = {1, 4, 0, 0};
    // Camera space = linear sRGB: the colour matrix maps XYZ to sRGB.
    static const float xyzToCamera[9] = {3.2406f,  -1.5372f, -0.4986f, -0.9689f, 1.8758f,
                                         0.0415f,  0.0557f,  -0.2040f, 1.0570f};
    static const float neutral[3] = {1, 1, 1};
    const uint32_t white = 65535;
    TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, 0);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, 34892);  // LinearRaw
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, orientation);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, height);
    TIFFSetField(tiff, TIFFTAG_MAKE, "Tonefold");
    TIFFSetField(tiff, TIFFTAG_MODEL, "Test Camera");
    TIFFSetField(tiff, TIFFTAG_DNGVERSION, version);
    TIFFSetField(tiff, TIFFTAG_DNGBACKWARDVERSION, version);
    TIFFSetField(tiff, TIFFTAG_UNIQUECAMERAMODEL, "Tonefold Test Camera");
    TIFFSetField(tiff, TIFFTAG_COLORMATRIX1, 9, xyzToCamera);
    TIFFSetField(tiff, TIFFTAG_ASSHOTNEUTRAL, 3, neutral);
    TIFFSetField(tiff, TIFFTAG_CALIBRATIONILLUMINANT1, 21);  // D65
    TIFFSetField(tiff, TIFFTAG_WHITELEVEL, 1, &white);
    bool ok = true;
    for (int y = 0; y < height && ok; ++y) {
        std::vector<uint16_t> row(rgb.begin() + static_cast<size_t>(y) * width * 3,
                                  rgb.begin() + static_cast<size_t>(y + 1) * width * 3);
        ok = TIFFWriteScanline(tiff, row.data(), y, 0) >= 0;
    }
    TIFFClose(tiff);
    return ok;
}

}  // namespace fixtures
