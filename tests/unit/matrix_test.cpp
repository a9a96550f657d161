// Matrix operations, eigen analysis, SVD, stopping-rule statistics and the
// conversions of principal coordinates analysis.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <random>
#include <vector>

#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlib_M.h"

namespace {

const double M = MISSING;

// Owns a 0-based matrix.
class Mat {
public:
    Mat(int n, int m, double fill = 0.0) : n_(n), m_(m), a_(dim2DT<double>(n, m)) {
        for (int i = 0; i < n; i++)
            for (int j = 0; j < m; j++) a_[i][j] = fill;
    }
    Mat(const std::vector<std::vector<double>>& rows) : Mat(static_cast<int>(rows.size()), static_cast<int>(rows[0].size())) {
        for (int i = 0; i < n_; i++)
            for (int j = 0; j < m_; j++) a_[i][j] = rows[i][j];
    }
    ~Mat() { free2DT(a_, n_); }
    Mat(const Mat&) = delete;
    Mat& operator=(const Mat&) = delete;
    operator double**() const { return a_; }
    double* operator[](int i) const { return a_[i]; }
    int rows() const { return n_; }
    int cols() const { return m_; }

private:
    int n_, m_;
    double** a_;
};

void FillRandom(const Mat& a, unsigned seed, double lo = -1, double hi = 1) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(lo, hi);
    for (int i = 0; i < a.rows(); i++)
        for (int j = 0; j < a.cols(); j++) a[i][j] = u(gen);
}

void Symmetrise(const Mat& a) {
    for (int i = 0; i < a.rows(); i++)
        for (int j = 0; j < i; j++) a[i][j] = a[j][i];
}

// Cell-by-cell product with missing terms left out (independent of the
// row-wise accumulation of the library).
double NaiveCell(const Mat& A, const Mat& B, int i, int j, int& terms) {
    double s = 0;
    terms = 0;
    for (int k = 0; k < A.cols(); k++)
        if (A[i][k] != M && B[k][j] != M) {
            s += A[i][k] * B[k][j];
            terms++;
        }
    return s;
}

// ---------------------------------------------------------------------------
// Products
// ---------------------------------------------------------------------------

TEST(Products, HandValuesMismatchAndMissingRows) {
    Mat A({{1, 2, 3}, {M, M, M}});
    Mat B({{1, 0}, {0, 1}, {2, 2}});
    Mat Y(2, 2, 5.0);
    EXPECT_EQ(MatrixProd(2, 3, 2, 2, A, B, Y), 1);  // inner dimensions differ
    EXPECT_EQ(Y[0][0], 5.0);
    EXPECT_EQ(MatrixProd(2, 3, 3, 2, A, B, Y), 0);
    EXPECT_EQ(Y[0][0], 7.0);
    EXPECT_EQ(Y[0][1], 8.0);
    EXPECT_EQ(Y[1][0], 0.0);  // every term left out: 0
    EXPECT_EQ(MatrixProdMV(2, 3, 3, 2, A, B, Y), 0);
    EXPECT_EQ(Y[0][1], 8.0);
    EXPECT_EQ(Y[1][0], M);  // ... or missing in the MV form
    EXPECT_EQ(Y[1][1], M);

    const int select[] = {0, 1};
    EXPECT_EQ(MatrixProdSelect(2, 3, 3, 2, A, B, Y, select), 0);
    EXPECT_EQ(Y[0][0], 0.0);
    EXPECT_EQ(Y[0][1], 8.0);
    const int weights[] = {1, 0, 3};
    EXPECT_EQ(MatrixProdSelectMV_Weight(2, 3, 3, 2, A, B, Y, select, weights), 0);
    EXPECT_EQ(Y[0][1], 0 * 2 + 3 * 2 * 3.0);  // 1*0*1 + 2*1*0 + 3*2*3
    EXPECT_EQ(MatrixProdSelectMV(2, 3, 3, 2, A, B, Y, select), 0);
    EXPECT_EQ(Y[0][1], 8.0);
}

