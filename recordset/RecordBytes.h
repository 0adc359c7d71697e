#pragma once
// Reading and writing values inside record images. Records lie behind item headers at addresses
// of no particular alignment, so every value goes through memcpy.
#include <cstring>

namespace tarnwick::record_bytes {

template <class T>
T Load(const void* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

template <class T>
void Store(void* at, const T& value) {
  std::memcpy(at, &value, sizeof value);
}

}  // namespace tarnwick::record_bytes
