#include "TevlanDynamics.h"

#include "FtevlanEx.h"

int Dynamics() { return NotAvailableYet(); }
