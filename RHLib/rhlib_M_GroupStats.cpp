// ===========================================================================
// Group sums of squares and group statistics
// ===========================================================================

#include "rhlib_M.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <vector>

#include "rhlibDim.h"
#include "rhlibRes_M.h"
#include "rhlib_M_internal.h"

namespace {

inline double SqTerm(double d, bool squared) { return squared ? d : d * d; }

// Q of the units for which in(i) holds.
template <class In>
double SetQ(int n, double** D, In in, bool squared) {
    double s = 0.0;
    int m = 0;
    for (int i = 0; i < n; i++) {
        if (!in(i)) continue;
        m++;
        const double* row = D[i];
        for (int j = i + 1; j < n; j++)
            if (in(j)) s += SqTerm(row[j], squared);
    }
    return m > 0 ? s / m : 0.0;
}

// Positions 0..g-1 of the units' labels among the sorted distinct labels.
std::vector<int> Positions0(int n, const int* groups, int& g) {
    std::vector<int> pos(n > 0 ? n : 0);
    g = n > 0 ? GroupPositions(n, groups, pos.data()) : 0;
    for (int& p : pos) p--;
    return pos;
}

// Q(both sides) - Q(side 0) - Q(side 1); side(i) < 0 leaves unit i out.
template <class Side>
double ContrastQ(int n, double** D, Side side, bool squared) {
    double s[3] = {0.0, 0.0, 0.0};  // side 0, side 1, both
    int m[3] = {0, 0, 0};
    for (int i = 0; i < n; i++) {
        const int a = side(i);
        if (a < 0) continue;
        m[a]++;
        m[2]++;
        const double* row = D[i];
        for (int j = i + 1; j < n; j++) {
            const int b = side(j);
            if (b < 0) continue;
            const double t = SqTerm(row[j], squared);
            s[2] += t;
            if (a == b) s[a] += t;
        }
    }
    auto q = [&](int k) { return m[k] > 0 ? s[k] / m[k] : 0.0; };
    return q(2) - q(0) - q(1);
}

// Sums of one variable of a one-way layout over its values that are not
// MISSING: total (T), between (B) and within (W) sums of squares, the number
// of values and of groups that have one.
struct OneWayTerms {
    double T = 0, B = 0, W = 0;
    double largest = 0;  // the largest |x|
    int n = 0, g = 0;
};

OneWayTerms OneWay(int n, const std::vector<int>& pos, int g, double** X, int v,
                   std::vector<double>& sum, std::vector<int>& count) {
    OneWayTerms t;
    sum.assign(g, 0.0);
    count.assign(g, 0);
    double total = 0.0;
    for (int i = 0; i < n; i++) {
        const double x = X[i][v];
        if (x == MISSING) continue;
        sum[pos[i]] += x;
        count[pos[i]]++;
        total += x;
        t.largest = std::max(t.largest, std::fabs(x));
        t.n++;
    }
    if (t.n == 0) return t;
    const double mean = total / t.n;
    for (int c = 0; c < g; c++) {
        if (count[c] == 0) continue;
        t.g++;
        sum[c] /= count[c];  // now the group mean
        t.B += count[c] * (sum[c] - mean) * (sum[c] - mean);
    }
    for (int i = 0; i < n; i++) {
        const double x = X[i][v];
        if (x == MISSING) continue;
        t.T += (x - mean) * (x - mean);
        t.W += (x - sum[pos[i]]) * (x - sum[pos[i]]);
    }
    return t;
}

// The sum over the variables of term(their one-way sums); a variable whose
// within sum of squares could come from the rounding of its group means
// alone adds nothing. A group mean of m values is off by at most about
// m eps |x|, so W of a variable constant within groups stays below
// n (2 n eps max|x|)^2; a genuine W, however small beside T, is above it.
template <class Term>
double SumOverVariables(int n, int p, const int* groups, double** X, Term term) {
    int g = 0;
    const std::vector<int> pos = Positions0(n, groups, g);
    std::vector<double> sum;
    std::vector<int> count;
    double total = 0.0;
    for (int v = 0; v < p; v++) {
        const OneWayTerms t = OneWay(n, pos, g, X, v, sum, count);
        const double rounding = 2.0 * t.n * DBL_EPSILON * t.largest;
        if (t.W > t.n * rounding * rounding) total += term(t);
    }
    return total;
}

}  // namespace

double SumSqDissim(int n, double** D, bool squared) {
    return SetQ(n, D, [](int) { return true; }, squared);
}

double WithinGrSqDissim(int n, double** D, const int* mask, bool squared) {
    return SetQ(n, D, [mask](int i) { return mask[i] == 1; }, squared);
}

double WithinGrSqDissim(int n, double** D, const bool* mask, bool squared) {
    return SetQ(n, D, [mask](int i) { return mask[i]; }, squared);
}

