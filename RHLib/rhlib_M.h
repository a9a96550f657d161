// Analysis routines: matrix operations and eigen analysis, random lists,
// Beals smoothing, the analysis dispatchers, and the clustering engines.
#ifndef RHLIB_M_H
#define RHLIB_M_H

#include <gsl/gsl_rng.h>
#include <omp.h>

#include <cstdio>
#include <exception>
#include <vector>

// ===========================================================================
// Matrix operations, eigen analysis and SVD
// ===========================================================================

// Plain routines on 0-based double** matrices, written to caller-allocated
// outputs. MISSING (-999) is skipped where the name ends in MV and where a
// routine says so.

// --- Products ---------------------------------------------------------------
// A is n x m, B is m2 x p, Y is n x p. Each returns 1 without computing when
// m differs from m2, else 0. Y must not be A or B.
// Y = A B, terms with MISSING in either factor left out.
int MatrixProd(int n, int m, int m2, int p, double** A, double** B, double** Y);
// The same; a cell all of whose terms were left out becomes MISSING.
int MatrixProdMV(int n, int m, int m2, int p, double** A, double** B, double** Y);
// As MatrixProd for the columns j with select[j] = 1; the other columns are 0.
int MatrixProdSelect(int n, int m, int m2, int p, double** A, double** B, double** Y, const int* select);
int MatrixProdSelectMV(int n, int m, int m2, int p, double** A, double** B, double** Y, const int* select);
// Each term k multiplied by weights[k].
int MatrixProdSelectMV_Weight(int n, int m, int m2, int p, double** A, double** B, double** Y,
                              const int* select, const int* weights);
// D holds B A (B n x m, A m2 x p, D n x p); Y differs from A in row and column
// target (and possibly on the diagonal). D is brought to B Y by adding, for
// each i and j, the differences of the terms k = target and k = j (every k
// when j = target). Returns 1 without computing unless m = m2 and 0 <= target
// < min(m, p).
int MatrixProdTargetMV(int n, int m, int m2, int p, int target, double** A, double** B, double** Y,
                       double** D);
// Community-weighted product (W communities x species, B species x traits):
// Y[i][j] = sum_k W[i][k] B[k][j] weight_k over the terms without MISSING,
// rescaled by total / partial for the W left out; MISSING when every term was
// left out. Weight of term k: weights[k] weights[j] with pairMode, otherwise 1
// when weights[k] = 1 or weights[j] = 1, else 0; the nine-argument form uses
// weights[k] alone. select null means every column; unselected columns are
// not written. Rows are split over the thread team.
int MatrixProdSelectMV_Adjust_Weight(int n, int m, int m2, int p, double** W, double** B, double** Y,
                                     const int* select, const int* weights, bool pairMode);
int MatrixProdSelectMV_Adjust_Weight(int n, int m, int m2, int p, double** W, double** B, double** Y,
                                     const int* select, const int* weights);
// C (a x b) = A' B for A n x a and B n x b, every term counted: for centred
// or scaled tables, in which -999 is a value like any other. C must not be A
// or B.
void CrossProductCols(int n, int a, int b, double** A, double** B, double** C);
// B = s A; MISSING stays MISSING. B may be A.
void ScalarMatrixProd(int n, int m, double s, double** A, double** B);
double VectorProd(int n, const double* x, const double* y);
double VectorProdMV(int n, const double* x, const double* y);
// M[i][j] = u[i] v[j].
void VectorOuterProd(int n, int m, const double* u, const double* v, double** M);
// Y = A + k B; returns 1 without computing when B is not n x m, else 0.
int MatrixSum(int n, int m, int rowsB, int colsB, double** A, double** B, double** Y, int k);

// --- Copies, transposes and triangles ---------------------------------------
// B (m x n) [j][i] = A[i][j]. B must not be A.
void TransposeMatrix(int n, int m, double** A, double** B);
void CopyMatrix(int n, int m, double** A, double** B);
// For j <= i: A[i][j] goes to B[j][i] and the old B[j][i] to B[i][j]; given the
// same matrix twice it transposes it in place.
void TransposeSqMatrix(int n, double** A, double** B);
void TransposeSqMatrix(int n, int** A, int** B);
void UpperToLowerMatrix(int n, double** M);
void LowerToUpperMatrix(int n, double** M);
double MatrixTrace(int n, double** M);

// --- Totals and extremes ----------------------------------------------------
void RowTotals(int n, int m, double** M, double* t);
void ColTotals(int n, int m, double** M, double* t);
double MatrixTotal(int n, int m, double** M);
void RowTotalsMV(int n, int m, double** M, double* t);
void ColTotalsMV(int n, int m, double** M, double* t);
double MatrixTotalMV(int n, int m, double** M);
// Extremes; the search starts at INT_MIN + 1 / -DBL_MAX (max) and INT_MAX /
// DBL_MAX (min). maxVectorInt starts at INT_MIN.
int maxVector(int n, const int* x);
double maxVector(int n, const double* x);
int minVector(int n, const int* x);
double minVector(int n, const double* x);
int maxVectorInt(int n, const int* x);
int minVectorInt(int n, const int* x);
// 0-based position of the first largest or smallest value (0 when n is 0).
int MaxVectorWhich(int n, const double* x);
int MaxVectorWhich(int n, const int* x);
int MinVectorWhich(int n, const double* x);
int MinVectorWhich(int n, const int* x);

// --- Eigen analysis and SVD -------------------------------------------------
// These run in LAPACK. Each eigenvector and each singular-vector pair has one
// sign, whatever the solver, the thread count or the machine: its component
// of largest magnitude is positive (the first of them when several are equal
// up to a relative 1e-9; for a pair, the component of the right vector, the
// column of V). Calls of less work than an eigen analysis of about 1,150 x
// 1,150 run on the calling thread and give the same bits on any team; larger
// ones run on the team the processors preference set, less the processors
// that other programs keep busy at the time (LapackThreads): their last bits
// depend on the threads they ran on. Inside an active parallel region every
// call runs on the calling thread. When LAPACK reports a failure, the
// analysis is made again by a slower route (QL/QR iterations on the matrix
// scaled to unit largest entry, the results scaled back); only a failure of
// that route too is a failure.
//
// Symmetric eigen analysis: eigenvalues in descending order in eig,
// eigenvector k (unit length) in row k of evec (evec may be A). Reads the
// lower triangle and the diagonal of A (callers fill the whole matrix).
// Returns 0 when an eigenvalue is notably negative (below -0.001 of the sum
// of the eigenvalues), else 1; the results are written in both cases. A
// matrix that is not finite, or a failure, gives 0 with every result NaN.
int EigenHouseholderQL_GSL_D(int n, double** A, double** evec, double* eig);
// The same contract, computed by Householder reduction and QL iterations.
int EigenHouseholderQL(int n, double** A, double** evec, double* eig);
// Sum of the magnitudes of the eigenvalue proportions below -0.001 (the
// eigenvalues alone are computed); NaN for a matrix that is not finite.
double EigenHouseholderQL_NegEigen(int n, double** A);
// Number of eigenvalues above 1e-5 percent of the total of the positive ones.
int EigenRank(int n, const double* eig);
// Singular value decomposition of A (n x m): A = U diag(s) V', with r =
// min(n, m) singular values in descending order in s, U n x r and V m x r
// (orthonormal columns). Returns 1, or 0, writing nothing, for a matrix that
// is not finite or a failure.
int SingValueDecomp(int n, int m, double** A, double** U, double* s, double** V);
// The threads a LAPACK call of work (about n^3 for an n x n eigen analysis)
// would run on now: 1 inside a parallel region or below the work a team
// repays, else the caller's team size, at most the processors free.
int LapackThreads(double work);
// The processors free for a team that may use `usable` of the machine's
// `online` processors while `running` threads (the caller's included) run on
// the machine: at least 1, at most usable.
int FreeProcessorsOf(int usable, int online, int running);

