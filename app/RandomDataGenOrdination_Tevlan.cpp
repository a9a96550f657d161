#include "RandomDataGenOrdination_Tevlan.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>

#include <gsl/gsl_rng.h>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "SimulationPrompts.h"
#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibOut.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"
#include "samplerM.h"

namespace {

const char* const kVersion = "08Mar2017";
// "PopulationData_" and the name must fit the 99 characters of a file name.
constexpr int kNameLength = 84;
constexpr int kMatrixNameLength = 99;
constexpr double kLargestFloat = 3.4028234663852886e38;

const char* const kRuleTexts[kStoppingRules] = {
    "(1) Bootstrapped ordination (Hallek 1999)",
    "(2) RVDIM (Kresh)",
    "(3) Eigenvalue (ter Frelle 1988)",
    "(4) Pseudo F ratio (ter Frelle 1988)",
    "(5) Average random eigenvalue (Castor-Lim et al. 2005)",
    "(6) Kaiser-Guttman (> 1)",
    "(7) Kaiser-Guttman (> 0.7)",
    "(8) Harbeck & Gastrow (2007) information measure ",
    "(9) Harbeck & Gastrow (2007) information measure - 1",
    "(10) Bartlett's test ",
    "(11)Broken Stick",
};

const char* const kSummaryFiles[kStoppingRules] = {
    "SummaryResultsBoot.txt",        "SummaryResultsRVDIM.txt",     "SummaryResultsEig.txt",
    "SummaryResultsPseudoFRatio.txt", "SummaryResultsAvgRndEig.txt", "SummaryResultsKGuttman_1.txt",
    "SummaryResultsKGuttman_07.txt", "SummaryResultsHarbeck.txt",   "SummaryResultsHarbeck_1.txt",
    "SummaryResultsBartlett.txt",    "SummaryResultsBrokenStick.txt",
};

const char* const kFinalTitles[kStoppingRules] = {
    "Bootstrapped ordination (Hallek 1999), proportion of tests rejecting Ho at an alpha probability of %g:\n",
    "\nRVDIM Test (Kresh 2008), proportion of tests rejecting Ho at an alpha probability of %g:\n",
    "\nPermutation test for the EIGENVALUES (ter Frelle 1988), proportion of tests rejecting Ho at an alpha "
    "probability of %g:\n",
    "\nPSEUDO-F RATIO permutation test (ter Frelle 1988), proportion of tests rejecting Ho at an alpha probability "
    "of %g:\n",
    "\nPermutation test based on the average random eigenvalue (Castor-Lim et 2005), proportion of tests rejecting "
    "Ho at an alpha probability of %g:\n",
    "\nKaiser-Guttman stopping rule, proportion of data sets with eigenvalues exceeding 1.0:\n",
    "\nKaiser-Guttman stopping rule, proportion of data sets with eigenvalues exceeding 0.7:\n",
    "\nHarbeck & Gastrow (2007) stopping rule based on entropy. Proportion of data sets with eigenvalues exceeding "
    "the indicated number of non-trivial dimensions:\n",
    "\nModified Harbeck & Gastrow (2007) stopping rule based on entropy (subtracting 1 as suggested by Pretel). "
    "Proportion of data sets with eigenvalues exceeding the indicated number of non-trivial dimensions:\n",
    "\nBartlett's test. Proportion of data sets with a significant u Bartlett's statistic (according to Ablott "
    "2002 p.399 \n",
    "\nBroken stick stopping rule. Proportion of data sets with significant eigenvalues.\n",
};

// A rule's line in a data set's block; where it has a second text, that
// one is written for an axis the rule does not retain.
struct RuleLine {
    const char* text;
    const char* failing;
};
const RuleLine kRuleLines[kStoppingRules] = {
    {nullptr, nullptr},  // the bootstrap writes a block of its own
    {"RVDIM and p-value (Kresh)", nullptr},
    {"P-value for the eigenvalue (ter Frelle 1988)", nullptr},
    {"P-value for the pseudo_f ratio (ter Frelle 1988)", nullptr},
    {"P-value for the average random eigenvalue (Castor-Lim et al. 2005)", nullptr},
    {"Significant Kaiser-Guttman criterion (> 1)", "Non-significant Kaiser-Guttman criterion (<= 1)"},
    {"Significant Kaiser-Guttman criterion (> 0.7)", "Non-significant Kaiser-Guttman criterion (<= 0.7)"},
    {"Significant Harbeck & Gastrow (2007) information measure",
     "Non-significant Harbeck & Gastrow (2007) information measure"},
    {"Significant Harbeck & Gastrow (2007) information measure - 1",
     "Non-significant Harbeck & Gastrow (2007) information measure - 1"},
    {"Bartlett's test (u and p-value)", nullptr},
    {"Significant according to the broken stick stopping rule (E, Belcourt 1976)",
     "Non-significant according to the broken stick stopping rule (E, Belcourt 1976)"},
};

enum Rule { kBoot, kRvdim, kEig, kPseudoF, kAvgRnd, kGuttman1, kGuttman07, kHarbeck, kHarbeck1, kBartlett, kBroken };

// The generator works on the globals of the current data set as its scratch
// state, since the bootstrap iteration it shares with key O reads them. All
// it changes is kept here and put back, so that the main menu finds the data
// set as it was.
class KeptDataSet {
public:
    KeptDataSet() : alphaH_(alphaH), kParameter_(kParameter), varType_(varType), dataOrig_(dataOrig) {
        for (size_t k = 0; k < kCount; k++) ints_[k] = *Fields()[k];
    }
    ~KeptDataSet() {
        for (size_t k = 0; k < kCount; k++) *Fields()[k] = ints_[k];
        alphaH = alphaH_;
        kParameter = kParameter_;
        varType = varType_;
        dataOrig = dataOrig_;
    }
    KeptDataSet(const KeptDataSet&) = delete;
    KeptDataSet& operator=(const KeptDataSet&) = delete;

private:
    static constexpr size_t kCount = 20;
    // The dimensions, options and derived data type, and the two entries of
    // the availability tables that SetDataType switches.
    static int* const* Fields() {
        static int* const fields[kCount] = {
            &nObj, &nVar, &nRows, &nCols, &optVarTipo, &optTrEs, &optTrVeVar, &optTrVeUnits, &nClassesVar,
            &nClassesUnits, &optReseDir, &optReseTipo, &optPostReseTransf, &countDoubleAbsence, &optOrdiType,
            &dataType, &isStandardized, &hasNegative, &appliesReseUnits[4][0], &appliesReseVar[4][0]};
        return fields;
    }
    int ints_[kCount];
    double alphaH_, kParameter_;
    int* varType_;
    double** dataOrig_;
};

// P <= alpha, a P equal to alpha in single precision included; a P that is
// not a number is never significant.
bool AtMost(double P, double alpha) { return P < alpha || AlmostEqual2sComplement(P, alpha, 1); }

// Whether the ordination's scores are those of the sampling units, which the
// bootstrap compares sample by sample.
bool UnitScores(int direction, int type) { return (direction == 1 && type == 1) || (direction == 2 && type != 1); }

// --- Dialogue --------------------------------------------------------------

using namespace simulation_prompts;

// What a run allocates at the most at once, in bytes: the simulated table
// with its transformed copy and the copy the bootstrap reads, the population
// with its transformed copy, the p x p matrices of the targets, and the
// ordinations of a sample and of the population (the resemblance, the
// eigenvectors and the scores of the entities compared).
double StoppingRuleRunBytes(const StoppingRuleRun& run, int direction) {
    const double n = run.n, N = run.N, p = run.p;
    auto ordination = [](double rows, double other) { return 3 * rows * std::max(rows, other); };
    const double sample = direction == 2 ? ordination(p, n) : ordination(n, p);
    const double population = direction == 2 ? ordination(p, N) : ordination(N, p);
    return 8 * (4 * n * p + 2 * N * p + 5 * p * p + sample + population);
}

// One word from `in`, or false when `in` has ended before one: a finished
// options file is the normal end of the generator, not an error.
bool NextWord(int maxLength, std::string& word) {
    int c;
    do c = getc(in);
    while (c != EOF && isspace(c));
    if (c == EOF) return false;
    ungetc(c, in);
    char buffer[256];
    if (!ScanString(in, maxLength, buffer, nullptr, 0, Keyboard())) return false;
    word = buffer;
    return true;
}

// The p x p correlation matrix of file `name`, row after row; false after a
// message naming the file when it cannot be opened, ends early, holds a
// field that is not a finite number, or is not symmetric.
bool ReadCorrelationMatrix(const std::string& name, int p, std::vector<double>& R) {
    FILE* f = fopenck(name.c_str(), nullptr, "r");
    if (!f) return false;
    // No room is made for a matrix the file is too short to hold.
    if (static_cast<double>(p) * p > MostNumbersIn(f)) {
        fprintf(out, "\nFile %s ends before the %d x %d correlation matrix is complete.\n", name.c_str(), p, p);
        fclose(f);
        return false;
    }
    R.assign(static_cast<size_t>(p) * p, 0.0);
    bool ok = true;
    for (int i = 0; ok && i < p; i++)
        for (int j = 0; ok && j < p; j++) {
            char token[kTokenShown];
            const int k = ReadNumberToken(f, &R[static_cast<size_t>(i) * p + j], token, sizeof token, name.c_str());
            if (k == tokenEnd) {
                fprintf(out, "\nFile %s ends before the %d x %d correlation matrix is complete.\n", name.c_str(), p, p);
                ok = false;
            } else if (k == tokenNotNumber) {
                char place[64];
                snprintf(place, sizeof place, "row %d, column %d", i + 1, j + 1);
                NotANumberMessage(out, true, name.c_str(), place, token);
                ok = false;
            }
        }
    fclose(f);
    for (int i = 0; ok && i < p; i++)
        for (int j = i + 1; ok && j < p; j++) {
            const double a = R[static_cast<size_t>(i) * p + j], b = R[static_cast<size_t>(j) * p + i];
            if (std::fabs(a - b) > 1e-9) {
                fprintf(out, "\nFile %s: row %d, column %d holds %.10g but row %d, column %d holds %.10g; a "
                             "correlation matrix is symmetric.\n",
                        name.c_str(), i + 1, j + 1, a, j + 1, i + 1, b);
                ok = false;
            }
        }
    return ok;
}

// Mode e: the rank and its weights, and the noise.
void AskEigenvalues(StoppingRuleRun& run) {
    char prompt[128];
    run.rank = AskWhole("Number of eigenvalues larger than zero (rank r \u2264 p): ", 1,
                        std::min(run.p, run.N - 1));
    // Weights that sum to 0 would give targets of 0 / 0.
    for (double sum = -1.0; !(sum > 0.0);) {
        if (sum == 0.0) fprintf(out, "\nThe weights sum to 0: they are asked again.\n");
        snprintf(prompt, sizeof prompt, "Enter the variances' weights along each one of the %d dimensions: ",
                 run.rank);
        Ask(prompt);
        run.weights.assign(run.rank, 0.0);
        sum = 0.0;
        for (double& w : run.weights) sum += w = ScanNumber(in, Keyboard(), "-", 0, kLargestFloat);
    }
    Ask("Add noise to the generated sample? y/n ");
    if (ScanChar(in, "y n", Keyboard()) == 'y') {
        Ask("Enter the noise variance (noise will be normally distributed with zero mean and this specified "
            "variance): ");
        run.noise = ScanNumber(in, Keyboard(), "-", 0, DBL_MAX);
    }
}

// The results file and the population file a run named `name` creates.
std::vector<std::string> RunOutputs(const std::string& name) { return {name, "PopulationData_" + name}; }

// Asks the output name again while a file the run would create is the
// options file being read or the correlation matrix file (when named): the
// results would replace the user's input. False when `in` ends first.
bool KeepInputsFromOutput(StoppingRuleRun& run, const std::string& matrix) {
    for (;;) {
        std::string taken;
        const char* what = nullptr;
        for (const std::string& file : RunOutputs(run.name)) {
            if (IsOptionsFile(file))
                what = "the options being read";
            else if (!matrix.empty() && SameExistingFile(file, matrix))
                what = "the correlation matrix";
            if (what) {
                taken = file;
                break;
            }
        }
        if (!what) return true;
        fprintf(out, "\nFile %s holds %s: it cannot also store the output.\n", taken.c_str(), what);
        Ask("File name to store output: ");
        if (!NextWord(kNameLength, run.name)) return false;
    }
}

// Tables drawn with exact correlations, or as a whole population without
// noise, have variables centred on 0: no column total is positive, and
// correspondence analysis weighs each column by its total.
bool CentredTables(const StoppingRuleRun& run) { return run.n == run.N && (run.mode == 'c' || run.noise == 0.0); }

// Why the run cannot be carried out with the ordination chosen, told at once
// (with key O's lines where key O refuses the options); null when it can.
const char* AskOrdinationAndRules(StoppingRuleRun& run) {
    fprintf(out, "Ordination method:\n");
    fprintf(out, "\t%s\n\t%s\n \t%s\n ", MenuText(optOrdiTypeInfo, 1), MenuText(optOrdiTypeInfo, 2),
            MenuText(optOrdiTypeInfo, 3));
    fprintf(out, "\t\t%s: ", enterOpt);
    fflush(out);
    run.ordType = static_cast<int>(ScanNumber(in, "teclado", "1 2 3"));
    const char* refused = nullptr;
    if (!OrdinationSuitsOptions(run.ordType)) {
        refused = "The ordination method does not suit the transformation and resemblance measure";
    } else if (run.ordType == 3 && CentredTables(run)) {
        fprintf(out, "Correspondence analysis needs positive row and column totals, but every variable of a table "
                     "drawn %s sums to 0.\n",
                run.mode == 'c' ? "with exact correlations (n = N)" : "as the whole population without noise (n = N)");
        fputc(7, out);
        refused = "Correspondence analysis cannot be applied to these simulated tables";
    }
    fprintf(out, "\nTest criteria options:\n");
    for (const char* text : kRuleTexts) fprintf(out, "\t%s\n ", text);
    fprintf(out, "\nSpecify the test criteria to be considered (0/1):");
    fprintf(out, "\nTest criteria:\n");
    for (int k = 1; k <= kStoppingRules; k++) fprintf(out, "%d ", k);
    fprintf(out, "\n");
    fflush(out);
    for (bool& use : run.criteria) use = ScanNumber(in, Keyboard(), "0 1") == 1;
    return refused;
}

// One run's answers. False when `in` ended where the output name or the
// matrix file's name would be read. skipped names why the run cannot be
// carried out (the matrix file was refused, or the ordination does not suit
// the options or the tables): the remaining answers are read all the same,
// so that an options file stays in step.
bool AskRun(StoppingRuleRun& run, std::string& skipped) {
    fprintf(out, "\n\n\nGENERATING DATA plus ORDINATION:\nVersion %s\n", kVersion);
    Ask("File name to store output: ");
    if (!NextWord(kNameLength, run.name) || !KeepInputsFromOutput(run, "")) return false;
    // Each size allocates at the least the tables of one variable (the
    // sample's, the population's and their ordinations' scores), then the
    // p x p matrices.
    run.n = AskSize("Number of sampling units in the sample: ", 2, 2147483647.0, [](double n) { return 8 * 6 * n; });
    const double n = run.n;
    run.N = AskSize("Number of sampling units in the population: ", run.n, 2147483647.0,
                    [n](double N) { return 8 * (4 * n + 5 * N); });
    const double N = run.N;
    run.p = AskSize("Number of variables (p): ", 1, 2147483647.0,
                    [n, N](double p) { return 8 * (4 * n * p + 5 * N * p + 5 * p * p); });
    Ask("Do you wish to specify the correlation matrix (c) or the eigenvalues (e)? c/e ");
    run.mode = static_cast<char>(ScanChar(in, "c e", Keyboard()));
    skipped.clear();
    if (run.mode == 'c') {
        Ask("Name of the file with the input correlation matrix: ");
        std::string matrix;
        if (!NextWord(kMatrixNameLength, matrix)) return false;
        if (!ReadCorrelationMatrix(matrix, run.p, run.R)) skipped = "The correlation matrix could not be read";
        if (!KeepInputsFromOutput(run, matrix)) return false;
    } else {
        AskEigenvalues(run);
    }
    Ask("\nRandom numbers to be drawn from the following distribution:\n  (1) Uniform distribution\n  (2) Normal "
        "distribution\n  (5) Lognormal distribution\n  (7) Exponential distribution\n  (8) Cubed exponential "
        "distribution\n");
    run.code = static_cast<int>(ScanNumber(in, Keyboard(), "1 2 5 7 8"));

    // The menus offer what suits p quantitative variables.
    nVar = run.p;
    optVarTipo = 1;
    SetDataType(optTrEs, optTrVeVar, optTrVeUnits);
    SettingsDataTransformation();
    SetDataType(optTrEs, optTrVeVar, optTrVeUnits);
    SettingsResemblance();

    const char* refused = AskOrdinationAndRules(run);
    if (refused && skipped.empty()) skipped = refused;
    run.T = AskWhole("Number of tests (number of data sets generated): ", 1, 2147483647.0);
    Ask("Specify the alpha probability for the tests: ");
    run.alpha = ScanNumber(in, Keyboard(), "-", 0, 1);
    Ask("Save intermediate results obtained for each generated data set? y/n ");
    run.save = ScanChar(in, "y n", Keyboard()) == 'y';
    // The bootstrap's smallest sample, A + 1 units, must fit in n.
    run.A = AskWhole("Enter the maximum number of ordination principal axes to be monitored: ", 1,
                     std::min(run.p, run.n - 1));
    SetBootstrapOptions(run.n, run.A + 1, &run.initial, &run.step, &run.iterations, nullptr, &run.bootSave, 0,
                        nullptr);
    const double bytes = StoppingRuleRunBytes(run, optReseDir);
    if (!FitsInMemory(bytes) && skipped.empty()) {
        char text[160];
        snprintf(text, sizeof text, "The run would need %.0f MB of memory, more than the %.0f MB it may take on this "
                 "machine", bytes / 1048576, MemoryBudget() / 1048576);
        skipped = text;
    }
    return true;
}

// --- Output files ----------------------------------------------------------

void PrintRows(FILE* f, int rows, int cols, double** M) {
    for (int i = 0; i < rows; i++) {
        for (int j = 0; j < cols; j++) fprintf(f, "%g\t", NoNegativeZero(M[i][j]));
        fprintf(f, "\n");
    }
}

void PrintValues(FILE* f, int n, const double* x, const char* format) {
    for (int i = 0; i < n; i++) fprintf(f, format, x[i]);
}

// A row-after-row vector as a matrix.
void FillSquare(int p, const std::vector<double>& v, double** M) {
    for (int i = 0; i < p; i++)
        for (int j = 0; j < p; j++) M[i][j] = v[static_cast<size_t>(i) * p + j];
}

const char* DistributionText(const StoppingRuleRun& run) {
    // Exact correlations are drawn from normal or uniform deviates only.
    const int code = run.mode == 'c' && run.n == run.N && run.code != 2 ? 1 : run.code;
    switch (code) {
        case 1: return "uniform distribution.\n";
        case 2: return "normal distribution.\n";
        case 5: return "lognormal distribution.\n";
        case 7: return "Exponential distribution.\n";
        default: return "Cubed exponential distribution.\n";
    }
}

std::string TransformationText() {
    std::string s;
    if (optTrEs != 0) s = MenuText(optTrEsInfo, optTrEs);
    if (optTrVeVar != 0 || optTrVeUnits != 0) {
        if (!s.empty()) s += "; ";
        s += VectorTransformationText(optTrVeVar, optTrVeUnits);
    }
    return s.empty() ? "none" : s;
}

// --- One study -------------------------------------------------------------

// Correspondence analysis weighs rows and columns by their totals, as
// frequencies: it is defined for a table X (n x p) of values of at least 0
// with a positive total in every row and column. Positive totals alone would
// not do: the tests' permuted and resampled tables of a table with negative
// values can have totals of 0 or below.
const char* const kCorrespondenceNeeds = "it needs no negative value and a positive total in every row and column";
bool CorrespondenceDefined(int n, int p, double** X) {
    std::vector<bool> columnPositive(p, false);
    for (int i = 0; i < n; i++) {
        bool rowPositive = false;
        for (int j = 0; j < p; j++) {
            const double x = X[i][j];
            if (!(x >= 0.0) || !std::isfinite(x)) return false;
            if (x > 0.0) rowPositive = columnPositive[j] = true;
        }
        if (!rowPositive) return false;
    }
    return std::find(columnPositive.begin(), columnPositive.end(), false) == columnPositive.end();
}

// Ordinate's answer for a table whose correspondence analysis is undefined.
constexpr int kUndefinedCorrespondence = -1;

// The transformations, resemblance and ordination in force applied to X (n
// x p, transformed into `transformed`); the number of axes, 0 when the
// resemblance is refused or cannot be ordinated, kUndefinedCorrespondence
// when correspondence analysis is chosen and is undefined for X or for the
// table the double adjustment reads (whose totals the scores take).
int Ordinate(OrdinationWork& w, int n, int p, double** X, double** transformed) {
    for (int i = 0; i < n; i++) std::copy(X[i], X[i] + p, transformed[i]);
    ScopedMatrix<double> table(optOrdiType == 3 ? n : 0, p);
    if (optOrdiType == 3) {
        // The same steps in the same order (scalar, within variables, within
        // units), stopped before the double adjustment to look at its input.
        const bool byVariables = optTrVeVar == 6;
        DataTransformationsLib_D(n, p, transformed, optTrEs, byVariables ? 0 : optTrVeVar, 0, nClassesVar,
                                 nClassesUnits);
        if (!CorrespondenceDefined(n, p, X) || !CorrespondenceDefined(n, p, transformed))
            return kUndefinedCorrespondence;
        CopyMatrix(n, p, transformed, table);
        DataTransformationsLib_D(n, p, transformed, 0, byVariables ? 6 : 0, optTrVeUnits, nClassesVar,
                                 nClassesUnits);
    } else {
        DataTransformationsLib_D(n, p, transformed, optTrEs, optTrVeVar, optTrVeUnits, nClassesVar,
                                 nClassesUnits);
    }
    return w.Run(n, p, transformed, optOrdiType == 3 ? table.x : transformed, optReseDir, optReseTipo, 0, optReseTipo,
                 varType, alphaH, kParameter, countDoubleAbsence != 0, true);
}

// The work of one run, sized once.
struct Study {
    const StoppingRuleRun& run;
    const int n, p, A, steps;
    bool use[kStoppingRules];
    std::vector<double> targets;
    ScopedMatrix<double> R, X, transformed, popEvec, popCorr;
    OrdinationWork o;
    std::vector<double> popEig;
    // Per rule and axis (the bootstrap: per axis and size), the data sets
    // in which the axis was retained.
    std::vector<std::vector<double>> count;
    std::vector<double> bootCount;
    // Mode e: sums and sums of squares.
    std::vector<double> eigSum, eigSq, vecSum, vecSq;
    double zeroSum = 0, zeroSq = 0;
    // Data sets whose correspondence analysis is undefined: they are not
    // tested, and every proportion and mean is of the others.
    int untested = 0;
    int Tested() const { return run.T - untested; }
    // One data set's probabilities.
    std::vector<double> P[kStoppingRules], rvdim, bootP;

