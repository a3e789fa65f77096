// Everything the program asks of the operating system, other than its windows.
// Handlers see only this interface; platform_win32.cpp implements it for real and the
// tests implement it with a recorder.
#pragma once

#include <string>
#include <vector>

namespace korvane {

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Question };
enum class MessageAnswer { Ok, Yes, No };

struct Point {
  int x = 0;
  int y = 0;
};

// One kind of file an open-file dialog offers: what the operator reads, and the patterns that
// pick its files, separated by ";".
struct FileFilter {
  std::string name;      // 文本文件 (*.txt)
  std::string patterns;  // *.txt
};

// The caption that every message box without a caption of its own gets.
inline constexpr const char* kDefaultMessageCaption = "信息：";

class Platform {
 public:
  virtual ~Platform() = default;

  // A task-modal message box with no owner window. An empty caption becomes
  // kDefaultMessageCaption. Returns the button the operator pressed.
  virtual MessageAnswer ShowMessage(const std::string& text, const std::string& caption,
                                    MessageButtons buttons, MessageIcon icon) = 0;

  // Hands a web address to the shell's "open" verb; the result is ignored.
  virtual void OpenWithShell(const std::string& target) = 0;

  // Ends the program, with exit code 0 unless a failure names another. The real one does not
  // return; a test's recorder does, so callers return straight after calling it.
  virtual void EndProgram(int exitCode = 0) = 0;

  // True when any file-system entry (file or directory) exists at the path.
  virtual bool PathExists(const std::string& path) = 0;

  // Full path of the running executable (UTF-8, backslashes).
  virtual std::string ExecutablePath() = 0;

  // Screen position of the mouse cursor.
  virtual Point CursorPosition() = 0;

  // The busy mouse pointer over the program's windows while a step that takes a noticeable
  // time runs (`busy`), then the normal one again. It stays while the message loop runs
  // meanwhile, as it does while the step runs in the background.
  virtual void ShowBusyPointer(bool busy) = 0;

  // The user's temporary directory with a trailing backslash, or the empty text when the
  // system cannot tell it.
  virtual std::string TempDirectory() = 0;

  // The password protected for the current Windows user, as uppercase hexadecimal text of
  // the protected blob; empty when protection fails.
  virtual std::string ProtectPasswordHex(const std::string& password) = 0;

  // True when every character of the text has a code page 936 byte form, as what goes into
  // the connection file must.
  virtual bool FitsCodePage936(const std::string& text) = 0;

  // Creates or truncates the file and writes the text into it as code page 936 bytes.
  virtual bool WriteConnectionFile(const std::string& path, const std::string& text) = 0;

  // Starts the Remote Desktop client with this command line; true when the process started.
  virtual bool LaunchClient(const std::string& commandLine) = 0;

  // The SHA-256 thumbprint of the certificate connection files are to be signed with, as the
  // per-user setting HKCU\Software\Korvane\SigningCertificate holds it; the empty text when
  // it is not set, and files go out unsigned.
  virtual std::string SigningCertificate() = 0;

  // A detached PKCS#7 signature (SHA-256, with the certificate's chain) of the bytes, made with
  // the certificate of that thumbprint in the current user's personal store. Empty when that
  // certificate is missing, not valid now or without a private key, or when signing fails.
  virtual std::vector<unsigned char> SignWithCertificate(const std::string& thumbprint,
                                                         const std::vector<unsigned char>& content) = 0;

  // Creates or truncates the file and writes the bytes into it as they are.
  virtual bool WriteConnectionFileBytes(const std::string& path, const std::vector<unsigned char>& bytes) = 0;

  // The system's open-file dialog over the program's active window, with one filter per kind
  // and several files selectable; the chosen files' full paths (UTF-8), empty when the
  // operator cancelled.
  virtual std::vector<std::string> ChooseFilesToOpen(const std::string& title,
                                                     const std::vector<FileFilter>& filters) = 0;
};

}  // namespace korvane
