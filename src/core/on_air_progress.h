#pragma once
// What is on the air right now, for a view that follows it (the waterfall window). The
// worker reports each step; the view reads the latest state whenever it likes. A report
// never waits for the view: the listener it calls only posts a note and returns.

#include <cstdint>
#include <functional>
#include <mutex>

namespace velmora {

struct OnAir {
  enum class Sound { None, Text, Tune };
  Sound sound = Sound::None;
  // Text: the column of the pass being sent, counting glyph columns and the gaps between
  // characters from 0.
  int column = -1;
  // Tune: the clock tick at which the tone began to play.
  std::uint32_t startTick = 0;

  bool operator==(const OnAir&) const = default;
};

class OnAirProgress {
 public:
  // Runs after every report, on the reporting thread. Set before any worker starts.
  void setListener(std::function<void()> listener);

  void reportTextColumn(int column);
  void reportTuneTone(std::uint32_t startTick);
  // The pass, the tone or the run is over: nothing is on the air.
  void reportNothing();

  OnAir now() const;

 private:
  void report(const OnAir& state);

  mutable std::mutex mutex_;
  OnAir state_;
  std::function<void()> listener_;
};

}  // namespace velmora