// --- Stopping-rule statistics (k is 1-based) --------------------------------
// Broken-stick expected proportion of axis k of p: (sum_{i=k}^{p} 1/i) / p.
double BrokenStick(int k, int p);
// Bartlett's u over the eigenvalues k to p of n units (count not used).
double Bartlett_u(int count, int k, const double* eig, int n, int p);
// Upper-tail chi-square probability of Bartlett_u with (count - k)(count - k
// + 3) / 2 (integer division) degrees of freedom; 1 when there are none.
double Bartlett_uProb(int count, int k, const double* eig, int n, int p);
// eig[k-1] / sqrt(sum of eig[k-1..p-1]^2); 0 when that sum is 0.
double RVDIM(int p, int k, const double* eig);
// eig[k-1] / sum of eig[k..p-2]; 0 when that sum is empty or not positive.
double PseudoF_eig(int p, int k, const double* eig);

// --- Conversions for principal coordinates (n x n) --------------------------
// Gower's double centring of the squared dissimilarities (D itself when
// squared, D^2 otherwise) into the upper triangle of G (diagonal included);
// reads the upper triangle of D. G may be D.
void DissToCenterProdMatrix(int n, double** D, double** G, bool squared);
// The same centring over the full matrix (D^2 when square), both triangles.
// G may be D.
void GowerMatrixCentering(int n, double** D, double** G, bool square);
// D[i][j] = S[i][i] + S[j][j] - 2 S[i][j] for i < j, diagonal 0; the lower
// triangle is not written. D may be S.
void ProdToSqDist(int n, double** S, double** D);
// B[i][j] = B[j][i] = A[i][j]^2 (upper triangle of A read). B may be A.
void SquareSqMatrix(int n, double** A, double** B);
// B[i][j] = B[j][i] = sqrt(A[i][j]) (upper triangle of A read). B may be A.
void SquareRootSqMatrix(int n, double** A, double** B);
// D = 2 (1 - R) off the diagonal, 0 on it (upper triangle of R read).
void CorrToSqDist(int n, double** R, double** D);
// D = 1 - P (upper triangle of P read, mirrored).
void ProbToDissim(int n, double** P, double** D);
// Correlations R (nVar x min(nAxes, maxAxes)) between the score rows (axis x
// n units) and the variables: rows of data (nVar x n) when byVariables,
// otherwise its columns (data n x nVar).
void ScoreCorrComp(int nAxes, int n, double** scores, double** data, int nVar, int byVariables,
                   int maxAxes, double** R);


// ===========================================================================
// Random generator, permutation and bootstrap lists
// ===========================================================================
//
// Lists hold unit numbers from 1: position i (from 0) tells which unit takes
// the place of unit i + 1. Every draw is gsl_rng_uniform_int(r, m) with
// m >= 1, in the order each routine states, so a seed fixes every list.
//
// Reproducible parallel loops (every loop that draws, now and later): with a
// given seed the results must be the same whatever the number of threads. So
// the generator is never used by two threads at once, and the lists are drawn
// in the order one thread would draw them. Work in blocks of iterations:
//   1. one thread draws everything the next block needs (lists, and any other
//      random number an iteration would draw), serially, in iteration order;
//   2. the team evaluates the block, each thread with its own buffers
//      (allocated once, before the loop), reading only what was drawn;
//   3. each iteration writes its own result slot, or adds to integer counts;
//      sums of doubles are made after the block in iteration order, never by
//      atomics or per-thread partial sums, which depend on the schedule.
// RunDrawnBlocks below does steps 1 and 2 (drawing block b + 1 while the team
// evaluates block b); the Beals tests use it.
//
// The list routines also hold a lock while they draw, so a stray concurrent
// call can never corrupt the generator (it would still lose reproducibility).

// The process-wide generator (MT19937). It exists from start-up, seeded with
// GSL's default seed until a test seeds it.
extern gsl_rng* r;

// Replaces r by a new MT19937 generator seeded with seed (the old one is
// released) and seeds rand() too.
void InitRndNumberGenerator(unsigned int seed);

// The seed of a run whose seed the user lets be chosen: the calendar time to
// the nanosecond, the process number and a count of the calls in this
// process, mixed, so that two runs in one second or two programs started
// together get different seeds. Never 0 (some prompts accept seeds from 1 to
// be typed again), and never the seed of the previous call.
unsigned int AutomaticSeed();

// lo + U(hi - lo + 1); lo without a draw when hi < lo.
int RndIntegers(int lo, int hi);

// Random permutation of 1..n: identity, then for i = 0..n-2 swap list[i] with
// list[i + U(n - i)].
void RndList(int n, int* list);
// The forms with a generator g draw from g instead of r, by the same rule and
// without the lock: for loops that give each iteration a generator of its own
// (seeded from r in iteration order) because an iteration's draws depend on
// its own results. A null g means r (with the lock).
void RndList(int n, int* list, gsl_rng* g);
// The same swap loop over the caller's contents.
void RndListSpecified(int n, int* list);
// For i = 0..n-1 swap list[i] with list[U(n)].
void RndListPartial(int n, int* list);

// Permutes the selected units (sel true, or 1 in the int form) among
// themselves; the other positions keep what the caller put there.
void RndListSelect(int n, int* list, const bool* sel);
void RndListSelect(int n, int* list, const int* sel);
// RndListSelect over the units selected in both masks.
void RndListTwoSelect_(int n, int* list, const bool* first, const bool* second);

// RndListSelect with one permutation repeated over several blocks: newPerm
// draws it (into perm) for the first block, later calls reuse perm. Returns
// false and changes nothing when a later block has another number of
// selected units than the block that drew, or when order[k] (k below that
// number) is not within 1..number.
bool RndListSelectSynchronized(int n, int* list, const bool* sel, const int* order, int* perm,
                               bool newPerm);

// Permutation of the nPairs = m(m-1)/2 pairs of an m x m matrix induced by a
// random permutation of its m objects: list[k] names the unpermuted pair that
// gives pair k of the permuted matrix (pairs numbered row by row over the
// upper triangle, from 1). Returns false, printing why and changing nothing,
// when nPairs is not m(m-1)/2.
bool RndListMantelRestricted(int nPairs, int* list, int m);

// Bootstrap lists: list[i] = 1 + U(n) for i < n (for i < m in the N form).
// With n < 1 nothing is drawn and nothing is written.
void RndListBootstrap(int n, int* list);
void RndListBootstrapN(int n, int m, int* list);
void RndListBootstrap(int n, int* list, gsl_rng* g);
void RndListBootstrapN(int n, int m, int* list, gsl_rng* g);

