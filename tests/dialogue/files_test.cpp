// Files of every kind in the places of the program's files, and two runs
// of the program in one folder.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "harness.h"
#include "load_answers.h"

namespace {

namespace fs = std::filesystem;

// A pipe the program inherits, holding text; its name is /dev/fd/N.
std::string GivenPipe(const std::string& text) {
    int ends[2];
    if (pipe(ends) != 0 || write(ends[1], text.data(), text.size()) != static_cast<ssize_t>(text.size())) return "";
    close(ends[1]);
    return "/dev/fd/" + std::to_string(ends[0]);
}

TEST(FileKinds, LinksDevNullFoldersAndPipesInThePlaceOfFiles) {
    const std::string six = "1 2 3 4 5 6\na b c\nx y\n", data = GivenPipe(six);
    const struct {
        const char* name;
        std::function<void(const std::string& folder)> setUp;
        std::string answers, err;
        int status;
        std::function<void(const RunResult&)> check;
    } cases[] = {
        {"session and preferences written through their links",
         [](const std::string& f) {
             fs::create_directory(f + "/keep");
             std::ofstream(f + "/keep/Sessao.trk").close();
             std::ofstream(f + "/keep/p.prf") << "06Apr2012\n1\n0\n0\n0\n0\n0\n3\n6\n0\n";
             fs::create_symlink("keep/Sessao.trk", f + "/Sessao.trk");
             fs::create_symlink(f + "/keep/p.prf", f + "/Tevlan.prf");
         },
         Load("six.txt", 1, 3, 2, "N\n2\nn\ne\nc\nx\n"), "", 0,
         [](const RunResult& r) {
             EXPECT_TRUE(fs::is_symlink(r.folder + "/Sessao.trk") && fs::is_symlink(r.folder + "/Tevlan.prf"));
             EXPECT_EQ(r.File("keep/Sessao.trk").rfind("Sessao\nsix.txt\n", 0), 0u);
             // The digits read through the link, and written back to its file.
             EXPECT_EQ(r.File("keep/p.prf").find("0.000000\n3\n6\n0\n"), 41u);
         }},
        {"preferences file a folder", [](const std::string& f) { fs::create_directory(f + "/Tevlan.prf"); }, "e\nc\n",
         "\ncan't open Tevlan.prf: is a folder \n\nFAIL TO PRINT ON FILE !!!\n\nPress RETURN to exit.\n", 1, nullptr},
        {"report and session linked to /dev/null",
         [](const std::string& f) {
             fs::create_symlink("/dev/null", f + "/Vidive.txt");
             fs::create_symlink("/dev/null", f + "/Sessao.trk");
         },
         "e\n" + Load("six.txt", 1, 3, 2, "N\n2\ny\nx\n"), "", 0,
         [](const RunResult& r) {
             EXPECT_NE(r.out.find("See data on file Vidive.txt."), std::string::npos);
             EXPECT_NE(r.out.find("Session IS saved."), std::string::npos);
             EXPECT_TRUE(fs::is_character_file("/dev/null") && fs::is_symlink(r.folder + "/Sessao.trk"));
         }},
        // Sized, read and read again for its lines, then for its labels.
        {"data from a pipe", nullptr, Load(data, 1, 3, 2, "N\n2\nn\nx\n"), "", 0,
         [](const RunResult& r) {
             EXPECT_NE(r.File("Sessao.trk").find("\n1\t2\t\n3\t4\t\n5\t6\t\n"), std::string::npos);
             EXPECT_NE(r.File("Sessao.trk").find("\na\tb\tc\t\nx\ty\t\n"), std::string::npos);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Dialogue d;
        d.Put("six.txt", six);
        if (c.setUp) c.setUp(d.Folder());
        const RunResult r = d.Run(c.answers, 20);
        EXPECT_EQ(r.status, c.status) << r.out;
        EXPECT_EQ(r.err, c.err);
        if (c.check) c.check(r);
    }
}

// Whether each block of the report (from one version line to the next)
// holds none or n rows of n numbers, and all of them count rows.
bool BlocksWhole(const std::string& report, int n, int count) {
    std::istringstream lines(report);
    int rows = 0, inBlock = 0;
    bool whole = true;
    for (std::string l; std::getline(lines, l);) {
        if (l.rfind("TEVLAN version", 0) == 0) {
            whole = whole && (inBlock == 0 || inBlock == n);
            inBlock = 0;
        }
        const size_t first = l.find_first_not_of(' ');
        if (first == std::string::npos || !isdigit(static_cast<unsigned char>(l[first]))) continue;
        whole = whole && std::count(l.begin(), l.end(), '\t') == n && l.back() == '\t';
        rows++;
        inBlock++;
    }
    return whole && (inBlock == 0 || inBlock == n) && rows == count;
}

TEST(SharedFolder, TwoRunsAtOnceLeaveAWholeSessionAndWholeReportBlocks) {
    constexpr int kN = 150;
    Dialogue d;
    for (int k : {1, 2}) {
        std::ostringstream s;  // rows of data and of distances of kN numbers
        for (int i = 0; i < kN * kN; i++) s << (i * 7 + k) % 97 + k << (i % kN == kN - 1 ? "\n" : " ");
        d.Put(k == 1 ? "a.txt" : "b.txt", s.str());
    }
    // Each run finds a session and a report, declines the one and appends to
    // the other. The sessions a run may leave: after N, and after R.
    auto answers = [](const char* file, const std::string& print, const std::string& keys) {
        return "n\na\n" + Load(file, 1, kN, kN, "N\n1\n" + print + keys);
    };
    ASSERT_EQ(d.Run(Load("a.txt", 1, kN, kN, "N\n1\nn\nx\n")).status, 0);
    const std::string found = ReadFile(d.Folder() + "/Sessao.trk");
    std::set<std::string> sessions;
    for (const char* file : {"a.txt", "b.txt"})
        for (const char* keys : {"x\n", "r\n1\n3\n0\nn\nx\n"}) {
            d.Put("Sessao.trk", found);
            d.Put("Vidive.txt", "");
            d.Run(answers(file, "n\n", keys));
            sessions.insert(ReadFile(d.Folder() + "/Sessao.trk"));
        }
    ASSERT_EQ(sessions.size(), 4u);
    // The report held for a while, as another run holds it for a block.
    auto holdReport = [&d](int milliseconds) {
        const int held = open((d.Folder() + "/Vidive.txt").c_str(), O_WRONLY | O_CLOEXEC);
        EXPECT_EQ(flock(held, LOCK_EX), 0);
        return std::thread([held, milliseconds] {
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
            close(held);
        });
    };
    const std::string waiting = "\nAnother run is writing to Vidive.txt: waiting until it is done.\n";
    d.Put("Vidive.txt", "");
    std::thread release = holdReport(1000);
    RunResult a = d.Run(answers("a.txt", "y\n", "r\n1\n3\n0\ny\nx\n")), b;
    release.join();
    EXPECT_EQ(a.err, waiting);
    for (int round = 0; round < 16; round++) {
        SCOPED_TRACE(round);
        d.Put("Sessao.trk", found);
        d.Put("Vidive.txt", "");
        // Every other round prints the data and the distances, long blocks
        // for the lock to keep whole. In the others both runs wait for the
        // report and write their sessions at once when it is let go.
        const std::string print = round % 2 == 0 ? "y\n" : "n\n";
        if (print == "n\n") release = holdReport(150);
        const std::string keys = "r\n1\n3\n0\n" + print + "x\n";
        std::thread other([&] { a = d.Run(answers("a.txt", print, keys)); });
        b = d.Run(answers("b.txt", print, keys));
        other.join();
        if (release.joinable()) release.join();
        for (const RunResult* r : {&a, &b}) EXPECT_TRUE(r->status == 0 && (r->err.empty() || r->err == waiting));
        EXPECT_EQ(sessions.count(ReadFile(d.Folder() + "/Sessao.trk")), 1u);
        EXPECT_TRUE(BlocksWhole(ReadFile(d.Folder() + "/Vidive.txt"), kN, print == "y\n" ? 4 * kN : 0));
    }
}

}  // namespace
