// The art effect engine: keeps the last merged picture as its source and applies the effect
// chain (contrast and saturation, an optional style, an optional lens tint, an optional
// vignette) in place to copies of it. No locks and no global state: one engine is used by one
// job at a time, on any thread.
#pragma once

#include <cstdint>
#include <memory>

// The lens colour of the tint, each field in 0..255; pure white means no tint.
struct LomoLensRGB {
    int32_t lensB;
    int32_t lensG;
    int32_t lensR;
};

enum LomoStyle : int32_t {
    LomoStyleNone = 0,
    LomoStyleColorLook = 1,
    LomoStyleGrayscale = 2,
};

// A started source: a picture of 24-bit B,G,R rows. It owns its buffer and releases it with
// free() when destroyed, so the buffer must come from malloc().
class IILomoData {
public:
    IILomoData(uint8_t *imageData, int32_t width, int32_t height, int32_t lineBytes)
        : imageData_(imageData), imageWidth_(width), imageHeight_(height), imageLineBytes_(lineBytes) {}
    ~IILomoData();
    IILomoData(const IILomoData &) = delete;
    IILomoData &operator=(const IILomoData &) = delete;

    uint8_t *imageData() const { return imageData_; }
    int32_t imageWidth() const { return imageWidth_; }
    int32_t imageHeight() const { return imageHeight_; }
    int32_t imageLineBytes() const { return imageLineBytes_; }

private:
    uint8_t *imageData_;
    int32_t imageWidth_;
    int32_t imageHeight_;
    int32_t imageLineBytes_;
};

class IILomoEngine {
public:
    IILomoEngine() { defaultSettings(); }

    // Effect settings, read and written directly by the engine's user.
    int32_t lomoStyle;                // a LomoStyle; other values apply no style
    LomoLensRGB lomoLensColor;        // fields clamped to 0..255 when the tint runs
    int32_t lomoLensOpacity;          // percent, 0..100
    bool isKeepLomoLensLumonisity;    // the tint keeps each pixel's luma
    int32_t lomoContrast;             // 0 = off; clamped to -200..199
    int32_t lomoSaturation;           // -100..100, 0 = off; other values skip saturation
    int32_t lomoVignetting;           // 0 = off; negative values count as 0

    // Style 0, white lens at opacity 50 with keep-luminosity, contrast, saturation and
    // vignette 0. The source is left alone.
    void defaultSettings();

    // Finishes the current source, then takes over `buffer` (from malloc) as the new source.
    // A null buffer leaves the engine without a source.
    void startLomoNoCopy(uint8_t *buffer, int32_t width, int32_t height, int32_t lineBytes);
    // Finishes the current source, then starts a heap copy of height * lineBytes bytes of
    // `buffer`; the caller keeps its buffer. When the copy cannot be made (null buffer, sizes of
    // 0 or less, or no memory) the engine stays without a source.
    void startLomo(const uint8_t *buffer, int32_t width, int32_t height, int32_t lineBytes);
    // Releases the source and its buffer, if any.
    void finishLomo() { lomoData_.reset(); }

    IILomoData *engineData() const { return lomoData_.get(); }
    IILomoData *lomoData() const { return lomoData_.get(); }
    void setLomoData(std::unique_ptr<IILomoData> data) { lomoData_ = std::move(data); }

    // Applies the effect chain in place to `buffer` (normally a copy of the source). Without a
    // source it changes nothing. Always returns true: a refused saturation only skips that step.
    bool runLomo(uint8_t *buffer, int32_t width, int32_t height, int32_t lineBytes) const;

private:
    std::unique_ptr<IILomoData> lomoData_;
};
