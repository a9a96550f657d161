#include "rhFunctionalPhyl.h"

#include <gsl/gsl_sort.h>
#include <gsl/gsl_statistics_double.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

#include "iflibG.h"
#include "rhLinearModels.h"
#include "rhlibDim.h"
#include "rhlibOut.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// The search for the nearest dissimilarity starts at the largest
// single-precision value: a pair at that value or beyond is no neighbour.
constexpr double kLargestFloat = 3.4028234663852886e+38;

// Digits of the matrices written by the traces.
constexpr int kTraceDigits = 6;

void ShowTestProgress(const char* format, int iteration, int N) {
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

// For the permutation test: the candidate neighbours b of every row a of S
// (b != a, values that qualify), sorted from the nearest. The nearest present
// neighbour of an OTU is then usually found after a few steps, instead of a
// scan of all present OTUs, whatever the permutation.
class NeighbourOrder {
public:
    // Lists take p (p - 1) entries; beyond this the test scans instead.
    static constexpr int kMaxOtus = 2048;

    NeighbourOrder(int p, double** S, bool dissimilarity) : S_(S) {
        start_.assign(p + 1, 0);
        order_.reserve(static_cast<size_t>(p) * (p > 0 ? p - 1 : 0));
        const double startValue = SearchStart(dissimilarity);
        for (int a = 0; a < p; a++) {
            start_[a] = static_cast<int>(order_.size());
            for (int b = 0; b < p; b++)
                if (b != a && Nearer(S[a][b], startValue, dissimilarity)) order_.push_back(b);
            const double* row = S[a];
            std::sort(order_.begin() + start_[a], order_.end(), [row, dissimilarity](int x, int y) {
                return Nearer(row[x], row[y], dissimilarity);
            });
        }
        start_[p] = static_cast<int>(order_.size());
    }

    // OTU j of a community whose abundances are w, in S read through perm
    // (perm[j] the row OTU j takes) with its inverse inv: the first OTU
    // among the nearest present ones, as the scan would find it.
    bool Find(int j, const double* w, const int* perm, const int* inv, int& k, double& s) const {
        const int a = perm[j];
        const double* row = S_[a];
        int t = start_[a];
        const int end = start_[a + 1];
        while (t < end && !(w[inv[order_[t]]] > 0)) t++;
        if (t == end) return false;
        const double v = row[order_[t]];
        int best = inv[order_[t]];
        for (t++; t < end && row[order_[t]] == v; t++) {
            const int l = inv[order_[t]];
            if (l < best && w[l] > 0) best = l;
        }
        k = best;
        s = v;
        return true;
    }

private:
    double** S_;
    std::vector<int> start_;
    std::vector<int> order_;
};

// ---------------------------------------------------------------------------
// Subsets
// ---------------------------------------------------------------------------

// Number of non-empty subsets of n items of at most maxSize items, or more
// than limit when it exceeds limit (the count stops there).
long long SubsetsUpTo(int n, int maxSize, long long limit) {
    long long total = 0, binomial = 1;
    for (int size = 1; size <= maxSize && size <= n; size++) {
        binomial = binomial * (n - size + 1) / size;  // exact: C(n, size)
        total += binomial;
        if (total > limit) return total;
    }
    return total;
}

}  // namespace

// ===========================================================================
// Statistics of one community table
// ===========================================================================

double NearNeigAvgTraitResemblance_WithinCommunity(int p, int c, double** W, double** S,
                                                   bool dissimilarity, bool mirror,
                                                   const int* richness) {
    if (mirror) UpperToLowerMatrix(p, S);
    Communities com(p, c, W, richness);
    return MeanNearestNeighbour(c, W, com, dissimilarity, ScanNeighbour{S, com, dissimilarity, nullptr});
}

bool NNCRD(int n, double** T, double** D, double* result) {
    for (int i = 0; i < n; i++) {
        auto candidate = [&](int j) { return j != i && T[i][j] != MISSING && !std::isnan(T[i][j]); };
        int first = -1;
        for (int j = 0; j < n; j++)
            if (candidate(j) && (first < 0 || T[i][j] < T[i][first])) first = j;
        if (first < 0) {
            result[i] = 0.0;
            continue;
        }
        double sum = 0.0;
        int ties = 0;
        for (int j = 0; j < n; j++)
            if (candidate(j) && T[i][j] == T[i][first]) {
                sum += D[i][j];
                ties++;
            }
        result[i] = sum / ties;
    }
    return true;
}

bool LCBD(int n, double** D, double* result, bool squared) {
    if (n <= 0) return true;
    ScopedMatrix<double> G(n, n);
    DissToCenterProdMatrix(n, D, G.x, squared);
    double trace = 0.0;
    for (int i = 0; i < n; i++) trace += G[i][i];
    if (trace == 0.0) trace = 1.0;
    for (int i = 0; i < n; i++) result[i] = G[i][i] / trace;
    return true;
}

bool DiversityPartition(int c, int p, double** W, double** D, double& alpha, double& beta,
                        double& gamma, double& alphaEquivalent, double& betaEquivalent,
                        double& gammaEquivalent, double& betaProportion) {
    ScopedMatrix<double> P(c, p);
    ScopedVector<double> pooled(p);
    if (c > 0 && p > 0) UnitSumRowsAdjMV(c, p, P.x, W);
    // An empty community has no profile: counting it as a Rao index of 0
    // would lower alpha and raise beta for no ecological reason.
    double alphaSum = 0.0;
    int included = 0;
    for (int i = 0; i < c; i++) {
        double total = 0.0;
        for (int j = 0; j < p; j++)
            if (W[i][j] != MISSING) total += W[i][j];
        if (!(total > 0)) continue;
        alphaSum += RaoIndex_Simpson(p, P[i], D, true, false);
        for (int j = 0; j < p; j++)
            if (P[i][j] != MISSING) pooled[j] += P[i][j];
        included++;
    }
    if (included > 0) {
        for (int j = 0; j < p; j++) pooled[j] /= included;
        alpha = alphaSum / included;
        gamma = RaoIndex_Simpson(p, pooled.x, D, true, false);
    } else {
        alpha = gamma = 0.0;
    }
    beta = gamma - alpha;
    alphaEquivalent = 1.0 / (1.0 - alpha);
    gammaEquivalent = 1.0 / (1.0 - gamma);
    betaEquivalent = gammaEquivalent / alphaEquivalent;
    betaProportion = (gammaEquivalent - alphaEquivalent) / gammaEquivalent;
    return true;
}

// ===========================================================================
// Effect sizes and P values
// ===========================================================================

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

// ===========================================================================
// Partial correlations
// ===========================================================================

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

// ===========================================================================
// Resemblance options of another program
// ===========================================================================

int TranslateReseOpt_KELDAN_TEVLAN(int option) {
    switch (option) {
        case 1: case 2: case 4: case 7: case 9:
            return 0;
        case 3:
            return 1;
        case 5:
            return 17;
        case 6:
            return 3;
        case 8:
            return 2;
        case 10:
            return 18;
        default:
            return 1;
    }
}

// ===========================================================================
// Permutation tests
// ===========================================================================

double ProbMantel(int n, int N, double** A, double** B, double& observed) {
    // The permuted pairs read both triangles: A's upper one, made symmetric,
    // in a work copy, so the caller's A is not changed.
    ScopedMatrix<double> S(n, n);
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) S[i][j] = S[j][i] = A[i][j];
    observed = MatrixCorr(n, S, B);
    if (N < 1 || !std::isfinite(observed)) return NaN;
    // Without a pair of objects every arrangement is the observed one.
    if (n < 2) return PermutationP(N, N, observed);
    // Lists are drawn in iteration order and evaluated a block at a time,
    // which shares each pass over the permuted matrix.
    PermutedComparison permuted(PermutedComparison::kMantel, n, S, B, nullptr, false);
    constexpr int kBlock = PermutedComparison::kBlock;
    std::vector<int> lists(static_cast<size_t>(kBlock) * (n > 0 ? n : 0));
    double values[kBlock];
    double count = 1.0;
    for (int first = 1; first < N; first += kBlock) {
        const int K = std::min(kBlock, N - first);
        for (int k = 0; k < K; k++) {
            ShowTestProgress("Permutation test: %d of %d", first + k, N);
            RndList(n, &lists[static_cast<size_t>(k) * n]);
        }
        permuted.Evaluate(K, lists.data(), values);
        for (int k = 0; k < K; k++)
            if (CountsTowardP(values[k], observed, TieRule::LargerAbsolute)) count += 1.0;
    }
    ClearLine();
    return PermutationP(count, N, observed);
}

