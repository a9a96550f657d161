#include "FtevlanRn.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "TevlanClasses.h"
#include "iflibG.h"
#include "rhLinearModels.h"
#include "rhlibOut.h"
#include "rhlib_M.h"

// ===========================================================================
// Prologue
// ===========================================================================

void AleatorizacaoMain() {
    ShowStatus(out);
    fprintf(out, "\n%s\n", line);
    fprintf(out, "%s", eng ? "HYPOTHESIS TESTING VIA RANDOMIZATION\n" : "TESTES DE HIPOTESES VIA ALEATORIZACAO\n");
    optCompara = optReseDir == 1 ? 1 : 2;
    fprintf(out, "%s",
            eng ? "Initialization of random numbers: \n\t(1) automatically\n\t(2) wish to specify a seed\n\t\tEnter "
                  "option: "
                : "Inicializacao dos numeros aleatorios: \n\t(1) automatica\n\t(2) especificar uma semente\n\t\tEntre "
                  "opcao: ");
    fflush(out);
    const int answer = static_cast<int>(ScanNumber(in, "keyboard", "1 2"));
    if (answer == 1) {
        seed = static_cast<uint32_t>(time(nullptr));
    } else {
        fprintf(out, eng ? "\nEnter seed (integer in the 0 to %u interval): "
                         : "\nEntre a semente (inteiro no intervalo de 0 a %u): ",
                4294967295u);
        fflush(out);
        seed = static_cast<unsigned long>(ScanNumber(in, "keyboard", "-", 0, 4294967295.0));
    }
    InitRndNumberGenerator(static_cast<unsigned int>(seed));
}

// ===========================================================================
// Permutation restrictions
// ===========================================================================

