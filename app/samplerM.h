// Bootstrap samplers of sample sufficiency: how the mean, standard deviation
// and skewness (or the Renyi entropy) of each variable, with their confidence
// limits, settle as a bootstrap sample of the current data grows.
#ifndef SAMPLERM_H
#define SAMPLERM_H

// The dialogue of every bootstrap sampler. Asks on `out` and reads from `in`
// (texts in the language of `port`; source name "keyboard"), in this order:
//   - the initial sample size, minInitial..n (a minimum above n counts as n),
//     truncated to a whole number;
//   - only when the initial size is below n, the step: units added at each
//     sampling step, 1..n; otherwise *step is 0 and nothing is asked;
//   - the iterations, 1..2147483647;
//   - only with askAlpha 1, alpha for the confidence limits, above 0 and at
//     most 1. The iterations are then raised until iterations x alpha is an
//     even whole number (BootstrapEvenIterations: 999 at 0.05 become 1000, 10
//     become 40). An alpha that would raise them past their cap gets one line
//     and is asked again. With askAlpha 0, *alpha is left alone and the
//     iterations stay as typed;
//   - only when seed is not null, the seed: (1) the calendar time in seconds,
//     cut to 32 bits, or (2) a typed number 0..4294967295;
//   - whether to save intermediate results ("y n", Portuguese "s n"). Above
//     50 iterations a yes is confirmed once; any answer but a (confirmed) yes
//     stores 'n', without asking again. *save holds 'y' or 'n' in both
//     languages.
// Answers out of range are asked again; the end of `in` raises error code 2.
// Returns 1.
int SetBootstrapOptions(int n, int minInitial, int* initial, int* step, int* iterations,
                        unsigned int* seed, int* save, int askAlpha, double* alpha);

// The number of sample sizes of a sampler: initial, initial + step, ... while
// below n, then n (a size that would pass n is cut to n). CountSteps(10, 3, 4)
// is 3: sizes 3, 7 and 10. An initial size of n or more gives 1. A step below
// 1 with an initial size below n (which the dialogue never gives) goes
// straight to n.
int CountSteps(int n, int initial, int step);
// The CountSteps(n, initial, step) sizes themselves, into sizes.
void SampleSizes(int n, int initial, int step, int* sizes);

// Bootstrap samplers over the n x p table data. Each asks its options
// (SetBootstrapOptions with a minimum of 1 unit, alpha and a seed), appends
// its report to "Vidive.txt" and leaves modeVidive at "a" and the generator r
// seeded with the run's seed.
//
// Every iteration draws one list of n units with replacement (RndListBootstrap
// on r); the sample at each size is the first units of that list, so the
// samples of one iteration are nested. The variables taken are those whose
// EffectiveVarType is 1 or 3 (means) or 1 or 2 (entropy). For each cell (a
// statistic of one variable at one size) the report gives the average over
// the iterations and the confidence limits: the m-th smallest and m-th
// largest value, m = (int)(iterations x alpha x 0.5).
//
// Undefined values never enter a sum or a limit. Missing values (-999) take
// no part in a sample; a statistic is undefined when its sample holds fewer
// than 1 value that is not missing (2 for the standard deviation). A cell's
// average is over the iterations in which it was defined; an average or a
// limit that cannot be formed (no defined value, or fewer than m for a limit)
// is printed -999. When "Vidive.txt" cannot be opened, fopenck says so and no
// iteration runs.
//
// SamplerMeans: mean, standard deviation (divisor s - 1) and skewness m3 /
// m2^1.5 (central moments with divisor s; 0 when m2 is 0).
void SamplerMeans(int n, int p, double** data);
// SamplerEntropy: the Renyi entropy of order alphaEntropy, in nats, of the
// frequencies of the states (whole-number codes) in the sample.
void SamplerEntropy(int n, int p, double** data);

#endif
