// The tests between two data sets as a user runs them (prologue, observed
// statistic, 999 permutations, report), on one thread (the Mantel test also
// on the team of its Arg): X the first 500 rows
// of a 2,000 x 200 negative-binomial table (mean 5, size 0.5), Y 500 x 5 and
// Z 500 x 3 normal. Bray-Curtis of X against the Euclidean distances of Y (Z
// held constant in the partial test); the tables themselves for Procrustes
// and RV.
#include <benchmark/benchmark.h>
#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>

#include <cstdio>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "FtevlanRn.h"
#include "TevlanClasses.h"
#include "bench_dialogue.h"
#include "bench_tables.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"

namespace {

// The table made current with its resemblance matrix between units
// (Bray-Curtis or Euclidean, both triangles) and snapshotted.
Session* Snapshot(int n, int p, double** x, bool brayCurtis) {
    LivraMemoria();
    nObj = n;
    nVar = p;
    Dimensiona();
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) data[i][j] = dataOrig[i][j] = x[i][j];
    temDados = 1;
    nRows = n;
    rese = dim2DT<double>(n, n);
    if (brayCurtis)
        BrayCurtisMV(n, p, data, rese);
    else
        EucliDist(n, p, data, rese);
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) rese[j][i] = rese[i][j];
    temRese = 1;
    optReseDir = 1;
    optReseTipo = brayCurtis ? 20 : 3;
    return SessionClass(true);
}

double** NormalTable(gsl_rng* g, int n, int p) {
    double** t = dim2DT<double>(n, p);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) t[i][j] = gsl_ran_gaussian(g, 1.0);
    return t;
}

template <class Run>
void RunTest(benchmark::State& state, Run&& run, int team = 1) {
    QuietDialogue quiet;
    const int n = 500;
    double** counts = NegativeBinomialTable(2000, 200, 20240601);
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, 20240602);
    double** y = NormalTable(g, n, 5);
    double** z = NormalTable(g, n, 3);
    gsl_rng_free(g);
    Session* sx = Snapshot(n, 200, counts, true);
    Session* sy = Snapshot(n, 5, y, false);
    Session* sz = Snapshot(n, 3, z, false);
    InitMultiprocessing(team);
    free2DT(counts, 2000);
    free2DT(y, n);
    free2DT(z, n);

    for (auto _ : state) quiet.Answer("2\n12345\n999\nn\n", [&] { run(sx, sy, sz); });
    delete sx;
    delete sy;
    delete sz;
}

void BM_MantelTest(benchmark::State& state) {
    RunTest(
        state, [](Session* x, Session* y, Session*) { AleatorizacaoMantel(x, y); }, static_cast<int>(state.range(0)));
}
void BM_PartialMantelTest(benchmark::State& state) {
    RunTest(state, [](Session* x, Session* y, Session* z) { AleatorizacaoPartialMantel(x, y, z); });
}
void BM_ProcrustesTest(benchmark::State& state) {
    RunTest(state, [](Session* x, Session* y, Session*) { AleatorizacaoProcrustes(x, y); });
}
void BM_RVTest(benchmark::State& state) {
    RunTest(state, [](Session* x, Session* y, Session*) { AleatorizacaoRV(x, y); });
}
void BM_RdTest(benchmark::State& state) {
    RunTest(state, [](Session* x, Session* y, Session*) { AleatorizacaoRd(x, y); });
}

BENCHMARK(BM_MantelTest)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_PartialMantelTest)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ProcrustesTest)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_RVTest)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_RdTest)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
