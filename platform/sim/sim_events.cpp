#include "platform/sim/sim_events.h"

namespace platform::sim {

const wchar_t kReloadTimeoutsEvent[] = L"PowerManager/ReloadActivityTimeouts";

SimEvents::SimEvents(FaultInjector& faults, PowerManager* powerManager)
    : faults_(faults), powerManager_(powerManager) {}

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
  return open_.Add(std::make_unique<OpenedEvent>());
}

bool SimEvents::EventModify(Handle event, DWORD function) {
  if (const auto error = faults_.Enter("EventModify")) {
    SetLastError(*error);
    return false;
  }
  if (!open_.Find(event)) {
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
