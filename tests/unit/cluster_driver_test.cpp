// Key C on a current data set set up in memory: the dialogue, the report
// blocks, "newick.txt" and the copies the driver works on.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "rhlibDim.h"
#include "dataset_util.h"
#include "stream_util.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

using Matrix = std::vector<std::vector<double>>;

char** Labels(const std::vector<std::string>& names) {
    char** l = dim2DT<char>(names.size(), 30);
    for (size_t i = 0; i < names.size(); i++) snprintf(l[i], 30, "%s", names[i].c_str());
    return l;
}

double** Copy(const Matrix& m) {
    double** p = dim2DT<double>(m.size(), m.empty() ? 1 : m[0].size());
    for (size_t i = 0; i < m.size(); i++)
        for (size_t j = 0; j < m[i].size(); j++) p[i][j] = m[i][j];
    return p;
}

Matrix Back(double** p, int rows, int cols) {
    Matrix m(rows, std::vector<double>(cols));
    for (int i = 0; i < rows; i++)
        for (int j = 0; j < cols; j++) m[i][j] = p[i][j];
    return m;
}

// A current data set with its resemblance matrix, in a folder of its own;
// the console reads the given answers and prints into a buffer.
class ClusterDriver : public testing::Test {
protected:
    void SetUp() override {
        port = 0;
        eng = 1;
        Initialize();
        char tmpl[] = "/tmp/tevlan_clusterXXXXXX";
        folder_ = mkdtemp(tmpl);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_);
        strcpy(modeVidive, "w");
        sDigits = 5;
        maxColsPrint = 10000;
    }
    // Lets go of the data set and its resemblance matrix.
    void Release() {
        if (data) free2DT(data, nObj);
        if (rese) free2DT(rese, nRows);
        if (uaLabels) free2DT(uaLabels, nObj);
        if (varLabels) free2DT(varLabels, nVar);
        data = rese = nullptr;
        uaLabels = varLabels = nullptr;
        temDados = temRese = 0;
    }
    void TearDown() override {
        Release();
        port = 0;
        eng = 1;
        Initialize();
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(folder_);
    }

    // units x variables; labels u1.. and v1..
    void Data(const Matrix& x) {
        nObj = x.size();
        nVar = x[0].size();
        data = Copy(x);
        std::vector<std::string> u, v;
        for (int i = 1; i <= nObj; i++) u.push_back("u" + std::to_string(i));
        for (int j = 1; j <= nVar; j++) v.push_back("v" + std::to_string(j));
        uaLabels = Labels(u);
        varLabels = Labels(v);
        temDados = 1;
    }
    void Rese(const Matrix& r, int measure, int direction) {
        nRows = r.size();
        nCols = direction == 1 ? nVar : nObj;
        rese = Copy(r);
        optReseTipo = measure;
        optReseDir = direction;
        temRese = 1;
    }

    // Runs key C on the answers; returns what the console showed.
    std::string Run(const std::string& answers) {
        std::string text;
        CaptureStderr();
        WithConsole(answers, text, Cluster);
        err_ = GetCapturedStderr();
        return text;
    }
    // The report after the status (from the criterion line on).
    std::string Block() {
        std::string report = Slurp("Vidive.txt");
        size_t p = report.find(eng ? "Clustering criterion" : "Criterio de agrupamento");
        return p == std::string::npos ? "" : report.substr(p);
    }

    std::string folder_;
    std::filesystem::path previous_;
    std::string err_;
};

Matrix Five() {
    return {{0, 2, 6, 10, 9}, {2, 0, 5, 9, 8}, {6, 5, 0, 4, 5}, {10, 9, 4, 0, 3}, {9, 8, 5, 3, 0}};
}

