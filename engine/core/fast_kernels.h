// Choice between the optimised row kernels and their plain references. The optimised ones
// give the same bytes; the plain ones stay the reference the tests hold them to, and setting
// TONEFOLD_PLAIN_KERNELS=1 in the environment runs a whole merge on them alone.
#pragma once

// True when the processor has the optimised kernels' instructions (SSE2 on x86-64) and the
// environment does not ask for the plain ones. Decided once per process.
bool FastKernelsEnabled();

// True when the fast kernels are enabled and the processor running this process has AVX2:
// one binary carries the wider kernels and takes them only where they run.
bool Avx2KernelsEnabled();

// Whether this processor can run the AVX2 kernels at all, whatever the environment asks; the
// tests hold those kernels to their references wherever they can run.
bool ProcessorHasAvx2();
