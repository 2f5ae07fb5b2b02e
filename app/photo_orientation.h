// Orientation codes of photos (1..8 as the photo's metadata counts them) and drawing upright.
#pragma once

#include <QImage>
#include <QImageIOHandler>
#include <QTransform>
#include <cstdint>

// A code outside 1..8 (0, 9, ...) counts as 1.
int ClampOrientation(int orientation);

// Orientations 5 to 8 turn the photo a quarter, so its upright width is its stored height.
bool OrientationSwapsSides(int orientation);

// The orientation code of the image reader's transformation (the stored photo turned upright).
int OrientationFromTransformation(QImageIOHandler::Transformations transformation);

// The orientation code of the camera raw decoder's flip 0..7: 1, 2, 4, 3, 5, 8, 6, 7; 1 for
// any other flip.
int OrientationFromRawFlip(int flip);

// Maps the stored photo of width x height pixels onto its upright place, in y-down coordinates
// with equal scale both ways.
QTransform UprightTransform(int orientation, double width, double height);

// Copies the stored RGB32 photo upright into bitmap (B,G,R,X pixels, stride bytes per row), whose
// first width x height pixels receive it; the bitmap must be at least the photo's upright size.
// Columns from the photo's upright width up to width repeat its last column. Answers false when
// the sizes do not fit.
// The same for the upright rows firstRow .. firstRow + rows - 1 only, drawn into a bitmap of
// that many rows.
bool DrawUprightRows(const QImage &stored, int orientation, int64_t firstRow, int64_t rows,
                     uint8_t *bitmap, int64_t stride, int64_t width);

bool DrawUpright(const QImage &stored, int orientation, uint8_t *bitmap, int64_t stride,
                 int64_t width, int64_t height);
