#include "pyramid_aligner.h"

#include <algorithm>
#include <cstdlib>

#include "align/bit_count_kernels.h"
#include "align/luma_window.h"
#include "align/signature_maps.h"
#include "align/signature_thresholds.h"
#include "core/memory.h"

namespace {

enum class Form { kTriple, kPair, kScratch };

// What stays the same over all levels of one call.
struct Aligner {
    MemoryContext memory;
    HdrSession *session;
    Form form;
    bool strided;
    bool bitmap;
    int32_t byteStep;    // strided mode: bytes between horizontally adjacent luma samples
    int32_t byteOffset;  // strided mode: byte of the luma sample within a pixel
    int *state;
    ProgressCallback progress;
    void *user;
    AlignerScratch *scratch;
    int thresholdSet;
};

// One pyramid level: the planes (reference, first, second) and their geometry.
struct Level {
    uint8_t *planes[3];
    int32_t depth;
    int32_t fullWidth;
    int32_t fullHeight;
    int32_t fullPitch;
    int32_t width;
    int32_t height;
    int32_t pitch;
};

struct Shift {
    int32_t dx;
    int32_t dy;
};

struct Candidate {
    Shift shift;
    int64_t count;
};

// The signature maps of one level and the two work maps of the bitmap search.
struct LevelMaps {
    SignatureMapGeometry geometry;
    int32_t rowBytes;
    int64_t bytes;
    uint8_t *maps[3];  // reference, first, second
    uint8_t *shifted;
    uint8_t *difference;
    bool owned;  // allocated through the memory context (not cut from a scratch area)
};

void LumaByteLayout(Form form, uint32_t format, int32_t *step, int32_t *offset) {
    *step = 1;
    *offset = 0;
    if (format == PIXEL_FORMAT_YUYV) {
        *step = 2;
    } else if (format == PIXEL_FORMAT_UYVY && form != Form::kPair) {
        *step = 2;
        *offset = 1;
    }
}

LevelView ViewOf(const Aligner &al, const Level &level, const uint8_t *plane) {
    LevelView view{};
    view.width = level.width;
    view.height = level.height;
    if (!plane) return view;
    if (!al.strided) {
        view.base = plane;
        view.rowStep = level.pitch;
        view.colStep = 1;
        return view;
    }
    const int64_t stride = int64_t{1} << level.depth;
    const int64_t centre = stride / 2;
    view.base = plane + centre * level.fullPitch + centre * al.byteStep + al.byteOffset;
    view.rowStep = stride * level.fullPitch;
    view.colStep = static_cast<int32_t>(stride * al.byteStep);
    return view;
}

// The next coarser level. The halving mode reduces every present plane into the space right
// after it; the strided mode samples the same planes at twice the stride.
Level CoarserLevel(const Aligner &al, const Level &level) {
    Level coarse = level;
    const int32_t w = level.width / 2;
    const int32_t h = level.height / 2;
    coarse.width = w;
    coarse.height = h;
    coarse.pitch = w;
    if (al.strided) {
        coarse.depth = level.depth + 1;
        return coarse;
    }
    for (int i = 0; i < 3; ++i) {
        if (!level.planes[i]) continue;
        uint8_t *reduced = level.planes[i] + static_cast<int64_t>(level.pitch) * level.height;
        HalvePlane(level.planes[i], level.width, level.height, level.pitch, reduced);
        coarse.planes[i] = reduced;
    }
    coarse.fullWidth = w;
    coarse.fullHeight = h;
    coarse.fullPitch = w;
    return coarse;
}

bool HasCoarserLevel(const Level &level, int32_t h) {
    return h >= 1 && level.width >= 33 && level.height >= 25;
}

int ReportProgress(const Aligner &al) {
    if (!al.progress) return RESULT_OK;
    if (al.progress(al.session->progressBase, 0, al.user) == PROGRESS_CANCEL)
        return RESULT_CANCELLED;
    al.session->progressBase += 1;
    return RESULT_OK;
}

bool WithinEight(const int32_t estimates[4]) {
    for (int k = 0; k < 4; ++k)
        if (estimates[k] < -8 || estimates[k] > 8) return false;
    return true;
}

// Tile type of a halving-mode level of the triple form.
int32_t HalvingTileType(const Aligner &al, int32_t h, const int32_t estimates[4]) {
    const int32_t top = al.session->alignPyramidDepth;
    if (h == top) return WithinEight(estimates) ? 2 : 1;
    return h == top - 1 ? 1 : 0;
}

// Strided levels above 512 samples compare a mosaic of crops.
int32_t StridedTileType(const Level &level) {
    return std::min(CountPyramidLevels(level.width, level.height, 512), 3);
}

int32_t ScratchTileType(const Aligner &al, const Level &level, int32_t h) {
    const int32_t side = al.session->meshConstants[0];
    const int32_t top = al.session->alignPyramidDepth;
    if (h == top && level.width == side && level.height == side) return 2;
    if (h == top - 1 && level.width == side / 2 && level.height == side / 2) return 1;
    return 0;
}

void ReleaseMaps(const Aligner &al, LevelMaps *m) {
    if (!m->owned) return;
    for (uint8_t *&map : m->maps) FreeAndClear(al.memory, map);
    FreeAndClear(al.memory, m->shifted);
    FreeAndClear(al.memory, m->difference);
}

// Cuts `bytes` from the scratch area, 8-byte aligned; null when it does not fit.
uint8_t *CutScratch(AlignerScratch *scratch, int64_t bytes) {
    const int64_t start = (scratch->offset + 7) & ~int64_t{7};
    if (bytes < 0 || start + bytes > scratch->size) return nullptr;
    scratch->offset = start + bytes;
    return scratch->base + start;
}

// Obtains the maps of one level: zero-filled, so that no unwritten byte is ever read.
int AcquireMaps(const Aligner &al, const Level &level, int32_t tileType, bool second,
                LevelMaps *m) {
    *m = LevelMaps{};
    m->geometry = MakeSignatureMapGeometry(level.width, level.height, tileType);
    m->rowBytes = SignatureRowBytes(m->geometry, al.bitmap);
    m->bytes = std::max<int64_t>(int64_t{m->rowBytes} * m->geometry.mapHeight, 1);
    uint8_t **slots[5] = {&m->maps[0], &m->maps[1], &m->maps[2], &m->shifted, &m->difference};
    m->owned = al.form != Form::kScratch;
    for (int i = 0; i < 5; ++i) {
        if (i == 2 && !second) continue;
        if (i >= 3 && !al.bitmap) continue;  // codes are shifted and counted in one pass
        if (m->owned) {
            *slots[i] = AllocateZeroed<uint8_t>(al.memory, static_cast<uint64_t>(m->bytes));
        } else {
            *slots[i] = CutScratch(al.scratch, m->bytes);
            if (*slots[i]) FillBytes(*slots[i], 0, static_cast<size_t>(m->bytes));
        }
        if (!*slots[i]) {
            ReleaseMaps(al, m);
            return RESULT_OUT_OF_MEMORY;
        }
    }
    return RESULT_OK;
}

int BuildMaps(const Aligner &al, const Level &level, LevelMaps *m) {
    const LevelTriple views{ViewOf(al, level, level.planes[0]), ViewOf(al, level, level.planes[1]),
                            ViewOf(al, level, level.planes[2])};
    if (al.form == Form::kPair) {
        uint8_t *const pair[2] = {m->maps[0], m->maps[1]};
        if (al.bitmap)
            BuildThresholdBitmapsPair(al.session, views.reference, views.first, m->geometry,
                                      al.state, pair);
        else
            BuildGradientCodeMapsPair(views.reference, views.first, m->geometry, pair);
        return RESULT_OK;
    }
    if (al.form == Form::kScratch) {
        auto *histograms =
            reinterpret_cast<int32_t(*)[256]>(CutScratch(al.scratch, 3 * 256 * sizeof(int32_t)));
        if (!histograms) return RESULT_OUT_OF_MEMORY;
        BuildThresholdBitmapsScratch(al.session, views, m->geometry, al.state, al.thresholdSet,
                                     histograms, m->maps);
        return RESULT_OK;
    }
    if (al.bitmap)
        BuildThresholdBitmaps(al.session, views, m->geometry, al.state, m->maps);
    else
        BuildGradientCodeMaps(views, m->geometry, m->maps);
    return RESULT_OK;
}

int64_t CountDifference(const Aligner &al, const LevelMaps &m, const uint8_t *map, Shift estimate) {
    const uint8_t *table = al.session->bitCountTable;
    return al.bitmap ? CountBitmapBits(map, m.geometry, estimate.dx, estimate.dy, table)
                     : CountMapBits(map, m.geometry, estimate.dx, estimate.dy, table);
}

int64_t MapSampleCount(const LevelMaps &m) {
    return int64_t{m.geometry.mapWidth} * m.geometry.mapHeight;
}

// Set bits of a whole map (bitmap rows are built with zero padding bits).
int64_t CountAllBits(const LevelMaps &m, const uint8_t *map) {
    return CountBits(map, m.bytes);
}

// Whether the reference's and the exposure's set-bit counts both lie inside [low, high]; a flat
// or saturated window fails, as its signature carries no position. The bounds are shares of
// every sample of the map, so the whole map is counted: the search region leaves out a border
// around every tile, which in the 16-sample tiles of the finest levels is a quarter of the map
// and would push a well-balanced bitmap below three eighths.
bool CountsInBounds(const LevelMaps &m, const uint8_t *exposureMap, int64_t low, int64_t high) {
    const int64_t counts[2] = {CountAllBits(m, exposureMap), CountAllBits(m, m.maps[0])};
    for (int64_t c : counts)
        if (c < low || c > high) return false;
    return true;
}

bool PassesCountCheck(const Aligner &al, const LevelMaps &m, const uint8_t *exposureMap) {
    const int64_t n = MapSampleCount(m);
    if (al.form == Form::kPair)
        return !al.bitmap || CountsInBounds(m, exposureMap, n / 4, n - n / 4);
    if (al.bitmap) return CountsInBounds(m, exposureMap, (3 * n) / 8, n - (3 * n) / 8);
    return CountsInBounds(m, exposureMap, n / 8, 2 * n - n / 8);
}

// Tries the nine shifts around `centre` (rows outer, from -1), counting the differing bits in
// the region left by `estimate`; the first strictly lower count wins.
void TryNineShifts(const Aligner &al, LevelMaps &m, const uint8_t *exposureMap, Shift centre,
                   Shift estimate, Candidate *best) {
    const SignatureMapGeometry &g = m.geometry;
    for (int32_t j = -1; j <= 1; ++j) {
        for (int32_t i = -1; i <= 1; ++i) {
            const Shift s{centre.dx + i, centre.dy + j};
            int64_t count = 0;
            if (al.bitmap) {
                // Separate source and destination: the shift allocates nothing and cannot fail.
                ShiftBitmap(al.memory, exposureMap, m.shifted, g.mapWidth, g.mapHeight, m.rowBytes,
                            s.dx, s.dy);
                XorMaps(m.shifted, m.maps[0], m.difference, m.rowBytes, g.mapHeight);
                count = CountDifference(al, m, m.difference, estimate);
            } else {
                // Shift, XOR and count in one pass; equal to the three steps above for codes.
                count = CountShiftedMapDifference(exposureMap, m.maps[0], g, s.dx, s.dy,
                                                  estimate.dx, estimate.dy);
            }
            if (count < best->count) *best = {s, count};
        }
    }
}

bool ZeroResearchApplies(const Aligner &al, int32_t h, Shift estimate) {
    if (estimate.dx == 0 && estimate.dy == 0) return false;
    switch (al.form) {
        case Form::kPair:
            return h >= 1 && h <= 4;
        case Form::kScratch:
            return h == 1;
        default:
            return h > 0 && (al.strided ? h <= 4 : h <= 1);
    }
}

// Steps of one exposure at one level: the count check, the search around the estimate and,
// once `between` has run (a progress report in some strided levels), the search around zero.
int SearchExposure(const Aligner &al, LevelMaps &m, const uint8_t *exposureMap, Shift estimate,
                   int32_t h, bool reportBetween, Shift *result) {
    *result = {0, 0};
    if (!PassesCountCheck(al, m, exposureMap) && h <= 2) return RESULT_OK;
    const int64_t n = MapSampleCount(m);
    Candidate best{{0, 0}, al.bitmap ? n : 8 * n};
    TryNineShifts(al, m, exposureMap, estimate, estimate, &best);
    *result = best.shift;
    if (reportBetween) {
        const int r = ReportProgress(al);
        if (r != RESULT_OK) return r;
    }
    if (ZeroResearchApplies(al, h, estimate))
        TryNineShifts(al, m, exposureMap, {0, 0}, estimate, &best);
    *result = best.shift;
    return RESULT_OK;
}

// Tile type of a level, or -1 when the level only passes on its coarse estimates; may report
// progress (and be cancelled) in the strided mode.
int ChooseTileType(const Aligner &al, const Level &level, int32_t h, const int32_t estimates[4],
                   int32_t *tileType) {
    *tileType = 0;
    if (al.form == Form::kScratch) {
        *tileType = ScratchTileType(al, level, h);
        return RESULT_OK;
    }
    if (!al.strided) {
        const int32_t top = al.session->alignPyramidDepth;
        if (al.form == Form::kPair) {
            if (h == top)
                *tileType = -1;
            else
                *tileType = h == top - 1 ? 1 : 0;
        } else {
            *tileType = HalvingTileType(al, h, estimates);
        }
        return RESULT_OK;
    }
    if (h < 4) return RESULT_OK;
    if (level.width == level.fullWidth) {
        *tileType = -1;
        return RESULT_OK;
    }
    *tileType = StridedTileType(level);
    return ReportProgress(al);
}

// Solves one level after its coarser levels; out receives first dx, dy, second dx, dy.
int SolveLevel(const Aligner &al, const Level &level, int32_t h, int32_t out[4]) {
    int32_t estimates[4] = {0, 0, 0, 0};
    if (HasCoarserLevel(level, h)) {
        int32_t coarse[4] = {0, 0, 0, 0};
        const int r = SolveLevel(al, CoarserLevel(al, level), h - 1, coarse);
        if (r != RESULT_OK) return r;
        for (int k = 0; k < 4; ++k) estimates[k] = 2 * coarse[k];
    }
    int32_t tileType = 0;
    int r = ChooseTileType(al, level, h, estimates, &tileType);
    if (r != RESULT_OK) return r;
    if (tileType < 0) {
        for (int k = 0; k < 4; ++k) out[k] = estimates[k];
        return RESULT_OK;
    }
    const bool second = level.planes[2] != nullptr;
    LevelMaps maps;
    r = AcquireMaps(al, level, tileType, second, &maps);
    if (r != RESULT_OK) return r;
    r = BuildMaps(al, level, &maps);
    Shift a{0, 0};
    Shift b{0, 0};
    if (r == RESULT_OK)
        r = SearchExposure(al, maps, maps.maps[1], {estimates[0], estimates[1]}, h, false, &a);
    if (r == RESULT_OK && second) {
        const bool report = al.form == Form::kTriple && al.strided && h >= 4 && al.progress;
        r = SearchExposure(al, maps, maps.maps[2], {estimates[2], estimates[3]}, h, report, &b);
    }
    ReleaseMaps(al, &maps);
    if (r != RESULT_OK) return r;
    out[0] = a.dx;
    out[1] = a.dy;
    out[2] = b.dx;
    out[3] = b.dy;
    return RESULT_OK;
}

bool ValidLevel(const HdrSession *session, const uint8_t *reference, const uint8_t *first,
                int32_t width, int32_t height, int32_t pitch, int32_t fullPitch) {
    return session && session->bitCountTable && reference && first && width > 0 && height > 0 &&
           pitch >= width && fullPitch > 0;
}

Level MakeLevel(uint8_t *reference, uint8_t *first, uint8_t *second, int32_t depth,
                int32_t fullWidth, int32_t fullHeight, int32_t fullPitch, int32_t width,
                int32_t height, int32_t pitch) {
    return Level{
        {reference, first, second}, depth, fullWidth, fullHeight, fullPitch, width, height, pitch};
}

// The allocating forms: strided sampling and the bitmap measure as the session chooses.
Aligner SessionAligner(MemoryContext memory, HdrSession *session, Form form, int *state,
                       ProgressCallback progress, void *user) {
    return Aligner{memory, session, form, session->alignStridedPyramid != 0,
                   session->alignGradientMode != 1, 1, 0, state, progress, user, nullptr, 0};
}

// Solves the pyramid from `level` down `levels` steps and writes each found offset
// (first dx, first dy, second dx, second dy) whose target is not null.
int SolveAndWrite(Aligner al, uint32_t format, const Level &level, int32_t levels,
                  int32_t *const targets[4]) {
    LumaByteLayout(al.form, format, &al.byteStep, &al.byteOffset);
    int32_t out[4] = {0, 0, 0, 0};
    const int r = SolveLevel(al, level, levels, out);
    if (r != RESULT_OK) return r;
    for (int32_t i = 0; i < 4; ++i)
        if (targets[i]) *targets[i] = out[i];
    return RESULT_OK;
}

}  // namespace

