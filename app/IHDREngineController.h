// The application's engine bridge: owns the three input records, the four engine parameters,
// one IHDREngine and one art effect engine, and runs the merge (with the effect on top) and the
// effect alone. Used by one background job at a time; nothing here is locked.
#pragma once

#include <QList>
#include <array>
#include <cstdint>
#include <functional>

#include "IHDREngine.h"
#include "effects/lomo_engine.h"
#include "free_buffer.h"
#include "hdr_engine.h"

class CBImageSource;

class IHDREngineController {
public:
    // Receives a finished picture as B,G,R rows of CBYUVRGB::bgrLineBytes(width) bytes; the
    // buffer belongs to the handler from the call on, and is null (with width and height 0)
    // only from an effect re-run that had no picture or no memory. The last argument is 0.
    using PictureHandler =
        std::function<void(FreeBuffer bgr, int64_t width, int64_t height, int64_t reserved)>;

    explicit IHDREngineController(HdrEngineApi api = {}, Allocator allocate = nullptr);
    ~IHDREngineController();
    IHDREngineController(const IHDREngineController &) = delete;
    IHDREngineController &operator=(const IHDREngineController &) = delete;

    // Makes records of three loaded photos beside the current ones: each record is as high as
    // the upright photo and as wide rounded up to a multiple of 4. The new set replaces the
    // current one, and the effect settings return to their defaults, only when its first merge
    // succeeds; until then the current records and the effect engine stay as they are. False,
    // keeping nothing of the new set, unless there are three photos whose records could all be
    // made and filled.
    bool convertImages(const QList<const CBImageSource *> &photos);
    // Sets a record up as PIXEL_FORMAT_YUYV of the size and gives it its block; false when the
    // block cannot be had (plane 0 then null).
    bool initOffscreen(int64_t width, int64_t height, __tag_QELV_OFFSCREEN *offscreen) const;
    // Releases the blocks of the current records (and of a set not yet merged) and zero-fills
    // the records.
    void releaseOffscreen();

    // The merge: stores the four values as the engine parameters, merges the new set when one
    // waits for its first merge (else the current records), hands the merged picture to the
    // effect engine as its new source and calls handler with the effect's result under the
    // effect settings in force. No handler call when the merge fails; the inputs are intact
    // afterwards in every case. Returns the run's result code.
    int run(int64_t toneLength, int64_t birghtness, int64_t toneSaturation,
            int32_t ghostSuppressionLevel, const PictureHandler &handler);
    // The effect alone on a copy of the last merged picture, with these settings (the lens tint
    // keeps luminosity). Always calls handler; false when it got no picture.
    bool run(int32_t lomoStyle, LomoLensRGB lomoLensColor, int32_t lomoLensOpacity,
             int32_t lomoContrast, int32_t lomoSaturation, const PictureHandler &handler);

    // B,G,R rows of CBYUVRGB::bgrLineBytes(width) bytes from B,G,R,X rows of lineBytes bytes:
    // the first three bytes of each pixel; the row tails are left as allocated. Null for bad
    // arguments or a failed allocation.
    static FreeBuffer bgra2bgr(const uint8_t *bgrx, int64_t width, int64_t height,
                               int64_t lineBytes, Allocator allocate = nullptr);

    // Progress, completion and failure notices of a run. The merge reports through the
    // engine's own callback and its result, so these do nothing.
    void runProgress(int64_t percent, bool *isCancel) const {
        (void)percent;
        (void)isCancel;
    }
    void runFinished(int result) const { (void)result; }
    void runFailed(int result) const { (void)result; }

    const IHDREngine &meEngine() const { return meEngine_; }
    IILomoEngine &lomoEngine() { return lomoEngine_; }
    const IILomoEngine &lomoEngine() const { return lomoEngine_; }
    const HdrInputRecords &inputOffscreen() const { return inputOffscreen_; }
    bool hasPendingImages() const { return hasPending_; }

    int64_t toneLength() const { return toneLength_; }
    int64_t toneSaturation() const { return toneSaturation_; }
    int64_t brightness() const { return brightness_; }
    int32_t ghostSuppressionLevel() const { return ghostSuppressionLevel_; }
    void setToneLength(int64_t value) { toneLength_ = value; }
    void setToneSaturation(int64_t value) { toneSaturation_ = value; }
    void setBrightness(int64_t value) { brightness_ = value; }
    void setGhostSuppressionLevel(int32_t value) { ghostSuppressionLevel_ = value; }

private:
    // The merge's own handler: the merged B,G,R rows become the effect engine's source, then
    // the effect run.
    bool finishMerge(FreeBuffer bgr, int64_t width, int64_t height, bool newSet,
                     const PictureHandler &handler);
    // Copies the effect's source into copy (a block of its size) and applies the effect chain
    // under the settings in force.
    void runEffectOnCopy(const IILomoData &source, uint8_t *copy) const;
    static void releaseRecords(HdrInputRecords &records);

    HdrInputRecords inputOffscreen_{};
    HdrInputRecords pendingOffscreen_{};
    bool hasPending_ = false;
    int32_t ghostSuppressionLevel_ = 6;
    IHDREngine meEngine_;
    IILomoEngine lomoEngine_;
    Allocator allocate_;
    int64_t toneLength_ = 45;
    int64_t toneSaturation_ = 40;
    int64_t brightness_ = 10;
};
