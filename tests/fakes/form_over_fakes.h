// The main form over fakes of the window, the platform and the remux, for tests that
// drive it as the window would.
#pragma once

#include <string>

#include "app/main_form.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_remux.h"
#include "tests/fakes/fake_view.h"

namespace fakes {

struct FormOverFakes {
  // The caption without the title that follows its " - ".
  std::string captionStart() const { return view.caption.substr(0, view.caption.rfind(" - ")); }

  FakePlatform platform;
  FakeView view;
  FakeRemuxFiles files{platform};
  FakeRemuxEngine engine;
  app::MainForm form{view, platform, files, engine};
};

}  // namespace fakes
