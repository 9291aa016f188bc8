// Feeds arbitrary blocks of received bytes to the serial programmer's reply handler, as the comm
// thread does: whole and short frames, single acknowledge bytes, empty and oversized blocks, in
// any order, including while the write and read transfer threads it starts are running. Each
// block is copied into a buffer of exactly its own size, so a read past what arrived is a heap
// overflow the sanitizer reports.
//
// Input: a sequence of blocks, each a length byte (taken modulo the port's receive buffer size
// plus one) followed by that many bytes; a short last block keeps what is left.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/CEventQueue.h"
#include "core/CProgrammer.h"
#include "platform/MessageBox.h"
#include "serial/CSerialProgrammer.h"

namespace {

// The backend with its reply handler reachable and time-outs short enough for a fuzzer. It has no
// port: every send fails, and the error box it raises goes to a silent handler.
class ReplyHarness : public CSerialProgrammer {
public:
    explicit ReplyHarness(CProgrammer& controller) : CSerialProgrammer(controller) {
        SetTimings({std::chrono::milliseconds(1), std::chrono::milliseconds(1),
                    std::chrono::milliseconds(0)});
    }
    using CSerialProgrammer::OnReceive;
};

// Three blocks of image to write, and as much to read back.
constexpr int kImageLength = 3 * CSerialProgrammer::kBlockSize;

ChipInfo Chip(const char* name, std::uint8_t s1) {
    ChipInfo chip{};
    std::strncpy(chip.szName, name, sizeof chip.szName - 1);
    chip.bAlgorithm = 2;
    chip.nRomKB = 8;
    chip.Signature[0] = 0x1E;
    chip.Signature[1] = s1;
    chip.Signature[2] = 0x06;
    return chip;
}

// One controller for the whole run, set back to the same state before every input.
CProgrammer& Controller(CEventQueue& queue) {
    static CProgrammer* controller = [&queue] {
        platform::SetMessageBoxHandler(
            [](const std::string&, const std::string&, platform::MessageIcon) {});
        auto* p = new CProgrammer;
        p->m_ChipList = {Chip("AT89S51", 0x51), Chip("AT89S52", 0x52)};
        p->m_pOwner = &queue;
        return p;
    }();
    CProgrammer& p = *controller;
    for (int i = 0; i < kImageLength; ++i) p.m_pBuffer1[i] = static_cast<std::uint8_t>(i);
    p.m_bReadWrittenLength = 1;
    p.m_nDataLen = kImageLength;
    p.m_nPos = 0;
    p.m_nSelChip = 1;
    return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static CEventQueue queue;
    CProgrammer& controller = Controller(queue);
    {
        ReplyHarness backend(controller);
        std::size_t at = 0;
        while (at < size) {
            const std::size_t wanted = data[at++] % (CSerialPort::kReceiveBufferSize + 1);
            const std::size_t count = std::min(wanted, size - at);
            const std::vector<std::uint8_t> block(data + at, data + at + count);
            backend.OnReceive(block.data(), static_cast<int>(count));
            at += count;
        }
        // The destructor stops the transfer thread wherever it is.
    }
    // Positions stay within the buffers whatever the replies were.
    if (controller.m_nPos < 0 || controller.m_nPos > kImageBufferSize) std::abort();
    if (controller.m_nSelChip < 0 || controller.m_nSelChip >= controller.GetChipCount()) {
        std::abort();
    }
    queue.TakeAll();
    return 0;
}
