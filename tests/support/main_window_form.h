// The main window as the connect meets it, for tests of the connection file and the connect.
#pragma once

#include <string>

#include "support/fake_form.h"
#include "servers/main_controls.h"
#include "servers/main_layout.h"

namespace korvane::testing {

// The main window as its creation leaves it (窗口 checked), with a server's details filled in.
inline FakeForm OpenedMainWindow(const std::string& host, const std::string& port, const std::string& user,
                                 const std::string& password) {
  FakeForm form(MainLayout());
  form.SetChecked(Id(MainControl::单选框_窗口), true);
  form.SetText(Id(MainControl::编辑框_Host), host);
  form.SetText(Id(MainControl::编辑框_端口), port);
  form.SetText(Id(MainControl::编辑框_用户名), user);
  form.SetText(Id(MainControl::编辑框_密码), password);
  return form;
}

}  // namespace korvane::testing
