// Reads a fuzz input as a stream of small fields; past the end every field reads as zero, so
// any input, even an empty one, describes a call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

class FuzzInput {
public:
    FuzzInput(const uint8_t *data, size_t size) : data_(data), size_(size) {}

    template <typename T>
    T Take() {
        T value{};
        const size_t n = size_ - offset_ < sizeof(T) ? size_ - offset_ : sizeof(T);
        if (n) std::memcpy(&value, data_ + offset_, n);
        offset_ += n;
        return value;
    }
    // A value in [low, high].
    int32_t InRange(int32_t low, int32_t high) {
        const uint32_t span = static_cast<uint32_t>(high - low) + 1;
        return low + static_cast<int32_t>(Take<uint16_t>() % span);
    }
    // The next byte of the remaining input, cycling; 0 when the input is used up entirely.
    uint8_t NextByte() {
        if (offset_ >= size_) return size_ ? data_[(cycle_++) % size_] : 0;
        return data_[offset_++];
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t offset_ = 0;
    size_t cycle_ = 0;
};
