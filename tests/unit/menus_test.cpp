// Language tables, numbered menus, the status report and the small printers
// of the current data.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "TevlanClasses.h"
#include "rhlibDim.h"
#include "stream_util.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

// Points `in` at a text and `out` at a buffer for the length of a test.
class Console {
public:
    explicit Console(const std::string& answers) : input_(answers) {
        savedIn_ = in;
        savedOut_ = out;
        in = input_.get();
        out = open_memstream(&buffer_, &size_);
    }
    ~Console() {
        fclose(out);
        free(buffer_);
        in = savedIn_;
        out = savedOut_;
    }
    std::string Text() {
        fflush(out);
        return std::string(buffer_, size_);
    }
    // Whatever of the answers was not read.
    std::string Rest() {
        std::string s;
        int c;
        while ((c = getc(in)) != EOF) s += static_cast<char>(c);
        return s;
    }

private:
    TextStream input_;
    FILE* savedIn_;
    FILE* savedOut_;
    char* buffer_ = nullptr;
    size_t size_ = 0;
};

class Language : public testing::Test {
protected:
    void SetUp() override {
        port = 0;
        eng = 1;
        Initialize();
    }
    void TearDown() override { SetUp(); }
};

using Menus = Language;

TEST_F(Menus, OnlyEntriesOfferedForTheDataTypeAreShownAndAccepted) {
    {
        // Data type 5: variables cannot be compared and there is no cancel.
        Console c("2\n99\n1\n");
        CaptureStderr();
        int chosen = -1;
        EXPECT_EQ(ShowMenu(1, 3, appliesReseDir, 4, optReseDirInfo, &chosen), 1);
        std::string err = GetCapturedStderr();
        EXPECT_EQ(chosen, 1);
        EXPECT_EQ(c.Text(), "\t(1)comparing sampling units\n \t\tEnter option: ");
        EXPECT_EQ(Count(err, "Incorrect input"), 2);
        EXPECT_NE(err.find("Accepted input: 1\n"), std::string::npos);
    }
    {
        Console c("2\n");
        EXPECT_EQ(ShowMenu(1, 3, appliesReseDir, 0, optReseDirInfo, nullptr), 2);
        EXPECT_EQ(c.Text(),
                  "\t(1)comparing sampling units\n \t(2)comparing variables\n "
                  "\t(99)cancel and return to main menu\n \t\tEnter option: ");
    }
    {
        Console c("99\n");
        EXPECT_EQ(ShowMenu(1, 3, appliesReseDir, 0, optReseDirInfo, nullptr), 99);
    }
}

TEST_F(Menus, WithoutATableEveryEntryIsShownAndNumbersNotShownAreRefused) {
    Console c("3\n-1\n0\n");
    CaptureStderr();
    EXPECT_EQ(ShowMenu(0, 3, nullptr, 0, optPostReseTransfInfo, nullptr), 0);
    std::string err = GetCapturedStderr();
    EXPECT_NE(err.find("Accepted input: 0 1 2 99\n"), std::string::npos) << err;
    EXPECT_EQ(Count(err, "Incorrect input"), 2);
    EXPECT_EQ(Count(c.Text(), "\n \t"), 4);
}

TEST_F(Menus, ANumberNeverShownIsNeverAccepted) {
    // Binary data compared as sampling units: measure 4 is not offered, nor
    // is 0, and without the cancel row neither is 99.
    Console c("0\n4\n99\n11\n");
    CaptureStderr();
    EXPECT_EQ(ShowMenu(1, 29, appliesReseUnits, 3, optReseTipoInfo, nullptr), 11);
    std::string err = GetCapturedStderr();
    EXPECT_EQ(Count(err, "Incorrect input"), 3);
    EXPECT_EQ(c.Text().find("(4)mutual information"), std::string::npos);
    EXPECT_NE(c.Text().find("(23)Jaccard dissimilarity"), std::string::npos);
}

