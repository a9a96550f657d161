#include "rhlib_M.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"

// ===========================================================================
// Matrix operations, eigen analysis and SVD
// ===========================================================================

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_errno.h>
#include <omp.h>

#include "nrutilRH.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"

// Symmetric eigen analysis and SVD run in LAPACK (OpenBLAS, OpenMP build),
// called through its Fortran interface: every argument by address, the
// lengths of the character arguments appended.
extern "C" {
void dsyevr_(const char* jobz, const char* range, const char* uplo, const int* n, double* a, const int* lda,
             const double* vl, const double* vu, const int* il, const int* iu, const double* abstol, int* m,
             double* w, double* z, const int* ldz, int* isuppz, double* work, const int* lwork, int* iwork,
             const int* liwork, int* info, size_t, size_t, size_t);
void dsytrd_(const char* uplo, const int* n, double* a, const int* lda, double* d, double* e, double* tau,
             double* work, const int* lwork, int* info, size_t);
void dsterf_(const int* n, double* d, double* e, int* info);
void dstemr_(const char* jobz, const char* range, const int* n, double* d, double* e, const double* vl,
             const double* vu, const int* il, const int* iu, int* m, double* w, double* z, const int* ldz,
             const int* nzc, int* isuppz, int* tryrac, double* work, const int* lwork, int* iwork,
             const int* liwork, int* info, size_t, size_t);
void dormtr_(const char* side, const char* uplo, const char* trans, const int* m, const int* n, double* a,
             const int* lda, const double* tau, double* c, const int* ldc, double* work, const int* lwork,
             int* info, size_t, size_t, size_t);
void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w, double* work,
            const int* lwork, int* info, size_t, size_t);
void dgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, double* a, const int* lda, double* s,
             double* u, const int* ldu, double* vt, const int* ldvt, double* work, const int* lwork, int* info,
             size_t, size_t);
void dgesdd_(const char* jobz, const int* m, const int* n, double* a, const int* lda, double* s, double* u,
             const int* ldu, double* vt, const int* ldvt, double* work, const int* lwork, int* iwork, int* info,
             size_t);
void dgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k, const double* alpha,
            const double* a, const int* lda, const double* b, const int* ldb, const double* beta, double* c,
            const int* ldc, size_t, size_t);
}

namespace matrixdetail {

inline bool Missing(double x) { return x == MISSING; }

bool HasMissing(int n, int m, double** X) {
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++)
            if (Missing(X[i][j])) return true;
    return false;
}

// B (m x n) = A' (A n x m), in tiles so that both sides stay in cache.
template <class Get, class Put>
void TransposeTiles(int n, int m, Get get, Put put) {
    constexpr int kTile = 64;
    for (int i0 = 0; i0 < n; i0 += kTile)
        for (int j0 = 0; j0 < m; j0 += kTile) {
            const int i1 = std::min(n, i0 + kTile), j1 = std::min(m, j0 + kTile);
            for (int i = i0; i < i1; i++)
                for (int j = j0; j < j1; j++) put(j, i, get(i, j));
        }
}

// Products of fewer terms (n m p) are summed by the loops below: they are
// called in loops of their own, where the copies BLAS needs cost more than
// the terms.
constexpr double kBlasTerms = 3e4;
// BLAS takes the rows of A this many at a time, and the team shares such
// blocks when the product has at least kTeamTerms terms. OpenBLAS sums a
// cell in an order that depends on the shape it is given and on the number
// of its threads: called on one thread, block by block of a size fixed by
// the product's shape, every cell comes out the same on any team, inside a
// permutation loop's iteration or outside.
constexpr int kBlockRows = 64;
constexpr double kTeamTerms = 4e6;

// Y (n x p) = A (n x m) times b, an m x p block held row after row (ldb =
// p). aRow(i, row) writes the m values of row i of A that enter the product;
// store(i, y) takes the p values of row i of Y.
template <class ARow, class Store>
void BlasProduct(int n, int m, int p, const double* b, ARow aRow, Store store) {
    const int blocks = (n + kBlockRows - 1) / kBlockRows;
    const size_t width = static_cast<size_t>(kBlockRows) * (static_cast<size_t>(m) + p);
    // Every thread's block buffers exist before the region, so nothing in it throws.
    const int maxThreads = std::max(1, omp_get_max_threads());
    std::vector<double> buffers(width * maxThreads);
    const double terms = static_cast<double>(n) * m * p;
#pragma omp parallel if (blocks > 1 && terms >= kTeamTerms)
    {
        double* a = buffers.data() + width * static_cast<size_t>(omp_get_thread_num());
        double* y = a + static_cast<size_t>(kBlockRows) * m;
        // OpenBLAS takes its own thread count from the calling thread's.
        omp_set_num_threads(1);
#pragma omp for schedule(dynamic, 1)
        for (int block = 0; block < blocks; block++) {
            const int first = block * kBlockRows, rows = std::min(kBlockRows, n - first);
            for (int r = 0; r < rows; r++) aRow(first + r, a + static_cast<size_t>(r) * m);
            // Row-major Y = A b is column-major Y' = b' A'.
            const double one = 1.0, zero = 0.0;
            const int lda = std::max(1, m), ldb = std::max(1, p);
            dgemm_("N", "N", &p, &rows, &m, &one, b, &ldb, a, &lda, &zero, y, &ldb, 1, 1);
            for (int r = 0; r < rows; r++) store(first + r, y + static_cast<size_t>(r) * p);
        }
    }
}

// The product of A and B without missing values through BLAS: the columns
// with select[j] = 1 (all without select), B's row k times weights[k] when
// given; the other columns 0.
void BlasProductSelected(int n, int m, int p, double** A, double** B, double** Y, const int* select,
                         const int* weights) {
    std::vector<int> columns;
    for (int j = 0; j < p; j++)
        if (select == nullptr || select[j] == 1) columns.push_back(j);
    const int q = static_cast<int>(columns.size());
    std::vector<double> b(static_cast<size_t>(m) * q);
    for (int k = 0; k < m; k++) {
        double* row = b.data() + static_cast<size_t>(k) * q;
        for (int c = 0; c < q; c++) row[c] = weights ? B[k][columns[c]] * weights[k] : B[k][columns[c]];
    }
    BlasProduct(
        n, m, q, b.data(), [&](int i, double* row) { std::memcpy(row, A[i], sizeof(double) * m); },
        [&](int i, const double* y) {
            double* out = Y[i];
            if (q == p) {
                std::memcpy(out, y, sizeof(double) * p);
                return;
            }
            std::fill(out, out + p, 0.0);
            for (int c = 0; c < q; c++) out[columns[c]] = y[c];
        });
}

// The product behind MatrixProd, MatrixProdMV and the selected and weighted
// forms. Without missing values a product of kBlasTerms terms or more goes
// through BLAS; otherwise rows of Y are accumulated along rows of B
// (contiguous), each cell summing its terms in ascending k as a
// cell-by-cell loop would.
int Product(int n, int m, int m2, int p, double** A, double** B, double** Y, const int* select,
            const int* weights, bool markEmpty) {
    if (m != m2) return 1;
    const bool missing = HasMissing(n, m, A) || HasMissing(m, p, B);
    if (!missing && n > 0 && p > 0 && static_cast<double>(n) * m * p >= kBlasTerms) {
        BlasProductSelected(n, m, p, A, B, Y, select, weights);
        return 0;
    }
    std::vector<double> acc(p > 0 ? p : 0);
    std::vector<int> terms(markEmpty ? acc.size() : 0);
    for (int i = 0; i < n; i++) {
        std::fill(acc.begin(), acc.end(), 0.0);
        std::fill(terms.begin(), terms.end(), 0);
        const double* a = A[i];
        for (int k = 0; k < m; k++) {
            const double aik = a[k];
            if (missing && Missing(aik)) continue;
            const double* b = B[k];
            if (!missing && select == nullptr && weights == nullptr) {
                for (int j = 0; j < p; j++) acc[j] += aik * b[j];
                continue;
            }
            for (int j = 0; j < p; j++) {
                if (select != nullptr && select[j] != 1) continue;
                if (missing && Missing(b[j])) continue;
                acc[j] += weights != nullptr ? aik * b[j] * weights[k] : aik * b[j];
                if (markEmpty) terms[j]++;
            }
        }
        double* y = Y[i];
        for (int j = 0; j < p; j++) {
            if (select != nullptr && select[j] != 1)
                y[j] = 0.0;
            else if (markEmpty && missing && terms[j] == 0)
                y[j] = MISSING;
            else
                y[j] = acc[j];
        }
    }
    return 0;
}

// 0 when an eigenvalue is notably negative, else 1. A zero total (identical
// units) gives no proportions: only a negative eigenvalue beyond rounding of
// the others' size then counts.
int EigenCheck(int n, const double* eig) {
    double sum = 0.0, magnitude = 0.0;
    for (int k = 0; k < n; k++) {
        sum += eig[k];
        magnitude += std::fabs(eig[k]);
    }
    for (int k = 0; k < n; k++) {
        if (sum != 0.0) {
            if (eig[k] / sum < -0.001) return 0;
        } else if (eig[k] < -0.001 * magnitude) {
            return 0;
        }
    }
    return 1;
}

// OpenBLAS's OpenMP build takes its thread count from the calling thread's
// team size at every call, and runs on the calling thread inside an active
// parallel region (a bootstrap or permutation iteration). Threads change the
// order of its sums, so a threaded result differs from the one-thread result
// in the last bits. Below this much work (an eigen analysis of about 1,150
// units, a tenth of a second on one core) the team gains nothing (1,000
// units: 75 ms on one thread, 70-80 ms on eight on a quiet machine): such
// calls run on the calling thread, so that they give the same bits on any
// number of threads.
constexpr double kThreadedWork = 1.5e9;

// The processors that other programs leave free now: the machine's
// processors less the threads running beside the calling one, at most the
// processors this program may run on. The least of a few looks a fraction
// of a millisecond apart, as the team's idle threads may still be spinning
// after the last parallel loop. Every processor when the count cannot be
// read.
int FreeProcessors() {
    const int procs = std::max(1, omp_get_num_procs());
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    int least = INT_MAX;
    for (int look = 0; look < 4; look++) {
        if (look > 0) {
            const timespec pause{0, 250000};
            nanosleep(&pause, nullptr);
        }
        // The fourth field of /proc/loadavg: runnable threads / all threads.
        FILE* f = std::fopen("/proc/loadavg", "r");
        if (!f) break;
        double avg[3];
        int running = 0;
        const bool read = std::fscanf(f, "%lf %lf %lf %d/", &avg[0], &avg[1], &avg[2], &running) == 4;
        std::fclose(f);
        if (read && running >= 1) least = std::min(least, running);
    }
    if (least == INT_MAX) return procs;
    return FreeProcessorsOf(procs, online > 0 && online < INT_MAX ? static_cast<int>(online) : procs, least);
}

int ThreadsForLapack(double work) {
    if (omp_in_parallel()) return 1;
    const int team = omp_get_max_threads();
    if (team <= 1 || work < kThreadedWork) return 1;
    return std::min(team, FreeProcessors());
}

// For the lifetime of a LAPACK call: ThreadsForLapack(work) threads. A
// dynamic team (OMP_DYNAMIC) is sized by the load average and may be smaller
// than the one OpenBLAS divides its work among; its threads, which wait for
// one another, then never finish.
class LapackTeam {
public:
    explicit LapackTeam(double work) : saved_(omp_get_max_threads()) {
        if (omp_in_parallel()) return;
        dynamic_ = omp_get_dynamic() != 0;
        if (dynamic_) omp_set_dynamic(0);
        const int threads = ThreadsForLapack(work);
        if (threads == saved_) return;
        omp_set_num_threads(threads);
        changed_ = true;
    }
    ~LapackTeam() {
        if (changed_) omp_set_num_threads(saved_);
        if (dynamic_) omp_set_dynamic(1);
    }
    LapackTeam(const LapackTeam&) = delete;
    LapackTeam& operator=(const LapackTeam&) = delete;

private:
    int saved_;
    bool changed_ = false, dynamic_ = false;
};

// A LAPACK routine's report. A failure is not reported here: the caller
// takes another route, and says so only when every route failed.
bool LapackSucceeded(int info) { return info == 0; }

// The workspace size a LAPACK query returned, or -1 when it does not fit
// LAPACK's integers.
int WorkspaceSize(double query) {
    if (query <= static_cast<double>(INT_MAX)) return std::max(1, static_cast<int>(query));
    return -1;
}

// LAPACK does not return on some matrices holding a NaN, and turns an
// infinity into NaN results without a word: neither is given to it.
bool AllFiniteValues(size_t count, const double* a) {
    for (size_t k = 0; k < count; k++)
        if (!std::isfinite(a[k])) return false;
    return true;
}
bool LowerTriangleFinite(int n, const double* a) {
    for (int i = 0; i < n; i++)
        if (!AllFiniteValues(static_cast<size_t>(i) + 1, a + static_cast<size_t>(i) * n)) return false;
    return true;
}

// The sign rule of eigenvectors and singular-vector pairs, so that reports
// do not depend on the solver, the thread count or the machine: the
// component of largest magnitude is positive. Components within a relative
// 1e-9 of the largest count as ties (rounding alone can reorder them, as in
// (1, -1) / sqrt 2), and the first of the tied components decides. True when
// the vector (n components, stride apart) has to be negated.
bool NegativeLead(int n, const double* v, size_t stride) {
    double largest = 0.0;
    for (int i = 0; i < n; i++) largest = std::max(largest, std::fabs(v[i * stride]));
    if (!(largest > 0.0)) return false;
    const double tied = largest * (1.0 - 1e-9);
    for (int i = 0; i < n; i++)
        if (std::fabs(v[i * stride]) >= tied) return v[i * stride] < 0.0;
    return false;
}

// An eigenvector (n contiguous components) into row, under the sign rule.
void StoreSigned(int n, const double* v, double* row) {
    if (NegativeLead(n, v, 1))
        for (int i = 0; i < n; i++) row[i] = -v[i];
    else
        std::memcpy(row, v, sizeof(double) * n);
}

void FillNaN(size_t count, double* x) { std::fill(x, x + count, std::numeric_limits<double>::quiet_NaN()); }

// Eigen analysis of the finite symmetric n x n matrix held row by row in a,
// which it destroys. Read as LAPACK's column-major upper triangle, that is
// the lower triangle and the diagonal of the rows. Eigenvalues in descending
// order in eig and, with evec, eigenvector k in row k of evec (sign rule
// above); without evec only the values are computed. Beside a, one n x n
// matrix (LAPACK's eigenvectors) is allocated. False on a reported LAPACK
// failure, the outputs then undefined, or on eigenvalues beyond the largest
// double, evec then unwritten.
bool SymmetricEigen(int n, double* a, double** evec, double* eig) {
    const size_t nn = static_cast<size_t>(n) * n;
    const char jobz = evec ? 'V' : 'N';
    const int ldz = evec ? n : 1;
    std::vector<double> w(n), z(evec ? nn : 1);
    std::vector<int> isuppz(2 * static_cast<size_t>(n));
    const double vl = 0.0, vu = 0.0, abstol = 0.0;
    const int il = 1, iu = n;
    int found = 0, info = 0, lwork = -1, liwork = -1, iquery = 0;
    double query = 0.0;
    LapackTeam team(static_cast<double>(nn) * n);
    dsyevr_(&jobz, "A", "U", &n, a, &n, &vl, &vu, &il, &iu, &abstol, &found, w.data(), z.data(), &ldz,
            isuppz.data(), &query, &lwork, &iquery, &liwork, &info, 1, 1, 1);
    if (!LapackSucceeded(info)) return false;
    lwork = WorkspaceSize(query);
    liwork = std::max(1, iquery);
    if (lwork < 0) return false;
    std::vector<double> work(lwork);
    std::vector<int> iwork(liwork);
    dsyevr_(&jobz, "A", "U", &n, a, &n, &vl, &vu, &il, &iu, &abstol, &found, w.data(), z.data(), &ldz,
            isuppz.data(), work.data(), &lwork, iwork.data(), &liwork, &info, 1, 1, 1);
    // Values beyond the largest double: a failure, found before evec (which
    // may be the caller's matrix, to be read again) is written.
    if (!LapackSucceeded(info) || !AllFiniteValues(n, w.data())) return false;
    // LAPACK's order is ascending; eigenvector k is its column k, contiguous.
    for (int k = 0; k < n; k++) {
        eig[k] = w[n - 1 - k];
        if (!evec) continue;
        StoreSigned(n, z.data() + static_cast<size_t>(n - 1 - k) * n, evec[k]);
    }
    return true;
}

// Eigenvalues of the symmetric matrix in a (held as SymmetricEigen holds it,
// destroyed), all of them, in descending order in eig; eigenvectors only for
// the leading wanted(n, eig) values, in rows 0.. of evec (sign rule above),
// the later rows 0. An ordination reads the axes of the positive eigenvalues
// alone, often a fraction of n: the back-transformation of the others was
// most of the time of a full analysis. The steps are those of the full
// analysis without vectors (scaling, reduction to a tridiagonal matrix, its
// eigenvalues), so the values are to the bit those of SymmetricEigen without
// evec; the vectors of the tridiagonal matrix come from the same MRRR method
// the full analysis uses. Beside a, one n x wanted matrix is allocated.
// The matrix must be finite; false on a reported LAPACK failure (MRRR fails
// on some matrices whose entries span a very wide range), the outputs then
// undefined, or on eigenvalues beyond the largest double, evec then
// unwritten.
bool SymmetricEigenLeading(int n, double* a, double** evec, double* eig, int (*wanted)(int, const double*)) {
    // Scaled as LAPACK's drivers scale, so that a matrix of very large or very
    // small entries neither overflows nor loses its values to underflow.
    const double safmin = std::numeric_limits<double>::min();
    const double eps = std::numeric_limits<double>::epsilon();
    const double smlnum = safmin / eps, bignum = 1.0 / smlnum;
    const double rmin = std::sqrt(smlnum), rmax = std::min(std::sqrt(bignum), 1.0 / std::sqrt(std::sqrt(safmin)));
    double anrm = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j <= i; j++) anrm = std::max(anrm, std::fabs(a[static_cast<size_t>(i) * n + j]));
    double sigma = 1.0;
    if (anrm > 0.0 && anrm < rmin)
        sigma = rmin / anrm;
    else if (anrm > rmax)
        sigma = rmax / anrm;
    if (sigma != 1.0)
        for (int i = 0; i < n; i++)
            for (int j = 0; j <= i; j++) a[static_cast<size_t>(i) * n + j] *= sigma;

    const double nn = static_cast<double>(n) * n;
    LapackTeam team(nn * n);
    std::vector<double> d(n), e(n), tau(n), values(n), offdiag(n);
    int info = 0, lwork = -1;
    double query = 0.0;
    dsytrd_("U", &n, a, &n, d.data(), e.data(), tau.data(), &query, &lwork, &info, 1);
    if (!LapackSucceeded(info) || (lwork = WorkspaceSize(query)) < 0) return false;
    std::vector<double> work(lwork);
    dsytrd_("U", &n, a, &n, d.data(), e.data(), tau.data(), work.data(), &lwork, &info, 1);
    if (!LapackSucceeded(info)) return false;
    values = d;
    offdiag = e;
    dsterf_(&n, values.data(), offdiag.data(), &info);
    if (!LapackSucceeded(info)) return false;
    for (int k = 0; k < n; k++) eig[k] = sigma == 1.0 ? values[n - 1 - k] : values[n - 1 - k] * (1.0 / sigma);
    if (!AllFiniteValues(n, eig)) return false;

    const int m = std::max(0, std::min(n, wanted(n, eig)));
    auto zeroLater = [&]() {
        for (int k = m; k < n; k++) std::fill(evec[k], evec[k] + n, 0.0);
    };
    if (m == 0) {
        zeroLater();
        return true;
    }
    // The tridiagonal matrix's vectors of its m largest values, then the
    // reduction's reflections applied to them.
    const int il = n - m + 1, iu = n;
    const double vl = 0.0, vu = 0.0;
    int found = 0, tryrac = 1, liwork = -1, iquery = 0;
    std::vector<double> w(n), z(static_cast<size_t>(n) * m);
    std::vector<int> isuppz(2 * static_cast<size_t>(m));
    lwork = -1;
    dstemr_("V", "I", &n, d.data(), e.data(), &vl, &vu, &il, &iu, &found, w.data(), z.data(), &n, &m,
            isuppz.data(), &tryrac, &query, &lwork, &iquery, &liwork, &info, 1, 1);
    if (!LapackSucceeded(info) || (lwork = WorkspaceSize(query)) < 0) return false;
    liwork = std::max(1, iquery);
    work.assign(lwork, 0.0);
    std::vector<int> iwork(liwork);
    dstemr_("V", "I", &n, d.data(), e.data(), &vl, &vu, &il, &iu, &found, w.data(), z.data(), &n, &m,
            isuppz.data(), &tryrac, work.data(), &lwork, iwork.data(), &liwork, &info, 1, 1);
    if (!LapackSucceeded(info) || found != m) return false;
    lwork = -1;
    dormtr_("L", "U", "N", &n, &m, a, &n, tau.data(), z.data(), &n, &query, &lwork, &info, 1, 1, 1);
    if (!LapackSucceeded(info) || (lwork = WorkspaceSize(query)) < 0) return false;
    work.assign(lwork, 0.0);
    dormtr_("L", "U", "N", &n, &m, a, &n, tau.data(), z.data(), &n, work.data(), &lwork, &info, 1, 1, 1);
    if (!LapackSucceeded(info)) return false;
    // Ascending order: the vector of the k-th largest value is column m-1-k.
    for (int k = 0; k < m; k++) StoreSigned(n, z.data() + static_cast<size_t>(m - 1 - k) * n, evec[k]);
    zeroLater();
    return true;
}

// The route taken when a faster one reports a failure: LAPACK's QL/QR
// iterations (dsyev), slower but converging where MRRR does not, on the
// matrix in a (held and destroyed as SymmetricEigen holds it, finite) scaled
// to unit largest entry, the values scaled back. With evec the vectors of
// the leading wanted(n, eig) values, or of all with wanted null, the later
// rows 0. False on a failure, or values too large for a double once scaled
// back.
bool SymmetricEigenQR(int n, double* a, double** evec, double* eig, int (*wanted)(int, const double*)) {
    double largest = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j <= i; j++) largest = std::max(largest, std::fabs(a[static_cast<size_t>(i) * n + j]));
    if (largest > 0.0)
        for (int i = 0; i < n; i++)
            for (int j = 0; j <= i; j++) a[static_cast<size_t>(i) * n + j] /= largest;
    const char jobz = evec ? 'V' : 'N';
    std::vector<double> w(n);
    int info = 0, lwork = -1;
    double query = 0.0;
    LapackTeam team(static_cast<double>(n) * n * n);
    dsyev_(&jobz, "U", &n, a, &n, w.data(), &query, &lwork, &info, 1, 1);
    if (!LapackSucceeded(info) || (lwork = WorkspaceSize(query)) < 0) return false;
    std::vector<double> work(lwork);
    dsyev_(&jobz, "U", &n, a, &n, w.data(), work.data(), &lwork, &info, 1, 1);
    if (!LapackSucceeded(info)) return false;
    for (int k = 0; k < n; k++) {
        eig[k] = largest > 0.0 ? w[n - 1 - k] * largest : w[n - 1 - k];
        if (!std::isfinite(eig[k])) return false;
    }
    if (!evec) return true;
    const int m = wanted ? std::max(0, std::min(n, wanted(n, eig))) : n;
    // Ascending order; eigenvector k is column k of the column-major a.
    for (int k = 0; k < m; k++) StoreSigned(n, a + static_cast<size_t>(n - 1 - k) * n, evec[k]);
    for (int k = m; k < n; k++) std::fill(evec[k], evec[k] + n, 0.0);
    return true;
}

