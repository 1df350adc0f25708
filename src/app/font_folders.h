#pragma once

#include <string>
#include <vector>

namespace velmora {

// Where the font is looked for after the start-up directory: the program's own folder,
// ../share/velmora beside it (an installed program), and the source tree's data folder
// (a program run from its build folder).
std::vector<std::string> fontFolders(const std::string& programFolder);

}  // namespace velmora
