// Opening and inspecting files by paths of any length. The kernel refuses a path of PATH_MAX
// bytes or more, yet a folder walk reaches deeper than that; such a path is resolved a stretch
// at a time, each relative to the folder the stretch before it opened.
#pragma once

#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace kestrava::util {

// open(2) for a path of any length: the same flags, links followed and errors (-1 with errno).
// The descriptor returned is the caller's to close.
int openLongPath(const std::string& path, int flags, mode_t mode = 0);

// stat(2), or lstat(2) when !followLinks, for a path of any length; false with errno set.
bool statLongPath(const std::string& path, struct stat& info, bool followLinks);

} // namespace kestrava::util
