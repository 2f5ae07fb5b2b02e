#include "align/transform_warp.h"

#include <algorithm>
#include <cmath>

#include "align/checked_rounding.h"
#include "core/image.h"

int32_t WarpCellShift(int32_t largestSide) {
    for (int32_t s = 1; s <= 9; ++s)
        if ((largestSide >> s) >= 10 && (largestSide >> (s + 1)) <= 10) return s;
    return 10;
}

namespace {

struct Transform {
    const double *matrix, *translation, *perspective;
};

// Maps (x, y); false where w <= 0 (the point has no image in front of the camera).
bool MapPoint(const Transform &t, double x, double y, double *X, double *Y) {
    const double w = 1.0 - t.perspective[0] * x - t.perspective[1] * y;
    if (!(w > 0.0)) return false;
    *X = (t.matrix[0] * x + t.matrix[1] * y + t.translation[0]) / w;
    *Y = (t.matrix[2] * x + t.matrix[3] * y + t.translation[1]) / w;
    return true;
}

// Floor and ceiling divisions for a positive divisor.
int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

// First and last cell row (or column) 0..extent-1 whose source position along an edge running
// from start (row 0) to end (row 2^s) lies in [0, limit).
void EdgeRange(int64_t start, int64_t end, int32_t s, int64_t limit, int32_t extent,
               int64_t *first, int64_t *last) {
    const int64_t e = end - start;  // positive: folded cells were rejected
    *first = start < 0 ? CeilDiv((-start) << s, e) : 0;
    *last = end >= limit ? FloorDiv(((limit - start) << s) - 1, e) : extent - 1;
}

}  // namespace

