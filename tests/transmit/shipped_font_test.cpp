// Checks of the font file we ship and of its source table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "fontgen/glyph_source.h"
#include "transmit/glyph_font.h"
#include "transmit/text_codec.h"

namespace velmora {
namespace {

const std::string kDataDir = VELMORA_DATA_DIR;
const std::string kFontPath = kDataDir + "/" + kFontFileName;
const std::string kSourcePath = kDataDir + "/glyphs.txt";

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const GlyphTable& shippedFont() {
  static const GlyphTable table = [] {
    GlyphTable loaded;
    if (!loadGlyphFont(kFontPath, loaded)) ADD_FAILURE() << "cannot open " << kFontPath;
    return loaded;
  }();
  return table;
}

std::uint8_t code(const char* utf8Character) {
  const std::string bytes = utf8ToWindows1252(utf8Character);
  EXPECT_EQ(bytes.size(), 1u) << utf8Character;
  return static_cast<std::uint8_t>(bytes.at(0));
}

bool lit(const GlyphColumns& glyph, int row, int column) {
  return ((glyph[static_cast<std::size_t>(column)] >> row) & 1u) != 0;
}

// The text as a reader sees it on the waterfall after the quarter turn: row 0 on top,
// column 0 on the left, one dark column between characters.
std::string render(const std::string& utf8Text) {
  const std::string codes = utf8ToWindows1252(utf8Text);
  std::string picture = "\n";
  for (int row = 0; row < 7; ++row) {
    for (const char c : codes) {
      const GlyphColumns& glyph = shippedFont().columns(static_cast<std::uint8_t>(c));
      for (int column = 0; column < 5; ++column) picture += lit(glyph, row, column) ? '#' : '.';
      picture += ' ';
    }
    picture += '\n';
  }
  return picture;
}

std::string renderCode(std::uint8_t c) {
  return render(windows1252ToUtf8(std::string(1, static_cast<char>(c))));
}

int pixelsDiffering(const GlyphColumns& a, const GlyphColumns& b) {
  int count = 0;
  for (std::size_t column = 0; column < 5; ++column) {
    for (unsigned bits = static_cast<unsigned>(a[column] ^ b[column]); bits != 0; bits &= bits - 1) ++count;
  }
  return count;
}

bool isBlank(const GlyphColumns& glyph) { return glyph == GlyphColumns{}; }

constexpr std::uint8_t kUndefinedCodes[] = {0x81, 0x8D, 0x8F, 0x90, 0x9D};

bool isUndefined(int c) {
  for (const std::uint8_t undefined : kUndefinedCodes) {
    if (c == undefined) return true;
  }
  return false;
}

// --- the committed file and its source --------------------------------------------------

TEST(ShippedFont, CommittedFileIsTheGeneratorsOutputOfTheSourceTable) {
  std::ifstream source(kSourcePath);
  ASSERT_TRUE(source) << kSourcePath;
  const fontgen::ParseResult parsed = fontgen::parseGlyphSource(source);
  ASSERT_TRUE(parsed.ok) << parsed.error;
  const std::string generated = fontgen::formatFontFile(parsed.table);
  const std::string committed = readBytes(kFontPath);
  ASSERT_EQ(committed.size(), 1275u * 6u);
  EXPECT_TRUE(generated == committed)
      << "data/" << kFontFileName << " is stale: build the target velmora_update_font";
}

TEST(ShippedFont, LoadsToTheGlyphsOfTheSourceTable) {
  std::ifstream source(kSourcePath);
  const fontgen::ParseResult parsed = fontgen::parseGlyphSource(source);
  ASSERT_TRUE(parsed.ok) << parsed.error;
  for (int c = 0; c < 256; ++c) {
    const auto index = static_cast<std::uint8_t>(c);
    EXPECT_EQ(shippedFont().columns(index), parsed.table.columns(index)) << "code " << c;
  }
}

// --- orientation --------------------------------------------------------------------------

TEST(ShippedFont, ReadsUprightLeftToRight) {
  const GlyphColumns& l = shippedFont().columns('L');
  const GlyphColumns& t = shippedFont().columns('T');
  const std::string picture = render("LT 73 Velmora");
  EXPECT_EQ(l[0], 0x7F) << "the long stroke of L belongs in column 0" << picture;
  for (int column = 0; column < 5; ++column) {
    EXPECT_TRUE(lit(l, 6, column)) << "the foot of L belongs in row 6, column " << column << picture;
    EXPECT_TRUE(lit(t, 0, column)) << "the bar of T belongs in row 0, column " << column << picture;
  }
  EXPECT_EQ(t[2], 0x7F) << picture;
  EXPECT_EQ(l[4], 0x40) << picture;
}

// --- blank and drawn codes ---------------------------------------------------------------

TEST(ShippedFont, ControlAndUndefinedCodesAreBlank) {
  std::vector<int> blank;
  for (int c = 0; c < 32; ++c) blank.push_back(c);
  blank.push_back(0x7F);
  blank.push_back(0xFF);
  for (const std::uint8_t c : kUndefinedCodes) blank.push_back(c);
  for (const int c : blank)
    EXPECT_TRUE(isBlank(shippedFont().columns(static_cast<std::uint8_t>(c)))) << "code " << c;
}

TEST(ShippedFont, EveryPrintableCharacterIsDrawn) {
  for (int c = 0x21; c < 0xFF; ++c) {
    if (c == 0x7F || c == 0xA0 || isUndefined(c)) continue;
    EXPECT_FALSE(isBlank(shippedFont().columns(static_cast<std::uint8_t>(c))))
        << "code " << c << " (" << windows1252ToUtf8(std::string(1, static_cast<char>(c))) << ") is blank";
  }
}

// --- distinctness -------------------------------------------------------------------------

TEST(ShippedFont, NoTwoDrawnGlyphsAreAlike) {
  // Deliberate twins: the soft hyphen is drawn as the hyphen.
  const std::vector<std::pair<int, int>> twins = {{0x2D, 0xAD}};
  for (int a = 0x21; a < 0xFF; ++a) {
    for (int b = a + 1; b < 0xFF; ++b) {
      const GlyphColumns& ga = shippedFont().columns(static_cast<std::uint8_t>(a));
      const GlyphColumns& gb = shippedFont().columns(static_cast<std::uint8_t>(b));
      if (isBlank(ga) || isBlank(gb)) continue;
      const bool twin = std::find(twins.begin(), twins.end(), std::make_pair(a, b)) != twins.end();
      EXPECT_EQ(ga == gb, twin) << "codes " << a << " and " << b << renderCode(static_cast<std::uint8_t>(a))
                                << renderCode(static_cast<std::uint8_t>(b));
    }
  }
}

struct ConfusablePair {
  const char* first;
  const char* second;
};

std::ostream& operator<<(std::ostream& out, const ConfusablePair& pair) {
  return out << pair.first << " and " << pair.second;
}

class ConfusableCharactersTest : public ::testing::TestWithParam<ConfusablePair> {};

TEST_P(ConfusableCharactersTest, DifferInAtLeastThreePixels) {
  const std::uint8_t a = code(GetParam().first);
  const std::uint8_t b = code(GetParam().second);
  EXPECT_GE(pixelsDiffering(shippedFont().columns(a), shippedFont().columns(b)), 3)
      << render(std::string(GetParam().first) + GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    LookAlikes, ConfusableCharactersTest,
    ::testing::Values(ConfusablePair{"0", "O"}, ConfusablePair{"0", "Ø"}, ConfusablePair{"O", "Ø"},
                      ConfusablePair{"0", "o"}, ConfusablePair{"O", "Q"}, ConfusablePair{"O", "D"},
                      ConfusablePair{"1", "l"}, ConfusablePair{"1", "I"}, ConfusablePair{"l", "I"},
                      ConfusablePair{"I", "|"}, ConfusablePair{"l", "|"}, ConfusablePair{"1", "7"},
                      ConfusablePair{"5", "S"}, ConfusablePair{"8", "B"}, ConfusablePair{"2", "Z"},
                      ConfusablePair{"6", "b"}, ConfusablePair{"9", "g"}, ConfusablePair{"9", "q"},
                      ConfusablePair{"U", "V"}, ConfusablePair{"u", "v"}, ConfusablePair{"n", "h"},
                      ConfusablePair{"i", "j"}, ConfusablePair{"M", "N"}, ConfusablePair{"C", "G"},
                      ConfusablePair{"E", "F"}, ConfusablePair{"P", "R"}, ConfusablePair{"Þ", "þ"},
                      ConfusablePair{"ß", "B"}));

// Every accented letter against its base letter, and against the capital or small
// letter of the same accent.
TEST(ShippedFont, AccentedLettersDifferFromTheirBaseAndTheirOtherCase) {
  const std::vector<std::pair<std::string, std::string>> accentedAndBase = {
      {"ÀÁÂÃÄÅ", "A"}, {"àáâãäå", "a"}, {"Ç", "C"},    {"ç", "c"},    {"ÈÉÊË", "E"},
      {"èéêë", "e"},   {"ÌÍÎÏ", "I"},   {"ìíîï", "i"}, {"Ñ", "N"},    {"ñ", "n"},
      {"ÒÓÔÕÖ", "O"},  {"òóôõö", "o"},  {"ÙÚÛÜ", "U"}, {"ùúûü", "u"}, {"ÝŸ", "Y"},
      {"ý", "y"},      {"Š", "S"},      {"š", "s"},    {"Ž", "Z"},    {"ž", "z"},
  };
  for (const auto& [accented, base] : accentedAndBase) {
    const std::string codes = utf8ToWindows1252(accented);
    ASSERT_EQ(codes.find('?'), std::string::npos) << accented;
    for (const char c : codes) {
      const GlyphColumns& glyph = shippedFont().columns(static_cast<std::uint8_t>(c));
      EXPECT_GE(pixelsDiffering(glyph, shippedFont().columns(code(base.c_str()))), 2)
          << render(windows1252ToUtf8(std::string(1, c)) + base);
    }
  }
  const std::string capitals = utf8ToWindows1252("ÀÁÂÃÄÅÇÈÉÊËÌÍÎÏÑÒÓÔÕÖÙÚÛÜÝŠŽ");
  const std::string smalls = utf8ToWindows1252("àáâãäåçèéêëìíîïñòóôõöùúûüýšž");
  ASSERT_EQ(capitals.size(), smalls.size());
  for (std::size_t i = 0; i < capitals.size(); ++i) {
    EXPECT_GE(pixelsDiffering(shippedFont().columns(static_cast<std::uint8_t>(capitals[i])),
                              shippedFont().columns(static_cast<std::uint8_t>(smalls[i]))),
              2)
        << render(windows1252ToUtf8(std::string{capitals[i], smalls[i]}));
  }
}

// --- the source table's own checks ---------------------------------------------------------

struct BadSource {
  const char* name;
  const char* text;
  const char* error;
};

class GlyphSourceErrorTest : public ::testing::TestWithParam<BadSource> {};

TEST_P(GlyphSourceErrorTest, IsRejectedWithItsLine) {
  std::istringstream source(GetParam().text);
  const fontgen::ParseResult parsed = fontgen::parseGlyphSource(source);
  EXPECT_FALSE(parsed.ok);
  EXPECT_EQ(parsed.error.rfind(GetParam().error, 0), 0u) << parsed.error;
}

#define VELMORA_PICTURE_A "##...\n#....\n.....\n.....\n.....\n.....\n....#\n"

INSTANTIATE_TEST_SUITE_P(
    Mistakes, GlyphSourceErrorTest,
    ::testing::Values(BadSource{"WrongLabel", "0x41 B\n" VELMORA_PICTURE_A, "line 1: label 'B'"},
                      BadSource{"CodesOutOfOrder", "0x42 B\n" VELMORA_PICTURE_A "0x41 A\n" VELMORA_PICTURE_A,
                                "line 9: codes must"},
                      BadSource{"CodeListedTwice", "0x41 A\n" VELMORA_PICTURE_A "0x41 A\n" VELMORA_PICTURE_A,
                                "line 9: codes must"},
                      BadSource{"Code255", "0xFF ÿ\n" VELMORA_PICTURE_A, "line 1: code 0xFF"},
                      BadSource{"LowerCaseHex", "0x4a J\n" VELMORA_PICTURE_A, "line 1: expected a header"},
                      BadSource{"TooFewRows", "0x41 A\n##...\n#....\n", "line 3: expected a picture row"},
                      BadSource{"RowTooWide", "0x41 A\n##....\n", "line 2: expected a picture row"},
                      BadSource{"StrayCharacter", "0x41 A\n##.x.\n", "line 2: expected a picture row"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(GlyphSource, PictureRowsBecomeMaskBitsAndRecordsAreShiftedLeft) {
  std::istringstream source("; comment\n\n0x41 A\r\n" VELMORA_PICTURE_A
                            "0x81 (undefined)\n" VELMORA_PICTURE_A);
  const fontgen::ParseResult parsed = fontgen::parseGlyphSource(source);
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.table.columns(0x41), (GlyphColumns{0x03, 0x01, 0x00, 0x00, 0x40}));
  EXPECT_EQ(parsed.table.columns(0x81), (GlyphColumns{0x03, 0x01, 0x00, 0x00, 0x40}));
  EXPECT_EQ(parsed.table.columns(0x42), GlyphColumns{});

  const std::string file = fontgen::formatFontFile(parsed.table);
  ASSERT_EQ(file.size(), 1275u * 6u);
  EXPECT_EQ(file.substr(0x41 * 30, 30), "0x06\r\n0x02\r\n0x00\r\n0x00\r\n0x80\r\n");
  EXPECT_EQ(file.substr(0, 6), "0x00\r\n");
}

}  // namespace
}  // namespace velmora
