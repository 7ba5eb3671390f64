// Measures the built program from outside, the way a user's clicks drive it, next
// to floor programs that do the least the same job needs. It prints figures and
// judges nothing; lines starting with "RESULT" are for scripts to collect.
//
//   bench_runner startup <exe> <runs>
//   bench_runner list <exe> <cache folder> <runs>

// windows.h first: the headers after it build on its types.
// clang-format off
#include <windows.h>
#include <mmsystem.h>
#include <psapi.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "app/resource.h"
#include "bench/bench_names.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide.h"

namespace {

using platform::win32::FileHandle;
using platform::win32::FindHandle;
using platform::win32::KernelHandle;
using platform::win32::toUtf8;

constexpr DWORD kWindowTimeoutMs = 30000;
constexpr DWORD kListTimeoutMs = 120000;
constexpr UINT kReplyTimeoutMs = 10000;
// A fresh window still paints and settles after its loop first runs; clicks wait
// that out so it is not counted in the step being timed.
constexpr DWORD kSettleMs = 300;
// Looking for a message box costs a round trip to the window system; every poll would
// slow what is being measured.
constexpr int kPollsPerMessageBoxCheck = 50;

constexpr wchar_t kSettingsFileName[] = L"shezhi.txt";
constexpr wchar_t kFloorWindowExe[] = L"bench_floor_window.exe";
constexpr wchar_t kFloorListExe[] = L"bench_floor_list.exe";
constexpr UINT kSettingsCodePage = 936;

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

void fail(const char* what) { std::fprintf(stderr, "bench: %s\n", what); }

void failWithError(const char* what) { std::fprintf(stderr, "bench: %s (error %lu)\n", what, GetLastError()); }

void result(const std::string& key, double value) {
  std::printf("RESULT %s %.3f\n", key.c_str(), value);
  std::fflush(stdout);
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double mebibytes(ULONGLONG bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

std::wstring folderOf(const std::wstring& path) {
  const auto separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? L"." : path.substr(0, separator);
}

std::wstring withoutTrailingBackslash(std::wstring path) {
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

std::wstring runnerFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return folderOf(std::wstring(path, length));
}

bool isDotEntry(const wchar_t* name) { return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0; }

// Every subfolder the program should list, in the order the file system gives them.
std::optional<std::vector<std::wstring>> subfoldersOf(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  FindHandle find(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH));
  if (!find) return std::nullopt;
  std::vector<std::wstring> names;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !isDotEntry(data.cFileName)) {
      names.emplace_back(data.cFileName);
    }
  } while (FindNextFileW(find.get(), &data));
  return names;
}

// The program's settings file holds what each run needs while the runner works;
// whatever was there before comes back afterwards.
class SettingsFile {
 public:
  explicit SettingsFile(std::wstring path) : path_(std::move(path)) { previous_ = read(); }
  ~SettingsFile() {
    if (previous_) {
      write(*previous_);
    } else {
      DeleteFileW(path_.c_str());
    }
  }
  SettingsFile(const SettingsFile&) = delete;
  SettingsFile& operator=(const SettingsFile&) = delete;

  bool write(const std::string& bytes) const {
    FileHandle file(
        CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && (bytes.empty() ||
                    (WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                     written == bytes.size()));
  }

 private:
  std::optional<std::string> read() const {
    FileHandle file(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    std::string bytes(1 << 16, '\0');
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) return std::nullopt;
    bytes.resize(read);
    return bytes;
  }

  std::wstring path_;
  std::optional<std::string> previous_;
};

// The settings line as the program saves it: code page 936 and CR LF.
std::optional<std::string> settingsLine(const std::wstring& path) {
  BOOL lossy = FALSE;
  const int size = WideCharToMultiByte(kSettingsCodePage, WC_NO_BEST_FIT_CHARS, path.data(),
                                       static_cast<int>(path.size()), nullptr, 0, nullptr, &lossy);
  if (size <= 0 || lossy) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(kSettingsCodePage, WC_NO_BEST_FIT_CHARS, path.data(), static_cast<int>(path.size()), bytes.data(),
                      size, nullptr, nullptr);
  return bytes + "\r\n";
}

// A program under measurement, in a job that takes it and everything it starts
// down with it, whichever way the measurement ends.
class Child {
 public:
  static std::optional<Child> start(const std::wstring& exe, const std::wstring& arguments) {
    KernelHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job) {
      failWithError("cannot create a job object");
      return std::nullopt;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);

    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    const std::wstring folder = folderOf(exe);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    // Suspended until it is in the job, so nothing it starts can escape the job.
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED | DETACHED_PROCESS,
                        nullptr, folder.c_str(), &startup, &started)) {
      std::fprintf(stderr, "bench: cannot start %s (error %lu)\n", toUtf8(exe).c_str(), GetLastError());
      return std::nullopt;
    }
    const KernelHandle thread(started.hThread);
    KernelHandle process(started.hProcess);
    if (!AssignProcessToJobObject(job.get(), process.get())) {
      failWithError("cannot put the program in its job");
      TerminateProcess(process.get(), 1);
      return std::nullopt;
    }
    ResumeThread(thread.get());
    return Child(std::move(job), std::move(process), started.dwProcessId);
  }

  Child(Child&&) = default;
  Child& operator=(Child&&) = default;
  ~Child() { end(); }

  DWORD id() const { return id_; }
  HANDLE process() const { return process_.get(); }
  bool running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

  void end() {
    if (!job_) return;
    TerminateJobObject(job_.get(), 1);
    WaitForSingleObject(process_.get(), 10000);
    job_.reset();
  }

 private:
  Child(KernelHandle job, KernelHandle process, DWORD id)
      : job_(std::move(job)), process_(std::move(process)), id_(id) {}

  KernelHandle job_;
  KernelHandle process_;
  DWORD id_ = 0;
};

