#pragma once

#include <cstdint>

// The wire protocol of the serial programmer box, shared by the host backend and the box
// emulator: the command code in the first byte of an 18-byte frame, the reply codes, and the
// single bytes that acknowledge a data block or steer a read transfer.
namespace boxproto {

// Command codes of the frames the host sends.
constexpr std::uint8_t kCmdReady = 0x00;  // also ends a write transfer
constexpr std::uint8_t kCmdDetect = 0x01;
constexpr std::uint8_t kCmdErase = 0x02;
constexpr std::uint8_t kCmdWrite = 0x03;
constexpr std::uint8_t kCmdRead = 0x04;
constexpr std::uint8_t kCmdLock = 0x05;
constexpr std::uint8_t kCmdData = 0x07;

// Reply codes of the box.
constexpr std::uint8_t kReplyReady = 0x00;
constexpr std::uint8_t kReplySignature = 0x01;
constexpr std::uint8_t kReplyErased = 0x02;
constexpr std::uint8_t kReplyWriteReady = 0x03;
constexpr std::uint8_t kReplyReadReady = 0x04;
constexpr std::uint8_t kReplyLocked = 0x05;
constexpr std::uint8_t kReplyBlock = 0x06;
constexpr std::uint8_t kReplyInvalid = 0xFF;

// Acknowledges of a data block, and the bytes that steer a read transfer.
constexpr std::uint8_t kAckOk = 0x01;
constexpr std::uint8_t kAckFailed = 0xFF;
constexpr std::uint8_t kRequestNext = 0x01;
constexpr std::uint8_t kRequestAgain = 0xFF;
constexpr std::uint8_t kRequestEnd = 0x00;

}  // namespace boxproto
