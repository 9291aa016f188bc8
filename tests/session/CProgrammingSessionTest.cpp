#include <gmock/gmock.h>

#include "SessionFixture.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using SessionTest = SessionFixture;

TEST_F(SessionTest, AutoCompleteWithEveryMarkRunsTheWholeChainAndSucceeds) {
    Begin();
    EXPECT_THAT(view.log, ElementsAre("初始化并口完成."));
    MarkAll();
    const std::string path = dir.Write("a.bin", std::string("\x02\x00\x10\x80\xFE", 5));
    session->SetImageFile(path);
    ASSERT_TRUE(session->OnAutoComplete());
    Pump();

    EXPECT_EQ(view.clears, 1);
    EXPECT_THAT(view.log,
                ElementsAre("读入文件 " + path + " 到缓冲1(5字节).", "编程器:就绪.",
                            "编程器:检测到器件(特征字:1e 52 06).",
                            "AT89S52 - ROM容量:8K字节. 编程电压:4.50V.", "编程器:擦除器件完成.",
                            "编程器:写器件完成.", "编程器:读器件完成.", "数据已经保存到缓冲2.",
                            kVerifyHeader, "共发现    0个单元不对!", kVerifyFooter));
    EXPECT_THAT(backend->calls, ElementsAre("ready", "detect", "erase", "write", "read"));
    EXPECT_THAT(backend->readWrittenLength, ElementsAre(true));  // only the written bytes
    EXPECT_EQ(view.ChipSelection(), 1);                          // detection moved the chip
    EXPECT_THAT(view.busy,
                ElementsAre(SessionButton::Erase, SessionButton::Write, SessionButton::Verify));
    EXPECT_THAT(view.prompts, ElementsAre("success"));
    EXPECT_THAT(view.ends, ElementsAre(true));
    EXPECT_TRUE(session->ButtonsEnabled());
    EXPECT_EQ(session->m_nWritesDone, 1);
    EXPECT_EQ(view.progressText, "读器件完成");
    EXPECT_EQ(session->m_nLogLines, int(view.log.size()));
}

TEST_F(SessionTest, AutoCompleteWithoutMarksOnlyChecksReadinessAndGivesNoPrompt) {
    Begin();
    session->Settings().bAutoDetect = 0;
    ASSERT_TRUE(session->OnAutoComplete());
    Pump();
    EXPECT_THAT(view.log, ElementsAre("编程器:就绪."));
    EXPECT_THAT(backend->calls, ElementsAre("ready"));
    EXPECT_TRUE(view.prompts.empty());
    EXPECT_THAT(view.ends, ElementsAre(true));
}

