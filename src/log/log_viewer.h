#pragma once
// The log's menu commands: show it in a text editor, and delete it.

#include <string>

#include "core/message_box.h"

namespace velmora {

// Starts "notepad" on the log if the PATH has one, else the desktop's default viewer
// (xdg-open). Neither is waited for. If neither starts, tells the user so.
void viewLogfile(const std::string& logPath, MessageBox& box);
// The same, looking the programs up in searchPath (a PATH-style list) instead.
void viewLogfile(const std::string& logPath, MessageBox& box, const std::string& searchPath);

// The program found in a PATH-style list (an empty entry means the current folder), or
// empty when there is none that may be executed.
std::string findProgram(const std::string& name, const std::string& searchPath);

// Deletes the log; a log that is not there is no error.
void deleteLogfile(const std::string& logPath);

}  // namespace velmora
