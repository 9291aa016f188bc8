#include "lpt/CShiftOutAlgorithm.h"

#include "lpt/CParallelIsp.h"

void CShiftOutAlgorithm::ReadSignature(std::uint8_t* signature) {
    signature[0] = 0x08;
    signature[1] = 0x1F;
    signature[2] = 0xFF;
}

int CShiftOutAlgorithm::WriteByte(std::uint8_t data, int) {
    m_pPort->ShiftOutLsbFirst(data);
    return 1;
}
