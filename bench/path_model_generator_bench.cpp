// The path-model generator on one thread: 20 data sets of 100 units from a
// chain of 4 variables, each tested by its basis set of three claims with
// Mantel correlations between the variables' distance matrices, permuting
// the first node of each claim, 999 permutations.
#include <benchmark/benchmark.h>

#include "PathModelGenerator_Tevlan.h"
#include "bench_dialogue.h"
#include "rhlib_M.h"

namespace {

void BM_PathModelGenerator(benchmark::State& state) {
    QuietDialogue quiet;
    PathModelStudy s;
    s.output = "chain.txt";
    s.p = 4;
    s.n = 100;
    s.B.assign(16, 0.0);
    s.B[0 * 4 + 1] = s.B[1 * 4 + 2] = s.B[2 * 4 + 3] = 1.5;
    s.levels = {0, 1, 2, 3};
    s.criterion = static_cast<int>(state.range(0));
    s.tests = 20;
    s.nullModel = kPermuteFirstNode;
    s.nPerm = 999;
    s.sizes.assign(4, 1);
    s.claims = {PathClaim{0, 2, {1}}, PathClaim{0, 3, {2}}, PathClaim{1, 3, {0, 2}}};
    for (auto _ : state) {
        InitRndNumberGenerator(12345);
        PathModelTally tally = RunPathModelStudy(s, 12345);
        benchmark::DoNotOptimize(tally.counts);
    }
}
// 2 Mantel (the figure asked for), 1 Procrustes, 4 Rd.
BENCHMARK(BM_PathModelGenerator)->Arg(kMantelCriterion)->Arg(kProcrustesCriterion)->Arg(kRdCriterion)
    ->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
