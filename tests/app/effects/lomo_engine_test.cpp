// The effect engine: its settings, its source and the order of its effect chain.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "app/effects/lomo_support.h"
#include "effects/lomo_engine.h"
#include "effects/lomo_kernels.h"

// The allocation-failure test asks for more memory than the machine can address; under
// AddressSanitizer malloc must then return null as it does without it.
extern "C" const char *__asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

uint8_t *MallocCopy(const LomoPicture &p) {
    auto *copy = static_cast<uint8_t *>(std::malloc(p.bytes.size()));
    std::memcpy(copy, p.bytes.data(), p.bytes.size());
    return copy;
}

TEST(IILomoEngine, DefaultSettings) {
    IILomoEngine engine;
    EXPECT_EQ(engine.lomoStyle, LomoStyleNone);
    EXPECT_EQ(engine.lomoLensColor.lensB, 255);
    EXPECT_EQ(engine.lomoLensColor.lensG, 255);
    EXPECT_EQ(engine.lomoLensColor.lensR, 255);
    EXPECT_EQ(engine.lomoLensOpacity, 50);
    EXPECT_TRUE(engine.isKeepLomoLensLumonisity);
    EXPECT_EQ(engine.lomoContrast, 0);
    EXPECT_EQ(engine.lomoSaturation, 0);
    EXPECT_EQ(engine.lomoVignetting, 0);
    EXPECT_EQ(engine.engineData(), nullptr);

    // defaultSettings rewrites the settings and leaves the source alone.
    const LomoPicture source = RandomLomoPicture(5, 3, 16, 1);
    engine.startLomo(source.bytes.data(), 5, 3, 16);
    IILomoData *data = engine.engineData();
    engine.lomoContrast = 40;
    engine.lomoStyle = LomoStyleGrayscale;
    engine.defaultSettings();
    EXPECT_EQ(engine.lomoContrast, 0);
    EXPECT_EQ(engine.lomoStyle, LomoStyleNone);
    EXPECT_EQ(engine.engineData(), data);
}

TEST(IILomoEngine, DefaultSettingsLeaveThePictureByteIdentical) {
    const LomoPicture source = RandomLomoPicture(17, 6, 55, 2);
    IILomoEngine engine;
    engine.startLomo(source.bytes.data(), source.width, source.height, source.lineBytes);
    LomoPicture copy = source;
    EXPECT_TRUE(engine.runLomo(copy.data(), copy.width, copy.height, copy.lineBytes));
    EXPECT_EQ(copy.bytes, source.bytes);
}

TEST(IILomoEngine, RunWithoutSourceChangesNothing) {
    IILomoEngine engine;
    engine.lomoContrast = 80;
    engine.lomoSaturation = -60;
    engine.lomoStyle = LomoStyleColorLook;
    engine.lomoVignetting = 50;
    LomoPicture p = RandomLomoPicture(8, 4, 30, 3);
    const LomoPicture before = p;
    EXPECT_TRUE(engine.runLomo(p.data(), p.width, p.height, p.lineBytes));
    EXPECT_EQ(p.bytes, before.bytes);

    engine.startLomo(p.data(), p.width, p.height, p.lineBytes);
    engine.finishLomo();
    EXPECT_EQ(engine.engineData(), nullptr);
    EXPECT_TRUE(engine.runLomo(p.data(), p.width, p.height, p.lineBytes));
    EXPECT_EQ(p.bytes, before.bytes);
}

