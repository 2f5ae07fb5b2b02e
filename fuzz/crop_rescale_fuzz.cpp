// Crop and rescale with a caller's rectangle (any four int32 corners) over small frames of
// every rescale format, the source possibly larger than the destination.
#include <cstdint>

#include "core/image.h"
#include "filters/crop_rescale.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const uint32_t kFormats[] = {PIXEL_FORMAT_YUYV, PIXEL_FORMAT_I420, PIXEL_FORMAT_NV12,
                                        PIXEL_FORMAT_NV21, PIXEL_FORMAT_NV16, PIXEL_FORMAT_YUV444P};
    FuzzInput in(data, size);
    const uint32_t format = kFormats[in.InRange(0, 5)];
    const int32_t w = in.InRange(1, 96), h = in.InRange(1, 96);
    const int32_t sw = w + in.InRange(0, 8), sh = h + in.InRange(0, 8);
    PixelRect rect{in.Take<int32_t>(), in.Take<int32_t>(), in.Take<int32_t>(), in.Take<int32_t>()};
    ImageDesc *source = nullptr, *destination = nullptr;
    if (CreateImage(&source, sw, sh, format, nullptr) == RESULT_OK &&
        CreateImage(&destination, w, h, format, nullptr) == RESULT_OK) {
        for (int p = 0; p < 3; ++p) {
            if (!source->ppu8Plane[p]) continue;
            const int32_t rows = p == 0 ? sh : sh / 2;  // the lower bound over the formats
            for (int64_t i = 0; i < int64_t{rows} * source->pi32Pitch[p]; ++i)
                source->ppu8Plane[p][i] = in.NextByte();
        }
        const int32_t result = CropAndRescale(nullptr, source, destination, &rect);
        if (result == RESULT_OK &&
            (rect.x0 < 0 || rect.y0 < 0 || rect.x1 > w || rect.y1 > h || rect.x1 - rect.x0 < 2 ||
             rect.y1 - rect.y0 < 2))
            __builtin_trap();  // a rectangle reported back outside the frame
    }
    DestroyImage(&source, nullptr);
    DestroyImage(&destination, nullptr);
    return 0;
}
