// Key Y. Transition matrices worked by hand; the Markovity test against a
// loop written here from the definitions (one W matrix per pair of rows,
// predictions chain by chain, distances and stress by their formulas) on a
// private MT19937 replaying the permutation rule; rates and canonical
// serial scaling on the dune data against computations made here.
#include <gsl/gsl_rng.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "TevlanDynamics.h"
#include "driver_fixture.h"
#include "iflibG.h"
#include "rhDynamics.h"

namespace {

using Vec = std::vector<double>;
using Mat = std::vector<Vec>;

const Mat kSeries = {{10, 0, 0}, {6, 4, 0}, {3, 5, 2}, {2, 4, 4}};

Mat Dune() {
    std::ifstream f(std::string(TEVLAN_TEST_DATA) + "/dune.txt");
    Mat t(20, Vec(30));
    for (Vec& row : t)
        for (double& x : row) f >> x;
    return t;
}

// The numbers of the line that follows the first line holding title (from
// position from), or of the title's own line after it when inLine.
Vec Numbers(const std::string& text, const std::string& title, bool inLine = false, size_t from = 0) {
    size_t at = text.find(title, from);
    if (at == std::string::npos) return {};
    at += title.size();
    if (!inLine) at = text.find('\n', at) + 1;
    std::istringstream s(text.substr(at, text.find('\n', at) - at));
    Vec v;
    for (std::string cell; std::getline(s, cell, '\t');)
        if (!cell.empty()) v.push_back(std::stod(cell));
    return v;
}

void ExpectNear(const Vec& got, const Vec& want, double tolerance, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t k = 0; k < want.size(); k++) EXPECT_NEAR(got[k], want[k], tolerance) << what << " " << k;
}

// --- Markov fitting as defined, one step at a time --------------------------

std::vector<Mat> Transitions(const Mat& x, int L) {
    const size_t n = x.size(), p = x[0].size();
    std::vector<Mat> P(L, Mat(p, Vec(p, 0.0)));
    for (int l = 1; l <= L; l++) {
        for (size_t s = 0; s + l < n; s++) {
            const Vec &a = x[s], &b = x[s + l];
            double T = 0;
            for (double v : b) T += v;
            Mat W(p, Vec(p, 0.0));
            for (size_t i = 0; i < p; i++) {
                W[i][i] = b[i];
                for (size_t j = 0; j < p && T > 0; j++) {
                    if (j == i) continue;
                    if (b[i] < a[i]) W[i][j] += b[j] * (a[i] - b[i]) / T;
                    else W[j][i] += b[j] * (b[i] - a[i]) / T;
                }
            }
            for (size_t i = 0; i < p; i++)
                for (size_t j = 0; j < p; j++) P[l - 1][i][j] += W[i][j] / (n - l);
        }
        for (Vec& row : P[l - 1]) {
            double s = 0;
            for (double v : row) s += v;
            for (double& v : row) v /= s > 0 ? s : 1;
        }
    }
    return P;
}

// Lag l in place, each start row's chain in turn, rows below l kept.
void Predict(Mat& Y, size_t rows, int l, const Mat& P) {
    for (int s = 0; s < l; s++)
        for (size_t r = s + l; r < rows; r += l)
            for (size_t j = 0; j < P.size(); j++) {
                Y[r][j] = 0;
                for (size_t i = 0; i < P.size(); i++) Y[r][j] += Y[r - l][i] * P[i][j];
            }
}

double Distance(const Vec& a, const Vec& b) {
    double s = 0;
    for (size_t k = 0; k < a.size(); k++) s += (a[k] - b[k]) * (a[k] - b[k]);
    return std::sqrt(s);
}

double Stress(const Mat& x, const Mat& y) {
    double num = 0, den = 0;
    for (size_t i = 0; i < x.size(); i++)
        for (size_t j = i + 1; j < x.size(); j++) {
            const double a = Distance(x[i], x[j]), b = Distance(y[i], y[j]);
            num += (a - b) * (a - b);
            den += (a + b) * (a + b) / 4;
        }
    return std::sqrt(num / den);
}

