#include "ui/link_command.h"

namespace korvane {

std::string CommandToOpenAddress(const std::string& registered, const std::string& address) {
  if (registered.empty()) return {};
  size_t cut = registered.find("\"%1\"");
  if (cut == std::string::npos) cut = registered.find("%1");
  // Whatever followed the placeholder is dropped with it. The cut keeps the space that
  // stood before the placeholder, so the result usually has two spaces before the address;
  // command lines do not mind.
  return registered.substr(0, cut) + " " + address;
}

}  // namespace korvane
