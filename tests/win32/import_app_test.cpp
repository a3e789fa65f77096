// korvane.exe as an operator meets the import: server lists dragged from the desktop's file
// manager onto the main window (the X drag and drop that Wine turns into WM_DROPFILES), the
// preview, the master password window, 导入 and 取消; the data file after each.
#include <gtest/gtest.h>

#include <functional>

#include "app/program.h"
#include "operator.h"
#include "support/mremoteng_sealing.h"
#include "win32/support/dpapi.h"

namespace korvane::testing {
namespace {

constexpr wchar_t kInfo[] = L"信息：";

// The Linux path Wine keeps a Windows path at: the file manager drags those.
std::string UnixPath(const std::filesystem::path& path) {
  using ToUnix = char*(CDECL*)(const wchar_t*);
  static const auto toUnix =
      reinterpret_cast<ToUnix>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name"));
  char* unix = toUnix ? toUnix(path.wstring().c_str()) : nullptr;
  const std::string text = unix ? unix : "";
  HeapFree(GetProcessHeap(), 0, unix);
  return text;
}

class ImportAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeDataFile(data);
    AddServer(data, "10.0.0.1", "3389", "ops", "旧 密码", "已有");
    op.LogIn(L"admin");
  }
  void TearDown() override {
    if (op.main == nullptr) return;
    PostKey(op.main, VK_ESCAPE);
    EXPECT_EQ(op.app->WaitForExit(20s), 0u);
  }

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = files.File(name);
    std::filesystem::create_directories(std::filesystem::u8path(path).parent_path());
    WriteBytes(path, bytes);
    return path;
  }

  // Drags the files or folders onto the middle of the main window's list.
  void Drop(const std::vector<std::string>& paths) {
    const auto window = reinterpret_cast<UINT_PTR>(GetPropW(op.main, L"__wine_x11_whole_window"));
    ASSERT_NE(window, 0u) << "the main window has no X window";
    RECT r;
    GetWindowRect(op.list, &r);
    std::wstring arguments = std::to_wstring(window) + L" " + std::to_wstring((r.left + r.right) / 2) + L" " +
                             std::to_wstring((r.top + r.bottom) / 2);
    for (const auto& path : paths) {
      const std::string unix = UnixPath(std::filesystem::u8path(path));
      arguments += L" \"" + std::filesystem::u8path(unix).wstring() + L"\"";
    }
    // A Linux program, which Wine starts as it is but gives no handle to wait on: what the
    // drop brings (a window) is waited for instead, and the program says on the test's output
    // why a drop failed.
    const std::wstring exe = FromBuildPath(KORVANE_XDND_DROP).wstring();
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        << GetLastError();
  }

  HWND Preview() {
    HWND preview = op.app->WaitForWindow(L"导入服务器");
    // Read in the background: what it is doing shows below the lists until the rows are there.
    HWND progress = preview ? ControlAt(preview, L"Static", 100, 362) : nullptr;
    for (int i = 0; i < 400 && progress && !WindowTitle(progress).empty(); ++i) std::this_thread::sleep_for(50ms);
    return preview;
  }
  std::vector<Cells> Rows(HWND preview, int y, int columns) {
    HWND list = ControlAt(preview, L"SysListView32", 100, y);
    std::vector<Cells> rows;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) rows.push_back(op.app->ListRow(list, row, columns));
    return rows;
  }
  std::vector<Cells> Added(HWND preview) { return Rows(preview, 100, 4); }
  std::vector<Cells> Apart(HWND preview) { return Rows(preview, 280, 2); }

  std::vector<int> SelectedRows() {
    std::vector<int> rows;
    for (int row = -1; (row = static_cast<int>(SendMessageW(op.list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) != -1;) {
      rows.push_back(row);
    }
    return rows;
  }

  TempDir dir{"korvane 导入 进程"}, files{"korvane 导入 文件"};
  std::string data = dir.File("mstsc.mdb");
  Operator op{dir.path()};
};

TEST_F(ImportAppTest, AnRdcmanFileAndAFolderOfRdpFilesComeInWithTheirProtectedPasswords) {
  const std::string rdg = Write(
      "机房 A.rdg",
      "<RDCMan programVersion=\"2.7\" schemaVersion=\"3\"><file><group><properties><name>机房A</name></properties>"
      "<server><properties><name>web-01</name></properties><logonCredentials inherit=\"None\"><userName>运维</userName>"
      "<password>" + Base64(ProtectForUser("网站 密码", false)) + "</password></logonCredentials></server>"
      "<server><properties><name>ssh-01</name></properties><logonCredentials inherit=\"None\"><userName>ops</userName>"
      "<password>" + Base64(ProtectForUser("x", false).substr(0, 40)) + "</password></logonCredentials></server>"
      "</group></file></RDCMan>");
  Drop({rdg});
  HWND preview = Preview();
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(Added(preview), (std::vector<Cells>{{L"机房A/web-01", L"web-01", L"3389", L"运维"},
                                               {L"机房A/ssh-01", L"ssh-01", L"3389", L"ops"}}));
  // The password that did not open is named, with what to do about it.
  const auto apart = Apart(preview);
  ASSERT_EQ(apart.size(), 1u);
  EXPECT_EQ(apart[0][0], L"机房 A.rdg: 机房A/ssh-01");
  EXPECT_NE(apart[0][1].find(L"修改"), std::wstring::npos) << apart[0][1];
  Click(ControlWithText(preview, L"Button", L"导入"));
  EXPECT_EQ(op.Answer(kInfo, IDOK), L"已导入 2 台服务器。");
  ASSERT_TRUE(WaitForRowCount(op.list, 3));
  EXPECT_EQ(SelectedRows(), (std::vector<int>{1}));
  // The list has the focus, without which it does not show its selection.
  GUITHREADINFO gui{sizeof gui};
  for (int i = 0; i < 100 && (!GetGUIThreadInfo(GetWindowThreadProcessId(op.main, nullptr), &gui) || gui.hwndFocus != op.list); ++i) {
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_EQ(gui.hwndFocus, op.list);
  // The details, read from the data file, show the first new server with its opened password.
  EXPECT_EQ(op.Details(), (Cells{L"web-01", L"3389", L"运维", L"网站 密码"}));

  // A folder of .rdp files: the server the list has already is shown apart and not added.
  Write("连接/新.rdp", "full address:s:10.0.0.9:3390\r\nusername:s:admin\r\npassword 51:b:" +
                           HexUpper(ProtectForUser("新 密码", true)) + "\r\n");
  Write("连接/已有.rdp", "full address:s:10.0.0.1\r\nusername:s:ops\r\npassword 51:b:" +
                             HexUpper(ProtectForUser("旧 密码", true)) + "\r\n");
  Drop({files.File("连接")});
  preview = Preview();
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(Added(preview), (std::vector<Cells>{{L"新", L"10.0.0.9", L"3390", L"admin"}}));
  EXPECT_EQ(Apart(preview), (std::vector<Cells>{{L"已有", L"列表中已有，主机、端口、用户和密码都相同"}}));
  // Enter takes the default button, 导入.
  PostKey(preview, VK_RETURN);
  EXPECT_EQ(op.Answer(kInfo, IDOK), L"已导入 1 台服务器。");
  ASSERT_TRUE(WaitForRowCount(op.list, 4));
  EXPECT_EQ(SelectedRows(), (std::vector<int>{3}));
  EXPECT_EQ(op.Details(), (Cells{L"10.0.0.9", L"3390", L"admin", L"新 密码"}));
}

TEST_F(ImportAppTest, AMasterPasswordIsAskedAgainWhenWrongAndACancelledPreviewWritesNothing) {
  const std::string master = "主 密码";
  const std::string gcm = "EncryptionEngine=\"AES\" BlockCipherMode=\"GCM\" KdfIterations=\"1000\" ";
  const std::string confCons = Write(
      "confCons.xml", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<mrng:Connections xmlns:mrng=\"http://mremoteng.org\" " +
                          gcm + "Protected=\"" + SealGcm(master, "ThisIsProtected", 1000) + "\">" +
                          "<Node Name=\"db-01\" Type=\"Connection\" Protocol=\"RDP\" Hostname=\"10.0.0.5\" Username=\"dba\" "
                          "Password=\"" + SealGcm(master, "库 密码", 1000) + "\"/></mrng:Connections>");
  const std::string before = ReadAll(data);
  Drop({confCons});
  HWND ask = op.app->WaitForWindow(L"mRemoteNG 主密码");
  ASSERT_NE(ask, nullptr);
  TypeInto(ControlAt(ask, L"Edit", 100, 58), L"不对");
  Click(ControlWithText(ask, L"Button", L"确定"));
  ASSERT_TRUE(op.app->WaitUntilGone(ask));
  ask = op.app->WaitForWindow(L"mRemoteNG 主密码");
  ASSERT_NE(ask, nullptr);
  EXPECT_NE(ControlWithText(ask, L"Static", L"主密码不对，请重新输入。"), nullptr);
  HWND box = ControlAt(ask, L"Edit", 100, 58);
  TypeInto(box, L"主 密码");
  ASSERT_TRUE(WaitForText(box, L"主 密码"));
  PostKey(box, VK_RETURN);
  HWND preview = Preview();
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(Added(preview), (std::vector<Cells>{{L"db-01", L"10.0.0.5", L"3389", L"dba"}}));
  Click(ControlWithText(preview, L"Button", L"取消"));
  ASSERT_TRUE(op.app->WaitUntilGone(preview));
  EXPECT_EQ(SendMessageW(op.list, LVM_GETITEMCOUNT, 0, 0), 1);
  EXPECT_EQ(ReadAll(data), before);

  // A file that is no server list gets a message that names what can be imported.
  Drop({Write("笔记.txt", "买菜\r\n")});
  const std::wstring message = op.Answer(kInfo, IDOK);
  EXPECT_EQ(message.rfind(L"“笔记.txt”不是可以导入的服务器列表。", 0), 0u) << message;
  EXPECT_NE(message.find(L"confCons.xml"), std::wstring::npos);
  EXPECT_EQ(ReadAll(data), before);
}

TEST_F(ImportAppTest, ServersAddedElsewhereWhileThePreviewIsOpenAreNotAddedAgain) {
  Drop({Write("三台.csv", "host,port,user,password,remark\r\n10.0.0.7,3389,ops,七 密码,七\r\n"
                          "10.0.0.8,3389,ops,八 密码,八\r\n10.0.0.9,3389,ops,九 密码,九\r\n")});
  HWND preview = Preview();
  ASSERT_NE(preview, nullptr);
  ASSERT_EQ(Added(preview).size(), 3u);
  // Meanwhile another program (korvane-data import, a second korvane.exe) adds two of them.
  AddServer(data, "10.0.0.7", "3389", "ops", "七 密码", "七");
  AddServer(data, "10.0.0.8", "3389", "ops", "八 密码", "别处的备注");
  Click(ControlWithText(preview, L"Button", L"导入"));
  EXPECT_EQ(op.Answer(kInfo, IDOK), L"2 台在预览后已出现在列表中，没有再添加。");
  EXPECT_EQ(op.Answer(kInfo, IDOK), L"已导入 1 台服务器。");
  // The list as the main window read it back from the file: each server once.
  ASSERT_TRUE(WaitForRowCount(op.list, 4));
  std::vector<std::wstring> hosts;
  for (int row = 0; row < 4; ++row) hosts.push_back(op.app->ListRow(op.list, row, 3)[2]);
  std::sort(hosts.begin(), hosts.end());
  EXPECT_EQ(hosts, (std::vector<std::wstring>{L"10.0.0.1", L"10.0.0.7", L"10.0.0.8", L"10.0.0.9"}));
}

// Where the program's memory holds text with `marker` in it: `found` is called with each
// place's bytes from the marker on, and the byte before it.
void SearchMemory(DWORD process, const std::string& marker, const std::function<void(std::string_view, char)>& found) {
  HANDLE handle = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process);
  ASSERT_NE(handle, nullptr) << GetLastError();
  const std::boyer_moore_horspool_searcher search(marker.begin(), marker.end());
  MEMORY_BASIC_INFORMATION region{};
  std::string bytes;
  for (auto* at = static_cast<char*>(nullptr); VirtualQueryEx(handle, at, &region, sizeof region) == sizeof region;
       at = static_cast<char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State != MEM_COMMIT || (region.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0) continue;
    bytes.resize(region.RegionSize);
    SIZE_T read = 0;
    if (!ReadProcessMemory(handle, region.BaseAddress, bytes.data(), bytes.size(), &read)) continue;
    const std::string_view view(bytes.data(), read);
    for (auto it = std::search(view.begin(), view.end(), search); it != view.end();
         it = std::search(it + 1, view.end(), search)) {
      found(view.substr(static_cast<std::size_t>(it - view.begin())), it == view.begin() ? '\0' : *(it - 1));
    }
  }
  CloseHandle(handle);
}

TEST_F(ImportAppTest, ACancelledPreviewLeavesNoCopyOfAPasswordInTheProgramsMemory) {
  // Forty servers: more than a few, so that every list of them grows a few times over. Their
  // passwords have a marker after the first character; most are short (kept inside a string
  // itself), every fourth long (kept on the heap).
  std::vector<std::string> passwords;
  std::string csv = "host,port,user,password,remark\r\n";
  for (int i = 0; i < 40; ++i) {
    const std::string number = (i < 10 ? "0" : "") + std::to_string(i);
    passwords.push_back(std::string(1, static_cast<char>('A' + i % 26)) + "kvPW" + number +
                        (i % 4 == 0 ? "-a longer one on the heap" : "!z"));
    csv += "10.1.0." + std::to_string(i) + ",3389,ops," + passwords.back() + ",s" + number + "\r\n";
  }
  Drop({Write("四十台.csv", csv)});
  HWND preview = Preview();
  ASSERT_NE(preview, nullptr);
  ASSERT_EQ(Added(preview).size(), 40u);
  Click(ControlWithText(preview, L"Button", L"取消"));
  ASSERT_TRUE(op.app->WaitUntilGone(preview));
  DWORD process = 0;
  GetWindowThreadProcessId(op.main, &process);
  // A copy whole, and one without its first character (what a string moved from keeps).
  std::vector<std::string> whole, tails;
  SearchMemory(process, "kvPW", [&](std::string_view at, char before) {
    for (const std::string& password : passwords) {
      if (!at.starts_with(std::string_view(password).substr(1))) continue;
      (before == password[0] ? whole : tails).push_back(password);
    }
  });
  EXPECT_EQ(whole, std::vector<std::string>{});
  EXPECT_EQ(tails, std::vector<std::string>{});
}

}  // namespace
}  // namespace korvane::testing
