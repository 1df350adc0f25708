#include "audio/pulse_sound_buffer.h"

#include <utility>

namespace velmora::pulse {
namespace {

void onStreamSuccess(pa_stream*, int success, void* result) { *static_cast<int*>(result) = success; }

}  // namespace
namespace {}  // namespace

std::unique_ptr<PulseSoundBuffer> PulseSoundBuffer::create(std::shared_ptr<Connection> connection,
                                                           const std::string& sinkName, std::size_t bytes,
                                                           int levelDb) {
  if (!connection) return nullptr;
  std::unique_ptr<PulseSoundBuffer> buffer(new PulseSoundBuffer(std::move(connection), bytes));
  buffer->levelDb_ = levelDb;
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
  sinkName_ = sinkName;
  stream_ = connection_->keptStream().take(sinkName, levelDb_);
  if (stream_) return true;
  corked_ = true;
  stream_ = connectPlaybackStream(*connection_, sinkName, levelDb_);
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
  // Only what was written is ever sent; it goes to the server at play, because a kept
  // stream is running and would start the sound at once.
  samplesWritten_ = samplesWritten;
  Connection::Lock lock(*connection_);
  return streamReady();
}

bool PulseSoundBuffer::rewind() {
  Connection::Lock lock(*connection_);
  return !playing_ && streamReady();
}

bool PulseSoundBuffer::play() {
  Connection::Lock lock(*connection_);
  if (playing_ || !written_ || !streamReady()) return false;
  const std::size_t bytes = samplesWritten_ * kBytesPerSample;
  if (corked_) {
    // A new stream: written from index 0 while corked, then started, as a stream that has
    // never run starts promptly on both servers.
    if (bytes > 0 && pa_stream_write(stream_, samples_.data(), bytes, nullptr, 0, PA_SEEK_RELATIVE) != 0)
      return false;
    int success = 0;
    if (!connection_->finish(pa_stream_cork(stream_, 0, onStreamSuccess, &success), kServerTimeout)) {
      connection_->markGone();
      return false;
    }
    if (success == 0) return false;
    corked_ = false;
    end_ = static_cast<std::int64_t>(bytes);
  } else {
    // A kept stream runs dry, so the write starts the sound. It goes at the server's read
    // position, so that the sound starts from its first sample and not from wherever the
    // server has read on to meanwhile; the server's answer says where it ends.
    if (bytes > 0 &&
        pa_stream_write(stream_, samples_.data(), bytes, nullptr, 0, PA_SEEK_RELATIVE_ON_READ) != 0)
      return false;
    if (!connection_->finish(pa_stream_update_timing_info(stream_, nullptr, nullptr), kServerTimeout)) {
      connection_->markGone();
      return false;
    }
    const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
    if (!timing || timing->write_index_corrupt) return false;
    end_ = timing->write_index;
  }
  playing_ = true;
  return true;
}

void PulseSoundBuffer::stop(StopMode mode) {
  if (!stream_) return;
  Connection::Lock lock(*connection_);
  if (mode == StopMode::Drain && playing_ && streamReady() && takenInWhole()) {
    connection_->keptStream().keep(stream_, sinkName_, levelDb_);
    stream_ = nullptr;
    playing_ = false;
    return;
  }
  release();
}

bool PulseSoundBuffer::takenInWhole() {
  if (samplesWritten_ == 0) return true;
  // The server reports where the stream ran dry; once that is past the sound's end,
  // every sample has gone on towards the device.
  pa_stream* stream = stream_;
  const std::int64_t end = end_;
  return connection_->waitUntil([stream, end] { return pa_stream_get_underflow_index(stream) >= end; },
                                kDrainLimit);
}

void PulseSoundBuffer::release() {
  releaseStream(stream_);
  stream_ = nullptr;
  playing_ = false;
}

}  // namespace velmora::pulse
