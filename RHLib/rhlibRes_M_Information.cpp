// ===========================================================================
// Entropy, diversity and information measures
// ===========================================================================

#include "rhlibRes_M.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

#include "rhlibDim.h"
#include "rhlibOut.h"

namespace info_detail {

// An order this close to 1 is Shannon's: the Renyi formula would divide a
// rounding error by a rounding error there.
constexpr double kShannonTolerance = 1e-12;

inline bool IsShannon(double alpha) { return std::fabs(alpha - 1.0) <= kShannonTolerance; }

// The order as the coherence, column-entropy and pairwise mutual-entropy
// measures have always held it: in single precision.
inline double SingleOrder(double alpha) {
    return std::fabs(alpha) <= FLT_MAX ? static_cast<double>(static_cast<float>(alpha)) : alpha;
}

inline bool Present(double v) { return v != MISSING && !std::isnan(v); }

}  // namespace info_detail

double RootOfOneLessSquare(double r) {
    // The entropies behind r carry a few units of rounding: two independent
    // variables come out with a mutual entropy of 1e-16 instead of 0, and
    // the square root would turn that noise into a coherence of 2e-8.
    const double v = 1.0 - r * r;
    return v > 16 * DBL_EPSILON ? std::sqrt(v) : 0.0;
}

namespace info_detail {

void Bell() {
    fputc(7, stdout);
    fflush(stdout);
}

// ln of the p-weighted mean of exp(delta r_i), the core of every Renyi form:
// ln(sum p_i exp(delta r_i) / sum p_i). Written naively, p^alpha underflows
// to 0 (and its logarithm to -inf) from orders of a few hundred, and the
// ratio ln(sum) / (alpha - 1) loses its digits near order 1. So: near order 1
// the sum is taken as 1 + sum p_i expm1(delta r_i) (log1p keeps the small
// difference); elsewhere the largest exponent is taken out of the sum, which
// then lies between the smallest weight and 1 and can neither underflow nor
// overflow, whatever the order.
double LogMeanExp(const std::vector<double>& weights, const std::vector<double>& r, double delta) {
    double P = 0.0;
    for (double w : weights) P += w;
    if (std::fabs(delta) <= 0.5) {
        double t = 0.0;
        for (size_t i = 0; i < r.size(); i++) t += weights[i] * std::expm1(delta * r[i]);
        return std::log1p(t / P);
    }
    double m = -HUGE_VAL;
    for (double v : r) m = std::max(m, delta * v);
    double t = 0.0;
    for (size_t i = 0; i < r.size(); i++) t += weights[i] * std::exp(delta * r[i] - m);
    return m + std::log(t / P);
}

// Renyi entropy of order alpha of proportions that are all above 0:
// ln(sum p^alpha) / (1 - alpha) = -ln(sum p p^(alpha-1)) / (alpha - 1). As the
// order grows it tends to the min-entropy -ln(max p), which it reaches in
// double precision long before the largest order accepted.
double Renyi(const std::vector<double>& p, double alpha) {
    if (IsShannon(alpha)) {
        double s = 0.0;
        for (double v : p) s += v * std::log(v);
        return std::fabs(s);
    }
    if (p.empty()) return 0.0;
    std::vector<double> logs(p.size());
    for (size_t i = 0; i < p.size(); i++) logs[i] = std::log(p[i]);
    const double delta = alpha - 1.0;
    return -LogMeanExp(p, logs, delta) / delta;
}

// The positive entries of x divided by their total.
std::vector<double> Proportions(int n, const double* x) {
    double total = 0.0;
    for (int i = 0; i < n; i++)
        if (x[i] > 0) total += x[i];
    std::vector<double> p;
    if (!(total > 0)) return p;
    for (int i = 0; i < n; i++)
        if (x[i] > 0) p.push_back(x[i] / total);
    return p;
}

// Totals of a two-way table over its non-missing cells.
struct Margins {
    double total = 0.0;
    std::vector<double> rows, cols;
    Margins(int n, int p, double** T) : rows(n, 0.0), cols(p, 0.0) {
        for (int i = 0; i < n; i++)
            for (int j = 0; j < p; j++) {
                double v = T[i][j];
                if (v == MISSING) continue;
                rows[i] += v;
                cols[j] += v;
                total += v;
            }
    }
};

// Totals of a three-way table over its non-missing cells: one-way and
// two-way margins.
struct Margins3 {
    int a, b, c;
    double total = 0.0;
    std::vector<double> ni, nj, nk, nij, nik, njk;
    Margins3(int a_, int b_, int c_, double*** T)
        : a(a_), b(b_), c(c_), ni(a_, 0.0), nj(b_, 0.0), nk(c_, 0.0),
          nij(static_cast<size_t>(a_) * b_, 0.0), nik(static_cast<size_t>(a_) * c_, 0.0),
          njk(static_cast<size_t>(b_) * c_, 0.0) {
        for (int i = 0; i < a; i++)
            for (int j = 0; j < b; j++)
                for (int k = 0; k < c; k++) {
                    double v = T[i][j][k];
                    if (v == MISSING) continue;
                    total += v;
                    ni[i] += v;
                    nj[j] += v;
                    nk[k] += v;
                    nij[static_cast<size_t>(i) * b + j] += v;
                    nik[static_cast<size_t>(i) * c + k] += v;
                    njk[static_cast<size_t>(j) * c + k] += v;
                }
    }
};

// Divergence of cell proportions p from reference proportions e over the
// cells with p > 0: sum p ln(p/e) at order 1, otherwise
// ln(sum p^alpha e^(1-alpha)) / (alpha - 1), taken as
// ln(sum p (p/e)^(alpha-1)) / (alpha - 1) in the stable form of LogMeanExp;
// its limit as the order grows is ln(max p/e). cell(f) calls f(p, e) per cell.
template <class Cells>
double Divergence(double alpha, Cells cells) {
    bool shannon = IsShannon(alpha);
    double s = 0.0;
    std::vector<double> weights, ratios;
    cells([&](double p, double e) {
        if (!(p > 0) || !(e > 0)) return;
        if (shannon) {
            s += p * std::log(p / e);
        } else {
            weights.push_back(p);
            // Two logarithms: p / e can overflow or underflow where they cannot.
            ratios.push_back(std::log(p) - std::log(e));
        }
    });
    if (shannon) return s;
    if (weights.empty()) return 0.0;
    const double delta = alpha - 1.0;
    return LogMeanExp(weights, ratios, delta) / delta;
}

// Divergence of a three-way table from reference(margins, i, j, k).
template <class Reference>
double Divergence3(int a, int b, int c, double*** T3, double alpha, Reference reference) {
    Margins3 g(a, b, c, T3);
    if (!(g.total > 0)) return 0.0;
    return Divergence(alpha, [&](auto cell) {
        for (int i = 0; i < a; i++)
            for (int j = 0; j < b; j++)
                for (int k = 0; k < c; k++) {
                    double v = T3[i][j][k];
                    if (v == MISSING || !(v > 0)) continue;
                    cell(v / g.total, reference(g, i, j, k));
                }
    });
}

int ToInt(double v) {
    if (!(v >= INT_MIN)) return INT_MIN;
    if (v > INT_MAX) return INT_MAX;
    return static_cast<int>(v);
}

// The states of a nominal vector in order of first appearance (values
// truncated toward zero; missing values take no part) and, for every
// position, the index of its state (-1 where missing). Returns their number.
int ListStates(int q, const double* x, int* index, std::vector<double>& states) {
    std::vector<std::pair<double, int>> v;
    v.reserve(q > 0 ? static_cast<size_t>(q) : 0);
    for (int k = 0; k < q; k++) {
        index[k] = -1;
        if (Present(x[k])) v.emplace_back(std::trunc(x[k]), k);
    }
    std::sort(v.begin(), v.end());
    // Runs of one value, each with its first position.
    struct Run {
        int first;
        size_t from, to;
    };
    std::vector<Run> runs;
    for (size_t r = 0; r < v.size();) {
        size_t e = r;
        while (e < v.size() && v[e].first == v[r].first) e++;
        runs.push_back({v[r].second, r, e});
        r = e;
    }
    std::sort(runs.begin(), runs.end(), [](const Run& p, const Run& q2) { return p.first < q2.first; });
    states.clear();
    for (size_t s = 0; s < runs.size(); s++) {
        states.push_back(v[runs[s].from].first);
        for (size_t e = runs[s].from; e < runs[s].to; e++) index[v[e].second] = static_cast<int>(s);
    }
    return static_cast<int>(runs.size());
}

// The nominal rows of a table with their state lists, for the tables of
// every pair or triplet of rows.
struct NominalRows {
    int m, q, maxStates = 0;
    std::vector<int> index;  // m x q state indices, -1 where missing
    std::vector<std::vector<double>> states;
    NominalRows(int m_, int q_, double** X)
        : m(m_), q(q_), index(static_cast<size_t>(m_) * (q_ > 0 ? q_ : 0)), states(m_) {
        for (int i = 0; i < m; i++) {
            int s = ListStates(q, X[i], Row(i), states[i]);
            maxStates = std::max(maxStates, s);
        }
    }
    int* Row(int i) { return index.data() + static_cast<size_t>(i) * q; }
    const int* Row(int i) const { return index.data() + static_cast<size_t>(i) * q; }
    int Count(int i) const { return static_cast<int>(states[i].size()); }
};

void Table2(const NominalRows& R, int i, int j, double** T) {
    int a = R.Count(i), b = R.Count(j);
    for (int r = 0; r < a; r++)
        for (int c = 0; c < b; c++) T[r][c] = 0.0;
    const int *x = R.Row(i), *y = R.Row(j);
    for (int k = 0; k < R.q; k++)
        if (x[k] >= 0 && y[k] >= 0) T[x[k]][y[k]] += 1.0;
}

void Table3(const NominalRows& R, int i, int j, int l, double*** T) {
    int a = R.Count(i), b = R.Count(j), c = R.Count(l);
    for (int r = 0; r < a; r++)
        for (int s = 0; s < b; s++)
            for (int t = 0; t < c; t++) T[r][s][t] = 0.0;
    const int *x = R.Row(i), *y = R.Row(j), *z = R.Row(l);
    for (int k = 0; k < R.q; k++)
        if (x[k] >= 0 && y[k] >= 0 && z[k] >= 0) T[x[k]][y[k]][z[k]] += 1.0;
}

void WriteStates(FILE* f, const char* title, const std::vector<double>& states) {
    fprintf(f, title, static_cast<int>(states.size()));
    for (double s : states) fprintf(f, "%d\t", ToInt(s));
}

void WriteTable(FILE* f, const std::vector<double>& rowStates, const std::vector<double>& colStates,
                double** T) {
    WriteStates(f, "Row states (%d): ", rowStates);
    WriteStates(f, "\nColumn states (%d): ", colStates);
    fprintf(f, "\n");
    PrintMatrixFloat(f, static_cast<int>(rowStates.size()), static_cast<int>(colStates.size()), T, 6,
                     0);
}

void WriteTable3(FILE* f, const std::vector<double>& firstStates, const std::vector<double>& rowStates,
                 const std::vector<double>& colStates, double*** T) {
    WriteStates(f, "Row states (%d): ", rowStates);
    WriteStates(f, "\nColumn states (%d): ", colStates);
    fprintf(f, "\n");
    for (size_t s = 0; s < firstStates.size(); s++)
        PrintMatrixFloat(f, static_cast<int>(rowStates.size()), static_cast<int>(colStates.size()),
                         T[s], 6, 0);
}

// Whether the tables file last asked for was written whole.
bool tablesWritten = false;

// Fills the upper triangle with the diagonal of R with measure(a, b, T) of
// the table of every pair of rows, writing the tables to "Tables.txt" when
// asked.
template <class Measure>
bool PairwiseTables(int m, int q, double** X, double** R, bool printTables, Measure measure) {
    if (!CheckStateCodes(m, q, X)) return false;
    NominalRows rows(m, q, X);
    int side = std::max(rows.maxStates, 1);
    double** T = dim2DT<double>(side, side);
    FILE* f = printTables ? fopenck("Tables.txt", nullptr, "w") : nullptr;
    tablesWritten = false;
    for (int i = 0; i < m; i++)
        for (int j = i; j < m; j++) {
            Table2(rows, i, j, T);
            if (f) {
                fprintf(f, "\nContingency table var.%d x var.%d:\n", i + 1, j + 1);
                WriteTable(f, rows.states[i], rows.states[j], T);
            }
            R[i][j] = measure(rows.Count(i), rows.Count(j), T);
        }
    if (f) tablesWritten = fcloseck(f, "Tables.txt");
    free2DT(T, side);
    return true;
}

// Information divergence of two abundance rows over the attributes present
// in both; with totals, also the totals of those attributes.
double Divergence2(int q, const double* x, const double* y, double* tx, double* ty) {
    double s = 0.0, sx = 0.0, sy = 0.0;
    for (int k = 0; k < q; k++) {
        double u = x[k], v = y[k];
        if (u == MISSING || v == MISSING) continue;
        sx += u;
        sy += v;
        double t = u + v;
        if (!(t > 0)) continue;
        if (u > 0) s += u * std::log(2.0 * u / t);
        if (v > 0) s += v * std::log(2.0 * v / t);
    }
    if (tx) *tx = sx;
    if (ty) *ty = sy;
    return s;
}

// Distance d_ij from a resemblance: the dissimilarity itself or 1 - s, and its
// square root when asked (of 0 when rounding left it just below).
inline double RaoDistance(double r, bool isDissimilarity, bool sqrtOpt) {
    double d = isDissimilarity ? r : 1.0 - r;
    if (sqrtOpt) d = d > 0 ? std::sqrt(d) : 0.0;
    return d;
}

// The pair weight: w_i w_j when multiply, else 1 when either weight is 1.
inline double PairWeight(const int* w, int i, int j, bool multiply) {
    if (multiply) return static_cast<double>(w[i]) * w[j];
    return (w[i] == 1 || w[j] == 1) ? 1.0 : 0.0;
}

// Rao's quadratic entropy: the sum over all i, j of p_i p_j d_ij weight(i, j).
template <class Distance, class Weight>
double Rao(int n, const double* x, Distance distance, Weight weight) {
    double total = 0.0;
    for (int i = 0; i < n; i++)
        if (x[i] != MISSING) total += x[i];
    if (!(total > 0)) return 0.0;
    double q = 0.0;
    for (int i = 0; i < n; i++) {
        if (x[i] == MISSING) continue;
        double pi = x[i] / total;
        for (int j = 0; j < n; j++) {
            if (x[j] == MISSING) continue;
            double d;
            if (!distance(i, j, d)) continue;
            q += pi * (x[j] / total) * d * weight(i, j);
        }
    }
    return q;
}

// Rao's entropy with the distances of a resemblance matrix (missing entries
// left out). The upper triangle of D is first copied onto its lower one, so
// that a caller holding only the upper triangle gets a whole matrix back.
template <class Weight>
double RaoWithMatrix(int n, const double* x, double** D, bool isDissimilarity, bool sqrtOpt,
                     Weight weight) {
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) D[j][i] = D[i][j];
    return Rao(
        n, x,
        [&](int i, int j, double& d) {
            double r = D[i][j];
            if (r == MISSING) return false;
            d = RaoDistance(r, isDissimilarity, sqrtOpt);
            return true;
        },
        weight);
}

