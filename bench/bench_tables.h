// Tables of counts shared by the benchmarks.
#ifndef BENCH_TABLES_H
#define BENCH_TABLES_H

#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>

#include "rhlibDim.h"

// A units x variables table of negative-binomial counts of mean 5 and size
// 0.5 (variance 55), from a generator of its own seeded with seed.
inline double** NegativeBinomialTable(int units, int variables, unsigned long seed) {
    double** X = dim2DT<double>(units, variables);
    gsl_rng* g = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(g, seed);
    const double size = 0.5, mu = 5.0;
    for (int i = 0; i < units; i++)
        for (int j = 0; j < variables; j++) X[i][j] = gsl_ran_negative_binomial(g, size / (size + mu), size);
    gsl_rng_free(g);
    return X;
}

#endif
