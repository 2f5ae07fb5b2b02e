// Where a write through a temporary file lands: the file a name stands for once its symbolic
// links are followed, and a temporary name beside it that the file system accepts.
#pragma once

#include <string>

namespace tonefold {

// The file a write to path replaces or creates: path itself, or the end of its chain of
// symbolic links (which need not exist yet), so the links stay and what they lead to changes.
// A relative link resolves from the folder that holds the link. False with the system's reason
// for a link loop or a name the system refuses.
bool FollowLinks(const std::string &path, std::string *target, std::string *reason);

// FollowLinks, then refuses with a one-line reason what a write must not replace: a folder, a
// device, a FIFO or a socket, or a path too long for its temporary. For the checks before
// any work.
bool ResolveWriteTarget(const std::string &path, std::string *target, std::string *reason);

// The mkostemp pattern of a temporary beside target: its name with ".tmp-XXXXXX", the name cut
// short when the whole would pass the folder's limit on names. Empty when the path would be
// too long for the system.
std::string TemporaryPatternFor(const std::string &target);

}  // namespace tonefold
