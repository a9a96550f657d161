// Hierarchical clustering of 2,000 units: average linkage and Ward, and the
// partitions at every level of the Ward dendrogram.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "rhlibDim.h"
#include "rhlib_M.h"

namespace {

// Euclidean distances between n random points in 10 dimensions.
double** RandomDistances(int n) {
    std::mt19937 gen(12345);
    std::uniform_real_distribution<double> u(0, 1);
    double** x = dim2DT<double>(n, 10);
    for (int i = 0; i < n; i++)
        for (int t = 0; t < 10; t++) x[i][t] = u(gen);
    double** d = dim2DT<double>(n, n);
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) {
            double s = 0;
            for (int t = 0; t < 10; t++) s += (x[i][t] - x[j][t]) * (x[i][t] - x[j][t]);
            d[i][j] = d[j][i] = std::sqrt(s);
        }
    free2DT(x, n);
    return d;
}

void BM_AverageLinkage(benchmark::State& state) {
    int n = state.range(0);
    double** d = RandomDistances(n);
    clusterReport* records = NewClusterReports(n, 0, false);
    for (auto _ : state) {
        LinkageCluster(n, d, records, true, false, 4, true);
        benchmark::DoNotOptimize(records[n - 2].level);
    }
    FreeClusterReports(records, n);
    free2DT(d, n);
}

void BM_Ward(benchmark::State& state) {
    int n = state.range(0);
    double** d = RandomDistances(n);
    clusterReport* records = NewClusterReports(n, 0, false);
    for (auto _ : state) {
        SumSqCluster(n, d, records, false);
        benchmark::DoNotOptimize(records[n - 2].level);
    }
    FreeClusterReports(records, n);
    free2DT(d, n);
}

void BM_WardPartitionsAllLevels(benchmark::State& state) {
    int n = state.range(0);
    double** d = RandomDistances(n);
    clusterReport* records = NewClusterReports(n, 0, false);
    SumSqCluster(n, d, records, false);
    for (auto _ : state) {
        long sum = 0;
        ForEachClusterPartition(n, records, 3, [&](int, const int* p, double) { sum += p[n - 1]; });
        benchmark::DoNotOptimize(sum);
    }
    FreeClusterReports(records, n);
    free2DT(d, n);
}

}  // namespace

BENCHMARK(BM_AverageLinkage)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ward)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WardPartitionsAllLevels)->Arg(2000)->Unit(benchmark::kMillisecond);
