#include "session/CProgrammingSession.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "image/ImageFile.h"
#include "image/VerifyListing.h"
#include "isp/IspSelection.h"
#include "platform/FailureReason.h"
#include "platform/MessageBox.h"
#include "platform/Translate.h"
#include "sim/SimSettings.h"

namespace {

// The chip row on which the Verify command is not taken.
constexpr int kVerifyBlockedChip = 8;

using platform::Printf;
using platform::Tr;

// The progress bar position for position p of a length t transfer: p * 100 / (t - 1), truncated,
// kept within 0..100. A one-byte transfer (t = 1) has nothing to divide by and shows 100.
int ProgressPercent(int p, int t) {
    if (t == 1) return 100;
    const long long percent = static_cast<long long>(p) * 100 / (t - 1);
    return static_cast<int>(std::clamp(percent, 0LL, 100LL));
}

// What the session does with an event: log its line and stop there, go on with the chain, end the
// chain as failed, or hand the event to OnEventWithData, which reads the data it announces.
enum class EventOutcome { LogOnly, Next, Fail, More };

struct EventRow {
    int code;
    const char* text;  // the log line written first; null when the handler makes its own
    EventOutcome outcome;
    bool prompt;  // Next and Fail: whether the end of the chain is signalled to the user
};

constexpr EventRow kEventRows[] = {
    {PE_SERIAL_INIT_FAILED, N_("初始化串口通讯失败."), EventOutcome::Fail, true},
    {PE_PARALLEL_INIT_FAILED, N_("初始化并口失败."), EventOutcome::Fail, true},
    {PE_SERIAL_INIT_DONE, N_("初始化串口通讯完成."), EventOutcome::More, false},
    {PE_SERIAL_NOT_INITIALIZED, N_("未初始化串口."), EventOutcome::Fail, true},
    {PE_PARALLEL_INIT_DONE, N_("初始化并口完成."), EventOutcome::More, false},
    {PE_READY, N_("编程器:就绪."), EventOutcome::Next, false},
    {PE_UNAVAILABLE, N_("编程器:不可用."), EventOutcome::Fail, true},
    {PE_RECEIVE_ERROR, N_("接收数据时发生错误."), EventOutcome::Fail, true},
    {PE_SIGNATURE_READ, N_("编程器:检测到特征字."), EventOutcome::Next, true},
    {PE_ERASE_DONE, N_("编程器:擦除器件完成."), EventOutcome::Next, true},
    {PE_WRITE_STARTED, N_("编程器:写器件开始."), EventOutcome::More, false},
    {PE_WRITE_PROGRESS, nullptr, EventOutcome::More, false},
    {PE_WRITE_DONE, N_("编程器:写器件完成."), EventOutcome::More, false},
    {PE_WRITE_ERROR, N_("编程器:写器件时发生错误."), EventOutcome::More, false},
    {PE_READ_STARTED, N_("编程器:读器件开始."), EventOutcome::LogOnly, false},
    {PE_READ_PROGRESS, nullptr, EventOutcome::More, false},
    {PE_READ_DONE, N_("编程器:读器件完成."), EventOutcome::More, false},
    {PE_LOCK_DONE, N_("编程器:写锁定位完成."), EventOutcome::Next, true},
    {PE_INVALID_OPERATION, N_("编程器:无效的操作."), EventOutcome::Fail, true},
    {PE_DEVICE_DETECTED, nullptr, EventOutcome::More, false},
    {PE_DEVICE_NOT_DETECTED, nullptr, EventOutcome::More, false},
    {PE_LOCK_ERROR, N_("编程器:写锁定位时发生错误."), EventOutcome::More, false},
    {PE_READ_LOCKED, N_("编程器:器件已加密,无法读出."), EventOutcome::Fail, true},
    {PE_NO_CHIP_ANSWER, N_("编程器:器件没有响应编程使能."), EventOutcome::Fail, true},
    // A notice: the read goes on byte by byte.
    {PE_PAGE_READ_OFF, N_("器件不支持页读取,改用逐字节读取."), EventOutcome::LogOnly, false},
};

// The row of an event code; null for a code no backend posts.
const EventRow* FindEventRow(int code) {
    const auto* row = std::find_if(std::begin(kEventRows), std::end(kEventRows),
                                   [code](const EventRow& r) { return r.code == code; });
    return row == std::end(kEventRows) ? nullptr : row;
}

}  // namespace

