// What the processor can do beyond the build's baseline, for the loops that touch every pixel.
#pragma once

// The widest vector instructions a loop may use, where the processor has them. All give the same
// bytes; the narrower ones are there for processors without the wider, and for the tests.
enum class VectorWidth { none, ssse3, avx2, avx512 };

#if defined(__x86_64__)
// SSSE3 picks bytes within a vector; nearly every x86-64 processor has it. Asked once.
inline bool processorHasSsse3() {
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3"));
    return has;
}

// AVX2 takes twice as many pixels a step; most x86-64 processors made since 2015 have it.
inline bool processorHasAvx2() {
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    return has;
}

// AVX-512 with its byte and word instructions: sixteen 32-bit lanes a vector.
inline bool processorHasAvx512() {
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx512f") &&
                                                       __builtin_cpu_supports("avx512bw"));
    return has;
}
#endif
