// Span kernels of the planar and semi-planar formats by layout and span type: the plain
// references (the group steps of the packed kernels, gathered and scattered group by group),
// SSE2-tier versions (local-curve mode: the packed kernels' folded group steps, rows looked up
// directly, plain C++ the compiler vectorises with the baseline instructions) and AVX2
// versions that fuse two groups per step in vector lanes; all give the same bytes and
// carried weights. Arguments as the kernels of span_planar.h; r only decides, for 4:2:0 in
// local-curve mode, whether chroma is written. The public kernels of span_planar.h choose
// between them.
#pragma once

#include <cstdint>

#include "fusion/planar_layout.h"
#include "fusion/span_common.h"

// The span types; the one-secondary kernels carry {secondary, reference} in weights, the
// three-exposure kernel {dark, bright, reference}, and the reference-only kernel none.
enum PlanarSpanType { kPlanarSpanBoth, kPlanarSpanDark, kPlanarSpanBright, kPlanarSpanReference };

// The layouts these kernels take: kPlanar420, kSemiPlanar420 and kSemiPlanar422.
void FuseSpanLocalCurvePlanar_C(ChromaLayout layout, PlanarSpanType type, int32_t x0, int32_t x1,
                                int32_t r, const PlanarRowIn &ref, const uint8_t *warp,
                                const SpanTables &tables, const SpanRows &rows,
                                RunningWeights *weights, const PlanarRowOut &out);

void FuseSpanLocalCurvePlanar_SSE2(ChromaLayout layout, PlanarSpanType type, int32_t x0,
                                   int32_t x1, int32_t r, const PlanarRowIn &ref,
                                   const uint8_t *warp, const SpanTables &tables,
                                   const SpanRows &rows, RunningWeights *weights,
                                   const PlanarRowOut &out);

// Normal mode: chromaTable2, where given, looks up the first chroma byte of each pair and, in
// the three-exposure and bright spans, pulls the bright exposure's chroma a quarter of the way
// towards 128; segmentBase is the bright span's segment of the fusion table.
void FuseSpanNormalPlanar_C(ChromaLayout layout, PlanarSpanType type, int32_t x0, int32_t x1,
                            const PlanarRowIn &ref, const uint8_t *warp,
                            const SpanTables &tables, const uint8_t *chromaTable2,
                            const SpanRows &rows, int32_t segmentBase, RunningWeights *weights,
                            const PlanarRowOut &out);

// Only called when the processor has AVX2; builds for other processors forward to the plain
// kernels.
void FuseSpanLocalCurvePlanar_AVX2(ChromaLayout layout, PlanarSpanType type, int32_t x0,
                                   int32_t x1, int32_t r, const PlanarRowIn &ref,
                                   const uint8_t *warp, const SpanTables &tables,
                                   const SpanRows &rows, RunningWeights *weights,
                                   const PlanarRowOut &out);
void FuseSpanNormalPlanar_AVX2(ChromaLayout layout, PlanarSpanType type, int32_t x0, int32_t x1,
                               const PlanarRowIn &ref, const uint8_t *warp,
                               const SpanTables &tables, const uint8_t *chromaTable2,
                               const SpanRows &rows, int32_t segmentBase,
                               RunningWeights *weights, const PlanarRowOut &out);