namespace {

// The texts of one kind of restriction group (nesting or bundles).
struct GroupDialogueTexts {
    const char* heading;
    const char* question;
    const char* filePrompt;
    const char* keyboardHeading;
    const char* unitsLine;
    const char* groupsLine;
};

const GroupDialogueTexts kNestingE = {
    "Specify the nesting criterion (for each unit, enter the group to which it belongs):\n",
    "Read nesting group memberships from file (f) or from the keyboard (k)? f/k ",
    "Enter name of file containing nesting group memberships: ",
    "Enter the nesting group of each sampling unit:\n",
    "Sampling unit:    ",
    "\nNesting groups:   "};
const GroupDialogueTexts kBundlesE = {
    "Specify the bundling criterion  (for each unit, enter the group to which it belongs):\n",
    "Read bundling group memberships from file (f) or from the keyboard (k)? f/k ",
    "Enter name of file containing bundling group memberships: ",
    "Enter the bundling group of each sampling unit:\n",
    "Sampling unit:   ",
    "\nBundling groups:  "};
const GroupDialogueTexts kNestingP = {
    "Especifique o criterio de aninhamento (para cada unidade, entre o grupo ao qual pertence):\n",
    "Ler grupos de aninhamento de um arquivo (a) ou do teclado (t)? a/t ",
    "Entre o nome do arquivo contendo os grupos de aninhamento: ",
    "Entre o grupo de aninhamento de cada unidade amostral:\n",
    "Unidade amostral: ",
    "\nGrupos:           "};
const GroupDialogueTexts kBundlesP = {
    "Especifique o criterio de feixes (para cada unidade, entre o grupo ao qual pertence):\n",
    "Ler feixes de unidades de um arquivo (a) ou do teclado (t)? a/t ",
    "Entre o nome do arquivo contendo os feixes de unidades: ",
    "Entre o feixe de cada unidade amostral:\n",
    "Unidade amostral: ",
    "\nGrupos:           "};

// True when only white space is left in the stream.
bool OnlyBlanksLeft(FILE* f) {
    int c;
    while ((c = getc(f)) != EOF && isspace(c)) {
    }
    if (c == EOF) return true;
    ungetc(c, f);
    return false;
}

// One group number of a restriction file, read strictly: a field that is
// not a number, or the end of the file, ends the program, and so does a
// number outside the int range, which no group vector can hold.
int StrictGroupField(FILE* f, const char* name) {
    const double x = ScanNumber(f, name, nullptr);
    if (!(x > -2147483649.0 && x < 2147483648.0)) {
        fflush(stdout);
        fprintf(stderr, "\nfile %s ", name);
        fputc(7, stdout);
        fflush(stdout);
        throw 2;
    }
    return static_cast<int>(x);
}

// Reads n groups from an open restriction file. Lenient: a file that ends
// early leaves the rest 0 after the reader's "End of file" message.
void ReadRestrictionFile(FILE* f, const char* name, int n, int* groups, bool lenient) {
    for (int i = 0; i < n; i++) {
        if (lenient && OnlyBlanksLeft(f)) {
            double unused;
            freadck1(f, "%lf", &unused, name);  // reports the end of the file
            for (int k = i; k < n; k++) groups[k] = 0;
            return;
        }
        groups[i] = StrictGroupField(f, name);
    }
}

void ReadRestrictionGroups(const GroupDialogueTexts& t, int* groups, bool lenient) {
    fprintf(out, "%s", t.heading);
    for (;;) {
        fprintf(out, "%s", t.question);
        fflush(out);
        const int key = ScanChar(in, "f k a t", Keyboard());
        if (key == 'k' || key == 't') {
            fprintf(out, "%s%s", t.keyboardHeading, t.unitsLine);
            for (int i = 0; i < nObj; i++) fprintf(out, "\t%s", uaLabels ? uaLabels[i] : "");
            fprintf(out, "%s", t.groupsLine);
            fflush(out);
            for (int i = 0; i < nObj; i++) groups[i] = AskGroupNumber("teclado");
            return;
        }
        fprintf(out, "%s", t.filePrompt);
        fflush(out);
        const std::string name = AskWord(99);
        FILE* f = fopenck(name.c_str(), nullptr, "r");
        if (!f) continue;
        try {
            ReadRestrictionFile(f, name.c_str(), nObj, groups, lenient);
        } catch (...) {
            fclose(f);
            throw;
        }
        fclose(f);
        return;
    }
}

// The dimension m of a matrix with n cells above its diagonal
// (m(m-1)/2 = n), or 0 when there is none.
int EmbeddedDimension(int n) {
    const long long m = std::llround((1.0 + std::sqrt(1.0 + 8.0 * n)) / 2.0);
    return n >= 1 && m * (m - 1) / 2 == n ? static_cast<int>(m) : 0;
}

void RefusalMessage(const char* text) {
    fflush(stdout);
    fprintf(stderr, "%s", text);
    fputc(7, stderr);
    fflush(stderr);
}

// Option 1: the dimension, asked until the pairs of the matrix are the
// sampling units (a wrong m would make the lists run past the units).
int AskEmbeddedDimension(int m) {
    for (;;) {
        fprintf(out, "%s",
                eng ? "Enter the dimension of the embedded resemblance matrix: "
                    : "Entre a dimensao da matriz de semelhanca embutida: ");
        fflush(out);
        const double d = ScanNumber(in, Keyboard(), "-", 0, 2147483647.0);
        if (static_cast<int>(d) == m) return m;
        char text[256];
        const long long k = static_cast<long long>(d);
        snprintf(text, sizeof text,
                 eng ? "\nA resemblance matrix of dimension %lld has %lld cells above its diagonal, not %d (one per "
                       "sampling unit): the dimension is %d.\n"
                     : "\nUma matriz de semelhanca de dimensao %lld tem %lld celulas acima da diagonal, nao %d (uma "
                       "por unidade amostral): a dimensao e %d.\n",
                 k, k * (k - 1) / 2, nObj, m);
        RefusalMessage(text);
    }
}

}  // namespace

