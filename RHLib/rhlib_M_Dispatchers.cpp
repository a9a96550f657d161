// ===========================================================================
// Analysis dispatchers
// ===========================================================================

#include "rhlib_M.h"

#include <cmath>
#include <exception>
#include <vector>

#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"
#include "rhlib_M_internal.h"

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

// What the routine of a measure wrote: nothing (it refused the table, R
// unchanged), the upper triangle with the diagonal, or both triangles.
enum class Filled { refused, upper, both };

// The routine of one measure on the rows of X (m x q). The routines that
// fill both triangles are told apart so that no matrix is mirrored twice: at
// thousands of rows a mirror, which writes down the columns, costs a sixth of
// the measure itself or more.
Filled ComputeMeasure(int measure, int m, int q, double** X, double** R, const int* varType,
                      double alpha, double k, int countDoubleAbsence, bool printTables) {
    auto upperIf = [](bool computed) { return computed ? Filled::upper : Filled::refused; };
    switch (measure) {
        case 1: CrossProductMV(m, q, X, R); return Filled::both;
        case 2: AbsValFunctionMV(m, q, X, R); return Filled::upper;
        case 3: EucliDistMV(m, q, X, R); return Filled::both;
        case 4: MutualInformationMV(m, q, X, R); return Filled::upper;
        case 5: GowerMVOpt(m, q, varType, X, R, nullptr, nullptr, countDoubleAbsence); return Filled::both;
        case 6: return upperIf(MDISMV(m, q, X, R, printTables));
        case 7: return upperIf(MutualEntropyPairwiseMV(m, q, X, R, alpha, printTables));
        case 8:
            if (!CoheCoefPairwiseMV(m, q, X, R, alpha, printTables)) return Filled::refused;
            RajskiFromCoherence(m, R);
            return Filled::upper;
        case 9: return upperIf(CoheCoefPairwiseMV(m, q, X, R, alpha, printTables));
        case 10: return upperIf(QuiSquareMV(m, q, X, R, printTables));
        case 11: Jaccard(m, q, X, R); return Filled::upper;
        case 12: SimpleMatching(m, q, X, R); return Filled::upper;
        case 13: SokalMichener(m, q, X, R); return Filled::upper;
        case 14: Ochiai(m, q, X, R); return Filled::upper;
        case 15: Sorensen(m, q, X, R); return Filled::upper;
        case 16: MeanSquareContingency(m, q, X, R); return Filled::upper;
        case 17: CorrelationMV(m, q, X, R); return Filled::both;
        case 18: ChordDistMV(m, q, X, R); return Filled::both;
        // The parameter is held in single precision, as the menus always have.
        case 19:
            LegendreChodorowski(m, q, X, R, nullptr, static_cast<double>(static_cast<float>(k)));
            return Filled::both;
        case 20: BrayCurtisMV(m, q, X, R); return Filled::upper;
        case 21: SecondEigenvalues(m, q, X, R); return Filled::upper;
        case 22: CovarianceMV(m, q, X, R); return Filled::both;
        case 23: JaccardDissimilarity(m, q, X, R); return Filled::upper;
        case 24: JaccardTurnover(m, q, X, R); return Filled::upper;
        case 25: JaccardNestedness(m, q, X, R); return Filled::upper;
        case 26: SorensenDissimilarity(m, q, X, R); return Filled::upper;
        case 27: SorensenTurnover(m, q, X, R); return Filled::upper;
        case 28: SorensenNestedness(m, q, X, R); return Filled::upper;
        case 29: return upperIf(Mahalanobis(m, q, X, R));
        default: return Filled::refused;
    }
}

// Post-transformation of the upper triangle with the diagonal, or of the
// whole matrix. MISSING entries (undefined values) stay MISSING. Returns
// false when a square root met a negative entry (given its signed root).
bool PostTransform(int m, double** R, int postTransf, bool whole) {
    bool negative = false;
    if (postTransf != 1 && postTransf != 2) return true;
    for (int i = 0; i < m; i++)
        for (int j = whole ? 0 : i; j < m; j++) {
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
    const Filled filled =
        ComputeMeasure(measure, m, t.cols(), t.get(), rese, varType, alpha, k, countDoubleAbsence, printTables);
    if (filled == Filled::refused) return reseRefused;
    const bool rooted = PostTransform(m, rese, postTransf, filled == Filled::both);
    if (filled == Filled::upper) UpperToLowerMatrix(m, rese);
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
