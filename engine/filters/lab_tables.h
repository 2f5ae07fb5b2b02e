// Tables of the 8-bit CIELAB conversion.
#pragma once

#include <cstdint>

// Entry i is 1024 f(i / 255) with the CIELAB function f(t) = t^(1/3) above (6/29)^3 and
// t / (3 (6/29)^2) + 4/29 below; entries 0..2 (the linear part) are rounded up, the others
// truncated.
extern const int32_t LabCubeRootTable[256];
// Entry j is 2.55 (116 j / 1024 - 16) rounded half up, 0 where negative: the lightness of a
// scaled f value j on 0..255.
extern const int32_t LabLightnessTable[1025];
