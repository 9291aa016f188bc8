#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/IIspLink.h"

// Which ISP link clocks the chip's instructions, in the words of Dranvik.ini [Devices] ISP= and
// of --isp: "arduino:PATH" or "arduino:PATH@BAUD" (a board running ArduinoISP on that serial
// port, 19200 baud when no rate is given), "arduino:sim" or "arduino:sim:MODEL" (the emulated
// board with a simulated at89s51 or at89s52), "usbasp", "usbasp:SERIAL" or "usbasp:BUS:DEVICE".
struct IspSelection {
    enum class Kind { None, Arduino, Usbasp };

    Kind kind = Kind::None;
    // Arduino: the tty path, or "sim" / "sim:MODEL". Usbasp: the serial number asked for, empty
    // for any.
    std::string device;
    int baud = 19200;  // Arduino: the line rate the sketch was built with
    int usbBus = -1;   // Usbasp: bus and device number when chosen as BUS:DEVICE, else -1
    int usbAddress = -1;
};

// The baud ArduinoISP is built with unless its sources are changed.
constexpr int kDefaultArduinoBaud = 19200;

// Parses the words; an empty text is Kind::None. False for anything malformed (unknown kind, an
// empty path, a rate that is not a positive number, a bus or device number out of range).
bool ParseIspSelection(const std::string& text, IspSelection& selection);

// When non-empty, replaces Dranvik.ini [Devices] ISP for this process. Any thread; set it before
// the backend is created.
void SetIspOverride(const std::string& text);

// The words in force: the override, else Dranvik.ini [Devices] ISP, else empty (no link: the
// parallel cable clocks the instructions itself). Any thread.
std::string IspSetting();

// The (unopened) link for the selection, given the backend's stop test (see IIspLink); null for
// Kind::None and for a selection this build has no link for. "arduino:sim" starts the emulated
// board here; the link keeps it running until the link goes.
std::unique_ptr<IIspLink> CreateIspLink(const IspSelection& selection,
                                        std::function<bool()> stopping);

// The link in use, so the front ends can name it beside the port's init line: a link notes its
// line once it is open and forgets it when it goes. IspLinkText is empty while no link is noted.
void NoteIspLink(const void* link, const std::string& text);
void ForgetIspLink(const void* link);
std::string IspLinkText();
