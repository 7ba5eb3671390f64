// The main window: the Win32 side of the form. It creates the controls from the
// layout table, forwards each click to MainForm and carries out what MainForm asks
// of the view; it decides nothing itself.
#pragma once

#include <windows.h>

#include <shellapi.h>
#include <shobjidl.h>

#include <array>
#include <memory>
#include <vector>

#include "app/form_view.h"
#include "app/main_form.h"
#include "platform/win32/com_apartment.h"
#include "platform/win32/handles.h"
#include "platform/win32/interpreter_watch.h"
#include "platform/win32/remux_worker.h"
#include "platform/win32/win32_platform.h"

namespace app {

class MainWindow final : public FormView {
 public:
  MainWindow(HINSTANCE instance, platform::win32::Win32Platform& platform);
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the window with its stored texts, runs the load step, then shows it; what the
  // first paint does not need follows from the message loop.
  bool create(int showCommand);
  HWND handle() const { return window_; }

  std::string controlText(Control control) override;
  void setControlText(Control control, const std::string& text) override;
  void setWindowCaption(const std::string& text) override;
  void startProgressTimer() override;
  void stopProgressTimer() override;
  void showTaskbarProgress(std::optional<int> percent) override;
  void flashIfInBackground() override;
  void startRemux(std::shared_ptr<convert::RemuxJob> job) override;
  void awaitRemux() override;
  void clearList() override;
  bool addListEntry(const std::string& text) override;
  std::vector<int> selectedListIndices() override;
  void beginListFill() override;
  void endListFill() override;

 private:
  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void createControls();
  void onShown();
  void onCommand(int id, int notification);
  void onActivate(bool active);
  void onDpiChanged(UINT dpi, const RECT& suggested);
  // A key pressed in the list, before the list acts on it: -2 when handled here, -1 to let the list act.
  LRESULT onListKey(UINT key);
  void onInterpreterEnded(bool seen);
  void onRemuxEnded();
  // The path box's helpers, in main_window_path_box.cpp.
  void preparePathBox();
  bool onPathBoxCommand(int id, int notification);
  void onDropFiles(HDROP drop);
  void onTaskbarButtonCreated();
  void applyDpi();
  HWND control(Control which) const { return controls_[static_cast<std::size_t>(which)]; }
  int toPixels(int twips) const;
  // The outer size that gives the form's client area at the current DPI.
  SIZE windowSize() const;
  void repaintList();

  HINSTANCE instance_;
  platform::win32::Win32Platform& platform_;
  platform::win32::InterpreterWatch interpreterWatch_;
  platform::win32::Win32RemuxFiles remuxFiles_;
  std::unique_ptr<convert::RemuxEngine> remuxEngine_ = convert::MakeMediaRemuxEngine();
  platform::win32::RemuxWorker remuxWorker_;
  MainForm form_;
  HWND window_ = nullptr;
  std::array<HWND, kFormLayout.size()> controls_{};
  HWND focusBeforeDeactivation_ = nullptr;
  UINT dpi_ = 96;
  platform::win32::FontHandle defaultFont_;
  platform::win32::FontHandle label3Font_;
  platform::win32::BitmapHandle picture_;
  // Before the objects that need it, so that it ends after them.
  platform::win32::ComApartment com_;
  // The taskbar button's progress bar, from Windows 7 on; empty where there is none.
  struct ComReleaser {
    void operator()(IUnknown* object) const { object->Release(); }
  };
  std::unique_ptr<ITaskbarList3, ComReleaser> taskbar_;
  UINT taskbarButtonCreated_ = 0;
  bool listFilling_ = false;
  ULONGLONG lastListRepaint_ = 0;
};

}  // namespace app
