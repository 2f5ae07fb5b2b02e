// Tables and rows for driving one span kernel group by group.
#pragma once

#include <array>
#include <random>
#include <vector>

#include "core/constant_tables.h"
#include "band_session_support.h"
#include "fusion/span_common.h"

namespace fusion_test {

constexpr int kRowLength = 64;

struct KernelBench {
    std::vector<uint16_t> normal, localCurve;
    std::array<uint8_t, 4096> tone{}, chroma{};
    std::vector<int16_t> weightReference = std::vector<int16_t>(kRowLength, 256);
    std::vector<int16_t> weightDark = std::vector<int16_t>(kRowLength, 256);
    std::vector<int16_t> weightBright = std::vector<int16_t>(kRowLength, 256);
    std::vector<int16_t> mask = std::vector<int16_t>(kRowLength, 0);
    std::vector<uint16_t> gain = std::vector<uint16_t>(kRowLength, 1024);
    std::vector<std::vector<int16_t>> lines = std::vector<std::vector<int16_t>>(
        9, std::vector<int16_t>(kRowLength, 0));
    std::vector<std::vector<int16_t>> offsets = std::vector<std::vector<int16_t>>(
        4, std::vector<int16_t>(kRowLength, 0));

    KernelBench() {
        FillFusionTables(normal, localCurve);
        for (int i = 0; i < 4096; ++i) {
            tone[i] = uint8_t(i >> 4);
            chroma[i] = uint8_t(255 - (i >> 4));
        }
        for (int k = 0; k < 3; ++k) std::fill(lines[k].begin(), lines[k].end(), 256);
    }

    SpanTables Tables(bool localCurveMode) const {
        return {localCurveMode ? localCurve.data() : normal.data(), 2, kGammaExpandTable,
                tone.data(), chroma.data()};
    }

    SpanRows Rows() const {
        SpanRows r = {};
        r.weightReference = weightReference.data();
        r.weightDark = weightDark.data();
        r.weightBright = weightBright.data();
        r.mask = mask.data();
        r.gain = gain.data();
        for (int k = 0; k < 9; ++k) r.mapLines[k] = lines[k].data();
        r.shadow = offsets[0].data();
        r.highlightLuma = offsets[1].data();
        r.highlightU = offsets[2].data();
        r.highlightV = offsets[3].data();
        return r;
    }
};

// One packed group: Y0 U0 Y1 V0 Y2 U1 Y3 V1.
using Group = std::array<uint8_t, 8>;

inline Group MakeGroup(int y0, int y1, int y2, int y3, int u0, int v0, int u1, int v1) {
    return {uint8_t(y0), uint8_t(u0), uint8_t(y1), uint8_t(v0), uint8_t(y2), uint8_t(u1), uint8_t(y3), uint8_t(v1)};
}

// A warp group: the dark quad then the bright quad.
inline std::array<uint8_t, 16> Warp(const Group &dark, const Group &bright) {
    std::array<uint8_t, 16> w{};
    std::copy(dark.begin(), dark.end(), w.begin());
    std::copy(bright.begin(), bright.end(), w.begin() + 8);
    return w;
}

// Random map lines, weights and gains for the local-curve kernels, with extremes that push every
// clamp. Wide trials give block weights beyond 0..256 (negative, and sums past 1.0) so that a
// fast kernel's hand-over to its exact fallback is checked too.
inline void RandomiseLocalCurve(KernelBench &k, std::mt19937 &rng, bool wide) {
    std::uniform_int_distribution<int> weight(wide ? -256 : 0, wide ? 1024 : 256),
        luma(-100, 700), chroma(-300, 300), gain(0, 65535), pick(0, 9);
    for (auto *row : {&k.weightReference, &k.weightDark, &k.weightBright})
        for (int16_t &w : *row) w = int16_t(pick(rng) == 0 ? 0 : weight(rng));
    for (int line = 0; line < 9; ++line)
        for (int16_t &v : k.lines[line]) v = int16_t(line < 3 ? luma(rng) : chroma(rng));
    for (uint16_t &g : k.gain) g = uint16_t(pick(rng) < 7 ? 1024 + gain(rng) % 2048 : gain(rng));
}

}  // namespace fusion_test