TEST_F(Menus, ColumnsAndRowsOutsideTheTablesAreNeverRead) {
    {
        // The column of data type 0: nothing to offer, nothing read.
        Console c("1\n");
        int chosen = 0;
        EXPECT_EQ(ShowMenu(1, 30, appliesReseUnits, -1, optReseTipoInfo, &chosen), 99);
        EXPECT_EQ(chosen, 99);
        EXPECT_EQ(c.Text(), "\t\tEnter option: ");
        EXPECT_EQ(c.Rest(), "1\n");
    }
    {
        // A last row beyond the table stops at its end.
        Console c("99\n");
        EXPECT_EQ(ShowMenu(0, 50, nullptr, 0, optOrdiTypeInfo, nullptr), 99);
        EXPECT_EQ(Count(c.Text(), "\n \t"), 5);
    }
    EXPECT_STREQ(MenuText(optTrEsInfo, 7), "(?)");
    EXPECT_STREQ(MenuText(optTrEsInfo, -1), "(?)");
    EXPECT_STREQ(MenuText(optTrEsInfo, 6), "(99)cancel and return to main menu");
}

TEST_F(Language, PortugueseSwitchesEveryTableAtOnce) {
    port = 1;
    eng = 0;
    Initialize();
    EXPECT_STREQ(enterOpt, "Entre opcao");
    EXPECT_STREQ(enterOptValid, "Entre opcao (opcoes validas com *)");
    EXPECT_STREQ(returnMain, "voltar ao menu principal");
    EXPECT_STREQ(iteraStr, "Iteracao");
    EXPECT_STREQ(versao, "3.85b");
    const char** tables[] = {yesnoInfo,       optTransfCorrelInfo, clusMethInfo,     optOrdiTypeInfo,
                             optCriterioInfo, optPostReseTransfInfo, optReseDirInfo, optReseTipoInfo,
                             optTrVe2Info,    optTrVeDirInfo,      optTrInfo,        optTrEsInfo,
                             optDescrAttrInfo, optVarTipoInfo,     optMainMenuInfo};
    const char** english[] = {yesnoInfoE,       optTransfCorrelInfoE, clusMethInfoE,     optOrdiTypeInfoE,
                              optCriterioInfoE, optPostReseTransfInfoE, optReseDirInfoE, optReseTipoInfoE,
                              optTrVe2InfoE,    optTrVeDirInfoE,      optTrInfoE,        optTrEsInfoE,
                              optDescrAttrInfoE, optVarTipoInfoE,     optMainMenuInfoE};
    for (size_t t = 0; t < sizeof tables / sizeof tables[0]; t++) {
        EXPECT_NE(tables[t], english[t]);
        int n = MenuTableLength(tables[t]);
        ASSERT_GT(n, 0);
        EXPECT_EQ(n, MenuTableLength(english[t]));
        // Twins keep the numbering of every entry, and the texts are plain ASCII.
        for (int k = 0; k < n; k++) {
            const char* e = english[t][k];
            const char* p = tables[t][k];
            if (e[0] == '(') {
                size_t close = strchr(e, ')') - e + 1;
                EXPECT_EQ(std::string(p, close), std::string(e, close)) << p;
            }
            for (const char* q = p; *q; ++q) EXPECT_LT(static_cast<unsigned char>(*q), 128u) << p;
        }
    }
    Console c("1\n");
    ShowMenu(1, 1, nullptr, 0, optVarTipoInfo, nullptr);
    EXPECT_EQ(c.Text(), "\t(1) quantitativas, mesmas escalas de medida\n \t\tEntre opcao: ");
}

