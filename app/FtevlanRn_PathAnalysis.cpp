#include "FtevlanRn.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_combination.h>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "FtevlanRn_internal.h"
#include "iflibG.h"
#include "rhlibOut.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"

using namespace rn_detail;

// ===========================================================================
// Path analysis: the engine
// ===========================================================================

namespace rn_detail {

bool TransformationsInForce() { return optTrEs != 0 || optTrVeVar != 0 || optTrVeUnits != 0; }

bool HoldsMissing(int n, int p, double** X) {
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++)
            if (X[i][j] == MISSING) return true;
    return false;
}

}  // namespace rn_detail

namespace {

void UnitDiagonal(int b, double** M) {
    for (int a = 0; a < b; a++) M[a][a] = 1.0;
}

// Correlations between the columns of a table, as measure 17 between
// variables gives them (no post-transformation: partial correlations need the
// correlations themselves).
void CorrelationsOfColumns(int n, int p, double** X, double** R) {
    ResemblanceLib(n, p, X, R, 2, 17, 0, varType, alphaH, kParameter, countDoubleAbsence, false);
    UnitDiagonal(p, R);
}

}  // namespace

const int* PathNodes::Identity() {
    const int n = Units();
    if (static_cast<int>(identity_.size()) != n) {
        identity_.resize(n);
        for (int u = 0; u < n; u++) identity_[u] = u + 1;
    }
    return identity_.data();
}

void PathNodes::FirstNodeMatrix(int first, const int* list, double** /*observed*/, double** M) {
    lists_.assign(Nodes(), Identity());
    lists_[first] = list;
    NodeMatrix(lists_.data(), M);
}

VariableNodes::VariableNodes(int n, int p, double** X, bool retransform)
    : n_(n), p_(p), X_(X), retransform_(retransform) {
    literal_ = (retransform && TransformationsInForce()) || HoldsMissing(n, p, X);
    if (literal_) {
        work_ = dim2DT<double>(n, p);
        return;
    }
    // Columns beyond the variables, up to a multiple of 4, stay zero.
    stride_ = (p + 3) / 4 * 4;
    const int tiles = stride_ / 4;
    columns_.resize(static_cast<size_t>(p) * n);
    gathered_.assign(static_cast<size_t>(n) * stride_, 0.0);
    column_.resize(2 * static_cast<size_t>(n));
    sums_.resize(static_cast<size_t>(tiles) * (tiles + 1) / 2 * 16);
    for (int a = 0; a < p; a++)
        for (int u = 0; u < n; u++) columns_[static_cast<size_t>(a) * n + u] = X[u][a];
}

VariableNodes::~VariableNodes() {
    if (work_) free2DT(work_, n_);
}

void VariableNodes::ArrangedTable(const int* const* lists, double** T) {
    for (int i = 0; i < n_; i++)
        for (int a = 0; a < p_; a++) T[i][a] = X_[lists ? lists[a][i] - 1 : i][a];
    if (retransform_ && TransformationsInForce()) ReapplyTransformations(n_, p_, T, nullptr);
}

void VariableNodes::NodeMatrix(const int* const* lists, double** M) {
    if (literal_) {
        ArrangedTable(lists, work_);
        CorrelationsOfColumns(n_, p_, work_, M);
        return;
    }
    const int n = n_, p = p_;
    // Each arranged column standardised as the correlations of the table
    // would standardise it (its sums in the arranged order), so that an
    // arrangement's values are those of the table route to the last bit.
    double* x = column_.data();
    double* z = x + n;
    for (int a = 0; a < p; a++) {
        const double* c = &columns_[static_cast<size_t>(a) * n];
        const int* list = lists ? lists[a] : nullptr;
        for (int u = 0; u < n; u++) x[u] = c[list ? list[u] - 1 : u];
        CenterNormalizeVector(n, x, z);
        for (int u = 0; u < n; u++) gathered_[static_cast<size_t>(u) * stride_ + a] = z[u];
    }
    CrossProducts();
    const int tiles = stride_ / 4;
    for (int a = 0; a < p; a++) {
        M[a][a] = 1.0;
        const int ta = a / 4, ia = a % 4;
        for (int b = a + 1; b < p; b++) {
            // Tile (ta, tb) of the upper triangle of tiles, row after row;
            // within it, the accumulator pair and lane CrossProducts gave
            // the pair of columns.
            const int tb = b / 4, ib = b % 4;
            const int tile = ta * tiles - ta * (ta - 1) / 2 + (tb - ta);
            const int k = ((ia / 2) * 4 + (ib / 2) * 2 + (ia % 2 != ib % 2)) * 2 + ia % 2;
            M[a][b] = M[b][a] = CorrelationBeyondRounding(n, sums_[static_cast<size_t>(tile) * 16 + k]);
        }
    }
}

void VariableNodes::FirstNodeMatrix(int first, const int* list, double** observed, double** M) {
    // Transformations applied again may change every column of the table
    // (relativised units, Beals smoothing): the whole matrix of the table.
    if (literal_) {
        PathNodes::FirstNodeMatrix(first, list, observed, M);
        return;
    }
    const int n = n_, p = p_;
    // The observed columns standardised once, unit by unit (n x p).
    if (standardised_.empty()) {
        standardised_.resize(static_cast<size_t>(n) * p);
        double* z = column_.data() + n;
        for (int a = 0; a < p; a++) {
            CenterNormalizeVector(n, &columns_[static_cast<size_t>(a) * n], z);
            for (int u = 0; u < n; u++) standardised_[static_cast<size_t>(u) * p + a] = z[u];
        }
        rowSums_.resize(p);
    }
    double* x = column_.data();
    double* z = x + n;
    const double* c = &columns_[static_cast<size_t>(first) * n];
    for (int u = 0; u < n; u++) x[u] = c[list[u] - 1];
    CenterNormalizeVector(n, x, z);
    // Each pair summed unit after unit, as the cross-products sum it (a list
    // that leaves the units in place gives the observed matrix to the bit);
    // the pairs side by side, so that the sums run in vector lanes.
    double* sums = rowSums_.data();
    std::fill(sums, sums + p, 0.0);
    for (int u = 0; u < n; u++) {
        const double zu = z[u];
        const double* y = &standardised_[static_cast<size_t>(u) * p];
        for (int a = 0; a < p; a++) sums[a] += zu * y[a];
    }
    FirstRow(p, first, observed, M, [&](int a) { return CorrelationBeyondRounding(n, sums[a]); });
}

namespace {

// Two doubles side by side, one vector register.
typedef double DoublePair __attribute__((vector_size(16)));

inline DoublePair LoadPair(const double* x) {
    DoublePair v;
    std::memcpy(&v, x, sizeof v);
    return v;
}

}  // namespace

void VariableNodes::CrossProducts() {
    // Tiles of 4 x 4 columns of the upper triangle. Every product of two
    // columns is summed in a lane of its own, unit after unit from the
    // first, as a plain dot product sums it: with x the columns (a, a + 1)
    // and y (b, b + 1), x * y adds to (a, b) and (a + 1, b + 1), x * y
    // swapped to (a, b + 1) and (a + 1, b). The tile's sums stay in
    // registers over a run of units that fits the first-level cache.
    constexpr int kUnits = 64;
    const int n = n_, stride = stride_;
    std::fill(sums_.begin(), sums_.end(), 0.0);
    for (int u0 = 0; u0 < n; u0 += kUnits) {
        const int u1 = u0 + kUnits < n ? u0 + kUnits : n;
        double* tileSums = sums_.data();
        for (int a0 = 0; a0 < stride; a0 += 4)
            for (int b0 = a0; b0 < stride; b0 += 4, tileSums += 16) {
                DoublePair s[8];
                std::memcpy(s, tileSums, sizeof s);
                for (int u = u0; u < u1; u++) {
                    const double* row = &gathered_[static_cast<size_t>(u) * stride];
                    const DoublePair x0 = LoadPair(row + a0), x1 = LoadPair(row + a0 + 2);
                    const DoublePair y0 = LoadPair(row + b0), y1 = LoadPair(row + b0 + 2);
                    const DoublePair w0 = {y0[1], y0[0]}, w1 = {y1[1], y1[0]};
                    s[0] += x0 * y0;
                    s[1] += x0 * w0;
                    s[2] += x0 * y1;
                    s[3] += x0 * w1;
                    s[4] += x1 * y0;
                    s[5] += x1 * w0;
                    s[6] += x1 * y1;
                    s[7] += x1 * w1;
                }
                std::memcpy(tileSums, s, sizeof s);
            }
    }
}

