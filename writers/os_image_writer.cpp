#include "writers/os_image_writer.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "journal/unfinished_images.h"
#include "package/package_check.h"
#include "writers/refusal_lines.h"

namespace writers {

namespace {

using package::IMAGE_BLOCK_SIZE;
using package::Verdict;
using platform::BYTE;
using platform::DWORD;
using platform::NKDbgPrintfW;
using Number = RefusalLine::Number;

constexpr wchar_t kDriverKey[] = L"\\Drivers\\BINDRV";

// This writer's words for a refused package; a package without blocks is refused silently.
constexpr RefusalLine kRefusals[] = {
    {Verdict::kTrailerTooLong, L"Varnel_Quorvane: Image not fit this product!!!\r\n",
     Number::kNone},
    {Verdict::kWrongTag, L"Varnel_Quorvane: Image not fit this product!!!\r\n", Number::kNone},
    {Verdict::kEmptyPayload, L"Varnel_Quorvane: Image not fit this product!!!\r\n", Number::kNone},
    {Verdict::kUnreadable, L"Varnel_Quorvane: Erreur readfile n\u00b0 %d\r\n", Number::kLastError},
    {Verdict::kCrcMismatch, L"Varnel_Quorvane: CRC error at block #%d\r\n", Number::kPosition},
};
constexpr wchar_t kStream[] = L"BIN1:";

// 16 KiB chunks that hold the payload, the last one possibly short; counted without wrapping.
DWORD ChunkCount(DWORD payload) {
  return static_cast<DWORD>((std::uint64_t{payload} + IMAGE_BLOCK_SIZE - 1) / IMAGE_BLOCK_SIZE);
}

// The line of a driver that cannot be unloaded after a stop: the checks of the partition, the
// sector size and the size limit, have their own.
constexpr wchar_t kPartitionUnloadFailed[] = L"Quorvane: BinDrv DeInit Failed !!!\r\n";
constexpr wchar_t kImageUnloadFailed[] = L"Varnel_Quorvane: BinDrv DeInit Failed !!!\r\n";

class Writer {
 public:
  Writer(const OsImageWriterServices& services, platform::Handle file, Progress& progress,
         BYTE rescue)
      : files_(services.files),
        devices_(services.devices),
        bootConfig_(services.bootConfig),
        registry_(services.registry),
        log_(services.log),
        user_(services.user),
        file_(file),
        progress_(progress),
        rescue_(rescue) {}

  int Write();

 private:
  // The failure exit: close the stream, unload the driver, and report the unload's failure with
  // the line of the part that stopped.
  void Stop(const wchar_t* unloadFailed);
  bool ReadFailed();
  bool OpenStream();
  // The sector size, and the package's size against the target's limit.
  bool CheckPartition(DWORD size);
  // Everything after the partition's checks until the stream is closed; false at the first
  // failure.
  bool WriteImage();
  // Checks the package: nothing is changed yet.
  bool CheckPackage(package::PackageCheck& check);
  // Turns the device away from the image about to be rewritten, once the user agreed where the
  // image it will start instead may not be whole, and writes down that the image is unfinished.
  bool TurnAway();
  bool BootTheWrittenImage();
  bool WriteChunks(DWORD payload);

