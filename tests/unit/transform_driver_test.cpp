// Key T on data sets set up in memory: the transformations against values
// computed here, restore and cancel, the factor of option 12, the two
// expansions into files, files that cannot be created, and the Beals test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "TevlanClasses.h"
#include "beals_reference.h"
#include "driver_fixture.h"
#include "iflibG.h"
#include "linear_models_reference.h"
#include "rhlibDim.h"

namespace {

using Rows = std::vector<std::vector<double>>;

std::string ReadFile(const char* name) {
    std::string s;
    if (FILE* f = fopen(name, "rb")) {
        for (int c; (c = fgetc(f)) != EOF;) s += static_cast<char>(c);
        fclose(f);
    }
    return s;
}

Rows Back(double** p, int rows, int cols) {
    Rows m(rows, std::vector<double>(cols));
    for (int i = 0; i < rows; i++)
        for (int j = 0; j < cols; j++) m[i][j] = p[i][j];
    return m;
}

void ExpectNear(const Rows& got, const Rows& expected, double tolerance) {
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); i++)
        for (size_t j = 0; j < got[i].size(); j++)
            EXPECT_NEAR(got[i][j], expected[i][j], tolerance) << "cell " << i << "," << j;
}

// Each column (byColumns) or each row of m through f.
Rows Along(Rows m, bool byColumns, const std::function<std::vector<double>(std::vector<double>)>& f) {
    const size_t n = m.size(), p = m[0].size();
    if (byColumns) {
        for (size_t j = 0; j < p; j++) {
            std::vector<double> v(n);
            for (size_t i = 0; i < n; i++) v[i] = m[i][j];
            v = f(v);
            for (size_t i = 0; i < n; i++) m[i][j] = v[i];
        }
    } else {
        for (auto& row : m) row = f(row);
    }
    return m;
}

std::vector<double> Hellinger(std::vector<double> v) {
    double total = 0;
    for (double x : v) total += x;
    for (double& x : v) x = total > 0 ? std::sqrt(x / total) : 0;
    return v;
}

std::vector<double> Normalised(std::vector<double> v) {
    double ss = 0;
    for (double x : v) ss += x * x;
    for (double& x : v) x /= ss > 0 ? std::sqrt(ss) : 1;
    return v;
}

std::vector<double> Centred(std::vector<double> v) {
    double mean = 0;
    for (double x : v) mean += x / v.size();
    for (double& x : v) x -= mean;
    return v;
}

// Equal-width classes: 1 at the minimum, k at the maximum.
std::function<std::vector<double>(std::vector<double>)> Classes(int k) {
    return [k](std::vector<double> v) {
        const double lo = *std::min_element(v.begin(), v.end()), hi = *std::max_element(v.begin(), v.end());
        for (double& x : v) x = x == lo ? 1 : std::ceil((x - lo) * k / (hi - lo));
        return v;
    };
}

class TransformDriver : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        strcpy(modeVidive, "w");
        sDigits = 5;
        maxColsPrint = 10000;
        BealsTypeOpt = 1;
        BealsIncludeOpt = true;
        BealsNormalizeOpt = false;
        BealsTestOpt = false;
        optTrGroupFactor = 1;
        sink_ = fopen("/dev/null", "w");
        SetProgressStream(sink_);
    }
    void TearDown() override {
        SetProgressStream(nullptr);
        fclose(sink_);
        DriverTest::TearDown();
    }
    // A current data set of the given rows as read: content 1 to 6, or mixed
    // with the variable types given.
    void Load(const Rows& rows, int content, std::vector<int> types = {}) {
        LivraMemoria();
        Init();
        nObj = static_cast<int>(rows.size());
        nVar = static_cast<int>(rows[0].size());
        Dimensiona();
        optVarTipo = content;
        if (types.empty()) types.assign(nVar, content == 3 ? 2 : (content == 4 ? 1 : 3));
        temQuant = temQual = temBin = 0;
        for (int j = 0; j < nVar; j++) {
            varType[j] = types[j];
            temBin |= types[j] == 1;
            temQual |= types[j] == 2;
            temQuant |= types[j] >= 3;
            snprintf(varLabels[j], 30, "v%d", j + 1);
        }
        for (int i = 0; i < nObj; i++) {
            snprintf(uaLabels[i], 30, "u%d", i + 1);
            for (int j = 0; j < nVar; j++) dataOrig[i][j] = data[i][j] = rows[i][j];
        }
        snprintf(filename, sizeof filename, "%s", "table.txt");
        optLabel = 1;
        format = 'N';
        temDados = 1;
        SetDataType(0, 0, 0);
        SetStepReached();
    }
    // Key T on the answers; its result (-1 when the input ended).
    int T(const std::string& answers) {
        int result = -1;
        const int code = Run(answers, [&result] { result = TransformaDados(); });
        return code == 0 ? result : -1;
    }
    FILE* sink_ = nullptr;
    Rows Data() const { return Back(data, nObj, nVar); }
    Rows Original() const { return Back(dataOrig, nObj, nVar); }
};

