#pragma once
// Writing a settings file whole: a crash or a full disk never leaves a truncated file
// behind, and a file its user made read-only stays as it is.

#include <string>
#include <system_error>

namespace velmora {

// Writes data to a temporary file beside path and renames it over path, keeping the
// permissions of the file it replaces. A symbolic link stays a link: its target is
// replaced (or made). In a folder that takes no new files, a writable file is rewritten in
// place (room for it taken first, then written, cut to length and synced). A file without
// write permission is not written. Returns why it failed, with path then untouched.
std::error_code writeFileWhole(const std::string& path, const std::string& data);

}  // namespace velmora
