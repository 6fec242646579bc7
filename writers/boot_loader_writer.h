// Replaces the boot loader in NOR flash with a verified package, keeping the device's settings
// and constants blocks across the write.
#pragma once

#include "platform/debuglog.h"
#include "platform/files.h"
#include "platform/kernel.h"
#include "writers/user_questions.h"

namespace writers {

struct BootLoaderWriterServices {
  platform::Files& files;
  platform::Kernel& kernel;
  platform::DebugLog& log;
  UserQuestions& user;
};

// Checks the package, saves both blocks (asking whether to go on when one cannot be read),
// writes the whole file, trailer included, in one request, and puts the saved blocks back.
// True when the new boot loader is in flash, also when a block could not be put back (the
// user is told). The file is not closed.
bool WriteBootLoader(const BootLoaderWriterServices& services, platform::Handle file);

}  // namespace writers
