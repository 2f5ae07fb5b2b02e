#include "jpeg_layout.h"

#include <algorithm>
#include <cstdint>

#include "photo_file.h"
#include "photo_metadata.h"

namespace {

using tonefold::JpegDataFault;
using tonefold::JpegScanBounds;

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
    size_t payload = 0;  // just past the length field
    size_t end = 0;      // just past the segment
};

// The segment whose marker (with any fill bytes before it) starts at pos.
bool ReadSegment(const PhotoFile &file, size_t pos, Segment *segment) {
    if (file.byteAt(pos) != 0xFF) return false;
    const size_t fill = pos;  // the marker's own 0xFF and any fill bytes before it
    while (file.byteAt(pos) == 0xFF)
        if (++pos - fill > tonefold::kMaxJpegFillBytes + 1) return false;
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
    segment->payload = pos + 2;
    segment->end = pos + length;
    return true;
}

// The bounds that a frame header's size and component count set.
JpegScanBounds FrameBounds(const PhotoFile &file, const Segment &frame) {
    uint8_t head[6];
    const size_t count = std::min(sizeof head, frame.end - frame.payload);
    for (size_t i = 0; i < count; ++i)
        head[i] = static_cast<uint8_t>(std::max(file.byteAt(frame.payload + i), 0));
    return tonefold::JpegScanBoundsOfFrame(head, count);
}

// Where the marker after a scan's entropy-coded data starts, or the size when none follows. In
// that data 0xFF is followed by a stuffed zero or a restart marker, possibly after fill bytes.
// A marker may start at most bounds.maxBytes past `start`, and no run of zeros may pass
// bounds.maxZeroRun: the walk stops where either is passed, with *fault set. A hole that runs to
// the end of the file leaves it without a marker after the data.
size_t EntropyEnd(const PhotoFile &file, size_t start, const JpegScanBounds &bounds,
                  JpegDataFault *fault) {
    const size_t limit = file.size() - start > bounds.maxBytes
                             ? start + static_cast<size_t>(bounds.maxBytes) + 1
                             : file.size();
    uint64_t zeroRun = 0;
    size_t pos = start;
    for (;;) {
        // To the next 0xFF, stretch by stretch.
        for (;;) {
            if (pos >= limit) {
                if (limit < file.size()) *fault = JpegDataFault::kTooLong;
                return pos;
            }
            const uint8_t *bytes = nullptr;
            const size_t stretch = file.stretchAt(pos, &bytes);
            if (stretch == 0 || (bytes == nullptr && pos + stretch == file.size()))
                return file.size();
            const size_t count = std::min(stretch, limit - pos);
            if (bytes == nullptr) {
                zeroRun += count;
                if (zeroRun > bounds.maxZeroRun) *fault = JpegDataFault::kZeroRun;
            } else {
                const size_t found =
                    tonefold::FindEntropyMarker(bytes, count, bounds.maxZeroRun, &zeroRun);
                if (zeroRun > bounds.maxZeroRun) *fault = JpegDataFault::kZeroRun;
                if (found < count && *fault == JpegDataFault::kNone) {
                    pos += found;
                    break;
                }
            }
            if (*fault != JpegDataFault::kNone) return pos;
            pos += count;
        }
        size_t next = pos + 1;
        while (file.byteAt(next) == 0xFF) {  // fill bytes
            if (next - start > bounds.maxBytes) {
                *fault = JpegDataFault::kTooLong;
                return next;
            }
            ++next;
        }
        const int following = file.byteAt(next);
        if (following < 0) return file.size();
        if (following != 0x00 && !StandsAlone(following)) return pos;
        pos = next + 1;
    }
}

}  // namespace

JpegLayout WalkJpeg(const PhotoFile &file, int maxScans) {
    JpegLayout layout;
    if (file.byteAt(0) != 0xFF || file.byteAt(1) != kStartOfImage) return layout;
    JpegScanBounds bounds = tonefold::JpegScanBoundsOf(0, 0, 0);
    Segment segment;
    size_t pos = 2;
    while (ReadSegment(file, pos, &segment)) {
        if (segment.marker == kEndOfImage) {
            layout.bytes = segment.end;
            pos = segment.end;
            break;
        }
        if (segment.marker != kStartOfScan && ++layout.markers > tonefold::kMaxJpegMarkers) break;
        pos = segment.end;
        if (tonefold::IsJpegFrameMarker(segment.marker) && layout.scans == 0)
            bounds = FrameBounds(file, segment);
        if (StartsProgressiveFrame(segment.marker)) layout.progressive = true;
        if (segment.marker != kStartOfScan) continue;
        if (++layout.scans == 1) layout.headerBytes = pos;
        if (maxScans == 0 || (layout.progressive && layout.scans > maxScans)) break;
        pos = EntropyEnd(file, pos, bounds, &layout.dataFault);
        if (layout.dataFault != JpegDataFault::kNone) break;
    }
    if (layout.scans == 0) layout.headerBytes = pos;
    return layout;
}

QString JpegLayoutRefusal(const JpegLayout &layout, bool whole) {
    std::string refusal = tonefold::CheckJpegMarkerCount(layout.markers);
    if (refusal.empty()) refusal = tonefold::JpegDataRefusal(layout.dataFault);
    if (!refusal.empty()) return QString::fromStdString(refusal);
    if (whole && layout.progressive && layout.scans > tonefold::kMaxJpegScans)
        return QString::fromLatin1(kReasonTooManyScans);
    if (whole && layout.bytes == 0) return QString::fromLatin1(kReasonCutShort);
    // A header that never reaches a scan is what the image reader cannot read a size from.
    if (layout.scans == 0) return QString::fromLatin1(kReasonUnreadable);
    return {};
}
