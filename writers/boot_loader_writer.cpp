#include "writers/boot_loader_writer.h"

#include <memory>
#include <new>

#include "bootcfg/hal_requests.h"
#include "dialogs/confirm_dlg.h"
#include "package/image_trailer.h"

namespace writers {

namespace {

using platform::BYTE;
using platform::DWORD;
using platform::NKDbgPrintfW;

constexpr platform::ui::UINT kSettingsQuestion = 14;
constexpr platform::ui::UINT kConstantsQuestion = 15;
constexpr platform::ui::UINT kOkLabel = 7;
constexpr platform::ui::UINT kCancelLabel = 8;

bool GoOnWithout(const platform::ui::UiContext& ui, platform::ui::UINT question) {
  dialogs::CConfirmDlg confirm(ui, question, kOkLabel, kCancelLabel);
  return confirm.DoModal() == platform::ui::IDOK;
}

// The package checks, in this writer's words.
bool CheckPackage(const BootLoaderWriterServices& services, platform::Handle file) {
  platform::DebugLog& log = services.log;
  const package::TrailerResult trailer = package::ReadImageTrailer(services.files, file);
  switch (trailer.status) {
    case package::TrailerStatus::kRead:
      break;
    case package::TrailerStatus::kNoBlocks:
      return false;
    case package::TrailerStatus::kTooLong:
      NKDbgPrintfW(log, L"Image not fit this product!!!\r\n");
      return false;
    case package::TrailerStatus::kUnreadable:
      NKDbgPrintfW(log, L"Erreur reading file %d\r\n", platform::GetLastError());
      return false;
  }
  // A package with no image would put its trailer alone into flash.
  if (!package::CheckProductTag(trailer.trailer) || trailer.fileSize == trailer.trailer.size()) {
    NKDbgPrintfW(log, L"Image not fit this product!!!\r\n");
    return false;
  }
  const auto block = std::make_unique<package::BlockBuffer>();
  const package::BlockCheck check =
      package::VerifyImageBlocks(services.files, file, trailer.trailer, *block);
  switch (check.status) {
    case package::BlockCheck::Status::kPassed:
      return true;
    case package::BlockCheck::Status::kCrcMismatch:
      NKDbgPrintfW(log, L"CRC error at block n\u00b0 %d\r\n", check.block);
      return false;
    case package::BlockCheck::Status::kUnreadable:
      break;
  }
  NKDbgPrintfW(log, L"Erreur reading file %d\r\n", platform::GetLastError());
  return false;
}

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

  if (!CheckPackage(services, file))
    return false;

  bootcfg::BootSettings settings;
  bool settingsKept = bootcfg::HalGetBootSettings(kernel, settings);
  if (!settingsKept && !GoOnWithout(services.ui, kSettingsQuestion))
    return false;
  bootcfg::ConstSettings constants;
  bool constantsKept = bootcfg::HalGetConstants(kernel, constants);
  if (!constantsKept && !GoOnWithout(services.ui, kConstantsQuestion))
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

  if (settingsKept && !bootcfg::HalSetBootSettings(kernel, settings)) {
    services.ui.AfxMessageBox(L"Could not write old bootloader settings", platform::ui::MB_OK);
  }
  if (constantsKept && !bootcfg::HalSetConstants(kernel, constants)) {
    services.ui.AfxMessageBox(
        L"Could not write old constant settings (BT Addr, frequency offset, serial number)",
        platform::ui::MB_OK);
  }
  return true;
}

}  // namespace writers
