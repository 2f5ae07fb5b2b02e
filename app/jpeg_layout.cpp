#include "jpeg_layout.h"

#include <cstdint>

#include "photo_file.h"

namespace {

constexpr int kStartOfImage = 0xD8;
constexpr int kEndOfImage = 0xD9;
constexpr int kStartOfScan = 0xDA;

// Markers without a length field: TEM and the restart markers.
bool StandsAlone(int marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }

// The frame headers of progressive files (Huffman or arithmetic, with or without hierarchy).
bool StartsProgressiveFrame(int marker) {
    return marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
}

struct Segment {
    int marker = 0;
    size_t end = 0;  // just past the segment
};

// The segment whose marker (with any fill bytes before it) starts at pos.
bool ReadSegment(const PhotoFile &file, size_t pos, Segment *segment) {
    if (file.byteAt(pos) != 0xFF) return false;
    while (file.byteAt(pos) == 0xFF) ++pos;
    segment->marker = file.byteAt(pos++);
    if (segment->marker < 0) return false;
    if (segment->marker == kEndOfImage || StandsAlone(segment->marker)) {
        segment->end = pos;
        return true;
    }
    const int high = file.byteAt(pos), low = file.byteAt(pos + 1);
    if (high < 0 || low < 0) return false;
    const size_t length = static_cast<size_t>(high << 8 | low);
    if (length < 2 || length > file.size() - pos) return false;
    segment->end = pos + length;
    return true;
}

// Where the marker after a scan's entropy-coded data starts, or the size when none follows. In
// that data 0xFF is followed by a stuffed zero or a restart marker, possibly after fill bytes.
size_t EntropyEnd(const PhotoFile &file, size_t pos) {
    for (;;) {
        const size_t at = file.findFF(pos);
        if (at >= file.size()) return file.size();
        size_t next = at + 1;
        while (file.byteAt(next) == 0xFF) ++next;
        const int following = file.byteAt(next);
        if (following < 0) return file.size();
        if (following != 0x00 && !StandsAlone(following)) return at;
        pos = next + 1;
    }
}

}  // namespace

JpegLayout WalkJpeg(const PhotoFile &file, int maxScans) {
    JpegLayout layout;
    if (file.byteAt(0) != 0xFF || file.byteAt(1) != kStartOfImage) return layout;
    Segment segment;
    size_t pos = 2;
    while (ReadSegment(file, pos, &segment)) {
        pos = segment.end;
        if (segment.marker == kEndOfImage) {
            layout.bytes = pos;
            break;
        }
        if (StartsProgressiveFrame(segment.marker)) layout.progressive = true;
        if (segment.marker != kStartOfScan) continue;
        if (++layout.scans == 1) layout.headerBytes = pos;
        if (maxScans == 0 || (layout.progressive && layout.scans > maxScans)) break;
        pos = EntropyEnd(file, pos);
    }
    if (layout.scans == 0) layout.headerBytes = pos;
    return layout;
}
