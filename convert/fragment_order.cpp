#include "convert/fragment_order.h"

#include <algorithm>
#include <numeric>
#include <optional>

#include "platform/paths.h"

namespace convert {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The name cut into alternating runs of digits and of everything else.
std::vector<std::string> runsOf(const std::string& name) {
  std::vector<std::string> runs;
  for (char c : name) {
    if (runs.empty() || isDigit(runs.back().back()) != isDigit(c)) runs.emplace_back();
    runs.back() += c;
  }
  return runs;
}

// Orders runs of digits by their value, however many digits and leading zeros.
bool numericallyLess(const std::string& a, const std::string& b) {
  const auto significant = [](const std::string& digits) {
    const auto first = digits.find_first_not_of('0');
    return first == std::string::npos ? std::string() : digits.substr(first);
  };
  const std::string x = significant(a);
  const std::string y = significant(b);
  if (x.size() != y.size()) return x.size() < y.size();
  return x < y;
}

// The one run in which the names differ, when that run is made of digits in every
// name; the file system ignores case, and so does this.
std::optional<std::size_t> soleVaryingNumber(const std::vector<std::vector<std::string>>& split) {
  std::optional<std::size_t> varying;
  const std::vector<std::string>& first = split.front();
  for (const std::vector<std::string>& runs : split) {
    if (runs.size() != first.size()) return std::nullopt;
    for (std::size_t i = 0; i < runs.size(); ++i) {
      if (platform::EqualsIgnoringAsciiCase(runs[i], first[i])) continue;
      if (!isDigit(runs[i].front()) || !isDigit(first[i].front())) return std::nullopt;
      if (varying && *varying != i) return std::nullopt;
      varying = i;
    }
  }
  return varying;
}

}  // namespace

bool HasTdlExtension(const std::string& name) {
  return name.size() >= 4 && platform::EqualsIgnoringAsciiCase(name.substr(name.size() - 4), ".tdl");
}

std::vector<std::size_t> NumericOrder(const std::vector<std::string>& names) {
  std::vector<std::size_t> order(names.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  if (names.size() < 2) return order;
  std::vector<std::vector<std::string>> split;
  for (const std::string& name : names) split.push_back(runsOf(name));
  const auto varying = soleVaryingNumber(split);
  if (!varying) return order;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return numericallyLess(split[a][*varying], split[b][*varying]);
  });
  return order;
}

FragmentPlan PlanFragments(const std::vector<platform::DirectoryEntry>& files) {
  std::vector<const platform::DirectoryEntry*> joined;
  bool strayShortNameMatch = false;
  for (const platform::DirectoryEntry& file : files) {
    if (file.isFolder) continue;
    if (HasTdlExtension(file.name)) {
      joined.push_back(&file);
    } else if (HasTdlExtension(file.shortName)) {
      // "x.tdlx" may be "X~1.TDL" to the wildcard, and would be joined into the video.
      strayShortNameMatch = true;
    }
  }
  std::vector<std::string> names;
  for (const platform::DirectoryEntry* file : joined) names.push_back(file->name);
  const std::vector<std::size_t> order = NumericOrder(names);

  FragmentPlan plan;
  plan.needsExplicitList = strayShortNameMatch || !std::is_sorted(order.begin(), order.end());
  for (std::size_t position : order) {
    const platform::DirectoryEntry& file = *joined[position];
    plan.fragments.push_back({file.name, file.shortName, file.size});
    plan.totalBytes += file.size;
  }
  return plan;
}

}  // namespace convert
