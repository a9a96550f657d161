#include "FtevlanRn.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_combination.h>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "TevlanClasses.h"
#include "iflibG.h"
#include "rhLinearModels.h"
#include "rhlibClasses.h"
#include "rhlibOut.h"
#include "rhlibRes_M.h"
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
        seed = AutomaticSeed();
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

// What a restriction file that ends early or holds a field that is not a
// whole number gets, after the message of the membership reader (the same
// for every file of groups): the end of the program, or (as key G's
// membership files) the file-or-keyboard question again.
enum class GroupFileFault { kEnd, kAskAgain };

void ReadRestrictionGroups(const GroupDialogueTexts& t, int n, const char* const* labels, int* groups,
                           GroupFileFault fault) {
    fprintf(out, "%s", t.heading);
    for (;;) {
        fprintf(out, "%s", t.question);
        fflush(out);
        const int key = ScanChar(in, "f k a t", Keyboard());
        if (key == 'k' || key == 't') {
            fprintf(out, "%s%s", t.keyboardHeading, t.unitsLine);
            for (int i = 0; i < n; i++) {
                if (labels)
                    fprintf(out, "\t%s", labels[i]);
                else
                    fprintf(out, "\t%d", i + 1);
            }
            fprintf(out, "%s", t.groupsLine);
            fflush(out);
            for (int i = 0; i < n; i++) groups[i] = AskGroupNumber("teclado");
            return;
        }
        fprintf(out, "%s", t.filePrompt);
        fflush(out);
        const std::string name = AskWord(99);
        FILE* f = fopenck(name.c_str(), nullptr, "r");
        if (!f) continue;
        std::vector<int> read(n);
        const bool ok = ReadMembershipFile(f, name.c_str(), 1, n, read.data());
        fclose(f);
        if (!ok) {
            fputc(7, out);
            fflush(out);
            if (fault == GroupFileFault::kEnd) throw 2;
            continue;
        }
        std::copy(read.begin(), read.end(), groups);
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
int AskEmbeddedDimension(int n, int m) {
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
                 k, k * (k - 1) / 2, n, m);
        RefusalMessage(text);
    }
}

// The dialogue over n units labelled labels (null: by their numbers).
void AskRestrictions(int n, const char* const* labels, int* option, int* dimension, bool* nested, int* nestGroups,
                     bool* permuteBundles, int* bundleGroups, bool askAgain) {
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
            const int m = EmbeddedDimension(n);
            if (m == 0) {
                char text[256];
                snprintf(text, sizeof text,
                         eng ? "\nThe %d sampling units cannot be the cells of a resemblance matrix: %d is not "
                               "m(m-1)/2 for any m.\n"
                             : "\nAs %d unidades amostrais nao podem ser as celulas de uma matriz de semelhanca: %d "
                               "nao e m(m-1)/2 para nenhum m.\n",
                         n, n);
                RefusalMessage(text);
                continue;
            }
            *option = chosen;
            *dimension = AskEmbeddedDimension(n, m);
            return;
        }
        *option = chosen;
        if (chosen == kWithinGroups) {
            *nested = true;
            ReadRestrictionGroups(eng ? kNestingE : kNestingP, n, labels, nestGroups,
                                  askAgain ? GroupFileFault::kAskAgain : GroupFileFault::kEnd);
        } else if (chosen == kBundles) {
            *permuteBundles = true;
            ReadRestrictionGroups(eng ? kBundlesE : kBundlesP, n, labels, bundleGroups,
                                  askAgain ? GroupFileFault::kAskAgain : GroupFileFault::kEnd);
        }
        return;
    }
}

}  // namespace

void SetPermutationRestrictions(int* option, int* dimension, bool* nested, int* nestGroups, bool* permuteBundles,
                                int* bundleGroups, bool askAgain) {
    AskRestrictions(nObj, uaLabels, option, dimension, nested, nestGroups, permuteBundles, bundleGroups, askAgain);
}

void SetPermutationRestrictions(int n, int* option, int* dimension, bool* nested, int* nestGroups,
                                bool* permuteBundles, int* bundleGroups) {
    AskRestrictions(n, nullptr, option, dimension, nested, nestGroups, permuteBundles, bundleGroups, false);
}

