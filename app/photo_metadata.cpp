#include "photo_metadata.h"

#include <QFile>
#include <QImageReader>
#include <libexif/exif-data.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "exif_orientation.h"
#include "jpeg_bands.h"
#include "jpeg_checks.h"
#include "jpeg_layout.h"
#include "photo_file.h"
#include "photo_orientation.h"

namespace {

// Room for a 100-megapixel photo of 32-bit pixels; the reader's default refuses ~33 megapixels.
constexpr int kReaderAllocationLimitMB = 400;

struct ExifDataDeleter {
    void operator()(ExifData *data) const { exif_data_unref(data); }
};

bool EntryNumber(ExifEntry *entry, ExifByteOrder order, unsigned index, double *value) {
    if (!entry || !entry->data || index >= entry->components) return false;
    const unsigned char *at = entry->data + index * exif_format_get_size(entry->format);
    switch (entry->format) {
    case EXIF_FORMAT_SHORT: *value = exif_get_short(at, order); return true;
    case EXIF_FORMAT_LONG: *value = exif_get_long(at, order); return true;
    case EXIF_FORMAT_RATIONAL: {
        const ExifRational r = exif_get_rational(at, order);
        if (!r.denominator) return false;
        *value = static_cast<double>(r.numerator) / r.denominator;
        return true;
    }
    case EXIF_FORMAT_SRATIONAL: {
        const ExifSRational r = exif_get_srational(at, order);
        if (!r.denominator) return false;
        *value = static_cast<double>(r.numerator) / r.denominator;
        return true;
    }
    default: return false;
    }
}

void AddExifProperties(const QString &path, QVariantMap *properties) {
    std::unique_ptr<ExifData, ExifDataDeleter> data(
        exif_data_new_from_file(QFile::encodeName(path).constData()));
    if (!data) return;
    const ExifByteOrder order = exif_data_get_byte_order(data.get());
    ExifContent *main = data->ifd[EXIF_IFD_0];
    ExifContent *exif = data->ifd[EXIF_IFD_EXIF];

    double x = 0, y = 0, unit = 2;
    EntryNumber(exif_content_get_entry(main, EXIF_TAG_RESOLUTION_UNIT), order, 0, &unit);
    const double perInch = unit == 3 ? 2.54 : 1.0;
    if (!properties->contains(kPhotoDPIWidth) &&
        EntryNumber(exif_content_get_entry(main, EXIF_TAG_X_RESOLUTION), order, 0, &x) &&
        EntryNumber(exif_content_get_entry(main, EXIF_TAG_Y_RESOLUTION), order, 0, &y)) {
        properties->insert(kPhotoDPIWidth, x * perInch);
        properties->insert(kPhotoDPIHeight, y * perInch);
    }

    QVariantMap fields;
    double value = 0;
    if (EntryNumber(exif_content_get_entry(exif, EXIF_TAG_EXPOSURE_BIAS_VALUE), order, 0, &value))
        fields.insert(kExifExposureBias, value);
    if (EntryNumber(exif_content_get_entry(exif, EXIF_TAG_FOCAL_LENGTH), order, 0, &value))
        fields.insert(kExifFocalLength, value);
    ExifEntry *iso = exif_content_get_entry(exif, EXIF_TAG_ISO_SPEED_RATINGS);
    QVariantList ratings;
    for (unsigned i = 0; iso && i < iso->components; ++i)
        if (EntryNumber(iso, order, i, &value)) ratings << static_cast<qint64>(value);
    if (!ratings.isEmpty()) fields.insert(kExifISOSpeedRatings, ratings);
    properties->insert(kPhotoExif, fields);
}

void PrepareReader(QImageReader *reader) {
    reader->setAutoTransform(false);
    reader->setAllocationLimit(kReaderAllocationLimitMB);
}

// JPEG and PNG photos take their orientation from the reading the merge program shares: of a
// JPEG only its header, which holds the orientation, is read; a PNG is mapped, not copied.
// Other formats take it from the image reader.
int FileOrientation(const QString &path, QImageReader *reader) {
    const QByteArray format = reader->format();
    if (format == "jpeg") {
        PhotoFile file;
        QString reason;
        QByteArray header;
        if (!file.open(path, QByteArray("\xFF\xD8", 2), &reason) ||
            !file.read(WalkJpeg(file, 0).headerBytes, &header))
            return 1;
        return tonefold::ReadPhotoOrientation(reinterpret_cast<const uint8_t *>(header.constData()),
                                              static_cast<size_t>(header.size()));
    }
    if (format != "png") return OrientationFromTransformation(reader->transformation());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() <= 0) return 1;
    if (uchar *bytes = file.map(0, file.size())) {
        const int orientation =
            tonefold::ReadPhotoOrientation(bytes, static_cast<size_t>(file.size()));
        file.unmap(bytes);
        return orientation;
    }
    const QByteArray bytes = file.readAll();
    return tonefold::ReadPhotoOrientation(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                          static_cast<size_t>(bytes.size()));
}

