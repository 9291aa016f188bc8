#pragma once

#include "core/CProgrammer.h"
#include "core/IIspLink.h"

// Creates the parallel-cable backend for cable type 1..4 and initialises it on the first
// parallel port (base 0x378) at the cable speed; the result is its Init's. Owner's thread.
BackendStart CreateParallelBackend(CProgrammer& programmer, int cableType, int cableSpeed);

// Creates the backend over another programmer's ISP link (the maker is given the backend's stop
// test) and opens the link; the result is its InitLink's. The operations, events and log lines
// are the parallel cable's. Owner's thread.
BackendStart CreateLinkBackend(CProgrammer& programmer, const IspLinkMaker& makeLink);
