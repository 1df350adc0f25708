#include "settings/ini_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "core/controls.h"
#include "settings/settings_test_support.h"

namespace velmora {
namespace {

using testing::readBytes;
using testing::ScratchFolder;
using testing::writeBytes;

std::unique_ptr<IniFile> loaded(const std::string& path) {
  auto ini = std::make_unique<IniFile>();
  ini->load(path);
  return ini;
}

struct IntCase {
  std::string value;
  std::int32_t expected;
};

class ProfileInt : public ::testing::TestWithParam<IntCase> {};

TEST_P(ProfileInt, ReadsLikeTheOldProfileReader) {
  ScratchFolder folder;
  const std::string path = folder.file("a.ini");
  writeBytes(path, "[S]\nKey=" + GetParam().value + "\n");
  IniFile ini;
  ASSERT_TRUE(ini.load(path));
  EXPECT_EQ(ini.readInt("S", "Key", 777), GetParam().expected) << "value: '" << GetParam().value << "'";
}

INSTANTIATE_TEST_SUITE_P(Values, ProfileInt,
                         ::testing::Values(IntCase{"1500", 1500}, IntCase{"  42", 42}, IntCase{"42abc", 42},
                                           IntCase{"-12", -12}, IntCase{"+7", 7}, IntCase{"abc", 0},
                                           IntCase{"", 0}, IntCase{"-", 0}, IntCase{"0x1F", 0},
                                           IntCase{"1 2", 1}, IntCase{"2147483647", 2147483647},
                                           IntCase{"-2147483648", -2147483647 - 1},
                                           IntCase{"3000000000", -1294967296},  // wraps around 32 bits
                                           IntCase{"4294967297", 1}));

TEST(IniFile, AbsentKeysSectionsAndFilesGiveTheFallback) {
  ScratchFolder folder;
  IniFile missing;
  EXPECT_FALSE(missing.load(folder.file("missing.ini")));
  EXPECT_EQ(missing.readInt("S", "Key", 5), 5);
  EXPECT_EQ(missing.readText("S", "Key", "dflt", 255), "dflt");

  const std::string path = folder.file("a.ini");
  writeBytes(path, "[S]\nKey=1\n[T]\nOther=2\n");
  const auto ini = loaded(path);
  EXPECT_EQ(ini->readInt("S", "Other", -3), -3);
  EXPECT_EQ(ini->readInt("U", "Key", -4), -4);
  EXPECT_EQ(ini->readText("T", "Key", "", 255), "");
}

TEST(IniFile, FindsSectionsAndKeysWhateverTheirCase) {
  ScratchFolder folder;
  const std::string path = folder.file("a.ini");
  writeBytes(path, "[velmora]\nFREQUENCY=1234\ntext=hello\n");
  const auto ini = loaded(path);
  EXPECT_EQ(ini->readInt("Velmora", "Frequency", 0), 1234);
  EXPECT_EQ(ini->readText("VELMORA", "Text", "", 1023), "hello");
}

TEST(IniFile, TextsAreCutToTheirLimitInCharacters) {
  ScratchFolder folder;
  const std::string path = folder.file("a.ini");
  std::string umlauts;
  for (int i = 0; i < 300; ++i) umlauts += "\xc3\xbc";  // 300 x "ü", two bytes each
  writeBytes(path, "[S]\nShort=" + umlauts + "\nPlain=" + std::string(2000, 'x') + "\n");
  const auto ini = loaded(path);
  std::string expected;
  for (int i = 0; i < 255; ++i) expected += "\xc3\xbc";
  EXPECT_EQ(ini->readText("S", "Short", "", 255), expected);
  EXPECT_EQ(ini->readText("S", "Plain", "", 1023), std::string(1023, 'x'));
}

TEST(IniFile, ReadsAFileThatIsNotUtf8AsWindows1252) {
  ScratchFolder folder;
  const std::string path = folder.file("a.ini");
  writeBytes(path, "[S]\nOld=Gr\xfc\xdf \x80\nNew=\xc3\xa9\n");
  const auto ini = loaded(path);
  EXPECT_EQ(ini->readText("S", "Old", "", 1023), "Gr\xc3\xbc\xc3\x9f \xe2\x82\xac");  // "Grüß €"
  EXPECT_EQ(ini->readText("S", "New", "", 1023), "\xc3\x83\xc2\xa9");                 // "Ã©"
}

TEST(IniFile, SaveKeepsForeignSectionsKeysAndComments) {
  ScratchFolder folder;
  const std::string path = folder.file("a.ini");
  writeBytes(path,
             "; written by hand\n\n[Other]\nkeep=this\n\n; our section\n[velmora]\n; the center\n"
             "frequency=1500\nForeign=yes\n; at the very end\n");
  IniFile ini;
  ASSERT_TRUE(ini.load(path));
  ini.writeText("Velmora", "Frequency", "2000");
  ini.writeText("Velmora", "Duration", "300");
  ASSERT_TRUE(ini.save(path));

  const std::string saved = readBytes(path);
  for (const char* kept : {"; written by hand", "[Other]", "keep=this", "; our section", "; the center",
                           "Foreign=yes", "; at the very end"})
    EXPECT_NE(saved.find(kept), std::string::npos) << kept << " lost from:\n" << saved;
  EXPECT_EQ(saved.find("1500"), std::string::npos) << "the old value stays beside the new one:\n" << saved;
  const auto again = loaded(path);
  EXPECT_EQ(again->readInt("Velmora", "Frequency", 0), 2000);
  EXPECT_EQ(again->readInt("Velmora", "Duration", 0), 300);
  EXPECT_EQ(again->readText("Other", "keep", "", 255), "this");

  // Saving again changes nothing: nothing grows or moves from save to save.
  ASSERT_TRUE(again->save(path));
  EXPECT_EQ(readBytes(path), saved);
}

struct EditCase {
  const char* what;
  std::string before;
  std::string key, value;
  std::string after;
};

// Everything but the value written stays as it was, byte for byte.
TEST(IniFile, WritingAKeyTouchesOnlyItsOwnLine) {
  const EditCase cases[] = {
      {"spelling, blanks and CR LF of our line", "[velmora]\r\n frequency = 1500  \r\n", "Frequency", "2000",
       "[velmora]\r\n frequency = 2000  \r\n"},
      {"the first copy of a key, in the first copy of the section",
       "[Velmora]\nA=1\nA=2\n[Other]\nA=0\n[VELMORA]\nA=3\n", "a", "9",
       "[Velmora]\nA=9\nA=2\n[Other]\nA=0\n[VELMORA]\nA=3\n"},
      {"lines without '=', foreign keys, trailing blanks, no last line end",
       "junk\t\n\xef\xbb\xbfnot a [section\n[Velmora] ; ours\nno equals here  \nForeign=x \t\n;A=5\nA=1", "A",
       "2",
       "junk\t\n\xef\xbb\xbfnot a [section\n[Velmora] ; ours\nno equals here  \nForeign=x \t\n;A=5\nA=2"},
      {"an empty value", "[Velmora]\nA=   \n", "A", "5", "[Velmora]\nA=5   \n"},
      {"an unchanged value", "[Velmora]\nA =\t1  \n", "A", "1", "[Velmora]\nA =\t1  \n"},
      {"a new key after the section's last entry, in the file's line ends",
       "[Velmora]\r\nA=1\r\n\r\n; the radio\r\n[Radio]\r\nB=2", "New", "3",
       "[Velmora]\r\nA=1\r\nNew=3\r\n\r\n; the radio\r\n[Radio]\r\nB=2"},
      {"a new key in a last line without end", "\xef\xbb\xbf[Velmora]\nA=1", "New", "3",
       "\xef\xbb\xbf[Velmora]\nA=1\nNew=3\n"},
      {"a new section at the end", "; mine\n[Radio]\nB=2", "A", "1",
       "; mine\n[Radio]\nB=2\n\n[Velmora]\nA=1\n"},
  };
  for (const auto& c : cases) {
    ScratchFolder folder;
    const std::string path = folder.file("a.ini");
    writeBytes(path, c.before);
    IniFile ini;
    ASSERT_TRUE(ini.load(path));
    ini.writeText("Velmora", c.key, c.value);
    ASSERT_TRUE(ini.save(path));
    EXPECT_EQ(readBytes(path), c.after) << c.what;
    EXPECT_EQ(loaded(path)->readText("Velmora", c.key, "", 255), c.value) << c.what;
  }
}

struct EncodingCase {
  const char* what;
  std::string file;   // the text line of the file before
  std::string value;  // UTF-8
  std::string saved;  // the text line after
};

TEST(IniFile, AValueIsWrittenInTheFilesOwnEncoding) {
  const EncodingCase cases[] = {
      {"ANSI file", "Text=Gr\xfc\xdf", "Gr\xc3\xbc\xc3\x9f\xc3\xa9 \xe2\x82\xac", "Text=Gr\xfc\xdf\xe9 \x80"},
      {"UTF-8 file", "Text=Gr\xc3\xbc\xc3\x9f", "Gr\xc3\xbc\xc3\x9f\xc3\xa9 \xe2\x82\xac",
       "Text=Gr\xc3\xbc\xc3\x9f\xc3\xa9 \xe2\x82\xac"},
  };
  for (const auto& c : cases) {
    ScratchFolder folder;
    const std::string path = folder.file("a.ini");
    writeBytes(path, "[Velmora]\n" + c.file + "\n");
    IniFile ini;
    ASSERT_TRUE(ini.load(path));
    ini.writeText("Velmora", "Text", c.value);
    ASSERT_TRUE(ini.save(path));
    EXPECT_EQ(readBytes(path), "[Velmora]\n" + c.saved + "\n") << c.what;
    EXPECT_EQ(loaded(path)->readText("Velmora", "Text", "", 1023), c.value) << c.what;
  }
}

// The file in UTF-16 with its byte-order mark.
std::string utf16(const std::u16string& text, bool bigEndian) {
  std::string bytes;
  for (const char16_t unit : u"\uFEFF" + text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

// Permission bits do not stop root: the save runs as nobody.
class AsNobody {
 public:
  AsNobody() : root_(::geteuid() == 0) {
    EXPECT_TRUE(!root_ || (::setegid(65534) == 0 && ::seteuid(65534) == 0));
  }
  ~AsNobody() { EXPECT_TRUE(!root_ || (::seteuid(0) == 0 && ::setegid(0) == 0)); }

 private:
  bool root_;
};

struct SurvivalCase {
  const char* what;
  std::string before;
  std::string key, value;  // written, as a field would hold it
  std::string after;
  mode_t fileMode = 0666, folderMode = 0777;
  bool saved = true;
};

TEST(IniFile, FilesSurviveTheirLineEndsEncodingsAndPermissions) {
  const std::string ansi = "[Velmora]\nA=\xfc\n";
  const std::string withNul = std::string("[Velmora]\nText=a") + '\0' + "b\x01\n";
  const SurvivalCase cases[] = {
      {"CR line ends", "[Velmora]\rA=1\rB=2\r", "B", "3", "[Velmora]\rA=1\rB=3\r"},
      {"a new key in CR line ends", "[Velmora]\rA=1\r", "New", "3", "[Velmora]\rA=1\rNew=3\r"},
      {"a stray CR is no part of a value", "[Velmora]\r\nLoop=1\r\r\n", "Loop", "1",
       "[Velmora]\r\nLoop=1\r\r\n"},
      {"a last line ending in CR", "[Velmora]\nLoop=1\r", "Loop", "1", "[Velmora]\nLoop=1\r"},
      {"a new key takes the line ends of its section", "[Other]\nX=1\n[Velmora]\r\nA=1\r\n", "New", "2",
       "[Other]\nX=1\n[Velmora]\r\nA=1\r\nNew=2\r\n"},
      {"a read-only folder: saved in place", "[Velmora]\nA=1\n", "A", "2", "[Velmora]\nA=2\n", 0666, 0555},
      {"a read-only file is kept", "[Velmora]\nA=1\n", "A", "2", "[Velmora]\nA=1\n", 0444, 0777, false},
      {"an ANSI file reads as ANSI throughout", ansi + "Text=\xc3\xa9\n", "Text", "\xc3\x83\xc2\xa9",
       ansi + "Text=\xc3\xa9\n"},
      {"an ANSI file is written in ANSI", ansi, "Text", "\xc3\x83\xc2\xa9", ansi + "Text=\xc3\xa9\n"},
      {"a character ANSI lacks makes the file UTF-8", ansi, "Text", "\xe2\x9c\x93",
       "\xef\xbb\xbf[Velmora]\nA=\xc3\xbc\nText=\xe2\x9c\x93\n"},
      {"ANSI that would pass for UTF-8 becomes UTF-8", ansi + "B=\xc3\xa9\n", "A", "x",
       "\xef\xbb\xbf[Velmora]\nA=x\nB=\xc3\x83\xc2\xa9\n"},
      {"blanks at the ends are quoted", "[Velmora]\nText=x\n", "Text", " cq  ",
       "[Velmora]\nText=\" cq  \"\n"},
      {"UTF-16 LE", utf16(u"[Velmora]\r\nA=1\r\n", false), "A", "\xc3\xbc",
       utf16(u"[Velmora]\r\nA=\u00fc\r\n", false)},
      {"UTF-16 BE", utf16(u"[Velmora]\nA=1\n", true), "New", "2", utf16(u"[Velmora]\nA=1\nNew=2\n", true)},
      {"control characters stay until edited", withNul, "Text", "ab", withNul},
  };
  for (const auto& c : cases) {
    ScratchFolder folder;
    const std::string path = folder.file("Velmora.ini");
    writeBytes(path, c.before);
    IniFile ini;
    ASSERT_TRUE(ini.load(path));
    ini.writeText("Velmora", c.key, c.value);
    ::chmod(path.c_str(), c.fileMode);
    ::chmod(folder.path().c_str(), c.folderMode);
    std::error_code error;
    {
      AsNobody nobody;
      EXPECT_EQ(ini.save(path, &error), c.saved) << c.what << ": " << error.message();
    }
    ::chmod(folder.path().c_str(), 0700);
    EXPECT_EQ(readBytes(path), c.after) << c.what;
    EXPECT_EQ(loaded(path)->readText("Velmora", c.key, "", 1023), c.saved ? c.value : "1") << c.what;
  }
}

TEST(IniFile, AValueCannotBreakOutOfItsLine) {
  ScratchFolder folder;
  const std::string path = folder.file("a.ini");
  IniFile ini;
  ini.writeText("S", "Text", "one\r\n[Evil]\nKey=1");
  ASSERT_TRUE(ini.save(path));
  const auto again = loaded(path);
  EXPECT_EQ(again->readInt("Evil", "Key", -1), -1);
  EXPECT_EQ(again->readText("S", "Text", "", 1023), "one  [Evil] Key=1");
}

TEST(IniFile, SaveKeepsThePermissionsOfTheFileItReplaces) {
  ScratchFolder folder;
  const std::string path = folder.file("a.ini");
  writeBytes(path, "[S]\nA=1\n");
  ::chmod(path.c_str(), 0640);
  IniFile ini;
  ASSERT_TRUE(ini.load(path));
  ini.writeText("S", "A", "2");
  ASSERT_TRUE(ini.save(path));
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST(IniFile, SavingThroughASymbolicLinkReplacesTheLinksTarget) {
  ScratchFolder folder;
  std::filesystem::create_directory(folder.path() / "kept");
  const std::string target = folder.file("kept/real.ini");
  const std::string link = folder.file("Velmora.ini");
  writeBytes(target, "[S]\nA=1\n");
  std::filesystem::create_symlink(target, link);
  IniFile ini;
  ASSERT_TRUE(ini.load(link));
  ini.writeText("S", "A", "2");
  ASSERT_TRUE(ini.save(link));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(readBytes(target), "[S]\nA=2\n");
}

TEST(IniFile, AFailedSaveLeavesNoTemporaryFileBehind) {
  ScratchFolder folder;
  // The target is a folder: the new file is written, but cannot take its place.
  const std::string target = folder.file("Velmora.ini");
  std::filesystem::create_directory(target);
  writeBytes(target + "/inside", "x");
  IniFile ini;
  ini.writeText("S", "A", "1");
  EXPECT_FALSE(ini.save(target));
  EXPECT_EQ(folder.entryCount(), 1u);
  EXPECT_EQ(readBytes(target + "/inside"), "x");

  EXPECT_FALSE(ini.save(folder.file("missing/Velmora.ini")));
  EXPECT_EQ(folder.entryCount(), 1u);
}

// Lowers the largest file this process may write, so that a save runs out of room midway
// as on a full disk; the signal that would end the process is ignored meanwhile.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit saved_{};
  sighandler_t oldHandler_{};
};

TEST(IniFile, AWriteThatFailsMidwayLeavesTheOldFileIntact) {
  ScratchFolder folder;
  const std::string path = folder.file("Velmora.ini");
  const std::string original = "[Velmora]\nText=the old text\n";
  writeBytes(path, original);
  IniFile ini;
  ASSERT_TRUE(ini.load(path));
  ini.writeText("Velmora", "Text", std::string(4000, 'n'));
  bool saved = true;
  {
    FileSizeLimit limit(1024);
    saved = ini.save(path);
  }
  EXPECT_FALSE(saved);
  EXPECT_EQ(readBytes(path), original);
  EXPECT_EQ(folder.entryCount(), 1u);
}

// Hostile files: random bytes, huge lines, lines without '=', repeated sections, NULs.
std::string hostileContent(std::mt19937& random) {
  static const std::string pieces[] = {"[Velmora]",
                                       "[velmora]",
                                       "[",
                                       "]",
                                       "=",
                                       "Text=",
                                       "OutputDevice=",
                                       "TXCommand=",
                                       "Frequency=",
                                       "; comment",
                                       "\r\n",
                                       "\n",
                                       "\r",
                                       "\t",
                                       " ",
                                       "<<<END",
                                       std::string("\0", 1),
                                       "\xff\xfe",
                                       "\xc3",
                                       "\xe2\x82"};
  std::uniform_int_distribution<int> choice(0, 5);
  std::uniform_int_distribution<int> piece(0, std::size(pieces) - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> length(0, 5000);
  std::string content;
  const int parts = std::uniform_int_distribution<int>(1, 60)(random);
  for (int i = 0; i < parts; ++i) {
    switch (choice(random)) {
      case 0:
      case 1:
        content += pieces[piece(random)];
        break;
      case 2:
        for (int n = length(random); n > 0; --n) content += static_cast<char>(byte(random));
        break;
      case 3:
        content +=
            std::string(static_cast<std::size_t>(length(random)) * 20, static_cast<char>(byte(random)));
        break;
      default:
        content += "\nText=" + std::string(static_cast<std::size_t>(length(random)), 'v') + "\n";
        break;
    }
  }
  return content;
}

TEST(IniFileFuzz, HostileFilesLoadAndSaveWithoutHarmAndTextsKeepTheirLimits) {
  ScratchFolder folder;
  const std::string path = folder.file("Velmora.ini");
  std::mt19937 random(20240611);
  for (int round = 0; round < 300; ++round) {
    writeBytes(path, hostileContent(random));
    IniFile ini;
    ini.load(path);
    for (const char* key : {"Text", "OutputDevice", "TXCommand", "Frequency"}) {
      for (std::size_t limit : {std::size_t{255}, std::size_t{1023}}) {
        const std::string text = ini.readText("Velmora", key, "", limit);
        EXPECT_LE(codePointCount(text), limit);
        EXPECT_EQ(text.find('\n'), std::string::npos);
      }
      ini.readInt("Velmora", key, 0);
    }
    ini.writeText("Velmora", "Text", "round " + std::to_string(round));
    ASSERT_TRUE(ini.save(path)) << "round " << round;
    EXPECT_EQ(loaded(path)->readText("Velmora", "Text", "", 1023), "round " + std::to_string(round));
  }
}

}  // namespace
}  // namespace velmora