  platform::Files& files_;
  platform::Devices& devices_;
  bootcfg::BootConfig& bootConfig_;
  platform::Registry& registry_;
  platform::DebugLog& log_;
  UserQuestions& user_;
  platform::Handle file_;
  Progress& progress_;
  BYTE rescue_;
  bool bootsRescue_ = false;  // a rescue image is rewritten that the device was set to boot
  platform::ScopedDriver driver_;
  platform::ScopedStream stream_;
  std::unique_ptr<package::BlockBuffer> block_ = std::make_unique<package::BlockBuffer>();
};

void Writer::Stop(const wchar_t* unloadFailed) {
  stream_.Close();
  if (!driver_.Close())
    NKDbgPrintfW(log_, unloadFailed);
}

bool Writer::ReadFailed() {
  NKDbgPrintfW(log_, L"Varnel_Quorvane: Erreur readfile n\u00b0 %d\r\n", platform::GetLastError());
  return false;
}

bool Writer::OpenStream() {
  stream_ = platform::ScopedStream(
      devices_, devices_.CreateFile(kStream, platform::kGenericRead | platform::kGenericWrite, 0,
                                    platform::kOpenExisting, platform::kFileAttributeNormal));
  if (stream_.valid())
    return true;
  NKDbgPrintfW(log_, L"Varnel_Quorvane: Erreur createfile n\u00b0 %d\r\n",
               platform::GetLastError());
  return false;
}

bool Writer::CheckPartition(DWORD size) {
  DWORD sectorSize = 0;
  if (!devices_.DeviceIoControl(stream_.get(), platform::BIN_IOCTL_GET_SECTOR_SIZE, nullptr, 0,
                                &sectorSize, sizeof sectorSize, nullptr)) {
    NKDbgPrintfW(log_, L"Quorvane: Error on BIN_IOCTL_GET_SECTOR_SIZE n\u00b0 %d\r\n",
                 platform::GetLastError());
    return false;
  }
  DWORD maxSize = 0;
  const bool limited = rescue_ ? bootConfig_.GetRescueImageMaxSize(&maxSize)
                               : bootConfig_.GetMainImageMaxSize(&maxSize);
  if (!limited)
    return false;
  if (size > maxSize) {
    // comp is the comparison that failed: 1.
    NKDbgPrintfW(
        log_,
        L"Varnel_Quorvane ERROR: WriteRegionsToNAND: Failed to write BINFS: image size too "
        L"big for parttion. dwBINFSPartLength=%x  dwMaxSize_Image=%x   comp=%d\r\n",
        size, maxSize, 1);
    return false;
  }
  return true;
}

bool Writer::CheckPackage(package::PackageCheck& check) {
  check = package::CheckTrailer(files_, file_);
  if (check.verdict == Verdict::kAccepted) {
    progress_.InitProgress(static_cast<int>(ChunkCount(check.payload())));
    package::CheckBlocks(files_, file_, check, *block_);
  }
  if (check.verdict != Verdict::kAccepted) {
    ReportRefusal(log_, kRefusals, check);
    return false;
  }
  return true;
}

// While the image is rewritten the device boots the other one: the rescue image while the main
// image is, and the main image while the rescue image it boots is.
bool Writer::TurnAway() {
  const int other = 1 - rescue_;
  if (rescue_) {
    const int selected = bootConfig_.GetBootSelection();
    if (selected < 0)
      return false;
    bootsRescue_ = selected == bootcfg::BOOT_IMAGE_RESCUE;
  }
  // The driver tells no one whether an image is whole: only this application's own record of
  // what it left unfinished, and the rescue image being booted, say that it may not be.
  using Doubt = UserQuestions::Doubt;
  const std::optional<Doubt> doubt =
      bootsRescue_ ? std::optional(Doubt::kRescueStarted)
      : journal::MayBeUnfinished(registry_, other)
          ? std::optional(other ? Doubt::kRescueUnfinished : Doubt::kMainUnfinished)
          : std::nullopt;
  if (doubt && !user_.GoOnDespite(*doubt))
    return false;
  // A mark that an earlier update left stays; a new one goes again when the selection is not
  // turned, as the image is then as it was, and the mark may have taken even when the call failed.
  const bool mark = !journal::MayBeUnfinished(registry_, rescue_);
  if (mark && !journal::MarkUnfinished(registry_, rescue_)) {
    NKDbgPrintfW(log_, L"Varnel_Quorvane: Erreur journal n\u00b0 %d\r\n", platform::GetLastError());
  } else if (rescue_ ? !bootsRescue_ || bootConfig_.SetBootSelection(bootcfg::BOOT_IMAGE_MAIN)
                     : bootConfig_.SetBootSelection(bootcfg::BOOT_IMAGE_RESCUE)) {
    return true;
  }
  if (mark)
    journal::MarkFinished(registry_, rescue_);
  return false;
}

// The image is whole: the device boots again what it booted before.
bool Writer::BootTheWrittenImage() {
  if (!journal::MarkFinished(registry_, rescue_))
    NKDbgPrintfW(log_, L"Varnel_Quorvane: Erreur journal n\u00b0 %d\r\n", platform::GetLastError());
  if (!rescue_)
    return bootConfig_.SetBootSelection(bootcfg::BOOT_IMAGE_MAIN);
  return !bootsRescue_ || bootConfig_.SetBootSelection(bootcfg::BOOT_IMAGE_RESCUE);
}

bool Writer::WriteChunks(DWORD payload) {
  if (files_.SetFilePointer(file_, 0, platform::kFileBegin) == platform::kInvalidSetFilePointer) {
    return ReadFailed();
  }
  const DWORD chunks = ChunkCount(payload);
  for (DWORD k = 0; k < chunks; ++k) {
    // The last chunk is the payload's tail: never a byte of the trailer.
    const DWORD wanted = std::min(IMAGE_BLOCK_SIZE, payload - k * IMAGE_BLOCK_SIZE);
    DWORD read = 0;
    if (!files_.ReadFile(file_, block_->data(), wanted, &read))
      return ReadFailed();
    if (read != wanted) {
      platform::SetLastError(platform::kErrorReadFault);
      return ReadFailed();
    }
    DWORD written = 0;
    if (!devices_.WriteFile(stream_.get(), block_->data(), read, &written)) {
      NKDbgPrintfW(log_, L"Varnel_Quorvane: Erreur writefile n\u00b0 %d\r\n",
                   platform::GetLastError());
      return false;
    }
    progress_.UpdateProgress(static_cast<int>(k));
    progress_.Repaint();
  }
  return true;
}

int Writer::Write() {
  DWORD size = 0;
  if (!package::GetPackageSize(files_, file_, size)) {
    ReadFailed();
    return 0;
  }
  driver_ = platform::ScopedDriver(devices_, devices_.ActivateDevice(kDriverKey, 0));
  if (!driver_.valid())
    return 0;
  const wchar_t* stopped = !OpenStream()           ? kImageUnloadFailed
                           : !CheckPartition(size) ? kPartitionUnloadFailed
                           : !WriteImage()         ? kImageUnloadFailed
                                                   : nullptr;
  if (stopped) {
    Stop(stopped);
    return 0;
  }
  NKDbgPrintfW(log_, L"Varnel_Quorvane : Before driver desactivation\r\n");
  if (!driver_.Close()) {
    NKDbgPrintfW(log_, L"BinDrv DeInit Failed !!!\r\n");
    return 0;
  }
  return 1;
}

bool Writer::WriteImage() {
  package::PackageCheck check;
  if (!CheckPackage(check) || !TurnAway())
    return false;
  if (!devices_.DeviceIoControl(stream_.get(), platform::BIN_IOCTL_SELECT_IMAGE, &rescue_, 1,
                                nullptr, 0, nullptr)) {
    NKDbgPrintfW(log_,
                 L"Varnel_Quorvane: Erreur update selecting image n\u00b0%d, error n\u00b0 %d\r\n",
                 rescue_, platform::GetLastError());
    return false;
  }
  const DWORD payload = check.payload();
  if (!WriteChunks(payload))
    return false;
  NKDbgPrintfW(log_, L"Varnel_Quorvane : Before setting new config\r\n");
  if (!devices_.DeviceIoControl(stream_.get(), platform::BIN_IOCTL_UPDATE_HEADER, &payload,
                                sizeof payload, nullptr, 0, nullptr)) {
    NKDbgPrintfW(log_, L"Varnel_Quorvane: Erreur update header setting n\u00b0 %d\r\n",
                 platform::GetLastError());
    return false;
  }
  NKDbgPrintfW(log_, L"Writing image to flash complete.\r\n");
  if (!BootTheWrittenImage())
    return false;
  if (!stream_.Close()) {
    NKDbgPrintfW(log_, L"Varnel_Quorvane: Erreur closefile n\u00b0 %d\r\n",
                 platform::GetLastError());
    return false;
  }
  return true;
}

}  // namespace

int WriteOsImage(const OsImageWriterServices& services, platform::Handle file, Progress& progress,
                 BYTE rescue) {
  return Writer(services, file, progress, rescue).Write();
}

}  // namespace writers
