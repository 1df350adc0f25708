#pragma once
// One connection to the sound server: a libpulse threaded main loop with its context.
// Every wait on the server is bounded; a server that does not answer in time counts as
// gone, so no caller ever hangs on it.

#include <pulse/pulseaudio.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora::pulse {

class KeptStream;

using Milliseconds = std::chrono::milliseconds;

inline constexpr Milliseconds kServerTimeout{2000};

struct SinkEntry {
  std::string name;
  std::string description;
};

class Connection {
 public:
  // nullptr when no server answers within the timeout.
  static std::shared_ptr<Connection> open(const std::string& applicationName, const std::string& server,
                                          Milliseconds timeout);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Holds the main loop's lock: every libpulse call on this connection is made under it.
  class Lock {
   public:
    explicit Lock(Connection& connection);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

   private:
    pa_threaded_mainloop* mainloop_;
  };

  // False once the context has failed or the server has not answered in time.
  bool usable();
  // Whether the server is PipeWire's pulse server, which wants other stream latencies.
  bool isPipeWire() const { return pipeWire_; }
  void markGone() { gone_ = true; }

  pa_context* context() { return context_; }
  pa_threaded_mainloop* mainloop() { return mainloop_; }
  // Under the lock: the stream kept between sounds on this connection.
  KeptStream& keptStream() { return *kept_; }

  // Under the lock: waits until done() holds, the context fails or the timeout passes.
  // Returns done().
  bool waitUntil(const std::function<bool()>& done, Milliseconds timeout);
  // Under the lock: waits for `operation` to finish and unrefs it; cancels it on timeout.
  // Returns whether it finished.
  bool finish(pa_operation* operation, Milliseconds timeout);

  // The server's sinks in its own order; nullopt when the server does not answer.
  std::optional<std::vector<SinkEntry>> sinks();
  // Whether a sink of this name exists now; nullopt when the server does not answer.
  std::optional<bool> hasSink(const std::string& name);

  // A libpulse callback for anything that only needs to wake a waiter; userdata is the
  // main loop.
  static void wake(pa_threaded_mainloop* mainloop);

 private:
  Connection() = default;
  bool contextAlive() const;

  pa_threaded_mainloop* mainloop_ = nullptr;
  pa_context* context_ = nullptr;
  std::unique_ptr<KeptStream> kept_;
  bool pipeWire_ = false;
  std::atomic<bool> gone_{false};
};

}  // namespace velmora::pulse
