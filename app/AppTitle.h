#pragma once
// The application title, part of the window library: it lowers the case with Qt's Unicode rules.
#include <string>

namespace tarnwick {

// The executable's file name up to its first ".", every character after the first in lower case
// ("/opt/bin/Tarnwick" and "TARNWICK.BIN" give "Tarnwick"). Captions the message boxes.
std::string ApplicationTitleFromPath(const std::string& executablePath);

}  // namespace tarnwick
