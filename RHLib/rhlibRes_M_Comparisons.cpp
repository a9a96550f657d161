// ===========================================================================
// Matrix comparisons
// ===========================================================================

#include "rhlibRes_M.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "rhlibDim.h"
#include "rhlib_M.h"

namespace compare_detail {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

inline bool Missing(double x) { return x == MISSING; }

// Pearson's r from the centred sums; 0 when either side has no spread, NaN
// when a sum is not a number (a matrix holding NaN or an infinity has no
// correlation to report, and 0 would pass for "no relation").
inline double Correlation(double sxy, double sxx, double syy) {
    if (std::isnan(sxy) || std::isnan(sxx) || std::isnan(syy)) return NaN;
    return sxx > 0.0 && syy > 0.0 ? sxy / std::sqrt(sxx * syy) : 0.0;
}

// Calls f(a, b) for every pair i < j in which neither A nor B holds MISSING.
template <class F>
void ForEachPair(int n, double** A, double** B, F&& f) {
    for (int i = 0; i < n; i++) {
        const double* a = A[i];
        const double* b = B[i];
        for (int j = i + 1; j < n; j++)
            if (!Missing(a[j]) && !Missing(b[j])) f(a[j], b[j]);
    }
}

// Pearson correlation of the pairs that each(f) hands to f(a, b), in two
// passes (means, then centred sums) so that large common offsets cost no
// precision. 0 when either side has no spread.
template <class Each>
double Pearson(Each&& each) {
    double sa = 0.0, sb = 0.0;
    long long m = 0;
    each([&](double a, double b) {
        sa += a;
        sb += b;
        m++;
    });
    if (m < 2) return 0.0;
    const double ma = sa / m, mb = sb / m;
    double saa = 0.0, sbb = 0.0, sab = 0.0;
    each([&](double a, double b) {
        const double da = a - ma, db = b - mb;
        saa += da * da;
        sbb += db * db;
        sab += da * db;
    });
    return Correlation(sab, saa, sbb);
}

template <class Keep>
double PairPearson(int n, double** A, double** B, Keep keep) {
    return Pearson([&](auto f) {
        ForEachPair(n, A, B, [&](double a, double b) {
            if (keep(a, b)) f(a, b);
        });
    });
}

bool HasMissingUpper(int n, double** A) {
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++)
            if (Missing(A[i][j])) return true;
    return false;
}

// The columns of X (n x p) centred over their non-missing values into C (n x
// at least p), missing cells then set to 0 so that they add nothing to a
// cross-product. Missing is read from X: a centred value may be -999 without
// being missing.
void CentreZeroFill(int n, int p, double** X, double** C) {
    CenterColsMV(n, p, X, C);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++)
            if (Missing(X[i][j])) C[i][j] = 0.0;
}

// <A A', B B'>, <A A', A A'> and <B B', B B'> (Frobenius products of the n x
// n inner-product matrices), by whichever of two exact routes is cheaper: the
// inner products pair by pair (n^2 (a + b)) or the sums of squares of the
// cross-products A' B, A' A and B' B (n (a + b)^2).
void GramProducts(int n, int a, int b, double** A, double** B, double& ab, double& aa, double& bb) {
    ab = aa = bb = 0.0;
    if (n < a + b) {
        for (int i = 0; i < n; i++)
            for (int j = i; j < n; j++) {
                double ga = 0.0, gb = 0.0;
                for (int k = 0; k < a; k++) ga += A[i][k] * A[j][k];
                for (int k = 0; k < b; k++) gb += B[i][k] * B[j][k];
                const double w = i == j ? 1.0 : 2.0;
                ab += w * ga * gb;
                aa += w * ga * ga;
                bb += w * gb * gb;
            }
        return;
    }
    auto squares = [n](int r, int c, double** L, double** R) {
        ScopedMatrix<double> C(r, c);
        CrossProductCols(n, r, c, L, R, C);
        double s = 0.0;
        for (int i = 0; i < r; i++)
            for (int j = 0; j < c; j++) s += C[i][j] * C[i][j];
        return s;
    };
    ab = squares(a, b, A, B);
    aa = squares(a, a, A, A);
    bb = squares(b, b, B, B);
}

double RVFrom(double ab, double aa, double bb) {
    const double d = aa * bb;
    return d > 0.0 ? ab / std::sqrt(d) : NaN;
}

