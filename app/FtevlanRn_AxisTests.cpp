// ===========================================================================
// Tests of ordination axes
// ===========================================================================

#include "FtevlanRn.h"

#include <cmath>
#include <ctime>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "FtevlanRn_internal.h"
#include "iflibG.h"
#include "rhlibOut.h"
#include "rhlib_M.h"

using namespace rn_detail;

namespace {

bool CurrentOrdination(int type) {
    return temRese == 1 && temEscore == 1 && optOrdiType == type && rank >= 1 && eig && rese;
}
// The RVDIM test reads unit scores and variable weights, which only
// principal components of variables give.
bool RvdimTestApplies() { return CurrentOrdination(2) && optReseDir == 2; }
bool MalinvaudTestApplies() { return CurrentOrdination(3); }

void NotApplicable() {
    fprintf(out, "%s",
            eng ? "\n\nNot applicable to the chosen ordination method.\n"
                : "\n\nNao aplicavel ao metodo de ordenacao escolhido.\n");
}

// Each count of the table becomes one observation of the expansion: the
// cells must be whole counts (a missing value is none), and their total a
// number of observations a permutation list can hold (*total, once checked).
bool WholeCounts(double* total) {
    *total = 0.0;
    for (int i = 0; i < nObj; i++)
        for (int j = 0; j < nVar; j++) {
            const double x = dataOrig[i][j];
            if (!(x >= 0.0) || !std::isfinite(x) || x != std::floor(x)) {
                char text[256];
                snprintf(text, sizeof text,
                         eng ? "\nThe Malinvaud test needs a contingency table of whole counts (0, 1, 2, ...): unit "
                               "%d, variable %d holds %.15g.\n"
                             : "\nO teste de Malinvaud necessita uma tabela de contingencia de contagens inteiras (0, "
                               "1, 2, ...): a unidade %d, variavel %d contem %.15g.\n",
                         i + 1, j + 1, x);
                RefusalMessage(text);
                return false;
            }
            *total += x;
        }
    if (*total < 1.0 || *total > 2147483647.0) {
        char text[256];
        snprintf(text, sizeof text,
                 eng ? "\nThe Malinvaud test needs a contingency table of whole counts whose total lies from 1 to "
                       "2147483647; this table's total is %.0f.\n"
                     : "\nO teste de Malinvaud necessita uma tabela de contingencia de contagens inteiras com total "
                       "de 1 a 2147483647; o total desta tabela e %.0f.\n",
                 *total);
        RefusalMessage(text);
        return false;
    }
    return true;
}

// One run of an axis test: the prologue, the number of permutations and
// the save question. With every permutation saved, the report is opened in
// the current mode before the dump goes in (in erase mode that empties it),
// so that the dump stays ahead of the final block, which is then appended;
// a report that cannot be opened skips the dump.
struct AxisTestRun {
    int nPerm = 0;
    bool dump = false;
    const char* finalMode = modeVidive;
    double start = 0.0;
    // The dump's blocks are closed by the test routines themselves.
    const long failedBefore = FailedWrites();

    AxisTestRun() {
        AleatorizacaoMain();
        nPerm = AskNumberOfPermutations();
        if (AskSaveEachPermutation(nPerm)) {
            FILE* f = fopenck("Vidive.txt", nullptr, modeVidive);
            if (f) {
                fcloseck(f, "Vidive.txt");
                dump = true;
                finalMode = "a";
            }
        }
        start = difftime_Clock_Init();
    }

