// Planar YUV as the decoders deliver it, and its way into the padded packed 4:2:2 rows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "photo_io.h"

namespace tonefold {

// Luma and two chroma planes at any subsampling, or luma alone for a grey photo
// (chromaWidth and chromaHeight 0, chroma planes null).
struct YuvPlanes {
    PixelBuffer block;
    uint8_t *plane[3] = {};
    int32_t stride[3] = {};
    int32_t width = 0;
    int32_t height = 0;
    int32_t chromaWidth = 0;
    int32_t chromaHeight = 0;

    bool IsGrey() const { return plane[1] == nullptr; }
};

// Allocates uninitialised planes with the given strides and row counts (chroma rows 0: grey).
void AllocatePlanes(YuvPlanes *planes, int32_t width, int32_t height, int32_t chromaWidth,
                    int32_t chromaHeight, const int32_t strides[3], const int32_t rows[3]);

// Full-range 4:2:2 planes from 32-bit B, G, R, X pixels.
void PlanesFromBgrx(const uint8_t *bgrx, int32_t stride, int32_t width, int32_t height,
                    YuvPlanes *planes);

// The planes turned upright by an EXIF orientation 2..8 (1 gives a copy); 5..8 swap width and
// height, of luma and chroma alike.
void OrientPlanes(const YuvPlanes &source, int orientation, YuvPlanes *upright);

// Packs into padded 4:2:2 rows, resampling chroma of any other subsampling; grey gets
// neutral chroma.
void PackYuyv(const YuvPlanes &planes, YuyvImage *image);

// Uninitialised padded 4:2:2 rows for a picture of width x height.
void AllocatePackedRows(int32_t width, int32_t height, YuyvImage *image);

// Chroma of 4:2:0 or 4:2:2 at these sizes packs as it stands, so a picture can be packed a
// strip at a time.
bool PacksWithoutResampling(int32_t width, int32_t height, int32_t chromaWidth,
                            int32_t chromaHeight);

// Packs rowCount rows starting at firstRow (even) into rows allocated by AllocatePackedRows,
// from planes holding just those rows (their first row is firstRow).
void PackYuyvStrip(const YuvPlanes &strip, int32_t firstRow, int32_t rowCount,
                   YuyvImage *image);

// Whether a stored picture of these sizes, turned upright by the orientation, packs without
// resampling its chroma: then it can be turned and packed a strip at a time.
bool PacksUprightWithoutResampling(int32_t width, int32_t height, int32_t chromaWidth,
                                   int32_t chromaHeight, int orientation);

// Scratch bytes PackOrientedStrip needs for strips of up to stripRows luma rows.
size_t OrientedStripScratchBytes(const YuvPlanes &strip, int32_t stripRows);

// Turns rowCount stored rows starting at firstRow (even) by the orientation 1..8 and writes
// them into rows allocated by AllocatePackedRows for the upright picture, which must pack
// without resampling. The strip's planes hold just those rows (and their chroma rows) and name
// the whole stored picture's sizes. Once every strip is in, PadPackedRows finishes the rows.
// The bytes are those of OrientPlanes and PackYuyv on the whole picture.
void PackOrientedStrip(const YuvPlanes &strip, int32_t firstRow, int32_t rowCount,
                       int orientation, uint8_t *scratch, YuyvImage *image);

// Fills the padding columns of packed rows: they repeat the last column.
void PadPackedRows(YuyvImage *image);

// Decoders of the two formats; orientation receives the EXIF orientation (1 when absent).
// A JPEG whose chroma packs without resampling once upright is turned and packed into *image
// strip by strip as it decodes (packMs receives the time spent packing), unless stripPacking
// is false; any other photo lands in *planes as stored.
bool DecodeJpeg(const uint8_t *data, size_t size, YuvPlanes *planes, YuyvImage *image,
                int *orientation, std::string *reason, double *packMs,
                bool stripPacking = true);
bool DecodePngPlanes(const uint8_t *data, size_t size, YuvPlanes *planes, int *orientation,
                     std::string *reason);

// The checks of each decoder that need no decoding (layout, size, colour components, scan
// count): false with the reason the decoder would give. *upright receives the size the
// decoded picture will have once turned upright.
bool CheckJpegHeader(const uint8_t *data, size_t size, std::string *reason,
                     UprightSize *upright);
bool CheckPngHeader(const uint8_t *data, size_t size, std::string *reason,
                    UprightSize *upright);

// The size of a stored picture turned upright by an EXIF orientation: 5..8 swap the sides.
UprightSize UprightSizeOf(int64_t width, int64_t height, int orientation);

// A reason for a width or height outside what the program accepts, or empty.
std::string CheckPhotoSize(int64_t width, int64_t height);

}  // namespace tonefold
