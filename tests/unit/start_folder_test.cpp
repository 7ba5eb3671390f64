#include "app/start_folder.h"

#include "tests/fakes/fake_platform.h"
#include <gtest/gtest.h>

namespace {

constexpr const char* kTemp = "C:\\Users\\me\\AppData\\Local\\Temp\\";

TEST(IsWithinFolder, TheFolderItselfAndWhatLiesBelowItWhateverTheSpelling) {
  const struct {
    const char* folder;
    const char* container;
    bool within;
  } cases[] = {
      {"c:\\users\\ME\\appdata\\local\\TEMP\\7zO1A2B", kTemp, true},
      {"\\\\?\\C:\\Users\\me\\AppData\\Local\\Temp\\Rar$EXa1.2", kTemp, true},
      {"C:\\Users\\me\\AppData\\Local\\Temp2\\x", kTemp, false},
      {"C:\\tdl2mp4", "C:\\", false},
  };
  for (const auto& each : cases) {
    EXPECT_EQ(app::IsWithinFolder(each.folder, each.container), each.within) << each.folder << " in " << each.container;
  }
}

// Archivers may name either folder in its 8.3 form; the platform gives the long ones.
TEST(MayRunHere, RefusesTheTemporaryFolderInEitherFormAndSaysWhy) {
  const std::string shortTemp = "C:\\Users\\ADMINI~1\\AppData\\Local\\Temp";
  const std::string longTemp = "C:\\Users\\Administrator\\AppData\\Local\\Temp";
  const std::pair<std::string, std::string> cases[] = {{shortTemp + "\\7zO1A2B", longTemp},
                                                       {longTemp + "\\7zO1A2B", shortTemp}};
  for (const auto& [appFolder, temporary] : cases) {
    fakes::FakePlatform platform;
    platform.longNames = {{shortTemp, longTemp}, {shortTemp + "\\7zO1A2B", longTemp + "\\7zO1A2B"}};
    platform.appFolder = appFolder;
    platform.temporaryFolderPath = temporary + "\\";
    EXPECT_FALSE(app::MayRunHere(platform)) << appFolder;
    EXPECT_EQ(platform.messages, std::vector<std::string>{app::kRunningFromTemporaryFolder});
  }
}

}  // namespace
