// The permutation MANOVA engine on Euclidean distances of a 2000 x 200 table,
// 999 permutations: one factor of 4 groups, two factors of 4 x 5 levels, MRPP
// and ANOSIM; and, for scale, one pass that only sums the n(n-1)/2 squared
// distances. Arg: threads (0: every processor). peak_MB is the process's
// peak resident size so far: run one benchmark per process to read it.
#include <benchmark/benchmark.h>
#include <gsl/gsl_rng.h>
#include <sys/resource.h>

#include <vector>

#include "iflibG.h"
#include "rhlibClasses.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"

namespace {

constexpr int kUnits = 2000, kVars = 200, kPerm = 999;

struct Input {
    double** data;
    double** D;
    std::vector<int> one, two;
    Input() : data(dim2DT<double>(kUnits, kVars)), D(dim2DT<double>(kUnits, kUnits)), one(kUnits), two(kUnits) {
        gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
        gsl_rng_set(g, 20240607);
        for (int i = 0; i < kUnits; i++) {
            one[i] = i % 4 + 1;
            two[i] = (i / 4) % 5 + 1;
            for (int v = 0; v < kVars; v++) data[i][v] = gsl_rng_uniform(g) + 0.05 * one[i] * (v < 10);
        }
        gsl_rng_free(g);
        EucliDist(kUnits, kVars, data, D);
    }
    ~Input() {
        free2DT(D, kUnits);
        free2DT(data, kUnits);
    }
};

Input& Shared() {
    static Input input;
    return input;
}

double PeakMB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024.0;
}

void RunTest(benchmark::State& state, int factors, int statistic) {
    InitMultiprocessing(static_cast<int>(state.range(0)));
    Input& in = Shared();
    int* memb[2] = {in.one.data(), in.two.data()};
    manovaInput rec{};
    rec.nObj = kUnits;
    rec.nVar = kVars;
    rec.nPermutations = kPerm;
    rec.dissim = in.D;
    rec.data = in.data;
    rec.seedGenerator = true;
    rec.seed = 12345;
    rec.nFactors = factors;
    rec.memberships = memb;
    rec.digits = 5;
    rec.nTests = 1;
    rec.testIndex = 1;
    for (auto _ : state) {
        RandomizationTestManova* t =
            statistic ? new RandomizationTestManova(&rec, statistic) : new RandomizationTestManova(&rec);
        benchmark::DoNotOptimize(t->GetManovaResults()->P[0][0]);
        delete t;
    }
    state.counters["threads"] = NumberOfThreads();
    state.counters["peak_MB"] = PeakMB();
}

void BM_ManovaOneFactor(benchmark::State& s) { RunTest(s, 1, 0); }
void BM_ManovaTwoFactors(benchmark::State& s) { RunTest(s, 2, 0); }
void BM_ManovaMRPP(benchmark::State& s) { RunTest(s, 1, 3); }
void BM_ManovaANOSIM(benchmark::State& s) { RunTest(s, 1, 4); }

BENCHMARK(BM_ManovaOneFactor)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ManovaTwoFactors)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ManovaMRPP)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ManovaANOSIM)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// One pass over the pairs that only sums the squared distances, read from a
// packed triangle of squares (as the engine holds them) or squared on the
// way from the lower triangle of the matrix.
void BM_PlainPassPacked(benchmark::State& state) {
    Input& in = Shared();
    std::vector<double> packed;
    packed.reserve(static_cast<size_t>(kUnits) * (kUnits - 1) / 2);
    for (int i = 1; i < kUnits; i++)
        for (int j = 0; j < i; j++) packed.push_back(in.D[i][j] * in.D[i][j]);
    for (auto _ : state) {
        double s = 0;
        for (double x : packed) s += x;
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_PlainPassPacked)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_PlainPassMatrix(benchmark::State& state) {
    Input& in = Shared();
    for (auto _ : state) {
        double s = 0;
        for (int i = 1; i < kUnits; i++) {
            const double* row = in.D[i];
            for (int j = 0; j < i; j++) s += row[j] * row[j];
        }
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_PlainPassMatrix)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
