#include "log/log_viewer.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>
#include <vector>

extern char** environ;

namespace velmora {

namespace {

bool isExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Started without a shell, so the log's path needs no quoting. A detached thread reaps
// the editor when it ends, so no zombie is left behind and nobody waits for it. It gets
// standard input, output and error only: Hamlib opens its devices and sockets without
// close-on-exec, and an editor holding a serial port would block the next keying.
bool startDetached(const std::string& program, const std::string& argument) {
  std::string argv0 = program;
  std::string argv1 = argument;
  char* const argv[] = {argv0.data(), argv1.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t pid = 0;
  const int error = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return false;
  std::thread([pid] {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

std::string currentSearchPath() {
  const char* path = std::getenv("PATH");
  return path != nullptr ? path : "";
}

}  // namespace

std::string findProgram(const std::string& name, const std::string& searchPath) {
  std::size_t start = 0;
  while (start <= searchPath.size()) {
    std::size_t end = searchPath.find(':', start);
    if (end == std::string::npos) end = searchPath.size();
    const std::string directory = end > start ? searchPath.substr(start, end - start) : std::string(".");
    const std::string candidate = directory + "/" + name;
    if (isExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  return {};
}

void viewLogfile(const std::string& logPath, MessageBox& box) {
  viewLogfile(logPath, box, currentSearchPath());
}

void viewLogfile(const std::string& logPath, MessageBox& box, const std::string& searchPath) {
  for (const char* viewer : {"notepad", "xdg-open"}) {
    const std::string program = findProgram(viewer, searchPath);
    if (!program.empty() && startDetached(program, logPath)) return;
  }
  box.show("Error", "Notepad not found in current system path", MessageIcon::Warning);
}

void deleteLogfile(const std::string& logPath) { ::unlink(logPath.c_str()); }

}  // namespace velmora
