// ===========================================================================
// Transformations
// ===========================================================================

#include "FtevlanEx.h"
#include "FtevlanEx_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FtevlanGlob.h"
#include "FtevlanRn.h"
#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibOut.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"

using namespace ex_detail;

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

// A scale needs one class at least: with none the rescaling left the data
// as they were while the status and the report said they were rescaled.
int AskClasses() {
    ClassesQuestion();
    return static_cast<int>(ScanNumber(in, Keyboard(), "-", 1, 2147483647.0));
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
    transformationDoubts = TransformationDoubts();
    InstallData(CopyOfData());
    SetDataType(0, 0, 0);
    return 1;
}

}  // namespace transform_detail

int ReapplyTransformations(int n, int p, double** X, const int* units) {
    return transform_detail::Apply(n, p, X, transform_detail::Current(), units);
}

int ReapplyTransformationsForCorrespondence(int n, int p, double** X, const int* units) {
    transform_detail::Options o = transform_detail::Current();
    // The double adjustment turns the table into the deviations whose cross
    // products correspondence analysis decomposes; the margins that weigh
    // the scores are those of the table it started from. Correspondence
    // analysis runs only with the adjustment in force, within variables or
    // within units, so that table is the scalar step and the step within
    // variables short of the adjustment, as the other ordinating routines
    // take it.
    if (o.var == 6) o.var = 0;
    o.units = 0;
    return transform_detail::Apply(n, p, X, o, units);
}

