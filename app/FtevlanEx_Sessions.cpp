#include "FtevlanEx.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gsl/gsl_rng.h>
#include <omp.h>

#include "FtevlanGlob.h"
#include "FtevlanRn.h"
#include "PathModelGenerator_Tevlan.h"
#include "RandomDataGenOrdination_Tevlan.h"
#include "TevlanClasses.h"
#include "TevlanDynamics.h"
#include "samplerM.h"
#include "iflibG.h"
#include "rhComplexity.h"
#include "rhlibDim.h"
#include "rhlibOut.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"
#include "samplerM.h"

// ===========================================================================
// Main loop
// ===========================================================================

namespace {

void AppendReport() {
    if (strcmp(modeVidive, "w") == 0) strcpy(modeVidive, "a");
}

bool SessionFileIsCurrent();

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
    body(f);
    return fcloseck(f, name.c_str());
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

// ===========================================================================
// Preferences
// ===========================================================================

namespace {

const char* const kPreferencesFile = "Tevlan.prf";
const char* const kPreferencesTemp = "Tevlan.prf.tmp";

// Significant digits beyond what a double carries only print noise, and
// a very large precision makes every print take seconds and gigabytes.
constexpr int kMaxDigits = 17;

int AvailableProcessors() {
    int n = omp_get_num_procs();
    return n < 1 ? 1 : n;
}

int NormalisedDigits(long long d) {
    if (d <= 0) return 5;
    return d > kMaxDigits ? kMaxDigits : static_cast<int>(d);
}

// More axes than any table of the program has: the printers size their
// lists from it (2 x axes once overflowed at 1073741824).
constexpr int kMostAxes = 1000;

int NormalisedAxes(long long a) {
    if (a <= 0) return 6;
    return a > kMostAxes ? kMostAxes : static_cast<int>(a);
}

// 0 means every processor; more than there are is never applied or stored.
int NormalisedProcessors(long long n) {
    if (n <= 0) return 0;
    int available = AvailableProcessors();
    return n > available ? available : static_cast<int>(n);
}

}  // namespace

void ReadPreferences() {
    nMaxDim = 6;
    // Never a FIFO or a device: the start must not wait on one.
    FILE* f = IsRegularFile(kPreferencesFile) ? fopen(kPreferencesFile, "r") : nullptr;
    if (!f) return;
    char tag[16];
    if (fscanf(f, "%15s", tag) != 1 || strcmp(tag, versionPref) != 0) {
        fclose(f);
        return;
    }
    // Values are taken one by one; a file that ends early or holds a token
    // that is not a number keeps the defaults for the rest.
    bool complete = false;
    int e = 0, p = 0;
    double sizes[4];
    int digits = 0, axes = 0, procs = 0;
    do {
        if (fscanf(f, "%d", &e) != 1 || fscanf(f, "%d", &p) != 1) break;
        port = p == 1 ? 1 : 0;
        eng = 1 - port;
        int k = 0;
        while (k < 4 && fscanf(f, "%lf", &sizes[k]) == 1 && std::isfinite(sizes[k])) k++;
        if (k < 4) break;
        scatterHSize = sizes[0];
        scatterVSize = sizes[1];
        treeHSize = sizes[2];
        treeVSize = sizes[3];
        if (fscanf(f, "%d", &digits) != 1) break;
        sDigits = NormalisedDigits(digits);
        if (fscanf(f, "%d", &axes) != 1 || axes > kMostAxes) break;
        nMaxDim = NormalisedAxes(axes);
        if (fscanf(f, "%d", &procs) != 1) break;
        nProcessors = NormalisedProcessors(procs);
        complete = true;
    } while (false);
    fclose(f);
    if (!complete) {
        fflush(stdout);
        fprintf(stderr, "%s",
                eng ? "\nPreferences file Tevlan.prf is incomplete: defaults are used for the missing settings.\n"
                    : "\nArquivo de preferencias Tevlan.prf incompleto: valores padrao usados para o que falta.\n");
        fputc(7, stderr);
        fflush(stderr);
    }
}

void WritePreferences() {
    // Written beside the old file and renamed over it, so that a failed
    // write never leaves a truncated preferences file behind.
    FILE* f = fopenck(kPreferencesTemp, nullptr, "w");
    if (!f) throw 3;
    bool ok = fprintf(f, "%s\n", versionPref) >= 0;
    ok = ok && fprintf(f, "%d\n", eng) >= 0;
    ok = ok && fprintf(f, "%d\n", port) >= 0;
    ok = ok && fprintf(f, "%f\n", scatterHSize) >= 0;
    ok = ok && fprintf(f, "%f\n", scatterVSize) >= 0;
    ok = ok && fprintf(f, "%f\n", treeHSize) >= 0;
    ok = ok && fprintf(f, "%f\n", treeVSize) >= 0;
    ok = ok && fprintf(f, "%d\n", sDigits) >= 0;
    ok = ok && fprintf(f, "%d\n", nMaxDim) >= 0;
    ok = ok && fprintf(f, "%d\n", nProcessors) >= 0;
    time_t now = time(nullptr);
    ok = ok && fprintf(f, "%s", ctime(&now)) >= 0;
    ok = fflush(f) == 0 && ok;
    ok = fclose(f) == 0 && ok;
    if (!ok || rename(kPreferencesTemp, kPreferencesFile) != 0) {
        remove(kPreferencesTemp);
        throw 3;
    }
}

void SetPreferences() {
    for (;;) {
        if (eng)
            fprintf(out, "\nPREFERENCES\nSet preferences of: \n"
                         "   L  language (change to Portuguese/mudar para portugues)\n"
                         "   F  output \n   M  multiprocessing \n   C  return to main menu \nType option: ");
        else
            fprintf(out, "\nPREFERENCIAS\nAlterar preferencias em: \n"
                         "   L  lingua (mudar para ingles/change to English)\n"
                         "   F  formato de resultados \n   M  multiprocessamento \n"
                         "   C  voltar ao menu principal \nEntre opcao: ");
        fflush(out);
        int key = ScanChar(in, "L F M C", "keyboard");
        if (key == 'c') break;
        if (key == 'l') {
            port = port == 1 ? 0 : 1;
            eng = 1 - port;
            Initialize();
        } else if (key == 'm') {
            fprintf(out, "%s",
                    eng ? "Specify the maximum number of processors to be used (enter zero for default, which is "
                          "the maximum available): "
                        : "Especifique o numero maximo de processadores a usar (entre zero para usar o padrao: "
                          "maximo disponivel): ");
            fflush(out);
            double n = ScanNumber(in, "keyboard", "-", 0, 2147483647.0);
            nProcessors = NormalisedProcessors(static_cast<long long>(n));
            InitMultiprocessing(nProcessors);
        } else if (key == 'f') {
            fprintf(out, "\n%s\n", line);
            fprintf(out, "%s",
                    eng ? "Number of significant digits on printouts (enter zero for default):\n"
                        : "Numero de digitos significativos nos resultados (entre zero para usar o padrao):\n");
            fflush(out);
            sDigits = NormalisedDigits(static_cast<long long>(ScanNumber(in, "keyboard", "-", 0, 2147483647.0)));
            fprintf(out, "%s",
                    eng ? "Number of ordination dimensions on printouts (enter zero for default):\n"
                        : "Numero de dimensoes de ordenacao nos resultados (entre zero para usar o padrao):\n");
            fflush(out);
            nMaxDim = NormalisedAxes(static_cast<long long>(ScanNumber(in, "keyboard", "-", 0, kMostAxes)));
        }
    }
    WritePreferences();
}

// ===========================================================================
// Language tables, menus and status
// ===========================================================================

void Initialize() {
    const bool pt = port == 1;
#define TEVLAN_POINT(name) name = pt ? name##P : name##E
    TEVLAN_POINT(yesnoInfo);
    TEVLAN_POINT(optTransfCorrelInfo);
    TEVLAN_POINT(clusMethInfo);
    TEVLAN_POINT(optOrdiTypeInfo);
    TEVLAN_POINT(optCriterioInfo);
    TEVLAN_POINT(optPostReseTransfInfo);
    TEVLAN_POINT(optReseDirInfo);
    TEVLAN_POINT(optReseTipoInfo);
    TEVLAN_POINT(optTrVe2Info);
    TEVLAN_POINT(optTrVeDirInfo);
    TEVLAN_POINT(optTrInfo);
    TEVLAN_POINT(optTrEsInfo);
    TEVLAN_POINT(optDescrAttrInfo);
    TEVLAN_POINT(optVarTipoInfo);
    TEVLAN_POINT(optMainMenuInfo);
#undef TEVLAN_POINT
    enterOpt = pt ? "Entre opcao" : "Enter option";
    enterOptValid = pt ? "Entre opcao (opcoes validas com *)" : "Enter option (valid options with *)";
    returnMain = pt ? "voltar ao menu principal" : "return to main menu";
    iteraStr = pt ? "Iteracao" : "Iteration";
    versao = "3.85b";
}

int ShowMenu(int first, int last, const int (*applies)[8], int column, const char** texts, int* chosen) {
    // Only rows and columns inside the tables are ever read: a row beyond
    // either table is not offered, nor is any entry of a column that does
    // not exist (such as the column of data type 0).
    int length = MenuTableLength(texts);
    if (length > 0 && last > length - 1) last = length - 1;
    int rows = applies ? AppliesTableRows(applies) : 0;
    bool columnOk = column >= 0 && column < 8;
    std::string accepted;
    for (int k = first < 0 ? 0 : first; k <= last; k++) {
        if (applies) {
            if (!columnOk || (rows > 0 && k >= rows) || applies[k][column] != 1) continue;
        }
        fprintf(out, "\t%s\n ", texts[k]);
        if (!accepted.empty()) accepted += ' ';
        accepted += strncmp(texts[k], "(99)", 4) == 0 ? std::string("99") : std::to_string(k);
    }
    fprintf(out, "\t\t%s: ", enterOpt);
    fflush(out);
    int answer = 99;
    // With nothing to offer there is nothing to choose: back to the menu.
    if (!accepted.empty()) answer = static_cast<int>(ScanNumber(in, "teclado", accepted.c_str()));
    if (chosen) *chosen = answer;
    return answer;
}

namespace {

// The fields of one data set that the status shows, from the globals or
// from a held snapshot (read in place, never swapped in).
struct StatusView {
    const char* sessionName;
    const char* filename;
    int temDados, nObj, nVar, optVarTipo;
    const int* varType;
    int optTrEs, optTrVeVar, optTrVeUnits;
    int temRese, optReseTipo, optReseDir, countDoubleAbsence;
    double alphaH, kParameter;
    int temEscore, optOrdiType;
};

StatusView CurrentView() {
    return {sessionName, filename, temDados, nObj, nVar, optVarTipo, varType, optTrEs, optTrVeVar,
            optTrVeUnits, temRese, optReseTipo, optReseDir, countDoubleAbsence, alphaH, kParameter,
            temEscore, optOrdiType};
}

StatusView SnapshotView(const Session* s) {
    return {s->sessionName, s->filename, s->temDados == 1 && s->dataOrig ? 1 : 0, s->nObj, s->nVar,
            s->optVarTipo, s->varType, s->optTrEs, s->optTrVeVar, s->optTrVeUnits, s->temRese,
            s->optReseTipo, s->optReseDir, s->countDoubleAbsence, s->alphaH, s->kParameter, s->temEscore,
            s->optOrdiType};
}

void BealsLines(FILE* f) {
    static const char* const typeE[3] = {
        "Co-occurence probabilities based on presences and absences of both reference and target variables (as "
        "in De Ombray&Lavonne (2008) main text)\n",
        "Co-occurence probabilities of target variable weighted by quantities of reference variables (as in De "
        "Ombray&Lavonne (2008) Appendix)\n",
        "Co-occurence probabilities based on abundances of both reference and target variables (not clear what "
        "is the assumption here)\n"};
    static const char* const typeP[3] = {
        "Probabilidades de co-ocorrencia baseadas em presencas e ausencias das variaveis de referencia e alvo "
        "(como em De Ombray&Lavonne (2008) texto principal)\n",
        "Probabilidades de co-ocorrencia da variavel alvo ponderadas pelas quantidades das variaveis de "
        "referencia (como em De Ombray&Lavonne (2008) Apendice)\n",
        "Probabilidades de co-ocorrencia baseadas nas abundancias das variaveis de referencia e alvo (nao esta "
        "claro qual e a suposicao aqui)\n"};
    if (BealsTypeOpt >= 0 && BealsTypeOpt <= 2) fprintf(f, "%s", eng ? typeE[BealsTypeOpt] : typeP[BealsTypeOpt]);
    if (BealsIncludeOpt)
        fprintf(f, "%s", eng ? "Target species values included in their own prediction\n"
                             : "Valores da especie alvo incluidos na sua propria predicao\n");
    else
        fprintf(f, "%s", eng ? "Target species values NOT included in their own prediction\n"
                             : "Valores da especie alvo NAO incluidos na sua propria predicao\n");
    if (BealsNormalizeOpt)
        fprintf(f, "%s", eng ? "Probabilities of co-occurrence standardized to unit sum\n"
                             : "Probabilidades de co-ocorrencia padronizadas para soma unitaria\n");
    else
        fprintf(f, "%s", eng ? "Probabilities of co-occurrence NOT standardized to unit sum\n"
                             : "Probabilidades de co-ocorrencia NAO padronizadas para soma unitaria\n");
}

}  // namespace

std::string VectorTransformationText(int withinVariables, int withinUnits) {
    const int V = withinVariables, U = withinUnits;
    if (V == 0 && U == 0) return MenuText(optTrVe2Info, 0);
    std::string s;
    if (V > 0) {
        s += MenuText(optTrVe2Info, V);
        s += eng ? ", within variables" : ", dentro de variaveis";
        if (U > 0) s += eng ? " and " : " e ";
    }
    if (U > 0 && U != 6 && U != 11 && U != 12) {
        s += MenuText(optTrVe2Info, U);
        s += eng ? ", within sampling units" : ", dentro de unidades amostrais";
    } else if (U != 0) {
        // 6 and 11 are stored with the within-units option but have no
        // direction; 12 is a transformation within variables and is never
        // stored here, should a damaged file put it here it is named alone.
        s += MenuText(optTrVe2Info, U);
    }
    return s;
}

namespace {

// Steps of one data set's status; withSecond adds the line of the second set.
void StatusOf(FILE* f, const StatusView& v, bool withSecond) {
    if (strcmp(v.sessionName, "Sessao") == 0)
        fprintf(f, "%s", eng ? "\nAnalysis status:" : "\nSituacao da analise:");
    else
        fprintf(f, eng ? "\nAnalysis status session %s:" : "\nSituacao da analise da sessao %s:", v.sessionName);
    if (v.temDados != 1) {
        fprintf(f, "%s", eng ? " Data not available.\n" : " Dados nao disponiveis.\n");
        return;
    }
    fprintf(f, eng ? "\nData file name: %s\n" : "\nArquivo de dados: %s\n", v.filename);
    fprintf(f, eng ? "Dimensions: %d sampling units, %d variables\n" : "Dimensoes: %d unidades amostrais, %d variaveis\n",
            v.nObj, v.nVar);
    fprintf(f, eng ? "Data type: %s\n" : "Tipo de dados: %s\n", MenuText(optVarTipoInfo, v.optVarTipo));
    if (v.optVarTipo == 5 && v.varType) {
        fprintf(f, "%s", eng ? "Variable: " : "Variavel: ");
        for (int j = 1; j <= v.nVar; j++) fprintf(f, "%d ", j);
        fprintf(f, "%s", eng ? "\nType:     " : "\nTipo:     ");
        for (int j = 0; j < v.nVar; j++) fprintf(f, "%d ", v.varType[j]);
        fprintf(f, "\n");
    }
    fprintf(f, eng ? "Scalar transformation: %s\n" : "Transformacao escalar: %s\n", MenuText(optTrEsInfo, v.optTrEs));
    fprintf(f, eng ? "Vector transformation: %s\n" : "Transformacao vetorial: %s\n",
            VectorTransformationText(v.optTrVeVar, v.optTrVeUnits).c_str());
    if (v.optTrVeUnits == 11) BealsLines(f);
    if (v.temRese == 1) {
        fprintf(f, eng ? "Resemblance measure: %s, %s\n" : "Medida de semelhanca: %s, %s\n",
                MenuText(optReseTipoInfo, v.optReseTipo), MenuText(optReseDirInfo, v.optReseDir));
        fprintf(f, eng ? "Transformation of the resemblance measure: %s\n" : "Transformacao da medida de semelhanca: %s\n",
                MenuText(optPostReseTransfInfo, optPostReseTransf));
        if (v.optReseTipo == 5) {
            if (eng)
                fprintf(f, "%s", v.countDoubleAbsence == 1 ? "Joint absences in binary variables were considered.\n"
                                                           : "Joint absences in binary variables were NOT considered.\n");
            else
                fprintf(f, "Ausencias conjuntas em variaveis binarias consideradas: %s.\n",
                        MenuText(yesnoInfo, v.countDoubleAbsence));
        }
        if (v.optReseTipo >= 7 && v.optReseTipo <= 9)
            fprintf(f, eng ? "Order of entropy measure (alpha in Reyni's general entropy): %g\n"
                           : "Ordem da medida de entropia (alfa na entropia geral de Renyi): %g\n",
                    v.alphaH);
        if (v.optReseTipo == 19) fprintf(f, eng ? "k Parameter: %g\n" : "Parametro k: %g\n", v.kParameter);
    }
    if (v.temEscore == 1)
        fprintf(f, eng ? "Ordination scores available: %s\n" : "Escores de ordenacao disponiveis: %s\n",
                MenuText(optOrdiTypeInfo, v.optOrdiType));
    if (withSecond && secondSet && session2)
        fprintf(f, eng ? "Second data set: %s, with %d variables\n" : "Segundo conjunto de dados: %s, com %d variaveis\n",
                session2->filename, session2->nVar);
    if (savedSession == 0)
        fprintf(f, "%s", eng ? "Session is NOT saved.\n" : "Sessao NAO esta armazenada.\n");
    else
        fprintf(f, "%s", eng ? "Session IS saved.\n" : "Sessao ESTA armazenada.\n");
}

}  // namespace

void ShowStatus(FILE* stream) {
    StatusOf(stream, CurrentView(), true);
    // The second data set is described from its snapshot as it stands;
    // nothing of the current data set is swapped or changed.
    if (temDados == 1 && secondSet && session2) StatusOf(stream, SnapshotView(session2), false);
    fprintf(stream,
            eng ? "Maximum number of processors the program may use: %d\n"
                : "Numero maximo de processadores que o programa pode usar: %d\n",
            nProcessors > 0 ? nProcessors : AvailableProcessors());
}

namespace {

template <class T>
void PrintDataOf(FILE* stream, int rows, int cols, int digits, T** matrix) {
    fprintf(stream, "%s", eng ? "Data matrix:\n" : "Matriz de dados:\n");
    for (int i = 0; i < rows; i++) {
        for (int j = 0; j < cols; j++) fprintf(stream, "%8.*g\t", digits, NoNegativeZero(matrix[i][j]));
        fprintf(stream, "\n");
    }
}

}  // namespace

void PrintData(FILE* stream, int rows, int cols, int digits, double** matrix) {
    PrintDataOf(stream, rows, cols, digits, matrix);
}

void PrintData(FILE* stream, int rows, int cols, int digits, float** matrix) {
    PrintDataOf(stream, rows, cols, digits, matrix);
}

namespace {

void TransposeSquare(int n, double** m) {
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) std::swap(m[i][j], m[j][i]);
}

}  // namespace

void PrintRese(FILE* stream, int n, int digits, double** matrix) {
    fprintf(stream, "%s", eng ? "\nResemblance matrix:\n" : "\nMatriz de semelhanca:\n");
    TransposeSquare(n, matrix);
    PrintLowerHalfMatrix(stream, n, matrix, digits, 0);
    TransposeSquare(n, matrix);
}

// ===========================================================================
// Current data set, data type and stage
// ===========================================================================

void Init() {
    optTrEs = 0;
    optTrVeVar = 0;
    optTrVeUnits = 0;
    optTrGroupFactor = 1;
    secondSet = false;
}

void Dimensiona() {
    dataOrig = dim2DT<double>(nObj, nVar);
    data = dim2DT<double>(nObj, nVar);
    varType = dim1DT<int>(nVar);
    uaLabels = dim2DT<char>(nObj, 30);
    varLabels = dim2DT<char>(nVar, 30);
}

namespace {

// The globals let go of an array: it is released unless a snapshot still
// holds it (then the snapshot keeps it).
template <class T>
void LetGo2D(T**& p, int rows) {
    if (p && !SnapshotHolds(p)) free2DT(p, rows);
    p = nullptr;
}

template <class T>
void LetGo1D(T*& p) {
    if (p && !SnapshotHolds(p)) free1D(p);
    p = nullptr;
}

}  // namespace

void ReleaseRese() { LetGo2D(rese, nRows); }

void ReleaseOrdination() {
    LetGo1D(eig);
    LetGo2D(evectors, nRows + 1);
    LetGo2D(escores, nRows);
}

void ReleaseGroupArrays() {
    int P = NumberOfPartitions(nFactors);
    LetGo2D(grMemb, P);
    LetGo2D(grLabel, P);
    LetGo2D(factorLabel, nFactors);
    LetGo1D(nGroups);
    LetGo1D(nestedFactor);
    grMembDimensioned = 0;
}

void ReleaseDataSetArrays() {
    LetGo2D(dataOrig, nObj);
    LetGo2D(data, nObj);
    LetGo2D(uaLabels, nObj);
    LetGo2D(varLabels, nVar);
    LetGo1D(varType);
    ReleaseRese();
    ReleaseOrdination();
    ReleaseGroupArrays();
}

void LivraMemoria() {
    // Every part goes by its own array, whatever the flags say, so that no
    // result of one table can outlive it.
    ReleaseDataSetArrays();
    // No resemblance is left, nor its size: a stale count of 401 rows would
    // keep the next, smaller table's session from being saved.
    nRows = 0;
    nCols = 0;
    temDados = 0;
    temRese = 0;
    temGrupo = 0;
    temEscore = 0;
}

void SetDataType(int trEs, int trVeVar, int trVeUnits) {
    const int t = trEs, V = trVeVar, U = trVeUnits;
    // Transformations within variables that put every variable on one scale.
    isStandardized = (V == 1 || V == 4 || V == 5 || V == 6 || V == 7 || V == 8 || V == 9) ? 1 : 0;
    // Centring and double adjustment make negative values.
    auto centres = [](int k) { return k == 2 || k == 3 || k == 5 || k == 6; };
    hasNegative = (centres(V) || centres(U)) ? 1 : 0;
    if ((optVarTipo >= 1 && optVarTipo <= 4) || optVarTipo == 6) {
        // A contingency table is quantitative on one scale: it is read, and
        // offered the contingency-table analyses, as data type 1.
        dataType = optVarTipo == 6 ? 1 : optVarTipo;
        if (optVarTipo == 2 && isStandardized == 1) dataType = 1;
        int mutualInformation = (dataType == 1 && hasNegative == 1) ? 0 : 1;
        appliesReseUnits[4][0] = mutualInformation;
        appliesReseVar[4][0] = mutualInformation;
        if (t == 1) dataType = 4;
    } else if (optVarTipo == 5) {
        if (temQuant && temQual && !temBin)
            dataType = 5;
        else if (temQuant && temQual && temBin)
            dataType = 8;
        else if (temQuant && temBin && !temQual)
            dataType = t == 1 ? 4 : 6;
        else if (temQual && temBin && !temQuant)
            dataType = 7;
    }
}

void SetStepReached() {
    if (temDados == 0) {
        stepReached = 0;
        return;
    }
    stepReached = 1;
    if (temRese == 1) {
        stepReached = 2;
        if (optReseDir == 1 && temGrupo == 1) stepReached = 3;
        if (optReseDir == 2) stepReached = 4;
    }
}

// ===========================================================================
// Data file input
// ===========================================================================

// Source name of answers read from `in`, for the messages of the readers.
const char* Keyboard() { return eng ? "keyboard" : "teclado"; }