// Whether every chunk of a PNG lies inside the file, up to its end chunk, and is named in
// letters as PNG names every chunk. The image reader takes a chunk's declared length at its
// word: a few hundred bytes announcing gigabytes of text have it allocate and clear that much
// before the read fails. And zeros read as empty chunks: without the check on names, a header
// followed by a hole of gigabytes would be walked twelve bytes at a time.
bool PngChunksInsideFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    constexpr qint64 kSignatureBytes = 8, kChunkFrameBytes = 12;
    const qint64 size = file.size();
    qint64 pos = kSignatureBytes;
    uchar head[8];
    while (file.seek(pos) && file.read(reinterpret_cast<char *>(head), 8) == 8) {
        const qint64 length = static_cast<qint64>(head[0]) << 24 | head[1] << 16 | head[2] << 8 |
                              head[3];
        if (length > size - pos - kChunkFrameBytes) return false;
        if (!std::all_of(head + 4, head + 8, [](uchar c) {
                return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
            }))
            return false;
        if (std::memcmp(head + 4, "IEND", 4) == 0) return true;
        pos += kChunkFrameBytes + length;
    }
    return false;
}

// Whether the file starts with a start-of-image marker, by which the image reader takes a file
// for a JPEG whatever its name.
bool StartsAsJpeg(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(2) == QByteArray("\xFF\xD8", 2);
}

// Walks a JPEG's markers before the image reader sees the file: the reader reads a header of
// tens of thousands of markers in minutes, and a header without a scan on through the rest of
// the file. Only the header is walked: false, with the reason, when the walk refuses it.
bool JpegHeaderWalks(const QString &path, QString *reason) {
    PhotoFile file;
    if (!file.open(path, QByteArray("\xFF\xD8", 2), reason)) return false;
    *reason = JpegLayoutRefusal(WalkJpeg(file, 0), false);
    return reason->isEmpty();
}

// The JPEG's bytes up to its end-of-image marker, read once its markers show marker and scan
// counts within the limits, entropy-coded data within the frame's bounds and that marker after
// the last scan; nothing is read or decoded before. Empty, with the reason, when it is refused.
QByteArray ReadCheckedJpeg(const QString &path, QString *reason) {
    PhotoFile file;
    if (!file.open(path, QByteArray("\xFF\xD8", 2), reason)) return {};
    const JpegLayout layout = WalkJpeg(file, tonefold::kMaxJpegScans);
    *reason = JpegLayoutRefusal(layout, true);
    QByteArray bytes;
    if (reason->isEmpty() && !file.read(layout.bytes, &bytes))
        *reason = QString::fromLatin1(kReasonChanged);
    return reason->isEmpty() ? bytes : QByteArray();
}

// The JPEG's checked bytes decoded in bands; null when the bands do not take them, with the
// reason when they are refused. A JPEG that the image reader is to decode is checked first, as
// the reader would fill damaged parts with grey.
QImage DecodeCheckedJpeg(const QByteArray &bytes, qint64 width, qint64 height, QString *reason) {
    QImage banded = DecodeJpegInBands(bytes, width, height, reason);
    if (banded.isNull() && reason->isEmpty()) *reason = JpegDamage(bytes);
    return banded;
}

}  // namespace

const char *PhotoSizeRefusal(qint64 width, qint64 height) {
    if (width <= 0 || height <= 0) return kReasonUnreadable;
    if (width > kMaxPhotoSide || height > kMaxPhotoSide) return kReasonTooWide;
    if (width * height > kMaxPhotoPixels) return kReasonTooLarge;
    return nullptr;
}

