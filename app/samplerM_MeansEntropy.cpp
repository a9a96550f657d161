// ===========================================================================
// Samplers of means and entropy, and the bootstrap dialogue of every sampler
// ===========================================================================

#include "samplerM.h"
#include "samplerM_internal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "FtevlanGlob.h"
#include "iflibG.h"
#include "rhlibOut.h"
#include "rhlibDim.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"
#include "rhSimd.h"

using namespace sampler_detail;

namespace {

// Inside a run an undefined statistic is NaN, so that it can never pass for a
// value; it is never summed, never put into a tail, and printed as MISSING.
const double kUndefined = std::numeric_limits<double>::quiet_NaN();
inline bool Defined(double v) { return std::isfinite(v); }
inline double Printable(double v) { return Defined(v) ? NoNegativeZero(v) : MISSING; }

// ---------------------------------------------------------------------------
// Dialogue
// ---------------------------------------------------------------------------

// Alpha above 0 and at most 1; 0 is refused as an answer out of range is (it
// would leave no value in either tail).
double AskAlpha() {
    Prompt("Enter alpha probability for confidence limits: ",
           "Entre a probabilidade alfa para os limites de confianca: ");
    for (;;) {
        const double a = ScanNumber(in, kSource, "-", 0.0, 1.0);
        if (a > 0) return a;
        fprintf(stderr, "\nIncorrect input = %g. Reenter.\n", a);
        fprintf(stderr, "Accepted input: above 0 to 1\n");
    }
}

// ---------------------------------------------------------------------------
// One run's options and the accumulators of its cells
// ---------------------------------------------------------------------------

// For each statistic, the p x steps tables of the current iteration, the
// sums and counts of defined values, and the tails of every cell. The inner
// edge of each cell's tails (the m-th smallest and largest so far) is kept
// in two tables of its own as well: nearly every value falls between them,
// and testing it there reads two small tables instead of two buffers per cell.
struct Cells {
    int stats, p, steps, m;
    double*** current;
    double*** sum;
    int*** defined;
    double**** low;
    double**** high;
    double*** lowEdge;
    double*** highEdge;

    Cells(int nStats, const RunOptions& o) : stats(nStats), p(o.p), steps(o.steps), m(o.m) {
        current = dim1DT<double**>(stats);
        sum = dim1DT<double**>(stats);
        defined = dim1DT<int**>(stats);
        low = dim1DT<double***>(stats);
        high = dim1DT<double***>(stats);
        lowEdge = dim1DT<double**>(stats);
        highEdge = dim1DT<double**>(stats);
        for (int s = 0; s < stats; s++) {
            current[s] = dim2DT<double>(p, steps);
            sum[s] = dim2DT<double>(p, steps);
            defined[s] = dim2DT<int>(p, steps);
            low[s] = dim3DT<double>(p, steps, m);
            high[s] = dim3DT<double>(p, steps, m);
            lowEdge[s] = dim2DT<double>(p, steps);
            highEdge[s] = dim2DT<double>(p, steps);
            for (int j = 0; j < p; j++)
                for (int k = 0; k < steps; k++) {
                    BootstrapTailsReset(m, low[s][j][k], high[s][j][k]);
                    lowEdge[s][j][k] = low[s][j][k][m - 1];
                    highEdge[s][j][k] = high[s][j][k][m - 1];
                }
        }
    }
    ~Cells() {
        for (int s = 0; s < stats; s++) {
            free2DT(current[s], p);
            free2DT(sum[s], p);
            free2DT(defined[s], p);
            free3DT(low[s], p, steps);
            free3DT(high[s], p, steps);
            free2DT(lowEdge[s], p);
            free2DT(highEdge[s], p);
        }
        free1D(current);
        free1D(sum);
        free1D(defined);
        free1D(low);
        free1D(high);
        free1D(lowEdge);
        free1D(highEdge);
    }
    Cells(const Cells&) = delete;
    Cells& operator=(const Cells&) = delete;

