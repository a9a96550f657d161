// ===========================================================================
// Linear-model and redundancy-analysis tests
// ===========================================================================

#include "FtevlanRn.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "FtevlanRn_internal.h"
#include "TevlanClasses.h"
#include "iflibG.h"
#include "rhLinearModels.h"
#include "rhlibOut.h"
#include "rhlib_M.h"

using namespace rn_detail;

bool SetsOfTheSameUnits(std::initializer_list<const Session*> sets) {
    for (const Session* s : sets)
        if (!s || !s->data || s->nObj < 1 || s->nVar < 1) {
            fprintf(out, "%s", eng ? "\nA data set is missing.\n" : "\nFalta um conjunto de dados.\n");
            return false;
        }
    const Session* first = *sets.begin();
    for (const Session* s : sets)
        if (s->nObj != first->nObj) {
            fprintf(out,
                    eng ? "\nThe data sets describe different numbers of sampling units (%d in %s and %d in %s): "
                          "they must describe the same units in the same order.\n"
                        : "\nOs conjuntos de dados descrevem numeros diferentes de unidades amostrais (%d em %s e "
                          "%d em %s): devem descrever as mesmas unidades na mesma ordem.\n",
                    first->nObj, first->filename, s->nObj, s->filename);
            return false;
        }
    return true;
}

namespace {

// Both tests relate rows of the two tables unit by unit, and every cell must
// hold a value (the engines know no missing value).
bool LinearModelSessionsUsable(const Session* s1, const Session* s2) {
    if (!SetsOfTheSameUnits({s1, s2})) return false;
    for (const Session* s : {s1, s2})
        for (int i = 0; i < s->nObj; i++)
            for (int j = 0; j < s->nVar; j++)
                if (s->data[i][j] == MISSING || !std::isfinite(s->data[i][j])) {
                    fprintf(out,
                            eng ? "\nThe test needs complete data: %s holds missing values (-999).\n"
                                : "\nO teste necessita dados completos: %s contem valores faltantes (-999).\n",
                            s->filename);
                    return false;
                }
    return true;
}

void ModelCannotBeFitted(FILE* report) {
    const char* text = eng ? "\nThe regression model cannot be fitted: the factors are collinear or too many for the "
                             "number of sampling units.\n"
                           : "\nO modelo de regressao nao pode ser ajustado: os fatores sao colineares ou numerosos "
                             "demais para o numero de unidades amostrais.\n";
    fprintf(out, "%s", text);
    if (report) fprintf(report, "%s", text);
}

// Random coefficients, r squared and axis correlations count by magnitude.
void Count(double random, double observed, double& count) {
    if (CountsTowardP(random, observed, TieRule::LargerAbsolute)) count += 1.0;
}

// P of a count, or "not testable"; framed in the 20 columns of the
// sums-of-squares table.
void PrintProbability(FILE* f, double count, int nPerm, double observed, bool framed) {
    const std::string text = ProbabilityText(PermutationP(count, nPerm, observed), framed ? sDigits : 6);
    fprintf(f, framed ? "\t%20s" : "\t%s", text.c_str());
}

}  // namespace

namespace rn_detail {

// Whether the restrictions can permute the n units of the test: the pairs of
// the embedded matrix must be the units, and bundles must be of one size
// (otherwise every list would leave the units in place and every P be 1).
bool RestrictionsFit(int n, int option, int dimension, bool nested, const int* nestGroups, bool permuteBundles,
                     const int* bundleGroups) {
    if (option == kEmbeddedMatrix && static_cast<long long>(dimension) * (dimension - 1) / 2 != n) {
        fprintf(out,
                eng ? "\nA resemblance matrix of dimension %d does not hold the %d sampling units of the test.\n"
                    : "\nUma matriz de semelhanca de dimensao %d nao contem as %d unidades amostrais do teste.\n",
                dimension, n);
        return false;
    }
    if (option == kWithinGroups || option == kBundles)
        return CheckNestedDesign(n, nested, nestGroups, permuteBundles, bundleGroups, false, false, nullptr, port == 1);
    return true;
}

// The permutation list of one random arrangement by the restriction option.
void DrawList(int n, int option, int dimension, bool nested, const int* nestGroups, bool permuteBundles,
              const int* bundleGroups, int* list, bool bundlesWithinBlocks) {
    if (option == kEmbeddedMatrix)
        RndListMantelRestricted(n, list, dimension);
    else if (option == kWithinGroups || option == kBundles)
        RndListNestedNew(n, nested, nestGroups, permuteBundles, bundleGroups, bundlesWithinBlocks, list);
    else
        RndList(n, list);
}

void PermutedRows(int n, int q, double** Y, const int* list, double** random) {
    for (int i = 0; i < n; i++) std::memcpy(random[i], Y[list[i] - 1], sizeof(double) * q);
}

}  // namespace rn_detail

