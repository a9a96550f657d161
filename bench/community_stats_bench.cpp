// Single-statistic permutation tests of the community statistics, 999
// random arrangements on one thread:
// - ProbMantel: 500 x 500 Euclidean distance matrices of two tables of 500
//   units, the second a noisy copy of the first;
// - LimitingSimilarity: 50 communities x 200 OTUs, Euclidean distances of
//   four traits, abundances 1 to 9 where the OTU occurs (5% to 60% of the
//   communities, by OTU).
#include <benchmark/benchmark.h>
#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>

#include <cmath>
#include <cstdio>

#include "iflibG.h"
#include "rhFunctionalPhyl.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"

namespace {

constexpr int kPermutations = 999;

// Drawn from a generator of the benchmark's own (not r).
struct Communities {
    int c, p;
    ScopedMatrix<double> W, S;
    Communities(int c_, int p_) : c(c_), p(p_), W(c_, p_), S(p_, p_) {
        gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
        gsl_rng_set(g, 20240601);
        ScopedMatrix<double> traits(p, 4);
        for (int j = 0; j < p; j++) {
            const double f = 0.05 + 0.55 * gsl_rng_uniform(g);
            for (int i = 0; i < c; i++) W[i][j] = gsl_rng_uniform(g) < f ? 1.0 + gsl_rng_uniform_int(g, 9) : 0.0;
            for (int t = 0; t < 4; t++) traits[j][t] = gsl_ran_gaussian(g, 1.0);
        }
        gsl_rng_free(g);
        for (int a = 0; a < p; a++)
            for (int b = 0; b < p; b++) {
                double s = 0;
                for (int t = 0; t < 4; t++) s += (traits[a][t] - traits[b][t]) * (traits[a][t] - traits[b][t]);
                S[a][b] = std::sqrt(s);
            }
    }
};

void BM_LimitingSimilarity(benchmark::State& state) {
    InitMultiprocessing(1);
    FILE* sink = fopen("/dev/null", "w");
    SetProgressStream(sink);
    Communities d(50, 200);
    for (auto _ : state) {
        InitRndNumberGenerator(12345);
        double P = Prob_LimitingSimilarity(kPermutations, d.p, d.c, d.W.x, d.S.x, true, false, nullptr);
        benchmark::DoNotOptimize(P);
    }
    SetProgressStream(nullptr);
    fclose(sink);
}

void BM_ProbMantel(benchmark::State& state) {
    InitMultiprocessing(1);
    FILE* sink = fopen("/dev/null", "w");
    SetProgressStream(sink);
    const int n = 500;
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, 20240602);
    ScopedMatrix<double> X(n, 3), Y(n, 3), A(n, n), B(n, n);
    for (int i = 0; i < n; i++)
        for (int t = 0; t < 3; t++) {
            X[i][t] = gsl_ran_gaussian(g, 1.0);
            Y[i][t] = X[i][t] + gsl_ran_gaussian(g, 2.0);
        }
    gsl_rng_free(g);
    EucliDist(n, 3, X, A);
    EucliDist(n, 3, Y, B);
    for (auto _ : state) {
        InitRndNumberGenerator(12345);
        double r;
        double P = ProbMantel(n, kPermutations, A, B, r);
        benchmark::DoNotOptimize(P);
    }
    SetProgressStream(nullptr);
    fclose(sink);
}

BENCHMARK(BM_ProbMantel)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_LimitingSimilarity)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