// A yes/no question in the current language; true unless the answer is n.
bool AskYes(const char* english, const char* portuguese) {
    fprintf(out, "%s", eng ? english : portuguese);
    fflush(out);
    return ScanChar(in, eng ? "y n" : "s n", Keyboard()) != 'n';
}

// One word of at most maxLength characters from `in`; the end of the input
// ends the program like every other reader.
std::string AskWord(int maxLength) {
    char word[256];
    if (maxLength > 255) maxLength = 255;
    if (!ScanString(in, maxLength, word, nullptr, 0, Keyboard())) throw 2;
    return word;
}

namespace {

// A contingency table expanded into one line (row, column) per individual,
// by the data dialogue and by key T, counts alike: a cell stands for its
// value rounded up; 0, negative and missing cells stand for none. The
// expanded table is a data set of its own, so more individuals than a data
// set can have units are refused (and not counted past that).
bool ContingencyIndividuals(int n, int p, double** table, FILE* messages, int* total) {
    constexpr double kMostUnits = 2147483647.0;
    double sum = 0;
    for (int i = 0; i < n && sum <= kMostUnits; i++)
        for (int j = 0; j < p && sum <= kMostUnits; j++)
            if (table[i][j] > 0) sum += std::ceil(table[i][j]);
    if (sum > kMostUnits) {
        fprintf(messages, "%s",
                eng ? "\nThe contingency table holds more than 2147483647 individuals: it was not expanded.\n"
                    : "\nA tabela de contingencia tem mais de 2147483647 individuos: nao foi expandida.\n");
        return false;
    }
    *total = static_cast<int>(sum);
    return true;
}

// line(row, column), both from 1, once per individual, in row-major order;
// only for a table ContingencyIndividuals accepted (no cell exceeds the count).
template <class Line>
void ForEachIndividual(int n, int p, double** table, Line&& line) {
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) {
            if (!(table[i][j] > 0)) continue;
            const long long times = static_cast<long long>(std::ceil(table[i][j]));
            for (long long k = 0; k < times; k++) line(i + 1, j + 1);
        }
}

// Without opening it: opening a FIFO for reading would wait for a writer.
bool FileExists(const char* name) {
    std::error_code ec;
    return std::filesystem::exists(name, ec);
}

long FileSize(FILE* f) {
    long here = ftell(f);
    if (fseek(f, 0, SEEK_END) != 0) return -1;
    long size = ftell(f);
    fseek(f, here, SEEK_SET);
    return size;
}

constexpr int kLabelLength = 29;

// Copies text into a buffer of the given capacity, keeping what fits.
void CopyCut(char* to, size_t capacity, const char* from) {
    size_t n = strlen(from);
    if (n + 1 > capacity) n = capacity - 1;
    memcpy(to, from, n);
    to[n] = '\0';
}

void LabelsCutNote() {
    fprintf(out, "%s",
            eng ? "\nSome labels have more than 29 characters: only their first 29 were kept.\n"
                : "\nAlguns rotulos tem mais de 29 caracteres: somente os 29 primeiros foram mantidos.\n");
}

// Reads the labels that follow the data; false when the file ends first.
bool ReadLabels(FILE* f) {
    bool cut = false;
    char word[256];
    auto one = [&](char* label) {
        if (!freadck1(f, "%s", word, sizeof word, filename)) return false;
        if (strlen(word) > static_cast<size_t>(kLabelLength)) cut = true;
        CopyCut(label, kLabelLength + 1, word);
        return true;
    };
    for (int i = 0; i < nObj; i++)
        if (!one(uaLabels[i])) return false;
    for (int j = 0; j < nVar; j++)
        if (!one(varLabels[j])) return false;
    if (cut) LabelsCutNote();
    return true;
}

// Whether anything but white space follows in the file.
bool MoreInFile(FILE* f) {
    int c;
    do {
        c = getc(f);
    } while (c != EOF && isspace(c));
    return c != EOF;
}

// The data are one stream of numbers, whatever their lines. But in a file
// laid out a row to a line, a row a value short beside another a value long
// keeps the total and shifts every value between them to the next row. When
// the data take a line per row, or most of their lines hold a row each, and
// some line holds values of two rows, the line where the lines fell out of
// step with the rows is named; a row merely wrapped over lines of its own
// shifts nothing and is not. The file is read again from its start for it,
// and left where the data end.
void IrregularLinesWarning(FILE* f, int rows, int rowLength) {
    const long end = ftell(f);
    if (end < 0 || fseek(f, 0, SEEK_SET) != 0) return;
    const long long values = static_cast<long long>(rows) * rowLength;
    long long read = 0, lineStart = 0;
    // The first line ending inside a row since the lines last ended with one.
    int line = 1, inLine = 0, lines = 0, whole = 0, first = 0, firstCount = 0, outOfStep = 0, outOfStepCount = 0;
    bool inField = false;
    auto lineEnds = [&]() {
        if (inLine > 0) {
            lines++;
            if (inLine == rowLength) whole++;
            const bool twoRows = lineStart / rowLength != (read - 1) / rowLength;
            if (twoRows && first == 0) {
                first = outOfStep ? outOfStep : line;
                firstCount = outOfStep ? outOfStepCount : inLine;
            }
            if (read % rowLength == 0) {
                outOfStep = 0;
            } else if (outOfStep == 0) {
                outOfStep = line;
                outOfStepCount = inLine;
            }
        }
        inLine = 0;
    };
    for (int c; read < values && (c = getc(f)) != EOF;) {
        const bool blank = isspace(c) != 0;
        if (!blank && !inField) {
            if (inLine == 0) lineStart = read;
            inLine++;
            read++;
        }
        inField = !blank;
        if (c == '\n') {
            lineEnds();
            line++;
        }
    }
    lineEnds();
    fseek(f, end, SEEK_SET);
    if (first == 0 || (lines != rows && 2 * whole < lines)) return;
    const bool byVariables = format == 'T';
    fprintf(out,
            eng ? "\nWarning: line %d of file %s holds %d values, and the other lines of the data hold %d (one %s "
                  "each): the values were read in order as one stream, and may belong to other %s than the lines "
                  "show.\n"
                : "\nAtencao: a linha %d do arquivo %s contem %d valores, e as demais linhas dos dados contem %d (uma "
                  "%s cada): os valores foram lidos em ordem como uma sequencia, e podem pertencer a outras %s que as "
                  "linhas mostram.\n",
            first, filename, firstCount, rowLength,
            byVariables ? (eng ? "variable" : "variavel") : (eng ? "sampling unit" : "unidade amostral"),
            byVariables ? (eng ? "variables" : "variaveis") : (eng ? "sampling units" : "unidades amostrais"));
}

void IncompleteFile() {
    fprintf(out,
            eng ? "\nFile %s was not read because it is incomplete.\nPlease check!\n"
                : "\nO arquivo %s nao foi lido porque esta incompleto.\nFavor verificar!\n",
            filename);
}

// The variable types of mixed data, into varType. A table too large for its
// file has no type array (it is refused later as incomplete): its questions
// are asked all the same, so that a script of answers stays in step; the
// heading then numbers only the variables the file could hold (shown), not
// the billions a mistyped size may declare.
void VariableTypes(double shown) {
    for (;;) {
        int kinds[5] = {0, 0, 0, 0, 0};
        for (;;) {
            if (eng)
                fprintf(out, "Enter variable type (1:binary,2:qualitative,3:quantitative interval or ratio "
                             "scale,4:ordinal): \nVariable: ");
            else
                fprintf(out, "Entre o tipo de cada variavel (1:binaria,2:qualitativa,3:quantitativa escala "
                             "intervalar ou de razao,4:ordinal): \nVariavel: ");
            for (int j = 1; j <= nVar; j++) {
                if (j > shown) {
                    fprintf(out, "...");
                    break;
                }
                fprintf(out, "%-3d", j);
            }
            fprintf(out, "%s", eng ? "\nType:     " : "\nTipo:     ");
            fflush(out);
            std::fill(kinds, kinds + 5, 0);
            for (int j = 0; j < nVar; j++) {
                const int type = static_cast<int>(ScanNumber(in, Keyboard(), "1 2 3 4"));
                kinds[type] = 1;
                if (varType) varType[j] = type;
            }
            if (!AskYes("Wish to correct? y/n ", "Corrigir? s/n ")) break;
        }
        // The flags follow the types of this pass only.
        temBin = kinds[1];
        temQual = kinds[2];
        temQuant = kinds[3] || kinds[4] ? 1 : 0;
        if (temQuant + temQual + temBin >= 2) return;
        fprintf(out, "%s", eng ? "Data not mixed as indicated!!!\n" : "Dados nao sao mistos como indicado!!!\n");
        if (AskYes("Wish to correct manually? y/n ", "Corrigir manualmente? s/n ")) continue;
        if (temQual)
            optVarTipo = 3;
        else if (temQuant)
            optVarTipo = 2;
        else if (temBin)
            optVarTipo = 4;
        return;
    }
}

// The expansion of a contingency table into one line (row, column) per
// counted individual.
void ExpandContingencyTable(FILE* report) {
    int total = 0;
    if (!ContingencyIndividuals(nObj, nVar, dataOrig, report, &total)) return;
    fprintf(report, "%s", eng ? "\nExpanded contingency table:\n" : "\nTabela de contingencia expandida:\n");
    fprintf(report,
            eng ? "\t(Rows= %d sampling units, columns= %d nominal variables)\n"
                : "\t(Linhas= %d unidades amostrais, colunas= %d variaveis nominais)\n",
            total, 2);
    ForEachIndividual(nObj, nVar, dataOrig, [report](int i, int j) { fprintf(report, "%d\t%d\n", i, j); });
}

}  // namespace

int AbreDados() {
    // 1. The file.
    std::string name;
    for (;;) {
        fprintf(out, "%s",
                eng ? "Enter name of file containing data matrix: " : "Entre nome do arquivo contendo a matriz de dados: ");
        fflush(out);
        name = AskWord(99);
        FILE* f = fopenck(name.c_str(), nullptr, "r");
        if (f) {
            fclose(f);
            break;
        }
        if (!AskYes("Try again? y/n ", "Tentar novamente? s/n ")) return 0;
    }
    // 2. Content.
    if (eng)
        fprintf(out, "The data contain: \n\t(1) only quantitative variables, same measurement scale\n"
                     "\t(2) only quantitative variables, different scales\n"
                     "\t(3) only qualitative, non binary variables\n\t(4) only binary variables\n"
                     "\t(5) several variable types \n\t(6) a contingency table \n\t\tEnter option: ");
    else
        fprintf(out, "Os dados contem: \n\t(1) somente variaveis quantitativas, mesma escala de medida\n"
                     "\t(2) somente variaveis quantitativas, escalas diferentes\n"
                     "\t(3) somente variaveis qualitativas, nao binarias\n\t(4) somente variaveis binarias\n"
                     "\t(5) varios tipos de variaveis \n\t(6) uma tabela de contingencia \n\t\tEntre opcao: ");
    fflush(out);
    int content = static_cast<int>(ScanNumber(in, Keyboard(), "1 2 3 4 5 6"));
    // 3. Sizes: at least one of each.
    const bool table = content == 6;
    fprintf(out, "%s",
            table ? (eng ? "Number of rows:    " : "Numero de linhas:    ")
                  : (eng ? "Number of sampling units:    " : "Numero de unidades amostrais:    "));
    fflush(out);
    int units = static_cast<int>(ScanNumber(in, Keyboard(), "-", 1, 2147483647.0));
    fprintf(out, "%s",
            table ? (eng ? "Number of columns: " : "Numero de colunas: ")
                  : (eng ? "Number of variables: " : "Numero de variaveis: "));
    fflush(out);
    int variables = static_cast<int>(ScanNumber(in, Keyboard(), "-", 1, 2147483647.0));

    // 4. A fresh data set.
    Init();
    LivraMemoria();
    temQuant = temQual = temBin = 0;
    snprintf(filename, sizeof filename, "%s", name.c_str());
    optVarTipo = content;
    nObj = units;
    nVar = variables;
    // A table that cannot be in the file is incomplete: no memory is asked
    // for its cells, and the dialogue goes on to the same message as a short
    // file.
    double room = -1;
    {
        FILE* f = fopenck(filename, nullptr, "r");
        if (f) room = MostNumbersIn(f);
        if (f) fclose(f);
    }
    const bool fits = static_cast<double>(nObj) * nVar <= room;
    if (fits)
        Dimensiona();
    else if (nVar <= room)
        varType = dim1DT<int>(nVar);

    // 5. Variable types.
    if (content == 5) {
        VariableTypes(varType ? nVar : room);
    } else {
        const int type = content == 3 ? 2 : (content == 4 ? 1 : 3);
        temQuant = type == 3;
        temQual = type == 2;
        temBin = type == 1;
        for (int j = 0; varType && j < nVar; j++) varType[j] = type;
    }

    // 6. Order.
    format = 'N';
    if (nVar > 1) {
        fprintf(out, "%s",
                eng ? "Data ordered by (the rows of the matrix correspond to): \n"
                    : "Dados ordenados por (as linhas da matriz correspondem a): \n");
        if (table)
            fprintf(out, "%s",
                    eng ? "\t(N) rows of the contingency table (r1c1,..., r1cp,..., rnc1,..., rncp)\n"
                          "\t(T) columns of the contingency table (r1c1,..., rnc1,..., r1cp,..., rncp)\n"
                        : "\t(N) linhas da tabela de contingencia (r1c1,..., r1cp,..., rnc1,..., rncp)\n"
                          "\t(T) colunas da tabela de contingencia (r1c1,..., rnc1,..., r1cp,..., rncp)\n");
        else
            fprintf(out, "%s",
                    eng ? "\t(N) sampling units (u1v1,..., u1vp,..., unv1,..., unvp)\n"
                          "\t(T) variables (u1v1,..., unv1,..., u1vp,..., unvp)\n"
                        : "\t(N) unidades amostrais (u1v1,..., u1vp,..., unv1,..., unvp)\n"
                          "\t(T) variaveis (u1v1,..., unv1,..., u1vp,..., unvp)\n");
        fprintf(out, "\t\t%s: ", enterOpt);
        fflush(out);
        format = static_cast<char>(toupper(ScanChar(in, "T N", Keyboard())));
    }

    // 7. Numbers, each field read whole: a field that is not a number refuses
    // the file, never shifts the table.
    FILE* f = fits ? fopenck(filename, nullptr, "r") : nullptr;
    bool complete = f != nullptr;
    if (complete) {
        for (int a = 0, na = format == 'T' ? nVar : nObj; complete && a < na; a++)
            for (int b = 0, nb = format == 'T' ? nObj : nVar; b < nb; b++) {
                const int unit = format == 'T' ? b : a, variable = format == 'T' ? a : b;
                char token[kTokenShown];
                const int k = ReadNumberToken(f, &dataOrig[unit][variable], token, sizeof token, filename);
                if (k == tokenEnd) {
                    complete = false;
                    break;
                }
                if (k == tokenNotNumber) {
                    char place[64];
                    snprintf(place, sizeof place, eng ? "unit %d, variable %d" : "unidade %d, variavel %d", unit + 1,
                             variable + 1);
                    NotANumberMessage(out, eng == 1, filename, place, token);
                    fputc(7, out);
                    LivraMemoria();
                    fclose(f);
                    return 0;
                }
            }
    }
    if (!complete) {
        LivraMemoria();
        IncompleteFile();
        if (f) fclose(f);
        return 0;
    }
    IrregularLinesWarning(f, format == 'T' ? nVar : nObj, format == 'T' ? nObj : nVar);

    // 8. Labels.
    fprintf(out, "%s",
            eng ? "\nLabels for sampling units and variables: \n\t(1) given by default (1, 2, ...) \n"
                : "\nRotulos para unidades amostrais e variaveis: \n\t(1) padrao (1, 2, ...) \n");
    fprintf(out,
            eng ? "\t(2) read labels after data on file %s\n\t       (s. units first, labels with max. %d "
                  "alphanumeric symbols)\n"
                : "\t(2) ler rotulos apos os dados no arquivo %s\n\t       (unidades amostrais primeiro, "
                  "rotulos com no max. %d simbolos alfanumericos)\n",
            filename, kLabelLength);
    fprintf(out, "\t\t%s: ", enterOpt);
    fflush(out);
    optLabel = static_cast<int>(ScanNumber(in, Keyboard(), "1 2"));
    if (optLabel == 1) {
        for (int i = 0; i < nObj; i++) snprintf(uaLabels[i], kLabelLength + 1, "%d", i + 1);
        for (int j = 0; j < nVar; j++) snprintf(varLabels[j], kLabelLength + 1, "%d", j + 1);
    } else if (!ReadLabels(f)) {
        LivraMemoria();
        fprintf(out,
                eng ? "\nLabels not read because the file %s is incomplete.\nPlease check!\n"
                    : "\nRotulos nao lidos porque o arquivo %s esta incompleto.\nFavor verificar!\n",
                filename);
        fclose(f);
        return 0;
    } else if (MoreInFile(f)) {
        // A surplus row would have become labels without a word: the table
        // loads as declared, but the user learns that the file holds more.
        fprintf(out,
                eng ? "\nWarning: file %s holds more than the declared %d x %d values and labels; the rest of it was "
                      "not read.\n"
                    : "\nAtencao: o arquivo %s contem mais que os %d x %d valores e rotulos declarados; o restante "
                      "nao foi lido.\n",
                filename, nObj, nVar);
    }

    // 9. The data as read are the current data.
    fclose(f);
    for (int i = 0; i < nObj; i++) memcpy(data[i], dataOrig[i], sizeof(double) * nVar);
    temDados = 1;

    // 10. Report.
    optPrintData = AskYes("\nInclude data matrix in the output file? y/n ",
                          "\nIncluir matriz de dados no arquivo com resultados? s/n ")
                       ? 's'
                       : 'n';
    if (optPrintData != 's') return 1;

    // 11. The data in the report.
    FILE* report = fopenck("Vidive.txt", nullptr, modeVidive);
    if (report) {
        fprintf(report, "\n%s\n", line);
        fprintf(report, eng ? "TEVLAN version %s" : "TEVLAN versao %s", versao);
        fprintf(report, "\n%s\n", line);
        timer = time(nullptr);
        fprintf(report, "%s", ctime(&timer));
        ShowStatus(report);
        fprintf(report, "%s", eng ? "\nOriginal data matrix:\n" : "\nMatriz de dados original:\n");
        fprintf(report,
                eng ? "\t(Rows= %d sampling units, columns= %d variables)\n"
                    : "\t(Linhas= %d unidades amostrais, colunas= %d variaveis)\n",
                nObj, nVar);
        fprintf(report, "%s", eng ? "Labels of sampling units:\t" : "Rotulos das unidades amostrais:\t");
        PrintStringVectorTab(report, nObj, uaLabels);
        fprintf(report, "%s", eng ? "Labels of variables:\t" : "Rotulos das variaveis:\t");
        PrintStringVectorTab(report, nVar, varLabels);
        PrintMatrixFloat(report, nObj, nVar, dataOrig, sDigits, 0);
    }
    // 12. A contingency table may be written out as two nominal variables.
    if (table &&
        AskYes("Do you wish to expand the contingeny table into data with two nominal variables (the first "
               "specifying the row, the second the column)? y/n ",
               "Expandir tabela de contingencia em dados com duas variaveis nominais (a primeira especificando a "
               "linha, a segunda a coluna)? s/n ") &&
        report)
        ExpandContingencyTable(report);
    // 13. Done. The user is sent to the report only when it holds the data.
    bool written = false;
    if (report) {
        written = fcloseck(report, "Vidive.txt");
        if (strcmp(modeVidive, "w") == 0) strcpy(modeVidive, "a");
    }
    ClearLine();
    if (written) fprintf(out, "%s", eng ? "\nSee data on file Vidive.txt.\n" : "\nVeja dados no arquivo Vidive.txt.\n");
    return 1;
}

int SpecifySession() {
    fprintf(out, "%s",
            eng ? "Wish to specify new data (n) or to open (o) an existing session? n/o "
                : "Deseja especificar novos dados (n) ou abrir (a) uma sessao ja existente? n/a ");
    fflush(out);
    int key = ScanChar(in, eng ? "n o" : "n a", Keyboard());
    // Whether a data set was loaded or a session opened (here or through the
    // renewed offer of the last session).
    bool loaded = false;
    if (key != 'n') {
        loaded = OpenSession() == 1;
    } else if (AbreDados() == 1) {
        if (strcmp(sessionName, "Sessao") != 0 &&
            AskYes("Wish to rename this session? y/n ", "Deseja renomear esta sessao? s/n "))
            SaveSession();
        WriteSessionTrack();
        loaded = true;
    } else {
        CheckSession();
        loaded = temDados == 1;
    }
    SetDataType(optTrEs, optTrVeVar, optTrVeUnits);
    SetStepReached();
    return loaded ? 1 : 0;
}

// ===========================================================================
// Sessions
// ===========================================================================