BlockTableNodes::BlockTableNodes(int n, double** X, const std::vector<int>& sizes, Statistic statistic)
    : n_(n), sizes_(sizes), statistic_(statistic) {
    int column = 0;
    for (int size : sizes_) {
        double** table = dim2DT<double>(n, size);
        for (int i = 0; i < n; i++) std::memcpy(table[i], X[i] + column, sizeof(double) * size);
        observed_.push_back(table);
        arranged_.push_back(dim2DT<double>(n, size));
        column += size;
    }
    current_.resize(sizes_.size());
}

BlockTableNodes::~BlockTableNodes() {
    for (size_t a = 0; a < sizes_.size(); a++) {
        free2DT(observed_[a], n_);
        free2DT(arranged_[a], n_);
    }
}

void BlockTableNodes::NodeMatrix(const int* const* lists, double** M) {
    const int b = Nodes();
    for (int a = 0; a < b; a++) {
        if (!lists) {
            current_[a] = observed_[a];
            continue;
        }
        // The variables of a block keep their joint values: rows move whole.
        PermutedRows(n_, sizes_[a], observed_[a], lists[a], arranged_[a]);
        current_[a] = arranged_[a];
    }
    for (int a = 0; a < b; a++) {
        M[a][a] = 1.0;
        for (int c = a + 1; c < b; c++)
            M[a][c] = M[c][a] = statistic_(n_, sizes_[a], sizes_[c], current_[a], current_[c]);
    }
}

void BlockTableNodes::FirstNodeMatrix(int first, const int* list, double** observed, double** M) {
    PermutedRows(n_, sizes_[first], observed_[first], list, arranged_[first]);
    FirstRow(Nodes(), first, observed, M, [&](int c) {
        const int a = std::min(first, c), d = std::max(first, c);
        return statistic_(n_, sizes_[a], sizes_[d], a == first ? arranged_[a] : observed_[a],
                          d == first ? arranged_[d] : observed_[d]);
    });
}

ResemblanceNodes::ResemblanceNodes(int n, const std::vector<double**>& matrices) : n_(n), matrices_(matrices) {
    literal_ = false;
    for (double** D : matrices_)
        for (int i = 0; i < n && !literal_; i++)
            for (int j = i + 1; j < n; j++)
                if (D[i][j] == MISSING) {
                    literal_ = true;
                    break;
                }
    if (literal_) {
        for (size_t a = 0; a < matrices_.size(); a++) copies_.push_back(dim2DT<double>(n, n));
        return;
    }
    // The pairs of a permuted matrix are those of the observed one in another
    // order: their mean and spread are computed once, in the order the
    // Mantel correlation takes them.
    for (double** D : matrices_) {
        double s = 0.0;
        long long m = 0;
        for (int i = 0; i < n; i++)
            for (int j = i + 1; j < n; j++) {
                s += D[i][j];
                m++;
            }
        const double mean = m > 0 ? s / m : 0.0;
        std::vector<double> c(static_cast<size_t>(n) * n, 0.0);
        double q = 0.0;
        for (int i = 0; i < n; i++)
            for (int j = i + 1; j < n; j++) {
                const double d = D[i][j] - mean;
                c[static_cast<size_t>(i) * n + j] = c[static_cast<size_t>(j) * n + i] = d;
                q += d * d;
            }
        centred_.push_back(std::move(c));
        sumSquares_.push_back(q);
    }
}

ResemblanceNodes::~ResemblanceNodes() {
    for (double** copy : copies_) free2DT(copy, n_);
}

void ResemblanceNodes::ArrangedMatrix(int a, const int* list, double** D) const {
    double** A = matrices_[a];
    for (int u = 0; u < n_; u++)
        for (int v = 0; v < n_; v++) D[u][v] = list ? A[list[u] - 1][list[v] - 1] : A[u][v];
}

void ResemblanceNodes::NodeMatrix(const int* const* lists, double** M) {
    const int b = Nodes(), n = n_;
    if (literal_) {
        for (int a = 0; a < b; a++) ArrangedMatrix(a, lists ? lists[a] : nullptr, copies_[a]);
        for (int a = 0; a < b; a++) {
            M[a][a] = 1.0;
            for (int c = a + 1; c < b; c++) M[a][c] = M[c][a] = MatrixCorr(n, copies_[a], copies_[c]);
        }
        return;
    }
    for (int a = 0; a < b; a++) {
        M[a][a] = 1.0;
        for (int c = a + 1; c < b; c++)
            M[a][c] = M[c][a] = Pair(a, c, lists ? lists[a] : nullptr, lists ? lists[c] : nullptr);
    }
}

double ResemblanceNodes::Pair(int a, int c, const int* la, const int* lc) const {
    const int n = n_;
    if (n < 3 || !(sumSquares_[a] > 0.0) || !(sumSquares_[c] > 0.0)) return 0.0;
    const double* A = centred_[a].data();
    const double* C = centred_[c].data();
    double s = 0.0;
    for (int u = 0; u < n; u++) {
        const double* rowA = A + static_cast<size_t>(la ? la[u] - 1 : u) * n;
        const double* rowC = C + static_cast<size_t>(lc ? lc[u] - 1 : u) * n;
        s += GatheredDot(rowA, rowC, la, lc, u + 1, n);
    }
    return s / std::sqrt(sumSquares_[a] * sumSquares_[c]);
}

void ResemblanceNodes::FirstNodeMatrix(int first, const int* list, double** observed, double** M) {
    const int* identity = Identity();
    if (literal_) ArrangedMatrix(first, list, copies_[first]);
    FirstRow(Nodes(), first, observed, M, [&](int c) {
        const int a = std::min(first, c), d = std::max(first, c);
        if (literal_)
            return MatrixCorr(n_, a == first ? copies_[a] : matrices_[a], d == first ? copies_[d] : matrices_[d]);
        return Pair(a, d, a == first ? list : identity, d == first ? list : identity);
    });
}

int PermutationTestOfClaims(PathNodes& nodes, double** observed, const std::vector<PathClaim>& claims,
                            int nullModel, const PermutationDesign& design, double* rObs, double* P,
                            ClaimsObserver* observer) {
    const int b = nodes.Nodes(), n = nodes.Units();
    const int k = static_cast<int>(claims.size());
    auto partial = [b](double** R, const PathClaim& c) {
        return PartialCorrelation_GeneralProc(b, R, c.first, c.second, static_cast<int>(c.covariables.size()),
                                              const_cast<int*>(c.covariables.data()));
    };
    for (int c = 0; c < k; c++) rObs[c] = partial(observed, claims[c]);

    ScopedMatrix<int> lists(b, n);
    ScopedMatrix<double> random(b, b), model(b, b);
    std::vector<double> count(k, 1.0), partials(k);
    const bool firstNode = nullModel == kPermuteFirstNode;
    int none = 0;
    char progress[96];
    for (int i = 2; i <= design.nPerm; i++) {
        if (design.progressLead) {
            snprintf(progress, sizeof progress, "%s, permutation %d", design.progressLead, i);
            HandleEventInfoWhere2(progress);
        } else {
            ShowPermutationProgress(design.nPerm, i);
        }
        for (int a = 0; a < b; a++)
            DrawList(n, design.restriction, design.dim, design.nested, design.nestGroups, design.bundled,
                     design.bundleGroups, lists[a], design.bundleFlag);
        // Model 2 reads no matrix with every node moved but in the saved
        // reports.
        if (!firstNode || observer) nodes.NodeMatrix(lists, random);
        int modelFirst = -1;
        bool undefined = false;
        for (int c = 0; c < k; c++) {
            double** R = random;
            if (firstNode) {
                if (claims[c].first != modelFirst) {
                    modelFirst = claims[c].first;
                    nodes.FirstNodeMatrix(modelFirst, lists[modelFirst], observed, model);
                }
                R = model;
            }
            partials[c] = partial(R, claims[c]);
            if (std::isfinite(rObs[c]) && !std::isfinite(partials[c])) undefined = true;
            if (CountsTowardP(partials[c], rObs[c], TieRule::LargerAbsolute)) count[c] += 1.0;
        }
        if (undefined) none++;
        if (observer) observer->Permutation(i, lists, random, partials.data());
    }
    for (int c = 0; c < k; c++) P[c] = PermutationP(count[c], design.nPerm, rObs[c]);
    return none;
}