CProgrammingSession::CProgrammingSession(ISessionView& view, BackendFactory factory)
    : m_programmer(std::move(factory)), m_view(view), m_settings(InitialSettings()) {}

bool CProgrammingSession::LoadSettings(const std::string& path) {
    m_settings = InitialSettings();
    const bool found = ReadSettingsRecord(path, m_settings);
    m_view.SetAutoMark(SessionButton::Open, m_settings.bMarkOpen != 0);
    m_view.SetAutoMark(SessionButton::Erase, m_settings.bMarkErase != 0);
    m_view.SetAutoMark(SessionButton::Write, m_settings.bMarkWrite != 0);
    m_view.SetAutoMark(SessionButton::Read, m_settings.bMarkRead != 0);
    m_view.SetAutoMark(SessionButton::Verify, m_settings.bMarkVerify != 0);
    return found;
}

bool CProgrammingSession::SaveSettings(const std::string& path) {
    SettingsRecord record = m_settings;
    record.bMarkOpen = m_view.AutoMark(SessionButton::Open) ? 1 : 0;
    record.bMarkErase = m_view.AutoMark(SessionButton::Erase) ? 1 : 0;
    record.bMarkWrite = m_view.AutoMark(SessionButton::Write) ? 1 : 0;
    record.bMarkRead = m_view.AutoMark(SessionButton::Read) ? 1 : 0;
    record.bMarkVerify = m_view.AutoMark(SessionButton::Verify) ? 1 : 0;
    record.nChipIndex = m_view.ChipSelection();
    return WriteSettingsRecord(path, record);
}

void CProgrammingSession::Start(IProgrammerOwner* owner) {
    m_view.ShowBuffer1(m_programmer.m_pBuffer1.get(), kChipSpaceSize);
    m_view.ShowBuffer2(m_programmer.m_pBuffer2.get(), kChipSpaceSize);
    m_programmer.m_nComPort = m_settings.nComPort;
    m_programmer.m_nBaudIndex = m_settings.nBaudIndex;
    m_programmer.Init(owner, m_settings.nProgrammerType, m_settings.nSpeedIndex);
    // A front end that read the list before starting (the command line checks --chip) is not
    // made to read the file again.
    if (m_programmer.GetChipCount() == 0) {
        m_programmer.LoadChipList();
    } else {
        m_programmer.ShowChipList();
    }
    m_view.SelectChip(m_settings.nChipIndex);
}

void CProgrammingSession::AddLog(const std::string& text) {
    m_view.AddLogLine(m_nLogLines, text);
    ++m_nLogLines;
}

void CProgrammingSession::EnableButtons(bool enable) {
    if (enable) {
        m_bStepCheckReady = m_bStepLoadFile = m_bStepDetect = m_bStepErase = false;
        m_bStepWrite = m_bStepRead = m_bStepVerify = false;
    }
    m_bButtonsEnabled = enable;
    m_view.EnableButtons(enable);
}

bool CProgrammingSession::RunSingleStep(bool& stepFlag) {
    if (!m_bButtonsEnabled) return false;
    EnableButtons(true);
    stepFlag = true;
    RunNextStep(true, true);
    return true;
}

bool CProgrammingSession::OnDetect() {
    return RunSingleStep(m_bStepDetect);
}
bool CProgrammingSession::OnErase() {
    return RunSingleStep(m_bStepErase);
}
bool CProgrammingSession::OnWrite() {
    return RunSingleStep(m_bStepWrite);
}
bool CProgrammingSession::OnRead() {
    return RunSingleStep(m_bStepRead);
}

bool CProgrammingSession::OnVerify() {
    if (m_bButtonsEnabled && m_view.ChipSelection() == kVerifyBlockedChip) return false;
    return RunSingleStep(m_bStepVerify);
}

