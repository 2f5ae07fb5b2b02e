#include "mesh_warp.h"

#include <algorithm>
#include <cmath>

#include "align/mesh_rows.h"
#include "align/transform_warp.h"
#include "core/memory.h"

namespace {

constexpr int32_t kMaxCellShift = 14;

// Corner displacement in 1/16 pixel of one mesh value: (int)(-16 value) in single precision,
// saturated so that any float converts without undefined behaviour.
int32_t MeshDisplacement(float value) {
    const float d = -16.0f * value;
    if (std::isnan(d)) return 0;
    return static_cast<int32_t>(std::clamp(d, -1073741824.0f, 1073741824.0f));
}

struct Mesh {
    const float *x;
    const float *y;
    int32_t stride;  // cols + 1
    int32_t shift;
};

void CellCorners(const Mesh &m, int32_t K, int32_t J, int32_t dx[4], int32_t dy[4]) {
    const int64_t top = static_cast<int64_t>(J) * m.stride + K;
    const int64_t nodes[4] = {top, top + 1, top + m.stride, top + m.stride + 1};
    for (int c = 0; c < 4; ++c) {
        dx[c] = MeshDisplacement(m.x[nodes[c]]);
        dy[c] = MeshDisplacement(m.y[nodes[c]]);
    }
}

int32_t CellsAlong(int32_t size, int32_t shift) {
    return static_cast<int32_t>((int64_t{size} + (int64_t{1} << shift) - 1) >> shift);
}

bool MeshWarpFormat(uint32_t format) {
    switch (format) {
        case PIXEL_FORMAT_NV12:
        case PIXEL_FORMAT_NV21:
        case PIXEL_FORMAT_YUV444P:
        case PIXEL_FORMAT_I420:
        case kPackedLumaOddFormatA:
        case kPackedLumaOddFormatB:
            return true;
        default:
            return false;
    }
}

// Planes the rows of the format read or write, present and able to hold a row.
bool PlanesUsable(const ImageDesc &image) {
    const int32_t w = image.i32Width;
    switch (image.u32PixelArrayFormat) {
        case PIXEL_FORMAT_YUV444P:
            for (int p = 0; p < 3; ++p)
                if (!image.ppu8Plane[p] || image.pi32Pitch[p] < w) return false;
            return true;
        case PIXEL_FORMAT_I420:
            return image.ppu8Plane[0] && image.ppu8Plane[1] && image.ppu8Plane[2] &&
                   image.pi32Pitch[0] >= w && image.pi32Pitch[1] >= w / 2 &&
                   image.pi32Pitch[2] >= w / 2;
        case PIXEL_FORMAT_NV12:
        case PIXEL_FORMAT_NV21:
            return image.ppu8Plane[0] && image.ppu8Plane[1] && image.pi32Pitch[0] >= w &&
                   image.pi32Pitch[1] >= ((w + 1) & ~1);
        default:  // packed 4:2:2: pairs of pixels in four-byte groups
            return (w & 1) == 0 && image.ppu8Plane[0] && image.pi32Pitch[0] >= 2 * w;
    }
}

// The checks of WarpImageByMesh, in its order, before anything is written.
int CheckMeshWarp(const ImageDesc *source, const ImageDesc *destination, const float *meshX,
                  const float *meshY, int32_t s) {
    if (!source || !destination || !meshX || !meshY) return RESULT_INVALID_ARGUMENT;
    if (source->u32PixelArrayFormat != destination->u32PixelArrayFormat)
        return RESULT_UNSUPPORTED_FORMAT;
    if (source->i32Width != destination->i32Width || source->i32Height != destination->i32Height)
        return RESULT_INVALID_ARGUMENT;
    if (!MeshWarpFormat(source->u32PixelArrayFormat)) return RESULT_UNSUPPORTED_FORMAT;
    if (s < 0 || s > kMaxCellShift || source->i32Width <= 0 || source->i32Height <= 0 ||
        !PlanesUsable(*source) || !PlanesUsable(*destination))
        return RESULT_INVALID_ARGUMENT;
    if (source->u32PixelArrayFormat == PIXEL_FORMAT_I420 &&
        source->pi32Pitch[1] != source->pi32Pitch[2])
        return RESULT_INVALID_ARGUMENT;  // the chroma rows are addressed with one pitch
    return RESULT_OK;
}

void WarpCellRows(const ImageDesc *source, ImageDesc *destination, int32_t cellX, int32_t cellY,
                  const int32_t *dx, const int32_t *dy, int32_t s, const PixelRect &valid) {
    switch (source->u32PixelArrayFormat) {
        case PIXEL_FORMAT_NV12:
        case PIXEL_FORMAT_NV21:
            WarpCellRowsSemiPlanar(source, destination, cellX, cellY, dx, dy, s, &valid);
            break;
        case PIXEL_FORMAT_YUV444P:
            WarpCellRowsPlanar(source, destination, cellX, cellY, dx, dy, s, &valid);
            break;
        case PIXEL_FORMAT_I420:
            WarpCellRowsI420(source, destination, cellX, cellY, dx, dy, s, valid);
            break;
        default:
            WarpCellRowsPackedLumaOdd(source, destination, cellX, cellY, dx, dy, s, valid);
            break;
    }
}

bool IsPowerOfTwoUpTo128(int32_t v) { return v >= 1 && v <= 128 && (v & (v - 1)) == 0; }

// Moves `count` rows of `len` bytes inside one buffer: row r from source + r * sourcePitch to
// destination + r * destinationPitch. The distance between a row's two places changes
// steadily with r, so the rows that move forward go first, last row first, then the others
// first row first: no row is overwritten before it has moved.
void MoveRows(uint8_t *destination, int32_t destinationPitch, const uint8_t *source,
              int32_t sourcePitch, int32_t len, int32_t count) {
    auto moved = [&](int32_t r) {
        MoveBytes(destination + static_cast<int64_t>(r) * destinationPitch,
                  source + static_cast<int64_t>(r) * sourcePitch, static_cast<size_t>(len));
    };
    auto forward = [&](int32_t r) {
        return destination + static_cast<int64_t>(r) * destinationPitch >
               source + static_cast<int64_t>(r) * sourcePitch;
    };
    for (int32_t r = count - 1; r >= 0; --r)
        if (forward(r)) moved(r);
    for (int32_t r = 0; r < count; ++r)
        if (!forward(r)) moved(r);
}

// Moves the crop of a semi-planar image to the start of its buffer at the new pitch.
void CompactSemiPlanar(ImageDesc *image, const PixelRect &crop, int32_t len, int32_t count,
                       int32_t pitch) {
    uint8_t *base = image->ppu8Plane[0];
    uint8_t *chroma = image->ppu8Plane[1];
    if (crop.y1 - crop.y0 >= 2) {
        MoveRows(base, pitch, base + static_cast<int64_t>(crop.y0) * image->pi32Pitch[0] + crop.x0,
                 image->pi32Pitch[0], len, count);
        uint8_t *movedChroma = base + static_cast<int64_t>(pitch) * count;
        MoveRows(movedChroma, pitch,
                 chroma + static_cast<int64_t>(crop.y0 / 2) * image->pi32Pitch[1] + (crop.x0 & ~1),
                 image->pi32Pitch[1], len, count / 2);
        chroma = movedChroma;
    }
    image->i32Width = len;
    image->i32Height = count;
    image->pi32Pitch[0] = image->pi32Pitch[1] = pitch;
    image->ppu8Plane[1] = chroma;
    image->ppu8Plane[2] = image->ppu8Plane[3] = nullptr;
    image->pi32Pitch[2] = image->pi32Pitch[3] = 0;
}

}  // namespace

