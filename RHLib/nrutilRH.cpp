#include "nrutilRH.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "rhlibDim.h"

// ---------------------------------------------------------------------------
// Fatal end and allocator
// ---------------------------------------------------------------------------

void nrerror(const char* message) {
    fflush(stdout);
    fprintf(stderr, "%s\n", message);
    fprintf(stderr, "Sorry, you have to quit and restart the program.\n");
    fflush(stderr);
    std::exit(1);
}

namespace {

constexpr long kEnd = 1;  // one spare element before the first valid index

// Bytes for the elements nl..nh plus the spare one; an empty or inverted range
// still gets a block, and a count that overflows is refused like a failure.
void* RawBlock(long nl, long nh, size_t elementSize, const char* failure) {
    long long count = static_cast<long long>(nh) - nl + 1 + kEnd;
    if (count < 1) count = 1;
    if (static_cast<unsigned long long>(count) > SIZE_MAX / elementSize) nrerror(failure);
    void* p = std::malloc(static_cast<size_t>(count) * elementSize);
    if (p == nullptr) nrerror(failure);
    return p;
}

template <class T>
T* ShiftedVector(long nl, long nh, const char* failure) {
    T* v = static_cast<T*>(RawBlock(nl, nh, sizeof(T), failure));
    return v - nl + kEnd;
}

template <class T>
void FreeShiftedVector(T* v, long nl) {
    if (v != nullptr) std::free(v + nl - kEnd);
}

template <class T>
T** ShiftedMatrix(long nrl, long nrh, long ncl, long nch) {
    long nrow = nrh - nrl + 1, ncol = nch - ncl + 1;
    if (nrow < 0) nrow = 0;
    if (ncol < 0) ncol = 0;
    // At least one row pointer, so that m[nrl] exists even for no rows.
    T** m = static_cast<T**>(
        RawBlock(0, nrow > 0 ? nrow - 1 : 0, sizeof(T*), "allocation failure 1 in matrix()"));
    m += kEnd;
    m -= nrl;
    long long cells = static_cast<long long>(nrow) * ncol;
    m[nrl] = static_cast<T*>(
        RawBlock(0, static_cast<long>(cells > 0 ? cells - 1 : 0), sizeof(T),
                 "allocation failure 2 in matrix()"));
    m[nrl] += kEnd;
    m[nrl] -= ncl;
    for (long i = nrl + 1; i <= nrh; i++) m[i] = m[i - 1] + ncol;
    return m;
}

template <class T>
void FreeShiftedMatrix(T** m, long nrl, long ncl) {
    if (m == nullptr) return;
    std::free(m[nrl] + ncl - kEnd);
    std::free(m + nrl - kEnd);
}

}  // namespace

float* vector(long nl, long nh) { return ShiftedVector<float>(nl, nh, "allocation failure in vector()"); }
int* ivector(long nl, long nh) { return ShiftedVector<int>(nl, nh, "allocation failure in ivector()"); }
unsigned long* lvector(long nl, long nh) {
    return ShiftedVector<unsigned long>(nl, nh, "allocation failure in lvector()");
}
unsigned char* cvector(long nl, long nh) {
    return ShiftedVector<unsigned char>(nl, nh, "allocation failure in cvector()");
}
double* dvector(long nl, long nh) { return ShiftedVector<double>(nl, nh, "allocation failure in dvector()"); }

void free_vector(float* v, long nl, long) { FreeShiftedVector(v, nl); }
void free_ivector(int* v, long nl, long) { FreeShiftedVector(v, nl); }
void free_lvector(unsigned long* v, long nl, long) { FreeShiftedVector(v, nl); }
void free_cvector(unsigned char* v, long nl, long) { FreeShiftedVector(v, nl); }
void free_dvector(double* v, long nl, long) { FreeShiftedVector(v, nl); }

