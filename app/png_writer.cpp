#include "png_writer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <libyuv/convert_from_argb.h>
#include <limits>
#include <memory>
#include <new>
#include <vector>
#include <zlib.h>

#include "row_bands.h"

namespace {

// Bands deflated side by side. Each band's stream ends on a byte boundary (a sync flush) so the
// streams join into one; the cost is a few bytes and a fresh window at each join.
constexpr int kBands = 4;
// Rows are filtered into a staging buffer of about this size before they are deflated.
constexpr size_t kStagingBytes = 256 * 1024;
// The largest IDAT chunk: readers that hold a whole chunk in memory are never asked for much.
constexpr size_t kMaxChunkData = 1024 * 1024;

struct Span {
    const uint8_t *data;
    size_t size;
};

void PutBigEndian32(uint8_t *out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

bool WriteBytes(QIODevice &device, const void *data, size_t size) {
    return device.write(static_cast<const char *>(data), static_cast<qint64>(size)) ==
           static_cast<qint64>(size);
}

// A chunk whose data is the spans one after another.
bool WriteChunk(QIODevice &device, const char type[4], const std::vector<Span> &spans) {
    size_t size = 0;
    for (const Span &span : spans) size += span.size;
    if (size > 0x7fffffffu) return false;
    uint8_t head[8];
    PutBigEndian32(head, static_cast<uint32_t>(size));
    std::memcpy(head + 4, type, 4);
    uLong crc = crc32(0, head + 4, 4);
    for (const Span &span : spans) crc = crc32_z(crc, span.data, span.size);
    uint8_t tail[4];
    PutBigEndian32(tail, static_cast<uint32_t>(crc));
    if (!WriteBytes(device, head, sizeof head)) return false;
    for (const Span &span : spans)
        if (span.size > 0 && !WriteBytes(device, span.data, span.size)) return false;
    return WriteBytes(device, tail, sizeof tail);
}

// The picture in one of the three layouts the rows are taken from: RGB32 for an opaque
// picture, ARGB32 or ARGB32_Premultiplied with alpha.
QImage SourceOf(const QImage &picture) {
    switch (picture.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return picture;
    default:
        return picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                 : QImage::Format_RGB32);
    }
}

// Rows first .. first + count - 1 of the source in PNG's byte order, rows stride bytes apart.
bool PixelRows(const QImage &source, int first, int count, uint8_t *out, size_t stride) {
    const int width = source.width();
    const qsizetype line = source.bytesPerLine();
    const uchar *rows = source.constBits() + static_cast<qsizetype>(first) * line;
    const int outStride = static_cast<int>(stride);
    // Qt's 32-bit pixels are B,G,R,A in memory: libyuv's "ARGB". Its "RAW" is R,G,B and its
    // "ABGR" is R,G,B,A.
    if (source.format() == QImage::Format_RGB32)
        return libyuv::ARGBToRAW(rows, static_cast<int>(line), out, outStride, width, count) == 0;
    if (source.format() == QImage::Format_ARGB32)
        return libyuv::ARGBToABGR(rows, static_cast<int>(line), out, outStride, width, count) == 0;
    // Premultiplied rows go through Qt's own conversion, so the file holds what Qt would write.
    const QImage view(rows, width, count, line, QImage::Format_ARGB32_Premultiplied);
    const QImage plain = view.convertToFormat(QImage::Format_ARGB32);
    if (plain.isNull()) return false;
    return libyuv::ARGBToABGR(plain.constBits(), static_cast<int>(plain.bytesPerLine()), out,
                              outStride, width, count) == 0;
}

// The second byte of a zlib header for a 32 KB window: the level's class as zlib states it, and
// the check bits that make the first two bytes a multiple of 31.
uint8_t ZlibHeaderSecondByte(int level) {
    if (level == Z_DEFAULT_COMPRESSION) level = 6;
    const int levelClass = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    const int partial = levelClass << 6;
    return static_cast<uint8_t>(partial + (31 - (0x7800 + partial) % 31) % 31);
}

struct Band {
    int first = 0, end = 0;
    // The deflated bytes, never zeroed: the first capacity is deflate's bound for the band,
    // and pages of it that are never written cost nothing.
    std::unique_ptr<uint8_t[]> deflated;
    size_t used = 0, capacity = 0;
    uLong adler = 1;
    z_off_t length = 0;
    bool ok = false;
};

bool Grow(Band &band, size_t capacity) {
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[capacity]);
    if (!bytes) return false;
    if (band.used > 0) std::memcpy(bytes.get(), band.deflated.get(), band.used);
    band.deflated = std::move(bytes);
    band.capacity = capacity;
    return true;
}

