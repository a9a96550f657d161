// ===========================================================================
// Ordination
// ===========================================================================

#include "FtevlanEx.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "FtevlanGlob.h"
#include "FtevlanRn.h"
#include "samplerM.h"
#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibOut.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"

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
    // Correspondence analysis transforms the data as read anew for the
    // margins that weigh its scores.
    if (type == 3) PrintTransformationDoubts(f);

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
    // Beside the resemblance matrix: the eigenvectors, the matrix LAPACK
    // takes and the one it returns, and copies of the table; the axis tests
    // hold a second ordination for their permutations.
    const double matrices = type <= 3 ? 3 : 5, tables = 16.0 * nObj * nVar;
    if (!WorkFits(eng == 1, nRows, [=](double m) { return matrices * SquareBytes(m) + tables; }, "the ordination",
                  "a ordenacao", SetName(optReseDir == 1), SetName(optReseDir == 1)))
        return 0;
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
    // Correspondence analysis weighs its scores by the margins of the table
    // it analysed: the data as read and transformed, short of the double
    // adjustment (a scalar transformation changes them).
    ScopedMatrix<double> table(type == 3 ? nObj : 0, nVar);
    if (type == 3) {
        CopyMatrix(nObj, nVar, dataOrig, table);
        ReapplyTransformationsForCorrespondence(nObj, nVar, table, nullptr);
    }
    int status = OrdinationLib_D(nRows, nCols, type == 3 ? table.x : data, rese, result.evectors, result.scores,
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