namespace transform_detail {

// Whether W, the data as read transformed, gives the data in force (written
// to the session file with six decimals).
bool GivesDataBack(double** W) {
    bool same = true;
    for (int i = 0; i < nObj && same; i++)
        for (int j = 0; j < nVar && same; j++)
            same = std::fabs(W[i][j] - data[i][j]) <= 1e-5 * std::max(1.0, std::fabs(data[i][j]));
    return same;
}

// Whether o applied to the data as read gives the data in force.
bool Reproduces(const Options& o) {
    double** W = CopyOfData();
    Apply(nObj, nVar, W, o, nullptr);
    const bool same = GivesDataBack(W);
    free2DT(W, nObj);
    return same;
}

// The sets of Beals options (of one factor) that give the data in force back,
// in their order, added to found. Beals smoothing is the last step: the steps
// before it are applied once, and the co-occurrences counted once for each way
// of counting, which presences count alike; each set then only scales the
// counts and smooths with them.
void AddSmoothingsThatGiveDataBack(const std::vector<Options>& sets, bool presences, std::vector<Options>& found) {
    Options before = sets.front();
    before.units = 0;
    double** read = CopyOfData();
    Apply(nObj, nVar, read, before, nullptr);
    std::map<int, double**> counts;  // by way of counting
    ScopedMatrix<double> W(nObj, nVar);
    for (const Options& t : sets) {
        double**& c = counts[presences && t.bealsType == 1 ? 0 : t.bealsType];
        if (!c) {
            c = dim2DT<double>(nVar, nVar);
            CooccurrenceCounts(nObj, nVar, read, c, t.bealsType);
        }
        BealsSmoothingOfCounts(nObj, nVar, read, c, W, nullptr, t.bealsInclude, t.bealsType, t.bealsNormalize);
        if (GivesDataBack(W)) found.push_back(t);
    }
    for (auto& c : counts) free2DT(c.second, nVar);
    free2DT(read, nObj);
}

// Whether the table Beals smoothing reads (the data as read after the scalar
// step alone) holds only 0 and 1. Co-occurrences counted as joint presences
// and weighted by the reference's quantity are then one and the same, in the
// data and in every table the tests draw from their values.
bool BealsReadsPresences(const Options& o) {
    if (o.var != 0) return false;
    Options scalarOnly = o;
    scalarOnly.units = 0;
    double** W = CopyOfData();
    Apply(nObj, nVar, W, scalarOnly, nullptr);
    bool presences = true;
    for (int i = 0; i < nObj && presences; i++)
        for (int j = 0; j < nVar && presences; j++) presences = W[i][j] == 0 || W[i][j] == 1 || W[i][j] == MISSING;
    free2DT(W, nObj);
    return presences;
}

// "F1", "F1 and F2", "F1, F2 and F3": the factors of mask.
std::string FactorList(unsigned mask) {
    std::vector<const char*> names;
    for (int f = 1; f <= nFactors; f++)
        if (mask & (1u << (f - 1))) names.push_back(factorLabel[f - 1]);
    std::string list;
    for (size_t k = 0; k < names.size(); k++) {
        if (k > 0) list += k + 1 == names.size() ? (eng ? " and " : " e ") : ", ";
        list += names[k];
    }
    return list;
}

// The lines of PrintTransformationDoubts.
std::string DoubtLines() {
    const TransformationDoubts& d = transformationDoubts;
    std::string text;
    char buffer[2048];  // ten factor labels of 99 characters fit
    if (temDados != 1) return text;
    if (optTrVeVar == 12 && d.factor != Found::surely && factorLabel && optTrGroupFactor >= 1 &&
        optTrGroupFactor <= nFactors) {
        const char* used = factorLabel[optTrGroupFactor - 1];
        if (d.factor == Found::amongSeveral)
            snprintf(buffer, sizeof buffer,
                     eng ? "The session file does not name the factor whose group means were removed, and each of "
                           "%s gives back its data: tables transformed anew take off the group means of %s.\n"
                         : "O arquivo de sessao nao nomeia o fator cujas medias de grupo foram removidas, e cada um "
                           "de %s da de volta seus dados: as tabelas transformadas de novo perdem as medias de grupo "
                           "de %s.\n",
                     FactorList(d.factors).c_str(), used);
        else
            snprintf(buffer, sizeof buffer,
                     eng ? "The session file does not name the factor whose group means were removed, and no factor "
                           "gives back its data: tables transformed anew take off the group means of %s.\n"
                         : "O arquivo de sessao nao nomeia o fator cujas medias de grupo foram removidas, e nenhum "
                           "fator da de volta seus dados: as tabelas transformadas de novo perdem as medias de grupo "
                           "de %s.\n",
                     used);
        text += buffer;
    }
    if (optTrVeUnits == 11 && d.beals != Found::surely) {
        const bool several = d.beals == Found::amongSeveral;
        if (eng)
            snprintf(buffer, sizeof buffer,
                     "The session file does not keep the Beals smoothing options, and %s gives back its data: "
                     "tables transformed anew are smoothed with those the status shows (type %d, target %s, %s).\n",
                     several ? "more than one set of them" : "no set of them", BealsTypeOpt,
                     BealsIncludeOpt ? "included" : "not included",
                     BealsNormalizeOpt ? "standardized to unit sum" : "not standardized");
        else
            snprintf(buffer, sizeof buffer,
                     "O arquivo de sessao nao guarda as opcoes da suavizacao de Beals, e %s da de volta seus dados: "
                     "as tabelas transformadas de novo sao suavizadas com as que a situacao mostra (tipo %d, alvo "
                     "%s, %s).\n",
                     several ? "mais de um conjunto delas" : "nenhum conjunto delas", BealsTypeOpt,
                     BealsIncludeOpt ? "incluido" : "nao incluido",
                     BealsNormalizeOpt ? "padronizadas para soma unitaria" : "nao padronizadas");
        text += buffer;
    }
    // A rescaling in force without its count is one whose count a continued
    // session could not find: every other way to it asks for the count.
    if ((optTrVeVar == 8 && nClassesVar < 1) || (optTrVeUnits == 8 && nClassesUnits < 1))
        text += eng ? "The session file does not keep the number of classes of the rescaling, and its data do not "
                      "show it: tables transformed anew are not rescaled into classes.\n"
                    : "O arquivo de sessao nao guarda o numero de classes do reescalonamento, e seus dados nao o "
                      "mostram: as tabelas transformadas de novo nao sao reescalonadas em classes.\n";
    return text;
}

}  // namespace transform_detail