TEST(Products, RandomWithMissingAgreesWithCellByCell) {
    const int n = 9, m = 13, p = 70;  // p crosses no special size
    Mat A(n, m), B(m, p), Y(n, p), Ymv(n, p);
    FillRandom(A, 1);
    FillRandom(B, 2);
    A[2][4] = M;
    B[5][7] = M;
    for (int k = 0; k < m; k++) A[3][k] = k % 2 ? M : A[3][k];
    for (int k = 0; k < m; k++)
        if (k % 2 == 0) B[k][9] = M;  // row 3 meets only missing terms in column 9
    ASSERT_EQ(MatrixProd(n, m, m, p, A, B, Y), 0);
    ASSERT_EQ(MatrixProdMV(n, m, m, p, A, B, Ymv), 0);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) {
            int terms;
            const double expected = NaiveCell(A, B, i, j, terms);
            EXPECT_EQ(Y[i][j], expected);
            EXPECT_EQ(Ymv[i][j], terms == 0 ? M : expected);
        }
    EXPECT_EQ(Ymv[3][9], M);
}

TEST(Products, TargetUpdateEqualsFullRecomputation) {
    const int n = 6, m = 7, target = 3;
    Mat B(n, m), A(m, m), Y(m, m), D(n, m), Full(n, m);
    FillRandom(B, 3, 0, 1);
    FillRandom(A, 4, 0, 1);
    B[1][2] = M;
    B[4][target] = M;
    ASSERT_EQ(MatrixProd(n, m, m, m, B, A, D), 0);
    for (int k = 0; k < m; k++)
        for (int j = 0; j < m; j++) Y[k][j] = A[k][j];
    std::mt19937 gen(8);
    std::uniform_real_distribution<double> u(0, 1);
    for (int t = 0; t < m; t++) {
        Y[target][t] = u(gen);
        Y[t][target] = u(gen);
    }
    Y[2][2] = 0.0;  // a changed diagonal entry is picked up too
    ASSERT_EQ(MatrixProdTargetMV(n, m, m, m, target, A, B, Y, D), 0);
    ASSERT_EQ(MatrixProd(n, m, m, m, B, Y, Full), 0);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) EXPECT_NEAR(D[i][j], Full[i][j], 1e-13) << i << "," << j;

    EXPECT_EQ(MatrixProdTargetMV(n, m, m - 1, m, target, A, B, Y, D), 1);
    EXPECT_EQ(MatrixProdTargetMV(n, m, m, m, m, A, B, Y, D), 1);  // target beyond the columns
}

TEST(Products, TargetUpdateWithMissingEntriesInTheChangedRow) {
    // A missing value that appears or disappears in the changed row enters or
    // leaves the product whole.
    const int n = 3, m = 4, target = 1;
    Mat B(n, m), A(m, m), Y(m, m), D(n, m), Full(n, m);
    FillRandom(B, 5, 0, 1);
    FillRandom(A, 6, 0, 1);
    A[target][0] = M;
    ASSERT_EQ(MatrixProd(n, m, m, m, B, A, D), 0);
    for (int k = 0; k < m; k++)
        for (int j = 0; j < m; j++) Y[k][j] = A[k][j];
    Y[target][0] = 0.5;
    Y[target][2] = M;
    ASSERT_EQ(MatrixProdTargetMV(n, m, m, m, target, A, B, Y, D), 0);
    ASSERT_EQ(MatrixProd(n, m, m, m, B, Y, Full), 0);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) EXPECT_NEAR(D[i][j], Full[i][j], 1e-13) << i << "," << j;
}

TEST(Products, TargetUpdateMatchesRecomputationWithMissingAnywhere) {
    // Random shapes (more columns than rows too), missing values in B and in
    // both the old and the new row and column target, changed diagonal cells;
    // D from either product form. A cell the MV form left missing counts as 0.
    std::mt19937 gen(31);
    auto value = [&]() { return gen() % 5 == 0 ? M : static_cast<double>(gen() % 100) / 10; };
    for (int trial = 0; trial < 400; trial++) {
        const int n = 1 + static_cast<int>(gen() % 5), m = 1 + static_cast<int>(gen() % 6);
        const int p = m + static_cast<int>(gen() % 3), target = static_cast<int>(gen() % m);
        Mat B(n, m), A(m, p), Y(m, p), D(n, p), Full(n, p);
        for (int i = 0; i < n; i++)
            for (int k = 0; k < m; k++) B[i][k] = value();
        for (int k = 0; k < m; k++)
            for (int j = 0; j < p; j++) Y[k][j] = A[k][j] = value();
        for (int j = 0; j < p; j++) Y[target][j] = value();
        for (int k = 0; k < m; k++) Y[k][target] = value();
        for (int k = 0; k < m; k++)
            if (gen() % 3 == 0) Y[k][k] = value();
        if (trial % 2)
            ASSERT_EQ(MatrixProdMV(n, m, m, p, B, A, D), 0);
        else
            ASSERT_EQ(MatrixProd(n, m, m, p, B, A, D), 0);
        ASSERT_EQ(MatrixProdTargetMV(n, m, m, p, target, A, B, Y, D), 0);
        ASSERT_EQ(MatrixProd(n, m, m, p, B, Y, Full), 0);
        for (int i = 0; i < n; i++)
            for (int j = 0; j < p; j++)
                ASSERT_NEAR(D[i][j] == M ? 0.0 : D[i][j], Full[i][j], 1e-9) << trial << ": " << i << "," << j;
    }
}

