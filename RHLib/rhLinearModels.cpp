#include "rhLinearModels.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "nrutilRH.h"
#include "rhlibDim.h"
#include "rhlibOut.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"
#include "rhSimd.h"

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// A matrix of the library's allocator released with its scope.
struct Work {
    int rows;
    double** x;
    Work(int r, int c) : rows(r), x(dim2DT<double>(r > 0 ? r : 1, c > 0 ? c : 1)) {}
    ~Work() { free2DT(x, rows > 0 ? rows : 1); }
    Work(const Work&) = delete;
    Work& operator=(const Work&) = delete;
    double* operator[](int i) const { return x[i]; }
};

// Column means (plain sums over the n rows divided by n) and the centred copy.
void CentreColumns(int n, int m, double** A, double** C, double* means) {
    for (int j = 0; j < m; j++) means[j] = 0.0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) means[j] += A[i][j];
    for (int j = 0; j < m; j++) means[j] /= n;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < m; j++) C[i][j] = A[i][j] - means[j];
}

// C (n x b) = A B for A n x a and B a x b.
void Product(int n, int a, int b, double** A, double** B, double** C) {
    for (int i = 0; i < n; i++) {
        double* c = C[i];
        for (int v = 0; v < b; v++) c[v] = 0.0;
        for (int f = 0; f < a; f++) {
            const double x = A[i][f];
            const double* y = B[f];
            for (int v = 0; v < b; v++) c[v] += x * y[v];
        }
    }
}

// B (p x q) solves S B = R by Gauss-Jordan elimination (S p x p). With
// report, gaussj writes its message on a singular S. A model with as many
// factors as units, or more, is singular whatever the rounding says: the
// centred factors span at most n - 1 dimensions.
bool Solve(int n, int p, int q, double** S, double** R, double** B, bool report) {
    if (p == 0) return n > 0;
    double** s1 = dim2DT<double>(p + 1, p + 1);
    double** r1 = dim2DT<double>(p + 1, q + 1);
    Convertn_n1(p, p, S, s1);
    Convertn_n1(p, q, R, r1);
    const bool ok = (report ? gaussj(s1, p, r1, q) : gaussj_RH(s1, p, r1, q)) && p < n;
    if (ok) Convertn1_n(p, q, r1, B);
    free2DT(r1, p + 1);
    free2DT(s1, p + 1);
    return ok;
}

double SumOfSquaredDeviations(int n, double** A, int column) {
    double mean = 0.0;
    for (int i = 0; i < n; i++) mean += A[i][column];
    mean /= n;
    double s = 0.0;
    for (int i = 0; i < n; i++) {
        const double d = A[i][column] - mean;
        s += d * d;
    }
    return s;
}

// r2 of a response: NaN when it does not vary at all.
double Determination(double regressionSS, double totalSS) {
    return totalSS > 0.0 ? regressionSS / totalSS : NaN;
}

void PrintRows(FILE* f, int rows, int cols, double** M) {
    for (int i = 0; i < rows; i++) {
        for (int j = 0; j < cols; j++) fprintf(f, "%g\t", NoNegativeZero(M[i][j]));
        fprintf(f, "\n");
    }
}

void Fill(int rows, int cols, double** M, double value) {
    for (int i = 0; i < rows; i++)
        for (int j = 0; j < cols; j++) M[i][j] = value;
}

// Texts of the regression printout, English then Portuguese.
struct RegressionTexts {
    const char* factors;
    const char* responses;
    const char* coefficients;
    const char* factor;
    const char* intercepts;
    const char* predicted;
    const char* residuals;
    const char* adjusted;
    const char* determination;
};

