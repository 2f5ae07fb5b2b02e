#include "mapped_reads.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace tonefold {
namespace {

// The guards of this thread, innermost first. A fault is raised on the thread that touched
// the page, so each thread needs only its own.
thread_local MappedReadGuard *innermost = nullptr;

struct sigaction previousBusAction;
uintptr_t pageSize = 4096;
std::once_flag handlerSet;
std::atomic<MappedReadHook> testHook{nullptr};

void OnBusError(int signal, siginfo_t *info, void *context);

void SetHandler() {
    pageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    // Read before the handler is set, so a fault never finds it half stored.
    sigaction(SIGBUS, nullptr, &previousBusAction);
    sigaction(SIGBUS, &action, nullptr);
}

// What SIGBUS would have done without this handler.
void HandOver(int signal, siginfo_t *info, void *context) {
    const struct sigaction &previous = previousBusAction;
    if (previous.sa_flags & SA_SIGINFO) {
        previous.sa_sigaction(signal, info, context);
        return;
    }
    if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal);
        return;
    }
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    sigaction(signal, &standard, nullptr);
    // A fault comes again on return, now to end the program; a sent signal is sent again.
    if (info == nullptr || info->si_code <= 0) raise(signal);
}

}  // namespace

struct MappedReadFaults {
    // Maps zeros over the guarded mapping from the faulting page to its end: the file has lost
    // those pages, and any later touch of them should find zeros rather than fault again.
    static bool Recover(const void *address) {
        const auto at = reinterpret_cast<uintptr_t>(address);
        for (MappedReadGuard *guard = innermost; guard != nullptr; guard = guard->outer_) {
            const auto begin = reinterpret_cast<uintptr_t>(guard->begin_);
            const uintptr_t end =
                (reinterpret_cast<uintptr_t>(guard->end_) + pageSize - 1) & ~(pageSize - 1);
            if (at < begin || at >= end) continue;
            const uintptr_t page = at & ~(pageSize - 1);
            void *zeros = mmap(reinterpret_cast<void *>(page), end - page, PROT_READ,
                               MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
            if (zeros == MAP_FAILED) return false;
            guard->changed_ = 1;
            return true;
        }
        return false;
    }
};

namespace {

void OnBusError(int signal, siginfo_t *info, void *context) {
    if (info != nullptr && info->si_code > 0 && MappedReadFaults::Recover(info->si_addr)) return;
    HandOver(signal, info, context);
}

}  // namespace

MappedReadGuard::MappedReadGuard(const void *data, size_t size)
    : begin_(static_cast<const char *>(data)), end_(begin_ + size), outer_(innermost) {
    std::call_once(handlerSet, SetHandler);
    innermost = this;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (MappedReadHook hook = testHook.load()) hook(data, size);
}

MappedReadGuard::~MappedReadGuard() {
    std::atomic_signal_fence(std::memory_order_seq_cst);
    innermost = outer_;
}

bool MappedReadGuard::Changed() const {
    std::atomic_signal_fence(std::memory_order_seq_cst);
    return changed_ != 0;
}

void SetMappedReadHookForTesting(MappedReadHook hook) { testHook.store(hook); }

}  // namespace tonefold
