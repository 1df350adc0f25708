#include "transmit/text_codec.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstddef>
#include <string>

namespace velmora {
namespace {

// --- UTF-8 to the codes that are sent ----------------------------------------------------

struct ConversionCase {
  const char* name;
  std::string utf8;
  std::string codes;
};

class Utf8ToWindows1252Test : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(Utf8ToWindows1252Test, GivesOneCodePerCharacter) {
  EXPECT_EQ(utf8ToWindows1252(GetParam().utf8), GetParam().codes);
}

INSTANTIATE_TEST_SUITE_P(
    Text, Utf8ToWindows1252Test,
    ::testing::Values(
        ConversionCase{"Empty", "", ""}, ConversionCase{"Ascii", "CQ DE DL1ABC/P 73!", "CQ DE DL1ABC/P 73!"},
        ConversionCase{"ControlsAndNul", std::string("a\0\t\x1F", 4), std::string("a\0\t\x1F", 4)},
        ConversionCase{"German", "Jürgen Größe",
                       "J\xFCrgen Gr\xF6\xDF"
                       "e"},
        ConversionCase{"FrenchSpanishNordic", "Élodie Niño Ærø Åse", "\xC9lodie Ni\xF1o \xC6r\xF8 \xC5se"},
        ConversionCase{"Latin1Ends", "\u00A0\u00FE", "\xA0\xFE"}, ConversionCase{"Euro", "5 €", "5 \x80"},
        ConversionCase{"TypographicQuotes", "„Hallo“ ‘x’ “y”", "\x84Hallo\x93 \x91x\x92 \x93y\x94"},
        ConversionCase{"DashesAndEllipsis", "–—…", "\x96\x97\x85"},
        ConversionCase{"CaronAndLigatures", "ŠšŽžŒœŸƒ™", "\x8A\x9A\x8E\x9E\x8C\x9C\x9F\x83\x99"},
        ConversionCase{"UndefinedCodesAsC1Controls", "\u0081\u008D\u008F\u0090\u009D",
                       "\x81\x8D\x8F\x90\x9D"},
        ConversionCase{"OtherC1ControlsHaveNoCode", "\u0080\u009F", "??"},
        ConversionCase{"CjkCharacter", "73 中 73", "73 ? 73"}, ConversionCase{"Cyrillic", "Ж", "?"},
        ConversionCase{"OutsideTheBmp", "a😀b", "a?b"}, ConversionCase{"ReplacementCharacter", "\uFFFD", "?"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

// A broken sequence counts as one character; the byte that broke it starts the next.
INSTANTIATE_TEST_SUITE_P(BrokenUtf8, Utf8ToWindows1252Test,
                         ::testing::Values(ConversionCase{"StrayContinuation", "a\x80z", "a?z"},
                                           ConversionCase{"TruncatedAtEnd", "ab\xC3", "ab?"},
                                           ConversionCase{"TruncatedThreeByteAtEnd", "\xE2\x82", "?"},
                                           ConversionCase{"TruncatedBeforeAscii",
                                                          "\xC3"
                                                          "A",
                                                          "?A"},
                                           ConversionCase{"TruncatedBeforeLead", "\xE2\x82\xC3\xBC", "?\xFC"},
                                           ConversionCase{"OverlongTwoByte", "\xC0\xAF", "??"},
                                           ConversionCase{"OverlongThreeByte", "\xE0\x80\xAF", "???"},
                                           ConversionCase{"OverlongFourByte", "\xF0\x80\x80\xAF", "????"},
                                           ConversionCase{"Surrogate", "\xED\xA0\x80", "???"},
                                           ConversionCase{"AboveU10FFFF", "\xF4\x90\x80\x80", "????"},
                                           ConversionCase{"InvalidLeads", "\xF5\xFE\xFF", "???"},
                                           ConversionCase{"TruncatedFourByte",
                                                          "\xF0\x9F\x98"
                                                          "x",
                                                          "?x"}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

// --- validity ----------------------------------------------------------------------------

struct ValidityCase {
  const char* name;
  std::string bytes;
  bool valid;
};

class IsValidUtf8Test : public ::testing::TestWithParam<ValidityCase> {};

TEST_P(IsValidUtf8Test, AcceptsOnlyWellFormedText) {
  EXPECT_EQ(isValidUtf8(GetParam().bytes), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(Sequences, IsValidUtf8Test,
                         ::testing::Values(ValidityCase{"Empty", "", true}, ValidityCase{"Ascii", "CQ", true},
                                           ValidityCase{"Nul", std::string(1, '\0'), true},
                                           ValidityCase{"TwoByte", "ü", true},
                                           ValidityCase{"SmallestTwoByte", "\xC2\x80", true},
                                           ValidityCase{"ThreeByte", "€", true},
                                           ValidityCase{"SmallestThreeByte", "\xE0\xA0\x80", true},
                                           ValidityCase{"LastBeforeSurrogates", "\xED\x9F\xBF", true},
                                           ValidityCase{"FirstAfterSurrogates", "\xEE\x80\x80", true},
                                           ValidityCase{"FourByte", "😀", true},
                                           ValidityCase{"LargestCodePoint", "\xF4\x8F\xBF\xBF", true},
                                           ValidityCase{"OverlongTwoByte", "\xC1\xBF", false},
                                           ValidityCase{"OverlongThreeByte", "\xE0\x9F\xBF", false},
                                           ValidityCase{"OverlongFourByte", "\xF0\x8F\xBF\xBF", false},
                                           ValidityCase{"FirstSurrogate", "\xED\xA0\x80", false},
                                           ValidityCase{"LastSurrogate", "\xED\xBF\xBF", false},
                                           ValidityCase{"AboveU10FFFF", "\xF4\x90\x80\x80", false},
                                           ValidityCase{"LeadF5", "\xF5\x80\x80\x80", false},
                                           ValidityCase{"TruncatedTwoByte", "a\xC3", false},
                                           ValidityCase{"TruncatedFourByte", "\xF0\x9F\x98", false},
                                           ValidityCase{"LoneContinuation", "\xBF", false},
                                           ValidityCase{"AsciiInsteadOfContinuation", "\xC3\x28", false},
                                           ValidityCase{"Windows1252Byte", "M\xFCller", false}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

// --- against the C library's converter ----------------------------------------------------

// glibc's iconv, an implementation independent of ours. It knows no character for the
// five undefined codes, which we map to their C1 control code points.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(handle_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

  // False when the input has no conversion.
  bool convert(std::string input, std::string& output) {
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    char buffer[16];
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* out = buffer;
    std::size_t outLeft = sizeof buffer;
    if (iconv(handle_, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) return false;
    output.assign(buffer, static_cast<std::size_t>(out - buffer));
    return true;
  }

 private:
  iconv_t handle_;
};

bool isUndefinedCode(unsigned byte) {
  return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

TEST(TextCodec, EveryBmpCodePointAgreesWithIconv) {
  Iconv toUtf8("UTF-8", "UTF-32LE");
  Iconv toWindows1252("WINDOWS-1252", "UTF-8");
  ASSERT_TRUE(toUtf8.ok() && toWindows1252.ok());
  int mapped = 0;
  for (char32_t codePoint = 0; codePoint <= 0xFFFF; ++codePoint) {
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) continue;
    std::string utf32(4, '\0');
    for (int i = 0; i < 4; ++i)
      utf32[static_cast<std::size_t>(i)] = static_cast<char>((codePoint >> (8 * i)) & 0xFF);
    std::string utf8;
    ASSERT_TRUE(toUtf8.convert(utf32, utf8));

    std::string expected;
    const bool undefinedCode = codePoint >= 0x80 && codePoint <= 0x9F && isUndefinedCode(codePoint);
    if (undefinedCode) {
      expected = std::string(1, static_cast<char>(codePoint));
    } else if (!toWindows1252.convert(utf8, expected) || expected.size() != 1) {
      expected = "?";
    }
    ASSERT_EQ(utf8ToWindows1252(utf8), expected) << "U+" << std::hex << static_cast<unsigned>(codePoint);
    if (expected != "?") ++mapped;
  }
  EXPECT_EQ(mapped, 255);  // every byte but '?' itself, which U+003F gives too
}

TEST(TextCodec, EveryByteRoundTripsThroughUtf8) {
  Iconv fromWindows1252("UTF-8", "WINDOWS-1252");
  ASSERT_TRUE(fromWindows1252.ok());
  std::string all;
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    const std::string utf8 = windows1252ToUtf8(byte);
    std::string expected;
    if (isUndefinedCode(static_cast<unsigned>(b))) {
      expected = {static_cast<char>(0xC2), static_cast<char>(b)};  // the C1 control U+00xx
    } else {
      ASSERT_TRUE(fromWindows1252.convert(byte, expected)) << b;
    }
    EXPECT_EQ(utf8, expected) << "byte " << b;
    all += byte;
  }
  const std::string utf8 = windows1252ToUtf8(all);
  EXPECT_TRUE(isValidUtf8(utf8));
  EXPECT_EQ(utf8ToWindows1252(utf8), all);
}

}  // namespace
}  // namespace velmora