HWND visibleWindowOf(DWORD processId, const wchar_t* className) {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, className, nullptr)) != nullptr) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == processId && IsWindowVisible(window)) return window;
  }
  return nullptr;
}

std::optional<std::string> messageBoxTextOf(DWORD processId) {
  HWND box = visibleWindowOf(processId, L"#32770");
  if (!box) return std::nullopt;
  wchar_t text[1024] = L"";
  GetDlgItemTextW(box, 65535, text, 1024);
  return toUtf8(text);
}

LRESULT ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kReplyTimeoutMs, &answer)) return -1;
  return static_cast<LRESULT>(answer);
}

// Returns once the program's thread is back in its message loop with nothing left to do.
void settle(HWND window) {
  ask(window, WM_NULL);
  Sleep(kSettleMs);
  ask(window, WM_NULL);
}

// Checks `done` every millisecond until it holds; the time on `clock` then, or
// nothing if the program ended, showed a message box or ran out of time.
template <typename Check>
std::optional<double> pollUntil(const Child& child, const Stopwatch& clock, DWORD timeoutMs, const char* waitingFor,
                                Check done) {
  for (int polls = 0;; ++polls) {
    if (done()) return clock.milliseconds();
    if (!child.running()) {
      std::fprintf(stderr, "bench: the program ended while waiting for %s\n", waitingFor);
      return std::nullopt;
    }
    if (polls % kPollsPerMessageBoxCheck == 0) {
      if (auto text = messageBoxTextOf(child.id())) {
        std::fprintf(stderr, "bench: a message box came up while waiting for %s: %s\n", waitingFor, text->c_str());
        return std::nullopt;
      }
    }
    if (clock.milliseconds() > timeoutMs) {
      std::fprintf(stderr, "bench: no %s within %lu s\n", waitingFor, timeoutMs / 1000);
      return std::nullopt;
    }
    Sleep(1);
  }
}

struct Shown {
  HWND window;
  double milliseconds;
};

std::optional<Shown> waitForWindow(const Child& child, const wchar_t* className, const Stopwatch& clock) {
  HWND window = nullptr;
  const auto shown = pollUntil(child, clock, kWindowTimeoutMs, "a visible main window",
                               [&] { return (window = visibleWindowOf(child.id(), className)) != nullptr; });
  if (!shown) return std::nullopt;
  return Shown{window, *shown};
}

struct Started {
  Child child;
  Shown shown;
};

// Starts a program and returns once its window is up and painted; shown.milliseconds
// counts from just before the start.
std::optional<Started> startAndSettle(const std::wstring& exe, const std::wstring& arguments,
                                      const wchar_t* className) {
  const Stopwatch clock;
  auto child = Child::start(exe, arguments);
  if (!child) return std::nullopt;
  const auto shown = waitForWindow(*child, className, clock);
  if (!shown) return std::nullopt;
  settle(shown->window);
  return Started{std::move(*child), *shown};
}

// ---- start-up ----

double peakWorkingSetMib(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(process, &counters, sizeof counters)) return -1;
  return mebibytes(counters.PeakWorkingSetSize);
}

struct StartRun {
  double milliseconds;
  double peakWorkingSetMib;
};

