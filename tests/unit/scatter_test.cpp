// Key D on a current data set set up in memory, and the correlations of the
// variables with the axes that its biplot scales.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "dataset_util.h"
#include "reference_stats.h"
#include "rhlibDim.h"
#include "rhlib_M.h"

namespace {

using Vec = std::vector<double>;

// Variables as the columns of the table, with missing cells: each variable
// is centred and scaled over its present values and its products with the
// axis are summed over them, as the correlations between rows do.
TEST(ScoreCorrelations, ColumnsWithMissingValues) {
    const int n = 6;
    double s0[] = {1.0, -2.0, 0.5, 3.0, -1.5, -1.0};
    double* scores[] = {s0};
    double rows[][2] = {{1, 4}, {-999, 2}, {3, 7}, {5, -999}, {2, 2}, {0, 1}};
    double* data[n];
    for (int i = 0; i < n; i++) data[i] = rows[i];
    double r0[1], r1[1];
    double* R[] = {r0, r1};
    ScoreCorrComp(1, n, scores, data, 2, 0, 6, R);
    for (int j = 0; j < 2; j++) {
        double sum = 0, count = 0, axisMean = 0;
        for (int i = 0; i < n; i++) {
            axisMean += s0[i] / n;
            if (rows[i][j] != -999) sum += rows[i][j], count++;
        }
        double xx = 0, aa = 0, xa = 0;
        for (int i = 0; i < n; i++) {
            aa += (s0[i] - axisMean) * (s0[i] - axisMean);
            if (rows[i][j] == -999) continue;
            xx += (rows[i][j] - sum / count) * (rows[i][j] - sum / count);
            xa += (rows[i][j] - sum / count) * (s0[i] - axisMean);
        }
        EXPECT_NEAR(R[j][0], xa / std::sqrt(xx * aa), 1e-14) << "variable " << j + 1;
    }
}

// A constant variable whose mean is not exact as sum / count (0.05 over 20
// units, 19 beside a missing cell) is correlated with neither axis, by
// either route, and its biplot point is left out.
TEST(ScoreCorrelations, ConstantVariableIsLeftOutOfTheBiplot) {
    const int n = 20;
    Vec x(n), y(n);
    for (int i = 0; i < n; i++) x[i] = (i * 7 % 11) - 5.0 + 0.1 * i, y[i] = std::sin(i + 1.0);
    double* scores[] = {x.data(), y.data()};
    for (const bool missing : {false, true}) {
        SCOPED_TRACE(missing ? "with a missing cell" : "complete");
        std::vector<Vec> rows(n, Vec{0.05, 0.0});
        for (int i = 0; i < n; i++) rows[i][1] = i % 3;
        if (missing) rows[3][0] = -999;
        std::vector<double*> data(n);
        for (int i = 0; i < n; i++) data[i] = rows[i].data();
        Vec column(n, 0.05);
        if (missing) column[3] = -999;
        double* byVariable[] = {column.data()};
        double r[2][2] = {{9, 9}, {9, 9}};
        double* R[] = {r[0], r[1]};
        ScoreCorrComp(2, n, scores, data.data(), 2, 0, 2, R);
        EXPECT_EQ(r[0][0], 0.0);
        EXPECT_EQ(r[0][1], 0.0);
        ScoreCorrComp(2, n, scores, byVariable, 1, 1, 2, R);
        EXPECT_EQ(r[0][0], 0.0);
        EXPECT_EQ(r[0][1], 0.0);
        std::vector<ScatterPoint> points;
        char names[2][30] = {"flat", "varied"};
        char* labels[] = {names[0], names[1]};
        AppendBiplotVariables(n, x.data(), y.data(), 2, data.data(), labels, false, points);
        ASSERT_EQ(points.size(), 1u);
        EXPECT_EQ(points[0].label, "varied");
    }
}

class ScatterDriver : public testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tevlan_scatterXXXXXX";
        folder_ = mkdtemp(tmpl);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_);
        ResetCurrentDataSet();
    }
    void TearDown() override {
        ResetCurrentDataSet();
        port = 0;
        eng = 1;
        Initialize();
        scatterHSize = scatterVSize = 0;
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(folder_);
    }
    // Five units on three variables (labels a1.., s1..), and an ordination of
    // the given type and direction with two axes of scores (or none).
    void Ordinated(int type, int direction, int axes) {
        nObj = 5;
        nVar = 3;
        Dimensiona();
        for (int i = 0; i < nObj; i++) {
            snprintf(uaLabels[i], 30, "a%d", i + 1);
            // The data as read differ from the table the ordination saw,
            // with which the biplot correlates.
            for (int j = 0; j < nVar; j++) data[i][j] = kTable[i][j], dataOrig[i][j] = kTable[4 - i][j];
        }
        for (int j = 0; j < nVar; j++) snprintf(varLabels[j], 30, "s%d", j + 1);
        snprintf(filename, sizeof filename, "t.txt");
        optLabel = 2;
        temDados = temRese = temEscore = 1;
        optOrdiType = type;
        optReseDir = direction;
        nRows = direction == 1 ? nObj : nVar;
        nCols = direction == 1 ? nVar : nObj;
        rank = axes;
        eig = dim1DT<double>(nRows + 1);
        evectors = dim2DT<double>(nRows + 1, nRows + 1);
        escores = dim2DT<double>(nRows, type == 1 ? nRows : nCols);
        for (int k = 0; k < 2; k++)
            for (int i = 0; i < (type == 1 ? nRows : nCols); i++) escores[k][i] = kScores[k][i];
    }
    // Runs key D; the error code it ended with (0 when it returned).
    int Run(const std::string& answers) {
        try {
            WithConsole(answers, shown, Scatter);
        } catch (int code) {
            return code;
        }
        return 0;
    }
    std::string File() {
        std::ifstream f("ScatterData.txt");
        std::ostringstream s;
        s << f.rdbuf();
        return s.str();
    }

    static constexpr double kTable[5][3] = {{1, 0, 4}, {2, 1, 3}, {0, 5, 1}, {4, 2, 2}, {3, 3, 0}};
    static constexpr double kScores[2][5] = {{1.5, -0.5, 2, -2, -1}, {0.3, 1.2, -0.7, 0.1, -0.9}};
    std::string shown, folder_;
    std::filesystem::path previous_;
};

