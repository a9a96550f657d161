// Linear algebra, statistics and matrix operations on large tables: the
// community-weighted product on one thread and on the whole team, matrix
// products, symmetric eigen analysis, singular value decomposition,
// correlations and sorting.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <random>
#include <vector>

#include "iflibG.h"
#include "nrutilRH.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"

namespace {

double** RandomMatrix(int n, int m, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(0, 1);
    double** a = dim2DT<double>(n, m);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) a[i][j] = u(gen);
    return a;
}

// 4,000 communities x 500 species times 500 species x 500 traits; the
// argument is the team size (0: every processor).
void BM_WeightedProduct(benchmark::State& state) {
    const int n = 4000, m = 500, p = 500;
    double** W = RandomMatrix(n, m, 1);
    double** B = RandomMatrix(m, p, 2);
    double** Y = dim2DT<double>(n, p);
    std::vector<int> weights(m, 1);
    const int saved = NumberOfThreads();
    InitMultiprocessing(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        MatrixProdSelectMV_Adjust_Weight(n, m, m, p, W, B, Y, nullptr, weights.data(), true);
        benchmark::DoNotOptimize(Y[n - 1][p - 1]);
    }
    state.counters["threads"] = NumberOfThreads();
    InitMultiprocessing(saved);
    free2DT(W, n);
    free2DT(B, m);
    free2DT(Y, n);
}
BENCHMARK(BM_WeightedProduct)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// n x n by n x n; the second argument is the team size (0: every processor).
void BM_MatrixProd(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    double** A = RandomMatrix(n, n, 3);
    double** B = RandomMatrix(n, n, 4);
    double** Y = dim2DT<double>(n, n);
    const int saved = NumberOfThreads();
    InitMultiprocessing(static_cast<int>(state.range(1)));
    for (auto _ : state) {
        MatrixProd(n, n, n, n, A, B, Y);
        benchmark::DoNotOptimize(Y[0][0]);
    }
    state.counters["threads"] = NumberOfThreads();
    InitMultiprocessing(saved);
    free2DT(A, n);
    free2DT(B, n);
    free2DT(Y, n);
}
BENCHMARK(BM_MatrixProd)->Args({500, 1})->Args({500, 0})->Unit(benchmark::kMillisecond)->UseRealTime();

// Symmetric eigen analysis (LAPACK) of n x n; below about 1,000 it runs on
// the calling thread whatever the team.
void BM_Eigen(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    double** A = RandomMatrix(n, n, 5);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < i; j++) A[i][j] = A[j][i];
    double** V = dim2DT<double>(n, n);
    std::vector<double> eig(n);
    for (auto _ : state) {
        EigenHouseholderQL_GSL_D(n, A, V, eig.data());
        benchmark::DoNotOptimize(eig[0]);
    }
    free2DT(A, n);
    free2DT(V, n);
}
BENCHMARK(BM_Eigen)->Arg(500)->Unit(benchmark::kMillisecond);

// Singular value decomposition of a 2,000 x 200 table; the argument is the
// team size (0: every processor).
void BM_Svd(benchmark::State& state) {
    const int n = 2000, m = 200;
    double** A = RandomMatrix(n, m, 11);
    double** U = dim2DT<double>(n, m);
    double** V = dim2DT<double>(m, m);
    std::vector<double> s(m);
    const int saved = NumberOfThreads();
    InitMultiprocessing(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        SingValueDecomp(n, m, A, U, s.data(), V);
        benchmark::DoNotOptimize(s[0]);
    }
    state.counters["threads"] = NumberOfThreads();
    InitMultiprocessing(saved);
    free2DT(A, n);
    free2DT(U, n);
    free2DT(V, m);
}
BENCHMARK(BM_Svd)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// Correlations between 1,000 rows of 300 values (resemblance measure 17),
// complete (0) or with a missing value (1); the second argument is the team
// size (0: every processor).
void BM_CorrelationMV(benchmark::State& state) {
    const int n = 1000, m = 300;
    double** X = RandomMatrix(n, m, 6);
    if (state.range(0)) X[0][0] = MISSING;  // switches to pairwise correlations
    double** R = dim2DT<double>(n, n);
    const int saved = NumberOfThreads();
    InitMultiprocessing(static_cast<int>(state.range(1)));
    for (auto _ : state) {
        CorrelationMV(n, m, X, R);
        benchmark::DoNotOptimize(R[n - 1][n - 1]);
    }
    state.counters["threads"] = NumberOfThreads();
    InitMultiprocessing(saved);
    free2DT(X, n);
    free2DT(R, n);
}
BENCHMARK(BM_CorrelationMV)->ArgsProduct({{0, 1}, {1, 0}})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Sort2(benchmark::State& state) {
    const unsigned long n = 1000000;
    std::mt19937_64 gen(7);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<double> original(n + 1), arr(n + 1), brr(n + 1);
    for (unsigned long i = 1; i <= n; i++) original[i] = u(gen);
    for (auto _ : state) {
        state.PauseTiming();
        arr = original;
        for (unsigned long i = 1; i <= n; i++) brr[i] = static_cast<double>(i);
        state.ResumeTiming();
        sort2(n, arr.data(), brr.data());
        benchmark::DoNotOptimize(arr[1]);
    }
}
BENCHMARK(BM_Sort2)->Unit(benchmark::kMillisecond);

}  // namespace
