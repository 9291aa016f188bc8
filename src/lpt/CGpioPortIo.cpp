#include "lpt/CGpioPortIo.h"

#include <fcntl.h>
#include <linux/gpio.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "lpt/PortPins.h"
#include "platform/FailureReason.h"
#include "platform/Translate.h"

namespace {

using lptpins::LookUpPin;
using lptpins::PinBit;
using lptpins::Reg;

// The system's calls where the caller gave none.
CGpioPortIo::SystemCalls WithSystemCalls(CGpioPortIo::SystemCalls calls) {
    if (!calls.open) calls.open = [](const char* path, int flags) { return ::open(path, flags); };
    if (!calls.ioctl) {
        calls.ioctl = [](int fd, unsigned long request, void* arg) {
            return ::ioctl(fd, request, arg);
        };
    }
    if (!calls.close) calls.close = [](int fd) { return ::close(fd); };
    return calls;
}

// The status register bit of the pin when the pin is at the connector level.
std::uint8_t StatusBit(int pin, bool high) {
    const PinBit bit = LookUpPin(pin);
    return high != bit.inverted ? bit.mask : 0;
}

// The bitmap naming the first n lines of a request.
std::uint64_t FirstLines(size_t n) {
    return n >= 64 ? ~0ULL : (1ULL << n) - 1;
}

}  // namespace

GpioPinMap EmptyGpioPinMap() {
    GpioPinMap map;
    map.fill(-1);
    return map;
}

CGpioPortIo::CGpioPortIo(std::string chipPath, const GpioPinMap& map, SystemCalls calls)
    : m_strPath(std::move(chipPath)), m_calls(WithSystemCalls(std::move(calls))) {
    for (int pin = lptpins::kFirstPin; pin <= lptpins::kLastPin; ++pin) {
        const int offset = map[static_cast<size_t>(pin)];
        if (offset < 0) continue;
        const Line line{pin, static_cast<unsigned>(offset)};
        (LookUpPin(pin).output ? m_outputs : m_inputs).push_back(line);
    }
    for (int pin = lptpins::kFirstPin; pin <= lptpins::kLastPin; ++pin) {
        if (LookUpPin(pin).reg == Reg::Status)
            m_byIdleStatus |= StatusBit(pin, kUnmappedInputLevel);
    }
}

CGpioPortIo::~CGpioPortIo() {
    Release();
}

std::string CGpioPortIo::CheckMap() const {
    if (m_outputs.empty() && m_inputs.empty())
        return platform::Tr("no DB-25 pin is mapped to a GPIO line");
    if (m_outputs.size() > GPIO_V2_LINES_MAX || m_inputs.size() > GPIO_V2_LINES_MAX)
        return platform::Tr("too many lines");
    std::map<unsigned, int> pinOfLine;
    for (const auto* lines : {&m_outputs, &m_inputs}) {
        for (const Line& line : *lines) {
            auto [it, added] = pinOfLine.emplace(line.offset, line.pin);
            if (!added) {
                return platform::Printf(platform::Tr("line %u is mapped to pins %d and %d"),
                                        line.offset, it->second, line.pin);
            }
        }
    }
    return {};
}

bool CGpioPortIo::Open() {
    if (const std::string problem = CheckMap(); !problem.empty()) {
        platform::ReportFailureReason(m_strPath + ": " + problem + " ([GPIO] in Dranvik.ini)");
        return false;
    }
    const int chipFd = m_calls.open(m_strPath.c_str(), O_RDWR | O_CLOEXEC);
    if (chipFd < 0) {
        platform::ReportFailureReason(platform::ErrnoReason(m_strPath, errno));
        return false;
    }
    // The line requests live on without the chip's descriptor. The inputs are requested only
    // once the outputs are held.
    m_outputFd = RequestLines(chipFd, m_outputs, Direction::Output);
    bool ok = m_outputs.empty() || m_outputFd >= 0;
    if (ok && !m_inputs.empty()) {
        m_inputFd = RequestLines(chipFd, m_inputs, Direction::Input);
        ok = m_inputFd >= 0;
    }
    m_calls.close(chipFd);
    if (!ok) Release();
    return ok;
}

