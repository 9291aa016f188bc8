#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "LptTestSupport.h"
#include "lpt/ParallelBackend.h"
#include "platform/FailureReason.h"
#include "sim/CChipInstructionAdapter.h"

namespace {

using Events = std::vector<int>;

// The simulated chip behind a link that clocks no page reads, can be told to fail at its n-th
// instruction (counted from 1 over the link's life) and to refuse to open.
class CFakeLink : public IIspLink {
public:
    CFakeLink(CTargetChip& chip, int failAt, bool opens = true)
        : m_chip(chip), m_nFailAt(failAt), m_bOpens(opens) {}

    bool Open() override { return m_bOpens; }
    int Enter(const IspInstruction& enable) override {
        if (Fails()) return -1;
        return m_chip.Enter(enable);
    }
    bool Transact(std::span<const IspInstruction> in, std::span<std::uint8_t> answers) override {
        for (std::size_t i = 0; i < in.size(); ++i) {
            if (Fails()) return false;
            m_chip.Transact(in.subspan(i, 1), answers.subspan(i, 1));
        }
        return true;
    }
    void Leave() override { m_chip.Leave(); }
    std::string Reason() const override { return "fake: gone"; }
    std::string EnableHint() const override { return "fake: check RST"; }
    int Sent() const { return m_nSent; }

private:
    bool Fails() { return ++m_nSent >= m_nFailAt; }

    CChipInstructionAdapter m_chip;
    int m_nSent = 0;
    int m_nFailAt;
    bool m_bOpens;
};

// A controller whose parallel backend runs over the link the maker gives, on a fake clock, with
// the failure reasons recorded.
struct LinkRig {
    explicit LinkRig(IspLinkMaker make) {
        platform::SetSettingsDir(settings.path());
        platform::SetFailureReasonSink([this](const std::string& r) { reasons.push_back(r); });
        BackendFactory factory;
        factory.createParallel = [this, make](CProgrammer& p, int, int) {
            auto backend = std::make_unique<CParallelIsp>(make, &clock);
            const int result = backend->InitLink(&p);
            return BackendStart{std::move(backend), result};
        };
        programmer = std::make_unique<CProgrammer>(std::move(factory));
        programmer->m_ChipList = TestChipList();
        programmer->Init(&queue, 1, 2);
        initEvents = queue.TakeAll();
    }
    ~LinkRig() {
        programmer.reset();
        platform::SetFailureReasonSink({});
        platform::SetSettingsDir("");
    }
    Events Run() { return OperationEvents(queue); }

    TempDir settings;
    CFakeClock clock;
    CEventQueue queue;
    std::vector<std::string> reasons;
    std::unique_ptr<CProgrammer> programmer;
    std::vector<int> initEvents;
};

TEST(LinkBackend, EveryOperationRunsOverTheSimulatedChipsLink) {
    CTargetChip chip;
    LinkRig rig(
        [&chip](std::function<bool()>) { return std::make_unique<CChipInstructionAdapter>(chip); });
    EXPECT_EQ(rig.initEvents, Events{PE_PARALLEL_INIT_DONE});
    CProgrammer& p = *rig.programmer;
    p.DetectChip(kChipS52);
    EXPECT_EQ(rig.Run(), Events{PE_DEVICE_DETECTED});
    const auto image = LoadRandomImage(p, 600, 3);
    p.WriteChip(kChipS52);
    EXPECT_EQ(rig.Run().back(), PE_WRITE_DONE);
    p.m_bReadWrittenLength = 1;
    p.ReadChip(kChipS52);
    EXPECT_EQ(rig.Run().back(), PE_READ_DONE);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), p.m_pBuffer2.get()));
    EXPECT_EQ(chip.InstructionCount(0x30), 2u);  // the link's page reads are used
    p.WriteLockBits(kChipS52, 1);
    EXPECT_EQ(rig.Run(), Events{PE_LOCK_DONE});
    p.EraseChip(kChipS52);
    EXPECT_EQ(rig.Run(), Events{PE_ERASE_DONE});
    EXPECT_EQ(chip.LockLevel(), 0);
    EXPECT_FALSE(chip.InProgrammingMode());
    // The shift write needs the cable's own lines.
    p.WriteChip(3);
    EXPECT_EQ(rig.Run(), Events{PE_INVALID_OPERATION});
    EXPECT_TRUE(rig.reasons.empty());
}

