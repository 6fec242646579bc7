// The power timeouts a run switched off, kept under the application's key until they are back:
// a power cut in between loses none of them, as the next start puts them back.
#pragma once

#include "platform/debuglog.h"
#include "platform/events.h"
#include "platform/registry.h"
#include "power/power_timeouts.h"

namespace journal {

// Keeps the record where a power cut cannot take it. False, with the last error, when it cannot.
bool SaveTimeouts(platform::Registry& registry, const power::PowerTimeouts& record);

// Whether timeouts that a run switched off still wait to be put back; also when that cannot be
// told, so that they are never taken for the user's own.
bool TimeoutsWaiting(platform::Registry& registry);

// Writes the record back (power::WritePowerTimeouts) and, once every value took, forgets the
// saved one. False, with the last error, when they are not all back: then they stay saved.
bool PutBackTimeouts(platform::Registry& registry, platform::Events& events,
                     platform::DebugLog& log, const power::PowerTimeouts& record);

// At start: puts back the timeouts that an interrupted run left saved, with a line of its own.
// True when none wait any more; false, with the last error, when they still do.
bool PutBackInterruptedTimeouts(platform::Registry& registry, platform::Events& events,
                                platform::DebugLog& log);

}  // namespace journal