bool CProgrammingSession::OnAutoComplete() {
    if (!m_bButtonsEnabled) return false;
    EnableButtons(true);
    m_view.ClearLog();
    m_nLogLines = 0;
    m_bStepLoadFile = m_view.AutoMark(SessionButton::Open);
    m_bStepCheckReady = true;
    m_bStepDetect = m_settings.bAutoDetect != 0;
    m_bStepErase = m_view.AutoMark(SessionButton::Erase);
    m_bStepWrite = m_view.AutoMark(SessionButton::Write);
    m_bStepVerify = m_view.AutoMark(SessionButton::Verify);
    RunNextStep(true, true);
    return true;
}

bool CProgrammingSession::OnWriteLockBits() {
    if (!m_bButtonsEnabled) return false;
    m_programmer.WriteLockBits(m_view.ChipSelection(), m_view.LockBitSelection() + 1);
    return true;
}

void CProgrammingSession::SetImageFile(const std::string& path) {
    m_strFilePath = path;
    m_strFileExt = image::UpperExtension(path);
}

bool CProgrammingSession::OpenFile(const std::string& path) {
    SetImageFile(path);
    return LoadBuffer1();
}

int CProgrammingSession::SelectedRomBytes() {
    const ChipInfo* chip = m_programmer.GetSelectedChip();
    return chip ? chiplist::RomBytes(*chip) : kChipSpaceSize;
}

bool CProgrammingSession::SaveFile(const std::string& path, image::SaveFormat format,
                                   bool wholeRom) {
    std::uint8_t* buffer2 = m_programmer.m_pBuffer2.get();
    m_view.CopyBuffer2View(buffer2, kImageBufferSize);
    const int trimmed = m_programmer.GetDataLength(buffer2, kChipSpaceSize);
    const int length = wholeRom ? std::min(SelectedRomBytes(), kChipSpaceSize) : trimmed;
    const image::SaveResult result = image::SaveImage(path, buffer2, length, format);
    if (result.status != image::SaveStatus::Saved) {
        // A file that could not be created or filled is reported, never taken for a saved one.
        AddLog(image::SaveFailedLine(path));
        return false;
    }
    AddLog(image::SavedLine(path, result.count));
    return true;
}

void CProgrammingSession::BeginBusyStep(SessionButton button) {
    EnableButtons(false);
    m_view.ShowBusyIcon(button);
}

void CProgrammingSession::RunNextStep(bool ok, bool prompt) {
    if (!ok) {
        if (prompt) m_view.SignalFailure();
        EnableButtons(true);
        m_view.SequenceEnded(false);
        return;
    }
    const int chip = m_view.ChipSelection();
    if (m_bStepLoadFile) {
        m_bStepLoadFile = false;
        LoadBuffer1();
    } else if (m_bStepCheckReady) {
        m_programmer.CheckReady(chip);
        m_bStepCheckReady = false;
    } else if (m_bStepDetect) {
        m_programmer.DetectChip(chip);
        m_bStepDetect = false;
    } else if (m_bStepErase) {
        if (m_bStepWrite && !ImageFitsChip(chip)) return;
        BeginBusyStep(SessionButton::Erase);
        m_programmer.EraseChip(chip);
        m_bStepErase = false;
    } else if (m_bStepWrite) {
        if (!ImageFitsChip(chip)) return;
        EnableButtons(false);
        // Edits made in the Buffer 1 view are what gets written.
        m_view.CopyBuffer1View(m_programmer.m_pBuffer1.get(), kChipSpaceSize);
        m_view.ShowBusyIcon(SessionButton::Write);
        m_programmer.WriteChip(chip);
        m_bStepWrite = false;
    } else if (m_bStepRead) {
        BeginBusyStep(SessionButton::Read);
        m_bVerifyAfterRead = false;
        m_programmer.m_bReadWrittenLength = 0;
        m_programmer.ReadChip(chip);
        m_bStepRead = false;
    } else if (m_bStepVerify) {
        BeginBusyStep(SessionButton::Verify);
        m_bVerifyAfterRead = true;
        // After a write only the written length is read back.
        m_programmer.m_bReadWrittenLength = m_nWritesDone != 0 ? 1 : 0;
        m_programmer.ReadChip(chip);
        m_bStepVerify = false;
    } else {
        EnableButtons(true);
        if (prompt) m_view.SignalSuccess();
        m_view.SequenceEnded(true);
    }
}

