#include "session/Backends.h"

#ifdef OLSTRIN_HAVE_LPT
#include "lpt/ParallelBackend.h"
#endif
#ifdef OLSTRIN_HAVE_SERIAL
#include "serial/SerialBackend.h"
#endif

BackendFactory DefaultBackends() {
    BackendFactory factory;
#ifdef OLSTRIN_HAVE_SERIAL
    factory.createSerial = CreateSerialBackend;
#endif
#ifdef OLSTRIN_HAVE_LPT
    factory.createParallel = CreateParallelBackend;
#endif
    return factory;
}
