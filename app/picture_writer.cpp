#include "picture_writer.h"

#include "localized_string.h"
#include "png_writer.h"
#include "row_bands.h"
#include "write_target.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <libyuv/convert_from_argb.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>
#include <memory>
#include <new>
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

// The save file keeps a replaced file's permissions; its owner and group are given to the
// temporary here, where the process may set them (root replacing a user's file gives it back
// to that user, a user may keep a group of theirs). False on a failure other than that.
bool KeepOwnerAndGroup(const QString &path, const QSaveFile &file) {
    struct stat existing {};
    struct stat made {};
    if (stat(QFile::encodeName(path).constData(), &existing) != 0 || !S_ISREG(existing.st_mode))
        return true;  // a new file
    if (file.handle() < 0 || fstat(file.handle(), &made) != 0) return false;
    if (made.st_uid == existing.st_uid && made.st_gid == existing.st_gid) return true;
    return fchown(file.handle(), existing.st_uid, existing.st_gid) == 0 || errno == EPERM;
}

// Writes bytes produced by write into the file at path and commits it; a failure anywhere
// discards the temporary file and leaves the target untouched.
bool WriteThroughSaveFile(const QString &path, const std::function<bool(QIODevice &)> &write) {
    if (path.isEmpty()) return false;
    std::unique_ptr<QSaveFile> file = MakeSaveFile(path);
    if (!file || !file->open(QIODevice::WriteOnly)) return false;
    if (!write(*file) || file->error() != QFileDevice::NoError ||
        !KeepOwnerAndGroup(path, *file)) {
        file->cancelWriting();
        return false;
    }
    return file->commit();
}

QString TypeName(const QString &uti) {
    for (const IISaveType &type : IISaveViewController::saveTypes())
        if (type.uti == uti) return type.localized;
    return uti;
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

// The layout every directory shares: 8-bit R,G,B in strips of about 256 KB, few enough for a
// fast write and small enough for any reader.
struct StripLayout {
    uint32_t width = 0, height = 0, rowsPerStrip = 0, strips = 0;
    size_t rowBytes = 0;
    int compression = 0;
};

StripLayout LayoutOf(const QImage &source, int compression) {
    StripLayout layout;
    layout.width = static_cast<uint32_t>(source.width());
    layout.height = static_cast<uint32_t>(source.height());
    layout.rowBytes = 3 * static_cast<size_t>(layout.width);
    layout.rowsPerStrip = static_cast<uint32_t>(
        std::clamp<size_t>((256u * 1024u) / layout.rowBytes, 1, layout.height));
    layout.strips = (layout.height + layout.rowsPerStrip - 1) / layout.rowsPerStrip;
    layout.compression = compression;
    return layout;
}

// The tags that decide how strips are encoded, for an image of the given height.
bool SetStripTags(TIFF *tiff, const StripLayout &layout, uint32_t height) {
    return TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, layout.width) &&
           TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height) &&
           TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8) &&
           TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3) &&
           TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
           TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
           TIFFSetField(tiff, TIFFTAG_COMPRESSION, layout.compression) &&
           TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, layout.rowsPerStrip);
}

// The rows of a strip in libtiff's R,G,B order; answers their byte count, 0 on failure.
size_t StripRows(const QImage &source, const StripLayout &layout, uint32_t strip, uint8_t *out) {
    const uint32_t top = strip * layout.rowsPerStrip;
    const uint32_t rows = std::min(layout.rowsPerStrip, layout.height - top);
    // Qt's 32-bit pixels are B,G,R,A in memory: libyuv's "ARGB" to its "RAW" (R,G,B).
    const bool ok = libyuv::ARGBToRAW(source.constScanLine(static_cast<int>(top)),
                                      static_cast<int>(source.bytesPerLine()), out,
                                      static_cast<int>(layout.rowBytes),
                                      static_cast<int>(layout.width), static_cast<int>(rows)) == 0;
    return ok ? layout.rowBytes * rows : 0;
}

// ---- A TIFF in memory, where workers let libtiff's own codec compress their strips.

// Its bytes are never zeroed and grow rarely: the first capacity is taken as large as the
// strips could become, and untouched pages of a large allocation cost nothing.
struct MemoryFile {
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0, capacity = 0, at = 0;
};

MemoryFile *MemoryOf(thandle_t handle) { return static_cast<MemoryFile *>(handle); }

