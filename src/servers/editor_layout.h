#pragma once

#include "servers/editor_controls.h"
#include "ui/layout.h"

namespace korvane {

// The small modal window in which one server's five values are typed, for adding or changing.
const WindowLayout& EditorLayout();

}  // namespace korvane
