#include "servers/editor_window.h"

#include <optional>
#include <string>

#include "servers/main_window.h"
#include "crypto/crypto.h"
#include "store/store.h"
#include "store/team.h"
#include "text/bilingual.h"

namespace korvane {
namespace {

using C = EditorControl;

// The five boxes and the fields they show, in the order they are written.
struct FieldBox {
  C box;
  const char* field;
  const char* name = nullptr;  // as the editor labels it, for a message that names the field
};
constexpr FieldBox kWriteOrder[] = {
    {C::编辑框_Host, "服务器名", "主机"}, {C::编辑框_端口, "端口", "端口"}, {C::编辑框_用户名, "用户名", "用户名"},
    {C::编辑框_密码, "密码", "密码"},     {C::编辑框_备注, "备注", "备注"},
};
// Filled in this order when a server is changed.
constexpr FieldBox kReadOrder[] = {
    {C::编辑框_Host, "服务器名"}, {C::编辑框_用户名, "用户名"}, {C::编辑框_密码, "密码"},
    {C::编辑框_端口, "端口"},     {C::编辑框_备注, "备注"},
};

bool OpenServer(RecordSet& records, int id) {
  return records.OpenSql("select * from Server where id=?", {static_cast<long long>(id)});
}

}  // namespace

EditorWindow::EditorWindow(Form& form, MainWindow& main, Platform& platform)
    : form_(form), main_(main), platform_(platform) {}

void EditorWindow::OnEvent(const Event& event) {
  switch (event.kind) {
    case EventKind::Created:
      InitEditor();
      break;
    case EventKind::Clicked:
      if (event.control == Id(C::按钮1)) SaveServer();
      if (event.control == Id(C::按钮2)) CloseEditor();
      break;
    case EventKind::KeyDown:
      if (event.control == Id(C::编辑框_备注) && event.key == kKeyEnter) SaveServer();
      break;
    default:
      break;
  }
}

void EditorWindow::InitEditor() {
  if (CurrentServerId != 0) {
    form_.SetCaption("修改服务器");
    RecordSet& records = main_.records();
    OpenServer(records, CurrentServerId);
    // A server deleted meanwhile reads as empty text in every box. A sealed password that does
    // not open is reported and its box left empty, where the operator can type it anew.
    bool unopened = false;
    const std::string host = records.ReadText("服务器名");
    for (const FieldBox& f : kReadOrder) {
      auto text = f.box == C::编辑框_密码 ? main_.session().Open(records.ReadText(f.field), host)
                                          : std::optional<std::string>(records.ReadText(f.field));
      unopened = unopened || !text;
      form_.SetText(Id(f.box), text.value_or(""));
    }
    if (unopened) main_.ReportSealedPassword();
  } else {
    form_.SetCaption("添加服务器");
  }
  main_.CentreOnMainWindow(form_);
  form_.SetFocus(Id(C::编辑框_Host));
}

void EditorWindow::SaveServer() {
  RecordSet& records = main_.records();
  // Only the row that changes is read, so no other server's password is held meanwhile. The
  // mode is decided now, not when the window opened: a server that another copy of the
  // program deleted meanwhile is added anew.
  bool saved = records.OpenTableWhere("Server", "id = ?", {static_cast<long long>(CurrentServerId)});
  const bool modify = CurrentServerId != 0 && records.ReadInt("id") == CurrentServerId;
  // A protected file gets the password sealed; a file whose protection changed since the login
  // gets nothing written with the session's outdated idea of it.
  saved = saved && main_.session().Matches(main_.connection().Handle()) && (modify || records.AddNew());
  // A protected file's password is sealed for the host it is saved with.
  const std::string host = form_.Text(Id(C::编辑框_Host));
  for (const FieldBox& f : kWriteOrder) {
    auto text = f.box == C::编辑框_密码 ? main_.session().Seal(form_.Text(Id(f.box)), host)
                                        : std::optional<std::string>(form_.Text(Id(f.box)));
    saved = saved && text && records.WriteText(f.field, *text);
  }
  // Update saves an add as well as a change, and tells whether the file took it.
  saved = saved && records.Update();
  if (!saved) {
    // A half-written record must not be saved by the next open. Closing the window now would
    // throw away what the operator typed without a word, so it stays open.
    records.CancelUpdate();
    const TeamReason why = main_.connection().TeamFailure().reason;
    if (modify && main_.connection().InTeam() &&
        (why == TeamReason::kChangedByAnother || why == TeamReason::kGone)) {
      ReportOtherChange();
      return;
    }
    if (!main_.ReportTeamFailure()) {
      platform_.ShowMessage(kSaveFailedMessage, kDefaultMessageCaption, MessageButtons::Ok, MessageIcon::None);
    }
    return;
  }
  main_.LoadServerList();
  form_.Destroy();
}

void EditorWindow::ReportOtherChange() {
  // Another member saved this server while it was being edited. What they saved is read now
  // (and so counts as seen): the message names each field where it differs from what was
  // typed, which stays in the boxes, so that a second 确认 writes over their change knowingly.
  RecordSet& records = main_.records();
  std::string message;
  if (!OpenServer(records, CurrentServerId) && main_.connection().TeamFailure().reason != TeamReason::kNone) {
    main_.ReportTeamFailure();
    return;
  }
  if (records.RecordCount() <= 0) {
    message = kDeletedWhileEditingMessage;
  } else {
    std::string differences;
    const std::string host = records.ReadText("服务器名");
    for (const FieldBox& f : kWriteOrder) {
      std::string typed = form_.Text(Id(f.box));
      if (f.box == C::编辑框_密码) {
        auto now = main_.session().Open(records.ReadText(f.field), host);
        if (!now || *now != typed) differences += FillIn(kPasswordDiffersLine, {f.name});
        if (now) crypto::Wipe(now->data(), now->size());
      } else if (const std::string now = records.ReadText(f.field); now != typed) {
        differences += FillIn(kFieldDiffersLine, {f.name, now});
      }
      crypto::Wipe(typed.data(), typed.size());
    }
    message = FillIn(kChangedWhileEditingMessage, {differences.empty() ? kNoDifferenceLine : differences});
  }
  // The list is read anew under the message, as after any change of another's.
  main_.ReportChangedFile(message.c_str());
}

void EditorWindow::CloseEditor() { form_.Destroy(); }

}  // namespace korvane