namespace {

// Session files are written here and renamed over the real one, so a failed
// write never leaves a damaged session behind.
const char* const kSessionTemp = "Tevlan.trk.tmp";
const char* const kNameFile = "Sessao.trk";
// A session name leaves room for ".trk" in every name buffer.
constexpr int kMaxSessionName = 95;

// The session file last rejected by ReadSessionTrack: an empty session is
// never written over it.
std::string rejectedSessionFile;

// A word as the session file stores it: never empty, never with blanks,
// so that it reads back as exactly one word.
std::string AsWord(const char* text) {
    std::string w = text ? text : "";
    for (char& c : w)
        if (isspace(static_cast<unsigned char>(c))) c = '_';
    return w.empty() ? "_" : w;
}

// The session file's text, built in memory: it is compared with the file
// before anything is written, and written in one piece when it differs.
// A comparison sees the text a piece at a time as it is built and may stop
// the building at the first piece that differs: a key that changed the
// resemblance matrix is not made to convert all of it to learn that.
class SessionText {
public:
    using Check = std::function<bool(std::string_view)>;
    explicit SessionText(Check check) : check_(std::move(check)) {}
    SessionText& operator<<(int v) {
        if (stopped_) return *this;
        char* p = Room(16);
        used_ = static_cast<size_t>(std::to_chars(p, p + 16, v).ptr - s_.data());
        return *this;
    }
    // The shortest text that reads back as the same double, so that a
    // continued session goes on exactly where the interrupted one stood;
    // it costs a fraction of printf's seventeen digits, which made the
    // writes of a large table take seconds.
    SessionText& operator<<(double v) {
        if (stopped_) return *this;
        char* p = Room(32);
        used_ = static_cast<size_t>(std::to_chars(p, p + 32, v).ptr - s_.data());
        return *this;
    }
    SessionText& operator<<(char c) {
        if (stopped_) return *this;
        *Room(1) = c;
        used_++;
        return *this;
    }
    SessionText& operator<<(const std::string& w) {
        if (stopped_) return *this;
        memcpy(Room(w.size()), w.data(), w.size());
        used_ += w.size();
        return *this;
    }
    template <class T>
    void Row(int n, const T* x) {
        for (int j = 0; j < n; j++) *this << x[j] << '\t';
        *this << '\n';
    }
    void Reserve(size_t n) { s_.resize(std::max(s_.size(), n)); }
    // The whole text, or the part built before a comparison stopped it.
    std::string Take() {
        if (check_ && !stopped_) stopped_ = !check_(Text());
        s_.resize(used_);
        used_ = 0;
        return std::move(s_);
    }

private:
    static constexpr size_t kPiece = 1 << 16;
    std::string_view Text() const { return {s_.data(), used_}; }
    // The numbers are converted in place, at the end of the text.
    char* Room(size_t k) {
        if (check_ && used_ - checked_ >= kPiece) {
            checked_ = used_;
            stopped_ = !check_(Text());
        }
        if (s_.size() - used_ < k) s_.resize(std::max(2 * s_.size(), used_ + k));
        return &s_[used_];
    }
    Check check_;
    std::string s_;
    size_t used_ = 0, checked_ = 0;
    bool stopped_ = false;
};

// The session file's text; check, when given, compares it as it is built.
std::string SessionBody(SessionText::Check check = nullptr) {
    const bool comparing = static_cast<bool>(check);
    SessionText f(std::move(check));
    // Room for the usual size of a text to write (the table twice, the
    // resemblance triangle) at once, instead of copying it as it grows.
    const double numbers = temDados == 1 ? 2.0 * nObj * nVar + (temRese == 1 ? 0.5 * nRows * (nRows + 1.0) : 0) : 0;
    if (!comparing) f.Reserve(static_cast<size_t>(std::min(numbers * 8 + 4096, 1e9)));
    f << AsWord(sessionName) << '\n' << AsWord(filename) << '\n' << std::string(versaoTrack) << '\n';
    const bool hasData = temDados == 1 && dataOrig && data && varType && uaLabels && varLabels;
    f << (hasData ? 1 : 0) << '\n';
    if (hasData) {
        for (int v : {nObj, nVar, optVarTipo, temQuant, temQual, temBin}) f << v << '\n';
        f << format << '\n';
        f.Row(nVar, varType);
        for (int i = 0; i < nObj; i++) f.Row(nVar, dataOrig[i]);
        f << optTrEs << '\n' << optTrVeVar << '\n' << optTrVeUnits << '\n';
        for (int i = 0; i < nObj; i++) f.Row(nVar, data[i]);
        for (int i = 0; i < nObj; i++) f << AsWord(uaLabels[i]) << '\t';
        f << '\n';
        for (int j = 0; j < nVar; j++) f << AsWord(varLabels[j]) << '\t';
        f << '\n' << optLabel << '\n';
    }
    const bool hasRese = hasData && temRese == 1 && rese;
    f << (hasRese ? 1 : 0) << '\n';
    if (hasRese) {
        f << optReseDir << '\n' << optReseTipo << '\n' << nClassesVar << '\n' << nClassesUnits << '\n';
        f << alphaH << '\n' << kParameter << '\n' << countDoubleAbsence << '\n';
        for (int i = 0; i < nRows; i++)
            for (int j = i; j < nRows; j++) f << rese[i][j] << '\n';
    }
    const bool hasScores = hasRese && temEscore == 1 && eig && escores && evectors;
    f << (hasScores ? 1 : 0) << '\n';
    if (hasScores) {
        f << optOrdiType << '\n' << rank << '\n';
        f.Row(rank, eig);
        for (int a = 0; a < rank; a++) {
            if (optOrdiType == 2 || optOrdiType == 3) {
                f.Row(nCols, escores[a]);
                if (optOrdiType == 3) f.Row(nRows, evectors[a]);
            } else {
                f.Row(nRows, escores[a]);
            }
        }
    }
    const bool hasGroups = hasData && temGrupo == 1 && grMemb && grLabel && nGroups && nestedFactor && factorLabel;
    f << (hasGroups ? 1 : 0) << '\n';
    if (hasGroups) {
        f << nFactors << '\n' << nesting << '\n';
        for (int k = 0; k < nFactors; k++) f << AsWord(factorLabel[k]) << '\n';
        f.Row(nFactors, nestedFactor);
        f.Row(nFactors, nGroups);
        for (int k = 0; k < nFactors; k++) f.Row(nGroups[k], grLabel[k]);
        for (int k = 0; k < nFactors; k++) f.Row(nObj, grMemb[k]);
    }
    return f.Take();
}

// Writes a file through the temporary file and a rename; false (with the
// temporary removed) when anything failed: creating, writing, flushing,
// closing or renaming.
bool WriteReplacing(const char* name, const std::string& text) {
    FILE* f = fopenck(kSessionTemp, nullptr, "w");
    if (!f) return false;
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = !ferror(f) && ok;
    ok = fflush(f) == 0 && ok;
    ok = fclose(f) == 0 && ok;
    if (ok && rename(kSessionTemp, name) == 0) return true;
    remove(kSessionTemp);
    return false;
}

// A file read a piece at a time, to tell whether a text is what it holds.
// A session that the file already holds is not written again, so an
// analysis that only read it leaves the file (and a folder that cannot be
// written) alone.
class FileComparison {
public:
    explicit FileComparison(const char* name) {
        std::error_code ec;
        if (!IsRegularFile(name)) return;
        size_ = std::filesystem::file_size(name, ec);
        if (!ec) f_ = fopen(name, "rb");
    }
    ~FileComparison() {
        if (f_) fclose(f_);
    }
    FileComparison(const FileComparison&) = delete;
    FileComparison& operator=(const FileComparison&) = delete;
    // Whether the file goes on as text does past what was compared before.
    bool Continues(std::string_view text) {
        if (!f_ || text.size() > size_) return false;
        char chunk[1 << 16];
        while (at_ < text.size()) {
            const size_t want = std::min(sizeof chunk, text.size() - at_);
            if (fread(chunk, 1, want, f_) != want || memcmp(chunk, text.data() + at_, want) != 0) return false;
            at_ += want;
        }
        return true;
    }
    bool Holds(std::string_view text) { return Continues(text) && at_ == size_ && getc(f_) == EOF; }

private:
    FILE* f_ = nullptr;
    size_t size_ = 0, at_ = 0;
};

bool FileHolds(const char* name, const std::string& text) { return FileComparison(name).Holds(text); }

bool SessionFileIsCurrent() {
    FileComparison file(sessionFilename);
    bool same = true;
    const std::string text = SessionBody([&](std::string_view t) { return same = same && file.Continues(t); });
    return same && file.Holds(text);
}

void SessionNotWritten(const char* name) {
    fflush(stdout);
    fprintf(stderr,
            eng ? "\nSession file %s could not be written: the session is NOT saved.\n"
                : "\nArquivo de sessao %s nao pode ser escrito: a sessao NAO esta armazenada.\n",
            name);
    fputc(7, stderr);
    fflush(stderr);
    savedSession = 0;
}

// ---------------------------------------------------------------------------
// Reading a session file: every token is checked before it is used, and the
// set is read into a snapshot of its own that becomes current only when the
// whole file was sound.
// ---------------------------------------------------------------------------

class SessionReader {
public:
    SessionReader(FILE* f, long size) : f_(f), size_(size) {}

    // One word; a longer one keeps its first capacity - 1 characters.
    bool Word(char* to, size_t capacity) {
        char w[512];
        if (!Token(w, sizeof w)) return false;
        if (strlen(w) >= capacity) cut_ = true;
        CopyCut(to, capacity, w);
        return true;
    }
    bool Int(int& v, long long lowest, long long highest) {
        char w[64];
        if (!Token(w, sizeof w)) return false;
        char* end = nullptr;
        errno = 0;
        long long x = strtoll(w, &end, 10);
        if (errno != 0 || *end != '\0' || end == w || x < lowest || x > highest) return Fail();
        v = static_cast<int>(x);
        return true;
    }
    // A number of the session is finite wherever it stands: every value
    // the program keeps was computed from finite data.
    bool Real(double& v) {
        char w[512];
        if (!Token(w, sizeof w)) return false;
        if (!WholeNumber(w, strlen(w), &v) || !std::isfinite(v)) return Fail();
        return true;
    }
    bool Reals(int n, double* x) {
        for (int j = 0; j < n; j++)
            if (!Real(x[j])) return false;
        return true;
    }
    bool Ints(int n, int* x, long long lowest, long long highest) {
        for (int j = 0; j < n; j++)
            if (!Int(x[j], lowest, highest)) return false;
        return true;
    }
    // Counts whose numbers could not all be in a file of this size are
    // damage, not a request for memory.
    bool Plausible(double numbers) const { return numbers <= (static_cast<double>(size_) + 1) / 2; }
    bool WordsWereCut() const { return cut_; }

private:
    bool Fail() { return false; }
    bool Token(char* to, size_t capacity) {
        // The file is read by this thread alone (see ReadNumberToken).
        int c;
        do {
            c = getc_unlocked(f_);
        } while (c != EOF && isspace(c));
        if (c == EOF) return false;
        size_t k = 0;
        while (c != EOF && !isspace(c)) {
            if (k + 1 < capacity) to[k++] = static_cast<char>(c);
            c = getc_unlocked(f_);
        }
        to[k] = '\0';
        return true;
    }
    FILE* f_;
    long size_;
    bool cut_ = false;
};

// The parts of a session file, as a damaged one is reported.
enum SessionSection { sectionHeading, sectionData, sectionResemblance, sectionOrdination, sectionGroups };

const char* SectionName(SessionSection k) {
    static const char* const english[] = {"heading (names and version)", "data", "resemblance", "ordination",
                                          "groups"};
    static const char* const portuguese[] = {"cabecalho (nomes e versao)", "dados", "semelhanca", "ordenacao",
                                             "grupos"};
    return eng ? english[k] : portuguese[k];
}

// Reads the body of a session file into s; on damage, section names the part
// where it was found.
bool ReadSessionBody(SessionReader& r, Session* s, SessionSection& section) {
    section = sectionData;
    if (!r.Int(s->temDados, 0, 1)) return false;
    if (s->temDados == 1) {
        if (!r.Int(s->nObj, 1, 2147483647) || !r.Int(s->nVar, 1, 2147483647)) return false;
        // The data appear twice in the file, and each label once.
        if (!r.Plausible(2.0 * s->nObj * s->nVar + s->nObj + s->nVar)) return false;
        if (!r.Int(s->optVarTipo, 1, 6) || !r.Int(s->temQuant, 0, 1) || !r.Int(s->temQual, 0, 1) ||
            !r.Int(s->temBin, 0, 1))
            return false;
        // Mixed data are those of at least two kinds of variables: the data
        // type is derived from that combination.
        if (s->optVarTipo == 5 && s->temQuant + s->temQual + s->temBin < 2) return false;
        char word[4];
        if (!r.Word(word, sizeof word) || strlen(word) != 1) return false;
        s->format = static_cast<char>(toupper(static_cast<unsigned char>(word[0])));
        if (s->format != 'N' && s->format != 'T') return false;
        s->varType = dim1DT<int>(s->nVar);
        s->dataOrig = dim2DT<double>(s->nObj, s->nVar);
        s->data = dim2DT<double>(s->nObj, s->nVar);
        s->uaLabels = dim2DT<char>(s->nObj, 30);
        s->varLabels = dim2DT<char>(s->nVar, 30);
        if (!r.Ints(s->nVar, s->varType, 1, 4)) return false;
        for (int i = 0; i < s->nObj; i++)
            if (!r.Reals(s->nVar, s->dataOrig[i])) return false;
        if (!r.Int(s->optTrEs, 0, 5) || !r.Int(s->optTrVeVar, 0, 12) || !r.Int(s->optTrVeUnits, 0, 12)) return false;
        for (int i = 0; i < s->nObj; i++)
            if (!r.Reals(s->nVar, s->data[i])) return false;
        for (int i = 0; i < s->nObj; i++)
            if (!r.Word(s->uaLabels[i], 30)) return false;
        for (int j = 0; j < s->nVar; j++)
            if (!r.Word(s->varLabels[j], 30)) return false;
        if (!r.Int(s->optLabel, 1, 2)) return false;
    }
    section = sectionResemblance;
    if (!r.Int(s->temRese, 0, 1)) return false;
    if (s->temRese == 1) {
        if (s->temDados != 1) return false;
        if (!r.Int(s->optReseDir, 1, 2) || !r.Int(s->optReseTipo, 1, 29) ||
            !r.Int(s->nClassesVar, 0, 2147483647) || !r.Int(s->nClassesUnits, 0, 2147483647) ||
            !r.Real(s->alphaH) || !r.Real(s->kParameter) || !r.Int(s->countDoubleAbsence, 0, 1))
            return false;
        // The parameters as the resemblance dialogue takes them.
        auto parameter = [](double x) { return x >= 0 && x <= 3.4028234663852886e38; };
        if (!parameter(s->alphaH) || !parameter(s->kParameter)) return false;
        s->nRows = s->optReseDir == 1 ? s->nObj : s->nVar;
        s->nCols = s->optReseDir == 1 ? s->nVar : s->nObj;
        if (!r.Plausible(0.5 * s->nRows * (s->nRows + 1.0))) return false;
        s->rese = dim2DT<double>(s->nRows, s->nRows);
        for (int i = 0; i < s->nRows; i++)
            for (int j = i; j < s->nRows; j++) {
                if (!r.Real(s->rese[i][j])) return false;
                s->rese[j][i] = s->rese[i][j];
            }
    }
    section = sectionOrdination;
    if (!r.Int(s->temEscore, 0, 1)) return false;
    if (s->temEscore == 1) {
        if (s->temRese != 1) return false;
        if (!r.Int(s->optOrdiType, 1, 3) || !r.Int(s->rank, 0, s->nRows)) return false;
        const int width = s->optOrdiType == 1 ? s->nRows : s->nCols;
        s->eig = dim1DT<double>(s->nRows + 1);
        s->evectors = dim2DT<double>(s->nRows + 1, s->nRows + 1);
        s->escores = dim2DT<double>(s->nRows, width);
        if (!r.Reals(s->rank, s->eig)) return false;
        for (int a = 0; a < s->rank; a++) {
            if (!r.Reals(width, s->escores[a])) return false;
            if (s->optOrdiType == 3 && !r.Reals(s->nRows, s->evectors[a])) return false;
        }
    }
    section = sectionGroups;
    if (!r.Int(s->temGrupo, 0, 1)) return false;
    if (s->temGrupo == 1) {
        if (s->temDados != 1) return false;
        if (!r.Int(s->nFactors, 1, 10)) return false;
        const int P = NumberOfPartitions(s->nFactors);
        s->grMemb = dim2DT<int>(P, s->nObj);
        s->grLabel = dim2DT<int>(P, s->nObj);
        s->nGroups = dim1DT<int>(P);
        s->nestedFactor = dim1DT<int>(s->nFactors);
        s->factorLabel = dim2DT<char>(s->nFactors, 100);
        if (!r.Int(s->nesting, 0, 1)) return false;
        for (int k = 0; k < s->nFactors; k++)
            if (!r.Word(s->factorLabel[k], 100)) return false;
        if (!r.Ints(s->nFactors, s->nestedFactor, 0, 1) || !r.Ints(s->nFactors, s->nGroups, 1, s->nObj)) return false;
        for (int k = 0; k < s->nFactors; k++)
            if (!r.Ints(s->nGroups[k], s->grLabel[k], -2147483648LL, 2147483647)) return false;
        for (int k = 0; k < s->nFactors; k++)
            if (!r.Ints(s->nObj, s->grMemb[k], -2147483648LL, 2147483647)) return false;
        // The group labels must be those of the memberships.
        std::vector<int> labels(s->nObj);
        for (int k = 0; k < s->nFactors; k++) {
            int count = 0;
            CountGroups(s->nObj, s->grMemb[k], count, labels.data());
            if (count != s->nGroups[k] || !std::equal(labels.begin(), labels.begin() + count, s->grLabel[k]))
                return false;
        }
    }
    return true;
}

void IncompatibleSession() {
    fprintf(out, "%s",
            eng ? "Previous analysis done with incompatible version of Tevlan. \nSpecify data again.\n"
                : "Analise anterior gerada por versao incompativel. \nEspecifique dados novamente.\n");
}

void DamagedSession(const char* file, SessionSection section) {
    fprintf(out,
            eng ? "Session file %s is damaged in its %s section and was not read. \nSpecify data again.\n"
                : "O arquivo de sessao %s esta danificado na secao de %s e nao foi lido. \nEspecifique dados "
                  "novamente.\n",
            file, SectionName(section));
}

// A session name that names a file in the working folder: no folder
// separators, and not "..".
bool SafeSessionName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos && name.find('\\') == std::string::npos &&
           name != "..";
}

// The session name of a session file name (the name without ".trk").
std::string SessionNameOf(const char* file) {
    std::string name = file;
    const size_t ext = strlen(sessionExt);
    if (name.size() > ext && name.compare(name.size() - ext, ext, sessionExt) == 0) name.resize(name.size() - ext);
    return name;
}

}  // namespace

void SetDefaultSessionName() {
    snprintf(sessionName, sizeof sessionName, "Sessao");
    snprintf(sessionFilename, sizeof sessionFilename, "Sessao%s", sessionExt);
}

int WriteSessionTrack() {
    // An empty session never replaces a file that could not be read: that
    // file may hold a user's work from another version.
    if (temDados != 1 && rejectedSessionFile == sessionFilename) return 0;
    // The session first, then the name file: a session that could not be
    // written is never named, and the default session, whose file is the
    // name file itself, is never replaced by its name alone.
    const std::string body = SessionBody();
    if (!FileHolds(sessionFilename, body) && !WriteReplacing(sessionFilename, body)) {
        SessionNotWritten(sessionFilename);
        return 0;
    }
    const std::string nameLine = AsWord(sessionName) + "\n";
    if (strcmp(sessionFilename, kNameFile) != 0 && !FileHolds(kNameFile, nameLine) &&
        !WriteReplacing(kNameFile, nameLine)) {
        SessionNotWritten(kNameFile);
        return 0;
    }
    ClearLine();
    savedSession = 1;
    rejectedSessionFile.clear();
    return 1;
}

int ReadSessionTrack() {
    FILE* f = fopenck(sessionFilename, nullptr, "r");
    if (!f) {
        fflush(stdout);
        exit(1);
    }
    SessionReader r(f, FileSize(f));
    char name[100], file[100], tag[32];
    SessionSection section = sectionHeading;
    bool ok = r.Word(name, kMaxSessionName + 1) && r.Word(file, sizeof file) && r.Word(tag, sizeof tag);
    const bool otherVersion = ok && strcmp(tag, versaoTrack) != 0;
    ok = ok && !otherVersion;
    // The set is read into a snapshot of its own: the current data set stays
    // as it is unless the whole file is sound.
    sessionInput none;
    none.temDados = 0;
    Session* staged = new Session(&none, true);
    ok = ok && ReadSessionBody(r, staged, section);
    fclose(f);
    if (!ok) {
        delete staged;
        rejectedSessionFile = sessionFilename;
        if (otherVersion)
            IncompatibleSession();
        else
            DamagedSession(sessionFilename, section);
        return 0;
    }
    if (r.WordsWereCut()) LabelsCutNote();
    // The session is the file that was opened, whatever name a copied or
    // renamed file holds inside: the name written back to the name file
    // must lead to this file again.
    snprintf(staged->sessionName, sizeof staged->sessionName, "%s", SessionNameOf(sessionFilename).c_str());
    snprintf(staged->filename, sizeof staged->filename, "%s", file);
    snprintf(staged->sessionFilename, sizeof staged->sessionFilename, "%s", sessionFilename);
    staged->versaoTrack = versaoTrack;
    staged->secondSet = secondSet;
    ChangeCurrentSession(staged);
    delete staged;  // its arrays stay with the globals
    grMembDimensioned = grMemb ? 1 : 0;
    ClearLine();
    return 1;
}

void CheckSession() {
    SetDefaultSessionName();
    bool asked = false;
    // A name file without a word (emptied, or cut short by a full disc)
    // names no session, and a session file without its two words is taken
    // as a missing one: the program starts without data and the next
    // session write replaces the file. Reading them with the fatal readers
    // would end every start of the program.
    char word[kMaxSessionName + 1];
    bool named = false;
    if (FILE* names = IsRegularFile(kNameFile) ? fopen(kNameFile, "r") : nullptr) {
        SessionReader r(names, FileSize(names));
        // A name that would lead out of the working folder counts as damage.
        named = r.Word(word, sizeof word) && SafeSessionName(word);
        fclose(names);
        if (!named)
            fprintf(out,
                    eng ? "The session name file %s is damaged: no last session is offered.\n"
                        : "O arquivo de nome de sessao %s esta danificado: nenhuma sessao anterior e oferecida.\n",
                    kNameFile);
    }
    if (named) {
        snprintf(sessionName, sizeof sessionName, "%s", word);
        snprintf(sessionFilename, sizeof sessionFilename, "%s%s", sessionName, sessionExt);
        char file[sizeof filename];
        bool readable = false;
        const bool exists = FileExists(sessionFilename);
        if (FILE* session = IsRegularFile(sessionFilename) ? fopen(sessionFilename, "r") : nullptr) {
            SessionReader r(session, FileSize(session));
            readable = r.Word(word, sizeof word) && r.Word(file, sizeof file);
            fclose(session);
        }
        if (!readable && exists)
            DamagedSession(sessionFilename, sectionHeading);
        if (readable) {
            snprintf(filename, sizeof filename, "%s", file);
            asked = true;
            bool yes;
            if (strcmp(sessionName, "Sessao") != 0) {
                fprintf(out,
                        eng ? "Wish to continue analysis session %s with data file %s? y/n "
                            : "Continuar sessao de analise %s com dados %s? s/n ",
                        sessionName, filename);
            } else {
                fprintf(out,
                        eng ? "Wish to continue analysis session with data file %s? y/n "
                            : "Continuar sessao de analise com dados %s? s/n ",
                        filename);
            }
            fflush(out);
            yes = ScanChar(in, eng ? "y n" : "s n", Keyboard()) != 'n';
            if (!yes || ReadSessionTrack() != 1) {
                // A session given up, or one that could not be read, leaves
                // nothing behind, and later writes go to the default session.
                LivraMemoria();
                SetDefaultSessionName();
            }
            savedSession = 1;
        }
    }
    if (!asked) LivraMemoria();
    SetStepReached();
    SetDataType(optTrEs, optTrVeVar, optTrVeUnits);
    if (FileExists("Vidive.txt")) {
        fprintf(out,
                eng ? "An older file %s was found. Wish to erase(e) or append(a)? "
                    : "Ja existe o arquivo %s. Apagar(a) ou emendar(e)? ",
                "Vidive.txt");
        fflush(out);
        int key = ScanChar(in, "a e", Keyboard());
        bool erase = eng ? key == 'e' : key == 'a';
        strcpy(modeVidive, erase ? "w" : "a");
    } else {
        strcpy(modeVidive, "w");
    }
}

namespace {

// Asks a session name until one fits (at most 95 characters).
std::string AskSessionName(const char* english, const char* portuguese) {
    for (;;) {
        fprintf(out, "%s", eng ? english : portuguese);
        fflush(out);
        std::string name = AskWord(99);
        if (!SafeSessionName(name)) {
            // The session file is made in the working folder, never elsewhere.
            fprintf(out, "%s",
                    eng ? "\nA session name holds neither '/' nor '\\' and is not \"..\".\n"
                        : "\nUm nome de sessao nao contem '/' nem '\\' e nao e \"..\".\n");
            continue;
        }
        if (static_cast<int>(name.size()) <= kMaxSessionName) return name;
        fprintf(out, "%s",
                eng ? "\nA session name has at most 95 characters.\n"
                    : "\nUm nome de sessao tem no maximo 95 caracteres.\n");
    }
}

const char* DataFileOf(const Session* s) { return s ? s->filename : ""; }

}  // namespace

int SaveSession() {
    std::string name;
    for (;;) {
        name = AskSessionName("Enter name for the session: ", "Entre nome para a sessao: ");
        if (!FileExists((name + sessionExt).c_str())) break;
        fprintf(out,
                eng ? "A session named %s already exists. Wish to erase? y/n "
                    : "Ja existe uma sessao denominada %s. Deseja apagar? s/n ",
                name.c_str());
        fflush(out);
        if (ScanChar(in, eng ? "y n" : "s n", Keyboard()) != 'n') break;
    }
    return SaveSession(name.c_str());
}

int SaveSession(const char* name) {
    if (!SafeSessionName(name)) return 0;
    // A session that could not be written keeps its old name: the new one
    // names no file.
    const std::string oldName = sessionName, oldFile = sessionFilename;
    snprintf(sessionName, sizeof sessionName, "%.*s", kMaxSessionName, name);
    snprintf(sessionFilename, sizeof sessionFilename, "%s%s", sessionName, sessionExt);
    if (WriteSessionTrack() == 1) return 1;
    snprintf(sessionName, sizeof sessionName, "%s", oldName.c_str());
    snprintf(sessionFilename, sizeof sessionFilename, "%s", oldFile.c_str());
    return 0;
}

int OpenSession() {
    std::string file;
    for (;;) {
        std::string name = AskSessionName("Enter session name (without the extension .trk): ",
                                          "Entre nome da sessao (sem a extensao .trk): ");
        file = name + sessionExt;
        FILE* f = fopenck(file.c_str(), nullptr, "r");
        if (f) {
            fclose(f);
            break;
        }
        if (!AskYes("Try again? y/n ", "Tentar novamente? s/n ")) return 0;
    }
    snprintf(sessionFilename, sizeof sessionFilename, "%s", file.c_str());
    if (ReadSessionTrack() == 1) return 1;
    snprintf(sessionFilename, sizeof sessionFilename, "%s%s", sessionName, sessionExt);
    return 0;
}

