// The import preview and the master password window as real modal windows.
#include <memory>

#include "import/unprotect_win32.h"
#include "servers/editor_opener_win32.h"
#include "servers/import_layout.h"
#include "servers/import_window.h"
#include "servers/master_password_layout.h"
#include "servers/master_password_window.h"
#include "ui/win32/window_win32.h"

namespace korvane {
namespace {

std::optional<std::string> AskMasterPassword(MainWindow& main, const std::string& file, bool wrong) {
  std::optional<std::string> answer;
  // Declared before the window, so the handlers outlive it (see RunEditor).
  std::unique_ptr<MasterPasswordWindow> handlers;
  std::unique_ptr<Win32Window> window = Win32Window::Create(MasterPasswordLayout(), [&](Form& form) -> EventSink& {
    handlers = std::make_unique<MasterPasswordWindow>(form, main, file, wrong, answer);
    return *handlers;
  });
  if (window) window->RunModal();
  return answer;
}

}  // namespace

void Win32EditorOpener::RunImport(MainWindow& main, const std::vector<std::string>& paths,
                                  std::vector<long long>& added) {
  ImportServices services;
  services.unprotect = import::UnprotectForCurrentUser;
  services.askMasterPassword = [&main](const std::string& file, bool wrong) {
    return AskMasterPassword(main, file, wrong);
  };
  std::unique_ptr<ImportWindow> handlers;
  std::unique_ptr<Win32Window> window = Win32Window::Create(ImportLayout(), [&](Form& form) -> EventSink& {
    handlers = std::make_unique<ImportWindow>(form, main, platform_, paths, services, added);
    return *handlers;
  });
  if (window) window->RunModal();
}

}  // namespace korvane
