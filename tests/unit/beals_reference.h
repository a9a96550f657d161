// The Beals test of a presence/absence table rebuilt from its definition, as
// a reference for the tests of the library's test and of the drivers that
// run it.
#ifndef TEST_BEALS_REFERENCE_H
#define TEST_BEALS_REFERENCE_H

#include <gsl/gsl_rng.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "rhlibDim.h"

namespace bealsref {

using Rows = std::vector<std::vector<double>>;

inline double MedianOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t k = v.size();
    return k % 2 ? v[k / 2] : (v[k / 2 - 1] + v[k / 2]) / 2;
}

// The Beals test of a presence/absence table rebuilt from its definition with
// a private GSL generator: joint occurrences counted anew for each permuted
// column, the smoothed value of unit i for taxon t the mean of the other
// taxa's conditional values J(a, t) / O(a) over the taxa a != t that unit i
// holds, and the lists drawn taxon after taxon, permutation after
// permutation, over the units that take part.
inline void ReferenceBealsTest(const Rows& x, int nPerm, int statistic, unsigned seed,
                               std::vector<double>& stat, std::vector<double>& prob) {
    const int n = static_cast<int>(x.size()), p = static_cast<int>(x[0].size());
    auto present = [](double v) { return v != MISSING && v > 0; };
    std::vector<int> occ(p, 0), richness(n, 0);
    for (int i = 0; i < n; i++)
        for (int a = 0; a < p; a++)
            if (present(x[i][a])) occ[a]++, richness[i]++;
    // Smoothed column t (own value left out) when column t holds y.
    auto smoothed = [&](int t, const std::vector<double>& y) {
        std::vector<double> m(p, 0.0), s(n, 0.0);
        for (int a = 0; a < p; a++) {
            if (a == t || occ[a] == 0) continue;
            int joint = 0;
            for (int k = 0; k < n; k++) joint += present(x[k][a]) && present(y[k]);
            m[a] = static_cast<double>(joint) / occ[a];
        }
        for (int i = 0; i < n; i++) {
            const int others = richness[i] - (present(x[i][t]) ? 1 : 0);
            double sum = 0;
            for (int a = 0; a < p; a++)
                if (a != t && present(x[i][a])) sum += m[a];
            s[i] = others > 0 ? sum / others : 0.0;
        }
        return s;
    };
    auto statisticOf = [&](const std::vector<double>& y, const std::vector<double>& s) {
        std::vector<double> pres, abs;
        for (int i = 0; i < n; i++) {
            if (y[i] == MISSING) continue;
            if (y[i] > 0) pres.push_back(s[i]);
            if (y[i] == 0) abs.push_back(s[i]);
        }
        if (statistic == 1) return MedianOf(pres) - MedianOf(abs);
        double a = 0, b = 0;
        for (double v : pres) a += v;
        for (double v : abs) b += v;
        return a / pres.size() - b / abs.size();
    };
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, seed);
    stat.assign(p, MISSING);
    prob.assign(p, 1.0);
    for (int t = 0; t < p; t++) {
        // A unit takes part when its value is known and, with its own value
        // counted, the smoothing gives it a non-zero value: it holds a taxon
        // that occurs with t somewhere (or t itself).
        std::vector<double> y(n);
        std::vector<int> cand;
        int nPres = 0, nAbs = 0;
        for (int i = 0; i < n; i++) {
            y[i] = x[i][t];
            nPres += present(y[i]);
            nAbs += y[i] == 0;
            bool nonZero = present(y[i]);
            for (int a = 0; a < p && !nonZero; a++) {
                if (!present(x[i][a])) continue;
                for (int k = 0; k < n && !nonZero; k++) nonZero = present(x[k][a]) && present(x[k][t]);
            }
            if (y[i] != MISSING && nonZero) cand.push_back(i);
        }
        const bool testable = nPres > 0 && nAbs > 0;
        const double observed = testable ? statisticOf(y, smoothed(t, y)) : MISSING;
        int count = 1;
        for (int k = 2; k <= nPerm; k++) {
            const int m = static_cast<int>(cand.size());
            std::vector<int> q(m);
            for (int i = 0; i < m; i++) q[i] = i;
            for (int i = 0; i + 1 < m; i++)
                std::swap(q[i], q[i + static_cast<int>(gsl_rng_uniform_int(g, m - i))]);
            if (!testable) continue;
            std::vector<double> yp = y;
            for (int c = 0; c < m; c++) yp[cand[c]] = y[cand[q[c]]];
            const double s = statisticOf(yp, smoothed(t, yp));
            if (s >= observed - 1e-12) count++;
        }
        if (testable) {
            stat[t] = observed;
            prob[t] = static_cast<double>(count) / nPerm;
        }
    }
    gsl_rng_free(g);
}

}  // namespace bealsref

#endif