// Number of communities holding each species and of species in each community.
void Occupancy(int s, int c, double** X, std::vector<double>& f, std::vector<double>& r) {
    f.assign(s, 0.0);
    r.assign(c, 0.0);
    for (int i = 0; i < s; i++)
        for (int j = 0; j < c; j++)
            if (X[i][j] > 0) {
                f[i] += 1;
                r[j] += 1;
            }
}

bool CheckAbsentSpecies(const std::vector<double>& f) {
    for (size_t i = 0; i < f.size(); i++)
        if (f[i] == 0) {
            fprintf(stderr, "\nCheck species in row %d. It is completely absent!\n", static_cast<int>(i) + 1);
            Bell();
            return false;
        }
    return true;
}

}  // namespace info_detail

// --- Entropy of a vector -----------------------------------------------------

double EntropyVector(int n, const double* x, double alpha) {
    return info_detail::Renyi(info_detail::Proportions(n, x), alpha);
}

double EntropyVectorCodeLength(int n, const double* x, double alpha, double* code) {
    if (!info_detail::IsShannon(alpha)) return EntropyVector(n, x, alpha);
    // The entropy from the code lengths themselves: one logarithm a cell,
    // and the same terms, in the same order, as EntropyVector sums. Whether
    // an amount is above 0 is as unforeseeable as the data: the total adds
    // +0 for the others (no bit changes), and the positions of the amounts
    // above 0 are listed without a branch before the logarithms.
    double total = 0.0;
    for (int i = 0; i < n; i++) total += x[i] > 0 ? x[i] : 0.0;
    if (!(total > 0)) return 0.0;
    std::vector<int> positive(n);
    int m = 0;
    for (int i = 0; i < n; i++) {
        positive[m] = i;
        m += x[i] > 0;
    }
    double s = 0.0;
    for (int t = 0; t < m; t++) {
        const int i = positive[t];
        const double p = x[i] / total, l = std::log(p);
        code[i] = -l;
        s += p * l;
    }
    return std::fabs(s);
}