// Restricted permutations. blocks and bundles are group vectors (one label per
// unit); blocks and bundles are numbered in ascending order of label. Units
// are permuted within each block, then (balanced) bundles are permuted whole
// across the table; with bundlesWithinBlocks only the bundles are permuted,
// each among the bundles of its own block.
//
// A design can make the bundle step or the synchronized step impossible:
// bundles of unequal size (across the table: all bundles; within blocks: the
// bundles of one block), a bundle with units in two blocks, or, synchronized,
// blocks of unequal size. Tests call CheckNestedDesign once before their loop;
// it prints why the design is refused. The list routines never print: they
// return false, leaving out the bundle step (or, for unequal synchronized
// blocks, everything: the list is then the identity and nothing is drawn).
// sel (may be null) restricts blocks and bundles to the selected units; the
// reason is given in Portuguese with portuguese.
bool CheckNestedDesign(int n, bool useBlocks, const int* blocks, bool useBundles, const int* bundles,
                       bool bundlesWithinBlocks, bool synchronized, const bool* sel, bool portuguese = false);

bool RndListNestedNew(int n, bool useBlocks, const int* blocks, bool useBundles, const int* bundles,
                      bool bundlesWithinBlocks, int* list);
bool RndListNestedNew(int n, bool useBlocks, const int* blocks, bool useBundles, const int* bundles,
                      int* list);
// Groups as blocks and as bundles: units within groups, then whole groups
// when all have the same size. mode 1: within groups only; 2: whole groups
// only; 3: both.
bool RndListNestedNew(int n, const int* groups, int* list);
bool RndListNestedNew(int n, const int* groups, int mode, int* list);
// With synchronized, the permutation drawn for the first block is repeated in
// every other block (RndListSelectSynchronized).
bool RndListNestedSynchronized(int n, bool useBlocks, const int* blocks, bool useBundles,
                               const int* bundles, bool bundlesWithinBlocks, int* list,
                               bool synchronized, const int* order);
// Only the selected units take part in blocks and bundles; bundles without a
// selected unit stay where they are.
bool RndListNestedSelect(int n, bool useBlocks, const int* blocks, bool useBundles, const int* bundles,
                         bool bundlesWithinBlocks, int* list, const bool* sel);

// Copies the rows list[0..m-1] (from 1) of data into the first m rows of
// sample, columns packed from the left; sample (max(n, m) x p) is zeroed
// first. With dropEmpty 1 a column is kept only when a copied row is non-zero
// in it, and the number of kept columns is stored through kept.
void GetData(int n, int m, int p, int* kept, double** data, double** sample, const int* list,
             int dropEmpty);
// The same; columns (p entries, may be null) receives the column of data
// that each column of sample came from, so that what describes the columns
// (variable types) can follow them.
void GetData(int n, int m, int p, int* kept, double** data, double** sample, const int* list,
             int dropEmpty, int* columns);

// Enumeration of the k-subsets of n units in lexicographic order. first
// restarts it. list receives the k chosen unit numbers followed by the others
// in ascending order (flags: 1 for the chosen units, 0 for the others).
// Returns the number of subsets given so far, or 0 when there is none to give
// (k outside 0..n, or the enumeration was finished and not restarted).
int PermuteArray(int n, int k, int* list, bool first);
int PermuteArrayBinary(int n, int k, int* flags, bool first);

// Runs a parallel loop in drawn blocks (see above). draw(b, store) is called
// serially, in block order, on one thread; it fills store with whatever block
// b needs and returns its number of iterations. eval(b, i, store, thread)
// evaluates iteration i of block b on thread thread (0..omp_get_max_threads()
// - 1, for the caller's per-thread buffers). Neither may throw.
//
// The five-argument form also calls done(b, store) serially, in block order,
// once the team has evaluated block b (while it evaluates block b + 1): the
// place to add the block's results in iteration order. It hands out the
// iterations of a block in chunks of `chunk` (4 in the three-argument form;
// 1 suits iterations of much work each).
//
// The team takes the loop only when it pays on any machine: the first
// iterations run on the calling thread, and their processor time tells the
// work of the loop and of a block. A loop of little work, a block whose
// share per thread is too short to repay the team's meeting at its end
// (a meeting waits for every member, and on a busy machine for each one's
// turn on a processor), or a loop whose drawing takes longer than its
// evaluation, runs on the calling thread. A caller that knows its loop is
// worth a team (every iteration a whole analysis of milliseconds, or work
// counted beforehand) passes worthATeam: the team then takes the loop at
// once, and no iteration waits alone for the timing. Blocks of work enough
// for the team are the caller's part. Which thread evaluates an iteration
// never changes a result.
namespace drawn_blocks {
// Processor time of the calling thread, in seconds.
double ThreadSeconds();
// Whether the team (threads) should take a loop of nBlocks blocks of which
// one takes blockSeconds to evaluate and drawSeconds to draw on one thread.
bool WorthATeam(int threads, int nBlocks, double blockSeconds, double drawSeconds);
// The least processor time of a loop that the team takes, in seconds;
// returns the previous value. Tests set 0 to have the team take every loop.
double SetLeastSharedSeconds(double seconds);
}  // namespace drawn_blocks

template <class Draw, class Eval, class Done>
void RunDrawnBlocks(int nBlocks, Draw&& draw, Eval&& eval, Done&& done, int chunk, bool worthATeam = false) {
    if (nBlocks <= 0) return;
    if (chunk < 1) chunk = 1;
    // Taken before any iteration runs: an iteration may set its own thread's
    // team (to keep a library call in it on one thread).
    const int team = omp_in_parallel() ? 1 : omp_get_max_threads();
    std::vector<int> store[2];
    int count[2] = {0, 0};
    const double drawStart = drawn_blocks::ThreadSeconds();
    count[0] = draw(0, store[0]);
    // The first iterations of block 0 on this thread, until they have taken
    // some milliseconds; the clock is read after 1, 2, 4, 8... of them.
    const double evalStart = drawn_blocks::ThreadSeconds();
    int first = 0;
    bool share = team > 1 && worthATeam;
    if (team > 1 && !worthATeam) {
        constexpr double kProbeSeconds = 0.002;
        double spent = 0.0;
        for (int next = 1; first < count[0];) {
            eval(0, first, store[0], 0);
            if (++first == next || first == count[0]) {
                spent = drawn_blocks::ThreadSeconds() - evalStart;
                if (spent >= kProbeSeconds) break;
                next *= 2;
            }
        }
        const double block = first > 0 ? spent / first * count[0] : 0.0;
        share = drawn_blocks::WorthATeam(team, nBlocks, block, evalStart - drawStart);
    }
    if (!share) {
        for (int b = 0; b < nBlocks; b++) {
            if (b > 0) {
                first = 0;
                count[0] = draw(b, store[0]);
            }
            for (int i = first; i < count[0]; i++) eval(b, i, store[0], 0);
            done(b, store[0]);
        }
        return;
    }
    // An exception may not leave a parallel region: the first one is kept,
    // the remaining blocks are skipped, and it is thrown again afterwards.
    std::exception_ptr failure;
    bool failed = false;
    auto keep = [&failure, &failed]() {
#pragma omp critical(RunDrawnBlocksFailure)
        {
            if (!failure) failure = std::current_exception();
        }
#pragma omp atomic write
        failed = true;
    };
    auto hasFailed = [&failed]() {
        bool f;
#pragma omp atomic read
        f = failed;
        return f;
    };
#pragma omp parallel num_threads(team)
    {
        for (int b = 0; b < nBlocks; b++) {
            const int cur = b % 2, next = 1 - cur;
#pragma omp single nowait
            {
                // Block b - 1 is complete, and its store is not drawn into
                // again before done has read it.
                if (b > 0 && !hasFailed()) {
                    try {
                        done(b - 1, store[next]);
                    } catch (...) {
                        keep();
                    }
                }
                if (b + 1 < nBlocks && !hasFailed()) {
                    try {
                        count[next] = draw(b + 1, store[next]);
                    } catch (...) {
                        count[next] = 0;
                        keep();
                    }
                }
            }
            // Block 0's first iterations ran on the calling thread.
            const int from = b == 0 ? first : 0;
#pragma omp for schedule(dynamic, chunk)
            for (int i = from; i < count[cur]; i++) {
                if (hasFailed()) continue;
                try {
                    eval(b, i, store[cur], omp_get_thread_num());
                } catch (...) {
                    keep();
                }
            }
            // The barrier closing the loop also waits for the drawing thread.
        }
    }
    if (!failure) done(nBlocks - 1, store[(nBlocks - 1) % 2]);
    if (failure) std::rethrow_exception(failure);
}