namespace {

void PrintLabelsRow(FILE* f, int q, char** labels) {
    for (int v = 0; v < q; v++) fprintf(f, "\t%s", labels[v]);
}

// The two sums-of-squares frames of the linear-model report.
void SumsOfSquaresFrame(FILE* f, const char* heading, char** labels, int q) {
    fprintf(f, "\n\n%s\t%s\n", eng ? "Source of variation   " : "Fonte de variacao     ", heading);
    fprintf(f, "%s", eng ? "                  " : "                 ");
    for (int v = 0; v < q; v++) fprintf(f, "%20s", labels[v]);
    fprintf(f, "\n%.78s\n", line);
}

void LinearModelResults(FILE* f, int p, int q, Session* s1, Session* s2, const double* b0, double** B,
                        const double* r2, const double* SST, int nPerm, double** count, double** Bobs,
                        const double* r2obs) {
    fprintf(f,
            eng ? "\nRegression coefficients for %d factors (rows) and %d response variables (columns):\n"
                : "\nCoeficientes de regressao para %d fatores (linhas) e %d variaveis resposta (colunas):\n",
            p, q);
    PrintLabelsRow(f, q, s1->varLabels);
    fprintf(f, "\nbo:");
    for (int v = 0; v < q; v++) fprintf(f, "\t%g", NoNegativeZero(b0[v]));
    for (int k = 0; k < p; k++) {
        fprintf(f, "\n%s b%d:", s2->varLabels[k], k + 1);
        for (int v = 0; v < q; v++) fprintf(f, "\t%g", NoNegativeZero(B[k][v]));
    }
    fprintf(f,
            eng ? "\n\nCorresponding probabilities for %d factors (rows) and %d response variables (columns):\n"
                : "\n\nProbabilidades correspondentes para %d fatores (linhas) e %d variaveis resposta (colunas):\n",
            p, q);
    PrintLabelsRow(f, q, s1->varLabels);
    for (int k = 0; k < p; k++) {
        fprintf(f, "\n%s b%d:", s2->varLabels[k], k + 1);
        for (int v = 0; v < q; v++) PrintProbability(f, count[k][v], nPerm, Bobs[k][v], false);
    }
    fprintf(f,
            eng ? "\n\nCoefficients of determination (r squared) for %d response variables:"
                : "\n\nCoeficientes de determinacao (r quadrado) para %d variaveis resposta:",
            q);
    for (int v = 0; v < q; v++) fprintf(f, "\t%g", NoNegativeZero(r2[v]));
    fprintf(f,
            eng ? "\nCorresponding probabilities of r squared for %d response variaveis:"
                : "\nProbabilidades correspondentes de r quadrado para %d variaveis resposta:",
            q);
    for (int v = 0; v < q; v++) PrintProbability(f, count[p][v], nPerm, r2obs[v], false);

    SumsOfSquaresFrame(f, eng ? "Sum of squares(Q) for each response variable"
                              : "Soma de quadrados(Q) para cada variavel resposta",
                       s1->varLabels, q);
    fprintf(f, "%s", eng ? "Regression        " : "Regressao         ");
    for (int v = 0; v < q; v++) fprintf(f, "\t%20.*g", sDigits, NoNegativeZero(r2[v] * SST[v]));
    fprintf(f, "%s", eng ? "\nResidual          " : "\nResiduo           ");
    for (int v = 0; v < q; v++) fprintf(f, "\t%20.*g", sDigits, NoNegativeZero((1 - r2[v]) * SST[v]));
    fprintf(f, "%s", "\nTotal             ");
    for (int v = 0; v < q; v++) fprintf(f, "\t%20.*g", sDigits, NoNegativeZero(SST[v]));
    fprintf(f, "\n%.78s\n", line);
    SumsOfSquaresFrame(f, eng ? "P(QbNULL>=Qb) for each response variable"
                              : "P(QbNULL>=Qb) para cada variavel resposta",
                       s1->varLabels, q);
    fprintf(f, "%s", eng ? "Regression        " : "Regressao         ");
    for (int v = 0; v < q; v++) PrintProbability(f, count[p][v], nPerm, r2obs[v], true);
    fprintf(f, "\n%.78s\n", line);
}

}  // namespace