bool Reserve(MemoryFile &file, size_t capacity) {
    if (capacity <= file.capacity) return true;
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[capacity]);
    if (!bytes) return false;
    if (file.size > 0) std::memcpy(bytes.get(), file.bytes.get(), file.size);
    file.bytes = std::move(bytes);
    file.capacity = capacity;
    return true;
}

tsize_t MemoryRead(thandle_t handle, tdata_t data, tsize_t size) {
    MemoryFile *file = MemoryOf(handle);
    const size_t count =
        std::min(static_cast<size_t>(size), file->size - std::min(file->at, file->size));
    if (count > 0) std::memcpy(data, file->bytes.get() + file->at, count);
    file->at += count;
    return static_cast<tsize_t>(count);
}
tsize_t MemoryWrite(thandle_t handle, tdata_t data, tsize_t size) {
    MemoryFile *file = MemoryOf(handle);
    const size_t count = static_cast<size_t>(size), end = file->at + count;
    if (end > file->capacity && !Reserve(*file, std::max(end, 2 * file->capacity))) return -1;
    // A seek past the end leaves a gap, as in a plain file.
    if (file->at > file->size)
        std::memset(file->bytes.get() + file->size, 0, file->at - file->size);
    std::memcpy(file->bytes.get() + file->at, data, count);
    file->at = end;
    file->size = std::max(file->size, end);
    return size;
}
toff_t MemorySeek(thandle_t handle, toff_t offset, int whence) {
    MemoryFile *file = MemoryOf(handle);
    uint64_t base = 0;
    if (whence == SEEK_CUR) base = file->at;
    if (whence == SEEK_END) base = file->size;
    file->at = static_cast<size_t>(base + offset);
    return static_cast<toff_t>(file->at);
}
toff_t MemorySize(thandle_t handle) { return static_cast<toff_t>(MemoryOf(handle)->size); }

// Strips first .. end - 1 compressed by libtiff into a TIFF of their rows alone: each strip
// is compressed on its own, so its bytes are those the whole picture's file would hold.
struct EncodedStrips {
    MemoryFile file;
    std::vector<std::pair<uint64_t, uint64_t>> spans;  // offset and size of each strip
    bool ok = false;
};

bool EncodeStrips(const QImage &source, const StripLayout &layout, uint32_t first, uint32_t end,
                  EncodedStrips &out) {
    const uint32_t top = first * layout.rowsPerStrip;
    const uint32_t bottom = std::min(layout.height, end * layout.rowsPerStrip);
    // LZW may grow noise by up to half; both codecs shrink photographs.
    const size_t raw = layout.rowBytes * (bottom - top);
    if (!Reserve(out.file, raw + raw / 2 + 64 * 1024)) return false;
    TIFF *tiff = TIFFClientOpen("strips", "w", &out.file, MemoryRead, MemoryWrite, MemorySeek,
                                FileClose, MemorySize, NoMap, NoUnmap);
    if (!tiff) return false;
    bool ok = SetStripTags(tiff, layout, bottom - top);
    std::vector<uint8_t> rows(layout.rowBytes * layout.rowsPerStrip);
    for (uint32_t strip = first; ok && strip < end; ++strip) {
        const size_t bytes = StripRows(source, layout, strip, rows.data());
        ok = bytes > 0 && TIFFWriteEncodedStrip(tiff, strip - first, rows.data(),
                                                static_cast<tmsize_t>(bytes)) >= 0;
    }
    for (uint32_t strip = first; ok && strip < end; ++strip) {
        int error = 0;
        const uint64_t offset = TIFFGetStrileOffsetWithErr(tiff, strip - first, &error);
        const uint64_t size = TIFFGetStrileByteCountWithErr(tiff, strip - first, &error);
        ok = !error && offset + size <= out.file.size;
        out.spans.emplace_back(offset, size);
    }
    TIFFClose(tiff);
    return ok;
}