std::optional<StartRun> timeStartup(const std::wstring& exe, const wchar_t* className) {
  // Memory once the first paint is done, which the time does not wait for.
  const auto started = startAndSettle(exe, L"", className);
  if (!started) return std::nullopt;
  return StartRun{started->shown.milliseconds, peakWorkingSetMib(started->child.process())};
}

int runStartup(const std::wstring& exe, int runs) {
  const std::wstring floorExe = runnerFolder() + L"\\" + kFloorWindowExe;
  // An empty settings file: the start reads a file, as a user's does, and fills in nothing.
  SettingsFile settings(folderOf(exe) + L"\\" + kSettingsFileName);
  if (!settings.write("")) {
    failWithError("cannot write the program's settings file");
    return 1;
  }

  // The first start of each pays for loading Wine's or Windows' libraries from disk.
  const auto warmProgram = timeStartup(exe, MAIN_WINDOW_CLASS);
  const auto warmFloor = timeStartup(floorExe, bench::kFloorWindowClass);
  std::printf("startup: warm-up, not counted: program %.1f ms, floor %.1f ms\n",
              warmProgram ? warmProgram->milliseconds : -1, warmFloor ? warmFloor->milliseconds : -1);
  std::vector<double> programMs, floorMs, programPeak, floorPeak;
  for (int run = 1; run <= runs; ++run) {
    const auto program = timeStartup(exe, MAIN_WINDOW_CLASS);
    const auto floor = timeStartup(floorExe, bench::kFloorWindowClass);
    if (program) {
      programMs.push_back(program->milliseconds);
      programPeak.push_back(program->peakWorkingSetMib);
    }
    if (floor) {
      floorMs.push_back(floor->milliseconds);
      floorPeak.push_back(floor->peakWorkingSetMib);
    }
    std::printf("startup run %2d: program %8.1f ms %6.1f MiB   floor %8.1f ms %6.1f MiB\n", run,
                program ? program->milliseconds : -1, program ? program->peakWorkingSetMib : -1,
                floor ? floor->milliseconds : -1, floor ? floor->peakWorkingSetMib : -1);
    std::fflush(stdout);
  }
  if (programMs.empty() || floorMs.empty()) {
    fail("startup: no complete run");
    return 1;
  }
  const double program = median(programMs);
  const double floor = median(floorMs);
  std::printf(
      "startup median of %zu: program %.1f ms, floor (bare window) %.1f ms, ratio %.2f; peak working set "
      "program %.1f MiB, floor %.1f MiB\n",
      programMs.size(), program, floor, program / floor, median(programPeak), median(floorPeak));
  result("startup.program_ms", program);
  result("startup.floor_ms", floor);
  result("startup.ratio", program / floor);
  result("startup.program_peak_mib", median(programPeak));
  result("startup.floor_peak_mib", median(floorPeak));
  return 0;
}

// ---- listing ----

struct ListRun {
  double milliseconds;
  double peakWorkingSetMib;
};

// Times from `trigger` to the list holding `expected` lines.
template <typename Trigger>
std::optional<ListRun> timeListing(const Child& child, HWND list, std::size_t expected, Trigger trigger) {
  if (!list) {
    fail("the list box was not found");
    return std::nullopt;
  }
  const Stopwatch clock;
  trigger();
  const auto filled = pollUntil(child, clock, kListTimeoutMs, "a full list",
                                [&] { return ask(list, LB_GETCOUNT) >= static_cast<LRESULT>(expected); });
  if (!filled) {
    std::fprintf(stderr, "bench: the list held %ld of %zu lines\n", static_cast<long>(ask(list, LB_GETCOUNT)),
                 expected);
    return std::nullopt;
  }
  // The walk's end (its last repaint) is part of the program's memory, not of its time.
  settle(GetParent(list));
  return ListRun{*filled, peakWorkingSetMib(child.process())};
}

std::wstring controlText(HWND control) {
  wchar_t text[MAX_PATH * 4] = L"";
  ask(control, WM_GETTEXT, MAX_PATH * 4, reinterpret_cast<LPARAM>(text));
  return text;
}

