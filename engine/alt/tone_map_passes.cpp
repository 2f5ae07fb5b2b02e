// Row passes of the intermediate's tone mapping: per output row, the gain row from the coarse
// grid, the 16-bit rows of the intermediate and the format's row kernel.
#include <algorithm>

#include "alt/intermediate_image.h"
#include "alt/tone_map_intermediate.h"
#include "alt/tone_map_kernels.h"
#include "filters/local_gain.h"

namespace {

constexpr int32_t kToneProgressFloor = 50;
constexpr int32_t kToneProgressEnd = 100;

// How a pass reports: the formats differ in cadence and arithmetic.
enum ProgressRule {
    kReportNone,
    kReportTopHalf,       // P + 50 i / h every 32 rows
    kReportToNinetyNine,  // P + k (198 - 2P) / h every 32 rows, then 100
    kReportHalfSpan,      // P + 50 i / h every 32 rows
    kReportStoredSpan,    // P + 1 first; every 128 rows p = 51 + 49 k / (h - start), stored
    kReportSplitSpan,     // P + 1 first; every 128 rows P + 50 k / (h - splitRow)
    kReportWholeClosing,  // P + i (100 - P) / h every 32 rows; progressBase 100 at the end
};

struct TonePass {
    int32_t start;
    int32_t end;
    int32_t gridBound;
    int32_t slot;
    ProgressRule rule;
};

// Reports never decrease and stay within the tone mapping's range (ALT rules of progress).
struct ToneReporter {
    ProgressCallback callback;
    void *user;
    int32_t last;
    bool Send(int64_t value) {
        if (!callback) return false;
        last = int32_t(std::clamp<int64_t>(std::max<int64_t>(value, last), kToneProgressFloor,
                                           kToneProgressEnd));
        return callback(last, 0, user) == PROGRESS_CANCEL;
    }
};

struct OutputRows {
    uint8_t *plane[3];
    int32_t pitch[3];
    int32_t chromaRows;  // rows of the chroma planes
};

OutputRows OutputRowsOf(const ImageDesc &out) {
    OutputRows o{};
    for (int p = 0; p < 3; ++p) {
        o.plane[p] = out.ppu8Plane[p];
        o.pitch[p] = out.pi32Pitch[p];
    }
    const uint32_t f = out.u32PixelArrayFormat;
    const bool halfRows = f == PIXEL_FORMAT_NV12 || f == PIXEL_FORMAT_NV21 ||
                          f == PIXEL_FORMAT_I420 || f == 0x605;
    o.chromaRows = halfRows ? out.i32Height >> 1 : out.i32Height;
    return o;
}

// The 16-bit chroma row of output row i; the row's pair partner when the merge kept none
// for i itself.
const uint16_t *ChromaSource(const HdrSession *s, int32_t plane, int32_t i) {
    const int16_t *row = IntermediateChromaRow(s, plane, i);
    if (!row && i > 0) row = IntermediateChromaRow(s, plane, i - 1);
    return reinterpret_cast<const uint16_t *>(row);
}

bool ToneRow(const HdrSession *s, const OutputRows &o, int32_t i, int32_t w,
             const ToneRowTables &t, bool twoTables) {
    const uint32_t f = s->intermediate.format;
    const int32_t x0 = int32_t(s->intermediate.processRect.x);
    const auto *luma = reinterpret_cast<const uint16_t *>(IntermediateLumaRow(s, i));
    if (!luma) return false;
    uint8_t *outLuma = o.plane[0] + int64_t{i} * o.pitch[0];
    if (f == PIXEL_FORMAT_YUYV) {
        (twoTables ? ToneMapRowTwoTablesPacked422 : ToneMapRowPacked422)(0, w, luma + 2 * x0,
                                                                         outLuma, t);
        return true;
    }
    const bool halfRows = f != PIXEL_FORMAT_NV16 && f != PIXEL_FORMAT_YUV422P;
    const int32_t chromaRow = std::min(halfRows ? i >> 1 : i, o.chromaRows - 1);
    if (f == PIXEL_FORMAT_NV12 || f == PIXEL_FORMAT_NV21 || f == PIXEL_FORMAT_NV16) {
        const uint16_t *uv = ChromaSource(s, 1, i);
        if (!uv) return false;
        uint8_t *outUv = o.plane[1] + int64_t{chromaRow} * o.pitch[1];
        (twoTables ? ToneMapRowTwoTablesSemiPlanar420 : ToneMapRowSemiPlanar420)(
            0, w, luma + x0, uv + x0, outLuma, outUv, t);
        return true;
    }
    const uint16_t *u = ChromaSource(s, 1, i);
    const uint16_t *v = ChromaSource(s, 2, i);
    if (!u || !v) return false;
    uint8_t *outU = o.plane[1] + int64_t{chromaRow} * o.pitch[1];
    uint8_t *outV = o.plane[2] + int64_t{chromaRow} * o.pitch[2];
    if (f == PIXEL_FORMAT_YUV422P)
        (twoTables ? ToneMapRowTwoTablesPlanar422 : ToneMapRowPlanar422)(
            0, w, luma + x0, u + x0 / 2, v + x0 / 2, outLuma, outU, outV, t);
    else
        (twoTables ? ToneMapRowTwoTablesPlanar420 : ToneMapRowPlanar420)(
            0, w, luma + x0, u + x0 / 2, v + x0 / 2, outLuma, outU, outV, t);
    return true;
}

// Progress report due before row i (k = i - start), or -1.
int64_t DueReport(const HdrSession *s, const TonePass &p, int32_t i, int32_t h, int32_t base) {
    const int32_t k = i - p.start;
    switch (p.rule) {
        case kReportTopHalf:
        case kReportHalfSpan: return i % 32 == 0 ? base + 50 * int64_t{i} / h : -1;
        case kReportToNinetyNine:
            return i % 32 == 0 ? base + int64_t{k} * (198 - 2 * base) / h : -1;
        case kReportStoredSpan:
            return i % 128 == 0 ? 51 + 49 * int64_t{k} / std::max(h - p.start, 1) : -1;
        case kReportSplitSpan:
            return i % 128 == 0 ? base + 50 * int64_t{k} / std::max(h - s->splitRow, 1) : -1;
        case kReportWholeClosing:
            return i % 32 == 0 ? base + int64_t{i} * (100 - base) / h : -1;
        default: return -1;
    }
}

int RunPass(HdrSession *s, const ImageDesc *output, const TonePass &p, ProgressCallback progress,
            void *user) {
    uint16_t *gainRows = reinterpret_cast<uint16_t *>(s->offsetRows[p.slot]);
    const uint32_t f = s->intermediate.format;
    if (!s->toneTable || !s->chromaTable || !s->gainTable || !s->gainGrid || !gainRows ||
        !IntermediateEvenPlane(s, 0) || (f != PIXEL_FORMAT_YUYV && !IntermediateEvenPlane(s, 1)))
        return RESULT_OUT_OF_MEMORY;
    const ToneRenderSize size = ToneMapRenderSize(s);
    const int32_t w = size.width, h = size.height;
    if (s->offsetRowsCapacity[p.slot] < 3 * int64_t{w}) return RESULT_OUT_OF_MEMORY;
    const OutputRows o = OutputRowsOf(*output);
    const bool twoTables = s->toneLength >= 50;
    const ToneRowTables t{s->toneTable, s->chromaTable, s->chromaTable2, gainRows};
    ToneReporter reporter{p.rule == kReportNone ? nullptr : progress, user, kToneProgressFloor};
    // A pass without reports never reads progressBase, which the other pass may be writing.
    const int32_t base = reporter.callback ? s->progressBase : 0;
    if ((p.rule == kReportStoredSpan || p.rule == kReportSplitSpan) && reporter.Send(base + 1))
        return RESULT_CANCELLED;
    const auto *grid = reinterpret_cast<const uint16_t *>(s->gainGrid);
    for (int32_t i = p.start; i < p.end; ++i) {
        const int64_t due = DueReport(s, p, i, h, base);
        if (due >= 0) {
            if (p.rule == kReportStoredSpan) s->progressBase = int32_t(due);
            if (reporter.Send(due)) return RESULT_CANCELLED;
        }
        int32_t gridRow = (i & 7) == 0 ? i >> 3 : (i < p.gridBound ? (i >> 3) + 1 : i >> 3);
        gridRow = std::clamp(gridRow, 0, s->gainGridRows - 1);
        ExpandGainRow8(0, i - p.start, w, gainRows, 0, grid + int64_t{gridRow} * s->gainGridStride,
                       s->gainTable);
        if (!ToneRow(s, o, i, w, t, twoTables)) return RESULT_INVALID_ARGUMENT;
    }
    if (p.rule == kReportToNinetyNine && reporter.Send(kToneProgressEnd)) return RESULT_CANCELLED;
    if (p.rule == kReportWholeClosing) s->progressBase = kToneProgressEnd;
    return RESULT_OK;
}

int32_t SplitOf(const HdrSession *s) { return std::clamp(s->splitRow, 0, ToneMapRenderSize(s).height); }

TonePass TopPass(const HdrSession *s, uint32_t f, bool reports) {
    const int32_t h = ToneMapRenderSize(s).height, split = SplitOf(s);
    const ProgressRule top = reports ? kReportTopHalf : kReportNone;
    switch (f) {
        case PIXEL_FORMAT_YUYV: return {0, split, split - 8, 0, kReportNone};
        case PIXEL_FORMAT_NV16: return {0, split, split - 8, 0, top};
        case PIXEL_FORMAT_NV12:
        case PIXEL_FORMAT_NV21: return {0, split, h - 8, 0, top};
        case PIXEL_FORMAT_YUV422P: return {0, std::min(8 * (h / 16), h), h - 8, 0, kReportNone};
        default: return {0, split, h - 16, 0, top};
    }
}

TonePass BottomPass(const HdrSession *s, uint32_t f) {
    const int32_t h = ToneMapRenderSize(s).height, split = SplitOf(s);
    switch (f) {
        case PIXEL_FORMAT_YUYV:
        case PIXEL_FORMAT_YUV422P: return {split, h, h - 8, 1, kReportToNinetyNine};
        case PIXEL_FORMAT_NV16: return {split, h, h - 8, 1, kReportHalfSpan};
        case PIXEL_FORMAT_NV12:
        case PIXEL_FORMAT_NV21: return {128 * (h / 256), h, h - 8, 1, kReportStoredSpan};
        default: return {split, h, h - 16, 1, kReportSplitSpan};
    }
}

}  // namespace

