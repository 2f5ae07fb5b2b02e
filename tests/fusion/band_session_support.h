// A session filled by hand for the packed 4:2:2 band pass: three synthetic exposures of one
// scene (the dark and bright ones moved by a motion mesh), block weights that give every span
// type and rows where one or both secondaries weigh nothing, the 1/8-scale maps, the normal
// mode's block planes, the gain grid and the per-worker buffers, in the sizes the hand-off
// makes them. The session comes from CreateHdrSession (tone, chroma and reciprocal tables);
// everything else is owned here and unhooked before the session is destroyed.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <random>
#include <vector>

#include "core/constant_tables.h"
#include "core/session.h"
#include "core/threads.h"
#include "filters/local_gain.h"
#include "fusion/band_packed422.h"

namespace fusion_test {

// The two fusion tables with identity exposure tables and valueShift 2.
inline void FillFusionTables(std::vector<uint16_t> &normal, std::vector<uint16_t> &localCurve) {
    normal.assign(kFusionTableEntries, 0);
    localCurve.assign(kFusionTableEntries, 0);
    for (int k = 0; k < 256; ++k) {
        normal[k] = static_cast<uint16_t>(4 * kGammaExpandTable[k]);
        normal[256 + k] = kGammaExpandTable[k];
        normal[512 + k] = static_cast<uint16_t>(4 * kGammaExpandTable[k]);
        localCurve[k] = 0;
        localCurve[256 + k] = static_cast<uint16_t>(4 * kGammaExpandTable[k]);
        localCurve[512 + k] = static_cast<uint16_t>(4 * kGammaExpandTable[255]);
        normal[768 + k] = localCurve[768 + k] = kWeightTable[k];
    }
    for (int i = 1; i < 768; ++i) normal[1024 + i] = localCurve[1024 + i] = uint16_t(32768 / i);
}

struct MeshMotion {
    int dx, dy;       // whole-pixel shift of every node
    int wobble;       // extra per-node displacement range in pixels (0: a uniform shift)
};

class BandSession {
public:
    static constexpr int kDark = 0, kBright = 1, kReference = 2;  // input indices

    BandSession(int width, int height, MeshMotion dark, MeshMotion bright, uint32_t seed = 7)
        : width_(width), height_(height), pitch_(2 * width + 16), random_(seed) {
        CreateHdrSession(nullptr, 0, &s_);
        BuildLocalGainTable(s_->gainTable, 35, kGainUnity);
        MakeFrames();
        s_->darkIndex = kDark;
        s_->brightIndex = kBright;
        s_->referenceIndex = kReference;
        s_->exposureCount = 3;
        s_->valueShift = 2;
        s_->processRect = {0, 0, uint32_t(width & ~7), height & ~1};
        s_->overlapRect = {0, 0, uint32_t(width & ~7), (height & ~1)};
        s_->progressBase = 25;
        const int32_t constants[7] = {256, 128, 127, 8, 12, 16, 8};
        std::memcpy(s_->meshConstants, constants, sizeof constants);
        MakeBlockGrids();
        MakeFineGrids();
        MakeGainGrid();
        MakeMesh(0, dark);
        MakeMesh(1, bright);
        FillFusionTables(fusion_, localCurveFusion_);
        s_->fusionTable = fusion_.data();
        s_->localCurveFusionTable = localCurveFusion_.data();
        MakeWorkerBuffers();
        SetLocalCurve(true);
    }

    ~BandSession() {
        s_->fusionTable = s_->localCurveFusionTable = nullptr;
        s_->gainGrid = s_->recoveryMaskGrid = nullptr;
        for (auto &g : s_->fusionWeightGrids) g = nullptr;
        for (auto &p : s_->paddedBlockPlanes) p = nullptr;
        for (auto &g : s_->fineGrids) g = nullptr;
        for (auto *grids : {s_->offsetGridX, s_->offsetGridY, s_->slopeGridX, s_->slopeGridY})
            for (int e = 0; e < 3; ++e) grids[e] = nullptr;
        for (int t = 0; t < kWorkerCount; ++t) {
            s_->runLists[0][t] = s_->runLists[1][t] = s_->spanBounds[t] = s_->spanTypes[t] = nullptr;
            s_->offsetRows[t] = nullptr;
            s_->warpBuffer[t] = nullptr;
            for (auto &rows : s_->workerRows) rows[t] = nullptr;
            s_->workerRows16[t] = nullptr;
        }
        for (auto &line : s_->mapLineBuffers) line = nullptr;
        for (auto &plane : s_->outputPlanes) plane = nullptr;
        DestroyHdrSession(nullptr, s_);
    }

