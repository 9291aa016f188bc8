#include "serial/SerialBackend.h"

#include "serial/CSerialProgrammer.h"

BackendStart CreateSerialBackend(CProgrammer& programmer, int comPort, int baud) {
    auto backend = std::make_unique<CSerialProgrammer>(programmer);
    BackendStart start;
    if (baud != 0) start.result = backend->Init(&programmer, comPort, baud) ? 1 : 0;
    start.backend = std::move(backend);
    return start;
}
