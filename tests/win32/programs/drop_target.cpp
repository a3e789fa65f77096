// A window that takes dropped files, for checking that xdnd_drop's drops reach a Wine window
// as WM_DROPFILES. usage: drop_target.exe OUTPUT [--refuse]
// The dropped paths go into OUTPUT, UTF-8, one a line; the program then ends. With --refuse
// the window takes no files, as most windows do. It ends on its own after a minute too, so
// that a check that never drops leaves nothing running.
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

const wchar_t* output_path;

void write_paths(HDROP drop) {
  std::string text;
  UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
    path.resize(DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
    int size = WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()),
                                   nullptr, 0, nullptr, nullptr);
    std::string utf8(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), utf8.data(),
                        size, nullptr, nullptr);
    text += utf8 + "\n";
  }
  // Written whole and then closed, so that a reader never sees half a list.
  HANDLE file = CreateFileW(output_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DROPFILES:
      write_paths(reinterpret_cast<HDROP>(wparam));
      DragFinish(reinterpret_cast<HDROP>(wparam));
      DestroyWindow(hwnd);
      return 0;
    case WM_TIMER:
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  int argc;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 2 || argc > 3) return 1;
  output_path = argv[1];
  bool refuse = argc == 3 && lstrcmpW(argv[2], L"--refuse") == 0;

  WNDCLASSW window_class{};
  window_class.lpfnWndProc = window_proc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = L"KorvaneDropTarget";
  RegisterClassW(&window_class);
  HWND hwnd = CreateWindowExW(0, window_class.lpszClassName, L"Drop target",
                              WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400, 300, nullptr,
                              nullptr, instance, nullptr);
  if (!hwnd) return 1;
  if (!refuse) DragAcceptFiles(hwnd, TRUE);
  SetTimer(hwnd, 1, 60 * 1000, nullptr);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
