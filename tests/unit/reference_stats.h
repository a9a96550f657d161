// Statistics computed the textbook way, as references for the tests.
#ifndef TEST_REFERENCE_STATS_H
#define TEST_REFERENCE_STATS_H

#include <cmath>
#include <vector>

// Pearson correlation of two complete vectors, from the centred sums.
inline double Pearson(const std::vector<double>& a, const std::vector<double>& b) {
    const double n = static_cast<double>(a.size());
    double ma = 0, mb = 0;
    for (size_t k = 0; k < a.size(); k++) ma += a[k] / n, mb += b[k] / n;
    double sab = 0, saa = 0, sbb = 0;
    for (size_t k = 0; k < a.size(); k++) {
        sab += (a[k] - ma) * (b[k] - mb);
        saa += (a[k] - ma) * (a[k] - ma);
        sbb += (b[k] - mb) * (b[k] - mb);
    }
    return sab / std::sqrt(saa * sbb);
}

#endif