// Principal components between variables score the units: a biplot, here
// with axes 2 and 1, in Portuguese and with unequal plot sizes.
TEST_F(ScatterDriver, BiplotOfComponentsInPortuguese) {
    port = 1;
    eng = 0;
    Initialize();
    scatterHSize = 3;
    scatterVSize = 4;
    Ordinated(2, 2, 2);
    ASSERT_EQ(Run("3\n2\n1\n2\n1\n"), 0);
    EXPECT_NE(shown.find("\nTipo de diagrama de dispersao: \n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("\nAs dimensoes do diagrama de dispersao nao sao iguais."), std::string::npos);
    EXPECT_EQ(scatterHSize, 0);
    EXPECT_EQ(scatterVSize, 0);
    // f = (|min x| + max x + max y + |min y|) / 4 over the unit points.
    const double f = (0.9 + 1.2 + 2 + 2) / 4;
    std::ostringstream expected;
    expected << "Labels\tAxis1\tAxis2\n";
    for (int i = 0; i < 5; i++) expected << "a" << i + 1 << "\t" << kScores[1][i] << "\t" << kScores[0][i] << "\n";
    ASSERT_EQ(File().substr(0, expected.str().size()), expected.str());
    std::istringstream file(File().substr(expected.str().size()));
    for (int j = 0; j < 3; j++) {
        Vec column, y(kScores[0], kScores[0] + 5), x(kScores[1], kScores[1] + 5);
        for (int i = 0; i < 5; i++) column.push_back(kTable[i][j]);
        std::string label;
        double px = 0, py = 0;
        file >> label >> px >> py;
        EXPECT_EQ(label, "s" + std::to_string(j + 1));
        EXPECT_NEAR(px, f * Pearson(column, x), 1e-5);
        EXPECT_NEAR(py, f * Pearson(column, y), 1e-5);
    }
    EXPECT_NE(File().find("\nEixos: componente 2 x 1      Pontos: unidades amostrais & variaveis\n"), std::string::npos)
        << File();
}

TEST_F(ScatterDriver, PlainPlotsRefusalsAndTheEndOfTheAnswers) {
    // Principal coordinates of variables: their scores, no biplot, and the
    // variables keep their labels.
    Ordinated(1, 2, 2);
    ASSERT_EQ(Run("3\n0\n1\n2\n"), 0);
    EXPECT_EQ(shown.find("Type of scatter diagram"), std::string::npos);
    EXPECT_NE(shown.find("   0  none (only squares) \n   1  variable labels \nType option no.: "), std::string::npos);
    EXPECT_EQ(File().substr(0, File().find("\n\n")), "Labels\tAxis1\tAxis2\ns1\t1.5\t0.3\ns2\t-0.5\t1.2\ns3\t2\t-0.7");
    remove("ScatterData.txt");
    // An ordination that kept no axis.
    LivraMemoria();
    Ordinated(1, 1, 0);
    ASSERT_EQ(Run("3\n"), 0);
    EXPECT_NE(shown.find("Enter option: \nOrdination scores not available.\n"), std::string::npos) << shown;
    // Answers that end on the way write nothing.
    LivraMemoria();
    Ordinated(1, 1, 2);
    EXPECT_EQ(Run("3\n2\n"), 2);
    EXPECT_FALSE(std::filesystem::exists("ScatterData.txt"));
}

}  // namespace