enum class EigenRoute { done, notFinite, failed };

// Eigen analysis of the symmetric matrix that fill(a) writes row by row into
// a (n x n), on the fast route: SymmetricEigenLeading with wanted, else
// SymmetricEigen. When that route fails (LAPACK reports a failure, or the
// eigenvalues are beyond the largest double, which a finite matrix can
// give), the matrix is written again and analysed by SymmetricEigenQR, so
// that finite data never end without results while a route remains. With
// any result but done every output is NaN.
template <class Fill>
EigenRoute EigenByAnyRoute(int n, double* a, const Fill& fill, double** evec, double* eig,
                           int (*wanted)(int, const double*)) {
    fill(a);
    EigenRoute result = EigenRoute::notFinite;
    if (LowerTriangleFinite(n, a)) {
        result = EigenRoute::done;
        if (!(wanted && evec ? SymmetricEigenLeading(n, a, evec, eig, wanted) : SymmetricEigen(n, a, evec, eig))) {
            fill(a);
            if (!SymmetricEigenQR(n, a, evec, eig, wanted)) result = EigenRoute::failed;
        }
    }
    if (result != EigenRoute::done) {
        FillNaN(n, eig);
        if (evec)
            for (int k = 0; k < n; k++) FillNaN(n, evec[k]);
    }
    return result;
}

// The contract of EigenHouseholderQL_GSL_D on the matrix fill writes into a;
// 0 as well when the analysis failed.
template <class Fill>
int EigenOfRows(int n, double* a, const Fill& fill, double** evec, double* eig) {
    if (EigenByAnyRoute(n, a, fill, evec, eig, nullptr) != EigenRoute::done) return 0;
    return EigenCheck(n, eig);
}

// A (n x m) row after row: as LAPACK reads it, the m x n matrix A'.
void CopyRows(int n, int m, double** A, double* a) {
    for (int i = 0; i < n; i++) std::memcpy(a + static_cast<size_t>(i) * m, A[i], sizeof(double) * m);
}
std::vector<double> RowMajorCopy(int n, int m, double** A) {
    std::vector<double> a(static_cast<size_t>(n) * m);
    CopyRows(n, m, A, a.data());
    return a;
}

// Row and column means of a full symmetric matrix given by its upper triangle
// (diagonal included), and the grand mean.
void SymmetricMeans(int n, double** G, std::vector<double>& rowMean, double& grandMean) {
    rowMean.assign(n, 0.0);
    for (int i = 0; i < n; i++) {
        const double* g = G[i];
        rowMean[i] += g[i];
        for (int j = i + 1; j < n; j++) {
            rowMean[i] += g[j];
            rowMean[j] += g[j];
        }
    }
    double total = 0.0;
    for (int i = 0; i < n; i++) {
        total += rowMean[i];
        rowMean[i] /= n;
    }
    grandMean = total / (static_cast<double>(n) * n);
}

}  // namespace matrixdetail

// --- Products -------------------------------------------------------------------

int MatrixProd(int n, int m, int m2, int p, double** A, double** B, double** Y) {
    return matrixdetail::Product(n, m, m2, p, A, B, Y, nullptr, nullptr, false);
}

void CrossProductCols(int n, int a, int b, double** A, double** B, double** C) {
    for (int f = 0; f < a; f++) std::fill(C[f], C[f] + b, 0.0);
    for (int i = 0; i < n; i++) {
        const double* y = B[i];
        for (int f = 0; f < a; f++) {
            const double x = A[i][f];
            double* c = C[f];
            for (int v = 0; v < b; v++) c[v] += x * y[v];
        }
    }
}

int MatrixProdMV(int n, int m, int m2, int p, double** A, double** B, double** Y) {
    return matrixdetail::Product(n, m, m2, p, A, B, Y, nullptr, nullptr, true);
}

int MatrixProdSelect(int n, int m, int m2, int p, double** A, double** B, double** Y, const int* select) {
    return matrixdetail::Product(n, m, m2, p, A, B, Y, select, nullptr, false);
}

int MatrixProdSelectMV(int n, int m, int m2, int p, double** A, double** B, double** Y, const int* select) {
    return MatrixProdSelect(n, m, m2, p, A, B, Y, select);
}

int MatrixProdSelectMV_Weight(int n, int m, int m2, int p, double** A, double** B, double** Y,
                              const int* select, const int* weights) {
    return matrixdetail::Product(n, m, m2, p, A, B, Y, select, weights, false);
}

int MatrixProdTargetMV(int n, int m, int m2, int p, int target, double** A, double** B, double** Y,
                       double** D) {
    if (m != m2 || target < 0 || target >= p || target >= m) return 1;
    using matrixdetail::Missing;
    for (int i = 0; i < n; i++) {
        const double* b = B[i];
        double* d = D[i];
        auto term = [&](int k, int j) {
            const double bik = b[k];
            if (Missing(bik)) return;
            const double y = Y[k][j], a = A[k][j];
            if (!Missing(y) && !Missing(a)) {
                d[j] += bik * (y - a);
                return;
            }
            // A missing value on one side only: the term enters or leaves the
            // product whole (a cell that had no term starts from 0).
            if (!Missing(y)) d[j] = (Missing(d[j]) ? 0.0 : d[j]) + bik * y;
            if (!Missing(a) && !Missing(d[j])) d[j] -= bik * a;
        };
        for (int j = 0; j < p; j++) {
            if (j == target) {
                for (int k = 0; k < m; k++) term(k, j);
            } else if (j < m) {
                term(std::min(j, target), j);
                term(std::max(j, target), j);
            } else {
                term(target, j);
            }
        }
    }
    return 0;
}

namespace matrixdetail {

int AdjustWeight(int n, int m, int m2, int p, double** W, double** B, double** Y, const int* select,
                 const int* weights, int pairMode) {
    if (m != m2) return 1;
    // pairMode 1: weight weights[k] x weights[j]; 0: 1 when either is 1, else
    // 0; -1: weights[k] alone. The trait weights weights[j] exist only for
    // trait columns that are also species (j < m); the others count as 0.
    const size_t width = p > 0 ? static_cast<size_t>(p) : 0;
    std::vector<double> traitWeight(width, 0.0), traitIsOne(width, 0.0);
    for (int j = 0; j < p && j < m; j++) {
        traitWeight[j] = weights[j];
        traitIsOne[j] = weights[j] == 1 ? 1.0 : 0.0;
    }
    const bool dense = select == nullptr && !HasMissing(m, p, B);
    if (dense && n > 0 && p > 0 && static_cast<double>(n) * m * p >= kBlasTerms) {
        // The weight of a term depends on its species and trait alone: B
        // weighted first, then one product, a missing abundance taken as 0.
        std::vector<double> b(static_cast<size_t>(m) * width);
        for (int k = 0; k < m; k++) {
            double* row = b.data() + static_cast<size_t>(k) * width;
            for (int j = 0; j < p; j++) {
                const double weight = pairMode == -1  ? weights[k]
                                      : pairMode == 1 ? weights[k] * traitWeight[j]
                                      : weights[k] == 1 ? 1.0
                                                        : traitIsOne[j];
                row[j] = B[k][j] * weight;
            }
        }
        BlasProduct(
            n, m, p, b.data(),
            [&](int i, double* row) {
                for (int k = 0; k < m; k++) row[k] = Missing(W[i][k]) ? 0.0 : W[i][k];
            },
            [&](int i, const double* sum) {
                double total = 0.0;
                int present = 0;
                for (int k = 0; k < m; k++)
                    if (!Missing(W[i][k])) {
                        total += W[i][k];
                        present++;
                    }
                // Every term is in the partial sum: it divides by
                // total / total, 1 but for a total that is not finite.
                const double ratio = total > 0.0 ? total / total : 1.0;
                double* y = Y[i];
                for (int j = 0; j < p; j++) y[j] = present == 0 ? MISSING : sum[j] / ratio;
            });
        return 0;
    }
    // Every thread's work rows exist before the region, so nothing in it throws.
    const int maxThreads = omp_get_max_threads();
    std::vector<double> sums(width * maxThreads), partials(width * maxThreads);
    std::vector<int> counts(width * maxThreads);
    // A small product is done on the calling thread: the permutation tests
    // call this once per arrangement, and starting a team for a few thousand
    // terms costs more than the terms. Each row is summed by the same code
    // either way.
    const double work = static_cast<double>(n) * m * p;
#pragma omp parallel if (work > 2.0e5)
    {
        const size_t off = width * static_cast<size_t>(omp_get_thread_num());
        double* sum = sums.data() + off;
        double* partial = partials.data() + off;
        int* count = counts.data() + off;
#pragma omp for schedule(static)
        for (int i = 0; i < n; i++) {
            std::fill(sum, sum + width, 0.0);
            std::fill(partial, partial + width, 0.0);
            std::fill(count, count + width, 0);
            const double* w = W[i];
            double total = 0.0, densePartial = 0.0;
            int denseCount = 0;
            for (int k = 0; k < m; k++) {
                const double wik = w[k];
                if (Missing(wik)) continue;
                total += wik;
                const double* b = B[k];
                // The weights of this species' terms: one value for every
                // trait, or a row over the traits.
                double scalar = 1.0;
                const double* row = nullptr;
                if (pairMode == -1) {
                    scalar = weights[k];
                } else if (pairMode == 1) {
                    scalar = weights[k];
                    row = traitWeight.data();
                } else if (weights[k] != 1) {
                    row = traitIsOne.data();
                }
                if (dense) {
                    densePartial += wik;
                    denseCount++;
                    if (row == nullptr)
                        for (int j = 0; j < p; j++) sum[j] += wik * b[j] * scalar;
                    else if (pairMode == 1)
                        for (int j = 0; j < p; j++) sum[j] += wik * b[j] * (scalar * row[j]);
                    else
                        for (int j = 0; j < p; j++) sum[j] += wik * b[j] * row[j];
                    continue;
                }
                for (int j = 0; j < p; j++) {
                    if ((select != nullptr && select[j] != 1) || Missing(b[j])) continue;
                    const double weight = row == nullptr ? scalar : (pairMode == 1 ? scalar * row[j] : row[j]);
                    sum[j] += wik * b[j] * weight;
                    partial[j] += wik;
                    count[j]++;
                }
            }
            double* y = Y[i];
            for (int j = 0; j < p; j++) {
                if (select != nullptr && select[j] != 1) continue;
                const double part = dense ? densePartial : partial[j];
                if ((dense ? denseCount : count[j]) == 0) {
                    y[j] = MISSING;
                    continue;
                }
                y[j] = sum[j];
                if (part > 0.0) y[j] /= part / total;
            }
        }
    }
    return 0;
}

}  // namespace matrixdetail

int MatrixProdSelectMV_Adjust_Weight(int n, int m, int m2, int p, double** W, double** B, double** Y,
                                     const int* select, const int* weights, bool pairMode) {
    return matrixdetail::AdjustWeight(n, m, m2, p, W, B, Y, select, weights, pairMode ? 1 : 0);
}

int MatrixProdSelectMV_Adjust_Weight(int n, int m, int m2, int p, double** W, double** B, double** Y,
                                     const int* select, const int* weights) {
    return matrixdetail::AdjustWeight(n, m, m2, p, W, B, Y, select, weights, -1);
}

void ScalarMatrixProd(int n, int m, double s, double** A, double** B) {
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) B[i][j] = matrixdetail::Missing(A[i][j]) ? MISSING : s * A[i][j];
}

double VectorProd(int n, const double* x, const double* y) { return CrossProduct2Vec(n, x, y); }

double VectorProdMV(int n, const double* x, const double* y) { return CrossProduct2VecMV(n, x, y); }

void VectorOuterProd(int n, int m, const double* u, const double* v, double** M) {
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) M[i][j] = u[i] * v[j];
}

int MatrixSum(int n, int m, int rowsB, int colsB, double** A, double** B, double** Y, int k) {
    if (n != rowsB || m != colsB) return 1;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) Y[i][j] = A[i][j] + k * B[i][j];
    return 0;
}

// --- Copies, transposes and triangles -------------------------------------------

void TransposeMatrix(int n, int m, double** A, double** B) {
    matrixdetail::TransposeTiles(
        n, m, [&](int i, int j) { return A[i][j]; }, [&](int j, int i, double v) { B[j][i] = v; });
}

void CopyMatrix(int n, int m, double** A, double** B) {
    if (A == B) return;
    for (int i = 0; i < n; i++) std::memmove(B[i], A[i], sizeof(double) * (m > 0 ? m : 0));
}

namespace matrixdetail {
template <class T>
void TransposeSq(int n, T** A, T** B) {
    for (int i = 0; i < n; i++)
        for (int j = 0; j <= i; j++) {
            const T old = B[j][i];
            B[j][i] = A[i][j];
            B[i][j] = old;
        }
}
}  // namespace matrixdetail

void TransposeSqMatrix(int n, double** A, double** B) { matrixdetail::TransposeSq(n, A, B); }

void TransposeSqMatrix(int n, int** A, int** B) { matrixdetail::TransposeSq(n, A, B); }

void UpperToLowerMatrix(int n, double** M) {
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) M[j][i] = M[i][j];
}

void LowerToUpperMatrix(int n, double** M) {
    // In tiles, so that the column read stays in cache.
    constexpr int kTile = 64;
    for (int i0 = 0; i0 < n; i0 += kTile)
        for (int j0 = i0; j0 < n; j0 += kTile) {
            const int i1 = std::min(n, i0 + kTile), j1 = std::min(n, j0 + kTile);
            for (int i = i0; i < i1; i++)
                for (int j = std::max(j0, i + 1); j < j1; j++) M[i][j] = M[j][i];
        }
}

double MatrixTrace(int n, double** M) {
    double t = 0.0;
    for (int i = 0; i < n; i++) t += M[i][i];
    return t;
}

// --- Totals and extremes ----------------------------------------------------------

namespace matrixdetail {
void Totals(int n, int m, double** M, double* rows, double* cols, bool mv) {
    if (cols != nullptr)
        for (int j = 0; j < m; j++) cols[j] = 0.0;
    for (int i = 0; i < n; i++) {
        const double* x = M[i];
        double s = 0.0;
        for (int j = 0; j < m; j++) {
            if (mv && Missing(x[j])) continue;
            s += x[j];
            if (cols != nullptr) cols[j] += x[j];
        }
        if (rows != nullptr) rows[i] = s;
    }
}
double Total(int n, int m, double** M, bool mv) {
    double t = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++)
            if (!mv || !Missing(M[i][j])) t += M[i][j];
    return t;
}
}  // namespace matrixdetail

void RowTotals(int n, int m, double** M, double* t) { matrixdetail::Totals(n, m, M, t, nullptr, false); }
void ColTotals(int n, int m, double** M, double* t) { matrixdetail::Totals(n, m, M, nullptr, t, false); }
double MatrixTotal(int n, int m, double** M) { return matrixdetail::Total(n, m, M, false); }
void RowTotalsMV(int n, int m, double** M, double* t) { matrixdetail::Totals(n, m, M, t, nullptr, true); }
void ColTotalsMV(int n, int m, double** M, double* t) { matrixdetail::Totals(n, m, M, nullptr, t, true); }
double MatrixTotalMV(int n, int m, double** M) { return matrixdetail::Total(n, m, M, true); }

namespace matrixdetail {
template <class T, class Better>
T Extreme(int n, const T* x, T start, Better better) {
    T e = start;
    for (int i = 0; i < n; i++)
        if (better(x[i], e)) e = x[i];
    return e;
}
template <class T, class Better>
int Which(int n, const T* x, Better better) {
    int w = 0;
    for (int i = 1; i < n; i++)
        if (better(x[i], x[w])) w = i;
    return w;
}
constexpr auto kGreater = [](auto a, auto b) { return a > b; };
constexpr auto kLess = [](auto a, auto b) { return a < b; };
}  // namespace matrixdetail


int maxVector(int n, const int* x) { return matrixdetail::Extreme(n, x, INT_MIN + 1, matrixdetail::kGreater); }
double maxVector(int n, const double* x) { return matrixdetail::Extreme(n, x, -DBL_MAX, matrixdetail::kGreater); }
int minVector(int n, const int* x) { return matrixdetail::Extreme(n, x, INT_MAX, matrixdetail::kLess); }
double minVector(int n, const double* x) { return matrixdetail::Extreme(n, x, DBL_MAX, matrixdetail::kLess); }
int maxVectorInt(int n, const int* x) { return matrixdetail::Extreme(n, x, INT_MIN, matrixdetail::kGreater); }
int minVectorInt(int n, const int* x) { return minVector(n, x); }
int MaxVectorWhich(int n, const double* x) { return matrixdetail::Which(n, x, matrixdetail::kGreater); }
int MaxVectorWhich(int n, const int* x) { return matrixdetail::Which(n, x, matrixdetail::kGreater); }
int MinVectorWhich(int n, const double* x) { return matrixdetail::Which(n, x, matrixdetail::kLess); }
int MinVectorWhich(int n, const int* x) { return matrixdetail::Which(n, x, matrixdetail::kLess); }

// --- Eigen analysis and SVD --------------------------------------------------------

int LapackThreads(double work) { return matrixdetail::ThreadsForLapack(work); }

int FreeProcessorsOf(int usable, int online, int running) {
    // The running threads are counted over the whole machine: a program held
    // to some of its processors (an affinity mask, a container's set) would
    // otherwise lose its own processors to programs busy on the others.
    const int machine = std::max(usable, online);
    return std::max(1, std::min(usable, machine - (std::max(running, 1) - 1)));
}

int EigenHouseholderQL_GSL_D(int n, double** A, double** evec, double* eig) {
    using namespace matrixdetail;
    if (n <= 0) return 1;
    std::vector<double> a(static_cast<size_t>(n) * n);
    return EigenOfRows(n, a.data(), [&](double* rows) { CopyRows(n, n, A, rows); }, evec, eig);
}

int EigenHouseholderQL(int n, double** A, double** evec, double* eig) {
    if (n <= 0) return 1;
    double** a = dim2DT<double>(n + 1, n + 1);
    Convertn_n1(n, n, A, a);
    double* d = dvector(1, n);
    double* e = dvector(1, n);
    tred2(a, n, d, e);
    tqli(d, e, n, a);
    eigsrt(d, a, n);
    for (int k = 0; k < n; k++) {
        eig[k] = d[k + 1];
        for (int i = 0; i < n; i++) evec[k][i] = a[i + 1][k + 1];
    }
    free_dvector(e, 1, n);
    free_dvector(d, 1, n);
    free2DT(a, n + 1);
    return matrixdetail::EigenCheck(n, eig);
}

double EigenHouseholderQL_NegEigen(int n, double** A) {
    if (n <= 0) return 0.0;
    using namespace matrixdetail;
    std::vector<double> a(static_cast<size_t>(n) * n), values(n);
    if (EigenByAnyRoute(n, a.data(), [&](double* rows) { CopyRows(n, n, A, rows); }, nullptr, values.data(),
                        nullptr) != EigenRoute::done)
        return std::numeric_limits<double>::quiet_NaN();
    double sum = 0.0;
    for (int k = 0; k < n; k++) sum += values[k];
    double negative = 0.0;
    if (sum != 0.0)
        for (int k = 0; k < n; k++) {
            const double proportion = values[k] / sum;
            if (proportion < -0.001) negative += std::fabs(proportion);
        }
    return negative;
}

int EigenRank(int n, const double* eig) {
    double positive = 0.0;
    for (int k = 0; k < n; k++)
        if (eig[k] > 0.0) positive += eig[k];
    if (positive <= 0.0) return 0;
    int rank = 0;
    for (int k = 0; k < n; k++)
        if (100.0 * eig[k] / positive > 1e-5) rank++;
    return rank;
}

int SingValueDecomp(int n, int m, double** A, double** U, double* s, double** V) {
    using namespace matrixdetail;
    if (n <= 0 || m <= 0) return 1;
    const int r = std::min(n, m);
    // LAPACK reads the rows of A as A' (m x n) and decomposes it as P S Q',
    // so that A = Q S P': U = Q and V = P.
    std::vector<double> a = RowMajorCopy(n, m, A);
    if (!AllFiniteValues(a.size(), a.data())) return 0;
    std::vector<double> sv(r), p(static_cast<size_t>(m) * r), qt(static_cast<size_t>(r) * n);
    std::vector<int> iwork(8 * static_cast<size_t>(r));
    LapackTeam team(static_cast<double>(n) * m * r);
    // Divide and conquer; when it reports a failure or singular values beyond
    // the largest double, QR iterations on A scaled to unit largest entry,
    // the singular values scaled back (beyond it again, no decomposition).
    auto divideAndConquer = [&]() {
        int info = 0, lwork = -1;
        double query = 0.0;
        dgesdd_("S", &m, &n, a.data(), &m, sv.data(), p.data(), &m, qt.data(), &r, &query, &lwork, iwork.data(),
                &info, 1);
        if (!LapackSucceeded(info) || (lwork = WorkspaceSize(query)) < 0) return false;
        std::vector<double> work(lwork);
        dgesdd_("S", &m, &n, a.data(), &m, sv.data(), p.data(), &m, qt.data(), &r, work.data(), &lwork,
                iwork.data(), &info, 1);
        return LapackSucceeded(info) && AllFiniteValues(sv.size(), sv.data());
    };
    auto scaledQR = [&]() {
        CopyRows(n, m, A, a.data());
        double largest = 0.0;
        for (double x : a) largest = std::max(largest, std::fabs(x));
        if (largest > 0.0)
            for (double& x : a) x /= largest;
        int info = 0, lwork = -1;
        double query = 0.0;
        dgesvd_("S", "S", &m, &n, a.data(), &m, sv.data(), p.data(), &m, qt.data(), &r, &query, &lwork, &info, 1, 1);
        if (!LapackSucceeded(info) || (lwork = WorkspaceSize(query)) < 0) return false;
        std::vector<double> work(lwork);
        dgesvd_("S", "S", &m, &n, a.data(), &m, sv.data(), p.data(), &m, qt.data(), &r, work.data(), &lwork, &info,
                1, 1);
        if (!LapackSucceeded(info)) return false;
        if (largest > 0.0)
            for (double& x : sv) x *= largest;
        return AllFiniteValues(sv.size(), sv.data());
    };
    if (!divideAndConquer() && !scaledQR()) return 0;
    // The sign rule decides on the right vector (column k of P, contiguous),
    // so that V agrees with the eigenvectors of A'A; its left partner (row k
    // of Q', r apart) follows.
    for (int k = 0; k < r; k++) {
        double* v = p.data() + static_cast<size_t>(k) * m;
        if (!NegativeLead(m, v, 1)) continue;
        for (int j = 0; j < m; j++) v[j] = -v[j];
        for (int i = 0; i < n; i++) qt[k + static_cast<size_t>(i) * r] *= -1.0;
    }
    for (int k = 0; k < r; k++) s[k] = sv[k];
    // Row i of U is column i of Q', contiguous; V is P transposed.
    for (int i = 0; i < n; i++) std::memcpy(U[i], qt.data() + static_cast<size_t>(i) * r, sizeof(double) * r);
    TransposeTiles(
        r, m, [&](int k, int j) { return p[static_cast<size_t>(k) * m + j]; },
        [&](int j, int k, double x) { V[j][k] = x; });
    return 1;
}

// --- Stopping-rule statistics ---------------------------------------------------------

