#include "platform/sim/boot_loader.h"

#include <string>

#include "platform/byte_order.h"
#include "platform/host/host.h"
#include "platform/kernel.h"
#include "platform/sim/sim_devices.h"

namespace platform::sim {

namespace {

constexpr std::size_t kBootImageOffset = 42;
constexpr DWORD kChecksumXor = 0xFF0055AA;

// The boot loader trusts a block whose checksum is the byte sum (checksum taken as 0) XOR
// 0xFF0055AA.
bool ChecksumHolds(const std::string& block) {
  DWORD sum = 0;
  for (std::size_t i = 4; i < block.size(); ++i)
    sum += static_cast<unsigned char>(block[i]);
  return LoadLittleEndian<DWORD>(reinterpret_cast<const BYTE*>(block.data())) ==
         (sum ^ kChecksumXor);
}

}  // namespace

BootDecision DecideBoot(const DevicePaths& paths) {
  BootDecision decision;
  std::string settings;
  if (!host::ReadWholeFile(paths.settings(), settings, kBootSettingsSize) ||
      settings.size() != kBootSettingsSize) {
    decision.reason = "the settings block is unreadable, so the boot loader takes its default";
  } else if (!ChecksumHolds(settings)) {
    decision.reason = "the settings checksum is wrong, so the boot loader takes its default";
  } else {
    const WORD selected =
        LoadLittleEndian<WORD>(reinterpret_cast<const BYTE*>(settings.data()) + kBootImageOffset);
    decision.image = selected == 1 ? 1 : 0;
    decision.reason = selected <= 1
                          ? "the settings select it"
                          : "the settings select no known image, so the boot loader takes its "
                            "default";
  }
  BinfsHeader header;
  if (LoadBinfsHeader(paths, header))
    decision.length = header.length[decision.image];
  std::string image;
  host::ReadWholeFile(paths.image(decision.image), image);
  decision.written = image.size();
  decision.whole = decision.length && *decision.length > 0 && image.size() == *decision.length;
  return decision;
}

}  // namespace platform::sim
