// Times the built program from outside, the way a user's clicks drive it, run by
// run in turn with a floor program that does the least the same job needs, or with
// another build of the program. It prints every run, the medians and their ratio,
// and judges nothing; lines that start with "summary" are the ones a script collects.
//
//   bench_runner startup <runs> <program exe> <floor exe> [<second floor exe>]
//   bench_runner list <runs> <program exe> <floor exe> <folder> <subfolders in it>
//   bench_runner merge <runs> <name A> <exe A> <video folder A> <name B> <exe B> <video folder B>
//   bench_runner remux <runs> <name A> <exe A> <video folder A> <name B> <exe B> <video folder B>
//   bench_runner batch <runs> <exe> <cache folder> <floor folder>
//
// For merge and remux, each exe's folder holds a shezhi.txt naming the cache folder
// that holds the video folder; the ratio is A's median over B's. merge waits on both
// sides for the join under its final name; remux waits on side A for the finished MP4
// (ftyp first, its temporary file gone) and on side B for the join.
//
// batch converts every video of the cache folder (which the exe's shezhi.txt names) three
// ways in turn: all selected and one click, one selected and one click at a time, and the
// floor, which only joins each with cmd's copy and remuxes it with the program's own remux
// step, in the floor folder, with no window.

// windows.h first: the headers after it build on its types.
// clang-format off
#include <windows.h>
#include <mmsystem.h>
#include <psapi.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/resource.h"
#include "bench/bench_names.h"
#include "convert/fragment_order.h"
#include "convert/remux_step.h"
#include "platform/win32/file_names.h"
#include "platform/win32/handles.h"
#include "platform/win32/processes.h"
#include "platform/win32/remux_worker.h"
#include "platform/win32/split_values.h"
#include "tests/e2e/framework.h"

namespace {

using e2e::Launched;
using platform::win32::FindHandle;
using platform::win32::toUtf8;

constexpr DWORD kWindowTimeoutMs = 30000;
constexpr DWORD kListTimeoutMs = 120000;
constexpr DWORD kMergeTimeoutMs = 300000;
// Fifty videos one after another, where one takes about a second here.
constexpr DWORD kBatchTimeoutMs = 900000;
// Polling the files of a join that runs for seconds: a finer step would only take
// the processor from the command interpreter it waits for.
constexpr DWORD kMergePollMs = 5;
// A fresh window still paints and settles after its loop first runs; a click waits
// that out so it is not counted in the listing.
constexpr DWORD kSettleMs = 300;
// A program ended at the close of its run is still being torn down (its display connection, its
// memory) after its handle signals; the pause keeps that out of the next side's time, which would
// otherwise always pay for the side before it.
constexpr DWORD kBetweenRunsMs = 300;

class Stopwatch {
 public:
  Stopwatch() { QueryPerformanceCounter(&start_); }
  double milliseconds() const {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start_.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
  }

 private:
  LARGE_INTEGER start_;
};

// The program and every process it started that still runs.
DWORD processesOf(const Launched& program) {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
  if (!QueryInformationJobObject(program.job(), JobObjectBasicAccountingInformation, &accounting, sizeof accounting,
                                 nullptr)) {
    return MAXDWORD;
  }
  return accounting.ActiveProcesses;
}

double peakWorkingSetMib(const Launched& program) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(program.process(), &counters, sizeof counters)) return -1;
  return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

// The text of a message box the program shows, which says why it did not do what was asked.
std::optional<std::string> messageBoxText(const Launched& program) {
  HWND box = e2e::visibleWindow(L"#32770", program.processId());
  if (!box) return std::nullopt;
  return toUtf8(e2e::textOf(GetDlgItem(box, 0xFFFF)));
}

// Polls `done` until it holds; throws if the program ended, put up a message box or ran out of time.
void waitFor(const Launched& program, DWORD timeoutMs, const char* what, const std::function<bool()>& done,
             DWORD stepMs = 1) {
  std::string failure;
  int polls = 0;
  const bool ended = e2e::waitUntil(
      [&] {
        if (done()) return true;
        if (program.waitForExit(0)) failure = "the program ended";
        // Looking for a message box is a round trip to the window system: not on every poll.
        if (polls++ % 50 == 0) {
          if (const auto box = messageBoxText(program)) failure = "a message box came up: " + *box;
        }
        return !failure.empty();
      },
      timeoutMs, stepMs);
  if (!ended || !failure.empty()) {
    throw std::runtime_error((failure.empty() ? "time ran out" : failure) + " while waiting for " + what);
  }
}

