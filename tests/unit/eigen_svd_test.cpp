// Symmetric eigen analysis and singular value decomposition against
// references made here: matrices built with a known spectrum, Jacobi
// rotations, and the matrix rebuilt from its decomposition.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "matrix_util.h"
#include "reference_eigen.h"
#include "rhlib_M.h"

namespace {

using refeig::Matrix;
using refeig::Vec;
using testmat::Table;

void Put(const Matrix& m, const Table& t) {
    for (int i = 0; i < t.rows; i++)
        for (int j = 0; j < t.cols; j++) t[i][j] = m[i][j];
}

Matrix RandomSymmetric(int n, unsigned seed) {
    std::mt19937 g(seed);
    std::uniform_real_distribution<double> u(-1, 1);
    Matrix a(n, Vec(n));
    for (int i = 0; i < n; i++)
        for (int j = 0; j <= i; j++) a[i][j] = a[j][i] = u(g);
    return a;
}

// Q diag(values) Q' with Q a product of Householder reflections I - 2uu'
// (u of unit length): its eigenvalues are the given ones, whatever Q.
Matrix WithSpectrum(const Vec& values, unsigned seed) {
    const size_t n = values.size();
    Matrix a(n, Vec(n, 0.0));
    for (size_t i = 0; i < n; i++) a[i][i] = values[i];
    std::mt19937 g(seed);
    std::normal_distribution<double> z;
    for (int r = 0; r < 12 && n > 1; r++) {
        Vec u(n);
        double norm = 0;
        for (double& x : u) x = z(g), norm += x * x;
        for (double& x : u) x /= std::sqrt(norm);
        // H A H = A - 2 u w' - 2 w u' + 4 (u'w) u u', w = A u.
        Vec w(n, 0.0);
        for (size_t i = 0; i < n; i++)
            for (size_t j = 0; j < n; j++) w[i] += a[i][j] * u[j];
        double uw = 0;
        for (size_t i = 0; i < n; i++) uw += u[i] * w[i];
        for (size_t i = 0; i < n; i++)
            for (size_t j = 0; j < n; j++) a[i][j] += -2 * u[i] * w[j] - 2 * w[i] * u[j] + 4 * uw * u[i] * u[j];
    }
    return a;
}

// The sign every vector must carry: its first component within a relative
// 1e-9 of the largest magnitude is positive.
Vec WithRuleSign(Vec v) {
    double largest = 0;
    for (double x : v) largest = std::max(largest, std::fabs(x));
    for (double x : v)
        if (std::fabs(x) >= largest * (1 - 1e-9)) {
            if (x < 0)
                for (double& y : v) y = -y;
            break;
        }
    return v;
}

double LargestMagnitude(const Vec& v) {
    double m = 0;
    for (double x : v) m = std::max(m, std::fabs(x));
    return m;
}

// A v = lambda v for every pair, V V' = I, eigenvalues descending, and every
// row of V under the sign rule; tolerances relative to the largest |lambda|.
void ExpectEigenPairs(const Matrix& A, const Table& V, const Vec& eig, double tol) {
    const int n = static_cast<int>(A.size());
    const double scale = std::max(1.0, LargestMagnitude(eig));
    for (int k = 0; k < n; k++) {
        if (k > 0) {
            EXPECT_GE(eig[k - 1], eig[k]);
        }
        double residual = 0, orthogonality = 0;
        for (int i = 0; i < n; i++) {
            double av = 0;
            for (int j = 0; j < n; j++) av += A[i][j] * V[k][j];
            residual = std::max(residual, std::fabs(av - eig[k] * V[k][i]));
        }
        for (int l = 0; l <= k; l++) {
            double dot = 0;
            for (int i = 0; i < n; i++) dot += V[k][i] * V[l][i];
            orthogonality = std::max(orthogonality, std::fabs(dot - (k == l ? 1.0 : 0.0)));
        }
        EXPECT_LE(residual, tol * scale) << "pair " << k << " of " << n;
        EXPECT_LE(orthogonality, tol) << "pair " << k << " of " << n;
        Vec row(V[k], V[k] + n);
        EXPECT_EQ(WithRuleSign(row), row) << "sign of vector " << k << " of " << n;
    }
}

struct Analysis {
    Table V;
    Vec eig;
    int result;
    Analysis(const Matrix& a) : V(static_cast<int>(a.size()), static_cast<int>(a.size())), eig(a.size()) {
        const int n = static_cast<int>(a.size());
        Table A(n, n);
        Put(a, A);
        result = EigenHouseholderQL_GSL_D(n, A.x, V.x, eig.data());
    }
    bool SameBits(const Analysis& o) const {
        for (int k = 0; k < V.rows; k++)
            for (int i = 0; i < V.cols; i++)
                if (V[k][i] != o.V[k][i]) return false;
        return eig == o.eig;
    }
};

// Repeated and negative eigenvalues, from 1 x 1 to 300 x 300.
TEST(EigenPairs, KnownSpectraWithRepeatedAndNegativeValues) {
    auto cyclic = [](int n, int period, double shift, double step) {
        Vec v(n);
        for (int i = 0; i < n; i++) v[i] = (i % period - shift) * step;
        return v;
    };
    Vec big = cyclic(300, 13, 4.5, 0.75);
    big[0] = 80, big[1] = -40, big[2] = 80;
    const std::vector<Vec> spectra = {
        {-3.0}, {2.0, 2.0}, {4.0, -1.0}, cyclic(50, 7, 3, 1.0), big,
    };
    for (const Vec& values : spectra) {
        const Matrix A = WithSpectrum(values, static_cast<unsigned>(values.size()));
        Analysis r(A);
        Vec expected = values;
        std::sort(expected.rbegin(), expected.rend());
        const double scale = LargestMagnitude(expected);
        for (size_t k = 0; k < expected.size(); k++)
            EXPECT_NEAR(r.eig[k], expected[k], 1e-10 * scale) << k << " of " << expected.size();
        ExpectEigenPairs(A, r.V, r.eig, 1e-10);
    }
}

// Distinct eigenvalues fix each eigenvector up to its sign, so under the
// sign rule Jacobi's vectors and the library's are the same vectors.
TEST(EigenPairs, AgreeWithJacobiRotationsUnderTheSignRule) {
    const double h = std::sqrt(0.5);
    // (1, 1) and (1, -1): tied components, the first decides.
    {
        Analysis r({{2, 1}, {1, 2}});
        EXPECT_EQ(r.result, 1);
        EXPECT_NEAR(r.eig[0], 3, 1e-14);
        EXPECT_NEAR(r.eig[1], 1, 1e-14);
        EXPECT_NEAR(r.V[0][0], h, 1e-14);
        EXPECT_NEAR(r.V[0][1], h, 1e-14);
        EXPECT_NEAR(r.V[1][0], h, 1e-14);
        EXPECT_NEAR(r.V[1][1], -h, 1e-14);
    }
    for (int n : {1, 2, 50}) {
        const Matrix A = RandomSymmetric(n, 40 + n);
        const refeig::Eigen ref = refeig::Jacobi(A);
        Analysis r(A);
        Table T(n, n);
        Put(A, T);
        double negative = 0, total = 0;
        for (int k = 0; k < n; k++) total += ref.values[k];
        for (int k = 0; k < n; k++) {
            EXPECT_NEAR(r.eig[k], ref.values[k], 1e-12) << k << " of " << n;
            if (ref.values[k] / total < -0.001) negative -= ref.values[k] / total;
            const Vec v = WithRuleSign(ref.vectors[k]);
            for (int i = 0; i < n; i++) EXPECT_NEAR(r.V[k][i], v[i], 1e-9) << "vector " << k << " of " << n;
        }
        EXPECT_NEAR(EigenHouseholderQL_NegEigen(n, T.x), negative, 1e-11 * negative) << n;
    }
}

// Below the size at which the team is used, the analysis gives the same bits
// on any team; inside a parallel region (an iteration of a loop) it runs on
// its own thread and gives the one-thread bits at any size. Above it, it runs
// on at most the team the caller set, and agrees with one thread to
// rounding.
TEST(EigenPairs, SameResultsOnOneAndOnAllThreads) {
    const int saved = omp_get_max_threads();
    const int all = std::max(2, omp_get_num_procs());
    const Matrix small = RandomSymmetric(300, 7), large = RandomSymmetric(1200, 8);

    omp_set_num_threads(1);
    Analysis small1(small), large1(large);
    Table X(300, 40), U1(300, 40), V1(40, 40), U(300, 40), V(40, 40);
    Put(RandomSymmetric(300, 9), X);  // its first 40 columns
    Vec s1(40), s(40);
    ASSERT_EQ(SingValueDecomp(300, 40, X.x, U1.x, s1.data(), V1.x), 1);

    omp_set_num_threads(all);
    Analysis smallAll(small);
    EXPECT_TRUE(smallAll.SameBits(small1));
    EXPECT_EQ(omp_get_max_threads(), all);  // the caller's team is left as it was
    ASSERT_EQ(SingValueDecomp(300, 40, X.x, U.x, s.data(), V.x), 1);
    EXPECT_EQ(s, s1);
    for (int i = 0; i < 300; i++)
        for (int k = 0; k < 40; k++) EXPECT_EQ(U[i][k], U1[i][k]);

    int differing = 0;
#pragma omp parallel num_threads(2) reduction(+ : differing)
    {
        Analysis mine(large);
        if (!mine.SameBits(large1)) differing++;
    }
    EXPECT_EQ(differing, 0);

    EXPECT_EQ(LapackThreads(300.0 * 300 * 300), 1);
    const int threads = LapackThreads(1200.0 * 1200 * 1200);
    EXPECT_GE(threads, 1);
    EXPECT_LE(threads, all);
    // Asked for a dynamic team, OpenMP sizes it by the load average.
    omp_set_dynamic(1);
    const Analysis run(large);
    for (int k = 0; k < 1200; k++) {
        EXPECT_NEAR(run.eig[k], large1.eig[k], 1e-10 * std::fabs(large1.eig[0])) << k;
        for (int i = 0; i < 1200 && k < 5; i++) EXPECT_NEAR(run.V[k][i], large1.V[k][i], 1e-8) << k << " " << i;
    }
    EXPECT_EQ(omp_get_max_threads(), all);
    EXPECT_TRUE(omp_get_dynamic());
    omp_set_dynamic(0);
    omp_set_num_threads(saved);
}

// LAPACK's team is cut by the threads other programs run on the machine,
// counted against the machine's processors: a program held to 8 of 64
// processors keeps its 8 while the other 56 are busy.
TEST(EigenPairs, FreeProcessorsCountTheWholeMachine) {
    struct Case {
        int usable, online, running, free;
    } cases[] = {{8, 8, 1, 8},   {8, 8, 4, 5},   {8, 8, 30, 1}, {8, 64, 57, 8}, {8, 64, 60, 5},
                 {8, 64, 200, 1}, {1, 64, 1, 1}, {8, 4, 2, 7},  {8, 8, 0, 8}};
    for (const Case& c : cases)
        EXPECT_EQ(FreeProcessorsOf(c.usable, c.online, c.running), c.free)
            << c.usable << " of " << c.online << ", " << c.running << " running";
}

// A NaN makes LAPACK's solver run without end, an infinity gives NaN as if
// nothing had happened: neither reaches it.
TEST(EigenPairs, MatrixThatIsNotFiniteGivesNaNAndFailure) {
    const double inf = std::numeric_limits<double>::infinity();
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), inf, -inf}) {
        Matrix a = RandomSymmetric(6, 3);
        a[4][1] = a[1][4] = bad;
        Analysis r(a);
        EXPECT_EQ(r.result, 0);
        for (int k = 0; k < 6; k++) {
            EXPECT_TRUE(std::isnan(r.eig[k]));
            for (int i = 0; i < 6; i++) EXPECT_TRUE(std::isnan(r.V[k][i]));
        }
        Table A(6, 6);
        testmat::Square U(6, 5.0), V(6, 5.0);
        Put(a, A);
        EXPECT_TRUE(std::isnan(EigenHouseholderQL_NegEigen(6, A.x)));
        double s[6] = {5, 5, 5, 5, 5, 5};
        EXPECT_EQ(SingValueDecomp(6, 6, A.x, U.x, s, V.x), 0);
        EXPECT_EQ(s[0], 5.0);  // nothing written
        EXPECT_EQ(U[0][0], 5.0);
    }
}

