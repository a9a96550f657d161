// Key O on a current data set set up in memory, and its score tables: the
// dialogue, the report, "scores.txt", and the state left behind.
#include <gtest/gtest.h>
#include <gsl/gsl_cdf.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "dataset_util.h"
#include "reference_stats.h"
#include "rhlibDim.h"
#include "rhlib_M.h"
#include "stream_util.h"

namespace {

using Matrix = std::vector<std::vector<double>>;

// The numbers of one line of text that follows a heading.
std::vector<double> NumbersAfter(const std::string& text, const std::string& heading) {
    std::vector<double> v;
    size_t p = text.find(heading);
    if (p == std::string::npos) return v;
    size_t end = text.find('\n', p + heading.size());
    std::istringstream s(text.substr(p + heading.size(), end - p - heading.size()));
    double x;
    while (s >> x) v.push_back(x);
    return v;
}

// A current data set in a folder of its own; the console reads the given
// answers and prints into a buffer.
class OrdinationDriver : public testing::Test {
protected:
    void SetUp() override {
        port = 0;
        eng = 1;
        Initialize();
        char tmpl[] = "/tmp/tevlan_ordinationXXXXXX";
        folder_ = mkdtemp(tmpl);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_);
        ResetCurrentDataSet();
        strcpy(modeVidive, "w");
        sDigits = 5;
        nMaxDim = 6;
    }
    void TearDown() override {
        ResetCurrentDataSet();
        port = 0;
        eng = 1;
        Initialize();
        nMaxDim = 6;
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(folder_);
    }

    // units x variables, quantitative on one scale; labels u1.. and v1..
    void Data(const Matrix& x, int content = 1) { CurrentTable(x, content); }
    // The current data transformed within units (as key T leaves it).
    void TransformUnits(int option) {
        optTrVeUnits = option;
        DataTransformationsLib(nObj, nVar, data, 0, 0, option, 0, 0, 0, true, false);
        SetDataType(0, 0, option);
    }
    void Resemblance(int measure, int direction) { CurrentResemblance(measure, direction); }

    // Runs key O on the answers; returns its result, the console in shown.
    int Run(const std::string& answers) {
        int code = 0, result = -1;
        try {
            result = WithConsole(answers, shown, Ordenacao);
        } catch (int c) {
            code = c;
        }
        EXPECT_EQ(code, 0) << "the dialogue read past its answers:\n" << shown;
        return result;
    }
    std::string Report() { return Slurp("Vidive.txt"); }
    // "scores.txt" as rows of numbers.
    Matrix ScoresFile() {
        Matrix m;
        std::istringstream s(Slurp("scores.txt"));
        std::string line;
        while (std::getline(s, line)) {
            std::istringstream l(line);
            std::vector<double> row;
            double x;
            while (l >> x) row.push_back(x);
            m.push_back(row);
        }
        return m;
    }

    std::string shown;
    std::string folder_;
    std::filesystem::path previous_;
};

// Five units on two variables.
const Matrix kPoints = {{0, 0}, {4, 1}, {1, 3}, {5, 5}, {2, -1}};

std::pair<double, double> ScatterEigenvalues(const Matrix& t) {
    double m0 = 0, m1 = 0;
    const double n = static_cast<double>(t.size());
    for (auto& r : t) m0 += r[0] / n, m1 += r[1] / n;
    double a = 0, b = 0, d = 0;
    for (auto& r : t) {
        a += (r[0] - m0) * (r[0] - m0);
        b += (r[0] - m0) * (r[1] - m1);
        d += (r[1] - m1) * (r[1] - m1);
    }
    const double m = (a + d) / 2, q = std::sqrt((a - d) * (a - d) / 4 + b * b);
    return {m + q, m - q};
}

