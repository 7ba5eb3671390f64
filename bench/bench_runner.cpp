// Times the built program from outside, the way a user's clicks drive it, run by
// run in turn with a floor program that does the least the same job needs, or with
// another build of the program. It prints every run, the medians and their ratio,
// and judges nothing; lines that start with "summary" are the ones a script collects.
//
//   bench_runner startup <runs> <program exe> <floor exe>
//   bench_runner list <runs> <program exe> <floor exe> <folder> <subfolders in it>
//   bench_runner merge <runs> <name A> <exe A> <video folder A> <name B> <exe B> <video folder B>
//
// For merge, each exe's folder holds a shezhi.txt naming the cache folder that
// holds the video folder; the ratio is A's median over B's.

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
#include <string>
#include <vector>

#include "app/resource.h"
#include "bench/bench_names.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide.h"

namespace {

using platform::win32::FindHandle;
using platform::win32::KernelHandle;
using platform::win32::toUtf8;

constexpr DWORD kWindowTimeoutMs = 30000;
constexpr DWORD kListTimeoutMs = 120000;
constexpr DWORD kMergeTimeoutMs = 300000;
// Polling the files of a join that runs for seconds: a finer step would only take
// the processor from the command interpreter it waits for.
constexpr DWORD kMergePollMs = 5;
constexpr UINT kReplyTimeoutMs = 10000;
// A fresh window still paints and settles after its loop first runs; a click waits
// that out so it is not counted in the listing.
constexpr DWORD kSettleMs = 300;

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

// One started copy of a program under measurement, ended whichever way the measurement ends.
// It runs in a job of its own, which takes the command interpreter it starts with it.
class Child {
 public:
  static std::optional<Child> start(const std::wstring& exe, const std::wstring& arguments) {
    KernelHandle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job || !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
      std::fprintf(stderr, "bench: cannot make a job (error %lu)\n", GetLastError());
      return std::nullopt;
    }
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS | CREATE_SUSPENDED,
                        nullptr, nullptr, &startup, &started)) {
      std::fprintf(stderr, "bench: cannot start %s (error %lu)\n", toUtf8(exe).c_str(), GetLastError());
      return std::nullopt;
    }
    const KernelHandle thread(started.hThread);
    KernelHandle process(started.hProcess);
    if (!AssignProcessToJobObject(job.get(), process.get())) {
      std::fprintf(stderr, "bench: cannot put %s into a job (error %lu)\n", toUtf8(exe).c_str(), GetLastError());
      TerminateProcess(process.get(), 1);
      return std::nullopt;
    }
    ResumeThread(thread.get());
    return Child(std::move(job), std::move(process), started.dwProcessId);
  }

  Child(Child&&) = default;
  Child& operator=(Child&&) = default;
  ~Child() {
    if (!process_) return;
    TerminateJobObject(job_.get(), 1);
    WaitForSingleObject(process_.get(), 10000);
  }

  DWORD id() const { return id_; }
  bool running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
  // The program and every process it started that still runs.
  DWORD processes() const {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    if (!QueryInformationJobObject(job_.get(), JobObjectBasicAccountingInformation, &accounting, sizeof accounting,
                                   nullptr)) {
      return MAXDWORD;
    }
    return accounting.ActiveProcesses;
  }
  // The way its user would close it; true once it and all it started have ended.
  bool close(HWND window) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    const Stopwatch clock;
    while (processes() > 0) {
      if (clock.milliseconds() > kWindowTimeoutMs) return false;
      Sleep(10);
    }
    return true;
  }
  double peakWorkingSetMib() const {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process_.get(), &counters, sizeof counters)) return -1;
    return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
  }

 private:
  Child(KernelHandle job, KernelHandle process, DWORD id)
      : job_(std::move(job)), process_(std::move(process)), id_(id) {}

  KernelHandle job_;
  KernelHandle process_;
  DWORD id_ = 0;
};