// --- Entropies of a table ------------------------------------------------------

int EntropyOrderCount(double alphaFrom, double alphaTo, double alphaStep) {
    // Orders alphaFrom + k alphaStep while they do not pass alphaTo. The
    // quotient is rounded when it is a whole number but for the binary error
    // of the step (0.2 / 0.1), and cut down otherwise, so that no order
    // beyond alphaTo is computed.
    if (!(alphaStep > 0)) return alphaFrom <= alphaTo ? 1 : 0;
    double r = (alphaTo - alphaFrom) / alphaStep;
    if (!(r > -0.5)) return 0;
    if (r > 1e7) r = 1e7;
    double whole = std::round(r);
    double k = std::fabs(r - whole) <= 1e-9 * std::max(1.0, whole) ? whole : std::floor(r);
    if (k < 0) return 0;
    return static_cast<int>(k) + 1;
}

int EntropyMV(int n, int p, double** T, double* joint, double* colEnt, double* rowEnt,
              double alphaFrom, double alphaTo, double alphaStep) {
    using namespace info_detail;
    Margins g(n, p, T);
    std::vector<double> cells, rows, cols;
    if (g.total > 0) {
        for (int i = 0; i < n; i++)
            for (int j = 0; j < p; j++)
                if (T[i][j] != MISSING && T[i][j] > 0) cells.push_back(T[i][j] / g.total);
        for (double v : g.rows)
            if (v > 0) rows.push_back(v / g.total);
        for (double v : g.cols)
            if (v > 0) cols.push_back(v / g.total);
    }
    int count = EntropyOrderCount(alphaFrom, alphaTo, alphaStep);
    for (int k = 0; k < count; k++) {
        double alpha = alphaFrom + k * alphaStep;
        joint[k] = Renyi(cells, alpha);
        rowEnt[k] = Renyi(rows, alpha);
        colEnt[k] = Renyi(cols, alpha);
    }
    return count;
}

