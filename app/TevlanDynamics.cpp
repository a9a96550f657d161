#include "TevlanDynamics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "FtevlanRn.h"
#include "iflibG.h"
#include "rhComplexity.h"
#include "rhDynamics.h"
#include "rhLinearModels.h"
#include "rhlibDim.h"
#include "rhlibOut.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"

namespace {

const char* Text(const char* english, const char* portuguese) { return eng ? english : portuguese; }

constexpr const char* kReport = "Vidive.txt";

// ===========================================================================
// Scale files
// ===========================================================================

// Reads nObj numbers from an open scale file into times; false after a
// message naming the file when it holds fewer, a field that is not a
// number, or (increasing) times that do not increase. Numbers beyond the
// nObj are not read; a warning says how many there were.
bool ReadScale(FILE* f, const char* name, bool increasing, std::vector<double>& times) {
    for (int i = 0; i < nObj; i++) {
        char token[kTokenShown];
        const int read = ReadNumberToken(f, &times[i], token, sizeof token, name);
        if (read == tokenEnd) {
            fprintf(out,
                    Text("\nFile %s was not read: it holds %d numbers, and %d are needed (one per sampling unit).\n",
                         "\nO arquivo %s nao foi lido: contem %d numeros, e sao necessarios %d (um por unidade "
                         "amostral).\n"),
                    name, i, nObj);
            return false;
        }
        if (read == tokenNotNumber) {
            char place[64];
            snprintf(place, sizeof place, Text("unit %d", "unidade %d"), i + 1);
            NotANumberMessage(out, eng == 1, name, place, token);
            return false;
        }
    }
    if (increasing)
        for (int i = 1; i < nObj; i++)
            if (!(times[i] > times[i - 1])) {
                fprintf(out,
                        Text("\nFile %s was not read: the times (or positions) must increase from one sampling unit "
                             "to the next, and unit %d has %.15g after %.15g.\n",
                             "\nO arquivo %s nao foi lido: os tempos (ou posicoes) devem crescer de uma unidade "
                             "amostral para a seguinte, e a unidade %d tem %.15g depois de %.15g.\n"),
                        name, i + 1, times[i], times[i - 1]);
                return false;
            }
    SurplusWarning(f, name, nObj, Text("one per sampling unit", "um por unidade amostral"));
    return true;
}

// Asks for a scale file until one is read; false when the user gives up
// on a name that cannot be opened.
bool AskScaleFile(const char* english, const char* portuguese, bool increasing, std::vector<double>& times) {
    times.assign(nObj > 0 ? nObj : 1, 0.0);
    for (;;) {
        fprintf(out, "%s", Text(english, portuguese));
        fflush(out);
        const std::string name = AskWord(99);
        FILE* f = fopenck(name.c_str(), nullptr, "r");
        if (!f) {
            if (!AskYes("Try again? y/n ", "Tentar novamente? s/n ")) return false;
            continue;
        }
        const bool read = ReadScale(f, name.c_str(), increasing, times);
        fclose(f);
        if (read) return true;
    }
}

// The report's opening lines common to the rates and the serial scaling.
void ReportHeading(FILE* report, const char* title) {
    fprintf(report, "\n%s\n", line);
    fprintf(report, "%s", title);
    fprintf(report, "%s\n", line);
    TimeStamp(report);
    ShowStatus(report);
}

// ===========================================================================
// Markov fitting
// ===========================================================================

// True when the data are amounts a transition can share out; otherwise
// says why.
bool MarkovDataAccepted() {
    if (nObj < 2) {
        fprintf(out, "\nMarkov fitting needs a series of at least 2 sampling units; the data hold %d.\n", nObj);
        return false;
    }
    for (int i = 0; i < nObj; i++)
        for (int j = 0; j < nVar; j++)
            if (data[i][j] < 0 || !std::isfinite(data[i][j])) {
                fprintf(out,
                        "\nMarkov fitting needs amounts that are neither negative nor missing: sampling unit %d, "
                        "variable %d holds %g.\n",
                        i + 1, j + 1, data[i][j]);
                return false;
            }
    return true;
}

// What rows x p values (predicted or interpolated) take with their row
// pointers and one more value per row.
double RowsBytes(double rows, int p) { return rows * (p + 2) * sizeof(double); }

// What Markov fitting of p variables allocates for L lags and M units to
// predict: the transition matrices, and the predicted rows with their
// distances.
double MarkovBytes(double L, double M, double p = nVar) {
    return L * SquareBytes(p) + RowsBytes(std::max<double>(M, nObj), static_cast<int>(p));
}

int AskNumberToPredict(int L) {
    fprintf(out, "Enter the number of markov units to be predicted:  ");
    fflush(out);
    return static_cast<int>(ScanSize(in, Keyboard(), 2, 2147483647.0, [L](double M) { return MarkovBytes(L, M); }));
}

// The Markov prediction at one lag: the rows predicted so far carried over,
// rows lag..M-1 predicted again, and the instability levels between
// consecutive rows.
void PredictionReport(FILE* report, int lag, int M, int p, double** P, double** Y, std::vector<double>& d) {
    MarkovPredictLag(M, p, lag, P, Y);
    fprintf(report,
            "\nMarkov releves in rows (lag = %d step(s) up to %d Markov releves, ordered from past to present):\n",
            lag, M);
    PrintMatrixTab(report, M, p, Y, sDigits);
    fprintf(report, "\nInstability levels between Markov releves j and j+1 (lag = %d step(s) up to %d Markov releves):\n",
            lag, M);
    for (int j = 0; j + 1 < M; j++) {
        d[j] = std::sqrt(EucliDistSq2Vec(p, Y[j], Y[j + 1]));
        fprintf(report, "%g\t", d[j]);
    }
    if (d[0] == 0) {
        // Every percentage would be 0/0 or infinite.
        fprintf(report,
                "\n\nInstability levels cannot be given as percentages: Markov releves 1 and 2 are identical.\n");
        return;
    }
    fprintf(report,
            "\n\nInstability levels (percentage) between Markov releves j and j+1 (lag = %d step(s) up to %d Markov "
            "releves):\n",
            lag, M);
    int reached = 0;
    for (int j = 0; j + 1 < M; j++) {
        const double percent = 100 * d[j] / d[0];
        fprintf(report, "%g\t", percent);
        if (reached == 0 && percent < 1) reached = j + 2;
    }
    fprintf(report, "\n");
    if (reached > 0)
        fprintf(report, "Instability level of less than 1 percent reached at Markov relev\u00e9 %d.\n", reached);
    else
        fprintf(report, "Instability level of less than 1 percent was not reached.\n");
}

void MarkovTestReport(FILE* report, int n, int p, int L, double** X, int nIter) {
    if (n <= 2) {
        fprintf(report,
                "\nRANDOMIZATION TEST FOR MARKOVITY (Ho: coenosere undirected) not performed for the number of "
                "relev\u00e9s < 3.\n");
        return;
    }
    if (nIter <= 1) return;
    std::vector<double> K(L), P(L), average(L);
    MarkovityTest(n, p, L, X, nIter, K.data(), P.data(), average.data());
    long double minimum = 1.0L / Factorial(n);
    if (minimum < 0) minimum = 0;
    fprintf(report, "\nRANDOMIZATION TEST FOR MARKOVITY (Ho: coenosere undirected):\n");
    fprintf(report, "Number of iterations: %d\n", nIter);
    PrintSeed(report);
    fprintf(report, "Minimum theoretical probability of the test (1/n!): %Lg\n", minimum);
    for (int l = 0; l < L; l++) {
        fprintf(report, "\nLag = %d step(s):\n", l + 1);
        fprintf(report, "Engineer's stress coefficient of Kruskal (K) between observed and Markov releves: %g\n",
                NoNegativeZero(K[l]));
        fprintf(report, "Probability P(Knull <= K): %s\n", ProbabilityText(P[l], 6).c_str());
        fprintf(report, "Average Knull: %g\n", NoNegativeZero(average[l]));
    }
}

// ===========================================================================
// Canonical serial scaling
// ===========================================================================

// Moving averages of b consecutive units: row s of Xb is the mean of data
// rows s..s+b-1 over their values present (MISSING when none is).
void BlockMeans(int b, double** Xb) {
    for (int s = 0; s + b <= nObj; s++)
        for (int j = 0; j < nVar; j++) {
            double sum = 0;
            int present = 0;
            for (int i = s; i < s + b; i++)
                if (data[i][j] != MISSING) {
                    sum += data[i][j];
                    present++;
                }
            Xb[s][j] = present > 0 ? sum / present : MISSING;
        }
}

// The resemblance between variables of the blocks of size b with the
// current options into Rb; false after a message when it is refused.
bool BlockResemblance(int b, double** Xb, double** Rb) {
    BlockMeans(b, Xb);
    const int done = ResemblanceLib(nObj - b + 1, nVar, Xb, Rb, optReseDir, optReseTipo, optPostReseTransf, varType,
                                    alphaH, kParameter, countDoubleAbsence, true);
    if (done == reseComputed) return true;
    fprintf(out,
            Text("\nThe correlation matrix of blocks of %d sampling units could not be computed%s: canonical serial "
                 "scaling was not done.\n",
                 "\nA matriz de correlacao de blocos de %d unidades amostrais nao pode ser calculada%s: o "
                 "escalonamento serial canonico nao foi feito.\n"),
            b,
            done == reseNegativeRoot ? Text(" (square root of a negative correlation)",
                                            " (raiz quadrada de uma correlacao negativa)")
                                     : "");
    return false;
}

}  // namespace

