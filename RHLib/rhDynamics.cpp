#include "rhDynamics.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"

namespace {

// FitMarkov with the row totals and two vectors of p in buffers the caller
// keeps (n + 2p values).
void FitMarkovInto(int n, int p, int maxLag, double** X, double*** transitions, double* work) {
    double* totals = work;
    double* loss = work + n;
    double* gain = loss + p;
    RowTotals(n, p, X, totals);
    for (int l = 1; l <= maxLag; l++) {
        double** A = transitions[l - 1];
        for (int i = 0; i < p; i++)
            for (int j = 0; j < p; j++) A[i][j] = 0.0;
        // The matrices W are only ever averaged, so they are added up
        // directly.
        for (int s = 0; s + l < n; s++) {
            const double* xs = X[s];
            const double* xu = X[s + l];
            const double Tu = totals[s + l];
            if (!(Tu > 0)) {
                for (int i = 0; i < p; i++) A[i][i] += xu[i];
                continue;
            }
            // A loss of state i went to every other state j, and a gain of j
            // came from every other state i, in proportion to their amounts
            // at u: W[i][j] = x_u,j loss_i + x_u,i gain_j off the diagonal,
            // W[i][i] = x_u,i.
            for (int i = 0; i < p; i++) {
                const double d = xu[i] - xs[i];
                loss[i] = d < 0 ? -d / Tu : 0.0;
                gain[i] = d > 0 ? d / Tu : 0.0;
            }
            for (int i = 0; i < p; i++) {
                double* row = A[i];
                const double kept = row[i] + xu[i], li = loss[i], xi = xu[i];
                for (int j = 0; j < p; j++) row[j] += xu[j] * li + xi * gain[j];
                row[i] = kept;
            }
        }
        const double pairs = n - l;
        for (int i = 0; i < p; i++)
            for (int j = 0; j < p; j++) A[i][j] /= pairs;
        UnitSumRowsAdj(p, p, A, A);
    }
}

}  // namespace

void FitMarkov(int n, int p, int maxLag, double** series, double*** transitions) {
    if (n < 1 || p < 1) return;
    std::vector<double> work(n + 2 * p);
    FitMarkovInto(n, p, maxLag, series, transitions, work.data());
}

void MarkovPredictLag(int rows, int p, int lag, double** P, double** Y) {
    if (lag < 1) return;
    for (int r = lag; r < rows; r++) {
        const double* x = Y[r - lag];
        double* y = Y[r];
        for (int j = 0; j < p; j++) y[j] = 0.0;
        for (int i = 0; i < p; i++) {
            const double xi = x[i];
            const double* Pi = P[i];
            for (int j = 0; j < p; j++) y[j] += xi * Pi[j];
        }
    }
}

void MarkovityTest(int n, int p, int maxLag, double** X, int nIter, double* K, double* P, double* average) {
    if (n < 3 || p < 1 || maxLag < 1 || nIter < 1) return;
    // Buffers made once: the distances of the series in data order, whose
    // permutation is the distance matrix of every permuted series; the
    // permuted series (row pointers into X), its prediction, the transition
    // matrices and the distances of the prediction.
    ScopedMatrix<double> DX(n, n), DXr(n, n), DY(n, n), Y(n, p);
    double*** T = dim3DT<double>(maxLag, p, p);
    std::vector<double*> Xr(n);
    std::vector<int> list(n);
    std::vector<double> work(n + 2 * p), count(maxLag, 1.0), sum(maxLag, 0.0);
    EucliDist(n, p, X, DX);
    for (int i = 0; i < n; i++) list[i] = i + 1;

    for (int k = 1; k <= nIter; k++) {
        if (k > 1) {
            char text[64];
            snprintf(text, sizeof text, "Randomization iteration: %d %d", nIter, k);
            HandleEventInfoWhere2(text);
            RndList(n, list.data());
        }
        for (int i = 0; i < n; i++) {
            Xr[i] = X[list[i] - 1];
            const double* from = DX[list[i] - 1];
            double* to = DXr[i];
            for (int j = 0; j < n; j++) to[j] = from[list[j] - 1];
        }
        FitMarkovInto(n, p, maxLag, Xr.data(), T, work.data());
        for (int i = 0; i < n; i++)
            for (int j = 0; j < p; j++) Y[i][j] = Xr[i][j];
        for (int l = 1; l <= maxLag; l++) {
            MarkovPredictLag(n, p, l, T[l - 1], Y);
            EucliDist(n, p, Y, DY);
            const double stress = MatrixStressKruskal(n, DXr, DY);
            if (k == 1) {
                // No variation (-1) leaves nothing to test.
                K[l - 1] = stress;
            } else {
                const double observed = K[l - 1] == -1.0 ? std::numeric_limits<double>::quiet_NaN() : K[l - 1];
                if (CountsTowardP(stress, observed, TieRule::Smaller)) count[l - 1] += 1.0;
                sum[l - 1] += stress;
            }
        }
    }
    for (int l = 0; l < maxLag; l++) {
        const double observed = K[l] == -1.0 ? std::numeric_limits<double>::quiet_NaN() : K[l];
        P[l] = PermutationP(count[l], nIter, observed);
        average[l] = nIter > 1 ? sum[l] / (nIter - 1) : 0.0;
    }
    free3DT(T, maxLag, p);
}

namespace {

// A reference point leaning on a reference value that is not a number has
// no place on the scale.
double ReferencePoint(double sum, int count) { return std::isfinite(sum) ? sum / count : kNoValue; }

}  // namespace

void RatesOfChange(int n, const double* change, const double* span, const double* reference, double* velocity,
                   double* velocityAt, double* acceleration, double* accelerationAt) {
    for (int i = 0; i + 1 < n; i++) {
        velocity[i] = span[i] > 0 && change[i] != MISSING ? change[i] / span[i] : kNoValue;
        velocityAt[i] = ReferencePoint(reference[i] + reference[i + 1], 2);
    }
    // Arithmetic on the mark would print huge numbers as if they were rates.
    for (int i = 0; i + 2 < n; i++) {
        const double m = (span[i] + span[i + 1]) / 2;
        const bool defined = m > 0 && velocity[i] != kNoValue && velocity[i + 1] != kNoValue;
        acceleration[i] = defined ? (velocity[i + 1] - velocity[i]) / m : kNoValue;
        accelerationAt[i] = ReferencePoint(reference[i] + reference[i + 1] + reference[i + 2], 3);
    }
}
