#include "tests/fakes/fake_platform.h"

#include <algorithm>
#include <utility>

#include "platform/paths.h"

namespace fakes {
namespace {

using platform::Outcome;
using platform::Status;

std::string parentOf(const std::string& key) {
  const auto separator = key.find_last_of('\\');
  if (separator == std::string::npos || separator + 1 == key.size()) return {};
  std::string parent = key.substr(0, separator);
  return parent.size() == 2 && parent[1] == ':' ? parent + "\\" : parent;
}

std::string nameOf(const std::string& key) { return key.substr(key.find_last_of('\\') + 1); }

// The character neither code page holds.
constexpr const char* kMissing = "Ÿ";

// Characters the two code pages spell in bytes of their own; every other character
// passes as its UTF-8, so tests can read it. 频 is spelled as in code page 936, é where
// 1252 (ANSI) and 850 (OEM) put it, so a text written in the wrong one of the two shows.
struct Spelling {
  const char* character;
  const char* ansi;
  const char* oem;
};
constexpr Spelling kSpellings[] = {{"频", "\xC6\xB5", "\xC6\xB5"}, {"é", "\xE9", "\x82"}};

std::string spellingIn(const Spelling& spelling, platform::CodePage page) {
  return page == platform::CodePage::Ansi ? spelling.ansi : spelling.oem;
}

std::size_t utf8SequenceLength(const std::string& bytes, std::size_t at) {
  const auto lead = static_cast<unsigned char>(bytes[at]);
  const std::size_t length = lead < 0xC2 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (at + length > bytes.size()) return 1;
  for (std::size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(bytes[at + k]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

class FakeLock final : public platform::ScriptLock {
 public:
  FakeLock(std::set<std::string>& locked, std::string folder) : locked_(locked), folder_(std::move(folder)) {
    locked_.insert(folder_);
  }
  ~FakeLock() override { locked_.erase(folder_); }

 private:
  std::set<std::string>& locked_;
  std::string folder_;
};

// Lists what the folder held when it was opened; no entry has an 8.3 name of its own.
class FakeReader final : public platform::DirectoryReader {
 public:
  FakeReader(std::vector<platform::DirectoryEntry> entries, int failAfter)
      : entries_(std::move(entries)), failAfter_(failAfter) {}

  std::optional<platform::DirectoryEntry> next() override {
    if (static_cast<int>(position_) == failAfter_) {
      error_ = "folder went away";
      return std::nullopt;
    }
    if (position_ == entries_.size()) return std::nullopt;
    return entries_[position_++];
  }
  std::string error() const override { return error_; }

 private:
  std::vector<platform::DirectoryEntry> entries_;
  int failAfter_;
  std::size_t position_ = 0;
  std::string error_;
};

}  // namespace

FakePlatform::FakePlatform() { addFile(systemFolderPath + "\\cmd.exe"); }

std::string FakePlatform::key(const std::string& path) const {
  // As in Win32, a \\?\ path names what its plain form names.
  std::string k = platform::PlainFormOf(path).value_or(path);
  while (k.size() > 3 && k.back() == '\\') k.pop_back();
  return k;
}

void FakePlatform::addFolder(const std::string& path, std::int64_t created) {
  const std::string k = key(path);
  const std::string parent = parentOf(k);
  if (!parent.empty() && !nodes_.count(parent)) addFolder(parent);
  if (!nodes_.count(k)) order_.push_back(k);
  nodes_[k] = Node{true, {}, created};
}

void FakePlatform::addFile(const std::string& path, const std::string& bytes) {
  const std::string k = key(path);
  const std::string parent = parentOf(k);
  if (!parent.empty() && !nodes_.count(parent)) addFolder(parent);
  if (!nodes_.count(k)) order_.push_back(k);
  nodes_[k] = Node{false, bytes, 0, ++lastNumber_};
}

void FakePlatform::remove(const std::string& path) {
  const std::string k = key(path);
  for (auto it = nodes_.begin(); it != nodes_.end();) {
    const bool below = it->first == k || it->first.rfind(k + "\\", 0) == 0;
    it = below ? nodes_.erase(it) : std::next(it);
  }
  order_.erase(
      std::remove_if(order_.begin(), order_.end(), [this](const std::string& each) { return !nodes_.count(each); }),
      order_.end());
}

bool FakePlatform::has(const std::string& path) const { return nodes_.count(key(path)) > 0; }

std::string FakePlatform::bytesOf(const std::string& path) const {
  const auto found = nodes_.find(key(path));
  return found == nodes_.end() ? std::string() : found->second.bytes;
}

platform::PathKind FakePlatform::kindOf(const std::string& path) {
  const auto found = nodes_.find(key(path));
  if (found == nodes_.end()) return platform::PathKind::Missing;
  return found->second.folder ? platform::PathKind::Folder : platform::PathKind::File;
}

Outcome<std::unique_ptr<platform::DirectoryReader>> FakePlatform::openDirectory(const std::string& folder,
                                                                                platform::ShortNames) {
  using Result = Outcome<std::unique_ptr<platform::DirectoryReader>>;
  const std::string k = key(folder);
  if (unreadable.count(k)) return Result::failure("access denied");
  if (kindOf(k) != platform::PathKind::Folder) return Result::failure("path not found");
  std::vector<platform::DirectoryEntry> entries;
  for (const std::string& each : order_) {
    const Node& node = nodes_.at(each);
    if (parentOf(each) == k) {
      entries.push_back({nameOf(each), node.folder, node.created, node.bytes.size(), "", alteredNames.count(each) > 0});
    }
  }
  const auto failing = failListingAfter.find(k);
  const int failAfter = failing == failListingAfter.end() ? -1 : failing->second;
  return Result::success(std::make_unique<FakeReader>(std::move(entries), failAfter));
}

Outcome<std::string> FakePlatform::readFile(const std::string& path) {
  const auto found = nodes_.find(key(path));
  if (found == nodes_.end() || found->second.folder) return Outcome<std::string>::failure("file not found");
  return Outcome<std::string>::success(found->second.bytes);
}

std::optional<std::uint64_t> FakePlatform::fileSize(const std::string& path) {
  if (kindOf(path) != platform::PathKind::File) return std::nullopt;
  return bytesOf(path).size();
}

std::optional<platform::FileStamp> FakePlatform::fileStamp(const std::string& path) {
  const auto found = nodes_.find(key(path));
  if (found == nodes_.end() || found->second.folder) return std::nullopt;
  return platform::FileStamp{1, found->second.number, static_cast<std::int64_t>(found->second.number)};
}

Status FakePlatform::deleteFile(const std::string& path) {
  if (failWrites) return Status::failure("access denied", true);
  if (kindOf(path) != platform::PathKind::File) return Status::failure("file not found");
  if (!lockedFolders.count(parentOf(key(path)))) deletedUnlocked.push_back(path);
  remove(path);
  return Status::success();
}

Status FakePlatform::writeFile(const std::string& path, const std::string& bytes) {
  if (failWrites) return Status::failure("access denied", true);
  if (diskFull) {
    addFile(path, bytes.substr(0, bytes.size() / 2));
    return Status::failure("disk full");
  }
  addFile(path, bytes);
  return Status::success();
}

Status FakePlatform::replaceFile(const std::string& path, const std::string& bytes) {
  // The new text goes to a file of its own first: a failure leaves the old file whole.
  if (diskFull) return Status::failure("disk full");
  if (failWrites) return Status::failure("access denied", true);
  addFile(path, bytes);
  return Status::success();
}

std::optional<std::string> FakePlatform::encode(const std::string& utf8, platform::CodePage page) {
  if (utf8.find(kMissing) != std::string::npos) return std::nullopt;
  std::string bytes;
  for (std::size_t at = 0; at < utf8.size();) {
    const std::size_t length = utf8SequenceLength(utf8, at);
    const std::string character = utf8.substr(at, length);
    at += length;
    const auto spelled = std::find_if(std::begin(kSpellings), std::end(kSpellings),
                                      [&](const Spelling& spelling) { return character == spelling.character; });
    bytes += spelled == std::end(kSpellings) ? character : spellingIn(*spelled, page);
  }
  return bytes;
}

std::string FakePlatform::decode(const std::string& bytes, platform::CodePage page) {
  // Whole UTF-8 characters pass; a byte that starts none may be a one-byte spelling.
  std::string text;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t length = utf8SequenceLength(bytes, at);
    std::string character = bytes.substr(at, length);
    for (const Spelling& spelling : kSpellings) {
      if (length == 1 && character == spellingIn(spelling, page)) character = spelling.character;
    }
    text += character;
    at += length;
  }
  return text;
}

std::string FakePlatform::longPath(const std::string& path) {
  const auto found = longNames.find(key(path));
  return found == longNames.end() ? path : found->second;
}

std::optional<std::string> FakePlatform::shortPath(const std::string& path) {
  const auto found = shortNames.find(key(path));
  if (found == shortNames.end()) return std::nullopt;
  return found->second;
}

Status FakePlatform::run(const platform::RunRequest& request) {
  if (failRuns) return Status::failure("cannot start");
  runs.push_back(request);
  return Status::success();
}

std::unique_ptr<platform::ScriptLock> FakePlatform::lockScriptFolder(const std::string& folder) {
  if (lockedFolders.count(key(folder))) return nullptr;
  return std::make_unique<FakeLock>(lockedFolders, key(folder));
}

Status FakePlatform::runInterpreter(const platform::RunRequest& request, std::unique_ptr<platform::ScriptLock> lock) {
  Status started = run(request);
  if (started.ok()) interpreterLock = std::move(lock);
  return started;
}

void FakePlatform::yield() {
  if (onYield) {
    // A handler run from here may yield again; it must not re-enter this one.
    auto handler = std::move(onYield);
    handler();
    if (!onYield) onYield = std::move(handler);
  }
}

}  // namespace fakes