// X (n x p) standardised for Procrustes into S (n x k, k >= p, columns from
// p left as the caller made them): columns centred over their non-missing
// values, missing cells 0, the whole scaled to a total sum of squares of
// n - 1 (as GowerStandardizationCols, which would take a centred -999 for a
// missing value).
void ProcrustesStandardised(int n, int p, double** X, double** S) {
    CentreZeroFill(n, p, X, S);
    double ss = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) ss += S[i][j] * S[i][j];
    const double v = ss / (n > 1 ? n - 1 : 1), d = v > 0.0 ? std::sqrt(v) : 1.0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) S[i][j] /= d;
}

// SX (n x cx, cx >= p) and SY (n x cy, cy >= q): X and Y standardised,
// zero-filled beyond their own columns; C (cx x cy) = SX' SY / (n - 1).
void ProcrustesCross(int n, int p, int q, double** X, double** Y, int cx, int cy, double** SX, double** SY,
                     double** C) {
    ProcrustesStandardised(n, p, X, SX);
    ProcrustesStandardised(n, q, Y, SY);
    CrossProductCols(n, cx, cy, SX, SY, C);
    ScalarMatrixProd(cx, cy, 1.0 / (n > 1 ? n - 1 : 1), C, C);
}

// Sum of the singular values of C (r x c); U, s and V as SingValueDecomp
// gives them. Returns false when the decomposition fails.
bool SingularSum(int r, int c, double** C, double** U, double* s, double** V, double& sum) {
    sum = 0.0;
    if (!SingValueDecomp(r, c, C, U, s, V)) return false;
    for (int k = 0; k < std::min(r, c); k++) sum += s[k];
    return true;
}

// The partial correlation of A and B given Z from the three correlations.
double PartialFromCorrelations(double rAB, double rAZ, double rBZ) {
    // A or B a linear function of Z: undefined, also when rounding leaves
    // 1 - r^2 a hair above 0.
    const double eps = 1e-12;
    const double da = 1.0 - rAZ * rAZ, db = 1.0 - rBZ * rBZ;
    if (!(da > eps) || !(db > eps)) return NaN;
    return (rAB - rAZ * rBZ) / std::sqrt(da * db);
}

// The (1 - s) copy of a similarity matrix, MISSING kept.
void Complement(int n, double** S, double** D) {
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) D[i][j] = Missing(S[i][j]) ? MISSING : 1.0 - S[i][j];
}

}  // namespace compare_detail

double MatrixCorr(int n, double** A, double** B) {
    return compare_detail::PairPearson(n, A, B, [](double, double) { return true; });
}

double PartialMatrixCorr(int n, double** A, double** B, double** Z) {
    using compare_detail::Missing;
    auto each = [&](auto f) {
        for (int i = 0; i < n; i++)
            for (int j = i + 1; j < n; j++) {
                const double a = A[i][j], b = B[i][j], z = Z[i][j];
                if (!Missing(a) && !Missing(b) && !Missing(z)) f(a, b, z);
            }
    };
    double sa = 0.0, sb = 0.0, sz = 0.0;
    long long m = 0;
    each([&](double a, double b, double z) {
        sa += a;
        sb += b;
        sz += z;
        m++;
    });
    double saa = 0.0, sbb = 0.0, szz = 0.0, sab = 0.0, saz = 0.0, sbz = 0.0;
    if (m > 0) {
        const double ma = sa / m, mb = sb / m, mz = sz / m;
        each([&](double a, double b, double z) {
            const double da = a - ma, db = b - mb, dz = z - mz;
            saa += da * da;
            sbb += db * db;
            szz += dz * dz;
            sab += da * db;
            saz += da * dz;
            sbz += db * dz;
        });
    }
    using compare_detail::Correlation;
    return compare_detail::PartialFromCorrelations(Correlation(sab, saa, sbb), Correlation(saz, saa, szz),
                                                   Correlation(sbz, sbb, szz));
}

double RdMatrixCorr(int n, double** A, double** B, bool squared) {
    using namespace compare_detail;
    if (HasMissingUpper(n, A) || HasMissingUpper(n, B)) return NaN;
    ScopedMatrix<double> GA(n, n), GB(n, n);
    GowerMatrixCentering(n, A, GA, squared);
    GowerMatrixCentering(n, B, GB, squared);
    return Pearson([&](auto f) {
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) f(GA[i][j], GB[i][j]);
    });
}

double MatrixStressKruskal(int n, double** A, double** B) {
    double num = 0.0, den = 0.0;
    compare_detail::ForEachPair(n, A, B, [&](double a, double b) {
        num += (a - b) * (a - b);
        den += 0.25 * (a + b) * (a + b);
    });
    return den > 0.0 ? std::sqrt(num / den) : -1.0;
}

double vecProd(int n, double** A, double** B) {
    double s = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) s += A[i][j] * B[i][j];
    return s;
}

