// The merge program's photo readers (JPEG and PNG, told apart by their signatures, with the
// EXIF turn) on arbitrary file bytes.
#include <cstdint>
#include <string>

#include "photo_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    tonefold::YuyvImage image;
    std::string reason;
    if (tonefold::DecodePhoto(data, size, &image, &reason)) {
        // A decoded photo is whole: touch its last byte so a short block shows.
        const int64_t bytes = int64_t{image.Pitch()} * image.height;
        if (image.width <= 0 || image.height <= 0 || !image.pixels) __builtin_trap();
        volatile uint8_t last = image.pixels[bytes - 1];
        (void)last;
    }
    return 0;
}