// A visible top-level window of the process; any class when className is null.
HWND visibleWindowOf(DWORD processId, const wchar_t* className) {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, className, nullptr)) != nullptr) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == processId && IsWindowVisible(window)) return window;
  }
  return nullptr;
}

// The reply, or nothing if the window does not answer in time.
std::optional<LRESULT> ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR reply = 0;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kReplyTimeoutMs, &reply)) {
    return std::nullopt;
  }
  return static_cast<LRESULT>(reply);
}

// The text of a message box the program shows, which says why it did not do what was asked.
std::optional<std::string> messageBoxText(const Child& child) {
  HWND box = visibleWindowOf(child.id(), L"#32770");
  if (!box) return std::nullopt;
  wchar_t text[1024] = {};
  ask(GetDlgItem(box, 0xFFFF), WM_GETTEXT, sizeof text / sizeof *text, reinterpret_cast<LPARAM>(text));
  return toUtf8(text);
}

// Polls `done` until it holds; false if the program ended, put up a message box or ran out of time.
bool waitFor(const Child& child, DWORD timeoutMs, const char* what, const std::function<bool()>& done,
             DWORD stepMs = 1) {
  const Stopwatch clock;
  for (int polls = 0; !done(); ++polls) {
    const char* failure = nullptr;
    std::string text;
    if (!child.running()) failure = "the program ended";
    // Looking for a message box is a round trip to the window system: not on every poll.
    if (polls % 50 == 0) {
      if (const auto box = messageBoxText(child)) failure = "a message box came up", text = ": " + *box;
    }
    if (clock.milliseconds() > timeoutMs) failure = "time ran out";
    if (failure) {
      std::fprintf(stderr, "bench: %s while waiting for %s%s\n", failure, what, text.c_str());
      return false;
    }
    Sleep(stepMs);
  }
  return true;
}

struct Run {
  double milliseconds;
  double peakWorkingSetMib;  // at the end of the timed step
};

struct Started {
  Child child;
  HWND shown = nullptr;  // its main window, visible and answering
  double at = 0;         // milliseconds from just before the process was created, or from the read click
};

std::optional<Started> startProgram(const std::wstring& exe, const std::wstring& arguments) {
  const Stopwatch clock;
  auto child = Child::start(exe, arguments);
  if (!child) return std::nullopt;
  HWND window = nullptr;
  if (!waitFor(*child, kWindowTimeoutMs, "a visible window",
               [&] { return (window = visibleWindowOf(child->id(), nullptr)) && ask(window, WM_NULL); })) {
    return std::nullopt;
  }
  return Started{std::move(*child), window, clock.milliseconds()};
}

std::optional<Run> timeStartup(const std::wstring& exe) {
  auto started = startProgram(exe, L"");
  if (!started) return std::nullopt;
  return Run{started->at, started->child.peakWorkingSetMib()};
}

// Started and settled, then its read button clicked until the list holds every subfolder
// and the window answers; `at` is the time from that click.
std::optional<Started> startAndList(const std::wstring& exe, const std::wstring& arguments, int buttonId, int listId,
                                    LRESULT subfolders) {
  auto started = startProgram(exe, arguments);
  if (!started) return std::nullopt;
  Sleep(kSettleMs);
  ask(started->shown, WM_NULL);
  HWND list = GetDlgItem(started->shown, listId);
  HWND button = GetDlgItem(started->shown, buttonId);
  const Stopwatch clock;
  PostMessageW(button, BM_CLICK, 0, 0);
  if (!waitFor(started->child, kListTimeoutMs, "a full list",
               [&] { return ask(list, LB_GETCOUNT).value_or(-1) >= subfolders && ask(started->shown, WM_NULL); })) {
    return std::nullopt;
  }
  started->at = clock.milliseconds();
  return started;
}

