#pragma once
// What the parts of velmora-render share and the public header does not show.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "receive/decoder.h"
#include "render/render.h"
#include "waterfall/waterfall.h"

namespace velmora::render {

inline constexpr const char* kSection = "Velmora";  // the settings file's section

// What is sent: the tuning tone, or the columns of a text.
struct Rendering {
  RenderSettings settings;
  bool tune = false;
  std::vector<std::uint8_t> columns;
};

// The samples of the longest sound of the rendering, and of all of them together.
std::size_t largestSoundSamples(const Rendering& rendering);
std::uint64_t totalSamples(const Rendering& rendering);

// The --report file; every call is harmless when no report was asked for.
class Report {
 public:
  bool open(const std::optional<std::string>& path);
  bool wanted() const { return stream_.is_open(); }
  void add(const std::string& line);
  bool finish();

 private:
  std::ofstream stream_;
};

// --waterfall: the picture of the rendering, and the PNG file it is written to.
waterfall::Sending waterfallSending(const Rendering& rendering);
bool writePng(const std::string& path, int width, int height, const std::vector<std::uint32_t>& pixels);
int writeWaterfall(const Rendering& rendering, const std::string& path, const waterfall::DrawOptions& options,
                   Environment& env);
int listReceivers(Environment& env);

int writeWav(const Rendering& rendering, const std::string& path, Report& report, Environment& env);
// Plays through the program's own workers, keyed when asked, on list entry deviceIndex.
int play(const Rendering& rendering, const GlyphTable& glyphs, const Options& options, Report& report,
         Environment& env);
int listDevices(Environment& env);

// Reading text back: hints from the settings (none with --search), a WAV file, a live
// input, and the list of inputs.
receive::Hints receiveHints(const RenderSettings& settings, bool search);
int decodeWav(const std::string& path, const receive::Hints& hints, const GlyphTable& glyphs, bool verbose,
              Environment& env);
int listen(const std::string& source, const receive::Hints& hints, const GlyphTable& glyphs, bool verbose,
           Environment& env);
int listSources(Environment& env);

}  // namespace velmora::render
