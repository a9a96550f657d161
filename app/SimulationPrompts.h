// The prompts the two simulation drivers (the path-model generator, key J,
// and the random data generator for ordinations, key U) ask their questions
// with: the prompt shown at once, the answer read from `in`; and the
// language they speak.
#ifndef SIMULATIONPROMPTS_H
#define SIMULATIONPROMPTS_H

#include <cstdio>
#include <functional>

#include "FtevlanEx.h"    // Keyboard, Initialize
#include "FtevlanGlob.h"  // in, out, port, eng
#include "rhlibDim.h"     // ScanNumber, ScanSize

namespace simulation_prompts {

// A study's own texts exist in English only, and its options file is written
// with English answers (y/n): the shared dialogues it runs (transformation,
// resemblance and ordination menus, bootstrap options) speak English while
// it runs, whatever the preferences say, so that one options file reads the
// same under either language; the language comes back when it ends.
class EnglishRun {
public:
    EnglishRun() : port_(port), eng_(eng) {
        port = 0;
        eng = 1;
        Initialize();
    }
    ~EnglishRun() {
        port = port_;
        eng = eng_;
        Initialize();
    }
    EnglishRun(const EnglishRun&) = delete;
    EnglishRun& operator=(const EnglishRun&) = delete;

private:
    int port_, eng_;
};

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
