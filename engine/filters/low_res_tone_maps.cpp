#include "low_res_tone_maps.h"

#include <algorithm>
#include <cstddef>

#include "core/image.h"
#include "core/memory.h"
#include "core/session.h"
#include "filters/grid_rows.h"

namespace {

constexpr int kMapU[3] = {3, 4, 5};  // reference, darkest, brightest
constexpr int kMapV[3] = {6, 7, 8};
constexpr int kRef = 0, kDark = 1, kBright = 2;

struct Sample {
    const uint8_t *y, *u, *v;
};

// Rows of one YUV444P thumbnail, each plane with its own pitch.
struct Planes {
    const ImageDesc *image;
    Sample Row(int32_t r) const {
        auto row = [&](int p) {
            return image->ppu8Plane[p] + static_cast<ptrdiff_t>(r) * image->pi32Pitch[p];
        };
        return {row(0), row(1), row(2)};
    }
};

int32_t Blend(int32_t a, int32_t b, int32_t m) { return (a * m + b * (256 - m) + 128) >> 8; }

int32_t FloorDiv(int32_t v, int32_t d) { return v >= 0 ? v / d : -((-v + d - 1) / d); }

bool SameShape(const ImageDesc *a, const ImageDesc *b) {
    return a && b && a->ppu8Plane[0] && a->ppu8Plane[1] && a->ppu8Plane[2] &&
           a->i32Width == b->i32Width && a->i32Height == b->i32Height &&
           a->pi32Pitch[0] >= a->i32Width && a->pi32Pitch[1] >= a->i32Width &&
           a->pi32Pitch[2] >= a->i32Width;
}

bool ValidInputs(const HdrSession *s) {
    const ImageDesc *first = s->smallImages[0];
    for (int32_t index : {s->referenceIndex, s->darkIndex, s->brightIndex})
        if (index < 0 || index >= kMaxExposures || !SameShape(s->smallImages[index], first))
            return false;
    if (!SameShape(s->previewImage, first) || !s->gainGrid) return false;
    if (s->gainGridStride < first->i32Width || s->gainGridRows < first->i32Height) return false;
    for (int k = 3; k < 9; ++k)
        if (!s->fineGrids[k]) return false;
    return first->i32Width >= 1 && first->i32Height >= 1;
}

// The ghost mask of one exposure at 1/8 scale: the 32-pixel block grid expanded by 4.
void ExpandMask(const HdrSession *s, const uint8_t *mask, uint8_t *plane, int32_t w, int32_t h) {
    if (!mask) {
        FillBytes(plane, 0, static_cast<size_t>(w) * h);
        return;
    }
    UpsampleGrid2n(plane, w, h, w, mask, s->paddedBlocksAcross, s->paddedBlocksDown,
                   s->paddedBlocksAcross, nullptr, 2);
}

// Step 2: the mean chroma of the darkest minus the brightest where the brightest clips.
void ClippingOffset(const Planes &ref, const Planes &dark, const Planes &bright, int32_t w,
                    int32_t h, int32_t *du, int32_t *dv) {
    int64_t n = 0, su = 0, sv = 0;
    for (int32_t y = 0; y < h; ++y) {
        const Sample r = ref.Row(y), d = dark.Row(y), b = bright.Row(y);
        for (int32_t x = 0; x < w; ++x) {
            if (b.y[x] < 224 || d.y[x] < 129 || r.y[x] < 161) continue;
            ++n;
            su += d.u[x] - b.u[x];
            sv += d.v[x] - b.v[x];
        }
    }
    *du = n ? static_cast<int32_t>((su + n / 2) / n) : 0;
    *dv = n ? static_cast<int32_t>((sv + n / 2) / n) : 0;
}

void ToneMapPreview(HdrSession *s, ImageDesc *preview, int32_t w, int32_t h) {
    const uint16_t *grid = reinterpret_cast<const uint16_t *>(s->gainGrid);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t *py = preview->ppu8Plane[0] + static_cast<ptrdiff_t>(y) * preview->pi32Pitch[0];
        uint8_t *pu = preview->ppu8Plane[1] + static_cast<ptrdiff_t>(y) * preview->pi32Pitch[1];
        uint8_t *pv = preview->ppu8Plane[2] + static_cast<ptrdiff_t>(y) * preview->pi32Pitch[2];
        const uint16_t *g = grid + static_cast<ptrdiff_t>(y) * s->gainGridStride;
        for (int32_t x = 0; x < w; ++x) {
            const int32_t old = py[x];
            const uint32_t light = uint32_t{s->gammaExpandTable[old]} * s->gainTable[g[x]];
            const int32_t target = s->gammaCompressTable[light > 4194303 ? 4095 : light >> 10];
            py[x] = static_cast<uint8_t>(target);
            if (old <= 32) continue;
            pu[x] = static_cast<uint8_t>(RescaleChroma(pu[x], old, target, 288, 224));
            pv[x] = static_cast<uint8_t>(RescaleChroma(pv[x], old, target, 288, 224));
        }
    }
}