bool CProgrammingSession::ImageFitsChip(int chip) {
    std::uint8_t* buffer1 = m_programmer.m_pBuffer1.get();
    m_view.CopyBuffer1View(buffer1, kChipSpaceSize);
    // Only the bytes the last load (or the view) placed count: older ones past them are stale.
    int end = m_nImageSpan;
    while (end > 0 && buffer1[end - 1] == 0xFF) --end;
    const int rom = chip >= 0 && chip < m_programmer.GetChipCount()
                        ? chiplist::RomBytes(m_programmer.GetChip(chip))
                        : kChipSpaceSize;
    if (end == 0 && m_nImageLength <= 0) {
        // With no image loaded (or an empty file) and nothing typed into the view, erasing and
        // then writing nothing would report a success nobody asked for. A loaded image of only
        // 0xFF is real: the chip is erased and nothing is written.
        AddLog(image::LoadFailureText(image::LoadStatus::NoFileChosen));
    } else if (end > rom) {
        AddLog(Printf(Tr("数据长度%d字节超出器件ROM容量%d字节."), end, rom));
    } else {
        return true;
    }
    RunNextStep(false, true);
    return false;
}

bool CProgrammingSession::LoadBuffer1() {
    std::uint8_t* buffer1 = m_programmer.m_pBuffer1.get();
    const image::LoadResult result =
        image::LoadImage(m_strFilePath, m_strFileExt, buffer1, m_bReadStreams);
    // A refused HEX text says why in a message box before anything is logged.
    if (const char* reason = image::HexErrorText(result.hexError)) {
        platform::ShowMessageBox(Tr(reason));
    }
    if (result.span > 0) m_nImageSpan = result.span;
    m_nImageLength = result.status == image::LoadStatus::Loaded ? result.length : -1;
    if (result.status == image::LoadStatus::Loaded) {
        m_view.ShowBuffer1(buffer1, kImageBufferSize);
        AddLog(image::LoadedLine(m_strFilePath, result.length));
        RunNextStep(true, false);
        return true;
    }
    // A refused HEX text may have left Buffer 1 changed; the view keeps showing what it holds.
    if (result.status == image::LoadStatus::ConvertFailed) {
        m_view.ShowBuffer1(buffer1, kImageBufferSize);
    }
    AddLog(image::LoadFailureText(result.status));
    if (result.failedLine > 0) AddLog(Printf(Tr("HEX文件第%d行有错误."), result.failedLine));
    RunNextStep(false, true);
    return false;
}

bool CProgrammingSession::VerifyBuffers() {
    const image::VerifyListing listing =
        image::CompareBuffers(m_programmer.m_pBuffer1.get(), m_programmer.m_pBuffer2.get());
    AddLog(listing.header);
    for (const std::string& line : listing.lines) {
        m_view.InsertVerifyLine(m_nLogLines, line);
        ++m_nLogLines;
    }
    AddLog(listing.countLine);
    AddLog(listing.footer);
    m_bVerifyAfterRead = false;
    return listing.equal;
}

void CProgrammingSession::ShowProgress(const char* format) {
    m_view.ShowProgress();
    const unsigned pos = static_cast<unsigned>(m_programmer.m_nPos.load()) - 1U;
    const unsigned len = static_cast<unsigned>(m_programmer.m_nDataLen.load()) - 1U;
    const std::string text = Printf(format, pos, len);
    // The workers may have moved on since the text was made; the bar takes the newest values.
    m_view.SetProgress(ProgressPercent(m_programmer.m_nPos, m_programmer.m_nDataLen), text);
}

void CProgrammingSession::LogLinkAndSimulatedTarget() {
    // The link that clocks the instructions, then the simulated chip behind it, if any.
    for (const std::string& text : {IspLinkText(), SimulatedChipText()}) {
        if (!text.empty()) AddLog(text);
    }
}

void CProgrammingSession::ReportWriteFailure() {
    // The serial box only says that it refused a block.
    if (m_programmer.m_nProgrammerType == 0) return;
    const int address = m_programmer.m_nPos;
    if (address < 0 || address >= kChipSpaceSize) return;
    const unsigned wrote = m_programmer.m_pBuffer1[address];
    const unsigned read = m_programmer.m_pBuffer2[address];
    std::string reason = Printf(
        Tr("write failed at address 0x%04X: wrote 0x%02X, read back 0x%02X"), address, wrote, read);
    // Programming only clears bits: a 0 where the image has a 1 was there before the write.
    if ((wrote & ~read) != 0) reason += Tr(" (the chip is not blank: erase first)");
    platform::ReportFailureReason(reason);
}