// ===========================================================================
// Menu
// ===========================================================================

int Dynamics() {
    fprintf(out, "%s",
            Text("System dynamics:\n\t(1) Markov fitting\n\t(2) data interpolation\n\t(3) rate of change (velocity "
                 "and acceleration)\n\t(4) canonical serial scaling (Velnik et al. 2006)\n\t(99) return to the main "
                 "menu\n\t\tEnter option: ",
                 "Dinamica do sistema:\n\t(1) ajuste de Markov\n\t(2) interpolacao dos dados\n\t(3) taxa de mudanca "
                 "(velocidade e aceleracao)\n\t(4) escalonamento serial canonico (Velnik et al. 2006)\n\t(99) "
                 "retornar ao menu principal\n\t\tEntre opcao: "));
    fflush(out);
    const int option = static_cast<int>(ScanNumber(in, Keyboard(), "1 2 3 4 99"));
    switch (option) {
        case 1:
            Markov();
            break;
        case 2:
            Interpolation();
            break;
        case 3:
            if (!(temRese == 1 && optReseDir == 1)) {
                fprintf(out,
                        Text("\nResemblance matrix comparing units is missing for data %s. Define a resemblance "
                             "measure in the main menu.\n",
                             "\nFalta a matriz de semelhanca entre unidades para os dados %s. Defina uma medida de "
                             "semelhanca no menu principal.\n"),
                        filename);
                return 0;
            }
            Rate_of_Change();
            break;
        case 4:
            if (!(optReseDir == 2 && optReseTipo == 17)) {
                fprintf(out, "%s",
                        Text("This option requires previously the definition of a correlation matrix between "
                             "variables. Please go back to the main menu.\n",
                             "Esta opcao requer previamente a definicao de uma matriz de correlacao entre variaveis. "
                             "Por favor retorne ao menu principal.\n"));
                break;
            }
            CanonicalSerialScaling();
            break;
        default:
            break;
    }
    return 1;
}

