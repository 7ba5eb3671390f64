#include "app/settings_file.h"

#include "convert/messages.h"
#include "tests/fakes/fake_platform.h"
#include <gtest/gtest.h>

namespace {

using fakes::FakePlatform;

constexpr const char* kSettings = "C:\\tools\\shezhi.txt";

class SettingsFileTest : public ::testing::Test {
 protected:
  std::optional<std::string> parse(const std::string& bytes) { return app::ParseSettings(bytes, platform); }
  FakePlatform platform;
};

TEST_F(SettingsFileTest, WritesOneLineInTheCodePageOrUtf8WhenItCannotHoldTheText) {
  app::SaveCachePath(platform, "D:\\a,b");
  EXPECT_EQ(platform.bytesOf(kSettings), "D:\\a,b\r\n");
  app::SaveCachePath(platform, "D:\\café");
  EXPECT_EQ(platform.bytesOf(kSettings), "D:\\caf\xE9\r\n") << "in the ANSI code page, not the OEM one";
  app::SaveCachePath(platform, "");
  EXPECT_EQ(platform.bytesOf(kSettings), "\r\n");
  app::SaveCachePath(platform, "D:\\Ÿ");
  EXPECT_EQ(platform.bytesOf(kSettings),
            "\xEF\xBB\xBF"
            "D:\\Ÿ\r\n");
  app::SaveCachePath(platform, "D:\\视频");
  EXPECT_EQ(platform.bytesOf(kSettings), "D:\\\xCA\xD3\xC6\xB5\r\n");
  app::SaveCachePath(platform, "D:\\频");
  EXPECT_EQ(platform.bytesOf(kSettings),
            "\xEF\xBB\xBF"
            "D:\\频\r\n")
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

TEST(DetectSettingsEncoding, MarksFirstThenStrictUtf8ThenTheCodePage) {
  using app::SettingsEncoding;
  const std::pair<std::string, SettingsEncoding> cases[] = {
      {"", SettingsEncoding::Ansi},
      {"D:\\vcache\r\n", SettingsEncoding::Ansi},
      {"D:\\\xCA\xD3\xC6\xB5\r\n", SettingsEncoding::Ansi},  // 视频 in code page 936
      {"D:\\\xC6\xB5\r\n", SettingsEncoding::Utf8},          // 频 in code page 936, valid UTF-8 by chance
      {"D:\\视频缓存\\腾讯", SettingsEncoding::Utf8},
      {"D:\\\xED\x9F\xBF\xEE\x80\x80\xF4\x8F\xBF\xBF\xF0\x90\x80\x80", SettingsEncoding::Utf8},
      {"D:\\\xC0\xAF", SettingsEncoding::Ansi},          // overlong
      {"D:\\\xE0\x9F\xBF", SettingsEncoding::Ansi},      // overlong
      {"D:\\\xF0\x8F\xBF\xBF", SettingsEncoding::Ansi},  // overlong
      {"D:\\\xED\xA0\x80", SettingsEncoding::Ansi},      // surrogate
      {"D:\\\xF4\x90\x80\x80", SettingsEncoding::Ansi},  // above U+10FFFF
      {"D:\\\xE8\xA7", SettingsEncoding::Ansi},          // cut off
      {"D:\\\xE8\xA7x", SettingsEncoding::Ansi},
      {"D:\\\x86", SettingsEncoding::Ansi},
      {"\xEF\xBB\xBF"
       "D:\\\xCA\xD3",
       SettingsEncoding::Utf8WithMark},
      {utf16(u"D:\\x", false), SettingsEncoding::Utf16LittleEndian},
      {utf16(u"D:\\x", true), SettingsEncoding::Utf16BigEndian},
  };
  for (const auto& [bytes, encoding] : cases) EXPECT_EQ(app::DetectSettingsEncoding(bytes), encoding) << bytes;
}

TEST_F(SettingsFileTest, ReadsWhatEditorsWriteInEachEncoding) {
  const std::pair<std::string, std::string> cases[] = {
      {utf16(u"D:\\视频缓存\\腾讯\r\n", false), "D:\\视频缓存\\腾讯"},
      {utf16(u"D:\\视频缓存\\腾讯\r\n", true), "D:\\视频缓存\\腾讯"},
      {utf16(u"\"D:\\a,b\"\r\n\r\n", false), "D:\\a,b"},
      {utf16(u"D:\\😀", false), "D:\\😀"},
      {utf16(u"D:\xD83D", false), "D:\uFFFD"},
      {utf16(u"D:\xDE00x", false), "D:\uFFFDx"},
      {utf16(u"D:\xD83Dx\xD83D", true), "D:\uFFFDx\uFFFD"},
      {utf16(u"D:", false) + "A", "D:\uFFFD"},
      {"D:\\视频缓存\\腾讯", "D:\\视频缓存\\腾讯"},
      {"\xEF\xBB\xBF"
       "D:\\频\r\n",
       "D:\\频"},
      {"D:\\\xCA\xD3\xC6\xB5\r\n", "D:\\视频"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(parse(bytes), text);
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

// Only a folder that refuses the write is the program's place to blame.
TEST_F(SettingsFileTest, AFailedSaveSaysSoKeepsTheOldPathAndAdvisesAMoveWhenRefused) {
  app::SaveCachePath(platform, "D:\\old");
  platform.diskFull = true;
  app::SaveCachePath(platform, "D:\\a much longer new path");
  platform.diskFull = false;
  platform.failWrites = true;
  app::SaveCachePath(platform, "D:\\new");
  ASSERT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(platform.messages[0], std::string(app::kPathNotSaved) + "disk full");
  EXPECT_EQ(platform.messages[1], std::string(app::kPathNotSaved) + "access denied\n" + convert::kMoveToWritableFolder);
  EXPECT_EQ(app::LoadSavedPath(platform), "D:\\old");
}

}  // namespace
