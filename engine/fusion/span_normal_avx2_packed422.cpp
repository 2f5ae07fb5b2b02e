#include "span_normal_avx2_packed422.h"

#include <algorithm>

#include "core/kernel_instructions.h"
#include "fusion/span_local_curve_avx2_steps.h"
#include "fusion/span_normal_avx2_steps.h"

#if defined(TONEFOLD_HAVE_AVX2_KERNELS)

namespace {

using namespace normal_avx2;

[[gnu::target("avx2")]] inline __m128i ReferencePair(const uint8_t *ref) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(ref));
}

template <bool Dark>
[[gnu::target("avx2")]] bool FuseOnePacked(const SpanTables &t, const SpanRows &r, int32_t x,
                                           const uint8_t *ref, const uint8_t *warp,
                                           int32_t segmentBase, __m256i ramp, __m256i e,
                                           __m128i shift, uint8_t *out) {
    PairIndices i;
    if (!FuseOnePair<Dark>(t, r, x, SplitPair(ReferencePair(ref)), SplitPair(QuadPair(warp)),
                           segmentBase, ramp, e, shift, &i))
        return false;
    WritePackedPair(t.tone, t.chroma, i, out);
    return true;
}

[[gnu::target("avx2")]] bool FuseTriplePacked(const SpanTables &t, const SpanRows &r, int32_t x,
                                              const uint8_t *ref, const uint8_t *warp,
                                              const __m256i ramps[3], __m256i e, __m128i shift,
                                              uint8_t *out) {
    PairIndices i;
    if (!FuseTriplePair(t, r, x, SplitPair(ReferencePair(ref)), SplitPair(QuadPair(warp)),
                        SplitPair(QuadPair(warp + kWarpedQuadBytes)), ramps, e, shift, &i))
        return false;
    WritePackedPair(t.tone, t.chroma, i, out);
    return true;
}

template <bool Dark>
[[gnu::target("avx2")]] void FuseOne(int32_t x0, int32_t x1, const uint8_t *ref,
                                     const uint8_t *warp, const SpanTables &t, const SpanRows &r,
                                     int32_t segmentBase, RunningWeights *weights, uint8_t *out) {
    if (x0 >= x1) return;
    const int32_t lightShift = t.valueShift + 13;
    // The bright segment's 32-bit reads end one entry past code 255.
    const bool inLanes = lightShift >= 0 && lightShift < 32 &&
                         (Dark || (segmentBase >= 0 && segmentBase + 257 <= kFusionTableEntries));
    const __m128i shift = _mm_cvtsi32_si128(inLanes ? lightShift : 0);
    const int16_t *weightRow = Dark ? r.weightDark : r.weightBright;
    int32_t carried = weights->w[0];
    int32_t x = x0;
    while (x < x1) {
        if (x + 8 <= x1 && inLanes) {
            const int32_t n0 = GroupWeight(t, weightRow, r, x, ref[6], warp);
            const int32_t n1 = GroupWeight(t, weightRow, r, x + 4, ref[14], warp + kWarpGroupStride);
            const int16_t e0 = Dark ? r.mask[x] : 256, e1 = Dark ? r.mask[x + 4] : 256;
            if (InLaneRange(carried) && InLaneRange(n0) && InLaneRange(n1) && MaskInLanes(e0) &&
                MaskInLanes(e1) &&
                FuseOnePacked<Dark>(t, r, x, ref, warp, segmentBase, Ramp(carried, n0, n1),
                                    GroupValues(e0, e1), shift, out)) {
                carried = n1;
                x += 8, ref += 16, warp += 2 * kWarpGroupStride, out += 16;
                continue;
            }
        }
        // A last lone group, or values beyond what the lanes hold: the plain kernel.
        RunningWeights one = {{carried, kFusionWeightOne - carried, weights->w[2]}};
        if (Dark)
            FuseSpanDarkPacked422_C(x, x + 4, ref, warp, t, r, &one, out);
        else
            FuseSpanBrightPacked422_C(x, x + 4, ref, warp, t, r, segmentBase, &one, out);
        carried = one.w[0];
        x += 4, ref += 8, warp += kWarpGroupStride, out += 8;
    }
    weights->w[0] = carried;
    weights->w[1] = kFusionWeightOne - carried;
}

}  // namespace

