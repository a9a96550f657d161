// Returns the current data set and the held snapshots to a fresh start, for
// unit tests that work on the program's globals.
#ifndef TEST_DATASET_UTIL_H
#define TEST_DATASET_UTIL_H

#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "TevlanClasses.h"
#include "rhlibDim.h"
#include "rhlib_M.h"
#include "stream_util.h"

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

// Makes x (units x variables) the current data set as a data file gives it:
// data and dataOrig hold x, every variable is quantitative, the units are
// labelled u1.. and the variables v1.., the declared content is `content`.
inline void CurrentTable(const std::vector<std::vector<double>>& x, int content = 1) {
    LivraMemoria();
    nObj = static_cast<int>(x.size());
    nVar = static_cast<int>(x[0].size());
    Dimensiona();
    for (int i = 0; i < nObj; i++)
        for (int j = 0; j < nVar; j++) data[i][j] = dataOrig[i][j] = x[i][j];
    for (int i = 0; i < nObj; i++) snprintf(uaLabels[i], 30, "u%d", i + 1);
    for (int j = 0; j < nVar; j++) {
        snprintf(varLabels[j], 30, "v%d", j + 1);
        varType[j] = 3;
    }
    optVarTipo = content;
    temDados = 1;
    SetDataType(0, 0, 0);
}

// The resemblance matrix of the current data (measure, direction 1 units or
// 2 variables) made current, as key R leaves it; the previous results go
// with the shapes they were made with.
inline void CurrentResemblance(int measure, int direction) {
    ReleaseOrdination();
    ReleaseRese();
    temEscore = 0;
    nRows = direction == 1 ? nObj : nVar;
    nCols = direction == 1 ? nVar : nObj;
    rese = dim2DT<double>(nRows, nRows);
    ResemblanceLib(nObj, nVar, data, rese, direction, measure, varType, 1, 0, 0, false);
    optReseTipo = measure;
    optReseDir = direction;
    temRese = 1;
}

// Runs call with the program's answers read from a text and its console
// printed into shown; `in` and `out` are restored even when call throws.
template <class F>
auto WithConsole(const std::string& answers, std::string& shown, F&& call) -> decltype(call()) {
    struct Restore {
        FILE* savedIn = in;
        FILE* savedOut = out;
        char* buffer = nullptr;
        size_t size = 0;
        std::string& shown;
        explicit Restore(std::string& s) : shown(s) {}
        ~Restore() {
            fclose(out);
            shown.assign(buffer, size);
            free(buffer);
            in = savedIn;
            out = savedOut;
        }
    };
    TextStream input(answers);
    Restore restore(shown);
    in = input.get();
    out = open_memstream(&restore.buffer, &restore.size);
    return call();
}

#endif
