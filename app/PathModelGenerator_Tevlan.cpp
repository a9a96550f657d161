#include "PathModelGenerator_Tevlan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>

#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "RandomDataGenOrdination_Tevlan.h"
#include "SimulationPrompts.h"
#include "iflibG.h"
#include "rhlibDim.h"
#include "rhlibOut.h"
#include "rhlibRes_M.h"
#include "rhlib_M.h"

const double kPathLevelValues[kPathLevels] = {0.05, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9};

namespace {

const char* const kVersion = "20Oct2017";
const char* const kTitle = "\n\n\nGENERATING PATH MODEL AND ASSESSING VALIDITY TEST ACCURACY:";

const ClaimTexts kClaimTexts = {
    "\nSpecify the variable (or variable block) pair compared in the partial correlation of order zero to %d: ",
    "\nVariables or blocks of variables: ",
    "\nSpecify which (0/1): ",
    "\nError! Please specify two variables or blocks of variables. Try again.\n",
    "Specify the order of the partial correlation (number of covariables or blocks of covariables, zero to %d): ",
    "\nVariables or blocks of variables:                 ",
    "\nSpecify covariables or blocks of covariables (0/1): ",
    "\nError! Please specify %d covariables or blocks of covariables. Try again.\n",
    "\nError! A covariable cannot be one of the variables or blocks of the pair. Try again.\n"};

// How each criterion is named: in the saved permutations (after
// "\tResemblance measure: ") and in the final results.
struct CriterionTexts {
    const char* permutations;
    const char* results;
};
const CriterionTexts kCriterionTexts[4] = {
    {"\tResemblance measure: Procrustes correlation\n", "(1) Procrustes correlation\n"},
    {"\tResemblance measure: Mantel correlation\n", "(2) Mantel correlation\n"},
    {"\tResemblance measure: RV (Varnholt 1973, computed from squared distances according to Yarrick & Brodnek "
     "2013)\n",
     "(3) RV coefficient (Varnholt 1973, computed from squared distances according to Yarrick & Brodnek 2013)\n"},
    {"\tResemblance measure: Rd coefficient according to Yarrick & Brodnek (2013)\n",
     "(3) Rd coefficient (Yarrick & Brodnek 2013)\n"}};

const char* DeviatesText(int code) {
    switch (code) {
        case kUniformDeviates: return "uniform distribution.\n";
        case kNormalDeviates: return "normal distribution.\n";
        case kNegativeBinomialDeviates: return "negative binomial distribution.\n";
        case kLognormalDeviates: return "lognormal distribution.\n";
        case kExponentialDeviates: return "Exponential distribution.\n";
        default: return "Cubed exponential distribution.\n";
    }
}

// The generator's texts exist in English only: the shared dialogues it runs
// speak English while it runs, whatever the preferences say.
class EnglishRun {
public:
    EnglishRun() : port_(port), eng_(eng) {
        port = 0;
        eng = 1;
        Initialize();
    }
    ~EnglishRun() {
        port = port_;
        eng = eng_;
        Initialize();
    }
    EnglishRun(const EnglishRun&) = delete;
    EnglishRun& operator=(const EnglishRun&) = delete;

private:
    int port_, eng_;
};

std::vector<const char*> Pointers(const std::vector<std::string>& texts) {
    std::vector<const char*> p;
    for (const std::string& s : texts) p.push_back(s.c_str());
    return p;
}

std::vector<std::string> NumberLabels(int count) {
    std::vector<std::string> labels;
    for (int a = 1; a <= count; a++) labels.push_back(std::to_string(a));
    return labels;
}

double Deviate(int code, double probability) {
    switch (code) {
        case kUniformDeviates: return gsl_rng_uniform(r) - 0.5;
        case kNormalDeviates: return gsl_ran_gaussian(r, 1.0);
        case kNegativeBinomialDeviates: return static_cast<double>(gsl_ran_negative_binomial(r, probability, 5.0));
        case kLognormalDeviates: return gsl_ran_lognormal(r, 0.0, 1.0);
        case kExponentialDeviates: return gsl_ran_exponential(r, 1.0);
        default: {
            const double e = gsl_ran_exponential(r, 1.0);
            return e * e * e;
        }
    }
}

// --- The tests ---------------------------------------------------------------

bool FiniteTable(int n, int p, double** X) {
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++)
            if (!std::isfinite(X[i][j])) return false;
    return true;
}