[[gnu::target("avx2")]] void FuseSpanBothPacked422_AVX2(int32_t x0, int32_t x1,
                                                        const uint8_t *reference,
                                                        const uint8_t *warp,
                                                        const SpanTables &tables,
                                                        const SpanRows &rows,
                                                        RunningWeights *weights, uint8_t *out) {
    if (x0 >= x1) return;
    const int32_t lightShift = tables.valueShift + 13;
    const bool shiftInLanes = lightShift >= 0 && lightShift < 32;
    const __m128i shift = _mm_cvtsi32_si128(shiftInLanes ? lightShift : 0);
    int32_t carried[2] = {weights->w[0], weights->w[1]};
    int32_t x = x0;
    while (x < x1) {
        if (x + 8 <= x1 && shiftInLanes) {
            int32_t n0[2], n1[2];
            TripleWeights(tables, rows, x, reference[6], warp, n0);
            TripleWeights(tables, rows, x + 4, reference[14], warp + kWarpGroupStride, n1);
            const int16_t e0 = rows.mask[x], e1 = rows.mask[x + 4];
            __m256i ramps[3];
            if (MaskInLanes(e0) && MaskInLanes(e1) && TripleRamps(carried, n0, n1, ramps) &&
                FuseTriplePacked(tables, rows, x, reference, warp, ramps, GroupValues(e0, e1),
                                 shift, out)) {
                carried[0] = n1[0], carried[1] = n1[1];
                x += 8, reference += 16, warp += 2 * kWarpGroupStride, out += 16;
                continue;
            }
        }
        RunningWeights one = {{carried[0], carried[1], kFusionWeightOne - carried[0] - carried[1]}};
        FuseSpanBothPacked422_C(x, x + 4, reference, warp, tables, rows, &one, out);
        carried[0] = one.w[0], carried[1] = one.w[1];
        x += 4, reference += 8, warp += kWarpGroupStride, out += 8;
    }
    *weights = {{carried[0], carried[1], kFusionWeightOne - carried[0] - carried[1]}};
}

void FuseSpanDarkPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                const uint8_t *warp, const SpanTables &tables,
                                const SpanRows &rows, RunningWeights *weights, uint8_t *out) {
    FuseOne<true>(x0, x1, reference, warp, tables, rows, kFusionBrightSegment, weights, out);
}

void FuseSpanBrightPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                  const uint8_t *warp, const SpanTables &tables,
                                  const SpanRows &rows, int32_t segmentBase,
                                  RunningWeights *weights, uint8_t *out) {
    FuseOne<false>(x0, x1, reference, warp, tables, rows, segmentBase, weights, out);
}

[[gnu::target("avx2")]] void FuseSpanRefOnlyPacked422_AVX2(int32_t x0, int32_t x1,
                                                           const uint8_t *reference,
                                                           const SpanTables &tables,
                                                           const SpanRows &rows, uint8_t *out) {
    // The light moves onto the blend scale by a shift of 2 - valueShift either way; lanes take
    // shifts of 0..15 (light then stays under 2^20).
    const int32_t s = tables.valueShift;
    const bool inLanes = s >= 0 && s <= 17;
    const __m128i left = _mm_cvtsi32_si128(inLanes && s <= 2 ? 2 - s : 0);
    const __m128i right = _mm_cvtsi32_si128(inLanes && s > 2 ? s - 2 : 0);
    int32_t x = x0;
    while (x < x1) {
        const int16_t e0 = x + 8 <= x1 ? rows.mask[x] : 0, e1 = x + 8 <= x1 ? rows.mask[x + 4] : 0;
        if (x + 8 <= x1 && inLanes && MaskInLanes(e0) && MaskInLanes(e1)) {
            PairIndices i;
            if (ReferenceOnlyPair(tables, rows, x, SplitPair(ReferencePair(reference)),
                                  GroupValues(e0, e1), left, right, &i)) {
                WritePackedPair(tables.tone, tables.chroma, i, out);
                x += 8, reference += 16, out += 16;
                continue;
            }
        }
        FuseSpanRefOnlyPacked422_C(x, x + 4, reference, tables, rows, out);
        x += 4, reference += 8, out += 8;
    }
}

#else

void FuseSpanBothPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                const uint8_t *warp, const SpanTables &tables,
                                const SpanRows &rows, RunningWeights *weights, uint8_t *out) {
    FuseSpanBothPacked422_C(x0, x1, reference, warp, tables, rows, weights, out);
}
void FuseSpanDarkPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                const uint8_t *warp, const SpanTables &tables,
                                const SpanRows &rows, RunningWeights *weights, uint8_t *out) {
    FuseSpanDarkPacked422_C(x0, x1, reference, warp, tables, rows, weights, out);
}
void FuseSpanBrightPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                  const uint8_t *warp, const SpanTables &tables,
                                  const SpanRows &rows, int32_t segmentBase,
                                  RunningWeights *weights, uint8_t *out) {
    FuseSpanBrightPacked422_C(x0, x1, reference, warp, tables, rows, segmentBase, weights, out);
}
void FuseSpanRefOnlyPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                   const SpanTables &tables, const SpanRows &rows, uint8_t *out) {
    FuseSpanRefOnlyPacked422_C(x0, x1, reference, tables, rows, out);
}

#endif
