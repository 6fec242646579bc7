// Named events and mutexes: open or create, set, close.
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
  // Creates the named mutex, held by every process that has a handle to it. When it exists
  // already, returns a handle to it with the last error kErrorAlreadyExists. Returns kNullHandle
  // on failure.
  virtual Handle CreateMutex(bool initialOwner, const std::wstring& name) = 0;
  // Closes an event or a mutex handle.
  virtual bool CloseHandle(Handle object) = 0;
};

using ScopedEvent = ScopedHandle<Events, &Events::CloseHandle, kNullHandle>;
using ScopedMutex = ScopedEvent;

}  // namespace platform
