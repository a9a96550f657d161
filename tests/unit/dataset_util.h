// Returns the current data set and the held snapshots to a fresh start, for
// unit tests that work on the program's globals.
#ifndef TEST_DATASET_UTIL_H
#define TEST_DATASET_UTIL_H

#include <cstdlib>
#include <string>

#include "FtevlanEx.h"
#include "FtevlanGlob.h"
#include "TevlanClasses.h"
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