namespace {

// The second-set dialogue. takeFirst: snapshot the current data set as the
// first set; key K has just taken that snapshot and made it current, and a
// second copy of every array would only double the memory held.
int SecondSetDialogue(bool takeFirst) {
    if (secondSet && session1 && session2) {
        fprintf(out, eng ? "First data set: %s\n" : "Primeiro conjunto de dados: %s\n", DataFileOf(session1));
        fprintf(out, eng ? "Second data set: %s\n" : "Segundo conjunto de dados: %s\n", DataFileOf(session2));
        fprintf(out, "%s",
                eng ? "Keep (k), switch order (s) or specify the second data set again (n)? "
                    : "Manter (k), inverter ordem (s) ou especificar o segundo novamente (n)? ");
        fflush(out);
        int key = ScanChar(in, "k s n", Keyboard());
        if (key == 'k') return 1;
        if (key == 's') {
            SwitchSessions();
            secondSet = true;
            return 1;
        }
    }
    secondSet = false;
    fprintf(out, eng ? "First data set: %s\n" : "Primeiro conjunto de dados: %s\n", filename);
    fprintf(out, "%s", eng ? "Specify now the second data set.\n" : "Especifique agora o segundo conjunto de dados.\n");
    if (takeFirst || !session1) ReplaceSession(session1, SessionClass(true));
    if (OpenSession() != 1) return 0;  // the first data set is still current
    SetDataType(optTrEs, optTrVeVar, optTrVeUnits);
    SetStepReached();
    ReplaceSession(session2, SessionClass(true));
    ChangeCurrentSession(session1);
    secondSet = true;
    return 1;
}

}  // namespace

int SpecifySecondSession() { return SecondSetDialogue(true); }

int SpecifyThirdSession() {
    if (!session1) ReplaceSession(session1, SessionClass(true));
    if (thirdSet && session3) {
        fprintf(out, eng ? "First data set: %s\n" : "Primeiro conjunto de dados: %s\n", DataFileOf(session1));
        fprintf(out, eng ? "Second data set: %s\n" : "Segundo conjunto de dados: %s\n", DataFileOf(session2));
        fprintf(out, eng ? "Third data set: %s\n" : "Terceiro conjunto de dados: %s\n", DataFileOf(session3));
        fprintf(out, "%s",
                eng ? "Keep (k), switch order (s) between second and third or specify the third data set again (n)? "
                    : "Manter (k), inverter ordem (s) entre o segundo e o terceiro ou especificar o terceiro "
                      "novamente (n)? ");
        fflush(out);
        int key = ScanChar(in, "k s n", Keyboard());
        if (key == 'k') return 1;
        if (key == 's') {
            std::swap(session2, session3);
            return 1;
        }
    }
    thirdSet = false;
    fprintf(out, eng ? "First data set: %s\n" : "Primeiro conjunto de dados: %s\n", DataFileOf(session1));
    fprintf(out, eng ? "Second data set: %s\n" : "Segundo conjunto de dados: %s\n", DataFileOf(session2));
    fprintf(out, "%s", eng ? "Specify now the third data set.\n" : "Especifique agora o terceiro conjunto de dados.\n");
    if (OpenSession() != 1) return 0;
    SetDataType(optTrEs, optTrVeVar, optTrVeUnits);
    SetStepReached();
    ReplaceSession(session3, SessionClass(true));
    // The first set's snapshot was taken before a second set was held: the
    // second set is held still.
    const bool second = secondSet;
    ChangeCurrentSession(session1);
    secondSet = second;
    thirdSet = true;
    return 1;
}

// ===========================================================================
// Descriptive attributes
// ===========================================================================

namespace descriptive_detail {

// Nats to bits.
constexpr double kNatsPerBit = 0.6931471805599453;

const char* Text(const char* english, const char* portuguese) { return eng ? english : portuguese; }

// "title" and the labels, then "title" and the values, one line each.
void LabelledValues(FILE* f, const char* labelsTitle, int n, char** labels, const char* valuesTitle,
                    const double* values) {
    fprintf(f, "%s", labelsTitle);
    PrintStringVectorTab(f, n, labels);
    fprintf(f, "%s", valuesTitle);
    PrintVectorTab(f, n, values, sDigits);
}

// Skewness m3 / m2^1.5 of k values. Values without spread have none (0),
// also when rounding leaves their central moments a hair away from 0.
double Skewness(int k, const double* x) {
    const auto range = std::minmax_element(x, x + k);
    if (*range.first == *range.second) return 0.0;
    return Moment(k, x, 3) / std::pow(Moment(k, x, 2), 1.5);
}

// Option 1. byVariable: the data with one row per variable.
void MeansBlock(FILE* f, double** byVariable) {
    std::vector<double> mean(nVar), sd(nVar), skew(nVar), redundancy(nVar), present(nObj);
    for (int j = 0; j < nVar; j++) {
        const int type = EffectiveVarType(j);
        if (type != 1 && type != 3) {
            mean[j] = sd[j] = HUGE_VAL;
            skew[j] = 0.0;
            continue;
        }
        // Missing values take no part; a statistic without the values it
        // needs is missing itself.
        int k = 0;
        for (int i = 0; i < nObj; i++)
            if (byVariable[j][i] != MISSING) present[k++] = byVariable[j][i];
        if (k == 0) {
            mean[j] = sd[j] = skew[j] = MISSING;
            continue;
        }
        // Values so large that their squares or cubes overflow (from about
        // 1e102) are taken in units of a power of two, which scales every
        // statistic exactly: the deviation and skewness of finite data stay
        // finite instead of becoming "inf" and "-nan".
        double largest = 0.0;
        for (int i = 0; i < k; i++) largest = std::max(largest, std::fabs(present[i]));
        int e = 0;
        if (largest > 0x1p300) {
            std::frexp(largest, &e);
            for (int i = 0; i < k; i++) present[i] = std::ldexp(present[i], -e);
        }
        MeanStDev(k, present.data(), mean[j], sd[j]);
        mean[j] = std::ldexp(mean[j], e);
        sd[j] = k < 2 ? MISSING : std::ldexp(sd[j], e);
        skew[j] = Skewness(k, present.data());
    }
    int kept = 0;
    Communality(nVar, nObj, byVariable, redundancy.data(), &kept);

    fprintf(f, "%s", Text("\nMean and standard deviation of variables:\n", "\nMedia e desvio padrao das variaveis:\n"));
    LabelledValues(f, Text("Variable:     \t", "Variavel:     \t"), nVar, varLabels,
                   Text("Mean:         \t", "Media:        \t"), mean.data());
    fprintf(f, "%s", Text("Standard dev.: \t", "Desvio padrao: \t"));
    PrintVectorTab(f, nVar, sd.data(), sDigits);
    fprintf(f, "%s",
            Text("Skewness in the frequency distribution of each variable: \t",
                 "Assimetria na distribuicao de frequencias de cada variavel: \t"));
    PrintVectorTab(f, nVar, skew.data(), sDigits);
    fprintf(f,
            Text("\nRedundancy (Velnik 1975) of %d variables, the level of relative redundancy (co-variation) of each "
                 "variable with respect to the other variables (-999 indicates computation was not possible):\n",
                 "\nRedundancia (Velnik 1975) de %d variaveis, o nivel de redundancia relativa (co-variacao) de cada "
                 "variavel em relacao as outras variaveis (-999 indica que o calculo nao foi possivel):\n"),
            kept);
    LabelledValues(f, Text("Variable:    \t", "Variavel:    \t"), nVar, varLabels,
                   Text("Redundancy: \t", "Redundancia: \t"), redundancy.data());
}

// Option 2. byVariable: the data with one row per variable.
void EntropyBlock(FILE* f, double** byVariable) {
    fprintf(f,
            Text("\nFrequency table an Renyi general entropy of order %g (nats) in each variable:\n",
                 "\nTabela de frequencias e entropia geral de Renyi de ordem %g (nats) em cada variavel:\n"),
            alphaEntropy);
    std::vector<double> entropy(nVar), frequency(nObj);
    std::vector<int> states(nObj);
    for (int j = 0; j < nVar; j++) {
        const int type = EffectiveVarType(j);
        if (type != 1 && type != 2) {
            entropy[j] = HUGE_VAL;
            continue;
        }
        int count = 0;
        ContingencyVector(nObj, byVariable[j], frequency.data(), &count, states.data());
        fprintf(f, Text("Variable %s:\n", "Variavel %s:\n"), varLabels[j]);
        fprintf(f, "%s", Text("States:    \t", "Estados:   \t"));
        for (int s = 0; s < count; s++) fprintf(f, "%d\t", states[s]);
        fprintf(f, "\n%s", Text("Frequency: \t", "Frequencia:\t"));
        PrintVectorTab(f, count, frequency.data(), sDigits);
        // A variable without a single value has no entropy.
        entropy[j] = count > 0 ? EntropyVector(count, frequency.data(), alphaEntropy) : MISSING;
    }
    fprintf(f,
            Text("\nRenyi general entropy of order %g (nats) in variables:\n",
                 "\nEntropia geral de Renyi de ordem %g (nats) nas variaveis:\n"),
            alphaEntropy);
    LabelledValues(f, Text("Variables:\t", "Variaveis:\t"), nVar, varLabels, Text("Entropy:  \t", "Entropia: \t"),
                   entropy.data());
}

void TableMatrixLine(FILE* f) {
    fprintf(f,
            Text("\t(Rows= %d sampling units, columns= %d variables):\n",
                 "\t(Linhas= %d unidades amostrais, colunas= %d variaveis):\n"),
            nObj, nVar);
}

// The totals of one margin, and the line of its entropy.
void Margin(FILE* f, const char* title, int n, const double* totals, const char* entropyLine, double entropy) {
    fprintf(f, "%s", title);
    PrintVectorTab(f, n, totals, sDigits);
    fprintf(f, entropyLine, alphaEntropy, sDigits, entropy);
}

// Option 3: the data as a contingency table, units in rows.
void ContingencyBlock(FILE* f) {
    const double alpha = alphaEntropy;
    if (optPrintData == 'n') {
        fprintf(f, "%s", Text("Data matrix:\n", "Matriz de dados:\n"));
        fprintf(f,
                Text("\t(Rows= %d sampling units, columns= %d variables)\n",
                     "\t(Linhas= %d unidades amostrais, colunas= %d variaveis)\n"),
                nObj, nVar);
        PrintMatrixFloat(f, nObj, nVar, data, sDigits, 0);
    }
    fprintf(f,
            Text("\nAssuming data matrix %s is a CONTINGENCY TABLE:\n",
                 "\nAssumindo que a matriz de dados %s e uma TABELA DE CONTINGENCIA:\n"),
            filename);
    std::vector<double> rows(nObj), cols(nVar);
    RowTotalsMV(nObj, nVar, data, rows.data());
    ColTotalsMV(nObj, nVar, data, cols.data());
    Margin(f, Text("Row totals:\n", "Totais das linhas:\n"), nObj, rows.data(),
           Text("Renyi entropy order %g (nats) with marginal totals of rows: \t%.*g\n",
                "Entropia de Renyi ordem %g (nats) com os totais marginais das linhas: \t%.*g\n"),
           EntropyRows(nObj, nVar, data, alpha));
    Margin(f, Text("\nColumn totals:\n", "\nTotais das colunas:\n"), nVar, cols.data(),
           Text("Renyi entropy order %g (nats) with marginal totals of columns: \t%.*g\n",
                "Entropia de Renyi ordem %g (nats) com os totais marginais das colunas: \t%.*g\n"),
           EntropyCols(nObj, nVar, data, alpha));
    fprintf(f,
            Text("Renyi mutual entropy order %g (nats): \t%.*g\n", "Entropia mutua de Renyi ordem %g (nats): \t%.*g\n"),
            alpha, sDigits, MutualEntropyMV(nObj, nVar, data, alpha));
    fprintf(
        f,
        Text("Coherence coefficient (Renyi order %g): \t%.*g\n", "Coeficiente de coerencia (Renyi ordem %g): \t%.*g\n"),
        alpha, sDigits, CoheCoefMV(nObj, nVar, data, alpha));

    // Each unit's entropy with the code length of each cell, and its Huffman
    // code; the two code-length matrices are made once, zero-filled, so that
    // cells without a code show 0.
    std::vector<double> H(nObj), L(nObj);
    double** shannon = dim2DT<double>(nObj, nVar);
    unsigned long** huffman = dim2DT<unsigned long>(nObj, nVar);
    for (int i = 0; i < nObj; i++) {
        H[i] = EntropyVectorCodeLength(nVar, data[i], alpha, shannon[i]);
        L[i] = ComplexityVectorHuffCode(nVar, data[i], huffman[i]);
    }
    fprintf(f,
            Text("\nRenyi entropy of order %g in sampling units (nats):\n",
                 "\nEntropia de Renyi de ordem %g nas unidades amostrais (nats):\n"),
            alpha);
    LabelledValues(f, Text("Sampling units:    \t", "Unidades amostrais:\t"), nObj, uaLabels,
                   Text("Entropy (nats):    \t", "Entropia (nats):   \t"), H.data());
    for (double& h : H) h /= kNatsPerBit;
    fprintf(f,
            Text("\nRenyi entropy (H) of order %g in sampling units (bits):\n",
                 "\nEntropia de Renyi (H) de ordem %g nas unidades amostrais (bits):\n"),
            alpha);
    LabelledValues(f, Text("Sampling units:    \t", "Unidades amostrais:\t"), nObj, uaLabels,
                   Text("Entropy (bits):    \t", "Entropia (bits):   \t"), H.data());
    fprintf(f, "%s",
            Text("\nKolmogorov complexity (Velmar & Velnik 1996) in sampling units:\n",
                 "\nComplexidade de Kolmogorov (Velmar & Velnik 1996) nas unidades amostrais:\n"));
    LabelledValues(f, Text("Sampling units:     \t       \t", "Unidades amostrais: \t       \t"), nObj, uaLabels,
                   Text("Total complexity (L):       \t", "Complexidade total (L):      \t"), L.data());
    if (std::fabs(alpha - 1.0) < 0.0001) {
        std::vector<double> structural(nObj);
        for (int i = 0; i < nObj; i++) structural[i] = L[i] - H[i];
        fprintf(f, "%s", Text("Structural complexity (L-H):\t", "Complexidade estrutural (L-H):\t"));
        PrintVectorTab(f, nObj, structural.data(), sDigits);
    } else {
        fprintf(f, "%s",
                Text("Structural complexity (L-H) computed only for Renyi entropy of order alpha limit 1 (Shannon "
                     "entropy):\n",
                     "Complexidade estrutural (L-H) calculada somente para entropia de Renyi de ordem alfa limite 1 "
                     "(entropia de Shannon):\n"));
    }
    fprintf(f, "%s",
            Text("\n\nHuffmann code lengths (integer bits)", "\n\nComprimentos do codigo de Huffmann (bits inteiros)"));
    TableMatrixLine(f);
    PrintMatrixTab(f, nObj, nVar, huffman);
    if (alpha == 1.0) {
        for (int i = 0; i < nObj; i++)
            for (int j = 0; j < nVar; j++) shannon[i][j] /= kNatsPerBit;
        fprintf(f, "%s",
                Text("\n\nShannon's code lengths (fractionary bits)",
                     "\n\nComprimentos do codigo de Shannon (bits fracionarios)"));
        TableMatrixLine(f);
        PrintMatrixTab(f, nObj, nVar, shannon, sDigits);
    }
    free2DT(huffman, nObj);
    free2DT(shannon, nObj);
}

// Option 4 asks whole table or groups; the factor (from 0) whose groups are
// compared, or -1 for the whole table; -2 when no groups could be had.
int AskBetaGroups() {
    fprintf(
        out, "%s",
        Text("Compute multi-site beta diversity for the whole data matrix (w) or within specified groups (g)? (w/g) ",
             "Calcular a diversidade beta entre multiplos locais para toda a matriz de dados (w) ou dentro de grupos "
             "especificados (g)? (w/g) "));
    fflush(out);
    if (ScanChar(in, "w g", Keyboard()) == 'w') return -1;
    SetGroups();
    if (temGrupo != 1 || !grMemb || !factorLabel || nFactors < 1) return -2;
    if (nFactors == 1) return 0;
    fprintf(out, "%s",
            Text("\nSpecify the factor defining unit group membership: ",
                 "\nEspecifique o fator que define os grupos de unidades amostrais: "));
    for (int k = 0; k < nFactors; k++) fprintf(out, "%d.%s ", k + 1, factorLabel[k]);
    fprintf(out, "): \t");
    fflush(out);
    return static_cast<int>(ScanNumber(in, Keyboard(), "-", 1, nFactors)) - 1;
}

// Option 4: betaSOR of the whole table, or of each group of the factor.
void BetaBlock(FILE* f, int factor) {
    if (factor < 0) {
        fprintf(f,
                Text("\nBeta diversity (betaSOR, sensu Quenby 2010) para toda a tabela de dados:\t%g\n",
                     "\nDiversidade beta (sensu Quenby 2010) for the whole table:\t%g\n"),
                BetaSOR(nObj, nVar, data, nullptr, nullptr));
        return;
    }
    int count = 0;
    std::vector<int> labels(nObj);
    CountGroupsNew(nObj, grMemb[factor], count, labels.data());
    std::vector<double> beta(count);
    BetaSOR(nObj, nVar, data, grMemb[factor], beta.data());
    fprintf(f, "%s",
            Text("\nBeta diversity (betaSOR, sensu Quenby 2010) para cada grupo especificado:\n",
                 "\nDiversidade beta (sensu Quenby 2010) for each specified group:\n"));
    fprintf(f, "%s", Text("\nGroups:\t", "\nGrupos:\t"));
    PrintVectorTab(f, count, labels.data());
    fprintf(f, "%s", "\nBetaSOR:\t");
    PrintVectorTab(f, count, beta.data(), sDigits);
}

}  // namespace descriptive_detail

int DescriptiveAttributes() {
    using namespace descriptive_detail;
    ShowStatus(out);
    fprintf(out, "%s\n", line);
    fprintf(out, "%s", Text("DESCRIPTIVE ATTRIBUTES\n", "ATRIBUTOS DESCRITIVOS\n"));
    fprintf(out, "%s", Text("Options:\n", "Opcoes:\n"));
    const int option = ShowMenu(1, 5, appliesDescriptiveAttr, dataType - 1, optDescrAttrInfo, nullptr);
    if (option < 1 || option > 4) return 0;
    optDescrAttr = option;
    if (option == 2 || option == 3) {
        fprintf(
            out, "%s",
            Text("Alpha value for Renyi entropy functions: ", "Valor de alfa para as funcoes de entropia de Renyi: "));
        fflush(out);
        alphaEntropy = ScanNumber(in, Keyboard(), "-", 0, 20);
    }
    const int factor = option == 4 ? AskBetaGroups() : -1;
    if (factor == -2) return 0;

    FILE* report = fopenck("Vidive.txt", nullptr, modeVidive);
    if (!report) return 0;
    if (strcmp(modeVidive, "w") == 0) fprintf(report, Text("TEVLAN version %s", "TEVLAN versao %s"), versao);
    fprintf(report, "\n\n%s\n", line);
    fprintf(report, "%s", Text("DESCRIPTIVE ATTRIBUTES\n", "ATRIBUTOS DESCRITIVOS\n"));
    fprintf(report, "%s\n", line);
    timer = time(nullptr);
    fprintf(report, "%s", ctime(&timer));
    ShowStatus(report);
    if (option == 1 || option == 2) {
        // The variables as rows: one contiguous vector each.
        double** byVariable = dim2DT<double>(nVar, nObj);
        TransposeMatrix(nObj, nVar, data, byVariable);
        if (option == 1)
            MeansBlock(report, byVariable);
        else
            EntropyBlock(report, byVariable);
        free2DT(byVariable, nVar);
    } else if (option == 3) {
        ContingencyBlock(report);
    } else {
        BetaBlock(report, factor);
    }
    if (!fcloseck(report, "Vidive.txt")) return 0;

    bool written = true;
    if ((option == 1 || option == 2) &&
        AskYes("\nGet confidence limits using bootstrap resampling? y/n ",
               "\nObter limites de confianca atraves de autoreamostragem (bootstrap)? s/n "))
        written = option == 1 ? SamplerMeans(nObj, nVar, data) : SamplerEntropy(nObj, nVar, data);
    if (written)
        fprintf(out, "%s", Text("\nSee results on file Vidive.txt.\n", "\nVeja resultados no arquivo Vidive.txt.\n"));
    return 1;
}

// ===========================================================================
// Transformations
// ===========================================================================

