#include "picture_writer.h"

#include <QBuffer>
#include <QImageWriter>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <libyuv/convert_from_argb.h>
#include <tiffio.h>
#include <unistd.h>
#include <vector>

namespace {

SaveFileFactory &Factory() {
    static SaveFileFactory factory;
    return factory;
}

std::unique_ptr<QSaveFile> MakeSaveFile(const QString &path) {
    if (Factory()) return Factory()(path);
    return std::make_unique<QSaveFile>(path);
}

// Writes bytes produced by write into the file at path and commits it; a failure anywhere
// discards the temporary file and leaves the target untouched.
bool WriteThroughSaveFile(const QString &path, const std::function<bool(QIODevice &)> &write) {
    if (path.isEmpty()) return false;
    std::unique_ptr<QSaveFile> file = MakeSaveFile(path);
    if (!file || !file->open(QIODevice::WriteOnly)) return false;
    if (!write(*file) || file->error() != QFileDevice::NoError) {
        file->cancelWriting();
        return false;
    }
    return file->commit();
}

// ---- libtiff straight into the save file. libtiff seeks, and reads back what it wrote when it
// links a second directory; the save file is written through Qt (so its failures are seen) and
// read through its descriptor, which the temporary file behind it has open for both.

QFileDevice *FileOf(thandle_t handle) { return static_cast<QFileDevice *>(handle); }

tsize_t FileRead(thandle_t handle, tdata_t data, tsize_t size) {
    QFileDevice *file = FileOf(handle);
    if (file->handle() < 0) return -1;
    const qint64 at = file->pos();
    const ssize_t read = ::pread(file->handle(), data, static_cast<size_t>(size), at);
    if (read < 0 || !file->seek(at + read)) return -1;
    return static_cast<tsize_t>(read);
}
tsize_t FileWrite(thandle_t handle, tdata_t data, tsize_t size) {
    return FileOf(handle)->write(static_cast<const char *>(data), size);
}
toff_t FileSeek(thandle_t handle, toff_t offset, int whence) {
    QFileDevice *file = FileOf(handle);
    qint64 base = 0;
    if (whence == SEEK_CUR) base = file->pos();
    if (whence == SEEK_END) base = file->size();
    const qint64 target = base + static_cast<qint64>(offset);
    // A seek past the end is allowed: the next write extends the file, as with a plain file.
    if (target < 0 || !file->seek(target)) return static_cast<toff_t>(-1);
    return static_cast<toff_t>(target);
}
int FileClose(thandle_t) { return 0; }
toff_t FileSize(thandle_t handle) { return static_cast<toff_t>(FileOf(handle)->size()); }
int NoMap(thandle_t, tdata_t *, toff_t *) { return 0; }
void NoUnmap(thandle_t, tdata_t, toff_t) {}

// libtiff reports through handlers that print by default; the answer of each call says enough.
void QuietTIFFHandler(const char *, const char *, va_list) {}

bool WriteTIFFDirectory(TIFF *tiff, const QImage &picture, int compression, double dpi) {
    // 32-bit rows go to libtiff's R,G,B order strip by strip; other layouts are converted first.
    const QImage source = picture.format() == QImage::Format_RGB32 ||
                                  picture.format() == QImage::Format_ARGB32 ||
                                  picture.format() == QImage::Format_ARGB32_Premultiplied
                              ? picture
                              : picture.convertToFormat(QImage::Format_RGB32);
    if (source.isNull()) return false;
    const uint32_t width = static_cast<uint32_t>(source.width());
    const uint32_t height = static_cast<uint32_t>(source.height());
    const size_t rowBytes = 3 * static_cast<size_t>(width);
    // Strips of about 256 KB: few enough for a fast write, small enough for any reader.
    const uint32_t rowsPerStrip =
        static_cast<uint32_t>(std::clamp<size_t>((256u * 1024u) / rowBytes, 1, height));
    bool ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width) &&
              TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height) &&
              TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8) &&
              TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3) &&
              TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
              TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(tiff, TIFFTAG_COMPRESSION, compression) &&
              TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rowsPerStrip) &&
              TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) &&
              TIFFSetField(tiff, TIFFTAG_XRESOLUTION, static_cast<float>(dpi)) &&
              TIFFSetField(tiff, TIFFTAG_YRESOLUTION, static_cast<float>(dpi));
    std::vector<uint8_t> strip(rowBytes * rowsPerStrip);
    for (uint32_t top = 0, index = 0; ok && top < height; top += rowsPerStrip, ++index) {
        const uint32_t rows = std::min(rowsPerStrip, height - top);
        // Qt's 32-bit pixels are B,G,R,A in memory: libyuv's "ARGB" to its "RAW" (R,G,B).
        ok = libyuv::ARGBToRAW(source.constScanLine(static_cast<int>(top)),
                               static_cast<int>(source.bytesPerLine()), strip.data(),
                               static_cast<int>(rowBytes), static_cast<int>(width),
                               static_cast<int>(rows)) == 0;
        ok = ok && TIFFWriteEncodedStrip(tiff, index, strip.data(),
                                         static_cast<tmsize_t>(rowBytes * rows)) >= 0;
    }
    return ok && TIFFWriteDirectory(tiff);
}

}  // namespace

