#include "IHDREngine.h"

#include "CBYUVRGB.h"

namespace {

// The merge reports nothing to the user and is never cancelled.
int64_t IgnoreProgress(int64_t, int64_t, void *) { return 0; }

// Each record's descriptor and a copy of its pixels in a block of the backup's own.
class RecordBackup {
public:
    ~RecordBackup() {
        for (__tag_QELV_OFFSCREEN &copy : copies_) CBYUVRGB::releaseOffscreen(&copy);
    }

    // False, keeping nothing, when a copy cannot be made.
    bool save(const HdrInputRecords &records, Allocator allocate) {
        saved_ = records;
        for (size_t i = 0; i < records.size(); ++i) {
            copies_[i] = records[i];
            if (!CBYUVRGB::allocOffscreen(&copies_[i], allocate) ||
                !CBYUVRGB::copyOffscreen(&records[i], &copies_[i]))
                return false;
        }
        return true;
    }

    // Puts every descriptor back as it was and copies the saved pixels into its block.
    void restore(HdrInputRecords &records) const {
        for (size_t i = 0; i < records.size(); ++i) {
            records[i] = saved_[i];
            CBYUVRGB::copyOffscreen(&copies_[i], &records[i]);
        }
    }

private:
    HdrInputRecords saved_{};
    HdrInputRecords copies_{};
};

}  // namespace

int IHDREngine::run(HdrInputRecords &records, int64_t toneLength, int64_t birghtness,
                    int64_t toneSaturation, int32_t ghostSuppressionLevel,
                    const Handler &handler) const {
    for (const __tag_QELV_OFFSCREEN &record : records)
        if (!record.ppu8Plane[0]) return RESULT_INVALID_ARGUMENT;
    HdrSession *session = nullptr;
    int result = api_.createSession(nullptr, 0, &session);
    if (result != RESULT_OK || !session) {
        if (session) api_.destroySession(nullptr, session);
        return result != RESULT_OK ? result : RESULT_OUT_OF_MEMORY;
    }
    {
        RecordBackup backup;
        if (!backup.save(records, allocate_)) {
            result = RESULT_OUT_OF_MEMORY;
        } else {
            const MergeParams params{toneLength, birghtness, toneSaturation};
            api_.setGhostSuppressionLevel(0, session, ghostSuppressionLevel);
            result = api_.runMerge(nullptr, session, records.data(), 3, records.data(), 2, &params,
                                   0, IgnoreProgress, nullptr);
            if (result == RESULT_OK) {
                // The merged picture is in record 2; read it back before the inputs return.
                const FreeBuffer bgrx = CBYUVRGB::bgraData(&records[2], allocate_);
                if (!bgrx)
                    result = RESULT_OUT_OF_MEMORY;
                else if (handler)
                    handler(bgrx.get(), records[2].i32Width, records[2].i32Height, 0);
            }
            backup.restore(records);
        }
    }
    api_.destroySession(nullptr, session);
    return result;
}
