#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "platform/Translate.h"

// One serial programming instruction of the 51-series flash chips, as its four bytes go out on
// MOSI, first byte first.
using IspInstruction = std::array<std::uint8_t, 4>;

// A programmer that clocks serial programming instructions into the chip: the bit-banged
// parallel port (every cable type, direct I/O, GPIO lines, simulated), an Arduino running
// ArduinoISP, a USBasp. The command set (erase, byte write and read-back, byte and page reads,
// signature, lock bits) is written once against this interface. A link is created and opened on
// the owner's thread; afterwards it is driven by one worker thread at a time. Closing is the
// backend's stop request: a link waiting on its device returns within about 50 ms once
// Stopping() of the backend that drives it is true. Each link is given that test when made, as
// a std::function<bool()> (conventionally the constructor's last parameter, `stopping`), which
// any thread may call; the backend that will drive the link outlives it.
class IIspLink {
public:
    virtual ~IIspLink() = default;

    // Opens the device. False when it cannot be used; Reason() then says why, naming the device.
    virtual bool Open() = 0;

    // Puts the chip into programming mode: RST low then high with the settling the link needs,
    // then sends the programming-enable instruction given (0xAC 0x53 ..). Returns the byte read
    // during its fourth byte (0x69 from a chip that answers), or -1 when the link itself failed.
    virtual int Enter(const IspInstruction& enable) = 0;

    // Sends the instructions in order and stores the byte read during the fourth byte of each in
    // answers (answers.size() == in.size()). A link may keep several in flight at once; the
    // answers still arrive in order. False when the link failed (device gone, no reply, a
    // malformed reply): the answers are then not to be used, and Reason() says why.
    virtual bool Transact(std::span<const IspInstruction> in, std::span<std::uint8_t> answers) = 0;

    // Page-mode read of the 256 bytes of the page whose address high byte is given. False when
    // the link does not clock page reads (the command set then reads byte by byte) or failed.
    virtual bool ReadPage(std::uint8_t high, std::uint8_t* out) {
        (void)high;
        (void)out;
        return false;
    }

    // Leaves programming mode and releases RST, so the target runs again.
    virtual void Leave() = 0;

    // What the last failure was, for standard error: device path, OS error or protocol fault.
    virtual std::string Reason() const = 0;

    // What to tell the user when programming enable was not answered with 0x69: the likely
    // causes on this link, for standard error.
    virtual std::string EnableHint() const {
        return platform::Tr(
            "the chip did not answer programming enable: check power, crystal, wiring and RST");
    }
};

// Makes a link, given the stop test of the backend that will drive it.
using IspLinkMaker = std::function<std::unique_ptr<IIspLink>(std::function<bool()> stopping)>;