TEST_F(OrdinationDriver, PrincipalCoordinatesReportScoresFileAndState) {
    Data(kPoints);
    Resemblance(3, 1);
    ASSERT_EQ(Run("1\nn\nn\n"), 1);
    EXPECT_NE(shown.find("Ordination method:\n\t(1)principal coordinates analysis\n\t(2)principal components "
                         "analysis\n \t(3)correspondence analysis\n \t(99)return to main menu\n \t\tEnter option: "),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("Save intermediate results? y/n "), std::string::npos);
    EXPECT_NE(shown.find("\nSee results on file Vidive.txt.\n"), std::string::npos);
    EXPECT_NE(shown.find("\nEvaluate significance of ordination axes using bootstrap resampling? y/n "), std::string::npos);
    EXPECT_EQ(shown.find("not available yet"), std::string::npos);

    EXPECT_EQ(optOrdiType, 1);
    ASSERT_EQ(rank, 2);
    auto e = ScatterEigenvalues(kPoints);
    EXPECT_NEAR(eig[0], e.first, 1e-9);
    EXPECT_NEAR(eig[1], e.second, 1e-9);
    // escores keeps the plain coordinates: squared lengths are the eigenvalues.
    for (int k = 0; k < 2; k++) {
        double q = 0;
        for (int i = 0; i < 5; i++) q += escores[k][i] * escores[k][i];
        EXPECT_NEAR(q, eig[k], 1e-9);
    }
    // "scores.txt" holds the coordinates divided by the root of their
    // eigenvalue, one line per unit.
    Matrix file = ScoresFile();
    ASSERT_EQ(file.size(), 5u);
    for (int i = 0; i < 5; i++) {
        ASSERT_EQ(file[i].size(), 2u);
        for (int k = 0; k < 2; k++) EXPECT_NEAR(file[i][k], escores[k][i] / std::sqrt(eig[k]), 1e-5);
    }

    std::string r = Report();
    EXPECT_NE(r.find("ORDINATION\n"), std::string::npos);
    EXPECT_NE(r.find("Ordination method: (1)principal coordinates analysis\n"), std::string::npos);
    EXPECT_NE(r.find("\nNumber of eigenvalues >0.0001: \t2\nEigenvalues:\t"), std::string::npos) << r;
    std::vector<double> ev = NumbersAfter(r, "\nEigenvalues:\t"), pc = NumbersAfter(r, "\nPercentage:\t");
    ASSERT_EQ(ev.size(), 2u);
    ASSERT_EQ(pc.size(), 2u);
    EXPECT_NEAR(ev[0], e.first, 1e-3);
    EXPECT_NEAR(pc[0] + pc[1], 100.0, 1e-3);
    EXPECT_NEAR(pc[0], 100 * e.first / (e.first + e.second), 1e-3);
    EXPECT_EQ(r.find("Warning!!!"), std::string::npos);
    EXPECT_NE(r.find("\nScores of sampling units on the first 2 components:\nAxis  1:\t"), std::string::npos);
    EXPECT_NE(r.find("\nCorrelation coefficients between original descriptors and ordination axes:\nvariables\t"),
              std::string::npos);
    EXPECT_NE(r.find("Original descriptors with the highest correlation coefficients:\nAxis 1:\tv"), std::string::npos);
    EXPECT_NE(r.find("\nScores of sampling units adjusted for preserving Mahalanobis distances between sampling units "
                     "(according to Lavonne & Lavonne 2012 eq.9.14):\nScores of sampling units on the first 2 "
                     "components:\n"),
              std::string::npos);
    EXPECT_NE(r.find("\nBartlett's test. Bartlett's u statistic according to Ablott 2002 p.399 and corresponding "
                     "p-value: \nBartlett\tu\tp\nAxis 1:\t"),
              std::string::npos);
    EXPECT_NE(r.find("\nAxis 2:\t"), std::string::npos);
}