struct TestResult {
    Vec K, P, average;
};

TestResult ReferenceTest(const Mat& x, int L, int I, unsigned long seed) {
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, seed);
    const size_t n = x.size();
    TestResult t{Vec(L), Vec(L, 1.0), Vec(L, 0.0)};
    for (int k = 1; k <= I; k++) {
        std::vector<size_t> order(n);
        for (size_t i = 0; i < n; i++) order[i] = i;
        if (k > 1)
            for (size_t i = 0; i + 1 < n; i++) std::swap(order[i], order[i + gsl_rng_uniform_int(g, n - i)]);
        Mat xr;
        for (size_t i : order) xr.push_back(x[i]);
        const std::vector<Mat> P = Transitions(xr, L);
        Mat y = xr;
        for (int l = 1; l <= L; l++) {
            Predict(y, n, l, P[l - 1]);
            const double K = Stress(xr, y);
            if (k == 1) t.K[l - 1] = K;
            t.P[l - 1] += k > 1 && K <= t.K[l - 1];
            t.average[l - 1] += k > 1 ? K / (I - 1) : 0;
        }
    }
    for (double& p : t.P) p /= I;
    gsl_rng_free(g);
    return t;
}

class DynamicsTest : public DriverTest {
protected:
    std::string Report() { return Slurp("Vidive.txt"); }
};

TEST(MarkovFit, TransitionMatricesOfTheWorkedSeries) {
    ScopedMatrix<double> X(4, 3);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 3; j++) X[i][j] = kSeries[i][j];
    double*** T = dim3DT<double>(2, 3, 3);
    FitMarkov(4, 3, 2, X, T);
    const Mat want[2] = {{{55 / 96., 31 / 96., 10 / 96.}, {1 / 77., 65 / 77., 11 / 77.}, {0, 1 / 31., 30 / 31.}},
                         {{0.3125, 0.4125, 0.275}, {0, 45 / 58., 13 / 58.}, {0, 1 / 7., 6 / 7.}}};
    for (int l = 0; l < 2; l++)
        for (int i = 0; i < 3; i++) ExpectNear(Vec(T[l][i], T[l][i] + 3), want[l][i], 1e-14, "P" + std::to_string(l + 1));
    free3DT(T, 2, 3);
}

TEST(MarkovFit, SeededTestAgreesWithTheLoopWrittenFromTheDefinitions) {
    QuietProgress quiet;
    const Mat dune = Dune();
    struct Case {
        Mat x;
        int L, I;
        unsigned long seed;
    } cases[] = {{kSeries, 2, 999, 12345}, {Mat(dune.begin(), dune.begin() + 12), 3, 60, 7}};
    for (const Case& c : cases) {
        const int n = static_cast<int>(c.x.size()), p = static_cast<int>(c.x[0].size());
        ScopedMatrix<double> X(n, p);
        for (int i = 0; i < n; i++) std::copy(c.x[i].begin(), c.x[i].end(), X[i]);
        Vec K(c.L), P(c.L), average(c.L);
        InitRndNumberGenerator(c.seed);
        MarkovityTest(n, p, c.L, X, c.I, K.data(), P.data(), average.data());
        const TestResult want = ReferenceTest(c.x, c.L, c.I, c.seed);
        ExpectNear(K, want.K, 1e-12, "K");
        ExpectNear(P, want.P, 1e-15, "P");
        ExpectNear(average, want.average, 1e-12, "average");
        if (c.seed != 12345) continue;
        // The figures of the worked series.
        ExpectNear(K, {0.1019238955, 0.08573934269}, 1e-10, "K");
        ExpectNear(P, {43 / 999., 43 / 999.}, 1e-15, "P");
        ExpectNear(average, {0.9240272638, 0.7417013923}, 1e-10, "average");
    }
}