void AleatorizacaoModLin(Session* s1, Session* s2, bool full) {
    if (!LinearModelSessionsUsable(s1, s2)) return;
    const int n = s1->nObj, q = s1->nVar, p = s2->nVar;
    // Coefficients observed, random and counted (p x q), fitted and random
    // responses (n x q), and the factors' fits (n x p, p x p).
    const double dq = q, dp = p;
    if (!WorkFits(eng == 1, n, [=](double m) { return 8 * (4 * dp * dq + 3 * m * dq + m * dp + dp * dp); },
                  "the linear models", "os modelos lineares", "sampling units", "unidades amostrais"))
        return;
    // The restriction dialogue fills nObj groups of the current data set; the
    // lists read n.
    // (Vectors, so that an input that ends inside the dialogue leaks nothing.)
    const int groupsSize = nObj > n ? nObj : n;
    std::vector<int> nestGroupsVector(groupsSize), bundleGroupsVector(groupsSize);
    int* nestGroups = nestGroupsVector.data();
    int* bundleGroups = bundleGroupsVector.data();

    AleatorizacaoMain();
    const int N = AskNumberOfPermutations();
    int option = 0, dimension = 0;
    bool nested = false, permuteBundles = false;
    // A group file that cannot be read whole is asked again.
    SetPermutationRestrictions(&option, &dimension, &nested, nestGroups, &permuteBundles, bundleGroups, true);
    const bool save = AskSaveEachPermutation(N);

    const double start = difftime_Clock_Init();
    FILE* report = RestrictionsFit(n, option, dimension, nested, nestGroups, permuteBundles, bundleGroups)
                       ? fopenck("Vidive.txt", nullptr, modeVidive)
                       : nullptr;
    if (!report) return;
    timer = time(nullptr);
    double** B = dim2DT<double>(p, q);
    double** Brnd = dim2DT<double>(p, q);
    double** Bobs = dim2DT<double>(p, q);
    double** fitted = dim2DT<double>(n, q);
    double** randomY = dim2DT<double>(n, q);
    double** count = dim2DT<double>(p + 1, q);
    double* b0 = dim1DT<double>(q);
    double* b0rnd = dim1DT<double>(q);
    double* r2 = dim1DT<double>(q);
    double* r2rnd = dim1DT<double>(q);
    double* r2obs = dim1DT<double>(q);
    double* SST = dim1DT<double>(q);
    int* list = dim1DT<int>(n);

    // Whether the model can be fitted is known before anything is written,
    // so that a refusal stands alone under the block's title and status.
    const int fittedOk = regression(n, q, p, s1->data, s2->data, B, b0, fitted, r2, SST, false, nullptr, port, false);
    FixedFactorFits* fits = fittedOk ? new FixedFactorFits(n, q, p, s1->data, s2->data) : nullptr;
    const char* title = eng ? "LINEAR MODELS: RANDOMIZATION TEST" : "MODELOS LINEARES: TESTE DE ALEATORIZACAO";
    if (!fits || !fits->Fitted()) {
        PrintFinalBlockHead(report, title, false, timer, difftime_Clock(start), N);
        ModelCannotBeFitted(report);
    } else {
        if (save) {
            fprintf(report, "\n%s\n", line);
            fprintf(report, "%s",
                    eng ? "RANDOMIZATION TEST: Data and results of each permutation\n"
                        : "TESTE DE ALEATORIZACAO: Dados e resultados de cada permutacao\n");
            fprintf(report, "%s\n", line);
            fprintf(report, "%s\n", ctime(&timer));
            ShowStatus(report);
            PrintNumberOfPermutations(report, N);
            fprintf(report, "%s",
                    eng ? "Test criteria: regression coefficients (b) and coefficient of determination (r squared)\n"
                        : "Criterios do teste: coeficientes de regressao (b) e coeficiente de determinacao (r "
                          "quadrado)\n");
            fprintf(report, "\n%s\n", line);
            fprintf(report, "%s", eng ? "Permutation 1:\n" : "Permutacao 1:\n");
        }
        regression(n, q, p, s1->data, s2->data, B, b0, fitted, r2, SST, true, report, port, full);
        // The observed statistics that random ones are counted against come
        // from the same computation as theirs.
        fits->Regression(nullptr, Bobs, r2obs);
        for (int k = 0; k <= p; k++)
            for (int v = 0; v < q; v++) count[k][v] = 1.0;
        for (int k = 2; k <= N; k++) {
            ShowPermutationProgress(N, k);
            DrawList(n, option, dimension, nested, nestGroups, permuteBundles, bundleGroups, list);
            if (save) {
                fprintf(report, "\n%s\n", line);
                fprintf(report, "%s: %d\n", iteraStr, k);
                fprintf(report, "%s",
                        eng ? "Random data and corresponding results:\n"
                            : "Dados aleatorizados e resultados correspondentes:\n");
                PermutedRows(n, q, s1->data, list, randomY);
                regression(n, q, p, randomY, s2->data, Brnd, b0rnd, fitted, r2rnd, true, report, port);
            }
            fits->Regression(list, Brnd, r2rnd);
            for (int f = 0; f < p; f++)
                for (int v = 0; v < q; v++) Count(Brnd[f][v], Bobs[f][v], count[f][v]);
            for (int v = 0; v < q; v++) Count(r2rnd[v], r2obs[v], count[p][v]);
        }

        PrintFinalBlockHead(report, title, save, timer, difftime_Clock(start), N);
        fprintf(report, "%s",
                eng ? "Test criteria: regression coefficients and coefficient of determination (r squared)\n"
                    : "Criterios do teste: coeficientes de regressao e coeficiente de determinacao (r quadrado)\n");
        PrintPermutationRestrictions(report, option, dimension, nested, nestGroups, permuteBundles, bundleGroups);
        fprintf(report, "%s", eng ? "\n\nResults:" : "\n\nResultados:\n");
        LinearModelResults(report, p, q, s1, s2, b0, B, r2, SST, N, count, Bobs, r2obs);
    }
    delete fits;
    const bool written = fcloseck(report, "Vidive.txt");
    ClearLine();
    if (written)
        fprintf(out, "%s", eng ? "\n\nSee results on file Vidive.txt.\n" : "\n\nVeja resultados no arquivo Vidive.txt.\n");

    free1D(list);
    free1D(SST);
    free1D(r2obs);
    free1D(r2rnd);
    free1D(r2);
    free1D(b0rnd);
    free1D(b0);
    free2DT(count, p + 1);
    free2DT(randomY, n);
    free2DT(fitted, n);
    free2DT(Bobs, p);
    free2DT(Brnd, p);
    free2DT(B, p);
}

