#!/usr/bin/env python3
"""Writes app/effects/lomo_color_look_table.cpp: the colour look of the art effect engine.

The look is a 17x17x17 grid over the input levels 16*n (point 16 stands for 256) with three
output planes B, G, R. It is built from a few anchor colours:
  - the grey axis (n, n, n), one curve per output plane, which warms and lifts the mid tones;
  - the six primary and secondary corners of the cube;
  - two mid-saturated colours, an orange and a blue.
Between them every grid point is blended from three anchors: the grey axis at the point's
brightest level, its secondary corner and its primary corner, weighted like a tetrahedral
interpolation, so the outputs mix all three inputs. A smooth correction makes the blend meet
the two mid-saturated anchors, and a shoulder lifts the colours next to white so that the
brightest input stays white after interpolation.

Run without arguments to rewrite the source file; with --stdout to print it instead (a unit
test compares that text with the file)."""
import math
import pathlib
import sys

GRID = 17
PLANES = "BGR"  # storage order of the output planes

# Grey axis: output level of each plane at grid point (n, n, n).
AXIS = {
    "R": [0, 12, 22, 34, 40, 59, 82, 97, 126, 154, 183, 205, 217, 232, 236, 246, 255],
    "G": [0, 8, 17, 26, 42, 66, 98, 127, 150, 178, 200, 221, 236, 247, 252, 255, 255],
    "B": [0, 5, 11, 15, 20, 32, 51, 65, 100, 144, 181, 211, 230, 242, 249, 252, 255],
}

# Corners of the cube, input (r, g, b) grid point -> output (R, G, B).
CORNERS = {
    (16, 0, 0): (246, 70, 21),
    (0, 16, 0): (69, 217, 1),
    (0, 0, 16): (0, 37, 223),
    (16, 16, 0): (255, 227, 9),
    (0, 16, 16): (16, 242, 230),
    (16, 0, 16): (241, 129, 239),
}

# Mid-saturated anchors, input (r, g, b) grid point -> output (R, G, B).
ANCHORS = {
    (12, 8, 6): (226, 157, 38),
    (6, 8, 12): (56, 163, 207),
}

BUMP_SIGMA = 4.0      # width of the anchor corrections, in grid steps
SHOULDER_RADIUS = 4.0  # reach of the highlight shoulder around white, in grid steps


def blend(point, plane):
    """Tetrahedral-style blend of the grey axis, the secondary and the primary corner."""
    mx, mn = max(point), min(point)
    if mx == 0:
        return 0.0
    order = sorted(range(3), key=lambda c: (-point[c], c))
    md = point[order[1]]
    primary = [0, 0, 0]
    primary[order[0]] = 16
    secondary = list(primary)
    secondary[order[1]] = 16
    c = "RGB".index(plane)
    return (mn / mx * AXIS[plane][mx] + (md - mn) / 16 * CORNERS[tuple(secondary)][c]
            + (mx - md) / 16 * CORNERS[tuple(primary)][c])


def bump(point, centre):
    """Correction shape: 0 on the grey axis and on the faces holding the corners."""
    mx, mn = max(point), min(point)
    if mx == 0:
        return 0.0
    s = (mx - mn) / mx
    d2 = sum((a - b) ** 2 for a, b in zip(point, centre))
    return 4 * s * (1 - s) * math.exp(-d2 / (2 * BUMP_SIGMA * BUMP_SIGMA))


def solve2(m, v):
    det = m[0][0] * m[1][1] - m[0][1] * m[1][0]
    return [(v[0] * m[1][1] - m[0][1] * v[1]) / det, (m[0][0] * v[1] - v[0] * m[1][0]) / det]


def correction_weights(plane):
    centres = list(ANCHORS)
    c = "RGB".index(plane)
    m = [[bump(p, q) for q in centres] for p in centres]
    v = [ANCHORS[p][c] - blend(p, plane) for p in centres]
    return solve2(m, v)


def shoulder(point):
    d = math.sqrt(sum((16 - a) ** 2 for a in point))
    return max(0.0, 1 - d / SHOULDER_RADIUS) ** 2


def level(x):
    return min(255, max(0, int(math.floor(x + 0.5))))


def build():
    planes = {}
    for plane in PLANES:
        weights = correction_weights(plane)
        values = []
        for r in range(GRID):
            for g in range(GRID):
                for b in range(GRID):
                    p = (r, g, b)
                    if r == g == b:
                        values.append(AXIS[plane][r])
                        continue
                    x = blend(p, plane) + sum(w * bump(p, q) for w, q in zip(weights, ANCHORS))
                    x += shoulder(p) * (255 - x)
                    values.append(level(x))
        planes[plane] = values
    return planes


def index(r, g, b):
    return r * GRID * GRID + g * GRID + b


def look(planes, rgb):
    """The kernel's trilinear lookup of one input colour, as (R, G, B)."""
    i = [v >> 4 for v in rgb]
    f = [v & 15 for v in rgb]
    out = []
    for plane in "RGB":
        total = 0
        for dr in (0, 1):
            for dg in (0, 1):
                for db in (0, 1):
                    w = 1
                    for d, fx in zip((dr, dg, db), f):
                        w *= fx if d else 16 - fx
                    total += w * planes[plane][index(i[0] + dr, i[1] + dg, i[2] + db)]
        out.append(total >> 12)
    return tuple(out)


def check(planes):
    for n in range(GRID):
        for plane in "RGB":
            assert planes[plane][index(n, n, n)] == AXIS[plane][n], (plane, n)
    for point, want in list(CORNERS.items()) + list(ANCHORS.items()):
        got = tuple(planes[p][index(*point)] for p in "RGB")
        assert got == want, (point, got, want)
    for rgb, want in [((0, 0, 0), (0, 0, 0)), ((255, 255, 255), (254, 254, 254)),
                      ((128, 128, 128), (126, 150, 100)), ((255, 0, 0), (245, 69, 20))]:
        assert look(planes, rgb) == want, (rgb, look(planes, rgb), want)


def rows(values, per_line=17):
    return "\n".join("    " + ", ".join(str(v) for v in values[i:i + per_line]) + ","
                     for i in range(0, len(values), per_line))


def source(planes):
    body = "\n".join(f"    // output {p}: grid point (r, g, b) at r * 289 + g * 17 + b\n"
                     + rows(planes[p]) for p in PLANES)
    return f"""// Generated by tools/gen_color_look_table.py; do not edit by hand.
#include "effects/lomo_color_look_table.h"

const uint8_t LomoColorLookTable[kLomoColorLookTableSize] = {{
{body}
}};
"""


def main():
    planes = build()
    check(planes)
    text = source(planes)
    if sys.argv[1:] == ["--stdout"]:
        sys.stdout.write(text)
    else:
        pathlib.Path(__file__).resolve().parent.parent.joinpath(
            "app/effects/lomo_color_look_table.cpp").write_text(text)


if __name__ == "__main__":
    main()
