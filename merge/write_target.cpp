#include "write_target.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tonefold {
namespace {

constexpr int kMaxLinks = 40;  // as the kernel allows in one path
constexpr char kTemporarySuffix[] = ".tmp-XXXXXX";

std::string CannotBeWritten(int error) {
    return std::string("cannot be written: ") + std::strerror(error);
}

// The path of name as seen from the folder holding the link at linkPath.
std::string BesideLink(const std::string &linkPath, const std::string &name) {
    if (!name.empty() && name[0] == '/') return name;
    const size_t slash = linkPath.find_last_of('/');
    if (slash == std::string::npos) return name;
    return linkPath.substr(0, slash + 1) + name;
}

bool ReadLink(const std::string &path, std::string *text, int *error) {
    std::vector<char> buffer(PATH_MAX);
    const ssize_t length = readlink(path.c_str(), buffer.data(), buffer.size());
    if (length < 0 || static_cast<size_t>(length) >= buffer.size()) {
        *error = length < 0 ? errno : ENAMETOOLONG;
        return false;
    }
    text->assign(buffer.data(), static_cast<size_t>(length));
    return true;
}

}  // namespace

bool FollowLinks(const std::string &path, std::string *target, std::string *reason) {
    std::string current = path;
    for (int links = 0;; ++links) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0) {
            if (errno == ENOENT) break;  // a new file, or a dangling link's target
            *reason = CannotBeWritten(errno);
            return false;
        }
        if (!S_ISLNK(info.st_mode)) break;
        std::string next;
        int error = 0;
        if (links == kMaxLinks) error = ELOOP;
        if (error != 0 || !ReadLink(current, &next, &error)) {
            *reason = CannotBeWritten(error);
            return false;
        }
        current = BesideLink(current, next);
    }
    *target = current;
    return true;
}

bool ResolveWriteTarget(const std::string &path, std::string *target, std::string *reason) {
    std::string resolved;
    if (!FollowLinks(path, &resolved, reason)) return false;
    // The link's own name is the one the user gave; the file it leads to is named too.
    const std::string subject = resolved == path ? "" : "leads to " + resolved + ", which ";
    struct stat info {};
    if (lstat(resolved.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        *reason = S_ISDIR(info.st_mode)
                      ? (subject.empty() ? "cannot be written: it is a folder"
                                         : subject + "is a folder")
                      : (subject.empty() ? "is not a regular file"
                                         : subject + "is not a regular file");
        return false;
    }
    if (TemporaryPatternFor(resolved).empty()) {
        *reason = CannotBeWritten(ENAMETOOLONG);
        return false;
    }
    *target = resolved;
    return true;
}

std::string TemporaryPatternFor(const std::string &target) {
    const size_t slash = target.find_last_of('/');
    const std::string prefix = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    long nameMax = pathconf(prefix.empty() ? "." : prefix.c_str(), _PC_NAME_MAX);
    if (nameMax <= 0) nameMax = NAME_MAX;
    const size_t suffixLength = sizeof kTemporarySuffix - 1;
    if (name.size() + suffixLength > static_cast<size_t>(nameMax)) {
        // Cut at a character's start, so a UTF-8 name stays readable in a listing.
        size_t keep = static_cast<size_t>(nameMax) > suffixLength ? nameMax - suffixLength : 0;
        while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
        name.resize(keep);
    }
    std::string pattern = prefix + name + kTemporarySuffix;
    if (pattern.size() >= PATH_MAX) return "";
    return pattern;
}

}  // namespace tonefold