double Prob_LimitingSimilarity(int N, int p, int c, double** W, double** S, bool dissimilarity,
                               bool trace, FILE* stream) {
    if (N < 1) return NaN;
    const bool tracing = trace && stream;
    Communities com(p, c, W, nullptr);
    const double observed =
        MeanNearestNeighbour(c, W, com, dissimilarity, ScanNeighbour{S, com, dissimilarity, nullptr});
    if (tracing) {
        fprintf(stream, "\nPERMUTATION TEST for the \n");
        fprintf(stream,
                "\nTest statistic: Mean nearest-neighbour resemblance within communities (it is the 'TS1 "
                "Mean NN ED' in Marden & Haldor 2004 if the resemblance is Euclidean distance)\n");
        fprintf(stream, "INTERMEDIATE RESULTS\n");
        fprintf(stream, dissimilarity ? "\nObserved dissimilarity matrix of %d OTUs:\n"
                                      : "\nObserved similarity matrix of %d OTUs:\n",
                p);
        PrintMatrixTab(stream, p, p, S, kTraceDigits);
        fprintf(stream, "\nCommunity data matrix (%d communities by %d OTUs):\n", c, p);
        PrintMatrixTab(stream, c, p, W, kTraceDigits);
        fprintf(stream, "\n\nObserved test statistic=\t%g\n", NoNegativeZero(observed));
    }
    if (!std::isfinite(observed)) return NaN;

    // Small values are extreme for similarities: OTUs that coexist are then
    // less alike than chance would make them.
    const TieRule rule = dissimilarity ? TieRule::Larger : TieRule::Smaller;
    ScopedVector<int> list(p), perm(p), inv(p);
    std::unique_ptr<NeighbourOrder> order;
    if (p <= NeighbourOrder::kMaxOtus) order.reset(new NeighbourOrder(p, S, dissimilarity));
    std::unique_ptr<ScopedMatrix<double>> shown;
    if (tracing) shown.reset(new ScopedMatrix<double>(p, p));

    double count = 1.0;
    for (int it = 1; it < N; it++) {
        ShowTestProgress("Permutation test: %d of %d", it, N);
        RndList(p, list.x);
        for (int j = 0; j < p; j++) {
            perm[j] = list[j] - 1;
            inv[perm[j]] = j;
        }
        double random;
        if (order) {
            random = MeanNearestNeighbour(c, W, com, dissimilarity, [&](int i, int j, int& k, double& s) {
                return order->Find(j, W[i], perm.x, inv.x, k, s);
            });
        } else {
            random = MeanNearestNeighbour(c, W, com, dissimilarity,
                                          ScanNeighbour{S, com, dissimilarity, perm.x});
        }
        if (CountsTowardP(random, observed, rule)) count += 1.0;
        if (tracing) {
            ScopedMatrix<double>& M = *shown;
            for (int a = 0; a < p; a++)
                for (int b = 0; b < p; b++) M[a][b] = S[perm[a]][perm[b]];
            fprintf(stream, "\n\nPermuted distance matrix:\n");
            PrintMatrixTab(stream, p, p, M.x, kTraceDigits);
            fprintf(stream, "\n\nOrder of original OTUs in permuted matrix:\t");
            PrintVectorTab(stream, p, list.x);
            fprintf(stream, "\nIteration %d\tRandom test statistic=\t%g\tCummulative frequency=%g\n", it,
                    NoNegativeZero(random), count);
        }
    }
    ClearLine();
    return PermutationP(count, N, observed);
}

bool Prob_Redundancy(int N, int p, int k, int c, const double* diversity, double* P, double** S,
                     double** W, bool sqrtRao, bool trace, FILE* stream, bool restricted) {
    (void)k;  // the number of traits behind S: the redundancy does not need it
    if (N < 1) {
        for (int i = 0; i < c; i++) P[i] = NaN;
        return false;
    }
    const bool tracing = trace && stream;
    std::vector<double> observed(c > 0 ? c : 0), random(observed.size()), count(observed.size(), 1.0);
    for (int i = 0; i < c; i++) observed[i] = diversity[i] - RaoIndex(p, W[i], S, sqrtRao);
    if (tracing) {
        fprintf(stream, "\nPERMUTATION TEST FOR REDUNDANCY\n");
        fprintf(stream, "INTERMEDIATE RESULTS\n");
        fprintf(stream, "\nObserved resemblance matrix between OTUs based on the traits:\n");
        PrintMatrixTab(stream, p, p, S, kTraceDigits);
        fprintf(stream, "\nMatrix W (%d communities by %d OTUs):\n", c, p);
        PrintMatrixTab(stream, c, p, W, kTraceDigits);
        fprintf(stream, "\nObserved redundancy in %d communities\n", c);
        for (int i = 0; i < c; i++) fprintf(stream, "%g\t", NoNegativeZero(observed[i]));
        fprintf(stream, "\n");
    }

    // The restricted shuffle moves only the OTUs present somewhere, each
    // listed once, in the order the communities first show them.
    std::vector<int> listing;
    if (restricted) {
        std::vector<char> seen(p > 0 ? p : 0, 0);
        for (int i = 0; i < c; i++)
            for (int j = 0; j < p; j++)
                if (W[i][j] > 0 && !seen[j]) {
                    seen[j] = 1;
                    listing.push_back(j + 1);
                }
    }
    const int m = static_cast<int>(listing.size());
    ScopedVector<int> list(p), shuffled(m);
    ScopedVector<double> x(p);
    std::unique_ptr<ScopedMatrix<double>> shown;
    if (tracing) shown.reset(new ScopedMatrix<double>(p, p));

    for (int it = 1; it < N; it++) {
        ShowTestProgress("Permutation test redundancy: %d of %d", it, N);
        if (restricted) {
            for (int j = 0; j < p; j++) list[j] = j + 1;
            for (int t = 0; t < m; t++) shuffled[t] = listing[t];
            RndListSpecified(m, shuffled.x);
            for (int t = 0; t < m; t++) list[listing[t] - 1] = shuffled[t];
        } else {
            RndList(p, list.x);
        }
        // Rearranging S by the list is rearranging each community the other
        // way: OTU j's abundance goes where its row of S went. That costs p
        // values per community instead of a p x p copy.
        for (int i = 0; i < c; i++) {
            for (int j = 0; j < p; j++) x[list[j] - 1] = W[i][j];
            random[i] = diversity[i] - RaoIndex(p, x.x, S, sqrtRao);
            if (CountsTowardP(random[i], observed[i], TieRule::Larger)) count[i] += 1.0;
        }
        if (tracing) {
            ScopedMatrix<double>& M = *shown;
            for (int a = 0; a < p; a++)
                for (int b = 0; b < p; b++) M[a][b] = S[list[a] - 1][list[b] - 1];
            fprintf(stream, "\n\nITERATION\t%d\n", it);
            fprintf(stream, "\nOrder of OTUs in randomly permuted resemblance matrix between OTUs:\t");
            PrintVectorTab(stream, p, list.x);
            fprintf(stream,
                    "\nResemblance matrix between %d OTUs after rearrangement according to OTUs permutation:\n",
                    p);
            PrintLowerHalfMatrixTab(stream, p, M.x, kTraceDigits);
            fprintf(stream, "\nIteration %d\tRedundancy according to the null model in %d communities:\n", it, c);
            for (int i = 0; i < c; i++) fprintf(stream, "%g\t", NoNegativeZero(random[i]));
            fprintf(stream, "\n");
        }
    }
    ClearLine();
    for (int i = 0; i < c; i++) P[i] = PermutationP(count[i], N, observed[i]);
    return true;
}

