#include "IHDREngineController.h"

#include <libyuv/convert_from_argb.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <thread>

#include "CBImageSource.h"
#include "CBYUVRGB.h"
#include "row_bands.h"

namespace {

// Pictures of fewer rows than this get their effect on the calling thread alone.
constexpr int64_t kEffectRowsPerBand = 256;

}  // namespace

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
    // Every block is had first; a record whose block could not be had is never filled.
    for (int i = 0; i < 3; ++i) {
        const CBImageSource *photo = photos[i];
        bool allocated = false;
        if (photo) {
            const QSizeF size = photo->imageSize(photo->orientation());
            const int64_t width = (static_cast<int64_t>(size.width()) + 3) / 4 * 4;
            const int64_t height = static_cast<int64_t>(size.height());
            allocated = initOffscreen(width, height, &made[i]);
        }
        if (!allocated) {
            releaseRecords(made);
            return false;
        }
    }
    // The three photos are drawn upright into their records side by side.
    std::atomic<bool> filled{true};
    const auto fill = [&](int i) {
        if (!photos[i]->image(photos[i]->orientation(), &made[i])) filled = false;
    };
    std::thread second(fill, 1), third(fill, 2);
    fill(0);
    second.join();
    third.join();
    if (!filled) {
        releaseRecords(made);
        return false;
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
        [&](FreeBuffer bgr, int64_t width, int64_t height, int64_t) {
            merged = finishMerge(std::move(bgr), width, height, newSet, handler);
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

bool IHDREngineController::finishMerge(FreeBuffer bgr, int64_t width, int64_t height,
                                       bool newSet, const PictureHandler &handler) {
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
        copy = AllocateBuffer(allocate_, size_t(lineBytes) * size_t(height));
    }
    lomoEngine_.isKeepLomoLensLumonisity = true;
    lomoEngine_.lomoLensOpacity = lomoLensOpacity;
    lomoEngine_.lomoLensColor = lomoLensColor;
    lomoEngine_.lomoStyle = lomoStyle;
    lomoEngine_.lomoSaturation = lomoSaturation;
    lomoEngine_.lomoContrast = lomoContrast;
    if (copy) runEffectOnCopy(*source, copy.get());
    const bool produced = copy != nullptr;
    if (!produced) width = height = 0;
    if (handler) handler(std::move(copy), width, height, 0);
    return produced;
}

void IHDREngineController::runEffectOnCopy(const IILomoData &source, uint8_t *copy) const {
    const int32_t width = source.imageWidth(), height = source.imageHeight();
    const int64_t lineBytes = source.imageLineBytes();
    const uint8_t *from = source.imageData();
    // Every step of the chain but the vignette works on each pixel alone, so bands of rows,
    // each copied and then changed while it is still in the cache, give the whole picture's
    // bytes. The vignette depends on where a row lies in the whole picture: it runs whole.
    const bool byRows = lomoEngine_.lomoVignetting <= 0;
    ForEachRowBand(height, byRows ? kEffectRowsPerBand : height, 1, [&](int64_t y0, int64_t y1) {
        std::memcpy(copy + y0 * lineBytes, from + y0 * lineBytes,
                    static_cast<size_t>((y1 - y0) * lineBytes));
        lomoEngine_.runLomo(copy + y0 * lineBytes, width, static_cast<int32_t>(y1 - y0),
                            static_cast<int32_t>(lineBytes));
    });
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
