// Progressive JPEGs made by the tests: a chosen number of scans, and files cut at a scan boundary.
#pragma once

#include <QByteArray>
#include <QImage>

namespace fixtures {

// The picture in grey as a progressive JPEG of exactly `scans` scans (64 to 704): each
// coefficient has scans of its own, refined by successive approximation to its last bit.
QByteArray ProgressiveJpegWithScans(const QImage &image, int scans);

// The JPEG's first `scans` scans, the segments before them, and an end-of-image marker: a file
// cut at a scan boundary that still ends as a JPEG file ends.
QByteArray CutAfterScans(const QByteArray &jpeg, int scans);

}  // namespace fixtures