TEST_F(TransformDriver, TransformationsAsComputedHere) {
    const Rows dune = lsref::Dune();
    ASSERT_EQ(dune.size(), 20u);
    struct Case {
        const char* answers;
        int scalar, var, units;
        std::function<Rows(const Rows&)> expected;
    } cases[] = {
        {"1\n0\n1\n10\ny\n", 0, 0, 10, [](const Rows& x) { return Along(x, false, Hellinger); }},
        {"1\n0\n2\n4\ny\n3\nn\n", 0, 4, 3,
         [](const Rows& x) { return Along(Along(x, true, Normalised), false, Centred); }},
        {"1\n2\n0\nn\n", 2, 0, 0,
         [](const Rows& x) { return Along(x, false, [](std::vector<double> v) {
             for (double& e : v) e = std::sqrt(e);
             return v;
         }); }},
        // Classes within variables and within units: one scale, asked once.
        {"1\n0\n2\n8\n3\ny\n8\nn\n", 0, 8, 8,
         [](const Rows& x) { return Along(Along(x, true, Classes(3)), false, Classes(3)); }},
    };
    for (const Case& c : cases) {
        Load(dune, 1);
        ASSERT_EQ(T(c.answers), 1) << c.answers << shown_ << err_;
        EXPECT_EQ(optTrEs, c.scalar);
        EXPECT_EQ(optTrVeVar, c.var);
        EXPECT_EQ(optTrVeUnits, c.units);
        ExpectNear(Data(), c.expected(Original()), 1e-12);
        EXPECT_EQ(Original(), dune);
        EXPECT_NE(shown_.find("See results on file Vidive.txt."), std::string::npos);
    }
    // The last case: the classes question shown twice, answered once.
    EXPECT_EQ(Count(shown_, "Enter the number of classes in the new scale:  "), 2);
    EXPECT_EQ(Count(shown_, "3 (same as for variables)\n"), 1);
    EXPECT_EQ(nClassesVar, 3);
    EXPECT_EQ(nClassesUnits, 3);

    // Hellinger within units, row 1 as vegan::decostand gives it.
    Load(dune, 1);
    ASSERT_EQ(T("1\n0\n1\n10\ny\n"), 1);
    const std::vector<std::pair<int, double>> row1 = {
        {0, 0.2357}, {11, 0.4714}, {16, 0.62361}, {18, 0.4714}, {19, 0.33333}};
    std::vector<double> expected(30, 0.0);
    for (auto& e : row1) expected[e.first] = e.second;
    for (int j = 0; j < 30; j++) EXPECT_NEAR(data[0][j], expected[j], 5e-5) << j;
    const std::string report = ReadFile("Vidive.txt");
    EXPECT_EQ(report.rfind("TEVLAN version 3.85b\n---", 0), 0u);
    EXPECT_NE(report.find("\nOriginal data matrix:\n\t(Rows= 20 sampling units, columns= 30 variables)\n"),
              std::string::npos);
    EXPECT_NE(report.find("\nTransformed data matrix:\n\t(Rows= 20 sampling units, columns= 30 variables)\n"),
              std::string::npos);
}

