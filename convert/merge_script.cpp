#include "convert/merge_script.h"

#include <algorithm>
#include <cstddef>

#include "convert/cache_listing.h"
#include "convert/fragment_order.h"
#include "convert/messages.h"
#include "convert/walk_guard.h"
#include "convert/write_failure.h"
#include "platform/paths.h"
#include "platform/utf8.h"

namespace convert {
namespace {

// cmd keeps full file names under 260 characters; a folder is only part of the
// names the copy builds from it.
constexpr std::size_t kLongestScriptPath = 200;

// cmd reads no longer line.
constexpr std::size_t kLongestCommandLine = 8191;

// /d keeps the registry's AutoRun commands from changing the folder or the code
// page before the script runs; ".\" finds the script in the current folder even
// where the search path leaves that folder out.
constexpr const char* kInterpreterCommandLine = "cmd /d /v:off /c .\\Fok.BAT";

enum class FragmentSearch { Found, NoFiles, NoTdlFiles, Unreadable };

struct SearchResult {
  FragmentSearch outcome;
  std::string error;
  std::vector<platform::DirectoryEntry> files;
};

// Case-sensitive, and without asking for a dot: the client's fragments end in
// "tdl" and nothing else is taken for one.
bool endsWithTdl(const std::string& name) { return name.size() >= 3 && name.compare(name.size() - 3, 3, "tdl") == 0; }

// Every file of the folder, since the join needs them all; the window is served
// after each file that is no fragment, which is most of a crowded folder.
SearchResult readFragmentFolder(platform::Platform& platform, CacheState& state, const std::string& folder) {
  auto opened = platform.openDirectory(folder, platform::ShortNames::Report);
  if (!opened.ok()) return {FragmentSearch::Unreadable, opened.error(), {}};
  platform::DirectoryReader& reader = *opened.value();
  WalkGuard walking(state);
  SearchResult result{FragmentSearch::NoFiles, {}, {}};
  bool anyFragment = false;
  while (auto entry = reader.next()) {
    if (entry->isFolder) continue;
    const bool fragment = endsWithTdl(entry->name);
    result.files.push_back(std::move(*entry));
    anyFragment = anyFragment || fragment;
    if (!fragment) platform.yield();
  }
  if (!reader.error().empty()) return {FragmentSearch::Unreadable, reader.error(), {}};
  if (!result.files.empty()) result.outcome = anyFragment ? FragmentSearch::Found : FragmentSearch::NoTdlFiles;
  return result;
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

// The 8.3 form of a path, a folder form keeping its trailing backslash.
std::optional<std::string> shortFormOf(platform::Platform& platform, const std::string& path) {
  const bool isFolderForm = path.size() > 3 && path.back() == '\\';
  const auto shortForm = platform.shortPath(isFolderForm ? path.substr(0, path.size() - 1) : path);
  if (!shortForm) return std::nullopt;
  return isFolderForm ? platform::WithTrailingBackslash(*shortForm) : *shortForm;
}

bool isNetworkPath(const std::string& path) { return path.rfind("\\\\", 0) == 0; }

// Each fragment as the script can name it inside folder: its own name, or its
// 8.3 name where the interpreter cannot read the other, or first when shortest.
std::optional<std::vector<std::string>> scriptNames(platform::Platform& platform, const std::string& folder,
                                                    const std::vector<Fragment>& fragments, bool shortest) {
  std::vector<std::string> names;
  for (const Fragment& fragment : fragments) {
    const bool shortFirst = shortest && !fragment.shortName.empty();
    const std::string& preferred = shortFirst ? fragment.shortName : fragment.name;
    const std::string& other = shortFirst ? fragment.name : fragment.shortName;
    if (fitsScript(platform, folder + preferred)) {
      names.push_back(preferred);
    } else if (!other.empty() && fitsScript(platform, folder + other)) {
      names.push_back(other);
    } else {
      return std::nullopt;
    }
  }
  return names;
}

std::size_t longestLine(const std::vector<std::string>& lines) {
  std::size_t longest = 0;
  for (const std::string& line : lines) longest = std::max(longest, platform::utf16Length(line));
  return longest;
}

struct ScriptPlan {
  std::vector<std::string> lines;
  std::string workingFolder;      // the program's folder as the script names it
  const char* refusal = nullptr;  // a message instead of a script
  std::string refused;            // what the message names
};

// The lines for the plan's fragments: the wildcard where it takes the right files
// in the right order, otherwise every fragment by name, in short forms if the
// long ones make the copy longer than cmd reads.
ScriptPlan planScript(platform::Platform& platform, const FragmentPlan& fragments, const std::string& folder,
                      const std::string& appFolder, const std::string& outputName) {
  const auto scriptFolder = ScriptablePath(platform, folder);
  const auto scriptAppFolder = ScriptablePath(platform, appFolder);
  const auto refuse = [](const char* message, const std::string& what) { return ScriptPlan{{}, {}, message, what}; };
  if (!scriptFolder) return refuse(kPathNotScriptable, folder);
  if (!scriptAppFolder) return refuse(kPathNotScriptable, appFolder);
  if (!fitsScript(platform, outputName)) return refuse(kPathNotScriptable, outputName);
  const auto script = [&](const std::string& inFolder, const std::vector<std::string>& names) {
    return ScriptPlan{MergeScriptLines(inFolder, *scriptAppFolder, outputName, names), *scriptAppFolder, nullptr, {}};
  };
  if (!fragments.needsExplicitList) return script(*scriptFolder, {});

  const auto names = scriptNames(platform, *scriptFolder, fragments.fragments, false);
  if (!names) return refuse(kPathNotScriptable, folder);
  ScriptPlan plan = script(*scriptFolder, *names);
  if (longestLine(plan.lines) <= kLongestCommandLine) return plan;

  const std::string shortestFolder = shortFormOf(platform, *scriptFolder).value_or(*scriptFolder);
  const auto shortNames = fitsScript(platform, shortestFolder)
                              ? scriptNames(platform, shortestFolder, fragments.fragments, true)
                              : std::nullopt;
  if (shortNames) {
    plan = script(shortestFolder, *shortNames);
    if (longestLine(plan.lines) <= kLongestCommandLine) return plan;
  }
  return refuse(kTooManyFragments, folder);
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
                                          const std::string& outputName,
                                          const std::vector<std::string>& fragmentNames) {
  // A network folder has no drive to switch to; its line stays a remark so the
  // script keeps its four lines.
  const std::string driveLine = platform::HasDriveLetter(folder) ? folder.substr(0, 2) : "rem";
  std::string sources;
  for (const std::string& name : fragmentNames) sources += (sources.empty() ? "" : "+") + QuoteForBatch(folder + name);
  if (sources.empty()) sources = QuoteForBatch(folder + "*.tdl");
  // /Y: a COPYCMD of /-Y would otherwise have copy ask, in a window nobody sees.
  return {
      driveLine,
      "cd /d " + QuoteForBatch(folder),
      "copy /Y /B " + sources + " " + QuoteForBatch(platform::JoinPath(appFolder, outputName)),
      "del " + QuoteForBatch(platform::JoinPath(appFolder, kScriptName)),
  };
}

std::optional<std::string> ScriptablePath(platform::Platform& platform, const std::string& path) {
  if (const auto plain = platform::PlainFormOf(path)) return ScriptablePath(platform, *plain);
  if (fitsScript(platform, path)) return path;
  auto candidate = shortFormOf(platform, path);
  if (!candidate || !fitsScript(platform, *candidate)) return std::nullopt;
  return candidate;
}

void StartConversion(platform::Platform& platform, ListView& list, CacheState& state) {
  // The running interpreter reads the script line by line from the file: a new
  // script written now would be read by it from the middle.
  if (state.conversion) {
    platform.message(kConversionRunning);
    return;
  }
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

  const SearchResult search = readFragmentFolder(platform, state, folder);
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
  const FragmentPlan fragments = PlanFragments(search.files);
  // A name that only ends in "tdl" passes the check, but the copy would find nothing to join.
  if (fragments.fragments.empty()) {
    platform.message(kNoTdlFiles);
    return;
  }

  const std::string interpreter = platform::JoinPath(platform.systemFolder(), "cmd.exe");
  if (platform.exists(interpreter, platform::kMatchFiles).empty()) return;

  const std::string appFolder = platform.AppFolder();
  if (isNetworkPath(appFolder)) {
    platform.message(kAppFolderOnNetwork + appFolder);
    return;
  }
  const std::string outputName = OutputFileName(chosen.baseName);
  const ScriptPlan script = planScript(platform, fragments, folder, appFolder, outputName);
  if (script.refusal) {
    platform.message(script.refusal + script.refused);
    return;
  }
  std::string text;
  for (const std::string& line : script.lines) text += line + "\r\n";
  const auto bytes = platform.encode(text, platform::CodePage::Oem);
  if (!bytes) {
    platform.message(kPathNotScriptable + text);
    return;
  }

  auto lock = platform.lockScriptFolder(appFolder);
  if (!lock) {
    platform.message(kConversionRunning);
    return;
  }
  // The check afterwards can only tell this conversion's file from an older one
  // of the same name if the older one is gone; the conversion replaces it anyway.
  const std::string outputPath = platform::JoinPath(appFolder, outputName);
  if (platform.kindOf(outputPath) == platform::PathKind::File) {
    const platform::Status deleted = platform.deleteFile(outputPath);
    if (!deleted.ok()) {
      platform.message(CannotWriteMessage(kOutputInUse + outputPath + "（", deleted, "）"));
      return;
    }
  }
  const platform::Status written = platform.writeFile(platform::JoinPath(appFolder, kScriptName), *bytes);
  if (!written.ok()) {
    platform.message(CannotWriteMessage(kScriptNotWritten, written));
    return;
  }
  // The script's own name is the whole argument; the folder travels as the
  // current directory, where no character of it can be misread.
  const platform::Status started = platform.runInterpreter(
      {interpreter, kInterpreterCommandLine, script.workingFolder, platform::WindowStyle::Minimized}, std::move(lock));
  if (!started.ok()) {
    platform.message(kInterpreterNotStarted + started.error);
    return;
  }
  state.conversion = RunningConversion{outputPath, fragments.totalBytes};
}

void FinishConversion(platform::Platform& platform, CacheState& state) {
  if (!state.conversion) return;
  const RunningConversion finished = *state.conversion;
  state.conversion.reset();
  const auto size = platform.fileSize(finished.outputPath);
  if (size && *size == finished.expectedBytes) return;
  const std::string found =
      size ? "文件有 " + std::to_string(*size) + " 字节，应有 " + std::to_string(finished.expectedBytes) + " 字节"
           : std::string("文件不存在");
  platform.message(kOutputIncomplete + finished.outputPath + "（" + found + "）");
}

void OpenOutputFolder(platform::Platform& platform) {
  const std::string appFolder = platform.AppFolder();
  const platform::Status started =
      platform.run({platform::JoinPath(platform.windowsFolder(), "explorer.exe"),
                    "explorer " + quoteForCommandLine(appFolder), "", platform::WindowStyle::Normal});
  if (!started.ok()) platform.message(kExplorerNotStarted + started.error);
}

}  // namespace convert
