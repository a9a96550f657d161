// ===========================================================================
// Bootstrap confidence limits
// ===========================================================================

#include "rhlib_M.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <functional>
#include <vector>

#include "rhlibDim.h"

int BootstrapIterationCap(int typed) {
    const long long t = typed;
    const long long cap = std::max(10 * t, t + 10000);
    return static_cast<int>(std::min<long long>(cap, INT_MAX));
}

int BootstrapEvenIterations(int typed, double alpha) {
    if (typed < 1 || !(alpha > 0.0 && alpha <= 1.0)) return 0;
    const long long cap = BootstrapIterationCap(typed);
    long long k = typed;
    while (std::fmod(static_cast<double>(k) * alpha, 2.0) > 0) {
        if (k >= cap) return 0;
        k++;
    }
    return static_cast<int>(k);
}

int BootstrapTailSize(int iterations, double alpha) {
    return static_cast<int>(static_cast<double>(iterations) * alpha * 0.5);
}

void BootstrapTailsReset(int m, double* low, double* high) {
    std::fill(low, low + m, DBL_MAX);
    std::fill(high, high + m, -DBL_MAX);
}

void BootstrapTailsAdd(int m, double* low, double* high, double v) {
    if (v < low[m - 1]) {
        double* at = std::upper_bound(low, low + m, v);
        std::copy_backward(at, low + m - 1, low + m);
        *at = v;
    }
    if (v > high[m - 1]) {
        double* at = std::upper_bound(high, high + m, v, std::greater<double>());
        std::copy_backward(at, high + m - 1, high + m);
        *at = v;
    }
}

void BootstrapTailsLimits(int m, const double* low, const double* high, int added, double* lower,
                          double* upper) {
    const bool formed = m >= 1 && added >= m;
    *lower = formed ? low[m - 1] : MISSING;
    *upper = formed ? high[m - 1] : MISSING;
}

int SamplerVectorMeanFunction(int n, const double* x, int iterations, double alpha, double* lower,
                              double* upper) {
    *lower = *upper = MISSING;
    const int raised = n >= 1 ? BootstrapEvenIterations(iterations, alpha) : 0;
    if (raised == 0) return 0;
    const int m = BootstrapTailSize(raised, alpha);
    std::vector<int> list(n);
    std::vector<double> low(m), high(m);
    BootstrapTailsReset(m, low.data(), high.data());
    int added = 0;
    for (int it = 0; it < raised; it++) {
        RndListBootstrap(n, list.data());
        double sum = 0.0;
        int count = 0;
        for (int i = 0; i < n; i++) {
            const double v = x[list[i] - 1];
            if (v == MISSING) continue;
            sum += v;
            count++;
        }
        const double mean = count > 0 ? sum / count : 0.0;
        if (count == 0 || !std::isfinite(mean)) continue;
        BootstrapTailsAdd(m, low.data(), high.data(), mean);
        added++;
    }
    BootstrapTailsLimits(m, low.data(), high.data(), added, lower, upper);
    return added >= m ? 1 : 0;
}
