#include "platform/FileUtil.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace platform {

namespace {

// Links followed before giving up with ELOOP, as the kernel does for a path.
constexpr int kMaxLinks = 40;

// The file a write must change: the path with every symlink in its last component followed.
struct Target {
    std::string path;
    bool exists = false;
    struct stat st {};
};

bool WriteAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = EIO;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Closes fd; a close failure fails an operation that had succeeded. errno keeps the first cause.
bool CloseAfter(int fd, bool ok) {
    const int err = errno;
    if (::close(fd) != 0 && ok) return false;
    errno = err;
    return ok;
}

// Sets errno for a file that is not a regular one and returns false.
bool NotRegular(const struct stat& st) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EOPNOTSUPP;
    return false;
}

// The folder part of a path with its trailing '/', or "" for a bare name.
std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool Resolve(const std::string& path, Target& target) {
    target.path = path;
    for (int links = 0;; ++links) {
        if (::lstat(target.path.c_str(), &target.st) != 0) {
            target.exists = false;
            return errno == ENOENT;
        }
        target.exists = true;
        if (!S_ISLNK(target.st.st_mode)) return true;
        if (links == kMaxLinks) {
            errno = ELOOP;
            return false;
        }
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(target.path.c_str(), link.data(), link.size());
        if (n < 0) return false;
        if (static_cast<size_t>(n) == link.size()) {
            errno = ENAMETOOLONG;
            return false;
        }
        link.resize(static_cast<size_t>(n));
        target.path = link.front() == '/' ? link : FolderOf(target.path) + link;
    }
}

// A new file beside path, named so that it cannot collide with another writer's; created with
// the usual mode so that the umask applies to a file that did not exist before.
int CreateTemp(const std::string& path, std::string& temp) {
    static std::atomic<unsigned> s_counter{0};
    for (;;) {
        temp = path + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(s_counter++);
        const int fd =
            ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
}

// The replacement takes the old file's owner where the caller may give it away (root, the owner
// itself) and its permission bits.
bool TakeOwnerAndMode(int fd, const struct stat& old) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM) return false;
    return ::fchmod(fd, old.st_mode & 07777) == 0;
}

bool ReplaceAtomically(const Target& target, std::string_view bytes) {
    if (target.exists && ::faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0)
        return false;
    std::string temp;
    const int fd = CreateTemp(target.path, temp);
    if (fd < 0) return false;
    bool ok = (!target.exists || TakeOwnerAndMode(fd, target.st)) && WriteAll(fd, bytes) &&
              ::fsync(fd) == 0;
    ok = CloseAfter(fd, ok) && ::rename(temp.c_str(), target.path.c_str()) == 0;
    if (!ok) {
        const int err = errno;
        ::unlink(temp.c_str());
        errno = err;
    }
    return ok;
}

// A device, FIFO or socket takes the bytes as they are: it is neither created, truncated nor
// replaced. The open does not wait for a FIFO's reader; the writes then block as usual.
bool WriteThrough(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const int flags = ::fcntl(fd, F_GETFL);
    const bool ok =
        flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 && WriteAll(fd, bytes);
    return CloseAfter(fd, ok);
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& out) {
    out.clear();
    struct stat st {};
    // Checked before the open as well as after it, so that a device is never even opened.
    if (::stat(path.c_str(), &st) != 0) return false;
    if (!S_ISREG(st.st_mode)) return NotRegular(st);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || NotRegular(st));
    char chunk[65536];
    while (ok) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        ok = n >= 0;
        if (n <= 0) break;
        out.append(chunk, static_cast<size_t>(n));
    }
    ok = CloseAfter(fd, ok);
    if (!ok) out.clear();
    return ok;
}

bool WriteFileSafely(const std::string& path, std::string_view bytes) {
    if (path == "-") return WriteAll(STDOUT_FILENO, bytes);
    Target target;
    if (path.empty()) errno = ENOENT;
    if (path.empty() || !Resolve(path, target)) return false;
    if (!target.exists || S_ISREG(target.st.st_mode)) return ReplaceAtomically(target, bytes);
    if (S_ISDIR(target.st.st_mode)) return NotRegular(target.st);
    return WriteThrough(target.path, bytes);
}

bool CanWriteSafely(const std::string& path) {
    if (path == "-") return true;
    Target target;
    if (path.empty() || !Resolve(path, target)) return false;
    const auto writable = [](const std::string& p, int mode) {
        return ::faccessat(AT_FDCWD, p.c_str(), mode, AT_EACCESS) == 0;
    };
    if (target.exists && S_ISDIR(target.st.st_mode)) return false;
    if (target.exists && !S_ISREG(target.st.st_mode)) return writable(target.path, W_OK);
    const std::string folder = FolderOf(target.path);
    return writable(folder.empty() ? "." : folder, W_OK | X_OK) &&
           (!target.exists || writable(target.path, W_OK));
}

}  // namespace platform
