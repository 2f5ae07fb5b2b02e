// Registration of the two other exposures of a bracket of small frames (thumbnails of 16 to
// 48 pixels a side) to the reference, on a session prepared as the run leaves it: reference
// features, tracking, the projective fit and its fallbacks, thumbnail warps, the motion grid
// and the block refinement. The scene, exposure gains, motion (translation, rotation, scale,
// perspective) and any number of overwritten pixels come from the input.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "../tests/align/registration_session_support.h"
#include "fuzz_input.h"

namespace {

using synthetic::Frame;
using synthetic::Homography;

// Linear light of a scene made of cells of the input's bytes (nearest or bilinear), over
// the seeded textured scene or alone.
struct FuzzScene {
    synthetic::Scene textured;
    bool useTextured = true;
    bool bilinear = false;
    int32_t cell = 16;
    int32_t columns = 1, rows = 1;
    uint8_t levels[16 * 16] = {};

    double Cells(double x, double y) const {
        const double u = x / cell, v = y / cell;
        auto level = [&](int64_t i, int64_t j) {
            i = i < 0 ? 0 : i >= columns ? columns - 1 : i;
            j = j < 0 ? 0 : j >= rows ? rows - 1 : j;
            return levels[j * columns + i] / 255.0;
        };
        const double fu = std::floor(u), fv = std::floor(v);
        const auto i = static_cast<int64_t>(fu), j = static_cast<int64_t>(fv);
        if (!bilinear) return level(i, j);
        const double tx = u - fu, ty = v - fv;
        return (level(i, j) * (1 - tx) + level(i + 1, j) * tx) * (1 - ty) +
               (level(i, j + 1) * (1 - tx) + level(i + 1, j + 1) * tx) * ty;
    }
    double operator()(double x, double y) const {
        if (!std::isfinite(x) || !std::isfinite(y)) return 0;
        const double c = 0.02 + 0.6 * Cells(x, y);
        return useTextured ? 0.5 * (textured(x, y) + c) : c;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput in(data, size);
    const int32_t width = 2 * in.InRange(64, 192), height = 2 * in.InRange(64, 160);
    FuzzScene scene{synthetic::Scene(in.Take<uint16_t>(), in.InRange(0, 7) == 0)};
    scene.useTextured = in.InRange(0, 1);
    scene.bilinear = in.InRange(0, 1);
    scene.cell = in.InRange(4, 96);
    scene.columns = in.InRange(1, 16);
    scene.rows = in.InRange(1, 16);
    for (uint8_t &level : scene.levels) level = in.Take<uint8_t>();

    // Exposure-to-scene motion of the two other frames: rotation and scale about the centre,
    // then a translation and a mild perspective.
    const double degrees = in.InRange(-800, 800) / 100.0;
    const double scale = 1 + in.InRange(-100, 100) / 1000.0;
    const double dx = in.InRange(-256, 256) / 4.0, dy = in.InRange(-256, 256) / 4.0;
    const double px = in.InRange(-100, 100) * 2e-6, py = in.InRange(-100, 100) * 2e-6;
    Homography m = Homography::RotationScale(degrees, scale, width / 2.0, height / 2.0);
    m.m[2] += dx;
    m.m[5] += dy;
    m.m[6] = px;
    m.m[7] = py;
    const double darkGain = in.InRange(1, 64) / 64.0, brightGain = in.InRange(64, 1024) / 64.0;

    // The scene is rendered once at the reference's geometry; the other frames sample that
    // rendering through the motion (bilinear, edges extended), which keeps a run fast.
    std::vector<float> radiance(static_cast<size_t>(width) * height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            radiance[static_cast<size_t>(y) * width + x] = static_cast<float>(scene(x, y));
    auto makeFrame = [&](double gain, const Homography *motion, int32_t padding) {
        Frame f;
        f.width = width;
        f.height = height;
        f.pitch = 2 * width + padding;
        f.bytes.assign(static_cast<size_t>(f.pitch) * height, 0xA5);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) {
                double sx = x, sy = y;
                if (motion) motion->Apply(x, y, &sx, &sy);
                if (!std::isfinite(sx) || !std::isfinite(sy)) sx = sy = 0;
                sx = std::clamp(sx, 0.0, width - 1.0);
                sy = std::clamp(sy, 0.0, height - 1.0);
                const int32_t x0 = std::min(static_cast<int32_t>(sx), width - 2);
                const int32_t y0 = std::min(static_cast<int32_t>(sy), height - 2);
                const double tx = sx - x0, ty = sy - y0;
                const float *r0 = &radiance[static_cast<size_t>(y0) * width + x0];
                const float *r1 = r0 + width;
                const double value = (r0[0] * (1 - tx) + r0[1] * tx) * (1 - ty) +
                                     (r1[0] * (1 - tx) + r1[1] * tx) * ty;
                uint8_t *pixel = f.bytes.data() + static_cast<size_t>(y) * f.pitch + 2 * x;
                pixel[0] = synthetic::EncodeSrgbFast(gain * value);
                pixel[1] = 128;
            }
        return f;
    };
    Frame dark = makeFrame(darkGain, &m, 0);
    Frame reference = makeFrame(1.0, nullptr, 2 * in.InRange(0, 4));
    Frame bright = makeFrame(brightGain, &m, 0);
    // Overwritten pixels: frame, position and the new luma and chroma bytes.
    Frame *frames[3] = {&dark, &reference, &bright};
    for (int32_t n = in.InRange(0, 64); n > 0; --n) {
        Frame &f = *frames[in.InRange(0, 2)];
        const int32_t x = in.InRange(0, width - 1), y = in.InRange(0, height - 1);
        uint8_t *pixel = f.bytes.data() + static_cast<size_t>(y) * f.pitch + 2 * x;
        pixel[0] = in.Take<uint8_t>();
        pixel[1] = in.Take<uint8_t>();
    }

    synthetic::RegistrationSession session({&dark, &reference, &bright});
    if (!session.ok()) return 0;
    if (session.RegisterBoth() != RESULT_OK) return 0;
    const HdrSession *s = session.session();
    for (int32_t i : {s->darkIndex, s->brightIndex}) {
        if (i == s->referenceIndex) continue;
        const PixelRect &b = s->overlapBounds[i];
        const int32_t tw = s->smallImages[i]->i32Width, th = s->smallImages[i]->i32Height;
        if (b.x0 < 0 || b.y0 < 0 || b.x1 > tw || b.y1 > th) __builtin_trap();
        if (s->misaligned[i] != 0 && s->misaligned[i] != 1) __builtin_trap();
    }
    return 0;
}
