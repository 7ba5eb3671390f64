#include "app/settings_file.h"

#include <algorithm>
#include <vector>

#include "convert/output_folder.h"
#include "convert/write_failure.h"
#include "platform/paths.h"
#include "platform/utf8.h"

namespace app {
namespace {

constexpr const char* kByteOrderMark = "\xEF\xBB\xBF";
constexpr const char* kUtf16LittleEndianMark = "\xFF\xFE";
constexpr const char* kUtf16BigEndianMark = "\xFE\xFF";

bool startsWith(const std::string& bytes, const char* prefix) { return bytes.rfind(prefix, 0) == 0; }

bool isAscii(const std::string& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string settingsText(const std::string& bytes, platform::Platform& platform) {
  switch (DetectSettingsEncoding(bytes)) {
    case SettingsEncoding::Utf8WithMark:
      return bytes.substr(3);
    case SettingsEncoding::Utf16LittleEndian:
      return platform::utf16ToUtf8(bytes.substr(2), platform::ByteOrder::LittleEndian);
    case SettingsEncoding::Utf16BigEndian:
      return platform::utf16ToUtf8(bytes.substr(2), platform::ByteOrder::BigEndian);
    case SettingsEncoding::Utf8:
      return bytes;
    case SettingsEncoding::Ansi:
      break;
  }
  return platform.decode(bytes, platform::CodePage::Ansi);
}

bool isBlank(const std::string& line) { return line.find_first_not_of(" \t") == std::string::npos; }

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

std::string settingsPath(platform::Platform& platform) {
  return platform::JoinPath(platform.AppFolder(), kSettingsFileName);
}

}  // namespace

SettingsEncoding DetectSettingsEncoding(const std::string& bytes) {
  if (startsWith(bytes, kByteOrderMark)) return SettingsEncoding::Utf8WithMark;
  if (startsWith(bytes, kUtf16LittleEndianMark)) return SettingsEncoding::Utf16LittleEndian;
  if (startsWith(bytes, kUtf16BigEndianMark)) return SettingsEncoding::Utf16BigEndian;
  // Unmarked UTF-8 is what Notepad saves today. ANSI text that happens to be valid
  // UTF-8 is misread here; SettingsBytes never writes such text unmarked.
  if (!isAscii(bytes) && platform::isStrictUtf8(bytes)) return SettingsEncoding::Utf8;
  return SettingsEncoding::Ansi;
}

std::optional<std::string> ParseSettings(const std::string& bytes, platform::Platform& platform) {
  const std::vector<std::string> lines = splitLines(settingsText(bytes, platform));
  if (lines.empty()) return std::nullopt;

  // The last line that says something wins; a file of blank lines gives its first
  // line, so a saved empty or all-space text comes back as it was.
  std::string line = lines.front();
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    if (!isBlank(*it)) {
      line = *it;
      break;
    }
  }
  if (line.size() >= 2 && line.front() == '"' && line.back() == '"') line = line.substr(1, line.size() - 2);
  return line;
}

std::string SettingsBytes(const std::string& text, platform::Platform& platform) {
  if (auto ansi = platform.encode(text, platform::CodePage::Ansi)) {
    std::string line = *ansi + "\r\n";
    if (DetectSettingsEncoding(line) == SettingsEncoding::Ansi) return line;
  }
  return kByteOrderMark + text + "\r\n";
}

std::optional<std::string> LoadSavedPath(platform::Platform& platform) {
  auto bytes = platform.readFile(settingsPath(platform));
  if (!bytes.ok()) return std::nullopt;
  return ParseSettings(bytes.value(), platform);
}

void SaveCachePath(platform::Platform& platform, const std::string& text) {
  if (const auto taken = convert::OwnNameTaken(platform, settingsPath(platform) + platform::kReplacementSuffix)) {
    platform.message(*taken);
    return;
  }
  const platform::Status saved = platform.replaceFile(settingsPath(platform), SettingsBytes(text, platform));
  if (!saved.ok()) platform.message(convert::CannotWriteMessage(kPathNotSaved, saved));
}

}  // namespace app
