// Decoding a large JPEG photo on several threads: each thread decodes its own band of rows with
// its own decompressor, skipping the rows above it. Entropy decoding of the skipped rows is cheap
// next to the inverse transforms, upsampling and colour conversion that the bands share out, and
// the skipped rows are decoded the same way whichever band they end up in, so the bands together
// give the bytes of one pass over the whole photo.
//
// Both decoders stop at the first sign of damage (corrupt or missing data) and tell it: the
// decompressor would otherwise fill what it cannot decode with grey and carry on.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>

// The photo in `file`, a sequential JPEG of YCbCr samples that is exactly width x height pixels,
// as a QImage::Format_RGB32 picture. Null whenever the photo is anything else (progressive,
// another colour space, another size) or gives a warning that is no sign of damage: the caller
// then decodes it the ordinary way, which decides what such a photo gives. Null with *damage
// set to the decompressor's message when its data is corrupt or missing.
QImage DecodeJpegInBands(const QByteArray &file, int64_t width, int64_t height, QString *damage);

// Decodes the whole JPEG once, keeping no pixels, for photos that DecodeJpegInBands does not
// take: empty when the data is sound, else the decompressor's message about the damage or the
// fault that stopped it, or kReasonTruncated for a progressive photo whose scans end before its
// last refinement.
QString JpegDamage(const QByteArray &file);