TEST(Availability, RunsAsTheTablesSay) {
    // Measure 5 (Gower) for every data type between units, never between variables.
    for (int t = 0; t < 8; t++) {
        EXPECT_EQ(appliesReseUnits[5][t], 1);
        EXPECT_EQ(appliesReseVar[5][t], 0);
    }
    // Entropy measures between variables for qualitative, binary and both.
    for (int k = 6; k <= 10; k++)
        for (int t = 1; t <= 8; t++) EXPECT_EQ(appliesReseVar[k][t - 1], t == 3 || t == 4 || t == 7) << k;
    EXPECT_EQ(appliesReseDir[3][0] + appliesReseDir[3][3], 2);
    EXPECT_EQ(appliesReseDir[3][1], 0);
    EXPECT_EQ(appliesScalar[4][2], 1);
    EXPECT_EQ(appliesScalar[4][0], 0);
    EXPECT_EQ(appliesVectorOther[11][3], 1);
    EXPECT_EQ(appliesVectorUnits[11][0], 0);
    EXPECT_EQ(appliesTr[0][2], 0);
    EXPECT_EQ(appliesTr[1][7], 1);
    EXPECT_EQ(AppliesTableRows(appliesReseVar), 31);
    EXPECT_EQ(AppliesTableRows(appliesTr), 3);
}

// ---------------------------------------------------------------------------
// Status
// ---------------------------------------------------------------------------

class Status : public Language {
protected:
    void SetUp() override {
        Language::SetUp();
        snprintf(sessionName, sizeof sessionName, "Sessao");
        nProcessors = 3;
        savedSession = 1;
    }
    void TearDown() override {
        delete session2;
        session2 = nullptr;
        secondSet = false;
        LivraMemoria();
        optTrEs = optTrVeVar = optTrVeUnits = 0;
        optReseTipo = optReseDir = optPostReseTransf = 0;
        nProcessors = 0;
        Language::TearDown();
    }
    static void Load(const char* file, int n, int p, int content) {
        snprintf(filename, sizeof filename, "%s", file);
        nObj = n;
        nVar = p;
        optVarTipo = content;
        Dimensiona();
        for (int j = 0; j < p; j++) varType[j] = 1 + j % 4;
        temDados = 1;
    }
    static std::string Shown() {
        return Printed([](FILE* f) { ShowStatus(f); });
    }
};

TEST_F(Status, WithoutData) {
    EXPECT_EQ(Shown(), "\nAnalysis status: Data not available.\nMaximum number of processors the program may use: 3\n");
    snprintf(sessionName, sizeof sessionName, "Trial");
    port = 1;
    eng = 0;
    Initialize();
    EXPECT_EQ(Shown(),
              "\nSituacao da analise da sessao Trial: Dados nao disponiveis.\n"
              "Numero maximo de processadores que o programa pode usar: 3\n");
}

TEST_F(Status, DataTransformationsAndResemblance) {
    Load("dune.txt", 20, 30, 1);
    optTrEs = 2;
    optTrVeVar = 3;
    temRese = 1;
    optReseTipo = 19;
    optReseDir = 1;
    kParameter = 0.5;
    savedSession = 0;
    EXPECT_EQ(Shown(),
              "\nAnalysis status:\nData file name: dune.txt\n"
              "Dimensions: 20 sampling units, 30 variables\n"
              "Data type: (1) quantitative, same measurement scales\n"
              "Scalar transformation: (2)square root (sqrt(|x|))\n"
              "Vector transformation: (3)centering, within variables\n"
              "Resemblance measure: (19)Legendre&Chodorowski index, (1)comparing sampling units\n"
              "Transformation of the resemblance measure: (0)none\n"
              "k Parameter: 0.5\n"
              "Session is NOT saved.\n"
              "Maximum number of processors the program may use: 3\n");
}

