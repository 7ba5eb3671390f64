#include "app/settings_file.h"

#include <vector>

#include "platform/paths.h"

namespace app {
namespace {

constexpr const char* kByteOrderMark = "\xEF\xBB\xBF";

bool startsWithByteOrderMark(const std::string& bytes) { return bytes.rfind(kByteOrderMark, 0) == 0; }

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

std::optional<std::string> ParseSettings(const std::string& bytes, platform::Platform& platform) {
  const std::string text =
      startsWithByteOrderMark(bytes) ? bytes.substr(3) : platform.decode(bytes, platform::CodePage::Ansi);
  const std::vector<std::string> lines = splitLines(text);
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
  if (auto ansi = platform.encode(text, platform::CodePage::Ansi)) return *ansi + "\r\n";
  return kByteOrderMark + text + "\r\n";
}

std::optional<std::string> LoadSavedPath(platform::Platform& platform) {
  auto bytes = platform.readFile(settingsPath(platform));
  if (!bytes.ok()) return std::nullopt;
  return ParseSettings(bytes.value(), platform);
}

void SaveCachePath(platform::Platform& platform, const std::string& text) {
  const platform::Status saved = platform.replaceFile(settingsPath(platform), SettingsBytes(text, platform));
  if (!saved.ok()) platform.message(kPathNotSaved + saved.error);
}

}  // namespace app