double Procrustes(int n, int p, int q, double** X, double** Y) { return ProcrustesCoeff(n, p, q, X, Y); }

// The nodes of one simulated data set under the study's criterion: the
// block tables, and for criteria 2 to 4 one resemblance matrix per block (in
// the study's matrices) with the nodes that compare them.
struct DataSetNodes {
    DataSetNodes(const PathModelStudy& s, double** X, const std::vector<double**>& matrices, bool saved)
        : tables(s.n, X, s.sizes, s.criterion == kProcrustesCriterion ? Procrustes : nullptr) {
        if (s.criterion == kProcrustesCriterion) {
            nodes = &tables;
            return;
        }
        for (size_t a = 0; a < matrices.size(); a++)
            ResemblanceLib(s.n, s.sizes[a], tables.Table(static_cast<int>(a)), matrices[a], optReseDir, optReseTipo,
                           optPostReseTransf, nullptr, alphaH, kParameter, countDoubleAbsence, false);
        if (s.criterion == kMantelCriterion || saved) resemblances.reset(new ResemblanceNodes(s.n, matrices));
        if (s.criterion == kMantelCriterion) {
            nodes = resemblances.get();
            return;
        }
        centred.reset(new CentredResemblanceNodes(s.n, matrices, s.criterion == kRVCriterion));
        nodes = centred.get();
    }

    BlockTableNodes tables;
    std::unique_ptr<ResemblanceNodes> resemblances;  // Mantel, and the saved permutations' matrices
    std::unique_ptr<CentredResemblanceNodes> centred;
    PathNodes* nodes = nullptr;
};

// The result of one test, with the first save answer.
void PrintTestResult(FILE* f, const PathModelStudy& s, const char* const* labels, const double* rObs, const double* P,
                     int none, double C, double Q) {
    fprintf(f, "\n\n%s\n", line);
    fprintf(f, "PATH ANALYSIS");
    fprintf(f, "\n%s\n", line);
    fprintf(f, "%s", ctime(&timer));
    fprintf(f, "TEVLAN %s\n", versao);
    PrintNumberOfPermutations(f, s.nPerm);
    ShowStatus(f);
    PrintNullModel(f, s.nullModel);
    fprintf(f, "\nResults for the specified (partial) Procrustes correlations:");
    for (size_t c = 0; c < s.claims.size(); c++) {
        fprintf(f, "\nCorrelation r =\t%s\tP-value =\t%s\t", CorrelationText(rObs[c]).c_str(),
                ProbabilityText(P[c], 6).c_str());
        PrintClaim(f, s.claims[c], labels, "Variable block pair:\t%s\t%s", "\tCovariable(s) block:\t");
    }
    PrintUncomputedPartials(f, none, s.nPerm - 1);
    fprintf(f,
            "\nFisher's C statistics (Granvik 2000):\t%s\tP-value chi-square distribution with %d degrees of "
            "freedom =\t%s\n",
            ValueText(C).c_str(), 2 * static_cast<int>(s.claims.size()), ProbabilityText(Q, 6).c_str());
}