void RecoverTransformationOptions() {
    using namespace transform_detail;
    transformationDoubts = TransformationDoubts();
    const bool var = optTrVeVar == 8 && nClassesVar < 1, units = optTrVeUnits == 8 && nClassesUnits < 1;
    const bool beals = optTrVeUnits == 11;
    const bool factor = optTrVeVar == 12 && temGrupo == 1 && grMemb && factorLabel && nFactors > 1;
    if (temDados != 1 || !data || !dataOrig || !(var || units || beals || factor)) return;
    Options o = Current();
    bool counted = true;
    if (var || units) {
        // Rescaled values run from class 1 to the count, so a rescaling that
        // is the last step (or is followed by one into the same classes)
        // leaves its count as the greatest value.
        double top = 1.0;
        for (int i = 0; i < nObj; i++)
            for (int j = 0; j < nVar; j++)
                if (data[i][j] > top && std::isfinite(data[i][j])) top = data[i][j];
        counted = top <= 2147483647.0 && top == std::floor(top);
        if (var && counted) o.classesVar = static_cast<int>(top);
        if (units && counted) o.classesUnits = static_cast<int>(top);
    }
    // The candidates, those in force (which the status shows) first: each
    // factor, and each set of Beals options that smooths differently.
    std::vector<int> factors{o.factor};
    for (int f = 1; factor && f <= nFactors; f++)
        if (f != o.factor) factors.push_back(f);
    std::vector<Options> sets{o};
    const bool presences = beals && BealsReadsPresences(o);
    for (int c = 0; beals && c < 8; c++) {
        Options t = o;
        t.bealsType = c & 1, t.bealsInclude = c & 2, t.bealsNormalize = c & 4;
        const bool seen = std::any_of(sets.begin(), sets.end(), [&](const Options& s) {
            return (s.bealsType == t.bealsType || presences) && s.bealsInclude == t.bealsInclude &&
                   s.bealsNormalize == t.bealsNormalize;
        });
        if (!seen) sets.push_back(t);
    }
    std::vector<Options> found;
    for (int f : factors) {
        if (!counted) break;
        for (Options& t : sets) t.factor = f;
        if (beals)
            AddSmoothingsThatGiveDataBack(sets, presences, found);
        else if (Reproduces(sets.front()))
            found.push_back(sets.front());
    }
    TransformationDoubts& d = transformationDoubts;
    if (found.empty()) {
        // The options in force stay, and a rescaling without its count
        // leaves the tables as they are.
        if (factor) d.factor = Found::notAtAll;
        if (beals) d.beals = Found::notAtAll;
    } else {
        const Options& t = found.front();
        nClassesVar = t.classesVar, nClassesUnits = t.classesUnits, optTrGroupFactor = t.factor;
        BealsTypeOpt = t.bealsType, BealsIncludeOpt = t.bealsInclude, BealsNormalizeOpt = t.bealsNormalize;
        for (const Options& x : found) {
            if (x.factor != t.factor) d.factor = Found::amongSeveral;
            if (x.bealsType != t.bealsType || x.bealsInclude != t.bealsInclude || x.bealsNormalize != t.bealsNormalize)
                d.beals = Found::amongSeveral;
            if (factor) d.factors |= 1u << (x.factor - 1);
        }
        if (d.factor != Found::amongSeveral) d.factors = 0;
    }
    // Said where the session is continued, apart from the question before.
    const std::string lines = DoubtLines();
    ClearLine();
    if (!lines.empty()) fprintf(out, "\n%s", lines.c_str());
}

void PrintTransformationDoubts(FILE* f) { fprintf(f, "%s", transform_detail::DoubtLines().c_str()); }

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

    // A transformed copy of the data beside the current one; Beals smoothing
    // adds the co-occurrences between the variables (without its second
    // scaling, between the units when they are fewer).
    const double n = nObj;
    const bool beals = c.o.units == 11, normalize = c.o.bealsNormalize != 0;
    auto bytes = [=](double p) { return 8 * n * p + (beals ? SquareBytes(normalize ? p : std::min(n, p)) : 0); };
    if (!WorkFits(eng == 1, nVar, bytes, "the transformation", "a transformacao", "variables", "variaveis")) {
        SetDataType(optTrEs, optTrVeVar, optTrVeUnits);
        return 0;
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
    transformationDoubts = TransformationDoubts();
    SetDataType(optTrEs, optTrVeVar, optTrVeUnits);

    WriteReport(report);
    written = fcloseck(report, "Vidive.txt") && written;
    if (optTrVeUnits == 11 && BealsTestOpt) written = BealsTestBlock(c.permutations) && written;
    ClearLine();
    if (written)
        fprintf(out, "%s", eng ? "\nSee results on file Vidive.txt.\n" : "\nVeja resultados no arquivo Vidive.txt.\n");
    return 1;
}