TEST_F(OrdinationDriver, DescriptorCorrelationsOfCoordinatesAreThoseOfTheScores) {
    Data(kPoints);
    Resemblance(3, 1);
    ASSERT_EQ(Run("1\nn\nn\n"), 1);
    std::string r = Report();
    size_t p = r.find("Original descriptors with the highest correlation coefficients:\n");
    ASSERT_NE(p, std::string::npos);
    // Each axis lists both variables as "label:r", larger |r| first.
    for (int k = 0; k < 2; k++) {
        std::vector<double> axis(5), v0(5), v1(5);
        for (int i = 0; i < 5; i++) axis[i] = escores[k][i], v0[i] = kPoints[i][0], v1[i] = kPoints[i][1];
        double r0 = Pearson(axis, v0), r1 = Pearson(axis, v1);
        char expected[64];
        const bool firstLarger = std::fabs(r0) >= std::fabs(r1);
        snprintf(expected, sizeof expected, "Axis %d:\tv%d:%g\tv%d:%g\t\n", k + 1, firstLarger ? 1 : 2,
                 firstLarger ? r0 : r1, firstLarger ? 2 : 1, firstLarger ? r1 : r0);
        EXPECT_NE(r.find(expected, p), std::string::npos) << expected << r.substr(p);
    }
}

TEST_F(OrdinationDriver, BootstrapIsAskedOnlyWithAxesAndRunsTheSampler) {
    Data(kPoints);
    Resemblance(3, 1);
    // A 1, initial size 5, 2 iterations, seed 3, nothing saved.
    ASSERT_EQ(Run("1\nn\ny\n1\n5\n2\n2\n3\nn\n"), 1);
    EXPECT_NE(shown.find("Enter the maximum number of ordination principal axes to be monitored: "),
              std::string::npos);
    EXPECT_NE(Report().find("Sample attribute: ordination stability\nConsidering up to 1 ordination axes.\n"),
              std::string::npos);
    ASSERT_EQ(Run("1\nn\nn\n"), 1);
    EXPECT_EQ(Count(Report(), "\n\nSAMPLER\n"), 1);

    // Identical units: no axis, no question (the answers end after the
    // intermediate-results question).
    Data({{1, 2}, {1, 2}, {1, 2}});
    Resemblance(3, 1);
    ASSERT_EQ(Run("1\nn\n"), 1);
    EXPECT_EQ(rank, 0);
    EXPECT_EQ(shown.find("bootstrap"), std::string::npos);
    EXPECT_NE(Report().find("\nNumber of eigenvalues >0.0001: \t0\nEigenvalues:\t\nPercentage:\t\n"), std::string::npos);
    EXPECT_EQ(Report().find("nan"), std::string::npos);

    // Principal coordinates between variables: no question either.
    Data(kPoints);
    Resemblance(3, 2);
    ASSERT_EQ(Run("1\nn\n"), 1);
    EXPECT_EQ(shown.find("bootstrap"), std::string::npos);
}

TEST_F(OrdinationDriver, IncompatibleChoicesChangeNothing) {
    Data(kPoints);
    Resemblance(3, 1);
    ASSERT_EQ(Run("1\nn\nn\n"), 1);
    double** before = escores;
    std::string reportBefore = Report();

    EXPECT_EQ(Run("2\n"), 0);
    EXPECT_NE(shown.find("Resemblance measure is not compatible.\nAcceptable options for principal components analysis: "
                         "(1)product moment, (17)correlation ou (22)covariance (2)comparing variables\n\a"),
              std::string::npos)
        << shown;
    EXPECT_EQ(Run("3\n"), 0);
    EXPECT_NE(shown.find("Data transformation and/or resemblance measure are not compatible.\n\tAcceptable options for "
                         "correspondence analysis:\n\tVector transformation: (6)deviations expected values via marginal "
                         "totals (double adjustment)\n\tResemblance option: (1)product moment\n\a"),
              std::string::npos)
        << shown;
    EXPECT_EQ(Run("99\n"), 0);
    EXPECT_EQ(escores, before);
    EXPECT_EQ(optOrdiType, 1);
    EXPECT_EQ(Report(), reportBefore);

    // Measure 1 without the deviations from expectations: still refused.
    Resemblance(1, 1);
    EXPECT_EQ(Run("3\n"), 0);
    EXPECT_NE(shown.find("are not compatible"), std::string::npos);
}

