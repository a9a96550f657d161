// The report of the permutation MANOVA engine: its lines, with the sums of
// squares computed pair by pair in the test.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdarg>
#include <functional>
#include <string>

#include "iflibG.h"
#include "manova_util.h"
#include "stream_util.h"

namespace {

using namespace manovatest;

std::string Format(const char* format, ...) {
    char text[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

const std::string kDashes78(78, '-');

int Occurrences(const std::string& text, const std::string& what) {
    int count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) count++;
    return count;
}

Ints Identity(int n) {
    Ints list(n);
    for (int i = 0; i < n; i++) list[i] = i + 1;
    return list;
}

#define EXPECT_HAS(text, part) EXPECT_NE((text).find(part), std::string::npos) << "missing:\n" << (part)

TEST(ManovaReport, OneFactor) {
    const Ints A = {1, 1, 1, 2, 2, 2, 3, 3};
    Design d({A}, 7, 99);
    RandomizationTestManova t(&d.in);
    const std::string r = Printed([&](FILE* f) { t.PrintManovaResults(f, d.unitPtrs.data(), 5, 0, nullptr, true); });
    const Ints id = Identity(d.n);
    const double qb = ListQb(d, id, [&](int a) { return A[a]; });
    const double qt = ListQ(d, id, [](int) { return true; });
    const std::string title = "\n" + std::string(79, '-') + "\nRANDOMIZATION TEST\n" + std::string(79, '-') + "\n";
    EXPECT_EQ(r.substr(0, title.size()), title);
    EXPECT_HAS(r, "\nNumber of random permutations plus observed data set: 99\nRandom number generation initializer: 7\n"
                  "Group partition of sampling units:\nSampling units:    u1 u2 u3 u4 u5 u6 u7 u8"
                  "\nFactor A: \nGroups:            1 1 1 2 2 2 3 3\n");
    // Not a series design: the data and restriction notes.
    EXPECT_HAS(r, "\nPermuted data were vectors of raw data.\nRandomization restrictions:none\n");
    const std::string table =
        "\n\nSource of variation   \tSum of squares(Q)   \t P(QbNULL>=Qb)\n" + kDashes78 + "\n" + "\nFactor A: \n" +
        Format("Between groups        \t%20.5g\t%g\n", qb, t.GetManovaResults()->P[0][0]) +
        Format("Within groups         \t%20.5g\n", qt - qb) + kDashes78 + "\n" + Format("Total                 \t%20.5g\n", qt);
    EXPECT_EQ(r.substr(r.size() - table.size()), table);
    EXPECT_EQ(Occurrences(r, "Between groups"), 1);
}

// The lines every variant puts into the table, built from the sums computed
// by the test.
TEST(ManovaReport, TableVariants) {
    const Ints blk = {1, 1, 1, 1, 2, 2, 2, 2}, A = {1, 2, 1, 2, 1, 2, 1, 2};
    const Ints id = Identity(8);
    struct Case {
        const char* name;
        std::vector<Ints> factors;
        std::function<void(Design&)> set;
        std::function<std::vector<std::string>(Design&, RandomizationTestManova&)> expected;
        std::vector<std::string> absent;
    };
    const std::vector<Case> cases = {
        {"block factor without P", {blk, A},
         [](Design& d) {
             d.in.firstFactorBlocks = d.in.nested = true;
             d.in.nestingFactor = 1;
             d.in.nestGroups = d.factors[0].data();
         },
         [&](Design& d, RandomizationTestManova&) {
             const double q = ListQb(d, id, [&](int a) { return blk[a]; });
             return std::vector<std::string>{
                 Format("\nFactor A: \nBetween groups        \t%20.5g\t\n", q),
                 "\nRandom permutation within nesting groups:\t 1 1 1 1 2 2 2 2"};
         },
         {"A         x B", "P(QbNULL>=Qb) *"}},
        {"pseudo-F with Qw of 0", {{1, 2, 3, 4, 5, 6, 7, 8}},
         [](Design& d) { d.in.pseudoF = true; },
         [&](Design& d, RandomizationTestManova&) {
             const double q = ListQ(d, id, [](int) { return true; });
             return std::vector<std::string>{
                 "\n\nSource of variation   \tSum of squares(Q)   \t     F=Qb/Qw\t P(FNULL>=F)\n",
                 Format("Factor A:\nBetween groups        \t%20.5g\t           -\t1\n", q)};
         },
         {}},
        {"pseudo-F", {blk, A},
         [](Design& d) { d.in.pseudoF = true; },
         [&](Design& d, RandomizationTestManova& t) {
             const double cells = ListQb(d, id, [&](int a) { return blk[a] * 10 + A[a]; });
             const double qw = ListQ(d, id, [](int) { return true; }) - cells;
             const double qa = ListQb(d, id, [&](int a) { return A[a]; });
             return std::vector<std::string>{
                 Format("Factor B:\nBetween groups        \t%20.5g\t%12.5g\t%g\n", qa, qa / qw,
                        t.GetManovaResults()->P[1][1]),
                 Format("Between groups        \t%20.5g\t%12.5g\t", cells, cells / qw)};
         },
         {}},
        {"empty cell", {{1, 1, 2, 2, 3, 3, 3, 3}, {1, 2, 1, 2, 1, 1, 1, 1}}, [](Design&) {},
         [&](Design&, RandomizationTestManova&) {
             return std::vector<std::string>{
                 "A         x B        \t",
                 "\nWarning! Data do not contain all the combinations of levels for these factors.\n"};
         },
         {}},
        {"series notes", {blk, A}, [](Design&) {},
         [&](Design&, RandomizationTestManova&) {
             return std::vector<std::string>{"\nFor the all-factor combination effect permutations were unrestricted.\n",
                                             "\t P(QbNULL>=Qb) *\n"};
         },
         {"Permuted data were"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Design d(c.factors, 17, 30);
        c.set(d);
        RandomizationTestManova t(&d.in);
        const std::string r = Printed([&](FILE* f) { t.PrintManovaResults(f, d.unitPtrs.data(), 5, 0, nullptr, true); });
        for (const std::string& line : c.expected(d, t)) EXPECT_HAS(r, line);
        for (const std::string& line : c.absent) EXPECT_EQ(r.find(line), std::string::npos) << line;
    }
}

TEST(ManovaReport, SavedRunBlocksAndIntermediateTable) {
    struct TeamGuard {
        ~TeamGuard() { InitMultiprocessing(0); }
    } guard;
    const Ints A = {1, 1, 2, 2, 3, 3}, B = {1, 2, 1, 2, 1, 2};
    Design d({A, B}, 3, 4);
    d.in.printEachPermutation = true;
    std::string blocks = Printed([&](FILE* f) {
        d.in.report = f;
        RandomizationTestManova t(&d.in);
    });
    const Ints id = Identity(6);
    const double qa = ListQb(d, id, [&](int a) { return A[a]; });
    EXPECT_HAS(blocks, "RANDOMIZATION TEST\nINTERMEDIATE RESULTS Permutation 1\n"
                       "Random permutation of sampling unit vectors:\tu1\tu2\tu3\tu4\tu5\tu6\t\n");
    EXPECT_HAS(blocks, Format("\nFactor A: \nBetween groups        \t%20.5g\t1\n", qa));
    for (int p = 2; p <= 4; p++) EXPECT_HAS(blocks, Format("INTERMEDIATE RESULTS Permutation %d\n", p));
    EXPECT_EQ(Occurrences(blocks, "Number of random permutations"), 1);
    EXPECT_EQ(Occurrences(blocks, "\t Freq(QbNULL>=Qb)\n"), 4);
    EXPECT_EQ(blocks.find("Permutation 5"), std::string::npos);

    d.in.printEachPermutation = false;
    d.in.intermediateTable = true;
    std::string table = Printed([&](FILE* f) {
        d.in.report = f;
        RandomizationTestManova t(&d.in);
    });
    const double qb = ListQb(d, id, [&](int a) { return B[a]; });
    const double cells = ListQb(d, id, [&](int a) { return A[a] * 10 + B[a]; });
    EXPECT_HAS(table, "RANDOMIZATION TEST - INTERMEDIATE RESULTS\n" + std::string(79, '-') +
                          "\nA\tB\tA x B\tAll factors\tRandom permutations\n" + std::string(79, '-') +
                          Format("\n%5g\t%5g\t%20.5g\t%20.5g\tu1\tu2\tu3\tu4\tu5\tu6\t", qa, qb, cells - qa - qb, cells));
    EXPECT_EQ(Occurrences(table, "\tu"), 4 * 6) << "four rows of six units";
}

TEST(ManovaReport, ContrastLabelsOfFortyGroups) {
    Ints A(80);
    for (int i = 0; i < 80; i++) A[i] = i / 2 + 1;
    Design d({A}, 23, 10);
    std::vector<double> c1(40, 0.0), c2(40, 1.0);
    c1[0] = 1, c1[39] = -1, c2[39] = -39;
    double* rows[] = {c1.data(), c2.data()};
    double** factor[] = {rows};
    int count[] = {2};
    d.in.doContrasts = true;
    d.in.contrastCoef = factor;
    d.in.nContrasts = count;
    RandomizationTestManova t(&d.in);
    const std::string r = Printed([&](FILE* f) { t.PrintManovaResults(f, d.unitPtrs.data(), 5); });
    std::string label1 = " 1", label2;
    for (int g = 1; g < 39; g++) label1 += " 0";
    label1 += " -1";
    for (int g = 0; g < 39; g++) label2 += " 1";
    label2 += " -39";
    double** res = t.GetManovaResults()->contrasts[0];
    EXPECT_HAS(r, Format("%-22s\n", "   Contrasts:") + Format("%s\t%20.5g\t\t%g\n", label1.c_str(), res[0][0], res[0][1]) +
                      Format("%s\t%20.5g\t\t%g\n", label2.c_str(), res[1][0], res[1][1]));
    EXPECT_HAS(r, "Order of groups in contrasts: 1 2 3");
}

TEST(ManovaReport, AlternativeStatisticsAndGroupMeans) {
    const Ints A = {1, 1, 1, 2, 2, 2}, B = {5, 6, 5, 6, 5, 6};
    Design d({A, B}, 5, 20, 2);
    d.in.groupMeans = true;
    RandomizationTestManova t(&d.in, 3);
    const std::string r = Printed([&](FILE* f) { t.PrintManovaResults(f, d.unitPtrs.data(), 5, false, 0); });
    manovaResults* res = t.GetManovaResults();
    EXPECT_HAS(r, "Number of random permutations plus observed data: 20\n");
    EXPECT_HAS(r, "\nFactor B: \nGroups:" + std::string(13, ' ') + " 5 6 5 6 5 6\n");
    EXPECT_HAS(r, "(average dissimilaritty, v=1, Sorvin & Dosset 2001).\n\nRandomization restrictions:none\n");
    EXPECT_HAS(r, Format("Factor A:\nMRPP:\t%g\tP(MRPP_Rnd<=MRPP):\t%g\n", res->Qb[0][0], res->P[0][0]));
    // Group means: the mean vector in fields of width 10.
    const double m0 = (d.data[0][0] + d.data[1][0] + d.data[2][0]) / 3;
    const double m1 = (d.data[0][1] + d.data[1][1] + d.data[2][1]) / 3;
    EXPECT_HAS(r, Format("\nMean vectors of each group:\nFactor A:\nGroup 1 (n=3):\t%10.5g\t%10.5g\t\n", m0, m1));

    RandomizationTestManova q(&d.in);
    const std::string rq = Printed([&](FILE* f) { q.PrintManovaResults(f, d.unitPtrs.data(), 5); });
    EXPECT_HAS(rq, "\nInteraction factors A x B:\nGroup 1 x 5 (n=2):\t");
}

TEST(ManovaReport, Portuguese) {
    Design d({{1, 1, 2, 2, 2}}, 9, 10);
    d.in.portuguese = 1;
    d.D[2][0] = std::nan("");
    RandomizationTestManova t(&d.in);
    const std::string r = Printed([&](FILE* f) { t.PrintManovaResults(f, d.unitPtrs.data(), 5); });
    for (const std::string& line :
         {std::string("TESTE DE ALEATORIZACAO"), std::string(" seconds\n"),
          std::string("Os dados permutados foram vetores de dados brutos."), std::string("\nFator A: \n"),
          Format("%-22s\t%20.5g\tnao testavel\n", "Entre grupos", std::nan("")), Format("%-22s\t", "Dentro dos grupos"),
          Format("%-22s\tSoma de quadrados(Q)\t", "Fonte de variacao")})
        EXPECT_HAS(r, line);
    EXPECT_EQ(r.find("Between"), std::string::npos);
}

}  // namespace
