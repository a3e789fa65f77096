// One operator at one running korvane.exe: logging in, clicking rows, choosing from the list's
// menu, filling the editor, answering message boxes; and the stand-in client that records
// what a connect hands to it. Shared by the tests that drive the program as its own process.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/program.h"
#include "app_driver.h"
#include "win32/support/test_client.h"

namespace korvane::testing {

using namespace std::chrono_literals;

inline constexpr wchar_t kLoginCaption[] = L"Korvane      By.Oxle";

using Cells = std::vector<std::wstring>;

inline std::wstring MainCaption() {
  const std::string address = kWebAddress;
  return L"Korvane    " + std::wstring(address.begin(), address.end());
}

// Where the operator finds things, in the client area of their window.
namespace at {
constexpr POINT kPassword{100, 20};  // login window
constexpr POINT kList{100, 120};
constexpr POINT kResolution{532, 40};
constexpr POINT kHost{484, 161}, kPort{484, 185}, kUser{484, 209}, kServerPassword{484, 233};
constexpr POINT kNewLoginPassword{470, 186};
// The editor.
constexpr POINT kEditHost{74, 18}, kEditPort{222, 18}, kEditUser{74, 42}, kEditPassword{74, 66}, kEditRemark{74, 90};
}  // namespace at

inline HWND At(HWND top, const wchar_t* className, POINT p) { return ControlAt(top, className, p.x, p.y); }

// Waits until a control shows the text; the program may still be busy with earlier input.
// A deadline for failure, not a measure of speed.
inline bool WaitForText(HWND hwnd, const std::wstring& text) {
  for (int i = 0; i < 200; ++i) {
    if (WindowTitle(hwnd) == text) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

inline bool WaitForRowCount(HWND list, int count) {
  for (int i = 0; i < 200; ++i) {
    if (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == count) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

class Operator {
 public:
  // The program in `folder`, which holds its data file.
  explicit Operator(std::filesystem::path folder) : folder_(std::move(folder)) {
    // The pointer is shared by every test on the display. Over the program's list, its real
    // moves would make the list take the tests' clicks for drags; park it in the corner,
    // away from the centred windows, before the program starts.
    SetCursorPos(0, 0);
    Sleep(100);
  }

  void Start() {
    app = std::make_unique<AppProcess>(FromBuildPath(KORVANE_EXE), folder_);
    ASSERT_TRUE(app->started());
    login = app->WaitForWindow(kLoginCaption);
    ASSERT_NE(login, nullptr) << "no login window";
  }

  void TypePassword(const std::wstring& password) {
    HWND edit = At(login, L"Edit", at::kPassword);
    ASSERT_NE(edit, nullptr);
    TypeInto(edit, password);
    PostKey(edit, VK_RETURN);
  }

  // Logs in and finds the main window and its list.
  void LogIn(const std::wstring& password) {
    Start();
    TypePassword(password);
    main = app->WaitForWindow(MainCaption());
    ASSERT_NE(main, nullptr) << "no main window";
    EXPECT_TRUE(app->WaitUntilGone(login));
    EXPECT_EQ(app->VisibleWindows(), std::vector<HWND>{main});
    list = At(main, L"SysListView32", at::kList);
    ASSERT_NE(list, nullptr);
  }

  // Answers the program's next message box of this caption; returns its text.
  std::wstring Answer(const std::wstring& caption, int button) {
    HWND box = app->WaitForWindow(caption, L"#32770");
    if (box == nullptr) return L"<no message box " + caption + L">";
    const std::wstring text = MessageText(box);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    app->WaitUntilGone(box);
    return text;
  }

  // A left click on a row. The list view gives the click (NM_CLICK) when the release follows
  // the press with no move of the shared pointer between them, so both are sent back to back.
  void ClickRow(int row) {
    const POINT p = app->ListRowPoint(list, row);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y), 0, 20000, &ignored);
    SendMessageTimeoutW(list, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y), 0, 20000, &ignored);
  }

  // The second press of a double click on the row the first one hit.
  void SecondClickOnRow(int row) {
    const POINT p = app->ListRowPoint(list, row);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(p.x, p.y), 0, 20000, &ignored);
    SendMessageTimeoutW(list, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y), 0, 20000, &ignored);
  }

  // A right click on a row (or below the rows) and the menu item at `index` (添加, 修改, 删除,
  // 关于). Press and release are both posted, in that order: the list view tracks the button
  // after the press and takes the release from the queue. Nothing here waits for the program,
  // which the menu and the editor after it keep busy.
  void ChooseFromListMenu(int row, int index) {
    const POINT p = row >= 0 ? app->ListRowPoint(list, row) : POINT{40, 200};
    PostMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(p.x, p.y));
    PostMessageW(list, WM_RBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    HWND menu = app->WaitForWindow(L"", L"#32768");
    ASSERT_NE(menu, nullptr) << "no popup menu";
    for (int i = 0; i <= index; ++i) PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
  }

