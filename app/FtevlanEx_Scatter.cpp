// ===========================================================================
// Scatter diagrams
// ===========================================================================

#include "FtevlanEx.h"
#include "FtevlanEx_internal.h"

#include <algorithm>
#include <cstdarg>
#include <cmath>
#include <ctime>
#include <string>
#include <vector>

#include "FtevlanGlob.h"
#include "rhlibDim.h"
#include "rhlibOut.h"
#include "rhlib_M.h"

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
    NoteFailedWrite();
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
