// velmora-render --waterfall: the PNG decodes back to the glyphs' pixels where a receiver
// would show them, in both layouts and with Reverse, at the receiver's scale; a long one
// is cut; bad input as the tool's other errors.
#include <gtest/gtest.h>
#include <png.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "render/render.h"
#include "settings/settings_test_support.h"
#include "support/fake_clock.h"
#include "transmit/glyph_font.h"

namespace velmora::render {
namespace {

const std::string kFontFile = std::string(VELMORA_SOURCE_DATA_DIR) + "/" + kFontFileName;

struct Rgb {
  png_image image{};
  std::vector<std::uint8_t> bytes;  // 3 per pixel, top row first
  int width() const { return static_cast<int>(image.width); }
  int height() const { return static_cast<int>(image.height); }
  // Above about -35 dB on the colour map (yellow, red, white).
  bool bright(int x, int y) const {
    return bytes.at((static_cast<std::size_t>(y) * image.width + x) * 3) >= 200;
  }
};

Rgb readPng(const std::string& path) {
  Rgb rgb;
  rgb.image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&rgb.image, path.c_str()) == 0) return {};
  rgb.image.format = PNG_FORMAT_RGB;
  rgb.bytes.resize(PNG_IMAGE_SIZE(rgb.image));
  if (png_image_finish_read(&rgb.image, nullptr, rgb.bytes.data(), 0, nullptr) == 0) return {};
  return rgb;
}

class RenderWaterfall : public ::testing::Test {
 protected:
  // C/MT at 1500/10 Hz, 2000 ms a column; arguments split at spaces, "@" for the folder.
  int runTool(const std::string& text, bool reverse, const std::string& arguments) {
    std::ofstream(dir.file("Velmora.ini"))
        << "[Velmora]\nConcurrent=1\nFrequency=1500\nOffset=10\nDuration=2000\n"
        << "Text=" << text << "\nReverse=" << reverse << "\n";
    std::vector<std::string> split = {"--font", kFontFile};
    std::istringstream words(arguments);
    for (std::string word; words >> word;) split.push_back(withFolder(word));
    Environment env{dir.path(), "", out, err, clock, stop, [] { return nullptr; }};
    return run(split, env);
  }
  std::string withFolder(std::string text) const {
    if (const auto at = text.find('@'); at != std::string::npos) text.replace(at, 1, dir.path());
    return text;
  }

  testing::ScratchFolder dir;
  std::ostringstream out, err;
  testing::FakeClock clock;
  std::atomic<int> stop{0};
};

struct LayoutCase {
  const char* name;
  std::string arguments;
  bool reverse;
  bool across;
  double linesPerSecond;
};

class RenderWaterfallLayouts : public RenderWaterfall, public ::testing::WithParamInterface<LayoutCase> {};

