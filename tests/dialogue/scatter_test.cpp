// Key D through the whole program: "ScatterData.txt" read back and checked
// against the dune data file itself, whatever the signs of the axes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "unit/reference_stats.h"

namespace {

using Vec = std::vector<double>;

const char* const kLoad = "n\nn\ndune.txt\n1\n20\n30\nN\n2\nn\n";
const char* const kCoordinates = "r\n1\n3\n0\nn\no\n1\nn\nn\n";  // principal coordinates, Euclidean

struct Scatter {
    std::string header, legend;
    std::vector<std::string> labels;
    Vec x, y;
};

Scatter Read(const std::string& text) {
    Scatter s;
    const size_t blank = text.find("\n\n");
    std::istringstream lines(text.substr(0, blank + 1));
    std::getline(lines, s.header);
    for (std::string l; std::getline(lines, l);) {
        const size_t a = l.find('\t'), b = l.find('\t', a + 1);
        s.labels.push_back(l.substr(0, a));
        s.x.push_back(std::stod(l.substr(a + 1)));
        s.y.push_back(std::stod(l.substr(b + 1)));
    }
    if (blank != std::string::npos) s.legend = text.substr(blank + 2);
    return s;
}

// The dune table by columns, and its species names.
std::vector<Vec> DuneColumns(std::vector<std::string>& names) {
    std::istringstream in(ReadFile(std::string(TEVLAN_EXAMPLES) + "/dune.txt"));
    std::vector<Vec> c(30, Vec(20));
    for (int i = 0; i < 20; i++)
        for (int j = 0; j < 30; j++) in >> c[j][i];
    names.assign(50, "");
    for (auto& name : names) in >> name;  // unit labels, then the species
    names.erase(names.begin(), names.begin() + 20);
    return c;
}

TEST(Scatter, OriginalVariablesAndTheTwoRefusals) {
    Dialogue d;
    d.PutExample("dune.txt");
    RunResult r = d.Run(std::string(kLoad) + "d\n2\nd\n3\nd\n1\n0\n31\n2\n5\nx\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\t\tEnter option: \nTransformed data not available.\n"), std::string::npos);
    EXPECT_NE(r.out.find("\t\tEnter option: \nOrdination scores not available.\n"), std::string::npos);
    EXPECT_EQ(r.err, "\nIncorrect input = 0. Reenter.\nAccepted input: 1 to 30\n"
                     "\nIncorrect input = 31. Reenter.\nAccepted input: 1 to 30\n");
    std::vector<std::string> names;
    const std::vector<Vec> dune = DuneColumns(names);
    const Scatter s = Read(Normalise(r.File("ScatterData.txt")));
    EXPECT_EQ(s.header, "Labels\tAxis1\tAxis2");
    ASSERT_EQ(s.labels.size(), 20u);
    for (int i = 0; i < 20; i++) {
        EXPECT_EQ(s.labels[i], std::to_string(i + 1));
        EXPECT_EQ(s.x[i], dune[1][i]);
        EXPECT_EQ(s.y[i], dune[4][i]);
    }
    EXPECT_EQ(s.legend, "Data: dune.txt  Type: (1) quantitative, same measurement scales  20 units, 30 var.\n"
                        "Axes: variables 2 x 5      Points: sampling units\n<TIME>\n\n");
    EXPECT_FALSE(r.HasFile("Vidive.txt"));
}

