// The remux on Windows: its files, and the thread it runs on so that the window
// keeps answering.
#pragma once

#include <windows.h>

#include <memory>

#include "convert/remux_step.h"
#include "platform/win32/handles.h"

namespace platform::win32 {

// Posted to the window when the remux's thread has finished its job.
inline constexpr UINT kRemuxEndedMessage = WM_APP + 2;

class Win32RemuxFiles final : public convert::RemuxFiles {
 public:
  std::unique_ptr<media::ByteSource> openForReading(const std::string& path) override;
  std::unique_ptr<convert::RemuxOutputFile> createNew(const std::string& path, std::string& error) override;
  std::optional<std::uint64_t> freeBytes(const std::string& folder) override;
  Status moveReplacing(const std::string& from, const std::string& to) override;
  void remove(const std::string& path) override;
};

class RemuxWorker {
 public:
  RemuxWorker() = default;
  RemuxWorker(const RemuxWorker&) = delete;
  RemuxWorker& operator=(const RemuxWorker&) = delete;
  ~RemuxWorker() { awaitEnd(INFINITE); }

  // Runs the job on a thread of its own; window hears kRemuxEndedMessage when it is over.
  void start(std::shared_ptr<convert::RemuxJob> job, HWND window);
  // Waits at most timeoutMs for the thread to end.
  void awaitEnd(DWORD timeoutMs);
  // After the message: the job's report, the thread gone.
  convert::RemuxReport finish();

 private:
  static DWORD WINAPI threadMain(void* self);

  std::shared_ptr<convert::RemuxJob> job_;
  KernelHandle thread_;
  HWND window_ = nullptr;
  convert::RemuxReport report_;
};

}  // namespace platform::win32
