#pragma once

#include <string>

#include "core/CProgrammer.h"
#include "image/ImageFile.h"
#include "session/ISessionView.h"
#include "session/SettingsRecord.h"

// The main window's logic without widgets: it owns the programmer, turns commands into pending
// steps, runs them one at a time (auto-complete is such a chain), reacts to every programmer
// event, and loads, saves and verifies the image buffers, showing all of it through its view.
// Everything here runs on one thread, the owner's (the UI thread or the command line's loop),
// which also delivers the programmer's events to OnProgrammerEvent in posting order.
class CProgrammingSession {
public:
    // The view must outlive the session. The factory creates the backends (DefaultBackends()).
    explicit CProgrammingSession(ISessionView& view, BackendFactory factory = {});
    CProgrammingSession(const CProgrammingSession&) = delete;
    CProgrammingSession& operator=(const CProgrammingSession&) = delete;

    // Working settings: read by Start and the commands; the window's settings page edits them.
    SettingsRecord& Settings() { return m_settings; }
    const SettingsRecord& Settings() const { return m_settings; }

    // Reads the stored record into the working values and the view's auto-complete marks; the
    // chip index is selected by Start. True when a record was found; otherwise the initial values
    // (InitialSettings) are in force, marks included.
    bool LoadSettings(const std::string& path = SettingsPath());
    // Stores the working values, the view's marks and its chip selection. False when the file
    // cannot be written.
    bool SaveSettings(const std::string& path = SettingsPath());

    // Shows the two buffers in the views, initialises the programmer of the working type, port,
    // baud index and speed with owner as the receiver of its events, loads the chip list (unless
    // it is loaded already) into the owner and selects the working chip index. Once, after
    // LoadSettings. The owner must outlive the session.
    void Start(IProgrammerOwner* owner);

    // Status log: appends one line at m_nLogLines.
    void AddLog(const std::string& text);

    // Ready (true) or busy (false): busy stops every command until the sequence ends. Ready also
    // drops all pending steps.
    void EnableButtons(bool enable);
    bool ButtonsEnabled() const { return m_bButtonsEnabled; }

    // Commands of the window's buttons, the Enter key and the hotkey. Each returns false when it
    // was ignored (busy, or Verify while chip row 8 is selected) and true when it was taken.
    bool OnDetect();
    bool OnErase();
    bool OnWrite();
    bool OnRead();
    bool OnVerify();
    bool OnAutoComplete();
    bool OnWriteLockBits();

    // The image file chosen by the user: path and upper-case extension, without loading it.
    void SetImageFile(const std::string& path);
    // Chooses the file and loads it into Buffer 1 (the open command after its file dialog). The
    // caller checks ButtonsEnabled before asking for the file.
    bool OpenFile(const std::string& path);
    // Saves the Buffer 2 view's bytes, up to the last byte other than 0xFF within the chip's ROM
    // (the whole ROM with wholeRom), to path in the format given and logs the result (the save
    // command after its file dialog). False on failure.
    bool SaveFile(const std::string& path, image::SaveFormat format = image::SaveFormat::ByName,
                  bool wholeRom = false);
    // One past the last address of the selected chip's ROM (the chip space without a chip).
    int SelectedRomBytes();

    // Handles one programmer event (any code, including unknown ones above 20).
    void OnProgrammerEvent(int code);

    // The sequencer: ends the sequence on failure (with the failure prompt when prompt is set),
    // else starts the next pending step or, with none left, ends it (success prompt when prompt).
    void RunNextStep(bool ok, bool prompt);

    // Reads the current image file into Buffer 1, logs, and continues or fails the sequence.
    bool LoadBuffer1();
    // Lists every differing byte of the first 64 KiB of both buffers; true when they agree.
    bool VerifyBuffers();

    // Whether image files may be pipes, FIFOs or standard input, read to their end (the command
    // line); the window leaves it off so that its thread never waits on a stream.
    bool m_bReadStreams = false;
    // The length of the image the last load of this run placed in Buffer 1, -1 until a load
    // succeeded and after one failed: a failed load leaves no image anyone may report or trust.
    int m_nImageLength = -1;
    int m_nLogLines = 0;
    bool m_bVerifyAfterRead = false;
    int m_nWritesDone = 0;
    bool m_bStepCheckReady = false;
    bool m_bStepLoadFile = false;
    bool m_bStepDetect = false;
    bool m_bStepErase = false;
    bool m_bStepWrite = false;
    bool m_bStepRead = false;
    bool m_bStepVerify = false;
    std::string m_strFilePath;
    std::string m_strFileExt;
    CProgrammer m_programmer;

private:
    // Runs a single-step command: ready, then the one step flag, then the sequencer.
    bool RunSingleStep(bool& stepFlag);
    // Makes the buttons busy, shows the busy icon of the step's button.
    void BeginBusyStep(SessionButton button);
    // Progress bar text and position for a write or read progress event.
    void ShowProgress(const char* format);
    // The events that do more than log a line: they read the data an event announces from the
    // controller and decide how the chain goes on.
    void OnEventWithData(int code);
    void ShowDetection(bool detected);
    // Before a chain that writes changes the chip: fails it, with a log line, when the image
    // (the Buffer 1 view's edits included) holds nothing to write or has data beyond the ROM of
    // the chip row in use.
    bool ImageFitsChip(int chip);
    // How much of Buffer 1, from its start, holds current data: the last load's span (a HEX load
    // leaves older bytes past 64 KiB), the chip's 64 KiB of the view before any load.
    int m_nImageSpan = kChipSpaceSize;
    // After the port's init line: names the ISP link in use and says so when the target is a
    // simulated chip.
    void LogLinkAndSimulatedTarget();
    // The reasons for a refused write or lock, on the failure-reason channel beside the designed
    // log line: the address, the byte written and the byte read back; the lock mode asked for.
    void ReportWriteFailure();
    void ReportLockFailure();

    ISessionView& m_view;
    SettingsRecord m_settings;
    bool m_bButtonsEnabled = true;
};
