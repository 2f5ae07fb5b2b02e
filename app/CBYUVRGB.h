// Image records and pictures: allocating, copying and releasing the blocks of records, and
// converting between records, 32-bit B,G,R,X buffers, 24-bit B,G,R rows and QImages.
#pragma once

#include <QImage>
#include <cstdint>

#include "IIHistogramData.h"
#include "free_buffer.h"
#include "hdr_engine.h"

class CBYUVRGB {
public:
    // Row length of 24-bit B,G,R rows: 3 * width rounded up to a multiple of 4.
    static int64_t bgrLineBytes(int64_t width) { return (24 * width + 31) / 32 * 4; }

    // Sets the pitches and plane pointers of a record whose format, width and height are set and
    // gives it one block: PIXEL_FORMAT_YUYV 2*w*h bytes, PIXEL_FORMAT_I420 and PIXEL_FORMAT_NV21
    // w*h*3/2 bytes. False, with plane 0 null, for another format, a width or height of 0 or
    // less, odd sizes where the format halves them, a block of 2^31 bytes or more, or a failed
    // allocation.
    static bool allocOffscreen(__tag_QELV_OFFSCREEN *record, Allocator allocate = nullptr);
    // Frees the record's block when the record and its plane 0 are not null; the record's fields
    // are left as they are.
    static void releaseOffscreen(__tag_QELV_OFFSCREEN *record);
    // Copies the pixels and the geometry of source into destination, whose block has the same
    // size (PIXEL_FORMAT_YUYV and PIXEL_FORMAT_NV21). The destination's format is not written.
    // False, copying nothing, for other formats or a missing block.
    static bool copyOffscreen(const __tag_QELV_OFFSCREEN *source, __tag_QELV_OFFSCREEN *destination);

    // The record as B,G,R,A rows of 4 * width bytes in a new buffer, its samples read as full
    // range (the JPEG matrix, as the engine and the merge program take them); null for a
    // format without a conversion, a record without its planes, or a failed allocation.
    static FreeBuffer bgraData(const __tag_QELV_OFFSCREEN *record, Allocator allocate = nullptr);

    // The record as B,G,R rows of bgrLineBytes(width) bytes in a new buffer, the same bytes as
    // bgraData without its fourth byte; the row tails are left as allocated. Converted a row at
    // a time, in bands of rows side by side, with no whole B,G,R,A picture in between. Null as
    // for bgraData.
    static FreeBuffer bgrData(const __tag_QELV_OFFSCREEN *record, Allocator allocate = nullptr);

    // A new picture (QImage::Format_RGB32, the layout the picture view draws and scales without
    // a conversion) of B,G,R rows of lineBytes bytes (R from byte 2, G from byte 1, B from
    // byte 0). Every pixel is counted into histogram when one is given (which is expected
    // to start at zero); its max is the largest count. Null for a null source, sizes of 0 or
    // less, rows shorter than 3 * width, or when the picture cannot be made.
    static QImage bgr2image(const uint8_t *bgr, int64_t width, int64_t height, int64_t lineBytes,
                            IIHistogramData *histogram);

    // A picture over a B,G,R,X buffer of rows of 4 * width bytes, which the picture takes over
    // and frees when it releases its data; null (the buffer freed) for a null buffer or bad
    // sizes.
    static QImage image(FreeBuffer bgrx, int64_t width, int64_t height);
};
