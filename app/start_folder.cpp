#include "app/start_folder.h"

#include "platform/paths.h"

namespace app {
namespace {

std::string comparable(const std::string& path) {
  std::string plain = platform::PlainFormOf(path).value_or(path);
  while (!plain.empty() && plain.back() == '\\') plain.pop_back();
  return plain;
}

}  // namespace

bool IsWithinFolder(const std::string& folder, const std::string& container) {
  const std::string inner = comparable(folder);
  const std::string outer = comparable(container);
  const bool driveRoot = outer.size() <= 2 && platform::HasDriveLetter(outer);
  if (outer.empty() || driveRoot || inner.size() < outer.size()) return false;
  // Temp2 is no folder inside Temp: the match must end where a name ends.
  if (!platform::EqualsIgnoringAsciiCase(inner.substr(0, outer.size()), outer)) return false;
  return inner.size() == outer.size() || inner[outer.size()] == '\\';
}

bool MayRunHere(platform::Platform& platform) {
  const std::string temporary = platform.temporaryFolder();
  // An archiver may start the exe by an 8.3 path while the temporary folder is named in full, or the other way round.
  if (temporary.empty() || !IsWithinFolder(platform.longPath(platform.AppFolder()), platform.longPath(temporary))) {
    return true;
  }
  platform.message(kRunningFromTemporaryFolder);
  return false;
}

}  // namespace app
