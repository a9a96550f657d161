// Permutation tests of ordination axes on one thread: the RVDIM test and
// the eigenvalue test of principal components of the correlations between
// 20 variables of 100 units, 999 permutations each (20 axes, so the RVDIM
// test ordinates 20 permuted residual tables per permutation); the
// Malinvaud test of the correspondence analysis of the dune species (20 x 30
// counts, 685 individuals), 999 tables.
//
//   build/bench/tevlan_bench --benchmark_filter='RvdimTest|EigenPermutationTest|MalinvaudTest'
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "FtevlanRn.h"
#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlib_M.h"

namespace {

constexpr int kUnits = 100, kVariables = 20, kPermutations = 999;

// Normal deviates with some shared structure: three factors of decreasing
// weight under noise.
double** Table() {
    double** t = dim2DT<double>(kUnits, kVariables);
    std::mt19937 g(2024);
    std::normal_distribution<double> z;
    for (int i = 0; i < kUnits; i++) {
        const double f[3] = {z(g), z(g), z(g)};
        for (int j = 0; j < kVariables; j++) t[i][j] = 1.0 * f[j % 3] * (3 - j % 3) / 3 + z(g);
    }
    return t;
}

// One thread, and the progress line out of the way, while a benchmark runs.
struct Quiet {
    FILE* progress = fopen("/dev/null", "w");
    Quiet() {
        InitMultiprocessing(1);
        SetProgressStream(progress);
    }
    ~Quiet() {
        SetProgressStream(nullptr);
        if (progress) fclose(progress);
    }
};

struct Components {
    Quiet quiet;
    double** X = Table();
    double** R = dim2DT<double>(kVariables, kVariables);
    double** weights = dim2DT<double>(kVariables, kVariables);
    double** scores = dim2DT<double>(kVariables, kUnits);
    std::vector<double> eig = std::vector<double>(kVariables);
    int axes = 0;
    Components() {
        ResemblanceLib(kUnits, kVariables, X, R, 2, 17, nullptr, 1, 0, 0, false);
        bool ok;
        OrdinationLib_D(kVariables, kUnits, X, R, weights, scores, &axes, eig.data(), &ok, 2, 17, 2);
    }
    ~Components() {
        free2DT(scores, kVariables);
        free2DT(weights, kVariables);
        free2DT(R, kVariables);
        free2DT(X, kUnits);
    }
};

void BM_RvdimTest(benchmark::State& state) {
    Components c;
    std::vector<double> rv(c.axes), P(c.axes);
    for (auto _ : state) {
        InitRndNumberGenerator(1);
        RVDIMPermutation_D(kUnits, kVariables, c.axes, kPermutations, c.X, c.weights, c.scores, c.eig.data(), 2, 0, 0,
                           0, 2, 17, nullptr, 1, 0, false, rv.data(), P.data(), 'n', 6);
        benchmark::DoNotOptimize(P.data());
    }
    state.counters["axes"] = c.axes;
}
BENCHMARK(BM_RvdimTest)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EigenPermutationTest(benchmark::State& state) {
    Components c;
    std::vector<double> Peig(c.axes), PF(c.axes), below(c.axes);
    for (auto _ : state) {
        InitRndNumberGenerator(1);
        EigenPermutation_D(kUnits, kVariables, kVariables, kUnits, c.axes, kPermutations, c.X, nullptr, c.eig.data(),
                           2, 0, 0, 0, 0, 0, 2, 17, nullptr, 1, 0, false, Peig.data(), PF.data(), below.data(), 'n', 6);
        benchmark::DoNotOptimize(Peig.data());
    }
    state.counters["axes"] = c.axes;
}
BENCHMARK(BM_EigenPermutationTest)->Unit(benchmark::kMillisecond)->UseRealTime();

// The current data set as keys N, T, R and O leave it for the test.
void BM_MalinvaudTest(benchmark::State& state) {
    LivraMemoria();
    nObj = 20;
    nVar = 30;
    Dimensiona();
    FILE* f = fopen(TEVLAN_EXAMPLES "/dune.txt", "r");
    if (!f) {
        state.SkipWithError("examples/dune.txt cannot be read");
        return;
    }
    for (int i = 0; i < nObj; i++)
        for (int j = 0; j < nVar; j++)
            if (fscanf(f, "%lf", &dataOrig[i][j]) != 1) dataOrig[i][j] = 0;
    fclose(f);
    for (int j = 0; j < nVar; j++) varType[j] = 3;
    CopyMatrix(nObj, nVar, dataOrig, data);
    optTrVeUnits = 6;
    ReapplyTransformations(nObj, nVar, data, nullptr);
    optReseDir = 2;
    optReseTipo = 1;
    nRows = nVar;
    nCols = nObj;
    rese = dim2DT<double>(nRows, nRows);
    ResemblanceLib(nObj, nVar, data, rese, 2, 1, varType, 1, 0, 0, false);
    eig = dim1DT<double>(nRows + 1);
    evectors = dim2DT<double>(nRows + 1, nRows + 1);
    escores = dim2DT<double>(nRows, nCols);
    bool ok;
    OrdinationLib_D(nRows, nCols, dataOrig, rese, evectors, escores, &rank, eig, &ok, 3, 1, 2);
    optOrdiType = 3;
    temDados = temRese = temEscore = 1;
    Quiet quiet;
    std::vector<double> X2(rank), P(rank);
    for (auto _ : state) {
        InitRndNumberGenerator(1);
        MalinvaudTest(999, false, X2.data(), P.data());
        benchmark::DoNotOptimize(P.data());
    }
    state.counters["axes"] = rank;
    LivraMemoria();
    optTrVeUnits = 0;
}
BENCHMARK(BM_MalinvaudTest)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
