// The two calls of the merge through the intermediate on a 12 MP bracket (4000 x 3000) in
// every format of the set, packed 4:2:2 first for comparison: MergeToIntermediate (parity-split
// layout, first halves on a second thread) and ToneMapIntermediate at T = 45 over its result.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>

#include "../tests/alt/intermediate_merge_support.h"
#include "../tests/alt/tone_map_support.h"
#include "alt/merge_to_intermediate.h"
#include "alt/tone_map_intermediate.h"

namespace {

using alt_bracket::Bracket;
using alt_bracket::SessionHolder;
using alt_merge::IntermediateOutputs;

constexpr int32_t kWidth = 4000, kHeight = 3000;

struct FormatSetUp {
    SessionHolder tables;
    Bracket bracket;
    IntermediateOutputs outputs;
    explicit FormatSetUp(uint32_t format)
        : bracket(tables.session->gammaCompressTable, format, kWidth, kHeight, 6, -4),
          outputs(bracket.inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT) {}
};

// One bracket per format, made on first use.
FormatSetUp &SetUp(uint32_t format) {
    static std::map<uint32_t, std::unique_ptr<FormatSetUp>> made;
    auto &entry = made[format];
    if (!entry) entry = std::make_unique<FormatSetUp>(format);
    return *entry;
}

int Merge(HdrSession *s, FormatSetUp &f) {
    return MergeToIntermediate(nullptr, s, f.bracket.inputs(), 0, 3, f.outputs.descs,
                               INTERMEDIATE_LAYOUT_PARITY_SPLIT, 0, 0, nullptr, nullptr);
}

void BM_MergeToIntermediateFormat(benchmark::State &state) {
    FormatSetUp &f = SetUp(static_cast<uint32_t>(state.range(0)));
    SessionHolder h;
    for (auto _ : state)
        if (Merge(h.session, f) != RESULT_OK) state.SkipWithError("merge failed");
}

void BM_ToneMapIntermediateFormat(benchmark::State &state) {
    FormatSetUp &f = SetUp(static_cast<uint32_t>(state.range(0)));
    SessionHolder h;
    if (Merge(h.session, f) != RESULT_OK) {
        state.SkipWithError("merge failed");
        return;
    }
    tone_support::OwnedImage out;
    out.Like(f.bracket.inputs()[0], 0);
    for (auto _ : state)
        if (ToneMapIntermediate(nullptr, h.session, f.outputs.descs, 3, &out.desc, 45, 0, nullptr,
                                nullptr) != RESULT_OK)
            state.SkipWithError("tone mapping failed");
}

void Formats(benchmark::internal::Benchmark *b) {
    b->ArgName("format");
    for (int64_t f : {0x501, 0x601, 0x605, 0x603, 0x801, 0x802, 0x803}) b->Arg(f);
}

}  // namespace

BENCHMARK(BM_MergeToIntermediateFormat)->Apply(Formats)->Unit(benchmark::kMillisecond)
    ->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_ToneMapIntermediateFormat)->Apply(Formats)->Unit(benchmark::kMillisecond)
    ->UseRealTime()->MinTime(1.0);
