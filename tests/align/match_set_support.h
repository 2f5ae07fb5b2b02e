// Point matches as the consensus-fit tests build them: four float runs filled one match at a
// time.
#pragma once

#include <cstdint>
#include <vector>

namespace match_test {

struct MatchSet {
    std::vector<float> refX, refY, curX, curY;
    int32_t n() const { return static_cast<int32_t>(refX.size()); }
    void Add(double x, double y, double X, double Y) {
        refX.push_back(static_cast<float>(x));
        refY.push_back(static_cast<float>(y));
        curX.push_back(static_cast<float>(X));
        curY.push_back(static_cast<float>(Y));
    }
};

}  // namespace match_test
