// Linear-algebra routines: allocator, Gauss-Jordan, Cholesky, sorting,
// ranking and the Householder/QL eigen analysis.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "nrutilRH.h"
#include "rhlibDim.h"

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

// 0-based n x n matrix from rows.
double** Matrix(const std::vector<std::vector<double>>& rows) {
    const int n = static_cast<int>(rows.size());
    const int m = static_cast<int>(rows[0].size());
    double** a = dim2DT<double>(n, m);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) a[i][j] = rows[i][j];
    return a;
}

// ---------------------------------------------------------------------------
// Allocator and fatal end
// ---------------------------------------------------------------------------

TEST(NrAllocator, ShiftedRangesAreUsable) {
    double* v = dvector(1, 5);
    for (long i = 1; i <= 5; i++) v[i] = static_cast<double>(i);
    EXPECT_EQ(v[5], 5.0);
    free_dvector(v, 1, 5);

    int* iv = ivector(0, 3);
    iv[0] = 1;
    iv[3] = 4;
    free_ivector(iv, 0, 3);

    unsigned long* lv = lvector(1, 1);
    lv[1] = 7;
    free_lvector(lv, 1, 1);

    unsigned char* cv = cvector(1, 0);  // empty range
    free_cvector(cv, 1, 0);
    float* fv = vector(1, 2);
    fv[2] = 1.5f;
    free_vector(fv, 1, 2);

    // One contiguous block: row i + 1 starts where row i ends.
    double** m = dmatrix(1, 3, 1, 4);
    EXPECT_EQ(m[2], m[1] + 4);
    EXPECT_EQ(m[3], m[2] + 4);
    m[3][4] = 9.0;
    free_dmatrix(m, 1, 3, 1, 4);

    int** im = imatrix(0, 2, 0, 1);
    im[2][1] = 3;
    free_imatrix(im, 0, 2, 0, 1);

    double** none = dmatrix(1, 0, 1, 0);  // no rows, no columns
    free_dmatrix(none, 1, 0, 1, 0);

    // free_matrix releases what dmatrix made; free_submatrix the row pointers
    // alone, here after the rows went as the vector they are (from index ncl).
    // The sanitizer build finds a block freed twice, wrongly or not at all.
    double** a = dmatrix(1, 2, 1, 3);
    free_matrix(a, 1, 2, 1, 3);
    double** b = dmatrix(0, 1, 2, 4);
    EXPECT_EQ(b[1], b[0] + 3);
    free_dvector(b[0], 2, 7);
    free_submatrix(b, 0, 1, 2, 4);
}

TEST(NrAllocatorDeathTest, NrerrorEndsWithItsMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(nrerror("NSTACK too small in sort2."), testing::ExitedWithCode(1),
                "^NSTACK too small in sort2.\nSorry, you have to quit and restart the program.\n$");
}

TEST(NrConvert, RoundTripBetweenZeroAndOneBased) {
    double** a = Matrix({{1, 2, 3}, {4, 5, 6}});
    double** a1 = dim2DT<double>(3, 4);
    Convertn_n1(2, 3, a, a1);
    EXPECT_EQ(a1[1][1], 1.0);
    EXPECT_EQ(a1[2][3], 6.0);
    EXPECT_EQ(a1[0][0], 0.0);  // row 0 and column 0 stay unused
    double** back = dim2DT<double>(2, 3);
    Convertn1_n(2, 3, a1, back);
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 3; j++) EXPECT_EQ(back[i][j], a[i][j]);
    free2DT(a, 2);
    free2DT(a1, 3);
    free2DT(back, 2);
}

// ---------------------------------------------------------------------------
// Gauss-Jordan elimination
// ---------------------------------------------------------------------------

TEST(GaussJordan, InverseOfTwoByTwo) {
    double** a = Matrix({{4, 7}, {2, 6}});
    double** inv = dim2DT<double>(2, 2);
    ASSERT_TRUE(MatrixInverse(2, 2, a, inv));
    // det = 10: inverse = (6, -7; -2, 4) / 10
    EXPECT_NEAR(inv[0][0], 0.6, 1e-15);
    EXPECT_NEAR(inv[0][1], -0.7, 1e-15);
    EXPECT_NEAR(inv[1][0], -0.2, 1e-15);
    EXPECT_NEAR(inv[1][1], 0.4, 1e-15);
    EXPECT_EQ(a[0][1], 7.0);  // the input is left as it was
    free2DT(a, 2);
    free2DT(inv, 2);
}