    // Takes the current iteration's values of the variables taken.
    void Add(const RunOptions& o) {
        for (int s = 0; s < stats; s++)
            for (int t = 0; t < o.nTaken; t++) {
                const int j = o.taken[t];
                for (int k = 0; k < steps; k++) {
                    const double v = current[s][j][k];
                    if (!Defined(v)) continue;
                    sum[s][j][k] += v;
                    defined[s][j][k]++;
                    if (v < lowEdge[s][j][k] || v > highEdge[s][j][k]) {
                        BootstrapTailsAdd(m, low[s][j][k], high[s][j][k], v);
                        lowEdge[s][j][k] = low[s][j][k][m - 1];
                        highEdge[s][j][k] = high[s][j][k][m - 1];
                    }
                }
            }
    }
};

// ---------------------------------------------------------------------------
// Report
// ---------------------------------------------------------------------------

// One row of the final block.
void WriteFinalRow(FILE* f, int steps, const double* v) {
    for (int k = 0; k < steps; k++) fprintf(f, "\t%.*g", sDigits, Printable(v[k]));
}

void WriteIteration(FILE* f, const RunOptions& o, double** data, const int* list, double*** current,
                    const std::function<void(FILE*, int)>& title, int stats) {
    fprintf(f,
            Text("\nResampled data (%d variables in rows, %d sampling units in columns):\n",
                 "\nDados reamostrados (%d variaveis nas linhas, %d unidades amostrais nas colunas):\n"),
            o.p, o.n);
    for (int t = 0; t < o.nTaken; t++) {
        const int j = o.taken[t];
        for (int i = 0; i < o.n; i++) fprintf(f, "%g\t", NoNegativeZero(data[list[i] - 1][j]));
        fprintf(f, "\n");
    }
    for (int s = 0; s < stats; s++) {
        title(f, s);
        fprintf(f, "%s", Text("Variable\t", "Variavel\t"));
        for (int k = 0; k < o.steps; k++) fprintf(f, "n=%d\t", o.sizes[k]);
        for (int t = 0; t < o.nTaken; t++) {
            const int j = o.taken[t];
            fprintf(f, "\nVar. %s:\t", varLabels[j]);
            for (int k = 0; k < o.steps; k++) fprintf(f, "%g\t", Printable(current[s][j][k]));
        }
    }
    fprintf(f, "\n");
}

void WriteFinal(FILE* f, const RunOptions& o, const Cells& c, double elapsed,
                const std::function<void(FILE*, int)>& titles) {
    WriteFinalOpening(f, o, elapsed, kDashes, 0);
    fprintf(f, Text("\nSample size at %d sampling step(s):\n", "\nTamanho da amostra em %d passo(s) amostral(is):\n"),
            o.steps);
    for (int k = 0; k < o.steps; k++) fprintf(f, "%d\t", o.sizes[k]);

    // One row per variable taken, its value at size k given by value(j, k).
    std::vector<double> row(o.steps);
    auto rows = [&](const std::function<double(int, int)>& value) {
        for (int t = 0; t < o.nTaken; t++) {
            const int j = o.taken[t];
            for (int k = 0; k < o.steps; k++) row[k] = value(j, k);
            fprintf(f, "\nVar. %s: ", varLabels[j]);
            WriteFinalRow(f, o.steps, row.data());
        }
    };
    auto limit = [&](int s, int j, int k, bool upperLimit) {
        if (c.defined[s][j][k] < o.m) return kUndefined;
        double lower, upper;
        BootstrapTailsLimits(o.m, c.low[s][j][k], c.high[s][j][k], c.defined[s][j][k], &lower, &upper);
        return upperLimit ? upper : lower;
    };
    for (int s = 0; s < c.stats; s++) {
        titles(f, s);
        rows([&](int j, int k) {
            return c.defined[s][j][k] > 0 ? c.sum[s][j][k] / c.defined[s][j][k] : kUndefined;
        });
        fprintf(f,
                Text("\n\nConfidence limits at %g alpha probability (generated by %d random iterations of "
                     "resampling):\n",
                     "\n\nLimites de confianca a probabilidade alfa %g (gerados por %d iteracoes aleatorias "
                     "de reamostragem):\n"),
                o.alpha, o.iterations);
        fprintf(f, Text("Lower limits for %d samples with increasing sizes:",
                        "Limites inferiores para %d amostras de tamanho crescente:"),
                o.steps);
        rows([&](int j, int k) { return limit(s, j, k, false); });
        fprintf(f, Text("\n\nUpper limits for %d samples with increasing sizes:",
                        "\n\nLimites superiores para %d amostras de tamanho crescente:"),
                o.steps);
        rows([&](int j, int k) { return limit(s, j, k, true); });
        fprintf(f, "%s", Text("\n\nDifference between upper and lower limits:",
                              "\n\nDiferenca entre os limites superior e inferior:"));
        rows([&](int j, int k) { return limit(s, j, k, true) - limit(s, j, k, false); });
    }
}

// ---------------------------------------------------------------------------
// The run common to both samplers
// ---------------------------------------------------------------------------

// Everything a sampler's statistics differ in: which variables they take,
// their texts, and how one iteration computes them.
//
// The kernel, one per sampler:
//   static constexpr int kStats;
//   static bool Takes(int type);
//   const char* Attribute();                       header line
//   void IntermediateTitle(FILE*, int stat);
//   void FinalTitles(FILE*, int stat, int iterations);
//   void Start(const RunOptions&, double** data);  work arrays, before the loop
//   void Evaluate(const RunOptions&, double** data, const int* list, double*** current);
//                                                  current[stat][j][k] of every variable taken
//   void Finish(const RunOptions&);                releases the work arrays

template <class Kernel>
bool RunSampler(int n, int p, double** data, Kernel& kernel) {
    if (n < 1 || p < 1) return false;
    InitIFLibG();
    RunOptions o;
    o.n = n;
    o.p = p;
    SetBootstrapOptions(n, 1, &o.initial, &o.step, &o.iterations, &o.seed, &o.save, 1, &o.alpha);

    strcpy(modeVidive, "a");
    FILE* f = fopenck("Vidive.txt", nullptr, modeVidive);
    if (!f) return false;
    WriteHeader(f, o, kernel.Attribute());
    bool written = fcloseck(f, "Vidive.txt");
    const double start = difftime_Clock_Init();

    o.m = BootstrapTailSize(o.iterations, o.alpha);
    o.steps = CountSteps(n, o.initial, o.step);
    o.sizes = dim1DT<int>(o.steps);
    SampleSizes(n, o.initial, o.step, o.sizes);
    o.taken = dim1DT<int>(p);
    for (int j = 0; j < p; j++)
        if (Kernel::Takes(EffectiveVarType(j))) o.taken[o.nTaken++] = j;
    Cells cells(Kernel::kStats, o);
    int* list = dim1DT<int>(n);
    kernel.Start(o, data);
    const std::function<void(FILE*, int)> intermediateTitle = [&kernel](FILE* g, int s) {
        kernel.IntermediateTitle(g, s);
    };

    InitRndNumberGenerator(o.seed);
    FILE* saved = nullptr;
    if (o.save == 'y') {
        saved = fopenck("Vidive.txt", nullptr, "a");
        written = saved && written;
        if (saved) {
            fprintf(saved, "\n%s\n", kDashes);
            fprintf(saved, "%s", Text("INTERMEDIATE RESULTS:\n", "RESULTADOS INTERMEDIARIOS:\n"));
        }
    }
    char progress[64];
    for (int it = 1; it <= o.iterations; it++) {
        if (o.iterations != 1) {
            snprintf(progress, sizeof progress, "Bootstrap iteration: %d %d", o.iterations, it);
            HandleEventInfoWhere2(progress);
        }
        RndListBootstrap(n, list);
        kernel.Evaluate(o, data, list, cells.current);
        if (saved) WriteIteration(saved, o, data, list, cells.current, intermediateTitle, Kernel::kStats);
        cells.Add(o);
    }
    if (saved) written = fcloseck(saved, "Vidive.txt") && written;

    f = fopenck("Vidive.txt", nullptr, "a");
    if (f) {
        WriteFinal(f, o, cells, difftime_Clock(start), [&kernel, &o](FILE* g, int s) {
            kernel.FinalTitles(g, s, o.iterations);
        });
    }
    written = fcloseck(f, "Vidive.txt") && written;
    ClearLine();
    kernel.Finish(o);
    free1D(list);
    free1D(o.taken);
    free1D(o.sizes);
    return written;
}

// ---------------------------------------------------------------------------
// Means, standard deviations and skewness
// ---------------------------------------------------------------------------

// Adds the next sampled unit's row x to the running moments of columns
// 0..p-1, each of which holds `before` values so far (inv = 1 / (before +
// 1)). Welford's update with Terriberry's third moment rather than power
// sums: a sample of equal values keeps exactly 0 spread (so its skewness is
// 0, not noise), and values far from 0 keep their digits.
SIMD_INLINE inline void AddMoments(int p, const double* __restrict x, double before, double inv,
                                   double* __restrict mean, double* __restrict m2, double* __restrict m3) {
    const double after = before + 1.0;
    for (int j = 0; j < p; j++) {
        const double delta = x[j] - mean[j];
        const double dn = delta * inv;
        const double t = delta * dn * before;
        mean[j] += dn;
        m3[j] += t * dn * (after - 2.0) - 3.0 * dn * m2[j];
        m2[j] += t;
    }
}

struct MeansKernel {
    static constexpr int kStats = 3;
    static bool Takes(int type) { return type == 1 || type == 3; }

