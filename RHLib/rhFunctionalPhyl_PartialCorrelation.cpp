// ===========================================================================
// Partial correlations
// ===========================================================================

#include "rhFunctionalPhyl.h"

#include <cmath>
#include <vector>

#include "rhLinearModels.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"
#include "rhFunctionalPhyl_internal.h"

using namespace fp_detail;

double PartialCorrelation(double rXY, double rXZ, double rYZ) {
    // A covariate that is (up to rounding) a linear function of X or Y leaves
    // nothing to correlate; -1 is as degenerate as +1.
    if (AlmostEqual_Tolerance(std::fabs(rXZ), 1.0, 1e-9) || AlmostEqual_Tolerance(std::fabs(rYZ), 1.0, 1e-9))
        return 0.0;
    return (rXY - rXZ * rYZ) / std::sqrt(1.0 - rXZ * rXZ) / std::sqrt(1.0 - rYZ * rYZ);
}

double PartialMatrixCorrelation(int n, int p1, int p2, double** X1, double** X2, int method,
                                double tolerance, const std::vector<CovariateBlock>& blocks) {
    if (method != 2 && method != 3) return 0.0;
    int joined = 0;
    for (const CovariateBlock& b : blocks) {
        if (b.cols < 0 || (b.cols > 0 && !b.X)) return NaN;
        for (int j = 0; j < b.cols; j++)
            if (!b.select || b.select[j] == 1) joined++;
    }
    ScopedMatrix<double> Z(n, joined), R1(n, p1), R2(n, p2);
    int column = 0;
    for (const CovariateBlock& b : blocks)
        for (int j = 0; j < b.cols; j++) {
            if (b.select && b.select[j] != 1) continue;
            for (int i = 0; i < n; i++) Z[i][column] = b.X[i][j];
            column++;
        }
    // The residuals go to work tables: the caller's tables stay as they are
    // for the statistics computed after this one.
    PCA_Regression_ResidualsSelect(n, p1, joined, X1, Z, R1, nullptr, 2, tolerance);
    PCA_Regression_ResidualsSelect(n, p2, joined, X2, Z, R2, nullptr, 2, tolerance);
    return method == 2 ? ProcrustesCoeff(n, p1, p2, R1, R2) : RVcoeff(n, p1, p2, R1, R2);
}
