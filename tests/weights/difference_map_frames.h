// Three full-resolution frames of one constant luma each and three constant 1/8-scale
// difference maps in a bare session, for the full-resolution difference-map tool.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/session.h"

namespace planning {

struct DifferenceMapFrames {
    // Luma and map values in the order reference, dark, bright; the session's exposure indices
    // are dark 0, reference 1, bright 2. Packed formats carry chroma 128 beside their luma.
    DifferenceMapFrames(int32_t width, int32_t height, std::array<uint8_t, 3> luma, std::array<int16_t, 3> maps,
                        uint32_t format = PIXEL_FORMAT_GRAY8)
        : width(width), height(height), step(format == PIXEL_FORMAT_GRAY8 ? 1 : 2),
          lumaOffset(format == PIXEL_FORMAT_UYVY ? 1 : 0) {
        session.exposureCount = 3;
        session.darkIndex = 0;
        session.referenceIndex = 1;
        session.brightIndex = 2;
        const int order[3] = {1, 0, 2};  // image of each map: reference, dark, bright
        const int32_t mapWidth = width / 16 * 2, mapHeight = height / 16 * 2;
        for (int k = 0; k < 3; ++k) {
            std::vector<uint8_t> &bytes = frames[order[k]];
            bytes.assign(static_cast<size_t>(step) * width * height, 128);
            for (int32_t i = 0; i < width * height; ++i) bytes[static_cast<size_t>(i) * step + lumaOffset] = luma[k];
            ImageDesc &d = inputs[order[k]];
            d.u32PixelArrayFormat = format;
            d.i32Width = width;
            d.i32Height = height;
            d.ppu8Plane[0] = bytes.data();
            d.pi32Pitch[0] = step * width;
            grids[k].assign(static_cast<size_t>(mapWidth) * mapHeight, maps[k]);
            session.fineGrids[k] = grids[k].data();
        }
        preview.u32PixelArrayFormat = PIXEL_FORMAT_YUV444P;
        preview.i32Width = mapWidth;
        preview.i32Height = mapHeight;
        session.previewImage = &preview;
        session.fineGridStride = mapWidth;
        session.fineGridRows = mapHeight;
        session.inputImages = inputs.data();
    }
    // Luma of pixel (x, y) of the image that map k (reference, dark, bright) belongs to.
    uint8_t Luma(int k, int32_t x, int32_t y) const {
        const int order[3] = {1, 0, 2};
        return frames[order[k]][(static_cast<size_t>(y) * width + x) * step + lumaOffset];
    }

    int32_t width, height, step, lumaOffset;
    HdrSession session{};
    ImageDesc preview{};
    std::array<ImageDesc, 3> inputs{};
    std::array<std::vector<uint8_t>, 3> frames;
    std::array<std::vector<int16_t>, 3> grids;
};

}  // namespace planning