namespace {

void PrintRow(FILE* f, int n, const double* x) {
    for (int i = 0; i < n; i++) fprintf(f, "%g\t", NoNegativeZero(x[i]));
    fprintf(f, "\n");
}

// The printout of one redundancy analysis over its first nAxes axes.
void RDAPrintout(FILE* f, int n, int q, int p, int nAxes, const double* eig, double total, double** evec,
                 double** scoresX, double** scoresY, double** corrX, char** factorLabels) {
    fprintf(f, "%s",
            eng ? "\nCanonical eigenvalues (space defined by explanatory variables x): \n"
                : "\nAutovalores canonicos (espaco definido pelas variaveis explanatorias x): \n");
    PrintRow(f, nAxes, eig);
    fprintf(f, "%s",
            eng ? "\nProportion of total variation in response variable y explained by canonical axes:\n"
                : "\nProporcao da variacao total nas variaveis resposta y explicada pelos eixos canonicos:\n");
    for (int k = 0; k < nAxes; k++) fprintf(f, "%g\t", NoNegativeZero(eig[k] / total));
    fprintf(f, "\n");
    fprintf(f, "%s",
            eng ? "\nEigenvectors (space defined by explanatory variables x): \n"
                : "\nAutovetores (espaco definido pelas variaveis explanatorias x): \n");
    for (int v = 0; v < q; v++) PrintRow(f, nAxes, evec[v]);
    fprintf(f, "%s",
            eng ? "\nScores of sampling units (space defined by explanatory variables X): \n"
                : "\nEscores das unidades amostrais (espaco definido pelas variaveis explanatorias X): \n");
    for (int k = 0; k < nAxes; k++) {
        fprintf(f, eng ? "Canonical axis\t%d:\t" : "Eixo canonico\t%d:\t", k + 1);
        PrintRow(f, n, scoresX[k]);
    }
    fprintf(f, "%s",
            eng ? "\nScores of sampling units (space defined by response variables Y): \n"
                : "\nEscores das unidades amostrais (espaco definido pelas variaveis resposta Y): \n");
    for (int k = 0; k < nAxes; k++) {
        fprintf(f, eng ? "Canonical axis\t%d:\t" : "Eixo canonico\t%d:\t", k + 1);
        PrintRow(f, n, scoresY[k]);
    }
    fprintf(f, "%s",
            eng ? "\nCorrelations between explanatory variables in X and canonical axes \n"
                : "\nCorrelacoes entre variaveis explanatorias em X e eixos canonicos \n");
    fprintf(f, "%s", eng ? "Explanatory variables:\t\t" : "Variaveis explanatorias:\t\t");
    for (int j = 0; j < p; j++) fprintf(f, "%s\t", factorLabels[j]);
    fprintf(f, "\n");
    for (int k = 0; k < nAxes; k++) {
        fprintf(f, eng ? "Canonical axis\t%d\t" : "Eixo canonico\t%d\t", k + 1);
        PrintRow(f, p, corrX[k]);
    }
}

}  // namespace

