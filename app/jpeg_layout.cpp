#include "jpeg_layout.h"

#include "photo_file.h"

namespace {

constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kEndOfImage = 0xD9;
constexpr uint8_t kStartOfScan = 0xDA;

// Markers without a length field: TEM and the restart markers.
bool StandsAlone(uint8_t marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }

// The frame headers of progressive files (Huffman or arithmetic, with or without hierarchy).
bool StartsProgressiveFrame(uint8_t marker) {
    return marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
}

struct Segment {
    uint8_t marker = 0;
    size_t end = 0;  // just past the segment
};

// The segment whose marker (with any fill bytes before it) starts at pos.
bool ReadSegment(const uint8_t *data, size_t size, size_t pos, Segment *segment) {
    if (pos >= size || data[pos] != 0xFF) return false;
    while (pos < size && data[pos] == 0xFF) ++pos;
    if (pos >= size) return false;
    segment->marker = data[pos++];
    if (segment->marker == kEndOfImage || StandsAlone(segment->marker)) {
        segment->end = pos;
        return true;
    }
    if (size - pos < 2) return false;
    const size_t length = static_cast<size_t>(data[pos] << 8 | data[pos + 1]);
    if (length < 2 || length > size - pos) return false;
    segment->end = pos + length;
    return true;
}

// Where the marker after a scan's entropy-coded data starts, or the size when none follows. In
// that data 0xFF is followed by a stuffed zero or a restart marker, possibly after fill bytes.
size_t EntropyEnd(const PhotoFile &file, size_t pos) {
    const uint8_t *data = file.data();
    const size_t size = file.size();
    for (;;) {
        const size_t at = file.findFF(pos);
        size_t next = at + 1;
        while (next < size && data[next] == 0xFF) ++next;
        if (next >= size) return size;
        if (data[next] != 0x00 && !StandsAlone(data[next])) return at;
        pos = next + 1;
    }
}

}  // namespace

size_t JpegHeaderBytes(const uint8_t *data, size_t size) {
    if (size < 2 || data[0] != 0xFF || data[1] != kStartOfImage) return size;
    Segment segment;
    for (size_t pos = 2; ReadSegment(data, size, pos, &segment); pos = segment.end) {
        if (segment.marker == kStartOfScan) return segment.end;
        if (segment.marker == kEndOfImage) break;
    }
    return size;
}

JpegLayout WalkJpeg(const PhotoFile &file, int maxProgressiveScans) {
    JpegLayout layout;
    const uint8_t *data = file.data();
    const size_t size = file.size();
    if (size < 2 || data[0] != 0xFF || data[1] != kStartOfImage) return layout;
    Segment segment;
    size_t pos = 2;
    while (ReadSegment(data, size, pos, &segment)) {
        if (segment.marker == kEndOfImage) {
            layout.hasEnd = true;
            break;
        }
        if (StartsProgressiveFrame(segment.marker)) layout.progressive = true;
        pos = segment.end;
        if (segment.marker != kStartOfScan) continue;
        if (++layout.scans > maxProgressiveScans && layout.progressive) break;
        pos = EntropyEnd(file, pos);
    }
    return layout;
}