void PrintFinalResults(FILE* f, const PathModelStudy& s, const char* const* labels, const PathModelTally& tally,
                       unsigned long seed) {
    fprintf(f, "\n\n\nFINAL RESULTS:\n");
    fprintf(f, "Number of sampling units in simulated data sets:\t %d\n", s.n);
    fprintf(f, "Number of variables:\t %d\n", s.p);
    fprintf(f, "\n\nSpecified path coefficient matrix:\n");
    {
        ScopedMatrix<double> B(s.p, s.p);
        for (int k = 0; k < s.p; k++)
            for (int j = 0; j < s.p; j++) B[k][j] = s.B[static_cast<size_t>(k) * s.p + j];
        PrintMatrixTab(f, s.p, s.p, B, 6);
    }
    fprintf(f, "\nRandom numbers were drawn from a %s", DeviatesText(s.deviates));
    fprintf(f, "\nPATH ANALYSIS");
    fprintf(f, "\n%s\n", line);
    TimeStamp(f);
    fprintf(f, "TEVLAN %s\n", versao);
    PrintNumberOfPermutations(f, s.nPerm);
    PrintNullModel(f, s.nullModel);
    fprintf(f, "Number of simulated data sets (tests performed):\t %d\n", s.tests);
    fprintf(f, "Test criterion:\t%s", kCriterionTexts[s.criterion - 1].results);
    fprintf(f, "\nBasis set:");
    for (const PathClaim& c : s.claims)
        PrintClaim(f, c, labels, "\nVariable pair (blocks):\t%s\t%s", "\tCovariable(s) (blocks):\t");
    fprintf(f, "\nProportion of tests that found the specified path model valid at alpha probabilities ranging from "
               "0.05 to 0.9:\t");
    for (int l = 0; l < kPathLevels; l++) {
        if (tally.defined > 0)
            fprintf(f, "%g\t", static_cast<double>(tally.counts[l]) / tally.defined);
        else
            fprintf(f, "%s\t", NotTestable());
    }
    if (tally.undefined > 0)
        fprintf(f,
                "\nTests left out of the proportions (a claim's observed partial correlation was not finite):\t %d",
                tally.undefined);
    if (tally.notFinite > 0)
        fprintf(f, "\nData sets left out of the proportions (simulated values not finite, not tested):\t %d",
                tally.notFinite);
    const long long tested = tally.defined + tally.undefined;
    PrintUncomputedPartials(f, tally.uncomputed, tested * (s.nPerm - 1));
    fprintf(f, "\nRandom number initializer: %lu\n", seed);
}

// --- The dialogue ------------------------------------------------------------

using namespace simulation_prompts;

int AskKey(const char* prompt, const char* keys) {
    Ask(prompt);
    return ScanChar(in, keys, Keyboard());
}

// Creates the output file empty; false after a message when it cannot be,
// or when it is the options file `in` reads or the path-coefficient file:
// creating it empty would destroy the user's input.
bool CreateOutput(const std::string& name, const std::string& coefficients) {
    if (IsOptionsFile(name)) {
        fprintf(out, "\nFile %s holds the options being read: it cannot also store the output.\n", name.c_str());
        return false;
    }
    if (SameExistingFile(name, coefficients)) {
        fprintf(out, "\nFile %s holds the path coefficients: it cannot also store the output.\n", name.c_str());
        return false;
    }
    FILE* f = fopenck(name.c_str(), nullptr, "w");
    return f && fcloseck(f, name.c_str());
}

// B row by row, then the p levels; false after a message when the file
// cannot be opened, ends before the last level (a row short would make the
// levels a row of B, an empty file a model of zeros), or holds a field that
// is not a number or a level that is not a whole number. A file too short
// for p x p + p numbers is refused before room is made for them.
bool ReadPathCoefficients(const std::string& name, PathModelStudy& s) {
    const size_t p = static_cast<size_t>(s.p), cells = p * p;
    FILE* f = fopenck(name.c_str(), nullptr, "r");
    if (!f) return false;
    // A file too short to hold them all is read through for the first
    // fault, but nothing is stored.
    const bool room = static_cast<double>(cells + p) <= MostNumbersIn(f);
    if (room) {
        s.B.assign(cells, 0.0);
        s.levels.assign(p, 0);
    }
    bool ok = room;
    for (size_t k = 0; k < cells + p; k++) {
        double x;
        char token[kTokenShown];
        const int read = ReadNumberToken(f, &x, token, sizeof token, name.c_str());
        if (read == tokenEnd) {
            fprintf(out,
                    "\nFile %s was not read: it ends after %zu numbers, and the %zu x %zu path coefficients and the "
                    "%zu levels need %zu.\n",
                    name.c_str(), k, p, p, p, cells + p);
            ok = false;
            break;
        }
        char place[80];
        if (k < cells)
            snprintf(place, sizeof place, "row %zu, column %zu", k / p + 1, k % p + 1);
        else
            snprintf(place, sizeof place, "the level of variable %zu", k - cells + 1);
        if (read == tokenNotNumber) {
            NotANumberMessage(out, true, name.c_str(), place, token);
            ok = false;
            break;
        }
        if (k < cells) {
            if (room) s.B[k] = x;
        } else if (x == std::trunc(x) && std::fabs(x) <= 2147483647.0) {
            if (room) s.levels[k - cells] = static_cast<int>(x);
        } else {
            fprintf(out, "\nFile %s was not read: the value for %s is %.17g, which is not a whole number.\n",
                    name.c_str(), place, x);
            ok = false;
            break;
        }
    }
    fclose(f);
    return ok;
}

