#include <algorithm>
#include "support/fake_form.h"

#include <stdexcept>
#include <utility>

namespace korvane::testing {

FakeForm::FakeForm(const WindowLayout& layout) : caption(layout.caption) {
  rect = {0, 0, layout.width, layout.height};
  for (const ControlLayout& c : layout.controls) {
    Control state;
    state.text = c.text;
    state.visible = (c.flags & kHidden) == 0;
    state.enabled = (c.flags & kDisabled) == 0;
    state.checked = (c.flags & kChecked) != 0;
    state.items = c.items;
    state.currentItem = c.currentItem;
    controls_[c.id] = state;
  }
  for (const MenuItemLayout& item : layout.popupMenu) menuEnabled[item.id] = true;
}

const FakeForm::Control& FakeForm::At(ControlId control) const {
  const auto it = controls_.find(control);
  if (it == controls_.end()) throw std::out_of_range("no such control: " + std::to_string(control));
  return it->second;
}

FakeForm::Control& FakeForm::Mutable(ControlId control) {
  return const_cast<Control&>(static_cast<const FakeForm*>(this)->At(control));
}

std::string FakeForm::Text(ControlId control) const { return At(control).text; }
void FakeForm::SetText(ControlId control, const std::string& text) { Mutable(control).text = text; }
bool FakeForm::Visible(ControlId control) const { return At(control).visible; }
void FakeForm::SetVisible(ControlId control, bool visible) { Mutable(control).visible = visible; }
bool FakeForm::Enabled(ControlId control) const { return At(control).enabled; }
void FakeForm::SetEnabled(ControlId control, bool enabled) { Mutable(control).enabled = enabled; }
bool FakeForm::Checked(ControlId control) const { return At(control).checked; }
void FakeForm::SetChecked(ControlId control, bool checked) { Mutable(control).checked = checked; }
int FakeForm::ComboIndex(ControlId control) const { return At(control).currentItem; }

std::string FakeForm::ComboText(ControlId control) const {
  const Control& c = At(control);
  if (c.currentItem < 0 || c.currentItem >= static_cast<int>(c.items.size())) return {};
  return c.items[static_cast<size_t>(c.currentItem)];
}

void FakeForm::ListClear(ControlId control) { ListSetRows(control, {}); }

void FakeForm::ListAppendRow(ControlId control, const std::vector<std::string>& cells) {
  Mutable(control).rows.push_back(cells);
}

void FakeForm::ListSetRows(ControlId control, std::vector<std::vector<std::string>> rows) {
  Mutable(control).rows = std::move(rows);
  Mutable(control).currentRow = -1;
}

int FakeForm::ListRowCount(ControlId control) const { return static_cast<int>(At(control).rows.size()); }

std::string FakeForm::ListCell(ControlId control, int row, int column) const {
  const Control& c = At(control);
  if (row < 0 || row >= static_cast<int>(c.rows.size())) return {};
  const auto& cells = c.rows[static_cast<size_t>(row)];
  if (column < 0 || column >= static_cast<int>(cells.size())) return {};
  return cells[static_cast<size_t>(column)];
}

int FakeForm::ListCurrentRow(ControlId control) const { return At(control).currentRow; }
int FakeForm::ListTopRow(ControlId control) const { return At(control).topRow; }

void FakeForm::ListSetRow(ControlId control, int row, const std::vector<std::string>& cells) {
  Mutable(control).rows.at(static_cast<size_t>(row)) = cells;
}

void FakeForm::ListInsertRow(ControlId control, int row, const std::vector<std::string>& cells) {
  auto& rows = Mutable(control).rows;
  rows.insert(rows.begin() + row, cells);
}

void FakeForm::ListDeleteRow(ControlId control, int row) {
  auto& rows = Mutable(control).rows;
  rows.erase(rows.begin() + row);
}

void FakeForm::ListShowAt(ControlId control, int currentRow, int topRow) {
  Control& c = Mutable(control);
  const int count = static_cast<int>(c.rows.size());
  c.currentRow = currentRow >= 0 && currentRow < count ? currentRow : -1;
  c.topRow = std::clamp(topRow, 0, std::max(count - 1, 0));
}

bool FakeForm::MenuItemEnabled(ControlId item) const { return menuEnabled.at(item); }
void FakeForm::SetMenuItemEnabled(ControlId item, bool enabled) { menuEnabled.at(item) = enabled; }
void FakeForm::PopupMenuAt(int x, int y) { popups.push_back({x, y}); }

void FakeForm::SetWindowTop(int top) {
  rect.top = top;
  positionWrites.push_back("top");
}

void FakeForm::SetWindowLeft(int left) {
  rect.left = left;
  positionWrites.push_back("left");
}

void FakeForm::ScrollTo(ControlId list, int row) { Mutable(list).topRow = row; }

void FakeForm::SelectRow(ControlId list, int row) {
  Control& c = Mutable(list);
  c.currentRow = row >= 0 && row < static_cast<int>(c.rows.size()) ? row : -1;
}

void FakeForm::SetComboIndex(ControlId combo, int index) { Mutable(combo).currentItem = index; }

void FakeForm::RunInBackground(std::function<void()> work, std::function<void()> done) {
  heldWork.emplace_back(std::move(work), std::move(done));
  if (!holdBackgroundWork) FinishBackgroundWork();
}

void FakeForm::FinishBackgroundWork() {
  for (auto& [work, done] : std::exchange(heldWork, {})) {
    work();
    if (!destroyed) done();
  }
}

}  // namespace korvane::testing
