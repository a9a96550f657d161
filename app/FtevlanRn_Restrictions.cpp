// ===========================================================================
// Permutation restrictions
// ===========================================================================

#include "FtevlanRn.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "FtevlanRn_internal.h"
#include "rhlibOut.h"

using namespace rn_detail;

namespace rn_detail {

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

void RefusalMessage(const char* text) {
    fflush(stdout);
    fprintf(stderr, "%s", text);
    fputc(7, stderr);
    fflush(stderr);
}

}  // namespace rn_detail

namespace {

// The dimension m of a matrix with n cells above its diagonal
// (m(m-1)/2 = n), or 0 when there is none.
int EmbeddedDimension(int n) {
    const long long m = std::llround((1.0 + std::sqrt(1.0 + 8.0 * n)) / 2.0);
    return n >= 1 && m * (m - 1) / 2 == n ? static_cast<int>(m) : 0;
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
