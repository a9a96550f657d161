// Simulated tables of 10,000 units and 50 variables, one thread: exact
// correlations, a sample from a correlated population, and a population
// with given eigenvalues.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "rhlibDim.h"
#include "rhlib_M.h"

namespace {

constexpr int kUnits = 10000, kVars = 50;

// Correlations 0.6^|i - j|: positive definite, neighbours strongly related.
double** Autocorrelation(int p) {
    double** R = dim2DT<double>(p, p);
    for (int i = 0; i < p; i++)
        for (int j = 0; j < p; j++) R[i][j] = std::pow(0.6, std::abs(i - j));
    return R;
}

template <class Simulate>
void RunCorrelated(benchmark::State& state, Simulate simulate) {
    double** R = Autocorrelation(kVars);
    double** X = dim2DT<double>(kUnits, kVars);
    InitRndNumberGenerator(1);
    for (auto _ : state) {
        simulate(R, X);
        benchmark::DoNotOptimize(X[kUnits - 1][kVars - 1]);
    }
    free2DT(X, kUnits);
    free2DT(R, kVars);
}

void BM_CorrToData(benchmark::State& state) {
    RunCorrelated(state, [&](double** R, double** X) { CorrToData(kUnits, kVars, R, X, 2); });
}
BENCHMARK(BM_CorrToData)->Unit(benchmark::kMillisecond);

void BM_CorrToDataNew(benchmark::State& state) {
    RunCorrelated(state, [&](double** R, double** X) { CorrToData_New(kUnits, kVars, R, X, 2); });
}
BENCHMARK(BM_CorrToDataNew)->Unit(benchmark::kMillisecond);

// Five non-zero eigenvalues in the proportions 5:4:3:2:1, as the data
// generator would make them from weights, the other 45 zero.
void BM_EigenToData(benchmark::State& state) {
    std::vector<double> eig(kVars, 0.0);
    for (int k = 0; k < 5; k++) eig[k] = (5 - k) * kVars / 15.0;
    std::vector<double> eigOut(kVars);
    double** X = dim2DT<double>(kUnits, kVars);
    double** corr = dim2DT<double>(kVars, kVars);
    InitRndNumberGenerator(1);
    for (auto _ : state) {
        EigenToData_D(kUnits, kUnits, kVars, 5, eig.data(), X, eigOut.data(), 1, nullptr, corr);
        benchmark::DoNotOptimize(X[kUnits - 1][kVars - 1]);
    }
    free2DT(corr, kVars);
    free2DT(X, kUnits);
}
BENCHMARK(BM_EigenToData)->Unit(benchmark::kMillisecond);

}  // namespace
