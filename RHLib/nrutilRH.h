// Classical numerical routines on 1-based arrays: Gauss-Jordan inversion,
// Cholesky factorisation, sorting, index sorting and ranking, and their
// allocators.
#ifndef NRUTILRH_H
#define NRUTILRH_H

#endif
