// A window described as data: its properties, its controls with pixel geometry, its Tab
// order and its popup menu. Each window has one table; the Win32 builder creates the real
// window from it, and nothing else decides where a control goes.
#pragma once

#include <string>
#include <vector>

#include "ui/form.h"

namespace korvane {

enum class ControlKind { Label, Edit, Button, RadioBox, CheckBox, ComboList, ListView, GroupBox, Hyperlink };

// Control flags.
enum : unsigned {
  kHidden = 1u << 0,
  kDisabled = 1u << 1,
  kChecked = 1u << 2,
  kTabStop = 1u << 3,
  kPassword = 1u << 4,    // edit box showing each character as "*"
  kCentreText = 1u << 5,  // edit box text centred
};

struct ListColumn {
  std::string header;
  int width = 0;
};

struct ControlLayout {
  ControlId id;
  std::string name;  // the control's own name, for tests and diagnostics
  ControlKind kind;
  ControlId container = kWindowItself;  // the window or a group box
  int left = 0, top = 0, width = 0, height = 0;  // relative to the container's client area
  std::string text;                      // caption, initial text, or a link's address
  unsigned flags = 0;
  std::vector<std::string> items;        // combo box items
  int currentItem = -1;                  // combo box current item
  int dropDownHeight = 0;                // combo box: total height including the drop-down part
  std::vector<ListColumn> columns;       // list view columns
};

struct MenuItemLayout {
  ControlId id;
  std::string caption;
};

struct WindowLayout {
  std::string caption;
  int width = 0, height = 0;  // outer size
  std::vector<ControlLayout> controls;
  std::vector<ControlId> tabOrder;
  std::vector<MenuItemLayout> popupMenu;  // empty when the window has none
  // Files dragged from the shell may be dropped anywhere on the window (FilesDropped).
  bool acceptsFiles = false;
  // The button Enter presses when the focus is on no other button and in no edit box;
  // kWindowItself: Enter means nothing to the window itself.
  ControlId defaultButton = kWindowItself;
};

}  // namespace korvane
