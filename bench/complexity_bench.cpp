// The per-unit work of the contingency-table option of the descriptive
// attributes (key V, option 3) on a 2,000 x 200 negative-binomial table
// (mu 5, size 0.5) on one thread: each unit's Shannon entropy with the code
// length of every cell, and its Huffman code. The work matrices are made
// once, as the driver makes them.
//
//   build/bench/tevlan_bench --benchmark_filter=UnitComplexity --benchmark_repetitions=5
#include <benchmark/benchmark.h>
#include <omp.h>

#include <vector>

#include "bench_tables.h"
#include "rhComplexity.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"

namespace {

constexpr int kUnits = 2000, kVariables = 200;

void BM_UnitComplexity(benchmark::State& state) {
    omp_set_num_threads(1);
    double** X = NegativeBinomialTable(kUnits, kVariables, 20240603);
    double** codeLengths = dim2DT<double>(kUnits, kVariables);
    unsigned long** huffman = dim2DT<unsigned long>(kUnits, kVariables);
    std::vector<double> H(kUnits), L(kUnits);
    for (auto _ : state) {
        for (int i = 0; i < kUnits; i++) {
            H[i] = EntropyVectorCodeLength(kVariables, X[i], 1.0, codeLengths[i]);
            L[i] = ComplexityVectorHuffCode(kVariables, X[i], huffman[i]);
        }
        benchmark::DoNotOptimize(L.data());
        benchmark::DoNotOptimize(H.data());
    }
    free2DT(huffman, kUnits);
    free2DT(codeLengths, kUnits);
    free2DT(X, kUnits);
}
BENCHMARK(BM_UnitComplexity)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
