// ===========================================================================
// Resemblance
// ===========================================================================

#include "FtevlanEx.h"

#include <cmath>
#include <ctime>

#include "FtevlanGlob.h"
#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibOut.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"

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
    // Beside the current matrix: the new one, and a copy of the table that
    // the measures work on; the Mahalanobis distance inverts covariance
    // matrices of the descriptors.
    const double table = 8.0 * nObj * nVar, covariances = c.measure == 29 ? 5 * SquareBytes(nObj + nVar - m) : 0;
    if (!WorkFits(eng == 1, m, [=](double k) { return SquareBytes(k) + table + covariances; }, "the resemblance matrix",
                  "a matriz de semelhanca", c.direction == 1 ? "sampling units" : "variables",
                  c.direction == 1 ? "unidades amostrais" : "variaveis"))
        return 0;
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
