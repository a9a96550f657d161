// Runs a computation on every vector level the processor has, the baseline
// first, so that a test can compare the levels' results bit for bit.
#ifndef TEST_LEVELS_UTIL_H
#define TEST_LEVELS_UTIL_H

#include "rhSimd.h"

namespace testlevels {

// run(level) at each level from the baseline to the processor's best; the
// cap in force before is restored however the test ends.
template <class Run>
void OnEveryLevel(Run run) {
    struct Restore {
        simd::Level saved = simd::Cap(simd::kBaseline);
        ~Restore() { simd::Cap(saved); }
    } restore;
    for (int l = simd::kBaseline; l <= simd::Supported(); l++) {
        simd::Cap(static_cast<simd::Level>(l));
        run(static_cast<simd::Level>(l));
    }
}

}  // namespace testlevels

#endif