// Feeds the input to the stream with the given flush, growing the output as needed.
bool Deflate(z_stream &stream, Band &band, int flush) {
    for (;;) {
        if (band.used == band.capacity && !Grow(band, band.capacity + band.capacity / 2 + 4096))
            return false;
        const size_t room =
            std::min<size_t>(band.capacity - band.used, std::numeric_limits<uInt>::max());
        stream.next_out = band.deflated.get() + band.used;
        stream.avail_out = static_cast<uInt>(room);
        const int result = deflate(&stream, flush);
        band.used += room - stream.avail_out;
        if (result == Z_STREAM_ERROR) return false;
        if (flush == Z_FINISH ? result == Z_STREAM_END
                              : stream.avail_in == 0 && stream.avail_out > 0)
            return true;
    }
}

// Filters and deflates the band's rows as a raw deflate stream, noting their adler32.
bool DeflateBand(const QImage &source, size_t rowBytes, int level, bool last, Band &band) {
    const size_t pixelBytes = rowBytes - 1;
    const size_t rowsPerStage = std::max<size_t>(1, kStagingBytes / rowBytes);
    std::vector<uint8_t> pixels((rowsPerStage + 1) * pixelBytes);
    std::vector<uint8_t> filtered(rowsPerStage * rowBytes);
    // The row above the band's first row: the Up filter of a picture's first row sees zeros.
    uint8_t *above = pixels.data();
    if (band.first > 0 && !PixelRows(source, band.first - 1, 1, above, pixelBytes)) return false;
    z_stream stream{};
    // A raw stream: the zlib header and the adler32 of the whole are written once, around the
    // joined bands.
    if (deflateInit2(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    // The bound holds for one final flush; a sync flush adds an empty block of a few bytes.
    bool ok = Grow(band, deflateBound(&stream, static_cast<uLong>(band.length)) + 64);
    for (int top = band.first; ok && top < band.end;) {
        const int count = static_cast<int>(std::min<size_t>(rowsPerStage, band.end - top));
        uint8_t *rows = pixels.data() + pixelBytes;
        ok = PixelRows(source, top, count, rows, pixelBytes);
        for (int r = 0; ok && r < count; ++r) {
            const uint8_t *current = rows + r * pixelBytes;
            const uint8_t *previous = current - pixelBytes;
            uint8_t *out = filtered.data() + r * rowBytes;
            out[0] = 2;  // Up
            if (band.first == 0 && top + r == 0) previous = nullptr;
            if (previous) {
                for (size_t i = 0; i < pixelBytes; ++i)
                    out[1 + i] = static_cast<uint8_t>(current[i] - previous[i]);
            } else {
                std::memcpy(out + 1, current, pixelBytes);
            }
        }
        const size_t bytes = count * rowBytes;
        band.adler = adler32_z(band.adler, filtered.data(), bytes);
        stream.next_in = filtered.data();
        stream.avail_in = static_cast<uInt>(bytes);
        ok = ok && Deflate(stream, band, Z_NO_FLUSH);
        // The last row of this stage is the row above the next one.
        std::memcpy(above, rows + (count - 1) * pixelBytes, pixelBytes);
        top += count;
    }
    ok = ok && Deflate(stream, band, last ? Z_FINISH : Z_SYNC_FLUSH);
    deflateEnd(&stream);
    return ok;
}

}  // namespace

bool WritePNG(const QImage &picture, QIODevice &device, int level) {
    if (picture.isNull()) return false;
    const QImage source = SourceOf(picture);
    if (source.isNull()) return false;
    const bool alpha = source.format() != QImage::Format_RGB32;
    const size_t width = static_cast<size_t>(source.width());
    const int height = source.height();
    // A row and a staging buffer of rows must be one deflate input, and a band's length an
    // offset adler32_combine can take.
    const size_t rowBytes = 1 + (alpha ? 4 : 3) * width;
    if (rowBytes > std::numeric_limits<uInt>::max() / 2 ||
        rowBytes > std::numeric_limits<int>::max())
        return false;
    const int bands = std::min(kBands, height);
    std::vector<Band> parts(static_cast<size_t>(bands));
    for (int b = 0; b < bands; ++b) {
        Band &band = parts[static_cast<size_t>(b)];
        band.first = static_cast<int>(static_cast<int64_t>(height) * b / bands);
        band.end = static_cast<int>(static_cast<int64_t>(height) * (b + 1) / bands);
        const uint64_t length = static_cast<uint64_t>(band.end - band.first) * rowBytes;
        if (length / rowBytes != static_cast<uint64_t>(band.end - band.first) ||
            length > static_cast<uint64_t>(std::numeric_limits<z_off_t>::max()))
            return false;
        band.length = static_cast<z_off_t>(length);
    }
    // One band on each thread: the band count is the row count handed to the helper.
    ForEachRowBand(bands, 1, 1, [&](int64_t first, int64_t end) {
        for (int64_t b = first; b < end; ++b) {
            Band &band = parts[static_cast<size_t>(b)];
            band.ok = DeflateBand(source, rowBytes, level, b == bands - 1, band);
        }
    });
    uLong adler = 1;
    for (const Band &band : parts) {
        if (!band.ok) return false;
        adler = adler32_combine(adler, band.adler, band.length);
    }

    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    uint8_t header[13];
    PutBigEndian32(header, static_cast<uint32_t>(width));
    PutBigEndian32(header + 4, static_cast<uint32_t>(height));
    header[8] = 8;                 // bits per sample
    header[9] = alpha ? 6 : 2;     // RGBA or RGB
    header[10] = header[11] = 0;   // deflate, adaptive filtering
    header[12] = 0;                // not interlaced
    if (!WriteBytes(device, kSignature, sizeof kSignature) ||
        !WriteChunk(device, "IHDR", {{header, sizeof header}}))
        return false;
    if (picture.dotsPerMeterX() > 0 && picture.dotsPerMeterY() > 0) {
        uint8_t physical[9];
        PutBigEndian32(physical, static_cast<uint32_t>(picture.dotsPerMeterX()));
        PutBigEndian32(physical + 4, static_cast<uint32_t>(picture.dotsPerMeterY()));
        physical[8] = 1;  // the unit is the metre
        if (!WriteChunk(device, "pHYs", {{physical, sizeof physical}})) return false;
    }

    // The zlib stream: its header (a 32 KB window and the level's class, as zlib states it),
    // the bands, and the adler32 of all the filtered rows.
    const uint8_t zlibHeader[2] = {0x78, ZlibHeaderSecondByte(level)};
    uint8_t trailer[4];
    PutBigEndian32(trailer, static_cast<uint32_t>(adler));
    std::vector<Span> stream{{zlibHeader, sizeof zlibHeader}};
    for (const Band &band : parts) stream.push_back({band.deflated.get(), band.used});
    stream.push_back({trailer, sizeof trailer});
    // Cut into IDAT chunks of at most kMaxChunkData bytes.
    std::vector<Span> chunk;
    size_t inChunk = 0;
    for (Span span : stream) {
        while (span.size > 0) {
            const size_t take = std::min(span.size, kMaxChunkData - inChunk);
            chunk.push_back({span.data, take});
            inChunk += take;
            span.data += take;
            span.size -= take;
            if (inChunk == kMaxChunkData) {
                if (!WriteChunk(device, "IDAT", chunk)) return false;
                chunk.clear();
                inChunk = 0;
            }
        }
    }
    if (inChunk > 0 && !WriteChunk(device, "IDAT", chunk)) return false;
    return WriteChunk(device, "IEND", {});
}