void BetweenGrSqDissim(int n, double** D, const int* groups, double& Qb, double& Qt,
                       const int* included, bool squared) {
    int g = 0;
    const std::vector<int> pos = Positions0(n, groups, g);
    std::vector<double> within(g, 0.0);
    std::vector<int> size(g, 0), order;
    auto in = [included](int i) { return !included || included[i] == 1; };
    double total = 0.0;
    int m = 0;
    for (int i = 0; i < n; i++) {
        if (!in(i)) continue;
        m++;
        if (size[pos[i]]++ == 0) order.push_back(pos[i]);
        const double* row = D[i];
        for (int j = i + 1; j < n; j++) {
            if (!in(j)) continue;
            const double t = SqTerm(row[j], squared);
            total += t;
            if (pos[j] == pos[i]) within[pos[i]] += t;
        }
    }
    Qt = m > 0 ? total / m : 0.0;
    double sumQ = 0.0;
    for (int c : order) sumQ += within[c] / size[c];
    Qb = Qt - sumQ;
}

double GrContrastSqDissim(int n, double** D, const int* groups, const int* coef, bool squared) {
    int g = 0;
    const std::vector<int> pos = Positions0(n, groups, g);
    return ContrastQ(
        n, D,
        [&](int i) {
            const int c = coef[pos[i]];
            return c > 0 ? 0 : (c < 0 ? 1 : -1);
        },
        squared);
}

void BetweenGrSSPairwise(int n, double** D, double** M, const int* groups, int g, bool squared) {
    int found = 0;
    const std::vector<int> pos = Positions0(n, groups, found);
    const int k = std::max(0, std::min(g, found));
    // Sums of d^2 over the pairs of each pair of groups (a <= b), in one pass.
    std::vector<double> S(static_cast<size_t>(k) * k, 0.0);
    std::vector<int> size(k, 0);
    for (int i = 0; i < n; i++) {
        if (pos[i] >= k) continue;
        size[pos[i]]++;
        const double* row = D[i];
        for (int j = i + 1; j < n; j++) {
            if (pos[j] >= k) continue;
            const int a = std::min(pos[i], pos[j]), b = std::max(pos[i], pos[j]);
            S[static_cast<size_t>(a) * k + b] += SqTerm(row[j], squared);
        }
    }
    BetweenGrSSFromSums(k, S.data(), size.data(), M);
}

void BetweenGrSSFromSums(int g, const double* S, const int* size, double** M) {
    auto q = [](double s, int m) { return m > 0 ? s / m : 0.0; };
    for (int a = 0; a < g; a++) {
        const double sa = S[static_cast<size_t>(a) * g + a];
        M[a][a] = q(sa, size[a]);
        for (int b = a + 1; b < g; b++) {
            const double sb = S[static_cast<size_t>(b) * g + b];
            const double pooled = q(sa + sb + S[static_cast<size_t>(a) * g + b], size[a] + size[b]);
            M[a][b] = pooled - M[a][a] - q(sb, size[b]);
        }
    }
}

bool Residuals(int n, int p, int k, int** memberships, const int* nGroups, int** groupCodes,
               double** X, double** R, int mode, const int* removed) {
    if (mode < 1 || mode > 3) return false;
    for (int t = 0; t < mode; t++)
        if (removed[t] < 1 || removed[t] > k) return false;
    // Per removed factor: each unit's group index among its codes (-1: none),
    // then the mean of every variable in every group.
    std::vector<std::vector<int>> group(mode, std::vector<int>(n, -1));
    std::vector<std::vector<double>> mean(mode);
    for (int t = 0; t < mode; t++) {
        const int f = removed[t] - 1, g = nGroups[f];
        for (int i = 0; i < n; i++)
            for (int c = 0; c < g; c++)
                if (groupCodes[f][c] == memberships[f][i]) {
                    group[t][i] = c;
                    break;
                }
        std::vector<double>& m = mean[t];
        std::vector<int> count(static_cast<size_t>(g) * p, 0);
        m.assign(static_cast<size_t>(g) * p, 0.0);
        for (int i = 0; i < n; i++) {
            if (group[t][i] < 0) continue;
            for (int v = 0; v < p; v++) {
                if (X[i][v] == MISSING) continue;
                m[static_cast<size_t>(group[t][i]) * p + v] += X[i][v];
                count[static_cast<size_t>(group[t][i]) * p + v]++;
            }
        }
        for (size_t c = 0; c < m.size(); c++)
            if (count[c] > 0) m[c] /= count[c];
    }
    std::vector<double> grand(p, 0.0);
    for (int v = 0; v < p; v++) {
        int c = 0;
        for (int i = 0; i < n; i++)
            if (X[i][v] != MISSING) {
                grand[v] += X[i][v];
                c++;
            }
        if (c > 0) grand[v] /= c;
    }
    // Every mean is made before R is written, so R may be X.
    for (int i = 0; i < n; i++) {
        bool known = true;
        for (int t = 0; t < mode; t++) known = known && group[t][i] >= 0;
        for (int v = 0; v < p; v++) {
            const double x = X[i][v];
            if (x == MISSING || !known) {
                R[i][v] = MISSING;
                continue;
            }
            double r = x;
            for (int t = 0; t < mode; t++) r -= mean[t][static_cast<size_t>(group[t][i]) * p + v];
            R[i][v] = r + (mode - 1) * grand[v];
        }
    }
    return true;
}

