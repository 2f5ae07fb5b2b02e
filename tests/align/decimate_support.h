// Test images for the decimation tests and a brute-force model of the decimation taps.
//
// Images are built plane by plane in separate vectors of exactly rows x pitch bytes with the
// smallest pitches the kernels accept, so that AddressSanitizer sees any read past a plane.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "core/engine_types.h"

namespace decimate_test {

// Each format with a decimation kernel and the largest factor its kernels take.
struct FormatFactors {
    uint32_t format;
    int maxFactor;
};

inline constexpr FormatFactors kFormats[] = {
    {PIXEL_FORMAT_YUYV, 14}, {PIXEL_FORMAT_I420, 14},   {PIXEL_FORMAT_NV21, 10},
    {PIXEL_FORMAT_NV12, 8},  {PIXEL_FORMAT_YUV422P, 8}, {PIXEL_FORMAT_NV16, 8},
};

struct TestImage {
    uint32_t format = 0;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> planes[3];
    int32_t pitch[3] = {0, 0, 0};
    ImageDesc desc{};

    bool Packed() const { return format == PIXEL_FORMAT_YUYV; }
    bool Chroma420() const {
        return format == PIXEL_FORMAT_I420 || format == PIXEL_FORMAT_NV12 ||
               format == PIXEL_FORMAT_NV21;
    }
    bool Interleaved() const {
        return format == PIXEL_FORMAT_NV12 || format == PIXEL_FORMAT_NV21 ||
               format == PIXEL_FORMAT_NV16;
    }

    // Addressing of the source formats: Y(x, y); U and V of chroma pair k in chroma row r.
    uint8_t &Y(int32_t x, int32_t y) {
        return Packed() ? planes[0][y * pitch[0] + 2 * x] : planes[0][y * pitch[0] + x];
    }
    uint8_t &U(int32_t k, int32_t r) {
        if (Packed()) return planes[0][r * pitch[0] + 4 * k + 1];
        if (Interleaved())
            return planes[1][r * pitch[1] + 2 * k + (format == PIXEL_FORMAT_NV21 ? 1 : 0)];
        return planes[1][r * pitch[1] + k];
    }
    uint8_t &V(int32_t k, int32_t r) {
        if (Packed()) return planes[0][r * pitch[0] + 4 * k + 3];
        if (Interleaved())
            return planes[1][r * pitch[1] + 2 * k + (format == PIXEL_FORMAT_NV21 ? 0 : 1)];
        return planes[2][r * pitch[2] + k];
    }
    int32_t ChromaRow(int32_t y) const { return Chroma420() ? y / 2 : y; }
    int32_t Pairs() const { return Packed() ? (width + 1) / 2 : width / 2; }
    int32_t ChromaRows() const { return Chroma420() ? height / 2 : height; }
};

// An image of the format with tight pitches, every byte from fill(plane, index).
template <typename Fill>
TestImage MakeImage(uint32_t format, int32_t width, int32_t height, Fill fill) {
    TestImage img;
    img.format = format;
    img.width = width;
    img.height = height;
    int32_t rows[3] = {height, 0, 0};
    if (img.Packed()) {
        img.pitch[0] = 4 * ((width + 1) / 2);
    } else {
        img.pitch[0] = width;
        const int32_t chromaRows = img.Chroma420() ? height / 2 : height;
        if (img.Interleaved()) {
            img.pitch[1] = 2 * (width / 2);
            rows[1] = chromaRows;
        } else {
            img.pitch[1] = img.pitch[2] = width / 2;
            rows[1] = rows[2] = chromaRows;
        }
    }
    img.desc.u32PixelArrayFormat = format;
    img.desc.i32Width = width;
    img.desc.i32Height = height;
    for (int p = 0; p < 3; ++p) {
        if (rows[p] == 0 || img.pitch[p] == 0) continue;
        img.planes[p].resize(static_cast<size_t>(rows[p]) * img.pitch[p]);
        for (size_t i = 0; i < img.planes[p].size(); ++i) img.planes[p][i] = fill(p, i);
        img.desc.ppu8Plane[p] = img.planes[p].data();
        img.desc.pi32Pitch[p] = img.pitch[p];
    }
    return img;
}

inline TestImage RandomImage(uint32_t format, int32_t width, int32_t height, uint32_t seed) {
    std::mt19937 rng(seed);
    return MakeImage(format, width, height, [&](int, size_t) { return uint8_t(rng() & 0xFF); });
}

inline TestImage FlatImage(uint32_t format, int32_t width, int32_t height, uint8_t value) {
    return MakeImage(format, width, height, [&](int, size_t) { return value; });
}

// A planar 4:4:4 output of the given size with a pitch wider than the width; every byte
// starts as `fill` so that unwritten bytes can be seen.
struct Output444 {
    std::vector<uint8_t> planes[3];
    ImageDesc desc{};