TEST_F(ClusterDriver, SingleLinkageReportNewickAndPartitions) {
    Data({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}});
    Rese(Five(), 3, 1);
    Matrix keepData = Back(data, 5, 2), keepRese = Back(rese, 5, 5);
    std::string console = Run("1\nn\n");
    EXPECT_NE(console.find("Clustering method: \n\t(1)simple linkage (nearest neighbor)\n\t(2)complete linkage\n"
                           "\t(3)incremental sum of squares (Ward)\n\t(4)average linkage (UPGMA)\n"
                           "\t(5)average linkage (WPGMA)\n"
                           "\t(6)hierarchical factorial (Sarrow & Pretel) (requires resemblance function #21)\n"
                           "\t(7)topologically constrained incremental sum of squares\n"
                           "\t(99)return to main menu\n\t\tEnter option: "),
              std::string::npos)
        << console;
    EXPECT_NE(console.find("\nEvaluate group partition sharpness using bootstrap resampling? y/n "),
              std::string::npos);
    EXPECT_NE(console.find("\nSee results on file Vidive.txt.\n"), std::string::npos);
    EXPECT_EQ(clusMeth, 1);
    std::string report = Slurp("Vidive.txt");
    std::string line(79, '-');
    EXPECT_EQ(report.rfind("\n" + line + "\nCLUSTER ANALYSIS\n" + line + "\n", 0), 0u) << report;
    EXPECT_NE(report.find("Resemblance measure: "), std::string::npos);  // the status
    EXPECT_EQ(Block(),
              "Clustering criterion: (1)simple linkage (nearest neighbor)\n"
              "Fusion directory:\n"
              "Step \tResemblance  \tObjects in group\n"
              "1    \t2            \tu1 u2 \n"
              "2    \t3            \tu4 u5 \n"
              "3    \t4            \tu3 u4 u5 \n"
              "4    \t5            \tu1 u2 u3 u4 u5 \n"
              "\n\nDendrogram in Newick format:\n"
              "((u1:2,u2:2):3,(u3:4,(u4:3,u5:3):1):1);\n"
              "\nGroup partitions at each clustering level (cl):\n"
              "Objects:                \tu1\tu2\tu3\tu4\tu5\t"
              "\n2 groups (cl = 4):    \t1\t1\t2\t2\t2\t"
              "\n3 groups (cl = 3):    \t1\t1\t2\t3\t3\t"
              "\n4 groups (cl = 2):    \t1\t1\t2\t3\t4\t"
              "\n5 groups (cl = 0):    \t1\t2\t3\t4\t5\t"
              "\n");
    EXPECT_EQ(Slurp("newick.txt"), "((u1:2,u2:2):3,(u3:4,(u4:3,u5:3):1):1);\n");
    EXPECT_EQ(Back(data, 5, 2), keepData);
    EXPECT_EQ(Back(rese, 5, 5), keepRese);
}

TEST_F(ClusterDriver, NinetyNineReturnsWithNothingWritten) {
    Data({{0}, {1}, {2}});
    Rese({{0, 1, 2}, {1, 0, 1}, {2, 1, 0}}, 3, 1);
    Run("99\n");
    EXPECT_EQ(clusMeth, 99);
    EXPECT_FALSE(std::filesystem::exists("Vidive.txt"));
    EXPECT_FALSE(std::filesystem::exists("newick.txt"));
}

TEST_F(ClusterDriver, FactorialMethodIsRefusedUnlessMeasure21) {
    Data({{0}, {1}, {2}});
    Rese({{0, 1, 2}, {1, 0, 1}, {2, 1, 0}}, 3, 1);
    Run("6\n2\nn\n");
    EXPECT_NE(err_.find("Incorrect input = 6"), std::string::npos) << err_;
    EXPECT_EQ(clusMeth, 2);
}

