#include "lpt/ParallelBackend.h"

#include "lpt/CParallelIsp.h"

BackendStart CreateParallelBackend(CProgrammer& programmer, int cableType, int cableSpeed) {
    auto isp = std::make_unique<CParallelIsp>();
    const int result = isp->Init(&programmer, 0x378, cableType, cableSpeed);
    return {std::move(isp), result};
}

BackendStart CreateLinkBackend(CProgrammer& programmer, const IspLinkMaker& makeLink) {
    auto isp = std::make_unique<CParallelIsp>(makeLink);
    const int result = isp->InitLink(&programmer);
    return {std::move(isp), result};
}
