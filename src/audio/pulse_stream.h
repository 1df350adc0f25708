#pragma once
// Playback streams on one connection. Every call here is made under the connection's lock.

#include <pulse/pulseaudio.h>

#include <string>

#include "audio/pulse_connection.h"

namespace velmora::pulse {

// How long a stop by limit may wait for the written sound to play out.
inline constexpr Milliseconds kDrainLimit{500};
// The stream's target latency. Every sound is written whole before it plays, so a long
// one costs nothing but a later start; what it sets is how often the server wakes up.
// PulseAudio: short, so that a sound starts within a few milliseconds of play (its sinks
// rewind to start a sound at once).
inline constexpr Milliseconds kPulseAudioTargetLatency{20};
// PipeWire's pulse server turns this into the graph's cycle for every stream of the
// desktop (20 ms gave 256 frames at 48 kHz, 5.3 ms, and dropouts on a busy machine). 50 ms
// gives 512 frames (10.7 ms). A sound starts at a cycle's start and its stream is padded
// to the cycle's end, so the silence between two sounds is the rest of the last cycle,
// up to one cycle: 1024 frames would leave 20 ms between 300 ms columns.
inline constexpr Milliseconds kPipeWireTargetLatency{50};

// A new stream for 16-bit mono sound at the program's rate, connecting corked to the
// named sink ("" = the default sink, followed when it changes), at a volume of levelDb
// (0 or less). Not ready yet when it returns; nullptr when the server refuses it at once.
pa_stream* connectPlaybackStream(Connection& connection, const std::string& sinkName, int levelDb);
bool isReady(pa_stream* stream);
// Forgets the stream's callbacks, disconnects it and drops our reference.
void releaseStream(pa_stream* stream);

// The stream that the last sound played on, kept running (dry, so silent) for the next
// sound on the same sink. Each sound then follows the one before within the server's
// next cycle, instead of paying for a new stream's start-up: a new stream on PipeWire
// takes a round trip to make, and two or three graph cycles to be heard once uncorked.
class KeptStream {
 public:
  explicit KeptStream(Connection& connection) : connection_(connection) {}
  // Lets a sound that has just ended play out (bounded) before the stream goes.
  ~KeptStream();
  KeptStream(const KeptStream&) = delete;
  KeptStream& operator=(const KeptStream&) = delete;

  // The kept stream if it is for this sink and level and still ready, else nullptr. The
  // caller owns it.
  pa_stream* take(const std::string& sinkName, int levelDb);
  // Keeps a stream whose sound the server has taken in whole.
  void keep(pa_stream* stream, const std::string& sinkName, int levelDb);
  // Waits (bounded) until the kept stream's last sound has played out.
  void waitUntilHeard();

 private:
  static void onIdle(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* kept);
  void drop();

  Connection& connection_;
  pa_stream* stream_ = nullptr;
  std::string sinkName_;
  int levelDb_ = 0;
  pa_usec_t keptAt_ = 0;
  pa_time_event* idleTimer_ = nullptr;
};

}  // namespace velmora::pulse
