#include "platform/win32/remux_worker.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win32/error_text.h"
#include "platform/win32/file_names.h"
#include "platform/win32/files.h"
#include "platform/win32/split_values.h"
#include "platform/win32/wide.h"

namespace platform::win32 {
namespace {

// Reads and writes go to the disk in pieces this large: the core asks for packets
// of a few hundred bytes, and a system call each would cost more than the remux.
constexpr std::size_t kBufferBytes = 4u << 20;
constexpr std::size_t kDirectReadBytes = 64u << 10;

bool readAt(HANDLE file, std::uint64_t offset, std::uint8_t* buffer, DWORD length, DWORD& read) {
  OVERLAPPED at{};
  at.Offset = lowHalf(offset);
  at.OffsetHigh = highHalf(offset);
  read = 0;
  return ReadFile(file, buffer, length, &read, &at) || GetLastError() == ERROR_HANDLE_EOF;
}

class FileSource final : public media::ByteSource {
 public:
  FileSource(FileHandle file, std::uint64_t size) : file_(std::move(file)), size_(size), buffer_(kBufferBytes) {}

  std::uint64_t size() const override { return size_; }
  bool failed() const override { return failed_; }

  std::size_t read(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    std::size_t done = 0;
    while (done < length && offset + done < size_ && !failed_) {
      const std::uint64_t at = offset + done;
      if (at < bufferStart_ || at >= bufferStart_ + bufferLength_) {
        // The core reads in large pieces of its own, which go straight to it: copying
        // them through this buffer would move every byte twice. Small reads (box
        // headers, the first packets) fill the buffer from where they start.
        if (length - done >= kDirectReadBytes) {
          DWORD read = 0;
          const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(length - done, 1u << 30));
          if (!readAt(file_.get(), at, buffer + done, chunk, read)) failed_ = true;
          if (read == 0) break;
          done += read;
          continue;
        }
        DWORD read = 0;
        if (!readAt(file_.get(), at, buffer_.data(), static_cast<DWORD>(buffer_.size()), read)) failed_ = true;
        bufferStart_ = at;
        bufferLength_ = read;
        if (read == 0) break;
      }
      const std::size_t inBuffer = static_cast<std::size_t>(at - bufferStart_);
      const std::size_t count = std::min(length - done, bufferLength_ - inBuffer);
      std::memcpy(buffer + done, buffer_.data() + inBuffer, count);
      done += count;
    }
    return done;
  }

 private:
  FileHandle file_;
  std::uint64_t size_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t bufferStart_ = 0;
  std::size_t bufferLength_ = 0;
  bool failed_ = false;
};

// Written by a thread of its own, one buffer behind the remux: the disk takes the MP4 while the remux reads the
// join again for the next samples, instead of one waiting for the other.
class OutputFile final : public convert::RemuxOutputFile {
 public:
  explicit OutputFile(FileHandle file) : file_(std::move(file)) {
    InitializeCriticalSection(&lock_);
    InitializeConditionVariable(&changed_);
    filling_.reserve(kBufferBytes);
    writer_.reset(CreateThread(nullptr, 0, &OutputFile::writerMain, this, 0, nullptr));
  }
  ~OutputFile() override {
    finish();
    DeleteCriticalSection(&lock_);
  }

  bool write(const std::uint8_t* data, std::size_t length) override {
    while (length > 0 && error().empty()) {
      const std::size_t part = std::min(length, kBufferBytes - filling_.size());
      filling_.insert(filling_.end(), data, data + part);
      data += part;
      length -= part;
      if (filling_.size() == kBufferBytes) handOver();
    }
    return error().empty();
  }
  bool finish() override {
    if (file_) {
      handOver();
      EnterCriticalSection(&lock_);
      closing_ = true;
      WakeAllConditionVariable(&changed_);
      LeaveCriticalSection(&lock_);
      if (writer_) WaitForSingleObject(writer_.get(), INFINITE);
      writer_.reset();
      file_.reset();
    }
    return error().empty();
  }
  std::string error() const override {
    EnterCriticalSection(&lock_);
    std::string copy = error_;
    LeaveCriticalSection(&lock_);
    return copy;
  }

 private:
  // Gives the full buffer to the writer once it has taken the one before; without a writer, writes it here.
  void handOver() {
    if (!writer_) {
      writeOut(filling_);
      filling_.clear();
      return;
    }
    EnterCriticalSection(&lock_);
    while (pendingFull_ && error_.empty()) SleepConditionVariableCS(&changed_, &lock_, INFINITE);
    if (error_.empty()) {
      std::swap(pending_, filling_);
      pendingFull_ = true;
      WakeAllConditionVariable(&changed_);
    }
    LeaveCriticalSection(&lock_);
    filling_.clear();
  }

