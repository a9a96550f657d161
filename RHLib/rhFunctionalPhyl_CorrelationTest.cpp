// ===========================================================================
// Functional and phylogenetic statistics and their permutation test
// ===========================================================================

#include "rhFunctionalPhyl.h"

#include <gsl/gsl_sort.h>
#include <gsl/gsl_statistics_double.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

#include "iflibG.h"
#include "rhLinearModels.h"
#include "rhlibDim.h"
#include "rhlibOut.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"
#include "rhFunctionalPhyl_internal.h"

using namespace fp_detail;

namespace {

const char* const kStatisticNames[kFunctionalPhylStatistics] = {
    "ro(TE)",   "ro(XT)",   "ro(XE)",   "ro(XE.T)", "ro(PE)",    "ro(PT)",   "ro(PX)",
    "ro(PX.T)", "ro(TE.P)", "ro(XE.P)", "ro(XE.TP)", "ro(PE.T)", "ro(PE.X)", "ro(RE)",
    "ro(XR)",   "ro(TR)",   "ro(XE.R)", "ro(TE.R)", "ro(XT.R)",  "ro(XE.TR)", "ro(RY)",
    "ro(VE)",   "ro(VY)",   "ro(BM)",   "ro(FE)"};
const int kSided[kFunctionalPhylStatistics] = {1, 1, 0, 0, 1, 1, 1, 1, 1, 1, 0, 0, 0,
                                               0, 0, 0, 1, 1, 0, 0, 1, 1, 1, 1, 0};

// The trace lines of each family of statistics, in the order they are written.
const std::vector<std::vector<int>> kTraceFamilies = {
    {fpTE},
    {fpXT, fpXE, fpXE_T},
    {fpPE, fpPT, fpPX, fpPX_T, fpTE_P, fpXE_P, fpXE_TP, fpPE_T, fpPE_X},
    {fpRE, fpXR, fpTR, fpXE_R, fpTE_R, fpXT_R, fpXE_TR, fpRY, fpVE, fpVY, fpBM},
    {fpFE}};

// Types 1 and 5 compare resemblance matrices; type 2 the Procrustes and type
// 3 the RV coefficient of the tables.
char CriterionOf(int testType) { return testType == 2 ? 'p' : testType == 3 ? 'v' : 'm'; }

// A type 5 grouping is the ecological value truncated to an int, which must
// exist for every value.
bool GroupingValue(double v) { return std::isfinite(v) && v > -2147483649.0 && v < 2147483648.0; }

bool DataAccepted(const PermTest_FunctionalPhyl_Correl_Input& in) {
    if (in.communities < 2 || in.otus < 1 || in.traits < 1 || in.types < 1 || in.ecoVariables < 1)
        return false;
    if (in.testType != 1 && in.testType != 2 && in.testType != 3 && in.testType != 5) return false;
    if (!in.W || !in.B || !in.U || !in.E || !in.DE) return false;
    if (in.phylogeny && (in.phylColumns < 1 || !in.Q)) return false;
    if (in.testType == 5)
        for (int i = 0; i < in.communities; i++)
            for (int v = 0; v < in.ecoVariables; v++)
                if (!GroupingValue(in.E[i][v])) return false;
    return true;
}

bool TestAccepted(const PermTest_FunctionalPhyl_Correl_Input& in) {
    if (in.N < 3 || !DataAccepted(in)) return false;
    if (in.shuffle != 't' && in.shuffle != 's') return false;
    if (in.restriction != 0 && in.restriction != 1) return false;
    return in.restriction == 0 || in.otuGroups;
}

// One side of a correlation: a table (types 2 and 3) or its resemblance
// matrix between communities (types 1 and 5).
struct Side {
    int cols;
    double** table;
    double** D;
    bool dissimilarity;
    bool given;
};

bool HasMissing(int c, int cols, double** table) {
    for (int i = 0; i < c; i++)
        for (int j = 0; j < cols; j++)
            if (table[i][j] == MISSING) return true;
    return false;
}

}  // namespace

// The arrays of a work record. Views are arrays of row pointers: a shuffled
// B, U or Q, or the site-shuffled T, X and P, are read through them and never
// copied.
struct FunctionalPhylBuffers {
    int c, p;
    bool selection;
    // The input's sizes and options the arrays were made for.
    int traits, types, phylColumns, ecoVariables, testType;
    bool phylogeny, dissimilarity, site;
    ScopedVector<double*> Bv, Uv, Qv, Tv, Xv, Pv, Rrows, Frows, Vrows, VresRows, richRows, selRows;
    ScopedMatrix<double> T, X, P, DT, DX, DP, DR, DV, DF, Dtrait, Wp, nearDE;
    ScopedVector<double> R, F, V, Vres, rich, rao;
    ScopedVector<int> weights, noSelect, groups, positions, selIndex;
    // The observed tables and entropies that a site shuffle rearranges.
    ScopedMatrix<double> T0, X0, P0;
    ScopedVector<double> R0, F0;
    // Bootstrap samples of the community-indexed inputs.
    ScopedMatrix<double> Wb, Eb, Yb, DEb, DYb;
    ScopedVector<int> richB, selB;
    std::unique_ptr<PermutedComparison> bm;

