// Randomization tests and path analysis.
#ifndef FTEVLANRN_H
#define FTEVLANRN_H

int AleatorizacaoUnitsManova();
int AleatorizacaoVar();
int PathAnalysis();

#endif
