#include "ptt/hex_command.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace velmora {
namespace {

TEST(HexDigitValue, OnlyDigitsAndUpperCaseLettersAFHaveValues) {
  const std::string digits = "0123456789ABCDEF";
  for (int code = 0; code < 256; ++code) {
    const char ch = static_cast<char>(code);
    const auto position = digits.find(ch);
    const int expected = position == std::string::npos ? -1 : static_cast<int>(position);
    EXPECT_EQ(hexDigitValue(ch), expected) << "character code " << code;
  }
}

struct ParseCase {
  std::string text;
  int result;
  std::string textAfter;
  std::vector<std::uint8_t> bytes;
};

class ParseHexCommand : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseHexCommand, GivesBytesAndUpperCasesAsDescribed) {
  const ParseCase& c = GetParam();
  std::string text = c.text;
  std::vector<std::uint8_t> out;
  EXPECT_EQ(parseHexCommand(text, out), c.result);
  EXPECT_EQ(text, c.textAfter);
  EXPECT_EQ(out, c.bytes);
}

std::string repeated(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseHexCommand,
    ::testing::Values(
        ParseCase{"a1B2", 2, "A1B2", {0xA1, 0xB2}}, ParseCase{"FE00ff", 3, "FE00FF", {0xFE, 0x00, 0xFF}},
        ParseCase{"", 0, "", {}}, ParseCase{"abc", -1, "abc", {}},   // odd length: left as typed
        ParseCase{"0g", -1, "0G", {}},                               // even length: upper-cased, then refused
        ParseCase{"fe fe,94 ", 3, "FE FE,94 ", {0xFE, 0xFE, 0x94}},  // bytes apart, as manuals print them
        ParseCase{"A1 B", -1, "A1 B", {}},                           // an odd count of digits: left as typed
        ParseCase{"a 1", -1, "A 1", {}},                             // a blank inside a byte
        ParseCase{"A1\tB2", -1, "A1\tB2", {}},                       // only blanks and commas part bytes
        ParseCase{"0x1f", -1, "0X1F", {}},                           // no prefixes
        ParseCase{"A1\xe4\xe4", -1, "A1\xe4\xe4", {}},               // 8-bit letters are not upper-cased
        ParseCase{repeated("7f", 127), 127, repeated("7F", 127), std::vector<std::uint8_t>(127, 0x7F)},
        ParseCase{repeated("a", 255), -1, repeated("a", 255), {}},
        ParseCase{repeated("ab", 128), -1, repeated("ab", 128), {}}));  // 256: too long, unchanged

// The rules again, written independently, as the reference for random texts.
int referenceParse(const std::string& text, std::string& upperCased, std::vector<std::uint8_t>& bytes) {
  upperCased = text;
  std::string packed;  // the digits, and whether a separator fell inside a byte
  bool split = false;
  for (char ch : text) {
    if (ch != ' ' && ch != ',')
      packed += ch;
    else
      split = split || packed.size() % 2 == 1;
  }
  if (packed.size() > 254 || packed.size() % 2 == 1) return -1;
  const std::string digits = "0123456789ABCDEF";
  for (std::string* s : {&upperCased, &packed})
    for (char& ch : *s)
      if ('a' <= ch && ch <= 'z') ch = static_cast<char>(ch - 32);
  if (split) return -1;
  for (std::size_t i = 0; i < packed.size(); i += 2) {
    const auto high = digits.find(packed[i]);
    const auto low = digits.find(packed[i + 1]);
    if (high == std::string::npos || low == std::string::npos) {
      bytes.clear();
      return -1;
    }
    bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  return static_cast<int>(bytes.size());
}

TEST(ParseHexCommandFuzz, RandomTextsAgreeWithTheReference) {
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> length(0, 300);
  std::uniform_int_distribution<int> anyByte(0, 255);
  std::uniform_int_distribution<int> hexChar(0, 21);
  const std::string hexAlphabet = "0123456789abcdefABCDEF";
  int legal = 0;
  for (int round = 0; round < 20000; ++round) {
    // Half the texts are made of hexadecimal digits with a rare stray byte, so that the
    // legal paths get exercised too.
    const bool mostlyHex = round % 2 == 0;
    std::string text(static_cast<std::size_t>(length(random)), '\0');
    for (char& ch : text) {
      const bool stray = !mostlyHex || anyByte(random) == 0;
      ch = stray ? static_cast<char>(anyByte(random)) : hexAlphabet[static_cast<std::size_t>(hexChar(random))];
    }
    std::string expectedText;
    std::vector<std::uint8_t> expectedBytes;
    const int expected = referenceParse(text, expectedText, expectedBytes);

    std::string parsed = text;
    std::vector<std::uint8_t> out;
    const int result = parseHexCommand(parsed, out);
    ASSERT_EQ(result, expected) << "round " << round << ", length " << text.size();
    ASSERT_EQ(parsed, expectedText) << "round " << round;
    ASSERT_EQ(out, expectedBytes) << "round " << round;
    ASSERT_LE(out.size(), 127u);
    if (result > 0) ++legal;
  }
  EXPECT_GT(legal, 100);  // the generator really reached the legal paths
}

}  // namespace
}  // namespace velmora
