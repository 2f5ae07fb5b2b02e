#include "render_image_semi_planar.h"

#include "core/memory.h"
#include "core/session.h"
#include "fusion/direct_output_rows.h"
#include "fusion/recovery_refine_planar.h"

namespace {

enum class Format { kSemiPlanar422, kSemiPlanar420 };

// Semi-planar 4:2:2: the chroma highlight rows only, from the dark chroma at (x0 - dx, r - dy).
void RefineChroma422(const PlanarBandContext &c, int32_t r) {
    const HdrSession *s = c.session;
    const int32_t dx = s->globalShift[0], dy = s->globalShift[1];
    const int32_t darkColumn = c.x0 - dx;
    if (!DarkOverlapInside(c, r) || darkColumn < 0) return;
    const uint8_t *darkC = c.dark.plane[1] + static_cast<int64_t>(r - dy) * c.dark.pitch[1] + darkColumn;
    const uint8_t *refC = c.reference.plane[1] + static_cast<int64_t>(r) * c.reference.pitch[1] + c.x0;
    FadeRecoveryChromaOffsetsRowSemiPlanar422(s, c.rows.mask, r, darkC, refC,
                                              c.offsetRows[kHighlightURow],
                                              c.offsetRows[kHighlightVRow]);
}

// Semi-planar 4:2:0: all three highlight rows, from the dark luma at (x0 - dx, r - dy) and its
// chroma at (x0 - dx, (r >> 1) - (dy >> 1)); the chroma part only where that row exists.
void Refine420(const PlanarBandContext &c, int32_t r) {
    const HdrSession *s = c.session;
    if (!DarkOverlapInside(c, r)) return;
    const int32_t dx = s->globalShift[0], dy = s->globalShift[1];
    const int32_t chromaRow = (r >> 1) - (dy >> 1), refChromaRow = r >> 1;
    const int32_t chromaRows = c.height >> 1, darkColumn = c.x0 - dx;
    const bool chroma = chromaRow >= 0 && chromaRow < chromaRows && refChromaRow < chromaRows &&
                        darkColumn >= 0;
    const uint8_t *darkY = c.dark.plane[0] + static_cast<int64_t>(r - dy) * c.dark.pitch[0] + darkColumn;
    const int64_t dc = chroma ? chromaRow : 0, rc = chroma ? refChromaRow : 0;
    const uint8_t *darkC = c.dark.plane[1] + dc * c.dark.pitch[1] + (chroma ? darkColumn : 0);
    const uint8_t *refC = c.reference.plane[1] + rc * c.reference.pitch[1] + c.x0;
    RefineRecoveryOffsetsRowSemiPlanar420(s, c.rows.mask, r, darkY, darkC, refC,
                                          c.offsetRows[kHighlightLumaRow],
                                          chroma ? c.offsetRows[kHighlightURow] : nullptr,
                                          chroma ? c.offsetRows[kHighlightVRow] : nullptr);
}

template <Format F>
void DriveRow(const PlanarBandContext &c, const BandRow &row, RowDriver driver) {
    constexpr bool f422 = F == Format::kSemiPlanar422;
    switch (driver) {
        case kDriveReferenceOnly:
            return f422 ? FuseOutputRowRefOnlySemiPlanar422(c, row)
                        : FuseOutputRowRefOnlySemiPlanar420(c, row);
        case kDriveDark:
        case kDriveBright: {
            const bool dark = driver == kDriveDark;
            return f422 ? FuseOutputRowOneSecondarySemiPlanar422(c, row, dark)
                        : FuseOutputRowOneSecondarySemiPlanar420(c, row, dark);
        }
        default:
            return f422 ? FuseOutputRowSemiPlanar422(c, row) : FuseOutputRowSemiPlanar420(c, row);
    }
}

template <Format F>
int RenderImage(MemoryContext memory, HdrSession *s, uint8_t *const *firstPlanes, int32_t width,
                int32_t height, int32_t pitch0, uint8_t *const *secondPlanes, int32_t pitch1,
                const RegionRect *rect, ProgressCallback callback, void *user) {
    if (!s || !rect) return RESULT_INVALID_ARGUMENT;
    uint16_t *gainRows = direct_output::AllocateGainRows(memory, width);
    if (!gainRows) return RESULT_OUT_OF_MEMORY;
    const int32_t top = static_cast<int32_t>(rect->y);
    const direct_output::InputPlanes in = {{firstPlanes, secondPlanes, nullptr}, {pitch0, pitch1, 0}, 2};
    PlanarBandContext c;
    int result = direct_output::SetUpContext(c, s, 0, in, width, height, *rect,
                                             top + rect->height, F == Format::kSemiPlanar422,
                                             true);
    if (result == RESULT_OK && rect->height >= 1) {
        c.rows.gain = gainRows;
        const direct_output::Walk walk = {0, top, top + rect->height, gainRows, callback, user,
                                          rect->height};
        result = direct_output::WalkRows(
            c, s, walk,
            [&](int32_t r) {
                if constexpr (F == Format::kSemiPlanar422)
                    RefineChroma422(c, r);
                else
                    Refine420(c, r);
            },
            [&](const BandRow &row, RowDriver driver) { DriveRow<F>(c, row, driver); });
    }
    FreeMemory(memory, gainRows);
    return result;
}

}  // namespace

int RenderFusedImageSemiPlanar422(MemoryContext memory, HdrSession *s,
                                  uint8_t *const *firstPlanes, int32_t, int32_t width,
                                  int32_t height, int32_t pitch0, uint8_t *const *secondPlanes,
                                  int32_t pitch1, const RegionRect *processRect, const int32_t *,
                                  const int32_t *, ProgressCallback callback, void *user) {
    return RenderImage<Format::kSemiPlanar422>(memory, s, firstPlanes, width, height, pitch0,
                                               secondPlanes, pitch1, processRect, callback, user);
}

int RenderFusedImageSemiPlanar420(MemoryContext memory, HdrSession *s,
                                  uint8_t *const *firstPlanes, int32_t, int32_t width,
                                  int32_t height, int32_t pitch0, uint8_t *const *secondPlanes,
                                  int32_t pitch1, const RegionRect *processRect, const int32_t *,
                                  const int32_t *, ProgressCallback callback, void *user) {
    return RenderImage<Format::kSemiPlanar420>(memory, s, firstPlanes, width, height, pitch0,
                                               secondPlanes, pitch1, processRect, callback, user);
}
