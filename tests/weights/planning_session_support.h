// A session set up the way preparation and registration leave it for the merge planning:
// thumbnails (plain and aligned copies), exposure order and gains, block grid with block luma,
// histograms, identity level tables, the preview images and full-resolution inputs.
// Header-only: shared by the planning tests and the planning benchmark.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/exposure_gain.h"
#include "core/image.h"
#include "core/memory.h"
#include "core/session.h"
#include "weights/exposure_weights.h"
#include "weights/lowres_weight_maps.h"
#include "weights/preview_fusion.h"

namespace planning {

// Luma of exposure e at thumbnail pixel (x, y).
using Thumbnail = std::function<uint8_t(int e, int32_t x, int32_t y)>;

// A mid-grey texture in 70..130 with a clipped patch at the top left, the same in every
// exposure.
inline uint8_t Texture(int32_t x, int32_t y) {
    if (x < 16 && y < 16) return 255;
    return static_cast<uint8_t>(100 + 30 * std::sin(x / 5.0) * std::cos(y / 7.0));
}

inline Thumbnail SameInAll() {
    return [](int, int32_t x, int32_t y) { return Texture(x, y); };
}

class PlanningSession {
  public:
    // Frame of width x height full-resolution pixels; thumbnails are 1/8 of it (even sides).
    // Without inputs the session has no full-resolution frames (no fallback can run).
    PlanningSession(int32_t width, int32_t height, const Thumbnail &luma, MemoryContext memory = nullptr,
                    bool withInputs = true)
        : memory_(memory) {
        ok_ = CreateHdrSession(memory_, 0, &s_) == RESULT_OK && Build(width, height, luma, withInputs);
    }
    ~PlanningSession() {
        if (!s_) return;
        s_->inputImages = nullptr;
        DestroyHdrSession(memory_, s_);
    }
    PlanningSession(const PlanningSession &) = delete;
    PlanningSession &operator=(const PlanningSession &) = delete;

    bool ok() const { return ok_; }
    HdrSession *session() const { return s_; }
    ImageDesc *const *thumbnails() const { return s_->smallImages; }
    int32_t thumbWidth() const { return s_->smallImages[0]->i32Width; }
    int32_t thumbHeight() const { return s_->smallImages[0]->i32Height; }
    int64_t cells() const { return int64_t{s_->paddedBlocksAcross} * s_->paddedBlocksDown; }

    // Runs stages 2 to 4 and returns the first failure.
    int RunThroughPreview(MemoryContext memory) {
        int r = BuildLowResWeightMaps(memory, s_, s_->smallImages);
        if (r == RESULT_OK) r = BuildExposureWeightMaps(memory, s_, 0);
        if (r == RESULT_OK) r = FuseLowResPreview(memory, s_, s_->smallImages);
        return r;
    }

