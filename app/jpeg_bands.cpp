#include "jpeg_bands.h"

// jpeglib.h needs the standard headers that declare FILE and size_t before it.
#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <atomic>

#include "row_bands.h"

namespace {

// Rows per band; bands start on a multiple of 16 rows, the height of one row of 4:2:0 blocks.
constexpr int64_t kRowsPerBand = 512;
constexpr int64_t kBlockRows = 16;

// The decompressor's error manager with the place to jump to on a fatal error; every warning is
// remembered, since a photo that gives one goes the ordinary way.
struct ErrorTrap {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    bool warned;
};

void OnError(j_common_ptr info) { std::longjmp(static_cast<ErrorTrap *>(info->client_data)->jump, 1); }

void OnMessage(j_common_ptr info, int level) {
    if (level < 0) static_cast<ErrorTrap *>(info->client_data)->warned = true;
}

void Silent(j_common_ptr) {}

// Rows y0 .. y1 - 1 of the photo into pixels (B,G,R,X bytes, stride bytes a row). False for a
// photo this decoder does not take or any fault. Holds nothing that a jump out of the library
// would leave unreleased: the decompressor is destroyed on every way out.
bool DecodeRows(const QByteArray &file, int64_t width, int64_t height, uint8_t *pixels,
                int64_t stride, int64_t y0, int64_t y1) {
    jpeg_decompress_struct info;
    ErrorTrap trap;
    info.err = jpeg_std_error(&trap.manager);
    trap.manager.error_exit = OnError;
    trap.manager.emit_message = OnMessage;
    trap.manager.output_message = Silent;
    trap.warned = false;
    jpeg_create_decompress(&info);
    info.client_data = &trap;
    if (setjmp(trap.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(file.constData()),
                 static_cast<unsigned long>(file.size()));
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
    ok = ok && !trap.warned;
    jpeg_destroy_decompress(&info);
    return ok;
}

}  // namespace

QImage DecodeJpegInBands(const QByteArray &file, int64_t width, int64_t height) {
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
    std::atomic<bool> decoded{true};
    ForEachRowBand(height, kRowsPerBand, kBlockRows, [&](int64_t y0, int64_t y1) {
        if (!DecodeRows(file, width, height, pixels, stride, y0, y1)) decoded = false;
    });
    return decoded ? image : QImage();
}