// What a study allocates at the most at once, in bytes: the coefficients
// and their printed copy, a simulated table and its blocks, the node
// matrices, and for criteria 2 to 4 each block's resemblance matrix with
// its centred copy (and one more for the centring).
double PathModelStudyBytes(const PathModelStudy& s) {
    const double p = s.p, n = s.n, b = static_cast<double>(s.sizes.size());
    const double resemblances = s.criterion == kProcrustesCriterion ? 0 : (2 * b + 1) * n * n;
    return 8 * (2 * p * p + 2 * n * p + 2 * b * b + resemblances) + 4 * (b + 2) * n;
}

// The study's answers, in the order the options file holds them. Every
// answer is read even when an earlier one makes the study impossible, so
// that the file stays in step; the reason is then left in refusal. The
// output is created once every answer is read, so that no file read on the
// way (the path coefficients, a group file) has been emptied by then.
void AskStudy(PathModelStudy& s, std::string& refusal) {
    Ask("File name to store output: ");
    s.output = AskWord(99);
    // The path coefficients and their printed copy, and a table of the
    // smallest sample.
    s.p = AskSize("Number of variables: ", 2, 2147483647.0, [](double p) { return 8 * (2 * p * p + 3 * p); });
    AskWhole("Number of sampling units in the population: ", 0, 2147483647.0);
    const double p = s.p;
    s.n = AskSize("Number of sampling units in the sample: ", 3, 2147483647.0,
                  [p](double n) { return 8 * (2 * p * p + n * p) + 4 * 2 * n; });
    Ask("Specify the name of the file with the specified path coefficients: ");
    const std::string coefficients = AskWord(99);
    if (!ReadPathCoefficients(coefficients, s) && refusal.empty())
        refusal = "the path coefficients could not be read from file " + coefficients + ".";

    Ask("\nRandom numbers to be drawn from the following distribution:\n  (1) Uniform distribution\n  (2) Normal "
        "distribution\n  (4) Negative Binomial distribution\n  (5) Lognormal distribution\n  (7) Exponential "
        "distribution\n  (8) Cubed exponential distribution\nEnter option: ");
    s.deviates = static_cast<int>(ScanNumber(in, Keyboard(), "1 2 4 5 7 8"));
    if (s.deviates == kNegativeBinomialDeviates) {
        Ask("\nProbability parameter p in the interval (0, 1] for negative binomial distribution for variable (the "
            "smaller the more contagious the distribution, i.e., Variance = mu/p");
        s.probabilities.resize(s.p);
        for (double& q : s.probabilities) q = ScanNumber(in, Keyboard(), "-", 1e-7, 0.999);
    }
    Ask("\nTest criterion:\n  (1) Procrustes\n  (2) Mantel\n  (3) RV\n  (4) Rd\nEnter option: ");
    s.criterion = static_cast<int>(ScanNumber(in, Keyboard(), "1 2 3 4"));
    s.tests = AskWhole("Number of tests (number of data sets generated): ", 1, 2147483647.0);
    s.saveDataSets = AskKey("Save intermediate results obtained for each generated data set? y/n ", "y n") == 'y';

    fprintf(out,
            "Perform path analysis based on: \n\t(1) the original %d variables (univariate analysis)\n\t(2) specified "
            "blocks of variables (partitioning the original data matrix)\n\t\tEnter option: ",
            s.p);
    fflush(out);
    const int road = static_cast<int>(ScanNumber(in, Keyboard(), "1 2"));
    Ask("Null model for testing partial correlations: \n\t(1) permute all variables (or blocks of variables) at "
        "once\n\t(2) permute only the first variable (or block of variables) for testing each d-separation statement "
        "(Tessop et al. 1986)\n\t\tEnter option: ");
    s.nullModel = static_cast<int>(ScanNumber(in, Keyboard(), "1 2"));
    s.nPerm = AskNumberOfPermutations();
    s.nestGroups.assign(s.n, 0);
    s.bundleGroups.assign(s.n, 0);
    SetPermutationRestrictions(s.n, &s.restriction, &s.dim, &s.nested, s.nestGroups.data(), &s.bundled,
                               s.bundleGroups.data());
    s.savePermutations = AskKey("Save intermediate results of the data generation algorithm? y/n ", "y n") == 'y';

    s.sizes = road == 2 ? AskBlocks(s.p) : std::vector<int>(s.p, 1);
    const std::vector<std::string> labels = NumberLabels(static_cast<int>(s.sizes.size()));
    s.claims = AskBasisSet(static_cast<int>(s.sizes.size()), Pointers(labels).data(), kClaimTexts);

    const double bytes = PathModelStudyBytes(s);
    if (!FitsInMemory(bytes) && refusal.empty()) {
        char text[256];
        snprintf(text, sizeof text,
                 "the study would need %.0f MB of memory, more than the %.0f MB it may take on this machine.",
                 bytes / 1048576, MemoryBudget() / 1048576);
        refusal = text;
    }
    if ((s.nested || s.bundled) &&
        !CheckNestedDesign(s.n, s.nested, s.nestGroups.data(), s.bundled, s.bundleGroups.data(), false, false,
                           nullptr) &&
        refusal.empty())
        refusal = "the permutation restrictions cannot permute the sampling units.";
    if (!CreateOutput(s.output, coefficients)) refusal = "the output file " + s.output + " could not be created.";
}

}  // namespace