    HdrSession *session() { return s_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int pitch() const { return pitch_; }
    uint8_t *plane(int i) { return frames_[i].data(); }
    std::vector<uint8_t> &frame(int i) { return frames_[i]; }
    void SetLocalCurve(bool on) { s_->lowResMapsReady = on ? 1 : 0; }

    // Puts the inputs back as they were made (the pass renders the reference in place).
    void RestoreInputs() {
        for (int e = 0; e < 3; ++e) std::copy(original_[e].begin(), original_[e].end(), frames_[e].begin());
    }

    // Rows 2k + 1 take the chroma of row 2k in every exposure, so that a 4:2:0 copy of the
    // frames loses nothing.
    void PairChromaRows() {
        for (auto *frames : {&frames_, &original_})
            for (auto &f : *frames)
                for (int y = 1; y < height_; y += 2)
                    for (int x = 1; x < 2 * width_; x += 2)
                        f[size_t(y) * pitch_ + x] = f[size_t(y - 1) * pitch_ + x];
    }

    // The run driver's four bands.
    std::vector<RowBand> Bands() const {
        const int y = 0, h = height_ & ~1;
        std::vector<RowBand> bands(4);
        for (int i = 0; i < 4; ++i) {
            const int first = y + 8 * (i * h / 32);
            const int end = i < 3 ? y + 8 * ((i + 1) * h / 32) : y + h;
            bands[i] = {i, first, end, first - y};
        }
        return bands;
    }

    struct Job {
        BandSession *owner;
        RowBand band;
        ProgressCallback callback;
        void *user;
    };

    static int RunJob(void *record) {
        Job *job = static_cast<Job *>(record);
        BandSession &b = *job->owner;
        uint8_t *planes[3] = {b.plane(0), b.plane(1), b.plane(2)};
        return RenderFusedBandPacked422(&job->band, b.s_, planes, b.width_, b.height_, b.pitch_,
                                        &b.s_->processRect, nullptr, b.s_->globalShift,
                                        job->callback, job->user);
    }

    // The band pass with a job runner (RunParallelJobs or one that runs the jobs in some order
    // on this thread), after the copy of the reference's luma.
    int RunPass(int (*runner)(int, int (*)(void *), void *, size_t), ProgressCallback callback = nullptr,
                void *user = nullptr) {
        const int copied = CopyReferenceLumaForBandPass(nullptr, s_, plane(kReference), width_,
                                                        height_, pitch_);
        if (copied != RESULT_OK) return copied;
        std::vector<Job> jobs;
        for (const RowBand &band : Bands()) jobs.push_back({this, band, callback, user});
        return runner(4, RunJob, jobs.data(), sizeof(Job));
    }

private:
    void MakeFrames() {
        frames_.assign(3, std::vector<uint8_t>(size_t(pitch_) * height_, 0));
        // A scene of smooth gradients, edges and texture, seen at three exposures.
        std::uniform_int_distribution<int> noise(-6, 6);
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) {
                int scene = (x * 255) / width_ / 2 + (y * 255) / height_ / 2;
                if (((x / 37) + (y / 29)) % 3 == 0) scene = 255 - scene / 2;
                scene = std::clamp(scene + noise(random_), 0, 255);
                const int levels[3] = {scene / 3, std::min(255, scene * 2), scene};
                for (int e = 0; e < 3; ++e) {
                    uint8_t *p = frames_[e].data() + size_t(y) * pitch_ + 2 * x;
                    p[0] = static_cast<uint8_t>(levels[e]);
                    p[1] = static_cast<uint8_t>(std::clamp(128 + (x % 64) - 32 + e * 5 + noise(random_), 0, 255));
                }
            }
        original_ = frames_;
    }

    std::vector<int16_t> &Grid(int cols, int rows, int lo, int hi) {
        grids_.emplace_back(size_t(cols) * rows);
        std::uniform_int_distribution<int> value(lo, hi);
        for (int16_t &v : grids_.back()) v = static_cast<int16_t>(value(random_));
        return grids_.back();
    }

    // Weight grids with zero stretches: dark weighs in the left part of the upper rows, bright
    // in the right part and in the lower rows, so rows go to every driver and spans of every
    // type appear.
    void MakeBlockGrids() {
        s_->blocksAcross = (width_ + 31) / 32;
        s_->blocksDown = (height_ + 31) / 32;
        const int cols = s_->blocksAcross + 2, rows = s_->blocksDown + 2;
        s_->paddedBlocksAcross = cols;
        s_->paddedBlocksDown = rows;
        auto &reference = Grid(cols, rows, 40, 256);
        auto &dark = Grid(cols, rows, 0, 256);
        auto &bright = Grid(cols, rows, 0, 256);
        for (int i = 0; i < rows; ++i)
            for (int j = 0; j < cols; ++j) {
                const size_t at = size_t(i) * cols + j;
                if (j > cols / 2 || i > rows * 3 / 4 || (i > 2 && i < 5)) dark[at] = 0;
                if (j < cols / 3 || i < 3) bright[at] = 0;
            }
        s_->fusionWeightGrids[kWeightReference] = reference.data();
        s_->fusionWeightGrids[kWeightDark] = dark.data();
        s_->fusionWeightGrids[kWeightBright] = bright.data();
        auto &mask = Grid(cols, rows, 0, 1);
        for (int16_t &v : mask) v = v ? 255 : 0;
        s_->recoveryMaskGrid = mask.data();
        const int ranges[7][2] = {{-10, 40}, {0, 255}, {-40, 10}, {0, 0}, {0, 0}, {-20, 20}, {-20, 20}};
        for (int k = 0; k < 7; ++k)
            s_->paddedBlockPlanes[k] = Grid(cols, rows, ranges[k][0], ranges[k][1]).data();
    }