TEST(GaussJordan, RandomWellConditionedTimesInverseIsIdentity) {
    const int n = 6;
    std::mt19937 gen(12345);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    double** a = dim2DT<double>(n, n);
    for (int i = 0; i < n; i++) {
        for (int j = 0; j < n; j++) a[i][j] = u(gen);
        a[i][i] += 2.0 * n;  // diagonal dominance keeps it well conditioned
    }
    double** inv = dim2DT<double>(n, n);
    ASSERT_TRUE(MatrixInverse(n, n, a, inv));
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            double s = 0.0;
            for (int k = 0; k < n; k++) s += a[i][k] * inv[k][j];
            EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-13) << i << "," << j;
        }
    // In place gives the same inverse.
    double** b = dim2DT<double>(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) b[i][j] = a[i][j];
    ASSERT_TRUE(MatrixInverse(n, n, b, b));
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) EXPECT_EQ(b[i][j], inv[i][j]);
    free2DT(a, n);
    free2DT(inv, n);
    free2DT(b, n);
}

TEST(GaussJordan, SingularMatricesAreRefusedAndLeaveTheOutput) {
    // Two equal rows: elimination leaves a pivot of rounding size, not 0.
    for (auto rows : {std::vector<std::vector<double>>{{1, 49}, {1, 49}},
                      std::vector<std::vector<double>>{{0, 0}, {0, 0}},
                      std::vector<std::vector<double>>{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}},
                      std::vector<std::vector<double>>{{std::nan(""), 1}, {1, 2}},
                      std::vector<std::vector<double>>{{std::nan(""), std::nan("")},
                                                       {std::nan(""), std::nan("")}}}) {
        const int n = static_cast<int>(rows.size());
        double** a = Matrix(rows);
        double** inv = dim2DT<double>(n, n);
        inv[0][0] = 42.0;
        EXPECT_FALSE(MatrixInverse(n, n, a, inv)) << rows[0][0] << " " << rows[0][1];
        EXPECT_EQ(inv[0][0], 42.0);
        free2DT(a, n);
        free2DT(inv, n);
    }
}

TEST(GaussJordan, SolvesRightHandSidesAndReportsSingularity) {
    // 2x + y = 5, x + 3y = 10  ->  x = 1, y = 3
    double** a = dim2DT<double>(3, 3);
    double** b = dim2DT<double>(3, 2);
    a[1][1] = 2;
    a[1][2] = 1;
    a[2][1] = 1;
    a[2][2] = 3;
    b[1][1] = 5;
    b[2][1] = 10;
    CaptureStderr();
    gaussj(a, 2, b, 1);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_NEAR(b[1][1], 1.0, 1e-15);
    EXPECT_NEAR(b[2][1], 3.0, 1e-15);
    EXPECT_NEAR(a[1][1], 0.6, 1e-15);  // inverse = (3, -1; -1, 2) / 5
    EXPECT_NEAR(a[1][2], -0.2, 1e-15);

    a[1][1] = a[2][1] = 1;
    a[1][2] = a[2][2] = 49;
    CaptureStderr();
    gaussj(a, 2, b, 1);
    EXPECT_EQ(GetCapturedStderr(), "gaussj: Singular Matrix-2");
    a[1][1] = a[2][1] = 1;
    a[1][2] = a[2][2] = 49;
    CaptureStderr();
    EXPECT_FALSE(gaussj_RH(a, 2, b, 1));
    EXPECT_EQ(GetCapturedStderr(), "");
    free2DT(a, 3);
    free2DT(b, 3);
}

// ---------------------------------------------------------------------------
// Cholesky
// ---------------------------------------------------------------------------