struct Maps {
    int16_t *u, *v;
    void Set(size_t i, int32_t du, int32_t dv) {
        u[i] = static_cast<int16_t>(du);
        v[i] = static_cast<int16_t>(dv);
    }
};

struct ChromaPair {
    int32_t u, v;
};

// Fills one exposure's map pixel by pixel: rule(Y, U, V, m, p, x) gives the pair at column x,
// Y, U, V being the exposure's samples there, p the preview's row and m the ghost mask.
template <typename Rule>
void FillChromaMap(Maps map, const Planes &exposure, const Planes &preview, const uint8_t *mask,
                   int32_t w, int32_t h, Rule rule) {
    for (int32_t y = 0; y < h; ++y) {
        const Sample e = exposure.Row(y), p = preview.Row(y);
        for (int32_t x = 0; x < w; ++x) {
            const size_t i = static_cast<size_t>(y) * w + x;
            const ChromaPair d = rule(e.y[x], e.u[x], e.v[x], mask[i], p, x);
            map.Set(i, d.u, d.v);
        }
    }
}

}  // namespace

int32_t RescaleChroma(int32_t c, int32_t y, int32_t t, int32_t a, int32_t b) {
    const int32_t factor = (a - y) * y + (y + b) * std::clamp(t, y, 4 * y);
    return std::clamp((c - 128) * factor / (512 * y) + 128, 0, 255);
}

int BuildLowResToneAndChromaMaps(MemoryContext memory, HdrSession *s) {
    if (!s) return RESULT_INVALID_ARGUMENT;
    if (!s->gainTable) return RESULT_OUT_OF_MEMORY;
    if (!ValidInputs(s)) return RESULT_INVALID_ARGUMENT;
    const int32_t w = s->smallImages[0]->i32Width;
    const int32_t h = s->smallImages[0]->i32Height;
    const size_t n = static_cast<size_t>(w) * h;
    for (int k = 3; k < 9; ++k) FillBytes(s->fineGrids[k], 0, n * sizeof(int16_t));
    uint8_t *mask = AllocateZeroed<uint8_t>(memory, n);
    if (!mask) return RESULT_OUT_OF_MEMORY;

    const Planes ref{s->smallImages[s->referenceIndex]};
    const Planes dark{s->smallImages[s->darkIndex]};
    const Planes bright{s->smallImages[s->brightIndex]};
    const Planes preview{s->previewImage};
    int32_t du = 0, dv = 0;
    ClippingOffset(ref, dark, bright, w, h, &du, &dv);
    ToneMapPreview(s, s->previewImage, w, h);

    Maps maps[3];
    for (int e = 0; e < 3; ++e) maps[e] = {s->fineGrids[kMapU[e]], s->fineGrids[kMapV[e]]};

    ExpandMask(s, s->ghostMasks[3], mask, w, h);
    FillChromaMap(maps[kBright], bright, preview, mask, w, h,
                  [du, dv](int32_t Y, int32_t U, int32_t V, int32_t m, const Sample &p,
                           int32_t x) -> ChromaPair {
                      if (Y >= 224) return {du, dv};
                      if (Y >= 193)
                          return {FloorDiv((Y - 192) * du, 32), FloorDiv((Y - 192) * dv, 32)};
                      if (m == 0) return {p.u[x] - U, p.v[x] - V};
                      const int32_t sh = std::min<int32_t>(p.y[x], Y);
                      const int32_t us = Y == 0 ? U : (Y + (2 * U - 256) * sh) / (2 * Y) + 128;
                      const int32_t vs = Y == 0 ? V : (Y + (2 * V - 256) * sh) / (2 * Y) + 128;
                      return {Blend(us, p.u[x], m) - U, Blend(vs, p.v[x], m) - V};
                  });

    ExpandMask(s, s->ghostMasks[0], mask, w, h);
    FillChromaMap(maps[kRef], ref, preview, mask, w, h,
                  [](int32_t Y, int32_t U, int32_t V, int32_t m, const Sample &p,
                     int32_t x) -> ChromaPair {
                      if (m == 0) return {p.u[x] - U, p.v[x] - V};
                      const int32_t us = Y <= 32 ? U : RescaleChroma(U, Y, p.y[x], 288, 224);
                      const int32_t vs = Y <= 32 ? V : RescaleChroma(V, Y, p.y[x], 288, 224);
                      return {Blend(us, p.u[x], m) - U, Blend(vs, p.v[x], m) - V};
                  });

    // The darkest exposure takes no ghost mask.
    FillChromaMap(maps[kDark], dark, preview, mask, w, h,
                  [](int32_t Y, int32_t U, int32_t V, int32_t, const Sample &p,
                     int32_t x) -> ChromaPair {
                      if (Y <= 64) return {p.u[x] - U, p.v[x] - V};
                      const int32_t q = Y <= 128 ? 4 * Y - 256 : 256;
                      const int32_t us = RescaleChroma(U, Y, p.y[x], 256, 256);
                      const int32_t vs = RescaleChroma(V, Y, p.y[x], 256, 256);
                      return {Blend(us, p.u[x], q) - U, Blend(vs, p.v[x], q) - V};
                  });
    FreeMemory(memory, mask);
    return RESULT_OK;
}