#define TONE_PASS_PAIR(Suffix)                                                                 \
    int ToneMapTopRows##Suffix(HdrSession *s, const ImageDesc *out, ProgressCallback progress, \
                               void *user) {                                                   \
        return RunPass(s, out, TopPass(s, s->intermediate.format, progress != nullptr),        \
                       progress, user);                                                        \
    }                                                                                          \
    int ToneMapBottomRows##Suffix(HdrSession *s, const ImageDesc *out,                         \
                                  ProgressCallback progress, void *user) {                     \
        return RunPass(s, out, BottomPass(s, s->intermediate.format), progress, user);         \
    }

TONE_PASS_PAIR(Packed422)
TONE_PASS_PAIR(SemiPlanar420)
TONE_PASS_PAIR(SemiPlanar422)
TONE_PASS_PAIR(Planar420)
TONE_PASS_PAIR(Planar422)
#undef TONE_PASS_PAIR

namespace {

using PassFunction = int (*)(HdrSession *, const ImageDesc *, ProgressCallback, void *);

PassFunction PassFor(uint32_t f, bool top) {
    switch (f) {
        case PIXEL_FORMAT_YUYV: return top ? ToneMapTopRowsPacked422 : ToneMapBottomRowsPacked422;
        case PIXEL_FORMAT_NV12:
        case PIXEL_FORMAT_NV21:
            return top ? ToneMapTopRowsSemiPlanar420 : ToneMapBottomRowsSemiPlanar420;
        case PIXEL_FORMAT_NV16:
            return top ? ToneMapTopRowsSemiPlanar422 : ToneMapBottomRowsSemiPlanar422;
        case PIXEL_FORMAT_I420:
        case 0x605: return top ? ToneMapTopRowsPlanar420 : ToneMapBottomRowsPlanar420;
        case PIXEL_FORMAT_YUV422P:
            return top ? ToneMapTopRowsPlanar422 : ToneMapBottomRowsPlanar422;
        default: return nullptr;
    }
}

int OnePass(MemoryContext memory, HdrSession *s, ImageDesc *output, int32_t strength,
            ProgressCallback progress, void *user, ProgressRule rule,
            int (*prepare)(MemoryContext, HdrSession *, int32_t, int32_t, int32_t)) {
    const ToneRenderSize size = ToneMapRenderSize(s);
    const int r = prepare(memory, s, size.width, size.height, strength);
    if (r != RESULT_OK) return r;
    return RunPass(s, output, {0, size.height, size.height - 16, 0, rule}, progress, user);
}

}  // namespace

