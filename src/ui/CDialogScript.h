#pragma once

#include <QString>
#include <functional>
#include <optional>

// Answers the window's modal dialogs without showing them, for tests: a scripted file name is
// returned by the next file dialog instead of running it, and while a recorder is installed
// message boxes are handed to it instead of being shown. Nothing is scripted in normal use.
// UI thread only.
class CDialogScript {
public:
    using MessageRecorder = std::function<void(const QString& text, const QString& caption)>;

    // The next file dialog returns path at once (an empty path stands for Cancel).
    static void SetNextFileName(const QString& path);
    // The scripted answer, once; nothing when none is scripted.
    static std::optional<QString> TakeNextFileName();

    // Installs (or, with an empty function, removes) the message box recorder.
    static void SetMessageRecorder(MessageRecorder recorder);
    static const MessageRecorder& Recorder();
};