    Output444(int32_t width, int32_t height, int32_t extra = 3, uint8_t fill = 0xA5) {
        desc.u32PixelArrayFormat = PIXEL_FORMAT_YUV444P;
        desc.i32Width = width;
        desc.i32Height = height;
        for (int p = 0; p < 3; ++p) {
            planes[p].assign(static_cast<size_t>(height) * (width + extra) + 1, fill);
            desc.ppu8Plane[p] = planes[p].data();
            desc.pi32Pitch[p] = width + extra;
        }
    }
    uint8_t At(int p, int32_t x, int32_t y) const { return planes[p][y * desc.pi32Pitch[p] + x]; }
};

// ---- The model: the taps of each (format, factor) as the kernels are stated to take them.

inline uint32_t ExactNinthExceptMultiples(uint32_t s) { return s / 9 - (s > 0 && s % 9 == 0); }
inline uint32_t ExactTwelfthExceptMultiples(uint32_t s) { return s / 12 - (s > 0 && s % 12 == 0); }

enum class Combine { kCopy, kHalf, kQuarter, kSixteenth, kNinth, kTwelfth, kMean8Ninth, kThirds };

struct ChannelModel {
    std::vector<int> columns;  // pixel offsets (luma) or pair offsets (chroma)
    std::vector<int> rows;     // row offsets (luma rows, or chroma rows)
    Combine combine;
};

struct KernelModel {
    ChannelModel luma;
    ChannelModel chroma;
};

// Taps of the block at (bx, by), output column ox. Kinds: packed, 4:2:0, YUV422P, NV16.
inline KernelModel ModelFor(const TestImage &img, int factor, int bx, int by, int ox) {
    const bool oddX = bx & 1;
    const bool oddY = by & 1;
    using V = std::vector<int>;
    using C = Combine;
    if (img.Packed()) {
        switch (factor) {
        case 2: return {{V{0, 1}, V{0, 1}, C::kQuarter}, {V{0}, V{0, 1}, C::kHalf}};
        case 3: return {{V{0, 2}, V{0, 1, 2}, C::kThirds}, {V{0, 1}, V{0, 1, 2}, C::kThirds}};
        case 4: return {{V{0, 2}, V{0, 2}, C::kQuarter}, {V{0, 1}, V{0, 2}, C::kQuarter}};
        case 5:
        case 6:
            return {{V{0, 2, 4}, V{0, 2, 4}, C::kMean8Ninth},
                    {V{0, 1, 2}, V{0, 2, 4}, C::kMean8Ninth}};
        case 7:
        case 9:
            return {{oddX ? V{0, 4, 6} : V{0, 2, 6}, V{0, 3, 6}, C::kMean8Ninth},
                    {oddX ? V{0, 2, 3} : V{0, 1, 3}, V{0, 3, 6}, C::kMean8Ninth}};
        case 8:
            return {{V{0, 2, 6}, V{0, 3, 6}, C::kMean8Ninth},
                    {V{0, 1, 3}, V{0, 3, 6}, C::kMean8Ninth}};
        case 10:
            return {{V{0, 4, 8}, V{0, 4, 8}, C::kMean8Ninth},
                    {V{0, 2, 4}, V{0, 4, 8}, C::kMean8Ninth}};
        case 11:
        case 13:
            return {{V{1, 4, 7, 10}, V{0, 4, 8}, C::kTwelfth},
                    {oddX ? V{1, 2, 4, 5} : V{0, 2, 3, 5}, V{0, 4, 8}, C::kTwelfth}};
        default:  // 12, 14
            return {{V{1, 4, 7, 10}, V{0, 4, 8}, C::kTwelfth},
                    {V{0, 2, 3, 5}, V{0, 4, 8}, C::kTwelfth}};
        }
    }
    ChannelModel luma;
    switch (factor) {
    case 2: luma = {V{0, 1}, V{0, 1}, C::kQuarter}; break;
    case 3:
    case 4: luma = {V{0, 2}, V{0, 2}, C::kQuarter}; break;
    case 5:
    case 6: luma = {V{0, 2, 4}, V{0, 2, 4}, C::kNinth}; break;
    case 7:
    case 8:
    case 9: luma = {V{0, 3, 6}, V{0, 3, 6}, C::kNinth}; break;
    case 10: luma = {V{0, 4, 8}, V{0, 4, 8}, C::kNinth}; break;
    case 11:
    case 12: luma = {V{0, 3, 6, 9}, V{0, 3, 6, 9}, C::kSixteenth}; break;
    default: luma = {V{0, 4, 8, 12}, V{0, 4, 8, 12}, C::kSixteenth}; break;
    }
    const V pairs7 = oddX ? V{0, 2, 3} : V{0, 1, 3};
    if (img.Chroma420()) {
        switch (factor) {
        case 2: return {luma, {V{0}, V{0}, C::kCopy}};
        case 3:
        case 4: return {luma, {V{0, 1}, V{0, 1}, C::kQuarter}};
        case 5:
        case 6: return {luma, {V{0, 1, 2}, V{0, 1, 2}, C::kNinth}};
        case 7: return {luma, {pairs7, oddY ? V{0, 2, 3} : V{0, 1, 3}, C::kNinth}};
        case 8: return {luma, {V{0, 1, 3}, V{0, 1, 3}, C::kNinth}};
        case 9: return {luma, {pairs7, V{0, 1, 3}, C::kNinth}};
        case 10: return {luma, {V{0, 2, 4}, V{0, 2, 4}, C::kNinth}};
        case 11:
            return {luma, {oddX ? V{0, 2, 3, 5} : V{0, 1, 3, 4}, V{0, 1, 3, 4}, C::kSixteenth}};
        case 12:
            return {luma, {(ox & 1) ? V{0, 1, 2, 4} : V{0, 1, 3, 4}, V{0, 1, 3, 4}, C::kSixteenth}};
        default: return {luma, {V{0, 2, 4, 6}, V{0, 2, 4, 6}, C::kSixteenth}};
        }
    }
    switch (factor) {  // 4:2:2 planar and semi-planar
    case 2:
        return img.format == PIXEL_FORMAT_NV16 ? KernelModel{luma, {V{0}, V{0}, C::kCopy}}
                                               : KernelModel{luma, {V{0}, V{0, 1}, C::kHalf}};
    case 3:
    case 4: return {luma, {V{0, 1}, V{0, 2}, C::kQuarter}};
    case 5:
    case 6: return {luma, {V{0, 1, 2}, V{0, 2, 4}, C::kNinth}};
    case 7: return {luma, {pairs7, V{0, 3, 6}, C::kNinth}};
    default: return {luma, {V{0, 1, 3}, V{0, 3, 6}, C::kNinth}};
    }
}

inline uint32_t CombineModel(Combine c, const std::vector<uint32_t> &t) {
    uint32_t s = 0;
    for (uint32_t v : t) s += v;
    switch (c) {
    case Combine::kCopy: return t[0];
    case Combine::kHalf: return s / 2;
    case Combine::kQuarter: return s / 4;
    case Combine::kSixteenth: return s / 16;
    case Combine::kNinth: return ExactNinthExceptMultiples(s);
    case Combine::kTwelfth: return ExactTwelfthExceptMultiples(s);
    case Combine::kMean8Ninth: return ExactNinthExceptMultiples(8 * ((s - t[8]) / 8) + t[8]);
    case Combine::kThirds: {
        const uint32_t a = (t[0] + t[1] + t[2] + t[3]) / 4;
        const uint32_t b = (t[4] + t[5]) / 2;
        return (2 * a + b) / 3;
    }
    }
    return 0;
}

struct Yuv {
    uint8_t y, u, v;
};

// Factor 1: luma copied; the pixel's own pair for one chroma channel, the mean with the
// previous pair (planar) or the next pair (packed, for U of odd pixels) for the other,
// using the own pair where the neighbour lies outside the image.
inline Yuv ModelFactor1(TestImage &img, int x, int y) {
    const int k = x / 2;
    const int r = img.ChromaRow(y);
    const int previous = k == 0 ? 0 : k - 1;
    const int next = 2 * (k + 1) < img.width ? k + 1 : k;
    if (x % 2 == 0)
        return {img.Y(x, y), img.U(k, r), uint8_t((img.V(previous, r) + img.V(k, r)) / 2)};
    const int other = img.Packed() ? next : previous;
    return {img.Y(x, y), uint8_t((img.U(other, r) + img.U(k, r)) / 2), img.V(k, r)};
}

inline Yuv ModelPixel(TestImage &img, int factor, int x0, int y0, int ox, int oy) {
    const int bx = x0 + ox * factor;
    const int by = y0 + oy * factor;
    if (factor == 1) return ModelFactor1(img, bx, by);
    const KernelModel m = ModelFor(img, factor, bx, by, ox);
    std::vector<uint32_t> ty, tu, tv;
    for (int r : m.luma.rows)
        for (int c : m.luma.columns) ty.push_back(img.Y(bx + c, by + r));
    const int chromaRow = img.ChromaRow(by);
    for (int r : m.chroma.rows)
        for (int c : m.chroma.columns) {
            tu.push_back(img.U(bx / 2 + c, chromaRow + r));
            tv.push_back(img.V(bx / 2 + c, chromaRow + r));
        }
    return {uint8_t(CombineModel(m.luma.combine, ty)), uint8_t(CombineModel(m.chroma.combine, tu)),
            uint8_t(CombineModel(m.chroma.combine, tv))};
}

}  // namespace decimate_test
