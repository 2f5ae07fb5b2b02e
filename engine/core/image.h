// Image descriptors: pixel format layouts, creation, copies and crops.
#pragma once

#include <cstdint>

#include "engine_types.h"

// Sets format, size and the pitches of the layout table and clears the other fields.
// rowsPerPlane (three entries) receives the rows of each plane when not null.
int LayoutImagePlanes(ImageDesc *image, int32_t width, int32_t height, uint32_t format,
                      int32_t *rowsPerPlane);
// Creates an image whose planes share one block, plane after plane. Pixels are not initialised.
int CreateImage(ImageDesc **outImage, int32_t width, int32_t height, uint32_t format,
                MemoryContext memory);
void DestroyImage(ImageDesc **image, MemoryContext memory);
int SetImagePlanes(ImageDesc *image, int32_t width, int32_t height, uint32_t format,
                   uint8_t *const *planes, const int32_t *pitches);
int CopyImage(ImageDesc *destination, const ImageDesc *source);
// Null rectangles stand for the whole image.
int CopyImageRect(ImageDesc *destination, const PixelRect *destinationRect,
                  const ImageDesc *source, const PixelRect *sourceRect);
// As CopyImageRect, but keeps luma and chroma paired when the two rectangles start at x
// positions of different parity.
int CopyImageRectKeepChromaOrder(ImageDesc *destination, const PixelRect *destinationRect,
                                 const ImageDesc *source, const PixelRect *sourceRect);
int CloneImage(ImageDesc **outImage, const ImageDesc *source, MemoryContext memory);
int CropToNewImage(ImageDesc **outImage, const ImageDesc *source, const PixelRect *rect,
                   MemoryContext memory);
int CropImageInPlace(ImageDesc *image, const PixelRect *rect);

// Frees the image's plane block and clears plane 0; the descriptor stays.
void ReleaseImagePlanes(ImageDesc *image, MemoryContext memory);
// 1 when both images exist and share width, height and pixel format.
int SameImageShape(const ImageDesc *a, const ImageDesc *b);
