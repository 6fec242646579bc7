// Named events of the simulated device. The only one is the power manager's reload event,
// which exists while the power manager runs.
#pragma once

#include "platform/events.h"
#include "platform/handle_table.h"
#include "platform/sim/faults.h"
#include "platform/sim/power_manager.h"

namespace platform::sim {

extern const wchar_t kReloadTimeoutsEvent[];

class SimEvents final : public Events {
 public:
  // powerManager is null when the device runs none.
  SimEvents(FaultInjector& faults, PowerManager* powerManager);

  Handle OpenEvent(DWORD access, bool inherit, const std::wstring& name) override;
  bool EventModify(Handle event, DWORD function) override;
  bool CloseHandle(Handle event) override;

  std::size_t openCount() const { return open_.size(); }

 private:
  struct OpenedEvent {};

  FaultInjector& faults_;
  PowerManager* powerManager_;
  HandleTable<OpenedEvent> open_;
};

}  // namespace platform::sim
