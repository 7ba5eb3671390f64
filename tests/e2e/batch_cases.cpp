// Several entries selected as a user selects them, by Ctrl+click, Shift+click and Ctrl+A, and converted with one
// click: the entries that cannot be converted named in one message, one question for those with gaps, the videos
// one after another in list order under names of their own, the caption counting them, and no report at the end
// when every video became a file.
#include <windows.h>

#include <string>
#include <vector>

#include "app/resource.h"
#include "tests/e2e/framework.h"
#include "tests/e2e/video_files.h"

namespace e2e {
namespace {

const wchar_t* const kSkipped = L"以下视频无法转换，将跳过：";
const wchar_t* const kFolderGone = L"所选视频的缓存文件夹已不存在或无法打开，请重新读取浏览时间：";
const wchar_t* const kOneWithGaps = L"1 个视频没有缓存完整，转换出的视频会在缺少分段的地方跳过。仍要转换这些视频吗？";
const wchar_t* const kConverting = L"正在转换 ";

// Each folder a minute apart from the one before, so that a time in a message names one entry. Wine takes the last
// write for the creation time, Windows the creation argument: both are given. Set once the files are in.
void spreadFolderTimes(Case& c, const std::wstring& cache, const std::vector<std::wstring>& folders) {
  for (size_t i = 0; i < folders.size(); ++i) {
    const UniqueHandle folder = own(CreateFileW((cache + L"\\" + folders[i]).c_str(), FILE_WRITE_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    SYSTEMTIME utc{2026, 3, 0, 2, 9, static_cast<WORD>(10 + i), 0, 0};
    FILETIME time{};
    if (!folder || !SystemTimeToFileTime(&utc, &time) || !SetFileTime(folder.get(), &time, &time, &time)) {
      c.abort("cannot set the time of " + quoted(folders[i]) + lastError());
    }
  }
}

std::string shown(const std::vector<int>& indices) {
  std::string text;
  for (int index : indices) text += (text.empty() ? "" : ",") + std::to_string(index);
  return "{" + text + "}";
}

// The captions the window shows until the batch's end caption or a message box, each once, in the order seen.
// Each caption read is a message the window answers between two of its own, so a caption that stands for as long
// as an interpreter takes to start is seen. Read in one message, since it may grow between two.
std::vector<std::wstring> captionsUntil(const App& app, const std::wstring& end) {
  std::vector<std::wstring> seen;
  waitUntil(
      [&] {
        wchar_t text[512] = {};
        const std::wstring caption(
            text, static_cast<size_t>(send(app.window(), WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text))));
        if (seen.empty() || seen.back() != caption) seen.push_back(caption);
        return caption == end || app.messageBox();
      },
      120000, 1);
  return seen;
}

// While video k of n runs the caption is "正在转换 k/n P% - " + title: k counts up from 1 to n in turn, and P
// never goes back within a video.
void checkProgressCaptions(Case& c, const std::vector<std::wstring>& seen, int videos) {
  int video = 0, percent = 0;
  std::string order;
  for (const std::wstring& caption : seen) {
    if (caption.rfind(kConverting, 0) != 0) continue;
    int k = 0, n = 0, p = 0, used = 0;
    const std::wstring rest = caption.substr(wcslen(kConverting));
    const bool parsed = swscanf(rest.c_str(), L"%d/%d %d%%%n", &k, &n, &p, &used) == 3 &&
                        rest.substr(static_cast<size_t>(used)) == std::wstring(L" - ") + kCaption;
    if (!c.check(parsed && n == videos, "a caption during the batch is " + quoted(caption))) continue;
    c.check(k == video ? p >= percent : k == video + 1, "the caption went from video " + std::to_string(video) + " " +
                                                            std::to_string(percent) + "% to " + quoted(caption));
    if (k != video) order += std::to_string(k);
    video = k, percent = p;
  }
  std::string expected;
  for (int k = 1; k <= videos; ++k) expected += std::to_string(k);
  c.check(order == expected, "the caption counted videos " + order + ", not " + expected);
}

// Five entries, three of them chosen by Ctrl+click: one with a fragment number missing, one whose folder goes before
// the click, and one of transport-stream fragments. The gone one is named by its time in the one message, the
// question asks about one video, and the other two are converted, the stream into an MP4, in list order.
void batchSkippedAndGaps(Case& c) {
  const std::wstring appFolder = installProgram(c, c.root + L"app"), cache = c.root + L"cache";
  // In list order: the folder listing sorts by name here.
  const std::vector<std::wstring> folders = {L"1111left", L"2222gaps", L"3333gone", L"4444left", L"5555ts"};
  makeFiles(c, cache + L"\\" + folders[0], {{L"1.tdl", fragment(1, 3000)}});
  const std::vector<std::wstring> present = {L"v.321004.1.tdl", L"v.321004.2.tdl", L"v.321004.4.tdl"};
  for (size_t i = 0; i < present.size(); ++i) {
    makeFiles(c, cache + L"\\" + folders[1], {{present[i], fragment(static_cast<unsigned>(10 + i), 4000 + i)}});
  }
  makeFiles(c, cache + L"\\" + folders[2], {{L"1.tdl", fragment(20, 3000)}});
  makeFiles(c, cache + L"\\" + folders[3], {{L"1.tdl", fragment(30, 3000)}});
  const std::string stream = copyFragments(c, L"small", cache + L"\\" + folders[4]);
  spreadFolderTimes(c, cache, folders);

  App app(c, appFolder);
  readCache(c, app, cache, cache, "read");
  for (int index : {1, 2, 4}) app.clickListItem(index, MK_CONTROL);
  const std::vector<int> selected = app.selectedListItems();
  c.check(selected == std::vector<int>{1, 2, 4}, "Ctrl+clicks on entries 1, 2 and 4 selected " + shown(selected));
  if (!removeTree(cache + L"\\" + folders[2])) c.abort("cannot remove " + quoted(folders[2]));

  app.click(IDC_COMMAND1);
  const std::wstring gone = kSkipped + (L"\n" + app.listItemText(2) + L"：") + kFolderGone;
  const std::wstring skipped = expectMessage(c, app, gone, "a selected folder removed");
  c.check(skipped.find(L'\n', wcslen(kSkipped) + 1) == std::wstring::npos,
          "the message on entries to skip names more than one: " + quoted(skipped));
  const std::wstring asked = answerBox(c, app, kOneWithGaps, "one video with gaps", {IDYES, IDNO}, IDYES);
  c.check(asked == kOneWithGaps, "the question is " + quoted(asked));
  const std::wstring end = std::wstring(L"已转换 2 个视频 - ") + kCaption;
  checkProgressCaptions(c, captionsUntil(app, end), 2);
  expectMessage(c, app, L"", "the end of the batch");
  c.check(textOf(app.window()) == end, "the caption at the end is " + quoted(textOf(app.window())));

  const auto gaps = readBytes(appFolder + L"\\Shipin2222.mp4");
  c.check(gaps == joined(c, cache + L"\\" + folders[1], present), "Shipin2222.mp4 is not the join of its fragments");
  checkMp4(c, appFolder, L"Shipin5555.mp4", "the transport stream");
  c.check(readBytes(appFolder + L"\\Shipin5555.mp4") != stream, "Shipin5555.mp4 holds the plain join");
  const size_t files = entries(appFolder).size();
  c.check(files == 3, "the program's folder holds " + std::to_string(files) + " files, not it and two videos");
}

// Ctrl+A selects every entry; a plain click then one, and Shift+click the range from it: three videos whose names
// share their first four characters and whose fragments add up to the same size, which alone would let the second
// replace the first's video. Each gets a name of its own, in list order, and the entries outside the range none.
void batchRangeInOrder(Case& c) {
  const std::wstring appFolder = installProgram(c, c.root + L"app"), cache = c.root + L"cache";
  const std::vector<std::wstring> folders = {L"0aaa", L"abcd1", L"abcd2", L"abcd3", L"zzzz"};
  const std::vector<std::wstring> parts = {L"1.tdl", L"2.tdl", L"3.tdl"};
  for (size_t i = 0; i < folders.size(); ++i) {
    for (size_t part = 0; part < parts.size(); ++part) {
      makeFiles(c, cache + L"\\" + folders[i],
                {{parts[part], fragment(static_cast<unsigned>(100 * i + part), 2000 + 500 * part)}});
    }
  }

  App app(c, appFolder);
  readCache(c, app, cache, cache, "read");
  // Clicked first, so that the keys go to the list.
  app.clickListItem(4);
  app.typeCtrlA();
  c.check(waitUntil([&] { return app.selectedListItems().size() == folders.size(); }, 3000),
          "Ctrl+A in the list selected " + shown(app.selectedListItems()));
  app.clickListItem(1);
  app.clickListItem(3, MK_SHIFT);
  const std::vector<int> selected = app.selectedListItems();
  c.check(selected == std::vector<int>{1, 2, 3}, "a click on entry 1 and Shift+click on 3 selected " + shown(selected));

  app.click(IDC_COMMAND1);
  const std::wstring end = std::wstring(L"已转换 3 个视频 - ") + kCaption;
  checkProgressCaptions(c, captionsUntil(app, end), 3);
  expectMessage(c, app, L"", "the end of the batch");
  c.check(textOf(app.window()) == end, "the caption at the end is " + quoted(textOf(app.window())));
  const wchar_t* const names[] = {L"Shipinabcd.mp4", L"Shipinabcd (2).mp4", L"Shipinabcd (3).mp4"};
  for (int k = 0; k < 3; ++k) {
    const auto video = readBytes(appFolder + L"\\" + names[k]);
    c.check(video == joined(c, cache + L"\\" + folders[static_cast<size_t>(k) + 1], parts),
            quoted(std::wstring(names[k])) + " is not the join of " + quoted(folders[static_cast<size_t>(k) + 1]));
  }
  const size_t files = entries(appFolder).size();
  c.check(files == 4, "the program's folder holds " + std::to_string(files) + " files, not it and three videos");
}

}  // namespace

void addBatchCases(CaseList& cases) {
  cases.insert(cases.end(),
               {{L"batch_skipped_and_gaps", batchSkippedAndGaps}, {L"batch_range_in_order", batchRangeInOrder}});
}

}  // namespace e2e
