#include "RandomDataGenOrdination_Tevlan.h"

#include "FtevlanEx.h"

int RandomDataGenerator() { return NotAvailableYet(); }
