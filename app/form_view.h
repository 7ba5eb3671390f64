// What the window's logic needs of the window: it sets and gets, nothing more.
#pragma once

#include <string>

#include "app/form_layout.h"
#include "convert/list_view.h"

namespace app {

class FormView : public convert::ListView {
 public:
  virtual std::string controlText(Control control) = 0;
  virtual void setControlText(Control control, const std::string& text) = 0;
  virtual void setWindowCaption(const std::string& text) = 0;
};

}  // namespace app
