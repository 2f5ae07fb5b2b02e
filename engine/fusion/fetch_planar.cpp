#include "fetch_planar.h"

#include <algorithm>

#include "core/row_helpers.h"
#include "core/session.h"
#include "fusion/fusion_types.h"
#include "fusion/planar_layout.h"

namespace {

constexpr int32_t kWholeShift = 16;      // 1/65536 pixel to whole pixels
constexpr int32_t kSixteenthShift = 12;  // 1/65536 pixel to 1/16 pixel

int32_t MeshShift(const HdrSession *session, int index, int32_t fallback) {
    const int32_t shift = session ? session->meshConstants[index] : 0;
    return shift > 0 && shift < 31 ? shift : fallback;
}


const uint8_t *LumaRow(const YuvPlanes &p, int32_t row) {
    return p.plane[0] + static_cast<int64_t>(row) * p.pitch[0];
}

// Writes the chroma of pairs q and q2 (pair indices) of source row `row` into the quad.
template <ChromaLayout L>
void ChromaPairs(const YuvPlanes &p, int32_t row, int32_t bottom, int32_t q, int32_t q2,
                 uint8_t *quad) {
    const int32_t cr = ChromaRowOf<L>(row, bottom);
    if constexpr (kSeparateChromaPlanes<L>) {
        const uint8_t *u = p.plane[1] + static_cast<int64_t>(cr) * p.pitch[1];
        const uint8_t *v = p.plane[2] + static_cast<int64_t>(cr) * p.pitch[2];
        quad[1] = u[q];
        quad[3] = v[q];
        quad[5] = u[q2];
        quad[7] = v[q2];
    } else {
        const uint8_t *c = p.plane[1] + static_cast<int64_t>(cr) * p.pitch[1];
        quad[1] = c[2 * q];
        quad[3] = c[2 * q + 1];
        quad[5] = c[2 * q2];
        quad[7] = c[2 * q2 + 1];
    }
}

template <ChromaLayout L>
void FetchShifted(const HdrSession *session, int32_t right, int32_t bottom, int32_t dispX,
                  int32_t dispY, int32_t a, int32_t r, int32_t b, const YuvPlanes &source,
                  const ReferenceLuma &ref, uint8_t *destination) {
    const int32_t shift = MeshShift(session, 5, kWholeShift);
    const int32_t dx = dispX >> shift;
    const int32_t dy = dispY >> shift;
    const int32_t unclampedRow = r - dy;
    const bool rowClamped = unclampedRow < 0 || unclampedRow > bottom - 1;
    const int32_t sy = std::clamp(unclampedRow, 0, bottom - 1);
    const uint8_t *row = LumaRow(source, sy);
    uint8_t *quad = destination;
    for (int32_t x = a; x < b; x += 4, quad += kWarpGroupStride) {
        const int32_t unclampedColumn = x - dx;
        const int32_t sx = std::clamp(unclampedColumn, 0, right - 4);
        const int32_t q = sx >> 1;
        if (rowClamped || sx != unclampedColumn) {
            // Border estimate: the reference here, moved by the source's difference from the
            // reference at the matching spot (held inside the rectangle).
            // The source's four columns stay off its outermost ones (BorderEstimateInward).
            const int32_t inward = BorderEstimateInward(sx, right);
            const int32_t refX = std::clamp(sx + dx + inward, 0, std::max(right - 4, 0));
            const int32_t refY = std::clamp(sy + dy, 0, std::max(bottom - 1, 0));
            const uint8_t *spot = ref.data + static_cast<int64_t>(refY) * ref.pitch;
            const uint8_t *here = ref.data + static_cast<int64_t>(r) * ref.pitch;
            int32_t delta = 0;
            for (int32_t i = 0; i < 4; ++i)
                delta += row[sx + inward + i] -
                         spot[static_cast<int64_t>(refX + i) * ref.pixelStep];
            delta >>= 2;
            for (int32_t i = 0; i < 4; ++i)
                quad[2 * i] = ClampByte(here[static_cast<int64_t>(x + i) * ref.pixelStep] + delta);
            ChromaPairs<L>(source, sy, bottom, q, kSeparateChromaPlanes<L> ? q : q + 1, quad);
            continue;
        }
        for (int32_t i = 0; i < 4; ++i) quad[2 * i] = row[sx + i];
        ChromaPairs<L>(source, sy, bottom, q, q + 1, quad);
    }
}

template <ChromaLayout L>
void FetchSubpel(const HdrSession *session, int32_t right, int32_t bottom, int32_t dispX,
                 int32_t dispY, int32_t stepX, int32_t stepY, int32_t a, int32_t r, int32_t b,
                 const YuvPlanes &source, uint8_t *destination) {
    const int32_t shift = MeshShift(session, 4, kSixteenthShift);
    uint8_t *quad = destination;
    uint32_t ux = static_cast<uint32_t>(dispX), uy = static_cast<uint32_t>(dispY);
    for (int32_t x = a; x < b; x += 4, quad += kWarpGroupStride) {
        const int32_t sx16 = 16 * x - (static_cast<int32_t>(ux) >> shift);
        const int32_t sy16 = 16 * r - (static_cast<int32_t>(uy) >> shift);
        const int32_t col = std::clamp(sx16 >> 4, 0, right - 5);
        const int32_t srow = std::clamp(sy16 >> 4, 0, bottom - 2);
        const int32_t fx = sx16 & 15, fy = sy16 & 15;
        const uint8_t *top = LumaRow(source, srow);
        const uint8_t *bot = top + source.pitch[0];
        for (int32_t i = 0; i < 4; ++i) {
            const int32_t p = col + i;
            const int32_t t = 16 * top[p] + fx * (top[p + 1] - top[p]);
            const int32_t u = 16 * bot[p] + fx * (bot[p + 1] - bot[p]);
            quad[2 * i] = static_cast<uint8_t>((16 * t + fy * (u - t)) >> 8);
        }
        ChromaPairs<L>(source, srow, bottom, col >> 1, (col >> 1) + 1, quad);
        // The displacement wraps like the 32-bit arithmetic it is carried in.
        ux += static_cast<uint32_t>(stepX);
        uy += static_cast<uint32_t>(stepY);
    }
}

}  // namespace

