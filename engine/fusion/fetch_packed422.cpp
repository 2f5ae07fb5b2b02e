#include "fetch_packed422.h"

#include <algorithm>

#include "core/kernel_instructions.h"
#include "core/kernel_tiers.h"
#include "core/row_helpers.h"
#include "core/session.h"
#include "fusion/fetch_packed422_kernels.h"
#include "fusion/fetch_whole_packed422_kernels.h"

namespace {

constexpr int32_t kWholeShift = 16;   // 1/65536 pixel to whole pixels
constexpr int32_t kSixteenthShift = 12;  // 1/65536 pixel to 1/16 pixel

// The session's fetch shifts, or their usual values for a session that has none set.
int32_t MeshShift(const HdrSession *session, int index, int32_t fallback) {
    const int32_t shift = session ? session->meshConstants[index] : 0;
    return shift > 0 && shift < 31 ? shift : fallback;
}


// Luma of a group whose source column or row was clamped: the reference at the output
// position, moved by a quarter of the difference of four source lumas (from the even pixel e,
// kept off the outermost columns) and four reference lumas at the matching spot, held inside
// the rectangle.
void EstimateBorderGroup(const uint8_t *sourceRow, int32_t sx, int32_t sy, int32_t dx, int32_t dy,
                         int32_t x, int32_t r, int32_t right, int32_t bottom,
                         const ReferenceLuma &ref, uint8_t *quad) {
    const int32_t e = sx & ~1;
    const int32_t inward = BorderEstimateInward(e, right);
    const int32_t refX = std::clamp(sx + dx + inward, 0, std::max(right - 4, 0));
    const int32_t refY = std::clamp(sy + dy, 0, std::max(bottom - 1, 0));
    const uint8_t *spot = ref.data + static_cast<int64_t>(refY) * ref.pitch;
    const uint8_t *here = ref.data + static_cast<int64_t>(r) * ref.pitch;
    int32_t delta = 0;
    for (int32_t i = 0; i < 4; ++i)
        delta += sourceRow[2 * (e + inward + i)] -
                 spot[static_cast<int64_t>(refX + i) * ref.pixelStep];
    delta >>= 2;
    for (int32_t i = 0; i < 4; ++i)
        quad[2 * i] = ClampByte(here[static_cast<int64_t>(x + i) * ref.pixelStep] + delta);
    quad[1] = sourceRow[2 * e + 1];
    quad[3] = sourceRow[2 * e + 3];
    quad[5] = sourceRow[2 * e + 5];
    quad[7] = sourceRow[2 * e + 7];
}

}  // namespace

void FetchShiftedPacked422(const HdrSession *session, int32_t right, int32_t bottom,
                           int32_t dispX, int32_t dispY, int32_t, int32_t, int32_t a, int32_t r,
                           int32_t b, int32_t pitch, const uint8_t *source,
                           const ReferenceLuma *reference, uint8_t *destination) {
    const int32_t shift = MeshShift(session, 5, kWholeShift);
    const int32_t dx = dispX >> shift;
    const int32_t dy = dispY >> shift;
    const int32_t unclampedRow = r - dy;
    const bool rowClamped = unclampedRow < 0 || unclampedRow > bottom - 1;
    const int32_t sy = std::clamp(unclampedRow, 0, bottom - 1);
    const uint8_t *row = source + static_cast<int64_t>(sy) * pitch;
    uint8_t *quad = destination;
    for (int32_t x = a; x < b; x += 4, quad += 16) {
        const int32_t unclampedColumn = x - dx;
        const int32_t sx = std::clamp(unclampedColumn, 0, right - 4);
        if (rowClamped || sx != unclampedColumn) {
            EstimateBorderGroup(row, sx, sy, dx, dy, x, r, right, bottom, *reference, quad);
            continue;
        }
        if (Sse2KernelsEnabled()) {  // this group and the unclamped ones after it at once
            const int32_t n = CopyShiftedGroupsPacked422_SSE2(row, dx, right, x, b, quad);
            x += 4 * (n - 1), quad += 16 * (n - 1);
            continue;
        }
        const uint8_t *p = row + 2 * sx;
        if ((sx & 1) == 0) {
            for (int32_t i = 0; i < 8; ++i) quad[i] = p[i];
            continue;
        }
        // Odd column: the pixels straddle two pairs; take each pair's chroma whole.
        quad[0] = p[0];
        quad[1] = p[-1];
        quad[2] = p[2];
        quad[3] = p[1];
        quad[4] = p[4];
        quad[5] = p[3];
        quad[6] = p[6];
        quad[7] = p[5];
    }
}

