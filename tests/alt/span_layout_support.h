// One span of the two-call merge in any layout: a scene given pixel by pixel (luma per pixel,
// U and V per pair) is laid out as the format lays its rows, one 16-bit kernel of the format
// runs over [x0, x1), and its output is read back per pixel and per pair. The input and
// output rows hold exactly the span, so a kernel stepping past its end is caught by the
// sanitizers.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "alt/span_intermediate_packed422.h"
#include "alt/span_intermediate_planar.h"
#include "alt/span_intermediate_planar_plain.h"
#include "core/hdr_engine.h"
#include "fusion/span_kernel_support.h"

namespace alt_test {

enum class Layout { kPacked, kPlanar420, kPlanar422, kSemiPlanar420, kSemiPlanar422 };

struct FormatCase {
    const char *name;
    int32_t format;
    Layout layout;
};

inline const FormatCase kFormats[] = {
    {"Yuyv", PIXEL_FORMAT_YUYV, Layout::kPacked},
    {"I420", PIXEL_FORMAT_I420, Layout::kPlanar420},
    {"Planar420Alias", 0x605, Layout::kPlanar420},
    {"Yuv422p", PIXEL_FORMAT_YUV422P, Layout::kPlanar422},
    {"Nv12", PIXEL_FORMAT_NV12, Layout::kSemiPlanar420},
    {"Nv21", PIXEL_FORMAT_NV21, Layout::kSemiPlanar420},
    {"Nv16", PIXEL_FORMAT_NV16, Layout::kSemiPlanar422},
};

// The kernels of a layout. The one-secondary plain kernels run with the dark (segment base 0)
// or the bright exposure (256) and that exposure's weight row.
enum class Kernel {
    kBoth,
    kDark,
    kBright,
    kRefOnly,
    kPlainBoth,
    kPlainDark,
    kPlainBright,
    kPlainRefOnly
};

inline bool IsPlain(Kernel k) { return k >= Kernel::kPlainBoth; }

// Columns [0, width) of one row; u[p], v[p] belong to pixels 2p and 2p + 1 (in semi-planar
// rows u is the first byte of the interleaved pair).
struct SpanScene {
    std::vector<uint8_t> y, u, v;
};

struct SpanOutput {
    std::vector<int16_t> y, u, v;  // per pixel and per pair of the span
};

// The warp buffer covers the row from x = 0 (16 bytes per group: dark quad, bright quad); the
// bright kernels read the bright quad, as the two-secondary row driver hands it in.
inline SpanOutput RunSpan(Layout layout, Kernel kernel, int32_t x0, int32_t x1,
                          const SpanScene &scene, const std::vector<uint8_t> &warpRow,
                          const SpanTables &tables, const SpanRows &rows,
                          RunningWeights *weights) {
    const int32_t n = x1 - x0, pairs = n / 2, p0 = x0 / 2;
    const uint8_t *warp = warpRow.data() + 4 * x0;
    if (kernel == Kernel::kBright || kernel == Kernel::kPlainBright) warp += kWarpedQuadBytes;
    SpanOutput result{std::vector<int16_t>(size_t(n)), std::vector<int16_t>(size_t(pairs)),
                      std::vector<int16_t>(size_t(pairs))};

    if (layout == Layout::kPacked) {
        std::vector<uint8_t> ref(size_t(2 * n));
        for (int32_t i = 0; i < n; ++i) ref[size_t(2 * i)] = scene.y[size_t(x0 + i)];
        for (int32_t p = 0; p < pairs; ++p) {
            ref[size_t(4 * p + 1)] = scene.u[size_t(p0 + p)];
            ref[size_t(4 * p + 3)] = scene.v[size_t(p0 + p)];
        }
        std::vector<int16_t> out(size_t(2 * n));
        const uint8_t *r = ref.data();
        int16_t *o = out.data();
        switch (kernel) {
            case Kernel::kBoth:
                FuseIntermediateSpanBothPacked422(x0, x1, r, warp, tables, rows, weights, o);
                break;
            case Kernel::kDark:
                FuseIntermediateSpanDarkPacked422(x0, x1, r, warp, tables, rows, weights, o);
                break;
            case Kernel::kBright:
                FuseIntermediateSpanBrightPacked422(x0, x1, r, warp, tables, rows,
                                                    kFusionBrightSegment, weights, o);
                break;
            case Kernel::kRefOnly:
                FuseIntermediateSpanRefOnlyPacked422(x0, x1, r, tables, rows, o);
                break;
            case Kernel::kPlainBoth:
                FuseIntermediateSpanPlainBothPacked422(x0, x1, r, warp, tables, rows, weights, o);
                break;
            case Kernel::kPlainDark:
                FuseIntermediateSpanPlainOneSecondaryPacked422(x0, x1, r, warp, tables, rows,
                                                               rows.weightDark, 0, weights, o);
                break;
            case Kernel::kPlainBright:
                FuseIntermediateSpanPlainOneSecondaryPacked422(
                    x0, x1, r, warp, tables, rows, rows.weightBright, kFusionBrightSegment,
                    weights, o);
                break;
            case Kernel::kPlainRefOnly:
                FuseIntermediateSpanPlainRefOnlyPacked422(x0, x1, r, tables, o);
                break;
        }
        for (int32_t i = 0; i < n; ++i) result.y[size_t(i)] = out[size_t(2 * i)];
        for (int32_t p = 0; p < pairs; ++p) {
            result.u[size_t(p)] = out[size_t(4 * p + 1)];
            result.v[size_t(p)] = out[size_t(4 * p + 3)];
        }
        return result;
    }

    const bool planes = layout == Layout::kPlanar420 || layout == Layout::kPlanar422;
    std::vector<uint8_t> y(scene.y.begin() + x0, scene.y.begin() + x1);
    std::vector<uint8_t> u(size_t(planes ? pairs : n)), v(size_t(planes ? pairs : 0));
    for (int32_t p = 0; p < pairs; ++p) {
        if (planes) {
            u[size_t(p)] = scene.u[size_t(p0 + p)];
            v[size_t(p)] = scene.v[size_t(p0 + p)];
        } else {
            u[size_t(2 * p)] = scene.u[size_t(p0 + p)];
            u[size_t(2 * p + 1)] = scene.v[size_t(p0 + p)];
        }
    }
    std::vector<int16_t> oy(static_cast<size_t>(n)), ou(u.size()), ov(v.size());
    const PlanarRowIn ref = {y.data(), u.data(), planes ? v.data() : nullptr};
    const IntermediateRowOut out = {oy.data(), ou.data(), planes ? ov.data() : nullptr};

    using Fused = void (*)(int32_t, int32_t, int32_t, const PlanarRowIn &, const uint8_t *,
                           const SpanTables &, const SpanRows &, RunningWeights *,
                           const IntermediateRowOut &);
    const Fused fused = layout == Layout::kPlanar420       ? FuseIntermediateSpanPlanar420
                        : layout == Layout::kPlanar422     ? FuseIntermediateSpanPlanar422
                        : layout == Layout::kSemiPlanar420 ? FuseIntermediateSpanSemiPlanar420
                                                           : FuseIntermediateSpanSemiPlanar422;
    const bool full = layout == Layout::kPlanar422 || layout == Layout::kSemiPlanar422;
    const auto plainBoth =
        planes ? (full ? FuseIntermediateSpanPlainBothPlanar422
                       : FuseIntermediateSpanPlainBothPlanar420)
               : (full ? FuseIntermediateSpanPlainBothSemiPlanar422
                       : FuseIntermediateSpanPlainBothSemiPlanar420);
    const auto plainOne =
        planes ? (full ? FuseIntermediateSpanPlainOneSecondaryPlanar422
                       : FuseIntermediateSpanPlainOneSecondaryPlanar420)
               : (full ? FuseIntermediateSpanPlainOneSecondarySemiPlanar422
                       : FuseIntermediateSpanPlainOneSecondarySemiPlanar420);
    const auto plainRef =
        planes ? (full ? FuseIntermediateSpanPlainRefOnlyPlanar422
                       : FuseIntermediateSpanPlainRefOnlyPlanar420)
               : (full ? FuseIntermediateSpanPlainRefOnlySemiPlanar422
                       : FuseIntermediateSpanPlainRefOnlySemiPlanar420);
    switch (kernel) {
        case Kernel::kBoth: fused(SPAN_BOTH, x0, x1, ref, warp, tables, rows, weights, out); break;
        case Kernel::kDark: fused(SPAN_DARK, x0, x1, ref, warp, tables, rows, weights, out); break;
        case Kernel::kBright:
            fused(SPAN_BRIGHT, x0, x1, ref, warp, tables, rows, weights, out);
            break;
        case Kernel::kRefOnly:
            fused(SPAN_REFERENCE_ONLY, x0, x1, ref, nullptr, tables, rows, nullptr, out);
            break;
        case Kernel::kPlainBoth: plainBoth(x0, x1, ref, warp, tables, rows, weights, out); break;
        case Kernel::kPlainDark:
            plainOne(x0, x1, ref, warp, tables, rows, rows.weightDark, 0, weights, out);
            break;
        case Kernel::kPlainBright:
            plainOne(x0, x1, ref, warp, tables, rows, rows.weightBright, kFusionBrightSegment,
                     weights, out);
            break;
        case Kernel::kPlainRefOnly: plainRef(x0, x1, ref, tables, out); break;
    }
    result.y = oy;
    for (int32_t p = 0; p < pairs; ++p) {
        result.u[size_t(p)] = planes ? ou[size_t(p)] : ou[size_t(2 * p)];
        result.v[size_t(p)] = planes ? ov[size_t(p)] : ou[size_t(2 * p + 1)];
    }
    return result;
}

// Random rows for one row of fusion_test::kRowLength pixels: scene, warp buffer, weight rows
// (with whole groups at 0), mask and offset rows. Codes are drawn from the ranges given.
struct InputRanges {
    int referenceHighest = 255;   // reference luma codes 0..referenceHighest
    int secondaryLowest = 0;      // warped luma codes secondaryLowest..255
    int maskHighest = 256;
};

inline void RandomSpanInputs(std::mt19937 &random, const InputRanges &ranges, SpanScene &scene,
                             std::vector<uint8_t> &warp, fusion_test::KernelBench &k) {
    const auto pick = [&](int lo, int hi) { return lo + int(random() % uint32_t(hi - lo + 1)); };
    const int32_t n = fusion_test::kRowLength;
    scene.y.resize(size_t(n));
    scene.u.resize(size_t(n / 2));
    scene.v.resize(size_t(n / 2));
    for (uint8_t &c : scene.y) c = uint8_t(pick(0, ranges.referenceHighest));
    for (auto *p : {&scene.u, &scene.v})
        for (uint8_t &c : *p) c = uint8_t(pick(0, 255));
    warp.resize(size_t(4 * n));
    for (size_t i = 0; i < warp.size(); ++i)
        warp[i] = uint8_t((i & 1) ? pick(0, 255) : pick(ranges.secondaryLowest, 255));
    for (auto *row : {&k.weightReference, &k.weightDark, &k.weightBright})
        for (int16_t &v : *row) v = int16_t(pick(0, 3) == 0 ? 0 : pick(0, 256));
    for (int16_t &v : k.mask) v = int16_t(pick(0, ranges.maskHighest));
    for (auto &row : k.offsets)
        for (int16_t &v : row) v = int16_t(pick(-80, 80));
}

}  // namespace alt_test
