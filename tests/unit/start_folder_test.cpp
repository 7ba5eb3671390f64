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
  const struct {
    const char* appFolder;
    const char* temporary;
    bool mayRun;
  } cases[] = {
      {"C:\\Users\\ADMINI~1\\AppData\\Local\\Temp\\7zO1A2B", "C:\\Users\\Administrator\\AppData\\Local\\Temp\\", false},
      {"C:\\Users\\Administrator\\AppData\\Local\\Temp\\7zO1A2B", "C:\\Users\\ADMINI~1\\AppData\\Local\\Temp\\", false},
      {"C:\\Users\\Administrator\\Desktop\\tdl2mp4", "C:\\Users\\ADMINI~1\\AppData\\Local\\Temp\\", true},
  };
  for (const auto& each : cases) {
    fakes::FakePlatform platform;
    platform.longNames = {
        {"C:\\Users\\ADMINI~1\\AppData\\Local\\Temp", "C:\\Users\\Administrator\\AppData\\Local\\Temp"},
        {"C:\\Users\\ADMINI~1\\AppData\\Local\\Temp\\7zO1A2B",
         "C:\\Users\\Administrator\\AppData\\Local\\Temp\\7zO1A2B"}};
    platform.appFolder = each.appFolder;
    platform.temporaryFolderPath = each.temporary;
    EXPECT_EQ(app::MayRunHere(platform), each.mayRun) << each.appFolder;
    const std::vector<std::string> said =
        each.mayRun ? std::vector<std::string>{} : std::vector<std::string>{app::kRunningFromTemporaryFolder};
    EXPECT_EQ(platform.messages, said) << each.appFolder;
  }
}

}  // namespace
