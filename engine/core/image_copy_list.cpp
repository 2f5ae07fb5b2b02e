// A doubly linked list of private image copies with a two-way cursor.
#include "image_copy_list.h"

#include "image.h"
#include "memory.h"

namespace {

void FreeNode(MemoryContext memory, ImageCopyNode *node) {
    FreeAndClear(memory, node->extra);
    DestroyImage(&node->image, memory);
    FreeMemory(memory, node);
}

// Copies width x height bytes of the caller's block, the size of the image it came with.
int CopyExtra(const uint8_t *extra, const ImageDesc &source, MemoryContext memory,
              uint8_t **outExtra) {
    *outExtra = nullptr;
    if (!extra) return RESULT_OK;
    const uint64_t bytes = static_cast<uint64_t>(source.i32Width) *
                           static_cast<uint64_t>(source.i32Height);
    *outExtra = static_cast<uint8_t *>(AllocateMemory(memory, bytes));
    if (!*outExtra) return RESULT_OUT_OF_MEMORY;
    CopyBytes(*outExtra, extra, static_cast<size_t>(bytes));
    return RESULT_OK;
}

// Fills a node with its image (the whole source, or the rectangle when one is given) and the
// extra block. On failure frees whatever it obtained, node included, so nothing leaks.
int BuildNode(const ImageDesc *source, const uint8_t *extra, const PixelRect *rect,
              int32_t tag0, int32_t tag1, MemoryContext memory, ImageCopyNode **outNode) {
    *outNode = nullptr;
    auto *node = static_cast<ImageCopyNode *>(AllocateMemory(memory, sizeof(ImageCopyNode)));
    if (!node) return RESULT_OUT_OF_MEMORY;
    *node = ImageCopyNode{nullptr, nullptr, tag0, tag1, nullptr, nullptr};
    int result = rect ? CropToNewImage(&node->image, source, rect, memory)
                      : CloneImage(&node->image, source, memory);
    if (result == RESULT_OK) result = CopyExtra(extra, *source, memory, &node->extra);
    if (result != RESULT_OK) {
        FreeNode(memory, node);
        return result;
    }
    *outNode = node;
    return RESULT_OK;
}

// Links a node after the last one. The cursor of an empty list starts at the new node, so a
// walk can begin without a rewind whichever append made the first node.
void LinkLast(ImageCopyList *list, ImageCopyNode *node) {
    node->prev = list->last;
    if (list->last)
        list->last->next = node;
    else
        list->first = list->cursor = node;
    list->last = node;
    ++list->count;
}

int Append(ImageCopyList *list, const ImageDesc *source, const uint8_t *extra,
           const PixelRect *rect, int32_t tag0, int32_t tag1, MemoryContext memory) {
    if (!list || !source) return RESULT_INVALID_ARGUMENT;
    ImageCopyNode *node = nullptr;
    const int built = BuildNode(source, extra, rect, tag0, tag1, memory, &node);
    if (built != RESULT_OK) return built;
    LinkLast(list, node);
    return RESULT_OK;
}

int64_t PackTags(const ImageCopyNode &node) {
    const uint64_t low = static_cast<uint32_t>(node.tag0);
    const uint64_t high = static_cast<uint32_t>(node.tag1);
    return static_cast<int64_t>(low | high << 32);
}

// Hands out the cursor's node; the caller moves the cursor.
ImageCopyNode *HandOut(ImageCopyList *list, ImageDesc **outImage, uint8_t **outExtra,
                       int64_t *outTags) {
    ImageCopyNode *node = list ? list->cursor : nullptr;
    if (!node) return nullptr;
    if (outImage) *outImage = node->image;
    if (outExtra) *outExtra = node->extra;
    if (outTags) *outTags = PackTags(*node);
    return node;
}

}  // namespace

int AppendImageCopy(ImageCopyList *list, const ImageDesc *source, const uint8_t *extra,
                    int32_t tag0, int32_t tag1, MemoryContext memory) {
    return Append(list, source, extra, nullptr, tag0, tag1, memory);
}

int AppendImageCropCopy(ImageCopyList *list, const ImageDesc *source, const uint8_t *extra,
                        const PixelRect *rect, int32_t tag0, int32_t tag1,
                        MemoryContext memory) {
    if (!rect) return RESULT_INVALID_ARGUMENT;
    return Append(list, source, extra, rect, tag0, tag1, memory);
}

ImageCopyNode *RewindImageCopies(ImageCopyList *list) {
    if (!list) return nullptr;
    return list->cursor = list->first;
}

ImageCopyNode *WindImageCopies(ImageCopyList *list) {
    if (!list) return nullptr;
    return list->cursor = list->last;
}

int NextImageCopy(ImageCopyList *list, ImageDesc **outImage, void *, int64_t *outTags) {
    ImageCopyNode *node = HandOut(list, outImage, nullptr, outTags);
    if (!node) return 0;
    list->cursor = node->next;
    return 1;
}

int PrevImageCopy(ImageCopyList *list, ImageDesc **outImage, uint8_t **outExtra,
                  int64_t *outTags) {
    ImageCopyNode *node = HandOut(list, outImage, outExtra, outTags);
    if (!node) return 0;
    list->cursor = node->prev;
    return 1;
}

int RemoveFirstImageCopy(ImageCopyList *list, MemoryContext memory) {
    if (!list) return RESULT_INVALID_ARGUMENT;
    ImageCopyNode *node = list->first;
    if (!node) return RESULT_OK;
    list->first = node->next;
    if (list->first)
        list->first->prev = nullptr;
    else
        list->last = nullptr;
    list->cursor = list->first;
    --list->count;
    FreeNode(memory, node);
    return RESULT_OK;
}

// Mirrors RemoveFirstImageCopy: the cursor moves to the new last node (null when the list
// empties), so it never points at the freed node.
int RemoveLastImageCopy(ImageCopyList *list, MemoryContext memory) {
    if (!list) return RESULT_INVALID_ARGUMENT;
    ImageCopyNode *node = list->last;
    if (!node) return RESULT_OK;
    list->last = node->prev;
    if (list->last)
        list->last->next = nullptr;
    else
        list->first = nullptr;
    list->cursor = list->last;
    --list->count;
    FreeNode(memory, node);
    return RESULT_OK;
}

void ClearImageCopies(ImageCopyList *list, MemoryContext memory) {
    if (!list) return;
    ImageCopyNode *node = list->first;
    while (node) {
        ImageCopyNode *next = node->next;
        FreeNode(memory, node);
        node = next;
    }
    *list = ImageCopyList{0, nullptr, nullptr, nullptr};
}
