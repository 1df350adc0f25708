#include "audio/pulse_stream.h"

#include <cstdint>

#include "audio/audio_output.h"
#include "audio/pulse_connection.h"

namespace velmora::pulse {
namespace {

// An idle prepared stream is given back after this long, so that none lingers on the
// device once a transmission is over.
constexpr pa_usec_t kSpareKeepUsec = 2 * PA_USEC_PER_SEC;

void onStreamEvent(pa_stream*, void* mainloop) {
  Connection::wake(static_cast<pa_threaded_mainloop*>(mainloop));
}

std::uint32_t bytesFor(std::uint32_t milliseconds) {
  return milliseconds * kSampleRate / 1000 * kBytesPerSample;
}

pa_buffer_attr bufferAttributes() {
  pa_buffer_attr attributes;
  attributes.maxlength = static_cast<std::uint32_t>(-1);
  attributes.tlength = bytesFor(static_cast<std::uint32_t>(kTargetLatency.count()));
  // No prebuffering: everything is written before play, and play must start at once.
  attributes.prebuf = 0;
  attributes.minreq = static_cast<std::uint32_t>(-1);
  attributes.fragsize = static_cast<std::uint32_t>(-1);
  return attributes;
}

}  // namespace

pa_stream* connectPlaybackStream(Connection& connection, const std::string& sinkName) {
  const pa_sample_spec format{PA_SAMPLE_S16LE, kSampleRate, 1};
  pa_stream* stream = pa_stream_new(connection.context(), "Velmora sound", &format, nullptr);
  if (!stream) return nullptr;
  pa_stream_set_state_callback(stream, onStreamEvent, connection.mainloop());

  const pa_buffer_attr attributes = bufferAttributes();
  auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
  // A chosen device stays chosen: if it goes away, its sound must not move to another one.
  if (!sinkName.empty()) flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_DONT_MOVE);
  const char* device = sinkName.empty() ? nullptr : sinkName.c_str();
  if (pa_stream_connect_playback(stream, device, &attributes, flags, nullptr, nullptr) < 0) {
    releaseStream(stream);
    return nullptr;
  }
  return stream;
}

bool isReady(pa_stream* stream) { return stream && pa_stream_get_state(stream) == PA_STREAM_READY; }

void releaseStream(pa_stream* stream) {
  pa_stream_set_state_callback(stream, nullptr, nullptr);
  if (pa_stream_get_state(stream) != PA_STREAM_UNCONNECTED) pa_stream_disconnect(stream);
  pa_stream_unref(stream);
}

StreamStock::~StreamStock() {
  dropSpare();
  if (spareTimer_) pa_threaded_mainloop_get_api(connection_.mainloop())->time_free(spareTimer_);
}

pa_stream* StreamStock::take(const std::string& sinkName) {
  if (!spare_ || spareSink_ != sinkName || !isReady(spare_)) {
    dropSpare();
    return nullptr;
  }
  pa_stream* stream = spare_;
  spare_ = nullptr;
  return stream;
}

void StreamStock::prepare(const std::string& sinkName) {
  if (spare_ && (spareSink_ != sinkName || !PA_STREAM_IS_GOOD(pa_stream_get_state(spare_)))) dropSpare();
  if (!spare_) {
    spare_ = connectPlaybackStream(connection_, sinkName);
    spareSink_ = sinkName;
  }
  // Kept for as long as the sound plays, however long that is.
  if (spareTimer_) pa_context_rttime_restart(connection_.context(), spareTimer_, PA_USEC_INVALID);
}

void StreamStock::soundEnded() {
  const pa_usec_t expiry = pa_rtclock_now() + kSpareKeepUsec;
  if (spareTimer_)
    pa_context_rttime_restart(connection_.context(), spareTimer_, expiry);
  else
    spareTimer_ = pa_context_rttime_new(connection_.context(), expiry, onSpareExpired, this);
}

void StreamStock::onSpareExpired(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* stock) {
  static_cast<StreamStock*>(stock)->dropSpare();
}

void StreamStock::dropSpare() {
  if (!spare_) return;
  releaseStream(spare_);
  spare_ = nullptr;
}

}  // namespace velmora::pulse