// The community-weighted cell computed from its definition.
double AdjustCell(const Mat& W, const Mat& B, const std::vector<int>& w, int i, int j, int mode, bool& none) {
    double total = 0, sum = 0, partial = 0;
    int terms = 0;
    for (int k = 0; k < W.cols(); k++)
        if (W[i][k] != M) total += W[i][k];
    for (int k = 0; k < W.cols(); k++) {
        if (W[i][k] == M || B[k][j] == M) continue;
        double weight = mode == 1 ? w[k] * w[j] : mode == 0 ? ((w[k] == 1 || w[j] == 1) ? 1 : 0) : w[k];
        sum += W[i][k] * B[k][j] * weight;
        partial += W[i][k];
        terms++;
    }
    none = terms == 0;
    return partial > 0 ? sum / (partial / total) : sum;
}

TEST(Products, WeightedCommunityProductOnAnyTeam) {
    const int n = 37, m = 8, p = 8;
    const std::vector<int> weights = {1, 0, 2, 1, 0, 1, 3, 0};
    const int select[] = {1, 1, 1, 0, 1, 1, 1, 1};
    const int saved = NumberOfThreads();
    // Sparse: missing traits and a selection; dense: neither (its own path).
    for (bool dense : {false, true}) {
        Mat W(n, m), B(m, p);
        FillRandom(W, 9, 0, 3);
        FillRandom(B, 10, -1, 1);
        W[3][2] = M;
        if (!dense) {
            B[4][5] = M;
            for (int k = 0; k < m; k++) B[k][6] = M;  // a column with no terms at all
        }
        const int* sel = dense ? nullptr : select;
        for (int mode : {1, 0, -1}) {
            std::vector<std::vector<double>> byTeam;
            for (int threads : {1, 4}) {
                InitMultiprocessing(threads);
                Mat Y(n, p, 42.0);
                if (mode == -1)
                    ASSERT_EQ(MatrixProdSelectMV_Adjust_Weight(n, m, m, p, W, B, Y, sel, weights.data()), 0);
                else
                    ASSERT_EQ(MatrixProdSelectMV_Adjust_Weight(n, m, m, p, W, B, Y, sel, weights.data(), mode == 1),
                              0);
                std::vector<double> flat;
                for (int i = 0; i < n; i++)
                    for (int j = 0; j < p; j++) {
                        flat.push_back(Y[i][j]);
                        if (sel != nullptr && sel[j] == 0) {
                            EXPECT_EQ(Y[i][j], 42.0);  // not selected: not written
                            continue;
                        }
                        bool none;
                        const double expected = AdjustCell(W, B, weights, i, j, mode, none);
                        if (none)
                            EXPECT_EQ(Y[i][j], M);
                        else
                            EXPECT_NEAR(Y[i][j], expected, 1e-12) << mode << " " << i << "," << j;
                    }
                byTeam.push_back(flat);
            }
            EXPECT_EQ(byTeam[0], byTeam[1]);  // identical on one thread or four
        }
        Mat Y(n, p);
        EXPECT_EQ(MatrixProdSelectMV_Adjust_Weight(n, m, m + 1, p, W, B, Y, nullptr, weights.data(), true), 1);
    }
    InitMultiprocessing(saved);
}

