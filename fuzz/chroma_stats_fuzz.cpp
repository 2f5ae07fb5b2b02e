// The chroma statistics over frames of any small size in every format, with planes sized
// exactly as the layout keeps them, so a read past a plane shows.
#include <cstdint>
#include <vector>

#include "core/chroma_stats.h"
#include "core/hdr_engine.h"
#include "core/image.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const uint32_t kFormats[] = {PIXEL_FORMAT_YUYV,    PIXEL_FORMAT_I420, 0x605,
                                        PIXEL_FORMAT_YUV422P, PIXEL_FORMAT_NV12, PIXEL_FORMAT_NV21,
                                        PIXEL_FORMAT_NV16,    PIXEL_FORMAT_YUV444P};
    FuzzInput in(data, size);
    const uint32_t format = kFormats[in.InRange(0, 7)];
    const int32_t w = in.InRange(1, 200), h = in.InRange(1, 200);
    ImageDesc layout;
    int32_t rows[3];
    if (LayoutImagePlanes(&layout, w, h, format, rows) != RESULT_OK) return 0;
    // Exact blocks per plane and exposure: no slack for a stray read to land in.
    std::vector<uint8_t> planes[3][3];
    uint8_t *pointers[3][3] = {};
    for (int e = 0; e < 3; ++e)
        for (int p = 0; p < 3; ++p) {
            const int64_t bytes = int64_t{rows[p]} * layout.pi32Pitch[p];
            if (bytes <= 0) continue;
            planes[e][p].resize(static_cast<size_t>(bytes));
            for (uint8_t &b : planes[e][p]) b = in.NextByte();
            pointers[p][e] = planes[e][p].data();
        }
    HdrSession *session = nullptr;
    if (CreateHdrSession(nullptr, 0, &session) != RESULT_OK) return 0;
    int32_t u[3][256], v[3][256];
    int32_t *const uHist[3] = {u[0], u[1], u[2]};
    int32_t *const vHist[3] = {v[0], v[1], v[2]};
    ComputeChromaHistograms(0, session, uHist, vHist, pointers[0], pointers[1], pointers[2], w, h,
                            layout.pi32Pitch[0], layout.pi32Pitch[1], layout.pi32Pitch[2], format);
    const int32_t columns = (w + 31) / 32, gridRows = (h + 31) / 32;
    std::vector<int16_t> uGrid(static_cast<size_t>(columns) * gridRows);
    std::vector<int16_t> vGrid(uGrid.size());
    ComputeBlockChromaSums(0, pointers[0], pointers[1], pointers[2], w, h, layout.pi32Pitch[0],
                           layout.pi32Pitch[1], layout.pi32Pitch[2], format, uGrid.data(),
                           vGrid.data(), columns, gridRows, in.InRange(0, 2));
    DestroyHdrSession(nullptr, session);
    return 0;
}
