// Whole merges of three small frames in every accepted format, sizes at and just above the
// smallest the engine takes, pixels and tone parameters from the input. Covers the stages a
// run chains: decimation, measurement, registration, weights, fusion, crop and tone.
#include <cstdint>

#include "core/hdr_engine.h"
#include "core/image.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const uint32_t kFormats[] = {PIXEL_FORMAT_YUYV, PIXEL_FORMAT_I420, PIXEL_FORMAT_NV12,
                                        PIXEL_FORMAT_NV21, PIXEL_FORMAT_NV16};
    FuzzInput in(data, size);
    const uint32_t format = kFormats[in.InRange(0, 4)];
    const int32_t w = in.InRange(90, 140), h = in.InRange(90, 140);
    const int32_t count = in.InRange(1, 3), outputIndex = in.InRange(0, 2);
    MergeParams params{in.Take<int8_t>(), in.Take<int8_t>(), in.Take<int8_t>()};
    ImageDesc *images[3] = {};
    ImageDesc inputs[3] = {};
    int32_t rows[3];
    bool made = LayoutImagePlanes(&inputs[0], w, h, format, rows) == RESULT_OK;
    for (int e = 0; made && e < 3; ++e) {
        made = CreateImage(&images[e], w, h, format, nullptr) == RESULT_OK;
        if (!made) break;
        for (int p = 0; p < 3; ++p) {
            uint8_t *plane = images[e]->ppu8Plane[p];
            const int64_t bytes = plane ? int64_t{rows[p]} * images[e]->pi32Pitch[p] : 0;
            for (int64_t i = 0; i < bytes; ++i) plane[i] = in.NextByte();
        }
        inputs[e] = *images[e];
    }
    HdrSession *session = nullptr;
    if (made && CreateHdrSession(nullptr, 0, &session) == RESULT_OK) {
        RunHdrMerge(nullptr, session, inputs, count, inputs, outputIndex, &params, 0, nullptr,
                    nullptr);
        DestroyHdrSession(nullptr, session);
    }
    for (ImageDesc *&image : images) DestroyImage(&image, nullptr);
    return 0;
}
