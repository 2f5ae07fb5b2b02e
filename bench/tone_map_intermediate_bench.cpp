// The second call of the two-call merge on a merged 12 MP packed 4:2:2 bracket (4000 x 3000):
// the whole tone mapping with a new tone length every iteration (tables and gain grid rebuilt),
// its two row passes alone, a plain pass that reads the same 16-bit samples and writes the same
// bytes on the same two threads (the floor the row passes are measured against), and the block
// exposure map.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "../tests/alt/intermediate_merge_support.h"
#include "../tests/alt/tone_map_support.h"
#include "alt/intermediate_image.h"
#include "alt/tone_map_intermediate.h"
#include "core/threads.h"

namespace {

using alt_bracket::Bracket;
using alt_bracket::SessionHolder;
using alt_merge::IntermediateOutputs;
using tone_support::OwnedImage;

constexpr int32_t kWidth = 4000, kHeight = 3000;

struct MergedBracket {
    SessionHolder tables;
    Bracket bracket{tables.session->gammaCompressTable, PIXEL_FORMAT_YUYV, kWidth, kHeight, 6, -4};
    IntermediateOutputs outputs{bracket.inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT};
    SessionHolder merged;
    OwnedImage out;
    int result = MergeToIntermediate(nullptr, merged.session, bracket.inputs(), 0, 3,
                                     outputs.descs, INTERMEDIATE_LAYOUT_PARITY_SPLIT, 0, 0,
                                     nullptr, nullptr);
    MergedBracket() { out.Like(bracket.inputs()[0], 0); }
};

MergedBracket &Shared() {
    static MergedBracket m;
    return m;
}

void BM_ToneMapIntermediateNewToneLength(benchmark::State &state) {
    MergedBracket &m = Shared();
    if (m.result != RESULT_OK) return state.SkipWithError("merge failed");
    const int32_t lengths[] = {30, 45, 60, 75, 90};
    int i = 0;
    for (auto _ : state) {
        const int r = ToneMapIntermediate(nullptr, m.merged.session, m.outputs.descs, 3,
                                          &m.out.desc, lengths[i++ % 5], 10, nullptr, nullptr);
        if (r != RESULT_OK) return state.SkipWithError("tone mapping failed");
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}
BENCHMARK(BM_ToneMapIntermediateNewToneLength)->Unit(benchmark::kMillisecond)->UseRealTime();

// The preparation alone, a new tone length each time: tables, gain grid and gain table.
void BM_ToneMapPreparationNewToneLength(benchmark::State &state) {
    MergedBracket &m = Shared();
    if (m.result != RESULT_OK) return state.SkipWithError("merge failed");
    HdrSession *s = m.merged.session;
    const int32_t lengths[] = {30, 45, 60, 75, 90};
    int i = 0;
    for (auto _ : state) {
        if (PrepareIntermediateToneMapping(nullptr, s, m.outputs.descs, 3, &m.out.desc,
                                           lengths[i++ % 5], 10, nullptr, nullptr) != RESULT_OK)
            return state.SkipWithError("preparation failed");
    }
}
BENCHMARK(BM_ToneMapPreparationNewToneLength)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ToneMapRowPasses(benchmark::State &state) {
    MergedBracket &m = Shared();
    if (m.result != RESULT_OK) return state.SkipWithError("merge failed");
    HdrSession *s = m.merged.session;
    if (PrepareIntermediateToneMapping(nullptr, s, m.outputs.descs, 3, &m.out.desc, 60, 0,
                                       nullptr, nullptr) != RESULT_OK)
        return state.SkipWithError("preparation failed");
    for (auto _ : state) {
        ToneMapHalfArgs top{nullptr, s, m.outputs.descs, 0, &m.out.desc, 0, RESULT_OK, nullptr};
        ThreadHandle thread = StartThread(ToneMapTopHalfWorker, &top);
        if (!thread) ToneMapTopHalfWorker(&top);
        ApplyToneMappingBottom(nullptr, s, m.outputs.descs, 3, &m.out.desc, 60, 0, nullptr,
                               nullptr);
        JoinThread(thread);
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}
BENCHMARK(BM_ToneMapRowPasses)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor: every 16-bit sample of the process rectangle to one byte, split at the same row
// over the same two threads.
struct PlainHalf {
    const HdrSession *s;
    ImageDesc *out;
    int32_t first, end;
};

void *PlainRows(void *argument) {
    const auto *h = static_cast<PlainHalf *>(argument);
    const int32_t x0 = int32_t(h->s->intermediate.processRect.x);
    const int32_t samples = 2 * int32_t(h->s->intermediate.processRect.width);
    for (int32_t i = h->first; i < h->end; ++i) {
        const auto *in = reinterpret_cast<const uint16_t *>(IntermediateLumaRow(h->s, i)) + 2 * x0;
        uint8_t *o = h->out->ppu8Plane[0] + int64_t{i} * h->out->pi32Pitch[0];
        for (int32_t k = 0; k < samples; ++k) o[k] = uint8_t(std::min<uint32_t>(in[k] >> 6, 255));
    }
    return nullptr;
}

void BM_PlainSixteenToEightPass(benchmark::State &state) {
    MergedBracket &m = Shared();
    if (m.result != RESULT_OK) return state.SkipWithError("merge failed");
    const HdrSession *s = m.merged.session;
    const int32_t h = s->intermediate.processRect.height;
    for (auto _ : state) {
        PlainHalf top{s, &m.out.desc, 0, s->splitRow}, bottom{s, &m.out.desc, s->splitRow, h};
        ThreadHandle thread = StartThread(PlainRows, &top);
        if (!thread) PlainRows(&top);
        PlainRows(&bottom);
        JoinThread(thread);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}
BENCHMARK(BM_PlainSixteenToEightPass)->Unit(benchmark::kMillisecond)->UseRealTime();

// Every format of the set on a hand-filled 12 MP intermediate at T = 45, the top pass on a
// second thread (1) or both passes on the caller's thread (0).
void BM_ToneMapIntermediateByFormat(benchmark::State &state) {
    const auto format = static_cast<uint32_t>(state.range(0));
    tone_support::HandIntermediate hi;
    const auto textured = [](int32_t plane, int32_t x, int32_t r) {
        if (plane == 0) return uint16_t(400 + (x * 37 + r * 11) % 12000);
        return uint16_t(8192 + (x * 13 + r * 7) % 4000 - 2000);
    };
    if (!hi.Create(format, kWidth, kHeight, INTERMEDIATE_LAYOUT_PARITY_SPLIT,
                   RegionRect{0, 0, kWidth, kHeight}, textured))
        return state.SkipWithError("intermediate not recorded");
    const ImageDesc d[2] = {hi.Descriptors(0), hi.Descriptors(1)};
    OwnedImage out;
    out.Like(hi.inputs[0].desc, 0);
    for (auto _ : state)
        if (RunToneMapIntermediate(nullptr, hi.s, d, 3, &out.desc, 45, 0, nullptr, nullptr,
                                   state.range(1) != 0) != RESULT_OK)
            return state.SkipWithError("tone mapping failed");
    state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}
BENCHMARK(BM_ToneMapIntermediateByFormat)
    ->ArgNames({"format", "threaded"})
    ->ArgsProduct({{0x501, 0x601, 0x605, 0x603, 0x801, 0x802, 0x803}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_BuildBlockExposureMap(benchmark::State &state) {
    MergedBracket &m = Shared();
    if (m.result != RESULT_OK) return state.SkipWithError("merge failed");
    HdrSession *s = m.merged.session;
    std::vector<uint8_t> bordered(size_t(s->blocksAcross + 2) * size_t(s->blocksDown + 2));
    std::vector<double> table(255);
    uint8_t *planes[3];
    for (int i = 0; i < 3; ++i) planes[i] = m.bracket.inputs()[i].ppu8Plane[0];
    for (auto _ : state) {
        const int r = BuildBlockExposureMap(nullptr, s, planes, 3, kWidth, kHeight,
                                            m.bracket.inputs()[0].pi32Pitch[0], 0, 0, 60, 0,
                                            PIXEL_FORMAT_YUYV, nullptr, nullptr, bordered.data(),
                                            int64_t(bordered.size()), table.data(), 255);
        if (r != RESULT_OK) return state.SkipWithError("map failed");
    }
}
BENCHMARK(BM_BuildBlockExposureMap)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
