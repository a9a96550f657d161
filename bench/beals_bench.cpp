// Beals test (BealsTest_Partial, the transformation driver's call) on a
// presence/absence table of 100 units x 500 taxa with 999 permutations, on one
// thread and on every processor, alone and through key T.
#include <benchmark/benchmark.h>
#include <gsl/gsl_rng.h>
#include <omp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlib_M.h"

namespace {

// Taxa occur with frequencies from 5% to 60%, drawn from a generator of
// their own (not r).
double** PresenceTable(int n, int p) {
    double** X = dim2DT<double>(n, p);
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, 20240601);
    for (int j = 0; j < p; j++) {
        double f = 0.05 + 0.55 * gsl_rng_uniform(g);
        for (int i = 0; i < n; i++) X[i][j] = gsl_rng_uniform(g) < f ? 1.0 : 0.0;
    }
    gsl_rng_free(g);
    return X;
}

// One Beals test of a presence/absence table per iteration.
void RunBealsTest(benchmark::State& state, int n, int p, int nPerm, int threads, int type,
                  int statistic) {
    InitMultiprocessing(threads);  // 0: every processor
    FILE* sink = fopen("/dev/null", "w");
    SetProgressStream(sink);
    double** X = PresenceTable(n, p);
    std::vector<double> stat(p), prob(p);
    for (auto _ : state) {
        InitRndNumberGenerator(12345);
        BealsTest_Partial(n, p, nPerm, X, stat.data(), prob.data(), type, false, statistic);
        benchmark::DoNotOptimize(prob.data());
    }
    state.counters["threads"] = NumberOfThreads();
    free2DT(X, n);
    SetProgressStream(nullptr);
    fclose(sink);
}

// 100 units x 500 taxa, 999 permutations, on one thread and on every processor.
void BM_BealsTest(benchmark::State& state) {
    RunBealsTest(state, 100, 500, 999, static_cast<int>(state.range(0)), 1, 1);
}

BENCHMARK(BM_BealsTest)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Many more units than taxa (a vegetation survey of 3,000 plots and 40
// species), 199 permutations, on every processor.
void BM_BealsTestManyUnits(benchmark::State& state) { RunBealsTest(state, 3000, 40, 199, 0, 0, 2); }

BENCHMARK(BM_BealsTestManyUnits)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// The same test run through key T: the dialogue read from a script, the
// smoothing of the current data, the report and the test block, on one
// thread and on every processor.
void BM_BealsTestThroughKeyT(benchmark::State& state) {
    const int n = 100, p = 500;
    InitMultiprocessing(static_cast<int>(state.range(0)));
    FILE* sink = fopen("/dev/null", "w");
    SetProgressStream(sink);
    char folder[] = "/tmp/tevlan_benchXXXXXX";
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(mkdtemp(folder));
    Initialize();
    LivraMemoria();
    nObj = n;
    nVar = p;
    Dimensiona();
    double** X = PresenceTable(n, p);
    for (int i = 0; i < n; i++) {
        memcpy(dataOrig[i], X[i], sizeof(double) * p);
        memcpy(data[i], X[i], sizeof(double) * p);
    }
    free2DT(X, n);
    for (int j = 0; j < p; j++) varType[j] = 3;
    optVarTipo = 1;
    temDados = 1;
    SetDataType(0, 0, 0);
    FILE* savedIn = in;
    FILE* savedOut = out;
    out = sink;
    // No scalar transformation, other, Beals smoothing of type 1 with the
    // target included and no standardisation, the test with seed 12345.
    std::string answers = "1\n0\n3\n11\n1\ny\nn\ny\n2\n12345\n999\nn\n";
    for (auto _ : state) {
        strcpy(modeVidive, "w");
        in = fmemopen(&answers[0], answers.size(), "r");
        benchmark::DoNotOptimize(TransformaDados());
        fclose(in);
    }
    in = savedIn;
    out = savedOut;
    state.counters["threads"] = NumberOfThreads();
    LivraMemoria();
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
    SetProgressStream(nullptr);
    fclose(sink);
}

BENCHMARK(BM_BealsTestThroughKeyT)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