TEST_F(SessionTest, FailedLoadEndsTheChainBeforeTheProgrammerIsContacted) {
    Begin();
    MarkAll();
    struct Case {
        std::string path;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"", {"请先打开文件."}},
        {dir.File("missing.bin"), {"打开文件失败."}},
        // An extended address record cannot be placed in a 64 KiB image; the log names its line.
        {dir.Write("ext.hex", ":020000040001F9\n:0100000002FD\n:00000001FF\n"),
         {"转换HEX文件失败.", "HEX文件第1行有错误."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ForgetStartUp();
        messages.clear();
        session->SetImageFile(c.path);
        ASSERT_TRUE(session->OnAutoComplete());
        Pump();
        EXPECT_EQ(view.log, c.lines);
        EXPECT_THAT(view.prompts, ElementsAre("failure"));
        EXPECT_THAT(view.ends, ElementsAre(false));
        EXPECT_TRUE(backend->calls.empty());
        EXPECT_FALSE(session->m_bStepCheckReady || session->m_bStepWrite);
    }
    EXPECT_EQ(messages.size(), 1u);  // the HEX converter's own message box
}

TEST_F(SessionTest, VerifyDifferenceListsTheByteAndEndsWithFailure) {
    Begin();
    MarkAll();
    backend->badAddress = 0x0A;
    session->SetImageFile(dir.Write("a.bin", std::string(16, '\x5A')));
    session->OnAutoComplete();
    Pump();
    const std::vector<std::string> tail(view.log.end() - 4, view.log.end());
    EXPECT_THAT(tail, ElementsAre(kVerifyHeader, "    00001 - 地址:000A  写:5A  读:5B",
                                  "共发现    1个单元不对!", kVerifyFooter));
    EXPECT_THAT(view.prompts, ElementsAre("failure"));
    EXPECT_THAT(view.ends, ElementsAre(false));
    EXPECT_FALSE(session->m_bVerifyAfterRead);
    EXPECT_EQ(session->m_nLogLines, int(view.log.size()));
}

TEST_F(SessionTest, SingleOperationsAppendToTheLogWhileAutoCompleteEmptiesIt) {
    Begin();
    ASSERT_TRUE(session->OnErase());
    Pump();
    ASSERT_TRUE(session->OnDetect());
    Pump();
    EXPECT_THAT(view.log, ElementsAre("初始化并口完成.", "编程器:擦除器件完成.",
                                      "编程器:检测到器件(特征字:1e 52 06).",
                                      "AT89S52 - ROM容量:8K字节. 编程电压:4.50V."));
    EXPECT_EQ(view.selectedLine, 3);
    EXPECT_THAT(view.prompts, ElementsAre("success", "success"));
    session->Settings().bAutoDetect = 0;
    session->OnAutoComplete();
    Pump();
    EXPECT_THAT(view.log, ElementsAre("编程器:就绪."));
    EXPECT_EQ(session->m_nLogLines, 1);
}

TEST_F(SessionTest, CommandsAreIgnoredWhileABusyStepRuns) {
    Begin();
    backend->overrides["erase"] = {};  // the erase stays under way
    ASSERT_TRUE(session->OnErase());
    EXPECT_FALSE(view.buttonsEnabled);
    EXPECT_FALSE(session->OnWrite());
    EXPECT_FALSE(session->OnAutoComplete());
    EXPECT_FALSE(session->OnWriteLockBits());
    EXPECT_THAT(backend->calls, ElementsAre("erase"));
    session->OnProgrammerEvent(PE_ERASE_DONE);
    EXPECT_TRUE(view.buttonsEnabled);
    EXPECT_TRUE(session->OnWrite());
}

TEST_F(SessionTest, ACommandDuringCheckReadyDropsThePendingSteps) {
    Begin();
    MarkAll();
    backend->overrides["ready"] = {};  // the ready answer has not come yet
    session->SetImageFile(dir.Write("a.bin", "\x01"));
    session->OnAutoComplete();
    Pump();
    EXPECT_TRUE(session->m_bStepErase);
    ASSERT_TRUE(session->OnDetect());  // check-ready leaves the buttons accepting clicks
    EXPECT_FALSE(session->m_bStepErase || session->m_bStepWrite || session->m_bStepVerify);
    session->OnProgrammerEvent(PE_READY);  // the late answer ends the now empty sequence
    Pump();
    EXPECT_THAT(backend->calls, ElementsAre("ready", "detect"));
    EXPECT_THAT(view.ends, ElementsAre(true, true));
}

TEST_F(SessionTest, SerialWriteWaitsForTheBoxReadyBeforeTheVerifyRead) {
    Begin(0);
    // Start-up: the open port leads to a ready check whose answer ends without a prompt.
    EXPECT_THAT(view.log, ElementsAre("初始化串口通讯完成.", "编程器:就绪."));
    EXPECT_TRUE(view.prompts.empty());
    session->OpenFile(dir.Write("a.bin", "\x11\x22"));
    ForgetStartUp();
    backend->calls.clear();
    view.SetAutoMark(SessionButton::Write, true);
    view.SetAutoMark(SessionButton::Verify, true);
    session->Settings().bAutoDetect = 0;
    session->OnAutoComplete();
    Pump();  // ready, write: 10, 11, 12 (verify pending: no step), 5 -> verify read
    EXPECT_THAT(view.log, ElementsAre("编程器:就绪.", "编程器:写器件开始.", "写入2字节...",
                                      "编程器:写器件完成.", "编程器:就绪.", "编程器:读器件开始.",
                                      "编程器:读器件完成.", "数据已经保存到缓冲2.", kVerifyHeader,
                                      "共发现    0个单元不对!", kVerifyFooter));
    EXPECT_THAT(backend->calls, ElementsAre("ready", "write", "read"));
    EXPECT_THAT(view.prompts, ElementsAre("success"));
}

TEST_F(SessionTest, ParallelWriteDoneStartsTheVerifyReadAtOnce) {
    Begin(1);
    view.view1[0] = 0x02;
    backend->overrides["read"] = {};
    view.SetAutoMark(SessionButton::Write, true);
    view.SetAutoMark(SessionButton::Verify, true);
    session->Settings().bAutoDetect = 0;
    session->OnAutoComplete();
    Pump();
    EXPECT_THAT(backend->calls, ElementsAre("ready", "write", "read"));
}

// A chain that writes must have something to write, and nothing beyond the ROM of the chip in use
// (row 0: 4 KiB; row 1: 8 KiB); otherwise it fails before the chip is erased or written.
TEST_F(SessionTest, WritesOfNothingOrPastTheRomStopBeforeTheChipChanges) {
    Begin();
    view.SetAutoMark(SessionButton::Erase, true);
    view.SetAutoMark(SessionButton::Write, true);
    session->Settings().bAutoDetect = 0;
    const auto run = [&](int chip, int lastByte, auto command) {
        ForgetStartUp();
        backend->calls.clear();
        view.SelectChip(chip);
        std::fill(view.view1.begin(), view.view1.end(), 0xFF);
        if (lastByte > 0) view.view1[static_cast<size_t>(lastByte - 1)] = 0x00;
        command();
        Pump();
    };
    const auto autoComplete = [&] { session->OnAutoComplete(); };
    run(0, 0, autoComplete);
    EXPECT_THAT(view.log, ElementsAre("编程器:就绪.", "请先打开文件."));
    EXPECT_THAT(backend->calls, ElementsAre("ready"));
    EXPECT_THAT(view.prompts, ElementsAre("failure"));

    run(0, 4097, [&] { session->OnWrite(); });
    EXPECT_THAT(view.log, ElementsAre("数据长度4097字节超出器件ROM容量4096字节."));
    EXPECT_TRUE(backend->calls.empty());

    run(1, 0x3001, autoComplete);
    EXPECT_THAT(view.log, ElementsAre("编程器:就绪.", "数据长度12289字节超出器件ROM容量8192字节."));
    EXPECT_THAT(backend->calls, ElementsAre("ready"));

    run(1, 8192, autoComplete);
    EXPECT_THAT(backend->calls, ElementsAre("ready", "erase", "write"));
}

// The checks look only at what the last load placed: a HEX image after a raw file of more than
// 64 KiB fits, an all-0xFF image is written (as nothing), an empty file is nothing loaded.
TEST_F(SessionTest, WriteChecksSeeOnlyTheImageTheLoadPlaced) {
    Begin();
    view.SetAutoMark(SessionButton::Erase, true);
    view.SetAutoMark(SessionButton::Write, true);
    session->Settings().bAutoDetect = 0;
    const auto load = [&](const std::string& name, const std::string& bytes) {
        session->OpenFile(dir.Write(name, bytes));
        ForgetStartUp();
        backend->calls.clear();
        session->OnAutoComplete();
        Pump();
    };
    load("big.bin", std::string(0x10001, '\x00'));
    EXPECT_THAT(view.log, ElementsAre("编程器:就绪.", "数据长度65537字节超出器件ROM容量4096字节."));
    load("small.hex", ":0100000002FD\n:00000001FF\n");
    EXPECT_THAT(backend->calls, ElementsAre("ready", "erase", "write"));
    load("blank.bin", std::string(256, '\xFF'));
    EXPECT_THAT(backend->calls, ElementsAre("ready", "erase", "write"));
    load("empty.bin", "");
    EXPECT_THAT(view.log, ElementsAre("编程器:就绪.", "请先打开文件."));
}

TEST_F(SessionTest, UnknownEventCodesFailWithoutALogLine) {
    Begin();
    ForgetStartUp();
    for (int code : {25, 255}) session->OnProgrammerEvent(code);
    EXPECT_TRUE(view.log.empty());
    EXPECT_THAT(view.prompts, ElementsAre("failure", "failure"));
    EXPECT_TRUE(view.buttonsEnabled);
}

TEST_F(SessionTest, FailureEventsLogTheirLineAndEndTheChain) {
    Begin();
    const std::vector<std::pair<int, std::string>> failures = {
        {PE_SERIAL_INIT_FAILED, "初始化串口通讯失败."},
        {PE_PARALLEL_INIT_FAILED, "初始化并口失败."},
        {PE_SERIAL_NOT_INITIALIZED, "未初始化串口."},
        {PE_UNAVAILABLE, "编程器:不可用."},
        {PE_RECEIVE_ERROR, "接收数据时发生错误."},
        {PE_WRITE_ERROR, "编程器:写器件时发生错误."},
        {PE_INVALID_OPERATION, "编程器:无效的操作."},
        {PE_LOCK_ERROR, "编程器:写锁定位时发生错误."},
        {PE_READ_LOCKED, "编程器:器件已加密,无法读出."},
    };
    for (const auto& [code, line] : failures) {
        SCOPED_TRACE(code);
        ForgetStartUp();
        MarkAll();
        session->SetImageFile(dir.Write("a.bin", "\x01"));
        backend->overrides["ready"] = {code};
        session->OnAutoComplete();
        Pump();
        EXPECT_EQ(view.log.back(), line);
        EXPECT_THAT(view.prompts, ElementsAre("failure"));
        EXPECT_FALSE(session->m_bStepDetect || session->m_bStepErase);
    }
}

TEST_F(SessionTest, UndetectedDeviceShowsTheSignatureAndFails) {
    Begin();
    ForgetStartUp();
    backend->signature[0] = 0xAB;
    backend->signature[1] = 0xFF;
    backend->signature[2] = 0x00;
    session->OnDetect();
    Pump();
    EXPECT_THAT(view.log, ElementsAre("编程器:没检测到器件(特征字:ab ff 00)."));
    EXPECT_THAT(view.prompts, ElementsAre("failure"));
}

TEST_F(SessionTest, ProgressTextIsUpperCaseHexAndThePositionStaysWithin0To100) {
    Begin();
    struct Case {
        int event, pos, len;
        std::string text;
        int position;
    };
    const std::vector<Case> cases = {
        {PE_WRITE_PROGRESS, 0, 0xAB0, "正在写:FFFFFFFF/0AAF", 0},
        {PE_READ_PROGRESS, 0x5580, 0xAB01, "正在读:557F/AB00", 50},
        {PE_READ_PROGRESS, 0x2000, 0x2000, "正在读:1FFF/1FFF", 100},  // P = T
        {PE_WRITE_PROGRESS, 1, 1, "正在写:0000/0000", 100},           // T = 1
        {PE_WRITE_PROGRESS, 32, 17, "正在写:001F/0010", 100},         // 200 by the formula
        {PE_WRITE_PROGRESS, 3, 0, "正在写:0002/FFFFFFFF", 0},         // nothing to write
    };
    EXPECT_FALSE(view.progressShown);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        session->m_programmer.m_nPos = c.pos;
        session->m_programmer.m_nDataLen = c.len;
        session->OnProgrammerEvent(c.event);
        EXPECT_TRUE(view.progressShown);
        EXPECT_EQ(view.progressText, c.text);
        EXPECT_EQ(view.progressPosition, c.position);
    }
}

