// Memory services: the system heap, or a first-fit pool laid over a caller's buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hdr_engine.h"

MemoryContext InitMemoryPool(void *buffer, size_t size);
void CloseMemoryPool();
void *AllocateMemory(MemoryContext memory, uint64_t size);
void *ReallocateMemory(MemoryContext memory, void *block, uint64_t size);
void FreeMemory(MemoryContext memory, void *block);
// Largest free payload in bytes; RESULT_INVALID_ARGUMENT (2) for a null context, a value no
// payload can take because payloads are multiples of 8.
int64_t LargestFreeBlock(MemoryContext memory);

void *FillBytes(void *buffer, int value, size_t length);
void *CopyBytes(void *destination, const void *source, size_t length);
void *MoveBytes(void *destination, const void *source, size_t length);
int CompareBytes(const void *a, const void *b, size_t length);

// Allocates count elements of T, zero-filled; null on failure.
template <typename T>
T *AllocateZeroed(MemoryContext memory, uint64_t count) {
    if (count > UINT64_MAX / sizeof(T)) return nullptr;
    void *block = AllocateMemory(memory, count * sizeof(T));
    if (block) FillBytes(block, 0, count * sizeof(T));
    return static_cast<T *>(block);
}

// Frees *block when set and clears the pointer.
template <typename T>
void FreeAndClear(MemoryContext memory, T *&block) {
    if (block) FreeMemory(memory, const_cast<void *>(static_cast<const void *>(block)));
    block = nullptr;
}
