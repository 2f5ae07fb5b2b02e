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

    // Creates the temporary beside the file path stands for (the end of its symbolic links,
    // which stay as they are); false with the system's reason.
    bool Open(const std::string &path, std::string *reason);
    bool Write(const uint8_t *data, size_t size, std::string *reason);
    // Flushes to disk, gives the file the replaced one's owner, group and permissions (the
    // owner and group where the process may set them) or a new file's usual permissions, and
    // renames it over the target.
    bool Commit(std::string *reason);
    // Removes the temporary; the target stays as it was.
    void Discard();

    const std::string &TemporaryPath() const { return temporary_; }

    // Makes every signal that ends the program (SIGINT, SIGTERM, SIGHUP, SIGPIPE, the faults...)
    // remove the temporary of the file being written (the last one opened) before the program
    // ends by the signal as it would have. Signals ignored at the start stay ignored. Call
    // once, early, from the main thread before any other handler is set.
    static void RemoveTemporaryOnSignals();

private:
    std::string target_;
    std::string temporary_;
    int fd_ = -1;
};

}  // namespace tonefold