const RegressionTexts regressionTexts[2] = {
    {"\nFactor matrix:\n", "\nResponse matrix:\n",
     "\nRegression coefficients for each factor (rows), one model for each response variable "
     "(coluns):\n",
     "Factor %d:\t", "\nIntersection (bo for each response variable):\n",
     "\n\nPredicted model responses (for each response variable in columns, and sampling unit in "
     "rows):\n",
     "\nResiduals not explained by the model (for each response variable in columns, and sampling "
     "unit in rows):\n",
     "\nResponse variables with values adjusted by removing the effects of the predictor "
     "variable(s) (this is simply the residuals plus the mean of the response variable) (for each "
     "response variable in columns, and sampling unit in rows):\n",
     "\nCoefficient of determination (r squared) for %d response variables:\n"},
    {"\nMatriz de fatores:\n", "\nMatriz de respostas:\n",
     "\nCoeficientes de regressao para cada fator (linhas), um modelo para cada variavel resposta "
     "(colunas):\n",
     "Fator %d:\t", "\nIntersecao (bo para cada variavel resposta):\n",
     "\n\nRespostas preditas pelo modelo (para cada variavel resposta em colunas, e unidade "
     "amostral em linhas):\n",
     "\nResiduos nao explicados pelo modelo (para cada variavel resposta em colunas, e unidade "
     "amostral em linhas):\n",
     "\nVariaveis resposta com valores ajustados pela remocao dos efeitos da(s) variavel(is) "
     "preditora(s) (isto e simplesmente os residuos mais a media da variavel resposta) (para cada "
     "variavel resposta em colunas, e unidade amostral em linhas):\n",
     "\nCoeficiente de determinacao (r quadrado) para %d variaveis resposta:\n"},
};

// Y minus its column means.
void DeviationsFromMeans(int n, int q, double** Y, double** R) {
    std::vector<double> means(q > 0 ? q : 1);
    CentreColumns(n, q, Y, R, means.data());
}

// The cells above the diagonal of M, row by row, as one column (optionally
// rounded to single precision).
void UpperCells(int n, double** M, double** column, bool single) {
    int k = 0;
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++, k++)
            column[k][0] = single ? static_cast<double>(static_cast<float>(M[i][j])) : M[i][j];
}

// Regression of the upper cells of B on those of A; fitted receives one
// fitted value per cell.
int MatrixCellsRegression(int n, double** A, double** B, double** fitted, bool single) {
    const int cells = n * (n - 1) / 2;
    Work a(cells, 1), b(cells, 1), coefficient(1, 1);
    UpperCells(n, A, a.x, single);
    UpperCells(n, B, b.x, single);
    double b0 = 0.0, r2 = 0.0;
    return regression(cells, 1, 1, b.x, a.x, coefficient.x, &b0, fitted, &r2);
}

}  // namespace

// ---------------------------------------------------------------------------
// Regression
// ---------------------------------------------------------------------------

