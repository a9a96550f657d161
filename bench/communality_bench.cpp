// Communality of 300 variables (rows) over 2,000 units of normal data, on
// one thread: all variables independent, and with 50 of them affine
// combinations of others (the rarest variables are then left out until the
// rest invert).
#include <benchmark/benchmark.h>
#include <omp.h>

#include <random>
#include <vector>

#include "rhlibDim.h"
#include "rhlib_M.h"

namespace {

double** NormalVariables(int p, int n, int dependent) {
    std::mt19937 gen(424242);
    std::normal_distribution<double> z(0.0, 1.0);
    double** X = dim2DT<double>(p, n);
    for (int v = 0; v < p; v++)
        for (int u = 0; u < n; u++) X[v][u] = z(gen);
    // Every sixth variable, up to `dependent` of them, combines the two
    // before it, plus a constant.
    for (int k = 0, v = 5; k < dependent && v < p; k++, v += 6)
        for (int u = 0; u < n; u++) X[v][u] = 0.8 * X[v - 1][u] - 1.3 * X[v - 2][u] + 0.1;
    return X;
}

void BM_Communality(benchmark::State& state) {
    const int p = 300, n = 2000, dependent = static_cast<int>(state.range(0));
    omp_set_num_threads(1);
    double** X = NormalVariables(p, n, dependent);
    std::vector<double> c(p);
    int kept = 0;
    for (auto _ : state) {
        Communality(p, n, X, c.data(), &kept);
        benchmark::DoNotOptimize(c.data());
    }
    state.counters["kept"] = kept;
    free2DT(X, p);
}
BENCHMARK(BM_Communality)->Arg(0)->Arg(50)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
