// The study of ordination stopping rules on one thread: 100 data sets of 100
// units and 20 normal variables whose correlations have the eigenvalue
// weights 5 3 2 1, principal components of the correlations, criteria 3 to
// 11 with 99 permutations each (StoppingRules); and 10 data sets with the
// weights 5 3 2 1 and sixteen of 0.1, the RVDIM criterion alone (20 axes,
// each permutation ordinating 20 residual tables) (StoppingRulesRvdim).
// The files go to a temporary folder.
//
//   build/bench/tevlan_bench --benchmark_filter='StoppingRules'
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "FtevlanGlob.h"
#include "RandomDataGenOrdination_Tevlan.h"
#include "iflibG.h"
#include "rhlib_M.h"

namespace {

namespace fs = std::filesystem;

// One thread, the progress line out of the way and a folder of its own
// while a benchmark runs.
struct Setting {
    FILE* progress = fopen("/dev/null", "w");
    fs::path previous = fs::current_path();
    std::string folder;
    Setting() {
        InitMultiprocessing(1);
        SetProgressStream(progress);
        char tmpl[] = "/tmp/tevlan_bench_rulesXXXXXX";
        folder = mkdtemp(tmpl);
        fs::current_path(folder);
        optTrEs = optTrVeVar = optTrVeUnits = 0;
        optReseDir = 2;
        optReseTipo = 17;
    }
    ~Setting() {
        fs::current_path(previous);
        fs::remove_all(folder);
        SetProgressStream(nullptr);
        if (progress) fclose(progress);
    }
};

StoppingRuleRun Run(const std::vector<double>& weights, int T) {
    StoppingRuleRun run;
    run.name = "rules.txt";
    run.n = run.N = 100;
    run.p = 20;
    run.mode = 'e';
    run.rank = static_cast<int>(weights.size());
    run.weights = weights;
    run.code = 2;
    run.ordType = 2;
    run.T = T;
    run.alpha = 0.05;
    run.A = 5;
    run.initial = run.n;
    run.step = 0;
    run.iterations = 99;
    return run;
}

void Study(benchmark::State& state, StoppingRuleRun run) {
    Setting setting;
    for (auto _ : state) {
        InitRndNumberGenerator(1);
        benchmark::DoNotOptimize(RunStoppingRuleStudy(run, 1));
    }
}

void BM_StoppingRules(benchmark::State& state) {
    StoppingRuleRun run = Run({5, 3, 2, 1}, 100);
    for (int k = 2; k < kStoppingRules; k++) run.criteria[k] = true;
    Study(state, run);
}
BENCHMARK(BM_StoppingRules)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StoppingRulesRvdim(benchmark::State& state) {
    std::vector<double> weights = {5, 3, 2, 1};
    weights.resize(20, 0.1);
    StoppingRuleRun run = Run(weights, 10);
    run.criteria[1] = true;
    Study(state, run);
}
BENCHMARK(BM_StoppingRulesRvdim)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
