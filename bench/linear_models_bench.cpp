// The linear-model and RDA permutation tests as a user runs them (prologue,
// observed fit, 999 permutations, report): 1,000 units, 50 responses, 5
// factors, on one thread.
#include <benchmark/benchmark.h>
#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "FtevlanRn.h"
#include "TevlanClasses.h"
#include "bench_dialogue.h"
#include "iflibG.h"
#include "rhlibDim.h"

namespace {

// A data set made current and snapshotted: responses are counts that depend
// on the factors, factors are normal; drawn from a generator of their own.
Session* Snapshot(int n, int p, gsl_rng* g, double** factors) {
    LivraMemoria();
    nObj = n;
    nVar = p;
    Dimensiona();
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) {
            double v;
            if (factors) {
                double mu = 2.0;
                for (int f = 0; f < 5; f++) mu += 0.2 * (j % 3) * factors[i][f];
                v = gsl_ran_poisson(g, mu > 0.1 ? mu : 0.1);
            } else {
                v = gsl_ran_gaussian(g, 1.0);
            }
            data[i][j] = dataOrig[i][j] = v;
        }
    for (int i = 0; i < n; i++) snprintf(uaLabels[i], 30, "%d", i + 1);
    for (int j = 0; j < p; j++) {
        snprintf(varLabels[j], 30, "v%d", j + 1);
        varType[j] = 3;
    }
    optVarTipo = 1;
    temDados = 1;
    SetDataType(0, 0, 0);
    return SessionClass(true);
}

template <class Run>
void RunTest(benchmark::State& state, const char* answers, Run&& run) {
    QuietDialogue quiet;
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, 20240601);
    Session* factors = Snapshot(1000, 5, g, nullptr);
    Session* responses = Snapshot(1000, 50, g, factors->data);
    gsl_rng_free(g);

    for (auto _ : state) quiet.Answer(answers, [&] { run(responses, factors); });
    delete responses;
    delete factors;
}

void BM_LinearModelTest(benchmark::State& state) {
    RunTest(state, "2\n12345\n999\n0\nn\n",
            [](Session* y, Session* x) { AleatorizacaoModLin(y, x, false); });
}

void BM_RDATest(benchmark::State& state) {
    RunTest(state, "2\n12345\n999\nn\n", [](Session* y, Session* x) { AleatorizacaoRDA(y, x); });
}

BENCHMARK(BM_LinearModelTest)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_RDATest)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
