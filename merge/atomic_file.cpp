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

#include "write_target.h"

namespace tonefold {
namespace {

std::string SystemReason() { return std::strerror(errno); }

// A replaced file keeps its owner and group where the process may set them (root may give a
// user's file back to its owner, a user may keep a group of theirs), then its permissions,
// which a change of owner may clear; a new file gets 0666 less the umask, as an ordinary create
// would. (Reading the umask sets it for a moment: call from one thread only.)
bool TakeOwnerAndMode(int fd, const std::string &target) {
    struct stat existing {};
    if (stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        struct stat made {};
        if (fstat(fd, &made) != 0) return false;
        if ((made.st_uid != existing.st_uid || made.st_gid != existing.st_gid) &&
            fchown(fd, existing.st_uid, existing.st_gid) != 0 && errno != EPERM) {
            return false;
        }
        return fchmod(fd, existing.st_mode & 07777) == 0;
    }
    const mode_t mask = umask(0);
    umask(mask);
    return fchmod(fd, 0666 & ~mask) == 0;
}

// The temporary a signal must remove. The handler may only read what was fully stored
// before pendingSet was raised, so the path is written first and the flag last.
char pendingPath[PATH_MAX + 16];
volatile sig_atomic_t pendingSet = 0;

// Every signal whose default ends the program, other than the faults the program's own code
// raises; these are held while a temporary is made, so none can come in between.
constexpr int kAsynchronousSignals[] = {
    SIGHUP, SIGINT, SIGQUIT, SIGUSR1, SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ,
    SIGVTALRM, SIGPROF, SIGIO,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};
// Faults end the program too, and a crash should leave no temporary either.
constexpr int kFaultSignals[] = {SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGSEGV, SIGSYS};

template <typename Use>
void ForEachEndingSignal(bool withFaults, Use use) {
    for (int signal : kAsynchronousSignals) use(signal);
    // The real-time signals end the program by default as well.
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) use(signal);
    if (withFaults) {
        for (int signal : kFaultSignals) use(signal);
    }
}

// What each signal did before its handler was set, restored to end the program as it would
// have ended (a sanitizer's report, say, or the default).
struct sigaction previousActions[_NSIG];

// A memory or arithmetic fault raised by an instruction, which comes again when the handler
// returns to it.
bool IsRepeatingFault(int signal, const siginfo_t *info) {
    return info != nullptr && info->si_code > 0 &&
           (signal == SIGSEGV || signal == SIGBUS || signal == SIGILL || signal == SIGFPE);
}

void RemovePendingAndReraise(int signal, siginfo_t *info, void *) {
    if (pendingSet) unlink(pendingPath);
    sigaction(signal, &previousActions[signal], nullptr);
    // Ends the program by the same signal, now under the old action, so its parent learns how
    // it ended: a repeating fault comes again by itself, any other signal is sent again.
    if (!IsRepeatingFault(signal, info)) raise(signal);
}

void SetPending(const std::string &path) {
    pendingSet = 0;
    if (path.size() >= sizeof pendingPath) return;
    std::memcpy(pendingPath, path.c_str(), path.size() + 1);
    pendingSet = 1;
}

// Blocks the asynchronous ending signals for its lifetime, so a temporary cannot exist
// unrecorded.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        ForEachEndingSignal(false, [&held](int signal) { sigaddset(&held, signal); });
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
    action.sa_sigaction = RemovePendingAndReraise;
    action.sa_flags = SA_SIGINFO;
    // One cleanup at a time: a second signal waits until the first has ended the program.
    sigemptyset(&action.sa_mask);
    ForEachEndingSignal(false, [&action](int signal) { sigaddset(&action.sa_mask, signal); });
    ForEachEndingSignal(true, [&action](int signal) {
        struct sigaction previous {};
        if (sigaction(signal, nullptr, &previous) != 0) return;
        // A signal ignored when the program started (nohup) stays ignored.
        if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler == SIG_IGN) return;
        previousActions[signal] = previous;
        sigaction(signal, &action, nullptr);
    });
}

AtomicFile::~AtomicFile() { Discard(); }

bool AtomicFile::Open(const std::string &path, std::string *reason) {
    Discard();
    if (!FollowLinks(path, &target_, reason)) return false;
    const std::string name = TemporaryPatternFor(target_);
    if (name.empty()) {
        *reason = std::strerror(ENAMETOOLONG);
        return false;
    }
    std::vector<char> pattern(name.begin(), name.end());
    pattern.push_back('\0');
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
    if (!TakeOwnerAndMode(fd_, target_) || fsync(fd_) != 0) {
        *reason = SystemReason();
        return false;
    }
    // Checked again at the last moment: the target may have been replaced since it was opened,
    // and a FIFO, a device or a socket is not ours to replace.
    struct stat existing {};
    if (lstat(target_.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        *reason = S_ISDIR(existing.st_mode) ? "it is a folder" : "it is not a regular file";
        Discard();
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
