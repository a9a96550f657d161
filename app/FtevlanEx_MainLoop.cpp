// ===========================================================================
// Main loop
// ===========================================================================

#include "FtevlanEx.h"
#include "FtevlanEx_internal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <functional>
#include <string>

#include <gsl/gsl_rng.h>

#include "FtevlanGlob.h"
#include "FtevlanRn.h"
#include "PathModelGenerator_Tevlan.h"
#include "RandomDataGenOrdination_Tevlan.h"
#include "TevlanDynamics.h"
#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlib_M.h"

using namespace ex_detail;

namespace {

void AppendReport() {
    if (strcmp(modeVidive, "w") == 0) strcpy(modeVidive, "a");
}

// The session file is rewritten only while the resemblance matrix is small
// enough; beyond that the session is marked as not saved, unless the file
// still holds it (the key changed nothing the file keeps).
void Apply400RowRule() {
    if (nRows <= 400)
        WriteSessionTrack();
    else if (savedSession == 1 && !SessionFileIsCurrent())
        savedSession = 0;
}

}  // namespace

void AskInputSource() {
    for (;;) {
        fprintf(stdout, "Read input from file (f) or from the keyboard (k)? f/k ");
        fflush(stdout);
        int c = ScanChar(stdin, "f k", "keyboard");
        if (c == 'k') {
            if (in != stdin) fclose(in);
            in = stdin;
            return;
        }
        fprintf(stdout, "Enter name of text file with all the options: ");
        fflush(stdout);
        char name[50];
        freadck(stdin, "%s", name, "keyboard");
        FILE* f = fopenck(name, nullptr, "r");
        if (f) {
            if (in != stdin) fclose(in);
            in = f;
            return;
        }
    }
}

unsigned long StartGeneratorRun() {
    unsigned long chosen = 0;
    fprintf(out, "\nWish to specify random number initializer (s) or let it be automatic (a)? s/a ");
    fflush(out);
    if (ScanChar(stdin, "s a", "keyboard") == 's') {
        fprintf(out, "Enter random number seed: ");
        fflush(out);
        chosen = static_cast<unsigned long>(ScanNumber(stdin, "keyboard", "-", 1, 4294967295.0));
    } else {
        chosen = AutomaticSeed();
    }
    InitRndNumberGenerator(static_cast<unsigned int>(chosen));
    fprintf(out, "The random number generator is a '%s' generator\n", gsl_rng_name(r));
    AskInputSource();
    return chosen;
}

namespace {
bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }
}  // namespace

bool IsOptionsFile(const std::string& name) {
    struct stat o, options;
    return in != stdin && stat(name.c_str(), &o) == 0 && fstat(fileno(in), &options) == 0 && SameFile(o, options);
}

bool SameExistingFile(const std::string& a, const std::string& b) {
    struct stat x, y;
    return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && SameFile(x, y);
}

bool AppendTo(const std::string& name, const std::function<void(FILE*)>& body) {
    FILE* f = fopenck(name.c_str(), nullptr, "a");
    if (!f) return false;
    // A block that could not be written whole is taken back: the summary
    // files gather one line per run, and a torn line would run into the
    // next run's line without a word.
    const long before = fseek(f, 0, SEEK_END) == 0 ? ftell(f) : -1;
    body(f);
    if (fcloseck(f, name.c_str())) return true;
    if (before >= 0) {
        // Where even that fails, fcloseck's message has said the block is missing.
        const int cut = truncate(name.c_str(), static_cast<off_t>(before));
        static_cast<void>(cut);
    }
    return false;
}

namespace {

void Banner() {
    fprintf(out, "\n\n\n%s\n", "TEVLAN");
    fprintf(out, "%s%s\n",
            eng ? "for multivariate analysis, randomization tests and bootstrapping       v."
                : "para analise multivariada, testes de aleatorizacao e bootstrap         v.",
            versao);
    fprintf(out, "%s\n", line);
    fprintf(out, "%s\n", line);
}

}  // namespace

int TevlanMain() {
    ReadPreferences();
    Initialize();
    InitIFLibG();
    Banner();
    Init();
    CheckSession();
    InitMultiprocessing(nProcessors);

    for (;;) {
        ShowStatus(out);
        fprintf(out, "\n%s\n", line);
        fprintf(out, "%s", eng ? "MAIN MENU\n" : "MENU PRINCIPAL\n");
        int stage = stepReached < 0 ? 0 : (stepReached > 4 ? 4 : stepReached);
        std::string accepted;
        for (int k = 0; k < 17; k++) {
            if (appliesMain[k][stage] == 1) {
                fprintf(out, "\t* %s\n", optMainMenuInfo[k]);
                accepted += optMainMenuInfo[k][0];
                accepted += ' ';
            } else {
                fprintf(out, "\t  %s\n", optMainMenuInfo[k]);
            }
        }
        fprintf(out, "%s\n", line);
        fprintf(out, "%s: ", enterOptValid);
        accepted += "U J ";
        fflush(out);
        int key = ScanChar(in, accepted.c_str(), "teclado");
        optMain = toupper(key);
        fprintf(out, "\n\n");

        switch (optMain) {
            case 'N':
                // Only a data set loaded or opened is written: giving up
                // inside N must never replace a saved session by an empty one.
                if (SpecifySession() == 1) WriteSessionTrack();
                break;
            case 'V':
                if (DescriptiveAttributes() == 1) AppendReport();
                break;
            case 'T':
                if (TransformaDados() == 1) {
                    AppendReport();
                    temRese = 0;
                    temEscore = 0;
                    WriteSessionTrack();
                    SetDataType(optTrEs, optTrVeVar, optTrVeUnits);
                    SetStepReached();
                }
                break;
            case 'R':
                if (Semelhanca() == 1) {
                    AppendReport();
                    temRese = 1;
                    temEscore = 0;
                    Apply400RowRule();
                    SetStepReached();
                }
                break;
            case 'G':
                SetGroups();
                Apply400RowRule();
                SetStepReached();
                break;
            case 'D':
                Scatter();
                break;
            case 'O':
                if (Ordenacao() == 1) {
                    AppendReport();
                    temEscore = 1;
                    Apply400RowRule();
                }
                break;
            case 'C':
                Cluster();
                AppendReport();
                break;
            case 'P':
                SetGroups();
                AleatorizacaoUnitsManova();
                Apply400RowRule();
                AppendReport();
                break;
            case 'A':
                AleatorizacaoVar();
                Apply400RowRule();
                AppendReport();
                break;
            case 'F':
                if (dataType == 1 || dataType == 2 || dataType == 4) {
                    PathAnalysis();
                    Apply400RowRule();
                    AppendReport();
                } else {
                    fprintf(out, "\n%s",
                            eng ? "Data type is not adequate for any option of path analysis."
                                : "Tipo de dados nao adequado para nenhuma opcao de analise de caminhos.");
                }
                break;
            case 'K':
                Canonical();
                AppendReport();
                Apply400RowRule();
                break;
            case 'Y':
                Dynamics();
                AppendReport();
                break;
            case 'E':
                SetPreferences();
                break;
            case 'S':
                SaveSession();
                break;
            case 'Z':
                AskInputSource();
                break;
            case 'X':
                return 1;
            case 'U':
                RandomDataGenerator();
                break;
            case 'J':
                PathModelGenerator();
                break;
            default:
                break;
        }
    }
}