// ===========================================================================
// Markov fitting
// ===========================================================================

int Markov() {
    if (!MarkovDataAccepted()) return 0;
    if (!WorkFits(eng == 1, nVar, [](double p) { return MarkovBytes(1, 2, p); }, "Markov fitting", "o ajuste de Markov",
                  "variables", "variaveis"))
        return 0;
    const int n = nObj, p = nVar;
    fprintf(out, "\nMARKOV FITTING\nBased on technique described in Velnik, Velmar & Qo (1993).\n");
    fprintf(out, "Are the sampling units arranged in reversed order (from present to past)? y/n ");
    fflush(out);
    const bool reversed = ScanChar(in, "y n", Keyboard()) == 'y';
    fprintf(out, "Enter the maximum lag between steps (must not be larger than number of described units - 1):  ");
    fflush(out);
    const int L =
        std::min(static_cast<int>(ScanSize(in, Keyboard(), 1, n - 1, [](double l) { return MarkovBytes(l, 2); })), n - 1);
    const int M = AskNumberToPredict(L);
    fprintf(out, "Enter the number of iterations for testing Markovity:  ");
    fflush(out);
    const int nIter = static_cast<int>(ScanNumber(in, Keyboard(), "-", 1, 2147483647.0));
    // The test compares distance matrices between the units: the series',
    // a permuted one's and its prediction's.
    if (nIter > 1 && n > 2 &&
        !WorkFits(eng == 1, n, [p, L](double m) { return 3 * SquareBytes(m) + 8 * m * p + L * SquareBytes(p); },
                  "the randomization test", "o teste de aleatorizacao", "sampling units", "unidades amostrais"))
        return 0;
    AleatorizacaoMain();

    // The series from past to present, as row pointers into the data.
    std::vector<double*> X(n);
    for (int i = 0; i < n; i++) X[i] = data[reversed ? n - 1 - i : i];

    FILE* report = fopenck(kReport, nullptr, modeVidive);
    if (!report) return 0;
    double*** T = dim3DT<double>(L, p, p);
    FitMarkov(n, p, L, X.data(), T);

    fprintf(report, "\n\nMARKOV FITTING\n");
    fprintf(report, "Based on technique described in Velnik, Velmar & Qo (1993).\n\n");
    TimeStamp(report);
    fprintf(report,
            "Data matrix with %d described units (rows) and %d variables (columns) ordered from past to present:\n",
            n, p);
    if (reversed) fprintf(report, "(Original data was reordered from past to present)\n");
    PrintMatrixTab(report, n, p, X.data(), sDigits);
    for (int l = 1; l <= L; l++) {
        fprintf(report, "\nAverage transition matrix lag = %d step(s):\n", l);
        PrintMatrixTab(report, p, p, T[l - 1], sDigits);
    }

    {
        // The prediction, carried over from lag to lag.
        const int rows = std::max(n, M);
        std::vector<double> values(static_cast<size_t>(rows) * p);
        std::vector<double*> Y(rows);
        for (int i = 0; i < rows; i++) Y[i] = values.data() + static_cast<size_t>(i) * p;
        for (int i = 0; i < n; i++) std::copy(X[i], X[i] + p, Y[i]);
        std::vector<double> d(M - 1);
        for (int l = 1; l <= L; l++) PredictionReport(report, l, M, p, T[l - 1], Y.data(), d);
    }
    free3DT(T, L, p);

    MarkovTestReport(report, n, p, L, X.data(), nIter);
    const bool written = fcloseck(report, kReport);
    ClearLine();
    if (!written) return 0;
    fprintf(out, "\n\nResults appended to file Vidive.txt\n");
    return 1;
}

