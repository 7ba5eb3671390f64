#include "convert/fragment_order.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <optional>
#include <set>

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

// The names cut into runs, and the run that numbers them, when there is one.
struct Numbering {
  std::vector<std::vector<std::string>> split;
  std::optional<std::size_t> varying;
};

Numbering numberingOf(const std::vector<std::string>& names) {
  Numbering numbering;
  for (const std::string& name : names) numbering.split.push_back(runsOf(name));
  if (names.size() >= 2) numbering.varying = soleVaryingNumber(numbering.split);
  return numbering;
}

// Numbers too long for 64 bits are no segment numbers any client writes.
std::optional<std::uint64_t> valueOf(const std::string& digits) {
  std::uint64_t value = 0;
  for (char c : digits) {
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

// The positions of the names in numeric order of their numbering run, or as they stand.
std::vector<std::size_t> orderOf(const Numbering& numbering) {
  std::vector<std::size_t> order(numbering.split.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  if (!numbering.varying) return order;
  const std::size_t varying = *numbering.varying;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return numericallyLess(numbering.split[a][varying], numbering.split[b][varying]);
  });
  return order;
}

std::uint64_t missingOf(const Numbering& numbering) {
  if (!numbering.varying) return 0;
  std::set<std::uint64_t> numbers;
  for (const std::vector<std::string>& runs : numbering.split) {
    const auto value = valueOf(runs[*numbering.varying]);
    if (!value) return 0;
    numbers.insert(*value);
  }
  // Equal values ("7", "007") are one segment.
  return *numbers.rbegin() - *numbers.begin() + 1 - numbers.size();
}

}  // namespace

bool HasTdlExtension(const std::string& name) {
  return name.size() >= 4 && platform::EqualsIgnoringAsciiCase(name.substr(name.size() - 4), ".tdl");
}

std::vector<std::size_t> NumericOrder(const std::vector<std::string>& names) { return orderOf(numberingOf(names)); }

std::uint64_t MissingNumbers(const std::vector<std::string>& names) { return missingOf(numberingOf(names)); }

FragmentPlan PlanFragments(const std::vector<platform::DirectoryEntry>& files) {
  std::vector<const platform::DirectoryEntry*> joined;
  for (const platform::DirectoryEntry& file : files) {
    if (!file.isFolder && HasTdlExtension(file.name)) joined.push_back(&file);
  }
  std::vector<std::string> names;
  for (const platform::DirectoryEntry* file : joined) names.push_back(file->name);
  // The names are cut into runs once, for the order and for the gaps alike.
  const Numbering numbering = numberingOf(names);
  const std::vector<std::size_t> order = orderOf(numbering);

  FragmentPlan plan;
  plan.missingNumbers = missingOf(numbering);
  for (std::size_t position : order) {
    const platform::DirectoryEntry& file = *joined[position];
    plan.fragments.push_back({file.name, file.shortName, file.size});
    plan.totalBytes += file.size;
  }
  return plan;
}

}  // namespace convert