TEST_F(OrdinationDriver, UndefinedResemblancesAreRefusedAndThePreviousOrdinationKept) {
    // The Jaccard turnover of the two empty units is undefined.
    Data({{0, 0, 0}, {0, 0, 0}, {1, 1, 0}, {0, 1, 1}});
    Resemblance(23, 1);
    ASSERT_EQ(Run("1\nn\nn\n"), 1);
    double** before = escores;
    const int rankBefore = rank;
    std::string reportBefore = Report();
    ReleaseRese();
    rese = dim2DT<double>(4, 4);
    ResemblanceLib(nObj, nVar, data, rese, 1, 24, varType, 1, 0, 0, false);
    optReseTipo = 24;
    ASSERT_EQ(rese[0][1], MISSING);
    EXPECT_EQ(Run("1\nn\n"), 0);
    EXPECT_NE(shown.find("The resemblance matrix holds undefined values"), std::string::npos);
    EXPECT_EQ(escores, before);
    EXPECT_EQ(rank, rankBefore);
    EXPECT_EQ(Report(), reportBefore);

    // A distance that overflowed: the message names it too.
    rese[0][1] = rese[1][0] = HUGE_VAL;
    EXPECT_EQ(Run("1\nn\n"), 0);
    EXPECT_NE(shown.find("or values too large to represent: it cannot be ordinated.\n"), std::string::npos) << shown;
    EXPECT_EQ(escores, before);
}

TEST_F(OrdinationDriver, NonEuclideanWarningAndIntermediateMatrices) {
    Data({{0}, {1}, {2}});
    ReleaseRese();
    nRows = 3;
    nCols = 1;
    rese = dim2DT<double>(3, 3);
    const double d[3][3] = {{0, 1, 10}, {1, 0, 1}, {10, 1, 0}};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) rese[i][j] = d[i][j];
    optReseTipo = 3;
    optReseDir = 1;
    temRese = 1;
    ASSERT_EQ(Run("1\ny\nn\n"), 1);
    std::string r = Report();
    EXPECT_NE(r.find("\nMatrix with squared distances:\n"), std::string::npos);
    EXPECT_NE(r.find("\nMatrix subjected to eigenanalysis:\n"), std::string::npos);
    EXPECT_NE(r.find("\nWarning!!! The resemblance matrix subjected to eigenanalysis seems not to have\n           "
                     "euclidean metric properties.\nSum of positive eigenvalues: "),
              std::string::npos)
        << r;
    // The trace of the centred matrix is the sum of all eigenvalues; the
    // discrepancy is (positive sum - trace) / trace in per cent.
    std::vector<double> line = NumbersAfter(r, "\nSum of positive eigenvalues: ");
    double trace = eig[0] + eig[1] + eig[2], positive = 0;
    for (int k = 0; k < 3; k++) positive += eig[k] > 0 ? eig[k] : 0;
    size_t p = r.find("\nSum of positive eigenvalues: ");
    double s, t, disc;
    ASSERT_EQ(sscanf(r.c_str() + p, "\nSum of positive eigenvalues: %lf\tTrace: %lf\tDiscrepance: %lf%%", &s, &t, &disc), 3);
    EXPECT_NEAR(s, positive, 1e-3);
    EXPECT_NEAR(t, trace, 1e-3);
    EXPECT_NEAR(disc, (positive - trace) * 100 / trace, 1e-2);
}

