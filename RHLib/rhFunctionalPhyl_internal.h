// Internals shared by the files of the functional and phylogenetic module and
// by no caller: NaN, the digits of the traces, the progress line of the tests,
// and the nearest-neighbour search within communities that a statistic and
// its permutation test both make.
#ifndef RHFUNCTIONALPHYL_INTERNAL_H
#define RHFUNCTIONALPHYL_INTERNAL_H

#include <cstdio>
#include <limits>
#include <vector>

#include "iflibG.h"

namespace fp_detail {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// The search for the nearest dissimilarity starts at the largest
// single-precision value: a pair at that value or beyond is no neighbour.
constexpr double kLargestFloat = 3.4028234663852886e+38;

// Digits of the matrices written by the traces.
constexpr int kTraceDigits = 6;

inline void ShowTestProgress(const char* format, int iteration, int N) {
    char text[64];
    snprintf(text, sizeof text, format, iteration, N);
    HandleEventInfoWhere2(text);
}

// ---------------------------------------------------------------------------
// Nearest neighbours within communities
// ---------------------------------------------------------------------------

// The present OTUs (W > 0) of each community, in ascending order, and its
// richness (given by the caller or counted).
struct Communities {
    std::vector<std::vector<int>> present;
    std::vector<int> richness;
    Communities(int p, int c, double** W, const int* given)
        : present(c > 0 ? c : 0), richness(c > 0 ? c : 0) {
        for (int i = 0; i < c; i++) {
            for (int j = 0; j < p; j++)
                if (W[i][j] > 0) present[i].push_back(j);
            richness[i] = given ? given[i] : static_cast<int>(present[i].size());
        }
    }
};

// Whether resemblance v is nearer than the best so far. The search starts at
// the largest float (dissimilarities) or at 0 (similarities), so a pair that
// is not nearer than that start, or NaN, never qualifies.
inline bool Nearer(double v, double best, bool dissimilarity) {
    return dissimilarity ? v < best : v > best;
}
inline double SearchStart(bool dissimilarity) { return dissimilarity ? kLargestFloat : 0.0; }

// The mean over the communities of richness above 1 of the sum of the gains
// of their present OTUs divided by their richness. neighbour(i, j, k, s)
// finds the nearest neighbour k of OTU j in community i and its resemblance
// s, or returns false when j has none.
template <class Neighbour>
double MeanNearestNeighbour(int c, double** W, const Communities& com, bool dissimilarity,
                            Neighbour&& neighbour) {
    double total = 0.0;
    int counted = 0;
    for (int i = 0; i < c; i++) {
        if (com.richness[i] <= 1) continue;
        double sum = 0.0;
        for (int j : com.present[i]) {
            int k;
            double s;
            if (!neighbour(i, j, k, s)) continue;
            // Near neighbours weigh by abundance: a close dissimilarity counts
            // more between abundant OTUs, a close similarity less.
            sum += dissimilarity ? s * W[i][k] * W[i][j] : s / (W[i][k] * W[i][j]);
        }
        total += sum / com.richness[i];
        counted++;
    }
    return counted > 0 ? total / counted : NaN;
}

// The scan of the present OTUs of community i for the neighbour of j in S
// read through perm (perm[j] the row of S that OTU j takes; null: S as it
// is), the first nearest winning ties.
struct ScanNeighbour {
    double** S;
    const Communities& com;
    bool dissimilarity;
    const int* perm;
    bool operator()(int i, int j, int& k, double& s) const {
        const double* row = S[perm ? perm[j] : j];
        double best = SearchStart(dissimilarity);
        int found = -1;
        for (int l : com.present[i]) {
            if (l == j) continue;
            double v = row[perm ? perm[l] : l];
            if (Nearer(v, best, dissimilarity)) {
                best = v;
                found = l;
            }
        }
        if (found < 0) return false;
        k = found;
        s = best;
        return true;
    }
};

}  // namespace fp_detail

#endif