double** dmatrix(long nrl, long nrh, long ncl, long nch) { return ShiftedMatrix<double>(nrl, nrh, ncl, nch); }
int** imatrix(long nrl, long nrh, long ncl, long nch) { return ShiftedMatrix<int>(nrl, nrh, ncl, nch); }
void free_dmatrix(double** m, long nrl, long, long ncl, long) { FreeShiftedMatrix(m, nrl, ncl); }
void free_matrix(double** m, long nrl, long nrh, long ncl, long nch) { free_dmatrix(m, nrl, nrh, ncl, nch); }
void free_imatrix(int** m, long nrl, long, long ncl, long) { FreeShiftedMatrix(m, nrl, ncl); }
void free_submatrix(double** b, long nrl, long, long, long) {
    if (b != nullptr) std::free(b + nrl - kEnd);
}

// ---------------------------------------------------------------------------
// Conversions
// ---------------------------------------------------------------------------

void Convertn_n1(int rows, int cols, double** A, double** A1) {
    for (int i = 0; i < rows; i++) {
        const double* a = A[i];
        double* a1 = A1[i + 1] + 1;
        for (int j = 0; j < cols; j++) a1[j] = a[j];
    }
}

void Convertn1_n(int rows, int cols, double** A1, double** A) {
    for (int i = 0; i < rows; i++) {
        const double* a1 = A1[i + 1] + 1;
        double* a = A[i];
        for (int j = 0; j < cols; j++) a[j] = a1[j];
    }
}

// ---------------------------------------------------------------------------
// Gauss-Jordan elimination
// ---------------------------------------------------------------------------

namespace {

// The elimination of gaussj and gaussj_RH. With report, singular pivots are
// written to the standard error stream and the elimination runs to its end;
// without it, the step that met one is completed and the routine returns
// false at the start of the next step. Returns false when a singular pivot
// was met. work holds the three index vectors (3(n + 1) ints).
bool GaussJordan(double** a, int n, double** b, int m, bool report, int* work) {
    int* indxc = work;
    int* indxr = work + (n + 1);
    int* ipiv = work + 2 * (n + 1);
    std::fill(work, work + 3 * (n + 1), 0);

    // Scale of the input: a pivot at rounding level of it is no pivot.
    double largest = 0.0;
    for (int j = 1; j <= n; j++)
        for (int k = 1; k <= n; k++) largest = std::fmax(largest, std::fabs(a[j][k]));
    const double tiny = n * DBL_EPSILON * largest;

    bool ok = true;
    for (int i = 1; i <= n; i++) {
        if (!ok && !report) break;
        double big = 0.0;
        int irow = 0, icol = 0;
        bool found = false;
        for (int j = 1; j <= n; j++) {
            if (ipiv[j] == 1) continue;
            for (int k = 1; k <= n; k++) {
                if (ipiv[k] == 0) {
                    double v = std::fabs(a[j][k]);
                    if (v >= big) {
                        big = v;
                        irow = j;
                        icol = k;
                        found = true;
                    } else if (!found) {
                        // Only a NaN gets here: keep it as a last resort so
                        // that the step always has a pivot position.
                        irow = j;
                        icol = k;
                        found = true;
                    }
                } else if (ipiv[k] > 1) {
                    if (report && ok) fputs("gaussj: Singular Matrix-1", stderr);
                    ok = false;
                }
            }
        }
        if (!found) {  // cannot happen with consistent pivot counts
            ok = false;
            break;
        }
        ++ipiv[icol];
        if (irow != icol) {
            for (int l = 1; l <= n; l++) std::swap(a[irow][l], a[icol][l]);
            for (int l = 1; l <= m; l++) std::swap(b[irow][l], b[icol][l]);
        }
        indxr[i] = irow;
        indxc[i] = icol;
        const double pivot = a[icol][icol];
        if (!std::isfinite(pivot) || std::fabs(pivot) <= tiny) {
            if (report && ok) fputs("gaussj: Singular Matrix-2", stderr);
            ok = false;
        }
        const double pivinv = 1.0 / pivot;
        double* prow = a[icol];
        prow[icol] = 1.0;
        for (int l = 1; l <= n; l++) prow[l] *= pivinv;
        for (int l = 1; l <= m; l++) b[icol][l] *= pivinv;
        for (int ll = 1; ll <= n; ll++) {
            if (ll == icol) continue;
            double* row = a[ll];
            const double dum = row[icol];
            row[icol] = 0.0;
            for (int l = 1; l <= n; l++) row[l] -= prow[l] * dum;
            for (int l = 1; l <= m; l++) b[ll][l] -= b[icol][l] * dum;
        }
    }
    if (ok || report) {
        for (int l = n; l >= 1; l--) {
            if (indxr[l] != indxc[l])
                for (int k = 1; k <= n; k++) std::swap(a[k][indxr[l]], a[k][indxc[l]]);
        }
    }
    return ok;
}

bool GaussJordan(double** a, int n, double** b, int m, bool report) {
    std::vector<int> work(3 * (static_cast<size_t>(n) + 1));
    return GaussJordan(a, n, b, m, report, work.data());
}

}  // namespace

