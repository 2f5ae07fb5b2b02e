#include "raw_photo.h"

#include <QFile>
#include <QFileInfo>
#include <libraw/libraw.h>
#include <libyuv/convert_argb.h>
#include <tiffio.h>

#include <memory>
#include <vector>

#include "photo_metadata.h"
#include "photo_orientation.h"

namespace {

constexpr const char *kReasonDataMissing = "its raw data lies past the end of the file";
// A decoder's bit reader may look a few bytes ahead of the data it needs; a file cut short
// misses far more than this.
constexpr INT64 kLookAheadBytes = 64;

struct MemImageDeleter {
    void operator()(libraw_processed_image_t *image) const { LibRaw::dcraw_clear_mem(image); }
};

// The file as LibRaw reads it, counting the bytes it asks for past the end once armed. LibRaw
// reads raw data that is not there as zeros and reports success: a file cut short would
// develop into a black picture.
class CountingStream : public LibRaw_file_datastream {
public:
    explicit CountingStream(const char *name) : LibRaw_file_datastream(name) {}

    void arm() { armed_ = true; }
    INT64 missingBytes() const { return missing_; }

    int read(void *data, size_t size, size_t count) override {
        const int got = LibRaw_file_datastream::read(data, size, count);
        if (armed_ && size > 0 && static_cast<size_t>(got < 0 ? 0 : got) < count)
            missing_ += static_cast<INT64>((count - static_cast<size_t>(got < 0 ? 0 : got)) * size);
        return got;
    }
    int get_char() override {
        const int c = LibRaw_file_datastream::get_char();
        if (armed_ && c < 0) ++missing_;
        return c;
    }

private:
    bool armed_ = false;
    INT64 missing_ = 0;
};

QString LibRawReason(int code) { return QString::fromLatin1(libraw_strerror(code)); }

int IgnoreTiffMessage(TIFF *, void *, const char *, const char *, va_list) { return 1; }

// Every strip or tile of the directory lies inside the file; directories of reduced pictures
// (previews) and directories without data places do not matter.
bool DirectoryDataInside(TIFF *tiff, uint64_t fileSize) {
    uint32_t subfileType = 0;
    TIFFGetField(tiff, TIFFTAG_SUBFILETYPE, &subfileType);
    if (subfileType & FILETYPE_REDUCEDIMAGE) return true;
    uint64_t *offsets = nullptr, *counts = nullptr;
    if (!TIFFGetField(tiff, TIFFTAG_STRIPOFFSETS, &offsets) ||
        !TIFFGetField(tiff, TIFFTAG_STRIPBYTECOUNTS, &counts) || !offsets || !counts)
        return true;
    const uint32_t pieces = TIFFNumberOfStrips(tiff);
    for (uint32_t i = 0; i < pieces; ++i)
        if (offsets[i] > fileSize || counts[i] > fileSize - offsets[i]) return false;
    return true;
}

// For raws built as TIFF files (DNG and most makers' formats): whether the data of each
// full-size picture, in the directory chain and in the first directory's sub-directories, lies
// inside the file. LibRaw reads compressed data past the end as nothing and develops it black
// without a word. Other raws answer true: the decoder's own reads stand for them.
bool RawDataInsideFile(const QString &path) {
    const uint64_t fileSize = static_cast<uint64_t>(QFileInfo(path).size());
    TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, IgnoreTiffMessage, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, IgnoreTiffMessage, nullptr);
    TIFF *tiff = TIFFOpenExt(QFile::encodeName(path).constData(), "rm", options);
    TIFFOpenOptionsFree(options);
    if (!tiff) return true;
    bool inside = true;
    std::vector<toff_t> subDirectories;
    bool first = true;
    do {
        inside = inside && DirectoryDataInside(tiff, fileSize);
        uint16_t count = 0;
        toff_t *offsets = nullptr;
        if (first && TIFFGetField(tiff, TIFFTAG_SUBIFD, &count, &offsets) && offsets)
            subDirectories.assign(offsets, offsets + count);
        first = false;
    } while (inside && TIFFReadDirectory(tiff));
    for (const toff_t offset : subDirectories)
        if (inside && TIFFSetSubDirectory(tiff, offset))
            inside = DirectoryDataInside(tiff, fileSize);
    TIFFClose(tiff);
    return inside;
}

}  // namespace

QVariantMap ReadRawPhotoProperties(const QString &path, QString *reason) {
    // LibRaw holds large tables: keep it on the heap.
    auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    const int opened = raw->open_file(QFile::encodeName(path).constData());
    if (opened != LIBRAW_SUCCESS) {
        *reason = LibRawReason(opened);
        return {};
    }
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

QImage DecodeRawPhoto(const QString &path, qint64 headerWidth, qint64 headerHeight,
                      QString *reason) {
    if (const char *refusal = PhotoSizeRefusal(headerWidth, headerHeight)) {
        *reason = QString::fromLatin1(refusal);
        return {};
    }
    // The stream outlives the decoder's use of it: LibRaw does not own a stream it is given.
    CountingStream stream(QFile::encodeName(path).constData());
    if (!stream.valid()) {
        *reason = QString::fromLatin1(kReasonNotAFile);
        return {};
    }
    auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    libraw_output_params_t &params = raw->imgdata.params;
    params.use_camera_wb = 1;
    params.no_auto_bright = 1;
    params.output_bps = 8;
    params.output_color = 1;  // sRGB primaries
    params.gamm[0] = 1 / 2.4;  // and the sRGB curve
    params.gamm[1] = 12.92;
    params.user_flip = 0;  // the drawing turns the picture upright
    const int opened = raw->open_datastream(&stream);
    if (opened != LIBRAW_SUCCESS) {
        *reason = LibRawReason(opened);
        return {};
    }
    const libraw_image_sizes_t &sizes = raw->imgdata.sizes;
    if (sizes.width != headerWidth || sizes.height != headerHeight) {
        *reason = QString::fromLatin1(kReasonChanged);
        return {};
    }
    if (!RawDataInsideFile(path)) {
        *reason = QString::fromLatin1(kReasonDataMissing);
        return {};
    }
    stream.arm();
    int result = raw->unpack();
    if (result == LIBRAW_SUCCESS &&
        (stream.missingBytes() > kLookAheadBytes || raw->error_count() > 0)) {
        *reason = QString::fromLatin1(kReasonDataMissing);
        return {};
    }
    if (result == LIBRAW_SUCCESS) result = raw->dcraw_process();
    if (result != LIBRAW_SUCCESS) {
        *reason = LibRawReason(result);
        return {};
    }
    int error = 0;
    std::unique_ptr<libraw_processed_image_t, MemImageDeleter> developed(
        raw->dcraw_make_mem_image(&error));
    if (!developed || developed->type != LIBRAW_IMAGE_BITMAP || developed->colors != 3 ||
        developed->bits != 8 || developed->width != headerWidth ||
        developed->height != headerHeight) {
        *reason = QString::fromLatin1(kReasonUndecodable);
        return {};
    }
    QImage image(developed->width, developed->height, QImage::Format_RGB32);
    // The developed rows are R,G,B bytes without padding.
    if (image.isNull() ||
        libyuv::RAWToARGB(developed->data, 3 * developed->width, image.bits(),
                          static_cast<int>(image.bytesPerLine()), developed->width,
                          developed->height) != 0) {
        *reason = QString::fromLatin1(kReasonUndecodable);
        return {};
    }
    return image;
}