// Products large enough for BLAS and the team: each form against its
// definition cell by cell (MatrixProd, selected and weighted, community
// weighted in its three modes), the same bits on one thread, on eight and
// inside a parallel region (a permutation loop's iteration).
TEST(Products, LargeProductsAgreeWithTheDefinitionOnAnyTeam) {
    const int n = 300, m = 120, p = 120;  // 4.3e6 terms
    Mat A(n, m), B(m, p), W(n, m);
    FillRandom(A, 21, 0, 3);
    FillRandom(B, 22);
    FillRandom(W, 21, 0, 3);
    W[5][7] = M;
    for (int k = 0; k < m; k++) W[9][k] = M;
    std::vector<int> weights(m), select(p, 1);
    for (int k = 0; k < m; k++) weights[k] = k % 4;
    select[3] = 0;
    const int saved = NumberOfThreads();
    for (int mode = -2; mode <= 1; mode++) {  // -2: MatrixProd and the selected weighted form
        std::vector<double> byTeam[3];
        for (int run = 0; run < 3; run++) {
            InitMultiprocessing(run == 0 ? 1 : 8);
            Mat Y(n, p), S(n, p);
            auto compute = [&] {
                if (mode == -2) {
                    MatrixProd(n, m, m, p, A, B, Y);
                    MatrixProdSelectMV_Weight(n, m, m, p, A, B, S, select.data(), weights.data());
                } else if (mode == -1) {
                    MatrixProdSelectMV_Adjust_Weight(n, m, m, p, W, B, Y, nullptr, weights.data());
                } else {
                    MatrixProdSelectMV_Adjust_Weight(n, m, m, p, W, B, Y, nullptr, weights.data(), mode == 1);
                }
            };
            if (run < 2) compute();
#pragma omp parallel num_threads(4) if (run == 2)
            if (run == 2 && omp_get_thread_num() == 1) compute();
            for (int i = 0; i < n; i++) {
                byTeam[run].insert(byTeam[run].end(), Y[i], Y[i] + p);
                byTeam[run].insert(byTeam[run].end(), S[i], S[i] + p);
            }
            for (int i = 0; run == 0 && i < n; i++)
                for (int j = 0; j < p; j++) {
                    int terms;
                    bool none = false;
                    const double y = mode == -2 ? NaiveCell(A, B, i, j, terms) : AdjustCell(W, B, weights, i, j, mode, none);
                    ASSERT_NEAR(Y[i][j], none ? M : y, 1e-11) << mode << ": " << i << "," << j;
                    double s = 0.0;
                    for (int k = 0; mode == -2 && select[j] == 1 && k < m; k++) s += A[i][k] * B[k][j] * weights[k];
                    ASSERT_NEAR(S[i][j], s, 1e-11) << i << "," << j;
                }
        }
        EXPECT_EQ(byTeam[0], byTeam[1]) << mode;
        EXPECT_EQ(byTeam[0], byTeam[2]) << mode;
    }
    InitMultiprocessing(saved);
}

TEST(Products, ScalarVectorAndSums) {
    Mat A({{1, M}, {3, 4}});
    ScalarMatrixProd(2, 2, 2.0, A, A);  // in place
    EXPECT_EQ(A[0][0], 2);
    EXPECT_EQ(A[0][1], M);
    EXPECT_EQ(A[1][1], 8);
    const double x[] = {1, M, 3}, y[] = {4, 5, 6};
    EXPECT_EQ(VectorProd(3, x, y), 4 - 999 * 5 + 18);
    EXPECT_EQ(VectorProdMV(3, x, y), 22);
    Mat O(2, 3);
    VectorOuterProd(2, 3, y, y, O);
    EXPECT_EQ(O[1][2], 30);
    Mat B({{1, 1}, {1, 1}}), S(2, 2);
    EXPECT_EQ(MatrixSum(2, 2, 2, 2, B, B, S, -3), 0);
    EXPECT_EQ(S[1][0], -2);
    EXPECT_EQ(MatrixSum(2, 2, 2, 3, B, B, S, 1), 1);
}

// ---------------------------------------------------------------------------
// Copies, transposes, totals and extremes
// ---------------------------------------------------------------------------