TEST(Cholesky, KnownFactorAndIdentity) {
    // L = (2 0 0; 6 1 0; -8 5 3): A = L L'.
    double** a = Matrix({{4, 12, -16}, {12, 37, -43}, {-16, -43, 98}});
    double p[3];
    ASSERT_TRUE(choldc(a, 3, p));
    EXPECT_NEAR(p[0], 2.0, 1e-14);
    EXPECT_NEAR(p[1], 1.0, 1e-14);
    EXPECT_NEAR(p[2], 3.0, 1e-14);
    EXPECT_NEAR(a[1][0], 6.0, 1e-14);
    EXPECT_NEAR(a[2][0], -8.0, 1e-14);
    EXPECT_NEAR(a[2][1], 5.0, 1e-14);
    EXPECT_EQ(a[0][1], 12.0);  // upper triangle unchanged
    EXPECT_EQ(a[1][2], -43.0);
    free2DT(a, 3);

    double** id = Matrix({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
    ASSERT_TRUE(choldc(id, 3, p));
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(p[i], 1.0);
        for (int j = 0; j < i; j++) EXPECT_EQ(id[i][j], 0.0);
    }
    free2DT(id, 3);
}

TEST(Cholesky, NotPositiveDefiniteFails) {
    for (auto rows : {std::vector<std::vector<double>>{{1, 0}, {0, 0}},
                      std::vector<std::vector<double>>{{1, 2}, {2, 1}},
                      std::vector<std::vector<double>>{{std::nan(""), 0}, {0, 1}}}) {
        double** a = Matrix(rows);
        double p[2];
        CaptureStdout();
        EXPECT_FALSE(choldc(a, 2, p));
        EXPECT_EQ(GetCapturedStdout(), "\ncholdc failed");
        free2DT(a, 2);
    }
}

// ---------------------------------------------------------------------------
// Sorting and ranking
// ---------------------------------------------------------------------------

TEST(Sorting, SmallCasesWithCompanions) {
    double arr[] = {0, 3, 1, 2};
    double brr[] = {0, 10, 20, 30};
    sort2(3, arr, brr);
    EXPECT_EQ(std::vector<double>(arr + 1, arr + 4), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(std::vector<double>(brr + 1, brr + 4), (std::vector<double>{20, 30, 10}));

    int ia[] = {0, 3, 1, 2};
    int ib[] = {0, 10, 20, 30};
    sort2(3, ia, ib);
    EXPECT_EQ(std::vector<int>(ib + 1, ib + 4), (std::vector<int>{20, 30, 10}));

    double x[] = {0, 3, 1, 2};
    unsigned long indx[4];
    indexx(3, x, indx);
    EXPECT_EQ(std::vector<unsigned long>(indx + 1, indx + 4), (std::vector<unsigned long>{2, 3, 1}));
    EXPECT_EQ(x[1], 3.0);  // arr unchanged

    sort2(0, arr, brr);  // nothing to do, nothing touched
    indexx(0, x, indx);
    double one[] = {0, 5};
    double oneb[] = {0, 1};
    sort2(1, one, oneb);
    EXPECT_EQ(one[1], 5.0);
}

// Checks that arr[1..n] is ascending and that companion k still points at its
// original value.
void ExpectSortedWithCompanions(const std::vector<double>& original, const std::vector<double>& arr,
                                const std::vector<double>& brr) {
    std::vector<double> expected(original.begin() + 1, original.end());
    std::sort(expected.begin(), expected.end());
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), arr.begin() + 1));
    std::vector<char> seen(original.size(), 0);
    for (size_t i = 1; i < arr.size(); i++) {
        const size_t from = static_cast<size_t>(brr[i]);
        ASSERT_EQ(original[from], arr[i]);
        ASSERT_EQ(seen[from], 0);
        seen[from] = 1;
    }
}

TEST(Sorting, MillionRandomValuesMatchStdSort) {
    const size_t n = 1000000;
    std::mt19937_64 gen(7);
    std::uniform_real_distribution<double> u(-1e6, 1e6);
    std::vector<double> original(n + 1), brr(n + 1);
    for (size_t i = 1; i <= n; i++) {
        original[i] = u(gen);
        brr[i] = static_cast<double>(i);
    }
    std::vector<double> arr = original;
    sort2(n, arr.data(), brr.data());
    ExpectSortedWithCompanions(original, arr, brr);

    std::vector<unsigned long> indx(n + 1);
    indexx(n, original.data(), indx.data());
    for (size_t i = 1; i <= n; i++) ASSERT_EQ(original[indx[i]], arr[i]);
}

TEST(Sorting, AdversarialOrdersAndHeavyTiesKeepTheStackSmall) {
    const size_t n = 200000;
    std::mt19937 gen(3);
    std::vector<std::vector<double>> inputs(4, std::vector<double>(n + 1));
    for (size_t i = 1; i <= n; i++) {
        inputs[0][i] = static_cast<double>(i);              // already sorted
        inputs[1][i] = static_cast<double>(n - i);          // reversed
        inputs[2][i] = static_cast<double>(gen() % 3);      // three values
        inputs[3][i] = (i % 2) ? static_cast<double>(i) : 0;  // organ-pipe-like
    }
    for (const auto& original : inputs) {
        std::vector<double> arr = original, brr(n + 1);
        for (size_t i = 1; i <= n; i++) brr[i] = static_cast<double>(i);
        sort2(n, arr.data(), brr.data());
        ExpectSortedWithCompanions(original, arr, brr);
        std::vector<unsigned long> indx(n + 1);
        indexx(n, original.data(), indx.data());
        for (size_t i = 2; i <= n; i++) ASSERT_LE(original[indx[i - 1]], original[indx[i]]);
    }
}

