#include "IHDREngineController.h"

#include <libyuv/convert_from_argb.h>

#include <climits>
#include <cstring>

#include "CBImageSource.h"
#include "CBYUVRGB.h"

IHDREngineController::IHDREngineController(HdrEngineApi api, Allocator allocate)
    : meEngine_(api, allocate), allocate_(allocate) {}

IHDREngineController::~IHDREngineController() {
    lomoEngine_.finishLomo();
    releaseOffscreen();
}

void IHDREngineController::releaseRecords(HdrInputRecords &records) {
    for (__tag_QELV_OFFSCREEN &record : records) CBYUVRGB::releaseOffscreen(&record);
    records = {};
}

void IHDREngineController::releaseOffscreen() {
    releaseRecords(inputOffscreen_);
    releaseRecords(pendingOffscreen_);
    hasPending_ = false;
}

bool IHDREngineController::initOffscreen(int64_t width, int64_t height,
                                         __tag_QELV_OFFSCREEN *offscreen) const {
    if (!offscreen) return false;
    *offscreen = {};
    if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX) return false;
    offscreen->u32PixelArrayFormat = PIXEL_FORMAT_YUYV;
    offscreen->i32Width = static_cast<int32_t>(width);
    offscreen->i32Height = static_cast<int32_t>(height);
    return CBYUVRGB::allocOffscreen(offscreen, allocate_);
}

bool IHDREngineController::convertImages(const QList<const CBImageSource *> &photos) {
    releaseRecords(pendingOffscreen_);
    hasPending_ = false;
    if (photos.size() != 3) return false;
    HdrInputRecords made{};
    for (int i = 0; i < 3; ++i) {
        const CBImageSource *photo = photos[i];
        bool filled = false;
        if (photo) {
            const int orientation = photo->orientation();
            const QSizeF size = photo->imageSize(orientation);
            const int64_t width = (static_cast<int64_t>(size.width()) + 3) / 4 * 4;
            const int64_t height = static_cast<int64_t>(size.height());
            // A record whose block could not be had is never filled.
            filled = initOffscreen(width, height, &made[i]) && photo->image(orientation, &made[i]);
        }
        if (!filled) {
            releaseRecords(made);
            return false;
        }
    }
    pendingOffscreen_ = made;
    hasPending_ = true;
    return true;
}

int IHDREngineController::run(int64_t toneLength, int64_t birghtness, int64_t toneSaturation,
                              int32_t ghostSuppressionLevel, const PictureHandler &handler) {
    toneLength_ = toneLength;
    brightness_ = birghtness;
    toneSaturation_ = toneSaturation;
    ghostSuppressionLevel_ = ghostSuppressionLevel;
    const bool newSet = hasPending_;
    HdrInputRecords &records = newSet ? pendingOffscreen_ : inputOffscreen_;
    bool merged = false;
    int result = meEngine_.run(
        records, toneLength, birghtness, toneSaturation, ghostSuppressionLevel,
        [&](const uint8_t *bgrx, int64_t width, int64_t height, int64_t) {
            merged = finishMerge(bgrx, width, height, newSet, handler);
        });
    if (result == RESULT_OK && !merged) result = RESULT_OUT_OF_MEMORY;
    if (newSet) {
        // A new set takes the place of the current one only once it has given a picture.
        if (merged) {
            releaseRecords(inputOffscreen_);
            inputOffscreen_ = pendingOffscreen_;
            pendingOffscreen_ = {};
        } else {
            releaseRecords(pendingOffscreen_);
        }
        hasPending_ = false;
    }
    return result;
}

bool IHDREngineController::finishMerge(const uint8_t *bgrx, int64_t width, int64_t height,
                                       bool newSet, const PictureHandler &handler) {
    FreeBuffer bgr = bgra2bgr(bgrx, width, height, (32 * width + 31) / 32 * 4, allocate_);
    if (!bgr) return false;
    if (newSet) {
        lomoEngine_.finishLomo();
        lomoEngine_.defaultSettings();
    }
    // The effect engine keeps the unaffected picture as the source of every later effect run.
    lomoEngine_.startLomoNoCopy(bgr.release(), static_cast<int32_t>(width),
                                static_cast<int32_t>(height),
                                static_cast<int32_t>((3 * width + 3) / 4 * 4));
    const IILomoEngine &lomo = lomoEngine_;
    run(lomo.lomoStyle, lomo.lomoLensColor, lomo.lomoLensOpacity, lomo.lomoContrast,
        lomo.lomoSaturation, handler);
    return true;
}

bool IHDREngineController::run(int32_t lomoStyle, LomoLensRGB lomoLensColor,
                               int32_t lomoLensOpacity, int32_t lomoContrast,
                               int32_t lomoSaturation, const PictureHandler &handler) {
    const IILomoData *source = lomoEngine_.engineData();
    FreeBuffer copy;
    int32_t width = 0, height = 0, lineBytes = 0;
    if (source && source->imageData() && source->imageHeight() > 0 &&
        source->imageLineBytes() > 0) {
        width = source->imageWidth();
        height = source->imageHeight();
        lineBytes = source->imageLineBytes();
        const size_t bytes = size_t(lineBytes) * size_t(height);
        copy = AllocateBuffer(allocate_, bytes);
        if (copy) std::memcpy(copy.get(), source->imageData(), bytes);
    }
    lomoEngine_.isKeepLomoLensLumonisity = true;
    lomoEngine_.lomoLensOpacity = lomoLensOpacity;
    lomoEngine_.lomoLensColor = lomoLensColor;
    lomoEngine_.lomoStyle = lomoStyle;
    lomoEngine_.lomoSaturation = lomoSaturation;
    lomoEngine_.lomoContrast = lomoContrast;
    if (copy) lomoEngine_.runLomo(copy.get(), width, height, lineBytes);
    const bool produced = copy != nullptr;
    if (!produced) width = height = 0;
    if (handler) handler(std::move(copy), width, height, 0);
    return produced;
}

FreeBuffer IHDREngineController::bgra2bgr(const uint8_t *bgrx, int64_t width, int64_t height,
                                          int64_t lineBytes, Allocator allocate) {
    if (!bgrx || width <= 0 || height <= 0 || width > INT_MAX / 4 || height > INT_MAX ||
        lineBytes < 4 * width || lineBytes > INT_MAX)
        return nullptr;
    const int64_t bgrLine = CBYUVRGB::bgrLineBytes(width);
    FreeBuffer bgr = AllocateBuffer(allocate, static_cast<size_t>(bgrLine * height));
    if (!bgr) return nullptr;
    // Writes 3 * width bytes of each row, so the row tails keep what the allocation gave.
    libyuv::ARGBToRGB24(bgrx, static_cast<int>(lineBytes), bgr.get(), static_cast<int>(bgrLine),
                        static_cast<int>(width), static_cast<int>(height));
    return bgr;
}
