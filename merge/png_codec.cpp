// PNG through libpng, converting to and from full-range YUV a few rows at a time on writing.
//
// libpng reports errors by longjmp. Each function that calls setjmp only returns false when
// libpng jumps back, reading none of its locals, and every allocation is held by objects made
// before it, so nothing is lost or read indeterminate.
#include <png.h>

#include <libyuv/convert_argb.h>
#include <libyuv/planar_functions.h>

#include <algorithm>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

#include "exif_orientation.h"
#include "yuv_planes.h"

namespace tonefold {
namespace {

struct PngMessages {
    char error[160] = "";
};

void OnPngError(png_structp png, png_const_charp message) {
    auto *messages = static_cast<PngMessages *>(png_get_error_ptr(png));
    std::snprintf(messages->error, sizeof messages->error, "%s", message);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

struct MemoryReader {
    const uint8_t *data;
    size_t size;
    size_t position;
};

void ReadFromMemory(png_structp png, png_bytep destination, png_size_t length) {
    auto *reader = static_cast<MemoryReader *>(png_get_io_ptr(png));
    if (length > reader->size - reader->position) png_error(png, "file is truncated");
    std::memcpy(destination, reader->data + reader->position, length);
    reader->position += length;
}

struct PngReadState {
    PngMessages messages;
    MemoryReader reader;
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngReadState() { png_destroy_read_struct(&png, &info, nullptr); }
};

struct PngShape {
    uint32_t width = 0;
    uint32_t height = 0;
    bool grey = false;
};

// Reads the header and sets the transforms to 8-bit grey or 8-bit B, G, R, X rows.
bool ReadPngInfo(PngReadState *state, PngShape *shape) {
    png_structp png = state->png;
    png_infop info = state->info;
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    shape->width = png_get_image_width(png, info);
    shape->height = png_get_image_height(png, info);
    const int colorType = png_get_color_type(png, info);
    shape->grey = (colorType & PNG_COLOR_MASK_COLOR) == 0;
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    if (!shape->grey) {
        png_set_bgr(png);
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

bool ReadPngRows(PngReadState *state, png_bytep *rows) {
    if (setjmp(png_jmpbuf(state->png))) return false;
    png_read_image(state->png, rows);
    png_read_end(state->png, state->info);
    return true;
}

int PngOrientation(const PngReadState &state) {
    png_bytep exif = nullptr;
    png_uint_32 exifSize = 0;
    if (png_get_eXIf_1(state.png, state.info, &exifSize, &exif) == 0 || exif == nullptr) {
        return 1;
    }
    return ReadTiffOrientation(exif, exifSize);
}

std::vector<png_bytep> RowPointers(uint8_t *first, size_t stride, uint32_t rows) {
    std::vector<png_bytep> pointers(rows);
    for (uint32_t y = 0; y < rows; ++y) pointers[y] = first + y * stride;
    return pointers;
}

}  // namespace

namespace {

// Everything that can refuse a file before its picture is decoded: the header, the size and
// the pixel layout. Leaves the reader past the header with its transforms set.
bool OpenPng(PngReadState *state, const uint8_t *data, size_t size, PngShape *shape,
             std::string *reason) {
    state->reader = {data, size, 0};
    state->png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &state->messages, OnPngError, OnPngWarning);
    if (state->png != nullptr) {
        // Text is never used: it is skipped unread. Read, a chunk's declared length is taken at
        // its word, and a few hundred bytes announcing a gigabyte of text make libpng allocate
        // and clear that much before the read fails.
        static const png_byte kTextChunks[] = "tEXt\0zTXt\0iTXt";
        png_set_keep_unknown_chunks(state->png, PNG_HANDLE_CHUNK_NEVER, kTextChunks, 3);
        state->info = png_create_info_struct(state->png);
    }
    if (state->info == nullptr) {
        *reason = "cannot be decoded (out of memory)";
        return false;
    }
    png_set_read_fn(state->png, &state->reader, ReadFromMemory);
    if (!ReadPngInfo(state, shape)) {
        *reason = std::string("is not a valid PNG (") + state->messages.error + ")";
        return false;
    }
    if (const std::string bad = CheckPhotoSize(shape->width, shape->height); !bad.empty()) {
        *reason = bad;
        return false;
    }
    const size_t expectedRowBytes = static_cast<size_t>(shape->width) * (shape->grey ? 1 : 4);
    if (png_get_rowbytes(state->png, state->info) != expectedRowBytes) {
        *reason = "has a PNG pixel layout that is not supported";
        return false;
    }
    return true;
}

}  // namespace

namespace {

uint32_t BigEndian32(const uint8_t *bytes) {
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 |
           bytes[3];
}

// Whether an EXIF chunk may lie anywhere in the file: true when one does, or when the chunks
// cannot be walked to the end chunk. Only the chunks' headers are read.
bool MayHoldExifChunk(const uint8_t *data, size_t size) {
    constexpr size_t kSignatureBytes = 8;
    constexpr size_t kChunkOverhead = 12;  // length, type and check sum
    size_t at = kSignatureBytes;
    while (size - at >= kChunkOverhead) {
        const uint64_t length = BigEndian32(data + at);
        const uint8_t *type = data + at + 4;
        if (std::memcmp(type, "eXIf", 4) == 0) return true;
        if (std::memcmp(type, "IEND", 4) == 0) return false;
        if (length > size - at - kChunkOverhead) return true;
        at += kChunkOverhead + length;
    }
    return true;
}

}  // namespace

bool CheckPngHeader(const uint8_t *data, size_t size, std::string *reason,
                    UprightSize *upright) {
    PngReadState state;
    PngShape shape;
    if (!OpenPng(&state, data, size, &shape, reason)) return false;
    // An EXIF chunk read with the header settles the orientation (a later one is a duplicate
    // the decoder passes over); one after the pixels is read only once they are decoded.
    png_bytep exif = nullptr;
    png_uint_32 exifSize = 0;
    const bool exifRead =
        png_get_eXIf_1(state.png, state.info, &exifSize, &exif) != 0 && exif != nullptr;
    *upright = UprightSizeOf(shape.width, shape.height, PngOrientation(state));
    upright->known =
        exifRead || shape.width == shape.height || !MayHoldExifChunk(data, size);
    return true;
}

bool DecodePngPlanes(const uint8_t *data, size_t size, YuvPlanes *planes, int *orientation,
                     std::string *reason) {
    PngReadState state;
    PngShape shape;
    if (!OpenPng(&state, data, size, &shape, reason)) return false;
    const int32_t width = static_cast<int32_t>(shape.width);
    const int32_t height = static_cast<int32_t>(shape.height);
    PixelBuffer pixels;
    size_t stride = 0;
    if (shape.grey) {
        // Grey rows land in the luma plane directly.
        const int32_t strides[3] = {width, 0, 0};
        const int32_t rows[3] = {height, 0, 0};
        AllocatePlanes(planes, width, height, 0, 0, strides, rows);
        stride = static_cast<size_t>(width);
    } else {
        stride = static_cast<size_t>(width) * 4;
        pixels = AllocatePixels(stride * shape.height);
    }
    std::vector<png_bytep> rows =
        RowPointers(shape.grey ? planes->plane[0] : pixels.get(), stride, shape.height);
    if (!ReadPngRows(&state, rows.data())) {
        *reason = std::string("cannot be decoded (") + state.messages.error + ")";
        planes->block.reset();
        return false;
    }
    if (!shape.grey) PlanesFromBgrx(pixels.get(), width * 4, width, height, planes);
    *orientation = PngOrientation(state);
    return true;
}

namespace {

void AppendToVector(png_structp png, png_bytep data, png_size_t length) {
    auto *out = static_cast<std::vector<uint8_t> *>(png_get_io_ptr(png));
    bool stored = true;
    try {
        out->insert(out->end(), data, data + length);
    } catch (const std::bad_alloc &) {
        stored = false;
    }
    // Outside the handler: png_error does not return.
    if (!stored) png_error(png, "out of memory");
}

void FlushNothing(png_structp) {}

struct PngWriteState {
    PngMessages messages;
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngWriteState() { png_destroy_write_struct(&png, &info); }
};

constexpr int32_t kRowsPerChunk = 16;

// Buffers for one chunk of rows: 4:2:2 planes and their B, G, R, X pixels.
struct RowChunk {
    PixelBuffer block;
    uint8_t *planes[3];
    int32_t strides[3];
    uint8_t *bgrx;
    png_bytep rows[kRowsPerChunk];

    explicit RowChunk(int32_t width) {
        const int32_t evenWidth = (width + 1) & ~1;
        strides[0] = evenWidth;
        strides[1] = strides[2] = evenWidth / 2;
        const size_t planeBytes = static_cast<size_t>(evenWidth) * 2 * kRowsPerChunk;
        const size_t pixelBytes = static_cast<size_t>(width) * 4 * kRowsPerChunk;
        block = AllocatePixels(planeBytes + pixelBytes);
        planes[0] = block.get();
        planes[1] = planes[0] + static_cast<size_t>(evenWidth) * kRowsPerChunk;
        planes[2] = planes[1] + static_cast<size_t>(evenWidth / 2) * kRowsPerChunk;
        bgrx = block.get() + planeBytes;
        for (int32_t r = 0; r < kRowsPerChunk; ++r) {
            rows[r] = bgrx + static_cast<size_t>(r) * width * 4;
        }
    }
};

// convertMs receives the time spent turning packed rows into B, G, R, X rows.
bool WritePngRows(PngWriteState *state, const YuyvView &picture, RowChunk *chunk,
                  double *convertMs) {
    png_structp png = state->png;
    png_infop info = state->info;
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width),
                 static_cast<png_uint_32>(picture.height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Two cheap filters and a low level: about half the time of the defaults, no larger.
    png_set_filter(png, 0, PNG_FILTER_UP | PNG_FILTER_SUB);
    png_set_compression_level(png, 2);
    png_write_info(png, info);
    png_set_bgr(png);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    const int32_t evenWidth = (picture.width + 1) & ~1;
    for (int32_t y = 0; y < picture.height; y += kRowsPerChunk) {
        const int32_t rows = std::min(kRowsPerChunk, picture.height - y);
        const auto start = std::chrono::steady_clock::now();
        libyuv::YUY2ToI422(picture.pixels + static_cast<size_t>(y) * picture.pitch, picture.pitch,
                           chunk->planes[0], chunk->strides[0], chunk->planes[1], chunk->strides[1],
                           chunk->planes[2], chunk->strides[2], evenWidth, rows);
        libyuv::J422ToARGB(chunk->planes[0], chunk->strides[0], chunk->planes[1], chunk->strides[1],
                           chunk->planes[2], chunk->strides[2], chunk->bgrx, picture.width * 4,
                           picture.width, rows);
        *convertMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        png_write_rows(png, chunk->rows, static_cast<png_uint_32>(rows));
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

bool EncodePng(const YuyvView &picture, std::vector<uint8_t> *out, std::string *reason,
               EncodeTimes *times) {
    const auto start = std::chrono::steady_clock::now();
    const int32_t evenWidth = (picture.width + 1) & ~1;
    if (picture.pixels == nullptr || picture.width < 1 || picture.height < 1 ||
        picture.pitch < 2 * evenWidth) {
        *reason = "no picture to encode";
        return false;
    }
    PngWriteState state;
    state.png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &state.messages, OnPngError, OnPngWarning);
    if (state.png != nullptr) state.info = png_create_info_struct(state.png);
    if (state.info == nullptr) {
        *reason = "cannot be encoded (out of memory)";
        return false;
    }
    out->clear();
    png_set_write_fn(state.png, out, AppendToVector, FlushNothing);
    RowChunk chunk(picture.width);
    double convertMs = 0;
    if (!WritePngRows(&state, picture, &chunk, &convertMs)) {
        *reason = std::string("cannot be encoded (") + state.messages.error + ")";
        return false;
    }
    if (times != nullptr) {
        times->convertMs = convertMs;
        times->encodeMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count() -
            convertMs;
    }
    return true;
}

}  // namespace tonefold
