#pragma once
// velmora-render: the program's sounds for a text (or the tuning tone) written to a WAV
// file or played on an output device, with the settings of a Velmora.ini.

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "audio/audio_output.h"
#include "core/clock.h"
#include "ptt/ptt_keyer.h"
#include "ptt/rig_control.h"
#include "ptt/serial_port.h"
#include "synth/synthesis.h"
#include "transmit/glyph_font.h"

namespace velmora {
class IniFile;
}

namespace velmora::render {

inline constexpr int kExitOk = 0;
inline constexpr int kExitNotPlayed = 1;  // --play: the device could not be opened, or a sound failed
inline constexpr int kExitBadInput = 2;
// --key: unkeying failed ("Error unkeying the transmitter ..."): the rig may still be keyed.
inline constexpr int kExitNotUnkeyed = 3;
inline constexpr int kExitInterrupted = 130;
inline constexpr std::size_t kMaxTextCharacters = 1023;

// The settings that shape the sound, as the settings file holds them.
struct RenderSettings {
  bool concurrent = true;
  bool skipDarkPixels = false;
  bool maximizeAveragePower = false;
  std::int32_t frequency = 1000;
  std::int32_t offset = 1;
  std::int32_t durationMs = 10;
  std::string text;  // UTF-8
  bool pilotTone = false;
  bool reverse = false;
};

// Section "Velmora" of a loaded settings file; absent keys keep their defaults.
RenderSettings readRenderSettings(const IniFile& ini);

// The message of the first field outside the range that "Transmit" accepts, in the
// order frequency, offset, duration; nullopt when all are inside.
std::optional<std::string> transmitRangeError(const RenderSettings& settings);
// "Tune" checks the frequency alone.
std::optional<std::string> tuneRangeError(const RenderSettings& settings);

// UTF-8 text as the glyph codes it sends: Windows-1252, at most 1023 characters.
std::string sendableText(const std::string& utf8);


ColumnParameters columnParameters(const RenderSettings& settings, std::uint8_t mask);
// The samples of one column in the settings' mode.
SynthesizedSound synthesizeColumn(const RenderSettings& settings, std::uint8_t mask,
                                  std::span<std::int16_t> out);
// The samples the column writes, without synthesizing it.
std::size_t columnSamplesWritten(const RenderSettings& settings, std::uint8_t mask);

// "<index> <mask as two hex digits> <pixel count> <average %1.1f> <peak %1.1f>"
std::string reportLine(std::size_t index, std::uint8_t mask, const SynthesizedSound& sound);
// The tuning tone has no mask or pixel count: "tune <average> <peak>".
std::string tuneReportLine(const PowerFigures& figures);

// The canonical 44-byte header of 16-bit mono PCM at 11025 samples/s.
std::vector<std::uint8_t> wavHeader(std::uint32_t sampleCount);

struct Options {
  std::optional<std::string> settingsPath;
  std::optional<std::string> text;
  std::optional<std::string> fontPath;
  std::optional<std::string> reportPath;
  std::optional<std::string> outputPath;
  bool tune = false;
  bool listDevices = false;
  bool help = false;
  bool version = false;
  std::optional<int> playDevice;             // set by --play
  bool key = false;                          // --key: key the transmitter as the settings say
  bool loop = false;                         // --loop: repeat after the Interval until stopped
  std::optional<std::string> waterfallPath;  // --waterfall: a picture instead of the sound
  std::optional<std::string> layout;         // --layout: "across" or "upward", instead of the receiver's
  std::optional<std::string> receiver;       // --receiver: a receiver profile's key or name
  bool listReceivers = false;                // --receivers
  std::optional<std::string> decodePath;     // --decode: read the text of a recording
  std::optional<std::string> listenSource;   // --listen: read text live ("" = default input)
  bool listSources = false;                  // --sources
  bool search = false;                       // --search: no hints from the settings
  bool verbose = false;                      // --verbose: per-character confidences
};

// The options, or the one-line message for a bad command line.
std::variant<Options, std::string> parseArguments(const std::vector<std::string>& arguments);

std::string usageText();

// What the renderer needs from its surroundings; main() supplies the real ones.
struct Environment {
  std::string currentDirectory;
  std::string programDirectory;  // may be empty when unknown
  std::ostream& out;
  std::ostream& err;
  Clock& clock;
  const std::atomic<int>& stopFlag;  // set by a signal: stop at once
  std::function<std::unique_ptr<AudioOutput>()> makeAudioOutput;
  bool stderrIsTerminal = false;  // the progress display rewrites one line
  // Keying; empty ones give the program's own (termios ports on /dev's devices, Hamlib).
  std::function<std::unique_ptr<SerialPortOpener>()> makeSerialPorts = {};
  PortPathResolver portPath = {};
  std::function<std::shared_ptr<RigControl>()> makeRigs = {};
  // The guard process that unkeys should the tool be killed; none when empty.
  std::function<std::shared_ptr<PttGuard>(std::function<void(const std::string&)> writeLog)> makeGuard = {};
};

// The whole tool: parses the arguments, renders, and returns the exit code.
int run(const std::vector<std::string>& arguments, Environment& env);

}  // namespace velmora::render