int Entropy_MV(int n, int p, double** T, double* joint, double* colEnt, double* rowEnt,
               double* mutual, double* rajski, double* coherence, double alphaFrom,
               double alphaTo, double alphaStep) {
    int count = EntropyMV(n, p, T, joint, colEnt, rowEnt, alphaFrom, alphaTo, alphaStep);
    for (int k = 0; k < count; k++) {
        mutual[k] = rowEnt[k] + colEnt[k] - joint[k];
        if (mutual[k] < 0) {
            mutual[k] = 0.0;
            rajski[k] = 1.0;
            coherence[k] = 0.0;
        } else if (!(joint[k] > 0)) {
            // One occupied cell: both variables are constant and agree.
            rajski[k] = 0.0;
            coherence[k] = 1.0;
        } else {
            rajski[k] = 1.0 - mutual[k] / joint[k];
            coherence[k] = RootOfOneLessSquare(rajski[k]);
        }
    }
    return count;
}

double CoheCoefMV(int n, int p, double** T, double alpha) {
    double joint, col, row, mutual, rajski, coherence;
    double order = info_detail::SingleOrder(alpha);
    Entropy_MV(n, p, T, &joint, &col, &row, &mutual, &rajski, &coherence, order, order, 0.0);
    return coherence;
}

double EntropyRows(int n, int p, double** T, double alpha) {
    info_detail::Margins g(n, p, T);
    return EntropyVector(n, g.rows.data(), alpha);
}

