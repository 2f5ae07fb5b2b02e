#include "memory.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr int64_t kHeaderBytes = sizeof(PoolBlockHeader);  // 16

PoolBlockHeader *NextHeader(PoolBlockHeader *h) {
    return reinterpret_cast<PoolBlockHeader *>(reinterpret_cast<uint8_t *>(h) + kHeaderBytes +
                                               h->payloadSize);
}

void *PayloadOf(PoolBlockHeader *h) { return reinterpret_cast<uint8_t *>(h) + kHeaderBytes; }

bool IsSentinel(const PoolBlockHeader *h) { return h->payloadSize < 0; }

// Writes a free block of the given payload at address p.
void WriteFreeHeader(void *p, int64_t payload) {
    auto *h = static_cast<PoolBlockHeader *>(p);
    h->payloadSize = payload;
    h->inUse = 0;
}

// Walks the chain to the header of block p. The walk stops at the sentinel, so a pointer that
// did not come from this pool yields null instead of running past the buffer.
PoolBlockHeader *FindHeader(MemoryContext pool, void *p, PoolBlockHeader **previous) {
    PoolBlockHeader *prev = nullptr;
    for (PoolBlockHeader *h = pool; !IsSentinel(h); h = NextHeader(h)) {
        if (PayloadOf(h) == p) {
            if (previous) *previous = prev;
            return h;
        }
        prev = h;
    }
    return nullptr;
}

// Sizes above this would wrap when rounded up to 8 in 32 bits.
bool PoolSizeFits(uint64_t n) { return n <= UINT32_MAX - 7u; }

int64_t RoundUp8(uint64_t n) { return static_cast<int64_t>((n + 7u) & ~uint64_t{7}); }

void *PoolAllocate(MemoryContext pool, uint64_t n) {
    if (!pool || n == 0 || !PoolSizeFits(n)) return nullptr;
    const int64_t a = RoundUp8(n);
    for (PoolBlockHeader *h = pool; !IsSentinel(h); h = NextHeader(h)) {
        if (h->inUse != 0 || h->payloadSize < a) continue;
        if (h->payloadSize - a - kHeaderBytes > 31) {
            WriteFreeHeader(static_cast<uint8_t *>(PayloadOf(h)) + a,
                            h->payloadSize - a - kHeaderBytes);
            h->payloadSize = a;
        }
        h->inUse = 1;
        return PayloadOf(h);
    }
    return nullptr;
}

void PoolFree(MemoryContext pool, void *p) {
    if (!pool || !p) return;
    PoolBlockHeader *prev = nullptr;
    PoolBlockHeader *h = FindHeader(pool, p, &prev);
    if (!h) return;
    h->inUse = 0;
    PoolBlockHeader *next = NextHeader(h);
    if (!IsSentinel(next) && next->inUse == 0) h->payloadSize += next->payloadSize + kHeaderBytes;
    if (prev && prev->inUse == 0) prev->payloadSize += h->payloadSize + kHeaderBytes;
}

void *PoolGrow(MemoryContext pool, PoolBlockHeader *h, void *p, int64_t n) {
    PoolBlockHeader *next = NextHeader(h);
    if (IsSentinel(next) || next->inUse != 0 ||
        h->payloadSize + next->payloadSize < n) {
        void *moved = PoolAllocate(pool, static_cast<uint64_t>(n));
        if (!moved) return nullptr;
        std::memcpy(moved, p, static_cast<size_t>(h->payloadSize));
        PoolFree(pool, p);
        return moved;
    }
    h->payloadSize += next->payloadSize + kHeaderBytes;
    const int64_t rest = h->payloadSize - n - kHeaderBytes;
    if (rest >= 32) {
        WriteFreeHeader(static_cast<uint8_t *>(p) + n, rest);
        h->payloadSize = n;
    }
    return p;
}

void *PoolShrink(PoolBlockHeader *h, void *p, int64_t n) {
    const int64_t rest = h->payloadSize - n - kHeaderBytes;
    if (rest <= 32) return p;
    PoolBlockHeader *next = NextHeader(h);
    auto *split = reinterpret_cast<PoolBlockHeader *>(static_cast<uint8_t *>(p) + n);
    int64_t payload = rest;
    if (!IsSentinel(next) && next->inUse == 0) payload += next->payloadSize + kHeaderBytes;
    WriteFreeHeader(split, payload);
    h->payloadSize = n;
    return p;
}

void *PoolReallocate(MemoryContext pool, void *p, uint64_t n) {
    if (!pool || n == 0 || !PoolSizeFits(n)) return nullptr;
    if (!p) return PoolAllocate(pool, n);
    PoolBlockHeader *h = FindHeader(pool, p, nullptr);
    if (!h) return nullptr;
    const int64_t a = RoundUp8(n);
    if (a > h->payloadSize) return PoolGrow(pool, h, p, a);
    return PoolShrink(h, p, a);
}

}  // namespace

MemoryContext InitMemoryPool(void *buffer, size_t size) {
    if (!buffer) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(buffer);
    const uintptr_t first = (start + 7u) & ~uintptr_t{7};
    const uintptr_t end = start + size;
    if (end < first + 2 * kHeaderBytes + 8) return nullptr;
    const int64_t payload = static_cast<int64_t>((end - first - 2 * kHeaderBytes) & ~uintptr_t{7});
    if (payload <= 0) return nullptr;
    auto *head = reinterpret_cast<PoolBlockHeader *>(first);
    WriteFreeHeader(head, payload);
    // The sentinel takes the last 16 bytes below the 8-aligned end; it follows the payload.
    auto *sentinel = reinterpret_cast<PoolBlockHeader *>((end & ~uintptr_t{7}) - kHeaderBytes);
    sentinel->payloadSize = -1;
    sentinel->inUse = -1;
    return head;
}

void CloseMemoryPool() {}

void *AllocateMemory(MemoryContext memory, uint64_t size) {
    if (memory) return PoolAllocate(memory, size);
    return std::malloc(static_cast<size_t>(size));
}

void *ReallocateMemory(MemoryContext memory, void *block, uint64_t size) {
    if (memory) return PoolReallocate(memory, block, size);
    return std::realloc(block, static_cast<size_t>(size));
}

void FreeMemory(MemoryContext memory, void *block) {
    if (memory) {
        PoolFree(memory, block);
        return;
    }
    std::free(block);
}

int64_t LargestFreeBlock(MemoryContext memory) {
    if (!memory) return RESULT_INVALID_ARGUMENT;
    int64_t largest = 0;
    for (PoolBlockHeader *h = memory; !IsSentinel(h); h = NextHeader(h))
        if (h->inUse == 0 && h->payloadSize > largest) largest = h->payloadSize;
    return largest;
}

void *FillBytes(void *buffer, int value, size_t length) { return std::memset(buffer, value, length); }
void *CopyBytes(void *destination, const void *source, size_t length) {
    return std::memcpy(destination, source, length);
}
void *MoveBytes(void *destination, const void *source, size_t length) {
    return std::memmove(destination, source, length);
}
int CompareBytes(const void *a, const void *b, size_t length) { return std::memcmp(a, b, length); }
