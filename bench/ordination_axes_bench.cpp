// Permutation tests of ordination axes on one thread: the RVDIM test and
// the eigenvalue test of principal components of the correlations between
// 20 variables of 100 units, 999 permutations each (20 axes, so the RVDIM
// test ordinates 20 permuted residual tables per permutation).
//
//   build/bench/tevlan_bench --benchmark_filter='RvdimTest|EigenPermutationTest'
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

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

struct Components {
    double** X = Table();
    double** R = dim2DT<double>(kVariables, kVariables);
    double** weights = dim2DT<double>(kVariables, kVariables);
    double** scores = dim2DT<double>(kVariables, kUnits);
    std::vector<double> eig = std::vector<double>(kVariables);
    int axes = 0;
    FILE* progress = fopen("/dev/null", "w");
    Components() {
        ResemblanceLib(kUnits, kVariables, X, R, 2, 17, nullptr, 1, 0, 0, false);
        bool ok;
        OrdinationLib_D(kVariables, kUnits, X, R, weights, scores, &axes, eig.data(), &ok, 2, 17, 2);
        InitMultiprocessing(1);
        SetProgressStream(progress);
    }
    ~Components() {
        SetProgressStream(nullptr);
        if (progress) fclose(progress);
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

}  // namespace
