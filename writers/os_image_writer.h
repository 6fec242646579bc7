// Streams a verified operating-system image into the BINFS partition, as the main image or the
// rescue image, in chunks of 16384 bytes. Nothing changes before the package passed every check.
// Then the device is set to boot the other image (always for the main image, for the rescue image
// when the device booted it), and set back only once the whole image and its length were taken;
// the user is asked first when that other image may not be whole.
#pragma once

#include "bootcfg/boot_config.h"
#include "platform/debuglog.h"
#include "platform/devices.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "writers/progress.h"
#include "writers/user_questions.h"

namespace writers {

struct OsImageWriterServices {
  platform::Files& files;
  platform::Devices& devices;
  bootcfg::BootConfig& bootConfig;
  platform::Registry& registry;  // where the image being rewritten is written down
  platform::DebugLog& log;
  UserQuestions& user;
};

// rescue: 0 the main image, 1 the rescue image. 1 when the image was written, its length taken,
// the boot selection set back (main image) and the driver unloaded; 0 otherwise. Exactly the
// payload is written, never a byte of the trailer. The file is not closed.
int WriteOsImage(const OsImageWriterServices& services, platform::Handle file, Progress& progress,
                 platform::BYTE rescue);

}  // namespace writers