TEST_F(SessionTest, VerifyIsRefusedOnChipRow8ButNotInAutoComplete) {
    Begin();
    view.SelectChip(8);
    EXPECT_FALSE(session->OnVerify());
    EXPECT_TRUE(backend->calls.empty());
    view.SetAutoMark(SessionButton::Verify, true);
    session->Settings().bAutoDetect = 0;
    session->OnAutoComplete();
    Pump();
    EXPECT_THAT(backend->calls, ElementsAre("ready", "read"));
}

TEST_F(SessionTest, VerifyReadsTheWholeRomBeforeAnyWriteAndTheWrittenLengthAfter) {
    Begin();
    session->OnVerify();
    Pump();
    session->OpenFile(dir.Write("a.bin", "\x11\x22"));
    session->OnWrite();
    Pump();
    session->OnVerify();
    Pump();
    EXPECT_THAT(backend->readWrittenLength, ElementsAre(false, true));
    EXPECT_EQ(view.prompts.back(), "success");
}

TEST_F(SessionTest, WriteProgramsTheEditedBuffer1View) {
    Begin();
    session->OpenFile(dir.Write("a.bin", "\x11\x22"));
    ASSERT_EQ(view.view1.size(), size_t(kImageBufferSize));
    view.view1[1] = 0x33;  // an edit in the hex view
    session->OnWrite();
    Pump();
    EXPECT_EQ(backend->flash[0], 0x11);
    EXPECT_EQ(backend->flash[1], 0x33);
    EXPECT_EQ(backend->flash[2], 0xFF);
}

