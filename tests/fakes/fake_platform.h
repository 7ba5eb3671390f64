// An in-memory platform: a small file system whose folders list their entries in
// the order they were made, a code page that lacks some characters, and a record
// of every message and start. The system folder holds the command interpreter.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace fakes {

class FakePlatform : public platform::Platform {
 public:
  struct Node {
    bool folder = false;
    std::string bytes;
    std::int64_t created = 0;
    std::uint64_t number = 0;  // every file made anew gets a number of its own
  };

  FakePlatform();

  void addFolder(const std::string& path, std::int64_t created = 0);
  // A new file, as a copy or a rename would leave it, in place of whatever was there.
  void addFile(const std::string& path, const std::string& bytes = "");
  void remove(const std::string& path);  // the entry and everything below it
  bool has(const std::string& path) const;
  std::string bytesOf(const std::string& path) const;

  std::string AppFolder() override { return appFolder; }
  std::string windowsFolder() override { return "C:\\Windows"; }
  std::string systemFolder() override { return systemFolderPath; }
  std::string temporaryFolder() override { return temporaryFolderPath; }
  std::string longPath(const std::string& path) override;
  platform::PathKind kindOf(const std::string& path) override;
  bool isLink(const std::string& path) override { return links.count(key(path)) > 0; }
  std::optional<platform::FileStamp> fileStamp(const std::string& path) override;
  platform::Outcome<std::unique_ptr<platform::DirectoryReader>> openDirectory(const std::string& folder,
                                                                              platform::ShortNames shortNames) override;
  std::string formatCreationTime(std::int64_t created) override { return "T" + std::to_string(created); }
  platform::Outcome<std::string> readFile(const std::string& path) override;
  std::optional<std::uint64_t> fileSize(const std::string& path) override;
  platform::Status deleteFile(const std::string& path) override;
  platform::Status writeFile(const std::string& path, const std::string& bytes) override;
  platform::Status replaceFile(const std::string& path, const std::string& bytes) override;
  // Both code pages lack Ÿ and hold everything else. They spell 频 as code page 936
  // does, in bytes that are UTF-8 for another character, and é differently.
  std::optional<std::string> encode(const std::string& utf8, platform::CodePage page) override;
  std::string decode(const std::string& bytes, platform::CodePage page) override;
  std::optional<std::string> shortPath(const std::string& path) override;
  platform::Status run(const platform::RunRequest& request) override;
  std::unique_ptr<platform::ScriptLock> lockScriptFolder(const std::string& folder) override;
  platform::Status runInterpreter(const platform::RunRequest& request,
                                  std::unique_ptr<platform::ScriptLock> lock) override;
  void releaseInterpreter() override { interpreterLock.reset(); }
  void message(const std::string& text) override { messages.push_back(text); }
  bool askYesNo(const std::string& text) override {
    questions.push_back(text);
    return answerYes;
  }
  void yield() override;
  void end() override {}

  std::string appFolder = "C:\\tools";
  std::string systemFolderPath = "C:\\Windows\\System32";
  std::string temporaryFolderPath = "C:\\Users\\me\\AppData\\Local\\Temp\\";
  std::map<std::string, std::string> longNames;   // 8.3 path -> its long form
  std::map<std::string, std::string> shortNames;  // path -> its 8.3 form
  std::set<std::string> unreadable;               // folders that cannot be opened
  std::map<std::string, int> failListingAfter;    // folder -> entries listed before it fails
  bool failWrites = false;                        // the folder refuses writes and deletes, as an access denied
  bool diskFull = false;                          // writes stop halfway
  bool failRuns = false;
  std::set<std::string> links;          // paths that are links or junctions themselves
  std::set<std::string> alteredNames;   // paths whose names UTF-8 cannot hold, as listed
  std::set<std::string> lockedFolders;  // script locks taken, by this or another copy
  // The lock the interpreter was started with, held until the program lets go of it.
  std::unique_ptr<platform::ScriptLock> interpreterLock;
  std::vector<std::string> deletedUnlocked;  // files deleted while their folder's lock was free

  std::vector<std::string> messages;
  std::vector<std::string> questions;
  bool answerYes = true;
  std::vector<platform::RunRequest> runs;
  // Runs inside every yield, as a click handled in the middle of a walk would.
  std::function<void()> onYield;

 private:
  std::string key(const std::string& path) const;

  std::map<std::string, Node> nodes_;
  std::vector<std::string> order_;  // keys in the order they were made
  std::uint64_t lastNumber_ = 0;
};

}  // namespace fakes