// The chain is contrast and saturation, the style, the tint, the vignette, each applied with the
// engine's settings (lens fields clamped to 0..255, a lens that is white after clamping skipped,
// a negative vignette skipped, an out-of-range saturation skipped after the contrast).
TEST(IILomoEngine, ChainAppliesTheKernelsInOrder) {
    struct Chain {
        int32_t contrast, saturation, style;
        LomoLensRGB lens;  // B, G, R as set on the engine
        int32_t opacity;
        bool keep;
        int32_t vignette;
        // What the kernels are expected to receive.
        int32_t saturationUsed;
        bool tint;
        uint8_t r, g, b;
        bool vignetteUsed;
    };
    const Chain chains[] = {
        {30, -40, LomoStyleColorLook, {50, 100, 200}, 70, false, 40, -40, true, 200, 100, 50, true},
        {-70, 60, LomoStyleGrayscale, {0, 255, 255}, 50, true, 0, 60, true, 255, 255, 0, false},
        {50, 150, 7, {255, 255, 255}, 100, true, 25, 0, false, 0, 0, 0, true},
        {0, 0, LomoStyleNone, {-5, 128, 300}, 30, false, -20, 0, true, 255, 128, 0, false},
        {10, 20, LomoStyleColorLook, {256, 300, 1000}, 80, false, 0, 20, false, 0, 0, 0, false},
    };
    const LomoPicture source = RandomLomoPicture(23, 9, 75, 6);
    for (const Chain &c : chains) {
        IILomoEngine engine;
        engine.startLomo(source.bytes.data(), source.width, source.height, source.lineBytes);
        engine.lomoContrast = c.contrast;
        engine.lomoSaturation = c.saturation;
        engine.lomoStyle = c.style;
        engine.lomoLensColor = c.lens;
        engine.lomoLensOpacity = c.opacity;
        engine.isKeepLomoLensLumonisity = c.keep;
        engine.lomoVignetting = c.vignette;
        LomoPicture got = source;
        EXPECT_TRUE(engine.runLomo(got.data(), got.width, got.height, got.lineBytes));

        LomoPicture want = source;
        uint8_t *w = want.data();
        LomoContrastSaturation(w, want.width, want.height, want.lineBytes, c.contrast, c.saturationUsed);
        if (c.style == LomoStyleColorLook) LomoColorLook(w, want.width, want.height, want.lineBytes);
        if (c.style == LomoStyleGrayscale) LomoGrayscale(w, want.width, want.height, want.lineBytes);
        if (c.tint)
            LomoLensTint(w, want.width, want.height, want.lineBytes, c.r, c.g, c.b, c.opacity, c.keep);
        if (c.vignetteUsed) LomoVignette(w, want.width, want.height, want.lineBytes, c.vignette);
        EXPECT_EQ(got.bytes, want.bytes) << "contrast " << c.contrast << " style " << c.style;
        EXPECT_NE(got.bytes, source.bytes);
    }
}

TEST(IILomoEngine, StartCopiesTheSource) {
    LomoPicture p = RandomLomoPicture(6, 4, 20, 7);
    const LomoPicture before = p;
    IILomoEngine engine;
    engine.startLomo(p.data(), 6, 4, 20);
    std::memset(p.data(), 0, p.bytes.size());
    const IILomoData *data = engine.engineData();
    ASSERT_NE(data, nullptr);
    EXPECT_NE(data->imageData(), p.data());
    EXPECT_EQ(data->imageWidth(), 6);
    EXPECT_EQ(data->imageHeight(), 4);
    EXPECT_EQ(data->imageLineBytes(), 20);
    EXPECT_EQ(std::memcmp(data->imageData(), before.bytes.data(), before.bytes.size()), 0);
}

// A buffer given without copy belongs to the engine, which frees it when the source is
// finished or replaced (the sanitizer build reports a leak or a double free otherwise).
TEST(IILomoEngine, StartWithoutCopyTakesTheBufferOver) {
    const LomoPicture p = RandomLomoPicture(6, 4, 20, 8);
    IILomoEngine engine;
    uint8_t *first = MallocCopy(p);
    engine.startLomoNoCopy(first, 6, 4, 20);
    ASSERT_NE(engine.engineData(), nullptr);
    EXPECT_EQ(engine.engineData()->imageData(), first);
    engine.startLomoNoCopy(MallocCopy(p), 6, 4, 20);  // frees the first
    EXPECT_NE(engine.engineData(), nullptr);
    engine.startLomoNoCopy(nullptr, 6, 4, 20);  // frees the second, no source
    EXPECT_EQ(engine.engineData(), nullptr);
    engine.setLomoData(std::make_unique<IILomoData>(MallocCopy(p), 6, 4, 20));
    EXPECT_NE(engine.lomoData(), nullptr);
}  // the engine frees the last one

// A start whose copy cannot be made leaves the engine without a source, the previous one
// finished.
TEST(IILomoEngine, FailedCopyLeavesNoSource) {
    const LomoPicture p = RandomLomoPicture(6, 4, 20, 9);
    const struct {
        const uint8_t *buffer;
        int32_t height, lineBytes;
    } cases[] = {{p.bytes.data(), INT32_MAX, INT32_MAX},  // beyond any address space
                 {nullptr, 4, 20},
                 {p.bytes.data(), 0, 20},
                 {p.bytes.data(), 4, -20}};
    for (const auto &c : cases) {
        IILomoEngine engine;
        engine.startLomo(p.bytes.data(), 6, 4, 20);
        engine.startLomo(c.buffer, 6, c.height, c.lineBytes);
        EXPECT_EQ(engine.engineData(), nullptr) << c.height << " " << c.lineBytes;
        LomoPicture q = p;
        engine.lomoContrast = 90;
        EXPECT_TRUE(engine.runLomo(q.data(), 6, 4, 20));
        EXPECT_EQ(q.bytes, p.bytes);
    }
}

}  // namespace
