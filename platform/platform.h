// The operating-system services the program's logic calls. Everything here speaks
// UTF-8; the Win32 implementation converts at each call, and the fake in tests/
// keeps an in-memory file system.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace platform {

enum class WindowStyle { Normal = 1, Minimized = 2 };

enum class CodePage { Ansi, Oem };

enum class PathKind { Missing, File, Folder };

// A value or the reason there is none, worded for a message box.
template <typename T>
class Outcome {
 public:
  static Outcome success(T value) { return Outcome(std::move(value)); }
  static Outcome failure(std::string why) { return Outcome(Failure{std::move(why)}); }

  bool ok() const { return std::holds_alternative<T>(state_); }
  T& value() { return std::get<T>(state_); }
  const T& value() const { return std::get<T>(state_); }
  const std::string& error() const { return std::get<Failure>(state_).why; }

 private:
  struct Failure {
    std::string why;
  };
  explicit Outcome(T value) : state_(std::move(value)) {}
  explicit Outcome(Failure failure) : state_(std::move(failure)) {}
  std::variant<T, Failure> state_;
};

// Success, or the reason for a failure; empty error means success.
struct Status {
  std::string error;
  // The system refused the access: the folder or file may not be written by this user.
  bool accessDenied = false;
  bool ok() const { return error.empty(); }
  static Status success() { return {}; }
  static Status failure(std::string why, bool denied = false) { return {std::move(why), denied}; }
};

struct DirectoryEntry {
  std::string name;  // last component, as the file system spells it
  bool isFolder = false;
  std::int64_t created = 0;  // 100 ns ticks since 1601-01-01 UTC
  std::uint64_t size = 0;    // bytes, for files
  std::string shortName;     // the 8.3 name where the volume keeps one that differs; asked for only
  // The name holds UTF-16 that is no text (an unpaired surrogate): `name` shows U+FFFD
  // there and opens another path, or none.
  bool nameAltered = false;
};

// What tells one file under a name from another that later took the name: a rename
// brings the other file's number and its last write along.
struct FileStamp {
  std::uint64_t volume = 0;
  std::uint64_t fileNumber = 0;
  std::int64_t lastWrite = 0;  // 100 ns ticks since 1601-01-01 UTC
};

inline bool SameFile(const FileStamp& a, const FileStamp& b) {
  return a.volume == b.volume && a.fileNumber == b.fileNumber && a.lastWrite == b.lastWrite;
}

// The settings are written under the file's name with this added, then moved into place.
inline constexpr const char* kReplacementSuffix = ".new";

// Whether a folder's reader also reports 8.3 names, which costs a little per entry.
enum class ShortNames { Skip, Report };

// Reads one folder's entries in the file system's own order, one at a time, so
// that callers can hand control back to the window between entries.
class DirectoryReader {
 public:
  virtual ~DirectoryReader() = default;
  // The next entry other than "." and "..", or nothing at the end or on a failure.
  virtual std::optional<DirectoryEntry> next() = 0;
  // Why the last next() gave nothing; empty when the folder simply ended.
  virtual std::string error() const = 0;
};

// Held while it lives: the one script of a folder that may be written or run at
// a time, across every copy of the program.
class ScriptLock {
 public:
  virtual ~ScriptLock() = default;
};

struct RunRequest {
  std::string program;           // full path of the executable to start
  std::string commandLine;       // the whole command line, argument 0 included
  std::string workingDirectory;  // empty: the program's own current folder
  WindowStyle style = WindowStyle::Normal;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // The folder of the program's executable, without a trailing backslash except at
  // a drive root.
  virtual std::string AppFolder() = 0;
  // The Windows folder and the system folder, for starting the system's own
  // programs by full path.
  virtual std::string windowsFolder() = 0;
  virtual std::string systemFolder() = 0;
  // The user's temporary folder as the system names it, or empty text.
  virtual std::string temporaryFolder() = 0;
  // The long form of an existing path, where it was given in 8.3 form; otherwise the path itself.
  virtual std::string longPath(const std::string& path) = 0;

  // What the path names, whatever its attributes.
  virtual PathKind kindOf(const std::string& path) = 0;
  // True when the path itself is a symbolic link, a junction or another reparse
  // point, which opening it by name would follow elsewhere.
  virtual bool isLink(const std::string& path) = 0;

  virtual Outcome<std::unique_ptr<DirectoryReader>> openDirectory(const std::string& folder, ShortNames shortNames) = 0;

  // A creation time as text: the user's short date and long time, in local time.
  virtual std::string formatCreationTime(std::int64_t created) = 0;

  // The whole file as bytes.
  virtual Outcome<std::string> readFile(const std::string& path) = 0;
  // Creates or empties the file and writes the bytes.
  virtual Status writeFile(const std::string& path, const std::string& bytes) = 0;
  // The size of a plain file; nothing for a folder or a missing path.
  virtual std::optional<std::uint64_t> fileSize(const std::string& path) = 0;
  // The file under the name itself, not what a link there points to; nothing for a
  // folder or a missing path.
  virtual std::optional<FileStamp> fileStamp(const std::string& path) = 0;
  virtual Status deleteFile(const std::string& path) = 0;
  // Writes path + kReplacementSuffix and puts it in place only when it is
  // complete, so a failure leaves the old file as it was.
  virtual Status replaceFile(const std::string& path, const std::string& bytes) = 0;

  // UTF-8 text in a code page; nothing when a character has no place in it.
  virtual std::optional<std::string> encode(const std::string& utf8, CodePage page) = 0;
  virtual std::string decode(const std::string& bytes, CodePage page) = 0;
  // The 8.3 form of an existing path, or nothing where the volume keeps none.
  virtual std::optional<std::string> shortPath(const std::string& path) = 0;

  // Starts the program and returns at once, without waiting for it.
  virtual Status run(const RunRequest& request) = 0;

  // The folder's script lock, or nothing while this or another copy of the
  // program holds it or an interpreter started with it still runs.
  virtual std::unique_ptr<ScriptLock> lockScriptFolder(const std::string& folder) = 0;
  // Starts the interpreter and hands it the lock, which then stays taken until
  // the interpreter ends, even if this program ends first. Returns at once; the
  // window hears of the end later, through its message queue.
  virtual Status runInterpreter(const RunRequest& request, std::unique_ptr<ScriptLock> lock) = 0;
  // Lets go of the ended interpreter and of this program's hold on the lock, which
  // until then keeps every other copy from starting a script in the folder.
  virtual void releaseInterpreter() = 0;

  // A modal box with one OK button, no icon, the application's title.
  virtual void message(const std::string& text) = 0;
  // The same box with Yes and No buttons; true for Yes.
  virtual bool askYesNo(const std::string& text) = 0;
  // Handles pending window events; other handlers may run inside it.
  virtual void yield() = 0;
  // Ends the program at once.
  virtual void end() = 0;
};

}  // namespace platform