void PrintUncomputedPartials(FILE* f, long long none, long long permutations) {
    if (none <= 0) return;
    fprintf(f,
            eng ? "\nPermutations in which a random partial correlation could not be computed (counted as at least as "
                  "extreme as the observed one):\t%lld of %lld"
                : "\nPermutacoes em que uma correlacao parcial aleatoria nao pode ser calculada (contada como pelo "
                  "menos tao extrema quanto a observada):\t%lld de %lld",
            none, permutations);
}

void FisherC(int k, const double* P, double* C, double* probability) {
    double s = 0.0;
    for (int c = 0; c < k; c++) s += std::log(P[c]);
    *C = -2.0 * s;
    *probability = std::isnan(*C) ? *C : gsl_cdf_chisq_Q(*C, 2.0 * k);
}

// ===========================================================================
// Path analysis: dialogues
// ===========================================================================

PathClaim AskClaim(int nodes, const char* const* labels, const ClaimTexts& t) {
    std::vector<int> marks(nodes);
    auto readMarks = [&](const char* labelsHeading, const char* marksHeading) {
        fprintf(out, "%s", labelsHeading);
        for (int a = 0; a < nodes; a++) fprintf(out, "%s ", labels[a]);
        fprintf(out, "%s", marksHeading);
        fflush(out);
        int count = 0;
        for (int a = 0; a < nodes; a++) count += marks[a] = static_cast<int>(ScanNumber(in, Keyboard(), "0 1"));
        return count;
    };
    PathClaim claim;
    for (;;) {
        fprintf(out, t.pairPrompt, nodes - 2);
        if (readMarks(t.pairLabels, t.pairMarks) == 2) break;
        fprintf(out, "%s", t.pairError);
    }
    claim.first = static_cast<int>(std::find(marks.begin(), marks.end(), 1) - marks.begin());
    claim.second = static_cast<int>(std::find(marks.begin() + claim.first + 1, marks.end(), 1) - marks.begin());

    fprintf(out, t.orderPrompt, nodes - 2);
    fflush(out);
    const int order = static_cast<int>(ScanNumber(in, Keyboard(), "-", 0, nodes - 2));
    while (order > 0) {
        if (readMarks(t.covariableLabels, t.covariableMarks) != order) {
            fprintf(out, t.covariableCountError, order);
            continue;
        }
        // A covariable inside the pair leaves its partial correlation 0/0.
        if (marks[claim.first] || marks[claim.second]) {
            fprintf(out, "%s", t.covariableInPairError);
            continue;
        }
        for (int a = 0; a < nodes; a++)
            if (marks[a]) claim.covariables.push_back(a);
        break;
    }
    return claim;
}

std::vector<int> AskBlocks(int nVariables) {
    fprintf(out, "%s", eng ? "Specify the number of blocks of variables: " : "Especifique o numero de blocos de variaveis: ");
    fflush(out);
    const int b = static_cast<int>(ScanNumber(in, Keyboard(), "-", 2, nVariables));
    std::vector<int> sizes(b);
    for (;;) {
        fprintf(out, "%s", eng ? "\nBlocks of variables:                           "
                               : "\nBlocos de variaveis:                           ");
        for (int a = 1; a <= b; a++) fprintf(out, "%d ", a);
        fprintf(out, "%s", eng ? "\nSpecify the number of variables in each block: "
                               : "\nEspecifique o numero de variaveis em cada bloco: ");
        fflush(out);
        long long sum = 0;
        for (int& size : sizes) sum += size = static_cast<int>(ScanNumber(in, Keyboard(), "-", 1, nVariables));
        if (sum <= nVariables) return sizes;
        fprintf(out, "%s", eng ? "\nError! Sum of block sizes is larger than the number of variables."
                               : "\nErro! A soma dos tamanhos dos blocos e maior que o numero de variaveis.");
    }
}

void PrintClaim(FILE* f, const PathClaim& c, const char* const* labels, const char* pair, const char* covariables) {
    fprintf(f, pair, labels[c.first], labels[c.second]);
    if (c.covariables.empty()) return;
    fprintf(f, "%s", covariables);
    for (int v : c.covariables) fprintf(f, "%s\t", labels[v]);
}

void PrintNullModel(FILE* f, int nullModel) {
    fprintf(f, "%s", eng ? "\nPermutation method:\t" : "\nMetodo de permutacao:\t");
    if (nullModel == kPermuteFirstNode)
        fprintf(f, "%s",
                eng ? "Permutation of only the first variable (or block of variables) for testing each d-separation "
                      "statement (Tessop et al. 1986).\n"
                    : "Permutacao somente da primeira variavel (ou bloco de variaveis) para testar cada afirmacao de "
                      "d-separacao (Tessop et al. 1986).\n");
    else
        fprintf(f, "%s",
                eng ? "Permutation of all variables (or blocks of variables) at once.\n"
                    : "Permutacao de todas as variaveis (ou blocos de variaveis) ao mesmo tempo.\n");
}

