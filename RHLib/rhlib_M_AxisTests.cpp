// ===========================================================================
// Permutation tests of ordination axes
// ===========================================================================

#include "rhlib_M.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibOut.h"

OrdinationWork::OrdinationWork(int m_, int other_, int type_)
    : m(std::max(m_, 0)),
      other(std::max(other_, 0)),
      type(type_),
      R(dim2DT<double>(std::max(m, 1), std::max(m, 1))),
      evectors(dim2DT<double>(std::max(m, 1), std::max(m, 1))),
      scores(dim2DT<double>(std::max(m, 1), std::max({m, other, 1}))),
      eig(dim1DT<double>(std::max(m, 1))) {}

OrdinationWork::~OrdinationWork() {
    free1D(eig);
    free2DT(scores, std::max(m, 1));
    free2DT(evectors, std::max(m, 1));
    free2DT(R, std::max(m, 1));
}

int OrdinationWork::Run(int n, int p, double** transformed, double** stored, int dir, int measure, int postTransf,
                        int ordMeasure, const int* varType, double alpha, double k, bool countDoubleAbsence,
                        bool withScores) {
    axes = 0;
    for (int i = 0; i < m; i++) eig[i] = 0.0;
    if (ResemblanceLib(n, p, transformed, R, dir, measure, postTransf, varType, alpha, k, countDoubleAbsence,
                       false) != reseComputed)
        return 0;
    bool ok = false;
    const int status = withScores
                           ? OrdinationLib_D(m, other, stored, R, evectors, scores, &axes, eig, &ok, type, ordMeasure, dir)
                           : OrdinationLib_Eigen(m, R, nullptr, &axes, eig, &ok, type, ordMeasure);
    if (status != ordinationDone) axes = 0;
    return axes;
}

namespace axistest_detail {

const char* const kRule = "-------------------------------------------------------------------------------";

// Work arrays of one test, made before its loop and released on any exit.
using Matrix = ScopedMatrix<double>;
template <class T>
using Vector = ScopedVector<T>;

// k tables of n x p.
struct Tables {
    int k, n;
    double*** x;
    Tables(int k_, int n_, int p) : k(std::max(k_, 1)), n(std::max(n_, 1)), x(dim3DT<double>(k, n, std::max(p, 1))) {}
    ~Tables() { free3DT(x, k, n); }
    Tables(const Tables&) = delete;
    Tables& operator=(const Tables&) = delete;
    double** operator[](int d) const { return x[d]; }
};

// The report file of the dump, closed on any exit.
struct Dump {
    FILE* f;
    explicit Dump(char save) : f(save == 'y' ? fopenck("Vidive.txt", nullptr, "a") : nullptr) {}
    ~Dump() {
        if (f) fcloseck(f, "Vidive.txt");
    }
    Dump(const Dump&) = delete;
    Dump& operator=(const Dump&) = delete;
    explicit operator bool() const { return f != nullptr; }
};

void PrintEigenvalues(FILE* f, const OrdinationWork& w) {
    fprintf(f, "Eigenvalues (first %d): ", w.axes);
    for (int a = 0; a < w.axes; a++) fprintf(f, "%g ", NoNegativeZero(w.eig[a]));
    fprintf(f, "\n");
}

void PrintScores(FILE* f, const OrdinationWork& w, const char* heading) {
    fprintf(f, heading, w.Width(), w.axes);
    for (int a = 0; a < w.axes; a++) {
        fprintf(f, "Axis %d:       \t", a + 1);
        for (int j = 0; j < w.Width(); j++) fprintf(f, "%g\t", NoNegativeZero(w.scores[a][j]));
        fprintf(f, "\n");
    }
}

void Opening(FILE* f, int N, const char* criterion) {
    fprintf(f, "\n%s\n", kRule);
    fprintf(f, "RANDOMIZATION TEST: Data and results of each permutation\n");
    fprintf(f, "%s\n", kRule);
    TimeStamp(f);
    fprintf(f, "Number of permutations: %d\n", N);
    fprintf(f, "%s", criterion);
    fprintf(f, "\n%s\n", kRule);
    fprintf(f, "Permutation 1:\n");
}

void FinalHeading(FILE* f, double start) {
    fprintf(f, "\n%s\n", kRule);
    fprintf(f, "RANDOMIZATION TEST");
    fprintf(f, ": Final results");
    fprintf(f, "\n%s\n", kRule);
    TimeStamp(f);
    fprintf(f, "Elapsed time: %g seconds\n", difftime_Clock(start));
}

void Iteration(FILE* f, int i) {
    fprintf(f, "\n%s\n", kRule);
    fprintf(f, "Iteration: %d\n", i);
}

void Values(FILE* f, int n, const double* x) {
    for (int i = 0; i < n; i++) fprintf(f, "%g\t", NoNegativeZero(x[i]));
}

// A row of probabilities; one that is NaN belongs to a statistic that could
// not be tested.
void Probabilities(FILE* f, int n, const double* P, int digits) {
    for (int i = 0; i < n; i++) {
        if (std::isnan(P[i]))
            fprintf(f, "not testable\t");
        else
            fprintf(f, "%.*g\t", digits, P[i]);
    }
    fprintf(f, "\n");
}

// Column j of `to` is column j of `from` in the order of a fresh list
// (to[u][j] = from[list[u] - 1][j]), one list per column, drawn in column
// order.
void PermuteColumns(int n, int p, double** from, double** to, int* list) {
    for (int j = 0; j < p; j++) {
        RndList(n, list);
        for (int u = 0; u < n; u++) to[u][j] = from[list[u] - 1][j];
    }
}

}  // namespace axistest_detail

