#include "app/settings_file.h"

#include "convert/messages.h"
#include "tests/fakes/fake_platform.h"
#include <gtest/gtest.h>

namespace {

constexpr const char* kSettings = "C:\\tools\\shezhi.txt";
const std::string kMark = "\xEF\xBB\xBF";

class SettingsFileTest : public ::testing::Test {
 protected:
  std::optional<std::string> parse(const std::string& bytes) { return app::ParseSettings(bytes, platform); }
  fakes::FakePlatform platform;
};

TEST_F(SettingsFileTest, WritesOneLineInTheCodePageOrUtf8WhenItCannotHoldTheText) {
  app::SaveCachePath(platform, "D:\\café");
  EXPECT_EQ(platform.bytesOf(kSettings), "D:\\caf\xE9\r\n") << "in the ANSI code page, not the OEM one";
  app::SaveCachePath(platform, "D:\\Ÿ");
  EXPECT_EQ(platform.bytesOf(kSettings), kMark + "D:\\Ÿ\r\n");
  app::SaveCachePath(platform, "D:\\频");
  EXPECT_EQ(platform.bytesOf(kSettings), kMark + "D:\\频\r\n")
      << "its ANSI bytes would read back as UTF-8 for another character";
}

std::string utf16(const std::u16string& text, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

// Windows takes text for UTF-8 only where it is strictly so, which code page 936 text can be by chance.
TEST(DetectSettingsEncoding, TakesOnlyStrictUtf8ForUtf8) {
  EXPECT_EQ(app::DetectSettingsEncoding("D:\\\xC6\xB5\r\n"), app::SettingsEncoding::Utf8);
  EXPECT_EQ(app::DetectSettingsEncoding("D:\\\xE0\x9F\xBF"), app::SettingsEncoding::Ansi) << "overlong";
}

// Unpaired surrogates and an odd last byte read as U+FFFD, so the text stays valid UTF-8.
TEST_F(SettingsFileTest, ReadsWhatEditorsAndPeopleWrite) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {utf16(u"D:\\视频缓存\r\n", false), "D:\\视频缓存"},
      {utf16(u"D:\xD83Dx😀\xDE00", true) + "A", "D:\uFFFDx😀\uFFFD\uFFFD"},
      {kMark + "D:\\频\r\n", "D:\\频"},
      {"D:\\caf\xE9\r\n", "D:\\café"},
      {"", std::nullopt},  // leaves the box as it is
      {"\r\n", ""},
      {"\"D:\\q, r\"\r\n", "D:\\q, r"},
      {"D:\\old\r\nD:\\new\r\n  \r\n", "D:\\new"},  // the last line that says something wins
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(parse(bytes), text) << bytes;
}

// Only a folder that refuses the write is the program's place to blame. A folder
// under the name the new copy is written to is not the program's to write into.
TEST_F(SettingsFileTest, AFailedSaveSaysSoKeepsTheOldPathAndAdvisesAMoveWhenRefused) {
  app::SaveCachePath(platform, "D:\\old");
  platform.diskFull = true;
  app::SaveCachePath(platform, "D:\\a much longer new path");
  platform.diskFull = false;
  platform.failWrites = true;
  app::SaveCachePath(platform, "D:\\new");
  platform.failWrites = false;
  platform.addFolder("C:\\tools\\shezhi.txt.new");
  app::SaveCachePath(platform, "D:\\newer");
  ASSERT_EQ(platform.messages.size(), 3u);
  EXPECT_EQ(platform.messages[0], std::string(app::kPathNotSaved) + "disk full");
  EXPECT_EQ(platform.messages[1], std::string(app::kPathNotSaved) + "access denied\n" + convert::kMoveToWritableFolder);
  EXPECT_EQ(platform.messages[2], std::string(convert::kOwnNameTaken) + "C:\\tools\\shezhi.txt.new");
  EXPECT_EQ(app::LoadSavedPath(platform), "D:\\old");
}

}  // namespace
