// Digests that pin merged pictures byte for byte, the stored tables they are checked against,
// and small synthetic brackets in every pixel format the merges take. Header-only: shared by
// the digest tests of both merge roads and of the merge program.
//
// A digest is the 64-bit FNV-1a of the picture's rows (only the bytes each row's pixels
// cover, plane after plane), written as 16 hex digits. A test looks a case up by its name in
// a table of StoredDigest lines. With TONEFOLD_PRINT_DIGESTS=1 in the environment, each case
// also prints its table line with the digest it got, ready to paste over the old one.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "align/synthetic_scene_support.h"
#include "core/constant_tables.h"
#include "core/engine_types.h"
#include "core/hdr_engine.h"
#include "core/pixel_format.h"

namespace picture_digest {

// ---- Digests and their tables ----

inline uint64_t Fnv1a(uint64_t hash, const uint8_t *bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) hash = (hash ^ bytes[i]) * 0x100000001B3ull;
    return hash;
}

constexpr uint64_t kFnvOffset = 0xCBF29CE484222325ull;

// The rows of every plane of a picture; padding after a row's pixels is not part of it.
inline uint64_t DigestOfPicture(const ImageDesc &d) {
    const PixelFormatInfo *info = FindPixelFormat(d.u32PixelArrayFormat);
    if (!info) return 0;
    uint64_t hash = kFnvOffset;
    for (int p = 0; p < info->planes; ++p) {
        const int32_t rows = p == 0 ? d.i32Height : d.i32Height >> info->chromaRowShift;
        const size_t bytes = size_t(MinimumRowBytes(*info, p, d.i32Width));
        for (int32_t r = 0; r < rows; ++r)
            hash = Fnv1a(hash, d.ppu8Plane[p] + int64_t{r} * d.pi32Pitch[p], bytes);
    }
    return hash;
}

inline std::string Hex(uint64_t digest) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(digest));
    return text;
}

// One line of a digest table: a case's name and the 16 hex digits of its picture's digest.
struct StoredDigest {
    const char *name;
    const char *hex;
};

inline bool PrintDigests() {
    const char *value = std::getenv("TONEFOLD_PRINT_DIGESTS");
    return value && std::strcmp(value, "1") == 0;
}

// Compares a case's digest with its table line. With TONEFOLD_PRINT_DIGESTS=1 the line the
// table needs is printed first, in the table's own form.
template <size_t N>
::testing::AssertionResult MatchesStoredDigest(const StoredDigest (&table)[N],
                                               const std::string &name, uint64_t digest) {
    if (PrintDigests())
        std::printf("    {\"%s\", \"%s\"},\n", name.c_str(), Hex(digest).c_str());
    for (const StoredDigest &line : table) {
        if (name != line.name) continue;
        if (Hex(digest) == line.hex) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << name << ": the picture changed (digest " << Hex(digest) << ", stored "
               << line.hex << "). If the change is meant, run with TONEFOLD_PRINT_DIGESTS=1 "
               << "and update the table, saying why in the commit.";
    }
    return ::testing::AssertionFailure()
           << name << ": no stored digest (got " << Hex(digest)
           << "); run with TONEFOLD_PRINT_DIGESTS=1 to print its table line.";
}

// ---- Pictures in any format ----

// A picture of one format whose planes the test owns, each row followed by `pad` bytes.
struct OwnedPicture {
    std::vector<uint8_t> planes[3];
    ImageDesc desc{};
};

// Luma, U and V of pixel (x, y).
using PixelFn = std::function<void(int32_t x, int32_t y, uint8_t yuv[3])>;