double EntropyCols(int n, int p, double** T, double alpha) {
    info_detail::Margins g(n, p, T);
    return EntropyVector(p, g.cols.data(), info_detail::SingleOrder(alpha));
}

double MutualEntropyMV(int n, int p, double** T, double alpha) {
    using namespace info_detail;
    Margins g(n, p, T);
    if (!(g.total > 0)) return 0.0;
    double G = g.total;
    return Divergence(alpha, [&](auto cell) {
        for (int i = 0; i < n; i++)
            for (int j = 0; j < p; j++)
                if (T[i][j] != MISSING) cell(T[i][j] / G, (g.rows[i] / G) * (g.cols[j] / G));
    });
}

double MutualEntropy3D_MV(int a, int b, int c, double*** T3, double alpha) {
    // Kirkwood reference p_ij p_ik p_jk / (p_i p_j p_k): the totals cancel, so
    // the ratio of counts is already a proportion.
    return info_detail::Divergence3(a, b, c, T3, alpha, [b, c](const info_detail::Margins3& g, int i, int j, int k) {
        double two = g.nij[static_cast<size_t>(i) * b + j] * g.nik[static_cast<size_t>(i) * c + k] *
                     g.njk[static_cast<size_t>(j) * c + k];
        double one = g.ni[i] * g.nj[j] * g.nk[k];
        return one > 0 ? two / one : 0.0;
    });
}

double ThreeWayInteraction_MV(int a, int b, int c, double*** T3, double alpha) {
    return info_detail::Divergence3(a, b, c, T3, alpha, [](const info_detail::Margins3& g, int i, int j, int k) {
        double G = g.total;
        return (g.ni[i] / G) * (g.nj[j] / G) * (g.nk[k] / G);
    });
}

double QuiSquareFromContingencyMV(int n, int p, double** T) {
    info_detail::Margins g(n, p, T);
    if (!(g.total > 0)) return 0.0;
    double x2 = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) {
            if (T[i][j] == MISSING) continue;
            double e = g.rows[i] * g.cols[j] / g.total;
            if (!(e > 0)) continue;
            double d = T[i][j] - e;
            x2 += d * d / e;
        }
    return x2;
}

// --- Contingency tables ---------------------------------------------------------

void ContingencyVector(int n, const double* x, double* freq, int* nStates, int* states) {
    std::vector<int> index(n > 0 ? n : 0);
    std::vector<double> list;
    int s = info_detail::ListStates(n, x, index.data(), list);
    for (int k = 0; k < s; k++) {
        states[k] = info_detail::ToInt(list[k]);
        freq[k] = 0.0;
    }
    for (int i = 0; i < n; i++)
        if (index[i] >= 0) freq[index[i]] += 1.0;
    *nStates = s;
}

