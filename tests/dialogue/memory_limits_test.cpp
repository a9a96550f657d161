// The program under limits on its memory (ulimit -v, -d) and started
// through the dynamic loader: it works, refuses what does not fit with the
// data kept, or ends at once naming the limit; it never spins.
#include <elf.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <string>

#include "harness.h"

namespace {

const std::string kDune = "n\nn\ndune.txt\n1\n20\n30\nN\n2\nn\n", kOrdination = "r\n1\n3\n0\nn\no\n1\nn\nn\nx\n";

// `rows` lines of `columns` small whole numbers.
std::string Table(int rows, int columns) {
    std::string t;
    for (int i = 0; i < rows; i++, t += "\n")
        for (int j = 0; j < columns; j++) t += std::to_string((i * 7 + j * 3) % 10) + " ";
    return t;
}

TEST(MemoryLimits, WorkRefuseOrEndAtOnceNeverSpin) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizer's shadow memory takes more address space than these limits";
#endif
    const std::string wide = "n\nn\nt.txt\n1\n3\n40000\nN\n1\nn\n", tall = "n\nn\nt.txt\n1\n40000\n1\n1\nn\n";
    struct {
        int resource;
        long kB;
        int rows, columns;  // of the table read (0: dune.txt)
        std::string answers;
        int status;
        const char *said, *alsoSaid, *reported;  // "" for nothing; no resemblance report
    } cases[] = {
        {RLIMIT_AS, 300000, 0, 0, kDune + kOrdination, 1,
         "The limit on the address space (ulimit -v 300000 kB) is too small for TEVLAN: it needs at least ", "", ""},
        {RLIMIT_AS, 800000, 0, 0, kDune + kOrdination, 0, "", "", "ORDINATION"},
        {RLIMIT_AS, 1200000, 0, 0, kDune + kOrdination, 0, "", "", "ORDINATION"},
        {RLIMIT_DATA, 1000000, 0, 0, kDune + kOrdination, 0, "", "", "ORDINATION"},
        // Refused between the 40,000 variables, then computed between the
        // 3 units of the data kept.
        {RLIMIT_AS, 4000000, 3, 40000, wide + "r\n2\n3\n0\nn\nr\n1\n3\n0\nn\nx\n", 0,
         "Not enough memory: the resemblance matrix of 40000 variables needs 12209 MB, and ", "",
         "RESEMBLANCE MEASURES"},
        {RLIMIT_AS, 4000000, 40000, 1, tall + "r\n1\n3\n0\nn\nx\n", 0,
         "Not enough memory: the resemblance matrix of 40000 sampling units needs 12208 MB, and ", "", ""},
        // The matrix of 5,000 units fits; an ordination's three more, or a
        // cluster analysis's copy and fusions, do not.
        {RLIMIT_AS, 1000000, 5000, 1, "n\nn\nt.txt\n1\n5000\n1\n1\nn\nr\n1\n3\n0\nn\no\n1\nc\n1\nx\n", 0,
         "Not enough memory: the ordination of 5000 sampling units needs 573 MB, and ",
         "Not enough memory: the cluster analysis of 5000 sampling units needs 287 MB, and ", "RESEMBLANCE MEASURES"},
        // A table the file holds but memory does not: refused before the
        // data set read first is let go, which key R then still measures.
        {RLIMIT_AS, 550000, 4000, 3000, kDune + "n\nn\nt.txt\n1\n4000\n3000\ny\nr\n1\n3\n0\nn\nx\n", 0,
         "Not enough memory: the data table of 4000 sampling units needs 184 MB, and ", "", "RESEMBLANCE MEASURES"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.kB) + " kB, rows " + std::to_string(c.rows));
        Dialogue d;
        d.PutExample("dune.txt");
        if (c.rows > 0) d.Put("t.txt", Table(c.rows, c.columns));
        d.LimitMemory(c.resource, c.kB * 1024);
        const RunResult r = d.Run(c.answers, 20);
        ASSERT_FALSE(r.timedOut);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.alsoSaid), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("OUT OF MEMORY"), std::string::npos) << r.err;
        EXPECT_EQ(r.File("Vidive.txt").find(*c.reported ? c.reported : "RESEMBLANCE MEASURES") != std::string::npos,
                  *c.reported != '\0');
    }
}

// The units of a Markov prediction offered under a limit fit in half of
// what it leaves beside the linear-algebra library's two buffers of 128 MB
// (its thread's and its caller's): 40 bytes a unit of 3 variables (3
// values, a row pointer, a distance).
TEST(MemoryLimits, MarkovPredictionOffersWhatTheLimitLeaves) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizer's shadow memory takes more address space than these limits";
#endif
    for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        const double limit = 1500000.0 * 1024;
        Dialogue d;
        d.Put("series.txt", "10 0 0\n6 4 0\n3 5 2\n2 4 4\n");
        d.LimitMemory(resource, static_cast<long>(limit));
        const RunResult r = d.Run("n\nn\nseries.txt\n1\n4\n3\nN\n1\nn\ny\n1\nn\n1\n2147483647\n2\n1\n2\n1\nx\n", 20);
        ASSERT_EQ(r.status, 0) << r.err;
        std::smatch m;
        ASSERT_TRUE(std::regex_search(r.err, m, std::regex("Accepted input: 2 to ([0-9.e+]+)"))) << r.err;
        EXPECT_LE(std::stod(m[1]) * 40, (limit - 256.0 * 1048576) / 2);
    }
}

// Started through the dynamic loader (the interpreter its file names),
// /proc/self/exe is the loader: the program runs on as it is; under a limit
// that leaves room for fewer threads than the linear-algebra library
// starts, it says how to start it.
TEST(Start, ThroughTheDynamicLoader) {
    std::ifstream f(TEVLAN_EXE, std::ios::binary);
    Elf64_Ehdr h;
    Elf64_Phdr p{};
    f.read(reinterpret_cast<char*>(&h), sizeof h);
    for (int k = 0; f && k < h.e_phnum && p.p_type != PT_INTERP; k++) {
        f.seekg(static_cast<std::streamoff>(h.e_phoff + k * h.e_phentsize));
        f.read(reinterpret_cast<char*>(&p), sizeof p);
    }
    ASSERT_EQ(p.p_type, static_cast<unsigned>(PT_INTERP));
    std::string loader(p.p_filesz, '\0');
    f.seekg(static_cast<std::streamoff>(p.p_offset));
    f.read(&loader[0], static_cast<std::streamsize>(loader.size()));
    Dialogue d;
    d.PutExample("dune.txt");
    d.StartThrough(loader.c_str());
    RunResult r = d.Run(kDune + "r\n1\n3\n0\nn\nx\n", 20);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.File("Vidive.txt").find("RESEMBLANCE MEASURES"), std::string::npos);
#ifndef __SANITIZE_ADDRESS__
    if (sysconf(_SC_NPROCESSORS_ONLN) < 2) return;
    d.LimitMemory(RLIMIT_AS, 1200000L * 1024);
    r = d.Run(kDune + "x\n", 20);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("The limit on the address space (ulimit -v 1200000 kB) leaves room for 1 of the "),
              std::string::npos)
        << r.err;
#endif
}

}  // namespace
