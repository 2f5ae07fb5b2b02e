// Plane8 helpers for the tracker tests: owned planes filled from functions.
#pragma once

#include <cstdint>
#include <memory>
#include <random>

#include "align/plane8.h"

namespace tracker_test {

struct PlaneDeleter {
    void operator()(Plane8 *p) const { DestroyPlane8(nullptr, p); }
};
using PlanePtr = std::unique_ptr<Plane8, PlaneDeleter>;

inline PlanePtr MakePlane(int32_t width, int32_t height, uint8_t fill = 0) {
    PlanePtr p(CreatePlane8(nullptr, width, height));
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < p->stride; ++x) PlaneRow(p.get(), y)[x] = fill;
    return p;
}

inline PlanePtr RandomPlane(int32_t width, int32_t height, uint32_t seed) {
    PlanePtr p = MakePlane(width, height);
    std::mt19937 random(seed);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) PlaneRow(p.get(), y)[x] = random() & 0xFF;
    return p;
}

inline uint8_t At(const Plane8 *p, int32_t x, int32_t y) { return PlaneRow(p, y)[x]; }
inline int8_t GradientAt(const Plane8 *p, int32_t x, int32_t y) { return GradientRow(p, y)[x]; }

}  // namespace tracker_test
