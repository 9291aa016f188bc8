#include "sim/CShiftWriteAdapter.h"

void CShiftWriteAdapter::SetLines(bool rst, bool sck, bool mosi) {
    if (rst && !m_bRst) {
        m_bytes.clear();
        m_nBit = 0;
        m_byCurrent = 0;
    }
    if (rst && sck && !m_bSck) {
        if (mosi) m_byCurrent = static_cast<std::uint8_t>(m_byCurrent | (1u << m_nBit));
        if (++m_nBit == 8) {
            m_bytes.push_back(m_byCurrent);
            m_nBit = 0;
            m_byCurrent = 0;
        }
    }
    m_bRst = rst;
    m_bSck = sck;
}
