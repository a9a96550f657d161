// Principal coordinates of 1,000, 2,000 and 5,000 sampling units on one
// thread and on 8: the ordination dispatcher on a Bray-Curtis
// matrix (non-Euclidean, as field data give), LAPACK's symmetric eigen
// analysis included. Beside the caller's arrays it holds two n x n matrices:
// the centred matrix, built in the buffer LAPACK takes, and LAPACK's
// eigenvectors. LAPACK runs on the team the benchmark sets, less the
// processors other programs keep busy; lapack_threads is the team it would
// take at the end of the run.
//
//   build/bench/tevlan_bench --benchmark_filter=PrincipalCoordinates
#include <benchmark/benchmark.h>

#include <random>

#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlib_M.h"

namespace {

constexpr int kVariables = 100;

// Abundances of n units: about half the cells empty, the rest counts 1..50.
double** Table(int n) {
    double** t = dim2DT<double>(n, kVariables);
    std::mt19937 g(n);
    std::uniform_int_distribution<int> count(1, 50);
    std::bernoulli_distribution present(0.5);
    for (int i = 0; i < n; i++)
        for (int k = 0; k < kVariables; k++) t[i][k] = present(g) ? count(g) : 0.0;
    return t;
}

void PrincipalCoordinates(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    double** X = Table(n);
    double** rese = dim2DT<double>(n, n);
    ResemblanceLib(n, kVariables, X, rese, 1, 20, nullptr, 1, 0, 0, false);
    double** evectors = dim2DT<double>(n, n);
    double** scores = dim2DT<double>(n, n);
    double* eig = dim1DT<double>(n);
    int axes = 0;
    bool ok = false;
    const int saved = NumberOfThreads();
    InitMultiprocessing(static_cast<int>(state.range(1)));
    for (auto _ : state) {
        OrdinationLib_D(n, kVariables, X, rese, evectors, scores, &axes, eig, &ok, 1, 20, 1);
        benchmark::DoNotOptimize(scores[0][0]);
        benchmark::ClobberMemory();
    }
    state.counters["axes"] = axes;
    state.counters["threads"] = NumberOfThreads();
    state.counters["lapack_threads"] = LapackThreads(static_cast<double>(n) * n * n);
    InitMultiprocessing(saved);
    free1D(eig);
    free2DT(scores, n);
    free2DT(evectors, n);
    free2DT(rese, n);
    free2DT(X, n);
}

// Arguments: units, team size.
BENCHMARK(PrincipalCoordinates)
    ->ArgsProduct({{1000, 2000, 5000}, {1, 8}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