// Fills a picture of `format` from per-pixel samples. Chroma shared by a pixel pair comes from
// its even pixel; chroma shared by a row pair from its even row. NV21 keeps V before U.
inline OwnedPicture MakePicture(uint32_t format, int32_t w, int32_t h, int32_t pad,
                                const PixelFn &pixel) {
    OwnedPicture pic;
    const PixelFormatInfo *info = FindPixelFormat(format);
    ImageDesc &d = pic.desc;
    d.u32PixelArrayFormat = format;
    d.i32Width = w;
    d.i32Height = h;
    for (int p = 0; p < info->planes; ++p) {
        const int32_t rows = p == 0 ? h : h >> info->chromaRowShift;
        d.pi32Pitch[p] = int32_t(MinimumRowBytes(*info, p, w)) + pad;
        pic.planes[p].assign(size_t(d.pi32Pitch[p]) * rows, 0);
        d.ppu8Plane[p] = pic.planes[p].data();
    }
    const bool packed = info->planes == 1 && info->lumaBytes == 2;
    const bool swapped = format == PIXEL_FORMAT_NV21;
    uint8_t yuv[3], pair[3];
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            pixel(x, y, yuv);
            if (packed) {
                pixel(x & ~1, y, pair);
                uint8_t *row = d.ppu8Plane[0] + int64_t{y} * d.pi32Pitch[0];
                row[2 * x] = yuv[0];
                row[2 * x + 1] = (x & 1) ? pair[2] : pair[1];
                continue;
            }
            d.ppu8Plane[0][int64_t{y} * d.pi32Pitch[0] + x] = yuv[0];
            if (info->planes == 1) continue;
            const int32_t cx = x >> info->chromaColShift, cy = y >> info->chromaRowShift;
            if ((cx << info->chromaColShift) != x || (cy << info->chromaRowShift) != y) continue;
            if (cy >= (h >> info->chromaRowShift)) continue;
            if (info->pairing == ChromaPairing::kSemiPlanar) {
                if (x & 1) continue;
                uint8_t *uv = d.ppu8Plane[1] + int64_t{cy} * d.pi32Pitch[1] + x;
                uv[0] = swapped ? yuv[2] : yuv[1];
                uv[1] = swapped ? yuv[1] : yuv[2];
            } else {
                d.ppu8Plane[1][int64_t{cy} * d.pi32Pitch[1] + cx] = yuv[1];
                d.ppu8Plane[2][int64_t{cy} * d.pi32Pitch[2] + cx] = yuv[2];
            }
        }
    return pic;
}

// A picture like `like` (format, size, pitches) filled with `fill`.
inline OwnedPicture BlankLike(const ImageDesc &like, uint8_t fill) {
    OwnedPicture pic;
    const PixelFormatInfo *info = FindPixelFormat(like.u32PixelArrayFormat);
    pic.desc = like;
    for (int p = 0; p < 3; ++p) {
        pic.desc.ppu8Plane[p] = nullptr;
        if (p >= info->planes) continue;
        const int32_t rows = p == 0 ? like.i32Height : like.i32Height >> info->chromaRowShift;
        pic.planes[p].assign(size_t(like.pi32Pitch[p]) * rows, fill);
        pic.desc.ppu8Plane[p] = pic.planes[p].data();
    }
    return pic;
}

// Short names of the formats for case names.
inline std::string FormatName(uint32_t format) {
    switch (format) {
        case PIXEL_FORMAT_YUYV: return "yuyv";
        case PIXEL_FORMAT_I420: return "i420";
        case PIXEL_FORMAT_NV12: return "nv12";
        case PIXEL_FORMAT_NV21: return "nv21";
        case PIXEL_FORMAT_NV16: return "nv16";
        case PIXEL_FORMAT_YUV422P: return "yuv422p";
        default: {
            char text[16];
            std::snprintf(text, sizeof text, "0x%x", format);
            return text;
        }
    }
}

// The formats of each road.
inline const uint32_t kRunFormats[] = {PIXEL_FORMAT_YUYV, PIXEL_FORMAT_I420, PIXEL_FORMAT_NV12,
                                       PIXEL_FORMAT_NV21, PIXEL_FORMAT_NV16};
inline const uint32_t kTwoCallFormats[] = {PIXEL_FORMAT_YUYV, PIXEL_FORMAT_NV12,
                                           PIXEL_FORMAT_NV21, PIXEL_FORMAT_NV16,
                                           PIXEL_FORMAT_I420, 0x605, PIXEL_FORMAT_YUV422P};

// ---- Synthetic brackets ----

