#include "platform/MessageBox.h"

#include <cstdio>
#include <memory>
#include <mutex>

namespace platform {

namespace {

std::mutex g_handlerMutex;
std::shared_ptr<const MessageBoxHandler> g_handler;

void PrintToStderr(const std::string& text, const std::string& caption, MessageIcon) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

}  // namespace

void SetMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard lock(g_handlerMutex);
    g_handler = handler ? std::make_shared<const MessageBoxHandler>(std::move(handler)) : nullptr;
}

void ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
    std::shared_ptr<const MessageBoxHandler> handler;
    {
        std::lock_guard lock(g_handlerMutex);
        handler = g_handler;
    }
    if (handler) {
        (*handler)(text, caption, icon);
    } else {
        PrintToStderr(text, caption, icon);
    }
}

}  // namespace platform
