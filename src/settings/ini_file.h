#pragma once
// An INI-style profile file read and written the way the program has always done it:
// sections and keys found whatever their case, the first of repeated ones counting. A
// save changes only the lines of the keys written (or adds them) and keeps every other
// byte of the file, in the file's own encoding and line ends; it is atomic where the
// folder allows (temporary file in the same folder, then rename).

#include <cstdint>
#include <memory>
#include <string>
#include <system_error>

namespace velmora {

class IniFile {
 public:
  IniFile();
  ~IniFile();
  IniFile(const IniFile&) = delete;
  IniFile& operator=(const IniFile&) = delete;

  // False when the file is missing or unreadable (error says why); the object then holds
  // nothing.
  bool load(const std::string& path, std::error_code* error = nullptr);
  // The value as text (UTF-8, without the quotes around it and without control
  // characters), at most maxChars characters, or fallback when the key is absent.
  std::string readText(const std::string& section, const std::string& key, const std::string& fallback,
                       std::size_t maxChars) const;
  // The value as a decimal integer, or fallback when the key is absent.
  std::int32_t readInt(const std::string& section, const std::string& key, std::int32_t fallback) const;
  // Replaces the value in the key's line, or adds the line at the end of the section (the
  // section at the end of the file); a value read back the same is left as it stands. A
  // value with blanks at either end is written in quotes. A file in the old ANSI code
  // page that cannot hold the value becomes UTF-8 with a byte-order mark, all of it.
  void writeText(const std::string& section, const std::string& key, const std::string& value);
  // False when the file could not be written (error says why); see writeFileWhole.
  bool save(const std::string& path, std::error_code* error = nullptr) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace velmora
