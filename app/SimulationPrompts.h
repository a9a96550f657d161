// The prompts the two simulation drivers (the path-model generator, key J,
// and the random data generator for ordinations, key U) ask their questions
// with: the prompt shown at once, the answer read from `in`.
#ifndef SIMULATIONPROMPTS_H
#define SIMULATIONPROMPTS_H

#include <cstdio>
#include <functional>

#include "FtevlanEx.h"    // Keyboard
#include "FtevlanGlob.h"  // in, out
#include "rhlibDim.h"     // ScanNumber, ScanSize

namespace simulation_prompts {

inline void Ask(const char* prompt) {
    fprintf(out, "%s", prompt);
    fflush(out);
}

inline int AskWhole(const char* prompt, double lowest, double highest) {
    Ask(prompt);
    return static_cast<int>(ScanNumber(in, Keyboard(), "-", lowest, highest));
}

// A size whose answer x makes the run allocate at least bytes(x): one beyond
// memory is refused with the range that fits and asked again.
inline int AskSize(const char* prompt, double lowest, double highest, const std::function<double(double)>& bytes) {
    Ask(prompt);
    return static_cast<int>(ScanSize(in, Keyboard(), lowest, highest, bytes));
}

}  // namespace simulation_prompts

#endif
