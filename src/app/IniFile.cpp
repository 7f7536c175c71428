#include "app/IniFile.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "app/ArquivoDuravel.h"
#include "common/Exception.h"
#include "common/Strings.h"

namespace bilhetor {

namespace {

constexpr std::size_t npos = std::string::npos;

bool IsSectionLine(const std::string& line, std::string* name) {
  const std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  const std::size_t close = t.find(']');
  if (close == npos) return false;
  if (name) *name = Trim(t.substr(1, close - 1));
  return true;
}

bool SplitKeyLine(const std::string& line, std::string* key, std::string* value) {
  const std::string t = TrimLeft(line);
  if (t.empty() || t[0] == ';' || t[0] == '#') return false;
  const std::size_t eq = t.find('=');
  if (eq == npos) return false;
  if (key) *key = Trim(t.substr(0, eq));
  if (value) *value = Trim(t.substr(eq + 1));
  return true;
}

}  // namespace

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {
  std::ifstream in(fileName_, std::ios::binary);
  if (!in) return;
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == npos) end = content.size();
    std::string line = content.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines_.push_back(std::move(line));
    start = end + 1;
  }
}

std::size_t TIniFile::FindSection(const std::string& section) const {
  std::string name;
  for (std::size_t i = 0; i < lines_.size(); ++i)
    if (IsSectionLine(lines_[i], &name) && SameText(name, section)) return i;
  return npos;
}

std::size_t TIniFile::FindKey(std::size_t sectionLine, const std::string& key) const {
  std::string name;
  for (std::size_t i = sectionLine + 1; i < lines_.size(); ++i) {
    if (IsSectionLine(lines_[i], nullptr)) break;
    if (SplitKeyLine(lines_[i], &name, nullptr) && SameText(name, key)) return i;
  }
  return npos;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
  const std::size_t s = FindSection(section);
  return s != npos && FindKey(s, key) != npos;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const {
  const std::size_t s = FindSection(section);
  if (s == npos) return def;
  const std::size_t k = FindKey(s, key);
  if (k == npos) return def;
  std::string value;
  SplitKeyLine(lines_[k], nullptr, &value);
  return value;
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key, int def) const {
  return StrToIntDef(ReadString(section, key, ""), def);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  // Line breaks inside a value would start new keys when read back.
  std::string clean = value;
  for (char& c : clean)
    if (c == '\r' || c == '\n') c = ' ';
  const std::string line = key + "=" + clean;
  std::size_t s = FindSection(section);
  if (s == npos) {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back("[" + section + "]");
    lines_.push_back(line);
    return;
  }
  const std::size_t k = FindKey(s, key);
  if (k != npos) {
    lines_[k] = line;
    return;
  }
  // Append after the section's last non-blank line.
  std::size_t insertAt = s + 1;
  for (std::size_t i = s + 1; i < lines_.size() && !IsSectionLine(lines_[i], nullptr); ++i)
    if (!Trim(lines_[i]).empty()) insertAt = i + 1;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), line);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void TIniFile::UpdateFile() const {
  const std::string temp = fileName_ + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    for (const auto& line : lines_) out << line << "\r\n";
    out.flush();
    if (!out) {
      std::remove(temp.c_str());
      throw EIniFile(Format("Cannot write settings file %s", fileName_.c_str()));
    }
  }
  if (!RenomearSobre(temp, fileName_)) {
    std::remove(temp.c_str());
    throw EIniFile(Format("Cannot write settings file %s", fileName_.c_str()));
  }
}

}  // namespace bilhetor