double F_SUM(int n, int p, const int* groups, double** X) {
    return SumOverVariables(n, p, groups, X, [](const OneWayTerms& t) {
        return t.g < 2 || t.n <= t.g ? 0.0 : (t.B / (t.g - 1)) / (t.W / (t.n - t.g));
    });
}

double LR_IND(int n, int p, const int* groups, double** X) {
    return SumOverVariables(n, p, groups, X,
                            [](const OneWayTerms& t) { return t.n * std::log(t.T / t.W); });
}

double MRPP(int n, int g, const int* groups, double** D, bool squared, bool useSquares) {
    (void)g;  // counted from the labels, so that a stale count cannot index outside
    int k = 0;
    const std::vector<int> pos = Positions0(n, groups, k);
    std::vector<double> sum(k, 0.0);
    std::vector<int> size(k, 0);
    for (int i = 0; i < n; i++) {
        size[pos[i]]++;
        const double* row = D[i];
        for (int j = i + 1; j < n; j++) {
            if (pos[j] != pos[i]) continue;
            const double d = row[j];
            sum[pos[i]] += squared == useSquares ? d : (squared ? std::sqrt(d) : d * d);
        }
    }
    double delta = 0.0;
    for (int c = 0; c < k; c++) {
        if (size[c] < 2) continue;
        const double pairs = 0.5 * size[c] * (size[c] - 1.0);
        const double weight = useSquares ? (size[c] - 1.0) / (n - k) : static_cast<double>(size[c]) / n;
        delta += weight * (sum[c] / pairs);
    }
    return delta;
}

double ANOSIM(int n, int g, const int* groups, double** D, bool ranked) {
    (void)g;
    if (n < 2) return std::numeric_limits<double>::quiet_NaN();
    int k = 0;
    const std::vector<int> pos = Positions0(n, groups, k);
    const size_t count = static_cast<size_t>(n) * (n - 1) / 2;
    std::vector<double> v;
    v.reserve(count);
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) v.push_back(D[i][j]);
    // A dissimilarity that is not a number has no rank, and would leave the
    // others with ranks of no meaning.
    if (std::any_of(v.begin(), v.end(), [](double x) { return std::isnan(x); }))
        return std::numeric_limits<double>::quiet_NaN();
    if (!ranked) RankVectorAdj(static_cast<int>(count), v.data(), v.data());
    double within = 0.0, between = 0.0;
    double nWithin = 0.0, nBetween = 0.0;
    size_t t = 0;
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++, t++) {
            if (pos[i] == pos[j]) {
                within += v[t];
                nWithin++;
            } else {
                between += v[t];
                nBetween++;
            }
        }
    const double rW = nWithin > 0 ? within / nWithin : 0.0;
    const double rB = nBetween > 0 ? between / nBetween : 0.0;
    return (rB - rW) / (n * (n - 1.0) / 4.0);
}

double NearNeigSSqWhich(int n, double** D, int* which) { return NearNeigSSqWhich(n, D, which, nullptr); }

double NearNeigSSqWhich(int n, double** D, int* which, gsl_rng* g) {
    if (n < 1) return 0.0;
    // log10 n! from lgamma: n! itself overflows from n = 1755.
    const double limit = 100.0 * std::lgamma(n + 1.0) / std::log(10.0);
    const long long L = limit < 9.0e18 ? static_cast<long long>(limit) : std::numeric_limits<long long>::max();
    std::vector<int> order(n), taken(n), assign(n);
    double best = std::numeric_limits<double>::max();
    long long run = 0;
    bool first = true;
    do {
        RndList(n, order.data(), g);
        std::fill(taken.begin(), taken.end(), 0);
        double cost = 0.0;
        for (int t = 0; t < n; t++) {
            const int i = order[t] - 1;
            const double* row = D[i] + n;
            int nearest = -1;
            for (int j = 0; j < n; j++)
                if (!taken[j] && (nearest < 0 || row[j] < row[nearest])) nearest = j;
            taken[nearest] = 1;
            assign[i] = nearest;
            cost += row[nearest];
        }
        // The first order always counts, so that which is written even when
        // the costs are not numbers.
        if (cost < best || first) {
            first = false;
            best = cost;
            std::copy(assign.begin(), assign.end(), which);
            run = 0;
        } else {
            run++;
        }
    } while (run < L);
    return best;
}

