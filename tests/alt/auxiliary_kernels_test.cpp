// The auxiliary chroma, weight and grid row kernels against plain per-pixel models of what each
// computes, on random rows and at the extremes of their inputs, and the worked cases.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <random>
#include <vector>

#include "alt/chroma_row_kernels.h"
#include "alt/segment_kernels.h"
#include "core/session.h"
#include "fusion/grid_rows32.h"

namespace {

constexpr int kWidth = 96;

// --- Models -------------------------------------------------------------------------------------

int64_t Scale(int c, int64_t f) { return (((int64_t{c} - 128) * f) >> 8) + 128; }
uint8_t Sat(int64_t v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }
int Shift(int32_t s) { return s < 0 ? 0 : s > 63 ? 63 : s; }
int64_t T(const int32_t *table, int luma) { return table[luma] >> 4; }

// Interleaved rows: pixel p's pair at bytes p, p + 1; factor multipliers of the two bytes.
void ModelInterleaved(int x, int end, const uint8_t *luma, uint8_t *chroma, int32_t s,
                      const int32_t *table, int first, int second) {
    for (int p = x; p < end; p += 2) {
        const int64_t t = T(table, luma[p]);
        const int64_t g = ((128 * t + 256 * (384 - t)) >> Shift(s)) - 256;
        chroma[p] = Sat(Scale(chroma[p], ((g * first) >> 10) + 256));
        chroma[p + 1] = Sat(Scale(chroma[p + 1], ((g * second) >> 10) + 256));
    }
}

// Byte roles within a packed or quad group.
bool IsU(int byte) { return byte == 1 || byte == 5; }
bool IsV(int byte) { return byte == 3 || byte == 7; }

void ModelPacked(int x, int end, uint8_t *row, int32_t s, const int32_t *table) {
    for (int p = x; p < end; p += 4) {
        uint8_t *g8 = row + 2 * p;
        const int64_t t = T(table, g8[0]);
        const int64_t g = ((128 * t + 256 * (384 - t)) >> Shift(s)) - 256;
        for (int b = 0; b < 8; ++b) {
            if (IsU(b)) g8[b] = Sat(Scale(g8[b], ((g * 578) >> 10) + 256));
            if (IsV(b)) g8[b] = Sat(Scale(g8[b], ((g * 730) >> 10) + 256));
        }
    }
}

void ModelQuads(int x, int end, uint8_t *quads, int32_t s, const int32_t *table) {
    for (int p = x; p < end; p += 4) {
        uint8_t *q = quads + 4 * p;
        const int64_t t = T(table, q[0]);
        const int64_t b = 256 - ((256 * t + 128 * (256 - t)) >> Shift(s));
        for (int k = 0; k < 8; ++k) {
            if (IsU(k)) q[k] = uint8_t(uint64_t(Scale(q[k], 256 - ((b * 578) >> 10))) & 0xFF);
            if (IsV(k)) q[k] = uint8_t(uint64_t(Scale(q[k], 256 - ((b * 730) >> 10))) & 0xFF);
        }
    }
}

void ModelBoost(int x, int end, uint8_t *quads) {
    for (int p = x; p < end; p += 4) {
        uint8_t *q = quads + 4 * p;
        if (q[0] <= 128)
            for (int k : {1, 3, 5, 7}) q[k] = Sat(Scale(q[k], 512 - 2 * q[0]));
    }
}

void ModelOffset(int x, int end, uint8_t *quads, int32_t du, int32_t dv) {
    for (int p = x; p < end; p += 4)
        for (int k = 0; k < 8; ++k) {
            uint8_t &b = quads[4 * p + k];
            if (IsU(k)) b = Sat(int64_t{b} + du);
            if (IsV(k)) b = Sat(int64_t{b} + dv);
        }
}

void ModelFade(const HdrSession &s, const int16_t *mask, int y, const uint8_t *luma,
               int16_t *row) {
    const int dy = s.globalShift[1];
    if (y < dy + 4 || y > dy + int(s.overlapRect.height) - 4) return;
    const int left = int(s.processRect.x), ox = int(s.overlapRect.x);
    for (int x = ox; x < ox + int(s.overlapRect.width); x += 4) {
        if (mask[x] == 0) continue;
        for (int i = 0; i < 4; ++i) {
            const int Y = luma[x + i - left];
            if (Y > 240) row[x + i] = int16_t((row[x + i] * (256 - Y)) >> 4);
        }
    }
}

// --- Random inputs ------------------------------------------------------------------------------

struct Inputs {
    std::vector<uint8_t> luma, bytes;
    std::vector<int32_t> table;
    int32_t s, du, dv;
    int x, end;
};

Inputs RandomInputs(uint32_t seed, bool extremes) {
    std::mt19937 random(seed);
    Inputs in;
    in.luma.resize(kWidth);
    in.bytes.resize(4 * kWidth + 16);
    for (uint8_t &b : in.luma) b = uint8_t(random());
    for (uint8_t &b : in.bytes) b = uint8_t(random());
    in.table.resize(256);
    for (int32_t &e : in.table) {
        if (extremes) {
            const int32_t picks[] = {INT32_MIN, INT32_MAX, 0, -1, 4095 << 4, -(4096 << 4)};
            e = picks[random() % 6];
        } else {
            e = int32_t(random() % (4096 << 4));  // t over 0..4095
        }
    }
    if (extremes) {
        for (size_t i = 0; i < in.bytes.size(); i += 3) in.bytes[i] = i % 2 ? 255 : 0;
        const int32_t shifts[] = {INT32_MIN, -1, 0, 63, 64, INT32_MAX};
        in.s = shifts[random() % 6];
        in.du = random() % 2 ? INT32_MAX : INT32_MIN;
        in.dv = random() % 2 ? INT32_MIN : 255;
    } else {
        in.s = int32_t(random() % 13);
        in.du = int32_t(random() % 121) - 60;
        in.dv = int32_t(random() % 121) - 60;
    }
    in.x = 4 * int(random() % 4);
    in.end = kWidth - 4 * int(random() % 4);
    return in;
}

struct Case {
    const char *name;
    std::function<void(Inputs &, uint8_t *)> kernel, model;
};

const Case kCases[] = {
    {"SemiPlanarUV",
     [](Inputs &in, uint8_t *b) { AdjustChromaByLumaSemiPlanarUV(in.x, in.end, in.luma.data(), b, in.s, in.table.data()); },
     [](Inputs &in, uint8_t *b) { ModelInterleaved(in.x, in.end, in.luma.data(), b, in.s, in.table.data(), 365, 289); }},
    {"SemiPlanarVU",
     [](Inputs &in, uint8_t *b) { AdjustChromaByLumaSemiPlanarVU(in.x, in.end, in.luma.data(), b, in.s, in.table.data()); },
     [](Inputs &in, uint8_t *b) { ModelInterleaved(in.x, in.end, in.luma.data(), b, in.s, in.table.data(), 289, 365); }},
    {"Packed422",
     [](Inputs &in, uint8_t *b) { AdjustChromaByLumaPacked422(in.x, in.end, b, in.s, in.table.data()); },
     [](Inputs &in, uint8_t *b) { ModelPacked(in.x, in.end, b, in.s, in.table.data()); }},
    {"Quads",
     [](Inputs &in, uint8_t *b) { AdjustChromaByLumaQuads(in.x, in.end, b, in.s, in.table.data()); },
     [](Inputs &in, uint8_t *b) { ModelQuads(in.x, in.end, b, in.s, in.table.data()); }},
    {"BoostDark",
     [](Inputs &in, uint8_t *b) { BoostDarkChromaQuads(in.x, in.end, b); },
     [](Inputs &in, uint8_t *b) { ModelBoost(in.x, in.end, b); }},
    {"Offset",
     [](Inputs &in, uint8_t *b) { OffsetChromaQuads(in.x, in.end, b, in.du, in.dv); },
     [](Inputs &in, uint8_t *b) { ModelOffset(in.x, in.end, b, in.du, in.dv); }},
};

// Every chroma kernel gives its model's bytes over [x, end) and leaves the rest alone, on
// random rows and with extreme tables, shifts, offsets and bytes (clean under the sanitizers).
TEST(AuxiliaryChromaKernels, AgreeWithTheirModels) {
    for (const Case &c : kCases)
        for (bool extremes : {false, true})
            for (uint32_t seed = 1; seed <= 40; ++seed) {
                SCOPED_TRACE(testing::Message() << c.name << (extremes ? " extreme " : " ") << seed);
                Inputs in = RandomInputs(seed, extremes);
                std::vector<uint8_t> got = in.bytes, want = in.bytes;
                c.kernel(in, got.data());
                c.model(in, want.data());
                ASSERT_EQ(got, want);
            }
}

int32_t Entry(int t) { return t << 4; }

TEST(AuxiliaryChromaKernels, WorkedCases) {
    std::vector<int32_t> table(256, Entry(0));
    table[255] = Entry(255);
    // UV, s = 8: t = 0 gives g = 128 and factors 256 + 45 (U) and 256 + 36 (V).
    uint8_t luma[4] = {0, 0, 255, 255}, chroma[4] = {200, 200, 200, 60};
    AdjustChromaByLumaSemiPlanarUV(0, 4, luma, chroma, 8, table.data());
    EXPECT_EQ(chroma[0], ((72 * 301) >> 8) + 128);
    EXPECT_EQ(chroma[1], ((72 * 292) >> 8) + 128);
    EXPECT_EQ(chroma[2], 200);  // t = 255: both factors 256
    EXPECT_EQ(chroma[3], 60);
    // VU: the first byte takes V's factor.
    uint8_t vu[2] = {200, 200};
    AdjustChromaByLumaSemiPlanarVU(0, 2, luma, vu, 8, table.data());
    EXPECT_EQ(vu[0], ((72 * 292) >> 8) + 128);
    EXPECT_EQ(vu[1], ((72 * 301) >> 8) + 128);

    // Dark boost: Y0 = 129 untouched; Y0 = 0 doubles the distance from 128, saturating.
    std::vector<uint8_t> quads(32, 0);
    const uint8_t bright[8] = {129, 100, 0, 200, 0, 20, 0, 255};
    const uint8_t black[8] = {0, 100, 0, 200, 0, 20, 0, 150};
    std::copy(bright, bright + 8, quads.begin());
    std::copy(black, black + 8, quads.begin() + 16);
    BoostDarkChromaQuads(0, 8, quads.data());
    EXPECT_TRUE(std::equal(bright, bright + 8, quads.begin()));
    EXPECT_EQ(quads[17], 72);
    EXPECT_EQ(quads[19], 255);
    EXPECT_EQ(quads[21], 0);
    EXPECT_EQ(quads[23], 172);

    // Quads: s = 7 and t = 200 give b = -200 and a U factor of 369; 255 becomes 311, stored as
    // its low 8 bits (55) rather than saturated.
    table[50] = Entry(200);
    uint8_t quad[16] = {50, 255, 0, 128, 0, 0, 0, 128};
    AdjustChromaByLumaQuads(0, 4, quad, 7, table.data());
    EXPECT_EQ(quad[1], 311 & 0xFF);
    EXPECT_EQ(quad[3], 128);
    EXPECT_EQ(quad[5], uint8_t(((-128 * 369) >> 8) + 128));
    EXPECT_EQ(quad[8], 0);  // the second half of the group is not touched
}

TEST(AuxiliaryChromaKernels, HighlightLumaFadeAgreesWithItsModel) {
    std::mt19937 random(9);
    for (int y : {0, 3, 4, 10, 60, 61, 64, 70}) {
        HdrSession s = {};
        s.processRect = {8, 0, 80, 80};
        s.overlapRect = {12, 0, 64, 60};
        s.globalShift[1] = y % 3 == 0 ? 0 : 2;
        std::vector<int16_t> mask(kWidth), row(kWidth), want;
        std::vector<uint8_t> luma(kWidth);
        for (auto &m : mask) m = int16_t(random() % 3 == 0 ? 0 : 200);
        for (auto &v : row) v = int16_t(int(random() % 4001) - 2000);
        for (auto &l : luma) l = uint8_t(230 + random() % 26);
        want = row;
        int16_t other[2] = {1, 2};
        int16_t *rows[3] = {&other[0], &other[1], row.data()};
        FadeHighlightLumaOffsetRow(&s, mask.data(), y, luma.data(), rows);
        ModelFade(s, mask.data(), y, luma.data(), want.data());
        EXPECT_EQ(row, want) << y;
        EXPECT_EQ(other[0], 1);
    }
}

// --- Zero-flag grid row -------------------------------------------------------------------------

TEST(GridRowZeroFlag, SparseRowWithTheRunListsFlag) {
    std::mt19937 random(4);
    const int cols = 8, rows = 4, width = (cols - 2) * 32;
    for (int trial = 0; trial < 60; ++trial) {
        std::vector<int16_t> grid(cols * rows);
        const int kind = trial % 4;  // all zero, sparse non-zero, random, extremes
        for (int16_t &v : grid) {
            if (kind == 3)
                v = random() % 2 ? INT16_MAX : INT16_MIN;
            else
                v = kind == 0 ? 0 : int16_t(kind == 1 && random() % 6 ? 0 : int(random() % 600) - 200);
        }
        const int gy = int(random() % (rows - 1)), v = int(random() % 32);
        const int first = 4 * int(random() % 8), end = width - 4 * int(random() % 8);
        std::vector<int16_t> got(width, -7), want(width, -7);
        int32_t flag = 5, runsFlag = 5, runCount = 0;
        std::vector<int32_t> runs(cols + 2);
        InterpolateGridRowZeroFlag32(got.data(), first, end, gy, grid.data(), cols, v, &flag);
        InterpolateGridRowRuns32(want.data(), first, end, gy, grid.data(), cols, v, &runsFlag,
                                 runs.data(), &runCount, cols + 2);
        EXPECT_EQ(got, want) << trial;
        EXPECT_EQ(flag, runsFlag) << trial;
        if (kind == 0) {
            EXPECT_EQ(flag, 1);
        }
    }
}

// --- Segment kernels ----------------------------------------------------------------------------

// InterpolateWeightRowsOverSegments as its table row says, with the 32-bit product shifted
// logically and the low 16 bits kept.
void ModelWiden(int y, int width, const std::vector<int16_t> (&w)[3], std::vector<int16_t> (&o)[3],
                std::vector<uint16_t> &segments, const std::vector<uint16_t> &counts, int stride) {
    const int g = (y + 16) >> 5;
    const int count = counts[g];
    if (count < 3) return;
    uint16_t *list = segments.data() + g * stride;
    auto widens = [&](int x) { return w[1][x] + w[2][x] <= 256 && w[0][x] > 7; };
    for (int i = 1; i < count - 1; i += 2) {
        const int d = list[i], c = list[i + 1];
        int s = d;
        if (d < width) {
            const int limit = std::max(d - 128, 0);
            int x = d;
            while (x >= limit && widens(x)) x -= 4;
            s = x >= limit ? x : limit;
        }
        const int endLimit = std::max(std::min(c + 128, width - 32), 0);
        int e = c;
        while (e < endLimit && widens(e)) e += 4;
        if (e > endLimit) e = endLimit;
        if (c >= endLimit) e = endLimit;
        if (e > s)
            for (int k = 0; k < 3; ++k) {
                const int64_t a = uint16_t(w[k][s]), b = uint16_t(w[k][e]);
                const int64_t slope = (b - a) * 65536 / (e - s);
                for (int j = 0; j < e - s; ++j) {
                    const uint32_t product = uint32_t(uint64_t(int64_t{j} * slope));
                    o[k][s + j] = int16_t(uint16_t(uint32_t(a) + (product >> 16)));
                }
            }
        list[i] = uint16_t(s);
        list[i + 1] = uint16_t(e);
    }
}

TEST(SegmentKernels, WidenAgreesWithItsModel) {
    const int width = 400, stride = 9, gridRows = 3;
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        const bool extremes = seed % 4 == 0;
        std::vector<int16_t> w[3], got[3], want[3];
        for (int k = 0; k < 3; ++k) {
            w[k].resize(width);
            for (int16_t &v : w[k]) {
                if (extremes) {
                    const int16_t picks[] = {INT16_MIN, INT16_MAX, 0, 8, 256, -1};
                    v = picks[random() % 6];
                } else {
                    v = int16_t(k == 0 ? 4 + random() % 250 : random() % 140);
                }
            }
        }
        std::vector<uint16_t> segments(stride * gridRows), counts(gridRows);
        for (int g = 0; g < gridRows; ++g) {
            counts[g] = uint16_t(random() % stride);
            for (int i = 0; i < stride; ++i)
                segments[g * stride + i] = extremes && random() % 4 == 0
                                               ? uint16_t(random() % 2 ? 65535 : width - 1)
                                               : uint16_t(random() % width);
        }
        std::vector<uint16_t> modelSegments = segments;
        const bool inPlace = seed % 3 == 0;
        for (int k = 0; k < 3; ++k) {
            got[k] = inPlace ? w[k] : std::vector<int16_t>(width, 3);
            want[k] = got[k];
        }
        for (int y : {0, 40, 70}) {
            InterpolateWeightRowsOverSegments(
                y, width, inPlace ? got[0].data() : w[0].data(), inPlace ? got[1].data() : w[1].data(),
                inPlace ? got[2].data() : w[2].data(), got[0].data(), got[1].data(), got[2].data(),
                stride, 0, segments.data(), counts.data());
            ModelWiden(y, width, inPlace ? want : w, want, modelSegments, counts, stride);
        }
        for (int k = 0; k < 3; ++k) EXPECT_EQ(got[k], want[k]) << k;
        EXPECT_EQ(segments, modelSegments);
    }
}