template <class Draw, class Eval>
void RunDrawnBlocks(int nBlocks, Draw&& draw, Eval&& eval) {
    RunDrawnBlocks(nBlocks, draw, eval, [](int, std::vector<int>&) {}, 4);
}

// ===========================================================================
// Bootstrap confidence limits
// ===========================================================================
//
// A bootstrap sampler runs `iterations` resamplings and keeps, for each cell
// (a statistic of one variable at one sample size), the m smallest and the m
// largest values it saw, m = (int)(iterations x alpha x 0.5). The lower limit
// is the m-th smallest value, the upper limit the m-th largest (with m = 1,
// the extremes). The iterations are first raised until iterations x alpha is
// an even whole number, so that each tail holds exactly alpha / 2 of them.

// The largest count the raise may reach from typed iterations: the larger of
// 10 x typed and typed + 10,000, never above 2147483647.
int BootstrapIterationCap(int typed);
// typed raised one by one (in 64-bit arithmetic) while fmod(count x alpha,
// 2) > 0. Returns 0 when the cap is passed, or when typed < 1 or alpha is
// not in (0, 1]: no limit could be formed.
int BootstrapEvenIterations(int typed, double alpha);
// m for iterations already raised by BootstrapEvenIterations (at least 1).
int BootstrapTailSize(int iterations, double alpha);

// One cell's tails: low (m entries) ascending, high (m entries) descending.
// Reset fills them with DBL_MAX and -DBL_MAX. Add puts a value in where it
// belongs (binary search and shift; a value outside both tails, as nearly all
// are once they are full, costs two comparisons). The caller counts the
// values added: Limits gives MISSING for both when fewer than m were added.
void BootstrapTailsReset(int m, double* low, double* high);
void BootstrapTailsAdd(int m, double* low, double* high, double v);
void BootstrapTailsLimits(int m, const double* low, const double* high, int added, double* lower,
                          double* upper);

// Confidence limits of the mean of x (n values, MISSING ones left out) by
// bootstrap: iterations raised as above, each drawing n unit numbers from r
// (RndListBootstrap). A resample without a value takes no part. Returns 1;
// 0 with both limits MISSING when n < 1, typed < 1, alpha is not in (0, 1],
// the raise passes its cap, or fewer than m resamples had a value.
int SamplerVectorMeanFunction(int n, const double* x, int iterations, double alpha, double* lower,
                              double* upper);

// ===========================================================================
// Beals smoothing and its tests
// ===========================================================================
//
// X: n sampling units (rows) x p taxa. Values of 0 or less are absences;
// MISSING is missing. type says how co-occurrence is counted: 0 joint
// occurrences, 1 the quantity of the reference taxon where the target occurs,
// 2 products of quantities (any other type counts nothing). include: a taxon
// takes part in its own prediction. normalize: the rows of the conditional
// matrix are scaled to unit sum.

// C (p x p): C[a][b] = the sum, over the units where both values are known,
// of the type's term, as ConditionalProb counts before it divides and scales.
// On a table of 0, 1 and missing values types 0 and 1 count the same.
void CooccurrenceCounts(int n, int p, double** X, double** C, int type);
// M (p x p): M[a][b] = the sum, over the units where both values are present,
// of the type's term. Type 2: rows scaled to unit sum when normalize. Types 0
// and 1: off-diagonal entries divided by the diagonal one when it is positive,
// diagonal 1, rows scaled to unit sum when normalize.
void ConditionalProb(int n, int p, double** X, double** M, int type, bool normalize);
// normalize for type 2 only.
void ConditionalProb(int n, int p, double** X, double** M, int type);
// Type 1 without normalisation.
void ConditionalProb(int n, int p, double** X, double** M);
// M holds ConditionalProb of a table that differed from X only in column
// taxon: brings it up to date for X. Without normalisation only the row and
// column of taxon and the diagonal are recomputed; with it every row depends
// on that column, and the whole matrix is recomputed.
void ConditionalProb(int taxon, int n, int p, double** X, double** M, int type, bool normalize);
void ConditionalProb(int taxon, int n, int p, double** X, double** M, int type);

// Beals smoothing of X into out (which may be X): out = W M0, W the rows of X
// divided by their totals, M0 = ConditionalProb of Xref. Without include the
// diagonal of M0 is 0 (rows scaled again when normalize) and out[i][j] is
// divided by 1 - W[i][j] (0 where the unit holds that taxon alone; a missing
// cell is not divided). M, when given, receives M0.
// testMode (used by the tests): only column taxon of out is computed, the
// other columns keep what the caller put there, and M is neither read nor
// written; the column is the one the whole smoothing of X would give.
void BealsSmoothing(int n, int p, double** X, double** Xref, double** out, bool testMode, int taxon,
                    double** M, bool include, int type, bool normalize);
// normalize for type 2 only.
void BealsSmoothing(int n, int p, double** X, double** Xref, double** out, bool testMode, int taxon,
                    double** M, bool include, int type);
// The eleven-argument BealsSmoothing out of test mode, with Xref given by its
// counts C of this type (CooccurrenceCounts), which stay as they are: the same
// values, so that smoothings of one reference table with several sets of
// options count its co-occurrences once.
void BealsSmoothingOfCounts(int n, int p, double** X, double** C, double** out, double** M, bool include, int type,
                            bool normalize);
// Older forms without test mode. Without include, out[i][b] = the sum over
// the present taxa a of W[i][a] / (1 - W[i][b]) x m_ab (0 where W[i][b] is 1),
// m_ab = M0[a][b] with a zero diagonal, or M0[a][b] / (1 - M0[a][b]) for
// type 2 in the seven-argument form and for every type with normalize in the
// eight-argument one. M0 = ConditionalProb(n, p, Xref, M), (..., type) and
// (..., type, normalize) respectively.
void BealsSmoothing(int n, int p, double** X, double** Xref, double** out, bool include);
void BealsSmoothing(int n, int p, double** X, double** Xref, double** out, bool include, int type);
void BealsSmoothing(int n, int p, double** X, double** Xref, double** out, bool include, int type,
                    bool normalize);

