// Whole merges over odd and even frame sizes, small to twelve megapixels, in every accepted
// format, with flat and with noisy content. The planes are laid out exactly as the engine lays
// them out, with no slack past the last row, so that under AddressSanitizer any read or write
// past a plane fails the run.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/hdr_engine.h"
#include "core/image.h"

namespace {

struct Size {
    int32_t w, h;
};

const Size kSizes[] = {{96, 96},   {97, 97},    {96, 97},    {97, 96},     {162, 113},
                       {161, 114}, {1000, 751}, {1001, 750}, {4000, 3001}, {4001, 3001}};
const uint32_t kFormats[] = {PIXEL_FORMAT_YUYV, PIXEL_FORMAT_I420, PIXEL_FORMAT_NV12,
                             PIXEL_FORMAT_NV21, PIXEL_FORMAT_NV16};

// Three exposures of one frame; flat content is one level per exposure (chroma neutral),
// noisy content a cheap generator's bytes, brighter from one exposure to the next.
struct Frames {
    ImageDesc *images[3] = {};
    ~Frames() {
        for (ImageDesc *&image : images) DestroyImage(&image, nullptr);
    }
    bool Make(const Size &size, uint32_t format, bool noisy) {
        ImageDesc layout;
        int32_t rows[3];
        if (LayoutImagePlanes(&layout, size.w, size.h, format, rows) != RESULT_OK) return false;
        uint32_t state = 12345;
        for (int e = 0; e < 3; ++e) {
            if (CreateImage(&images[e], size.w, size.h, format, nullptr) != RESULT_OK) return false;
            for (int p = 0; p < 3; ++p) {
                uint8_t *plane = images[e]->ppu8Plane[p];
                if (!plane || rows[p] == 0) continue;
                const int64_t bytes = int64_t{rows[p]} * images[e]->pi32Pitch[p];
                for (int64_t i = 0; i < bytes; ++i) {
                    state = state * 1664525u + 1013904223u;
                    const int noise = noisy ? static_cast<int>(state >> 24) / 4 - 32 : 0;
                    const bool lumaByte = format == PIXEL_FORMAT_YUYV ? (i % 2 == 0) : p == 0;
                    const int level = lumaByte ? 40 + 70 * e + noise : 128 + noise / 2;
                    plane[i] = static_cast<uint8_t>(level < 0 ? 0 : level > 255 ? 255 : level);
                }
            }
        }
        return true;
    }
};

TEST(SizeSweep, MergesStayInsideTheirPlanes) {
    for (const Size &size : kSizes)
        for (uint32_t format : kFormats)
            for (bool noisy : {false, true}) {
                Frames frames;
                ASSERT_TRUE(frames.Make(size, format, noisy));
                ImageDesc inputs[3] = {*frames.images[0], *frames.images[1], *frames.images[2]};
                HdrSession *session = nullptr;
                ASSERT_EQ(CreateHdrSession(nullptr, 0, &session), RESULT_OK);
                const int result =
                    RunHdrMerge(nullptr, session, inputs, 3, inputs, 1, nullptr, 0, nullptr, nullptr);
                DestroyHdrSession(nullptr, session);
                // Frames of odd width are refused; every other run may decline a scene
                // (motion, too little overlap) but not its arguments, and flat scenes merge.
                const int expected = size.w % 2 ? RESULT_INVALID_ARGUMENT : RESULT_OK;
                if (!noisy || expected == RESULT_INVALID_ARGUMENT) {
                    EXPECT_EQ(result, expected)
                        << std::hex << format << std::dec << " " << size.w << "x" << size.h;
                } else {
                    EXPECT_NE(result, RESULT_INVALID_ARGUMENT)
                        << std::hex << format << std::dec << " " << size.w << "x" << size.h;
                }
            }
}

}  // namespace
