// Output images and helpers for the tests of the merge into the 16-bit intermediate: the
// descriptors of both layouts and the intermediate's rows read back through the session's
// record.
#pragma once

#include <cstdint>
#include <vector>

#include "alt/intermediate_image.h"
#include "core/session.h"
#include "intermediate_bracket_support.h"

namespace alt_merge {

// The output descriptors of one layout for inputs like `input`: parity-split two images of
// the input's format, size and pitches; full one image of twice the pitches.
struct IntermediateOutputs {
    IntermediateOutputs(const ImageDesc &input, int32_t layout) {
        const bool split = layout == INTERMEDIATE_LAYOUT_PARITY_SPLIT;
        for (int d = 0; d < (split ? 2 : 1); ++d) {
            ImageDesc &o = descs[d];
            o = input;
            for (int p = 0; p < 3; ++p) {
                o.ppu8Plane[p] = nullptr;
                if (!input.ppu8Plane[p]) continue;
                o.pi32Pitch[p] = input.pi32Pitch[p] * (split ? 1 : 2);
                // 0x55 marks every byte the merge never writes.
                planes[d][p].assign(size_t(o.pi32Pitch[p]) * input.i32Height, 0x55);
                o.ppu8Plane[p] = planes[d][p].data();
            }
        }
    }
    std::vector<uint8_t> planes[2][3];
    ImageDesc descs[3] = {};
};

// Samples [first, end) of the intermediate's luma (packed) row r.
inline std::vector<int16_t> Row(const HdrSession *s, int32_t r, int32_t first, int32_t end) {
    const int16_t *row = IntermediateLumaRow(s, r);
    if (!row) return {};
    return std::vector<int16_t>(row + first, row + end);
}

// Every written sample of the packed intermediate, row after row.
inline std::vector<int16_t> AllSamples(const HdrSession *s) {
    std::vector<int16_t> all;
    const RegionRect &rect = s->processRect;
    for (int32_t r = 0; r < rect.height; ++r) {
        const std::vector<int16_t> row = Row(s, r, 2 * int32_t(rect.x), 2 * int32_t(rect.x + rect.width));
        all.insert(all.end(), row.begin(), row.end());
    }
    return all;
}

}  // namespace alt_merge
