// Bit counts of the aligner's signature maps: the set bits of n bytes, and of the XOR of two
// runs of n bytes. The plain references and versions on the processor's population-count
// instruction, which is not part of the x86-64 baseline and so is taken only where the
// processor reports it.
#pragma once

#include <cstdint>

#include "core/kernel_tiers.h"

int64_t CountBits_C(const uint8_t *bytes, int64_t n);
int64_t CountXorBits_C(const uint8_t *a, const uint8_t *b, int64_t n);
// Fall back to the plain kernels where the instruction cannot be built in.
int64_t CountBits_Popcnt(const uint8_t *bytes, int64_t n);
int64_t CountXorBits_Popcnt(const uint8_t *a, const uint8_t *b, int64_t n);

// The ones PopcntKernelsEnabled() allows.
int64_t CountBits(const uint8_t *bytes, int64_t n);
// The XOR count they allow, chosen once for a loop over many short runs.
using XorBitCountKernel = int64_t (*)(const uint8_t *a, const uint8_t *b, int64_t n);
XorBitCountKernel ChooseCountXorBits();