TEST_F(ClusterDriver, WardOnASimilarityClustersTheDerivedSquaredDistances) {
    // Cross products of 0, 1, 3 and 7: the squared distances of the points,
    // whose Ward levels were worked by hand (0.5, 42/9, 28.75).
    std::vector<double> x = {0, 1, 3, 7};
    Data({{0}, {1}, {3}, {7}});
    Matrix s(4, std::vector<double>(4));
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) s[i][j] = x[i] * x[j];
    Rese(s, 1, 1);
    Run("3\nn\n");
    std::string b = Block();
    EXPECT_NE(b.find("Step \tSSwithin   \tSSbetween    \tObjects in group\n"
                     "1    \t0.5          \t0.5        \tu1 u2 \n"
                     "2    \t4.6667       \t4.1667     \tu1 u2 u3 \n"
                     "3    \t28.75        \t24.083     \tu1 u2 u3 u4 \n"),
              std::string::npos)
        << b;
    EXPECT_EQ(Back(rese, 4, 4), s);
}

TEST_F(ClusterDriver, AbsoluteCorrelationsBetweenVariables) {
    Data({{1, 2, 3}, {2, 1, 5}, {3, 0, 4}, {4, 1, 6}});
    Matrix r = {{1, -0.9, 0.2}, {-0.9, 1, -0.1}, {0.2, -0.1, 1}};
    Rese(r, 17, 2);
    std::string console = Run("1\n1\n");
    EXPECT_NE(console.find("Transformation of correlations:\n\t(0)without transformation\n\t(1)absolute value\n"
                           "\t(2)squared\n\t\tEnter option: "),
              std::string::npos);
    // Variables are never offered the bootstrap.
    EXPECT_EQ(console.find("Evaluate group partition sharpness"), std::string::npos);
    std::string b = Block();
    EXPECT_EQ(b.rfind("Clustering criterion: (1)simple linkage (nearest neighbor)\n"
                      "Correlation transformation: (1)absolute value correlations\n",
                      0),
              0u)
        << b;
    EXPECT_NE(b.find("1    \t0.9          \tv1 v2 \n"), std::string::npos) << b;
    EXPECT_EQ(Back(rese, 3, 3), r);

    Run("1\n0\n");
    EXPECT_NE(Block().find("1    \t0.2          \tv1 v3 \n"), std::string::npos) << Block();
    Run("1\n2\n");
    EXPECT_NE(Block().find("1    \t0.81         \tv1 v2 \n"), std::string::npos) << Block();
}

TEST_F(ClusterDriver, ConstrainedWardJoinsNeighboursAndOffersNoBootstrap) {
    // 0, 10, 1, 11 in data order: only neighbours may join.
    Data({{0}, {10}, {1}, {11}});
    Matrix d(4, std::vector<double>(4));
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) d[i][j] = std::fabs(data[i][0] - data[j][0]);
    Rese(d, 3, 1);
    std::string console = Run("7\n2\n");
    EXPECT_NE(console.find("Sampling unit topology:\n\t(1)sampling unit order in the data indicate spatial or "
                           "temporal topology\n\t(2)wish to specify another topology [not yet implemented]\n"
                           "\t\tEnter option: "),
              std::string::npos);
    EXPECT_EQ(console.find("Evaluate group partition sharpness"), std::string::npos);
    std::string b = Block();
    EXPECT_NE(b.find("1    \t40.5         \t40.5       \tu2 u3 \n"
                     "2    \t60.667       \t20.167     \tu1 u2 u3 \n"),
              std::string::npos)
        << b;
}

TEST_F(ClusterDriver, BootstrapAnswerYesRunsTheSamplerAndNoGoesOn) {
    Data({{0}, {1}, {2}, {5}});
    Rese({{0, 1, 2, 5}, {1, 0, 1, 4}, {2, 1, 0, 3}, {5, 4, 3, 0}}, 3, 1);
    // K 2, initial size 3, step 1, 2 iterations, seed 7, nothing saved.
    std::string console = Run("4\ny\n2\n3\n1\n2\n2\n7\nn\n");
    EXPECT_NE(console.find("Enter the maximum number of groups (group partition level) to be evaluated: "),
              std::string::npos)
        << console;
    const std::string report = Slurp("Vidive.txt");
    EXPECT_LT(report.find("Dendrogram in Newick format"), report.find("\n\nSAMPLER\n"));
    EXPECT_NE(report.find("Average of sample attribute (G*) generated by 2 random iterations"), std::string::npos);
    EXPECT_NE(console.find("\nSee results on file Vidive.txt.\n"), std::string::npos);
    EXPECT_STREQ(modeVidive, "a");

    remove("Vidive.txt");
    console = Run("4\nn\n");
    EXPECT_EQ(Slurp("Vidive.txt").find("SAMPLER"), std::string::npos);
    EXPECT_NE(console.find("\nSee results on file Vidive.txt.\n"), std::string::npos);
}