TEST(LinkBackend, ALinkFailingMidOperationEndsItWithOneFailure) {
    CTargetChip chip;
    // Instruction 1 enters programming mode (twice for a write), the bytes follow.
    for (const auto& [operation, failure] : {std::pair{3, PE_WRITE_ERROR}, {4, PE_RECEIVE_ERROR}}) {
        SCOPED_TRACE(operation);
        LinkRig rig(
            [&chip](std::function<bool()>) { return std::make_unique<CFakeLink>(chip, 40); });
        CProgrammer& p = *rig.programmer;
        LoadRandomImage(p, 300, 4);
        p.m_bReadWrittenLength = 1;
        p.m_nDataLen = 300;
        if (operation == 3)
            p.WriteChip(kChipS52);
        else
            p.ReadChip(kChipS52);
        const Events events = rig.Run();
        EXPECT_EQ(events.back(), failure);
        EXPECT_EQ(std::count(events.begin(), events.end(), failure), 1);
        EXPECT_FALSE(chip.InProgrammingMode());
        EXPECT_EQ(rig.reasons, std::vector<std::string>{"fake: gone"});
        EXPECT_TRUE(rig.queue.TakeAll().empty());
    }
}

TEST(LinkBackend, NoAnswerToProgrammingEnableFailsAtOnceWithTheLinksHint) {
    CTargetChip chip;
    chip.SetAbsent(true);
    CFakeLink* link = nullptr;
    LinkRig rig([&chip, &link](std::function<bool()>) {
        auto made = std::make_unique<CFakeLink>(chip, 1000);
        link = made.get();
        return made;
    });
    rig.programmer->ReadChip(kChipS52);
    EXPECT_EQ(rig.Run(), Events{PE_NO_CHIP_ANSWER});
    EXPECT_EQ(link->Sent(), 1);  // the enable alone: no lock read, no byte read
    EXPECT_EQ(rig.reasons, std::vector<std::string>{"fake: check RST"});
}

TEST(LinkBackend, ALinkThatDoesNotOpenFailsTheInitWithItsReason) {
    CTargetChip chip;
    TempDir settings;
    platform::SetSettingsDir(settings.path());
    std::vector<std::string> reasons;
    platform::SetFailureReasonSink([&reasons](const std::string& r) { reasons.push_back(r); });
    CEventQueue queue;
    BackendFactory factory;
    factory.createParallel = [&chip](CProgrammer& p, int, int) {
        return CreateLinkBackend(p, [&chip](std::function<bool()>) {
            return std::make_unique<CFakeLink>(chip, 1000, false);
        });
    };
    CProgrammer programmer(std::move(factory));
    programmer.Init(&queue, 1, 2);
    EXPECT_EQ(queue.TakeAll(), Events{PE_PARALLEL_INIT_FAILED});
    EXPECT_EQ(reasons, std::vector<std::string>{"fake: gone"});
    platform::SetFailureReasonSink({});
    platform::SetSettingsDir("");
}

// An erased page reads the same both ways, so the check waits for a page that holds data.
TEST(LinkBackend, PageReadsIgnoredBehindAnErasedFirstPageAreCaught) {
    CTargetChip chip;
    chip.SetIgnoresPageReads(true);
    LinkRig rig(
        [&chip](std::function<bool()>) { return std::make_unique<CChipInstructionAdapter>(chip); });
    CProgrammer& p = *rig.programmer;
    auto image = LoadRandomImage(p, 768, 5);
    std::fill_n(p.m_pBuffer1.get(), 256, 0xFF);
    std::fill_n(image.begin(), 256, 0xFF);
    p.WriteChip(kChipS52);
    ASSERT_EQ(rig.Run().back(), PE_WRITE_DONE);
    p.m_bReadWrittenLength = 1;
    for (const int notices : {1, 0}) {
        p.ReadChip(kChipS52);
        const Events events = rig.Run();
        EXPECT_EQ(events.back(), PE_READ_DONE);
        EXPECT_EQ(std::count(events.begin(), events.end(), PE_PAGE_READ_OFF), notices);
        EXPECT_TRUE(std::equal(image.begin(), image.end(), p.m_pBuffer2.get()));
    }
}

}  // namespace