double BrokenStick(int k, int p) {
    if (p <= 0) return 0.0;
    double s = 0.0;
    for (int i = k; i <= p; i++) s += 1.0 / i;
    return s / p;
}

double Bartlett_u(int /*count*/, int k, const double* eig, int n, int p) {
    const int q = p - k + 1;
    if (q <= 0 || k < 1) return 0.0;
    const double lnTiny = std::log(1e-10);
    double sum = 0.0, logs = 0.0;
    for (int i = k - 1; i < p; i++) {
        if (eig[i] <= 0.0) {
            logs += lnTiny;
            sum += eig[i] + 1e-10;
        } else {
            logs += std::log(eig[i]);
            sum += eig[i];
        }
    }
    const double mean = sum / q;
    const double lnMean = mean > 0.0 ? std::log(mean) : 0.0;
    return (n - (2.0 * p + 11.0) / 6.0) * (q * lnMean - logs);
}

double Bartlett_uProb(int count, int k, const double* eig, int n, int p) {
    const int df = (count - k) * (count - k + 3) / 2;
    // No degrees of freedom (the last axis) leaves nothing to test: a
    // chi-square with none would make any positive u significant, and a
    // negative number is a GSL domain error.
    if (df <= 0) return 1.0;
    return gsl_cdf_chisq_Q(Bartlett_u(count, k, eig, n, p), df);
}

double RVDIM(int p, int k, const double* eig) {
    if (k < 1 || k > p) return 0.0;
    double q = 0.0;
    for (int i = k - 1; i < p; i++) q += eig[i] * eig[i];
    return q > 0.0 ? eig[k - 1] / std::sqrt(q) : 0.0;
}

double PseudoF_eig(int p, int k, const double* eig) {
    if (k < 1 || k > p) return 0.0;
    double s = 0.0;
    for (int i = k; i <= p - 2; i++) s += eig[i];
    return s > 0.0 ? eig[k - 1] / s : 0.0;
}

// --- Conversions for principal coordinates -----------------------------------------------

void DissToCenterProdMatrix(int n, double** D, double** G, bool squared) {
    if (n <= 0) return;
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) G[i][j] = squared ? D[i][j] : D[i][j] * D[i][j];
    std::vector<double> rowMean;
    double grandMean;
    matrixdetail::SymmetricMeans(n, G, rowMean, grandMean);
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) G[i][j] = -0.5 * (G[i][j] - rowMean[i] - rowMean[j] + grandMean);
}

void GowerMatrixCentering(int n, double** D, double** G, bool square) {
    if (n <= 0) return;
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) G[i][j] = square ? D[i][j] * D[i][j] : D[i][j];
    std::vector<double> rowMean;
    double grandMean;
    matrixdetail::SymmetricMeans(n, G, rowMean, grandMean);
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) G[j][i] = G[i][j] = -0.5 * (G[i][j] - rowMean[i] - rowMean[j] + grandMean);
}

void ProdToSqDist(int n, double** S, double** D) {
    // Every off-diagonal value reads the diagonal of S, so it is written
    // before the diagonal of D is zeroed (D may be S).
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) D[i][j] = S[i][i] + S[j][j] - 2.0 * S[i][j];
    for (int i = 0; i < n; i++) D[i][i] = 0.0;
}

namespace matrixdetail {
// B[i][j] = B[j][i] = f(A[i][j]) for j >= i (A's upper triangle read first).
template <class F>
void MapUpper(int n, double** A, double** B, F f) {
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) B[j][i] = B[i][j] = f(A[i][j], i == j);
}
}  // namespace matrixdetail

void SquareSqMatrix(int n, double** A, double** B) {
    matrixdetail::MapUpper(n, A, B, [](double a, bool) { return a * a; });
}

void SquareRootSqMatrix(int n, double** A, double** B) {
    matrixdetail::MapUpper(n, A, B, [](double a, bool) { return std::sqrt(a); });
}

void CorrToSqDist(int n, double** R, double** D) {
    matrixdetail::MapUpper(n, R, D, [](double r, bool diagonal) { return diagonal ? 0.0 : 2.0 * (1.0 - r); });
}

void ProbToDissim(int n, double** P, double** D) {
    matrixdetail::MapUpper(n, P, D, [](double p, bool) { return 1.0 - p; });
}

void ScoreCorrComp(int nAxes, int n, double** scores, double** data, int nVar, int byVariables, int maxAxes,
                   double** R) {
    const int axes = std::max(0, std::min(nAxes, maxAxes));
    if (byVariables) {
        std::vector<double*> rows(static_cast<size_t>(axes + nVar));
        for (int a = 0; a < axes; a++) rows[a] = scores[a];
        for (int k = 0; k < nVar; k++) rows[axes + k] = data[k];
        CorrelationPartition(axes, nVar, n, rows.data(), R);
        return;
    }
    // Variables as the columns of data, read a unit row at a time: gathering
    // each column would stride through the whole table once per variable and
    // copy it twice. The rule is CorrelationPartition's: each series centred
    // on the mean of its present values and scaled by their norm, the products
    // summed over the units where both values are present.
    if (axes == 0 || nVar <= 0) return;
    const size_t units = static_cast<size_t>(std::max(n, 0)), p = static_cast<size_t>(nVar);
    // The axes centred and normalised; a missing score weighs nothing. Each
    // mean, here and below, is the first present value plus the mean of the
    // differences from it, as the rows' means are taken: a constant series
    // then has deviations of exactly 0 and a correlation of 0, not rounding
    // noise scaled up to unit norm.
    std::vector<double> z(static_cast<size_t>(axes) * units);
    for (int a = 0; a < axes; a++) {
        double* w = z.data() + static_cast<size_t>(a) * units;
        double origin = 0.0, sum = 0.0, count = 0.0;
        for (size_t i = 0; i < units; i++)
            if (!matrixdetail::Missing(scores[a][i])) {
                if (count == 0.0) origin = scores[a][i];
                sum += scores[a][i] - origin, count += 1.0;
            }
        const double mean = count > 0.0 ? origin + sum / count : 0.0;
        double q = 0.0;
        for (size_t i = 0; i < units; i++) {
            w[i] = matrixdetail::Missing(scores[a][i]) ? 0.0 : scores[a][i] - mean;
            q += w[i] * w[i];
        }
        const double norm = q > 0.0 ? std::sqrt(q) : 1.0;
        for (size_t i = 0; i < units; i++) w[i] /= norm;
    }
    // Means of the variables over their present values.
    std::vector<double> origin(p, 0.0), mean(p, 0.0), count(p, 0.0);
    std::vector<char> found(p, 0);
    for (size_t i = 0, left = p; i < units && left > 0; i++)
        for (size_t j = 0; j < p; j++)
            if (!found[j] && !matrixdetail::Missing(data[i][j])) origin[j] = data[i][j], found[j] = 1, left--;
    for (size_t i = 0; i < units; i++) {
        const double* x = data[i];
        for (size_t j = 0; j < p; j++) {
            const bool present = !matrixdetail::Missing(x[j]);
            mean[j] += present ? x[j] - origin[j] : 0.0;
            count[j] += present ? 1.0 : 0.0;
        }
    }
    for (size_t j = 0; j < p; j++) mean[j] = count[j] > 0.0 ? origin[j] + mean[j] / count[j] : 0.0;
    // Centred sums of squares of the variables and their products with the
    // axes (axis-major, so that each is one pass along a unit's row).
    std::vector<double> d(p), q(p, 0.0), s(static_cast<size_t>(axes) * p, 0.0);
    for (size_t i = 0; i < units; i++) {
        const double* x = data[i];
        for (size_t j = 0; j < p; j++) {
            d[j] = matrixdetail::Missing(x[j]) ? 0.0 : x[j] - mean[j];
            q[j] += d[j] * d[j];
        }
        for (int a = 0; a < axes; a++) {
            const double w = z[static_cast<size_t>(a) * units + i];
            double* sa = s.data() + static_cast<size_t>(a) * p;
            for (size_t j = 0; j < p; j++) sa[j] += d[j] * w;
        }
    }
    for (size_t j = 0; j < p; j++) {
        const double norm = q[j] > 0.0 ? std::sqrt(q[j]) : 1.0;
        for (int a = 0; a < axes; a++) R[j][a] = s[static_cast<size_t>(a) * p + j] / norm;
    }
}


// ===========================================================================
// Random generator, permutation and bootstrap lists
// ===========================================================================

gsl_rng* r = gsl_rng_alloc(gsl_rng_mt19937);

namespace {

// Held by every routine that draws or replaces the generator; recursive
// because list routines call one another.
std::recursive_mutex generatorMutex;
using GeneratorLock = std::lock_guard<std::recursive_mutex>;

// Number of selected units of the last permutation that
// RndListSelectSynchronized drew.
int synchronizedCount = -1;

// U(m): uniform over 0..m-1. Callers never pass m below 1.
// The generator-taking forms draw from g instead (g's owner keeps it to
// one thread), by the same rules.
inline int U(int m, gsl_rng* g) { return static_cast<int>(gsl_rng_uniform_int(g, static_cast<unsigned long>(m))); }
inline int U(int m) { return U(m, r); }

void Shuffle(int n, int* list, gsl_rng* g) {
    for (int i = 0; i < n - 1; i++) {
        int j = i + U(n - i, g);
        std::swap(list[i], list[j]);
    }
}
void Shuffle(int n, int* list) { Shuffle(n, list, r); }

// Unit numbers of the selected positions, ascending. Permutation tests ask
// for them at every permutation: the vector is kept from call to call.
template <class Sel>
std::vector<int>& Candidates(int n, const Sel* sel) {
    thread_local std::vector<int> c;
    c.clear();
    for (int i = 0; i < n; i++)
        if (sel[i] == 1) c.push_back(i + 1);
    return c;
}

// Called with the generator held.
template <class Sel>
void SelectImpl(int n, int* list, const Sel* sel) {
    thread_local std::vector<int> q;
    const std::vector<int>& c = Candidates(n, sel);
    const int m = static_cast<int>(c.size());
    q.resize(m);
    for (int t = 0; t < m; t++) q[t] = t + 1;
    Shuffle(m, q.data());
    for (int t = 0; t < m; t++) list[c[t] - 1] = c[q[t] - 1];
}

// Index (0-based, in ascending order of label) of the group of every unit
// that takes part; -1 for the others.
struct Grouping {
    int count = 0;
    std::vector<int> of;
};

Grouping GroupsOf(int n, const int* labels, const bool* sel) {
    Grouping g;
    g.of.assign(n, -1);
    std::vector<int> taking;
    for (int i = 0; i < n; i++)
        if (!sel || sel[i]) taking.push_back(labels[i]);
    if (taking.empty()) return g;
    std::vector<int> distinct(taking.size());
    CountGroups(static_cast<int>(taking.size()), taking.data(), g.count, distinct.data());
    distinct.resize(g.count);
    for (int i = 0; i < n; i++)
        if (!sel || sel[i])
            g.of[i] = static_cast<int>(std::lower_bound(distinct.begin(), distinct.end(), labels[i]) -
                                       distinct.begin());
    return g;
}

struct NestedDesign {
    int n;
    bool useBlocks;
    const int* blocks;
    bool useBundles;
    const int* bundles;
    bool withinBlocks;
    bool synchronized;
    const int* order;  // synchronized only
    const bool* sel;   // may be null
};

enum class DesignFault { none, unequalBlocks, crossingBundles, unbalancedBundles };

struct DesignAnalysis {
    Grouping block, bundle;
    std::vector<int> bundleSize;   // units of each bundle that take part
    std::vector<int> blockOfBundle;  // -1: no unit in a block
    DesignFault fault = DesignFault::none;
};

DesignAnalysis Analyse(const NestedDesign& d) {
    DesignAnalysis a;
    const bool blocksUsed = d.useBlocks && d.blocks;
    const bool bundlesUsed = d.useBundles && d.bundles;
    if (blocksUsed) a.block = GroupsOf(d.n, d.blocks, d.sel);
    if (bundlesUsed) a.bundle = GroupsOf(d.n, d.bundles, d.sel);

    if (blocksUsed && d.synchronized && !d.withinBlocks) {
        std::vector<int> size(a.block.count, 0);
        for (int i = 0; i < d.n; i++)
            if (a.block.of[i] >= 0) size[a.block.of[i]]++;
        for (int s : size)
            if (s != size[0]) {
                a.fault = DesignFault::unequalBlocks;
                return a;
            }
    }
    if (!bundlesUsed) return a;

    a.bundleSize.assign(a.bundle.count, 0);
    a.blockOfBundle.assign(a.bundle.count, -1);
    bool crossing = false;
    for (int i = 0; i < d.n; i++) {
        int h = a.bundle.of[i];
        if (h < 0) continue;
        a.bundleSize[h]++;
        if (blocksUsed) {
            int g = a.block.of[i];
            if (a.blockOfBundle[h] == -1)
                a.blockOfBundle[h] = g;
            else if (a.blockOfBundle[h] != g)
                crossing = true;
        }
    }
    if (crossing) {
        a.fault = DesignFault::crossingBundles;
        return a;
    }
    bool balanced = true;
    if (d.withinBlocks) {
        // Bundles are exchanged only with the bundles of their own block.
        std::vector<int> size(blocksUsed ? a.block.count : 0, -1);
        for (int h = 0; h < a.bundle.count && blocksUsed; h++) {
            int g = a.blockOfBundle[h];
            if (size[g] == -1)
                size[g] = a.bundleSize[h];
            else if (size[g] != a.bundleSize[h])
                balanced = false;
        }
    } else {
        for (int s : a.bundleSize)
            if (s != a.bundleSize[0]) balanced = false;
    }
    if (!balanced) a.fault = DesignFault::unbalancedBundles;
    return a;
}

bool NestedList(const NestedDesign& d, int* list) {
    for (int i = 0; i < d.n; i++) list[i] = i + 1;
    DesignAnalysis a = Analyse(d);
    if (a.fault == DesignFault::unequalBlocks) return false;
    const bool blocksUsed = d.useBlocks && d.blocks;
    const bool bundlesUsed = d.useBundles && d.bundles;

    // Units within blocks.
    if (blocksUsed && !d.withinBlocks) {
        std::unique_ptr<bool[]> m(new bool[d.n]);
        std::vector<int> work(d.n);
        for (int g = 0; g < a.block.count; g++) {
            for (int i = 0; i < d.n; i++) m[i] = a.block.of[i] == g;
            if (d.synchronized) {
                if (!RndListSelectSynchronized(d.n, list, m.get(), d.order, work.data(), g == 0)) {
                    // An order that does not fit the blocks: nothing is permuted.
                    for (int i = 0; i < d.n; i++) list[i] = i + 1;
                    return false;
                }
            } else {
                RndListSelect(d.n, list, m.get());
            }
        }
    }
    if (!bundlesUsed) return true;
    if (a.fault != DesignFault::none) return false;
    const int nBundles = a.bundle.count;

    // Positions of each bundle, ascending.
    std::vector<std::vector<int>> pos(nBundles);
    for (int i = 0; i < d.n; i++)
        if (a.bundle.of[i] >= 0) pos[a.bundle.of[i]].push_back(i);

    if (!d.withinBlocks) {
        std::vector<std::vector<int>> value(nBundles);
        for (int h = 0; h < nBundles; h++)
            for (int i : pos[h]) value[h].push_back(list[i]);
        std::vector<int> q(nBundles);
        RndList(nBundles, q.data());
        for (int h = 0; h < nBundles; h++)
            for (size_t c = 0; c < pos[h].size(); c++) list[pos[h][c]] = value[q[h] - 1][c];
        return true;
    }

    if (!blocksUsed) return true;  // bundles within blocks, but no blocks: nothing moves
    std::vector<int> q(nBundles);
    for (int h = 0; h < nBundles; h++) q[h] = h + 1;
    std::unique_ptr<bool[]> marks(new bool[nBundles]);
    std::vector<std::vector<int>> value(nBundles);
    for (int g = 0; g < a.block.count; g++) {
        for (int h = 0; h < nBundles; h++) {
            marks[h] = a.blockOfBundle[h] == g;
            value[h].clear();
            if (marks[h])
                for (int i : pos[h]) value[h].push_back(list[i]);
        }
        RndListSelect(nBundles, q.data(), marks.get());
        for (int h = 0; h < nBundles; h++)
            if (marks[h])
                for (size_t c = 0; c < pos[h].size(); c++) list[pos[h][c]] = value[q[h] - 1][c];
    }
    return true;
}

// Enumeration state of PermuteArray and PermuteArrayBinary.
struct SubsetEnumeration {
    std::vector<int> index;  // the k chosen positions, ascending
    long long nPermutations = 0;
    long long counter = 0;
    int n = 0, k = 0;

    // Restarts (first) or advances; false when there is no subset to give.
    bool Next(int nUnits, int kUnits, bool first) {
        if (first) {
            index.clear();
            counter = 0;
            n = nUnits;
            k = kUnits;
            if (k < 0 || k > n) return false;
            for (int i = 0; i < k; i++) index.push_back(i);
            // Rounded, not truncated: a quotient of factorials just below a
            // whole number would end the enumeration one subset early.
            long double count = std::roundl(Factorial(n) / (Factorial(k) * Factorial(n - k)));
            nPermutations = count < 9.0e18L ? static_cast<long long>(count)
                                            : std::numeric_limits<long long>::max();
            return nPermutations > 0;
        }
        if (counter <= 0 || counter >= nPermutations) return false;
        int i = k - 1;
        while (i >= 0 && index[i] >= n - k + i) i--;
        if (i < 0) return false;
        index[i]++;
        for (int j = i + 1; j < k; j++) index[j] = index[j - 1] + 1;
        return true;
    }
    long long Given() {
        counter++;
        long long c = counter;
        if (counter >= nPermutations) {
            std::vector<int>().swap(index);  // finished: the vectors are released
        }
        return c;
    }
};

SubsetEnumeration subsetList, subsetFlags;

}  // namespace

void InitRndNumberGenerator(unsigned int seed) {
    GeneratorLock lock(generatorMutex);
    gsl_rng* fresh = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(fresh, seed);
    gsl_rng* old = r;
    r = fresh;
    if (old) gsl_rng_free(old);
    synchronizedCount = -1;
    srand(seed);
}

unsigned int AutomaticSeed() {
    static std::atomic<unsigned long long> calls{0};
    static std::atomic<unsigned int> last{0};
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    unsigned long long x =
        static_cast<unsigned long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(since).count());
    x ^= static_cast<unsigned long long>(getpid()) << 40;
    x += ++calls * 0x9E3779B97F4A7C15ULL;
    // SplitMix64's finaliser: every input bit reaches every bit of the seed,
    // so that calls a few nanoseconds apart give unrelated seeds.
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    x ^= x >> 31;
    unsigned int seed = static_cast<unsigned int>(x ^ (x >> 32));
    while (seed == 0 || seed == last) seed++;
    last = seed;
    return seed;
}

int RndIntegers(int lo, int hi) {
    if (hi < lo) return lo;
    GeneratorLock lock(generatorMutex);
    unsigned long long range = static_cast<unsigned long long>(static_cast<long long>(hi) - lo) + 1;
    // A range of every 32-bit value is beyond gsl_rng_uniform_int; one raw
    // output of MT19937 is uniform over it.
    unsigned long long u = range > gsl_rng_max(r) - gsl_rng_min(r) ? gsl_rng_get(r) - gsl_rng_min(r)
                                                                   : gsl_rng_uniform_int(r, range);
    return static_cast<int>(lo + static_cast<long long>(u));
}

void RndList(int n, int* list, gsl_rng* g) {
    if (!g) return RndList(n, list);
    for (int i = 0; i < n; i++) list[i] = i + 1;
    Shuffle(n, list, g);
}

void RndList(int n, int* list) {
    GeneratorLock lock(generatorMutex);
    RndList(n, list, r);
}

void RndListSpecified(int n, int* list) {
    GeneratorLock lock(generatorMutex);
    Shuffle(n, list);
}

void RndListPartial(int n, int* list) {
    GeneratorLock lock(generatorMutex);
    for (int i = 0; i < n; i++) std::swap(list[i], list[U(n)]);
}

void RndListSelect(int n, int* list, const bool* sel) {
    GeneratorLock lock(generatorMutex);
    SelectImpl(n, list, sel);
}

void RndListSelect(int n, int* list, const int* sel) {
    GeneratorLock lock(generatorMutex);
    SelectImpl(n, list, sel);
}

void RndListTwoSelect_(int n, int* list, const bool* first, const bool* second) {
    std::vector<char> both(n > 0 ? n : 0);
    for (int i = 0; i < n; i++) both[i] = first[i] && second[i];
    GeneratorLock lock(generatorMutex);
    SelectImpl(n, list, both.data());
}

bool RndListSelectSynchronized(int n, int* list, const bool* sel, const int* order, int* perm,
                               bool newPerm) {
    GeneratorLock lock(generatorMutex);
    const std::vector<int>& c = Candidates(n, sel);
    const int m = static_cast<int>(c.size());
    if (!newPerm && m != synchronizedCount) return false;
    for (int k = 0; k < m; k++)
        if (order[k] < 1 || order[k] > m) return false;
    if (newPerm) {
        RndList(m, perm);
        synchronizedCount = m;
    }
    for (int k = 0; k < m; k++) {
        int t = order[k] - 1;
        list[c[t] - 1] = c[perm[t] - 1];
    }
    return true;
}

bool RndListMantelRestricted(int nPairs, int* list, int m) {
    if (m < 0 || static_cast<long long>(m) * (m - 1) / 2 != nPairs) {
        printf("\nThe list of %d pairs does not fit a matrix of %d objects (%lld pairs). "
               "Restricted permutation is not possible.\n",
               nPairs, m, m < 0 ? 0LL : static_cast<long long>(m) * (m - 1) / 2);
        return false;
    }
    GeneratorLock lock(generatorMutex);
    // A[i][j]: number of the pair (i, j) in row order of the upper triangle.
    std::vector<int> A(static_cast<size_t>(m) * m, 0);
    int k = 0;
    for (int i = 0; i < m; i++)
        for (int j = i + 1; j < m; j++) {
            ++k;
            A[static_cast<size_t>(i) * m + j] = A[static_cast<size_t>(j) * m + i] = k;
        }
    std::vector<int> s(m);
    RndList(m, s.data());
    k = 0;
    for (int i = 0; i < m; i++)
        for (int j = i + 1; j < m; j++)
            list[k++] = A[static_cast<size_t>(s[i] - 1) * m + (s[j] - 1)];
    return true;
}

void RndListBootstrap(int n, int* list) { RndListBootstrapN(n, n, list); }

void RndListBootstrapN(int n, int m, int* list, gsl_rng* g) {
    if (!g) return RndListBootstrapN(n, m, list);
    if (n < 1) return;
    for (int i = 0; i < m; i++) list[i] = 1 + U(n, g);
}

void RndListBootstrapN(int n, int m, int* list) {
    GeneratorLock lock(generatorMutex);
    RndListBootstrapN(n, m, list, r);
}

void RndListBootstrap(int n, int* list, gsl_rng* g) { RndListBootstrapN(n, n, list, g); }

bool CheckNestedDesign(int n, bool useBlocks, const int* blocks, bool useBundles, const int* bundles,
                       bool bundlesWithinBlocks, bool synchronized, const bool* sel) {
    NestedDesign d{n, useBlocks, blocks, useBundles, bundles, bundlesWithinBlocks, synchronized,
                   nullptr, sel};
    switch (Analyse(d).fault) {
    case DesignFault::none:
        return true;
    case DesignFault::unequalBlocks:
        printf("Nesting groups of unequal size. Synchronized permutation is not possible.\n");
        return false;
    case DesignFault::crossingBundles:
        printf("Bundles with units in more than one nesting group. Permutation among bundling "
               "blocks is not possible.\n");
        return false;
    case DesignFault::unbalancedBundles:
        printf("Unbalanced design. Permutation among bundling blocks is not possible.\n");
        return false;
    }
    return false;
}

