// Bootstrap sampler of means (SamplerMeans, dialogue and report included) on a
// 2,000 x 100 negative-binomial table (mu 5, size 0.5), 999 iterations at
// alpha 0.05 (raised to 1,000): one sample size (the initial size is n), on
// the team of its Arg, and 20 nested sizes (initial 100, step 100) on one
// thread. A run is 1,000 bootstrap iterations: its time in ms is the cost of
// one in us.
//
//   build/bench/tevlan_bench --benchmark_filter=SamplerMeans --benchmark_repetitions=5
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FtevlanGlob.h"
#include "iflibG.h"
#include "bench_tables.h"
#include "rhlibDim.h"
#include "samplerM.h"

namespace {

constexpr int kUnits = 2000, kVariables = 100;

void RunSamplerMeans(benchmark::State& state, const std::string& answers, int team) {
    char folder[] = "/tmp/tevlan_benchXXXXXX";
    if (!mkdtemp(folder) || chdir(folder) != 0) {
        state.SkipWithError("no scratch folder");
        return;
    }
    FILE* sink = fopen("/dev/null", "w");
    SetProgressStream(sink);
    FILE* savedIn = in;
    FILE* savedOut = out;
    out = sink;
    port = 0;
    eng = 1;
    optTrEs = 0;
    sDigits = 5;
    double** X = NegativeBinomialTable(kUnits, kVariables, 20240602);
    int* types = dim1DT<int>(kVariables);
    char** labels = dim2DT<char>(kVariables, 16);
    for (int j = 0; j < kVariables; j++) {
        types[j] = 3;
        snprintf(labels[j], 16, "v%d", j + 1);
    }
    varType = types;
    varLabels = labels;
    const int threads = NumberOfThreads();
    InitMultiprocessing(team);
    for (auto _ : state) {
        std::string text = answers;
        in = fmemopen(&text[0], text.size(), "r");
        SamplerMeans(kUnits, kVariables, X);
        fclose(in);
        state.PauseTiming();
        remove("Vidive.txt");
        state.ResumeTiming();
    }
    InitMultiprocessing(threads);
    in = savedIn;
    out = savedOut;
    varType = nullptr;
    varLabels = nullptr;
    free1D(types);
    free2DT(labels, kVariables);
    free2DT(X, kUnits);
    SetProgressStream(nullptr);
    fclose(sink);
    if (chdir("/tmp") == 0) rmdir(folder);
}

// Initial size n: one size of 2,000 units.
void SamplerMeansOneSize(benchmark::State& state) {
    RunSamplerMeans(state, "2000\n999\n0.05\n2\n12345\nn\n", static_cast<int>(state.range(0)));
}
BENCHMARK(SamplerMeansOneSize)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Initial size 100, step 100: sizes 100, 200, ..., 2,000 nested in each list.
void SamplerMeansNestedSizes(benchmark::State& state) {
    RunSamplerMeans(state, "100\n100\n999\n0.05\n2\n12345\nn\n", 1);
}
BENCHMARK(SamplerMeansNestedSizes)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
