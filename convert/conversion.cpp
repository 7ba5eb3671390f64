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

// Case-sensitive, and without asking for a dot: the client's fragments end in
// "tdl" and nothing else is taken for one.
bool endsWithTdl(const std::string& name) { return name.size() >= 3 && name.compare(name.size() - 3, 3, "tdl") == 0; }

// Every file of the folder, since the join needs them all, or the message that says
// why there is nothing to join; the window is served after each file that is no
// fragment, which is most of a crowded folder.
platform::Outcome<std::vector<platform::DirectoryEntry>> readFragmentFolder(platform::Platform& platform,
                                                                            CacheState& state,
                                                                            const std::string& folder) {
  using Files = platform::Outcome<std::vector<platform::DirectoryEntry>>;
  auto opened = platform.openDirectory(folder, platform::ShortNames::Report);
  if (!opened.ok()) return Files::failure(kSelectedFolderGone + opened.error());
  platform::DirectoryReader& reader = *opened.value();
  WalkGuard walking(state);
  std::vector<platform::DirectoryEntry> files;
  bool anyFragment = false;
  while (auto entry = reader.next()) {
    if (entry->isFolder) continue;
    const bool fragment = endsWithTdl(entry->name);
    files.push_back(std::move(*entry));
    anyFragment = anyFragment || fragment;
    if (!fragment) platform.yield();
  }
  if (!reader.error().empty()) return Files::failure(kSelectedFolderGone + reader.error());
  if (files.empty()) return Files::failure(kNoFiles);
  if (!anyFragment) return Files::failure(kNoTdlFiles);
  return Files::success(std::move(files));
}

std::string interpreterPath(platform::Platform& platform) {
  return platform::JoinPath(platform.systemFolder(), "cmd.exe");
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
  return kOutputSizeFound + std::to_string(found) + kOutputSizeExpected + std::to_string(expected) + kOutputSizeEnd;
}

}  // namespace

FolderCheck CheckFragmentFolder(platform::Platform& platform, CacheState& state, const CacheFolder& video) {
  // The path in the table would open another folder, or none.
  if (video.nameAltered) return {kFolderNameUnreadable + video.fullPath, {}};
  state.SelectedFolderPath = platform::WithTrailingBackslash(video.fullPath);
  const auto files = readFragmentFolder(platform, state, state.SelectedFolderPath);
  if (!files.ok()) return {files.error(), {}};
  FolderCheck check{{}, PlanFragments(files.value())};
  // A name that only ends in "tdl" passes the check, but the copy would find nothing to join.
  if (check.fragments.fragments.empty()) check.refusal = kNoTdlFiles;
  return check;
}

bool InterpreterPresent(platform::Platform& platform) { return isFile(platform, interpreterPath(platform)); }

