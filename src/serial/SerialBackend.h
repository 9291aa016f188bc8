#pragma once

#include "core/CProgrammer.h"

// Creates the serial programmer backend for the controller and, unless baud is 0 (a baud index
// outside the table), opens COM comPort at baud, which posts PE_SERIAL_INIT_DONE or
// PE_SERIAL_INIT_FAILED. Owner's thread.
BackendStart CreateSerialBackend(CProgrammer& programmer, int comPort, int baud);
