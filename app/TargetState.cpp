#include "app/TargetState.h"

#include <sys/stat.h>

namespace tarnwick {

namespace {

TTargetState::TKind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return TTargetState::TKind::File;
  if (S_ISDIR(mode)) return TTargetState::TKind::Folder;
  return TTargetState::TKind::Special;
}

}  // namespace

TTargetState TargetState(const std::string& path) {
  TTargetState state;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return state;
  state.Link = S_ISLNK(st.st_mode);
  if (!state.Link) {
    state.Kind = KindOf(st.st_mode);
  } else if (::stat(path.c_str(), &st) == 0) {
    state.Kind = KindOf(st.st_mode);
  } else {
    state.Kind = TTargetState::TKind::Dangling;
  }
  return state;
}

}  // namespace tarnwick
