// nbx verify: what the device's writers would do with a package.
#include <iostream>
#include <memory>

#include "tools/nbx/commands.h"
#include "tools/nbx/package_file.h"

namespace nbx {

int Verify(const std::string& path) {
  Package package;
  if (!Open(path, package))
    return kUnreadable;
  WarnAboutLayout(package);
  const std::string refusal = Refusal(package);
  if (!refusal.empty()) {
    std::cout << package.path << ": FAILED: " << refusal << "\n";
    return kRefused;
  }
  package::PackageCheck& check = package.check;
  const auto buffer = std::make_unique<package::BlockBuffer>();
  package::CheckBlocks(package.files, package.file.get(), check, *buffer);
  switch (check.verdict) {
    case package::Verdict::kAccepted:
      std::cout << package.path << ": OK: the device would write it: tag \"" << package::kProductTag
                << "\", payload " << package.payload() << " bytes, " << check.trailer.wBlockCount
                << " block(s) agree with their CRC\n";
      return kOk;
    case package::Verdict::kCrcMismatch:
      std::cout << package.path << ": FAILED: CRC error at position " << check.position
                << ", block " << check.block << " (offset "
                << platform::DWORD{check.block} * package::IMAGE_BLOCK_SIZE << "): computed "
                << Hex16(check.computed) << ", listed "
                << Hex16(check.trailer.wBlockCrc[check.position]) << "\n";
      return kRefused;
    default:
      break;
  }
  std::cerr << "nbx: cannot read " << package.path << ": block " << check.block << " at position "
            << check.position << ": " << Reason() << "\n";
  return kUnreadable;
}

}  // namespace nbx