// Beals test of every taxon j: does the smoothed value (without the taxon's
// own value) differ between the units where j is present and those where it
// is absent more than chance allows? statistic 1: median over present units
// minus median over absent ones; 2: the same with means. The values of j are
// permuted among the units that take part (x not missing and a non-zero
// smoothed value with include); prob[j] = (1 + the number of random
// statistics >= the observed one) / nPerm. A taxon present in every unit or in
// none gets stat -999 and prob 1. nPerm below 1 counts as 1. With a given seed
// the results do not depend on the number of threads.
void BealsTest_Partial(int n, int p, int nPerm, double** X, double* stat, double* prob, int type,
                       bool normalize, int statistic);
// Statistic 2, normalize for type 2 only.
void BealsTest_Partial(int n, int p, int nPerm, double** X, double* stat, double* prob, int type);
// The same test, each permuted table smoothed anew as a whole (slow; a
// reference for the one above).
void BealsTest(int n, int p, int nPerm, double** X, double* stat, double* prob, int type);
// Statistic: the correlation between column j of X and its smoothed column,
// over the units that take part. A taxon whose values there are all equal
// gets stat -999 and prob 1.
void BealsTestBSA(int n, int p, int nPerm, double** X, double* stat, double* prob, int type);


// ===========================================================================
// Analysis dispatchers
// ===========================================================================

// The option numbers that the menus show, the session files store and every
// driver passes on: resemblance measures 1 to 29, post-transformations 0
// (none), 1 (squared) and 2 (square root), scalar transformations 0 to 3,
// vector transformations 0 to 12, ordination types 1 (principal coordinates),
// 2 (principal components) and 3 (correspondence analysis).

// True for the measures whose larger values mean more alike: 1, 5, 6, 7, 9
// to 17, 19 and 22 (covariance, like the product moment and the
// correlation). Every other measure number, 1 to 29, is a dissimilarity.
// The one place that decides it: clustering, ordination and the tests ask here.
bool IsSimilarityMeasure(int measure);

// Results of ResemblanceLib.
constexpr int reseComputed = 1;      // rese holds the matrix
constexpr int reseRefused = 0;       // the measure's routine refused the table (for
                                     // measure 29 a singular covariance matrix; for
                                     // the qualitative measures a state code that is
                                     // not a whole number, with its message already
                                     // printed), the measure number is not 1 to 29,
                                     // or measure 5 was asked between variables or
                                     // without variable types: rese is unchanged
constexpr int reseNegativeRoot = -1;  // square root asked of a matrix with negative
                                      // entries: rese holds their signed roots
                                      // -sqrt(-x) (never NaN); a driver refuses it

// Resemblance between the n rows (direction 1) or the p columns (direction 2)
// of data (n x p, MISSING skipped as each measure says) by measure 1..29,
// into the caller's square matrix rese (n x n or p x p). varType (1 binary,
// 2 nominal, 3 quantitative, 4 ordinal) is read by measure 5 only; alpha is
// the order of the entropy of measures 7 to 9, k the parameter of measure
// 19. printTables writes the contingency tables of measures 6 to 10 to
// "Tables.txt". Post-transformation 1 squares and 2 takes the square root of
// every entry but MISSING ones (undefined turnover and nestedness values
// stay MISSING). Both triangles are filled; measure 21 does not write the
// diagonal, which keeps what the caller's matrix held. data is never changed.
int ResemblanceLib(int n, int p, double** data, double** rese, int direction, int measure,
                   int postTransf, const int* varType, double alpha, double k,
                   int countDoubleAbsence, bool printTables);
// The same without post-transformation.
int ResemblanceLib(int n, int p, double** data, double** rese, int direction, int measure,
                   const int* varType, double alpha, double k, int countDoubleAbsence,
                   bool printTables);

// Three-way resemblance among the rows (direction 1) or columns (2) of data
// into rese3 (m x m x m, m the number of compared entities). Only measure 7
// (mutual entropy of each triplet) is computed; the value of every i < j < k
// is then copied to the five other orders of the three indices. Returns 1,
// or 0 with rese3 unchanged when the measure is not 7 or the state codes are
// refused.
int ResemblanceLibTriplets(int n, int p, double** data, double*** rese3, int direction,
                           int measure, const int* varType, double alpha, bool printTables);

// Transformations of data (n units x p variables) in place, in this order:
// the scalar option (1 presence/absence, 2 square root of the absolute
// value, 3 log10(x + 1) of the positive values; MISSING stays), the column
// option (within variables) and the row option (within sampling units):
//   1 unit sum, 2 centring and division by sqrt(N-1), 3 centring,
//   4 normalisation, 5 centring and normalisation, 6 deviations from the
//   expectations of the margins (rows; columns only in the _D form), 7 range,
//   8 classes of equal width (nClassesVar or nClassesUnits classes), 9 ranks,
//   10 Hellinger, 11 Beals smoothing (rows only, not in the _D form), 12
//   deviations from the group means (columns, only with a group vector).
// Which form a caller needs: the transformation driver, and every caller
// that re-applies the current transformations of the data set to permuted
// or resampled tables, pass the group vector (the memberships of the factor
// chosen for column option 12, or null when that option is not in use)
// through the twelve-argument form. The eleven-argument form is for callers
// whose column option is never 12 (it ignores that option). The _D form
// serves the data generator and the permutation of eigenvalues.
// Every form returns 1.
int DataTransformationsLib(int n, int p, double** data, int scalarOpt, int colOpt, int rowOpt,
                           int nClassesVar, int nClassesUnits, int BealsTypeOpt,
                           bool BealsIncludeOpt, bool BealsNormalizeOpt);
int DataTransformationsLib(int n, int p, double** data, int scalarOpt, int colOpt, int rowOpt,
                           int nClassesVar, int nClassesUnits, int BealsTypeOpt,
                           bool BealsIncludeOpt, bool BealsNormalizeOpt, const int* groups);
int DataTransformationsLib_D(int n, int p, double** data, int scalarOpt, int colOpt, int rowOpt,
                             int nClassesVar, int nClassesUnits);

// Results of OrdinationLib_D.
constexpr int ordinationDone = 1;
constexpr int ordinationUndefinedValues = 0;  // rese, or the matrix made from it for the
                                              // analysis, holds MISSING or a value that is
                                              // not finite: nothing computed, no axes
constexpr int ordinationUnknownType = -1;     // type not 1 to 3: nothing computed, no axes
constexpr int ordinationFailed = -2;          // the eigen analysis failed by every route it has:
                                              // no results, no axes

// The matrix whose eigen analysis an ordination of type 1 to 3 makes from the
// resemblance matrix rese (n x n, measure number measure), both triangles,
// into W (may not be rese): for principal coordinates the squared distances
// (from a similarity s: s_ii + s_jj - 2 s_ij; a dissimilarity is squared)
// double-centred into -0.5 (d^2 - row means - column means + grand mean);
// for the other types a copy of rese.
void OrdinationMatrix(int n, double** rese, double** W, int type, int measure);
// The squared distances of principal coordinates alone, both triangles.
void SquaredDistancesPCoA(int n, double** rese, double** D, int measure);

