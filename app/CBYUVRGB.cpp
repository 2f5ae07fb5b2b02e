#include "CBYUVRGB.h"

#include <libyuv/convert_argb.h>
#include <libyuv/convert_from_argb.h>
#include <libyuv/planar_functions.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <mutex>
#include <vector>

#include "row_bands.h"

namespace {

// Pictures of fewer rows than this are built on the calling thread alone.
constexpr int64_t kRowsPerBand = 512;

// Block size of a record in bytes, 0 when the record cannot have one. Computed in 64 bits so
// that no size wraps; a block must stay below 2^31 bytes, which every pitch and row offset of
// the engine's 32-bit arithmetic then respects.
int64_t BlockBytes(const __tag_QELV_OFFSCREEN &record) {
    const int64_t w = record.i32Width, h = record.i32Height;
    if (w <= 0 || h <= 0) return 0;
    int64_t bytes = 0;
    switch (record.u32PixelArrayFormat) {
    case PIXEL_FORMAT_YUYV:
        if (w % 2) return 0;
        bytes = 2 * w * h;
        break;
    case PIXEL_FORMAT_I420:
    case PIXEL_FORMAT_NV21:
        if (w % 2 || h % 2) return 0;
        bytes = w * h * 3 / 2;
        break;
    default: return 0;
    }
    return bytes <= INT32_MAX ? bytes : 0;
}

// Histogram counting keeps four sets of 32-bit counters and gives consecutive pixels to
// different sets, so that runs of equal samples do not wait on one counter; the sets are
// added into the 64-bit counts before any counter could overflow.
struct RowCounter {
    uint32_t counts[4][3][256];
    int64_t pending = 0;

    RowCounter() { std::memset(counts, 0, sizeof counts); }

    void countRow(const uint8_t *bgr, int64_t width) {
        int64_t x = 0;
        for (; x + 4 <= width; x += 4, bgr += 12) {
            for (int k = 0; k < 4; ++k) {
                ++counts[k][0][bgr[3 * k]];
                ++counts[k][1][bgr[3 * k + 1]];
                ++counts[k][2][bgr[3 * k + 2]];
            }
        }
        for (; x < width; ++x, bgr += 3) {
            ++counts[0][0][bgr[0]];
            ++counts[0][1][bgr[1]];
            ++counts[0][2][bgr[2]];
        }
        pending += width;
    }

    bool full(int64_t nextRow) const { return pending + nextRow > int64_t(UINT32_MAX) / 2; }