    FunctionalPhylBuffers(const PermTest_FunctionalPhyl_Correl_Input& in)
        : c(std::max(in.communities, 0)), p(std::max(in.otus, 0)), selection(in.otuSelection != nullptr),
          traits(in.traits), types(in.types), phylColumns(in.phylColumns), ecoVariables(in.ecoVariables),
          testType(in.testType), phylogeny(in.phylogeny), dissimilarity(in.dissimilarity), site(Site(in)),
          Bv(p), Uv(p), Qv(p), Tv(c), Xv(c), Pv(c), Rrows(c), Frows(c), Vrows(c), VresRows(c),
          richRows(c), selRows(c),
          T(c, in.traits), X(c, in.types), P(in.phylogeny ? c : 0, in.phylColumns), DT(c, c),
          DX(c, c), DP(in.phylogeny ? c : 0, c), DR(c, c), DV(c, c), DF(c, c),
          Dtrait(in.testType == 5 ? c : 0, c), Wp(c, p), nearDE(in.dissimilarity ? 0 : c, c),
          R(c), F(c), V(c), Vres(c), rich(c), rao(c), weights(p), noSelect(1),
          groups(in.testType == 5 ? c : 0),
          positions(in.testType == 5 ? c * std::max(in.ecoVariables, 0) : 0), selIndex(c),
          T0(Site(in) ? c : 0, in.traits), X0(Site(in) ? c : 0, in.types),
          P0(Site(in) && in.phylogeny ? c : 0, in.phylColumns), R0(Site(in) ? c : 0),
          F0(Site(in) ? c : 0), Wb(in.bootstrap ? c : 0, p), Eb(in.bootstrap ? c : 0, in.ecoVariables),
          Yb(in.bootstrap && in.Y ? c : 0, p), DEb(in.bootstrap ? c : 0, c),
          DYb(in.bootstrap && in.DY ? c : 0, c), richB(in.bootstrap ? c : 0), selB(in.bootstrap ? c : 0) {
        for (int j = 0; j < p; j++) weights[j] = in.otuSelection ? in.otuSelection[j] : 1;
        for (int i = 0; i < c; i++) {
            Rrows[i] = R.x + i;
            Frows[i] = F.x + i;
            Vrows[i] = V.x + i;
            VresRows[i] = Vres.x + i;
            richRows[i] = rich.x + i;
        }
        if (in.Sb && in.M && p > 0)
            bm.reset(new PermutedComparison(PermutedComparison::kMantel, p, in.Sb, in.M, nullptr, false));
    }
    static bool Site(const PermTest_FunctionalPhyl_Correl_Input& in) {
        return !in.bootstrap && in.shuffle == 's';
    }
    bool Fits(const PermTest_FunctionalPhyl_Correl_Input& in, const int* siteList) const {
        return in.communities == c && in.otus == p && (in.otuSelection != nullptr) == selection &&
               in.traits == traits && in.types == types && in.phylColumns == phylColumns &&
               in.ecoVariables == ecoVariables && in.testType == testType && in.phylogeny == phylogeny &&
               in.dissimilarity == dissimilarity && (site || !siteList);
    }
};

FunctionalPhyl_Stats_Lib_Input::FunctionalPhyl_Stats_Lib_Input(const PermTest_FunctionalPhyl_Correl_Input& in)
    : W(in.W), E(in.E), Y(in.Y), DE(in.DE), DY(in.DY), richness(in.richness),
      communitySelection(in.communitySelection), M(in.M), Sb(in.Sb), buffers(new FunctionalPhylBuffers(in)) {
    FunctionalPhylBuffers& b = *buffers;
    T = b.T;
    X = b.X;
    P = b.P;
    DT = b.DT;
    DX = b.DX;
    DP = b.DP;
    DR = b.DR;
    DV = b.DV;
    DF = b.DF;
    R = b.R;
    F = b.F;
    V = b.V;
    Vres = b.Vres;
    for (double& v : ro) v = NaN;
}

FunctionalPhyl_Stats_Lib_Input::~FunctionalPhyl_Stats_Lib_Input() { delete buffers; }

const char* FunctionalPhylStatisticName(int statistic) {
    return statistic >= 0 && statistic < kFunctionalPhylStatistics ? kStatisticNames[statistic] : "";
}

int FunctionalPhylSided(int statistic) {
    return statistic >= 0 && statistic < kFunctionalPhylStatistics ? kSided[statistic] : 0;
}

