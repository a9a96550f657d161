// ===========================================================================
// Variable-comparison tests: key A
// ===========================================================================

#include "FtevlanRn.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "FtevlanRn_internal.h"
#include "iflibG.h"
#include "rhlibOut.h"
#include "rhlib_M.h"

using namespace rn_detail;

namespace {

// An undefined resemblance (MISSING) or one that is not a number has nothing
// to be compared with: its pair is not testable.
bool Testable(double observed) { return std::isfinite(observed) && observed != MISSING; }

void Fill(int p, double** M, double value) {
    for (int a = 0; a < p; a++)
        for (int b = 0; b < p; b++) M[a][b] = value;
}

// The resemblance between the variables of T (nObj x nVar) by the options in
// force, without the post-transformation, so that observed and random values
// are of one kind. False when the measure refused the table.
bool ResemblanceOfVariables(double** T, double** R) {
    return ResemblanceLib(nObj, nVar, T, R, optReseDir, optReseTipo, varType, alphaH, kParameter,
                          countDoubleAbsence, false) != reseRefused;
}

// Column j of T takes column j of the data as read in the order of lists[j];
// with a dump the table goes there as drawn. Then it is transformed as the
// data were.
void ArrangeAndTransform(int k, const int* const* lists, double** T, FILE* dump) {
    for (int i = 0; i < nObj; i++)
        for (int j = 0; j < nVar; j++) T[i][j] = dataOrig[lists[j][i] - 1][j];
    if (dump) {
        fprintf(dump, "\n%s\n", line);
        fprintf(dump, "%s: %d\n", iteraStr, k);
        fprintf(dump, "%s", eng ? "Random data:\n" : "Dados aleatorizados:\n");
        PrintData(dump, nObj, nVar, sDigits, T);
    }
    ReapplyTransformations(nObj, nVar, T, nullptr);
}

void PrintMeasure(FILE* f) {
    fprintf(f, eng ? "\tResemblance measure: %s, %s\n" : "\tMedida de semelhanca: %s, %s\n",
            MenuText(optReseTipoInfo, optReseTipo), MenuText(optReseDirInfo, optReseDir));
}

// The opening of a saved run: permutation 1 is the data as read with the
// resemblance matrix (p x p) given.
void VariableDumpOpening(FILE* f, int nPerm, double** matrix) {
    fprintf(f, "\n%s\n", line);
    fprintf(f, "%s", eng ? "RANDOMIZATION TEST: Data and results of each permutation\n"
                         : "TESTE DE ALEATORIZACAO: Dados e resultados de cada permutacao\n");
    fprintf(f, "%s\n", line);
    fprintf(f, "%s\n", ctime(&timer));
    PrintNumberOfPermutations(f, nPerm);
    fprintf(f, "%s", eng ? "Test criterion:\n" : "Criterio do teste:\n");
    PrintMeasure(f);
    fprintf(f, "\n%s\n", line);
    fprintf(f, "%s", eng ? "Permutation 1:\n" : "Permutacao 1:\n");
    PrintData(f, nObj, nVar, sDigits, dataOrig);
    PrintRese(f, nVar, sDigits, matrix);
}

// The final block up to the measure.
void VariableFinalBlock(FILE* f, bool saved, int nPerm, double start) {
    PrintFinalBlockHead(f, eng ? "RANDOMIZATION TEST" : "TESTE DE ALEATORIZACAO", saved, timer, difftime_Clock(start),
                        nPerm);
    PrintTransformationDoubts(f);
    fprintf(f, "%s", eng ? "Test criterion (Lambda):\n" : "Criterio considerado (Lambda):\n");
    PrintMeasure(f);
}

void VariableResultsNote(FILE* f) {
    fprintf(f, "%s",
            eng ? "Results:\n\t(Resemblance matrix below the main diagonal and\n corresponding probabilities P(|Lambda "
                  "random| >= |Lambda observed|) above the main diagonal)\n"
                : "Resultados:\n\t(Matriz de semelhanca abaixo da diagonal principal e\n probabilidades "
                  "correspondentes P(|Lambda aleatorio| >= |Lambda observado|) acima da diagonal principal)\n");
}

bool AskYesNo(const char* english, const char* portuguese) {
    fprintf(out, "%s", eng ? english : portuguese);
    fflush(out);
    return ScanChar(in, eng ? "y n" : "s n", Keyboard()) != 'n';
}

// A p x p x p work array released with its scope.
struct ScopedCube {
    int p;
    double*** x;
    explicit ScopedCube(int size) : p(size), x(dim3DT<double>(size, size, size)) {}
    ~ScopedCube() { free3DT(x, p, p); }
    ScopedCube(const ScopedCube&) = delete;
    ScopedCube& operator=(const ScopedCube&) = delete;
    void Fill(double value) {
        for (int i = 0; i < p; i++)
            for (int j = 0; j < p; j++)
                for (int k = 0; k < p; k++) x[i][j][k] = value;
    }
};

// The mutual entropy of each pair conditional on the other variables: the
// pair's own plus its triplets' (upper triangle).
void ConditionalEntropies(int p, double** pairs, double*** triplets, double** H) {
    for (int i = 0; i < p; i++)
        for (int j = i + 1; j < p; j++) {
            H[i][j] = pairs[i][j];
            for (int k = 0; k < p; k++)
                if (k != i && k != j) H[i][j] += triplets[i][j][k];
        }
}

}  // namespace