TEST_F(OrdinationDriver, PrincipalComponentsOfCorrelationsBetweenVariables) {
    const Matrix x = {{2, 1, 7}, {4, 3, 5}, {1, 0, 8}, {6, 6, 2}, {3, 1, 3}, {5, 4, 4}};
    Data(x);
    Resemblance(17, 2);
    ASSERT_EQ(Run("2\nn\nn\n"), 1);
    ASSERT_EQ(rank, 3);
    EXPECT_NEAR(eig[0] + eig[1] + eig[2], 3.0, 1e-9);
    std::string r = Report();
    EXPECT_NE(r.find("\nEigenvectors (normalized, max. 6):\nAxis 1:\t"), std::string::npos);
    EXPECT_NE(r.find("\nScores of sampling units on the first 3 components:\n"), std::string::npos);
    EXPECT_NE(r.find("\nCorrelation coefficients between original descriptors and ordination axes:\nvariables\t"),
              std::string::npos);
    EXPECT_NE(r.find("\nContribution (percentage) of original descriptors in each ordination axis:\nvariables\t"),
              std::string::npos)
        << r;
    // The loading formula gives the correlation of each variable with the
    // component scores of the units.
    size_t p = r.find("Original descriptors with the highest correlation coefficients:\n");
    ASSERT_NE(p, std::string::npos);
    for (int k = 0; k < 3; k++) {
        std::vector<double> axis(6);
        for (int u = 0; u < 6; u++) axis[u] = escores[k][u];
        size_t a = r.find("Axis " + std::to_string(k + 1) + ":\t", p);
        ASSERT_NE(a, std::string::npos);
        std::string line = r.substr(a, r.find('\n', a) - a);
        for (int j = 0; j < 3; j++) {
            std::vector<double> v(6);
            for (int u = 0; u < 6; u++) v[u] = x[u][j];
            size_t at = line.find("v" + std::to_string(j + 1) + ":");
            ASSERT_NE(at, std::string::npos) << line;
            EXPECT_NEAR(std::stod(line.substr(at + 3)), Pearson(axis, v), 1e-4) << line;
        }
    }
    // The contributions of the three variables to each axis add up to 100.
    size_t c = r.find("\nContribution (percentage)");
    for (int k = 0; k < 3; k++) {
        double sum = 0;
        for (int j = 0; j < 3; j++) {
            size_t row = r.find("\n       v" + std::to_string(j + 1) + "\t", c);
            ASSERT_NE(row, std::string::npos) << r.substr(c);
            std::istringstream s(r.substr(row + 11));
            double v[3];
            s >> v[0] >> v[1] >> v[2];
            sum += v[k];
        }
        EXPECT_NEAR(sum, 100.0, 1e-2);
    }
    EXPECT_NE(r.find("\nBartlett's test."), std::string::npos);
    // Components between variables ask the bootstrap question.
    EXPECT_NE(shown.find("bootstrap resampling? y/n "), std::string::npos);
}

TEST_F(OrdinationDriver, CorrespondenceAnalysisAfterDoubleAdjustment) {
    const Matrix x = {{10, 4, 2}, {3, 8, 5}, {1, 2, 9}, {6, 6, 4}};
    Data(x);
    TransformUnits(6);
    Resemblance(1, 2);
    ASSERT_EQ(Run("3\nn\nn\n"), 1);
    EXPECT_EQ(optOrdiType, 3);
    ASSERT_EQ(rank, 2);
    // The eigenvalues sum to the total inertia, chi-square / N.
    double r[4] = {0, 0, 0, 0}, c[3] = {0, 0, 0}, N = 0, chi2 = 0;
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 3; j++) r[i] += x[i][j], c[j] += x[i][j], N += x[i][j];
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 3; j++) chi2 += std::pow(x[i][j] - r[i] * c[j] / N, 2) / (r[i] * c[j] / N);
    EXPECT_NEAR(eig[0] + eig[1], chi2 / N, 1e-12);
    std::string rep = Report();
    EXPECT_NE(rep.find("\nScores of variables on the first 2 components:\n"), std::string::npos);
    EXPECT_NE(rep.find("\nScores of sampling units on the first 2 components:\n"), std::string::npos);
    EXPECT_NE(rep.find("\nScores of sampling units adjusted for preserving Mahalanobis distances"), std::string::npos);
    EXPECT_EQ(rep.find("Bartlett"), std::string::npos);
    EXPECT_EQ(ScoresFile().size(), 4u);  // the adjusted scores of the four units
}