// At 1 Hz per pixel, 513 bins from 256 Hz below the center to 256 above, one per pixel;
// a 2000 ms column holds the air 2050 ms, drawn in as many lines as the receiver takes.
TEST_P(RenderWaterfallLayouts, GlyphPixelsAreBrightWhereTheirTonesAre) {
  const LayoutCase& c = GetParam();
  ASSERT_EQ(runTool("F7", c.reverse, "--waterfall @/out.png " + c.arguments), kExitOk) << err.str();
  EXPECT_EQ(err.str(), "");
  const Rgb picture = readPng(dir.file("out.png"));
  constexpr int kColumns = 11, kBins = 513;
  const int lines = static_cast<int>(std::ceil(kColumns * 2.05 * c.linesPerSecond));
  ASSERT_GT(c.across ? picture.width() : picture.height(), kBins);
  ASSERT_GT(c.across ? picture.height() : picture.width(), lines);

  GlyphTable glyphs;
  ASSERT_TRUE(loadGlyphFont(kFontFile, glyphs));
  for (int column = 0; column < kColumns; ++column) {
    const std::uint8_t mask = column % 6 == 5 ? 0 : glyphs.columns("F7"[column / 6])[column % 6];
    const int line = static_cast<int>((column + 0.5) * 2.05 * c.linesPerSecond);  // the column's middle
    for (int row = 0; row < 7; ++row) {
      const int bin = kBins / 2 + 10 * (row - 3) * (c.reverse ? -1 : 1);
      // The plot lies at the right and bottom edges across, at the right and top upward.
      const int x = c.across ? picture.width() - kBins + bin : picture.width() - lines + line;
      const int y = c.across ? picture.height() - 1 - line : kBins - 1 - bin;
      EXPECT_EQ(picture.bright(x, y), ((mask >> row) & 1U) != 0) << "column " << column << " row " << row;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, RenderWaterfallLayouts,
    ::testing::Values(LayoutCase{"FldigiZoomed", "--receiver fldigi-x4", false, true, 7.8},
                      LayoutCase{"Reversed", "--receiver fldigi-x4", true, true, 7.8},
                      LayoutCase{"Grabber", "--receiver grabber", false, false, 2.0},
                      LayoutCase{"GrabberLaidAcross", "--receiver grabber --layout across", false, true, 2.0}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(RenderWaterfall, TuningToneIsOneBrightLineAtTheCenter) {
  ASSERT_EQ(runTool("", false, "--tune --waterfall @/tune.png"), kExitOk) << err.str();
  const Rgb picture = readPng(dir.file("tune.png"));
  const int middle = picture.height() - 1 - 39;  // five seconds in, 7.8 lines a second
  const int center = picture.width() - 129 + 64;  // 129 bins of 4 Hz
  EXPECT_TRUE(picture.bright(center, middle));
  EXPECT_FALSE(picture.bright(center - 8, middle));
  EXPECT_FALSE(picture.bright(center + 8, middle));
}

TEST_F(RenderWaterfall, ALongPictureIsCutWithOneLineSayingSo) {
  std::ofstream(dir.file("long.ini")) << "[Velmora]\nConcurrent=1\nFrequency=1500\nOffset=10\nDuration=60000\n";
  ASSERT_EQ(runTool("", false, "--settings @/long.ini --text ABCDEFGHIJKLMNOPQRSTUVWXYZ --waterfall @/long.png"),
            kExitOk);
  // 155 columns of 60.05 s at 7.8 lines a second.
  EXPECT_EQ(err.str(), "Picture cut to its first 65535 of 72601 lines (8402 of 9308 s)\n");
  EXPECT_EQ(readPng(dir.file("long.png")).height(), 65535 + 18);  // and the frequency scale
}

struct ErrorCase {
  const char* name;
  std::string arguments, message;
};

class RenderWaterfallErrors : public RenderWaterfall, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(RenderWaterfallErrors, OneLineAndExitCodeTwo) {
  std::ofstream(dir.file("offset.ini")) << "[Velmora]\nOffset=11\nDuration=300\n";
  EXPECT_EQ(runTool("CQ", false, GetParam().arguments), kExitBadInput);
  EXPECT_EQ(err.str(), withFolder(GetParam().message) + "\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("out.png")));
}

INSTANTIATE_TEST_SUITE_P(
    Input, RenderWaterfallErrors,
    ::testing::Values(
        ErrorCase{"UnknownLayout", "--waterfall @/out.png --layout sideways",
                  "Unknown layout 'sideways' (across or upward)"},
        ErrorCase{"LayoutNeedsAValue", "--waterfall @/out.png --layout", "Option '--layout' needs a value"},
        ErrorCase{"LayoutOnlyForAPicture", "--layout upward @/out.wav",
                  "Option '--layout' needs --waterfall"},
        ErrorCase{
            "NotWithAWav", "--waterfall @/out.png @/out.wav",
            "Option '--waterfall' draws the sound instead of writing or playing it: drop OUT.wav, --play "
            "and --report"},
        ErrorCase{"UnknownReceiver", "--waterfall @/out.png --receiver sdr",
                  "Unknown receiver 'sdr' (see --receivers)"},
        ErrorCase{"ReceiverOnlyForAPicture", "--receiver grabber @/out.wav", "Option '--receiver' needs --waterfall"},
        ErrorCase{"UnwritablePicture", "--waterfall @/no/such/folder/out.png",
                  "Cannot write '@/no/such/folder/out.png'"},
        ErrorCase{"RangesAsForTheSound", "--waterfall @/out.png --settings @/offset.ini",
                  "Pixel offset out of valid range (1..10)"}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace velmora::render