TEST_F(TransformDriver, RestoreAndCancelsLeaveNothingBehind) {
    const Rows dune = lsref::Dune();
    Load(dune, 1);
    ASSERT_EQ(T("1\n0\n1\n10\nn\n"), 1);
    // A resemblance matrix made from the transformed data.
    nRows = nObj;
    rese = dim2DT<double>(nRows, nRows);
    temRese = 1;
    optReseDir = 1;
    const Rows transformed = Data();
    double** const dataBefore = data;
    double** const reseBefore = rese;
    const int typeBefore = dataType;

    // 99 at any menu, or leaving as is: nothing changes.
    for (const char* answers : {"99\n", "1\n0\n1\n99\n", "1\n0\n2\n99\n", "1\n1\n2\n99\n"}) {
        EXPECT_EQ(T(answers), 0) << answers;
        EXPECT_EQ(data, dataBefore);
        EXPECT_EQ(Data(), transformed);
        EXPECT_EQ(rese, reseBefore);
        EXPECT_EQ(temRese, 1);
        EXPECT_EQ(optTrEs, 0);
        EXPECT_EQ(optTrVeVar, 0);
        EXPECT_EQ(optTrVeUnits, 10);
        EXPECT_EQ(dataType, typeBefore);
    }

    // Restoring gives the data as read, without a report.
    const std::string report = ReadFile("Vidive.txt");
    EXPECT_EQ(T("0\n"), 1);
    EXPECT_EQ(Data(), dune);
    EXPECT_EQ(optTrEs + optTrVeVar + optTrVeUnits, 0);
    EXPECT_EQ(rese, nullptr);
    EXPECT_EQ(temRese, 0);
    EXPECT_EQ(ReadFile("Vidive.txt"), report);
}

// The table whose margins weigh correspondence-analysis scores is the one
// the double adjustment reads: square roots of 1 4 / 9 16, ranked within
// variables when that comes first; nothing after the adjustment.
TEST_F(TransformDriver, CorrespondenceTableStopsBeforeTheDoubleAdjustment) {
    for (int var : {6, 9}) {
        Load({{1, 4}, {9, 16}}, 1);
        optTrEs = 2, optTrVeVar = var, optTrVeUnits = var == 6 ? 4 : 6;
        ReapplyTransformationsForCorrespondence(2, 2, dataOrig, nullptr);
        ExpectNear(Original(), var == 6 ? Rows{{1, 2}, {3, 4}} : Rows{{1, 1}, {2, 2}}, 1e-12);
    }
}

TEST_F(TransformDriver, GroupMeansOfTheChosenFactorByPosition) {
    const Rows x = {{1, 10}, {3, 20}, {5, 60}, {2, 30}, {8, 0}, {4, 11}};
    // Deviations of each column from the means of groups {1, 2}, {3, 4}, {5, 6}.
    const Rows pairs = {{-1, -5}, {1, 5}, {1.5, 15}, {-1.5, -15}, {2, -5.5}, {-2, 5.5}};
    Rows results[2];
    for (int k = 0; k < 2; k++) {
        Load(x, 2);
        const std::string groups = k == 0 ? "1 1 2 2 3 3\n" : "10 10 20 20 30 30\n";
        ASSERT_EQ(T("1\n0\n2\n12\n1\nF\nk\n" + groups + "n\nn\n"), 1) << shown_;
        EXPECT_EQ(optTrVeVar, 12);
        results[k] = Data();
    }
    EXPECT_EQ(results[0], results[1]);
    ExpectNear(results[0], pairs, 1e-12);

    // With two factors the second is chosen; the groups stay after T.
    Load(x, 2);
    ASSERT_EQ(T("1\n0\n2\n12\n2\nn\nA\nB\nk\n1 1 1 2 2 2\n7 7 8 8 9 9\n2\nn\nn\n"), 1) << shown_;
    EXPECT_NE(shown_.find("\nSpecify the factor effect to be removed ( 1.A 2.B ): \t"), std::string::npos);
    EXPECT_EQ(optTrGroupFactor, 2);
    EXPECT_EQ(nFactors, 2);
    ExpectNear(Data(), pairs, 1e-12);

    // Re-applied to resampled units, the groups follow the units drawn:
    // units 5, 6, 1, 2 are groups 9, 9, 7, 7.
    const int units[4] = {5, 6, 1, 2};
    double** sample = dim2DT<double>(4, 2);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 2; j++) sample[i][j] = x[units[i] - 1][j];
    EXPECT_EQ(ReapplyTransformations(4, 2, sample, units), 1);
    ExpectNear(Back(sample, 4, 2), {{2, -5.5}, {-2, 5.5}, {-1, -5}, {1, 5}}, 1e-12);
    free2DT(sample, 4);
    // The older form applies them to a table of the data set's shape.
    double** table = dim2DT<double>(6, 2);
    for (int i = 0; i < 6; i++)
        for (int j = 0; j < 2; j++) table[i][j] = x[i][j];
    EXPECT_EQ(DataTransformations(table), 1);
    ExpectNear(Back(table, 6, 2), pairs, 1e-12);
    free2DT(table, 6);

    // A snapshot carries the factor; a session read back finds it again.
    Session* held = SessionClass(true);
    optTrGroupFactor = 1;
    ChangeCurrentSession(held);
    EXPECT_EQ(optTrGroupFactor, 2);
    ReplaceSession(session1, held);
    ASSERT_EQ(WriteSessionTrack(), 1);
    ASSERT_EQ(ReadSessionTrack(), 1);
    EXPECT_EQ(optTrGroupFactor, 2);
    EXPECT_EQ(optTrVeVar, 12);
}