// A table of uniform values from 0 to 10, drawn with the given seed.
Matrix RandomTable(int rows, int cols, unsigned seed) {
    std::mt19937 g(seed);
    std::uniform_real_distribution<double> u(0, 10);
    Matrix x(rows, std::vector<double>(cols));
    for (auto& row : x)
        for (double& v : row) v = u(g);
    return x;
}

// Bartlett's test of the equality of eigenvalues k to p, from its textbook
// formula: u = (n - (2p + 11) / 6) (q ln(mean) - sum of ln), q = p - k + 1,
// chi-square with (q - 1)(q + 2) / 2 degrees of freedom (none for the last).
std::pair<double, double> Bartlett(const std::vector<double>& l, int k, int n) {
    const int p = static_cast<int>(l.size()), q = p - k + 1;
    double sum = 0, logs = 0;
    for (int i = k - 1; i < p; i++) sum += l[i], logs += std::log(l[i]);
    const double u = (n - (2.0 * p + 11) / 6) * (q * std::log(sum / q) - logs);
    const int df = (q - 1) * (q + 2) / 2;
    return {u, df > 0 ? gsl_cdf_chisq_Q(u, df) : 1.0};
}

// The lines "Axis k:\tu\tp" of the report's Bartlett block.
std::vector<std::pair<double, double>> BartlettLines(const std::string& r) {
    std::vector<std::pair<double, double>> v;
    size_t p = r.find("Bartlett\tu\tp\n");
    if (p == std::string::npos) return v;
    std::istringstream s(r.substr(p + 13));
    std::string line;
    while (std::getline(s, line) && line.rfind("Axis ", 0) == 0) {
        double u, prob;
        int k;
        if (sscanf(line.c_str(), "Axis %d:\t%lf\t%lf", &k, &u, &prob) != 3) break;
        v.push_back({u, prob});
    }
    return v;
}

TEST_F(OrdinationDriver, BartlettTestsTheEigenvaluesOfTheAxesOnly) {
    // Eight units on five variables: the centred 8 x 8 matrix has five
    // positive eigenvalues and three zeros (the centring's and the rank's).
    // The zeros are no axes: were they tested, ln(1e-10) for each would make
    // every axis "significant" whatever the data.
    Data(RandomTable(8, 5, 11));
    Resemblance(3, 1);
    ASSERT_EQ(Run("1\nn\nn\n"), 1);
    ASSERT_EQ(rank, 5);
    std::vector<double> l(eig, eig + 5);
    std::vector<std::pair<double, double>> lines = BartlettLines(Report());
    ASSERT_EQ(lines.size(), 5u) << Report();
    for (int k = 1; k <= 5; k++) {
        auto expected = Bartlett(l, k, nCols);
        EXPECT_NEAR(lines[k - 1].first, expected.first, 1e-5 * std::fabs(expected.first) + 1e-9) << k;
        EXPECT_NEAR(lines[k - 1].second, expected.second, 1e-5 * expected.second + 1e-12) << k;
    }
    EXPECT_GT(lines[3].second, 0.0);

    // With every eigenvalue an axis (components of correlations among three
    // variables over six units) the test runs over all of them.
    Data({{2, 1, 7}, {4, 3, 5}, {1, 0, 8}, {6, 6, 2}, {3, 1, 3}, {5, 4, 4}});
    Resemblance(17, 2);
    ASSERT_EQ(Run("2\nn\nn\n"), 1);
    ASSERT_EQ(rank, 3);
    lines = BartlettLines(Report());
    ASSERT_EQ(lines.size(), 3u);
    for (int k = 1; k <= 3; k++) {
        auto expected = Bartlett({eig[0], eig[1], eig[2]}, k, 6);
        EXPECT_NEAR(lines[k - 1].first, expected.first, 1e-5 * std::fabs(expected.first) + 1e-9) << k;
        EXPECT_NEAR(lines[k - 1].second, expected.second, 1e-5 * expected.second + 1e-12) << k;
    }
}