// A = U diag(s) V' with orthonormal columns, whatever the shape and rank;
// the rule decides each pair's sign on its right vector, the column of V.
TEST(Svd, TallWideAndRankDeficientMatricesAreRebuilt) {
    struct Shape {
        int n, m, rank;  // rank 0: full
    };
    for (const Shape& sh : std::vector<Shape>{{7, 4, 0}, {4, 7, 0}, {300, 40, 0}, {40, 300, 0}, {9, 6, 2},
                                              {6, 9, 2}, {1, 1, 0}, {1, 5, 0}, {5, 1, 0}}) {
        const int n = sh.n, m = sh.m, r = std::min(n, m);
        std::mt19937 g(n * 100 + m);
        std::uniform_real_distribution<double> u(-1, 1);
        Matrix a(n, Vec(m, 0.0));
        if (sh.rank == 0) {
            for (auto& row : a)
                for (double& x : row) x = u(g);
        } else {
            for (int q = 0; q < sh.rank; q++) {
                Vec x(n), y(m);
                for (double& v : x) v = u(g);
                for (double& v : y) v = u(g);
                for (int i = 0; i < n; i++)
                    for (int j = 0; j < m; j++) a[i][j] += x[i] * y[j];
            }
        }
        Table A(n, m), U(n, r), V(m, r);
        Put(a, A);
        Vec s(r);
        ASSERT_EQ(SingValueDecomp(n, m, A.x, U.x, s.data(), V.x), 1) << n << " x " << m;
        const std::string shape = std::to_string(n) + " x " + std::to_string(m);
        for (int i = 0; i < n; i++)
            for (int j = 0; j < m; j++) {
                double x = 0;
                for (int k = 0; k < r; k++) x += U[i][k] * s[k] * V[j][k];
                EXPECT_NEAR(x, a[i][j], 1e-12) << shape;
            }
        auto orthonormal = [&](const Table& F, int rows) {
            for (int k = 0; k < r; k++)
                for (int l = 0; l <= k; l++) {
                    double dot = 0;
                    for (int i = 0; i < rows; i++) dot += F[i][k] * F[i][l];
                    EXPECT_NEAR(dot, k == l ? 1.0 : 0.0, 1e-12) << shape;
                }
        };
        orthonormal(U, n);
        orthonormal(V, m);

        // s squared are the eigenvalues of the smaller cross-product; for
        // tall shapes, V's columns are the eigenvectors of A'A.
        const bool tall = m <= n;
        Matrix gram(r, Vec(r, 0.0));
        for (int i = 0; i < r; i++)
            for (int j = 0; j < r; j++)
                for (int k = 0; k < (tall ? n : m); k++) gram[i][j] += tall ? a[k][i] * a[k][j] : a[i][k] * a[j][k];
        const refeig::Eigen ref = refeig::Jacobi(gram);
        const int rank = sh.rank ? sh.rank : r;
        for (int k = 0; k < r; k++) {
            if (k > 0) {
                EXPECT_GE(s[k - 1], s[k]) << shape;
            }
            if (k >= rank) {
                EXPECT_NEAR(s[k], 0.0, 1e-12) << shape;
                continue;
            }
            EXPECT_NEAR(s[k] * s[k], ref.values[k], 1e-11) << shape;
            if (!tall) continue;
            const Vec v = WithRuleSign(ref.vectors[k]);
            for (int j = 0; j < m; j++) EXPECT_NEAR(V[j][k], v[j], 1e-9) << shape << " pair " << k;
        }
    }
}

}  // namespace
