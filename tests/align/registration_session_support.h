// Synthetic exposure brackets and a session prepared for registration the way the run
// driver's block-grid preparation and reference-feature building leave it. Header-only: shared
// by the registration tests and the registration benchmark.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "align/decimate.h"
#include "align/feature_tracker.h"
#include "align/registration.h"
#include "core/exposure_gain.h"
#include "core/image.h"
#include "core/memory.h"
#include "core/session.h"
#include "../core/image_support.h"
#include "synthetic_scene_support.h"

namespace synthetic {

// Where exposure pixel (x, y) looks in the scene.
using Motion = std::function<void(double x, double y, double *sx, double *sy)>;

inline Motion Still() {
    return [](double x, double y, double *sx, double *sy) {
        *sx = x;
        *sy = y;
    };
}

// A projective map given as a row-major 3 x 3 matrix on homogeneous coordinates.
struct Homography {
    double m[9];

    void Apply(double x, double y, double *ox, double *oy) const {
        const double w = m[6] * x + m[7] * y + m[8];
        *ox = (m[0] * x + m[1] * y + m[2]) / w;
        *oy = (m[3] * x + m[4] * y + m[5]) / w;
    }
    Homography Inverse() const {
        const double a = m[0], b = m[1], c = m[2], d = m[3], e = m[4], f = m[5], g = m[6], h = m[7],
                     i = m[8];
        const double A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
        const double det = a * A + b * B + c * C;
        return {{A / det, -(b * i - c * h) / det, (b * f - c * e) / det, B / det,
                 (a * i - c * g) / det, -(a * f - c * d) / det, C / det, -(a * h - b * g) / det,
                 (a * e - b * d) / det}};
    }
    Motion AsMotion() const {
        const Homography copy = *this;
        return [copy](double x, double y, double *sx, double *sy) { copy.Apply(x, y, sx, sy); };
    }
    static Homography Translation(double dx, double dy) { return {{1, 0, dx, 0, 1, dy, 0, 0, 1}}; }
    // Rotation by `degrees` and scaling by `scale` about (cx, cy).
    static Homography RotationScale(double degrees, double scale, double cx, double cy) {
        const double a = degrees * 3.14159265358979323846 / 180;
        const double c = scale * std::cos(a), s = scale * std::sin(a);
        return {{c, -s, cx - c * cx + s * cy, s, c, cy - s * cx - c * cy, 0, 0, 1}};
    }
};

// sRGB encoding through a table of linear light in steps of 1/65536.
inline uint8_t EncodeSrgbFast(double linear) {
    static const std::vector<uint8_t> table = [] {
        std::vector<uint8_t> t(65537);
        for (int i = 0; i <= 65536; ++i) t[i] = EncodeSrgb(i / 65536.0);
        return t;
    }();
    const double l = std::clamp(linear, 0.0, 1.0);
    return table[static_cast<size_t>(l * 65536 + 0.5)];
}

// Linear light at a scene point.
using SceneFunction = std::function<double(double x, double y)>;

// A PIXEL_FORMAT_YUYV frame of the scene through `motion` at `gain`, grey chroma.
struct Frame {
    int32_t width = 0;
    int32_t height = 0;
    int32_t pitch = 0;
    std::vector<uint8_t> bytes;

    ImageDesc Descriptor() {
        return image_support::YuyvDescriptor(bytes.data(), width, height, pitch);
    }
};

// rowPadding extra bytes end every row (a pitch wider than the row).
inline Frame MakeFrame(const SceneFunction &scene, int32_t width, int32_t height, double gain,
                       const Motion &motion, int32_t rowPadding = 0) {
    Frame f;
    f.width = width;
    f.height = height;
    f.pitch = 2 * width + rowPadding;
    f.bytes.assign(static_cast<size_t>(f.pitch) * height, 0xA5);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t *row = f.bytes.data() + static_cast<size_t>(f.pitch) * y;
        for (int32_t x = 0; x < width; ++x) {
            double sx, sy;
            motion(x, y, &sx, &sy);
            row[2 * x] = EncodeSrgbFast(gain * scene(sx, sy));
            row[2 * x + 1] = 128;
        }
    }
    return f;
}

// The three exposures of one scene at gains 1/4, 1 and 4; the dark and bright ones seen
// through `motion`, the reference still and with referencePadding extra bytes ending its rows.
struct Bracket {
    Frame dark, reference, bright;
    Bracket(const SceneFunction &scene, const Motion &motion, int32_t width, int32_t height,
            int32_t referencePadding = 0)
        : dark(MakeFrame(scene, width, height, 0.25, motion)),
          reference(MakeFrame(scene, width, height, 1.0, Still(), referencePadding)),
          bright(MakeFrame(scene, width, height, 4.0, motion)) {}
};

// A session prepared for registering a bracket of three frames: thumbnails, exposure gains and
// order, block grid, histograms, feature arrays, the reference's tracker and the work image.
class RegistrationSession {
  public:
    explicit RegistrationSession(std::array<Frame *, 3> frames, MemoryContext memory = nullptr)
        : memory_(memory) {
        ok_ = CreateHdrSession(memory_, 0, &s_) == RESULT_OK;
        for (int i = 0; i < 3; ++i) inputs_[i] = frames[i]->Descriptor();
        ok_ = ok_ && PrepareBlockGridLike() && MeasureAndOrder() && BuildReferenceFeaturesLike();
    }
    ~RegistrationSession() {
        s_->inputImages = nullptr;
        DestroyHdrSession(memory_, s_);
    }
    RegistrationSession(const RegistrationSession &) = delete;
    RegistrationSession &operator=(const RegistrationSession &) = delete;

