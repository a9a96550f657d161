// ===========================================================================
// Current data set, data type and stage
// ===========================================================================

#include "FtevlanEx.h"
#include "FtevlanEx_internal.h"

#include "FtevlanGlob.h"
#include "rhlibDim.h"

using namespace ex_detail;

void Init() {
    optTrEs = 0;
    optTrVeVar = 0;
    optTrVeUnits = 0;
    optTrGroupFactor = 1;
    transformationDoubts = TransformationDoubts();
    secondSet = false;
}

void Dimensiona() {
    dataOrig = dim2DT<double>(nObj, nVar);
    data = dim2DT<double>(nObj, nVar);
    varType = dim1DT<int>(nVar);
    uaLabels = dim2DT<char>(nObj, 30);
    varLabels = dim2DT<char>(nVar, 30);
}

void ReleaseRese() { LetGo2D(rese, nRows); }

void ReleaseOrdination() {
    LetGo1D(eig);
    LetGo2D(evectors, nRows + 1);
    LetGo2D(escores, nRows);
}

void ReleaseGroupArrays() {
    int P = NumberOfPartitions(nFactors);
    LetGo2D(grMemb, P);
    LetGo2D(grLabel, P);
    LetGo2D(factorLabel, nFactors);
    LetGo1D(nGroups);
    LetGo1D(nestedFactor);
    grMembDimensioned = 0;
}

void ReleaseDataSetArrays() {
    LetGo2D(dataOrig, nObj);
    LetGo2D(data, nObj);
    LetGo2D(uaLabels, nObj);
    LetGo2D(varLabels, nVar);
    LetGo1D(varType);
    ReleaseRese();
    ReleaseOrdination();
    ReleaseGroupArrays();
}

void LivraMemoria() {
    // Every part goes by its own array, whatever the flags say, so that no
    // result of one table can outlive it.
    ReleaseDataSetArrays();
    // No resemblance is left, nor its size: a stale count of 401 rows would
    // keep the next, smaller table's session from being saved.
    nRows = 0;
    nCols = 0;
    temDados = 0;
    temRese = 0;
    temGrupo = 0;
    temEscore = 0;
}

void SetDataType(int trEs, int trVeVar, int trVeUnits) {
    const int t = trEs, V = trVeVar, U = trVeUnits;
    // Transformations within variables that put every variable on one scale.
    isStandardized = (V == 1 || V == 4 || V == 5 || V == 6 || V == 7 || V == 8 || V == 9) ? 1 : 0;
    // Centring and double adjustment make negative values.
    auto centres = [](int k) { return k == 2 || k == 3 || k == 5 || k == 6; };
    hasNegative = (centres(V) || centres(U)) ? 1 : 0;
    if ((optVarTipo >= 1 && optVarTipo <= 4) || optVarTipo == 6) {
        // A contingency table is quantitative on one scale: it is read, and
        // offered the contingency-table analyses, as data type 1.
        dataType = optVarTipo == 6 ? 1 : optVarTipo;
        if (optVarTipo == 2 && isStandardized == 1) dataType = 1;
        int mutualInformation = (dataType == 1 && hasNegative == 1) ? 0 : 1;
        appliesReseUnits[4][0] = mutualInformation;
        appliesReseVar[4][0] = mutualInformation;
        if (t == 1) dataType = 4;
    } else if (optVarTipo == 5) {
        if (temQuant && temQual && !temBin)
            dataType = 5;
        else if (temQuant && temQual && temBin)
            dataType = 8;
        else if (temQuant && temBin && !temQual)
            dataType = t == 1 ? 4 : 6;
        else if (temQual && temBin && !temQuant)
            dataType = 7;
    }
}

void SetStepReached() {
    if (temDados == 0) {
        stepReached = 0;
        return;
    }
    stepReached = 1;
    if (temRese == 1) {
        stepReached = 2;
        if (optReseDir == 1 && temGrupo == 1) stepReached = 3;
        if (optReseDir == 2) stepReached = 4;
    }
}