namespace {

const ClaimTexts kVariableClaimsE = {
    "\nSpecify the variable pair compared in the partial correlation of order zero to %d: ",
    "\nVariables:            ",
    "\nSpecify which (0/1):  ",
    "\nError! Please specify two variables. Try again.\n",
    "Specify the order of the partial correlation (number of covariables, zero to %d): ",
    "Variables:                  ",
    "\nSpecify covariables (0/1):  ",
    "\nError! Please specify %d covariables. Try again.\n",
    "\nError! A covariable cannot be one of the variables of the pair. Try again.\n"};
const ClaimTexts kVariableClaimsP = {
    "\nEspecifique o par de variaveis comparado na correlacao parcial de ordem zero a %d: ",
    "\nVariaveis:            ",
    "\nEspecifique quais (0/1):  ",
    "\nErro! Especifique duas variaveis. Tente novamente.\n",
    "Especifique a ordem da correlacao parcial (numero de covariaveis, zero a %d): ",
    "Variaveis:                  ",
    "\nEspecifique as covariaveis (0/1):  ",
    "\nErro! Especifique %d covariaveis. Tente novamente.\n",
    "\nErro! Uma covariavel nao pode ser uma das variaveis do par. Tente novamente.\n"};
const ClaimTexts kBlockClaimsE = {
    "\nSpecify the variable block pair compared in the partial correlation of order zero to %d: ",
    "\nBlocks of variables: ",
    "\nSpecify which (0/1): ",
    "\nError! Please specify two blocks of variables. Try again.\n",
    "Specify the order of the partial correlation (number of blocks of covariables, zero to %d): ",
    "\nBlocks of variables:                 ",
    "\nSpecify blocks of covariables (0/1): ",
    "\nError! Please specify %d blocks of covariables. Try again.\n",
    "\nError! A covariable cannot be one of the blocks of the pair. Try again.\n"};
const ClaimTexts kBlockClaimsP = {
    "\nEspecifique o par de blocos de variaveis comparado na correlacao parcial de ordem zero a %d: ",
    "\nBlocos de variaveis: ",
    "\nEspecifique quais (0/1): ",
    "\nErro! Especifique dois blocos de variaveis. Tente novamente.\n",
    "Especifique a ordem da correlacao parcial (numero de blocos de covariaveis, zero a %d): ",
    "\nBlocos de variaveis:                 ",
    "\nEspecifique os blocos de covariaveis (0/1): ",
    "\nErro! Especifique %d blocos de covariaveis. Tente novamente.\n",
    "\nErro! Uma covariavel nao pode ser um dos blocos do par. Tente novamente.\n"};

// C(n, k) exactly, or cap + 1 when it exceeds cap (cap below 2^32, so that
// no product overflows).
long long BinomialCapped(int n, int k, long long cap) {
    if (k < 0 || k > n) return 0;
    if (k > n - k) k = n - k;
    long long c = 1;
    for (int i = 0; i < k; i++) {
        c = c * (n - i) / (i + 1);
        if (c > cap) return cap + 1;
    }
    return c;
}

// The three kinds of basis-set test share one dialogue, run and report;
// these are the places where they differ.
struct BasisSetTexts {
    const char* pair;        // per claim in the lists of the saved permutations
    const char* covariables;
    const char* resultsPair;  // per claim in the final results
    const char* resultsCovariables;
    const char* resultsHeading;
};

BasisSetTexts TextsOf(NodeKind kind) {
    if (kind == NodeKind::Variables)
        return eng ? BasisSetTexts{"Variable pair:\t%s\t%s", "\tCovariable(s):\t", "Variable pair:\t%s\t%s",
                                   "\tCovariable(s):\t", "\nResults for the specified (partial) correlations:"}
                   : BasisSetTexts{"Par de variaveis:\t%s\t%s", "\tCovariavel(is):\t", "Par de variaveis:\t%s\t%s",
                                   "\tCovariavel(is):\t", "\nResultados para as correlacoes (parciais) especificadas:"};
    const bool procrustes = kind == NodeKind::Procrustes;
    return eng ? BasisSetTexts{"Variable pair (blocks):\t%s\t%s", "\tCovariable(s) (blocks):\t",
                               "Variable block pair:\t%s\t%s", "\tCovariable(s) block:\t",
                               procrustes ? "\nResults for the specified (partial) Procrustes correlations:"
                                          : "\nResults for the specified (partial) Mantel correlations:"}
               : BasisSetTexts{"Par de variaveis (blocos):\t%s\t%s", "\tCovariavel(is) (blocos):\t",
                               "Par de blocos de variaveis:\t%s\t%s", "\tCovariavel(is) bloco:\t",
                               procrustes ? "\nResultados para as correlacoes (parciais) de Procrustes especificadas:"
                                          : "\nResultados para as correlacoes (parciais) de Mantel especificadas:"};
}

}  // namespace

BasisSetDump::BasisSetDump(FILE* report, const BasisSetNodes& s, const std::vector<PathClaim>& claims,
                           double** observed, int nullModel)
    : f_(report), s_(s), claims_(claims), observed_(observed), nullModel_(nullModel), b_(s.nodes->Nodes()),
      n_(s.nodes->Units()), model_(b_, b_), square_(s.resemblances ? n_ : 0, n_) {
    if (s.variables) tables_.push_back(dim2DT<double>(n_, b_));
    if (s.blocks)
        for (int a = 0; a < b_; a++) tables_.push_back(dim2DT<double>(n_, s.blocks->Size(a)));
}

BasisSetDump::~BasisSetDump() {
    for (double** t : tables_) free2DT(t, n_);
}

void BasisSetDump::Permutation(int i, const int* const* lists, double** random, const double* partials) {
        const BasisSetTexts t = TextsOf(s_.kind);
        const char* const* labels = s_.labels.data();
        fprintf(f_, "\n%s\n", line);
        fprintf(f_, "%s: %d\n", iteraStr, i);
        fprintf(f_, "%s", eng ? "Random data:\n" : "Dados aleatorizados:\n");
        if (s_.variables) {
            s_.variables->ArrangedTable(lists, tables_[0]);
            PrintData(f_, n_, b_, sDigits, tables_[0]);
        }
        if (s_.blocks)
            for (int a = 0; a < b_; a++) {
                fprintf(f_, eng ? "\nBlock of variables:\t%s\n" : "\nBloco de variaveis:\t%s\n", labels[a]);
                PermutedRows(n_, s_.blocks->Size(a), s_.blocks->Table(a), lists[a], tables_[a]);
                PrintData(f_, n_, s_.blocks->Size(a), sDigits, tables_[a]);
                if (s_.resemblances) {
                    fprintf(f_, eng ? "\nResemblance matrix:\t%s\n" : "\nMatriz de semelhanca:\t%s\n", labels[a]);
                    s_.resemblances->ArrangedMatrix(a, lists[a], square_);
                    PrintRese(f_, n_, sDigits, square_);
                }
            }
        const bool variables = s_.kind == NodeKind::Variables;
        if (nullModel_ == kPermuteFirstNode && (variables || s_.firstNodeHeading))
            for (const PathClaim& c : claims_) {
                if (variables) {
                    fprintf(f_,
                            "\nPermuted correlation matrix (according to Tessop et al. 1986) for variable pair:\t%s\t%s",
                            labels[c.first], labels[c.second]);
                } else {
                    PrintClaim(f_, c, labels, s_.firstNodeHeading,
                               eng ? "\tCovariable(s) (block):\t" : "\tCovariavel(is) (bloco):\t");
                }
                s_.nodes->FirstNodeMatrix(c.first, lists[c.first], observed_, model_);
                PrintRese(f_, b_, sDigits, model_);
            }
        if (variables)
            fprintf(f_, "%s", eng ? "\nCorrelation matrix based on permuted data:"
                                  : "\nMatriz de correlacoes dos dados permutados:");
        else
            fprintf(f_, "%s", s_.randomHeading);
        PrintRese(f_, b_, sDigits, random);
        fprintf(f_, "%s", eng ? "\nRandom correlations:" : "\nCorrelacoes aleatorias:");
        for (size_t c = 0; c < claims_.size(); c++) {
            fprintf(f_, eng ? "\nCorrelation:\t%g\t" : "\nCorrelacao:\t%g\t", NoNegativeZero(partials[c]));
            PrintClaim(f_, claims_[c], labels, t.pair, t.covariables);
        }
}

void BasisSetDumpHeader(FILE* f, const BasisSetNodes& s, const std::vector<PathClaim>& claims, double** observed,
                        const double* rObs, int nPerm) {
    const BasisSetTexts t = TextsOf(s.kind);
    const int b = s.nodes->Nodes(), n = s.nodes->Units();
    fprintf(f, "\n%s\n", line);
    if (s.kind == NodeKind::Variables)
        fprintf(f, "%s", eng ? "RANDOMIZATION TEST FOR PATH ANALYSIS: Data and results of each permutation\n"
                             : "TESTE DE ALEATORIZACAO PARA ANALISE DE CAMINHOS: Dados e resultados de cada "
                               "permutacao\n");
    else
        fprintf(f, "%s", eng ? "RANDOMIZATION TEST: Data and results of each permutation\n"
                             : "TESTE DE ALEATORIZACAO: Dados e resultados de cada permutacao\n");
    fprintf(f, "%s\n", line);
    fprintf(f, "%s\n", ctime(&timer));
    PrintNumberOfPermutations(f, nPerm);
    fprintf(f, "%s", eng ? "Test criterion:\n" : "Criterio do teste:\n");
    if (s.kind == NodeKind::Variables)
        fprintf(f, eng ? "\tResemblance measure: %s, %s\n" : "\tMedida de semelhanca: %s, %s\n",
                MenuText(optReseTipoInfo, 17), MenuText(optReseDirInfo, 2));
    else
        fprintf(f, "%s", s.criterionLine);
    fprintf(f, "\n%s\n", line);
    fprintf(f, "%s", eng ? "Permutation 1:\n" : "Permutacao 1:\n");
    if (s.variables) PrintData(f, n, b, sDigits, data);
    if (s.blocks)
        for (int a = 0; a < b; a++) {
            fprintf(f, eng ? "\nBlock of variables:\t%s\n" : "\nBloco de variaveis:\t%s\n", s.labels[a]);
            PrintData(f, n, s.blocks->Size(a), sDigits, s.blocks->Table(a));
            if (s.resemblances) {
                ScopedMatrix<double> D(n, n);
                s.resemblances->ArrangedMatrix(a, nullptr, D);
                fprintf(f,
                        eng ? "\nObserved resemblance matrix with variable block\t%s\n"
                            : "\nMatriz de semelhanca observada do bloco de variaveis\t%s\n",
                        s.labels[a]);
                PrintRese(f, n, sDigits, D);
            }
        }
    PrintRese(f, b, sDigits, observed);
    fprintf(f, "%s", eng ? "\nObserved correlations:\n" : "\nCorrelacoes observadas:\n");
    for (size_t c = 0; c < claims.size(); c++) {
        PrintClaim(f, claims[c], s.labels.data(), t.pair, t.covariables);
        fprintf(f, "\t%g\n", NoNegativeZero(rObs[c]));
    }
}

