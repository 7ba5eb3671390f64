// A window that only remembers what it was told.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/form_view.h"

namespace fakes {

class FakeView : public app::FormView {
 public:
  std::string controlText(app::Control control) override { return texts[control]; }
  void setControlText(app::Control control, const std::string& text) override { texts[control] = text; }
  void setWindowCaption(const std::string& text) override { caption = text; }
  void startProgressTimer() override { timerRunning = true; }
  void stopProgressTimer() override { timerRunning = false; }
  void showTaskbarProgress(std::optional<int> percent) override { taskbarProgress = percent; }
  void flashIfInBackground() override { ++flashes; }
  void clearList() override { list.clear(); }
  bool addListEntry(const std::string& text) override {
    if (list.size() == listCapacity) return false;
    list.push_back(text);
    return true;
  }
  std::vector<int> selectedListIndices() override { return selected; }
  void beginListFill() override {}
  void endListFill() override {}
  void startRemux(std::shared_ptr<convert::RemuxJob> job) override { remux = std::move(job); }
  // The test runs the job itself, in its own time; a wait finds it done or not started.
  void awaitRemux() override { ++remuxWaits; }

  std::map<app::Control, std::string> texts;
  std::size_t listCapacity = SIZE_MAX;  // entries past it are refused, as a list out of memory does
  std::vector<std::string> list;
  std::vector<int> selected;
  std::string caption;
  bool timerRunning = false;
  std::optional<int> taskbarProgress;
  int flashes = 0;
  std::shared_ptr<convert::RemuxJob> remux;
  int remuxWaits = 0;
};

}  // namespace fakes
