/* Tonefold HDR engine: public interface.
 *
 * Plain C: the application and the tests include it from C and C++ alike.
 * Every function that can fail returns a RESULT_ code, 0 for success. */
#ifndef TONEFOLD_HDR_ENGINE_H
#define TONEFOLD_HDR_ENGINE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Image descriptor exchanged between the application and every engine stage.
 * Absent planes have a null pointer and a pitch of 0. */
typedef struct __tag_QELV_OFFSCREEN {
    uint32_t u32PixelArrayFormat;
    int32_t i32Width;
    int32_t i32Height;
    uint8_t *ppu8Plane[4];
    int32_t pi32Pitch[4];
} __tag_QELV_OFFSCREEN;

/* Pixel format codes with a name; the layout table also accepts the
 * unnamed codes 0x301-0x304, 0x401-0x404, 0x502, 0x504-0x508, 0x605-0x608. */
enum {
    PIXEL_FORMAT_YUYV = 0x501,
    PIXEL_FORMAT_UYVY = 0x503,
    PIXEL_FORMAT_I420 = 0x601,
    PIXEL_FORMAT_YUV440P = 0x602,
    PIXEL_FORMAT_YUV422P = 0x603,
    PIXEL_FORMAT_YUV444P = 0x604,
    PIXEL_FORMAT_GRAY8 = 0x701,
    PIXEL_FORMAT_NV12 = 0x801,
    PIXEL_FORMAT_NV21 = 0x802,
    PIXEL_FORMAT_NV16 = 0x803
};

enum {
    RESULT_OK = 0,
    RESULT_INVALID_ARGUMENT = 2,
    RESULT_UNSUPPORTED_FORMAT = 3,
    RESULT_OUT_OF_MEMORY = 4,
    RESULT_EXCESSIVE_MOTION = 5,
    RESULT_CANCELLED = 6,
    RESULT_ALIGNMENT_FAILED = 23,
    RESULT_EXPOSURE_ORDER = 24
};

/* Layouts of the two-call merge's 16-bit intermediate image (the merge's layout argument).
 * Parity-split: even rows in output descriptor 0, odd rows in descriptor 1, each descriptor
 * of the inputs' format and size. Any other value is the full layout: every row in descriptor
 * 0, whose pitches are at least twice the inputs'. */
enum {
    INTERMEDIATE_LAYOUT_FULL = 0,
    INTERMEDIATE_LAYOUT_PARITY_SPLIT = 2
};

/* A progress callback returning PROGRESS_CANCEL asks the engine to stop. */
enum { PROGRESS_CANCEL = 6 };

/* Header of one block of a memory pool; a context points at the first. */
typedef struct PoolBlockHeader {
    int64_t payloadSize; /* multiple of 8; -1 marks the end sentinel */
    int64_t inUse;       /* 0 free, 1 allocated, -1 sentinel */
} PoolBlockHeader;

/* Null selects the system heap; otherwise a pool over a caller's buffer. */
typedef PoolBlockHeader *MemoryContext;

/* The engine reads the low 32 bits of each slot as a signed integer. */
typedef struct MergeParams {
    int64_t toneLength;
    int64_t brightness;
    int64_t toneSaturation;
} MergeParams;

typedef int64_t (*ProgressCallback)(int64_t percent, int64_t reserved, void *user);

typedef struct HdrSession HdrSession;

int CreateHdrSession(MemoryContext memory, int32_t option, HdrSession **outSession);
int SetGhostSuppressionLevel(int64_t ignored, HdrSession *session, int32_t level);
int SetAuxMode(int64_t ignored, HdrSession *session, int32_t value);
int RunHdrMerge(MemoryContext memory, HdrSession *session, __tag_QELV_OFFSCREEN *inputs,
                int32_t count, __tag_QELV_OFFSCREEN *outputs, int32_t outputIndex,
                const MergeParams *params, int64_t ignored, ProgressCallback progress,
                void *user);
int DestroyHdrSession(MemoryContext memory, HdrSession *session);
int PrepareExposureByIndex(MemoryContext memory, HdrSession *session,
                           __tag_QELV_OFFSCREEN *inputs, int32_t index,
                           ProgressCallback progress, void *user);
int RebuildReferenceFeatures(MemoryContext memory, HdrSession *session,
                             __tag_QELV_OFFSCREEN *smallReference);

/* First call of the two-call merge: fuses three exposures of one format and size (at least
 * 384 x 384) at full resolution, without tone mapping, into the 16-bit intermediate image in
 * the output descriptors, laid out as `layout` says (INTERMEDIATE_LAYOUT_PARITY_SPLIT: the
 * descriptors 0 and 1 of the inputs' format and size; any other value: the full layout in
 * descriptor 0, pitches at least twice the inputs'). The planes must not overlap each other
 * or an input. Reports run from 0 to 49. RESULT_OK; RESULT_INVALID_ARGUMENT or
 * RESULT_UNSUPPORTED_FORMAT (nothing written); RESULT_OUT_OF_MEMORY, RESULT_CANCELLED or an
 * alignment's code. The session keeps what the tone mapping of the intermediate reads. */
int MergeToIntermediate(MemoryContext memory, HdrSession *session,
                        const __tag_QELV_OFFSCREEN *inputs, int64_t ignored0, int32_t count,
                        const __tag_QELV_OFFSCREEN *outputs, int32_t layout, int64_t ignored1,
                        int64_t ignored2, ProgressCallback progress, void *user);

/* Second call of the two-call merge: turns the 16-bit intermediate of the last successful
 * MergeToIntermediate on this session into the 8-bit picture `output` (the inputs' format,
 * size and pitches, not overlapping the intermediate) for a tone length (0..100, else 25) and
 * a brightness (-100..100, else 0). May be called any number of times after one merge.
 * descriptors are the merge's output descriptors and count its exposure count (3).
 * Progress runs from 50 to 100. RESULT_OK, RESULT_INVALID_ARGUMENT, RESULT_UNSUPPORTED_FORMAT,
 * RESULT_OUT_OF_MEMORY or RESULT_CANCELLED. */
int ToneMapIntermediate(MemoryContext memory, HdrSession *session,
                        const __tag_QELV_OFFSCREEN *descriptors, int32_t count,
                        __tag_QELV_OFFSCREEN *output, int32_t toneLength, int32_t brightness,
                        ProgressCallback progress, void *user);

/* Block exposure map of the last successful MergeToIntermediate: per 32 x 32 block, how many
 * stops the fused exposure lies from mid-grey, as smoothed levels 0..254 (127 is 0 stops) in
 * a map bordered by one repeated cell on every side ((blocks across + 2) x (blocks down + 2)
 * bytes into borderedMap), and the stop value of each level for the tone length into
 * stopTable (255 entries). planes are the first planes of the merge's three exposures
 * (indexed as the merge's inputs), of its format, size and pitch. The arguments marked
 * unused are not read. Progress reports 49. RESULT_OK, RESULT_INVALID_ARGUMENT (also for
 * result buffers too small), RESULT_UNSUPPORTED_FORMAT, RESULT_OUT_OF_MEMORY or
 * RESULT_CANCELLED. */
int BuildBlockExposureMap(MemoryContext memory, HdrSession *session, uint8_t *const *planes,
                          int32_t count, int32_t width, int32_t height, int32_t pitch,
                          int32_t unused0, int64_t unused1, int32_t toneLength, int64_t unused2,
                          uint32_t format, ProgressCallback progress, void *user,
                          uint8_t *borderedMap, int64_t borderedMapBytes, double *stopTable,
                          int32_t stopTableEntries);

#ifdef __cplusplus
}
#endif

#endif
