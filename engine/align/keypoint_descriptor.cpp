#include "align/keypoint_descriptor.h"

#include <algorithm>

namespace {

// The window is 37 x 37 samples centred on the point; its integral image has a zero row and
// column in front.
constexpr int32_t kWindow = 37;
constexpr int32_t kIntegral = kWindow + 1;
constexpr int32_t kHalfWindow = 18;

using IntegralImage = int32_t[kIntegral][kIntegral];

// Integral row i (1..37) covers image row y - 19 + i; rows and columns outside the plane repeat
// the border. Reads the plane directly when the whole window lies inside it.
void BuildWindowIntegral(const uint8_t *data, int32_t stride, int32_t width, int32_t height,
                         int32_t x, int32_t y, IntegralImage integral) {
    const int64_t left = static_cast<int64_t>(x) - kHalfWindow;
    const int64_t top = static_cast<int64_t>(y) - kHalfWindow;
    const bool inside = left >= 0 && left + kWindow <= width && top >= 0 &&
                        top + kWindow <= height;
    int32_t columns[kWindow];
    for (int32_t j = 0; j < kWindow; ++j)
        columns[j] = static_cast<int32_t>(std::clamp<int64_t>(left + j, 0, width - 1));
    for (int32_t j = 0; j < kIntegral; ++j) integral[0][j] = 0;
    for (int32_t i = 1; i < kIntegral; ++i) {
        const int64_t row = inside ? top + i - 1 : std::clamp<int64_t>(top + i - 1, 0, height - 1);
        const uint8_t *samples = data + row * stride;
        int32_t rowSum = 0;
        integral[i][0] = 0;
        for (int32_t j = 1; j < kIntegral; ++j) {
            rowSum += inside ? samples[left + j - 1] : samples[columns[j - 1]];
            integral[i][j] = integral[i - 1][j] + rowSum;
        }
    }
}

// Sum of the 7 x 7 box centred on offset (ox, oy) from the keypoint.
int32_t BoxSum(const IntegralImage integral, int32_t ox, int32_t oy) {
    const int32_t r0 = oy + 15, r1 = oy + 22, c0 = ox + 15, c1 = ox + 22;
    return integral[r1][c1] - integral[r0][c1] - integral[r1][c0] + integral[r0][c0];
}

int32_t CountBits(uint32_t v) {
    v = (v & 0x55555555u) + ((v >> 1) & 0x55555555u);
    v = (v & 0x33333333u) + ((v >> 2) & 0x33333333u);
    v = (v & 0x0F0F0F0Fu) + ((v >> 4) & 0x0F0F0F0Fu);
    v = (v & 0x00FF00FFu) + ((v >> 8) & 0x00FF00FFu);
    return static_cast<int32_t>((v & 0xFFFFu) + (v >> 16));
}

uint32_t ReadWord(const uint8_t *bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

}  // namespace

// Generated once: the first 16 rows are fixed, the rest were drawn by a seeded generator
// (tests/align recomputes the whole table from that rule).
const int32_t kDescriptorTestPairs[kDescriptorTests][4] = {
    {520, 509, 521, 517}, {516, 514, 519, 500}, {514, 499, 514, 524}, {513, 505, 513, 518},
    {501, 521, 504, 514}, {519, 500, 524, 499}, {510, 502, 510, 508}, {522, 516, 523, 521},
    {499, 504, 504, 503}, {501, 519, 503, 524}, {499, 499, 501, 504}, {499, 509, 500, 503},
    {519, 519, 524, 518}, {508, 507, 509, 512}, {499, 514, 500, 509}, {503, 512, 505, 517},
    {501, 512, 519, 520}, {508, 520, 509, 511}, {513, 516, 523, 523}, {500, 508, 508, 508},
    {499, 523, 518, 499}, {502, 510, 515, 502}, {499, 512, 511, 517}, {510, 513, 512, 509},
    {501, 519, 523, 508}, {509, 516, 511, 516}, {520, 510, 524, 500}, {512, 503, 512, 509},
    {503, 518, 516, 505}, {508, 504, 513, 513}, {515, 516, 516, 507}, {499, 515, 519, 524},
    {509, 499, 510, 501}, {502, 499, 508, 504}, {506, 509, 516, 510}, {505, 500, 507, 523},
    {506, 506, 512, 524}, {510, 507, 524, 502}, {504, 512, 508, 500}, {511, 522, 513, 503},
    {507, 506, 523, 509}, {501, 510, 510, 511}, {517, 499, 518, 511}, {502, 515, 518, 506},
    {505, 510, 519, 502}, {515, 512, 519, 513}, {503, 499, 503, 507}, {509, 499, 516, 512},
    {506, 522, 506, 523}, {509, 523, 520, 518}, {514, 499, 518, 510}, {514, 524, 521, 521},
    {521, 504, 523, 511}, {507, 509, 517, 523}, {518, 505, 519, 515}, {515, 509, 516, 510},
    {501, 520, 505, 522}, {513, 521, 522, 512}, {513, 506, 524, 515}, {510, 502, 517, 503},
    {501, 520, 517, 512}, {508, 512, 516, 520}, {506, 511, 514, 510}, {506, 520, 507, 514},
    {505, 515, 508, 508}, {500, 524, 522, 521}, {511, 507, 520, 506}, {513, 516, 513, 520},
    {509, 507, 519, 510}, {506, 500, 514, 513}, {503, 500, 512, 522}, {499, 515, 524, 518},
    {508, 502, 524, 511}, {502, 508, 504, 511}, {501, 503, 524, 506}, {511, 524, 514, 524},
    {509, 515, 516, 517}, {505, 515, 517, 510}, {502, 522, 518, 509}, {503, 520, 505, 523},
    {507, 510, 507, 517}, {507, 523, 514, 500}, {509, 499, 524, 519}, {501, 522, 515, 524},
    {509, 524, 517, 508}, {514, 505, 515, 517}, {509, 504, 512, 518}, {505, 506, 524, 513},
    {500, 523, 516, 506}, {508, 508, 521, 500}, {516, 514, 516, 523}, {502, 510, 509, 522},
    {521, 520, 523, 502}, {506, 506, 514, 516}, {507, 522, 511, 515}, {517, 513, 518, 502},
    {502, 504, 517, 501}, {504, 500, 520, 521}, {506, 517, 522, 499}, {505, 504, 507, 504},
    {518, 514, 522, 503}, {499, 504, 519, 502}, {500, 519, 519, 519}, {512, 510, 514, 514},
    {515, 515, 518, 501}, {511, 524, 517, 508}, {508, 510, 522, 514}, {500, 500, 512, 510},
    {501, 515, 508, 524}, {500, 501, 524, 517}, {507, 524, 510, 500}, {519, 522, 522, 510},
    {523, 503, 524, 510}, {512, 506, 513, 500}, {522, 502, 522, 519}, {506, 515, 509, 512},
    {512, 524, 514, 521}, {519, 502, 522, 499}, {503, 523, 505, 510}, {520, 505, 521, 516},
    {508, 501, 524, 515}, {503, 500, 516, 520}, {501, 516, 507, 512}, {501, 507, 524, 507},
    {510, 505, 512, 508}, {510, 520, 519, 520}, {514, 500, 514, 516}, {500, 522, 511, 524},
    {520, 514, 524, 515}, {505, 506, 524, 520}, {515, 515, 521, 503}, {503, 518, 510, 516},
    {515, 511, 518, 507}, {511, 499, 516, 521}, {507, 508, 519, 504}, {519, 519, 522, 512},
    {503, 500, 507, 505}, {502, 522, 506, 504}, {506, 519, 524, 500}, {516, 518, 524, 519},
    {508, 510, 518, 521}, {500, 508, 521, 505}, {505, 508, 517, 516}, {516, 507, 522, 521},
    {513, 506, 515, 507}, {500, 512, 503, 522}, {509, 519, 515, 511}, {513, 499, 518, 522},
    {499, 522, 519, 518}, {505, 503, 521, 524}, {509, 502, 513, 515}, {508, 514, 524, 499},
    {500, 507, 522, 510}, {518, 517, 519, 524}, {510, 514, 520, 502}, {500, 509, 510, 508},
    {506, 517, 521, 515}, {502, 522, 518, 514}, {501, 522, 513, 514}, {518, 501, 520, 514},
    {510, 500, 516, 502}, {512, 510, 519, 503}, {500, 521, 519, 515}, {521, 514, 521, 519},
    {501, 515, 524, 515}, {499, 522, 510, 510}, {504, 502, 514, 501}, {499, 522, 524, 501},
    {500, 519, 507, 502}, {509, 515, 522, 504}, {500, 517, 515, 499}, {519, 501, 523, 524},
    {501, 509, 509, 499}, {501, 510, 520, 499}, {504, 501, 516, 514}, {511, 510, 512, 520},
    {502, 519, 505, 521}, {501, 514, 517, 502}, {506, 505, 521, 524}, {506, 499, 519, 514},
    {500, 502, 502, 503}, {504, 521, 505, 510}, {499, 515, 511, 512}, {515, 506, 524, 523},
    {506, 518, 516, 499}, {510, 524, 515, 519}, {511, 509, 524, 524}, {514, 503, 514, 504},
    {505, 517, 519, 520}, {500, 499, 504, 519}, {503, 514, 504, 523}, {500, 523, 502, 509},
    {507, 506, 514, 499}, {506, 508, 513, 514}, {509, 522, 521, 519}, {517, 516, 524, 499},
    {501, 499, 513, 509}, {509, 515, 511, 508}, {499, 515, 507, 522}, {508, 523, 524, 499},
    {510, 503, 522, 507}, {505, 501, 513, 519}, {506, 512, 511, 501}, {510, 506, 513, 501},
    {504, 499, 522, 516}, {515, 515, 521, 511}, {504, 503, 520, 515}, {507, 521, 509, 505},
    {508, 517, 524, 524}, {499, 507, 512, 514}, {519, 502, 519, 514}, {516, 500, 518, 522},
    {510, 509, 522, 506}, {504, 519, 517, 522}, {516, 522, 521, 512}, {499, 511, 500, 510},
    {519, 501, 523, 510}, {502, 514, 523, 503}, {511, 513, 521, 520}, {509, 509, 512, 521},
    {500, 514, 522, 501}, {522, 513, 522, 521}, {500, 522, 523, 507}, {508, 501, 516, 510},
    {505, 509, 511, 499}, {501, 502, 509, 514}, {516, 505, 520, 502}, {506, 506, 509, 514},
    {510, 507, 522, 502}, {507, 523, 519, 524}, {513, 511, 515, 507}, {503, 500, 516, 521},
    {507, 502, 507, 504}, {503, 502, 519, 513}, {511, 503, 522, 508}, {513, 522, 520, 503},
    {507, 522, 517, 516}, {504, 511, 506, 508}, {512, 502, 512, 515}, {508, 517, 513, 503},
    {512, 499, 516, 511}, {499, 499, 523, 513}, {508, 514, 509, 508}, {502, 523, 513, 510},
    {518, 511, 521, 501}, {519, 503, 519, 504}, {501, 524, 508, 501}, {508, 519, 513, 513},
    {500, 504, 502, 517}, {499, 524, 503, 511}, {499, 501, 506, 517}, {509, 509, 524, 515},
    {499, 517, 511, 501}, {506, 505, 515, 520}, {503, 522, 512, 515}, {517, 513, 518, 512},
};

uint8_t *ComputeKeypointDescriptor(const uint8_t *data, int32_t stride, int32_t width,
                                   int32_t height, int32_t x, int32_t y, uint8_t *out) {
    if (!data || !out || width <= 0 || height <= 0) return nullptr;
    IntegralImage integral;
    BuildWindowIntegral(data, stride, width, height, x, y, integral);
    for (int32_t byte = 0; byte < kDescriptorBytes; ++byte) {
        uint32_t bits = 0;
        for (int32_t bit = 0; bit < 8; ++bit) {
            const int32_t *pair = kDescriptorTestPairs[byte * 8 + bit];
            const int32_t first = BoxSum(integral, pair[0] - kDescriptorOffsetBias,
                                         pair[1] - kDescriptorOffsetBias);
            const int32_t second = BoxSum(integral, pair[2] - kDescriptorOffsetBias,
                                          pair[3] - kDescriptorOffsetBias);
            if (first > second) bits |= 1u << bit;
        }
        out[byte] = static_cast<uint8_t>(bits);
    }
    return out;
}

int32_t DescriptorDistance(const uint8_t *a, const uint8_t *b) {
    if (!a || !b) return kDescriptorTests;
    int32_t distance = 0;
    for (int32_t word = 0; word < kDescriptorBytes / 4; ++word)
        distance += CountBits(ReadWord(a + 4 * word) ^ ReadWord(b + 4 * word));
    return distance;
}

int32_t DescriptorDistanceAt(const uint8_t *data1, int32_t stride1, int32_t width1,
                             int32_t height1, const uint8_t *data2, int32_t stride2,
                             int32_t width2, int32_t height2, int32_t x1, int32_t y1, int32_t x2,
                             int32_t y2) {
    uint8_t first[kDescriptorBytes];
    uint8_t second[kDescriptorBytes];
    return DescriptorDistance(
        ComputeKeypointDescriptor(data1, stride1, width1, height1, x1, y1, first),
        ComputeKeypointDescriptor(data2, stride2, width2, height2, x2, y2, second));
}

int32_t DescriptorDistanceImages(const ImageDesc *a, const ImageDesc *b, int32_t xa, int32_t ya,
                                 int32_t xb, int32_t yb) {
    if (!a || !b) return kDescriptorTests;
    return DescriptorDistanceAt(a->ppu8Plane[0], a->pi32Pitch[0], a->i32Width, a->i32Height,
                                b->ppu8Plane[0], b->pi32Pitch[0], b->i32Width, b->i32Height, xa,
                                ya, xb, yb);
}