std::string ValueText(double x) {
    if (std::isnan(x)) return NotTestable();
    char text[64];
    snprintf(text, sizeof text, "%g", NoNegativeZero(x));
    return text;
}

// The failure value of a partial correlation is infinite, no correlation.
std::string CorrelationText(double r) { return std::isfinite(r) ? ValueText(r) : (eng ? "undefined" : "indefinido"); }

namespace {

// Runs a basis-set test whose claims are asked and whose nodes and observed
// node matrix are formed: the report, the permutations, Fisher's C (and
// AICc for single variables, V variables and A paths in the model).
void RunBasisSet(const BasisSetNodes& s, double** observed, const std::vector<PathClaim>& claims,
                 const PermutationDesign& design, int nullModel, char save, double start, int V, int A) {
    // The mode chosen at start-up, so that the first report of a run erases
    // an older one; key A turns it to append before it calls this test.
    FILE* report = fopenck("Vidive.txt", nullptr, modeVidive);
    if (!report) return;
    const int k = static_cast<int>(claims.size());
    std::vector<double> rObs(k), P(k);
    for (int c = 0; c < k; c++)
        rObs[c] = PartialCorrelation_GeneralProc(s.nodes->Nodes(), observed, claims[c].first, claims[c].second,
                                                 static_cast<int>(claims[c].covariables.size()),
                                                 const_cast<int*>(claims[c].covariables.data()));
    if (save == 'y') BasisSetDumpHeader(report, s, claims, observed, rObs.data(), design.nPerm);
    int none = 0;
    {
        BasisSetDump dump(report, s, claims, observed, nullModel);
        none = PermutationTestOfClaims(*s.nodes, observed, claims, nullModel, design, rObs.data(), P.data(),
                                       save == 'y' ? &dump : nullptr);
    }
    double C = 0.0, probability = 1.0;
    FisherC(k, P.data(), &C, &probability);

    const BasisSetTexts t = TextsOf(s.kind);
    fprintf(report, "\n\n%s\n", line);
    fprintf(report, "%s", eng ? "PATH ANALYSIS" : "ANALISE DE CAMINHOS");
    if (save == 'y') fprintf(report, "%s", eng ? ": Final results" : ": Resultado final");
    fprintf(report, "\n%s\n", line);
    fprintf(report, "%s", ctime(&timer));
    fprintf(report, "TEVLAN %s\n", versao);
    PrintElapsedTime(report, difftime_Clock(start));
    ShowStatus(report);
    PrintNumberOfPermutations(report, design.nPerm);
    PrintSeed(report);
    PrintNullModel(report, nullModel);
    fprintf(report, "%s", t.resultsHeading);
    for (int c = 0; c < k; c++) {
        fprintf(report, eng ? "\nCorrelation r =\t%s\tP-value =\t%s\t" : "\nCorrelacao r =\t%s\tProbabilidade =\t%s\t",
                CorrelationText(rObs[c]).c_str(), ProbabilityText(P[c], 6).c_str());
        PrintClaim(report, claims[c], s.labels.data(), t.resultsPair, t.resultsCovariables);
    }
    PrintUncomputedPartials(report, none, design.nPerm - 1);
    fprintf(report,
            eng ? "\nFisher's C statistics (Granvik 2000):\t%s\tP-value chi-square distribution with %d degrees of "
                  "freedom =\t%s\n"
                : "\nEstatistica C de Fisher (Granvik 2000):\t%s\tProbabilidade pela distribuicao qui-quadrado com %d "
                  "graus de liberdade =\t%s\n",
            ValueText(C).c_str(), 2 * k, ProbabilityText(probability, 6).c_str());
    if (s.kind == NodeKind::Variables) {
        const int K = V + A;
        const double n = nObj;
        const std::string aicc = n - K - 1 <= 0 ? (eng ? "undefined" : "indefinido")
                                                : ValueText(C + 2.0 * K * n / (n - K - 1));
        fprintf(report,
                eng ? "AICc (Akaike's information criterion with correction for small sample (Granvik 2013):\t%s\tK=\t%d\n"
                    : "AICc (criterio de informacao de Akaike com correcao para amostras pequenas (Granvik "
                      "2013):\t%s\tK=\t%d\n",
                aicc.c_str(), K);
    }
    const bool written = fcloseck(report, "Vidive.txt");
    ClearLine();
    if (written)
        fprintf(out, "%s", eng ? "\n\nSee results on file Vidive.txt.\n" : "\n\nVeja resultados no arquivo Vidive.txt.\n");
}

}  // namespace

namespace rn_detail {

PermutationDesign DesignOf(int nPerm, int restriction, int dim, bool nested, const int* nestGroups, bool bundled,
                           const int* bundleGroups, bool bundleFlag) {
    return PermutationDesign{nPerm, restriction, dim, nested, nestGroups, bundled, bundleGroups, bundleFlag};
}

bool DesignFits(const PermutationDesign& d) {
    return RestrictionsFit(nObj, d.restriction, d.dim, d.nested, d.nestGroups, d.bundled, d.bundleGroups);
}

// The claims of a block test: the basis-set size, typed, and each claim as it
// is typed (a size typed by mistake allocates nothing).
}  // namespace rn_detail

std::vector<PathClaim> AskBasisSet(int b, const char* const* labels, const ClaimTexts& texts) {
    fprintf(out, "%s",
            eng ? "Specify the number of correlations to be computed (size of the basis set as in Granvik 2000): "
                : "Especifique o numero de correlacoes a calcular (tamanho do conjunto basico como em Granvik 2000): ");
    fflush(out);
    const int size = static_cast<int>(ScanNumber(in, Keyboard(), "-", 1, 2147483647.0));
    const long long largest = static_cast<long long>(b) * (b - 1) / 2 - (b - 1);
    if (size > largest)
        fprintf(out, "%s",
                eng ? "Number of correlations is larger than the maximum size of the basis set. "
                    : "O numero de correlacoes e maior que o tamanho maximo do conjunto basico. ");
    std::vector<PathClaim> claims;
    for (int c = 0; c < size; c++) claims.push_back(AskClaim(b, labels, texts));
    return claims;
}

namespace {

std::vector<const char*> Pointers(const std::vector<std::string>& texts) {
    std::vector<const char*> p;
    for (const std::string& s : texts) p.push_back(s.c_str());
    return p;
}

// What the two block tests ask: the blocks, labelled "1" to "b", and the
// claims over them.
struct BlockTest {
    std::vector<int> sizes;
    std::vector<std::string> labels;
    std::vector<PathClaim> claims;
};

BlockTest AskBlockTest() {
    BlockTest t;
    t.sizes = AskBlocks(nVar);
    const int b = static_cast<int>(t.sizes.size());
    for (int a = 1; a <= b; a++) t.labels.push_back(std::to_string(a));
    t.claims = AskBasisSet(b, Pointers(t.labels).data(), eng ? kBlockClaimsE : kBlockClaimsP);
    return t;
}

}  // namespace

