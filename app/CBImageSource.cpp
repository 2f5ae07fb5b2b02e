#include "CBImageSource.h"

#include <QFileInfo>
#include <QPainter>
#include <libyuv/convert_from_argb.h>

#include <cstdlib>
#include <memory>

#include "content_types.h"
#include "photo_metadata.h"
#include "photo_orientation.h"
#include "raw_photo.h"

namespace {

constexpr float kDefaultDpi = 72.0f;

struct FreeDeleter {
    void operator()(uint8_t *block) const { std::free(block); }
};

float Resolution(const QVariantMap &metadata, const char *key) {
    const float value = metadata.value(key).toFloat();
    return value > 0 ? value : kDefaultDpi;
}

qint64 Number(const QVariantMap &metadata, const char *key) {
    return metadata.value(key).toLongLong();
}

// The record's planes hold width x height pixels of its format.
bool RecordFits(const __tag_QELV_OFFSCREEN &record) {
    const int64_t w = record.i32Width;
    switch (record.u32PixelArrayFormat) {
    case PIXEL_FORMAT_YUYV: return record.ppu8Plane[0] && record.pi32Pitch[0] >= 2 * w;
    case PIXEL_FORMAT_I420:
        return record.ppu8Plane[0] && record.ppu8Plane[1] && record.ppu8Plane[2] &&
               record.pi32Pitch[0] >= w && record.pi32Pitch[1] >= (w + 1) / 2 &&
               record.pi32Pitch[2] >= (w + 1) / 2;
    default: return false;
    }
}

}  // namespace

bool CBImageSource::isCameraRaw() const {
    return FileConformsToContentType(imagePath_, QString::fromLatin1(kContentTypeCameraRaw));
}

bool CBImageSource::initWithPhoto(const QString &path) {
    imagePath_ = path;
    image_ = QImage();
    imageMetadata_.clear();
    if (!QFileInfo(path).isFile()) return false;
    imageMetadata_ = isCameraRaw() ? ReadRawPhotoProperties(path) : ReadReaderPhotoProperties(path);
    return !imageMetadata_.isEmpty();
}

bool CBImageSource::open() {
    image_ = QImage();
    if (!QFileInfo(imagePath_).isFile()) return false;
    const qint64 w = Number(imageMetadata_, kPhotoPixelWidth);
    const qint64 h = Number(imageMetadata_, kPhotoPixelHeight);
    image_ = isCameraRaw() ? DecodeRawPhoto(imagePath_, w, h) : DecodeReaderPhoto(imagePath_, w, h);
    return !image_.isNull();
}

QVariantMap CBImageSource::EXIF() const { return imageMetadata_.value(kPhotoExif).toMap(); }

float CBImageSource::dpiWidth() const { return Resolution(imageMetadata_, kPhotoDPIWidth); }

float CBImageSource::dpiHeight() const { return Resolution(imageMetadata_, kPhotoDPIHeight); }

float CBImageSource::imageExposure() const { return EXIF().value(kExifExposureBias).toFloat(); }

int64_t CBImageSource::imageISO() const {
    const QVariantList ratings = EXIF().value(kExifISOSpeedRatings).toList();
    return ratings.isEmpty() ? 0 : ratings.first().toLongLong();
}

double CBImageSource::imageFocusLength() const {
    return EXIF().value(kExifFocalLength).toDouble();
}

int32_t CBImageSource::orientation() const {
    return ClampOrientation(imageMetadata_.value(kPhotoOrientation).toInt());
}

QSizeF CBImageSource::imageSize(int orientation) const {
    const double w = static_cast<double>(Number(imageMetadata_, kPhotoPixelWidth));
    const double h = static_cast<double>(Number(imageMetadata_, kPhotoPixelHeight));
    return OrientationSwapsSides(orientation) ? QSizeF(h, w) : QSizeF(w, h);
}

QTransform CBImageSource::imageTransform() const {
    return UprightTransform(orientation(), image_.width(), image_.height());
}

bool CBImageSource::image(int orientation, __tag_QELV_OFFSCREEN *record) const {
    if (image_.isNull() || !record || !RecordFits(*record)) return false;
    const QSizeF size = imageSize(orientation);
    const int64_t w = static_cast<int64_t>(size.width()), h = static_cast<int64_t>(size.height());
    const int64_t recordWidth = record->i32Width;
    if (w <= 0 || recordWidth < w || record->i32Height != h) return false;
    // One row of 4 bytes per record pixel; zero-filled so that nothing unwritten is ever read.
    const int64_t stride = 4 * recordWidth;
    std::unique_ptr<uint8_t, FreeDeleter> bitmap(
        static_cast<uint8_t *>(std::calloc(static_cast<size_t>(h), static_cast<size_t>(stride))));
    if (!bitmap) return false;
    if (!DrawUpright(image_, orientation, bitmap.get(), stride, recordWidth, h)) return false;
    const int s = static_cast<int>(stride), rw = record->i32Width, rh = record->i32Height;
    int result = -1;
    if (record->u32PixelArrayFormat == PIXEL_FORMAT_YUYV)
        result = libyuv::ARGBToYUY2(bitmap.get(), s, record->ppu8Plane[0], record->pi32Pitch[0],
                                    rw, rh);
    else
        result = libyuv::ARGBToI420(bitmap.get(), s, record->ppu8Plane[0], record->pi32Pitch[0],
                                    record->ppu8Plane[1], record->pi32Pitch[1],
                                    record->ppu8Plane[2], record->pi32Pitch[2], rw, rh);
    return result == 0;
}

QImage CBImageSource::image(int orientation) const {
    if (image_.isNull()) return {};
    const QSizeF size = imageSize(orientation);
    QImage upright(static_cast<int>(size.width()), static_cast<int>(size.height()),
                   QImage::Format_ARGB32_Premultiplied);
    if (upright.isNull()) return {};
    upright.fill(Qt::transparent);
    QPainter painter(&upright);
    painter.setTransform(UprightTransform(orientation, image_.width(), image_.height()));
    painter.drawImage(QPointF(0, 0), image_);
    return upright;
}