// The scene in 12-bit linear light at a real position of a w x h frame: a textured ramp from
// deep shadow to bright, a checker, a bright window and a deep-shadow patch.
inline double SceneLevel(int32_t w, int32_t h, double x, double y) {
    static const synthetic::Scene texture(5);
    const double t = 0.5 + 1.5 * texture(x, y);
    double level = (60.0 + 1900.0 * x / (w - 1)) * t;
    if (x >= w / 8 && x < 3 * w / 8 && y >= h / 4 && y < h / 2)
        level *= (int(std::floor(x / 16) + std::floor(y / 16)) & 1) ? 1.6 : 0.4;
    if (x >= 5 * w / 8 && x < 7 * w / 8 && y >= h / 8 && y < 3 * h / 8) level = 3800.0 * t;
    if (x >= w / 8 && x < 3 * w / 8 && y >= 5 * h / 8 && y < 7 * h / 8) level = 6.0 * t;
    return level;
}

// Chroma: neutral but for a warm and a cool patch.
inline void SceneChroma(int32_t w, int32_t h, double x, double y, uint8_t *u, uint8_t *v) {
    *u = *v = 128;
    if (x >= w / 2 && x < 5 * w / 8 && y >= h / 2 && y < 3 * h / 4) *u = 90, *v = 170;
    if (x >= 3 * w / 4 && y >= 3 * h / 4) *u = 170, *v = 100;
}

// How one exposure of a bracket sees the scene.
struct Shot {
    double gain = 1;
    double dx = 0, dy = 0;  // pixel (x, y) shows the scene at (x + dx, y + dy)
    double scale = 1;       // then scaled about the frame's centre
    double objectX = -1e9;  // centre of a bright disc that moves between shots
    double objectY = -1e9;
};

// The scene's levels and chroma at every whole pixel of a w x h frame, worked out once.
struct SceneGrid {
    int32_t w = 0, h = 0;
    std::vector<double> level;
    std::vector<uint8_t> u, v;
    SceneGrid(int32_t width, int32_t height)
        : w(width), h(height), level(size_t(w) * h), u(level.size()), v(level.size()) {
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const size_t i = size_t(y) * w + x;
                level[i] = SceneLevel(w, h, x, y);
                SceneChroma(w, h, x, y, &u[i], &v[i]);
            }
    }
};

// One shot of the scene, the scene sampled at the nearest whole pixel (clamped to the frame).
inline PixelFn ShotPixels(const SceneGrid &grid, const Shot &shot) {
    return [&grid, shot](int32_t x, int32_t y, uint8_t yuv[3]) {
        const int32_t w = grid.w, h = grid.h;
        double sx = x + shot.dx, sy = y + shot.dy;
        sx = w / 2.0 + shot.scale * (sx - w / 2.0);
        sy = h / 2.0 + shot.scale * (sy - h / 2.0);
        const int32_t ix = std::clamp(int32_t(std::lround(sx)), 0, w - 1);
        const int32_t iy = std::clamp(int32_t(std::lround(sy)), 0, h - 1);
        const size_t i = size_t(iy) * w + ix;
        double level = grid.level[i];
        yuv[1] = grid.u[i];
        yuv[2] = grid.v[i];
        const double ox = x - shot.objectX, oy = y - shot.objectY;
        if (ox * ox + oy * oy < 28.0 * 28.0) {
            level = 2600.0;
            yuv[1] = 150;
            yuv[2] = 96;
        }
        const int code = int(std::clamp(shot.gain * level, 0.0, 4095.0));
        yuv[0] = kGammaCompressTable[code];
    };
}

// A shot rendered once as full-resolution luma and chroma planes, for every format to sample.
struct ShotPlanes {
    int32_t w = 0, h = 0;
    std::vector<uint8_t> yuv;  // three bytes a pixel
    ShotPlanes(const SceneGrid &grid, const Shot &shot)
        : w(grid.w), h(grid.h), yuv(size_t(w) * h * 3) {
        const PixelFn pixel = ShotPixels(grid, shot);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) pixel(x, y, &yuv[(size_t(y) * w + x) * 3]);
    }
    PixelFn Pixels() const {
        return [this](int32_t x, int32_t y, uint8_t out[3]) {
            std::memcpy(out, &yuv[(size_t(y) * w + x) * 3], 3);
        };
    }
};

// A bracket of three shots: inputs 0, 1, 2 at gains 1, 1/4 and 4 (middle, dark, bright).
struct SceneCase {
    const char *name;
    Shot shots[3];
};

