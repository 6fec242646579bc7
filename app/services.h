// The device services the application works with, wired together by each program's main.
#pragma once

#include "platform/debuglog.h"
#include "platform/devices.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/kernel.h"
#include "platform/registry.h"

namespace app {

struct Services {
  platform::Files& files;
  platform::Registry& registry;
  platform::Events& events;
  platform::Devices& devices;
  platform::Kernel& kernel;
  platform::DebugLog& log;
};

}  // namespace app