TEST(SegmentKernels, WidenWorkedCases) {
    const int width = 400;
    std::vector<int16_t> w0(width, 100), w1(width, 50), w2(width, 50);
    std::vector<uint16_t> counts = {3}, segments = {0, 60, 100};
    for (int x = 0; x < width; ++x) w0[x] = int16_t(100 + x);
    std::vector<int16_t> o0(width, 0), o1(width, 0), o2(width, 0);
    // Weights that let every step widen: the walk back from 60 stops at 0, the walk forward at
    // min(100 + 128, 400 - 32) = 228.
    InterpolateWeightRowsOverSegments(0, width, w0.data(), w1.data(), w2.data(), o0.data(),
                                      o1.data(), o2.data(), 3, 0, segments.data(), counts.data());
    EXPECT_EQ(segments[1], 0);
    EXPECT_EQ(segments[2], 228);
    EXPECT_EQ(o0[0], 100);
    EXPECT_EQ(o0[114], 100 + 114);  // the straight line from w0[0] to w0[228]
    EXPECT_EQ(o0[227], 100 + 227);
    EXPECT_EQ(o0[228], 0);
    EXPECT_EQ(o1[50], 50);
    // A reference weight below 8 at 44 stops the walk back there; secondaries over 1.0 at 116
    // stop the walk forward.
    segments = {0, 60, 100};
    w0[44] = 7;
    w1[116] = 200;
    w2[116] = 57;
    InterpolateWeightRowsOverSegments(0, width, w0.data(), w1.data(), w2.data(), o0.data(),
                                      o1.data(), o2.data(), 3, 0, segments.data(), counts.data());
    EXPECT_EQ(segments[1], 44);
    EXPECT_EQ(segments[2], 116);
    // A list shorter than 3 entries changes nothing.
    counts = {2};
    segments = {0, 60, 100};
    InterpolateWeightRowsOverSegments(0, width, w0.data(), w1.data(), w2.data(), o0.data(),
                                      o1.data(), o2.data(), 3, 0, segments.data(), counts.data());
    EXPECT_EQ(segments[1], 60);
}

