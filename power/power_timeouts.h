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
  // What the registry held of a value when the record was read.
  enum class Found {
    kValue,       // four bytes, now in the field
    kAbsent,      // no such value: writing the record removes it again
    kUnreadable,  // a value that is not four bytes: writing the record leaves it alone
  };

  DWORD dwACUserIdle = 0;
  DWORD dwACSystemIdle = 0;
  DWORD dwACSuspend = 0;
  Found found[3] = {Found::kValue, Found::kValue, Found::kValue};  // in the order above

  static PowerTimeouts Of(DWORD userIdle, DWORD systemIdle, DWORD suspend) {
    return {userIdle, systemIdle, suspend};
  }
};

// Three zeros: no timeout at all.
extern const PowerTimeouts g_TimeoutsOff;

// The record that switches the timeouts off for a run that saved `saved`: three zeros, where a
// value that could not be read is left alone, since it could not be put back.
PowerTimeouts TimeoutsOffFor(const PowerTimeouts& saved);

// Reads the three timeouts into record and notes what was found of each; a value that cannot be
// read leaves its field as it was. False only when the Timeouts key cannot be opened.
bool ReadPowerTimeouts(platform::Registry& registry, PowerTimeouts& record);

// Writes the record's values (removing those it found absent), logs them, and sets the power
// manager's reload event (also when the key cannot be opened). True when the key was opened.
bool WritePowerTimeouts(platform::Registry& registry, platform::Events& events,
                        platform::DebugLog& log, const PowerTimeouts& record);

}  // namespace power
