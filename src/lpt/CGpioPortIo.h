#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "lpt/IPortIo.h"

// DB-25 pin number (index 1 to 17) to GPIO line offset; -1: the pin has no line.
using GpioPinMap = std::array<int, 18>;

// A GPIO map with no pin mapped.
GpioPinMap EmptyGpioPinMap();

// A parallel port made of GPIO lines of one Linux GPIO chip (/dev/gpiochipN, character device
// uAPI v2). Each mapped DB-25 pin is one line that carries the level the cable expects on that
// pin: the port's own inversions (strobe pin 1, autofeed pin 14, select-in pin 17, busy pin 11)
// are applied between register values and line levels. The mapped output pins (1 to 9, 14, 16,
// 17) are requested once as one output line request, so a register write is one ioctl; the
// mapped status pins (10 to 13, 15) as one input request, so a status read is one ioctl.
// Writes to unmapped output pins go nowhere; unmapped status pins read high at the connector, as
// an open input of a parallel port does. The data and control registers read back as last
// written. On destruction the output lines are turned into inputs and both requests released.
// A failing call after a good start is counted and the first reported; reads then give 0xFF
// and nothing stops. Created and opened on the owner's thread, then used by one thread at a
// time. The system calls it makes (open, ioctl, close) can be replaced by a test's fake.
class CGpioPortIo : public IPortIo {
public:
    // The calls on the chip and its line requests; an empty function means the system's call.
    struct SystemCalls {
        std::function<int(const char* path, int flags)> open;
        std::function<int(int fd, unsigned long request, void* arg)> ioctl;
        std::function<int(int fd)> close;
    };

    // Connector level of a status pin without a line.
    static constexpr bool kUnmappedInputLevel = true;
    // Name the lines are requested under.
    static constexpr const char* kConsumer = "olstrin";

    CGpioPortIo(std::string chipPath, const GpioPinMap& map, SystemCalls calls = {});
    ~CGpioPortIo() override;
    CGpioPortIo(const CGpioPortIo&) = delete;
    CGpioPortIo& operator=(const CGpioPortIo&) = delete;

    // Checks the map, opens the chip and requests the lines; false, with the reason reported
    // through platform::ReportFailureReason and nothing held, when any step fails.
    bool Open() override;
    std::uint8_t ReadData() override { return m_byData; }
    std::uint8_t ReadStatus() override;
    std::uint8_t ReadControl() override { return m_byControl; }
    void WriteData(std::uint8_t value) override;
    void WriteControl(std::uint8_t value) override;

    // Line calls that failed after the lines were requested. Any thread.
    int FailedCalls() const { return m_nFailedCalls.load(); }

private:
    enum class Direction { Input, Output };

    // One mapped pin: its DB-25 number and its GPIO line offset.
    struct Line {
        int pin;
        unsigned offset;
    };

    // The reason the map cannot be used (no line at all, a line named twice), or empty.
    std::string CheckMap() const;
    // Requests the lines as one request; the request's descriptor, or -1 (reason reported).
    int RequestLines(int chipFd, const std::vector<Line>& lines, Direction direction);
    // Sets the output lines of the register's pins to the levels the value gives them.
    void WriteRegister(bool control, std::uint8_t value);
    void Release();
    void NoteFailure(const char* call);

    std::string m_strPath;
    SystemCalls m_calls;
    std::vector<Line> m_outputs;
    std::vector<Line> m_inputs;
    int m_outputFd = -1;
    int m_inputFd = -1;
    std::uint8_t m_byData = 0;
    std::uint8_t m_byControl = 0;
    std::uint8_t m_byIdleStatus = 0;  // the status register with no input line read
    std::atomic<int> m_nFailedCalls{0};
};
