#include "transmit/glyph_font.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr int kRecords = 1275;

class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::string pattern = (fs::temp_directory_path() / "velmora-font-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

  std::string write(const std::string& name, const std::string& bytes) const {
    const fs::path file = path_ / name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file.string();
  }

 private:
  fs::path path_;
};

std::string record(const std::string& digits, const std::string& lineEnd = "\r\n") {
  return "0x" + digits + lineEnd;
}

std::string hexByte(unsigned value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[(value >> 4) & 0xF], kDigits[value & 0xF]};
}

// A table with something in every entry, so a loader that leaves old content behind
// shows it.
GlyphTable filledTable() {
  GlyphTable table;
  for (int code = 0; code < 256; ++code) table.setColumns(static_cast<std::uint8_t>(code), {1, 2, 3, 4, 5});
  return table;
}

void expectAllBlank(const GlyphTable& table) {
  for (int code = 0; code < 256; ++code) {
    EXPECT_EQ(table.columns(static_cast<std::uint8_t>(code)), GlyphColumns{}) << "code " << code;
  }
}

// --- the digits of one record -----------------------------------------------------------

struct RecordCase {
  const char* name;
  std::string bytes;  // the first record of the file
  std::uint8_t mask;
};

class FirstRecordTest : public ::testing::TestWithParam<RecordCase> {};

TEST_P(FirstRecordTest, GivesTheMaskOfBytesTwoAndThree) {
  ScratchDirectory dir;
  const std::string path = dir.write("font.txt", GetParam().bytes);
  GlyphTable table;
  ASSERT_TRUE(loadGlyphFont(path, table));
  EXPECT_EQ(table.columns(0)[0], GetParam().mask);
}