namespace transform_detail {

// Options of the transformations of a table, as the data set stores them.
struct Options {
    int scalar = 0, var = 0, units = 0;
    int classesVar = 0, classesUnits = 0;
    int bealsType = 1;
    bool bealsInclude = true, bealsNormalize = false;
    int factor = 1;
};

Options Current() {
    Options o;
    o.scalar = optTrEs;
    o.var = optTrVeVar;
    o.units = optTrVeUnits;
    o.classesVar = nClassesVar;
    o.classesUnits = nClassesUnits;
    o.bealsType = BealsTypeOpt;
    o.bealsInclude = BealsIncludeOpt;
    o.bealsNormalize = BealsNormalizeOpt;
    o.factor = optTrGroupFactor;
    return o;
}

// The transformations of o applied in place to X; row i is unit units[i]
// (from 1), or unit i + 1 without a list. Option 12 takes the groups of
// o.factor by their positions 1..g among the sorted labels, the first factor
// when o.factor is no longer one of the data set's; rows without a unit of
// the data set form one group of their own.
int Apply(int n, int p, double** X, const Options& o, const int* units) {
    std::vector<int> groups;
    if (o.var == 12 && temGrupo == 1 && grMemb && nFactors >= 1) {
        const int f = o.factor >= 1 && o.factor <= nFactors ? o.factor : 1;
        std::vector<int> positions(nObj);
        GroupPositions(nObj, grMemb[f - 1], positions.data());
        groups.assign(n, 0);
        for (int i = 0; i < n; i++) {
            const int u = units ? units[i] : i + 1;
            if (u >= 1 && u <= nObj) groups[i] = positions[u - 1];
        }
    }
    return DataTransformationsLib(n, p, X, o.scalar, o.var, o.units, o.classesVar, o.classesUnits, o.bealsType,
                                  o.bealsInclude, o.bealsNormalize, groups.empty() ? nullptr : groups.data());
}

double** CopyOfData() {
    double** W = dim2DT<double>(nObj, nVar);
    for (int i = 0; i < nObj; i++) memcpy(W[i], dataOrig[i], sizeof(double) * nVar);
    return W;
}

// The answers of one dialogue; they become the data set's options only when
// the new data are installed, so that a cancel changes nothing.
struct Choice {
    Options o;
    bool bealsTest = false;
    int permutations = 0;
    int printData = 'n';
};

void ClassesQuestion() {
    fprintf(out, "%s",
            eng ? "Enter the number of classes in the new scale:  " : "Entre o numero de classes na nova escala:  ");
    fflush(out);
}

int AskClasses() {
    ClassesQuestion();
    return static_cast<int>(ScanNumber(in, Keyboard(), "-", 0, 2147483647.0));
}

// Option 12: the groups, then which factor's effect goes.
int AskFactor() {
    SetGroups();
    if (temGrupo != 1 || !factorLabel || nFactors <= 1) return 1;
    fprintf(out, "%s",
            eng ? "\nSpecify the factor effect to be removed ( " : "\nEspecifique o efeito de fator a ser removido ( ");
    for (int k = 0; k < nFactors; k++) fprintf(out, "%d.%s ", k + 1, factorLabel[k]);
    fprintf(out, "): \t");
    fflush(out);
    return static_cast<int>(ScanNumber(in, Keyboard(), "-", 1, nFactors));
}

void AskBeals(Choice& c) {
    fprintf(out, "%s",
            eng ? "Co-occurence probabilities based on \n\t(0)presences and absences of both reference and target "
                  "variables or \n\t(1)weighting of target variable by the quantities of the reference variables:\t"
                : "Probabilidades de co-ocorrencia baseadas em \n\t(0)presencas e ausencias das variaveis de "
                  "referencia e alvo ou \n\t(1)ponderacao da variavel alvo pelas quantidades das variaveis de "
                  "referencia:\t");
    fflush(out);
    c.o.bealsType = static_cast<int>(ScanNumber(in, Keyboard(), "0 1"));
    c.o.bealsInclude = AskYes(
        "\nInclude value of the target species in its own prediction (if not, procedure will follow De Ombray & "
        "Lavonne 2008)? y/n ",
        "\nIncluir o valor da especie alvo na sua propria predicao (se nao, o procedimento segue De Ombray & "
        "Lavonne 2008)? s/n ");
    c.o.bealsNormalize = AskYes(
        "\nStandardize co-occurrence probabilities to unit sum (analogous to fuzzy-weighting in Hallek et al. "
        "2009)? y/n ",
        "\nPadronizar as probabilidades de co-ocorrencia para soma unitaria (analogo a ponderacao fuzzy em Hallek "
        "et al. 2009)? s/n ");
    c.bealsTest = AskYes("\nPerform Beals test according to De Ombray & Lavonne (2008) for each variable? y/n ",
                         "\nRealizar o teste de Beals segundo De Ombray & Lavonne (2008) para cada variavel? s/n ");
    if (c.bealsTest) {
        AleatorizacaoMain();
        c.permutations = AskNumberOfPermutations();
    }
}

// The last entry each menu of the transformation dialogue shows.
struct SpecificationMenus {
    int scalarLast, directionLast, vectorLast;
    bool printQuestion;
    // Whether the headings of the vector menus say that they hold the double
    // adjustment, which key T offers apart among the other transformations.
    bool marginalNote;
};
// Key T: every transformation. The scalar menu ends before its cancel entry
// and the direction menu has none: the cancels are those of the menus
// within variables and within sampling units.
constexpr SpecificationMenus kEveryTransformation{5, 3, 13, true, false};
// The data generator: what a simulated table of quantitative variables can
// take without groups, files or co-occurrences.
constexpr SpecificationMenus kSimulatedTable{4, 2, 10, false, true};

void Title() {
    fprintf(out, "%s\n", line);
    fprintf(out, "%s", eng ? "DATA TRANSFORMATION\n" : "TRANSFORMACAO DE DADOS\n");
    fprintf(out, "%s", eng ? "Options:\n" : "Opcoes:\n");
}

// The dialogue that specifies the transformations; false when a menu was
// cancelled (the data type is then derived again from the options in force).
bool AskSpecification(Choice& c, const SpecificationMenus& menus) {
    auto cancel = [] {
        SetDataType(optTrEs, optTrVeVar, optTrVeUnits);
        return false;
    };
    auto marginalNote = [&] {
        if (menus.marginalNote)
            fprintf(out, "%s",
                    eng ? " (includes double adjustment based on marginal totals)\n"
                        : " (inclui ajuste duplo baseado nos totais marginais)\n");
    };
    Options& o = c.o;
    o = Current();
    o.var = o.units = 0;
    // The menus offer what suits the data as read.
    SetDataType(0, 0, 0);
    fprintf(out, "%s", eng ? "\nScalar transformation:\n" : "\nTransformacao escalar:\n");
    o.scalar = ShowMenu(0, menus.scalarLast, appliesScalar, dataType - 1, optTrEsInfo, nullptr);
    if (o.scalar < 0 || o.scalar > 5) return cancel();
    SetDataType(o.scalar, 0, 0);
    fprintf(out, "%s", eng ? "\nVector transformation:\n" : "\nTransformacao vetorial:\n");
    const int direction = ShowMenu(0, menus.directionLast, appliesVectorDir, dataType - 1, optTrVeDirInfo, nullptr);
    if (direction < 0 || direction > 3) return cancel();
    bool withinUnits = direction == 1;
    if (direction == 2) {
        fprintf(out, "%s",
                eng ? "\nVector transformation within variables:\n" : "\nTransformacao vetorial dentro de variaveis:\n");
        marginalNote();
        o.var = ShowMenu(0, menus.vectorLast, appliesVectorVar, dataType - 1, optTrVe2Info, nullptr);
        if (o.var < 0 || o.var > 12) return cancel();
        if (o.var == 8) o.classesVar = AskClasses();
        if (o.var == 12) o.factor = AskFactor();
        SetDataType(o.scalar, o.var, 0);
        withinUnits = AskYes("\nSpecify more transformations (only within sampling units)? y/n ",
                             "\nEspecificar mais transformacoes (somente dentro de unidades amostrais)? s/n ");
    }
    if (withinUnits) {
        fprintf(out, "%s",
                eng ? "\nVector transformation within sampling units:\n"
                    : "\nTransformacao vetorial dentro de unidades amostrais:\n");
        marginalNote();
        o.units = ShowMenu(0, menus.vectorLast, appliesVectorUnits, dataType - 1, optTrVe2Info, nullptr);
        if (o.units < 0 || o.units > 12) return cancel();
        if (o.units == 8) {
            if (o.var == 8) {
                // One scale of classes for both directions: asked once.
                ClassesQuestion();
                o.classesUnits = o.classesVar;
                fprintf(out, eng ? "%d (same as for variables)\n" : "%d (o mesmo que para variaveis)\n",
                        o.classesUnits);
            } else {
                o.classesUnits = AskClasses();
            }
        }
    } else if (direction == 3) {
        fprintf(out, "%s", eng ? "\nOther transformation:\n" : "\nOutra transformacao:\n");
        o.units = ShowMenu(0, 12, appliesVectorOther, dataType - 1, optTrVe2Info, nullptr);
        if (o.units < 0 || o.units > 12) return cancel();
        if (o.units == 11) AskBeals(c);
    }
    SetDataType(o.scalar, o.var, o.units);
    if (!menus.printQuestion) return true;
    c.printData = AskYes("Include data matrix in the output file? y/n ", "Incluir matriz de dados nos resultados? s/n ")
                      ? 's'
                      : 'n';
    return true;
}

// The data set lets go of its resemblance matrix and ordination (a snapshot
// that holds them keeps them), and `data` becomes fresh.
void InstallData(double** fresh) {
    ReleaseOrdination();
    ReleaseRese();
    temRese = 0;
    temEscore = 0;
    LetGo2D(data, nObj);
    data = fresh;
}

// The nominal variables of the data as read expanded into binary ones.
struct Expansion {
    std::unique_ptr<bool[]> nominal;  // varType 2
    int cols = 0;
    double** Y = nullptr;
    int** states = nullptr;
    std::vector<int> nStates;
    ~Expansion() {
        if (Y) free2DT(Y, nObj);
        if (states) free2DT(states, nVar);
    }
};

bool Expand(Expansion& e) {
    e.nominal.reset(new bool[nVar]);
    for (int j = 0; j < nVar; j++) e.nominal[j] = varType && varType[j] == 2;
    const bool* expand = e.nominal.get();
    // The tables are sized by their columns, never by units x units x variables.
    const long long cols = BinarizedColumns(nObj, nVar, expand, dataOrig);
    e.Y = dim2DT<double>(nObj, cols > 0 && cols <= 2147483647LL ? static_cast<int>(cols) : 1);
    e.states = dim2DT<int>(nVar, nObj);
    e.nStates.assign(nVar, 0);
    if (cols > 2147483647LL || !Binarize(nObj, nVar, expand, dataOrig, e.Y, &e.cols, e.states, e.nStates.data())) {
        fprintf(out, "%s",
                eng ? "\nA nominal variable holds a state beyond the whole numbers a state can take: the variables "
                      "were not expanded.\n"
                    : "\nUma variavel nominal tem um estado alem dos numeros inteiros que um estado pode ter: as "
                      "variaveis nao foram expandidas.\n");
        return false;
    }
    return true;
}

// The label and count blocks of an expanded table; `dropLast` leaves out the
// last state of each nominal variable.
void ExpansionBlocks(FILE* f, const Expansion& e, bool dropLast) {
    fprintf(f, "%s",
            eng ? "Variable labels (each row corresponding to an original variable):\n"
                : "Rotulos das variaveis (cada linha correspondendo a uma variavel original):\n");
    for (int j = 0; j < nVar; j++) {
        if (!e.nominal[j]) {
            fprintf(f, "%s\n", varLabels[j]);
            continue;
        }
        const int shown = dropLast ? std::max(0, e.nStates[j] - 1) : e.nStates[j];
        for (int s = 0; s < shown; s++) fprintf(f, "%d\t", e.states[j][s]);
        fprintf(f, "\n");
    }
    fprintf(f, "%s",
            eng ? "\nNumber of states for each nominal variable in the original data:\n"
                : "\nNumero de estados de cada variavel nominal nos dados originais:\n");
    for (int j = 0; j < nVar; j++) {
        if (e.nominal[j])
            fprintf(f, "%d\n", dropLast ? std::max(0, e.nStates[j] - 1) : e.nStates[j]);
        else
            fprintf(f, "%s", eng ? "not nominal\n" : "nao nominal\n");
    }
}

void WriteExpansion(FILE* f, const Expansion& e) {
    PrintMatrixTab(f, nObj, e.cols, e.Y, sDigits);
    fprintf(f,
            eng ? "\nExpanded data with %d units in rows and %d expanded variables in columns.\n"
                : "\nDados expandidos com %d unidades nas linhas e %d variaveis expandidas nas colunas.\n",
            nObj, e.cols);
    ExpansionBlocks(f, e, false);
    fprintf(f, "\n");
    // Without the last binary column of each nominal variable: the others
    // imply it.
    std::vector<int> kept;
    for (int j = 0, c = 0; j < nVar; j++) {
        const int width = e.nominal[j] ? e.nStates[j] : 1;
        const int keep = e.nominal[j] ? width - 1 : 1;
        for (int k = 0; k < width; k++, c++)
            if (k < keep) kept.push_back(c);
    }
    const int reduced = static_cast<int>(kept.size());
    double** R = dim2DT<double>(nObj, reduced > 0 ? reduced : 1);
    for (int i = 0; i < nObj; i++)
        for (int k = 0; k < reduced; k++) R[i][k] = e.Y[i][kept[k]];
    PrintMatrixTab(f, nObj, reduced, R, sDigits);
    free2DT(R, nObj);
    fprintf(f,
            eng ? "\nExpanded data with %d units in rows and %d expanded variables in columns (eliminating last "
                  "expanded binary for each nominal variable).\n"
                : "\nDados expandidos com %d unidades nas linhas e %d variaveis expandidas nas colunas (eliminando a "
                  "ultima binaria expandida de cada variavel nominal).\n",
            nObj, reduced);
    ExpansionBlocks(f, e, true);
}

// Row and column of each individual of the contingency table, written as
// whole numbers: at sDigits significant digits a row number beyond them would
// print rounded.
void WriteNominalExpansion(FILE* f, int total) {
    ForEachIndividual(nObj, nVar, dataOrig, [f](int i, int j) { fprintf(f, "%d\t%d\t\n", i, j); });
    fprintf(f,
            eng ? "\nExpanded data with %d units in rows and %d nominal variables in columns.\n"
                : "\nDados expandidos com %d unidades nas linhas e %d variaveis nominais nas colunas.\n",
            total, 2);
}

void WriteReport(FILE* report) {
    if (strcmp(modeVidive, "w") == 0) fprintf(report, eng ? "TEVLAN version %s" : "TEVLAN versao %s", versao);
    fprintf(report, "\n%s\n", line);
    fprintf(report, "%s", eng ? "DATA TRANSFORMATION\n" : "TRANSFORMACAO DE DADOS\n");
    fprintf(report, "%s\n", line);
    timer = time(nullptr);
    fprintf(report, "%s", ctime(&timer));
    ShowStatus(report);
    if (optPrintData != 's') return;
    auto dimensions = [report] {
        fprintf(report,
                eng ? "\t(Rows= %d sampling units, columns= %d variables)\n"
                    : "\t(Linhas= %d unidades amostrais, colunas= %d variaveis)\n",
                nObj, nVar);
    };
    fprintf(report, "%s", eng ? "\nOriginal data matrix:\n" : "\nMatriz de dados original:\n");
    dimensions();
    PrintMatrixFloat(report, nObj, nVar, dataOrig, sDigits, 0);
    if (optTrEs == 0 && optTrVeVar == 0 && optTrVeUnits == 0) return;
    fprintf(report, "\n%s", eng ? "Transformed data matrix:\n" : "Matriz de dados transformada:\n");
    dimensions();
    PrintMatrixFloat(report, nObj, nVar, data, sDigits, 0);
}

// The Beals test of every variable of the data as read with the scalar
// transformation only, appended to the report. The transformation stands
// whether or not the block could be written; false when it was not.
bool BealsTestBlock(int permutations) {
    double** X = CopyOfData();
    Options scalarOnly = Current();
    scalarOnly.var = scalarOnly.units = 0;
    Apply(nObj, nVar, X, scalarOnly, nullptr);
    std::vector<double> differences(nVar), probabilities(nVar);
    BealsTest_Partial(nObj, nVar, permutations, X, differences.data(), probabilities.data(), BealsTypeOpt,
                      BealsNormalizeOpt, 1);
    free2DT(X, nObj);
    strcpy(modeVidive, "a");
    FILE* report = fopenck("Vidive.txt", nullptr, modeVidive);
    if (!report) return false;
    fprintf(report, "%s",
            eng ? "\nDifferences between MEDIANS of Beals values (Formula 2 in De Ombray & Lavonne 2008) in sites "
                  "where the target variable occurs and where it does not occur, with corresponding p-values "
                  "obtained by the Beals test described by De Ombray & Lavonne (2008):\n"
                : "\nDiferencas entre MEDIANAS dos valores de Beals (Formula 2 em De Ombray & Lavonne 2008) em locais "
                  "onde a variavel alvo ocorre e onde nao ocorre, com os valores de p correspondentes obtidos pelo "
                  "teste de Beals descrito por De Ombray & Lavonne (2008):\n");
    PrintVectorTab(report, nVar, differences.data(), sDigits);
    PrintVectorTab(report, nVar, probabilities.data(), sDigits);
    PrintSeed(report);
    return fcloseck(report, "Vidive.txt");
}

// Restores the data as read; no report.
int Restore() {
    optTrEs = optTrVeVar = optTrVeUnits = 0;
    InstallData(CopyOfData());
    SetDataType(0, 0, 0);
    return 1;
}

}  // namespace transform_detail

int ReapplyTransformations(int n, int p, double** X, const int* units) {
    return transform_detail::Apply(n, p, X, transform_detail::Current(), units);
}

int SettingsDataTransformation() {
    using namespace transform_detail;
    Title();
    const int transformed = optTrEs != 0 || optTrVeVar != 0 || optTrVeUnits != 0 ? 1 : 0;
    const int what = ShowMenu(0, 1, appliesTr, transformed, optTrInfo, nullptr);
    if (what == 0) {
        optTrEs = optTrVeVar = optTrVeUnits = 0;
        SetDataType(0, 0, 0);
        return 1;
    }
    Choice c;
    if (what != 1 || !AskSpecification(c, kSimulatedTable)) return 0;
    optTrEs = c.o.scalar;
    optTrVeVar = c.o.var;
    optTrVeUnits = c.o.units;
    nClassesVar = c.o.classesVar;
    nClassesUnits = c.o.classesUnits;
    SetDataType(optTrEs, optTrVeVar, optTrVeUnits);
    return 1;
}

int TransformaDados() {
    using namespace transform_detail;
    ShowStatus(out);
    Title();
    const int transformed = optTrEs != 0 || optTrVeVar != 0 || optTrVeUnits != 0 ? 1 : 0;
    const int what = ShowMenu(0, 2, appliesTr, transformed, optTrInfo, nullptr);
    if (what == 0) return Restore();
    if (what != 1) return 0;

    Choice c;
    if (!AskSpecification(c, kEveryTransformation)) return 0;
    const int s = c.o.scalar;
    // The expansions write files and leave the data as read: a vector
    // transformation chosen after them would be named by the status and the
    // session without ever having been applied.
    if ((s == 4 || s == 5) && (c.o.var != 0 || c.o.units != 0)) {
        c.o.var = c.o.units = 0;
        c.bealsTest = false;
        fprintf(out, "%s",
                eng ? "\nThe expansion leaves the data as read: the vector transformation chosen is not applied.\n"
                    : "\nA expansao mantem os dados como lidos: a transformacao vetorial escolhida nao e aplicada.\n");
    }

    // Everything is computed and every file opened beside the current data
    // set, which changes only when all of it is sure.
    double** fresh = CopyOfData();
    if (s != 4 && s != 5) Apply(nObj, nVar, fresh, c.o, nullptr);
    Expansion expansion;
    int individuals = 0;
    const char* expansionName = s == 4 ? "ExpandedData.txt" : (s == 5 ? "ExpandedNominalData.txt" : nullptr);
    bool ready = true;
    if (s == 4) ready = Expand(expansion);
    if (s == 5) ready = ContingencyIndividuals(nObj, nVar, dataOrig, out, &individuals);
    FILE* expanded = ready && expansionName ? fopenck(expansionName, nullptr, "w") : nullptr;
    if (expansionName && !expanded) ready = false;
    FILE* report = ready ? fopenck("Vidive.txt", nullptr, modeVidive) : nullptr;
    if (!report) {
        if (expanded) {
            fclose(expanded);
            remove(expansionName);
        }
        free2DT(fresh, nObj);
        SetDataType(optTrEs, optTrVeVar, optTrVeUnits);
        return 0;
    }

    bool written = true;
    if (expanded) {
        if (s == 4)
            WriteExpansion(expanded, expansion);
        else
            WriteNominalExpansion(expanded, individuals);
        written = fcloseck(expanded, expansionName);
    }
    InstallData(fresh);
    optTrEs = s;
    optTrVeVar = c.o.var;
    optTrVeUnits = c.o.units;
    nClassesVar = c.o.classesVar;
    nClassesUnits = c.o.classesUnits;
    optTrGroupFactor = c.o.factor;
    BealsTypeOpt = c.o.bealsType;
    BealsIncludeOpt = c.o.bealsInclude;
    BealsNormalizeOpt = c.o.bealsNormalize;
    BealsTestOpt = c.bealsTest;
    optPrintData = c.printData;
    SetDataType(optTrEs, optTrVeVar, optTrVeUnits);

    WriteReport(report);
    written = fcloseck(report, "Vidive.txt") && written;
    if (optTrVeUnits == 11 && BealsTestOpt) written = BealsTestBlock(c.permutations) && written;
    ClearLine();
    if (written)
        fprintf(out, "%s", eng ? "\nSee results on file Vidive.txt.\n" : "\nVeja resultados no arquivo Vidive.txt.\n");
    return 1;
}

// ===========================================================================
// Resemblance
// ===========================================================================

namespace {

// Nats to bits.
constexpr double kLn2 = 0.6931471805599453;
// The largest single-precision value: the upper end of the parameters.
constexpr double kLargestFloat = 3.4028234663852886e38;

// The answers of one resemblance dialogue. They are kept here and become the
// data set's options only when the new matrix is made current, so that a
// cancelled or refused dialogue changes nothing.
struct ResemblanceChoice {
    int direction = 1;
    int measure = 0;
    int post = 0;
    int countDoubleAbsence = 0;
    double alpha = 0;
    double k = 0;
    int printMatrix = 'n';
};

// Key R's dialogue in full (status, every measure, the post-transformation
// and the print question), or with `full` false the data generator's: the
// direction without its cancel entry and measures 1 to 23.
// False when a menu was cancelled with 99.
bool AskResemblance(ResemblanceChoice& c, bool full) {
    if (full) ShowStatus(out);
    fprintf(out, "%s\n", line);
    fprintf(out, "%s", eng ? "RESEMBLANCE MEASURES\n" : "MEDIDAS DE SEMELHANCA\n");
    fprintf(out, "%s", eng ? "Options: \n" : "Opcoes: \n");
    ShowMenu(1, full ? 3 : 2, appliesReseDir, dataType - 1, optReseDirInfo, &c.direction);
    if (c.direction != 1 && c.direction != 2) return false;
    fprintf(out, eng ? "\nType of resemblance measure %s: \n" : "\nTipo de medida de semelhanca %s: \n",
            optReseDirInfo[c.direction]);
    ShowMenu(1, full ? 29 : 23, c.direction == 1 ? appliesReseUnits : appliesReseVar, dataType - 1, optReseTipoInfo,
             &c.measure);
    if (c.measure < 1 || c.measure > 29) return false;  // nothing offered for this data type
    // The parameters start from those of the last resemblance.
    c.countDoubleAbsence = countDoubleAbsence;
    c.alpha = alphaH;
    c.k = kParameter;
    if (c.measure == 5)
        c.countDoubleAbsence = AskYes("Consider matching absences in binary traits? y/n  ",
                                      "Considerar ausencias compartilhadas em variaveis binarias? s/n  ")
                                   ? 1
                                   : 0;
    if (c.measure >= 7 && c.measure <= 9) {
        fprintf(out, "%s",
                eng ? "Enter order of entropy measure (alpha in Reyni's general entropy): "
                    : "Entre ordem da medida de entropia (alfa na entropia geral de Renyi): ");
        fflush(out);
        c.alpha = ScanNumber(in, Keyboard(), "-", 0, kLargestFloat);
    }
    if (c.measure == 19) {
        fprintf(out, "%s",
                eng ? "Enter parameter k (common for all variables): "
                    : "Entre parametro k (comum para todas as variaveis): ");
        fflush(out);
        c.k = ScanNumber(in, Keyboard(), "-", 0, kLargestFloat);
    }
    if (!full) return true;
    fprintf(out, "%s",
            eng ? "\nTransformations of the resemblance matrix: \n" : "\nTransformacoes da matriz de semelhanca: \n");
    ShowMenu(0, 3, nullptr, 0, optPostReseTransfInfo, &c.post);
    if (c.post < 0 || c.post > 2) return false;
    c.printMatrix = AskYes("Include resemblance matrix in the output file? y/n ",
                           "Incluir matriz de semelhanca nos resultados? s/n ")
                        ? 's'
                        : 'n';
    return true;
}

// The matrix divided by ln 2 (nats to bits), printed from a work copy.
void PrintInBits(FILE* f, int n, double** matrix) {
    double** bits = dim2DT<double>(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) bits[i][j] = matrix[i][j] / kLn2;
    PrintMatrix(f, n, n, bits, sDigits, 0);
    free2DT(bits, n);
}

// The mutual entropy of each triplet of variables and of each pair given a
// third one (the triplet's value plus the pair's), in the unit given.
void PrintTriplets(FILE* f, int m, double*** T, double** pairs, double unit, bool bits) {
    if (eng)
        fprintf(f, bits ? "\nMutual entropy between variables in triplets (bits):\n"
                        : "\nMutual entropy between variables in triplets (nats):\n");
    else
        fprintf(f, bits ? "\nEntropia mutua entre variaveis em trios (bits):\n"
                        : "\nEntropia mutua entre variaveis em trios (nats):\n");
    for (int i = 0; i < m; i++)
        for (int j = i + 1; j < m; j++)
            for (int k = j + 1; k < m; k++)
                fprintf(f, "Var. %d x %d x %d:\t%g\n", i + 1, j + 1, k + 1, NoNegativeZero(T[i][j][k] / unit));
    if (eng)
        fprintf(f, bits ? "\n\nMutual entropy pairwise conditional (|) to a third variable (bits):\n"
                        : "\nMutual entropy pairwise conditional (|) to a third variable (nats):\n");
    else
        fprintf(f, bits ? "\n\nEntropia mutua par a par condicional (|) a uma terceira variavel (bits):\n"
                        : "\nEntropia mutua par a par condicional (|) a uma terceira variavel (nats):\n");
    for (int i = 0; i < m; i++)
        for (int j = i + 1; j < m; j++)
            for (int k = 0; k < m; k++) {
                if (k == i || k == j) continue;
                fprintf(f, "Var. %d x %d | %d:\t%g\n", i + 1, j + 1, k + 1,
                        NoNegativeZero((T[i][j][k] + pairs[i][j]) / unit));
            }
}

void NegativeRootRefused() {
    fflush(stdout);
    fprintf(stderr, "%s",
            eng ? "\nThe resemblance matrix has negative values, whose square root is not defined: nothing was "
                  "changed.\n"
                : "\nA matriz de semelhanca tem valores negativos, cuja raiz quadrada nao e definida: nada foi "
                  "alterado.\n");
    fputc(7, stderr);
    fflush(stderr);
}

// Measure 29 refuses a table whose covariance matrix has no inverse; the
// refusal would otherwise go unexplained.
void SingularCovarianceRefused() {
    fflush(stdout);
    fprintf(stderr, "%s",
            eng ? "\nThe covariance matrix is singular (there may be too few entities for the number of descriptors): "
                  "the Mahalanobis distance cannot be computed. Nothing was changed.\n"
                : "\nA matriz de covariancias e singular (pode haver poucas entidades para o numero de descritores): a "
                  "distancia de Mahalanobis nao pode ser calculada. Nada foi alterado.\n");
    fputc(7, stderr);
    fflush(stderr);
}

// A matrix that holds inf or NaN (values beyond the range of a double, such
// as a squared distance of 1e200) is no result: installed, it would print as
// "-nan", be saved, and come back at the next start.
bool AllFinite(int n, double** R) {
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            if (!std::isfinite(R[i][j])) return false;
    return true;
}

void NotFiniteRefused() {
    fflush(stdout);
    fprintf(stderr, "%s",
            eng ? "\nThe resemblance matrix holds values that are not finite numbers (too large to represent, or "
                  "undefined): nothing was changed.\n"
                : "\nA matriz de semelhanca contem valores que nao sao numeros finitos (grandes demais para "
                  "representar, ou indefinidos): nada foi alterado.\n");
    fputc(7, stderr);
    fflush(stderr);
}

}  // namespace