// Eigen analysis and scores of an ordination of the n entities whose
// resemblance matrix is rese (n x n). data is the table as stored: n x p
// when direction is 1 (the entities are its rows), p x n when 2.
//   type 1, principal coordinates: scores[k] holds the n coordinates of axis
//     k, the eigenvector scaled to length sqrt(eig[k]);
//   type 2, principal components (measure 1, 17 or 22): scores[k] holds the
//     p component scores, the table (centred and normalised for 17, centred
//     and divided by sqrt(N-1) for 22, raw for 1) times unit eigenvector k;
//   type 3, correspondence analysis (rese the cross-products of the
//     deviations from expectations, data the untransformed table): evectors
//     rows become the row scores (times sqrt(grand total / row total)) and
//     scores[k] the p column scores.
// Outputs: evectors (n x n, row k < *nAxes the eigenvector of the k-th
// largest eigenvalue; the rows of the axes not kept are 0), eig (n, all), *ok the success flag of the eigen analysis (false
// when an eigenvalue is notably negative: the matrix is not Euclidean),
// *nAxes the number of eigenvalues above 1e-6 per cent of the total of the
// positive ones (0 when that total is 0), scores (at least nAxes rows).
// Returns ordinationDone, or a refusal with *nAxes 0 and *ok false.
int OrdinationLib_D(int n, int p, double** data, double** rese, double** evectors, double** scores,
                    int* nAxes, double* eig, bool* ok, int type, int measure, int direction);
// The eigen analysis alone (evectors, eig, *ok, *nAxes and the result as
// above), for loops that need no scores. With evectors null only the
// eigenvalues are computed, which costs far less than the vectors.
int OrdinationLib_Eigen(int n, double** rese, double** evectors, int* nAxes, double* eig, bool* ok, int type,
                        int measure);
// The scores alone (eigenvectors and eigenvalues made and released here);
// returns the number of axes. For the regression routines.
int OrdinationLib_Scores(int n, int p, double** data, double** rese, double** scores, int type,
                         int measure, int direction);


// ===========================================================================
// Hierarchical clustering
// ===========================================================================

// One fusion of an agglomerative clustering; the n-1 records of a run describe
// the whole dendrogram of n entities. The caller makes the records (zero-filled,
// every `members` with room for n entities; NewClusterReports does it) and owns
// them with everything they point to. Only the first nMembers entries of
// `members` are ever written or read.
struct clusterReport {
    double level;         // fusion level of the new group (depends on the method)
    double criterion;     // Ward forms: increase of the sum of squares; method 6: first eigenvalue
    int nMembers;         // entities in the new group
    int* members;         // entity numbers from 1: the first group's, then the second group's
    int node;             // n + k for the k-th fusion (entity i is node i); not written by method 6
    int lastOfFirst;      // entity number of the first group's last member
    double branchFirst;   // level minus the level of the first group's node
    double branchSecond;  // level minus the level of the second group's node
    double* weightsAxis1; // method 6: weights of the pair on the first eigenvector (2 values)
    double* scoresAxis1;  // method 6: merged profile on the first axis (p values)
    double* weightsAxis2; // method 6: weights of the pair on the second eigenvector (2 values)
    double* scoresAxis2;  // method 6: merged profile on the second axis (p values)
};

// n-1 zero-filled records for n entities, each with room for n members (in
// one block); with `factorial` also the four arrays of method 6 (p values
// per profile).
clusterReport* NewClusterReports(int n, int p, bool factorial);
void FreeClusterReports(clusterReport* records, int n);

// Single (1), complete (2), average (4, UPGMA) and weighted average (5, WPGMA)
// linkage on the upper triangle of `matrix`. Similarities fuse the largest
// values first. Without `workOnCopy` the caller's upper triangle is used as
// the working matrix (its values are rewritten).
void LinkageCluster(int n, double** matrix, clusterReport* records, bool isDissimilarity,
                    bool isSquared, int method, bool workOnCopy);
// Incremental sum of squares (Ward) on dissimilarities, plain or squared.
void SumSqCluster(int n, double** dissimilarities, clusterReport* records, bool isSquared);
// Ward restricted to pairs marked adjacent in the upper triangle of
// `adjacency`; a fused group is adjacent to every neighbour of either part.
// When no adjacent pair remains, the best pair of all competes.
void SumSqClusterRestrained(int n, double** dissimilarities, int** adjacency,
                            clusterReport* records, bool isSquared);
// Hierarchical factorial clustering of the n rows of `data` (n x p).
void HierFactorialClustering(int n, int p, double** data, clusterReport* records);

// Fusion of positions a < b of a compacted working matrix of m groups (upper
// triangle): the new group's values go to position a and position b is
// removed (its row moves to the end, later rows and columns move down one).
// The first two also add the sizes and close the gap in `sizes`.
void LinkageFusion(int m, int* sizes, int a, int b, double** matrix, bool isDissimilarity,
                   int method);
void FusionMatrix(int m, int* sizes, int a, int b, double** matrix);
void TopologyFusion(int m, int* sizes, int a, int b, int** adjacency);

// ===========================================================================
// Partitions and Newick text
// ===========================================================================

#include <functional>
#include <string>

// Partition of the n entities into k groups (2 <= k <= n), numbered 1 to k in
// the order of their first members. For method 3 the cut applies the fusions
// of lowest level; for the other methods the first n-k fusions.
void GetClusterPartitionNew(int n, int k, int* partition, clusterReport* records, int method);
// The same, with the level of the cut (0 when k = n).
void GetClusterPartitionLevel(int n, int k, int* partition, double* levelOut,
                              clusterReport* records, int method);
// Every partition of a dendrogram, k = 2, 3, ..., n, in one pass: visit(k,
// partition, level) is called once per k in that order.
void ForEachClusterPartition(int n, clusterReport* records, int method,
                             const std::function<void(int, const int*, double)>& visit);
// The partition into k groups by the first n-k fusions.
int GetClusterPartition(int n, int k, int* partition, clusterReport* records);
// As GetClusterPartition; pair receives the numbers of the two groups of the
// partition into k that the next fusion joins.
void GetClusterPartitionWhich(int n, int k, int* partition, int* pair, clusterReport* records);

// Node of a tree: its number and three empty links. Release with free1D.
struct treeNode {
    int number;
    treeNode* left;
    treeNode* right;
    treeNode* parent;
};
treeNode* NewNode(int number);

// For each group 1 to k, its first entity; `out` (k x k) receives the upper
// triangle, diagonal included, of `matrix` among these representatives.
void TrimRese(int n, int k, const int* partition, double** matrix, double** out);

// Appends the Newick text of the tree (without the closing ";") to `text`.
// Labels (null: entity numbers) that hold Newick punctuation, a quote or a
// blank are quoted. The records must carry node numbers and branch lengths.
void NewickFormat(int n, const clusterReport* records, char** labels, bool withLengths,
                  std::string& text);

// ===========================================================================
// Simulated tables with given correlations or eigenvalues
// ===========================================================================
//
// Tables have the units in rows (n x p); the caller allocates every argument.
// Deviates come from r, one unit after another and, within a unit, one
// variable after another. Deviate codes: 1 u - 0.5 (u uniform on [0, 1)),
// 2 standard normal, 5 lognormal (0, 1), 7 exponential of mean 1, 8 the cube
// of an exponential of mean 1. What an unknown code gives is said with each
// routine. Every routine returns 1. A target correlation matrix that is not
// positive definite ends the program with status 1 after "\ncholdc failed"
// on the standard output.

