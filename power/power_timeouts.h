// Keeping the device awake while flash is written: the power manager's AC timeouts are saved,
// switched off (0 means no timeout) and put back, each change announced to the power manager
// through its reload event.
#pragma once

#include "platform/debuglog.h"
#include "platform/events.h"
#include "platform/registry.h"

namespace power {

using platform::DWORD;

struct PowerTimeouts {
  DWORD dwACUserIdle = 0;
  DWORD dwACSystemIdle = 0;
  DWORD dwACSuspend = 0;
  // Which of the three values (bits 0, 1, 2 in the order above) the record really holds. A value
  // that was never read from the registry is not written back, so the key keeps what it had.
  unsigned holds = 0;

  static constexpr unsigned kAll = 7;
  static PowerTimeouts Of(DWORD userIdle, DWORD systemIdle, DWORD suspend) {
    return {userIdle, systemIdle, suspend, kAll};
  }
};

// Three zeros: no timeout at all.
extern const PowerTimeouts g_TimeoutsOff;

// Reads the three timeouts into record; a value that cannot be read leaves its field (and its
// bit in holds) as it was. False only when the Timeouts key cannot be opened.
bool ReadPowerTimeouts(platform::Registry& registry, PowerTimeouts& record);

// Writes the values the record holds, logs them, and sets the power manager's reload event
// (also when the key cannot be opened). True when the key was opened.
bool WritePowerTimeouts(platform::Registry& registry, platform::Events& events,
                        platform::DebugLog& log, const PowerTimeouts& record);

}  // namespace power
