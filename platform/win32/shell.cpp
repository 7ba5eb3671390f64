#include "platform/win32/shell.h"

#include <shlwapi.h>

#include "platform/win32/file_names.h"
#include "platform/win32/wide.h"

namespace platform::win32 {
namespace {

// By its full path in the system folder: never a DLL of the same name that an archive
// unpacked beside the program. Loaded once and kept for the life of the process.
void* systemProcedure(const wchar_t* library, const char* name) {
  HMODULE module = LoadLibraryW((toWide(systemFolder()) + L"\\" + library).c_str());
  return module ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
}

template <typename Function>
Function systemFunction(const wchar_t* library, const char* name) {
  return reinterpret_cast<Function>(systemProcedure(library, name));
}

}  // namespace

bool enterOle() {
  static const auto initialize = systemFunction<HRESULT(WINAPI*)(LPVOID)>(L"ole32.dll", "OleInitialize");
  return initialize && SUCCEEDED(initialize(nullptr));
}

void leaveOle() {
  static const auto uninitialize = systemFunction<void(WINAPI*)()>(L"ole32.dll", "OleUninitialize");
  if (uninitialize) uninitialize();
}

HRESULT createInProcessObject(const CLSID& objectClass, const IID& interfaceId, void** object) {
  using Create = HRESULT(WINAPI*)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
  static const auto create = systemFunction<Create>(L"ole32.dll", "CoCreateInstance");
  *object = nullptr;
  return create ? create(objectClass, nullptr, CLSCTX_INPROC_SERVER, interfaceId, object) : E_NOTIMPL;
}

void completeFolderNames(HWND edit) {
  static const auto autoComplete = systemFunction<HRESULT(WINAPI*)(HWND, DWORD)>(L"shlwapi.dll", "SHAutoComplete");
  // Where it fails the box simply does not complete.
  if (autoComplete) autoComplete(edit, SHACF_FILESYS_DIRS);
}

std::optional<std::wstring> firstDroppedItem(HDROP drop) {
  static const auto query = systemFunction<UINT(WINAPI*)(HDROP, UINT, LPWSTR, UINT)>(L"shell32.dll", "DragQueryFileW");
  static const auto finish = systemFunction<void(WINAPI*)(HDROP)>(L"shell32.dll", "DragFinish");
  std::optional<std::wstring> first;
  if (query) {
    const UINT length = query(drop, 0, nullptr, 0);
    std::wstring name(length + 1, L'\0');
    const UINT copied = query(drop, 0, name.data(), length + 1);
    if (copied != 0) first = name.substr(0, copied);
  }
  if (finish) finish(drop);
  return first;
}

}  // namespace platform::win32
