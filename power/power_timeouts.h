// Keeping the device awake while flash is written: the power manager's AC timeouts are saved,
// switched off (0 means no timeout) and put back, each change announced to the power manager
// through its reload event.
#pragma once

#include <vector>

#include "platform/debuglog.h"
#include "platform/events.h"
#include "platform/registry.h"

namespace power {

using platform::BYTE;
using platform::DWORD;

// One timeout as the registry held it, so that it can be put back exactly.
struct TimeoutValue {
  enum class Found {
    kValue,       // type and data as read, of any type and length
    kAbsent,      // no such value: putting it back removes it again
    kUnreadable,  // the query failed: never written, so never lost
  };
  Found found = Found::kValue;
  DWORD type = platform::kRegDword;
  std::vector<BYTE> data;

  static TimeoutValue Dword(DWORD number);
  // What the restore line shows: the number of a four-byte REG_DWORD, else -1, as nothing
  // numeric was written.
  int Shown() const;
};

struct PowerTimeouts {
  TimeoutValue values[3];  // ACUserIdle, ACSystemIdle, ACSuspend

  static PowerTimeouts Of(DWORD userIdle, DWORD systemIdle, DWORD suspend);
};

// The record that switches the timeouts off for a run that saved `saved`: a REG_DWORD 0 in place
// of each value, an absent one included; a value that could not be read is left alone.
PowerTimeouts TimeoutsOffFor(const PowerTimeouts& saved);

// Reads the three timeouts whole, with their types. False only when the Timeouts key cannot be
// opened.
bool ReadPowerTimeouts(platform::Registry& registry, PowerTimeouts& record);

// Writes the record (removing the values it found absent), logs it, and sets the power manager's
// reload event, also when the key cannot be opened. True when every value took; otherwise the
// last error tells why the first that did not.
bool WritePowerTimeouts(platform::Registry& registry, platform::Events& events,
                        platform::DebugLog& log, const PowerTimeouts& record);

}  // namespace power
