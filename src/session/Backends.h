#pragma once

#include "core/CProgrammer.h"

// The backends this program is built with: the serial programmer box and the parallel cables.
// A kind whose layer is not part of the build is left empty (no backend, operations ignored).
BackendFactory DefaultBackends();
