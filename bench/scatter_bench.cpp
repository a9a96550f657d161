// The biplot export of 10,000 sampling units x 200 variables: the unit points
// from two score rows, the variables' correlations with those two axes scaled
// into variable points, and "ScatterData.txt" written (in a folder of its own).
// O(n p) work; nothing n x n.
//
//   build/bench/tevlan_bench --benchmark_filter=ScatterBiplot --benchmark_repetitions=5
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "FtevlanEx.h"
#include "rhlibDim.h"

namespace {

void ScatterBiplot(benchmark::State& state) {
    const int n = 10000, p = 200;
    std::mt19937 g(7);
    std::normal_distribution<double> normal;
    std::bernoulli_distribution present(0.4);
    std::uniform_int_distribution<int> cover(1, 9);
    double** data = dim2DT<double>(n, p);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) data[i][j] = present(g) ? cover(g) : 0.0;
    double** scores = dim2DT<double>(2, n);
    for (int k = 0; k < 2; k++)
        for (int i = 0; i < n; i++) scores[k][i] = normal(g);
    char** labels = dim2DT<char>(p, 30);
    for (int j = 0; j < p; j++) snprintf(labels[j], 30, "Species%d", j + 1);
    std::vector<std::string> units(n);
    for (int i = 0; i < n; i++) units[i] = "plot" + std::to_string(i + 1);
    const std::string legend =
        "Data: bench.txt  Type: (1) quantitative, same measurement scales  10000 units, 200 var.\r"
        "Axes: component 1 x 2      Points: sampling units & variables\rThu Jan  1 00:00:00 2026\n";

    char folder[] = "/tmp/tevlan_scatter_benchXXXXXX";
    if (!mkdtemp(folder)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string file = std::string(folder) + "/ScatterData.txt";
    std::vector<ScatterPoint> points;
    for (auto _ : state) {
        points.clear();
        points.reserve(n + p);
        for (int i = 0; i < n; i++) points.push_back({units[i], scores[0][i], scores[1][i]});
        AppendBiplotVariables(n, scores[0], scores[1], p, data, labels, false, points);
        if (!WriteScatterData(file.c_str(), points, legend)) state.SkipWithError("file not written");
    }
    state.counters["points"] = static_cast<double>(points.size());
    remove(file.c_str());
    rmdir(folder);
    free2DT(labels, p);
    free2DT(scores, 2);
    free2DT(data, n);
}

BENCHMARK(ScatterBiplot)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
