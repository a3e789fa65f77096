#pragma once

#include "servers/import_controls.h"
#include "ui/layout.h"

namespace korvane {

// The modal preview of an import: what would be added, and apart what would not, before
// anything is written.
const WindowLayout& ImportLayout();

}  // namespace korvane
