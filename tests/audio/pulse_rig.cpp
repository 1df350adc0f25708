#include "pulse_rig.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "audio/pulse_audio_output.h"

extern char** environ;

namespace velmora::testing {
namespace {

std::string makeTempDir(const char* prefix) {
  std::string pattern = ::testing::TempDir() + prefix + "XXXXXX";
  if (!mkdtemp(pattern.data())) return {};
  chmod(pattern.c_str(), 0700);
  return pattern;
}

std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::uintmax_t fileSize(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<std::uintmax_t>(info.st_size) : 0;
}

// A killed daemon may stay a zombie for a while when nobody reaps it: that counts as gone.
bool isRunning(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string pidText, name, state;
  if (!(stat >> pidText >> name >> state)) return false;
  return state != "Z" && state != "X";
}

}  // namespace

std::string whyNoTestServer() {
  const char* server = std::getenv("PULSE_SERVER");
  if (!server || !*server) return "PULSE_SERVER is not set: no sound server to test against";
  auto audio = makePulseAudioOutput("velmora-test");
  audio->openDevice(-1);
  if (!audio->isOpen()) return std::string("no sound server answers at ") + server;
  return {};
}

bool testServerRequired() {
  const char* required = std::getenv("VELMORA_REQUIRE_PULSE");
  return required && std::string(required) == "1";
}

int entryIndex(const std::vector<std::string>& entries, const std::string& text) {
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (entries[i] == text) return static_cast<int>(i);
  return -1;
}

MonitorCapture::MonitorCapture(std::string source, std::string server, int latencyMs)
    : source_(std::move(source)), server_(std::move(server)), latencyMs_(latencyMs) {}

MonitorCapture::~MonitorCapture() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(path_).parent_path(), ignored);
}

bool MonitorCapture::start() {
  const std::string dir = makeTempDir("velmora-capture-");
  if (dir.empty()) return false;
  path_ = dir + "/capture.raw";
  std::vector<std::string> args{
      "parec",        "-d",           source_,          "--raw",
      "--rate=11025", "--channels=1", "--format=s16le", "--latency-msec=" + std::to_string(latencyMs_)};
  if (!server_.empty()) args.push_back("--server=" + server_);
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  const int spawned = posix_spawnp(&pid_, "parec", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    pid_ = -1;
    return false;
  }
  // Recording has begun once the monitor's silence arrives.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (fileSize(path_) == 0) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

std::vector<std::int16_t> MonitorCapture::stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  std::ifstream file(path_, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<std::int16_t> samples(bytes.size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto low = static_cast<unsigned char>(bytes[2 * i]);
    const auto high = static_cast<unsigned char>(bytes[2 * i + 1]);
    samples[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8)));
  }
  return samples;
}

std::optional<std::size_t> alignment(const std::vector<std::int16_t>& captured,
                                     const std::vector<std::int16_t>& expected, std::size_t searchFrom) {
  auto firstNonZero = [](const std::vector<std::int16_t>& samples,
                         std::size_t from) -> std::optional<std::size_t> {
    for (std::size_t i = from; i < samples.size(); ++i)
      if (samples[i] != 0) return i;
    return std::nullopt;
  };
  const auto inExpected = firstNonZero(expected, 0);
  const auto inCaptured = firstNonZero(captured, searchFrom);
  if (!inExpected || !inCaptured || *inCaptured < *inExpected) return std::nullopt;
  return *inCaptured - *inExpected;
}

PrivateServer::PrivateServer() : dir_(makeTempDir("velmora-server-")) {}

PrivateServer::~PrivateServer() {
  if (dir_.empty()) return;
  shell(std::string(VELMORA_SOURCE_DIR "/scripts/pulse-test-server.sh stop ") + shellQuote(dir_));
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::string PrivateServer::shell(const std::string& command) const {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return output;
  std::array<char, 512> chunk{};
  while (std::fgets(chunk.data(), static_cast<int>(chunk.size()), pipe)) output += chunk.data();
  pclose(pipe);
  return output;
}

bool PrivateServer::start() {
  if (dir_.empty()) return false;
  const std::string exports =
      shell(std::string(VELMORA_SOURCE_DIR "/scripts/pulse-test-server.sh start ") + shellQuote(dir_));
  const std::string key = "export PULSE_SERVER=";
  const auto at = exports.find(key);
  if (at == std::string::npos) return false;
  const auto end = exports.find('\n', at);
  address_ = exports.substr(at + key.size(), end - at - key.size());
  return true;
}

void PrivateServer::kill() {
  std::ifstream pidFile(dir_ + "/pulse/pid");
  pid_t pid = 0;
  if (pidFile >> pid && pid > 0) {
    ::kill(pid, SIGKILL);
    for (int i = 0; i < 100 && isRunning(pid); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // An unreaped zombie would make a restarted server believe it is still running.
  std::remove((dir_ + "/pulse/pid").c_str());
}

bool PrivateServer::unplug(const std::string& sinkName) {
  const std::string server = "--server=" + shellQuote(address_);
  const std::string module =
      shell("pactl " + server + " list short modules | grep 'sink_name=" + sinkName + " ' | cut -f1");
  if (module.empty()) return false;
  const std::string index = module.substr(0, module.find('\n'));
  return std::system(("pactl " + server + " unload-module " + index).c_str()) == 0;
}

}  // namespace velmora::testing

// libpulse publishes its lazily made mutexes and recycles its packets through its own
// atomics, which ThreadSanitizer cannot see (the library is not instrumented). Only those
// library-internal accesses are excused; a race on our own data has none of these frames.
extern "C" const char* __tsan_default_suppressions();
extern "C" const char* __tsan_default_suppressions() {
  return "race:pa_mutex_lock\nrace:pa_packet_new_data\nrace:pa_srbchannel_read\n";
}
