#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "lpt/IPortIo.h"

// Port access through the Linux ppdev driver (/dev/parportN): the port is claimed, exclusively
// when no other parport driver is registered, for the object's whole life; the data and control
// registers found after the claim are restored before it is released. A failing call after a
// good start is counted and the first one printed on stderr; reads then give 0xFF (no chip
// answers) and nothing stops. The ioctl function can be replaced by a test's fake.
class CPpdevPortIo : public IPortIo {
public:
    using IoctlFunction = std::function<int(int fd, unsigned long request, void* arg)>;

    // An empty function means the system's ioctl.
    explicit CPpdevPortIo(std::string path, IoctlFunction ioctlFunction = {});
    ~CPpdevPortIo() override;
    CPpdevPortIo(const CPpdevPortIo&) = delete;
    CPpdevPortIo& operator=(const CPpdevPortIo&) = delete;

    bool Open() override;
    std::uint8_t ReadData() override;
    std::uint8_t ReadStatus() override;
    std::uint8_t ReadControl() override;
    void WriteData(std::uint8_t value) override;
    void WriteControl(std::uint8_t value) override;

    // Register calls that failed after the port was claimed. Any thread.
    int FailedCalls() const { return m_nFailedCalls.load(); }

private:
    // Opens the device and claims it; false (device closed again) when either fails.
    bool OpenAndClaim(bool exclusive);
    void CloseDevice();
    std::uint8_t Read(unsigned long request);
    void Write(unsigned long request, std::uint8_t value);
    void NoteFailure(unsigned long request);

    std::string m_strPath;
    IoctlFunction m_ioctl;
    int m_fd = -1;
    bool m_bClaimed = false;
    std::uint8_t m_bySavedData = 0;
    std::uint8_t m_bySavedControl = 0;
    std::atomic<int> m_nFailedCalls{0};
};