int ContingencyStateIndex(int n, const double* x, int* index) {
    std::vector<double> list;
    return info_detail::ListStates(n, x, index, list);
}

void ContingencyMV(int q, const double* x, const double* y, double** T, int dims[2], FILE* file) {
    using namespace info_detail;
    std::vector<int> ix(q > 0 ? q : 0), iy(q > 0 ? q : 0);
    std::vector<double> sx, sy;
    int a = ListStates(q, x, ix.data(), sx), b = ListStates(q, y, iy.data(), sy);
    for (int r = 0; r < a; r++)
        for (int c = 0; c < b; c++) T[r][c] = 0.0;
    for (int k = 0; k < q; k++)
        if (ix[k] >= 0 && iy[k] >= 0) T[ix[k]][iy[k]] += 1.0;
    dims[0] = a;
    dims[1] = b;
    if (file) WriteTable(file, sx, sy, T);
}

void Contingency3D_MV(int q, const double* x, const double* y, const double* z, double*** T3,
                      int dims[3], FILE* file) {
    using namespace info_detail;
    size_t n = q > 0 ? static_cast<size_t>(q) : 0;
    std::vector<int> ix(n), iy(n), iz(n);
    std::vector<double> sx, sy, sz;
    int a = ListStates(q, x, ix.data(), sx), b = ListStates(q, y, iy.data(), sy),
        c = ListStates(q, z, iz.data(), sz);
    for (int r = 0; r < a; r++)
        for (int s = 0; s < b; s++)
            for (int t = 0; t < c; t++) T3[r][s][t] = 0.0;
    for (int k = 0; k < q; k++)
        if (ix[k] >= 0 && iy[k] >= 0 && iz[k] >= 0) T3[ix[k]][iy[k]][iz[k]] += 1.0;
    dims[0] = a;
    dims[1] = b;
    dims[2] = c;
    if (file) WriteTable3(file, sx, sy, sz, T3);
}

bool CheckStateCodes(int m, int q, double** X) {
    for (int i = 0; i < m; i++)
        for (int k = 0; k < q; k++) {
            double v = X[i][k];
            if (v == MISSING) continue;
            if (std::isfinite(v) && v == std::trunc(v) && v >= INT_MIN && v <= INT_MAX) continue;
            // The rows compared are variables or sampling units as the
            // caller chose: the value is named, not its place.
            fprintf(stderr,
                    "\nQualitative variables must hold whole-number states: %g is not one. Nothing "
                    "was computed.\n",
                    v);
            info_detail::Bell();
            return false;
        }
    return true;
}

// --- Pairwise measures on nominal rows ---------------------------------------------

bool MutualEntropyPairwiseMV(int m, int q, double** X, double** R, double alpha,
                             bool printTables) {
    double order = info_detail::SingleOrder(alpha);
    return info_detail::PairwiseTables(m, q, X, R, printTables, [order](int a, int b, double** T) {
        return MutualEntropyMV(a, b, T, order);
    });
}

bool TablesFileWritten() { return info_detail::tablesWritten; }

bool CoheCoefPairwiseMV(int m, int q, double** X, double** R, double alpha, bool printTables) {
    return info_detail::PairwiseTables(m, q, X, R, printTables, [alpha](int a, int b, double** T) {
        return CoheCoefMV(a, b, T, alpha);
    });
}

bool MDISMV(int m, int q, double** X, double** R, bool printTables) {
    return info_detail::PairwiseTables(m, q, X, R, printTables, [](int a, int b, double** T) {
        info_detail::Margins g(a, b, T);
        return 2.0 * g.total * MutualEntropyMV(a, b, T, 1.0);
    });
}

bool QuiSquareMV(int m, int q, double** X, double** R, bool printTables) {
    return info_detail::PairwiseTables(m, q, X, R, printTables, [](int a, int b, double** T) {
        return QuiSquareFromContingencyMV(a, b, T);
    });
}

bool MutualEntropyTripletsMV(int m, int q, double** X, double*** R3, double alpha,
                             bool printTables) {
    using namespace info_detail;
    if (!CheckStateCodes(m, q, X)) return false;
    NominalRows rows(m, q, X);
    int side = std::max(rows.maxStates, 1);
    double*** T = dim3DT<double>(side, side, side);
    FILE* f = printTables ? fopenck("Tables3D.txt", nullptr, "w") : nullptr;
    for (int i = 0; i < m; i++)
        for (int j = i; j < m; j++)
            for (int k = j; k < m; k++) {
                Table3(rows, i, j, k, T);
                if (f) {
                    fprintf(f, "\nContingency table var.%d x var.%d:\n", i + 1, j + 1);
                    WriteTable3(f, rows.states[i], rows.states[j], rows.states[k], T);
                }
                R3[i][j][k] = MutualEntropy3D_MV(rows.Count(i), rows.Count(j), rows.Count(k), T, alpha);
            }
    if (f) fcloseck(f, "Tables3D.txt");
    free3DT(T, side, side);
    return true;
}