TEST_F(TransformDriver, NominalVariablesExpandedIntoBinaryOnes) {
    // Two nominal variables of 3 and 2 states and a quantitative one.
    Load({{3, 1, 0.5}, {1, 2, 1.25}, {2, 2, 2}, {3, 1, MISSING}}, 5, {2, 2, 3});
    ASSERT_EQ(T("1\n4\n0\ny\n"), 1) << shown_ << err_;
    EXPECT_EQ(ReadFile("ExpandedData.txt"),
              "0\t0\t1\t1\t0\t0.5\t\n"
              "1\t0\t0\t0\t1\t1.25\t\n"
              "0\t1\t0\t0\t1\t2\t\n"
              "0\t0\t1\t1\t0\t-999\t\n"
              "\nExpanded data with 4 units in rows and 6 expanded variables in columns.\n"
              "Variable labels (each row corresponding to an original variable):\n"
              "1\t2\t3\t\n1\t2\t\nv3\n"
              "\nNumber of states for each nominal variable in the original data:\n"
              "3\n2\nnot nominal\n\n"
              "0\t0\t1\t0.5\t\n"
              "1\t0\t0\t1.25\t\n"
              "0\t1\t0\t2\t\n"
              "0\t0\t1\t-999\t\n"
              "\nExpanded data with 4 units in rows and 4 expanded variables in columns (eliminating last "
              "expanded binary for each nominal variable).\n"
              "Variable labels (each row corresponding to an original variable):\n"
              "1\t2\t\n1\t\nv3\n"
              "\nNumber of states for each nominal variable in the original data:\n"
              "2\n1\nnot nominal\n");
    // The data stay as read, and the report names the expansion.
    EXPECT_EQ(optTrEs, 4);
    EXPECT_EQ(Data(), Original());
    EXPECT_NE(ReadFile("Vidive.txt").find("Scalar transformation: (4)expand nominal variables into binary ones"),
              std::string::npos);
}