// ===========================================================================
// Simulated data
// ===========================================================================

void DrawPathModelData(int n, int p, const double* B, const int* levels, int deviates, const double* probabilities,
                       double** X) {
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) X[i][j] = Deviate(deviates, probabilities ? probabilities[j] : 0.5);
    std::vector<int> order;
    for (int j = 0; j < p; j++)
        if (levels[j] > 0) order.push_back(j);
    std::stable_sort(order.begin(), order.end(), [levels](int a, int b) { return levels[a] < levels[b]; });
    for (int j : order)
        for (int i = 0; i < n; i++) {
            double x = X[i][j];
            for (int k = 0; k < p; k++)
                if (k != j) x += B[static_cast<size_t>(k) * p + j] * X[i][k];
            X[i][j] = x;
        }
}

// ===========================================================================
// RV and Rd nodes
// ===========================================================================

CentredResemblanceNodes::CentredResemblanceNodes(int n, const std::vector<double**>& matrices, bool squared)
    : n_(n) {
    ScopedMatrix<double> G(n, n);
    const size_t cells = static_cast<size_t>(n) * n;
    for (double** D : matrices) {
        GowerMatrixCentering(n, D, G, squared);
        // Double centring leaves a mean of 0 but for rounding; taking it out
        // gives the Pearson correlation of the cells exactly as defined.
        double sum = 0.0;
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) sum += G[i][j];
        const double mean = cells > 0 ? sum / static_cast<double>(cells) : 0.0;
        std::vector<double> c(cells);
        double q = 0.0;
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) {
                const double d = G[i][j] - mean;
                c[static_cast<size_t>(i) * n + j] = d;
                q += d * d;
            }
        centred_.push_back(std::move(c));
        sumSquares_.push_back(q);
    }
}

void CentredResemblanceNodes::NodeMatrix(const int* const* lists, double** M) {
    const int b = Nodes();
    for (int a = 0; a < b; a++) {
        M[a][a] = 1.0;
        for (int c = a + 1; c < b; c++)
            M[a][c] = M[c][a] = Pair(a, c, lists ? lists[a] : nullptr, lists ? lists[c] : nullptr);
    }
}

