#include "convert/output_folder.h"

#include <algorithm>

#include "convert/messages.h"
#include "platform/paths.h"
#include "platform/utf8.h"

namespace convert {
namespace {

// CommandLineToArgvW rules: backslashes before the closing quote are doubled.
std::string quoteForCommandLine(const std::string& path) {
  std::string quoted = "\"" + path;
  std::size_t trailing = 0;
  while (trailing < path.size() && path[path.size() - 1 - trailing] == '\\') ++trailing;
  quoted.append(trailing, '\\');
  return quoted + "\"";
}

}  // namespace

std::string OutputFileName(const std::string& baseName) {
  return "Shipin" + platform::firstCharacters(baseName, 4) + ".mp4";
}

std::string ChooseOutputName(platform::Platform& platform, const std::string& appFolder, const std::string& baseName,
                             std::uint64_t expectedBytes, const media::SourceTag& tag,
                             const std::function<std::optional<media::SourceTag>(const std::string&)>& readTag,
                             const std::vector<std::string>& taken) {
  const std::string plain = OutputFileName(baseName);
  const std::string stem = plain.substr(0, plain.size() - std::string(".mp4").size());
  // Two cache folders often share their first four characters; a video of
  // another size there is another video, which must not be lost.
  for (int number = 1;; ++number) {
    const std::string name = number == 1 ? plain : stem + " (" + std::to_string(number) + ").mp4";
    // Windows finds "Shipin7F3A.mp4" under "Shipin7f3a.mp4"; the names differ in ASCII at most.
    const auto sameName = [&](const std::string& other) { return platform::EqualsIgnoringAsciiCase(name, other); };
    if (std::any_of(taken.begin(), taken.end(), sameName)) continue;
    const std::string path = platform::JoinPath(appFolder, name);
    const platform::PathKind kind = platform.kindOf(path);
    if (kind == platform::PathKind::Missing) return name;
    if (kind != platform::PathKind::File) continue;
    if (platform.fileSize(path) == expectedBytes) return name;
    if (readTag && readTag(path) == tag) return name;
  }
}

std::optional<std::string> OwnNameTaken(platform::Platform& platform, const std::string& path) {
  const platform::PathKind kind = platform.kindOf(path);
  if (kind == platform::PathKind::Missing || (kind == platform::PathKind::File && !platform.isLink(path))) {
    return std::nullopt;
  }
  return kOwnNameTaken + path;
}

void OpenOutputFolder(platform::Platform& platform) {
  const std::string appFolder = platform.AppFolder();
  const platform::Status started =
      platform.run({platform::JoinPath(platform.windowsFolder(), "explorer.exe"),
                    "explorer " + quoteForCommandLine(appFolder), "", platform::WindowStyle::Normal});
  if (!started.ok()) platform.message(kExplorerNotStarted + started.error);
}

}  // namespace convert