// ===========================================================================
// Interpolation
// ===========================================================================

int Interpolation() {
    std::vector<double> times;
    if (!AskScaleFile("Enter name of file containing time (or spatial), assuming that the data are ordered by "
                      "increasing age (or distance): ",
                      "Entre nome do arquivo contendo o tempo (ou espaco), assumindo que os dados estao ordenados "
                      "por idade (ou distancia) crescente: ",
                      true, times))
        return 0;
    double interval = 0;
    for (;;) {
        fprintf(out, "%s",
                Text("Enter the time (or spatial) interval between new interpolated sampling units:  ",
                     "Entre o intervalo de tempo (ou espaco) entre as novas unidades amostrais interpoladas:  "));
        fflush(out);
        interval = ScanNumber(in, Keyboard(), "-", 0, 3.4028234663852886e38);
        const double count = InterpolationCount(nObj, times.data(), interval);
        if (!(interval > 0)) {
            fprintf(out, "%s",
                    Text("\nThe interval must be greater than 0.\n", "\nO intervalo deve ser maior que 0.\n"));
        } else if (!(count <= 2147483647.0)) {
            fprintf(out,
                    Text("\nAn interval of %g would give %.15g new sampling units, more than 2147483647: enter a "
                         "larger interval.\n",
                         "\nUm intervalo de %g daria %.15g novas unidades amostrais, mais de 2147483647: entre um "
                         "intervalo maior.\n"),
                    interval, count);
        } else if (!FitsInMemory(RowsBytes(count, nVar))) {
            // Tens of gigabytes of interpolated rows would exhaust the
            // machine before a line of the file was written.
            fprintf(out,
                    Text("\nThere is not enough memory for %.15g interpolated sampling units of %d variables: enter "
                         "a larger interval.\n",
                         "\nNao ha memoria suficiente para %.15g unidades amostrais interpoladas de %d variaveis: "
                         "entre um intervalo maior.\n"),
                    count, nVar);
        } else {
            break;
        }
    }
    const int done = Interpolate(nObj, nVar, dataOrig, times.data(), interval, sDigits);
    ClearLine();
    if (!done) return 0;
    fprintf(out, Text("\n\nInterpolated data exported on file %s\n", "\n\nDados interpolados exportados no arquivo %s\n"),
            "Interpolated.txt");
    return 1;
}

