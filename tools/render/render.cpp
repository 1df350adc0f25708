#include "render/render.h"

#include <filesystem>

#include "core/version.h"
#include "render/render_internal.h"
#include "settings/ini_file.h"
#include "transmit/message_columns.h"

namespace velmora::render {

namespace {

constexpr const char* kSettingsFileName = "Velmora.ini";

std::string joinPath(const std::string& folder, const std::string& name) {
  return (std::filesystem::path(folder) / name).string();
}

// The glyphs of the font named on the command line, or of the first font found where
// the program looks for it. A missing font is reported and leaves every glyph blank.
GlyphTable loadFont(const Options& options, const Environment& env) {
  std::string path;
  if (options.fontPath) {
    path = *options.fontPath;
  } else {
    path = findFontFile(env.currentDirectory, fontSearchFolders(env.programDirectory));
  }
  GlyphTable glyphs;
  if (path.empty() || !loadGlyphFont(path, glyphs)) env.err << fontMissingMessage() << '\n';
  return glyphs;
}

// The settings file named on the command line must be readable; the default one may
// be missing (its defaults then apply).
std::optional<RenderSettings> loadSettings(const Options& options, const Environment& env) {
  IniFile ini;
  if (options.settingsPath) {
    if (!ini.load(*options.settingsPath)) {
      env.err << "Cannot read settings file '" << *options.settingsPath << "'\n";
      return std::nullopt;
    }
  } else {
    ini.load(joinPath(env.currentDirectory, kSettingsFileName));
  }
  return readRenderSettings(ini);
}

}  // namespace

int run(const std::vector<std::string>& arguments, Environment& env) {
  const std::variant<Options, std::string> parsed = parseArguments(arguments);
  if (const auto* message = std::get_if<std::string>(&parsed)) {
    env.err << *message << '\n';
    return kExitBadInput;
  }
  const Options& options = std::get<Options>(parsed);
  if (options.help) {
    env.out << usageText();
    return kExitOk;
  }
  if (options.version) {
    env.out << "velmora-render " VELMORA_VERSION "\n";
    return kExitOk;
  }
  if (options.listDevices) return listDevices(env);
  if (options.listReceivers) return listReceivers(env);
  if (options.listSources) return listSources(env);

  const std::optional<RenderSettings> settings = loadSettings(options, env);
  if (!settings) return kExitBadInput;
  if (options.decodePath || options.listenSource) {
    const receive::Hints hints = receiveHints(*settings, options.search);
    const GlyphTable font = loadFont(options, env);
    return options.decodePath ? decodeWav(*options.decodePath, hints, font, options.verbose, env)
                              : listen(*options.listenSource, hints, font, options.verbose, env);
  }
  Rendering rendering{*settings, options.tune, {}};
  const std::optional<std::string> rangeMessage =
      options.tune ? tuneRangeError(rendering.settings) : transmitRangeError(rendering.settings);
  if (rangeMessage) {
    env.err << *rangeMessage << '\n';
    return kExitBadInput;
  }
  GlyphTable glyphs;
  if (!options.tune) {
    glyphs = loadFont(options, env);
    const std::string codes = sendableText(options.text.value_or(rendering.settings.text));
    rendering.columns = messageColumns(codes, glyphs);
  }

  if (options.waterfallPath) {
    waterfall::DrawOptions draw;
    draw.receiver = waterfall::findReceiver(options.receiver.value_or(""));
    if (options.layout)
      draw.layout = *options.layout == "upward" ? waterfall::Layout::TimeAcross : waterfall::Layout::FrequencyAcross;
    return writeWaterfall(rendering, *options.waterfallPath, draw, env);
  }
  Report report;
  if (!report.open(options.reportPath)) {
    env.err << "Cannot write '" << *options.reportPath << "'\n";
    return kExitBadInput;
  }
  const int result = options.playDevice ? play(rendering, glyphs, options, report, env)
                                        : writeWav(rendering, *options.outputPath, report, env);
  if (!report.finish() && result == kExitOk) {
    env.err << "Cannot write '" << *options.reportPath << "'\n";
    return kExitBadInput;
  }
  return result;
}

}  // namespace velmora::render
