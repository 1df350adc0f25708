// --waterfall: the receiver's view of the rendering as a PNG picture.
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

int writeWaterfall(const Rendering& rendering, const std::string& path, waterfall::Layout layout,
                   Environment& env) {
  waterfall::DrawOptions options;
  options.layout = layout;
  const waterfall::Picture picture = waterfall::drawWaterfall(waterfallSending(rendering), options);
  if (!writePng(path, picture.width, picture.height, picture.pixels)) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    env.err << "Cannot write '" << path << "'\n";
    return kExitBadInput;
  }
  return kExitOk;
}

}  // namespace velmora::render