int regression(int n, int q, int p, double** Y, double** X, double** B, double* b0, double** fitted,
               double* r2, double* SST, bool print, FILE* report, int port, bool full) {
    const RegressionTexts& t = regressionTexts[port == 1 ? 1 : 0];
    const bool printing = print && report != nullptr;
    if (printing && full) {
        fputs(t.factors, report);
        PrintRows(report, n, p, X);
        fputs(t.responses, report);
        PrintRows(report, n, q, Y);
    }

    // Centred copies: the caller's tables may be a data set still in use.
    Work yc(n, q), xc(n, p), xtx(p, p), xty(p, q);
    std::vector<double> meanY(q > 0 ? q : 1), meanX(p > 0 ? p : 1), sst(q > 0 ? q : 1);
    CentreColumns(n, q, Y, yc.x, meanY.data());
    CentreColumns(n, p, X, xc.x, meanX.data());
    for (int v = 0; v < q; v++) {
        double s = 0.0;
        for (int i = 0; i < n; i++) s += yc[i][v] * yc[i][v];
        sst[v] = s;
        if (SST) SST[v] = s;
    }
    CrossProductCols(n, p, p, xc.x, xc.x, xtx.x);
    CrossProductCols(n, p, q, xc.x, yc.x, xty.x);

    if (!Solve(n, p, q, xtx.x, xty.x, B, true)) {
        Fill(p, q, B, NaN);
        Fill(n, q, fitted, NaN);
        for (int v = 0; v < q; v++) b0[v] = r2[v] = NaN;
        return 0;
    }
    if (printing) {
        fputs(t.coefficients, report);
        for (int f = 0; f < p; f++) {
            fprintf(report, t.factor, f + 1);
            for (int v = 0; v < q; v++) fprintf(report, "%g\t", NoNegativeZero(B[f][v]));
            fprintf(report, "\n");
        }
    }
    for (int v = 0; v < q; v++) {
        double s = meanY[v];
        for (int f = 0; f < p; f++) s -= B[f][v] * meanX[f];
        b0[v] = s;
    }
    if (printing) {
        fputs(t.intercepts, report);
        for (int v = 0; v < q; v++) fprintf(report, "%g\t", NoNegativeZero(b0[v]));
    }

    // X B + b0 is the centred X times B plus the mean of Y.
    Product(n, p, q, xc.x, B, fitted);
    for (int v = 0; v < q; v++) r2[v] = Determination(SumOfSquaredDeviations(n, fitted, v), sst[v]);
    for (int i = 0; i < n; i++)
        for (int v = 0; v < q; v++) fitted[i][v] += meanY[v];

    if (printing && full) {
        fputs(t.predicted, report);
        PrintRows(report, n, q, fitted);
        fputs(t.residuals, report);
        for (int i = 0; i < n; i++) {
            for (int v = 0; v < q; v++) fprintf(report, "%g\t", NoNegativeZero(Y[i][v] - fitted[i][v]));
            fprintf(report, "\n");
        }
        fputs(t.adjusted, report);
        for (int i = 0; i < n; i++) {
            for (int v = 0; v < q; v++) fprintf(report, "%g\t", NoNegativeZero(Y[i][v] + meanY[v] - fitted[i][v]));
            fprintf(report, "\n");
        }
    }
    if (printing) {
        fprintf(report, t.determination, q);
        for (int v = 0; v < q; v++) fprintf(report, "%g\t", NoNegativeZero(r2[v]));
        fprintf(report, "\n");
    }
    return 1;
}

int regression(int n, int q, int p, double** Y, double** X, double** B, double* b0, double** fitted,
               double* r2, bool print, FILE* report, int port, bool full) {
    return regression(n, q, p, Y, X, B, b0, fitted, r2, nullptr, print, report, port, full);
}

int regression(int n, int q, int p, double** Y, double** X, double** B, double* b0, double** fitted,
               double* r2, bool print, FILE* report, int port) {
    return regression(n, q, p, Y, X, B, b0, fitted, r2, print, report, port, true);
}

int regression(int n, int q, int p, double** Y, double** X, double** B, double* b0, double** fitted,
               double* r2) {
    return regression(n, q, p, Y, X, B, b0, fitted, r2, false, nullptr, 1);
}

// ---------------------------------------------------------------------------
// Redundancy analysis
// ---------------------------------------------------------------------------

