#pragma once

#include "core/CProgrammer.h"

// Creates the parallel-cable backend for cable type 1..4 and initialises it on the first
// parallel port (base 0x378) at the cable speed; the result is its Init's. Owner's thread.
BackendStart CreateParallelBackend(CProgrammer& programmer, int cableType, int cableSpeed);