void VariableComparisonCounts(const PermutationDesign& design, double** observed, double** counts, FILE* dump,
                              bool literal) {
    const int n = nObj, p = nVar;
    for (int j = 0; j < p; j++)
        for (int i = 0; i < j; i++) counts[j][i] = 1.0;
    // Without missing values or transformations an arrangement's correlations
    // need no table: its standardised columns and their cross-products.
    const bool crossProducts = !literal && !dump && optReseTipo == 17 && optReseDir == 2 &&
                               !TransformationsInForce() && !HoldsMissing(n, p, dataOrig);
    std::unique_ptr<VariableNodes> nodes(crossProducts ? new VariableNodes(n, p, dataOrig, false) : nullptr);
    ScopedMatrix<int> lists(p, n);
    ScopedMatrix<double> table(n, p), random(p, p);
    for (int k = 2; k <= design.nPerm; k++) {
        ShowPermutationProgress(design.nPerm, k);
        for (int j = 0; j < p; j++)
            DrawList(n, design.restriction, design.dim, design.nested, design.nestGroups, design.bundled,
                     design.bundleGroups, lists[j], design.bundleFlag);
        if (nodes) {
            nodes->NodeMatrix(lists, random);
        } else {
            ArrangeAndTransform(k, lists, table, dump);
            // An arrangement the measure cannot compare counts as extreme:
            // it can only make P larger.
            if (!ResemblanceOfVariables(table, random)) Fill(p, random, HUGE_VAL);
            if (dump) PrintRese(dump, p, sDigits, random);
        }
        for (int j = 0; j < p; j++)
            for (int i = 0; i < j; i++)
                if (Testable(observed[i][j]) && CountsTowardP(random[i][j], observed[i][j], TieRule::LargerAbsolute))
                    counts[j][i] += 1.0;
    }
}