int ApplyToneMappingTop(MemoryContext, HdrSession *s, const ImageDesc *, int32_t,
                        ImageDesc *output, int32_t, int32_t, ProgressCallback, void *user) {
    // Another format would have been refused at the entry: never report it as done.
    const PassFunction pass = PassFor(output->u32PixelArrayFormat, true);
    return pass ? pass(s, output, nullptr, user) : RESULT_UNSUPPORTED_FORMAT;
}

int ApplyToneMappingBottom(MemoryContext, HdrSession *s, const ImageDesc *, int32_t,
                           ImageDesc *output, int32_t, int32_t, ProgressCallback progress,
                           void *user) {
    const PassFunction pass = PassFor(output->u32PixelArrayFormat, false);
    return pass ? pass(s, output, progress, user) : RESULT_UNSUPPORTED_FORMAT;
}

void *ToneMapTopHalfWorker(void *bundle) {
    auto *a = static_cast<ToneMapHalfArgs *>(bundle);
    a->result = ApplyToneMappingTop(a->memory, a->session, a->descriptors, 0, a->output, 0, 0,
                                    nullptr, a->user);
    return nullptr;
}

int ApplyToneMappingTopBesideBottom(HdrSession *s, const ImageDesc *output, void *user) {
    const uint32_t f = output->u32PixelArrayFormat;
    if (!PassFor(f, true)) return RESULT_UNSUPPORTED_FORMAT;
    // Rows from the bottom pass's first on are the bottom pass's: in sequence it writes them
    // last, so leaving them to it keeps the sequential bytes and no row has two writers.
    TonePass top = TopPass(s, f, false);
    top.end = std::min(top.end, std::max(BottomPass(s, f).start, top.start));
    return RunPass(s, output, top, nullptr, user);
}

void *ToneMapTopBesideBottomWorker(void *bundle) {
    auto *a = static_cast<ToneMapHalfArgs *>(bundle);
    a->result = ApplyToneMappingTopBesideBottom(a->session, a->output, a->user);
    return nullptr;
}

int ToneMapImagePacked422(MemoryContext memory, HdrSession *s, ImageDesc *output,
                          int32_t strength, ProgressCallback progress, void *user) {
    return OnePass(memory, s, output, strength, progress, user, kReportWholeClosing,
                   PrepareToneMappingPacked422);
}

int ToneMapImageSemiPlanar420(MemoryContext memory, HdrSession *s, ImageDesc *output,
                              int32_t strength, ProgressCallback progress, void *user) {
    return OnePass(memory, s, output, strength, progress, user, kReportHalfSpan,
                   PrepareToneMappingSemiPlanar420);
}

int ToneMapImagePlanar420(MemoryContext memory, HdrSession *s, ImageDesc *output,
                          int32_t strength, ProgressCallback progress, void *user) {
    return OnePass(memory, s, output, strength, progress, user, kReportHalfSpan,
                   PrepareToneMappingPlanar420);
}