TEST(Copies, TransposesTrianglesAndTrace) {
    const int n = 70, m = 131;  // crosses the tile edges of the transpose
    Mat A(n, m), T(m, n), C(n, m);
    FillRandom(A, 11);
    TransposeMatrix(n, m, A, T);
    CopyMatrix(n, m, A, C);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) {
            ASSERT_EQ(T[j][i], A[i][j]);
            ASSERT_EQ(C[i][j], A[i][j]);
        }

    Mat S({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    TransposeSqMatrix(3, S, S);
    EXPECT_EQ(S[0][1], 4);
    EXPECT_EQ(S[1][0], 2);
    EXPECT_EQ(S[2][0], 3);
    EXPECT_EQ(MatrixTrace(3, S), 15);
    int** I = dim2DT<int>(2, 2);
    I[0][1] = 1;
    I[1][0] = 2;
    TransposeSqMatrix(2, I, I);
    EXPECT_EQ(I[0][1], 2);
    EXPECT_EQ(I[1][0], 1);
    free2DT(I, 2);

    Mat U({{1, 2}, {9, 4}});
    UpperToLowerMatrix(2, U);
    EXPECT_EQ(U[1][0], 2);
    Mat L({{1, 9}, {3, 4}});
    LowerToUpperMatrix(2, L);
    EXPECT_EQ(L[0][1], 3);
}

TEST(Totals, PlainAndMissingAndExtremes) {
    Mat A({{1, M}, {3, 4}});
    double r[2], c[2];
    RowTotals(2, 2, A, r);
    EXPECT_EQ(r[0], 1 - 999);
    RowTotalsMV(2, 2, A, r);
    EXPECT_EQ(r[0], 1);
    ColTotalsMV(2, 2, A, c);
    EXPECT_EQ(c[0], 4);
    EXPECT_EQ(c[1], 4);
    ColTotals(2, 2, A, c);
    EXPECT_EQ(c[1], -995);
    EXPECT_EQ(MatrixTotal(2, 2, A), 8 - 999);
    EXPECT_EQ(MatrixTotalMV(2, 2, A), 8);

    const double x[] = {3, 1, 1, 3};
    EXPECT_EQ(MinVectorWhich(3, x), 1);  // the first of equal minima
    EXPECT_EQ(MaxVectorWhich(4, x), 0);
    EXPECT_EQ(MaxVectorWhich(0, x), 0);
    EXPECT_EQ(maxVector(4, x), 3);
    EXPECT_EQ(minVector(4, x), 1);
    EXPECT_EQ(maxVector(0, x), -DBL_MAX);
    EXPECT_EQ(minVector(0, x), DBL_MAX);
    const int g[] = {INT_MIN, -5};
    EXPECT_EQ(maxVector(1, g), INT_MIN + 1);  // the start value is never beaten
    EXPECT_EQ(maxVectorInt(1, g), INT_MIN);
    EXPECT_EQ(minVector(2, g), INT_MIN);
    EXPECT_EQ(minVectorInt(0, g), INT_MAX);
    EXPECT_EQ(MaxVectorWhich(2, g), 1);
    EXPECT_EQ(MinVectorWhich(2, g), 0);
}

// ---------------------------------------------------------------------------
// Eigen analysis and SVD
// ---------------------------------------------------------------------------

TEST(Eigen, KnownTwoByTwo) {
    Mat A({{2, 1}, {1, 2}}), V(2, 2);
    double eig[2];
    EXPECT_EQ(EigenHouseholderQL_GSL_D(2, A, V, eig), 1);
    EXPECT_NEAR(eig[0], 3, 1e-14);
    EXPECT_NEAR(eig[1], 1, 1e-14);
    EXPECT_NEAR(V[0][0], V[0][1], 1e-14);  // along (1, 1)
    EXPECT_NEAR(std::fabs(V[0][0]), std::sqrt(0.5), 1e-14);
    EXPECT_NEAR(V[1][0], -V[1][1], 1e-14);  // along (1, -1)

    EXPECT_EQ(EigenHouseholderQL(2, A, V, eig), 1);
    EXPECT_NEAR(eig[0], 3, 1e-12);
    EXPECT_NEAR(eig[1], 1, 1e-12);
    EXPECT_NEAR(V[0][0], V[0][1], 1e-7);
}

void ExpectEigenPairs(const Mat& A, const Mat& V, const double* eig, double tol) {
    const int n = A.rows();
    for (int k = 0; k < n; k++) {
        if (k > 0) {
            EXPECT_GE(eig[k - 1], eig[k]);
        }
        for (int l = 0; l < n; l++) {
            double dot = 0;
            for (int i = 0; i < n; i++) dot += V[k][i] * V[l][i];
            EXPECT_NEAR(dot, k == l ? 1.0 : 0.0, tol);
        }
        for (int i = 0; i < n; i++) {
            double av = 0;
            for (int j = 0; j < n; j++) av += A[i][j] * V[k][j];
            EXPECT_NEAR(av, eig[k] * V[k][i], tol) << "pair " << k;
        }
    }
}

TEST(Eigen, RandomSymmetricPairsInDescendingOrder) {
    const int n = 9;
    Mat A(n, n), V(n, n), W(n, n);
    FillRandom(A, 12);
    Symmetrise(A);
    std::vector<double> eig(n), eig2(n);
    EigenHouseholderQL_GSL_D(n, A, V, eig.data());
    ExpectEigenPairs(A, V, eig.data(), 1e-12);
    EigenHouseholderQL(n, A, W, eig2.data());
    ExpectEigenPairs(A, W, eig2.data(), 1e-6);
    for (int k = 0; k < n; k++) EXPECT_NEAR(eig[k], eig2[k], 1e-12);

    // The result may overwrite the input.
    Mat B(n, n);
    CopyMatrix(n, n, A, B);
    EigenHouseholderQL_GSL_D(n, B, B, eig2.data());
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) EXPECT_EQ(B[i][j], V[i][j]);
}

