// Runs the end-to-end cases against a built tdl2mp4.exe:
//   e2e_driver <path of tdl2mp4.exe> [part of a case name]...
// With parts given, only the cases whose names contain one of them run.
#include <windows.h>

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "tests/e2e/framework.h"

// UTF-8 with a bare LF whether the output is a pipe, a file or a console.
static void printLine(const std::string& line) {
  const std::string bytes = line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

int wmain(int argc, wchar_t** argv) {
  SetConsoleOutputCP(CP_UTF8);
  wchar_t full[MAX_PATH * 4] = {};
  if (argc < 2 || !GetFullPathNameW(argv[1], MAX_PATH * 4, full, nullptr) ||
      GetFileAttributesW(full) == INVALID_FILE_ATTRIBUTES) {
    printLine("usage: e2e_driver <path of tdl2mp4.exe> [part of a case name]...");
    return 2;
  }
  const std::vector<std::wstring> parts(argv + 2, argv + argc);
  // Layout is checked in real pixels, so the driver must not see a scaled screen.
  SetProcessDPIAware();
  // Settings of a user's environment that the program and the interpreters it starts inherit, and that must
  // not derail a conversion: copy asking before it replaces a file, and no script found in the current folder.
  SetEnvironmentVariableW(L"COPYCMD", L"/-Y");
  SetEnvironmentVariableW(L"NoDefaultCurrentDirectoryInExePath", L"1");

  e2e::CaseList cases;
  e2e::addWindowCases(cases);
  e2e::addConversionCases(cases);
  e2e::addRemuxCases(cases);
  e2e::addBatchCases(cases);

  int passed = 0, failed = 0;
  for (const auto& [name, run] : cases) {
    const auto inName = [whole = std::wstring(name)](const std::wstring& part) {
      return whole.find(part) != whole.npos;
    };
    if (!parts.empty() && std::none_of(parts.begin(), parts.end(), inName)) continue;
    // The letter in the root is one that the ANSI and OEM code pages of a Western locale
    // put at different bytes, so a file written in the wrong one shows.
    e2e::Case c{full, L"C:\\e2e-\u00E9\\" + std::wstring(name) + L"\\", {}};
    try {
      if (!e2e::removeTree(c.root)) c.abort("cannot delete the leftovers in " + e2e::quoted(c.root));
      e2e::makeFolder(c, c.root);
      run(c);
    } catch (const std::exception& error) {
      c.check(false, error.what());
    }
    std::string reasons;
    for (const std::string& reason : c.failures) reasons += (reasons.empty() ? ": " : "; ") + reason;
    printLine((reasons.empty() ? "PASS " : "FAIL ") + e2e::toUtf8(name) + reasons);
    ++(reasons.empty() ? passed : failed);
  }
  printLine(std::to_string(passed) + " passed, " + std::to_string(failed) + " failed");
  return failed == 0 ? 0 : 1;
}
