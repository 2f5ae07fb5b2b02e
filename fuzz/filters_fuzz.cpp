// The plane filters on small planes of any size and pitch with caller radii, modes and
// rectangles: the box filters (8, 16, 32 bits), the band guided filters (8-bit, and 16-bit
// guided by an 8-bit image) in every format they take, the striped guided filter and mask
// erosion and dilation. Planes are sized exactly, so a read past one shows. The threaded
// filters run their jobs in order and again in reverse, which must give the same bytes (every
// band reads its input as it was before the call, also in place); samples between the width
// and the pitch must keep their fill.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/hdr_engine.h"
#include "core/image.h"
#include "core/row_image.h"
#include "filters/box_filter.h"
#include "filters/guided_band.h"
#include "filters/guided_band16.h"
#include "filters/guided_striped.h"
#include "filters/mask_morphology.h"
#include "fuzz_input.h"

namespace {

int RunInOrder(int count, int (*job)(void *), void *records, size_t recordBytes) {
    int result = RESULT_OK;
    for (int i = 0; i < count; ++i) {
        const int r = job(static_cast<char *>(records) + i * recordBytes);
        if (result == RESULT_OK) result = r;
    }
    return result;
}

int RunInReverse(int count, int (*job)(void *), void *records, size_t recordBytes) {
    int result = RESULT_OK;
    for (int i = count - 1; i >= 0; --i) {
        const int r = job(static_cast<char *>(records) + i * recordBytes);
        if (result == RESULT_OK) result = r;
    }
    return result;
}

constexpr uint8_t kFill = 0xA5;

// width x height samples of T in rows of pitch samples, the last row cut at the width.
template <typename T>
std::vector<T> MakePlane(FuzzInput &in, int32_t width, int32_t height, int32_t pitch) {
    std::vector<T> plane(height > 0 ? static_cast<size_t>(height - 1) * pitch + width : 0);
    for (size_t i = 0; i < plane.size(); ++i) {
        T value;
        std::memset(&value, kFill, sizeof value);
        if (static_cast<int32_t>(i % pitch) < width) {
            uint8_t bytes[sizeof(T)];
            for (uint8_t &b : bytes) b = in.NextByte();
            std::memcpy(&value, bytes, sizeof value);
        }
        plane[i] = value;
    }
    return plane;
}

template <typename T>
void CheckPadding(const std::vector<T> &plane, int32_t width, int32_t pitch) {
    T fill;
    std::memset(&fill, kFill, sizeof fill);
    for (size_t i = 0; i < plane.size(); ++i)
        if (static_cast<int32_t>(i % pitch) >= width && plane[i] != fill) __builtin_trap();
}

void FuzzBox(FuzzInput &in, int bits) {
    const int32_t width = in.InRange(0, 80), height = in.InRange(0, 80);
    const int32_t pitch = width + in.InRange(0, 3) + (width == 0);
    const int32_t radius = in.InRange(-1, 40), mode = in.InRange(-1, 3);
    if (bits == 8) {
        std::vector<uint8_t> plane = MakePlane<uint8_t>(in, width, height, pitch);
        BoxFilterPlane8(nullptr, plane.data(), width, height, pitch, radius, mode);
        CheckPadding(plane, width, pitch);
    } else if (bits == 16) {
        // Samples of magnitude up to 31767 keep the mean exact; the fuzzer also tries the rest.
        std::vector<int16_t> plane = MakePlane<int16_t>(in, width, height, pitch);
        BoxFilterPlane16(nullptr, plane.data(), width, height, pitch, radius, mode);
        CheckPadding(plane, width, pitch);
    } else {
        std::vector<int32_t> plane = MakePlane<int32_t>(in, width, height, pitch);
        BoxFilterPlane32(nullptr, plane.data(), width, height, pitch, radius, mode);
        CheckPadding(plane, width, pitch);
    }
}

// An image whose planes are vectors of exactly the layout's rows x pitch bytes.
struct Image {
    std::vector<uint8_t> planes[3];
    ImageDesc desc{};