    void MakeFineGrids() {
        s_->fineGridStride = 2 * (width_ / 16);
        s_->fineGridRows = 2 * (height_ / 16);
        const int cols = s_->fineGridStride + 2, rows = s_->fineGridRows + 2;
        for (int k = 0; k < kFineGridCount; ++k)
            s_->fineGrids[k] = (k < 3 ? Grid(cols, rows, 200, 312) : Grid(cols, rows, -12, 12)).data();
    }

    void MakeGainGrid() {
        s_->gainGridStride = width_ / 8;
        s_->gainGridRows = (height_ + 7) / 8;
        s_->gainGrid = Grid(s_->gainGridStride, s_->gainGridRows, -200, 3000).data();
    }

    // Nodes every 256 pixels (one border node on every side); integer displacements as the
    // registration leaves them, then the hand-off's form: offsets (d + shift) x 256 and slopes
    // to the right neighbour.
    void MakeMesh(int slot, MeshMotion motion) {
        const int cols = width_ / 256 + 3, rows = height_ / 256 + 3;
        s_->meshCols = cols;
        s_->meshRows = rows;
        std::uniform_int_distribution<int> wobble(-motion.wobble, motion.wobble);
        mesh_.emplace_back(size_t(cols) * rows * 4, 0);
        int32_t *base = mesh_.back().data();
        int32_t *grids[4] = {base, base + cols * rows, base + 2 * cols * rows, base + 3 * cols * rows};
        for (int axis = 0; axis < 2; ++axis) {
            std::vector<int32_t> d(size_t(cols) * rows);
            for (int32_t &v : d) v = (axis == 0 ? motion.dx : motion.dy) + wobble(random_);
            for (int i = 0; i < rows; ++i)
                for (int j = 0; j < cols; ++j) {
                    const size_t at = size_t(i) * cols + j;
                    grids[axis][at] = d[at] * 256;
                    grids[2 + axis][at] = j + 1 < cols ? d[at + 1] - d[at] : 0;
                }
        }
        s_->offsetGridX[slot] = grids[0];
        s_->offsetGridY[slot] = grids[1];
        s_->slopeGridX[slot] = grids[2];
        s_->slopeGridY[slot] = grids[3];
    }

    // Per-worker buffers in the hand-off's sizes.
    void MakeWorkerBuffers() {
        const int c = s_->paddedBlocksAcross;
        const int p = s_->processRect.x + s_->processRect.width;
        for (int t = 0; t < kWorkerCount; ++t) {
            int32_t *runs = Block<int32_t>(10 * c);
            s_->runLists[0][t] = runs;
            s_->runLists[1][t] = runs + c;
            s_->spanBounds[t] = runs + 2 * c;
            s_->spanTypes[t] = runs + 4 * c;
            s_->offsetRows[t] = Block<int16_t>(4 * width_ + 256);
            s_->warpBuffer[t] = Block<uint8_t>(16 * width_);
            for (auto &rows : s_->workerRows) rows[t] = Block<int16_t>(p);
            s_->workerRows16[t] = Block<uint16_t>(3 * width_ + 192);
            int16_t *lines = Block<int16_t>(9 * (width_ + 64));
            for (int k = 0; k < 9; ++k) s_->mapLineBuffers[t + 4 * k] = lines + k * (width_ + 64);
        }
        s_->outputPlanes[0] = plane(kReference);
    }

    template <typename T>
    T *Block(size_t count) {
        blocks_.emplace_back(count * sizeof(T) + 16, 0);
        return reinterpret_cast<T *>(blocks_.back().data());
    }

    HdrSession *s_ = nullptr;
    int width_, height_, pitch_;
    std::mt19937 random_;
    std::vector<std::vector<uint8_t>> frames_, original_;
    std::deque<std::vector<int16_t>> grids_;  // a deque keeps references to earlier grids
    std::deque<std::vector<int32_t>> mesh_;
    std::vector<uint16_t> fusion_, localCurveFusion_;
    std::deque<std::vector<uint8_t>> blocks_;
};

// Runs jobs on this thread, first to last or last to first; the first failure wins, a cancel
// over the others.
template <bool Reverse>
int RunJobsHere(int count, int (*job)(void *), void *records, size_t recordBytes) {
    int result = RESULT_OK;
    bool cancelled = false;
    for (int k = 0; k < count; ++k) {
        const int i = Reverse ? count - 1 - k : k;
        const int r = job(static_cast<char *>(records) + i * recordBytes);
        if (r == RESULT_CANCELLED) cancelled = true;
        else if (result == RESULT_OK) result = r;
    }
    return cancelled ? RESULT_CANCELLED : result;
}

}  // namespace fusion_test
