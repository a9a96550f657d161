// Least-squares regression of several responses on the same factors,
// redundancy analysis, residuals and fitted values for matrices and for
// selected or principal-component predictors, and the fixed-factor fits that
// the permutation tests of these models repeat.
//
// Y is n x q (units x responses), X is n x p (units x factors), B is p x q,
// b0, r2 and SST hold q values; every output is allocated by the caller. The
// routines are for complete data (no MISSING cells) and never change Y or X.
//
// A model that cannot be fitted, because X'X is singular (collinear or
// constant factors, p >= n), is refused: the routine returns 0 after gaussj's
// message and its numeric outputs are NaN. Otherwise the routines return 1.
#ifndef RHLINEARMODELS_H
#define RHLINEARMODELS_H

#include <cstdio>

// One model per response on the p factors: coefficients B, intercepts b0,
// fitted values (n x q), coefficients of determination r2 (NaN for a response
// without variation) and, when SST is given, the total sums of squares of the
// responses. With print the results go to report (Portuguese texts with
// port); full adds the factor and response matrices, the fitted values, the
// residuals and the adjusted responses.
int regression(int n, int q, int p, double** Y, double** X, double** B, double* b0, double** fitted,
               double* r2, double* SST, bool print, FILE* report, int port, bool full);
int regression(int n, int q, int p, double** Y, double** X, double** B, double* b0, double** fitted,
               double* r2, bool print, FILE* report, int port, bool full);
// full = true.
int regression(int n, int q, int p, double** Y, double** X, double** B, double* b0, double** fitted,
               double* r2, bool print, FILE* report, int port);
// No printout.
int regression(int n, int q, int p, double** Y, double** X, double** B, double* b0, double** fitted,
               double* r2);

// Redundancy analysis: eigen analysis of the covariance matrix (divisor n - 1)
// of the responses fitted on X. eig (q values) descending; evec (q x q) holds
// the eigenvector of axis k in column k; total is the total variance of Y.
// nAxes counts the eigenvalues above 0.0001 per cent of their sum, at most
// min(p, q, n - 1). For k < nAxes: scoresX[k] and scoresY[k] (n values) are
// the unit scores in the space of the fitted and of the observed responses,
// corr[k] their correlation, corrX[k][j] the correlation of scoresX[k] with
// factor j. Refused fits leave nAxes 0 and eig NaN.
int RDA(int n, int q, int p, double** Y, double** X, double* eig, double** evec, int* nAxes,
        double* total, double** scoresX, double** scoresY, double* corr, double** corrX);

// Regressions between the upper triangles (i < j, row by row) of two n x n
// matrices: the cells of B on those of A. R[i][j] = B[i][j] minus its fitted
// value; P[i][j] = the fitted value, both matrices' cells first rounded to
// single precision. Only the upper triangles are written.
int ResidualsMatrixRegression(int n, double** A, double** B, double** R);
int PredictedMatrixRegression(int n, double** A, double** B, double** P);

// Residuals R (n x q) of Y after regression on the columns j of X with
// select[j] = 1 (every column when select is null). Without a selected
// column the residuals are the deviations from the column means of Y.
int Regression_ResidualsSelect(int n, int q, int p, double** Y, double** X, double** R,
                               const int* select);
// The same on the principal components of the selected columns: type 1 from
// their covariances, type 2 from their correlations. At most (n - 2) / ratio
// components are kept when ratio > 0. With another type, or no component,
// the residuals are the deviations from the column means of Y.
int PCA_Regression_ResidualsSelect(int n, int q, int p, double** Y, double** X, double** R,
                                   const int* select, int type, double ratio);

// The fits of a permutation test of Y on fixed factors X, each of Y with its
// rows taken in the order of a permutation list (unit numbers from 1; null
// for the rows as they are). X is centred and its cross-product matrix
// factored once, so each fit only forms the p x q cross-products of the
// permuted responses (n p q operations): the regression coefficients follow
// from them by a p x p triangular solve, and the redundancy eigenvalues from
// a p x p eigen analysis, since the covariance matrix of the fitted values
// has rank p at most. The results are those of regression and RDA.
class FixedFactorFits {
public:
    FixedFactorFits(int n, int q, int p, double** Y, double** X);
    ~FixedFactorFits();
    FixedFactorFits(const FixedFactorFits&) = delete;
    FixedFactorFits& operator=(const FixedFactorFits&) = delete;

    // False when X'X is singular: then no fit may be asked for.
    bool Fitted() const { return fitted_; }
    // Coefficients B (p x q) and r2 (q) of the regression.
    void Regression(const int* list, double** B, double* r2);
    // The redundancy-axis correlations of the first `axes` axes into corr
    // (0 for an axis beyond the fit's own); returns the fit's number of axes
    // (RDA's rule).
    int AxisCorrelations(const int* list, int axes, double* corr);

private:
    void PermutedCrossProducts(const int* list);
    int n_, q_, p_;
    int qs_;        // q rounded up to a multiple of 4
    bool fitted_;
    double* w_;     // n x p: centred X times the inverse transposed Cholesky factor (W'W = I)
    double* wp_;    // n x p: W with its rows permuted
    double* yc_;    // centred Y in panels of 4 columns (n x 4 each), zero beyond column q
    double* l_;     // p x p: Cholesky factor of X'X (lower)
    double* sst_;   // q: total sums of squares of Y
    double* cyy_;   // q x q: covariance matrix of Y
    double* m_;     // p x q: W' Y of the current fit
    double* work_;  // p x q
    double** k_;    // p x p
    double** kvec_;
    double* kval_;
};

#endif
