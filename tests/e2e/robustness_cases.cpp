// Inputs at the edges: huge and garbled path boxes, crowded folders, deep paths.
// Whatever the answer, the program must still be there and answering afterwards.
#include <windows.h>

#include <string>

#include "app/resource.h"
#include "tests/e2e/framework.h"

namespace e2e {
namespace {

const wchar_t* const kFolderMissing = L"文件夹不存在，请填入正确的腾讯视频缓存文件保存地址";
const wchar_t* const kNoTdlFiles = L"没有找到可以转换的tdl视频文件";
const wchar_t* const kPathUnusable = L"路径中含有命令解释器无法处理的字符或路径过长";

void robustPathBox(Case& c) {
  const std::wstring cache = c.root() + L"cache";
  makeFolder(c, cache + L"\\x");
  App app(c, installProgram(c, c.root() + L"app"));

  const std::wstring longest = L"C:\\" + std::wstring(32764, L'a');
  app.setText(IDC_TEXT1, longest);
  app.click(IDC_COMMAND2);
  expectMessage(c, app, kFolderMissing, "Command2 with a path of 32,767 characters");
  expectResponsive(c, app, "after the 32,767-character path");

  const std::wstring garbled[] = {
      cache + L"\t",
      L"C:\\e2e\\\x01\x02\x1F",
      L"C:\\e2e\\nothing\r\n" + cache,
      L"\"" + cache + L"\"",
      cache + L"\\\"x\"",
      L"|<>*?\"",
      L"\x7F",
      cache + L"\\x\\..\\..\\..\\..\\..\\\x1B",
  };
  for (const std::wstring& typed : garbled) {
    const std::string when = "Command2 with " + quoted(typed);
    app.setText(IDC_TEXT1, typed);
    app.click(IDC_COMMAND2);
    expectMessage(c, app, kFolderMissing, when);
    expectResponsive(c, app, when);
  }
  c.check(app.listCount() == 0, "a rejected path filled the list");
}

void robustManyFiles(Case& c) {
  const std::wstring cache = c.root() + L"cache";
  const std::wstring crowded = cache + L"\\crowded";
  makeFolder(c, crowded);
  for (int i = 0; i < 10000; ++i) {
    wchar_t name[32];
    swprintf(name, 32, L"\\f%05d.tdl.part", i);
    UniqueHandle file(CreateFileW((crowded + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    if (!file) c.abort("cannot create the 10,000 files");
  }
  const std::wstring appFolder = installProgram(c, c.root() + L"app");
  App app(c, appFolder);
  readCache(c, app, cache, cache, "read");
  app.selectListItem(0);
  app.click(IDC_COMMAND1);
  expectMessage(c, app, kNoTdlFiles, "Command1 on a folder of 10,000 files without fragments", 120000);
  c.check(!fileExists(appFolder + L"\\Fok.BAT"), "Fok.BAT written for a folder without fragments");
  expectResponsive(c, app, "after the walk over 10,000 files");
}

void robustLongPath(Case& c) {
  std::wstring cache = c.root() + L"deep";
  for (int level = 1; level <= 5; ++level) {
    cache += L"\\nested folder level " + std::to_wstring(level) + L" with a long name to pass MAX_PATH";
  }
  if (cache.size() <= 260) c.abort("the deep path is not longer than 260 characters");
  makeFiles(c, cache + L"\\v1", {{L"1.tdl", fragment(60, 5000)}, {L"2.tdl", fragment(61, 6000)}});
  const std::string expected = joinedFragments(c, cache + L"\\v1");

  const std::wstring appFolder = installProgram(c, c.root() + L"app");
  App app(c, appFolder);
  readCache(c, app, cache, cache, "read of a " + std::to_string(cache.size()) + "-character path");
  app.selectListItem(0);
  app.click(IDC_COMMAND1);
  const std::string when = "converting below a " + std::to_string(cache.size()) + "-character path";
  if (const auto message = awaitOutput(c, app, appFolder + L"\\Shipinv1.mp4", expected, when)) {
    c.check(message->rfind(kPathUnusable, 0) == 0, when + ": message " + quoted(*message));
    c.check(!fileExists(appFolder + L"\\Fok.BAT"), when + ": Fok.BAT written although the path was refused");
  }
  expectResponsive(c, app, when);
}

}  // namespace

void addRobustnessCases(CaseList& cases) {
  cases.push_back({L"robust_path_box", robustPathBox});
  cases.push_back({L"robust_many_files", robustManyFiles});
  cases.push_back({L"robust_long_path", robustLongPath});
}

}  // namespace e2e