TEST(Sorting, NaNValuesStayInsideTheArray) {
    // No order is defined with NaN; the sort must still only permute its own
    // elements (the sanitised build checks every access).
    std::mt19937 gen(11);
    for (int trial = 0; trial < 50; trial++) {
        const size_t n = 1 + gen() % 300;
        std::vector<double> arr(n + 1), brr(n + 1);
        for (size_t i = 1; i <= n; i++) {
            arr[i] = (gen() % 4 == 0) ? std::nan("") : static_cast<double>(gen() % 50);
            brr[i] = static_cast<double>(i);
        }
        sort2(n, arr.data(), brr.data());
        std::vector<double> b(brr.begin() + 1, brr.end());
        std::sort(b.begin(), b.end());
        for (size_t i = 0; i < n; i++) ASSERT_EQ(b[i], static_cast<double>(i + 1));
        std::vector<unsigned long> indx(n + 1);
        indexx(n, arr.data(), indx.data());
        std::vector<unsigned long> p(indx.begin() + 1, indx.end());
        std::sort(p.begin(), p.end());
        for (size_t i = 0; i < n; i++) ASSERT_EQ(p[i], i + 1);
    }
}

TEST(Ranking, TiesGetTheMeanRankAndTheTieSum) {
    double w[] = {0, 1, 2, 2, 3};
    double s = -1;
    crank(4, w, &s);
    EXPECT_EQ(std::vector<double>(w + 1, w + 5), (std::vector<double>{1, 2.5, 2.5, 4}));
    EXPECT_EQ(s, 6.0);  // one run of 2: 8 - 2

    double v[] = {0, 5, 5, 5, 7, 9, 9};
    crank(6, v, &s);
    EXPECT_EQ(std::vector<double>(v + 1, v + 7), (std::vector<double>{2, 2, 2, 4, 5.5, 5.5}));
    EXPECT_EQ(s, 24.0 + 6.0);  // runs of 3 and 2

    double none[] = {0, 1, 2, 3};
    crank(3, none, &s);
    EXPECT_EQ(s, 0.0);
    EXPECT_EQ(none[3], 3.0);
}

// ---------------------------------------------------------------------------
// Householder reduction and QL iterations
// ---------------------------------------------------------------------------

TEST(HouseholderQL, KnownAndRandomSymmetricMatrices) {
    EXPECT_DOUBLE_EQ(pythag(3, 4), 5.0);
    EXPECT_DOUBLE_EQ(pythag(3e200, 4e200), 5e200);  // no overflow
    EXPECT_EQ(pythag(0, 0), 0.0);

    // (2 1; 1 2): eigenvalues 3 and 1.
    {
        double** a = dim2DT<double>(3, 3);
        a[1][1] = a[2][2] = 2;
        a[1][2] = a[2][1] = 1;
        double d[3], e[3];
        tred2(a, 2, d, e);
        tqli(d, e, 2, a);
        eigsrt(d, a, 2);
        EXPECT_NEAR(d[1], 3.0, 1e-12);
        EXPECT_NEAR(d[2], 1.0, 1e-12);
        EXPECT_NEAR(std::fabs(a[1][1]), std::sqrt(0.5), 1e-7);
        EXPECT_NEAR(a[1][1], a[2][1], 1e-7);  // first eigenvector along (1, 1)
        free2DT(a, 3);
    }

    const int n = 7;
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> u(-2, 2);
    double** a = dim2DT<double>(n + 1, n + 1);
    double** z = dim2DT<double>(n + 1, n + 1);
    for (int i = 1; i <= n; i++)
        for (int j = 1; j <= i; j++) a[i][j] = a[j][i] = z[i][j] = z[j][i] = u(gen);
    std::vector<double> d(n + 1), e(n + 1);
    tred2(z, n, d.data(), e.data());
    tqli(d.data(), e.data(), n, z);
    eigsrt(d.data(), z, n);
    double trace = 0, sum = 0;
    for (int i = 1; i <= n; i++) {
        trace += a[i][i];
        sum += d[i];
        if (i > 1) {
            EXPECT_GE(d[i - 1], d[i]);
        }
    }
    EXPECT_NEAR(sum, trace, 1e-12);
    // A v = lambda v for every column of z.
    for (int k = 1; k <= n; k++)
        for (int i = 1; i <= n; i++) {
            double av = 0;
            for (int j = 1; j <= n; j++) av += a[i][j] * z[j][k];
            EXPECT_NEAR(av, d[k] * z[i][k], 1e-6);
        }
    free2DT(a, n + 1);
    free2DT(z, n + 1);
}

}  // namespace
