// The low-resolution weight maps of runs with fewer than three exposures. Such a run fills only
// the thumbnail slots its exposure indices name; the others keep whatever their allocation
// held, and the maps must not depend on it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "planning_session_support.h"

namespace {

using planning::PlanningSession;

// Three different exposures of the texture: darker, as is, and brighter.
planning::Thumbnail ThreeLevels() {
    return [](int e, int32_t x, int32_t y) {
        const int v = planning::Texture(x, y) + 60 * (e - 1);
        return static_cast<uint8_t>(std::clamp(v, 0, 255));
    };
}

// What an unwritten slot may hold: nothing, or bytes that vary from pixel to pixel (a read
// of them shows up as strong local contrast).
uint8_t ZeroByte(uint32_t) { return 0; }
uint8_t NoiseByte(uint32_t i) { return static_cast<uint8_t>((i * 2654435761u) >> 24); }

void FillLuma(ImageDesc *image, uint8_t (*byte)(uint32_t)) {
    uint8_t *plane = image->ppu8Plane[0];
    const size_t bytes = size_t(image->pi32Pitch[0]) * image->i32Height;
    for (size_t i = 0; i < bytes; ++i) plane[i] = byte(static_cast<uint32_t>(i));
}

// The three weight maps and the contrast map, one after another.
std::vector<int16_t> Maps(const HdrSession *s, int64_t pixels) {
    std::vector<int16_t> all;
    for (const int16_t *map : {s->contrastWeightMaps[kContrastDark], s->contrastWeightMaps[kContrastBright],
                               s->contrastWeightMaps[kContrastReference], s->ghostMap})
        all.insert(all.end(), map, map + pixels);
    return all;
}

TEST(LowResWeightMaps, SlotsOutsideTheRunAreNotRead) {
    // Exposure indices as the ordering gives them to runs of two and one exposures.
    const struct {
        const char *name;
        int32_t count, dark, bright, reference;
    } cases[] = {
        {"two, the darker as reference", 2, 0, 1, 0},
        {"two, the brighter as reference", 2, 1, 0, 0},
        {"two, reference in slot 1", 2, 0, 1, 1},
        {"one", 1, 0, 0, 0},
    };
    for (const auto &c : cases) {
        std::vector<int16_t> first;
        for (uint8_t (*poison)(uint32_t) : {ZeroByte, NoiseByte}) {
            PlanningSession ps(512, 384, ThreeLevels());
            ASSERT_TRUE(ps.ok());
            HdrSession *s = ps.session();
            s->exposureCount = c.count;
            s->darkIndex = c.dark;
            s->brightIndex = c.bright;
            s->referenceIndex = c.reference;
            for (int32_t slot = c.count; slot < kMaxExposures; ++slot) FillLuma(s->smallImages[slot], poison);
            ASSERT_EQ(BuildLowResWeightMaps(nullptr, s, s->smallImages), RESULT_OK) << c.name;
            const std::vector<int16_t> maps = Maps(s, int64_t{ps.thumbWidth()} * ps.thumbHeight());
            if (first.empty()) {
                first = maps;
                continue;
            }
            EXPECT_TRUE(maps == first) << c.name << ": the maps depend on a slot the run never wrote";
        }
    }
}

}  // namespace
