// Decoding a large JPEG photo on several threads: each thread decodes its own band of rows with
// its own decompressor, skipping the rows above it. Entropy decoding of the skipped rows is cheap
// next to the inverse transforms, upsampling and colour conversion that the bands share out, and
// the skipped rows are decoded the same way whichever band they end up in, so the bands together
// give the bytes of one pass over the whole photo.
#pragma once

#include <QByteArray>
#include <QImage>
#include <cstdint>

// The photo in `file`, a sequential JPEG of YCbCr samples that is exactly width x height pixels,
// as a QImage::Format_RGB32 picture. Null whenever the photo is anything else (progressive,
// another colour space, another size) or shows any fault while decoding (a warning included):
// the caller then decodes it the ordinary way, which decides what such a photo gives.
QImage DecodeJpegInBands(const QByteArray &file, int64_t width, int64_t height);