double CentredResemblanceNodes::Pair(int a, int c, const int* la, const int* lc) const {
    const int n = n_;
    if (!(sumSquares_[a] > 0.0) || !(sumSquares_[c] > 0.0)) return 0.0;
    const double* A = centred_[a].data();
    const double* C = centred_[c].data();
    // Both matrices are symmetric: the diagonal once, each pair above it
    // twice.
    double diagonal = 0.0, above = 0.0;
    for (int u = 0; u < n; u++) {
        const int iu = la ? la[u] - 1 : u, ju = lc ? lc[u] - 1 : u;
        const double* rowA = A + static_cast<size_t>(iu) * n;
        const double* rowC = C + static_cast<size_t>(ju) * n;
        diagonal += rowA[iu] * rowC[ju];
        above += GatheredDot(rowA, rowC, la, lc, u + 1, n);
    }
    return (diagonal + 2.0 * above) / std::sqrt(sumSquares_[a] * sumSquares_[c]);
}

void CentredResemblanceNodes::FirstNodeMatrix(int first, const int* list, double** observed, double** M) {
    const int* identity = Identity();
    FirstRow(Nodes(), first, observed, M, [&](int c) {
        const int a = std::min(first, c), d = std::max(first, c);
        return Pair(a, d, a == first ? list : identity, d == first ? list : identity);
    });
}

// ===========================================================================
// The study
// ===========================================================================

void TallyTest(double Q, PathModelTally& tally) {
    if (!std::isfinite(Q)) {
        tally.undefined++;
        return;
    }
    tally.defined++;
    // With one claim Q is its P through a logarithm and an exponential, a
    // unit or two in the last place away from the count over N it stands
    // for: a level is met by the permutation tests' tie rule.
    for (int l = 0; l < kPathLevels; l++)
        if (Q > kPathLevelValues[l] && !AlmostEqual2sComplement(Q, kPathLevelValues[l], 1)) tally.counts[l]++;
}