    Study(const StoppingRuleRun& r, int rows, int cols)
        : run(r), n(r.n), p(r.p), A(r.A), steps(CountSteps(r.n, r.initial, r.step)), targets(r.p, 0.0),
          R(r.p, r.p), X(r.n, r.p), transformed(r.n, r.p), popEvec(r.p, r.p), popCorr(r.p, r.p), o(rows, cols, r.ordType),
          popEig(r.p), count(kStoppingRules, std::vector<double>(r.A, 0.0)),
          bootCount(static_cast<size_t>(r.A) * steps, 0.0), eigSum(r.p), eigSq(r.p), vecSum(r.rank), vecSq(r.rank),
          rvdim(rows), bootP(static_cast<size_t>(r.A) * steps, 1.0) {
        std::copy(r.criteria, r.criteria + kStoppingRules, use);
        for (auto& v : P) v.assign(rows, 1.0);
        if (r.mode == 'c') FillSquare(p, r.R, R.x);
    }
};

void Header(FILE* f, const Study& s) {
    const StoppingRuleRun& run = s.run;
    fprintf(f, "ORDINATION STOPPING-RULES POWER EVALUATION WITH SIMULATED DATA\n");
    fprintf(f, "Version %s\n", kVersion);
    timer = time(nullptr);
    fprintf(f, "\n%s", ctime(&timer));
    fprintf(f, "\n\nSAMPLER\n");
    fprintf(f, "Bootstrap resampling\n");
    if (run.initial < run.n)
        fprintf(f, "Number of sampling units added at each sampling step: %d (starting with %d units at 1st step)\n",
                run.step, run.initial);
    fprintf(f, "\nSample sizes at %d sampling step(s):\t", s.steps);
    std::vector<int> sizes(s.steps);
    SampleSizes(run.n, run.initial, run.step, sizes.data());
    for (int size : sizes) fprintf(f, "%d\t", size);
    fprintf(f, "\n");
    fprintf(f, "Sample attribute: ordination stability\n");
    fprintf(f, "Considering up to %d ordination axes.\n", run.A);
}

// The target eigenvalues: mode e the weights, largest first, scaled to sum
// p; mode c those of R.
void Targets(Study& s) {
    const StoppingRuleRun& run = s.run;
    if (run.mode == 'c') {
        ScopedMatrix<double> copy(s.p, s.p), vectors(s.p, s.p);
        FillSquare(s.p, run.R, copy.x);
        EigenHouseholderQL_GSL_D(s.p, copy.x, vectors.x, s.targets.data());
        return;
    }
    std::vector<double> w = run.weights;
    std::sort(w.begin(), w.end(), std::greater<double>());
    double sum = 0.0;
    for (double x : w) sum += x;
    for (int k = 0; k < run.rank; k++) s.targets[k] = w[k] * s.p / sum;
}

void Draw(Study& s) {
    const StoppingRuleRun& run = s.run;
    if (run.mode == 'e')
        EigenToData_D_Noise(run.N, s.n, s.p, run.rank, s.targets.data(), s.X.x, s.popEig.data(), s.popEvec.x,
                            run.code, nullptr, s.popCorr.x, run.noise);
    else if (run.n == run.N)
        CorrToData(s.n, s.p, s.R.x, s.X.x, run.code);
    else
        CorrToData_New(s.n, s.p, s.R.x, s.X.x, run.code);
}

void ModeStatistics(Study& s, int K) {
    const int p = s.p, r = s.run.rank;
    for (int a = 0; a < std::min(K, p); a++) {
        const double x = s.o.eig[a] / p;
        s.eigSum[a] += x;
        s.eigSq[a] += x * x;
    }
    double z = 0.0;
    for (int a = r; a < K; a++) z += s.o.eig[a];
    z /= p;
    s.zeroSum += z;
    s.zeroSq += z * z;
    // Sample eigenvectors over the p variables exist only when the variables
    // were ordinated.
    if (optReseDir != 2) return;
    for (int a = 0; a < std::min(r, K); a++) {
        const double c = Correlation2Vec(p, s.popEvec[a], s.o.evectors[a]);
        s.vecSum[a] += std::fabs(c);
        s.vecSq[a] += c * c;
    }
}

void OrdinationBlock(FILE* f, const Study& s, int t, int K) {
    fprintf(f, "\nOrdination with simulated data set %d:\n", t);
    fprintf(f, "\nEigenvalues:\t");
    PrintValues(f, K, s.o.eig, "%.20g\t");
    fprintf(f, "\nScores:\n");
    const int w = s.o.Width();
    for (int a = 0; a < K; a++) {
        PrintValues(f, w, s.o.scores[a], "%g\t");
        fprintf(f, "\n\n");
    }
}

// The axes 1.. that hold in order, the first that fails ending the count.
void Retain(std::vector<double>& count, int judged, const std::function<bool(int)>& holds) {
    for (int a = 0; a < judged && holds(a); a++) count[a] += 1.0;
}

// Each rule applied to one data set of K axes.
void ApplyRules(Study& s, int t, int K) {
    const StoppingRuleRun& run = s.run;
    const std::string& file = run.name;
    const char* name = file.c_str();
    const int judged = std::min(s.A, K), p = s.p;
    const bool save = run.save;
    const double alpha = run.alpha;
    std::vector<double>* P = s.P;

    if (s.use[kBoot]) {
        std::fill(s.bootP.begin(), s.bootP.end(), 1.0);
        if (K > 0) {
            // Axes the data set lacks must not carry the scores of the one before.
            for (int a = K; a < s.A; a++) std::fill(s.o.scores[a], s.o.scores[a] + s.o.Width(), 0.0);
            StabilitySums sums;
            OrdinationStabilityRun(s.A, run.initial, run.step, run.iterations, run.bootSave, s.o.scores, sums);
            for (size_t c = 0; c < s.bootP.size(); c++)
                if (sums.defined[c] > 0) s.bootP[c] = static_cast<double>(sums.countP[c]) / sums.defined[c];
        }
        for (int st = 0; st < s.steps; st++) {
            int highest = -1;
            for (int a = 0; a < judged; a++)
                if (AtMost(s.bootP[static_cast<size_t>(a) * s.steps + st], alpha)) highest = a;
            for (int a = 0; a <= highest; a++) s.bootCount[static_cast<size_t>(a) * s.steps + st] += 1.0;
        }
        if (save)
            AppendTo(file, [&](FILE* f) {
                fprintf(f, "\nBootstrapped ordination probabilities with simulated data set %d:\n", t);
                for (int a = 0; a < s.A; a++) {
                    fprintf(f, "Axis %d, at %d sampling steps:\t", a + 1, s.steps);
                    PrintValues(f, s.steps, s.bootP.data() + static_cast<size_t>(a) * s.steps, "%g\t");
                    fprintf(f, "\n");
                }
                fprintf(f, "\n");
            });
    }
    if (s.use[kRvdim] && K > 0)
        RVDIMPermutation_D(s.n, p, K, run.iterations, s.transformed.x, s.o.evectors, s.o.scores,
                           s.o.eig, optOrdiType, optTrEs, optTrVeVar, optTrVeUnits, optReseDir, optReseTipo,
                           varType, alphaH, kParameter, countDoubleAbsence != 0, s.rvdim.data(), P[kRvdim].data(),
                           static_cast<char>(run.bootSave), sDigits);
    if ((s.use[kEig] || s.use[kPseudoF] || s.use[kAvgRnd]) && K > 0)
        EigenPermutation_D(s.n, p, nRows, nCols, K, run.iterations, s.X.x, nullptr, s.o.eig, optOrdiType,
                           optTrEs, optTrVeVar, optTrVeUnits, nClassesVar, nClassesUnits, optReseDir, optReseTipo,
                           varType, alphaH, kParameter, countDoubleAbsence != 0, P[kEig].data(), P[kPseudoF].data(),
                           P[kAvgRnd].data(), static_cast<char>(run.bootSave), sDigits);

    double total = 0.0;
    for (int a = 0; a < K; a++) total += s.o.eig[a];
    auto proportion = [&](int a) { return s.o.eig[a] / total; };
    const double D = K > 0 ? std::exp(EntropyVector(K, s.o.eig, 1.0)) : 0.0;
    for (int a = 0; a < judged; a++) {
        P[kBartlett][a] = Bartlett_uProb(K, a + 1, s.o.eig, s.n, K);
        P[kBroken][a] = BrokenStick(a + 1, p);
    }
    auto significant = [&](int rule, int a) {
        switch (rule) {
            case kGuttman1: return p * proportion(a) > 1.0;
            case kGuttman07: return p * proportion(a) > 0.7;
            case kHarbeck: return a + 1 < D;
            case kHarbeck1: return a + 1 < D - 1.0;
            case kBroken:
                return proportion(a) >= P[kBroken][a] || AlmostEqual2sComplement(proportion(a), P[kBroken][a], 1);
            default: return AtMost(P[rule][a], alpha);
        }
    };
    for (int rule = kRvdim; rule < kStoppingRules; rule++)
        if (s.use[rule]) Retain(s.count[rule], judged, [&](int a) { return significant(rule, a); });
    if (!save) return;

    // Each rule's line for each axis: the value it judged by (the two of the
    // RVDIM and Bartlett tests), under the second text where the axis fails.
    auto shown = [&](int rule, int a) {
        switch (rule) {
            case kGuttman1:
            case kGuttman07: return p * proportion(a);
            case kHarbeck: return D;
            case kHarbeck1: return D - 1.0;
            default: return P[rule][a];
        }
    };
    for (int rule = kRvdim; rule < kStoppingRules; rule++) {
        if (!s.use[rule]) continue;
        for (int a = 0; a < judged; a++) {
            const RuleLine& line = kRuleLines[rule];
            const char* text = line.failing && !significant(rule, a) ? line.failing : line.text;
            if (rule == kRvdim)
                Print2IntermediateResults(name, a + 1, text, s.rvdim[a], P[rule][a]);
            else if (rule == kBartlett)
                Print2IntermediateResults(name, a + 1, text, Bartlett_u(K, a + 1, s.o.eig, s.n, K), P[rule][a]);
            else
                PrintIntermediateResults(name, a + 1, text, shown(rule, a));
        }
        PrintAnyIntermediateMessage(name, "\n");
    }
}

// Mean and standard deviation over T data sets; a variance below 0 by
// rounding is 0.
double Mean(double sum, int T) { return sum / T; }
double Deviation(double sum, double squares, int T) {
    return std::sqrt(std::max(0.0, (squares - sum * sum / T) / T));
}

void FinalResults(FILE* f, const Study& s, unsigned long seed, double seconds) {
    const StoppingRuleRun& run = s.run;
    // Means and proportions are of the data sets tested.
    const int T = s.Tested(), p = s.p;
    fprintf(f, "\n\n\nFINAL RESULTS:\n");
    fprintf(f, "Number of sampling units in simulated data sets:\t %d\n", s.n);
    fprintf(f, "Number of variables:\t %d\n", p);
    if (run.mode == 'c') {
        fprintf(f, "\n\nSpecified correlation matrix:\n");
        PrintMatrixTab(f, p, p, s.R.x, 6);
        fprintf(f, "\nEigenvalues of specified correlation matrix:\t");
        PrintValues(f, p, s.targets.data(), "%g\t");
        fprintf(f, "\n");
    } else {
        const int r = run.rank;
        fprintf(f, "Specified  eigenvalues (proportions):\t");
        for (int a = 0; a < p; a++) fprintf(f, "%g\t", NoNegativeZero(s.targets[a] / p));
        fprintf(f, "\n\nCorrelation matrix of one generated population with the specified eigenvalues:\n");
        PrintMatrixTab(f, p, p, s.popCorr.x, 6);
        fprintf(f, "\nSpecified noise variance added to the data:\t%g", run.noise);
        if (T > 0) {
            fprintf(f, "\nMean of generated eigenvalues (proportions) in the %d samples:\t", T);
            for (int a = 0; a < p; a++) fprintf(f, "%g\t", NoNegativeZero(Mean(s.eigSum[a], T)));
            fprintf(f, "\nStandard deviations of generated eigenvalues (proportions) in the %d samples:\t", T);
            for (int a = 0; a < p; a++) fprintf(f, "%g\t", Deviation(s.eigSum[a], s.eigSq[a], T));
            fprintf(f,
                    "\nMean of the proportion of zero-specified eigenvalues that became non-zero in the %d samples due "
                    "to specified noise:\t%g",
                    T, Mean(s.zeroSum, T));
            fprintf(f,
                    "\nStandard deviation of the proportion of zero-specified eigenvalues that became non-zero in the "
                    "%d samples due to specified noise:\t%g",
                    T, Deviation(s.zeroSum, s.zeroSq, T));
            if (optReseDir == 2) {
                fprintf(f,
                        "\nMean of the %d absolute value correlation coefficents between eigenvectors in the "
                        "population data without noise, generated using the specified eigenvalues, and eigenvectors "
                        "found in the sample with specified noise:\t",
                        T);
                for (int a = 0; a < r; a++) fprintf(f, "%g\t", NoNegativeZero(Mean(s.vecSum[a], T)));
                fprintf(f,
                        "\nStandard deviation of the %d absolute value correlation coefficents between eigenvectors in "
                        "the population data, generated using the specified eigenvalues, and eigenvectors found in the "
                        "sample with specified noise:\t",
                        T);
                for (int a = 0; a < r; a++) fprintf(f, "%g\t", Deviation(s.vecSum[a], s.vecSq[a], T));
            }
        }
    }
    fprintf(f, "\nRandom numbers were drawn from a %s", DistributionText(run));
    fprintf(f, "\nData transformation:\t%s", TransformationText().c_str());
    fprintf(f, "\nNumber of simulated data sets (tests performed):\t %d\n", run.T);
    if (s.untested > 0) {
        fprintf(f,
                "Data sets not tested, their correspondence analysis being undefined (%s):\t %d\n",
                kCorrespondenceNeeds, s.untested);
        if (T > 0)
            fprintf(f, "The proportions below are of the %d data sets tested.\n", T);
        else
            fprintf(f, "No data set could be tested.\n");
    }
    for (int rule = 0; rule < kStoppingRules; rule++) {
        if (!s.use[rule] || T == 0) continue;
        fprintf(f, kFinalTitles[rule], run.alpha);
        for (int a = 0; a < s.A; a++) {
            if (rule == kBoot) {
                fprintf(f, "Axis %d, at increasing bootstrap sample sizes:\t", a + 1);
                for (int st = 0; st < s.steps; st++)
                    fprintf(f, "%g\t", s.bootCount[static_cast<size_t>(a) * s.steps + st] / T);
            } else {
                fprintf(f, "Axis %d:\t%g\t", a + 1, s.count[rule][a] / T);
            }
            fprintf(f, "\n");
        }
    }
    fprintf(f, "\nRandom number initializer: %lu\n", seed);
    fprintf(f, "Elapsed time: %g seconds\n", seconds);
}

// No line when no data set was tested: there is no proportion to give.
void SummaryLines(const Study& s) {
    if (s.Tested() == 0) return;
    for (int rule = 0; rule < kStoppingRules; rule++) {
        if (!s.use[rule]) continue;
        AppendTo(kSummaryFiles[rule], [&](FILE* f) {
            if (rule == kBoot)
                for (double c : s.bootCount) fprintf(f, "%g\t", c / s.Tested());
            else
                for (double c : s.count[rule]) fprintf(f, "%g\t", c / s.Tested());
            fprintf(f, "\t%s\n", s.run.name.c_str());
        });
    }
}

// A population of N units with the run's target eigenvalues, ordinated with
// the options in force.
void PopulationFile(Study& s) {
    const StoppingRuleRun& run = s.run;
    const int N = run.N, p = s.p;
    ScopedMatrix<double> population(N, p), sample(s.n, p), transformed(N, p);
    std::vector<double> eigOut(p);
    EigenToData_D(N, s.n, p, run.mode == 'e' ? run.rank : p, s.targets.data(), sample.x, eigOut.data(),
                  run.code, population.x, s.popCorr.x);
    const std::string name = "PopulationData_" + run.name;
    FILE* f = fopenck(name.c_str(), nullptr, "w");
    if (!f) return;
    PrintMatrixTab(f, N, p, population.x, sDigits);
    fprintf(f, "\n%s\n", run.name.c_str());
    fprintf(f, "Specified eigenvalues for generating this data set:\t");
    PrintVectorTab(f, p, s.targets.data(), sDigits);
    fprintf(f, "\n");
    OrdinationWork o(optReseDir == 2 ? p : N, optReseDir == 2 ? N : p, optOrdiType);
    const int K = Ordinate(o, N, p, population.x, transformed.x);
    fprintf(f, "Ordination with population data matrix generated according to the specified eigenvalues:\n");
    if (K == kUndefinedCorrespondence) {
        fprintf(f, "Correspondence analysis of this population is undefined (%s).\n", kCorrespondenceNeeds);
    } else {
        fprintf(f, "Eigenvalues:\t");
        PrintValues(f, K, o.eig, "%.20g\t");
    }
    fcloseck(f, name.c_str());
}

}  // namespace

