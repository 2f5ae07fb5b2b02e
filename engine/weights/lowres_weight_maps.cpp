#include "lowres_weight_maps.h"

#include <initializer_list>

#include "core/memory.h"
#include "filters/box_filter.h"

void LumaWeights(int32_t q, int32_t *reference, int32_t *dark, int32_t *bright) {
    if (q < 64) {
        *reference = q + 64;
        *dark = 2 * q;
        *bright = 128;
    } else if (q <= 192) {
        *reference = *dark = *bright = 128;
    } else {
        *reference = 320 - q;
        *dark = 128;
        *bright = 512 - 2 * q;
    }
}

namespace {

constexpr int kMapDark = kContrastDark;
constexpr int kMapBright = kContrastBright;
constexpr int kMapReference = kContrastReference;

struct Planes {
    int16_t *maps[3];
    int16_t *contrast;
    int16_t *maxContrast;
    int16_t *marks;
    int16_t *copy;
};

void FreePlanes(MemoryContext memory, Planes &p) {
    for (int16_t *&m : p.maps) FreeAndClear(memory, m);
    FreeAndClear(memory, p.contrast);
    FreeAndClear(memory, p.maxContrast);
    FreeAndClear(memory, p.marks);
    FreeAndClear(memory, p.copy);
}

bool AllocatePlanes(MemoryContext memory, uint64_t n, Planes &p) {
    for (int16_t *&m : p.maps)
        if (!(m = AllocateZeroed<int16_t>(memory, n))) return false;
    return (p.contrast = AllocateZeroed<int16_t>(memory, n)) &&
           (p.maxContrast = AllocateZeroed<int16_t>(memory, n)) &&
           (p.marks = AllocateZeroed<int16_t>(memory, n)) &&
           (p.copy = AllocateZeroed<int16_t>(memory, n));
}

int32_t Abs(int32_t v) { return v < 0 ? -v : v; }

int32_t LocalContrast(const uint8_t *p, int32_t pitch) {
    return (Abs(p[-1] - p[1]) + Abs(p[-pitch] - p[pitch])) >> 1;
}

// Weights and the largest local contrast of the three exposures at interior pixels.
void FirstPass(const uint8_t *const luma[3], const uint8_t *reference, int32_t w, int32_t h,
               int32_t pitch, Planes &p) {
    for (int32_t y = 1; y < h - 1; ++y) {
        for (int32_t x = 1; x < w - 1; ++x) {
            const size_t at = static_cast<size_t>(y) * pitch + x;
            int32_t m = 0;
            for (int e = 0; e < 3; ++e) {
                const int32_t c = LocalContrast(luma[e] + at, pitch);
                if (c > m) m = c;
            }
            const size_t i = static_cast<size_t>(y) * w + x;
            p.maxContrast[i] = static_cast<int16_t>(m);
            int32_t r, d, b;
            LumaWeights(reference[at], &r, &d, &b);
            p.maps[kMapReference][i] = static_cast<int16_t>(r);
            p.maps[kMapDark][i] = static_cast<int16_t>(d);
            p.maps[kMapBright][i] = static_cast<int16_t>(b);
        }
    }
}

void ContrastLevels(const uint8_t *reference, int32_t w, int32_t h, int32_t pitch, Planes &p) {
    for (int32_t y = 1; y < h - 1; ++y) {
        for (int32_t x = 1; x < w - 1; ++x) {
            const size_t i = static_cast<size_t>(y) * w + x;
            const int32_t v = p.maxContrast[i];
            if (v >= 9) {
                p.contrast[i] = 255;
                if (reference[static_cast<size_t>(y) * pitch + x] > 192) p.marks[i] = 255;
            } else {
                p.contrast[i] = static_cast<int16_t>(v >= 5 ? 63 * v - 252 : 0);
            }
        }
    }
}

// Near highlight detail the unsmoothed weights (in copy) are kept in proportion to the
// spread marks.
void KeepDetail(int16_t *map, const int16_t *copy, const int16_t *marks, int32_t w, int32_t h) {
    if (w < 9 || h < 9) return;
    for (int32_t y = 4; y <= h - 5; ++y) {
        for (int32_t x = 4; x <= w - 5; ++x) {
            const size_t i = static_cast<size_t>(y) * w + x;
            const int32_t mark4 = 4 * marks[i];
            const int32_t d = mark4 < 256 ? mark4 : 256;
            map[i] = static_cast<int16_t>((copy[i] * d + map[i] * (256 - d) + 128) >> 8);
        }
    }
}

int Smooth(MemoryContext memory, int16_t *plane, int32_t w, int32_t h, int32_t radius, int32_t mode) {
    const int32_t r = BoxFilterPlane16(memory, plane, w, h, w, radius, mode);
    return r == RESULT_OK ? RESULT_OK : RESULT_OUT_OF_MEMORY;
}

int BuildMaps(MemoryContext memory, const uint8_t *const luma[3], const uint8_t *reference,
              int32_t w, int32_t h, int32_t pitch, Planes &p) {
    FirstPass(luma, reference, w, h, pitch, p);
    if (Smooth(memory, p.maxContrast, w, h, 4, 1) != RESULT_OK) return RESULT_OUT_OF_MEMORY;
    ContrastLevels(reference, w, h, pitch, p);
    if (Smooth(memory, p.marks, w, h, 8, 2) != RESULT_OK || Smooth(memory, p.marks, w, h, 8, 1) != RESULT_OK)
        return RESULT_OUT_OF_MEMORY;
    const size_t bytes = sizeof(int16_t) * static_cast<size_t>(w) * h;
    for (int m : {kMapDark, kMapBright, kMapReference}) {
        CopyBytes(p.copy, p.maps[m], bytes);
        if (Smooth(memory, p.maps[m], w, h, 16, 1) != RESULT_OK) return RESULT_OUT_OF_MEMORY;
        KeepDetail(p.maps[m], p.copy, p.marks, w, h);
    }
    return RESULT_OK;
}

bool ValidExposureIndex(int32_t i) { return i >= 0 && i < kMaxExposures; }

}  // namespace

