#include "convert/merge_script.h"

#include "convert/messages.h"
#include "platform/paths.h"
#include "platform/utf8.h"

namespace convert {
namespace {

// cmd keeps full file names under 260 characters; a folder is only part of the
// names the copy builds from it.
constexpr std::size_t kLongestScriptPath = 200;

// cmd's "&&" goes on after a copy that failed under Wine, while "if errorlevel"
// reads copy's result on both; a "pushd" that failed stops the copies too.
constexpr const char* kIfAllWentWell = "if not errorlevel 1 ";

bool fitsScript(platform::Platform& platform, const std::string& path) {
  return !platform::hasControlCharacter(path) && platform::utf16Length(path) <= kLongestScriptPath &&
         platform.encode(path, platform::CodePage::Oem).has_value();
}

// Each fragment as the script can name it inside folder: its own name, or its
// 8.3 name where the interpreter cannot read the other.
std::optional<std::vector<std::string>> scriptNames(platform::Platform& platform, const std::string& folder,
                                                    const std::vector<Fragment>& fragments) {
  std::vector<std::string> names;
  for (const Fragment& fragment : fragments) {
    if (fitsScript(platform, folder + fragment.name)) {
      names.push_back(fragment.name);
    } else if (!fragment.shortName.empty() && fitsScript(platform, folder + fragment.shortName)) {
      names.push_back(fragment.shortName);
    } else {
      return std::nullopt;
    }
  }
  return names;
}

// The copy lines: the first starts the temporary file, each further one appends
// to it, which cmd does in place for a destination that is also the first source.
std::optional<std::vector<std::string>> copyLines(const std::vector<std::string>& sources, const std::string& temporary,
                                                  std::size_t longestLine) {
  const std::string starting = std::string(kIfAllWentWell) + "copy /Y /B ";
  const std::string appending = starting + temporary + "+";
  const std::string ending = " " + temporary + " >nul";
  const std::size_t endingLength = platform::utf16Length(ending);
  std::vector<std::string> lines;
  std::string line;
  std::size_t lineLength = 0;  // in the UTF-16 units cmd counts, kept as the line grows
  for (const std::string& source : sources) {
    const std::size_t sourceLength = platform::utf16Length(source);
    if (!line.empty() && lineLength + 1 + sourceLength + endingLength <= longestLine) {
      line += "+" + source;
      lineLength += 1 + sourceLength;
      continue;
    }
    if (!line.empty()) lines.push_back(line + ending);
    const std::string& head = lines.empty() ? starting : appending;
    line = head + source;
    lineLength = platform::utf16Length(head) + sourceLength;
    if (lineLength + endingLength > longestLine) return std::nullopt;
  }
  lines.push_back(line + ending);
  return lines;
}

}  // namespace

std::string QuoteForBatch(const std::string& path) {
  std::string quoted = "\"";
  for (char c : path) {
    quoted += c;
    if (c == '%') quoted += '%';
  }
  return quoted + "\"";
}

std::optional<std::vector<std::string>> MergeScriptLines(const std::string& folder, const std::string& appFolder,
                                                         const std::string& outputName,
                                                         const std::vector<std::string>& fragmentNames,
                                                         std::size_t longestLine) {
  std::vector<std::string> sources;
  for (const std::string& name : fragmentNames) sources.push_back(QuoteForBatch(name));
  if (sources.empty()) return std::nullopt;
  const std::string temporary = QuoteForBatch(platform::JoinPath(appFolder, kTemporaryName));
  auto copies = copyLines(sources, temporary, longestLine);
  if (!copies) return std::nullopt;

  // Windows' cmd cannot make a network folder current with "cd"; "pushd" gives it a
  // drive letter of its own for the while, and "popd" takes that back, which has to
  // come before the script's last line.
  std::vector<std::string> lines{"pushd " + QuoteForBatch(folder)};
  // /Y: a COPYCMD of /-Y would otherwise have copy and move ask, in a window nobody sees.
  const std::string rename = std::string(kIfAllWentWell) + "move /Y " + temporary + " " +
                             QuoteForBatch(platform::JoinPath(appFolder, outputName)) + " >nul";
  if (copies->size() == 1) {
    lines.push_back(copies->front() + " & " + rename);
  } else {
    lines.insert(lines.end(), copies->begin(), copies->end());
    lines.push_back(rename);
  }
  lines.push_back("popd");
  // Windows' cmd reads nothing after the script has deleted itself.
  lines.push_back("del " + QuoteForBatch(platform::JoinPath(appFolder, kScriptName)));
  return lines;
}

std::optional<std::string> ScriptablePath(platform::Platform& platform, const std::string& path) {
  if (const auto plain = platform::PlainFormOf(path)) return ScriptablePath(platform, *plain);
  if (fitsScript(platform, path)) return path;
  const bool isFolderForm = path.size() > 3 && path.back() == '\\';
  const auto shortForm = platform.shortPath(isFolderForm ? path.substr(0, path.size() - 1) : path);
  if (!shortForm) return std::nullopt;
  const std::string candidate = isFolderForm ? platform::WithTrailingBackslash(*shortForm) : *shortForm;
  if (!fitsScript(platform, candidate)) return std::nullopt;
  return candidate;
}

ScriptPlan PlanMergeScript(platform::Platform& platform, const FragmentPlan& fragments, const std::string& folder,
                           const std::string& appFolder, const std::string& outputName) {
  const auto refuse = [](const char* message, const std::string& what) { return ScriptPlan{{}, {}, message, what}; };
  const auto scriptFolder = ScriptablePath(platform, folder);
  const auto scriptAppFolder = ScriptablePath(platform, appFolder);
  if (!scriptFolder) return refuse(kPathNotScriptable, folder);
  if (!scriptAppFolder) return refuse(kPathNotScriptable, appFolder);
  if (!fitsScript(platform, outputName)) return refuse(kPathNotScriptable, outputName);
  const auto names = scriptNames(platform, *scriptFolder, fragments.fragments);
  if (!names) return refuse(kPathNotScriptable, folder);
  auto lines = MergeScriptLines(*scriptFolder, *scriptAppFolder, outputName, *names);
  if (!lines) return refuse(kTooManyFragments, folder);
  return ScriptPlan{std::move(*lines), *scriptAppFolder, nullptr, {}};
}

}  // namespace convert