void RVDIMPermutation_D(int n, int p, int K, int N, double** X, double** weights, double** scores,
                        const double* eig, int ordType, int /*trEs*/, int /*trVeVar*/, int /*trVeUnits*/,
                        int dir, int /*measure*/, const int* varType, double alpha, double k,
                        bool countDoubleAbsence, double* rvdimObs, double* P, char save, int digits) {
    using namespace axistest_detail;
    const double start = difftime_Clock_Init();
    if (K < 0) K = 0;
    const int m = dir == 2 ? p : n, other = dir == 2 ? n : p;
    Dump dump(save);
    FILE* f = dump.f;
    if (f) {
        Opening(f, N, "Test criterion: RVDIM (Kresh 2008)\n");
        PrintMatrixTab(f, n, p, X, digits);
        fprintf(f, "\nObserved RVDIM in the data (axes 1 to %d):\t", K);
    }
    for (int d = 0; d < K; d++) {
        rvdimObs[d] = RVDIM(K, d + 1, eig);
        if (f) fprintf(f, "%g\t", NoNegativeZero(rvdimObs[d]));
    }

    // Residual table d is the data less their first d dimensions: the sum of
    // the layers d to K - 1, made from the last one backwards.
    Tables residual(K, n, p);
    {
        Matrix layer(n, p);
        for (int d = K - 1; d >= 0; d--) {
            VectorOuterProd(n, p, scores[d], weights[d], layer);
            if (d == K - 1)
                CopyMatrix(n, p, layer, residual[d]);
            else
                MatrixSum(n, p, n, p, residual[d + 1], layer, residual[d], 1);
        }
        if (f) {
            for (int d = 0; d < K; d++) {
                VectorOuterProd(n, p, scores[d], weights[d], layer);
                fprintf(f, "\n%s\n", kRule);
                fprintf(f, "Data matrix layer corresponding to dimension %d:\n", d + 1);
                PrintMatrixTab(f, n, p, layer, digits);
            }
            for (int d = 0; d < K; d++) {
                fprintf(f, "\n%s\n", kRule);
                fprintf(f, "Matrix of residuals corresponding to dimension %d:\n", d + 1);
                PrintMatrixTab(f, n, p, residual[d], digits);
            }
        }
    }

    Matrix permuted(n, p);
    Vector<int> list(n);
    Vector<int> effective(K);
    OrdinationWork random(m, other, ordType);
    for (int d = 0; d < K; d++) P[d] = 1.0;
    char text[64];
    for (int i = 2; i <= N; i++) {
        snprintf(text, sizeof text, "Permutation RVDIM: %d %d", N, i);
        HandleEventInfoWhere2(text);
        for (int d = 0; d < K; d++) {
            PermuteColumns(n, p, residual[d], permuted, list);
            if (f) {
                Iteration(f, i);
                fprintf(f, "Permuted residual matrix, for testing dimension %d:\n", d + 1);
                PrintMatrixTab(f, n, p, permuted, digits);
            }
            // The residuals are the table as the ordination saw it, so their
            // cross-products (measure 1) are what is ordinated again.
            const int axes =
                random.Run(n, p, permuted, permuted, dir, 1, 0, 1, varType, alpha, k, countDoubleAbsence, f != nullptr);
            const double rnd = axes > 0 ? RVDIM(axes, 1, random.eig) : 0.0;
            if (f) {
                PrintEigenvalues(f, random);
                PrintScores(
                    f, random, "\nScores of %d sampling units on the first %d permuted ordination axis(es) of permuted sample: \n");
                fprintf(f, "RVDIM 1, computed with permuted residual matrix, for testing dimension %d:\t%g\n", d + 1,
                        NoNegativeZero(rnd));
            }
            // A permuted table without any axis has no first axis to compare.
            if (axes < 1) continue;
            effective[d]++;
            if (CountsTowardP(rnd, rvdimObs[d], TieRule::Larger)) P[d] += 1.0;
        }
    }
    for (int d = 0; d < K; d++) P[d] = PermutationP(P[d], effective[d] + 1, rvdimObs[d]);

    if (f) {
        FinalHeading(f, start);
        fprintf(f, "Number of effective permutations for each axis (specified number = %d permutations):\n", N);
        for (int d = 0; d < K; d++) fprintf(f, "Axis %d:\t%d\n", d + 1, effective[d] + 1);
        fprintf(f, "RVDIM and corresponding probabilities p(RVDIM_rnd >= RVDIM_obs) (Kresh 2008)\n");
        PrintVectorTab(f, K, rvdimObs, digits);
        Probabilities(f, K, P, digits);
    }
    ClearLine();
}