    // The final block: the statistic of each of the K axes and its P; "See
    // results" only when it and every block of the dump were written. A test
    // whose random tables were transformed anew says how, where a continued
    // session left it open.
    void Report(const char* english, const char* portuguese, int K, const double* statistic, const double* P,
                bool transformedAnew) const {
        const double seconds = difftime_Clock(start);
        FILE* f = fopenck("Vidive.txt", nullptr, finalMode);
        ClearLine();
        if (!f) return;
        PrintFinalBlockHead(f, eng ? "RANDOMIZATION TEST" : "TESTE DE ALEATORIZACAO", dump, time(nullptr), seconds,
                            nPerm);
        if (transformedAnew) PrintTransformationDoubts(f);
        fprintf(f, "%s", eng ? english : portuguese);
        if (!eng) fprintf(f, "Resultados:\n");
        PrintVectorTab(f, K, statistic, sDigits);
        for (int k = 0; k < K; k++) fprintf(f, "%s\t", ProbabilityText(P[k], sDigits).c_str());
        fprintf(f, "\n");
        if (!fcloseck(f, "Vidive.txt") || FailedWrites() != failedBefore) return;
        fprintf(out, "%s", eng ? "\n\nSee results on file Vidive.txt.\n" : "\n\nVeja resultados no arquivo Vidive.txt.\n");
    }
};

// The opening of the Malinvaud dump: the table, its expansion (one line per
// count: row and column, from 1) and the observed statistics.
void MalinvaudDumpOpening(FILE* f, int nPerm, int T, const int* rowOf, const int* colOf, const double* X2) {
    fprintf(f, "\n%s\n", line);
    fprintf(f, "%s",
            eng ? "RANDOMIZATION TEST: Data and results of each permutation\n"
                : "TESTE DE ALEATORIZACAO: Dados e resultados de cada permutacao\n");
    fprintf(f, "%s\n", line);
    const time_t now = time(nullptr);
    fprintf(f, "%s", ctime(&now));
    PrintNumberOfPermutations(f, nPerm);
    fprintf(f, "%s",
            eng ? "Test criterion: The eigenvalues of Correspondence Analysis\n"
                : "Criterio do teste: Os autovalores da Analise de Correspondencia\n");
    fprintf(f, "\n%s\n", line);
    fprintf(f, "%s", eng ? "Permutation 1:\n" : "Permutacao 1:\n");
    fprintf(f, "%s", eng ? "Observed data set:\n" : "Conjunto de dados observado:\n");
    PrintMatrixTab(f, nObj, nVar, dataOrig, sDigits);
    fprintf(f, "%s", eng ? "\nExpanded contingency table:\n" : "\nTabela de contingencia expandida:\n");
    fprintf(f,
            eng ? "\t(Rows= %g sampling units, columns= %d nominal variables)\n"
                : "\t(Linhas= %g unidades amostrais, colunas= %d variaveis nominais)\n",
            static_cast<double>(T), 2);
    for (int o = 0; o < T; o++) fprintf(f, "%d\t%d\n", rowOf[o] + 1, colOf[o] + 1);
    fprintf(f, eng ? "\nObserved eigenvalues in the data (axes 1 to %d):\t"
                   : "\nAutovalores observados nos dados (eixos 1 a %d):\t",
            rank);
    for (int k = 0; k < rank; k++) fprintf(f, "%g\t", NoNegativeZero(eig[k]));
    fprintf(f, eng ? "\nSum of observed partial chi-squares (from ith to dimension %d): "
                   : "\nSoma dos qui-quadrados parciais observados (do i-esimo a dimensao %d): ",
            rank);
    for (int k = 0; k < rank; k++) fprintf(f, "%g\t", NoNegativeZero(X2[k]));
    fprintf(f, "\n");
}

void MalinvaudDumpTable(FILE* f, int k, int T, const int* rowOf, const int* colOf, const int* list, double** table,
                        const OrdinationWork& random, const double* X2rnd) {
    fprintf(f, "\n%s\n", line);
    fprintf(f, "%s: %d\n", iteraStr, k);
    fprintf(f, "%s", eng ? "Random data:\n" : "Dados aleatorizados:\n");
    fprintf(f, "%s", eng ? "\nPermuted expanded data:\n" : "\nDados expandidos permutados:\n");
    for (int o = 0; o < T; o++) fprintf(f, "%d\t%d\n", rowOf[list[o] - 1] + 1, colOf[o] + 1);
    fprintf(f, "%s",
            eng ? "Contingency table based on permuted expanded data:\n"
                : "Tabela de contingencia baseada nos dados expandidos permutados:\n");
    PrintMatrixTab(f, nObj, nVar, table, sDigits);
    fprintf(f, eng ? "Eigenvalues (first %d): " : "Autovalores (primeiros %d): ", random.axes);
    for (int a = 0; a < random.axes; a++) fprintf(f, "%g ", NoNegativeZero(random.eig[a]));
    fprintf(f, eng ? "\nSum of partial chi-squares (from ith to dimension %d): "
                   : "\nSoma dos qui-quadrados parciais (do i-esimo a dimensao %d): ",
            rank);
    for (int j = 0; j < rank; j++) fprintf(f, "%g\t", NoNegativeZero(X2rnd[j]));
    fprintf(f, "\n");
}

// T times the sum of the eigenvalues after axis j + 1 among the first
// `axes`, for j < K: the chi-square left once the axes up to j + 1 are
// taken out (0 beyond the last axis).
void PartialChiSquares(int K, int axes, const double* eigenvalues, double T, double* X2) {
    for (int j = 0; j < K; j++) {
        double s = 0.0;
        for (int i = j + 1; i < axes; i++) s += eigenvalues[i];
        X2[j] = T * s;
    }
}

}  // namespace

void OrdinationTestEntries(std::string& accepted) {
    if (RvdimTestApplies()) {
        fprintf(out, "\t%s\n ",
                eng ? "(4)randomization test of ordination axes (RVDIM)"
                    : "(4)teste de aleatorizacao dos eixos de ordenacao (RVDIM)");
        accepted += "4 ";
    }
    if (MalinvaudTestApplies()) {
        fprintf(out, "\t%s\n ",
                eng ? "(5)randomization test of correspondence analysis axes (Malinvaud)"
                    : "(5)teste de aleatorizacao dos eixos da analise de correspondencia (Malinvaud)");
        accepted += "5 ";
    }
}

