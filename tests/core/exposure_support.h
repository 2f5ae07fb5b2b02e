// Session fields and images for the exposure analysis tests, built without the run driver:
// the block grid, histograms and tone tables of a frame size, and planar thumbnails.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/constant_tables.h"
#include "core/session.h"

namespace exposure_test {

// A zero-filled session with the constant tables, the block grid of a frame and the
// per-exposure histograms (all zero) and identity tone tables, owned by this record.
struct TestSession {
    std::unique_ptr<HdrSession> session = std::make_unique<HdrSession>();
    std::vector<int16_t> blockStats;
    ExposureHistograms histograms[kMaxExposures] = {};
    std::vector<uint16_t> luts[kMaxExposures];

    TestSession(int32_t frameWidth, int32_t frameHeight, int32_t exposures = 3) {
        HdrSession &s = *session;
        s.gammaExpandTable = kGammaExpandTable;
        s.gammaCompressTable = kGammaCompressTable;
        s.pixelsPerSample = 64;
        s.exposureCount = exposures;
        s.frameWidth = frameWidth;
        s.frameHeight = frameHeight;
        s.blocksAcross = (frameWidth + 31) / 32;
        s.blocksDown = (frameHeight + 31) / 32;
        s.paddedBlocksAcross = s.blocksAcross + 2;
        s.paddedBlocksDown = s.blocksDown + 2;
        blockStats.assign(
            static_cast<size_t>(kBlockStatPlanes) * s.paddedBlocksAcross * s.paddedBlocksDown, 0);
        s.blockStats = blockStats.data();
        s.overlapRect = {0, 0, static_cast<uint32_t>(frameWidth), frameHeight};
        for (int e = 0; e < kMaxExposures; ++e) {
            s.histograms[e] = &histograms[e];
            luts[e].resize(4096);
            for (int i = 0; i < 4096; ++i) luts[e][i] = static_cast<uint16_t>(i);
            s.exposureLuts[e] = luts[e].data();
            s.exposureGainQ10[e] = 1024;
        }
        s.darkIndex = 0;
        s.referenceIndex = 1;
        s.brightIndex = 2;
    }

    HdrSession *operator->() { return session.get(); }
    HdrSession *get() { return session.get(); }
    int32_t *Luma(int e) { return histograms[e][0]; }
    // Block mean of exposure e's plane at block (c, r), unpadded layout.
    int16_t Block(int e, int32_t c, int32_t r) const {
        const HdrSession &s = *session;
        return blockStats[static_cast<size_t>(e) * s.paddedBlocksAcross * s.paddedBlocksDown +
                          static_cast<size_t>(r) * s.blocksAcross + c];
    }
    // The thumbnail sample count of the frame: (W / 16) x 2 by (H / 16) x 2.
    int64_t ThumbnailSamples() const {
        return int64_t{session->frameWidth / 16 * 2} * (session->frameHeight / 16 * 2);
    }
};

// A PIXEL_FORMAT_YUV444P image in vectors, pitch rounded up to 4 like CreateImage.
struct Planar444 {
    std::vector<uint8_t> planes[3];
    ImageDesc desc{};

    Planar444(int32_t width, int32_t height, uint8_t fill = 0) {
        const int32_t pitch = (width + 3) & ~3;
        desc.u32PixelArrayFormat = PIXEL_FORMAT_YUV444P;
        desc.i32Width = width;
        desc.i32Height = height;
        for (int p = 0; p < 3; ++p) {
            planes[p].assign(static_cast<size_t>(pitch) * height, fill);
            desc.ppu8Plane[p] = planes[p].data();
            desc.pi32Pitch[p] = pitch;
        }
    }
    uint8_t &Y(int32_t x, int32_t y) {
        return planes[0][static_cast<size_t>(y) * desc.pi32Pitch[0] + x];
    }
};

// A histogram holding `count` samples at each of the given levels.
inline void Spike(int32_t *histogram, std::initializer_list<int> levels, int32_t count) {
    for (int v = 0; v < 256; ++v) histogram[v] = 0;
    for (int level : levels) histogram[level] += count;
}

}  // namespace exposure_test
