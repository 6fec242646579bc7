// Named events: open, set, close.
#pragma once

#include <string>

#include "platform/scoped_handle.h"
#include "platform/types.h"

namespace platform {

constexpr DWORD kEventAllAccess = 0x1F0003;
constexpr DWORD kEventPulse = 1;
constexpr DWORD kEventReset = 2;
constexpr DWORD kEventSet = 3;

class Events {
 public:
  virtual ~Events() = default;

  // Opens an existing named event. Returns kNullHandle when it does not exist.
  virtual Handle OpenEvent(DWORD access, bool inherit, const std::wstring& name) = 0;
  // Sets, resets or pulses the event (kEventSet, kEventReset, kEventPulse). True on success.
  virtual bool EventModify(Handle event, DWORD function) = 0;
  virtual bool CloseHandle(Handle event) = 0;
};

using ScopedEvent = ScopedHandle<Events, &Events::CloseHandle, kNullHandle>;

}  // namespace platform
