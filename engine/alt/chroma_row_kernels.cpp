#include "chroma_row_kernels.h"

#include <algorithm>

#include "core/row_helpers.h"
#include "fusion/recovery_refine_planar.h"

namespace {

int32_t ShiftOf(int32_t s) { return std::clamp(s, 0, 63); }

// t of the luma weight table.
int64_t WeightOf(const int32_t *table, uint8_t luma) { return int64_t{table[luma] >> 4}; }

// The luma term of the three saturating scalers: ((128 t + 256 (384 - t)) >> s) - 256.
int64_t LumaTerm(int64_t t, int32_t s) { return ((128 * t + 256 * (384 - t)) >> s) - 256; }

// ((c - 128) f >> 8) + 128, before saturation or wrap.
int64_t Scaled(uint8_t c, int64_t f) { return (((int64_t{c} - 128) * f) >> 8) + 128; }


// The low 8 bits, as a byte store of the value would keep them.
uint8_t Wrapped(int64_t v) { return static_cast<uint8_t>(static_cast<uint64_t>(v) & 0xFF); }

int64_t Factor(int64_t g, int32_t k) { return ((g * k) >> 10) + 256; }

void AdjustInterleaved(int32_t x, int32_t end, const uint8_t *luma, uint8_t *chroma, int32_t s,
                       const int32_t *table, int32_t firstK, int32_t secondK) {
    s = ShiftOf(s);
    for (int32_t p = x; p < end; p += 2) {
        const int64_t g = LumaTerm(WeightOf(table, luma[p]), s);
        chroma[p] = ClampByte(Scaled(chroma[p], Factor(g, firstK)));
        chroma[p + 1] = ClampByte(Scaled(chroma[p + 1], Factor(g, secondK)));
    }
}

constexpr int kUBytes[2] = {1, 5};
constexpr int kVBytes[2] = {3, 7};

}  // namespace

void AdjustChromaByLumaSemiPlanarUV(int32_t x, int32_t end, const uint8_t *luma,
                                    uint8_t *chroma, int32_t s, const int32_t *table) {
    AdjustInterleaved(x, end, luma, chroma, s, table, 365, 289);
}

void AdjustChromaByLumaSemiPlanarVU(int32_t x, int32_t end, const uint8_t *luma,
                                    uint8_t *chroma, int32_t s, const int32_t *table) {
    AdjustInterleaved(x, end, luma, chroma, s, table, 289, 365);
}

void AdjustChromaByLumaPacked422(int32_t x, int32_t end, uint8_t *packed, int32_t s,
                                 const int32_t *table) {
    s = ShiftOf(s);
    for (int32_t p = x; p < end; p += 4) {
        uint8_t *group = packed + 2 * static_cast<int64_t>(p);
        const int64_t g = LumaTerm(WeightOf(table, group[0]), s);
        for (int b : kUBytes) group[b] = ClampByte(Scaled(group[b], Factor(g, 578)));
        for (int b : kVBytes) group[b] = ClampByte(Scaled(group[b], Factor(g, 730)));
    }
}

void AdjustChromaByLumaQuads(int32_t x, int32_t end, uint8_t *quads, int32_t s,
                             const int32_t *table) {
    s = ShiftOf(s);
    for (int32_t p = x; p < end; p += 4) {
        uint8_t *quad = quads + 4 * static_cast<int64_t>(p);
        const int64_t t = WeightOf(table, quad[0]);
        const int64_t b = 256 - ((256 * t + 128 * (256 - t)) >> s);
        for (int k : kUBytes) quad[k] = Wrapped(Scaled(quad[k], 256 - ((b * 578) >> 10)));
        for (int k : kVBytes) quad[k] = Wrapped(Scaled(quad[k], 256 - ((b * 730) >> 10)));
    }
}

void BoostDarkChromaQuads(int32_t x, int32_t end, uint8_t *quads) {
    for (int32_t p = x; p < end; p += 4) {
        uint8_t *quad = quads + 4 * static_cast<int64_t>(p);
        if (quad[0] > 128) continue;
        const int64_t f = 512 - 2 * int64_t{quad[0]};
        for (int k : {1, 3, 5, 7}) quad[k] = ClampByte(Scaled(quad[k], f));
    }
}

void OffsetChromaQuads(int32_t x, int32_t end, uint8_t *quads, int32_t uOffset, int32_t vOffset) {
    for (int32_t p = x; p < end; p += 4) {
        uint8_t *quad = quads + 4 * static_cast<int64_t>(p);
        for (int k : kUBytes) quad[k] = ClampByte(int64_t{quad[k]} + uOffset);
        for (int k : kVBytes) quad[k] = ClampByte(int64_t{quad[k]} + vOffset);
    }
}

void FadeHighlightLumaOffsetRow(const HdrSession *session, const int16_t *mask, int32_t y,
                                const uint8_t *secondaryLuma, int16_t *const offsetRows[3]) {
    FadeRecoveryLumaOffsetRowSemiPlanar422(session, mask, y, secondaryLuma, offsetRows[2]);
}
