// The functional and phylogenetic permutation test, type 1 with the OTU
// shuffle, on one thread: 100 communities x 200 OTUs (abundances 1 to 9 where
// an OTU occurs, in 5% to 60% of the communities, by OTU), 5 traits, 4 fuzzy
// types, 3 ecological variables, trait similarities, co-occurrences and a
// second community table; phylogeny off; 999 random arrangements.
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

struct FunctionalData {
    static constexpr int c = 100, p = 200, t = 5, k = 4, e = 3;
    ScopedMatrix<double> W, Y, B, U, E, DE, DY, Sb, M;
    FunctionalData()
        : W(c, p), Y(c, p), B(p, t), U(p, k), E(c, e), DE(c, c), DY(c, c), Sb(p, p), M(p, p) {
        gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
        gsl_rng_set(g, 20240610);
        for (int j = 0; j < p; j++) {
            const double f = 0.05 + 0.55 * gsl_rng_uniform(g);
            for (int i = 0; i < c; i++) {
                W[i][j] = gsl_rng_uniform(g) < f ? 1.0 + gsl_rng_uniform_int(g, 9) : 0.0;
                Y[i][j] = gsl_rng_uniform(g) < f ? 1.0 + gsl_rng_uniform_int(g, 9) : 0.0;
            }
            for (int a = 0; a < t; a++) B[j][a] = gsl_ran_gaussian(g, 1.0);
            double total = 0;
            for (int a = 0; a < k; a++) total += U[j][a] = gsl_rng_uniform(g);
            for (int a = 0; a < k; a++) U[j][a] /= total;
        }
        for (int i = 0; i < c; i++)
            for (int v = 0; v < e; v++) E[i][v] = gsl_ran_gaussian(g, 1.0);
        gsl_rng_free(g);
        EucliDist(c, e, E, DE);
        EucliDist(c, p, Y, DY);
        EucliDist(p, t, B, Sb);
        double largest = 0;
        for (int a = 0; a < p; a++)
            for (int b = 0; b < p; b++) largest = std::max(largest, Sb[a][b]);
        for (int a = 0; a < p; a++)
            for (int b = 0; b < p; b++) {
                Sb[a][b] = 1 - Sb[a][b] / largest;
                int both = 0;
                for (int i = 0; i < c; i++) both += W[i][a] > 0 && W[i][b] > 0;
                M[a][b] = both;
            }
    }
};

void BM_FunctionalPhylTest(benchmark::State& state) {
    InitMultiprocessing(1);
    FILE* sink = fopen("/dev/null", "w");
    SetProgressStream(sink);
    FunctionalData d;
    for (auto _ : state) {
        PermTest_FunctionalPhyl_Correl_Input in;
        in.N = 1000;
        in.testType = 1;
        in.shuffle = 't';
        in.communities = d.c;
        in.otus = d.p;
        in.traits = d.t;
        in.types = d.k;
        in.ecoVariables = d.e;
        in.W = d.W;
        in.Y = d.Y;
        in.B = d.B;
        in.U = d.U;
        in.E = d.E;
        in.DE = d.DE;
        in.DY = d.DY;
        in.Sb = d.Sb;
        in.M = d.M;
        InitRndNumberGenerator(12345);
        bool ok = PermTest_FunctionalPhyl_Correl(&in);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(in.P[0]);
    }
    SetProgressStream(nullptr);
    fclose(sink);
    InitMultiprocessing(0);
}

BENCHMARK(BM_FunctionalPhylTest)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