bool RndListNestedNew(int n, bool useBlocks, const int* blocks, bool useBundles, const int* bundles,
                      bool bundlesWithinBlocks, int* list) {
    GeneratorLock lock(generatorMutex);
    return NestedList({n, useBlocks, blocks, useBundles, bundles, bundlesWithinBlocks, false, nullptr,
                       nullptr},
                      list);
}

bool RndListNestedNew(int n, bool useBlocks, const int* blocks, bool useBundles, const int* bundles,
                      int* list) {
    return RndListNestedNew(n, useBlocks, blocks, useBundles, bundles, false, list);
}

bool RndListNestedNew(int n, const int* groups, int* list) {
    return RndListNestedNew(n, true, groups, true, groups, false, list);
}

bool RndListNestedNew(int n, const int* groups, int mode, int* list) {
    return RndListNestedNew(n, mode == 1 || mode == 3, groups, mode == 2 || mode == 3, groups, false,
                            list);
}

bool RndListNestedSynchronized(int n, bool useBlocks, const int* blocks, bool useBundles,
                               const int* bundles, bool bundlesWithinBlocks, int* list,
                               bool synchronized, const int* order) {
    GeneratorLock lock(generatorMutex);
    return NestedList({n, useBlocks, blocks, useBundles, bundles, bundlesWithinBlocks, synchronized,
                       order, nullptr},
                      list);
}

bool RndListNestedSelect(int n, bool useBlocks, const int* blocks, bool useBundles, const int* bundles,
                         bool bundlesWithinBlocks, int* list, const bool* sel) {
    GeneratorLock lock(generatorMutex);
    return NestedList({n, useBlocks, blocks, useBundles, bundles, bundlesWithinBlocks, false, nullptr,
                       sel},
                      list);
}

void GetData(int n, int m, int p, int* kept, double** data, double** sample, const int* list,
             int dropEmpty) {
    GetData(n, m, p, kept, data, sample, list, dropEmpty, nullptr);
}

void GetData(int n, int m, int p, int* kept, double** data, double** sample, const int* list,
             int dropEmpty, int* columns) {
    const int rows = std::max(n, m);
    for (int i = 0; i < rows; i++)
        for (int j = 0; j < p; j++) sample[i][j] = 0;
    int c = 0;
    for (int j = 0; j < p; j++) {
        if (dropEmpty == 1) {
            bool any = false;
            for (int i = 0; i < m && !any; i++) any = data[list[i] - 1][j] != 0;
            if (!any) continue;
        }
        for (int i = 0; i < m; i++) sample[i][c] = data[list[i] - 1][j];
        if (columns) columns[c] = j;
        c++;
    }
    if (dropEmpty == 1) *kept = c;
}

int PermuteArray(int n, int k, int* list, bool first) {
    SubsetEnumeration& e = subsetList;
    if (!e.Next(n, k, first)) return 0;
    std::vector<char> isIn(e.n, 0);
    int w = 0;
    for (int i : e.index) {
        list[w++] = i + 1;
        isIn[i] = 1;
    }
    for (int u = 0; u < e.n; u++)
        if (!isIn[u]) list[w++] = u + 1;
    return static_cast<int>(e.Given());
}

int PermuteArrayBinary(int n, int k, int* flags, bool first) {
    SubsetEnumeration& e = subsetFlags;
    if (!e.Next(n, k, first)) return 0;
    for (int u = 0; u < e.n; u++) flags[u] = 0;
    for (int i : e.index) flags[i] = 1;
    return static_cast<int>(e.Given());
}

namespace drawn_blocks {

namespace {
// A loop of less processor time runs on the calling thread: starting the
// team and meeting it at the end costs more than a team can save on it.
std::atomic<double> leastShared{0.05};
}  // namespace

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

bool WorthATeam(int threads, int nBlocks, double blockSeconds, double drawSeconds) {
    // Each thread's share of a block, against the wait at the block's end:
    // on a machine whose processors are all busy, a member may get its turn
    // a good part of a millisecond late.
    constexpr double kShareSeconds = 0.001;
    if (threads < 2) return false;
    const double least = leastShared.load();
    if (least <= 0.0) return true;
    // With drawing the longer part, the team would wait for the thread that
    // draws the next block.
    if (blockSeconds * nBlocks < least || blockSeconds < drawSeconds) return false;
    return blockSeconds / threads >= kShareSeconds;
}

double SetLeastSharedSeconds(double seconds) { return leastShared.exchange(seconds); }

}  // namespace drawn_blocks

// ===========================================================================
// Bootstrap confidence limits
// ===========================================================================

int BootstrapIterationCap(int typed) {
    const long long t = typed;
    const long long cap = std::max(10 * t, t + 10000);
    return static_cast<int>(std::min<long long>(cap, INT_MAX));
}

int BootstrapEvenIterations(int typed, double alpha) {
    if (typed < 1 || !(alpha > 0.0 && alpha <= 1.0)) return 0;
    const long long cap = BootstrapIterationCap(typed);
    long long k = typed;
    while (std::fmod(static_cast<double>(k) * alpha, 2.0) > 0) {
        if (k >= cap) return 0;
        k++;
    }
    return static_cast<int>(k);
}

int BootstrapTailSize(int iterations, double alpha) {
    return static_cast<int>(static_cast<double>(iterations) * alpha * 0.5);
}

void BootstrapTailsReset(int m, double* low, double* high) {
    std::fill(low, low + m, DBL_MAX);
    std::fill(high, high + m, -DBL_MAX);
}

void BootstrapTailsAdd(int m, double* low, double* high, double v) {
    if (v < low[m - 1]) {
        double* at = std::upper_bound(low, low + m, v);
        std::copy_backward(at, low + m - 1, low + m);
        *at = v;
    }
    if (v > high[m - 1]) {
        double* at = std::upper_bound(high, high + m, v, std::greater<double>());
        std::copy_backward(at, high + m - 1, high + m);
        *at = v;
    }
}

void BootstrapTailsLimits(int m, const double* low, const double* high, int added, double* lower,
                          double* upper) {
    const bool formed = m >= 1 && added >= m;
    *lower = formed ? low[m - 1] : MISSING;
    *upper = formed ? high[m - 1] : MISSING;
}

int SamplerVectorMeanFunction(int n, const double* x, int iterations, double alpha, double* lower,
                              double* upper) {
    *lower = *upper = MISSING;
    const int raised = n >= 1 ? BootstrapEvenIterations(iterations, alpha) : 0;
    if (raised == 0) return 0;
    const int m = BootstrapTailSize(raised, alpha);
    std::vector<int> list(n);
    std::vector<double> low(m), high(m);
    BootstrapTailsReset(m, low.data(), high.data());
    int added = 0;
    for (int it = 0; it < raised; it++) {
        RndListBootstrap(n, list.data());
        double sum = 0.0;
        int count = 0;
        for (int i = 0; i < n; i++) {
            const double v = x[list[i] - 1];
            if (v == MISSING) continue;
            sum += v;
            count++;
        }
        const double mean = count > 0 ? sum / count : 0.0;
        if (count == 0 || !std::isfinite(mean)) continue;
        BootstrapTailsAdd(m, low.data(), high.data(), mean);
        added++;
    }
    BootstrapTailsLimits(m, low.data(), high.data(), added, lower, upper);
    return added >= m ? 1 : 0;
}

// ===========================================================================
// Beals smoothing and its tests
// ===========================================================================

namespace {

inline bool Known(double x) { return x != MISSING; }

// Co-occurrence term of one unit for reference value xa and target value xb
// (both known). Sums of terms run over the units in ascending order and skip
// zero terms only (adding 0 changes nothing), so that every routine below that
// forms the same sum gets the same bits.
inline double Term(int type, double xa, double xb) {
    switch (type) {
    case 0:
        return (xa > 0 && xb > 0) ? 1.0 : 0.0;
    case 1:
        return xb > 0 ? xa : 0.0;
    case 2:
        return xa * xb;
    default:
        return 0.0;
    }
}

inline bool KnownType(int type) { return type >= 0 && type <= 2; }

// Raw sums of the terms of reference a with target t (col[a]) and of a with
// itself (diag[a]), for every a.
void RawColumn(int t, int n, int p, double** X, int type, double* col, double* diag) {
    for (int a = 0; a < p; a++) col[a] = diag[a] = 0.0;
    for (int k = 0; k < n; k++) {
        const double* row = X[k];
        const double xt = row[t];
        for (int a = 0; a < p; a++) {
            const double xa = row[a];
            if (!Known(xa)) continue;
            const double self = Term(type, xa, xa);
            if (self != 0) diag[a] += self;
            if (Known(xt)) {
                const double v = Term(type, xa, xt);
                if (v != 0) col[a] += v;
            }
        }
    }
}

// Conditional value of reference a from its raw sum (types 0 and 1 divide by
// the positive raw diagonal).
inline double Conditional(int type, double raw, double diag) {
    if (type == 0 || type == 1) return diag > 0 ? raw / diag : raw;
    return type == 2 ? raw : 0.0;
}

// Column t of the conditional matrix that the smoothing uses (after the
// diagonal rule of include and the second scaling of normalize).
void ConditionalColumn(int t, int n, int p, double** X, double* col, int type, bool normalize,
                       bool include) {
    if (normalize && KnownType(type)) {
        double** M0 = dim2DT<double>(p, p);
        ConditionalProb(n, p, X, M0, type, true);
        if (!include) {
            for (int a = 0; a < p; a++) M0[a][a] = 0;
            UnitSumRowsAdj(p, p, M0, M0);
        }
        for (int a = 0; a < p; a++) col[a] = M0[a][t];
        free2DT(M0, p);
        return;
    }
    std::vector<double> diag(p);
    RawColumn(t, n, p, X, type, col, diag.data());
    for (int a = 0; a < p; a++)
        if (a != t) col[a] = Conditional(type, col[a], diag[a]);
    col[t] = (type == 0 || type == 1) ? 1.0 : (type == 2 ? diag[t] : 0.0);
    if (!include) col[t] = 0;
}

// The division of the smoothing without include: by 1 - w, 0 where the unit
// holds that taxon alone. A missing cell had no share in the sum: not divided.
inline double WithoutOwnShare(double value, double w) {
    if (!Known(w)) return value;
    if (w == 1) return 0.0;
    return value / (1 - w);
}

void OlderSmoothing(int n, int p, double** X, double** out, bool include, double** M0, bool adjust) {
    double** W = dim2DT<double>(n, p);
    UnitSumRowsAdjMV(n, p, W, X);
    if (include) {
        MatrixProdMV(n, p, p, p, W, M0, out);
    } else {
        for (int a = 0; a < p; a++) {
            M0[a][a] = 0;
            if (adjust)
                for (int b = 0; b < p; b++)
                    if (b != a) {
                        double d = 1 - M0[a][b];
                        M0[a][b] /= d == 0 ? 1 : d;
                    }
        }
        for (int i = 0; i < n; i++)
            for (int b = 0; b < p; b++) {
                const double wb = W[i][b];
                if (wb == 1) {
                    out[i][b] = 0;
                    continue;
                }
                const double div = Known(wb) ? 1 - wb : 1.0;
                double s = 0;
                for (int a = 0; a < p; a++)
                    if (Known(W[i][a])) s += W[i][a] / div * M0[a][b];
                out[i][b] = s;
            }
    }
    free2DT(W, n);
}

// ---------------------------------------------------------------------------
// The permutation tests. For taxon t a permutation moves the values of column
// t among the units that take part; the statistic reads only the smoothed
// column t (without the taxon's own value) of the permuted table.
// ---------------------------------------------------------------------------

enum class BealsStatistic { median = 1, mean = 2, correlation = 3 };

// Per-thread work vectors, allocated once per test.
struct BealsBuffers {
    std::vector<double> y;         // the permuted column
    std::vector<double> dot;       // by unit
    std::vector<double> byTaxon;   // conditional values of the permuted column
    std::vector<double> smoothed;  // by unit
    std::vector<int> flagP, flagA;
    int taxon = -1;
    std::vector<int> units;  // the units whose smoothed value the statistic reads
    double** table = nullptr;     // whole-table test: the permuted table
    double** tableOut = nullptr;  // and its smoothing
    int rows = 0;
    explicit BealsBuffers(int n, int p)
        : y(n), dot(n), byTaxon(p), smoothed(n), flagP(n), flagA(n) {}
    ~BealsBuffers() {
        if (table) free2DT(table, rows);
        if (tableOut) free2DT(tableOut, rows);
    }
    BealsBuffers(const BealsBuffers&) = delete;
    BealsBuffers& operator=(const BealsBuffers&) = delete;
};

// What every permutation of one test reads and no thread changes.
//
// For taxon t, the smoothed value of unit i without its own share is
//   dot_i / (the total of the other taxa of unit i),
//   dot_i = sum over a != t of x_ia m_a,  m_a = c_a / d_a,
//   c_a = sum over the units k of f(x_ka) w(y_k),
// y the permuted column t, d_a the raw diagonal (types 0 and 1 divide by it
// when positive), f(x) = [x > 0] for type 0 and x otherwise, w(y) = [y > 0]
// for types 0 and 1 and y for type 2. Without normalisation dot_i is linear
// in w:
//   dot_i = sum over k of w(y_k) K[k][i] - x_it c_t / d_t,
//   K[k][i] = sum over every a of x_ia f(x_ka) / d_a,
// so a permutation costs one pass over the units where w is non-zero instead
// of one over every known value. K is n x n and takes a pass over the pairs
// of units sharing each taxon to build: it pays only while the units are no
// more than the taxa. Otherwise, and with normalisation, m is formed taxon by
// taxon from c; with normalisation m_a is also divided by the sum of row a of
// the conditional matrix without its diagonal, which depends on c_a.
class BealsModel {
public:
    BealsModel(int n, int p, double** X, int type, bool normalize)
        : n_(n), p_(p), type_(type), X_(X), diag_(p, 0.0), rowTotal_(n, 0.0) {
        for (int k = 0; k < n; k++)
            for (int a = 0; a < p; a++) {
                const double x = X[k][a];
                if (!Known(x)) continue;
                rowTotal_[k] += x;
                const double self = Term(type, x, x);
                if (self != 0) diag_[a] += self;
            }
        if (!KnownType(type)) return;  // nothing is counted: every value is 0
        if (!normalize && n <= p) {
            K_ = dim2DT<double>(n, n);
            std::vector<int> units;
            for (int a = 0; a < p; a++) {
                units.clear();
                for (int k = 0; k < n; k++)
                    if (Known(X[k][a]) && X[k][a] != 0) units.push_back(k);
                for (int k : units) {
                    const double f = F(X[k][a]);
                    if (f == 0) continue;
                    const double coef = f / Divisor(diag_[a]);
                    double* Kk = K_[k];
                    for (int i : units) Kk[i] += X[i][a] * coef;
                }
            }
            return;
        }
        start_.assign(n + 1, 0);
        for (int k = 0; k < n; k++) {
            for (int a = 0; a < p; a++) {
                const double x = X[k][a];
                if (!Known(x) || x == 0) continue;
                col_.push_back(a);
                val_.push_back(x);
            }
            start_[k + 1] = static_cast<int>(col_.size());
        }
        sparse_ = true;
        if (!normalize) return;
        // Each reference taxon's sum of conditional values over the other
        // targets, for the second scaling.
        G_ = dim2DT<double>(p, p);
        ConditionalProb(n, p, X, G_, type, false);
        rowSum_.assign(p, 0.0L);
        for (int a = 0; a < p; a++) {
            G_[a][a] = 0;
            for (int b = 0; b < p; b++) rowSum_[a] += G_[a][b];
        }
    }
    ~BealsModel() {
        if (K_) free2DT(K_, n_);
        if (G_) free2DT(G_, p_);
    }
    BealsModel(const BealsModel&) = delete;
    BealsModel& operator=(const BealsModel&) = delete;

    // Smoothed values of taxon t without its own share, for the units of
    // b.units, in the table whose column t is X[list[k] - 1][t] (b.y holds
    // that column afterwards; b.smoothed the values).
    void Column(int t, const int* list, BealsBuffers& b) const {
        double* y = b.y.data();
        for (int k = 0; k < n_; k++) y[k] = X_[list[k] - 1][t];
        double* dot = b.dot.data();
        std::fill(dot, dot + n_, 0.0);
        if (K_) {
            double ct = 0;
            for (int k = 0; k < n_; k++) {
                const double w = W(y[k]);
                if (w == 0) continue;
                const double* Kk = K_[k];
                for (int i = 0; i < n_; i++) dot[i] += w * Kk[i];
                if (Known(X_[k][t])) ct += F(X_[k][t]) * w;
            }
            const double mt = ct / Divisor(diag_[t]);
            for (int i : b.units)
                if (Known(X_[i][t])) dot[i] -= X_[i][t] * mt;
        } else if (sparse_) {
            double* c = b.byTaxon.data();
            std::fill(c, c + p_, 0.0);
            for (int k = 0; k < n_; k++) {
                const double w = W(y[k]);
                if (w == 0) continue;
                for (int e = start_[k]; e < start_[k + 1]; e++) c[col_[e]] += F(val_[e]) * w;
            }
            for (int a = 0; a < p_; a++) {
                const double g = c[a] / Divisor(diag_[a]);
                if (!G_) {
                    c[a] = g;
                    continue;
                }
                const double s = static_cast<double>(rowSum_[a] - G_[a][t] + g);
                c[a] = g / (s == 0 ? 1.0 : s);
            }
            c[t] = 0;
            for (int i : b.units) {
                // Four partial sums, so that the additions need not wait on
                // one another.
                double d[4] = {0, 0, 0, 0};
                const int end = start_[i + 1];
                int e = start_[i];
                for (; e + 4 <= end; e += 4)
                    for (int u = 0; u < 4; u++) d[u] += val_[e + u] * c[col_[e + u]];
                for (; e < end; e++) d[0] += val_[e] * c[col_[e]];
                dot[i] = (d[0] + d[1]) + (d[2] + d[3]);
            }
        }
        for (int i : b.units) {
            const double other = rowTotal_[i] - (Known(X_[i][t]) ? X_[i][t] : 0.0);
            // (dot / total) / (1 - y / total) is dot over the total of the
            // other taxa: one rounding instead of three.
            if (other + y[i] == 0)
                b.smoothed[i] = WithoutOwnShare(dot[i], y[i]);  // a zero total counts as 1
            else
                b.smoothed[i] = other == 0 ? 0.0 : dot[i] / other;
        }
    }

private:
    double F(double x) const { return type_ == 0 ? (x > 0 ? 1.0 : 0.0) : x; }
    double W(double y) const {
        if (!Known(y)) return 0.0;
        return type_ == 2 ? y : (y > 0 ? 1.0 : 0.0);
    }
    double Divisor(double d) const { return (type_ == 0 || type_ == 1) && d > 0 ? d : 1.0; }

    int n_, p_, type_;
    double** X_;
    std::vector<double> diag_;      // raw diagonal of the conditional matrix
    std::vector<double> rowTotal_;  // of the known values of each unit
    double** K_ = nullptr;          // without normalisation, no more units than taxa
    bool sparse_ = false;           // otherwise: m taxon by taxon from
    std::vector<int> start_, col_;  // the non-zero known values, row by row
    std::vector<double> val_;
    double** G_ = nullptr;          // with normalisation: conditional values, zero diagonal
    std::vector<long double> rowSum_;
};

// The statistic of taxon t from b.smoothed, with presence read from b.y.
double Statistic(BealsStatistic s, int n, BealsBuffers& b, int nPres, int nAbs, const int* take) {
    if (s == BealsStatistic::correlation)
        return Correlation2VecSelectMV(n, b.y.data(), b.smoothed.data(), take);
    if (s == BealsStatistic::mean) {
        double sumP = 0, sumA = 0;
        for (int i : b.units) {
            if (b.y[i] > 0)
                sumP += b.smoothed[i];
            else if (b.y[i] == 0)
                sumA += b.smoothed[i];
        }
        return sumP / nPres - sumA / nAbs;
    }
    std::fill(b.flagP.begin(), b.flagP.end(), 0);
    std::fill(b.flagA.begin(), b.flagA.end(), 0);
    for (int i : b.units) {
        if (b.y[i] > 0) b.flagP[i] = 1;
        if (b.y[i] == 0) b.flagA[i] = 1;
    }
    return Median(n, b.smoothed.data(), b.flagP.data()) - Median(n, b.smoothed.data(), b.flagA.data());
}

enum class Smoothing { column, wholeTable };

// Algorithm shared by the three tests. The lists of one taxon are drawn by one
// thread in the one-thread order (taxon after taxon, permutation after
// permutation) while the team evaluates the previous taxon's lists.
void RunBealsTest(int n, int p, int nPerm, double** X, double* stat, double* prob, int type,
                  bool normalize, BealsStatistic statistic, Smoothing smoothing) {
    if (n <= 0 || p <= 0) return;
    if (nPerm < 1) nPerm = 1;

    // Units that take part: known value and a non-zero smoothed value with
    // the taxon's own value included.
    double** S1 = dim2DT<double>(n, p);
    BealsSmoothing(n, p, X, X, S1, false, 0, nullptr, true, type, normalize);
    std::vector<int> take(static_cast<size_t>(p) * n);
    std::vector<int> nPres(p, 0), nAbs(p, 0);
    std::vector<char> testable(p, 0);
    for (int t = 0; t < p; t++) {
        int* tk = &take[static_cast<size_t>(t) * n];
        double lo = 0, hi = 0;
        int nTake = 0;
        for (int i = 0; i < n; i++) {
            const double x = X[i][t];
            tk[i] = Known(x) && !AlmostEqual2sComplement(S1[i][t], 0, 1);
            if (Known(x) && x > 0) nPres[t]++;
            if (x == 0) nAbs[t]++;
            if (tk[i]) {
                if (nTake == 0 || x < lo) lo = x;
                if (nTake == 0 || x > hi) hi = x;
                nTake++;
            }
        }
        testable[t] = statistic == BealsStatistic::correlation ? (nTake >= 2 && lo < hi)
                                                               : (nPres[t] > 0 && nAbs[t] > 0);
    }
    free2DT(S1, n);

    std::unique_ptr<BealsModel> model;
    double** S2 = nullptr;
    if (smoothing == Smoothing::column) {
        model.reset(new BealsModel(n, p, X, type, normalize));
    } else {
        S2 = dim2DT<double>(n, p);
        BealsSmoothing(n, p, X, X, S2, false, 0, nullptr, false, type, normalize);
    }

    const int nThreads = std::max(1, omp_get_max_threads());
    std::vector<std::unique_ptr<BealsBuffers>> buffers;
    for (int k = 0; k < nThreads; k++) {
        buffers.emplace_back(new BealsBuffers(n, p));
        if (smoothing == Smoothing::wholeTable) {
            BealsBuffers& b = *buffers.back();
            b.rows = n;
            b.table = dim2DT<double>(n, p);
            b.tableOut = dim2DT<double>(n, p);
            for (int i = 0; i < n; i++)
                for (int a = 0; a < p; a++) b.table[i][a] = X[i][a];
        }
    }

    // Prepares b for taxon t (its units; the whole-table buffer gets back the
    // column of the taxon it held before).
    auto forTaxon = [&](BealsBuffers& b, int t) {
        if (b.taxon == t) return;
        if (b.table && b.taxon >= 0)
            for (int i = 0; i < n; i++) b.table[i][b.taxon] = X[i][b.taxon];
        b.taxon = t;
        b.units.clear();
        const int* tk = &take[static_cast<size_t>(t) * n];
        for (int i = 0; i < n; i++) {
            const double x = X[i][t];
            // Presence and absence follow the permuted values, so every unit
            // whose value may move or count is evaluated.
            if (statistic == BealsStatistic::correlation ? tk[i] == 1 : Known(x))
                b.units.push_back(i);
        }
    };
    // The statistic of taxon t in the table permuted by list.
    auto evaluate = [&](int t, const int* list, BealsBuffers& b) {
        forTaxon(b, t);
        const int* tk = &take[static_cast<size_t>(t) * n];
        if (model) {
            model->Column(t, list, b);
        } else {
            for (int i = 0; i < n; i++) b.y[i] = b.table[i][t] = X[list[i] - 1][t];
            BealsSmoothing(n, p, b.table, b.table, b.tableOut, false, 0, nullptr, false, type,
                           normalize);
            for (int i : b.units) b.smoothed[i] = b.tableOut[i][t];
        }
        return Statistic(statistic, n, b, nPres[t], nAbs[t], tk);
    };

    // Observed statistics: the same computation on the unpermuted table, so
    // that a permutation leaving the column as it was gives the very same
    // value (whole-table test: from the smoothing of X).
    std::vector<int> identity(n);
    for (int i = 0; i < n; i++) identity[i] = i + 1;
#pragma omp parallel for schedule(dynamic, 1)
    for (int t = 0; t < p; t++) {
        BealsBuffers& b = *buffers[omp_get_thread_num()];
        stat[t] = MISSING;
        prob[t] = 1.0;
        if (!testable[t]) continue;
        if (model) {
            stat[t] = evaluate(t, identity.data(), b);
        } else {
            forTaxon(b, t);
            for (int i = 0; i < n; i++) b.y[i] = X[i][t];
            for (int i : b.units) b.smoothed[i] = S2[i][t];
            stat[t] = Statistic(statistic, n, b, nPres[t], nAbs[t], &take[static_cast<size_t>(t) * n]);
        }
    }
    if (S2) free2DT(S2, n);

    // Permutations 2..nPerm of each taxon, taxon after taxon: item k is
    // permutation k % nRandom + 2 of taxon k / nRandom. Blocks hold the lists
    // of at most 2^20 units.
    const int nRandom = nPerm - 1;
    const long long nItems = static_cast<long long>(p) * nRandom;
    const long long chunk = std::max(1, (1 << 20) / n);
    const int nBlocks = static_cast<int>((nItems + chunk - 1) / chunk);
    std::vector<int> count(p, 1);

    RunDrawnBlocks(
        nBlocks,
        [&](int blk, std::vector<int>& store) {
            const long long first = blk * chunk;
            const int items = static_cast<int>(std::min(chunk, nItems - first));
            store.resize(static_cast<size_t>(items) * n);
            for (int q = 0; q < items; q++) {
                const int t = static_cast<int>((first + q) / nRandom);
                int* list = &store[static_cast<size_t>(q) * n];
                for (int i = 0; i < n; i++) list[i] = i + 1;
                RndListSelect(n, list, &take[static_cast<size_t>(t) * n]);
            }
            return items;
        },
        [&](int blk, int q, const std::vector<int>& store, int thread) {
            const long long item = blk * chunk + q;
            const int t = static_cast<int>(item / nRandom);
            if (!testable[t]) return;
            char text[96];
            snprintf(text, sizeof text, "Taxon: %d %d Permutation: %d %d", p, t + 1, nPerm,
                     static_cast<int>(item % nRandom) + 2);
            HandleEventInfoWhere2(text);
            double s = evaluate(t, &store[static_cast<size_t>(q) * n], *buffers[thread]);
            if (IsLargerThanOrEqual(s, stat[t], 1, false)) {
#pragma omp atomic
                count[t]++;
            }
        });

    for (int t = 0; t < p; t++)
        if (testable[t]) prob[t] = static_cast<double>(count[t]) / nPerm;
}

}  // namespace

