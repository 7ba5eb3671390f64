#include "platform/win32/code_pages.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace platform::win32 {
namespace {

UINT codePageOf(CodePage page) { return page == CodePage::Ansi ? GetACP() : GetOEMCP(); }

std::wstring decodeWide(const std::string& bytes, UINT codePage) {
  if (bytes.empty()) return {};
  const int size = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), size);
  return wide;
}

}  // namespace

std::optional<std::string> encode(const std::string& utf8, CodePage page) {
  const std::wstring wide = toWide(utf8);
  if (wide.empty()) return std::string();
  const UINT codePage = codePageOf(page);
  const int size =
      WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), size, nullptr, nullptr);
  // A character the code page lacks comes out as '?' or a look-alike; only an exact
  // round trip proves the bytes say what the text says.
  if (decodeWide(bytes, codePage) != wide) return std::nullopt;
  return bytes;
}

std::string decode(const std::string& bytes, CodePage page) { return toUtf8(decodeWide(bytes, codePageOf(page))); }

}  // namespace platform::win32
