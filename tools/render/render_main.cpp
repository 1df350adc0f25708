// velmora-render: see render.h. main() only wires the process to the tool.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "audio/pulse_audio_output.h"
#include "core/clock.h"
#include "ptt/ptt_guard.h"
#include "render/render.h"

namespace {

// A signal handler can reach nothing else: the one flag it sets lives here.
std::atomic<int> stopRequested{0};
static_assert(std::atomic<int>::is_always_lock_free, "the stop flag is set from a signal handler");

extern "C" void requestStop(int /*signal*/) { stopRequested.store(1); }

void installStopHandlers() {
  struct sigaction action {};
  action.sa_handler = requestStop;
  sigemptyset(&action.sa_mask);
  // All four stop a play as "Stop" does; SIGHUP comes when the terminal goes away,
  // SIGQUIT from Ctrl+\.
  for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(number, &action, nullptr);
  // A reader of our output that has gone (`velmora-render ... 2>&1 | head -n 1`) costs a
  // line, never the unkeying.
  ::signal(SIGPIPE, SIG_IGN);
}

std::string programDirectory() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : program.parent_path().string();
}

std::string currentDirectory() {
  std::error_code error;
  const std::filesystem::path current = std::filesystem::current_path(error);
  return error ? std::string(".") : current.string();
}

}  // namespace

int main(int argc, char** argv) {
  installStopHandlers();
  velmora::SteadyClock clock;
  velmora::render::Environment env{
      currentDirectory(), programDirectory(), std::cout, std::cerr, clock, stopRequested, [] {
        return velmora::makePulseAudioOutput("velmora-render");
      }};
  env.stderrIsTerminal = isatty(STDERR_FILENO) != 0;
  const std::string logDirectory = env.currentDirectory;
  env.makeGuard = [logDirectory](std::function<void(const std::string&)> writeLog) {
    return std::make_shared<velmora::PttGuardClient>(velmora::guardProgramCandidates(), logDirectory,
                                                     std::move(writeLog));
  };
  return velmora::render::run(std::vector<std::string>(argv + 1, argv + argc), env);
}