namespace {

// ro between two resemblance matrices of c communities: the matrix
// correlation; with two communities, one pair each, how near the two values
// are (1 when equal, 0 included). The larger magnitude divides, so that
// negative similarities give no value beyond 1.
double CommunityMatrixCorr(int c, double** A, double** B) {
    if (c >= 3) return MatrixCorr(c, A, B);
    const double a = A[0][1], b = B[0][1];
    if (a == b) return 1.0;
    return 1.0 - std::fabs(a - b) / std::max(std::fabs(a), std::fabs(b));
}

bool RoXET(int N, int p, int k, int c, double** U, double** W, double rTE, double** DT, double** DE,
           double& P_XE, double& P_XET, int option, bool trace, FILE* stream, bool specified) {
    const int measure = TranslateReseOpt_KELDAN_TEVLAN(option);
    if (measure == 0 || c < 2 || N < 1 || p < 1 || k < 1) return false;
    const bool tracing = trace && stream;
    ScopedMatrix<double> X(c, k), DX(c, c);
    // The permuted U is a list of U's rows: nothing is copied.
    ScopedVector<double*> Urnd(p);
    ScopedVector<int> list(p);
    for (int j = 0; j < p; j++) {
        Urnd[j] = U[j];
        list[j] = j + 1;
    }
    auto evaluate = [&](double& xt, double& xe, double& xet) {
        MatrixProd(c, p, p, k, W, Urnd, X);
        if (ResemblanceLib(c, k, X, DX, 1, measure, nullptr, 1.0, 0.0, 0, false) != reseComputed) return false;
        xe = CommunityMatrixCorr(c, DE, DX);
        xt = CommunityMatrixCorr(c, DX, DT);
        xet = PartialCorrelation(xe, xt, rTE);
        return true;
    };
    double obsXT, obsXE, obsXET;
    if (!evaluate(obsXT, obsXE, obsXET)) return false;
    if (tracing) {
        fprintf(stream, "\nPERMUTATION TEST FOR PARTIAL CORRELATION ro(XE.T)\n");
        fprintf(stream, "INTERMEDIATE RESULTS\n");
        fprintf(stream, "\nObserved belonging matrix (U):\n");
        PrintMatrixTab(stream, p, k, U, kTraceDigits);
        fprintf(stream, "\nMatrix W (%d communities by %d OTUs):\n", c, p);
        PrintMatrixTab(stream, c, p, W, kTraceDigits);
        fprintf(stream, "\nResemblance matrix DT between %d communities (based on matrix T of traits by communities):\n", c);
        PrintLowerHalfMatrixTab(stream, c, DT, kTraceDigits);
        fprintf(stream, "\nResemblance matrix DE between %d communities (base don matrix E of ecological variables by communities):\n", c);
        PrintLowerHalfMatrixTab(stream, c, DE, kTraceDigits);
        fprintf(stream, "\nMatrix correlation between DT and DE:\t%g\n", NoNegativeZero(rTE));
        fprintf(stream, "\nObserved ro(XT)=\t%g\n", NoNegativeZero(obsXT));
        fprintf(stream, "Observed ro(XE)=\t%g\n", NoNegativeZero(obsXE));
        fprintf(stream, "Observed ro(XE.T)=\t%g\n", NoNegativeZero(obsXET));
    }

    double countXE = 1.0, countXET = 1.0;
    const bool testable = std::isfinite(obsXE) || std::isfinite(obsXET);
    for (int it = 1; testable && it < N; it++) {
        ShowTestProgress("Permutation test: %d of %d", it, N);
        if (specified)
            RndListSpecified(p, list);
        else
            RndList(p, list);
        for (int j = 0; j < p; j++) Urnd[j] = U[list[j] - 1];
        double xt = NaN, xe = NaN, xet = NaN;
        evaluate(xt, xe, xet);
        if (CountsTowardP(xe, obsXE, TieRule::Larger)) countXE += 1.0;
        if (CountsTowardP(xet, obsXET, TieRule::Larger)) countXET += 1.0;
        if (tracing) {
            fprintf(stream, "\n\nITERATION\t%d\n", it);
            fprintf(stream, "Permuted belonging matrix (Urnd):\n");
            PrintMatrixTab(stream, p, k, Urnd, kTraceDigits);
            fprintf(stream, "\nOrder of original OTUs in permuted belongin matrix Urnd:\t");
            PrintVectorTab(stream, p, list);
            fprintf(stream, "\n\nMatrix Xrnd (%d communities by %d PFTs) generated after Urnd (Xrnd = W x Urnd):\n", c, k);
            PrintMatrixTab(stream, c, k, X, kTraceDigits);
            fprintf(stream, "\nResemblance matrix DX between %d communities:\n", c);
            PrintLowerHalfMatrixTab(stream, c, DX, kTraceDigits);
            fprintf(stream,
                    "\nIteration %d\tRandom ro(XT) =\t%g\tRandom ro(XE) =\t%g\tRandom ro(XE.T) =\t%g\tCummulative "
                    "frequency for ro(XE)=%g\tCummulative frequency for ro(XE.T)=%g\n",
                    it, xt, xe, xet, countXE, countXET);
        }
    }
    ClearLine();
    P_XE = PermutationP(countXE, N, obsXE);
    P_XET = PermutationP(countXET, N, obsXET);
    return true;
}

}  // namespace

bool Prob_ro_XE_T(int N, int p, int k, int c, double** U, double** W, double rTE, double** DT,
                  double** DE, double& P_XE, double& P_XET, int measure, bool trace, FILE* stream) {
    return RoXET(N, p, k, c, U, W, rTE, DT, DE, P_XE, P_XET, measure, trace, stream, false);
}

bool Prob_ro_XE_T(int N, int p, int k, int c, double** U, double** W, double rTE, double** DT,
                  double** DE, double& P_XE, double& P_XET, int measure, bool trace, FILE* stream,
                  bool specified) {
    return RoXET(N, p, k, c, U, W, rTE, DT, DE, P_XE, P_XET, measure, trace, stream, specified);
}

// ===========================================================================
// Subsets of a set
// ===========================================================================

void Combi(int** M, int& counter, int* work, int size, int start, int depth, int* chosen, int n) {
    if (depth == size) {
        for (int j = 0; j < n; j++) M[counter][j] = work[j] ? 1 : 0;
        counter++;
        return;
    }
    // Positions beyond n - (size - depth) cannot complete a subset.
    for (int pos = start; pos <= n - (size - depth); pos++) {
        work[pos] = 1;
        if (chosen) chosen[depth] = pos;
        Combi(M, counter, work, size, pos + 1, depth + 1, chosen, n);
        work[pos] = 0;
    }
}

bool AllCombinations(int** M, int rows, int maxSize, int n) {
    if (n < 0 || SubsetsUpTo(n, maxSize, rows) > rows) return false;
    for (int r = 0; r < rows; r++)
        for (int j = 0; j < n; j++) M[r][j] = 0;
    ScopedVector<int> work(n), chosen(n);
    int counter = 0;
    for (int size = 1; size <= maxSize && size <= n; size++)
        Combi(M, counter, work.x, size, 0, 0, chosen.x, n);
    return true;
}

bool AllCombinations(int** M, int rows, int n) { return AllCombinations(M, rows, n, n); }

int NumberAllCombinations(int n) {
    if (n < 0 || n > 31) return -1;
    return static_cast<int>((1LL << n) - 1);
}

// ===========================================================================
// Functional and phylogenetic statistics and their permutation test
// ===========================================================================

