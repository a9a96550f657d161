// What the samplers' source files share and no caller outside them needs:
// the language of their texts, the questions of their dialogue, a run's
// options, and the opening lines of their reports.
#ifndef SAMPLERM_INTERNAL_H
#define SAMPLERM_INTERNAL_H

#include <cstdio>

#include "FtevlanGlob.h"
#include "FtevlanRn.h"
#include "iflibG.h"
#include "rhlibDim.h"

namespace sampler_detail {

const char* const kSource = "keyboard";
// The samplers' reports are framed by a shorter separator than the other
// analyses' `line`.
const char* const kDashes = "-----------------------------------------------------------------";

inline const char* Text(const char* english, const char* portuguese) { return eng ? english : portuguese; }

// ---------------------------------------------------------------------------
// Dialogue
// ---------------------------------------------------------------------------

// A prompt is flushed before its answer is read, so that it shows in full.
inline void Prompt(const char* english, const char* portuguese) {
    fprintf(out, "%s", Text(english, portuguese));
    fflush(out);
}

inline int AskWhole(const char* english, const char* portuguese, double lowest, double highest) {
    Prompt(english, portuguese);
    return static_cast<int>(ScanNumber(in, kSource, "-", lowest, highest));
}

// ---------------------------------------------------------------------------
// One run's options
// ---------------------------------------------------------------------------

struct RunOptions {
    int n = 0, p = 0;
    int initial = 0, step = 0, iterations = 0, save = 'n';
    unsigned int seed = 0;
    double alpha = 0;
    int steps = 0, m = 0;
    int* sizes = nullptr;  // steps sizes
    int* taken = nullptr;  // indices of the variables taken, nTaken of them
    int nTaken = 0;
};

// ---------------------------------------------------------------------------
// Report
// ---------------------------------------------------------------------------

// The samplers of group sharpness and ordination stability frame their
// header with `line` and a blank line.
inline void WriteHeader(FILE* f, const RunOptions& o, const char* attribute, const char* rule = kDashes,
                        const char* afterRule = "\n") {
    fprintf(f, "%s", Text("\n\nSAMPLER\n", "\n\nAMOSTRADOR\n"));
    fprintf(f, "%s", Text("Bootstrap resampling\n", "Reamostragem bootstrap\n"));
    fprintf(f, "%s%s", rule, afterRule);
    if (o.initial < o.n)
        fprintf(f,
                Text("Number of sampling units added at each sampling step: %d (starting with %d units at "
                     "1st step)\n",
                     "Numero de unidades amostrais acrescentadas a cada passo amostral: %d (comecando com "
                     "%d unidades no 1o passo)\n"),
                o.step, o.initial);
    fprintf(f, "%s", attribute);
}

// The lines that open every sampler's final block; threads > 0 adds the
// line of the threads that ran the iterations.
inline void WriteFinalOpening(FILE* f, const RunOptions& o, double elapsed, const char* rule, int threads) {
    if (o.save == 'y') {
        fprintf(f, "\n%s\n", rule);
        fprintf(f, "%s", Text("FINAL RESULTS:\n", "RESULTADOS FINAIS:\n"));
    }
    TimeStamp(f);
    PrintElapsedTime(f, elapsed);
    if (threads > 0) fprintf(f, Text("Maximum number of threads: %d\n", "Numero maximo de threads: %d\n"), threads);
    if (o.initial < o.n)
        fprintf(f,
                Text("Number of sampling steps of size %d (starting with %d units at the 1st step): %d\n",
                     "Numero de passos amostrais de tamanho %d (comecando com %d unidades no 1o passo): "
                     "%d\n"),
                o.step, o.initial, o.steps);
    fprintf(f,
            Text("Initializer of pseudo-random number generator: %u\n",
                 "Inicializador do gerador de numeros pseudo-aleatorios: %u\n"),
            o.seed);
}

}  // namespace sampler_detail

#endif
