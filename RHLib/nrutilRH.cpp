#include "nrutilRH.h"