// --- Information divergence and mutual information -----------------------------------

void IDivergenceMV(int m, int q, double** X, double** R) {
    for (int i = 0; i < m; i++)
        for (int j = i; j < m; j++) R[i][j] = info_detail::Divergence2(q, X[i], X[j], nullptr, nullptr);
}

void IDivergenceNeighbours(int m, int q, double** X, double** R, int lag) {
    if (lag < 0) return;
    for (int i = 0; i + lag < m; i++)
        R[i][i + lag] = info_detail::Divergence2(q, X[i], X[i + lag], nullptr, nullptr);
}

void MutualInformationMV(int m, int q, double** X, double** R) {
    // The divergence less the same divergence of the two totals: the total of
    // the two-row table times the mutual information between row and column.
    // Totals are taken over the attributes that entered the divergence.
    for (int i = 0; i < m; i++)
        for (int j = i; j < m; j++) {
            double ti, tj;
            double d = info_detail::Divergence2(q, X[i], X[j], &ti, &tj);
            double t = ti + tj;
            if (t > 0) {
                if (ti > 0) d -= ti * std::log(2.0 * ti / t);
                if (tj > 0) d -= tj * std::log(2.0 * tj / t);
            }
            R[i][j] = d;
        }
}

// --- Rao's quadratic entropy --------------------------------------------------------

double RaoIndex(int n, const double* x, double** D, bool isDissimilarity, bool sqrtOpt) {
    return info_detail::RaoWithMatrix(n, x, D, isDissimilarity, sqrtOpt, [](int, int) { return 1.0; });
}

double RaoIndex(int n, const double* x, double** S, bool sqrtOpt) {
    return RaoIndex(n, x, S, false, sqrtOpt);
}

double RaoIndex_Simpson(int n, const double* x, double** D, bool isDissimilarity, bool sqrtOpt) {
    if (D) return RaoIndex(n, x, D, isDissimilarity, sqrtOpt);
    return info_detail::Rao(
        n, x,
        [](int i, int j, double& d) {
            d = 1.0;
            return i != j;
        },
        [](int, int) { return 1.0; });
}

double RaoIndex_Weight(int n, const double* x, double** D, bool isDissimilarity, bool sqrtOpt,
                       const int* w, bool multiply) {
    return info_detail::RaoWithMatrix(n, x, D, isDissimilarity, sqrtOpt, [&](int i, int j) {
        return info_detail::PairWeight(w, i, j, multiply);
    });
}

double RaoIndex_Weight(int n, const double* x, double** D, bool isDissimilarity, const int* w,
                       bool multiply) {
    // Similarities become the distance sqrt(1 - s); dissimilarities are used as they are.
    return RaoIndex_Weight(n, x, D, isDissimilarity, !isDissimilarity, w, multiply);
}

bool RaoIndex_Weight_Matrix(int m, int n, double** X, double** D, double* Q,
                            bool isDissimilarity, bool sqrtOpt, const int* w, bool multiply,
                            bool relative) {
    using namespace info_detail;
    std::vector<double> x(n > 0 ? n : 0);
    std::vector<int> present(x.size());
    for (int i = 0; i < m; i++) {
        double total = 0.0;
        for (int j = 0; j < n; j++)
            if (X[i][j] != MISSING) total += X[i][j];
        // A pair with a quantity of 0 adds 0 to every sum, so the pairs are
        // taken among the entities present: community tables are sparse, and
        // the permutation tests call this once per arrangement.
        int count = 0;
        for (int j = 0; j < n; j++) {
            double v = X[i][j];
            if (relative && v != MISSING) v = total > 0 ? v / total : 0.0;
            x[j] = v;
            if (v != MISSING && v != 0.0) present[count++] = j;
        }
        double sum = 0.0, entered = 0.0, all = 0.0;
        for (int a = 0; a < count; a++) {
            const int j = present[a];
            for (int b = a + 1; b < count; b++) {
                const int k = present[b];
                double xx = x[j] * x[k];
                all += xx;
                double r = D[j][k];
                if (r == MISSING) continue;
                entered += xx;
                double weight = w ? PairWeight(w, j, k, multiply) : 1.0;
                sum += RaoDistance(r, isDissimilarity, sqrtOpt) * xx * weight;
            }
        }
        if (entered > 0 && all > 0) sum *= all / entered;
        Q[i] = 2.0 * sum;
    }
    return true;
}

