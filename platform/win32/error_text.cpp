#include "platform/win32/error_text.h"

#include "platform/win32/wide.h"

namespace platform::win32 {

std::string errorText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring wide = length ? std::wstring(text, length) : L"";
  LocalFree(text);
  while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' ')) wide.pop_back();
  std::string described = toUtf8(wide);
  return described.empty() ? "Windows error " + std::to_string(error) : described;
}

std::string lastErrorText() { return errorText(GetLastError()); }

Status lastErrorStatus() {
  const DWORD error = GetLastError();
  // What a folder that may not be written answers: a protected folder such as Program Files, a read-only share or
  // medium. A file held open by another program (sharing or lock violation) is not the folder's fault.
  const bool denied =
      error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT || error == ERROR_NETWORK_ACCESS_DENIED;
  return Status::failure(errorText(error), denied);
}

}  // namespace platform::win32
