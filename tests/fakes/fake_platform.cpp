#include "tests/fakes/fake_platform.h"

#include <algorithm>
#include <utility>

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

bool representable(char32_t c) {
  return c < 0x80 || (c >= 0x3000 && c <= 0x303F) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xFF00 && c <= 0xFFEF) ||
         c == 0x201C || c == 0x201D;
}

const std::pair<std::string, std::string> kAnsiSpellings[] = {{"视", "\xCA\xD3"}, {"频", "\xC6\xB5"}};

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::vector<char32_t> codePoints(const std::string& utf8) {
  std::vector<char32_t> points;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    char32_t point = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (int k = 1; k < length && i + k < utf8.size(); ++k) point = (point << 6) | (utf8[i + k] & 0x3F);
    points.push_back(point);
    i += static_cast<std::size_t>(length);
  }
  return points;
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

class FakeReader final : public platform::DirectoryReader {
 public:
  FakeReader(FakePlatform& owner, std::vector<std::string> keys, int failAfter, bool reportShortNames)
      : owner_(owner), keys_(std::move(keys)), failAfter_(failAfter), reportShortNames_(reportShortNames) {}

  std::optional<platform::DirectoryEntry> next() override {
    while (position_ < keys_.size()) {
      if (failAfter_ >= 0 && static_cast<int>(position_) >= failAfter_) {
        error_ = "folder went away";
        return std::nullopt;
      }
      const std::string& entryKey = keys_[position_++];
      // An entry removed since the listing began is not reported.
      if (!owner_.has(entryKey)) continue;
      const bool folder = owner_.kindOf(entryKey) == platform::PathKind::Folder;
      const auto shortForm = owner_.shortNames.find(entryKey);
      const bool hasShort = reportShortNames_ && shortForm != owner_.shortNames.end();
      return platform::DirectoryEntry{nameOf(entryKey), folder, owner_.createdOf(entryKey),
                                      owner_.bytesOf(entryKey).size(), hasShort ? nameOf(shortForm->second) : ""};
    }
    return std::nullopt;
  }
  std::string error() const override { return error_; }

 private:
  FakePlatform& owner_;
  std::vector<std::string> keys_;
  int failAfter_;
  bool reportShortNames_;
  std::size_t position_ = 0;
  std::string error_;
};

}  // namespace

FakePlatform::FakePlatform() { addFolder("C:\\"); }

std::string FakePlatform::key(const std::string& path) const {
  // As in Win32, \\?\ and \\.\ paths name what their plain forms name.
  std::string k = path;
  if (k.size() >= 4 && k[0] == '\\' && k[1] == '\\' && (k[2] == '?' || k[2] == '.') && k[3] == '\\') {
    k.erase(0, 4);
    if (k.rfind("UNC\\", 0) == 0) k.replace(0, 4, "\\\\");
  }
  while (k.size() > 3 && k.back() == '\\') k.pop_back();
  return k;
}

void FakePlatform::addFolder(const std::string& path, std::int64_t created, bool hidden) {
  const std::string k = key(path);
  const std::string parent = parentOf(k);
  if (!parent.empty() && !nodes_.count(parent)) addFolder(parent);
  if (!nodes_.count(k)) order_.push_back(k);
  nodes_[k] = Node{true, hidden, {}, created};
}

