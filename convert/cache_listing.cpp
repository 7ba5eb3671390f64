#include "convert/cache_listing.h"

#include <string>

#include "convert/messages.h"
#include "convert/typed_path.h"
#include "convert/walk_guard.h"
#include "platform/paths.h"

namespace convert {
namespace {

// Holds back the list's repainting while it fills, and lets it go whatever way
// the walk ends.
class ListFill {
 public:
  explicit ListFill(ListView& list) : list_(list) { list_.beginListFill(); }
  ~ListFill() { list_.endListFill(); }
  ListFill(const ListFill&) = delete;
  ListFill& operator=(const ListFill&) = delete;

 private:
  ListView& list_;
};

}  // namespace

void ReadCacheFolder(platform::Platform& platform, ListView& list, CacheState& state, const std::string& typedPath) {
  const std::string path = CleanTypedPath(typedPath);
  // A \\?\ path is judged by the plain path it stands for; its '?' is no wildcard.
  const std::string plain = platform::PlainFormOf(path).value_or(path);
  // The cache folder is hidden, so the check asks what the path is rather than
  // matching attributes; plain files and wildcard patterns never reach the walk.
  // It asks about the very text the walk opens, so that no trimming of Win32's can
  // pass the one and fail the other.
  if (!platform::IsAbsolutePath(plain) || platform::HasWildcard(plain) ||
      platform.kindOf(platform::WithTrailingBackslash(path)) != platform::PathKind::Folder) {
    platform.message(kFolderMissing);
    return;
  }
  state.CachePath = path;
  ListCacheFolders(platform, list, state, state.CachePath);
}

void ListCacheFolders(platform::Platform& platform, ListView& list, CacheState& state, const std::string& path) {
  const std::string folder = platform::WithTrailingBackslash(path);
  list.clearList();
  state.CacheFolderNames.clear();

  auto opened = platform.openDirectory(folder, platform::ShortNames::Skip);
  if (!opened.ok()) {
    platform.message(kFolderUnreadable + opened.error());
    return;
  }
  platform::DirectoryReader& reader = *opened.value();
  bool listFull = false;
  {
    WalkGuard walking(state);
    ListFill filling(list);
    while (auto entry = reader.next()) {
      if (!entry->isFolder) continue;
      // Table first, then list: position i of the list always has entry i.
      const std::string shown = platform.formatCreationTime(entry->created);
      state.CacheFolderNames.push_back(
          {platform::GetBaseName(entry->name), folder + entry->name, entry->nameAltered, shown});
      if (!list.addListEntry(shown)) {
        state.CacheFolderNames.pop_back();
        listFull = true;
        break;
      }
      platform.yield();
    }
  }
  if (listFull) {
    platform.message(kListFullBefore + std::to_string(state.CacheFolderNames.size()) + kListFullAfter);
  } else if (!reader.error().empty()) {
    platform.message(kFolderUnreadable + reader.error());
  }
}

}  // namespace convert
