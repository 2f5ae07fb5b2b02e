#include "row_bands.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace {

// The picture passes are memory bound: more than four bands gain nothing on a desktop and take
// cores from the engine when both run.
constexpr int64_t kMaxBands = 4;

}  // namespace

void ForEachRowBand(int64_t rows, int64_t minRows, int64_t align,
                    const std::function<void(int64_t, int64_t)> &work) {
    if (rows <= 0) return;
    align = std::max<int64_t>(align, 1);
    const int64_t bands = std::clamp<int64_t>(rows / std::max<int64_t>(minRows, 1), 1, kMaxBands);
    const auto edge = [&](int64_t band) {
        if (band >= bands) return rows;
        return std::min(rows, rows * band / bands / align * align);
    };
    std::vector<std::thread> workers;
    for (int64_t band = 1; band < bands; ++band) {
        const int64_t y0 = edge(band), y1 = edge(band + 1);
        if (y1 > y0) workers.emplace_back(work, y0, y1);
    }
    if (edge(1) > 0) work(0, edge(1));
    for (std::thread &worker : workers) worker.join();
}
