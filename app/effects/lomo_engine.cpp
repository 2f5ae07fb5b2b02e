#include "effects/lomo_engine.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "effects/lomo_kernels.h"

IILomoData::~IILomoData() { std::free(imageData_); }

void IILomoEngine::defaultSettings() {
    lomoStyle = LomoStyleNone;
    lomoLensColor = {255, 255, 255};
    lomoLensOpacity = 50;
    isKeepLomoLensLumonisity = true;
    lomoContrast = 0;
    lomoSaturation = 0;
    lomoVignetting = 0;
}

void IILomoEngine::startLomoNoCopy(uint8_t *buffer, int32_t width, int32_t height,
                                   int32_t lineBytes) {
    finishLomo();
    if (buffer) lomoData_ = std::make_unique<IILomoData>(buffer, width, height, lineBytes);
}

void IILomoEngine::startLomo(const uint8_t *buffer, int32_t width, int32_t height,
                             int32_t lineBytes) {
    finishLomo();
    if (!buffer || height <= 0 || lineBytes <= 0) return;
    const size_t bytes = static_cast<size_t>(height) * static_cast<size_t>(lineBytes);
    auto *copy = static_cast<uint8_t *>(std::malloc(bytes));
    if (!copy) return;
    std::memcpy(copy, buffer, bytes);
    lomoData_ = std::make_unique<IILomoData>(copy, width, height, lineBytes);
}

namespace {

uint8_t LensByte(int32_t v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

}  // namespace

bool IILomoEngine::runLomo(uint8_t *buffer, int32_t width, int32_t height,
                           int32_t lineBytes) const {
    if (!lomoData_) return true;
    // A saturation outside -100..100 is refused by the kernel after its contrast step; the chain
    // goes on regardless.
    LomoContrastSaturation(buffer, width, height, lineBytes, lomoContrast, lomoSaturation);
    if (lomoStyle == LomoStyleGrayscale)
        LomoGrayscale(buffer, width, height, lineBytes);
    else if (lomoStyle == LomoStyleColorLook)
        LomoColorLook(buffer, width, height, lineBytes);
    const uint8_t lensR = LensByte(lomoLensColor.lensR);
    const uint8_t lensG = LensByte(lomoLensColor.lensG);
    const uint8_t lensB = LensByte(lomoLensColor.lensB);
    if (lensR != 255 || lensG != 255 || lensB != 255)
        LomoLensTint(buffer, width, height, lineBytes, lensR, lensG, lensB, lomoLensOpacity,
                     isKeepLomoLensLumonisity ? 1 : 0);
    if (lomoVignetting > 0) LomoVignette(buffer, width, height, lineBytes, lomoVignetting);
    return true;
}
