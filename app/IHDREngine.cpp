#include "IHDREngine.h"

#include <malloc.h>

#include <atomic>
#include <thread>

#include "CBYUVRGB.h"

namespace {

// The merge reports nothing to the user and is never cancelled.
int64_t IgnoreProgress(int64_t, int64_t, void *) { return 0; }

// Copies of the three records, each in a block of its own. The engine merges in the copies and
// writes its picture into the third, so the caller's records are never written: they come out
// of every run exactly as they went in, and no copying back is needed.
class WorkingCopies {
public:
    // False when a copy cannot be made; the copies made so far are released with the object.
    // The blocks are all had first, then the three records are copied side by side.
    bool make(const HdrInputRecords &inputs, Allocator allocate) {
        for (size_t i = 0; i < inputs.size(); ++i) {
            records[i] = inputs[i];
            const bool allocated = CBYUVRGB::allocOffscreen(&records[i], allocate);
            // The blocks are kept apart from the descriptors that the engine is given.
            blocks_[i].reset(records[i].ppu8Plane[0]);
            if (!allocated) return false;
        }
        std::atomic<bool> copied{true};
        std::thread second([&] {
            if (!CBYUVRGB::copyOffscreen(&inputs[1], &records[1])) copied = false;
        });
        std::thread third([&] {
            if (!CBYUVRGB::copyOffscreen(&inputs[2], &records[2])) copied = false;
        });
        if (!CBYUVRGB::copyOffscreen(&inputs[0], &records[0])) copied = false;
        second.join();
        third.join();
        return copied;
    }

    HdrInputRecords records{};

private:
    FreeBuffer blocks_[3];
};

}  // namespace

int IHDREngine::run(const HdrInputRecords &records, int64_t toneLength, int64_t birghtness,
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
    // The picture is read back, then the copies and the session go before the handler runs:
    // the handler's own buffers need not share the memory with them.
    FreeBuffer bgr;
    int64_t width = 0, height = 0;
    {
        WorkingCopies work;
        if (!work.make(records, allocate_)) {
            result = RESULT_OUT_OF_MEMORY;
        } else {
            const MergeParams params{toneLength, birghtness, toneSaturation};
            api_.setGhostSuppressionLevel(0, session, ghostSuppressionLevel);
            result = api_.runMerge(nullptr, session, work.records.data(), 3, work.records.data(),
                                   2, &params, 0, IgnoreProgress, nullptr);
            if (result == RESULT_OK) {
                const __tag_QELV_OFFSCREEN &merged = work.records[2];
                bgr = CBYUVRGB::bgrData(&merged, allocate_);
                width = merged.i32Width;
                height = merged.i32Height;
                if (!bgr) result = RESULT_OUT_OF_MEMORY;
            }
        }
    }
    api_.destroySession(nullptr, session);
    // The merge's blocks were freed in the middle of the heap, where the allocator would keep
    // them resident for good; they go back to the system while the picture is shown.
    malloc_trim(0);
    if (result == RESULT_OK && handler) handler(std::move(bgr), width, height, 0);
    return result;
}
