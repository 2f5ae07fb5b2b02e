#include "mask_morphology.h"

#include <cstddef>

#include "core/hdr_engine.h"

namespace {

// A pass works without a second buffer: a pixel that changes first takes a marker that its
// neighbours read as its old state (254 still counts as set for erosion, 1 still counts as
// clear for dilation), and the markers are resolved once every pixel has been tested.
constexpr uint8_t kErodeMarker = 254;
constexpr uint8_t kDilateMarker = 1;

// The decision reads the sum of the neighbours: with samples of 0 or 255 and the markers
// above, four neighbours sum to at most 1015 (three to at most 761) exactly when one of
// them held 0 when the pass began, and to at least 5 (three to at least 4) exactly when
// one of them held 255. With fewer neighbours each is tested on its own.
struct Neighbours {
    int32_t count = 0;
    int32_t sum = 0;
    bool anyClear = false;
    bool anySet = false;
    void Add(uint8_t v) {
        ++count;
        sum += v;
        anyClear |= v == 0;
        anySet |= v == 255;
    }
};

Neighbours Gather(const uint8_t *mask, size_t pitch, int32_t width, int32_t height, int32_t x,
                  int32_t y) {
    const uint8_t *p = mask + static_cast<size_t>(y) * pitch + x;
    Neighbours n;
    if (x > 0) n.Add(p[-1]);
    if (x + 1 < width) n.Add(p[1]);
    if (y > 0) n.Add(*(p - pitch));
    if (y + 1 < height) n.Add(p[pitch]);
    return n;
}

bool ErodesAt(const Neighbours &n) {
    if (n.count == 4) return n.sum <= 4 * 255 - 5;
    if (n.count == 3) return n.sum <= 3 * 255 - 4;
    return n.anyClear;
}

bool DilatesAt(const Neighbours &n) {
    if (n.count == 4) return n.sum >= 5;
    if (n.count == 3) return n.sum >= 4;
    return n.anySet;
}

bool IsInterior(int32_t x, int32_t y, int32_t width, int32_t height) {
    return x > 0 && y > 0 && x + 1 < width && y + 1 < height;
}

void ErodePass(uint8_t *mask, size_t pitch, int32_t width, int32_t height) {
    for (int32_t y = 0; y < height; ++y) {
        uint8_t *row = mask + static_cast<size_t>(y) * pitch;
        for (int32_t x = 0; x < width; ++x) {
            if (row[x] != 255) continue;
            bool erodes;
            if (IsInterior(x, y, width, height)) {
                erodes = row[x - 1] + row[x + 1] + *(row + x - pitch) + row[x + pitch] <=
                         4 * 255 - 5;
            } else {
                erodes = ErodesAt(Gather(mask, pitch, width, height, x, y));
            }
            if (erodes) row[x] = kErodeMarker;
        }
    }
    for (int32_t y = 0; y < height; ++y) {
        uint8_t *row = mask + static_cast<size_t>(y) * pitch;
        for (int32_t x = 0; x < width; ++x)
            if (row[x] == kErodeMarker) row[x] = 0;
    }
}

void DilatePass(uint8_t *mask, size_t pitch, int32_t width, int32_t height) {
    for (int32_t y = 0; y < height; ++y) {
        uint8_t *row = mask + static_cast<size_t>(y) * pitch;
        for (int32_t x = 0; x < width; ++x) {
            if (row[x] != 0) continue;
            bool dilates;
            if (IsInterior(x, y, width, height)) {
                dilates = row[x - 1] + row[x + 1] + *(row + x - pitch) + row[x + pitch] >= 5;
            } else {
                dilates = DilatesAt(Gather(mask, pitch, width, height, x, y));
            }
            if (dilates) row[x] = kDilateMarker;
        }
    }
    for (int32_t y = 0; y < height; ++y) {
        uint8_t *row = mask + static_cast<size_t>(y) * pitch;
        for (int32_t x = 0; x < width; ++x)
            if (row[x] != 0) row[x] = 255;
    }
}

bool ValidMask(const uint8_t *mask, int32_t pitch, int32_t width, int32_t height) {
    if (width < 0 || height < 0) return false;
    if (width == 0 || height == 0) return true;
    return mask != nullptr && pitch >= width;
}

}  // namespace

int32_t ErodeMask(uint8_t *mask, int32_t pitch, int32_t width, int32_t height, int32_t passes) {
    if (!ValidMask(mask, pitch, width, height)) return RESULT_INVALID_ARGUMENT;
    if (width == 0 || height == 0) return RESULT_OK;
    for (int32_t i = 0; i < passes; ++i) ErodePass(mask, static_cast<size_t>(pitch), width, height);
    return RESULT_OK;
}

int32_t DilateMask(uint8_t *mask, int32_t pitch, int32_t width, int32_t height, int32_t passes) {
    if (!ValidMask(mask, pitch, width, height)) return RESULT_INVALID_ARGUMENT;
    if (width == 0 || height == 0) return RESULT_OK;
    for (int32_t i = 0; i < passes; ++i) DilatePass(mask, static_cast<size_t>(pitch), width, height);
    return RESULT_OK;
}
