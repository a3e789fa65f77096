#pragma once

#include "login/login_controls.h"
#include "ui/layout.h"

namespace korvane {

// The login window: one line with a prompt, the password box and the login button, and the
// program's web link under the button. The hidden key box holds the login key.
const WindowLayout& LoginLayout();

}  // namespace korvane
