// A synthetic three-exposure bracket for the two-call merge's planning: a linear 12-bit scene
// (a textured horizontal ramp, a checker region, a bright window, a deep-shadow patch) shown
// at gains 1, 1/4 and 4 (inputs 0, 1, 2), in any accepted pixel format, with an optional
// whole-pixel shift of the dark exposure. Header-only: shared by the tests and the benchmark.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "../align/synthetic_scene_support.h"
#include "core/engine_types.h"
#include "core/memory.h"
#include "core/session.h"

namespace alt_bracket {

inline double Linear(int32_t w, int32_t h, int32_t x, int32_t y) {
    static const synthetic::Scene scene(5);
    const double texture = 0.5 + 1.5 * scene(x, y);
    double level = (60.0 + 1900.0 * x / std::max(1, w - 1)) * texture;
    if (x >= w / 8 && x < 3 * w / 8 && y >= h / 4 && y < h / 2)
        level *= ((x / 16 + y / 16) & 1) ? 1.6 : 0.4;  // checker
    if (x >= 5 * w / 8 && x < 7 * w / 8 && y >= h / 8 && y < 3 * h / 8)
        level = 3800.0 * texture;  // bright window
    if (x >= w / 8 && x < 3 * w / 8 && y >= 5 * h / 8 && y < 7 * h / 8)
        level = 6.0 * texture;  // deep shadow
    return level;
}

inline uint8_t Code(const uint8_t *compress, double level) {
    const int v = static_cast<int>(std::clamp(level, 0.0, 4095.0));
    return compress[v];
}

// Chroma at (x, y): neutral except two coloured patches.
inline void Chroma(int32_t w, int32_t h, int32_t x, int32_t y, uint8_t *u, uint8_t *v) {
    *u = *v = 128;
    if (x >= w / 2 && x < 5 * w / 8 && y >= h / 2 && y < 3 * h / 4) *u = 90, *v = 170;
    if (x >= 3 * w / 4 && y >= 3 * h / 4) *u = 170, *v = 100;
}

// A scene: linear light at (x, y) of a w x h frame.
using SceneFn = double (*)(int32_t w, int32_t h, int32_t x, int32_t y);

struct Frame {
    std::vector<uint8_t> planes[3];
    ImageDesc desc{};
};

// Pixel (x, y) of an exposure shows the scene at (x + dx, y + dy).
inline void Render(Frame *f, const uint8_t *compress, uint32_t format, int32_t w, int32_t h,
                   double gain, int32_t dx, int32_t dy, int32_t pad, SceneFn scene = Linear) {
    ImageDesc &d = f->desc;
    d.u32PixelArrayFormat = format;
    d.i32Width = w;
    d.i32Height = h;
    const bool packed = format == PIXEL_FORMAT_YUYV;
    const int32_t cw = (format == PIXEL_FORMAT_NV12 || format == PIXEL_FORMAT_NV21 ||
                        format == PIXEL_FORMAT_NV16)
                           ? w
                           : w / 2;
    const int32_t ch = (format == PIXEL_FORMAT_I420 || format == 0x605 ||
                        format == PIXEL_FORMAT_NV12 || format == PIXEL_FORMAT_NV21)
                           ? h / 2
                           : h;
    const int planeCount = packed ? 1 : (cw == w ? 2 : 3);
    d.pi32Pitch[0] = (packed ? 2 * w : w) + pad;
    for (int p = 1; p < planeCount; ++p) d.pi32Pitch[p] = cw + pad;
    f->planes[0].assign(size_t(d.pi32Pitch[0]) * h, 0);
    for (int p = 1; p < planeCount; ++p) f->planes[p].assign(size_t(d.pi32Pitch[p]) * ch, 0);
    for (int p = 0; p < planeCount; ++p) d.ppu8Plane[p] = f->planes[p].data();
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const int32_t sx = std::clamp(x + dx, 0, w - 1), sy = std::clamp(y + dy, 0, h - 1);
            const uint8_t luma = Code(compress, gain * scene(w, h, sx, sy));
            uint8_t u, v;
            Chroma(w, h, sx, sy, &u, &v);
            if (packed) {
                uint8_t *row = d.ppu8Plane[0] + int64_t{y} * d.pi32Pitch[0];
                row[2 * x] = luma;
                row[2 * x + 1] = (x & 1) ? v : u;
                continue;
            }
            d.ppu8Plane[0][int64_t{y} * d.pi32Pitch[0] + x] = luma;
            if (ch != h && (y & 1)) continue;
            const int32_t cy = ch == h ? y : y / 2;
            if (cy >= ch) continue;
            if (cw == w) {
                if (x & 1) continue;
                uint8_t *uv = d.ppu8Plane[1] + int64_t{cy} * d.pi32Pitch[1] + x;
                uv[0] = u;
                uv[1] = v;
            } else if (!(x & 1)) {
                d.ppu8Plane[1][int64_t{cy} * d.pi32Pitch[1] + x / 2] = u;
                d.ppu8Plane[2][int64_t{cy} * d.pi32Pitch[2] + x / 2] = v;
            }
        }
}

// Inputs 0, 1, 2 at gains 1, 1/4, 4: input 1 is the dark exposure, input 2 the bright one.
class Bracket {
  public:
    Bracket(const uint8_t *compress, uint32_t format, int32_t w, int32_t h, int32_t darkDx = 0,
            int32_t darkDy = 0, int32_t pad = 0, SceneFn scene = Linear) {
        const double gains[3] = {1.0, 0.25, 4.0};
        for (int i = 0; i < 3; ++i) {
            Render(&frames_[i], compress, format, w, h, gains[i], i == 1 ? darkDx : 0,
                   i == 1 ? darkDy : 0, pad, scene);
            descs_[i] = frames_[i].desc;
        }
    }
    ImageDesc *inputs() { return descs_; }

  private:
    Frame frames_[3];
    ImageDesc descs_[3];
};

struct SessionHolder {
    explicit SessionHolder(MemoryContext memory = nullptr) : memory(memory) {
        CreateHdrSession(memory, 0, &session);
    }
    ~SessionHolder() {
        if (session) DestroyHdrSession(memory, session);
    }
    MemoryContext memory;
    HdrSession *session = nullptr;
};

}  // namespace alt_bracket
