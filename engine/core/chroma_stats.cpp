// Block chroma means and chroma histograms at full resolution.
#include "chroma_stats.h"

#include <algorithm>
#include <cstddef>

#include "session.h"

namespace {

constexpr uint32_t kPixelFormatI420Twin = 0x605;  // laid out as PIXEL_FORMAT_I420
constexpr int kSampleStride = 8;
constexpr int kNearWhite = 239;

// Planes of one input and where the chroma of a sampled pixel (x even) lies in them: row
// y >> rowShift, byte (x * columnScale) >> columnShift from the channel's base pointer.
struct ChromaPlanes {
    const uint8_t *luma;
    const uint8_t *u;
    const uint8_t *v;
    ptrdiff_t lumaPitch;
    ptrdiff_t uPitch;
    ptrdiff_t vPitch;
    int lumaStep;
    int rowShift;
    int columnScale;
    int columnShift;
    int32_t lastChromaRow;  // 4:2:0 keeps height >> 1 chroma rows: an odd last row has none
    int32_t lastChromaX;    // width >> 1 chroma pairs: an odd last column has none

    uint8_t Y(int32_t x, int32_t y) const { return luma[y * lumaPitch + x * lumaStep]; }
    ptrdiff_t Column(int32_t x) const {
        return (static_cast<ptrdiff_t>(std::min(x, lastChromaX)) * columnScale) >> columnShift;
    }
    ptrdiff_t Row(int32_t y) const { return std::min(y >> rowShift, lastChromaRow); }
    uint8_t U(int32_t x, int32_t y) const { return u[Row(y) * uPitch + Column(x)]; }
    uint8_t V(int32_t x, int32_t y) const { return v[Row(y) * vPitch + Column(x)]; }
};

// Chroma addressing of a format; false when the format is not sampled or a plane is missing.
bool MakeChromaPlanes(uint32_t format, const uint8_t *p0, const uint8_t *p1, const uint8_t *p2,
                      int32_t pitch0, int32_t pitch1, int32_t pitch2, int32_t width,
                      int32_t height, ChromaPlanes *out) {
    ChromaPlanes c;
    switch (format) {
    case PIXEL_FORMAT_YUYV:  // U at byte 2x + 1, V at 2x + 3
        c = {p0, p0 ? p0 + 1 : nullptr, p0 ? p0 + 3 : nullptr, pitch0, pitch0, pitch0, 2, 0, 2, 0,
             0, 0};
        break;
    case PIXEL_FORMAT_I420:
    case kPixelFormatI420Twin: c = {p0, p1, p2, pitch0, pitch1, pitch2, 1, 1, 1, 1, 0, 0}; break;
    case PIXEL_FORMAT_YUV422P: c = {p0, p1, p2, pitch0, pitch1, pitch2, 1, 0, 1, 1, 0, 0}; break;
    case PIXEL_FORMAT_NV12:
    case PIXEL_FORMAT_NV21:  // pairs at byte x: first byte "U", second "V"
        c = {p0, p1, p1 ? p1 + 1 : nullptr, pitch0, pitch1, pitch1, 1, 1, 1, 0, 0, 0};
        break;
    case PIXEL_FORMAT_NV16:
        c = {p0, p1, p1 ? p1 + 1 : nullptr, pitch0, pitch1, pitch1, 1, 0, 1, 0, 0, 0};
        break;
    default: return false;
    }
    if (!c.luma || !c.u || !c.v) return false;
    c.lastChromaRow = (height >> c.rowShift) - 1;
    c.lastChromaX = 2 * ((width >> 1) - 1);
    if (c.lastChromaRow < 0 || c.lastChromaX < 0) return false;
    *out = c;
    return true;
}

struct Grids {
    int16_t *u;
    int16_t *v;
    int32_t cols;
    int32_t rows;
};

void AccumulateBlockChroma(const ChromaPlanes &c, int32_t width, int32_t height, const Grids &g) {
    const int32_t whole = std::min(width / 32, g.cols);
    for (int32_t y = 0; y < height; y += kSampleStride) {
        const int32_t r = y >> 5;
        if (r >= g.rows) break;
        int16_t *u = g.u + static_cast<ptrdiff_t>(r) * g.cols;
        int16_t *v = g.v + static_cast<ptrdiff_t>(r) * g.cols;
        for (int32_t b = 0; b < whole; ++b)
            for (int32_t x = 32 * b; x < 32 * b + 32; x += kSampleStride) {
                u[b] = static_cast<int16_t>(u[b] + c.U(x, y));
                v[b] = static_cast<int16_t>(v[b] + c.V(x, y));
            }
    }
}

// Sums to rounded means, with the neighbour copies of a partial last column and row; a grid
// one block wide or high has no neighbour and keeps what it measured.
void FinishBlockChroma(const Grids &g, int32_t width, int32_t height) {
    for (int16_t *grid : {g.u, g.v}) {
        for (int32_t r = 0; r < g.rows; ++r) {
            int16_t *row = grid + static_cast<ptrdiff_t>(r) * g.cols;
            if (width / 32 < g.cols && g.cols >= 2) row[g.cols - 1] = row[g.cols - 2];
            for (int32_t k = 0; k < g.cols; ++k) row[k] = static_cast<int16_t>((row[k] + 8) >> 4);
        }
        if (height / 32 < g.rows && g.rows >= 2)
            std::copy(grid + static_cast<ptrdiff_t>(g.rows - 2) * g.cols,
                      grid + static_cast<ptrdiff_t>(g.rows - 1) * g.cols,
                      grid + static_cast<ptrdiff_t>(g.rows - 1) * g.cols);
    }
}

void BlockChroma(uint32_t format, const uint8_t *p0, const uint8_t *p1, const uint8_t *p2,
                 int32_t width, int32_t height, int32_t pitch0, int32_t pitch1, int32_t pitch2,
                 const Grids &g) {
    if (!g.u || !g.v || g.cols <= 0 || g.rows <= 0) return;
    std::fill(g.u, g.u + static_cast<ptrdiff_t>(g.cols) * g.rows, 0);
    std::fill(g.v, g.v + static_cast<ptrdiff_t>(g.cols) * g.rows, 0);
    ChromaPlanes c;
    if (width > 0 && height > 0 &&
        MakeChromaPlanes(format, p0, p1, p2, pitch0, pitch1, pitch2, width, height, &c))
        AccumulateBlockChroma(c, width, height, g);
    FinishBlockChroma(g, width, height);
}

}  // namespace

