// ===========================================================================
// Permutation tests
// ===========================================================================

#include "rhFunctionalPhyl.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibOut.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"
#include "rhFunctionalPhyl_internal.h"

using namespace fp_detail;

namespace {

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

}  // namespace

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