void PrintPermutationRestrictions(FILE* report, int option, int dimension, bool nested, const int* nestGroups,
                                  bool permuteBundles, const int* bundleGroups, bool closed) {
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
        groupLines(eng ? (closed ? "Restricted permutations as specified bundles (e.g. to avoid autocorrelation)\n"
                                 : "Restricted permutations as specified bundles (e.g. to avoid autocorrelation\n")
                       : (closed ? "Permutacoes restritas como feixes especificados (p.ex. para evitar autocorrelacao)\n"
                                 : "Permutacoes restritas como feixes especificados (p.ex. para evitar autocorrelacao\n"),
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

void PrintFinalBlockHead(FILE* report, const char* title, bool saved, time_t stamp, double seconds, int nPerm) {
    fprintf(report, "\n%s\n", line);
    fprintf(report, "%s", title);
    if (saved) fprintf(report, "%s", eng ? ": Final results" : ": Resultado final");
    fprintf(report, "\n%s\n", line);
    fprintf(report, "%s", ctime(&stamp));
    PrintElapsedTime(report, seconds);
    ShowStatus(report);
    PrintNumberOfPermutations(report, nPerm);
    PrintSeed(report);
}

const char* NotTestable() { return NotTestableText(!eng); }

std::string ProbabilityText(double p, int digits) {
    if (std::isnan(p)) return NotTestable();
    char text[64];
    snprintf(text, sizeof text, "%.*g", digits, NoNegativeZero(p));
    return text;
}

// ===========================================================================
// Group-comparison test (key P)
// ===========================================================================

namespace group_test {

const double kUndefined = std::numeric_limits<double>::quiet_NaN();

// Group means and residuals mean something only for these data types.
bool NumericData() { return dataType == 1 || dataType == 2 || dataType == 4 || dataType == 6; }

// The answers of the dialogue.
struct Choice {
    bool advanced = false;
    int statistic = 1;  // 1 Qb, 2 pseudo-F, 3 MRPP
    int nRemoved = 0;
    int removed[3] = {0, 0, 0};
    bool nested = false, bundles = false, bundlesOnly = false, blocks = false;
    int nestingFactor = 0;
    std::vector<int> nestGroups, bundleGroups;
    int contrastOption = 0;
    // [factor][contrast][group position] coefficients, and the pointers the
    // engine reads.
    std::vector<std::vector<std::vector<double>>> coefficients;
    std::vector<std::vector<double*>> contrastRows;
    std::vector<double**> contrastFactors;
    std::vector<int> nContrasts;
    int nPerm = 0;
    int save = 'n';

    // Built once: records made earlier keep reading them.
    double*** ContrastPointers() {
        if (!contrastFactors.empty()) return contrastFactors.data();
        contrastRows.assign(nFactors, {});
        contrastFactors.assign(nFactors, nullptr);
        for (int f = 0; f < nFactors; f++) {
            for (std::vector<double>& c : coefficients[f]) contrastRows[f].push_back(c.data());
            contrastFactors[f] = contrastRows[f].data();
        }
        return contrastFactors.data();
    }
};

void FactorList() {
    for (int f = 0; f < nFactors; f++) fprintf(out, "%d.%s ", f + 1, factorLabel[f]);
    fprintf(out, "): \t");
    fflush(out);
}

int AskFactorNumber() { return static_cast<int>(ScanNumber(in, Keyboard(), "-", 1, nFactors)); }

int AskMenu(const char* english, const char* portuguese, const char* keys) {
    fprintf(out, "%s", eng ? english : portuguese);
    fflush(out);
    return static_cast<int>(ScanNumber(in, Keyboard(), keys));
}

void AskStatistic(Choice& c) {
    c.statistic = AskMenu(
        "\nChoose the test statistic:\n  (1) Sum of squares between groups (Qb, Hallek & Velnik 1996)\n  (2) Pseudo "
        "F-ratio (Torvik 2001)\n  (3) Average dissimilarity within groups (MRPP for v=1, Sorvin & Dosset 2001)\n      "
        "Enter option: ",
        "\nEscolha a estatistica do teste:\n  (1) Soma de quadrados entre grupos (Qb, Hallek & Velnik 1996)\n  (2) "
        "Pseudo razao F (Torvik 2001)\n  (3) Dissimilaridade media dentro dos grupos (MRPP para v=1, Sorvin & Dosset "
        "2001)\n      Entre opcao: ",
        "1 2 3");
}

// The factors whose effects residuals remove (all different).
void AskResiduals(Choice& c) {
    if ((nFactors != 2 && nFactors != 3) || !NumericData()) return;
    if (nFactors == 2)
        c.nRemoved = AskMenu("\nUse residuals in the analysis?\n  (0) No\n  (1) Remove the effect of one factor\n  (2) "
                             "Remove the effect of two factors\n      Enter option: ",
                             "\nUsar residuos na analise?\n  (0) Nao\n  (1) Remover o efeito de um fator\n  (2) "
                             "Remover o efeito de dois fatores\n      Entre opcao: ",
                             "0 1 2");
    else
        c.nRemoved = AskMenu("\nUse residuals in the analysis?\n  (0) No\n  (1) Remove the effect of one factor\n  (2) "
                             "Remove the effect of two factors\n  (3) Remove the effect of three factors\n      Enter "
                             "option: ",
                             "\nUsar residuos na analise?\n  (0) Nao\n  (1) Remover o efeito de um fator\n  (2) "
                             "Remover o efeito de dois fatores\n  (3) Remover o efeito de tres fatores\n      Entre "
                             "opcao: ",
                             "0 1 2 3");
    if (c.nRemoved == 0) return;
    for (;;) {
        if (c.nRemoved == 1)
            fprintf(out, "%s",
                    eng ? "\nSpecify the factor effect to be removed ( "
                        : "\nEspecifique o efeito de fator a ser removido ( ");
        else
            fprintf(out, "%s",
                    eng ? "\nSpecify the factors whose effects are to be removed ( "
                        : "\nEspecifique os fatores cujos efeitos devem ser removidos ( ");
        FactorList();
        for (int t = 0; t < c.nRemoved; t++) c.removed[t] = AskFactorNumber();
        const int* r = c.removed;
        const bool distinct = c.nRemoved == 1 || (c.nRemoved == 2 && r[0] != r[1]) ||
                              (r[0] != r[1] && r[0] != r[2] && r[1] != r[2]);
        if (distinct) return;
        fprintf(out, "%s", eng ? "\n\bThe factors cannot be the same!\n" : "\n\bOs fatores nao podem ser os mesmos!\n");
    }
}

void GroupsOfFactor(int f, std::vector<int>& groups) { groups.assign(grMemb[f - 1], grMemb[f - 1] + nObj); }

// A restriction menu: none, the groups of a factor, or groups read as the
// restriction dialogue reads them.
struct RestrictionMenu {
    const char* menuE;
    const char* menuP;
    const char* factorE;
    const char* factorP;
    const GroupDialogueTexts& groups;
};

// True when a restriction was chosen; *factor is its factor (0: groups read).
bool AskRestriction(const RestrictionMenu& m, std::vector<int>& groups, int* factor) {
    const int option = AskMenu(m.menuE, m.menuP, "0 1 2");
    if (option == 1) {
        fprintf(out, "%s", eng ? m.factorE : m.factorP);
        FactorList();
        *factor = AskFactorNumber();
        GroupsOfFactor(*factor, groups);
    } else if (option == 2) {
        ReadRestrictionGroups(m.groups, nObj, uaLabels, groups.data(), GroupFileFault::kAskAgain);
    }
    return option != 0;
}

// Nesting, bundles and their order.
void AskRestrictions(Choice& c) {
    c.nestGroups.assign(nObj, 0);
    c.bundleGroups.assign(nObj, 0);
    bool askNesting = true;
    if (nesting == 1) {
        fprintf(out, "%s",
                eng ? "A block design was informed when setting the groups. Wish to maintain (m) or to change (c)? "
                      "m/c "
                    : "Um delineamento em blocos foi informado ao definir os grupos. Deseja manter (m) ou alterar "
                      "(a)? m/a ");
        fflush(out);
        if (ScanChar(in, "m c a", Keyboard()) == 'm') {
            // The block factor's interactions go into the error term, and
            // the report finds the block factor through nestingFactor.
            c.nested = c.blocks = true;
            c.nestingFactor = 1;
            GroupsOfFactor(1, c.nestGroups);
            askNesting = false;
        }
    }
    if (askNesting) {
        fprintf(out, "%s", eng ? "\nRandomization restrictions:\n" : "\nRestricoes a aleatorizacao:\n");
        const RestrictionMenu nesting = {
            "Nesting (like a block design or a nested design):\n  (0) None\n  (1) Permutations restricted within "
            "groups of one factor already specified\n  (2) Permutations restricted within groups to be specified\n  "
            "    Enter option: ",
            "Aninhamento (como em delineamento em blocos ou aninhado):\n  (0) Nenhum\n  (1) Permutacoes restritas "
            "dentro de grupos de um fator ja especificado\n  (2) Permutacoes restritas dentro de grupos a "
            "especificar\n      Entre opcao: ",
            "\nSpecify which is the nesting factor ( ", "\nEspecifique o fator de aninhamento ( ",
            eng ? kNestingE : kNestingP};
        c.nested = AskRestriction(nesting, c.nestGroups, &c.nestingFactor);
    }
    fprintf(out, "%s", eng ? "\nAdditional randomization restrictions:\n" : "\nRestricoes adicionais a aleatorizacao:\n");
    const RestrictionMenu bundles = {
        "Permutation among unit bundles (e.g., main plots in a nested design or when subsampling is involved):\n  (0) "
        "None\n  (1) Bundles according to one factor already specified\n  (2) Bundles to be specified\n      Enter "
        "option: ",
        "Permutacao entre feixes de unidades (p.ex., parcelas principais em um delineamento aninhado ou com "
        "subamostragem):\n  (0) Nenhuma\n  (1) Feixes segundo um fator ja especificado\n  (2) Feixes a "
        "especificar\n      Entre opcao: ",
        "\nSpecify which is the bundling factor ( ", "\nEspecifique o fator dos feixes ( ", eng ? kBundlesE : kBundlesP};
    int bundlingFactor = 0;
    c.bundles = AskRestriction(bundles, c.bundleGroups, &bundlingFactor);
    if (c.nested && c.bundles)
        c.bundlesOnly =
            AskMenu("Restriction order:\n  (1) Permute units within nesting levels and then permute the bundles "
                    "(assuming equally sized bundles)\n  (2) Permute only the bundles within nesting levels\n      "
                    "Enter option: ",
                    "Ordem das restricoes:\n  (1) Permutar as unidades dentro dos niveis de aninhamento e depois "
                    "permutar os feixes (supondo feixes de tamanhos iguais)\n  (2) Permutar somente os feixes dentro "
                    "dos niveis de aninhamento\n      Entre opcao: ",
                    "1 2") == 2;
}

// Coefficients add up to 0 within rounding, and are not all 0.
bool ValidContrast(const std::vector<double>& coefficients) {
    double sum = 0, size = 0;
    for (double x : coefficients) {
        sum += x;
        size += std::fabs(x);
    }
    return size > 0 && std::fabs(sum) <= 1e-9 * size;
}

void AskSpecifiedContrasts(Choice& c, int maxContrasts) {
    for (int f = 0; f < nFactors; f++) {
        fprintf(out,
                eng ? "\nEnter the number of contrasts for factor %s (max. %d): "
                    : "\nEntre o numero de contrastes para o fator %s (max. %d): ",
                factorLabel[f], maxContrasts);
        fflush(out);
        const int count = static_cast<int>(ScanNumber(in, Keyboard(), "-", 0, maxContrasts));
        c.nContrasts[f] = count;
        if (count == 0) continue;
        const int g = nGroups[f];
        fprintf(out, "%s", eng ? "Specify the coefficients in each contrast:\n" : "Especifique os coeficientes de cada contraste:\n");
        fprintf(out, "%s", eng ? "Groups:       \t" : "Grupos:       \t");
        for (int a = 0; a < g; a++) fprintf(out, " %d", grLabel[f][a]);
        fprintf(out, "\n");
        c.coefficients[f].assign(count, std::vector<double>(g, 0.0));
        for (int k = 0; k < count; k++)
            for (;;) {
                fprintf(out, eng ? "Contrast %d: \t" : "Contraste %d: \t", k + 1);
                fflush(out);
                for (int a = 0; a < g; a++) c.coefficients[f][k][a] = ScanNumber(in, Keyboard(), "-", -1e300, 1e300);
                if (ValidContrast(c.coefficients[f][k])) break;
                RefusalMessage(eng ? "Reenter! Coefficients must sum zero!!\n"
                                   : "Entre novamente! Os coeficientes devem somar zero!!\n");
            }
    }
}

// False for 99 (back to the main menu).
bool AskContrasts(Choice& c) {
    c.nContrasts.assign(nFactors, 0);
    c.coefficients.assign(nFactors, {});
    fprintf(out,
            eng ? "Contrasts of groups: \n\t(0)no contrasts\n\t(1)perform all pairwise group contrasts\n\t(2)specify "
                  "contrasts\n\t(99)%s\n"
                : "Contrastes de grupos: \n\t(0)nenhum contraste\n\t(1)realizar todos os contrastes entre pares de "
                  "grupos\n\t(2)especificar contrastes\n\t(99)%s\n",
            returnMain);
    fprintf(out, "\t\t%s: ", enterOpt);
    fflush(out);
    c.contrastOption = static_cast<int>(ScanNumber(in, Keyboard(), "0 1 2 99"));
    if (c.contrastOption == 99) return false;
    if (c.contrastOption == 1) {
        for (int f = 0; f < nFactors; f++) {
            if (f == 0 && c.blocks) continue;
            const int g = nGroups[f];
            for (int a = 0; a < g; a++)
                for (int b = a + 1; b < g; b++) {
                    std::vector<double> pair(g, 0.0);
                    pair[a] = 1;
                    pair[b] = -1;
                    c.coefficients[f].push_back(pair);
                }
            c.nContrasts[f] = static_cast<int>(c.coefficients[f].size());
        }
    } else if (c.contrastOption == 2) {
        long long m = 0;
        for (int f = 0; f < nFactors; f++) m = std::max<long long>(m, nGroups[f]);
        AskSpecifiedContrasts(c, static_cast<int>(std::min<long long>(4 * (m * (m - 1) / 2), 2147483647LL)));
    }
    return true;
}

// The whole dialogue; false when the user went back to the main menu.
bool AskChoice(Choice& c) {
    AleatorizacaoMain();
    fprintf(out, "%s",
            eng ? "Use default (d) or wish to specify advanced (a) options? d/a "
                : "Usar opcoes padrao (d) ou especificar opcoes avancadas (a)? d/a ");
    fflush(out);
    c.advanced = ScanChar(in, "d a", Keyboard()) == 'a';
    if (c.advanced) {
        AskStatistic(c);
        AskResiduals(c);
        AskRestrictions(c);
    } else if (nesting == 1) {
        c.nested = c.blocks = true;
        c.nestingFactor = 1;
        GroupsOfFactor(1, c.nestGroups);
        c.bundleGroups.assign(nObj, 0);
    } else {
        c.nestGroups.assign(nObj, 0);
        c.bundleGroups.assign(nObj, 0);
    }
    if (!AskContrasts(c)) return false;
    c.nPerm = AskNumberOfPermutations();
    c.save = AskSaveQuestion(c.nPerm, "Save data and results at each permutation? y/n ",
                             "Guardar dados e resultados a cada permutacao? s/n ", true);
    return true;
}

void Refused(const char* english, const char* portuguese) { RefusalMessage(eng ? english : portuguese); }

// The dissimilarities the test sums, from the resemblance matrix R into W
// (which may be R): similarities become the distances sqrt(s_ii + s_jj -
// 2 s_ij), measure 4 through Gower's centring first; dissimilarities are
// copied. Both triangles are written. False, with a message, when R holds a
// missing value (-999, as measures 24 and 25 give for some pairs) or a value
// that is not finite: no sum of squares can be formed from it.
bool TestDistances(int n, double** R, double** W, bool residuals) {
    bool usable = true;
    for (int i = 0; i < n && usable; i++)
        for (int j = 0; j < n; j++)
            if (i != j && (R[i][j] == MISSING || !std::isfinite(R[i][j]))) {
                usable = false;
                break;
            }
    const bool similarity = IsSimilarityMeasure(optReseTipo);
    if (usable) {
        if (R != W)
            for (int i = 0; i < n; i++) memcpy(W[i], R[i], sizeof(double) * n);
        if (optReseTipo == 4) DissToCenterProdMatrix(n, W, W, false);
        if (similarity || optReseTipo == 4) {
            ProdToSqDist(n, W, W);
            for (int i = 0; i < n; i++) {
                W[i][i] = 0;
                for (int j = i + 1; j < n; j++) {
                    // A square a rounding error took below 0 is 0.
                    const double d2 = W[i][j];
                    W[i][j] = W[j][i] = d2 > 0 ? std::sqrt(d2) : 0.0;
                    if (!std::isfinite(W[i][j])) usable = false;
                }
            }
        }
    }
    if (!usable) {
        if (residuals)
            Refused("\nThe resemblance matrix of the residuals holds undefined (-999) or not finite values: it "
                    "cannot be tested.\n",
                    "\nA matriz de semelhanca dos residuos contem valores indefinidos (-999) ou nao finitos: nao "
                    "pode ser testada.\n");
        else
            Refused("\nThe resemblance matrix holds undefined (-999) or not finite values: the groups cannot be "
                    "compared.\n",
                    "\nA matriz de semelhanca contem valores indefinidos (-999) ou nao finitos: os grupos nao podem "
                    "ser comparados.\n");
    }
    return usable;
}

// The test's matrix from the residuals of data after removing the given
// factors (1-based), into W; table is an nObj x nVar work table.
bool ResidualDistances(int nRemoved, const int* removed, double** table, double** W) {
    if (!Residuals(nObj, nVar, nFactors, grMemb, nGroups, grLabel, data, table, nRemoved, removed)) return false;
    const int done = ResemblanceLib(nObj, nVar, table, W, 1, optReseTipo, optPostReseTransf, varType, alphaH,
                                    kParameter, countDoubleAbsence, false);
    if (done != reseComputed) {
        Refused("\nThe resemblance matrix of the residuals could not be computed with the current measure.\n",
                "\nA matriz de semelhanca dos residuos nao pode ser calculada com a medida atual.\n");
        return false;
    }
    return TestDistances(nObj, W, W, true);
}

// The restrictions can be applied to the units, and to the units of each
// contrast, which are permuted on their own (bundles a contrast takes in
// part are unequal): else the engine's message, before any report is opened.
bool RestrictionsAccepted(const Choice& c) {
    if (!CheckNestedDesign(nObj, c.nested, c.nestGroups.data(), c.bundles, c.bundleGroups.data(), c.bundlesOnly,
                           false, nullptr))
        return false;
    // The alternative statistics test no contrasts.
    if (c.contrastOption == 0 || (c.advanced && c.statistic == 3)) return true;
    std::vector<int> position(nObj);
    std::unique_ptr<bool[]> mask(new bool[nObj]);
    for (int f = 0; f < nFactors; f++) {
        GroupPositions(nObj, grMemb[f], position.data());
        for (int k = 0; k < c.nContrasts[f]; k++) {
            for (int u = 0; u < nObj; u++) mask[u] = c.coefficients[f][k][position[u] - 1] != 0;
            if (!CheckNestedDesign(nObj, c.nested, c.nestGroups.data(), c.bundles, c.bundleGroups.data(),
                                   c.bundlesOnly, false, mask.get()))
                return false;
        }
    }
    return true;
}

// The record of a run with the options chosen.
manovaInput Record(Choice& c, double** W, FILE* report) {
    manovaInput in{};
    in.nObj = nObj;
    in.nVar = nVar;
    in.nPermutations = c.nPerm;
    in.dissim = W;
    in.contrastCoef = c.ContrastPointers();
    in.data = data;
    in.alreadySquared = false;
    in.doContrasts = c.contrastOption != 0;
    in.seedGenerator = false;
    in.nested = c.nested;
    in.permuteBundles = c.bundles;
    in.bundlesOnly = c.bundlesOnly;
    in.firstFactorBlocks = c.blocks;
    in.synchronized = false;
    in.groupMeans = NumericData();
    in.pseudoF = c.advanced && c.statistic == 2;
    in.nFactors = nFactors;
    in.memberships = grMemb;
    in.nContrasts = c.nContrasts.data();
    in.nestingFactor = c.nestingFactor;
    in.nestGroups = c.nestGroups.data();
    in.bundleGroups = c.bundleGroups.data();
    in.factorLabels = factorLabel;
    in.unitLabels = uaLabels;
    in.seed = static_cast<unsigned int>(seed);
    in.portuguese = port == 1 ? 1 : 0;
    in.digits = sDigits;
    in.printEachPermutation = c.save == 'y';
    in.intermediateTable = c.save == 'p';
    in.nRemoved = c.nRemoved;
    in.removedFactors = c.removed;
    in.balance = in.balanceAlways = false;
    in.nTests = in.testIndex = 1;
    in.showProgress = true;
    in.mrppOption = false;
    in.report = report;
    return in;
}

// The default test series over two or more factors: interactions on
// residuals, the cells unrestricted, each factor within the cells of the
// others; the last run (or, when every run took its own partition alone, an
// object of the last run's observed statistics) carries every collected P
// into the report.
class Series {
public:
    Series(Choice& c, double** W, FILE* report) : c_(c), W_(W), report_(report), k_(nFactors) {}

    std::unique_ptr<RandomizationTestManova> Run(double start) {
        const int block = c_.blocks ? 0 : -1;
        const bool residuals = NumericData();
        P_.assign(static_cast<size_t>(k_ + 1) * (k_ + 1), kUndefined);
        for (int i = 0; i <= k_; i++) Prow_.push_back(P_.data() + static_cast<size_t>(i) * (k_ + 1));
        contrastP_.assign(k_, {});
        for (int f = 0; f < k_; f++) contrastP_[f].assign(std::max(c_.nContrasts[f], 1), kUndefined);
        for (std::vector<double>& v : contrastP_) contrastProw_.push_back(v.data());

        int pairs = 0;
        for (int i = 0; i < k_; i++)
            for (int j = i + 1; j < k_; j++)
                if (i != block) pairs++;
        const bool threeFactors = k_ == 3 && block < 0;
        nTests_ = (residuals ? pairs + (threeFactors ? 1 : 0) : 0) + 1 + (block < 0 ? k_ : k_ - 1);

        double threeP = kUndefined;
        if (residuals) {
            ScopedMatrix<double> table(nObj, nVar);
            for (int i = 0; i < k_; i++)
                for (int j = i + 1; j < k_; j++) {
                    if (i == block) continue;
                    const int removed[3] = {i + 1, j + 1, 0};
                    testIndex_++;
                    if (!ResidualDistances(2, removed, table, W_)) continue;
                    manovaInput in = Base(2, removed);
                    in.pseudoF = true;
                    in.doContrasts = false;
                    in.nested = block >= 0;
                    in.nestGroups = c_.nestGroups.data();
                    Prow_[i][j] = RandomizationTestManova(&in).GetManovaResults()->P[i][j];
                }
            if (threeFactors) {
                const int removed[3] = {1, 2, 3};
                testIndex_++;
                if (ResidualDistances(3, removed, table, W_)) {
                    manovaInput in = Base(3, removed);
                    in.pseudoF = true;
                    in.doContrasts = false;
                    in.nested = false;
                    threeP = RandomizationTestManova(&in).GetManovaResults()->P3;
                }
            }
        }

        // The matrix of the data as they are: checked before the dialogue
        // ended, so it converts.
        TestDistances(nObj, rese, W_, false);
        // Without saved permutations, whose blocks show every factor, a
        // main effect or the cells are tested over their own partition
        // alone: their Qb does not depend on the other factors, and such a
        // run costs a fraction of one over every partition. It draws the
        // same lists from the generator as a run over every partition only
        // when no contrast is drawn besides them: with contrasts every run
        // takes every partition, so that a seed gives the same P either way.
        int contrasts = 0;
        if (c_.contrastOption != 0)
            for (int f = 0; f < k_; f++) contrasts += c_.nContrasts[f];
        const bool alone = c_.save == 'n' && contrasts == 0;
        cells_.assign(nObj, 0);
        testIndex_++;
        if (alone) {
            OtherFactorCells(-1);
            RunAlone(-1, false, Prow_[k_][k_], nullptr);
        } else {
            manovaInput in = Base(0, nullptr);
            in.nested = false;
            RandomizationTestManova t(&in);
            const manovaResults* res = t.GetManovaResults();
            for (int i = 0; i <= k_; i++) Prow_[i][i] = res->P[i][i];
        }

        std::unique_ptr<RandomizationTestManova> last;
        for (int i = 0; i < k_; i++) {
            if (i == block) continue;
            OtherFactorCells(i);
            if (alone) {
                testIndex_++;
                RunAlone(i, true, Prow_[i][i], contrastProw_[i]);
                if (i < k_ - 1) continue;
                // The report's object: the last run's record, its observed
                // statistics over every partition and no permutation of its
                // own, since every P it shows comes from the runs above.
                manovaInput& in = last_;
                in = Base(0, nullptr);
                in.nested = true;
                in.nestGroups = cells_.data();
                in.nPermutations = 1;
                in.showProgress = false;
                last.reset(new RandomizationTestManova(&in));
                last->SetNumberOfPermutations(c_.nPerm);
                continue;
            }
            testIndex_++;
            manovaInput& in = last_;
            in = Base(0, nullptr);
            in.nested = true;
            in.nestGroups = cells_.data();
            last.reset(new RandomizationTestManova(&in));
            const manovaResults* res = last->GetManovaResults();
            Prow_[i][i] = res->P[i][i];
            if (in.doContrasts)
                for (int q = 0; q < c_.nContrasts[i]; q++) contrastProw_[i][q] = res->contrasts[i][q][1];
        }
        if (k_ == 3)
            last->ReplaceProbabilities(Prow_.data(), contrastProw_.data(), threeP);
        else
            last->ReplaceProbabilities(Prow_.data(), contrastProw_.data());
        last->SetElapsedTime(static_cast<float>(difftime_Clock(start)));
        return last;
    }

private:
    manovaInput Base(int nRemoved, const int* removed) {
        std::copy(removed ? removed : kNone, (removed ? removed : kNone) + 3, removed_);
        manovaInput in = Record(c_, W_, report_);
        in.nRemoved = nRemoved;
        in.removedFactors = removed_;
        in.nTests = nTests_;
        in.testIndex = testIndex_;
        return in;
    }

    // Unit u's group in cells_: the 1-based number of the first unit with
    // its groups on every factor but i (i = -1: on every factor).
    void OtherFactorCells(int i) {
        std::map<std::vector<int>, int> first;
        std::vector<int> key;
        for (int u = 0; u < nObj; u++) {
            key.clear();
            for (int f = 0; f < k_; f++)
                if (f != i) key.push_back(grMemb[f][u]);
            cells_[u] = first.emplace(key, u + 1).first->second;
        }
    }

    // The codes of the cells of every factor (cells_): those of the first
    // factor whose groups are the cells, when the other factors are nested
    // in it, as a run over every partition sums their groups in that
    // factor's order and a sum in another order may round apart; else
    // cells_.
    int* SameGroupingAsCells() {
        const size_t cells = std::set<int>(cells_.begin(), cells_.end()).size();
        for (int f = 0; f < k_; f++)
            if (std::set<int>(grMemb[f], grMemb[f] + nObj).size() == cells) return grMemb[f];
        return cells_.data();
    }

    // The P of one partition's Qb, over that partition alone: factor f's
    // groups with its contrasts (P and contrastP), within cells_ when
    // nested, or (f = -1) the cells_ themselves.
    void RunAlone(int f, bool nested, double& P, double* contrastP) {
        int* memberships[1] = {f >= 0 ? grMemb[f] : SameGroupingAsCells()};
        int count[1] = {f >= 0 && c_.contrastOption != 0 ? c_.nContrasts[f] : 0};
        double** coefficients[1] = {count[0] > 0 ? c_.contrastRows[f].data() : nullptr};
        char* label[1] = {factorLabel[f >= 0 ? f : 0]};
        manovaInput in = Base(0, nullptr);
        in.nFactors = 1;
        in.memberships = memberships;
        in.nContrasts = count;
        in.contrastCoef = coefficients;
        in.doContrasts = count[0] > 0;
        in.factorLabels = label;
        in.firstFactorBlocks = false;
        in.nestingFactor = 0;
        in.groupMeans = false;
        in.nested = nested;
        in.nestGroups = cells_.data();
        RandomizationTestManova t(&in);
        const manovaResults* res = t.GetManovaResults();
        P = res->P[0][0];
        for (int q = 0; q < count[0]; q++) contrastP[q] = res->contrasts[0][q][1];
    }

    static constexpr int kNone[3] = {0, 0, 0};
    Choice& c_;
    double** W_;
    FILE* report_;
    const int k_;
    int nTests_ = 1, testIndex_ = 0;
    int removed_[3] = {0, 0, 0};
    std::vector<double> P_;
    std::vector<double*> Prow_;
    std::vector<std::vector<double>> contrastP_;
    std::vector<double*> contrastProw_;
    std::vector<int> cells_;
    manovaInput last_{};
};

}  // namespace group_test

int AleatorizacaoUnitsManova() {
    using namespace group_test;
    // Key P is offered once a resemblance matrix between the units exists,
    // and SetGroups has just made sure of the groups.
    if (temRese != 1 || !rese || optReseDir != 1 || nRows != nObj || temGrupo != 1 || !grMemb || !factorLabel ||
        nFactors < 1)
        return 0;
    Choice c;
    if (!AskChoice(c)) return 0;

    const double start = difftime_Clock_Init();
    // The test sums a converted copy: rese, data and the session stay as
    // they are.
    ScopedMatrix<double> W(nObj, nObj);
    if (c.advanced && c.nRemoved > 0) {
        ScopedMatrix<double> table(nObj, nVar);
        if (!ResidualDistances(c.nRemoved, c.removed, table, W)) return 0;
    } else if (!TestDistances(nObj, rese, W, false)) {
        return 0;
    }
    if ((c.nested || c.bundles) && !RestrictionsAccepted(c)) return 0;

    FILE* report = fopenck("Vidive.txt", nullptr, modeVidive);
    if (!report) return 0;
    std::unique_ptr<RandomizationTestManova> test;
    manovaInput in = Record(c, W, report);
    Series series(c, W, report);  // the last run of a series keeps pointers into it
    if (c.advanced && c.statistic == 3) {
        test.reset(new RandomizationTestManova(&in, 3));
        test->PrintManovaResults(report, uaLabels, sDigits, false, 0);
    } else if (c.advanced) {
        test.reset(new RandomizationTestManova(&in));
        test->PrintManovaResults(report, sDigits, c.nRemoved, c.removed, uaLabels);
    } else if (nFactors == 1 || (nFactors == 2 && c.blocks)) {
        test.reset(new RandomizationTestManova(&in));
        test->PrintManovaResults(report, uaLabels, sDigits, 0, nullptr, true);
    } else {
        test = series.Run(start);
        test->PrintManovaResults(report, uaLabels, sDigits, 0, nullptr, true);
    }
    ShowStatus(report);
    const bool written = fcloseck(report, "Vidive.txt");
    strcpy(modeVidive, "a");
    test.reset();
    ClearLine();
    if (written)
        fprintf(out, "%s", eng ? "\n\nSee results on file Vidive.txt.\n" : "\n\nVeja resultados no arquivo Vidive.txt.\n");
    return 1;
}

// ===========================================================================
// Test drivers
// ===========================================================================


// ===========================================================================
// Linear-model and redundancy-analysis tests
// ===========================================================================

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
              const int* bundleGroups, int* list, bool bundlesWithinBlocks = false) {
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
    // The dump's blocks are closed by the test routines themselves.
    const long failedBefore = FailedCloses();

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
    // results" only when it and every block of the dump were written.
    void Report(const char* english, const char* portuguese, int K, const double* statistic, const double* P) const {
        const double seconds = difftime_Clock(start);
        FILE* f = fopenck("Vidive.txt", nullptr, finalMode);
        ClearLine();
        if (!f) return;
        PrintFinalBlockHead(f, eng ? "RANDOMIZATION TEST" : "TESTE DE ALEATORIZACAO", dump, time(nullptr), seconds,
                            nPerm);
        fprintf(f, "%s", eng ? english : portuguese);
        if (!eng) fprintf(f, "Resultados:\n");
        PrintVectorTab(f, K, statistic, sDigits);
        for (int k = 0; k < K; k++) fprintf(f, "%s\t", ProbabilityText(P[k], sDigits).c_str());
        fprintf(f, "\n");
        if (!fcloseck(f, "Vidive.txt") || FailedCloses() != failedBefore) return;
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
    if (f) fcloseck(f, "Vidive.txt");
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
// ===========================================================================
// Path analysis: the engine
// ===========================================================================

namespace {

bool TransformationsInForce() { return optTrEs != 0 || optTrVeVar != 0 || optTrVeUnits != 0; }

bool HoldsMissing(int n, int p, double** X) {
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++)
            if (X[i][j] == MISSING) return true;
    return false;
}

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

void ResemblanceNodes::ArrangedMatrix(int a, const int* const* lists, double** D) const {
    double** A = matrices_[a];
    for (int u = 0; u < n_; u++)
        for (int v = 0; v < n_; v++) D[u][v] = lists ? A[lists[a][u] - 1][lists[a][v] - 1] : A[u][v];
}

void ResemblanceNodes::NodeMatrix(const int* const* lists, double** M) {
    const int b = Nodes(), n = n_;
    if (literal_) {
        for (int a = 0; a < b; a++) ArrangedMatrix(a, lists, copies_[a]);
        for (int a = 0; a < b; a++) {
            M[a][a] = 1.0;
            for (int c = a + 1; c < b; c++) M[a][c] = M[c][a] = MatrixCorr(n, copies_[a], copies_[c]);
        }
        return;
    }
    for (int a = 0; a < b; a++) {
        M[a][a] = 1.0;
        for (int c = a + 1; c < b; c++) {
            double r = 0.0;
            if (n >= 3 && sumSquares_[a] > 0.0 && sumSquares_[c] > 0.0) {
                const double* A = centred_[a].data();
                const double* C = centred_[c].data();
                const int* la = lists ? lists[a] : nullptr;
                const int* lc = lists ? lists[c] : nullptr;
                double s = 0.0;
                for (int u = 0; u < n; u++) {
                    const double* rowA = A + static_cast<size_t>(la ? la[u] - 1 : u) * n;
                    const double* rowC = C + static_cast<size_t>(lc ? lc[u] - 1 : u) * n;
                    s += GatheredDot(rowA, rowC, la, lc, u + 1, n);
                }
                r = s / std::sqrt(sumSquares_[a] * sumSquares_[c]);
            }
            M[a][c] = M[c][a] = r;
        }
    }
}

void FirstNodeMatrix(int b, double** observed, double** random, int first, double** M) {
    for (int a = 0; a < b; a++) std::memcpy(M[a], observed[a], sizeof(double) * b);
    for (int a = 0; a < b; a++) M[first][a] = M[a][first] = random[first][a];
}

void PermutationTestOfClaims(PathNodes& nodes, double** observed, const std::vector<PathClaim>& claims,
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
        nodes.NodeMatrix(lists, random);
        int modelFirst = -1;
        for (int c = 0; c < k; c++) {
            double** R = random;
            if (nullModel == kPermuteFirstNode) {
                if (claims[c].first != modelFirst) {
                    modelFirst = claims[c].first;
                    FirstNodeMatrix(b, observed, random, modelFirst, model);
                }
                R = model;
            }
            partials[c] = partial(R, claims[c]);
            if (CountsTowardP(partials[c], rObs[c], TieRule::LargerAbsolute)) count[c] += 1.0;
        }
        if (observer) observer->Permutation(i, lists, random, partials.data());
    }
    for (int c = 0; c < k; c++) P[c] = PermutationP(count[c], design.nPerm, rObs[c]);
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
                    s_.resemblances->ArrangedMatrix(a, lists, square_);
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
                FirstNodeMatrix(b_, observed_, random, c.first, model_);
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
    {
        BasisSetDump dump(report, s, claims, observed, nullModel);
        PermutationTestOfClaims(*s.nodes, observed, claims, nullModel, design, rObs.data(), P.data(),
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

PermutationDesign DesignOf(int nPerm, int restriction, int dim, bool nested, const int* nestGroups, bool bundled,
                           const int* bundleGroups, bool bundleFlag) {
    return PermutationDesign{nPerm, restriction, dim, nested, nestGroups, bundled, bundleGroups, bundleFlag};
}

bool DesignFits(const PermutationDesign& d) {
    return RestrictionsFit(nObj, d.restriction, d.dim, d.nested, d.nestGroups, d.bundled, d.bundleGroups);
}

// The claims of a block test: the basis-set size, typed, and each claim as it
// is typed (a size typed by mistake allocates nothing).
}  // namespace

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

int AskOption(const char* english, const char* portuguese, int value = 0) {
    fprintf(out, eng ? english : portuguese, value);
    fflush(out);
    return static_cast<int>(ScanNumber(in, Keyboard(), "1 2"));
}

}  // namespace

// ===========================================================================
// Path analysis: the tests
// ===========================================================================

void AleatorizacaoVar_PartialCorrelation(partialCorr* run, int nullModel) {
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
    PermutationTestOfClaims(nodes, run->corr, claims, nullModel, design, run->rObs, run->P,
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
        fprintf(report, "\n");
        fcloseck(report, "Vidive.txt");
    }
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
                AleatorizacaoVar_PartialCorrelation(run.get(), nullModel);
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
    fcloseck(report, "Vidive.txt");
    ClearLine();
}

void PathAnalysisBasisSetPermutationTest(int nPerm, int restriction, int dim, bool nested, int* nestGroups,
                                         bool bundled, int* bundleGroups, bool bundleFlag, int nullModel,
                                         char save) {
    const PermutationDesign design =
        DesignOf(nPerm, restriction, dim, nested, nestGroups, bundled, bundleGroups, bundleFlag);
    if (!DesignFits(design)) return;
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

// ===========================================================================
// Tests between two data sets
// ===========================================================================

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

// ===========================================================================
// Variable-comparison tests: key A
// ===========================================================================

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
