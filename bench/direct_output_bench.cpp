// The direct-output renders beside the run driver's band pass, and the auxiliary row kernels:
//   - the planar 4:2:2 band worker over a 12-megapixel frame on four threads beside the planar
//     4:2:0 worker on the same session (both in normal mode, the only mode of the former);
//   - the whole-image renders on one thread (semi-planar 4:2:2 and 4:2:0, planar 4:2:2);
//   - each auxiliary row kernel over a 4000-pixel row beside a plain copy of that row.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <memory>
#include <random>

#include "../tests/fusion/planar_band_support.h"
#include "alt/chroma_row_kernels.h"
#include "alt/segment_kernels.h"
#include "fusion/grid_rows32.h"
#include "fusion/render_image_semi_planar.h"

namespace {

constexpr int kFrameWidth = 4000, kFrameHeight = 3000;

fusion_test::BandSession &Frame() {
    static std::unique_ptr<fusion_test::BandSession> frame = [] {
        auto b = std::make_unique<fusion_test::BandSession>(kFrameWidth, kFrameHeight,
                                                            fusion_test::MeshMotion{3, -2, 2},
                                                            fusion_test::MeshMotion{-2, 1, 2});
        b->SetLocalCurve(false);
        b->session()->globalShift[0] = 2;
        b->session()->globalShift[1] = -2;
        return b;
    }();
    return *frame;
}

fusion_test::PlanarFrames &Planes(uint32_t format) {
    static std::map<uint32_t, std::unique_ptr<fusion_test::PlanarFrames>> planes;
    auto &p = planes[format];
    if (!p) p = std::make_unique<fusion_test::PlanarFrames>(Frame(), format);
    return *p;
}

// The band pass into separate planes (so every iteration fuses the same input).
// On four threads (wall time), and the same four bands in turn on the calling thread, whose CPU
// time is the whole work and depends less on how busy the machine is.
template <uint32_t Format, bool FourThreads>
void BM_BandWorker12MP(benchmark::State &state) {
    fusion_test::BandSession &b = Frame();
    fusion_test::PlanarFrames &f = Planes(Format);
    const auto runner = FourThreads ? RunParallelJobs : fusion_test::RunJobsHere<false>;
    for (auto _ : state)
        if (fusion_test::RunPlanarPass(b, f, false, runner) != RESULT_OK)
            state.SkipWithError("band pass failed");
    state.SetItemsProcessed(state.iterations() * int64_t{kFrameWidth} * kFrameHeight);
}
BENCHMARK(BM_BandWorker12MP<PIXEL_FORMAT_YUV422P, true>)->Name("DirectOutput/BandWorker12MP/YUV422P/4threads")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BandWorker12MP<PIXEL_FORMAT_I420, true>)->Name("DirectOutput/BandWorker12MP/I420/4threads")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BandWorker12MP<PIXEL_FORMAT_YUV422P, false>)->Name("DirectOutput/BandWorker12MP/YUV422P/bands_in_turn")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BandWorker12MP<PIXEL_FORMAT_I420, false>)->Name("DirectOutput/BandWorker12MP/I420/bands_in_turn")->Unit(benchmark::kMillisecond);

template <uint32_t Format>
void BM_WholeImage12MP(benchmark::State &state) {
    fusion_test::BandSession &b = Frame();
    fusion_test::PlanarFrames &f = Planes(Format);
    HdrSession *s = b.session();
    const int planeCount = f.Planar() ? 3 : 2;
    uint8_t *p[3][3] = {};
    for (int k = 0; k < planeCount; ++k) {
        f.output[k] = f.planes[fusion_test::BandSession::kReference][k];
        for (int e = 0; e < 3; ++e) p[k][e] = f.planes[e][k].data();
    }
    for (auto _ : state) {
        for (int k = 0; k < planeCount; ++k) s->outputPlanes[k] = f.output[k].data();
        int r;
        if (Format == PIXEL_FORMAT_YUV422P)
            r = RenderFusedImagePlanar422(nullptr, s, p[0], 3, f.width, f.height, f.pitch[0], p[1],
                                          f.pitch[1], p[2], f.pitch[2], &s->processRect, nullptr,
                                          nullptr, nullptr, nullptr);
        else
            r = (Format == PIXEL_FORMAT_NV16 ? RenderFusedImageSemiPlanar422
                                             : RenderFusedImageSemiPlanar420)(
                nullptr, s, p[0], 3, f.width, f.height, f.pitch[0], p[1], f.pitch[1],
                &s->processRect, nullptr, nullptr, nullptr, nullptr);
        if (r != RESULT_OK) state.SkipWithError("render failed");
    }
    s->outputPlanes[0] = b.plane(fusion_test::BandSession::kReference);
    s->outputPlanes[1] = s->outputPlanes[2] = nullptr;
    state.SetItemsProcessed(state.iterations() * int64_t{kFrameWidth} * kFrameHeight);
}
BENCHMARK(BM_WholeImage12MP<PIXEL_FORMAT_NV16>)->Name("DirectOutput/WholeImage12MP/NV16/1thread")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeImage12MP<PIXEL_FORMAT_NV12>)->Name("DirectOutput/WholeImage12MP/NV12/1thread")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeImage12MP<PIXEL_FORMAT_YUV422P>)->Name("DirectOutput/WholeImage12MP/YUV422P/1thread")->Unit(benchmark::kMillisecond);

