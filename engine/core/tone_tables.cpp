#include "tone_tables.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "session.h"

namespace {

constexpr int kLevels = 4096;

void StoreToneFromCurve(HdrSession *s) {
    for (int i = 0; i < kLevels; ++i) s->toneTable[i] = s->gammaCompressTable[s->contrastCurve[i]];
}

// Chroma distance within 1024 of neutral grows by 1 + L/100; the outer quarters join it to the
// ends with slope 1 - L/100.
void FillGentleSaturation(uint8_t *t, int32_t level) {
    auto c = [level](int n) { return (level * n) / 100; };
    for (int k = 1; k <= 1023; ++k) t[k] = static_cast<uint8_t>((k - c(k)) >> 4);
    for (int k = 1025; k <= 2047; ++k) t[k] = static_cast<uint8_t>((k - c(2048 - k)) >> 4);
    for (int k = 2049; k <= 3071; ++k) t[k] = static_cast<uint8_t>((k + c(k - 2048)) >> 4);
    for (int k = 3073; k <= 4095; ++k) t[k] = static_cast<uint8_t>((k - 1 + c(4096 - k)) >> 4);
    t[0] = 0;
    t[1024] = static_cast<uint8_t>((1024 - c(1024)) >> 4);
    t[2048] = 128;
    t[3072] = static_cast<uint8_t>((3071 + c(1024)) >> 4);
}

void FillSteepSaturation(uint8_t *t, int32_t level) {
    const int b = ((level * 256 - 25600) >> 2) + 256;
    for (int j = 1; j <= 1023; ++j) {
        const int d = (b * j) >> 8;
        t[j] = 0;
        t[2048 - j] = (2048 - j - d < 0) ? 0 : static_cast<uint8_t>((2048 - j - d) >> 4);
        t[2048 + j] = (2048 + j + d > 4095) ? 255 : static_cast<uint8_t>((2048 + j + d) >> 4);
        t[4096 - j] = 255;
    }
    t[0] = 0;
    t[1024] = 0;
    t[2048] = 128;
    t[3072] = 255;
}

uint8_t LowerEntry(int value) { return value <= 0 ? 0 : static_cast<uint8_t>(value >> 4); }
uint8_t UpperEntry(int value) { return value > 4094 ? 255 : static_cast<uint8_t>(value >> 4); }

// One table of the variant family: lower uses the shift `low`, upper the shift `high`.
void FillVariantPair(uint8_t *t, int j, int lowShift, int highShift) {
    const int i = 4095 - j;
    t[j + 1] = LowerEntry(j + 1 - lowShift);
    t[i - 2048] = LowerEntry(i - lowShift - 2048);
    t[j + 2049] = UpperEntry(j + highShift + 2049);
    t[i] = UpperEntry(i + highShift - 1);
}

}  // namespace

int BuildContrastCurve(HdrSession *s, int64_t, int32_t level) {
    if (!s) return RESULT_INVALID_ARGUMENT;
    if (level < -200 || level > 200) return RESULT_INVALID_ARGUMENT;
    if (level == s->contrastLevel) return RESULT_OK;
    // Evaluated in this order on purpose: for level 30 k is 0.1499999999999999, and the
    // truncations below depend on it.
    const double k = (level * 0.005 + 1.0) - 1.0;
    uint16_t *curve = s->contrastCurve;
    for (int i = 0; i <= 736; ++i)
        curve[i] =
            static_cast<uint16_t>(i - static_cast<int>(std::trunc(k * (368 - std::abs(i - 368)))));
    for (int i = 737; i < kLevels; ++i)
        curve[i] = static_cast<uint16_t>(
            i + static_cast<int>(std::trunc(k * (1679 - std::abs(i - 2416)))));
    StoreToneFromCurve(s);
    s->toneTableComposed = 0;
    s->contrastLevel = level;
    return RESULT_OK;
}