namespace {

const char* const kStatisticNames[kFunctionalPhylStatistics] = {
    "ro(TE)",   "ro(XT)",   "ro(XE)",   "ro(XE.T)", "ro(PE)",    "ro(PT)",   "ro(PX)",
    "ro(PX.T)", "ro(TE.P)", "ro(XE.P)", "ro(XE.TP)", "ro(PE.T)", "ro(PE.X)", "ro(RE)",
    "ro(XR)",   "ro(TR)",   "ro(XE.R)", "ro(TE.R)", "ro(XT.R)",  "ro(XE.TR)", "ro(RY)",
    "ro(VE)",   "ro(VY)",   "ro(BM)",   "ro(FE)"};
const int kSided[kFunctionalPhylStatistics] = {1, 1, 0, 0, 1, 1, 1, 1, 1, 1, 0, 0, 0,
                                               0, 0, 0, 1, 1, 0, 0, 1, 1, 1, 1, 0};

// The trace lines of each family of statistics, in the order they are written.
const std::vector<std::vector<int>> kTraceFamilies = {
    {fpTE},
    {fpXT, fpXE, fpXE_T},
    {fpPE, fpPT, fpPX, fpPX_T, fpTE_P, fpXE_P, fpXE_TP, fpPE_T, fpPE_X},
    {fpRE, fpXR, fpTR, fpXE_R, fpTE_R, fpXT_R, fpXE_TR, fpRY, fpVE, fpVY, fpBM},
    {fpFE}};

// Types 1 and 5 compare resemblance matrices; type 2 the Procrustes and type
// 3 the RV coefficient of the tables.
char CriterionOf(int testType) { return testType == 2 ? 'p' : testType == 3 ? 'v' : 'm'; }

// A type 5 grouping is the ecological value truncated to an int, which must
// exist for every value.
bool GroupingValue(double v) { return std::isfinite(v) && v > -2147483649.0 && v < 2147483648.0; }

bool DataAccepted(const PermTest_FunctionalPhyl_Correl_Input& in) {
    if (in.communities < 2 || in.otus < 1 || in.traits < 1 || in.types < 1 || in.ecoVariables < 1)
        return false;
    if (in.testType != 1 && in.testType != 2 && in.testType != 3 && in.testType != 5) return false;
    if (!in.W || !in.B || !in.U || !in.E || !in.DE) return false;
    if (in.phylogeny && (in.phylColumns < 1 || !in.Q)) return false;
    if (in.testType == 5)
        for (int i = 0; i < in.communities; i++)
            for (int v = 0; v < in.ecoVariables; v++)
                if (!GroupingValue(in.E[i][v])) return false;
    return true;
}

bool TestAccepted(const PermTest_FunctionalPhyl_Correl_Input& in) {
    if (in.N < 3 || !DataAccepted(in)) return false;
    if (in.shuffle != 't' && in.shuffle != 's') return false;
    if (in.restriction != 0 && in.restriction != 1) return false;
    return in.restriction == 0 || in.otuGroups;
}

// One side of a correlation: a table (types 2 and 3) or its resemblance
// matrix between communities (types 1 and 5).
struct Side {
    int cols;
    double** table;
    double** D;
    bool dissimilarity;
    bool given;
};

bool HasMissing(int c, int cols, double** table) {
    for (int i = 0; i < c; i++)
        for (int j = 0; j < cols; j++)
            if (table[i][j] == MISSING) return true;
    return false;
}

}  // namespace

// The arrays of a work record. Views are arrays of row pointers: a shuffled
// B, U or Q, or the site-shuffled T, X and P, are read through them and never
// copied.
struct FunctionalPhylBuffers {
    int c, p;
    bool selection;
    // The input's sizes and options the arrays were made for.
    int traits, types, phylColumns, ecoVariables, testType;
    bool phylogeny, dissimilarity, site;
    ScopedVector<double*> Bv, Uv, Qv, Tv, Xv, Pv, Rrows, Frows, Vrows, VresRows, richRows, selRows;
    ScopedMatrix<double> T, X, P, DT, DX, DP, DR, DV, DF, Dtrait, Wp, nearDE;
    ScopedVector<double> R, F, V, Vres, rich, rao;
    ScopedVector<int> weights, noSelect, groups, positions, selIndex;
    // The observed tables and entropies that a site shuffle rearranges.
    ScopedMatrix<double> T0, X0, P0;
    ScopedVector<double> R0, F0;
    // Bootstrap samples of the community-indexed inputs.
    ScopedMatrix<double> Wb, Eb, Yb, DEb, DYb;
    ScopedVector<int> richB, selB;
    std::unique_ptr<PermutedComparison> bm;

    FunctionalPhylBuffers(const PermTest_FunctionalPhyl_Correl_Input& in)
        : c(std::max(in.communities, 0)), p(std::max(in.otus, 0)), selection(in.otuSelection != nullptr),
          traits(in.traits), types(in.types), phylColumns(in.phylColumns), ecoVariables(in.ecoVariables),
          testType(in.testType), phylogeny(in.phylogeny), dissimilarity(in.dissimilarity), site(Site(in)),
          Bv(p), Uv(p), Qv(p), Tv(c), Xv(c), Pv(c), Rrows(c), Frows(c), Vrows(c), VresRows(c),
          richRows(c), selRows(c),
          T(c, in.traits), X(c, in.types), P(in.phylogeny ? c : 0, in.phylColumns), DT(c, c),
          DX(c, c), DP(in.phylogeny ? c : 0, c), DR(c, c), DV(c, c), DF(c, c),
          Dtrait(in.testType == 5 ? c : 0, c), Wp(c, p), nearDE(in.dissimilarity ? 0 : c, c),
          R(c), F(c), V(c), Vres(c), rich(c), rao(c), weights(p), noSelect(1),
          groups(in.testType == 5 ? c : 0),
          positions(in.testType == 5 ? c * std::max(in.ecoVariables, 0) : 0), selIndex(c),
          T0(Site(in) ? c : 0, in.traits), X0(Site(in) ? c : 0, in.types),
          P0(Site(in) && in.phylogeny ? c : 0, in.phylColumns), R0(Site(in) ? c : 0),
          F0(Site(in) ? c : 0), Wb(in.bootstrap ? c : 0, p), Eb(in.bootstrap ? c : 0, in.ecoVariables),
          Yb(in.bootstrap && in.Y ? c : 0, p), DEb(in.bootstrap ? c : 0, c),
          DYb(in.bootstrap && in.DY ? c : 0, c), richB(in.bootstrap ? c : 0), selB(in.bootstrap ? c : 0) {
        for (int j = 0; j < p; j++) weights[j] = in.otuSelection ? in.otuSelection[j] : 1;
        for (int i = 0; i < c; i++) {
            Rrows[i] = R.x + i;
            Frows[i] = F.x + i;
            Vrows[i] = V.x + i;
            VresRows[i] = Vres.x + i;
            richRows[i] = rich.x + i;
        }
        if (in.Sb && in.M && p > 0)
            bm.reset(new PermutedComparison(PermutedComparison::kMantel, p, in.Sb, in.M, nullptr, false));
    }
    static bool Site(const PermTest_FunctionalPhyl_Correl_Input& in) {
        return !in.bootstrap && in.shuffle == 's';
    }
    bool Fits(const PermTest_FunctionalPhyl_Correl_Input& in, const int* siteList) const {
        return in.communities == c && in.otus == p && (in.otuSelection != nullptr) == selection &&
               in.traits == traits && in.types == types && in.phylColumns == phylColumns &&
               in.ecoVariables == ecoVariables && in.testType == testType && in.phylogeny == phylogeny &&
               in.dissimilarity == dissimilarity && (site || !siteList);
    }
};

