// Hierarchical clustering of 2,000 units: average linkage and Ward, the
// partitions at every level of the Ward dendrogram, and key C whole (the
// linkage and its report of the partitions at every level).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "bench_dialogue.h"
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

// Key C by linkage on the Euclidean distances between n units of 200
// uniform variables, as a user runs it (keys N and R before it). Args: n and
// the method (1 single linkage, whose chained tree fills the fusion directory
// with about n x n / 2 labels: a 22 MB report at n = 2,000; 4 average
// linkage, 16 MB). The counter linkage_ms is the clustering alone on the same
// distances: the rest of the time is the report.
void BM_KeyC(benchmark::State& state) {
    QuietDialogue quiet;
    const int n = static_cast<int>(state.range(0)), method = static_cast<int>(state.range(1)), p = 200;
    {
        FILE* f = fopen("table.txt", "w");
        std::mt19937 g(2024);
        std::uniform_real_distribution<double> u(0, 1);
        for (int i = 0; i < n; i++)
            for (int j = 0; j < p; j++) fprintf(f, "%.4f%c", u(g), j + 1 < p ? ' ' : '\n');
        fclose(f);
    }
    quiet.Answer("n\ntable.txt\n1\n" + std::to_string(n) + "\n" + std::to_string(p) + "\nn\n1\nn\n",
                 [] { SpecifySession(); });
    quiet.Answer("1\n3\n0\nn\n", [] { Semelhanca(); });
    {
        clusterReport* records = NewClusterReports(n, 0, false);
        auto start = std::chrono::steady_clock::now();
        LinkageCluster(n, rese, records, true, false, method, true);
        state.counters["linkage_ms"] =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        FreeClusterReports(records, n);
    }
    for (auto _ : state) quiet.Answer(std::to_string(method) + "\nn\n", [] { Cluster(); });
}

}  // namespace

BENCHMARK(BM_KeyC)->Args({2000, 1})->Args({2000, 4})->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_AverageLinkage)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ward)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WardPartitionsAllLevels)->Arg(2000)->Unit(benchmark::kMillisecond);
