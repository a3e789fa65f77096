#pragma once

#include "servers/master_password_controls.h"
#include "ui/layout.h"

namespace korvane {

// The small modal window that asks for the master password of an mRemoteNG file.
const WindowLayout& MasterPasswordLayout();

}  // namespace korvane