FunctionalPhyl_Stats_Lib_Input::FunctionalPhyl_Stats_Lib_Input(const PermTest_FunctionalPhyl_Correl_Input& in)
    : W(in.W), E(in.E), Y(in.Y), DE(in.DE), DY(in.DY), richness(in.richness),
      communitySelection(in.communitySelection), M(in.M), Sb(in.Sb), buffers(new FunctionalPhylBuffers(in)) {
    FunctionalPhylBuffers& b = *buffers;
    T = b.T;
    X = b.X;
    P = b.P;
    DT = b.DT;
    DX = b.DX;
    DP = b.DP;
    DR = b.DR;
    DV = b.DV;
    DF = b.DF;
    R = b.R;
    F = b.F;
    V = b.V;
    Vres = b.Vres;
    for (double& v : ro) v = NaN;
}

FunctionalPhyl_Stats_Lib_Input::~FunctionalPhyl_Stats_Lib_Input() { delete buffers; }

const char* FunctionalPhylStatisticName(int statistic) {
    return statistic >= 0 && statistic < kFunctionalPhylStatistics ? kStatisticNames[statistic] : "";
}

int FunctionalPhylSided(int statistic) {
    return statistic >= 0 && statistic < kFunctionalPhylStatistics ? kSided[statistic] : 0;
}

namespace {

// Rao entropies of the selected communities (relative abundances; pairs of
// selected OTUs; d = the dissimilarity, or 1 - s) with the OTU x OTU matrix S
// in the OTU order of list; MISSING for the other communities. A list is
// applied to the communities instead of to S: OTU a's abundance goes where
// the row of OTU list[a] is, which costs a copy of W, not of S.
void RaoEntropies(FunctionalPhyl_Stats_Lib_Input& w, double** S, bool dissimilarity, double* out,
                  bool permutedReady) {
    FunctionalPhylBuffers& b = *w.buffers;
    const int c = b.c, p = b.p;
    int m = 0;
    for (int i = 0; i < c; i++) {
        if (w.communitySelection && w.communitySelection[i] != 1) continue;
        if (w.otuList) {
            if (!permutedReady)
                for (int a = 0; a < p; a++) b.Wp[i][w.otuList[a] - 1] = w.W[i][a];
            b.selRows[m] = b.Wp[i];
        } else {
            b.selRows[m] = w.W[i];
        }
        b.selIndex[m++] = i;
    }
    // Without a selection every pair weight is 1: none is passed.
    RaoIndex_Weight_Matrix(m, p, b.selRows, S, b.rao, dissimilarity, false, b.selection ? b.weights.x : nullptr,
                           true, true);
    for (int i = 0; i < c; i++) out[i] = MISSING;
    for (int a = 0; a < m; a++) out[b.selIndex[a]] = b.rao[a];
}

// |a_i - a_j| between the communities, MISSING where either entropy is.
void AbsoluteDifferences(int c, double* a, double** D) {
    AbsValFunctionMV(c, a, D);
    for (int i = 0; i < c; i++)
        for (int j = i + 1; j < c; j++)
            if (a[i] == MISSING || a[j] == MISSING) D[i][j] = MISSING;
}

void TraceObserved(const PermTest_FunctionalPhyl_Correl_Input& in, const FunctionalPhyl_Stats_Lib_Input& w) {
    FILE* f = in.stream;
    const int c = in.communities, p = in.otus;
    fprintf(f, "\nPERMUTATION TEST FOR CORRELATIONS ro(XE), ro(TE) AND ro(RE), AND PARTIAL CORRELATIONS "
               "ro(XE.T), ro(XE.TR)\n");
    fprintf(f, "INTERMEDIATE RESULTS\n");
    fprintf(f, "\nObserved trait matrix (B):\n");
    PrintMatrixTab(f, p, in.traits, in.B, kTraceDigits);
    fprintf(f, "\nMatrix W (%d communities by %d OTUs):\n", c, p);
    PrintMatrixTab(f, c, p, w.W, kTraceDigits);
    fprintf(f, "\n\nMatrix T (comunity weighted means traits in %d communities by %d traits) computed after "
               "B (T = W x B):\n", c, in.traits);
    PrintMatrixTab(f, c, in.traits, w.T, kTraceDigits);
    fprintf(f, "\nResemblance matrix DT between %d communities:\n", c);
    PrintLowerHalfMatrixTab(f, c, w.DT, kTraceDigits);
    fprintf(f, "\nResemblance matrix DE between %d communities:\n", c);
    PrintLowerHalfMatrixTab(f, c, w.DE, kTraceDigits);
    switch (in.testType) {
        case 2:
            fprintf(f, "\nProcrustes correlation between T and E:\t%g\n", NoNegativeZero(w.ro[fpTE]));
            break;
        case 3:
            fprintf(f, "\nRV coefficient between T and E:\t%g\n", NoNegativeZero(w.ro[fpTE]));
            break;
        default:
            fprintf(f, "\nMatrix correlation between DT and DE:\t%g\n", NoNegativeZero(w.ro[fpTE]));
    }
    if (in.testType == 5) {
        fprintf(f, "\nQb / (Qt - Qb) of DT in the groups of each ecological variable:\n");
        PrintVectorTab(f, in.ecoVariables, w.ratioT.data(), kTraceDigits);
        fprintf(f, "\nQb / (Qt - Qb) of each trait (columns) in the groups of each ecological variable (rows):\n");
        for (int v = 0; v < in.ecoVariables; v++)
            PrintVectorTab(f, in.traits, w.ratioTraits.data() + static_cast<size_t>(v) * in.traits, kTraceDigits);
    }
    fprintf(f, "\nObserved belonging matrix (U):\n");
    PrintMatrixTab(f, p, in.types, in.U, kTraceDigits);
    fprintf(f, "\nMatrix X (%d communities by %d types) computed after U (X = W x U):\n", c, in.types);
    PrintMatrixTab(f, c, in.types, w.X, kTraceDigits);
    if (in.phylogeny) {
        fprintf(f, "\nObserved phylogenetic matrix (Q):\n");
        PrintMatrixTab(f, p, in.phylColumns, in.Q, kTraceDigits);
        fprintf(f, "\nMatrix P (%d communities by %d phylogenetic columns) computed after Q (P = W x Q):\n", c,
                in.phylColumns);
        PrintMatrixTab(f, c, in.phylColumns, w.P, kTraceDigits);
    }
    fprintf(f, "\nRao entropy of the communities (R):\n");
    PrintVectorTab(f, c, w.R, kTraceDigits);
    if (in.phylogeny) {
        fprintf(f, "\nPhylogenetic Rao entropy of the communities (F):\n");
        PrintVectorTab(f, c, w.F, kTraceDigits);
    }
    fprintf(f, "\nNearest-neighbour contribution to beta diversity (V) and its residuals on OTU richness:\n");
    PrintVectorTab(f, c, w.V, kTraceDigits);
    PrintVectorTab(f, c, w.Vres, kTraceDigits);
    for (int s = fpXT; s < kFunctionalPhylStatistics; s++) {
        if (s == fpXT || s == fpBM) fprintf(f, "\n");
        fprintf(f, "Observed %s=\t%g\n", kStatisticNames[s], NoNegativeZero(w.ro[s]));
    }
}

}  // namespace

