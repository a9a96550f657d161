// Analysis of dynamics (key Y): the sampling units of the current data set,
// in data order, are the successive states of one system.
#ifndef TEVLANDYNAMICS_H
#define TEVLANDYNAMICS_H

// The menu of key Y. Returns 1, or 0 when the rates of change lack their
// resemblance matrix between sampling units.
int Dynamics();

// Markov fitting of the data (amounts, none negative or missing) with the
// prediction of Markov releves and the randomization test for Markovity;
// the report is appended to "Vidive.txt". Returns 1 when it ran.
int Markov();
// The data as read interpolated onto a regular time (or space) scale, into
// "Interpolated.txt". Returns 0 when the user gives up on the scale file or
// nothing was written.
int Interpolation();
// Velocities and accelerations along the series, from the current
// resemblance matrix between sampling units and a scale file. Returns 0 when
// the user gives up on the scale file or the report cannot be written.
int Rate_of_Change();
// The rates of change of a series of n points (RatesOfChange: the n - 1
// changes between consecutive points, the lengths of those intervals on the
// reference scale, the n reference values) reported to "Vidive.txt" in its
// mode, which becomes "a". Returns 0 when the report could not be written.
int RatesOfChangeReport(int n, const double* change, const double* span, const double* reference);
// The correlation matrix between variables predicted for blocks of one
// sampling unit from the correlations of moving averages of 1 to B units.
// Returns 1 when the report was written.
int CanonicalSerialScaling();

#endif
