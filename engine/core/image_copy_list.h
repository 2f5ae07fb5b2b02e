// A doubly linked list of private image copies with a cursor that walks either way.
#pragma once

#include <cstdint>

#include "engine_types.h"

struct ImageCopyNode {
    ImageDesc *image;  // owned
    uint8_t *extra;    // owned copy of the caller's bytes, or null
    int32_t tag0;
    int32_t tag1;
    ImageCopyNode *next;
    ImageCopyNode *prev;
};

struct ImageCopyList {
    int32_t count;
    ImageCopyNode *first;
    ImageCopyNode *cursor;
    ImageCopyNode *last;
};

// Appending copies the image (and width x height bytes of extra, when given) and sets the tags;
// a failure frees everything it obtained and leaves the list unchanged. The first node of an
// empty list also becomes the cursor.
int AppendImageCopy(ImageCopyList *list, const ImageDesc *source, const uint8_t *extra,
                    int32_t tag0, int32_t tag1, MemoryContext memory);
int AppendImageCropCopy(ImageCopyList *list, const ImageDesc *source, const uint8_t *extra,
                        const PixelRect *rect, int32_t tag0, int32_t tag1, MemoryContext memory);
ImageCopyNode *RewindImageCopies(ImageCopyList *list);
ImageCopyNode *WindImageCopies(ImageCopyList *list);
// Both hand out the node at the cursor and move the cursor; 0 when the cursor is null.
// The tags come out together as one 64-bit value (tag0 in the low half).
int NextImageCopy(ImageCopyList *list, ImageDesc **outImage, void *ignored, int64_t *outTags);
int PrevImageCopy(ImageCopyList *list, ImageDesc **outImage, uint8_t **outExtra,
                  int64_t *outTags);
// Removing a node moves the cursor to the new first (or last) node, null once the list is empty.
int RemoveFirstImageCopy(ImageCopyList *list, MemoryContext memory);
int RemoveLastImageCopy(ImageCopyList *list, MemoryContext memory);
void ClearImageCopies(ImageCopyList *list, MemoryContext memory);