void ConditionalProb(int n, int p, double** X, double** M, int type, bool normalize) {
    for (int a = 0; a < p; a++)
        for (int b = 0; b < p; b++) M[a][b] = 0;
    if (!KnownType(type)) return;
    std::vector<int> pos, nz;
    for (int k = 0; k < n; k++) {
        const double* row = X[k];
        pos.clear();
        nz.clear();
        for (int a = 0; a < p; a++) {
            const double x = row[a];
            if (!Known(x) || x == 0) continue;
            nz.push_back(a);
            if (x > 0) pos.push_back(a);
        }
        // Only non-zero terms are added (see Term).
        if (type == 0) {
            for (int a : pos)
                for (int b : pos) M[a][b] += 1.0;
        } else if (type == 1) {
            for (int a : nz)
                for (int b : pos) M[a][b] += row[a];
        } else {
            for (int a : nz)
                for (int b : nz) M[a][b] += row[a] * row[b];
        }
    }
    if (type == 0 || type == 1) {
        for (int a = 0; a < p; a++) {
            const double d = M[a][a];
            if (d > 0)
                for (int b = 0; b < p; b++)
                    if (b != a) M[a][b] /= d;
            M[a][a] = 1;
        }
    }
    if (normalize) UnitSumRowsAdj(p, p, M, M);
}

void ConditionalProb(int n, int p, double** X, double** M, int type) {
    ConditionalProb(n, p, X, M, type, type == 2);
}

void ConditionalProb(int n, int p, double** X, double** M) { ConditionalProb(n, p, X, M, 1, false); }

void ConditionalProb(int taxon, int n, int p, double** X, double** M, int type, bool normalize) {
    if (taxon < 0 || taxon >= p) return;
    if (normalize && KnownType(type)) {
        ConditionalProb(n, p, X, M, type, true);
        return;
    }
    std::vector<double> row(p, 0.0), col(p), diag(p);
    RawColumn(taxon, n, p, X, type, col.data(), diag.data());
    for (int k = 0; k < n; k++) {
        const double xt = X[k][taxon];
        if (!Known(xt)) continue;
        for (int b = 0; b < p; b++) {
            const double xb = X[k][b];
            if (!Known(xb)) continue;
            const double v = Term(type, xt, xb);
            if (v != 0) row[b] += v;
        }
    }
    for (int a = 0; a < p; a++) {
        if (a == taxon) continue;
        M[taxon][a] = Conditional(type, row[a], diag[taxon]);
        M[a][taxon] = Conditional(type, col[a], diag[a]);
    }
    for (int a = 0; a < p; a++) M[a][a] = (type == 0 || type == 1) ? 1.0 : (type == 2 ? diag[a] : 0.0);
}

void ConditionalProb(int taxon, int n, int p, double** X, double** M, int type) {
    ConditionalProb(taxon, n, p, X, M, type, type == 2);
}

void BealsSmoothing(int n, int p, double** X, double** Xref, double** out, bool testMode, int taxon,
                    double** M, bool include, int type, bool normalize) {
    if (n <= 0 || p <= 0) return;
    double** W = dim2DT<double>(n, p);
    UnitSumRowsAdjMV(n, p, W, X);
    if (testMode) {
        if (taxon >= 0 && taxon < p) {
            std::vector<double> col(p);
            ConditionalColumn(taxon, n, p, Xref, col.data(), type, normalize, include);
            for (int i = 0; i < n; i++) {
                double s = 0;
                bool any = false;
                for (int a = 0; a < p; a++)
                    if (Known(W[i][a]) && Known(col[a])) {
                        s += W[i][a] * col[a];
                        any = true;
                    }
                double v = any ? s : MISSING;
                out[i][taxon] = include ? v : WithoutOwnShare(v, W[i][taxon]);
            }
        }
        free2DT(W, n);
        return;
    }
    double** M0 = dim2DT<double>(p, p);
    ConditionalProb(n, p, Xref, M0, type, normalize);
    if (!include) {
        for (int a = 0; a < p; a++) M0[a][a] = 0;
        if (normalize) UnitSumRowsAdj(p, p, M0, M0);
    }
    MatrixProdMV(n, p, p, p, W, M0, out);
    if (M)
        for (int a = 0; a < p; a++)
            for (int b = 0; b < p; b++) M[a][b] = M0[a][b];
    if (!include)
        for (int i = 0; i < n; i++)
            for (int j = 0; j < p; j++) out[i][j] = WithoutOwnShare(out[i][j], W[i][j]);
    free2DT(M0, p);
    free2DT(W, n);
}

void BealsSmoothing(int n, int p, double** X, double** Xref, double** out, bool testMode, int taxon,
                    double** M, bool include, int type) {
    BealsSmoothing(n, p, X, Xref, out, testMode, taxon, M, include, type, type == 2);
}

void BealsSmoothing(int n, int p, double** X, double** Xref, double** out, bool include) {
    if (n <= 0 || p <= 0) return;
    double** M0 = dim2DT<double>(p, p);
    ConditionalProb(n, p, Xref, M0);
    OlderSmoothing(n, p, X, out, include, M0, false);
    free2DT(M0, p);
}

void BealsSmoothing(int n, int p, double** X, double** Xref, double** out, bool include, int type) {
    if (n <= 0 || p <= 0) return;
    double** M0 = dim2DT<double>(p, p);
    ConditionalProb(n, p, Xref, M0, type);
    OlderSmoothing(n, p, X, out, include, M0, type == 2);
    free2DT(M0, p);
}

void BealsSmoothing(int n, int p, double** X, double** Xref, double** out, bool include, int type,
                    bool normalize) {
    if (n <= 0 || p <= 0) return;
    double** M0 = dim2DT<double>(p, p);
    ConditionalProb(n, p, Xref, M0, type, normalize);
    OlderSmoothing(n, p, X, out, include, M0, normalize);
    free2DT(M0, p);
}

void BealsTest_Partial(int n, int p, int nPerm, double** X, double* stat, double* prob, int type,
                       bool normalize, int statistic) {
    if (statistic != 1 && statistic != 2) {
        // No such statistic: nothing can be tested.
        for (int t = 0; t < p; t++) stat[t] = MISSING, prob[t] = 1.0;
        return;
    }
    RunBealsTest(n, p, nPerm, X, stat, prob, type, normalize,
                 statistic == 1 ? BealsStatistic::median : BealsStatistic::mean, Smoothing::column);
}

void BealsTest_Partial(int n, int p, int nPerm, double** X, double* stat, double* prob, int type) {
    BealsTest_Partial(n, p, nPerm, X, stat, prob, type, type == 2, 2);
}

void BealsTest(int n, int p, int nPerm, double** X, double* stat, double* prob, int type) {
    RunBealsTest(n, p, nPerm, X, stat, prob, type, type == 2, BealsStatistic::mean,
                 Smoothing::wholeTable);
}

void BealsTestBSA(int n, int p, int nPerm, double** X, double* stat, double* prob, int type) {
    RunBealsTest(n, p, nPerm, X, stat, prob, type, type == 2, BealsStatistic::correlation,
                 Smoothing::column);
}

// ===========================================================================
// Analysis dispatchers
// ===========================================================================

#include <cmath>
#include <exception>
#include <vector>

#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"

namespace dispatch_detail {

// A table with the compared entities as rows: the caller's own table, or a
// transposed copy of it that the object owns (the caller's stays untouched).
class EntityRows {
public:
    EntityRows(int n, int p, double** data, bool transpose)
        : rows_(transpose ? p : n), cols_(transpose ? n : p), own_(transpose) {
        if (!own_) {
            x_ = data;
            return;
        }
        x_ = dim2DT<double>(rows_, cols_);
        TransposeMatrix(n, p, data, x_);
    }
    ~EntityRows() {
        if (own_) free2DT(x_, rows_);
    }
    EntityRows(const EntityRows&) = delete;
    EntityRows& operator=(const EntityRows&) = delete;
    int rows() const { return rows_; }
    int cols() const { return cols_; }
    double** get() const { return x_; }

private:
    int rows_, cols_;
    bool own_;
    double** x_ = nullptr;
};

// Measure 21: the second eigenvalue of the 2 x 2 cross-product of each pair
// of rows after centring and normalising them in a work copy. Pairs are
// independent, so the team shares them without changing any value; a failure
// inside the team is carried out of it and raised again on this thread.
void SecondEigenvalues(int m, int q, double** X, double** R) {
    double** work = dim2DT<double>(m, q);
    CenterRowsMV(m, q, X, work);
    NormalizeRowsMV(m, q, work, work);
    std::exception_ptr failure;
#pragma omp parallel for schedule(dynamic, 8)
    for (int i = 0; i < m; i++) {
        try {
            for (int j = i + 1; j < m; j++) {
                double second = 0.0;
                HierFactorialEigen(q, work[i], work[j], nullptr, &second, nullptr, nullptr);
                R[i][j] = second;
            }
        } catch (...) {
#pragma omp critical
            if (!failure) failure = std::current_exception();
        }
    }
    free2DT(work, m);
    if (failure) std::rethrow_exception(failure);
}

// Measure 8: Rajski's metric sqrt(1 - c^2) from the coherence coefficient c,
// 0 where rounding takes 1 - c^2 to 0 or below.
void RajskiFromCoherence(int m, double** R) {
    for (int i = 0; i < m; i++)
        for (int j = i; j < m; j++) {
            const double c = R[i][j];
            if (c == MISSING) continue;
            R[i][j] = RootOfOneLessSquare(c);
        }
}

// The routine of one measure on the rows of X (m x q): false when it refused
// the table (R then unchanged).
bool ComputeMeasure(int measure, int m, int q, double** X, double** R, const int* varType,
                    double alpha, double k, int countDoubleAbsence, bool printTables) {
    switch (measure) {
        case 1: CrossProductMV(m, q, X, R); return true;
        case 2: AbsValFunctionMV(m, q, X, R); return true;
        case 3: EucliDistMV(m, q, X, R); return true;
        case 4: MutualInformationMV(m, q, X, R); return true;
        case 5: GowerMVOpt(m, q, varType, X, R, nullptr, nullptr, countDoubleAbsence); return true;
        case 6: return MDISMV(m, q, X, R, printTables);
        case 7: return MutualEntropyPairwiseMV(m, q, X, R, alpha, printTables);
        case 8:
            if (!CoheCoefPairwiseMV(m, q, X, R, alpha, printTables)) return false;
            RajskiFromCoherence(m, R);
            return true;
        case 9: return CoheCoefPairwiseMV(m, q, X, R, alpha, printTables);
        case 10: return QuiSquareMV(m, q, X, R, printTables);
        case 11: Jaccard(m, q, X, R); return true;
        case 12: SimpleMatching(m, q, X, R); return true;
        case 13: SokalMichener(m, q, X, R); return true;
        case 14: Ochiai(m, q, X, R); return true;
        case 15: Sorensen(m, q, X, R); return true;
        case 16: MeanSquareContingency(m, q, X, R); return true;
        case 17: CorrelationMV(m, q, X, R); return true;
        case 18: ChordDistMV(m, q, X, R); return true;
        // The parameter is held in single precision, as the menus always have.
        case 19: LegendreChodorowski(m, q, X, R, nullptr, static_cast<double>(static_cast<float>(k))); return true;
        case 20: BrayCurtisMV(m, q, X, R); return true;
        case 21: SecondEigenvalues(m, q, X, R); return true;
        case 22: CovarianceMV(m, q, X, R); return true;
        case 23: JaccardDissimilarity(m, q, X, R); return true;
        case 24: JaccardTurnover(m, q, X, R); return true;
        case 25: JaccardNestedness(m, q, X, R); return true;
        case 26: SorensenDissimilarity(m, q, X, R); return true;
        case 27: SorensenTurnover(m, q, X, R); return true;
        case 28: SorensenNestedness(m, q, X, R); return true;
        case 29: return Mahalanobis(m, q, X, R);
        default: return false;
    }
}

// Post-transformation of the upper triangle with the diagonal. MISSING
// entries (undefined values) stay MISSING. Returns false when a square root
// met a negative entry (given its signed root).
bool PostTransform(int m, double** R, int postTransf) {
    bool negative = false;
    if (postTransf != 1 && postTransf != 2) return true;
    for (int i = 0; i < m; i++)
        for (int j = i; j < m; j++) {
            const double v = R[i][j];
            if (v == MISSING) continue;
            if (postTransf == 1) {
                R[i][j] = v * v;
            } else if (v >= 0.0) {
                R[i][j] = std::sqrt(v);
            } else {
                R[i][j] = -std::sqrt(-v);
                negative = true;
            }
        }
    return !negative;
}

// Scalar transformation cell by cell: 1 presence/absence (values above 0
// become 1), 2 square root of the absolute value, 3 log10(x + 1) of the
// values above 0. MISSING stays in every option.
void ScalarTransformation(int n, int p, double** X, int option) {
    if (option < 1 || option > 3) return;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) {
            double& x = X[i][j];
            if (x == MISSING) continue;
            if (option == 1) {
                if (x > 0) x = 1.0;
            } else if (option == 2) {
                x = std::sqrt(std::fabs(x));
            } else if (x > 0) {
                x = std::log10(x + 1.0);
            }
        }
}

// Classes (8) or ranks (9) of every row (byRows) or every column of X.
void VectorByVector(int n, int p, double** X, bool byRows, int option, int nClasses) {
    const int count = byRows ? n : p, length = byRows ? p : n;
    std::vector<double> in(length), res(length);
    for (int v = 0; v < count; v++) {
        for (int k = 0; k < length; k++) in[k] = byRows ? X[v][k] : X[k][v];
        if (option == 8) {
            if (!ClassesMV(length, in.data(), res.data(), nClasses)) continue;
        } else {
            RankVectorAdjMV(length, in.data(), res.data());
        }
        for (int k = 0; k < length; k++) (byRows ? X[v][k] : X[k][v]) = res[k];
    }
}

// What each form of the transformation dispatcher offers.
struct TransformForm {
    bool columnDeviations;  // column option 6
    bool beals;             // row option 11
    const int* groups;      // column option 12 when not null
};

void ColumnTransformation(int n, int p, double** X, int option, int nClasses, const TransformForm& form) {
    switch (option) {
        case 1: UnitSumColsAdjMV(n, p, X, X); break;
        case 2: CenterColsCovMV(n, p, X, X); break;
        case 3: CenterColsMV(n, p, X, X); break;
        case 4: NormalizeColsMV(n, p, X, X); break;
        case 5:
            CenterColsMV(n, p, X, X);
            NormalizeColsMV(n, p, X, X);
            break;
        case 6:
            if (form.columnDeviations) DeviationsExpectationsMV(n, p, X, X);
            break;
        case 7: RangeColsAdjMV(n, p, X, X); break;
        case 8:
        case 9: VectorByVector(n, p, X, false, option, nClasses); break;
        case 10: HellingerColsAdjMV(n, p, X, X); break;
        case 12:
            if (form.groups) DeviationsGroupMeansMV(n, p, X, X, form.groups);
            break;
        default: break;
    }
}

void RowTransformation(int n, int p, double** X, int option, int nClasses, int BealsTypeOpt,
                       bool BealsIncludeOpt, bool BealsNormalizeOpt, const TransformForm& form) {
    switch (option) {
        case 1: UnitSumRowsAdjMV(n, p, X, X); break;
        case 2: CenterRowsCovMV(n, p, X, X); break;
        case 3: CenterRowsMV(n, p, X, X); break;
        case 4: NormalizeRowsMV(n, p, X, X); break;
        case 5:
            CenterRowsMV(n, p, X, X);
            NormalizeRowsMV(n, p, X, X);
            break;
        case 6: DeviationsExpectationsMV(n, p, X, X); break;
        case 7: RangeRowsAdjMV(n, p, X, X); break;
        case 8:
        case 9: VectorByVector(n, p, X, true, option, nClasses); break;
        case 10: HellingerRowsAdjMV(n, p, X, X); break;
        case 11:
            if (form.beals)
                BealsSmoothing(n, p, X, X, X, false, 0, nullptr, BealsIncludeOpt, BealsTypeOpt,
                               BealsNormalizeOpt);
            break;
        default: break;
    }
}

void Transform(int n, int p, double** X, int scalarOpt, int colOpt, int rowOpt, int nClassesVar,
               int nClassesUnits, int BealsTypeOpt, bool BealsIncludeOpt, bool BealsNormalizeOpt,
               const TransformForm& form) {
    HandleEventInfoWhere("DataTransformationsLib");
    ScalarTransformation(n, p, X, scalarOpt);
    ColumnTransformation(n, p, X, colOpt, nClassesVar, form);
    RowTransformation(n, p, X, rowOpt, nClassesUnits, BealsTypeOpt, BealsIncludeOpt, BealsNormalizeOpt,
                      form);
}

}  // namespace dispatch_detail

int DataTransformationsLib(int n, int p, double** data, int scalarOpt, int colOpt, int rowOpt,
                           int nClassesVar, int nClassesUnits, int BealsTypeOpt,
                           bool BealsIncludeOpt, bool BealsNormalizeOpt) {
    dispatch_detail::Transform(n, p, data, scalarOpt, colOpt, rowOpt, nClassesVar, nClassesUnits,
                               BealsTypeOpt, BealsIncludeOpt, BealsNormalizeOpt, {false, true, nullptr});
    return 1;
}

int DataTransformationsLib(int n, int p, double** data, int scalarOpt, int colOpt, int rowOpt,
                           int nClassesVar, int nClassesUnits, int BealsTypeOpt,
                           bool BealsIncludeOpt, bool BealsNormalizeOpt, const int* groups) {
    dispatch_detail::Transform(n, p, data, scalarOpt, colOpt, rowOpt, nClassesVar, nClassesUnits,
                               BealsTypeOpt, BealsIncludeOpt, BealsNormalizeOpt, {false, true, groups});
    return 1;
}

int DataTransformationsLib_D(int n, int p, double** data, int scalarOpt, int colOpt, int rowOpt,
                             int nClassesVar, int nClassesUnits) {
    dispatch_detail::Transform(n, p, data, scalarOpt, colOpt, rowOpt, nClassesVar, nClassesUnits, 0,
                               false, false, {true, false, nullptr});
    return 1;
}