TEST_F(ClusterDriver, AReportThatCannotBeCreatedIsSkipped) {
    Data({{0}, {1}, {2}});
    Rese({{0, 1, 2}, {1, 0, 1}, {2, 1, 0}}, 3, 1);
    std::filesystem::create_directory("Vidive.txt");
    std::string console = Run("2\nn\n");
    EXPECT_NE(err_.find("can't open Vidive.txt"), std::string::npos) << err_;
    EXPECT_EQ(console.find("See results"), std::string::npos);
    EXPECT_EQ(Slurp("newick.txt"), "((u1:1,u2:1):1,u3:2);\n");
}

TEST_F(ClusterDriver, UndefinedResemblancesAreRefused) {
    // The Jaccard turnover of an empty unit is undefined (-999): clustered as
    // a number it would fuse first, at level -999. A distance that overflowed
    // to infinity is no level either.
    Data({{1, 0, 1}, {0, 0, 0}, {1, 1, 0}, {0, 1, 1}});
    const double x = MISSING;
    Rese({{0, x, 0.5, 0.5}, {x, x, x, x}, {0.5, x, 0, 0.5}, {0.5, x, 0.5, 0}}, 24, 1);
    std::string console = Run("1\n");
    EXPECT_NE(console.find("\nThe resemblance matrix holds undefined values (-999, such as the turnover or nestedness "
                           "of sampling units without any presence) or values too large to represent: it cannot be "
                           "clustered.\n\a"),
              std::string::npos)
        << console;
    EXPECT_EQ(clusMeth, 1);
    EXPECT_FALSE(std::filesystem::exists("Vidive.txt"));
    EXPECT_FALSE(std::filesystem::exists("newick.txt"));
    EXPECT_EQ(console.find("bootstrap"), std::string::npos);

    Release();
    Data({{0}, {1}, {2}});
    Rese({{0, 1, HUGE_VAL}, {1, 0, 1}, {HUGE_VAL, 1, 0}}, 3, 1);
    console = Run("3\n");
    EXPECT_NE(console.find("it cannot be clustered"), std::string::npos) << console;
    EXPECT_FALSE(std::filesystem::exists("Vidive.txt"));

    // A large matrix is read by the team; its one undefined value is the
    // last one of the diagonal.
    Release();
    const int m = 600;
    Data(Matrix(m, std::vector<double>(1, 0.0)));
    Matrix far(m, std::vector<double>(m, 1.0));
    far[m - 1][m - 1] = x;
    Rese(far, 24, 1);
    EXPECT_NE(Run("1\n").find("it cannot be clustered"), std::string::npos);
}

TEST_F(ClusterDriver, LongGroupsContinueOnNewLines) {
    Data({{0}, {1}, {2}, {3}, {4}});
    Rese(Five(), 3, 1);
    maxColsPrint = 44;  // three labels per line
    Run("1\nn\n");
    EXPECT_NE(Block().find("4    \t5            \tu1 u2 u3 \n     \t             \tu4 u5 \n"),
              std::string::npos)
        << Block();
}