int RDA(int n, int q, int p, double** Y, double** X, double* eig, double** evec, int* nAxes,
        double* total, double** scoresX, double** scoresY, double* corr, double** corrX) {
    *nAxes = 0;
    Work yc(n, q), xc(n, p), yt(q, n), cov(q, q), xtx(p, p), xty(p, q), B(p, q), fit(n, q);
    std::vector<double> meanY(q > 0 ? q : 1), meanX(p > 0 ? p : 1);
    CentreColumns(n, q, Y, yc.x, meanY.data());
    CentreColumns(n, p, X, xc.x, meanX.data());

    TransposeMatrix(n, q, yc.x, yt.x);
    Covariance(q, n, yt.x, cov.x);
    *total = MatrixTrace(q, cov.x);

    CrossProductCols(n, p, p, xc.x, xc.x, xtx.x);
    CrossProductCols(n, p, q, xc.x, yc.x, xty.x);
    if (!Solve(n, p, q, xtx.x, xty.x, B.x, true)) {
        for (int k = 0; k < q; k++) eig[k] = NaN;
        return 0;
    }
    Product(n, p, q, xc.x, B.x, fit.x);

    // Covariance fills the upper triangle; the eigen analysis reads the lower.
    TransposeMatrix(n, q, fit.x, yt.x);
    Covariance(q, n, yt.x, cov.x);
    UpperToLowerMatrix(q, cov.x);
    if (EigenHouseholderQL_GSL_D(q, cov.x, evec, eig) != 1)
        printf("Problemas na extracao de raizes da matriz de covariancia");

    double sum = 0.0;
    for (int k = 0; k < q; k++) sum += eig[k];
    int axes = 0;
    for (int k = 0; k < q; k++)
        if (100.0 * eig[k] / sum > 0.0001) axes++;
    // Rounding lifts the null eigenvalues past the rank above the share now
    // and then; the fitted values have at most min(p, q, n - 1) dimensions.
    int rankBound = p < q ? p : q;
    if (rankBound > n - 1) rankBound = n - 1;
    if (axes > rankBound) axes = rankBound;
    if (axes < 0) axes = 0;
    *nAxes = axes;

    TransposeSqMatrix(q, evec, evec);
    for (int k = 0; k < axes; k++)
        for (int i = 0; i < n; i++) {
            double sx = 0.0, sy = 0.0;
            for (int v = 0; v < q; v++) {
                sx += fit[i][v] * evec[v][k];
                sy += yc[i][v] * evec[v][k];
            }
            scoresX[k][i] = sx;
            scoresY[k][i] = sy;
        }
    std::vector<double> factor(n > 0 ? n : 1);
    for (int k = 0; k < axes; k++) corr[k] = Correlation2Vec(n, scoresY[k], scoresX[k]);
    for (int j = 0; j < p; j++) {
        for (int i = 0; i < n; i++) factor[i] = xc[i][j];
        for (int k = 0; k < axes; k++) corrX[k][j] = Correlation2Vec(n, scoresX[k], factor.data());
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Residuals and fitted values
// ---------------------------------------------------------------------------

int ResidualsMatrixRegression(int n, double** A, double** B, double** R) {
    const int cells = n * (n - 1) / 2;
    Work fitted(cells, 1);
    const int ok = MatrixCellsRegression(n, A, B, fitted.x, false);
    int k = 0;
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++, k++) R[i][j] = B[i][j] - fitted[k][0];
    return ok;
}

int PredictedMatrixRegression(int n, double** A, double** B, double** P) {
    const int cells = n * (n - 1) / 2;
    Work fitted(cells, 1);
    const int ok = MatrixCellsRegression(n, A, B, fitted.x, true);
    int k = 0;
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++, k++) P[i][j] = fitted[k][0];
    return ok;
}

int Regression_ResidualsSelect(int n, int q, int p, double** Y, double** X, double** R,
                               const int* select) {
    std::vector<int> kept;
    for (int j = 0; j < p; j++)
        if (select == nullptr || select[j] == 1) kept.push_back(j);
    const int k = static_cast<int>(kept.size());
    if (k == 0) {
        DeviationsFromMeans(n, q, Y, R);
        return 1;
    }
    Work x(n, k), B(k, q), fitted(n, q);
    for (int i = 0; i < n; i++)
        for (int c = 0; c < k; c++) x[i][c] = X[i][kept[c]];
    std::vector<double> b0(q > 0 ? q : 1), r2(q > 0 ? q : 1);
    const int ok = regression(n, q, k, Y, x.x, B.x, b0.data(), fitted.x, r2.data());
    for (int i = 0; i < n; i++)
        for (int v = 0; v < q; v++) R[i][v] = Y[i][v] - fitted[i][v];
    return ok;
}

