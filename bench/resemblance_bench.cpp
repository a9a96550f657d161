// Resemblance between the sampling units of a 2,000 x 200 table: Euclidean
// distance, Bray-Curtis and Jaccard (presence/absence), on one thread and on
// every processor.
//
//   build/bench/tevlan_bench --benchmark_filter=Resemblance
#include <benchmark/benchmark.h>
#include <omp.h>

#include <random>

#include "rhlibDim.h"
#include "rhlibRes_M.h"

namespace {

constexpr int kUnits = 2000;
constexpr int kVariables = 200;

// Abundances: about half the cells empty, the rest counts from 1 to 50.
double** AbundanceTable() {
    static double** X = [] {
        double** t = dim2DT<double>(kUnits, kVariables);
        std::mt19937 g(2024);
        std::uniform_int_distribution<int> count(1, 50);
        std::bernoulli_distribution present(0.5);
        for (int i = 0; i < kUnits; i++)
            for (int k = 0; k < kVariables; k++) t[i][k] = present(g) ? count(g) : 0.0;
        return t;
    }();
    return X;
}

double** PresenceTable() {
    static double** P = [] {
        double** X = AbundanceTable();
        double** t = dim2DT<double>(kUnits, kVariables);
        for (int i = 0; i < kUnits; i++)
            for (int k = 0; k < kVariables; k++) t[i][k] = X[i][k] > 0 ? 1.0 : 0.0;
        return t;
    }();
    return P;
}

template <void (*Measure)(int, int, double**, double**)>
void Run(benchmark::State& state, double** X) {
    int threads = static_cast<int>(state.range(0));
    if (threads == 0) threads = omp_get_num_procs();
    int saved = omp_get_max_threads();
    omp_set_num_threads(threads);
    double** R = dim2DT<double>(kUnits, kUnits);
    for (auto _ : state) {
        Measure(kUnits, kVariables, X, R);
        benchmark::DoNotOptimize(R[kUnits - 2][kUnits - 1]);
        benchmark::ClobberMemory();
    }
    state.counters["threads"] = threads;
    state.counters["pairs/s"] = benchmark::Counter(0.5 * kUnits * (kUnits - 1.0) * state.iterations(),
                                                   benchmark::Counter::kIsRate);
    free2DT(R, kUnits);
    omp_set_num_threads(saved);
}

void BM_ResemblanceEuclidean(benchmark::State& state) { Run<EucliDistMV>(state, AbundanceTable()); }
void BM_ResemblanceBrayCurtis(benchmark::State& state) { Run<BrayCurtisMV>(state, AbundanceTable()); }
void BM_ResemblanceJaccard(benchmark::State& state) { Run<Jaccard>(state, PresenceTable()); }

// Argument: threads (0 = every processor).
BENCHMARK(BM_ResemblanceEuclidean)->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResemblanceBrayCurtis)->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResemblanceJaccard)->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
