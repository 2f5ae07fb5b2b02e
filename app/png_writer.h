// Writing a picture as PNG with zlib directly, its rows compressed in bands on several threads.
#pragma once

#include <QIODevice>
#include <QImage>

// Writes the picture as an 8-bit PNG to the device: R,G,B for a picture without alpha, R,G,B,A
// otherwise (a premultiplied picture unpremultiplied as Qt does), every row with the Up filter,
// a pHYs chunk when the picture states its dots per metre, and the compressed data in IDAT
// chunks of at most 1 MiB. The rows are cut into up to four bands deflated side by side at the
// given zlib level and joined into one zlib stream. False for a null picture, a picture too
// large for the format, or a failed write.
bool WritePNG(const QImage &picture, QIODevice &device, int level);
