// Helpers that several files of the statistics module share. Callers of the
// module include rhlibRes_M.h; this header is for the module's own files.
#ifndef RHLIBRES_M_INTERNAL_H
#define RHLIBRES_M_INTERNAL_H

#include <cfloat>
#include <vector>

#include "rhlibDim.h"

namespace statsdetail {

inline bool Missing(double x) { return x == MISSING; }

// The divisor rule of the library: a divisor of 0 becomes 1.
inline double NonZero(double d) { return d == 0.0 ? 1.0 : d; }

// Row statistics of the cells that count.
struct RowStats {
    int k = 0;
    double s = 0.0, q = 0.0, mn = DBL_MAX, mx = -DBL_MAX;
    RowStats(int m, const double* x, bool skipMissing) {
        for (int j = 0; j < m; j++) {
            const double v = x[j];
            if (skipMissing && statsdetail::Missing(v)) continue;
            k++;
            s += v;
            q += v * v;
            if (v < mn) mn = v;
            if (v > mx) mx = v;
        }
    }
    double Mean() const { return k > 0 ? (mn == mx ? mn : s / k) : 0.0; }  // as ColumnStats::Mean
};

// Position (0-based) of each label among the sorted distinct labels; returns
// the number of distinct labels.
int GroupPositions(int n, const int* groups, std::vector<int>& pos);

}  // namespace statsdetail

#endif