TEST(MarkovFit, RatesOfChangeAndTheNoValueMark) {
    const double X = kNoValue;
    struct Case {
        Vec change, span, reference, v, vAt, a, aAt;
    } cases[] = {
        {{2, 3, 4}, {1, 2, 4}, {0, 1, 3, 6}, {2, 1.5, 1}, {0.5, 2, 4.5}, {-1 / 3., -1 / 6.}, {4 / 3., 10 / 3.}},
        {{2, 3, 4}, {2, 3, 4}, {0, 1, 3, 6}, {1, 1, 1}, {0.5, 2, 4.5}, {0, 0}, {4 / 3., 10 / 3.}},
        {{2, 3, 4}, {1, 0, 4}, {0, 1, 1, 5}, {2, X, 1}, {0.5, 1, 3}, {X, X}, {2 / 3., 7 / 3.}},
        {{2, MISSING, 4, 5}, {1, 1, 1, 1}, {0, 1, 2, 3, 4}, {2, X, 4, 5}, {0.5, 1.5, 2.5, 3.5}, {X, X, 1}, {1, 2, 3}},
        {{2}, {1}, {0, 1}, {2}, {0.5}, {}, {}},
    };
    for (const Case& c : cases) {
        const int n = static_cast<int>(c.reference.size());
        Vec v(n - 1), vAt(n - 1), a(n > 2 ? n - 2 : 0), aAt(a.size());
        RatesOfChange(n, c.change.data(), c.span.data(), c.reference.data(), v.data(), vAt.data(), a.data(), aAt.data());
        ExpectNear(v, c.v, 1e-15, "velocity");
        ExpectNear(vAt, c.vAt, 1e-15, "velocity at");
        ExpectNear(a, c.a, 1e-15, "acceleration");
        ExpectNear(aAt, c.aAt, 1e-15, "acceleration at");
    }
}

TEST_F(DynamicsTest, MarkovReportPredictionAndReversedOrder) {
    QuietProgress quiet;
    CurrentTable(kSeries);
    ASSERT_EQ(Run("n\n1\n60\n1\n2\n1\n", [] { return Markov(); }), 0) << err_;
    const std::string v = Report();
    // The prediction lag 1 chained from (10, 0, 0), and its distances.
    const std::vector<Mat> P = Transitions(kSeries, 1);
    Mat Y(60, Vec(3, 0.0));
    std::copy(kSeries.begin(), kSeries.end(), Y.begin());
    Predict(Y, 60, 1, P[0]);
    Vec d, percent;
    for (int j = 0; j < 59; j++) d.push_back(Distance(Y[j], Y[j + 1]));
    for (double x : d) percent.push_back(100 * x / d[0]);
    ExpectNear(Numbers(v, "Markov releves j and j+1 (lag = 1"), d, 1e-5 * d[0], "distances");
    EXPECT_NEAR(d[0], 5.45459, 1e-5);
    EXPECT_NEAR(d[1], 2.95611, 1e-5);
    const int reached = static_cast<int>(std::find_if(percent.begin(), percent.end(), [](double x) { return x < 1; }) -
                                         percent.begin()) + 2;
    EXPECT_EQ(reached, 22);
    EXPECT_NE(v.find("Instability level of less than 1 percent reached at Markov relevé 22.\n"), std::string::npos);
    EXPECT_EQ(v.find("RANDOMIZATION TEST"), std::string::npos) << "one iteration: no test lines";
    EXPECT_NE(shown_.find("Results appended to file Vidive.txt"), std::string::npos);

    ASSERT_EQ(Run("y\n1\n2\n1\n2\n1\n", [] { return Markov(); }), 0);
    const std::string r = Report();
    EXPECT_NE(r.find("ordered from past to present:\n(Original data was reordered from past to present)\n2\t4\t4\t\n"),
              std::string::npos);
}

TEST_F(DynamicsTest, MarkovSameReportOnOneThreadAndOnAll) {
    QuietProgress quiet;
    const Mat dune = Dune();
    CurrentTable(Mat(dune.begin(), dune.begin() + 10));
    std::string reports[2];
    for (int t = 0; t < 2; t++) {
        InitMultiprocessing(t == 0 ? 1 : 0);
        remove("Vidive.txt");
        ASSERT_EQ(Run("n\n3\n12\n40\n2\n99\n", [] { return Markov(); }), 0) << err_;
        reports[t] = std::regex_replace(Report(), std::regex("\n[A-Z][a-z]{2} [A-Z][a-z]{2} .*\n"), "\n<TIME>\n");
    }
    InitMultiprocessing(0);
    EXPECT_EQ(reports[0], reports[1]);
    EXPECT_NE(reports[0].find("Probability P(Knull <= K): "), std::string::npos);
}

