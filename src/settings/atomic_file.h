#pragma once
// Replacing a file whole: a crash or a full disk never leaves a truncated file behind.

#include <string>

namespace velmora {

// Writes data to a temporary file beside path and renames it over path, keeping the
// permissions of the file it replaces. A symbolic link stays a link: its target is
// replaced (or made). False when the data could not be written; path is then untouched.
bool replaceFileAtomically(const std::string& path, const std::string& data);

}  // namespace velmora