ForcedResemblanceOptions::ForcedResemblanceOptions(int direction, int measure, int post)
    : direction_(optReseDir), measure_(optReseTipo), post_(optPostReseTransf) {
    optReseDir = direction;
    optReseTipo = measure;
    optPostReseTransf = post;
}

ForcedResemblanceOptions::~ForcedResemblanceOptions() {
    optReseDir = direction_;
    optReseTipo = measure_;
    optPostReseTransf = post_;
}

namespace {

bool EnoughVariables(int needed) {
    if (nVar >= needed) return true;
    fprintf(out, eng ? "\nPath analysis needs at least %d variables.\n"
                     : "\nA analise de caminhos necessita pelo menos %d variaveis.\n",
            needed);
    return false;
}

}  // namespace

namespace rn_detail {

int AskOption(const char* english, const char* portuguese, int value) {
    fprintf(out, eng ? english : portuguese, value);
    fflush(out);
    return static_cast<int>(ScanNumber(in, Keyboard(), "1 2"));
}

}  // namespace rn_detail

// ===========================================================================
// Path analysis: the tests
// ===========================================================================

int AleatorizacaoVar_PartialCorrelation(partialCorr* run, int nullModel) {
    std::vector<PathClaim> claims(run->nCorr);
    for (int c = 0; c < run->nCorr; c++) {
        claims[c].first = run->pairs[c][0];
        claims[c].second = run->pairs[c][1];
        claims[c].covariables.assign(run->covariables[c], run->covariables[c] + run->order[c]);
    }
    const PermutationDesign design = DesignOf(run->nPerm, run->restriction, run->dim, run->nested, run->nestGroups,
                                              run->bundled, run->bundleGroups, run->bundleFlag);
    VariableNodes nodes(run->nObj, run->nVar, dataOrig, true);

    // Each permutation's correlations, when asked for (the search never
    // does: it holds the report itself).
    class Dump : public ClaimsObserver {
    public:
        Dump(FILE* f, VariableNodes& nodes, const std::vector<PathClaim>& claims)
            : f_(f), nodes_(nodes), claims_(claims), table_(nodes.Units(), nodes.Nodes()) {}
        void Permutation(int i, const int* const* lists, double** random, const double* partials) override {
            fprintf(f_, "\n%s\n%s: %d\n", line, iteraStr, i);
            fprintf(f_, "%s", eng ? "Random data:\n" : "Dados aleatorizados:\n");
            nodes_.ArrangedTable(lists, table_);
            PrintData(f_, nodes_.Units(), nodes_.Nodes(), sDigits, table_);
            PrintRese(f_, nodes_.Nodes(), sDigits, random);
            for (size_t c = 0; c < claims_.size(); c++) {
                fprintf(f_, eng ? "\nCorrelation:\t%g\t" : "\nCorrelacao:\t%g\t", NoNegativeZero(partials[c]));
                PrintClaim(f_, claims_[c], varLabels, eng ? "Variable pair:\t%s\t%s" : "Par de variaveis:\t%s\t%s",
                           eng ? "\tCovariable(s):\t" : "\tCovariavel(is):\t");
            }
        }

    private:
        FILE* f_;
        VariableNodes& nodes_;
        const std::vector<PathClaim>& claims_;
        ScopedMatrix<double> table_;
    };
    FILE* report = run->save == 'y' ? fopenck("Vidive.txt", nullptr, "a") : nullptr;
    if (report) {
        fprintf(report, "\n%s\n", line);
        fprintf(report, "%s", eng ? "RANDOMIZATION TEST: Data and results of each permutation\n"
                                  : "TESTE DE ALEATORIZACAO: Dados e resultados de cada permutacao\n");
        fprintf(report, "%s\n", line);
        fprintf(report, "%s", eng ? "Permutation 1:\n" : "Permutacao 1:\n");
        PrintRese(report, run->nVar, sDigits, run->corr);
    }
    Dump dump(report, nodes, claims);
    const int none = PermutationTestOfClaims(nodes, run->corr, claims, nullModel, design, run->rObs, run->P,
                                             report ? &dump : nullptr);
    if (report) {
        fprintf(report, "%s",
                eng ? "\nResults for the specified (partial) correlations:"
                    : "\nResultados para as correlacoes (parciais) especificadas:");
        for (int c = 0; c < run->nCorr; c++) {
            fprintf(report, "\n%g\t%s\t", NoNegativeZero(run->rObs[c]), ProbabilityText(run->P[c], 6).c_str());
            PrintClaim(report, claims[c], varLabels, eng ? "Variable pair:\t%s\t%s" : "Par de variaveis:\t%s\t%s",
                       eng ? "\tCovariable(s):\t" : "\tCovariavel(is):\t");
        }
        PrintUncomputedPartials(report, none, run->nPerm - 1);
        fprintf(report, "\n");
        fcloseck(report, "Vidive.txt");
    }
    return none;
}

