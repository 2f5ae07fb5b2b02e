// The tone set-up of a merge: tone length, brightness and tone saturation become the
// contrast, saturation and brightness tables, the base layer, the local gain table and the
// 1/8-scale tone and chroma maps; the 1/8-scale images are released afterwards.
#pragma once

#include <cstdint>

#include "core/engine_types.h"

// Levels: F = 2T - 70 for T >= 36 (else 0); contrast F + 25 with the local curve (F + 5
// without); saturation S + F (S + max(0, T - 60) when the reference and brightest chroma
// differ by 16 or more), at most 100; brightness Br (Br - 5 for T >= 36); gain strength
// T - 10 with a dark share above 15/1024, else dark share x 25 / 16 (T without the local
// curve). With two exposures the compact output geometry of the process rectangle is worked
// out on a private descriptor; the caller's descriptors are only read.
// RESULT_OK, the code of the base layer, gain table or map step (the 1/8-scale images are
// then still held), or RESULT_INVALID_ARGUMENT for a null session, inputs or outputs.
int SetUpToneTables(MemoryContext memory, HdrSession *session, const ImageDesc *inputs,
                    const ImageDesc *outputs);
