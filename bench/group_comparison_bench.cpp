// Key P as a user runs it (prologue, default options, 999 permutations,
// report) on the engine benchmark's table: Euclidean distances of 2,000 x
// 200 uniform values, one factor of 4 groups, or the default test series of
// two factors of 4 x 5 levels. Arg: threads (0: every processor). Compare
// with BM_ManovaOneFactor and BM_ManovaTwoFactors at the same Arg. And a
// small job: the 20 units of examples/dune.txt grouped by management,
// 99,999 permutations.
#include <benchmark/benchmark.h>
#include <gsl/gsl_rng.h>

#include <cstdio>
#include <fstream>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "FtevlanRn.h"
#include "bench_dialogue.h"
#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"

namespace {

constexpr int kUnits = 2000, kVars = 200;

// The current data set: the table x (units x vars), its Euclidean matrix and
// the factors, each a group number per unit.
void MakeCurrent(int units, int vars, const std::vector<double>& x, const std::vector<std::vector<int>>& groups) {
    LivraMemoria();
    nObj = units;
    nVar = vars;
    Dimensiona();
    for (int i = 0; i < units; i++)
        for (int v = 0; v < vars; v++) data[i][v] = dataOrig[i][v] = x[static_cast<size_t>(i) * vars + v];
    temDados = 1;
    dataType = 1;
    nRows = units;
    nCols = vars;
    rese = dim2DT<double>(units, units);
    EucliDist(units, vars, data, rese);
    for (int i = 0; i < units; i++)
        for (int j = i + 1; j < units; j++) rese[j][i] = rese[i][j];
    temRese = 1;
    optReseDir = 1;
    optReseTipo = 3;
    const int factors = static_cast<int>(groups.size());
    nFactors = factors;
    nesting = 0;
    const int P = NumberOfPartitions(factors);
    grMemb = dim2DT<int>(P, units);
    grLabel = dim2DT<int>(P, units);
    factorLabel = dim2DT<char>(factors, 100);
    nGroups = dim1DT<int>(P);
    nestedFactor = dim1DT<int>(factors);
    grMembDimensioned = 1;
    for (int f = 0; f < factors; f++) {
        snprintf(factorLabel[f], 100, "F%d", f + 1);
        for (int i = 0; i < units; i++) grMemb[f][i] = groups[f][i];
        CountGroups(units, grMemb[f], nGroups[f], grLabel[f]);
    }
    temGrupo = 1;
}

// The 2,000 x 200 table and one or two factors.
void MakeLarge(int factors) {
    std::vector<double> x(static_cast<size_t>(kUnits) * kVars);
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, 20240607);
    for (int i = 0; i < kUnits; i++)
        for (int v = 0; v < kVars; v++)
            x[static_cast<size_t>(i) * kVars + v] = gsl_rng_uniform(g) + 0.05 * (i % 4 + 1) * (v < 10);
    gsl_rng_free(g);
    std::vector<std::vector<int>> groups(factors, std::vector<int>(kUnits));
    for (int f = 0; f < factors; f++)
        for (int i = 0; i < kUnits; i++) groups[f][i] = f == 0 ? i % 4 + 1 : (i / 4) % 5 + 1;
    MakeCurrent(kUnits, kVars, x, groups);
}

// count numbers read from an example file.
template <class T>
std::vector<T> Numbers(const char* file, size_t count) {
    std::ifstream in(std::string(TEVLAN_EXAMPLES) + "/" + file);
    std::vector<T> v;
    for (T x; v.size() < count && in >> x;) v.push_back(x);
    return v;
}

// Threads from the benchmark's Arg; make sets the current data set; the
// answers run key P with seed 12345 and default options.
template <class Make>
void RunKeyP(benchmark::State& state, Make&& make, const char* answers) {
    QuietDialogue quiet;
    InitMultiprocessing(static_cast<int>(state.range(0)));
    make();
    for (auto _ : state) quiet.Answer(answers, [] { AleatorizacaoUnitsManova(); });
    state.counters["threads"] = NumberOfThreads();
}

const char* const k999 = "2\n12345\nd\n0\n999\nn\n";

void BM_KeyPOneFactor(benchmark::State& s) { RunKeyP(s, [] { MakeLarge(1); }, k999); }
void BM_KeyPTwoFactorSeries(benchmark::State& s) { RunKeyP(s, [] { MakeLarge(2); }, k999); }
void BM_KeyPDune(benchmark::State& s) {
    RunKeyP(
        s,
        [] {
            if (Numbers<double>("dune.txt", 600).size() != 600) return;
            MakeCurrent(20, 30, Numbers<double>("dune.txt", 600), {Numbers<int>("dune_groups_management.txt", 20)});
        },
        "2\n12345\nd\n0\n99999\nn\n");
}

BENCHMARK(BM_KeyPOneFactor)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_KeyPTwoFactorSeries)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_KeyPDune)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
