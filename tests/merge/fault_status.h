// How a child process that met a fault ended, for tests that make one fault on purpose.
#pragma once

#include <signal.h>
#include <sys/wait.h>

namespace fault_status {

// Under a sanitizer a fault is reported by the sanitizer's own handler, which exits instead
// of ending the program by the signal.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kFaultsReportedBySanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kFaultsReportedBySanitizer = true;
#else
constexpr bool kFaultsReportedBySanitizer = false;
#endif
#else
constexpr bool kFaultsReportedBySanitizer = false;
#endif

// Whether `status` (from waitpid) says the child ended by `signal`, or by its sanitizer's report,
// which ends the program by abort (abort_on_error) or with exit code 1.
inline bool EndedByFault(int status, int signal) {
    if (WIFSIGNALED(status) && WTERMSIG(status) == signal) return true;
    if (!kFaultsReportedBySanitizer) return false;
    return (WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT) ||
           (WIFEXITED(status) && WEXITSTATUS(status) == 1);
}

}  // namespace fault_status
