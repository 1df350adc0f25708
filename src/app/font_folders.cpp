#include "app/font_folders.h"

namespace velmora {

std::vector<std::string> fontFolders(const std::string& programFolder) {
  return {programFolder, programFolder + "/../share/velmora", VELMORA_SOURCE_DATA_DIR};
}

}  // namespace velmora
