#include "convert/typed_path.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace convert {
namespace {

constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";

bool isAsciiBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// How many bytes of blank the text starts, or ends, with.
std::size_t leadingBlank(std::string_view text) {
  if (!text.empty() && isAsciiBlank(text.front())) return 1;
  return text.substr(0, kIdeographicSpace.size()) == kIdeographicSpace ? kIdeographicSpace.size() : 0;
}

std::size_t trailingBlank(std::string_view text) {
  if (!text.empty() && isAsciiBlank(text.back())) return 1;
  const bool ideographic = text.size() >= kIdeographicSpace.size() &&
                           text.substr(text.size() - kIdeographicSpace.size()) == kIdeographicSpace;
  return ideographic ? kIdeographicSpace.size() : 0;
}

std::string_view withoutBlanksAround(std::string_view text) {
  while (const std::size_t blank = leadingBlank(text)) text.remove_prefix(blank);
  while (const std::size_t blank = trailingBlank(text)) text.remove_suffix(blank);
  return text;
}

}  // namespace

std::string CleanTypedPath(const std::string& typed) {
  std::string_view path = withoutBlanksAround(typed);
  // Blanks inside the quotes go too: a trailing space would pass the existence
  // check, which Win32 trims, and then fail the walk, which it does not.
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
    path = withoutBlanksAround(path.substr(1, path.size() - 2));
  }
  std::string cleaned(path);
  std::replace(cleaned.begin(), cleaned.end(), '/', '\\');
  return cleaned;
}

}  // namespace convert
