// The program's exe carries a manifest that asks for version 6 of the common controls; test
// programs carry none and would get version 5 buttons, edits and combo boxes, which behave
// differently (version 6 masks passwords with a bullet, and Wine's version 6 auto radio box
// unchecks its group even on BM_SETCHECK). Including this header activates version 6 on the
// test program's main thread before any test runs.
#pragma once

#include <windows.h>

#include <string>

namespace korvane::testing {

inline bool ActivateCommonControls6() {
  static const char kManifest[] =
      R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
      R"(<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">)"
      R"(<assemblyIdentity type="win32" name="Korvane.Tests" version="1.0.0.0" processorArchitecture="amd64"/>)"
      R"(<dependency><dependentAssembly>)"
      R"(<assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0")"
      R"( processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/>)"
      R"(</dependentAssembly></dependency></assembly>)";
  // An activation context reads its manifest from a file: write one, load it, remove it.
  wchar_t temp[MAX_PATH];
  const DWORD n = GetTempPathW(MAX_PATH, temp);
  if (n == 0 || n >= MAX_PATH) return false;
  const std::wstring path =
      std::wstring(temp) + L"korvane-test-" + std::to_wstring(GetCurrentProcessId()) + L".manifest";
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(file, kManifest, sizeof kManifest - 1, &written, nullptr);
  CloseHandle(file);
  ACTCTXW context{};
  context.cbSize = sizeof context;
  context.lpSource = path.c_str();
  HANDLE activation = CreateActCtxW(&context);
  DeleteFileW(path.c_str());
  if (activation == INVALID_HANDLE_VALUE) return false;
  ULONG_PTR cookie = 0;
  return ActivateActCtx(activation, &cookie) != FALSE;
}

inline const bool kCommonControls6Active = ActivateCommonControls6();

}  // namespace korvane::testing
