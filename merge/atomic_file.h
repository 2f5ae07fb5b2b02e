// Writes a file through a temporary beside it, renamed over the target only when complete,
// so a failure never leaves a half-written file nor destroys the one it would replace.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tonefold {

class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();  // removes the temporary unless committed
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // Creates the temporary in the target's folder; false with the system's reason.
    bool Open(const std::string &target, std::string *reason);
    bool Write(const uint8_t *data, size_t size, std::string *reason);
    // Flushes to disk, gives the file the usual permissions and renames it over the target.
    bool Commit(std::string *reason);
    // Removes the temporary; the target stays as it was.
    void Discard();

    const std::string &TemporaryPath() const { return temporary_; }

    // Makes SIGINT and SIGTERM remove the temporary of the file being written (the last one
    // opened) before the program ends by the signal as it would have. Call once, early.
    static void RemoveTemporaryOnSignals();

private:
    std::string target_;
    std::string temporary_;
    int fd_ = -1;
};

}  // namespace tonefold