std::optional<Run> timeListing(const std::wstring& exe, const std::wstring& arguments, int buttonId, int listId,
                               LRESULT subfolders) {
  const auto listed = startAndList(exe, arguments, buttonId, listId, subfolders);
  if (!listed) return std::nullopt;
  return Run{listed->at, listed->child.peakWorkingSetMib()};
}

// What a join needs to know of the program's folder and of the video it joins.
struct MergeCase {
  std::wstring exe;
  std::wstring appFolder;
  LRESULT subfolders = 0;  // of the cache folder, which the read lists
  LRESULT entry = -1;      // the video's line in that list
  std::size_t fragments = 0;
  ULONGLONG bytes = 0;  // of the fragments, which the joined file must hold
};

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

ULONGLONG sizeOf(const WIN32_FIND_DATAW& found) {
  return (static_cast<ULONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
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

std::optional<MergeCase> mergeCaseFor(const std::wstring& exe, const std::wstring& video) {
  MergeCase merge{exe, folderOf(exe)};
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
std::optional<Run> timeMerge(const MergeCase& merge) {
  const std::wstring script = merge.appFolder + L"\\Fok.BAT";
  deleteOutputs(merge.appFolder);
  DeleteFileW(script.c_str());
  auto listed = startAndList(merge.exe, L"", IDC_COMMAND2, IDC_LIST1, merge.subfolders);
  if (!listed) return std::nullopt;
  Child& child = listed->child;
  HWND window = listed->shown;
  // The read yields to the window after each entry it lists, the last one too, and drops
  // a click on the start button that comes meanwhile; it has long ended after a pause.
  Sleep(kSettleMs);
  ask(GetDlgItem(window, IDC_LIST1), LB_SETCURSEL, static_cast<WPARAM>(merge.entry));
  ask(window, WM_NULL);

  const Stopwatch clock;
  PostMessageW(GetDlgItem(window, IDC_COMMAND1), BM_CLICK, 0, 0);
  const auto whole = [&] {
    const auto sizes = outputSizes(merge.appFolder);
    return std::find(sizes.begin(), sizes.end(), merge.bytes) != sizes.end();
  };
  if (!waitFor(
          child, kMergeTimeoutMs, "the joined file", [&] { return !exists(script) && whole(); }, kMergePollMs)) {
    const auto sizes = outputSizes(merge.appFolder);
    std::fprintf(stderr, "bench: the joined file holds %llu of %llu bytes; the script is %s\n",
                 sizes.empty() ? 0ull : static_cast<unsigned long long>(sizes.front()),
                 static_cast<unsigned long long>(merge.bytes), exists(script) ? "still there" : "not there");
    return std::nullopt;
  }
  const Run run{clock.milliseconds(), child.peakWorkingSetMib()};

  if (!waitFor(child, kWindowTimeoutMs, "the interpreter's end", [&] { return child.processes() == 1; })) {
    return std::nullopt;
  }
  // The program hears of that end by a message of its own; it may come after ours.
  Sleep(kSettleMs);
  ask(window, WM_NULL);
  if (const auto box = messageBoxText(child)) {
    std::fprintf(stderr, "bench: a message box came up after the join: %s\n", box->c_str());
    return std::nullopt;
  }
  if (!child.close(window)) {
    std::fprintf(stderr, "bench: the program or what it started still runs after it was closed\n");
    return std::nullopt;
  }
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
    std::snprintf(text, sizeof text, "%7.1f ms (%.0f-%.0f, %zu runs) %5.1f MiB", median(milliseconds), *fastest,
                  *slowest, milliseconds.size(), median(peaks));
    return text;
  }
};

std::string runText(const std::optional<Run>& run) {
  if (!run) return "          failed          ";
  char text[64];
  std::snprintf(text, sizeof text, "%8.1f ms %6.1f MiB", run->milliseconds, run->peakWorkingSetMib);
  return text;
}

// One of the two things compared: the program and its floor, or two builds or two cases of it.
struct Side {
  std::string name;
  std::function<std::optional<Run>()> run;
};

// Runs the two in turn, after one uncounted run of each that pays for loading the libraries
// from disk, and prints every run, then the medians and the ratio of a's to b's.
int compare(const std::string& what, int runs, const Side& a, const Side& b) {
  std::printf("%s: warm-up, not counted: %s %s   %s %s\n", what.c_str(), a.name.c_str(), runText(a.run()).c_str(),
              b.name.c_str(), runText(b.run()).c_str());
  std::fflush(stdout);
  Series aRuns;
  Series bRuns;
  for (int run = 1; run <= runs; ++run) {
    const auto aRun = a.run();
    const auto bRun = b.run();
    aRuns.add(aRun);
    bRuns.add(bRun);
    std::printf("%s run %2d: %s %s   %s %s\n", what.c_str(), run, a.name.c_str(), runText(aRun).c_str(), b.name.c_str(),
                runText(bRun).c_str());
    std::fflush(stdout);
  }
  const bool both = !aRuns.milliseconds.empty() && !bRuns.milliseconds.empty();
  std::string ratio;
  if (both) {
    char text[128];
    std::snprintf(text, sizeof text, " | ratio %s/%s %.2f", a.name.c_str(), b.name.c_str(),
                  median(aRuns.milliseconds) / median(bRuns.milliseconds));
    ratio = text;
  }
  std::printf("summary %-11s %s %s | %s %s%s\n", what.c_str(), a.name.c_str(), aRuns.summary().c_str(), b.name.c_str(),
              bRuns.summary().c_str(), ratio.c_str());
  std::fflush(stdout);
  return both ? 0 : 1;
}

// Joins the same bytes in turn as two sides: two builds on one video, or one build on two videos.
int compareMerges(int runs, wchar_t** sideA, wchar_t** sideB) {
  const auto a = mergeCaseFor(sideA[1], sideA[2]);
  const auto b = mergeCaseFor(sideB[1], sideB[2]);
  if (!a || !b) return 1;
  if (a->bytes != b->bytes) std::printf("merge: the two videos differ in size; their times do not compare\n");
  char what[64];
  std::snprintf(what, sizeof what, "join %.0f MiB in %zu files", static_cast<double>(a->bytes) / (1024.0 * 1024.0),
                a->fragments);
  return compare(what, runs, {toUtf8(sideA[0]), [&] { return timeMerge(*a); }},
                 {toUtf8(sideB[0]), [&] { return timeMerge(*b); }});
}

int usage() {
  std::fprintf(
      stderr,
      "usage: bench_runner startup <runs> <program exe> <floor exe>\n"
      "       bench_runner list <runs> <program exe> <floor exe> <folder> <subfolders in it>\n"
      "       bench_runner merge <runs> <name A> <exe A> <video folder A> <name B> <exe B> <video folder B>\n");
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
  if (mode == L"startup" && argc == 5 && runs > 0) {
    status = compare("startup", runs, {"program", [&] { return timeStartup(program); }},
                     {"floor", [&] { return timeStartup(floor); }});
  } else if (mode == L"list" && argc == 7 && runs > 0) {
    const std::wstring folder = argv[5];
    const LRESULT subfolders = _wtoi(argv[6]);
    status = compare("list " + std::to_string(subfolders), runs,
                     {"program", [&] { return timeListing(program, L"", IDC_COMMAND2, IDC_LIST1, subfolders); }},
                     {"floor", [&] {
                        return timeListing(floor, L"\"" + folder + L"\"", bench::kFloorReadButtonId,
                                           bench::kFloorListBoxId, subfolders);
                      }});
  } else if (mode == L"merge" && argc == 9 && runs > 0) {
    status = compareMerges(runs, argv + 3, argv + 6);
  }
  timeEndPeriod(1);
  return status < 0 ? usage() : status;
}
