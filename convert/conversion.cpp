#include "convert/conversion.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "convert/fragment_order.h"
#include "convert/merge_script.h"
#include "convert/messages.h"
#include "convert/output_folder.h"
#include "convert/remux_step.h"
#include "convert/walk_guard.h"
#include "convert/write_failure.h"
#include "platform/paths.h"

namespace convert {
namespace {

// /d keeps the registry's AutoRun commands from changing the folder or the code
// page before the script runs; /e:on gives "pushd" and "if errorlevel" their
// meaning whatever the registry turned off; ".\" finds the script in the current folder even
// where the search path leaves that folder out.
constexpr const char* kInterpreterCommand = "cmd /d /e:on /v:off /c .\\";

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

bool isNetworkPath(const std::string& path) { return path.rfind("\\\\", 0) == 0; }

bool isFile(platform::Platform& platform, const std::string& path) {
  return platform.kindOf(path) == platform::PathKind::File;
}

// What the fragments joined hold now: the client may have added to them while the
// interpreter ran, and the video holds what the copy found. Fragments that arrived
// since are in no copy line, and count for nothing.
std::uint64_t joinedBytes(platform::Platform& platform, const RunningConversion& run) {
  std::uint64_t total = 0;
  for (const std::string& name : run.fragmentNames) total += platform.fileSize(run.folder + name).value_or(0);
  return total;
}

std::string sizesText(std::uint64_t found, std::uint64_t expected) {
  return "文件有 " + std::to_string(found) + " 字节，应有 " + std::to_string(expected) + " 字节";
}

}  // namespace

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
  // The path in the table would open another folder, or none.
  if (chosen.nameAltered) {
    platform.message(kFolderNameUnreadable + chosen.fullPath);
    return;
  }
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
  // The client caches only what was played; a video with holes jumps at each.
  if (fragments.missingNumbers > 0 &&
      !platform.askYesNo(kMissingSegmentsBefore + std::to_string(fragments.missingNumbers) + kMissingSegmentsAfter)) {
    return;
  }

  const std::string interpreter = platform::JoinPath(platform.systemFolder(), "cmd.exe");
  if (!isFile(platform, interpreter)) return;

  const std::string appFolder = platform.AppFolder();
  if (isNetworkPath(appFolder)) {
    platform.message(kAppFolderOnNetwork + appFolder);
    return;
  }
  // Taken before the output's name is chosen, so that no other copy of the
  // program picks the same free name meanwhile.
  auto lock = platform.lockScriptFolder(appFolder);
  if (!lock) {
    platform.message(kConversionRunning);
    return;
  }
  const std::string scriptPath = platform::JoinPath(appFolder, kScriptName);
  const std::string temporary = platform::JoinPath(appFolder, kTemporaryName);
  const std::string remuxing = platform::JoinPath(appFolder, kRemuxTemporaryName);
  for (const std::string* own : {&scriptPath, &temporary, &remuxing}) {
    if (const auto taken = OwnNameTaken(platform, *own)) {
      platform.message(*taken);
      return;
    }
  }
  const std::string outputName = ChooseOutputName(platform, appFolder, chosen.baseName, fragments.totalBytes,
                                                  TagFor(chosen.fullPath, fragments.totalBytes), state.readTag);
  const ScriptPlan script = PlanMergeScript(platform, fragments, folder, appFolder, outputName);
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
  // The appending copies must start from nothing.
  if (isFile(platform, temporary)) {
    const platform::Status deleted = platform.deleteFile(temporary);
    if (!deleted.ok()) {
      platform.message(CannotWriteMessage(kOutputInUse + temporary + "（", deleted, "）"));
      return;
    }
  }
  const platform::Status written = platform.writeFile(scriptPath, *bytes);
  if (!written.ok()) {
    platform.message(CannotWriteMessage(kScriptNotWritten, written));
    return;
  }
  // An earlier video of the same size stays when the join fails: only another file
  // under the name tells that this run renamed its join.
  const auto outputBefore = platform.fileStamp(platform::JoinPath(appFolder, outputName));
  // The script's own name is the whole argument; the folder travels as the
  // current directory, where no character of it can be misread.
  const std::string commandLine = kInterpreterCommand + std::string(kScriptName);
  const platform::Status started = platform.runInterpreter(
      {interpreter, commandLine, script.workingFolder, platform::WindowStyle::Minimized}, std::move(lock));
  if (!started.ok()) {
    platform.message(kInterpreterNotStarted + started.error);
    return;
  }
  RunningConversion running{appFolder, outputName, folder, {}, fragments.totalBytes, outputBefore};
  for (const Fragment& fragment : fragments.fragments) running.fragmentNames.push_back(fragment.name);
  state.conversion = std::move(running);
}

std::optional<int> ConversionProgress(platform::Platform& platform, const CacheState& state) {
  if (!state.conversion) return std::nullopt;
  const std::uint64_t total = state.conversion->expectedBytes;
  const std::uint64_t done =
      platform.fileSize(platform::JoinPath(state.conversion->appFolder, kTemporaryName)).value_or(0);
  if (total == 0) return 0;
  return static_cast<int>(std::min<std::uint64_t>(done, total) * 100 / total);
}

std::optional<std::string> FinishConversion(platform::Platform& platform, CacheState& state) {
  if (!state.conversion) return std::nullopt;
  const RunningConversion finished = std::move(*state.conversion);
  state.conversion.reset();
  const std::string script = platform::JoinPath(finished.appFolder, kScriptName);
  const std::string temporary = platform::JoinPath(finished.appFolder, kTemporaryName);
  const std::string output = platform::JoinPath(finished.appFolder, finished.outputName);
  // Still there when the interpreter was cut off before its last line.
  if (isFile(platform, script)) platform.deleteFile(script);

  const std::uint64_t expected = joinedBytes(platform, finished);
  // The rename is the script's last step: a temporary file left means the video
  // never took its name, whatever that name holds.
  const auto partial = platform.fileSize(temporary);
  const auto size = platform.fileSize(output);
  const auto stamp = platform.fileStamp(output);
  const bool renamedNow = stamp && !(finished.outputBefore && platform::SameFile(*stamp, *finished.outputBefore));
  if (!partial && renamedNow && size == expected) return finished.outputName;
  if (partial) platform.deleteFile(temporary);

  if (partial && *partial == expected) {
    platform.message(kOutputInUse + output);
  } else if (!partial && size && !renamedNow) {
    platform.message(kOutputIncomplete + output + kOutputFromEarlierRun);
  } else if (partial || size) {
    platform.message(kOutputIncomplete + output + "（" + sizesText(partial ? *partial : *size, expected) + "）");
  } else {
    platform.message(kOutputIncomplete + output + "（文件不存在）");
  }
  return std::nullopt;
}

void RemoveInterruptedRun(platform::Platform& platform) {
  const std::string appFolder = platform.AppFolder();
  const auto lock = platform.lockScriptFolder(appFolder);
  if (!lock) return;
  for (const char* name : {kScriptName, kTemporaryName, kRemuxTemporaryName}) {
    const std::string path = platform::JoinPath(appFolder, name);
    if (isFile(platform, path)) platform.deleteFile(path);
  }
}

}  // namespace convert