void CompareLambda(double a, double b, double& count) {
    if (a >= b) count += 1.0;
}

double GrContrastSS(int n, double** D, const int* positive, const int* negative, bool squared) {
    return ContrastQ(
        n, D, [&](int i) { return positive[i] == 1 ? 0 : (negative[i] == 1 ? 1 : -1); }, squared);
}

double GrContrastSS(int n, double** D, const bool* positive, const bool* negative, bool squared) {
    return ContrastQ(
        n, D, [&](int i) { return positive[i] ? 0 : (negative[i] ? 1 : -1); }, squared);
}

double AverageResemblance(int n, double** D) {
    double s = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) s += D[i][j];
    return n > 1 ? s / (0.5 * n * (n - 1.0)) : 0.0;
}

double AverageDissim(int n, double** D, const int* groups, const int* included) {
    double s = 0.0, m = 0.0;
    for (int i = 0; i < n; i++) {
        if (included && included[i] != 1) continue;
        for (int j = i + 1; j < n; j++) {
            if ((included && included[j] != 1) || groups[j] == groups[i]) continue;
            s += D[i][j];
            m++;
        }
    }
    return m > 0 ? s / m : 0.0;
}

double NearNeigSSq(int n, double** D) {
    std::vector<int> which(n > 0 ? n : 0);
    return NearNeigSSqWhich(n, D, which.data());
}

namespace {

// The mean over the pairs of groups of the first g of a pair's term, made of
// two halves: for each group a in turn, unitTerm(i, pos, k, sums) adds to
// sums[b] what unit i of a gives towards group b, and the ordered pair (a, b)
// adds pairTerm(sums[b], size of a, size of b). One group's sums are held at
// a time, so no table of group pairs is needed.
template <class UnitTerm, class PairTerm>
double OverGroupPairs(int n, int g, const int* groups, UnitTerm unitTerm, PairTerm pairTerm) {
    int found = 0;
    const std::vector<int> pos = Positions0(n, groups, found);
    const int k = std::max(0, std::min(g, found));
    if (k < 2) return 0.0;
    std::vector<std::vector<int>> members(k);
    for (int i = 0; i < n; i++)
        if (pos[i] < k) members[pos[i]].push_back(i);
    std::vector<double> sums(k);
    double total = 0.0;
    for (int a = 0; a < k; a++) {
        std::fill(sums.begin(), sums.end(), 0.0);
        for (int i : members[a]) unitTerm(i, pos, k, sums);
        for (int b = 0; b < k; b++)
            if (b != a) total += pairTerm(sums[b], members[a].size(), members[b].size());
    }
    return total / (0.5 * k * (k - 1.0));
}

// The dissimilarity of units i and j, read above the diagonal.
inline double UpperEntry(double** D, int i, int j) { return i < j ? D[i][j] : D[j][i]; }

}  // namespace

double CentroidDist(int n, int g, const int* groups, double** D) {
    return OverGroupPairs(
        n, g, groups,
        [&](int i, const std::vector<int>& pos, int k, std::vector<double>& sums) {
            for (int j = 0; j < n; j++)
                if (pos[j] < k && pos[j] != pos[i]) sums[pos[j]] += UpperEntry(D, i, j);
        },
        // Half of the pair's mean, from each of its two groups.
        [](double sum, size_t na, size_t nb) { return 0.5 * sum / (static_cast<double>(na) * nb); });
}

double NearNeighDist(int n, int g, const int* groups, double** D) {
    std::vector<double> nearest;
    return OverGroupPairs(
        n, g, groups,
        [&](int i, const std::vector<int>& pos, int k, std::vector<double>& sums) {
            nearest.assign(k, std::numeric_limits<double>::infinity());
            for (int j = 0; j < n; j++) {
                if (pos[j] >= k || pos[j] == pos[i]) continue;
                const double d = UpperEntry(D, i, j);
                double& m = nearest[pos[j]];
                if (std::isnan(d) || d < m) m = d;  // not a number stays
            }
            for (int b = 0; b < k; b++)
                if (b != pos[i]) sums[b] += nearest[b];
        },
        // Group a's units, over all the units of the pair.
        [](double sum, size_t na, size_t nb) { return sum / static_cast<double>(na + nb); });
}

double RndLogisticCentre(double lo, double hi) {
    GeneratorLock lock(generatorMutex);
    return lo + (hi - lo) * gsl_rng_uniform(r);
}
