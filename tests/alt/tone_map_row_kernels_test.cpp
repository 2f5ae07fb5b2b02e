// The SSE2 tone row kernels against their plain references, bit for bit: random samples and
// gains with both ends of the 16-bit range mixed in (products past 4095, chroma past 16383),
// lengths around the eight-lane step, starts off the vector alignment.
#include "alt/tone_map_row_kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

struct RowData {
    std::vector<uint16_t> samples, gain;
    uint8_t tone[4096], first[4096], second[4096];
    explicit RowData(size_t n) : samples(2 * n + 16), gain(n + 16) {
        std::mt19937 rng(4212);
        std::uniform_int_distribution<int> any(0, 65535), pick(0, 4), table(0, 255);
        for (auto &v : samples) v = uint16_t(pick(rng) == 0 ? 65535 * (any(rng) & 1) : any(rng) >> 2);
        for (auto &g : gain) g = uint16_t(pick(rng) == 0 ? 65535 : 512 + any(rng) % 4096);
        for (int i = 0; i < 4096; ++i) {
            tone[i] = uint8_t(table(rng));
            first[i] = uint8_t(table(rng));
            second[i] = uint8_t(table(rng));
        }
    }
};

TEST(ToneRowKernels, Sse2MatchesThePlainKernels) {
    RowData d(200);
    for (const int32_t n : {0, 2, 4, 7, 8, 12, 16, 20, 100, 200})
        for (const int32_t at : {0, 1, 3}) {
            const uint16_t *in = d.samples.data() + at;
            const uint16_t *g = d.gain.data() + at;
            std::vector<uint8_t> plain(2 * n + 8, 0x5A), fast = plain;
            ToneLumaRow_C(n, in, g, d.tone, plain.data());
            ToneLumaRow_SSE2(n, in, g, d.tone, fast.data());
            ASSERT_EQ(plain, fast) << "luma " << n << " at " << at;
            ToneChromaRow_C(n, in, plain.data(), d.first, d.second);
            ToneChromaRow_SSE2(n, in, fast.data(), d.first, d.second);
            ASSERT_EQ(plain, fast) << "chroma " << n << " at " << at;
            TonePackedRow_C(n, in, g, d.tone, d.first, d.second, plain.data());
            TonePackedRow_SSE2(n, in, g, d.tone, d.first, d.second, fast.data());
            ASSERT_EQ(plain, fast) << "packed " << n << " at " << at;
        }
}

// The plain references hold the rule: the gained luma index held at 4095, the chroma index
// at 4095, the tables alternating from the first sample.
TEST(ToneRowKernels, PlainReferencesHoldIndicesToTheTables) {
    uint8_t tone[4096], first[4096], second[4096];
    for (int i = 0; i < 4096; ++i) {
        tone[i] = uint8_t(i >> 4);
        first[i] = uint8_t(i >> 4);
        second[i] = uint8_t(255 - (i >> 4));
    }
    const uint16_t luma[4] = {3536, 8000, 16383, 65535};
    const uint16_t gain[4] = {1024, 2048, 4096, 65535};
    uint8_t out[8] = {};
    ToneLumaRow_C(4, luma, gain, tone, out);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{884 >> 4, 4000 >> 4, 255, 255}));
    const uint16_t chroma[4] = {8192, 8192, 65535, 16320};
    ToneChromaRow_C(4, chroma, out, first, second);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{128, 127, 255, 0}));
    const uint16_t packed[4] = {3536, 8192, 8000, 65535};
    TonePackedRow_C(2, packed, gain, tone, first, second, out);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{884 >> 4, 128, 4000 >> 4, 0}));
}

}  // namespace