struct Run {
  double milliseconds;
  double peakWorkingSetMib;  // at the end of the timed step
  // Where the run goes on to an MP4: when the script was gone, and when the MP4 began to be written.
  double joinedMilliseconds = -1;
  double writingMilliseconds = -1;
  std::string note{};  // what else the run saw, printed after its time
};

struct Started {
  Launched program;
  HWND shown = nullptr;  // its first window, visible and answering
  double at = 0;         // milliseconds from just before the process was created, or from the read click
};

// Wine now and then refuses to create a process with "内部错误" (ERROR_INTERNAL_ERROR, 1359), which says nothing
// of the program: such a start is tried once more, and only the second one's time counts, from `clock`.
Launched launch(const std::wstring& exe, const std::wstring& arguments, Stopwatch& clock) {
  try {
    clock = Stopwatch();
    return Launched(exe, arguments, nullptr);
  } catch (const std::runtime_error& error) {
    const std::string text = error.what();
    if (text.find("内部错误") == std::string::npos && text.find("1359") == std::string::npos) throw;
    std::fprintf(stderr, "bench: the start was refused (%s); trying once more\n", text.c_str());
    clock = Stopwatch();
    return Launched(exe, arguments, nullptr);
  }
}

Started startProgram(const std::wstring& exe, const std::wstring& arguments) {
  Stopwatch clock;
  Started started{launch(exe, arguments, clock)};
  started.shown = started.program.awaitWindow(nullptr, kWindowTimeoutMs, 1);
  if (!started.shown) {
    throw std::runtime_error(started.program.waitForExit(0) ? "the program ended before it showed a window"
                                                            : "time ran out while waiting for a visible window");
  }
  started.at = clock.milliseconds();
  return started;
}

Run timeStartup(const std::wstring& exe) {
  const Started started = startProgram(exe, L"");
  return Run{started.at, peakWorkingSetMib(started.program)};
}

// Started and settled, then its read button clicked until the list holds every subfolder
// and the window answers; `at` is the time from that click.
Started startAndList(const std::wstring& exe, const std::wstring& arguments, int buttonId, int listId,
                     LRESULT subfolders) {
  Started started = startProgram(exe, arguments);
  Sleep(kSettleMs);
  e2e::send(started.shown, WM_NULL);
  HWND list = GetDlgItem(started.shown, listId);
  HWND button = GetDlgItem(started.shown, buttonId);
  const Stopwatch clock;
  PostMessageW(button, BM_CLICK, 0, 0);
  waitFor(started.program, kListTimeoutMs, "a full list", [&] { return e2e::send(list, LB_GETCOUNT) >= subfolders; });
  e2e::send(started.shown, WM_NULL);
  started.at = clock.milliseconds();
  return started;
}

Run timeListing(const std::wstring& exe, const std::wstring& arguments, int buttonId, int listId, LRESULT subfolders) {
  const Started listed = startAndList(exe, arguments, buttonId, listId, subfolders);
  return Run{listed.at, peakWorkingSetMib(listed.program)};
}

// The list takes several entries: LB_SETCURSEL does nothing on it, so the one wanted is set
// alone after all are cleared, as a plain click leaves it. The builds before that had a list
// of one entry, for which LB_SETSEL is not meant, whatever Wine lets it do.
void selectOnly(HWND list, LRESULT entry) {
  if (!(GetWindowLongW(list, GWL_STYLE) & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL))) {
    e2e::send(list, LB_SETCURSEL, static_cast<WPARAM>(entry));
    return;
  }
  e2e::send(list, LB_SETSEL, FALSE, -1);
  e2e::send(list, LB_SETSEL, TRUE, entry);
}