bool FunctionalPhyl_Stats_Lib(PermTest_FunctionalPhyl_Correl_Input* in, FunctionalPhyl_Stats_Lib_Input* work) {
    if (!in || !work || !DataAccepted(*in) || !work->buffers->Fits(*in, work->siteList)) return false;
    FunctionalPhyl_Stats_Lib_Input& w = *work;
    FunctionalPhylBuffers& b = *w.buffers;
    const int c = in->communities, p = in->otus, t = in->traits, k = in->types, q = in->phylColumns;
    const int e = in->ecoVariables, type = in->testType;
    const char criterion = CriterionOf(type);
    const bool phyl = in->phylogeny;
    for (double& v : w.ro) v = NaN;

    // Steps 1 and 3: the community tables and the Rao entropies, or, for a
    // site shuffle, the observed ones in the order of the list.
    if (w.siteList) {
        for (int i = 0; i < c; i++) {
            const int from = w.siteList[i] - 1;
            b.Tv[i] = b.T0[from];
            b.Xv[i] = b.X0[from];
            if (phyl) b.Pv[i] = b.P0[from];
            b.R[i] = b.R0[from];
            b.F[i] = b.F0[from];
        }
        w.T = b.Tv;
        w.X = b.Xv;
        w.P = phyl ? b.Pv.x : nullptr;
    } else {
        for (int a = 0; a < p; a++) {
            const int from = w.otuList ? w.otuList[a] - 1 : a;
            b.Bv[a] = in->B[from];
            b.Uv[a] = in->U[from];
            if (phyl) b.Qv[a] = in->Q[from];
        }
        MatrixProdSelectMV_Adjust_Weight(c, p, p, t, w.W, b.Bv, b.T, nullptr, b.weights, in->weightAdjustment);
        NormalizeColsMV(c, t, b.T, b.T);
        MatrixProdSelectMV_Adjust_Weight(c, p, p, k, w.W, b.Uv, b.X, nullptr, b.weights);
        if (phyl) MatrixProdSelectMV_Adjust_Weight(c, p, p, q, w.W, b.Qv, b.P, nullptr, b.weights);
        w.T = b.T;
        w.X = b.X;
        w.P = phyl ? b.P.x : nullptr;
        if (in->Sb) RaoEntropies(w, in->Sb, in->sbDissimilarity, b.R, false);
        if (phyl && in->Sf) RaoEntropies(w, in->Sf, in->sfDissimilarity, b.F, in->Sb != nullptr);
    }
    const bool hasR = in->Sb != nullptr, hasF = phyl && in->Sf != nullptr;

    // Resemblance between communities.
    auto resemblance = [&](int cols, double** table, double** D, int measure) {
        return ResemblanceLib(c, cols, table, D, 1, measure, nullptr, 1.0, 0.0, 0, false) == reseComputed;
    };
    const bool okT = resemblance(t, w.T, b.DT, w.measureTP);
    const bool okX = resemblance(k, w.X, b.DX, w.measureX);
    const bool okP = phyl && resemblance(q, w.P, b.DP, w.measureTP);

    // V: each community's compositional distance to its environmental
    // nearest neighbour, as residuals on its OTU richness.
    double** nearDE = w.DE;
    if (!in->dissimilarity) {
        for (int i = 0; i < c; i++)
            for (int j = 0; j < c; j++)
                b.nearDE[i][j] = w.DE[i][j] == MISSING ? MISSING : 1.0 - w.DE[i][j];
        nearDE = b.nearDE;
    }
    NNCRD(c, nearDE, b.DX, b.V);
    bool spread = false;
    for (int i = 0; i < c; i++) {
        if (w.richness) {
            b.rich[i] = w.richness[i];
        } else {
            int count = 0;
            for (int j = 0; j < p; j++)
                if (w.W[i][j] > 0) count++;
            b.rich[i] = count;
        }
        spread = spread || b.rich[i] != b.rich[0];
    }
    // Without spread the richness cannot be a regressor (a singular fit):
    // the residuals are then the deviations from the mean.
    b.noSelect[0] = 0;
    Regression_ResidualsSelect(c, 1, 1, b.Vrows, b.richRows, b.VresRows, spread ? nullptr : b.noSelect.x);

    const bool matrices = criterion == 'm';
    if (matrices) {
        if (hasR) AbsoluteDifferences(c, b.R, b.DR);
        if (hasF) AbsoluteDifferences(c, b.F, b.DF);
        AbsValFunctionMV(c, b.Vres, b.DV);
    }

    const Side sT{t, w.T, b.DT, true, okT}, sX{k, w.X, b.DX, true, okX}, sP{q, w.P, b.DP, true, okP};
    const Side sE{e, w.E, w.DE, in->dissimilarity, true};
    const Side sR{1, b.Rrows, b.DR, true, hasR}, sF{1, b.Frows, b.DF, true, hasF};
    const Side sV{1, b.VresRows, b.DV, true, true};
    const Side sY{p, w.Y, w.DY, in->dissimilarity, matrices ? w.DY != nullptr : w.Y != nullptr};
    auto corr = [&](const Side& a, const Side& z) {
        if (!a.given || !z.given) return NaN;
        if (a.dissimilarity && z.dissimilarity)
            return MatrixCorrelationLib(c, a.cols, z.cols, a.table, z.table, a.D, z.D, true, criterion);
        return MatrixCorrelationLib(c, a.cols, z.cols, a.table, z.table, a.D, z.D, a.dissimilarity,
                                    z.dissimilarity, false, criterion);
    };
    // Type 2 takes the partial correlation from the tables' residuals on
    // the covariates; the others from the three pairwise values (rXY, rXZ,
    // rYZ, or their first-order partials for two covariates).
    auto partial = [&](const Side& a, const Side& z, std::initializer_list<const Side*> covariates, double rXY,
                       double rXZ, double rYZ) {
        if (type != 2) return PartialCorrelation(rXY, rXZ, rYZ);
        if (!a.given || !z.given || HasMissing(c, a.cols, a.table) || HasMissing(c, z.cols, z.table)) return NaN;
        std::vector<CovariateBlock> blocks;
        for (const Side* s : covariates) {
            if (!s->given || HasMissing(c, s->cols, s->table)) return NaN;
            blocks.push_back({s->cols, nullptr, s->table});
        }
        return PartialMatrixCorrelation(c, a.cols, z.cols, a.table, z.table, 2, 0.0, blocks);
    };

    double* ro = w.ro;
    // Step 2.
    ro[fpTE] = corr(sT, sE);
    if (type == 5) {
        w.ratioT.assign(e, NaN);
        w.ratioTraits.assign(static_cast<size_t>(e) * t, NaN);
        // Groups as positions 1..g, whatever the values.
        for (int v = 0; v < e; v++) {
            for (int i = 0; i < c; i++) b.groups[i] = static_cast<int>(std::trunc(w.E[i][v]));
            GroupPositions(c, b.groups, b.positions.x + static_cast<size_t>(v) * c);
        }
        auto ratio = [&](double** D, int v) {
            double Qb, Qt;
            BetweenGrSqDissim(c, D, b.positions.x + static_cast<size_t>(v) * c, Qb, Qt, w.communitySelection,
                              false);
            return Qb / (Qt - Qb);
        };
        for (int v = 0; v < e; v++) w.ratioT[v] = okT ? ratio(b.DT, v) : NaN;
        for (int j = 0; j < t; j++) {
            EucliDistMVSelectOne(c, t, w.T, b.Dtrait, j + 1);
            for (int v = 0; v < e; v++) w.ratioTraits[static_cast<size_t>(v) * t + j] = ratio(b.Dtrait, v);
        }
    }
    // Step 3.
    ro[fpXT] = corr(sX, sT);
    ro[fpXE] = corr(sX, sE);
    if (phyl) {
        ro[fpPE] = corr(sP, sE);
        ro[fpPT] = corr(sP, sT);
        ro[fpPX] = corr(sP, sX);
    }
    // Step 4.
    ro[fpXE_T] = partial(sX, sE, {&sT}, ro[fpXE], ro[fpXT], ro[fpTE]);
    if (phyl) {
        ro[fpPX_T] = partial(sP, sX, {&sT}, ro[fpPX], ro[fpPT], ro[fpXT]);
        ro[fpTE_P] = partial(sT, sE, {&sP}, ro[fpTE], ro[fpPT], ro[fpPE]);
        ro[fpXE_P] = partial(sX, sE, {&sP}, ro[fpXE], ro[fpPX], ro[fpPE]);
        ro[fpPE_T] = partial(sP, sE, {&sT}, ro[fpPE], ro[fpPT], ro[fpTE]);
        ro[fpPE_X] = partial(sP, sE, {&sX}, ro[fpPE], ro[fpPX], ro[fpXE]);
        ro[fpXE_TP] = partial(sX, sE, {&sT, &sP}, ro[fpXE_T], ro[fpPX_T], ro[fpPE_T]);
    }
    // Step 5.
    ro[fpRE] = corr(sR, sE);
    ro[fpXR] = corr(sX, sR);
    ro[fpTR] = corr(sT, sR);
    ro[fpXE_R] = partial(sX, sE, {&sR}, ro[fpXE], ro[fpXR], ro[fpRE]);
    ro[fpTE_R] = partial(sT, sE, {&sR}, ro[fpTE], ro[fpTR], ro[fpRE]);
    ro[fpXT_R] = partial(sX, sT, {&sR}, ro[fpXT], ro[fpXR], ro[fpTR]);
    ro[fpXE_TR] = partial(sX, sE, {&sT, &sR}, ro[fpXE_T], PartialCorrelation(ro[fpXR], ro[fpXT], ro[fpTR]),
                          PartialCorrelation(ro[fpRE], ro[fpTE], ro[fpTR]));
    ro[fpRY] = corr(sR, sY);
    ro[fpVE] = corr(sV, sE);
    ro[fpVY] = corr(sV, sY);
    ro[fpFE] = corr(sF, sE);
    if (w.M && w.Sb) {
        if (w.otuList && b.bm) {
            // 1 - s against d is a change of sign.
            const double r = (*b.bm)(w.otuList);
            ro[fpBM] = in->sbDissimilarity == in->mDissimilarity ? r : -r;
        } else {
            ro[fpBM] = MatrixCorrelationLib(p, 0, 0, nullptr, nullptr, w.Sb, w.M, in->sbDissimilarity,
                                            in->mDissimilarity, false, 'm');
        }
    }
    // Step 6.
    if (w.iteration == 0 && in->trace && in->stream) TraceObserved(*in, w);
    return true;
}