int AlignTriplePyramid(MemoryContext memory, HdrSession *session, uint8_t *reference,
                       uint8_t *first, uint8_t *second, uint32_t format, int32_t depth,
                       int32_t fullWidth, int32_t fullHeight, int32_t fullPitch, int32_t width,
                       int32_t height, int32_t pitch, int32_t *firstDx, int32_t *firstDy,
                       int32_t *secondDx, int32_t *secondDy, int *thresholdState, int32_t levels,
                       int32_t, ProgressCallback progress, void *user) {
    if (!ValidLevel(session, reference, first, width, height, pitch, fullPitch) ||
        (session->alignGradientMode != 1 && !thresholdState))
        return RESULT_INVALID_ARGUMENT;
    int32_t *const targets[4] = {firstDx, firstDy, secondDx, secondDy};
    return SolveAndWrite(
        SessionAligner(memory, session, Form::kTriple, thresholdState, progress, user), format,
        MakeLevel(reference, first, second, depth, fullWidth, fullHeight, fullPitch, width,
                  height, pitch),
        levels, targets);
}

int AlignPairPyramid(MemoryContext memory, HdrSession *session, uint8_t *reference,
                     uint8_t *exposure, uint32_t format, int32_t depth, int32_t fullWidth,
                     int32_t fullHeight, int32_t fullPitch, int32_t width, int32_t height,
                     int32_t pitch, int32_t *dx, int32_t *dy, int *thresholdState, int32_t levels,
                     int32_t, ProgressCallback progress, void *user) {
    if (!ValidLevel(session, reference, exposure, width, height, pitch, fullPitch) ||
        (session->alignGradientMode != 1 && !thresholdState))
        return RESULT_INVALID_ARGUMENT;
    int32_t *const targets[4] = {dx, dy, nullptr, nullptr};
    return SolveAndWrite(
        SessionAligner(memory, session, Form::kPair, thresholdState, progress, user), format,
        MakeLevel(reference, exposure, nullptr, depth, fullWidth, fullHeight, fullPitch, width,
                  height, pitch),
        levels, targets);
}

int AlignTriplePyramidScratch(HdrSession *session, AlignerScratch *scratch, uint8_t *reference,
                              uint8_t *first, uint8_t *second, uint32_t format, int32_t depth,
                              int32_t fullWidth, int32_t fullHeight, int32_t fullPitch,
                              int32_t width, int32_t height, int32_t pitch, int32_t *firstDx,
                              int32_t *firstDy, int32_t *secondDx, int32_t *secondDy,
                              int *thresholdState, int thresholdSet, int32_t levels) {
    if (!ValidLevel(session, reference, first, width, height, pitch, fullPitch) || !scratch ||
        !scratch->base || !thresholdState)
        return RESULT_INVALID_ARGUMENT;
    const Aligner al{nullptr, session,        Form::kScratch, true,    true,    1,
                     0,       thresholdState, nullptr,        nullptr, scratch, thresholdSet};
    int32_t *const targets[4] = {firstDx, firstDy, secondDx, secondDy};
    return SolveAndWrite(al, format,
                         MakeLevel(reference, first, second, depth, fullWidth, fullHeight,
                                   fullPitch, width, height, pitch),
                         levels, targets);
}
