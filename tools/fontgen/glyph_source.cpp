#include "fontgen/glyph_source.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "transmit/text_codec.h"

namespace velmora::fontgen {

namespace {

constexpr int kRows = 7;
constexpr int kColumns = 5;
constexpr int kLastLoadedCode = 254;

class LineReader {
 public:
  explicit LineReader(std::istream& in) : in_(in) {}

  // The next line that is not a comment or empty, without a trailing CR.
  bool nextMeaningful(std::string& line) {
    while (next(line)) {
      if (!line.empty() && line[0] != ';') return true;
    }
    return false;
  }

  bool next(std::string& line) {
    if (!std::getline(in_, line)) return false;
    ++number_;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }

  int number() const { return number_; }

 private:
  std::istream& in_;
  int number_ = 0;
};

std::optional<int> parseHexByte(const std::string& text) {
  if (text.size() != 4 || text[0] != '0' || text[1] != 'x') return std::nullopt;
  int value = 0;
  for (std::size_t i = 2; i < 4; ++i) {
    const char c = text[i];
    int digit = 0;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    value = value * 16 + digit;
  }
  return value;
}

// The label after the code must be the character itself (so a picture cannot end up
// under the wrong code unnoticed) or a name in parentheses.
bool labelMatchesCode(const std::string& label, int code) {
  if (label.size() >= 3 && label.front() == '(' && label.back() == ')') return true;
  return label == windows1252ToUtf8(std::string(1, static_cast<char>(code)));
}

std::string failure(int line, const std::string& what) {
  return "line " + std::to_string(line) + ": " + what;
}

struct Header {
  int code;
  std::string label;
};

std::optional<Header> parseHeader(const std::string& line) {
  const std::size_t space = line.find(' ');
  if (space == std::string::npos) return std::nullopt;
  const std::optional<int> code = parseHexByte(line.substr(0, space));
  if (!code) return std::nullopt;
  return Header{*code, line.substr(space + 1)};
}

// Adds one picture row to the columns; false when the row is malformed.
bool addPictureRow(const std::string& row, int rowIndex, GlyphColumns& columns) {
  if (row.size() != kColumns) return false;
  for (int column = 0; column < kColumns; ++column) {
    const char pixel = row[static_cast<std::size_t>(column)];
    if (pixel == '#') {
      columns[static_cast<std::size_t>(column)] |= static_cast<std::uint8_t>(1u << rowIndex);
    } else if (pixel != '.') {
      return false;
    }
  }
  return true;
}

}  // namespace

ParseResult parseGlyphSource(std::istream& source) {
  ParseResult result;
  LineReader reader(source);
  std::string line;
  int previousCode = -1;
  while (reader.nextMeaningful(line)) {
    const std::optional<Header> header = parseHeader(line);
    if (!header) {
      result.error = failure(reader.number(), "expected a header \"0xNN <character>\"");
      return result;
    }
    if (header->code > kLastLoadedCode) {
      result.error = failure(reader.number(), "code 0xFF is never loaded");
      return result;
    }
    if (header->code <= previousCode) {
      result.error = failure(reader.number(), "codes must be listed in ascending order, once each");
      return result;
    }
    if (!labelMatchesCode(header->label, header->code)) {
      result.error =
          failure(reader.number(), "label '" + header->label + "' is not the character of this code");
      return result;
    }
    GlyphColumns columns{};
    for (int row = 0; row < kRows; ++row) {
      if (!reader.next(line) || !addPictureRow(line, row, columns)) {
        result.error = failure(reader.number(), "expected a picture row of five '#' or '.'");
        return result;
      }
    }
    result.table.setColumns(static_cast<std::uint8_t>(header->code), columns);
    previousCode = header->code;
  }
  result.ok = true;
  return result;
}

std::string formatFontFile(const GlyphTable& table) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(static_cast<std::size_t>((kLastLoadedCode + 1) * kColumns * 6));
  for (int code = 0; code <= kLastLoadedCode; ++code) {
    for (const std::uint8_t mask : table.columns(static_cast<std::uint8_t>(code))) {
      const unsigned columnByte = (mask & 0x7Fu) << 1;
      out += "0x";
      out += kHexDigits[columnByte >> 4];
      out += kHexDigits[columnByte & 0xFu];
      out += "\r\n";
    }
  }
  return out;
}

}  // namespace velmora::fontgen
