// Key O through the whole program on the dune meadow data: the eigenvalues
// and scores in the report are checked against an eigen analysis made here
// by Jacobi rotations of the matrix each method analyses, built here from the
// data by its textbook definition.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "reference_eigen.h"

namespace {

using Vec = std::vector<double>;
using Matrix = std::vector<Vec>;
using refeig::Eigen;
using refeig::Jacobi;

Matrix Dune() {
    std::istringstream in(ReadFile(std::string(TEVLAN_EXAMPLES) + "/dune.txt"));
    Matrix m(20, Vec(30));
    for (auto& row : m)
        for (double& x : row) in >> x;
    return m;
}

Matrix Columns(const Matrix& m) {
    Matrix t(m[0].size(), Vec(m.size()));
    for (size_t i = 0; i < m.size(); i++)
        for (size_t j = 0; j < m[0].size(); j++) t[j][i] = m[i][j];
    return t;
}

// Gower's double centring of squared dissimilarities: -0.5 (d2 - row mean -
// column mean + grand mean).
Matrix Centred(const Matrix& d2) {
    const size_t n = d2.size();
    Vec mean(n, 0.0);
    double grand = 0;
    for (size_t i = 0; i < n; i++) {
        for (size_t j = 0; j < n; j++) mean[i] += d2[i][j] / n;
        grand += mean[i] / n;
    }
    Matrix g(n, Vec(n));
    for (size_t i = 0; i < n; i++)
        for (size_t j = 0; j < n; j++) g[i][j] = -0.5 * (d2[i][j] - mean[i] - mean[j] + grand);
    return g;
}

double Mean(const Vec& x) { return std::accumulate(x.begin(), x.end(), 0.0) / x.size(); }

double Covariance(const Vec& x, const Vec& y) {
    const double mx = Mean(x), my = Mean(y);
    double s = 0;
    for (size_t k = 0; k < x.size(); k++) s += (x[k] - mx) * (y[k] - my);
    return s / (x.size() - 1);
}

// The numbers of the line that follows a heading (from position from).
Vec NumbersAfter(const std::string& text, const std::string& heading, size_t from = 0) {
    Vec v;
    size_t p = text.find(heading, from);
    if (p == std::string::npos) return v;
    size_t end = text.find('\n', p + heading.size());
    std::istringstream s(text.substr(p + heading.size(), end - p - heading.size()));
    double x;
    while (s >> x) v.push_back(x);
    return v;
}

// Score rows "Axis  k:" under the first occurrence of a heading.
Matrix ScoreRows(const std::string& report, const std::string& heading, int axes) {
    Matrix m;
    size_t p = report.find(heading);
    if (p == std::string::npos) return m;
    for (int k = 1; k <= axes; k++) {
        char label[24];
        snprintf(label, sizeof label, "Axis %2d:\t", k);
        m.push_back(NumbersAfter(report, label, p));
    }
    return m;
}

// Printed eigenvalues agree with the reference at five significant digits.
void ExpectEigenvalues(const Vec& printed, const Vec& reference, size_t count) {
    ASSERT_GE(printed.size(), count);
    for (size_t k = 0; k < count; k++)
        EXPECT_NEAR(printed[k], reference[k], 1e-4 * std::fabs(reference[k]) + 1e-9) << "eigenvalue " << k + 1;
}

// A printed score row equals the reference vector times a sign.
void ExpectUpToSign(const Vec& printed, const Vec& reference, double tolerance, const std::string& what) {
    ASSERT_EQ(printed.size(), reference.size()) << what;
    size_t big = 0;
    for (size_t i = 0; i < reference.size(); i++)
        if (std::fabs(reference[i]) > std::fabs(reference[big])) big = i;
    const double sign = (printed[big] >= 0) == (reference[big] >= 0) ? 1.0 : -1.0;
    for (size_t i = 0; i < reference.size(); i++)
        EXPECT_NEAR(printed[i], sign * reference[i], tolerance) << what << " entry " << i;
}

// Key N for dune.txt (quantitative, 20 x 30, rows by units, default labels).
const char* const kLoad = "n\nn\ndune.txt\n1\n20\n30\nN\n1\nn\n";
const char* const kUnitsHeading = "\nScores of sampling units on the first 6 components:\n";

// Principal coordinates of the dune plots from the squared dissimilarities
// d2: eigenvalues, coordinates and "scores.txt".
void CheckCoordinates(const RunResult& r, const Matrix& d2) {
    Eigen e = Jacobi(Centred(d2));
    const std::string report = r.File("Vidive.txt");
    double positive = 0, all = 0;
    int kept = 0;
    for (double v : e.values) {
        all += v;
        if (v > 0) positive += v;
    }
    for (double v : e.values) kept += 100 * v / positive > 1e-6;
    EXPECT_NE(report.find("\nNumber of eigenvalues >0.0001: \t" + std::to_string(kept) + "\n"), std::string::npos);
    Vec printed = NumbersAfter(report, "\nEigenvalues:\t");
    ASSERT_EQ(printed.size(), static_cast<size_t>(kept));
    ExpectEigenvalues(printed, e.values, kept);
    Vec percent = NumbersAfter(report, "\nPercentage:\t");
    EXPECT_NEAR(percent[0], 100 * e.values[0] / positive, 1e-3);
    // The warning comes with a notably negative eigenvalue.
    const bool negative = e.values.back() / all < -0.001;
    EXPECT_EQ(report.find("seems not to have\n           euclidean metric properties.") != std::string::npos, negative);
    // Coordinates: eigenvector k scaled to length sqrt(lambda_k).
    Matrix scores = ScoreRows(report, kUnitsHeading, 6);
    for (int k = 0; k < 6; k++) {
        Vec ref = e.vectors[k];
        for (double& x : ref) x *= std::sqrt(e.values[k]);
        ExpectUpToSign(scores[k], ref, 1e-4 * std::sqrt(e.values[0]), "axis " + std::to_string(k + 1));
    }
    // "scores.txt": the coordinates divided by sqrt(lambda), the unit
    // eigenvectors, one line per plot with six axes.
    std::istringstream file(r.File("scores.txt"));
    Matrix lines;
    for (std::string l; std::getline(file, l);) {
        std::istringstream s(l);
        Vec row;
        for (double x; s >> x;) row.push_back(x);
        lines.push_back(row);
    }
    ASSERT_EQ(lines.size(), 20u);
    for (int k = 0; k < 6; k++) {
        Vec column(20);
        for (int i = 0; i < 20; i++) column[i] = lines[i].at(k);
        ExpectUpToSign(column, e.vectors[k], 1e-5, "scores.txt axis " + std::to_string(k + 1));
    }
}

TEST(Ordination, PrincipalCoordinatesOfEuclideanDistancesBetweenPlots) {
    Dialogue d;
    d.PutExample("dune.txt");
    RunResult r = d.Run(std::string(kLoad) + "r\n1\n3\n0\nn\no\n1\nn\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("Ordination method:\n\t(1)principal coordinates analysis\n"), std::string::npos);
    EXPECT_NE(r.out.find("\nEvaluate significance of ordination axes using bootstrap resampling? y/n "),
              std::string::npos);
    // After O the status names the ordination and the session is saved.
    std::string after = r.out.substr(r.out.find("See results on file Vidive.txt.", r.out.find("Ordination method")));
    EXPECT_NE(after.find("Ordination scores available: (1)principal coordinates analysis\nSession IS saved.\n"),
              std::string::npos)
        << after.substr(0, 800);

    Matrix dune = Dune();
    Matrix d2(20, Vec(20));
    for (int i = 0; i < 20; i++)
        for (int j = 0; j < 20; j++) {
            double s = 0;
            for (int k = 0; k < 30; k++) s += (dune[i][k] - dune[j][k]) * (dune[i][k] - dune[j][k]);
            d2[i][j] = s;
        }
    CheckCoordinates(r, d2);
    // Euclidean: every eigenvalue is a variance of the centred data, the
    // total is their sum of squares, and 19 axes span 20 plots.
    const std::string report = r.File("Vidive.txt");
    EXPECT_NE(report.find("\nNumber of eigenvalues >0.0001: \t19\n"), std::string::npos);
    double total = 0;
    for (const Vec& c : Columns(dune)) {
        const double m = Mean(c);
        for (double x : c) total += (x - m) * (x - m);
    }
    Vec ev = NumbersAfter(report, "\nEigenvalues:\t");
    EXPECT_NEAR(std::accumulate(ev.begin(), ev.end(), 0.0), total, 1e-3 * total);
    EXPECT_NE(report.find("\nCorrelation coefficients between original descriptors and ordination axes:\nvariables\t"),
              std::string::npos);
    EXPECT_NE(report.find("\nBartlett's test."), std::string::npos);

    // The next start continues the session with its ordination.
    r = d.Run("y\na\nx\n");
    EXPECT_NE(r.out.find("Ordination scores available: (1)principal coordinates analysis\n"), std::string::npos);
}

TEST(Ordination, PrincipalCoordinatesOfBrayCurtisDissimilarities) {
    Dialogue d;
    d.PutExample("dune.txt");
    RunResult r = d.Run(std::string(kLoad) + "r\n1\n20\n0\nn\no\n1\ny\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.err, "");
    Matrix dune = Dune();
    Matrix d2(20, Vec(20));
    for (int i = 0; i < 20; i++)
        for (int j = 0; j < 20; j++) {
            double num = 0, den = 0;
            for (int k = 0; k < 30; k++) num += std::fabs(dune[i][k] - dune[j][k]), den += dune[i][k] + dune[j][k];
            d2[i][j] = (num / den) * (num / den);
        }
    CheckCoordinates(r, d2);
    const std::string report = r.File("Vidive.txt");
    EXPECT_NE(report.find("\nMatrix with squared distances:\n"), std::string::npos);
    EXPECT_NE(report.find("\nMatrix subjected to eigenanalysis:\n"), std::string::npos);

    // Bartlett's test over the 14 positive eigenvalues of the axes (n = 30
    // species): u = (30 - (2 x 14 + 11) / 6) (q ln(mean) - sum of ln) over
    // axes k to 14. The zero and negative eigenvalues take no part, so the
    // last axes are not all "significant" at p = 0.
    Vec ev = NumbersAfter(report, "\nEigenvalues:\t");
    ASSERT_EQ(ev.size(), 14u);
    size_t at = report.find("Bartlett\tu\tp\n");
    ASSERT_NE(at, std::string::npos);
    std::istringstream lines(report.substr(at + 13));
    for (int k = 1; k <= 14; k++) {
        std::string line;
        std::getline(lines, line);
        int axis = 0;
        double u = -1, p = -1;
        ASSERT_EQ(sscanf(line.c_str(), "Axis %d:\t%lf\t%lf", &axis, &u, &p), 3) << line;
        EXPECT_EQ(axis, k);
        const int q = 14 - k + 1;
        double sum = 0, logs = 0;
        for (int i = k - 1; i < 14; i++) sum += ev[i], logs += std::log(ev[i]);
        EXPECT_NEAR(u, (30 - 39.0 / 6) * (q * std::log(sum / q) - logs), 1e-3 * u + 1e-3) << line;
        if (k >= 12) {
            EXPECT_GT(p, 1e-3) << line;
        }
    }
}

// Principal components between the 30 species: the eigenvalues of the
// covariance or correlation matrix, and the sum of squares of the plot scores
// of each component equal to its eigenvalue.
void CheckComponents(const RunResult& r, bool correlations) {
    Matrix species = Columns(Dune());
    Matrix c(30, Vec(30));
    for (int i = 0; i < 30; i++)
        for (int j = 0; j < 30; j++) {
            c[i][j] = Covariance(species[i], species[j]);
            if (correlations) c[i][j] /= std::sqrt(Covariance(species[i], species[i]) * Covariance(species[j], species[j]));
        }
    Eigen e = Jacobi(c);
    const std::string report = r.File("Vidive.txt");
    Vec printed = NumbersAfter(report, "\nEigenvalues:\t");
    ExpectEigenvalues(printed, e.values, 19);
    if (correlations) {
        EXPECT_NEAR(std::accumulate(printed.begin(), printed.end(), 0.0), 30.0, 1e-2);
    }
    Matrix scores = ScoreRows(report, kUnitsHeading, 6);
    for (int k = 0; k < 6; k++) {
        ASSERT_EQ(scores[k].size(), 20u);
        double s = 0, q = 0;
        for (double x : scores[k]) s += x, q += x * x;
        EXPECT_NEAR(s, 0.0, 1e-3 * std::sqrt(e.values[k]));
        EXPECT_NEAR(q, e.values[k], 1e-3 * e.values[k]) << "component " << k + 1;
    }
    // The eigenvectors are printed for six axes, unit length.
    Vec v1 = NumbersAfter(report, "\nEigenvectors (normalized, max. 6):\nAxis 1:\t");
    ASSERT_EQ(v1.size(), 30u);
    ExpectUpToSign(v1, e.vectors[0], 1e-4, "first eigenvector");
    EXPECT_NE(report.find("\nContribution (percentage) of original descriptors in each ordination axis:\nvariables\t"),
              std::string::npos);
}

TEST(Ordination, PrincipalComponentsOfCorrelationsBetweenSpecies) {
    Dialogue d;
    d.PutExample("dune.txt");
    RunResult r = d.Run(std::string(kLoad) + "r\n2\n17\n0\nn\no\n2\nn\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.err, "");
    CheckComponents(r, true);
}

TEST(Ordination, PrincipalComponentsOfCovariancesBetweenSpecies) {
    Dialogue d;
    d.PutExample("dune.txt");
    // Then the stability of 2 axes: sizes 10, 15, 20, 3 iterations, seed 5.
    RunResult r = d.Run(std::string(kLoad) + "r\n2\n22\n0\nn\no\n2\nn\ny\n2\n10\n5\n3\n2\n5\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.err, "");
    CheckComponents(r, false);
    const std::string report = r.File("Vidive.txt");
    EXPECT_NE(report.find("Considering up to 2 ordination axes."), std::string::npos);
    EXPECT_NE(report.find("Sample sizes at 3 sampling step(s):\t10\t15\t20\t"), std::string::npos);
}

// A saved session of the dune data after the double adjustment within
// sampling units (deviations from the expectations of the margins), as key T
// leaves it.
std::string DoublyAdjustedSession(const Matrix& x, Matrix& z) {
    const int n = 20, p = 30;
    Vec r(n, 0.0), c(p, 0.0);
    double t = 0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) r[i] += x[i][j], c[j] += x[i][j], t += x[i][j];
    z.assign(n, Vec(p));
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) z[i][j] = (x[i][j] * t - r[i] * c[j]) / (std::sqrt(r[i] * c[j]) * t);
    std::ostringstream s;
    s.precision(17);
    s << "Sessao\ndune.txt\n16/May/2007\n1\n20\n30\n1\n1\n0\n0\nN\n";
    for (int j = 0; j < p; j++) s << "3\t";
    s << "\n";
    for (auto& row : x) {
        for (double v : row) s << v << "\t";
        s << "\n";
    }
    s << "0\n0\n6\n";
    for (auto& row : z) {
        for (double v : row) s << v << "\t";
        s << "\n";
    }
    for (int i = 1; i <= n; i++) s << i << "\t";
    s << "\n";
    for (int j = 1; j <= p; j++) s << "s" << j << "\t";
    s << "\n1\n0\n0\n0\n";
    return s.str();
}

TEST(Ordination, CorrespondenceAnalysisOfTheSpeciesTable) {
    Matrix x = Dune(), z;
    Dialogue d;
    d.Put("Sessao.trk", DoublyAdjustedSession(x, z));
    RunResult r = d.Run("y\nr\n2\n1\n0\nn\no\n3\nn\nn\nx\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.err, "");
    const std::string report = r.File("Vidive.txt");
    ASSERT_NE(report.find("Ordination method: (3)correspondence analysis\n"), std::string::npos) << r.out;
    // The total inertia: chi-square of the table over its grand total.
    double t = 0, chi2 = 0;
    Vec rs(20, 0.0), cs(30, 0.0);
    for (int i = 0; i < 20; i++)
        for (int j = 0; j < 30; j++) rs[i] += x[i][j], cs[j] += x[i][j], t += x[i][j];
    for (int i = 0; i < 20; i++)
        for (int j = 0; j < 30; j++) {
            const double e = rs[i] * cs[j] / t;
            chi2 += (x[i][j] - e) * (x[i][j] - e) / e;
        }
    Vec printed = NumbersAfter(report, "\nEigenvalues:\t");
    ASSERT_EQ(printed.size(), 19u);
    EXPECT_NEAR(std::accumulate(printed.begin(), printed.end(), 0.0), chi2 / t, 1e-4 * chi2 / t);
    // Each eigenvalue from the species cross-products of the adjusted table.
    Matrix zz = Columns(z), cross(30, Vec(30));
    for (int a = 0; a < 30; a++)
        for (int b = 0; b < 30; b++) cross[a][b] = std::inner_product(zz[a].begin(), zz[a].end(), zz[b].begin(), 0.0);
    ExpectEigenvalues(printed, Jacobi(cross).values, 19);
    EXPECT_NE(report.find("\nScores of variables on the first 6 components:\n"), std::string::npos);
    EXPECT_NE(report.find("\nScores of sampling units on the first 6 components:\n"), std::string::npos);
    EXPECT_EQ(report.find("Bartlett"), std::string::npos);
    // The plots' scores are standard coordinates: centred and of unit
    // variance when weighted by the plot totals.
    Matrix plots = ScoreRows(report, kUnitsHeading, 2);
    for (int k = 0; k < 2; k++) {
        double m = 0, q = 0;
        for (int i = 0; i < 20; i++) m += rs[i] / t * plots[k][i], q += rs[i] / t * plots[k][i] * plots[k][i];
        EXPECT_NEAR(m, 0.0, 1e-3);
        EXPECT_NEAR(q, 1.0, 1e-3);
    }
}

// After a scalar transformation the scores take the margins of the table
// the eigenvalues come from: vegan's cca(sqrt(dune)), u and v of axis 1.
TEST(Ordination, CorrespondenceAnalysisOfSquareRoots) {
    Dialogue d;
    d.PutExample("dune.txt");
    const std::string report =
        d.Run(std::string(kLoad) + "t\n1\n2\n1\n6\nn\nr\n2\n1\n0\nn\no\n3\nn\nn\nx\n").File("Vidive.txt");
    Vec plots = ScoreRows(report, kUnitsHeading, 1).at(0),
        species = ScoreRows(report, "\nScores of variables on the first 6 components:\n", 1).at(0);
    plots.resize(4), species.resize(4);
    ExpectUpToSign(plots, {0.8262248529, 0.6144894757, 0.1044930399, 0.1511702077}, 1e-4, "plots");
    ExpectUpToSign(species, {1.2182508018, -1.2818900324, 1.3468410250, -0.5195829513}, 1e-4, "species");
}

TEST(Ordination, CorrespondenceAnalysisNeedsTheDoubleAdjustment) {
    Dialogue d;
    d.PutExample("dune.txt");
    RunResult r = d.Run(std::string(kLoad) + "r\n2\n1\n0\nn\no\n3\no\n99\nx\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Data transformation and/or resemblance measure are not compatible.\n"), std::string::npos);
    EXPECT_EQ(r.out.find("Ordination scores available"), std::string::npos);
    EXPECT_EQ(r.File("Vidive.txt").find("ORDINATION"), std::string::npos);
}

}  // namespace
