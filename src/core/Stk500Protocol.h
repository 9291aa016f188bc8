#pragma once

#include <cstdint>

// STK500 version 1 as the ArduinoISP sketch speaks it, shared by the Arduino link and the
// emulated board: every command is its code, its argument bytes and CRC_EOP; a reply is INSYNC,
// its answer bytes and OK.
namespace stk500 {

constexpr std::uint8_t kOk = 0x10;
constexpr std::uint8_t kUnknown = 0x12;
constexpr std::uint8_t kInSync = 0x14;
constexpr std::uint8_t kNoSync = 0x15;
constexpr std::uint8_t kCrcEop = 0x20;
constexpr std::uint8_t kGetSync = 0x30;
constexpr std::uint8_t kGetSignOn = 0x31;
constexpr std::uint8_t kGetParameter = 0x41;
constexpr std::uint8_t kSetDevice = 0x42;
constexpr std::uint8_t kSetDeviceExt = 0x45;
constexpr std::uint8_t kEnterProgmode = 0x50;
constexpr std::uint8_t kLeaveProgmode = 0x51;
constexpr std::uint8_t kUniversal = 0x56;

// GET_PARAMETER's numbers of the sketch's software version.
constexpr std::uint8_t kSoftwareMajor = 0x81;
constexpr std::uint8_t kSoftwareMinor = 0x82;

}  // namespace stk500
