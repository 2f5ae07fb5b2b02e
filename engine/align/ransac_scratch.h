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

// Bytes of scratch for n matches (one entry's worth when n <= 0).
inline uint64_t RansacScratchBytes(int32_t n) {
    return (n > 0 ? static_cast<uint64_t>(n) : 1) * 20;
}

// How many of the n matches the hypothesis's inlier test accepts.
template <class IsInlier>
int32_t CountMatches(const float *refX, const float *refY, const float *curX, const float *curY,
                     int32_t n, IsInlier isInlier) {
    int32_t count = 0;
    for (int32_t k = 0; k < n; ++k)
        if (isInlier(refX[k], refY[k], curX[k], curY[k])) ++count;
    return count;
}

// Copies the matches the inlier test accepts, in order, into the scratch's four runs; returns
// how many.
template <class IsInlier>
int32_t CollectMatches(const float *refX, const float *refY, const float *curX, const float *curY,
                       int32_t n, const RansacScratch &s, IsInlier isInlier) {
    int32_t count = 0;
    for (int32_t k = 0; k < n; ++k) {
        if (!isInlier(refX[k], refY[k], curX[k], curY[k])) continue;
        s.refX[count] = refX[k];
        s.refY[count] = refY[k];
        s.curX[count] = curX[k];
        s.curY[count] = curY[k];
        ++count;
    }
    return count;
}
