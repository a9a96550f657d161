// Path analysis on one thread: the basis-set test (500 units, 10 variables,
// 10 claims of order 2, 999 permutations) through the permutation engine,
// and the undirected search over a chain of 10 variables.
#include <benchmark/benchmark.h>
#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "FtevlanRn.h"
#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlib_M.h"

namespace {

// x1 normal, each next variable 0.8 times the one before plus noise.
void Chain(int n, int p, double** X) {
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, 20240601);
    for (int i = 0; i < n; i++) {
        X[i][0] = gsl_ran_gaussian(g, 1.0);
        for (int j = 1; j < p; j++) X[i][j] = 0.8 * X[i][j - 1] + gsl_ran_gaussian(g, 1.0);
    }
    gsl_rng_free(g);
}

void BM_BasisSetTest(benchmark::State& state) {
    InitMultiprocessing(1);
    FILE* sink = fopen("/dev/null", "w");
    SetProgressStream(sink);
    const int n = 500, p = 10;
    ScopedMatrix<double> X(n, p), observed(p, p);
    Chain(n, p, X);
    VariableNodes nodes(n, p, X, false);
    nodes.NodeMatrix(nullptr, observed);
    std::vector<PathClaim> claims;
    for (int c = 0; c < 10; c++) {
        PathClaim claim;
        claim.first = c % p;
        claim.second = (c + 3) % p;
        if (claim.first > claim.second) std::swap(claim.first, claim.second);
        claim.covariables = {(c + 1) % p, (c + 2) % p};
        claims.push_back(claim);
    }
    PermutationDesign design;
    design.nPerm = 999;
    std::vector<double> rObs(claims.size()), P(claims.size());
    for (auto _ : state) {
        InitRndNumberGenerator(12345);
        PermutationTestOfClaims(nodes, observed, claims, kPermuteAllNodes, design, rObs.data(), P.data());
        benchmark::DoNotOptimize(P.data());
    }
    SetProgressStream(nullptr);
    fclose(sink);
}

void BM_UndirectedSearch(benchmark::State& state) {
    const std::filesystem::path previous = std::filesystem::current_path();
    char tmpl[] = "/tmp/tevlan_pathbenchXXXXXX";
    const std::string folder = mkdtemp(tmpl);
    std::filesystem::current_path(folder);
    InitMultiprocessing(1);
    Initialize();
    FILE* sink = fopen("/dev/null", "w");
    SetProgressStream(sink);
    FILE* savedOut = out;
    out = sink;

    LivraMemoria();
    nObj = 100;
    nVar = 10;
    Dimensiona();
    Chain(nObj, nVar, dataOrig);
    for (int i = 0; i < nObj; i++) std::memcpy(data[i], dataOrig[i], sizeof(double) * nVar);
    for (int j = 0; j < nVar; j++) {
        snprintf(varLabels[j], 30, "v%d", j + 1);
        varType[j] = 3;
    }
    temDados = 1;
    ScopedMatrix<int> links(nVar, nVar);
    for (auto _ : state) {
        strcpy(modeVidive, "w");
        InitRndNumberGenerator(12345);
        SearchingUndirectedPath(0.05, links, 999, 0, 0, false, nullptr, false, nullptr, false, kPermuteAllNodes, 'n');
    }
    LivraMemoria();
    out = savedOut;
    SetProgressStream(nullptr);
    fclose(sink);
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
}

BENCHMARK(BM_BasisSetTest)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_UndirectedSearch)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