    bool ok() const { return ok_; }
    HdrSession *session() const { return s_; }

    // Copies the exposure's thumbnail into the work image and registers it.
    int Register(int32_t i, ProgressCallback progress = nullptr, void *user = nullptr) {
        const int r = CopyImage(s_->workImage, s_->smallImages[i]);
        if (r != RESULT_OK) return r;
        return RegisterExposureToReference(memory_, s_, i, progress, user);
    }
    // The darkest, then the brightest exposure, as the preparation does.
    int RegisterBoth(ProgressCallback progress = nullptr, void *user = nullptr) {
        for (int32_t i : {s_->darkIndex, s_->brightIndex}) {
            if (i == s_->referenceIndex) continue;
            const int r = Register(i, progress, user);
            if (r != RESULT_OK) return r;
        }
        return RESULT_OK;
    }
    int32_t GridColumns() const { return (inputs_[0].i32Width + 255) / 256 + 2; }
    int32_t GridRows() const { return (inputs_[0].i32Height + 255) / 256 + 2; }

  private:
    bool PrepareBlockGridLike() {
        const int32_t w = inputs_[0].i32Width, h = inputs_[0].i32Height;
        const int32_t mesh[7] = {256, 128, 127, 8, 12, 16, 8};
        std::copy(mesh, mesh + 7, s_->meshConstants);
        s_->frameWidth = w;
        s_->frameHeight = h;
        s_->framePitch = inputs_[0].pi32Pitch[0];
        s_->blockWidth = s_->blockHeight = 32;
        s_->blocksAcross = (w + 31) / 32;
        s_->blocksDown = (h + 31) / 32;
        s_->paddedBlocksAcross = s_->blocksAcross + 2;
        s_->paddedBlocksDown = s_->blocksDown + 2;
        s_->overlapRect.width = static_cast<uint32_t>(w);
        s_->overlapRect.height = h;
        s_->blockStats = AllocateZeroed<int16_t>(
            memory_, int64_t{12} * s_->paddedBlocksAcross * s_->paddedBlocksDown);
        if (!s_->blockStats) return false;
        const int32_t tw = (w / 16) * 2, th = (h / 16) * 2;
        for (int i = 0; i < 3; ++i) {
            s_->histograms[i] =
                reinterpret_cast<ExposureHistograms *>(AllocateZeroed<int32_t>(memory_, 3 * 256));
            s_->matchedMotionX[i] = AllocateZeroed<float>(memory_, 128);
            s_->matchedMotionY[i] = AllocateZeroed<float>(memory_, 128);
            s_->matchedExtra[i] = AllocateZeroed<int32_t>(memory_, 128);
            if (!s_->histograms[i] || !s_->matchedMotionX[i] || !s_->matchedMotionY[i] ||
                !s_->matchedExtra[i])
                return false;
            if (CreateImage(&s_->smallImages[i], tw, th, PIXEL_FORMAT_YUV444P, memory_) != 0 ||
                CreateImage(&s_->alignedSmall[i], tw, th, PIXEL_FORMAT_YUV444P, memory_) != 0)
                return false;
            s_->overlapBounds[i] = PixelRect{0, 0, tw, th};
        }
        s_->inputImages = inputs_;
        s_->exposureCount = 3;
        s_->preparedByRun = 1;
        return true;
    }

    bool MeasureAndOrder() {
        for (int i = 0; i < 3; ++i) {
            if (DecimateToYuv444(memory_, &inputs_[i], s_->smallImages[i], nullptr, 8, 0) != 0)
                return false;
            s_->exposureGain[i] = MeasureExposureGain(
                s_, s_->smallImages[i], (*s_->histograms[i])[0], i, s_->gammaExpandTable);
        }
        // Darkest = largest gain, brightest = smallest, reference = the median; ties by index.
        std::array<int32_t, 3> order = {0, 1, 2};
        std::stable_sort(order.begin(), order.end(), [this](int32_t a, int32_t b) {
            return s_->exposureGain[a] > s_->exposureGain[b];
        });
        s_->darkIndex = order[0];
        s_->referenceIndex = order[1];
        s_->brightIndex = order[2];
        return true;
    }

    bool BuildReferenceFeaturesLike() {
        const int32_t ref = s_->referenceIndex;
        if (CopyImage(s_->alignedSmall[ref], s_->smallImages[ref]) != 0) return false;
        s_->registrationSetting = 7;
        float *block = AllocateZeroed<float>(memory_, 4 * 128);
        if (!block) return false;
        s_->featureX = block;
        s_->featureY = block + 128;
        s_->featureArrays[0] = block + 256;
        s_->featureArrays[1] = block + 384;
        for (float *&grid : s_->registrationGrids) {
            grid = AllocateZeroed<float>(memory_, 128);
            if (!grid) return false;
        }
        const ImageDesc *thumb = s_->alignedSmall[ref];
        if (CreateImage(&s_->workImage, thumb->i32Width, thumb->i32Height, PIXEL_FORMAT_YUV444P,
                        memory_) != 0)
            return false;
        const bool landscape = thumb->i32Width >= thumb->i32Height;
        s_->tracker =
            CreateFeatureTrackerSingle(memory_, thumb, landscape ? 5 : 4, landscape ? 4 : 5, 5, 128,
                                       s_->featureX, s_->featureY);
        if (!s_->tracker) return false;
        s_->featureCount = s_->tracker->count;
        return true;
    }

    MemoryContext memory_;
    HdrSession *s_ = nullptr;
    ImageDesc inputs_[3] = {};
    bool ok_ = false;
};

}  // namespace synthetic