// --- Auxiliary row kernels over a 4000-pixel row ------------------------------------------------

constexpr int kRow = 4000;
constexpr uint16_t kSegmentEntries = 17;

struct RowData {
    std::vector<uint8_t> luma = std::vector<uint8_t>(kRow);
    std::vector<uint8_t> bytes = std::vector<uint8_t>(4 * kRow);  // quads: 16 bytes per group
    std::vector<uint8_t> copy = std::vector<uint8_t>(4 * kRow);
    std::vector<int32_t> table = std::vector<int32_t>(256);
    std::vector<int16_t> weights[3], outputs[3], offsets = std::vector<int16_t>(kRow);
    std::vector<int16_t> mask = std::vector<int16_t>(kRow, 200);
    std::vector<int16_t> grid;
    std::vector<uint16_t> segments, counts = {kSegmentEntries}, packed16, target16;
    HdrSession session = {};
    RowData() {
        std::mt19937 random(3);
        for (uint8_t &b : luma) b = uint8_t(random());
        for (uint8_t &b : bytes) b = uint8_t(random());
        for (int i = 0; i < 256; ++i) table[i] = (i * 16) << 4;
        for (int k = 0; k < 3; ++k) {
            weights[k].assign(kRow, int16_t(k == 0 ? 128 : 60));
            outputs[k].assign(kRow, 0);
        }
        const int cols = kRow / 32 + 2;
        grid.resize(size_t(cols) * 3);
        for (int16_t &v : grid) v = int16_t(random() % 256);
        // Eight segments of 300 pixels, one in every 500.
        segments = {0};
        for (int i = 0; i < 8; ++i) {
            segments.push_back(uint16_t(100 + 500 * i));
            segments.push_back(uint16_t(400 + 500 * i));
        }
        packed16.resize(2 * kRow);
        target16.resize(2 * kRow);
        for (uint16_t &v : packed16) v = uint16_t(random() % 16384);
        for (uint16_t &v : target16) v = uint16_t(random() % 16384);
        session.processRect = {0, 0, kRow, 3000};
        session.overlapRect = {0, 0, kRow, 3000};
    }
};

RowData &Data() {
    static RowData data;
    return data;
}

void BM_RowCopy(benchmark::State &state) {
    RowData &d = Data();
    const size_t bytes = size_t(state.range(0));
    for (auto _ : state) {
        std::memcpy(d.copy.data(), d.bytes.data(), bytes);
        benchmark::ClobberMemory();
    }
}
// The bytes each kernel walks: interleaved chroma (1 per pixel), packed (2), quads (4).
BENCHMARK(BM_RowCopy)->Name("AuxKernel/PlainCopy/1byte_per_pixel")->Arg(kRow);
BENCHMARK(BM_RowCopy)->Name("AuxKernel/PlainCopy/2bytes_per_pixel")->Arg(2 * kRow);
BENCHMARK(BM_RowCopy)->Name("AuxKernel/PlainCopy/4bytes_per_pixel")->Arg(4 * kRow);

template <class Kernel>
void RunKernel(benchmark::State &state, Kernel kernel) {
    for (auto _ : state) {
        kernel(Data());
        benchmark::ClobberMemory();
    }
}

