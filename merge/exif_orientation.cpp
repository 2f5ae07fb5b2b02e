// Every offset read from the file is checked against the buffer before it is followed.
#include "exif_orientation.h"

#include <zlib.h>

#include <cstring>

namespace tonefold {
namespace {

constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kTypeShort = 3;
constexpr size_t kIfdEntryBytes = 12;

struct TiffReader {
    const uint8_t *data;
    size_t size;
    bool bigEndian;

    bool Has(size_t offset, size_t bytes) const { return offset <= size && bytes <= size - offset; }
    uint16_t U16(size_t offset) const {
        const uint8_t *p = data + offset;
        return bigEndian ? static_cast<uint16_t>(p[0] << 8 | p[1])
                         : static_cast<uint16_t>(p[1] << 8 | p[0]);
    }
    uint32_t U32(size_t offset) const {
        const uint32_t high = U16(offset + (bigEndian ? 0 : 2));
        const uint32_t low = U16(offset + (bigEndian ? 2 : 0));
        return high << 16 | low;
    }
};

int ValidOrientation(int value) { return value >= 1 && value <= 8 ? value : 1; }

}  // namespace

int ReadTiffOrientation(const uint8_t *data, size_t size) {
    if (data == nullptr || size < 8) return 1;
    TiffReader tiff{data, size, false};
    if (data[0] == 'M' && data[1] == 'M') {
        tiff.bigEndian = true;
    } else if (!(data[0] == 'I' && data[1] == 'I')) {
        return 1;
    }
    if (tiff.U16(2) != 42) return 1;
    const size_t ifd = tiff.U32(4);
    if (!tiff.Has(ifd, 2)) return 1;
    const size_t entries = tiff.U16(ifd);
    for (size_t i = 0; i < entries; ++i) {
        const size_t entry = ifd + 2 + i * kIfdEntryBytes;
        if (!tiff.Has(entry, kIfdEntryBytes)) return 1;
        if (tiff.U16(entry) != kOrientationTag) continue;
        // One SHORT fits the value field, which holds it in its first two bytes. A larger
        // count would make the field an offset to the values elsewhere: a second reading of
        // such a tag could tell another value, so it counts as no orientation.
        if (tiff.U16(entry + 2) != kTypeShort || tiff.U32(entry + 4) != 1) return 1;
        return ValidOrientation(tiff.U16(entry + 8));
    }
    return 1;
}

namespace {

constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kEndOfImage = 0xD9;
constexpr uint8_t kStartOfScan = 0xDA;
constexpr uint8_t kApp1 = 0xE1;
constexpr char kExifHeader[] = "Exif\0";  // six bytes with the terminator
constexpr size_t kExifHeaderBytes = 6;

// Markers that stand alone, without a length field.
bool HasNoLength(uint8_t marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }

// The rest of the file from the end of the first scan's header: entropy-coded data runs to
// the next marker other than a stuffed 0xFF 0x00 or a restart marker; segments between scans
// are passed over by their lengths, as the decoder passes over them, and counted as markers of
// tables and metadata. Counts the scans until the end-of-image marker. Each stretch of
// entropy-coded data, fill bytes included, is searched no further than its bounds.
void WalkScans(const uint8_t *data, size_t pos, size_t size, const JpegScanBounds &bounds,
               JpegMarkerScan *scan) {
    scan->scanCount = 1;
    size_t stretch = pos;  // where the stretch of entropy-coded data began
    uint64_t zeroRun = 0;
    while (pos + 1 < size) {
        // A marker may start at most maxBytes past the stretch's start.
        const size_t end = size - 1 - stretch > bounds.maxBytes
                               ? stretch + static_cast<size_t>(bounds.maxBytes) + 1
                               : size - 1;
        if (pos < end) pos += FindEntropyMarker(data + pos, end - pos, bounds.maxZeroRun, &zeroRun);
        if (zeroRun > bounds.maxZeroRun) {
            scan->dataFault = JpegDataFault::kZeroRun;
            return;
        }
        if (pos >= end) {
            if (end < size - 1) scan->dataFault = JpegDataFault::kTooLong;
            return;
        }
        ++pos;
        while (pos < size && data[pos] == 0xFF) {  // fill bytes
            if (pos - stretch > bounds.maxBytes) {
                scan->dataFault = JpegDataFault::kTooLong;
                return;
            }
            ++pos;
        }
        if (pos >= size) return;
        const uint8_t marker = data[pos++];
        if (marker == 0x00 || HasNoLength(marker)) continue;
        if (marker == kEndOfImage) {
            scan->hasEnd = true;
            return;
        }
        if (marker != kStartOfScan && ++scan->markers > kMaxJpegMarkers) return;
        if (size - pos < 2) return;
        const size_t length = static_cast<size_t>(data[pos] << 8 | data[pos + 1]);
        if (length < 2 || length > size - pos) return;
        if (marker == kStartOfScan) ++scan->scanCount;
        pos += length;
        stretch = pos;
        zeroRun = 0;
    }
}

}  // namespace

JpegMarkerScan ScanJpegMarkers(const uint8_t *data, size_t size) {
    JpegMarkerScan scan;
    if (data == nullptr || size < 4 || data[0] != 0xFF || data[1] != kStartOfImage) return scan;
    bool orientationFound = false;
    JpegScanBounds bounds = JpegScanBoundsOf(0, 0, 0);
    size_t pos = 2;
    while (pos < size) {
        if (data[pos] != 0xFF) return scan;  // a segment must start with a marker
        const size_t fill = pos;  // the marker's own 0xFF and any fill bytes before it
        while (pos < size && data[pos] == 0xFF && pos - fill <= kMaxJpegFillBytes) ++pos;
        if (pos >= size || data[pos] == 0xFF) return scan;
        const uint8_t marker = data[pos++];
        if (marker == kEndOfImage) return scan;
        if (marker != kStartOfScan && ++scan.markers > kMaxJpegMarkers) return scan;
        if (HasNoLength(marker)) continue;
        if (size - pos < 2) return scan;
        const size_t length = static_cast<size_t>(data[pos] << 8 | data[pos + 1]);
        if (length < 2 || length > size - pos) return scan;
        const uint8_t *payload = data + pos + 2;
        const size_t payloadBytes = length - 2;
        if (marker == kStartOfScan) {
            scan.hasScan = true;
            WalkScans(data, pos + length, size, bounds, &scan);
            return scan;
        }
        if (IsJpegFrameMarker(marker)) bounds = JpegScanBoundsOfFrame(payload, payloadBytes);
        if (marker == kApp1 && !orientationFound && payloadBytes >= kExifHeaderBytes &&
            std::memcmp(payload, kExifHeader, kExifHeaderBytes) == 0) {
            scan.orientation =
                ReadTiffOrientation(payload + kExifHeaderBytes, payloadBytes - kExifHeaderBytes);
            orientationFound = true;
        }
        pos += length;
    }
    return scan;
}

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

uint32_t BigEndian32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// The byte-order mark's two bytes are equal and either 'I' or 'M'.
bool SoundByteOrder(const uint8_t *block, size_t size) {
    return size >= 2 && block[0] == block[1] && (block[0] == 'I' || block[0] == 'M');
}

}  // namespace

