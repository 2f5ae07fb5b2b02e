// Helpers shared by the filter tests: images that clean up after themselves, seeded random
// fills, a job runner that runs jobs one after another, and a small memory pool for
// out-of-memory paths.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "core/hdr_engine.h"
#include "core/image.h"
#include "core/memory.h"
#include "core/row_image.h"

namespace filters_test {

// Runs the jobs in order on the calling thread; the first failure wins, a cancel over all.
inline int RunJobsInOrder(int count, int (*job)(void *), void *records, size_t recordBytes) {
    int result = RESULT_OK;
    bool cancelled = false;
    for (int i = 0; i < count; ++i) {
        const int r = job(static_cast<char *>(records) + i * recordBytes);
        if (r == RESULT_CANCELLED) cancelled = true;
        else if (result == RESULT_OK) result = r;
    }
    return cancelled ? RESULT_CANCELLED : result;
}

// Runs the jobs last to first: a job that reads what a later job writes then sees it already
// written, which shows whether a stage really reads its input as it was before the call.
inline int RunJobsInReverse(int count, int (*job)(void *), void *records, size_t recordBytes) {
    int result = RESULT_OK;
    for (int i = count - 1; i >= 0; --i) {
        const int r = job(static_cast<char *>(records) + i * recordBytes);
        if (result == RESULT_OK) result = r;
    }
    return result;
}

class Image {
public:
    Image(int32_t width, int32_t height, uint32_t format) {
        CreateImage(&image_, width, height, format, nullptr);
        LayoutImagePlanes(&layout_, width, height, format, rows_);
    }
    ~Image() { DestroyImage(&image_, nullptr); }
    Image(const Image &) = delete;
    Image &operator=(const Image &) = delete;

    ImageDesc *get() const { return image_; }
    ImageDesc *operator->() const { return image_; }
    int32_t Rows(int plane) const { return rows_[plane]; }
    size_t PlaneBytes(int plane) const {
        return static_cast<size_t>(rows_[plane]) * static_cast<size_t>(image_->pi32Pitch[plane]);
    }
    uint8_t *Plane(int plane) const { return image_->ppu8Plane[plane]; }

    // Every byte of every plane, padding included.
    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> all;
        for (int p = 0; p < 3 && image_->ppu8Plane[p]; ++p)
            all.insert(all.end(), Plane(p), Plane(p) + PlaneBytes(p));
        return all;
    }
    void Fill(std::mt19937 &random, int lo = 0, int hi = 255) {
        std::uniform_int_distribution<int> value(lo, hi);
        for (int p = 0; p < 3 && image_->ppu8Plane[p]; ++p)
            for (size_t i = 0; i < PlaneBytes(p); ++i) Plane(p)[i] = static_cast<uint8_t>(value(random));
    }
    // Rows of random bytes taken from one random strip at shifting offsets: varied enough
    // for comparisons and cheap on full-size frames.
    void FillQuickly(std::mt19937 &random) {
        for (int p = 0; p < 3 && image_->ppu8Plane[p]; ++p) {
            const size_t pitch = static_cast<size_t>(image_->pi32Pitch[p]);
            std::vector<uint8_t> strip(pitch + 4096);
            for (uint8_t &b : strip) b = static_cast<uint8_t>(random());
            for (int32_t y = 0; y < rows_[p]; ++y)
                CopyBytes(Plane(p) + y * pitch, strip.data() + (y * 37u) % 4096u, pitch);
        }
    }
    bool SameBytes(const Image &other) const {
        for (int p = 0; p < 3 && image_->ppu8Plane[p]; ++p)
            if (PlaneBytes(p) != other.PlaneBytes(p) ||
                CompareBytes(Plane(p), other.Plane(p), PlaneBytes(p)) != 0)
                return false;
        return true;
    }
    void CopyFrom(const Image &other) {
        for (int p = 0; p < 3 && image_->ppu8Plane[p]; ++p)
            CopyBytes(Plane(p), other.Plane(p), PlaneBytes(p));
    }

private:
    ImageDesc *image_ = nullptr;
    ImageDesc layout_{};
    int32_t rows_[3] = {};
};

// A RowImage owned by the test.
class Rows {
public:
    Rows(int32_t width, int32_t height, int32_t bits) {
        image_ = CreateRowImage(nullptr, width, height, bits, 1);
    }
    ~Rows() { FreeRowImage(nullptr, &image_); }
    Rows(const Rows &) = delete;
    Rows &operator=(const Rows &) = delete;
    RowImage *get() const { return image_; }
    int32_t *Row32(int32_t y) const { return reinterpret_cast<int32_t *>(image_->rows[y]); }
    uint8_t *Row8(int32_t y) const { return image_->rows[y]; }

private:
    RowImage *image_ = nullptr;
};

// A first-fit pool over a small buffer, so that allocations fail.
class SmallPool {
public:
    explicit SmallPool(size_t bytes) : buffer_(bytes + 64) {
        context_ = InitMemoryPool(buffer_.data(), buffer_.size());
    }
    MemoryContext get() const { return context_; }

private:
    std::vector<uint8_t> buffer_;
    MemoryContext context_ = nullptr;
};

inline int32_t ClampInt(int64_t v, int64_t lo, int64_t hi) {
    return static_cast<int32_t>(v < lo ? lo : (v > hi ? hi : v));
}

// Guided-filter coefficients a (times 1024) and b (times 16) written out from window sums
// over n samples, with regularisation e.
struct Coeff {
    int32_t a, b;
};

inline Coeff DoubleCoeff(int64_t sI, int64_t sII, int64_t sIp, int64_t sP, int64_t n, double e) {
    const double k = 1.0 / static_cast<double>(n);
    const double mI = sI * k, mp = sP * k, mIp = sIp * k, mII = sII * k;
    const double den = (mII - mI * mI) + e;
    double a = den != 0.0 ? (mIp - mp * mI) / den : 0.0;
    double b = mp - mI * a;
    a = std::min(32.0, std::max(-32.0, a));
    b = std::min(4096.0, std::max(-4096.0, b));
    return {static_cast<int32_t>(a * 1024.0), static_cast<int32_t>(b * 16.0)};
}

}  // namespace filters_test
