#include "atomic_file.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
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

// The temporary a signal must remove. The handler may only read what was fully stored
// before pendingSet was raised, so the path is written first and the flag last.
char pendingPath[PATH_MAX + 16];
volatile sig_atomic_t pendingSet = 0;

void RemovePendingAndReraise(int signal) {
    if (pendingSet) unlink(pendingPath);
    // The handler was reset to the default on entry (SA_RESETHAND): ending by the same
    // signal tells the parent how the program ended.
    raise(signal);
}

void SetPending(const std::string &path) {
    pendingSet = 0;
    if (path.size() >= sizeof pendingPath) return;
    std::memcpy(pendingPath, path.c_str(), path.size() + 1);
    pendingSet = 1;
}

// Blocks SIGINT and SIGTERM for its lifetime, so a temporary cannot exist unrecorded.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        sigaddset(&held, SIGINT);
        sigaddset(&held, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &held, &previous_);
    }
    ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    SignalsHeld(const SignalsHeld &) = delete;
    SignalsHeld &operator=(const SignalsHeld &) = delete;

private:
    sigset_t previous_;
};

}  // namespace

void AtomicFile::RemoveTemporaryOnSignals() {
    struct sigaction action {};
    action.sa_handler = RemovePendingAndReraise;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM}) sigaction(signal, &action, nullptr);
}

AtomicFile::~AtomicFile() { Discard(); }

bool AtomicFile::Open(const std::string &target, std::string *reason) {
    Discard();
    target_ = target;
    std::vector<char> pattern(target.begin(), target.end());
    const char suffix[] = ".tmp-XXXXXX";
    pattern.insert(pattern.end(), suffix, suffix + sizeof suffix);  // with the terminator
    const SignalsHeld held;
    fd_ = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) {
        *reason = SystemReason();
        return false;
    }
    temporary_ = pattern.data();
    SetPending(temporary_);
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
        Discard();
        return false;
    }
    if (rename(temporary_.c_str(), target_.c_str()) != 0) {
        *reason = SystemReason();
        Discard();
        return false;
    }
    // A signal before this line finds the temporary gone: its unlink fails harmlessly.
    pendingSet = 0;
    temporary_.clear();
    return true;
}

void AtomicFile::Discard() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) {
        unlink(temporary_.c_str());
        // After the unlink: a signal in between removes nothing more.
        if (std::strcmp(pendingPath, temporary_.c_str()) == 0) pendingSet = 0;
    }
    temporary_.clear();
}

}  // namespace tonefold