TEST_F(DynamicsTest, MarkovRefusalsAndDegenerateSeries) {
    QuietProgress quiet;
    struct Case {
        Mat x;
        std::string answers, want;
    } cases[] = {
        {{{1, 2}}, "", "needs a series of at least 2 sampling units; the data hold 1."},
        {{{1, 2}, {3, -1}}, "", "sampling unit 2, variable 2 holds -1."},
        {{{1, 2}, {MISSING, 1}}, "", "sampling unit 2, variable 1 holds -999."},
        {{{1, 2}, {3, 1}}, "n\n1\n3\n5\n2\n1\n", "not performed for the number of relevés < 3.\n"},
        // Terabytes of Markov releves are refused with the range that fits
        // and asked again, never allocated.
        {Mat(2, Vec(128, 1.0)), "n\n1\n2147483647\n3\n1\n2\n1\n",
         "\nIncorrect input = 2.14748e+09. Reenter.\nAccepted input: 2 to "},
        // A series that never changes: no instability percentages, no
        // variation to test.
        {{{5, 5}, {5, 5}, {5, 5}}, "n\n1\n4\n5\n2\n1\n",
         "Instability levels cannot be given as percentages: Markov releves 1 and 2 are identical.\n"},
    };
    for (const Case& c : cases) {
        remove("Vidive.txt");
        CurrentTable(c.x);
        const int code = Run(c.answers, [] { return Markov(); });
        EXPECT_EQ(code, 0) << c.want;
        EXPECT_NE((shown_ + err_ + Report()).find(c.want), std::string::npos) << c.want << shown_;
    }
    EXPECT_EQ(Count(Report(), "Probability P(Knull <= K): not testable\n"), 1);
    EXPECT_EQ(Report().find("reached"), std::string::npos);
}

TEST_F(DynamicsTest, RatesOfChangeOnDune) {
    const Mat dune = Dune();
    CurrentTable(dune);
    CurrentResemblance(3, 1);
    std::string times, steps = "1\n2\n2\n";
    for (int i = 1; i <= 20; i++) times += std::to_string(i) + "\n";
    for (int i = 4; i <= 20; i++) steps += std::to_string(i) + "\n";
    Put("times.txt", times);
    Put("steps.txt", steps);
    Put("short.txt", "1 2 3\n");
    Put("word.txt", "1 2 x\n");
    sDigits = 10;
    strcpy(modeVidive, "w");
    // Refused files are asked for again; a name that does not open gives up.
    ASSERT_EQ(Run("short.txt\nword.txt\ntimes.txt\n", [] { return Rate_of_Change(); }), 0) << err_;
    EXPECT_NE(shown_.find("File short.txt was not read: it holds 3 numbers, and 20 are needed"), std::string::npos);
    EXPECT_NE(shown_.find("the value for unit 3 is \"x\""), std::string::npos) << shown_;
    ASSERT_EQ(Run("steps.txt\n", [] { return Rate_of_Change(); }), 0);
    EXPECT_EQ(Run("none.txt\nn\n", [] { return Rate_of_Change(); }), 0);
    EXPECT_NE(shown_.find("Try again? y/n "), std::string::npos);

    const std::string v = Report();
    Vec velocity, acceleration;
    for (int i = 0; i < 19; i++) velocity.push_back(Distance(dune[i], dune[i + 1]));
    for (int i = 0; i < 18; i++) acceleration.push_back(velocity[i + 1] - velocity[i]);
    ExpectNear(Numbers(v, "Rate of change (velocity):\t", true), velocity, 1e-8, "velocity");
    ExpectNear(Numbers(v, "Acceleration:\t", true), acceleration, 1e-8, "acceleration");
    ExpectNear(Vec(velocity.begin(), velocity.begin() + 4), {10.58300524, 9.591663047, 9.110433579, 13.7113092}, 1e-8,
               "R");
    const size_t second = v.find("RATES OF CHANGE", v.find("RATES OF CHANGE") + 1);
    const Vec v2 = Numbers(v, "Rate of change (velocity):\t", true, second);
    const Vec a2 = Numbers(v, "Acceleration:\t", true, second);
    ASSERT_EQ(a2.size(), 18u);
    EXPECT_EQ(v2[1], 3.402823466e+38);
    EXPECT_EQ(a2[0], 3.402823466e+38);
    EXPECT_EQ(a2[1], 3.402823466e+38);
    EXPECT_NEAR(v2[2], Distance(dune[2], dune[3]) / 2, 1e-8);
    EXPECT_EQ(Count(v, "TEVLAN version"), 1);
    EXPECT_STREQ(modeVidive, "a");
}

