// The exposures of a packed BandSession converted to a planar or semi-planar layout, and the
// band pass of that layout's worker over the session's bands.
#pragma once

#include <vector>

#include "band_session_support.h"
#include "core/memory.h"
#include "fusion/band_planar.h"
#include "fusion/band_planar422.h"

namespace fusion_test {

// The three exposures of a BandSession in one planar layout; each plane has its own pitch.
struct PlanarFrames {
    uint32_t format;
    int width, height;
    int pitch[3] = {};
    std::vector<uint8_t> planes[3][3];  // [exposure][plane]
    std::vector<uint8_t> output[3];     // a separate output, when used

    bool Subsampled() const { return format != PIXEL_FORMAT_NV16 && format != PIXEL_FORMAT_YUV422P; }
    bool Planar() const { return format == PIXEL_FORMAT_I420 || format == PIXEL_FORMAT_YUV422P; }
    int ChromaRows() const { return Subsampled() ? height / 2 : height; }

    PlanarFrames(BandSession &b, uint32_t f) : format(f), width(b.width()), height(b.height()) {
        pitch[0] = width + 12;
        pitch[1] = Planar() ? width / 2 + 20 : width + 36;  // chroma pitches unlike the luma's
        pitch[2] = Planar() ? width / 2 + 4 : 0;
        for (int e = 0; e < 3; ++e) {
            const std::vector<uint8_t> &in = b.frame(e);
            planes[e][0].assign(size_t(pitch[0]) * height, 0);
            for (int p = 1; p < (Planar() ? 3 : 2); ++p)
                planes[e][p].assign(size_t(pitch[p]) * ChromaRows(), 0);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    planes[e][0][size_t(y) * pitch[0] + x] = in[size_t(y) * b.pitch() + 2 * x];
            for (int cy = 0; cy < ChromaRows(); ++cy) {
                const uint8_t *row = in.data() + size_t(Subsampled() ? 2 * cy : cy) * b.pitch();
                for (int x = 0; x < width; x += 2)
                    for (int k = 0; k < 2; ++k) Chroma(e, x, cy, k) = row[2 * x + 1 + 2 * k];
            }
        }
    }

    uint8_t &Chroma(int e, int x, int cy, int k) {
        if (Planar()) return planes[e][1 + k][size_t(cy) * pitch[1 + k] + x / 2];
        return planes[e][1][size_t(cy) * pitch[1] + (x & ~1) + k];
    }
    int Luma(int e, int x, int y) const { return planes[e][0][size_t(y) * pitch[0] + x]; }
};

struct PlanarJob {
    BandSession *session;
    PlanarFrames *frames;
    RowBand band;
};

inline int RunPlanarJob(void *record) {
    auto *job = static_cast<PlanarJob *>(record);
    PlanarFrames &f = *job->frames;
    HdrSession *s = job->session->session();
    uint8_t *p[3][3];
    for (int k = 0; k < 3; ++k)
        for (int e = 0; e < 3; ++e) p[k][e] = f.planes[e][k].empty() ? nullptr : f.planes[e][k].data();
    switch (f.format) {
        case PIXEL_FORMAT_I420:
            return RenderFusedBandPlanar420(&job->band, s, p[0], f.width, f.height, f.pitch[0], p[1],
                                            f.pitch[1], p[2], f.pitch[2], &s->processRect, nullptr,
                                            nullptr, nullptr, nullptr);
        case PIXEL_FORMAT_YUV422P:
            return RenderFusedRowsPlanar422(&job->band, s, p[0], 0, f.width, f.height, f.pitch[0],
                                            p[1], f.pitch[1], p[2], f.pitch[2], &s->processRect);
        case PIXEL_FORMAT_NV16:
            return RenderFusedBandSemiPlanar422(&job->band, s, p[0], f.width, f.height, f.pitch[0],
                                                p[1], f.pitch[1], &s->processRect, nullptr,
                                                nullptr, nullptr, nullptr);
        default:
            return RenderFusedBandSemiPlanar420(&job->band, s, p[0], f.width, f.height, f.pitch[0],
                                                p[1], f.pitch[1], &s->processRect, nullptr,
                                                nullptr, nullptr, nullptr);
    }
}

// The planar pass over the session's bands, in place on the reference (BandSession::kReference)
// or into separate planes.
inline int RunPlanarPass(BandSession &b, PlanarFrames &f, bool inPlace,
                  int (*runner)(int, int (*)(void *), void *, size_t)) {
    HdrSession *s = b.session();
    constexpr int ref = BandSession::kReference;
    const int planeCount = f.Planar() ? 3 : 2;
    for (int k = 0; k < planeCount; ++k) {
        if (!inPlace) f.output[k] = f.planes[ref][k];
        s->outputPlanes[k] = inPlace ? f.planes[ref][k].data() : f.output[k].data();
    }
    const int copied = CopyReferenceLumaPlaneForBandPass(nullptr, s, f.planes[ref][0].data(),
                                                         f.width, f.height, f.pitch[0]);
    if (copied != RESULT_OK) return copied;
    std::vector<PlanarJob> jobs;
    for (const RowBand &band : b.Bands()) jobs.push_back({&b, &f, band});
    const int r = runner(4, RunPlanarJob, jobs.data(), sizeof(PlanarJob));
    FreeAndClear(nullptr, s->bandReferenceLuma);
    s->outputPlanes[0] = b.plane(ref);
    s->outputPlanes[1] = s->outputPlanes[2] = nullptr;
    return r;
}

}  // namespace fusion_test
