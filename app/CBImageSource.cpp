#include "CBImageSource.h"

#include <QPainter>
#include <libyuv/convert_from_argb.h>
#include <libyuv/planar_functions.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "content_types.h"
#include "photo_file.h"
#include "photo_metadata.h"
#include "photo_orientation.h"
#include "raw_photo.h"

namespace {

constexpr float kDefaultDpi = 72.0f;
// Rows drawn and converted at a time (even, so 4:2:0 chroma rows pair up inside a band).
constexpr int64_t kBandRows = 64;

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

// Converts rows of B,G,R,X pixels into the record's rows y .. y + rows - 1 (y even). The engine
// reads its samples as full range (0-255: its gamma table, chroma steps and clip tests), so
// the rows are converted with the full-range (JPEG) matrix, as the merge program converts its
// photos: limited-range luma would never reach the engine's clipped white. Packed rows are made
// from 4:2:2 planes in scratch, the merge program's road.
bool ConvertRows(const uint8_t *bitmap, int stride, const __tag_QELV_OFFSCREEN &record, int y,
                 int width, int rows, std::vector<uint8_t> *scratch) {
    uint8_t *const *planes = record.ppu8Plane;
    const int32_t *pitch = record.pi32Pitch;
    const auto at = [&](int p, int row) { return planes[p] + static_cast<int64_t>(row) * pitch[p]; };
    if (record.u32PixelArrayFormat == PIXEL_FORMAT_I420)
        return libyuv::ARGBToJ420(bitmap, stride, at(0, y), pitch[0], at(1, y / 2), pitch[1],
                                  at(2, y / 2), pitch[2], width, rows) == 0;
    const int cw = (width + 1) / 2;
    scratch->resize(size_t(width + 2 * cw) * size_t(rows));
    uint8_t *luma = scratch->data(), *u = luma + size_t(width) * rows, *v = u + size_t(cw) * rows;
    return libyuv::ARGBToJ422(bitmap, stride, luma, width, u, cw, v, cw, width, rows) == 0 &&
           libyuv::I422ToYUY2(luma, width, u, cw, v, cw, at(0, y), pitch[0], width, rows) == 0;
}

}  // namespace

bool CBImageSource::isCameraRaw() const {
    return FileConformsToContentType(imagePath_, QString::fromLatin1(kContentTypeCameraRaw));
}

bool CBImageSource::initWithPhoto(const QString &path) {
    imagePath_ = path;
    image_ = QImage();
    imageMetadata_.clear();
    failureReason_.clear();
    if (const char *refusal = PhotoFileRefusal(path)) {
        failureReason_ = QString::fromLatin1(refusal);
        return false;
    }
    imageMetadata_ = isCameraRaw() ? ReadRawPhotoProperties(path, &failureReason_)
                                   : ReadReaderPhotoProperties(path, &failureReason_);
    if (imageMetadata_.isEmpty() && failureReason_.isEmpty())
        failureReason_ = QString::fromLatin1(kReasonUnreadable);
    return !imageMetadata_.isEmpty();
}

bool CBImageSource::open() {
    image_ = QImage();
    failureReason_.clear();
    if (const char *refusal = PhotoFileRefusal(imagePath_)) {
        failureReason_ = QString::fromLatin1(refusal);
        return false;
    }
    const qint64 w = Number(imageMetadata_, kPhotoPixelWidth);
    const qint64 h = Number(imageMetadata_, kPhotoPixelHeight);
    image_ = isCameraRaw() ? DecodeRawPhoto(imagePath_, w, h, &failureReason_)
                           : DecodeReaderPhoto(imagePath_, w, h, &failureReason_);
    if (!image_.isNull()) failureReason_.clear();
    else if (failureReason_.isEmpty()) failureReason_ = QString::fromLatin1(kReasonUndecodable);
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
    // Drawn and converted a band of rows at a time, so the bitmap stays small; one row of 4
    // bytes per record pixel, zero-filled so that nothing unwritten is ever read.
    const int64_t stride = 4 * recordWidth;
    const int64_t band = std::min<int64_t>(kBandRows, h);
    std::unique_ptr<uint8_t, FreeDeleter> bitmap(
        static_cast<uint8_t *>(std::calloc(static_cast<size_t>(band), static_cast<size_t>(stride))));
    if (!bitmap) return false;
    const int s = static_cast<int>(stride), rw = record->i32Width;
    std::vector<uint8_t> scratch;
    for (int64_t y = 0; y < h; y += band) {
        const int rows = static_cast<int>(std::min(band, h - y));
        if (!DrawUprightRows(image_, orientation, y, rows, bitmap.get(), stride, recordWidth))
            return false;
        if (!ConvertRows(bitmap.get(), s, *record, static_cast<int>(y), rw, rows, &scratch))
            return false;
    }
    return true;
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