TEST_F(OrdinationDriver, ManyAxesAreListedButSixArePrinted) {
    Data(RandomTable(12, 11, 3));
    Resemblance(3, 1);
    ASSERT_EQ(Run("1\nn\nn\n"), 1);
    ASSERT_EQ(rank, 11);
    std::string r = Report();
    EXPECT_EQ(NumbersAfter(r, "\nEigenvalues:\t").size(), 11u);
    EXPECT_EQ(NumbersAfter(r, "\nPercentage:\t").size(), 11u);
    EXPECT_NE(r.find("\nScores of sampling units on the first 6 components:\n"), std::string::npos);
    EXPECT_EQ(r.find("Axis  7:"), std::string::npos);
    EXPECT_EQ(Count(r, "\nAxis 11:\t"), 1);  // Bartlett lists every axis
    for (auto& line : ScoresFile()) EXPECT_EQ(line.size(), 6u);
}

TEST_F(OrdinationDriver, NoDescriptorCorrelationsForQualitativeData) {
    Data({{1, 2}, {2, 1}, {1, 1}, {2, 2}}, 3);
    ASSERT_EQ(dataType, 3);
    Resemblance(12, 1);
    ASSERT_EQ(Run("1\nn\nn\n"), 1);
    EXPECT_EQ(Report().find("Correlation coefficients"), std::string::npos);
}

TEST_F(OrdinationDriver, PortugueseDialogueAndReport) {
    port = 1;
    eng = 0;
    Initialize();
    Data(kPoints);
    Resemblance(3, 1);
    ASSERT_EQ(Run("1\ns\ns\n1\n5\n2\n2\n3\nn\n"), 1);
    EXPECT_NE(shown.find("Metodo de ordenacao:\n\t(1)analise de coordenadas principais\n"), std::string::npos);
    EXPECT_NE(shown.find("Guardar resultados intermediarios? s/n "), std::string::npos);
    EXPECT_NE(shown.find("\nVeja resultados no arquivo Vidive.txt.\n"), std::string::npos);
    EXPECT_NE(shown.find("Entre o numero maximo de eixos principais de ordenacao a monitorar: "), std::string::npos);
    std::string r = Report();
    EXPECT_NE(r.find("ORDENACAO\n"), std::string::npos);
    EXPECT_NE(r.find("\nAutovalores:\t"), std::string::npos);
    EXPECT_NE(r.find("\nEscores de unidades amostrais nos primeiros 2 componentes:\nEixo  1:\t"), std::string::npos);
    EXPECT_NE(r.find("\n\nAMOSTRADOR\nReamostragem bootstrap\n"), std::string::npos);
    EXPECT_NE(r.find("\nEixo 1:   \t"), std::string::npos);
}

TEST_F(OrdinationDriver, ReplacingAnOrdinationOfAnotherShape) {
    Data(kPoints);
    Resemblance(3, 1);
    ASSERT_EQ(Run("1\nn\nn\n"), 1);
    ASSERT_EQ(Run("1\nn\nn\n"), 1);
    Resemblance(22, 1);
    ASSERT_EQ(Run("2\nn\nn\n"), 1);  // scores over the two variables now
    EXPECT_EQ(optOrdiType, 2);
    EXPECT_EQ(ScoresFile().size(), 2u);
    strcpy(modeVidive, "a");
    ASSERT_EQ(Run("1\nn\nn\n"), 1);
    EXPECT_EQ(Count(Report(), "ORDINATION\n"), 2);
}

// ---------------------------------------------------------------------------
// The score tables alone
// ---------------------------------------------------------------------------

class ScoreTables : public OrdinationDriver {};