    double* mean = nullptr;
    double* m2 = nullptr;
    double* m3 = nullptr;
    int* count = nullptr;   // values that are not missing, per column
    double* inv = nullptr;  // inv[k] = 1 / k
    bool complete = false;  // no missing value in a column taken

    const char* Attribute() const {
        return Text("Sample attributes: mean and standard deviation of each variable\n",
                    "Atributos amostrais: media e desvio padrao de cada variavel\n");
    }
    void IntermediateTitle(FILE* f, int s) const {
        static const char* const english[] = {"\nSample mean with increasing sample size:\n",
                                               "\n\nStandard deviation with increasing sample size:\n",
                                               "\nSkewness with increasing sample size:\n"};
        static const char* const portuguese[] = {
            "\nMedia amostral com tamanho crescente da amostra:\n",
            "\n\nDesvio padrao com tamanho crescente da amostra:\n",
            "\nAssimetria com tamanho crescente da amostra:\n"};
        fprintf(f, "%s", Text(english[s], portuguese[s]));
    }
    void FinalTitles(FILE* f, int s, int iterations) const {
        static const char* const english[][2] = {
            {"\n\nStatistic: MEAN",
             "\nAverage of the sample mean generated by %d random iterations of bootstrap resampling:"},
            {"\n\nStatistic: STANDARD DEVIATION",
             "\nAverage of the standard deviations generated by %d random iterations of bootstrap "
             "resampling:"},
            {"\n\nStatistic: SKEWNESS",
             "\nAverage of the sample skewness generated by %d random iterations of bootstrap "
             "resampling:"}};
        static const char* const portuguese[][2] = {
            {"\n\nEstatistica: MEDIA",
             "\nMedia das medias amostrais geradas por %d iteracoes aleatorias de reamostragem "
             "bootstrap:"},
            {"\n\nEstatistica: DESVIO PADRAO",
             "\nMedia dos desvios padrao gerados por %d iteracoes aleatorias de reamostragem bootstrap:"},
            {"\n\nEstatistica: ASSIMETRIA",
             "\nMedia das assimetrias amostrais geradas por %d iteracoes aleatorias de reamostragem "
             "bootstrap:"}};
        fprintf(f, "%s", Text(english[s][0], portuguese[s][0]));
        fprintf(f, Text(english[s][1], portuguese[s][1]), iterations);
    }

