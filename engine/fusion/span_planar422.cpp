#include "span_planar422.h"

#include <algorithm>

#include "fusion/span_normal_packed422.h"

using namespace fusion_detail;

namespace {

constexpr int32_t kNeutral64 = 128 * 64;

// The reference group k groups after x0 in packed order (Y0 U0 Y1 V0 Y2 U1 Y3 V1) for the
// packed group steps: pair 0 at chroma byte offset / 2, pair 1 after it.
void GatherGroup(const PlanarRowIn &ref, int32_t offset, uint8_t group[8]) {
    for (int i = 0; i < 4; ++i) group[2 * i] = ref.y[offset + i];
    const int32_t c = offset >> 1;
    group[1] = ref.u[c];
    group[3] = ref.v[c];
    group[5] = ref.u[c + 1];
    group[7] = ref.v[c + 1];
}

void ToneLuma(const FusedGroup &g, const uint16_t *gainAtGroup, const uint8_t *tone, uint8_t *y) {
    for (int i = 0; i < 4; ++i) {
        const int64_t q = (int64_t{g.light[i]} * gainAtGroup[i]) >> 12;
        y[i] = tone[std::clamp<int64_t>(q, 0, 4095)];
    }
}

// Chroma samples k = U0, V0, U1, V1 go to U or V byte (offset >> 1) + (k >> 1).
void StoreChroma(const uint8_t c[4], const PlanarRowOut &out, int32_t offset) {
    const int32_t at = offset >> 1;
    out.u[at] = c[0];
    out.v[at] = c[1];
    out.u[at + 1] = c[2];
    out.v[at + 1] = c[3];
}

// Weighted chroma on the 64x scale: the sum of the plain kernels shifted by 9 instead of 11.
int32_t Chroma64(int32_t wa, int32_t ca, int32_t wb, int32_t cb, int32_t wc, int32_t cc) {
    return (wa * ca + wb * cb + wc * cc) >> 9;
}

// The reference's chroma after the masked highlight recovery, as the plain kernels blend it.
void RecoveredReferenceChroma(int32_t x, const uint8_t *group, const SpanTables &tables,
                              const SpanRows &rows, int32_t chroma[4]) {
    const FusedGroup g = BlendGroupRefOnlyPacked422(x, group, tables, rows);
    for (int c = 0; c < 4; ++c) chroma[c] = g.chroma[c] >> 4;  // exact: 16 x the sample
}

// The chroma weight of a weighted kernel: pair 0 takes pixel 1's ramped weight, pair 1 the
// group's own (as the plain kernels do).
int32_t PairWeight(int32_t previous, int32_t next, int c) {
    return c < 2 ? Ramp(previous, next, 1) : next;
}

enum class Tail { kPlain, kChromaGain };

// One span: per group, the reference gathered, blend(x, group, quad, c64) (c64 is filled with
// the 64x chroma only for the chroma-gain tail) and the tail: luma through gain and tone
// table, then chroma.
template <Tail T, class Blend>
void FuseSpan(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
              const SpanTables &tables, const SpanRows &rows, const PlanarRowOut &out,
              Blend blend) {
    for (int32_t x = x0; x < x1; x += 4) {
        const int32_t offset = x - x0;
        uint8_t group[8];
        GatherGroup(ref, offset, group);
        const uint8_t *quad = warp ? warp + 4 * static_cast<int64_t>(offset) : nullptr;
        int32_t c64[4];
        const FusedGroup g = blend(x, group, quad, T == Tail::kChromaGain ? c64 : nullptr);
        ToneLuma(g, rows.gain + x, tables.tone, out.y + offset);
        uint8_t c[4];
        for (int k = 0; k < 4; ++k) {
            if constexpr (T == Tail::kPlain) {
                c[k] = tables.chroma[std::clamp(g.chroma[k], 0, 4095)];
            } else {
                const int32_t yo = out.y[offset + 2 * (k >> 1)];
                c[k] = tables.chroma[ChromaGainIndex(c64[k], yo, (k & 1) == 0)];
            }
        }
        StoreChroma(c, out, offset);
    }
}

template <Tail T>
void Both(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
          const SpanTables &tables, const SpanRows &rows, RunningWeights *weights,
          const PlanarRowOut &out) {
    FuseSpan<T>(x0, x1, ref, warp, tables, rows, out,
                [&](int32_t x, const uint8_t *group, const uint8_t *quad, int32_t *c64) {
                    const RunningWeights before = *weights;
                    const uint8_t *bright = quad + kWarpedQuadBytes;
                    const FusedGroup g =
                        BlendGroupBothPacked422(x, group, quad, bright, tables, rows, weights);
                    if (c64) {
                        int32_t refChroma[4];
                        RecoveredReferenceChroma(x, group, tables, rows, refChroma);
                        for (int c = 0; c < 4; ++c) {
                            const int32_t d = PairWeight(before.w[0], weights->w[0], c);
                            const int32_t b = PairWeight(before.w[1], weights->w[1], c);
                            c64[c] = Chroma64(d, Chroma(quad, c), b, Chroma(bright, c),
                                              kFusionWeightOne - d - b, refChroma[c]);
                        }
                    }
                    return g;
                });
}

template <Tail T>
void Dark(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
          const SpanTables &tables, const SpanRows &rows, RunningWeights *weights,
          const PlanarRowOut &out) {
    FuseSpan<T>(x0, x1, ref, warp, tables, rows, out,
                [&](int32_t x, const uint8_t *group, const uint8_t *quad, int32_t *c64) {
                    const int32_t previous = weights->w[0];
                    const FusedGroup g =
                        BlendGroupDarkPacked422(x, group, quad, tables, rows, weights);
                    if (c64) {
                        int32_t refChroma[4];
                        RecoveredReferenceChroma(x, group, tables, rows, refChroma);
                        for (int c = 0; c < 4; ++c) {
                            const int32_t w = PairWeight(previous, weights->w[0], c);
                            c64[c] = Chroma64(w, Chroma(quad, c), kFusionWeightOne - w,
                                              refChroma[c], 0, 0);
                        }
                    }
                    return g;
                });
}

template <Tail T>
void Bright(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
            const SpanTables &tables, const SpanRows &rows, int32_t segmentBase,
            RunningWeights *weights, const PlanarRowOut &out) {
    FuseSpan<T>(x0, x1, ref, warp, tables, rows, out,
                [&](int32_t x, const uint8_t *group, const uint8_t *quad, int32_t *c64) {
                    const int32_t previous = weights->w[0];
                    const FusedGroup g = BlendGroupBrightPacked422(x, group, quad, tables, rows,
                                                                   segmentBase, weights);
                    if (c64)
                        for (int c = 0; c < 4; ++c) {
                            const int32_t w = PairWeight(previous, weights->w[0], c);
                            c64[c] = Chroma64(w, Chroma(quad, c), kFusionWeightOne - w,
                                              Chroma(group, c), 0, 0);
                        }
                    return g;
                });
}

template <Tail T>
void RefOnly(int32_t x0, int32_t x1, const PlanarRowIn &ref, const SpanTables &tables,
             const SpanRows &rows, const PlanarRowOut &out) {
    FuseSpan<T>(x0, x1, ref, nullptr, tables, rows, out,
                [&](int32_t x, const uint8_t *group, const uint8_t *, int32_t *c64) {
                    const FusedGroup g = BlendGroupRefOnlyPacked422(x, group, tables, rows);
                    if (c64)
                        for (int c = 0; c < 4; ++c) c64[c] = 4 * g.chroma[c];  // 64 x sample
                    return g;
                });
}

}  // namespace