TEST_F(Status, VectorLinesAndMixedTypes) {
    Load("m.txt", 2, 3, 5);
    optTrVeUnits = 11;
    BealsTypeOpt = 1;
    BealsIncludeOpt = false;
    BealsNormalizeOpt = true;
    temRese = 1;
    optReseTipo = 5;
    countDoubleAbsence = 0;
    std::string s = Shown();
    EXPECT_NE(s.find("Data type: (5) mixed\nVariable: 1 2 3 \nType:     1 2 3 \n"), std::string::npos) << s;
    EXPECT_NE(s.find("Vector transformation: (11)Beals smoothing\n"
                     "Co-occurence probabilities of target variable weighted by quantities of reference "
                     "variables (as in De Ombray&Lavonne (2008) Appendix)\n"
                     "Target species values NOT included in their own prediction\n"
                     "Probabilities of co-occurrence standardized to unit sum\n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("Joint absences in binary variables were NOT considered.\n"), std::string::npos);
    optTrVeVar = 1;
    optTrVeUnits = 4;
    optReseTipo = 8;
    alphaH = 2;
    s = Shown();
    EXPECT_NE(s.find("Vector transformation: (1)standardizing by marginal total, within variables and "
                     "(4)normalization, within sampling units\n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("(alpha in Reyni's general entropy): 2\n"), std::string::npos);
    BealsTypeOpt = 1;
    BealsIncludeOpt = true;
    BealsNormalizeOpt = false;
}

TEST_F(Status, CodesOutsideTheTablesPrintANeutralText) {
    Load("x.txt", 2, 2, 9);
    optTrEs = 40;
    temEscore = 1;
    optOrdiType = -3;
    std::string s = Shown();
    EXPECT_NE(s.find("Data type: (?)\n"), std::string::npos);
    EXPECT_NE(s.find("Scalar transformation: (?)\n"), std::string::npos);
    EXPECT_NE(s.find("Ordination scores available: (?)\n"), std::string::npos);
    temEscore = 0;
}

TEST_F(Status, SecondDataSetIsReadFromItsSnapshotWithoutSwapping) {
    Load("second.txt", 2, 4, 4);
    session2 = SessionClass(true);
    LivraMemoria();
    Load("first.txt", 3, 2, 1);
    optTrVeVar = 4;  // something done to the current set since
    double** before = data;
    secondSet = true;
    std::string s = Shown();
    EXPECT_NE(s.find("Second data set: second.txt, with 4 variables\nSession IS saved.\n"
                     "\nAnalysis status:\nData file name: second.txt\n"
                     "Dimensions: 2 sampling units, 4 variables\nData type: (4) binary\n"),
              std::string::npos)
        << s;
    EXPECT_EQ(Count(s, "Maximum number of processors"), 1);
    // The current set is exactly as it was.
    EXPECT_EQ(data, before);
    EXPECT_STREQ(filename, "first.txt");
    EXPECT_EQ(nVar, 2);
    EXPECT_EQ(optTrVeVar, 4);
    EXPECT_TRUE(secondSet);
}

TEST(SmallPrinters, DataAndResemblance) {
    double** m = dim2DT<double>(2, 2);
    m[0][0] = 1;
    m[0][1] = 2.5;
    m[1][0] = 30;
    m[1][1] = 4;
    EXPECT_EQ(Printed([&](FILE* f) { PrintData(f, 2, 2, 5, m); }),
              "Data matrix:\n       1\t     2.5\t\n      30\t       4\t\n");
    float** mf = dim2DT<float>(2, 2);
    mf[0][0] = 1, mf[0][1] = 2.5f, mf[1][0] = 30, mf[1][1] = 4;
    EXPECT_EQ(Printed([&](FILE* f) { PrintData(f, 2, 2, 5, mf); }),
              Printed([&](FILE* f) { PrintData(f, 2, 2, 5, m); }));
    free2DT(mf, 2);
    // The upper triangle (1, 2.5, 4) shown as the lower half of the transpose.
    EXPECT_EQ(Printed([&](FILE* f) { PrintRese(f, 2, 5, m); }), "\nResemblance matrix:\n  1\t\n2.5\t  4\t\n");
    EXPECT_EQ(m[0][1], 2.5);
    EXPECT_EQ(m[1][0], 30);
    free2DT(m, 2);
}

}  // namespace