namespace {

// Rao entropies of the selected communities (relative abundances; pairs of
// selected OTUs; d = the dissimilarity, or 1 - s) with the OTU x OTU matrix S
// in the OTU order of list; MISSING for the other communities. A list is
// applied to the communities instead of to S: OTU a's abundance goes where
// the row of OTU list[a] is, which costs a copy of W, not of S.
void RaoEntropies(FunctionalPhyl_Stats_Lib_Input& w, double** S, bool dissimilarity, double* out,
                  bool permutedReady) {
    FunctionalPhylBuffers& b = *w.buffers;
    const int c = b.c, p = b.p;
    int m = 0;
    for (int i = 0; i < c; i++) {
        if (w.communitySelection && w.communitySelection[i] != 1) continue;
        if (w.otuList) {
            if (!permutedReady)
                for (int a = 0; a < p; a++) b.Wp[i][w.otuList[a] - 1] = w.W[i][a];
            b.selRows[m] = b.Wp[i];
        } else {
            b.selRows[m] = w.W[i];
        }
        b.selIndex[m++] = i;
    }
    // Without a selection every pair weight is 1: none is passed.
    RaoIndex_Weight_Matrix(m, p, b.selRows, S, b.rao, dissimilarity, false, b.selection ? b.weights.x : nullptr,
                           true, true);
    for (int i = 0; i < c; i++) out[i] = MISSING;
    for (int a = 0; a < m; a++) out[b.selIndex[a]] = b.rao[a];
}

// |a_i - a_j| between the communities, MISSING where either entropy is.
void AbsoluteDifferences(int c, double* a, double** D) {
    AbsValFunctionMV(c, a, D);
    for (int i = 0; i < c; i++)
        for (int j = i + 1; j < c; j++)
            if (a[i] == MISSING || a[j] == MISSING) D[i][j] = MISSING;
}

void TraceObserved(const PermTest_FunctionalPhyl_Correl_Input& in, const FunctionalPhyl_Stats_Lib_Input& w) {
    FILE* f = in.stream;
    const int c = in.communities, p = in.otus;
    fprintf(f, "\nPERMUTATION TEST FOR CORRELATIONS ro(XE), ro(TE) AND ro(RE), AND PARTIAL CORRELATIONS "
               "ro(XE.T), ro(XE.TR)\n");
    fprintf(f, "INTERMEDIATE RESULTS\n");
    fprintf(f, "\nObserved trait matrix (B):\n");
    PrintMatrixTab(f, p, in.traits, in.B, kTraceDigits);
    fprintf(f, "\nMatrix W (%d communities by %d OTUs):\n", c, p);
    PrintMatrixTab(f, c, p, w.W, kTraceDigits);
    fprintf(f, "\n\nMatrix T (comunity weighted means traits in %d communities by %d traits) computed after "
               "B (T = W x B):\n", c, in.traits);
    PrintMatrixTab(f, c, in.traits, w.T, kTraceDigits);
    fprintf(f, "\nResemblance matrix DT between %d communities:\n", c);
    PrintLowerHalfMatrixTab(f, c, w.DT, kTraceDigits);
    fprintf(f, "\nResemblance matrix DE between %d communities:\n", c);
    PrintLowerHalfMatrixTab(f, c, w.DE, kTraceDigits);
    switch (in.testType) {
        case 2:
            fprintf(f, "\nProcrustes correlation between T and E:\t%g\n", NoNegativeZero(w.ro[fpTE]));
            break;
        case 3:
            fprintf(f, "\nRV coefficient between T and E:\t%g\n", NoNegativeZero(w.ro[fpTE]));
            break;
        default:
            fprintf(f, "\nMatrix correlation between DT and DE:\t%g\n", NoNegativeZero(w.ro[fpTE]));
    }
    if (in.testType == 5) {
        fprintf(f, "\nQb / (Qt - Qb) of DT in the groups of each ecological variable:\n");
        PrintVectorTab(f, in.ecoVariables, w.ratioT.data(), kTraceDigits);
        fprintf(f, "\nQb / (Qt - Qb) of each trait (columns) in the groups of each ecological variable (rows):\n");
        for (int v = 0; v < in.ecoVariables; v++)
            PrintVectorTab(f, in.traits, w.ratioTraits.data() + static_cast<size_t>(v) * in.traits, kTraceDigits);
    }
    fprintf(f, "\nObserved belonging matrix (U):\n");
    PrintMatrixTab(f, p, in.types, in.U, kTraceDigits);
    fprintf(f, "\nMatrix X (%d communities by %d types) computed after U (X = W x U):\n", c, in.types);
    PrintMatrixTab(f, c, in.types, w.X, kTraceDigits);
    if (in.phylogeny) {
        fprintf(f, "\nObserved phylogenetic matrix (Q):\n");
        PrintMatrixTab(f, p, in.phylColumns, in.Q, kTraceDigits);
        fprintf(f, "\nMatrix P (%d communities by %d phylogenetic columns) computed after Q (P = W x Q):\n", c,
                in.phylColumns);
        PrintMatrixTab(f, c, in.phylColumns, w.P, kTraceDigits);
    }
    fprintf(f, "\nRao entropy of the communities (R):\n");
    PrintVectorTab(f, c, w.R, kTraceDigits);
    if (in.phylogeny) {
        fprintf(f, "\nPhylogenetic Rao entropy of the communities (F):\n");
        PrintVectorTab(f, c, w.F, kTraceDigits);
    }
    fprintf(f, "\nNearest-neighbour contribution to beta diversity (V) and its residuals on OTU richness:\n");
    PrintVectorTab(f, c, w.V, kTraceDigits);
    PrintVectorTab(f, c, w.Vres, kTraceDigits);
    for (int s = fpXT; s < kFunctionalPhylStatistics; s++) {
        if (s == fpXT || s == fpBM) fprintf(f, "\n");
        fprintf(f, "Observed %s=\t%g\n", kStatisticNames[s], NoNegativeZero(w.ro[s]));
    }
}

}  // namespace

