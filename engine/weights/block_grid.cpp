#include "block_grid.h"

#include "core/memory.h"

WeightBlockGrid BlockGridForFrame(int32_t width, int32_t height) {
    WeightBlockGrid g{};
    g.blocksAcross = (width + 31) / 32;
    g.blocksDown = (height + 31) / 32;
    g.paddedAcross = g.blocksAcross + 2;
    g.paddedDown = g.blocksDown + 2;
    g.cells = static_cast<int64_t>(g.paddedAcross) * g.paddedDown;
    return g;
}

int64_t WeightBlockBytes(int64_t cells) { return 10 * cells; }

int ReplaceWeightBlock(MemoryContext memory, HdrSession *s) {
    const int64_t n = static_cast<int64_t>(s->paddedBlocksAcross) * s->paddedBlocksDown;
    if (n <= 0) return RESULT_INVALID_ARGUMENT;
    auto *block = AllocateZeroed<uint8_t>(memory, static_cast<uint64_t>(WeightBlockBytes(n)));
    if (!block) return RESULT_OUT_OF_MEMORY;
    FreeAndClear(memory, s->blockWeights[kWeightReference]);
    auto *grids = reinterpret_cast<int16_t *>(block);
    s->blockWeights[kWeightReference] = grids;
    s->blockWeights[kWeightDark] = grids + n;
    s->blockWeights[kWeightBright] = grids + 2 * n;
    uint8_t *masks = block + 6 * n;
    s->ghostMasks[kGhostDark] = masks;
    s->ghostMasks[kGhostReference] = masks + n;
    s->ghostMasks[kGhostBrightReplaced] = masks + 2 * n;
    s->ghostMasks[kGhostBright] = masks + 3 * n;
    return RESULT_OK;
}

void SetSingleExposureWeights(int16_t *grid0, int16_t *grid1, int16_t *grid2, int32_t width,
                              int32_t height, int32_t which) {
    const int64_t n = static_cast<int64_t>(width) * height;
    int16_t *grids[3] = {grid0, grid1, grid2};
    const int full = which == 0 ? 0 : (which == 1 ? 1 : 2);
    for (int g = 0; g < 3; ++g)
        for (int64_t i = 0; i < n; ++i) grids[g][i] = static_cast<int16_t>(g == full ? 256 : 0);
}

namespace {

struct NeighbourWeights {
    int32_t maxDark = 0, maxBright = 0, sumDark = 0, sumBright = 0;
};

// Left, up, right, down; neighbours outside the grid are skipped.
NeighbourWeights GatherNeighbours(const int16_t *dark, const int16_t *bright, int32_t width,
                                  int32_t height, int32_t x, int32_t y) {
    static constexpr int kDx[4] = {-1, 0, 1, 0};
    static constexpr int kDy[4] = {0, -1, 0, 1};
    NeighbourWeights w;
    bool first = true;
    for (int k = 0; k < 4; ++k) {
        const int32_t nx = x + kDx[k], ny = y + kDy[k];
        if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
        const int64_t i = static_cast<int64_t>(ny) * width + nx;
        const int32_t d = dark[i], b = bright ? bright[i] : 0;
        if (first || d > w.maxDark) w.maxDark = d;
        if (first || b > w.maxBright) w.maxBright = b;
        first = false;
        w.sumDark += d;
        w.sumBright += b;
    }
    return w;
}

int16_t AtLeastOne(int32_t v) { return static_cast<int16_t>(v < 2 ? 1 : v); }

}  // namespace

void FillWeightGridHoles(int16_t *reference, int16_t *dark, int16_t *bright, int32_t width,
                         int32_t height) {
    if (!reference || !dark || width <= 0 || height <= 0) return;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const int64_t i = static_cast<int64_t>(y) * width + x;
            if (dark[i] < 0) dark[i] = 0;
            if (bright) {
                if (bright[i] < 0) bright[i] = 0;
                const bool hole = reference[i] <= 0 && dark[i] == 0 && bright[i] == 0;
                if (reference[i] < 0) reference[i] = 0;
                if (hole) {
                    const NeighbourWeights n = GatherNeighbours(dark, bright, width, height, x, y);
                    if (n.sumDark < n.sumBright) bright[i] = AtLeastOne(n.maxBright);
                    else dark[i] = AtLeastOne(n.maxDark);
                    reference[i] = 256;
                }
                if (y > 4 && y < height - 4 && x > 4 && x < width - 4 && dark[i] + bright[i] < 256)
                    reference[i] = static_cast<int16_t>(256 - dark[i] - bright[i]);
            } else if (reference[i] == 0 && dark[i] == 0) {
                // Two grids: each takes the strongest of its own neighbours.
                const NeighbourWeights d = GatherNeighbours(dark, nullptr, width, height, x, y);
                const NeighbourWeights r = GatherNeighbours(reference, nullptr, width, height, x, y);
                dark[i] = AtLeastOne(d.maxDark);
                reference[i] = AtLeastOne(r.maxDark);
            }
        }
    }
    // The bottom rows repeat the last row far enough from the frame.
    if (height < 5) return;
    int16_t *grids[3] = {reference, dark, bright};
    for (int16_t *grid : grids) {
        if (!grid) continue;
        const int16_t *source = grid + static_cast<int64_t>(height - 5) * width;
        for (int32_t y = height - 4; y < height; ++y)
            CopyBytes(grid + static_cast<int64_t>(y) * width, source, sizeof(int16_t) * width);
    }
}
