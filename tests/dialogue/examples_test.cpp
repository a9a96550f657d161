// Every script of answers shown in examples/README.md runs as a user would
// run it: on the standard input in a folder holding the example files, and
// again through key Z in the folder the first run left (a last session and a
// report), answering the start-up questions the README says to answer.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "harness.h"
#include "screens.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Scripts() {
    const std::string readme = ReadFile(std::string(TEVLAN_EXAMPLES) + "/README.md");
    static const std::regex block("```answers\n([^`]*)```");
    std::vector<std::string> scripts;
    for (std::sregex_iterator i(readme.begin(), readme.end(), block), end; i != end; ++i) scripts.push_back((*i)[1]);
    return scripts;
}

std::set<std::string> Files(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

TEST(ExampleScripts, EveryScriptOfTheReadmeRunsTwiceAndReplacesItsExports) {
    const std::vector<std::string> scripts = Scripts();
    ASSERT_GE(scripts.size(), 7u);
    std::set<std::string> exported;
    for (const std::string& script : scripts) {
        SCOPED_TRACE(script);
        Dialogue d;
        for (const auto& e : fs::directory_iterator(TEVLAN_EXAMPLES))
            if (e.path().extension() == ".txt") d.PutExample(e.path().filename().string());
        const std::set<std::string> shipped = Files(d.Folder());
        const RunResult first = d.Run(script);
        ASSERT_EQ(first.status, 0) << first.out << first.err;
        EXPECT_EQ(first.err, "");
        EXPECT_EQ(first.out.find("Incorrect input"), std::string::npos) << first.out;
        std::vector<std::pair<std::string, std::string>> exports;
        for (const std::string& f : Files(d.Folder()))
            if (!shipped.count(f) && f.find(".trk") == std::string::npos && f != "Vidive.txt") {
                exported.insert(f);
                if (f.rfind("SummaryResults", 0) != 0) exports.emplace_back(f, Normalise(first.File(f)));
            }

        // A script that names sessions runs in a new folder, as the README
        // says; the others again where the first run left its files.
        const std::vector<std::string> last = Lines(first.File("Sessao.trk"));
        const bool named = !last.empty() && last[0] != "Sessao";
        Dialogue fresh;
        Dialogue& e = named ? fresh : d;
        if (named)
            for (const std::string& f : shipped) e.PutExample(f);
        e.Put("script.txt", script);
        const std::string startUp = std::string(fs::exists(e.Folder() + "/Sessao.trk") ? "n\n" : "") +
                                    (fs::exists(e.Folder() + "/Vidive.txt") ? "e\n" : "");
        // Keys U and J read their first answers from the keyboard, so their
        // scripts go on the standard input after the start-up answers.
        const bool study = script[0] == 'u' || script[0] == 'j';
        const RunResult again = e.Run(startUp + (study ? script : "z\nf\nscript.txt\n"));
        ASSERT_EQ(again.status, 0) << again.out << again.err;
        EXPECT_EQ(again.err, "");
        EXPECT_EQ(again.out.find("Incorrect input"), std::string::npos) << again.out;
        for (const auto& [name, content] : exports) EXPECT_EQ(Normalise(again.File(name)), content) << name;
    }
    for (const char* f : {"scores.txt", "ScatterData.txt", "newick.txt", "Tables.txt", "ExpandedData.txt",
                          "Interpolated.txt", "stopping_rules_results.txt", "path_model_results.txt"})
        EXPECT_TRUE(exported.count(f)) << f;
}

}  // namespace