int PrintIntermediateResults(const char* file, int axis, const char* text, double value) {
    return AppendTo(file, [&](FILE* f) { fprintf(f, "%s for axis %d:\t%g\n", text, axis, NoNegativeZero(value)); })
               ? 1
               : 0;
}

int Print2IntermediateResults(const char* file, int axis, const char* text, double first, double second) {
    return AppendTo(file, [&](FILE* f) {
               fprintf(f, "%s for axis %d:\t%g\t%g\n", text, axis, NoNegativeZero(first), NoNegativeZero(second));
           })
               ? 1
               : 0;
}

int PrintAnyIntermediateMessage(const char* file, const char* text) {
    return AppendTo(file, [&](FILE* f) { fputs(text, f); }) ? 1 : 0;
}

bool RunStoppingRuleStudy(const StoppingRuleRun& run, unsigned long seed) {
    KeptDataSet kept;
    const int n = run.n, p = run.p;
    std::vector<int> types(p, 3);
    ScopedMatrix<double> original(n, p);
    nObj = n;
    nVar = p;
    optVarTipo = 1;
    varType = types.data();
    dataOrig = original.x;
    optOrdiType = run.ordType;
    optPostReseTransf = 0;
    nRows = optReseDir == 2 ? p : n;
    nCols = optReseDir == 2 ? n : p;
    SetDataType(optTrEs, optTrVeVar, optTrVeUnits);

    Study s(run, nRows, nCols);
    std::string notApplied;
    if (s.use[kBoot] && !UnitScores(optReseDir, optOrdiType)) {
        s.use[kBoot] = false;
        notApplied += "\nCriterion (1) compares the scores of sampling units: it needs principal coordinates of "
                      "sampling units, or principal components or correspondence analysis of variables, and is not "
                      "applied in this run.\n";
    }
    if (s.use[kRvdim] && !(optReseDir == 2 && optOrdiType == 2)) {
        s.use[kRvdim] = false;
        notApplied += "\nCriterion (2) needs principal components of variables and is not applied in this run.\n";
    }
    fprintf(out, "%s", notApplied.c_str());
    FILE* f = fopenck(run.name.c_str(), nullptr, "w");
    if (!f) {
        fprintf(out, "\nThe results file %s cannot be created: this run is skipped.\n", run.name.c_str());
        return false;
    }
    Header(f, s);
    fputs(notApplied.c_str(), f);
    fcloseck(f, run.name.c_str());
    const double start = difftime_Clock_Init();
    Targets(s);

    for (int t = 1; t <= run.T; t++) {
        char progress[64];
        snprintf(progress, sizeof progress, "Simulated data: %d %d", run.T, t);
        HandleEventInfoWhere2(progress);
        Draw(s);
        if (run.save)
            AppendTo(run.name, [&](FILE* g) {
                fprintf(g, "\n\nSimulated data set %d (units in rows):\n", t);
                PrintRows(g, n, p, s.X.x);
            });
        for (int i = 0; i < n; i++) std::copy(s.X[i], s.X[i] + p, dataOrig[i]);
        const int K = Ordinate(s.o, n, p, s.X.x, s.transformed.x);
        if (K == kUndefinedCorrespondence) {
            s.untested++;
            if (run.save)
                AppendTo(run.name, [&](FILE* g) {
                    fprintf(g, "\nCorrespondence analysis of simulated data set %d is undefined (%s): the data set is "
                               "not tested.\n",
                            t, kCorrespondenceNeeds);
                });
            continue;
        }
        if (run.mode == 'e') ModeStatistics(s, K);
        if (run.save) AppendTo(run.name, [&](FILE* g) { OrdinationBlock(g, s, t, K); });
        ApplyRules(s, t, K);
    }
    ClearLine();
    if (s.untested > 0)
        fprintf(out,
                "\nCorrespondence analysis was undefined for %d of the %d data sets of run %s (%s): they were not "
                "tested%s.\n",
                s.untested, run.T, run.name.c_str(), kCorrespondenceNeeds,
                s.Tested() == 0 ? ", and no line is added to the summary files" : "");
    const double seconds = difftime_Clock(start);
    AppendTo(run.name, [&](FILE* g) { FinalResults(g, s, seed, seconds); });
    SummaryLines(s);
    PopulationFile(s);
    return true;
}

int RandomDataGenerator() {
    KeptDataSet kept;
    InitIFLibG();
    Initialize();
    fprintf(out, "\n\n\nGENERATING DATA plus ORDINATION AXES TESTS:\nVersion %s\n", kVersion);
    const unsigned long seed = StartGeneratorRun();

    for (;;) {
        StoppingRuleRun run;
        std::string skipped;
        if (!AskRun(run, skipped)) break;
        if (skipped.empty())
            RunStoppingRuleStudy(run, seed);
        else
            fprintf(out, "\n%s: run %s is skipped.\n", skipped.c_str(), run.name.c_str());
    }
    // A finished batch hands the menu back to the keyboard.
    if (in != stdin) {
        fclose(in);
        in = stdin;
    }
    return 1;
}
