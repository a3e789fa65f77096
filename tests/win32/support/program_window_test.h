// A fixture for one of the program's own windows: built from its layout with its real
// handlers, over a recording platform and a real data file in the program's directory.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "app/program.h"
#include "support/data_files.h"
#include "support/fake_platform.h"
#include "ui/win32/window_win32.h"
#include "win32/support/common_controls6.h"
#include "win32/support/drive_win32.h"

namespace korvane::testing {

template <typename Handlers, typename Control>
class ProgramWindowTest : public ::testing::Test {
 protected:
  explicit ProgramWindowTest(const std::string& folder) : dir(folder) {}

  // Makes the data file ready before the window opens; the default leaves it empty.
  virtual void PrepareData() {}
  virtual const WindowLayout& Layout() const = 0;
  virtual std::unique_ptr<Handlers> MakeHandlers(Form& form) = 0;

  void SetUp() override {
    ASSERT_TRUE(kCommonControls6Active);
    SetProgramDirectoryFromExecutable(dir.File("korvane.exe"));
    MakeDataFile(DataFilePath());
    PrepareData();
    window = Win32Window::Create(Layout(), [this](Form& form) -> EventSink& {
      handlers = MakeHandlers(form);
      return *handlers;
    });
    ASSERT_TRUE(window && window->Alive());
    Pump();
  }

  void TearDown() override {
    window.reset();
    Pump();
  }

  HWND H(Control control) const { return window->ControlHandle(Id(control)); }

  TempDir dir;
  FakePlatform platform;
  std::unique_ptr<Handlers> handlers;
  std::unique_ptr<Win32Window> window;
};

}  // namespace korvane::testing
