#include "platform/sim/sim_events.h"

#include <cstdio>

#include "platform/text/strings.h"
#include "platform/text/utf8.h"

namespace platform::sim {

const wchar_t kReloadTimeoutsEvent[] = L"PowerManager/ReloadActivityTimeouts";

namespace {

constexpr std::size_t kMaxPath = 260;  // the longest name of a kernel object
// Of a name in hex, as much as a host's file name holds beside the rest of the lock's name.
constexpr std::size_t kLongestHex = 200;

// The name in hex (any character may be one that a file name cannot hold); one too long for a
// file name, the start of it and a 64-bit FNV-1a hash of the whole.
std::string LockName(const std::wstring& name) {
  std::string hex = HexEncode(ToUtf8(name));
  if (hex.size() <= kLongestHex)
    return hex;
  std::uint64_t hash = 0xCBF29CE484222325u;
  for (const char c : hex)
    hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3u;
  char tail[18];
  std::snprintf(tail, sizeof tail, "-%016llx", static_cast<unsigned long long>(hash));
  return hex.substr(0, kLongestHex - 17) + tail;
}

}  // namespace

SimEvents::SimEvents(const DevicePaths& paths, FaultInjector& faults, PowerManager* powerManager)
    : paths_(paths), faults_(faults), powerManager_(powerManager) {}

Handle SimEvents::OpenEvent(DWORD /*access*/, bool /*inherit*/, const std::wstring& name) {
  if (const auto error = faults_.Enter("OpenEvent")) {
    SetLastError(*error);
    return kNullHandle;
  }
  // Event names are case-sensitive on the device.
  if (!powerManager_ || name != kReloadTimeoutsEvent) {
    SetLastError(kErrorFileNotFound);
    return kNullHandle;
  }
  return open_.Add(std::make_unique<Object>());
}

bool SimEvents::EventModify(Handle event, DWORD function) {
  if (const auto error = faults_.Enter("EventModify")) {
    SetLastError(*error);
    return false;
  }
  const Object* object = open_.Find(event);
  if (!object || object->mutex) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  if (function != kEventSet && function != kEventPulse && function != kEventReset) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  // The power manager's thread wakes on set or pulse; here it runs before the call returns.
  if (function != kEventReset && !powerManager_->ReloadActivityTimeouts())
    return false;
  return true;
}

Handle SimEvents::CreateMutex(bool /*initialOwner*/, const std::wstring& name) {
  if (const auto error = faults_.Enter("CreateMutex")) {
    SetLastError(*error);
    return kNullHandle;
  }
  if (name.empty() || name.size() > kMaxPath) {
    SetLastError(kErrorInvalidName);
    return kNullHandle;
  }
  // Every handle holds a shared lock on the mutex's file (its name in hex: any character may be
  // one that a file name cannot hold), so the mutex exists while any process has a handle. A
  // create asks, under the device's lock, whether anyone holds one: an exclusive lock is had
  // only when no one does.
  const host::Below file = paths_.mutexLock(LockName(name));
  const auto guard = LockForChange(paths_);
  if (!guard)
    return kNullHandle;
  const bool exists = !host::LockFile(file, true, false);
  if (exists && GetLastError() != kErrorSharingViolation)
    return kNullHandle;
  auto object = std::make_unique<Object>();
  object->mutex = true;
  object->lock = host::LockFile(file, false, false);
  if (!object->lock)
    return kNullHandle;
  const Handle handle = open_.Add(std::move(object));
  SetLastError(exists ? kErrorAlreadyExists : kErrorSuccess);
  return handle;
}

bool SimEvents::CloseHandle(Handle event) {
  if (const auto error = faults_.Enter("CloseHandle")) {
    SetLastError(*error);
    return false;
  }
  if (!open_.Remove(event)) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  return true;
}

}  // namespace platform::sim
