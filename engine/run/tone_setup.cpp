#include "tone_setup.h"

#include <algorithm>
#include <cstdlib>

#include "core/image.h"
#include "core/session.h"
#include "core/tone_tables.h"
#include "filters/base_layer.h"
#include "filters/local_gain.h"
#include "filters/low_res_tone_maps.h"

namespace {

struct ToneLevels {
    int32_t contrast, saturation, brightness, gainStrength;
};

ToneLevels DeriveLevels(const HdrSession &s) {
    const int32_t t = s.toneLength;
    const int32_t f = t >= 36 ? 2 * t - 70 : 0;
    ToneLevels l{};
    l.brightness = t >= 36 ? s.brightness - 5 : s.brightness;
    l.contrast = s.lowResMapsReady ? f + 25 : f + 5;
    // Scenes whose reference and brightest chroma differ keep their saturation.
    const int32_t chromaDifference =
        std::abs(s.refBrightChromaOffsetU) + std::abs(s.refBrightChromaOffsetV);
    const int32_t offset = chromaDifference < 16 ? f : std::max(0, t - 60);
    l.saturation = std::min(s.toneSaturation + offset, 100);
    if (s.lowResMapsReady)
        l.gainStrength = s.darkShareQ10 > 15 ? t - 10 : (s.darkShareQ10 * 25) >> 4;
    else
        l.gainStrength = t;
    return l;
}

// The output geometry the band pass renders into: the first output's own, or with two
// exposures the compact process rectangle.
ImageDesc OutputGeometry(HdrSession *s, const ImageDesc &input, const ImageDesc &output) {
    ImageDesc view = output;
    const uint32_t format = output.u32PixelArrayFormat;
    const bool semiPlanar420 = format == PIXEL_FORMAT_NV12 || format == PIXEL_FORMAT_NV21;
    if (s->exposureCount != 2) {
        s->planeWidths[0] = input.i32Width;
        if (semiPlanar420) {
            s->planeWidths[1] = input.i32Width;
        } else {
            s->planeWidths[1] = s->planeWidths[2] = input.i32Width / 2;
        }
        return view;
    }
    const int32_t width = static_cast<int32_t>(s->processRect.width);
    view.i32Width = width;
    view.i32Height = s->processRect.height;
    view.pi32Pitch[0] = format == PIXEL_FORMAT_YUYV ? 2 * width : width;
    if (semiPlanar420) {
        view.pi32Pitch[1] = width;
        s->planeWidths[1] = s->planeWidths[0];
    } else {
        view.pi32Pitch[1] = view.pi32Pitch[2] = width / 2;
        if (format != PIXEL_FORMAT_YUYV)
            s->planeWidths[1] = s->planeWidths[2] = s->planeWidths[0] / 2;
    }
    return view;
}

void ReleaseSmallImages(MemoryContext memory, HdrSession *s, int32_t count) {
    for (int32_t i = 0; i < count; ++i) DestroyImage(&s->smallImages[i], memory);
    DestroyImage(&s->previewImage, memory);
    DestroyImage(&s->previewWorkImage, memory);
}

}  // namespace

int SetUpToneTables(MemoryContext memory, HdrSession *s, const ImageDesc *inputs,
                    const ImageDesc *outputs) {
    if (!s || !inputs || !outputs) return RESULT_INVALID_ARGUMENT;
    const int32_t n = std::clamp(s->exposureCount, 0, kMaxExposures);
    const ToneLevels l = DeriveLevels(*s);
    const ImageDesc view = OutputGeometry(s, inputs[0], outputs[0]);

    int r = BuildContrastCurve(s, 0, l.contrast);
    if (r == RESULT_OK) r = BuildSaturationTable(s, 0, l.saturation);
    if (r == RESULT_OK) r = ApplyBrightnessLevel(memory, s, 0, l.brightness, 0);
    if (r != RESULT_OK) return r;
    for (int32_t i = 0; i < n; ++i) DestroyImage(&s->alignedSmall[i], memory);

    r = BuildCoarseBaseLayer(memory, s, inputs, view.ppu8Plane[2], view.i32Width, view.i32Height,
                             view.u32PixelArrayFormat);
    if (r == RESULT_OK) r = SetUpLocalGainTable(memory, s, l.gainStrength);
    if (r == RESULT_OK) r = BuildLowResToneAndChromaMaps(memory, s);
    if (r != RESULT_OK) return r;
    ReleaseSmallImages(memory, s, n);
    return RESULT_OK;
}