    bool Make(FuzzInput &in, int32_t width, int32_t height, uint32_t format) {
        // 0x201 has the layout of 0x401: three interleaved samples.
        int32_t rows[3];
        if (LayoutImagePlanes(&desc, width, height, format == 0x201 ? 0x401 : format, rows) !=
            RESULT_OK)
            return false;
        desc.u32PixelArrayFormat = format;
        for (int p = 0; p < 3; ++p) {
            const int64_t bytes = int64_t{rows[p]} * desc.pi32Pitch[p];
            if (bytes <= 0) continue;
            planes[p].resize(static_cast<size_t>(bytes));
            for (uint8_t &b : planes[p]) b = in.NextByte();
            desc.ppu8Plane[p] = planes[p].data();
        }
        return true;
    }
    // A copy whose descriptor points at its own planes.
    Image Copy() const {
        Image copy;
        copy.desc = desc;
        for (int p = 0; p < 3; ++p) {
            copy.planes[p] = planes[p];
            if (desc.ppu8Plane[p]) copy.desc.ppu8Plane[p] = copy.planes[p].data();
        }
        return copy;
    }
    bool SameBytes(const Image &other) const {
        for (int p = 0; p < 3; ++p)
            if (planes[p] != other.planes[p]) return false;
        return true;
    }
};

PixelRect TakeRect(FuzzInput &in, int32_t width, int32_t height) {
    PixelRect rect{in.InRange(-2, width), in.InRange(-2, height), 0, 0};
    rect.x1 = rect.x0 + in.InRange(-1, width + 2);
    rect.y1 = rect.y0 + in.InRange(-1, height + 2);
    return rect;
}

double TakeEps(FuzzInput &in) {
    switch (in.InRange(0, 3)) {
    case 0: return in.InRange(0, 2000);
    case 1: return in.Take<double>();  // anything, NaN and infinities included
    default: return in.InRange(0, 100) / 4.0;
    }
}

// Roles of the output in an in-place call: 0 apart, 1 the input, 2 the guide, 3 both.
void FuzzGuided8(FuzzInput &in) {
    static const uint32_t kFormats[] = {PIXEL_FORMAT_YUV444P, PIXEL_FORMAT_GRAY8,
                                        PIXEL_FORMAT_NV12,    PIXEL_FORMAT_NV21,
                                        0x201,                0x401,
                                        PIXEL_FORMAT_YUYV,    PIXEL_FORMAT_I420};
    const uint32_t format = kFormats[in.InRange(0, 7)];
    const int32_t width = in.InRange(1, 64), height = in.InRange(1, 64);
    const int32_t radius = in.InRange(0, 3) ? in.InRange(0, 12) : in.InRange(-1, 92);
    const int roles = in.InRange(0, 3);
    const bool useRect = in.InRange(0, 1);
    const PixelRect rect = TakeRect(in, width, height);
    const double eps = TakeEps(in);
    Image guide, input, output;
    if (!guide.Make(in, width, height, format) || !input.Make(in, width, height, format) ||
        !output.Make(in, width, height, format))
        return;
    Image results[2];
    for (int order = 0; order < 2; ++order) {
        // In place, the output starts as the input (or the guide) and is passed in its role.
        Image g = guide.Copy(), i = input.Copy();
        Image &o = results[order];
        o = roles == 0 ? output.Copy() : roles == 1 ? input.Copy() : guide.Copy();
        const ImageDesc *guideArg = roles & 2 ? &o.desc : &g.desc;
        const ImageDesc *inputArg = roles & 1 ? &o.desc : &i.desc;
        GuidedFilterThreaded8WithRunner(nullptr, guideArg, inputArg, radius,
                                        useRect ? &rect : nullptr, &o.desc, eps,
                                        order == 0 ? RunInOrder : RunInReverse);
    }
    if (!results[0].SameBytes(results[1])) __builtin_trap();
}

void FuzzGuided16(FuzzInput &in) {
    static const uint32_t kFormats[] = {PIXEL_FORMAT_YUV444P, PIXEL_FORMAT_GRAY8,
                                        PIXEL_FORMAT_NV12, PIXEL_FORMAT_NV21, PIXEL_FORMAT_YUYV};
    const uint32_t format = kFormats[in.InRange(0, 4)];
    const int32_t width = in.InRange(1, 64), height = in.InRange(1, 64);
    const int32_t radius = in.InRange(0, 3) ? in.InRange(0, 12) : in.InRange(-1, 92);
    const int32_t mode = in.InRange(-1, 2);
    const bool inPlace = in.InRange(0, 1);
    const bool useRect = in.InRange(0, 1);
    const PixelRect rect = TakeRect(in, width, height);
    const double eps = TakeEps(in);
    Image guide;
    if (!guide.Make(in, width, height, format)) return;
    const std::vector<int16_t> input = MakePlane<int16_t>(in, width, height, width);
    std::vector<int16_t> results[2];
    for (int order = 0; order < 2; ++order) {
        std::vector<int16_t> source = input;
        std::vector<int16_t> &out = results[order];
        out.assign(input.size(), int16_t(0x1234));
        int16_t *output = inPlace ? source.data() : out.data();
        GuidedFilterThreaded16WithRunner(nullptr, &guide.desc, source.data(), radius,
                                         useRect ? &rect : nullptr, output, eps, mode,
                                         order == 0 ? RunInOrder : RunInReverse);
        if (inPlace) out = source;
    }
    if (results[0] != results[1]) __builtin_trap();
}

void FuzzStriped(FuzzInput &in) {
    const int32_t width = in.InRange(0, 64), height = in.InRange(0, 64);
    const int32_t radius = in.InRange(0, 3) ? in.InRange(0, 12) : in.InRange(-1, 80);
    const bool inPlace = in.InRange(0, 1);
    std::vector<uint8_t> guidePixels = MakePlane<uint8_t>(in, width, height, width ? width : 1);
    std::vector<int32_t> inputPixels = MakePlane<int32_t>(in, width, height, width ? width : 1);
    for (int32_t &v : inputPixels) v = v % 32768;  // the range the filter is stated for
    std::vector<int32_t> outputPixels(inputPixels.size(), 0x5A5A5A5A);
    if (guidePixels.empty()) {  // an empty plane still needs an address to wrap
        guidePixels.resize(1);
        inputPixels.resize(1);
        outputPixels.resize(1);
    }
    RowImage *guide = WrapRowImage(nullptr, guidePixels.data(), width, height, 8, 1, width);
    RowImage *input =
        WrapRowImage(nullptr, reinterpret_cast<uint8_t *>(inputPixels.data()), width, height, 32,
                     1, 4 * width);
    RowImage *output =
        inPlace ? input
                : WrapRowImage(nullptr, reinterpret_cast<uint8_t *>(outputPixels.data()), width,
                               height, 32, 1, 4 * width);
    if (guide && input && output)
        GuidedFilterStripedWithRunner(nullptr, guide, input, output, radius, RunInOrder);
    FreeRowImageHeader(nullptr, &guide);
    if (!inPlace) FreeRowImageHeader(nullptr, &output);
    FreeRowImageHeader(nullptr, &input);
}

void FuzzMorphology(FuzzInput &in) {
    const int32_t width = in.InRange(0, 64), height = in.InRange(0, 64);
    const int32_t pitch = width + in.InRange(0, 3) + (width == 0);
    const int32_t passes = in.InRange(-1, 6);
    const bool erode = in.InRange(0, 1);
    const bool binary = in.InRange(0, 3);
    std::vector<uint8_t> mask = MakePlane<uint8_t>(in, width, height, pitch);
    if (binary)
        for (size_t i = 0; i < mask.size(); ++i)
            if (static_cast<int32_t>(i % pitch) < width) mask[i] = mask[i] & 1 ? 255 : 0;
    if (erode) ErodeMask(mask.data(), pitch, width, height, passes);
    else DilateMask(mask.data(), pitch, width, height, passes);
    CheckPadding(mask, width, pitch);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput in(data, size);
    switch (in.InRange(0, 6)) {
    case 0: FuzzBox(in, 8); break;
    case 1: FuzzBox(in, 16); break;
    case 2: FuzzBox(in, 32); break;
    case 3: FuzzGuided8(in); break;
    case 4: FuzzGuided16(in); break;
    case 5: FuzzStriped(in); break;
    default: FuzzMorphology(in); break;
    }
    return 0;
}
