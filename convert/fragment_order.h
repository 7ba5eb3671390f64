// Which files of a video's folder the interpreter's copy joins, and in which order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace convert {

struct Fragment {
  std::string name;
  std::string shortName;  // empty where the volume keeps none
  std::uint64_t size = 0;
};

struct FragmentPlan {
  std::vector<Fragment> fragments;  // in the order they must be joined
  std::uint64_t totalBytes = 0;
  // Numbers absent between the lowest and the highest, where the names are numbered.
  std::uint64_t missingNumbers = 0;
};

// True for the files joined: the ending ".tdl" in any case.
bool HasTdlExtension(const std::string& name);

// When the names differ only in one run of digits, the positions of the names in
// numeric order of that run; otherwise the positions as they stand.
std::vector<std::size_t> NumericOrder(const std::vector<std::string>& names);

// How many numbers between the lowest and the highest no name carries, where the
// names are numbered as NumericOrder sees it; 0 for names that are not.
std::uint64_t MissingNumbers(const std::vector<std::string>& names);

// Plans the join of a folder's files, given in the file system's order, which the
// join keeps where the names are not numbered.
FragmentPlan PlanFragments(const std::vector<platform::DirectoryEntry>& files);

}  // namespace convert