// X: a sample of n units from a population whose correlation matrix is R
// (p x p, read only). Unknown codes draw normal deviates.
int CorrToData_New(int n, int p, double** R, double** X, int code);
// X: n units whose correlation matrix is exactly R (n > p needed). Only two
// kinds of deviates: code 2 normal, every other code u - 0.5.
int CorrToData(int n, int p, double** R, double** X, int code);
// A population of N units (pop, N x p, may be null) whose correlation matrix
// has the eigenvalues eig (p values, largest first, summing to p), made by
// rotating and rescaling N drawn units until the eigenvalues are met; X gets
// its first n units, corr (p x p) its correlation matrix (diagonal exactly
// 1) and eigOut the eigenvalues of corr. The rank is not used. Unknown codes
// draw u - 0.5. When the eigenvalues are not met within 93 passes, the table
// of the last pass is returned after a message.
int EigenToData_D(int N, int n, int p, int rank, double* eig, double** X, double* eigOut, int code,
                  double** pop, double** corr);
// As EigenToData_D, with the eigenvectors of corr in the rows of evecOut and,
// when noise > 0, a normal deviate of variance noise added to every value of X
// (drawn after the population, unit by unit).
int EigenToData_D_Noise(int N, int n, int p, int rank, double* eig, double** X, double* eigOut,
                        double** evecOut, int code, double** pop, double** corr, double noise);
// X (n x p): a p x n table whose columns have the correlation matrix Runits
// (n x n; CorrToData_New's deviates), transposed and given the correlations
// Rvar (p x p) between its columns.
int CorrToData_BothRowsColumns(int n, int p, double** Rvar, double** Runits, double** X, int code);

// ===========================================================================
// Group sums of squares and group statistics
// ===========================================================================
//
// D is an n x n dissimilarity matrix of which the entries above the diagonal
// are read (row < column). squared: the entries are squared dissimilarities
// already and are summed as they stand; otherwise each is squared first.
// Q(set) = the sum of d^2 over the pairs of members / the number of members
// (0 for an empty set or a set of one). Group vectors hold any int labels:
// groups are told apart by GroupPositions, so 0, 10 and 20 give the results
// of 1, 2 and 3. The permutation MANOVA engine has its own kernel over a
// permuted unit list (rhlibClasses); these read the matrix directly.

// Sum of d^2 over all pairs / n (0 for n < 1).
double SumSqDissim(int n, double** D, bool squared);
// Q of the units whose mask entry is 1 (true).
double WithinGrSqDissim(int n, double** D, const int* mask, bool squared);
double WithinGrSqDissim(int n, double** D, const bool* mask, bool squared);
// Over the units with included[i] = 1 (null: every unit): Qt = Q(included),
// Qb = Qt - the sum of Q(g) over the groups, taken in the order of their
// first included member.
void BetweenGrSqDissim(int n, double** D, const int* groups, double& Qb, double& Qt,
                       const int* included, bool squared);
// Contrast of groups: coef[c] is the coefficient of the c-th group in
// ascending order of label; only its sign counts. Q(units of the groups with
// a non-zero coefficient) - Q(positive side) - Q(negative side).
double GrContrastSqDissim(int n, double** D, const int* groups, const int* coef, bool squared);
// M (g x g, upper triangle): M[a][a] = Q(a), M[a][b] = Q(a and b pooled) -
// Q(a) - Q(b) for a < b, groups a, b in ascending order of label; one pass
// over the pairs. Groups beyond the g-th are left out.
void BetweenGrSSPairwise(int n, double** D, double** M, const int* groups, int g, bool squared);
// The same matrix from the group-pair sums already formed: S (g x g, row
// after row) holds at [a][b], a <= b, the sum of d^2 over the pairs of a
// member of a and a member of b (a == b: the pairs within a), size[a] the
// members of a.
void BetweenGrSSFromSums(int g, const double* S, const int* size, double** M);

// Residuals R (n x p; may be X) of X after removing factor means, k factors
// with memberships[f][i] the group code of unit i, nGroups[f] codes in
// groupCodes[f]. mode 1: x - mean of the unit's group in factor a; mode 2:
// x - mean in a - mean in b + grand mean; mode 3: x - the three factor means
// + twice the grand mean, so that in a balanced design the residuals of
// every mode have mean 0. removed[0..mode-1] are the factor numbers a, b, c
// from 1. Means skip MISSING; a MISSING cell stays MISSING, and so does the
// cell of a unit whose code is not among its factor's codes. Returns false,
// R untouched, for a mode outside 1..3 or a factor number outside 1..k.
bool Residuals(int n, int p, int k, int** memberships, const int* nGroups, int** groupCodes,
               double** X, double** R, int mode, const int* removed);

// One-way ANOVA statistics of the n rows of X (n x p) in groups, variable by
// variable over its values that are not MISSING. A variable whose within
// sum of squares is 0 (within the rounding of its group means) adds
// nothing, so that a variable constant within groups never gives an F of
// 1e30 out of rounding noise; a variable nearly constant within groups,
// however strongly its groups differ, adds its F.
// SUM-F: the sum of the F-ratios (B / (g - 1)) / (W / (n - g)); 0 with one group.
double F_SUM(int n, int p, const int* groups, double** X);
// LR-IND: the sum of n ln(T / W).
double LR_IND(int n, int p, const int* groups, double** X);
// MRPP delta: the sum over groups c of C_c times the average over the pairs
// of c of d (squared false, useSquares false), d^2 (false, true), sqrt(d)
// (true, false) or d (true, true); C_c = n_c / n, or (n_c - 1) / (n - g)
// with useSquares. A group of fewer than 2 units adds 0. Small values are
// extreme. g is counted from the labels.
double MRPP(int n, int g, const int* groups, double** D, bool squared, bool useSquares);
// ANOSIM R = (r_B - r_W) / (n (n - 1) / 4), the mean ranks of the
// dissimilarities between and within groups (ties share their mean rank; a
// mean over no pairs is 0). ranked: D holds ranks already. NaN for n < 2
// and when a dissimilarity is NaN.
double ANOSIM(int n, int g, const int* groups, double** D, bool ranked);

// Greedy matching of two sets of n units, D (2n x 2n): d(i, j) = D[i][n + j]
// for unit i of the first set and unit j of the second. Random orders of the
// first set (RndList) are tried; in each, every unit takes the nearest
// second-set unit not yet taken (the first such on a tie). The best
// assignment goes to which (0-based second-set units) and its cost, the sum
// of the taken dissimilarities, is returned. The search stops after
// (int)(100 log10 n!) orders in a row without improvement.
double NearNeigSSqWhich(int n, double** D, int* which);
// The same with the orders drawn from g (RndList(n, order, g)); null g: r.
double NearNeigSSqWhich(int n, double** D, int* which, gsl_rng* g);

// Forms without a caller in the interactive program.
// count += 1 when a >= b.
void CompareLambda(double a, double b, double& count);
// Contrast from the two sides' masks: Q(positive and negative units) -
// Q(positive) - Q(negative).
double GrContrastSS(int n, double** D, const int* positive, const int* negative, bool squared);
double GrContrastSS(int n, double** D, const bool* positive, const bool* negative, bool squared);
// Mean of the entries above the diagonal (0 for n < 2).
double AverageResemblance(int n, double** D);
// Mean dissimilarity over the pairs of included units (null: all) of
// different groups; 0 when there is none.
double AverageDissim(int n, double** D, const int* groups, const int* included);
// The cost of NearNeigSSqWhich without the assignment.
double NearNeigSSq(int n, double** D);
// Separation of the first g groups (in ascending order of label; the units
// of later groups take no part), each pair of groups a, b weighing the same
// whatever its sizes: the unweighted mean, over the pairs of groups, of
// CentroidDist: the mean dissimilarity between a unit of a and a unit of b;
// NearNeighDist: the mean, over the units of a and of b, of the distance
// from the unit to the nearest unit of the other group.
// 0 with fewer than two groups; NaN when a dissimilarity read is not a number.
double CentroidDist(int n, int g, const int* groups, double** D);
double NearNeighDist(int n, int g, const int* groups, double** D);
// The centre of a logistic curve drawn uniformly between lo and hi:
// lo + (hi - lo) u with one draw u = gsl_rng_uniform(r) in [0, 1).
double RndLogisticCentre(double lo, double hi);

