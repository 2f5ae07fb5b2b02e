// Tone mapping of the two-call merge's 16-bit intermediate into an 8-bit picture. The tables
// are rebuilt from the tone length and brightness of each call; the tone table is put back as
// it was found, so any number of calls may follow one merge.
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "core/session.h"

// The four values a tone length T gives: contrast level, start of the brightness curve,
// local gain strength and saturation level.
struct ToneMapLevels {
    int32_t contrast;
    int32_t brightnessStart;
    int32_t gainStrength;
    int32_t saturation;
};
ToneMapLevels DeriveToneMapLevels(const HdrSession *session, int32_t toneLength);

// Tone length and brightness under the rule of the merge parameters: outside 0..100 the
// default 25, outside -100..100 the default 0.
int32_t SanitizeToneLength(int64_t toneLength);
int32_t SanitizeBrightness(int64_t brightness);

// The part of the output the tone mapping renders: the merge's process rectangle, at the
// output's top left.
struct ToneRenderSize {
    int32_t width;
    int32_t height;
};
ToneRenderSize ToneMapRenderSize(const HdrSession *session);

// Tables from T and Br, sizes, gain-row buffers, the coarse gain grid and the gain table.
// RESULT_OK, RESULT_OUT_OF_MEMORY. Arguments must have been checked.
int PrepareIntermediateToneMapping(MemoryContext memory, HdrSession *session,
                                   const ImageDesc *descriptors, int32_t count, ImageDesc *output,
                                   int32_t toneLength, int32_t brightness,
                                   ProgressCallback progress, void *user);
// Per-format preparation: gain-row buffers, gain grid, gain table of the given strength.
int PrepareToneMappingPacked422(MemoryContext memory, HdrSession *session, int32_t width,
                                int32_t height, int32_t strength);
int PrepareToneMappingSemiPlanar420(MemoryContext memory, HdrSession *session, int32_t width,
                                    int32_t height, int32_t strength);
int PrepareToneMappingSemiPlanar422(MemoryContext memory, HdrSession *session, int32_t width,
                                    int32_t height, int32_t strength);
int PrepareToneMappingPlanar420(MemoryContext memory, HdrSession *session, int32_t width,
                                int32_t height, int32_t strength);
int PrepareToneMappingPlanar422(MemoryContext memory, HdrSession *session, int32_t width,
                                int32_t height, int32_t strength);

// The (width / 8) x (height / 8) grid of local log statistics of the intermediate's luma,
// installed as gainGrid (the old one stays on failure). format is the code the cells are
// sampled for: 0x501 or any other. RESULT_OK or RESULT_OUT_OF_MEMORY.
int BuildIntermediateGainGrid(MemoryContext memory, HdrSession *session, int32_t width,
                              int32_t height, uint32_t format);

// Top rows (no progress reports) and bottom rows (progress, cancel) of the output.
int ApplyToneMappingTop(MemoryContext memory, HdrSession *session, const ImageDesc *descriptors,
                        int32_t count, ImageDesc *output, int32_t toneLength, int32_t brightness,
                        ProgressCallback progress, void *user);
int ApplyToneMappingBottom(MemoryContext memory, HdrSession *session,
                           const ImageDesc *descriptors, int32_t count, ImageDesc *output,
                           int32_t toneLength, int32_t brightness, ProgressCallback progress,
                           void *user);

// The argument bundle of the top pass on a second thread; result receives its code.
struct ToneMapHalfArgs {
    MemoryContext memory;
    HdrSession *session;
    const ImageDesc *descriptors;
    int64_t unused0;
    ImageDesc *output;
    int64_t unused1;
    int64_t result;
    void *user;
};
void *ToneMapTopHalfWorker(void *bundle);
// The top pass for running beside the bottom pass: it stops where the bottom pass starts
// (planar 4:2:2's top range reaches past it), so the two never write the same row and the
// output matches the two passes in sequence. Same result codes as the top pass.
int ApplyToneMappingTopBesideBottom(HdrSession *session, const ImageDesc *output, void *user);
void *ToneMapTopBesideBottomWorker(void *bundle);

// Per-format passes over output rows [start, end): the gain-row buffer slot, the row bound
// below which odd rows load the next grid row, and whether the pass reports progress.
enum TonePassKind { kTonePassTop = 0, kTonePassBottom = 1, kTonePassWhole = 2 };
int ToneMapTopRowsPacked422(HdrSession *session, const ImageDesc *output,
                            ProgressCallback progress, void *user);
int ToneMapBottomRowsPacked422(HdrSession *session, const ImageDesc *output,
                               ProgressCallback progress, void *user);
int ToneMapTopRowsSemiPlanar420(HdrSession *session, const ImageDesc *output,
                                ProgressCallback progress, void *user);
int ToneMapBottomRowsSemiPlanar420(HdrSession *session, const ImageDesc *output,
                                   ProgressCallback progress, void *user);
int ToneMapTopRowsSemiPlanar422(HdrSession *session, const ImageDesc *output,
                                ProgressCallback progress, void *user);
int ToneMapBottomRowsSemiPlanar422(HdrSession *session, const ImageDesc *output,
                                   ProgressCallback progress, void *user);
int ToneMapTopRowsPlanar420(HdrSession *session, const ImageDesc *output,
                            ProgressCallback progress, void *user);
int ToneMapBottomRowsPlanar420(HdrSession *session, const ImageDesc *output,
                               ProgressCallback progress, void *user);
int ToneMapTopRowsPlanar422(HdrSession *session, const ImageDesc *output,
                            ProgressCallback progress, void *user);
int ToneMapBottomRowsPlanar422(HdrSession *session, const ImageDesc *output,
                               ProgressCallback progress, void *user);

// One-pass variants: preparation and all rows in one call, with the given gain strength.
int ToneMapImagePacked422(MemoryContext memory, HdrSession *session, ImageDesc *output,
                          int32_t strength, ProgressCallback progress, void *user);
int ToneMapImageSemiPlanar420(MemoryContext memory, HdrSession *session, ImageDesc *output,
                              int32_t strength, ProgressCallback progress, void *user);
int ToneMapImagePlanar420(MemoryContext memory, HdrSession *session, ImageDesc *output,
                          int32_t strength, ProgressCallback progress, void *user);

// Copies the last rendered column group and row of the process rectangle into the rest of
// the output, so every byte of the output is written.
void ReplicateToneMapMargins(const HdrSession *session, const ImageDesc *output);

// The tone mapping after its arguments were checked: preparation, both passes (the top one
// on a second thread when asked, stopping where the bottom one starts), the restore of the tone table and
// the final report. RESULT_OK, RESULT_OUT_OF_MEMORY, RESULT_CANCELLED.
int RunToneMapIntermediate(MemoryContext memory, HdrSession *session,
                           const ImageDesc *descriptors, int32_t count, ImageDesc *output,
                           int32_t toneLength, int32_t brightness, ProgressCallback progress,
                           void *user, bool topOnSecondThread);
