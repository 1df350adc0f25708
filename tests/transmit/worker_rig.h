#pragma once
// A worker's whole surroundings for tests: controls, messages, shared state, in-memory
// sound, a real keyer on a recording serial port, a real event log in a temporary folder
// with a fixed time, and a fake clock.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/shared_state.h"
#include "core/worker_context.h"
#include "log/event_log.h"
#include "ptt/ptt_keyer.h"
#include "support/fake_clock.h"
#include "support/memory_audio.h"
#include "support/memory_controls.h"
#include "support/recording_message_box.h"
#include "support/recording_serial_port.h"
#include "transmit/glyph_font.h"

namespace velmora::testing {

class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velmora-worker-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline UtcTime fixedLogTime() { return UtcTime{2024, 12, 24, 13, 5, 9, 42}; }

struct WorkerRig {
  FakeClock clock;
  MemoryControls controls;
  RecordingMessageBox messages;
  SharedState shared;
  MemoryAudio audio{&clock};
  RecordingSerialPortOpener ports;
  PttKeyer ptt{ports, messages, clock, shared.stopFlag, [](int number) { return "/dev/fake" + std::to_string(number); }};
  TemporaryFolder folder;
  EventLog log{folder.path(), fixedLogTime};
  GlyphTable glyphs;
  WorkerContext ctx{controls, messages, shared, audio, ptt, log, clock, glyphs};

  // A window as the "Transmit" command leaves it: valid fields, C/MT, busy.
  WorkerRig() {
    audio.openDevice(-1);
    controls.setText(ControlId::CenterFrequency, "1000");
    controls.setText(ControlId::PixelOffset, "10");
    controls.setText(ControlId::Duration, "300");
    controls.setText(ControlId::Interval, "0");
    controls.setChecked(ControlId::Concurrent, true);
    controls.setChecked(ControlId::FullScale, true);
    shared.centerFrequency = 1000;
    shared.pixelRowOffset = 10;
    shared.columnDuration = 300;
  }

  // CAT keying with one-byte commands: "write A1" keys, "write B2" unkeys.
  void useCatKeying() {
    PttSettings settings;
    settings.UsePTTControl = 1;
    settings.CAT = 1;
    settings.TXCommand = "A1";
    settings.RXCommand = "B2";
    ptt.setSettings(settings);
  }

  // The log's messages without their time stamps.
  std::vector<std::string> logMessages() const {
    std::ifstream file(log.path(), std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    const std::string stamp = formatLogTimestamp(fixedLogTime(), false);
    std::vector<std::string> lines;
    std::string all = content.str();
    for (std::size_t start = 0; start < all.size();) {
      const std::size_t end = all.find("\r\n", start);
      if (end == std::string::npos) {
        lines.push_back("unterminated: " + all.substr(start));
        break;
      }
      std::string line = all.substr(start, end - start);
      lines.push_back(line.rfind(stamp, 0) == 0 ? line.substr(stamp.size()) : "unstamped: " + line);
      start = end + 2;
    }
    return lines;
  }

  // Port events that send bytes: the keying and unkeying commands.
  std::vector<std::string> portWrites() const {
    std::vector<std::string> writes;
    for (const auto& event : ports.events())
      if (event.rfind("write", 0) == 0) writes.push_back(event);
    return writes;
  }
};

// Every other entry of a status field's history: the values shown while each sound
// played, without the clearing 0 that follows each.
inline std::vector<std::string> shownValues(const std::vector<std::string>& history) {
  std::vector<std::string> shown;
  for (std::size_t i = 0; i < history.size(); i += 2) shown.push_back(history[i]);
  return shown;
}

}  // namespace velmora::testing