int WarpImageByMesh(const ImageDesc *source, ImageDesc *destination, const float *meshX,
                    const float *meshY, int32_t s, const PixelRect *clip, PixelRect *crop) {
    const int checked = CheckMeshWarp(source, destination, meshX, meshY, s);
    if (checked != RESULT_OK) return checked;
    const int32_t W = source->i32Width;
    const int32_t H = source->i32Height;
    const Mesh mesh{meshX, meshY, CellsAlong(W, s) + 1, s};
    PixelRect area{0, 0, W, H};
    if (clip)
        area = {std::clamp(clip->x0, 0, W), std::clamp(clip->y0, 0, H), std::clamp(clip->x1, 0, W),
                std::clamp(clip->y1, 0, H)};
    PixelRect result{0, 0, W, H};
    if (area.x0 < area.x1 && area.y0 < area.y1) {
        const int32_t firstColumn = area.x0 >> s, lastColumn = (area.x1 - 1) >> s;
        const int32_t firstRow = area.y0 >> s, lastRow = (area.y1 - 1) >> s;
        for (int32_t J = firstRow; J <= lastRow; ++J) {
            for (int32_t K = firstColumn; K <= lastColumn; ++K) {
                int32_t dx[4], dy[4];
                CellCorners(mesh, K, J, dx, dy);
                PixelRect valid;
                if (ComputeCellValidRegion(K, J, W, H, s, dx, dy, nullptr, nullptr, &valid,
                                           &result) != 0)
                    continue;
                if (K == firstColumn) valid.x0 = std::max(valid.x0, area.x0 - (firstColumn << s));
                if (K == lastColumn) valid.x1 = std::min(valid.x1, area.x1 - (lastColumn << s));
                if (J == firstRow) valid.y0 = std::max(valid.y0, area.y0 - (firstRow << s));
                if (J == lastRow) valid.y1 = std::min(valid.y1, area.y1 - (lastRow << s));
                if (valid.x0 >= valid.x1 || valid.y0 >= valid.y1) continue;
                WarpCellRows(source, destination, K << s, J << s, dx, dy, s, valid);
            }
        }
    }
    if (crop) *crop = result;
    return RESULT_OK;
}