TEST_F(DynamicsTest, CanonicalSerialScalingOnDune) {
    const Mat dune = Dune();
    CurrentTable(dune);
    CurrentResemblance(17, 2);
    optPostReseTransf = 0;
    sDigits = 10;
    ASSERT_EQ(Run("n\n", [] { return CanonicalSerialScaling(); }), 0) << err_;
    const std::string v = Report();
    const std::string title = "for block size equal to one:\n";
    const size_t at = v.find(title);
    ASSERT_NE(at, std::string::npos);
    // Moving means of b units, their correlations, and each pair's line on
    // the block sizes 1..8 read at 1.
    const int B = 8;
    std::vector<Mat> r(B + 1);
    for (int b = 1; b <= B; b++) {
        Mat m;
        for (int s = 0; s + b <= 20; s++) {
            Vec row(30, 0.0);
            for (int i = s; i < s + b; i++)
                for (int j = 0; j < 30; j++) row[j] += dune[i][j] / b;
            m.push_back(row);
        }
        r[b] = Mat(30, Vec(30));
        for (int i = 0; i < 30; i++)
            for (int j = 0; j < 30; j++) {
                double mi = 0, mj = 0, sij = 0, sii = 0, sjj = 0;
                for (const Vec& u : m) mi += u[i] / m.size(), mj += u[j] / m.size();
                for (const Vec& u : m)
                    sij += (u[i] - mi) * (u[j] - mj), sii += (u[i] - mi) * (u[i] - mi), sjj += (u[j] - mj) * (u[j] - mj);
                r[b][i][j] = sij / std::sqrt(sii * sjj);
            }
    }
    std::istringstream rows(v.substr(at + title.size()));
    for (int j = 0; j < 30; j++) {
        std::string text;
        std::getline(rows, text);
        const Vec got = Numbers("\n" + text + "\n", "\n", true);
        ASSERT_EQ(got.size(), 30u);
        for (int i = 0; i < j; i++) {
            double sx = 0, sy = 0, sxy = 0, sxx = 0;
            for (int b = 1; b <= B; b++) sx += b, sy += r[b][i][j], sxy += b * r[b][i][j], sxx += b * b;
            const double slope = (B * sxy - sx * sy) / (B * sxx - sx * sx), intercept = (sy - slope * sx) / B;
            EXPECT_NEAR(got[i], intercept + slope, 1e-8) << j << " " << i;
        }
        for (int i = j; i < 30; i++) EXPECT_EQ(got[i], 0) << j << " " << i;
    }
    EXPECT_NE(v.find("\n-0.5956201153\t0\t"), std::string::npos);

    // Ten units: block sizes 1 to 4, each blocked table with its own rows.
    CurrentTable(Mat(dune.begin(), dune.begin() + 10));
    CurrentResemblance(17, 2);
    remove("Vidive.txt");
    ASSERT_EQ(Run("y\n", [] { return CanonicalSerialScaling(); }), 0);
    const std::string w = Report();
    EXPECT_EQ(w.find("Canonical Serial Scaling INTERMEDIATE RESULTS:\n\nBlock size: 1\tData:\n"), 0u);
    EXPECT_NE(w.find("\nBlock size: 4\tCorrelation matrix:\n"), std::string::npos);
    EXPECT_EQ(w.find("Block size: 5"), std::string::npos);
    const size_t four = w.find("\nBlock size: 4\tData:\n"), end = w.find("\nBlock size: 4\tCorrelation", four);
    EXPECT_EQ(Count(w.substr(four, end - four), "\n"), 2 + 7);

    // Four units leave one block size: refused, nothing written.
    CurrentTable(Mat(dune.begin(), dune.begin() + 4));
    remove("Vidive.txt");
    ASSERT_EQ(Run("", [] { return CanonicalSerialScaling(); }), 0);
    EXPECT_NE(shown_.find("needs at least 5 sampling units"), std::string::npos);
    EXPECT_EQ(Report(), "");
}

