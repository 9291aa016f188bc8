#include "platform/FailureReason.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

namespace platform {

namespace {

std::mutex g_sinkMutex;
std::shared_ptr<const FailureReasonSink> g_sink;

}  // namespace

void SetFailureReasonSink(FailureReasonSink sink) {
    std::lock_guard lock(g_sinkMutex);
    g_sink = sink ? std::make_shared<const FailureReasonSink>(std::move(sink)) : nullptr;
}

void ReportFailureReason(const std::string& reason) {
    std::shared_ptr<const FailureReasonSink> sink;
    {
        std::lock_guard lock(g_sinkMutex);
        sink = g_sink;
    }
    if (sink) {
        (*sink)(reason);
    } else {
        std::fprintf(stderr, "%s\n", reason.c_str());
    }
}

std::string ErrnoReason(const std::string& subject, int err, const std::string& hint) {
    std::string text = subject + ": " + std::strerror(err);
    if (!hint.empty()) {
        text += " (" + hint + ")";
    }
    return text;
}

}  // namespace platform
