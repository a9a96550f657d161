// ===========================================================================
// Simulated tables with given correlations or eigenvalues
// ===========================================================================

#include "rhlib_M.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <gsl/gsl_randist.h>

#include "nrutilRH.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"
#include "rhlib_M_internal.h"

namespace simdetail {

// A work matrix released when the routine that made it returns.
using Work = ScopedMatrix<double>;

enum class Deviate { uniform, normal, lognormal, exponential, cubedExponential };

// The deviate of a code; codes a routine does not know give `other`.
Deviate DeviateOf(int code, Deviate other) {
    switch (code) {
        case 1: return Deviate::uniform;
        case 2: return Deviate::normal;
        case 5: return Deviate::lognormal;
        case 7: return Deviate::exponential;
        case 8: return Deviate::cubedExponential;
        default: return other;
    }
}

// Called with the generator held.
double Draw(Deviate d) {
    switch (d) {
        case Deviate::uniform: return gsl_rng_uniform(r) - 0.5;
        case Deviate::normal: return gsl_ran_gaussian(r, 1.0);
        case Deviate::lognormal: return gsl_ran_lognormal(r, 0.0, 1.0);
        case Deviate::exponential: return gsl_ran_exponential(r, 1.0);
        case Deviate::cubedExponential: {
            const double e = gsl_ran_exponential(r, 1.0);
            return e * e * e;
        }
    }
    return 0.0;
}

// Deviates for `units` units of `vars` variables, unit after unit, through
// put(unit, variable, value): the order a seed's tables depend on.
template <class Put>
void DrawUnits(int units, int vars, Deviate d, Put put) {
    GeneratorLock lock(generatorMutex);
    for (int i = 0; i < units; i++)
        for (int j = 0; j < vars; j++) put(i, j, Draw(d));
}

// U (p x p) with R = U'U: the transposed Cholesky factor of R. A matrix that
// is not positive definite ends the program (choldc has said so).
void UpperFactor(int p, double** R, double** U) {
    Work a(p, p);
    std::vector<double> diagonal(p);
    CopyMatrix(p, p, R, a);
    if (!choldc(a, p, diagonal.data())) {
        fflush(stdout);
        std::exit(1);
    }
    for (int i = 0; i < p; i++) {
        for (int j = 0; j < i; j++) U[i][j] = 0.0;
        U[i][i] = diagonal[i];
        for (int j = i + 1; j < p; j++) U[i][j] = a[j][i];
    }
}

// Centres and normalises the variables (rows of Y, p x N) in place; Q (p x p)
// receives their cross-products, the correlation matrix, both triangles.
void StandardizedCrossProducts(int p, int N, double** Y, double** Q) {
    CenterRows(p, N, Y, Y);
    NormalizeRows(p, N, Y, Y);
    CrossProductMV(p, N, Y, Q);
}

// Eigen analysis of Q with every eigenvector brought to unit length.
void UnitEigenvectors(int p, double** Q, double** V, double* values) {
    EigenHouseholderQL_GSL_D(p, Q, V, values);
    NormalizeRows(p, p, V, V);
}

// The passes at each bias threshold; three thresholds in all.
constexpr int kPassesPerThreshold = 31;
constexpr int kRelaxations = 2;

// The rotation and rescaling iteration of EigenToData_D and
// EigenToData_D_Noise; `relaxedWord` tells how the message names a raised
// threshold. evec receives the eigenvectors of corr.
void EigenIteration(int N, int n, int p, const double* eig, double** X, double* eigOut, double** evec,
                    int code, double** pop, double** corr, const char* relaxedWord) {
    // The variables are kept as rows (p x N) so that every step runs along
    // contiguous rows; the units' table is their transpose.
    Work Y(p, N), S(p, N), Q(p, p), V(p, p), Vt(p, p);
    std::vector<double> values(p), root(p);
    for (int j = 0; j < p; j++) root[j] = std::sqrt(eig[j]);
    DrawUnits(N, p, DeviateOf(code, Deviate::uniform), [&](int u, int j, double v) { Y[j][u] = v; });

    double threshold = 1e-5;
    int passes = 0, relaxations = 0;
    for (;;) {
        StandardizedCrossProducts(p, N, Y, Q);
        UnitEigenvectors(p, Q, V, values.data());
        // Scores of the units on the axes, each axis given the length its
        // target eigenvalue asks for; an axis of length 0 stays 0.
        MatrixProd(p, p, p, N, V, Y, S);
        NormalizeRows(p, N, S, S);
        for (int j = 0; j < p; j++) {
            double* s = S[j];
            for (int u = 0; u < N; u++) s[u] *= root[j];
        }
        // The variables rebuilt from the rescaled axes: Y = V'S.
        TransposeMatrix(p, p, V, Vt);
        MatrixProd(p, p, p, N, Vt, S, Y);

        double bias = 0.0;
        for (int j = 0; j < p; j++) bias += std::fabs(values[j] - eig[j]);
        passes++;
        if (bias <= threshold) break;
        // Targets that cannot be met (more non-zero eigenvalues than the
        // units allow) or that are no numbers must not keep it going forever.
        if (std::isnan(bias) || (passes >= kPassesPerThreshold && relaxations == kRelaxations)) {
            printf("\n\nLack of convergence. Iterations stopped with bias %g.\n", bias);
            break;
        }
        if (passes < kPassesPerThreshold) continue;
        threshold *= 10.0;
        relaxations++;
        passes = 0;
        printf("\n\nLack of convergence. Bias threshold %s TO %g\n", relaxedWord, threshold);
        if (threshold >= bias) break;
    }

    if (pop != nullptr) TransposeMatrix(p, N, Y, pop);
    TransposeMatrix(p, n, Y, X);
    StandardizedCrossProducts(p, N, Y, Q);
    for (int j = 0; j < p; j++) Q[j][j] = 1.0;
    CopyMatrix(p, p, Q, corr);
    EigenHouseholderQL_GSL_D(p, corr, evec, eigOut);
}

}  // namespace simdetail

