// ===========================================================================
// Statistics of one community table
// ===========================================================================

#include "rhFunctionalPhyl.h"

#include <cmath>

#include "rhlibDim.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"
#include "rhFunctionalPhyl_internal.h"

using namespace fp_detail;

double NearNeigAvgTraitResemblance_WithinCommunity(int p, int c, double** W, double** S,
                                                   bool dissimilarity, bool mirror,
                                                   const int* richness) {
    if (mirror) UpperToLowerMatrix(p, S);
    Communities com(p, c, W, richness);
    return MeanNearestNeighbour(c, W, com, dissimilarity, ScanNeighbour{S, com, dissimilarity, nullptr});
}

bool NNCRD(int n, double** T, double** D, double* result) {
    for (int i = 0; i < n; i++) {
        auto candidate = [&](int j) { return j != i && T[i][j] != MISSING && !std::isnan(T[i][j]); };
        int first = -1;
        for (int j = 0; j < n; j++)
            if (candidate(j) && (first < 0 || T[i][j] < T[i][first])) first = j;
        if (first < 0) {
            result[i] = 0.0;
            continue;
        }
        double sum = 0.0;
        int ties = 0;
        for (int j = 0; j < n; j++)
            if (candidate(j) && T[i][j] == T[i][first]) {
                sum += D[i][j];
                ties++;
            }
        result[i] = sum / ties;
    }
    return true;
}

bool LCBD(int n, double** D, double* result, bool squared) {
    if (n <= 0) return true;
    ScopedMatrix<double> G(n, n);
    DissToCenterProdMatrix(n, D, G.x, squared);
    double trace = 0.0;
    for (int i = 0; i < n; i++) trace += G[i][i];
    if (trace == 0.0) trace = 1.0;
    for (int i = 0; i < n; i++) result[i] = G[i][i] / trace;
    return true;
}

bool DiversityPartition(int c, int p, double** W, double** D, double& alpha, double& beta,
                        double& gamma, double& alphaEquivalent, double& betaEquivalent,
                        double& gammaEquivalent, double& betaProportion) {
    ScopedMatrix<double> P(c, p);
    ScopedVector<double> pooled(p);
    if (c > 0 && p > 0) UnitSumRowsAdjMV(c, p, P.x, W);
    // An empty community has no profile: counting it as a Rao index of 0
    // would lower alpha and raise beta for no ecological reason.
    double alphaSum = 0.0;
    int included = 0;
    for (int i = 0; i < c; i++) {
        double total = 0.0;
        for (int j = 0; j < p; j++)
            if (W[i][j] != MISSING) total += W[i][j];
        if (!(total > 0)) continue;
        alphaSum += RaoIndex_Simpson(p, P[i], D, true, false);
        for (int j = 0; j < p; j++)
            if (P[i][j] != MISSING) pooled[j] += P[i][j];
        included++;
    }
    if (included > 0) {
        for (int j = 0; j < p; j++) pooled[j] /= included;
        alpha = alphaSum / included;
        gamma = RaoIndex_Simpson(p, pooled.x, D, true, false);
    } else {
        alpha = gamma = 0.0;
    }
    beta = gamma - alpha;
    alphaEquivalent = 1.0 / (1.0 - alpha);
    gammaEquivalent = 1.0 / (1.0 - gamma);
    betaEquivalent = gammaEquivalent / alphaEquivalent;
    betaProportion = (gammaEquivalent - alphaEquivalent) / gammaEquivalent;
    return true;
}