int PCA_Regression_ResidualsSelect(int n, int q, int p, double** Y, double** X, double** R,
                                   const int* select, int type, double ratio) {
    std::vector<int> kept;
    for (int j = 0; j < p; j++)
        if (select == nullptr || select[j] == 1) kept.push_back(j);
    const int k = static_cast<int>(kept.size());
    if (k == 0 || (type != 1 && type != 2)) {
        DeviationsFromMeans(n, q, Y, R);
        return 1;
    }
    // The selected factors as rows (variables x units), scaled so that their
    // cross-products are covariances (type 1) or correlations (type 2).
    Work xt(k, n), cross(k, k), scores(k, n);
    for (int c = 0; c < k; c++)
        for (int i = 0; i < n; i++) xt[c][i] = X[i][kept[c]];
    if (type == 1) {
        CenterRowsCovMV(k, n, xt.x, xt.x);
    } else {
        CenterRowsMV(k, n, xt.x, xt.x);
        NormalizeRowsMV(k, n, xt.x, xt.x);
    }
    CrossProductMV(k, n, xt.x, cross.x);
    int axes = OrdinationLib_Scores(k, n, xt.x, cross.x, scores.x, 2, type == 1 ? 1 : 17, 1);
    if (ratio > 0.0) {
        const double bound = std::floor((n - 2) / ratio);
        if (axes > bound) axes = bound > 0.0 ? static_cast<int>(bound) : 0;
    }
    if (axes <= 0) {
        DeviationsFromMeans(n, q, Y, R);
        return 1;
    }
    Work components(n, axes);
    for (int i = 0; i < n; i++)
        for (int a = 0; a < axes; a++) components[i][a] = scores[a][i];
    return Regression_ResidualsSelect(n, q, axes, Y, components.x, R, nullptr);
}

// ---------------------------------------------------------------------------
// Fits on fixed factors
// ---------------------------------------------------------------------------

FixedFactorFits::FixedFactorFits(int n, int q, int p, double** Y, double** X)
    : n_(n), q_(q), p_(p), qs_((q + 3) / 4 * 4), fitted_(false) {
    const int np = n > 0 && p > 0 ? n * p : 1, nq = n > 0 && q > 0 ? n * qs_ : 1;
    const int pp = p > 0 ? p * p : 1, pq = p > 0 && q > 0 ? p * q : 1, qq = q > 0 ? q * q : 1;
    w_ = dim1DT<double>(np);
    wp_ = dim1DT<double>(np);
    yc_ = dim1DT<double>(nq);
    l_ = dim1DT<double>(pp);
    sst_ = dim1DT<double>(q > 0 ? q : 1);
    cyy_ = dim1DT<double>(qq);
    m_ = dim1DT<double>(pq);
    work_ = dim1DT<double>(pq);
    k_ = dim2DT<double>(p > 0 ? p : 1, p > 0 ? p : 1);
    kvec_ = dim2DT<double>(p > 0 ? p : 1, p > 0 ? p : 1);
    kval_ = dim1DT<double>(p > 0 ? p : 1);
    if (n < 2 || p < 1 || q < 1) return;

    Work yc(n, q), xc(n, p), xtx(p, p), inverse(p, p);
    std::vector<double> meanY(q), meanX(p);
    CentreColumns(n, q, Y, yc.x, meanY.data());
    CentreColumns(n, p, X, xc.x, meanX.data());
    for (int i = 0; i < n; i++)
        for (int v = 0; v < q; v++) yc_[(static_cast<size_t>(v / 4) * n + i) * 4 + v % 4] = yc[i][v];
    for (int v = 0; v < q; v++) sst_[v] = SumOfSquaredDeviations(n, yc.x, v);
    for (int a = 0; a < q; a++)
        for (int b = a; b < q; b++) {
            double s = 0.0;
            for (int i = 0; i < n; i++) s += yc[i][a] * yc[i][b];
            cyy_[a * q + b] = cyy_[b * q + a] = s / (n - 1);
        }

    // Singular by the same rule as the regression's, then factored.
    CrossProductCols(n, p, p, xc.x, xc.x, xtx.x);
    if (!Solve(n, p, 0, xtx.x, inverse.x, inverse.x, false)) return;
    std::vector<double> diagonal(p);
    if (!choldc(xtx.x, p, diagonal.data())) return;
    for (int a = 0; a < p; a++) {
        for (int b = 0; b < a; b++) l_[a * p + b] = xtx[a][b];
        l_[a * p + a] = diagonal[a];
    }
    // Row i of W solves L w = x_i (forward substitution).
    for (int i = 0; i < n; i++) {
        double* w = w_ + i * p;
        for (int a = 0; a < p; a++) {
            double s = xc[i][a];
            for (int b = 0; b < a; b++) s -= l_[a * p + b] * w[b];
            w[a] = s / l_[a * p + a];
        }
    }
    fitted_ = true;
}