    void flushInto(IIHistogramData &histogram) {
        for (int v = 0; v < 256; ++v) {
            for (int k = 0; k < 4; ++k) {
                histogram.bData[v] += counts[k][0][v];
                histogram.gData[v] += counts[k][1][v];
                histogram.rData[v] += counts[k][2][v];
            }
        }
        std::memset(counts, 0, sizeof counts);
        pending = 0;
    }
};

// Rows y0 .. y1 - 1: B,G,R into the picture's 32-bit pixels (bytes B,G,R,255, which is what
// QImage::Format_RGB32 holds on a little-endian machine), counted into histogram when given.
// The picture is then drawn and scaled as it is, with no conversion of its own.
void BuildRows(const uint8_t *bgr, int64_t lineBytes, uint8_t *bgrx, int64_t rowBytes,
               int64_t width, int64_t y0, int64_t y1, IIHistogramData *histogram) {
    auto counter = histogram ? std::make_unique<RowCounter>() : nullptr;
    for (int64_t y = y0; y < y1; ++y) {
        const uint8_t *row = bgr + y * lineBytes;
        // libyuv's RGB24 is B,G,R in memory and its ARGB is B,G,R,A in memory.
        libyuv::RGB24ToARGB(row, 0, bgrx + y * rowBytes, 0, static_cast<int>(width), 1);
        if (!counter) continue;
        if (counter->full(width)) counter->flushInto(*histogram);
        counter->countRow(row, width);
    }
    if (counter) counter->flushInto(*histogram);
}

// A record that can be read back: a block, a size its format allows and the planes it needs.
bool HasPlanes(const __tag_QELV_OFFSCREEN *record) {
    if (!record || !record->ppu8Plane[0] || BlockBytes(*record) == 0) return false;
    const uint32_t format = record->u32PixelArrayFormat;
    if (format != PIXEL_FORMAT_YUYV && !record->ppu8Plane[1]) return false;
    return format != PIXEL_FORMAT_I420 || record->ppu8Plane[2];
}

// Rows read back a step at a time, so that packed rows need only a step's planes beside them.
constexpr int kRowsPerStep = 64;

// Rows y .. y + rows - 1 of the record (y even when the format has 4:2:0 chroma) as B,G,R,A
// rows. The engine's samples are full range (0-255), so they are read with the full-range
// (JPEG) matrix, as the merge program reads them: a limited-range read would stretch luma above
// 235 to white. Packed rows go through 4:2:2 planes in scratch, the merge program's road.
int RowsToBgra(const __tag_QELV_OFFSCREEN &record, int y, int rows, uint8_t *bgra, int stride,
               std::vector<uint8_t> *scratch) {
    uint8_t *const *p = record.ppu8Plane;
    const int32_t *s = record.pi32Pitch;
    const int w = record.i32Width, c = y / 2;
    const auto row = [&](int plane, int at) { return p[plane] + int64_t(at) * s[plane]; };
    switch (record.u32PixelArrayFormat) {
    case PIXEL_FORMAT_YUYV: {
        const int cw = (w + 1) / 2;
        scratch->resize(size_t(w + 2 * cw) * size_t(rows));
        uint8_t *luma = scratch->data(), *u = luma + size_t(w) * rows, *v = u + size_t(cw) * rows;
        const int rc = libyuv::YUY2ToI422(row(0, y), s[0], luma, w, u, cw, v, cw, w, rows);
        return rc ? rc : libyuv::J422ToARGB(luma, w, u, cw, v, cw, bgra, stride, w, rows);
    }
    case PIXEL_FORMAT_I420:
        return libyuv::J420ToARGB(row(0, y), s[0], row(1, c), s[1], row(2, c), s[2], bgra, stride,
                                  w, rows);
    case PIXEL_FORMAT_NV21:
        return libyuv::NV21ToARGBMatrix(row(0, y), s[0], row(1, c), s[1], bgra, stride,
                                        &libyuv::kYuvJPEGConstants, w, rows);
    default: return -1;
    }
}

int64_t LargestCount(const IIHistogramData &histogram) {
    int64_t largest = 0;
    for (const auto *bins : {&histogram.rData, &histogram.gData, &histogram.bData})
        largest = std::max(largest, *std::max_element(bins->begin(), bins->end()));
    return largest;
}

}  // namespace

bool CBYUVRGB::allocOffscreen(__tag_QELV_OFFSCREEN *record, Allocator allocate) {
    if (!record) return false;
    record->ppu8Plane[0] = record->ppu8Plane[1] = record->ppu8Plane[2] = nullptr;
    const int64_t bytes = BlockBytes(*record);
    if (bytes == 0) return false;
    const int32_t w = record->i32Width, h = record->i32Height;
    uint8_t *block = AllocateBuffer(allocate, static_cast<size_t>(bytes)).release();
    if (!block) return false;
    record->ppu8Plane[0] = block;
    switch (record->u32PixelArrayFormat) {
    case PIXEL_FORMAT_YUYV:
        record->pi32Pitch[0] = 2 * w;
        break;
    case PIXEL_FORMAT_I420:
        record->pi32Pitch[0] = w;
        record->pi32Pitch[1] = record->pi32Pitch[2] = w / 2;
        record->ppu8Plane[1] = block + int64_t(w) * h;
        record->ppu8Plane[2] = record->ppu8Plane[1] + int64_t(w) * h / 4;
        break;
    case PIXEL_FORMAT_NV21:
        record->pi32Pitch[0] = record->pi32Pitch[1] = w;
        record->ppu8Plane[1] = block + int64_t(w) * h;
        break;
    }
    return true;
}

void CBYUVRGB::releaseOffscreen(__tag_QELV_OFFSCREEN *record) {
    if (record && record->ppu8Plane[0]) std::free(record->ppu8Plane[0]);
}

bool CBYUVRGB::copyOffscreen(const __tag_QELV_OFFSCREEN *source,
                             __tag_QELV_OFFSCREEN *destination) {
    if (!source || !destination || !source->ppu8Plane[0] || !destination->ppu8Plane[0])
        return false;
    const uint32_t format = source->u32PixelArrayFormat;
    if (format != PIXEL_FORMAT_YUYV && format != PIXEL_FORMAT_NV21) return false;
    const int64_t bytes = BlockBytes(*source);
    if (bytes == 0) return false;
    destination->i32Width = source->i32Width;
    destination->i32Height = source->i32Height;
    destination->pi32Pitch[0] = source->pi32Pitch[0];
    if (format == PIXEL_FORMAT_NV21) {
        destination->pi32Pitch[1] = source->pi32Pitch[1];
        destination->ppu8Plane[1] =
            destination->ppu8Plane[0] + int64_t(source->i32Width) * source->i32Height;
    }
    std::memcpy(destination->ppu8Plane[0], source->ppu8Plane[0], static_cast<size_t>(bytes));
    return true;
}

