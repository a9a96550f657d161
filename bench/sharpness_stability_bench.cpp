// Samplers of group sharpness and ordination stability, dialogue and report
// included, 100 iterations each, on 1 thread and on 8:
//   - SamplerGroups: 500 units x 50 normal variables around 5 centres,
//     Euclidean distances, average linkage, K = 5, sizes 100..500 by 100;
//   - SamplerOrdination: principal coordinates of 300 x 50 (Euclidean), A = 3,
//     sizes 60..300 by 60.
// The machine is shared: repeat and take the best run.
//
//   build/bench/tevlan_bench --benchmark_filter='Sampler(Groups|Ordination)' --benchmark_repetitions=3
#include <benchmark/benchmark.h>
#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>
#include <omp.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlib_M.h"
#include "samplerM.h"

namespace {

// Units scattered around 5 centres (unit sd), from a generator of their own.
void Clustered(int n, int p, double** X) {
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, 20240607);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) X[i][j] = 1.5 * ((i % 5) == j % 5) + gsl_ran_gaussian(g, 1.0);
    gsl_rng_free(g);
}

// A scratch folder, a silent console, and the current data set of n x p
// clustered values with its Euclidean distances between units.
struct Scene {
    char folder[32] = "/tmp/tevlan_benchXXXXXX";
    FILE* sink = nullptr;
    FILE* savedIn = in;
    FILE* savedOut = out;
    int threads = omp_get_max_threads();
    bool ok = false;

    Scene(int n, int p, int team) {
        if (!mkdtemp(folder) || chdir(folder) != 0) return;
        sink = fopen("/dev/null", "w");
        SetProgressStream(sink);
        out = sink;
        port = 0;
        eng = 1;
        Initialize();
        sDigits = 5;
        LivraMemoria();
        nObj = n;
        nVar = p;
        Dimensiona();
        Clustered(n, p, dataOrig);
        for (int i = 0; i < n; i++) std::memcpy(data[i], dataOrig[i], sizeof(double) * p);
        for (int j = 0; j < p; j++) varType[j] = 3;
        optVarTipo = 1;
        temDados = 1;
        SetDataType(0, 0, 0);
        nRows = n;
        nCols = p;
        rese = dim2DT<double>(n, n);
        ResemblanceLib(n, p, data, rese, 1, 3, varType, 1, 0, 0, false);
        optReseTipo = 3;
        optReseDir = 1;
        temRese = 1;
        InitMultiprocessing(team);
        ok = true;
    }
    ~Scene() {
        in = savedIn;
        out = savedOut;
        LivraMemoria();
        omp_set_num_threads(threads);
        SetProgressStream(nullptr);
        if (sink) fclose(sink);
        remove("Vidive.txt");
        remove("scores.txt");
        if (chdir("/tmp") == 0) rmdir(folder);
    }
    template <class F>
    void Answer(const std::string& answers, F&& call) {
        std::string text = answers;
        in = fmemopen(&text[0], text.size(), "r");
        call();
        fclose(in);
        in = savedIn;
    }
};

// state.range(0): threads.
void SamplerGroupsAverageLinkage(benchmark::State& state) {
    Scene s(500, 50, static_cast<int>(state.range(0)));
    if (!s.ok) {
        state.SkipWithError("no scratch folder");
        return;
    }
    clusMeth = 4;
    clusterReport* records = NewClusterReports(500, 0, false);
    LinkageCluster(500, rese, records, true, false, 4, true);
    for (auto _ : state) {
        s.Answer("5\n100\n100\n100\n2\n12345\nn\n", [&] { SamplerGroups(500, rese, true, records); });
        state.PauseTiming();
        remove("Vidive.txt");
        state.ResumeTiming();
    }
    state.counters["threads"] = NumberOfThreads();
    FreeClusterReports(records, 500);
}
BENCHMARK(SamplerGroupsAverageLinkage)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void SamplerOrdinationPrincipalCoordinates(benchmark::State& state) {
    Scene s(300, 50, static_cast<int>(state.range(0)));
    if (!s.ok) {
        state.SkipWithError("no scratch folder");
        return;
    }
    s.Answer("1\nn\nn\n", [] { Ordenacao(); });
    for (auto _ : state) {
        s.Answer("3\n60\n60\n100\n2\n12345\nn\n", [] { SamplerOrdination(); });
        state.PauseTiming();
        remove("Vidive.txt");
        state.ResumeTiming();
    }
    state.counters["threads"] = NumberOfThreads();
}
BENCHMARK(SamplerOrdinationPrincipalCoordinates)
    ->Arg(1)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace
