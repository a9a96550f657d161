// The current data set and its snapshots: independence of deep copies,
// swapping sets, and who releases which array (the sanitizer build reports
// any array released twice or never).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "TevlanClasses.h"
#include "dataset_util.h"
#include "rhlibDim.h"

namespace {

// Loads a small data set into the globals: n x p data whose cells encode
// their place (offset + 10 i + j), labels, and optionally a resemblance
// matrix (asymmetric on purpose, so the copy of both triangles shows),
// principal-coordinate scores and one factor of groups.
void LoadSet(int n, int p, double offset, bool withRese, bool withScores, bool withGroups,
             const char* file = "set.txt") {
    snprintf(filename, sizeof filename, "%s", file);
    nObj = n;
    nVar = p;
    Dimensiona();
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) {
            dataOrig[i][j] = offset + 10 * i + j;
            data[i][j] = -(offset + 10 * i + j);
        }
    for (int j = 0; j < p; j++) varType[j] = 3;
    for (int i = 0; i < n; i++) snprintf(uaLabels[i], 30, "u%d_%.0f", i + 1, offset);
    for (int j = 0; j < p; j++) snprintf(varLabels[j], 30, "v%d", j + 1);
    optVarTipo = 1;
    temQuant = 1;
    temDados = 1;
    nRows = n;
    nCols = p;
    optReseDir = 1;
    if (withRese) {
        rese = dim2DT<double>(n, n);
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) rese[i][j] = offset + 100 * i + j;
        temRese = 1;
        optReseTipo = 3;
    }
    if (withScores) {
        optOrdiType = 1;
        rank = 2;
        eig = dim1DT<double>(n + 1);
        evectors = dim2DT<double>(n + 1, n + 1);
        escores = dim2DT<double>(n, n);
        for (int a = 0; a < rank; a++) {
            eig[a] = offset + a;
            for (int i = 0; i < n; i++) escores[a][i] = offset + a * 1000 + i;
        }
        temEscore = 1;
    }
    if (withGroups) {
        nFactors = 1;
        int P = NumberOfPartitions(1);
        grMemb = dim2DT<int>(P, n);
        grLabel = dim2DT<int>(P, n);
        nGroups = dim1DT<int>(P);
        nestedFactor = dim1DT<int>(1);
        factorLabel = dim2DT<char>(1, 100);
        for (int i = 0; i < n; i++) grMemb[0][i] = 1 + i % 2;
        grLabel[0][0] = 1;
        grLabel[0][1] = 2;
        nGroups[0] = 2;
        snprintf(factorLabel[0], 100, "Treatment");
        grMembDimensioned = 1;
        temGrupo = 1;
    }
}

class SessionTest : public testing::Test {
protected:
    void SetUp() override { Clear(); }
    void TearDown() override { Clear(); }
    static void Clear() { ResetCurrentDataSet(); }
};

TEST_F(SessionTest, DeepSnapshotIsAnIndependentCopy) {
    LoadSet(3, 2, 0, true, true, true);
    snprintf(uaLabels[0], 30, "%s", std::string(29, 'L').c_str());
    Session* s = SessionClass(true);
    // Everything the globals hold is copied, nothing is shared.
    EXPECT_NE(s->data, data);
    EXPECT_NE(s->rese, rese);
    EXPECT_NE(s->grMemb, grMemb);
    // Change the globals afterwards.
    data[1][1] = 999;
    dataOrig[2][0] = 999;
    rese[2][0] = 999;
    escores[1][2] = 999;
    grMemb[0][0] = 9;
    varType[0] = 1;
    snprintf(varLabels[1], 30, "changed");
    snprintf(filename, sizeof filename, "other.txt");
    EXPECT_EQ(s->data[1][1], -11);
    EXPECT_EQ(s->dataOrig[2][0], 20);
    EXPECT_EQ(s->rese[2][0], 200);  // the lower triangle is copied too
    EXPECT_EQ(s->rese[0][2], 2);
    EXPECT_EQ(s->escores[1][2], 1002);
    EXPECT_EQ(s->eig[1], 1);
    EXPECT_EQ(s->grMemb[0][0], 1);
    EXPECT_EQ(s->nGroups[0], 2);
    EXPECT_STREQ(s->factorLabel[0], "Treatment");
    EXPECT_EQ(s->varType[0], 3);
    EXPECT_STREQ(s->varLabels[1], "v2");
    EXPECT_EQ(std::string(s->uaLabels[0]), std::string(29, 'L'));
    EXPECT_STREQ(s->filename, "set.txt");
    EXPECT_EQ(s->temDados, 1);
    delete s;
    // The globals are untouched by the snapshot's release.
    EXPECT_EQ(data[1][1], 999);
}

TEST_F(SessionTest, SnapshotWithoutResultsHasNoResultArrays) {
    LoadSet(4, 3, 0, false, false, false);
    Session* s = SessionClass(true);
    EXPECT_NE(s->data, nullptr);
    EXPECT_EQ(s->rese, nullptr);
    EXPECT_EQ(s->eig, nullptr);
    EXPECT_EQ(s->escores, nullptr);
    EXPECT_EQ(s->evectors, nullptr);
    EXPECT_EQ(s->grMemb, nullptr);
    EXPECT_EQ(s->factorLabel, nullptr);
    delete s;
    // And a snapshot of no data at all copies nothing.
    LivraMemoria();
    Session* empty = SessionClass(true);
    EXPECT_EQ(empty->data, nullptr);
    EXPECT_EQ(empty->temDados, 0);
    delete empty;
}

