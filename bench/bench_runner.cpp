// Times the built program from outside, the way a user's clicks drive it, run by
// run in turn with a floor program that does the least the same job needs. It
// prints every run, the medians and their ratio, and judges nothing; lines that
// start with "summary" are the ones a script collects.
//
//   bench_runner startup <runs> <program exe> <floor exe>
//   bench_runner list <runs> <program exe> <floor exe> <folder> <subfolders in it>

// windows.h first: the headers after it build on its types.
// clang-format off
#include <windows.h>
#include <mmsystem.h>
#include <psapi.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/resource.h"
#include "bench/bench_names.h"
#include "platform/win32/handles.h"

namespace {

using platform::win32::KernelHandle;

constexpr DWORD kWindowTimeoutMs = 30000;
constexpr DWORD kListTimeoutMs = 120000;
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
class Child {
 public:
  static std::optional<Child> start(const std::wstring& exe, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                        &startup, &started)) {
      std::fprintf(stderr, "bench: cannot start %ls (error %lu)\n", exe.c_str(), GetLastError());
      return std::nullopt;
    }
    CloseHandle(started.hThread);
    return Child(KernelHandle(started.hProcess), started.dwProcessId);
  }

  Child(Child&&) = default;
  Child& operator=(Child&&) = default;
  ~Child() {
    if (!process_) return;
    TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), 10000);
  }

  DWORD id() const { return id_; }
  bool running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
  double peakWorkingSetMib() const {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process_.get(), &counters, sizeof counters)) return -1;
    return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
  }

 private:
  Child(KernelHandle process, DWORD id) : process_(std::move(process)), id_(id) {}

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

// Polls `done` until it holds; false if the program ended, put up a message box or ran out of time.
bool waitFor(const Child& child, DWORD timeoutMs, const char* what, const std::function<bool()>& done) {
  const Stopwatch clock;
  for (int polls = 0; !done(); ++polls) {
    const char* failure = nullptr;
    if (!child.running()) failure = "the program ended";
    // Looking for a message box is a round trip to the window system: not on every poll.
    if (polls % 50 == 0 && visibleWindowOf(child.id(), L"#32770")) failure = "a message box came up";
    if (clock.milliseconds() > timeoutMs) failure = "time ran out";
    if (failure) {
      std::fprintf(stderr, "bench: %s while waiting for %s\n", failure, what);
      return false;
    }
    Sleep(1);
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
  double at = 0;         // milliseconds from just before the process was created
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

// From the click on the read button to the list holding every subfolder and the window answering.
std::optional<Run> timeListing(const std::wstring& exe, const std::wstring& arguments, int buttonId, int listId,
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
  return Run{clock.milliseconds(), started->child.peakWorkingSetMib()};
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

// Runs program and floor in turn, after one uncounted run of each that pays for loading
// the libraries from disk, and prints every run, then the medians and their ratio.
int compare(const std::string& what, int runs, const std::function<std::optional<Run>()>& program,
            const std::function<std::optional<Run>()>& floor) {
  std::printf("%s: warm-up, not counted: program %s   floor %s\n", what.c_str(), runText(program()).c_str(),
              runText(floor()).c_str());
  Series programRuns;
  Series floorRuns;
  for (int run = 1; run <= runs; ++run) {
    const auto programRun = program();
    const auto floorRun = floor();
    programRuns.add(programRun);
    floorRuns.add(floorRun);
    std::printf("%s run %2d: program %s   floor %s\n", what.c_str(), run, runText(programRun).c_str(),
                runText(floorRun).c_str());
    std::fflush(stdout);
  }
  if (programRuns.milliseconds.empty() || floorRuns.milliseconds.empty()) {
    std::printf("summary %-11s no complete run\n", what.c_str());
    return 1;
  }
  std::printf("summary %-11s program %s | floor %s | ratio %.2f\n", what.c_str(), programRuns.summary().c_str(),
              floorRuns.summary().c_str(), median(programRuns.milliseconds) / median(floorRuns.milliseconds));
  std::fflush(stdout);
  return 0;
}

int usage() {
  std::fprintf(stderr,
               "usage: bench_runner startup <runs> <program exe> <floor exe>\n"
               "       bench_runner list <runs> <program exe> <floor exe> <folder> <subfolders in it>\n");
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
    status = compare(
        "startup", runs, [&] { return timeStartup(program); }, [&] { return timeStartup(floor); });
  } else if (mode == L"list" && argc == 7 && runs > 0) {
    const std::wstring folder = argv[5];
    const LRESULT subfolders = _wtoi(argv[6]);
    status = compare(
        "list " + std::to_string(subfolders), runs,
        [&] { return timeListing(program, L"", IDC_COMMAND2, IDC_LIST1, subfolders); },
        [&] {
          return timeListing(floor, L"\"" + folder + L"\"", bench::kFloorReadButtonId, bench::kFloorListBoxId,
                             subfolders);
        });
  }
  timeEndPeriod(1);
  return status < 0 ? usage() : status;
}
