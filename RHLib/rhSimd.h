// Vector instructions beyond the x86-64 baseline (SSE2), chosen once at start
// from what the processor offers. A kernel is compiled for each level from
// one source by target attributes that leave out fused multiply-add, and the
// compiler reorders no floating-point operation (no -ffast-math): a level
// changes the instructions, not one bit of a result. The program stays one
// binary for every x86-64 processor.
#ifndef RHSIMD_H
#define RHSIMD_H

namespace simd {

enum Level { kBaseline = 0, kAvx2 = 1, kAvx512 = 2 };

// The best level the processor (and its operating system) runs.
Level Supported();
// The level kernels use: Supported(), or lower when capped.
Level Active();
// Caps the level of the kernels called afterwards and returns the previous
// cap, so that one machine can compare every level it runs.
Level Cap(Level cap);

// Kernels receive the width of the level's vector registers in doubles.
template <int W>
struct Width {
    static constexpr int value = W;
};

// A kernel passed to Run, and what it calls, must be inlined into the
// level's function (the wider instructions reach only the code compiled
// there): the lambda and those functions are marked SIMD_INLINE.
#define SIMD_INLINE __attribute__((always_inline))

#if defined(__x86_64__) && defined(__GNUC__)
#define SIMD_X86 1
template <class F>
__attribute__((target("avx2,popcnt"))) void RunAvx2(const F& kernel) {
    kernel(Width<4>{});
}
template <class F>
__attribute__((target("avx512f,popcnt"))) void RunAvx512(const F& kernel) {
    kernel(Width<8>{});
}
#endif

// Calls kernel(Width<w>{}) compiled for the active level: a generic lambda
// marked SIMD_INLINE, e.g. simd::Run([&](auto) SIMD_INLINE { ... }).
template <class F>
void Run(const F& kernel) {
#ifdef SIMD_X86
    switch (Active()) {
        case kAvx512:
            RunAvx512(kernel);
            return;
        case kAvx2:
            RunAvx2(kernel);
            return;
        case kBaseline:
            break;
    }
#endif
    kernel(Width<2>{});
}

}  // namespace simd

#endif
