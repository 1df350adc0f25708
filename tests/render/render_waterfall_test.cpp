// velmora-render --waterfall: the PNG decodes back to the glyphs' pixels where a receiver
// would show them, in both layouts and with Reverse; bad input as the tool's other errors.
#include <gtest/gtest.h>
#include <png.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "render/render.h"
#include "support/fake_clock.h"
#include "transmit/glyph_font.h"

namespace velmora::render {
namespace {

namespace fs = std::filesystem;

const std::string kFontFile = std::string(VELMORA_SOURCE_DATA_DIR) + "/" + kFontFileName;

struct Rgb {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> bytes;  // 3 per pixel, top row first

  // Above about -35 dB on the colour map (yellow, red, white).
  bool bright(int x, int y) const { return bytes[(static_cast<std::size_t>(y) * width + x) * 3] >= 200; }
};

Rgb readPng(const fs::path& path) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  Rgb rgb;
  if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return rgb;
  image.format = PNG_FORMAT_RGB;
  rgb.bytes.resize(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, rgb.bytes.data(), 0, nullptr) == 0) return {};
  rgb.width = image.width;
  rgb.height = image.height;
  return rgb;
}

class RenderWaterfall : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velmora-waterfall-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  void writeSettings(const std::string& text, bool reverse) {
    std::ofstream(dir_ / "Velmora.ini")
        << "[Velmora]\nConcurrent=1\nFrequency=1500\nOffset=10\nDuration=2000\n"
        << "Text=" << text << "\nReverse=" << (reverse ? 1 : 0) << "\n";
  }

  int runTool(const std::vector<std::string>& arguments) {
    err_.str("");
    Environment env{dir_.string(), "", out_, err_, clock_, stop_, [] { return nullptr; }};
    return run(arguments, env);
  }

  fs::path dir_;
  std::ostringstream out_, err_;
  testing::FakeClock clock_;
  std::atomic<int> stop_{0};
};

struct LayoutCase {
  const char* name;
  std::string layout;
  bool reverse;
};

class RenderWaterfallLayouts : public RenderWaterfall, public ::testing::WithParamInterface<LayoutCase> {};

// Five pixels per bin, two bins per row offset, ten time lines per column; 29 bins from
// 7 offsets below the center to 7 above.
TEST_P(RenderWaterfallLayouts, GlyphPixelsAreBrightWhereTheirTonesAre) {
  const LayoutCase& c = GetParam();
  const std::string text = "F7";
  writeSettings(text, c.reverse);
  const fs::path png = dir_ / "out.png";
  std::vector<std::string> arguments = {"--font", kFontFile, "--waterfall", png.string()};
  if (!c.layout.empty()) arguments.insert(arguments.end(), {"--layout", c.layout});
  ASSERT_EQ(runTool(arguments), kExitOk) << err_.str();
  const Rgb picture = readPng(png);
  constexpr int kColumns = 11;
  constexpr int kBandPixels = 29 * 5;
  const bool across = c.layout != "upward";
  ASSERT_EQ(across ? picture.width : picture.height, static_cast<std::uint32_t>(kBandPixels));
  const int lines = kColumns * 10;
  ASSERT_GT(across ? picture.height : picture.width, static_cast<std::uint32_t>(lines));

  GlyphTable glyphs;
  ASSERT_TRUE(loadGlyphFont(kFontFile, glyphs));
  for (int column = 0; column < kColumns; ++column) {
    const int character = column / 6;
    const std::uint8_t mask =
        column % 6 == 5 ? 0 : glyphs.columns(static_cast<std::uint8_t>(text[character]))[column % 6];
    const int line = column * 10 + 5;  // the middle of the column's time
    for (int row = 0; row < 7; ++row) {
      const int bin = 14 + 2 * (row - 3) * (c.reverse ? -1 : 1);
      const int along = bin * 5 + 2;  // the middle of the bin, from the low-frequency edge
      const bool lit = ((mask >> row) & 1U) != 0;
      const int x = across ? along : static_cast<int>(picture.width) - lines + line;
      const int y = across ? static_cast<int>(picture.height) - 1 - line : kBandPixels - 1 - along;
      EXPECT_EQ(picture.bright(x, y), lit) << "column " << column << " row " << row;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, RenderWaterfallLayouts,
                         ::testing::Values(LayoutCase{"DefaultAcross", "", false},
                                           LayoutCase{"AcrossReversed", "across", true},
                                           LayoutCase{"Upward", "upward", false}),
                         [](const ::testing::TestParamInfo<LayoutCase>& row) {
                           return std::string(row.param.name);
                         });

TEST_F(RenderWaterfall, TuningToneIsOneBrightLineAtTheCenter) {
  writeSettings("", false);
  const fs::path png = dir_ / "tune.png";
  ASSERT_EQ(runTool({"--tune", "--waterfall", png.string()}), kExitOk) << err_.str();
  const Rgb picture = readPng(png);
  const int middle = static_cast<int>(picture.height) - 80;  // five seconds in, 16 lines a second
  EXPECT_TRUE(picture.bright(14 * 5 + 2, middle));
  EXPECT_FALSE(picture.bright(12 * 5 + 2, middle));
  EXPECT_FALSE(picture.bright(16 * 5 + 2, middle));
}

struct ErrorCase {
  const char* name;
  std::vector<std::string> arguments;  // "@" stands for the test's directory
  std::string message;
};

class RenderWaterfallErrors : public RenderWaterfall, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(RenderWaterfallErrors, OneLineAndExitCodeTwo) {
  writeSettings("CQ", false);
  std::ofstream(dir_ / "offset.ini") << "[Velmora]\nOffset=11\nDuration=300\n";
  std::vector<std::string> arguments;
  const auto expand = [&](std::string text) {
    for (std::size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, dir_.string());
    return text;
  };
  for (const std::string& argument : GetParam().arguments) arguments.push_back(expand(argument));
  EXPECT_EQ(runTool(arguments), kExitBadInput);
  EXPECT_EQ(err_.str(), expand(GetParam().message) + "\n");
  EXPECT_FALSE(fs::exists(dir_ / "out.png"));
}

INSTANTIATE_TEST_SUITE_P(
    Input, RenderWaterfallErrors,
    ::testing::Values(
        ErrorCase{"UnknownLayout",
                  {"--waterfall", "@/out.png", "--layout", "sideways"},
                  "Unknown layout 'sideways' (across or upward)"},
        ErrorCase{
            "LayoutNeedsAValue", {"--waterfall", "@/out.png", "--layout"}, "Option '--layout' needs a value"},
        ErrorCase{"LayoutOnlyForAPicture",
                  {"--layout", "upward", "@/out.wav"},
                  "Option '--layout' needs --waterfall"},
        ErrorCase{
            "NotWithAWav",
            {"--waterfall", "@/out.png", "@/out.wav"},
            "Option '--waterfall' draws the sound instead of writing or playing it: drop OUT.wav, --play "
            "and --report"},
        ErrorCase{"UnwritablePicture",
                  {"--waterfall", "@/no/such/folder/out.png"},
                  "Cannot write '@/no/such/folder/out.png'"},
        ErrorCase{"RangesAsForTheSound",
                  {"--waterfall", "@/out.png", "--settings", "@/offset.ini"},
                  "Pixel offset out of valid range (1..10)"}),
    [](const ::testing::TestParamInfo<ErrorCase>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace velmora::render
