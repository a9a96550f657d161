// Key P as a user runs it (prologue, default options, 999 permutations,
// report) on the engine benchmark's table: Euclidean distances of 2,000 x
// 200 uniform values, one factor of 4 groups, or the default test series of
// two factors of 4 x 5 levels. Arg: threads (0: every processor). Compare
// with BM_ManovaOneFactor and BM_ManovaTwoFactors at the same Arg.
#include <benchmark/benchmark.h>
#include <gsl/gsl_rng.h>

#include <cstdio>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "FtevlanRn.h"
#include "bench_dialogue.h"
#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"

namespace {

constexpr int kUnits = 2000, kVars = 200;

// The current data set: the table, its Euclidean matrix and the factors.
void MakeCurrent(int factors) {
    LivraMemoria();
    nObj = kUnits;
    nVar = kVars;
    Dimensiona();
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, 20240607);
    for (int i = 0; i < kUnits; i++)
        for (int v = 0; v < kVars; v++)
            data[i][v] = dataOrig[i][v] = gsl_rng_uniform(g) + 0.05 * (i % 4 + 1) * (v < 10);
    gsl_rng_free(g);
    temDados = 1;
    dataType = 1;
    nRows = kUnits;
    nCols = kVars;
    rese = dim2DT<double>(kUnits, kUnits);
    EucliDist(kUnits, kVars, data, rese);
    for (int i = 0; i < kUnits; i++)
        for (int j = i + 1; j < kUnits; j++) rese[j][i] = rese[i][j];
    temRese = 1;
    optReseDir = 1;
    optReseTipo = 3;
    nFactors = factors;
    nesting = 0;
    const int P = NumberOfPartitions(factors);
    grMemb = dim2DT<int>(P, kUnits);
    grLabel = dim2DT<int>(P, kUnits);
    factorLabel = dim2DT<char>(factors, 100);
    nGroups = dim1DT<int>(P);
    nestedFactor = dim1DT<int>(factors);
    grMembDimensioned = 1;
    for (int f = 0; f < factors; f++) {
        snprintf(factorLabel[f], 100, "F%d", f + 1);
        for (int i = 0; i < kUnits; i++) grMemb[f][i] = f == 0 ? i % 4 + 1 : (i / 4) % 5 + 1;
        CountGroups(kUnits, grMemb[f], nGroups[f], grLabel[f]);
    }
    temGrupo = 1;
}

void RunKeyP(benchmark::State& state, int factors) {
    QuietDialogue quiet;
    InitMultiprocessing(static_cast<int>(state.range(0)));
    MakeCurrent(factors);
    for (auto _ : state) quiet.Answer("2\n12345\nd\n0\n999\nn\n", [] { AleatorizacaoUnitsManova(); });
}

void BM_KeyPOneFactor(benchmark::State& s) { RunKeyP(s, 1); }
void BM_KeyPTwoFactorSeries(benchmark::State& s) { RunKeyP(s, 2); }

BENCHMARK(BM_KeyPOneFactor)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_KeyPTwoFactorSeries)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
