// A web link drawn as plain text: a STATIC control (SS_NOTIFY, so it gets the mouse)
// subclassed for the hand cursor, the hover state and the click. Its parent asks for the
// text colour while answering WM_CTLCOLORSTATIC.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace korvane {

// Opens a web address: the shell's "open" verb, and when the shell fails, the command
// registered for ".htm" files. True when either started.
bool OpenAddress(const std::string& address);

// The fallback when the shell cannot open the address: the command registered for opening
// ".htm" files, cut before its "%1", with the address appended. True when it started.
bool RunHtmOpenCommand(const std::string& address);

class Hyperlink {
 public:
  using Opener = std::function<bool(const std::string&)>;

  inline static constexpr COLORREF kNormalColour = RGB(0, 0, 255);
  inline static constexpr COLORREF kHoverColour = RGB(0, 120, 215);
  inline static constexpr COLORREF kOpenedColour = RGB(128, 0, 0);

  // `opener` is read at each click, so the owner may replace the function it points to.
  Hyperlink(HWND control, std::string address, const Opener* opener);
  ~Hyperlink();
  Hyperlink(const Hyperlink&) = delete;
  Hyperlink& operator=(const Hyperlink&) = delete;

  HWND Handle() const { return hwnd_; }
  // Hover beats opened: the operator sees the link react under the mouse either way.
  COLORREF TextColour() const;

 private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  void SetHover(bool hover);
  void Open();

  HWND hwnd_;
  std::string address_;
  const Opener* opener_;
  bool hover_ = false;
  bool pressed_ = false;
  bool opened_ = false;
};

}  // namespace korvane
