#include "FtevlanRn.h"

#include "FtevlanEx.h"

int AleatorizacaoUnitsManova() { return NotAvailableYet(); }

int AleatorizacaoVar() { return NotAvailableYet(); }

int PathAnalysis() { return NotAvailableYet(); }