TEST_F(ScoreTables, ScoresAndTheirFile) {
    double** s = dim2DT<double>(2, 3);
    const double v[2][3] = {{1, -2, 0.5}, {3, 0, -1}};
    for (int k = 0; k < 2; k++)
        for (int i = 0; i < 3; i++) s[k][i] = v[k][i];
    nMaxDim = 1;
    std::string text = Printed([&](FILE* f) { PrintScores(f, 2, 3, s, "things"); });
    EXPECT_EQ(text, "\nScores of things on the first 1 components:\nAxis  1:\t1\t-2\t0.5\t\n");
    EXPECT_EQ(Slurp("scores.txt"), "1\t\n-2\t\n0.5\t\n");
    free2DT(s, 2);
}

TEST_F(ScoreTables, ContributionsHandWorked) {
    // Axis 1: (sqrt(4) 0.6)^2 = 1.44 and (sqrt(1) 0.8)^2 = 0.64 of 2.08;
    // axis 2: (2 x -0.8)^2 = 2.56 and 0.6^2 = 0.36 of 2.92.
    double** e = dim2DT<double>(2, 2);
    double** r = dim2DT<double>(2, 2);
    e[0][0] = 0.6, e[0][1] = 0.8, e[1][0] = -0.8, e[1][1] = 0.6;
    r[0][0] = 4, r[1][1] = 1;
    char** labels = dim2DT<char>(2, 30);
    strcpy(labels[0], "a");
    strcpy(labels[1], "bb");
    std::string text = Printed([&](FILE* f) { VarContribution(f, 2, 2, e, r, "vars", labels); });
    EXPECT_EQ(text,
              "vars\tAxis 1\tAxis 2\t\n"
              "   a\t69.231\t87.671\t\n"
              "  bb\t30.769\t12.329\t\n\n")
        << text;
    free2DT(e, 2);
    free2DT(r, 2);
    free2DT(labels, 2);
}

TEST_F(ScoreTables, CorrelationRankingIsStableAndZeroForEmptyDescriptors) {
    // One axis; descriptor 1 correlates -1, descriptor 2 +1, descriptor 3 is
    // constant.
    double** s = dim2DT<double>(1, 4);
    double** d = dim2DT<double>(3, 4);
    for (int i = 0; i < 4; i++) s[0][i] = i, d[0][i] = -i, d[1][i] = 2 * i, d[2][i] = 5;
    char** labels = dim2DT<char>(3, 30);
    strcpy(labels[0], "x");
    strcpy(labels[1], "y");
    strcpy(labels[2], "z");
    nMaxDim = 1;
    std::string text = Printed([&](FILE* f) { ScoreCorr(f, 1, 4, s, d, 3, "d", true, labels); });
    EXPECT_NE(text.find("Original descriptors with the highest correlation coefficients:\nAxis 1:\tx:-1\ty:1\t"),
              std::string::npos)
        << text;

    // Loadings: a descriptor whose resemblance to itself is 0 gets r = 0.
    double** e = dim2DT<double>(1, 3);
    double** r = dim2DT<double>(3, 3);
    double ev[1] = {2};
    e[0][0] = 0.6, e[0][1] = 0.8, e[0][2] = 0.0;
    r[0][0] = 2, r[1][1] = 8, r[2][2] = 0;
    text = Printed([&](FILE* f) { ScoreCorr(f, 1, 4, s, d, 3, "d", true, labels, 2, r, ev, e); });
    EXPECT_NE(text.find("d\tAxis 1\t\nx\t   0.6\t\ny\t   0.4\t\nz\t     0\t\n"), std::string::npos) << text;
    // 2 x nMaxDim descriptors are listed.
    EXPECT_NE(text.find("Axis 1:\tx:0.6\ty:0.4\t\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("nan"), std::string::npos);
    free2DT(s, 1);
    free2DT(d, 3);
    free2DT(e, 1);
    free2DT(r, 3);
    free2DT(labels, 3);
}

}  // namespace