TEST(Eigen, NegativeEigenvaluesRankAndEmptyInput) {
    Mat A({{10, 0}, {0, -1}}), V(2, 2);
    double eig[2];
    EXPECT_EQ(EigenHouseholderQL_GSL_D(2, A, V, eig), 0);  // -1 / 9 is notably negative
    EXPECT_EQ(eig[0], 10);
    EXPECT_EQ(eig[1], -1);
    EXPECT_NEAR(EigenHouseholderQL_NegEigen(2, A), 1.0 / 9, 1e-15);
    Mat B({{10000, 0}, {0, -1}});
    EXPECT_EQ(EigenHouseholderQL_GSL_D(2, B, V, eig), 1);  // -1e-4 of the total: tolerated

    // Identical units: all eigenvalues 0, no division by their total.
    Mat Z(3, 3), VZ(3, 3);
    double ez[3];
    EXPECT_EQ(EigenHouseholderQL_GSL_D(3, Z, VZ, ez), 1);
    EXPECT_EQ(EigenRank(3, ez), 0);
    EXPECT_EQ(EigenHouseholderQL_NegEigen(3, Z), 0.0);
    Mat S({{0, 1}, {1, 0}});  // eigenvalues 1 and -1, total 0
    EXPECT_EQ(EigenHouseholderQL_GSL_D(2, S, V, eig), 0);

    const double e[] = {5, 3, 1e-9, -2};
    EXPECT_EQ(EigenRank(4, e), 2);  // 1e-9 is 1.25e-8 percent of 8

    double untouched = 7;
    EXPECT_EQ(EigenHouseholderQL_GSL_D(0, A, V, &untouched), 1);
    EXPECT_EQ(untouched, 7);
}

void ExpectReconstruction(const Mat& A, const Mat& U, const double* s, const Mat& V, int r) {
    for (int i = 0; i < A.rows(); i++)
        for (int j = 0; j < A.cols(); j++) {
            double x = 0;
            for (int k = 0; k < r; k++) x += U[i][k] * s[k] * V[j][k];
            EXPECT_NEAR(x, A[i][j], 1e-12);
        }
    for (int k = 1; k < r; k++) EXPECT_GE(s[k - 1], s[k]);
}

TEST(Svd, TallAndWideMatricesAreReconstructed) {
    Mat A(6, 4), U(6, 4), V(4, 4);
    FillRandom(A, 13);
    double s[4];
    ASSERT_EQ(SingValueDecomp(6, 4, A, U, s, V), 1);
    ExpectReconstruction(A, U, s, V, 4);

    // Singular values against the eigenvalues of A'A (Householder/QL route).
    Mat AtA(4, 4), E(4, 4);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            for (int k = 0; k < 6; k++) AtA[i][j] += A[k][i] * A[k][j];
    double eig[4];
    EigenHouseholderQL(4, AtA, E, eig);
    for (int k = 0; k < 4; k++) EXPECT_NEAR(s[k] * s[k], eig[k], 1e-12);

    // Fewer rows than columns: decomposed through the transpose.
    Mat B(3, 5), UB(3, 3), VB(5, 3);
    FillRandom(B, 14);
    double sb[3];
    ASSERT_EQ(SingValueDecomp(3, 5, B, UB, sb, VB), 1);
    ExpectReconstruction(B, UB, sb, VB, 3);

    EXPECT_EQ(SingValueDecomp(0, 3, B, UB, sb, VB), 1);  // nothing to decompose
}

// ---------------------------------------------------------------------------
// Stopping-rule statistics
// ---------------------------------------------------------------------------

