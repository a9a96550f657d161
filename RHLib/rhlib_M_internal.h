// Internals shared by the files of rhlib_M and by no caller: the lock of the
// generator r, which every file that draws from r holds, and the eigen
// analysis that the matrix routines and the analysis dispatchers both take.
#ifndef RHLIB_M_INTERNAL_H
#define RHLIB_M_INTERNAL_H

#include <cstddef>
#include <mutex>

// Defined beside r.
extern std::recursive_mutex generatorMutex;
using GeneratorLock = std::lock_guard<std::recursive_mutex>;

namespace matrixdetail {

// Defined with the matrix routines (their contracts are told there).
int EigenCheck(int n, const double* eig);
bool LowerTriangleFinite(int n, const double* a);
void FillNaN(size_t count, double* x);
bool SymmetricEigen(int n, double* a, double** evec, double* eig);
bool SymmetricEigenLeading(int n, double* a, double** evec, double* eig, int (*wanted)(int, const double*));
bool SymmetricEigenQR(int n, double* a, double** evec, double* eig, int (*wanted)(int, const double*));

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

}  // namespace matrixdetail

#endif
