#pragma once
// A small INI file: "[Section]" headers and "Key=Value" lines. Section and key
// names compare without regard to letter case; blanks around names and values
// are ignored. Writing keeps every other line of the file (comments, other
// keys and sections) as it was. A missing or unreadable file reads as empty.
#include <string>
#include <vector>

#include "common/Exception.h"

namespace bilhetor {

// Writing the settings file failed.
BILHETOR_DECLARE_ERROR(EIniFile);

class TIniFile {
 public:
  explicit TIniFile(std::string fileName);

  const std::string& FileName() const { return fileName_; }

  bool ValueExists(const std::string& section, const std::string& key) const;
  std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
  // Decimal (or "$"/"0x" hexadecimal) integers; anything else gives def.
  int ReadInteger(const std::string& section, const std::string& key, int def) const;
  // True for any non-zero integer; a value that is not an integer gives def.
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;

  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int value);
  // Booleans are written as 1 and 0.
  void WriteBool(const std::string& section, const std::string& key, bool value);

  // Writes the lines back to the file (through a temporary file renamed over
  // it, so a crash never leaves half a file). Throws EIniFile on failure.
  void UpdateFile() const;

 private:
  // Index of the "[section]" line, or npos.
  std::size_t FindSection(const std::string& section) const;
  // Index of the key's line inside the section, or npos.
  std::size_t FindKey(std::size_t sectionLine, const std::string& key) const;

  std::string fileName_;
  std::vector<std::string> lines_;
};

}  // namespace bilhetor