void FetchShiftedPlanar420(const HdrSession *session, int32_t right, int32_t bottom,
                           int32_t dispX, int32_t dispY, int32_t, int32_t, int32_t a, int32_t r,
                           int32_t b, const YuvPlanes &source, const ReferenceLuma *reference,
                           uint8_t *destination) {
    FetchShifted<ChromaLayout::kPlanar420>(session, right, bottom, dispX, dispY, a, r, b, source,
                                           *reference, destination);
}

void FetchShiftedSemiPlanar420(const HdrSession *session, int32_t right, int32_t bottom,
                               int32_t dispX, int32_t dispY, int32_t, int32_t, int32_t a,
                               int32_t r, int32_t b, const YuvPlanes &source,
                               const ReferenceLuma *reference, uint8_t *destination) {
    FetchShifted<ChromaLayout::kSemiPlanar420>(session, right, bottom, dispX, dispY, a, r, b,
                                               source, *reference, destination);
}

void FetchShiftedSemiPlanar422(const HdrSession *session, int32_t right, int32_t bottom,
                               int32_t dispX, int32_t dispY, int32_t, int32_t, int32_t a,
                               int32_t r, int32_t b, const YuvPlanes &source,
                               const ReferenceLuma *reference, uint8_t *destination) {
    FetchShifted<ChromaLayout::kSemiPlanar422>(session, right, bottom, dispX, dispY, a, r, b,
                                               source, *reference, destination);
}

void FetchSubpelPlanar420(const HdrSession *session, int32_t right, int32_t bottom, int32_t dispX,
                          int32_t dispY, int32_t stepX, int32_t stepY, int32_t a, int32_t r,
                          int32_t b, const YuvPlanes &source, uint8_t *destination) {
    FetchSubpel<ChromaLayout::kPlanar420>(session, right, bottom, dispX, dispY, stepX, stepY, a, r,
                                          b, source, destination);
}

void FetchSubpelSemiPlanar420(const HdrSession *session, int32_t right, int32_t bottom,
                              int32_t dispX, int32_t dispY, int32_t stepX, int32_t stepY,
                              int32_t a, int32_t r, int32_t b, const YuvPlanes &source,
                              uint8_t *destination) {
    FetchSubpel<ChromaLayout::kSemiPlanar420>(session, right, bottom, dispX, dispY, stepX, stepY,
                                              a, r, b, source, destination);
}

void FetchSubpelSemiPlanar422(const HdrSession *session, int32_t right, int32_t bottom,
                              int32_t dispX, int32_t dispY, int32_t stepX, int32_t stepY,
                              int32_t a, int32_t r, int32_t b, const YuvPlanes &source,
                              uint8_t *destination) {
    FetchSubpel<ChromaLayout::kSemiPlanar422>(session, right, bottom, dispX, dispY, stepX, stepY,
                                              a, r, b, source, destination);
}

void FetchShiftedPlanar422(const HdrSession *session, int32_t right, int32_t bottom,
                           int32_t dispX, int32_t dispY, int32_t, int32_t, int32_t a, int32_t r,
                           int32_t b, const YuvPlanes &source, const ReferenceLuma *reference,
                           uint8_t *destination) {
    FetchShifted<ChromaLayout::kPlanar422>(session, right, bottom, dispX, dispY, a, r, b, source,
                                           *reference, destination);
}

void FetchSubpelPlanar422(const HdrSession *session, int32_t right, int32_t bottom, int32_t dispX,
                          int32_t dispY, int32_t stepX, int32_t stepY, int32_t a, int32_t r,
                          int32_t b, const YuvPlanes &source, uint8_t *destination) {
    FetchSubpel<ChromaLayout::kPlanar422>(session, right, bottom, dispX, dispY, stepX, stepY, a, r,
                                          b, source, destination);
}
