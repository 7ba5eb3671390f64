#include "platform/win32/processes.h"

#include <vector>

#include "platform/win32/error_text.h"
#include "platform/win32/wide.h"

namespace platform::win32 {

Outcome<KernelHandle> startProcess(const RunRequest& request, HANDLE inherited) {
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
  startup.StartupInfo.wShowWindow =
      static_cast<WORD>(request.style == WindowStyle::Minimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
  std::vector<unsigned char> attributes;
  if (inherited) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    attributes.resize(size);
    startup.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    if (!InitializeProcThreadAttributeList(startup.lpAttributeList, 1, 0, &size) ||
        !UpdateProcThreadAttribute(startup.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &inherited,
                                   sizeof inherited, nullptr, nullptr)) {
      return Outcome<KernelHandle>::failure(lastErrorText());
    }
  }
  const std::wstring program = toWide(request.program);
  std::wstring commandLine = toWide(request.commandLine);
  const std::wstring folder = toWide(request.workingDirectory);
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(program.empty() ? nullptr : program.c_str(), commandLine.data(), nullptr, nullptr,
                                      inherited != nullptr, inherited ? EXTENDED_STARTUPINFO_PRESENT : 0, nullptr,
                                      folder.empty() ? nullptr : folder.c_str(), &startup.StartupInfo, &process);
  const DWORD failure = GetLastError();
  if (inherited) DeleteProcThreadAttributeList(startup.lpAttributeList);
  if (!started) return Outcome<KernelHandle>::failure(errorText(failure));
  const KernelHandle thread(process.hThread);
  return Outcome<KernelHandle>::success(KernelHandle(process.hProcess));
}

}  // namespace platform::win32