double MatrixStress(int n, double** A, double** B) {
    const double r = MatrixCorr(n, A, B);
    return 1.0 - r * r;
}

double MatrixCov(int n, double** A, double** B) {
    double sa = 0.0, sb = 0.0;
    long long m = 0;
    compare_detail::ForEachPair(n, A, B, [&](double a, double b) {
        sa += a;
        sb += b;
        m++;
    });
    if (m < 2) return 0.0;
    const double ma = sa / m, mb = sb / m;
    double sab = 0.0;
    compare_detail::ForEachPair(n, A, B, [&](double a, double b) { sab += (a - ma) * (b - mb); });
    return sab / (m - 1);
}

double MatrixCos(int n, double** A, double** B) {
    double saa = 0.0, sbb = 0.0, sab = 0.0;
    compare_detail::ForEachPair(n, A, B, [&](double a, double b) {
        saa += a * a;
        sbb += b * b;
        sab += a * b;
    });
    return saa > 0.0 && sbb > 0.0 ? sab / std::sqrt(saa * sbb) : 0.0;
}

double MatrixRankCorr(int n, double** A, double** B) {
    std::vector<double> a, b;
    compare_detail::ForEachPair(n, A, B, [&](double x, double y) {
        a.push_back(x);
        b.push_back(y);
    });
    const int m = static_cast<int>(a.size());
    for (int k = 0; k < m; k++)
        if (std::isnan(a[k]) || std::isnan(b[k])) return compare_detail::NaN;
    std::vector<double> ra(a.size()), rb(b.size());
    RankVectorAdj(m, a.data(), ra.data());
    RankVectorAdj(m, b.data(), rb.data());
    return compare_detail::Pearson([&](auto f) {
        for (int k = 0; k < m; k++) f(ra[k], rb[k]);
    });
}

namespace compare_detail {
// Pairs that are not double zeros.
inline bool NotDoubleZero(double a, double b) { return !(std::fabs(a) < 1e-6 && std::fabs(b) < 1e-6); }
}  // namespace compare_detail

double MatrixCorrAdj(int n, double** A, double** B) {
    return compare_detail::PairPearson(n, A, B, compare_detail::NotDoubleZero);
}

double MatrixProdMomentAdj(int n, double meanA, double meanB, double** A, double** B) {
    double s = 0.0;
    compare_detail::ForEachPair(n, A, B, [&](double a, double b) {
        if (compare_detail::NotDoubleZero(a, b)) s += (a - meanA) * (b - meanB);
    });
    return s;
}

double MatrixAbsValDist(int n, double** A, double** B) {
    double s = 0.0;
    compare_detail::ForEachPair(n, A, B, [&](double a, double b) { s += std::fabs(a - b); });
    return s;
}

double MatrixEudDist(int n, double** A, double** B) {
    double s = 0.0;
    compare_detail::ForEachPair(n, A, B, [&](double a, double b) { s += (a - b) * (a - b); });
    return std::sqrt(s);
}

double MatrixDist(int n, double** A, double** B) {
    double s = 0.0;
    long long m = 0;
    compare_detail::ForEachPair(n, A, B, [&](double a, double b) {
        s += (a - b) * (a - b);
        m++;
    });
    return m > 0 ? std::sqrt(s / m) : 0.0;
}

namespace compare_detail {
template <class Term>
double CellDeviations(int n, int p, double** A, double** B, Term term) {
    double s = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++)
            if (!Missing(A[i][j]) && !Missing(B[i][j])) s += term(A[i][j] - B[i][j]);
    return 1.0 - s / (2.0 * n);
}
}  // namespace compare_detail

double SQMatrixDeviations(int n, int p, double** A, double** B) {
    return compare_detail::CellDeviations(n, p, A, B, [](double d) { return d * d; });
}

double SumAbsMatrixDeviations(int n, int p, double** A, double** B) {
    return compare_detail::CellDeviations(n, p, A, B, [](double d) { return std::fabs(d); });
}

double MatrixCorrelationLib(int n, int p, int q, double** X, double** Y, double** A, double** B,
                            bool aIsDissimilarity, bool bIsDissimilarity, bool rdSquared, char code) {
    switch (code) {
        case 'm': {
            // Pearson's r of 1 - s and d is minus that of s and d: the
            // conversion is a change of sign when the kinds differ.
            const double r = MatrixCorr(n, A, B);
            return aIsDissimilarity == bIsDissimilarity ? r : -r;
        }
        case 'r': {
            ScopedMatrix<double> CA(aIsDissimilarity ? 0 : n, n), CB(bIsDissimilarity ? 0 : n, n);
            if (!aIsDissimilarity) compare_detail::Complement(n, A, CA);
            if (!bIsDissimilarity) compare_detail::Complement(n, B, CB);
            return RdMatrixCorr(n, aIsDissimilarity ? A : CA.x, bIsDissimilarity ? B : CB.x, rdSquared);
        }
        case 'v':
            return RVcoeff(n, p, q, X, Y);
        case 'p':
            return ProcrustesCoeff(n, p, q, X, Y);
        default:
            return 0.0;
    }
}

