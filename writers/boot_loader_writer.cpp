#include "writers/boot_loader_writer.h"

#include <memory>
#include <new>

#include "bootcfg/hal_requests.h"
#include "package/package_check.h"
#include "writers/refusal_lines.h"

namespace writers {

namespace {

using package::Verdict;
using platform::BYTE;
using platform::DWORD;
using platform::NKDbgPrintfW;
using Number = RefusalLine::Number;

// This writer's words for a refused package; a package without blocks is refused silently.
constexpr RefusalLine kRefusals[] = {
    {Verdict::kTrailerTooLong, L"Image not fit this product!!!\r\n", Number::kNone},
    {Verdict::kWrongTag, L"Image not fit this product!!!\r\n", Number::kNone},
    {Verdict::kEmptyPayload, L"Image not fit this product!!!\r\n", Number::kNone},
    {Verdict::kUnreadable, L"Erreur reading file %d\r\n", Number::kLastError},
    {Verdict::kCrcMismatch, L"CRC error at block n\u00b0 %d\r\n", Number::kBlock},
};

}  // namespace

bool WriteBootLoader(const BootLoaderWriterServices& services, platform::Handle file) {
  platform::Files& files = services.files;
  platform::Kernel& kernel = services.kernel;
  platform::DebugLog& log = services.log;

  DWORD size = 0;
  if (!package::GetPackageSize(files, file, size)) {
    NKDbgPrintfW(log, L"Erreur reading file %d\r\n", platform::GetLastError());
    return false;
  }
  // The whole file goes to the device in one request, so it is held whole; whether it could be
  // had is looked at only once both blocks were read.
  std::unique_ptr<BYTE[]> image(new (std::nothrow) BYTE[size]);
  const DWORD allocationError = image ? platform::kErrorSuccess : platform::kErrorNotEnoughMemory;

  const auto block = std::make_unique<package::BlockBuffer>();
  const package::PackageCheck check = package::CheckPackage(services.files, file, *block);
  if (check.verdict != Verdict::kAccepted) {
    ReportRefusal(log, kRefusals, check);
    return false;
  }

  bootcfg::BootSettings settings;
  const bool settingsKept = bootcfg::HalGetBootSettings(kernel, settings);
  if (!settingsKept && !services.user.GoOnWithout(UserQuestions::Block::kSettings))
    return false;
  bootcfg::ConstSettings constants;
  const bool constantsKept = bootcfg::HalGetConstants(kernel, constants);
  if (!constantsKept && !services.user.GoOnWithout(UserQuestions::Block::kConstants))
    return false;

  if (!image) {
    platform::SetLastError(allocationError);
    NKDbgPrintfW(log, L"Erreur alloc memory %d\r\n", platform::GetLastError());
    return false;
  }
  DWORD read = 0;
  files.SetFilePointer(file, 0, platform::kFileBegin);
  files.ReadFile(file, image.get(), size, &read);
  if (read != size) {
    NKDbgPrintfW(log, L"Erreur reading file %d\r\n", platform::GetLastError());
    return false;
  }
  if (!bootcfg::HalWriteBootLoader(kernel, image.get(), size)) {
    NKDbgPrintfW(log, L"Erreur write file in NOR Flash %d\r\n", platform::GetLastError());
    return false;
  }
  image.reset();

  if (settingsKept && !bootcfg::HalSetBootSettings(kernel, settings))
    services.user.Tell(L"Could not write old bootloader settings");
  if (constantsKept && !bootcfg::HalSetConstants(kernel, constants)) {
    services.user.Tell(
        L"Could not write old constant settings (BT Addr, frequency offset, serial number)");
  }
  return true;
}

}  // namespace writers
