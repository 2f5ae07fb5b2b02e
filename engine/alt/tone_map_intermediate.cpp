// ToneMapIntermediate: checked entry, the two passes (the top one on a second thread), the
// margins outside the process rectangle, the restore of the tone table and the last report.
#include "alt/tone_map_intermediate.h"

#include <algorithm>
#include <cstring>

#include "alt/intermediate_image.h"
#include "core/pixel_format.h"
#include "core/threads.h"

namespace {

constexpr int32_t kToneProgressStart = 50;
constexpr int32_t kToneProgressEnd = 100;

// Bytes of one column group in each plane: 4 pixels.
int32_t GroupBytes(uint32_t format, int32_t plane) {
    if (format == PIXEL_FORMAT_YUYV) return 8;
    if (plane == 0) return 4;
    const bool semi = format == PIXEL_FORMAT_NV12 || format == PIXEL_FORMAT_NV21 ||
                      format == PIXEL_FORMAT_NV16;
    return semi ? 4 : 2;
}

// Extends rows [0, rows) of a plane from `filled` to `total` bytes by repeating the last
// group, then copies the last row into rows [rows, totalRows).
void ReplicatePlane(uint8_t *plane, int32_t pitch, int64_t filled, int64_t total, int32_t rows,
                    int32_t totalRows, int32_t group) {
    if (!plane || filled < group || rows < 1) return;
    for (int32_t r = 0; r < rows; ++r) {
        uint8_t *row = plane + int64_t{r} * pitch;
        for (int64_t k = filled; k < total; ++k) row[k] = row[filled - group + (k - filled) % group];
    }
    const uint8_t *last = plane + int64_t{rows - 1} * pitch;
    for (int32_t r = rows; r < totalRows; ++r)
        std::memcpy(plane + int64_t{r} * pitch, last, size_t(total));
}

}  // namespace

void ReplicateToneMapMargins(const HdrSession *s, const ImageDesc *out) {
    const uint32_t f = out->u32PixelArrayFormat;
    const PixelFormatInfo *info = FindPixelFormat(f);
    if (!info) return;
    const ToneRenderSize size = ToneMapRenderSize(s);
    for (int32_t p = 0; p < info->planes; ++p) {
        const int32_t rowShift = p == 0 ? 0 : info->chromaRowShift;
        const int32_t totalRows = out->i32Height >> rowShift;
        const int32_t rows = std::min((size.height + (1 << rowShift) - 1) >> rowShift, totalRows);
        ReplicatePlane(out->ppu8Plane[p], out->pi32Pitch[p], MinimumRowBytes(*info, p, size.width),
                       MinimumRowBytes(*info, p, out->i32Width), rows, totalRows,
                       GroupBytes(f, p));
    }
}

int RunToneMapIntermediate(MemoryContext memory, HdrSession *s, const ImageDesc *descriptors,
                           int32_t count, ImageDesc *output, int32_t t, int32_t br,
                           ProgressCallback progress, void *user, bool topOnSecondThread) {
    s->progressBase = kToneProgressStart;
    int r = PrepareIntermediateToneMapping(memory, s, descriptors, count, output, t, br, progress,
                                           user);
    if (r == RESULT_OK) {
        ToneMapHalfArgs top{memory, s, descriptors, 0, output, 0, RESULT_OK, user};
        if (topOnSecondThread) {
            ThreadHandle thread = StartThread(ToneMapTopBesideBottomWorker, &top);
            if (!thread) ToneMapTopBesideBottomWorker(&top);
            const int bottom = ApplyToneMappingBottom(memory, s, descriptors, count, output, t,
                                                      br, progress, user);
            if (thread) {
                JoinThread(thread);
                CloseThreadHandle(thread);
            }
            const int first = int(top.result);
            r = bottom == RESULT_CANCELLED || first == RESULT_CANCELLED ? RESULT_CANCELLED
                : first != RESULT_OK                                    ? first
                                                                        : bottom;
        } else {
            ToneMapTopHalfWorker(&top);
            r = int(top.result);
            if (r == RESULT_OK)
                r = ApplyToneMappingBottom(memory, s, descriptors, count, output, t, br, progress,
                                           user);
        }
        if (r == RESULT_OK) ReplicateToneMapMargins(s, output);
    }
    // The brightness curve is undone so the next call starts from the plain curve's table.
    if (s->toneTableComposed && s->toneTable) {
        std::memcpy(s->toneTable, s->toneTable + kSavedToneTableOffset, 4096);
        s->toneTableComposed = 0;
    }
    if (r != RESULT_OK) return r;
    s->progressBase = kToneProgressEnd;
    if (progress && progress(kToneProgressEnd, 0, user) == PROGRESS_CANCEL) return RESULT_CANCELLED;
    return RESULT_OK;
}
