// The exposure statistics on caller histograms and pixel counts: the quantile levels, the
// whole quantile analysis of three exposures, and histogram matching between two of them.
#include <cstdint>

#include "core/exposure_stats.h"
#include "core/hdr_engine.h"
#include "core/histogram_match.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput in(data, size);
    int32_t histograms[3][256];
    for (auto &histogram : histograms)
        for (int32_t &count : histogram)  // mostly small counts, now and then a huge one
            count = in.Take<uint8_t>() & 1 ? in.Take<int32_t>() & 0x7fffffff : in.Take<uint8_t>();
    const int64_t pixelCount = in.Take<int64_t>();
    const int32_t count = in.InRange(1, 64);
    int32_t levels[65];
    FindQuantileLevels(levels, count, histograms[0], pixelCount);
    for (int k = 0; k <= count; ++k)
        if (levels[k] < 0 || levels[k] > 255) __builtin_trap();

    HdrSession *session = nullptr;
    if (CreateHdrSession(nullptr, 0, &session) != RESULT_OK) return 0;
    int32_t thresholds[5], lowRampStep = 0;
    AnalyzeExposureQuantiles(0, session, histograms[0], histograms[1], histograms[2],
                             pixelCount < 0 ? -(pixelCount + 1) : pixelCount, thresholds,
                             &lowRampStep);
    uint8_t table[256];
    BuildHistogramMatchTable(table, histograms[0], histograms[1], pixelCount, in.InRange(0, 3),
                             in.InRange(0, 1));
    DestroyHdrSession(nullptr, session);
    return 0;
}
