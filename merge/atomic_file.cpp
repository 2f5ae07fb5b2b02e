#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace tonefold {
namespace {

std::string SystemReason() { return std::strerror(errno); }

// A replaced file keeps its permissions; a new one gets 0666 less the umask, as an ordinary
// create would. (Reading the umask sets it for a moment: call from one thread only.)
mode_t ModeFor(const std::string &target) {
    struct stat existing {};
    if (stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        return existing.st_mode & 07777;
    }
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

AtomicFile::~AtomicFile() { Discard(); }

bool AtomicFile::Open(const std::string &target, std::string *reason) {
    Discard();
    target_ = target;
    std::vector<char> pattern(target.begin(), target.end());
    const char suffix[] = ".tmp-XXXXXX";
    pattern.insert(pattern.end(), suffix, suffix + sizeof suffix);  // with the terminator
    fd_ = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) {
        *reason = SystemReason();
        return false;
    }
    temporary_ = pattern.data();
    return true;
}

bool AtomicFile::Write(const uint8_t *data, size_t size, std::string *reason) {
    if (fd_ < 0) {
        *reason = "file is not open";
        return false;
    }
    while (size > 0) {
        const ssize_t written = write(fd_, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) {
            *reason = SystemReason();
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool AtomicFile::Commit(std::string *reason) {
    if (fd_ < 0) {
        *reason = "file is not open";
        return false;
    }
    if (fchmod(fd_, ModeFor(target_)) != 0 || fsync(fd_) != 0) {
        *reason = SystemReason();
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) {
        *reason = SystemReason();
        unlink(temporary_.c_str());
        temporary_.clear();
        return false;
    }
    if (rename(temporary_.c_str(), target_.c_str()) != 0) {
        *reason = SystemReason();
        unlink(temporary_.c_str());
        temporary_.clear();
        return false;
    }
    temporary_.clear();
    return true;
}

void AtomicFile::Discard() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) unlink(temporary_.c_str());
    temporary_.clear();
}

}  // namespace tonefold