namespace {

// Where a group's samples lie: the upper source row, the first column and the fractions.
struct SubpelSpot {
    const uint8_t *top;
    int32_t col, fx, fy;
};

SubpelSpot SpotOf(int32_t shift, int32_t right, int32_t bottom, uint32_t ux, uint32_t uy,
                  int32_t x, int32_t r, int32_t pitch, const uint8_t *source) {
    const int32_t sx16 = 16 * x - (static_cast<int32_t>(ux) >> shift);
    const int32_t sy16 = 16 * r - (static_cast<int32_t>(uy) >> shift);
    const int32_t col = std::clamp(sx16 >> 4, 0, right - 5);
    const int32_t srow = std::clamp(sy16 >> 4, 0, bottom - 2);
    return {source + static_cast<int64_t>(srow) * pitch, col, sx16 & 15, sy16 & 15};
}

void SubpelGroup(const SubpelSpot &s, int32_t pitch, uint8_t *quad) {
    const uint8_t *top = s.top;
    const uint8_t *bot = top + pitch;
    for (int32_t i = 0; i < 4; ++i) {
        const int32_t p = 2 * (s.col + i);
        const int32_t t = 16 * top[p] + s.fx * (top[p + 2] - top[p]);
        const int32_t u = 16 * bot[p] + s.fx * (bot[p + 2] - bot[p]);
        quad[2 * i] = static_cast<uint8_t>((16 * t + s.fy * (u - t)) >> 8);
    }
    const int32_t pair = 2 * (s.col & ~1);
    quad[1] = top[pair + 1];
    quad[3] = top[pair + 3];
    quad[5] = top[pair + 5];
    quad[7] = top[pair + 7];
}

}  // namespace

void FetchSubpelRowPacked422_C(int32_t shift, int32_t right, int32_t bottom, int32_t dispX,
                               int32_t dispY, int32_t stepX, int32_t stepY, int32_t a, int32_t r,
                               int32_t b, int32_t pitch, const uint8_t *source,
                               uint8_t *destination) {
    uint8_t *quad = destination;
    uint32_t ux = static_cast<uint32_t>(dispX), uy = static_cast<uint32_t>(dispY);
    for (int32_t x = a; x < b; x += 4, quad += 16) {
        SubpelGroup(SpotOf(shift, right, bottom, ux, uy, x, r, pitch, source), pitch, quad);
        // The displacement wraps like the 32-bit arithmetic it is carried in.
        ux += static_cast<uint32_t>(stepX);
        uy += static_cast<uint32_t>(stepY);
    }
}

void FetchSubpelRowPacked422_SSE2(int32_t shift, int32_t right, int32_t bottom, int32_t dispX,
                                  int32_t dispY, int32_t stepX, int32_t stepY, int32_t a,
                                  int32_t r, int32_t b, int32_t pitch, const uint8_t *source,
                                  uint8_t *destination) {
#if defined(__SSE2__)
    // With both weights of a pair non-negative, 16 a + f (b - a) = (16 - f) a + f b stays in
    // 0..4080 and the vertical blend in 0..65280: unsigned 16-bit lanes hold every step.
    const __m128i lumaBytes = _mm_set1_epi16(0x00ff);
    const __m128i sixteen = _mm_set1_epi16(16);
    uint8_t *quad = destination;
    uint32_t ux = static_cast<uint32_t>(dispX), uy = static_cast<uint32_t>(dispY);
    for (int32_t x = a; x < b; x += 4, quad += 16) {
        const SubpelSpot s = SpotOf(shift, right, bottom, ux, uy, x, r, pitch, source);
        ux += static_cast<uint32_t>(stepX);
        uy += static_cast<uint32_t>(stepY);
        if (s.col > right - 8) {  // sixteen bytes from the column would pass the row end
            SubpelGroup(s, pitch, quad);
            continue;
        }
        const uint8_t *top = s.top + 2 * s.col;
        const __m128i fx = _mm_set1_epi16(static_cast<int16_t>(s.fx));
        const __m128i fy = _mm_set1_epi16(static_cast<int16_t>(s.fy));
        const __m128i gx = _mm_sub_epi16(sixteen, fx), gy = _mm_sub_epi16(sixteen, fy);
        const auto across = [&](const uint8_t *row) {
            const __m128i y = _mm_and_si128(
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(row)), lumaBytes);
            return _mm_add_epi16(_mm_mullo_epi16(gx, y), _mm_mullo_epi16(fx, _mm_srli_si128(y, 2)));
        };
        const __m128i t = across(top), u = across(top + pitch);
        const __m128i luma =
            _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(gy, t), _mm_mullo_epi16(fy, u)), 8);
        const __m128i pairs = _mm_loadl_epi64(
            reinterpret_cast<const __m128i *>(s.top + 2 * (s.col & ~1)));
        const __m128i chroma = _mm_andnot_si128(lumaBytes, pairs);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(quad), _mm_or_si128(luma, chroma));
    }
#else
    FetchSubpelRowPacked422_C(shift, right, bottom, dispX, dispY, stepX, stepY, a, r, b, pitch,
                              source, destination);
#endif
}

void FetchSubpelPacked422(const HdrSession *session, int32_t right, int32_t bottom, int32_t dispX,
                          int32_t dispY, int32_t stepX, int32_t stepY, int32_t a, int32_t r,
                          int32_t b, int32_t pitch, const uint8_t *source, uint8_t *destination) {
    const int32_t shift = MeshShift(session, 4, kSixteenthShift);
    if (Sse2KernelsEnabled())
        FetchSubpelRowPacked422_SSE2(shift, right, bottom, dispX, dispY, stepX, stepY, a, r, b,
                                     pitch, source, destination);
    else
        FetchSubpelRowPacked422_C(shift, right, bottom, dispX, dispY, stepX, stepY, a, r, b, pitch,
                                  source, destination);
}