double MatrixCorrelationLib(int n, int p, int q, double** X, double** Y, double** A, double** B,
                            bool isDissimilarity, char code) {
    return MatrixCorrelationLib(n, p, q, X, Y, A, B, isDissimilarity, isDissimilarity, false, code);
}

double RVcoeff(int n, int p, int q, double** X, double** Y) {
    using namespace compare_detail;
    ScopedMatrix<double> CX(n, p), CY(n, q);
    CentreZeroFill(n, p, X, CX);
    CentreZeroFill(n, q, Y, CY);
    double ab, aa, bb;
    GramProducts(n, p, q, CX, CY, ab, aa, bb);
    return RVFrom(ab, aa, bb);
}

double RVcoeff_OLD(int n, int p, int q, double** X, double** Y) {
    ScopedMatrix<double> CX(n, p), CY(n, q), TX(p, n), TY(q, n), WX(n, n), WY(n, n);
    CenterColsMV(n, p, X, CX);
    CenterColsMV(n, q, Y, CY);
    TransposeMatrix(n, p, CX, TX);
    TransposeMatrix(n, q, CY, TY);
    MatrixProd(n, p, p, n, CX, TX, WX);
    MatrixProd(n, q, q, n, CY, TY, WY);
    return compare_detail::RVFrom(vecProd(n, WX, WY), vecProd(n, WX, WX), vecProd(n, WY, WY));
}

double ProcrustesCoeff(int n, int p, int q, double** X, double** Y) {
    using namespace compare_detail;
    // Symmetric in X and Y: the one with fewer columns goes first.
    if (p > q) {
        std::swap(p, q);
        std::swap(X, Y);
    }
    if (n < 1 || p < 1) return 0.0;
    ScopedMatrix<double> SX(n, p), SY(n, q), C(p, q), U(p, p), V(q, p);
    std::vector<double> s(p);
    ProcrustesCross(n, p, q, X, Y, p, q, SX, SY, C);
    double t = 0.0;
    return SingularSum(p, q, C, U, s.data(), V, t) ? t : 0.0;
}

double ProcrustesCoeff(int n, int p, int q, double** X, double** Y, double** fit) {
    using namespace compare_detail;
    const int k = std::max(p, q);
    if (n < 1 || k < 1) return 0.0;
    ScopedMatrix<double> SX(n, k), SY(n, k), C(k, k), U(k, k), V(k, k), rot(k, k);
    std::vector<double> s(k);
    ProcrustesCross(n, p, q, X, Y, k, k, SX, SY, C);
    double t = 0.0;
    if (!SingularSum(k, k, C, U, s.data(), V, t)) {
        for (int i = 0; i < n; i++)
            for (int j = 0; j < k; j++) fit[i][j] = 0.0;
        return 0.0;
    }
    // rot = V U': maximises trace(Xs' Ys rot) over the orthogonal matrices.
    for (int a = 0; a < k; a++)
        for (int b = 0; b < k; b++) {
            double v = 0.0;
            for (int c = 0; c < k; c++) v += V[a][c] * U[b][c];
            rot[a][b] = v;
        }
    MatrixProd(n, k, k, k, SY, rot, fit);
    ScalarMatrixProd(n, k, t, fit, fit);
    return t;
}

double ProcrustesCoeff_T(int p, int q, int n, double** X, double** Y, double** fit) {
    ScopedMatrix<double> TX(n, p), TY(n, q);
    TransposeMatrix(p, n, X, TX);
    TransposeMatrix(q, n, Y, TY);
    return ProcrustesCoeff(n, p, q, TX, TY, fit);
}

