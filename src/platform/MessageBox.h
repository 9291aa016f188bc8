#pragma once

#include <functional>
#include <string>

// Modal message boxes, shown by whichever front end is running. The GUI installs a handler that
// shows a dialog and returns when it is closed; the CLI prints to stderr; tests record the calls.
namespace platform {

enum class MessageIcon { Information, Warning, Error };

using MessageBoxHandler =
    std::function<void(const std::string& text, const std::string& caption, MessageIcon icon)>;

// Installs the handler (an empty function restores the default, which prints to stderr).
void SetMessageBoxHandler(MessageBoxHandler handler);

// Shows the box through the installed handler and returns when it has been dismissed. Texts are
// UTF-8. Callable from any thread.
void ShowMessageBox(const std::string& text, const std::string& caption = "Olstrin",
                    MessageIcon icon = MessageIcon::Warning);

}  // namespace platform
