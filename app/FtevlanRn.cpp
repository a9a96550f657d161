#include "FtevlanRn.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <ctime>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "iflibG.h"
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
