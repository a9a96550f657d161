// ===========================================================================
// Preferences
// ===========================================================================

#include "FtevlanEx.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>

#include "FtevlanGlob.h"
#include "TevlanClasses.h"
#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibOut.h"

namespace {

const char* const kPreferencesFile = "Tevlan.prf";

// Significant digits beyond what a double carries only print noise, and
// a very large precision makes every print take seconds and gigabytes.
constexpr int kMaxDigits = 17;

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
    const int available = TeamLimit();
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
    // Built in memory and replaced whole, never written in place: a failed
    // write leaves the old file as it was.
    char* buffer = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&buffer, &size);
    if (!f) throw 3;
    fprintf(f, "%s\n", versionPref);
    fprintf(f, "%d\n", eng);
    fprintf(f, "%d\n", port);
    fprintf(f, "%f\n", scatterHSize);
    fprintf(f, "%f\n", scatterVSize);
    fprintf(f, "%f\n", treeHSize);
    fprintf(f, "%f\n", treeVSize);
    fprintf(f, "%d\n", sDigits);
    fprintf(f, "%d\n", nMaxDim);
    fprintf(f, "%d\n", nProcessors);
    time_t now = time(nullptr);
    fprintf(f, "%s", ctime(&now));
    const bool built = !ferror(f) && fclose(f) == 0;
    const std::string text = built ? std::string(buffer, size) : std::string();
    free(buffer);
    if (!built || !ReplaceFile(kPreferencesFile, text)) throw 3;
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
            nProcessors > 0 ? nProcessors : TeamLimit());
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
