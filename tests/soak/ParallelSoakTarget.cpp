#include "ParallelSoakTarget.h"

#include <memory>

#include "lpt/CParallelIsp.h"
#include "lpt/CSimPortIo.h"

void ParallelSoakTarget::Configure(SettingsRecord& settings) {
    settings.nProgrammerType = 1;
    settings.nSpeedIndex = 2;
}

BackendFactory ParallelSoakTarget::Factory() {
    BackendFactory factory;
    factory.createParallel = [this](CProgrammer& programmer, int cableType, int cableSpeed) {
        auto cable = std::make_unique<CSimCable>(CSimCable::DefaultWiring(cableType));
        cable->AttachChip(std::make_unique<CTargetChip>(CTargetChip::Model::AT89S52));
        m_pCable = cable.get();
        auto port = std::make_shared<std::unique_ptr<IPortIo>>(
            std::make_unique<CSimPortIo>(std::move(cable)));
        auto isp = std::make_unique<CParallelIsp>(
            [port](const std::string&) { return std::move(*port); }, &m_clock);
        const int result = isp->Init(&programmer, 0x378, cableType, cableSpeed);
        return BackendStart{std::move(isp), result};
    };
    return factory;
}

CycleFault ParallelSoakTarget::Arrange(int cycle, int imageLength) {
    if (!m_pCable->Chip()) {
        m_pCable->AttachChip(std::make_unique<CTargetChip>(CTargetChip::Model::AT89S52));
    }
    m_pCable->Chip()->SetStuckAddress(-1);
    switch (cycle % 8) {
        case 2:
            m_pCable->Chip()->SetStuckAddress(cycle * 37 % imageLength);
            return {"stuck address", false};
        case 5:
            m_pCable->AttachChip(nullptr);
            return {"no chip", false};
        default:
            return {"none", true};
    }
}
