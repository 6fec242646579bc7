#include "platform/sim/sim_events.h"

#include "platform/text/strings.h"
#include "platform/text/utf8.h"

namespace platform::sim {

const wchar_t kReloadTimeoutsEvent[] = L"PowerManager/ReloadActivityTimeouts";

namespace {
constexpr std::size_t kMaxPath = 260;  // the longest name of a kernel object
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
  const host::Below file = paths_.mutexLock(HexEncode(ToUtf8(name)));
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
