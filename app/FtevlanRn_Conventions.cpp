// ===========================================================================
// Prologue
// ===========================================================================

#include "FtevlanRn.h"

#include <cmath>
#include <ctime>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "iflibG.h"
#include "rhlibOut.h"
#include "rhlib_M.h"

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
