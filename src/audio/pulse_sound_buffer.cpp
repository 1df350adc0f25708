#include "audio/pulse_sound_buffer.h"

#include <utility>

namespace velmora::pulse {
namespace {

void onStreamSuccess(pa_stream*, int success, void* result) { *static_cast<int*>(result) = success; }

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
    release();
  }
}

bool PulseSoundBuffer::connectStream(const std::string& sinkName) {
  Connection::Lock lock(*connection_);
  StreamStock& stock = connection_->stock();
  stream_ = stock.take(sinkName);
  if (!stream_) {
    stream_ = connectPlaybackStream(*connection_, sinkName);
    if (!stream_) return false;
    pa_stream* stream = stream_;
    const bool settled = connection_->waitUntil(
        [stream] { return !PA_STREAM_IS_GOOD(pa_stream_get_state(stream)) || isReady(stream); },
        kServerTimeout);
    if (!settled) connection_->markGone();
    if (!streamReady()) {
      release();
      return false;
    }
  }
  // The next sound's stream gets made while this one plays.
  stock.prepare(sinkName);
  return true;
}

bool PulseSoundBuffer::streamReady() const { return isReady(stream_); }

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
  if (stream_) release();
}

void PulseSoundBuffer::drain() {
  int success = 0;
  pa_operation* drained = pa_stream_drain(stream_, onStreamSuccess, &success);
  connection_->finish(drained, kDrainLimit);
}

void PulseSoundBuffer::release() {
  connection_->stock().soundEnded();
  releaseStream(stream_);
  stream_ = nullptr;
  playing_ = false;
}

}  // namespace velmora::pulse
