// The guide ships beside the exe and is read in Notepad on Windows 7 to 11, by
// people who meet the program's messages and want to know what to do.
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "app/form_layout.h"
#include "platform/utf8.h"
#include <gtest/gtest.h>

namespace {

const std::string kSourceDir = TDL2MP4_SOURCE_DIR;
const std::string kGuidePath = kSourceDir + "/docs/使用说明.txt";

// Notepad opens with word wrap off, and on a laptop's screen its window shows
// little more than this: a wider line has to be scrolled sideways.
constexpr std::size_t kWidestLine = 78;

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Columns in a Chinese Notepad: from the general punctuation block on (quotes,
// ellipsis, arrows, CJK) a character takes two, and in UTF-8 those are the ones
// whose lead byte is 0xE2 or above.
std::size_t columns(const std::string& utf8) {
  std::size_t width = 0;
  for (char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80 || (byte >= 0xC0 && byte < 0xE2)) width += 1;
    if (byte >= 0xE2) width += 2;
  }
  return width;
}

// The string constants of a header: the words the program shows, or the names it uses. A constant may be
// written as several literals in a row, and \\ stands for one backslash.
std::vector<std::string> stringConstants(const std::string& header) {
  const std::string source = readFile(kSourceDir + "/" + header);
  const std::regex constant(R"re(constexpr const char\* k\w+ =\s*((?:"(?:[^"\\]|\\.)*"\s*)+);)re");
  const std::regex piece(R"re("((?:[^"\\]|\\.)*)")re");
  std::vector<std::string> found;
  for (auto it = std::sregex_iterator(source.begin(), source.end(), constant); it != std::sregex_iterator(); ++it) {
    const std::string literals = (*it)[1];
    std::string text;
    for (auto p = std::sregex_iterator(literals.begin(), literals.end(), piece); p != std::sregex_iterator(); ++p) {
      text += std::regex_replace((*p)[1].str(), std::regex(R"(\\\\)"), "\\");
    }
    found.push_back(text);
  }
  return found;
}

class UserGuideTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(guide.empty()) << "cannot read " << kGuidePath; }
  // A message too long for one line runs on over the next ones, indented.
  bool quotes(const std::string& message) const {
    return std::regex_replace(guide, std::regex("\r\n *"), "").find(message) != std::string::npos;
  }
  const std::string guide = readFile(kGuidePath);
};

// Titled with the name and version the exe's properties and the zip show.
TEST_F(UserGuideTest, OpensCorrectlyInEveryNotepadUnderTheProductsTitle) {
  // Without the byte order mark, Notepad before Windows 10 reads UTF-8 as the ANSI code page;
  // before Windows 10 1809 it shows bare LF line ends as one long line.
  ASSERT_EQ(guide.rfind("\xEF\xBB\xBF", 0), 0u) << "no UTF-8 byte order mark";
  const std::string text = guide.substr(3);
  ASSERT_TRUE(platform::isStrictUtf8(text)) << "not well-formed UTF-8";
  EXPECT_EQ(text.rfind(std::string(TDL2MP4_PRODUCT_NAME) + " V" + TDL2MP4_DISPLAY_VERSION + " 使用说明\r\n", 0), 0u);

  std::size_t lineNumber = 0;
  for (std::size_t start = 0, end; start < text.size(); start = end + 2) {
    end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos) << "line " << lineNumber + 1 << " does not end in CRLF";
    const std::string line = text.substr(start, end - start);
    ++lineNumber;
    EXPECT_EQ(line.find_first_of("\r\n\t"), std::string::npos) << "bare CR, LF or tab in line " << lineNumber;
    EXPECT_LE(columns(line), kWidestLine) << "line " << lineNumber << " is too wide: " << line;
  }
}

TEST_F(UserGuideTest, ExplainsEveryMessageAndNamesTheButtonsAsTheWindowShowsThem) {
  std::vector<std::string> messages = stringConstants("convert/messages.h");
  ASSERT_GE(messages.size(), 10u) << "the message constants were not found";
  for (const char* header : {"app/settings_file.h", "app/start_folder.h"}) {
    for (const std::string& text : stringConstants(header)) messages.push_back(text);
  }
  for (const std::string& message : messages) EXPECT_TRUE(quotes(message)) << "not in the guide: " << message;
  for (const app::ControlLayout& control : app::kFormLayout) {
    const bool named = control.kind == app::ControlKind::Button || control.control == app::Control::Label1;
    if (named) {
      EXPECT_NE(guide.find(control.loadCaption), std::string::npos) << "not in the guide: " << control.loadCaption;
    }
  }
}

// The contents are how readers find the part they need, and the change log how they
// learn what their version does: both go stale when sections move or the version rises.
TEST_F(UserGuideTest, ListsItsSectionsInOrderAndDatesItsChangesFromTheVersionItDescribes) {
  const std::string contentsTitle = "\r\n目录\r\n";
  const std::size_t contentsStart = guide.find(contentsTitle);
  ASSERT_NE(contentsStart, std::string::npos) << "no contents";
  const std::string afterContents = guide.substr(contentsStart + contentsTitle.size());
  std::vector<std::string> listed;
  const std::regex listedLine(R"(  (\S[^\r]*)\r\n)");
  auto at = afterContents.cbegin();
  for (std::smatch line;
       std::regex_search(at, afterContents.cend(), line, listedLine, std::regex_constants::match_continuous);
       at = line[0].second) {
    listed.push_back(line[1]);
  }
  std::vector<std::string> headings;
  const std::regex heading(R"(\r\n([^\r\n]+)\r\n-{4,}\r\n)");
  for (auto it = std::sregex_iterator(afterContents.begin(), afterContents.end(), heading);
       it != std::sregex_iterator(); ++it) {
    headings.push_back((*it)[1]);
  }
  EXPECT_GE(listed.size(), 5u);
  EXPECT_EQ(listed, headings);

  const std::string version = std::string("V") + TDL2MP4_DISPLAY_VERSION;
  std::smatch newest;
  ASSERT_TRUE(std::regex_search(guide, newest, std::regex(R"(更新记录：\r\n *(V[0-9.]+))"))) << "no change log";
  EXPECT_EQ(newest[1], version) << "the change log does not start with this version";
  EXPECT_NE(guide.find("版本：" + version + "\r\n"), std::string::npos) << "the about section names another version";
}

}  // namespace
