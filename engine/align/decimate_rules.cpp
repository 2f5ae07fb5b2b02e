// The tap tables of the decimation kernels and the plain kernel that evaluates them.
//
// A kernel computes each output sample from a few fixed taps inside its block: luma taps at
// pixel offsets from the block origin (bx, by), chroma taps at pair offsets from bx / 2 and
// chroma-row offsets from the block's first chroma row. Which offsets apply can depend on the
// parity of bx (odd factors move the origin onto odd columns) and of by (4:2:0 chroma rows),
// and the taps of one channel are combined by one of a few truncating means.
#include <array>
#include <utility>

#include "decimate_kernels.h"

namespace {

struct TapOffsets {
    int8_t count;
    int8_t at[4];
};

enum class TapValue : uint8_t {
    kNone,                  // no kernel for this factor
    kCopy,                  // one tap
    kHalf,                  // s >> 1
    kQuarter,               // s >> 2
    kSixteenth,             // s >> 4
    kNinth,                 // (s * 116508) >> 20
    kTwelfth,               // (s * 87381) >> 20
    kMeanOfEightThenNinth,  // ((8 * floor(first eight / 8) + ninth) * 116508) >> 20
    kTwoRowsThenThird,      // a = first four / 4, b = last two / 2, floor((2a + b) / 3)
};

// The taps of one channel: column (or pair) offsets for an even and an odd selector, row
// offsets for an even and an odd by. Taps are taken row by row, columns inside a row.
struct ChannelTaps {
    TapOffsets columns[2];
    TapOffsets rows[2];
    TapValue value;
};

struct DecimateRule {
    ChannelTaps luma;
    ChannelTaps chroma;
    bool pairsByOutputColumn;  // chroma pair offsets follow the parity of ox instead of bx
};

constexpr int kRuleSlots = 15;  // indexed by factor, 0..14
constexpr int kMaxTaps = 16;
using RuleTable = std::array<DecimateRule, kRuleSlots>;
using KernelSlots = std::array<DecimateKernel, kRuleSlots>;

constexpr TapOffsets k0{1, {0}};
constexpr TapOffsets k01{2, {0, 1}};
constexpr TapOffsets k02{2, {0, 2}};
constexpr TapOffsets k012{3, {0, 1, 2}};
constexpr TapOffsets k013{3, {0, 1, 3}};
constexpr TapOffsets k023{3, {0, 2, 3}};
constexpr TapOffsets k024{3, {0, 2, 4}};
constexpr TapOffsets k026{3, {0, 2, 6}};
constexpr TapOffsets k036{3, {0, 3, 6}};
constexpr TapOffsets k046{3, {0, 4, 6}};
constexpr TapOffsets k048{3, {0, 4, 8}};
constexpr TapOffsets k0124{4, {0, 1, 2, 4}};
constexpr TapOffsets k0134{4, {0, 1, 3, 4}};
constexpr TapOffsets k0235{4, {0, 2, 3, 5}};
constexpr TapOffsets k0246{4, {0, 2, 4, 6}};
constexpr TapOffsets k0369{4, {0, 3, 6, 9}};
constexpr TapOffsets k1245{4, {1, 2, 4, 5}};
constexpr TapOffsets k14710{4, {1, 4, 7, 10}};
constexpr TapOffsets k04812{4, {0, 4, 8, 12}};

constexpr ChannelTaps Same(TapOffsets columns, TapOffsets rows, TapValue value) {
    return {{columns, columns}, {rows, rows}, value};
}
constexpr ChannelTaps ColumnsByParity(TapOffsets even, TapOffsets odd, TapOffsets rows,
                                      TapValue value) {
    return {{even, odd}, {rows, rows}, value};
}
constexpr ChannelTaps ByParity(TapOffsets columnsEven, TapOffsets columnsOdd, TapOffsets rowsEven,
                               TapOffsets rowsOdd, TapValue value) {
    return {{columnsEven, columnsOdd}, {rowsEven, rowsOdd}, value};
}

using enum TapValue;

// Planar and semi-planar 4:2:0 sources (I420, NV12, NV21); factors 9 to 14 are I420's (NV21
// has 9 and 10).
constexpr RuleTable kRules420 = {{
    {},  // factor 0
    {},  // factor 1 has a kernel of its own
    {Same(k01, k01, kQuarter), Same(k0, k0, kCopy), false},
    {Same(k02, k02, kQuarter), Same(k01, k01, kQuarter), false},
    {Same(k02, k02, kQuarter), Same(k01, k01, kQuarter), false},
    {Same(k024, k024, kNinth), Same(k012, k012, kNinth), false},
    {Same(k024, k024, kNinth), Same(k012, k012, kNinth), false},
    {Same(k036, k036, kNinth), ByParity(k013, k023, k013, k023, kNinth), false},
    {Same(k036, k036, kNinth), Same(k013, k013, kNinth), false},
    {Same(k036, k036, kNinth), ColumnsByParity(k013, k023, k013, kNinth), false},
    {Same(k048, k048, kNinth), Same(k024, k024, kNinth), false},
    {Same(k0369, k0369, kSixteenth), ColumnsByParity(k0134, k0235, k0134, kSixteenth), false},
    {Same(k0369, k0369, kSixteenth), ColumnsByParity(k0134, k0124, k0134, kSixteenth), true},
    {Same(k04812, k04812, kSixteenth), Same(k0246, k0246, kSixteenth), false},
    {Same(k04812, k04812, kSixteenth), Same(k0246, k0246, kSixteenth), false},
}};

// Planar 4:2:2 (YUV422P). NV16 differs only at factor 2, where it copies the top chroma row.
constexpr RuleTable kRules422 = {{
    {},  // factor 0
    {},  // factor 1 has a kernel of its own
    {Same(k01, k01, kQuarter), Same(k0, k01, kHalf), false},
    {Same(k02, k02, kQuarter), Same(k01, k02, kQuarter), false},
    {Same(k02, k02, kQuarter), Same(k01, k02, kQuarter), false},
    {Same(k024, k024, kNinth), Same(k012, k024, kNinth), false},
    {Same(k024, k024, kNinth), Same(k012, k024, kNinth), false},
    {Same(k036, k036, kNinth), ColumnsByParity(k013, k023, k036, kNinth), false},
    {Same(k036, k036, kNinth), Same(k013, k036, kNinth), false},
}};

constexpr RuleTable MakeNv16Rules() {
    RuleTable rules = kRules422;
    rules[2].chroma = Same(k0, k0, kCopy);
    return rules;
}
constexpr RuleTable kRulesNv16 = MakeNv16Rules();

// Packed 4:2:2 (YUYV): chroma rows are source rows. From factor 5 up the taps are nine words
// whose first eight are averaged before the ninth is added.
constexpr RuleTable kRulesPacked = {{
    {},  // factor 0
    {},  // factor 1 has a kernel of its own
    {Same(k01, k01, kQuarter), Same(k0, k01, kHalf), false},
    {Same(k02, k012, kTwoRowsThenThird), Same(k01, k012, kTwoRowsThenThird), false},
    {Same(k02, k02, kQuarter), Same(k01, k02, kQuarter), false},
    {Same(k024, k024, kMeanOfEightThenNinth), Same(k012, k024, kMeanOfEightThenNinth), false},
    {Same(k024, k024, kMeanOfEightThenNinth), Same(k012, k024, kMeanOfEightThenNinth), false},
    {ColumnsByParity(k026, k046, k036, kMeanOfEightThenNinth),
     ColumnsByParity(k013, k023, k036, kMeanOfEightThenNinth), false},
    {Same(k026, k036, kMeanOfEightThenNinth), Same(k013, k036, kMeanOfEightThenNinth), false},
    {ColumnsByParity(k026, k046, k036, kMeanOfEightThenNinth),
     ColumnsByParity(k013, k023, k036, kMeanOfEightThenNinth), false},
    {Same(k048, k048, kMeanOfEightThenNinth), Same(k024, k048, kMeanOfEightThenNinth), false},
    {Same(k14710, k048, kTwelfth), ColumnsByParity(k0235, k1245, k048, kTwelfth), false},
    {Same(k14710, k048, kTwelfth), Same(k0235, k048, kTwelfth), false},
    {Same(k14710, k048, kTwelfth), ColumnsByParity(k0235, k1245, k048, kTwelfth), false},
    {Same(k14710, k048, kTwelfth), Same(k0235, k048, kTwelfth), false},
}};

uint32_t CombineTaps(TapValue value, const uint32_t *taps, int count) {
    uint32_t sum = 0;
    for (int i = 0; i < count; ++i) sum += taps[i];
    switch (value) {
    case kCopy: return taps[0];
    case kHalf: return sum >> 1;
    case kQuarter: return sum >> 2;
    case kSixteenth: return sum >> 4;
    case kNinth: return NinthByMultiply(sum);
    case kTwelfth: return TwelfthByMultiply(sum);
    case kMeanOfEightThenNinth: {
        const uint32_t meanOfEight = (sum - taps[8]) >> 3;
        return NinthByMultiply(8 * meanOfEight + taps[8]);
    }
    case kTwoRowsThenThird:
        return ThirdOfTwoAPlusB((taps[0] + taps[1] + taps[2] + taps[3]) >> 2,
                                (taps[4] + taps[5]) >> 1);
    case kNone: break;
    }
    return 0;
}

// Gathers one channel's taps, rows outer, and combines them. sample(column, row) reads the
// channel at offsets from the block's origin.
template <typename Sample>
uint8_t EvaluateChannel(const ChannelTaps &taps, int columnParity, int rowParity, Sample sample) {
    const TapOffsets &columns = taps.columns[columnParity];
    const TapOffsets &rows = taps.rows[rowParity];
    uint32_t values[kMaxTaps];
    int n = 0;
    for (int r = 0; r < rows.count; ++r)
        for (int c = 0; c < columns.count; ++c) values[n++] = sample(columns.at[c], rows.at[r]);
    return static_cast<uint8_t>(CombineTaps(taps.value, values, n));
}

// Tap positions as read: the plain kernels take them as they are; the thumbnail's outer ring
// clamps them to the interior of the source.
struct TapClamp {
    int32_t lumaLow[2], lumaHigh[2];      // x, y
    int32_t chromaLow[2], chromaHigh[2];  // pair, chroma row
};

int32_t Clamp(int32_t v, int32_t low, int32_t high) {
    return v < low ? low : (v > high ? high : v);
}

// One output pixel (ox, oy); clamp is null for the taps as they are.
void EvaluatePixel(const DecimateSource &s, const DecimateRule &rule, int factor, ImageDesc *output,
                   const InclusiveRect &rect, int32_t ox, int32_t oy, const TapClamp *clamp) {
    const int32_t by = rect.y0 + oy * factor;
    const int32_t chromaRow = by >> s.chromaRowShift;
    const int32_t bx = rect.x0 + ox * factor;
    const int32_t pair = bx >> 1;
    const int pairParity = rule.pairsByOutputColumn ? (ox & 1) : (bx & 1);
    auto luma = [&](int c, int r) {
        if (!clamp) return s.Y(bx + c, by + r);
        return s.Y(Clamp(bx + c, clamp->lumaLow[0], clamp->lumaHigh[0]),
                   Clamp(by + r, clamp->lumaLow[1], clamp->lumaHigh[1]));
    };
    auto at = [&](int c, int r, auto read) {
        if (!clamp) return read(pair + c, chromaRow + r);
        return read(Clamp(pair + c, clamp->chromaLow[0], clamp->chromaHigh[0]),
                    Clamp(chromaRow + r, clamp->chromaLow[1], clamp->chromaHigh[1]));
    };
    const auto u = [&](int32_t k, int32_t r) { return s.U(k, r); };
    const auto v = [&](int32_t k, int32_t r) { return s.V(k, r); };
    output->ppu8Plane[0][static_cast<ptrdiff_t>(oy) * output->pi32Pitch[0] + ox] =
        EvaluateChannel(rule.luma, bx & 1, by & 1, luma);
    output->ppu8Plane[1][static_cast<ptrdiff_t>(oy) * output->pi32Pitch[1] + ox] =
        EvaluateChannel(rule.chroma, pairParity, by & 1, [&](int c, int r) { return at(c, r, u); });
    output->ppu8Plane[2][static_cast<ptrdiff_t>(oy) * output->pi32Pitch[2] + ox] =
        EvaluateChannel(rule.chroma, pairParity, by & 1, [&](int c, int r) { return at(c, r, v); });
}

void RunRule(const DecimateSource &s, const DecimateRule &rule, int factor, ImageDesc *output,
             const InclusiveRect &rect) {
    const int32_t ow = (rect.x1 - rect.x0 + 1) / factor;
    const int32_t oh = (rect.y1 - rect.y0 + 1) / factor;
    for (int32_t oy = 0; oy < oh; ++oy)
        for (int32_t ox = 0; ox < ow; ++ox)
            EvaluatePixel(s, rule, factor, output, rect, ox, oy, nullptr);
}

template <const RuleTable &kRules, int kFactor>
void RuleKernel(const DecimateSource &source, ImageDesc *output, const InclusiveRect &rect) {
    RunRule(source, kRules[kFactor], kFactor, output, rect);
}

// Factor 1: luma is copied; each pixel takes the chroma of its own pair for one channel and
// the mean of two neighbouring pairs for the other. Neighbours outside the image are replaced
// by the pixel's own pair.
template <bool kPacked>
void Factor1Kernel(const DecimateSource &s, ImageDesc *output, const InclusiveRect &rect) {
    const int32_t ow = rect.x1 - rect.x0 + 1;
    const int32_t oh = rect.y1 - rect.y0 + 1;
    for (int32_t oy = 0; oy < oh; ++oy) {
        const int32_t y = rect.y0 + oy;
        const int32_t r = y >> s.chromaRowShift;
        uint8_t *outY = output->ppu8Plane[0] + static_cast<ptrdiff_t>(oy) * output->pi32Pitch[0];
        uint8_t *outU = output->ppu8Plane[1] + static_cast<ptrdiff_t>(oy) * output->pi32Pitch[1];
        uint8_t *outV = output->ppu8Plane[2] + static_cast<ptrdiff_t>(oy) * output->pi32Pitch[2];
        for (int32_t ox = 0; ox < ow; ++ox) {
            const int32_t x = rect.x0 + ox;
            const int32_t k = x >> 1;
            const int32_t previous = k > 0 ? k - 1 : k;
            outY[ox] = s.Y(x, y);
            if ((x & 1) == 0) {
                outU[ox] = s.U(k, r);
                outV[ox] = static_cast<uint8_t>((s.V(previous, r) + s.V(k, r)) >> 1);
            } else {
                const int32_t next = 2 * (k + 1) < s.width ? k + 1 : k;
                const int32_t other = kPacked ? next : previous;
                outV[ox] = s.V(k, r);
                outU[ox] = static_cast<uint8_t>((s.U(other, r) + s.U(k, r)) >> 1);
            }
        }
    }
}

constexpr bool HasRule(const DecimateRule &rule) { return rule.luma.value != kNone; }

template <const RuleTable &kRules, size_t... kFactors>
constexpr KernelSlots RuleKernels(std::index_sequence<kFactors...>) {
    return {{(HasRule(kRules[kFactors]) ? &RuleKernel<kRules, kFactors> : nullptr)...}};
}

template <const RuleTable &kRules, bool kPacked>
constexpr KernelSlots KernelTable() {
    KernelSlots table = RuleKernels<kRules>(std::make_index_sequence<kRuleSlots>());
    table[1] = &Factor1Kernel<kPacked>;
    return table;
}

constexpr KernelSlots kKernels420 = KernelTable<kRules420, false>();
constexpr KernelSlots kKernels422 = KernelTable<kRules422, false>();
constexpr KernelSlots kKernelsNv16 = KernelTable<kRulesNv16, false>();
constexpr KernelSlots kKernelsPacked = KernelTable<kRulesPacked, true>();

// The largest factor with a kernel for each format.
int MaxFactorOf(uint32_t format) {
    switch (format) {
    case PIXEL_FORMAT_YUYV:
    case PIXEL_FORMAT_I420: return 14;
    case PIXEL_FORMAT_NV21: return 10;
    case PIXEL_FORMAT_NV12:
    case PIXEL_FORMAT_YUV422P:
    case PIXEL_FORMAT_NV16: return 8;
    default: return 0;
    }
}

}  // namespace