bool ReadJfifDensity(const QString &path, double *dpiX, double *dpiY) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    uchar head[2];
    if (file.read(reinterpret_cast<char *>(head), 2) != 2 || head[0] != 0xFF || head[1] != 0xD8)
        return false;
    // Walks the segments before the first scan; JFIF's APP0 holds units and two densities.
    for (;;) {
        uchar marker[4];
        if (file.read(reinterpret_cast<char *>(marker), 4) != 4 || marker[0] != 0xFF) return false;
        const int length = (marker[2] << 8) | marker[3];
        if (marker[1] == 0xDA || marker[1] == 0xD9 || length < 2) return false;
        if (marker[1] == 0xE0 && length >= 16) {
            uchar app0[14];
            if (file.read(reinterpret_cast<char *>(app0), 14) != 14) return false;
            if (std::memcmp(app0, "JFIF\0", 5) != 0) return false;
            const int unit = app0[7];
            const int x = (app0[8] << 8) | app0[9], y = (app0[10] << 8) | app0[11];
            if ((unit != 1 && unit != 2) || x == 0 || y == 0) return false;
            const double perInch = unit == 2 ? 2.54 : 1.0;
            *dpiX = x * perInch;
            *dpiY = y * perInch;
            return true;
        }
        if (!file.seek(file.pos() + length - 2)) return false;
    }
}

QVariantMap ReadReaderPhotoProperties(const QString &path, QString *reason) {
    if (StartsAsJpeg(path) && !JpegHeaderWalks(path, reason)) return {};
    QImageReader reader(path);
    PrepareReader(&reader);
    if (!reader.canRead()) {
        *reason = QString::fromLatin1(kReasonUnreadable);
        return {};
    }
    if (reader.format() == "png" && !PngChunksInsideFile(path)) {
        *reason = QString::fromLatin1(kReasonPngDamaged);
        return {};
    }
    const QSize size = reader.size();
    QVariantMap properties;
    if (size.isValid()) {
        properties.insert(kPhotoPixelWidth, static_cast<qint64>(size.width()));
        properties.insert(kPhotoPixelHeight, static_cast<qint64>(size.height()));
    }
    properties.insert(kPhotoOrientation, FileOrientation(path, &reader));
    double x = 0, y = 0;
    if (ReadJfifDensity(path, &x, &y)) {
        properties.insert(kPhotoDPIWidth, x);
        properties.insert(kPhotoDPIHeight, y);
    }
    AddExifProperties(path, &properties);
    return properties;
}

QImage DecodeReaderPhoto(const QString &path, qint64 headerWidth, qint64 headerHeight,
                         QString *reason) {
    if (const char *refusal = PhotoSizeRefusal(headerWidth, headerHeight)) {
        *reason = QString::fromLatin1(refusal);
        return {};
    }
    // A JPEG's markers are walked and its bytes read before the image reader sees the file.
    const bool jpeg = StartsAsJpeg(path);
    const QByteArray jpegBytes = jpeg ? ReadCheckedJpeg(path, reason) : QByteArray();
    if (jpeg && jpegBytes.isEmpty()) return {};
    QImageReader reader(path);
    PrepareReader(&reader);
    // The file may have changed since its properties were read.
    if (reader.size() != QSize(static_cast<int>(headerWidth), static_cast<int>(headerHeight))) {
        *reason = QString::fromLatin1(kReasonChanged);
        return {};
    }
    // JPEG photos, the usual case, are decoded in bands of rows side by side when they can be.
    if (reader.format() == "jpeg") {
        QImage banded = DecodeCheckedJpeg(jpegBytes, headerWidth, headerHeight, reason);
        if (!banded.isNull()) return banded;
        if (!reason->isEmpty()) return {};
    }
    if (reader.format() == "png" && !PngChunksInsideFile(path)) {
        *reason = QString::fromLatin1(kReasonPngDamaged);
        return {};
    }
    QImage image;
    if (!reader.read(&image) || image.width() != headerWidth || image.height() != headerHeight) {
        *reason = QString::fromLatin1(kReasonUndecodable);
        return {};
    }
    if (image.format() != QImage::Format_RGB32) image.convertTo(QImage::Format_RGB32);
    return image;
}