  static DWORD WINAPI writerMain(void* self) {
    auto& file = *static_cast<OutputFile*>(self);
    std::vector<std::uint8_t> writing;
    writing.reserve(kBufferBytes);
    for (;;) {
      EnterCriticalSection(&file.lock_);
      while (!file.pendingFull_ && !file.closing_) SleepConditionVariableCS(&file.changed_, &file.lock_, INFINITE);
      if (!file.pendingFull_) {
        LeaveCriticalSection(&file.lock_);
        return 0;
      }
      std::swap(writing, file.pending_);
      file.pendingFull_ = false;
      WakeAllConditionVariable(&file.changed_);
      LeaveCriticalSection(&file.lock_);
      file.writeOut(writing);
      writing.clear();
    }
  }

  void writeOut(const std::vector<std::uint8_t>& bytes) {
    const Status written = writeAll(file_.get(), bytes.data(), bytes.size());
    if (written.ok()) return;
    EnterCriticalSection(&lock_);
    if (error_.empty()) error_ = written.error;
    WakeAllConditionVariable(&changed_);
    LeaveCriticalSection(&lock_);
  }

  FileHandle file_;
  KernelHandle writer_;
  mutable CRITICAL_SECTION lock_;
  CONDITION_VARIABLE changed_;
  std::vector<std::uint8_t> filling_;  // the remux's side
  std::vector<std::uint8_t> pending_;  // full, for the writer to take
  bool pendingFull_ = false;
  bool closing_ = false;
  std::string error_;
};

}  // namespace

std::unique_ptr<media::ByteSource> Win32RemuxFiles::openForReading(const std::string& path) {
  FileHandle file(CreateFileW(forFileApi(toWide(path)).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size)) return nullptr;
  return std::make_unique<FileSource>(std::move(file), static_cast<std::uint64_t>(size.QuadPart));
}

std::unique_ptr<convert::RemuxOutputFile> Win32RemuxFiles::createNew(const std::string& path, std::string& error) {
  const std::wstring target = forFileApi(toWide(path));
  // A leftover of the name goes first, a link or junction as itself and never what it points to; a real folder
  // in the way stays, and the new file then cannot be made.
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!folder) {
      DeleteFileW(target.c_str());
    } else if (link) {
      RemoveDirectoryW(target.c_str());
    }
  }
  FileHandle file(CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT,
                              nullptr));
  if (!file) {
    error = lastErrorText();
    return nullptr;
  }
  return std::make_unique<OutputFile>(std::move(file));
}

std::optional<std::uint64_t> Win32RemuxFiles::freeBytes(const std::string& folder) {
  ULARGE_INTEGER available{};
  std::wstring path = toWide(folder);
  if (path.empty() || path.back() != L'\\') path += L'\\';
  if (!GetDiskFreeSpaceExW(forFileApi(path).c_str(), &available, nullptr, nullptr)) return std::nullopt;
  return available.QuadPart;
}

Status Win32RemuxFiles::moveReplacing(const std::string& from, const std::string& to) {
  if (!MoveFileExW(forFileApi(toWide(from)).c_str(), forFileApi(toWide(to)).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return lastErrorStatus();
  }
  return Status::success();
}

void Win32RemuxFiles::remove(const std::string& path) { deleteFile(path); }

void RemuxWorker::start(std::shared_ptr<convert::RemuxJob> job, HWND window) {
  awaitEnd(INFINITE);
  job_ = std::move(job);
  window_ = window;
  thread_.reset(CreateThread(nullptr, 0, &RemuxWorker::threadMain, this, 0, nullptr));
  // Without a thread the window stalls for the remux's length, but the video still becomes an MP4.
  if (!thread_) threadMain(this);
}

DWORD WINAPI RemuxWorker::threadMain(void* self) {
  auto& worker = *static_cast<RemuxWorker*>(self);
  worker.report_ = worker.job_->run();
  PostMessageW(worker.window_, kRemuxEndedMessage, 0, 0);
  return 0;
}

void RemuxWorker::awaitEnd(DWORD timeoutMs) {
  if (thread_) WaitForSingleObject(thread_.get(), timeoutMs);
}

convert::RemuxReport RemuxWorker::finish() {
  awaitEnd(INFINITE);
  thread_.reset();
  job_.reset();
  return report_;
}

}  // namespace platform::win32
