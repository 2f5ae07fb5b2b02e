#include "align/ransac_sampler.h"

#include <algorithm>
#include <cmath>

// Generated from the formulas in ransac_sampler.h (tests/align recomputes them).
const int32_t kRansacIterations5[kRansacIterations5Size] = {
    4713, 4268, 3873, 3521, 3207, 2925, 2673, 2446, 2242, 2058,
    1892, 1742, 1606, 1482, 1370, 1267, 1174, 1089, 1011, 939,
    874, 814, 759, 708, 661, 618, 578, 542, 508, 476,
    447, 420, 395, 371, 350, 329, 310, 293, 276, 261,
    247, 233, 221, 209, 198, 188, 178, 169, 160, 152,
    145, 137, 131, 124, 118, 113, 107, 102, 97, 93,
    89, 85, 81, 77, 74, 70, 67, 64, 62, 59,
    56, 54, 52, 50, 47, 45, 44, 42, 40, 38,
    37, 35, 34, 33, 31, 30, 29, 28, 27, 26,
    25, 24, 23, 22, 21, 20, 19, 19, 18, 17,
    16, 16, 15, 15, 14, 14, 13, 13, 12, 12,
    11, 11, 10, 10, 9, 9, 9, 8, 8, 8,
    7, 7, 7, 6, 6, 6, 6, 5, 5, 5,
    5, 4, 4, 4, 4, 4, 3, 3, 3, 3,
    3, 2, 2, 2, 2, 2, 1, 1, 1, 1,
    0, 0,
};

const int32_t kRansacIterations4[kRansacIterations4Size] = {
    4907, 4384, 3929, 3531, 3182, 2875, 2605, 2365, 2152, 1963,
    1794, 1643, 1507, 1385, 1275, 1176, 1086, 1005, 931, 864,
    802, 746, 695, 648, 605, 566, 529, 496, 465, 436,
    410, 386, 363, 342, 322, 304, 287, 271, 257, 243,
    230, 218, 207, 196, 186, 177, 168, 160, 152, 145,
    138, 132, 126, 120, 115, 109, 105, 100, 96, 92,
    88, 84, 80, 77, 74, 71, 68, 65, 63, 60,
    58, 56, 53, 51, 49, 47, 46, 44, 42, 41,
    39, 38, 36, 35, 34, 33, 32, 30, 29, 28,
    27, 26, 25, 25, 24, 23, 22, 21, 21, 20,
    19, 19, 18, 17, 17, 16, 16, 15, 15, 14,
    14, 13, 13, 12, 12, 12, 11, 11, 10, 10,
    10, 9, 9, 9, 9, 8, 8, 8, 7, 7,
    7, 7, 6, 6, 6, 6, 6, 5, 5, 5,
    5, 5, 4, 4, 4, 4, 4, 3, 3, 3,
    3, 3, 3, 3, 2, 2, 2, 2, 2, 2,
    1, 1, 1, 1, 1, 0, 0, 0,
};

uint32_t AdvanceRansacState(uint64_t *state) {
    const int64_t low = static_cast<int32_t>(static_cast<uint32_t>(*state));
    const uint64_t high = *state >> 32;
    // Unsigned arithmetic wraps modulo 2^64 as the generator requires.
    *state = static_cast<uint64_t>(low) * 4164903690ull + high;
    return static_cast<uint32_t>(*state);
}

int32_t MinimumSampleSpacing(int32_t width, int32_t height) {
    const int32_t side = std::min(width, height);
    return side >= 80 ? side / 16 : 4;
}

int32_t RansacIterationLimit5(int32_t count, int32_t n) {
    int32_t idx = static_cast<int32_t>(static_cast<double>(count) / n * 200.0 + 0.5) - 50;
    if (idx < 0) idx = 0;
    return idx >= 19 && idx <= 150 ? kRansacIterations5[idx] : kRansacMaxIterations;
}

int32_t RansacIterationLimit4(int32_t count, int32_t n) {
    int32_t idx = static_cast<int32_t>(200.0 * (static_cast<double>(count) / n) + 0.5) - 35;
    if (idx < 0) idx = 0;
    return idx >= 18 && idx <= 165 ? kRansacIterations4[idx] : kRansacMaxIterations;
}

bool NearlyCollinear(float cx, float cy, float px, float py, float qx, float qy) {
    const double ux = cx - px, uy = cy - py;
    const double vx = qx - px, vy = qy - py;
    return std::fabs(uy * vx - vy * ux) < std::fabs(vx * ux + vy * uy) * kCollinearityTolerance;
}

namespace {

struct SampleView {
    float *refX, *refY, *curX, *curY;
    int32_t count;
};

bool TooClose(const SampleView &s, float rx, float ry, float cx, float cy, int32_t minSpacing) {
    for (int32_t k = 0; k < s.count; ++k) {
        const float refDistance = std::fabs(rx - s.refX[k]) + std::fabs(ry - s.refY[k]);
        const float curDistance = std::fabs(cx - s.curX[k]) + std::fabs(cy - s.curY[k]);
        if (static_cast<double>(refDistance) <= minSpacing ||
            static_cast<double>(curDistance) <= minSpacing)
            return true;
    }
    return false;
}

bool CollinearWithPair(const float *xs, const float *ys, int32_t count, float x, float y) {
    for (int32_t p = 0; p < count; ++p)
        for (int32_t q = p + 1; q < count; ++q)
            if (NearlyCollinear(x, y, xs[p], ys[p], xs[q], ys[q])) return true;
    return false;
}

}  // namespace

int32_t DrawRansacSample(int32_t *permutation, const float *refX, const float *refY,
                         const float *curX, const float *curY, int32_t n, float *sampleRefX,
                         float *sampleRefY, float *sampleCurX, float *sampleCurY, int32_t wanted,
                         uint64_t *state, int32_t minSpacing) {
    if (n <= 0) return 0;
    const int32_t limit = std::min(wanted, n);
    SampleView sample = {sampleRefX, sampleRefY, sampleCurX, sampleCurY, 0};
    for (int32_t j = 0; j < n && sample.count < limit; ++j) {
        const uint32_t random = AdvanceRansacState(state);
        const int32_t pick = j + static_cast<int32_t>(random % static_cast<uint32_t>(n - j));
        std::swap(permutation[j], permutation[pick]);
        const int32_t c = permutation[j];
        if (TooClose(sample, refX[c], refY[c], curX[c], curY[c], minSpacing)) continue;
        if (sample.count >= 2 &&
            (CollinearWithPair(sample.refX, sample.refY, sample.count, refX[c], refY[c]) ||
             CollinearWithPair(sample.curX, sample.curY, sample.count, curX[c], curY[c])))
            continue;
        sample.refX[sample.count] = refX[c];
        sample.refY[sample.count] = refY[c];
        sample.curX[sample.count] = curX[c];
        sample.curY[sample.count] = curY[c];
        ++sample.count;
    }
    return sample.count;
}
