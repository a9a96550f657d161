// Key E and the preferences file: what the menu sets, what the file holds,
// and what the next start takes from it.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "harness.h"
#include "screens.h"

namespace {

const std::regex kTimeLine("(Mon|Tue|Wed|Thu|Fri|Sat|Sun) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                           "[ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}");

// The ten value lines of a preferences file (the time-stamp line checked apart).
std::vector<std::string> Values(const std::string& file) {
    std::vector<std::string> l = Lines(file);
    EXPECT_EQ(l.size(), 11u) << file;
    if (l.size() == 11) {
        EXPECT_TRUE(std::regex_match(l[10], kTimeLine)) << l[10];
    }
    l.resize(10);
    return l;
}

std::string ProcessorsShown(const std::string& out) {
    std::string last;
    std::regex count("(may use|pode usar): ([0-9]+)");
    for (auto it = std::sregex_iterator(out.begin(), out.end(), count); it != std::sregex_iterator(); ++it)
        last = (*it)[2];
    return last;
}

TEST(Preferences, FreshFolderDefaultsWrittenOnClose) {
    Dialogue d;
    RunResult r = d.Run("e\nc\nx\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("Enter option (valid options with *): \n\n\nPREFERENCES\nSet preferences of: \n"
                         "   L  language (change to Portuguese/mudar para portugues)\n"
                         "   F  output \n   M  multiprocessing \n   C  return to main menu \nType option: "),
              std::string::npos)
        << r.out;
    EXPECT_EQ(Values(r.File("Tevlan.prf")),
              (std::vector<std::string>{"06Apr2012", "1", "0", "0.000000", "0.000000", "0.000000", "0.000000",
                                        "5", "6", "0"}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(d.Folder()), {}), 1);
}

TEST(Preferences, OutputSettingsWithZeroForDefaultAndReadAtTheNextStart) {
    Dialogue d;
    RunResult r = d.Run("e\nf\n3\n4\nc\nx\n");
    EXPECT_NE(r.out.find("Type option: \n" + std::string(79, '-') +
                         "\nNumber of significant digits on printouts (enter zero for default):\n"
                         "Number of ordination dimensions on printouts (enter zero for default):\n"),
              std::string::npos)
        << r.out;
    std::vector<std::string> v = Values(r.File("Tevlan.prf"));
    EXPECT_EQ(v[7], "3");
    EXPECT_EQ(v[8], "4");
    // The next start reads them: closing the menu untouched writes them again.
    r = d.Run("e\nc\nx\n");
    v = Values(r.File("Tevlan.prf"));
    EXPECT_EQ(v[7], "3");
    EXPECT_EQ(v[8], "4");
    // Zero gives the defaults; more digits than a double holds are not kept.
    r = d.Run("e\nf\n0\n0\nc\ne\nf\n1000\n2\nc\nx\n");
    v = Values(r.File("Tevlan.prf"));
    EXPECT_EQ(v[7], "17");
    EXPECT_EQ(v[8], "2");
}

TEST(Preferences, ProcessorsNeverBeyondWhatTheMachineHas) {
    Dialogue d;
    RunResult r = d.Run("e\nm\n1\nc\nx\n");
    EXPECT_NE(r.out.find("Type option: Specify the maximum number of processors to be used (enter zero for "
                         "default, which is the maximum available): "),
              std::string::npos);
    EXPECT_EQ(ProcessorsShown(r.out), "1");
    EXPECT_EQ(Values(r.File("Tevlan.prf"))[9], "1");
    r = d.Run("x\n");
    EXPECT_EQ(ProcessorsShown(r.out), "1");
    // A huge count applies and stores what there is; 0 means all of them.
    r = d.Run("e\nm\n0\nc\nx\n");
    std::string all = ProcessorsShown(r.out);
    EXPECT_EQ(Values(r.File("Tevlan.prf"))[9], "0");
    r = d.Run("e\nm\n2147483647\nc\nx\n");
    EXPECT_EQ(ProcessorsShown(r.out), all);
    EXPECT_EQ(Values(r.File("Tevlan.prf"))[9], all);
    // Out of the range: refused and asked again.
    r = d.Run("e\nm\n-1\n1\nc\nx\n");
    EXPECT_NE(r.err.find("\nIncorrect input = -1. Reenter.\n"), std::string::npos);
    EXPECT_EQ(ProcessorsShown(r.out), "1");
}

TEST(Preferences, LanguageTakesEffectAtOnceAndAtTheNextStart) {
    Dialogue d;
    RunResult r = d.Run("e\nl\nl\nL\nc\nx\n");
    EXPECT_EQ(r.status, 0);
    // The menu follows each switch.
    EXPECT_EQ(Count(r.out, "\nPREFERENCIAS\nAlterar preferencias em: \n"
                           "   L  lingua (mudar para ingles/change to English)\n"
                           "   F  formato de resultados \n   M  multiprocessamento \n"
                           "   C  voltar ao menu principal \nEntre opcao: "),
              2);
    EXPECT_EQ(Count(r.out, "\nPREFERENCES\n"), 2);
    EXPECT_NE(MaskProcessors(r.out).find("Entre opcao: \nSituacao da analise: Dados nao disponiveis.\n"
                                         "Numero maximo de processadores que o programa pode usar: <N>\n\n" +
                                         std::string(79, '-') + "\nMENU PRINCIPAL\n\t* N  especificar dados"),
              std::string::npos)
        << r.out;
    std::vector<std::string> v = Values(r.File("Tevlan.prf"));
    EXPECT_EQ(v[1], "0");
    EXPECT_EQ(v[2], "1");
    // The next start is Portuguese from the banner on.
    r = d.Run("x\n");
    EXPECT_NE(r.out.find("TEVLAN\npara analise multivariada"), std::string::npos);
    EXPECT_NE(r.out.find("\t* X  sair\n"), std::string::npos);
    EXPECT_NE(r.out.find("Entre opcao (opcoes validas com *): "), std::string::npos);
    // Fatal messages follow the language too.
    r = d.Run("e\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\nfile keyboard \nARQUIVO INCOMPLETO !!!\n\nPressione RETURN para sair.\n");
}

TEST(Preferences, FileWithAnotherTagIsIgnored) {
    Dialogue d;
    d.Put("Tevlan.prf", "06Apr2013\n0\n1\n1\n1\n1\n1\n3\n3\n1\nMon Jan  1 00:00:00 2024\n");
    RunResult r = d.Run("x\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("MAIN MENU"), std::string::npos);
    // A first word that only begins with the tag is another tag too.
    d.Put("Tevlan.prf", "06Apr2012x\n0\n1\n");
    r = d.Run("x\n");
    EXPECT_NE(r.out.find("MAIN MENU"), std::string::npos);
    EXPECT_EQ(r.err, "");
}

TEST(Preferences, SizesAreKeptAndAnIncompleteFileIsNotFatal) {
    Dialogue d;
    d.Put("Tevlan.prf", "06Apr2012\n1\n0\n1.5\n2.25\n0\n4\n7\n3\n1\n");
    RunResult r = d.Run("e\nc\nx\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Values(r.File("Tevlan.prf")),
              (std::vector<std::string>{"06Apr2012", "1", "0", "1.500000", "2.250000", "0.000000", "4.000000",
                                        "7", "3", "1"}));
    // Right tag, the rest cut short: what is there is taken, the rest stays
    // default, one line says so, and the program goes on.
    d.Put("Tevlan.prf", "06Apr2012\n0\n1\n1.5\n");
    r = d.Run("x\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "\nArquivo de preferencias Tevlan.prf incompleto: valores padrao usados para o que falta.\n");
    EXPECT_NE(r.out.find("MENU PRINCIPAL"), std::string::npos);
    d.Put("Tevlan.prf", "06Apr2012\n1\n0\n0\n0\n0\n0\nfive\n6\n0\n");
    r = d.Run("e\nc\nx\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "\nPreferences file Tevlan.prf is incomplete: defaults are used for the missing settings.\n");
    EXPECT_EQ(Values(r.File("Tevlan.prf"))[7], "5");
    // A plot size that is not a finite number is damage, never a value.
    d.Put("Tevlan.prf", "06Apr2012\n1\n0\n1\nnan\ninf\n0\n7\n3\n1\n");
    r = d.Run("e\nc\nx\n");
    EXPECT_EQ(r.err, "\nPreferences file Tevlan.prf is incomplete: defaults are used for the missing settings.\n");
    EXPECT_EQ(Values(r.File("Tevlan.prf")),
              (std::vector<std::string>{"06Apr2012", "1", "0", "0.000000", "0.000000", "0.000000", "0.000000",
                                        "5", "6", "0"}));
    // Values the menu would never store are normalised as the menu does.
    d.Put("Tevlan.prf", "06Apr2012\n1\n0\n0\n0\n0\n0\n-2\n0\n-4\n");
    r = d.Run("e\nc\nx\n");
    EXPECT_EQ(Values(r.File("Tevlan.prf")),
              (std::vector<std::string>{"06Apr2012", "1", "0", "0.000000", "0.000000", "0.000000", "0.000000",
                                        "5", "6", "0"}));
}

TEST(Preferences, FailedWriteEndsTheProgramAndKeepsTheOldFile) {
    Dialogue d;
    const std::string old = "06Apr2012\n1\n0\n0\n0\n0\n0\n3\n6\n0\nMon Jan  1 00:00:00 2024\n";
    d.Put("Tevlan.prf", old);
    // Nothing can be written.
    d.LimitFileSize(0);
    RunResult r = d.Run("e\nc\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\nFAIL TO PRINT ON FILE !!!\n\nPress RETURN to exit.\n");
    EXPECT_EQ(r.File("Tevlan.prf"), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(d.Folder()), {}), 1);
}

}  // namespace
