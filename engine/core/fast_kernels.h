// Choice between the optimised row kernels and their plain references. The optimised ones
// give the same bytes; the plain ones stay the reference the tests hold them to, and setting
// TONEFOLD_PLAIN_KERNELS=1 in the environment runs a whole merge on them alone.
#pragma once

// True when the processor has the optimised kernels' instructions (SSE2 on x86-64) and the
// environment does not ask for the plain ones. Decided once per process.
bool FastKernelsEnabled();