  // Fills the editor that opened with this caption and confirms with 确认 (or Enter in the
  // remark box); the values shown when it opened come back.
  Cells Edit(const std::wstring& caption, const std::optional<Cells>& values, bool enterInRemark = false) {
    HWND editor = app->WaitForWindow(caption);
    if (editor == nullptr) return {L"<no editor " + caption + L">"};
    EXPECT_FALSE(IsWindowEnabled(main));
    const POINT boxes[] = {at::kEditHost, at::kEditPort, at::kEditUser, at::kEditPassword, at::kEditRemark};
    Cells shown;
    for (size_t i = 0; i < 5; ++i) {
      HWND box = At(editor, L"Edit", boxes[i]);
      shown.push_back(WindowTitle(box));
      if (values) {
        TypeInto(box, (*values)[i]);
        EXPECT_TRUE(WaitForText(box, (*values)[i]));
      }
    }
    if (enterInRemark) {
      PostKey(At(editor, L"Edit", at::kEditRemark), VK_RETURN);
    } else {
      Click(ControlWithText(editor, L"Button", L"确认"));
    }
    EXPECT_TRUE(app->WaitUntilGone(editor));
    EXPECT_TRUE(IsWindowEnabled(main));
    return shown;
  }

  Cells Details() {
    Cells texts;
    for (POINT p : {at::kHost, at::kPort, at::kUser, at::kServerPassword}) texts.push_back(WindowTitle(At(main, L"Edit", p)));
    return texts;
  }

  std::unique_ptr<AppProcess> app;
  HWND login = nullptr, main = nullptr, list = nullptr;

 private:
  std::filesystem::path folder_;
};

// The stand-in client sits where the system's client does and records into a log folder.
class StandInClient {
 public:
  void Install() {
    // The client reads its log folder through the ANSI API: keep the name ASCII.
    log = Utf8(logDir.path()) + "\\";
    logVariable.emplace("KORVANE_TEST_CLIENT_LOG", log);
    // The program's temporary folder, where it writes the connection file.
    tmpVariable.emplace("TMP", Utf8(tempDir.path()));
    tempVariable.emplace("TEMP", Utf8(tempDir.path()));
    ASSERT_TRUE(CopyFileA(Dos(KORVANE_TEST_CLIENT).c_str(), SystemClientPath().c_str(), FALSE));
  }
  void Remove() {
    WaitForClientExit(log);
    DeleteFileA(SystemClientPath().c_str());
  }

  struct Received {
    std::string commandLine, file;
  };
  // What the client received, once it recorded it; the record is cleared for the next.
  Received ReceivedByClient() {
    if (!WaitForClientRecord(log)) return {"<no client>", ""};
    Received got{ReadAll(log + "command_line.txt"), ReadAll(log + "text.rdp")};
    WaitForClientExit(log);
    for (const char* name : {"done.txt", "text.rdp", "command_line.txt", "module.txt"}) DeleteFileA((log + name).c_str());
    return got;
  }

  // The password that the file's protected blob turns back into.
  static std::u16string PasswordIn(const std::string& file) {
    const std::string key = "password 51:b:";
    const auto start = file.find(key);
    if (start == std::string::npos) return u"<no password line>";
    const auto end = file.find("\r\n", start);
    const auto blob = Unprotect(Unhex(file.substr(start + key.size(), end - start - key.size())));
    if (!blob.ok || blob.data.size() % 2 != 1) return u"<not protected>";
    std::u16string text;
    for (size_t i = 0; i + 3 < blob.data.size(); i += 2) text += static_cast<char16_t>(blob.data[i] | blob.data[i + 1] << 8);
    return text;
  }

  static std::string Lines(const std::string& file, const std::string& from, size_t count) {
    size_t start = file.find(from);
    if (start == std::string::npos) return "<no " + from + ">";
    size_t end = start;
    for (size_t i = 0; i < count && end != std::string::npos; ++i) end = file.find("\r\n", end + 1);
    return file.substr(start, end == std::string::npos ? std::string::npos : end - start);
  }

  TempDir logDir{"korvane client log"};
  TempDir tempDir{"korvane temp"};
  std::string log;
  std::optional<EnvOverride> logVariable, tmpVariable, tempVariable;
};


}  // namespace korvane::testing