int ComputeCellValidRegion(int32_t K, int32_t J, int32_t W, int32_t H, int32_t s,
                           const int32_t *dx, const int32_t *dy, int32_t *outX, int32_t *outY,
                           PixelRect *valid, PixelRect *crop) {
    if (!crop) return 2;
    const int64_t side = int64_t{1} << s;
    const int64_t left16 = 16 * K * side, right16 = 16 * (K + 1) * side;
    const int64_t top16 = 16 * J * side, bottom16 = 16 * (J + 1) * side;
    const int64_t X[4] = {left16 + dx[CELL_TOP_LEFT], right16 + dx[CELL_TOP_RIGHT],
                          left16 + dx[CELL_BOTTOM_LEFT], right16 + dx[CELL_BOTTOM_RIGHT]};
    const int64_t Y[4] = {top16 + dy[CELL_TOP_LEFT], top16 + dy[CELL_TOP_RIGHT],
                          bottom16 + dy[CELL_BOTTOM_LEFT], bottom16 + dy[CELL_BOTTOM_RIGHT]};
    for (int32_t i = 0; i < 4; ++i) {
        if (outX) outX[i] = static_cast<int32_t>(X[i]);
        if (outY) outY[i] = static_cast<int32_t>(Y[i]);
    }
    if (X[CELL_TOP_LEFT] >= X[CELL_TOP_RIGHT] || X[CELL_BOTTOM_LEFT] >= X[CELL_BOTTOM_RIGHT] ||
        Y[CELL_TOP_LEFT] >= Y[CELL_BOTTOM_LEFT] || Y[CELL_TOP_RIGHT] >= Y[CELL_BOTTOM_RIGHT])
        return 2;
    const int64_t cellX = K * side, cellY = J * side;
    // The last cell column (row) is cut at the image border.
    const int32_t cw = static_cast<int32_t>(std::min<int64_t>(side, W - cellX));
    const int32_t ch = static_cast<int32_t>(std::min<int64_t>(side, H - cellY));
    // The bilinear neighbour at +1 must exist, so positions stay below 16 * (size - 1).
    const int64_t limX = 16 * (int64_t{W} - 1), limY = 16 * (int64_t{H} - 1);
    int64_t firstL, lastL, firstR, lastR, firstT, lastT, firstB, lastB;
    EdgeRange(Y[CELL_TOP_LEFT], Y[CELL_BOTTOM_LEFT], s, limY, ch, &firstL, &lastL);
    EdgeRange(Y[CELL_TOP_RIGHT], Y[CELL_BOTTOM_RIGHT], s, limY, ch, &firstR, &lastR);
    EdgeRange(X[CELL_TOP_LEFT], X[CELL_TOP_RIGHT], s, limX, cw, &firstT, &lastT);
    EdgeRange(X[CELL_BOTTOM_LEFT], X[CELL_BOTTOM_RIGHT], s, limX, cw, &firstB, &lastB);
    const int64_t top = std::max({firstL, firstR, int64_t{0}});
    const int64_t bottom = std::min({int64_t{ch} - 1, lastL, lastR});
    const int64_t left = std::max({firstT, firstB, int64_t{0}});
    const int64_t right = std::min({int64_t{cw} - 1, lastT, lastB});
    int64_t x1 = right + 1;
    const int64_t y1 = bottom + 1;
    // At the right border a span ending on a multiple of 4 would end with a whole group of four,
    // whose paired pixels could read one column too far; it is made one pixel shorter.
    if ((X[CELL_TOP_RIGHT] >= limX || X[CELL_BOTTOM_RIGHT] >= limX) && (x1 & 3) == 0) x1 = right;
    if (top >= ch && crop->y0 < cellY + ch) crop->y0 = static_cast<int32_t>(cellY + ch);
    if (bottom < 0 && cellY < crop->y1) crop->y1 = static_cast<int32_t>(cellY);
    if (left >= cw && crop->x0 < cellX + cw) crop->x0 = static_cast<int32_t>(cellX + cw);
    if (x1 <= 0) {
        if (cellX >= crop->x1) return 3;
        crop->x1 = static_cast<int32_t>(cellX);
    }
    if (top >= ch || bottom < 0 || left >= cw || x1 <= 0 || left >= x1 || top >= y1) return 3;
    if (valid)
        *valid = {static_cast<int32_t>(left), static_cast<int32_t>(top),
                  static_cast<int32_t>(x1), static_cast<int32_t>(y1)};
    if (left > 0) crop->x0 = static_cast<int32_t>(std::max<int64_t>(crop->x0, cellX + left));
    if (top > 0) crop->y0 = static_cast<int32_t>(std::max<int64_t>(crop->y0, cellY + top));
    if (x1 < cw) crop->x1 = static_cast<int32_t>(std::min<int64_t>(crop->x1, cellX + x1));
    if (y1 < ch) crop->y1 = static_cast<int32_t>(std::min<int64_t>(crop->y1, cellY + y1));
    return 0;
}