inline std::vector<SceneCase> SceneCases(int32_t w, int32_t h) {
    const Shot middle{1.0}, dark{0.25}, bright{4.0};
    Shot darkMoved = dark;
    darkMoved.dx = 16;  // two thumbnail pixels
    // A zoom the registration finds: the motion grids differ from column to column, so the
    // band pass interpolates them along each row.
    Shot darkZoomed = dark;
    darkZoomed.scale = 1.03;
    SceneCase moving{"moving-object", {middle, dark, bright}};
    for (int i = 0; i < 3; ++i) {
        moving.shots[i].objectX = w / 2.0 + 48.0 * (i - 1);
        moving.shots[i].objectY = h / 2.0 + 24.0 * (i - 1);
    }
    return {SceneCase{"still", {middle, dark, bright}},
            SceneCase{"dark-moved-16", {middle, darkMoved, bright}},
            SceneCase{"dark-zoomed", {middle, darkZoomed, bright}}, moving};
}

struct Bracket {
    OwnedPicture pictures[3];
    ImageDesc inputs[3];
};

// The three shots of a scene case, rendered once.
struct RenderedCase {
    std::string name;
    std::vector<ShotPlanes> shots;
};

inline std::vector<RenderedCase> RenderSceneCases(int32_t w, int32_t h) {
    const SceneGrid grid(w, h);
    std::vector<RenderedCase> cases;
    for (const SceneCase &c : SceneCases(w, h)) {
        RenderedCase r{c.name, {}};
        for (const Shot &shot : c.shots) r.shots.emplace_back(grid, shot);
        cases.push_back(std::move(r));
    }
    return cases;
}

inline Bracket MakeBracket(uint32_t format, const RenderedCase &c, int32_t pad = 8) {
    Bracket b;
    for (int i = 0; i < 3; ++i) {
        const ShotPlanes &shot = c.shots[size_t(i)];
        b.pictures[i] = MakePicture(format, shot.w, shot.h, pad, shot.Pixels());
        b.inputs[i] = b.pictures[i].desc;
    }
    return b;
}

// ---- The two roads, with the application's defaults (ghost level 6, tone length 45,
// brightness 10, tone saturation 40) ----

inline HdrSession *NewSession() {
    HdrSession *s = nullptr;
    if (CreateHdrSession(nullptr, 0, &s) != RESULT_OK) return nullptr;
    SetGhostSuppressionLevel(0, s, 6);
    return s;
}

// RunHdrMerge into input 2.
inline int MergeWithRun(Bracket &b) {
    HdrSession *s = NewSession();
    if (!s) return RESULT_OUT_OF_MEMORY;
    const MergeParams params{45, 10, 40};
    const int r = RunHdrMerge(nullptr, s, b.inputs, 3, b.inputs, 2, &params, 0, nullptr, nullptr);
    DestroyHdrSession(nullptr, s);
    return r;
}

// MergeToIntermediate into a parity-split intermediate, then ToneMapIntermediate into
// `picture` (made like input 0).
inline int MergeWithTwoCalls(Bracket &b, OwnedPicture *picture) {
    HdrSession *s = NewSession();
    if (!s) return RESULT_OUT_OF_MEMORY;
    OwnedPicture even = BlankLike(b.inputs[0], 0x55);
    OwnedPicture odd = BlankLike(b.inputs[0], 0x55);
    const ImageDesc intermediate[2] = {even.desc, odd.desc};
    int r = MergeToIntermediate(nullptr, s, b.inputs, 0, 3, intermediate,
                                INTERMEDIATE_LAYOUT_PARITY_SPLIT, 0, 0, nullptr, nullptr);
    *picture = BlankLike(b.inputs[0], 0);
    if (r == RESULT_OK)
        r = ToneMapIntermediate(nullptr, s, intermediate, 3, &picture->desc, 45, 10, nullptr,
                                nullptr);
    DestroyHdrSession(nullptr, s);
    return r;
}

// Pixels of a packed 4:2:2 picture (Y0 U Y1 V) at the given pitch.
inline PixelFn PackedPixels(const uint8_t *bytes, int32_t pitch) {
    return [bytes, pitch](int32_t x, int32_t y, uint8_t yuv[3]) {
        const uint8_t *row = bytes + int64_t{y} * pitch;
        yuv[0] = row[2 * x];
        yuv[1] = row[4 * (x / 2) + 1];
        yuv[2] = row[4 * (x / 2) + 3];
    };
}

}  // namespace picture_digest