// --- Library-only measures -------------------------------------------------------------

double SumAbsDeviations(int n, const double* x, const double* y, bool squared) {
    double sx = 0.0, sy = 0.0;
    for (int i = 0; i < n; i++) {
        if (x[i] == MISSING || y[i] == MISSING) continue;
        sx += x[i];
        sy += y[i];
    }
    if (!(sx > 0) || !(sy > 0)) return 0.0;
    double s = 0.0;
    for (int i = 0; i < n; i++) {
        if (x[i] == MISSING || y[i] == MISSING) continue;
        double d = x[i] / sx - y[i] / sy;
        s += squared ? d * d : std::fabs(d);
    }
    return 0.5 * s;
}

int CompareVector(int n, const double* x, const double* y) {
    for (int i = 0; i < n; i++)
        if (x[i] != y[i]) return 0;
    return 1;
}

void FlorulaFrequencies(int n, int p, double** X, int* nPatterns, double* freq) {
    // Patterns as bit strings of the rows, one per column.
    int words = (n + 63) / 64;
    std::vector<uint64_t> pattern(static_cast<size_t>(p > 0 ? p : 0) * words, 0);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++)
            if (X[i][j] > 0) pattern[static_cast<size_t>(j) * words + (i >> 6)] |= uint64_t{1} << (i & 63);
    std::vector<int> first;  // the first column of each distinct pattern
    for (int j = 0; j < p; j++) {
        const uint64_t* pj = pattern.data() + static_cast<size_t>(j) * words;
        size_t k = 0;
        for (; k < first.size(); k++)
            if (std::equal(pj, pj + words, pattern.data() + static_cast<size_t>(first[k]) * words)) break;
        if (k == first.size()) {
            first.push_back(j);
            freq[k] = 0.0;
        }
        freq[k] += 1.0;
    }
    *nPatterns = static_cast<int>(first.size());
}

int ValenceInvalence(int s, int c, double** X, double* localValence, double* floristicValence,
                     double* localInvalence, double* floristicInvalence, double alpha) {
    using namespace info_detail;
    std::vector<double> f, r;
    Occupancy(s, c, X, f, r);
    if (!CheckAbsentSpecies(f)) return 0;
    for (int j = 0; j < c; j++)
        if (r[j] == 0) {
            fprintf(stderr, "\nCheck community in column %d. It is completely empty!\n", j + 1);
            Bell();
            return 0;
        }
    std::vector<double> fInv(s), rVal(c), rInv(c);
    for (int i = 0; i < s; i++) fInv[i] = c - f[i];
    for (int j = 0; j < c; j++) {
        rVal[j] = r[j] / c;
        rInv[j] = (s - r[j]) / c;
    }
    *localValence = EntropyVector(s, f.data(), alpha);
    *localInvalence = EntropyVector(s, fInv.data(), alpha);
    *floristicValence = EntropyVector(c, rVal.data(), alpha);
    *floristicInvalence = EntropyVector(c, rInv.data(), alpha);
    return 1;
}

namespace info_detail {

// One of the four values of ValenceInvalence (0 when they cannot be computed).
double Valence(int s, int c, double** X, double alpha, int which) {
    double v[4] = {0, 0, 0, 0};
    if (!ValenceInvalence(s, c, X, &v[0], &v[1], &v[2], &v[3], alpha)) return 0.0;
    return v[which];
}

}  // namespace info_detail

double LocalValence(int s, int c, double** X, double alpha) {
    return info_detail::Valence(s, c, X, alpha, 0);
}

double FloristicValence(int s, int c, double** X, double alpha) {
    return info_detail::Valence(s, c, X, alpha, 1);
}

double LocalInvalence(int s, int c, double** X, double alpha) {
    return info_detail::Valence(s, c, X, alpha, 2);
}

double FloristicInvalence(int s, int c, double** X, double alpha) {
    return info_detail::Valence(s, c, X, alpha, 3);
}

double LocalDistinctiveness(int s, int c, double** X, double alpha) {
    using namespace info_detail;
    std::vector<double> f, r;
    Occupancy(s, c, X, f, r);
    if (!CheckAbsentSpecies(f)) return 0.0;
    double sum = 0.0;
    for (int i = 0; i < s; i++) {
        double pair[2] = {f[i], c - f[i]};
        sum += EntropyVector(2, pair, alpha);
    }
    return sum;
}

double FlorulaDiversity(int s, int c, double** X, double alpha) {
    std::vector<double> freq(c > 0 ? c : 0);
    int patterns = 0;
    FlorulaFrequencies(s, c, X, &patterns, freq.data());
    return EntropyVector(patterns, freq.data(), alpha);
}