    void Start(const RunOptions& o, double** data) {
        mean = dim1DT<double>(o.p);
        m2 = dim1DT<double>(o.p);
        m3 = dim1DT<double>(o.p);
        count = dim1DT<int>(o.p);
        inv = dim1DT<double>(o.n + 1);
        for (int k = 1; k <= o.n; k++) inv[k] = 1.0 / k;
        complete = true;
        for (int t = 0; t < o.nTaken && complete; t++)
            for (int i = 0; i < o.n && complete; i++) complete = data[i][o.taken[t]] != MISSING;
    }
    void Finish(const RunOptions&) {
        free1D(mean);
        free1D(m2);
        free1D(m3);
        free1D(count);
        free1D(inv);
    }

    void Evaluate(const RunOptions& o, double** data, const int* list, double*** current) {
        const int p = o.p;
        std::fill(mean, mean + p, 0.0);
        std::fill(m2, m2 + p, 0.0);
        std::fill(m3, m3 + p, 0.0);
        std::fill(count, count + p, 0);
        int i = 0;
        for (int k = 0; k < o.steps; k++) {
            const int size = o.sizes[k];
            if (complete) {
                // Every column has the same count: one vectorisable pass over
                // the whole row (the columns not taken are computed and ignored),
                // in the processor's widest registers (each column alone).
                simd::Run([&](auto) SIMD_INLINE {
                    for (; i < size; i++) AddMoments(p, data[list[i] - 1], i, inv[i + 1], mean, m2, m3);
                });
            } else {
                for (; i < size; i++) {
                    const double* x = data[list[i] - 1];
                    for (int t = 0; t < o.nTaken; t++) {
                        const int j = o.taken[t];
                        if (x[j] == MISSING) continue;
                        const int before = count[j]++;
                        AddMoments(1, x + j, before, inv[before + 1], mean + j, m2 + j, m3 + j);
                    }
                }
            }
            for (int t = 0; t < o.nTaken; t++) {
                const int j = o.taken[t];
                const int c = complete ? size : count[j];
                current[0][j][k] = c >= 1 ? mean[j] : kUndefined;
                current[1][j][k] = c >= 2 ? std::sqrt(m2[j] / (c - 1)) : kUndefined;
                if (c < 1) {
                    current[2][j][k] = kUndefined;
                    continue;
                }
                // m2^1.5 as m2 sqrt(m2): the same number, without a pow per cell.
                const double v2 = m2[j] / c;
                current[2][j][k] = v2 > 0.0 ? (m3[j] / c) / (v2 * std::sqrt(v2)) : 0.0;
            }
        }
    }
};

// ---------------------------------------------------------------------------
// Renyi entropy
// ---------------------------------------------------------------------------

struct EntropyKernel {
    static constexpr int kStats = 1;
    static bool Takes(int type) { return type == 1 || type == 2; }

