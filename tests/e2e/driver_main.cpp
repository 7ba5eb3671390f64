// Runs the end-to-end cases against a built tdl2mp4.exe:
//   e2e_driver <path of tdl2mp4.exe> [part of a case name]
#include <windows.h>

#include <exception>
#include <string>

#include "tests/e2e/framework.h"

namespace {

// Lines go out as UTF-8 with a bare LF whether the output is a pipe, a file or a console.
void printLine(const std::string& line) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(out, &mode)) {
    const std::wstring wide = e2e::widen(line + "\n");
    DWORD written = 0;
    WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  const std::string bytes = line + "\n";
  DWORD written = 0;
  WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  FlushFileBuffers(out);
}

std::string joined(const std::vector<std::string>& reasons) {
  std::string text;
  for (const std::string& reason : reasons) text += (text.empty() ? "" : "; ") + reason;
  return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    printLine("usage: e2e_driver <path of tdl2mp4.exe> [part of a case name]");
    return 2;
  }
  wchar_t full[MAX_PATH * 4] = {};
  GetFullPathNameW(argv[1], MAX_PATH * 4, full, nullptr);
  const std::wstring program = full;
  if (GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
    printLine("program not found: " + e2e::utf8(program));
    return 2;
  }
  const std::wstring filter = argc > 2 ? argv[2] : L"";
  // Layout is checked in real pixels, so the driver must not see a scaled screen.
  SetProcessDPIAware();

  e2e::CaseList cases;
  e2e::addWindowCases(cases);
  e2e::addListingCases(cases);
  e2e::addSettingsCases(cases);
  e2e::addConversionCases(cases);
  e2e::addRobustnessCases(cases);

  int passed = 0, failed = 0;
  for (const e2e::CaseEntry& entry : cases) {
    if (!filter.empty() && entry.name.find(filter) == std::wstring::npos) continue;
    e2e::Case c(entry.name, program);
    try {
      if (!e2e::removeTree(c.root())) c.abort("cannot delete the leftovers in " + e2e::quoted(c.root()));
      e2e::makeFolder(c, c.root());
      entry.run(c);
    } catch (const e2e::CaseAbort& abort) {
      c.check(false, abort.what());
    } catch (const std::exception& error) {
      c.check(false, std::string("driver error: ") + error.what());
    }
    if (c.failures().empty()) {
      ++passed;
      printLine("PASS " + e2e::utf8(entry.name));
    } else {
      ++failed;
      printLine("FAIL " + e2e::utf8(entry.name) + ": " + joined(c.failures()));
    }
  }
  printLine(std::to_string(passed) + " passed, " + std::to_string(failed) + " failed");
  return failed == 0 ? 0 : 1;
}
