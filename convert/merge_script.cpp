#include "convert/merge_script.h"

#include <cstddef>

#include "convert/cache_listing.h"
#include "convert/messages.h"
#include "convert/walk_guard.h"
#include "platform/paths.h"
#include "platform/utf8.h"

namespace convert {
namespace {

// cmd keeps full file names under 260 characters; a folder is only part of the
// names the copy builds from it.
constexpr std::size_t kLongestScriptPath = 200;

constexpr const char* kInterpreterCommandLine = "cmd /v:off /c Fok.BAT";

enum class FragmentSearch { Found, NoFiles, NoTdlFiles, Unreadable };

struct SearchResult {
  FragmentSearch outcome;
  std::string error;
};

// Case-sensitive, and without asking for a dot: the client's fragments end in
// "tdl" and nothing else is taken for one.
bool endsWithTdl(const std::string& name) { return name.size() >= 3 && name.compare(name.size() - 3, 3, "tdl") == 0; }

SearchResult findFragment(platform::Platform& platform, CacheState& state, const std::string& folder) {
  auto opened = platform.openDirectory(folder);
  if (!opened.ok()) return {FragmentSearch::Unreadable, opened.error()};
  platform::DirectoryReader& reader = *opened.value();
  WalkGuard walking(state);
  bool anyFile = false;
  while (auto entry = reader.next()) {
    if (entry->isFolder) continue;
    anyFile = true;
    if (endsWithTdl(entry->name)) return {FragmentSearch::Found, {}};
    platform.yield();
  }
  if (!reader.error().empty()) return {FragmentSearch::Unreadable, reader.error()};
  return {anyFile ? FragmentSearch::NoTdlFiles : FragmentSearch::NoFiles, {}};
}

bool fitsScript(platform::Platform& platform, const std::string& path) {
  return !platform::hasControlCharacter(path) && platform::utf16Length(path) <= kLongestScriptPath &&
         platform.encode(path, platform::CodePage::Oem).has_value();
}

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

std::string QuoteForBatch(const std::string& path) {
  std::string quoted = "\"";
  for (char c : path) {
    quoted += c;
    if (c == '%') quoted += '%';
  }
  return quoted + "\"";
}

std::vector<std::string> MergeScriptLines(const std::string& folder, const std::string& appFolder,
                                          const std::string& outputName) {
  // A network folder has no drive to switch to; its line stays a remark so the
  // script keeps its four lines.
  const std::string driveLine = platform::HasDriveLetter(folder) ? folder.substr(0, 2) : "rem";
  return {
      driveLine,
      "cd /d " + QuoteForBatch(folder),
      "copy/B " + QuoteForBatch(folder + "*.tdl") + " " + QuoteForBatch(platform::JoinPath(appFolder, outputName)),
      "del " + QuoteForBatch(platform::JoinPath(appFolder, kScriptName)),
  };
}

std::optional<std::string> ScriptablePath(platform::Platform& platform, const std::string& path) {
  if (const auto plain = platform::PlainFormOf(path)) return ScriptablePath(platform, *plain);
  if (fitsScript(platform, path)) return path;
  const bool isFolderForm = path.size() > 3 && path.back() == '\\';
  const std::string bare = isFolderForm ? path.substr(0, path.size() - 1) : path;
  auto shortForm = platform.shortPath(bare);
  if (!shortForm) return std::nullopt;
  std::string candidate = isFolderForm ? platform::WithTrailingBackslash(*shortForm) : *shortForm;
  if (!fitsScript(platform, candidate)) return std::nullopt;
  return candidate;
}

void StartConversion(platform::Platform& platform, ListView& list, CacheState& state) {
  const int index = list.selectedListIndex();
  if (index < 0 || static_cast<std::size_t>(index) >= state.CacheFolderNames.size()) {
    platform.message(kNoSelection);
    return;
  }
  // One reading of the selection for the whole conversion: the walk below yields,
  // and a click then must not mix the folder of one video with the name of another.
  const CacheFolder chosen = state.CacheFolderNames[static_cast<std::size_t>(index)];
  state.SelectedFolderPath = platform::WithTrailingBackslash(chosen.fullPath);
  const std::string folder = state.SelectedFolderPath;

  const SearchResult search = findFragment(platform, state, folder);
  switch (search.outcome) {
    case FragmentSearch::Unreadable:
      platform.message(kSelectedFolderGone + search.error);
      return;
    case FragmentSearch::NoFiles:
      platform.message(kNoFiles);
      return;
    case FragmentSearch::NoTdlFiles:
      platform.message(kNoTdlFiles);
      return;
    case FragmentSearch::Found:
      break;
  }

  if (platform.exists(kCommandInterpreter, platform::kMatchFiles).empty()) return;

  const std::string appFolder = platform.AppFolder();
  const std::string outputName = OutputFileName(chosen.baseName);
  const auto scriptFolder = ScriptablePath(platform, folder);
  const auto scriptAppFolder = ScriptablePath(platform, appFolder);
  const char* unscriptable = !scriptFolder                       ? folder.c_str()
                             : !scriptAppFolder                  ? appFolder.c_str()
                             : !fitsScript(platform, outputName) ? outputName.c_str()
                                                                 : nullptr;
  if (unscriptable) {
    platform.message(kPathNotScriptable + std::string(unscriptable));
    return;
  }

  std::string text;
  for (const std::string& line : MergeScriptLines(*scriptFolder, *scriptAppFolder, outputName)) {
    text += line + "\r\n";
  }
  const auto bytes = platform.encode(text, platform::CodePage::Oem);
  if (!bytes) {
    platform.message(kPathNotScriptable + text);
    return;
  }
  const platform::Status written = platform.writeFile(platform::JoinPath(appFolder, kScriptName), *bytes);
  if (!written.ok()) {
    platform.message(kScriptNotWritten + written.error);
    return;
  }
  // The script's own name is the whole argument; the folder travels as the
  // current directory, where no character of it can be misread.
  const platform::Status started =
      platform.run({kCommandInterpreter, kInterpreterCommandLine, *scriptAppFolder, platform::WindowStyle::Minimized});
  if (!started.ok()) platform.message(kInterpreterNotStarted + started.error);
}

void OpenOutputFolder(platform::Platform& platform) {
  const std::string appFolder = platform.AppFolder();
  const platform::Status started =
      platform.run({platform::JoinPath(platform.windowsFolder(), "explorer.exe"),
                    "explorer " + quoteForCommandLine(appFolder), "", platform::WindowStyle::Normal});
  if (!started.ok()) platform.message(kExplorerNotStarted + started.error);
}

}  // namespace convert
