#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <iostream>

#include "datatool/terminal.h"

namespace korvane::terminal {
namespace {

termios savedSettings;
volatile std::sig_atomic_t echoIsOff = 0;

// Ended by a signal while echo is off, the tool would leave the shell blind: everything typed
// after it would go unseen. tcsetattr may be called in a signal handler.
extern "C" void RestoreEchoAndEnd(int signal) {
  if (echoIsOff) tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedSettings);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

tool::Language UserLanguage() {
  return tool::LanguageFromLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

bool InputIsTerminal() { return isatty(STDIN_FILENO) == 1; }
bool ErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

std::optional<std::string> ReadSecret(const std::string& prompt) {
  std::cerr << prompt << std::flush;
  const bool hidden = tcgetattr(STDIN_FILENO, &savedSettings) == 0;
  constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
  void (*previous[std::size(kSignals)])(int) = {};
  if (hidden) {
    termios silent = savedSettings;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    for (size_t i = 0; i < std::size(kSignals); ++i) {
      previous[i] = std::signal(kSignals[i], RestoreEchoAndEnd);
    }
    echoIsOff = 1;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
  }
  std::string line;
  const bool read = static_cast<bool>(std::getline(std::cin, line));
  if (hidden) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedSettings);
    echoIsOff = 0;
    for (size_t i = 0; i < std::size(kSignals); ++i) std::signal(kSignals[i], previous[i]);
  }
  // The Enter that ended the line was not echoed either.
  std::cerr << "\n";
  if (!read) return std::nullopt;
  return line;
}

std::ostream& Output() { return std::cout; }
std::ostream& ErrorOutput() { return std::cerr; }

}  // namespace korvane::terminal