// BlendSegmentChroma16 as its table row says; groups reaching past the row are skipped.
void ModelBlend(int y, std::vector<uint16_t> &P, const std::vector<uint16_t> &Q,
                const std::vector<uint16_t> &segments, const std::vector<uint16_t> &counts, int w,
                int stride, int n) {
    const int g = (y + 16) >> 5;
    auto inside = [w](int x) { return x + 4 <= w; };
    for (int i = 1; i < counts[g] - 1 && n > 0; i += 2) {
        const int f = segments[g * stride + i], e = segments[g * stride + i + 1];
        if (e <= f + 128) continue;
        int64_t sum[2][2] = {};
        for (int r = 0; r < n; ++r)
            for (int x = f; x < e; x += 4)
                if (inside(x))
                    for (int pq = 0; pq < 2; ++pq) {
                        const uint16_t *s = (pq ? Q.data() : P.data()) + 2 * r * w + 2 * x;
                        sum[pq][0] += s[1] + s[5];
                        sum[pq][1] += s[3] + s[7];
                    }
        const int64_t div = int64_t(e - f) * n;
        const int64_t du = 2 * sum[1][0] / div - 2 * sum[0][0] / div;
        const int64_t dv = 2 * sum[1][1] / div - 2 * sum[0][1] / div;
        auto add = [](uint16_t &v, int64_t a) { v = uint16_t(std::clamp<int64_t>(v + a, 0, 32767)); };
        for (int r = 0; r < n; ++r) {
            int x = f;
            for (int k = 0; k < 16; ++k, x += 4) {
                if (!inside(x)) continue;
                uint16_t *p = P.data() + 2 * r * w + 2 * x;
                add(p[1], (4 * k * du) >> 6), add(p[5], (4 * k * du) >> 6);
                add(p[3], (4 * k * dv) >> 6), add(p[7], (4 * k * dv) >> 6);
            }
            for (; x < e - 64; x += 4) {
                if (!inside(x)) continue;
                uint16_t *p = P.data() + 2 * r * w + 2 * x;
                add(p[1], du), add(p[5], du), add(p[3], dv), add(p[7], dv);
            }
            for (int k = 0; k < 16; ++k, x += 4) {
                if (!inside(x)) continue;
                uint16_t *p = P.data() + 2 * r * w + 2 * x;
                add(p[1], (64 * du - 4 * k * du) >> 6), add(p[5], (62 * du - 4 * k * du) >> 6);
                add(p[3], (64 * dv - 4 * k * dv) >> 6), add(p[7], (62 * dv - 4 * k * dv) >> 6);
            }
        }
    }
}

