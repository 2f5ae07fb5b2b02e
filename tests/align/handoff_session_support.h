// A session set up the way the planning stages leave it before the full-resolution pass:
// block grid and statistics, identity exposure tables, block weights and motion grids, all
// allocated through the engine so that DestroyHdrSession frees them.
#pragma once

#include <cstdint>
#include <vector>

#include "core/memory.h"
#include "core/session.h"

namespace handoff_test {

struct HandoffSession {
    HdrSession *s = nullptr;
    std::vector<ImageDesc> inputs;

    HandoffSession(int32_t width, int32_t height, int32_t count = 3) {
        CreateHdrSession(nullptr, 0, &s);
        s->exposureCount = count;
        s->frameWidth = width;
        s->frameHeight = height;
        s->blocksAcross = (width + 31) / 32;
        s->blocksDown = (height + 31) / 32;
        s->paddedBlocksAcross = s->blocksAcross + 2;
        s->paddedBlocksDown = s->blocksDown + 2;
        s->meshConstants[0] = 256;
        s->meshConstants[3] = 8;
        s->meshCols = (width + 255) / 256 + 2;
        s->meshRows = (height + 255) / 256 + 2;
        s->blockStats = AllocateZeroed<int16_t>(nullptr, kBlockStatPlanes * Cells());
        s->referenceIndex = count >= 2 ? 1 : 0;
        s->darkIndex = 0;
        s->brightIndex = count == 3 ? 2 : 0;
        if (count == 2) s->referenceIndex = 0, s->darkIndex = s->brightIndex = 1;
        s->valueShift = 2;
        for (int e = 0; e < count; ++e) {
            s->exposureLuts[e] = AllocateZeroed<uint16_t>(nullptr, 4096);
            for (int i = 0; i < 4096; ++i) s->exposureLuts[e][i] = static_cast<uint16_t>(i);
        }
        // The three weight grids share one block, as the planning stage lays them out.
        int16_t *weights = AllocateZeroed<int16_t>(nullptr, 3 * Cells());
        for (int k = 0; k < 3; ++k) s->blockWeights[k] = weights + k * Cells();
        inputs.resize(count);
        for (ImageDesc &d : inputs) {
            d.u32PixelArrayFormat = PIXEL_FORMAT_YUYV;
            d.i32Width = width;
            d.i32Height = height;
            d.pi32Pitch[0] = 2 * width;
        }
        s->inputImages = inputs.data();
    }
    ~HandoffSession() { DestroyHdrSession(nullptr, s); }
    HandoffSession(const HandoffSession &) = delete;
    HandoffSession &operator=(const HandoffSession &) = delete;

    size_t Cells() const {
        return static_cast<size_t>(s->paddedBlocksAcross) *
               static_cast<size_t>(s->paddedBlocksDown);
    }
    int16_t *Plane(int index) { return s->blockStats + index * Cells(); }
    // Zeroed motion grids for alignment slot k.
    void AddMotionGrids(int k) {
        const size_t nodes = static_cast<size_t>(s->meshCols) * s->meshRows;
        s->offsetGridX[k] = AllocateZeroed<int32_t>(nullptr, nodes);
        s->offsetGridY[k] = AllocateZeroed<int32_t>(nullptr, nodes);
    }
};

}  // namespace handoff_test
