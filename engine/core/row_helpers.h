// Small helpers the row loops of every stage share.
#pragma once

#include <cstdint>

// v held to a byte's range, 0 to 255.
inline uint8_t ClampByte(int32_t v) {
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}
inline uint8_t ClampByte(int64_t v) {
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}