TEST_F(DynamicsTest, InterpolationAtTheDataTimesAndRefusedIntervals) {
    CurrentTable(kSeries);
    Put("times.txt", "1 2 3 4\n");
    Put("down.txt", "1 3 2 4\n");
    sDigits = 10;
    ASSERT_EQ(Run("down.txt\ntimes.txt\n0\n1e-30\n1\n", [] { return Interpolation(); }), 0) << err_;
    EXPECT_NE(shown_.find("File down.txt was not read: the times (or positions) must increase"), std::string::npos);
    EXPECT_NE(shown_.find("The interval must be greater than 0."), std::string::npos);
    EXPECT_NE(shown_.find("An interval of 1e-30 would give 3e+30 new sampling units, more than 2147483647"),
              std::string::npos);
    EXPECT_NE(shown_.find("Interpolated data exported on file Interpolated.txt"), std::string::npos);
    EXPECT_EQ(Slurp("Interpolated.txt").find("10\t0\t0\t\n6\t4\t0\t\n3\t5\t2\t\n2\t4\t4\t\n"), 0u);
    // Two billion rows of 128 variables are within the count but terabytes
    // of a table: asked again, never allocated.
    CurrentTable(Mat(4, Vec(128, 1.0)));
    ASSERT_EQ(Run("times.txt\n1.5e-9\n1\n", [] { return Interpolation(); }), 0) << err_;
    EXPECT_NE(shown_.find("There is not enough memory for 2000000001 interpolated sampling units of 128 variables: "
                          "enter a larger interval."),
              std::string::npos)
        << shown_;
}

TEST_F(DynamicsTest, MenuRequirementsAndTheEndOfTheInput) {
    CurrentTable(kSeries);
    ASSERT_EQ(Run("3\n", [] { EXPECT_EQ(Dynamics(), 0); }), 0);
    EXPECT_NE(shown_.find("(99) return to the main menu\n\t\tEnter option: \nResemblance matrix comparing units is "
                          "missing for data"),
              std::string::npos);
    ASSERT_EQ(Run("4\n", [] { EXPECT_EQ(Dynamics(), 1); }), 0);
    EXPECT_NE(shown_.find("requires previously the definition of a correlation matrix"), std::string::npos);
    Put("times.txt", "1 2 3 4\n");
    // A report that cannot be opened: nothing is said to be in it.
    std::filesystem::create_directory("Vidive.txt");
    CurrentTable(kSeries);
    CurrentResemblance(3, 1);
    ASSERT_EQ(Run("n\n1\n2\n1\n2\n1\n", [] { EXPECT_EQ(Markov(), 0); }), 0);
    EXPECT_EQ(shown_.find("Results appended"), std::string::npos);
    ASSERT_EQ(Run("times.txt\n", [] { EXPECT_EQ(Rate_of_Change(), 0); }), 0);
    std::filesystem::remove("Vidive.txt");
    // A script that ends at any question ends in order.
    const std::string scripts[] = {"1\nn\n1\n2\n1\n2\n5\n", "2\ntimes.txt\n1\n", "3\ntimes.txt\n"};
    for (const std::string& s : scripts)
        for (size_t cut = 0; cut + 1 < s.size(); cut = s.find('\n', cut + 1))
            EXPECT_EQ(Run(s.substr(0, cut), [] { Dynamics(); }), 2) << s.substr(0, cut);
}

}  // namespace
