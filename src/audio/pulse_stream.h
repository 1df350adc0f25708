#pragma once
// Playback streams on one connection, and the next sound's stream made while the current
// sound plays, so that making a stream (a round trip or more, some 13 ms on PipeWire)
// does not add to the silence between two sounds. Every call here is made under the
// connection's lock.

#include <pulse/pulseaudio.h>

#include <string>

#include "audio/pulse_connection.h"

namespace velmora::pulse {

// How long a stop by limit may wait for the written sound to play out.
inline constexpr Milliseconds kDrainLimit{500};
// The stream's target latency: short, so that a sound starts promptly after play.
inline constexpr Milliseconds kTargetLatency{20};

// A new stream for 16-bit mono sound at the program's rate, connecting corked to the
// named sink ("" = the default sink, followed when it changes). Not ready yet when it
// returns; nullptr when the server refuses it at once.
pa_stream* connectPlaybackStream(Connection& connection, const std::string& sinkName);
bool isReady(pa_stream* stream);
// Forgets the stream's callbacks, disconnects it and drops our reference.
void releaseStream(pa_stream* stream);

class StreamStock {
 public:
  explicit StreamStock(Connection& connection) : connection_(connection) {}
  ~StreamStock();
  StreamStock(const StreamStock&) = delete;
  StreamStock& operator=(const StreamStock&) = delete;

  // The stream prepared for this sink if it is ready, else nullptr. The caller owns it.
  pa_stream* take(const std::string& sinkName);
  // Starts making a stream for the next sound on this sink, unless one is on its way.
  void prepare(const std::string& sinkName);
  // A sound has ended: the prepared stream is given back unless another sound takes it soon.
  void soundEnded();

 private:
  static void onSpareExpired(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* stock);
  void dropSpare();

  Connection& connection_;
  pa_stream* spare_ = nullptr;
  std::string spareSink_;
  pa_time_event* spareTimer_ = nullptr;
};

}  // namespace velmora::pulse
