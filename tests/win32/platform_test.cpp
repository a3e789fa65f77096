// The real message boxes: task-modal with no owner, the default caption, the buttons and the
// icon each kind of message asks for, and the answer.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/platform_win32.h"
#include "ui/win32/window_win32.h"
#include "win32/support/common_controls6.h"
#include "win32/support/drive_win32.h"
#include "win32/support/toolkit_fixture.h"

namespace korvane {
namespace {

struct SeenBox {
  std::wstring caption, text;
  bool ok = false, yes = false, no = false, cancel = false, icon = false;
  bool otherWindowEnabled = true;
};

class MessageBoxTest : public testing::ToolkitWindowTest {
 protected:
  // Shows the box and answers it with `button` from a watching thread, noting what it saw.
  MessageAnswer Show(const std::string& text, const std::string& caption, MessageButtons buttons, MessageIcon icon,
                     int button) {
    HWND other = W().Handle();
    testing::WindowWatcher watcher(L"#32770", [&](HWND box) {
      seen.caption = testing::WindowTextOf(box);
      seen.text = testing::MessageBoxText(box);
      seen.ok = GetDlgItem(box, IDOK) != nullptr;
      seen.yes = GetDlgItem(box, IDYES) != nullptr;
      seen.no = GetDlgItem(box, IDNO) != nullptr;
      seen.cancel = GetDlgItem(box, IDCANCEL) != nullptr;
      seen.icon = testing::HasIcon(box);
      seen.otherWindowEnabled = IsWindowEnabled(other);
      testing::PressMessageBoxButton(box, button);
    });
    const MessageAnswer answer = platform.ShowMessage(text, caption, buttons, icon);
    EXPECT_TRUE(watcher.Acted());
    return answer;
  }

  Win32Platform platform;
  SeenBox seen;
};

TEST_F(MessageBoxTest, AnInformationHasTheDefaultCaptionAnOkButtonAndNoIcon) {
  EXPECT_EQ(Show("该填的还没填完整,填完了再说!", "", MessageButtons::Ok, MessageIcon::None, IDOK), MessageAnswer::Ok);
  EXPECT_EQ(seen.caption, L"信息：");
  EXPECT_EQ(seen.text, L"该填的还没填完整,填完了再说!");
  EXPECT_TRUE(seen.ok);
  EXPECT_FALSE(seen.yes || seen.no || seen.cancel);
  EXPECT_FALSE(seen.icon);
  // Task-modal: the thread's other windows are disabled while the box is up, and back after.
  EXPECT_FALSE(seen.otherWindowEnabled);
  EXPECT_TRUE(IsWindowEnabled(W().Handle()));
}

TEST_F(MessageBoxTest, AQuestionHasYesNoAndTheQuestionIconAndGivesTheAnswer) {
  EXPECT_EQ(Show("确认删除服务器？", "询问", MessageButtons::YesNo, MessageIcon::Question, IDNO), MessageAnswer::No);
  EXPECT_EQ(seen.caption, L"询问");
  EXPECT_TRUE(seen.yes && seen.no);
  EXPECT_TRUE(seen.icon);
  EXPECT_EQ(Show("确认删除服务器？", "询问", MessageButtons::YesNo, MessageIcon::Question, IDYES), MessageAnswer::Yes);
}

}  // namespace
}  // namespace korvane
