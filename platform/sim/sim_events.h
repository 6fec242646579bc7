// Named events and mutexes of the simulated device. The only event is the power manager's
// reload event, which exists while the power manager runs. A mutex exists while any process
// holds a handle to it: it is a lock file in the device directory.
#pragma once

#include <memory>

#include "platform/events.h"
#include "platform/host/handle_table.h"
#include "platform/sim/device_paths.h"
#include "platform/sim/faults.h"
#include "platform/sim/power_manager.h"

namespace platform::sim {

extern const wchar_t kReloadTimeoutsEvent[];

class SimEvents final : public Events {
 public:
  // powerManager is null when the device runs none.
  SimEvents(const DevicePaths& paths, FaultInjector& faults, PowerManager* powerManager);

  Handle OpenEvent(DWORD access, bool inherit, const std::wstring& name) override;
  bool EventModify(Handle event, DWORD function) override;
  Handle CreateMutex(bool initialOwner, const std::wstring& name) override;
  bool CloseHandle(Handle object) override;

  std::size_t openCount() const { return open_.size(); }

 private:
  struct Object {
    bool mutex = false;
    std::unique_ptr<host::FileLock> lock;  // a mutex's: shared by all of its handles
  };

  const DevicePaths& paths_;
  FaultInjector& faults_;
  PowerManager* powerManager_;
  HandleTable<Object> open_;
};

}  // namespace platform::sim
