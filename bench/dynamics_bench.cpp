// The randomization test for Markovity of key Y on a series of 200 units of
// 30 states (negative-binomial amounts), lags 1 to 3, 999 iterations, on one
// thread.
//
//   build/bench/tevlan_bench --benchmark_filter=Markovity --benchmark_repetitions=5
#include <benchmark/benchmark.h>
#include <omp.h>

#include <vector>

#include "bench_tables.h"
#include "rhDynamics.h"
#include "rhlibDim.h"
#include "rhlib_M.h"

namespace {

constexpr int kUnits = 200, kStates = 30, kLags = 3, kIterations = 999;

void BM_MarkovityTest(benchmark::State& state) {
    omp_set_num_threads(1);
    double** X = NegativeBinomialTable(kUnits, kStates, 20240611);
    std::vector<double> K(kLags), P(kLags), average(kLags);
    for (auto _ : state) {
        InitRndNumberGenerator(12345);
        MarkovityTest(kUnits, kStates, kLags, X, kIterations, K.data(), P.data(), average.data());
        benchmark::DoNotOptimize(P.data());
    }
    free2DT(X, kUnits);
}
BENCHMARK(BM_MarkovityTest)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