    int** state = nullptr;      // n x p: state number of each cell, -1 when missing
    int* states = nullptr;      // number of states of each column
    double** counts = nullptr;  // p x n: frequency of each state in the sample
    int* total = nullptr;       // values in the sample that are not missing

    const char* Attribute() const {
        return Text("Sample attribute: entropy of each variable\n", "Atributo amostral: entropia de cada variavel\n");
    }
    void IntermediateTitle(FILE* f, int) const {
        fprintf(f,
                Text("\nRenyi general entropy of order %g (nats) with increasing sample size:\n",
                     "\nEntropia geral de Renyi de ordem %g (nats) com tamanho crescente da amostra:\n"),
                alphaEntropy);
    }
    void FinalTitles(FILE* f, int, int iterations) const {
        fprintf(f,
                Text("\n\nStatistics: Renyi general entropy of order %g (nats)",
                     "\n\nEstatisticas: entropia geral de Renyi de ordem %g (nats)"),
                alphaEntropy);
        fprintf(f,
                Text("\nAverage of the sample entropy generated by %d random iterations of bootstrap "
                     "resampling:",
                     "\nMedia das entropias amostrais geradas por %d iteracoes aleatorias de reamostragem "
                     "bootstrap:"),
                iterations);
    }

    // The states of each column are numbered once over the whole table; a
    // sample's frequencies are then counted along the list, each size adding
    // to the counts of the size before.
    void Start(const RunOptions& o, double** data) {
        state = dim2DT<int>(o.n, o.p);
        states = dim1DT<int>(o.p);
        counts = dim2DT<double>(o.p, o.n);
        total = dim1DT<int>(o.p);
        double* column = dim1DT<double>(o.n);
        int* index = dim1DT<int>(o.n);
        for (int t = 0; t < o.nTaken; t++) {
            const int j = o.taken[t];
            for (int i = 0; i < o.n; i++) column[i] = data[i][j];
            states[j] = ContingencyStateIndex(o.n, column, index);
            for (int i = 0; i < o.n; i++) state[i][j] = index[i];
        }
        free1D(column);
        free1D(index);
    }
    void Finish(const RunOptions& o) {
        free2DT(state, o.n);
        free1D(states);
        free2DT(counts, o.p);
        free1D(total);
    }

