// The instruction sets the optimised row kernels are written in, set up in one place: the SSE2
// intrinsics where the build targets them (the x86-64 baseline), and the AVX2 intrinsics
// wherever the compiler can build single functions for AVX2 or the population-count
// instruction by attribute (GCC and Clang on x86-64), whatever processor the build targets.
// Which tier runs is decided at run time (kernel_tiers.h).
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TONEFOLD_HAVE_AVX2_KERNELS 1
#define TONEFOLD_HAVE_POPCNT_KERNELS 1
#endif
