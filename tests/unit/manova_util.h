// A run of the permutation MANOVA engine set up by a test, and the test's own
// reference: the lists replayed on a private generator and the sums of
// squares added pair by pair.
#ifndef TEST_MANOVA_UTIL_H
#define TEST_MANOVA_UTIL_H

#include <gsl/gsl_rng.h>

#include <cmath>
#include <string>
#include <vector>

#include "matrix_util.h"
#include "rhlibClasses.h"
#include "rhlibRes_M.h"

namespace manovatest {

using Ints = std::vector<int>;

// n units with the given factors, Euclidean-like dissimilarities drawn from
// a generator of the test's own (both triangles), labels u1.. and A, B, ...
struct Design {
    int n, k;
    testmat::Table D, data;
    std::vector<Ints> factors;
    std::vector<int*> memb;
    std::vector<std::string> unitNames, factorNames;
    std::vector<char*> unitPtrs, factorPtrs;
    manovaInput in{};

    Design(std::vector<Ints> groups, unsigned seed, int nPerm, int p = 3)
        : n(static_cast<int>(groups[0].size())), k(static_cast<int>(groups.size())), D(n, n), data(n, p),
          factors(std::move(groups)) {
        // A shift by the group of the first factor, whatever its labels.
        Ints shift(n);
        GroupPositions(n, factors[0].data(), shift.data());
        gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
        gsl_rng_set(g, seed);
        for (int i = 0; i < n; i++)
            for (int v = 0; v < p; v++) data[i][v] = 10 * gsl_rng_uniform(g) + shift[i] % 3;
        for (int i = 0; i < n; i++)
            for (int j = 0; j < i; j++) {
                double s = 0;
                for (int v = 0; v < p; v++) s += (data[i][v] - data[j][v]) * (data[i][v] - data[j][v]);
                D[i][j] = D[j][i] = std::sqrt(s);
            }
        gsl_rng_free(g);
        for (Ints& f : factors) memb.push_back(f.data());
        for (int i = 0; i < n; i++) unitNames.push_back("u" + std::to_string(i + 1));
        for (int f = 0; f < k; f++) factorNames.push_back(std::string(1, static_cast<char>('A' + f)));
        for (std::string& s : unitNames) unitPtrs.push_back(&s[0]);
        for (std::string& s : factorNames) factorPtrs.push_back(&s[0]);
        in.nObj = n;
        in.nVar = p;
        in.nPermutations = nPerm;
        in.dissim = D.x;
        in.data = data.x;
        in.seedGenerator = true;
        in.seed = seed;
        in.nFactors = k;
        in.memberships = memb.data();
        in.factorLabels = factorPtrs.data();
        in.unitLabels = unitPtrs.data();
        in.digits = 5;
        in.nTests = 1;
        in.testIndex = 1;
    }
};

// Q of the positions for which in(a) holds, the units at them being
// list[a] (from 1); the dissimilarity is read below the diagonal.
template <class In>
double ListQ(const Design& d, const Ints& list, In in) {
    double s = 0;
    int m = 0;
    for (int a = 0; a < d.n; a++) {
        if (!in(a)) continue;
        m++;
        for (int b = a + 1; b < d.n; b++) {
            if (!in(b)) continue;
            const int u = list[a] - 1, v = list[b] - 1;
            const double x = u > v ? d.D[u][v] : d.D[v][u];
            s += x * x;
        }
    }
    return m ? s / m : 0;
}

// Qb of the groups g(a) of the positions.
template <class G>
double ListQb(const Design& d, const Ints& list, G g) {
    double within = 0;
    std::vector<int> seen;
    for (int a = 0; a < d.n; a++) {
        const int label = g(a);
        bool first = true;
        for (int s : seen) first = first && s != label;
        if (!first) continue;
        seen.push_back(label);
        within += ListQ(d, list, [&](int b) { return g(b) == label; });
    }
    return ListQ(d, list, [](int) { return true; }) - within;
}

// The draw rule of the list routines, replayed on a private MT19937.
struct Replay {
    gsl_rng* g;
    explicit Replay(unsigned seed) : g(gsl_rng_alloc(gsl_rng_mt19937)) { gsl_rng_set(g, seed); }
    ~Replay() { gsl_rng_free(g); }
    Replay(const Replay&) = delete;
    Replay& operator=(const Replay&) = delete;
    int U(int m) { return static_cast<int>(gsl_rng_uniform_int(g, m)); }
    Ints Permutation(int n) {
        Ints list(n);
        for (int i = 0; i < n; i++) list[i] = i + 1;
        for (int i = 0; i + 1 < n; i++) std::swap(list[i], list[i + U(n - i)]);
        return list;
    }
    // The selected units permuted among themselves, the others in place.
    Ints Select(const std::vector<bool>& sel) {
        Ints c, list(sel.size());
        for (size_t i = 0; i < sel.size(); i++) {
            list[i] = static_cast<int>(i) + 1;
            if (sel[i]) c.push_back(static_cast<int>(i) + 1);
        }
        Ints q = Permutation(static_cast<int>(c.size()));
        for (size_t t = 0; t < c.size(); t++) list[c[t] - 1] = c[q[t] - 1];
        return list;
    }
};

}  // namespace manovatest

#endif