void SetPermutationRestrictions(int* option, int* dimension, bool* nested, int* nestGroups, bool* permuteBundles,
                                int* bundleGroups, bool lenientFile) {
    *nested = false;
    *permuteBundles = false;
    for (;;) {
        fprintf(out, "%s",
                eng ? "Permutation restrictions: \n\t(0) none\n\t(1) take variables arranged into a resemblance "
                      "matrix (as in a Mantel test)\n\t(2) Permutations restricted within groups to be specified\n"
                      "\t(3) Permutation among unit bundles to be specified (e.g., to avoid autocorrelation)\n\t\t"
                      "Enter option: "
                    : "Restricoes as permutacoes: \n\t(0) nenhuma\n\t(1) considerar as variaveis arranjadas em uma "
                      "matriz de semelhanca (como em um teste de Mantel)\n\t(2) Permutacoes restritas dentro de "
                      "grupos a especificar\n\t(3) Permutacao entre feixes de unidades a especificar (p.ex., para "
                      "evitar autocorrelacao)\n\t\tEntre opcao: ");
        fflush(out);
        const int chosen = static_cast<int>(ScanNumber(in, Keyboard(), "0 1 2 3"));
        if (chosen == kEmbeddedMatrix) {
            const int m = EmbeddedDimension(nObj);
            if (m == 0) {
                char text[256];
                snprintf(text, sizeof text,
                         eng ? "\nThe %d sampling units cannot be the cells of a resemblance matrix: %d is not "
                               "m(m-1)/2 for any m.\n"
                             : "\nAs %d unidades amostrais nao podem ser as celulas de uma matriz de semelhanca: %d "
                               "nao e m(m-1)/2 para nenhum m.\n",
                         nObj, nObj);
                RefusalMessage(text);
                continue;
            }
            *option = chosen;
            *dimension = AskEmbeddedDimension(m);
            return;
        }
        *option = chosen;
        if (chosen == kWithinGroups) {
            *nested = true;
            ReadRestrictionGroups(eng ? kNestingE : kNestingP, nestGroups, lenientFile);
        } else if (chosen == kBundles) {
            *permuteBundles = true;
            ReadRestrictionGroups(eng ? kBundlesE : kBundlesP, bundleGroups, lenientFile);
        }
        return;
    }
}

void PrintPermutationRestrictions(FILE* report, int option, int dimension, bool nested, const int* nestGroups,
                                  bool permuteBundles, const int* bundleGroups) {
    fprintf(report, "%s", eng ? "Permutation restrictions:\t" : "Restricoes as permutacoes:\t");
    if (option == kNoRestriction) fprintf(report, "%s", eng ? "None\n" : "Nenhuma\n");
    if (option == kEmbeddedMatrix)
        fprintf(report,
                eng ? "Considered each variable arranged in a resemblance matrix (upper diagonal) with %d rows.\n"
                    : "Considerada cada variavel arranjada em uma matriz de semelhanca (diagonal superior) com %d "
                      "linhas.\n",
                dimension);
    auto groupLines = [report](const char* heading, const int* groups) {
        fprintf(report, "%s%s", heading, eng ? "Groups:\t" : "Grupos:\t");
        PrintVectorTab(report, nObj, groups);
    };
    if (nested)
        groupLines(eng ? "Restricted permutations within specified groups\n"
                       : "Permutacoes restritas dentro de grupos especificados\n",
                   nestGroups);
    if (permuteBundles)
        groupLines(eng ? "Restricted permutations as specified bundles (e.g. to avoid autocorrelation\n"
                       : "Permutacoes restritas como feixes especificados (p.ex. para evitar autocorrelacao\n",
                   bundleGroups);
}

// ===========================================================================
// Conventions shared by every permutation test
// ===========================================================================

int AskNumberOfPermutations() {
    fprintf(out, "%s", eng ? "Number of permutations: " : "Numero de permutacoes: ");
    fflush(out);
    return static_cast<int>(ScanNumber(in, Keyboard(), "-", 1, 2147483647.0));
}