int SettingsResemblance() {
    ResemblanceChoice c;
    if (!AskResemblance(c, false)) return 0;
    optReseDir = c.direction;
    optReseTipo = c.measure;
    countDoubleAbsence = c.countDoubleAbsence;
    alphaH = c.alpha;
    kParameter = c.k;
    nRows = c.direction == 1 ? nObj : nVar;
    nCols = c.direction == 1 ? nVar : nObj;
    return 1;
}

int Semelhanca() {
    ResemblanceChoice c;
    if (!AskResemblance(c, true)) return 0;

    // The new matrix is computed beside the current one, which stays in
    // place until the new one and its report are sure.
    const int m = c.direction == 1 ? nObj : nVar;
    double** R = dim2DT<double>(m, m);
    const int done = ResemblanceLib(nObj, nVar, data, R, c.direction, c.measure, c.post, varType, c.alpha, c.k,
                                    c.countDoubleAbsence, true);
    double*** T = nullptr;
    const bool triplets = c.measure == 7 && m == 3;
    bool ok = done == reseComputed;
    if (done == reseNegativeRoot) NegativeRootRefused();
    if (done == reseRefused && c.measure == 29) SingularCovarianceRefused();
    if (ok && !AllFinite(m, R)) {
        NotFiniteRefused();
        ok = false;
    }
    if (ok && triplets) {
        T = dim3DT<double>(m, m, m);
        ok = ResemblanceLibTriplets(nObj, nVar, data, T, c.direction, c.measure, varType, c.alpha, true) == 1;
        for (int i = 0; ok && i < m; i++)
            if (!AllFinite(m, T[i])) {
                NotFiniteRefused();
                ok = false;
            }
    }
    ClearLine();
    FILE* report = ok ? fopenck("Vidive.txt", nullptr, modeVidive) : nullptr;
    if (!report) {
        if (T) free3DT(T, m, m);
        free2DT(R, m);
        return 0;
    }

    // The new matrix becomes current; the old one and the ordination made
    // from it go (a snapshot that holds them keeps them).
    ReleaseOrdination();
    ReleaseRese();
    optReseDir = c.direction;
    optReseTipo = c.measure;
    optPostReseTransf = c.post;
    countDoubleAbsence = c.countDoubleAbsence;
    alphaH = c.alpha;
    kParameter = c.k;
    optPrintData = c.printMatrix;
    nRows = m;
    nCols = c.direction == 1 ? nVar : nObj;
    rese = R;
    temRese = 1;
    temEscore = 0;

    fprintf(report, eng ? "\nTEVLAN version %s" : "\nTEVLAN versao %s", versao);
    fprintf(report, "\n%s\n", line);
    fprintf(report, "%s", eng ? "RESEMBLANCE MEASURES\n" : "MEDIDAS DE SEMELHANCA\n");
    fprintf(report, "%s\n", line);
    timer = time(nullptr);
    fprintf(report, "%s", ctime(&timer));
    ShowStatus(report);
    if (optPrintData == 's') {
        // The matrix is symmetric: printing it is printing its transpose.
        fprintf(report, "%s", eng ? "\nResemblance matrix:\n" : "\nMatriz de semelhanca:\n");
        PrintMatrix(report, nRows, nRows, rese, sDigits, 0);
        if (optReseTipo == 7) {
            fprintf(report, "%s", eng ? "\nResemblance matrix (bits):\n" : "\nMatriz de semelhanca (bits):\n");
            PrintInBits(report, nRows, rese);
        }
        if (triplets) {
            PrintTriplets(report, m, T, rese, 1.0, false);
            PrintTriplets(report, m, T, rese, kLn2, true);
        }
    }
    // The matrix stays current even when the report could not be written:
    // it was computed, and the message says where the report failed.
    const bool written = fcloseck(report, "Vidive.txt");
    if (T) free3DT(T, m, m);
    if (written)
        fprintf(out, "%s", eng ? "\nSee results on file Vidive.txt.\n" : "\nVeja resultados no arquivo Vidive.txt.\n");
    if (optPrintData == 's' && optReseTipo >= 6 && optReseTipo <= 10 && TablesFileWritten())
        fprintf(out, "%s",
                eng ? "\nSee contingency tables in file Tables.txt.\n"
                    : "\nVeja tabelas de contingencia no arquivo Tables.txt.\n");
    return 1;
}

// ===========================================================================
// Groups of sampling units
// ===========================================================================

int AskGroupNumber(const char* sourceName) {
    return static_cast<int>(ScanNumber(in, sourceName, "-", -2147483648.0, 2147483647.0));
}

bool ReadMembershipFile(FILE* file, const char* name, int nFactorsInFile, int nUnits, int* groups) {
    const long long total = static_cast<long long>(nFactorsInFile) * nUnits;
    for (long long k = 0; k < total; k++) {
        double x = 0;
        char token[kTokenShown];
        const int read = ReadNumberToken(file, &x, token, sizeof token, name);
        if (read == tokenEnd) {
            fprintf(out,
                    eng ? "\nFile %s was not read: it holds %lld group numbers, and %lld are needed (%d factor(s) x "
                          "%d sampling units).\n"
                        : "\nO arquivo %s nao foi lido: contem %lld numeros de grupo, e sao necessarios %lld (%d "
                          "fator(es) x %d unidades amostrais).\n",
                    name, k, total, nFactorsInFile, nUnits);
            return false;
        }
        char place[64];
        const int unit = static_cast<int>(k % nUnits) + 1, factor = static_cast<int>(k / nUnits) + 1;
        if (nFactorsInFile > 1)
            snprintf(place, sizeof place, eng ? "factor %d, unit %d" : "fator %d, unidade %d", factor, unit);
        else
            snprintf(place, sizeof place, eng ? "unit %d" : "unidade %d", unit);
        if (read == tokenNotNumber) {
            NotANumberMessage(out, eng == 1, name, place, token);
            return false;
        }
        // A fraction is no group label, and a label beyond the int range
        // cannot be held: either would silently become another group.
        if (x != std::trunc(x) || x < -2147483648.0 || x > 2147483647.0) {
            fprintf(out,
                    eng ? "\nFile %s was not read: the group for %s is %.15g, which is not a whole number from "
                          "-2147483648 to 2147483647.\n"
                        : "\nO arquivo %s nao foi lido: o grupo para %s e %.15g, que nao e um numero inteiro de "
                          "-2147483648 a 2147483647.\n",
                    name, place, x);
            return false;
        }
        groups[k] = static_cast<int>(x);
    }
    return true;
}

namespace {

void ShowPartition() {
    fprintf(out, "%s", eng ? "Current group partition:\n" : "Particao atual de grupos:\n");
    fprintf(out, "%s", eng ? "Sampling units:   " : "Unidades amostrais: ");
    for (int i = 0; i < nObj; i++) fprintf(out, "\t%s", uaLabels[i]);
    for (int k = 0; k < nFactors; k++) {
        fprintf(out, eng ? "\nFactor %s: " : "\nFator %s: ", factorLabel[k]);
        fprintf(out, "%s", eng ? "\nGroups:           " : "\nGrupos:           ");
        for (int i = 0; i < nObj; i++) fprintf(out, "\t%d", grMemb[k][i]);
        fprintf(out, "\n");
    }
}

// A partition being specified, kept apart from the current one until it is
// complete: the end of the input inside the dialogue leaves the current
// partition (and the session file) as they were.
struct NewPartition {
    int factors = 0;
    int nesting = 0;
    std::vector<std::string> names;
    std::vector<int> memberships;  // factor after factor, nObj each
};

// Memberships from a file; false (with its message) when the file does not
// open or refuses, and the question is asked again.
bool MembershipsFromFile(NewPartition& p) {
    if (p.factors > 1)
        fprintf(out, "%s",
                eng ? "File must be ordered by factors (f1u1, ..., f1uN; f2u1, ...f2uN ...).\n"
                    : "O arquivo deve estar ordenado por fatores (f1u1, ..., f1uN; f2u1, ...f2uN ...).\n");
    fprintf(out, "%s",
            eng ? "Enter name of file containing group memberships: "
                : "Entre o nome do arquivo contendo os grupos de cada unidade amostral: ");
    fflush(out);
    const std::string name = AskWord(99);
    FILE* f = fopenck(name.c_str(), nullptr, "r");
    if (!f) return false;
    std::vector<int> read(p.memberships.size());
    const bool ok = ReadMembershipFile(f, name.c_str(), p.factors, nObj, read.data());
    fclose(f);
    if (ok) p.memberships.swap(read);
    return ok;
}

void MembershipsFromKeyboard(NewPartition& p) {
    fprintf(out, "%s", eng ? "Enter the group of each sampling unit:\n" : "Entre o grupo de cada unidade amostral:\n");
    fprintf(out, "%s", eng ? "Sampling unit:   " : "Unidade amostral: ");
    for (int i = 0; i < nObj; i++) fprintf(out, "\t%s", uaLabels[i]);
    for (int k = 0; k < p.factors; k++) {
        fprintf(out, eng ? "\nFactor %s: " : "\nFator %s: ", p.names[k].c_str());
        fprintf(out, "%s", eng ? "\nGroups:           " : "\nGrupos:           ");
        fflush(out);
        for (int i = 0; i < nObj; i++) p.memberships[static_cast<size_t>(k) * nObj + i] = AskGroupNumber(Keyboard());
    }
}

// Replaces the current partition by p: the old arrays are let go (a held
// snapshot keeps its own), the new ones made and the groups counted.
void InstallPartition(const NewPartition& p) {
    ReleaseGroupArrays();
    nFactors = p.factors;
    nesting = p.nesting;
    const int P = NumberOfPartitions(nFactors);
    grMemb = dim2DT<int>(P, nObj);
    grLabel = dim2DT<int>(P, nObj);
    factorLabel = dim2DT<char>(nFactors, 100);
    nGroups = dim1DT<int>(P);
    nestedFactor = dim1DT<int>(nFactors);
    grMembDimensioned = 1;
    if (nesting == 1) nestedFactor[1] = 1;
    for (int k = 0; k < nFactors; k++) {
        snprintf(factorLabel[k], 100, "%s", p.names[k].c_str());
        std::copy(p.memberships.begin() + static_cast<size_t>(k) * nObj,
                  p.memberships.begin() + static_cast<size_t>(k + 1) * nObj, grMemb[k]);
        CountGroups(nObj, grMemb[k], nGroups[k], grLabel[k]);
    }
    temGrupo = 1;
}

}  // namespace

void SetGroups() {
    fprintf(out, "%s\n", line);
    fprintf(out, "%s", eng ? "SPECIFYING GROUPS\n" : "ESPECIFICACAO DE GRUPOS\n");
    fprintf(out, eng ? "File: %s\n" : "Arquivo: %s\n", filename);
    if (temDados != 1 || nObj < 1 || !uaLabels) return;
    if (temGrupo == 1 && grMemb && factorLabel) {
        ShowPartition();
        if (!AskYes("Change? y/n ", "Alterar? s/n ")) return;
    }

    NewPartition p;
    fprintf(out, "%s",
            eng ? "Enter the number of factors that are defining groups: "
                : "Entre o numero de fatores que definem grupos: ");
    fflush(out);
    p.factors = static_cast<int>(ScanNumber(in, Keyboard(), "-", 1, 10));
    if (p.factors > 1 && AskYes("Block design? y/n ", "Delineamento em blocos? s/n ")) p.nesting = 1;

    fprintf(out, "%s", eng ? "Enter the name of each factor: \n" : "Informe o nome de cada fator de agrupamento: \n");
    for (int k = 1; k <= p.factors; k++) {
        if (p.nesting == 1 && k == 1) {
            p.names.push_back(eng ? "Blocks" : "Blocos");
            fprintf(out, eng ? "Factor %d: %s\n" : "Fator %d: %s\n", k, p.names.back().c_str());
            continue;
        }
        fprintf(out, eng ? "Factor %d: " : "Fator %d: ", k);
        fflush(out);
        p.names.push_back(AskWord(99));
    }

    p.memberships.assign(static_cast<size_t>(p.factors) * nObj, 0);
    for (;;) {
        fprintf(out, "%s",
                eng ? "Read group memberships from file (f) or from the keyboard (k)? f/k "
                    : "Ler grupo de cada unidade amostral de um arquivo (a) ou do teclado (t)? a/t ");
        fflush(out);
        const int key = ScanChar(in, eng ? "f k" : "a t", Keyboard());
        if (key == 'k' || key == 't') {
            MembershipsFromKeyboard(p);
            break;
        }
        if (MembershipsFromFile(p)) break;
    }
    InstallPartition(p);
}

// ===========================================================================
// Scatter diagrams
// ===========================================================================

namespace ordination_detail {
const char* SetName(bool units);
}  // namespace ordination_detail

namespace scatter_detail {

const char* const kScatterFile = "ScatterData.txt";

// printf into the end of a string: the legend grows with what it names (a
// long file name and long transformation and measure names together run well
// past any fixed buffer).
__attribute__((format(printf, 2, 3))) void Appendf(std::string& s, const char* format, ...) {
    va_list first, second;
    va_start(first, format);
    va_copy(second, first);
    const int k = vsnprintf(nullptr, 0, format, first);
    va_end(first);
    if (k > 0) {
        const size_t at = s.size();
        s.resize(at + static_cast<size_t>(k) + 1);
        vsnprintf(&s[at], static_cast<size_t>(k) + 1, format, second);
        s.resize(at + static_cast<size_t>(k));
    }
    va_end(second);
}

// Label of unit or variable k (from 0): "u%d" or "v%d" when the data carry
// default labels and the diagram mixes the two sets; a unit without the
// labels answer is only a square.
std::string PointLabel(bool unit, int k, bool labelled, bool numbered) {
    if (numbered) return (unit ? "u" : "v") + std::to_string(k + 1);
    if (!unit) return varLabels[k];
    return labelled ? uaLabels[k] : "";
}

void AppendScores(int n, const double* x, const double* y, bool units, bool labelled, bool numbered,
                  std::vector<ScatterPoint>& points) {
    points.reserve(points.size() + static_cast<size_t>(n));
    for (int i = 0; i < n; i++) points.push_back({PointLabel(units, i, labelled, numbered), x[i], y[i]});
}

int AskOption(const char* accepted) {
    fprintf(out, "%s", eng ? "Type option no.: " : "Digite o numero da opcao: ");
    fflush(out);
    return static_cast<int>(ScanNumber(in, "teclado", accepted));
}

int AskAxis(const char* axisName, bool horizontal, int highest) {
    if (horizontal)
        fprintf(out, eng ? "Enter %s for the horizontal axis: " : "Digite %s para o eixo horizontal: ", axisName);
    else
        fprintf(out, eng ? "Enter %s for the vertical axis: " : "Digite %s para o eixo vertical: ", axisName);
    fflush(out);
    return static_cast<int>(ScanNumber(in, "teclado", "-", 1, highest));
}

// The points of the current ordination after the questions on the diagram
// type, the labels and the axes.
void OrdinationPoints(const char* axisName, std::vector<ScatterPoint>& points, std::string& pointsName, int& h,
                      int& v) {
    using ordination_detail::SetName;
    const bool correspondence = optOrdiType == 3;
    // escores holds the compared set after principal coordinates and the
    // other set after principal components.
    const bool unitScores = (optOrdiType == 1) == (optReseDir == 1);
    bool biplot = false;
    if (!correspondence && unitScores) {
        fprintf(out, "%s",
                eng ? "\nType of scatter diagram: \n   1  plot sampling units only\n   2  biplot of sampling units "
                      "(scores) and variables (correlations with axes)\n"
                    : "\nTipo de diagrama de dispersao: \n   1  somente unidades amostrais\n   2  biplot de unidades "
                      "amostrais (escores) e variaveis (correlacoes com os eixos)\n");
        biplot = AskOption("1 2") == 2;
        if (biplot && scatterHSize != scatterVSize) {
            fprintf(out, "%s",
                    eng ? "\nScatter dimensions are not the same. Please set preferences accordingly. \nWill use "
                          "default sizes now.\n"
                        : "\nAs dimensoes do diagrama de dispersao nao sao iguais. Favor ajustar as preferencias. "
                          "\nSerao usados os tamanhos padrao agora.\n");
            scatterHSize = 0;
            scatterVSize = 0;
        }
    }
    fprintf(out, "%s", eng ? "\nLabels to use in the scatter: \n   0  none (only squares) \n"
                           : "\nRotulos a usar no diagrama: \n   0  nenhum (somente quadrados) \n");
    if (correspondence)
        fprintf(out, "%s", eng ? "   1  both rows and columns labels \n" : "   1  rotulos de linhas e colunas \n");
    else if (unitScores)
        fprintf(out, "%s", eng ? "   1  sampling unit labels \n" : "   1  rotulos das unidades amostrais \n");
    else
        fprintf(out, "%s", eng ? "   1  variable labels \n" : "   1  rotulos das variaveis \n");
    const bool labelled = AskOption("0 1") == 1;
    h = AskAxis(axisName, true, rank);
    v = AskAxis(axisName, false, rank);

    const bool numbered = (correspondence || biplot) && optLabel == 1;
    if (correspondence) {
        const bool comparedUnits = optReseDir == 1;
        AppendScores(nRows, evectors[h - 1], evectors[v - 1], comparedUnits, labelled, numbered, points);
        AppendScores(nCols, escores[h - 1], escores[v - 1], !comparedUnits, labelled, numbered, points);
        pointsName = std::string(SetName(false)) + " & " + SetName(true);
        return;
    }
    const int n = optOrdiType == 1 ? nRows : nCols;
    AppendScores(n, escores[h - 1], escores[v - 1], unitScores, labelled, numbered, points);
    pointsName = SetName(unitScores);
    if (biplot) {
        // Correlated with the table the ordination saw.
        AppendBiplotVariables(n, escores[h - 1], escores[v - 1], nVar, data, varLabels, numbered, points);
        pointsName = pointsName + " & " + SetName(false);
    }
}

// The legend, its lines ending in carriage returns.
std::string Legend(const char* axisName, int h, int v, const std::string& pointsName, bool scores) {
    std::string s;
    Appendf(s, eng ? "Data: %s  Type: %s  " : "Dados: %s  Tipo: %s  ", filename, MenuText(optVarTipoInfo, optVarTipo));
    Appendf(s, eng ? "%d units, %d var.\r" : "%d unidades, %d var.\r", nObj, nVar);
    Appendf(s, eng ? "Axes: %s %d x %d      " : "Eixos: %s %d x %d      ", axisName, h, v);
    Appendf(s, eng ? "Points: %s\r" : "Pontos: %s\r", pointsName.c_str());
    if (scores) {
        Appendf(s, eng ? "Scalar transf.: %s\r" : "Transf. escalar: %s\r", MenuText(optTrEsInfo, optTrEs));
        Appendf(s, eng ? "Vector transf.: %s\r" : "Transf. vetorial: %s\r",
                VectorTransformationText(optTrVeVar, optTrVeUnits).c_str());
        Appendf(s, eng ? "Resemblance: %s, %s\r" : "Semelhanca: %s, %s\r", MenuText(optReseTipoInfo, optReseTipo),
                MenuText(optReseDirInfo, optReseDir));
        Appendf(s, eng ? "Ordination: %s\r" : "Ordenacao: %s\r", MenuText(optOrdiTypeInfo, optOrdiType));
    }
    time(&timer);
    if (const char* now = ctime(&timer)) s += now;
    return s;
}

}  // namespace scatter_detail

void AppendBiplotVariables(int n, double* x, double* y, int p, double** data, char** labels, bool numbered,
                           std::vector<ScatterPoint>& points) {
    if (n <= 0 || p <= 0) return;
    // Only the two chosen axes are correlated, whatever their numbers: an
    // axis beyond those the report prints is as good as any other.
    double* axes[2] = {x, y};
    double** r = dim2DT<double>(p, 2);
    ScoreCorrComp(2, n, axes, data, p, 0, 2, r);
    const double f =
        (std::fabs(minVector(n, x)) + maxVector(n, x) + maxVector(n, y) + std::fabs(minVector(n, y))) / 4.0;
    points.reserve(points.size() + static_cast<size_t>(p));
    for (int j = 0; j < p; j++) {
        if (r[j][0] == 0.0 && r[j][1] == 0.0) continue;
        points.push_back({numbered ? "v" + std::to_string(j + 1) : std::string(labels[j]), f * r[j][0], f * r[j][1]});
    }
    free2DT(r, p);
}

bool WriteScatterData(const char* name, const std::vector<ScatterPoint>& points, const std::string& legend) {
    FILE* f = fopenck(name, nullptr, "w");
    if (!f) return false;
    // The chosen axes are always the file's first and second columns.
    fprintf(f, "Labels\tAxis%d\tAxis%d\n", 1, 2);
    for (const ScatterPoint& p : points)
        fprintf(f, "%s\t%g\t%g\n", p.label.c_str(), NoNegativeZero(p.x), NoNegativeZero(p.y));
    std::string text = legend;
    std::replace(text.begin(), text.end(), '\r', '\n');
    fprintf(f, "\n%s\n", text.c_str());
    bool ok = !ferror(f);
    ok = fflush(f) == 0 && ok;
    ok = fclose(f) == 0 && ok;
    if (ok) return true;
    // A cut file would pass for a whole diagram.
    remove(name);
    fflush(stdout);
    fprintf(stderr, eng ? "\nFile %s could not be written.\n" : "\nArquivo %s nao pode ser escrito.\n", name);
    fputc(7, stderr);
    fflush(stderr);
    return false;
}

void Scatter() {
    using namespace scatter_detail;
    ShowStatus(out);
    fprintf(out, "%s",
            eng ? "Use as coordinates of the scatter diagram:\n\t(1)original variables\n\t(2)original variables "
                  "transformed\n\t(3)ordination scores\n"
                : "Usar como coordenadas do diagrama de dispersao:\n\t(1)variaveis originais\n\t(2)variaveis "
                  "originais transformadas\n\t(3)escores de ordenacao\n");
    fprintf(out, "\t(99)%s\n", returnMain);
    fprintf(out, "\t\t%s: ", enterOpt);
    fflush(out);
    const int source = static_cast<int>(ScanNumber(in, "teclado", "1 2 3 99"));
    if (source == 99) return;
    if (source == 2 && optTrEs == 0 && optTrVeVar == 0 && optTrVeUnits == 0) {
        fprintf(out, "%s", eng ? "\nTransformed data not available.\n" : "\nDados transformados nao disponiveis.\n");
        return;
    }
    // An ordination that kept no axis has no scores to plot.
    if (source == 3 && (temEscore != 1 || rank < 1 || !escores || !evectors)) {
        fprintf(out, "%s", eng ? "\nOrdination scores not available.\n" : "\nEscores de ordenacao nao disponiveis.\n");
        return;
    }

    std::vector<ScatterPoint> points;
    std::string pointsName;
    int h = 0, v = 0;
    const char* axisName;
    if (source == 3) {
        axisName = eng ? "component" : "componente";
        OrdinationPoints(axisName, points, pointsName, h, v);
    } else {
        axisName = eng ? "variables" : "variaveis";
        h = AskAxis(axisName, true, nVar);
        v = AskAxis(axisName, false, nVar);
        double** table = source == 1 ? dataOrig : data;
        points.reserve(static_cast<size_t>(nObj));
        for (int i = 0; i < nObj; i++) points.push_back({uaLabels[i], table[i][h - 1], table[i][v - 1]});
        pointsName = ordination_detail::SetName(true);
    }
    WriteScatterData(kScatterFile, points, Legend(axisName, h, v, pointsName, source == 3));
}

