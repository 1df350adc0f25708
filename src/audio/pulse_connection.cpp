#include "audio/pulse_connection.h"

#include "audio/pulse_stream.h"

namespace velmora::pulse {
namespace {

pa_usec_t toUsec(Milliseconds timeout) { return static_cast<pa_usec_t>(timeout.count()) * PA_USEC_PER_MSEC; }

void onContextState(pa_context*, void* mainloop) {
  Connection::wake(static_cast<pa_threaded_mainloop*>(mainloop));
}

void onOperationState(pa_operation*, void* mainloop) {
  Connection::wake(static_cast<pa_threaded_mainloop*>(mainloop));
}

// Wakes the waiter once the deadline has come, so that a silent server cannot hold it.
struct Alarm {
  pa_threaded_mainloop* mainloop;
  bool rang = false;
};

void onAlarm(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
  auto* alarm = static_cast<Alarm*>(userdata);
  alarm->rang = true;
  Connection::wake(alarm->mainloop);
}

struct SinkCollector {
  explicit SinkCollector(pa_threaded_mainloop* loop) : mainloop(loop) {}
  pa_threaded_mainloop* mainloop;
  std::vector<SinkEntry> sinks;
  bool done = false;
  bool failed = false;
};

struct ServerName {
  explicit ServerName(pa_threaded_mainloop* loop) : mainloop(loop) {}
  pa_threaded_mainloop* mainloop;
  std::string name;
};

void onServerInfo(pa_context*, const pa_server_info* info, void* userdata) {
  auto* server = static_cast<ServerName*>(userdata);
  if (info && info->server_name) server->name = info->server_name;
  Connection::wake(server->mainloop);
}

void onSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
  auto* collector = static_cast<SinkCollector*>(userdata);
  if (eol != 0) {
    collector->failed = eol < 0;
    collector->done = true;
    Connection::wake(collector->mainloop);
    return;
  }
  SinkEntry entry;
  entry.name = info->name ? info->name : "";
  entry.description = info->description && *info->description ? info->description : entry.name;
  collector->sinks.push_back(std::move(entry));
}

}  // namespace

std::shared_ptr<Connection> Connection::open(const std::string& applicationName, const std::string& server,
                                             Milliseconds timeout) {
  std::shared_ptr<Connection> connection(new Connection());
  connection->mainloop_ = pa_threaded_mainloop_new();
  if (!connection->mainloop_) return nullptr;
  connection->context_ =
      pa_context_new(pa_threaded_mainloop_get_api(connection->mainloop_), applicationName.c_str());
  if (!connection->context_) return nullptr;
  pa_context_set_state_callback(connection->context_, onContextState, connection->mainloop_);
  // Never start a server as a side effect: no server means no sound.
  if (pa_context_connect(connection->context_, server.empty() ? nullptr : server.c_str(),
                         PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
    return nullptr;
  if (pa_threaded_mainloop_start(connection->mainloop_) < 0) return nullptr;

  Lock lock(*connection);
  pa_context* context = connection->context_;
  const bool ready =
      connection->waitUntil([context] { return pa_context_get_state(context) == PA_CONTEXT_READY; }, timeout);
  if (!ready) return nullptr;
  // PipeWire names itself "PulseAudio (on PipeWire 0.3.65)".
  ServerName serverName(connection->mainloop_);
  if (!connection->finish(pa_context_get_server_info(context, onServerInfo, &serverName), timeout))
    return nullptr;
  connection->pipeWire_ = serverName.name.find("PipeWire") != std::string::npos;
  connection->kept_ = std::make_unique<KeptStream>(*connection);
  return connection;
}

Connection::~Connection() {
  if (!mainloop_) return;
  if (context_) {
    pa_threaded_mainloop_lock(mainloop_);
    kept_.reset();
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    pa_threaded_mainloop_unlock(mainloop_);
  }
  pa_threaded_mainloop_stop(mainloop_);  // harmless when the loop never started
  pa_threaded_mainloop_free(mainloop_);
}

Connection::Lock::Lock(Connection& connection) : mainloop_(connection.mainloop_) {
  pa_threaded_mainloop_lock(mainloop_);
}

Connection::Lock::~Lock() { pa_threaded_mainloop_unlock(mainloop_); }

void Connection::wake(pa_threaded_mainloop* mainloop) { pa_threaded_mainloop_signal(mainloop, 0); }

bool Connection::contextAlive() const { return PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)); }

bool Connection::usable() {
  if (gone_) return false;
  Lock lock(*this);
  return pa_context_get_state(context_) == PA_CONTEXT_READY;
}

bool Connection::waitUntil(const std::function<bool()>& done, Milliseconds timeout) {
  Alarm alarm{mainloop_};
  pa_time_event* event = pa_context_rttime_new(context_, pa_rtclock_now() + toUsec(timeout), onAlarm, &alarm);
  if (!event) return done();
  while (!done() && !alarm.rang && contextAlive()) pa_threaded_mainloop_wait(mainloop_);
  pa_threaded_mainloop_get_api(mainloop_)->time_free(event);
  return done();
}

bool Connection::finish(pa_operation* operation, Milliseconds timeout) {
  if (!operation) return false;
  pa_operation_set_state_callback(operation, onOperationState, mainloop_);
  const bool finished =
      waitUntil([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; }, timeout);
  if (!finished) pa_operation_cancel(operation);
  pa_operation_unref(operation);
  return finished;
}

std::optional<std::vector<SinkEntry>> Connection::sinks() {
  Lock lock(*this);
  SinkCollector collector(mainloop_);
  pa_operation* operation = pa_context_get_sink_info_list(context_, onSinkInfo, &collector);
  if (!finish(operation, kServerTimeout) || !collector.done || collector.failed) {
    markGone();
    return std::nullopt;
  }
  return std::move(collector.sinks);
}

std::optional<bool> Connection::hasSink(const std::string& name) {
  Lock lock(*this);
  SinkCollector collector(mainloop_);
  pa_operation* operation = pa_context_get_sink_info_by_name(context_, name.c_str(), onSinkInfo, &collector);
  if (!finish(operation, kServerTimeout) || !collector.done) {
    markGone();
    return std::nullopt;
  }
  return !collector.failed && !collector.sinks.empty();
}

}  // namespace velmora::pulse