DecimateKernel FindDecimateKernel(uint32_t format, int factor) {
    if (factor < 1 || factor > MaxFactorOf(format)) return nullptr;
    switch (format) {
    case PIXEL_FORMAT_YUYV: return factor == 8 ? &DecimatePackedFactor8 : kKernelsPacked[factor];
    case PIXEL_FORMAT_I420:
    case PIXEL_FORMAT_NV12:
    case PIXEL_FORMAT_NV21: return kKernels420[factor];
    case PIXEL_FORMAT_YUV422P: return kKernels422[factor];
    case PIXEL_FORMAT_NV16: return kKernelsNv16[factor];
    default: return nullptr;
    }
}

namespace {

const DecimateRule *FindRule(uint32_t format, int factor) {
    if (factor < 2 || factor > MaxFactorOf(format)) return nullptr;
    switch (format) {
    case PIXEL_FORMAT_YUYV: return &kRulesPacked[factor];
    case PIXEL_FORMAT_I420:
    case PIXEL_FORMAT_NV12:
    case PIXEL_FORMAT_NV21: return &kRules420[factor];
    case PIXEL_FORMAT_YUV422P: return &kRules422[factor];
    case PIXEL_FORMAT_NV16: return &kRulesNv16[factor];
    default: return nullptr;
    }
}

// [1, n - 2], or the one valid index of a side too short for an interior.
void InteriorOf(int32_t n, int32_t &low, int32_t &high) {
    low = n > 2 ? 1 : 0;
    high = n > 2 ? n - 2 : (n > 0 ? n - 1 : 0);
}

}  // namespace

