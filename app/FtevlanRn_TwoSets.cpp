// ===========================================================================
// Tests between two data sets
// ===========================================================================

#include "FtevlanRn.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <initializer_list>
#include <vector>

#include "FtevlanGlob.h"
#include "TevlanClasses.h"
#include "iflibG.h"
#include "rhlibOut.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"

namespace {

// One test between data sets: its statistic, whether it compares resemblance
// matrices (the first set's rows and columns permuted together) or data
// tables (the first set's rows permuted), and its texts, English first.
struct TwoSetTest {
    PermutedComparison::Statistic statistic;
    bool onMatrices;
    const char* dumpTitle[2];
    const char* finalTitle[2];
    const char* dumpCriterion[2];  // with the sets' file names
    const char* finalCriterion[2];
    const char* result[2];       // label of the observed value
    const char* probability[2];  // label of its probability
};

const char* const kProbabilityRo[2] = {"Probability P(|ro random| >= |ro observed|):",
                                       "Probabilidade P(|ro aleatorio| >= |ro observado|):"};

const TwoSetTest kMantelTest = {
    PermutedComparison::kMantel,
    true,
    {"MANTEL TEST: Data and results of each permutation\n", "TESTE DE MANTEL: Dados e resultados de cada permutacao\n"},
    {"MANTEL TEST", "TESTE DE MANTEL"},
    {"Test criterion: matrix correlation  (Pearson between resemblances defined with data sets %s and %s).\n",
     "Criterio do teste: correlacao matricial (Pearson entre as semelhancas definidas com os dados %s e com os dados "
     "%s).\n"},
    {"Test criterion: Matrix correlation  (Pearson between resemblances defined with data sets %s and %s).\n",
     "Criterio do teste: correlacao matricial (Pearson entre as semelhancas definidas com os dados %s e com os dados "
     "%s).\n"},
    {"Matrix correlation:", "Correlacao matricial:"},
    {kProbabilityRo[0], kProbabilityRo[1]}};

const TwoSetTest kPartialMantelTest = {
    PermutedComparison::kPartialMantel,
    true,
    {"PARTIAL MANTEL TEST: Data and results of each permutation\n",
     "TESTE DE MANTEL PARCIAL: Dados e resultados de cada permutacao\n"},
    {"PARTIAL MANTEL TEST", "TESTE DE MANTEL PARCIAL"},
    {"Test criterion: partial matrix correlation  (Pearson between resemblances defined with data sets %s and %s, "
     "removing effect of resemblances with %s).\n",
     "Criterio do teste: correlacao matricial parcial (Pearson entre as semelhancas definidas com os dados %s e com "
     "os dados %s, removendo o efeito das semelhancas com os dados %s).\n"},
    {"Test criterion: Partial matrix correlation  (Pearson between resemblances defined with data sets %s and %s, "
     "controling for resemblances with %s).\n",
     "Criterio do teste: correlacao matricial parcial (Pearson entre as semelhancas definidas com os dados %s e com "
     "os dados %s, controlando as semelhancas com os dados %s).\n"},
    {"Partial matrix correlation:", "Correlacao matricial parcial:"},
    {kProbabilityRo[0], kProbabilityRo[1]}};

const TwoSetTest kProcrustesTest = {
    PermutedComparison::kProcrustes,
    false,
    {"PROCRUSTES: Data and results of each permutation\n", "PROCRUSTES: Dados e resultados de cada permutacao\n"},
    {"PROCRUSTES TEST", "TESTE DE PROCRUSTES"},
    {"Test criterion: Procrustes correlation defined with data sets %s and %s).\n",
     "Criterio do teste: correlacao de Procrustes definida com os dados %s e %s).\n"},
    {"Test criterion: Procrustes correlation defined with data sets %s and %s).\n",
     "Criterio do teste: correlacao de Procrustes definida com os dados %s e %s).\n"},
    {"Procrustes correlation (r):", "Correlacao de Procrustes (r):"},
    {"Probability P(|r random| >= |r observed|):", "Probabilidade P(|r aleatorio| >= |r observado|):"}};

const TwoSetTest kRVTest = {
    PermutedComparison::kRV,
    false,
    {"RV Coefficient: Data and results of each permutation\n",
     "Coeficiente RV: Dados e resultados de cada permutacao\n"},
    {"RV Coefficient TEST", "TESTE do Coeficiente RV"},
    {"Test criterion: RV coefficient defined with data sets %s and %s).\n",
     "Criterio do teste: coeficiente RV definido com os dados %s e %s).\n"},
    {"Test criterion: RV coefficient defined with data sets %s and %s).\n",
     "Criterio do teste: coeficiente RV definido com os dados %s e %s).\n"},
    {"RV coefficient:", "Coeficiente RV:"},
    {"Probability P(|RV random| >= |RV observed|):", "Probabilidade P(|RV aleatorio| >= |RV observado|):"}};

const TwoSetTest kRdTest = {
    PermutedComparison::kRd,
    true,
    {"Rd Coefficient: Data and results of each permutation\n",
     "Coeficiente Rd: Dados e resultados de cada permutacao\n"},
    {"Rd Coefficient TEST", "TESTE do Coeficiente Rd"},
    {"Test criterion: Rd coefficient defined with data sets %s and %s).\n",
     "Criterio do teste: coeficiente Rd definido com os dados %s e %s).\n"},
    {"Test criterion: Rd coefficient defined with data sets %s and %s).\n",
     "Criterio do teste: coeficiente Rd definido com os dados %s e %s).\n"},
    {"Rd coefficient:", "Coeficiente Rd:"},
    {"Probability P(|Rd random| >= |Rd observed|):", "Probabilidade P(|Rd aleatorio| >= |Rd observado|):"}};

// The sets describe the same units and hold what the test compares: a
// resemblance matrix between their sampling units, or a data table (which
// SetsOfTheSameUnits asks of every set).
bool SetsForTest(const TwoSetTest& t, std::initializer_list<const Session*> sets) {
    if (!SetsOfTheSameUnits(sets)) return false;
    if (t.onMatrices)
        for (const Session* s : sets)
            if (!s->rese || !s->temRese || s->optReseDir != 1 || s->nRows != s->nObj) {
                fprintf(out,
                        eng ? "\nThe data set %s has no resemblance matrix between its sampling units.\n"
                            : "\nO conjunto de dados %s nao tem matriz de semelhanca entre suas unidades amostrais.\n",
                        s->filename);
                return false;
            }
    return true;
}

void TestBetweenSets(const TwoSetTest& t, Session* s1, Session* s2, Session* s3) {
    const bool partial = t.statistic == PermutedComparison::kPartialMantel;
    if (!(partial ? SetsForTest(t, {s1, s2, s3}) : SetsForTest(t, {s1, s2}))) return;
    const int L = eng ? 0 : 1;
    const int n = s1->nObj;
    const char* third = partial ? s3->filename : "";
    // The matrices compared in permuted order and their packed triangles;
    // the tables in permuted order with their cross-products and rotations.
    const double most = std::max(s1->nVar, s2->nVar), columns = s1->nVar + s2->nVar;
    auto bytes = [&](double m) {
        return t.onMatrices ? 4 * SquareBytes(m) : 3 * SquareBytes(m) + 16 * m * columns + 3 * SquareBytes(most);
    };
    if (!WorkFits(eng == 1, n, bytes, "the test", "o teste", "sampling units", "unidades amostrais")) return;

    AleatorizacaoMain();
    const int N = AskNumberOfPermutations();
    const bool save = AskSaveEachPermutation(N);

    const double start = difftime_Clock_Init();
    timer = time(nullptr);
    FILE* report = fopenck("Vidive.txt", nullptr, modeVidive);
    if (!report) return;
    if (save) {
        fprintf(report, "\n%s\n", line);
        fprintf(report, "%s", t.dumpTitle[L]);
        fprintf(report, "%s\n", line);
        fprintf(report, "%s\n", ctime(&timer));
        PrintNumberOfPermutations(report, N);
        fprintf(report, t.dumpCriterion[L], s1->filename, s2->filename, third);
        fprintf(report, "\n%s\n", line);
        fprintf(report, "%s", eng ? "Permutation 1:\n" : "Permutacao 1:\n");
    }

    // The Mantel tests read the first matrix in both triangles once
    // permuted, and make it symmetric from its upper triangle, the one their
    // statistic reads.
    if (t.onMatrices && t.statistic != PermutedComparison::kRd)
        for (int i = 0; i < n; i++)
            for (int j = i + 1; j < n; j++) s1->rese[j][i] = s1->rese[i][j];
    PermutedComparison statistic = t.onMatrices
                                       ? PermutedComparison(t.statistic, n, s1->rese, s2->rese,
                                                            partial ? s3->rese : nullptr, false)
                                       : PermutedComparison(t.statistic, n, s1->nVar, s2->nVar, s1->data, s2->data);
    const double observed = statistic(nullptr);
    double count = 1.0;
    if (std::isfinite(observed)) {
        // Lists are drawn one per permutation, in order, and evaluated a
        // block at a time.
        const int block = PermutedComparison::kBlock;
        std::vector<int> lists(static_cast<size_t>(block) * n);
        double values[PermutedComparison::kBlock];
        for (int first = 2; first <= N; first += block) {
            const int m = std::min(block, N - first + 1);
            for (int b = 0; b < m; b++) {
                ShowPermutationProgress(N, first + b);
                RndList(n, lists.data() + static_cast<size_t>(b) * n);
            }
            statistic.Evaluate(m, lists.data(), values);
            for (int b = 0; b < m; b++) {
                if (save) {
                    fprintf(report, "\n%s\n", line);
                    fprintf(report, "%s: %d\n", iteraStr, first + b);
                    fprintf(report, "%s",
                            eng ? "Random data and corresponding results:\n"
                                : "Dados aleatorizados e resultados correspondentes:\n");
                }
                if (CountsTowardP(values[b], observed, TieRule::LargerAbsolute)) count += 1.0;
            }
        }
    }

    PrintFinalBlockHead(report, t.finalTitle[L], save, timer, difftime_Clock(start), N);
    fprintf(report, t.finalCriterion[L], s1->filename, s2->filename, third);
    fprintf(report, "%s", eng ? "Results:\n" : "Resultados:\n");
    char value[64];
    snprintf(value, sizeof value, "%g", NoNegativeZero(observed));
    fprintf(report, "%s\t%s\n", t.result[L], std::isfinite(observed) ? value : (eng ? "undefined" : "indefinido"));
    fprintf(report, "%s\t%s\n", t.probability[L], ProbabilityText(PermutationP(count, N, observed), 6).c_str());
    const bool written = fcloseck(report, "Vidive.txt");
    ClearLine();
    if (written)
        fprintf(out, "%s", eng ? "\n\nSee results on file Vidive.txt.\n" : "\n\nVeja resultados no arquivo Vidive.txt.\n");
}

}  // namespace

void AleatorizacaoMantel(Session* s1, Session* s2) { TestBetweenSets(kMantelTest, s1, s2, nullptr); }

void AleatorizacaoPartialMantel(Session* s1, Session* s2, Session* s3) {
    TestBetweenSets(kPartialMantelTest, s1, s2, s3);
}

void AleatorizacaoProcrustes(Session* s1, Session* s2) { TestBetweenSets(kProcrustesTest, s1, s2, nullptr); }

void AleatorizacaoRV(Session* s1, Session* s2) { TestBetweenSets(kRVTest, s1, s2, nullptr); }

void AleatorizacaoRd(Session* s1, Session* s2) { TestBetweenSets(kRdTest, s1, s2, nullptr); }