namespace {

constexpr PixelRect kEmptyRect = {0, 0, 0, 0};

// The rounded images of the four image corners when the transform moves each by the same whole
// pixels; a corner with w <= 0 stands for itself. Worked in doubles, whose integers are exact far
// beyond any image, so that a huge translation is still recognised as one.
bool WholePixelTranslation(const Transform &t, int32_t width, int32_t height, int64_t *v,
                           int64_t *u) {
    const double corners[4][2] = {{0.0, 0.0}, {double(width), 0.0}, {0.0, double(height)},
                                  {double(width), double(height)}};
    double shift[4][2];
    for (int32_t i = 0; i < 4; ++i) {
        double X = corners[i][0], Y = corners[i][1];
        MapPoint(t, corners[i][0], corners[i][1], &X, &Y);
        if (!std::isfinite(X) || !std::isfinite(Y)) return false;
        shift[i][0] = std::trunc(X < 0.0 ? X - 0.5 : X + 0.5) - corners[i][0];
        shift[i][1] = std::trunc(Y < 0.0 ? Y - 0.5 : Y + 0.5) - corners[i][1];
    }
    for (int32_t i = 1; i < 4; ++i)
        if (shift[i][0] != shift[0][0] || shift[i][1] != shift[0][1]) return false;
    // Beyond 2^40 pixels nothing overlaps either way; the clamp keeps the int64 sums exact.
    constexpr double kFar = 1099511627776.0;
    *v = static_cast<int64_t>(std::clamp(shift[0][0], -kFar, kFar));
    *u = static_cast<int64_t>(std::clamp(shift[0][1], -kFar, kFar));
    return true;
}

// Copies the source rectangle moved by (v, u) into place; returns the destination rectangle.
PixelRect CopyTranslated(const ImageDesc *source, ImageDesc *destination, const PixelRect &clip,
                         int64_t v, int64_t u) {
    const int32_t width = source->i32Width, height = source->i32Height;
    const int64_t x0 = std::max<int64_t>(0, v + clip.x0), y0 = std::max<int64_t>(0, u + clip.y0);
    const int64_t x1 = std::min<int64_t>(width, v + clip.x1);
    const int64_t y1 = std::min<int64_t>(height, u + clip.y1);
    if (x0 >= x1 || y0 >= y1) return kEmptyRect;  // no overlap: nothing is written
    const PixelRect from = {static_cast<int32_t>(x0), static_cast<int32_t>(y0),
                            static_cast<int32_t>(x1), static_cast<int32_t>(y1)};
    const PixelRect to = {static_cast<int32_t>(x0 - v), static_cast<int32_t>(y0 - u),
                          static_cast<int32_t>(x1 - v), static_cast<int32_t>(y1 - u)};
    const bool wholeImage = v == 0 && u == 0 && clip.x0 == 0 && clip.y0 == 0 &&
                            clip.x1 == width && clip.y1 == height;
    if (wholeImage)
        CopyImage(destination, source);
    else
        CopyImageRectKeepChromaOrder(destination, &to, source, &from);
    return to;
}

// A cell corner whose source lies beyond this many image sides cannot be held in 32-bit
// sixteenths of a pixel for every image size; such a transform is far from any alignment.
constexpr double kCornerBandSides = 4.0;

// Corner displacement of one cell corner in 1/16 pixel (0 where w <= 0). False when the source
// lies outside the band (or is not a number): the cell cannot be warped.
bool CornerDisplacement(const Transform &t, int64_t x, int64_t y, double band, int32_t *dx,
                        int32_t *dy) {
    *dx = *dy = 0;
    double X, Y;
    if (!MapPoint(t, static_cast<double>(x), static_cast<double>(y), &X, &Y)) return true;
    if (!(std::fabs(X) <= band) || !(std::fabs(Y) <= band)) return false;
    *dx = static_cast<int32_t>(TruncateToInt(X * 16.0) - 16 * x);
    *dy = static_cast<int32_t>(TruncateToInt(Y * 16.0) - 16 * y);
    return true;
}

bool WarpsByCells(uint32_t format) {
    return format == PIXEL_FORMAT_YUV444P || format == PIXEL_FORMAT_GRAY8 ||
           format == PIXEL_FORMAT_NV12 || format == PIXEL_FORMAT_NV21;
}

// The planes a cell warp of this format reads and writes are present and hold a row.
bool CellPlanesUsable(const ImageDesc *image) {
    const uint32_t format = image->u32PixelArrayFormat;
    if (!WarpsByCells(format)) return true;  // nothing is written
    const int32_t planes = format == PIXEL_FORMAT_YUV444P ? 3
                           : format == PIXEL_FORMAT_GRAY8 ? 1
                                                          : 2;
    for (int32_t p = 0; p < planes; ++p) {
        const int64_t rowBytes = p > 0 && planes == 2 ? (int64_t{image->i32Width} + 1) & ~1
                                                      : image->i32Width;
        if (!image->ppu8Plane[p] || image->pi32Pitch[p] < rowBytes) return false;
    }
    return true;
}

void WarpCells(const ImageDesc *source, ImageDesc *destination, const Transform &t,
               const PixelRect &clip, PixelRect *crop) {
    const int32_t width = destination->i32Width, height = destination->i32Height;
    const int32_t s = WarpCellShift(std::max(source->i32Width, source->i32Height));
    const double band = kCornerBandSides * std::max(width, height);
    const int32_t firstColumn = clip.x0 >> s, lastColumn = (clip.x1 - 1) >> s;
    const int32_t firstRow = clip.y0 >> s, lastRow = (clip.y1 - 1) >> s;
    const uint32_t format = source->u32PixelArrayFormat;
    *crop = {0, 0, width, height};
    // A folded cell or one with a corner out of reach is skipped; its pixels keep their contents,
    // and since no rectangle can leave it out otherwise, the crop becomes empty.
    bool unwarpable = false;
    for (int32_t J = firstRow; J <= lastRow; ++J)
        for (int32_t K = firstColumn; K <= lastColumn; ++K) {
            int32_t dx[4], dy[4];
            bool reachable = true;
            for (int32_t c = 0; c < 4; ++c)
                reachable &= CornerDisplacement(t, int64_t{K + (c & 1)} << s,
                                                int64_t{J + (c >> 1)} << s, band, &dx[c], &dy[c]);
            PixelRect valid;
            const int region = reachable ? ComputeCellValidRegion(K, J, width, height, s, dx, dy,
                                                                  nullptr, nullptr, &valid, crop)
                                         : 2;
            if (region == 2) unwarpable = true;
            if (region != 0) continue;
            // The clip limits the outer cells.
            if (K == firstColumn) valid.x0 = std::max(valid.x0, clip.x0 - (firstColumn << s));
            if (K == lastColumn) valid.x1 = std::min(valid.x1, clip.x1 - (lastColumn << s));
            if (J == firstRow) valid.y0 = std::max(valid.y0, clip.y0 - (firstRow << s));
            if (J == lastRow) valid.y1 = std::min(valid.y1, clip.y1 - (lastRow << s));
            if (valid.x0 >= valid.x1 || valid.y0 >= valid.y1) continue;
            if (format == PIXEL_FORMAT_YUV444P || format == PIXEL_FORMAT_GRAY8)
                WarpCellRowsPlanar(source, destination, K << s, J << s, dx, dy, s, &valid);
            else if (format == PIXEL_FORMAT_NV12 || format == PIXEL_FORMAT_NV21)
                WarpCellRowsSemiPlanar(source, destination, K << s, J << s, dx, dy, s, &valid);
        }
    if (unwarpable) *crop = kEmptyRect;
}

}  // namespace

