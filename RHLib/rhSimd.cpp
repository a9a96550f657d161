#include "rhSimd.h"

#include <atomic>

namespace simd {

namespace {

Level Detect() {
#ifdef SIMD_X86
    __builtin_cpu_init();
    // The levels' targets add the population count, which every processor
    // with these registers has; it is asked all the same.
    if (!__builtin_cpu_supports("popcnt")) return kBaseline;
    if (__builtin_cpu_supports("avx512f")) return kAvx512;
    if (__builtin_cpu_supports("avx2")) return kAvx2;
#endif
    return kBaseline;
}

std::atomic<int> cap{kAvx512};

}  // namespace

Level Supported() {
    static const Level level = Detect();
    return level;
}

Level Active() {
    const int c = cap.load(std::memory_order_relaxed);
    const Level s = Supported();
    return c < s ? static_cast<Level>(c) : s;
}

Level Cap(Level level) { return static_cast<Level>(cap.exchange(level)); }

}  // namespace simd