bool FunctionalPhyl_Stats_Lib(PermTest_FunctionalPhyl_Correl_Input* in, FunctionalPhyl_Stats_Lib_Input* work) {
    if (!in || !work || !DataAccepted(*in) || !work->buffers->Fits(*in, work->siteList)) return false;
    FunctionalPhyl_Stats_Lib_Input& w = *work;
    FunctionalPhylBuffers& b = *w.buffers;
    const int c = in->communities, p = in->otus, t = in->traits, k = in->types, q = in->phylColumns;
    const int e = in->ecoVariables, type = in->testType;
    const char criterion = CriterionOf(type);
    const bool phyl = in->phylogeny;
    for (double& v : w.ro) v = NaN;

    // The community tables and the Rao entropies, or, for a
    // site shuffle, the observed ones in the order of the list.
    if (w.siteList) {
        for (int i = 0; i < c; i++) {
            const int from = w.siteList[i] - 1;
            b.Tv[i] = b.T0[from];
            b.Xv[i] = b.X0[from];
            if (phyl) b.Pv[i] = b.P0[from];
            b.R[i] = b.R0[from];
            b.F[i] = b.F0[from];
        }
        w.T = b.Tv;
        w.X = b.Xv;
        w.P = phyl ? b.Pv.x : nullptr;
    } else {
        for (int a = 0; a < p; a++) {
            const int from = w.otuList ? w.otuList[a] - 1 : a;
            b.Bv[a] = in->B[from];
            b.Uv[a] = in->U[from];
            if (phyl) b.Qv[a] = in->Q[from];
        }
        MatrixProdSelectMV_Adjust_Weight(c, p, p, t, w.W, b.Bv, b.T, nullptr, b.weights, in->weightAdjustment);
        NormalizeColsMV(c, t, b.T, b.T);
        MatrixProdSelectMV_Adjust_Weight(c, p, p, k, w.W, b.Uv, b.X, nullptr, b.weights);
        if (phyl) MatrixProdSelectMV_Adjust_Weight(c, p, p, q, w.W, b.Qv, b.P, nullptr, b.weights);
        w.T = b.T;
        w.X = b.X;
        w.P = phyl ? b.P.x : nullptr;
        if (in->Sb) RaoEntropies(w, in->Sb, in->sbDissimilarity, b.R, false);
        if (phyl && in->Sf) RaoEntropies(w, in->Sf, in->sfDissimilarity, b.F, in->Sb != nullptr);
    }
    const bool hasR = in->Sb != nullptr, hasF = phyl && in->Sf != nullptr;

    // Resemblance between communities.
    auto resemblance = [&](int cols, double** table, double** D, int measure) {
        return ResemblanceLib(c, cols, table, D, 1, measure, nullptr, 1.0, 0.0, 0, false) == reseComputed;
    };
    const bool okT = resemblance(t, w.T, b.DT, w.measureTP);
    const bool okX = resemblance(k, w.X, b.DX, w.measureX);
    const bool okP = phyl && resemblance(q, w.P, b.DP, w.measureTP);

    // V: each community's compositional distance to its environmental
    // nearest neighbour, as residuals on its OTU richness.
    double** nearDE = w.DE;
    if (!in->dissimilarity) {
        for (int i = 0; i < c; i++)
            for (int j = 0; j < c; j++)
                b.nearDE[i][j] = w.DE[i][j] == MISSING ? MISSING : 1.0 - w.DE[i][j];
        nearDE = b.nearDE;
    }
    NNCRD(c, nearDE, b.DX, b.V);
    bool spread = false;
    for (int i = 0; i < c; i++) {
        if (w.richness) {
            b.rich[i] = w.richness[i];
        } else {
            int count = 0;
            for (int j = 0; j < p; j++)
                if (w.W[i][j] > 0) count++;
            b.rich[i] = count;
        }
        spread = spread || b.rich[i] != b.rich[0];
    }
    // Without spread the richness cannot be a regressor (a singular fit):
    // the residuals are then the deviations from the mean.
    b.noSelect[0] = 0;
    Regression_ResidualsSelect(c, 1, 1, b.Vrows, b.richRows, b.VresRows, spread ? nullptr : b.noSelect.x);

    const bool matrices = criterion == 'm';
    if (matrices) {
        if (hasR) AbsoluteDifferences(c, b.R, b.DR);
        if (hasF) AbsoluteDifferences(c, b.F, b.DF);
        AbsValFunctionMV(c, b.Vres, b.DV);
    }

    const Side sT{t, w.T, b.DT, true, okT}, sX{k, w.X, b.DX, true, okX}, sP{q, w.P, b.DP, true, okP};
    const Side sE{e, w.E, w.DE, in->dissimilarity, true};
    const Side sR{1, b.Rrows, b.DR, true, hasR}, sF{1, b.Frows, b.DF, true, hasF};
    const Side sV{1, b.VresRows, b.DV, true, true};
    const Side sY{p, w.Y, w.DY, in->dissimilarity, matrices ? w.DY != nullptr : w.Y != nullptr};
    auto corr = [&](const Side& a, const Side& z) {
        if (!a.given || !z.given) return NaN;
        if (a.dissimilarity && z.dissimilarity)
            return MatrixCorrelationLib(c, a.cols, z.cols, a.table, z.table, a.D, z.D, true, criterion);
        return MatrixCorrelationLib(c, a.cols, z.cols, a.table, z.table, a.D, z.D, a.dissimilarity,
                                    z.dissimilarity, false, criterion);
    };
    // Type 2 takes the partial correlation from the tables' residuals on
    // the covariates; the others from the three pairwise values (rXY, rXZ,
    // rYZ, or their first-order partials for two covariates).
    auto partial = [&](const Side& a, const Side& z, std::initializer_list<const Side*> covariates, double rXY,
                       double rXZ, double rYZ) {
        if (type != 2) return PartialCorrelation(rXY, rXZ, rYZ);
        if (!a.given || !z.given || HasMissing(c, a.cols, a.table) || HasMissing(c, z.cols, z.table)) return NaN;
        std::vector<CovariateBlock> blocks;
        for (const Side* s : covariates) {
            if (!s->given || HasMissing(c, s->cols, s->table)) return NaN;
            blocks.push_back({s->cols, nullptr, s->table});
        }
        return PartialMatrixCorrelation(c, a.cols, z.cols, a.table, z.table, 2, 0.0, blocks);
    };

    double* ro = w.ro;
    // ro(TE), and under type 5 the share of each trait's dissimilarity
    // between the groups each ecological variable makes.
    ro[fpTE] = corr(sT, sE);
    if (type == 5) {
        w.ratioT.assign(e, NaN);
        w.ratioTraits.assign(static_cast<size_t>(e) * t, NaN);
        // Groups as positions 1..g, whatever the values.
        for (int v = 0; v < e; v++) {
            for (int i = 0; i < c; i++) b.groups[i] = static_cast<int>(std::trunc(w.E[i][v]));
            GroupPositions(c, b.groups, b.positions.x + static_cast<size_t>(v) * c);
        }
        auto ratio = [&](double** D, int v) {
            double Qb, Qt;
            BetweenGrSqDissim(c, D, b.positions.x + static_cast<size_t>(v) * c, Qb, Qt, w.communitySelection,
                              false);
            return Qb / (Qt - Qb);
        };
        for (int v = 0; v < e; v++) w.ratioT[v] = okT ? ratio(b.DT, v) : NaN;
        for (int j = 0; j < t; j++) {
            EucliDistMVSelectOne(c, t, w.T, b.Dtrait, j + 1);
            for (int v = 0; v < e; v++) w.ratioTraits[static_cast<size_t>(v) * t + j] = ratio(b.Dtrait, v);
        }
    }
    // The correlations of X with T and E, and those of the phylogenetic table.
    ro[fpXT] = corr(sX, sT);
    ro[fpXE] = corr(sX, sE);
    if (phyl) {
        ro[fpPE] = corr(sP, sE);
        ro[fpPT] = corr(sP, sT);
        ro[fpPX] = corr(sP, sX);
    }
    // The partial correlations given T or P.
    ro[fpXE_T] = partial(sX, sE, {&sT}, ro[fpXE], ro[fpXT], ro[fpTE]);
    if (phyl) {
        ro[fpPX_T] = partial(sP, sX, {&sT}, ro[fpPX], ro[fpPT], ro[fpXT]);
        ro[fpTE_P] = partial(sT, sE, {&sP}, ro[fpTE], ro[fpPT], ro[fpPE]);
        ro[fpXE_P] = partial(sX, sE, {&sP}, ro[fpXE], ro[fpPX], ro[fpPE]);
        ro[fpPE_T] = partial(sP, sE, {&sT}, ro[fpPE], ro[fpPT], ro[fpTE]);
        ro[fpPE_X] = partial(sP, sE, {&sX}, ro[fpPE], ro[fpPX], ro[fpXE]);
        ro[fpXE_TP] = partial(sX, sE, {&sT, &sP}, ro[fpXE_T], ro[fpPX_T], ro[fpPE_T]);
    }
    // The Rao entropies, V and F against the rest, and the partial
    // correlations given R.
    ro[fpRE] = corr(sR, sE);
    ro[fpXR] = corr(sX, sR);
    ro[fpTR] = corr(sT, sR);
    ro[fpXE_R] = partial(sX, sE, {&sR}, ro[fpXE], ro[fpXR], ro[fpRE]);
    ro[fpTE_R] = partial(sT, sE, {&sR}, ro[fpTE], ro[fpTR], ro[fpRE]);
    ro[fpXT_R] = partial(sX, sT, {&sR}, ro[fpXT], ro[fpXR], ro[fpTR]);
    ro[fpXE_TR] = partial(sX, sE, {&sT, &sR}, ro[fpXE_T], PartialCorrelation(ro[fpXR], ro[fpXT], ro[fpTR]),
                          PartialCorrelation(ro[fpRE], ro[fpTE], ro[fpTR]));
    ro[fpRY] = corr(sR, sY);
    ro[fpVE] = corr(sV, sE);
    ro[fpVY] = corr(sV, sY);
    ro[fpFE] = corr(sF, sE);
    if (w.M && w.Sb) {
        if (w.otuList && b.bm) {
            // 1 - s against d is a change of sign.
            const double r = (*b.bm)(w.otuList);
            ro[fpBM] = in->sbDissimilarity == in->mDissimilarity ? r : -r;
        } else {
            ro[fpBM] = MatrixCorrelationLib(p, 0, 0, nullptr, nullptr, w.Sb, w.M, in->sbDissimilarity,
                                            in->mDissimilarity, false, 'm');
        }
    }
    // The observed arrangement is traced once, with its inputs.
    if (w.iteration == 0 && in->trace && in->stream) TraceObserved(*in, w);
    return true;
}