void CProgrammingSession::ReportLockFailure() {
    const int level = m_view.LockBitSelection() + 1;
    std::string reason = Printf(Tr("the chip did not confirm lock mode %d"), level);
    // A chip locked higher reads back its own level; only an erase lowers it.
    if (level < 3) reason += Tr(" (lock bits only go up: erase to clear them)");
    platform::ReportFailureReason(reason);
}

void CProgrammingSession::ShowDetection(bool detected) {
    const std::string signature =
        Printf(Tr("(特征字:%02x %02x %02x)."), m_programmer.m_Signature[0].load(),
               m_programmer.m_Signature[1].load(), m_programmer.m_Signature[2].load());
    AddLog((detected ? Tr("编程器:检测到器件") : Tr("编程器:没检测到器件")) + signature);
    if (!detected) return;
    const ChipInfo* chip = m_programmer.GetSelectedChip();
    if (!chip) return;
    AddLog(chiplist::NameOf(*chip) + Printf(Tr(" - ROM容量:%dK字节."), chip->nRomKB) +
           Printf(Tr(" 编程电压:%.2fV."), static_cast<double>(chip->fVoltage)));
}

void CProgrammingSession::OnProgrammerEvent(int code) {
    const EventRow* row = FindEventRow(code);
    if (!row) {
        RunNextStep(false, true);
        return;
    }
    if (row->text) AddLog(Tr(row->text));
    switch (row->outcome) {
        case EventOutcome::LogOnly:
            break;
        case EventOutcome::Next:
            RunNextStep(true, row->prompt);
            break;
        case EventOutcome::Fail:
            RunNextStep(false, row->prompt);
            break;
        case EventOutcome::More:
            OnEventWithData(code);
            break;
    }
}

void CProgrammingSession::OnEventWithData(int code) {
    switch (code) {
        case PE_SERIAL_INIT_DONE:
            LogLinkAndSimulatedTarget();
            m_programmer.CheckReady(m_view.ChipSelection());
            break;
        case PE_PARALLEL_INIT_DONE:
            LogLinkAndSimulatedTarget();
            break;
        case PE_WRITE_STARTED:
            AddLog(Printf(Tr("写入%d字节..."), m_programmer.GetDataLength(
                                                   m_programmer.m_pBuffer1.get(), kChipSpaceSize)));
            break;
        case PE_WRITE_PROGRESS:
            ShowProgress(Tr("正在写:%04X/%04X"));
            break;
        case PE_WRITE_DONE:
            m_view.SetProgress(100, Tr("写器件完成"));
            ++m_nWritesDone;
            // The serial box announces its readiness after a write; the read-back of a pending
            // verify starts on that PE_READY instead.
            if (!(m_programmer.m_nProgrammerType == 0 && m_bStepVerify)) RunNextStep(true, true);
            break;
        case PE_WRITE_ERROR:
            ReportWriteFailure();
            RunNextStep(false, true);
            break;
        case PE_READ_PROGRESS:
            ShowProgress(Tr("正在读:%04X/%04X"));
            break;
        case PE_READ_DONE: {
            m_view.SetProgress(100, Tr("读器件完成"));
            m_view.ShowBuffer2(m_programmer.m_pBuffer2.get(), kChipSpaceSize);
            AddLog(Tr("数据已经保存到缓冲2."));
            const bool ok = m_bVerifyAfterRead ? VerifyBuffers() : true;
            RunNextStep(ok, true);
            break;
        }
        case PE_DEVICE_DETECTED:
            ShowDetection(true);
            RunNextStep(true, true);
            break;
        case PE_DEVICE_NOT_DETECTED:
            ShowDetection(false);
            RunNextStep(false, true);
            break;
        case PE_LOCK_ERROR:
            ReportLockFailure();
            RunNextStep(false, true);
            break;
        default:
            break;
    }
}
