#include "audio/pulse_stream.h"

#include <cstdint>
#include <utility>

#include "audio/audio_output.h"
#include "audio/pulse_connection.h"

namespace velmora::pulse {
namespace {

// A kept stream that no sound has taken for this long is closed.
constexpr pa_usec_t kIdleUsec = PA_USEC_PER_SEC;
// How long after a sound was taken in whole its end may still be on the way to the
// device (a few server cycles).
constexpr pa_usec_t kTailUsec = 500 * PA_USEC_PER_MSEC;

void onStreamEvent(pa_stream*, void* mainloop) {
  Connection::wake(static_cast<pa_threaded_mainloop*>(mainloop));
}

std::uint32_t bytesFor(std::uint32_t milliseconds) {
  return milliseconds * kSampleRate / 1000 * kBytesPerSample;
}

pa_buffer_attr bufferAttributes(bool pipeWire) {
  const Milliseconds target = pipeWire ? kPipeWireTargetLatency : kPulseAudioTargetLatency;
  pa_buffer_attr attributes;
  attributes.maxlength = static_cast<std::uint32_t>(-1);
  attributes.tlength = bytesFor(static_cast<std::uint32_t>(target.count()));
  // No prebuffering: a sound is written whole, and must start at once.
  attributes.prebuf = 0;
  attributes.minreq = static_cast<std::uint32_t>(-1);
  attributes.fragsize = static_cast<std::uint32_t>(-1);
  return attributes;
}

}  // namespace

pa_stream* connectPlaybackStream(Connection& connection, const std::string& sinkName, int levelDb) {
  const pa_sample_spec format{PA_SAMPLE_S16LE, kSampleRate, 1};
  pa_stream* stream = pa_stream_new(connection.context(), "Velmora sound", &format, nullptr);
  if (!stream) return nullptr;
  pa_stream_set_state_callback(stream, onStreamEvent, connection.mainloop());
  pa_stream_set_underflow_callback(stream, onStreamEvent, connection.mainloop());

  const pa_buffer_attr attributes = bufferAttributes(connection.isPipeWire());
  auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
  // A chosen device stays chosen: if it goes away, its sound must not move to another one.
  if (!sinkName.empty()) flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_DONT_MOVE);
  const char* device = sinkName.empty() ? nullptr : sinkName.c_str();
  // The server scales the sound: what we write stays exact. Full level leaves the
  // volume to the server (and to the user's mixer), as before.
  pa_cvolume volume;
  const pa_cvolume* level = nullptr;
  if (levelDb < 0) level = pa_cvolume_set(&volume, 1, pa_sw_volume_from_dB(levelDb));
  if (pa_stream_connect_playback(stream, device, &attributes, flags, level, nullptr) < 0) {
    releaseStream(stream);
    return nullptr;
  }
  return stream;
}

bool isReady(pa_stream* stream) { return stream && pa_stream_get_state(stream) == PA_STREAM_READY; }

void releaseStream(pa_stream* stream) {
  pa_stream_set_state_callback(stream, nullptr, nullptr);
  pa_stream_set_underflow_callback(stream, nullptr, nullptr);
  if (pa_stream_get_state(stream) != PA_STREAM_UNCONNECTED) pa_stream_disconnect(stream);
  pa_stream_unref(stream);
}

KeptStream::~KeptStream() {
  if (idleTimer_) pa_threaded_mainloop_get_api(connection_.mainloop())->time_free(idleTimer_);
  if (!stream_) return;
  // The last sound may still be on its way to the device: closing the stream now would
  // lose its end.
  waitUntilHeard();
  drop();
}

void KeptStream::waitUntilHeard() {
  if (stream_ && isReady(stream_) && pa_rtclock_now() - keptAt_ < kTailUsec)
    connection_.finish(pa_stream_drain(stream_, nullptr, nullptr), kDrainLimit);
}

pa_stream* KeptStream::take(const std::string& sinkName, int levelDb) {
  if (stream_ && (sinkName_ != sinkName || levelDb_ != levelDb || !isReady(stream_))) drop();
  return std::exchange(stream_, nullptr);
}

void KeptStream::keep(pa_stream* stream, const std::string& sinkName, int levelDb) {
  if (stream_) drop();
  stream_ = stream;
  sinkName_ = sinkName;
  levelDb_ = levelDb;
  keptAt_ = pa_rtclock_now();
  // Between transmissions no stream stays on the device.
  const pa_usec_t expiry = keptAt_ + kIdleUsec;
  if (idleTimer_)
    pa_context_rttime_restart(connection_.context(), idleTimer_, expiry);
  else
    idleTimer_ = pa_context_rttime_new(connection_.context(), expiry, onIdle, this);
}

void KeptStream::onIdle(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* kept) {
  static_cast<KeptStream*>(kept)->drop();
}

void KeptStream::drop() {
  if (!stream_) return;
  releaseStream(stream_);
  stream_ = nullptr;
}

}  // namespace velmora::pulse