void ProcrustesAdjT(int kX, int kY, int n, double** X, double** Y, double** fit, double* dist) {
    if (kX < 1) return;
    std::vector<double> meanX(kX, 0.0);
    ScopedMatrix<double> Xc(kX, n), Yc(kY, n);
    auto centre = [n](int k, double** S, double** C, double* means) {
        for (int a = 0; a < k; a++) {
            double m = 0.0;
            for (int i = 0; i < n; i++) m += S[a][i];
            m = n > 0 ? m / n : 0.0;
            if (means) means[a] = m;
            for (int i = 0; i < n; i++) C[a][i] = S[a][i] - m;
        }
    };
    centre(kX, X, Xc, meanX.data());
    centre(kY, Y, Yc, nullptr);

    // M = Xc Yc' = U W V'; the rotation Q = V U' (kY x kX) turns Y's axes
    // towards X's.
    const int r = std::min(kX, kY);
    ScopedMatrix<double> M(kX, kY), U(kX, r > 0 ? r : 1), V(kY > 0 ? kY : 1, r > 0 ? r : 1), Q(kY, kX);
    std::vector<double> w(r > 0 ? r : 1);
    for (int a = 0; a < kX; a++)
        for (int b = 0; b < kY; b++) M[a][b] = CrossProduct2Vec(n, Xc[a], Yc[b]);
    if (r > 0 && SingValueDecomp(kX, kY, M, U, w.data(), V))
        for (int b = 0; b < kY; b++)
            for (int a = 0; a < kX; a++) {
                double v = 0.0;
                for (int c = 0; c < r; c++) v += V[b][c] * U[a][c];
                Q[b][a] = v;
            }

    // The rotated configuration, one row per axis: (Yc' Q)'.
    for (int a = 0; a < kX; a++)
        for (int i = 0; i < n; i++) {
            double v = 0.0;
            for (int b = 0; b < kY; b++) v += Yc[b][i] * Q[b][a];
            fit[a][i] = v;
        }
    double num = 0.0, den = 0.0;
    for (int a = 0; a < kX; a++) num += CrossProduct2Vec(n, fit[a], Xc[a]);
    for (int b = 0; b < kY; b++) den += CrossProduct2Vec(n, Yc[b], Yc[b]);
    const double scale = den > 0.0 ? num / den : 0.0;
    for (int a = 0; a < kX; a++) {
        for (int i = 0; i < n; i++) fit[a][i] *= scale;
        if (dist) dist[a] = EucliDistSq2Vec(n, Xc[a], fit[a]);
        for (int i = 0; i < n; i++) fit[a][i] += meanX[a];
    }
}

void ProcrustesAdjT(int kX, int kY, int n, double** X, double** Y, double** fit) {
    ProcrustesAdjT(kX, kY, n, X, Y, fit, nullptr);
}

double ProcrustesAdj(int n, int kX, int kY, double** X, double** Y, double** fit, double* dist) {
    ScopedMatrix<double> TX(kX, n), TY(kY, n), TF(kX, n);
    TransposeMatrix(n, kX, X, TX);
    TransposeMatrix(n, kY, Y, TY);
    ProcrustesAdjT(kX, kY, n, TX, TY, TF, dist);
    TransposeMatrix(kX, n, TF, fit);
    return 0.0;
}

double ProcrustesCoeff_OLD(int n, int k, double** X, double** Y) {
    ScopedMatrix<double> fit(n, k);
    ProcrustesAdj(n, k, k, X, Y, fit, nullptr);
    double e = 0.0, t = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < k; j++) {
            e += (X[i][j] - fit[i][j]) * (X[i][j] - fit[i][j]);
            t += X[i][j] * X[i][j];
        }
    if (!(t > 0.0)) return compare_detail::NaN;
    return 2.0 * (1.0 - std::sqrt(1.0 - e / t));
}

// --- The statistics on permuted units ---------------------------------------

