// Printers of vectors and matrices: aligned, tab-separated and one value a line.
#ifndef RHLIBOUT_H
#define RHLIBOUT_H

#include <cstdio>

#endif