int AleatorizacaoOrdination() {
    if (!RvdimTestApplies()) {
        NotApplicable();
        return 0;
    }
    OrdinationWork current(nRows, nCols, 2);
    bool ok = false;
    int K = 0;
    if (OrdinationLib_D(nRows, nCols, data, rese, current.evectors, current.scores, &K, current.eig, &ok, 2,
                        optReseTipo, optReseDir) != ordinationDone ||
        K < 1) {
        NotApplicable();
        return 0;
    }
    const AxisTestRun run;
    std::vector<double> rvdim(K), P(K);
    RVDIMPermutation_D(nObj, nVar, K, run.nPerm, dataOrig, current.evectors, current.scores, current.eig, optOrdiType,
                       optTrEs, optTrVeVar, optTrVeUnits, optReseDir, optReseTipo, varType, alphaH, kParameter,
                       countDoubleAbsence != 0, rvdim.data(), P.data(), run.dump ? 'y' : 'n', sDigits);
    run.Report("RVDIM and corresponding probabilities p(RVDIM_rnd >= RVDIM_obs) (Kresh 2008)\n",
               "RVDIM e probabilidades correspondentes p(RVDIM_ale >= RVDIM_obs) (Kresh 2008)\n", K, rvdim.data(),
               P.data(), false);
    return 1;
}

void MalinvaudTest(int nPerm, bool save, double* X2, double* P) {
    const int K = rank, n = nObj, p = nVar;
    long long total = 0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) total += static_cast<long long>(dataOrig[i][j]);
    const int T = static_cast<int>(total);
    PartialChiSquares(K, K, eig, T, X2);

    // One observation per count, with the row and the column of its cell.
    std::vector<int> rowOf(T), colOf(T), list(T);
    int o = 0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++)
            for (int c = 0; c < static_cast<int>(dataOrig[i][j]); c++, o++) {
                rowOf[o] = i;
                colOf[o] = j;
            }
    double** table = dim2DT<double>(n, p);
    double** transformed = dim2DT<double>(n, p);
    OrdinationWork random(nRows, nCols, 3);
    std::vector<double> count(K, 1.0), X2rnd(K);
    FILE* f = save ? fopenck("Vidive.txt", nullptr, "a") : nullptr;
    if (f) MalinvaudDumpOpening(f, nPerm, T, rowOf.data(), colOf.data(), X2);
    for (int k = 2; k <= nPerm; k++) {
        ShowPermutationProgress(nPerm, k);
        RndList(T, list.data());
        for (int i = 0; i < n; i++)
            for (int j = 0; j < p; j++) table[i][j] = 0.0;
        for (int q = 0; q < T; q++) table[rowOf[list[q] - 1]][colOf[q]] += 1.0;
        CopyMatrix(n, p, table, transformed);
        // Row i of a random table keeps the total of unit i: it is unit i.
        ReapplyTransformations(n, p, transformed, nullptr);
        // A random table without residual inertia (no axes) leaves a partial
        // chi-square of 0 on every axis: as large as the observed one of the
        // last axis, smaller than any other.
        const int axes = random.Run(n, p, transformed, table, optReseDir, optReseTipo, optPostReseTransf, optReseTipo,
                                    varType, alphaH, kParameter, countDoubleAbsence != 0, false);
        PartialChiSquares(K, axes, random.eig, T, X2rnd.data());
        if (f) MalinvaudDumpTable(f, k, T, rowOf.data(), colOf.data(), list.data(), table, random, X2rnd.data());
        for (int j = 0; j < K; j++)
            if (CountsTowardP(X2rnd[j], X2[j], TieRule::Larger)) count[j] += 1.0;
    }
    for (int j = 0; j < K; j++) P[j] = PermutationP(count[j], nPerm, X2[j]);
    if (f) fcloseck(f, "Vidive.txt");
    free2DT(transformed, n);
    free2DT(table, n);
}

int Aleatorizacao_CA() {
    if (!MalinvaudTestApplies()) {
        NotApplicable();
        return 0;
    }
    double counts = 0;
    if (!WholeCounts(&counts)) return 0;
    // Each count of the table becomes an observation of its own: its row,
    // its column and its place in the permuted list.
    if (!WorkFits(eng == 1, counts, [](double T) { return T * 3 * sizeof(int); }, "the expanded table",
                  "a tabela expandida", "counts", "contagens"))
        return 0;
    const AxisTestRun run;
    std::vector<double> X2(rank), P(rank);
    MalinvaudTest(run.nPerm, run.dump, X2.data(), P.data());
    run.Report("Partial Malinvaud chi-squares and corresponding probabilities p(sumChiSq_rnd >= sumChiSq_obs):\n",
               "Qui-quadrados parciais de Malinvaud e probabilidades correspondentes p(somaQuiQ_ale >= "
               "somaQuiQ_obs):\n",
               rank, X2.data(), P.data(), true);
    return 1;
}
