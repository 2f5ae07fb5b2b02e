#include "photo_orientation.h"

#include <libyuv/convert_argb.h>
#include <libyuv/planar_functions.h>
#include <libyuv/rotate_argb.h>

#include <cstring>

int ClampOrientation(int orientation) {
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

bool OrientationSwapsSides(int orientation) { return ClampOrientation(orientation) >= 5; }

int OrientationFromTransformation(QImageIOHandler::Transformations transformation) {
    switch (transformation.toInt()) {
    case QImageIOHandler::TransformationMirror: return 2;
    case QImageIOHandler::TransformationRotate180: return 3;
    case QImageIOHandler::TransformationFlip: return 4;
    case QImageIOHandler::TransformationFlipAndRotate90: return 5;
    case QImageIOHandler::TransformationRotate90: return 6;
    case QImageIOHandler::TransformationMirrorAndRotate90: return 7;
    case QImageIOHandler::TransformationRotate270: return 8;
    default: return 1;
    }
}

int OrientationFromRawFlip(int flip) {
    // The raw decoder turns the orientation tag into its flip by the digits of "50132467"
    // (tag 1 is flip 0, tag 2 flip 1, ...): this is that table read backwards.
    static constexpr int kOrientationOfFlip[8] = {1, 2, 4, 3, 5, 8, 6, 7};
    return flip >= 0 && flip < 8 ? kOrientationOfFlip[flip] : 1;
}

QTransform UprightTransform(int orientation, double w, double h) {
    // QTransform(m11, m12, m21, m22, dx, dy) maps (x, y) to (m11 x + m21 y + dx, m12 x + m22 y + dy).
    switch (ClampOrientation(orientation)) {
    case 2: return QTransform(-1, 0, 0, 1, w, 0);   // mirrored left to right
    case 3: return QTransform(-1, 0, 0, -1, w, h);  // half turn
    case 4: return QTransform(1, 0, 0, -1, 0, h);   // mirrored top to bottom
    case 5: return QTransform(0, 1, 1, 0, 0, 0);    // transposed
    case 6: return QTransform(0, 1, -1, 0, h, 0);   // quarter turn clockwise
    case 7: return QTransform(0, -1, -1, 0, h, w);  // transposed across the other diagonal
    case 8: return QTransform(0, -1, 1, 0, 0, w);   // quarter turn counter-clockwise
    default: return QTransform();
    }
}

namespace {

void RepeatLastColumn(uint8_t *bitmap, int64_t stride, int64_t drawn, int64_t width,
                      int64_t height) {
    if (drawn <= 0 || drawn >= width) return;
    for (int64_t y = 0; y < height; ++y) {
        uint8_t *row = bitmap + y * stride;
        for (int64_t x = drawn; x < width; ++x) std::memcpy(row + 4 * x, row + 4 * (drawn - 1), 4);
    }
}

}  // namespace

bool DrawUprightRows(const QImage &stored, int orientation, int64_t firstRow, int64_t rows,
                     uint8_t *bitmap, int64_t stride, int64_t width) {
    if (stored.isNull() || stored.format() != QImage::Format_RGB32 || !bitmap) return false;
    const int o = ClampOrientation(orientation);
    const int w = stored.width(), h = stored.height();
    const int64_t uprightW = OrientationSwapsSides(o) ? h : w;
    const int64_t uprightH = OrientationSwapsSides(o) ? w : h;
    if (firstRow < 0 || rows <= 0 || firstRow + rows > uprightH || uprightW > width ||
        stride < 4 * width || stride > INT32_MAX)
        return false;
    const uint8_t *base = stored.constBits();
    const int s = static_cast<int>(stored.bytesPerLine()), d = static_cast<int>(stride);
    const int y0 = static_cast<int>(firstRow), n = static_cast<int>(rows);
    const auto row = [&](int y) { return base + static_cast<int64_t>(y) * s; };
    // Upright rows y0..y0+n-1 come from n stored rows (orientations 1-4) or n stored columns
    // (5-8); a negative height makes libyuv read that part of the source bottom row first.
    int result = 0;
    switch (o) {
    case 1: result = libyuv::ARGBCopy(row(y0), s, bitmap, d, w, n); break;
    case 2: result = libyuv::ARGBMirror(row(y0), s, bitmap, d, w, n); break;
    case 3: result = libyuv::ARGBRotate(row(h - y0 - n), s, bitmap, d, w, n, libyuv::kRotate180); break;
    case 4: result = libyuv::ARGBCopy(row(h - y0 - n), s, bitmap, d, w, -n); break;
    case 5: result = libyuv::ARGBRotate(base + 4 * y0, s, bitmap, d, n, -h, libyuv::kRotate90); break;
    case 6: result = libyuv::ARGBRotate(base + 4 * y0, s, bitmap, d, n, h, libyuv::kRotate90); break;
    case 7:
        result = libyuv::ARGBRotate(base + 4 * (w - y0 - n), s, bitmap, d, n, -h, libyuv::kRotate270);
        break;
    case 8:
        result = libyuv::ARGBRotate(base + 4 * (w - y0 - n), s, bitmap, d, n, h, libyuv::kRotate270);
        break;
    }
    if (result != 0) return false;
    RepeatLastColumn(bitmap, stride, uprightW, width, rows);
    return true;
}

bool DrawUpright(const QImage &stored, int orientation, uint8_t *bitmap, int64_t stride,
                 int64_t width, int64_t height) {
    const int o = ClampOrientation(orientation);
    const int64_t uprightH = OrientationSwapsSides(o) ? stored.width() : stored.height();
    if (height != uprightH) return false;
    return DrawUprightRows(stored, o, 0, height, bitmap, stride, width);
}
