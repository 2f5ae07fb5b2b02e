// Reading a mapped file that another process may shorten meanwhile. A page the file no longer
// holds raises SIGBUS on its first touch, which would end the program with no word of which
// file; under a guard the page reads as zeros instead, and the guard reports the change.
#pragma once

#include <csignal>
#include <cstddef>

namespace tonefold {

// Guards the calling thread's reads of the mapping [data, data + size) for its lifetime.
// The first guard sets a SIGBUS handler that hands every other fault to the handler before it.
class MappedReadGuard {
public:
    MappedReadGuard(const void *data, size_t size);
    ~MappedReadGuard();
    MappedReadGuard(const MappedReadGuard &) = delete;
    MappedReadGuard &operator=(const MappedReadGuard &) = delete;

    // True once a read found a page gone: what was read since is not the file's content.
    bool Changed() const;

private:
    const char *begin_;
    const char *end_;
    volatile std::sig_atomic_t changed_ = 0;  // set by the signal handler
    MappedReadGuard *outer_;

    friend struct MappedReadFaults;
};

// For tests: called by every guard once it is up, before any byte is read, so a test can
// shorten the file at the worst moment. Null for none.
using MappedReadHook = void (*)(const void *data, size_t size);
void SetMappedReadHookForTesting(MappedReadHook hook);

}  // namespace tonefold