TEST(StoppingRules, BrokenStickRvdimAndPseudoF) {
    EXPECT_NEAR(BrokenStick(1, 4), 25.0 / 48, 1e-15);  // (1 + 1/2 + 1/3 + 1/4) / 4
    EXPECT_NEAR(BrokenStick(1, 4), 0.5208, 5e-5);
    EXPECT_NEAR(BrokenStick(2, 4), 0.2708, 5e-5);
    EXPECT_NEAR(BrokenStick(3, 4), 0.1458, 5e-5);
    EXPECT_NEAR(BrokenStick(4, 4), 0.0625, 1e-15);
    EXPECT_DOUBLE_EQ(BrokenStick(1, 2), 0.75);

    const double eig[] = {4, 2, 1, 1};
    EXPECT_DOUBLE_EQ(PseudoF_eig(4, 1, eig), 4.0 / 3);  // 4 / (2 + 1)
    EXPECT_DOUBLE_EQ(PseudoF_eig(4, 2, eig), 2.0);      // 2 / 1
    EXPECT_EQ(PseudoF_eig(4, 3, eig), 0.0);             // empty sum
    EXPECT_EQ(PseudoF_eig(4, 4, eig), 0.0);
    const double zeros[] = {1, 0, 0, 0};
    EXPECT_EQ(PseudoF_eig(4, 1, zeros), 0.0);  // sum not positive

    const double rv[] = {3, 4};
    EXPECT_DOUBLE_EQ(RVDIM(2, 1, rv), 0.6);
    EXPECT_DOUBLE_EQ(RVDIM(2, 2, rv), 1.0);
    const double none[] = {0, 0};
    EXPECT_EQ(RVDIM(2, 1, none), 0.0);
}

TEST(StoppingRules, BartlettStatisticAndProbability) {
    const double eig[] = {4, 2, 3, 1};
    const int n = 10, p = 4;
    // Axes 3 and 4: S = 4, mean 2, L = ln 3.
    const double u = (10 - 19.0 / 6) * (2 * std::log(2.0) - std::log(3.0));
    EXPECT_NEAR(Bartlett_u(4, 3, eig, n, p), u, 1e-13);
    // count 4, k 3: (1 x 4) / 2 = 2 degrees of freedom, Q = exp(-u / 2).
    EXPECT_NEAR(Bartlett_uProb(4, 3, eig, n, p), std::exp(-u / 2), 1e-13);

    // An eigenvalue of 0 counts as 1e-10.
    const double withZero[] = {4, 2, 0};
    const double s = 2 + 1e-10;
    const double u0 = (12 - 17.0 / 6) * (2 * std::log(s / 2) - (std::log(2.0) + std::log(1e-10)));
    EXPECT_NEAR(Bartlett_u(3, 2, withZero, 12, 3), u0, 1e-9);

    // The last axis leaves no degrees of freedom: nothing is significant, and
    // an axis beyond the count never reaches a GSL domain error.
    EXPECT_EQ(Bartlett_uProb(4, 4, eig, n, p), 1.0);
    EXPECT_EQ(Bartlett_uProb(3, 4, eig, n, p), 1.0);
    EXPECT_EQ(Bartlett_uProb(3, 5, eig, n, p), 1.0);
}

// ---------------------------------------------------------------------------
// Conversions for principal coordinates
// ---------------------------------------------------------------------------

TEST(PrincipalCoordinates, DoubleCentringGivesCentredCrossProducts) {
    const int n = 6, d = 3;
    Mat X(n, d);
    FillRandom(X, 15, 0, 5);
    // Cross-products of the column-centred data.
    Mat C(n, n);
    for (int t = 0; t < d; t++) {
        double mean = 0;
        for (int i = 0; i < n; i++) mean += X[i][t] / n;
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) C[i][j] += (X[i][t] - mean) * (X[j][t] - mean);
    }
    Mat D(n, n), Sq(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            double s = 0;
            for (int t = 0; t < d; t++) s += (X[i][t] - X[j][t]) * (X[i][t] - X[j][t]);
            Sq[i][j] = s;
            D[i][j] = std::sqrt(s);
        }
    Mat G(n, n, -1.0);
    DissToCenterProdMatrix(n, D, G, false);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            if (j >= i)
                EXPECT_NEAR(G[i][j], C[i][j], 1e-12);
            else
                EXPECT_EQ(G[i][j], -1.0);  // the lower triangle is left to the caller
        }
    DissToCenterProdMatrix(n, Sq, Sq, true);  // in place, already squared
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) EXPECT_NEAR(Sq[i][j], C[i][j], 1e-12);

    Mat F(n, n);
    GowerMatrixCentering(n, D, F, true);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) EXPECT_NEAR(F[i][j], C[i][j], 1e-12);
    GowerMatrixCentering(n, D, D, true);  // in place
    EXPECT_NEAR(D[4][1], C[4][1], 1e-12);

    // Points 0, 1, 2 on a line: rows of the mirrored result sum to zero.
    Mat L({{0, 1, 2}, {1, 0, 1}, {2, 1, 0}}), GL(3, 3);
    DissToCenterProdMatrix(3, L, GL, false);
    UpperToLowerMatrix(3, GL);
    for (int i = 0; i < 3; i++) EXPECT_NEAR(GL[i][0] + GL[i][1] + GL[i][2], 0, 1e-15);
    EXPECT_NEAR(GL[0][0], 1, 1e-15);  // (0 - 1)^2
}