void AleatorizacaoVar() {
    // Key A compares the variables of a resemblance matrix between them.
    if (temRese != 1 || !rese || optReseDir != 2 || nRows != nVar) return;
    const int p = nVar;
    // (Vectors, so that an input that ends inside a dialogue leaks nothing.)
    std::vector<int> nestGroupsVector(nObj), bundleGroupsVector(nObj);
    int* nestGroups = nestGroupsVector.data();
    int* bundleGroups = bundleGroupsVector.data();
    AleatorizacaoMain();
    const int N = AskNumberOfPermutations();
    int option = 0, dim = 0;
    bool nested = false, bundled = false;
    SetPermutationRestrictions(&option, &dim, &nested, nestGroups, &bundled, bundleGroups);
    const bool save = AskSaveEachPermutation(N);
    const PermutationDesign design = DesignOf(N, option, dim, nested, nestGroups, bundled, bundleGroups, false);
    if (!DesignFits(design)) return;
    // The observed, random and resulting matrices, and for each permutation
    // its lists, its table and the table's standardised columns.
    const double n = nObj;
    if (!WorkFits(eng == 1, p, [n](double q) { return 3 * SquareBytes(q) + (2 * sizeof(double) + sizeof(int)) * n * q; },
                  "the test", "o teste", "variables", "variaveis"))
        return;

    const double start = difftime_Clock_Init();
    FILE* report = fopenck("Vidive.txt", nullptr, modeVidive);
    if (!report) return;
    timer = time(nullptr);
    ScopedMatrix<double> observed(p, p), result(p, p);
    if (!ResemblanceOfVariables(data, observed)) Fill(p, observed, MISSING);
    if (save) VariableDumpOpening(report, N, rese);
    VariableComparisonCounts(design, observed, result, save ? report : nullptr, false);
    bool untestable = false;
    for (int j = 0; j < p; j++)
        for (int i = 0; i < j; i++) {
            const bool testable = Testable(observed[i][j]);
            untestable = untestable || !testable;
            result[j][i] = testable ? result[j][i] / N : MISSING;
            result[i][j] = rese[i][j];
        }

    VariableFinalBlock(report, save, N, start);
    PrintPermutationRestrictions(report, option, dim, nested, nestGroups, bundled, bundleGroups);
    VariableResultsNote(report);
    // Printed transposed: the observed values below the diagonal, P above.
    TransposeSqMatrix(p, result, result);
    PrintMatrix(report, p, p, result, sDigits, 0);
    if (untestable)
        fprintf(report, "%s",
                eng ? "(-999 in place of a probability: not testable, the observed value is undefined)\n"
                    : "(-999 no lugar de uma probabilidade: nao testavel, o valor observado e indefinido)\n");
    const bool written = fcloseck(report, "Vidive.txt");
    // The follow-up tests append to this report, whatever the mode chosen at
    // start-up.
    strcpy(modeVidive, "a");
    ClearLine();
    if (written)
        fprintf(out, "%s", eng ? "\n\nSee results on file Vidive.txt.\n" : "\n\nVeja resultados no arquivo Vidive.txt.\n");

    if (optReseTipo == 7 && p == 3 &&
        AskYesNo("Test for mutual entropy of variable triplets? y/n ",
                 "Testar a entropia mutua de tripletos de variaveis? s/n "))
        AleatorizacaoVar_Triplets();
    if (optReseTipo == 17 && p > 2)
        while (AskYesNo("Test partial correlations? y/n ", "Testar correlacoes parciais? s/n ")) {
            const int nullModel = AskOption(
                "Null model for testing partial correlations: \n\t(1) permute all variables at once\n\t(2) permute "
                "only the first variable (Tessop et al. 1986)\n\t\tEntre opcao: ",
                "Modelo nulo para testar correlacoes parciais: \n\t(1) permutar todas as variaveis ao mesmo tempo\n"
                "\t(2) permutar somente a primeira variavel (Tessop et al. 1986)\n\t\tEntre opcao: ");
            PathAnalysisBasisSetPermutationTest(N, option, dim, nested, nestGroups, bundled, bundleGroups, false,
                                                nullModel, save ? 'y' : 'n');
        }
}