std::string StartJoin(platform::Platform& platform, CacheState& state, const CacheFolder& video,
                      const FragmentPlan& fragments, const std::vector<std::string>& taken) {
  // The running interpreter reads the script line by line from the file: a new
  // script written now would be read by it from the middle.
  if (state.conversion) return kConversionRunning;
  const std::string interpreter = interpreterPath(platform);
  if (!isFile(platform, interpreter)) return kInterpreterNotStarted + interpreter;
  const std::string folder = platform::WithTrailingBackslash(video.fullPath);

  const std::string appFolder = platform.AppFolder();
  if (isNetworkPath(appFolder)) return kAppFolderOnNetwork + appFolder;
  // Taken before the output's name is chosen, so that no other copy of the
  // program picks the same free name meanwhile.
  auto lock = platform.lockScriptFolder(appFolder);
  if (!lock) return kConversionRunning;
  const std::string scriptPath = platform::JoinPath(appFolder, kScriptName);
  const std::string temporary = platform::JoinPath(appFolder, kTemporaryName);
  const std::string remuxing = platform::JoinPath(appFolder, kRemuxTemporaryName);
  for (const std::string* own : {&scriptPath, &temporary, &remuxing}) {
    if (auto occupied = OwnNameTaken(platform, *own)) return *occupied;
  }
  const std::string outputName = ChooseOutputName(platform, appFolder, video.baseName, fragments.totalBytes,
                                                  TagFor(video.fullPath, fragments.totalBytes), state.readTag, taken);
  const ScriptPlan script = PlanMergeScript(platform, fragments, folder, appFolder, outputName);
  if (script.refusal) return script.refusal + script.refused;
  std::string text;
  for (const std::string& line : script.lines) text += line + "\r\n";
  const auto bytes = platform.encode(text, platform::CodePage::Oem);
  if (!bytes) return kPathNotScriptable + text;
  // The appending copies must start from nothing.
  if (isFile(platform, temporary)) {
    const platform::Status deleted = platform.deleteFile(temporary);
    if (!deleted.ok()) return CannotWriteMessage(kOutputInUse + temporary + "（", deleted, "）");
  }
  const platform::Status written = platform.writeFile(scriptPath, *bytes);
  if (!written.ok()) return CannotWriteMessage(kScriptNotWritten, written);
  // An earlier video of the same size stays when the join fails: only another file
  // under the name tells that this run renamed its join.
  const auto outputBefore = platform.fileStamp(platform::JoinPath(appFolder, outputName));
  // The script's own name is the whole argument; the folder travels as the
  // current directory, where no character of it can be misread.
  const std::string commandLine = kInterpreterCommand + std::string(kScriptName);
  const platform::Status started = platform.runInterpreter(
      {interpreter, commandLine, script.workingFolder, platform::WindowStyle::Minimized}, std::move(lock));
  if (!started.ok()) return kInterpreterNotStarted + started.error;
  RunningConversion running{appFolder, outputName, folder, {}, fragments.totalBytes, outputBefore};
  for (const Fragment& fragment : fragments.fragments) running.fragmentNames.push_back(fragment.name);
  state.conversion = std::move(running);
  return {};
}

void StartConversion(platform::Platform& platform, ListView& list, CacheState& state) {
  if (state.conversion) {
    platform.message(kConversionRunning);
    return;
  }
  const std::vector<int> selected = list.selectedListIndices();
  const int index = selected.empty() ? -1 : selected.front();
  if (index < 0 || static_cast<std::size_t>(index) >= state.CacheFolderNames.size()) {
    platform.message(kNoSelection);
    return;
  }
  // One reading of the selection for the whole conversion: the walk below yields,
  // and a click then must not mix the folder of one video with the name of another.
  const CacheFolder chosen = state.CacheFolderNames[static_cast<std::size_t>(index)];
  const FolderCheck check = CheckFragmentFolder(platform, state, chosen);
  if (!check.refusal.empty()) {
    platform.message(check.refusal);
    return;
  }
  // The client caches only what was played; a video with holes jumps at each.
  if (check.fragments.missingNumbers > 0 &&
      !platform.askYesNo(kMissingSegmentsBefore + std::to_string(check.fragments.missingNumbers) +
                         kMissingSegmentsAfter)) {
    return;
  }
  if (!InterpreterPresent(platform)) return;
  const std::string refusal = StartJoin(platform, state, chosen, check.fragments);
  if (!refusal.empty()) platform.message(refusal);
}

std::optional<int> ConversionProgress(platform::Platform& platform, const CacheState& state) {
  if (!state.conversion) return std::nullopt;
  const std::uint64_t total = state.conversion->expectedBytes;
  const std::uint64_t done =
      platform.fileSize(platform::JoinPath(state.conversion->appFolder, kTemporaryName)).value_or(0);
  if (total == 0) return 0;
  return static_cast<int>(std::min<std::uint64_t>(done, total) * 100 / total);
}

JoinEnd FinishJoin(platform::Platform& platform, CacheState& state) {
  if (!state.conversion) return {};
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
  if (!partial && renamedNow && size == expected) return {finished.outputName, {}};
  if (partial) platform.deleteFile(temporary);

  if (partial && *partial == expected) return {std::nullopt, kOutputInUse + output};
  if (!partial && size && !renamedNow) return {std::nullopt, kOutputIncomplete + output + kOutputFromEarlierRun};
  if (partial || size) {
    return {std::nullopt, kOutputIncomplete + output + sizesText(partial ? *partial : *size, expected)};
  }
  return {std::nullopt, kOutputIncomplete + output + kOutputMissing};
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