void BM_SemiPlanarUV(benchmark::State &state) {
    RunKernel(state, [](RowData &d) {
        AdjustChromaByLumaSemiPlanarUV(0, kRow, d.luma.data(), d.bytes.data(), 8, d.table.data());
    });
}
BENCHMARK(BM_SemiPlanarUV)->Name("AuxKernel/AdjustChromaByLumaSemiPlanarUV");

void BM_SemiPlanarVU(benchmark::State &state) {
    RunKernel(state, [](RowData &d) {
        AdjustChromaByLumaSemiPlanarVU(0, kRow, d.luma.data(), d.bytes.data(), 8, d.table.data());
    });
}
BENCHMARK(BM_SemiPlanarVU)->Name("AuxKernel/AdjustChromaByLumaSemiPlanarVU");

void BM_Packed422(benchmark::State &state) {
    RunKernel(state, [](RowData &d) {
        AdjustChromaByLumaPacked422(0, kRow, d.bytes.data(), 8, d.table.data());
    });
}
BENCHMARK(BM_Packed422)->Name("AuxKernel/AdjustChromaByLumaPacked422");

void BM_Quads(benchmark::State &state) {
    RunKernel(state, [](RowData &d) {
        AdjustChromaByLumaQuads(0, kRow, d.bytes.data(), 8, d.table.data());
    });
}
BENCHMARK(BM_Quads)->Name("AuxKernel/AdjustChromaByLumaQuads");

void BM_BoostDark(benchmark::State &state) {
    RunKernel(state, [](RowData &d) { BoostDarkChromaQuads(0, kRow, d.bytes.data()); });
}
BENCHMARK(BM_BoostDark)->Name("AuxKernel/BoostDarkChromaQuads");

void BM_Offset(benchmark::State &state) {
    int sign = 1;
    RunKernel(state, [&sign](RowData &d) {
        OffsetChromaQuads(0, kRow, d.bytes.data(), 3 * sign, -3 * sign);
        sign = -sign;
    });
}
BENCHMARK(BM_Offset)->Name("AuxKernel/OffsetChromaQuads");

void BM_FadeHighlight(benchmark::State &state) {
    RunKernel(state, [](RowData &d) {
        int16_t *rows[3] = {nullptr, nullptr, d.offsets.data()};
        std::fill(d.offsets.begin(), d.offsets.end(), int16_t{100});
        FadeHighlightLumaOffsetRow(&d.session, d.mask.data(), 100, d.luma.data(), rows);
    });
}
BENCHMARK(BM_FadeHighlight)->Name("AuxKernel/FadeHighlightLumaOffsetRow(with a row refill)");

void BM_ZeroFlag(benchmark::State &state) {
    RunKernel(state, [](RowData &d) {
        int32_t allZero = 0;
        InterpolateGridRowZeroFlag32(d.offsets.data(), 0, kRow, 0, d.grid.data(), kRow / 32 + 2,
                                     13, &allZero);
        benchmark::DoNotOptimize(allZero);
    });
}
BENCHMARK(BM_ZeroFlag)->Name("AuxKernel/InterpolateGridRowZeroFlag32");

void BM_Widen(benchmark::State &state) {
    RunKernel(state, [](RowData &d) {
        uint16_t segments[kSegmentEntries];
        std::copy(d.segments.begin(), d.segments.end(), segments);
        InterpolateWeightRowsOverSegments(0, kRow, d.weights[0].data(), d.weights[1].data(),
                                          d.weights[2].data(), d.outputs[0].data(),
                                          d.outputs[1].data(), d.outputs[2].data(), kSegmentEntries, 0,
                                          segments, d.counts.data());
    });
}
BENCHMARK(BM_Widen)->Name("AuxKernel/InterpolateWeightRowsOverSegments(8 segments of 300 px)");

void BM_BlendSegment(benchmark::State &state) {
    RunKernel(state, [](RowData &d) {
        BlendSegmentChroma16(0, 0, 0, d.packed16.data(), d.target16.data(), d.segments.data(),
                             d.counts.data(), kRow, 0, 0, kSegmentEntries, 1);
    });
}
BENCHMARK(BM_BlendSegment)->Name("AuxKernel/BlendSegmentChroma16(8 segments of 300 px, 1 row)");

}  // namespace
