#include "FtevlanEx.h"

#include <cctype>
#include <cstring>
#include <string>

#include "FtevlanGlob.h"
#include "FtevlanRn.h"
#include "PathModelGenerator_Tevlan.h"
#include "RandomDataGenOrdination_Tevlan.h"
#include "TevlanClasses.h"
#include "TevlanDynamics.h"
#include "iflibG.h"
#include "rhlibDim.h"

int NotAvailableYet() {
    fprintf(out, "%s\n", eng ? "This analysis is not available yet." : "Esta analise ainda nao esta disponivel.");
    return 0;
}

// ===========================================================================
// Main loop
// ===========================================================================

namespace {

void AppendReport() {
    if (strcmp(modeVidive, "w") == 0) strcpy(modeVidive, "a");
}

// The session file is rewritten only while the resemblance matrix is small
// enough; beyond that the session is marked as not saved.
void Apply400RowRule() {
    if (nRows <= 400)
        WriteSessionTrack();
    else
        savedSession = 0;
}

// Key Z: answers are read from a script file (or the keyboard again). The
// question and the file name are always read from the keyboard.
void RunScript() {
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
                SpecifySession();
                WriteSessionTrack();
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
                RunScript();
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

void ReadPreferences() {}

void SetPreferences() { NotAvailableYet(); }

// ===========================================================================
// Language tables, menus and status
// ===========================================================================

void Initialize() {
    optMainMenuInfo = port == 1 ? optMainMenuInfoP : optMainMenuInfoE;
    enterOptValid = port == 1 ? "Entre opcao (opcoes validas com *)" : "Enter option (valid options with *)";
}

void ShowStatus(FILE* stream) { (void)stream; }

// ===========================================================================
// Current data set, data type and stage
// ===========================================================================

void Init() {
    optTrEs = 0;
    optTrVeVar = 0;
    optTrVeUnits = 0;
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
    temDados = 0;
    temRese = 0;
    temGrupo = 0;
    temEscore = 0;
}

void SetDataType(int trEs, int trVeVar, int trVeUnits) {
    (void)trEs;
    (void)trVeVar;
    (void)trVeUnits;
}

void SetStepReached() {}

// ===========================================================================
// Sessions
// ===========================================================================

void CheckSession() { strcpy(modeVidive, "w"); }

int SpecifySession() { return NotAvailableYet(); }

void WriteSessionTrack() {}

void SaveSession() { NotAvailableYet(); }

// ===========================================================================
// Descriptive attributes
// ===========================================================================

int DescriptiveAttributes() { return NotAvailableYet(); }

// ===========================================================================
// Transformations
// ===========================================================================

int TransformaDados() { return NotAvailableYet(); }

// ===========================================================================
// Resemblance
// ===========================================================================

int Semelhanca() { return NotAvailableYet(); }

// ===========================================================================
// Groups of sampling units
// ===========================================================================

void SetGroups() { NotAvailableYet(); }

// ===========================================================================
// Scatter diagrams
// ===========================================================================

void Scatter() { NotAvailableYet(); }

// ===========================================================================
// Ordination
// ===========================================================================

int Ordenacao() { return NotAvailableYet(); }

// ===========================================================================
// Cluster analysis
// ===========================================================================

void Cluster() { NotAvailableYet(); }

// ===========================================================================
// Two sets of variables
// ===========================================================================

int Canonical() { return NotAvailableYet(); }
