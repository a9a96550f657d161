#include "PathModelGenerator_Tevlan.h"

#include "FtevlanEx.h"

int PathModelGenerator() { return NotAvailableYet(); }
