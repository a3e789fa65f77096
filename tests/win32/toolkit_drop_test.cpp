// Several list rows selected from code.
#include "win32/support/toolkit_fixture.h"

namespace korvane::testing {
namespace {

using T = Toolkit;

// The toolkit window with a list that selects several rows, as importing needs.
class ImportWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WindowLayout layout = ToolkitLayout();
    for (ControlLayout& c : layout.controls)
      if (c.id == Id(T::List)) c.flags |= kMultiSelect;
    window_ = Win32Window::Create(layout, sink_);
    ASSERT_TRUE(window_ && window_->Alive());
    Pump();
    sink_.events.clear();
  }
  void TearDown() override {
    window_.reset();
    Pump();
  }

  RecordingSink sink_;
  std::unique_ptr<Win32Window> window_;
};

std::vector<int> SelectedRows(HWND list) {
  std::vector<int> rows;
  for (int row = -1; (row = ListView_GetNextItem(list, row, LVNI_SELECTED)) >= 0;) rows.push_back(row);
  return rows;
}

TEST_F(ImportWindowTest, RowsSelectedFromCodeAreExactlyThoseGivenWithTheFirstFocusedAndShown) {
  HWND list = window_->ControlHandle(Id(T::List));
  EXPECT_FALSE(GetWindowLongPtrW(list, GWL_STYLE) & LVS_SINGLESEL);
  window_->ListSetRows(Id(T::List), std::vector<std::vector<std::string>>(40, {"1", "a", "10.0.0.1"}));
  window_->ListSelectRows(Id(T::List), {2});
  window_->ListSelectRows(Id(T::List), {30, 5, 40, -1, 7});
  EXPECT_EQ(SelectedRows(list), (std::vector<int>{5, 7, 30}));
  EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_FOCUSED), 30);
  const int top = ListView_GetTopIndex(list);
  EXPECT_TRUE(top <= 30 && 30 < top + ListView_GetCountPerPage(list)) << top;
  EXPECT_EQ(window_->ListCurrentRow(Id(T::List)), 5);
  Pump();
  EXPECT_TRUE(sink_.events.empty());
}

TEST_F(ToolkitWindowTest, ASingleSelectionListTakesOnlyTheFirstRowGiven) {
  window_->ListSetRows(Id(T::List), std::vector<std::vector<std::string>>(10, {"1", "a", "10.0.0.1"}));
  window_->ListSelectRows(Id(T::List), {6, 2});
  EXPECT_EQ(SelectedRows(H(T::List)), std::vector<int>{6});
}

}  // namespace
}  // namespace korvane::testing
