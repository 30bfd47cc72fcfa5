// Marks a plain loop over exact operations (products, sums, selections, bit manipulations)
// to be built for AVX-512, AVX2 and the baseline, the version chosen when the program loads.
// Without contraction into fused multiply-adds every version gives the same bits. Under
// ThreadSanitizer the versions are not built: the loader runs the version choosers before
// the sanitizer's run time has started, and instrumented choosers crash.
#pragma once

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define SEREVAN_VECTOR_KERNEL __attribute__((target_clones("avx512f", "avx2", "default"), optimize("fp-contract=off")))
#else
#define SEREVAN_VECTOR_KERNEL
#endif
