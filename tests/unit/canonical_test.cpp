// Key K in the program's own process: after each analysis the first data set
// is current, holds its arrays once (shared with its snapshot) and keeps its
// resemblance matrix whole; rates of change at undefined resemblances and on
// the shortest series, worked by hand.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "TevlanClasses.h"
#include "driver_fixture.h"
#include "rhlib_M.h"

namespace {

using Table = std::vector<std::vector<double>>;

class CanonicalKey : public DriverTest {
protected:
    // A session of the table with Euclidean distances between its units.
    void SaveTable(const char* name, const Table& x) {
        CurrentTable(x);
        CurrentResemblance(3, 1);
        format = 'N';
        temQuant = 1;
        optLabel = 2;
        snprintf(filename, sizeof filename, "%s.txt", name);
        ASSERT_EQ(SaveSession(name), 1);
    }
    void OpenAsCurrent(const char* name) {
        ResetCurrentDataSet();
        snprintf(sessionFilename, sizeof sessionFilename, "%s.trk", name);
        ASSERT_EQ(ReadSessionTrack(), 1);
        SetDataType(optTrEs, optTrVeVar, optTrVeUnits);
        SetStepReached();
    }
    std::string Report() {
        std::string text;
        if (FILE* f = fopen("Vidive.txt", "r")) {
            for (int c; (c = fgetc(f)) != EOF;) text += static_cast<char>(c);
            fclose(f);
        }
        return text;
    }
};

TEST_F(CanonicalKey, TheFirstSetStaysCurrentWholeAndHeldOnce) {
    SaveTable("a", {{1, 0, 2}, {3, 1, 0}, {0, 4, 1}, {2, 2, 5}, {6, 1, 1}, {1, 5, 3}});
    SaveTable("b", {{2, 1}, {0, 3}, {1, 1}, {4, 0}, {3, 2}, {5, 5}});
    SaveTable("c", {{0, 1}, {1, 0}, {3, 3}, {2, 5}, {4, 1}, {1, 2}});
    const std::string test = "2\n7\n9\nn\n";  // seed 7, 9 permutations, nothing saved
    struct Case {
        std::string answers;
        const char* second;  // the second set held afterwards, if any
    };
    const Case cases[] = {
        {"1\nb\n" + test, "b.txt"},
        {"2\n1\n1 0 0\n0 1 1\nn\n2\n7\n9\n0\nn\n", nullptr},
        {"2\n2\nb\ny\n2\n7\n9\n0\nn\n", "b.txt"},
        {"3\nb\n" + test, "b.txt"},
        {"4\nb\nc\n" + test, "b.txt"},
        {"5\nb\n", "b.txt"},
        {"6\nb\n" + test, "b.txt"},
        {"7\nb\n" + test, "b.txt"},
        {"8\nb\n" + test, "b.txt"},
    };
    for (const Case& c : cases) {
        OpenAsCurrent("a");
        SCOPED_TRACE(c.answers);
        ASSERT_EQ(Run(c.answers, [] { return Canonical(); }), 0) << shown_;
        EXPECT_NE(Report().find("\n-----"), std::string::npos) << shown_;
        EXPECT_STREQ(filename, "a.txt");
        ASSERT_NE(session1, nullptr);
        EXPECT_EQ(data, session1->data);
        EXPECT_EQ(rese, session1->rese);
        ASSERT_EQ(temRese, 1);
        for (int i = 0; i < nObj; i++)
            for (int j = 0; j < nObj; j++) ASSERT_EQ(rese[i][j], rese[j][i]) << i << " " << j;
        EXPECT_EQ(secondSet, c.second != nullptr);
        if (c.second) {
            EXPECT_STREQ(session2->filename, c.second);
        }
        std::remove("Vidive.txt");
    }
}

// Velocities and accelerations where a resemblance is undefined (MISSING),
// reference points where the reference value is missing, and a series of
// two units (no acceleration).
TEST_F(CanonicalKey, RatesWithoutAValueAndOnTheShortestSeries) {
    struct Case {
        Table x;         // the first set; its distances are R1
        int row, col;    // an entry of R1 (or of R2 when col < 0) made MISSING
        const char* end; // the end of the report
        int noReference = -1;  // the unit whose reference value is MISSING
    };
    // R2 from 0, 1, 3, 6: 1, 2, 3; R1 from 0, 2, 5, 9: 2, 3, 4.
    const Case cases[] = {
        {{{0}, {2}, {5}, {9}}, 1, 2,
         "Rate of change (velocity):\t2\t3.4028e+38\t1.3333\t\n\nReference scale:\t1.3333\t3.3333\t\n"
         "Acceleration:\t3.4028e+38\t3.4028e+38\t\n"},
        {{{0}, {2}, {5}, {9}}, 0, -1,
         "Rate of change (velocity):\t3.4028e+38\t1.5\t1.3333\t\n\nReference scale:\t1.3333\t3.3333\t\n"
         "Acceleration:\t3.4028e+38\t-0.066667\t\n"},
        {{{0}, {2}}, -1, 0,
         "\nReference scale:\t0.5\t\nRate of change (velocity):\t2\t\n\nReference scale:\t\nAcceleration:\t\n"},
        // Unit 4 without a reference value: the rates stand, the points
        // that would average it in have no place.
        {{{0}, {2}, {5}, {9}}, -1, 0,
         "\nReference scale:\t0.5\t2\t3.4028e+38\t\nRate of change (velocity):\t2\t1.5\t1.3333\t\n\n"
         "Reference scale:\t1.3333\t3.4028e+38\t\nAcceleration:\t-0.33333\t-0.066667\t\n",
         3},
    };
    for (const Case& c : cases) {
        const int n = static_cast<int>(c.x.size());
        Table reference = {{0}, {1}, {3}, {6}};
        reference.resize(n);
        CurrentTable(reference);
        CurrentResemblance(3, 1);
        Session* second = SessionClass(true);
        if (c.noReference >= 0) second->dataOrig[c.noReference][0] = -999.0;
        CurrentTable(c.x);
        CurrentResemblance(3, 1);
        Session* first = SessionClass(true);
        if (c.row >= 0) {
            double** R = c.col < 0 ? second->rese : first->rese;
            const int col = c.col < 0 ? c.row + 1 : c.col;
            R[c.row][col] = R[col][c.row] = -999.0;
        }
        strcpy(modeVidive, "a");
        std::remove("Vidive.txt");
        Run("", [&] { Rate_of_Change(first, second); });
        const std::string report = Report();
        const std::string end = c.end;
        ASSERT_GE(report.size(), end.size());
        EXPECT_EQ(report.substr(report.size() - end.size()), end) << report;
        delete first;
        delete second;
    }
}

}  // namespace