// The strips compressed on up to four threads, then written in order as they are.
bool WriteCompressedStrips(TIFF *tiff, const QImage &source, const StripLayout &layout) {
    std::vector<EncodedStrips> encoded(layout.strips);
    ForEachRowBand(layout.strips, 1, 1, [&](int64_t first, int64_t end) {
        EncodedStrips &part = encoded[static_cast<size_t>(first)];
        part.ok = EncodeStrips(source, layout, static_cast<uint32_t>(first),
                               static_cast<uint32_t>(end), part);
    });
    bool ok = true;
    for (uint32_t strip = 0, first = 0; ok && strip < layout.strips; first = strip) {
        const EncodedStrips &part = encoded[first];
        ok = part.ok && !part.spans.empty();
        for (size_t i = 0; ok && i < part.spans.size(); ++i, ++strip) {
            const auto [offset, size] = part.spans[i];
            ok = TIFFWriteRawStrip(tiff, strip, part.file.bytes.get() + offset,
                                   static_cast<tmsize_t>(size)) >= 0;
        }
    }
    return ok;
}

// Uncompressed strips are written as they are converted: there is nothing to share out.
bool WritePlainStrips(TIFF *tiff, const QImage &source, const StripLayout &layout) {
    std::vector<uint8_t> rows(layout.rowBytes * layout.rowsPerStrip);
    bool ok = true;
    for (uint32_t strip = 0; ok && strip < layout.strips; ++strip) {
        const size_t bytes = StripRows(source, layout, strip, rows.data());
        ok = bytes > 0 &&
             TIFFWriteEncodedStrip(tiff, strip, rows.data(), static_cast<tmsize_t>(bytes)) >= 0;
    }
    return ok;
}

bool WriteTIFFDirectory(TIFF *tiff, const QImage &picture, int compression, double dpi) {
    // 32-bit rows go to libtiff's R,G,B order strip by strip; other layouts are converted first.
    const QImage source = picture.format() == QImage::Format_RGB32 ||
                                  picture.format() == QImage::Format_ARGB32 ||
                                  picture.format() == QImage::Format_ARGB32_Premultiplied
                              ? picture
                              : picture.convertToFormat(QImage::Format_RGB32);
    if (source.isNull()) return false;
    const StripLayout layout = LayoutOf(source, compression);
    const bool ok = SetStripTags(tiff, layout, layout.height) &&
                    TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
                    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) &&
                    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, static_cast<float>(dpi)) &&
                    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, static_cast<float>(dpi)) &&
                    (compression == COMPRESSION_NONE ? WritePlainStrips(tiff, source, layout)
                                                     : WriteCompressedStrips(tiff, source, layout));
    return ok && TIFFWriteDirectory(tiff);
}

}  // namespace

void SetSaveFileFactory(SaveFileFactory factory) { Factory() = std::move(factory); }

QString SaveTargetProblem(const QString &path, const QString &uti) {
    const QByteArray name = QFile::encodeName(path);
    std::string target;
    std::string reason;
    // A link that cannot be followed is left to the write, which fails on it.
    if (path.isEmpty() || !tonefold::FollowLinks(name.toStdString(), &target, &reason)) return {};
    const QString shownTarget = QFile::decodeName(QByteArray::fromStdString(target));
    const QStringList own = IISaveViewController::extensionsOfType(uti);
    if (target != name.toStdString() && !own.isEmpty() &&
        !own.contains(QFileInfo(shownTarget).suffix().toLower())) {
        return LocalizedString("IDS_SAVE_LINK_TYPE").arg(path, shownTarget, TypeName(uti));
    }
    // Replacing a file needs only its folder's write permission: a file the user may not write
    // is refused, as copying over it would be. Root may write any file.
    if (access(target.c_str(), F_OK) == 0 && access(target.c_str(), W_OK) != 0)
        return LocalizedString("IDS_SAVE_NOT_WRITABLE").arg(path);
    return {};
}

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
    if (picture.isNull() || !SaveTargetProblem(path, uti).isEmpty()) return false;
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
    if (uti == QLatin1String("public.png")) {
        return WriteThroughSaveFile(path, [&bitmap](QIODevice &device) {
            return WritePNG(bitmap, device, kPNGCompressionLevel);
        });
    }
    if (uti != QLatin1String("public.jpeg")) return false;
    const double fraction = options.lossyCompressionQuality.value_or(0.9);
    const int quality = std::clamp(static_cast<int>(std::lround(100.0 * fraction)), 0, 100);
    // Encoded in memory first: a file that fails half-way then fails in our own write, not
    // inside the codec (Qt's encoders leak their row buffer when the device fails under them).
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
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
    if (!SaveTargetProblem(path, QStringLiteral("public.tiff")).isEmpty()) return false;
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
