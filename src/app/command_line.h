#pragma once
// The few options the program answers before it opens a window or touches a file.

#include <optional>
#include <ostream>

namespace velmora {

// "--help" (or "-h") and "--version" print to out and give the exit code; any other
// command line gives nullopt and the program starts (Qt takes its own options).
std::optional<int> answerInformationOptions(int argc, const char* const argv[], std::ostream& out);

}  // namespace velmora
