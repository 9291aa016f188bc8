#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/IIspLink.h"

class CArduinoIspEmulator;

// How a CArduinoIspLink waits and how far it runs ahead.
struct ArduinoIspOptions {
    // Opening the port resets most boards: the boot loader runs this long before the
    // sketch listens.
    int bootWaitMs = 1500;
    int syncAttempts = 10;  // GET_SYNC tries after the wait, each given syncReplyMs
    int syncReplyMs = 200;
    int replyTimeoutMs = 1000;  // longest wait for any one reply
    int maxInFlight = 10;       // UNIVERSAL commands sent ahead of their replies
    // Sleeps ms milliseconds (the boot-loader wait); tests record it instead. Empty: a real
    // sleep that ends early on the stop test.
    std::function<void(int ms)> sleep;
};

// An Arduino board running the ArduinoISP sketch, reached through its USB serial port: STK500
// version 1 (sync, parameters, set device, enter and leave programming mode), every chip
// instruction sent as a UNIVERSAL command. Several commands are kept in flight, never more bytes
// than the board's 64-byte receive buffer holds, so a transfer runs at the line rate.
//
// Threads: made and opened on the owner's thread, then driven by one worker at a time (see
// IIspLink). Every wait ends within about 50 ms once the stop test given is true.
class CArduinoIspLink : public IIspLink {
public:
    using Options = ArduinoIspOptions;

    // Bytes of one UNIVERSAL command, and the receive buffer they must fit into.
    static constexpr int kUniversalBytes = 6;
    static constexpr int kBoardReceiveBuffer = 64;

    CArduinoIspLink(std::string path, int baud, std::function<bool()> stopping,
                    Options options = {});
    ~CArduinoIspLink() override;
    CArduinoIspLink(const CArduinoIspLink&) = delete;
    CArduinoIspLink& operator=(const CArduinoIspLink&) = delete;

    // Keeps the emulated board behind the path running as long as the link exists.
    void KeepEmulator(std::unique_ptr<CArduinoIspEmulator> emulator);

    bool Open() override;
    int Enter(const IspInstruction& enable) override;
    bool Transact(std::span<const IspInstruction> in, std::span<std::uint8_t> answers) override;
    void Leave() override;
    std::string Reason() const override { return m_strReason; }
    std::string EnableHint() const override;

    // "ArduinoISP 1.18" once the board has told its versions, else empty.
    const std::string& SketchVersion() const { return m_strVersion; }

private:
    // Sends a command and waits for INSYNC, the reply's answer bytes and OK; false (reason set)
    // otherwise.
    bool Command(const std::vector<std::uint8_t>& bytes, int answerBytes,
                 std::uint8_t* answer = nullptr);
    bool Sync();
    bool WriteAll(const std::uint8_t* bytes, int count);
    // Reads what has arrived, up to size bytes, waiting up to timeoutMs for the first; 0 on a
    // time-out or stop (reason set), -1 when the device failed (reason set).
    int ReadSome(std::uint8_t* buffer, int size, int timeoutMs);
    bool Fail(const std::string& what);
    void Sleep(int ms);
    void Close();

    std::string m_strPath;
    int m_nBaud;
    std::function<bool()> m_stopping;
    Options m_options;
    int m_fd = -1;
    std::string m_strReason;
    std::string m_strVersion;
    bool m_bRepliesOwed = false;  // a failed transfer left replies on their way
    std::unique_ptr<CArduinoIspEmulator> m_pEmulator;
};
