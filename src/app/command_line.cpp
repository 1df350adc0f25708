#include "app/command_line.h"

#include <string_view>

#include "core/version.h"

namespace velmora {

std::optional<int> answerInformationOptions(int argc, const char* const argv[], std::ostream& out) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      out << "Usage: velmora [Qt options]\n"
             "Sends a short text as multitone audio that reads on a receiver's waterfall.\n"
             "Velmora.ini (settings) and Logfile.txt (events) are kept in the current folder;\n"
             "velmora-launcher starts the program in ~/.local/share/velmora.\n\n"
             "  -h, --help     show this help and exit\n"
             "  --version      show the version and exit\n\n"
             "See velmora(1) and velmora-render(1).\n";
      return 0;
    }
    if (argument == "--version") {
      out << "velmora " << VELMORA_VERSION << '\n';
      return 0;
    }
  }
  return std::nullopt;
}

}  // namespace velmora
