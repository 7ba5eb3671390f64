// What the listing and the conversion need of the window's list of times.
#pragma once

#include <string>
#include <vector>

namespace convert {

class ListView {
 public:
  virtual ~ListView() = default;
  virtual void clearList() = 0;
  // False when the list could not take the entry, which it then does not hold.
  virtual bool addListEntry(const std::string& text) = 0;
  // The selected positions in list order; none while nothing is selected.
  virtual std::vector<int> selectedListIndices() = 0;
  // A long fill is bracketed by these so the view can hold back repainting.
  virtual void beginListFill() = 0;
  virtual void endListFill() = 0;
};

}  // namespace convert