// ===========================================================================
// Partial correlations, communality and binarisation
// ===========================================================================

// Partial correlation of variables i and j given the k covariables listed
// (0-based), read from the correlation matrix R (p is its order and is not
// otherwise used). Only entries between two different variables are read:
// wherever the formula names a variable with itself (the diagonal, or a
// covariable listed twice) the value is 1. k = 0 gives R[i][j]. Positive
// infinity when the correlations among the covariables do not invert
// (MatrixInverse's tolerance; a covariable listed twice, or collinear ones)
// or when a variance of i or j given the covariables is not positive.
// Nothing is allocated up to 16 covariables (permutation loops call it per
// claim and permutation).
double PartialCorrelation_GeneralProc(int p, double** R, int i, int j, int k, int* covariables);

// The communality of each variable, 1 - 1/(S_vv (S^-1)_vv): the share of its
// variance explained by the others, S the covariances over the units where
// both variables are present. X has one row per variable (nUnits values,
// MISSING allowed). The variables are ranked by their number of entries
// above 0, most first (ties as IndexVector leaves them, read backwards); the
// last of that ranking are left out one at a time until the covariances of
// the rest invert. communality[v] is MISSING for a variable left out;
// *kept receives the number kept (0, and every value MISSING, when not even
// one variable's variance inverts). Returns true.
bool Communality(int nVariables, int nUnits, double** X, double* communality, int* kept);

// The number of columns Binarize makes from X (n x p): one per distinct code
// (ListStates) of each variable with expand[j] set, one per other variable.
// For sizing Y before the call.
long long BinarizedColumns(int n, int p, const bool* expand, double** X);
// Nominal variables expanded into binary ones. Y (n x BinarizedColumns) is
// filled left to right: a variable with expand[j] set gives one column per
// state, its codes ascending (ListStates: 0 and negative codes too), 1 where
// the value truncated toward zero is that code and 0 elsewhere (a MISSING
// value is 0 in every column of its variable); any other variable is copied
// into one column. states[j] (room for n codes) receives the codes of an
// expanded variable, nStates[j] their number (0 for a variable without a
// value; 1 for a variable not expanded), *newCols the number of columns.
// Returns false, writing nothing, when an expanded variable holds a code
// outside the int range.
bool Binarize(int n, int p, const bool* expand, double** X, double** Y, int* newCols, int** states,
              int* nStates);

// ===========================================================================
// Permutation tests of ordination axes
// ===========================================================================
//
// How many axes of an ordination stand above chance. Both tests count the
// observed data as permutation 1 (counts start at 1.0), draw every list
// with RndList in one serial loop (so a seed gives the same P on any number
// of threads), compare signed statistics with the tie rule of
// CountsTowardP(random, observed, TieRule::Larger), and give a P of NaN
// ("not testable") to an observed statistic that is not finite. X is n
// sampling units x p variables; dir 2 compares variables (a p x p
// resemblance matrix), any other dir sampling units (n x n). With save 'y'
// each permutation is appended to "Vidive.txt" (at digits significant
// digits), followed by a block of final results; a report that cannot be
// opened is left out after fopenck's message and the test runs.

// The ordinations of a loop of random tables, on work arrays made once for
// m ordinated entities of `other` values each and ordination type `type`.
// Run computes the resemblance of `transformed` (n x p; measure, dir,
// post-transformation) and ordinates it (OrdinationLib_D with ordMeasure;
// `stored` is the table the ordination reads, the untransformed one for
// correspondence analysis) into R, evectors, eig and, withScores, scores;
// it returns the number of axes: 0, with every eigenvalue 0, when the
// resemblance is refused or undefined. Without scores no eigenvectors are
// computed either: evectors is then left as it was.
struct OrdinationWork {
    int m, other, type;
    double** R;
    double** evectors;
    double** scores;
    double* eig;
    int axes = 0;
    OrdinationWork(int m, int other, int type);
    ~OrdinationWork();
    OrdinationWork(const OrdinationWork&) = delete;
    OrdinationWork& operator=(const OrdinationWork&) = delete;
    int Run(int n, int p, double** transformed, double** stored, int dir, int measure, int postTransf,
            int ordMeasure, const int* varType, double alpha, double k, bool countDoubleAbsence, bool withScores);
    // Values in a score row: m for principal coordinates, `other` otherwise.
    int Width() const { return type == 1 ? m : other; }
};

// The RVDIM test: for each axis d < K, the observed RVDIM(K, d + 1, eig)
// against the RVDIM of the first axis of the residual table d (the sum of
// the layers d to K - 1, layer d the outer product of the n unit scores
// scores[d] and the p variable weights weights[d]) with each column
// permuted apart, ordinated again (the cross-products of the permuted table,
// measure 1, in direction dir, ordination type ordType). A permutation
// counts for axis d when that ordination has at least one axis; P[d] =
// count / (counted permutations + 1). The transformation codes and measure
// are not used: the residuals already are the table the ordination saw.
// Progress: "Permutation RVDIM: %d %d" (N, i).
void RVDIMPermutation_D(int n, int p, int K, int N, double** X, double** weights, double** scores,
                        const double* eig, int ordType, int trEs, int trVeVar, int trVeUnits, int dir,
                        int measure, const int* varType, double alpha, double k,
                        bool countDoubleAbsence, double* rvdimObs, double* P, char save, int digits);

// The eigenvalue test: each variable of X (the untransformed table) permuted
// apart, transformed (DataTransformationsLib_D with the codes and class
// counts given), compared (ResemblanceLib, measure, dir) and ordinated
// (OrdinationLib_D over m x m2, m the size of the resemblance matrix;
// correspondence analysis, type 3, reads the untransformed permuted table).
// For each axis k < K, Peig[k] is the P of eigObs[k] and PpseudoF[k] that of
// the pseudo-F ratio PseudoF_eig(K, k + 1, eigObs) (0 for the last two
// axes, where it is not defined: their P is 1 whenever the random ratio is
// 0 too), both counted over the axes the random ordination has, and divided
// by N. belowAverage[k] is 0 when eigObs[k] exceeds the average random
// eigenvalue (the sum over the N - 1 permutations divided by N), else 1. A
// random table whose resemblance is refused or undefined gives no axes. R
// is not used.
void EigenPermutation_D(int n, int p, int m, int m2, int K, int N, double** X, double** R,
                        const double* eigObs, int ordType, int trEs, int trVeVar, int trVeUnits,
                        int nClassesVar, int nClassesUnits, int dir, int measure, const int* varType,
                        double alpha, double k, bool countDoubleAbsence, double* Peig,
                        double* PpseudoF, double* belowAverage, char save, int digits);

#endif