TEST(SegmentKernels, BlendAgreesWithItsModel) {
    const int w = 600, stride = 7;
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        const bool extremes = seed % 4 == 0;
        const int n = int(random() % 4);
        std::vector<uint16_t> P(2 * w * std::max(n, 1)), Q(P.size());
        for (auto *v : {&P, &Q})
            for (uint16_t &s : *v)
                s = extremes ? uint16_t(random() % 2 ? 65535 : 0) : uint16_t(random() % 16384);
        std::vector<uint16_t> segments(stride * 2), counts(2);
        for (int g = 0; g < 2; ++g) {
            counts[g] = uint16_t(random() % stride);
            int at = int(random() % 60);
            for (int i = 1; i < stride; ++i) {
                at += int(random() % 260);
                segments[g * stride + i] = uint16_t(std::min(at, w + 3));
            }
        }
        std::vector<uint16_t> want = P;
        for (int y : {0, 20}) {
            BlendSegmentChroma16(0, 0, y, P.data(), Q.data(), segments.data(), counts.data(), w, 0,
                                 0, stride, n);
            ModelBlend(y, want, Q, segments, counts, w, stride, n);
        }
        EXPECT_EQ(P, want);
    }
}

TEST(SegmentKernels, BlendWorkedCases) {
    const int w = 400, f = 40;
    auto flat = [w](int u, int v) {
        std::vector<uint16_t> row(2 * w);
        for (int x = 0; x < w; x += 2) {
            row[2 * x] = row[2 * x + 2] = 500;
            row[2 * x + 1] = uint16_t(u);
            row[2 * x + 3] = uint16_t(v);
        }
        return row;
    };
    const std::vector<uint16_t> Q = flat(1640, 1360);
    // 128 pixels: unchanged.
    std::vector<uint16_t> counts = {3}, segments = {0, f, f + 128};
    std::vector<uint16_t> P = flat(1000, 2000);
    BlendSegmentChroma16(0, 0, 0, P.data(), Q.data(), segments.data(), counts.data(), w, 0, 0, 3, 1);
    EXPECT_EQ(P, flat(1000, 2000));
    // 200 pixels: dU = 640, dV = -640; ramps over the first 16 groups, the whole shift on
    // [f + 64, f + 136), ramps out over the 16 groups after.
    segments = {0, f, f + 200};
    BlendSegmentChroma16(0, 0, 0, P.data(), Q.data(), segments.data(), counts.data(), w, 0, 0, 3, 1);
    auto u0 = [&](int x) { return P[2 * x + 1]; };
    auto u1 = [&](int x) { return P[2 * x + 5]; };
    auto v0 = [&](int x) { return P[2 * x + 3]; };
    EXPECT_EQ(u0(f - 4), 1000);
    EXPECT_EQ(u0(f), 1000);
    EXPECT_EQ(u0(f + 4), 1040);
    EXPECT_EQ(u1(f + 60), 1000 + 40 * 15);
    EXPECT_EQ(v0(f + 60), 2000 - 40 * 15);
    for (int x = f + 64; x < f + 136; x += 4) {
        EXPECT_EQ(u0(x), 1640) << x;
        EXPECT_EQ(u1(x), 1640) << x;
        EXPECT_EQ(v0(x), 1360) << x;
    }
    EXPECT_EQ(u0(f + 136), 1640);
    EXPECT_EQ(u1(f + 136), 1620);
    EXPECT_EQ(u0(f + 196), 1000 + 640 - 40 * 15);
    EXPECT_EQ(u1(f + 196), 1000 + 620 - 40 * 15);
    EXPECT_EQ(u0(f + 200), 1000);
    for (size_t i = 0; i < P.size(); i += 2) EXPECT_EQ(P[i], 500) << i;  // luma untouched
}

}  // namespace
