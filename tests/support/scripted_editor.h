// Opens the editor over a recording form and lets a test act as the operator while it is
// "open": the script runs between the window's creation and the opener's return, as the
// modal loop would.
#pragma once

#include <functional>
#include <memory>
#include <utility>

#include "servers/editor_layout.h"
#include "servers/editor_window.h"
#include "support/fake_form.h"

namespace korvane::testing {

class ScriptedEditor : public EditorOpener {
 public:
  explicit ScriptedEditor(Platform& platform) : platform_(platform) {}

  using Script = std::function<void(FakeForm& form, EditorWindow& editor)>;
  // What the operator does in the next editor that opens; nothing when unset.
  Script script;

  void RunEditor(MainWindow& main) override {
    form = std::make_unique<FakeForm>(EditorLayout());
    editor = std::make_unique<EditorWindow>(*form, main, platform_);
    ++runs;
    editor->OnEvent({EventKind::Created});
    if (script) script(*form, *editor);
  }

  // Imports are previewed in their own tests; here the paths are only recorded.
  void RunImport(MainWindow&, const std::vector<std::string>& paths, std::vector<long long>&) override {
    importedPaths.push_back(paths);
    if (duringImport) std::exchange(duringImport, nullptr)();
  }
  // What happens while the next preview is open.
  std::function<void()> duringImport;
  std::vector<std::vector<std::string>> importedPaths;

  int runs = 0;
  // The last editor, kept for the test to look at after it "closed".
  std::unique_ptr<FakeForm> form;
  std::unique_ptr<EditorWindow> editor;

 private:
  Platform& platform_;
};

}  // namespace korvane::testing
