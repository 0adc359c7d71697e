#pragma once
// What the path of an export's target names before the export writes it: the one check of both
// front ends (the window asks before it replaces a file; tarnwick-export refuses or replaces).
#include <string>

namespace tarnwick {

struct TTargetState {
  enum class TKind {
    Missing,   // no such name (or it cannot be looked at)
    File,      // a regular file
    Folder,    // a folder
    Special,   // a device, a FIFO or a socket
    Dangling,  // a symbolic link that leads nowhere (or into a loop)
  };
  // What the name leads to, through a symbolic link.
  TKind Kind = TKind::Missing;
  // The name itself is a symbolic link.
  bool Link = false;

  // Something has the name, even a link that leads nowhere: an export would replace it.
  bool Present() const noexcept { return Kind != TKind::Missing; }
  // A file, not a folder, is reached by the name: the window asks before it deletes it.
  bool HoldsFile() const noexcept { return Kind == TKind::File || Kind == TKind::Special; }
};

// Looks at path now.
TTargetState TargetState(const std::string& path);

}  // namespace tarnwick
