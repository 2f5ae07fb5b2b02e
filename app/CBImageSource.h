// One photo: its properties, its first image, and its upright drawing into an image record.
#pragma once

#include <QImage>
#include <QSizeF>
#include <QString>
#include <QTransform>
#include <QVariantMap>
#include <cstdint>

#include "hdr_engine.h"

class CBImageSource {
public:
    // Stores the path and reads the photo's properties; false when the file cannot be read as a
    // photo (camera raw through LibRaw, anything else through the image reader), or is missing,
    // may not be read or is not a regular file, each with its own reason.
    bool initWithPhoto(const QString &path);

    // Decodes the photo's first image; false when it cannot be decoded, when it has more than
    // kMaxPhotoPixels pixels (checked before decoding), or when its decoded size is not the size
    // its properties gave.
    bool open();

    // Why the last initWithPhoto or open answered false, in a few plain words or the decoder's
    // own message; empty after success.
    QString failureReason() const { return failureReason_; }

    QString imagePath() const { return imagePath_; }
    void setImagePath(const QString &path) { imagePath_ = path; }
    // The decoded image as stored (not upright), RGB32; null before a successful open.
    QImage image() const { return image_; }
    QVariantMap imageMetadata() const { return imageMetadata_; }
    void setImageMetadata(const QVariantMap &metadata) { imageMetadata_ = metadata; }

    QVariantMap EXIF() const;
    // Resolution in dots per inch, 72 when absent or 0.
    float dpiWidth() const;
    float dpiHeight() const;
    // EXIF fields, 0 when absent.
    float imageExposure() const;
    int64_t imageISO() const;
    double imageFocusLength() const;
    // The stored orientation, 1 unless 1..8.
    int32_t orientation() const;
    // The pixel size of the properties, sides swapped for orientations 5 to 8.
    QSizeF imageSize(int orientation) const;
    // Draws image() upright; equal scale both ways, so sizes are kept.
    QTransform imageTransform() const;

    // Draws the photo upright and converts it into the record (PIXEL_FORMAT_YUYV or
    // PIXEL_FORMAT_I420, full-range samples, as high as the upright photo and at least as
    // wide). Columns beyond the photo's width repeat its last column. False without a decoded image, for a record that
    // does not fit, or when the bitmap cannot be allocated.
    bool image(int orientation, __tag_QELV_OFFSCREEN *record) const;

    // The upright photo as a premultiplied ARGB image; null without a decoded image.
    QImage image(int orientation) const;

private:
    bool isCameraRaw() const;

    QString imagePath_;
    QImage image_;
    QVariantMap imageMetadata_;
    QString failureReason_;
};