void SearchingUndirectedPath(double alpha, int** links, int nPerm, int restriction, int dim, bool nested,
                             int* nestGroups, bool bundled, int* bundleGroups, bool bundleFlag, int nullModel,
                             char save) {
    const int p = nVar;
    if (!EnoughVariables(3)) return;
    if (!DesignFits(DesignOf(nPerm, restriction, dim, nested, nestGroups, bundled, bundleGroups, bundleFlag))) return;
    // The largest run: all pairs at order 0, or every subset of half the
    // other variables for one pair.
    const long long limit = 2147483647LL;
    const long long pairs = static_cast<long long>(p) * (p - 1) / 2;
    const long long subsets = BinomialCapped(p - 2, (p - 2) / 2, limit);
    const long long largest = pairs > subsets ? pairs : subsets;
    if (largest > limit) {
        fprintf(out,
                eng ? "\nThe search over %d variables would test more than %lld partial correlations in one run: it "
                      "can search at most 35 variables.\n"
                    : "\nA busca com %d variaveis testaria mais de %lld correlacoes parciais em uma execucao: ela "
                      "aceita no maximo 35 variaveis.\n",
                p, limit);
        return;
    }
    for (int j = 0; j < p; j++)
        for (int i = 0; i < j; i++) links[j][i] = 1;
    const double start = difftime_Clock_Init();

    ScopedMatrix<double> corr(p, p);
    ResemblanceLib(nObj, p, data, corr, 2, 17, 0, varType, alphaH, kParameter, countDoubleAbsence, false);
    FILE* report = fopenck("Vidive.txt", nullptr, modeVidive);
    if (!report) return;
    timer = time(nullptr);

    std::unique_ptr<partialCorr> run(new partialCorr());
    run->nVar = p;
    run->nObj = nObj;
    run->corr = corr;
    run->seed = static_cast<unsigned int>(seed);
    run->nPerm = nPerm;
    run->restriction = restriction;
    run->dim = dim;
    run->nested = nested;
    run->nestGroups = nestGroups;
    run->bundled = bundled;
    run->bundleGroups = bundleGroups;
    run->bundleFlag = bundleFlag;
    run->save = save;

    auto anyLink = [&] {
        for (int j = 0; j < p; j++)
            for (int i = 0; i < j; i++)
                if (links[j][i]) return true;
        return false;
    };
    long long none = 0, permutations = 0;  // over the runs: arrangements that gave a claim no partial correlation
    // Once no pair is linked the higher orders have nothing to test, and
    // their claim arrays (C(p - 2, k) claims) would run to gigabytes from
    // about 28 variables.
    for (int k = 0; k <= p - 3 && anyLink(); k++) {
        const int nCorr = static_cast<int>(k == 0 ? pairs : BinomialCapped(p - 2, k, limit));
        // Sized for this order's runs only.
        ScopedMatrix<int> claimPairs(nCorr, 2), covariables(nCorr, k > 0 ? k : 1);
        std::vector<int> order(nCorr, k);
        std::vector<double> rObs(nCorr), P(nCorr);
        run->pairs = claimPairs;
        run->covariables = covariables;
        run->order = order.data();
        run->rObs = rObs.data();
        run->P = P.data();
        int c = 0;
        for (int i = 0; i < p - 1; i++)
            for (int j = i + 1; j < p; j++) {
                if (!links[j][i]) continue;
                if (k > 0) c = 0;
                gsl_combination* subset = gsl_combination_calloc(p, k);
                do {
                    const size_t* s = gsl_combination_data(subset);
                    bool holdsPair = false;
                    for (int m = 0; m < k; m++) holdsPair = holdsPair || static_cast<int>(s[m]) == i || static_cast<int>(s[m]) == j;
                    if (holdsPair) continue;
                    claimPairs[c][0] = i;
                    claimPairs[c][1] = j;
                    for (int m = 0; m < k; m++) covariables[c][m] = static_cast<int>(s[m]);
                    c++;
                } while (gsl_combination_next(subset) == GSL_SUCCESS);
                gsl_combination_free(subset);
                // Order 0 tests every pair in one run, after the last one.
                if (k == 0 && c < nCorr) continue;
                run->nCorr = c;
                run->save = 'n';
                none += AleatorizacaoVar_PartialCorrelation(run.get(), nullModel);
                permutations += nPerm - 1;
                run->save = save;
                // A P equal to alpha keeps the link; one that is not a number
                // (not testable) removes nothing.
                for (int m = 0; m < c; m++)
                    if (P[m] > alpha) links[claimPairs[m][1]][claimPairs[m][0]] = 0;
                if (save != 'y') continue;
                fprintf(report, "\n%s\n", line);
                fprintf(report, "%s", eng ? "Undirected path algorithm: Intermediate results\n"
                                          : "Algoritmo de caminhos nao direcionados: Resultados intermediarios\n");
                fprintf(report, "%s\n", line);
                fprintf(report, "%s", eng ? "\nObserved correlations and p-value:\n"
                                          : "\nCorrelacoes observadas e probabilidade:\n");
                for (int m = 0; m < c; m++) {
                    PathClaim claim;
                    claim.first = claimPairs[m][0];
                    claim.second = claimPairs[m][1];
                    claim.covariables.assign(covariables[m], covariables[m] + k);
                    PrintClaim(report, claim, varLabels, eng ? "Variable pair:\t%s\t%s" : "Par de variaveis:\t%s\t%s",
                               eng ? "\tCovariable(s):\t" : "\tCovariavel(is):\t");
                    fprintf(report, "\t%s\t%s\n", CorrelationText(rObs[m]).c_str(), ProbabilityText(P[m], 6).c_str());
                }
                fprintf(report, "%s",
                        eng ? "\tIntermediate undirected path matrix (1 indicates a link, 0 indicates no link between "
                              "the variables)\n"
                            : "\tMatriz intermediaria de caminhos nao direcionados (1 indica uma ligacao, 0 indica "
                              "nenhuma ligacao entre as variaveis)\n");
                PrintLowerHalfMatrixTab(report, p, links);
            }
    }

    fprintf(report, "\n%s\n", line);
    fprintf(report, "%s",
            eng ? "PATH ANALYSIS: Undirected dependency model algorithm described in Granvik 2000 (quoted as by "
                  "Wolvin, Ostrand and Mirrow 1990)\n"
                : "ANALISE DE CAMINHOS: Algoritmo do modelo de dependencia nao direcionado descrito em Granvik 2000 "
                  "(citado como por Wolvin, Ostrand e Mirrow 1990)\n");
    if (save == 'y') fprintf(report, "%s", eng ? "Final results:" : "Resultado final:");
    fprintf(report, "\n%s\n", line);
    PrintElapsedTime(report, difftime_Clock(start));
    ShowStatus(report);
    PrintTransformationDoubts(report);
    PrintNumberOfPermutations(report, nPerm);
    PrintSeed(report);
    fprintf(report, "%s", eng ? "Test criterion:\n" : "Criterio do teste:\n");
    fprintf(report, eng ? "\tResemblance measure: %s, %s\n" : "\tMedida de semelhanca: %s, %s\n",
            MenuText(optReseTipoInfo, optReseTipo), MenuText(optReseDirInfo, optReseDir));
    PrintPermutationRestrictions(report, restriction, dim, nested, nestGroups, bundled, bundleGroups, true);
    fprintf(report, "%s", eng ? "\nResults:\n" : "\nResultados:\n");
    fprintf(report, eng ? "\tAlpha probability threshold: \t%g\n" : "\tLimiar de probabilidade alfa: \t%g\n", alpha);
    fprintf(report, "%s",
            eng ? "\tUndirected path matrix (1 indicates a link, 0 indicates no link between the variables)\n"
                : "\tMatriz de caminhos nao direcionados (1 indica uma ligacao, 0 indica nenhuma ligacao entre as "
                  "variaveis)\n");
    PrintLowerHalfMatrixTab(report, p, links);
    if (none > 0) {
        PrintUncomputedPartials(report, none, permutations);
        fprintf(report, "\n");
    }
    fcloseck(report, "Vidive.txt");
    ClearLine();
}

void PathAnalysisBasisSetPermutationTest(int nPerm, int restriction, int dim, bool nested, int* nestGroups,
                                         bool bundled, int* bundleGroups, bool bundleFlag, int nullModel,
                                         char save) {
    const PermutationDesign design =
        DesignOf(nPerm, restriction, dim, nested, nestGroups, bundled, bundleGroups, bundleFlag);
    if (!DesignFits(design)) return;
    // The observed and random correlations, and the standardised columns.
    const double n = nObj;
    if (!WorkFits(eng == 1, nVar, [n](double p) { return 2 * SquareBytes(p) + 16 * n * p; }, "the test", "o teste",
                  "variables", "variaveis"))
        return;
    fprintf(out, "%s",
            eng ? "Specify the number of variables in the model (to compute the size of the basis set as in Granvik "
                  "2000): "
                : "Especifique o numero de variaveis no modelo (para calcular o tamanho do conjunto basico como em "
                  "Granvik 2000): ");
    fflush(out);
    // Up to 65536 variables the pairs of the model are counted within int.
    const int V = static_cast<int>(ScanNumber(in, Keyboard(), "-", 3, nVar < 65536 ? nVar : 65536));
    const long long pairs = static_cast<long long>(V) * (V - 1) / 2;
    fprintf(out, "%s",
            eng ? "Specify the number of paths in the model (to compute the size of the basis set as in Granvik "
                  "2000): "
                : "Especifique o numero de caminhos no modelo (para calcular o tamanho do conjunto basico como em "
                  "Granvik 2000): ");
    fflush(out);
    // At least one claim is left to test, and its degrees of freedom.
    const int A = static_cast<int>(ScanNumber(in, Keyboard(), "-", 2, static_cast<double>(pairs - 1)));
    const int k = static_cast<int>(pairs - A);
    fprintf(out,
            eng ? "Specify now the %d correlations to be computed (size of the basis set as in Granvik 2000):\n"
                : "Especifique agora as %d correlacoes a calcular (tamanho do conjunto basico como em Granvik "
                  "2000):\n",
            k);
    std::vector<PathClaim> claims;
    for (int c = 0; c < k; c++) claims.push_back(AskClaim(nVar, varLabels, eng ? kVariableClaimsE : kVariableClaimsP));

    const double start = difftime_Clock_Init();
    timer = time(nullptr);
    ScopedMatrix<double> observed(nVar, nVar);
    CorrelationsOfColumns(nObj, nVar, data, observed);
    VariableNodes nodes(nObj, nVar, data, false);
    BasisSetNodes s{NodeKind::Variables, &nodes, std::vector<const char*>(varLabels, varLabels + nVar)};
    s.variables = &nodes;
    RunBasisSet(s, observed, claims, design, nullModel, save, start, V, A);
}

