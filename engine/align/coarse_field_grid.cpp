#include "coarse_field_grid.h"

#include <algorithm>
#include <cmath>

#include "core/memory.h"

namespace {

// Floats the 512-byte coarse field arrays hold.
constexpr int32_t kCoarseFieldCapacity = 128;

// Rounds half away from zero; NaN gives 0 and magnitudes beyond 2^30 saturate, so that any
// caller-supplied field converts without undefined behaviour.
int32_t RoundToNode(float value) {
    const double v = value;
    if (std::isnan(v)) return 0;
    return static_cast<int32_t>(std::clamp(std::round(v), -1073741824.0, 1073741824.0));
}

struct CoarseField {
    const float *x;
    const float *y;
    int32_t columns;     // Mc + 1
    int32_t lastColumn;  // Mc
    int32_t lastRow;     // Rc
};

// Field sample at (column, row). The row is limited so that the index stays inside the field
// arrays: fields of very wide thumbnails would need more than the 128 floats they hold.
float FieldAt(const float *field, const CoarseField &f, int32_t column, int32_t row) {
    const int32_t maxRow = kCoarseFieldCapacity / f.columns - 1;
    return field[std::min(row, maxRow) * f.columns + column];
}

float Bilinear(const float *field, const CoarseField &f, float xc, float yc) {
    const auto p = static_cast<int32_t>(xc);
    const float fx = xc - static_cast<float>(p);
    const int32_t p0 = std::min(p, f.lastColumn);
    const int32_t p1 = p < f.lastColumn ? p + 1 : f.lastColumn;
    const auto u = static_cast<int32_t>(yc);
    const float fy = yc - static_cast<float>(u);
    const int32_t r0 = std::min(u, f.lastRow);
    const int32_t r1 = u < f.lastRow ? u + 1 : f.lastRow;
    const float top = FieldAt(field, f, p0, r0) * (1 - fx) + FieldAt(field, f, p1, r0) * fx;
    const float bottom = FieldAt(field, f, p0, r1) * (1 - fx) + FieldAt(field, f, p1, r1) * fx;
    return top * (1 - fy) + bottom * fy;
}

// Replaces a row of `count` values by its least-squares line over the column index. The means
// run over every column, the sums from column 1.
void FitRowLine(float *row, int32_t count) {
    float meanK = 0;
    float meanV = 0;
    for (int32_t k = 0; k < count; ++k) {
        meanK += static_cast<float>(k);
        meanV += row[k];
    }
    meanK /= static_cast<float>(count);
    meanV /= static_cast<float>(count);
    float covariance = 0;
    float variance = 0;
    for (int32_t k = 1; k < count; ++k) {
        const float dk = static_cast<float>(k) - meanK;
        covariance += dk * (row[k] - meanV);
        variance += dk * dk;
    }
    const float slope = variance > 0 ? covariance / variance : 0;
    const float intercept = meanV - slope * meanK;
    for (int32_t k = 0; k < count; ++k) row[k] = slope * static_cast<float>(k) + intercept;
}

// The ramp: first and last rows become lines, the rows between interpolate them.
void RampGrid(int32_t *grid, float *work, int32_t columns, int32_t rows) {
    const int32_t n = columns * rows;
    for (int32_t i = 0; i < n; ++i) work[i] = static_cast<float>(grid[i]);
    float *top = work;
    float *bottom = work + (rows - 1) * columns;
    FitRowLine(top, columns);
    FitRowLine(bottom, columns);
    const auto last = static_cast<float>(rows - 1);
    for (int32_t r = 1; r < rows - 1; ++r) {
        const auto fr = static_cast<float>(r);
        for (int32_t c = 0; c < columns; ++c)
            work[r * columns + c] = (bottom[c] * fr + top[c] * (last - fr)) / last;
    }
    for (int32_t i = 0; i < n; ++i) grid[i] = RoundToNode(work[i]);
}

struct GridSize {
    int32_t columns;  // C + 2
    int32_t rows;     // D + 2
};

void SampleField(const HdrSession *s, const CoarseField &f, float q, GridSize g, float *valuesX,
                 float *valuesY) {
    const int32_t spacing = 1 << s->meshConstants[3];
    const auto cellScale = static_cast<float>(1 << s->registrationSetting);
    for (int32_t r = 1; r < g.rows; ++r) {
        const float yc = static_cast<float>((r - 1) * spacing + spacing / 2) * q / cellScale;
        for (int32_t c = 1; c < g.columns; ++c) {
            const float xc = static_cast<float>((c - 1) * spacing + spacing / 2) * q / cellScale;
            valuesX[r * g.columns + c] = Bilinear(f.x, f, xc, yc) / q;
            valuesY[r * g.columns + c] = Bilinear(f.y, f, xc, yc) / q;
        }
        valuesX[r * g.columns] = valuesX[r * g.columns + 1];
        valuesY[r * g.columns] = valuesY[r * g.columns + 1];
    }
    CopyBytes(valuesX, valuesX + g.columns, g.columns * sizeof(float));
    CopyBytes(valuesY, valuesY + g.columns, g.columns * sizeof(float));
}

bool CanSample(const HdrSession *s, int32_t i) {
    if (i < 0 || i >= kMaxExposures || !s->inputImages || !s->smallImages[i]) return false;
    const ImageDesc &input = s->inputImages[i];
    const ImageDesc &thumb = *s->smallImages[i];
    return input.i32Width > 0 && input.i32Height > 0 && thumb.i32Width > 0 && thumb.i32Height > 0 &&
           s->registrationGrids[2] && s->registrationGrids[3] && s->meshConstants[0] > 0 &&
           s->meshConstants[3] > 0 && s->meshConstants[3] < 16 && s->registrationSetting >= 0 &&
           s->registrationSetting < 16;
}

}  // namespace

