// Upright turns of YUV planes and packing into the engine's padded 4:2:2 rows, on libyuv.
#include "yuv_planes.h"

#include <libyuv/convert_from.h>
#include <libyuv/convert_from_argb.h>
#include <libyuv/planar_functions.h>
#include <libyuv/rotate.h>
#include <libyuv/scale.h>

#include <algorithm>
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

namespace {

// Orientations that read the stored rows bottom-up: the strip's rows land from the far end.
bool ReversesRows(int orientation) {
    return orientation == 3 || orientation == 4 || orientation == 6 || orientation == 7;
}

// A band of turned samples to the luma bytes of the packed rows, its first at (x0, y0).
void ScatterLuma(const uint8_t *band, int32_t stride, int32_t width, int32_t height, int32_t x0,
                 int32_t y0, YuyvImage *image) {
    for (int32_t j = 0; j < height; ++j) {
        const uint8_t *source = band + static_cast<size_t>(j) * stride;
        uint8_t *row = image->pixels.get() + static_cast<size_t>(y0 + j) * image->Pitch() + 2 * x0;
        for (int32_t i = 0; i < width; ++i) row[2 * i] = source[i];
    }
}

// Bands of turned chroma to the chroma bytes of the packed rows, the first sample at pair c0
// of chroma row k0; a chroma row of half-height chroma serves two packed rows.
void ScatterChroma(const uint8_t *u, const uint8_t *v, int32_t stride, int32_t width,
                   int32_t height, int32_t c0, int32_t k0, bool halfHeight, YuyvImage *image) {
    const int32_t rowsPerChromaRow = halfHeight ? 2 : 1;
    for (int32_t k = 0; k < height; ++k) {
        const uint8_t *us = u + static_cast<size_t>(k) * stride;
        const uint8_t *vs = v + static_cast<size_t>(k) * stride;
        const int32_t firstRow = (k0 + k) * rowsPerChromaRow;
        const int32_t endRow = std::min(firstRow + rowsPerChromaRow, image->height);
        for (int32_t y = firstRow; y < endRow; ++y) {
            uint8_t *row = image->pixels.get() + static_cast<size_t>(y) * image->Pitch() + 4 * c0;
            for (int32_t j = 0; j < width; ++j) {
                row[4 * j + 1] = us[j];
                row[4 * j + 3] = vs[j];
            }
        }
    }
}

// A turned band's planes: luma, and chroma of the same rows or half as many.
struct PlaneBand {
    const uint8_t *luma, *u, *v;
    int32_t lumaStride, chromaStride;
};

// Packs a band a few rows at a time. A band of a quarter turn writes a short stretch of every
// packed row, rows a pitch apart that the hardware does not fetch ahead: the next rows are
// asked for while these are packed.
void PackBand(const PlaneBand &band, int32_t width, int32_t height, bool halfHeight,
              uint8_t *destination, int32_t pitch) {
    constexpr int32_t kRows = 32;  // even: whole row pairs
    for (int32_t y = 0; y < height; y += kRows) {
        const int32_t rows = std::min(kRows, height - y);
        for (int32_t ahead = y + kRows; ahead < std::min(y + 2 * kRows, height); ++ahead) {
            uint8_t *row = destination + static_cast<size_t>(ahead) * pitch;
            for (int32_t byte = 0; byte < 2 * width; byte += 64) __builtin_prefetch(row + byte, 1);
        }
        const size_t chromaOffset = static_cast<size_t>(halfHeight ? y / 2 : y) * band.chromaStride;
        const uint8_t *luma = band.luma + static_cast<size_t>(y) * band.lumaStride;
        uint8_t *packed = destination + static_cast<size_t>(y) * pitch;
        if (halfHeight) {
            libyuv::I420ToYUY2(luma, band.lumaStride, band.u + chromaOffset, band.chromaStride,
                               band.v + chromaOffset, band.chromaStride, packed, pitch, width,
                               rows);
        } else {
            libyuv::I422ToYUY2(luma, band.lumaStride, band.u + chromaOffset, band.chromaStride,
                               band.v + chromaOffset, band.chromaStride, packed, pitch, width,
                               rows);
        }
    }
}

}  // namespace

bool PacksUprightWithoutResampling(int32_t width, int32_t height, int32_t chromaWidth,
                                   int32_t chromaHeight, int orientation) {
    if (SwapsAxes(orientation)) {
        return PacksWithoutResampling(height, width, chromaHeight, chromaWidth);
    }
    return PacksWithoutResampling(width, height, chromaWidth, chromaHeight);
}