int CorrToData_New(int n, int p, double** R, double** X, int code) {
    using namespace simdetail;
    Work U(p, p);
    UpperFactor(p, R, U);
    Work Z(n, p);
    DrawUnits(n, p, DeviateOf(code, Deviate::normal), [&](int i, int j, double v) { Z[i][j] = v; });
    MatrixProd(n, p, p, p, Z, U, X);
    return 1;
}

int CorrToData(int n, int p, double** R, double** X, int code) {
    using namespace simdetail;
    Work U(p, p);
    UpperFactor(p, R, U);
    Work Y(p, n);
    DrawUnits(n, p, code == 2 ? Deviate::normal : Deviate::uniform,
              [&](int i, int j, double v) { Y[j][i] = v; });
    Work Q(p, p), V(p, p);
    std::vector<double> values(p);
    StandardizedCrossProducts(p, n, Y, Q);
    UnitEigenvectors(p, Q, V, values.data());
    // Whitening: the axes of Y, each divided by the root of its eigenvalue,
    // give uncorrelated scores of unit length. Axes of no variance (fewer
    // units than variables, or collinear deviates) are left at 0.
    double positive = 0.0;
    for (int k = 0; k < p; k++)
        if (values[k] > 0.0) positive += values[k];
    for (int k = 0; k < p; k++) {
        const bool kept = positive > 0.0 && values[k] * 100.0 / positive > 0.0001;
        const double f = kept ? 1.0 / std::sqrt(values[k]) : 0.0;
        for (int j = 0; j < p; j++) V[k][j] *= f;
    }
    Work W(p, n), Wt(n, p);
    MatrixProd(p, p, p, n, V, Y, W);
    TransposeMatrix(p, n, W, Wt);
    MatrixProd(n, p, p, p, Wt, U, X);
    return 1;
}

int EigenToData_D(int N, int n, int p, int /*rank*/, double* eig, double** X, double* eigOut, int code,
                  double** pop, double** corr) {
    simdetail::Work evec(p, p);
    simdetail::EigenIteration(N, n, p, eig, X, eigOut, evec, code, pop, corr, "REDUCED");
    return 1;
}

int EigenToData_D_Noise(int N, int n, int p, int /*rank*/, double* eig, double** X, double* eigOut,
                        double** evecOut, int code, double** pop, double** corr, double noise) {
    simdetail::EigenIteration(N, n, p, eig, X, eigOut, evecOut, code, pop, corr, "INCREASED");
    if (noise > 0.0) {
        const double sd = std::sqrt(noise);
        GeneratorLock lock(generatorMutex);
        for (int i = 0; i < n; i++)
            for (int j = 0; j < p; j++) X[i][j] += gsl_ran_gaussian(r, sd);
    }
    return 1;
}

int CorrToData_BothRowsColumns(int n, int p, double** Rvar, double** Runits, double** X, int code) {
    using namespace simdetail;
    Work U(p, p);
    UpperFactor(p, Rvar, U);
    // The units as variables: p draws of n correlated values, then turned so
    // that the units are rows again.
    Work Z(p, n), Zt(n, p);
    CorrToData_New(p, n, Runits, Z, code);
    TransposeMatrix(p, n, Z, Zt);
    MatrixProd(n, p, p, p, Zt, U, X);
    return 1;
}