namespace dispatch_detail {

bool AllFinite(int n, double** R) {
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            if (R[i][j] == MISSING || !std::isfinite(R[i][j])) return false;
    return true;
}

// Number of axes: the eigenvalues above 1e-6 per cent of the total of the
// positive ones.
int CountAxes(int n, const double* eig) {
    double total = 0.0;
    for (int k = 0; k < n; k++)
        if (eig[k] > 0.0) total += eig[k];
    if (!(total > 0.0)) return 0;
    int axes = 0;
    for (int k = 0; k < n; k++)
        if (100.0 * eig[k] / total > 1e-6) axes++;
    return axes;
}

double SumOfSquaresOf(int n, const double* x) {
    double s = 0.0;
    for (int i = 0; i < n; i++) s += x[i] * x[i];
    return s;
}

// s[j] = sum over i of X[i][j] v[i] (X n x p), MISSING cells left out.
void Project(int n, int p, double** X, const double* v, double* s) {
    for (int j = 0; j < p; j++) s[j] = 0.0;
    for (int i = 0; i < n; i++) {
        const double* x = X[i];
        const double w = v[i];
        for (int j = 0; j < p; j++)
            if (x[j] != MISSING) s[j] += x[j] * w;
    }
}

// Principal coordinates: eigenvector k scaled to length sqrt(eig[k]).
void CoordinateScores(int n, int axes, double** evectors, const double* eig, double** scores) {
    for (int k = 0; k < axes; k++) {
        const double q = SumOfSquaresOf(n, evectors[k]);
        const double f = q > 0.0 ? std::sqrt(eig[k] / q) : 0.0;
        for (int i = 0; i < n; i++) scores[k][i] = evectors[k][i] * f;
    }
}

// Principal components: the table (entities as rows, n x p) as the measure
// saw it, times each unit eigenvector; MISSING cells take no part.
void ComponentScores(int n, int p, double** X, int axes, double** evectors, int measure, double** scores) {
    if (measure == 17) {
        CenterRowsMV(n, p, X, X);
        NormalizeRowsMV(n, p, X, X);
    } else if (measure == 22) {
        CenterRowsCovMV(n, p, X, X);
    }
    for (int k = 0; k < axes; k++) {
        double* v = evectors[k];
        const double q = SumOfSquaresOf(n, v);
        if (q > 0.0) {
            const double f = 1.0 / std::sqrt(q);
            for (int i = 0; i < n; i++) v[i] *= f;
        }
        Project(n, p, X, v, scores[k]);
    }
}

// Correspondence analysis: row scores in the eigenvectors (times
// sqrt(G / r_i)), column scores from them by the transition formula.
void CorrespondenceScores(int n, int p, double** X, int axes, double** evectors, const double* eig,
                          double** scores) {
    std::vector<double> r(n), c(p);
    RowTotalsMV(n, p, X, r.data());
    ColTotalsMV(n, p, X, c.data());
    const double G = MatrixTotalMV(n, p, X);
    for (int k = 0; k < axes; k++) {
        double* v = evectors[k];
        for (int i = 0; i < n; i++)
            if (r[i] > 0.0) v[i] *= std::sqrt(G / r[i]);
        Project(n, p, X, v, scores[k]);
        double* s = scores[k];
        const double root = std::sqrt(eig[k]);
        for (int j = 0; j < p; j++) s[j] = c[j] > 0.0 ? s[j] / (c[j] * root) : 0.0;
    }
}

}  // namespace dispatch_detail

void SquaredDistancesPCoA(int n, double** rese, double** D, int measure) {
    if (IsSimilarityMeasure(measure)) {
        ProdToSqDist(n, rese, D);
        UpperToLowerMatrix(n, D);
    } else {
        SquareSqMatrix(n, rese, D);
    }
}

void OrdinationMatrix(int n, double** rese, double** W, int type, int measure) {
    if (type == 1) {
        SquaredDistancesPCoA(n, rese, W, measure);
        DissToCenterProdMatrix(n, W, W, true);
        UpperToLowerMatrix(n, W);
    } else {
        CopyMatrix(n, n, rese, W);
    }
}

int OrdinationLib_Eigen(int n, double** rese, double** evectors, int* nAxes, double* eig, bool* ok, int type,
                        int measure) {
    using namespace dispatch_detail;
    *nAxes = 0;
    *ok = false;
    if (type < 1 || type > 3) return ordinationUnknownType;
    // An undefined resemblance (turnover or nestedness of empty units) would
    // give plausible-looking axes of nothing.
    if (!AllFinite(n, rese)) return ordinationUndefinedValues;
    if (n <= 0) {
        *ok = true;
        return ordinationDone;
    }
    // The matrix analysed is built straight into the buffer LAPACK takes, so
    // that beside the caller's arrays only it and LAPACK's eigenvectors are
    // held: two n x n matrices. A slower route builds it again.
    std::vector<double> buffer(static_cast<size_t>(n) * n);
    std::vector<double*> work(n);
    for (int i = 0; i < n; i++) work[i] = buffer.data() + static_cast<size_t>(i) * n;
    auto build = [&](double*) { OrdinationMatrix(n, rese, work.data(), type, measure); };
    // Only the axes an ordination keeps get their eigenvectors.
    switch (matrixdetail::EigenByAnyRoute(n, buffer.data(), build, evectors, eig, CountAxes)) {
        case matrixdetail::EigenRoute::notFinite:
            return ordinationUndefinedValues;
        case matrixdetail::EigenRoute::failed:
            return ordinationFailed;
        case matrixdetail::EigenRoute::done:
            break;
    }
    *ok = matrixdetail::EigenCheck(n, eig) == 1;
    *nAxes = CountAxes(n, eig);
    return ordinationDone;
}

int OrdinationLib_D(int n, int p, double** data, double** rese, double** evectors, double** scores,
                    int* nAxes, double* eig, bool* ok, int type, int measure, int direction) {
    using namespace dispatch_detail;
    HandleEventInfoWhere("OrdinationLib");
    const int status = OrdinationLib_Eigen(n, rese, evectors, nAxes, eig, ok, type, measure);
    if (status != ordinationDone || n <= 0) return status;
    const int axes = *nAxes;
    if (type == 1) {
        CoordinateScores(n, axes, evectors, eig, scores);
    } else if (axes > 0) {
        // The table with the ordinated entities as rows.
        double** X = dim2DT<double>(n, p);
        if (direction == 2)
            TransposeMatrix(p, n, data, X);
        else
            CopyMatrix(n, p, data, X);
        if (type == 2)
            ComponentScores(n, p, X, axes, evectors, measure, scores);
        else
            CorrespondenceScores(n, p, X, axes, evectors, eig, scores);
        free2DT(X, n);
    }
    return ordinationDone;
}

int OrdinationLib_Scores(int n, int p, double** data, double** rese, double** scores, int type,
                         int measure, int direction) {
    double** evectors = dim2DT<double>(n, n);
    double* eig = dim1DT<double>(n);
    int axes = 0;
    bool ok = false;
    OrdinationLib_D(n, p, data, rese, evectors, scores, &axes, eig, &ok, type, measure, direction);
    free1D(eig);
    free2DT(evectors, n);
    return axes;
}

bool IsSimilarityMeasure(int measure) {
    switch (measure) {
        case 1: case 5: case 6: case 7: case 9: case 10: case 11: case 12: case 13: case 14:
        case 15: case 16: case 17: case 19: case 22:
            return true;
        default:
            return false;
    }
}

int ResemblanceLib(int n, int p, double** data, double** rese, int direction, int measure,
                   int postTransf, const int* varType, double alpha, double k,
                   int countDoubleAbsence, bool printTables) {
    using namespace dispatch_detail;
    HandleEventInfoWhere("ResemblanceLib");
    if (measure < 1 || measure > 29) return reseRefused;
    // Gower's index needs a type for each attribute: the variable types
    // describe columns, so it compares sampling units only.
    if (measure == 5 && (direction == 2 || !varType)) return reseRefused;
    EntityRows t(n, p, data, direction == 2);
    const int m = t.rows();
    if (!ComputeMeasure(measure, m, t.cols(), t.get(), rese, varType, alpha, k, countDoubleAbsence,
                        printTables))
        return reseRefused;
    const bool rooted = PostTransform(m, rese, postTransf);
    UpperToLowerMatrix(m, rese);
    return rooted ? reseComputed : reseNegativeRoot;
}

int ResemblanceLib(int n, int p, double** data, double** rese, int direction, int measure,
                   const int* varType, double alpha, double k, int countDoubleAbsence,
                   bool printTables) {
    return ResemblanceLib(n, p, data, rese, direction, measure, 0, varType, alpha, k,
                          countDoubleAbsence, printTables);
}

int ResemblanceLibTriplets(int n, int p, double** data, double*** rese3, int direction,
                           int measure, const int* /*varType*/, double alpha, bool printTables) {
    using namespace dispatch_detail;
    HandleEventInfoWhere("ResemblanceLibTriplets");
    if (measure != 7) return 0;
    EntityRows t(n, p, data, direction == 2);
    const int m = t.rows();
    if (!MutualEntropyTripletsMV(m, t.cols(), t.get(), rese3, alpha, printTables)) return 0;
    for (int i = 0; i < m; i++)
        for (int j = i + 1; j < m; j++)
            for (int l = j + 1; l < m; l++) {
                const double v = rese3[i][j][l];
                rese3[i][l][j] = rese3[j][i][l] = rese3[j][l][i] = rese3[l][i][j] = rese3[l][j][i] = v;
            }
    return 1;
}

// ===========================================================================
// Hierarchical clustering
// ===========================================================================

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "rhlibDim.h"
#include "rhlibRes_M.h"

namespace {

// The strict order in which pair values compete: smaller (or, for similarity
// fusions, larger) values are better, and a NaN is worse than any number, so
// a search that starts from the first admissible pair always ends on a pair.
inline bool Better(double x, double incumbent, bool smallest) {
    if (std::isnan(incumbent)) return !std::isnan(x);
    return smallest ? x < incumbent : x > incumbent;
}

// Working copy of the upper triangle of an n x n matrix: row i holds the
// columns i+1 to n-1 contiguously, so a row scan reads consecutive memory.
// Element (i, j), i < j, is row[i][j - i - 1]; the rows may also point into a
// caller's square matrix.
struct Upper {
    double** row = nullptr;
    double* packed = nullptr;
    int n = 0;

    double& operator()(int i, int j) const { return row[i][j - i - 1]; }
    double Get(int i, int j) const { return i < j ? row[i][j - i - 1] : row[j][i - j - 1]; }
    void Set(int i, int j, double v) const {
        if (i < j)
            row[i][j - i - 1] = v;
        else
            row[j][i - j - 1] = v;
    }
};

Upper PackedUpper(int n) {
    Upper u;
    u.n = n;
    unsigned long long total = static_cast<unsigned long long>(n) * (n > 0 ? n - 1 : 0) / 2;
    u.packed = static_cast<double*>(dim1D(sizeof(double) * (total > 0 ? total : 1), 1));
    u.row = dim1DT<double*>(n > 0 ? n : 1);
    unsigned long long offset = 0;
    for (int i = 0; i < n; i++) {
        u.row[i] = u.packed + offset;
        offset += static_cast<unsigned long long>(n - i - 1);
    }
    return u;
}

Upper ViewOf(int n, double** square) {
    Upper u;
    u.n = n;
    u.row = dim1DT<double*>(n > 0 ? n : 1);
    for (int i = 0; i < n; i++) u.row[i] = square[i] + i + 1;
    return u;
}

void Release(Upper& u) {
    free1D(u.packed);
    free1D(u.row);
    u = Upper();
}

// Adjacency of the constrained method in the same packed layout.
struct UpperFlags {
    char* packed = nullptr;
    unsigned long long* offset = nullptr;
    bool operator()(int i, int j) const { return packed[offset[i] + (j - i - 1)] != 0; }
    char& At(int i, int j) const { return packed[offset[i] + (j - i - 1)]; }
};

// The value of the new group against another group g in the linkage methods,
// from its old values against the two fused groups.
inline double LinkageValue(int method, bool isDissimilarity, double xa, double xb, double na,
                           double nb) {
    switch (method) {
        case 1:
            return isDissimilarity ? Fmin(xa, xb) : Fmax(xa, xb);
        case 2:
            return isDissimilarity ? Fmax(xa, xb) : Fmin(xa, xb);
        case 4:
            return (na * xa + nb * xb) / (na + nb);
        case 5:
            return (xa + xb) / 2;
        default:
            return xa;
    }
}

// Squared distance between the centroid of the new group and group g (Ward),
// from the squared centroid distances of the two fused groups.
inline double WardValue(double dga, double dgb, double dab, double na, double nb) {
    double nn = na + nb;
    return (na * dga + nb * dgb) / nn - na * nb * dab / (nn * nn);
}

// Increase of the within-group sum of squares when two groups fuse.
inline double WardIncrease(double na, double dab, double nb) { return na * dab * nb / (na + nb); }

// Current groups of an agglomeration kept at fixed positions: a fused group
// stays at the lower position and the higher one leaves. Because the groups
// keep their relative order, scanning the active positions in order is the
// same as scanning a compacted matrix, ties included. Each row caches its
// best admissible column, so a fusion costs the rows it touches, not a scan
// of every pair.
class PairSearch {
public:
    // value(i, j) and admissible(i, j) for active positions i < j.
    PairSearch(int n, bool smallest) : n_(n), smallest_(smallest) {
        next_ = dim1DT<int>(n + 1);
        prev_ = dim1DT<int>(n + 1);
        bestCol_ = dim1DT<int>(n + 1);
        bestVal_ = dim1DT<double>(n + 1);
        for (int i = 0; i < n; i++) {
            next_[i] = i + 1 < n ? i + 1 : -1;
            prev_[i] = i - 1;
            bestCol_[i] = -1;
        }
        head_ = n > 0 ? 0 : -1;
    }
    ~PairSearch() {
        free1D(next_);
        free1D(prev_);
        free1D(bestCol_);
        free1D(bestVal_);
    }
    PairSearch(const PairSearch&) = delete;
    PairSearch& operator=(const PairSearch&) = delete;

    int Head() const { return head_; }
    int Next(int i) const { return next_[i]; }

    template <class Value, class Admissible>
    void Init(const Value& value, const Admissible& admissible) {
        for (int g = head_; g != -1; g = next_[g]) RecomputeRow(g, value, admissible);
    }

    // The first best admissible pair in row-major order; false when none.
    bool Best(int& a, int& b) const {
        int ga = -1;
        for (int g = head_; g != -1; g = next_[g])
            if (bestCol_[g] >= 0 && (ga < 0 || Better(bestVal_[g], bestVal_[ga], smallest_))) ga = g;
        if (ga < 0) return false;
        a = ga;
        b = bestCol_[ga];
        return true;
    }

    // The first best pair of all, admissible or not.
    template <class Value>
    void BestOfAll(int& a, int& b, const Value& value) const {
        a = -1;
        double best = 0;
        for (int i = head_; i != -1; i = next_[i])
            for (int j = next_[i]; j != -1; j = next_[j]) {
                double v = value(i, j);
                if (a < 0 || Better(v, best, smallest_)) {
                    a = i;
                    b = j;
                    best = v;
                }
            }
    }

    // After the values of position a against every group changed and
    // position b left (a < b), brings the row caches up to date.
    template <class Value, class Admissible>
    void Fused(int a, int b, const Value& value, const Admissible& admissible) {
        Remove(b);
        RecomputeRow(a, value, admissible);
        for (int g = head_; g != a; g = next_[g]) {
            if (bestCol_[g] == a || bestCol_[g] == b) {
                RecomputeRow(g, value, admissible);
            } else if (admissible(g, a)) {
                // Only the value against a changed in this row.
                double v = value(g, a);
                if (bestCol_[g] < 0 || Better(v, bestVal_[g], smallest_) ||
                    (!Better(bestVal_[g], v, smallest_) && a < bestCol_[g])) {
                    bestCol_[g] = a;
                    bestVal_[g] = v;
                }
            }
        }
        for (int g = next_[a]; g != -1 && g < b; g = next_[g])
            if (bestCol_[g] == b) RecomputeRow(g, value, admissible);
    }

private:
    template <class Value, class Admissible>
    void RecomputeRow(int g, const Value& value, const Admissible& admissible) {
        int col = -1;
        double best = 0;
        for (int c = next_[g]; c != -1; c = next_[c]) {
            if (!admissible(g, c)) continue;
            double v = value(g, c);
            if (col < 0 || Better(v, best, smallest_)) {
                col = c;
                best = v;
            }
        }
        bestCol_[g] = col;
        bestVal_[g] = best;
    }

    void Remove(int b) {
        if (prev_[b] >= 0)
            next_[prev_[b]] = next_[b];
        else
            head_ = next_[b];
        if (next_[b] >= 0) prev_[next_[b]] = prev_[b];
        bestCol_[b] = -1;
    }

    int n_;
    bool smallest_;
    int head_;
    int* next_;
    int* prev_;
    int* bestCol_;
    double* bestVal_;
};

// Member lists of the current groups, by position: entity numbers from 1 in
// the order the records list them.
class MemberLists {
public:
    explicit MemberLists(int n) {
        first_ = dim1DT<int>(n > 0 ? n : 1);
        last_ = dim1DT<int>(n > 0 ? n : 1);
        next_ = dim1DT<int>(n > 0 ? n : 1);
        size_ = dim1DT<int>(n > 0 ? n : 1);
        for (int i = 0; i < n; i++) {
            first_[i] = last_[i] = i;
            next_[i] = -1;
            size_[i] = 1;
        }
    }
    ~MemberLists() {
        free1D(first_);
        free1D(last_);
        free1D(next_);
        free1D(size_);
    }
    MemberLists(const MemberLists&) = delete;
    MemberLists& operator=(const MemberLists&) = delete;

    int Size(int pos) const { return size_[pos]; }
    // Entities (from 0) of the group at pos, in order.
    int First(int pos) const { return first_[pos]; }
    int After(int entity) const { return next_[entity]; }

    // Writes members, nMembers and lastOfFirst of the fusion of a and b.
    void Describe(int a, int b, clusterReport& r) const {
        int k = 0;
        for (int e = first_[a]; e != -1; e = next_[e]) r.members[k++] = e + 1;
        for (int e = first_[b]; e != -1; e = next_[e]) r.members[k++] = e + 1;
        r.nMembers = k;
        r.lastOfFirst = last_[a] + 1;
    }

    void Join(int a, int b) {
        next_[last_[a]] = first_[b];
        last_[a] = last_[b];
        size_[a] += size_[b];
    }

private:
    int* first_;
    int* last_;
    int* next_;
    int* size_;
};

// The common frame of Ward and constrained Ward. `input` is read for the
// group sums; the working matrix holds squared centroid distances.
void SumSqFrame(int n, double** input, const UpperFlags* adjacency, clusterReport* records,
                bool isSquared) {
    if (n < 2) return;
    Upper d = PackedUpper(n);
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) {
            double x = input[i][j];
            d(i, j) = isSquared ? x : x * x;
        }
    auto squared = [&](int e1, int e2) {
        double x = e1 < e2 ? input[e1][e2] : input[e2][e1];
        return isSquared ? x : x * x;
    };
    double* sums = dim1DT<double>(n);
    MemberLists groups(n);
    auto value = [&](int i, int j) {
        return WardIncrease(groups.Size(i), d(i, j), groups.Size(j));
    };
    auto all = [](int, int) { return true; };
    auto adjacent = [&](int i, int j) { return (*adjacency)(i, j); };

    PairSearch search(n, true);
    if (adjacency)
        search.Init(value, adjacent);
    else
        search.Init(value, all);

    for (int k = 1; k < n; k++) {
        int a = 0, b = 1;
        if (!search.Best(a, b)) search.BestOfAll(a, b, value);
        double na = groups.Size(a), nb = groups.Size(b);
        double dab = d(a, b);

        double sum = sums[a] + sums[b];
        for (int e1 = groups.First(a); e1 != -1; e1 = groups.After(e1))
            for (int e2 = groups.First(b); e2 != -1; e2 = groups.After(e2)) sum += squared(e1, e2);

        clusterReport& r = records[k - 1];
        groups.Describe(a, b, r);
        r.node = n + k;
        r.level = sum / (na + nb);
        r.criterion = WardIncrease(na, dab, nb);
        r.branchFirst = r.level - sums[a] / na;
        r.branchSecond = r.level - sums[b] / nb;

        if (adjacency) {
            for (int g = search.Head(); g != -1; g = search.Next(g)) {
                if (g == a || g == b) continue;
                char& ga = g < a ? adjacency->At(g, a) : adjacency->At(a, g);
                char gb = g < b ? adjacency->At(g, b) : adjacency->At(b, g);
                if (gb > ga) ga = gb;
            }
        }
        for (int g = search.Head(); g != -1; g = search.Next(g)) {
            if (g == a || g == b) continue;
            d.Set(g, a, WardValue(d.Get(g, a), d.Get(g, b), dab, na, nb));
        }
        sums[a] = sum;
        groups.Join(a, b);
        if (adjacency)
            search.Fused(a, b, value, adjacent);
        else
            search.Fused(a, b, value, all);
    }
    free1D(sums);
    Release(d);
}

}  // namespace

clusterReport* NewClusterReports(int n, int p, bool factorial) {
    int count = n > 1 ? n - 1 : 0;
    clusterReport* records =
        static_cast<clusterReport*>(dim1D(sizeof(clusterReport), count > 0 ? count : 1));
    for (int k = 0; k < count; k++) {
        records[k].members = dim1DT<int>(n);
        if (factorial) {
            records[k].weightsAxis1 = dim1DT<double>(2);
            records[k].weightsAxis2 = dim1DT<double>(2);
            records[k].scoresAxis1 = dim1DT<double>(p > 0 ? p : 1);
            records[k].scoresAxis2 = dim1DT<double>(p > 0 ? p : 1);
        }
    }
    return records;
}

void FreeClusterReports(clusterReport* records, int n) {
    if (!records) return;
    for (int k = 0; k < n - 1; k++) {
        free1D(records[k].members);
        free1D(records[k].weightsAxis1);
        free1D(records[k].weightsAxis2);
        free1D(records[k].scoresAxis1);
        free1D(records[k].scoresAxis2);
    }
    free1D(records);
}

void LinkageCluster(int n, double** matrix, clusterReport* records, bool isDissimilarity,
                    bool isSquared, int method, bool workOnCopy) {
    if (n < 2) return;
    Upper w;
    bool rootFirst = isDissimilarity && isSquared && (method == 4 || method == 5);
    if (workOnCopy) {
        w = PackedUpper(n);
        for (int i = 0; i < n; i++)
            for (int j = i + 1; j < n; j++) w(i, j) = matrix[i][j];
    } else {
        w = ViewOf(n, matrix);
    }
    // Averages of squared dissimilarities are not what the user asked for:
    // these two methods work on the rooted values throughout.
    if (rootFirst)
        for (int i = 0; i < n; i++)
            for (int j = i + 1; j < n; j++) w(i, j) = std::sqrt(w(i, j));
    bool rootLevel = isDissimilarity && isSquared && (method == 1 || method == 2);

    double* nodeLevel = dim1DT<double>(n);
    MemberLists groups(n);
    auto value = [&](int i, int j) { return w(i, j); };
    auto all = [](int, int) { return true; };
    PairSearch search(n, isDissimilarity);
    search.Init(value, all);

    for (int k = 1; k < n; k++) {
        int a = 0, b = 1;
        search.Best(a, b);
        double x = w(a, b);
        clusterReport& r = records[k - 1];
        groups.Describe(a, b, r);
        r.node = n + k;
        r.level = rootLevel ? std::sqrt(x) : x;
        r.branchFirst = r.level - nodeLevel[a];
        r.branchSecond = r.level - nodeLevel[b];

        double na = groups.Size(a), nb = groups.Size(b);
        for (int g = search.Head(); g != -1; g = search.Next(g)) {
            if (g == a || g == b) continue;
            w.Set(g, a, LinkageValue(method, isDissimilarity, w.Get(g, a), w.Get(g, b), na, nb));
        }
        nodeLevel[a] = r.level;
        groups.Join(a, b);
        search.Fused(a, b, value, all);
    }
    free1D(nodeLevel);
    Release(w);
}

void SumSqCluster(int n, double** dissimilarities, clusterReport* records, bool isSquared) {
    SumSqFrame(n, dissimilarities, nullptr, records, isSquared);
}

void SumSqClusterRestrained(int n, double** dissimilarities, int** adjacency,
                            clusterReport* records, bool isSquared) {
    if (n < 2) return;
    unsigned long long total = static_cast<unsigned long long>(n) * (n - 1) / 2;
    UpperFlags flags;
    flags.packed = static_cast<char*>(dim1D(total, 1));
    flags.offset = dim1DT<unsigned long long>(n);
    unsigned long long offset = 0;
    for (int i = 0; i < n; i++) {
        flags.offset[i] = offset;
        for (int j = i + 1; j < n; j++) flags.packed[offset + (j - i - 1)] = adjacency[i][j] != 0;
        offset += static_cast<unsigned long long>(n - i - 1);
    }
    SumSqFrame(n, dissimilarities, &flags, records, isSquared);
    free1D(flags.packed);
    free1D(flags.offset);
}

