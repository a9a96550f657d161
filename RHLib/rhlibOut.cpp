#include "rhlibOut.h"