int AskSaveQuestion(int nPerm, const char* english, const char* portuguese, bool orTable) {
    const char* keys = eng ? (orTable ? "y n p" : "y n") : (orTable ? "s n p" : "s n");
    for (;;) {
        fprintf(out, "%s", eng ? english : portuguese);
        fflush(out);
        int key = ScanChar(in, keys, Keyboard());
        if (key == 's') key = 'y';
        if (key != 'y' || nPerm <= 50) return key;
        fprintf(out, eng ? "Are you sure? y/n There are %d permutations! " : "Tem certeza? s/n Sao %d permutacoes! ",
                nPerm);
        fflush(out);
        if (ScanChar(in, eng ? "y n" : "s n", Keyboard()) != 'n') return 'y';
    }
}

bool AskSaveEachPermutation(int nPerm) {
    return AskSaveQuestion(nPerm, "Save data and results of each random permutation? y/n ",
                           "Guardar dados e resultados de cada permutacao aleatoria? s/n ", false) == 'y';
}

void ShowPermutationProgress(int nPerm, int i) {
    char text[64];
    snprintf(text, sizeof text, eng ? "Permutation: %d %d" : "Permutacao: %d %d", nPerm, i);
    HandleEventInfoWhere2(text);
}

void PrintNumberOfPermutations(FILE* report, int nPerm) {
    fprintf(report, eng ? "Number of permutations: %d\n" : "Numero de permutacoes: %d\n", nPerm);
}

void PrintElapsedTime(FILE* report, double seconds) {
    fprintf(report, eng ? "Elapsed time: %g seconds\n" : "Tempo decorrido: %g segundos\n", seconds);
}

void PrintSeed(FILE* report) {
    fprintf(report,
            eng ? "Random number generation initializer: %u\n" : "Inicializador do gerador de numero aleatorios: %u\n",
            static_cast<unsigned int>(seed));
}

const char* NotTestable() { return eng ? "not testable" : "nao testavel"; }

std::string ProbabilityText(double p, int digits) {
    if (std::isnan(p)) return NotTestable();
    char text[64];
    snprintf(text, sizeof text, "%.*g", digits, p);
    return text;
}

// ===========================================================================
// Test drivers
// ===========================================================================

int AleatorizacaoUnitsManova() { return NotAvailableYet(); }

int AleatorizacaoVar() { return NotAvailableYet(); }

int PathAnalysis() { return NotAvailableYet(); }

// ===========================================================================
// Linear-model and redundancy-analysis tests
// ===========================================================================

