// The tiers of the row kernels and the choice between them. Every optimised kernel is named for
// the tier it is dispatched as and sits beside its plain reference:
//   _C     the plain reference, which the tests hold every other tier to bit for bit;
//   _SSE2  the x86-64 baseline: SSE2 intrinsics, or plain C++ written so that the compiler
//          vectorises it with the baseline instructions (the engine is built without -march, so
//          such a kernel needs nothing beyond SSE2 and runs wherever the tier is taken);
//   _AVX2  built for AVX2 by function attribute, taken only where the processor has it.
// The bit counts of the aligner add _Popcnt, on the population-count instruction, which is
// outside the baseline and checked on its own (PopcntKernelsEnabled()).
// A dispatcher takes the AVX2 kernel when Avx2KernelsEnabled(), else the SSE2 one when
// Sse2KernelsEnabled(), else the plain one. The tiers give the same bytes; setting
// TONEFOLD_PLAIN_KERNELS=1 in the environment runs a whole merge on the plain ones alone.
#pragma once

// True when the processor has the baseline tier's instructions (SSE2 on x86-64) and the
// environment does not ask for the plain kernels. Decided once per process.
bool Sse2KernelsEnabled();

// True when the SSE2 tier is enabled and the processor running this process has AVX2: one
// binary carries the wider kernels and takes them only where they run.
bool Avx2KernelsEnabled();

// Whether this processor can run the AVX2 kernels at all, whatever the environment asks; the
// tests hold those kernels to their references wherever they can run.
bool ProcessorHasAvx2();

// The population-count instruction is not part of the x86-64 baseline: the kernels built on it
// are taken when the SSE2 tier is enabled and the processor reports the instruction.
bool PopcntKernelsEnabled();
// Whether this processor has the instruction at all, whatever the environment asks.
bool ProcessorHasPopcnt();
