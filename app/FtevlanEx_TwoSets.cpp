// ===========================================================================
// Two sets of variables
// ===========================================================================

#include "FtevlanEx.h"
#include "FtevlanEx_internal.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "FtevlanGlob.h"
#include "FtevlanRn.h"
#include "TevlanClasses.h"
#include "TevlanDynamics.h"
#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibOut.h"
#include "rhlibRes_M.h"

using namespace ex_detail;

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
    fcloseck(report, canonical_detail::kReport);
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
    // Less than the test takes: refused, the test has said so.
    if (!FitsInMemory(24.0 * n * k + 3 * SquareBytes(k))) return;
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