TEST_F(ClusterDriver, PortugueseReport) {
    port = 1;
    eng = 0;
    Initialize();
    Data({{0}, {1}, {2}, {3}, {4}});
    Rese(Five(), 3, 1);
    std::string console = Run("1\nn\n");
    EXPECT_NE(console.find("s/n "), std::string::npos);
    std::string b = Block();
    EXPECT_NE(b.find("Agrupamento hierarquico:\nPasso\tSemelhanca   \tGrupo formado\n"), std::string::npos) << b;
    EXPECT_NE(b.find("\nParticoes em grupos em cada nivel de agrupamento (na):\nObjetos:                  \tu1\t"),
              std::string::npos);
    EXPECT_NE(b.find("\n2 grupos (na = 4):      \t1\t1\t2\t2\t2\t"), std::string::npos);
}

TEST_F(ClusterDriver, FactorialMethodOnUnitsAndOnVariables) {
    Data({{1, 3, 2, 5}, {2, 6, 4, 9}, {5, 1, 4, 2}});
    Matrix keepData = Back(data, 3, 4);
    Rese({{0, 0.1, 0.5}, {0.1, 0, 0.6}, {0.5, 0.6, 0}}, 21, 1);
    std::string console = Run("6\nn\n");
    EXPECT_NE(console.find("Evaluate group partition sharpness"), std::string::npos);
    std::string b = Block();
    EXPECT_NE(b.find("Fusion directory:\nStep \tEigen.II   \tEigen.I      \tObjects in group\n1    \t"),
              std::string::npos)
        << b;
    // No Newick text: the records of this method carry no tree nodes.
    EXPECT_NE(b.find("\n\nDendrogram in Newick format:\n;\n"), std::string::npos);
    EXPECT_EQ(Slurp("newick.txt"), ";\n");
    EXPECT_NE(b.find("\nScores of variables on the first and second representative unit for each clustering "
                     "node:\nVariables:\tv1\tv2\tv3\tv4\nStep 1, Eig.I:\t"),
              std::string::npos)
        << b;
    EXPECT_NE(b.find("\nStep 2, Eig.II:\t"), std::string::npos);
    EXPECT_EQ(Back(data, 3, 4), keepData);
    EXPECT_EQ(dataT, nullptr);

    // Variables: the table is read transposed, one profile value per unit.
    rese = (free2DT(rese, nRows), nullptr);
    Rese({{0, 0.1, 0.5, 0.2}, {0.1, 0, 0.6, 0.3}, {0.5, 0.6, 0, 0.4}, {0.2, 0.3, 0.4, 0}}, 21, 2);
    console = Run("6\n");
    EXPECT_EQ(console.find("Evaluate group partition sharpness"), std::string::npos);
    b = Block();
    EXPECT_NE(b.find("\nScores of units on the first and second representative variable for each clustering "
                     "node:\nUnits:\tu1\tu2\tu3\nStep 1, Eig.I:\t"),
              std::string::npos)
        << b;
    EXPECT_NE(b.find("\nStep 3, Eig.II:"), std::string::npos);
    EXPECT_EQ(Back(data, 3, 4), keepData);
}

TEST_F(ClusterDriver, CovarianceIsASimilarityAndMutualInformationIsRecentredForWard) {
    Data({{0, 1}, {1, 2}, {2, 0}});
    Rese({{4, 3, -1}, {3, 5, 0}, {-1, 0, 2}}, 22, 1);
    Run("1\nn\n");
    EXPECT_NE(Block().find("1    \t3            \tu1 u2 \n"), std::string::npos) << Block();

    // Mutual information goes to Ward through a centred product matrix; the
    // squared distances it gives back are those of the plain values.
    Release();
    Data({{0}, {1}, {2}, {3}, {4}});
    Rese(Five(), 3, 1);
    Run("3\nn\n");
    std::string plain = Block();
    optReseTipo = 4;
    Run("3\nn\n");
    std::string recentred = Block();
    auto directory = [](const std::string& b) {
        size_t p = b.find("Fusion directory:");
        return b.substr(p, b.find("Dendrogram") - p);
    };
    EXPECT_EQ(directory(recentred), directory(plain));
    EXPECT_NE(plain.find("1    \t2            \t2          \tu1 u2 \n"), std::string::npos) << plain;
}

}  // namespace