namespace {

// Both tests relate rows of the two tables unit by unit: the sets must have
// the same units, and every cell a value (the engines know no missing value).
bool LinearModelSessionsUsable(const Session* s1, const Session* s2) {
    for (const Session* s : {s1, s2})
        if (!s || !s->data || s->nObj < 1 || s->nVar < 1) {
            fprintf(out, "%s", eng ? "\nA data set is missing.\n" : "\nFalta um conjunto de dados.\n");
            return false;
        }
    if (s2->nObj != s1->nObj) {
        fprintf(out,
                eng ? "\nThe data set %s does not have the %d sampling units of %s.\n"
                    : "\nO conjunto de dados %s nao tem as %d unidades amostrais de %s.\n",
                s2->filename, s1->nObj, s1->filename);
        return false;
    }
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
        return CheckNestedDesign(n, nested, nestGroups, permuteBundles, bundleGroups, false, false, nullptr);
    return true;
}

// The permutation list of one random arrangement by the restriction option.
void DrawList(int n, int option, int dimension, bool nested, const int* nestGroups, bool permuteBundles,
              const int* bundleGroups, int* list) {
    if (option == kEmbeddedMatrix)
        RndListMantelRestricted(n, list, dimension);
    else if (option == kWithinGroups || option == kBundles)
        RndListNestedNew(n, nested, nestGroups, permuteBundles, bundleGroups, false, list);
    else
        RndList(n, list);
}

void PermutedRows(int n, int q, double** Y, const int* list, double** random) {
    for (int i = 0; i < n; i++) std::memcpy(random[i], Y[list[i] - 1], sizeof(double) * q);
}

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
    for (int v = 0; v < q; v++) fprintf(f, "\t%g", b0[v]);
    for (int k = 0; k < p; k++) {
        fprintf(f, "\n%s b%d:", s2->varLabels[k], k + 1);
        for (int v = 0; v < q; v++) fprintf(f, "\t%g", B[k][v]);
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
    for (int v = 0; v < q; v++) fprintf(f, "\t%g", r2[v]);
    fprintf(f,
            eng ? "\nCorresponding probabilities of r squared for %d response variaveis:"
                : "\nProbabilidades correspondentes de r quadrado para %d variaveis resposta:",
            q);
    for (int v = 0; v < q; v++) PrintProbability(f, count[p][v], nPerm, r2obs[v], false);

    SumsOfSquaresFrame(f, eng ? "Sum of squares(Q) for each response variable"
                              : "Soma de quadrados(Q) para cada variavel resposta",
                       s1->varLabels, q);
    fprintf(f, "%s", eng ? "Regression        " : "Regressao         ");
    for (int v = 0; v < q; v++) fprintf(f, "\t%20.*g", sDigits, r2[v] * SST[v]);
    fprintf(f, "%s", eng ? "\nResidual          " : "\nResiduo           ");
    for (int v = 0; v < q; v++) fprintf(f, "\t%20.*g", sDigits, (1 - r2[v]) * SST[v]);
    fprintf(f, "%s", "\nTotal             ");
    for (int v = 0; v < q; v++) fprintf(f, "\t%20.*g", sDigits, SST[v]);
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
    // A group file shorter than the units leaves the rest in group 0.
    SetPermutationRestrictions(&option, &dimension, &nested, nestGroups, &permuteBundles, bundleGroups, true);
    const bool save = AskSaveEachPermutation(N);

    const double start = difftime_Clock_Init();
    FILE* report = RestrictionsFit(n, option, dimension, nested, nestGroups, permuteBundles, bundleGroups)
                       ? fopenck("Vidive.txt", nullptr, modeVidive)
                       : nullptr;
    if (!report) return;
    timer = time(nullptr);
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

    const int fittedOk = regression(n, q, p, s1->data, s2->data, B, b0, fitted, r2, SST, true, report, port, full);
    FixedFactorFits* fits = fittedOk ? new FixedFactorFits(n, q, p, s1->data, s2->data) : nullptr;
    if (!fits || !fits->Fitted()) {
        ModelCannotBeFitted(report);
    } else {
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

        fprintf(report, "\n%s\n", line);
        fprintf(report, "%s", eng ? "LINEAR MODELS: RANDOMIZATION TEST" : "MODELOS LINEARES: TESTE DE ALEATORIZACAO");
        if (save) fprintf(report, "%s", eng ? ": Final results" : ": Resultado final");
        fprintf(report, "\n%s\n", line);
        fprintf(report, "%s", ctime(&timer));
        PrintElapsedTime(report, difftime_Clock(start));
        ShowStatus(report);
        PrintNumberOfPermutations(report, N);
        PrintSeed(report);
        fprintf(report, "%s",
                eng ? "Test criteria: regression coefficients and coefficient of determination (r squared)\n"
                    : "Criterios do teste: coeficientes de regressao e coeficiente de determinacao (r quadrado)\n");
        PrintPermutationRestrictions(report, option, dimension, nested, nestGroups, permuteBundles, bundleGroups);
        fprintf(report, "%s", eng ? "\n\nResults:" : "\n\nResultados:\n");
        LinearModelResults(report, p, q, s1, s2, b0, B, r2, SST, N, count, Bobs, r2obs);
    }
    delete fits;
    fclose(report);
    ClearLine();
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
    for (int i = 0; i < n; i++) fprintf(f, "%g\t", x[i]);
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
    for (int k = 0; k < nAxes; k++) fprintf(f, "%g\t", eig[k] / total);
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
        fclose(report);
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
                fprintf(report, "%g\t%g\n", corrRnd[a], count[a]);
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
        fprintf(report, "%g\t%s\n", corr[a], ProbabilityText(P, 6).c_str());
    }
    PrintElapsedTime(report, difftime_Clock(start));
    PrintSeed(report);
    delete fits;
    fclose(report);
    release();
}