void ComputeBlockChromaMeans(HdrSession *session, const ImageDesc *inputs, int32_t e,
                             int16_t *uGrid, int16_t *vGrid) {
    if (!session || !inputs || e < 0 || e >= kMaxExposures) return;
    const ImageDesc &in = inputs[e];
    Grids g = {uGrid, vGrid, (in.i32Width + 31) / 32, (in.i32Height + 31) / 32};
    // The grids are planes of blockStats: never larger than the session's block grid.
    if (session->blocksAcross > 0) g.cols = std::min(g.cols, session->blocksAcross);
    if (session->blocksDown > 0) g.rows = std::min(g.rows, session->blocksDown);
    BlockChroma(in.u32PixelArrayFormat, in.ppu8Plane[0], in.ppu8Plane[1], in.ppu8Plane[2],
                in.i32Width, in.i32Height, in.pi32Pitch[0], in.pi32Pitch[1], in.pi32Pitch[2], g);
}

void ComputeBlockChromaSums(int64_t, uint8_t *const plane0[3], uint8_t *const plane1[3],
                            uint8_t *const plane2[3], int32_t width, int32_t height, int32_t pitch0,
                            int32_t pitch1, int32_t pitch2, uint32_t format, int16_t *uGrid,
                            int16_t *vGrid, int32_t gridColumns, int32_t gridRows, int32_t index) {
    if (!plane0 || !plane1 || !plane2 || index < 0 || index >= kMaxExposures) return;
    BlockChroma(format, plane0[index], plane1[index], plane2[index], width, height, pitch0, pitch1,
                pitch2, {uGrid, vGrid, gridColumns, gridRows});
}

void ComputeChromaHistograms(int64_t, const HdrSession *session, int32_t *const uHist[3],
                             int32_t *const vHist[3], uint8_t *const plane0[3],
                             uint8_t *const plane1[3], uint8_t *const plane2[3], int32_t width,
                             int32_t height, int32_t pitch0, int32_t pitch1, int32_t pitch2,
                             uint32_t format) {
    if (!session || !uHist || !vHist || !plane0 || !plane1 || !plane2) return;
    for (int e = 0; e < kMaxExposures; ++e) {
        if (uHist[e]) std::fill(uHist[e], uHist[e] + 256, 0);
        if (vHist[e]) std::fill(vHist[e], vHist[e] + 256, 0);
    }
    if (format == PIXEL_FORMAT_NV16) return;  // not sampled by the histograms
    const int32_t bright = session->brightIndex;
    ChromaPlanes planes[kMaxExposures];
    bool present[kMaxExposures];
    for (int e = 0; e < kMaxExposures; ++e)
        present[e] = MakeChromaPlanes(format, plane0[e], plane1[e], plane2[e], pitch0, pitch1,
                                      pitch2, width, height, &planes[e]);
    if (bright < 0 || bright >= kMaxExposures || !present[bright]) return;
    for (int32_t y = 0; y < height; y += kSampleStride)
        for (int32_t x = 0; x < width; x += kSampleStride) {
            if (planes[bright].Y(x, y) > kNearWhite) continue;
            for (int e = 0; e < kMaxExposures; ++e) {
                if (!present[e]) continue;
                if (uHist[e]) ++uHist[e][planes[e].U(x, y)];
                if (vHist[e]) ++vHist[e][planes[e].V(x, y)];
            }
        }
}
