#pragma once

#include "ui/layout.h"
#include "servers/main_controls.h"

namespace korvane {

// The main window: the server list on the left; the connection options, the server's details
// (or, in their place, the login-password change) and four buttons on the right.
const WindowLayout& MainLayout();

}  // namespace korvane
