// Layout of the consensus fits' scratch: n int32 permutation entries, then four float runs of n
// entries (reference x, reference y, current x, current y) for the sample or the inlier set.
#pragma once

#include <cstdint>

struct RansacScratch {
    int32_t *permutation;
    float *refX, *refY, *curX, *curY;
};

inline RansacScratch CarveRansacScratch(void *scratch, int32_t n) {
    int32_t *words = static_cast<int32_t *>(scratch);
    float *runs = reinterpret_cast<float *>(words + n);
    return {words, runs, runs + n, runs + 2 * n, runs + 3 * n};
}

inline void ResetPermutation(int32_t *permutation, int32_t n) {
    for (int32_t k = 0; k < n; ++k) permutation[k] = k;
}