namespace compare_detail {

// For each of K permutations (perm[k], inverse inv[k], from 0): the sum over
// the pairs i < j (i <= j with the diagonal) of G[perm[i]][perm[j]] w[i][j],
// for w1 and, when given, w2; w packed by rows from rowStart. The sum is
// taken row by row of G (row a is row i = inv[a] of the arrangement), so
// that a block of permutations reads each row of G once while it is in the
// cache. Four partial sums a row, so that the additions do not wait on one
// another.
void GatherDots(int n, bool diagonal, double** G, int K, const int* perm, const int* inv, const long long* rowStart,
                const double* w1, const double* w2, double* d1, double* d2) {
    double a[PermutedComparison::kBlock][4] = {}, b[PermutedComparison::kBlock][4] = {};
    for (int r = 0; r < n; r++) {
        const double* g = G[r];
        for (int k = 0; k < K; k++) {
            const int i = inv[k * n + r], from = diagonal ? i : i + 1, m = n - from;
            const int* id = perm + k * n + from;
            const double* x = w1 + rowStart[i];
            double* s = a[k];
            int q = 0;
            if (w2) {
                const double* y = w2 + rowStart[i];
                double* t = b[k];
                for (; q + 4 <= m; q += 4)
                    for (int u = 0; u < 4; u++) {
                        const double v = g[id[q + u]];
                        s[u] += v * x[q + u];
                        t[u] += v * y[q + u];
                    }
                for (; q < m; q++) {
                    s[0] += g[id[q]] * x[q];
                    t[0] += g[id[q]] * y[q];
                }
            } else {
                for (; q + 4 <= m; q += 4)
                    for (int u = 0; u < 4; u++) s[u] += g[id[q + u]] * x[q + u];
                for (; q < m; q++) s[0] += g[id[q]] * x[q];
            }
        }
    }
    for (int k = 0; k < K; k++) {
        d1[k] = (a[k][0] + a[k][1]) + (a[k][2] + a[k][3]);
        d2[k] = (b[k][0] + b[k][1]) + (b[k][2] + b[k][3]);
    }
}

// C (a x b) = sum over i of the outer product of row ia[i] of A (n x a) and
// row ib[i] of B (n x b); a null index is the identity. The inner loop runs
// over b (callers put the wider table second) and takes four units at a
// time, so that C is read and written once for four products.
void CrossOfRows(int n, int a, int b, double** A, const int* ia, double** B, const int* ib, double** C) {
    for (int x = 0; x < a; x++) std::fill(C[x], C[x] + b, 0.0);
    auto rowA = [&](int i) { return A[ia ? ia[i] : i]; };
    auto rowB = [&](int i) { return B[ib ? ib[i] : i]; };
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const double *a0 = rowA(i), *a1 = rowA(i + 1), *a2 = rowA(i + 2), *a3 = rowA(i + 3);
        const double *b0 = rowB(i), *b1 = rowB(i + 1), *b2 = rowB(i + 2), *b3 = rowB(i + 3);
        for (int x = 0; x < a; x++) {
            const double f0 = a0[x], f1 = a1[x], f2 = a2[x], f3 = a3[x];
            double* c = C[x];
            for (int y = 0; y < b; y++) c[y] += (f0 * b0[y] + f1 * b1[y]) + (f2 * b2[y] + f3 * b3[y]);
        }
    }
    for (; i < n; i++) {
        const double* ar = rowA(i);
        const double* br = rowB(i);
        for (int x = 0; x < a; x++) {
            const double f = ar[x];
            double* c = C[x];
            for (int y = 0; y < b; y++) c[y] += f * br[y];
        }
    }
}

// M packed by rows above (with diagonal: on and above) the diagonal, each
// entry less mean; the diagonal halved so that twice the packed sum is the
// sum over all cells. Returns the sum of squares of what it packs over the
// same cells (all cells with the diagonal).
double Pack(int n, double** M, double mean, bool diagonal, double* w) {
    double ss = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = diagonal ? i : i + 1; j < n; j++) {
            const double d = M[i][j] - mean;
            *w++ = i == j ? 0.5 * d : d;
            ss += i == j ? d * d : (diagonal ? 2.0 : 1.0) * d * d;
        }
    return ss;
}

// Mean of the entries above the diagonal, or of all cells with the diagonal
// (M symmetric).
double MeanOf(int n, double** M, bool diagonal) {
    double s = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = diagonal ? i : i + 1; j < n; j++) s += i == j || !diagonal ? M[i][j] : 2.0 * M[i][j];
    const double cells = diagonal ? static_cast<double>(n) * n : 0.5 * n * (n - 1.0);
    return cells > 0 ? s / cells : 0.0;
}

bool Symmetric(int n, double** M) {
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++)
            if (M[i][j] != M[j][i]) return false;
    return true;
}

bool HasMissingAbove(int n, double** M, bool diagonal) {
    for (int i = 0; i < n; i++)
        for (int j = diagonal ? i : i + 1; j < n; j++)
            if (Missing(M[i][j])) return true;
    return false;
}

}  // namespace compare_detail

PermutedComparison::PermutedComparison(Statistic statistic, int n, double** P, double** F, double** Z, bool squared)
    : statistic_(statistic), n_(n > 0 ? n : 0), p_(0), q_(0), squared_(squared), P_(P), F_(F), Z_(Z) {
    idx_ = dim1DT<int>(kBlock * n_);
    inv_ = dim1DT<int>(kBlock * n_);
    PrepareMatrices(P, F, Z);
}

PermutedComparison::PermutedComparison(Statistic statistic, int n, int p, int q, double** P, double** F)
    : statistic_(statistic), n_(n > 0 ? n : 0), p_(p > 0 ? p : 0), q_(q > 0 ? q : 0), squared_(false), P_(P),
      F_(F), Z_(nullptr) {
    idx_ = dim1DT<int>(kBlock * n_);
    inv_ = dim1DT<int>(kBlock * n_);
    PrepareTables(P, F);
}