int WarpImageByTransform(const ImageDesc *source, ImageDesc *destination, const double *matrix,
                         const double *translation, const double *perspective,
                         const PixelRect *clip, PixelRect *crop) {
    PixelRect result = kEmptyRect;
    const bool usable = source && destination && matrix && translation && perspective &&
                        SameImageShape(source, destination) && source->i32Width > 0 &&
                        source->i32Height > 0 && CellPlanesUsable(source) &&
                        CellPlanesUsable(destination);
    if (!usable) {
        if (crop) *crop = result;
        return 2;
    }
    const int32_t width = destination->i32Width, height = destination->i32Height;
    PixelRect area = {0, 0, width, height};
    if (clip)
        area = {std::clamp(clip->x0, 0, width), std::clamp(clip->y0, 0, height),
                std::clamp(clip->x1, 0, width), std::clamp(clip->y1, 0, height)};
    const Transform t = {matrix, translation, perspective};
    int64_t v = 0, u = 0;
    if (area.x0 >= area.x1 || area.y0 >= area.y1) {
        result = kEmptyRect;  // nothing may be written
    } else if (WholePixelTranslation(t, width, height, &v, &u)) {
        result = CopyTranslated(source, destination, area, v, u);
    } else {
        WarpCells(source, destination, t, area, &result);
    }
    // Cells pushed out of the image can leave the crop inverted; an empty crop reads as such.
    if (result.x0 >= result.x1 || result.y0 >= result.y1) result = kEmptyRect;
    if (crop) *crop = result;
    return 1;
}
