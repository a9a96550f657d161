// The benchmarks start as the program does: idle threads wait as the
// program's start-up sets them (see PrepareStart), unless the environment
// says otherwise.
#include <benchmark/benchmark.h>

#include "iflibG.h"

__attribute__((section(".preinit_array"), used)) static void (*const beforeLibraries)(int, char**, char**) =
    PrepareStart;

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