PathModelTally RunPathModelStudy(const PathModelStudy& s, unsigned long seed) {
    std::unique_ptr<ForcedResemblanceOptions> forced;
    if (s.criterion != kProcrustesCriterion) forced.reset(new ForcedResemblanceOptions(1, 3, 0));
    const int n = s.n, p = s.p, b = static_cast<int>(s.sizes.size()), k = static_cast<int>(s.claims.size());
    const std::vector<std::string> labelTexts = NumberLabels(b);
    const std::vector<const char*> labels = Pointers(labelTexts);

    char lead[64];
    PermutationDesign design;
    design.nPerm = s.nPerm;
    design.restriction = s.restriction;
    design.dim = s.dim;
    design.nested = s.nested;
    design.nestGroups = s.nestGroups.empty() ? nullptr : s.nestGroups.data();
    design.bundled = s.bundled;
    design.bundleGroups = s.bundleGroups.empty() ? nullptr : s.bundleGroups.data();
    design.progressLead = lead;

    ScopedMatrix<double> X(n, p), observed(b, b);
    std::vector<std::unique_ptr<ScopedMatrix<double>>> owned;
    std::vector<double**> matrices;
    if (s.criterion != kProcrustesCriterion)
        for (int a = 0; a < b; a++) {
            owned.emplace_back(new ScopedMatrix<double>(n, n));
            matrices.push_back(*owned.back());
        }
    std::vector<double> rObs(k), P(k);
    PathModelTally tally;

    for (int t = 1; t <= s.tests; t++) {
        snprintf(lead, sizeof lead, "Simulated data: %d %d", s.tests, t);
        HandleEventInfoWhere2(lead);
        DrawPathModelData(n, p, s.B.data(), s.levels.data(), s.deviates,
                          s.probabilities.empty() ? nullptr : s.probabilities.data(), X);
        if (s.saveDataSets)
            AppendTo(s.output, [&](FILE* f) {
                fprintf(f, "\n\nSimulated data set %d (units in rows):\n", t);
                PrintMatrixTab(f, n, p, X, 6);
            });
        // Paths large enough to overflow leave values that are not finite,
        // of which no statistic means anything: such a set is not tested.
        if (!FiniteTable(n, p, X)) {
            tally.notFinite++;
            if (s.saveDataSets)
                AppendTo(s.output, [&](FILE* f) {
                    fprintf(f, "\n\nSimulated data set %d holds values that are not finite: it is not tested.\n", t);
                });
            continue;
        }
        DataSetNodes d(s, X, matrices, s.savePermutations);
        d.nodes->NodeMatrix(nullptr, observed);
        if (s.saveDataSets)
            AppendTo(s.output, [&](FILE* f) {
                fprintf(f, "\n\nPairwise correlations between %d variables (or blocks of variables):\n", b);
                PrintMatrixTab(f, b, b, observed, 6);
                fprintf(f, "\n");
            });

        timer = time(nullptr);
        FILE* dump = s.savePermutations ? fopenck(s.output.c_str(), nullptr, "a") : nullptr;
        BasisSetNodes view{s.criterion == kProcrustesCriterion ? NodeKind::Procrustes : NodeKind::Mantel, d.nodes,
                           labels};
        view.blocks = &d.tables;
        view.resemblances = d.resemblances.get();
        view.criterionLine = kCriterionTexts[s.criterion - 1].permutations;
        view.firstNodeHeading = "\nCorrelation matrix permuted according to Tessop et al. (1986) for testing "
                                "independence for variable block pair:\t%s\t%s";
        view.randomHeading = "\nCorrelation matrix with permuted blocks:";
        std::unique_ptr<BasisSetDump> observer;
        if (dump) {
            for (int c = 0; c < k; c++)
                rObs[c] = PartialCorrelation_GeneralProc(b, observed, s.claims[c].first, s.claims[c].second,
                                                         static_cast<int>(s.claims[c].covariables.size()),
                                                         const_cast<int*>(s.claims[c].covariables.data()));
            BasisSetDumpHeader(dump, view, s.claims, observed, rObs.data(), s.nPerm);
            observer.reset(new BasisSetDump(dump, view, s.claims, observed, s.nullModel));
        }
        const int none = PermutationTestOfClaims(*d.nodes, observed, s.claims, s.nullModel, design, rObs.data(),
                                                 P.data(), observer.get());
        tally.uncomputed += none;
        observer.reset();
        if (dump) fcloseck(dump, s.output.c_str());

        double C = 0.0, Q = 0.0;
        FisherC(k, P.data(), &C, &Q);
        TallyTest(Q, tally);
        if (s.saveDataSets)
            AppendTo(s.output,
                     [&](FILE* f) { PrintTestResult(f, s, labels.data(), rObs.data(), P.data(), none, C, Q); });
    }
    ClearLine();
    AppendTo(s.output, [&](FILE* f) { PrintFinalResults(f, s, labels.data(), tally, seed); });
    return tally;
}

int PathModelGenerator() {
    EnglishRun english;
    InitIFLibG();
    fprintf(out, "%s\nVersion %s\n", kTitle, kVersion);
    const unsigned long seed = StartGeneratorRun();
    fprintf(out, "%s\nVersion %s\n", kTitle, kVersion);

    PathModelStudy s;
    std::string refusal;
    AskStudy(s, refusal);
    if (!refusal.empty()) {
        fprintf(out, "\nNo test was run: %s\n", refusal.c_str());
        return 1;
    }
    RunPathModelStudy(s, seed);
    return 1;
}

// ===========================================================================
// Lines appended to a named file
// ===========================================================================

int PrintIntermediateResults_(const char* file, int axis, const char* text, double value) {
    return PrintIntermediateResults(file, axis, text, value);
}

int Print2IntermediateResults_(const char* file, int axis, const char* text, double value1, double value2) {
    return Print2IntermediateResults(file, axis, text, value1, value2);
}

int PrintAnyIntermediateMessage_(const char* file, const char* text) {
    return PrintAnyIntermediateMessage(file, text);
}