// Once the interpreter has ended, the program must have nothing to say, and must end when closed as its
// user would close it.
void closeQuietProgram(const Launched& program, HWND window, const std::string& when) {
  waitFor(program, kWindowTimeoutMs, "the interpreter's end", [&] { return processesOf(program) == 1; });
  // The program hears of that end by a message of its own; it may come after ours.
  Sleep(kSettleMs);
  e2e::send(window, WM_NULL);
  if (const auto box = messageBoxText(program)) throw std::runtime_error("a message box came up " + when + ": " + *box);
  PostMessageW(window, WM_CLOSE, 0, 0);
  if (!e2e::waitUntil([&] { return processesOf(program) == 0; }, kWindowTimeoutMs, 10)) {
    throw std::runtime_error("the program or what it started still runs after it was closed");
  }
}

// What a join needs to know of the program's folder and of the video it joins.
struct MergeCase {
  // Whether the run ends at the MP4 that replaced the join rather than at the join.
  bool mp4 = false;
  std::wstring exe;
  std::wstring appFolder;
  LRESULT subfolders = 0;  // of the cache folder, which the read lists
  LRESULT entry = -1;      // the video's line in that list
  std::size_t fragments = 0;
  ULONGLONG bytes = 0;  // of the fragments, which the joined file must hold
};

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

ULONGLONG sizeOf(const WIN32_FIND_DATAW& found) {
  return platform::win32::joinHalves(found.nFileSizeHigh, found.nFileSizeLow);
}

std::wstring folderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

// Calls `each` for every entry of the folder that `pattern` matches, in the file system's order.
void forEachEntry(const std::wstring& folder, const wchar_t* pattern,
                  const std::function<void(const WIN32_FIND_DATAW&)>& each) {
  WIN32_FIND_DATAW found;
  const FindHandle search(FindFirstFileW((folder + L"\\" + pattern).c_str(), &found));
  if (!search) return;
  do {
    if (std::wcscmp(found.cFileName, L".") != 0 && std::wcscmp(found.cFileName, L"..") != 0) each(found);
  } while (FindNextFileW(search.get(), &found));
}

// The joined file under its final name, "Shipin….mp4", or a numbered "Shipin… (2).mp4"
// where that was taken; sizes of all there are.
std::vector<ULONGLONG> outputSizes(const std::wstring& appFolder) {
  std::vector<ULONGLONG> sizes;
  forEachEntry(appFolder, L"Shipin*.mp4", [&](const WIN32_FIND_DATAW& found) { sizes.push_back(sizeOf(found)); });
  return sizes;
}

void deleteOutputs(const std::wstring& appFolder) {
  forEachEntry(appFolder, L"Shipin*.mp4",
               [&](const WIN32_FIND_DATAW& found) { DeleteFileW((appFolder + L"\\" + found.cFileName).c_str()); });
}

