// Returns the current data set and the held snapshots to a fresh start, for
// unit tests that work on the program's globals.
#ifndef TEST_DATASET_UTIL_H
#define TEST_DATASET_UTIL_H

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "TevlanClasses.h"

inline void ResetCurrentDataSet() {
    delete session1;
    delete session2;
    delete session3;
    session1 = session2 = session3 = nullptr;
    secondSet = thirdSet = false;
    LivraMemoria();
    nObj = nVar = nRows = nCols = 0;
    optVarTipo = optTrEs = optTrVeVar = optTrVeUnits = 0;
    temQuant = temQual = temBin = 0;
    optReseDir = optReseTipo = optOrdiType = rank = nFactors = 0;
    dataType = stepReached = 0;
    SetDefaultSessionName();
    appliesReseUnits[4][0] = appliesReseVar[4][0] = 1;
}

#endif
