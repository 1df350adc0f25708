#pragma once
// An INI-style profile file read and written the way the program has always done it:
// sections and keys found whatever their case, the first of repeated ones counting. A
// save changes only the lines of the keys written (or adds them) and keeps every other
// byte of the file; it is atomic (temporary file in the same folder, then rename).

#include <cstdint>
#include <memory>
#include <string>

namespace velmora {

class IniFile {
 public:
  IniFile();
  ~IniFile();
  IniFile(const IniFile&) = delete;
  IniFile& operator=(const IniFile&) = delete;

  // False when the file is missing or unreadable; the object then holds nothing.
  bool load(const std::string& path);
  // The value as text (UTF-8; a value that is not valid UTF-8 is read as Windows-1252),
  // at most maxChars characters, or fallback when the key is absent.
  std::string readText(const std::string& section, const std::string& key, const std::string& fallback,
                       std::size_t maxChars) const;
  // The value as a decimal integer, or fallback when the key is absent.
  std::int32_t readInt(const std::string& section, const std::string& key, std::int32_t fallback) const;
  // Replaces the value in the key's line, or adds the line at the end of the section (the
  // section at the end of the file). A file in the old ANSI code page gets the value in
  // Windows-1252 where that holds it, else in UTF-8.
  void writeText(const std::string& section, const std::string& key, const std::string& value);
  // False when the file could not be written; the old file is then left intact.
  bool save(const std::string& path) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace velmora
