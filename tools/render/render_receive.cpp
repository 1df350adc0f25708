// --decode, --listen and --sources: reading text back from a recording or a live input.
#include <iomanip>
#include <sstream>

#include "audio/pulse_input.h"
#include "receive/decoder.h"
#include "receive/live_decoder.h"
#include "render/render_internal.h"
#include "render/wav_reader.h"
#include "transmit/text_codec.h"

namespace velmora::render {

namespace {

constexpr int kListenRate = 11025;
constexpr const char* kApplicationName = "velmora-render";

std::string utf8Of(std::uint8_t code) { return windows1252ToUtf8(std::string(1, static_cast<char>(code))); }

std::string parametersLine(const receive::Decoding& d) {
  std::ostringstream line;
  line << std::fixed << std::setprecision(1) << d.centerHz << " Hz";
  if (d.driftHzPerMin != 0.0) line << " (drift " << d.driftHzPerMin << " Hz/min)";
  line << ", " << d.offsetHz << " Hz, " << d.durationMs << " ms, "
       << (d.mode == receive::Mode::Concurrent ? "C/MT" : "S/MT") << (d.reverse ? ", reverse" : "");
  return line.str();
}

}  // namespace

receive::Hints receiveHints(const RenderSettings& settings, bool search) {
  receive::Hints hints;
  if (search) {
    // The whole band the program can send in.
    hints.centerHz = 1550.0;
    hints.centerSearchHz = 1450.0;
    return hints;
  }
  // Values the program would not send with are no hints (a missing settings file gives
  // such defaults): the decoder then searches for them.
  if (settings.frequency >= 100 && settings.frequency <= 3000) hints.centerHz = settings.frequency;
  if (settings.offset >= 1 && settings.offset <= 10) hints.offsetHz = settings.offset;
  if (settings.durationMs >= 300 && settings.durationMs <= 60000) {
    hints.durationMs = static_cast<std::uint32_t>(settings.durationMs);
    hints.mode = settings.concurrent ? receive::Mode::Concurrent : receive::Mode::Sequential;
  }
  return hints;
}

int decodeWav(const std::string& path, const receive::Hints& hints, const GlyphTable& glyphs, bool verbose,
              Environment& env) {
  std::string error;
  const std::optional<Recording> recording = readWav(path, error);
  if (!recording) {
    env.err << error << '\n';
    return kExitBadInput;
  }
  const receive::Decoding d = receive::decodeRecording(recording->samples, recording->sampleRate, hints, glyphs);
  if (d.characters.empty()) {
    env.err << "No text found in '" << path << "'\n";
    return kExitNotPlayed;
  }
  env.out << windows1252ToUtf8(d.codes()) << '\n';
  if (verbose) {
    env.out << parametersLine(d) << '\n';
    for (const receive::DecodedCharacter& c : d.characters) {
      env.out << std::fixed << std::setprecision(3) << c.timeS << ' ' << utf8Of(c.code) << ' ' << std::setprecision(2)
              << c.confidence << '\n';
    }
  }
  return kExitOk;
}

int listSources(Environment& env) {
  const auto inputs = listPulseInputs(kApplicationName);
  if (!inputs) {
    env.err << "No sound server answers\n";
    return kExitNotPlayed;
  }
  // The number first, as --devices: it is what --listen takes.
  env.out << "0  Default input device\n";
  int number = 1;
  for (const InputEntry& input : *inputs) env.out << number++ << "  " << input.description << " (" << input.name << ")\n";
  return kExitOk;
}

int listen(const std::string& source, const receive::Hints& hints, const GlyphTable& glyphs, bool verbose,
           Environment& env) {
  // A number is a line of --sources (0: the default input), anything else a name or a
  // description.
  std::string name;
  if (!source.empty() && source != "0") {
    const auto inputs = listPulseInputs(kApplicationName);
    if (!inputs) {
      env.err << "No sound server answers\n";
      return kExitNotPlayed;
    }
    const bool number = source.find_first_not_of("0123456789") == std::string::npos;
    for (std::size_t i = 0; i < inputs->size() && name.empty(); ++i) {
      const InputEntry& input = (*inputs)[i];
      if ((number && std::to_string(i + 1) == source) || input.name == source || input.description == source)
        name = input.name;
    }
    if (name.empty()) {
      env.err << "No input '" << source << "' (see --sources)\n";
      return kExitBadInput;
    }
  }
  std::string error;
  const std::unique_ptr<SoundInput> input = openPulseInput(kApplicationName, name, kListenRate, error);
  if (!input) {
    env.err << "Cannot open input '" << (source.empty() ? "0" : source) << "': " << error << '\n';
    return kExitNotPlayed;
  }
  receive::LiveDecoder decoder(kListenRate, hints, glyphs);
  std::vector<float> chunk(kListenRate / 2);
  while (env.stopFlag.load() == 0) {
    if (!input->read(chunk)) {
      env.err << "\nThe input has gone\n";
      return kExitNotPlayed;
    }
    for (const receive::DecodedCharacter& c : decoder.push(chunk)) {
      if (verbose) {
        env.out << std::fixed << std::setprecision(3) << c.timeS << ' ' << utf8Of(c.code) << ' ' << std::setprecision(2)
                << c.confidence << '\n';
      } else {
        env.out << utf8Of(c.code);
      }
      env.out.flush();
    }
  }
  if (!verbose) env.out << '\n';
  return kExitOk;
}

}  // namespace velmora::render