int BuildMotionGridFromCoarseField(MemoryContext memory, HdrSession *s, int32_t i,
                                   ProgressCallback progress, void *user) {
    if (!s || !CanSample(s, i)) return RESULT_INVALID_ARGUMENT;
    s->globalShift[2 * i] = 0;
    s->globalShift[2 * i + 1] = 0;
    const int32_t W = s->inputImages[i].i32Width;
    const int32_t H = s->inputImages[i].i32Height;
    const int32_t w = s->smallImages[i]->i32Width;
    const int32_t h = s->smallImages[i]->i32Height;
    const int32_t b = s->meshConstants[0];
    const GridSize g{(W + b - 1) / b + 2, (H + b - 1) / b + 2};
    const int32_t n = g.columns * g.rows;
    int32_t *gridX = AllocateZeroed<int32_t>(memory, n);
    int32_t *gridY = AllocateZeroed<int32_t>(memory, n);
    float *values = AllocateZeroed<float>(memory, 2 * static_cast<uint64_t>(n));
    if (!gridX || !gridY || !values) {
        FreeAndClear(memory, gridX);
        FreeAndClear(memory, gridY);
        FreeAndClear(memory, values);
        return RESULT_OUT_OF_MEMORY;
    }
    // The whole-image offset in full-resolution pixels, single precision.
    const int32_t gx =
        RoundToNode(s->globalOffsetEstimate[0] * static_cast<float>(W) / static_cast<float>(w));
    const int32_t gy =
        RoundToNode(s->globalOffsetEstimate[1] * static_cast<float>(H) / static_cast<float>(h));
    s->globalShift[2 * i] = gx;
    s->globalShift[2 * i + 1] = gy;

    const int32_t shift = s->registrationSetting;
    const int32_t lastColumn = std::min((w + (1 << shift) - 1) >> shift, kCoarseFieldCapacity - 1);
    const CoarseField field{s->registrationGrids[2], s->registrationGrids[3], lastColumn + 1,
                            lastColumn, (h + (1 << shift) - 1) >> shift};
    const float q = static_cast<float>(w) / static_cast<float>(W);
    SampleField(s, field, q, g, values, values + n);
    for (int32_t k = 0; k < n; ++k) {
        gridX[k] = RoundToNode(values[k]) - gx;
        gridY[k] = RoundToNode(values[n + k]) - gy;
    }
    FreeMemory(memory, values);

    const int32_t slot = i >= 1 ? i - 1 : 0;
    FreeAndClear(memory, s->offsetGridX[slot]);
    FreeAndClear(memory, s->offsetGridY[slot]);
    s->offsetGridX[slot] = gridX;
    s->offsetGridY[slot] = gridY;
    s->alignGradientMode = 1;
    s->progressBase = 20;

    // Without room for the ramp the grids sampled above stand.
    float *work = AllocateZeroed<float>(memory, n);
    if (work) {
        RampGrid(gridX, work, g.columns, g.rows);
        RampGrid(gridY, work, g.columns, g.rows);
        FreeMemory(memory, work);
    }
    if (progress && progress(s->progressBase, 0, user) == PROGRESS_CANCEL) return RESULT_CANCELLED;
    return RESULT_OK;
}