// The biplot after principal coordinates: the units, then every species as
// its correlations with the two unit columns of the file times f.
TEST(Scatter, BiplotOfPrincipalCoordinates) {
    std::vector<std::string> names;
    const std::vector<Vec> dune = DuneColumns(names);
    struct Case {
        int h, v, labels;
    };
    for (const Case c : {Case{1, 2, 1}, Case{2, 3, 0}, Case{7, 8, 1}}) {
        SCOPED_TRACE(std::to_string(c.h) + " x " + std::to_string(c.v));
        Dialogue d;
        d.PutExample("dune.txt");
        RunResult r = d.Run(std::string(kLoad) + kCoordinates + "d\n3\n2\n" + std::to_string(c.labels) + "\n" +
                            std::to_string(c.h) + "\n" + std::to_string(c.v) + "\nx\n");
        ASSERT_EQ(r.status, 0) << r.out;
        const Scatter s = Read(r.File("ScatterData.txt"));
        EXPECT_EQ(s.header, "Labels\tAxis1\tAxis2");
        ASSERT_EQ(s.labels.size(), 50u);
        const Vec ux(s.x.begin(), s.x.begin() + 20), uy(s.y.begin(), s.y.begin() + 20);
        // The unit columns are the chosen axes: their sums of squares are
        // the eigenvalues of those axes.
        std::istringstream eigen(r.File("Vidive.txt").substr(r.File("Vidive.txt").find("\nEigenvalues:\t") + 13));
        Vec ev(19);
        for (double& e : ev) eigen >> e;
        EXPECT_NEAR(std::inner_product(ux.begin(), ux.end(), ux.begin(), 0.0), ev[c.h - 1], 1e-4 * ev[c.h - 1]);
        EXPECT_NEAR(std::inner_product(uy.begin(), uy.end(), uy.begin(), 0.0), ev[c.v - 1], 1e-4 * ev[c.v - 1]);
        const double f = (std::fabs(*std::min_element(ux.begin(), ux.end())) + *std::max_element(ux.begin(), ux.end()) +
                          *std::max_element(uy.begin(), uy.end()) + std::fabs(*std::min_element(uy.begin(), uy.end()))) /
                         4;
        if (c.h == 1) {
            EXPECT_NEAR(f, 7.49609, 1e-5);  // cmdscale(dist(dune), 2)
            EXPECT_NEAR(std::fabs(s.x[20]), 5.29596, 1e-5);
            EXPECT_NEAR(std::fabs(s.y[20]), 1.08692, 1e-5);
        }
        // Without labels a unit line begins with its tab.
        for (int i = 0; i < 20; i++) EXPECT_EQ(s.labels[i], c.labels ? std::to_string(i + 1) : "");
        for (int j = 0; j < 30; j++) {
            EXPECT_EQ(s.labels[20 + j], names[j]);
            EXPECT_NEAR(s.x[20 + j] / f, Pearson(dune[j], ux), 2e-6) << names[j];
            EXPECT_NEAR(s.y[20 + j] / f, Pearson(dune[j], uy), 2e-6) << names[j];
        }
        EXPECT_NE(s.legend.find("Axes: component " + std::to_string(c.h) + " x " + std::to_string(c.v) +
                                "      Points: sampling units & variables\n"),
                  std::string::npos);
    }
}

TEST(Scatter, DefaultLabelsNameTheBiplotPointsAndAConstantVariableIsLeftOut) {
    Dialogue d;
    d.Put("small.txt", "1 2 5\n3 1 5\n4 6 5\n0 2 5\n");
    RunResult r = d.Run("n\nn\nsmall.txt\n1\n4\n3\nN\n1\nn\n" + std::string(kCoordinates) + "d\n3\n2\n0\n1\n2\nx\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(Read(r.File("ScatterData.txt")).labels, (std::vector<std::string>{"u1", "u2", "u3", "u4", "v1", "v2"}));
}

// A saved session of the dune data with the given transformations of the
// data (held as data) under a given data file name.
std::string SessionFile(const std::string& file, const std::vector<Vec>& columns, const std::vector<Vec>& data,
                        int withinVariables, int withinUnits) {
    std::ostringstream s;
    s.precision(17);
    s << "Sessao\n" << file << "\n16/May/2007\n1\n20\n30\n1\n1\n0\n0\nN\n";
    for (int j = 0; j < 30; j++) s << "3\t";
    for (int t = 0; t < 2; t++) {
        if (t == 1) s << "\n0\n" << withinVariables << "\n" << withinUnits;
        for (int i = 0; i < 20; i++) {
            s << "\n";
            for (int j = 0; j < 30; j++) s << (t == 0 ? columns : data)[j][i] << "\t";
        }
    }
    s << "\n";
    for (int i = 1; i <= 20; i++) s << i << "\t";
    s << "\n";
    for (int j = 1; j <= 30; j++) s << "s" << j << "\t";
    s << "\n1\n0\n0\n0\n";
    return s.str();
}

// Correspondence analysis of the doubly adjusted table: the compared set
// first, and each point named by what it is.
TEST(Scatter, CorrespondenceAnalysisPoints) {
    std::vector<std::string> names;
    const std::vector<Vec> x = DuneColumns(names);
    Vec rows(20, 0.0), cols(30, 0.0);
    double t = 0;
    for (int j = 0; j < 30; j++)
        for (int i = 0; i < 20; i++) rows[i] += x[j][i], cols[j] += x[j][i], t += x[j][i];
    std::vector<Vec> z(30, Vec(20));
    for (int j = 0; j < 30; j++)
        for (int i = 0; i < 20; i++) z[j][i] = (x[j][i] * t - rows[i] * cols[j]) / (std::sqrt(rows[i] * cols[j]) * t);
    for (int direction : {1, 2}) {
        Dialogue d;
        d.Put("Sessao.trk", SessionFile("dune.txt", x, z, 0, 6));
        // The bootstrap of the axes is offered when variables were compared.
        RunResult r = d.Run("y\nr\n" + std::to_string(direction) + "\n1\n0\nn\no\n3\nn\n" +
                            (direction == 2 ? "n\n" : "") + "d\n3\n1\n1\n2\nx\n");
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("   1  both rows and columns labels \n"), std::string::npos);
        const Scatter s = Read(r.File("ScatterData.txt"));
        ASSERT_EQ(s.labels.size(), 50u);
        std::vector<Vec> moments(2, Vec(4, 0.0));
        std::vector<std::string> expected;
        for (int k = 1; k <= 50; k++) {
            const bool unit = direction == 1 ? k <= 20 : k > 30;
            expected.push_back((unit ? "u" : "v") + std::to_string(direction == 1 ? (unit ? k : k - 20)
                                                                                  : (unit ? k - 30 : k)));
        }
        EXPECT_EQ(s.labels, expected);
        // Both sets in standard coordinates: centred and of unit variance
        // when weighted by their margins.
        for (int k = 0; k < 50; k++) {
            const bool unit = s.labels[k][0] == 'u';
            const int e = std::stoi(s.labels[k].substr(1)) - 1;
            const double w = (unit ? rows[e] : cols[e]) / t;
            moments[unit][0] += w * s.x[k], moments[unit][1] += w * s.x[k] * s.x[k];
            moments[unit][2] += w * s.y[k], moments[unit][3] += w * s.y[k] * s.y[k];
        }
        for (const Vec& m : moments) {
            EXPECT_NEAR(m[0], 0.0, 1e-4);
            EXPECT_NEAR(m[1], 1.0, 1e-4);
            EXPECT_NEAR(m[2], 0.0, 1e-4);
            EXPECT_NEAR(m[3], 1.0, 1e-4);
        }
        EXPECT_NE(s.legend.find("Points: variables & sampling units\nScalar transf.: (0)none\nVector transf.: "
                                "(6)deviations expected values via marginal totals (double adjustment)\nResemblance: "),
                  std::string::npos)
            << s.legend;
    }
}

