// The benchmarks start as the program does: idle threads wait as the
// program's start-up sets them (see ShortThreadWaits), unless the
// environment says otherwise.
#include <benchmark/benchmark.h>

#include "iflibG.h"

int main(int argc, char** argv) {
    ShortThreadWaits(argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
