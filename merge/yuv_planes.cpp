// Upright turns of YUV planes and packing into the engine's padded 4:2:2 rows, on libyuv.
#include "yuv_planes.h"

#include <libyuv/convert_from.h>
#include <libyuv/convert_from_argb.h>
#include <libyuv/planar_functions.h>
#include <libyuv/rotate.h>
#include <libyuv/scale.h>

#include <cstring>
#include <vector>

namespace tonefold {

void AllocatePlanes(YuvPlanes *planes, int32_t width, int32_t height, int32_t chromaWidth,
                    int32_t chromaHeight, const int32_t strides[3], const int32_t rows[3]) {
    const int count = chromaHeight > 0 ? 3 : 1;
    size_t offsets[3] = {};
    size_t total = 0;
    for (int p = 0; p < count; ++p) {
        offsets[p] = total;
        total += static_cast<size_t>(strides[p]) * static_cast<size_t>(rows[p]);
    }
    planes->block = AllocatePixels(total);
    for (int p = 0; p < 3; ++p) {
        planes->plane[p] = p < count ? planes->block.get() + offsets[p] : nullptr;
        planes->stride[p] = p < count ? strides[p] : 0;
    }
    planes->width = width;
    planes->height = height;
    planes->chromaWidth = count == 3 ? chromaWidth : 0;
    planes->chromaHeight = count == 3 ? chromaHeight : 0;
}

void PlanesFromBgrx(const uint8_t *bgrx, int32_t stride, int32_t width, int32_t height,
                    YuvPlanes *planes) {
    const int32_t chromaWidth = (width + 1) / 2;
    const int32_t strides[3] = {width, chromaWidth, chromaWidth};
    const int32_t rows[3] = {height, height, height};
    AllocatePlanes(planes, width, height, chromaWidth, height, strides, rows);
    // libyuv's "ARGB" is B, G, R, A in memory; the J variant is the full-range matrix.
    libyuv::ARGBToJ422(bgrx, stride, planes->plane[0], planes->stride[0], planes->plane[1],
                       planes->stride[1], planes->plane[2], planes->stride[2], width, height);
}

namespace {

bool SwapsAxes(int orientation) { return orientation >= 5 && orientation <= 8; }

// Orientations 5 and 7 are 6 and 8 applied to the rows read bottom-up.
void OrientPlane(const uint8_t *source, int32_t sourceStride, int32_t width, int32_t height,
                 uint8_t *destination, int32_t destinationStride, int orientation) {
    const uint8_t *lastRow = source + static_cast<ptrdiff_t>(height - 1) * sourceStride;
    switch (orientation) {
    case 2:
        libyuv::MirrorPlane(source, sourceStride, destination, destinationStride, width, height);
        break;
    case 3:
        libyuv::RotatePlane(source, sourceStride, destination, destinationStride, width, height,
                            libyuv::kRotate180);
        break;
    case 4:
        libyuv::CopyPlane(lastRow, -sourceStride, destination, destinationStride, width, height);
        break;
    case 5:
        libyuv::RotatePlane(lastRow, -sourceStride, destination, destinationStride, width, height,
                            libyuv::kRotate90);
        break;
    case 6:
        libyuv::RotatePlane(source, sourceStride, destination, destinationStride, width, height,
                            libyuv::kRotate90);
        break;
    case 7:
        libyuv::RotatePlane(lastRow, -sourceStride, destination, destinationStride, width, height,
                            libyuv::kRotate270);
        break;
    case 8:
        libyuv::RotatePlane(source, sourceStride, destination, destinationStride, width, height,
                            libyuv::kRotate270);
        break;
    default:
        libyuv::CopyPlane(source, sourceStride, destination, destinationStride, width, height);
        break;
    }
}

}  // namespace

void OrientPlanes(const YuvPlanes &source, int orientation, YuvPlanes *upright) {
    const bool swap = SwapsAxes(orientation);
    const int32_t width = swap ? source.height : source.width;
    const int32_t height = swap ? source.width : source.height;
    const int32_t chromaWidth = swap ? source.chromaHeight : source.chromaWidth;
    const int32_t chromaHeight = swap ? source.chromaWidth : source.chromaHeight;
    const int32_t strides[3] = {width, chromaWidth, chromaWidth};
    const int32_t rows[3] = {height, chromaHeight, chromaHeight};
    AllocatePlanes(upright, width, height, chromaWidth, chromaHeight, strides, rows);
    OrientPlane(source.plane[0], source.stride[0], source.width, source.height, upright->plane[0],
                upright->stride[0], orientation);
    if (source.IsGrey()) return;
    for (int p = 1; p < 3; ++p) {
        OrientPlane(source.plane[p], source.stride[p], source.chromaWidth, source.chromaHeight,
                    upright->plane[p], upright->stride[p], orientation);
    }
}

namespace {

// Columns width..paddedWidth-1 repeat the last column: its luma, and the chroma of its pair.
void PadRows(YuyvImage *image, int32_t firstRow, int32_t rowCount) {
    const int32_t width = image->width;
    const int32_t lastPair = (width + 1) / 2 - 1;
    for (int32_t y = firstRow; y < firstRow + rowCount; ++y) {
        uint8_t *row = image->pixels.get() + static_cast<size_t>(y) * image->Pitch();
        for (int32_t x = width; x < image->paddedWidth; ++x) row[2 * x] = row[2 * (width - 1)];
        for (int32_t pair = lastPair + 1; pair < image->paddedWidth / 2; ++pair) {
            row[4 * pair + 1] = row[4 * lastPair + 1];
            row[4 * pair + 3] = row[4 * lastPair + 3];
        }
    }
}

}  // namespace

void AllocatePackedRows(int32_t width, int32_t height, YuyvImage *image) {
    image->width = width;
    image->height = height;
    image->paddedWidth = (width + 3) / 4 * 4;
    image->pixels =
        AllocatePixels(static_cast<size_t>(image->Pitch()) * static_cast<size_t>(height));
}

namespace {

bool IsFourTwoZero(int32_t width, int32_t height, int32_t chromaWidth, int32_t chromaHeight) {
    return chromaWidth == (width + 1) / 2 && chromaHeight == (height + 1) / 2 &&
           chromaHeight != height;
}

}  // namespace

bool PacksWithoutResampling(int32_t width, int32_t height, int32_t chromaWidth,
                            int32_t chromaHeight) {
    return IsFourTwoZero(width, height, chromaWidth, chromaHeight) ||
           (chromaWidth == (width + 1) / 2 && chromaHeight == height);
}

void PackYuyvStrip(const YuvPlanes &strip, int32_t firstRow, int32_t rowCount,
                   YuyvImage *image) {
    uint8_t *rows = image->pixels.get() + static_cast<size_t>(firstRow) * image->Pitch();
    if (IsFourTwoZero(strip.width, strip.height, strip.chromaWidth, strip.chromaHeight)) {
        libyuv::I420ToYUY2(strip.plane[0], strip.stride[0], strip.plane[1], strip.stride[1],
                           strip.plane[2], strip.stride[2], rows, image->Pitch(), strip.width,
                           rowCount);
    } else {
        libyuv::I422ToYUY2(strip.plane[0], strip.stride[0], strip.plane[1], strip.stride[1],
                           strip.plane[2], strip.stride[2], rows, image->Pitch(), strip.width,
                           rowCount);
    }
    PadRows(image, firstRow, rowCount);
}

void PackYuyv(const YuvPlanes &planes, YuyvImage *image) {
    const int32_t width = planes.width;
    const int32_t height = planes.height;
    const int32_t chromaWidth = (width + 1) / 2;
    AllocatePackedRows(width, height, image);

    if (!planes.IsGrey() && IsFourTwoZero(width, height, planes.chromaWidth, planes.chromaHeight)) {
        libyuv::I420ToYUY2(planes.plane[0], planes.stride[0], planes.plane[1], planes.stride[1],
                           planes.plane[2], planes.stride[2], image->pixels.get(), image->Pitch(),
                           width, height);
        PadRows(image, 0, height);
        return;
    }
    const uint8_t *u = planes.plane[1];
    const uint8_t *v = planes.plane[2];
    int32_t uStride = planes.stride[1];
    int32_t vStride = planes.stride[2];
    PixelBuffer resampled;
    if (planes.IsGrey()) {
        // One neutral row read again for every row (stride 0).
        resampled = AllocatePixels(static_cast<size_t>(chromaWidth));
        std::memset(resampled.get(), 128, static_cast<size_t>(chromaWidth));
        u = v = resampled.get();
        uStride = vStride = 0;
    } else if (planes.chromaWidth != chromaWidth || planes.chromaHeight != height) {
        const size_t planeBytes = static_cast<size_t>(chromaWidth) * static_cast<size_t>(height);
        resampled = AllocatePixels(2 * planeBytes);
        uint8_t *scaled[2] = {resampled.get(), resampled.get() + planeBytes};
        for (int p = 0; p < 2; ++p) {
            libyuv::ScalePlane(planes.plane[p + 1], planes.stride[p + 1], planes.chromaWidth,
                               planes.chromaHeight, scaled[p], chromaWidth, chromaWidth, height,
                               libyuv::kFilterBox);
        }
        u = scaled[0];
        v = scaled[1];
        uStride = vStride = chromaWidth;
    }
    libyuv::I422ToYUY2(planes.plane[0], planes.stride[0], u, uStride, v, vStride,
                       image->pixels.get(), image->Pitch(), width, height);
    PadRows(image, 0, height);
}

std::string CheckPhotoSize(int64_t width, int64_t height) {
    if (width < 1 || height < 1) return "has no pixels";
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    // The padded 4:2:2 rows must keep their pitch within 32 bits.
    if (width > kMaxPhotoSide || height > kMaxPhotoSide) {
        return "is too large (" + size + ", at most " + std::to_string(kMaxPhotoSide) +
               " pixels a side)";
    }
    if (width * height > kMaxPhotoPixels) {
        return "is too large (" + size + ", at most " + std::to_string(kMaxPhotoPixels / 1000000) +
               " megapixels)";
    }
    return {};
}

}  // namespace tonefold
