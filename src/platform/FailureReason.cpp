#include "platform/FailureReason.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

namespace platform {

namespace {

std::mutex g_sinkMutex;
std::shared_ptr<const FailureReasonSink> g_sink;

// What a user can do about a device that failed to open: the usual causes of the usual errors.
std::string DeviceHint(const std::string& path, int err) {
    if (err == ENOENT) return "no such device: check that it is plugged in and its driver loaded";
    if (err == EBUSY) return "another program holds it";
    if (err != EACCES && err != EPERM) return {};
    struct stat info {};
    struct group entry {};
    struct group* found = nullptr;
    char names[1024];
    if (::stat(path.c_str(), &info) == 0 &&
        ::getgrgid_r(info.st_gid, &entry, names, sizeof names, &found) == 0 && found) {
        return std::string("add yourself to the ") + found->gr_name + " group, which may use it";
    }
    return "you may not use it";
}

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
    const std::string advice =
        hint.empty() && subject.rfind("/dev/", 0) == 0 ? DeviceHint(subject, err) : hint;
    if (!advice.empty()) text += " (" + advice + ")";
    return text;
}

}  // namespace platform