bool RereadOuterRingInward(const DecimateSource &source, uint32_t format, int32_t height,
                           int factor, ImageDesc *output, const InclusiveRect &rect) {
    const DecimateRule *rule = FindRule(format, factor);
    if (!rule || !HasRule(*rule)) return false;
    TapClamp clamp;
    InteriorOf(source.width, clamp.lumaLow[0], clamp.lumaHigh[0]);
    InteriorOf(height, clamp.lumaLow[1], clamp.lumaHigh[1]);
    InteriorOf(source.width / 2, clamp.chromaLow[0], clamp.chromaHigh[0]);
    InteriorOf(height >> source.chromaRowShift, clamp.chromaLow[1], clamp.chromaHigh[1]);
    const int32_t ow = (rect.x1 - rect.x0 + 1) / factor;
    const int32_t oh = (rect.y1 - rect.y0 + 1) / factor;
    for (int32_t oy = 0; oy < oh; ++oy) {
        if (oy == 0 || oy == oh - 1) {
            for (int32_t ox = 0; ox < ow; ++ox)
                EvaluatePixel(source, *rule, factor, output, rect, ox, oy, &clamp);
        } else {
            EvaluatePixel(source, *rule, factor, output, rect, 0, oy, &clamp);
            EvaluatePixel(source, *rule, factor, output, rect, ow - 1, oy, &clamp);
        }
    }
    return true;
}

void DecimatePackedFactor8Reference(const DecimateSource &source, ImageDesc *output,
                                    const InclusiveRect &rect) {
    RuleKernel<kRulesPacked, 8>(source, output, rect);
}