std::optional<ListRun> programListing(const std::wstring& exe, const std::wstring& folder, std::size_t expected) {
  auto started = startAndSettle(exe, L"", MAIN_WINDOW_CLASS);
  if (!started) return std::nullopt;
  HWND window = started->shown.window;
  HWND pathBox = GetDlgItem(window, IDC_TEXT1);
  if (controlText(pathBox) != folder) {
    std::fprintf(stderr, "bench: the path box did not take the settings file's path; typing it in instead\n");
    ask(pathBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
  }
  HWND button = GetDlgItem(window, IDC_COMMAND2);
  return timeListing(started->child, GetDlgItem(window, IDC_LIST1), expected,
                     [&] { PostMessageW(button, BM_CLICK, 0, 0); });
}

std::optional<ListRun> floorListing(const std::wstring& floorExe, const std::wstring& folder, std::size_t expected) {
  auto started = startAndSettle(floorExe, L"\"" + folder + L"\"", bench::kFloorListClass);
  if (!started) return std::nullopt;
  HWND window = started->shown.window;
  return timeListing(started->child, GetDlgItem(window, bench::kFloorListBoxId), expected,
                     [&] { PostMessageW(window, bench::kFloorStartListing, 0, 0); });
}

void printListRun(const char* label, int run, const std::optional<ListRun>& measured) {
  if (measured) {
    std::printf("list run %2d: %-7s %9.1f ms   peak working set %6.1f MiB\n", run, label, measured->milliseconds,
                measured->peakWorkingSetMib);
  } else {
    std::printf("list run %2d: %-7s failed\n", run, label);
  }
  std::fflush(stdout);
}

int runList(const std::wstring& exe, const std::wstring& folder, int runs) {
  const auto subfolders = subfoldersOf(folder);
  if (!subfolders || subfolders->empty()) {
    fail("list: the cache folder is missing or has no subfolders");
    return 1;
  }
  const std::size_t expected = subfolders->size();
  const auto line = settingsLine(folder);
  if (!line) {
    fail("list: the cache folder's path does not fit code page 936");
    return 1;
  }
  SettingsFile settings(folderOf(exe) + L"\\" + kSettingsFileName);
  if (!settings.write(*line)) {
    failWithError("cannot write the program's settings file");
    return 1;
  }
  const std::wstring floorExe = runnerFolder() + L"\\" + kFloorListExe;

  std::printf("list: %zu subfolders in %s\n", expected, toUtf8(folder).c_str());
  const auto warmProgram = programListing(exe, folder, expected);
  const auto warmFloor = floorListing(floorExe, folder, expected);
  std::printf("list: warm-up, not counted: program %.1f ms, floor %.1f ms\n",
              warmProgram ? warmProgram->milliseconds : -1, warmFloor ? warmFloor->milliseconds : -1);
  std::vector<double> programMs, floorMs, programPeak, floorPeak;
  for (int run = 1; run <= runs; ++run) {
    const auto program = programListing(exe, folder, expected);
    printListRun("program", run, program);
    const auto floor = floorListing(floorExe, folder, expected);
    printListRun("floor", run, floor);
    if (program) {
      programMs.push_back(program->milliseconds);
      programPeak.push_back(program->peakWorkingSetMib);
    }
    if (floor) {
      floorMs.push_back(floor->milliseconds);
      floorPeak.push_back(floor->peakWorkingSetMib);
    }
  }
  if (programMs.empty() || floorMs.empty()) {
    fail("list: no complete run");
    return 1;
  }
  const std::string key = "list." + std::to_string(expected) + ".";
  const double program = median(programMs);
  const double floor = median(floorMs);
  std::printf(
      "list %zu median of %zu: program %.1f ms, floor %.1f ms, ratio %.2f; peak working set program %.1f MiB, "
      "floor %.1f MiB\n",
      expected, programMs.size(), program, floor, program / floor, median(programPeak), median(floorPeak));
  result(key + "program_ms", program);
  result(key + "floor_ms", floor);
  result(key + "ratio", program / floor);
  result(key + "program_peak_mib", median(programPeak));
  result(key + "floor_peak_mib", median(floorPeak));
  return 0;
}

int usage() {
  std::fprintf(stderr,
               "usage: bench_runner startup <exe> <runs>\n"
               "       bench_runner list <exe> <cache folder> <runs>\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return usage();
  const std::wstring mode = argv[1];
  const std::wstring exe = argv[2];
  const int runs = _wtoi(argv[argc - 1]);
  if (runs < 1) return usage();
  // Sleep(1) sleeps a whole scheduler tick (about 16 ms) on Windows unless asked otherwise.
  timeBeginPeriod(1);
  int status = -1;
  if (mode == L"startup" && argc == 4) status = runStartup(exe, runs);
  if (mode == L"list" && argc == 5) status = runList(exe, withoutTrailingBackslash(argv[3]), runs);
  timeEndPeriod(1);
  if (status < 0) return usage();
  return status;
}