INSTANTIATE_TEST_SUITE_P(Digits, FirstRecordTest,
                         ::testing::Values(RecordCase{"AllRowsFromFE", "0xFE\r\n", 0x7F},
                                           RecordCase{"LowerCaseFe", "0xfe\r\n", 0x7F},
                                           RecordCase{"MixedCase", "0xfE\r\n", 0x7F},
                                           RecordCase{"Rows0To5From7F", "0x7F\r\n", 0x3F},
                                           RecordCase{"Bit0IsDropped", "0x01\r\n", 0x00},
                                           RecordCase{"Row0Alone", "0x02\r\n", 0x01},
                                           RecordCase{"Bit7BecomesRow6", "0x80\r\n", 0x40},
                                           RecordCase{"FFNeverSetsBit7", "0xFF\r\n", 0x7F},
                                           RecordCase{"NonDigitHighCountsAsZero", "0xG1\r\n", 0x00},
                                           RecordCase{"NonDigitLowCountsAsZero", "0x9Z\r\n", 0x48},
                                           RecordCase{"SpacesCountAsZero", "0x  \r\n", 0x00},
                                           RecordCase{"OtherBytesAreNotInterpreted", "zz3Cqq", 0x1E}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

// --- the shape of the file --------------------------------------------------------------

TEST(LoadGlyphFont, ReadsEveryRecordInCodeAndColumnOrder) {
  std::string file;
  for (int r = 0; r < kRecords; ++r) file += record(hexByte(static_cast<unsigned>(r * 37 + 11) & 0xFFu));
  ScratchDirectory dir;
  GlyphTable table = filledTable();
  ASSERT_TRUE(loadGlyphFont(dir.write("font.txt", file), table));
  for (int r = 0; r < kRecords; ++r) {
    const auto expected = static_cast<std::uint8_t>(((r * 37 + 11) & 0xFF) >> 1);
    EXPECT_EQ(table.columns(static_cast<std::uint8_t>(r / 5))[static_cast<std::size_t>(r % 5)], expected)
        << "record " << r;
  }
  EXPECT_EQ(table.columns(255), GlyphColumns{});
}

TEST(LoadGlyphFont, Code255StaysBlankEvenWhenTheFileHoldsA256thGlyph) {
  std::string file;
  for (int r = 0; r < kRecords + 5; ++r) file += record("FE");
  ScratchDirectory dir;
  GlyphTable table = filledTable();
  ASSERT_TRUE(loadGlyphFont(dir.write("font.txt", file), table));
  EXPECT_EQ(table.columns(254), (GlyphColumns{0x7F, 0x7F, 0x7F, 0x7F, 0x7F}));
  EXPECT_EQ(table.columns(255), GlyphColumns{});
}

TEST(LoadGlyphFont, LinesEndingInLfAloneAreReadOutOfStep) {
  // Six-byte reads over five-byte lines: the digits land at other places of each record
  // and the pattern repeats every five reads (thirty bytes, six lines).
  std::string crlf;
  std::string lf;
  for (int r = 0; r < kRecords; ++r) {
    crlf += record("1E");
    lf += record("1E", "\n");
  }
  ScratchDirectory dir;
  GlyphTable fromCrlf;
  GlyphTable fromLf;
  ASSERT_TRUE(loadGlyphFont(dir.write("crlf.txt", crlf), fromCrlf));
  ASSERT_TRUE(loadGlyphFont(dir.write("lf.txt", lf), fromLf));
  EXPECT_EQ(fromCrlf.columns(0), (GlyphColumns{0x0F, 0x0F, 0x0F, 0x0F, 0x0F}));
  for (int code : {0, 1, 100, 200}) {
    // "1E" -> 0x1E; "E\n" -> 0xE0; "\n0", "0x", "x1" -> no digit above 1
    EXPECT_EQ(fromLf.columns(static_cast<std::uint8_t>(code)), (GlyphColumns{0x0F, 0x70, 0x00, 0x00, 0x00}))
        << "code " << code;
  }
}

TEST(LoadGlyphFont, LastRecordWithoutLineEndIsReadCorrectly) {
  std::string file;
  for (int r = 0; r < kRecords - 1; ++r) file += record("02");
  file += "0xFE";
  ScratchDirectory dir;
  GlyphTable table;
  ASSERT_TRUE(loadGlyphFont(dir.write("font.txt", file), table));
  EXPECT_EQ(table.columns(254), (GlyphColumns{0x01, 0x01, 0x01, 0x01, 0x7F}));
}

TEST(LoadGlyphFont, ShortFileRepeatsTheLastRecordRead) {
  std::string file;
  for (int r = 0; r < 100; ++r) file += record(hexByte(static_cast<unsigned>(r) << 1));
  ScratchDirectory dir;
  GlyphTable table;
  ASSERT_TRUE(loadGlyphFont(dir.write("font.txt", file), table));
  for (int code = 0; code < 20; ++code) {
    for (int column = 0; column < 5; ++column) {
      EXPECT_EQ(table.columns(static_cast<std::uint8_t>(code))[static_cast<std::size_t>(column)],
                code * 5 + column)
          << "code " << code << " column " << column;
    }
  }
  for (int code = 20; code < 255; ++code) {
    EXPECT_EQ(table.columns(static_cast<std::uint8_t>(code)), (GlyphColumns{99, 99, 99, 99, 99}))
        << "code " << code;
  }
  EXPECT_EQ(table.columns(255), GlyphColumns{});
}

TEST(LoadGlyphFont, ShortReadOverwritesOnlyTheBytesItReturns) {
  // After "0x02\r\n" the buffer's bytes 3..5 are "2\r\n"; a last read of "0x7" keeps
  // them, so the digits are '7' and '2'.
  ScratchDirectory dir;
  GlyphTable table;
  ASSERT_TRUE(loadGlyphFont(dir.write("font.txt", record("02") + "0x7"), table));
  EXPECT_EQ(table.columns(0)[0], 0x01);
  EXPECT_EQ(table.columns(0)[1], 0x72 >> 1);
  EXPECT_EQ(table.columns(254)[4], 0x72 >> 1);
}

TEST(LoadGlyphFont, EmptyFileGivesBlankGlyphs) {
  ScratchDirectory dir;
  GlyphTable table = filledTable();
  EXPECT_TRUE(loadGlyphFont(dir.write("font.txt", ""), table));
  expectAllBlank(table);
}

TEST(LoadGlyphFont, FileThatCannotBeOpenedGivesFalseAndABlankTable) {
  ScratchDirectory dir;
  ::mkfifo((dir.path() / "fifo").c_str(), 0600);
  for (const fs::path& path : {dir.path() / "missing.txt", dir.path(), dir.path() / "fifo"}) {
    GlyphTable table = filledTable();
    EXPECT_FALSE(loadGlyphFont(path.string(), table)) << path;
    expectAllBlank(table);
  }
}

TEST(LoadGlyphFont, ArbitraryBytesNeverSetBit7) {
  std::string file;
  for (int i = 0; i < kRecords * 6; ++i) file += static_cast<char>((i * 131 + 7) & 0xFF);
  ScratchDirectory dir;
  GlyphTable table;
  ASSERT_TRUE(loadGlyphFont(dir.write("font.txt", file), table));
  for (int code = 0; code < 256; ++code) {
    for (const std::uint8_t mask : table.columns(static_cast<std::uint8_t>(code))) EXPECT_LT(mask, 0x80);
  }
}

TEST(FontMissingMessage, NamesTheFileAndTheProgram) {
  EXPECT_EQ(fontMissingMessage(),
            "Font file '5x7 (International).txt' not found. Velmora is unable to transmit.");
}

// --- where the font is looked for -------------------------------------------------------

struct SearchCase {
  const char* name;
  std::vector<int> foldersWithFont;  // 0 = start-up directory, 1 and 2 = the other folders
  int expected;                      // -1 = not found
};

class FindFontFileTest : public ::testing::TestWithParam<SearchCase> {};

TEST_P(FindFontFileTest, TakesTheFirstFolderThatHoldsTheFont) {
  ScratchDirectory dir;
  std::vector<fs::path> folders = {dir.path() / "startup", dir.path() / "program", dir.path() / "data"};
  for (const fs::path& folder : folders) fs::create_directory(folder);
  for (int index : GetParam().foldersWithFont)
    std::ofstream(folders[static_cast<std::size_t>(index)] / kFontFileName);

  const std::string found =
      findFontFile(folders[0].string(), {"", folders[1].string(), folders[2].string() + "/"});

  if (GetParam().expected < 0) {
    EXPECT_EQ(found, "");
  } else {
    EXPECT_TRUE(fs::equivalent(found, folders[static_cast<std::size_t>(GetParam().expected)] / kFontFileName))
        << found;
  }
}

INSTANTIATE_TEST_SUITE_P(Order, FindFontFileTest,
                         ::testing::Values(SearchCase{"StartupFirst", {0, 1, 2}, 0},
                                           SearchCase{"ThenProgramFolder", {1, 2}, 1},
                                           SearchCase{"ThenData", {2}, 2}, SearchCase{"Nowhere", {}, -1}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(FindFontFile, SkipsAFolderOfTheFontsName) {
  ScratchDirectory dir;
  fs::create_directories(dir.path() / "startup" / kFontFileName);
  fs::create_directory(dir.path() / "program");
  std::ofstream(dir.path() / "program" / kFontFileName);
  EXPECT_EQ(findFontFile((dir.path() / "startup").string(), {(dir.path() / "program").string()}),
            (dir.path() / "program" / kFontFileName).string());
}

TEST(FontSearchFolders, FindsTheFontOfAnInstallation) {
  ScratchDirectory dir;
  const fs::path bin = dir.path() / "usr" / "bin";
  const fs::path share = dir.path() / "usr" / "share" / "velmora";
  fs::create_directories(bin);
  fs::create_directories(share);
  fs::create_directory(dir.path() / "elsewhere");
  std::ofstream(share / kFontFileName);

  const std::string found =
      findFontFile((dir.path() / "elsewhere").string(), fontSearchFolders(bin.string()));
  ASSERT_FALSE(found.empty());
  EXPECT_TRUE(fs::equivalent(found, share / kFontFileName)) << found;
}

TEST(FontSearchFolders, ProgramFolderComesBeforeTheInstallationsDataFolder) {
  ScratchDirectory dir;
  const fs::path bin = dir.path() / "usr" / "bin";
  const fs::path share = dir.path() / "usr" / "share" / "velmora";
  fs::create_directories(bin);
  fs::create_directories(share);
  std::ofstream(share / kFontFileName);
  std::ofstream(bin / kFontFileName);

  const std::string found = findFontFile((dir.path() / "none").string(), fontSearchFolders(bin.string()));
  EXPECT_TRUE(fs::equivalent(found, bin / kFontFileName)) << found;
}

}  // namespace
}  // namespace velmora