// ===========================================================================
// Ordination
// ===========================================================================

namespace ordination_detail {

// Names of the ordinated sets in titles.
const char* SetName(bool units) {
    if (units) return eng ? "sampling units" : "unidades amostrais";
    return eng ? "variables" : "variaveis";
}

// The number of axes printed.
int PrintedAxes(int nAxes) { return std::max(0, std::min(nAxes, nMaxDim)); }

// A table of p descriptors (rows, with their labels) by a axes: the corner
// holds the title, the header the axis names.
void DescriptorTable(FILE* f, int p, int a, double** values, const char* title, char** labels) {
    std::vector<std::string> names(a);
    std::vector<char*> pointers(a);
    int width = GetWidthMax(p, a, values, sDigits);
    for (int k = 0; k < a; k++) {
        names[k] = (eng ? "Axis " : "Eixo ") + std::to_string(k + 1);
        pointers[k] = &names[k][0];
        width = std::max(width, static_cast<int>(names[k].size()));
    }
    const int titleWidth = static_cast<int>(strlen(title));
    fprintf(f, "%s\t", title);
    PrintStringVector(f, a, pointers.data(), width, titleWidth + 1);
    for (int j = 0; j < p; j++) {
        fprintf(f, "%*s\t", titleWidth, labels[j]);
        PrintVector(f, a, values[j], sDigits, width, titleWidth + 1);
    }
    fprintf(f, "\n");
}

// The correlation table, then for each axis the descriptors in descending
// order of absolute correlation (ties in descriptor order; an undefined value
// last).
void CorrelationTable(FILE* f, int a, int p, double** r, const char* title, char** labels) {
    DescriptorTable(f, p, a, r, title, labels);
    fprintf(f, "%s",
            eng ? "Original descriptors with the highest correlation coefficients:\n"
                : "Descritores originais com os maiores coeficientes de correlacao:\n");
    const int shown = std::min(p, 2 * nMaxDim);
    std::vector<int> order(p);
    for (int k = 0; k < a; k++) {
        for (int j = 0; j < p; j++) order[j] = j;
        auto key = [&](int j) { return std::isnan(r[j][k]) ? -1.0 : std::fabs(r[j][k]); };
        std::stable_sort(order.begin(), order.end(), [&](int x, int y) { return key(x) > key(y); });
        fprintf(f, eng ? "Axis %d:\t" : "Eixo %d:\t", k + 1);
        for (int i = 0; i < shown; i++) fprintf(f, "%s:%g\t", labels[order[i]], NoNegativeZero(r[order[i]][k]));
        fprintf(f, "\n");
    }
}

}  // namespace ordination_detail

bool PrintScores(FILE* report, int nAxes, int n, double** scores, const char* name) {
    using namespace ordination_detail;
    const int a = PrintedAxes(nAxes);
    fprintf(report, eng ? "\nScores of %s on the first %d components:\n" : "\nEscores de %s nos primeiros %d componentes:\n",
            name, a);
    for (int k = 0; k < a; k++) {
        fprintf(report, eng ? "Axis %2d:\t" : "Eixo %2d:\t", k + 1);
        PrintVectorTab(report, n, scores[k], sDigits);
    }
    FILE* f = fopenck("scores.txt", nullptr, "w");
    if (!f) return false;
    for (int i = 0; i < n; i++) {
        for (int k = 0; k < a; k++) fprintf(f, "%g\t", NoNegativeZero(scores[k][i]));
        fprintf(f, "\n");
    }
    return fcloseck(f, "scores.txt");
}

void VarContribution(FILE* report, int nAxes, int p, double** evectors, double** rese, const char* title,
                     char** labels) {
    using namespace ordination_detail;
    const int a = PrintedAxes(nAxes);
    double** c = dim2DT<double>(p, std::max(a, 1));
    for (int k = 0; k < a; k++) {
        double total = 0.0;
        for (int j = 0; j < p; j++) {
            const double v = std::sqrt(std::max(rese[j][j], 0.0)) * evectors[k][j];
            c[j][k] = v * v;
            total += c[j][k];
        }
        for (int j = 0; j < p; j++) c[j][k] = total > 0.0 ? 100.0 * c[j][k] / total : 0.0;
    }
    DescriptorTable(report, p, a, c, title, labels);
    free2DT(c, p);
}

void ScoreCorr(FILE* report, int nAxes, int n, double** scores, double** data, int p, const char* title,
               bool dataByRows, char** labels) {
    using namespace ordination_detail;
    const int a = PrintedAxes(nAxes);
    double** r = dim2DT<double>(p, std::max(a, 1));
    ScoreCorrComp(nAxes, n, scores, data, p, dataByRows ? 1 : 0, nMaxDim, r);
    CorrelationTable(report, a, p, r, title, labels);
    free2DT(r, p);
}

void ScoreCorr(FILE* report, int nAxes, int n, double** scores, double** data, int p, const char* title,
               bool dataByRows, char** labels, int type, double** rese, const double* eig,
               double** evectors) {
    using namespace ordination_detail;
    if (type != 2) {
        ScoreCorr(report, nAxes, n, scores, data, p, title, dataByRows, labels);
        return;
    }
    // A component's correlation with a descriptor from its loading; a
    // descriptor without variance (a species absent from every plot) has none.
    const int a = PrintedAxes(nAxes);
    double** r = dim2DT<double>(p, std::max(a, 1));
    for (int k = 0; k < a; k++)
        for (int j = 0; j < p; j++)
            r[j][k] = rese[j][j] > 0.0 ? evectors[k][j] * std::sqrt(eig[k] / rese[j][j]) : 0.0;
    CorrelationTable(report, a, p, r, title, labels);
    free2DT(r, p);
}

namespace ordination_detail {

// One ordination's results before they become the current ones.
struct OrdinationResult {
    int n, width;
    double* eig;
    double** evectors;
    double** scores;
    OrdinationResult(int n_, int width_)
        : n(n_), width(width_), eig(dim1DT<double>(n_ + 1)), evectors(dim2DT<double>(n_ + 1, n_ + 1)),
          scores(dim2DT<double>(n_, width_)) {}
    void Release() {
        free1D(eig);
        free2DT(evectors, n + 1);
        free2DT(scores, n);
    }
};

void IncompatibleMeasure() {
    fprintf(out, "%s", eng ? "Resemblance measure is not compatible.\n" : "Medida de semelhanca nao compativel.\n");
    fprintf(out,
            eng ? "Acceptable options for principal components analysis: %s, %s ou %s %s\n"
                : "Opcoes aceitaveis para analise de componentes principais: %s, %s ou %s %s\n",
            MenuText(optReseTipoInfo, 1), MenuText(optReseTipoInfo, 17), MenuText(optReseTipoInfo, 22),
            MenuText(optReseDirInfo, 2));
    fputc(7, out);
}

void IncompatibleTransformation() {
    fprintf(out, "%s",
            eng ? "Data transformation and/or resemblance measure are not compatible.\n"
                : "Transformacao de dados e/ou medida de semelhanca nao sao compativeis.\n");
    fprintf(out,
            eng ? "\tAcceptable options for correspondence analysis:\n\tVector transformation: %s\n\tResemblance "
                  "option: %s\n"
                : "\tOpcoes aceitaveis para analise de correspondencia:\n\tTransformacao vetorial: %s\n\tOpcao de "
                  "semelhanca: %s\n",
            MenuText(optTrVe2Info, 6), MenuText(optReseTipoInfo, 1));
    fputc(7, out);
}

void UndefinedResemblances() {
    fprintf(out, "%s",
            eng ? "\nThe resemblance matrix holds undefined values (-999, such as the turnover or nestedness of "
                  "sampling units without any presence) or values too large to represent: it cannot be ordinated.\n"
                : "\nA matriz de semelhanca contem valores indefinidos (-999, como a substituicao ou o aninhamento de "
                  "unidades amostrais sem nenhuma presenca) ou valores grandes demais para representar: ela nao pode "
                  "ser ordenada.\n");
    fputc(7, out);
}

void EigenAnalysisFailed() {
    fprintf(out, "%s",
            eng ? "\nThe eigen analysis of this resemblance matrix did not converge by any of its methods, or its "
                  "eigenvalues are too large for a double: the ordination is not computed and the previous one, if "
                  "any, is kept.\n"
                : "\nA analise de autovalores desta matriz de semelhanca nao convergiu por nenhum de seus metodos, ou "
                  "seus autovalores sao grandes demais para um double: a ordenacao nao foi calculada e a anterior, se "
                  "houver, e mantida.\n");
    fputc(7, out);
}

// The matrix that was subjected to the eigen analysis (printing the squared
// distances of principal coordinates on the way when asked), returned for its
// trace; null when neither is wanted.
double** ReportWorkMatrix(FILE* f, int n, int type, bool intermediate, bool needTrace) {
    if (!intermediate && !needTrace) return nullptr;
    double** w = dim2DT<double>(n, n);
    if (type == 1) {
        SquaredDistancesPCoA(n, rese, w, optReseTipo);
        if (intermediate) {
            fprintf(f, "%s", eng ? "\nMatrix with squared distances:\n" : "\nMatriz com distancias ao quadrado:\n");
            PrintLowerHalfMatrix(f, n, w, sDigits, 0);
        }
        DissToCenterProdMatrix(n, w, w, true);
        UpperToLowerMatrix(n, w);
    } else {
        CopyMatrix(n, n, rese, w);
    }
    if (intermediate) {
        fprintf(f, "%s", eng ? "\nMatrix subjected to eigenanalysis:\n" : "\nMatriz submetida a analise de autovalores:\n");
        PrintMatrix(f, n, n, w, sDigits, 0);
    }
    return w;
}

void EigenvalueLines(FILE* f, int n, bool ok, double** work) {
    double s = 0.0;
    for (int k = 0; k < n; k++)
        if (eig[k] > 0.0) s += eig[k];
    fprintf(f, eng ? "\nNumber of eigenvalues >0.0001: \t%d" : "\nNumero de autovalores >0.0001: \t%d", rank);
    fprintf(f, "%s", eng ? "\nEigenvalues:\t" : "\nAutovalores:\t");
    for (int k = 0; k < rank; k++) fprintf(f, "%8.*g\t", sDigits, NoNegativeZero(eig[k]));
    fprintf(f, "%s", eng ? "\nPercentage:\t" : "\nPercentagem:\t");
    for (int k = 0; k < rank; k++) fprintf(f, "%8.*g\t", sDigits, NoNegativeZero(100.0 * eig[k] / s));
    fprintf(f, "\n");
    if (ok) return;
    const double t = MatrixTrace(n, work);
    fprintf(f, "%s",
            eng ? "\nWarning!!! The resemblance matrix subjected to eigenanalysis seems not to have\n           "
                  "euclidean metric properties."
                : "\nAtencao!!! A matriz de semelhanca submetida a analise de autovalores parece nao ter\n           "
                  "propriedades metricas euclidianas.");
    fprintf(f,
            eng ? "\nSum of positive eigenvalues: %g\tTrace: %g\tDiscrepance: %g%%\n"
                : "\nSoma dos autovalores positivos: %g\tTraco: %g\tDiscrepancia: %g%%\n",
            s, t, t != 0.0 ? (s - t) * 100.0 / t : 0.0);
}

// Descriptor correlations after principal coordinates; for the chord
// distance the descriptors are the compared profiles scaled to unit length,
// in a copy.
void CoordinateCorrelations(FILE* f) {
    const bool units = optReseDir == 1;
    fprintf(f, "%s",
            eng ? "\nCorrelation coefficients between original descriptors and ordination axes:\n"
                : "\nCoeficientes de correlacao entre descritores originais e eixos de ordenacao:\n");
    double** descriptors = data;
    if (optReseTipo == 18) {
        descriptors = dim2DT<double>(nObj, nVar);
        if (units)
            NormalizeRowsMV(nObj, nVar, data, descriptors);
        else
            NormalizeColsMV(nObj, nVar, data, descriptors);
    }
    ScoreCorr(f, rank, nRows, escores, descriptors, nCols, SetName(!units), !units, units ? varLabels : uaLabels);
    if (descriptors != data) free2DT(descriptors, nObj);
}

// The scores of escores divided by the square roots of their eigenvalues,
// in a copy: escores keeps the scores that the other analyses use.
bool MahalanobisScores(FILE* f, int width, const char* name) {
    double** adjusted = dim2DT<double>(std::max(rank, 1), width);
    for (int k = 0; k < rank; k++) {
        const double root = std::sqrt(eig[k]);
        for (int j = 0; j < width; j++) adjusted[k][j] = escores[k][j] / root;
    }
    fprintf(f,
            eng ? "\nScores of %s adjusted for preserving Mahalanobis distances between %s (according to Lavonne & "
                  "Lavonne 2012 eq.9.14):"
                : "\nEscores de %s ajustados para preservar distancias de Mahalanobis entre %s (de acordo com Lavonne & "
                  "Lavonne 2012 eq.9.14):",
            name, name);
    const bool written = PrintScores(f, rank, width, adjusted, name);
    free2DT(adjusted, std::max(rank, 1));
    return written;
}

// The test compares the eigenvalues of the axes, the `rank` positive ones.
// The zero and negative eigenvalues beyond them (the centring's zero in
// principal coordinates, those of a table with fewer units than variables, or
// of a non-Euclidean matrix) are no axes: each would enter the statistic as
// ln(1e-10), and every axis would come out significant whatever the data. The
// degrees of freedom already count `rank` eigenvalues.
void BartlettLines(FILE* f) {
    fprintf(f, "%s",
            eng ? "\nBartlett's test. Bartlett's u statistic according to Ablott 2002 p.399 and corresponding p-value: \n"
                : "\nTeste de Bartlett. Estatistica u de Bartlett de acordo com Ablott 2002 p.399 e probabilidade "
                  "correspondente: \n");
    fprintf(f, "Bartlett\tu\tp\n");
    for (int k = 1; k <= rank; k++)
        fprintf(f, eng ? "Axis %d:\t%g\t%g\n" : "Eixo %d:\t%g\t%g\n", k,
                NoNegativeZero(Bartlett_u(rank, k, eig, nCols, rank)),
                NoNegativeZero(Bartlett_uProb(rank, k, eig, nCols, rank)));
}

bool OrdinationReport(FILE* f, int type, bool ok, bool intermediate) {
    bool scores = true;
    const bool units = optReseDir == 1;
    fprintf(f, "\n%s\n", line);
    fprintf(f, "%s", eng ? "ORDINATION" : "ORDENACAO");
    fprintf(f, "\n%s\n", line);
    time(&timer);
    fprintf(f, "%s", ctime(&timer));
    ShowStatus(f);
    fprintf(f, eng ? "Ordination method: %s\n" : "Metodo de ordenacao: %s\n", MenuText(optOrdiTypeInfo, type));

    double** work = ReportWorkMatrix(f, nRows, type, intermediate, !ok);
    EigenvalueLines(f, nRows, ok, work);
    if (work) free2DT(work, nRows);

    const char* compared = SetName(units);
    const char* other = SetName(!units);
    if (type == 1) {
        scores = PrintScores(f, rank, nRows, escores, compared) && scores;
        if (dataType == 1 || dataType == 2 || dataType == 4 || dataType == 6) CoordinateCorrelations(f);
    } else if (type == 2) {
        fprintf(f, eng ? "\nEigenvectors (normalized, max. %d):\n" : "\nAutovetores (normalizados, max. %d):\n", nMaxDim);
        for (int k = 0; k < PrintedAxes(rank); k++) {
            fprintf(f, eng ? "Axis %d:\t" : "Eixo %d:\t", k + 1);
            for (int i = 0; i < nRows; i++) fprintf(f, "%8.*g\t", sDigits, NoNegativeZero(evectors[k][i]));
            fprintf(f, "\n");
        }
        scores = PrintScores(f, rank, nCols, escores, other) && scores;
        char** labels = units ? uaLabels : varLabels;
        fprintf(f, "%s",
                eng ? "\nCorrelation coefficients between original descriptors and ordination axes:\n"
                    : "\nCoeficientes de correlacao entre descritores originais e eixos de ordenacao:\n");
        ScoreCorr(f, rank, nCols, escores, data, nRows, compared, units, labels, 2, rese, eig, evectors);
        fprintf(f, "%s",
                eng ? "\nContribution (percentage) of original descriptors in each ordination axis:\n"
                    : "\nContribuicao (percentagem) dos descritores originais em cada eixo de ordenacao:\n");
        // The descriptors are the ordinated entities: their own name heads
        // their labels.
        VarContribution(f, rank, nRows, evectors, rese, compared, labels);
    } else {
        scores = PrintScores(f, rank, nRows, evectors, compared) && scores;
        scores = PrintScores(f, rank, nCols, escores, other) && scores;
    }
    const char* scored = type == 1 ? compared : other;
    scores = MahalanobisScores(f, type == 1 ? nRows : nCols, scored) && scores;
    if (type == 1 || type == 2) BartlettLines(f);
    return scores;
}

}  // namespace ordination_detail

bool OrdinationSuitsOptions(int type) {
    using namespace ordination_detail;
    if (type == 2 && optReseTipo != 1 && optReseTipo != 17 && optReseTipo != 22) {
        IncompatibleMeasure();
        return false;
    }
    if (type == 3 && (optReseTipo != 1 || (optTrVeVar != 6 && optTrVeUnits != 6))) {
        IncompatibleTransformation();
        return false;
    }
    return true;
}

int Ordenacao() {
    using namespace ordination_detail;
    ShowStatus(out);
    fprintf(out, "%s", eng ? "Ordination method:\n" : "Metodo de ordenacao:\n");
    fprintf(out, "\t%s\n\t%s\n \t%s\n ", MenuText(optOrdiTypeInfo, 1), MenuText(optOrdiTypeInfo, 2),
            MenuText(optOrdiTypeInfo, 3));
    std::string accepted = "1 2 3 ";
    OrdinationTestEntries(accepted);
    fprintf(out, "\t(99)%s\n ", returnMain);
    fprintf(out, "\t\t%s: ", enterOpt);
    fflush(out);
    const int type = static_cast<int>(ScanNumber(in, "teclado", (accepted + "99").c_str()));
    if (type == 99) return 0;
    // The axis tests leave the current ordination as it is.
    if (type == 4) return AleatorizacaoOrdination();
    if (type == 5) return Aleatorizacao_CA();
    if (!OrdinationSuitsOptions(type)) return 0;
    fprintf(out, "%s", eng ? "Save intermediate results? y/n " : "Guardar resultados intermediarios? s/n ");
    fflush(out);
    const bool intermediate = (eng ? ScanChar(in, "y n", "keyboard") : ScanChar(in, "s n", "teclado")) != 'n';

    // The new results stay apart until the report is written, so that a
    // refused matrix or an unwritable report leaves the previous ordination.
    OrdinationResult result(nRows, type == 1 ? nRows : nCols);
    int axes = 0;
    bool ok = false;
    int status = OrdinationLib_D(nRows, nCols, type == 3 ? dataOrig : data, rese, result.evectors, result.scores,
                                 &axes, result.eig, &ok, type, optReseTipo, optReseDir);
    if (status != ordinationDone) {
        result.Release();
        if (status == ordinationFailed)
            EigenAnalysisFailed();
        else
            UndefinedResemblances();
        return 0;
    }
    FILE* f = fopenck("Vidive.txt", nullptr, modeVidive);
    if (!f) {
        result.Release();
        return 0;
    }
    ReleaseOrdination();
    eig = result.eig;
    evectors = result.evectors;
    escores = result.scores;
    rank = axes;
    optOrdiType = type;

    const bool scores = OrdinationReport(f, type, ok, intermediate);
    const bool written = fcloseck(f, "Vidive.txt") && scores;
    ClearLine();
    if (written)
        fprintf(out, "%s", eng ? "\nSee results on file Vidive.txt.\n" : "\nVeja resultados no arquivo Vidive.txt.\n");

    const bool offered = (optReseDir == 1 && type == 1) || (optReseDir == 2 && (type == 2 || type == 3));
    if (offered && rank >= 1) {
        fprintf(out, "%s",
                eng ? "\nEvaluate significance of ordination axes using bootstrap resampling? y/n "
                    : "\nAvaliar a significancia dos eixos de ordenacao via reamostragem bootstrap? s/n ");
        fflush(out);
        const int answer = eng ? ScanChar(in, "y n", "keyboard") : ScanChar(in, "s n", "teclado");
        if (answer != 'n') SamplerOrdination();
    }
    return 1;
}

// ===========================================================================
// Cluster analysis
// ===========================================================================

namespace {

// Label of entity e (from 1); its number when the data set has no labels.
std::string EntityLabel(char** labels, int e) {
    if (labels && labels[e - 1]) return labels[e - 1];
    return std::to_string(e);
}

void FusionDirectory(FILE* f, int n, const clusterReport* records, char** labels, int method) {
    bool sums = method == 3 || method == 6 || method == 7;
    fprintf(f, "%s", eng ? "Fusion directory:\n" : "Agrupamento hierarquico:\n");
    const char* step = eng ? "Step" : "Passo";
    const char* group = eng ? "Objects in group" : "Grupo formado";
    if (method == 3 || method == 7)
        fprintf(f, "%-5s\t%-11s\t%-13s\t%-s\n", step, eng ? "SSwithin" : "SQdentro",
                eng ? "SSbetween" : "SQentre", group);
    else if (method == 6)
        fprintf(f, "%-5s\t%-11s\t%-13s\t%-s\n", step, eng ? "Eigen.II" : "Autov.II",
                eng ? "Eigen.I " : "Autov.I ", group);
    else
        fprintf(f, "%-5s\t%-13s\t%-s\n", step, eng ? "Resemblance" : "Semelhanca", group);
    for (int k = 0; k < n - 1; k++) {
        const clusterReport& r = records[k];
        fprintf(f, "%-5d\t", k + 1);
        fprintf(f, "%-13.*g\t", sDigits, NoNegativeZero(r.level));
        if (sums) fprintf(f, "%-11.*g\t", sDigits, NoNegativeZero(r.criterion));
        // A long group goes on over continuation lines with empty leading fields.
        int counter = 1;
        for (int i = 0; i < r.nMembers; i++) {
            if (4 * counter + 32 > maxColsPrint) {
                if (sums)
                    fprintf(f, "\n%-5s\t%-11s\t%-13s\t", "", "", "");
                else
                    fprintf(f, "\n%-5s\t%-13s\t", "", "");
                counter = 1;
            }
            fprintf(f, "%s ", EntityLabel(labels, r.members[i]).c_str());
            counter++;
        }
        fprintf(f, "\n");
    }
}

void GroupPartitions(FILE* f, int n, clusterReport* records, char** labels, int method) {
    fprintf(f, "%s",
            eng ? "\nGroup partitions at each clustering level (cl):\n"
                : "\nParticoes em grupos em cada nivel de agrupamento (na):\n");
    fprintf(f, "%s", eng ? "Objects:                \t" : "Objetos:                  \t");
    for (int e = 1; e <= n; e++) fprintf(f, "%s\t", EntityLabel(labels, e).c_str());
    ForEachClusterPartition(n, records, method, [&](int k, const int* partition, double level) {
        fprintf(f, eng ? "\n%d groups (cl = %g):    \t" : "\n%d grupos (na = %g):      \t", k, NoNegativeZero(level));
        for (int e = 0; e < n; e++) fprintf(f, "%d\t", partition[e]);
    });
    fprintf(f, "\n");
}

// Method 6: the merged profiles of every fusion on the two axes.
void FactorialProfiles(FILE* f, int n, int p, const clusterReport* records) {
    if (optReseDir == 1) {
        fprintf(f, "%s",
                eng ? "\nScores of variables on the first and second representative unit for each clustering node:\n"
                    : "\nEscores das variaveis na primeira e segunda unidade representativa de cada no do agrupamento:\n");
        fprintf(f, "%s", eng ? "Variables:" : "Variaveis:");
        for (int j = 1; j <= nVar; j++) fprintf(f, "\t%s", EntityLabel(varLabels, j).c_str());
    } else {
        fprintf(f, "%s",
                eng ? "\nScores of units on the first and second representative variable for each clustering node:\n"
                    : "\nEscores das unidades na primeira e segunda variavel representativa de cada no do agrupamento:\n");
        fprintf(f, "%s", eng ? "Units:" : "Unidades:");
        for (int i = 1; i <= nObj; i++) fprintf(f, "\t%s", EntityLabel(uaLabels, i).c_str());
    }
    for (int k = 0; k < n - 1; k++) {
        fprintf(f, eng ? "\nStep %d, Eig.I:" : "\nPasso %d, Autov.I:", k + 1);
        for (int t = 0; t < p; t++) fprintf(f, "\t%g", NoNegativeZero(records[k].scoresAxis1[t]));
        fprintf(f, eng ? "\nStep %d, Eig.II:" : "\nPasso %d, Autov.II:", k + 1);
        for (int t = 0; t < p; t++) fprintf(f, "\t%g", NoNegativeZero(records[k].scoresAxis2[t]));
        fprintf(f, "\n");
    }
    fprintf(f, "\n");
}

// Whether every value of the matrix is a number that can be clustered: not
// -999 (an undefined turnover or nestedness) and not infinite.
bool Clusterable(int n, double** matrix) {
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            if (matrix[i][j] == MISSING || !std::isfinite(matrix[i][j])) return false;
    return true;
}

// The data matrix with the clustered entities as rows, a copy in any case.
double** FactorialData() {
    double** t = dim2DT<double>(nRows, nCols);
    if (optReseDir == 1)
        CopyMatrix(nObj, nVar, data, t);
    else
        TransposeMatrix(nObj, nVar, data, t);
    return t;
}

}  // namespace