FreeBuffer CBYUVRGB::bgraData(const __tag_QELV_OFFSCREEN *record, Allocator allocate) {
    if (!HasPlanes(record)) return nullptr;
    const int w = record->i32Width, h = record->i32Height;
    FreeBuffer bgra = AllocateBuffer(allocate, size_t(4) * size_t(w) * size_t(h));
    if (!bgra) return nullptr;
    std::vector<uint8_t> scratch;
    for (int y = 0; y < h; y += kRowsPerStep) {
        const int rows = std::min(kRowsPerStep, h - y);
        if (RowsToBgra(*record, y, rows, bgra.get() + int64_t(4) * w * y, 4 * w, &scratch) != 0)
            return nullptr;
    }
    return bgra;
}

FreeBuffer CBYUVRGB::bgrData(const __tag_QELV_OFFSCREEN *record, Allocator allocate) {
    if (!HasPlanes(record)) return nullptr;
    const int w = record->i32Width, h = record->i32Height;
    const int64_t line = bgrLineBytes(w);
    FreeBuffer bgr = AllocateBuffer(allocate, static_cast<size_t>(line) * size_t(h));
    if (!bgr) return nullptr;
    uint8_t *const out = bgr.get();
    std::atomic<bool> failed{false};
    // Bands start on even rows, so that rows sharing a chroma row of 4:2:0 stay in one band.
    ForEachRowBand(h, kRowsPerBand, 2, [&](int64_t y0, int64_t y1) {
        std::vector<uint8_t> bgra(size_t(4) * size_t(w)), scratch;
        for (int64_t y = y0; y < y1 && !failed; ++y) {
            int rc = RowsToBgra(*record, static_cast<int>(y), 1, bgra.data(), 4 * w, &scratch);
            if (rc == 0) rc = libyuv::ARGBToRGB24(bgra.data(), 4 * w, out + y * line,
                                                  static_cast<int>(line), w, 1);
            if (rc != 0) failed = true;
        }
    });
    return failed ? nullptr : std::move(bgr);
}

QImage CBYUVRGB::bgr2image(const uint8_t *bgr, int64_t width, int64_t height, int64_t lineBytes,
                           IIHistogramData *histogram) {
    if (!bgr || width <= 0 || height <= 0 || width > INT_MAX / 4 || height > INT_MAX ||
        lineBytes < 3 * width)
        return {};
    // The picture's pixels live in a block of the bridge's allocator, which the picture frees.
    const int64_t rowBytes = 4 * width;
    FreeBuffer pixels = AllocateBuffer(nullptr, static_cast<size_t>(rowBytes * height));
    if (!pixels) return {};
    QImage picture(pixels.get(), static_cast<int>(width), static_cast<int>(height),
                   static_cast<qsizetype>(rowBytes), QImage::Format_RGB32,
                   [](void *block) { std::free(block); }, pixels.get());
    if (picture.isNull()) return {};
    uint8_t *const base = pixels.release();
    // Large pictures are built in bands of rows on a few threads, each with its own counts.
    std::mutex merging;
    ForEachRowBand(height, kRowsPerBand, 1, [&](int64_t y0, int64_t y1) {
        if (!histogram) {
            BuildRows(bgr, lineBytes, base, rowBytes, width, y0, y1, nullptr);
            return;
        }
        IIHistogramData counts;
        BuildRows(bgr, lineBytes, base, rowBytes, width, y0, y1, &counts);
        const std::lock_guard<std::mutex> lock(merging);
        for (int v = 0; v < 256; ++v) {
            histogram->rData[v] += counts.rData[v];
            histogram->gData[v] += counts.gData[v];
            histogram->bData[v] += counts.bData[v];
        }
    });
    if (histogram) histogram->max = LargestCount(*histogram);
    return picture;
}

QImage CBYUVRGB::image(FreeBuffer bgrx, int64_t width, int64_t height) {
    if (!bgrx || width <= 0 || height <= 0 || width > INT_MAX / 4 || height > INT_MAX) return {};
    QImage picture(bgrx.get(), static_cast<int>(width), static_cast<int>(height),
                   static_cast<qsizetype>(4 * width), QImage::Format_RGB32,
                   [](void *block) { std::free(block); }, bgrx.get());
    if (picture.isNull()) return {};
    bgrx.release();
    return picture;
}
