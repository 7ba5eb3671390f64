#include "app/settings_file.h"

#include "tests/fakes/fake_platform.h"
#include <gtest/gtest.h>

namespace {

using fakes::FakePlatform;

constexpr const char* kSettings = "C:\\tools\\shezhi.txt";

class SettingsFileTest : public ::testing::Test {
 protected:
  std::optional<std::string> parse(const std::string& bytes) { return app::ParseSettings(bytes, platform); }
  std::optional<std::string> roundTrip(const std::string& text) {
    app::SaveCachePath(platform, text);
    return app::LoadSavedPath(platform);
  }
  FakePlatform platform;
};

TEST_F(SettingsFileTest, WhatIsSavedComesBackWhole) {
  for (const std::string text : {"D:\\vodcache", "D:\\a,b", "  D:\\lead and trail  ", "D:\\\"q\"\\x",
                                 "D:\\腾讯视频\\缓存", "D:\\Ÿ€😀", "#TRUE#", "12,5", ""}) {
    EXPECT_EQ(roundTrip(text), text);
  }
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(SettingsFileTest, WritesOneLineInTheCodePageOrUtf8WhenItCannotHoldTheText) {
  app::SaveCachePath(platform, "D:\\a,b");
  EXPECT_EQ(platform.bytesOf(kSettings), "D:\\a,b\r\n");
  app::SaveCachePath(platform, "");
  EXPECT_EQ(platform.bytesOf(kSettings), "\r\n");
  app::SaveCachePath(platform, "D:\\Ÿ");
  EXPECT_EQ(platform.bytesOf(kSettings),
            "\xEF\xBB\xBF"
            "D:\\Ÿ\r\n");
}

TEST_F(SettingsFileTest, ReadsWhatPeopleWriteByHand) {
  EXPECT_EQ(parse(""), std::nullopt) << "an empty file leaves the box as it is";
  EXPECT_EQ(parse("\r\n"), "");
  EXPECT_EQ(parse("D:\\x\r\n\r\n\r\n"), "D:\\x");
  EXPECT_EQ(parse("D:\\x\r\n   \r\n"), "D:\\x");
  EXPECT_EQ(parse("D:\\x"), "D:\\x");
  EXPECT_EQ(parse("D:\\x\n"), "D:\\x");
  EXPECT_EQ(parse("\"D:\\q, r\"\r\n"), "D:\\q, r");
  EXPECT_EQ(parse("D:\\old\r\nD:\\new\r\n"), "D:\\new") << "the last line that says something wins";
  EXPECT_EQ(parse("\xEF\xBB\xBF"), std::nullopt);
}

TEST_F(SettingsFileTest, AMissingOrUnreadableFileGivesNothingAndIsLeftAlone) {
  EXPECT_EQ(app::LoadSavedPath(platform), std::nullopt);
  platform.addFile(kSettings, "D:\\x\r\n");
  platform.unreadable.insert(kSettings);
  EXPECT_EQ(app::LoadSavedPath(platform), std::nullopt);
  EXPECT_EQ(platform.bytesOf(kSettings), "D:\\x\r\n");
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(SettingsFileTest, AFailedSaveSaysSoAndKeepsTheOldPath) {
  app::SaveCachePath(platform, "D:\\old");
  platform.failWrites = true;
  app::SaveCachePath(platform, "D:\\new");
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].rfind(app::kPathNotSaved, 0), 0u);
  EXPECT_EQ(app::LoadSavedPath(platform), "D:\\old");
}

}  // namespace