void FakePlatform::addFile(const std::string& path, const std::string& bytes, bool hidden) {
  const std::string k = key(path);
  const std::string parent = parentOf(k);
  if (!parent.empty() && !nodes_.count(parent)) addFolder(parent);
  if (!nodes_.count(k)) order_.push_back(k);
  nodes_[k] = Node{false, hidden, bytes, 0};
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

std::int64_t FakePlatform::createdOf(const std::string& path) const {
  const auto found = nodes_.find(key(path));
  return found == nodes_.end() ? 0 : found->second.created;
}

std::string FakePlatform::bytesOf(const std::string& path) const {
  const auto found = nodes_.find(key(path));
  return found == nodes_.end() ? std::string() : found->second.bytes;
}

std::vector<std::string> FakePlatform::childrenOf(const std::string& folderKey) const {
  std::vector<std::string> children;
  for (const std::string& each : order_) {
    if (each != folderKey && parentOf(each) == folderKey) children.push_back(each);
  }
  return children;
}

std::string FakePlatform::exists(const std::string& path, unsigned mask) {
  const bool inside = !path.empty() && path.back() == '\\';
  const std::vector<std::string> candidates = inside ? childrenOf(key(path)) : std::vector<std::string>{key(path)};
  for (const std::string& candidate : candidates) {
    const auto found = nodes_.find(candidate);
    if (found == nodes_.end() || found->second.hidden) continue;
    if (!found->second.folder || (mask & platform::kMatchFolders)) return nameOf(candidate);
  }
  return {};
}

platform::PathKind FakePlatform::kindOf(const std::string& path) {
  const auto found = nodes_.find(key(path));
  if (found == nodes_.end()) return platform::PathKind::Missing;
  return found->second.folder ? platform::PathKind::Folder : platform::PathKind::File;
}

Outcome<std::unique_ptr<platform::DirectoryReader>> FakePlatform::openDirectory(const std::string& folder,
                                                                                platform::ShortNames reportShortNames) {
  using Result = Outcome<std::unique_ptr<platform::DirectoryReader>>;
  const std::string k = key(folder);
  if (unreadable.count(k)) return Result::failure("access denied");
  if (kindOf(k) != platform::PathKind::Folder) return Result::failure("path not found");
  const auto failing = failListingAfter.find(k);
  const int failAfter = failing == failListingAfter.end() ? -1 : failing->second;
  return Result::success(
      std::make_unique<FakeReader>(*this, childrenOf(k), failAfter, reportShortNames == platform::ShortNames::Report));
}

Outcome<std::string> FakePlatform::readFile(const std::string& path) {
  const auto found = nodes_.find(key(path));
  if (unreadable.count(key(path))) return Outcome<std::string>::failure("access denied");
  if (found == nodes_.end() || found->second.folder) return Outcome<std::string>::failure("file not found");
  return Outcome<std::string>::success(found->second.bytes);
}

std::optional<std::uint64_t> FakePlatform::fileSize(const std::string& path) {
  if (kindOf(path) != platform::PathKind::File) return std::nullopt;
  return bytesOf(path).size();
}

Status FakePlatform::deleteFile(const std::string& path) {
  if (undeletable.count(key(path))) return Status::failure("in use");
  if (kindOf(path) != platform::PathKind::File) return Status::failure("file not found");
  remove(path);
  return Status::success();
}

Status FakePlatform::writeFile(const std::string& path, const std::string& bytes) {
  if (failWrites) return Status::failure("access denied");
  addFile(path, bytes);
  return Status::success();
}

Status FakePlatform::replaceFile(const std::string& path, const std::string& bytes) { return writeFile(path, bytes); }

std::optional<std::string> FakePlatform::encode(const std::string& utf8, platform::CodePage page) {
  for (char32_t c : codePoints(utf8)) {
    if (!representable(c)) return std::nullopt;
  }
  if (page != platform::CodePage::Ansi) return utf8;
  std::string bytes = utf8;
  for (const auto& [character, spelling] : kAnsiSpellings) bytes = replaceAll(bytes, character, spelling);
  return bytes;
}

std::string FakePlatform::decode(const std::string& bytes, platform::CodePage page) {
  if (page != platform::CodePage::Ansi) return bytes;
  std::string text = bytes;
  for (const auto& [character, spelling] : kAnsiSpellings) text = replaceAll(text, spelling, character);
  return text;
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
  ++yields;
  if (onYield) {
    // A handler run from here may yield again; it must not re-enter this one.
    auto handler = std::move(onYield);
    handler();
    if (!onYield) onYield = std::move(handler);
  }
}

}  // namespace fakes