void HierFactorialClustering(int n, int p, double** data, clusterReport* records) {
    if (n < 2) return;
    double** x = dim2DT<double>(n, p);
    for (int i = 0; i < n; i++)
        for (int t = 0; t < p; t++) x[i][t] = data[i][t];
    CenterRowsMV(n, p, x, x);
    NormalizeRowsMV(n, p, x, x);

    // Per pair (lower position first): both eigenvalues and both weight pairs.
    Upper first = PackedUpper(n), second = PackedUpper(n);
    Upper w1a = PackedUpper(n), w1b = PackedUpper(n), w2a = PackedUpper(n), w2b = PackedUpper(n);
    auto analyse = [&](int i, int j) {
        double e1, e2, v1[2], v2[2];
        HierFactorialEigen(p, x[i], x[j], &e1, &e2, v1, v2);
        first(i, j) = e1;
        second(i, j) = e2;
        w1a(i, j) = v1[0];
        w1b(i, j) = v1[1];
        w2a(i, j) = v2[0];
        w2b(i, j) = v2[1];
    };
    // Every pair is independent of the others: the team shares the rows.
#pragma omp parallel for schedule(dynamic, 16)
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) analyse(i, j);

    MemberLists groups(n);
    auto value = [&](int i, int j) { return second(i, j); };
    auto all = [](int, int) { return true; };
    PairSearch search(n, true);
    search.Init(value, all);
    for (int k = 1; k < n; k++) {
        int a = 0, b = 1;
        search.Best(a, b);
        clusterReport& r = records[k - 1];
        groups.Describe(a, b, r);
        r.level = second(a, b);
        r.criterion = first(a, b);
        r.weightsAxis1[0] = w1a(a, b);
        r.weightsAxis1[1] = w1b(a, b);
        r.weightsAxis2[0] = w2a(a, b);
        r.weightsAxis2[1] = w2b(a, b);
        for (int t = 0; t < p; t++) {
            bool present = x[a][t] != MISSING && x[b][t] != MISSING;
            r.scoresAxis1[t] = present ? r.weightsAxis1[0] * x[a][t] + r.weightsAxis1[1] * x[b][t] : 0;
            r.scoresAxis2[t] = present ? r.weightsAxis2[0] * x[a][t] + r.weightsAxis2[1] * x[b][t] : 0;
        }
        // The group is represented by its merged profile on the first axis.
        for (int t = 0; t < p; t++) x[a][t] = r.scoresAxis1[t];
        groups.Join(a, b);
        for (int g = search.Head(); g != -1; g = search.Next(g)) {
            if (g == a || g == b) continue;
            if (g < a)
                analyse(g, a);
            else
                analyse(a, g);
        }
        search.Fused(a, b, value, all);
    }
    Release(w2b);
    Release(w2a);
    Release(w1b);
    Release(w1a);
    Release(second);
    Release(first);
    free2DT(x, n);
}

namespace {

// Removes position b (a < b excluded) from a compacted square matrix: the row
// pointer of b goes to the end, later rows and columns move down one place.
template <class T>
void RemovePosition(int m, int b, T** matrix) {
    for (int i = 0; i < m; i++)
        for (int j = b + 1; j < m; j++) matrix[i][j - 1] = matrix[i][j];
    T* rowB = matrix[b];
    for (int i = b; i < m - 1; i++) matrix[i] = matrix[i + 1];
    matrix[m - 1] = rowB;
}

void JoinSizes(int m, int* sizes, int a, int b) {
    sizes[a] += sizes[b];
    for (int i = b; i < m - 1; i++) sizes[i] = sizes[i + 1];
}

template <class T>
T& UpperAt(T** matrix, int i, int j) {
    return i < j ? matrix[i][j] : matrix[j][i];
}

}  // namespace

void LinkageFusion(int m, int* sizes, int a, int b, double** matrix, bool isDissimilarity,
                   int method) {
    double na = sizes[a], nb = sizes[b];
    for (int g = 0; g < m; g++) {
        if (g == a || g == b) continue;
        double& ga = UpperAt(matrix, g, a);
        ga = LinkageValue(method, isDissimilarity, ga, UpperAt(matrix, g, b), na, nb);
    }
    RemovePosition(m, b, matrix);
    JoinSizes(m, sizes, a, b);
}

void FusionMatrix(int m, int* sizes, int a, int b, double** matrix) {
    double na = sizes[a], nb = sizes[b];
    double dab = UpperAt(matrix, a, b);
    for (int g = 0; g < m; g++) {
        if (g == a || g == b) continue;
        double& ga = UpperAt(matrix, g, a);
        ga = WardValue(ga, UpperAt(matrix, g, b), dab, na, nb);
    }
    RemovePosition(m, b, matrix);
    JoinSizes(m, sizes, a, b);
}

void TopologyFusion(int m, int* sizes, int a, int b, int** adjacency) {
    (void)sizes;
    for (int g = 0; g < m; g++) {
        if (g == a || g == b) continue;
        int& ga = UpperAt(adjacency, g, a);
        ga = Fmax(ga, UpperAt(adjacency, g, b));
    }
    RemovePosition(m, b, adjacency);
}

// ===========================================================================
// Partitions and Newick text
// ===========================================================================

namespace {

// Position in `members` where the second part begins.
int SecondPartStart(const clusterReport& rec) {
    int p = 0;
    while (p < rec.nMembers && rec.members[p] != rec.lastOfFirst) p++;
    return p + 1;
}

// For each record, the records that formed its two parts (-1 for a single
// entity), found from the member lists: a part is whatever group held its
// first entity just before the fusion.
void ChildRecords(int n, const clusterReport* records, int* childFirst, int* childSecond) {
    int* top = dim1DT<int>(n > 0 ? n : 1);
    for (int e = 0; e < n; e++) top[e] = -1;
    for (int r = 0; r < n - 1; r++) {
        const clusterReport& rec = records[r];
        int p = SecondPartStart(rec);
        childFirst[r] = top[rec.members[0] - 1];
        childSecond[r] = p < rec.nMembers ? top[rec.members[p] - 1] : -1;
        for (int i = 0; i < rec.nMembers; i++) top[rec.members[i] - 1] = r;
    }
    free1D(top);
}

// The order in which a cut applies the records. Ward's levels are not
// monotone in fusion order, so for method 3 the records are sorted by level
// (the exchange sort below decides ties). A group can only form after its
// parts: a record sorts by the highest level in its subtree, which is its own
// level whenever the levels grow towards the root (always for Euclidean
// input), and parts that tie with their group are placed before it.
void CutOrder(int n, const clusterReport* records, int method, int* order) {
    int m = n - 1;
    for (int r = 0; r < m; r++) order[r] = r;
    if (method != 3 || m < 2) return;

    int* childFirst = dim1DT<int>(m);
    int* childSecond = dim1DT<int>(m);
    ChildRecords(n, records, childFirst, childSecond);
    double* key = dim1DT<double>(m);
    for (int r = 0; r < m; r++) {
        double k = records[r].level;
        if (childFirst[r] >= 0 && key[childFirst[r]] > k) k = key[childFirst[r]];
        if (childSecond[r] >= 0 && key[childSecond[r]] > k) k = key[childSecond[r]];
        key[r] = k;
    }
    for (int i = 0; i < m; i++)
        for (int j = i + 1; j < m; j++)
            if (key[order[i]] > key[order[j]]) std::swap(order[i], order[j]);

    // Parts before their group (they can only tie with it here).
    char* placed = dim1DT<char>(m);
    int* sorted = dim1DT<int>(m);
    int* stack = dim1DT<int>(m);
    int count = 0;
    for (int i = 0; i < m; i++) {
        int depth = 0;
        if (!placed[order[i]]) stack[depth++] = order[i];
        while (depth > 0) {
            int r = stack[depth - 1];
            int c1 = childFirst[r], c2 = childSecond[r];
            if (c1 >= 0 && !placed[c1]) {
                stack[depth++] = c1;
            } else if (c2 >= 0 && !placed[c2]) {
                stack[depth++] = c2;
            } else {
                placed[r] = 1;
                sorted[count++] = r;
                depth--;
            }
        }
    }
    for (int i = 0; i < m; i++) order[i] = sorted[i];
    free1D(stack);
    free1D(sorted);
    free1D(placed);
    free1D(key);
    free1D(childSecond);
    free1D(childFirst);
}

// Group numbers 1, 2, ... in the order of the labels, for labels that are
// entity numbers (1 to n): a counting pass, so that cutting a dendrogram at
// every level costs no more than writing the partitions out.
void NumberByLabel(int n, int* labels, int* rank) {
    for (int v = 0; v <= n; v++) rank[v] = 0;
    for (int e = 0; e < n; e++) rank[labels[e]] = 1;
    int g = 0;
    for (int v = 0; v <= n; v++)
        if (rank[v]) rank[v] = ++g;
    for (int e = 0; e < n; e++) labels[e] = rank[labels[e]];
}

// Applies the records order[0 .. count-1]: every entity of a new group takes
// the number of the group's first member.
void ApplyRecords(int n, const clusterReport* records, const int* order, int count, int* labels) {
    for (int e = 0; e < n; e++) labels[e] = e + 1;
    for (int i = 0; i < count; i++) {
        const clusterReport& rec = records[order[i]];
        for (int j = 1; j < rec.nMembers; j++) labels[rec.members[j] - 1] = rec.members[0];
    }
}

int ClampGroups(int n, int k) { return k < 1 ? 1 : (k > n ? n : k); }

}  // namespace

void GetClusterPartitionLevel(int n, int k, int* partition, double* levelOut,
                              clusterReport* records, int method) {
    if (n < 1) return;
    k = ClampGroups(n, k);
    int* order = dim1DT<int>(n);
    CutOrder(n, records, method, order);
    ApplyRecords(n, records, order, n - k, partition);
    if (levelOut) *levelOut = k == n ? 0.0 : records[order[n - k - 1]].level;
    RenamePartitionLabels(n, k, partition);
    free1D(order);
}

void GetClusterPartitionNew(int n, int k, int* partition, clusterReport* records, int method) {
    GetClusterPartitionLevel(n, k, partition, nullptr, records, method);
}

void ForEachClusterPartition(int n, clusterReport* records, int method,
                             const std::function<void(int, const int*, double)>& visit) {
    if (n < 2) return;
    int* order = dim1DT<int>(n);
    CutOrder(n, records, method, order);
    // From one group down: undoing the last applied record splits one group
    // into its two parts; the second part takes the number of its first member.
    int* labels = dim1DT<int>(n);
    int* partition = dim1DT<int>(n);
    int* rank = dim1DT<int>(n + 1);
    ApplyRecords(n, records, order, n - 1, labels);
    for (int k = 2; k <= n; k++) {
        const clusterReport& rec = records[order[n - k]];
        int p = SecondPartStart(rec);
        for (int j = p; j < rec.nMembers; j++) labels[rec.members[j] - 1] = rec.members[p];
        for (int e = 0; e < n; e++) partition[e] = labels[e];
        NumberByLabel(n, partition, rank);
        visit(k, partition, k == n ? 0.0 : records[order[n - k - 1]].level);
    }
    free1D(rank);
    free1D(partition);
    free1D(labels);
    free1D(order);
}

int GetClusterPartition(int n, int k, int* partition, clusterReport* records) {
    if (n < 1) return 0;
    k = ClampGroups(n, k);
    int* order = dim1DT<int>(n);
    CutOrder(n, records, 0, order);
    ApplyRecords(n, records, order, n - k, partition);
    RenamePartitionLabels(n, k, partition);
    free1D(order);
    return k;
}

void GetClusterPartitionWhich(int n, int k, int* partition, int* pair, clusterReport* records) {
    if (n < 1) return;
    k = ClampGroups(n, k);
    GetClusterPartition(n, k, partition, records);
    pair[0] = pair[1] = 0;
    if (k < 2) return;
    int* fewer = dim1DT<int>(n);
    GetClusterPartition(n, k - 1, fewer, records);
    for (int e = 0; e < n; e++)
        if (fewer[e] != partition[e]) {
            pair[0] = fewer[e];
            pair[1] = partition[e];
            break;
        }
    free1D(fewer);
}

treeNode* NewNode(int number) {
    treeNode* node = static_cast<treeNode*>(dim1D(sizeof(treeNode), 1));
    node->number = number;
    node->left = node->right = node->parent = nullptr;
    return node;
}

void TrimRese(int n, int k, const int* partition, double** matrix, double** out) {
    int* first = dim1DT<int>(k > 0 ? k : 1);
    for (int g = 0; g < k; g++) first[g] = -1;
    for (int e = 0; e < n; e++) {
        int g = partition[e] - 1;
        if (g >= 0 && g < k && first[g] < 0) first[g] = e;
    }
    for (int i = 0; i < k; i++)
        for (int j = i; j < k; j++) {
            int a = first[i], b = first[j];
            if (a < 0 || b < 0) continue;
            out[i][j] = a <= b ? matrix[a][b] : matrix[b][a];
        }
    free1D(first);
}

namespace {

// A label as a Newick name: kept as it is unless it holds punctuation of the
// format, a quote or a blank; then it goes between single quotes, with its
// quotes doubled.
void AppendNewickLabel(std::string& text, const char* label) {
    bool quote = *label == '\0';
    for (const char* c = label; *c; c++)
        if (strchr("(),:;[]'", *c) || isspace(static_cast<unsigned char>(*c))) quote = true;
    if (!quote) {
        text += label;
        return;
    }
    text += '\'';
    for (const char* c = label; *c; c++) {
        if (*c == '\'') text += '\'';
        text += *c;
    }
    text += '\'';
}

void AppendLength(std::string& text, double length) {
    char number[64];
    snprintf(number, sizeof number, ":%g", length);
    text += number;
}

}  // namespace

void NewickFormat(int n, const clusterReport* records, char** labels, bool withLengths,
                  std::string& text) {
    auto entity = [&](int e, bool root, double length) {
        if (labels && labels[e - 1]) {
            AppendNewickLabel(text, labels[e - 1]);
        } else {
            char number[16];
            snprintf(number, sizeof number, "%d", e);
            text += number;
        }
        if (withLengths && !root) AppendLength(text, length);
    };
    if (n < 1) return;
    if (n == 1) {
        entity(1, true, 0.0);
        return;
    }
    int m = n - 1;
    int* childFirst = dim1DT<int>(m);
    int* childSecond = dim1DT<int>(m);
    ChildRecords(n, records, childFirst, childSecond);

    // Depth-first from the root, the first part before the second: a record
    // is opened, its parts are written, then it is closed with its length.
    struct Item {
        int record;      // -1: an entity
        int entity;      // when record is -1
        int stage;       // 0 open, 1 between the parts, 2 close
        double length;
    };
    Item* stack = static_cast<Item*>(dim1D(sizeof(Item), 2 * n));
    int depth = 0;
    stack[depth++] = {m - 1, 0, 0, 0.0};
    while (depth > 0) {
        Item& it = stack[depth - 1];
        if (it.record < 0) {
            entity(it.entity, false, it.length);
            depth--;
            continue;
        }
        const clusterReport& rec = records[it.record];
        int r = it.record;
        if (it.stage == 0) {
            text += '(';
            it.stage = 1;
            int c = childFirst[r];
            stack[depth++] = {c, c < 0 ? rec.members[0] : 0, 0, rec.branchFirst};
        } else if (it.stage == 1) {
            text += ',';
            it.stage = 2;
            int c = childSecond[r];
            int start = SecondPartStart(rec);
            stack[depth++] = {c, c < 0 ? rec.members[start] : 0, 0, rec.branchSecond};
        } else {
            text += ')';
            if (withLengths && r != m - 1) AppendLength(text, it.length);
            depth--;
        }
    }
    free1D(stack);
    free1D(childSecond);
    free1D(childFirst);
}


// ===========================================================================
// Simulated tables with given correlations or eigenvalues
// ===========================================================================

#include <gsl/gsl_randist.h>

namespace simdetail {

// A work matrix released when the routine that made it returns.
using Work = ScopedMatrix<double>;

enum class Deviate { uniform, normal, lognormal, exponential, cubedExponential };

// The deviate of a code; codes a routine does not know give `other`.
Deviate DeviateOf(int code, Deviate other) {
    switch (code) {
        case 1: return Deviate::uniform;
        case 2: return Deviate::normal;
        case 5: return Deviate::lognormal;
        case 7: return Deviate::exponential;
        case 8: return Deviate::cubedExponential;
        default: return other;
    }
}

// Called with the generator held.
double Draw(Deviate d) {
    switch (d) {
        case Deviate::uniform: return gsl_rng_uniform(r) - 0.5;
        case Deviate::normal: return gsl_ran_gaussian(r, 1.0);
        case Deviate::lognormal: return gsl_ran_lognormal(r, 0.0, 1.0);
        case Deviate::exponential: return gsl_ran_exponential(r, 1.0);
        case Deviate::cubedExponential: {
            const double e = gsl_ran_exponential(r, 1.0);
            return e * e * e;
        }
    }
    return 0.0;
}

// Deviates for `units` units of `vars` variables, unit after unit, through
// put(unit, variable, value): the order a seed's tables depend on.
template <class Put>
void DrawUnits(int units, int vars, Deviate d, Put put) {
    GeneratorLock lock(generatorMutex);
    for (int i = 0; i < units; i++)
        for (int j = 0; j < vars; j++) put(i, j, Draw(d));
}

// U (p x p) with R = U'U: the transposed Cholesky factor of R. A matrix that
// is not positive definite ends the program (choldc has said so).
void UpperFactor(int p, double** R, double** U) {
    Work a(p, p);
    std::vector<double> diagonal(p);
    CopyMatrix(p, p, R, a);
    if (!choldc(a, p, diagonal.data())) {
        fflush(stdout);
        std::exit(1);
    }
    for (int i = 0; i < p; i++) {
        for (int j = 0; j < i; j++) U[i][j] = 0.0;
        U[i][i] = diagonal[i];
        for (int j = i + 1; j < p; j++) U[i][j] = a[j][i];
    }
}

// Centres and normalises the variables (rows of Y, p x N) in place; Q (p x p)
// receives their cross-products, the correlation matrix, both triangles.
void StandardizedCrossProducts(int p, int N, double** Y, double** Q) {
    CenterRows(p, N, Y, Y);
    NormalizeRows(p, N, Y, Y);
    CrossProductMV(p, N, Y, Q);
}

// Eigen analysis of Q with every eigenvector brought to unit length.
void UnitEigenvectors(int p, double** Q, double** V, double* values) {
    EigenHouseholderQL_GSL_D(p, Q, V, values);
    NormalizeRows(p, p, V, V);
}

// The passes at each bias threshold; three thresholds in all.
constexpr int kPassesPerThreshold = 31;
constexpr int kRelaxations = 2;

// The rotation and rescaling iteration of EigenToData_D and
// EigenToData_D_Noise; `relaxedWord` tells how the message names a raised
// threshold. evec receives the eigenvectors of corr.
void EigenIteration(int N, int n, int p, const double* eig, double** X, double* eigOut, double** evec,
                    int code, double** pop, double** corr, const char* relaxedWord) {
    // The variables are kept as rows (p x N) so that every step runs along
    // contiguous rows; the units' table is their transpose.
    Work Y(p, N), S(p, N), Q(p, p), V(p, p), Vt(p, p);
    std::vector<double> values(p), root(p);
    for (int j = 0; j < p; j++) root[j] = std::sqrt(eig[j]);
    DrawUnits(N, p, DeviateOf(code, Deviate::uniform), [&](int u, int j, double v) { Y[j][u] = v; });

    double threshold = 1e-5;
    int passes = 0, relaxations = 0;
    for (;;) {
        StandardizedCrossProducts(p, N, Y, Q);
        UnitEigenvectors(p, Q, V, values.data());
        // Scores of the units on the axes, each axis given the length its
        // target eigenvalue asks for; an axis of length 0 stays 0.
        MatrixProd(p, p, p, N, V, Y, S);
        NormalizeRows(p, N, S, S);
        for (int j = 0; j < p; j++) {
            double* s = S[j];
            for (int u = 0; u < N; u++) s[u] *= root[j];
        }
        // The variables rebuilt from the rescaled axes: Y = V'S.
        TransposeMatrix(p, p, V, Vt);
        MatrixProd(p, p, p, N, Vt, S, Y);

        double bias = 0.0;
        for (int j = 0; j < p; j++) bias += std::fabs(values[j] - eig[j]);
        passes++;
        if (bias <= threshold) break;
        // Targets that cannot be met (more non-zero eigenvalues than the
        // units allow) or that are no numbers must not keep it going forever.
        if (std::isnan(bias) || (passes >= kPassesPerThreshold && relaxations == kRelaxations)) {
            printf("\n\nLack of convergence. Iterations stopped with bias %g.\n", bias);
            break;
        }
        if (passes < kPassesPerThreshold) continue;
        threshold *= 10.0;
        relaxations++;
        passes = 0;
        printf("\n\nLack of convergence. Bias threshold %s TO %g\n", relaxedWord, threshold);
        if (threshold >= bias) break;
    }

    if (pop != nullptr) TransposeMatrix(p, N, Y, pop);
    TransposeMatrix(p, n, Y, X);
    StandardizedCrossProducts(p, N, Y, Q);
    for (int j = 0; j < p; j++) Q[j][j] = 1.0;
    CopyMatrix(p, p, Q, corr);
    EigenHouseholderQL_GSL_D(p, corr, evec, eigOut);
}

}  // namespace simdetail

int CorrToData_New(int n, int p, double** R, double** X, int code) {
    using namespace simdetail;
    Work U(p, p);
    UpperFactor(p, R, U);
    Work Z(n, p);
    DrawUnits(n, p, DeviateOf(code, Deviate::normal), [&](int i, int j, double v) { Z[i][j] = v; });
    MatrixProd(n, p, p, p, Z, U, X);
    return 1;
}

int CorrToData(int n, int p, double** R, double** X, int code) {
    using namespace simdetail;
    Work U(p, p);
    UpperFactor(p, R, U);
    Work Y(p, n);
    DrawUnits(n, p, code == 2 ? Deviate::normal : Deviate::uniform,
              [&](int i, int j, double v) { Y[j][i] = v; });
    Work Q(p, p), V(p, p);
    std::vector<double> values(p);
    StandardizedCrossProducts(p, n, Y, Q);
    UnitEigenvectors(p, Q, V, values.data());
    // Whitening: the axes of Y, each divided by the root of its eigenvalue,
    // give uncorrelated scores of unit length. Axes of no variance (fewer
    // units than variables, or collinear deviates) are left at 0.
    double positive = 0.0;
    for (int k = 0; k < p; k++)
        if (values[k] > 0.0) positive += values[k];
    for (int k = 0; k < p; k++) {
        const bool kept = positive > 0.0 && values[k] * 100.0 / positive > 0.0001;
        const double f = kept ? 1.0 / std::sqrt(values[k]) : 0.0;
        for (int j = 0; j < p; j++) V[k][j] *= f;
    }
    Work W(p, n), Wt(n, p);
    MatrixProd(p, p, p, n, V, Y, W);
    TransposeMatrix(p, n, W, Wt);
    MatrixProd(n, p, p, p, Wt, U, X);
    return 1;
}

