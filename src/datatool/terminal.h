// What korvane-data needs of the terminal it runs in: a secret typed without echo, and text
// that shows as written.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "datatool/messages.h"

namespace korvane::terminal {

// True when standard input, or standard error, is a terminal (on Windows, a console).
bool InputIsTerminal();
bool ErrorIsTerminal();

// Shows the prompt on standard error and reads one line from the terminal without echoing it.
// nullopt when the input ends first.
std::optional<std::string> ReadSecret(const std::string& prompt);

// The language of the person running the tool: on Windows the user's display language, elsewhere
// the locale of the environment (LC_ALL, LC_MESSAGES, LANG).
tool::Language UserLanguage();

// Where the tool's standard output and standard error go. Text is UTF-8 throughout; on a
// Windows console these streams hand it over as UTF-16, which shows every character whatever
// the console's code page. Elsewhere they are std::cout and std::cerr.
std::ostream& Output();
std::ostream& ErrorOutput();

}  // namespace korvane::terminal
