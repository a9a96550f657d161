#include "TevlanClasses.h"