PixelRect ComputeMeshCropRect(int32_t W, int32_t H, const float *meshX, const float *meshY,
                              int32_t s, PixelRect *out) {
    PixelRect crop{0, 0, 0, 0};
    if (meshX && meshY && W > 0 && H > 0 && s >= 0 && s <= kMaxCellShift) {
        crop = {0, 0, W, H};
        const int32_t cols = CellsAlong(W, s);
        const int32_t rows = CellsAlong(H, s);
        const Mesh mesh{meshX, meshY, cols + 1, s};
        for (int32_t J = 0; J < rows; ++J)
            for (int32_t K = 0; K < cols; ++K) {
                int32_t dx[4], dy[4];
                CellCorners(mesh, K, J, dx, dy);
                ComputeCellValidRegion(K, J, W, H, s, dx, dy, nullptr, nullptr, nullptr, &crop);
            }
    }
    if (out) *out = crop;
    return crop;
}

int WarpImageByMeshAndCompact(const ImageDesc *source, ImageDesc *destination, const float *meshX,
                              const float *meshY, int32_t s, const PixelRect *crop,
                              int32_t rowAlignment) {
    if (!source || !destination || !meshX || !meshY) return RESULT_INVALID_ARGUMENT;
    const int32_t W = source->i32Width;
    const int32_t H = source->i32Height;
    // The destination takes the source's even-rounded size, so a source of odd size could never
    // match it; a destination of another size cannot be trusted to hold the rewritten layout.
    if ((W & 1) || (H & 1) || W <= 0 || H <= 0 || destination->i32Width != W ||
        destination->i32Height != H)
        return RESULT_INVALID_ARGUMENT;
    if (crop && (crop->x0 < 0 || crop->y0 < 0 || crop->x0 > crop->x1 || crop->y0 > crop->y1 ||
                 crop->x1 > W || crop->y1 > H))
        return RESULT_INVALID_ARGUMENT;
    const uint32_t format = source->u32PixelArrayFormat;
    const bool semiPlanar = format == PIXEL_FORMAT_NV12 || format == PIXEL_FORMAT_NV21;
    ImageDesc target = *destination;
    if (semiPlanar) {
        // The rewritten planes must stay inside the destination's block: its chroma plane has
        // to follow its luma plane.
        const uint8_t *lumaEnd =
            destination->ppu8Plane[0] + static_cast<int64_t>(destination->pi32Pitch[0]) * H;
        if (!destination->ppu8Plane[0] || !destination->ppu8Plane[1] ||
            destination->ppu8Plane[1] < lumaEnd || destination->pi32Pitch[0] < W ||
            destination->pi32Pitch[1] < W)
            return RESULT_INVALID_ARGUMENT;
        target.pi32Pitch[0] = target.pi32Pitch[1] = W;
        target.ppu8Plane[1] = target.ppu8Plane[0] + static_cast<int64_t>(W) * H;
    }
    const int checked = CheckMeshWarp(source, &target, meshX, meshY, s);
    if (checked != RESULT_OK) return checked;
    const bool compact =
        semiPlanar && crop && !(crop->x0 == 0 && crop->y0 == 0 && crop->x1 == W && crop->y1 == H);
    const int32_t m = IsPowerOfTwoUpTo128(rowAlignment) ? rowAlignment : 4;
    const int32_t len = compact ? (crop->x1 - crop->x0) & ~1 : 0;
    const int32_t count = compact ? (crop->y1 - crop->y0) & ~1 : 0;
    const int32_t pitch = (len + m - 1) / m * m;
    // A row alignment wider than the image could push the compacted planes past the buffer.
    if (compact && int64_t{pitch} * count > int64_t{W} * H) return RESULT_INVALID_ARGUMENT;
    WarpImageByMesh(source, &target, meshX, meshY, s, nullptr, nullptr);
    *destination = target;
    if (compact) CompactSemiPlanar(destination, *crop, len, count, pitch);
    return RESULT_OK;
}
