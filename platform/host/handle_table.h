// Handles issued by a backend for objects it owns.
#pragma once

#include <map>
#include <memory>

#include "platform/types.h"

namespace platform {

template <class T>
class HandleTable {
 public:
  Handle Add(std::unique_ptr<T> object) {
    next_ += 4;
    entries_.emplace(next_, std::move(object));
    return next_;
  }
  T* Find(Handle handle) const {
    const auto it = entries_.find(handle);
    return it == entries_.end() ? nullptr : it->second.get();
  }
  bool Remove(Handle handle) { return entries_.erase(handle) != 0; }
  std::size_t size() const { return entries_.size(); }
  const std::map<Handle, std::unique_ptr<T>>& entries() const { return entries_; }

 private:
  Handle next_ = 0x1000;
  std::map<Handle, std::unique_ptr<T>> entries_;
};

}  // namespace platform