int ReadPngOrientation(const uint8_t *data, size_t size) {
    if (data == nullptr || size < sizeof kPngSignature ||
        std::memcmp(data, kPngSignature, sizeof kPngSignature) != 0)
        return 1;
    // Chunks: length, type, data, check sum over type and data. A chunk with a bad check sum
    // or a bad mark is passed over, as the PNG decoder passes over a damaged ancillary chunk.
    size_t pos = sizeof kPngSignature;
    while (size - pos >= 12) {
        const size_t length = BigEndian32(data + pos);
        if (length > size - pos - 12) return 1;
        const uint8_t *type = data + pos + 4;
        const uint8_t *payload = type + 4;
        if (std::memcmp(type, "IEND", 4) == 0) return 1;
        if (std::memcmp(type, "eXIf", 4) == 0 && SoundByteOrder(payload, length)) {
            const uLong sum = crc32(crc32(0, nullptr, 0), type, static_cast<uInt>(4 + length));
            if (sum == BigEndian32(payload + length)) return ReadTiffOrientation(payload, length);
        }
        pos += 12 + length;
    }
    return 1;
}

int ReadPhotoOrientation(const uint8_t *data, size_t size) {
    if (data == nullptr) return 1;
    if (size >= 2 && data[0] == 0xFF && data[1] == kStartOfImage)
        return ScanJpegMarkers(data, size).orientation;
    return ReadPngOrientation(data, size);
}

}  // namespace tonefold
