// What korvane-data needs of the terminal it runs in: a secret typed without echo, and text
// that shows as written.
#pragma once

#include <optional>
#include <string>

namespace korvane::terminal {

// True when standard input is a terminal (on Windows, a console).
bool InputIsTerminal();

// Shows the prompt on standard error and reads one line from the terminal without echoing it.
// nullopt when the input ends first.
std::optional<std::string> ReadSecret(const std::string& prompt);

// While it lives, the tool's UTF-8 output shows as written on the terminal. A Windows console
// shows its own code page otherwise; elsewhere the terminal takes UTF-8 as it is.
class Utf8Output {
 public:
  Utf8Output();
  ~Utf8Output();
  Utf8Output(const Utf8Output&) = delete;
  Utf8Output& operator=(const Utf8Output&) = delete;

 private:
  unsigned previousCodePage_ = 0;
};

}  // namespace korvane::terminal
