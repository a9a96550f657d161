// Key N as a user runs it on a large table: the file read, the data set
// made, and the session file written (then compared once more, as the main
// loop does after N). Args: units, variables of a table of uniform values
// with three decimals.
#include <benchmark/benchmark.h>
#include <gsl/gsl_rng.h>

#include <cstdio>
#include <string>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "bench_dialogue.h"

namespace {

void BM_KeyNTable(benchmark::State& state) {
    QuietDialogue quiet;
    const int units = static_cast<int>(state.range(0)), variables = static_cast<int>(state.range(1));
    {
        FILE* f = fopen("table.txt", "w");
        gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
        gsl_rng_set(g, 20240607);
        for (int i = 0; i < units; i++)
            for (int j = 0; j < variables; j++)
                fprintf(f, "%.3f%c", 100 * gsl_rng_uniform(g), j + 1 < variables ? '\t' : '\n');
        gsl_rng_free(g);
        fclose(f);
    }
    const std::string answers =
        "n\ntable.txt\n1\n" + std::to_string(units) + "\n" + std::to_string(variables) + "\nn\n1\nn\n";
    for (auto _ : state) {
        state.PauseTiming();
        std::remove("Sessao.trk");
        state.ResumeTiming();
        quiet.Answer(answers, [] {
            if (SpecifySession() == 1) WriteSessionTrack();
        });
    }
}

BENCHMARK(BM_KeyNTable)->Args({3000, 300})->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