TEST(Scatter, LongLegendIsWrittenWhole) {
    std::vector<std::string> names;
    const std::vector<Vec> x = DuneColumns(names);
    const std::string file(99, 'f');
    Dialogue d;
    d.Put("Sessao.trk", SessionFile(file, x, x, 1, 4));
    RunResult r = d.Run("y\nr\n1\n20\n0\nn\no\n1\nn\nn\nd\n3\n1\n1\n1\n2\nx\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(Read(Normalise(r.File("ScatterData.txt"))).legend,
              "Data: " + file + "  Type: (1) quantitative, same measurement scales  20 units, 30 var.\n"
              "Axes: component 1 x 2      Points: sampling units\nScalar transf.: (0)none\n"
              "Vector transf.: (1)standardizing by marginal total, within variables and (4)normalization, within "
              "sampling units\nResemblance: (20)percentage difference (Bray&Curtis dissimilarity), (1)comparing "
              "sampling units\nOrdination: (1)principal coordinates analysis\n<TIME>\n\n");
}

// A file that cannot be created (a folder of that name) or written (a full
// disc) is said so; nothing is left, and the program goes on.
TEST(Scatter, UnwritableFileGivesAMessageAndTheMainMenu) {
    namespace fs = std::filesystem;
    for (bool folder : {true, false}) {
        Dialogue d;
        d.PutExample("dune.txt");
        const fs::path target = fs::path(d.Folder()) / "ScatterData.txt";
        if (folder) fs::create_directory(target);
        // The session is made first; the disc then takes no file above 64
        // bytes, and the plot's data hold twenty units.
        ASSERT_EQ(d.Run(std::string(kLoad) + kCoordinates + "x\n").status, 0);
        d.LimitFileSize(64);
        RunResult r = d.Run("y\na\nd\n1\n1\n2\nx\n");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, std::string(folder ? "\ncan't open ScatterData.txt: is a folder \n"
                                            : "\nFile ScatterData.txt could not be written.\n") +
                             "\nSome results were not written: see the messages above.\n");
        EXPECT_EQ(fs::is_directory(target), folder);
        EXPECT_EQ(fs::is_symlink(target), false);
        const std::string after = r.out.substr(r.out.rfind("Enter variables for the vertical axis: "));
        EXPECT_NE(after.find("Ordination scores available: (1)principal coordinates analysis\nSession IS saved.\n"),
                  std::string::npos);
        EXPECT_NE(after.find("MAIN MENU"), std::string::npos);
    }
}

}  // namespace
