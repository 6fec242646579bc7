// Ownership of a platform handle: released when the owner goes out of scope, or explicitly
// where the caller needs the result of the release.
#pragma once

#include <utility>

#include "platform/types.h"

namespace platform {

// Api is the service that issued the handle; Release is its closing call; Invalid is the
// value that means "no handle" for that call.
template <class Api, bool (Api::*Release)(Handle), Handle Invalid>
class ScopedHandle {
 public:
  ScopedHandle() = default;
  ScopedHandle(Api& api, Handle handle) : api_(&api), handle_(handle) {}
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept
      : api_(other.api_), handle_(std::exchange(other.handle_, Invalid)) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) {
      Close();
      api_ = other.api_;
      handle_ = std::exchange(other.handle_, Invalid);
    }
    return *this;
  }
  ~ScopedHandle() { Close(); }

  bool valid() const { return handle_ != Invalid; }
  Handle get() const { return handle_; }

  // Releases the handle now. Returns true on success; true also when there was none.
  bool Close() {
    if (!valid())
      return true;
    return (api_->*Release)(std::exchange(handle_, Invalid));
  }

 private:
  Api* api_ = nullptr;
  Handle handle_ = Invalid;
};

}  // namespace platform
