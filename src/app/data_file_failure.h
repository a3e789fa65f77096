// How the program ends when its data file cannot be used: the same report wherever the
// failure is found, at the login or when the main window opens the file moments later.
#pragma once

#include <string>

#include "platform/platform.h"

namespace korvane {

std::string MissingDataFileMessage(const std::string& path);
std::string UnopenableDataFileMessage(const std::string& path);

// Shows the message, points the operator at the program's web page and ends the program.
void EndAfterDataFileFailure(Platform& platform, const std::string& message);

}  // namespace korvane
