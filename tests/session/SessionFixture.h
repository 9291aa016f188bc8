#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "FakeBackend.h"
#include "RecordingView.h"
#include "core/CEventQueue.h"
#include "core/CoreTestSupport.h"
#include "platform/AppPaths.h"
#include "platform/MessageBox.h"
#include "session/CProgrammingSession.h"
#include "support/TempDir.h"

// A session on a fake backend with a chip list of nine chips (row 1 is the AT89S52 the fake
// chip answers as), its settings folder in a temporary folder, and message boxes recorded.
class SessionFixture : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetSettingsDir(dir.path());
        platform::SetMessageBoxHandler([this](const std::string& text, const std::string&,
                                              platform::MessageIcon) { messages.push_back(text); });
        std::vector<ChipInfo> chips = {MakeChip("AT89S51", 2, 4, 0x1E, 0x51, 0x06),
                                       MakeChip("AT89S52", 2, 8, 0x1E, 0x52, 0x06, 4.5f)};
        for (int i = 2; i < 9; ++i) {
            chips.push_back(MakeChip("CHIP" + std::to_string(i), 2, 4, 0x1E, std::uint8_t(i), 9));
        }
        chipFile = dir.Write("chips.chip", ChipFileBytes(chips));
    }
    void TearDown() override {
        session.reset();
        platform::SetMessageBoxHandler({});
        platform::SetSettingsDir("");
    }

    // Starts the session with the given programmer type (0 serial, 1 parallel) and handles the
    // start-up events.
    void Begin(int type = 1) {
        BackendFactory factory;
        factory.createParallel = [this](CProgrammer& programmer, int, int) {
            return Create(programmer, false, PE_PARALLEL_INIT_DONE);
        };
        factory.createSerial = [this](CProgrammer& programmer, int, int) {
            return Create(programmer, true, PE_SERIAL_INIT_DONE);
        };
        session = std::make_unique<CProgrammingSession>(view, factory);
        session->Settings().nProgrammerType = type;
        session->Start(&queue);
        session->m_programmer.LoadChipListFrom(chipFile);
        Pump();
    }

    // Hands every queued event to the session, including those its handling posts.
    void Pump() {
        while (auto code = queue.WaitEvent(std::chrono::milliseconds(0))) {
            session->OnProgrammerEvent(*code);
        }
    }

    // Starts from an empty log and no prompts, so a test sees only its own command.
    void ForgetStartUp() {
        view.log.clear();
        view.prompts.clear();
        view.ends.clear();
        session->m_nLogLines = 0;
    }

    void MarkAll() {
        for (SessionButton b : {SessionButton::Open, SessionButton::Erase, SessionButton::Write,
                                SessionButton::Verify}) {
            view.SetAutoMark(b, true);
        }
    }

    TempDir dir;
    std::string chipFile;
    std::vector<std::string> messages;
    CEventQueue queue;
    RecordingView view{queue};
    FakeBackend* backend = nullptr;
    std::unique_ptr<CProgrammingSession> session;

private:
    BackendStart Create(CProgrammer& programmer, bool serial, int startEvent) {
        auto fake = std::make_unique<FakeBackend>(programmer, serial);
        backend = fake.get();
        programmer.PostEvent(startEvent);
        return BackendStart{std::move(fake), 1};
    }
};

inline const char* const kVerifyHeader = "-------------------效验开始------------------";
inline const char* const kVerifyFooter = "-------------------效验结束------------------";