PermutedComparison::~PermutedComparison() {
    const int lo = std::min(p_, q_), hi = std::max(p_, q_);
    free1D(idx_);
    free1D(inv_);
    free1D(rowStart_);
    free2DT(gather_, gather_ ? n_ : 0);
    free1D(w1_);
    free1D(w2_);
    free2DT(fixedT_, fixedT_ ? n_ : 0);
    free2DT(permT_, permT_ ? n_ : 0);
    free2DT(cross_, cross_ ? lo : 0);
    free2DT(u_, u_ ? lo : 0);
    free2DT(v_, v_ ? hi : 0);
    free1D(s_);
    free2DT(random_, random_ ? n_ : 0);
}

namespace compare_detail {
// Where each packed row begins: rows of n - i entries (with the diagonal) or
// n - i - 1. Returns the number of entries.
long long RowStarts(int n, bool diagonal, long long* start) {
    long long at = 0;
    for (int i = 0; i < n; i++) {
        start[i] = at;
        at += diagonal ? n - i : n - i - 1;
    }
    return at;
}
}  // namespace compare_detail

void PermutedComparison::PrepareMatrices(double** P, double** F, double** Z) {
    using namespace compare_detail;
    const int n = n_;
    const bool rd = statistic_ == kRd, partial = statistic_ == kPartialMantel;
    // The gather reads P in both triangles and takes the fixed side's pairs
    // as they stand: MISSING pairs, which the plain routines leave out pair
    // by pair, and a P whose triangles differ go the plain way.
    plain_ = HasMissingAbove(n, P, rd) || !Symmetric(n, P) || HasMissingAbove(n, F, rd) ||
             (partial && HasMissingAbove(n, Z, false));
    if (plain_) {
        random_ = dim2DT<double>(n, n);
        return;
    }
    rowStart_ = dim1DT<long long>(n);
    const long long cells = RowStarts(n, rd, rowStart_);
    gather_ = dim2DT<double>(n, n);
    w1_ = dim1DT<double>(static_cast<int>(cells));
    if (rd) {
        // Centring commutes with permuting rows and columns together: the
        // centred P' is the centred P read in permuted order.
        ScopedMatrix<double> GF(n, n);
        GowerMatrixCentering(n, P, gather_, squared_);
        GowerMatrixCentering(n, F, GF, squared_);
        const double mP = MeanOf(n, gather_, true);
        sums_[0] = 0.0;
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) {
                gather_[i][j] -= mP;
                sums_[0] += gather_[i][j] * gather_[i][j];
            }
        sums_[1] = Pack(n, GF, MeanOf(n, GF, true), true, w1_);
        return;
    }
    const double mP = MeanOf(n, P, false);
    sums_[0] = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            gather_[i][j] = P[i][j] - mP;
            if (j > i) sums_[0] += gather_[i][j] * gather_[i][j];
        }
    sums_[1] = Pack(n, F, MeanOf(n, F, false), false, w1_);
    if (partial) {
        w2_ = dim1DT<double>(static_cast<int>(cells));
        sums_[2] = Pack(n, Z, MeanOf(n, Z, false), false, w2_);
        double fz = 0.0;
        for (long long k = 0; k < cells; k++) fz += w1_[k] * w2_[k];
        sums_[3] = Correlation(fz, sums_[1], sums_[2]);
    }
}

void PermutedComparison::PrepareTables(double** P, double** F) {
    using namespace compare_detail;
    const int n = n_, p = p_, q = q_;
    fixedT_ = dim2DT<double>(n, q);
    permT_ = dim2DT<double>(n, p);
    if (statistic_ == kProcrustes) {
        // Centring by column and scaling the whole table are the same for
        // the rows in any order.
        ProcrustesStandardised(n, q, F, fixedT_);
        ProcrustesStandardised(n, p, P, permT_);
        const int lo = std::min(p, q), hi = std::max(p, q);
        cross_ = dim2DT<double>(lo, hi);
        u_ = dim2DT<double>(lo, lo);
        v_ = dim2DT<double>(hi, lo);
        s_ = dim1DT<double>(lo);
        return;
    }
    CentreZeroFill(n, q, F, fixedT_);
    CentreZeroFill(n, p, P, permT_);
    double ab;
    GramProducts(n, q, p, fixedT_, permT_, ab, sums_[0], sums_[1]);
    // <F F', P' P'> is a gather over the n x n inner products of P (n^2 / 2
    // terms read in permuted order) or the sum of squares of F' P' (npq
    // terms in order, some four times cheaper each): whichever costs less.
    gram_ = 2.0 * (n + 1.0) < static_cast<double>(p) * q;
    if (gram_) {
        rowStart_ = dim1DT<long long>(n);
        gather_ = dim2DT<double>(n, n);
        w1_ = dim1DT<double>(static_cast<int>(RowStarts(n, true, rowStart_)));
        ScopedMatrix<double> WF(n, n);
        for (int i = 0; i < n; i++)
            for (int j = i; j < n; j++) {
                WF[i][j] = WF[j][i] = CrossProduct2Vec(q, fixedT_[i], fixedT_[j]);
                gather_[i][j] = gather_[j][i] = CrossProduct2Vec(p, permT_[i], permT_[j]);
            }
        Pack(n, WF, 0.0, true, w1_);
    } else {
        cross_ = dim2DT<double>(std::min(p, q), std::max(p, q));
    }
}

