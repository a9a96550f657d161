// Key R: the resemblance dialogue, its report and the main loop's bookkeeping
// after it. Printed matrices are checked against values computed here from
// each measure's textbook definition.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "screens.h"

namespace {

using Matrix = std::vector<std::vector<double>>;

// The numbers of an example file (rows x cols, read by rows).
Matrix Example(const std::string& name, int rows, int cols) {
    std::istringstream in(ReadFile(std::string(TEVLAN_EXAMPLES) + "/" + name));
    Matrix m(rows, std::vector<double>(cols));
    for (auto& row : m)
        for (double& x : row) in >> x;
    return m;
}

std::string TableText(const Matrix& m) {
    std::ostringstream s;
    for (const auto& row : m) {
        for (double x : row) s << x << ' ';
        s << '\n';
    }
    return s.str();
}

Matrix Columns(const Matrix& m) {
    Matrix t(m[0].size(), std::vector<double>(m.size()));
    for (size_t i = 0; i < m.size(); i++)
        for (size_t j = 0; j < m[0].size(); j++) t[j][i] = m[i][j];
    return t;
}

// Answers of key N for a file of the given content and size, rows by
// sampling units, default labels, no data matrix in the report.
std::string Load(const std::string& file, int content, int units, int variables) {
    std::ostringstream s;
    s << "n\nn\n" << file << "\n" << content << "\n" << units << "\n" << variables << "\n";
    if (variables > 1) s << "N\n";
    s << "1\nn\n";
    return s.str();
}

// The n x n matrix printed after the k-th (from 0) occurrence of header.
Matrix Printed(const std::string& report, const std::string& header, int n, int k = 0) {
    size_t p = report.find(header);
    for (int i = 0; i < k && p != std::string::npos; i++) p = report.find(header, p + header.size());
    Matrix m;
    if (p == std::string::npos) return m;
    std::istringstream in(report.substr(p + header.size()));
    m.assign(n, std::vector<double>(n));
    for (auto& row : m)
        for (double& x : row) in >> x;
    return m;
}

// Printed at five significant digits.
void ExpectMatrix(const Matrix& printed, const Matrix& expected, const std::string& what) {
    ASSERT_EQ(printed.size(), expected.size()) << what;
    for (size_t i = 0; i < expected.size(); i++)
        for (size_t j = 0; j < expected.size(); j++)
            EXPECT_NEAR(printed[i][j], expected[i][j], 1e-4 * std::fabs(expected[i][j]) + 1e-9)
                << what << " [" << i << "][" << j << "]";
}

Matrix Pairwise(const Matrix& rows, const std::function<double(const std::vector<double>&,
                                                               const std::vector<double>&)>& f) {
    Matrix r(rows.size(), std::vector<double>(rows.size()));
    for (size_t i = 0; i < rows.size(); i++)
        for (size_t j = 0; j < rows.size(); j++) r[i][j] = f(rows[i], rows[j]);
    return r;
}

double Euclidean(const std::vector<double>& x, const std::vector<double>& y) {
    double s = 0;
    for (size_t k = 0; k < x.size(); k++) s += (x[k] - y[k]) * (x[k] - y[k]);
    return std::sqrt(s);
}

double BrayCurtis(const std::vector<double>& x, const std::vector<double>& y) {
    double d = 0, t = 0;
    for (size_t k = 0; k < x.size(); k++) {
        d += std::fabs(x[k] - y[k]);
        t += x[k] + y[k];
    }
    return d / t;
}

double Pearson(const std::vector<double>& x, const std::vector<double>& y) {
    const double n = static_cast<double>(x.size());
    double mx = 0, my = 0;
    for (size_t k = 0; k < x.size(); k++) {
        mx += x[k] / n;
        my += y[k] / n;
    }
    double sxy = 0, sxx = 0, syy = 0;
    for (size_t k = 0; k < x.size(); k++) {
        sxy += (x[k] - mx) * (y[k] - my);
        sxx += (x[k] - mx) * (x[k] - mx);
        syy += (y[k] - my) * (y[k] - my);
    }
    return sxy / std::sqrt(sxx * syy);
}

// a / (a + b + c) over presences.
double Jaccard(const std::vector<double>& x, const std::vector<double>& y) {
    double a = 0, bc = 0;
    for (size_t k = 0; k < x.size(); k++) {
        if (x[k] > 0 && y[k] > 0) a++;
        if ((x[k] > 0) != (y[k] > 0)) bc++;
    }
    return a / (a + bc);
}

const std::string kDashes(79, '-');
const char* const kMatrixHeader = "\nResemblance matrix:\n";

TEST(Resemblance, EuclideanBetweenUnitsWithItsReportAndBookkeeping) {
    Dialogue d;
    d.PutExample("dune.txt");
    RunResult r = d.Run(Load("dune.txt", 1, 20, 30) + "r\n1\n3\n0\ny\nx\n");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("-\nRESEMBLANCE MEASURES\nOptions: \n\t(1)comparing sampling units\n "
                         "\t(2)comparing variables\n \t(99)cancel and return to main menu\n \t\tEnter option: "
                         "\nType of resemblance measure (1)comparing sampling units: \n\t(1)product moment\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("\nTransformations of the resemblance matrix: \n\t(0)none\n"), std::string::npos);
    EXPECT_NE(r.out.find("Enter option: Include resemblance matrix in the output file? y/n "
                         "\nSee results on file Vidive.txt.\n"),
              std::string::npos);
    EXPECT_EQ(r.out.find("Tables.txt"), std::string::npos);
    // Stage 2: ordination and the group tests are offered now.
    std::string after = r.out.substr(r.out.find("See results on file Vidive.txt."));
    EXPECT_NE(after.find("Resemblance measure: (3)Euclidean distance, (1)comparing sampling units\n"
                         "Transformation of the resemblance measure: (0)none\nSession IS saved.\n"),
              std::string::npos);
    EXPECT_NE(after.find("\t* O  ordination\n"), std::string::npos);
    EXPECT_NE(after.find("\t* P  randomization tests"), std::string::npos);
    EXPECT_NE(after.find("\t  A  randomization tests"), std::string::npos);

    const std::string report = Normalise(r.File("Vidive.txt"));
    EXPECT_EQ(report.find("\nTEVLAN version 3.85b\n" + kDashes + "\nRESEMBLANCE MEASURES\n" + kDashes +
                          "\n<TIME>\n\nAnalysis status:\nData file name: dune.txt\n"),
              0u)
        << report.substr(0, 300);
    Matrix dune = Example("dune.txt", 20, 30);
    ExpectMatrix(Printed(report, kMatrixHeader, 20), Pairwise(dune, Euclidean), "Euclidean");
    // By hand: units 1 and 2 differ by 2, 2, 3, 4, 2, 5, 5 and 5 in eight
    // species: sqrt(112).
    EXPECT_NEAR(Printed(report, kMatrixHeader, 20)[0][1], std::sqrt(112.0), 1e-3);

    // The session file holds the matrix: the next start takes it back.
    r = d.Run("y\na\nx\n");
    EXPECT_NE(r.out.find("Resemblance measure: (3)Euclidean distance, (1)comparing sampling units\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("\t* O  ordination\n"), std::string::npos);
}

TEST(Resemblance, EachPostTransformationOfBrayCurtis) {
    Dialogue d;
    d.PutExample("dune.txt");
    RunResult r = d.Run(Load("dune.txt", 1, 20, 30) + "r\n1\n20\n0\ny\nr\n1\n20\n1\ny\nr\n1\n20\n2\ny\nx\n");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::string report = r.File("Vidive.txt");
    // Three reports, appended one after the other.
    EXPECT_EQ(Count(report, "RESEMBLANCE MEASURES\n"), 3);
    EXPECT_NE(report.find("Transformation of the resemblance measure: (2)square root of resemblance\n"),
              std::string::npos);
    Matrix bc = Pairwise(Example("dune.txt", 20, 30), BrayCurtis);
    Matrix squared = bc, root = bc;
    for (size_t i = 0; i < bc.size(); i++)
        for (size_t j = 0; j < bc.size(); j++) {
            squared[i][j] = bc[i][j] * bc[i][j];
            root[i][j] = std::sqrt(bc[i][j]);
        }
    ExpectMatrix(Printed(report, kMatrixHeader, 20, 0), bc, "Bray-Curtis");
    ExpectMatrix(Printed(report, kMatrixHeader, 20, 1), squared, "squared");
    ExpectMatrix(Printed(report, kMatrixHeader, 20, 2), root, "square root");
    EXPECT_NE(r.out.find("Transformation of the resemblance measure: (1)squared resemblance\n"), std::string::npos);
}

TEST(Resemblance, JaccardAfterLoadingPresenceAbsenceData) {
    Matrix pa = Example("dune.txt", 20, 30);
    for (auto& row : pa)
        for (double& x : row) x = x > 0 ? 1 : 0;
    Dialogue d;
    d.Put("dune_pa.txt", TableText(pa));
    // Binary data compared by variables offer these measures only.
    RunResult menu = d.Run(Load("dune_pa.txt", 4, 20, 30) + "r\n2\n11\n99\nx\n");
    std::string list = menu.out.substr(menu.out.find("Type of resemblance measure (2)comparing variables"));
    list = list.substr(0, list.find("Enter option"));
    std::string offered;
    for (int k = 1; k <= 29; k++)
        if (list.find("\t(" + std::to_string(k) + ")") != std::string::npos) offered += std::to_string(k) + " ";
    EXPECT_EQ(offered, "1 2 3 6 7 8 9 10 11 12 13 14 15 16 17 18 21 22 23 26 29 ");

    RunResult r = d.Run("y\nr\n1\n11\n0\ny\nx\n");
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Data type: (4) binary\n"), std::string::npos);
    EXPECT_NE(r.out.find("\t(11)Jaccard\n"), std::string::npos);
    EXPECT_EQ(r.out.find("\t(4)mutual information\n"), std::string::npos);
    Matrix expected = Pairwise(pa, Jaccard);
    ExpectMatrix(Printed(r.File("Vidive.txt"), kMatrixHeader, 20), expected, "Jaccard");
    // Units 1 and 2 (presence/absence): 5 shared species of 5 and 10 present.
    EXPECT_DOUBLE_EQ(expected[0][1], 5.0 / 10.0);
}

TEST(Resemblance, CorrelationBetweenVariablesAndItsRefusedSquareRoot) {
    Dialogue d;
    d.PutExample("dune.txt");
    RunResult r = d.Run(Load("dune.txt", 1, 20, 30) + "r\n2\n17\n0\ny\nr\n2\n17\n2\ny\nx\n");
    ASSERT_EQ(r.status, 0);
    std::string report = r.File("Vidive.txt");
    Matrix species = Columns(Example("dune.txt", 20, 30));
    ExpectMatrix(Printed(report, kMatrixHeader, 30), Pairwise(species, Pearson), "correlation");
    EXPECT_NE(r.out.find("Resemblance measure: (17)correlation, (2)comparing variables\n"), std::string::npos);
    // Stage 4: variables are compared, so the variable tests come in and
    // the group tests go.
    std::string after = r.out.substr(r.out.find("See results on file Vidive.txt."));
    EXPECT_NE(after.find("\t* A  randomization tests"), std::string::npos);
    EXPECT_NE(after.find("\t  P  randomization tests"), std::string::npos);

    // Negative correlations have no square root: refused, nothing changed.
    EXPECT_NE(r.err.find("\nThe resemblance matrix has negative values, whose square root is not defined: "
                         "nothing was changed.\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Count(report, "RESEMBLANCE MEASURES\n"), 1);
    std::string last = r.out.substr(r.out.rfind("Analysis status:"));
    EXPECT_NE(last.find("Transformation of the resemblance measure: (0)none\n"), std::string::npos);
    EXPECT_EQ(r.out.find("nan"), std::string::npos);
    EXPECT_EQ(report.find("nan"), std::string::npos);
}

TEST(Resemblance, CancelledDialoguesChangeNothing) {
    Dialogue d;
    d.PutExample("dune.txt");
    d.Put("Vidive.txt", "an older report\n");
    // Gower with joint absences counted, then: cancel at the direction
    // menu; Gower without joint absences but cancelled at the last menu.
    RunResult r = d.Run("e\n" + Load("dune.txt", 1, 20, 30) + "r\n99\nr\n1\n5\nn\n99\nx\n");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.File("Vidive.txt"), "an older report\n");  // no report, still to be erased
    const std::string beforeR = r.File("Sessao.trk");
    // Stage 0 at the start, then stage 1 after N and after both cancels.
    EXPECT_EQ(Count(r.out, "\t  O  ordination\n"), 4);
    EXPECT_EQ(Count(r.out, "\t* O  ordination\n"), 0);

    r = d.Run("y\ne\nr\n1\n5\ny\n0\nn\nr\n1\n5\nn\n99\nr\n99\nx\n");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::string report = r.File("Vidive.txt");
    EXPECT_EQ(report.find("an older report"), std::string::npos);  // erased by the first report
    EXPECT_EQ(Count(report, "RESEMBLANCE MEASURES\n"), 1);
    EXPECT_EQ(report.find("Resemblance matrix"), std::string::npos);  // not asked for
    std::string last = r.out.substr(r.out.rfind("Analysis status:"));
    EXPECT_NE(last.find("Resemblance measure: (5)Gower index, (1)comparing sampling units\n"
                        "Transformation of the resemblance measure: (0)none\n"
                        "Joint absences in binary variables were considered.\n"),
              std::string::npos)
        << last;
    EXPECT_NE(last.find("\t* O  ordination\n"), std::string::npos);
    const std::string afterR = r.File("Sessao.trk");
    EXPECT_NE(afterR, beforeR);
    // The cancelled runs left the session file as the successful one wrote it.
    r = d.Run("y\na\nr\n99\nr\n1\n3\n99\nx\n");
    EXPECT_EQ(r.File("Sessao.trk"), afterR);
    EXPECT_EQ(r.File("Vidive.txt"), report);
}

TEST(Resemblance, SessionFileFollowsTheFourHundredRowRule) {
    for (int units : {400, 401}) {
        Matrix table(units, std::vector<double>(2));
        for (int i = 0; i < units; i++) table[i] = {static_cast<double>(i % 17), static_cast<double>(i % 5)};
        Dialogue d;
        d.Put("big.txt", TableText(table));
        RunResult r = d.Run(Load("big.txt", 1, units, 2) + "x\n");
        const std::string afterN = r.File("Sessao.trk");
        r = d.Run("y\nr\n1\n3\n0\nn\nx\n");
        ASSERT_EQ(r.status, 0) << units;
        std::string last = r.out.substr(r.out.rfind("Analysis status:"));
        EXPECT_NE(last.find("Resemblance measure: (3)Euclidean distance"), std::string::npos);
        if (units == 401) {
            EXPECT_NE(last.find("Session is NOT saved.\n"), std::string::npos);
            EXPECT_EQ(r.File("Sessao.trk"), afterN);
        } else {
            EXPECT_NE(last.find("Session IS saved.\n"), std::string::npos);
            // The upper triangle with the diagonal, one value a line, after
            // the options.
            std::string session = r.File("Sessao.trk");
            EXPECT_NE(session, afterN);
            EXPECT_GT(Count(session, "\n"), 400 * 401 / 2);
            r = d.Run("y\na\nx\n");
            EXPECT_NE(r.out.find("Resemblance measure: (3)Euclidean distance"), std::string::npos);
        }
    }
}

TEST(Resemblance, ReportThatCannotBeOpenedChangesNothing) {
    Dialogue d;
    d.PutExample("dune.txt");
    std::filesystem::create_directory(d.Folder() + "/Vidive.txt");
    RunResult r = d.Run("e\n" + Load("dune.txt", 1, 20, 30) + "x\n");
    const std::string afterN = r.File("Sessao.trk");
    r = d.Run("y\ne\nr\n1\n3\n0\ny\nx\n");
    ASSERT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\ncan't open Vidive.txt: is a folder \n"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("See results on file Vidive.txt"), std::string::npos);
    std::string last = r.out.substr(r.out.rfind("Analysis status:"));
    EXPECT_EQ(last.find("Resemblance measure"), std::string::npos);
    EXPECT_NE(last.find("\t  O  ordination\n"), std::string::npos);
    EXPECT_EQ(r.File("Sessao.trk"), afterN);
}

// Mutual entropy in nats from counts over the rows of three nominal
// variables (alpha 1).
struct Entropies {
    std::map<std::vector<double>, double> counts;
    double n = 0;
    double P(const std::vector<double>& key) const {
        auto it = counts.find(key);
        return it == counts.end() ? 0 : it->second / n;
    }
};

TEST(Resemblance, MutualEntropyOfThreeVariablesWithTriplets) {
    Matrix env = Example("dune_env_nominal.txt", 20, 4);
    Matrix three(20);
    for (int i = 0; i < 20; i++) three[i] = {env[i][0], env[i][1], env[i][2]};
    Dialogue d;
    d.Put("three.txt", TableText(three));
    // Qualitative data: no cancel entry in the direction menu.
    RunResult r = d.Run(Load("three.txt", 3, 20, 3) + "r\n2\n7\n1\n0\ny\nx\n");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("Options: \n\t(1)comparing sampling units\n \t(2)comparing variables\n \t\tEnter option: "),
              std::string::npos);
    EXPECT_NE(r.out.find("Enter order of entropy measure (alpha in Reyni's general entropy): "), std::string::npos);
    EXPECT_NE(r.out.find("\nSee results on file Vidive.txt.\n\nSee contingency tables in file Tables.txt.\n"),
              std::string::npos);
    EXPECT_TRUE(r.HasFile("Tables.txt"));
    const std::string report = r.File("Vidive.txt");
    EXPECT_NE(report.find("Order of entropy measure (alpha in Reyni's general entropy): 1\n"), std::string::npos);

    // Joint, two-way and one-way proportions of the three variables.
    auto p = [&](std::vector<int> which, std::vector<double> values) {
        double c = 0;
        for (const auto& row : three) {
            bool all = true;
            for (size_t k = 0; k < which.size(); k++) all = all && row[which[k]] == values[k];
            if (all) c++;
        }
        return c / 20.0;
    };
    std::vector<std::vector<double>> states(3);
    for (int v = 0; v < 3; v++)
        for (const auto& row : three)
            if (std::find(states[v].begin(), states[v].end(), row[v]) == states[v].end()) states[v].push_back(row[v]);
    Matrix mi(3, std::vector<double>(3));
    for (int a = 0; a < 3; a++)
        for (int b = 0; b < 3; b++)
            for (double x : states[a])
                for (double y : states[b]) {
                    double pxy = a == b ? (x == y ? p({a}, {x}) : 0) : p({a, b}, {x, y});
                    if (pxy > 0) mi[a][b] += pxy * std::log(pxy / (p({a}, {x}) * p({b}, {y})));
                }
    ExpectMatrix(Printed(report, kMatrixHeader, 3), mi, "mutual entropy (nats)");
    Matrix bits = mi;
    for (auto& row : bits)
        for (double& x : row) x /= std::log(2.0);
    ExpectMatrix(Printed(report, "\nResemblance matrix (bits):\n", 3), bits, "mutual entropy (bits)");

    // Conditional mutual information I(a;b|c) = sum p(abc) ln(p(abc) p(c) / (p(ac) p(bc))).
    auto conditional = [&](int a, int b, int c) {
        double s = 0;
        for (double x : states[a])
            for (double y : states[b])
                for (double z : states[c]) {
                    double pxyz = p({a, b, c}, {x, y, z});
                    if (pxyz > 0) s += pxyz * std::log(pxyz * p({c}, {z}) / (p({a, c}, {x, z}) * p({b, c}, {y, z})));
                }
        return s;
    };
    // The triplet's own value: what conditioning adds to the pair's.
    const double triplet = conditional(0, 1, 2) - mi[0][1];
    auto value = [&](const std::string& label) {
        size_t at = report.find(label);
        return at == std::string::npos ? NAN : std::stod(report.substr(at + label.size()));
    };
    EXPECT_NEAR(value("\nMutual entropy between variables in triplets (nats):\nVar. 1 x 2 x 3:\t"), triplet, 1e-5);
    const std::string condNats = "\nMutual entropy pairwise conditional (|) to a third variable (nats):\n";
    const std::string condBits = "\n\nMutual entropy pairwise conditional (|) to a third variable (bits):\n";
    ASSERT_NE(report.find(condNats + "Var. 1 x 2 | 3:\t"), std::string::npos);
    ASSERT_NE(report.find(condBits + "Var. 1 x 2 | 3:\t"), std::string::npos);
    const std::string nats = report.substr(report.find(condNats), report.find(condBits) - report.find(condNats));
    const std::string inBits = report.substr(report.find(condBits));
    auto line = [](const std::string& text, const std::string& label) {
        size_t at = text.find(label);
        return at == std::string::npos ? NAN : std::stod(text.substr(at + label.size()));
    };
    EXPECT_NEAR(line(nats, "Var. 1 x 2 | 3:\t"), conditional(0, 1, 2), 1e-5);
    EXPECT_NEAR(line(nats, "Var. 1 x 3 | 2:\t"), conditional(0, 2, 1), 1e-5);
    EXPECT_NEAR(line(nats, "Var. 2 x 3 | 1:\t"), conditional(1, 2, 0), 1e-5);
    EXPECT_NEAR(line(inBits, "Var. 2 x 3 | 1:\t"), conditional(1, 2, 0) / std::log(2.0), 1e-5);
    EXPECT_NEAR(value("\nMutual entropy between variables in triplets (bits):\nVar. 1 x 2 x 3:\t"),
                triplet / std::log(2.0), 1e-5);
    EXPECT_EQ(Count(report, "Var. "), 8);  // one triplet and three pairs, twice

    // Rajski's metric without the matrix in the report: the tables are
    // written but not named on the console.
    r = d.Run("y\na\nr\n2\n8\n1\n0\nn\nx\n");
    EXPECT_NE(r.out.find("Resemblance measure: (8)Rajski's metric, (2)comparing variables\n"), std::string::npos);
    EXPECT_EQ(r.out.find("Tables.txt"), std::string::npos);
}

TEST(Resemblance, MahalanobisWithASingularCovarianceMatrixIsRefusedAloud) {
    // 20 plots on 30 species: the 30 x 30 covariance matrix of 20 units has
    // rank 19 at most and no inverse. The user is told, and the Euclidean
    // matrix computed before stays current.
    Dialogue d;
    d.PutExample("dune.txt");
    RunResult r = d.Run(Load("dune.txt", 1, 20, 30) + "r\n1\n3\n0\nn\nr\n1\n29\n0\ny\nx\n");
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("\nThe covariance matrix is singular (there may be too few entities for the number of "
                         "descriptors): the Mahalanobis distance cannot be computed. Nothing was changed.\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Count(r.File("Vidive.txt"), "RESEMBLANCE MEASURES\n"), 1);
    std::string last = r.out.substr(r.out.rfind("Analysis status:"));
    EXPECT_NE(last.find("Resemblance measure: (3)Euclidean distance, (1)comparing sampling units\n"),
              std::string::npos);
}

TEST(Resemblance, MixedDataOfferOnlyGowerBetweenUnits) {
    Matrix env = Example("dune_env_nominal.txt", 20, 4);
    Dialogue d;
    d.PutExample("dune_env_nominal.txt");
    // Moisture and Use as nominal, Management and Manure as quantitative.
    RunResult r = d.Run("n\nn\ndune_env_nominal.txt\n5\n20\n4\n2 3 2 3\nn\nN\n2\nn\n"
                        "r\n1\n5\nn\n0\ny\nx\n");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    std::string menus = r.out.substr(r.out.find("RESEMBLANCE MEASURES\nOptions:"));
    menus = menus.substr(0, menus.find("Consider matching absences"));
    EXPECT_EQ(menus,
              "RESEMBLANCE MEASURES\nOptions: \n\t(1)comparing sampling units\n \t\tEnter option: "
              "\nType of resemblance measure (1)comparing sampling units: \n\t(5)Gower index\n \t\tEnter option: ");
    // Gower: matching nominal states score 1, quantitative ones
    // 1 - |x - y| / range; the mean over the four variables.
    const bool nominal[4] = {true, false, true, false};
    double range[4];
    for (int v = 0; v < 4; v++) {
        double lo = env[0][v], hi = env[0][v];
        for (const auto& row : env) {
            lo = std::min(lo, row[v]);
            hi = std::max(hi, row[v]);
        }
        range[v] = hi - lo;
    }
    Matrix expected = Pairwise(env, [&](const std::vector<double>& x, const std::vector<double>& y) {
        double s = 0;
        for (int v = 0; v < 4; v++) s += nominal[v] ? (x[v] == y[v] ? 1 : 0) : 1 - std::fabs(x[v] - y[v]) / range[v];
        return s / 4;
    });
    ExpectMatrix(Printed(r.File("Vidive.txt"), kMatrixHeader, 20), expected, "Gower");
}

}  // namespace