void Cluster() {
    ShowStatus(out);
    fprintf(out, "%s", eng ? "Clustering method: \n" : "Metodo de agrupamento: \n");
    for (int k = 1; k <= 7; k++) fprintf(out, "\t%s\n", MenuText(clusMethInfo, k));
    fprintf(out, "\t(99)%s\n", returnMain);
    fprintf(out, "\t\t%s: ", enterOpt);
    fflush(out);
    // Method 6 needs the pairwise second eigenvalues of measure 21.
    clusMeth = static_cast<int>(
        ScanNumber(in, "teclado", optReseTipo == 21 ? "1 2 3 4 5 6 7 99" : "1 2 3 4 5 7 99"));
    if (clusMeth == 99) return;
    // Clustered as numbers, undefined values would fuse first at level -999.
    // The factorial method clusters the data rows, not the matrix.
    if (clusMeth != 6 && !Clusterable(nRows, rese)) {
        fprintf(out, "%s",
                eng ? "\nThe resemblance matrix holds undefined values (-999, such as the turnover or nestedness of "
                      "sampling units without any presence) or values too large to represent: it cannot be clustered.\n"
                    : "\nA matriz de semelhanca contem valores indefinidos (-999, como a substituicao ou o aninhamento de "
                      "unidades amostrais sem nenhuma presenca) ou valores grandes demais para representar: ela nao pode "
                      "ser agrupada.\n");
        fputc(7, out);
        return;
    }

    int n = nRows;
    bool isDissimilarity = !IsSimilarityMeasure(optReseTipo);
    char** labels = optReseDir == 1 ? uaLabels : varLabels;

    // The work arrays go on every way out, the end of the input (error code
    // 2, thrown from a question below) included.
    double** work = nullptr;
    int** adjacency = nullptr;
    clusterReport* records = nullptr;
    struct Release {
        double**& work;
        int**& adjacency;
        clusterReport*& records;
        int n;
        ~Release() {
            if (records) FreeClusterReports(records, n);
            if (work) free2DT(work, n);
            if (adjacency) free2DT(adjacency, n);
            if (dataT) {
                free2DT(dataT, nRows);
                dataT = nullptr;
            }
        }
    } release{work, adjacency, records, n};

    // The current resemblance matrix is never changed: the methods work on a copy.
    work = dim2DT<double>(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) work[i][j] = rese[i][j];

    int correlTransf = -1;
    if (optReseTipo == 17 && optReseDir == 2 && clusMeth != 6) {
        fprintf(out, "%s",
                eng ? "Transformation of correlations:\n\t(0)without transformation\n\t(1)absolute value\n\t(2)squared\n"
                    : "Transformacao das correlacoes:\n\t(0)sem transformacao\n\t(1)valor absoluto\n\t(2)ao quadrado\n");
        fprintf(out, "\t\t%s: ", enterOpt);
        fflush(out);
        correlTransf = static_cast<int>(ScanNumber(in, "teclado", "0 1 2"));
        if (correlTransf == 1) {
            for (int i = 0; i < n; i++)
                for (int j = 0; j < n; j++) work[i][j] = std::fabs(work[i][j]);
        } else if (correlTransf == 2) {
            SquareSqMatrix(n, work, work);
        }
    }

    if (clusMeth == 7) {
        fprintf(out, "%s",
                eng ? "Sampling unit topology:\n\t(1)sampling unit order in the data indicate spatial or temporal topology\n"
                      "\t(2)wish to specify another topology [not yet implemented]\n"
                    : "Topologia das unidades amostrais:\n\t(1)a ordem das unidades amostrais nos dados indica a topologia espacial ou temporal\n"
                      "\t(2)deseja especificar outra topologia [ainda nao implementado]\n");
        fprintf(out, "\t\t%s: ", enterOpt);
        fflush(out);
        ScanNumber(in, "teclado", "1 2");
        // Either answer: each entity is adjacent to the next one in data order.
        adjacency = dim2DT<int>(n, n);
        for (int i = 0; i + 1 < n; i++) adjacency[i][i + 1] = 1;
    }

    // The sum-of-squares methods work on squared distances: from similarities
    // through the diagonal, from mutual information through a centred product.
    bool squared = false;
    if (clusMeth == 3 || clusMeth == 7) {
        if (!isDissimilarity) {
            ProdToSqDist(n, work, work);
            squared = true;
        } else if (optReseTipo == 4) {
            DissToCenterProdMatrix(n, work, work, false);
            ProdToSqDist(n, work, work);
            squared = true;
        }
    }

    records = NewClusterReports(n, nCols, clusMeth == 6);
    switch (clusMeth) {
        case 3:
            SumSqCluster(n, work, records, squared);
            break;
        case 7:
            SumSqClusterRestrained(n, work, adjacency, records, squared);
            break;
        case 6:
            dataT = FactorialData();
            HierFactorialClustering(nRows, nCols, dataT, records);
            break;
        default:
            LinkageCluster(n, work, records, isDissimilarity, false, clusMeth, true);
    }

    std::string newick;
    if (clusMeth != 6) NewickFormat(n, records, labels, true, newick);

    FILE* f = fopenck("Vidive.txt", nullptr, modeVidive);
    if (f) {
        fprintf(f, "\n%s\n", line);
        fprintf(f, "%s", eng ? "CLUSTER ANALYSIS" : "ANALISE DE AGRUPAMENTOS");
        fprintf(f, "\n%s\n", line);
        time(&timer);
        fprintf(f, "%s", ctime(&timer));
        ShowStatus(f);
        fprintf(f, eng ? "Clustering criterion: %s\n" : "Criterio de agrupamento: %s\n",
                MenuText(clusMethInfo, clusMeth));
        if (correlTransf >= 0)
            fprintf(f, eng ? "Correlation transformation: %s\n" : "Transformacao das correlacoes: %s\n",
                    MenuText(optTransfCorrelInfo, correlTransf));
        FusionDirectory(f, n, records, labels, clusMeth);
        fprintf(f, "%s", eng ? "\n\nDendrogram in Newick format:\n" : "\n\nDendrograma no formato Newick:\n");
        fprintf(f, "%s;\n", newick.c_str());
        GroupPartitions(f, n, records, labels, clusMeth);
        if (clusMeth == 6) FactorialProfiles(f, n, nCols, records);
    }
    bool written = fcloseck(f, "Vidive.txt");
    FILE* tree = fopenck("newick.txt", nullptr, "w");
    if (tree) fprintf(tree, "%s;\n", newick.c_str());
    written = fcloseck(tree, "newick.txt") && written;

    if (optReseDir == 1 && clusMeth != 7) {
        fprintf(out, "%s",
                eng ? "\nEvaluate group partition sharpness using bootstrap resampling? y/n "
                    : "\nAvaliar a nitidez das particoes em grupos via reamostragem bootstrap? s/n ");
        fflush(out);
        int answer = eng ? ScanChar(in, "y n", "keyboard") : ScanChar(in, "s n", "teclado");
        if (answer != 'n') written = SamplerGroups(n, rese, isDissimilarity, records) && written;
    }

    ClearLine();
    if (written)
        fprintf(out, "%s", eng ? "\nSee results on file Vidive.txt.\n" : "\nVeja resultados no arquivo Vidive.txt.\n");
}

// ===========================================================================
// Two sets of variables
// ===========================================================================

namespace canonical_detail {

const char* const kReport = "Vidive.txt";

bool HasUnitResemblance(const Session* s) { return s->temRese == 1 && s->optReseDir == 1 && s->rese; }

bool Commensurate(const Session* s) { return s->dataType == 1 || s->dataType == 4; }

void ResemblanceMissing(const Session* s) {
    fprintf(out,
            eng ? "\nResemblance matrix comparing units is missing for data %s. Define a resemblance measure in the "
                  "main menu.\n"
                : "\nFalta a matriz de semelhanca entre unidades amostrais para os dados %s. Defina uma medida de "
                  "semelhanca no menu principal.\n",
            s->filename);
}

void NotCommensurate(bool secondSet) {
    if (secondSet)
        fprintf(out, "%s",
                eng ? "\nThe analysis is not permitted with non-commensurate variables in the second data matrix.\n"
                    : "\nA analise nao e permitida com variaveis nao comensuraveis na segunda matriz de dados.\n");
    else
        fprintf(out, "%s",
                eng ? "\nThe analysis is not permitted with non-commensurate variables.\n"
                    : "\nA analise nao e permitida com variaveis nao comensuraveis.\n");
}

// What the first data set must have for the option: a resemblance matrix
// between its sampling units (1, 4, 5, 8) or commensurate variables (3, 6, 7).
bool FirstSetFits(int option, const Session* s) {
    const bool onUnits = option == 1 || option == 4 || option == 5 || option == 8;
    if (onUnits && !HasUnitResemblance(s)) {
        ResemblanceMissing(s);
        return false;
    }
    if ((option == 3 || option == 6 || option == 7) && !Commensurate(s)) {
        NotCommensurate(false);
        return false;
    }
    return true;
}

// A second set of another size is of no use beside the first: it is let go,
// and the data set that was current when K began is current again.
void LetGoOfSecondSet(Session* entry) {
    if (session1 != entry) {
        std::swap(session1, session2);
        ChangeCurrentSession(session1);
    }
    ReplaceSession(session2, nullptr);
    secondSet = false;
}

// A deep snapshot of the current data set that holds only the given columns
// of its data (as read and current), with their types and labels, in that
// order; no resemblance, ordination or groups. Only those columns are copied.
std::unique_ptr<Session> ColumnsOfCurrent(const std::vector<int>& columns) {
    sessionInput in;
    in.filename = filename;
    in.sessionName = sessionName;
    in.sessionFilename = sessionFilename;
    in.format = format;
    in.versaoTrack = versaoTrack;
    in.nObj = nObj;
    in.optVarTipo = optVarTipo;
    in.optLabel = optLabel;
    in.optTrEs = optTrEs;
    in.optTrVeVar = optTrVeVar;
    in.optTrVeUnits = optTrVeUnits;
    in.optTrGroupFactor = optTrGroupFactor;
    in.dataType = dataType;
    in.temDados = 0;  // nothing copied by the constructor: the columns are copied below
    std::unique_ptr<Session> s(new Session(&in, true));
    s->nVar = static_cast<int>(columns.size());
    s->nRows = nObj;
    s->nCols = s->nVar;
    s->temDados = 1;
    s->DimensionSessionArrays();
    for (int c = 0; c < s->nVar; c++) {
        const int j = columns[c];
        for (int i = 0; i < nObj; i++) {
            s->dataOrig[i][c] = dataOrig[i][j];
            s->data[i][c] = data[i][j];
        }
        s->varType[c] = varType[j];
        snprintf(s->varLabels[c], 30, "%s", varLabels[j]);
        if (varType[j] == 1) s->temBin = 1;
        if (varType[j] == 2) s->temQual = 1;
        if (varType[j] == 3 || varType[j] == 4) s->temQuant = 1;
    }
    for (int i = 0; i < nObj; i++) snprintf(s->uaLabels[i], 30, "%s", uaLabels[i]);
    return s;
}

// The labels, then one 0/1 mark per variable (anything else is asked
// again); the positions of the variables marked 1.
std::vector<int> MarkedVariables(const char* labelsTitle, const char* question) {
    fprintf(out, "%s", labelsTitle);
    for (int j = 0; j < nVar; j++) fprintf(out, "%s ", varLabels[j]);
    fprintf(out, "%s", question);
    fflush(out);
    std::vector<int> marked;
    for (int j = 0; j < nVar; j++)
        if (ScanNumber(in, Keyboard(), "0 1") == 1) marked.push_back(j);
    return marked;
}

bool AskDetailed() {
    fprintf(out, "%s", eng ? "\nPrint detailed results? y/n " : "\nImprimir resultados detalhados? s/n ");
    fflush(out);
    return ScanChar(in, "y s n", Keyboard()) != 'n';
}

// Linear models of response variables on factor variables of the current
// data set, each set a snapshot of its marked columns.
void LinearModelsWithinCurrentSet() {
    std::vector<int> responses, factors;
    for (;;) {
        responses = MarkedVariables(
            eng ? "\nVariables:                         " : "\nVariaveis:                                ",
            eng ? "\nSpecify response variables (0/1):  " : "\nEspecifique as variaveis resposta (0/1):  ");
        factors = MarkedVariables(
            eng ? "\nVariables:                       " : "\nVariaveis:                               ",
            eng ? "\nSpecify factor variables (0/1):  " : "\nEspecifique as variaveis fatores (0/1):  ");
        // A regression without a response or without a factor means nothing.
        if (!responses.empty() && !factors.empty()) break;
        fprintf(out, "%s",
                eng ? "\nMark at least one response variable and at least one factor variable.\n"
                    : "\nMarque pelo menos uma variavel resposta e pelo menos uma variavel fator.\n");
    }
    std::unique_ptr<Session> y = ColumnsOfCurrent(responses), x = ColumnsOfCurrent(factors);
    const bool detailed = AskDetailed();
    LinearModels(y.get(), x.get(), detailed);
}

// Header of the Procrustes reports.
void ProcrustesHeading(FILE* report) {
    fprintf(report, "\n%s\n", line);
    fprintf(report, "%s", eng ? "PROCRUSTES ANALYSIS" : "ANALISE DE PROCRUSTES");
    fprintf(report, "\n%s\n", line);
    TimeStamp(report);
    ShowStatus(report);
}

bool SameUnitsWithData(const Session* a, const Session* b) {
    return a && b && a->data && b->data && a->nObj == b->nObj && a->nObj > 0 && a->nVar > 0 && b->nVar > 0;
}

}  // namespace canonical_detail

void LinearModels(Session* responses, Session* factors, bool detailed) {
    // Opened and closed first, so that an erase asked for at start-up takes
    // effect before the test appends its report.
    FILE* report = fopenck(canonical_detail::kReport, nullptr, modeVidive);
    if (!report) return;
    fclose(report);
    strcpy(modeVidive, "a");
    // The test sends the user to the report itself, only when it wrote one.
    AleatorizacaoModLin(responses, factors, detailed);
}

void LinearModels(Session* responses, Session* factors) { LinearModels(responses, factors, true); }

void Procrustes(Session* first, Session* second) {
    using namespace canonical_detail;
    AleatorizacaoProcrustes(first, second);
    if (!SameUnitsWithData(first, second)) return;  // the test has said why
    // The fit lives in k = max(p1, p2) dimensions: a second set with fewer
    // variables is turned into the first set's space, and every column of the
    // fit is part of the adjusted configuration.
    const int n = first->nObj, k = std::max(first->nVar, second->nVar);
    ScopedMatrix<double> fit(n, k);
    ProcrustesCoeff(n, first->nVar, second->nVar, first->data, second->data, fit);
    FILE* report = fopenck(kReport, nullptr, "a");
    if (!report) return;
    ProcrustesHeading(report);
    fprintf(report,
            eng ? "\n\nData matrix of session %s, with %d units (rows) and %d variables (columns) after symmetric "
                  "Procrustes adjustment for maximum fit with session %s, according to Lavonne & Lavonne (2012 "
                  "p.534):\n"
                : "\n\nMatriz de dados da sessao %s, com %d unidades (linhas) e %d variaveis (colunas) apos ajuste "
                  "simetrico de Procrustes para ajuste maximo com a sessao %s, segundo Lavonne & Lavonne (2012 "
                  "p.534):\n",
            second->filename, n, second->nVar, first->filename);
    if (k > second->nVar)
        fprintf(report,
                eng ? "The adjusted matrix has %d columns, the larger number of variables of the two sessions (%d in "
                      "%s).\n"
                    : "A matriz ajustada tem %d colunas, o maior numero de variaveis das duas sessoes (%d em %s).\n",
                k, first->nVar, first->filename);
    PrintMatrixTab(report, n, k, fit.x, sDigits);
    fprintf(report, "\n");
    fcloseck(report, kReport);
}

void Procrustes_OLD(Session* first, Session* second) {
    using namespace canonical_detail;
    if (!SameUnitsWithData(first, second)) return;
    const double t = ProcrustesCoeff(first->nObj, first->nVar, second->nVar, first->data, second->data);
    FILE* report = fopenck(kReport, nullptr, "a");
    if (!report) return;
    ProcrustesHeading(report);
    fprintf(report,
            eng ? "\n\nProcrustes statistic (traceW similarity) according to Lavonne & Lavonne (2012 p.534): %g\n"
                : "\n\nEstatistica de Procrustes (similaridade traceW) segundo Lavonne & Lavonne (2012 p.534): %g\n",
            t);
    fcloseck(report, kReport);
}

void Rate_of_Change(Session* first, Session* second) {
    using namespace canonical_detail;
    if (!SameUnitsWithData(first, second) || !HasUnitResemblance(first) || !HasUnitResemblance(second)) return;
    const int n = first->nObj, intervals = n > 1 ? n - 1 : 0;
    // An undefined resemblance (MISSING) on either side leaves its interval
    // without a rate: RatesOfChange marks a change that is MISSING, and a
    // span that is not above 0.
    std::vector<double> change(intervals + 1), span(intervals + 1), reference(n);
    for (int i = 0; i < intervals; i++) {
        change[i] = first->rese[i][i + 1];
        span[i] = second->rese[i][i + 1];
    }
    // The reference is a variable of the data, where -999 marks a missing
    // value: the points that would lean on it are left without a place.
    for (int i = 0; i < n; i++) {
        const double r = second->dataOrig[i][0];
        reference[i] = r == MISSING ? std::numeric_limits<double>::quiet_NaN() : r;
    }
    RatesOfChangeReport(n, change.data(), span.data(), reference.data());
}

void CoInertia(Session* first, Session* second) { AleatorizacaoRV(first, second); }

int DataTransformations(double** table) { return ReapplyTransformations(nObj, nVar, table, nullptr); }

int Canonical() {
    using namespace canonical_detail;
    fprintf(out, "%s",
            eng ? "Evaluate relations between two sets of variables: \n\t(1) Mantel test\n\t(2) linear models\n\t(3) "
                  "canonical ordination\n\t(4) Partial Mantel test\n\t(5) rate of change\n\t(6) Procrustes\n\t(7) RV "
                  "coefficient (Varnholt 1973)\n\t(8) Rd coefficient (Yarrick & Brodnek 2013)\n\t(99) return to main "
                  "menu\n\t\tEnter option: "
                : "Avaliar relacoes entre dois conjuntos de variaveis: \n\t(1) teste de Mantel\n\t(2) modelos "
                  "lineares\n\t(3) ordenacao canonica\n\t(4) teste de Mantel parcial\n\t(5) taxa de mudanca\n\t(6) "
                  "Procrustes\n\t(7) coeficiente RV (Varnholt 1973)\n\t(8) coeficiente Rd (Yarrick & Brodnek "
                  "2013)\n\t(99) voltar ao menu principal\n\t\tEntre opcao: ");
    fflush(out);
    const int option = static_cast<int>(ScanNumber(in, Keyboard(), "1 2 3 4 5 6 7 8 99"));
    if (option == 99) return 1;

    // The first set as it is now; the globals share its arrays, so that the
    // data set is held once.
    ReplaceSession(session1, SessionClass(true));
    ChangeCurrentSession(session1);
    Session* const entry = session1;
    if (!SetsOfTheSameUnits({session1}) || !FirstSetFits(option, session1)) return 1;

    if (option == 2) {
        fprintf(out, "%s",
                eng ? "\n(1) Select response and factor variables in current session or \n(2) specify second session "
                      "with factor variables\nEnter option: "
                    : "\n(1) Selecionar variaveis resposta e fatores na sessao atual ou \n(2) especificar segunda "
                      "sessao com as variaveis fatores\nEntre opcao: ");
        fflush(out);
        if (ScanNumber(in, Keyboard(), "1 2") == 1) {
            LinearModelsWithinCurrentSet();
            return 1;
        }
    }

    if (SecondSetDialogue(false) != 1) return 1;
    if (!SetsOfTheSameUnits({session1, session2})) {
        LetGoOfSecondSet(entry);
        return 1;
    }
    // Switched, the former second set is the first one now: it must have
    // what the current set was asked for.
    if (session1 != entry && !FirstSetFits(option, session1)) return 1;
    if ((option == 1 || option == 4 || option == 5 || option == 8) && !HasUnitResemblance(session2)) {
        ResemblanceMissing(session2);
        // The set that lacks the matrix becomes current, for key R; both
        // sets stay held.
        SwitchSessions();
        secondSet = true;
        return 1;
    }
    if ((option == 6 || option == 7) && !Commensurate(session2)) {
        NotCommensurate(true);
        return 1;
    }

    switch (option) {
        case 1:
            AleatorizacaoMantel(session1, session2);
            break;
        case 2: {
            const bool detailed = AskDetailed();
            LinearModels(session1, session2, detailed);
            break;
        }
        case 3:
            AleatorizacaoRDA(session1, session2);
            break;
        case 4: {
            if (SpecifyThirdSession() != 1) break;
            if (!SetsOfTheSameUnits({session1, session2, session3})) {
                // The first set is current; a set of another size is let go
                // (the second only after an exchange with the third).
                const int n = session1->nObj;
                if (session3->nObj != n) {
                    ReplaceSession(session3, nullptr);
                    thirdSet = false;
                }
                if (session2->nObj != n) {
                    ReplaceSession(session2, nullptr);
                    secondSet = false;
                }
                break;
            }
            if (!HasUnitResemblance(session3)) {
                ResemblanceMissing(session3);
                ChangeCurrentSession(session3);
                break;
            }
            AleatorizacaoPartialMantel(session1, session2, session3);
            break;
        }
        case 5:
            Rate_of_Change(session1, session2);
            break;
        case 6:
            Procrustes(session1, session2);
            break;
        case 7:
            AleatorizacaoRV(session1, session2);
            break;
        case 8:
            AleatorizacaoRd(session1, session2);
            break;
        default:
            break;
    }
    return 1;
}