void AleatorizacaoRDA(Session* s1, Session* s2) {
    if (!LinearModelSessionsUsable(s1, s2)) return;
    const int n = s1->nObj, q = s1->nVar, p = s2->nVar;
    // The responses' eigenvectors and cross-products (q x q), the factors'
    // (p x p), the scores and the random and fitted responses (n x q).
    const double dq = q, dp = p;
    if (!WorkFits(eng == 1, n, [=](double m) { return 8 * (2 * dq * dq + 2 * dp * dp + 3 * m * dq + 3 * m * dp); },
                  "the redundancy analysis", "a analise de redundancia", "sampling units", "unidades amostrais"))
        return;

    AleatorizacaoMain();
    const int N = AskNumberOfPermutations();
    const bool save = AskSaveEachPermutation(N);

    // At most min(p, q, n - 1) axes exist.
    int m = p < q ? p : q;
    if (m >= n) m = n - 1;
    const int rows = m > 0 ? m : 1;
    double* eig = dim1DT<double>(q + 1);
    double** evec = dim2DT<double>(q, q);
    double** scoresX = dim2DT<double>(rows, n);
    double** scoresY = dim2DT<double>(rows, n);
    double** corrX = dim2DT<double>(rows, p);
    double* corr = dim1DT<double>(rows);
    double* corrObs = dim1DT<double>(rows);
    double* corrRnd = dim1DT<double>(rows);
    double* count = dim1DT<double>(rows);
    double** randomY = dim2DT<double>(n, q);
    int* list = dim1DT<int>(n);
    auto release = [&]() {
        free1D(list);
        free2DT(randomY, n);
        free1D(count);
        free1D(corrRnd);
        free1D(corrObs);
        free1D(corr);
        free2DT(corrX, rows);
        free2DT(scoresY, rows);
        free2DT(scoresX, rows);
        free2DT(evec, q);
        free1D(eig);
    };

    const double start = difftime_Clock_Init();
    int nAxes = 0;
    double total = 0.0;
    const int fittedOk = RDA(n, q, p, s1->data, s2->data, eig, evec, &nAxes, &total, scoresX, scoresY, corr, corrX);

    FILE* report = fopenck("Vidive.txt", nullptr, modeVidive);
    if (!report) {
        release();
        return;
    }
    fprintf(report, "\n%s\n", line);
    fprintf(report, "%s", eng ? "REDUNDANCY ANALYSIS (RDA) " : "ANALISE DE REDUNDANCIA (RDA) ");
    fprintf(report, "\n%s\n", line);
    fprintf(report, "(Lavonne & Lavonne 1998, p.579-594)\n");
    ShowStatus(report);
    fprintf(report,
            eng ? "\nData matrix with response variables (Y):\t%s\n"
                : "\nMatriz de dados com variaveis resposta (Y):\t%s\n",
            s1->filename);
    fprintf(report,
            eng ? "Data matrix with explanatory variables (X):\t%s\n"
                : "Matriz de dados com variaveis explanatorias (X):\t%s\n",
            s2->filename);
    FixedFactorFits* fits = fittedOk ? new FixedFactorFits(n, q, p, s1->data, s2->data) : nullptr;
    if (!fits || !fits->Fitted()) {
        ModelCannotBeFitted(report);
        delete fits;
        fcloseck(report, "Vidive.txt");
        release();
        return;
    }
    if (save) fprintf(report, "%s", eng ? "First iteration (with observed data)" : "Primeira iteracao (com dados observados)");
    RDAPrintout(report, n, q, p, nAxes, eig, total, evec, scoresX, scoresY, corrX, s2->varLabels);
    if (save) {
        fprintf(report, "\n%s\n", line);
        fprintf(report, "%s",
                eng ? "RANDOMIZATION TEST: Data and results of each permutation\n"
                    : "TESTE DE ALEATORIZACAO: Dados e resultados de cada permutacao\n");
        fprintf(report, "%s\n", line);
        PrintNumberOfPermutations(report, N);
        fprintf(report, "%s",
                eng ? "Test criterion: Correlation between scores on the space defined by the response (Y) and "
                      "explanatory (X) variables."
                    : "Criterio do teste: Correlacao entre escores no espaco definido pelas variaveis resposta (Y) e "
                      "explanatorias (X).");
        fprintf(report, "\n%s\n", line);
        if (!eng) fprintf(report, "Permutacao 1:\n");
        fprintf(report, "%s",
                eng ? "Observed response matrix Y, whose corresponding results are shown above:\n"
                    : "Matriz de respostas Y observada, cujos resultados correspondentes estao acima:\n");
        PrintMatrix(report, n, q, s1->data, sDigits, 0);
    }

    // The axes tested are those the observed fit has.
    const int tested = nAxes < m ? nAxes : m;
    fits->AxisCorrelations(nullptr, tested, corrObs);
    for (int a = 0; a < tested; a++) count[a] = 1.0;
    for (int k = 2; k <= N; k++) {
        ShowPermutationProgress(N, k);
        RndList(n, list);
        fits->AxisCorrelations(list, tested, corrRnd);
        for (int a = 0; a < tested; a++) Count(corrRnd[a], corrObs[a], count[a]);
        if (save) {
            // The full analysis of the permuted table, for its printout.
            PermutedRows(n, q, s1->data, list, randomY);
            for (int a = 0; a < rows; a++) {
                std::memset(scoresX[a], 0, sizeof(double) * n);
                std::memset(scoresY[a], 0, sizeof(double) * n);
                std::memset(corrX[a], 0, sizeof(double) * p);
            }
            int randomAxes = 0;
            double randomTotal = 0.0;
            std::vector<double> randomCorr(rows);
            RDA(n, q, p, randomY, s2->data, eig, evec, &randomAxes, &randomTotal, scoresX, scoresY,
                randomCorr.data(), corrX);
            fprintf(report, eng ? "\n\nRandom permutation: %d %d" : "\n\nPermutacao aleatoria: %d %d", N, k);
            fprintf(report, "\n%s\n", line);
            fprintf(report, "%s",
                    eng ? "Random data (response matrix Y) and corresponding results:\n"
                        : "Dados aleatorizados (matriz de respostas Y) e resultados correspondentes:\n");
            PrintMatrix(report, n, q, randomY, sDigits, 0);
            RDAPrintout(report, n, q, p, nAxes, eig, randomTotal, evec, scoresX, scoresY, corrX, s2->varLabels);
            fprintf(report, "%s",
                    eng ? "\nCorrelations between scores on the space defined by the permuted response (Y) and "
                          "explanatory (X) variables:\n"
                        : "\nCorrelacoes entre escores no espaco definido pelas variaveis resposta (Y) permutadas e "
                          "explanatorias (X):\n");
            for (int a = 0; a < tested; a++) {
                fprintf(report, eng ? "Canonical axis %d:\t" : "Eixo canonico %d:\t", a + 1);
                fprintf(report, "%g\t%g\n", NoNegativeZero(corrRnd[a]), count[a]);
            }
        }
    }
    ClearLine();
    fprintf(report,
            eng ? "\nCorrelations between scores on the space defined by the response (Y) and explanatory (X) "
                  "variables, with corresponding P-values generated by permutation (%d random permutations of unit "
                  "vectors in matrix Y):\n"
                : "\nCorrelacoes entre escores no espaco definido pelas variaveis resposta (Y) e explanatorias (X), "
                  "com as probabilidades correspondentes geradas por permutacao (%d permutacoes aleatorias dos "
                  "vetores das unidades na matriz Y):\n",
            N);
    for (int a = 0; a < tested; a++) {
        fprintf(report, eng ? "Canonical axis %d:\t" : "Eixo canonico %d:\t", a + 1);
        const double P = PermutationP(count[a], N, std::isfinite(corr[a]) ? corrObs[a] : corr[a]);
        fprintf(report, "%g\t%s\n", NoNegativeZero(corr[a]), ProbabilityText(P, 6).c_str());
    }
    PrintElapsedTime(report, difftime_Clock(start));
    PrintSeed(report);
    delete fits;
    fcloseck(report, "Vidive.txt");
    release();
}
