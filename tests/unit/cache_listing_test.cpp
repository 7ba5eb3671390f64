#include "convert/cache_listing.h"

#include "app/main_form.h"
#include "convert/conversion.h"
#include "convert/messages.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_remux.h"
#include "tests/fakes/fake_view.h"
#include <gtest/gtest.h>

namespace {

class CacheListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.addFolder("D:\\vodcache\\zz9", 30);
    platform.addFile("D:\\vodcache\\loose.tdl", "x");
    platform.addFolder("D:\\vodcache\\abc.def", 10);
    platform.addFolder("D:\\vodcache\\7f3a9c", 20);
  }
  void read(const std::string& typed) { convert::ReadCacheFolder(platform, view, state, typed); }

  fakes::FakePlatform platform;
  fakes::FakeView view;
  convert::CacheState state;
};

// The check and the walk see the same cleaned text: a form that passed the one and
// failed the other would clear the list and then report an unreadable folder.
TEST_F(CacheListingTest, PastedAndSlashedFormsListTheFolderAndTheCleanedPathIsKeptButNotADevicePath) {
  const std::pair<std::string, std::string> forms[] = {
      {" \"D:\\vodcache \" ", "D:\\vodcache"},
      {"D:\\vodcache \t\r\n", "D:\\vodcache"},
      {"D:/vodcache/\xE3\x80\x80", "D:\\vodcache\\"},
  };
  for (const auto& [typed, cleaned] : forms) {
    view.list.clear();
    read(typed);
    EXPECT_TRUE(platform.messages.empty()) << typed;
    EXPECT_EQ(view.list.size(), 3u) << typed;
    EXPECT_EQ(state.CachePath, cleaned);
  }
  // Win32 would open a device path as the folder it names, but cmd cannot work in it: refused, the last listing kept.
  platform.addFolder("\\\\.\\D:\\vodcache");
  read("\\\\.\\D:\\vodcache");
  EXPECT_EQ(platform.messages, std::vector<std::string>{convert::kFolderMissing});
  EXPECT_EQ(state.CachePath, "D:\\vodcache\\");
  EXPECT_EQ(view.list.size(), 3u);
}

// cmd cannot change into a \\?\ folder; the script must carry the plain path. Windows'
// cmd makes a network folder current only through "pushd", which maps a drive letter.
TEST_F(CacheListingTest, AnExtendedPathIsScriptedInItsPlainForm) {
  platform.addFile("D:\\vodcache\\zz9\\1.tdl");
  platform.addFile("\\\\server\\share\\vodcache\\zz9\\1.tdl");
  const std::pair<std::string, std::string> cases[] = {
      {"\\\\?\\D:\\vodcache", "pushd \"D:\\vodcache\\zz9\\\"\r\n"},
      {"\\\\?\\UNC\\server\\share\\vodcache", "pushd \"\\\\server\\share\\vodcache\\zz9\\\"\r\n"},
  };
  for (const auto& [typed, scriptStart] : cases) {
    read(typed);
    view.selected = {0};
    state.conversion.reset();
    platform.releaseInterpreter();
    convert::StartConversion(platform, view, state);
    EXPECT_EQ(platform.bytesOf("C:\\tools\\Fok.BAT").rfind(scriptStart, 0), 0u) << typed;
  }
}

TEST_F(CacheListingTest, AFolderThatCannotBeReadIsReportedAndLeavesListAndTableInStep) {
  platform.failListingAfter["D:\\vodcache"] = 2;
  read("D:\\vodcache");
  EXPECT_EQ(view.list.size(), state.CacheFolderNames.size());
  platform.unreadable.insert("D:\\vodcache");
  read("D:\\vodcache");
  EXPECT_TRUE(view.list.empty() && state.CacheFolderNames.empty()) << "nothing of the cut-off listing is left";
  ASSERT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(platform.messages[1], std::string(convert::kFolderUnreadable) + "access denied");
}

// A list that takes no more entries ends the fill there, the table in step with it.
// A name that UTF-8 cannot hold is listed, but its folder is not converted under another name.
TEST_F(CacheListingTest, AFullListEndsTheFillAndAnUnholdableNameIsListedButNotConverted) {
  view.listCapacity = 2;
  read("D:\\vodcache");
  EXPECT_EQ(view.list.size(), 2u);
  EXPECT_EQ(state.CacheFolderNames.size(), 2u);
  EXPECT_EQ(platform.messages,
            std::vector<std::string>{convert::kListFullBefore + std::string("2") + convert::kListFullAfter});
  view.listCapacity = SIZE_MAX;
  platform.messages.clear();
  const std::string altered =
      "D:\\vodcache\\a\xEF\xBF\xBD"
      "b";
  platform.addFile(altered + "\\1.tdl");
  platform.alteredNames.insert(altered);
  read("D:\\vodcache");
  ASSERT_EQ(view.list.size(), 4u);
  view.selected = {3};
  convert::StartConversion(platform, view, state);
  EXPECT_EQ(platform.messages, std::vector<std::string>{convert::kFolderNameUnreadable + altered});
  EXPECT_FALSE(platform.has("C:\\tools\\Fok.BAT"));
}

TEST_F(CacheListingTest, ClicksDuringAWalkCannotPutListAndTableOutOfStep) {
  fakes::FakeRemuxFiles remuxFiles(platform);
  fakes::FakeRemuxEngine remuxEngine;
  app::MainForm form(view, platform, remuxFiles, remuxEngine);
  view.texts[app::Control::Text1] = "D:\\vodcache";
  view.selected = {0};
  int clicks = 0;
  platform.onYield = [&] {
    if (clicks++ == 0) {
      form.onClick(app::Control::Command2);
      form.onClick(app::Control::Command1);
    }
  };
  form.onClick(app::Control::Command2);
  EXPECT_EQ(view.list, (std::vector<std::string>{"T30", "T10", "T20"}));
  EXPECT_TRUE(platform.runs.empty()) << "a conversion started in the middle of a walk";
}

}  // namespace
