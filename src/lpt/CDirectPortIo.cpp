#include "lpt/CDirectPortIo.h"

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define OLSTRIN_HAVE_PORT_IO 1
#endif

CDirectPortIo::~CDirectPortIo() {
#ifdef OLSTRIN_HAVE_PORT_IO
    if (m_bOpen) ioperm(m_wBase, 3, 0);
#endif
}

bool CDirectPortIo::Open() {
#ifdef OLSTRIN_HAVE_PORT_IO
    m_bOpen = ioperm(m_wBase, 3, 1) == 0;
#endif
    return m_bOpen;
}

std::uint8_t CDirectPortIo::In(int offset) {
#ifdef OLSTRIN_HAVE_PORT_IO
    if (m_bOpen) return inb(static_cast<unsigned short>(m_wBase + offset));
#else
    (void)offset;
#endif
    return 0xFF;
}

void CDirectPortIo::Out(int offset, std::uint8_t value) {
#ifdef OLSTRIN_HAVE_PORT_IO
    if (m_bOpen) outb(value, static_cast<unsigned short>(m_wBase + offset));
#else
    (void)offset;
    (void)value;
#endif
}
