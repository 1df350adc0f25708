// The command line of velmora-render.
#include <charconv>

#include "render/render.h"
#include "waterfall/receiver_profile.h"

namespace velmora::render {

namespace {

bool isDeviceNumber(const std::string& argument) {
  return !argument.empty() && argument.find_first_not_of("0123456789") == std::string::npos;
}

std::optional<std::string> waterfallOptionsError(const Options& options) {
  if (options.layout && *options.layout != "across" && *options.layout != "upward") {
    return "Unknown layout '" + *options.layout + "' (across or upward)";
  }
  if (options.layout && !options.waterfallPath) return std::string("Option '--layout' needs --waterfall");
  if (options.receiver && !options.waterfallPath) return std::string("Option '--receiver' needs --waterfall");
  if (options.receiver && waterfall::findReceiver(*options.receiver) == nullptr)
    return "Unknown receiver '" + *options.receiver + "' (see --receivers)";
  if (options.waterfallPath && (options.outputPath || options.playDevice || options.reportPath)) {
    return std::string(
        "Option '--waterfall' draws the sound instead of writing or playing it: "
        "drop OUT.wav, --play and --report");
  }
  return std::nullopt;
}

}  // namespace

std::variant<Options, std::string> parseArguments(const std::vector<std::string>& arguments) {
  Options options;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= arguments.size()) return std::nullopt;
      return arguments[++i];
    };
    const bool isOption = !optionsEnded && argument.size() > 1 && argument[0] == '-';
    if (!isOption) {
      if (options.outputPath) return "Unexpected argument '" + argument + "'";
      options.outputPath = argument;
      continue;
    }
    std::optional<std::string>* target = nullptr;
    if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--settings") {
      target = &options.settingsPath;
    } else if (argument == "--text") {
      target = &options.text;
    } else if (argument == "--font") {
      target = &options.fontPath;
    } else if (argument == "--report") {
      target = &options.reportPath;
    } else if (argument == "--key") {
      options.key = true;
    } else if (argument == "--loop") {
      options.loop = true;
    } else if (argument == "--waterfall") {
      target = &options.waterfallPath;
    } else if (argument == "--layout") {
      target = &options.layout;
    } else if (argument == "--receiver") {
      target = &options.receiver;
    } else if (argument == "--receivers") {
      options.listReceivers = true;
    } else if (argument == "--tune") {
      options.tune = true;
    } else if (argument == "--decode") {
      target = &options.decodePath;
    } else if (argument == "--listen") {
      options.listenSource = "";
      if (i + 1 < arguments.size() && arguments[i + 1].rfind("-", 0) != 0) options.listenSource = arguments[++i];
    } else if (argument == "--sources") {
      options.listSources = true;
    } else if (argument == "--search") {
      options.search = true;
    } else if (argument == "--verbose") {
      options.verbose = true;
    } else if (argument == "--devices") {
      options.listDevices = true;
    } else if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (argument == "--play") {
      options.playDevice = 0;
      if (i + 1 < arguments.size() && isDeviceNumber(arguments[i + 1])) {
        const std::string& number = arguments[++i];
        int device = 0;
        const auto result = std::from_chars(number.data(), number.data() + number.size(), device);
        if (result.ec != std::errc{}) return "Bad device number '" + number + "'";
        options.playDevice = device;
      }
    } else {
      return "Unknown option '" + argument + "'";
    }
    if (target != nullptr) {
      *target = value();
      if (!*target) return "Option '" + argument + "' needs a value";
    }
  }
  if (auto message = waterfallOptionsError(options)) return *message;
  const bool receiving = options.decodePath || options.listenSource || options.listSources;
  if (receiving && (options.outputPath || options.playDevice || options.waterfallPath || options.tune)) {
    return std::string("Options '--decode', '--listen' and '--sources' read sound: drop OUT.wav, --play, --waterfall and --tune");
  }
  if ((options.search || options.verbose) && !options.decodePath && !options.listenSource) {
    return std::string("Options '--search' and '--verbose' need --decode or --listen");
  }
  if (!options.help && !options.version && !options.listDevices && !options.listReceivers && !options.playDevice &&
      !options.outputPath && !options.waterfallPath && !receiving) {
    return std::string("No output file given (see --help)");
  }
  if (!options.playDevice) {
    if (options.key) return std::string("Option '--key' needs --play");
    if (options.loop) return std::string("Option '--loop' needs --play");
  }
  if (options.loop && options.tune) return std::string("Option '--loop' cannot be used with --tune");
  return options;
}

std::string usageText() {
  return "Usage: velmora-render [--settings FILE] [--text TEXT] [--font FILE] [--tune] [--report FILE]\n"
         "                      [--devices] [--play [N] [--key] [--loop]] OUT.wav\n"
         "       velmora-render [--settings FILE] [--text TEXT] [--font FILE] [--tune]\n"
         "                      --waterfall OUT.png [--receiver NAME] [--layout across|upward]\n"
         "       velmora-render --receivers\n"
         "       velmora-render [--settings FILE] [--font FILE] [--search] [--verbose]\n"
         "                      --decode IN.wav | --listen [SOURCE] | --sources\n"
         "Renders the text of a Velmora.ini (default ./Velmora.ini) as the program sends it:\n"
         "16-bit mono PCM at 11025 samples/s. The text is cut to 1023 characters.\n"
         "  --settings FILE  settings to use; section [Velmora]\n"
         "  --text TEXT      text to send instead of the settings' text\n"
         "  --font FILE      glyph font instead of '5x7 (International).txt'\n"
         "  --tune           the 10-second tuning tone instead of the text\n"
         "  --report FILE    one line per column: index, mask, pixel count, average %, peak %\n"
         "                   (the tuning tone: 'tune', average %, peak %)\n"
         "  --version        print the version and exit\n"
         "  --devices        list the output devices with the numbers --play takes, and exit\n"
         "  --play [N]       play on output device N (default 0) instead of writing OUT.wav, as the\n"
         "                   program sends: logged to ./Logfile.txt, stopped by Ctrl+C (exit 130)\n"
         "  --key            with --play: key the transmitter with the settings' PTT control\n"
         "                   (CAT, RTS, DTR or Hamlib), as the program does\n"
         "  --loop           with --play: send the text again after the settings' Interval, as\n"
         "                   \"Loop\" does, until stopped\n"
         "  --waterfall OUT.png  draw the sound as a receiver's waterfall shows it, as a PNG picture\n"
         "                   at true scale (one pixel per bin and per line), with the columns\n"
         "                   where a transmission sends them; cut past 65535 lines\n"
         "  --receiver NAME  the receiver to draw as (key or name, default fldigi-x1)\n"
         "  --receivers      list the receivers: key, name, Hz per pixel, lines per second\n"
         "  --layout L       instead of the receiver's layout: across: frequency across, newest\n"
         "                   line on top; upward: time across, frequency upward\n"
         "  --decode IN.wav  print the text read from a recording (any rate; 1 when none is found)\n"
         "  --listen [SOURCE]  print the text read live from sound input SOURCE (a number of\n"
         "                   --sources, 0 the default, or a name), each character as it completes\n"
         "  --sources        list the sound inputs and exit\n"
         "  --search         with --decode or --listen: ignore the settings' frequency, offset,\n"
         "                   duration and mode, and search for them\n"
         "  --verbose        with --decode or --listen: each character's time, and confidence (0..1)\n"
         "Exit codes: 0 done, 1 not every sound could be played (--play), 2 bad input,\n"
         "3 the transmitter could not be unkeyed (--key: it may still be keyed), 130 interrupted.\n";
}

}  // namespace velmora::render