size_t OrientedStripScratchBytes(const YuvPlanes &strip, int32_t stripRows) {
    return static_cast<size_t>(strip.width) * stripRows +
           2 * static_cast<size_t>(strip.chromaWidth) * stripRows;
}

void PackOrientedStrip(const YuvPlanes &strip, int32_t firstRow, int32_t rowCount,
                       int orientation, uint8_t *scratch, YuyvImage *image) {
    const bool swap = SwapsAxes(orientation);
    const bool reverse = ReversesRows(orientation);
    // The strip turned alone is a band of the upright picture: rows across its width, or
    // columns down its height; its chroma rows likewise a band of the upright chroma.
    const bool halfHeight = strip.chromaHeight != strip.height;
    const int32_t chromaFirst = halfHeight ? firstRow / 2 : firstRow;
    const int32_t chromaEnd =
        std::min(halfHeight ? (firstRow + rowCount + 1) / 2 : firstRow + rowCount,
                 strip.chromaHeight);
    const int32_t chromaRows = chromaEnd - chromaFirst;
    uint8_t *luma = scratch;
    uint8_t *chroma[2] = {luma + static_cast<size_t>(strip.width) * rowCount, nullptr};
    chroma[1] = chroma[0] + static_cast<size_t>(strip.chromaWidth) * chromaRows;
    const int32_t lumaStride = swap ? rowCount : strip.width;
    const int32_t chromaStride = swap ? chromaRows : strip.chromaWidth;
    OrientPlane(strip.plane[0], strip.stride[0], strip.width, rowCount, luma, lumaStride,
                orientation);
    for (int p = 0; p < 2; ++p) {
        OrientPlane(strip.plane[p + 1], strip.stride[p + 1], strip.chromaWidth, chromaRows,
                    chroma[p], chromaStride, orientation);
    }
    // Where the bands land: luma (x0, y0) of width x height, chroma (c0, k0).
    const int32_t at = reverse ? strip.height - firstRow - rowCount : firstRow;
    const int32_t chromaAt = reverse ? strip.chromaHeight - chromaFirst - chromaRows : chromaFirst;
    const int32_t x0 = swap ? at : 0, y0 = swap ? 0 : at;
    const int32_t c0 = swap ? chromaAt : 0, k0 = swap ? 0 : chromaAt;
    const int32_t width = swap ? rowCount : strip.width;
    const int32_t height = swap ? strip.width : rowCount;
    // Upright, the chroma is as tall as the luma or, packed as 4:2:0, half of it.
    const int32_t uprightChromaHeight = swap ? strip.chromaWidth : strip.chromaHeight;
    const bool uprightHalfHeight = uprightChromaHeight != image->height;
    // A band of whole pairs and whole row pairs, its chroma starting on its first pair and
    // row pair, packs as a picture of its own; others (odd sides turned from the far end)
    // sample by sample: the packing would write chroma, or a pair's second luma, for rows and
    // columns of another strip.
    const bool wholePairs = x0 % 2 == 0 && c0 == x0 / 2 &&
                            (width % 2 == 0 || x0 + width == image->width);
    const bool wholeRowPairs = uprightHalfHeight ? y0 % 2 == 0 && k0 == y0 / 2 &&
                                                       (height % 2 == 0 ||
                                                        y0 + height == image->height)
                                                 : k0 == y0;
    const bool aligned = wholePairs && wholeRowPairs;
    uint8_t *first = image->pixels.get() + static_cast<size_t>(y0) * image->Pitch() + 2 * x0;
    if (aligned) {
        const PlaneBand band{luma, chroma[0], chroma[1], lumaStride, chromaStride};
        PackBand(band, width, height, uprightHalfHeight, first, image->Pitch());
    } else {
        ScatterLuma(luma, lumaStride, width, height, x0, y0, image);
        ScatterChroma(chroma[0], chroma[1], chromaStride, swap ? chromaRows : strip.chromaWidth,
                      swap ? strip.chromaWidth : chromaRows, c0, k0, uprightHalfHeight, image);
    }
}

void PadPackedRows(YuyvImage *image) { PadRows(image, 0, image->height); }

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

UprightSize UprightSizeOf(int64_t width, int64_t height, int orientation) {
    const bool swap = SwapsAxes(orientation);
    return {static_cast<int32_t>(swap ? height : width), static_cast<int32_t>(swap ? width : height),
            true};
}

}  // namespace tonefold
