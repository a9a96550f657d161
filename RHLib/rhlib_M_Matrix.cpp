// ===========================================================================
// Matrix operations, eigen analysis and SVD
// ===========================================================================

#include "rhlib_M.h"

#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <vector>

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_errno.h>
#include <omp.h>

#include "nrutilRH.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"
#include "rhlib_M_internal.h"

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