TEST(PrincipalCoordinates, CrossProductsBackToSquaredDistances) {
    const int n = 5, d = 2;
    Mat X(n, d), S(n, n);
    FillRandom(X, 16);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) S[i][j] = X[i][0] * X[j][0] + X[i][1] * X[j][1];
    auto sq = [&](int i, int j) {
        return (X[i][0] - X[j][0]) * (X[i][0] - X[j][0]) + (X[i][1] - X[j][1]) * (X[i][1] - X[j][1]);
    };
    Mat D(n, n, -1.0);
    ProdToSqDist(n, S, D);
    ProdToSqDist(n, S, S);  // in place
    for (int i = 0; i < n; i++) {
        EXPECT_EQ(D[i][i], 0.0);
        EXPECT_EQ(S[i][i], 0.0);
        for (int j = i + 1; j < n; j++) {
            EXPECT_NEAR(D[i][j], sq(i, j), 1e-14);
            EXPECT_NEAR(S[i][j], sq(i, j), 1e-14);
            EXPECT_EQ(D[j][i], -1.0);
        }
    }
}

TEST(PrincipalCoordinates, ElementwiseConversions) {
    Mat A({{2, -3}, {99, 4}});
    SquareSqMatrix(2, A, A);
    EXPECT_EQ(A[0][1], 9);
    EXPECT_EQ(A[1][0], 9);
    EXPECT_EQ(A[1][1], 16);
    SquareRootSqMatrix(2, A, A);
    EXPECT_EQ(A[1][0], 3);
    Mat R({{1, 0.25}, {0, 1}}), D(2, 2, 5.0);
    CorrToSqDist(2, R, D);
    EXPECT_EQ(D[0][0], 0);
    EXPECT_EQ(D[0][1], 1.5);
    EXPECT_EQ(D[1][0], 1.5);
    ProbToDissim(2, R, D);
    EXPECT_EQ(D[1][0], 0.75);
    EXPECT_EQ(D[1][1], 0);
}

TEST(PrincipalCoordinates, ScoreCorrelations) {
    const int n = 8, nVar = 3;
    Mat scores(3, n), data(n, nVar), byVar(nVar, n);
    FillRandom(scores, 17);
    FillRandom(data, 18);
    for (int i = 0; i < n; i++)
        for (int k = 0; k < nVar; k++) byVar[k][i] = data[i][k];
    auto pearson = [&](const double* x, int k) {
        double mx = 0, my = 0;
        for (int i = 0; i < n; i++) {
            mx += x[i] / n;
            my += data[i][k] / n;
        }
        double sxy = 0, sxx = 0, syy = 0;
        for (int i = 0; i < n; i++) {
            sxy += (x[i] - mx) * (data[i][k] - my);
            sxx += (x[i] - mx) * (x[i] - mx);
            syy += (data[i][k] - my) * (data[i][k] - my);
        }
        return sxy / std::sqrt(sxx * syy);
    };
    Mat R(nVar, 2), Rv(nVar, 2, 9.0);
    ScoreCorrComp(3, n, scores, data, nVar, 0, 2, R);  // at most 2 axes
    ScoreCorrComp(3, n, scores, byVar, nVar, 1, 2, Rv);
    for (int k = 0; k < nVar; k++)
        for (int a = 0; a < 2; a++) {
            EXPECT_NEAR(R[k][a], pearson(scores[a], k), 1e-13);
            EXPECT_NEAR(Rv[k][a], R[k][a], 1e-15);
        }
}

}  // namespace
