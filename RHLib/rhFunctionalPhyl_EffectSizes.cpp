// ===========================================================================
// Effect sizes and P values
// ===========================================================================

#include "rhFunctionalPhyl.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "rhlibDim.h"
#include "rhFunctionalPhyl_internal.h"

using namespace fp_detail;

double SES(double observed, double sumOfSquares, double sum, int n) {
    double variance = (sumOfSquares - sum * sum / n) / (n - 1);
    // Equal values can leave a rounding residue below 0; their spread is 0.
    if (variance < 0) variance = 0.0;
    return (observed - sum / n) / std::sqrt(variance);
}

double SES_median(double observed, double median, double lowQuantile, double highQuantile) {
    if (observed >= median) return (observed - median) / (highQuantile - median);
    return (observed - median) / (median - lowQuantile);
}

double Pvalue(int n, const double* random, double observed, double median, int sided) {
    if (sided < -1 || sided > 1) {
        fprintf(stderr, "Undefined one- or two-sided option in function P-value!\n");
        exit(1);
    }
    if (n < 0 || !std::isfinite(observed)) return NaN;
    const bool upper = sided == 1 || (sided == 0 && observed >= median);
    const TieRule rule = upper ? TieRule::Larger : TieRule::Smaller;
    double count = 1.0;
    for (int i = 0; i < n; i++)
        if (CountsTowardP(random[i], observed, rule)) count += 1.0;
    const double P = count / (n + 1.0);
    return sided == 0 ? std::min(1.0, 2.0 * P) : P;
}