int BuildLowResWeightMaps(MemoryContext memory, HdrSession *s, ImageDesc *const *images) {
    if (!s || !images || !ValidExposureIndex(s->darkIndex) || !ValidExposureIndex(s->brightIndex) ||
        !ValidExposureIndex(s->referenceIndex))
        return RESULT_INVALID_ARGUMENT;
    const ImageDesc *first = images[0];
    if (!first) return RESULT_INVALID_ARGUMENT;
    const int32_t w = first->i32Width, h = first->i32Height, pitch = first->pi32Pitch[0];
    // The three exposures are taken through their indices, not as slots 0..2: a run of one or
    // two exposures leaves the other thumbnail slots unwritten, and its indices name only the
    // slots it filled. The largest contrast is the same whichever order the three come in.
    int32_t indices[3];
    indices[kMapDark] = s->darkIndex;
    indices[kMapBright] = s->brightIndex;
    indices[kMapReference] = s->referenceIndex;
    const uint8_t *luma[3];
    for (int e = 0; e < 3; ++e) {
        const ImageDesc *image = images[indices[e]];
        if (!image || !image->ppu8Plane[0] || image->i32Width != w || image->i32Height != h ||
            image->pi32Pitch[0] < pitch)
            return RESULT_INVALID_ARGUMENT;
        luma[e] = image->ppu8Plane[0];
    }
    if (w < 1 || h < 1 || pitch < w) return RESULT_INVALID_ARGUMENT;
    Planes p{};
    const uint64_t n = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
    int result = AllocatePlanes(memory, n, p) ? RESULT_OK : RESULT_OUT_OF_MEMORY;
    if (result == RESULT_OK) result = BuildMaps(memory, luma, luma[kMapReference], w, h, pitch, p);
    if (result != RESULT_OK) {
        FreePlanes(memory, p);
        return result;
    }
    FreeAndClear(memory, p.maxContrast);
    FreeAndClear(memory, p.marks);
    FreeAndClear(memory, p.copy);
    for (int m = 0; m < 3; ++m) {
        FreeAndClear(memory, s->contrastWeightMaps[m]);
        s->contrastWeightMaps[m] = p.maps[m];
    }
    FreeAndClear(memory, s->ghostMap);
    s->ghostMap = p.contrast;
    return RESULT_OK;
}