// The number of finished MP4s under the videos' names in the folder: an MP4's first box is ftyp, which the join, a
// transport stream, never starts with.
std::size_t mp4Outputs(const std::wstring& folder) {
  std::size_t count = 0;
  forEachEntry(folder, L"Shipin*.mp4", [&](const WIN32_FIND_DATAW& entry) {
    const auto file = e2e::own(CreateFileW((folder + L"\\" + entry.cFileName).c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    char start[8] = {};
    DWORD read = 0;
    if (file && ReadFile(file.get(), start, 8, &read, nullptr) && read == 8 && std::string(start + 4, 4) == "ftyp") {
      ++count;
    }
  });
  return count;
}

std::optional<MergeCase> mergeCaseFor(const std::wstring& exe, const std::wstring& video, bool mp4) {
  MergeCase merge{mp4, exe, folderOf(exe)};
  const std::wstring name = video.substr(video.find_last_of(L'\\') + 1);
  // The program lists the subfolders in the file system's order.
  forEachEntry(folderOf(video), L"*", [&](const WIN32_FIND_DATAW& found) {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    if (name == found.cFileName) merge.entry = merge.subfolders;
    ++merge.subfolders;
  });
  forEachEntry(video, L"*.tdl", [&](const WIN32_FIND_DATAW& found) {
    ++merge.fragments;
    merge.bytes += sizeOf(found);
  });
  if (merge.entry < 0 || merge.fragments == 0) {
    std::fprintf(stderr, "bench: %s is no folder of fragments\n", toUtf8(video).c_str());
    return std::nullopt;
  }
  return merge;
}

// From the click on the start button to the joined file holding every byte under its
// final name and the script gone, which deletes itself last. Then the program must have
// nothing to say once its interpreter has ended, and must end when closed.
Run timeMerge(const MergeCase& merge) {
  const std::wstring script = merge.appFolder + L"\\Fok.BAT";
  deleteOutputs(merge.appFolder);
  DeleteFileW(script.c_str());
  const Started listed = startAndList(merge.exe, L"", IDC_COMMAND2, IDC_LIST1, merge.subfolders);
  const Launched& program = listed.program;
  HWND window = listed.shown;
  // The read yields to the window after each entry it lists, the last one too, and drops
  // a click on the start button that comes meanwhile; it has long ended after a pause.
  Sleep(kSettleMs);
  selectOnly(GetDlgItem(window, IDC_LIST1), merge.entry);
  e2e::send(window, WM_NULL);

  const Stopwatch clock;
  PostMessageW(GetDlgItem(window, IDC_COMMAND1), BM_CLICK, 0, 0);
  const auto whole = [&] {
    const auto sizes = outputSizes(merge.appFolder);
    return std::find(sizes.begin(), sizes.end(), merge.bytes) != sizes.end();
  };
  const std::wstring remuxing = merge.appFolder + L"\\Fok.mp4.tmp";
  bool scriptSeen = false;
  double joinedAt = -1, writingAt = -1;
  const auto done = [&] {
    if (exists(script)) {
      scriptSeen = true;
      return false;
    }
    if (scriptSeen && joinedAt < 0) joinedAt = clock.milliseconds();
    if (merge.mp4 && writingAt < 0 && exists(remuxing)) writingAt = clock.milliseconds();
    return merge.mp4 ? !exists(remuxing) && mp4Outputs(merge.appFolder) > 0 : whole();
  };
  try {
    waitFor(program, kMergeTimeoutMs, merge.mp4 ? "the MP4" : "the joined file", done, kMergePollMs);
  } catch (const std::exception&) {
    const auto sizes = outputSizes(merge.appFolder);
    std::fprintf(stderr, "bench: the joined file holds %llu of %llu bytes; the script is %s\n",
                 sizes.empty() ? 0ull : static_cast<unsigned long long>(sizes.front()),
                 static_cast<unsigned long long>(merge.bytes), exists(script) ? "still there" : "not there");
    throw;
  }
  const Run run{clock.milliseconds(), peakWorkingSetMib(program), merge.mp4 ? joinedAt : -1, writingAt};
  closeQuietProgram(program, window, "after the join");
  deleteOutputs(merge.appFolder);
  return run;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Series {
  std::vector<double> milliseconds;
  std::vector<double> peaks;

  void add(const std::optional<Run>& run) {
    if (!run) return;
    milliseconds.push_back(run->milliseconds);
    peaks.push_back(run->peakWorkingSetMib);
  }
  std::string summary() const {
    if (milliseconds.empty()) return "no complete run";
    const auto [fastest, slowest] = std::minmax_element(milliseconds.begin(), milliseconds.end());
    char text[128];
    std::snprintf(text, sizeof text, "%7.1f ms (%.0f-%.0f, %zu runs)", median(milliseconds), *fastest, *slowest,
                  milliseconds.size());
    char peak[32] = "";
    if (median(peaks) >= 0) std::snprintf(peak, sizeof peak, " %5.1f MiB", median(peaks));
    return text + std::string(peak);
  }
};

std::string runText(const std::optional<Run>& run) {
  if (!run) return "          failed          ";
  char text[96];
  std::snprintf(text, sizeof text, "%8.1f ms", run->milliseconds);
  if (run->peakWorkingSetMib >= 0)
    std::snprintf(text, sizeof text, "%8.1f ms %6.1f MiB", run->milliseconds, run->peakWorkingSetMib);
  std::string shown = text + run->note;
  if (run->joinedMilliseconds < 0) return shown;
  char joined[64];
  std::snprintf(joined, sizeof joined, " (joined at %.0f, writing at %.0f)", run->joinedMilliseconds,
                run->writingMilliseconds);
  return shown + joined;
}

// One of the two things compared: the program and its floor, or two builds or two cases of it.
struct Side {
  std::string name;
  std::function<Run()> run;
};

// A run that failed says why and counts as none.
std::optional<Run> attempt(const Side& side) {
  std::optional<Run> run;
  try {
    run = side.run();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench: %s: %s\n", side.name.c_str(), error.what());
  }
  Sleep(kBetweenRunsMs);
  return run;
}

// Runs the sides in turn, after one uncounted run of each that pays for loading the libraries
// from disk, and prints every run, then the medians and the ratio of the first side's to each other's.
// Hands every counted round's runs to `rounds` when one is given.
int compare(const std::string& what, int runs, const std::vector<Side>& sides,
            std::vector<std::vector<std::optional<Run>>>* rounds = nullptr) {
  const auto runsText = [&](const std::vector<std::optional<Run>>& each) {
    std::string text;
    for (std::size_t i = 0; i < sides.size(); ++i) text += (i ? "   " : "") + sides[i].name + " " + runText(each[i]);
    return text;
  };
  std::vector<std::optional<Run>> warmUp;
  for (const Side& side : sides) warmUp.push_back(attempt(side));
  std::printf("%s: warm-up, not counted: %s\n", what.c_str(), runsText(warmUp).c_str());
  std::fflush(stdout);
  std::vector<Series> series(sides.size());
  // Per side, the first side's time over that side's in the same round: a burst of load from elsewhere
  // falls on the runs of one round far more often than on one side across rounds.
  std::vector<std::vector<double>> roundRatios(sides.size());
  for (int run = 1; run <= runs; ++run) {
    std::vector<std::optional<Run>> each;
    for (std::size_t i = 0; i < sides.size(); ++i) {
      each.push_back(attempt(sides[i]));
      series[i].add(each.back());
      if (i > 0 && each[0] && each[i]) roundRatios[i].push_back(each[0]->milliseconds / each[i]->milliseconds);
    }
    std::printf("%s run %2d: %s\n", what.c_str(), run, runsText(each).c_str());
    std::fflush(stdout);
    if (rounds) rounds->push_back(each);
  }
  std::string medians;
  std::string ratios;
  bool all = true;
  for (std::size_t i = 0; i < sides.size(); ++i) {
    medians += (i ? " | " : "") + sides[i].name + " " + series[i].summary();
    all = all && !series[i].milliseconds.empty();
    if (i == 0 || series[0].milliseconds.empty() || series[i].milliseconds.empty()) continue;
    char text[128];
    std::snprintf(text, sizeof text, " | ratio %s/%s %.2f (by round %.2f)", sides[0].name.c_str(),
                  sides[i].name.c_str(), median(series[0].milliseconds) / median(series[i].milliseconds),
                  roundRatios[i].empty() ? 0.0 : median(roundRatios[i]));
    ratios += text;
  }
  std::printf("summary %-11s %s%s\n", what.c_str(), medians.c_str(), ratios.c_str());
  std::fflush(stdout);
  return all ? 0 : 1;
}

// Joins the same bytes in turn as two sides: two builds on one video, or one build on two videos; with
// aToMp4, side A's run lasts until its MP4 has replaced the join.
int compareMerges(int runs, wchar_t** sideA, wchar_t** sideB, bool aToMp4) {
  const auto a = mergeCaseFor(sideA[1], sideA[2], aToMp4);
  const auto b = mergeCaseFor(sideB[1], sideB[2], false);
  if (!a || !b) return 1;
  if (a->bytes != b->bytes) std::printf("merge: the two videos differ in size; their times do not compare\n");
  char what[64];
  std::snprintf(what, sizeof what, "%s %.0f MiB in %zu files", aToMp4 ? "to mp4" : "join",
                static_cast<double>(a->bytes) / (1024.0 * 1024.0), a->fragments);
  return compare(
      what, runs,
      {{toUtf8(sideA[0]), [&] { return timeMerge(*a); }}, {toUtf8(sideB[0]), [&] { return timeMerge(*b); }}});
}

// The videos of a cache folder, each converted by the program from its list, and by the floor.
struct BatchCase {
  std::wstring exe;
  std::wstring appFolder;
  std::wstring floorFolder;
  std::vector<std::wstring> videos;  // their folders
};

std::wstring captionOf(HWND window) { return e2e::textOf(window); }

bool endsWith(const std::wstring& text, const std::wstring& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

void expectAllConverted(const BatchCase& batch, const std::wstring& folder) {
  const std::size_t made = mp4Outputs(folder);
  deleteOutputs(folder);
  if (made != batch.videos.size()) {
    throw std::runtime_error(std::to_string(made) + " MP4s of " + std::to_string(batch.videos.size()) +
                             " videos were made");
  }
}

// First, median and last of the videos' own times, which show a batch that slows as it goes.
std::string perVideoNote(const std::vector<double>& each) {
  if (each.empty()) return {};
  char text[96];
  std::snprintf(text, sizeof text, " (per video: first %.0f, median %.0f, slowest %.0f, last %.0f ms)", each.front(),
                median(each), *std::max_element(each.begin(), each.end()), each.back());
  return text;
}

Started listedForBatch(const BatchCase& batch) {
  deleteOutputs(batch.appFolder);
  Started listed = startAndList(batch.exe, L"", IDC_COMMAND2, IDC_LIST1, static_cast<LRESULT>(batch.videos.size()));
  // As for the merge: the read's last yield has long ended after the pause.
  Sleep(kSettleMs);
  return listed;
}

// All entries selected, one click: to the caption that counts the converted videos. A video's own
// time runs from the caption's first naming it ("正在转换 k/n") to the next one's, the last one's to the end.
Run timeBatchAtOnce(const BatchCase& batch) {
  const Started listed = listedForBatch(batch);
  HWND window = listed.shown;
  HWND list = GetDlgItem(window, IDC_LIST1);
  e2e::send(list, LB_SETSEL, TRUE, -1);
  const auto count = static_cast<LRESULT>(batch.videos.size());
  if (e2e::send(list, LB_GETSELCOUNT) != count) throw std::runtime_error("not every entry is selected");
  e2e::send(window, WM_NULL);
  const std::wstring ended = L"已转换 " + std::to_wstring(count) + L" 个视频 - " + e2e::kCaption;
  const std::wstring running = L"正在转换 ";
  std::vector<double> startedAt;
  std::wstring caption;

  const Stopwatch clock;
  PostMessageW(GetDlgItem(window, IDC_COMMAND1), BM_CLICK, 0, 0);
  const auto done = [&] {
    caption = captionOf(window);
    if (caption.rfind(running, 0) == 0) {
      const std::size_t video = static_cast<std::size_t>(_wtoi(caption.c_str() + running.size()));
      if (video > startedAt.size()) startedAt.resize(video, clock.milliseconds());
    }
    return caption == ended;
  };
  try {
    waitFor(listed.program, kBatchTimeoutMs, "the batch's end caption", done, kMergePollMs);
  } catch (const std::exception& error) {
    throw std::runtime_error(std::string(error.what()) + "; the caption says " + toUtf8(caption));
  }
  Run run{clock.milliseconds(), peakWorkingSetMib(listed.program)};
  std::vector<double> each;
  for (std::size_t i = 0; i < startedAt.size(); ++i) {
    each.push_back((i + 1 < startedAt.size() ? startedAt[i + 1] : run.milliseconds) - startedAt[i]);
  }
  char began[64] = "";
  if (!startedAt.empty()) std::snprintf(began, sizeof began, " (the first began at %.0f ms)", startedAt.front());
  run.note = began + perVideoNote(each);
  closeQuietProgram(listed.program, window, "after the batch");
  expectAllConverted(batch, batch.appFolder);
  return run;
}

// One entry selected and one click per video, the next click as soon as the caption names the
// video made, as a single conversion ends: from the first click to the last video's end.
Run timeOneByOne(const BatchCase& batch) {
  const Started listed = listedForBatch(batch);
  HWND window = listed.shown;
  HWND list = GetDlgItem(window, IDC_LIST1);
  HWND start = GetDlgItem(window, IDC_COMMAND1);
  const std::wstring converted = L"已转换 ";
  const std::wstring titled = std::wstring(L" - ") + e2e::kCaption;
  std::vector<double> each;
  std::wstring caption = captionOf(window);

  const Stopwatch clock;
  for (std::size_t video = 0; video < batch.videos.size(); ++video) {
    const double startedAt = clock.milliseconds();
    selectOnly(list, static_cast<LRESULT>(video));
    // Each video's name differs, so the caption of the one before cannot pass for this one's end.
    const std::wstring before = caption;
    PostMessageW(start, BM_CLICK, 0, 0);
    const auto done = [&] {
      caption = captionOf(window);
      return caption != before && caption.rfind(converted, 0) == 0 && endsWith(caption, titled);
    };
    try {
      waitFor(listed.program, kMergeTimeoutMs, "a video's end caption", done, kMergePollMs);
    } catch (const std::exception& error) {
      throw std::runtime_error(std::string(error.what()) + " (video " + std::to_string(video + 1) +
                               "); the caption says " + toUtf8(caption));
    }
    each.push_back(clock.milliseconds() - startedAt);
  }
  Run run{clock.milliseconds(), peakWorkingSetMib(listed.program)};
  run.note = perVideoNote(each);
  closeQuietProgram(listed.program, window, "after the last video");
  expectAllConverted(batch, batch.appFolder);
  return run;
}

// The least the same videos need: per video cmd's copy of the fragments, named in the program's
// order, into the floor folder, then the program's remux step on that join, with nothing around them.
Run timeFloor(const BatchCase& batch) {
  const std::string floor = toUtf8(batch.floorFolder);
  const std::string interpreter = platform::win32::systemFolder() + "\\cmd.exe";
  platform::win32::Win32RemuxFiles files;
  const auto engine = convert::MakeMediaRemuxEngine();
  deleteOutputs(batch.floorFolder);
  std::vector<double> each;
  std::vector<double> joins;
  std::vector<double> remuxes;

  const Stopwatch clock;
  for (std::size_t video = 0; video < batch.videos.size(); ++video) {
    const double startedAt = clock.milliseconds();
    std::vector<std::string> names;
    forEachEntry(batch.videos[video], L"*.tdl",
                 [&](const WIN32_FIND_DATAW& found) { names.push_back(toUtf8(found.cFileName)); });
    std::string sources;
    for (std::size_t at : convert::NumericOrder(names)) sources += (sources.empty() ? "\"" : "+\"") + names[at] + "\"";
    const std::string name = "Shipin" + std::to_string(video + 1) + ".mp4";
    const std::string commandLine = "cmd /d /c copy /Y /B " + sources + " \"" + floor + "\\" + name + "\" >nul";
    auto started = platform::win32::startProcess(
        {interpreter, commandLine, toUtf8(batch.videos[video]), platform::WindowStyle::Minimized});
    if (!started.ok()) throw std::runtime_error("cannot start cmd (" + started.error() + ")");
    WaitForSingleObject(started.value().get(), INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(started.value().get(), &status);
    if (status != 0) throw std::runtime_error("cmd's copy failed for video " + std::to_string(video + 1));
    const double joinedAt = clock.milliseconds();
    joins.push_back(joinedAt - startedAt);
    convert::RemuxJob remux(files, *engine, floor, name, toUtf8(batch.videos[video]));
    if (remux.run().end != convert::RemuxEnd::Replaced) {
      throw std::runtime_error("the remux made no MP4 of video " + std::to_string(video + 1));
    }
    remuxes.push_back(clock.milliseconds() - joinedAt);
    each.push_back(clock.milliseconds() - startedAt);
  }
  Run run{clock.milliseconds(), -1};
  char steps[64];
  std::snprintf(steps, sizeof steps, " (join median %.0f ms, remux median %.0f ms)", median(joins), median(remuxes));
  run.note = steps + perVideoNote(each);
  expectAllConverted(batch, batch.floorFolder);
  return run;
}

// The three in turn; then what the program adds per video beyond the floor's join and remux.
int compareBatches(int runs, const std::wstring& exe, const std::wstring& cacheFolder, const std::wstring& floor) {
  BatchCase batch{exe, folderOf(exe), floor, {}};
  forEachEntry(cacheFolder, L"*", [&](const WIN32_FIND_DATAW& found) {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      batch.videos.push_back(cacheFolder + L"\\" + found.cFileName);
  });
  if (batch.videos.size() < 2) {
    std::fprintf(stderr, "bench: %s holds fewer than two videos\n", toUtf8(cacheFolder).c_str());
    return 1;
  }
  const double videos = static_cast<double>(batch.videos.size());
  std::vector<std::vector<std::optional<Run>>> rounds;
  const int status = compare("batch " + std::to_string(batch.videos.size()) + " videos", runs,
                             {{"batch", [&] { return timeBatchAtOnce(batch); }},
                              {"one-by-one", [&] { return timeOneByOne(batch); }},
                              {"floor", [&] { return timeFloor(batch); }}},
                             &rounds);
  // Per round, so that a burst of load falls on both terms of a difference alike.
  std::vector<double> batchExtra;
  std::vector<double> singleExtra;
  for (const auto& round : rounds) {
    if (!round[2]) continue;
    if (round[0]) batchExtra.push_back((round[0]->milliseconds - round[2]->milliseconds) / videos);
    if (round[1]) singleExtra.push_back((round[1]->milliseconds - round[2]->milliseconds) / videos);
  }
  const auto text = [](const std::vector<double>& values) {
    if (values.empty()) return std::string("n/a");
    char shown[64];
    std::snprintf(shown, sizeof shown, "%.0f ms (%.0f-%.0f)", median(values),
                  *std::min_element(values.begin(), values.end()), *std::max_element(values.begin(), values.end()));
    return std::string(shown);
  };
  std::printf(
      "summary %-11s beyond the floor's join and remux, per video, median of rounds: batch %s, "
      "one-by-one %s\n",
      "batch extra", text(batchExtra).c_str(), text(singleExtra).c_str());
  std::fflush(stdout);
  return status;
}

int usage() {
  std::fprintf(stderr,
               "usage: bench_runner startup <runs> <program exe> <floor exe> [<second floor exe>]\n"
               "       bench_runner list <runs> <program exe> <floor exe> <folder> <subfolders in it>\n"
               "       bench_runner merge <runs> <name A> <exe A> <video folder A> <name B> <exe B> <video folder B>\n"
               "       bench_runner remux <runs> <name A> <exe A> <video folder A> <name B> <exe B> <video folder B>\n"
               "       bench_runner batch <runs> <exe> <cache folder> <floor folder>\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) return usage();
  const std::wstring mode = argv[1];
  const int runs = _wtoi(argv[2]);
  const std::wstring program = argv[3];
  const std::wstring floor = argv[4];
  // Sleep(1) sleeps a whole scheduler tick (about 16 ms) on Windows unless asked otherwise.
  timeBeginPeriod(1);
  int status = -1;
  if (mode == L"startup" && argc >= 5 && runs > 0) {
    std::vector<Side> sides{{"program", [&] { return timeStartup(program); }}};
    // The first floor is the ratio that counts; a second one shows what the bare window alone costs.
    const char* const floorNames[] = {"floor", "bare"};
    for (int i = 4; i < argc && i < 6; ++i) {
      const std::wstring exe = argv[i];
      sides.push_back({floorNames[i - 4], [exe] { return timeStartup(exe); }});
    }
    if (argc <= 6) status = compare("startup", runs, sides);
  } else if (mode == L"list" && argc == 7 && runs > 0) {
    const std::wstring folder = argv[5];
    const LRESULT subfolders = _wtoi(argv[6]);
    status = compare("list " + std::to_string(subfolders), runs,
                     {{"program", [&] { return timeListing(program, L"", IDC_COMMAND2, IDC_LIST1, subfolders); }},
                      {"floor", [&] {
                         return timeListing(floor, L"\"" + folder + L"\"", bench::kFloorReadButtonId,
                                            bench::kFloorListBoxId, subfolders);
                       }}});
  } else if ((mode == L"merge" || mode == L"remux") && argc == 9 && runs > 0) {
    status = compareMerges(runs, argv + 3, argv + 6, mode == L"remux");
  } else if (mode == L"batch" && argc == 6 && runs > 0) {
    status = compareBatches(runs, program, argv[4], argv[5]);
  }
  timeEndPeriod(1);
  return status < 0 ? usage() : status;
}