  private:
    bool Build(int32_t width, int32_t height, const Thumbnail &luma, bool withInputs) {
        HdrSession *s = s_;
        s->exposureCount = 3;
        s->darkIndex = 0;
        s->referenceIndex = 1;
        s->brightIndex = 2;
        s->exposureGain[0] = 4.0;
        s->exposureGain[1] = 1.0;
        s->exposureGain[2] = 0.25;
        s->frameWidth = width;
        s->frameHeight = height;
        const int32_t tw = width / 16 * 2, th = height / 16 * 2;
        s->blockWidth = s->blockHeight = 32;
        s->blocksAcross = (width + 31) / 32;
        s->blocksDown = (height + 31) / 32;
        s->paddedBlocksAcross = s->blocksAcross + 2;
        s->paddedBlocksDown = s->blocksDown + 2;
        const int64_t n = cells();
        s->blockStats = AllocateZeroed<int16_t>(memory_, static_cast<uint64_t>(kBlockStatPlanes * n));
        if (!s->blockStats) return false;
        for (int e = 0; e < 3; ++e) {
            if (CreateImage(&s->smallImages[e], tw, th, PIXEL_FORMAT_YUV444P, memory_) != RESULT_OK ||
                CreateImage(&s->alignedSmall[e], tw, th, PIXEL_FORMAT_YUV444P, memory_) != RESULT_OK)
                return false;
            ImageDesc *t = s->smallImages[e];
            for (int32_t y = 0; y < th; ++y)
                for (int32_t x = 0; x < tw; ++x) {
                    t->ppu8Plane[0][y * t->pi32Pitch[0] + x] = luma(e, x, y);
                    t->ppu8Plane[1][y * t->pi32Pitch[1] + x] = static_cast<uint8_t>(120 + (x & 7));
                    t->ppu8Plane[2][y * t->pi32Pitch[2] + x] = static_cast<uint8_t>(136 - (y & 7));
                }
            CopyImage(s->alignedSmall[e], t);
            s->overlapBounds[e] = PixelRect{0, 0, tw, th};
            s->histograms[e] = static_cast<ExposureHistograms *>(AllocateMemory(memory_, sizeof(ExposureHistograms)));
            if (!s->histograms[e]) return false;
            FillBytes(s->histograms[e], 0, sizeof(ExposureHistograms));
            if (ComputeLumaHistogram(memory_, t, (*s->histograms[e])[0]) != RESULT_OK) return false;
            FillBlockLuma(t, s->blockStats + e * n);
        }
        for (uint8_t *table : s->curveTables)
            for (int v = 0; v < 256; ++v) table[v] = static_cast<uint8_t>(v);
        if (CreateImage(&s->previewImage, tw, th, PIXEL_FORMAT_YUV444P, memory_) != RESULT_OK ||
            CreateImage(&s->previewWorkImage, tw, th, PIXEL_FORMAT_YUV444P, memory_) != RESULT_OK)
            return false;
        if (withInputs) {
            BuildInputs(width, height);
            s->inputImages = inputs_.data();
        }
        return true;
    }

    // Dense block means of 4 x 4 thumbnail pixels (blocks past the thumbnail take what lies in it).
    void FillBlockLuma(const ImageDesc *t, int16_t *plane) {
        const int32_t bw = s_->blocksAcross, bh = s_->blocksDown;
        for (int32_t r = 0; r < bh; ++r)
            for (int32_t c = 0; c < bw; ++c) {
                int32_t sum = 0, count = 0;
                for (int32_t y = 4 * r; y < 4 * r + 4 && y < t->i32Height; ++y)
                    for (int32_t x = 4 * c; x < 4 * c + 4 && x < t->i32Width; ++x, ++count)
                        sum += t->ppu8Plane[0][y * t->pi32Pitch[0] + x];
                plane[r * bw + c] = static_cast<int16_t>(count ? sum / count : 0);
            }
    }

    // Full-resolution frames: each thumbnail pixel repeated over its 8 x 8 pixels.
    void BuildInputs(int32_t width, int32_t height) {
        for (int e = 0; e < 3; ++e) {
            const ImageDesc *t = s_->smallImages[e];
            std::vector<uint8_t> &bytes = frames_[e];
            bytes.assign(static_cast<size_t>(2 * width) * height, 128);
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < width; ++x) {
                    const int32_t tx = x / 8 < t->i32Width ? x / 8 : t->i32Width - 1;
                    const int32_t ty = y / 8 < t->i32Height ? y / 8 : t->i32Height - 1;
                    bytes[static_cast<size_t>(y) * 2 * width + 2 * x] = t->ppu8Plane[0][ty * t->pi32Pitch[0] + tx];
                }
            ImageDesc &d = inputs_[e];
            d = ImageDesc{};
            d.u32PixelArrayFormat = PIXEL_FORMAT_YUYV;
            d.i32Width = width;
            d.i32Height = height;
            d.ppu8Plane[0] = bytes.data();
            d.pi32Pitch[0] = 2 * width;
        }
    }

    MemoryContext memory_;
    HdrSession *s_ = nullptr;
    bool ok_ = false;
    std::array<std::vector<uint8_t>, 3> frames_;
    std::array<ImageDesc, 3> inputs_{};
};

}  // namespace planning
