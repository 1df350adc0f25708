#pragma once
// Everything a worker (a transmission or the tuning tone) works with, handed over by the
// window when it starts one.

namespace velmora {

class Controls;
class MessageBox;
struct SharedState;
class AudioOutput;
class PttKeyer;
class EventLog;
class Clock;
class GlyphTable;

struct WorkerContext {
  Controls& controls;
  MessageBox& messages;
  SharedState& shared;
  AudioOutput& audio;
  PttKeyer& ptt;
  EventLog& log;
  Clock& clock;
  const GlyphTable& glyphs;
};

}  // namespace velmora