namespace fp_detail {

RowSummary SummariseRow(int n, double* values, double observed, int sided) {
    RowSummary s{NaN, NaN, NaN, NaN, NaN, NaN, NaN, 0};
    double* end = std::stable_partition(values, values + (n > 0 ? n : 0), [](double v) { return std::isfinite(v); });
    const int kept = static_cast<int>(end - values);
    s.kept = kept;
    if (kept == 0) return s;
    gsl_sort(values, 1, kept);
    s.median = gsl_stats_median_from_sorted_data(values, 1, kept);
    s.q15865 = gsl_stats_quantile_from_sorted_data(values, 1, kept, 0.15865);
    s.q84135 = gsl_stats_quantile_from_sorted_data(values, 1, kept, 0.84135);
    s.q025 = gsl_stats_quantile_from_sorted_data(values, 1, kept, 0.025);
    s.q975 = gsl_stats_quantile_from_sorted_data(values, 1, kept, 0.975);
    s.sesMedian = SES_median(observed, s.median, s.q15865, s.q84135);
    s.P = Pvalue(kept, values, observed, s.median, sided);
    return s;
}

}  // namespace fp_detail

namespace {

// The bootstrap sample list (communities from 1) of every community-indexed
// input: rows of W, E and Y, rows and columns of DE and DY.
void Resample(const PermTest_FunctionalPhyl_Correl_Input& in, FunctionalPhylBuffers& b, const int* list) {
    const int c = in.communities, p = in.otus;
    int kept = 0;
    GetData(c, c, p, &kept, in.W, b.Wb, list, 0);
    GetData(c, c, in.ecoVariables, &kept, in.E, b.Eb, list, 0);
    if (in.Y) GetData(c, c, p, &kept, in.Y, b.Yb, list, 0);
    for (int i = 0; i < c; i++) {
        const int from = list[i] - 1;
        for (int j = 0; j < c; j++) {
            b.DEb[i][j] = in.DE[from][list[j] - 1];
            if (in.DY) b.DYb[i][j] = in.DY[from][list[j] - 1];
        }
        if (in.richness) b.richB[i] = in.richness[from];
        if (in.communitySelection) b.selB[i] = in.communitySelection[from];
    }
}

void WriteObservedOutputs(const PermTest_FunctionalPhyl_Correl_Input& in, const FunctionalPhyl_Stats_Lib_Input& w) {
    const int c = in.communities;
    if (in.observedT) CopyMatrix(c, in.traits, w.T, in.observedT);
    if (in.observedX) CopyMatrix(c, in.types, w.X, in.observedX);
    if (in.observedP && in.phylogeny) CopyMatrix(c, in.phylColumns, w.P, in.observedP);
    for (int i = 0; i < c; i++) {
        if (in.observedR) {
            in.observedR[i][0] = in.Sb ? w.R[i] : NaN;
            in.observedR[i][1] = in.phylogeny && in.Sf ? w.F[i] : NaN;
        }
        if (in.nncrd) {
            in.nncrd[0][i] = w.V[i];
            in.nncrd[1][i] = w.Vres[i];
        }
    }
}

}  // namespace