void EigenPermutation_D(int n, int p, int m, int m2, int K, int N, double** X, double** /*R*/,
                        const double* eigObs, int ordType, int trEs, int trVeVar, int trVeUnits,
                        int nClassesVar, int nClassesUnits, int dir, int measure, const int* varType,
                        double alpha, double k, bool countDoubleAbsence, double* Peig,
                        double* PpseudoF, double* belowAverage, char save, int digits) {
    using namespace axistest_detail;
    const double start = difftime_Clock_Init();
    if (K < 0) K = 0;
    Dump dump(save);
    FILE* f = dump.f;
    Vector<double> Fobs(K), Frnd(K), sum(K);
    for (int a = 0; a + 1 < K; a++) Fobs[a] = PseudoF_eig(K, a + 1, eigObs);
    if (f) {
        Opening(f, N, "Test criterion: eigenvalue itself (ter Frelle 1988), pseudo-F ratio (ter Frelle 1988)\n");
        PrintMatrixTab(f, n, p, X, digits);
        fprintf(f, "\nObserved eigenvalue in the data (axes 1 to %d):\t", K);
        Values(f, K, eigObs);
        fprintf(f, "\nObserved pseudo-F ratio in the data (axes 1 to %d):\t", K);
        Values(f, K, Fobs);
    }
    for (int a = 0; a < K; a++) Peig[a] = PpseudoF[a] = 1.0;

    // Correspondence analysis weighs its scores by the table before the
    // double adjustment.
    Matrix stored(n, p), transformed(n, p), table(ordType == 3 ? n : 0, p);
    Vector<int> list(n);
    OrdinationWork random(m, m2, ordType);
    const int summed = std::min(K, m);
    for (int i = 2; i <= N; i++) {
        PermuteColumns(n, p, X, stored, list);
        if (f) {
            Iteration(f, i);
            fprintf(f, "Random data:\n");
            PrintMatrixTab(f, n, p, stored, digits);
        }
        CopyMatrix(n, p, stored, transformed);
        if (ordType == 3) {
            CopyMatrix(n, p, stored, table);
            DataTransformationsLib_D(n, p, table, trEs, trVeVar == 6 ? 0 : trVeVar, 0, nClassesVar, nClassesUnits);
        }
        DataTransformationsLib_D(n, p, transformed, trEs, trVeVar, trVeUnits, nClassesVar, nClassesUnits);
        const int axes = random.Run(n, p, transformed, ordType == 3 ? table : transformed, dir, measure, 0, measure,
                                    varType, alpha, k, countDoubleAbsence, f != nullptr);
        for (int a = 0; a < summed; a++) sum[a] += random.eig[a];
        // Ratios left from a permutation with more axes must not be compared.
        for (int a = 0; a < K; a++) Frnd[a] = 0.0;
        for (int a = 0; a < K && a + 1 < axes; a++) Frnd[a] = PseudoF_eig(axes, a + 1, random.eig);
        if (f) {
            PrintEigenvalues(f, random);
            fprintf(f, "\nSampling units:\t");
            for (int u = 0; u < n; u++) fprintf(f, "%d\t", list[u]);
            fprintf(f, "\n");
            PrintScores(f, random, "\nScores of %d sampling units on the first %d bootstrap sample ordination axis(es): \n");
            fprintf(f, "\nPseudo-F ratio in the permuted data (axes 1 to %d):\t", std::min(K, axes));
            Values(f, std::min(K, axes), Frnd);
            fprintf(f, "\n");
        }
        for (int a = 0; a < std::min(K, axes); a++) {
            if (CountsTowardP(random.eig[a], eigObs[a], TieRule::Larger)) Peig[a] += 1.0;
            if (CountsTowardP(Frnd[a], Fobs[a], TieRule::Larger)) PpseudoF[a] += 1.0;
        }
    }
    for (int a = 0; a < K; a++) {
        Peig[a] = PermutationP(Peig[a], N, eigObs[a]);
        PpseudoF[a] = PermutationP(PpseudoF[a], N, Fobs[a]);
        const double average = sum[a] / N;
        belowAverage[a] = eigObs[a] > average ? 0.0 : 1.0;
    }

    if (f) {
        FinalHeading(f, start);
        fprintf(f, "Number of permutations: %d\n", N);
        fprintf(f, "Eigenvalues and corresponding probabilities p(Eig_rnd >= Eig_obs) (ter Frelle 1998)\n");
        fprintf(f, "Results:\n");
        PrintVectorTab(f, K, eigObs, digits);
        Probabilities(f, K, Peig, digits);
        fprintf(f, "Pseudo-F ratios and corresponding probabilities p(Pseudo-F_rnd >= Pseudo-F_obs) (ter Frelle 1998)\n");
        fprintf(f, "Results:\n");
        PrintVectorTab(f, K, Fobs, digits);
        Probabilities(f, K, PpseudoF, digits);
    }
    ClearLine();
}
