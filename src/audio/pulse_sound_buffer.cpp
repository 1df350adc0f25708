#include "audio/pulse_sound_buffer.h"

#include <utility>

namespace velmora::pulse {
namespace {

void onStreamState(pa_stream*, void* mainloop) { Connection::wake(static_cast<pa_threaded_mainloop*>(mainloop)); }

void onStreamSuccess(pa_stream*, int success, void* result) { *static_cast<int*>(result) = success; }

pa_buffer_attr promptStartAttributes(const pa_sample_spec& format) {
  pa_buffer_attr attributes;
  attributes.maxlength = static_cast<std::uint32_t>(-1);
  attributes.tlength = static_cast<std::uint32_t>(
      pa_usec_to_bytes(static_cast<pa_usec_t>(kTargetLatency.count()) * PA_USEC_PER_MSEC, &format));
  // No prebuffering: everything is written before play, and play must start at once.
  attributes.prebuf = 0;
  attributes.minreq = static_cast<std::uint32_t>(-1);
  attributes.fragsize = static_cast<std::uint32_t>(-1);
  return attributes;
}

}  // namespace

std::unique_ptr<PulseSoundBuffer> PulseSoundBuffer::create(std::shared_ptr<Connection> connection,
                                                           const std::string& sinkName, std::size_t bytes) {
  if (!connection) return nullptr;
  std::unique_ptr<PulseSoundBuffer> buffer(new PulseSoundBuffer(std::move(connection), bytes));
  if (!buffer->connectStream(sinkName)) return nullptr;
  return buffer;
}

PulseSoundBuffer::PulseSoundBuffer(std::shared_ptr<Connection> connection, std::size_t bytes)
    : connection_(std::move(connection)), samples_(bytes / kBytesPerSample, 0) {}

PulseSoundBuffer::~PulseSoundBuffer() {
  if (stream_) {
    Connection::Lock lock(*connection_);
    releaseStream();
  }
}

bool PulseSoundBuffer::connectStream(const std::string& sinkName) {
  Connection::Lock lock(*connection_);
  const pa_sample_spec format{PA_SAMPLE_S16LE, kSampleRate, 1};
  stream_ = pa_stream_new(connection_->context(), "Velmora sound", &format, nullptr);
  if (!stream_) return false;
  pa_stream_set_state_callback(stream_, onStreamState, connection_->mainloop());

  const pa_buffer_attr attributes = promptStartAttributes(format);
  auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
  // A chosen device stays chosen: if it goes away, its sound must not move to another one.
  if (!sinkName.empty()) flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_DONT_MOVE);
  const char* device = sinkName.empty() ? nullptr : sinkName.c_str();
  if (pa_stream_connect_playback(stream_, device, &attributes, flags, nullptr, nullptr) < 0) {
    releaseStream();
    return false;
  }
  pa_stream* stream = stream_;
  const bool settled = connection_->waitUntil(
      [stream] { return !PA_STREAM_IS_GOOD(pa_stream_get_state(stream)) || pa_stream_get_state(stream) == PA_STREAM_READY; },
      kServerTimeout);
  if (!settled) connection_->markGone();
  if (!streamReady()) {
    releaseStream();
    return false;
  }
  return true;
}

bool PulseSoundBuffer::streamReady() const {
  return stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY;
}

std::optional<std::span<std::int16_t>> PulseSoundBuffer::lock() {
  if (written_) return std::nullopt;
  return std::span<std::int16_t>(samples_);
}

bool PulseSoundBuffer::unlock(std::size_t samplesWritten) {
  if (written_ || samplesWritten > samples_.size()) return false;
  written_ = true;
  Connection::Lock lock(*connection_);
  if (!streamReady()) return false;
  if (samplesWritten == 0) return true;
  // Only what was written is sent: the rest of the buffer is never heard.
  return pa_stream_write(stream_, samples_.data(), samplesWritten * kBytesPerSample, nullptr, 0,
                         PA_SEEK_RELATIVE) == 0;
}

bool PulseSoundBuffer::rewind() {
  // The stream is still corked at its first sample until play.
  Connection::Lock lock(*connection_);
  return !playing_ && streamReady();
}

bool PulseSoundBuffer::play() {
  Connection::Lock lock(*connection_);
  if (playing_ || !streamReady()) return false;
  int success = 0;
  pa_operation* uncork = pa_stream_cork(stream_, 0, onStreamSuccess, &success);
  if (!connection_->finish(uncork, kServerTimeout)) {
    connection_->markGone();
    return false;
  }
  playing_ = success != 0;
  return playing_;
}

void PulseSoundBuffer::stop(StopMode mode) {
  if (!stream_) return;
  Connection::Lock lock(*connection_);
  if (mode == StopMode::Drain && playing_ && streamReady()) drain();
  releaseStream();
}

void PulseSoundBuffer::drain() {
  int success = 0;
  pa_operation* drained = pa_stream_drain(stream_, onStreamSuccess, &success);
  connection_->finish(drained, kDrainLimit);
}

void PulseSoundBuffer::releaseStream() {
  pa_stream_set_state_callback(stream_, nullptr, nullptr);
  if (pa_stream_get_state(stream_) != PA_STREAM_UNCONNECTED) pa_stream_disconnect(stream_);
  pa_stream_unref(stream_);
  stream_ = nullptr;
  playing_ = false;
}

}  // namespace velmora::pulse
