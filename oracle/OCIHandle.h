#pragma once
// Owners of OCI handles and descriptors: one owner holds one handle of one type and frees it
// exactly once, through the loaded library's entry-point table, when it is reset, reassigned or
// destroyed. Owners are not copyable; moving one hands the handle over. Declared as members in
// the order the handles are made, they are freed in the reverse order without clean-up code on
// each path.
//
// A handle lives no longer than the environment it was made under: freeing the environment ends
// its children with it, and unloading the library ends them all. An owner therefore remembers the
// environment epoch (OCIEnvironmentEpoch) in which it took its handle, and an owner whose epoch
// has passed lets the handle go without a call, so that nothing is freed twice and nothing is
// called in a library that is no longer loaded.
#include <cstdint>
#include <utility>

#include "oracle/Oracall.h"
#include "oracle/oci.h"

namespace tarnwick {

namespace oci_owner {

struct HandleCalls {
  static sword Alloc(const void* parent, void** out, ub4 type) {
    return OCIHandleAlloc(parent, out, type, 0, nullptr);
  }
  static sword Free(void* handle, ub4 type) { return OCIHandleFree(handle, type); }
};

struct DescriptorCalls {
  static sword Alloc(const void* parent, void** out, ub4 type) {
    return OCIDescriptorAlloc(parent, out, type, 0, nullptr);
  }
  static sword Free(void* handle, ub4 type) { return OCIDescriptorFree(handle, type); }
};

}  // namespace oci_owner

template <typename T, ub4 Type, typename Calls>
class TOCIOwned {
 public:
  TOCIOwned() noexcept = default;
  // Takes over a handle made by another call (the environment, made by OCIEnvCreate).
  explicit TOCIOwned(T* handle) noexcept : FHandle(handle), FEpoch(OCIEnvironmentEpoch()) {}
  TOCIOwned(const TOCIOwned&) = delete;
  TOCIOwned& operator=(const TOCIOwned&) = delete;
  TOCIOwned(TOCIOwned&& other) noexcept
      : FHandle(std::exchange(other.FHandle, nullptr)), FEpoch(other.FEpoch) {}
  TOCIOwned& operator=(TOCIOwned&& other) noexcept {
    if (this != &other) {
      reset();
      FHandle = std::exchange(other.FHandle, nullptr);
      FEpoch = other.FEpoch;
    }
    return *this;
  }
  ~TOCIOwned() { reset(); }

  T* get() const noexcept { return FHandle; }
  explicit operator bool() const noexcept { return FHandle != nullptr; }

  // Frees the handle held, then allocates a new one under `parent`. The owner holds it only when
  // the client reports OCI_SUCCESS; the status is returned for the caller's own error path.
  sword Alloc(const void* parent) {
    reset();
    void* handle = nullptr;
    const sword status = Calls::Alloc(parent, &handle, Type);
    if (status == OCI_SUCCESS) reset(static_cast<T*>(handle));
    return status;
  }

  // Frees the handle now and returns the client's status (OCI_SUCCESS when there is nothing to
  // free, or when its environment has ended already). The owner is empty afterwards, whatever
  // the status; an unlinked entry point raises.
  sword Free() {
    T* handle = std::exchange(FHandle, nullptr);
    if (!handle || FEpoch != OCIEnvironmentEpoch()) return OCI_SUCCESS;
    return Calls::Free(handle, Type);
  }

  // Frees the handle held, ignoring the client's answer (a destructor or a clean-up path has no
  // one to report it to), and takes over `handle`.
  void reset(T* handle = nullptr) noexcept {
    if (handle == FHandle) return;
    try {
      Free();
    } catch (...) {
      // Only an unlinked entry point raises here; the handle went with the library.
    }
    FHandle = handle;
    FEpoch = OCIEnvironmentEpoch();
  }

  // Gives the handle up without freeing it.
  T* release() noexcept { return std::exchange(FHandle, nullptr); }

 private:
  T* FHandle = nullptr;
  uint64_t FEpoch = 0;
};

template <typename T, ub4 Type>
using TOCIHandle = TOCIOwned<T, Type, oci_owner::HandleCalls>;
template <typename T, ub4 Type>
using TOCIDescriptor = TOCIOwned<T, Type, oci_owner::DescriptorCalls>;

}  // namespace tarnwick
