#pragma once

#include <linux/gpio.h>

#include <cerrno>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "lpt/CGpioPortIo.h"
#include "sim/CSimCable.h"

// A GPIO chip in memory behind the system-call seam of CGpioPortIo: opens as descriptor
// kChipFd (or fails with openError when set), hands out line requests (as
// descriptors 100, 101, ...), keeps every line's level, records the requests, value calls and
// closes, refuses lines it is told are busy, and fails the calls it is told to fail. Optionally
// the lines drive a simulated cable at connector level through the inverse of a pin map.
struct FakeGpioChip {
    struct Request {
        std::vector<unsigned> offsets;
        std::uint64_t flags = 0;
        std::uint64_t initialValues = 0;  // bitmap by request index
    };

    int Ioctl(int fd, unsigned long request, void* arg) {
        if (failing.count(request)) {
            errno = EIO;
            return -1;
        }
        if (request == GPIO_V2_GET_LINE_IOCTL)
            return GetLine(*static_cast<gpio_v2_line_request*>(arg));
        auto it = requestOfFd.find(fd);
        if (it == requestOfFd.end()) {
            errno = EBADF;
            return -1;
        }
        Request& r = requests[static_cast<size_t>(it->second)];
        if (request == GPIO_V2_LINE_SET_CONFIG_IOCTL) {
            r.flags = static_cast<gpio_v2_line_config*>(arg)->flags;
            return 0;
        }
        auto* values = static_cast<gpio_v2_line_values*>(arg);
        if (request == GPIO_V2_LINE_SET_VALUES_IOCTL) {
            std::vector<std::pair<int, bool>> pins;
            for (size_t i = 0; i < r.offsets.size(); ++i) {
                if (!(values->mask >> i & 1)) continue;
                level[r.offsets[i]] = values->bits >> i & 1;
                pins.emplace_back(PinOf(r.offsets[i]), level[r.offsets[i]]);
            }
            ++setCalls;
            if (cable) cable->SetOutputPins(pins);
            return 0;
        }
        if (request == GPIO_V2_LINE_GET_VALUES_IOCTL) {
            values->bits = 0;
            for (size_t i = 0; i < r.offsets.size(); ++i) {
                const unsigned offset = r.offsets[i];
                const bool high = cable ? cable->PinLevel(PinOf(offset)) : level[offset];
                if ((values->mask >> i & 1) && high) values->bits |= 1ULL << i;
            }
            ++getCalls;
            return 0;
        }
        errno = ENOTTY;
        return -1;
    }

    int GetLine(gpio_v2_line_request& request) {
        Request r;
        for (unsigned i = 0; i < request.num_lines; ++i) {
            if (busy.count(request.offsets[i])) {
                errno = EBUSY;
                return -1;
            }
            r.offsets.push_back(request.offsets[i]);
        }
        r.flags = request.config.flags;
        for (unsigned a = 0; a < request.config.num_attrs; ++a) {
            const auto& attr = request.config.attrs[a];
            if (attr.attr.id == GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES)
                r.initialValues = attr.attr.values & attr.mask;
        }
        for (size_t i = 0; i < r.offsets.size(); ++i)
            level[r.offsets[i]] = r.initialValues >> i & 1;
        request.fd = 100 + static_cast<int>(requests.size());
        requestOfFd[request.fd] = static_cast<int>(requests.size());
        requests.push_back(r);
        return 0;
    }

    static constexpr int kChipFd = 50;

    int Open() {
        errno = openError;
        if (openError != 0) return -1;
        ++chipOpens;
        return kChipFd;
    }

    int Close(int fd) {
        if (fd == kChipFd) {
            --chipOpens;
            return 0;
        }
        closed.insert(fd);
        return requestOfFd.count(fd) ? 0 : -1;
    }

    CGpioPortIo::SystemCalls Calls() {
        return {
            [this](const char*, int) { return Open(); },
            [this](int fd, unsigned long request, void* arg) { return Ioctl(fd, request, arg); },
            [this](int fd) { return Close(fd); }};
    }

    // Wires the lines to the cable's connector pins as the map names them.
    void Wire(CSimCable* simCable, const GpioPinMap& map) {
        cable = simCable;
        for (int pin = 1; pin < static_cast<int>(map.size()); ++pin)
            if (map[static_cast<size_t>(pin)] >= 0)
                pinOfLine[static_cast<unsigned>(map[static_cast<size_t>(pin)])] = pin;
    }
    int PinOf(unsigned offset) const {
        auto it = pinOfLine.find(offset);
        return it == pinOfLine.end() ? 0 : it->second;
    }

    std::vector<Request> requests;
    std::map<int, int> requestOfFd;
    std::map<unsigned, bool> level;
    std::set<unsigned> busy;
    std::set<unsigned long> failing;
    std::set<int> closed;  // line request descriptors
    int openError = 0;
    int chipOpens = 0;  // chip descriptors open
    std::map<unsigned, int> pinOfLine;
    CSimCable* cable = nullptr;
    int setCalls = 0;
    int getCalls = 0;
};

// A port made of the fake chip's lines, wired to a simulated cable through the pin map: the
// simulated cable sees at its connector what the GPIO port puts on the lines. Owns the cable.
class CGpioOnSimCable : public IPortIo {
public:
    CGpioOnSimCable(std::unique_ptr<CSimCable> cable, const GpioPinMap& map)
        : m_pCable(std::move(cable)), m_io("/dev/gpiochip0", map, fake.Calls()) {
        fake.Wire(m_pCable.get(), map);
    }

    bool Open() override { return m_io.Open(); }
    std::uint8_t ReadData() override { return m_io.ReadData(); }
    std::uint8_t ReadStatus() override { return m_io.ReadStatus(); }
    std::uint8_t ReadControl() override { return m_io.ReadControl(); }
    void WriteData(std::uint8_t value) override { m_io.WriteData(value); }
    void WriteControl(std::uint8_t value) override { m_io.WriteControl(value); }

    FakeGpioChip fake;

private:
    std::unique_ptr<CSimCable> m_pCable;
    CGpioPortIo m_io;
};