namespace fp_detail {

RowSummary SummariseRow(int n, double* values, double observed, int sided) {
    RowSummary s{NaN, NaN, NaN, NaN, NaN, NaN, NaN, 0};
    double* end = std::stable_partition(values, values + (n > 0 ? n : 0), [](double v) { return std::isfinite(v); });
    const int kept = static_cast<int>(end - values);
    s.kept = kept;
    if (kept == 0) return s;
    gsl_sort(values, 1, kept);
    s.median = gsl_stats_median_from_sorted_data(values, 1, kept);
    s.q15865 = gsl_stats_quantile_from_sorted_data(values, 1, kept, 0.15865);
    s.q84135 = gsl_stats_quantile_from_sorted_data(values, 1, kept, 0.84135);
    s.q025 = gsl_stats_quantile_from_sorted_data(values, 1, kept, 0.025);
    s.q975 = gsl_stats_quantile_from_sorted_data(values, 1, kept, 0.975);
    s.sesMedian = SES_median(observed, s.median, s.q15865, s.q84135);
    s.P = Pvalue(kept, values, observed, s.median, sided);
    return s;
}

}  // namespace fp_detail

namespace {

// The bootstrap sample list (communities from 1) of every community-indexed
// input: rows of W, E and Y, rows and columns of DE and DY.
void Resample(const PermTest_FunctionalPhyl_Correl_Input& in, FunctionalPhylBuffers& b, const int* list) {
    const int c = in.communities, p = in.otus;
    int kept = 0;
    GetData(c, c, p, &kept, in.W, b.Wb, list, 0);
    GetData(c, c, in.ecoVariables, &kept, in.E, b.Eb, list, 0);
    if (in.Y) GetData(c, c, p, &kept, in.Y, b.Yb, list, 0);
    for (int i = 0; i < c; i++) {
        const int from = list[i] - 1;
        for (int j = 0; j < c; j++) {
            b.DEb[i][j] = in.DE[from][list[j] - 1];
            if (in.DY) b.DYb[i][j] = in.DY[from][list[j] - 1];
        }
        if (in.richness) b.richB[i] = in.richness[from];
        if (in.communitySelection) b.selB[i] = in.communitySelection[from];
    }
}

void WriteObservedOutputs(const PermTest_FunctionalPhyl_Correl_Input& in, const FunctionalPhyl_Stats_Lib_Input& w) {
    const int c = in.communities;
    if (in.observedT) CopyMatrix(c, in.traits, w.T, in.observedT);
    if (in.observedX) CopyMatrix(c, in.types, w.X, in.observedX);
    if (in.observedP && in.phylogeny) CopyMatrix(c, in.phylColumns, w.P, in.observedP);
    for (int i = 0; i < c; i++) {
        if (in.observedR) {
            in.observedR[i][0] = in.Sb ? w.R[i] : NaN;
            in.observedR[i][1] = in.phylogeny && in.Sf ? w.F[i] : NaN;
        }
        if (in.nncrd) {
            in.nncrd[0][i] = w.V[i];
            in.nncrd[1][i] = w.Vres[i];
        }
    }
}

}  // namespace