TEST_F(SessionTest, ReadShowsBuffer2AndSaveWritesItsTrimmedContents) {
    Begin();
    backend->flash[0] = 0x01;
    backend->flash[0x100] = 0x02;
    session->OnRead();
    Pump();
    EXPECT_THAT(backend->readWrittenLength, ElementsAre(false));
    ASSERT_EQ(view.view2.size(), 0x10000u);
    EXPECT_EQ(view.view2[0x100], 0x02);
    view.view2[0x101] = 0x03;  // edits in the view are saved
    const std::string out = dir.File("out.bin");
    ASSERT_TRUE(session->SaveFile(out));
    EXPECT_EQ(dir.Read("out.bin").size(), 0x102u);
    EXPECT_EQ(view.log.back(), "缓冲2保存到文件 " + out + "(258字节).");
    EXPECT_FALSE(session->SaveFile(dir.File("no/such/folder/out.bin")));
    EXPECT_THAT(view.log.back(), HasSubstr("no/such/folder/out.bin"));
}

TEST_F(SessionTest, LockBitsUseTheSelectedModeAndLeaveTheStepsAlone) {
    Begin();
    ForgetStartUp();
    view.lockBit = 2;
    ASSERT_TRUE(session->OnWriteLockBits());
    Pump();
    EXPECT_THAT(backend->calls, ElementsAre("lock 3"));
    EXPECT_THAT(view.log, ElementsAre("编程器:写锁定位完成."));
    EXPECT_THAT(view.prompts, ElementsAre("success"));
}

TEST_F(SessionTest, StartUsesTheStoredChipAndAFailedParallelStartSignalsFailure) {
    BackendFactory factory;
    factory.createParallel = [](CProgrammer& programmer, int type, int speed) {
        EXPECT_EQ(type, 3);
        EXPECT_EQ(speed, 2);
        programmer.PostEvent(PE_PARALLEL_INIT_FAILED);
        return BackendStart{nullptr, 0};
    };
    session = std::make_unique<CProgrammingSession>(view, factory);
    session->Settings().nProgrammerType = 3;
    session->Settings().nSpeedIndex = 2;
    session->Settings().nChipIndex = 1;
    session->Start(&queue);
    Pump();
    EXPECT_THAT(view.log, ElementsAre("初始化并口失败."));
    EXPECT_THAT(view.prompts, ElementsAre("failure"));
    EXPECT_EQ(view.view1.size(), 0x10000u);
    EXPECT_EQ(view.ChipSelection(), 1);
}

}  // namespace