TEST_F(TransformDriver, ContingencyTableExpandedIntoNominalData) {
    // Cells count their value rounded up; 0, negative and missing cells none.
    Load({{2.5, 0, 1}, {-1, MISSING, 0.2}}, 6);
    // A vector transformation chosen after the expansion is not kept.
    ASSERT_EQ(T("1\n5\n1\n10\nn\n"), 1) << shown_ << err_;
    EXPECT_EQ(ReadFile("ExpandedNominalData.txt"),
              "1\t1\t\n1\t1\t\n1\t1\t\n1\t3\t\n2\t3\t\n"
              "\nExpanded data with 5 units in rows and 2 nominal variables in columns.\n");
    EXPECT_EQ(Count(shown_, "the vector transformation chosen is not applied."), 1);
    EXPECT_EQ(optTrEs, 5);
    EXPECT_EQ(optTrVeUnits, 0);
    EXPECT_EQ(Data(), Original());

    // More individuals than a data set can hold: refused, nothing changes.
    Load({{3e9, 1}}, 6);
    remove("ExpandedNominalData.txt");
    EXPECT_EQ(T("1\n5\n0\nn\n"), 0);
    EXPECT_NE(shown_.find("more than 2147483647 individuals"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists("ExpandedNominalData.txt"));
    EXPECT_EQ(optTrEs, 0);
}

TEST_F(TransformDriver, FilesThatCannotBeCreatedChangeNothing) {
    struct Case {
        const char* blocked;
        const char* answers;
        int content;
    } cases[] = {
        {"Vidive.txt", "1\n0\n1\n10\nn\n", 1},
        {"ExpandedData.txt", "1\n4\n0\nn\n", 3},
        {"ExpandedNominalData.txt", "1\n5\n0\nn\n", 6},
    };
    for (const Case& c : cases) {
        Load({{1, 2}, {3, 1}, {2, 2}}, c.content);
        std::filesystem::create_directory(c.blocked);
        double** const before = data;
        EXPECT_EQ(T(c.answers), 0) << c.blocked;
        EXPECT_NE(err_.find(std::string("can't open ") + c.blocked), std::string::npos) << err_;
        EXPECT_EQ(data, before);
        EXPECT_EQ(optTrEs + optTrVeVar + optTrVeUnits, 0);
        EXPECT_EQ(dataType, c.content == 6 ? 1 : c.content);
        std::filesystem::remove(c.blocked);
        EXPECT_FALSE(std::filesystem::exists("Vidive.txt"));
    }
}

TEST_F(TransformDriver, BealsSmoothingWithItsTest) {
    // Abundances whose presences form the table the reference test reads.
    const Rows abundances = {{3, 0, 1, 0, 2}, {0, 2, 5, 0, 1}, {4, 1, 0, 2, 0}, {0, 0, 3, 1, 6},
                             {1, 0, 0, 0, 2}, {0, 7, 0, 1, 1}, {2, 2, 2, 0, 0}, {0, 0, 0, 4, 0},
                             {5, 0, 1, 1, 0}, {0, 1, 0, 0, 3}, {1, 1, 0, 0, 1}, {0, 0, 2, 0, 0}};
    Rows presences = abundances;
    for (auto& row : presences)
        for (double& v : row) v = v > 0 ? 1 : 0;

    Load(abundances, 1);
    ASSERT_EQ(T("1\n1\n3\n11\n0\ny\nn\ny\n2\n606\n99\nn\n"), 1) << shown_ << err_;
    EXPECT_EQ(optTrVeUnits, 11);
    EXPECT_EQ(BealsTypeOpt, 0);
    EXPECT_TRUE(BealsTestOpt);
    std::vector<double> stat, prob;
    bealsref::ReferenceBealsTest(presences, 99, 1, 606, stat, prob);
    auto line = [](const std::vector<double>& v) {
        std::string s;
        char text[64];
        for (double x : v) {
            snprintf(text, sizeof text, "%.5g\t", x);
            s += text;
        }
        return s + "\n";
    };
    const std::string report = ReadFile("Vidive.txt");
    EXPECT_NE(report.find("with corresponding p-values obtained by the Beals test described by De Ombray & "
                          "Lavonne (2008):\n" +
                          line(stat) + line(prob) + "Random number generation initializer: 606\n"),
              std::string::npos)
        << report;

    // Smoothing without the test writes no block.
    Load(abundances, 1);
    remove("Vidive.txt");
    ASSERT_EQ(T("1\n1\n3\n11\n0\ny\nn\nn\nn\n"), 1);
    EXPECT_EQ(Count(ReadFile("Vidive.txt"), "Differences between MEDIANS"), 0);
    EXPECT_FALSE(BealsTestOpt);
}

}  // namespace