bool PermTest_FunctionalPhyl_Correl(PermTest_FunctionalPhyl_Correl_Input* in) {
    if (!in || !TestAccepted(*in)) return false;
    PermTest_FunctionalPhyl_Correl_Input& d = *in;
    d.criterion = CriterionOf(d.testType);
    const int N = d.N, c = d.communities, p = d.otus, t = d.traits, k = d.types;
    const bool phyl = d.phylogeny, tracing = d.trace && d.stream;
    const bool otuShuffle = !d.bootstrap && d.shuffle == 't', siteShuffle = !d.bootstrap && d.shuffle == 's';
    FunctionalPhyl_Stats_Lib_Input work(d);
    FunctionalPhylBuffers& b = *work.buffers;

    // The observed arrangement.
    FunctionalPhyl_Stats_Lib(in, &work);
    double observed[kFunctionalPhylStatistics];
    std::copy(work.ro, work.ro + kFunctionalPhylStatistics, observed);
    const std::vector<double> observedRatioT = work.ratioT, observedRatioTraits = work.ratioTraits;
    WriteObservedOutputs(d, work);
    if (siteShuffle) {
        CopyMatrix(c, t, work.T, b.T0);
        CopyMatrix(c, k, work.X, b.X0);
        if (phyl) CopyMatrix(c, d.phylColumns, work.P, b.P0);
        std::copy(b.R.x, b.R.x + c, b.R0.x);
        std::copy(b.F.x, b.F.x + c, b.F0.x);
    }
    if (d.bootstrap) {
        work.W = b.Wb;
        work.E = b.Eb;
        work.Y = d.Y ? b.Yb.x : nullptr;
        work.DE = b.DEb;
        work.DY = d.DY ? b.DYb.x : nullptr;
        work.richness = d.richness ? b.richB.x : nullptr;
        work.communitySelection = d.communitySelection ? b.selB.x : nullptr;
    }

    // Everything the loop needs exists before it.
    ScopedMatrix<double> random(kFunctionalPhylStatistics, N - 1);
    double count[kFunctionalPhylStatistics], sum[kFunctionalPhylStatistics] = {},
           sumSq[kFunctionalPhylStatistics] = {};
    int finite[kFunctionalPhylStatistics] = {};
    std::fill(count, count + kFunctionalPhylStatistics, 1.0);
    std::vector<double> ratioCount(observedRatioT.size(), 1.0), traitCount(observedRatioTraits.size(), 1.0);
    ScopedVector<int> otuList(p), order(p), selected(p), siteList(c), bootList(c), communities(c);
    std::unique_ptr<bool[]> selectedFlag(new bool[p]);
    int m = 0;
    for (int j = 0; j < p; j++) {
        otuList[j] = j + 1;
        selectedFlag[j] = !d.otuSelection || d.otuSelection[j] == 1;
        if (selectedFlag[j]) {
            selected[m] = j;
            order[m++] = j + 1;
        }
    }
    for (int i = 0; i < c; i++) {
        siteList[i] = i + 1;
        communities[i] = d.communitySelection ? d.communitySelection[i] : 1;
    }
    ScopedMatrix<double> shown(tracing && otuShuffle ? p : 0, p);
    auto showPermuted = [&](double** S, const char* heading) {
        for (int a = 0; a < p; a++)
            for (int z = 0; z < p; z++) shown[a][z] = S[otuList[a] - 1][otuList[z] - 1];
        fprintf(d.stream, "%s", heading);
        PrintMatrixTab(d.stream, p, p, shown.x, kTraceDigits);
    };

    for (int it = 1; it < N; it++) {
        ShowTestProgress("Permutation test: %d of %d", it, N);
        if (d.bootstrap) {
            RndListBootstrap(c, bootList);
            Resample(d, b, bootList);
        } else if (otuShuffle) {
            // Only the selected OTUs move, and one list serves every
            // OTU-indexed input.
            if (d.specifiedList) {
                RndListSpecified(m, order);
                for (int a = 0; a < m; a++) otuList[selected[a]] = order[a];
            } else if (d.restriction == 1) {
                if (m == p)
                    RndListNestedNew(p, d.otuGroups, 1, otuList);
                else
                    RndListNestedSelect(p, true, d.otuGroups, false, nullptr, false, otuList, selectedFlag.get());
            } else if (m == p) {
                RndList(p, otuList);
            } else {
                RndListSelect(p, otuList, selectedFlag.get());
            }
            work.otuList = otuList;
        } else if (d.testType == 5) {
            RndListSelect(c, siteList, communities.x);
            work.siteList = siteList;
        } else {
            RndListSpecified(c, siteList);
            work.siteList = siteList;
        }
        work.iteration = it;
        FunctionalPhyl_Stats_Lib(in, &work);

        for (int s = 0; s < kFunctionalPhylStatistics; s++) {
            const double v = work.ro[s];
            random[s][it - 1] = v;
            if (!std::isfinite(v)) continue;
            sum[s] += v;
            sumSq[s] += v * v;
            finite[s]++;
            if (CountsTowardP(v, observed[s], kSided[s] ? TieRule::Larger : TieRule::LargerAbsolute)) count[s] += 1.0;
        }
        for (size_t v = 0; v < ratioCount.size(); v++)
            if (std::isfinite(work.ratioT[v]) && CountsTowardP(work.ratioT[v], observedRatioT[v], TieRule::Larger))
                ratioCount[v] += 1.0;
        for (size_t v = 0; v < traitCount.size(); v++)
            if (std::isfinite(work.ratioTraits[v]) &&
                CountsTowardP(work.ratioTraits[v], observedRatioTraits[v], TieRule::Larger))
                traitCount[v] += 1.0;

        if (!tracing) continue;
        FILE* f = d.stream;
        fprintf(f, "\n\nITERATION\t%d\n", it);
        if (d.bootstrap) {
            fprintf(f, "\nCommunities in the bootstrap sample:\t");
            PrintVectorTab(f, c, bootList.x);
        } else if (otuShuffle) {
            fprintf(f, "Permuted trait matrix (Brnd):\n");
            PrintMatrixTab(f, p, t, b.Bv, kTraceDigits);
            fprintf(f, "\nOrder of original OTUs in permuted traits matrix Brnd:\t");
            PrintVectorTab(f, p, otuList.x);
            fprintf(f, "\n\nMatrix Trnd (%d communities by %d traits) generated after Brnd (Trnd = W x Brnd):\n", c, t);
            PrintMatrixTab(f, c, t, work.T, kTraceDigits);
            fprintf(f, "\nPermuted belonging matrix (Urnd):\n");
            PrintMatrixTab(f, p, k, b.Uv, kTraceDigits);
            fprintf(f, "\n\nMatrix Xrnd (%d communities by %d types) generated after Urnd (Xrnd = W x Urnd):\n", c, k);
            PrintMatrixTab(f, c, k, work.X, kTraceDigits);
            if (phyl) {
                fprintf(f, "\nPermuted phylogenetic matrix (Qrnd):\n");
                PrintMatrixTab(f, p, d.phylColumns, b.Qv, kTraceDigits);
                fprintf(f, "\n\nMatrix Prnd (%d communities by %d phylogenetic columns) generated after Qrnd "
                           "(Prnd = W x Qrnd):\n", c, d.phylColumns);
                PrintMatrixTab(f, c, d.phylColumns, work.P, kTraceDigits);
            }
            if (d.Sb) showPermuted(d.Sb, "\nPermuted trait similarity matrix between OTUs (Srnd):\n");
            if (phyl && d.Sf) showPermuted(d.Sf, "\nPermuted phylogenetic similarity matrix between OTUs (Sfrnd):\n");
        } else {
            fprintf(f, "\nOrder of original communities in the site shuffle:\t");
            PrintVectorTab(f, c, siteList.x);
            fprintf(f, "\n\nMatrix Trnd (%d communities by %d traits) permuted by site shuffle:\n", c, t);
            PrintMatrixTab(f, c, t, work.T, kTraceDigits);
            fprintf(f, "\n\nMatrix Xrnd (%d communities by %d types) permuted by site shuffle:\n", c, k);
            PrintMatrixTab(f, c, k, work.X, kTraceDigits);
            if (phyl) {
                fprintf(f, "\n\nMatrix Prnd (%d communities by %d phylogenetic columns) permuted by site shuffle:\n",
                        c, d.phylColumns);
                PrintMatrixTab(f, c, d.phylColumns, work.P, kTraceDigits);
            }
            fprintf(f, "\n\nRao entropies (Rrnd) permuted by site shuffle:\n");
            PrintVectorTab(f, c, work.R, kTraceDigits);
        }
        for (size_t family = 0; family < kTraceFamilies.size(); family++) {
            if (!phyl && (family == 2 || family == 4)) continue;
            fprintf(f, "\nIteration %d", it);
            for (int s : kTraceFamilies[family])
                fprintf(f, "\tRandom %s =\t%g\tCummulative frequency for %s=%g", kStatisticNames[s],
                        NoNegativeZero(work.ro[s]),
                        kStatisticNames[s], count[s]);
            fprintf(f, "\n");
        }
    }
    ClearLine();

    // Step 4: the summaries of each row.
    for (int s = 0; s < kFunctionalPhylStatistics; s++) {
        double* values = random[s];
        const double obs = observed[s];
        const fp_detail::RowSummary r = fp_detail::SummariseRow(N - 1, values, obs, kSided[s]);
        const double mean = sum[s] / finite[s];
        const double ses = d.median ? r.sesMedian : SES(obs, sumSq[s], sum[s], finite[s]);
        if (s < kFunctionalPhylRows) {
            d.cumulativeP[s] = PermutationP(count[s], N, obs);
            d.ses[s] = ses;
            d.centre[s] = d.median ? r.median : mean;
            d.quantile025[s] = r.q025;
            d.quantile975[s] = r.q975;
            d.P[s] = r.P;
        } else {
            d.sesFE = ses;
            d.quantile025FE = r.q025;
            d.quantile975FE = r.q975;
            d.PFE = r.P;
        }
        if (d.rows) {
            double* row = d.rows[s];
            std::copy(values, values + (N - 1), row);
            const double tail[] = {r.median, r.q15865, r.q84135, obs, r.sesMedian, r.q025, r.q975, r.P, NaN};
            std::copy(tail, tail + 9, row + (N - 1));
        }
    }
    d.ratioT = observedRatioT;
    d.ratioTraits = observedRatioTraits;
    d.ratioTP.resize(ratioCount.size());
    d.ratioTraitsP.resize(traitCount.size());
    for (size_t v = 0; v < ratioCount.size(); v++) d.ratioTP[v] = PermutationP(ratioCount[v], N, observedRatioT[v]);
    for (size_t v = 0; v < traitCount.size(); v++)
        d.ratioTraitsP[v] = PermutationP(traitCount[v], N, observedRatioTraits[v]);
    return true;
}