int32_t ChromaGainIndex(int32_t c64, int32_t outputLuma, bool u) {
    const int32_t n = ((98304 - 128 * outputLuma) >> 4) - 2048;
    const int32_t factor = ((n * (u ? 600 : 400)) >> 10) + 2048;
    const int64_t d = int64_t{c64} - kNeutral64;
    const int64_t v = std::clamp<int64_t>(((d * factor) >> 10) + kNeutral64, 0, 16383);
    return static_cast<int32_t>(v >> 2);
}

void FuseSpanBothPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
                           const SpanTables &tables, const SpanRows &rows,
                           RunningWeights *weights, const PlanarRowOut &out) {
    Both<Tail::kPlain>(x0, x1, ref, warp, tables, rows, weights, out);
}
void FuseSpanDarkPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
                           const SpanTables &tables, const SpanRows &rows,
                           RunningWeights *weights, const PlanarRowOut &out) {
    Dark<Tail::kPlain>(x0, x1, ref, warp, tables, rows, weights, out);
}
void FuseSpanBrightPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
                             const SpanTables &tables, const SpanRows &rows, int32_t segmentBase,
                             RunningWeights *weights, const PlanarRowOut &out) {
    Bright<Tail::kPlain>(x0, x1, ref, warp, tables, rows, segmentBase, weights, out);
}
void FuseSpanRefOnlyPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                              const SpanTables &tables, const SpanRows &rows,
                              const PlanarRowOut &out) {
    RefOnly<Tail::kPlain>(x0, x1, ref, tables, rows, out);
}

void FuseSpanBothChromaGainPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                     const uint8_t *warp, const SpanTables &tables,
                                     const SpanRows &rows, RunningWeights *weights,
                                     const PlanarRowOut &out) {
    Both<Tail::kChromaGain>(x0, x1, ref, warp, tables, rows, weights, out);
}
void FuseSpanDarkChromaGainPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                     const uint8_t *warp, const SpanTables &tables,
                                     const SpanRows &rows, RunningWeights *weights,
                                     const PlanarRowOut &out) {
    Dark<Tail::kChromaGain>(x0, x1, ref, warp, tables, rows, weights, out);
}
void FuseSpanBrightChromaGainPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                       const uint8_t *warp, const SpanTables &tables,
                                       const SpanRows &rows, int32_t segmentBase,
                                       RunningWeights *weights, const PlanarRowOut &out) {
    Bright<Tail::kChromaGain>(x0, x1, ref, warp, tables, rows, segmentBase, weights, out);
}
void FuseSpanRefOnlyChromaGainPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                        const SpanTables &tables, const SpanRows &rows,
                                        const PlanarRowOut &out) {
    RefOnly<Tail::kChromaGain>(x0, x1, ref, tables, rows, out);
}
