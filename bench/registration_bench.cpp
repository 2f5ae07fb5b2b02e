// Registration of the darkest and the brightest exposure of a 12 MP bracket (4000 x 3000
// PIXEL_FORMAT_YUYV, thumbnails 500 x 374), and the block aligner alone.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "../tests/align/registration_session_support.h"
#include "align/block_refinement.h"
#include "align/pyramid_aligner.h"

namespace {

using synthetic::Bracket;
using synthetic::Frame;
using synthetic::Homography;
using synthetic::Motion;
using synthetic::RegistrationSession;
using synthetic::Scene;

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;

// Camera shake: a small rotation and shift of the whole frame. The transform fits it, so only
// the blocks where the feature motions disagree are matched at full resolution.
Motion Shake() {
    return Homography::RotationScale(0.5, 1.005, kWidth / 2.0, kHeight / 2.0).AsMotion();
}

// A ripple of about 3 pixels that no projective transform follows: nearly every block is
// matched at full resolution (the refinement's worst case).
Motion Ripple() {
    return [](double x, double y, double *sx, double *sy) {
        *sx = x + 3.0 * std::sin(x / 300.0) * std::cos(y / 260.0);
        *sy = y + 3.0 * std::cos(x / 280.0) * std::sin(y / 310.0);
    };
}

const Bracket &MakeBracket(bool ripple) {
    static std::unique_ptr<Bracket> brackets[2];
    std::unique_ptr<Bracket> &b = brackets[ripple ? 1 : 0];
    if (!b) {
        const Scene scene(12);
        const Motion motion = ripple ? Ripple() : Shake();
        b = std::make_unique<Bracket>(scene, motion, kWidth, kHeight);
    }
    return *b;
}

int32_t CountMarkedNodes(const RegistrationSession &rs, int32_t exposure) {
    const int32_t C = rs.GridColumns() - 2, D = rs.GridRows() - 2;
    std::vector<uint8_t> marks(static_cast<size_t>(C + 2) * (D + 2), 0);
    MarkResidualNodes(rs.session(), exposure, C, D, marks.data());
    int32_t count = 0;
    for (uint8_t m : marks) count += m;
    return count;
}

// Every iteration registers both secondary exposures of a freshly prepared session (the
// preparation, decimation and reference features, is not timed).
void RegisterBracket(benchmark::State &state, bool ripple) {
    Bracket bracket = MakeBracket(ripple);  // a copy: registration never writes the inputs
    int32_t marked = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto rs = std::make_unique<RegistrationSession>(
            std::array<Frame *, 3>{&bracket.dark, &bracket.reference, &bracket.bright});
        if (!rs->ok()) {
            state.SkipWithError("preparation failed");
            return;
        }
        state.ResumeTiming();
        if (rs->RegisterBoth() != RESULT_OK) {
            state.SkipWithError("registration failed");
            return;
        }
        state.PauseTiming();
        marked = CountMarkedNodes(*rs, rs->session()->darkIndex) +
                 CountMarkedNodes(*rs, rs->session()->brightIndex);
        rs.reset();
        state.ResumeTiming();
    }
    state.counters["refined_blocks"] = marked;
}

void BM_RegisterBracket12MP_Shake(benchmark::State &state) { RegisterBracket(state, false); }
void BM_RegisterBracket12MP_Ripple(benchmark::State &state) { RegisterBracket(state, true); }
BENCHMARK(BM_RegisterBracket12MP_Shake)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RegisterBracket12MP_Ripple)->Unit(benchmark::kMillisecond);

// One 256 x 256 window pair, as the refinement (gradient codes, one halving) and the block
// check (two halvings, bitmaps for the first exposure) match them.
void BM_AlignTriplePyramidWindow(benchmark::State &state) {
    const bool gradient = state.range(0) != 0;
    const int32_t depth = static_cast<int32_t>(state.range(1));
    const Scene scene(3);
    std::vector<uint8_t> ref(3 * 256 * 256), exposure(3 * 256 * 256);
    const std::vector<uint8_t> r = synthetic::LumaPlane(scene, 256, 256, 1.0, 0, 0);
    const std::vector<uint8_t> e = synthetic::LumaPlane(scene, 256, 256, 0.5, 2, -1);
    std::copy(r.begin(), r.end(), ref.begin());
    std::copy(e.begin(), e.end(), exposure.begin());
    HdrSession *s = nullptr;
    CreateHdrSession(nullptr, 0, &s);
    s->alignGradientMode = gradient ? 1 : 0;
    s->alignPyramidDepth = depth;
    for (auto _ : state) {
        int thresholdState = 0;
        int32_t dx = 0, dy = 0, unusedX = 0, unusedY = 0;
        benchmark::DoNotOptimize(AlignTriplePyramid(nullptr, s, ref.data(), exposure.data(),
                                                    nullptr, PIXEL_FORMAT_I420, 0, 256, 256, 256,
                                                    256, 256, 256, &dx, &dy, &unusedX, &unusedY,
                                                    &thresholdState, depth, 0, nullptr, nullptr));
    }
    DestroyHdrSession(nullptr, s);
}
BENCHMARK(BM_AlignTriplePyramidWindow)
    ->ArgNames({"gradient", "depth"})
    ->Args({1, 1})
    ->Args({1, 2})
    ->Args({0, 2})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