// ===========================================================================
// Rates of change
// ===========================================================================

int RatesOfChangeReport(int n, const double* change, const double* span, const double* reference) {
    const int intervals = n > 1 ? n - 1 : 0, pairs = n > 2 ? n - 2 : 0;
    std::vector<double> v(intervals + 1), vAt(intervals + 1), a(pairs + 1), aAt(pairs + 1);
    RatesOfChange(n, change, span, reference, v.data(), vAt.data(), a.data(), aAt.data());

    FILE* report = fopenck(kReport, nullptr, modeVidive);
    if (!report) return 0;
    if (strcmp(modeVidive, "w") == 0) fprintf(report, Text("TEVLAN version %s", "TEVLAN versao %s"), versao);
    ReportHeading(report, Text("RATES OF CHANGE\n", "TAXAS DE MUDANCA\n"));
    fprintf(report, "%s", Text("\nReference scale:\t", "\nEscala de referencia:\t"));
    PrintVectorTab(report, intervals, vAt.data(), sDigits);
    fprintf(report, "%s", Text("Rate of change (velocity):\t", "Taxa de mudanca (velocidade):\t"));
    PrintVectorTab(report, intervals, v.data(), sDigits);
    fprintf(report, "%s", Text("\nReference scale:\t", "\nEscala de referencia:\t"));
    PrintVectorTab(report, pairs, aAt.data(), sDigits);
    fprintf(report, "%s", Text("Acceleration:\t", "Aceleracao:\t"));
    PrintVectorTab(report, pairs, a.data(), sDigits);
    const bool written = fcloseck(report, kReport);
    strcpy(modeVidive, "a");
    return written ? 1 : 0;
}

int Rate_of_Change() {
    std::vector<double> t;
    if (!AskScaleFile("Enter name of file containing time (or spatial) scale: ",
                      "Entre nome do arquivo contendo a escala de tempo (ou espaco): ", false, t))
        return 0;
    const int intervals = nObj > 1 ? nObj - 1 : 0;
    std::vector<double> change(intervals + 1), span(intervals + 1);
    for (int i = 0; i < intervals; i++) {
        change[i] = rese[i][i + 1];
        span[i] = std::fabs(t[i + 1] - t[i]);
    }
    return RatesOfChangeReport(nObj, change.data(), span.data(), t.data());
}

// ===========================================================================
// Canonical serial scaling
// ===========================================================================

