// Image descriptors: pixel format layouts, creation, copies and crops.
#pragma once

#include <cstdint>

#include "engine_types.h"

// Sets format, size and the pitches of the layout table and clears the other fields.
// rowsPerPlane (three entries) receives the rows of each plane when not null.
// 0; RESULT_INVALID_ARGUMENT for a null descriptor, a negative size or a pitch past 32 bits;
// RESULT_UNSUPPORTED_FORMAT for a code outside the table.
int LayoutImagePlanes(ImageDesc *image, int32_t width, int32_t height, uint32_t format,
                      int32_t *rowsPerPlane);
// Creates an image whose planes share one block, plane after plane. Pixels are not initialised.
// A width or height below 1 gives RESULT_INVALID_ARGUMENT. On failure *outImage is null and
// nothing stays allocated.
int CreateImage(ImageDesc **outImage, int32_t width, int32_t height, uint32_t format,
                MemoryContext memory);
void DestroyImage(ImageDesc **image, MemoryContext memory);
int SetImagePlanes(ImageDesc *image, int32_t width, int32_t height, uint32_t format,
                   uint8_t *const *planes, const int32_t *pitches);
int CopyImage(ImageDesc *destination, const ImageDesc *source);
// Null rectangles stand for the whole image. Everything is checked before a byte is written:
// RESULT_INVALID_ARGUMENT for null images, different formats, rectangles outside their images
// or of different sizes, missing planes or pitches too small for a row;
// RESULT_UNSUPPORTED_FORMAT for an unknown code. The two images must not overlap.
int CopyImageRect(ImageDesc *destination, const PixelRect *destinationRect,
                  const ImageDesc *source, const PixelRect *sourceRect);
// As CopyImageRect, but keeps luma and chroma paired when the two rectangles start at x
// positions of different parity. Two-byte codes without chroma pairing (0x505-0x508) give
// RESULT_UNSUPPORTED_FORMAT.
int CopyImageRectKeepChromaOrder(ImageDesc *destination, const PixelRect *destinationRect,
                                 const ImageDesc *source, const PixelRect *sourceRect);
int CloneImage(ImageDesc **outImage, const ImageDesc *source, MemoryContext memory);
int CropToNewImage(ImageDesc **outImage, const ImageDesc *source, const PixelRect *rect,
                   MemoryContext memory);
// Moves the rectangle to the start of each plane under the cropped size's layout pitches; the
// plane pointers stay. Safe whichever way the pitch changes.
int CropImageInPlace(ImageDesc *image, const PixelRect *rect);

// Frees the image's plane block and clears the plane pointers, which all pointed into it; the
// descriptor stays.
void ReleaseImagePlanes(ImageDesc *image, MemoryContext memory);
// 1 when both images exist and share width, height and pixel format.
int SameImageShape(const ImageDesc *a, const ImageDesc *b);