TEST_F(SessionTest, ShallowSnapshotSharesAndReleasesNothing) {
    LoadSet(2, 2, 0, true, false, false);
    Session* s = SessionClass(false);
    EXPECT_EQ(s->data, data);
    EXPECT_EQ(s->rese, rese);
    delete s;
    EXPECT_EQ(data[1][1], -11);  // still ours
}

TEST_F(SessionTest, SwitchingTwiceRestoresTheOriginal) {
    LoadSet(3, 2, 0, true, false, true, "first.txt");
    ReplaceSession(session1, SessionClass(true));
    LivraMemoria();
    LoadSet(2, 4, 50, false, false, false, "second.txt");
    ReplaceSession(session2, SessionClass(true));
    ChangeCurrentSession(session1);
    Session* first = session1;
    Session* second = session2;
    EXPECT_STREQ(filename, "first.txt");
    EXPECT_EQ(data, first->data);  // shared, not copied

    SwitchSessions();
    EXPECT_EQ(session1, second);
    EXPECT_EQ(session2, first);
    EXPECT_STREQ(filename, "second.txt");
    EXPECT_EQ(nObj, 2);
    EXPECT_EQ(nVar, 4);
    EXPECT_EQ(temRese, 0);
    EXPECT_EQ(rese, nullptr);
    EXPECT_EQ(temGrupo, 0);
    EXPECT_EQ(dataOrig[1][3], 63);
    // The first set's arrays survived its time out of the globals.
    EXPECT_EQ(first->rese[2][1], 201);

    SwitchSessions();
    EXPECT_EQ(session1, first);
    EXPECT_EQ(session2, second);
    EXPECT_STREQ(filename, "first.txt");
    EXPECT_EQ(nObj, 3);
    EXPECT_EQ(temRese, 1);
    EXPECT_EQ(rese[2][1], 201);
    EXPECT_EQ(temGrupo, 1);
    EXPECT_EQ(grMembDimensioned, 1);
    EXPECT_EQ(grMemb[0][1], 2);

    // The two-argument form makes its second set current and exchanges nothing.
    SwitchSessions(first, second);
    EXPECT_EQ(session1, first);
    EXPECT_EQ(session2, second);
    EXPECT_STREQ(filename, "second.txt");
    EXPECT_EQ(data, second->data);
}

TEST_F(SessionTest, DataFlagTravelsWithTheSet) {
    ReplaceSession(session2, SessionClass(true));  // no data
    LoadSet(2, 2, 0, false, false, false);
    ReplaceSession(session1, SessionClass(true));
    ChangeCurrentSession(session2);
    EXPECT_EQ(temDados, 0);
    EXPECT_EQ(data, nullptr);
    ChangeCurrentSession(session1);
    EXPECT_EQ(temDados, 1);
    EXPECT_EQ(data[1][0], -10);
}

TEST_F(SessionTest, ArraysInUseOutliveTheirSnapshot) {
    LoadSet(3, 3, 0, true, true, true);
    ReplaceSession(session1, SessionClass(true));
    ChangeCurrentSession(session1);  // the globals' own arrays are released here
    double** shared = data;
    // Replacing the snapshot the globals share deletes it, but what the
    // globals point at passes to them.
    ReplaceSession(session1, SessionClass(true));
    EXPECT_EQ(data, shared);
    EXPECT_EQ(data[2][2], -22);
    EXPECT_EQ(rese[1][2], 102);
    EXPECT_EQ(escores[1][0], 1000);
    // The globals now release them themselves.
    LivraMemoria();
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(session1->data[2][2], -22);
}

TEST_F(SessionTest, GlobalsNeverReleaseWhatASnapshotHolds) {
    LoadSet(2, 2, 0, true, false, false);
    ReplaceSession(session1, SessionClass(true));
    ChangeCurrentSession(session1);
    ReleaseRese();  // a driver replacing the resemblance
    EXPECT_EQ(rese, nullptr);
    EXPECT_EQ(session1->rese[1][0], 100);
    LivraMemoria();
    EXPECT_EQ(session1->data[1][1], -11);
}

TEST_F(SessionTest, ReleasingOnlyDataLeavesTheFlagsZero) {
    LoadSet(3, 2, 0, false, false, false);
    LivraMemoria();
    EXPECT_EQ(temDados, 0);
    EXPECT_EQ(temRese, 0);
    EXPECT_EQ(temEscore, 0);
    EXPECT_EQ(temGrupo, 0);
    EXPECT_EQ(grMembDimensioned, 0);
    EXPECT_EQ(dataOrig, nullptr);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(varType, nullptr);
    EXPECT_EQ(uaLabels, nullptr);
    EXPECT_EQ(varLabels, nullptr);
    // Results left behind with their flags cleared are released too.
    LoadSet(2, 2, 0, true, true, true);
    temRese = temEscore = temGrupo = 0;
    LivraMemoria();
    EXPECT_EQ(rese, nullptr);
    EXPECT_EQ(escores, nullptr);
    EXPECT_EQ(grMemb, nullptr);
}

TEST_F(SessionTest, InitResetsTransformationsAndSecondSet) {
    optTrEs = 2;
    optTrVeVar = 4;
    optTrVeUnits = 11;
    secondSet = true;
    Init();
    EXPECT_EQ(optTrEs, 0);
    EXPECT_EQ(optTrVeVar, 0);
    EXPECT_EQ(optTrVeUnits, 0);
    EXPECT_FALSE(secondSet);
}

}  // namespace
