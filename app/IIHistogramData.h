// The RGB histogram of a picture, counted while the picture is built.
#pragma once

#include <array>
#include <cstdint>

struct IIHistogramData {
    // Counts indexed by the 8-bit sample value.
    std::array<int64_t, 256> rData{};
    std::array<int64_t, 256> gData{};
    std::array<int64_t, 256> bData{};
    // The largest count over all 768 bins.
    int64_t max = 0;
};