double PermutedComparison::operator()(const int* list) {
    double value = 0.0;
    if (list) {
        Evaluate(1, list, &value);
        return value;
    }
    std::vector<int> identity(n_);
    for (int i = 0; i < n_; i++) identity[i] = i + 1;
    Evaluate(1, identity.data(), &value);
    return value;
}

void PermutedComparison::Evaluate(int count, const int* lists, double* values) {
    const int n = n_;
    for (int from = 0; from < count; from += kBlock) {
        const int K = std::min(kBlock, count - from);
        for (int k = 0; k < K; k++)
            for (int i = 0; i < n; i++) {
                const int unit = lists[static_cast<long long>(from + k) * n + i] - 1;
                idx_[k * n + i] = unit;
                inv_[k * n + unit] = i;
            }
        if (gather_) {
            MatrixStatistics(K, values + from);
        } else {
            for (int k = 0; k < K; k++)
                values[from + k] = plain_ ? PlainStatistic(idx_ + k * n) : TableStatistic(idx_ + k * n);
        }
    }
}

void PermutedComparison::MatrixStatistics(int K, double* values) {
    using compare_detail::Correlation;
    const bool whole = statistic_ == kRd || statistic_ == kRV;
    double d1[kBlock], d2[kBlock];
    compare_detail::GatherDots(n_, whole, gather_, K, idx_, inv_, rowStart_, w1_,
                               statistic_ == kPartialMantel ? w2_ : nullptr, d1, d2);
    for (int k = 0; k < K; k++) switch (statistic_) {
            case kMantel:
                values[k] = Correlation(d1[k], sums_[0], sums_[1]);
                break;
            case kPartialMantel:
                values[k] = compare_detail::PartialFromCorrelations(
                    Correlation(d1[k], sums_[0], sums_[1]), Correlation(d2[k], sums_[0], sums_[2]), sums_[3]);
                break;
            case kRd:
                values[k] = Correlation(2.0 * d1[k], sums_[0], sums_[1]);
                break;
            default:  // RV by inner products
                values[k] = compare_detail::RVFrom(2.0 * d1[k], sums_[0], sums_[1]);
        }
}

double PermutedComparison::TableStatistic(const int* idx) {
    using namespace compare_detail;
    const int n = n_, p = p_, q = q_, lo = std::min(p, q), hi = std::max(p, q);
    if (lo < 1 || n < 1) return statistic_ == kRV ? NaN : 0.0;
    // The narrower table first; either orientation has the same singular
    // values and sum of squares.
    if (q <= p)
        CrossOfRows(n, q, p, fixedT_, nullptr, permT_, idx, cross_);
    else
        CrossOfRows(n, p, q, permT_, idx, fixedT_, nullptr, cross_);
    if (statistic_ == kRV) {
        double ab = 0.0;
        for (int x = 0; x < lo; x++)
            for (int y = 0; y < hi; y++) ab += cross_[x][y] * cross_[x][y];
        return RVFrom(ab, sums_[0], sums_[1]);
    }
    double t = 0.0;
    if (!SingularSum(lo, hi, cross_, u_, s_, v_, t)) return 0.0;
    return t / (n > 1 ? n - 1 : 1);
}

double PermutedComparison::PlainStatistic(const int* idx) {
    const int n = n_;
    const bool rd = statistic_ == kRd;
    for (int i = 0; i < n; i++) {
        const double* row = P_[idx[i]];
        // Rd's centring reads the diagonal: it moves with its unit.
        for (int j = rd ? i : i + 1; j < n; j++) random_[i][j] = row[idx[j]];
    }
    switch (statistic_) {
        case kMantel:
            return MatrixCorr(n, random_, F_);
        case kPartialMantel:
            return PartialMatrixCorr(n, random_, F_, Z_);
        default:
            return RdMatrixCorr(n, F_, random_, squared_);
    }
}