    void Evaluate(const RunOptions& o, double**, const int* list, double*** current) {
        for (int t = 0; t < o.nTaken; t++) {
            const int j = o.taken[t];
            std::fill(counts[j], counts[j] + states[j], 0.0);
            total[j] = 0;
        }
        int i = 0;
        for (int k = 0; k < o.steps; k++) {
            for (; i < o.sizes[k]; i++) {
                const int* s = state[list[i] - 1];
                for (int t = 0; t < o.nTaken; t++) {
                    const int j = o.taken[t];
                    if (s[j] < 0) continue;
                    counts[j][s[j]] += 1.0;
                    total[j]++;
                }
            }
            for (int t = 0; t < o.nTaken; t++) {
                const int j = o.taken[t];
                current[0][j][k] = total[j] > 0 ? EntropyVector(states[j], counts[j], alphaEntropy) : kUndefined;
            }
        }
    }
};

}  // namespace

int SetBootstrapOptions(int n, int minInitial, int* initial, int* step, int* iterations,
                        unsigned int* seed, int* save, int askAlpha, double* alpha) {
    *initial = AskWhole("Initial sample size: ", "Tamanho inicial da amostra: ", std::min(minInitial, n), n);
    *step = *initial < n ? AskWhole("Number of sampling units added at each sampling step: ",
                                    "Numero de unidades amostrais acrescentadas a cada passo amostral: ", 1, n)
                         : 0;
    *iterations = AskWhole("Enter number of iterations in resampling/permutation: ",
                           "Entre o numero de iteracoes na reamostragem/permutacao: ", 1, 2147483647.0);
    if (askAlpha == 1) {
        for (;;) {
            const double a = AskAlpha();
            const int raised = BootstrapEvenIterations(*iterations, a);
            if (raised > 0) {
                *alpha = a;
                *iterations = raised;
                break;
            }
            fprintf(out,
                    Text("\nAlpha %g would need more than %d iterations. Enter another alpha.\n",
                         "\nAlfa %g exigiria mais de %d iteracoes. Entre outro alfa.\n"),
                    a, BootstrapIterationCap(*iterations));
        }
    }
    if (seed) {
        Prompt("Initialization of random number generation: \n\t(1) automatic\n\t(2) specify seed\n\tEnter option: ",
               "Inicializacao da geracao de numeros aleatorios: \n\t(1) automatica\n\t(2) especificar "
               "semente\n\tEntre opcao: ");
        if (static_cast<int>(ScanNumber(in, kSource, "1 2")) == 1) {
            *seed = AutomaticSeed();
        } else {
            fprintf(out,
                    Text("Enter seed (integer in the 0 to %u interval): ",
                         "Entre a semente (inteiro no intervalo de 0 a %u): "),
                    4294967295u);
            fflush(out);
            *seed = static_cast<unsigned int>(ScanNumber(in, kSource, "-", 0.0, 4294967295.0));
        }
    }
    const char* keys = Text("y n", "s n");
    const int yes = eng ? 'y' : 's';
    Prompt("Save intermediate results? y/n  ", "Guardar resultados intermediarios? s/n  ");
    int answer = ScanChar(in, keys, kSource);
    if (answer == yes && *iterations > 50) {
        fprintf(out,
                Text("Are you sure? y/n There will be %d bootstrap resamplings!",
                     "Tem certeza? s/n Sao %d reamostragens! "),
                *iterations);
        fflush(out);
        answer = ScanChar(in, keys, kSource);
    }
    *save = answer == yes ? 'y' : 'n';
    return 1;
}

int CountSteps(int n, int initial, int step) {
    if (initial >= n) return 1;
    // In 64 bits, so that a size near the largest int cannot wrap.
    const long long d = step >= 1 ? step : n;
    return static_cast<int>(1 + (static_cast<long long>(n) - initial + d - 1) / d);
}

void SampleSizes(int n, int initial, int step, int* sizes) {
    const int count = CountSteps(n, initial, step);
    const long long d = step >= 1 ? step : n;
    for (int k = 0; k < count; k++)
        sizes[k] = k == count - 1 ? n : static_cast<int>(std::min<long long>(initial + k * d, n));
}

bool SamplerMeans(int n, int p, double** data) {
    MeansKernel kernel;
    return RunSampler(n, p, data, kernel);
}

bool SamplerEntropy(int n, int p, double** data) {
    EntropyKernel kernel;
    return RunSampler(n, p, data, kernel);
}