// ===========================================================================
// Tests of ordination axes
// ===========================================================================

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
// number of observations a permutation list can hold.
bool WholeCounts() {
    double total = 0.0;
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
            total += x;
        }
    if (total < 1.0 || total > 2147483647.0) {
        char text[256];
        snprintf(text, sizeof text,
                 eng ? "\nThe Malinvaud test needs a contingency table of whole counts whose total lies from 1 to "
                       "2147483647; this table's total is %.0f.\n"
                     : "\nO teste de Malinvaud necessita uma tabela de contingencia de contagens inteiras com total "
                       "de 1 a 2147483647; o total desta tabela e %.0f.\n",
                 total);
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

    AxisTestRun() {
        AleatorizacaoMain();
        nPerm = AskNumberOfPermutations();
        if (AskSaveEachPermutation(nPerm)) {
            FILE* f = fopenck("Vidive.txt", nullptr, modeVidive);
            if (f) {
                fclose(f);
                dump = true;
                finalMode = "a";
            }
        }
        start = difftime_Clock_Init();
    }

    // The final block: the statistic of each of the K axes and its P; "See
    // results" only when it was written.
    void Report(const char* english, const char* portuguese, int K, const double* statistic, const double* P) const {
        const double seconds = difftime_Clock(start);
        FILE* f = fopenck("Vidive.txt", nullptr, finalMode);
        ClearLine();
        if (!f) return;
        fprintf(f, "\n%s\n", line);
        fprintf(f, "%s", eng ? "RANDOMIZATION TEST" : "TESTE DE ALEATORIZACAO");
        if (dump) fprintf(f, "%s", eng ? ": Final results" : ": Resultado final");
        fprintf(f, "\n%s\n", line);
        const time_t now = time(nullptr);
        fprintf(f, "%s", ctime(&now));
        PrintElapsedTime(f, seconds);
        ShowStatus(f);
        PrintNumberOfPermutations(f, nPerm);
        PrintSeed(f);
        fprintf(f, "%s", eng ? english : portuguese);
        if (!eng) fprintf(f, "Resultados:\n");
        PrintVectorTab(f, K, statistic, sDigits);
        for (int k = 0; k < K; k++) fprintf(f, "%s\t", ProbabilityText(P[k], sDigits).c_str());
        fprintf(f, "\n");
        fclose(f);
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
    for (int k = 0; k < rank; k++) fprintf(f, "%g\t", eig[k]);
    fprintf(f, eng ? "\nSum of observed partial chi-squares (from ith to dimension %d): "
                   : "\nSoma dos qui-quadrados parciais observados (do i-esimo a dimensao %d): ",
            rank);
    for (int k = 0; k < rank; k++) fprintf(f, "%g\t", X2[k]);
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
    for (int a = 0; a < random.axes; a++) fprintf(f, "%g ", random.eig[a]);
    fprintf(f, eng ? "\nSum of partial chi-squares (from ith to dimension %d): "
                   : "\nSoma dos qui-quadrados parciais (do i-esimo a dimensao %d): ",
            rank);
    for (int j = 0; j < rank; j++) fprintf(f, "%g\t", X2rnd[j]);
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
               P.data());
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
    if (f) fclose(f);
    free2DT(transformed, n);
    free2DT(table, n);
}

int Aleatorizacao_CA() {
    if (!MalinvaudTestApplies()) {
        NotApplicable();
        return 0;
    }
    if (!WholeCounts()) return 0;
    const AxisTestRun run;
    std::vector<double> X2(rank), P(rank);
    MalinvaudTest(run.nPerm, run.dump, X2.data(), P.data());
    run.Report("Partial Malinvaud chi-squares and corresponding probabilities p(sumChiSq_rnd >= sumChiSq_obs):\n",
               "Qui-quadrados parciais de Malinvaud e probabilidades correspondentes p(somaQuiQ_ale >= "
               "somaQuiQ_obs):\n",
               rank, X2.data(), P.data());
    return 1;
}
