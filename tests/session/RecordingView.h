#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/CEventQueue.h"
#include "session/ISessionView.h"

// A session view that records what the session shows: the log as a list of lines, the
// progress bar, the prompts and the end of each sequence. Its hex views hold copies of what they
// were given, like the window's, so edits can be made in them. The chip combo box is the event
// queue's list.
class RecordingView : public ISessionView {
public:
    explicit RecordingView(CEventQueue& queue) : queue(queue) {}

    void AddLogLine(int index, const std::string& text) override {
        log.insert(log.begin() + std::min<long>(index, long(log.size())), text);
        selectedLine = index;
    }
    void InsertVerifyLine(int index, const std::string& text) override {
        log.insert(log.begin() + std::min<long>(index, long(log.size())), text);
    }
    void ClearLog() override {
        log.clear();
        ++clears;
    }

    void ShowProgress() override { progressShown = true; }
    void SetProgress(int position, const std::string& text) override {
        progressPosition = position;
        progressText = text;
    }

    void ShowBuffer1(const std::uint8_t* data, int length) override {
        view1.assign(data, data + length);
    }
    void ShowBuffer2(const std::uint8_t* data, int length) override {
        view2.assign(data, data + length);
    }
    int CopyBuffer1View(std::uint8_t* dest, int maxLength) override {
        return Copy(view1, dest, maxLength);
    }
    int CopyBuffer2View(std::uint8_t* dest, int maxLength) override {
        return Copy(view2, dest, maxLength);
    }

    void EnableButtons(bool enable) override { buttonsEnabled = enable; }
    void ShowBusyIcon(SessionButton button) override { busy.push_back(button); }

    bool AutoMark(SessionButton button) const override {
        return std::find(marks.begin(), marks.end(), button) != marks.end();
    }
    void SetAutoMark(SessionButton button, bool marked) override {
        std::erase(marks, button);
        if (marked) marks.push_back(button);
    }

    int ChipSelection() const override { return queue.SelectedItem(); }
    void SelectChip(int index) override { queue.SelectChipItem(index); }
    int LockBitSelection() const override { return lockBit; }

    void SignalSuccess() override { prompts.push_back("success"); }
    void SignalFailure() override { prompts.push_back("failure"); }
    void SequenceEnded(bool ok) override { ends.push_back(ok); }

    CEventQueue& queue;
    std::vector<std::string> log;
    int selectedLine = -1;
    int clears = 0;
    bool progressShown = false;
    int progressPosition = -1;
    std::string progressText;
    std::vector<std::uint8_t> view1;
    std::vector<std::uint8_t> view2;
    bool buttonsEnabled = true;
    std::vector<SessionButton> busy;
    std::vector<SessionButton> marks;
    int lockBit = 0;
    std::vector<std::string> prompts;
    std::vector<bool> ends;

private:
    static int Copy(const std::vector<std::uint8_t>& view, std::uint8_t* dest, int maxLength) {
        const int count = std::min(int(view.size()), maxLength);
        std::memcpy(dest, view.data(), size_t(count));
        return count;
    }
};
