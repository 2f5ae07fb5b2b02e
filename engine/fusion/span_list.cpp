#include "span_list.h"

#include <algorithm>

int32_t MergeRunLists(const int32_t *dark, int32_t darkCount, const int32_t *bright,
                      int32_t brightCount, int32_t x0, int32_t x1, int32_t *bounds,
                      int32_t *types) {
    int32_t n = 0;
    bounds[n] = x0;
    types[n++] = SPAN_REFERENCE_ONLY;
    int32_t i = 1, j = 1;
    const int32_t lastD = darkCount - 1, lastB = brightCount - 1;
    while (i < lastD || j < lastB) {
        // A dark switch goes first while it is not after the next bright switch.
        while (i < lastD && (j >= lastB || dark[i] <= bright[j])) {
            bounds[n] = dark[i];
            types[n++] = (i & 1 ? SPAN_DARK : 0) | ((j & 1) == 0 ? SPAN_BRIGHT : 0);
            ++i;
        }
        if (j < lastB) {
            bounds[n] = bright[j];
            types[n++] = ((i & 1) == 0 ? SPAN_DARK : 0) | (j & 1 ? SPAN_BRIGHT : 0);
            ++j;
        }
    }
    bounds[n] = x1;
    return n;
}

void ReLayRunningWeights(RunningWeights *weights, int32_t from, int32_t to) {
    int32_t *w = weights->w;
    // To the order dark, bright, reference.
    switch (from) {
        case SPAN_BRIGHT: *weights = {{0, w[0], w[1]}}; break;
        case SPAN_DARK: *weights = {{w[0], 0, w[1]}}; break;
        case SPAN_REFERENCE_ONLY: *weights = {{0, 0, kFusionWeightOne}}; break;
        default: break;
    }
    switch (to) {
        case SPAN_BRIGHT: *weights = {{w[1], w[2], w[2]}}; break;
        case SPAN_DARK: *weights = {{w[0], w[2], w[2]}}; break;
        case SPAN_REFERENCE_ONLY: *weights = {{0, 0, kFusionWeightOne}}; break;
        default: break;
    }
}

int32_t TileEnd(int32_t a, int32_t e) {
    const int32_t c = (a + 128) & ~127;
    const int32_t end = (c & 128) ? c : c + 128;
    return std::min(e, end);
}

MeshDisplacement InterpolateMesh(const int32_t *offsets, const int32_t *slopes, int32_t meshCols,
                                 int32_t meshRows, int32_t meshRow, int32_t meshFrac, int32_t a) {
    if (!offsets || !slopes || meshCols <= 0 || meshRows <= 0) return {0, 0};
    const int32_t column = std::clamp((a + 128) >> 8, 0, meshCols - 1);
    const int32_t upper = std::clamp(meshRow, 0, meshRows - 1);
    const int32_t lower = std::min(upper + 1, meshRows - 1);
    const int64_t i = int64_t{upper} * meshCols + column;
    const int64_t k = int64_t{lower} * meshCols + column;
    const int64_t h = (a + 128) & 255, f = meshFrac;
    const int64_t top = offsets[i] + h * slopes[i];
    const int64_t bottom = offsets[k] + h * slopes[k];
    // The displacement is carried in 32 bits; it wraps as that arithmetic would.
    const int64_t disp = 256 * top + f * (bottom - top);
    const int64_t step = 4 * (256 * int64_t{slopes[i]} + f * (int64_t{slopes[k]} - slopes[i]));
    return {static_cast<int32_t>(static_cast<uint32_t>(disp)),
            static_cast<int32_t>(static_cast<uint32_t>(step))};
}