bool PermTest_FunctionalPhyl_Correl(PermTest_FunctionalPhyl_Correl_Input* in) {
    if (!in || !TestAccepted(*in)) return false;
    PermTest_FunctionalPhyl_Correl_Input& d = *in;
    d.criterion = CriterionOf(d.testType);
    const int N = d.N, c = d.communities, p = d.otus, t = d.traits, k = d.types;
    const bool phyl = d.phylogeny, tracing = d.trace && d.stream;
    const bool otuShuffle = !d.bootstrap && d.shuffle == 't', siteShuffle = !d.bootstrap && d.shuffle == 's';
    FunctionalPhyl_Stats_Lib_Input work(d);
    FunctionalPhylBuffers& b = *work.buffers;

    // The observed arrangement.
    FunctionalPhyl_Stats_Lib(in, &work);
    double observed[kFunctionalPhylStatistics];
    std::copy(work.ro, work.ro + kFunctionalPhylStatistics, observed);
    const std::vector<double> observedRatioT = work.ratioT, observedRatioTraits = work.ratioTraits;
    WriteObservedOutputs(d, work);
    if (siteShuffle) {
        CopyMatrix(c, t, work.T, b.T0);
        CopyMatrix(c, k, work.X, b.X0);
        if (phyl) CopyMatrix(c, d.phylColumns, work.P, b.P0);
        std::copy(b.R.x, b.R.x + c, b.R0.x);
        std::copy(b.F.x, b.F.x + c, b.F0.x);
    }
    if (d.bootstrap) {
        work.W = b.Wb;
        work.E = b.Eb;
        work.Y = d.Y ? b.Yb.x : nullptr;
        work.DE = b.DEb;
        work.DY = d.DY ? b.DYb.x : nullptr;
        work.richness = d.richness ? b.richB.x : nullptr;
        work.communitySelection = d.communitySelection ? b.selB.x : nullptr;
    }

    // Everything the loop needs exists before it.
    ScopedMatrix<double> random(kFunctionalPhylStatistics, N - 1);
    double count[kFunctionalPhylStatistics], sum[kFunctionalPhylStatistics] = {},
           sumSq[kFunctionalPhylStatistics] = {};
    int finite[kFunctionalPhylStatistics] = {};
    std::fill(count, count + kFunctionalPhylStatistics, 1.0);
    std::vector<double> ratioCount(observedRatioT.size(), 1.0), traitCount(observedRatioTraits.size(), 1.0);
    ScopedVector<int> otuList(p), order(p), selected(p), siteList(c), bootList(c), communities(c);
    std::unique_ptr<bool[]> selectedFlag(new bool[p]);
    int m = 0;
    for (int j = 0; j < p; j++) {
        otuList[j] = j + 1;
        selectedFlag[j] = !d.otuSelection || d.otuSelection[j] == 1;
        if (selectedFlag[j]) {
            selected[m] = j;
            order[m++] = j + 1;
        }
    }
    for (int i = 0; i < c; i++) {
        siteList[i] = i + 1;
        communities[i] = d.communitySelection ? d.communitySelection[i] : 1;
    }
    ScopedMatrix<double> shown(tracing && otuShuffle ? p : 0, p);
    auto showPermuted = [&](double** S, const char* heading) {
        for (int a = 0; a < p; a++)
            for (int z = 0; z < p; z++) shown[a][z] = S[otuList[a] - 1][otuList[z] - 1];
        fprintf(d.stream, "%s", heading);
        PrintMatrixTab(d.stream, p, p, shown.x, kTraceDigits);
    };

    for (int it = 1; it < N; it++) {
        ShowTestProgress("Permutation test: %d of %d", it, N);
        if (d.bootstrap) {
            RndListBootstrap(c, bootList);
            Resample(d, b, bootList);
        } else if (otuShuffle) {
            // Only the selected OTUs move, and one list serves every
            // OTU-indexed input.
            if (d.specifiedList) {
                RndListSpecified(m, order);
                for (int a = 0; a < m; a++) otuList[selected[a]] = order[a];
            } else if (d.restriction == 1) {
                if (m == p)
                    RndListNestedNew(p, d.otuGroups, 1, otuList);
                else
                    RndListNestedSelect(p, true, d.otuGroups, false, nullptr, false, otuList, selectedFlag.get());
            } else if (m == p) {
                RndList(p, otuList);
            } else {
                RndListSelect(p, otuList, selectedFlag.get());
            }
            work.otuList = otuList;
        } else if (d.testType == 5) {
            RndListSelect(c, siteList, communities.x);
            work.siteList = siteList;
        } else {
            RndListSpecified(c, siteList);
            work.siteList = siteList;
        }
        work.iteration = it;
        FunctionalPhyl_Stats_Lib(in, &work);

        for (int s = 0; s < kFunctionalPhylStatistics; s++) {
            const double v = work.ro[s];
            random[s][it - 1] = v;
            if (!std::isfinite(v)) continue;
            sum[s] += v;
            sumSq[s] += v * v;
            finite[s]++;
            if (CountsTowardP(v, observed[s], kSided[s] ? TieRule::Larger : TieRule::LargerAbsolute)) count[s] += 1.0;
        }
        for (size_t v = 0; v < ratioCount.size(); v++)
            if (std::isfinite(work.ratioT[v]) && CountsTowardP(work.ratioT[v], observedRatioT[v], TieRule::Larger))
                ratioCount[v] += 1.0;
        for (size_t v = 0; v < traitCount.size(); v++)
            if (std::isfinite(work.ratioTraits[v]) &&
                CountsTowardP(work.ratioTraits[v], observedRatioTraits[v], TieRule::Larger))
                traitCount[v] += 1.0;

        if (!tracing) continue;
        FILE* f = d.stream;
        fprintf(f, "\n\nITERATION\t%d\n", it);
        if (d.bootstrap) {
            fprintf(f, "\nCommunities in the bootstrap sample:\t");
            PrintVectorTab(f, c, bootList.x);
        } else if (otuShuffle) {
            fprintf(f, "Permuted trait matrix (Brnd):\n");
            PrintMatrixTab(f, p, t, b.Bv, kTraceDigits);
            fprintf(f, "\nOrder of original OTUs in permuted traits matrix Brnd:\t");
            PrintVectorTab(f, p, otuList.x);
            fprintf(f, "\n\nMatrix Trnd (%d communities by %d traits) generated after Brnd (Trnd = W x Brnd):\n", c, t);
            PrintMatrixTab(f, c, t, work.T, kTraceDigits);
            fprintf(f, "\nPermuted belonging matrix (Urnd):\n");
            PrintMatrixTab(f, p, k, b.Uv, kTraceDigits);
            fprintf(f, "\n\nMatrix Xrnd (%d communities by %d types) generated after Urnd (Xrnd = W x Urnd):\n", c, k);
            PrintMatrixTab(f, c, k, work.X, kTraceDigits);
            if (phyl) {
                fprintf(f, "\nPermuted phylogenetic matrix (Qrnd):\n");
                PrintMatrixTab(f, p, d.phylColumns, b.Qv, kTraceDigits);
                fprintf(f, "\n\nMatrix Prnd (%d communities by %d phylogenetic columns) generated after Qrnd "
                           "(Prnd = W x Qrnd):\n", c, d.phylColumns);
                PrintMatrixTab(f, c, d.phylColumns, work.P, kTraceDigits);
            }
            if (d.Sb) showPermuted(d.Sb, "\nPermuted trait similarity matrix between OTUs (Srnd):\n");
            if (phyl && d.Sf) showPermuted(d.Sf, "\nPermuted phylogenetic similarity matrix between OTUs (Sfrnd):\n");
        } else {
            fprintf(f, "\nOrder of original communities in the site shuffle:\t");
            PrintVectorTab(f, c, siteList.x);
            fprintf(f, "\n\nMatrix Trnd (%d communities by %d traits) permuted by site shuffle:\n", c, t);
            PrintMatrixTab(f, c, t, work.T, kTraceDigits);
            fprintf(f, "\n\nMatrix Xrnd (%d communities by %d types) permuted by site shuffle:\n", c, k);
            PrintMatrixTab(f, c, k, work.X, kTraceDigits);
            if (phyl) {
                fprintf(f, "\n\nMatrix Prnd (%d communities by %d phylogenetic columns) permuted by site shuffle:\n",
                        c, d.phylColumns);
                PrintMatrixTab(f, c, d.phylColumns, work.P, kTraceDigits);
            }
            fprintf(f, "\n\nRao entropies (Rrnd) permuted by site shuffle:\n");
            PrintVectorTab(f, c, work.R, kTraceDigits);
        }
        for (size_t family = 0; family < kTraceFamilies.size(); family++) {
            if (!phyl && (family == 2 || family == 4)) continue;
            fprintf(f, "\nIteration %d", it);
            for (int s : kTraceFamilies[family])
                fprintf(f, "\tRandom %s =\t%g\tCummulative frequency for %s=%g", kStatisticNames[s],
                        NoNegativeZero(work.ro[s]),
                        kStatisticNames[s], count[s]);
            fprintf(f, "\n");
        }
    }
    ClearLine();

    // The summaries of each row.
    for (int s = 0; s < kFunctionalPhylStatistics; s++) {
        double* values = random[s];
        const double obs = observed[s];
        const fp_detail::RowSummary r = fp_detail::SummariseRow(N - 1, values, obs, kSided[s]);
        const double mean = sum[s] / finite[s];
        const double ses = d.median ? r.sesMedian : SES(obs, sumSq[s], sum[s], finite[s]);
        if (s < kFunctionalPhylRows) {
            d.cumulativeP[s] = PermutationP(count[s], N, obs);
            d.ses[s] = ses;
            d.centre[s] = d.median ? r.median : mean;
            d.quantile025[s] = r.q025;
            d.quantile975[s] = r.q975;
            d.P[s] = r.P;
        } else {
            d.sesFE = ses;
            d.quantile025FE = r.q025;
            d.quantile975FE = r.q975;
            d.PFE = r.P;
        }
        if (d.rows) {
            double* row = d.rows[s];
            std::copy(values, values + (N - 1), row);
            const double tail[] = {r.median, r.q15865, r.q84135, obs, r.sesMedian, r.q025, r.q975, r.P, NaN};
            std::copy(tail, tail + 9, row + (N - 1));
        }
    }
    d.ratioT = observedRatioT;
    d.ratioTraits = observedRatioTraits;
    d.ratioTP.resize(ratioCount.size());
    d.ratioTraitsP.resize(traitCount.size());
    for (size_t v = 0; v < ratioCount.size(); v++) d.ratioTP[v] = PermutationP(ratioCount[v], N, observedRatioT[v]);
    for (size_t v = 0; v < traitCount.size(); v++)
        d.ratioTraitsP[v] = PermutationP(traitCount[v], N, observedRatioTraits[v]);
    return true;
}