bool gaussj(double** a, int n, double** b, int m) { return GaussJordan(a, n, b, m, true); }

bool gaussj_RH(double** a, int n, double** b, int m) { return GaussJordan(a, n, b, m, false); }

bool gaussj_RH(double** a, int n, int* work) { return GaussJordan(a, n, nullptr, 0, false, work); }

bool MatrixInverse(int n, int /*m*/, double** A, double** inverse) {
    // The right-hand side of the elimination is all zero and its solution is
    // never read, so it is left out: the inverse is the same, for half the work.
    double** a1 = dim2DT<double>(n + 1, n + 1);
    Convertn_n1(n, n, A, a1);
    const bool ok = gaussj_RH(a1, n, nullptr, 0);
    if (ok) Convertn1_n(n, n, a1, inverse);
    free2DT(a1, n + 1);
    return ok;
}

// ---------------------------------------------------------------------------
// Cholesky factorisation
// ---------------------------------------------------------------------------

bool choldc(double** a, int n, double* p) {
    for (int i = 0; i < n; i++) {
        for (int j = i; j < n; j++) {
            double sum = a[i][j];
            for (int k = i - 1; k >= 0; k--) sum -= a[i][k] * a[j][k];
            if (i == j) {
                // A NaN sum is no more positive than a negative one.
                if (!(sum > 0.0)) {
                    printf("\ncholdc failed");
                    return false;
                }
                p[i] = std::sqrt(sum);
            } else {
                a[j][i] = sum / p[i];
            }
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// Sorting and ranking
// ---------------------------------------------------------------------------

namespace {

constexpr unsigned long kInsertionBelow = 7;
// The larger part is always stacked, so each level at least halves the part
// being worked on: 64 levels of two entries cover any 64-bit count.
constexpr long kStack = 128;

// The quicksort of sort2 and indexx over positions 1..n of a sequence of
// items. Seq gives Key key(i), Item get(i), void set(i, item), Key keyOf(item)
// and void swap(i, j).
template <class Seq>
void QuickSort(unsigned long n, Seq& q, const char* overflow) {
    if (n < 2) return;
    unsigned long i, ir = n, j, k, l = 1;
    long jstack = 0;
    unsigned long* istack = lvector(1, kStack);
    for (;;) {
        if (ir - l < kInsertionBelow) {
            for (j = l + 1; j <= ir; j++) {
                const auto item = q.get(j);
                const auto a = q.keyOf(item);
                for (i = j - 1; i >= l; i--) {
                    if (q.key(i) <= a) break;
                    q.set(i + 1, q.get(i));
                }
                q.set(i + 1, item);
            }
            if (jstack == 0) break;
            ir = istack[jstack];
            l = istack[jstack - 1];
            jstack -= 2;
        } else {
            k = (l + ir) >> 1;
            q.swap(k, l + 1);
            if (q.key(l) > q.key(ir)) q.swap(l, ir);
            if (q.key(l + 1) > q.key(ir)) q.swap(l + 1, ir);
            if (q.key(l) > q.key(l + 1)) q.swap(l, l + 1);
            i = l + 1;
            j = ir;
            const auto item = q.get(l + 1);
            const auto a = q.keyOf(item);
            for (;;) {
                // The item at ir (not below a after the median of three, or a
                // NaN) stops this scan, and the one at l + 1 (a itself) stops
                // the next, so both stay inside the part whatever the values.
                do i++;
                while (q.key(i) < a);
                do j--;
                while (q.key(j) > a);
                if (j < i) break;
                q.swap(i, j);
            }
            q.set(l + 1, q.get(j));
            q.set(j, item);
            jstack += 2;
            if (jstack > kStack) nrerror(overflow);
            if (ir - i + 1 >= j - l) {
                istack[jstack] = ir;
                istack[jstack - 1] = i;
                ir = j - 1;
            } else {
                istack[jstack] = j - 1;
                istack[jstack - 1] = l;
                l = i;
            }
        }
    }
    free_lvector(istack, 1, kStack);
}

// Keys with a companion array moved alongside.
template <class T, class U>
struct Paired {
    T* arr;
    U* brr;
    T key(unsigned long i) const { return arr[i]; }
    std::pair<T, U> get(unsigned long i) const { return {arr[i], brr[i]}; }
    void set(unsigned long i, const std::pair<T, U>& v) {
        arr[i] = v.first;
        brr[i] = v.second;
    }
    T keyOf(const std::pair<T, U>& v) const { return v.first; }
    void swap(unsigned long i, unsigned long j) {
        std::swap(arr[i], arr[j]);
        std::swap(brr[i], brr[j]);
    }
};

// Positions sorted by the keys they point at.
struct Indexed {
    const double* arr;
    unsigned long* indx;
    double key(unsigned long i) const { return arr[indx[i]]; }
    unsigned long get(unsigned long i) const { return indx[i]; }
    void set(unsigned long i, unsigned long v) { indx[i] = v; }
    double keyOf(unsigned long v) const { return arr[v]; }
    void swap(unsigned long i, unsigned long j) { std::swap(indx[i], indx[j]); }
};

}  // namespace

void sort2(unsigned long n, double* arr, double* brr) {
    Paired<double, double> q{arr, brr};
    QuickSort(n, q, "NSTACK too small in sort2.");
}

void sort2(unsigned long n, int* arr, int* brr) {
    Paired<int, int> q{arr, brr};
    QuickSort(n, q, "NSTACK too small in sort2.");
}

void indexx(unsigned long n, const double* arr, unsigned long* indx) {
    for (unsigned long j = 1; j <= n; j++) indx[j] = j;
    Indexed q{arr, indx};
    QuickSort(n, q, "NSTACK too small in indexx.");
}

void crank(unsigned long n, double* w, double* s) {
    unsigned long j = 1;
    *s = 0.0;
    while (j < n) {
        if (w[j + 1] != w[j]) {
            w[j] = static_cast<double>(j);
            ++j;
        } else {
            unsigned long jt;
            for (jt = j + 1; jt <= n && w[jt] == w[j]; jt++) {
            }
            const double rank = 0.5 * static_cast<double>(j + jt - 1);
            for (unsigned long ji = j; ji <= jt - 1; ji++) w[ji] = rank;
            const double t = static_cast<double>(jt - j);
            *s += t * t * t - t;
            j = jt;
        }
    }
    if (j == n) w[n] = static_cast<double>(n);
}

// ---------------------------------------------------------------------------
// Householder reduction and QL iterations
// ---------------------------------------------------------------------------

double pythag(double a, double b) {
    const double absa = std::fabs(a), absb = std::fabs(b);
    if (absa > absb) {
        const double r = absb / absa;
        return absa * std::sqrt(1.0 + r * r);
    }
    if (absb == 0.0) return 0.0;
    const double r = absa / absb;
    return absb * std::sqrt(1.0 + r * r);
}

void tred2(double** a, int n, double* d, double* e) {
    for (int i = n; i >= 2; i--) {
        const int l = i - 1;
        double h = 0.0, scale = 0.0;
        if (l > 1) {
            for (int k = 1; k <= l; k++) scale += std::fabs(a[i][k]);
            if (scale == 0.0) {
                e[i] = a[i][l];
            } else {
                for (int k = 1; k <= l; k++) {
                    a[i][k] /= scale;
                    h += a[i][k] * a[i][k];
                }
                double f = a[i][l];
                double g = (f >= 0.0 ? -std::sqrt(h) : std::sqrt(h));
                e[i] = scale * g;
                h -= f * g;
                a[i][l] = f - g;
                f = 0.0;
                for (int j = 1; j <= l; j++) {
                    a[j][i] = a[i][j] / h;
                    g = 0.0;
                    for (int k = 1; k <= j; k++) g += a[j][k] * a[i][k];
                    for (int k = j + 1; k <= l; k++) g += a[k][j] * a[i][k];
                    e[j] = g / h;
                    f += e[j] * a[i][j];
                }
                const double hh = f / (h + h);
                for (int j = 1; j <= l; j++) {
                    f = a[i][j];
                    e[j] = g = e[j] - hh * f;
                    for (int k = 1; k <= j; k++) a[j][k] -= (f * e[k] + g * a[i][k]);
                }
            }
        } else {
            e[i] = a[i][l];
        }
        d[i] = h;
    }
    if (n >= 1) {
        d[1] = 0.0;
        e[1] = 0.0;
    }
    for (int i = 1; i <= n; i++) {
        const int l = i - 1;
        if (d[i] != 0.0) {
            for (int j = 1; j <= l; j++) {
                double g = 0.0;
                for (int k = 1; k <= l; k++) g += a[i][k] * a[k][j];
                for (int k = 1; k <= l; k++) a[k][j] -= g * a[k][i];
            }
        }
        d[i] = a[i][i];
        a[i][i] = 1.0;
        for (int j = 1; j <= l; j++) a[j][i] = a[i][j] = 0.0;
    }
}

void tqli(double* d, double* e, int n, double** z) {
    if (n < 1) return;
    for (int i = 2; i <= n; i++) e[i - 1] = e[i];
    e[n] = 0.0;
    for (int l = 1; l <= n; l++) {
        int iter = 0, m;
        do {
            for (m = l; m <= n - 1; m++) {
                const double dd = std::fabs(d[m]) + std::fabs(d[m + 1]);
                if (AlmostEqual2sComplement(std::fabs(e[m]) + dd, dd, 1)) break;
            }
            if (m != l) {
                if (iter++ == 30) nrerror("Too many iterations in tqli");
                double g = (d[l + 1] - d[l]) / (2.0 * e[l]);
                double r = pythag(g, 1.0);
                g = d[m] - d[l] + e[l] / (g + (g >= 0.0 ? std::fabs(r) : -std::fabs(r)));
                double s = 1.0, c = 1.0, p = 0.0;
                int i;
                for (i = m - 1; i >= l; i--) {
                    double f = s * e[i];
                    const double b = c * e[i];
                    e[i + 1] = (r = pythag(f, g));
                    if (r == 0.0) {
                        d[i + 1] -= p;
                        e[m] = 0.0;
                        break;
                    }
                    s = f / r;
                    c = g / r;
                    g = d[i + 1] - p;
                    r = (d[i] - g) * s + 2.0 * c * b;
                    d[i + 1] = g + (p = s * r);
                    g = c * r - b;
                    for (int k = 1; k <= n; k++) {
                        f = z[k][i + 1];
                        z[k][i + 1] = s * z[k][i] + c * f;
                        z[k][i] = c * z[k][i] - s * f;
                    }
                }
                if (r == 0.0 && i >= l) continue;
                d[l] -= p;
                e[l] = g;
                e[m] = 0.0;
            }
        } while (m != l);
    }
}

void eigsrt(double* d, double** v, int n) {
    for (int i = 1; i < n; i++) {
        int k = i;
        double p = d[i];
        for (int j = i + 1; j <= n; j++)
            if (d[j] >= p) p = d[k = j];
        if (k != i) {
            d[k] = d[i];
            d[i] = p;
            for (int j = 1; j <= n; j++) std::swap(v[j][i], v[j][k]);
        }
    }
}