int CGpioPortIo::RequestLines(int chipFd, const std::vector<Line>& lines, Direction direction) {
    if (lines.empty()) return -1;
    const bool output = direction == Direction::Output;
    gpio_v2_line_request request{};
    for (size_t i = 0; i < lines.size(); ++i) request.offsets[i] = lines[i].offset;
    request.num_lines = static_cast<__u32>(lines.size());
    std::strncpy(request.consumer, kConsumer, sizeof request.consumer - 1);
    request.config.flags = output ? GPIO_V2_LINE_FLAG_OUTPUT : GPIO_V2_LINE_FLAG_INPUT;
    if (output) {
        // The lines start at the levels the registers' first contents (0) give them.
        gpio_v2_line_config_attribute& initial = request.config.attrs[0];
        initial.attr.id = GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES;
        initial.mask = FirstLines(lines.size());
        for (size_t i = 0; i < lines.size(); ++i) {
            const PinBit bit = LookUpPin(lines[i].pin);
            if (lptpins::LevelIn(bit, 0)) initial.attr.values |= 1ULL << i;
        }
        request.config.num_attrs = 1;
    }
    if (m_calls.ioctl(chipFd, GPIO_V2_GET_LINE_IOCTL, &request) != 0) {
        const int err = errno;
        std::string hint;
        if (err == EBUSY) hint = "a line is in use by another program";
        if (err == EINVAL) hint = "a line offset the chip does not have";
        platform::ReportFailureReason(platform::ErrnoReason(m_strPath, err, hint));
        return -1;
    }
    return request.fd;
}

void CGpioPortIo::Release() {
    if (m_outputFd >= 0) {
        // Leave nothing driven: the lines go back to inputs before they are released.
        gpio_v2_line_config config{};
        config.flags = GPIO_V2_LINE_FLAG_INPUT;
        if (m_calls.ioctl(m_outputFd, GPIO_V2_LINE_SET_CONFIG_IOCTL, &config) != 0)
            NoteFailure("set lines as inputs");
        m_calls.close(m_outputFd);
    }
    if (m_inputFd >= 0) m_calls.close(m_inputFd);
    m_outputFd = m_inputFd = -1;
}

void CGpioPortIo::WriteRegister(bool control, std::uint8_t value) {
    gpio_v2_line_values values{};
    for (size_t i = 0; i < m_outputs.size(); ++i) {
        const PinBit bit = LookUpPin(m_outputs[i].pin);
        if ((bit.reg == Reg::Control) != control) continue;
        values.mask |= 1ULL << i;
        if (lptpins::LevelIn(bit, value)) values.bits |= 1ULL << i;
    }
    if (values.mask == 0) return;  // none of the register's pins has a line
    if (m_outputFd < 0 || m_calls.ioctl(m_outputFd, GPIO_V2_LINE_SET_VALUES_IOCTL, &values) != 0)
        NoteFailure("set line values");
}

void CGpioPortIo::WriteData(std::uint8_t value) {
    m_byData = value;
    WriteRegister(false, value);
}

void CGpioPortIo::WriteControl(std::uint8_t value) {
    m_byControl = value;
    WriteRegister(true, value);
}

std::uint8_t CGpioPortIo::ReadStatus() {
    std::uint8_t status = m_byIdleStatus;
    if (m_inputs.empty()) return status;
    gpio_v2_line_values values{};
    values.mask = FirstLines(m_inputs.size());
    if (m_inputFd < 0 || m_calls.ioctl(m_inputFd, GPIO_V2_LINE_GET_VALUES_IOCTL, &values) != 0) {
        NoteFailure("get line values");
        return 0xFF;
    }
    for (size_t i = 0; i < m_inputs.size(); ++i) {
        const int pin = m_inputs[i].pin;
        status = static_cast<std::uint8_t>((status & ~LookUpPin(pin).mask) |
                                           StatusBit(pin, (values.bits >> i) & 1));
    }
    return status;
}

void CGpioPortIo::NoteFailure(const char* call) {
    const int err = errno;
    if (m_nFailedCalls.fetch_add(1) == 0)
        platform::ReportFailureReason(platform::ErrnoReason(m_strPath + ": " + call, err));
}
