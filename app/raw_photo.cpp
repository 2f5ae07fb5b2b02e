#include "raw_photo.h"

#include <QFile>
#include <libraw/libraw.h>
#include <libyuv/convert_argb.h>

#include <memory>

#include "photo_metadata.h"
#include "photo_orientation.h"

namespace {

struct MemImageDeleter {
    void operator()(libraw_processed_image_t *image) const { LibRaw::dcraw_clear_mem(image); }
};

// LibRaw holds large tables: keep it on the heap.
std::unique_ptr<LibRaw> OpenRaw(const QString &path) {
    auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    if (raw->open_file(QFile::encodeName(path).constData()) != LIBRAW_SUCCESS) return nullptr;
    return raw;
}

}  // namespace

QVariantMap ReadRawPhotoProperties(const QString &path) {
    const std::unique_ptr<LibRaw> raw = OpenRaw(path);
    if (!raw) return {};
    const libraw_image_sizes_t &sizes = raw->imgdata.sizes;
    QVariantMap properties;
    properties.insert(kPhotoPixelWidth, static_cast<qint64>(sizes.width));
    properties.insert(kPhotoPixelHeight, static_cast<qint64>(sizes.height));
    properties.insert(kPhotoOrientation, OrientationFromRawFlip(sizes.flip));
    QVariantMap fields;
    const libraw_imgother_t &other = raw->imgdata.other;
    if (other.iso_speed > 0)
        fields.insert(kExifISOSpeedRatings, QVariantList{static_cast<qint64>(other.iso_speed)});
    if (other.focal_len > 0) fields.insert(kExifFocalLength, static_cast<double>(other.focal_len));
    properties.insert(kPhotoExif, fields);
    return properties;
}

QImage DecodeRawPhoto(const QString &path, qint64 headerWidth, qint64 headerHeight) {
    if (headerWidth <= 0 || headerHeight <= 0 || headerWidth * headerHeight > kMaxPhotoPixels)
        return {};
    auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    libraw_output_params_t &params = raw->imgdata.params;
    params.use_camera_wb = 1;
    params.no_auto_bright = 1;
    params.output_bps = 8;
    params.output_color = 1;  // sRGB primaries
    params.gamm[0] = 1 / 2.4;  // and the sRGB curve
    params.gamm[1] = 12.92;
    params.user_flip = 0;  // the drawing turns the picture upright
    if (raw->open_file(QFile::encodeName(path).constData()) != LIBRAW_SUCCESS) return {};
    const libraw_image_sizes_t &sizes = raw->imgdata.sizes;
    if (sizes.width != headerWidth || sizes.height != headerHeight) return {};
    if (raw->unpack() != LIBRAW_SUCCESS || raw->dcraw_process() != LIBRAW_SUCCESS) return {};
    int error = 0;
    std::unique_ptr<libraw_processed_image_t, MemImageDeleter> developed(
        raw->dcraw_make_mem_image(&error));
    if (!developed || developed->type != LIBRAW_IMAGE_BITMAP || developed->colors != 3 ||
        developed->bits != 8 || developed->width != headerWidth ||
        developed->height != headerHeight)
        return {};
    QImage image(developed->width, developed->height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    // The developed rows are R,G,B bytes without padding.
    if (libyuv::RAWToARGB(developed->data, 3 * developed->width, image.bits(),
                          static_cast<int>(image.bytesPerLine()), developed->width,
                          developed->height) != 0)
        return {};
    return image;
}
