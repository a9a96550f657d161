// Dynamics of a series of states (sampling units in time or space order):
// Markov transition matrices fitted to a compositional series, the
// prediction of Markov releves, the randomization test for Markovity, and
// the rates of change (velocity and acceleration) along a series.
#ifndef RHDYNAMICS_H
#define RHDYNAMICS_H

// "No value" in rates of change: the largest single-precision value, stored
// in a double (a velocity over an interval of length 0, or one that leans
// on an undefined resemblance).
constexpr double kNoValue = 3.4028234663852886e38;

// Transition matrices of the n x p series (amounts of p states, rows in time
// order, none negative or missing) for the lags 1..maxLag into
// transitions[0..maxLag-1] (p x p each, overwritten). For each pair of rows
// s and u = s + l, the amounts at u are split by where they came from: x_u,i
// stays in state i; a loss of state i (x_u,i < x_s,i) went to the other
// states j in proportion to their amounts at u, and a gain of i came from
// the other states in the same proportion (row u must have a total above 0
// for either). P_l is the mean of the n - l such matrices, each row then
// scaled to sum 1 (a row of zeros stays zeros).
void FitMarkov(int n, int p, int maxLag, double** series, double*** transitions);

// The prediction of one lag in place: for r = lag..rows-1, in that order,
// row r of Y = row r - lag x P (P p x p). Rows below lag keep what they
// hold, so successive lags carry over what the previous one left.
void MarkovPredictLag(int rows, int p, int lag, double** P, double** Y);

// The randomization test for Markovity of the n x p series X (n > 2): in
// iteration 1 the rows in data order, in each later one in the order of a
// random permutation drawn by RndList from the shared generator; the
// transition matrices of that series for lags 1..maxLag (FitMarkov), its
// prediction carried over from lag to lag as MarkovPredictLag does up to
// row n - 1, and for each lag l Kruskal's stress between the Euclidean
// distance matrices of the series and of its prediction after lag l.
// Outputs, for each lag: K the observed stress; P = count / nIter, where
// the count starts at 1 and adds 1 for each random stress smaller than or
// equal to the observed one (TieRule::Smaller), NaN (not testable) when
// the observed stress is -1 (no variation) or not finite; average the mean
// of the nIter - 1 random stresses (0 when nIter is 1). The iterations run
// on the calling thread (the distance routine uses the team), with the
// progress line "Randomization iteration: nIter k".
void MarkovityTest(int n, int p, int maxLag, double** X, int nIter, double* K, double* P, double* average);

// Velocities and accelerations along a series of n points, for both menus
// that offer rates of change. For the n - 1 intervals i = 0..n-2:
// change[i] is the resemblance between points i and i + 1 (MISSING when
// undefined), span[i] the interval's length on the reference scale, and
// reference[i] the reference value of point i (NaN when it has none: -999
// may be a real time, so MISSING is not read as a missing reference).
//   velocity[i] = change[i] / span[i], or kNoValue when span[i] is not above
//     0 or change[i] is MISSING; velocityAt[i] = the mean of reference[i]
//     and reference[i + 1];
//   acceleration[i] (i = 0..n-3) = (velocity[i + 1] - velocity[i]) / m,
//     m = (span[i] + span[i + 1]) / 2, or kNoValue when m is not above 0 or
//     either velocity is kNoValue; accelerationAt[i] = the mean of
//     reference[i..i + 2].
// A mean that is not a finite number is kNoValue.
// Outputs hold n - 1 and n - 2 values; nothing is written where n is
// smaller than 2 (or 3 for the accelerations).
void RatesOfChange(int n, const double* change, const double* span, const double* reference, double* velocity,
                   double* velocityAt, double* acceleration, double* accelerationAt);

#endif