void SetSaveFileFactory(SaveFileFactory factory) { Factory() = std::move(factory); }

QImage ResultImage(const QImage &picture) {
    if (picture.isNull()) return {};
    // A 32-bit picture already has the bitmap's layout: the copy shares its pixels until either
    // side writes to them (Qt's images copy on write), which saves a pass over 48 MB at 12 MP.
    if ((picture.format() == QImage::Format_RGB32 ||
         picture.format() == QImage::Format_ARGB32_Premultiplied) &&
        picture.bytesPerLine() == 4 * static_cast<qsizetype>(picture.width()))
        return picture;
    QImage bitmap = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (bitmap.isNull() || bitmap.bytesPerLine() != 4 * static_cast<qsizetype>(bitmap.width()))
        return {};
    // Every pixel of a picture without alpha is opaque: the copy says so, so that the files
    // written from it carry no alpha channel.
    if (!picture.hasAlphaChannel()) bitmap.reinterpretAsFormat(QImage::Format_RGB32);
    return bitmap;
}

bool WritePicture(const QImage &picture, const QString &path, const QString &uti,
                  const IISaveOptions &options) {
    if (picture.isNull()) return false;
    const QImage result = ResultImage(picture);
    if (result.isNull()) return false;
    // A second header over the same pixels carries the saved resolution: setting it on the
    // result itself would copy the pixels it shares with the shown picture. The writers only
    // read the pixels.
    QImage bitmap(const_cast<uchar *>(result.constBits()), result.width(), result.height(),
                  result.bytesPerLine(), result.format());
    bitmap.setDotsPerMeterX(kSavedPictureDotsPerMeter);
    bitmap.setDotsPerMeterY(kSavedPictureDotsPerMeter);
    if (uti == QLatin1String("public.tiff"))
        return WriteTIFF(bitmap, nullptr, path, options, kSavedPictureDPI);
    QByteArray format;
    int quality = -1;
    if (uti == QLatin1String("public.png")) {
        format = "png";
        // Qt maps a quality q to the zlib level (100 - q) * 9 / 91.
        quality = 100 - (kPNGCompressionLevel * 91 + 8) / 9;
    } else if (uti == QLatin1String("public.jpeg")) {
        format = "jpeg";
        quality = static_cast<int>(std::lround(100.0 * options.lossyCompressionQuality.value_or(0.9)));
        quality = std::clamp(quality, 0, 100);
    } else {
        return false;
    }
    // Encoded in memory first: a file that fails half-way then fails in our own write, not
    // inside the codec (Qt's encoders leak their row buffer when the device fails under them).
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    if (!writer.write(bitmap)) return false;
    buffer.close();
    return WriteThroughSaveFile(path, [&bytes](QIODevice &device) {
        return device.write(bytes) == bytes.size();
    });
}

bool WriteTIFF(const QImage &picture, const QImage *second, const QString &path,
               const IISaveOptions &options, double dpi) {
    if (picture.isNull() || (second && second->isNull())) return false;
    const int compression = options.tiffCompression.value_or(IISaveViewController::kCompressionNone);
    return WriteThroughSaveFile(path, [&](QIODevice &device) {
        const TIFFErrorHandler oldError = TIFFSetErrorHandler(QuietTIFFHandler);
        const TIFFErrorHandler oldWarning = TIFFSetWarningHandler(QuietTIFFHandler);
        TIFF *tiff = TIFFClientOpen("picture", "w", static_cast<QFileDevice *>(&device), FileRead,
                                    FileWrite, FileSeek, FileClose, FileSize, NoMap, NoUnmap);
        bool ok = tiff != nullptr;
        if (ok) ok = WriteTIFFDirectory(tiff, picture, compression, dpi);
        if (ok && second) ok = WriteTIFFDirectory(tiff, *second, compression, dpi);
        if (tiff) TIFFClose(tiff);
        TIFFSetErrorHandler(oldError);
        TIFFSetWarningHandler(oldWarning);
        return ok;
    });
}