void AleatorizacaoVar_Triplets() {
    const int n = nObj, p = nVar;
    AleatorizacaoMain();
    const int N = AskNumberOfPermutations();
    const bool save = AskSaveEachPermutation(N);
    const double start = difftime_Clock_Init();

    ScopedCube T(p), randomT(p), countT(p);
    ScopedMatrix<double> pairs(p, p), H(p, p), randomPairs(p, p), randomH(p, p), countH(p, p), table(n, p);
    ScopedMatrix<int> lists(p, n);
    // Observed and random values come from the same two calls.
    if (ResemblanceLibTriplets(n, p, data, T.x, optReseDir, optReseTipo, varType, alphaH, false) != 1 ||
        !ResemblanceOfVariables(data, pairs)) {
        T.Fill(NAN);
        Fill(p, pairs, NAN);
    }
    ConditionalEntropies(p, pairs, T.x, H);

    FILE* report = fopenck("Vidive.txt", nullptr, modeVidive);
    if (!report) return;
    timer = time(nullptr);
    if (save) VariableDumpOpening(report, N, H);
    countT.Fill(1.0);
    Fill(p, countH, 1.0);
    for (int k = 2; k <= N; k++) {
        ShowPermutationProgress(N, k);
        for (int j = 0; j < p; j++) RndList(n, lists[j]);
        ArrangeAndTransform(k, lists, table, save ? report : nullptr);
        if (!ResemblanceOfVariables(table, randomPairs) ||
            ResemblanceLibTriplets(n, p, table, randomT.x, optReseDir, optReseTipo, varType, alphaH, false) != 1) {
            Fill(p, randomPairs, HUGE_VAL);
            randomT.Fill(HUGE_VAL);
        }
        ConditionalEntropies(p, randomPairs, randomT.x, randomH);
        if (save) PrintRese(report, p, sDigits, randomH);
        // Signed values: a negative triplet value is redundancy, not an
        // extreme of the other sign.
        for (int i = 0; i < p; i++)
            for (int j = i + 1; j < p; j++) {
                if (CountsTowardP(randomH[i][j], H[i][j], TieRule::Larger)) countH[i][j] += 1.0;
                for (int l = j + 1; l < p; l++)
                    if (CountsTowardP(randomT.x[i][j][l], T.x[i][j][l], TieRule::Larger)) countT.x[i][j][l] += 1.0;
            }
    }

    VariableFinalBlock(report, save, N, start);
    VariableResultsNote(report);
    const double ln2 = 0.6931471805599453;
    fprintf(report, "%s", eng ? "\nMutual entropy between variables in triplets:\n"
                              : "\nEntropia mutua entre variaveis em tripletos:\n");
    for (int i = 0; i < p; i++)
        for (int j = i + 1; j < p; j++)
            for (int l = j + 1; l < p; l++)
                fprintf(report, "Var. %d x %d x %d:\t%g\tnats (\t%g\tbits)\tP=\t%s\n", i + 1, j + 1, l + 1,
                        NoNegativeZero(T.x[i][j][l]), NoNegativeZero(T.x[i][j][l] / ln2),
                        ProbabilityText(PermutationP(countT.x[i][j][l], N, T.x[i][j][l]), 6).c_str());
    fprintf(report, "%s", eng ? "\nMutual entropy pairwise conditional (|) to a third variable:\n"
                              : "\nEntropia mutua par a par condicional (|) a uma terceira variavel:\n");
    for (int i = 0; i < p; i++)
        for (int j = i + 1; j < p; j++)
            for (int l = 0; l < p; l++)
                if (l != i && l != j)
                    fprintf(report, "Var. %d x %d | %d:\t%g\tnats (\t%g\tbits)\tP=\t%s\n", i + 1, j + 1, l + 1,
                            NoNegativeZero(H[i][j]), NoNegativeZero(H[i][j] / ln2),
                            ProbabilityText(PermutationP(countH[i][j], N, H[i][j]), 6).c_str());
    const bool written = fcloseck(report, "Vidive.txt");
    ClearLine();
    if (written)
        fprintf(out, "%s", eng ? "\n\nSee results on file Vidive.txt.\n" : "\n\nVeja resultados no arquivo Vidive.txt.\n");
}
