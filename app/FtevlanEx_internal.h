// What the source files of FtevlanEx share and no caller outside them needs:
// the release of the globals' arrays, the expansion of a contingency table,
// the cut of long labels, and two steps of the session bookkeeping. The
// small ones are defined here; the others once, in the file named above them.
#ifndef FTEVLANEX_INTERNAL_H
#define FTEVLANEX_INTERNAL_H

#include <cmath>
#include <cstdio>
#include <cstring>

#include "FtevlanGlob.h"
#include "TevlanClasses.h"
#include "rhlibDim.h"

namespace ex_detail {

// ---------------------------------------------------------------------------
// Current data set (key T lets go of its data this way too)
// ---------------------------------------------------------------------------

// The globals let go of an array: it is released unless a snapshot still
// holds it (then the snapshot keeps it).
template <class T>
void LetGo2D(T**& p, int rows) {
    if (p && !SnapshotHolds(p)) free2DT(p, rows);
    p = nullptr;
}

template <class T>
void LetGo1D(T*& p) {
    if (p && !SnapshotHolds(p)) free1D(p);
    p = nullptr;
}

// ---------------------------------------------------------------------------
// Data file input (key T expands a table, the session reader cuts labels too)
// ---------------------------------------------------------------------------

// A contingency table expanded into one line (row, column) per individual,
// by the data dialogue and by key T, counts alike: a cell stands for its
// value rounded up; 0, negative and missing cells stand for none. The
// expanded table is a data set of its own, so more individuals than a data
// set can have units are refused (and not counted past that).
inline bool ContingencyIndividuals(int n, int p, double** table, FILE* messages, int* total) {
    constexpr double kMostUnits = 2147483647.0;
    double sum = 0;
    for (int i = 0; i < n && sum <= kMostUnits; i++)
        for (int j = 0; j < p && sum <= kMostUnits; j++)
            if (table[i][j] > 0) sum += std::ceil(table[i][j]);
    if (sum > kMostUnits) {
        fprintf(messages, "%s",
                eng ? "\nThe contingency table holds more than 2147483647 individuals: it was not expanded.\n"
                    : "\nA tabela de contingencia tem mais de 2147483647 individuos: nao foi expandida.\n");
        return false;
    }
    *total = static_cast<int>(sum);
    return true;
}

// line(row, column), both from 1, once per individual, in row-major order;
// only for a table ContingencyIndividuals accepted (no cell exceeds the count).
template <class Line>
void ForEachIndividual(int n, int p, double** table, Line&& line) {
    for (int i = 0; i < n; i++)
        for (int j = 0; j < p; j++) {
            if (!(table[i][j] > 0)) continue;
            const long long times = static_cast<long long>(std::ceil(table[i][j]));
            for (long long k = 0; k < times; k++) line(i + 1, j + 1);
        }
}

// Copies text into a buffer of the given capacity, keeping what fits.
inline void CopyCut(char* to, size_t capacity, const char* from) {
    size_t n = strlen(from);
    if (n + 1 > capacity) n = capacity - 1;
    memcpy(to, from, n);
    to[n] = '\0';
}

inline void LabelsCutNote() {
    fprintf(out, "%s",
            eng ? "\nSome labels have more than 29 characters: only their first 29 were kept.\n"
                : "\nAlguns rotulos tem mais de 29 caracteres: somente os 29 primeiros foram mantidos.\n");
}

// ---------------------------------------------------------------------------
// Sessions (FtevlanEx_Sessions.cpp)
// ---------------------------------------------------------------------------

// Whether the session file holds what a write would put in it now: the main
// loop then leaves the file, and its saved status, alone.
bool SessionFileIsCurrent();

// The second-set dialogue, also key K's.
int SecondSetDialogue(bool takeFirst);

}  // namespace ex_detail

// Ordination (FtevlanEx_Ordination.cpp): the scatter diagrams name their
// points with it.
namespace ordination_detail {
const char* SetName(bool units);
}  // namespace ordination_detail

#endif
