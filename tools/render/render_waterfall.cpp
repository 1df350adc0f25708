// --waterfall: the receiver's view of the rendering as a PNG picture.
#include <cmath>
#include <filesystem>
#include <system_error>

#include "render/render_internal.h"

namespace velmora::render {

waterfall::Sending waterfallSending(const Rendering& rendering) {
  const RenderSettings& settings = rendering.settings;
  waterfall::Sending sending;
  sending.settings.center = settings.frequency;
  sending.settings.offset = settings.offset;
  sending.settings.durationMs = static_cast<std::uint32_t>(settings.durationMs);
  sending.settings.concurrent = settings.concurrent;
  sending.settings.pilotTone = settings.pilotTone;
  sending.settings.reverse = settings.reverse;
  sending.settings.maximizeAveragePower = settings.maximizeAveragePower;
  sending.settings.skipDarkPixels = settings.skipDarkPixels;
  sending.columns = rendering.columns;
  sending.tuningTone = rendering.tune;
  // The tuning level follows the mode, as the window's buttons do.
  sending.tuneSinglePixel = settings.concurrent;
  return sending;
}

int writeWaterfall(const Rendering& rendering, const std::string& path, const waterfall::DrawOptions& options,
                   Environment& env) {
  const waterfall::Picture picture = waterfall::drawWaterfall(waterfallSending(rendering), options);
  if (picture.lines < picture.totalLines) {
    env.err << "Picture cut to its first " << picture.lines << " of " << picture.totalLines << " lines ("
            << std::lround(picture.lines * picture.secondsPerLine) << " of "
            << std::lround(picture.totalLines * picture.secondsPerLine) << " s)\n";
  }
  if (!writePng(path, picture.width, picture.height, picture.pixels)) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    env.err << "Cannot write '" << path << "'\n";
    return kExitBadInput;
  }
  return kExitOk;
}

int listReceivers(Environment& env) {
  for (const waterfall::ReceiverProfile& receiver : waterfall::receiverProfiles()) {
    env.out << receiver.key << '\t' << receiver.name << '\t' << receiver.hzPerPixel << " Hz/px\t"
            << receiver.linesPerSecond << " lines/s\t"
            << (receiver.layout == waterfall::Layout::FrequencyAcross ? "frequency across" : "time across")
            << '\n';
  }
  return kExitOk;
}

}  // namespace velmora::render