void PathAnalysisBasisSetPermutationTest_Procrustes(int nPerm, int restriction, int dim, bool nested,
                                                    int* nestGroups, bool bundled, int* bundleGroups,
                                                    bool bundleFlag, int nullModel, char save) {
    const PermutationDesign design =
        DesignOf(nPerm, restriction, dim, nested, nestGroups, bundled, bundleGroups, bundleFlag);
    if (!DesignFits(design)) return;
    const BlockTest t = AskBlockTest();
    const int b = static_cast<int>(t.sizes.size());

    const double start = difftime_Clock_Init();
    timer = time(nullptr);
    BlockTableNodes nodes(nObj, data, t.sizes, [](int n, int p, int q, double** X, double** Y) {
        return ProcrustesCoeff(n, p, q, X, Y);
    });
    ScopedMatrix<double> observed(b, b);
    nodes.NodeMatrix(nullptr, observed);
    BasisSetNodes s{NodeKind::Procrustes, &nodes, Pointers(t.labels)};
    s.blocks = &nodes;
    s.criterionLine = eng ? "\tResemblance measure: Procrustes correlation\n"
                          : "\tMedida de semelhanca: correlacao de Procrustes\n";
    s.firstNodeHeading = eng ? "\nProcrustes correlation matrix permuted according to Tessop et al. (1986) for "
                               "testing independence for variable block pair:\t%s\t%s"
                             : "\nMatriz de correlacoes de Procrustes permutada segundo Tessop et al. (1986) para "
                               "testar a independencia do par de blocos de variaveis:\t%s\t%s";
    s.randomHeading = eng ? "\nProcrustes correlation matrix with permuted blocks:"
                          : "\nMatriz de correlacoes de Procrustes com blocos permutados:";
    RunBasisSet(s, observed, t.claims, design, nullModel, save, start, 0, 0);
}

void PathAnalysisBasisSetPermutationTest_Mantel(int nPerm, int restriction, int dim, bool nested,
                                                int* nestGroups, bool bundled, int* bundleGroups, bool bundleFlag,
                                                int nullModel, char save) {
    const PermutationDesign design =
        DesignOf(nPerm, restriction, dim, nested, nestGroups, bundled, bundleGroups, bundleFlag);
    if (!DesignFits(design)) return;
    const BlockTest t = AskBlockTest();
    const std::vector<int>& sizes = t.sizes;
    const int b = static_cast<int>(sizes.size());
    // A resemblance matrix between the units for each block, and one
    // arranged for the report.
    if (!WorkFits(eng == 1, nObj, [b](double n) { return (b + 1) * SquareBytes(n); }, "the test", "o teste",
                  "sampling units", "unidades amostrais"))
        return;

    const double start = difftime_Clock_Init();
    timer = time(nullptr);
    // The block tables serve the report; each block's resemblance matrix, by
    // the options in force, is what the arrangements permute.
    BlockTableNodes tables(nObj, data, sizes, nullptr);
    std::vector<std::unique_ptr<ScopedMatrix<double>>> owned;
    std::vector<double**> matrices;
    int column = 0;
    for (int a = 0; a < b; a++) {
        owned.emplace_back(new ScopedMatrix<double>(nObj, nObj));
        ResemblanceLib(nObj, sizes[a], tables.Table(a), *owned.back(), optReseDir, optReseTipo, optPostReseTransf,
                       varType ? varType + column : nullptr, alphaH, kParameter, countDoubleAbsence, false);
        matrices.push_back(*owned.back());
        column += sizes[a];
    }
    ResemblanceNodes nodes(nObj, matrices);
    ScopedMatrix<double> observed(b, b);
    nodes.NodeMatrix(nullptr, observed);
    BasisSetNodes s{NodeKind::Mantel, &nodes, Pointers(t.labels)};
    s.blocks = &tables;
    s.resemblances = &nodes;
    s.criterionLine = eng ? "\tResemblance measure: Mantel correlation\n" : "\tMedida de semelhanca: correlacao de Mantel\n";
    s.randomHeading = eng ? "\nCorrelation matrix based on permuted data:" : "\nMatriz de correlacoes dos dados permutados:";
    RunBasisSet(s, observed, t.claims, design, nullModel, save, start, 0, 0);
}

// ===========================================================================
// Path analysis: key F
// ===========================================================================

void PathAnalysis() {
    if (!EnoughVariables(2)) return;
    const int road = AskOption(
        "Perform path analysis based on: \n\t(1) the original %d variables (univariate analysis)\n\t(2) specified "
        "blocks of variables (partitioning the original data matrix)\n\t\tEntre opcao: ",
        "Realizar a analise de caminhos com base em: \n\t(1) as %d variaveis originais (analise univariada)\n\t(2) "
        "blocos de variaveis especificados (particionando a matriz de dados original)\n\t\tEntre opcao: ",
        nVar);
    if (road == 1 && !EnoughVariables(3)) return;
    const int nullModel = AskOption(
        "Null model for testing partial correlations: \n\t(1) permute all variables (or blocks of variables) at "
        "once\n\t(2) permute only the first variable (or block of variables) for testing each d-separation statement "
        "(Tessop et al. 1986)\n\t\tEntre opcao: ",
        "Modelo nulo para testar correlacoes parciais: \n\t(1) permutar todas as variaveis (ou blocos de variaveis) "
        "ao mesmo tempo\n\t(2) permutar somente a primeira variavel (ou bloco de variaveis) para testar cada "
        "afirmacao de d-separacao (Tessop et al. 1986)\n\t\tEntre opcao: ");
    AleatorizacaoMain();
    const int N = AskNumberOfPermutations();
    // (Vectors, so that an input that ends inside a dialogue leaks nothing.)
    std::vector<int> nestGroupsVector(nObj), bundleGroupsVector(nObj);
    int* nestGroups = nestGroupsVector.data();
    int* bundleGroups = bundleGroupsVector.data();
    int restriction = 0, dim = 0;
    bool nested = false, bundled = false;
    SetPermutationRestrictions(&restriction, &dim, &nested, nestGroups, &bundled, bundleGroups);
    const char save = static_cast<char>(AskSaveQuestion(N, "Save intermediate results of the algorithm? y/n ",
                                                        "Guardar resultados intermediarios do algoritmo? s/n ", false));

    if (road == 1) {
        ForcedResemblanceOptions forced(2, 17, 0);
        const int option = AskOption(
            "Path analysis options: \n\t(1) search for an undirected dependency model (run algorithm)\n\t(2) specify "
            "and test a directed path model\n\t\tEntre opcao: ",
            "Opcoes de analise de caminhos: \n\t(1) procurar um modelo de dependencia nao direcionado (executar "
            "algoritmo)\n\t(2) especificar e testar um modelo de caminhos direcionado\n\t\tEntre opcao: ");
        if (option == 1) {
            fprintf(out, "%s",
                    eng ? "Specify the probability threshold (alpha) for considering the correlations significant: "
                        : "Especifique o limiar de probabilidade (alfa) para considerar as correlacoes "
                          "significativas: ");
            fflush(out);
            const double alpha = ScanNumber(in, Keyboard(), "-", 0, 1);
            ScopedMatrix<int> links(nVar, nVar);
            SearchingUndirectedPath(alpha, links, N, restriction, dim, nested, nestGroups, bundled, bundleGroups,
                                    false, nullModel, save);
        } else {
            PathAnalysisBasisSetPermutationTest(N, restriction, dim, nested, nestGroups, bundled, bundleGroups, false,
                                                nullModel, save);
        }
        return;
    }
    const int criterion = AskOption(
        "Use as test criterion: \n\t(1) Procrustes correlations\n\t(2) Mantel correlations\n\t\tEntre opcao: ",
        "Usar como criterio do teste: \n\t(1) correlacoes de Procrustes\n\t(2) correlacoes de Mantel\n\t\tEntre "
        "opcao: ");
    if (criterion == 1) {
        PathAnalysisBasisSetPermutationTest_Procrustes(N, restriction, dim, nested, nestGroups, bundled, bundleGroups,
                                                       false, nullModel, save);
        return;
    }
    ForcedResemblanceOptions forced(1, 3, 0);
    PathAnalysisBasisSetPermutationTest_Mantel(N, restriction, dim, nested, nestGroups, bundled, bundleGroups, false,
                                               nullModel, save);
}