int CanonicalSerialScaling() {
    const int B = std::min(static_cast<int>(0.4 * nObj), 40);
    if (B < 2) {
        fprintf(out,
                Text("\nCanonical serial scaling needs at least 5 sampling units (blocks of 1 and 2 units to "
                     "regress on); the data hold %d.\n",
                     "\nO escalonamento serial canonico requer pelo menos 5 unidades amostrais (blocos de 1 e 2 "
                     "unidades para a regressao); os dados tem %d.\n"),
                nObj);
        return 0;
    }
    // The blocked table, the correlation matrices of a block and the result,
    // and for each pair of variables its correlations over the block sizes,
    // fitted and observed.
    const double n = nObj, blocks = B;
    auto bytes = [=](double v) { return 8 * n * v + 3 * SquareBytes(v) + 8 * (2 * blocks + 4) * v * (v - 1) / 2; };
    if (!WorkFits(eng == 1, nVar, bytes, "canonical serial scaling", "o escalonamento serial canonico", "variables",
                  "variaveis"))
        return 0;
    const bool intermediate = AskYes("Save intermediate results? y/n ", "Guardar resultados intermediarios? s/n ");
    const int p = nVar, q = static_cast<int>(static_cast<long long>(p) * (p - 1) / 2);

    // One response per pair of variables i < j: its correlation in each
    // block size, regressed on the block sizes in a single call.
    ScopedMatrix<double> Xb(nObj, p), Rb(p, p), response(B, q), sizes(B, 1), coefficients(1, q), fitted(B, q),
        result(p, p);
    std::vector<double> b0(q + 1), r2(q + 1);
    std::vector<char> undefined(q + 1, 0);
    for (int b = 1; b <= B; b++) {
        if (!BlockResemblance(b, Xb, Rb)) return 0;
        sizes[b - 1][0] = b;
        for (int i = 0, k = 0; i < p; i++)
            for (int j = i + 1; j < p; j++, k++) {
                const double r = Rb[i][j];
                response[b - 1][k] = r;
                // An undefined correlation would enter the fit as a value.
                if (r == MISSING || !std::isfinite(r)) undefined[k] = 1;
            }
    }
    if (q > 0 && !regression(B, q, 1, response, sizes, coefficients, b0.data(), fitted, r2.data())) return 0;
    for (int i = 0, k = 0; i < p; i++)
        for (int j = i + 1; j < p; j++, k++) result[j][i] = undefined[k] ? MISSING : b0[k] + coefficients[0][k];

    FILE* report = fopenck(kReport, nullptr, modeVidive);
    if (!report) return 0;
    if (intermediate) {
        fprintf(report, "%s",
                Text("Canonical Serial Scaling INTERMEDIATE RESULTS:\n",
                     "Escalonamento Serial Canonico RESULTADOS INTERMEDIARIOS:\n"));
        for (int b = 1; b <= B; b++) {
            BlockResemblance(b, Xb, Rb);
            fprintf(report, Text("\nBlock size: %d\tData:\n", "\nTamanho do bloco: %d\tDados:\n"), b);
            PrintMatrixTab(report, nObj - b + 1, p, Xb, sDigits);
            fprintf(report, Text("\nBlock size: %d\tCorrelation matrix:\n", "\nTamanho do bloco: %d\tMatriz de correlacao:\n"),
                    b);
            PrintMatrixTab(report, p, p, Rb, sDigits);
        }
    }
    fprintf(report, "\n%s", line);
    fprintf(report, "%s", Text("\nCANONICAL SERIAL SCALING:", "\nESCALONAMENTO SERIAL CANONICO:"));
    fprintf(report, "\n%s\n", line);
    TimeStamp(report);
    ShowStatus(report);
    fprintf(report, "%s",
            Text("\nCorrelation matrix predicted by linear regression for block size equal to one:\n",
                 "\nMatriz de correlacao predita por regressao linear para tamanho de bloco igual a um:\n"));
    PrintMatrixTab(report, p, p, result, sDigits);
    const bool written = fcloseck(report, kReport);
    ClearLine();
    return written ? 1 : 0;
}
