#include "jpeg_bands.h"

// jpeglib.h needs the standard headers that declare FILE and size_t before it.
#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>
// After jpeglib.h, whose configuration decides which messages exist.
#include <jerror.h>

#include <QMutex>
#include <memory>
#include <vector>

#include "jpeg_checks.h"
#include "photo_metadata.h"
#include "row_bands.h"

namespace {

// Rows per band; bands start on a multiple of 16 rows, the height of one row of 4:2:0 blocks.
constexpr int64_t kRowsPerBand = 512;
constexpr int64_t kBlockRows = 16;

// The warnings that mean the photo's data is corrupt or missing: whatever the decompressor
// makes of such data is not the photo.
bool ReportsDamage(int code) {
    switch (code) {
#ifdef D_ARITH_CODING_SUPPORTED
    case JWRN_ARITH_BAD_CODE:
#endif
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_JPEG_EOF:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL: return true;
    default: return false;
    }
}

// The decompressor's error manager with the place to jump to. A fatal error or a warning of
// damage jumps out at once, with its message kept; any other warning is remembered.
struct ErrorTrap {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    bool warned = false;
    QString damage;
};

void Keep(j_common_ptr info, ErrorTrap *trap) {
    char text[JMSG_LENGTH_MAX] = {};
    info->err->format_message(info, text);
    trap->damage = QString::fromLatin1(text);
}

void OnError(j_common_ptr info) {
    auto *trap = static_cast<ErrorTrap *>(info->client_data);
    Keep(info, trap);
    std::longjmp(trap->jump, 1);
}

void OnMessage(j_common_ptr info, int level) {
    if (level >= 0) return;  // trace messages
    auto *trap = static_cast<ErrorTrap *>(info->client_data);
    if (!ReportsDamage(info->err->msg_code)) {
        trap->warned = true;
        return;
    }
    Keep(info, trap);
    std::longjmp(trap->jump, 1);
}

void Silent(j_common_ptr) {}

// A decompressor reading `file`, with the trap as its error manager and room for a row. Made
// before the place a jump returns to, so that everything it holds is released however the
// decoding ends.
struct Decompressor {
    jpeg_decompress_struct info;
    ErrorTrap trap;
    std::vector<JSAMPLE> row;

    explicit Decompressor(const QByteArray &file) {
        info.err = jpeg_std_error(&trap.manager);
        trap.manager.error_exit = OnError;
        trap.manager.emit_message = OnMessage;
        trap.manager.output_message = Silent;
        jpeg_create_decompress(&info);
        info.client_data = &trap;
        jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(file.constData()),
                     static_cast<unsigned long>(file.size()));
    }
    ~Decompressor() { jpeg_destroy_decompress(&info); }
};

enum class Outcome { kDecoded, kNotTaken, kDamaged };

// Rows y0 .. y1 - 1 of the photo into pixels (B,G,R,X bytes, stride bytes a row); the band that
// ends the photo reads on to its end-of-image marker. Holds nothing that a jump out of the
// library would leave unreleased: the decompressor goes with its holder on every way out.
Outcome DecodeRows(const QByteArray &file, int64_t width, int64_t height, uint8_t *pixels,
                   int64_t stride, int64_t y0, int64_t y1, QString *damage) {
    auto decompressor = std::make_unique<Decompressor>(file);
    jpeg_decompress_struct &info = decompressor->info;
    if (setjmp(decompressor->trap.jump)) {
        *damage = decompressor->trap.damage;
        return Outcome::kDamaged;
    }
    bool ok = jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK && !info.progressive_mode &&
              info.jpeg_color_space == JCS_YCbCr && info.num_components == 3 &&
              info.image_width == width && info.image_height == height;
    if (ok) {
#ifdef JCS_EXTENSIONS
        info.out_color_space = JCS_EXT_BGRX;
#endif
        ok = jpeg_start_decompress(&info) && info.output_width == width &&
             info.output_height == height && info.output_components == 4;
    }
    if (ok && y0 > 0) ok = jpeg_skip_scanlines(&info, static_cast<JDIMENSION>(y0)) == y0;
    while (ok && info.output_scanline < y1) {
        JSAMPROW row = pixels + static_cast<int64_t>(info.output_scanline) * stride;
        ok = jpeg_read_scanlines(&info, &row, 1) == 1;
    }
    // What follows the last row must be the end of the photo.
    if (ok && y1 == height) ok = jpeg_finish_decompress(&info);
    return ok && !decompressor->trap.warned ? Outcome::kDecoded : Outcome::kNotTaken;
}

}  // namespace

QImage DecodeJpegInBands(const QByteArray &file, int64_t width, int64_t height, QString *damage) {
    damage->clear();
#ifndef JCS_EXTENSIONS
    // Without libjpeg-turbo's B,G,R,X output every photo goes the ordinary way.
    return {};
#endif
    if (file.size() < 4 || static_cast<uint8_t>(file[0]) != 0xFF ||
        static_cast<uint8_t>(file[1]) != 0xD8 || width <= 0 || height <= 0 ||
        width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION)
        return {};
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    if (image.isNull()) return {};
    uint8_t *const pixels = image.bits();
    const int64_t stride = image.bytesPerLine();
    // The damage the band nearest the top meets, so that the message does not depend on timing.
    QMutex lock;
    int64_t damagedBand = -1;
    bool decoded = true;
    ForEachRowBand(height, kRowsPerBand, kBlockRows, [&](int64_t y0, int64_t y1) {
        QString found;
        const Outcome outcome = DecodeRows(file, width, height, pixels, stride, y0, y1, &found);
        QMutexLocker locked(&lock);
        if (outcome != Outcome::kDecoded) decoded = false;
        if (outcome == Outcome::kDamaged && (damagedBand < 0 || y0 < damagedBand)) {
            damagedBand = y0;
            *damage = found;
        }
    });
    return decoded ? image : QImage();
}

QString JpegDamage(const QByteArray &file) {
    auto decompressor = std::make_unique<Decompressor>(file);
    jpeg_decompress_struct &info = decompressor->info;
    if (setjmp(decompressor->trap.jump)) return decompressor->trap.damage;
    jpeg_read_header(&info, TRUE);
    // Colour conversion is all the decompressor does with sound data after the entropy and
    // transform steps: samples in the file's own colour space suffice.
    info.out_color_space = info.jpeg_color_space;
    // Starting reads every scan of a progressive file, and what they refined.
    jpeg_start_decompress(&info);
    if (!tonefold::JpegFullyRefined(info)) return QString::fromLatin1(kReasonTruncated);
    decompressor->row.resize(static_cast<size_t>(info.output_width) * info.output_components);
    JSAMPROW rows[1] = {decompressor->row.data()};
    while (info.output_scanline < info.output_height) jpeg_read_scanlines(&info, rows, 1);
    jpeg_finish_decompress(&info);
    return {};
}