int BuildSaturationTable(HdrSession *s, int64_t, int32_t level) {
    if (!s || !s->chromaTable || !s->chromaTable2) return RESULT_INVALID_ARGUMENT;
    if (level < 0 || level > 1000) return RESULT_INVALID_ARGUMENT;
    // The variant family stores its own levels: a table of that family never passes for
    // this one, whatever its level.
    if (level == s->saturationLevel && s->saturationFamily == 0) return RESULT_OK;
    if (level <= 100) {
        FillGentleSaturation(s->chromaTable, level);
    } else {
        FillSteepSaturation(s->chromaTable, level);
        level = 100;
    }
    std::memcpy(s->chromaTable2, s->chromaTable, kLevels);
    s->saturationLevel = level;
    s->saturationFamily = 0;
    return RESULT_OK;
}

int BuildSaturationTableVariant(HdrSession *s, int64_t, int32_t level) {
    if (!s) return RESULT_INVALID_ARGUMENT;
    if (!s->chromaTable2 || !s->chromaTable) return RESULT_OUT_OF_MEMORY;
    if (level < 0 || level > 1000) return RESULT_INVALID_ARGUMENT;
    const int k4 = 4 * level;
    for (int j = 0; j <= 1022; ++j) {
        const int i = 4095 - j;
        const int c = (k4 * (j + 1)) / 100;
        const int g = static_cast<int>(std::trunc(
            (static_cast<double>(i - 3072) * (static_cast<double>((j + 1) * k4) / 115.0 - 1.0)) *
                (1.0 / 1024) +
            1.0));
        FillVariantPair(s->chromaTable, j, c, g);
        FillVariantPair(s->chromaTable2, j, g, c);
    }
    const int d = (level * 4096) / 100;
    for (uint8_t *t : {s->chromaTable, s->chromaTable2}) {
        t[1024] = LowerEntry(1024 - d);
        t[2048] = 128;
        t[3072] = (d + 3071 > 4094) ? 255 : static_cast<uint8_t>((d + 3071) >> 4);
        t[0] = 0;
    }
    s->saturationLevel = k4;
    s->saturationFamily = 1;
    return RESULT_OK;
}

int ApplyBrightnessCurve(HdrSession *s, int64_t, int32_t a, int32_t b, int32_t c, double f) {
    if (!s || !s->contrastCurve || !s->toneTable) return RESULT_INVALID_ARGUMENT;
    if (b < 0 || c > kLevels || b > c) return RESULT_INVALID_ARGUMENT;
    uint16_t *curve = s->contrastCurve;
    const double step = 0.014 * a;
    double p = a >= 0 ? 1 + step : 1 / (1 - step);
    if (a == 0 && b == 0 && c == kLevels && std::fabs(f - 1) < 1e-8) {
        for (int k = 0; k < kLevels; ++k) curve[k] = static_cast<uint16_t>(k);
    } else {
        for (int k = 0; k < b; ++k) curve[k] = 0;
        for (int k = c; k < kLevels; ++k) curve[k] = 4095;
        p = p * f;
        const double s0 = std::pow(0.018, p) / 0.018;
        const int n = c - b;
        // Written from the top down: the top entry is 4095.
        for (int i = 0; i < n; ++i) {
            const double t = i * (1.0 / n);
            const double g = t <= 0.018 ? t * s0 : std::pow(t, p);
            const int v = static_cast<int>(std::trunc(4095 * g + 0.5));
            curve[c - 1 - i] = static_cast<uint16_t>(v <= 4095 ? 4095 - v : 0);
        }
    }
    uint8_t *saved = s->toneTable + kSavedToneTableOffset;
    std::memcpy(saved, s->toneTable, kLevels);
    for (int k = 0; k < kLevels; ++k) s->toneTable[k] = saved[curve[k]];
    s->toneTableComposed = 1;
    return RESULT_OK;
}

int ApplyBrightnessLevel(MemoryContext, HdrSession *s, int32_t, int32_t brightness, int32_t start) {
    if (!s) return RESULT_INVALID_ARGUMENT;
    // A live table that already carries a brightness curve goes back to the table the curve
    // was composed onto, so setting the same brightness twice gives the same table.
    if (s->toneTableComposed && s->toneTable)
        std::memcpy(s->toneTable, s->toneTable + kSavedToneTableOffset, kLevels);
    const double factor = s->deepShadowFlag != 0 ? 1.2 : 1.0;
    return ApplyBrightnessCurve(s, 0, brightness, start, kLevels, factor);
}