FixedFactorFits::~FixedFactorFits() {
    const int p = p_ > 0 ? p_ : 1;
    free1D(kval_);
    free2DT(kvec_, p);
    free2DT(k_, p);
    free1D(work_);
    free1D(m_);
    free1D(cyy_);
    free1D(sst_);
    free1D(l_);
    free1D(yc_);
    free1D(wp_);
    free1D(w_);
}

namespace {

// m (p x q, row stride q) = the rows f0 .. f0 + FB - 1 of W' Y, for W (n x p)
// and Y held in panels of four responses (panel c: n rows of responses 4c to
// 4c + 3, zero beyond q). Four responses of FB factors are summed in
// registers over all units at a time, reading each panel in order.
template <int FB>
inline __attribute__((always_inline)) void CrossProductPanels(int n, int p, int q, int panels, int f0,
                                                              const double* w, const double* y, double* m) {
    for (int c = 0; c < panels; c++) {
        const double* panel = y + static_cast<size_t>(c) * n * 4;
        double acc[FB][4] = {};
        for (int i = 0; i < n; i++) {
            const double* yi = panel + static_cast<size_t>(i) * 4;
            const double* wi = w + static_cast<size_t>(i) * p + f0;
            for (int f = 0; f < FB; f++) {
                const double a = wi[f];
                for (int t = 0; t < 4; t++) acc[f][t] += a * yi[t];
            }
        }
        for (int f = 0; f < FB; f++)
            for (int t = 0; t < 4 && 4 * c + t < q; t++) m[(f0 + f) * q + 4 * c + t] = acc[f][t];
    }
}

template <int FB>
void CrossProductBlock(int n, int p, int q, int panels, int f0, const double* w, const double* y, double* m) {
    CrossProductPanels<FB>(n, p, q, panels, f0, w, y, m);
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same sums four at a time where the processor has 256-bit registers:
// each sum gets the same products added in the same order (no fused
// multiply-add), so the results are the same to the last bit.
template <int FB>
__attribute__((target("avx2"))) void CrossProductBlockWide(int n, int p, int q, int panels, int f0,
                                                           const double* w, const double* y, double* m) {
    CrossProductPanels<FB>(n, p, q, panels, f0, w, y, m);
}

bool WideRegisters() { return simd::Active() >= simd::kAvx2; }
#endif

template <int FB>
void CrossProductPass(int n, int p, int q, int panels, int f0, const double* w, const double* y, double* m) {
#if defined(__x86_64__) && defined(__GNUC__)
    if (WideRegisters()) {
        CrossProductBlockWide<FB>(n, p, q, panels, f0, w, y, m);
        return;
    }
#endif
    CrossProductBlock<FB>(n, p, q, panels, f0, w, y, m);
}

}  // namespace

void FixedFactorFits::PermutedCrossProducts(const int* list) {
    const int n = n_, p = p_;
    // sum_i w_i y_list[i]' = sum_j w_inv(j) y_j': permuting the rows of the
    // small W instead of those of Y reads Y in order.
    const double* w = w_;
    if (list) {
        for (int i = 0; i < n; i++) {
            double* to = wp_ + static_cast<size_t>(list[i] - 1) * p;
            const double* from = w_ + static_cast<size_t>(i) * p;
            for (int f = 0; f < p; f++) to[f] = from[f];
        }
        w = wp_;
    }
    // Up to six factors a pass keep 12 sums and the panel row in the 16
    // vector registers; more factors are split into passes of equal size.
    const int passes = (p + 5) / 6;
    for (int k = 0, f0 = 0; k < passes; k++) {
        const int size = (p - f0) / (passes - k);
        switch (size) {
            case 6: CrossProductPass<6>(n, p, q_, qs_ / 4, f0, w, yc_, m_); break;
            case 5: CrossProductPass<5>(n, p, q_, qs_ / 4, f0, w, yc_, m_); break;
            case 4: CrossProductPass<4>(n, p, q_, qs_ / 4, f0, w, yc_, m_); break;
            case 3: CrossProductPass<3>(n, p, q_, qs_ / 4, f0, w, yc_, m_); break;
            case 2: CrossProductPass<2>(n, p, q_, qs_ / 4, f0, w, yc_, m_); break;
            default: CrossProductPass<1>(n, p, q_, qs_ / 4, f0, w, yc_, m_); break;
        }
        f0 += size;
    }
}

void FixedFactorFits::Regression(const int* list, double** B, double* r2) {
    const int p = p_, q = q_;
    PermutedCrossProducts(list);
    // B = L^-T M (back substitution); the regression sum of squares of a
    // response is the squared length of its column of M, as W'W = I.
    for (int v = 0; v < q; v++) {
        double ss = 0.0;
        for (int f = 0; f < p; f++) ss += m_[f * q + v] * m_[f * q + v];
        r2[v] = Determination(ss, sst_[v]);
        for (int a = p - 1; a >= 0; a--) {
            double s = m_[a * q + v];
            for (int b = a + 1; b < p; b++) s -= l_[b * p + a] * B[b][v];
            B[a][v] = s / l_[a * p + a];
        }
    }
}

int FixedFactorFits::AxisCorrelations(const int* list, int axes, double* corr) {
    const int n = n_, p = p_, q = q_;
    for (int k = 0; k < axes; k++) corr[k] = 0.0;
    PermutedCrossProducts(list);
    // The covariance matrix of the fitted values is M'M / (n - 1) (q x q);
    // M M' / (n - 1) (p x p) has the same non-zero eigenvalues, with the
    // eigenvectors v = M'u / sqrt((n - 1) lambda).
    for (int a = 0; a < p; a++)
        for (int b = a; b < p; b++) {
            double s = 0.0;
            for (int v = 0; v < q; v++) s += m_[a * q + v] * m_[b * q + v];
            k_[a][b] = k_[b][a] = s / (n - 1);
        }
    EigenHouseholderQL_GSL_D(p, k_, kvec_, kval_);
    double sum = 0.0;
    for (int k = 0; k < p; k++) sum += kval_[k];
    int found = 0;
    for (int k = 0; k < p; k++)
        if (100.0 * kval_[k] / sum > 0.0001) found++;
    int rankBound = p < q ? p : q;
    if (rankBound > n - 1) rankBound = n - 1;
    if (found > rankBound) found = rankBound;
    const int use = found < axes ? found : axes;
    if (use == 0) return found;

    // Variance of the scores in the space of Y along v: v' Cyy v, with
    // M'u in work_ (q values per axis).
    for (int k = 0; k < use; k++) {
        double* t = work_ + k * q;
        for (int v = 0; v < q; v++) {
            double s = 0.0;
            for (int a = 0; a < p; a++) s += m_[a * q + v] * kvec_[k][a];
            t[v] = s;
        }
        // t' Cyy t over one triangle of the symmetric Cyy.
        double quad = 0.0;
        for (int a = 0; a < q; a++) {
            const double* c = cyy_ + a * q;
            double s = 0.0;
            for (int b = a + 1; b < q; b++) s += c[b] * t[b];
            quad += t[a] * (c[a] * t[a] + 2.0 * s);
        }
        const double lambda = kval_[k];
        // v' Cyy v = u'M Cyy M'u / ((n - 1) lambda); corr = sqrt(lambda / v'Cyy v).
        corr[k] = lambda * std::sqrt((n - 1) / quad);
    }
    return found;
}
