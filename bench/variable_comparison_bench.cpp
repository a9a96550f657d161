// Key A's permutation loop on one thread: correlations between 50 variables
// of 1,000 units, 999 permutations, by the cross-product route and by the
// table route (gather, resemblance of the whole table) it replaces; and the
// draws alone (one list per variable per permutation), the floor of both.
#include <benchmark/benchmark.h>
#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>

#include <cstdio>
#include <cstring>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "FtevlanRn.h"
#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlib_M.h"

namespace {

constexpr int kUnits = 1000, kVariables = 50, kPermutations = 999;

// A current data set of normal values, the correlations between its
// variables current.
void NormalDataSet() {
    LivraMemoria();
    ReleaseRese();
    nObj = kUnits;
    nVar = kVariables;
    Dimensiona();
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, 20240601);
    for (int i = 0; i < nObj; i++)
        for (int j = 0; j < nVar; j++) data[i][j] = dataOrig[i][j] = gsl_ran_gaussian(g, 1.0);
    gsl_rng_free(g);
    for (int j = 0; j < nVar; j++) varType[j] = 3;
    optTrEs = optTrVeVar = optTrVeUnits = 0;
    optReseDir = 2;
    optReseTipo = 17;
    nRows = nVar;
    rese = dim2DT<double>(nVar, nVar);
    ResemblanceLib(nObj, nVar, data, rese, 2, 17, varType, 1, 0, 0, false);
    temDados = temRese = 1;
}

void CountsOnOneThread(benchmark::State& state, bool literal) {
    InitMultiprocessing(1);
    FILE* sink = fopen("/dev/null", "w");
    SetProgressStream(sink);
    NormalDataSet();
    ScopedMatrix<double> counts(nVar, nVar);
    PermutationDesign design;
    design.nPerm = kPermutations;
    for (auto _ : state) {
        InitRndNumberGenerator(12345);
        VariableComparisonCounts(design, rese, counts, nullptr, literal);
        benchmark::DoNotOptimize(counts[1]);
    }
    ReleaseRese();
    LivraMemoria();
    SetProgressStream(nullptr);
    fclose(sink);
}

void BM_VariableComparisonCrossProducts(benchmark::State& state) { CountsOnOneThread(state, false); }
void BM_VariableComparisonTables(benchmark::State& state) { CountsOnOneThread(state, true); }

void BM_VariableComparisonDrawsOnly(benchmark::State& state) {
    ScopedMatrix<int> lists(kVariables, kUnits);
    for (auto _ : state) {
        InitRndNumberGenerator(12345);
        for (int k = 2; k <= kPermutations; k++)
            for (int j = 0; j < kVariables; j++) RndList(kUnits, lists[j]);
        benchmark::DoNotOptimize(lists[0]);
    }
}

BENCHMARK(BM_VariableComparisonCrossProducts)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_VariableComparisonTables)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_VariableComparisonDrawsOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
