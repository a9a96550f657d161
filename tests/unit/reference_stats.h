// Statistics computed the textbook way, as references for the tests.
#ifndef TEST_REFERENCE_STATS_H
#define TEST_REFERENCE_STATS_H

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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

// The tie rule of the tests written out: random counts when it lies beyond
// observed on the tested side, or within one unit in the last
// single-precision place of it.
inline bool AtOrBeyond(double random, double observed, bool upper) {
    const float a = static_cast<float>(upper ? random : observed), b = static_cast<float>(upper ? observed : random);
    if (a >= b) return true;
    int32_t ia, ib;
    std::memcpy(&ia, &a, 4);
    std::memcpy(&ib, &b, 4);
    auto lex = [](int32_t v) { return v < 0 ? static_cast<int32_t>(0x80000000u - static_cast<uint32_t>(v)) : v; };
    return std::llabs(static_cast<long long>(lex(ia)) - lex(ib)) <= 1;
}

#endif
