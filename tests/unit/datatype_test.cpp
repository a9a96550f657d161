// Data type and stage derivation.
#include <gtest/gtest.h>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "TevlanClasses.h"
#include "dataset_util.h"

namespace {

void ResetAll() { ResetCurrentDataSet(); }

int TypeOf(int content, int t, int V, int U, int quant = 0, int qual = 0, int bin = 0) {
    optVarTipo = content;
    temQuant = quant;
    temQual = qual;
    temBin = bin;
    dataType = 0;
    SetDataType(t, V, U);
    return dataType;
}

class DataType : public testing::Test {
protected:
    void TearDown() override { ResetAll(); }
};

TEST_F(DataType, DeclaredContentAndTransformations) {
    EXPECT_EQ(TypeOf(1, 0, 0, 0), 1);
    EXPECT_EQ(TypeOf(3, 0, 0, 0), 3);
    EXPECT_EQ(TypeOf(4, 0, 0, 0), 4);
    // Different scales put on one scale by a transformation within variables.
    for (int V : {1, 4, 5, 6, 7, 8, 9}) {
        EXPECT_EQ(TypeOf(2, 0, V, 0), 1) << V;
        EXPECT_EQ(isStandardized, 1);
    }
    for (int V : {2, 3, 10, 12}) {
        EXPECT_EQ(TypeOf(2, 0, V, 0), 2) << V;
        EXPECT_EQ(isStandardized, 0);
    }
    // Presence/absence makes any of them binary.
    EXPECT_EQ(TypeOf(1, 1, 0, 0), 4);
    EXPECT_EQ(TypeOf(2, 1, 3, 0), 4);
    // A contingency table is read as data type 1.
    EXPECT_EQ(TypeOf(6, 0, 0, 0, 1), 1);
    EXPECT_EQ(TypeOf(6, 1, 0, 0, 1), 4);
}

TEST_F(DataType, MixedDataByTheirFlags) {
    EXPECT_EQ(TypeOf(5, 0, 0, 0, 1, 1, 0), 5);
    EXPECT_EQ(TypeOf(5, 0, 0, 0, 1, 1, 1), 8);
    EXPECT_EQ(TypeOf(5, 0, 0, 0, 1, 0, 1), 6);
    EXPECT_EQ(TypeOf(5, 1, 0, 0, 1, 0, 1), 4);
    EXPECT_EQ(TypeOf(5, 0, 0, 0, 0, 1, 1), 7);
    // One flag alone is no mixed combination: the type stays as it was.
    optVarTipo = 5;
    temQuant = 1;
    temQual = temBin = 0;
    dataType = 3;
    SetDataType(0, 0, 0);
    EXPECT_EQ(dataType, 3);
}

TEST_F(DataType, NegativeValuesWithdrawMutualInformation) {
    TypeOf(1, 0, 0, 3);  // centring within sampling units
    EXPECT_EQ(dataType, 1);
    EXPECT_EQ(hasNegative, 1);
    EXPECT_EQ(appliesReseUnits[4][0], 0);
    EXPECT_EQ(appliesReseVar[4][0], 0);
    TypeOf(1, 0, 0, 0);
    EXPECT_EQ(hasNegative, 0);
    EXPECT_EQ(appliesReseUnits[4][0], 1);
    EXPECT_EQ(appliesReseVar[4][0], 1);
    for (int k : {2, 3, 5, 6}) {
        TypeOf(1, 0, k, 0);
        EXPECT_EQ(hasNegative, 1) << k;
    }
    TypeOf(1, 0, 1, 4);
    EXPECT_EQ(hasNegative, 0);
    // Data type 2 with negative values keeps measure 4 as it is offered.
    TypeOf(2, 0, 3, 0);
    EXPECT_EQ(appliesReseUnits[4][0], 1);
}

TEST_F(DataType, Stages) {
    temDados = 0;
    SetStepReached();
    EXPECT_EQ(stepReached, 0);
    temDados = 1;
    temRese = 0;
    SetStepReached();
    EXPECT_EQ(stepReached, 1);
    temRese = 1;
    optReseDir = 1;
    temGrupo = 0;
    SetStepReached();
    EXPECT_EQ(stepReached, 2);
    temGrupo = 1;
    SetStepReached();
    EXPECT_EQ(stepReached, 3);
    optReseDir = 2;
    SetStepReached();
    EXPECT_EQ(stepReached, 4);
    temDados = temRese = temGrupo = 0;
}

TEST_F(DataType, SwappedInSetFollowsItsOwnOptions) {
    // Binary data snapshotted as they were.
    nObj = 2;
    nVar = 2;
    Dimensiona();
    temDados = 1;
    optVarTipo = 4;
    temBin = 1;
    Session* binary = SessionClass(true);
    LivraMemoria();
    // A different current state: quantitative, transformed, with a resemblance.
    nObj = 3;
    nVar = 3;
    Dimensiona();
    temDados = 1;
    optVarTipo = 2;
    temBin = 0;
    temQuant = 1;
    optTrVeVar = 3;
    temRese = 1;
    SetDataType(optTrEs, optTrVeVar, optTrVeUnits);
    SetStepReached();
    EXPECT_EQ(dataType, 2);
    EXPECT_EQ(stepReached, 2);
    ChangeCurrentSession(binary);
    EXPECT_EQ(dataType, 4);
    EXPECT_EQ(stepReached, 1);
    EXPECT_EQ(optTrVeVar, 0);
    delete binary;
}

}  // namespace