int EigenToData_D(int N, int n, int p, int /*rank*/, double* eig, double** X, double* eigOut, int code,
                  double** pop, double** corr) {
    simdetail::Work evec(p, p);
    simdetail::EigenIteration(N, n, p, eig, X, eigOut, evec, code, pop, corr, "REDUCED");
    return 1;
}

int EigenToData_D_Noise(int N, int n, int p, int /*rank*/, double* eig, double** X, double* eigOut,
                        double** evecOut, int code, double** pop, double** corr, double noise) {
    simdetail::EigenIteration(N, n, p, eig, X, eigOut, evecOut, code, pop, corr, "INCREASED");
    if (noise > 0.0) {
        const double sd = std::sqrt(noise);
        GeneratorLock lock(generatorMutex);
        for (int i = 0; i < n; i++)
            for (int j = 0; j < p; j++) X[i][j] += gsl_ran_gaussian(r, sd);
    }
    return 1;
}

int CorrToData_BothRowsColumns(int n, int p, double** Rvar, double** Runits, double** X, int code) {
    using namespace simdetail;
    Work U(p, p);
    UpperFactor(p, Rvar, U);
    // The units as variables: p draws of n correlated values, then turned so
    // that the units are rows again.
    Work Z(p, n), Zt(n, p);
    CorrToData_New(p, n, Runits, Z, code);
    TransposeMatrix(p, n, Z, Zt);
    MatrixProd(n, p, p, p, Zt, U, X);
    return 1;
}


// ===========================================================================
// Group sums of squares and group statistics
// ===========================================================================

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

// ===========================================================================
// Partial correlations, communality and binarisation
// ===========================================================================

double PartialCorrelation_GeneralProc(int /*p*/, double** R, int i, int j, int k, int* covariables) {
    // A variable with itself correlates 1, whatever the matrix holds there.
    auto r = [R](int a, int b) { return a == b ? 1.0 : R[a][b]; };
    if (k <= 0) return r(i, j);
    const int* c = covariables;
    // The 1-based copy that the elimination inverts in place: on the stack for
    // the orders that permutation tests ask for thousands of times per run.
    constexpr int kStackOrder = 16;
    double stackCells[(kStackOrder + 1) * (kStackOrder + 1)];
    double* stackRows[kStackOrder + 1];
    int stackWork[3 * (kStackOrder + 1)];
    std::vector<double> heapCells;
    std::vector<double*> heapRows;
    std::vector<int> heapWork;
    double* cells = stackCells;
    double** G = stackRows;
    int* work = stackWork;
    if (k > kStackOrder) {
        heapCells.resize(static_cast<size_t>(k + 1) * (k + 1));
        heapRows.resize(k + 1);
        heapWork.resize(3 * (static_cast<size_t>(k) + 1));
        cells = heapCells.data();
        G = heapRows.data();
        work = heapWork.data();
    }
    for (int a = 0; a <= k; a++) G[a] = cells + static_cast<size_t>(a) * (k + 1);
    for (int a = 0; a < k; a++)
        for (int b = 0; b < k; b++) G[a + 1][b + 1] = r(c[a], c[b]);
    const bool inverts = gaussj_RH(G, k, work);
    // S = A - B G^-1 B', the 2 x 2 covariances of i and j given the covariables.
    double s00 = 1.0, s11 = 1.0, s01 = r(i, j);
    if (inverts) {
        for (int a = 0; a < k; a++)
            for (int b = 0; b < k; b++) {
                const double g = G[a + 1][b + 1];
                s00 -= r(i, c[a]) * g * r(i, c[b]);
                s11 -= r(j, c[a]) * g * r(j, c[b]);
                s01 -= r(i, c[a]) * g * r(j, c[b]);
            }
    }
    const double failed = std::numeric_limits<double>::infinity();
    // A conditional variance of 0 or less (rounding, or a matrix that is no
    // correlation matrix) has no square root: a failure, never NaN.
    if (!inverts || !(s00 > 0) || !(s11 > 0)) return failed;
    const double result = s01 / std::sqrt(s00 * s11);
    return std::isfinite(result) ? result : failed;
}

namespace communality_detail {

// The leading m x m block of a covariance matrix S (n x n) is singular for
// every m beyond the first variable that depends on those before it, and
// the LDL' factorisation of a leading block is the leading part of the whole
// one: one pass finds the first pivot of rounding size (the tolerance of
// MatrixInverse), and so the size of the largest block likely to invert.
int FirstNegligiblePivot(int n, double** S) {
    double biggest = 0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) biggest = std::max(biggest, std::fabs(S[i][j]));
    const double tolerance = n * DBL_EPSILON * biggest;
    std::vector<double> L(static_cast<size_t>(n) * n, 0.0), LD(static_cast<size_t>(n) * n, 0.0), d(n);
    for (int k = 0; k < n; k++) {
        const double* lk = &L[static_cast<size_t>(k) * n];
        double dk = S[k][k];
        for (int j = 0; j < k; j++) dk -= lk[j] * LD[static_cast<size_t>(k) * n + j];
        if (!(dk > tolerance)) return k;
        d[k] = dk;
        for (int i = k + 1; i < n; i++) {
            double s = S[i][k];
            const double* li = &L[static_cast<size_t>(i) * n];
            const double* ldk = &LD[static_cast<size_t>(k) * n];
            for (int j = 0; j < k; j++) s -= li[j] * ldk[j];
            L[static_cast<size_t>(i) * n + k] = s / dk;
        }
        for (int i = k + 1; i < n; i++)
            LD[static_cast<size_t>(i) * n + k] = L[static_cast<size_t>(i) * n + k] * dk;
    }
    return n;
}

// The largest m whose leading block of S inverts (MatrixInverse decides), its
// inverse left in the leading block of inv; 0 when none does. The whole
// matrix is tried first; otherwise the factorisation proposes a size and
// MatrixInverse moves from there, up while the next block inverts or down
// until one does, instead of trying every size from the top (hundreds of
// inversions when many variables depend on others).
int LargestInvertibleBlock(int n, double** S, double** inv) {
    if (n < 1) return 0;
    if (MatrixInverse(n, n, S, inv)) return n;
    int m = std::max(1, std::min(FirstNegligiblePivot(n, S), n - 1));
    if (MatrixInverse(m, m, S, inv)) {
        while (m + 1 < n && MatrixInverse(m + 1, m + 1, S, inv)) m++;
        return m;
    }
    while (--m > 0 && !MatrixInverse(m, m, S, inv)) {
    }
    return m;
}

}  // namespace communality_detail

bool Communality(int nVariables, int nUnits, double** X, double* communality, int* kept) {
    const int n = nVariables;
    for (int v = 0; v < n; v++) communality[v] = MISSING;
    *kept = 0;
    if (n < 1) return true;
    // The variables with most entries above 0 first.
    std::vector<int> positives(n, 0), ascending(n), variable(n);
    for (int v = 0; v < n; v++)
        for (int u = 0; u < nUnits; u++) positives[v] += X[v][u] > 0 ? 1 : 0;
    IndexVector(n, positives.data(), ascending.data());
    double** W = dim2DT<double>(n, nUnits > 0 ? nUnits : 1);
    for (int r = 0; r < n; r++) {
        variable[r] = ascending[n - 1 - r] - 1;
        std::copy(X[variable[r]], X[variable[r]] + nUnits, W[r]);
    }
    CenterRowsCovMV(n, nUnits, W, W);
    // The covariances once; each smaller set of variables is a leading block.
    double** S = dim2DT<double>(n, n);
    double** inverse = dim2DT<double>(n, n);
    CrossProductMV(n, nUnits, W, S);
    const int m = communality_detail::LargestInvertibleBlock(n, S, inverse);
    for (int s = 0; s < m; s++)
        communality[variable[s]] = (S[s][s] - 1.0 / inverse[s][s]) / S[s][s];
    *kept = m;
    free2DT(inverse, n);
    free2DT(S, n);
    free2DT(W, n);
    return true;
}

long long BinarizedColumns(int n, int p, const bool* expand, double** X) {
    std::vector<double> column(n > 0 ? n : 1);
    long long total = 0;
    for (int j = 0; j < p; j++) {
        if (!expand[j]) {
            total += 1;
            continue;
        }
        for (int i = 0; i < n; i++) column[i] = X[i][j];
        total += CountStates(n, column.data());
    }
    return total;
}

bool Binarize(int n, int p, const bool* expand, double** X, double** Y, int* newCols, int** states,
              int* nStates) {
    std::vector<double> column(n > 0 ? n : 1);
    // The states first, so that a refused code leaves Y as it was.
    for (int j = 0; j < p; j++) {
        nStates[j] = 1;
        if (!expand[j]) continue;
        for (int i = 0; i < n; i++) column[i] = X[i][j];
        const int k = ListStates(n, column.data(), states[j]);
        if (k < 0) return false;
        nStates[j] = k;
    }
    int c = 0;
    for (int j = 0; j < p; j++) {
        if (!expand[j]) {
            for (int i = 0; i < n; i++) Y[i][c] = X[i][j];
            c++;
            continue;
        }
        for (int s = 0; s < nStates[j]; s++, c++)
            for (int i = 0; i < n; i++) {
                const double x = X[i][j];
                const bool known = x != MISSING && !std::isnan(x);
                Y[i][c] = known && std::trunc(x) == states[j][s] ? 1.0 : 0.0;
            }
    }
    *newCols = c;
    return true;
}

// ===========================================================================
// Permutation tests of ordination axes
// ===========================================================================

#include "rhlibOut.h"

OrdinationWork::OrdinationWork(int m_, int other_, int type_)
    : m(std::max(m_, 0)),
      other(std::max(other_, 0)),
      type(type_),
      R(dim2DT<double>(std::max(m, 1), std::max(m, 1))),
      evectors(dim2DT<double>(std::max(m, 1), std::max(m, 1))),
      scores(dim2DT<double>(std::max(m, 1), std::max({m, other, 1}))),
      eig(dim1DT<double>(std::max(m, 1))) {}

OrdinationWork::~OrdinationWork() {
    free1D(eig);
    free2DT(scores, std::max(m, 1));
    free2DT(evectors, std::max(m, 1));
    free2DT(R, std::max(m, 1));
}

int OrdinationWork::Run(int n, int p, double** transformed, double** stored, int dir, int measure, int postTransf,
                        int ordMeasure, const int* varType, double alpha, double k, bool countDoubleAbsence,
                        bool withScores) {
    axes = 0;
    for (int i = 0; i < m; i++) eig[i] = 0.0;
    if (ResemblanceLib(n, p, transformed, R, dir, measure, postTransf, varType, alpha, k, countDoubleAbsence,
                       false) != reseComputed)
        return 0;
    bool ok = false;
    const int status = withScores
                           ? OrdinationLib_D(m, other, stored, R, evectors, scores, &axes, eig, &ok, type, ordMeasure, dir)
                           : OrdinationLib_Eigen(m, R, nullptr, &axes, eig, &ok, type, ordMeasure);
    if (status != ordinationDone) axes = 0;
    return axes;
}

namespace axistest_detail {

const char* const kRule = "-------------------------------------------------------------------------------";

// Work arrays of one test, made before its loop and released on any exit.
using Matrix = ScopedMatrix<double>;
template <class T>
using Vector = ScopedVector<T>;

// k tables of n x p.
struct Tables {
    int k, n;
    double*** x;
    Tables(int k_, int n_, int p) : k(std::max(k_, 1)), n(std::max(n_, 1)), x(dim3DT<double>(k, n, std::max(p, 1))) {}
    ~Tables() { free3DT(x, k, n); }
    Tables(const Tables&) = delete;
    Tables& operator=(const Tables&) = delete;
    double** operator[](int d) const { return x[d]; }
};

// The report file of the dump, closed on any exit.
struct Dump {
    FILE* f;
    explicit Dump(char save) : f(save == 'y' ? fopenck("Vidive.txt", nullptr, "a") : nullptr) {}
    ~Dump() {
        if (f) fcloseck(f, "Vidive.txt");
    }
    Dump(const Dump&) = delete;
    Dump& operator=(const Dump&) = delete;
    explicit operator bool() const { return f != nullptr; }
};

void PrintEigenvalues(FILE* f, const OrdinationWork& w) {
    fprintf(f, "Eigenvalues (first %d): ", w.axes);
    for (int a = 0; a < w.axes; a++) fprintf(f, "%g ", NoNegativeZero(w.eig[a]));
    fprintf(f, "\n");
}

void PrintScores(FILE* f, const OrdinationWork& w, const char* heading) {
    fprintf(f, heading, w.Width(), w.axes);
    for (int a = 0; a < w.axes; a++) {
        fprintf(f, "Axis %d:       \t", a + 1);
        for (int j = 0; j < w.Width(); j++) fprintf(f, "%g\t", NoNegativeZero(w.scores[a][j]));
        fprintf(f, "\n");
    }
}

void Opening(FILE* f, int N, const char* criterion) {
    fprintf(f, "\n%s\n", kRule);
    fprintf(f, "RANDOMIZATION TEST: Data and results of each permutation\n");
    fprintf(f, "%s\n", kRule);
    TimeStamp(f);
    fprintf(f, "Number of permutations: %d\n", N);
    fprintf(f, "%s", criterion);
    fprintf(f, "\n%s\n", kRule);
    fprintf(f, "Permutation 1:\n");
}

void FinalHeading(FILE* f, double start) {
    fprintf(f, "\n%s\n", kRule);
    fprintf(f, "RANDOMIZATION TEST");
    fprintf(f, ": Final results");
    fprintf(f, "\n%s\n", kRule);
    TimeStamp(f);
    fprintf(f, "Elapsed time: %g seconds\n", difftime_Clock(start));
}

void Iteration(FILE* f, int i) {
    fprintf(f, "\n%s\n", kRule);
    fprintf(f, "Iteration: %d\n", i);
}

void Values(FILE* f, int n, const double* x) {
    for (int i = 0; i < n; i++) fprintf(f, "%g\t", NoNegativeZero(x[i]));
}

// A row of probabilities; one that is NaN belongs to a statistic that could
// not be tested.
void Probabilities(FILE* f, int n, const double* P, int digits) {
    for (int i = 0; i < n; i++) {
        if (std::isnan(P[i]))
            fprintf(f, "not testable\t");
        else
            fprintf(f, "%.*g\t", digits, P[i]);
    }
    fprintf(f, "\n");
}

// Column j of `to` is column j of `from` in the order of a fresh list
// (to[u][j] = from[list[u] - 1][j]), one list per column, drawn in column
// order.
void PermuteColumns(int n, int p, double** from, double** to, int* list) {
    for (int j = 0; j < p; j++) {
        RndList(n, list);
        for (int u = 0; u < n; u++) to[u][j] = from[list[u] - 1][j];
    }
}

}  // namespace axistest_detail

void RVDIMPermutation_D(int n, int p, int K, int N, double** X, double** weights, double** scores,
                        const double* eig, int ordType, int /*trEs*/, int /*trVeVar*/, int /*trVeUnits*/,
                        int dir, int /*measure*/, const int* varType, double alpha, double k,
                        bool countDoubleAbsence, double* rvdimObs, double* P, char save, int digits) {
    using namespace axistest_detail;
    const double start = difftime_Clock_Init();
    if (K < 0) K = 0;
    const int m = dir == 2 ? p : n, other = dir == 2 ? n : p;
    Dump dump(save);
    FILE* f = dump.f;
    if (f) {
        Opening(f, N, "Test criterion: RVDIM (Kresh 2008)\n");
        PrintMatrixTab(f, n, p, X, digits);
        fprintf(f, "\nObserved RVDIM in the data (axes 1 to %d):\t", K);
    }
    for (int d = 0; d < K; d++) {
        rvdimObs[d] = RVDIM(K, d + 1, eig);
        if (f) fprintf(f, "%g\t", NoNegativeZero(rvdimObs[d]));
    }

    // Residual table d is the data less their first d dimensions: the sum of
    // the layers d to K - 1, made from the last one backwards.
    Tables residual(K, n, p);
    {
        Matrix layer(n, p);
        for (int d = K - 1; d >= 0; d--) {
            VectorOuterProd(n, p, scores[d], weights[d], layer);
            if (d == K - 1)
                CopyMatrix(n, p, layer, residual[d]);
            else
                MatrixSum(n, p, n, p, residual[d + 1], layer, residual[d], 1);
        }
        if (f) {
            for (int d = 0; d < K; d++) {
                VectorOuterProd(n, p, scores[d], weights[d], layer);
                fprintf(f, "\n%s\n", kRule);
                fprintf(f, "Data matrix layer corresponding to dimension %d:\n", d + 1);
                PrintMatrixTab(f, n, p, layer, digits);
            }
            for (int d = 0; d < K; d++) {
                fprintf(f, "\n%s\n", kRule);
                fprintf(f, "Matrix of residuals corresponding to dimension %d:\n", d + 1);
                PrintMatrixTab(f, n, p, residual[d], digits);
            }
        }
    }

    Matrix permuted(n, p);
    Vector<int> list(n);
    Vector<int> effective(K);
    OrdinationWork random(m, other, ordType);
    for (int d = 0; d < K; d++) P[d] = 1.0;
    char text[64];
    for (int i = 2; i <= N; i++) {
        snprintf(text, sizeof text, "Permutation RVDIM: %d %d", N, i);
        HandleEventInfoWhere2(text);
        for (int d = 0; d < K; d++) {
            PermuteColumns(n, p, residual[d], permuted, list);
            if (f) {
                Iteration(f, i);
                fprintf(f, "Permuted residual matrix, for testing dimension %d:\n", d + 1);
                PrintMatrixTab(f, n, p, permuted, digits);
            }
            // The residuals are the table as the ordination saw it, so their
            // cross-products (measure 1) are what is ordinated again.
            const int axes =
                random.Run(n, p, permuted, permuted, dir, 1, 0, 1, varType, alpha, k, countDoubleAbsence, f != nullptr);
            const double rnd = axes > 0 ? RVDIM(axes, 1, random.eig) : 0.0;
            if (f) {
                PrintEigenvalues(f, random);
                PrintScores(
                    f, random, "\nScores of %d sampling units on the first %d permuted ordination axis(es) of permuted sample: \n");
                fprintf(f, "RVDIM 1, computed with permuted residual matrix, for testing dimension %d:\t%g\n", d + 1,
                        NoNegativeZero(rnd));
            }
            // A permuted table without any axis has no first axis to compare.
            if (axes < 1) continue;
            effective[d]++;
            if (CountsTowardP(rnd, rvdimObs[d], TieRule::Larger)) P[d] += 1.0;
        }
    }
    for (int d = 0; d < K; d++) P[d] = PermutationP(P[d], effective[d] + 1, rvdimObs[d]);

    if (f) {
        FinalHeading(f, start);
        fprintf(f, "Number of effective permutations for each axis (specified number = %d permutations):\n", N);
        for (int d = 0; d < K; d++) fprintf(f, "Axis %d:\t%d\n", d + 1, effective[d] + 1);
        fprintf(f, "RVDIM and corresponding probabilities p(RVDIM_rnd >= RVDIM_obs) (Kresh 2008)\n");
        PrintVectorTab(f, K, rvdimObs, digits);
        Probabilities(f, K, P, digits);
    }
    ClearLine();
}

void EigenPermutation_D(int n, int p, int m, int m2, int K, int N, double** X, double** /*R*/,
                        const double* eigObs, int ordType, int trEs, int trVeVar, int trVeUnits,
                        int nClassesVar, int nClassesUnits, int dir, int measure, const int* varType,
                        double alpha, double k, bool countDoubleAbsence, double* Peig,
                        double* PpseudoF, double* belowAverage, char save, int digits) {
    using namespace axistest_detail;
    const double start = difftime_Clock_Init();
    if (K < 0) K = 0;
    Dump dump(save);
    FILE* f = dump.f;
    Vector<double> Fobs(K), Frnd(K), sum(K);
    for (int a = 0; a + 1 < K; a++) Fobs[a] = PseudoF_eig(K, a + 1, eigObs);
    if (f) {
        Opening(f, N, "Test criterion: eigenvalue itself (ter Frelle 1988), pseudo-F ratio (ter Frelle 1988)\n");
        PrintMatrixTab(f, n, p, X, digits);
        fprintf(f, "\nObserved eigenvalue in the data (axes 1 to %d):\t", K);
        Values(f, K, eigObs);
        fprintf(f, "\nObserved pseudo-F ratio in the data (axes 1 to %d):\t", K);
        Values(f, K, Fobs);
    }
    for (int a = 0; a < K; a++) Peig[a] = PpseudoF[a] = 1.0;

    Matrix stored(n, p), transformed(n, p);
    Vector<int> list(n);
    OrdinationWork random(m, m2, ordType);
    const int summed = std::min(K, m);
    for (int i = 2; i <= N; i++) {
        PermuteColumns(n, p, X, stored, list);
        if (f) {
            Iteration(f, i);
            fprintf(f, "Random data:\n");
            PrintMatrixTab(f, n, p, stored, digits);
        }
        CopyMatrix(n, p, stored, transformed);
        DataTransformationsLib_D(n, p, transformed, trEs, trVeVar, trVeUnits, nClassesVar, nClassesUnits);
        const int axes = random.Run(n, p, transformed, ordType == 3 ? stored : transformed, dir, measure, 0, measure,
                                    varType, alpha, k, countDoubleAbsence, f != nullptr);
        for (int a = 0; a < summed; a++) sum[a] += random.eig[a];
        // Ratios left from a permutation with more axes must not be compared.
        for (int a = 0; a < K; a++) Frnd[a] = 0.0;
        for (int a = 0; a < K && a + 1 < axes; a++) Frnd[a] = PseudoF_eig(axes, a + 1, random.eig);
        if (f) {
            PrintEigenvalues(f, random);
            fprintf(f, "\nSampling units:\t");
            for (int u = 0; u < n; u++) fprintf(f, "%d\t", list[u]);
            fprintf(f, "\n");
            PrintScores(f, random, "\nScores of %d sampling units on the first %d bootstrap sample ordination axis(es): \n");
            fprintf(f, "\nPseudo-F ratio in the permuted data (axes 1 to %d):\t", std::min(K, axes));
            Values(f, std::min(K, axes), Frnd);
            fprintf(f, "\n");
        }
        for (int a = 0; a < std::min(K, axes); a++) {
            if (CountsTowardP(random.eig[a], eigObs[a], TieRule::Larger)) Peig[a] += 1.0;
            if (CountsTowardP(Frnd[a], Fobs[a], TieRule::Larger)) PpseudoF[a] += 1.0;
        }
    }
    for (int a = 0; a < K; a++) {
        Peig[a] = PermutationP(Peig[a], N, eigObs[a]);
        PpseudoF[a] = PermutationP(PpseudoF[a], N, Fobs[a]);
        const double average = sum[a] / N;
        belowAverage[a] = eigObs[a] > average ? 0.0 : 1.0;
    }

    if (f) {
        FinalHeading(f, start);
        fprintf(f, "Number of permutations: %d\n", N);
        fprintf(f, "Eigenvalues and corresponding probabilities p(Eig_rnd >= Eig_obs) (ter Frelle 1998)\n");
        fprintf(f, "Results:\n");
        PrintVectorTab(f, K, eigObs, digits);
        Probabilities(f, K, Peig, digits);
        fprintf(f, "Pseudo-F ratios and corresponding probabilities p(Pseudo-F_rnd >= Pseudo-F_obs) (ter Frelle 1998)\n");
        fprintf(f, "Results:\n");
        PrintVectorTab(f, K, Fobs, digits);
        Probabilities(f, K, PpseudoF, digits);
    }
    ClearLine();
}
