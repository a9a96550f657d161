// Analysis of dynamics.
#ifndef TEVLANDYNAMICS_H
#define TEVLANDYNAMICS_H

int Dynamics();

#endif
