// Classical numerical routines on 1-based arrays: Gauss-Jordan inversion,
// Cholesky factorisation, sorting, index sorting and ranking, and their
// allocators.
//
// Unless a routine says otherwise, vectors are v[1..n] and matrices
// a[1..n][1..m] (row 0 and column 0 unused); Convertn_n1 and Convertn1_n move
// data between these and the 0-based matrices of the rest of the library.
#ifndef NRUTILRH_H
#define NRUTILRH_H

// Writes message, then the dead-end line, and ends the process with status 1.
[[noreturn]] void nrerror(const char* message);

// ---------------------------------------------------------------------------
// Allocator of this family: blocks from malloc, not cleared, shifted so that
// indices nl..nh (rows nrl..nrh, columns ncl..nch) are valid. A failed
// allocation ends the process through nrerror.
// ---------------------------------------------------------------------------
float* vector(long nl, long nh);
int* ivector(long nl, long nh);
unsigned long* lvector(long nl, long nh);
unsigned char* cvector(long nl, long nh);
double* dvector(long nl, long nh);
void free_vector(float* v, long nl, long nh);
void free_ivector(int* v, long nl, long nh);
void free_lvector(unsigned long* v, long nl, long nh);
void free_cvector(unsigned char* v, long nl, long nh);
void free_dvector(double* v, long nl, long nh);

// One block of row pointers and one contiguous block for all rows.
double** dmatrix(long nrl, long nrh, long ncl, long nch);
int** imatrix(long nrl, long nrh, long ncl, long nch);
void free_matrix(double** m, long nrl, long nrh, long ncl, long nch);
void free_dmatrix(double** m, long nrl, long nrh, long ncl, long nch);
void free_imatrix(int** m, long nrl, long nrh, long ncl, long nch);
// Releases the row-pointer block only (the rows belong to another matrix).
void free_submatrix(double** b, long nrl, long nrh, long ncl, long nch);

// ---------------------------------------------------------------------------
// Conversions between 0-based and 1-based matrices.
// ---------------------------------------------------------------------------
// A1[i+1][j+1] = A[i][j]
void Convertn_n1(int rows, int cols, double** A, double** A1);
// A[i][j] = A1[i+1][j+1]
void Convertn1_n(int rows, int cols, double** A1, double** A);

// ---------------------------------------------------------------------------
// Gauss-Jordan elimination with full pivoting. On return a[1..n][1..n] holds
// the inverse and b[1..n][1..m] the solutions of a x = b.
//
// A pivot counts as singular when it is not finite or its magnitude is at
// most n x machine epsilon x the largest magnitude of the input a: two equal
// rows leave a pivot of rounding size, not an exact 0.
// ---------------------------------------------------------------------------
// Writes "gaussj: Singular Matrix-1" or "-2" on the standard error stream and
// goes on; returns false in that case (its results are then not usable). A
// matrix is told singular once, at its first failing step, however many
// steps fail after it.
bool gaussj(double** a, int n, double** b, int m);
// Returns false (no message) when the matrix is singular.
bool gaussj_RH(double** a, int n, double** b, int m);
// The inverse alone, on caller-owned work (3(n + 1) ints), for loops that
// invert small matrices many times without allocating.
bool gaussj_RH(double** a, int n, int* work);

// Inverse of the 0-based n x n matrix A (every caller passes m = n). Returns
// false and leaves inverse untouched when A is singular. inverse may be A.
bool MatrixInverse(int n, int m, double** A, double** inverse);

// Cholesky factorisation (0-based) of the symmetric positive definite matrix
// whose upper triangle is in a: the diagonal of the factor goes to p[0..n-1],
// the rest below the diagonal of a; the upper triangle is left as it was.
// Writes "\ncholdc failed" on the standard output and returns false when the
// matrix is not positive definite.
bool choldc(double** a, int n, double* p);

// ---------------------------------------------------------------------------
// Sorting and ranking (1-based). Quicksort, median-of-three partitioning,
// straight insertion below 7 elements; the work stack always holds the larger
// part, so it never exceeds 2 x 64 entries.
// ---------------------------------------------------------------------------
// Sorts arr[1..n] ascending and rearranges brr[1..n] in the same way.
void sort2(unsigned long n, double* arr, double* brr);
void sort2(unsigned long n, int* arr, int* brr);
// indx[1..n] = the positions of arr[1..n] in ascending order of value.
void indexx(unsigned long n, const double* arr, unsigned long* indx);
// w[1..n], sorted ascending, replaced by its ranks (ties: the mean of the
// ranks they span); s = the sum over runs of ties of t^3 - t.
void crank(unsigned long n, double* w, double* s);

// ---------------------------------------------------------------------------
// Householder reduction and QL iterations (1-based symmetric matrices).
// ---------------------------------------------------------------------------
// sqrt(a^2 + b^2) without destructive overflow or underflow.
double pythag(double a, double b);
// Reduces a[1..n][1..n] to tridiagonal form: diagonal in d, off-diagonal in
// e[2..n] (e[1] = 0); a is replaced by the orthogonal transformation.
void tred2(double** a, int n, double* d, double* e);
// Eigenvalues (into d) and eigenvectors (columns of z, which holds the
// transformation of tred2 on entry) of the tridiagonal matrix d, e.
void tqli(double* d, double* e, int n, double** z);
// Eigenvalues into descending order, eigenvector columns of v with them.
void eigsrt(double* d, double** v, int n);

#endif
